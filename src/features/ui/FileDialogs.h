#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The file and folder choosers of the file commands. Tests queue answers instead of a user.
namespace FileDialogs {

QStringList OpenFileNames(QWidget *parent, const QString &caption, const QString &filter);
QString ExistingDirectory(QWidget *parent, const QString &caption, const QString &start);
QString SaveFileName(QWidget *parent, const QString &caption, const QString &preset, const QString &filter);

// Test hook: the next chooser returns this answer (an empty list for Cancel) without showing.
void queueAnswer(const QStringList &answer);
void clearAnswers();

} // namespace FileDialogs
