// The language-file reader, the lookup with its defaults, the shared texts and the shipped files.
#include "features/LngCatalogue.h"
#include "features/LngIniFile.h"
#include "features/LngUn.h"
#include "protocol/ConstUnit.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(bytes);
    return path;
}

QString shippedDir()
{
    return QStringLiteral(PERIX_SOURCE_DIR "/assets/Lng");
}

const QStringList ShippedFiles = {QStringLiteral("English.lng"), QStringLiteral("Russian.lng"),
                                  QStringLiteral("German.lng")};

// The words the English file spells right while the built-in defaults keep them as they always were.
QString corrected(QString text)
{
    const std::pair<const char *, const char *> fixes[] = {
        {"Litle", "Little"}, {"Trey", "Tray"}, {"Programm", "Program"}, {"Deactive", "Deactivate"}};
    for (const auto &[wrong, right] : fixes)
        text.replace(QRegularExpression(QStringLiteral("\\b%1\\b").arg(QLatin1StringView(wrong))),
                     QLatin1StringView(right));
    return text;
}

struct LanguageReset {
    ~LanguageReset()
    {
        Lng::SetCurrentFile(QString());
        ConstUnit::resetTexts();
    }
};

} // namespace

class TestLng : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void caseOfSectionsAndNames();
    void blanksAndQuotes_data();
    void blanksAndQuotes();
    void valuesAreCutAt2047();
    void missingSectionsAndNames();
    void firstTextWins();
    void lineEndings();
    void byteOrderMarks();
    void windows1251Bytes();
    void windows1251Table();
    void utf8Validity_data();
    void utf8Validity();
    void junkIsHarmless();
    void unreadableAndOversizedFiles();

    void lookupUsesDefaultsWithoutFile();
    void placeholderCountMustMatch();
    void sharedTextsFollowTheFile();
    void languageNames();
    void listingSkipsFolders();
    void storedChoiceMatchesFileName();

    void catalogueHoldsEveryKeyOnce();
    void catalogueAgreesWithSharedTable();
    void shippedFilesAreComplete_data();
    void shippedFilesAreComplete();
    void englishFileIsTheCorrectedDefaults();
    void translationsDiffer();
};

void TestLng::caseOfSectionsAndNames()
{
    const LngIniFile file = LngIniFile::fromBytes("[ActHelp]\nCAPTION=Hilfe\nhint=Hilfe zum Programm\n");
    QCOMPARE(file.value(QStringLiteral("actHelp"), QStringLiteral("Caption")), QStringLiteral("Hilfe"));
    QCOMPARE(file.value(QStringLiteral("ACTHELP"), QStringLiteral("caption")), QStringLiteral("Hilfe"));
    QCOMPARE(file.value(QStringLiteral("acthelp"), QStringLiteral("HINT")),
             QStringLiteral("Hilfe zum Programm"));
    QVERIFY(file.hasSection(QStringLiteral("ACTHELP")));
    // Names as written stay available for display.
    QCOMPARE(file.sections(), QStringList{QStringLiteral("ActHelp")});
    // Cyrillic section names fold too.
    const LngIniFile cyrillic = LngIniFile::fromBytes("[ЯЗЫК]\nИмя=x\n");
    QCOMPARE(cyrillic.value(QStringLiteral("язык"), QStringLiteral("имя")), QStringLiteral("x"));
}

void TestLng::blanksAndQuotes_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QByteArray("Caption=Open") << QStringLiteral("Open");
    QTest::newRow("blanks around") << QByteArray("  Caption \t=  Open file \t")
                                   << QStringLiteral("Open file");
    QTest::newRow("double quotes") << QByteArray("Caption=\"  Open  \"") << QStringLiteral("  Open  ");
    QTest::newRow("single quotes") << QByteArray("Caption='Open'") << QStringLiteral("Open");
    QTest::newRow("quotes inside stay")
        << QByteArray("Caption=User \"%s\" is connect...") << QStringLiteral("User \"%s\" is connect...");
    QTest::newRow("mismatched quotes stay") << QByteArray("Caption=\"Open'") << QStringLiteral("\"Open'");
    QTest::newRow("one quote stays") << QByteArray("Caption=\"") << QStringLiteral("\"");
    QTest::newRow("empty quotes") << QByteArray("Caption=\"\"") << QString();
    QTest::newRow("quoted quote") << QByteArray("Caption=\"\"x\"\"") << QStringLiteral("\"x\"");
    QTest::newRow("only the first equals sign splits") << QByteArray("Caption=a=b") << QStringLiteral("a=b");
    QTest::newRow("semicolon and comma are text") << QByteArray("Caption=a;b,c") << QStringLiteral("a;b,c");
    QTest::newRow("backslashes are text")
        << QByteArray("Caption=C:\\new\\table\\x41") << QStringLiteral("C:\\new\\table\\x41");
    QTest::newRow("empty value") << QByteArray("Caption=") << QString();
}

void TestLng::blanksAndQuotes()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, expected);
    const LngIniFile file = LngIniFile::fromBytes("[s]\n" + line + "\n");
    const std::optional<QString> value = file.value(QStringLiteral("s"), QStringLiteral("Caption"));
    QVERIFY(value.has_value());
    QCOMPARE(*value, expected);
}

void TestLng::valuesAreCutAt2047()
{
    const QByteArray longValue(5000, 'x');
    const LngIniFile file = LngIniFile::fromBytes("[s]\na=" + longValue + "\nb=" + QByteArray(2047, 'y') +
                                                  "\nc=\"" + QByteArray(2047, 'z') + "\"\n");
    QCOMPARE(file.value(QStringLiteral("s"), QStringLiteral("a"))->size(), 2047);
    QCOMPARE(*file.value(QStringLiteral("s"), QStringLiteral("b")), QString(2047, u'y'));
    // Quotes are not counted.
    QCOMPARE(*file.value(QStringLiteral("s"), QStringLiteral("c")), QString(2047, u'z'));
    // The text after an over-long value is read as usual.
    const LngIniFile next = LngIniFile::fromBytes("[s]\na=" + longValue + "\n[t]\nb=ok\n");
    QCOMPARE(next.value(QStringLiteral("t"), QStringLiteral("b")), QStringLiteral("ok"));
    // A character outside the basic plane is never cut in half.
    QByteArray faces = "[s]\na=" + QByteArray(2046, 'x');
    for (int i = 0; i < 10; ++i)
        faces += "\xF0\x9F\x98\x80";
    const QString cut = *LngIniFile::fromBytes(faces).value(QStringLiteral("s"), QStringLiteral("a"));
    QCOMPARE(cut, QString(2046, u'x'));
}

void TestLng::missingSectionsAndNames()
{
    const LngIniFile file =
        LngIniFile::fromBytes("top=before any section\n[s]\na=1\nno equals sign\n=no name\n");
    QVERIFY(!file.value(QStringLiteral("t"), QStringLiteral("a")));
    QVERIFY(!file.value(QStringLiteral("s"), QStringLiteral("b")));
    QVERIFY(!file.value(QString(), QStringLiteral("top")));
    QVERIFY(!file.value(QStringLiteral("s"), QStringLiteral("no equals sign")));
    QVERIFY(!file.value(QStringLiteral("s"), QString()));
    QCOMPARE(file.value(QStringLiteral("t"), QStringLiteral("a"), QStringLiteral("default")),
             QStringLiteral("default"));
    // A comment line is not a text, a header without its bracket opens nothing.
    const LngIniFile comments = LngIniFile::fromBytes("[s]\n;a=1\n[broken\nb=2\n");
    QVERIFY(!comments.value(QStringLiteral("s"), QStringLiteral(";a")));
    QCOMPARE(comments.value(QStringLiteral("s"), QStringLiteral("b")), QStringLiteral("2"));
    QVERIFY(!comments.hasSection(QStringLiteral("broken")));
    // Blanks inside the brackets are not part of the name.
    QVERIFY(LngIniFile::fromBytes("[ LNG ]\nx=1").hasSection(QStringLiteral("LNG")));
    QVERIFY(LngIniFile().isEmpty());
}

void TestLng::firstTextWins()
{
    const LngIniFile file =
        LngIniFile::fromBytes("[s]\na=first\nA=second\n[t]\nb=1\n[S]\na=third\nc=added\n");
    QCOMPARE(file.value(QStringLiteral("s"), QStringLiteral("a")), QStringLiteral("first"));
    QCOMPARE(file.value(QStringLiteral("s"), QStringLiteral("c")), QStringLiteral("added"));
    QCOMPARE(file.sections().size(), 2);
}

void TestLng::lineEndings()
{
    for (const QByteArray &eol : {QByteArray("\r\n"), QByteArray("\n"), QByteArray("\r")}) {
        const LngIniFile file = LngIniFile::fromBytes("[LNG]" + eol + "LanguageName=Deutsch" + eol + eol +
                                                      "[actHelp]" + eol + "Caption=Hilfe" + eol);
        QCOMPARE(file.value(QStringLiteral("LNG"), QStringLiteral("LanguageName")),
                 QStringLiteral("Deutsch"));
        QCOMPARE(file.value(QStringLiteral("actHelp"), QStringLiteral("Caption")), QStringLiteral("Hilfe"));
    }
    // No line end at all after the last value.
    QCOMPARE(LngIniFile::fromBytes("[s]\r\na=1").value(QStringLiteral("s"), QStringLiteral("a")),
             QStringLiteral("1"));
}

void TestLng::byteOrderMarks()
{
    const LngIniFile utf8 = LngIniFile::fromBytes("\xEF\xBB\xBF[LNG]\nLanguageName=Русский\n");
    QCOMPARE(utf8.sections(), QStringList{QStringLiteral("LNG")});
    QCOMPARE(utf8.value(QStringLiteral("LNG"), QStringLiteral("LanguageName")), QStringLiteral("Русский"));
    // A mark alone does not make the rest UTF-8 when it is not.
    const LngIniFile mixed = LngIniFile::fromBytes("\xEF\xBB\xBF[s]\na=\xD0\xF3\xF1\xF1\xEA\xE8\xE9\n");
    QCOMPARE(mixed.value(QStringLiteral("s"), QStringLiteral("a")), QStringLiteral("Русский"));

    QByteArray utf16le("\xFF\xFE", 2);
    for (const QChar c : QStringLiteral("[s]\r\na=Язык\r\n")) {
        utf16le.append(char(c.unicode() & 0xFF));
        utf16le.append(char(c.unicode() >> 8));
    }
    QCOMPARE(LngIniFile::fromBytes(utf16le).value(QStringLiteral("s"), QStringLiteral("a")),
             QStringLiteral("Язык"));
    QByteArray utf16be("\xFE\xFF", 2);
    for (const QChar c : QStringLiteral("[s]\na=Sprache\n")) {
        utf16be.append(char(c.unicode() >> 8));
        utf16be.append(char(c.unicode() & 0xFF));
    }
    QCOMPARE(LngIniFile::fromBytes(utf16be).value(QStringLiteral("s"), QStringLiteral("a")),
             QStringLiteral("Sprache"));
}

void TestLng::windows1251Bytes()
{
    // "Язык" and "Справка" in the legacy code page: not valid UTF-8, so the whole file is Windows-1251.
    const QByteArray legacy =
        "[LNG]\r\nLanguageName=\xDF\xE7\xFB\xEA\r\n[actHelp]\r\nCaption=\xD1\xEF\xF0\xE0\xE2\xEA\xE0\r\n"
        "Hint=\xAB\xB9 1\xBB \x96 \xB8\xEB\xEA\xE0\r\n";
    const LngIniFile file = LngIniFile::fromBytes(legacy);
    QCOMPARE(file.value(QStringLiteral("LNG"), QStringLiteral("LanguageName")), QStringLiteral("Язык"));
    QCOMPARE(file.value(QStringLiteral("ACTHELP"), QStringLiteral("caption")), QStringLiteral("Справка"));
    QCOMPARE(file.value(QStringLiteral("actHelp"), QStringLiteral("Hint")), QStringLiteral("«№ 1» – ёлка"));
    // One stray legacy byte in an otherwise UTF-8 looking file decides for the legacy page.
    QCOMPARE(LngIniFile::decode("caf\xE9"), QStringLiteral("cafй"));
    QCOMPARE(LngIniFile::decode("\xD0\xA1onfirmation"), QStringLiteral("\u0421onfirmation"));
}

void TestLng::windows1251Table()
{
    // Spot checks over the whole upper half, including the letters outside the А..я block.
    const std::pair<unsigned char, char16_t> table[] = {
        {0x80, 0x0402}, {0x88, 0x20AC}, {0x8A, 0x0409}, {0x96, 0x2013}, {0x97, 0x2014}, {0x98, 0xFFFD},
        {0x99, 0x2122}, {0x9F, 0x045F}, {0xA0, 0x00A0}, {0xA5, 0x0490}, {0xA8, 0x0401}, {0xAA, 0x0404},
        {0xAF, 0x0407}, {0xB2, 0x0406}, {0xB3, 0x0456}, {0xB4, 0x0491}, {0xB8, 0x0451}, {0xB9, 0x2116},
        {0xBF, 0x0457}, {0xC0, 0x0410}, {0xDF, 0x042F}, {0xE0, 0x0430}, {0xFF, 0x044F}};
    for (const auto &[byte, expected] : table) {
        const char c = char(byte);
        QCOMPARE(LngIniFile::fromWindows1251(QByteArrayView(&c, 1)), QString(QChar(expected)));
    }
    QByteArray ascii;
    for (int b = 0; b < 0x80; ++b)
        ascii.append(char(b));
    QCOMPARE(LngIniFile::fromWindows1251(ascii), QString::fromLatin1(ascii));
    // Every byte gives exactly one character.
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    QCOMPARE(LngIniFile::fromWindows1251(all).size(), 256);
}

void TestLng::utf8Validity_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    QTest::newRow("ascii") << QByteArray("abc") << true;
    QTest::newRow("two bytes") << QByteArray("\xD0\xAF") << true;
    QTest::newRow("three bytes") << QByteArray("\xE2\x80\x93") << true;
    QTest::newRow("four bytes") << QByteArray("\xF0\x9F\x98\x80") << true;
    QTest::newRow("highest") << QByteArray("\xF4\x8F\xBF\xBF") << true;
    QTest::newRow("lone continuation") << QByteArray("\x80") << false;
    QTest::newRow("truncated") << QByteArray("\xD0") << false;
    QTest::newRow("truncated three") << QByteArray("\xE2\x80") << false;
    QTest::newRow("overlong two") << QByteArray("\xC0\xAF") << false;
    QTest::newRow("overlong three") << QByteArray("\xE0\x80\xAF") << false;
    QTest::newRow("overlong four") << QByteArray("\xF0\x80\x80\xAF") << false;
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << false;
    QTest::newRow("above range") << QByteArray("\xF4\x90\x80\x80") << false;
    QTest::newRow("f5") << QByteArray("\xF5\x80\x80\x80") << false;
    QTest::newRow("bad continuation") << QByteArray("\xE2\x28\xA1") << false;
    QTest::newRow("1251 word") << QByteArray("\xCF\xF0\xE8\xE2\xE5\xF2") << false;
}

void TestLng::utf8Validity()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    QCOMPARE(LngIniFile::isValidUtf8(bytes), valid);
}

void TestLng::junkIsHarmless()
{
    QRandomGenerator random(12);
    for (int round = 0; round < 200; ++round) {
        QByteArray junk(int(random.bounded(4096)), '\0');
        for (char &c : junk)
            c = char(random.bounded(256));
        if (round % 2)
            junk.replace('\x01', "\n[").replace('\x02', "]\n").replace('\x03', "=");
        const LngIniFile file = LngIniFile::fromBytes(junk);
        for (const QString &section : file.sections())
            QVERIFY(file.hasSection(section));
    }
    // A binary file, NUL bytes included, holds no texts under the keys the program asks for.
    QByteArray binary(1024, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = char((i * 37) & 0xFF);
    const LngIniFile file = LngIniFile::fromBytes(binary);
    QVERIFY(!file.value(QStringLiteral("LNG"), QStringLiteral("LanguageName")));
}

void TestLng::unreadableAndOversizedFiles()
{
    QTemporaryDir dir;
    QVERIFY(LngIniFile::load(dir.filePath(QStringLiteral("missing.lng"))).isEmpty());
    QVERIFY(LngIniFile::load(dir.path()).isEmpty());
    QByteArray big = "[s]\na=1\n";
    big.append(QByteArray(LngIniFile::MaxFileSize, ';'));
    QVERIFY(LngIniFile::load(writeFile(dir.filePath(QStringLiteral("big.lng")), big)).isEmpty());
    const QString small = writeFile(dir.filePath(QStringLiteral("small.lng")), "[s]\na=1\n");
    QCOMPARE(LngIniFile::load(small).value(QStringLiteral("s"), QStringLiteral("a")), QStringLiteral("1"));
}

void TestLng::lookupUsesDefaultsWithoutFile()
{
    LanguageReset reset;
    QTemporaryDir dir;
    const QString path = writeFile(dir.filePath(QStringLiteral("de.lng")), "[actHelp]\nCaption=Hilfe\n");
    QCOMPARE(Lng::Caption(QStringLiteral("actHelp"), QStringLiteral("Help")), QStringLiteral("Help"));
    QVERIFY(Lng::CurrentFile().isEmpty());
    Lng::SetCurrentFile(path);
    QCOMPARE(Lng::CurrentFile(), path);
    QCOMPARE(Lng::Caption(QStringLiteral("ACTHELP"), QStringLiteral("Help")), QStringLiteral("Hilfe"));
    QCOMPARE(Lng::Hint(QStringLiteral("actHelp"), QStringLiteral("Help information")),
             QStringLiteral("Help information"));
    // The file is read once: changing it on disk changes nothing until it is applied again.
    writeFile(path, "[actHelp]\nCaption=Aide\n");
    QCOMPARE(Lng::Caption(QStringLiteral("actHelp"), QStringLiteral("Help")), QStringLiteral("Hilfe"));
    Lng::SetCurrentFile(path);
    QCOMPARE(Lng::Caption(QStringLiteral("actHelp"), QStringLiteral("Help")), QStringLiteral("Aide"));
    // A file that has gone is current all the same, with every text at its default.
    Lng::SetCurrentFile(dir.filePath(QStringLiteral("gone.lng")));
    QCOMPARE(Lng::Caption(QStringLiteral("actHelp"), QStringLiteral("Help")), QStringLiteral("Help"));
}

void TestLng::placeholderCountMustMatch()
{
    LanguageReset reset;
    QTemporaryDir dir;
    const QString path = writeFile(dir.filePath(QStringLiteral("x.lng")),
                                   "[ConnectUser]\nCaption=%s %s ist da\n"
                                   "[DisconnectUser]\nCaption=ist weg\n"
                                   "[MessageFromUser]\nCaption=Nachricht von %s (100%)\n"
                                   "[FileNameStoryPrefix]\nCaption=%s und %s\n"
                                   "[actHelp]\nCaption=Hilfe %s\n");
    Lng::SetCurrentFile(path);
    QCOMPARE(Lng::Caption(QStringLiteral("ConnectUser"), QStringLiteral("User \"%s\" is connect...")),
             QStringLiteral("User \"%s\" is connect..."));
    QCOMPARE(Lng::Caption(QStringLiteral("DisconnectUser"), QStringLiteral("User \"%s\" is disconnect...")),
             QStringLiteral("User \"%s\" is disconnect..."));
    QCOMPARE(Lng::Caption(QStringLiteral("MessageFromUser"), QStringLiteral("Message from \"%s\"...")),
             QStringLiteral("Nachricht von %s (100%)"));
    QCOMPARE(Lng::Caption(QStringLiteral("FileNameStoryPrefix"), QStringLiteral("%s and %s")),
             QStringLiteral("%s und %s"));
    QCOMPARE(Lng::Caption(QStringLiteral("actHelp"), QStringLiteral("Help")), QStringLiteral("Help"));
    QCOMPARE(Lng::PlaceholderCount(QStringLiteral("%s and %s")), 2);
    QCOMPARE(Lng::PlaceholderCount(QStringLiteral("100% sure")), 0);

    Lng::ApplySharedTexts();
    QCOMPARE(ConstUnit::text(ConstUnit::Text::ConnectUser), QStringLiteral("User \"%s\" is connect..."));
    QCOMPARE(ConstUnit::text(ConstUnit::Text::FileNameStoryPrefix), QStringLiteral("%s und %s"));
    QCOMPARE(ConstUnit::Format(ConstUnit::text(ConstUnit::Text::FileNameStoryPrefix),
                               {QStringLiteral("Anna"), QStringLiteral("Boris")}),
             QStringLiteral("Anna und Boris"));
}

void TestLng::sharedTextsFollowTheFile()
{
    LanguageReset reset;
    Lng::SetCurrentFile(shippedDir() + QStringLiteral("/German.lng"));
    Lng::ApplySharedTexts();
    QCOMPARE(ConstUnit::text(ConstUnit::Text::MainGroup), QStringLiteral("Hauptgruppe"));
    QCOMPARE(ConstUnit::text(ConstUnit::Text::BadList), QStringLiteral("Sperrliste"));
    QCOMPARE(ConstUnit::text(ConstUnit::Text::BtnCancel), QStringLiteral("&Abbrechen"));
    QCOMPARE(ConstUnit::Format(ConstUnit::text(ConstUnit::Text::ConnectUser), {QStringLiteral("[Anna]")}),
             QStringLiteral("Benutzer „[Anna]“ hat sich angemeldet..."));
    // A file without these texts puts the defaults back, not the previous language's texts.
    QTemporaryDir dir;
    Lng::SetCurrentFile(writeFile(dir.filePath(QStringLiteral("empty.lng")), "[LNG]\nLanguageName=Leer\n"));
    Lng::ApplySharedTexts();
    for (int i = 0; i < int(ConstUnit::Text::Count); ++i)
        QCOMPARE(ConstUnit::text(ConstUnit::Text(i)), ConstUnit::defaultText(ConstUnit::Text(i)));
}

void TestLng::languageNames()
{
    QTemporaryDir dir;
    QCOMPARE(
        Lng::LanguageName(writeFile(dir.filePath(QStringLiteral("a.lng")), "[lng]\nlanguagename=Deutsch\n")),
        QStringLiteral("Deutsch"));
    QCOMPARE(Lng::LanguageName(writeFile(dir.filePath(QStringLiteral("b.ini")), "[actHelp]\nCaption=x\n")),
             QStringLiteral("b.ini"));
    QCOMPARE(Lng::LanguageName(writeFile(dir.filePath(QStringLiteral("c.txt")), "[LNG]\nLanguageName=  \n")),
             QStringLiteral("c.txt"));
    QCOMPARE(
        Lng::LanguageName(writeFile(dir.filePath(QStringLiteral("d")), "[LNG]\nLanguageName=\"Français\"\n")),
        QStringLiteral("Français"));
    QCOMPARE(
        Lng::LanguageName(writeFile(dir.filePath(QStringLiteral("junk.bin")), QByteArray("\x00\xFF\x01", 3))),
        QStringLiteral("junk.bin"));
}

void TestLng::listingSkipsFolders()
{
    QTemporaryDir dir;
    QVERIFY(Lng::ListLanguageFiles(dir.filePath(QStringLiteral("none"))).isEmpty());
    writeFile(dir.filePath(QStringLiteral("English.lng")), "[LNG]\nLanguageName=English\n");
    writeFile(dir.filePath(QStringLiteral("English copy.lng")), "[LNG]\nLanguageName=English\n");
    writeFile(dir.filePath(QStringLiteral("readme")), "not a language file");
    writeFile(dir.filePath(QStringLiteral(".hidden.lng")), "[LNG]\nLanguageName=Hidden\n");
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub.lng")));
    const QList<Lng::LanguageFile> files = Lng::ListLanguageFiles(dir.path());
    QMap<QString, QString> names;
    for (const Lng::LanguageFile &file : files) {
        QCOMPARE(QFileInfo(file.path).absolutePath(), QDir(dir.path()).absolutePath());
        names.insert(QFileInfo(file.path).fileName(), file.name);
    }
    QCOMPARE(files.size(), 4);
    QCOMPARE(names.value(QStringLiteral("English.lng")), QStringLiteral("English"));
    QCOMPARE(names.value(QStringLiteral("English copy.lng")), QStringLiteral("English"));
    QCOMPARE(names.value(QStringLiteral("readme")), QStringLiteral("readme"));
    QCOMPARE(names.value(QStringLiteral(".hidden.lng")), QStringLiteral("Hidden"));
    QVERIFY(!names.contains(QStringLiteral("sub.lng")));
}

void TestLng::storedChoiceMatchesFileName()
{
    QTemporaryDir oldDir, newDir;
    const QString old = writeFile(oldDir.filePath(QStringLiteral("German.lng")), "[LNG]\n");
    const QStringList items = {newDir.filePath(QStringLiteral("English.lng")),
                               newDir.filePath(QStringLiteral("German.lng")),
                               newDir.filePath(QStringLiteral("german.lng"))};
    // Folders are not compared; the file name is, case included.
    QCOMPARE(Lng::StoredChoiceIndex(items, old), 1);
    QCOMPARE(Lng::StoredChoiceIndex(items, writeFile(oldDir.filePath(QStringLiteral("GERMAN.LNG")), "")), -1);
    // The stored file itself must still exist, even though a file of that name is offered.
    QCOMPARE(Lng::StoredChoiceIndex(items, oldDir.filePath(QStringLiteral("English.lng"))), -1);
    QCOMPARE(Lng::StoredChoiceIndex(items, QString()), -1);
    QCOMPARE(Lng::StoredChoiceIndex(items, oldDir.path()), -1);
    QCOMPARE(Lng::StoredChoiceIndex({}, old), -1);
}

void TestLng::catalogueHoldsEveryKeyOnce()
{
    QSet<QString> keys;
    for (const Lng::CatalogueEntry &entry : Lng::Catalogue()) {
        const QString key = entry.sectionName().toLower() + u'/' + entry.keyName().toLower();
        QVERIFY2(!keys.contains(key), qPrintable(key));
        keys.insert(key);
        QVERIFY(!entry.defaultValue().isEmpty());
    }
    QVERIFY(keys.size() > 150);
    // Spot checks of the built-in defaults, spelling as the program has always had it.
    QCOMPARE(
        Lng::FindCatalogueEntry(QStringLiteral("actBtnLitleIcon"), QStringLiteral("Caption"))->defaultValue(),
        QStringLiteral("Litle icons"));
    QCOMPARE(
        Lng::FindCatalogueEntry(QStringLiteral("actHideProgramm"), QStringLiteral("caption"))->defaultValue(),
        QStringLiteral("Hide Programm in Trey when minimize"));
    QCOMPARE(Lng::FindCatalogueEntry(QStringLiteral("tsAllUsers"), QStringLiteral("Caption"))->defaultValue(),
             QStringLiteral("All Users"));
    QCOMPARE(Lng::FindCatalogueEntry(QStringLiteral("cbSex"), QStringLiteral("Not"))->defaultValue(),
             QStringLiteral("Not specified"));
    QCOMPARE(Lng::FindCatalogueEntry(QStringLiteral("FilesInformation"), QStringLiteral("Caption"))
                 ->defaultValue()
                 .at(0),
             QChar(0x0421));
    QVERIFY(!Lng::FindCatalogueEntry(QStringLiteral("actHelp"), QStringLiteral("Nothing")));
}

void TestLng::catalogueAgreesWithSharedTable()
{
    for (int i = 0; i < int(ConstUnit::Text::Count); ++i) {
        const auto key = ConstUnit::Text(i);
        const std::optional<Lng::CatalogueEntry> entry =
            Lng::FindCatalogueEntry(ConstUnit::languageSection(key), QStringLiteral("Caption"));
        QVERIFY2(entry, qPrintable(ConstUnit::languageSection(key)));
        QCOMPARE(entry->defaultValue(), ConstUnit::defaultText(key));
        QCOMPARE(entry->use, Lng::TextUse::Shared);
    }
}

void TestLng::shippedFilesAreComplete_data()
{
    QTest::addColumn<QString>("fileName");
    for (const QString &name : ShippedFiles)
        QTest::newRow(qPrintable(name)) << name;
}

void TestLng::shippedFilesAreComplete()
{
    QFETCH(QString, fileName);
    const QString path = shippedDir() + u'/' + fileName;
    QFile raw(path);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QVERIFY2(LngIniFile::isValidUtf8(raw.readAll()), "shipped files are UTF-8");
    const LngIniFile file = LngIniFile::load(path);
    QVERIFY(!file.value(QStringLiteral("LNG"), QStringLiteral("LanguageName")).value_or(QString()).isEmpty());
    QStringList missing;
    for (const Lng::CatalogueEntry &entry : Lng::Catalogue()) {
        const std::optional<QString> value = file.value(entry.sectionName(), entry.keyName());
        if (!value || value->trimmed().isEmpty()) {
            missing.append(entry.sectionName() + u'/' + entry.keyName());
            continue;
        }
        QVERIFY2(Lng::PlaceholderCount(*value) == Lng::PlaceholderCount(entry.defaultValue()),
                 qPrintable(entry.sectionName()));
        QVERIFY2(value->size() < LngIniFile::MaxValueLength, qPrintable(entry.sectionName()));
    }
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u' ')));
    // Nothing in the file that the program never asks for: a misspelt section would go unnoticed.
    QFile text(path);
    QVERIFY(text.open(QIODevice::ReadOnly | QIODevice::Text));
    QString section;
    while (!text.atEnd()) {
        const QString line = QString::fromUtf8(text.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            section = line.mid(1, line.size() - 2);
        } else if (line.contains(u'=') && !line.startsWith(u';')) {
            const QString name = line.left(line.indexOf(u'='));
            const bool known = section == QLatin1StringView(Lng::LanguageSection)
                                   ? name == QLatin1StringView(Lng::LanguageNameKey)
                                   : Lng::FindCatalogueEntry(section, name).has_value();
            QVERIFY2(known, qPrintable(section + u'/' + name));
        }
    }
}

void TestLng::englishFileIsTheCorrectedDefaults()
{
    const LngIniFile file = LngIniFile::load(shippedDir() + QStringLiteral("/English.lng"));
    for (const Lng::CatalogueEntry &entry : Lng::Catalogue())
        QCOMPARE(file.value(entry.sectionName(), entry.keyName()).value_or(QString()),
                 corrected(entry.defaultValue()));
    QCOMPARE(file.value(QStringLiteral("actBtnLitleIcon"), QStringLiteral("Caption")),
             QStringLiteral("Little icons"));
    QCOMPARE(file.value(QStringLiteral("actHideProgramm"), QStringLiteral("Caption")),
             QStringLiteral("Hide Program in Tray when minimize"));
    QCOMPARE(file.value(QStringLiteral("actDeactiveUserCaption"), QStringLiteral("Caption")),
             QStringLiteral("Deactivate"));
}

void TestLng::translationsDiffer()
{
    // Translated, not copied: the words that have a word of their own in each language differ from English.
    const LngIniFile english = LngIniFile::load(shippedDir() + QStringLiteral("/English.lng"));
    for (const QString &name : {QStringLiteral("Russian.lng"), QStringLiteral("German.lng")}) {
        const LngIniFile file = LngIniFile::load(shippedDir() + u'/' + name);
        int same = 0;
        for (const Lng::CatalogueEntry &entry : Lng::Catalogue())
            same += file.value(entry.sectionName(), entry.keyName()) ==
                    english.value(entry.sectionName(), entry.keyName());
        // "ICQ:", "&OK", "Name", "E-Mail", "Details"... stay as they are.
        QVERIFY2(same < 12, qPrintable(QStringLiteral("%1: %2 untranslated").arg(name).arg(same)));
    }
    QCOMPARE(LngIniFile::load(shippedDir() + QStringLiteral("/Russian.lng"))
                 .value(QStringLiteral("tbsiLanguage"), QStringLiteral("Caption")),
             QStringLiteral("Язык"));
    QCOMPARE(LngIniFile::load(shippedDir() + QStringLiteral("/German.lng"))
                 .value(QStringLiteral("tbsiLanguage"), QStringLiteral("Caption")),
             QStringLiteral("Sprache"));
}

QTEST_GUILESS_MAIN(TestLng)
#include "test_lng.moc"
