#include "settings/IniFileTransaction.h"
#include "settings/SettingsStore.h"
#include "settings/TMyUserData.h"
#include "settings/iniFileUn.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using ProfileTextSetter = bool (TSetUserData::*)(const QString &);
using ProfileTextGetter = QString (TMyUserData::*)() const;
using ProfileNumberGetter = qint32 (TMyUserData::*)() const;
using EntryTextField = QString RUserID::*;

Q_DECLARE_METATYPE(BoolSetting)
Q_DECLARE_METATYPE(StoredPlacement)
Q_DECLARE_METATYPE(ProfileTextSetter)
Q_DECLARE_METATYPE(ProfileTextGetter)
Q_DECLARE_METATYPE(ProfileNumberGetter)
Q_DECLARE_METATYPE(EntryTextField)

namespace {

const QRegularExpression
    RegistryGuid(QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"));

StoredPlacement placement(qint32 left, qint32 top, qint32 width, qint32 height)
{
    return StoredPlacement{left, top, width, height};
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void userStoreLocation();

    void boolDefaults_data();
    void boolDefaults();
    void boolReadError_data();
    void boolReadError();
    void boolStoredLayout_data();
    void boolStoredLayout();
    void firstStartValues();

    void readErrorConditions_data();
    void readErrorConditions();
    void missingFileReadsDefaults();
    void writeToUnreadableStoreFails();
    void writesReadBackAtOnce();
    void batchCopiesAndLocksAtItsFirstChange();
    void wholeIniText_data();
    void wholeIniText();

    void integerText_data();
    void integerText();
    void booleanText_data();
    void booleanText();
    void integerWrittenAsNumber();

    void storyDays_data();
    void storyDays();
    void languageFile();
    void heightNewMessagePanel_data();
    void heightNewMessagePanel();
    void heightNewMessagePanelLayout();
    void resetDialogAnswers();

    void mainWindowPlacement_data();
    void mainWindowPlacement();
    void userListPlacement_data();
    void userListPlacement();
    void placementStorage();
    void placementReadError();

    void toolbarLayout();

    void sectionNamesRoundTrip_data();
    void sectionNamesRoundTrip();
    void baseValuesAreNotSections();
    void removeSectionKeepsBaseValue();
    void sectionTextsAndSingleRemoval();
    void invalidNamesAreRefused();

    void emptyProfile();
    void idCreatedOnce();
    void blankIdReplaced_data();
    void blankIdReplaced();
    void storedIdKeptAsIs();
    void profileNumbers_data();
    void profileNumbers();
    void profileBytes_data();
    void profileBytes();
    void profileTextFields_data();
    void profileTextFields();
    void setOld_data();
    void setOld();
    void setNumbersKeepEntryOnText();
    void setterWithoutEntry();
    void localEntryFromStore();

private:
    QString iniPath() const { return m_dir->filePath(QStringLiteral("settings.ini")); }
    SettingsStore store() const { return SettingsStore(iniPath()); }
    void writeIniText(const QByteArray &text) const;
    QString iniText() const;
    // A copy of the file under a new name, parsed afresh from disk rather than from the
    // process-wide QSettings cache.
    QString diskCopy();
    SettingsStore storeFromDisk() { return SettingsStore(diskCopy()); }
    std::unique_ptr<QSettings> plainFromDisk();
    SettingsStore unreadableStore() const;
    // Writes the content to a new file of the test's folder and returns its path.
    QString writeNewFile(const QByteArray &content);

    std::unique_ptr<QTemporaryDir> m_dir;
    int m_copies = 0;
};

void TestSettings::writeIniText(const QByteArray &text) const
{
    QFile file(iniPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(text), text.size());
}

QString TestSettings::iniText() const
{
    QFile file(iniPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QString TestSettings::diskCopy()
{
    const QString copy = m_dir->filePath(QStringLiteral("copy%1.ini").arg(++m_copies));
    if (QFile::exists(iniPath()))
        QFile::copy(iniPath(), copy);
    return copy;
}

std::unique_ptr<QSettings> TestSettings::plainFromDisk()
{
    return std::make_unique<QSettings>(diskCopy(), QSettings::IniFormat);
}

QString TestSettings::writeNewFile(const QByteArray &content)
{
    const QString path = m_dir->filePath(QStringLiteral("file%1.ini").arg(++m_copies));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return path;
}

SettingsStore TestSettings::unreadableStore() const
{
    // A directory where the file should be: QSettings reports AccessError.
    const QString path = m_dir->filePath(QStringLiteral("directory.ini"));
    QDir().mkpath(path);
    return SettingsStore(path);
}

void TestSettings::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestSettings::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_copies = 0;
}

void TestSettings::cleanup()
{
    m_dir.reset();
}

void TestSettings::userStoreLocation()
{
#if defined(Q_OS_WIN) || defined(Q_OS_DARWIN)
    QSKIP("The native store is the registry or a property list here");
#else
    const QString configDir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QCOMPARE(SettingsStore().location(), configDir + QStringLiteral("/Perix Chat.conf"));
#endif
}

void TestSettings::boolDefaults_data()
{
    QTest::addColumn<BoolSetting>("setting");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("defaultValue");
    QTest::addColumn<bool>("onReadError");

    auto row = [](const char *tag, BoolSetting setting, const char *section, const char *name, bool def,
                  bool onError) {
        QTest::newRow(tag) << setting << QString::fromLatin1(section) << QString::fromLatin1(name) << def
                           << onError;
    };
    row("StayOnTop", Setting::StayOnTop, "StayOnTop", "Value", false, true);
    row("StayOnTopUserList", Setting::StayOnTopUserList, "StayOnTopUserList", "Value", true, true);
    row("ShowUserList", Setting::ShowUserList, "ShowUserList", "Value", true, true);
    row("HideInTrey", Setting::HideInTrey, "HideInTrey", "Value", false, true);
    row("ShowHint", Setting::ShowHint, "ShowHint", "Value", true, true);
    row("ShowUserIP", Setting::ShowUserIPWhenMessage, "ShowMessageType", "actShowUserIPWhenMessage", false,
        false);
    row("ShowDataTime", Setting::ShowDataTimeWhenMessage, "ShowMessageType", "actShowDataTimewhenMessage",
        true, true);
    row("ShowPicture", Setting::ShowPictureWhenMessage, "ShowMessageType", "actShowPictureWhenMessage", true,
        true);
    row("BtnBigIcon", Setting::BtnBigIcon, "ButtonsOptions", "actBtnBigIcon", true, true);
    row("BtnLitleIcon", Setting::BtnLitleIcon, "ButtonsOptions", "actBtnLitleIcon", false, false);
    row("ShowText", Setting::ShowText, "ButtonsOptions", "actShowText", false, false);
    row("SoundPerixChat", Setting::SoundPerixChat, "PlaySound", "actSoundPerixChat", false, false);
    row("SoundUserConnect", Setting::SoundUserConnect, "PlaySound", "actSoundUserConnect", true, true);
    row("SoundNewMessage", Setting::SoundNewMessage, "PlaySound", "actSoundNewMessage", true, true);
    row("SoundUserDisconnect", Setting::SoundUserDisconnect, "PlaySound", "actSoundUserDisconnect", true,
        true);
    row("StopGifAnimation", Setting::StopGifAnimation, "StopGifAnimation", "value", false, false);
    row("ShowGifAnimation", Setting::ShowGifAnimation, "ShowGifAnimation", "value", false, false);
    row("SaveHistory", Setting::StorySaveHistory, "fmStory", "SaveHistory", true, true);
    row("PeriodStorage", Setting::StoryPeriodStorage, "fmStory", "PeriodStorage", false, false);
    row("SaveAsRTF", Setting::StorySaveAsRTF, "fmStory", "SaveAsRTF", false, true);
    row("SaveAsTXT", Setting::StorySaveAsTXT, "fmStory", "SaveAsTXT", true, false);
    row("CloseTalkGroupValue", Setting::CloseTalkGroupValue, "CloseTalkGroupValue", "value", false, false);
    row("NotShow", Setting::CloseTalkPrivateNotShow, "CloseTalkGroupPrivateValue", "NotShow", false, false);
    row("CloseAll", Setting::CloseTalkPrivateCloseAll, "CloseTalkGroupPrivateValue", "CloseAll", true, true);
    row("LeaveAll", Setting::CloseTalkPrivateLeaveAll, "CloseTalkGroupPrivateValue", "LeaveAll", false,
        false);
}

void TestSettings::boolDefaults()
{
    QFETCH(BoolSetting, setting);
    QFETCH(QString, section);
    QFETCH(QString, name);
    QFETCH(bool, defaultValue);
    QFETCH(bool, onReadError);

    QCOMPARE(QString::fromLatin1(setting.section), section);
    QCOMPARE(QString::fromLatin1(setting.name), name);
    QCOMPARE(setting.defaultValue, defaultValue);
    QCOMPARE(setting.onReadError, onReadError);

    QCOMPARE(readSetting(store(), setting), defaultValue);
    QVERIFY(!store().contains(section, name));
    // Reading alone leaves the store as it was.
    QVERIFY(store().sections().isEmpty());
}

void TestSettings::boolReadError_data()
{
    boolDefaults_data();
}

void TestSettings::boolReadError()
{
    QFETCH(BoolSetting, setting);
    QFETCH(bool, onReadError);
    QCOMPARE(readSetting(unreadableStore(), setting), onReadError);
}

void TestSettings::boolStoredLayout_data()
{
    boolDefaults_data();
}

void TestSettings::boolStoredLayout()
{
    QFETCH(BoolSetting, setting);
    QFETCH(QString, section);
    QFETCH(QString, name);
    QFETCH(bool, defaultValue);

    QVERIFY(writeSetting(store(), setting, !defaultValue));
    QCOMPARE(readSetting(storeFromDisk(), setting), !defaultValue);

    const auto plain = plainFromDisk();
    QCOMPARE(plain->childGroups(), QStringList{section});
    plain->beginGroup(section);
    QCOMPARE(plain->childKeys(), QStringList{name});
    const QVariant stored = plain->value(name);
    QCOMPARE(stored.typeId(), QMetaType::QString);
    QCOMPARE(stored.toString(), !defaultValue ? QStringLiteral("1") : QStringLiteral("0"));
    plain->endGroup();

    QVERIFY(writeSetting(store(), setting, defaultValue));
    QCOMPARE(plainFromDisk()->value(section + u'/' + name).toString(),
             defaultValue ? QStringLiteral("1") : QStringLiteral("0"));
}

void TestSettings::firstStartValues()
{
    const SettingsStore empty = store();
    const QSize desktop(1920, 1080);
    const QSize workArea(1920, 1040);

    const QRect main =
        MainWindowPlacement(readPlacement(empty, Setting::MainWindowSection), desktop, workArea);
    QCOMPARE(main, QRect(730, 370, 460, 300));
    QCOMPARE(UserListPlacement(readPlacement(empty, Setting::UserListSection), desktop, main),
             QRect(1190, 370, 180, 300));

    QCOMPARE(readSetting(empty, Setting::ShowUserList), true);
    QCOMPARE(readSetting(empty, Setting::StayOnTopUserList), true);
    QCOMPARE(readSetting(empty, Setting::StayOnTop), false);
    QCOMPARE(readSetting(empty, Setting::SoundPerixChat), false);
    QCOMPARE(readSetting(empty, Setting::SoundUserConnect), true);
    QCOMPARE(readSetting(empty, Setting::SoundNewMessage), true);
    QCOMPARE(readSetting(empty, Setting::SoundUserDisconnect), true);
    QCOMPARE(readSetting(empty, Setting::BtnBigIcon), true);
    QCOMPARE(readSetting(empty, Setting::ShowDataTimeWhenMessage), true);
    QCOMPARE(readSetting(empty, Setting::ShowPictureWhenMessage), true);
    QCOMPARE(readSetting(empty, Setting::ShowUserIPWhenMessage), false);
    QCOMPARE(readSetting(empty, Setting::StorySaveAsTXT), true);
    QCOMPARE(readSetting(empty, Setting::StorySaveAsRTF), false);
    QCOMPARE(readSetting(empty, Setting::StoryPeriodStorage), false);
    QCOMPARE(readSetting(empty, Setting::StoryDays), 10);
    QCOMPARE(readSetting(empty, Setting::LNGName), QString());
    QCOMPARE(readHeightNewMessagePanel(empty, 443), 80);
    QVERIFY(readToolbarLayout(empty).isEmpty());
    QVERIFY(!QFile::exists(iniPath()));
}

void TestSettings::readErrorConditions_data()
{
    QTest::addColumn<QByteArray>("flaw");
    QTest::newRow("line without '='") << QByteArray("broken line\n");
    QTest::newRow("unclosed section header") << QByteArray("[Broken\n");
}

void TestSettings::readErrorConditions()
{
    QFETCH(QByteArray, flaw);
    // QSettings reports a format error only to the first access after the file was written, so every
    // check reads a file of its own. Each file holds a value that differs from the read-error value.
    const auto broken = [&](const QByteArray &content) {
        return SettingsStore(writeNewFile(content + flaw));
    };

    {
        QSettings plain(writeNewFile("[StayOnTop]\nValue=0\n" + flaw), QSettings::IniFormat);
        plain.childGroups();
        QCOMPARE(plain.status(), QSettings::FormatError);
    }
    // Without the flaw the same content reads as stored.
    QCOMPARE(readSetting(SettingsStore(writeNewFile("[StayOnTop]\nValue=0\n")), Setting::StayOnTop), false);

    QCOMPARE(readSetting(broken("[StayOnTop]\nValue=0\n"), Setting::StayOnTop), true);
    QCOMPARE(readSetting(broken("[ButtonsOptions]\nactBtnBigIcon=0\n"), Setting::BtnBigIcon), true);
    QCOMPARE(readSetting(broken("[fmStory]\nDays=30\n"), Setting::StoryDays), 10);
    QCOMPARE(broken("[fmStory]\nDays=30\n").readInt(QStringLiteral("fmStory"), QStringLiteral("Days"), 1, -7),
             -7);
    QCOMPARE(readSetting(broken("[LNGName]\nValue=/lng/de.lng\n"), Setting::LNGName), QString());
    QVERIFY(!broken("[StayOnTop]\nValue=0\n").contains(QStringLiteral("StayOnTop"), QStringLiteral("Value")));
    QVERIFY(broken("[StayOnTop]\nValue=0\n").sections().isEmpty());
    QVERIFY(readToolbarLayout(broken("[TBPAP]\nState=@ByteArray(abc)\n")).isEmpty());

    const StoredPlacement stored = readPlacement(
        broken("[TPerixChatForm]\nLeft=1\nTop=2\nWidth=3\nHeight=4\n"), Setting::MainWindowSection);
    QCOMPARE(QList<qint32>({stored.left, stored.top, stored.width, stored.height}),
             QList<qint32>({-1, -1, -1, -1}));

    QCOMPARE(TMyUserData(broken("[MYPROFILEUSER_]\nALIAS_=Anna\n")).GetAlias(), QString());
    QCOMPARE(TMyUserData(broken("[MYPROFILEUSER_]\nIMAGEINDEX_=12\n")).GetImageIndex(), -1);
    QCOMPARE(TMyUserData(broken("[MYPROFILEUSER_]\nCOLOR_=5\n")).GetColor(), 0);
}

void TestSettings::missingFileReadsDefaults()
{
    // Neither a missing file nor a missing folder is a read error: they read as defaults.
    QCOMPARE(readSetting(store(), Setting::StayOnTop), false);
    const SettingsStore deep(m_dir->filePath(QStringLiteral("missing/folder/settings.ini")));
    QCOMPARE(readSetting(deep, Setting::StayOnTop), false);
    QCOMPARE(readSetting(deep, Setting::StoryDays), 10);

    // The condition the read-error tests rely on.
    QSettings plain(unreadableStore().location(), QSettings::IniFormat);
    QCOMPARE(plain.status(), QSettings::AccessError);
    QCOMPARE(readSetting(unreadableStore(), Setting::StayOnTop), true);
}

void TestSettings::writeToUnreadableStoreFails()
{
    const SettingsStore unreadable = unreadableStore();
    QVERIFY(!writeSetting(unreadable, Setting::StayOnTop, true));
    QVERIFY(!unreadable.writeString(QStringLiteral("LNGName"), QStringLiteral("Value"), QStringLiteral("x")));
    QVERIFY(!unreadable.removeSection(QStringLiteral("LNGName")));
    QVERIFY(!writePlacement(unreadable, Setting::MainWindowSection, QRect(1, 2, 3, 4)));
}

void TestSettings::writesReadBackAtOnce()
{
    // Values of one size, one after the other, each read back at once: readers in the process keep
    // the parsed file while its size and time stay the same.
    const SettingsStore settings = store();
    for (int days = 10; days < 60; ++days) {
        QVERIFY(writeSetting(settings, Setting::StoryDays, days));
        QCOMPARE(readSetting(settings, Setting::StoryDays), days);
    }
    QCOMPARE(readSetting(storeFromDisk(), Setting::StoryDays), 59);
    // Nothing but the file is left in its folder.
    const QStringList left = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    QCOMPARE(left, (QStringList{"copy1.ini", "settings.ini"}));
}

void TestSettings::wholeIniText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("keys");
    QTest::addColumn<bool>("whole");
    const QByteArray file = "[General]\nHeightNewMessagePanel=80\n\n[fmStory]\nDays=10\nSaveAsRTF=0\n";
    QTest::newRow("whole") << file << 3 << true;
    QTest::newRow("windows line ends") << QByteArray(file).replace("\n", "\r\n") << 3 << true;
    QTest::newRow("empty store") << QByteArray() << 0 << true;
    QTest::newRow("nothing written") << QByteArray() << 3 << false;
    QTest::newRow("cut inside the last line") << file.left(file.size() - 3) << 3 << false;
    QTest::newRow("last line missing") << file.left(file.indexOf("SaveAsRTF")) << 3 << false;
    QTest::newRow("cut after a header") << file.left(file.indexOf("Days")) << 3 << false;
    QTest::newRow("escaped bracket in a key") << QByteArray("[a]\n%5Bb=1\n") << 1 << true;
}

void TestSettings::wholeIniText()
{
    QFETCH(QByteArray, text);
    QFETCH(int, keys);
    QFETCH(bool, whole);
    QCOMPARE(IniFileTransaction::IsWholeIniText(text, keys), whole);
}

void TestSettings::integerText_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<qint32>("expected");
    // Default 55 marks "not a number".
    QTest::newRow("number") << QByteArray("123") << 123;
    QTest::newRow("negative") << QByteArray("-42") << -42;
    QTest::newRow("plus sign") << QByteArray("+7") << 7;
    QTest::newRow("leading blanks") << QByteArray("   9") << 9;
    QTest::newRow("trailing text") << QByteArray("9px") << 55;
    QTest::newRow("word") << QByteArray("abc") << 55;
    QTest::newRow("blank") << QByteArray("") << 55;
    QTest::newRow("hexadecimal") << QByteArray("0x10") << 55;
    QTest::newRow("largest") << QByteArray("2147483647") << 2147483647;
    QTest::newRow("too large") << QByteArray("2147483648") << 55;
}

void TestSettings::integerText()
{
    QFETCH(QByteArray, stored);
    QFETCH(qint32, expected);
    writeIniText("[S]\nN=" + stored + "\n");
    QCOMPARE(store().readInt(QStringLiteral("S"), QStringLiteral("N"), 55, -1), expected);
}

void TestSettings::booleanText_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("defaultValue");
    QTest::addColumn<bool>("expected");
    QTest::newRow("1") << QByteArray("1") << false << true;
    QTest::newRow("0") << QByteArray("0") << true << false;
    QTest::newRow("2") << QByteArray("2") << false << true;
    QTest::newRow("-1") << QByteArray("-1") << false << true;
    QTest::newRow("true, default false") << QByteArray("true") << false << false;
    QTest::newRow("false, default true") << QByteArray("false") << true << true;
    QTest::newRow("blank") << QByteArray("") << true << true;
}

void TestSettings::booleanText()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, defaultValue);
    QFETCH(bool, expected);
    writeIniText("[S]\nB=" + stored + "\n");
    QCOMPARE(store().readBool(QStringLiteral("S"), QStringLiteral("B"), defaultValue, !expected), expected);
}

void TestSettings::integerWrittenAsNumber()
{
    QVERIFY(store().writeInt(QStringLiteral("S"), QStringLiteral("N"), -1234));
    QVERIFY(iniText().contains(QStringLiteral("[S]\nN=-1234\n")));
    QCOMPARE(storeFromDisk().readInt(QStringLiteral("S"), QStringLiteral("N"), 0, 0), -1234);
    // An existing text value is overwritten with decimal text.
    QVERIFY(store().writeString(QStringLiteral("S"), QStringLiteral("T"), QStringLiteral("old")));
    QVERIFY(store().writeInt(QStringLiteral("S"), QStringLiteral("T"), 77));
    QCOMPARE(storeFromDisk().readString(QStringLiteral("S"), QStringLiteral("T")), QStringLiteral("77"));
}

void TestSettings::storyDays_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<qint32>("expected");
    QTest::newRow("0") << QByteArray("0") << 10;
    QTest::newRow("1000") << QByteArray("1000") << 10;
    QTest::newRow("999") << QByteArray("999") << 999;
    QTest::newRow("1") << QByteArray("1") << 1;
    QTest::newRow("negative") << QByteArray("-3") << 10;
    QTest::newRow("not a number") << QByteArray("week") << 10;
    QTest::newRow("30") << QByteArray("30") << 30;
}

void TestSettings::storyDays()
{
    QFETCH(QByteArray, stored);
    QFETCH(qint32, expected);
    writeIniText("[fmStory]\nDays=" + stored + "\n");
    QCOMPARE(readSetting(store(), Setting::StoryDays), expected);
}

void TestSettings::languageFile()
{
    const QString path = QStringLiteral("/opt/Perix Chat/Lng/Deutsch, neu.lng");
    QVERIFY(writeSetting(store(), Setting::LNGName, path));
    QCOMPARE(plainFromDisk()->value(QStringLiteral("LNGName/Value")).toString(), path);
    QCOMPARE(readSetting(storeFromDisk(), Setting::LNGName), path);
    QCOMPARE(readSetting(unreadableStore(), Setting::LNGName), QString());
}

void TestSettings::heightNewMessagePanel_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<qint32>("frameWidth");
    QTest::addColumn<qint32>("expected");
    QTest::newRow("missing") << QByteArray() << 443 << 80;
    QTest::newRow("20") << QByteArray("20") << 443 << 80;
    QTest::newRow("79") << QByteArray("79") << 443 << 80;
    QTest::newRow("80") << QByteArray("80") << 443 << 80;
    QTest::newRow("200") << QByteArray("200") << 443 << 200;
    QTest::newRow("343 at 443") << QByteArray("343") << 443 << 343;
    QTest::newRow("344 at 443") << QByteArray("344") << 443 << 343;
    QTest::newRow("500 at 443") << QByteArray("500") << 443 << 343;
    QTest::newRow("narrow frame") << QByteArray("120") << 150 << 50;
    QTest::newRow("not a number") << QByteArray("tall") << 443 << 80;
}

void TestSettings::heightNewMessagePanel()
{
    QFETCH(QByteArray, stored);
    QFETCH(qint32, frameWidth);
    QFETCH(qint32, expected);
    if (!stored.isNull())
        writeIniText("[General]\nHeightNewMessagePanel=" + stored + "\n");
    QCOMPARE(readHeightNewMessagePanel(store(), frameWidth), expected);
}

void TestSettings::heightNewMessagePanelLayout()
{
    QVERIFY(writeHeightNewMessagePanel(store(), 120));
    // A base-level value: QSettings keeps those under [General].
    QVERIFY(iniText().contains(QStringLiteral("[General]\nHeightNewMessagePanel=120\n")));
    const auto plain = plainFromDisk();
    QCOMPARE(plain->childKeys(), QStringList{QStringLiteral("HeightNewMessagePanel")});
    QVERIFY(plain->childGroups().isEmpty());
    QVERIFY(store().sections().isEmpty());
    QCOMPARE(readHeightNewMessagePanel(storeFromDisk(), 443), 120);
    QCOMPARE(readHeightNewMessagePanel(unreadableStore(), 443), 80);
}

void TestSettings::resetDialogAnswers()
{
    QVERIFY(writeSetting(store(), Setting::CloseTalkGroupValue, true));
    QVERIFY(writeSetting(store(), Setting::CloseTalkPrivateNotShow, true));
    QVERIFY(writeSetting(store(), Setting::CloseTalkPrivateCloseAll, false));
    QVERIFY(writeSetting(store(), Setting::CloseTalkPrivateLeaveAll, true));

    ResetDialogAnswers(store());

    const auto plain = plainFromDisk();
    QCOMPARE(plain->value(QStringLiteral("CloseTalkGroupValue/value")).toString(), QStringLiteral("0"));
    QCOMPARE(plain->value(QStringLiteral("CloseTalkGroupPrivateValue/NotShow")).toString(),
             QStringLiteral("0"));
    QCOMPARE(plain->value(QStringLiteral("CloseTalkGroupPrivateValue/CloseAll")).toString(),
             QStringLiteral("1"));
    QCOMPARE(plain->value(QStringLiteral("CloseTalkGroupPrivateValue/LeaveAll")).toString(),
             QStringLiteral("0"));
    QCOMPARE(plain->childGroups(), QStringList({QStringLiteral("CloseTalkGroupPrivateValue"),
                                                QStringLiteral("CloseTalkGroupValue")}));
}

void TestSettings::mainWindowPlacement_data()
{
    QTest::addColumn<StoredPlacement>("stored");
    QTest::addColumn<QSize>("desktop");
    QTest::addColumn<QSize>("workArea");
    QTest::addColumn<QRect>("expected");

    const QSize desktop(1600, 900);
    const QSize work(1600, 860);
    const QRect centred(570, 280, 460, 300);
    QTest::newRow("nothing stored") << StoredPlacement{} << desktop << work << centred;
    QTest::newRow("valid") << placement(100, 50, 500, 400) << desktop << work << QRect(100, 50, 500, 400);
    QTest::newRow("at the origin") << placement(0, 0, 460, 300) << desktop << work << QRect(0, 0, 460, 300);
    QTest::newRow("right edge exactly")
        << placement(1140, 10, 460, 300) << desktop << work << QRect(1140, 10, 460, 300);
    QTest::newRow("left 1500 width 460") << placement(1500, 10, 460, 300) << desktop << work << centred;
    QTest::newRow("one pixel too far right") << placement(1141, 10, 460, 300) << desktop << work << centred;
    QTest::newRow("bottom edge exactly")
        << placement(10, 600, 460, 300) << desktop << work << QRect(10, 600, 460, 300);
    QTest::newRow("one pixel too low") << placement(10, 601, 460, 300) << desktop << work << centred;
    QTest::newRow("negative left") << placement(-10, 10, 460, 300) << desktop << work << centred;
    QTest::newRow("negative top") << placement(10, -2, 460, 300) << desktop << work << centred;
    QTest::newRow("width unset") << placement(10, 10, -1, 300) << desktop << work << centred;
    QTest::newRow("height unset") << placement(10, 10, 460, -1) << desktop << work << centred;
    QTest::newRow("wider virtual desktop")
        << placement(2000, 10, 460, 300) << QSize(3200, 900) << work << QRect(2000, 10, 460, 300);
    QTest::newRow("odd work area rounds half up")
        << StoredPlacement{} << desktop << QSize(1365, 767) << QRect(453, 234, 460, 300);
}

void TestSettings::mainWindowPlacement()
{
    QFETCH(StoredPlacement, stored);
    QFETCH(QSize, desktop);
    QFETCH(QSize, workArea);
    QFETCH(QRect, expected);
    QCOMPARE(MainWindowPlacement(stored, desktop, workArea), expected);
}

void TestSettings::userListPlacement_data()
{
    QTest::addColumn<StoredPlacement>("stored");
    QTest::addColumn<QRect>("mainWindow");
    QTest::addColumn<QRect>("expected");

    const QRect main(570, 280, 460, 300);
    QTest::newRow("nothing stored") << StoredPlacement{} << main << QRect(1030, 280, 180, 300);
    QTest::newRow("valid") << placement(1300, 0, 200, 700) << main << QRect(1300, 0, 200, 700);
    QTest::newRow("too far right") << placement(1500, 0, 200, 700) << main << QRect(1030, 280, 180, 300);
    QTest::newRow("too tall") << placement(1300, 0, 200, 901) << main << QRect(1030, 280, 180, 300);
    QTest::newRow("negative left, other main")
        << placement(-1, 0, 200, 700) << QRect(10, 20, 640, 480) << QRect(650, 20, 180, 480);
}

void TestSettings::userListPlacement()
{
    QFETCH(StoredPlacement, stored);
    QFETCH(QRect, mainWindow);
    QFETCH(QRect, expected);
    QCOMPARE(UserListPlacement(stored, QSize(1600, 900), mainWindow), expected);
}

void TestSettings::placementStorage()
{
    QVERIFY(writePlacement(store(), Setting::MainWindowSection, QRect(12, 34, 560, 780)));
    QVERIFY(writePlacement(store(), Setting::UserListSection, QRect(572, 34, 180, 780)));

    const auto plain = plainFromDisk();
    QCOMPARE(plain->childGroups(),
             QStringList({QStringLiteral("TPerixChatForm"), QStringLiteral("TfmUserList")}));
    plain->beginGroup(QStringLiteral("TPerixChatForm"));
    QCOMPARE(plain->value(QStringLiteral("Left")).toString(), QStringLiteral("12"));
    QCOMPARE(plain->value(QStringLiteral("Top")).toString(), QStringLiteral("34"));
    QCOMPARE(plain->value(QStringLiteral("Width")).toString(), QStringLiteral("560"));
    QCOMPARE(plain->value(QStringLiteral("Height")).toString(), QStringLiteral("780"));
    QCOMPARE(plain->childKeys().size(), 4);
    plain->endGroup();

    const StoredPlacement list = readPlacement(storeFromDisk(), Setting::UserListSection);
    QCOMPARE(QList<qint32>({list.left, list.top, list.width, list.height}),
             QList<qint32>({572, 34, 180, 780}));
}

void TestSettings::placementReadError()
{
    const StoredPlacement stored = readPlacement(unreadableStore(), Setting::MainWindowSection);
    QCOMPARE(QList<qint32>({stored.left, stored.top, stored.width, stored.height}),
             QList<qint32>({-1, -1, -1, -1}));

    writeIniText("[TPerixChatForm]\nLeft=5\nTop=6\n");
    const StoredPlacement partial = readPlacement(store(), Setting::MainWindowSection);
    QCOMPARE(QList<qint32>({partial.left, partial.top, partial.width, partial.height}),
             QList<qint32>({5, 6, -1, -1}));
    QCOMPARE(MainWindowPlacement(partial, QSize(1600, 900), QSize(1600, 860)), QRect(570, 280, 460, 300));
}

void TestSettings::toolbarLayout()
{
    QVERIFY(readToolbarLayout(store()).isEmpty());
    const QByteArray layout("\x00\x01\xff toolbars\n\r", 14);
    QVERIFY(writeToolbarLayout(store(), layout));
    QCOMPARE(readToolbarLayout(storeFromDisk()), layout);
    QCOMPARE(store().sections(), QStringList{QStringLiteral("TBPAP")});
    QVERIFY(readToolbarLayout(unreadableStore()).isEmpty());

    // Text where the blob belongs is not a layout.
    writeIniText("[TBPAP]\nState=hello\n");
    QVERIFY(readToolbarLayout(store()).isEmpty());
}

void TestSettings::sectionNamesRoundTrip_data()
{
    QTest::addColumn<QString>("section");
    QTest::newRow("group box") << QStringLiteral("3_GROUPBOX!>!");
    QTest::newRow("user group") << QStringLiteral("{0F8FAD5B-D9CB-469F-A165-70867728950E}UserGroup_");
    QTest::newRow("General") << QStringLiteral("General");
    QTest::newRow("blanks and INI syntax") << QStringLiteral(" a = b ; c [d] #e %41 ");
    QTest::newRow("non-ASCII") << QStringLiteral("Gruppe \u00c4\u20ac\u4e2d");
    QTest::newRow("percent escape lookalike") << QStringLiteral("%U0041%7B");
}

void TestSettings::sectionNamesRoundTrip()
{
    QFETCH(QString, section);
    const QString other = QStringLiteral("MainGoupID");
    QVERIFY(store().writeInt(section, QStringLiteral("GroupNomber"), 3));
    QVERIFY(store().writeString(other, QStringLiteral("GroupID"), QStringLiteral("{G}")));

    const SettingsStore reread = storeFromDisk();
    QStringList sections = reread.sections();
    sections.sort();
    QStringList expected{section, other};
    expected.sort();
    QCOMPARE(sections, expected);
    QVERIFY(reread.hasSection(section));
    QCOMPARE(reread.readInt(section, QStringLiteral("GroupNomber"), 0, 0), 3);

    QVERIFY(store().removeSection(section));
    QVERIFY(!store().hasSection(section));
    QCOMPARE(storeFromDisk().sections(), QStringList{other});
    QCOMPARE(storeFromDisk().readString(other, QStringLiteral("GroupID")), QStringLiteral("{G}"));
}

void TestSettings::baseValuesAreNotSections()
{
    QVERIFY(store().writeInt(QString(), QStringLiteral("HeightNewMessagePanel"), 90));
    QVERIFY(store().writeInt(QStringLiteral("General"), QStringLiteral("HeightNewMessagePanel"), 91));
    const SettingsStore reread = storeFromDisk();
    QCOMPARE(reread.sections(), QStringList{QStringLiteral("General")});
    QCOMPARE(reread.readInt(QString(), QStringLiteral("HeightNewMessagePanel"), 0, 0), 90);
    QCOMPARE(reread.readInt(QStringLiteral("General"), QStringLiteral("HeightNewMessagePanel"), 0, 0), 91);

    QVERIFY(store().removeSection(QStringLiteral("General")));
    QVERIFY(storeFromDisk().sections().isEmpty());
    QCOMPARE(storeFromDisk().readInt(QString(), QStringLiteral("HeightNewMessagePanel"), 0, 0), 90);
}

void TestSettings::removeSectionKeepsBaseValue()
{
    QVERIFY(store().writeString(QString(), QStringLiteral("TBPAP"), QStringLiteral("base")));
    QVERIFY(writeToolbarLayout(store(), QByteArray("layout")));
    QVERIFY(store().hasSection(QStringLiteral("TBPAP")));

    QVERIFY(store().removeSection(QStringLiteral("TBPAP")));
    const SettingsStore reread = storeFromDisk();
    QVERIFY(!reread.hasSection(QStringLiteral("TBPAP")));
    QVERIFY(readToolbarLayout(reread).isEmpty());
    QCOMPARE(reread.readString(QString(), QStringLiteral("TBPAP")), QStringLiteral("base"));
}

void TestSettings::sectionTextsAndSingleRemoval()
{
    writeIniText("[Pins]\n%7BA%7D=one\nB=two\nC=@ByteArray(bin)\n[Other]\nD=three\n");
    const auto texts = store().readSectionTexts(QStringLiteral("Pins"), 10);
    QVERIFY(texts);
    QCOMPARE(*texts, (QHash<QString, QString>{{QStringLiteral("{A}"), QStringLiteral("one")},
                                              {QStringLiteral("B"), QStringLiteral("two")}}));
    QCOMPARE(store().readSectionTexts(QStringLiteral("Pins"), 1)->size(), qsizetype(1));
    QVERIFY(store().readSectionTexts(QStringLiteral("None"), 10)->isEmpty());
    QVERIFY(!unreadableStore().readSectionTexts(QStringLiteral("Pins"), 10));

    QVERIFY(store().removeValue(QStringLiteral("Pins"), QStringLiteral("{A}")));
    QVERIFY(store().removeValue(QStringLiteral("Pins"), QStringLiteral("never there")));
    const SettingsStore reread = storeFromDisk();
    QVERIFY(!reread.contains(QStringLiteral("Pins"), QStringLiteral("{A}")));
    QCOMPARE(reread.readString(QStringLiteral("Pins"), QStringLiteral("B")), QStringLiteral("two"));
    QCOMPARE(reread.readString(QStringLiteral("Other"), QStringLiteral("D")), QStringLiteral("three"));
    QVERIFY(!unreadableStore().removeValue(QStringLiteral("Pins"), QStringLiteral("B")));
}

void TestSettings::invalidNamesAreRefused()
{
    QVERIFY(store().writeBool(QStringLiteral("Keep"), QStringLiteral("Value"), true));
    QVERIFY(!store().writeBool(QStringLiteral("a/b"), QStringLiteral("Value"), true));
    QVERIFY(!store().writeBool(QStringLiteral("a\\b"), QStringLiteral("Value"), true));
    QVERIFY(!store().writeBool(QStringLiteral("S"), QStringLiteral("x/y"), true));
    QVERIFY(!store().writeBool(QStringLiteral("S"), QString(), true));
    QVERIFY(!store().removeSection(QString()));
    QVERIFY(!store().removeSection(QStringLiteral("Keep/..")));
    QCOMPARE(storeFromDisk().sections(), QStringList{QStringLiteral("Keep")});
    QCOMPARE(store().readBool(QStringLiteral("Keep"), QStringLiteral("Value"), false, false), true);
}

void TestSettings::emptyProfile()
{
    const TMyUserData profile(store());
    QCOMPARE(profile.GetAlias(), QString());
    QCOMPARE(profile.GetName(), QString());
    QCOMPARE(profile.GetStreet(), QString());
    QCOMPARE(profile.GetWTypeWork(), QString());
    QCOMPARE(profile.GetInterest(), QString());
    QCOMPARE(profile.GetMAC(), QString());
    QCOMPARE(profile.GetColor(), 0);
    QCOMPARE(profile.GetSex(), 0);
    QCOMPARE(profile.GetOld(), 0);
    QCOMPARE(profile.GetImageIndex(), -1);

    const RUserID entry = profile.ReadLocalEntry();
    QCOMPARE(entry.Alias, QString());
    QCOMPARE(entry.FirstName, QString());
    QCOMPARE(entry.WorkPost, QString());
    QCOMPARE(entry.PictureIndex, -1);
    QCOMPARE(entry.Color, 0);
    QCOMPARE(entry.Sex, quint8(0));
    QCOMPARE(entry.Age, quint8(0));
    QCOMPARE(entry.GroupNumber, -1);
    QCOMPARE(entry.Blocked, quint8(0));
    QCOMPARE(entry.IP, QString());
    QCOMPARE(entry.MAC, QString());
    QVERIFY(RegistryGuid.match(entry.ID).hasMatch());
}

void TestSettings::idCreatedOnce()
{
    const QString id = TMyUserData(store()).GetID();
    QCOMPARE(id.size(), 38);
    QVERIFY2(RegistryGuid.match(id).hasMatch(), qPrintable(id));
    QCOMPARE(plainFromDisk()->value(QStringLiteral("MYPROFILEUSER_/ID_")).toString(), id);

    QCOMPARE(TMyUserData(storeFromDisk()).GetID(), id);
    QCOMPARE(TMyUserData(store()).ReadLocalEntry().ID, id);
    QCOMPARE(storeFromDisk().readString(QStringLiteral("MYPROFILEUSER_"), QStringLiteral("ID_")), id);
}

void TestSettings::blankIdReplaced_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("missing") << QByteArray("[MYPROFILEUSER_]\nALIAS_=Anna\n");
    QTest::newRow("empty") << QByteArray("[MYPROFILEUSER_]\nID_=\n");
    QTest::newRow("blanks") << QByteArray("[MYPROFILEUSER_]\nID_=\"   \"\n");
}

void TestSettings::blankIdReplaced()
{
    QFETCH(QByteArray, content);
    writeIniText(content);
    const QString id = TMyUserData(store()).GetID();
    QVERIFY2(RegistryGuid.match(id).hasMatch(), qPrintable(id));
    QCOMPARE(storeFromDisk().readString(QStringLiteral("MYPROFILEUSER_"), QStringLiteral("ID_")), id);
    QCOMPARE(TMyUserData(storeFromDisk()).GetID(), id);
}

void TestSettings::storedIdKeptAsIs()
{
    writeIniText("[MYPROFILEUSER_]\nID_=\" {not-a-guid} \"\n");
    QCOMPARE(TMyUserData(store()).GetID(), QStringLiteral(" {not-a-guid} "));
    QCOMPARE(TMyUserData(store()).GetID(), QStringLiteral(" {not-a-guid} "));
}

void TestSettings::profileNumbers_data()
{
    QTest::addColumn<ProfileNumberGetter>("getter");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<qint32>("expected");

    QTest::newRow("colour") << &TMyUserData::GetColor << QByteArray("COLOR_=255") << 255;
    QTest::newRow("system colour") << &TMyUserData::GetColor << QByteArray("COLOR_=-16777201") << -16777201;
    QTest::newRow("colour blank") << &TMyUserData::GetColor << QByteArray("COLOR_=") << 0;
    QTest::newRow("colour text") << &TMyUserData::GetColor << QByteArray("COLOR_=red") << 0;
    QTest::newRow("sex") << &TMyUserData::GetSex << QByteArray("SEX_=2") << 2;
    QTest::newRow("sex text") << &TMyUserData::GetSex << QByteArray("SEX_=Men") << 0;
    QTest::newRow("age") << &TMyUserData::GetOld << QByteArray("OLD_= 31") << 31;
    QTest::newRow("age 300") << &TMyUserData::GetOld << QByteArray("OLD_=300") << 300;
    QTest::newRow("age text") << &TMyUserData::GetOld << QByteArray("OLD_=thirty") << 0;
    QTest::newRow("picture") << &TMyUserData::GetImageIndex << QByteArray("IMAGEINDEX_=17") << 17;
    QTest::newRow("picture none") << &TMyUserData::GetImageIndex << QByteArray("IMAGEINDEX_=-1") << -1;
    QTest::newRow("picture 0") << &TMyUserData::GetImageIndex << QByteArray("IMAGEINDEX_=0") << 0;
    QTest::newRow("picture missing") << &TMyUserData::GetImageIndex << QByteArray("ALIAS_=x") << -1;
    QTest::newRow("picture blank") << &TMyUserData::GetImageIndex << QByteArray("IMAGEINDEX_=") << -1;
    QTest::newRow("picture text") << &TMyUserData::GetImageIndex << QByteArray("IMAGEINDEX_=cat") << -1;
}

void TestSettings::profileNumbers()
{
    QFETCH(ProfileNumberGetter, getter);
    QFETCH(QByteArray, line);
    QFETCH(qint32, expected);
    writeIniText("[MYPROFILEUSER_]\n" + line + "\n");
    const TMyUserData profile(store());
    QCOMPARE((profile.*getter)(), expected);
}

void TestSettings::profileBytes_data()
{
    QTest::addColumn<QByteArray>("sex");
    QTest::addColumn<QByteArray>("age");
    QTest::addColumn<quint8>("sexByte");
    QTest::addColumn<quint8>("ageByte");
    QTest::newRow("plain") << QByteArray("1") << QByteArray("42") << quint8(1) << quint8(42);
    QTest::newRow("over a byte") << QByteArray("258") << QByteArray("300") << quint8(2) << quint8(44);
    // The reader keeps the low bits as they are; only the writer takes the absolute age.
    QTest::newRow("negative") << QByteArray("-1") << QByteArray("-5") << quint8(255) << quint8(251);
    QTest::newRow("text") << QByteArray("x") << QByteArray("y") << quint8(0) << quint8(0);
}

void TestSettings::profileBytes()
{
    QFETCH(QByteArray, sex);
    QFETCH(QByteArray, age);
    QFETCH(quint8, sexByte);
    QFETCH(quint8, ageByte);
    writeIniText("[MYPROFILEUSER_]\nSEX_=" + sex + "\nOLD_=" + age + "\n");
    const TMyUserData profile(store());
    QCOMPARE(profile.GetSexByte(), sexByte);
    QCOMPARE(profile.GetOldByte(), ageByte);
    const RUserID entry = profile.ReadLocalEntry();
    QCOMPARE(entry.Sex, sexByte);
    QCOMPARE(entry.Age, ageByte);
}

void TestSettings::profileTextFields_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<ProfileTextSetter>("setter");
    QTest::addColumn<ProfileTextGetter>("getter");
    QTest::addColumn<EntryTextField>("field");

    auto row = [](const char *name, ProfileTextSetter setter, ProfileTextGetter getter,
                  EntryTextField field) {
        QTest::newRow(name) << QString::fromLatin1(name) << setter << getter << field;
    };
    row("ALIAS_", &TSetUserData::SetAlias, &TMyUserData::GetAlias, &RUserID::Alias);
    row("NAME_", &TSetUserData::SetName, &TMyUserData::GetName, &RUserID::FirstName);
    row("NAME2_", &TSetUserData::SetName2, &TMyUserData::GetName2, &RUserID::SecondName);
    row("EMAIL_", &TSetUserData::SetEMail, &TMyUserData::GetEMail, &RUserID::EMail);
    row("ICQ_", &TSetUserData::SetICQ, &TMyUserData::GetICQ, &RUserID::ICQ);
    row("STREET_", &TSetUserData::SetStreet, &TMyUserData::GetStreet, &RUserID::Street);
    row("TOWN_", &TSetUserData::SetTown, &TMyUserData::GetTown, &RUserID::Town);
    row("FIELD_", &TSetUserData::SetField, &TMyUserData::GetField, &RUserID::Field);
    row("HOUSE_", &TSetUserData::SetHouse, &TMyUserData::GetHouse, &RUserID::House);
    row("WSTREET_", &TSetUserData::SetWStreet, &TMyUserData::GetWStreet, &RUserID::WorkStreet);
    row("WTOWN_", &TSetUserData::SetWTown, &TMyUserData::GetWTown, &RUserID::WorkTown);
    row("WHOUSE_", &TSetUserData::SetWHouse, &TMyUserData::GetWHouse, &RUserID::WorkHouse);
    row("WFIELD_", &TSetUserData::SetWField, &TMyUserData::GetWField, &RUserID::WorkField);
    row("WNAME_", &TSetUserData::SetWName, &TMyUserData::GetWName, &RUserID::WorkName);
    row("WDEPARTMENT_", &TSetUserData::SetWDepartment, &TMyUserData::GetWDepartment,
        &RUserID::WorkDepartment);
    row("WPOST_", &TSetUserData::SetWPost, &TMyUserData::GetWPost, &RUserID::WorkPost);
    row("WTYPEWORK_", &TSetUserData::SetWTypeWork, &TMyUserData::GetWTypeWork, &RUserID::WorkType);
    row("Interest_", &TSetUserData::SetInterest, &TMyUserData::GetInterest, &RUserID::Interest);
    row("ID_", &TSetUserData::SetID, &TMyUserData::GetID, &RUserID::ID);
}

void TestSettings::profileTextFields()
{
    QFETCH(QString, name);
    QFETCH(ProfileTextSetter, setter);
    QFETCH(ProfileTextGetter, getter);
    QFETCH(EntryTextField, field);

    const QString value = QStringLiteral("  first line\r\nsecond, \"quoted\"; @x \u00e4 ");
    RUserID entry;
    TSetUserData writer(store(), &entry);
    QVERIFY((writer.*setter)(value));
    QCOMPARE(entry.*field, value);

    const auto plain = plainFromDisk();
    QCOMPARE(plain->childGroups(), QStringList{QStringLiteral("MYPROFILEUSER_")});
    plain->beginGroup(QStringLiteral("MYPROFILEUSER_"));
    QCOMPARE(plain->childKeys(), QStringList{name});
    QCOMPARE(plain->value(name).typeId(), QMetaType::QString);
    QCOMPARE(plain->value(name).toString(), value);
    plain->endGroup();

    const TMyUserData reader(storeFromDisk());
    QCOMPARE((reader.*getter)(), value);
}

void TestSettings::setOld_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<quint8>("entryAge");
    QTest::newRow("300") << QStringLiteral("300") << quint8(44);
    QTest::newRow("-5") << QStringLiteral("-5") << quint8(5);
    QTest::newRow("25") << QStringLiteral("25") << quint8(25);
    QTest::newRow("256") << QStringLiteral("256") << quint8(0);
    QTest::newRow("text keeps the entry") << QStringLiteral("twenty") << quint8(33);
    QTest::newRow("blank keeps the entry") << QString() << quint8(33);
    QTest::newRow("trailing blank keeps the entry") << QStringLiteral("25 ") << quint8(33);
}

void TestSettings::setOld()
{
    QFETCH(QString, typed);
    QFETCH(quint8, entryAge);
    RUserID entry;
    entry.Age = 33;
    QVERIFY(TSetUserData(store(), &entry).SetOld(typed));
    QCOMPARE(entry.Age, entryAge);
    QCOMPARE(plainFromDisk()->value(QStringLiteral("MYPROFILEUSER_/OLD_")).toString(), typed);
}

void TestSettings::setNumbersKeepEntryOnText()
{
    RUserID entry;
    entry.Color = 7;
    entry.Sex = 1;
    entry.PictureIndex = 12;
    TSetUserData writer(store(), &entry);

    QVERIFY(writer.SetColor(QStringLiteral("-16777201")));
    QVERIFY(writer.SetSex(QStringLiteral("258")));
    QVERIFY(writer.SetImageIndex(QStringLiteral("-1")));
    QCOMPARE(entry.Color, -16777201);
    QCOMPARE(entry.Sex, quint8(2));
    QCOMPARE(entry.PictureIndex, -1);

    QVERIFY(writer.SetColor(QStringLiteral("blue")));
    QVERIFY(writer.SetSex(QStringLiteral("?")));
    QVERIFY(writer.SetImageIndex(QStringLiteral("")));
    QCOMPARE(entry.Color, -16777201);
    QCOMPARE(entry.Sex, quint8(2));
    QCOMPARE(entry.PictureIndex, -1);

    const auto plain = plainFromDisk();
    QCOMPARE(plain->value(QStringLiteral("MYPROFILEUSER_/COLOR_")).toString(), QStringLiteral("blue"));
    QCOMPARE(plain->value(QStringLiteral("MYPROFILEUSER_/SEX_")).toString(), QStringLiteral("?"));
    QCOMPARE(plain->value(QStringLiteral("MYPROFILEUSER_/IMAGEINDEX_")).toString(), QString());
    QVERIFY(plain->contains(QStringLiteral("MYPROFILEUSER_/IMAGEINDEX_")));
}

void TestSettings::setterWithoutEntry()
{
    TSetUserData writer(store());
    QVERIFY(writer.SetAlias(QStringLiteral("Anna")));
    QVERIFY(writer.SetOld(QStringLiteral("300")));
    const TMyUserData reader(storeFromDisk());
    QCOMPARE(reader.GetAlias(), QStringLiteral("Anna"));
    QCOMPARE(reader.GetOld(), 300);
    QCOMPARE(reader.GetOldByte(), quint8(44));
    QVERIFY(!TSetUserData(unreadableStore()).SetAlias(QStringLiteral("Anna")));
}

void TestSettings::localEntryFromStore()
{
    RUserID applied;
    TSetUserData writer(store(), &applied);
    writer.SetAlias(QStringLiteral("Anna"));
    writer.SetName(QStringLiteral("Anna-Lena"));
    writer.SetName2(QStringLiteral("Berg"));
    writer.SetColor(QStringLiteral("16711680"));
    writer.SetEMail(QStringLiteral("anna@example.org"));
    writer.SetICQ(QStringLiteral("123456"));
    writer.SetStreet(QStringLiteral("Hauptstr. 1\r\nHinterhaus"));
    writer.SetTown(QStringLiteral("Kiel"));
    writer.SetField(QStringLiteral("SH"));
    writer.SetHouse(QStringLiteral("1a"));
    writer.SetWStreet(QStringLiteral("Werftstr. 9"));
    writer.SetWTown(QStringLiteral("Kiel-Gaarden"));
    writer.SetWHouse(QStringLiteral("9"));
    writer.SetWField(QStringLiteral("Nord"));
    writer.SetWName(QStringLiteral("Werft AG"));
    writer.SetWDepartment(QStringLiteral("IT"));
    writer.SetWPost(QStringLiteral("Admin"));
    writer.SetWTypeWork(QStringLiteral("Networks"));
    writer.SetSex(QStringLiteral("2"));
    writer.SetOld(QStringLiteral("29"));
    writer.SetInterest(QStringLiteral("Sailing"));
    writer.SetImageIndex(QStringLiteral("14"));
    writer.SetID(QStringLiteral("{0F8FAD5B-D9CB-469F-A165-70867728950E}"));
    // Never written by the program, only read.
    QVERIFY(store().writeString(QStringLiteral("MYPROFILEUSER_"), QStringLiteral("MAC_"),
                                QStringLiteral("00-11-22-33-44-55")));

    const RUserID entry = TMyUserData(storeFromDisk()).ReadLocalEntry();
    QCOMPARE(entry.Alias, applied.Alias);
    QCOMPARE(entry.FirstName, QStringLiteral("Anna-Lena"));
    QCOMPARE(entry.SecondName, QStringLiteral("Berg"));
    QCOMPARE(entry.Color, 16711680);
    QCOMPARE(entry.EMail, QStringLiteral("anna@example.org"));
    QCOMPARE(entry.ICQ, QStringLiteral("123456"));
    QCOMPARE(entry.Street, QStringLiteral("Hauptstr. 1\r\nHinterhaus"));
    QCOMPARE(entry.Town, QStringLiteral("Kiel"));
    QCOMPARE(entry.Field, QStringLiteral("SH"));
    QCOMPARE(entry.House, QStringLiteral("1a"));
    QCOMPARE(entry.WorkStreet, QStringLiteral("Werftstr. 9"));
    QCOMPARE(entry.WorkTown, QStringLiteral("Kiel-Gaarden"));
    QCOMPARE(entry.WorkHouse, QStringLiteral("9"));
    QCOMPARE(entry.WorkField, QStringLiteral("Nord"));
    QCOMPARE(entry.WorkName, QStringLiteral("Werft AG"));
    QCOMPARE(entry.WorkDepartment, QStringLiteral("IT"));
    QCOMPARE(entry.WorkPost, QStringLiteral("Admin"));
    QCOMPARE(entry.WorkType, QStringLiteral("Networks"));
    QCOMPARE(entry.Sex, quint8(2));
    QCOMPARE(entry.Age, quint8(29));
    QCOMPARE(entry.Interest, QStringLiteral("Sailing"));
    QCOMPARE(entry.PictureIndex, 14);
    QCOMPARE(entry.ID, QStringLiteral("{0F8FAD5B-D9CB-469F-A165-70867728950E}"));
    QCOMPARE(entry.MAC, QStringLiteral("00-11-22-33-44-55"));
    QCOMPARE(entry.GroupNumber, -1);
    QCOMPARE(entry.Blocked, quint8(0));
    QCOMPARE(entry.IP, QString());

    // The entry that the writer kept in step matches what the store gives back.
    QCOMPARE(applied.FirstName, entry.FirstName);
    QCOMPARE(applied.Color, entry.Color);
    QCOMPARE(applied.Sex, entry.Sex);
    QCOMPARE(applied.Age, entry.Age);
    QCOMPARE(applied.PictureIndex, entry.PictureIndex);
    QCOMPARE(applied.ID, entry.ID);
}

void TestSettings::batchCopiesAndLocksAtItsFirstChange()
{
    const SettingsStore settings = store();
    writeSetting(settings, Setting::StayOnTop, true);
    const QString before = iniText();
    const QString lockPath = iniPath() + QStringLiteral(".lock");
    const auto files = [this] {
        return QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);
    };
    {
        const SettingsStore::Batch batch(settings);
        QCOMPARE(readSetting(settings, Setting::StayOnTop), true);
        // Only read so far: no copy, and another writer is not kept waiting for the lock.
        QCOMPARE(files(), QStringList{QStringLiteral("settings.ini")});
        QLockFile other(lockPath);
        QVERIFY(other.tryLock(0));
        other.unlock();
        // The first change takes the lock and works on a copy; reads in the batch see it.
        writeSetting(settings, Setting::StayOnTop, false);
        QCOMPARE(readSetting(settings, Setting::StayOnTop), false);
        QVERIFY(!QLockFile(lockPath).tryLock(0));
        QCOMPARE(files().size(), 3);
        QCOMPARE(iniText(), before);
    }
    QCOMPARE(readSetting(settings, Setting::StayOnTop), false);
    QVERIFY(iniText().contains(QStringLiteral("Value=0")));
    QCOMPARE(files(), QStringList{QStringLiteral("settings.ini")});
    // A batch that only read leaves the file as it was.
    const QString after = iniText();
    {
        const SettingsStore::Batch batch(settings);
        QCOMPARE(readSetting(settings, Setting::StayOnTop), false);
    }
    QCOMPARE(iniText(), after);
    QCOMPARE(files(), QStringList{QStringLiteral("settings.ini")});
}

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
