// Languages switched at run time on complete copies of the program, and the event sounds they play.
#include "PeerHarness.h"

#include "app/ui/LngApply.h"
#include "app/ui/MainActionList.h"
#include "app/ui/MainMenus.h"
#include "features/LngCatalogue.h"
#include "features/LngIniFile.h"
#include "features/LngUn.h"
#include "features/ui/EventSounds.h"
#include "features/ui/LngMenu.h"
#include "features/ui/MessageBox.h"
#include "features/ui/ShellOpen.h"
#include "features/ui/StatusPanels.h"
#include "peers/ui/UserGroupBox.h"
#include "protocol/ConstUnit.h"
#include "protocol/Guid.h"
#include "protocol/SendMessageUn.h"
#include "settings/iniFileUn.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {

const QString SourceLng = QStringLiteral(PERIX_SOURCE_DIR "/assets/Lng");
const QString SourceSound = QStringLiteral(PERIX_SOURCE_DIR "/assets/Sound");

void copyFolder(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    for (const QFileInfo &file : QDir(from).entryInfoList(QDir::Files))
        QFile::copy(file.absoluteFilePath(), to + u'/' + file.fileName());
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QAction *languageItem(const TestPeer &peer, const QString &fileName)
{
    for (QAction *item : peer.mainWindow()->languageMenu()->items()) {
        if (QFileInfo(LngMenu::itemFile(item)).fileName() == fileName)
            return item;
    }
    return nullptr;
}

// Every caption and hint the user sees on the two windows, by object name (and position for repeats).
QMap<QString, QString> snapshot(const TestPeer &peer)
{
    QMap<QString, QString> texts;
    const auto add = [&texts](const QString &key, const QString &value) {
        QString unique = key;
        for (int n = 2; texts.contains(unique); ++n)
            unique = key + u'#' + QString::number(n);
        texts.insert(unique, value);
    };
    for (QWidget *window :
         {static_cast<QWidget *>(peer.mainWindow()), static_cast<QWidget *>(peer.userList())}) {
        const QString w = window->objectName() + u'/';
        add(w + QStringLiteral("title"), window->windowTitle());
        for (const QAction *a : window->findChildren<QAction *>()) {
            if (!a->objectName().isEmpty() && !a->objectName().startsWith(QLatin1StringView("miLanguage")))
                add(w + a->objectName(), a->text() + u'|' + a->toolTip() + u'|' + a->statusTip());
        }
        for (const QMenu *m : window->findChildren<QMenu *>())
            add(w + QStringLiteral("menu:") + m->objectName(), m->title());
        for (const QToolBar *t : window->findChildren<QToolBar *>())
            add(w + QStringLiteral("bar:") + t->objectName(), t->windowTitle());
        for (const QTabWidget *tabs : window->findChildren<QTabWidget *>()) {
            for (int i = 0; i < tabs->count(); ++i)
                add(w + QStringLiteral("tab:%1").arg(i), tabs->tabText(i));
        }
        for (const UserGroupBox *group : window->findChildren<UserGroupBox *>())
            add(w + QStringLiteral("group:") + group->objectName(), group->caption());
    }
    return texts;
}

// Every main-window text of the catalogue, as the objects of that name show it.
QStringList mismatches(const TestPeer &peer, const LngIniFile &file)
{
    QStringList wrong;
    for (const Lng::CatalogueEntry &entry : Lng::Catalogue()) {
        if (entry.use != Lng::TextUse::MainWindow)
            continue;
        const QString expected = file.value(entry.sectionName(), entry.keyName(), entry.defaultValue());
        const bool hint = entry.keyName() == QLatin1StringView("Hint");
        for (const QObject *object : peer.mainWindow()->findChildren<QObject *>(entry.sectionName())) {
            QString shown = expected;
            if (const auto *a = qobject_cast<const QAction *>(object))
                shown = hint ? a->toolTip() : a->text();
            else if (const auto *m = qobject_cast<const QMenu *>(object); m && !hint)
                shown = m->title();
            else if (const auto *t = qobject_cast<const QToolBar *>(object))
                shown = t->windowTitle();
            if (shown != expected)
                wrong.append(entry.sectionName() + u'/' + entry.keyName() + QStringLiteral(": ") + shown);
        }
    }
    const int tab = peer.mainWindow()->pages()->indexOf(
        peer.mainWindow()->pages()->findChild<QWidget *>(QStringLiteral("tsAllUsers")));
    if (peer.mainWindow()->pages()->tabText(tab) !=
        file.value(QStringLiteral("tsAllUsers"), QStringLiteral("Caption"), QStringLiteral("All Users")))
        wrong.append(QStringLiteral("tsAllUsers tab: ") + peer.mainWindow()->pages()->tabText(tab));
    return wrong;
}

QString fileText(const QString &name, const char *section, const char *key = "Caption")
{
    return LngIniFile::load(SourceLng + u'/' + name)
        .value(QLatin1StringView(section), QLatin1StringView(key))
        .value_or(QString());
}

QAction *userListAction(const TestPeer &peer, const char *name)
{
    return peer.userList()->findChild<QAction *>(QLatin1StringView(name));
}

struct SoundRecorder {
    explicit SoundRecorder(const QString &onlyUnder)
        : dir(onlyUnder)
    {
        EventSounds::setPlayHook([this](int kind, const QString &path) {
            if (path.startsWith(dir)) {
                plays.append(kind);
                paintsBefore.append(paints.count);
            }
        });
        qApp->installEventFilter(&paints);
    }
    ~SoundRecorder() { EventSounds::setPlayHook({}); }
    int count(int kind) const { return int(plays.count(kind)); }

    // Every widget's paint events, to tell what a sound came after.
    struct PaintCount : QObject {
        int count = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            count += event->type() == QEvent::Paint;
            return false;
        }
    };
    QString dir;
    QList<int> plays;
    QList<int> paintsBefore;
    PaintCount paints;
};

} // namespace

class TestLanguages : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void menuListsEveryFile();
    void switchingBackAndForthRestoresEveryCaption();
    void clickingTheCheckedItemChangesNothing();
    void choiceSurvivesRestart();
    void movedProgramRestoresNothing();
    void dialogsReadTheirTexts();
    void startSoundOnFirstShowOnly();
    void connectBurstPlaysOnce();
    void messageAndDisconnectFollowTheirOptions();
    void noSoundFolderIsSilent();
};

void TestLanguages::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    MessageBox::setAutoAnswer(QMessageBox::Ok);
    ShellOpen::setRecording(true);
}

void TestLanguages::cleanup()
{
    // The lookup and the shared texts live for the process: every test starts in English.
    Lng::SetCurrentFile(QString());
    ConstUnit::resetTexts();
}

void TestLanguages::menuListsEveryFile()
{
    QTemporaryDir dir;
    const QString lng = dir.filePath(QStringLiteral("Lng"));
    copyFolder(SourceLng, lng);
    writeFile(lng + QStringLiteral("/NoName.ini"), "[actHelp]\nCaption=\"Hilfe!\"\n");
    writeFile(lng + QStringLiteral("/Twin.lng"), "[LNG]\nLanguageName=Deutsch\n");
    writeFile(lng + QStringLiteral("/junk.bin"), QByteArray("\x00\xFF\xFE\x01[", 5));
    QVERIFY(QDir(lng).mkdir(QStringLiteral("Old")));
    TestPeer anna("Anna", dir.path());
    anna.start();

    QMenu *menu = anna.mainWindow()->menus()->menu(QStringLiteral("tbsiLanguage"));
    const QList<QAction *> items = anna.mainWindow()->languageMenu()->items();
    QCOMPARE(menu->actions(), items);
    QStringList captions;
    for (const QAction *item : items) {
        captions.append(item->text());
        QVERIFY(item->isCheckable());
        QVERIFY(!item->isChecked());
        QCOMPARE(item->toolTip(), QFileInfo(item->toolTip()).absoluteFilePath());
        QCOMPARE(QFileInfo(item->toolTip()).absolutePath(), QDir(lng).absolutePath());
    }
    captions.sort();
    QCOMPARE(captions, QStringList({QStringLiteral("Deutsch"), QStringLiteral("Deutsch"),
                                    QStringLiteral("English"), QStringLiteral("NoName.ini"),
                                    QStringLiteral("junk.bin"), QStringLiteral("Русский")}));
    QVERIFY(anna.mainWindow()->languageMenu()->checkedFile().isEmpty());

    // Junk leaves every text at its default; a file without a language name still gives its texts.
    languageItem(anna, QStringLiteral("junk.bin"))->trigger();
    QCOMPARE(Lng::CurrentFile(), lng + QStringLiteral("/junk.bin"));
    QVERIFY(languageItem(anna, QStringLiteral("junk.bin"))->isChecked());
    QCOMPARE(menu->title(), QStringLiteral("Language"));
    QCOMPARE(anna.mainWindow()->actions()->action(QStringLiteral("actBtnLitleIcon"))->text(),
             QStringLiteral("Litle icons"));
    QCOMPARE(mismatches(anna, LngIniFile()), QStringList());
    languageItem(anna, QStringLiteral("NoName.ini"))->trigger();
    QVERIFY(!languageItem(anna, QStringLiteral("junk.bin"))->isChecked());
    QCOMPARE(anna.mainWindow()->actions()->action(QStringLiteral("actHelp"))->text(),
             QStringLiteral("Hilfe!"));
    QCOMPARE(
        anna.mainWindow()->menus()->tbMainForm()->findChild<QAction *>(QStringLiteral("miHelpTB"))->text(),
        QStringLiteral("Hilfe!"));
    anna.close();

    // Without the folder the submenu stays empty.
    TestPeer boris("Boris");
    boris.start();
    QVERIFY(boris.mainWindow()->menus()->menu(QStringLiteral("tbsiLanguage"))->actions().isEmpty());
    boris.close();
}

void TestLanguages::switchingBackAndForthRestoresEveryCaption()
{
    QTemporaryDir dir;
    copyFolder(SourceLng, dir.filePath(QStringLiteral("Lng")));
    TestPeer anna("Anna", dir.path()), boris("Boris");
    anna.start();
    boris.start();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1; }));
    TfmUserList *list = anna.userList();
    // An own talk with the main group, whose tab follows the group's caption.
    list->mainGroup()->captionButton()->setFocus();
    QCOMPARE(list->ActiveGroup(), list->mainGroup());
    anna.mainWindow()->actions()->action(QStringLiteral("actMessageToGroup"))->trigger();
    const int groupSheet = anna.mainWindow()->talks()->FindOwnGroupTalk(list->mainGroup()->Tag());
    QVERIFY(groupSheet > 0);
    QCOMPARE(anna.mainWindow()->talks()->caption(groupSheet), QStringLiteral("Main group"));
    anna.mainWindow()->statusPanels()->SetStatusPanel(4, QStringLiteral("Auto-Reply mode"));

    languageItem(anna, QStringLiteral("German.lng"))->trigger();
    const LngIniFile german = LngIniFile::load(SourceLng + QStringLiteral("/German.lng"));
    QCOMPARE(mismatches(anna, german), QStringList());
    const MainActionList *actions = anna.mainWindow()->actions();
    MainMenus *menus = anna.mainWindow()->menus();
    QCOMPARE(menus->menu(QStringLiteral("tbsiLanguage"))->title(), QStringLiteral("Sprache"));
    QCOMPARE(menus->tbMainForm()->findChild<QAction *>(QStringLiteral("miMessage"))->toolTip(),
             fileText("German.lng", "actMessageToUser", "Hint") + QStringLiteral(" (Ctrl+U)"));
    QCOMPARE(menus->tbMainForm()->findChild<QAction *>(QStringLiteral("tbOptions"))->toolTip(),
             fileText("German.lng", "tbOptionsHint", "Hint"));
    QCOMPARE(menus->menu(QStringLiteral("tbPanelsOfTools"))->actions().value(0)->text(),
             QStringLiteral("Zusatzleiste"));
    QCOMPARE(menus->menu(QStringLiteral("miAnsweringMachineTrey"))->title(), QStringLiteral("Auto-Antwort"));
    QCOMPARE(menus->tbMainForm()->findChild<QAction *>(QStringLiteral("miMyProfile"))->text(),
             QStringLiteral("Mein Profil"));
    QCOMPARE(menus->tbAdditional()->findChild<QAction *>(QStringLiteral("miMailVariant"))->toolTip(),
             fileText("German.lng", "actMailUser", "Hint"));
    QCOMPARE(actions->action(QStringLiteral("actNotTalkGroup"))->toolTip(),
             QStringLiteral("Keine Gruppengespräche"));
    QCOMPARE(actions->action(QStringLiteral("actNotTalkGroup"))->statusTip(),
             QStringLiteral("Keine Gruppengespräche"));
    QCOMPARE(anna.mainWindow()->talks()->frame(0)->closeTalkItem()->toolTip(),
             QStringLiteral("Gespräch schließen"));
    QCOMPARE(anna.mainWindow()->talks()->frame(0)->clearMessageItem()->toolTip(),
             QStringLiteral("Nachrichtentext löschen"));
    QCOMPARE(anna.mainWindow()->statusPanels()->panelText(4), QStringLiteral("Auto-Antwort aktiv"));
    QCOMPARE(anna.mainWindow()->talks()->caption(groupSheet), QStringLiteral("Hauptgruppe"));
    // The user list.
    QCOMPARE(list->windowTitle(), QStringLiteral("Benutzerliste"));
    QCOMPARE(list->mainGroup()->caption(), QStringLiteral("Hauptgruppe"));
    QCOMPARE(list->badList()->caption(), QStringLiteral("Sperrliste"));
    QCOMPARE(userListAction(anna, "actAddToBadList")->text(), QStringLiteral("Zur Sperrliste hinzufügen"));
    QCOMPARE(userListAction(anna, "tbMoveToGroup")->text(), QStringLiteral("In Gruppe verschieben"));
    QCOMPARE(userListAction(anna, "miCreateNewGroup")->text(), QStringLiteral("Neue Gruppe erstellen"));
    QCOMPARE(userListAction(anna, "miCreateNewGroupBox")->text(), QStringLiteral("Neue Gruppe erstellen"));
    QCOMPARE(userListAction(anna, "miRenameGroup")->text(), QStringLiteral("Gruppe umbenennen"));
    QCOMPARE(userListAction(anna, "tbDeleteGroup")->text(), QStringLiteral("Gruppe löschen"));
    QCOMPARE(userListAction(anna, "miUserProfil")->text(), QStringLiteral("Benutzerprofil..."));
    QCOMPARE(userListAction(anna, "miUIMailUser")->text(), QStringLiteral("E-Mail"));
    QCOMPARE(userListAction(anna, "UIactMailAll")->text(), QStringLiteral("E-Mail an alle"));
    QCOMPARE(userListAction(anna, "miStayOnTopUserList")->text(),
             QStringLiteral("Benutzerliste immer im Vordergrund"));
    list->PreparePopup(list->mainGroup()->captionButton());
    QCOMPARE(userListAction(anna, "tbCollapseAndUncollapse")->text(), QStringLiteral("Gruppe zuklappen"));
    list->mainGroup()->setCollapsed(true);
    list->PreparePopup(list->mainGroup()->captionButton());
    QCOMPARE(userListAction(anna, "tbCollapseAndUncollapse")->text(), QStringLiteral("Gruppe aufklappen"));
    list->mainGroup()->setCollapsed(false);
    list->selectPeer(1);
    list->PreparePopup(list->mainGroup()->tree());
    QCOMPARE(userListAction(anna, "miDeactive")->text(), QStringLiteral("Sperren"));
    list->clearCommandTarget();
    // The shared texts: notices, dialog buttons.
    QCOMPARE(ConstUnit::text(ConstUnit::Text::MessageFromUser), QStringLiteral("Nachricht von „%s“..."));
    QCOMPARE(ConstUnit::text(ConstUnit::Text::BtnApply), QStringLiteral("Ü&bernehmen"));
    // A talk opened now takes the language at once.
    list->selectPeer(1);
    anna.mainWindow()->actions()->action(QStringLiteral("actMessageToUser"))->trigger();
    const int privateSheet = anna.mainWindow()->talks()->FindPrivateTalk(boris.id());
    QVERIFY(privateSheet > 0);
    QCOMPARE(anna.mainWindow()->talks()->frame(privateSheet)->closeTalkItem()->toolTip(),
             QStringLiteral("Gespräch schließen"));

    const QMap<QString, QString> inGerman = snapshot(anna);
    languageItem(anna, QStringLiteral("Russian.lng"))->trigger();
    QCOMPARE(mismatches(anna, LngIniFile::load(SourceLng + QStringLiteral("/Russian.lng"))), QStringList());
    QCOMPARE(list->windowTitle(), QStringLiteral("Список пользователей"));
    QCOMPARE(anna.mainWindow()->talks()->caption(groupSheet), QStringLiteral("Основная группа"));
    QCOMPARE(anna.mainWindow()->statusPanels()->panelText(4), QStringLiteral("Автоответчик включён"));
    const QMap<QString, QString> inRussian = snapshot(anna);
    QCOMPARE(inRussian.keys(), inGerman.keys());
    int changed = 0;
    for (auto it = inGerman.cbegin(); it != inGerman.cend(); ++it)
        changed += inRussian.value(it.key()) != it.value();
    QVERIFY2(changed > 100, qPrintable(QString::number(changed)));

    // And back: every caption of both windows is the German one again.
    languageItem(anna, QStringLiteral("German.lng"))->trigger();
    const QMap<QString, QString> back = snapshot(anna);
    for (auto it = inGerman.cbegin(); it != inGerman.cend(); ++it)
        QCOMPARE(back.value(it.key()), it.value());
    QCOMPARE(back.size(), inGerman.size());

    languageItem(anna, QStringLiteral("English.lng"))->trigger();
    QCOMPARE(mismatches(anna, LngIniFile::load(SourceLng + QStringLiteral("/English.lng"))), QStringList());
    QCOMPARE(actions->action(QStringLiteral("actBtnLitleIcon"))->text(), QStringLiteral("Little icons"));
    QCOMPARE(actions->action(QStringLiteral("actHideProgramm"))->text(),
             QStringLiteral("Hide Program in Tray when minimize"));
    QCOMPARE(anna.mainWindow()->talks()->caption(groupSheet), QStringLiteral("Main group"));
    boris.close();
    anna.close();
}

void TestLanguages::clickingTheCheckedItemChangesNothing()
{
    QTemporaryDir dir;
    const QString lng = dir.filePath(QStringLiteral("Lng"));
    copyFolder(SourceLng, lng);
    TestPeer anna("Anna", dir.path());
    anna.start();
    QAction *german = languageItem(anna, QStringLiteral("German.lng"));
    QAction *russian = languageItem(anna, QStringLiteral("Russian.lng"));
    german->trigger();
    QVERIFY(german->isChecked());
    QCOMPARE(anna.userList()->windowTitle(), QStringLiteral("Benutzerliste"));
    // Clicking the checked item does not read the file again, and it stays checked.
    writeFile(lng + QStringLiteral("/German.lng"), "[fmUserListCaption]\nCaption=Changed\n");
    german->trigger();
    QVERIFY(german->isChecked());
    QCOMPARE(anna.userList()->windowTitle(), QStringLiteral("Benutzerliste"));
    // An item whose file has gone changes nothing either.
    QVERIFY(QFile::remove(lng + QStringLiteral("/Russian.lng")));
    russian->trigger();
    QVERIFY(!russian->isChecked());
    QVERIFY(german->isChecked());
    QCOMPARE(anna.mainWindow()->languageMenu()->checkedFile(), lng + QStringLiteral("/German.lng"));
    QCOMPARE(anna.userList()->windowTitle(), QStringLiteral("Benutzerliste"));
    anna.close();
}

void TestLanguages::choiceSurvivesRestart()
{
    QTemporaryDir dir;
    const QString lng = dir.filePath(QStringLiteral("Lng"));
    copyFolder(SourceLng, lng);
    {
        TestPeer anna("Anna", dir.path());
        // Nothing checked: nothing written, the old value stays.
        writeSetting(anna.store(), Setting::LNGName, QStringLiteral("/nowhere/Klingon.lng"));
        anna.start();
        QVERIFY(anna.mainWindow()->languageMenu()->checkedFile().isEmpty());
        anna.close();
        QCOMPARE(readSetting(anna.store(), Setting::LNGName), QStringLiteral("/nowhere/Klingon.lng"));

        anna.start();
        languageItem(anna, QStringLiteral("Russian.lng"))->trigger();
        anna.close();
        QCOMPARE(readSetting(anna.store(), Setting::LNGName), lng + QStringLiteral("/Russian.lng"));
    }
    cleanup();
    TestPeer again("Anna", dir.path());
    again.start();
    QVERIFY(languageItem(again, QStringLiteral("Russian.lng"))->isChecked());
    QCOMPARE(Lng::CurrentFile(), lng + QStringLiteral("/Russian.lng"));
    // Restored before the user list existed: the list took its texts when it was created.
    QCOMPARE(again.userList()->windowTitle(), QStringLiteral("Список пользователей"));
    QCOMPARE(again.userList()->mainGroup()->caption(), QStringLiteral("Основная группа"));
    QCOMPARE(again.userList()->badList()->caption(), QStringLiteral("Чёрный список"));
    QCOMPARE(again.mainWindow()->pages()->tabText(0), QStringLiteral("Все пользователи"));
    QCOMPARE(again.mainWindow()->menus()->menu(QStringLiteral("tbsiLanguage"))->title(),
             QStringLiteral("Язык"));
    again.close();
}

void TestLanguages::movedProgramRestoresNothing()
{
    QTemporaryDir oldDir, newDir;
    copyFolder(SourceLng, oldDir.filePath(QStringLiteral("Lng")));
    copyFolder(SourceLng, newDir.filePath(QStringLiteral("Lng")));
    TestPeer anna("Anna", newDir.path());
    // The stored file still exists in the old folder: the new folder's file of that name is applied.
    writeSetting(anna.store(), Setting::LNGName, oldDir.filePath(QStringLiteral("Lng/German.lng")));
    anna.start();
    QCOMPARE(anna.mainWindow()->languageMenu()->checkedFile(),
             newDir.filePath(QStringLiteral("Lng/German.lng")));
    QCOMPARE(Lng::CurrentFile(), newDir.filePath(QStringLiteral("Lng/German.lng")));
    anna.close();
    QCOMPARE(readSetting(anna.store(), Setting::LNGName), newDir.filePath(QStringLiteral("Lng/German.lng")));
    cleanup();

    // The old folder is gone: its stored path no longer exists, so nothing is restored.
    writeSetting(anna.store(), Setting::LNGName, oldDir.filePath(QStringLiteral("Lng/German.lng")));
    QVERIFY(QDir(oldDir.filePath(QStringLiteral("Lng"))).removeRecursively());
    anna.start();
    QVERIFY(anna.mainWindow()->languageMenu()->checkedFile().isEmpty());
    QVERIFY(Lng::CurrentFile().isEmpty());
    QCOMPARE(anna.userList()->windowTitle(), QStringLiteral("User list"));
    QCOMPARE(anna.mainWindow()->talks()->caption(0), QStringLiteral("All users"));
    anna.close();
}

void TestLanguages::dialogsReadTheirTexts()
{
    QTemporaryDir dir;
    copyFolder(SourceLng, dir.filePath(QStringLiteral("Lng")));
    TestPeer anna("Anna", dir.path());
    anna.start();
    languageItem(anna, QStringLiteral("German.lng"))->trigger();
    QString title;
    bool closed = false;
    QTimer::singleShot(0, this, [&] {
        QWidget *about = QApplication::activeModalWidget();
        QVERIFY(about);
        title = about->windowTitle();
        QTest::keyClick(about, Qt::Key_Escape);
        closed = about->isHidden();
    });
    anna.mainWindow()->actions()->action(QStringLiteral("actAbout"))->trigger();
    QCOMPARE(title, QStringLiteral("Über Perix Chat"));
    QVERIFY(closed);
    const ErrorReportTexts report = LngApply::LanguageErrorReportTexts();
    QCOMPARE(report.description, QStringLiteral("Beschreibung:"));
    QCOMPARE(report.mail, QStringLiteral("&E-Mail>"));
    QVERIFY(report.apology.startsWith(QStringLiteral("Entschuldigen Sie")));
    // The closing questions read the shared texts when they are shown.
    QCOMPARE(ConstUnit::text(ConstUnit::Text::CloseTalkPrivateInformation),
             QStringLiteral("Privates Gespräch geschlossen"));
    anna.close();
}

void TestLanguages::startSoundOnFirstShowOnly()
{
    QTemporaryDir dir;
    copyFolder(SourceSound, dir.filePath(QStringLiteral("Sound")));
    SoundRecorder sounds(dir.path());
    TestPeer anna("Anna", dir.path());
    writeSetting(anna.store(), Setting::SoundPerixChat, true);
    anna.start();
    QVERIFY(waitUntil([&] { return sounds.count(EventSounds::Start) == 1; }));
    // The audio libraries load with it: after the window is on the screen.
    QVERIFY(sounds.paintsBefore.first() > 0);
    anna.mainWindow()->hide();
    QTest::qWait(int(EventSounds::MinimumGapMs) + 100);
    anna.mainWindow()->show();
    QTest::qWait(100);
    QCOMPARE(sounds.count(EventSounds::Start), 1);
    anna.close();

    // Off by default.
    QTemporaryDir other;
    copyFolder(SourceSound, other.filePath(QStringLiteral("Sound")));
    SoundRecorder none(other.path());
    TestPeer boris("Boris", other.path());
    boris.start();
    QTest::qWait(200);
    QVERIFY(!boris.mainWindow()->actions()->action(QStringLiteral("actSoundPerixChat"))->isChecked());
    QCOMPARE(none.plays.size(), 0);
    boris.close();
}

void TestLanguages::connectBurstPlaysOnce()
{
    QTemporaryDir dir;
    copyFolder(SourceSound, dir.filePath(QStringLiteral("Sound")));
    SoundRecorder sounds(dir.path());
    TestPeer anna("Anna", dir.path());
    anna.start();
    RawPeer raw;
    QVERIFY(raw.isReady());
    QStringList ids;
    for (int i = 0; i < 250; ++i) {
        RUserID u;
        u.ID = NewRegistryGuid();
        u.Alias = QStringLiteral("Peer %1").arg(i);
        u.IP = QStringLiteral("127.0.0.1");
        ids.append(u.ID);
        raw.send(BuildPresencePacket(u, true));
    }
    QElapsedTimer burst;
    burst.start();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 250; }, 20000));
    const qint64 took = burst.elapsed();
    // One sound for the whole burst; a burst spread over more than a sound's time may sound once more per
    // gap.
    QVERIFY2(sounds.count(EventSounds::UserConnect) >= 1 &&
                 sounds.count(EventSounds::UserConnect) <= 1 + took / EventSounds::MinimumGapMs,
             qPrintable(
                 QStringLiteral("%1 sounds in %2 ms").arg(sounds.count(EventSounds::UserConnect)).arg(took)));
    if (took < EventSounds::MinimumGapMs)
        QCOMPARE(sounds.count(EventSounds::UserConnect), 1);
    QTest::qWait(int(EventSounds::MinimumGapMs) + 100);
    for (const QString &id : std::as_const(ids)) {
        RUserID u;
        u.ID = id;
        u.IP = QStringLiteral("127.0.0.1");
        raw.send(BuildDisconnectPacket(u));
    }
    burst.restart();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 0; }, 20000));
    QVERIFY(sounds.count(EventSounds::UserDisconnect) >= 1 &&
            sounds.count(EventSounds::UserDisconnect) <= 1 + burst.elapsed() / EventSounds::MinimumGapMs);
    anna.close();
}

void TestLanguages::messageAndDisconnectFollowTheirOptions()
{
    QTemporaryDir dir;
    copyFolder(SourceSound, dir.filePath(QStringLiteral("Sound")));
    SoundRecorder sounds(dir.path());
    TestPeer anna("Anna", dir.path()), boris("Boris");
    anna.start();
    boris.start();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1; }));
    QCOMPARE(sounds.count(EventSounds::UserConnect), 1);
    const auto say = [&boris](const QString &text) {
        boris.mainWindow()->talks()->frame(0)->reMessage()->setPlainText(text);
        boris.mainWindow()->actions()->action(QStringLiteral("actSendMessage"))->trigger();
    };
    const auto transcript = [&anna] {
        return anna.mainWindow()->talks()->frame(0)->reAllMessage()->toPlainText();
    };

    QAction *newMessage = anna.mainWindow()->actions()->action(QStringLiteral("actSoundNewMessage"));
    QVERIFY(newMessage->isChecked());
    newMessage->trigger();
    QVERIFY(!newMessage->isChecked());
    say(QStringLiteral("first"));
    QVERIFY(waitUntil([&] { return transcript().contains(QStringLiteral("first")); }));
    QCOMPARE(sounds.count(EventSounds::NewMessage), 0);
    newMessage->trigger();
    say(QStringLiteral("second"));
    QVERIFY(waitUntil([&] { return transcript().contains(QStringLiteral("second")); }));
    QCOMPARE(sounds.count(EventSounds::NewMessage), 1);

    QAction *disconnect = anna.mainWindow()->actions()->action(QStringLiteral("actSoundUserDisconnect"));
    disconnect->trigger();
    QVERIFY(!disconnect->isChecked());
    boris.close();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 0; }));
    QCOMPARE(sounds.count(EventSounds::UserDisconnect), 0);
    // The sound options are kept with the others.
    anna.close();
    QVERIFY(!readSetting(anna.store(), Setting::SoundUserDisconnect));
    QVERIFY(readSetting(anna.store(), Setting::SoundNewMessage));
}

void TestLanguages::noSoundFolderIsSilent()
{
    QTemporaryDir dir;
    SoundRecorder sounds(dir.path());
    TestPeer anna("Anna", dir.path()), boris("Boris");
    writeSetting(anna.store(), Setting::SoundPerixChat, true);
    anna.start();
    boris.start();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1; }));
    boris.close();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 0; }));
    QCOMPARE(sounds.plays.size(), 0);
    QCOMPARE(anna.mainWindow()->eventSounds()->playCount(), 0);
    anna.close();
}

QTEST_MAIN(TestLanguages)
#include "test_languages.moc"
