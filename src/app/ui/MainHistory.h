#pragma once

#include "documents/StoryFileUn.h"

#include <QObject>
#include <QString>

#include <functional>

class QTabWidget;
class SettingsStore;
class TalkManager;
class QWidget;

// The main window's side of the history: the folder at start-up, writing a talk when its transcript
// is about to be lost, and the history window.
class MainHistory : public QObject {
    Q_OBJECT
public:
    MainHistory(const SettingsStore &store, QString historyDir, TalkManager *talks, QTabWidget *pages,
                std::function<QString()> localAlias, std::function<bool(int)> openHelp, QWidget *window);

    // Creates the folder and, when the period of storage is on, deletes the files that are too old.
    void StartUp();
    // Writes the talk on that sheet to a new history file; the path, or empty when nothing was written.
    // Outside the program's closing, at most a budget of files per minute is written.
    QString SaveTalk(int sheet, bool closing = false);
    void ShowHistoryWindow();

    QString historyDir() const { return m_historyDir; }

Q_SIGNALS:
    // A transcript was to be kept but no whole file of it could be written; none was left.
    void writeFailed(const QString &talkName, const QString &folder);

private:
    const SettingsStore &m_store;
    QString m_historyDir;
    TalkManager *m_talks;
    QTabWidget *m_pages;
    std::function<QString()> m_localAlias;
    std::function<bool(int)> m_openHelp;
    QWidget *m_window;
    StoryFile::WriteBudget m_budget;
};
