// The outbox of the headless peer between two hosts: a queued message survives the process being
// killed while it sends it, and the next run delivers it once.

#include "LossyLan.h"

#include "peers/GroupBoxStorageUn.h"
#include "support/CorePeer.h"
#include "support/TempFolder.h"
#include "support/Wait.h"
#include "talks/MessageText.h"
#include "talks/Outbox.h"
#include "talks/TalkCore.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <map>

namespace {

// A headless peer of host 1 with Anna's settings; its JSON events are collected as it runs.
class CliRun {
public:
    CliRun(NetnsLab &lab, const TempFolder &folder, const QStringList &args)
    {
        m_process.start(QStringLiteral("ip"),
                        QStringList{"netns", "exec", lab.ns(LossyLan::hostName(1)),
                                    QStringLiteral(PERIXCHAT_CLI_BINARY), "--settings", folder.settingsFile(),
                                    "--data-dir", folder.path(), "--format", "json"} +
                            args);
    }
    ~CliRun()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    bool started() { return m_process.waitForStarted(5000); }
    QProcess &process() { return m_process; }
    int eventCount(const QString &name)
    {
        m_output += m_process.readAllStandardOutput();
        int count = 0;
        for (const QByteArray &line : m_output.split('\n'))
            count += QJsonDocument::fromJson(line).object().value(QStringLiteral("event")).toString() == name;
        return count;
    }
    bool finished(int timeoutMs)
    {
        return waitUntil([this] { return m_process.state() == QProcess::NotRunning; }, timeoutMs);
    }
    QByteArray output() const { return m_output; }

private:
    QProcess m_process;
    QByteArray m_output;
};

std::optional<QList<OutboxEntry>> storedOutbox(const TempFolder &folder)
{
    QFile file(folder.filePath(QStringLiteral("Outbox.json")));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return Outbox::Parse(file.readAll());
}

} // namespace

class TestOutboxNetns : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void queuedMessageSurvivesAKillWhileItIsSent();
};

void TestOutboxNetns::initTestCase()
{
    if (const QString why = NetnsLab::whyUnavailable(); !why.isEmpty())
        QSKIP(qPrintable(why));
    if (!LossyLan::nftAvailable())
        QSKIP("nft is not installed (Debian package nftables)");
}

void TestOutboxNetns::queuedMessageSurvivesAKillWhileItIsSent()
{
    NetnsLab lab;
    LossyLan lan(lab);
    QVERIFY2(lan.build(2), qPrintable(lab.error()));
    std::unique_ptr<UdpTransport> borisTransport = lan.openTransport(2);
    QVERIFY(borisTransport);
    CorePeer boris(QStringLiteral("Boris"), std::move(borisTransport));
    std::map<QString, int> shown;
    connect(boris.talks(), &TalkCore::messageForTalk, this,
            [&](int, const QString &, const QString &, const QString &body) {
                ++shown[MessageText::PlainText(body)];
            });
    // Boris is known to Anna by his ID from one of her contact groups.
    TempFolder anna;
    anna.setAlias(QStringLiteral("Anna"));
    GroupStorage::WriteStoredGroup(anna.store(),
                                   {3, false, QStringLiteral("Friends"), QStringLiteral("{F1-E2}")});
    GroupStorage::StoreUserGroup(anna.store(), boris.id(), 3);
    const QString words = QStringLiteral("kept across a crash");

    // Boris is away: the message waits in the file.
    {
        CliRun send(lab, anna, {"send", "--to", boris.id(), "--queue", "--timeout", "1", words});
        QVERIFY(send.started());
        QVERIFY(send.finished(15000));
        QCOMPARE(send.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(send.process().exitCode(), 0);
        QCOMPARE(send.eventCount(QStringLiteral("queued")), 1);
    }
    std::optional<QList<OutboxEntry>> stored = storedOutbox(anna);
    QVERIFY(stored && stored->size() == 1);
    QCOMPARE(stored->first().addresseeId, boris.id());
    QCOMPARE(MessageText::PlainText(stored->first().body), words);

    // Boris arrives, but nothing of Anna's host reaches his peer port: the message goes out from the
    // outbox, unanswered, and the process is killed in the middle of its retries.
    QVERIFY(lan.setLoss(2, 100, QStringLiteral("ip saddr 10.23.0.1 udp dport 54812")));
    {
        CliRun listen(lab, anna, {"listen"});
        QVERIFY(listen.started());
        boris.start();
        QVERIFY2(waitUntil([&] { return listen.eventCount(QStringLiteral("waiting-sent")) == 1; }, 15000),
                 listen.output().constData());
        listen.process().kill();
        QVERIFY(listen.finished(5000));
        QCOMPARE(listen.process().exitStatus(), QProcess::CrashExit);
    }
    stored = storedOutbox(anna);
    QVERIFY2(stored && stored->size() == 1, "the message being sent was not in the file");
    QCOMPARE(MessageText::PlainText(stored->first().body), words);
    QCOMPARE(shown[words], 0);

    // The network is whole again and the peer runs again with the same settings: Boris shows the
    // message once, the receipt says so, and the outbox is empty.
    QVERIFY(lan.setLoss(2, 0));
    CliRun again(lab, anna, {"listen"});
    QVERIFY(again.started());
    QVERIFY2(waitUntil(
                 [&] {
                     const std::optional<QList<OutboxEntry>> now = storedOutbox(anna);
                     return again.eventCount(QStringLiteral("delivered")) == 1 && now && now->isEmpty();
                 },
                 15000),
             again.output().constData());
    QCOMPARE(again.eventCount(QStringLiteral("waiting-sent")), 1);
    QCOMPARE(again.eventCount(QStringLiteral("not-delivered")), 0);
    QCOMPARE(shown[words], 1);
    QCOMPARE(int(shown.size()), 1);
    again.process().terminate();
    QVERIFY(again.finished(10000));
    QCOMPARE(again.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(again.process().exitCode(), 0);
    QCOMPARE(shown[words], 1);
    lab.cleanup();
    QVERIFY(lab.hostUntouched());
}

QTEST_GUILESS_MAIN(TestOutboxNetns)
#include "test_outbox_netns.moc"
