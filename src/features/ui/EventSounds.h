#pragma once

#include <QByteArrayView>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <array>
#include <functional>
#include <memory>

class QAction;
class SoundOutput;

// The event sounds: a WAV file of the sound folder per event, played asynchronously once when the
// event's option is checked. A sound started while another plays replaces it; a sound of a kind
// that is still playing is not started again, so a burst of arrivals plays its sound once.
// Without the folder, the file or an audio device nothing is heard and nothing is reported.
class EventSounds : public QObject {
    Q_OBJECT
public:
    // The event numbers of the talks and the peer registry.
    enum Kind { UserConnect = 0, UserDisconnect = 1, Start = 2, NewMessage = 3, KindCount = 4 };
    // A kind counts as playing at least this long after it started, however short its file.
    static constexpr qint64 MinimumGapMs = 1000;

    explicit EventSounds(const QString &soundDir, QObject *parent = nullptr);
    ~EventSounds() override;

    static QString FileName(int kind);
    QString filePath(int kind) const;
    // The option that must be checked for the kind to sound.
    void setOption(int kind, QAction *option);

    // True when the sound was started.
    bool Play(int kind);
    bool isPlaying(int kind) const;
    int playCount() const { return m_playCount; }

    // Length of a PCM WAV file from its first bytes; 0 when they are not one.
    static qint64 WavDurationMs(QByteArrayView head);

    // Tests: every started sound is reported here instead of reaching the audio device.
    using PlayHook = std::function<void(int kind, const QString &path)>;
    static void setPlayHook(PlayHook hook);

    // How long a sound file's presence, or absence, is taken as known.
    static constexpr qint64 FileRecheckMs = 1000;

    // Tests run both waits shorter; the program keeps these.
    struct Timings {
        qint64 minimumGapMs = MinimumGapMs;
        qint64 fileRecheckMs = FileRecheckMs;
    };
    void setTimings(const Timings &timings) { m_timings = timings; }

private:
    bool audioAvailable();
    bool fileExists(int kind, const QString &path);
    void startPlayback(int kind, const QString &path);
    void stopPlayback();

    QString m_dir;
    std::array<QPointer<QAction>, KindCount> m_options;
    // Loaded with the first sound that is to be heard.
    std::unique_ptr<SoundOutput> m_output;
    bool m_outputLoaded = false;
    std::array<qint64, KindCount> m_busyUntil{};
    std::array<qint64, KindCount> m_fileCheckedAt{}; // -1: not looked for yet
    std::array<bool, KindCount> m_fileFound{};
    int m_current = -1;
    int m_playCount = 0;
    QElapsedTimer m_clock;
    Timings m_timings;
};
