// Messages that wait for their addressee: bounds, restart, damaged files.
#include "support/Files.h"
#include "talks/Outbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QDateTime Start = QDateTime(QDate(2024, 6, 1), QTime(12, 0), Qt::UTC);
const QString Boris = QStringLiteral("{B0000000-0000-0000-0000-000000000001}");
const QString Anna = QStringLiteral("{A0000000-0000-0000-0000-000000000002}");

} // namespace

class TestOutbox : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();

    void survivesARestart();
    void cancelAndTakeByAddressee();
    void aMessageBeingSentStaysOnDisk();
    void boundedByCount();
    void boundedByAge_data();
    void boundedByAge();
    void refusesWhatCouldNotBeSent_data();
    void refusesWhatCouldNotBeSent();
    void damagedFiles_data();
    void damagedFiles();
    void randomBytesNeverCrash();
    void aFailedWriteIsTriedAgain();
    void anUnreadableFileIsNeverWrittenOver();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path() const { return m_dir->filePath(QStringLiteral("Outbox.json")); }
};

void TestOutbox::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestOutbox::survivesARestart()
{
    {
        Outbox outbox(path());
        QCOMPARE(outbox.load(Start).result, Outbox::Load::Missing);
        const Outbox::AddResult first = outbox.add(Boris, "Boris", "Lunch?\n\rAt noon", Start);
        QCOMPARE(first.result, Outbox::Added::Stored);
        const Outbox::AddResult second = outbox.add(Anna, QString::fromUtf8("Анна"), "hi", Start.addSecs(5));
        QCOMPARE(second.result, Outbox::Added::Stored);
        QVERIFY(second.id > first.id);
        QVERIFY(outbox.isStored());
    }
    Outbox again(path());
    const Outbox::LoadReport report = again.load(Start.addDays(1));
    QCOMPARE(report.result, Outbox::Load::Loaded);
    QVERIFY(report.expired.isEmpty());
    QCOMPARE(again.entries().size(), 2);
    const OutboxEntry boris = again.entries().first();
    QCOMPARE(boris.addresseeId, Boris);
    QCOMPARE(boris.addresseeName, QStringLiteral("Boris"));
    QCOMPARE(boris.body, QStringLiteral("Lunch?\n\rAt noon"));
    QCOMPARE(boris.created, Start);
    QCOMPARE(again.entries().last().addresseeName, QString::fromUtf8("Анна"));
    // IDs go on where they were.
    const Outbox::AddResult third = again.add(Boris, "Boris", "still there?", Start.addDays(1));
    QVERIFY(third.id > again.entries().at(1).id);
    // Nothing is left beside the file: no temporary, no copy.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{"Outbox.json"});
}

void TestOutbox::cancelAndTakeByAddressee()
{
    Outbox outbox(path());
    outbox.load(Start);
    const qint64 one = outbox.add(Boris, "Boris", "one", Start).id;
    const qint64 two = outbox.add(Anna, "Anna", "two", Start.addSecs(1)).id;
    const qint64 three = outbox.add(Boris, "Boris", "three", Start.addSecs(2)).id;
    QVERIFY(outbox.cancel(one));
    QVERIFY(!outbox.cancel(one));
    QVERIFY(!outbox.cancel(4711));
    QVERIFY(!outbox.entry(one));
    QCOMPARE(outbox.entry(two)->body, QStringLiteral("two"));
    const QList<OutboxEntry> due = outbox.takeDueFor(Boris);
    QCOMPARE(due.size(), 1);
    QCOMPARE(due.first().id, three);
    QVERIFY(outbox.takeDueFor(Boris).isEmpty());
    QVERIFY(outbox.takeDueFor(QStringLiteral("{unknown}")).isEmpty());
    // The file says the same.
    Outbox reread(path());
    reread.load(Start);
    QCOMPARE(reread.entries().size(), 1);
    QCOMPARE(reread.entries().first().id, two);
    // Oldest first.
    outbox.add(Anna, "Anna", "four", Start.addSecs(3));
    const QList<OutboxEntry> anna = outbox.takeDueFor(Anna);
    QCOMPARE(anna.size(), 2);
    QCOMPARE(anna.first().body, QStringLiteral("two"));
    QCOMPARE(anna.last().body, QStringLiteral("four"));
    QVERIFY(outbox.entries().isEmpty());
}

void TestOutbox::aMessageBeingSentStaysOnDisk()
{
    Outbox outbox(path());
    outbox.load(Start);
    const qint64 one = outbox.add(Boris, "Boris", "one", Start).id;
    const qint64 two = outbox.add(Boris, "Boris", "two", Start.addSecs(1)).id;
    const qint64 other = outbox.add(Anna, "Anna", "other", Start.addSecs(2)).id;
    const QList<OutboxEntry> sending = outbox.startSending(Boris);
    QCOMPARE(sending.size(), 2);
    QCOMPARE(sending.first().id, one);
    QVERIFY(outbox.isSending(one) && outbox.isSending(two) && !outbox.isSending(other));
    // A second arrival of the user while they go sends nothing twice.
    QVERIFY(outbox.startSending(Boris).isEmpty());
    // A process killed now finds both in its file.
    {
        Outbox crashed(path());
        crashed.load(Start);
        QCOMPARE(crashed.entries().size(), 3);
        QVERIFY(!crashed.isSending(one));
        QCOMPARE(crashed.startSending(Boris).size(), 2);
    }
    // Delivered: gone from the file; not delivered: waits again, to be sent at the next arrival.
    QVERIFY(outbox.finishSending(one, true));
    QVERIFY(outbox.finishSending(two, false));
    QVERIFY(!outbox.isSending(two));
    Outbox reread(path());
    reread.load(Start);
    QCOMPARE(reread.entries().size(), 2);
    QCOMPARE(reread.entries().first().id, two);
    const QList<OutboxEntry> again = outbox.startSending(Boris);
    QCOMPARE(again.size(), 1);
    QCOMPARE(again.first().id, two);
    // Cancelled while it went: its verdict brings nothing back.
    QVERIFY(outbox.cancel(two));
    QVERIFY(!outbox.finishSending(two, false));
    QVERIFY(!outbox.entry(two));
    QVERIFY(!outbox.finishSending(4711, true));
    QCOMPARE(outbox.entries().size(), 1);
}

void TestOutbox::boundedByCount()
{
    // One place left.
    QList<OutboxEntry> almost;
    for (int i = 1; i < Outbox::MaxEntries; ++i)
        almost.append({i, Boris, "Boris", QString::number(i), Start});
    QVERIFY(writeFile(path(), Outbox::Serialize(almost)));
    Outbox outbox(path());
    QCOMPARE(outbox.load(Start).result, Outbox::Load::Loaded);
    QCOMPARE(outbox.add(Anna, "Anna", "the last place", Start).result, Outbox::Added::Stored);
    // The next is refused at once, and the waiting ones keep their promise.
    const Outbox::AddResult refused = outbox.add(Anna, "Anna", "one too many", Start);
    QCOMPARE(refused.result, Outbox::Added::Full);
    QCOMPARE(refused.id, qint64(0));
    QCOMPARE(outbox.entries().size(), Outbox::MaxEntries);
    QCOMPARE(outbox.entries().first().body, QStringLiteral("1"));
    QVERIFY(outbox.cancel(outbox.entries().first().id));
    QCOMPARE(outbox.add(Anna, "Anna", "now it fits", Start).result, Outbox::Added::Stored);
    Outbox reread(path());
    QCOMPARE(reread.load(Start).result, Outbox::Load::Loaded);
    QCOMPARE(reread.entries().size(), Outbox::MaxEntries);
    QCOMPARE(reread.entries().last().body, QStringLiteral("now it fits"));
}

void TestOutbox::boundedByAge_data()
{
    QTest::addColumn<qint64>("ageSecs");
    QTest::addColumn<bool>("kept");
    const qint64 week = qint64(Outbox::MaxAgeDays) * 24 * 3600;
    QTest::newRow("a day") << qint64(24 * 3600) << true;
    QTest::newRow("a week to the second") << week << true;
    QTest::newRow("a week and a second") << week + 1 << false;
    QTest::newRow("a month") << 30LL * 24 * 3600 << false;
}

void TestOutbox::boundedByAge()
{
    QFETCH(qint64, ageSecs);
    QFETCH(bool, kept);
    {
        Outbox outbox(path());
        outbox.load(Start);
        outbox.add(Boris, "Boris", "old", Start);
        outbox.add(Anna, "Anna", "young", Start.addSecs(ageSecs));
    }
    // On loading after a restart...
    Outbox outbox(path());
    const Outbox::LoadReport report = outbox.load(Start.addSecs(ageSecs));
    QCOMPARE(report.result, Outbox::Load::Loaded);
    QCOMPARE(report.expired.size(), kept ? 0 : 1);
    QCOMPARE(outbox.entries().size(), kept ? 2 : 1);
    if (!kept)
        QCOMPARE(report.expired.first().body, QStringLiteral("old"));
    // ...and while running; the file follows.
    const QList<OutboxEntry> later = outbox.dropExpired(Start.addSecs(2 * ageSecs + 1));
    Outbox reread(path());
    reread.load(Start);
    QCOMPARE(reread.entries().size(), outbox.entries().size());
    QCOMPARE(later.size() + outbox.entries().size() + report.expired.size(), 2);
}

void TestOutbox::refusesWhatCouldNotBeSent_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("body");
    QTest::addColumn<bool>("taken");
    QTest::newRow("a message") << Boris << "hi" << true;
    QTest::newRow("no addressee") << ""
                                  << "hi" << false;
    QTest::newRow("a blank addressee") << "  "
                                       << "hi" << false;
    QTest::newRow("an empty message") << Boris << "" << false;
    QTest::newRow("the largest message") << Boris << QString(Outbox::MaxBodyBytes, 'x') << true;
    QTest::newRow("larger than a datagram") << Boris << QString(Outbox::MaxBodyBytes + 1, 'x') << false;
    QTest::newRow("an addressee of any length") << QString(Outbox::MaxIdLength + 1, 'x') << "hi" << false;
}

void TestOutbox::refusesWhatCouldNotBeSent()
{
    QFETCH(QString, id);
    QFETCH(QString, body);
    QFETCH(bool, taken);
    Outbox outbox(path());
    outbox.load(Start);
    const Outbox::AddResult result = outbox.add(id, "Boris", body, Start);
    QCOMPARE(result.result, taken ? Outbox::Added::Stored : Outbox::Added::Invalid);
    QCOMPARE(outbox.entries().size(), taken ? 1 : 0);
    QCOMPARE(QFile::exists(path()), taken);
}

void TestOutbox::damagedFiles_data()
{
    const QByteArray good =
        Outbox::Serialize({{1, Boris, "Boris", "hi", Start}, {2, Anna, "Anna", "ho", Start}});
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("loads");
    QTest::newRow("as written") << good << true;
    QTest::newRow("cut") << good.first(good.size() / 2) << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("not JSON") << QByteArray("[Outbox]\nentries=1\n") << false;
    QTest::newRow("another format") << QByteArray(good).replace("\"format\":1", "\"format\":2") << false;
    QTest::newRow("an array") << QByteArray("[]") << false;
    QTest::newRow("an ID twice") << QByteArray(good).replace("\"id\":2", "\"id\":1") << false;
    QTest::newRow("an ID of text") << QByteArray(good).replace("\"id\":2", "\"id\":\"2\"") << false;
    QTest::newRow("a fraction as ID") << QByteArray(good).replace("\"id\":2", "\"id\":2.5") << false;
    QTest::newRow("a huge ID") << QByteArray(good).replace("\"id\":2", "\"id\":1e300") << false;
    QTest::newRow("a negative ID") << QByteArray(good).replace("\"id\":2", "\"id\":-2") << false;
    QTest::newRow("no time") << QByteArray(good).replace("2024-06-01T12:00:00.000Z", "yesterday") << false;
    QTest::newRow("an empty message") << QByteArray(good).replace("\"hi\"", "\"\"") << false;
    QTest::newRow("too many entries")
        << Outbox::Serialize(QList<OutboxEntry>(Outbox::MaxEntries + 1, {1, Boris, "B", "x", Start}))
        << false;
}

void TestOutbox::damagedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, loads);
    QVERIFY(writeFile(path(), bytes));
    Outbox outbox(path());
    const Outbox::LoadReport report = outbox.load(Start);
    QCOMPARE(report.result, loads ? Outbox::Load::Loaded : Outbox::Load::Damaged);
    QCOMPARE(outbox.entries().size(), loads ? 2 : 0);
    if (loads)
        return;
    // Set aside as it was; the next message starts a new file.
    QCOMPARE(readFile(path() + ".damaged"), bytes);
    QVERIFY(!QFile::exists(path()));
    QCOMPARE(outbox.add(Boris, "Boris", "new", Start).result, Outbox::Added::Stored);
    Outbox reread(path());
    QCOMPARE(reread.load(Start).result, Outbox::Load::Loaded);
    QCOMPARE(reread.entries().size(), 1);
}

void TestOutbox::randomBytesNeverCrash()
{
    const QByteArray good =
        Outbox::Serialize({{1, Boris, "Boris", "hi", Start}, {7, Anna, "Anna", "ho", Start}});
    QRandomGenerator random(4711);
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes = good;
        switch (round % 3) {
        case 0: // a few bytes changed
            for (int i = 0; i < 1 + int(random.bounded(4)); ++i)
                bytes[random.bounded(int(bytes.size()))] = char(random.bounded(256));
            break;
        case 1: // cut somewhere
            bytes.truncate(random.bounded(int(bytes.size())));
            break;
        default: // noise
            bytes = QByteArray(int(random.bounded(512)), Qt::Uninitialized);
            for (char &c : bytes)
                c = char(random.bounded(256));
        }
        const std::optional<QList<OutboxEntry>> parsed = Outbox::Parse(bytes);
        if (!parsed)
            continue;
        // Whatever is accepted is whole and sendable.
        QVERIFY(parsed->size() <= 2);
        for (const OutboxEntry &entry : *parsed) {
            QVERIFY(entry.id > 0);
            QVERIFY(!entry.addresseeId.trimmed().isEmpty());
            QVERIFY(!entry.body.isEmpty());
            QVERIFY(entry.created.isValid());
        }
    }
    // And through the file, now and then.
    for (int round = 0; round < 50; ++round) {
        QByteArray bytes = good;
        bytes[random.bounded(int(bytes.size()))] = char(random.bounded(256));
        QVERIFY(writeFile(path(), bytes));
        Outbox outbox(path());
        const Outbox::Load result = outbox.load(Start).result;
        QVERIFY(result == Outbox::Load::Loaded || result == Outbox::Load::Damaged);
    }
}

void TestOutbox::aFailedWriteIsTriedAgain()
{
    // A file where the folder should be: nothing can be written there, by root either.
    const QString folder = m_dir->filePath(QStringLiteral("blocked"));
    QVERIFY(writeFile(folder, "not a folder"));
    Outbox outbox(folder + QStringLiteral("/Outbox.json"));
    QCOMPARE(outbox.load(Start).result, Outbox::Load::Missing);
    const Outbox::AddResult first = outbox.add(Boris, "Boris", "first", Start);
    QCOMPARE(first.result, Outbox::Added::NotStored);
    QVERIFY(first.id > 0);
    QVERIFY(!outbox.isStored());
    // Kept for this run all the same.
    QCOMPARE(outbox.entries().size(), 1);
    QVERIFY(QFile::remove(folder));
    QVERIFY(QDir().mkdir(folder));
    // The next change writes everything.
    QCOMPARE(outbox.add(Boris, "Boris", "second", Start).result, Outbox::Added::Stored);
    QVERIFY(outbox.isStored());
    Outbox reread(outbox.path());
    QCOMPARE(reread.load(Start).result, Outbox::Load::Loaded);
    QCOMPARE(reread.entries().size(), 2);
}

void TestOutbox::anUnreadableFileIsNeverWrittenOver()
{
    // A folder in the file's place cannot be read as a file.
    QVERIFY(QDir().mkdir(path()));
    Outbox outbox(path());
    QCOMPARE(outbox.load(Start).result, Outbox::Load::Unreadable);
    QCOMPARE(outbox.add(Boris, "Boris", "hi", Start).result, Outbox::Added::NotStored);
    QVERIFY(QFileInfo(path()).isDir());
}

QTEST_GUILESS_MAIN(TestOutbox)
#include "test_outbox.moc"
