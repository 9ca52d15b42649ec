#pragma once

#include <QObject>
#include <QString>

#include <functional>

class AnimationCatalogue;
class SettingsStore;
class TalkHistory;
class TalkManager;
class WindowTranscriptLook;
class QWidget;
struct TalkActions;

// The main window's side of the history: the peer keeps and writes the transcripts; the window gives
// it the look of the screen and the header options, stores the input panel's height when a talk's
// transcript is written, shows the history window and tells of a write that failed.
class MainHistory : public QObject {
    Q_OBJECT
public:
    MainHistory(const SettingsStore &store, TalkHistory *history, TalkManager *talks,
                std::function<bool(int)> openHelp, QWidget *window);

    // The header options of the transcripts follow the window's commands.
    void followOptions(const TalkActions &actions);
    void setAnimationCatalogue(const AnimationCatalogue *catalogue);

    // Writes the talk on that sheet to a new history file; the path, or empty when nothing was written.
    // Outside the program's closing, at most a budget of files per minute is written.
    QString SaveTalk(int sheet, bool closing = false);
    // The Clear command: the transcript is written, then cleared.
    void ClearTalk(int sheet);
    // The talk on that sheet closes; the peer writes its transcript.
    void TalkClosing(int sheet);
    void ShowHistoryWindow();

    QString historyDir() const;

Q_SIGNALS:
    // A transcript was to be kept but no whole file of it could be written; none was left.
    void writeFailed(const QString &talkName, const QString &folder);

private:
    void storeHeight(int sheet);

    const SettingsStore &m_store;
    TalkHistory *m_history;
    TalkManager *m_talks;
    std::function<bool(int)> m_openHelp;
    QWidget *m_window;
    WindowTranscriptLook *m_look;
};
