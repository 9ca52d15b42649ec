#include "app/TalkHistory.h"

#include "talks/TranscriptBody.h"
#include "peers/PeerRegistry.h"
#include "settings/iniFileUn.h"
#include "talks/TalkCore.h"
#include "transfer/FileOffers.h"

#include <QDateTime>

namespace {

// The isolates that keep a peer's name apart on screen are for display only: a file holds the name.
QString withoutIsolates(QString text)
{
    text.removeIf([](QChar c) { return c.unicode() >= 0x2066 && c.unicode() <= 0x2069; });
    return text;
}

// A reference names my ID; whether the file is mine is asked of the offers when the file is written:
// my own message shows before its files are offered.
class OfferedFilesLook : public TranscriptLook {
public:
    OfferedFilesLook(const TranscriptLook &look, const FileOfferList *offers)
        : m_look(look)
        , m_offers(offers)
    {}

    QString defaultFontFamily() const override { return m_look.defaultFontFamily(); }
    quint32 background() const override { return m_look.background(); }
    quint32 systemColour(qint32 wireColour) const override { return m_look.systemColour(wireColour); }
    bool hasAnimation(int number) const override { return m_look.hasAnimation(number); }
    TranscriptPicture picture(const TranscriptItem &item) const override
    {
        TranscriptItem asked = item;
        asked.own = item.own && m_offers && m_offers->Find(item.text).has_value();
        return m_look.picture(asked);
    }

private:
    const TranscriptLook &m_look;
    const FileOfferList *m_offers;
};

} // namespace

TalkHistory::TalkHistory(const SettingsStore &store, QString historyDir, TalkCore *talks,
                         PeerRegistry *registry, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_historyDir(std::move(historyDir))
    , m_talks(talks)
    , m_registry(registry)
    , m_look(std::make_unique<TranscriptLook>())
    , m_showIP(readSetting(store, Setting::ShowUserIPWhenMessage))
    , m_showTime(readSetting(store, Setting::ShowDataTimeWhenMessage))
    , m_showPicture(readSetting(store, Setting::ShowPictureWhenMessage))
{
    connect(talks, &TalkCore::messageForTalk, this,
            [this](int id, const QString &senderId, const QString &ip, const QString &body, qint32 color,
                   int picture,
                   const QString &alias) { append(id, senderId, ip, body, color, picture, alias, false); });
    connect(talks, &TalkCore::noticeForTalk, this,
            [this](int id, const QString &senderId, const QString &ip, const QString &body, qint32 color,
                   int picture,
                   const QString &alias) { append(id, senderId, ip, body, color, picture, alias, true); });
    connect(talks, &TalkCore::talkClosing, this, [this](int id) { writeTalk(id); });
    connect(talks, &TalkCore::talkClosed, this, [this](int id) { m_transcripts.remove(id); });
    // A sender's colour changes with the profile too, and earlier text follows it.
    const auto colourOf = [this](int peerIndex) {
        if (const RUserID *peer = m_registry->GetPeer(peerIndex))
            m_senderColours.insert(peer->ID, peer->Color);
    };
    connect(registry, &PeerRegistry::peerArrived, this, colourOf);
    connect(registry, &PeerRegistry::peerUpdated, this, colourOf);
}

TalkHistory::~TalkHistory() = default;

void TalkHistory::startUp()
{
    if (!StoryFile::EnsureFolder(m_historyDir))
        return;
    const StoryFile::Options options = StoryFile::ReadOptions(m_store);
    if (options.PeriodStorage)
        StoryFile::Purge(m_historyDir, options.Days);
}

void TalkHistory::setLook(std::unique_ptr<TranscriptLook> look)
{
    if (look)
        m_look = std::move(look);
}

const Transcript *TalkHistory::transcript(int talkId) const
{
    const auto found = m_transcripts.constFind(talkId);
    return found == m_transcripts.cend() ? nullptr : &*found;
}

void TalkHistory::append(int talkId, const QString &senderId, const QString &ip, const QString &body,
                         qint32 color, int picture, const QString &alias, bool notice)
{
    if (!m_talks->talk(talkId))
        return;
    m_senderColours.insert(senderId, color);
    if (m_transcripts.value(talkId).paragraphCount() >= m_limit)
        clearTranscript(talkId);
    TranscriptMessage message;
    // The messages of a sender share one copy of its ID, and one of its header while that stays the
    // same: a long talk holds thousands of them.
    message.senderId = m_senderColours.constFind(senderId).key();
    message.picture = m_showPicture ? qMax(picture, 0) : -1;
    message.header = u'[' + withoutIsolates(alias.isEmpty() ? ip : alias) + u']';
    if (m_showIP)
        message.header += QStringLiteral(" IP:") + ip;
    if (m_showTime)
        message.header += u' ' + m_clock.text();
    if (m_lastHeaders.size() >= MaxSharedHeaders)
        m_lastHeaders.clear();
    QString &lastHeader = m_lastHeaders[message.senderId];
    if (lastHeader == message.header) {
        message.header = lastHeader;
    } else {
        message.header.squeeze();
        lastHeader = message.header;
    }
    TranscriptBodyContext context;
    context.myId = m_registry->local() ? m_registry->local()->ID : QString();
    context.hasAnimation = [this](int number) {
        return m_look->hasAnimation(number);
    };
    message.body = TranscriptBody(notice ? withoutIsolates(body) : body, context);
    m_transcripts[talkId].append(message, [this] {
        for (Transcript &each : m_transcripts)
            each.trimAnimations();
    });
}

QString TalkHistory::talkName(int talkId) const
{
    const Talk *talk = m_talks->talk(talkId);
    const RUserID *local = m_registry->local();
    return StoryFile::TalkName(talk ? talk->data.Caption : QString(), local ? local->Alias : QString());
}

QByteArray TalkHistory::content(int talkId, bool rtf) const
{
    const Transcript *kept = transcript(talkId);
    if (!kept || kept->isEmpty())
        return {};
    return rtf ? TranscriptFormats::ToRtf(*kept, m_senderColours, OfferedFilesLook(*m_look, m_offers))
               : TranscriptFormats::ToPlainText(*kept);
}

QString TalkHistory::writeTalk(int talkId, bool closing)
{
    const StoryFile::Options options = StoryFile::ReadOptions(m_store);
    const Transcript *kept = transcript(talkId);
    if (!options.SaveHistory || !kept || kept->isEmpty())
        return QString();
    if (!closing && !m_budget.take(QDateTime::currentMSecsSinceEpoch()))
        return QString();
    const QString name = talkName(talkId);
    const StoryFile::WriteResult result =
        StoryFile::WriteTalk(m_historyDir, name, content(talkId, options.SaveAsRTF), options.SaveAsRTF);
    if (result.failed)
        Q_EMIT writeFailed(name, m_historyDir);
    return result.path;
}

void TalkHistory::clearTranscript(int talkId)
{
    writeTalk(talkId);
    if (auto found = m_transcripts.find(talkId); found != m_transcripts.end())
        found->clear();
}

void TalkHistory::writeAll()
{
    for (int position = 0; position < m_talks->count(); ++position) {
        if (const Talk *talk = m_talks->talkAt(position))
            writeTalk(talk->id, true);
    }
}
