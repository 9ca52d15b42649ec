#include "features/ui/MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>

#include <algorithm>

namespace {
struct TestHook {
    bool active = false;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    QStringList shown;
    int choice = -1;
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

int MessageBox::choose(QWidget *parent, const QString &text, const QStringList &buttons)
{
    hook().shown.append(text);
    if (buttons.isEmpty())
        return -1;
    if (hook().choice >= 0)
        return std::min(hook().choice, int(buttons.size()) - 1);
    QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), text, QMessageBox::NoButton,
                    parent);
    box.setTextFormat(Qt::PlainText);
    QList<QAbstractButton *> added;
    for (int i = 0; i < buttons.size(); ++i)
        added.append(box.addButton(buttons.at(i), i + 1 == buttons.size() ? QMessageBox::RejectRole
                                                                          : QMessageBox::AcceptRole));
    box.setDefaultButton(qobject_cast<QPushButton *>(added.first()));
    box.setEscapeButton(added.last());
    box.exec();
    const int index = int(added.indexOf(box.clickedButton()));
    return index < 0 ? int(buttons.size()) - 1 : index;
}

int MessageBox::errorChoose(QWidget *parent, const QString &text, const QStringList &buttons)
{
    hook().shown.append(text);
    if (buttons.isEmpty())
        return -1;
    if (hook().choice >= 0)
        return std::min(hook().choice, int(buttons.size()) - 1);
    if (hook().active)
        return 0;
    QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), text,
                    QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    QList<QAbstractButton *> added;
    for (int i = 0; i < buttons.size(); ++i)
        added.append(
            box.addButton(buttons.at(i), i == 0 ? QMessageBox::AcceptRole : QMessageBox::ActionRole));
    box.setDefaultButton(qobject_cast<QPushButton *>(added.first()));
    box.setEscapeButton(added.first());
    box.exec();
    const int index = int(added.indexOf(box.clickedButton()));
    return index < 0 ? 0 : index;
}

void MessageBox::setNextChoice(int index)
{
    hook().choice = index;
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
