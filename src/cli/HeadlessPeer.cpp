#include "cli/HeadlessPeer.h"

#include "app/AppContext.h"
#include "app/ChatCore.h"
#include "app/Delivery.h"
#include "cli/DeliveryEvents.h"
#include "peers/GroupBoxStorageUn.h"
#include "app/SecureChannel.h"
#include "cli/KeyReport.h"
#include "crypto/Fingerprint.h"
#include "cli/CliAutoReply.h"
#include "cli/CliFileTransfers.h"
#include "net/UdpTransport.h"
#include "peers/PeerList.h"
#include "peers/PeerRegistry.h"
#include "settings/SettingsWriteReport.h"
#include "talks/AutoAnswer.h"
#include "talks/MessageText.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QTextStream>
#include <QTimer>

namespace {

// Answers of peers arrive within milliseconds on a LAN; this long without one, they are all in.
constexpr int AnswersSettleMs = 300;

// Peer text on a terminal: control and format characters (escape sequences, bidi overrides) would
// act on the terminal, so they show as "?".
QString printable(const QString &text)
{
    QString shown = text;
    for (QChar &c : shown) {
        if (c != u'\n' && c != u'\t' && !c.isPrint())
            c = u'?';
    }
    return shown;
}

QString kindName(TalkKind kind)
{
    switch (kind) {
    case tkAllUsers:
        return QStringLiteral("all");
    case tkPrivate:
        return QStringLiteral("private");
    case tkOwnGroup:
        return QStringLiteral("own-group");
    case tkMemberGroup:
        return QStringLiteral("group");
    }
    return QString();
}

} // namespace

HeadlessPeer::HeadlessPeer(AppContext &context, const CliOptions &options, QTextStream &out, QTextStream &err)
    : m_options(options)
    , m_out(out)
    , m_err(err)
    , m_transport(std::make_unique<UdpTransport>(context.transport))
    , m_core(std::make_unique<ChatCore>(context, *m_transport, this))
    , m_store(context.store)
{
    m_core->delivery()->setKeepUndelivered(options.queue);
    m_files = std::make_unique<CliFileTransfers>(
        *m_core, m_options, [this](const QJsonObject &event, const QString &text) { print(event, text); });
    connect(&SettingsWriteReport::instance(), &SettingsWriteReport::writeFailed, this,
            [this](const QString &location) {
                m_err << "perixchat-cli: the settings could not be saved to " << location
                      << "; the stored ones are kept\n";
                m_err.flush();
            });
}

HeadlessPeer::~HeadlessPeer() = default;

void HeadlessPeer::terminate()
{
    m_terminated = true;
}

int HeadlessPeer::run()
{
    connect(m_core->registry(), &PeerRegistry::peerArrived, this,
            [this] { m_lastArrival = QDateTime::currentMSecsSinceEpoch(); });
    if (QString error; !ApplyCliAutoReply(*m_core, m_options, &error)) {
        m_err << "perixchat-cli: " << printable(error) << '\n';
        m_err.flush();
        return ExitNotFound;
    }
    if (!m_transport->SetTransportOpen(true)) {
        m_err << "perixchat-cli: the network cannot be opened\n";
        m_err.flush();
        return ExitNetwork;
    }
    m_core->start();
    if (!m_options.file.isEmpty() || m_options.command == QStringLiteral("listen"))
        m_files->watch();
    int code = ExitUsage;
    if (m_options.command == QStringLiteral("list"))
        code = list();
    else if (m_options.command == QStringLiteral("send"))
        code = serveFile(send());
    else if (m_options.command == QStringLiteral("listen"))
        code = listen();
    m_core->stop();
    m_transport->SetTransportOpen(false);
    m_out.flush();
    m_err.flush();
    return code;
}

bool HeadlessPeer::waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(20);
    connect(&tick, &QTimer::timeout, &loop, [&] {
        if (m_terminated || done() || (timeoutMs > 0 && clock.elapsed() >= timeoutMs))
            loop.quit();
    });
    tick.start();
    if (!done())
        loop.exec();
    return done();
}

void HeadlessPeer::waitForAnswers()
{
    const qint64 started = QDateTime::currentMSecsSinceEpoch();
    waitFor(
        [this, started] {
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            return now - std::max(started, m_lastArrival) >= AnswersSettleMs;
        },
        m_options.timeoutMs);
}

QJsonObject HeadlessPeer::peerObject(int peerIndex) const
{
    const RUserID *peer = m_core->registry()->GetPeer(peerIndex);
    if (!peer)
        return {};
    const ContactGroup *group = m_core->registry()->group(peer->GroupNumber);
    const SecureChannel &keys = *m_core->secure();
    const std::optional<PeerPublicKeys> announced = keys.announcedKeys(peer->ID);
    return {{QStringLiteral("id"), peer->ID},
            {QStringLiteral("alias"), peer->Alias},
            {QStringLiteral("ip"), peer->IP},
            {QStringLiteral("group"), group ? group->caption : QString()},
            {QStringLiteral("key"), KeyStateName(keys, peer->ID)},
            {QStringLiteral("fingerprint"), announced ? KeyFingerprint(*announced) : QString()}};
}

void HeadlessPeer::print(const QJsonObject &event, const QString &text)
{
    if (m_options.json)
        m_out << QJsonDocument(event).toJson(QJsonDocument::Compact) << '\n';
    else
        m_out << printable(text) << '\n';
    m_out.flush();
}

int HeadlessPeer::list()
{
    waitForAnswers();
    const PeerList &peers = m_core->registry()->peers();
    for (int k = 1; k < peers.count(); ++k) {
        const RUserID *peer = peers.GetPeer(k);
        if (!peer || peer->Online != 1)
            continue;
        QJsonObject object = peerObject(k);
        const QString line = DisplayName(*peer) + u'\t' + peer->IP + u'\t' + peer->ID + u'\t' +
                             object.value(QStringLiteral("group")).toString() + u'\t' +
                             object.value(QStringLiteral("key")).toString();
        object.insert(QStringLiteral("event"), QStringLiteral("peer"));
        print(object, line);
    }
    return ExitSent;
}

int HeadlessPeer::result(int sendResult)
{
    switch (SendResult(sendResult)) {
    case SendResult::Sent:
    case SendResult::Nothing:
        return ExitSent;
    case SendResult::Failed:
    case SendResult::Unsent:
        break;
    }
    m_err << "perixchat-cli: the message could not be sent\n";
    return ExitNetwork;
}

int HeadlessPeer::verdict(const SendVerdict &sent)
{
    // The last copy goes about 4.25 s after the first and waits a second for its echo.
    constexpr int VerdictWaitMs = 8000;
    waitFor([&sent] { return sent.known() || !sent.sent(); }, VerdictWaitMs);
    if (sent.delivered())
        return ExitSent;
    const QString missing = sent.known() ? sent.notDelivered().join(QStringLiteral(", ")) : QString();
    if (sent.waiting()) {
        print({{QStringLiteral("event"), QStringLiteral("queued")}, {QStringLiteral("for"), missing}},
              QStringLiteral("not delivered to %1 yet: it waits in the outbox").arg(missing));
        return ExitSent;
    }
    m_err << "perixchat-cli: the message was not delivered" << (missing.isEmpty() ? "" : " to ")
          << printable(missing) << '\n';
    return ExitNotDelivered;
}

int HeadlessPeer::queue()
{
    const QString id = m_options.to;
    if (GroupStorage::StoredGroupOfUser(m_store, id) < 0) {
        m_err << "perixchat-cli: no user " << printable(id)
              << " is online or known by ID from a contact group\n";
        return ExitNotFound;
    }
    if (!m_core->delivery()->queue(TalkCore::NoTalk, id, id, MessageText::FromPlainText(m_options.text))) {
        m_err << "perixchat-cli: the outbox is full\n";
        return ExitNetwork;
    }
    print({{QStringLiteral("event"), QStringLiteral("queued")}, {QStringLiteral("for"), id}},
          QStringLiteral("%1 is not online: the message waits in the outbox").arg(printable(id)));
    return ExitSent;
}

int HeadlessPeer::send()
{
    const SendVerdict sent(*m_core->delivery());
    const QString text = m_files->messageText();
    if (m_options.all) {
        const int code = result(int(m_core->sendToAll(text)));
        return code == ExitSent ? verdict(sent) : code;
    }
    if (!m_options.to.isEmpty()) {
        waitFor([this] { return !m_core->findPeers(m_options.to).isEmpty(); }, m_options.timeoutMs);
        const QList<int> found = m_core->findPeers(m_options.to);
        if (found.isEmpty() && m_options.queue)
            return queue();
        if (found.isEmpty()) {
            m_err << "perixchat-cli: no user " << printable(m_options.to) << " is online\n";
            return ExitNotFound;
        }
        if (found.size() > 1) {
            m_err << "perixchat-cli: " << found.size() << " users are called " << printable(m_options.to)
                  << "; name one by its ID\n";
            return ExitNotFound;
        }
        // The key follows the user's answer at once: a private message waits a moment for it.
        const QString id = m_core->registry()->GetPeer(found.first())->ID;
        if (m_core->secure()->hasKeys())
            waitFor([this, id] { return m_core->secure()->canSeal(id); }, AnswersSettleMs);
        const int code = result(int(m_core->sendToUser(found.first(), text)));
        return code == ExitSent ? verdict(sent) : code;
    }
    waitForAnswers();
    const int group = m_core->findGroup(m_options.group);
    if (group == 0) {
        m_err << "perixchat-cli: there is no contact group " << printable(m_options.group) << '\n';
        return ExitNotFound;
    }
    if (m_core->registry()->group(group)->members.isEmpty()) {
        m_err << "perixchat-cli: nobody of the group " << printable(m_options.group) << " is online\n";
        return ExitNotFound;
    }
    const int code = result(int(m_core->sendToGroup(group, text)));
    return code == ExitSent ? verdict(sent) : code;
}

int HeadlessPeer::serveFile(int sendCode)
{
    if (m_options.file.isEmpty() || sendCode != ExitSent)
        return sendCode;
    const bool oneUser = !m_options.to.isEmpty();
    waitFor([this, oneUser] { return oneUser && m_files->servedToOne(); }, m_options.serveMs);
    return sendCode;
}

void HeadlessPeer::watchEvents()
{
    WatchDelivery(*m_core->delivery(), this,
                  [this](const QJsonObject &event, const QString &text) { print(event, text); });
    PeerRegistry *registry = m_core->registry();
    const auto peerEvent = [this](const char *name, const QString &verb) {
        return [this, name, verb](int k) {
            const RUserID *peer = m_core->registry()->GetPeer(k);
            if (!peer)
                return;
            QJsonObject event = peerObject(k);
            event.insert(QStringLiteral("event"), QLatin1StringView(name));
            print(event, DisplayName(*peer) + QStringLiteral(" (") + peer->IP + QStringLiteral(") ") + verb);
        };
    };
    connect(registry, &PeerRegistry::peerArrived, this, peerEvent("peer-arrived", QStringLiteral("arrived")));
    connect(registry, &PeerRegistry::peerUpdated, this, peerEvent("peer-updated", QStringLiteral("changed")));
    connect(registry, &PeerRegistry::peerLeft, this, peerEvent("peer-left", QStringLiteral("left")));

    TalkCore *talks = m_core->talks();
    connect(talks, &TalkCore::messageForTalk, this,
            [this, talks](int id, const QString &senderId, const QString &ip, const QString &body, qint32,
                          int, const QString &alias) {
                const RUserID *me = m_core->registry()->local();
                const Talk *talk = talks->talk(id);
                // Our own words come back from the network; they are not news.
                if (!talk || (me && senderId == me->ID))
                    return;
                const QString text = MessageText::PlainText(body);
                QString mark = MarkName(m_core->secure()->currentMark());
                if (mark.isEmpty() && m_core->secure()->hasKeys() &&
                    m_core->secure()->talkSeal(*talk) == TalkSeal::NotEncrypted)
                    mark = QStringLiteral("not encrypted");
                QJsonObject event{{QStringLiteral("event"), QStringLiteral("message")},
                                  {QStringLiteral("talk"), id},
                                  {QStringLiteral("kind"), kindName(talk->data.kind)},
                                  {QStringLiteral("from"), QJsonObject{{QStringLiteral("id"), senderId},
                                                                       {QStringLiteral("alias"), alias},
                                                                       {QStringLiteral("ip"), ip}}},
                                  {QStringLiteral("text"), text}};
                if (talk->data.kind == tkOwnGroup || talk->data.kind == tkMemberGroup)
                    event.insert(QStringLiteral("group"), talk->data.GroupName);
                if (!mark.isEmpty())
                    event.insert(QStringLiteral("mark"), mark);
                print(event, u'[' + kindName(talk->data.kind) +
                                 (mark.isEmpty() ? QString() : QStringLiteral(", ") + mark) +
                                 QStringLiteral("] ") + DisplayName(alias, ip) + QStringLiteral(": ") + text);
            });
    connect(talks, &TalkCore::talkCreated, this, [this, talks](int id) {
        const Talk *talk = talks->talk(id);
        if (!talk)
            return;
        print({{QStringLiteral("event"), QStringLiteral("talk-opened")},
               {QStringLiteral("talk"), id},
               {QStringLiteral("kind"), kindName(talk->data.kind)},
               {QStringLiteral("caption"), talk->data.Caption}},
              QStringLiteral("talk %1 opened: ").arg(id) + talk->data.Caption);
    });
    connect(m_core->secure(), &SecureChannel::keyStateChanged, this, [this](const QString &userId) {
        if (m_core->secure()->trust(userId) != KeyTrust::Changed)
            return;
        print(
            {{QStringLiteral("event"), QStringLiteral("key-changed")}, {QStringLiteral("id"), userId}},
            QStringLiteral("THE KEY OF USER %1 CHANGED; messages under the new key are marked").arg(userId));
    });
    connect(m_core->autoAnswer(), &AutoAnswer::answered, this, [this, talks](int id) {
        const Talk *talk = talks->talk(id);
        if (!talk)
            return;
        print({{QStringLiteral("event"), QStringLiteral("auto-reply")},
               {QStringLiteral("talk"), id},
               {QStringLiteral("to"), QJsonObject{{QStringLiteral("id"), talk->data.PeerID},
                                                  {QStringLiteral("ip"), talk->data.PeerIP}}}},
              QStringLiteral("auto-reply sent in talk %1: ").arg(id) + talk->data.Caption);
    });
    connect(talks, &TalkCore::talkClosed, this, [this](int id) {
        print({{QStringLiteral("event"), QStringLiteral("talk-closed")}, {QStringLiteral("talk"), id}},
              QStringLiteral("talk %1 closed").arg(id));
    });
}

int HeadlessPeer::listen()
{
    watchEvents();
    // Without a timeout it listens until it is told to stop.
    waitFor([] { return false; }, m_options.timeoutGiven ? m_options.timeoutMs : 0);
    return ExitSent;
}

PrivateCloseAnswer HeadlessPeer::AskPrivateClose(const QString &alias)
{
    const PrivateCloseAnswer answer =
        m_options.keepTalks ? PrivateCloseAnswer::Leave : PrivateCloseAnswer::Close;
    const QString answerName =
        answer == PrivateCloseAnswer::Close ? QStringLiteral("close") : QStringLiteral("leave");
    if (m_options.command == QStringLiteral("listen"))
        print({{QStringLiteral("event"), QStringLiteral("question")},
               {QStringLiteral("question"), QStringLiteral("private-close")},
               {QStringLiteral("alias"), alias},
               {QStringLiteral("answer"), answerName}},
              alias + QStringLiteral(" closed the private talk; answered: ") + answerName);
    return answer;
}

void HeadlessPeer::ShowGroupClosed(const QString &authorAlias, const QString &caption)
{
    if (m_options.command == QStringLiteral("listen"))
        print({{QStringLiteral("event"), QStringLiteral("group-closed")},
               {QStringLiteral("author"), authorAlias},
               {QStringLiteral("caption"), caption}},
              authorAlias + QStringLiteral(" closed the group talk ") + caption);
}
