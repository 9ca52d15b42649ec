#include "MessageBox.h"

#include <QApplication>

namespace {
struct TestHook {
    bool active = false;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    QStringList shown;
};

TestHook &hook()
{
    static TestHook h;
    return h;
}
} // namespace

void MessageBox::error(QWidget *parent, const QString &text)
{
    show(parent, QMessageBox::Critical, text, QMessageBox::Ok);
}

void MessageBox::information(QWidget *parent, const QString &text)
{
    show(parent, QMessageBox::Information, text, QMessageBox::Ok);
}

void MessageBox::setAutoAnswer(QMessageBox::StandardButton answer)
{
    hook().active = true;
    hook().answer = answer;
}

void MessageBox::clearAutoAnswer()
{
    hook().active = false;
}

QStringList MessageBox::shownTexts()
{
    return hook().shown;
}

void MessageBox::clearShownTexts()
{
    hook().shown.clear();
}

QMessageBox::StandardButton MessageBox::show(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                                             QMessageBox::StandardButtons buttons)
{
    hook().shown.append(text);
    if (hook().active)
        return hook().answer;
    QMessageBox box(icon, QApplication::applicationDisplayName(), QString(), buttons, parent);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}
