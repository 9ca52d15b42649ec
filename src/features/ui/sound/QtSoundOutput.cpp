#include "features/ui/sound/QtSoundOutputFactory.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

#include <array>

namespace {

QtMessageHandler &previousHandler()
{
    static QtMessageHandler handler = nullptr;
    return handler;
}

// Asking for the output devices where no sound server runs makes the audio backend complain once;
// a missing device is an ordinary state here, not worth a message.
void dropAudioServerWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1StringView("PulseAudioService:")))
        return;
    if (QtMessageHandler previous = previousHandler())
        previous(type, context, message);
}

class QtSoundOutput : public SoundOutput {
public:
    ~QtSoundOutput() override
    {
        for (QSoundEffect *effect : m_effects)
            delete effect;
    }

    bool available() override
    {
        if (m_audio < 0) {
            previousHandler() = qInstallMessageHandler(dropAudioServerWarnings);
            m_audio = QMediaDevices::audioOutputs().isEmpty() ? 0 : 1;
            qInstallMessageHandler(previousHandler());
        }
        return m_audio == 1;
    }

    void play(int kind, const QString &path) override
    {
        if (kind < 0 || kind >= int(m_effects.size()) || !available())
            return;
        QSoundEffect *&effect = m_effects[size_t(kind)];
        if (!effect) {
            effect = new QSoundEffect;
            effect->setLoopCount(1);
        }
        const QUrl source = QUrl::fromLocalFile(path);
        if (effect->source() != source)
            effect->setSource(source);
        // Plays as soon as the file is loaded; a file it cannot decode stays silent.
        effect->play();
    }

    void stop(int kind) override
    {
        if (kind >= 0 && kind < int(m_effects.size()) && m_effects[size_t(kind)])
            m_effects[size_t(kind)]->stop();
    }

private:
    std::array<QSoundEffect *, 8> m_effects{};
    // -1 not asked yet, 0 no output device, 1 a device.
    int m_audio = -1;
};

} // namespace

std::unique_ptr<SoundOutput> QtSoundOutputFactory::create()
{
    return std::make_unique<QtSoundOutput>();
}
