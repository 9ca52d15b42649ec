#pragma once

#include "features/StoryFileUn.h"
#include "settings/SettingsStore.h"
#include "talks/MinuteClock.h"
#include "talks/Transcript.h"
#include "talks/TranscriptFormats.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <memory>

class FileOfferList;
class PeerRegistry;
class TalkCore;

// The history writer of the peer: it keeps each talk's transcript as data, laid out as the window's
// transcript is, and writes it to a history file when the transcript is about to be lost (the talk
// closes, the user clears it, it reaches its bound, the program ends). Both programs write the same
// files; the window program adds the screen's look for the RTF form.
class TalkHistory : public QObject {
    Q_OBJECT
public:
    // Paragraphs a transcript holds at most, as the on-screen one.
    static constexpr int MaxTranscriptParagraphs = 40000;

    TalkHistory(const SettingsStore &store, QString historyDir, TalkCore *talks, PeerRegistry *registry,
                QObject *parent = nullptr);
    ~TalkHistory() override;

    QString historyDir() const { return m_historyDir; }
    // Creates the folder and, when the period of storage is on, deletes the files that are too old.
    void startUp();

    // What the header line of a message shows; read from the settings at first.
    void setShowUserIP(bool on) { m_showIP = on; }
    void setShowTime(bool on) { m_showTime = on; }
    void setShowPicture(bool on) { m_showPicture = on; }
    // The look of the RTF form; the default is a text-only one.
    void setLook(std::unique_ptr<TranscriptLook> look);
    const TranscriptLook &look() const { return *m_look; }
    // The files this run offered: a reference that names my ID and one of these is to a file of mine.
    void setOfferedFiles(const FileOfferList *offers) { m_offers = offers; }
    void setTranscriptLimit(int paragraphs) { m_limit = paragraphs; }

    const Transcript *transcript(int talkId) const;
    // The file's content in the chosen form.
    QByteArray content(int talkId, bool rtf) const;

    // Writes the talk's transcript to a new history file; the path, or empty when nothing was
    // written. Outside the program's closing, at most a budget of files per minute is written.
    QString writeTalk(int talkId, bool closing = false);
    // Writes the transcript and clears it (the Clear command).
    void clearTranscript(int talkId);
    // Writes every talk in page order, whatever the budget (the program ends).
    void writeAll();

Q_SIGNALS:
    // A transcript was to be kept but no whole file of it could be written; none was left.
    void writeFailed(const QString &talkName, const QString &folder);

private:
    void append(int talkId, const QString &senderId, const QString &ip, const QString &body, qint32 color,
                int picture, const QString &alias, bool notice);
    QString talkName(int talkId) const;

    const SettingsStore &m_store;
    QString m_historyDir;
    TalkCore *m_talks;
    PeerRegistry *m_registry;
    QHash<int, Transcript> m_transcripts;
    // Each sender's latest colour: earlier text of a sender takes it too, as on screen.
    QHash<QString, qint32> m_senderColours;
    // Each sender's latest header, shared by the messages that repeat it.
    static constexpr int MaxSharedHeaders = 4096;
    QHash<QString, QString> m_lastHeaders;
    std::unique_ptr<TranscriptLook> m_look;
    const FileOfferList *m_offers = nullptr;
    StoryFile::WriteBudget m_budget;
    MinuteClock m_clock;
    int m_limit = MaxTranscriptParagraphs;
    bool m_showIP = false;
    bool m_showTime = true;
    bool m_showPicture = true;
};
