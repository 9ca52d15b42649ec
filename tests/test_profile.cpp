#include "PeerHarness.h"

#include "app/ChatCore.h"
#include "features/ui/PeerText.h"

#include "app/ui/MainActionList.h"
#include "app/ui/MainMenus.h"
#include "app/ui/MessageAlerts.h"
#include "features/LngUn.h"
#include "features/RemoteText.h"
#include "features/ui/ImageList.h"
#include "features/ui/KeySwallow.h"
#include "features/ui/ShellOpen.h"
#include "features/ui/StatusPanels.h"
#include "features/ui/WireColor.h"
#include "peers/SelectPictureLayout.h"
#include "peers/UserProfile.h"
#include "peers/WindowMagnet.h"
#include "peers/ui/ColorBox.h"
#include "peers/ui/TfmUserProfileUn.h"
#include "peers/ui/UserGroupBox.h"
#include "peers/ui/WindowMagnetUn.h"
#include "peers/ui/fmSelectPictureUn.h"
#include "talks/ui/RVStyle.h"
#include "talks/ui/TalkManager.h"

#include <QAbstractButton>
#include <QAction>
#include <QClipboard>
#include <QColorDialog>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

namespace {

const QString RawId = QStringLiteral("{0A0B0C0D-1111-2222-3333-444455556666}");

// A NEW with all 25 fields, written out by hand.
QByteArray fullNewPacket(const QString &id, const QByteArray &imageIndex = "17")
{
    return "NEW!^:^$<ALIAS><b>Raw</b></ALIAS><IMAGEINDEX>" + imageIndex +
           "</IMAGEINDEX><IP>10.1.2.3</IP><MAC>00-11-22-33-44-55</MAC><ID>" + id.toLatin1() +
           "</ID><ICQ>998877</ICQ><COLOR>16711680</COLOR><NAME>Rhea</NAME><NAME2>Walker</NAME2>"
           "<EMAIL>rhea@example.org</EMAIL><STREET>Elm Road 5\r\nBack house</STREET><TOWN>Lakeside</TOWN>"
           "<HOUSE>5a</HOUSE><FIELD>East</FIELD><WSTREET>Dock 3</WSTREET><WTOWN>Harbour</WTOWN>"
           "<WHOUSE>7</WHOUSE><WFIELD>Port</WFIELD><WNAME>Acme</WNAME><WDEPARTMENT>Testing</WDEPARTMENT>"
           "<WTYPEWORK>Builds and releases</WTYPEWORK><WPOST>Lead</WPOST><SEX>2</SEX><OLD>37</OLD>"
           "<Interest>Sailing\r\nChess</Interest>";
}

// Runs the steps once the profile window is the active modal window; a window still open afterwards
// is closed. The watch ends with the object, or after five seconds without a window.
class ProfileWindowDriver {
public:
    explicit ProfileWindowDriver(std::function<void(TfmUserProfile *)> steps)
        : m_steps(std::move(steps))
    {
        m_poll.setInterval(10);
        QObject::connect(&m_poll, &QTimer::timeout, &m_poll, [this] { tick(); });
        m_poll.start();
    }
    bool ran() const { return m_ran; }

private:
    void tick()
    {
        auto *dialog = qobject_cast<TfmUserProfile *>(QApplication::activeModalWidget());
        if (!dialog && ++m_ticks < 500)
            return;
        m_poll.stop();
        if (!dialog)
            return;
        m_ran = true;
        m_steps(dialog);
        if (QApplication::activeModalWidget() == dialog)
            dialog->reject();
    }

    std::function<void(TfmUserProfile *)> m_steps;
    QTimer m_poll;
    int m_ticks = 0;
    bool m_ran = false;
};

template <typename T> T *child(QWidget *dialog, const char *name)
{
    return dialog->findChild<T *>(QLatin1StringView(name));
}

QLineEdit *edit(QWidget *dialog, const char *name)
{
    return child<QLineEdit>(dialog, name);
}

QPlainTextEdit *memo(QWidget *dialog, const char *name)
{
    return child<QPlainTextEdit>(dialog, name);
}

// Clicks the page's node in the tree, as the user does.
void clickPage(TfmUserProfile *dialog, int page)
{
    auto *tree = child<QTreeWidget>(dialog, "tvProfile");
    const QRect node = tree->visualItemRect(tree->topLevelItem(page));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, node.center());
}

// Replaces a line edit's text by typing.
void retype(QLineEdit *field, const QString &text)
{
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(field, Qt::Key_Backspace);
    else
        QTest::keyClicks(field, text);
}

QStringList summaryLines(TfmUserProfile *dialog)
{
    return dialog->summaryView()->document()->toPlainText().split(u'\n');
}

// The colour of the text at the first place the word appears in the document.
QColor colourOf(QTextDocument *doc, const QString &word, bool *bold = nullptr)
{
    QTextCursor cursor = doc->find(word);
    if (cursor.isNull())
        return {};
    QTextCursor at(doc);
    at.setPosition(cursor.selectionStart() + 1);
    if (bold)
        *bold = at.charFormat().fontWeight() >= QFont::Bold;
    return at.charFormat().foreground().color();
}

ProfileCaptions defaults()
{
    return ProfileCaptions();
}

} // namespace

class TestProfile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();

    // The window-free rules.
    void fieldLimits_data();
    void fieldLimits();
    void entryToFields();
    void applyWritesInOrderAndKeepsEntryInStep();
    void applyAgeEdgeCases();
    void storedMemoText_data();
    void storedMemoText();
    void applyKeepsLineBreaksOfMultiLineFields();
    void summaryOfAliasAndIpOnly();
    void summaryOfFullProfile();
    void pageHeaderAndPictureButton();
    void chooserSquares();
    void chooserPlacement_data();
    void chooserPlacement();
    void magnetRules();
    void captionsFromLanguageFile();

    // The windows.
    void editModeTypingApplyAndEnter();
    void escapeClosesWithoutApplying();
    void blankAliasSendsNoAliasAndKeepsTitle();
    void readOnlyPeerFromRawPeer();
    void peerWithoutPictureShowsPictureZero();
    void longPeerAliasIsElidedNotStretched();
    void fieldLimitsInWindow();
    void chooserCloseRulesAndEdges();
    void helpKeyAndMailButton();
    void myImageDoubleClickAndProfileSubmenu();
    void memberItemOpensProfileAndFollowsRename();
    void colorBoxCustomColour();
    void userListMagnet();
};

void TestProfile::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    ShellOpen::setRecording(true);
    QVERIFY(RawPeer().isReady());
}

void TestProfile::fieldLimits_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("limit");
    for (const char *n : {"edAlias", "edName1", "edName2"})
        QTest::newRow(n) << n << 20;
    for (const char *n : {"edEMail", "edICQ", "mmStreet", "edTown", "edField", "edHome", "mmWStreet",
                          "edWTown", "edWHome", "edWField", "edWName", "edDepartment", "edWPost"})
        QTest::newRow(n) << n << 100;
    QTest::newRow("edWorkType") << "edWorkType" << 250;
    QTest::newRow("edAge") << "edAge" << 3;
    QTest::newRow("mmInterest") << "mmInterest" << 255;
    QTest::newRow("edColor has none") << "edColor" << 0;
}

void TestProfile::fieldLimits()
{
    QFETCH(QString, name);
    QFETCH(int, limit);
    QCOMPARE(UserProfile::FieldLimit(name), limit);
    QCOMPARE(UserProfile::LimitedFields().contains(name), limit > 0);
}

void TestProfile::entryToFields()
{
    RUserID e;
    e.Alias = QStringLiteral("Zed");
    e.House = QStringLiteral("9");
    e.WorkHouse = QStringLiteral("10");
    e.WorkType = QStringLiteral("type");
    e.Sex = 7;
    e.Age = 200;
    e.PictureIndex = -1;
    e.Color = -2147483640;
    ProfileFields f = ProfileFieldsFromEntry(e);
    QCOMPARE(f.alias, QStringLiteral("Zed"));
    QCOMPARE(f.home, QStringLiteral("9"));
    QCOMPARE(f.workHome, QStringLiteral("10"));
    QCOMPARE(f.workType, QStringLiteral("type"));
    QCOMPARE(f.sex, 0);
    QCOMPARE(f.age, QStringLiteral("200"));
    QCOMPARE(f.picture, -1);
    QCOMPARE(f.color, -2147483640);
    e.Sex = 2;
    QCOMPARE(ProfileFieldsFromEntry(e).sex, 2);
    QCOMPARE(UserProfile::MemoText(QStringLiteral("a\r\nb\rc\nd")), QStringLiteral("a\nb\nc\nd"));
}

void TestProfile::applyWritesInOrderAndKeepsEntryInStep()
{
    QTemporaryDir dir;
    const SettingsStore store(dir.filePath(QStringLiteral("s.ini")));
    RUserID entry;
    entry.Age = 9;
    ProfileFields f;
    f.alias = QStringLiteral("Ann");
    f.firstName = QStringLiteral("A1");
    f.secondName = QStringLiteral("A2");
    f.color = 128;
    f.eMail = QStringLiteral("a@b.c");
    f.icq = QStringLiteral("42");
    f.street = QStringLiteral("Line 1\nLine 2");
    f.town = QStringLiteral("T");
    f.field = QStringLiteral("F");
    f.home = QStringLiteral("H");
    f.workStreet = QStringLiteral("WS");
    f.workTown = QStringLiteral("WT");
    f.workHome = QStringLiteral("WH");
    f.workField = QStringLiteral("WF");
    f.workName = QStringLiteral("WN");
    f.workDepartment = QStringLiteral("WD");
    f.workPost = QStringLiteral("WP");
    f.workType = QStringLiteral("WY");
    f.sex = -1;
    f.age = QStringLiteral("abc");
    f.interest = QStringLiteral("I");
    f.picture = 14;
    const QStringList order = ApplyProfileFields(store, &entry, f);
    QCOMPARE(order, (QStringList{"ALIAS_",  "NAME_",   "NAME2_",    "COLOR_",       "EMAIL_",   "ICQ_",
                                 "STREET_", "TOWN_",   "FIELD_",    "HOUSE_",       "WSTREET_", "WTOWN_",
                                 "WHOUSE_", "WFIELD_", "WNAME_",    "WDEPARTMENT_", "WPOST_",   "WTYPEWORK_",
                                 "SEX_",    "OLD_",    "Interest_", "IMAGEINDEX_"}));
    const auto stored = [&store](const char *name) {
        return store.readString(QStringLiteral("MYPROFILEUSER_"), QString::fromLatin1(name),
                                QStringLiteral("?"));
    };
    QCOMPARE(stored("ALIAS_"), QStringLiteral("Ann"));
    QCOMPARE(stored("COLOR_"), QStringLiteral("128"));
    QCOMPARE(stored("STREET_"), QStringLiteral("Line 1\nLine 2"));
    QCOMPARE(stored("HOUSE_"), QStringLiteral("H"));
    QCOMPARE(stored("WHOUSE_"), QStringLiteral("WH"));
    QCOMPARE(stored("WTYPEWORK_"), QStringLiteral("WY"));
    QCOMPARE(stored("SEX_"), QStringLiteral("0"));
    QCOMPARE(stored("OLD_"), QStringLiteral("abc"));
    QCOMPARE(stored("IMAGEINDEX_"), QStringLiteral("14"));
    QCOMPARE(stored("MAC_"), QStringLiteral("?"));
    QCOMPARE(entry.Alias, QStringLiteral("Ann"));
    QCOMPARE(entry.FirstName, QStringLiteral("A1"));
    QCOMPARE(entry.SecondName, QStringLiteral("A2"));
    QCOMPARE(entry.Color, 128);
    QCOMPARE(entry.House, QStringLiteral("H"));
    QCOMPARE(entry.WorkHouse, QStringLiteral("WH"));
    QCOMPARE(entry.WorkPost, QStringLiteral("WP"));
    QCOMPARE(entry.WorkType, QStringLiteral("WY"));
    QCOMPARE(entry.Sex, quint8(0));
    // A non-numeric age leaves the entry's age; the next start reads the stored text as 0.
    QCOMPARE(entry.Age, quint8(9));
    QCOMPARE(TMyUserData(store).GetOld(), 0);
    QCOMPARE(entry.PictureIndex, 14);
    QCOMPARE(TMyUserData(store).ReadLocalEntry().Interest, QStringLiteral("I"));
}

void TestProfile::applyAgeEdgeCases()
{
    QTemporaryDir dir;
    const SettingsStore store(dir.filePath(QStringLiteral("s.ini")));
    RUserID entry;
    ProfileFields f;
    f.age = QStringLiteral("300");
    ApplyProfileFields(store, &entry, f);
    QCOMPARE(entry.Age, quint8(44));
    QCOMPARE(store.readString(QStringLiteral("MYPROFILEUSER_"), QStringLiteral("OLD_")),
             QStringLiteral("300"));
    f.age = QStringLiteral("-5");
    f.sex = 2;
    f.picture = -1;
    ApplyProfileFields(store, &entry, f);
    QCOMPARE(entry.Age, quint8(5));
    QCOMPARE(entry.Sex, quint8(2));
    QCOMPARE(entry.PictureIndex, -1);
    QCOMPARE(store.readString(QStringLiteral("MYPROFILEUSER_"), QStringLiteral("OLD_")),
             QStringLiteral("-5"));
    QCOMPARE(store.readString(QStringLiteral("MYPROFILEUSER_"), QStringLiteral("IMAGEINDEX_")),
             QStringLiteral("-1"));
    // Without an entry the store is still written.
    f.alias = QStringLiteral("Solo");
    ApplyProfileFields(store, nullptr, f);
    QCOMPARE(TMyUserData(store).GetAlias(), QStringLiteral("Solo"));
}

void TestProfile::storedMemoText_data()
{
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("original");
    QTest::addColumn<QString>("stored");
    QTest::newRow("unchanged, CR LF") << "a\nb" << "a\r\nb" << "a\r\nb";
    QTest::newRow("unchanged, LF") << "a\nb" << "a\nb" << "a\nb";
    QTest::newRow("unchanged, mixed") << "a\nb\nc" << "a\r\nb\nc" << "a\r\nb\nc";
    QTest::newRow("unchanged, lone CR") << "a\nb" << "a\rb" << "a\rb";
    QTest::newRow("edited, CR LF value") << "a\nb\nc" << "a\r\nb" << "a\r\nb\r\nc";
    QTest::newRow("edited, LF value") << "a\nb\nc" << "a\nb" << "a\nb\nc";
    QTest::newRow("new text") << "x\ny" << "" << "x\ny";
    QTest::newRow("emptied") << "" << "a\r\nb" << "";
    QTest::newRow("one line") << "Main st 1" << "Main st 1" << "Main st 1";
}

void TestProfile::storedMemoText()
{
    QFETCH(QString, shown);
    QFETCH(QString, original);
    QFETCH(QString, stored);
    QCOMPARE(UserProfile::StoredMemoText(shown, original), stored);
}

// Applying keeps the CR LF of the multi-line fields, in the store and on the wire, edited or not.
void TestProfile::applyKeepsLineBreaksOfMultiLineFields()
{
    RawPeer raw;
    TestPeer anna("Anna");
    TSetUserData(anna.store()).SetStreet(QStringLiteral("Main st\r\n1"));
    TSetUserData(anna.store()).SetWStreet(QStringLiteral("Quay\r\n4"));
    TSetUserData(anna.store()).SetInterest(QStringLiteral("Kites\r\nBirds"));
    anna.start();
    const QString id = anna.id();
    QVERIFY(waitUntil([&] { return !raw.heardFrom(pkNew, id).isEmpty(); }));
    ProfileWindowDriver driver([&](TfmUserProfile *dialog) {
        QCOMPARE(memo(dialog, "mmStreet")->toPlainText(), QStringLiteral("Main st\n1"));
        retype(edit(dialog, "edAlias"), QStringLiteral("Annie"));
        QTest::mouseClick(child<QPushButton>(dialog, "btnApply"), Qt::LeftButton);
        QVERIFY(waitUntil([&] { return raw.heardFrom(pkUpdateInfo, id).size() == 1; }));
        // A line added to the street: the new break is written as the others are.
        clickPage(dialog, 2);
        QTextCursor end = memo(dialog, "mmStreet")->textCursor();
        end.movePosition(QTextCursor::End);
        memo(dialog, "mmStreet")->setTextCursor(end);
        QTest::keyClick(memo(dialog, "mmStreet"), Qt::Key_Return, Qt::ControlModifier);
        QTest::keyClicks(memo(dialog, "mmStreet"), QStringLiteral("2"));
        QTest::mouseClick(child<QPushButton>(dialog, "btnApply"), Qt::LeftButton);
        QVERIFY(waitUntil([&] { return raw.heardFrom(pkUpdateInfo, id).size() == 2; }));
    });
    anna.mainWindow()->actions()->action("actUserMyProfile")->trigger();
    QVERIFY(driver.ran());
    if (QTest::currentTestFailed())
        return;
    const QList<QByteArray> updates = raw.heardFrom(pkUpdateInfo, id);
    QVERIFY2(updates.at(0).contains("<STREET>Main st\r\n1</STREET>"), updates.at(0).constData());
    QVERIFY(updates.at(0).contains("<WSTREET>Quay\r\n4</WSTREET>"));
    QVERIFY(updates.at(0).contains("<Interest>Kites\r\nBirds</Interest>"));
    QVERIFY2(updates.at(1).contains("<STREET>Main st\r\n1\r\n2</STREET>"), updates.at(1).constData());
    QVERIFY(updates.at(1).contains("<WSTREET>Quay\r\n4</WSTREET>"));
    const TMyUserData stored(anna.store());
    QCOMPARE(stored.GetStreet(), QStringLiteral("Main st\r\n1\r\n2"));
    QCOMPARE(stored.GetWStreet(), QStringLiteral("Quay\r\n4"));
    QCOMPARE(stored.GetInterest(), QStringLiteral("Kites\r\nBirds"));
    QCOMPARE(anna.registry()->local()->Interest, QStringLiteral("Kites\r\nBirds"));
    anna.close();
}

void TestProfile::summaryOfAliasAndIpOnly()
{
    RUserID e;
    e.Alias = QStringLiteral("Anna");
    e.IP = QStringLiteral("192.168.0.7");
    using L = ProfileSummaryLine;
    const QList<L> lines = BuildProfileSummary(ProfileFieldsFromEntry(e), e.IP, e.MAC, defaults());
    const QList<L> expected = {
        {L::Field, -1, QStringLiteral("IP: "), QStringLiteral("192.168.0.7")},
        {L::Break, -1, {}, {}},
        {L::Section, 1, QStringLiteral("Basic data"), {}},
        {L::Field, -1, QStringLiteral("Alias: "), QStringLiteral("Anna")},
        {L::Break, -1, {}, {}},
        {L::Section, 4, QStringLiteral("Personal"), {}},
        {L::Field, -1, QStringLiteral("Sex: "), QStringLiteral("Not specified")},
        {L::Field, -1, QStringLiteral("Age: "), QStringLiteral("0")},
    };
    QCOMPARE(lines.size(), expected.size());
    for (int i = 0; i < lines.size(); ++i) {
        QCOMPARE(lines.at(i).kind, expected.at(i).kind);
        QCOMPARE(lines.at(i).icon, expected.at(i).icon);
        QCOMPARE(lines.at(i).label, expected.at(i).label);
        QCOMPARE(lines.at(i).value, expected.at(i).value);
    }
}

void TestProfile::summaryOfFullProfile()
{
    RUserID e;
    e.Alias = QStringLiteral("A");
    e.EMail = QStringLiteral("   ");
    e.Town = QStringLiteral("Town1");
    e.WorkStreet = QStringLiteral("W1");
    e.WorkTown = QStringLiteral("W2");
    e.WorkHouse = QStringLiteral("W3");
    e.WorkField = QStringLiteral("W4");
    e.WorkName = QStringLiteral("W5");
    e.WorkDepartment = QStringLiteral("W6");
    e.WorkPost = QStringLiteral("W7");
    e.WorkType = QStringLiteral("W8");
    e.Sex = 1;
    e.Age = 30;
    e.Interest = QStringLiteral("chess");
    const QList<ProfileSummaryLine> lines = BuildProfileSummary(
        ProfileFieldsFromEntry(e), QStringLiteral("  "), QStringLiteral("AA-BB"), defaults());
    QStringList text;
    for (const ProfileSummaryLine &l : lines) {
        if (l.kind == ProfileSummaryLine::Break)
            text << QStringLiteral("--");
        else if (l.kind == ProfileSummaryLine::Section)
            text << QStringLiteral("[%1] %2").arg(l.icon).arg(l.label);
        else
            text << l.label + l.value;
    }
    // No IP line for a blank IP; a blank e-mail has no line; "Home" holds the town only; the work
    // section in the window's order.
    QCOMPARE(text, (QStringList{"MAC: AA-BB",
                                "--",
                                "[1] Basic data",
                                "Alias: A",
                                "--",
                                "[2] Home",
                                "Town: Town1",
                                "--",
                                "[3] Work",
                                "Street: W1",
                                "Town: W2",
                                "Home: W3",
                                "Field: W4",
                                "Name: W5",
                                "Department: W6",
                                "Post: W7",
                                "Work type: W8",
                                "--",
                                "[4] Personal",
                                "Sex: Men",
                                "Age: 30",
                                "Interest: chess"}));
    // A section whose fields are all blank is left out.
    RUserID empty;
    empty.Alias = QStringLiteral("  ");
    const QList<ProfileSummaryLine> none =
        BuildProfileSummary(ProfileFieldsFromEntry(empty), {}, {}, defaults());
    QCOMPARE(none.size(), 4);
    QCOMPARE(none.at(1).label, QStringLiteral("Personal"));
}

void TestProfile::pageHeaderAndPictureButton()
{
    const ProfileCaptions c;
    QCOMPARE(ProfilePageHeader(0, c, QStringLiteral("Anna")),
             QStringLiteral("Summary data for ") + RemoteText::isolate(QStringLiteral("Anna")));
    QCOMPARE(ProfilePageHeader(0, c, QStringLiteral("  ")), QStringLiteral("Summary data"));
    QCOMPARE(ProfilePageHeader(2, c, QStringLiteral("Anna")), QStringLiteral("Home"));
    QCOMPARE(ProfilePageHeader(4, c, QString()), QStringLiteral("Personal"));
    QCOMPARE(PictureButtonCaption(QString(), -1, c), QStringLiteral("Choice of the picture"));
    QCOMPARE(PictureButtonCaption(QStringLiteral("  "), -1, c), QStringLiteral("Choice of the picture"));
    QCOMPARE(PictureButtonCaption(QStringLiteral("  "), 12, c), QStringLiteral("  "));
    QCOMPARE(PictureButtonCaption(QStringLiteral("Anna"), -1, c), QStringLiteral("Anna"));
    QCOMPARE(PictureButtonWidth(10, 15), 34);
    QCOMPARE(PictureButtonWidth(0, 25), 34);
    QCOMPARE(PictureButtonWidth(0, 26), 34);
    QCOMPARE(PictureButtonWidth(0, 32), 40);
    QCOMPARE(PictureButtonWidth(100, 32), 140);
}

void TestProfile::chooserSquares()
{
    using namespace SelectPicture;
    const QRect window(0, 0, Width, Height);
    QList<int> pictures;
    for (int i = 0; i < SquareCount; ++i) {
        const QRect square = SquareRect(i);
        QVERIFY(window.contains(square));
        QCOMPARE(SquareAt(square.center()), i);
        QCOMPARE(SquareAt(square.topLeft()), i);
        QCOMPARE(SquareAt(square.bottomRight()), i);
        pictures << PictureOfSquare(i);
        QCOMPARE(SquareOfPicture(PictureOfSquare(i)), i);
    }
    QCOMPARE(pictures, (QList<int>{11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, -1}));
    // Three rows of five in reading order.
    QVERIFY(SquareRect(4).y() == SquareRect(0).y() && SquareRect(4).x() > SquareRect(3).x());
    QVERIFY(SquareRect(5).y() > SquareRect(4).y() && SquareRect(5).x() == SquareRect(0).x());
    // Between and around the squares is background.
    QCOMPARE(SquareAt(QPoint(0, 0)), -1);
    QCOMPARE(SquareAt(QPoint(SquareRect(0).right() + 1, 10)), -1);
    QCOMPARE(SquareAt(QPoint(10, SquareRect(0).bottom() + 1)), -1);
    QCOMPARE(SquareAt(QPoint(Width - 1, Height - 1)), -1);
    QVERIFY(SquareRect(-1).isEmpty() && SquareRect(15).isEmpty());
    QCOMPARE(SquareOfPicture(5), -1);
    QCOMPARE(SquareOfPicture(25), -1);
}

void TestProfile::chooserPlacement_data()
{
    QTest::addColumn<QPoint>("centre");
    QTest::addColumn<QRect>("desktop");
    QTest::addColumn<QPoint>("expected");
    const QRect desk(0, 0, 1280, 800);
    QTest::newRow("room") << QPoint(100, 100) << desk << QPoint(100, 100);
    QTest::newRow("just fits right") << QPoint(1280 - 187, 100) << desk << QPoint(1093, 100);
    QTest::newRow("right edge") << QPoint(1094, 100) << desk << QPoint(1094 - 187, 100);
    QTest::newRow("just fits bottom") << QPoint(100, 800 - 113) << desk << QPoint(100, 687);
    QTest::newRow("bottom edge") << QPoint(100, 688) << desk << QPoint(100, 688 - 113);
    QTest::newRow("corner") << QPoint(1250, 790) << desk << QPoint(1250 - 187, 790 - 113);
    QTest::newRow("second screen") << QPoint(2500, 100) << QRect(1280, 0, 1280, 1024) << QPoint(2313, 100);
}

void TestProfile::chooserPlacement()
{
    QFETCH(QPoint, centre);
    QFETCH(QRect, desktop);
    QFETCH(QPoint, expected);
    QCOMPARE(SelectPicture::Position(centre, QSize(187, 113), desktop), expected);
}

void TestProfile::magnetRules()
{
    using namespace Magnet;
    const QRect main(300, 200, 400, 300);
    const QRect screen(0, 0, 1280, 800);
    // Beside the right edge: flush, and the tops line up when near.
    QCOMPARE(Snap(QRect(707, 206, 180, 300), main, screen), QPoint(700, 200));
    QCOMPARE(Snap(QRect(695, 260, 180, 300), main, screen), QPoint(700, 260));
    // Bottoms line up as well.
    QCOMPARE(Snap(QRect(704, 195, 180, 308), main, screen), QPoint(700, 192));
    // Beside the left edge.
    QCOMPARE(Snap(QRect(112, 230, 180, 200), main, screen), QPoint(120, 230));
    // Below and above, with the left or right lines.
    QCOMPARE(Snap(QRect(305, 508, 200, 100), main, screen), QPoint(300, 500));
    QCOMPARE(Snap(QRect(497, 95, 200, 100), main, screen), QPoint(500, 100));
    // Too far: nothing moves.
    QCOMPARE(Snap(QRect(715, 230, 180, 200), main, screen), QPoint(715, 230));
    // Level with the edge but far below it: no snap to that edge.
    QCOMPARE(Snap(QRect(703, 560, 180, 100), main, screen), QPoint(703, 560));
    // Screen edges.
    QCOMPARE(Snap(QRect(6, 690, 180, 100), main, screen), QPoint(0, 700));
    QCOMPARE(Snap(QRect(1095, -4, 180, 100), QRect(), screen), QPoint(1100, 0));
    // The main window's edge wins over the screen's at the same distance.
    QCOMPARE(Snap(QRect(5, 100, 100, 100), QRect(110, 80, 300, 300), QRect(0, 0, 1280, 800), 5).x(), 10);

    QCOMPARE(DockedSide(QRect(700, 250, 180, 300), main), Side::Right);
    QCOMPARE(DockedSide(QRect(120, 250, 180, 300), main), Side::Left);
    QCOMPARE(DockedSide(QRect(350, 500, 180, 100), main), Side::Bottom);
    QCOMPARE(DockedSide(QRect(350, 100, 180, 100), main), Side::Top);
    QCOMPARE(DockedSide(QRect(701, 250, 180, 300), main), Side::None);
    // Touching only at a corner is not docked.
    QCOMPARE(DockedSide(QRect(700, 500, 180, 100), main), Side::None);

    const QRect moved = main.translated(25, -40);
    QCOMPARE(Follow(QRect(700, 250, 180, 300), Side::Right, main, moved), QPoint(725, 210));
    QCOMPARE(Follow(QRect(700, 250, 180, 300), Side::Right, main, QRect(300, 200, 450, 300)),
             QPoint(750, 250));
    QCOMPARE(Follow(QRect(120, 250, 180, 300), Side::Left, main, moved), QPoint(145, 210));
    QCOMPARE(Follow(QRect(350, 500, 180, 100), Side::Bottom, main, moved), QPoint(375, 460));
    QCOMPARE(Follow(QRect(350, 100, 180, 100), Side::Top, main, moved), QPoint(375, 60));
}

void TestProfile::captionsFromLanguageFile()
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("de.lng")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[UserProfileForm]\nCaption=Benutzerprofil\n[fmProfile1]\nCaption=Zusammenfassung\n"
               "[fmProfile5]\nCaption=Pers\xC3\xB6nlich\n[lbAliase]\nCaption=Spitzname:\n"
               "[gbPicture]\nCaption=Bild\n[ForConst]\nCaption=von\n[cbSex]\nNot=Keine Angabe\nWomen=Frau\n"
               "[btnApplyCaption]\nCaption=\"&Anwenden\"\n[btnSelectImage]\nHint=Bild w\xC3\xA4hlen\n");
    file.close();
    Lng::SetCurrentFile(file.fileName());
    const ProfileCaptions c = ProfileCaptions::FromLanguage();
    {
        TfmUserProfile dialog;
        RUserID e;
        e.Alias = QStringLiteral("Eva");
        dialog.SetMode(false);
        dialog.LoadEntry(e);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Benutzerprofil"));
        QCOMPARE(dialog.headerText(), QStringLiteral("Zusammenfassung von ") + RemoteText::isolate("Eva"));
        QCOMPARE(child<QLabel>(&dialog, "lbAliase")->text(), QStringLiteral("Spitzname:"));
        QCOMPARE(child<QLabel>(&dialog, "lbPicture")->text(), QStringLiteral("Bild:"));
        QCOMPARE(child<QLabel>(&dialog, "lbFirstName")->text(), QStringLiteral("First name:"));
        QCOMPARE(child<QPushButton>(&dialog, "btnApply")->text(), QStringLiteral("&Anwenden"));
        QCOMPARE(child<QAbstractButton>(&dialog, "btnSelectImage")->toolTip(),
                 QStringLiteral("Bild w\u00e4hlen"));
        auto *sex = child<QComboBox>(&dialog, "cbSex");
        QCOMPARE(sex->itemText(0), QStringLiteral("Keine Angabe"));
        QCOMPARE(sex->itemText(1), QStringLiteral("Men"));
        QCOMPARE(sex->itemText(2), QStringLiteral("Frau"));
        QVERIFY(summaryLines(&dialog).contains(QStringLiteral("Sex: Keine Angabe")));
        auto *tree = child<QTreeWidget>(&dialog, "tvProfile");
        QCOMPARE(tree->topLevelItem(4)->text(0), QStringLiteral("Pers\u00f6nlich"));
    }
    Lng::SetCurrentFile(QString());
    QCOMPARE(c.pages.at(1), QStringLiteral("Basic data"));
}

void TestProfile::editModeTypingApplyAndEnter()
{
    RawPeer raw;
    TestPeer anna("Anna");
    anna.start();
    const QString id = anna.id();
    const QString ip = anna.registry()->GetPeer(0)->IP;
    QVERIFY(waitUntil([&] { return !raw.heardFrom(pkNew, id).isEmpty(); }));
    QCOMPARE(anna.mainWindow()->windowTitle(), QStringLiteral("Perix Chat [Anna]"));

    QTextEdit *talkInput = anna.mainWindow()->talks()->frame(0)->reMessage();
    talkInput->clear();
    QPoint chooserAt;
    QPoint buttonCentre;
    bool swallowed = false;
    ProfileWindowDriver driver([&](TfmUserProfile *dialog) {
        QVERIFY(dialog->isEditable());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("User profile"));
        QCOMPARE(dialog->currentPage(), 1);
        QVERIFY(!child<QPushButton>(dialog, "btnApply")->isEnabled());
        QCOMPARE(edit(dialog, "edAlias")->text(), QStringLiteral("Anna"));

        retype(edit(dialog, "edAlias"), QStringLiteral("Annie"));
        QVERIFY(child<QPushButton>(dialog, "btnApply")->isEnabled());
        QTest::keyClicks(edit(dialog, "edName1"), QStringLiteral("Ann"));
        QTest::keyClicks(edit(dialog, "edName2"), QStringLiteral("Smith"));
        QTest::keyClick(child<ColorBox>(dialog, "edColor"), Qt::Key_Down);
        QCOMPARE(child<ColorBox>(dialog, "edColor")->color(), 0x000080);
        QTest::keyClicks(edit(dialog, "edEMail"), QStringLiteral("ann@example.org"));
        QTest::keyClicks(edit(dialog, "edICQ"), QStringLiteral("12345"));

        // The picture: the chooser opens at the button's centre; a click on a square chooses.
        auto *button = child<QAbstractButton>(dialog, "btnSelectImage");
        QCOMPARE(button->text(), QStringLiteral("Annie"));
        buttonCentre = button->mapToGlobal(button->rect().center());
        QTest::mousePress(button, Qt::LeftButton);
        auto *chooser = qobject_cast<TfmSelectPicture *>(QApplication::activePopupWidget());
        QVERIFY(chooser);
        QVERIFY(button->isDown());
        chooserAt = chooser->pos();
        QCOMPARE(chooser->size(), QSize(187, 113));
        QTest::mouseClick(chooser, Qt::LeftButton, {}, SelectPicture::SquareRect(3).center());
        QVERIFY(QTest::qWaitFor([] { return !QApplication::activePopupWidget(); }));
        QVERIFY(!button->isDown());
        QCOMPARE(dialog->picture(), 14);

        clickPage(dialog, 2);
        QCOMPARE(dialog->currentPage(), 2);
        QCOMPARE(dialog->headerText(), QStringLiteral("Home"));
        QTest::keyClicks(memo(dialog, "mmStreet"), QStringLiteral("Main st"));
        QTest::keyClick(memo(dialog, "mmStreet"), Qt::Key_Return, Qt::ControlModifier);
        QTest::keyClicks(memo(dialog, "mmStreet"), QStringLiteral("1"));
        QTest::keyClicks(edit(dialog, "edTown"), QStringLiteral("Springfield"));
        QTest::keyClicks(edit(dialog, "edField"), QStringLiteral("North"));
        QTest::keyClicks(edit(dialog, "edHome"), QStringLiteral("12"));
        clickPage(dialog, 3);
        QTest::keyClicks(memo(dialog, "mmWStreet"), QStringLiteral("Quay 4"));
        QTest::keyClicks(edit(dialog, "edWTown"), QStringLiteral("Portsmouth"));
        QTest::keyClicks(edit(dialog, "edWHome"), QStringLiteral("B2"));
        QTest::keyClicks(edit(dialog, "edWField"), QStringLiteral("South"));
        QTest::keyClicks(edit(dialog, "edWName"), QStringLiteral("Initech"));
        QTest::keyClicks(edit(dialog, "edDepartment"), QStringLiteral("QA"));
        QTest::keyClicks(edit(dialog, "edWPost"), QStringLiteral("Tester"));
        QTest::keyClicks(edit(dialog, "edWorkType"), QStringLiteral("Finding faults"));
        clickPage(dialog, 4);
        QTest::keyClick(child<QComboBox>(dialog, "cbSex"), Qt::Key_Down);
        QTest::keyClick(child<QComboBox>(dialog, "cbSex"), Qt::Key_Down);
        QCOMPARE(child<QComboBox>(dialog, "cbSex")->currentText(), QStringLiteral("Women"));
        retype(edit(dialog, "edAge"), QStringLiteral("300"));
        QTest::keyClicks(memo(dialog, "mmInterest"), QStringLiteral("Kites"));

        // The summary page shows what stands in the fields now.
        clickPage(dialog, 0);
        QCOMPARE(dialog->headerText(), QStringLiteral("Summary data for ") + RemoteText::isolate("Annie"));
        const QStringList lines = summaryLines(dialog);
        QVERIFY2(lines.contains(QStringLiteral("Alias: Annie")), qPrintable(lines.join(u'|')));
        QVERIFY(lines.contains(QStringLiteral("Age: 300")));
        QVERIFY(lines.contains(QStringLiteral("Sex: Women")));
        bool bold = false;
        QCOMPARE(colourOf(dialog->summaryView()->document(), QStringLiteral("Springfield")),
                 QColor(0x80, 0, 0));
        colourOf(dialog->summaryView()->document(), QStringLiteral("Town:"), &bold);
        QVERIFY(bold);

        QTest::mouseClick(child<QPushButton>(dialog, "btnApply"), Qt::LeftButton);
        QVERIFY(!child<QPushButton>(dialog, "btnApply")->isEnabled());
        QVERIFY(waitUntil([&] { return !raw.heardFrom(pkUpdateInfo, id).isEmpty(); }));

        // Enter in a memo applies again and closes; the rest of the keystroke goes nowhere.
        clickPage(dialog, 4);
        QTest::keyClicks(memo(dialog, "mmInterest"), QStringLiteral("!"));
        QTest::keyPress(memo(dialog, "mmInterest"), Qt::Key_Return);
        QVERIFY(!dialog->isVisible());
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), true);
        QApplication::sendEvent(talkInput, &repeat);
        swallowed = talkInput->toPlainText().isEmpty() && KeySwallow::IsSwallowing();
        QTest::keyRelease(memo(dialog, "mmInterest"), Qt::Key_Return);
    });
    anna.mainWindow()->actions()->action("actUserMyProfile")->trigger();
    QVERIFY(driver.ran());
    if (QTest::currentTestFailed())
        return;
    QVERIFY(swallowed);
    QVERIFY(!KeySwallow::IsSwallowing());
    QTest::keyClicks(talkInput, QStringLiteral("x"));
    QCOMPARE(talkInput->toPlainText(), QStringLiteral("x"));

    // The chooser opened at the button's centre (the offscreen desktop is large enough here).
    const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(chooserAt, SelectPicture::Position(buttonCentre, QSize(187, 113), desktop));

    const QByteArray body =
        "<ALIAS>Annie</ALIAS><IMAGEINDEX>14</IMAGEINDEX><IP>" + ip.toLatin1() + "</IP><ID>" + id.toLatin1() +
        "</ID><ICQ>12345</ICQ><COLOR>128</COLOR><NAME>Ann</NAME><NAME2>Smith</NAME2>"
        "<EMAIL>ann@example.org</EMAIL><STREET>Main st\n1</STREET><TOWN>Springfield</TOWN>"
        "<HOUSE>12</HOUSE><FIELD>North</FIELD><WSTREET>Quay 4</WSTREET>"
        "<WTOWN>Portsmouth</WTOWN><WHOUSE>B2</WHOUSE><WFIELD>South</WFIELD>"
        "<WNAME>Initech</WNAME><WDEPARTMENT>QA</WDEPARTMENT>"
        "<WTYPEWORK>Finding faults</WTYPEWORK><WPOST>Tester</WPOST><SEX>2</SEX><OLD>44</OLD>";
    QVERIFY(waitUntil([&] { return raw.heardFrom(pkUpdateInfo, id).size() == 2; }));
    const QList<QByteArray> updates = raw.heardFrom(pkUpdateInfo, id);
    QCOMPARE(updates.at(0), "UPDATEINFO!^:^$" + body + "<Interest>Kites</Interest>");
    QCOMPARE(updates.at(1), "UPDATEINFO!^:^$" + body + "<Interest>Kites!</Interest>");

    const TMyUserData stored(anna.store());
    QCOMPARE(stored.GetAlias(), QStringLiteral("Annie"));
    QCOMPARE(stored.GetStreet(), QStringLiteral("Main st\n1"));
    QCOMPARE(stored.GetColor(), 128);
    QCOMPARE(stored.GetSex(), 2);
    QCOMPARE(anna.store().readString(QStringLiteral("MYPROFILEUSER_"), QStringLiteral("OLD_")),
             QStringLiteral("300"));
    QCOMPARE(stored.GetImageIndex(), 14);
    QCOMPARE(stored.GetInterest(), QStringLiteral("Kites!"));
    const RUserID *me = anna.registry()->GetPeer(0);
    QCOMPARE(me->Age, quint8(44));
    QCOMPARE(me->Alias, QStringLiteral("Annie"));

    StatusPanels *status = anna.mainWindow()->statusPanels();
    QCOMPARE(status->panelText(1), QStringLiteral("Annie"));
    QCOMPARE(status->panelText(2), QStringLiteral(" IP: ") + ip + u' ');
    QCOMPARE(status->myImage()->pixmap().toImage(), ProfileImages16().image(14));
    QCOMPARE(anna.mainWindow()->windowTitle(), QStringLiteral("Perix Chat [Annie]"));
    // The own text style is the one named by the ID, in the new colour.
    const RVStyle *style = anna.mainWindow()->rvStyle();
    int own = -1;
    for (int n = 0; n < style->textStyleCount(); ++n) {
        if (style->textStyleName(n) == id)
            own = n;
    }
    QVERIFY(own > 0);
    QCOMPARE(style->textStyleColor(own), QColor(0x80, 0, 0));
    QCOMPARE(style->textStyleName(own), id);
}

void TestProfile::escapeClosesWithoutApplying()
{
    RawPeer raw;
    TestPeer anna("Anna");
    anna.start();
    QVERIFY(waitUntil([&] { return !raw.heardFrom(pkNew, anna.id()).isEmpty(); }));
    bool closedByCancel = false;
    ProfileWindowDriver driver([&](TfmUserProfile *dialog) {
        QTest::keyClicks(edit(dialog, "edAlias"), QStringLiteral("zzz"));
        QTest::keyClick(edit(dialog, "edAlias"), Qt::Key_Escape);
        closedByCancel = !dialog->isVisible() && dialog->result() == QDialog::Rejected;
    });
    anna.mainWindow()->actions()->action("actUserMyProfile")->trigger();
    QVERIFY(driver.ran());
    QVERIFY(closedByCancel);
    // Cancel too closes without a change.
    ProfileWindowDriver cancelDriver([&](TfmUserProfile *dialog) {
        QTest::keyClicks(edit(dialog, "edName1"), QStringLiteral("q"));
        QTest::mouseClick(child<QPushButton>(dialog, "btnCancel"), Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
    });
    anna.mainWindow()->actions()->action("actUserMyProfile")->trigger();
    QVERIFY(cancelDriver.ran());
    QTest::qWait(200);
    QVERIFY(raw.heardFrom(pkUpdateInfo, anna.id()).isEmpty());
    QCOMPARE(TMyUserData(anna.store()).GetAlias(), QStringLiteral("Anna"));
    QCOMPARE(TMyUserData(anna.store()).GetName(), QString());
    QCOMPARE(anna.registry()->GetPeer(0)->Alias, QStringLiteral("Anna"));
}

void TestProfile::blankAliasSendsNoAliasAndKeepsTitle()
{
    RawPeer raw;
    TestPeer anna("Anna"), boris("Boris");
    anna.start();
    boris.start();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1 && boris.onlineCount() == 1; }));
    const QString ip = anna.registry()->GetPeer(0)->IP;
    ProfileWindowDriver driver([&](TfmUserProfile *dialog) {
        retype(edit(dialog, "edAlias"), QString());
        QVERIFY(child<QPushButton>(dialog, "btnApply")->isEnabled());
        QCOMPARE(child<QAbstractButton>(dialog, "btnSelectImage")->text(),
                 QStringLiteral("Choice of the picture"));
        clickPage(dialog, 4);
        retype(edit(dialog, "edAge"), QStringLiteral("-5"));
        QTest::mouseClick(child<QPushButton>(dialog, "btnOK"), Qt::LeftButton);
    });
    anna.mainWindow()->actions()->action("actUserMyProfile")->trigger();
    QVERIFY(driver.ran());
    QVERIFY(waitUntil([&] { return !raw.heardFrom(pkUpdateInfo, anna.id()).isEmpty(); }));
    const QByteArray update = raw.heardFrom(pkUpdateInfo, anna.id()).constLast();
    QCOMPARE(update, "UPDATEINFO!^:^$<IMAGEINDEX>-1</IMAGEINDEX><IP>" + ip.toLatin1() + "</IP><ID>" +
                         anna.id().toLatin1() + "</ID><COLOR>0</COLOR><SEX>0</SEX><OLD>5</OLD>");
    QCOMPARE(anna.mainWindow()->windowTitle(), QStringLiteral("Perix Chat [Anna]"));
    QCOMPARE(anna.registry()->GetPeer(0)->Age, quint8(5));
    QCOMPARE(anna.store().readString(QStringLiteral("MYPROFILEUSER_"), QStringLiteral("OLD_")),
             QStringLiteral("-5"));
    // The peers show the IP instead of a name.
    QVERIFY(waitUntil([&] { return boris.nodeTexts() == QStringList{ip}; }));
    const int k = boris.registry()->peers().findOnline(anna.id());
    QCOMPARE(boris.registry()->GetPeer(k)->Alias, QString());
    QCOMPARE(boris.registry()->GetPeer(k)->Age, quint8(5));
}

void TestProfile::readOnlyPeerFromRawPeer()
{
    RawPeer raw;
    TestPeer anna("Anna");
    anna.start();
    raw.send(fullNewPacket(RawId));
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1; }));
    const int k = anna.registry()->peers().findOnline(RawId);
    QVERIFY(k > 0);

    // Alt+Enter in the user list, on the selected peer.
    TfmUserList *list = anna.userList();
    list->show();
    list->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(list));
    list->selectPeer(k);
    ProfileWindowDriver driver([&](TfmUserProfile *dialog) {
        QVERIFY(!dialog->isEditable());
        QCOMPARE(dialog->currentPage(), 0);
        QCOMPARE(dialog->headerText(),
                 QStringLiteral("Summary data for ") + RemoteText::isolate("<b>Raw</b>"));
        QCOMPARE(child<QLabel>(dialog, "lbHeader")->textFormat(), Qt::PlainText);
        const QList<std::pair<const char *, QString>> expected = {
            {"edAlias", "<b>Raw</b>"},
            {"edName1", "Rhea"},
            {"edName2", "Walker"},
            {"edEMail", "rhea@example.org"},
            {"edICQ", "998877"},
            {"edTown", "Lakeside"},
            {"edField", "East"},
            {"edHome", "5a"},
            {"edWTown", "Harbour"},
            {"edWHome", "7"},
            {"edWField", "Port"},
            {"edWName", "Acme"},
            {"edDepartment", "Testing"},
            {"edWPost", "Lead"},
            {"edWorkType", "Builds and releases"},
            {"edAge", "37"},
        };
        for (const auto &[name, text] : expected) {
            QLineEdit *field = edit(dialog, name);
            QVERIFY2(field, name);
            QCOMPARE(field->text(), text);
            QVERIFY2(field->isReadOnly(), name);
        }
        QCOMPARE(memo(dialog, "mmStreet")->toPlainText(), QStringLiteral("Elm Road 5\nBack house"));
        QCOMPARE(memo(dialog, "mmWStreet")->toPlainText(), QStringLiteral("Dock 3"));
        QCOMPARE(memo(dialog, "mmInterest")->toPlainText(), QStringLiteral("Sailing\nChess"));
        for (const char *name : {"mmStreet", "mmWStreet", "mmInterest"})
            QVERIFY2(memo(dialog, name)->isReadOnly(), name);
        QCOMPARE(child<QComboBox>(dialog, "cbSex")->currentIndex(), 2);
        QVERIFY(!child<QComboBox>(dialog, "cbSex")->isEnabled());
        QCOMPARE(child<ColorBox>(dialog, "edColor")->color(), 0xFF0000);
        QVERIFY(!child<ColorBox>(dialog, "edColor")->isEnabled());
        QCOMPARE(dialog->picture(), 17);
        QCOMPARE(child<QLabel>(dialog, "imHeader")->pixmap().toImage(), ProfileImages32().image(17));
        // The fields wear the window's colour.
        QCOMPARE(edit(dialog, "edAlias")->palette().color(QPalette::Base),
                 dialog->palette().color(QPalette::Window));

        const QStringList lines = summaryLines(dialog);
        QCOMPARE(lines.mid(0, 2), (QStringList{"IP: 10.1.2.3", "MAC: 00-11-22-33-44-55"}));
        QVERIFY(lines.contains(QStringLiteral("Alias: <b>Raw</b>")));
        QVERIFY(lines.contains(QStringLiteral("Street: Elm Road 5")));
        QVERIFY(lines.contains(QStringLiteral("Back house")));
        QVERIFY(lines.contains(QStringLiteral("Work type: Builds and releases")));
        QVERIFY(lines.contains(QStringLiteral("Sex: Women")));
        QVERIFY(lines.contains(QString(QChar::ObjectReplacementCharacter) + QStringLiteral("  Work")));
        QCOMPARE(colourOf(dialog->summaryView()->document(), QStringLiteral("Rhea")), QColor(0, 0, 0xFF));

        // Nothing can be edited and "Apply" stays off, whatever is typed.
        auto *apply = child<QPushButton>(dialog, "btnApply");
        QTest::keyClicks(edit(dialog, "edAlias"), QStringLiteral("xy"));
        QTest::keyClick(edit(dialog, "edAlias"), Qt::Key_Backspace);
        QTest::keyClick(edit(dialog, "edName1"), Qt::Key_Delete);
        QTest::keyClicks(memo(dialog, "mmStreet"), QStringLiteral("zz"));
        QCOMPARE(edit(dialog, "edAlias")->text(), QStringLiteral("<b>Raw</b>"));
        QCOMPARE(memo(dialog, "mmStreet")->toPlainText(), QStringLiteral("Elm Road 5\nBack house"));
        QVERIFY(!apply->isEnabled());
        // The chooser does not open.
        QTest::mousePress(child<QAbstractButton>(dialog, "btnSelectImage"), Qt::LeftButton);
        QVERIFY(!QApplication::activePopupWidget());
        QTest::mouseRelease(child<QAbstractButton>(dialog, "btnSelectImage"), Qt::LeftButton);
        QTest::mouseClick(apply, Qt::LeftButton);
        // OK (and Enter) close without applying anything.
        QTest::keyClick(edit(dialog, "edICQ"), Qt::Key_Return);
        QVERIFY(!dialog->isVisible());
    });
    raw.clear();
    QTest::keyClick(list->mainGroup()->tree(), Qt::Key_Return, Qt::AltModifier);
    QVERIFY(driver.ran());
    QTest::qWait(100);
    QVERIFY(raw.heardFrom(pkUpdateInfo, anna.id()).isEmpty());
    QCOMPARE(TMyUserData(anna.store()).GetAlias(), QStringLiteral("Anna"));

    // With no peer selected, "User profile..." opens nothing.
    list->mainGroup()->tree()->clearSelection();
    ProfileWindowDriver none([](TfmUserProfile *) {});
    anna.mainWindow()->actions()->action("actUserNetProfile")->trigger();
    QTest::qWait(100);
    QVERIFY(!none.ran());
}

void TestProfile::peerWithoutPictureShowsPictureZero()
{
    TestPeer anna("Anna");
    anna.start();
    RawPeer raw;
    raw.send(fullNewPacket(RawId, "-1"));
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1; }));
    const int k = anna.registry()->peers().findOnline(RawId);
    QCOMPARE(anna.registry()->GetPeer(k)->PictureIndex, 0);
    TfmUserProfile dialog;
    dialog.SetMode(false);
    dialog.LoadEntry(*anna.registry()->GetPeer(k));
    QCOMPARE(dialog.picture(), 0);
    QCOMPARE(child<QLabel>(&dialog, "imHeader")->pixmap().toImage(), ProfileImages32().image(0));
    QCOMPARE(child<QAbstractButton>(&dialog, "btnSelectImage")->text(), QStringLiteral("<b>Raw</b>"));
    // The local user without a picture: no header picture, the "choose" bitmap and caption.
    RUserID me;
    me.PictureIndex = -1;
    TfmUserProfile mine;
    mine.SetMode(true);
    mine.LoadEntry(me);
    mine.showPage(0);
    QCOMPARE(child<QLabel>(&mine, "imHeader")->pixmap().toImage(), ProfilePageImages32().image(0));
    QCOMPARE(child<QAbstractButton>(&mine, "btnSelectImage")->text(),
             QStringLiteral("Choice of the picture"));
    QCOMPARE(mine.headerText(), QStringLiteral("Summary data"));
    // Typing an alias refreshes the caption and its width.
    const int before = child<QAbstractButton>(&mine, "btnSelectImage")->width();
    QTest::keyClicks(edit(&mine, "edAlias"), QStringLiteral("Al"));
    QCOMPARE(child<QAbstractButton>(&mine, "btnSelectImage")->text(), QStringLiteral("Al"));
    QVERIFY(child<QAbstractButton>(&mine, "btnSelectImage")->width() < before);
    QCOMPARE(child<QAbstractButton>(&mine, "btnSelectImage")->width(),
             PictureButtonWidth(mine.fontMetrics().horizontalAdvance(QStringLiteral("Al")), 32));
}

// The window has one size, whatever a peer put into its profile; a long alias is cut short where it
// is drawn, and the buttons stay inside the window.
void TestProfile::longPeerAliasIsElidedNotStretched()
{
    RUserID peer;
    peer.ID = QStringLiteral("{LONG}");
    peer.IP = QStringLiteral("10.0.0.9");
    peer.PictureIndex = 12;
    peer.Alias = QStringLiteral("Wim");
    TfmUserProfile usual;
    usual.SetMode(false);
    usual.LoadEntry(peer);
    usual.show();
    QVERIFY(QTest::qWaitForWindowExposed(&usual));

    peer.Alias = QString(330, u'W');
    peer.WorkName = QString(330, u'M');
    TfmUserProfile dialog;
    dialog.SetMode(false);
    dialog.LoadEntry(peer);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    for (int page = 0; page < UserProfile::PageCount; ++page) {
        dialog.showPage(page);
        QCoreApplication::processEvents();
        QCOMPARE(dialog.size(), usual.size());
    }
    QVERIFY(dialog.width() <= dialog.screen()->availableGeometry().width());
    for (const char *name : {"btnOK", "btnCancel", "btnApply"}) {
        const QPushButton *button = child<QPushButton>(&dialog, name);
        QVERIFY2(dialog.rect().contains(QRect(button->mapTo(&dialog, QPoint(0, 0)), button->size())), name);
    }
    dialog.showPage(UserProfile::BasicPage);
    const QAbstractButton *picture = child<QAbstractButton>(&dialog, "btnSelectImage");
    const QWidget *names = child<QWidget>(&dialog, "gbName");
    QVERIFY(picture->width() < names->width());
    // The caption is still the alias; only its drawing is cut.
    QCOMPARE(picture->text(), peer.Alias);
    QVERIFY(withoutIsolates(dialog.headerText()).endsWith(peer.Alias) || dialog.currentPage() != 0);
}

void TestProfile::fieldLimitsInWindow()
{
    RUserID me;
    me.Alias = QStringLiteral("A");
    TfmUserProfile dialog;
    dialog.SetMode(true);
    dialog.LoadEntry(me);
    dialog.show();
    for (const QString &name : UserProfile::LimitedFields()) {
        const int limit = UserProfile::FieldLimit(name);
        QWidget *field = dialog.findChild<QWidget *>(name);
        QVERIFY2(field, qPrintable(name));
        if (auto *line = qobject_cast<QLineEdit *>(field)) {
            line->clear();
            QTest::keyClicks(line, QString(limit + 4, u'7'));
            QCOMPARE(line->text().size(), limit);
        } else {
            auto *text = qobject_cast<QPlainTextEdit *>(field);
            QVERIFY(text);
            text->clear();
            dialog.showPage(name == QLatin1String("mmInterest") ? 4
                            : name == QLatin1String("mmStreet") ? 2
                                                                : 3);
            text->setFocus();
            QTest::keyClicks(text, QString(limit + 4, u'm'));
            QCOMPARE(text->toPlainText().size(), limit);
            // Pasting is cut to what still fits.
            text->clear();
            QTest::keyClicks(text, QString(limit - 3, u'm'));
            QApplication::clipboard()->setText(QStringLiteral("abcdef"));
            text->paste();
            QCOMPARE(text->toPlainText(), QString(limit - 3, u'm') + QStringLiteral("abc"));
            // Ctrl+Enter makes no line beyond the limit either.
            QTest::keyClick(text, Qt::Key_Return, Qt::ControlModifier);
            QCOMPARE(text->toPlainText().size(), limit);
        }
    }
    // A peer's longer text is shown in full in read-only mode.
    RUserID peer;
    peer.Alias = QString(40, u'p');
    peer.Interest = QString(300, u'i');
    TfmUserProfile view;
    view.SetMode(false);
    view.LoadEntry(peer);
    QCOMPARE(edit(&view, "edAlias")->text().size(), 40);
    QCOMPARE(memo(&view, "mmInterest")->toPlainText().size(), 300);
}

void TestProfile::chooserCloseRulesAndEdges()
{
    RUserID me;
    me.PictureIndex = 12;
    TfmUserProfile dialog;
    dialog.SetMode(true);
    dialog.LoadEntry(me);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *button = child<QAbstractButton>(&dialog, "btnSelectImage");
    auto *apply = child<QPushButton>(&dialog, "btnApply");
    const auto open = [&]() -> TfmSelectPicture * {
        QTest::mousePress(button, Qt::LeftButton);
        return qobject_cast<TfmSelectPicture *>(QApplication::activePopupWidget());
    };
    const auto closedUnchanged = [&](const char *how) {
        QVERIFY2(QTest::qWaitFor([] { return !QApplication::activePopupWidget(); }), how);
        QVERIFY2(!button->isDown(), how);
        QCOMPARE(dialog.picture(), 12);
        QVERIFY2(!apply->isEnabled(), how);
    };
    TfmSelectPicture *chooser = open();
    QVERIFY(chooser);
    QPointer<TfmSelectPicture> guard(chooser);
    QTest::keyClick(chooser, Qt::Key_Escape);
    closedUnchanged("Esc");
    QVERIFY(QTest::qWaitFor([&] { return guard.isNull(); }));
    chooser = open();
    QVERIFY(chooser);
    QTest::keyClick(chooser, Qt::Key_Return);
    closedUnchanged("Enter");
    chooser = open();
    QVERIFY(chooser);
    // The release of the opening press does not choose; a click between the squares closes.
    QTest::mouseRelease(chooser, Qt::LeftButton, {}, QPoint(1, 1));
    QVERIFY(chooser->isVisible());
    QTest::mouseClick(chooser, Qt::LeftButton, {}, QPoint(SelectPicture::SquareRect(0).right() + 1, 20));
    closedUnchanged("background");
    chooser = open();
    QVERIFY(chooser);
    chooser->clearFocus();
    QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(chooser, &out);
    closedUnchanged("focus lost");
    // Choosing "no picture".
    chooser = open();
    QVERIFY(chooser);
    QTest::mouseClick(chooser, Qt::LeftButton, {}, SelectPicture::SquareRect(14).center());
    QVERIFY(QTest::qWaitFor([] { return !QApplication::activePopupWidget(); }));
    QCOMPARE(dialog.picture(), -1);
    QVERIFY(apply->isEnabled());
    QCOMPARE(button->text(), QStringLiteral("Choice of the picture"));

    // At the desktop's right and bottom edges the chooser opens up and to the left of the centre.
    const QRect desktop = dialog.screen()->availableGeometry();
    dialog.move(desktop.right() - dialog.width() + 1, desktop.bottom() - dialog.height() + 1);
    QVERIFY(QTest::qWaitFor([&] { return dialog.frameGeometry().bottom() >= desktop.bottom() - 1; }));
    dialog.showPage(1);
    button->move(button->parentWidget()->width() - button->width(), button->y());
    QVERIFY(QTest::qWaitFor([&] { return button->mapToGlobal(QPoint()).x() > 0; }));
    const QPoint centre = button->mapToGlobal(button->rect().center());
    QVERIFY(centre.x() + 187 > desktop.right() + 1 || centre.y() + 113 > desktop.bottom() + 1);
    chooser = open();
    QVERIFY(chooser);
    QCOMPARE(chooser->pos(), SelectPicture::Position(centre, QSize(187, 113), desktop));
    QVERIFY(desktop.contains(chooser->geometry()));
    QTest::keyClick(chooser, Qt::Key_Escape);
}

void TestProfile::helpKeyAndMailButton()
{
    TestPeer anna("Anna");
    anna.start();
    ShellOpen::clearOpened();
    ProfileWindowDriver driver([&](TfmUserProfile *dialog) {
        QSignalSpy help(dialog, &TfmUserProfile::helpRequested);
        QTest::keyClick(edit(dialog, "edName2"), Qt::Key_F1);
        QCOMPARE(help.size(), 1);
        QCOMPARE(help.at(0).at(0).toInt(), 5000);
        QTest::keyClick(child<QTreeWidget>(dialog, "tvProfile"), Qt::Key_F1);
        QCOMPARE(help.size(), 2);
        auto *mail = child<QToolButton>(dialog, "btnMail");
        QTest::mouseClick(mail, Qt::LeftButton);
        QTest::keyClicks(edit(dialog, "edEMail"), QStringLiteral("  a@b.example  "));
        QTest::mouseClick(mail, Qt::LeftButton);
    });
    anna.mainWindow()->actions()->action("actUserMyProfile")->trigger();
    QVERIFY(driver.ran());
    QStringList opened = ShellOpen::opened();
    QVERIFY(opened.contains(QStringLiteral("MailTo:a@b.example")));
    opened.removeAll(QStringLiteral("MailTo:a@b.example"));
    // F1 went through the main window's help at topic 5000 (when the help file is there).
    for (const QString &target : std::as_const(opened))
        QVERIFY2(target.endsWith(QStringLiteral("#topic-5000")), qPrintable(target));
}

void TestProfile::myImageDoubleClickAndProfileSubmenu()
{
    TestPeer anna("Anna"), boris("Boris");
    anna.start();
    boris.start();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1; }));
    bool editable = false;
    ProfileWindowDriver driver([&](TfmUserProfile *dialog) {
        editable = dialog->isEditable();
        QCOMPARE(edit(dialog, "edAlias")->text(), QStringLiteral("Anna"));
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    QTest::mouseDClick(anna.mainWindow()->statusPanels()->myImage(), Qt::LeftButton);
    QVERIFY(driver.ran());
    QVERIFY(editable);

    // "User profile..." in the "My profile" submenu follows the user list's selection each time.
    MainMenus *menus = anna.mainWindow()->menus();
    QAction *netProfile = anna.mainWindow()->actions()->action("actUserNetProfile");
    anna.userList()->mainGroup()->tree()->clearSelection();
    QMetaObject::invokeMethod(menus->menu("miMyProfile"), "aboutToShow");
    QVERIFY(!netProfile->isEnabled());
    QMetaObject::invokeMethod(menus->menu("miMyProfile"), "aboutToHide");
    anna.userList()->selectPeer(anna.registry()->peers().findOnline(boris.id()));
    QMetaObject::invokeMethod(menus->menu("miMyProfile"), "aboutToShow");
    QVERIFY(netProfile->isEnabled());
    QMetaObject::invokeMethod(menus->menu("miMyProfile"), "aboutToHide");
}

void TestProfile::memberItemOpensProfileAndFollowsRename()
{
    TestPeer anna("Anna"), boris("Boris");
    anna.start();
    boris.start();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1 && boris.onlineCount() == 1; }));
    TfmUserList *list = anna.userList();
    const int k = list->registry()->peers().findOnline(boris.id());
    TalkManager *talks = anna.mainWindow()->talks();

    // A private talk and an own group talk of the main group, with Boris as its member.
    list->selectPeer(k);
    talks->MessageToUser();
    const int privateSheet = talks->FindPrivateTalk(boris.id());
    QVERIFY(privateSheet > 0);
    list->mainGroup()->tree()->setFocus();
    talks->MessageToGroup();
    const int groupSheet = talks->FindOwnGroupTalk(list->mainGroup()->Tag());
    QVERIFY(groupSheet > 0);
    QAction *item = talks->frame(groupSheet)->memberItem(k);
    QVERIFY(item);
    // Boris's own group talk with Anna: she becomes a member on its first message.
    boris.userList()->selectPeer(boris.registry()->peers().findOnline(anna.id()));
    boris.mainWindow()->talks()->MessageToGroup();
    const int borisGroup =
        boris.mainWindow()->talks()->FindOwnGroupTalk(boris.userList()->mainGroup()->Tag());
    QVERIFY(borisGroup > 0);
    boris.mainWindow()->talks()->frame(borisGroup)->reMessage()->setPlainText(QStringLiteral("hi"));
    QVERIFY(boris.mainWindow()->talks()->SendMessage(borisGroup));
    int memberSheet = -1;
    QVERIFY(waitUntil([&] {
        for (int i = 1; i < talks->count(); ++i) {
            if (talks->frame(i)->data().kind == tkMemberGroup)
                memberSheet = i;
        }
        return memberSheet > 0;
    }));
    QCOMPARE(anna.mainWindow()->talks()->caption(memberSheet), QStringLiteral("[Boris] Main group"));

    // The member item's "User profile" first selects that member.
    list->mainGroup()->tree()->clearSelection();
    QCOMPARE(list->SelectedUser(), -1);
    QMenu *menu = item->menu();
    QMetaObject::invokeMethod(menu, "aboutToShow");
    QAction *profile = nullptr;
    for (QAction *a : menu->actions()) {
        if (a->objectName() == QLatin1String("miUserProfil"))
            profile = a;
    }
    QVERIFY(profile);
    QVERIFY(profile->isEnabled() && profile->isVisible());
    ProfileWindowDriver driver([&](TfmUserProfile *dialog) {
        QVERIFY(!dialog->isEditable());
        QCOMPARE(edit(dialog, "edAlias")->text(), QStringLiteral("Boris"));
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    profile->trigger();
    QVERIFY(driver.ran());
    QCOMPARE(list->SelectedUser(), k);

    // Boris changes his alias and picture: Anna's node, tabs and member item follow.
    TfmUserProfile borisWindow;
    borisWindow.setApplyTarget(boris.registry());
    borisWindow.SetMode(true);
    borisWindow.LoadEntry(*boris.registry()->GetPeer(0));
    edit(&borisWindow, "edAlias")->setText(QStringLiteral("Bobby"));
    borisWindow.setPicture(20);
    borisWindow.ApplyProfile();
    // The node keeps its count of Boris's unread messages after the new name.
    const int unread = anna.mainWindow()->alerts()->unreadFrom(boris.id());
    const QString bobby = unread > 0 ? QStringLiteral("Bobby (%1)").arg(unread) : QStringLiteral("Bobby");
    QVERIFY(waitUntil([&] { return anna.nodeTexts() == QStringList{bobby}; }));
    QCOMPARE(list->registry()->GetPeer(k)->PictureIndex, 20);
    QCOMPARE(anna.mainWindow()->talks()->caption(privateSheet), QStringLiteral("Bobby"));
    QCOMPARE(item->text(), PeerText::menuText(QStringLiteral("Bobby")));
    const int size = anna.mainWindow()->actions()->action("actBtnBigIcon")->isChecked() ? 32 : 16;
    QCOMPARE(item->icon().pixmap(size, size).toImage(),
             (size == 32 ? ProfileImages32() : ProfileImages16()).image(20));
    QCOMPARE(anna.mainWindow()->talks()->caption(memberSheet), QStringLiteral("[Bobby] Main group"));
    QCOMPARE(talks->frame(memberSheet)->data().AuthorAlias, QStringLiteral("Bobby"));
    QCOMPARE(anna.mainWindow()->talks()->caption(groupSheet), QStringLiteral("Main group"));
}

void TestProfile::colorBoxCustomColour()
{
    ColorBox box;
    QCOMPARE(box.color(), 0);
    QCOMPARE(box.count(), 17);
    box.setColor(0x00FFFF);
    QCOMPARE(box.currentText(), QStringLiteral("Yellow"));
    // A colour outside the list takes the custom entry.
    box.setColor(0x123456);
    QCOMPARE(box.count(), 18);
    QCOMPARE(box.currentText(), QStringLiteral("Custom"));
    QCOMPARE(box.color(), 0x123456);
    box.setColor(WireColors::WindowText);
    QCOMPARE(box.count(), 18);
    QCOMPARE(box.color(), WireColors::WindowText);

    // "Custom..." asks with the colour dialog, driven by its keys.
    box.show();
    QSignalSpy chosen(&box, &ColorBox::colorChosen);
    bool asked = false;
    QTimer::singleShot(0, &box, [&asked] {
        QVERIFY(
            QTest::qWaitFor([] { return qobject_cast<QColorDialog *>(QApplication::activeModalWidget()); }));
        auto *dialog = qobject_cast<QColorDialog *>(QApplication::activeModalWidget());
        asked = true;
        dialog->setCurrentColor(QColor(0x10, 0x20, 0x30));
        QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, Qt::Key_Return);
    });
    QTest::keyClick(&box, Qt::Key_End);
    QVERIFY(asked);
    QCOMPARE(chosen.size(), 1);
    QCOMPARE(box.color(), 0x302010);
    QCOMPARE(chosen.at(0).at(0).toInt(), 0x302010);
}

void TestProfile::userListMagnet()
{
    TestPeer anna("Anna");
    anna.start();
    QWidget *main = anna.mainWindow();
    TfmUserList *list = anna.userList();
    main->move(40, 40);
    list->show();
    auto *magnet = list->findChild<WindowMagnet *>();
    QVERIFY(magnet);
    QVERIFY(QTest::qWaitFor([&] { return main->frameGeometry().topLeft() == QPoint(40, 40); }));
    const QRect m = main->frameGeometry();
    const int right = m.x() + m.width();

    // Dropped six pixels off the right edge and four below the top: flush and level.
    list->move(right + 6, m.y() + 4);
    QVERIFY(QTest::qWaitFor([&] { return list->frameGeometry().topLeft() == QPoint(right, m.y()); }, 2000));
    QCOMPARE(magnet->dockedSide(), Magnet::Side::Right);
    // Docked, it follows the main window.
    main->move(m.x() + 30, m.y() + 20);
    QVERIFY(QTest::qWaitFor([&] { return list->frameGeometry().topLeft() == QPoint(right + 30, m.y() + 20); },
                            2000));
    // Far away it stays where it is dropped, and no longer follows.
    list->move(right + 140, m.y() + 60);
    QTest::qWait(WindowMagnet::SettleMs * 2);
    QCOMPARE(list->frameGeometry().topLeft(), QPoint(right + 140, m.y() + 60));
    QCOMPARE(magnet->dockedSide(), Magnet::Side::None);
    main->move(m.x(), m.y());
    QTest::qWait(50);
    QCOMPARE(list->frameGeometry().topLeft(), QPoint(right + 140, m.y() + 60));
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestProfile test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_profile.moc"
