// What a file transfer between two headless peers with keys leaves on a real wire: the peers in
// network namespaces of the test's own, joined by a bridge, and a packet socket on the bridge's side
// that captures every frame. Neither the file's content nor its name crosses in clear, and the file
// arrives whole.
#include "NetnsLab.h"
#include "WireCapture.h"
#include "support/TempFolder.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QStringList arguments(const TempFolder &folder, const QStringList &rest)
{
    return QStringList{QStringLiteral("--settings"), folder.settingsFile(),
                       QStringLiteral("--data-dir"), folder.path(),
                       QStringLiteral("--format"),   QStringLiteral("json")} +
           rest;
}

bool hasEvent(const QByteArray &output, const QString &name)
{
    for (const QByteArray &line : output.split('\n')) {
        if (QJsonDocument::fromJson(line).object().value(QStringLiteral("event")).toString() == name)
            return true;
    }
    return false;
}

// The lines that say why a transfer went wrong: a failure message is cut short, so they go first.
QByteArray failureLines(const QByteArray &output)
{
    QByteArray lines;
    for (const QByteArray &line : output.split('\n')) {
        const QString event =
            QJsonDocument::fromJson(line).object().value(QStringLiteral("event")).toString();
        if (event == QStringLiteral("transfer-failed") || event == QStringLiteral("transfer-notice"))
            lines += line + '\n';
    }
    return lines;
}

} // namespace

class TestSealedTransferWire : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void fileCrossesTheWireSealed();
};

void TestSealedTransferWire::initTestCase()
{
    const QString reason = NetnsLab::whyUnavailable();
    if (!reason.isEmpty())
        QSKIP(qPrintable(reason));
}

void TestSealedTransferWire::fileCrossesTheWireSealed()
{
    NetnsLab lab;
    QVERIFY2(lab.addNamespace("sw") && lab.addBridge("sw", "br0"), qPrintable(lab.error()));
    const QList<std::pair<QString, QString>> hosts = {{"a", "10.72.0.1/24"}, {"b", "10.72.0.2/24"}};
    for (const auto &[name, cidr] : hosts) {
        QVERIFY2(lab.addNamespace(name) && lab.link(name, "eth0", "sw", "p-" + name, "br0") &&
                     lab.address(name, "eth0", cidr),
                 qPrintable(lab.error()));
    }
    WireCapture wire(lab.ns("sw"), 32 << 20);
    QVERIFY(wire.ok());

    TempFolder annaFolder;
    TempFolder borisFolder;
    annaFolder.setAlias(QStringLiteral("Anna"));
    borisFolder.setAlias(QStringLiteral("Boris"));
    const QString name = QStringLiteral("quarterly-plans-7f3e.bin");
    const QString path = annaFolder.filePath(name);
    QByteArray content(2 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(content.data()), content.size() / 4);
    // Something a capture would show plainly, many times over.
    for (qsizetype at = 0; at + 64 < content.size(); at += 65536)
        content.replace(at, 26, "UNMISTAKABLE-FILE-CONTENTS");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    const QString saveDir = borisFolder.filePath(QStringLiteral("in"));
    QVERIFY(QDir().mkpath(saveDir));

    const auto inNamespace = [&](const QString &ns, const QStringList &args) {
        auto process = std::make_unique<QProcess>();
        process->start(QStringLiteral("ip"),
                       QStringList{"netns", "exec", lab.ns(ns), QStringLiteral(PERIXCHAT_CLI_BINARY)} + args);
        return process;
    };
    std::unique_ptr<QProcess> boris = inNamespace(
        "b", arguments(borisFolder, {QStringLiteral("--timeout"), QStringLiteral("20"),
                                     QStringLiteral("listen"), QStringLiteral("--accept-files"), saveDir}));
    QVERIFY(boris->waitForStarted(5000));
    std::unique_ptr<QProcess> anna = inNamespace(
        "a", arguments(annaFolder,
                       {QStringLiteral("--timeout"), QStringLiteral("15"), QStringLiteral("send"),
                        QStringLiteral("--to"), QStringLiteral("Boris"), QStringLiteral("--file"), path,
                        QStringLiteral("--serve"), QStringLiteral("15"), QStringLiteral("the plans")}));
    QVERIFY(anna->waitForStarted(5000));
    QByteArray borisOut;
    const bool sent = waitUntil(
        [&] {
            borisOut += boris->readAllStandardOutput();
            wire.drain();
            return anna->state() == QProcess::NotRunning ||
                   hasEvent(borisOut, QStringLiteral("transfer-failed"));
        },
        20000);
    // A fetch that failed is the answer already: the owner would only serve on until its time is up.
    QVERIFY2(!hasEvent(borisOut, QStringLiteral("transfer-failed")),
             (failureLines(borisOut) + borisOut).constData());
    const QByteArray annaOut = anna->readAllStandardOutput() + anna->readAllStandardError();
    QVERIFY2(sent && anna->exitCode() == 0, annaOut.constData());
    QVERIFY2(
        waitUntil(
            [&] {
                borisOut += boris->readAllStandardOutput();
                wire.drain();
                return hasEvent(borisOut, QStringLiteral("transfer-done"));
            },
            5000),
        (failureLines(borisOut) + failureLines(annaOut) + annaOut + borisOut + boris->readAllStandardError())
            .constData());
    boris->terminate();
    QVERIFY(boris->waitForFinished(10000));
    wire.drain();

    QFile arrived(QDir(saveDir).filePath(name));
    QVERIFY2(arrived.open(QIODevice::ReadOnly), borisOut.constData());
    QVERIFY(arrived.readAll() == content);
    // The capture saw the transfer go by (the content's worth of bytes, the clear greeting) and
    // nothing of the file in clear: not its content, not its name in the FILETO or the message.
    QVERIFY(wire.bytes() > content.size());
    QVERIFY(wire.contains("nonce"));
    QVERIFY(wire.contains("PERIXSEALED!^:^$"));
    QVERIFY(!wire.contains("UNMISTAKABLE-FILE-CONTENTS"));
    QVERIFY(!wire.contains(content.mid(1000, 48)));
    QVERIFY(!wire.contains(name.toUtf8()));
    QVERIFY(!wire.contains("quarterly"));
    lab.cleanup();
    QVERIFY(lab.hostUntouched());
}

QTEST_GUILESS_MAIN(TestSealedTransferWire)
#include "test_sealed_transfer_wire.moc"
