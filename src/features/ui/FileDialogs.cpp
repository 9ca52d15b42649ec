#include "features/ui/FileDialogs.h"

#include <QFileDialog>
#include <QList>

namespace FileDialogs {

namespace {
QList<QStringList> &answers()
{
    static QList<QStringList> a;
    return a;
}
} // namespace

QStringList OpenFileNames(QWidget *parent, const QString &caption, const QString &filter)
{
    if (!answers().isEmpty())
        return answers().takeFirst();
    return QFileDialog::getOpenFileNames(parent, caption, QString(), filter);
}

QString ExistingDirectory(QWidget *parent, const QString &caption, const QString &start)
{
    if (!answers().isEmpty())
        return answers().takeFirst().value(0);
    return QFileDialog::getExistingDirectory(parent, caption, start, QFileDialog::ShowDirsOnly);
}

QString SaveFileName(QWidget *parent, const QString &caption, const QString &preset, const QString &filter)
{
    if (!answers().isEmpty())
        return answers().takeFirst().value(0);
    return QFileDialog::getSaveFileName(parent, caption, preset, filter);
}

void queueAnswer(const QStringList &answer)
{
    answers().append(answer);
}

void clearAnswers()
{
    answers().clear();
}

} // namespace FileDialogs
