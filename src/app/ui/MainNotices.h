#pragma once

#include "talks/ui/TranscriptBatch.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QTextEdit;
class QTimer;
class QWidget;
class StatusPanels;
class TrayIcon;

// The main window's event notices: the notice in the status bar with its picture, the tray icon's
// animation and balloon, for five seconds after the latest event. Arrivals of one turn are shown
// together: the talk with everybody takes their lines as one edit and only the last notice is shown;
// before the window's first frame, they wait for it.
class MainNotices : public QObject {
    Q_OBJECT
public:
    MainNotices(StatusPanels *status, TrayIcon *tray, QWidget *window);

    // The notice of an event on that sheet; format has "%s" for the name.
    void Notify(const QString &format, const QString &alias, int sheet, int picture, const QString &ip);
    void BeginBatch(QTextEdit *allUsersTranscript);
    void EndBatch();
    // Other users asked for a new talk while the page limit holds.
    void TalkLimitReached(int limit);
    // A lasting line about something the program could not keep; stays until another notice.
    void ShowLasting(const QString &text);
    // Asked before each balloon: false where a desktop notification service shows the messages.
    void setBalloonWanted(std::function<bool()> wanted) { m_balloonWanted = std::move(wanted); }

private:
    struct BatchedNotice {
        QString format;
        QString alias;
        int sheet;
        int picture;
        QString ip;
    };

    StatusPanels *m_status;
    TrayIcon *m_tray;
    QTimer *m_timerHintInformation;
    TranscriptBatch m_batch;
    std::optional<BatchedNotice> m_batchedNotice;
    std::function<bool()> m_balloonWanted;
    bool m_windowShown = false;
    bool m_endAfterFirstFrame = false;
};
