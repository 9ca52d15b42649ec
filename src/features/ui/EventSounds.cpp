#include "features/ui/EventSounds.h"

#include "features/ui/SoundOutput.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

namespace {

EventSounds::PlayHook &playHook()
{
    static EventSounds::PlayHook hook;
    return hook;
}

quint32 le32(QByteArrayView bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.data() + at);
}

} // namespace

EventSounds::EventSounds(const QString &soundDir, QObject *parent)
    : QObject(parent)
    , m_dir(soundDir)
{
    setObjectName(QStringLiteral("EventSounds"));
    m_fileCheckedAt.fill(-1);
    m_clock.start();
}

EventSounds::~EventSounds() = default;

QString EventSounds::FileName(int kind)
{
    switch (kind) {
    case UserConnect:
        return QStringLiteral("NewUserConnect.wav");
    case UserDisconnect:
        return QStringLiteral("UserDisconnect.wav");
    case Start:
        return QStringLiteral("OpenPerixChat.wav");
    case NewMessage:
        return QStringLiteral("NewMessage.wav");
    default:
        return QString();
    }
}

QString EventSounds::filePath(int kind) const
{
    const QString name = FileName(kind);
    return name.isEmpty() ? QString() : m_dir + u'/' + name;
}

void EventSounds::setOption(int kind, QAction *option)
{
    if (kind >= 0 && kind < KindCount)
        m_options[kind] = option;
}

void EventSounds::setPlayHook(PlayHook hook)
{
    playHook() = std::move(hook);
}

bool EventSounds::isPlaying(int kind) const
{
    return kind >= 0 && kind < KindCount && m_current == kind && m_clock.elapsed() < m_busyUntil[kind];
}

qint64 EventSounds::WavDurationMs(QByteArrayView head)
{
    if (head.size() < 12 || !head.startsWith("RIFF") || head.sliced(8, 4) != "WAVE")
        return 0;
    quint32 byteRate = 0;
    qsizetype at = 12;
    // A bounded walk over the chunks: "fmt " gives the byte rate, "data" the length.
    for (int chunk = 0; chunk < 32 && at + 8 <= head.size(); ++chunk) {
        const QByteArrayView id = head.sliced(at, 4);
        const quint32 size = le32(head, at + 4);
        if (id == "fmt " && at + 8 + 12 <= head.size())
            byteRate = le32(head, at + 8 + 8);
        if (id == "data")
            return byteRate ? qint64(size) * 1000 / byteRate : 0;
        if (size > quint32(head.size()))
            return 0;
        at += 8 + qsizetype(size) + (size & 1);
    }
    return 0;
}

bool EventSounds::audioAvailable()
{
    if (!m_outputLoaded) {
        m_outputLoaded = true;
        m_output = LoadSoundOutput();
    }
    return m_output && m_output->available();
}

bool EventSounds::fileExists(int kind, const QString &path)
{
    // A flood of arrivals asks for the same sound many times a second: the folder is looked at
    // again only after a while, which is still soon enough for a file the user has just put there.
    const qint64 now = m_clock.elapsed();
    if (m_fileCheckedAt[kind] < 0 || now - m_fileCheckedAt[kind] >= m_timings.fileRecheckMs) {
        m_fileFound[kind] = QFileInfo(path).isFile();
        m_fileCheckedAt[kind] = now;
    }
    return m_fileFound[kind];
}

bool EventSounds::Play(int kind)
{
    if (kind < 0 || kind >= KindCount)
        return false;
    const QAction *option = m_options[kind];
    if (!option || !option->isChecked())
        return false;
    if (isPlaying(kind))
        return false;
    const QString path = filePath(kind);
    if (!fileExists(kind, path))
        return false;

    qint64 length = 0;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        length = WavDurationMs(file.read(4096));
    stopPlayback();
    m_current = kind;
    m_busyUntil[kind] = m_clock.elapsed() + qMax(length, m_timings.minimumGapMs);
    ++m_playCount;
    if (playHook())
        playHook()(kind, path);
    else
        startPlayback(kind, path);
    return true;
}

void EventSounds::startPlayback(int kind, const QString &path)
{
    if (audioAvailable())
        m_output->play(kind, path);
}

void EventSounds::stopPlayback()
{
    if (m_current >= 0 && m_output)
        m_output->stop(m_current);
    m_current = -1;
}
