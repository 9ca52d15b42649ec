// File references as the peer finds them, without a window: the pure scan of a message string
// against the transcript that shows it, and the peer's records, offers and FILETO handling among
// in-process peers.
#include "app/ChatCore.h"
#include "features/ui/ImageList.h"
#include "peers/PeerRegistry.h"
#include "protocol/SendMessageUn.h"
#include "support/PeerHub.h"
#include "support/Wait.h"
#include "talks/TalkCore.h"
#include "talks/ui/RVStyle.h"
#include "talks/ui/RichTextItems.h"
#include "talks/ui/WorkFormatTextRichViewEditUn.h"
#include "transfer/FileExchange.h"
#include "transfer/FileReferences.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

namespace {

const QString Sep = QStringLiteral("<[FILEINFOSEPARATOR]>");

QString ref(const QString &id, const QString &ip, const QString &size, const QString &path)
{
    return QStringLiteral("{[!CONTROLFILE!]}") + Sep + id + Sep + ip + Sep + size + Sep + path +
           QStringLiteral("{[!/CONTROLFILE!]}");
}

// "id|ip|size|path" per reference.
QStringList fieldsOf(const QList<RLFile> &records)
{
    QStringList list;
    for (const RLFile &r : records)
        list.append(QStringList{r.OwnerID, r.OwnerIP, QString::number(r.SizeKB), r.Path}.join(u'|'));
    return list;
}

// A file or folder that exists, so that it can be offered.
QString makeFile(const QTemporaryDir &dir, const QString &name, bool folder = false)
{
    const QString path = dir.filePath(name);
    if (folder)
        QDir().mkpath(path);
    else {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write("content");
    }
    return path;
}

struct FileReceived {
    int talk;
    QString sender;
    QList<int> records;
    QString ip;
    QString name;
};

} // namespace

class TestFileReferences : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void scan_data();
    void scan();
    void scanAgreesWithTranscript_data();
    void scanAgreesWithTranscript();
    void scanOfHostileTextIsLinear();
    void referenceTextIsTheEditors();
    void receivedReferencesSignalled();
    void ownPrivateMessageIsOwnAndOffered();
    void fileToReachesThePeer();
};

void TestFileReferences::scan_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("none") << QStringLiteral("plain {[! text\n\r{[!CONTROLFILE") << QStringList();
    QTest::newRow("one") << QStringLiteral("see ") + ref("{ID}", "10.0.0.2", "12", "/home/a b.txt") +
                                " a b.txt"
                         << QStringList{"{ID}|10.0.0.2|12|/home/a b.txt"};
    QTest::newRow("two in order") << ref("A", "1.1.1.1", "0", "/x") + "\n\r" +
                                         ref("B", "2.2.2.2", "7", "C:\\y")
                                  << QStringList{"A|1.1.1.1|0|/x", "B|2.2.2.2|7|C:\\y"};
    QTest::newRow("bad size") << ref("A", "ip", "12x", "/p") << QStringList{"A|ip|0|/p"};
    // An empty field takes no place: the later ones move forward.
    QTest::newRow("empty id") << ref("", "127.0.0.5", "0", "/c") << QStringList{"127.0.0.5|0|0|"};
    // Without its closing marker a reference still shows, with nothing in it.
    QTest::newRow("unclosed") << QStringLiteral("x{[!CONTROLFILE!]}") + Sep + "A" << QStringList{"||0|"};
    // Inside a picture element the reference is part of the element, not a reference.
    QTest::newRow("inside bullet") << QStringLiteral("{[!BULLET!]}") + ref("A", "ip", "0", "/in") +
                                          QStringLiteral("{[/!BULLET!]}") + ref("B", "ip", "0", "/out")
                                   << QStringList{"B|ip|0|/out"};
    QTest::newRow("inside animation")
        << QStringLiteral("{[!CONTROL!]}") + ref("A", "ip", "0", "/in") + QStringLiteral("{[/!CONTROL!]}")
        << QStringList();
    // An unclosed picture swallows as much as its closing marker would have taken: here the start
    // of the reference behind it.
    QTest::newRow("unclosed bullet") << QStringLiteral("{[!BULLET!]}") + ref("A", "ip", "0", "/after")
                                     << QStringList();
}

void TestFileReferences::scan()
{
    QFETCH(QString, message);
    QFETCH(QStringList, expected);
    const QList<RLFile> found = ScanFileReferences(message);
    QCOMPARE(fieldsOf(found), expected);
    for (const RLFile &r : found)
        QVERIFY(!r.IsOwn);
}

void TestFileReferences::scanAgreesWithTranscript_data()
{
    QTest::addColumn<QString>("message");
    const QString a = ref("A", "1.2.3.4", "0", "/a");
    const QString b = ref("B", "1.2.3.5", "3", "/b");
    QTest::newRow("plain") << a + " text " + b;
    QTest::newRow("bullets around") << QStringLiteral("{[!BULLET!]}3{[/!BULLET!]}") + a + "{[!BULLET!]}" + b;
    QTest::newRow("nested markers") << QStringLiteral("{[!CONTROL!]}") + a + "{[/!CONTROL!]}" + b +
                                           "{[!CONTROLFILE!]}{[!BULLET!]}{[!/CONTROLFILE!]}";
    QTest::newRow("unclosed at end") << a + QStringLiteral("{[!CONTROLFILE!]}");
    QTest::newRow("line breaks") << QStringLiteral("\n\r") + a + "\n\r\n\r" + b + "\n";
    QTest::newRow("unclosed bullet") << QStringLiteral("{[!BULLET!]}") + a + b;
    QTest::newRow("close before open") << QStringLiteral("{[!/CONTROLFILE!]}") + a + "{[/!BULLET!]}" + b;
}

// The n-th reference the peer finds is the n-th file icon of the transcript, with its record.
void TestFileReferences::scanAgreesWithTranscript()
{
    QFETCH(QString, message);
    RVStyle style;
    FileRecordList records;
    QTextDocument doc;
    DecodeContext context;
    context.cursor = QTextCursor(&doc);
    context.style = &style;
    context.pictures = &ProfileImages32();
    context.fileRecords = &records;
    const QList<RLFile> found = ScanFileReferences(message);
    for (const RLFile &record : found)
        context.fileRecordIndexes.append(records.append(record));
    DecodeMessageText(context, message);
    QList<int> shown;
    for (const RichItem &item : RichItems(&doc)) {
        if (item.kind == RichItemKind::File) {
            shown.append(item.index);
            QCOMPARE(item.path, records.at(item.index)->Path);
        }
    }
    QCOMPARE(shown, context.fileRecordIndexes);
    QVERIFY(!found.isEmpty());

    // A window given fewer records than references shows only those it was given.
    QTextDocument second;
    context.cursor = QTextCursor(&second);
    context.fileRecordIndexes = {context.fileRecordIndexes.first()};
    DecodeMessageText(context, message);
    int icons = 0;
    for (const RichItem &item : RichItems(&second))
        icons += item.kind == RichItemKind::File;
    QCOMPARE(icons, 1);
}

void TestFileReferences::scanOfHostileTextIsLinear()
{
    // Unclosed markers by the ten thousand: a search per marker over the rest would take minutes.
    const QString hostile = (QStringLiteral("{[!BULLET!]}") + QStringLiteral("{[!CONTROL!]}x") +
                             QStringLiteral("{[!CONTROLFILE!]}y"))
                                .repeated(20000);
    QElapsedTimer clock;
    clock.start();
    const QList<RLFile> found = ScanFileReferences(hostile);
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(found.size(), 20000);
}

void TestFileReferences::referenceTextIsTheEditors()
{
    const QString id = QStringLiteral("{11111111-2222-3333-4444-555555555555}");
    const QString path = QStringLiteral("/home/me/with space/ü.txt");
    RVStyle style;
    QTextDocument editor;
    QTextCursor cursor(&editor);
    AppendFileControl(cursor, path, ProfileImages32().image(5));
    QCOMPARE(EncodeMessageText(&editor, id, QStringLiteral("127.0.0.1")),
             FileReferenceText(id, QStringLiteral("127.0.0.1"), path));
    QCOMPARE(fieldsOf(ScanFileReferences(FileReferenceText(id, QStringLiteral("127.0.0.1"), path))),
             QStringList{id + "|127.0.0.1|0|" + path});
}

void TestFileReferences::receivedReferencesSignalled()
{
    PeerHub hub;
    CorePeer &anna = hub.addPeer(QStringLiteral("Anna"));
    CorePeer &boris = hub.addPeer(QStringLiteral("Boris"));
    QVERIFY(hub.startAll());
    QList<FileReceived> received;
    QObject::connect(anna.core().files(), &FileExchange::filesReceived, anna.core().files(),
                     [&](int talk, const QString &sender, const QList<int> &records, const QString &ip,
                         const QString &name, int) {
                         received.append({talk, sender, records, ip, name});
                     });
    QSignalSpy borisReceived(boris.core().files(), &FileExchange::filesReceived);
    QSignalSpy borisOffered(boris.core().files(), &FileExchange::filesOffered);
    const QString borisIp = hub.transportOf(boris).address().toString();
    QTemporaryDir dir;
    const QString file = makeFile(dir, QStringLiteral("a.bin"));
    const QString folder = makeFile(dir, QStringLiteral("dir"), true);
    const QString body = QStringLiteral("two files\n\r") + FileReferenceText(boris.id(), borisIp, file) +
                         " a.bin" + FileReferenceText(boris.id(), borisIp, folder);
    QCOMPARE(boris.talks()->sendBody(boris.core().allUsersTalk(), body), SendResult::Sent);
    QVERIFY(waitUntil([&] { return received.size() == 1; }));
    const FileReceived &got = received.first();
    QCOMPARE(got.talk, anna.core().allUsersTalk());
    QCOMPARE(got.sender, boris.id());
    QCOMPARE(got.ip, borisIp);
    QCOMPARE(got.name, QStringLiteral("Boris"));
    QCOMPARE(got.records.size(), 2);
    const FileRecordList &records = anna.core().files()->records();
    QCOMPARE(records.at(got.records.at(0))->Path, file);
    QCOMPARE(records.at(got.records.at(0))->OwnerID, boris.id());
    QCOMPARE(records.at(got.records.at(0))->OwnerIP, borisIp);
    QCOMPARE(records.at(got.records.at(1))->Path, folder);
    QVERIFY(!records.at(got.records.at(0))->IsOwn);
    QCOMPARE(anna.core().files()->recordsShown(got.talk), got.records);
    QVERIFY(anna.core().files()->recordsShown(got.talk + 1000).isEmpty());

    // The sender offered both once the message went; its own copy is no offer to itself, and its
    // records of it are its own.
    QCOMPARE(borisOffered.size(), 1);
    QCOMPARE(borisOffered.first().at(1).toStringList(), (QStringList{file, folder}));
    QVERIFY(boris.core().files()->share().offers().Find(file).has_value());
    QVERIFY(waitUntil([&] { return boris.core().files()->records().count() == 2; }));
    QVERIFY(boris.core().files()->isOwnFile(0));
    QVERIFY(boris.core().files()->isOwnFile(1));
    QCOMPARE(borisReceived.size(), 0);

    // A peer naming Anna's ID for a path Anna never offered does not make it hers.
    const int before = records.count();
    boris.talks()->sendBody(boris.core().allUsersTalk(),
                            FileReferenceText(anna.id(), "127.77.0.1", "/etc/passwd"));
    QVERIFY(waitUntil([&] { return received.size() == 2; }));
    QCOMPARE(records.count(), before + 1);
    QVERIFY(!records.at(before)->IsOwn);
    QVERIFY(!anna.core().files()->isOwnFile(before));
    QVERIFY(anna.core().files()->share().offers().count() == 0);
}

// A private message is shown before it goes: its references are already the user's own there.
void TestFileReferences::ownPrivateMessageIsOwnAndOffered()
{
    PeerHub hub;
    CorePeer &anna = hub.addPeer(QStringLiteral("Anna"));
    CorePeer &boris = hub.addPeer(QStringLiteral("Boris"));
    QVERIFY(hub.startAll());
    const int talk = anna.talks()->openPrivateTalk(anna.indexOf(boris.id()));
    QVERIFY(talk != TalkCore::NoTalk);
    const QString annaIp = hub.transportOf(anna).address().toString();
    QList<bool> ownWhenShown;
    QObject::connect(anna.talks(), &TalkCore::messageForTalk, anna.talks(), [&](int id) {
        for (const int record : anna.core().files()->recordsShown(id))
            ownWhenShown.append(anna.core().files()->records().at(record)->IsOwn);
    });
    QSignalSpy borisReceived(boris.core().files(), &FileExchange::filesReceived);
    QTemporaryDir dir;
    const QString file = makeFile(dir, QStringLiteral("p.txt"));
    QCOMPARE(anna.talks()->sendBody(talk, FileReferenceText(anna.id(), annaIp, file)), SendResult::Sent);
    QCOMPARE(ownWhenShown, QList<bool>{true});
    QVERIFY(anna.core().files()->share().offers().Find(file).has_value());
    QVERIFY(waitUntil([&] { return borisReceived.size() == 1; }));
    QCOMPARE(borisReceived.first().at(1).toString(), anna.id());
    QCOMPARE(borisReceived.first().at(0).toInt(), boris.talks()->FindPrivateTalk(anna.id()));
}

// The FILETO is the peer's: with no window at all, the owner takes a request for its offer and
// turns away one for anything else.
void TestFileReferences::fileToReachesThePeer()
{
    PeerHub hub;
    CorePeer &anna = hub.addPeer(QStringLiteral("Anna"));
    CorePeer &boris = hub.addPeer(QStringLiteral("Boris"));
    QVERIFY(hub.startAll());
    const QString annaIp = hub.transportOf(anna).address().toString();
    const QString borisIp = hub.transportOf(boris).address().toString();
    QTemporaryDir dir;
    const QString file = makeFile(dir, QStringLiteral("offered"));
    anna.talks()->sendBody(anna.core().allUsersTalk(), FileReferenceText(anna.id(), annaIp, file));
    FileShare &share = anna.core().files()->share();
    QCOMPARE(share.offers().count(), 1);
    QSignalSpy notices(&share, &FileShare::notice);
    boris.transport().SendPacket(BuildFileToPacket(0, file, anna.id(), annaIp, boris.id(), borisIp));
    QVERIFY(waitUntil([&] { return share.gate().count() == 1; }));
    boris.transport().SendPacket(BuildFileToPacket(1, "/srv/other", anna.id(), annaIp, boris.id(), borisIp));
    QVERIFY(waitUntil([&] { return notices.size() == 1; }));
    QVERIFY(notices.first().first().toString().contains(QStringLiteral("it was not offered")));
    QCOMPARE(share.gate().count(), 1);
}

QTEST_MAIN(TestFileReferences)
#include "test_filereferences.moc"
