// Copies on real, distinct addresses: each test builds its own network namespaces (a switch with
// bridges, hosts joined to it by veth pairs, a router between two subnets), runs the program there
// without --loopback, and removes everything again. The host's own network is never joined.
//
// One copy runs inside this process, its sockets made inside its namespace, so that the test can look
// at its user list; the others are the program itself, started with "ip netns exec".

#include "NetnsLab.h"

#include "PeerHarness.h"
#include "app/ui/MainNetwork.h"
#include "features/ui/MessageBox.h"
#include "net/IPUn.h"
#include "net/NetInterfaces.h"
#include "peers/PresenceProbe.h"
#include "settings/iniFileUn.h"

#include <QSignalSpy>
#include <QStandardPaths>
#include <QTextEdit>

namespace {

// Shortened only here: a vanished peer goes within about a second and a half.
constexpr int ProbePeriodMs = 250;

// The copy that runs in this process, in its namespace.
class NsCopy {
public:
    NsCopy(NetnsLab &lab, const QString &ns, const QString &alias)
        : m_lab(lab)
        , m_ns(ns)
    {
        TSetUserData(store()).SetAlias(alias);
    }
    ~NsCopy() { close(); }

    SettingsStore store() const { return SettingsStore(m_dir.filePath(QStringLiteral("settings.ini"))); }

    bool start()
    {
        ScopedNetns inside(m_lab.ns(m_ns));
        if (!inside.ok())
            return false;
        StartOptions options;
        options.settingsFile = m_dir.filePath(QStringLiteral("settings.ini"));
        options.dataDir = m_dir.path();
        m_program = std::make_unique<PerixChatProgram>(AppContext::fromOptions(options));
        m_program->start();
        return m_program->mainWindow()->transport()->isOpen();
    }
    void close()
    {
        if (!m_program)
            return;
        ScopedNetns inside(m_lab.ns(m_ns));
        m_program->close();
        m_program.reset();
    }
    // Applies new network options as the window's OK does, looking at this namespace's interfaces.
    void apply(const NetworkOptions &options)
    {
        ScopedNetns inside(m_lab.ns(m_ns));
        m_program->mainWindow()->network()->Apply(options);
    }

    TPerixChatForm *mainWindow() const { return m_program->mainWindow(); }
    TfmUserList *userList() const { return m_program->userList(); }
    PeerRegistry *registry() const { return m_program->chat()->registry(); }
    UdpTransport *transport() const { return mainWindow()->transport(); }

    // Online users by display name and IP field.
    QStringList online() const
    {
        QStringList result;
        for (int i = 1; i < registry()->peers().count(); ++i) {
            const RUserID *entry = registry()->GetPeer(i);
            if (entry->Online == 1)
                result.append(entry->Alias + u'@' + entry->IP);
        }
        return result;
    }
    QStringList nodeTexts() const
    {
        // Nodes of arrivals are put into the trees at the end of the turn that handled them.
        userList()->flushNodes();
        QStringList texts;
        for (const QTreeWidget *tree : userList()->findChildren<QTreeWidget *>()) {
            for (int i = 0; i < tree->topLevelItemCount(); ++i)
                texts.append(withoutIsolates(tree->topLevelItem(i)->text(0)));
        }
        return texts;
    }
    QString allUsersText() const
    {
        return withoutIsolates(
            mainWindow()->findChild<QTextEdit *>(QStringLiteral("reAllMessage"))->toPlainText());
    }

private:
    NetnsLab &m_lab;
    QString m_ns;
    QTemporaryDir m_dir;
    std::unique_ptr<PerixChatProgram> m_program;
};

// The program started in a namespace, with a settings file of its own.
class NsProgram {
public:
    explicit NsProgram(const QString &alias, const QString &addresses = QString())
    {
        TSetUserData(store()).SetAlias(alias);
        if (!addresses.isEmpty())
            writeSetting(store(), Setting::NetworkAddresses, addresses);
    }
    SettingsStore store() const { return SettingsStore(m_dir.filePath(QStringLiteral("settings.ini"))); }
    QString id() const { return TMyUserData(store()).GetID(); }

    bool start(NetnsLab &lab, const QString &ns)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*=false"));
        env.insert(QStringLiteral("PERIX_TEST_PROBE_PERIOD_MS"), QString::number(ProbePeriodMs));
        m_process = lab.startProgram(
            ns, QStringLiteral(PERIXCHAT_BINARY),
            {"--settings", m_dir.filePath(QStringLiteral("settings.ini")), "--data-dir", m_dir.path()}, env);
        return m_process != nullptr;
    }
    bool running() const { return m_process && m_process->state() == QProcess::Running; }

private:
    QTemporaryDir m_dir;
    QProcess *m_process = nullptr;
};

// Waits, bounded, until something in the namespace echoes on the peer port of that address: the
// program there is up and reachable.
bool echoes(NetnsLab &lab, const QString &ns, const QString &address, int timeoutMs = 8000)
{
    QUdpSocket socket;
    {
        ScopedNetns inside(lab.ns(ns));
        if (!inside.ok() || !socket.bind(QHostAddress::AnyIPv4, 0))
            return false;
    }
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        socket.writeDatagram("ready?", QHostAddress(address), PeerPort);
        QTest::qWait(100);
        while (socket.hasPendingDatagrams()) {
            if (socket.receiveDatagram().data() == "ready?")
                return true;
        }
    }
    return false;
}

int countOf(const QString &text, const QString &part)
{
    return int(text.count(part));
}

} // namespace

class TestNetns : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void twoCopiesOnOneSubnet();
    void vanishedPeerGoesAndComesBack();
    void copyOnSecondSubnetThroughHostAddress();
    void defaultRouteBeatsDecoyThatSortsLast();
    void severalCardsShowOneUserOnce();

private:
    // The switch namespace "sw" with bridge br0, and host namespaces joined to it.
    bool buildLan(NetnsLab &lab, const QList<std::pair<QString, QString>> &hosts);
};

void TestNetns::initTestCase()
{
    const QString reason = NetnsLab::whyUnavailable();
    if (!reason.isEmpty())
        QSKIP(qPrintable(reason));
    QStandardPaths::setTestModeEnabled(true);
    MessageBox::setAutoAnswer(QMessageBox::Ok);
    qputenv("PERIX_TEST_PROBE_PERIOD_MS", QByteArray::number(ProbePeriodMs));
}

void TestNetns::cleanupTestCase()
{
    qunsetenv("PERIX_TEST_PROBE_PERIOD_MS");
}

void TestNetns::init()
{
    MessageBox::clearShownTexts();
}

bool TestNetns::buildLan(NetnsLab &lab, const QList<std::pair<QString, QString>> &hosts)
{
    if (!lab.addNamespace("sw") || !lab.addBridge("sw", "br0"))
        return false;
    for (const auto &[name, cidr] : hosts) {
        if (!lab.addNamespace(name) || !lab.link(name, "eth0", "sw", "p-" + name, "br0") ||
            !lab.address(name, "eth0", cidr))
            return false;
    }
    return true;
}

void TestNetns::twoCopiesOnOneSubnet()
{
    NetnsLab lab;
    QVERIFY2(buildLan(lab, {{"a", "10.199.1.10/24"}, {"b", "10.199.1.20/24"}}), qPrintable(lab.error()));
    NsProgram bob("Bob");
    QVERIFY(bob.start(lab, "b"));
    // Reached from a's namespace before the copy there starts: it must hear bob's answer to its NEW.
    QVERIFY(echoes(lab, "a", "10.199.1.20"));
    NsCopy anna(lab, "a", "Anna");
    QVERIFY(anna.start());
    QCOMPARE(anna.transport()->LocalIP(), QStringLiteral("10.199.1.10"));
    QCOMPARE(anna.transport()->BroadcastAddress(), QStringLiteral("10.199.1.255"));
    QCOMPARE(anna.transport()->choice().interfaceName, QStringLiteral("eth0"));
    QSignalSpy packets(anna.transport(), &PacketTransport::packetReceived);
    QVERIFY(waitUntil([&] { return anna.online().size() == 1; }, 8000));
    QCOMPARE(anna.online(), QStringList{"Bob@10.199.1.20"});
    QCOMPARE(anna.nodeTexts(), QStringList{"Bob"});
    // Bob was there first: what came from it was an answer to Anna's NEW, so it heard Anna.
    QList<quint8> kinds;
    for (const QList<QVariant> &args : std::as_const(packets)) {
        const QByteArray p = args.at(0).toByteArray();
        if (TDataNewMessage(p).GetID() == bob.id())
            kinds.append(ClassifyPacket(p));
    }
    QVERIFY(!kinds.isEmpty());
    QCOMPARE(kinds.first(), quint8(pkUpdateInfo));
    QVERIFY(!kinds.contains(quint8(pkNew)));
    anna.close();
    lab.cleanup();
    QVERIFY(lab.hostUntouched());
}

void TestNetns::vanishedPeerGoesAndComesBack()
{
    NetnsLab lab;
    QVERIFY2(buildLan(lab, {{"a", "10.199.1.10/24"}, {"b", "10.199.1.20/24"}}), qPrintable(lab.error()));
    NsProgram bob("Bob");
    QVERIFY(bob.start(lab, "b"));
    QVERIFY(echoes(lab, "a", "10.199.1.20"));
    NsCopy anna(lab, "a", "Anna");
    QVERIFY(anna.start());
    QCOMPARE(anna.mainWindow()->network()->probe()->periodMs(), ProbePeriodMs);
    QVERIFY(waitUntil([&] { return anna.online() == QStringList{"Bob@10.199.1.20"}; }, 8000));
    // Several periods with answers (the schedule looks at the user list once a second): nothing happens.
    QTest::qWait(6 * ProbePeriodMs);
    QCOMPARE(anna.online().size(), 1);
    QVERIFY2(anna.mainWindow()->network()->probe()->probesSent() >= 3,
             qPrintable(QStringLiteral("%1 probes, %2 hosts")
                            .arg(anna.mainWindow()->network()->probe()->probesSent())
                            .arg(anna.mainWindow()->network()->probe()->hostCount())));

    // Bob's cable is pulled: no goodbye, no echo.
    QVERIFY(lab.setUp("b", "eth0", false));
    QElapsedTimer gone;
    gone.start();
    QVERIFY(waitUntil([&] { return anna.online().isEmpty(); }, 10 * ProbePeriodMs));
    // Three probes in a row went unanswered first.
    QVERIFY2(gone.elapsed() >= 2 * ProbePeriodMs, qPrintable(QString::number(gone.elapsed())));
    QCOMPARE(anna.nodeTexts(), QStringList());
    QCOMPARE(countOf(anna.allUsersText(), QStringLiteral("User \"Bob\" is disconnect...")), 1);
    QCOMPARE(anna.registry()->GetPeer(1)->Online, quint8(0));

    // Plugged in again: each side's host answers the other's probes again, each greets the other with
    // NEW, and Bob is back through its NEW or its UPDATEINFO answer, whichever came first.
    QSignalSpy packets(anna.transport(), &PacketTransport::packetReceived);
    QVERIFY(lab.setUp("b", "eth0", true));
    QVERIFY(waitUntil([&] { return anna.online() == QStringList{"Bob@10.199.1.20"}; }, 10000));
    QCOMPARE(anna.nodeTexts(), QStringList{"Bob"});
    QCOMPARE(anna.registry()->peers().count(), 3);
    QCOMPARE(countOf(anna.allUsersText(), QStringLiteral("User \"Bob\" is connect...")), 2);
    bool presenceFromBob = false;
    for (const QList<QVariant> &args : std::as_const(packets)) {
        const QByteArray p = args.at(0).toByteArray();
        const quint8 kind = ClassifyPacket(p);
        presenceFromBob = presenceFromBob ||
                          ((kind == pkNew || kind == pkUpdateInfo) && TDataNewMessage(p).GetID() == bob.id());
    }
    QVERIFY(presenceFromBob);
    QVERIFY(bob.running());
    anna.close();
    lab.cleanup();
    QVERIFY(lab.hostUntouched());
}

void TestNetns::copyOnSecondSubnetThroughHostAddress()
{
    NetnsLab lab;
    QVERIFY2(buildLan(lab, {{"a", "10.199.1.10/24"}}), qPrintable(lab.error()));
    // A router between 10.199.1.0/24 and 10.199.2.0/24; the second subnet has a bridge of its own.
    QVERIFY2(
        lab.addBridge("sw", "br1") && lab.addNamespace("rt") &&
            lab.link("rt", "eth0", "sw", "p-rt0", "br0") && lab.link("rt", "eth1", "sw", "p-rt1", "br1") &&
            lab.address("rt", "eth0", "10.199.1.1/24") && lab.address("rt", "eth1", "10.199.2.1/24") &&
            lab.forwarding("rt") && lab.addNamespace("c") && lab.link("c", "eth0", "sw", "p-c", "br1") &&
            lab.address("c", "eth0", "10.199.2.30/24") && lab.route("c", {"default", "via", "10.199.2.1"}) &&
            lab.route("a", {"default", "via", "10.199.1.1"}),
        qPrintable(lab.error()));
    // Carl lists Anna's computer; Anna does not list Carl's yet.
    NsProgram carl("Carl", QStringLiteral("10.199.1.10"));
    QVERIFY(carl.start(lab, "c"));
    QVERIFY(echoes(lab, "a", "10.199.2.30"));
    NsCopy anna(lab, "a", "Anna");
    QVERIFY(anna.start());
    QCOMPARE(anna.transport()->LocalIP(), QStringLiteral("10.199.1.10"));
    // Anna's packets go to her own subnet only. (Carl's NEW, repeated while nobody answers it, reaches
    // her through his further address, so she may list him already; he cannot hear her yet.)
    QCOMPARE(anna.transport()->Destinations(), QList<QHostAddress>({QHostAddress("10.199.1.255")}));

    // Anna adds Carl's computer: her packets go there as well, and Carl is greeted at once.
    anna.apply({QString(), QStringLiteral("10.199.2.30")});
    QCOMPARE(anna.transport()->Destinations(),
             QList<QHostAddress>({QHostAddress("10.199.1.255"), QHostAddress("10.199.2.30")}));
    QCOMPARE(readSetting(anna.store(), Setting::NetworkAddresses), QStringLiteral("10.199.2.30"));
    QVERIFY(waitUntil([&] { return anna.online() == QStringList{"Carl@10.199.2.30"}; }, 8000));
    // Its answers keep coming back through the router: probed, and still there after several periods.
    QTest::qWait(5 * ProbePeriodMs);
    QCOMPARE(anna.online(), QStringList{"Carl@10.199.2.30"});
    anna.close();
    lab.cleanup();
    QVERIFY(lab.hostUntouched());
}

void TestNetns::defaultRouteBeatsDecoyThatSortsLast()
{
    NetnsLab lab;
    QVERIFY2(buildLan(lab, {{"a", "10.199.1.10/24"}, {"d", "10.199.1.40/24"}}), qPrintable(lab.error()));
    // The decoy is made last, so the system lists it last: the old rule would take its address.
    QVERIFY2(lab.route("d", {"default", "dev", "eth0"}) && lab.link("d", "zzdecoy", "sw", "p-decoy") &&
                 lab.address("d", "zzdecoy", "10.199.9.40/24"),
             qPrintable(lab.error()));
    {
        ScopedNetns inside(lab.ns("d"));
        QVERIFY(inside.ok());
        const QList<NetInterface> interfaces = ListNetInterfaces();
        QCOMPARE(interfaces.last().name, QStringLiteral("zzdecoy"));
        QList<InterfaceAddress> flat;
        for (const NetInterface &i : interfaces)
            for (const NetInterface::Address &a : i.addresses)
                flat.append({a.ip, i.loopback, i.up});
        QCOMPARE(PickLocalIP(flat), QStringLiteral("10.199.9.40"));
        QCOMPARE(DefaultRouteInterfaces(interfaces), QStringList{"eth0"});
        QCOMPARE(GetLocalIP(), QStringLiteral("10.199.1.40"));
    }
    NsCopy anna(lab, "a", "Anna");
    QVERIFY(anna.start());
    NsProgram dora("Dora");
    QVERIFY(dora.start(lab, "d"));
    // Dora's NEW carries the address of the default route's card and reached Anna's subnet.
    QVERIFY(waitUntil([&] { return anna.online() == QStringList{"Dora@10.199.1.40"}; }, 8000));
    anna.close();
    lab.cleanup();
    QVERIFY(lab.hostUntouched());
}

void TestNetns::severalCardsShowOneUserOnce()
{
    NetnsLab lab;
    QVERIFY2(buildLan(lab, {{"a", "10.199.1.10/24"}, {"b", "10.199.1.20/24"}}), qPrintable(lab.error()));
    // Anna's computer has a second card on the same network.
    QVERIFY2(lab.link("a", "eth1", "sw", "p-a1", "br0") && lab.address("a", "eth1", "10.199.1.11/24"),
             qPrintable(lab.error()));
    NsCopy anna(lab, "a", "Anna");
    QVERIFY(anna.start());
    QSignalSpy packets(anna.transport(), &PacketTransport::packetReceived);
    // Bob lists Anna's second card as well: each of his packets reaches her twice or more.
    NsProgram bob("Bob", QStringLiteral("10.199.1.11"));
    QVERIFY(bob.start(lab, "b"));
    QVERIFY(waitUntil([&] { return anna.online().size() == 1; }, 8000));
    QTest::qWait(3 * ProbePeriodMs);
    int newsFromBob = 0;
    for (const QList<QVariant> &args : std::as_const(packets)) {
        const QByteArray p = args.at(0).toByteArray();
        newsFromBob += ClassifyPacket(p) == pkNew && TDataNewMessage(p).GetID() == bob.id();
    }
    QVERIFY2(newsFromBob >= 2, qPrintable(QString::number(newsFromBob)));
    QCOMPARE(anna.online(), QStringList{"Bob@10.199.1.20"});
    QCOMPARE(anna.nodeTexts(), QStringList{"Bob"});
    QCOMPARE(anna.registry()->peers().count(), 2);
    QCOMPARE(countOf(anna.allUsersText(), QStringLiteral("User \"Bob\" is connect...")), 1);
    // Both cards lead to the same computer: asked once a period, at the address its packets came from.
    QCOMPARE(anna.mainWindow()->network()->probe()->hostCount(), 1);
    anna.close();
    lab.cleanup();
    QVERIFY(lab.hostUntouched());
}

QTEST_MAIN(TestNetns)
#include "test_netns.moc"
