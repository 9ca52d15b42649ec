#include "app/ui/MainHistory.h"
#include "features/SafeFileName.h"
#include "features/StoryFileUn.h"
#include "protocol/ConstUnit.h"
#include "settings/SettingsStore.h"
#include "talks/TranscriptFormats.h"
#include "talks/ui/WindowTranscriptLook.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <utime.h>

// History files without a window: their names, their forms read back by an RTF reader, the write
// budget, the options and the purge of old files.
namespace {

QStringList filesIn(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    names.sort();
    return names;
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Sets a file's access and modification times, as touch -d does.
bool dateFile(const QString &path, const QDateTime &when)
{
    struct utimbuf times;
    times.actime = when.toSecsSinceEpoch();
    times.modtime = when.toSecsSinceEpoch();
    return ::utime(QFile::encodeName(path).constData(), &times) == 0;
}

// On the indicator: a click beside a stretched box's text does not toggle it.
QImage greenImage()
{
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(QColor(0, 200, 0));
    return image;
}

// Pictures of the RTF form: every picture is the small green one.
class GreenLook : public TranscriptLook {
public:
    TranscriptPicture picture(const TranscriptItem &item) const override
    {
        return item.kind == TranscriptItem::Kind::Picture ? WindowTranscriptLook::pictureOf(greenImage())
                                                          : TranscriptPicture();
    }
};

TranscriptMessage::Piece textPiece(const QString &text)
{
    TranscriptMessage::Piece piece;
    piece.item.text = text;
    return piece;
}

const TranscriptMessage::Piece paragraphBreak{true, {}};

// A transcript with every kind of content the history keeps: a bold header, text in a sender's
// colour, characters RTF escapes, a line break inside a paragraph and a picture.
Transcript fillTranscript(QHash<QString, qint32> *colours)
{
    colours->insert(QStringLiteral("{red}"), 0x0000FF);
    TranscriptMessage message;
    message.senderId = QStringLiteral("{red}");
    message.header = QStringLiteral("Bold part");
    TranscriptMessage::Piece picture;
    picture.item.kind = TranscriptItem::Kind::Picture;
    picture.item.number = 0;
    message.body = {textPiece(QStringLiteral("red words")),
                    paragraphBreak,
                    textPiece(QStringLiteral("a{b}c\\d \u540D\u524D \u00FC line\nafter break")),
                    paragraphBreak,
                    picture,
                    textPiece(QStringLiteral(" after picture")),
                    paragraphBreak,
                    textPiece(QStringLiteral("Middle"))};
    Transcript transcript;
    transcript.append(message);
    return transcript;
}

QString decodeEntities(QString html)
{
    static const QRegularExpression entity(QStringLiteral("&#(\\d+);"));
    QRegularExpressionMatch m;
    while ((m = entity.match(html)).hasMatch())
        html.replace(m.capturedStart(), m.capturedLength(), QChar(m.captured(1).toInt()));
    return html.replace(QStringLiteral("&uuml;"), QStringLiteral("\u00FC"))
        .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
}

// Reads the RTF with Debian's unrtf and checks that a reader finds the transcript in it: the
// texts, bold, the colours and the picture as a PNG of the right size.
bool unrtfShowsTranscript(const QByteArray &rtf, QString *why)
{
    QTemporaryDir work;
    const QString file = work.filePath("history.rtf");
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(rtf) != rtf.size())
        return false;
    out.close();
    QProcess unrtf;
    unrtf.setWorkingDirectory(work.path());
    unrtf.start(QStringLiteral("unrtf"), {QStringLiteral("--html"), file});
    if (!unrtf.waitForFinished(10000) || unrtf.exitCode() != 0) {
        *why = QStringLiteral("unrtf failed: ") + QString::fromUtf8(unrtf.readAllStandardError());
        return false;
    }
    const QString html = decodeEntities(QString::fromUtf8(unrtf.readAllStandardOutput()));
    const QStringList expected = {
        QStringLiteral("<b><font color=\"#000000\">Bold part</font></b>"),
        QStringLiteral("<font color=\"#ff0000\">red words</font>"),
        QStringLiteral("a{b}c\\d \u540D\u524D \u00FC"),
        QStringLiteral("after break"),
        QStringLiteral("Middle"),
        QStringLiteral("<img src=\"pict001.png\">"),
    };
    for (const QString &part : expected) {
        if (!html.contains(part)) {
            *why = QStringLiteral("missing ") + part + QStringLiteral(" in ") + html.right(1500);
            return false;
        }
    }
    if (html.indexOf(QStringLiteral("Bold part")) > html.indexOf(QStringLiteral("Middle"))) {
        *why = QStringLiteral("paragraphs out of order");
        return false;
    }
    const QImage picture(work.filePath("pict001.png"));
    if (picture.size() != QSize(4, 3) || picture.pixelColor(2, 1) != QColor(0, 200, 0)) {
        *why = QStringLiteral("picture not read back");
        return false;
    }
    return true;
}

} // namespace

class TestHistoryFiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void fileNamesStayInsideTheFolder_data();
    void fileNamesStayInsideTheFolder();
    void safeTalkNameRules();
    void sameSecondKeepsBothFiles();
    void writeNeedsFolderAndContent();
    void plainTextWrapsAt300();
    void rtfReadsBackWithUnrtf();
    void brokenRtfFailsTheReader();
    void writeBudget();
    void optionsDefaults();
    void purgeByAge();
};

void TestHistoryFiles::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestHistoryFiles::fileNamesStayInsideTheFolder_data()
{
    QTest::addColumn<QString>("alias");
    QTest::newRow("parent folders") << QStringLiteral("../../x");
    QTest::newRow("slash") << QStringLiteral("a/b");
    QTest::newRow("backslash and colon") << QStringLiteral("c:\\temp\\y");
    QTest::newRow("device") << QStringLiteral("CON");
    QTest::newRow("japanese") << QStringLiteral("\u540D\u524D");
    QTest::newRow("300 characters") << QString(300, u'w');
    QTest::newRow("300 japanese") << QString(150, QChar(0x540D)) + QString(150, QChar(0x524D));
    QTest::newRow("right-to-left override") << QStringLiteral("\u202E");
    QTest::newRow("control and dots") << QStringLiteral("..\n\t.");
}

void TestHistoryFiles::fileNamesStayInsideTheFolder()
{
    QFETCH(QString, alias);
    QTemporaryDir root;
    const QString folder = root.filePath("deep/History");
    QVERIFY(StoryFile::EnsureFolder(folder));
    const QString path =
        StoryFile::WriteTalk(folder, StoryFile::TalkName(alias, QStringLiteral("Boris")), "kept\n", false)
            .path;
    QVERIFY2(!path.isEmpty(), "the talk was lost");
    QVERIFY(SafeFileName::IsInside(folder, path));
    QCOMPARE(QFileInfo(path).absolutePath(), QDir(folder).absolutePath());
    QCOMPARE(filesIn(folder).size(), 1);
    // Nothing above the folder.
    QCOMPARE(filesIn(root.filePath("deep")), QStringList());
    QCOMPARE(filesIn(root.path()), QStringList());
    const QString name = QFileInfo(path).fileName();
    QVERIFY(name.toUtf8().size() <= 255);
    QVERIFY(!name.startsWith(u'.'));
    for (const QChar c : name) {
        QVERIFY2(!QStringLiteral("/\\:*?\"<>|").contains(c), qPrintable(name));
        QVERIFY(c.unicode() >= 0x20);
        QVERIFY(c.category() != QChar::Other_Format);
    }
    QVERIFY(name.contains(QStringLiteral(" and Boris ")));
    QVERIFY(name.endsWith(QStringLiteral(".txt")));
    QCOMPARE(readText(path), QStringLiteral("kept\n"));
}

void TestHistoryFiles::safeTalkNameRules()
{
    QCOMPARE(StoryFile::SafeTalkName("CON"), QStringLiteral("_CON"));
    QCOMPARE(StoryFile::SafeTalkName("a/b and c"), QStringLiteral("a_b and c"));
    QCOMPARE(StoryFile::SafeTalkName(QString(300, u'w')).size(), SafeFileName::MaxLength);
    QVERIFY(StoryFile::SafeTalkName(QString(300, QChar(0x540D))).toUtf8().size() <=
            StoryFile::MaxTalkNameBytes);
    // The isolates around a peer's name on screen are dropped, not turned into "_".
    QCOMPARE(StoryFile::SafeTalkName(QStringLiteral("\u2068Anna\u2069 and Boris")),
             QStringLiteral("Anna and Boris"));
    QCOMPARE(StoryFile::TalkName("Anna", "Boris"), QStringLiteral("Anna and Boris"));
    QCOMPARE(StoryFile::TalkName(QString(300, u'w'), "Boris"),
             QString(64, u'w') + QStringLiteral(" and Boris"));
    ConstUnit::setText(ConstUnit::Text::FileNameStoryPrefix, QStringLiteral("%s mit %s"));
    QCOMPARE(StoryFile::TalkName("Anna", "Boris"), QStringLiteral("Anna mit Boris"));
    QVERIFY(!StoryFile::DateText(QDate(2024, 3, 7)).contains(u'/'));
}

void TestHistoryFiles::sameSecondKeepsBothFiles()
{
    QTemporaryDir dir;
    const QDateTime now(QDate(2024, 3, 7), QTime(14, 5, 9));
    const QString a = StoryFile::WriteTalk(dir.path(), "Anna and Boris", "first\n", false, now).path;
    const QString b = StoryFile::WriteTalk(dir.path(), "Anna and Boris", "second\n", false, now).path;
    const QString c = StoryFile::WriteTalk(dir.path(), "Anna and Boris", "{\\rtf1}", true, now).path;
    QVERIFY(!a.isEmpty() && !b.isEmpty() && !c.isEmpty());
    const QString base = QStringLiteral("Anna and Boris ") + StoryFile::DateText(now.date()) + " 14.05.09";
    QCOMPARE(QFileInfo(a).fileName(), base + ".txt");
    QCOMPARE(QFileInfo(b).fileName(), base + " (2).txt");
    QCOMPARE(QFileInfo(c).fileName(), base + ".rtf");
    QCOMPARE(readText(a), QStringLiteral("first\n"));
    QCOMPARE(readText(b), QStringLiteral("second\n"));
    // Written through a temporary that was renamed over: nothing else is left in the folder.
    QCOMPARE(filesIn(dir.path()).size(), 3);
}

void TestHistoryFiles::writeNeedsFolderAndContent()
{
    QTemporaryDir dir;
    const StoryFile::WriteResult empty = StoryFile::WriteTalk(dir.path(), "x", QByteArray(), false);
    QVERIFY(empty.path.isEmpty());
    QVERIFY(!empty.failed);
    QVERIFY(StoryFile::WriteTalk(dir.filePath("missing"), "x", "text\n", false).path.isEmpty());
    QVERIFY(!QFileInfo::exists(dir.filePath("missing")));
    QCOMPARE(filesIn(dir.path()), QStringList());
}

void TestHistoryFiles::plainTextWrapsAt300()
{
    QHash<QString, qint32> colours;
    Transcript transcript = fillTranscript(&colours);
    TranscriptMessage more;
    more.header = QStringLiteral("[more]");
    more.body = {textPiece(QString(QStringLiteral("word ")).repeated(100)), paragraphBreak, // 500 characters
                 textPiece(QString(650, u'x'))};
    transcript.append(more);
    const QStringList lines = QString::fromUtf8(TranscriptFormats::ToPlainText(transcript, 300)).split(u'\n');
    QCOMPARE(lines.at(0), QStringLiteral("Bold part"));
    QCOMPARE(lines.at(1), QStringLiteral("red words"));
    QCOMPARE(lines.at(2), QStringLiteral("a{b}c\\d \u540D\u524D \u00FC line"));
    QCOMPARE(lines.at(3), QStringLiteral("after break"));
    // The picture has no text.
    QCOMPARE(lines.at(4), QStringLiteral(" after picture"));
    QCOMPARE(lines.at(5), QStringLiteral("Middle"));
    QCOMPARE(lines.at(6), QStringLiteral("[more]"));
    QCOMPARE(lines.at(7).size(), 299);
    QVERIFY(lines.at(7).startsWith(QStringLiteral("word word")));
    QCOMPARE(lines.at(8).trimmed().size(), 199);
    QCOMPARE(lines.at(9), QString(300, u'x'));
    QCOMPARE(lines.at(10), QString(300, u'x'));
    QCOMPARE(lines.at(11), QString(50, u'x'));
    for (const QString &line : lines)
        QVERIFY(line.size() <= 300);
    QCOMPARE(TranscriptFormats::WrapLine(QString(5, u'a'), 300), QStringList{QString(5, u'a')});
}

void TestHistoryFiles::rtfReadsBackWithUnrtf()
{
    QHash<QString, qint32> colours;
    const Transcript transcript = fillTranscript(&colours);
    const QByteArray rtf = TranscriptFormats::ToRtf(transcript, colours, GreenLook());
    QVERIFY(rtf.startsWith("{\\rtf1"));
    QVERIFY(rtf.trimmed().endsWith('}'));
    // Plain 7-bit text: everything else travels as \u escapes.
    for (const char byte : rtf)
        QVERIFY(uchar(byte) < 0x80);
    QString why;
    QVERIFY2(unrtfShowsTranscript(rtf, &why), qPrintable(why));
    // Through the file writer as well.
    QTemporaryDir dir;
    const QString path = StoryFile::WriteTalk(dir.path(), "Anna and Boris", rtf, true).path;
    QVERIFY(path.endsWith(".rtf"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY2(unrtfShowsTranscript(file.readAll(), &why), qPrintable(why));
}

void TestHistoryFiles::brokenRtfFailsTheReader()
{
    QHash<QString, qint32> colours;
    const QByteArray rtf = TranscriptFormats::ToRtf(fillTranscript(&colours), colours, GreenLook());
    QString why;
    QVERIFY(!unrtfShowsTranscript(rtf.left(rtf.size() / 2), &why));
    QByteArray unescaped = rtf;
    unescaped.replace("\\{", "{");
    QVERIFY(!unrtfShowsTranscript(unescaped, &why));
    QByteArray badPicture = rtf;
    badPicture.replace("89504e47", "00000000");
    QVERIFY(!unrtfShowsTranscript(badPicture, &why));
    QByteArray noBold = rtf;
    noBold.replace("\\b\\cf", "\\cf");
    QVERIFY(!unrtfShowsTranscript(noBold, &why));
}

void TestHistoryFiles::writeBudget()
{
    StoryFile::WriteBudget budget(3);
    QVERIFY(budget.take(1000));
    QVERIFY(budget.take(2000));
    QVERIFY(budget.take(3000));
    QVERIFY(!budget.take(4000));
    QVERIFY(!budget.take(60999));
    // A minute after the first write, one more goes through.
    QVERIFY(budget.take(61000));
    QVERIFY(!budget.take(61500));
    QVERIFY(budget.take(63000));
}

void TestHistoryFiles::optionsDefaults()
{
    QTemporaryDir dir;
    const SettingsStore store(dir.filePath("s.ini"));
    StoryFile::Options o = StoryFile::ReadOptions(store);
    QVERIFY(o.SaveHistory);
    QVERIFY(!o.PeriodStorage);
    QCOMPARE(o.Days, 10);
    QVERIFY(!o.SaveAsRTF);
    QVERIFY(o.SaveAsTXT);
    for (const int stored : {0, -3, 1000, 1500}) {
        store.writeInt("fmStory", "Days", stored);
        QCOMPARE(StoryFile::ReadOptions(store).Days, 10);
    }
    store.writeInt("fmStory", "Days", 999);
    QCOMPARE(StoryFile::ReadOptions(store).Days, 999);
    // A store that cannot be read.
    QDir(dir.path()).mkpath("folder.ini");
    o = StoryFile::ReadOptions(SettingsStore(dir.filePath("folder.ini")));
    QVERIFY(o.SaveHistory);
    QVERIFY(!o.PeriodStorage);
    QCOMPARE(o.Days, 10);
    QVERIFY(o.SaveAsRTF);
    QVERIFY(!o.SaveAsTXT);
}

void TestHistoryFiles::purgeByAge()
{
    QTemporaryDir dir;
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime startOfToday = now.date().startOfDay();
    const auto make = [&](const QString &name, const QDateTime &when) {
        writeFile(dir.filePath(name), "x");
        QVERIFY(dateFile(dir.filePath(name), when));
    };
    make("eleven.txt", startOfToday.addDays(-11));
    make("ten point nine.txt", startOfToday.addSecs(-qint64(10.9 * 86400)));
    make("today.txt", now);
    make("any name.dat", startOfToday.addDays(-30));
    make(".hidden", startOfToday.addDays(-30));
    make("future.txt", startOfToday.addDays(12));
    QDir(dir.path()).mkdir("old folder");
    QVERIFY(dateFile(dir.filePath("old folder"), startOfToday.addDays(-40)));
    QCOMPARE(StoryFile::AgeInDays(startOfToday.addSecs(-qint64(10.9 * 86400)), now), 10);
    QCOMPARE(StoryFile::AgeInDays(startOfToday.addDays(-11), now), 11);
    // The older modification time counts even where the file system reports a later creation time.
    QCOMPARE(StoryFile::FileDate(dir.filePath("eleven.txt")).toSecsSinceEpoch(),
             startOfToday.addDays(-11).toSecsSinceEpoch());

    // A modification time in the future does not age a file created today.
    QCOMPARE(StoryFile::Purge(dir.path(), 10, now), 3);
    QCOMPARE(filesIn(dir.path()), (QStringList{"future.txt", "ten point nine.txt", "today.txt"}));
    QVERIFY(QFileInfo(dir.filePath("old folder")).isDir());
    QCOMPARE(StoryFile::Purge(dir.filePath("missing"), 10, now), 0);
}

QTEST_MAIN(TestHistoryFiles)
#include "test_historyfiles.moc"
