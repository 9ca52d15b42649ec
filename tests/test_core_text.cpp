#include "features/RemoteText.h"
#include "features/SafeFileName.h"
#include "talks/MessageText.h"
#include "talks/MinuteClock.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using SafeFileName::SafeName;

class TestCoreText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void plainTextOfMessages_data();
    void plainTextOfMessages();
    void plainTextOfManyUnclosedMarkers();
    void safeName_data();
    void safeName();
    void safeNameIsBoundedAndWritable();
    void isInside();
    void isolateKeepsOverridesInside();
    void isolateOnlyWhereOrderCanChange();
    void escapedNeverCarriesMarkup();
    void minuteClockFollowsTheMinute();
};

void TestCoreText::safeName_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QStringLiteral("Anna and Boris") << QStringLiteral("Anna and Boris");
    QTest::newRow("traversal") << QStringLiteral("../../x") << QStringLiteral("_.._x");
    QTest::newRow("separator") << QStringLiteral("a/b") << QStringLiteral("a_b");
    QTest::newRow("backslash and colon") << QStringLiteral("c:\\dir") << QStringLiteral("c__dir");
    QTest::newRow("windows refused") << QStringLiteral("a*b?c\"d<e>f|g") << QStringLiteral("a_b_c_d_e_f_g");
    QTest::newRow("device") << QStringLiteral("CON") << QStringLiteral("_CON");
    QTest::newRow("device with extension") << QStringLiteral("lpt1.txt") << QStringLiteral("_lpt1.txt");
    QTest::newRow("not a device") << QStringLiteral("CONSOLE") << QStringLiteral("CONSOLE");
    QTest::newRow("cjk") << QStringLiteral("名前") << QStringLiteral("名前");
    QTest::newRow("emoji kept whole") << QStringLiteral("a\U0001F600b") << QStringLiteral("a\U0001F600b");
    QTest::newRow("override") << QStringLiteral("Eve\u202Eexe.txt") << QStringLiteral("Eve_exe.txt");
    QTest::newRow("control") << QStringLiteral("a\nb\tc\x7f") << QStringLiteral("a_b_c_");
    QTest::newRow("leading dots") << QStringLiteral("...hidden") << QStringLiteral("hidden");
    QTest::newRow("trailing dots and blanks") << QStringLiteral("name. . ") << QStringLiteral("name");
    QTest::newRow("dots only") << QStringLiteral("..") << QStringLiteral("_");
    QTest::newRow("empty") << QString() << QStringLiteral("_");
}

void TestCoreText::safeName()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(SafeName(text), expected);
}

void TestCoreText::safeNameIsBoundedAndWritable()
{
    const QString longName = SafeName(QString(300, u'x'));
    QCOMPARE(longName.size(), SafeFileName::MaxLength);
    // Cutting never leaves half of a surrogate pair.
    QString pairs;
    for (int i = 0; i < 200; ++i)
        pairs += QStringLiteral("\U0001F600");
    const QString cut = SafeName(pairs);
    QVERIFY(cut.size() <= SafeFileName::MaxLength);
    QVERIFY(!cut.back().isHighSurrogate());

    QTemporaryDir dir;
    const QStringList hostile = {QStringLiteral("../../x"), QStringLiteral("a/b"), QStringLiteral("CON"),
                                 QStringLiteral("名前"),    QString(300, u'y'),    QStringLiteral("\u202E"),
                                 QStringLiteral("..")};
    for (const QString &text : hostile) {
        const QString path = dir.filePath(SafeName(text) + QStringLiteral(".txt"));
        QVERIFY2(SafeFileName::IsInside(dir.path(), path), qPrintable(path));
        QFile file(path);
        QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
        file.close();
        QCOMPARE(QFileInfo(path).absolutePath(), QDir(dir.path()).absolutePath());
    }
}

void TestCoreText::isInside()
{
    QVERIFY(SafeFileName::IsInside(QStringLiteral("/tmp/h"), QStringLiteral("/tmp/h/a.txt")));
    QVERIFY(SafeFileName::IsInside(QStringLiteral("/tmp/h/"), QStringLiteral("/tmp/h/sub/a.txt")));
    QVERIFY(!SafeFileName::IsInside(QStringLiteral("/tmp/h"), QStringLiteral("/tmp/h")));
    QVERIFY(!SafeFileName::IsInside(QStringLiteral("/tmp/h"), QStringLiteral("/tmp/h/../x")));
    QVERIFY(!SafeFileName::IsInside(QStringLiteral("/tmp/h"), QStringLiteral("/tmp/hx/a")));
    QVERIFY(!SafeFileName::IsInside(QString(), QStringLiteral("/tmp/a")));
}

void TestCoreText::isolateKeepsOverridesInside()
{
    const QString isolated = RemoteText::isolate(QStringLiteral("Eve\u202Eexe"));
    QCOMPARE(isolated, QStringLiteral("\u2068Eve\u202Eexe\u2069"));
    // A pop inside the name cannot end the isolate early.
    QCOMPARE(RemoteText::isolate(QStringLiteral("a\u2069b")), QStringLiteral("\u2068ab\u2069"));
    QCOMPARE(RemoteText::isolate(QString()), QString());
}

void TestCoreText::isolateOnlyWhereOrderCanChange()
{
    const QString notice = QStringLiteral("User \"%1\" is connect...");
    // Left-to-right letters, digits, punctuation and spaces on both sides: nothing can move.
    for (const QString &name : {QStringLiteral("Peer 0001"), QStringLiteral("127.0.0.77"),
                                QStringLiteral("\u0410\u043D\u043D\u0430 (work)!"), QStringLiteral("1st")})
        QCOMPARE(RemoteText::isolateIn(name, notice), name);
    // Right-to-left letters, Arabic-Indic digits and direction controls in the name, also beyond
    // the first plane, and a lone surrogate that is no letter.
    for (const QString &name : {QStringLiteral("\u05E9\u05DC\u05D5\u05DD"), QStringLiteral("Eve\u202Eexe"),
                                QStringLiteral("a\u0661"), QStringLiteral("x\U00010800"),
                                QStringLiteral("a\u200Fb"), QStringLiteral("a\u2066b")})
        QCOMPARE(RemoteText::isolateIn(name, notice), RemoteText::isolate(name));
    QCOMPARE(RemoteText::isolateIn(QStringLiteral("x") + QChar(0xD800), notice),
             QStringLiteral("x") + QChar(0xD800));
    // ... or anywhere around it: a translation written right to left.
    QCOMPARE(RemoteText::isolateIn(QStringLiteral("Peer"), QStringLiteral("\u05D4\u05DE\u05E9 %1")),
             QStringLiteral("\u2068Peer\u2069"));
    QCOMPARE(RemoteText::isolateIn(QString(), notice), QString());
}

void TestCoreText::escapedNeverCarriesMarkup()
{
    const QString escaped = RemoteText::escapedName(QStringLiteral("<img src=\"/etc/passwd\">&"));
    QVERIFY(!escaped.contains(u'<'));
    QVERIFY(!escaped.contains(u'>'));
    QVERIFY(!escaped.contains(u'"'));
    QVERIFY(escaped.contains(QStringLiteral("&lt;img")));
    QVERIFY(escaped.contains(QStringLiteral("&amp;")));
}

void TestCoreText::plainTextOfMessages_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("text");
    QTest::newRow("lines") << "one\n\rtwo\n\r\n\rthree"
                           << "one\ntwo\n\nthree";
    QTest::newRow("picture") << "hi {[!BULLET!]}12{[/!BULLET!]}!"
                             << "hi [picture 12]!";
    QTest::newRow("animation") << "{[!CONTROL!]}3{[/!CONTROL!]}"
                               << "[animation 3]";
    QTest::newRow("file") << "see {[!CONTROLFILE!]}<[FILEINFOSEPARATOR]>{ID}<[FILEINFOSEPARATOR]>127.0.0.2"
                             "<[FILEINFOSEPARATOR]>0<[FILEINFOSEPARATOR]>/home/a/x.txt{[!/CONTROLFILE!]}"
                          << "see [file /home/a/x.txt]";
    QTest::newRow("unclosed stays text") << "a {[!BULLET!]}5 b"
                                         << "a {[!BULLET!]}5 b";
    QTest::newRow("lone break halves") << "\r\n x \n"
                                       << "\r\n x \n";
}

void TestCoreText::plainTextOfMessages()
{
    QFETCH(QString, body);
    QFETCH(QString, text);
    QCOMPARE(MessageText::PlainText(body), text);
}

void TestCoreText::plainTextOfManyUnclosedMarkers()
{
    QString body;
    for (int i = 0; i < 5000; ++i)
        body += QStringLiteral("{[!BULLET!]}x");
    body += QStringLiteral("{[!CONTROL!]}7{[/!CONTROL!]}");
    const QString text = MessageText::PlainText(body);
    QVERIFY(text.endsWith(QStringLiteral("[animation 7]")));
    QCOMPARE(text.count(QStringLiteral("{[!BULLET!]}x")), 5000);
    QCOMPARE(MessageText::FromPlainText(QStringLiteral("a\r\nb\nc")), QStringLiteral("a\n\rb\n\rc"));
}

void TestCoreText::minuteClockFollowsTheMinute()
{
    const QDateTime start = QDateTime(QDate(2026, 12, 9), QTime(14, 7, 59, 500));
    const qint64 ms = start.toMSecsSinceEpoch();
    MinuteClock clock;
    QCOMPARE(clock.textAt(ms), QStringLiteral("14.07"));
    QCOMPARE(clock.textAt(ms + 499), QStringLiteral("14.07"));
    // The next minute starts half a second later.
    QCOMPARE(clock.textAt(ms + 500), QStringLiteral("14.08"));
    QCOMPARE(clock.textAt(ms + 60499), QStringLiteral("14.08"));
    QCOMPARE(clock.textAt(ms + 60500), QStringLiteral("14.09"));
    // A clock set back is followed at once.
    QCOMPARE(clock.textAt(ms - 3600000), QStringLiteral("13.07"));
    const QString before = QTime::currentTime().toString(QStringLiteral("hh.mm"));
    const QString now = clock.text();
    QVERIFY(now == before || now == QTime::currentTime().toString(QStringLiteral("hh.mm")));
}

QTEST_GUILESS_MAIN(TestCoreText)
#include "test_core_text.moc"
