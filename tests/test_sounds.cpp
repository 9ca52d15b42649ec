// The event sounds: options, files, one sound per kind at a time, silence without a device.
#include "features/ui/EventSounds.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Play {
    int kind;
    QString path;
};

// Records what would have been played; no audio device needed.
struct PlayRecorder {
    PlayRecorder()
    {
        EventSounds::setPlayHook([this](int kind, const QString &path) { plays.append({kind, path}); });
    }
    ~PlayRecorder() { EventSounds::setPlayHook({}); }
    int count(int kind) const
    {
        return int(
            std::count_if(plays.begin(), plays.end(), [kind](const Play &p) { return p.kind == kind; }));
    }
    QList<Play> plays;
};

// A PCM WAV header for that many milliseconds of 22050 Hz 16-bit mono.
QByteArray wav(int ms)
{
    const quint32 byteRate = 44100;
    const quint32 dataSize = byteRate * quint32(ms) / 1000;
    QByteArray b;
    const auto u32 = [&b](quint32 v) {
        for (int i = 0; i < 4; ++i)
            b.append(char((v >> (8 * i)) & 0xFF));
    };
    const auto u16 = [&b](quint16 v) {
        b.append(char(v & 0xFF));
        b.append(char(v >> 8));
    };
    b.append("RIFF");
    u32(36 + dataSize);
    b.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(22050);
    u32(byteRate);
    u16(2);
    u16(16);
    b.append("data");
    u32(dataSize);
    b.append(QByteArray(int(dataSize), '\0'));
    return b;
}

// Both waits a fifth as long; burstPlaysOnce keeps the program's own.
const EventSounds::Timings Quick{200, 200};

void writeSounds(const QString &dir, int ms)
{
    QDir().mkpath(dir);
    for (int kind = 0; kind < EventSounds::KindCount; ++kind) {
        QFile file(dir + u'/' + EventSounds::FileName(kind));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(wav(ms));
    }
}

} // namespace

class TestSounds : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fileNames();
    void wavDuration();
    void optionsGateEachKind();
    void missingFolderOrFileIsSilent();
    void burstPlaysOnce();
    void otherKindReplacesTheSound();
    void longSoundHoldsItsKind();
    void withoutHookNoDeviceIsQuiet();
};

void TestSounds::fileNames()
{
    QCOMPARE(EventSounds::FileName(EventSounds::UserConnect), QStringLiteral("NewUserConnect.wav"));
    QCOMPARE(EventSounds::FileName(EventSounds::UserDisconnect), QStringLiteral("UserDisconnect.wav"));
    QCOMPARE(EventSounds::FileName(EventSounds::Start), QStringLiteral("OpenPerixChat.wav"));
    QCOMPARE(EventSounds::FileName(EventSounds::NewMessage), QStringLiteral("NewMessage.wav"));
    QVERIFY(EventSounds::FileName(4).isEmpty());
    QVERIFY(EventSounds::FileName(-1).isEmpty());
}

void TestSounds::wavDuration()
{
    QCOMPARE(EventSounds::WavDurationMs(wav(620)), 620);
    QCOMPARE(EventSounds::WavDurationMs(wav(0)), 0);
    QCOMPARE(EventSounds::WavDurationMs("RIFF"), 0);
    QCOMPARE(EventSounds::WavDurationMs("not a wave file at all"), 0);
    QCOMPARE(EventSounds::WavDurationMs(QByteArray()), 0);
    // A chunk that claims more than the header holds ends the walk.
    QByteArray odd = wav(100).left(12);
    odd.append("LIST\xFF\xFF\xFF\x7F");
    QCOMPARE(EventSounds::WavDurationMs(odd), 0);
    // The shipped sounds are real PCM files of a fraction of a second.
    for (const char *name :
         {"NewUserConnect.wav", "UserDisconnect.wav", "OpenPerixChat.wav", "NewMessage.wav"}) {
        QFile file(QStringLiteral(PERIX_SOURCE_DIR "/assets/Sound/") + QLatin1StringView(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const qint64 ms = EventSounds::WavDurationMs(file.read(4096));
        QVERIFY2(ms > 100 && ms < 3000, name);
    }
}

void TestSounds::optionsGateEachKind()
{
    PlayRecorder recorder;
    QTemporaryDir dir;
    writeSounds(dir.path(), 50);
    EventSounds sounds(dir.path());
    QAction options[EventSounds::KindCount];
    for (int kind = 0; kind < EventSounds::KindCount; ++kind) {
        options[kind].setCheckable(true);
        // No option set yet: nothing plays.
        QVERIFY(!sounds.Play(kind));
        sounds.setOption(kind, &options[kind]);
        QVERIFY(!sounds.Play(kind));
    }
    QVERIFY(recorder.plays.isEmpty());
    for (int kind = 0; kind < EventSounds::KindCount; ++kind) {
        options[kind].setChecked(true);
        QVERIFY(sounds.Play(kind));
        QCOMPARE(recorder.plays.size(), kind + 1);
        QCOMPARE(recorder.plays.last().kind, kind);
        QCOMPARE(recorder.plays.last().path, QDir(dir.path()).filePath(EventSounds::FileName(kind)));
        options[kind].setChecked(false);
    }
    QVERIFY(!sounds.Play(EventSounds::KindCount));
    QVERIFY(!sounds.Play(-1));
    QCOMPARE(sounds.playCount(), 4);
}

void TestSounds::missingFolderOrFileIsSilent()
{
    PlayRecorder recorder;
    QTemporaryDir dir;
    QAction on;
    on.setCheckable(true);
    on.setChecked(true);
    EventSounds noFolder(dir.filePath(QStringLiteral("Sound")));
    noFolder.setOption(EventSounds::UserConnect, &on);
    QVERIFY(!noFolder.Play(EventSounds::UserConnect));

    writeSounds(dir.filePath(QStringLiteral("Sound")), 50);
    QVERIFY(QFile::remove(dir.filePath(QStringLiteral("Sound/NewMessage.wav"))));
    EventSounds sounds(dir.filePath(QStringLiteral("Sound")));
    sounds.setTimings(Quick);
    sounds.setOption(EventSounds::NewMessage, &on);
    sounds.setOption(EventSounds::UserConnect, &on);
    QVERIFY(!sounds.Play(EventSounds::NewMessage));
    QVERIFY(recorder.plays.isEmpty());
    QVERIFY(sounds.Play(EventSounds::UserConnect));
    QCOMPARE(recorder.plays.size(), 1);
    // A file put back is heard once the folder is looked at again, not on every event of a flood.
    writeSounds(dir.filePath(QStringLiteral("Sound")), 50);
    QVERIFY(!sounds.Play(EventSounds::NewMessage));
    QTest::qWait(int(Quick.fileRecheckMs) + 50);
    QVERIFY(sounds.Play(EventSounds::NewMessage));
    QCOMPARE(recorder.count(EventSounds::NewMessage), 1);
}

void TestSounds::burstPlaysOnce()
{
    PlayRecorder recorder;
    QTemporaryDir dir;
    writeSounds(dir.path(), 50);
    EventSounds sounds(dir.path());
    QAction on;
    on.setCheckable(true);
    on.setChecked(true);
    sounds.setOption(EventSounds::UserConnect, &on);
    for (int i = 0; i < 250; ++i)
        sounds.Play(EventSounds::UserConnect);
    QCOMPARE(recorder.count(EventSounds::UserConnect), 1);
    QVERIFY(sounds.isPlaying(EventSounds::UserConnect));
    // Once the kind has had its time, the next event sounds again.
    QTest::qWait(int(EventSounds::MinimumGapMs) + 100);
    QVERIFY(!sounds.isPlaying(EventSounds::UserConnect));
    QVERIFY(sounds.Play(EventSounds::UserConnect));
    QCOMPARE(recorder.count(EventSounds::UserConnect), 2);
}

void TestSounds::otherKindReplacesTheSound()
{
    PlayRecorder recorder;
    QTemporaryDir dir;
    writeSounds(dir.path(), 50);
    EventSounds sounds(dir.path());
    QAction on;
    on.setCheckable(true);
    on.setChecked(true);
    for (int kind = 0; kind < EventSounds::KindCount; ++kind)
        sounds.setOption(kind, &on);
    QVERIFY(sounds.Play(EventSounds::UserConnect));
    QVERIFY(sounds.Play(EventSounds::NewMessage));
    QVERIFY(!sounds.isPlaying(EventSounds::UserConnect));
    QVERIFY(sounds.isPlaying(EventSounds::NewMessage));
    // The replaced kind may start again at once and replaces the message sound in turn.
    QVERIFY(sounds.Play(EventSounds::UserConnect));
    QVERIFY(!sounds.Play(EventSounds::UserConnect));
    QCOMPARE(recorder.plays.size(), 3);
}

void TestSounds::longSoundHoldsItsKind()
{
    PlayRecorder recorder;
    QTemporaryDir dir;
    writeSounds(dir.path(), 1000);
    EventSounds sounds(dir.path());
    sounds.setTimings(Quick);
    QAction on;
    on.setCheckable(true);
    on.setChecked(true);
    sounds.setOption(EventSounds::UserDisconnect, &on);
    QVERIFY(sounds.Play(EventSounds::UserDisconnect));
    QTest::qWait(int(Quick.minimumGapMs) + 200);
    // Still within the file's own length.
    QVERIFY(!sounds.Play(EventSounds::UserDisconnect));
    QTRY_VERIFY_WITH_TIMEOUT(!sounds.isPlaying(EventSounds::UserDisconnect), 3000);
    QVERIFY(sounds.Play(EventSounds::UserDisconnect));
    QCOMPARE(recorder.plays.size(), 2);
}

void TestSounds::withoutHookNoDeviceIsQuiet()
{
    // Real playback path: with or without an output device this returns at once and reports nothing.
    QTemporaryDir dir;
    writeSounds(dir.path(), 50);
    EventSounds sounds(dir.path());
    QAction on;
    on.setCheckable(true);
    on.setChecked(true);
    sounds.setOption(EventSounds::Start, &on);
    QVERIFY(sounds.Play(EventSounds::Start));
    QTest::qWait(100);
    QCOMPARE(sounds.playCount(), 1);
}

QTEST_MAIN(TestSounds)
#include "test_sounds.moc"
