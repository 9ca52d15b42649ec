// What a sealed talk leaves on a real wire: two headless peers with keys and a raw design peer in
// network namespaces of the test's own, joined by a bridge, and a packet socket on the bridge's side
// that captures every frame. A private and a group talk between the peers with keys leave none of
// their words in it; the raw peer still talks in plain text, and the peer shows it as not encrypted.
#include "NetnsLab.h"
#include "WireCapture.h"
#include "peers/GroupBoxStorageUn.h"
#include "protocol/ProtocolClassUn.h"
#include "protocol/SendMessageUn.h"
#include "settings/SettingsStore.h"
#include "settings/TMyUserData.h"
#include "support/TempFolder.h"
#include "support/Wait.h"
#include "talks/MessageText.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A design peer: a UDP socket on the peer port inside its namespace, speaking only design packets.
class RawDesignPeer {
public:
    RawDesignPeer(const QString &ns, const char *ip)
    {
        ScopedNetns inside(ns);
        if (!inside.ok())
            return;
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(54812);
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        if (::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
        m_self.Alias = QStringLiteral("Raw");
        m_self.ID = QStringLiteral("{0000AAAA-0000-0000-0000-00000000RAW0}");
        m_self.IP = QString::fromLatin1(ip);
    }
    ~RawDesignPeer()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool ok() const { return m_fd >= 0; }
    const RUserID &self() const { return m_self; }
    void broadcast(const QByteArray &packet, const char *to)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(54812);
        ::inet_pton(AF_INET, to, &address.sin_addr);
        ::sendto(m_fd, packet.constData(), size_t(packet.size()), 0, reinterpret_cast<sockaddr *>(&address),
                 sizeof address);
    }
    // The packets that reached it, bounded per call; each is echoed to its source and a NEW is answered,
    // as the design does.
    void drain()
    {
        char buffer[9000];
        for (int i = 0; i < 10000; ++i) {
            sockaddr_in source{};
            socklen_t sourceSize = sizeof source;
            const ssize_t n = ::recvfrom(m_fd, buffer, sizeof buffer, 0,
                                         reinterpret_cast<sockaddr *>(&source), &sourceSize);
            if (n <= 0)
                return;
            const QByteArray packet(buffer, int(n));
            m_heard.append(packet);
            char from[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &source.sin_addr, from, sizeof from);
            if (m_self.IP != QLatin1StringView(from))
                ::sendto(m_fd, buffer, size_t(n), 0, reinterpret_cast<sockaddr *>(&source), sourceSize);
            if (ClassifyPacket(packet) == pkNew && TDataNewMessage(packet).GetID() != m_self.ID)
                broadcast(BuildPresencePacket(m_self, false), "10.71.0.255");
        }
    }
    const QList<QByteArray> &heard() const { return m_heard; }

private:
    int m_fd = -1;
    RUserID m_self;
    QList<QByteArray> m_heard;
};

QStringList arguments(const TempFolder &folder, const QStringList &rest)
{
    return QStringList{QStringLiteral("--settings"), folder.settingsFile(),
                       QStringLiteral("--data-dir"), folder.path(),
                       QStringLiteral("--format"),   QStringLiteral("json")} +
           rest;
}

QList<QJsonObject> eventsOf(const QByteArray &output, const QString &name)
{
    QList<QJsonObject> events;
    for (const QByteArray &line : output.split('\n')) {
        const QJsonObject event = QJsonDocument::fromJson(line).object();
        if (event.value(QStringLiteral("event")).toString() == name)
            events.append(event);
    }
    return events;
}

} // namespace

class TestSealedWire : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void sealedTalksLeaveNoWordsOnTheWire();
};

void TestSealedWire::initTestCase()
{
    const QString reason = NetnsLab::whyUnavailable();
    if (!reason.isEmpty())
        QSKIP(qPrintable(reason));
}

void TestSealedWire::sealedTalksLeaveNoWordsOnTheWire()
{
    NetnsLab lab;
    QVERIFY2(lab.addNamespace("sw") && lab.addBridge("sw", "br0"), qPrintable(lab.error()));
    const QList<std::pair<QString, QString>> hosts = {
        {"a", "10.71.0.1/24"}, {"b", "10.71.0.2/24"}, {"c", "10.71.0.3/24"}};
    for (const auto &[name, cidr] : hosts) {
        QVERIFY2(lab.addNamespace(name) && lab.link(name, "eth0", "sw", "p-" + name, "br0") &&
                     lab.address(name, "eth0", cidr),
                 qPrintable(lab.error()));
    }
    WireCapture wire(lab.ns("sw"), 8 << 20);
    QVERIFY(wire.ok());
    RawDesignPeer raw(lab.ns("c"), "10.71.0.3");
    QVERIFY(raw.ok());

    TempFolder annaFolder;
    TempFolder borisFolder;
    annaFolder.setAlias(QStringLiteral("Anna"));
    borisFolder.setAlias(QStringLiteral("Boris"));
    // Boris is in Anna's contact group "Keys".
    const SettingsStore annaStore = annaFolder.store();
    GroupStorage::WriteStoredGroup(annaStore,
                                   {3, false, QStringLiteral("Keys"), QStringLiteral("{7E57-6B0C}")});
    GroupStorage::StoreUserGroup(annaStore, borisFolder.userId(), 3);

    const auto inNamespace = [&](const QString &ns, const QStringList &args) {
        auto process = std::make_unique<QProcess>();
        process->start(QStringLiteral("ip"),
                       QStringList{"netns", "exec", lab.ns(ns), QStringLiteral(PERIXCHAT_CLI_BINARY)} + args);
        return process;
    };
    std::unique_ptr<QProcess> boris =
        inNamespace("b", arguments(borisFolder, {QStringLiteral("--timeout"), QStringLiteral("20"),
                                                 QStringLiteral("listen")}));
    QVERIFY(boris->waitForStarted(5000));
    QByteArray borisOut;
    const auto pump = [&] {
        borisOut += boris->readAllStandardOutput();
        wire.drain();
        raw.drain();
    };
    // Boris and the raw peer meet, whichever of them starts to listen first.
    raw.broadcast(BuildPresencePacket(raw.self(), true), "10.71.0.255");
    QVERIFY(waitUntil(
        [&] {
            pump();
            return !eventsOf(borisOut, QStringLiteral("peer-arrived")).isEmpty();
        },
        10000));

    const auto send = [&](const QStringList &args) {
        std::unique_ptr<QProcess> anna = inNamespace("a", arguments(annaFolder, args));
        const bool done = waitUntil(
            [&] {
                pump();
                return anna->state() == QProcess::NotRunning;
            },
            20000);
        return done && anna->exitStatus() == QProcess::NormalExit ? anna->exitCode() : -1;
    };
    QCOMPARE(send({QStringLiteral("send"), QStringLiteral("--to"), QStringLiteral("Boris"),
                   QStringLiteral("secret private words")}),
             0);
    QCOMPARE(send({QStringLiteral("send"), QStringLiteral("--group"), QStringLiteral("Keys"),
                   QStringLiteral("secret group words")}),
             0);
    QCOMPARE(send({QStringLiteral("send"), QStringLiteral("--to"), QStringLiteral("Raw"),
                   QStringLiteral("words for the raw peer")}),
             0);
    // The raw peer writes to Boris, in plain text as the design has it.
    const QString borisId = borisFolder.userId();
    raw.broadcast(BuildUserMessagePacket(borisId, WireIdentity::fromEntry(raw.self()),
                                         MessageText::FromPlainText(QStringLiteral("raw words for Boris")),
                                         false),
                  "10.71.0.255");
    QVERIFY(waitUntil(
        [&] {
            pump();
            return eventsOf(borisOut, QStringLiteral("message")).size() >= 3;
        },
        10000));
    boris->terminate();
    QVERIFY(boris->waitForFinished(10000));
    pump();

    QList<QJsonObject> messages = eventsOf(borisOut, QStringLiteral("message"));
    QCOMPARE(messages.size(), 3);
    const auto find = [&](const QString &text) {
        for (const QJsonObject &m : messages) {
            if (m.value(QStringLiteral("text")).toString() == text)
                return m;
        }
        return QJsonObject();
    };
    QCOMPARE(find(QStringLiteral("secret private words")).value(QStringLiteral("mark")).toString(),
             QStringLiteral("sealed"));
    QCOMPARE(find(QStringLiteral("secret group words")).value(QStringLiteral("mark")).toString(),
             QStringLiteral("sealed"));
    QCOMPARE(find(QStringLiteral("raw words for Boris")).value(QStringLiteral("mark")).toString(),
             QStringLiteral("not encrypted"));

    // The capture saw the plain words of the raw peer's talk (so it sees what crosses the wire), and
    // none of the sealed talks.
    QVERIFY(wire.contains("raw words for Boris"));
    QVERIFY(wire.contains("words for the raw peer"));
    QVERIFY(std::any_of(raw.heard().cbegin(), raw.heard().cend(),
                        [](const QByteArray &p) { return p.contains("words for the raw peer"); }));
    QVERIFY(!wire.contains("secret private words"));
    QVERIFY(!wire.contains("secret group words"));
    QVERIFY(wire.contains("PERIXSEALED!^:^$"));
    QVERIFY(!std::any_of(raw.heard().cbegin(), raw.heard().cend(),
                         [](const QByteArray &p) { return p.contains("PERIXSEALED"); }));
    lab.cleanup();
    QVERIFY(lab.hostUntouched());
}

QTEST_GUILESS_MAIN(TestSealedWire)
#include "test_sealed_wire.moc"
