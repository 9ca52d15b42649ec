// Starts two complete copies on loopback, lets them talk, and saves pictures of their windows.
#include "app/ChatCore.h"
#include "app/CommandLine.h"
#include "app/ui/MainActionList.h"
#include "app/ui/MainHistory.h"
#include "app/ui/MainMenus.h"
#include "app/ui/MainNetwork.h"
#include "app/ui/PerixApplication.h"
#include "app/Identity.h"
#include "app/ui/PerixChatProgram.h"
#include "app/ui/TPerixChatForm.h"
#include "features/AnsweringmachineTextUn.h"
#include "features/ui/LngMenu.h"
#include "features/ui/fmAnsweringmachineUn.h"
#include "features/ui/fmStoryUn.h"
#include "net/ui/fmNetworkUn.h"
#include "peers/PeerRegistry.h"
#include "peers/ui/TfmUserProfileUn.h"
#include "peers/ui/UserGroupBox.h"
#include "peers/ui/fmSelectPictureUn.h"
#include "peers/ui/fmUserListUn.h"
#include "settings/TMyUserData.h"
#include "talks/ui/MoodPickers.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/fmSelectPictureGIFMoodUn.h"
#include "talks/ui/fmSelectPictureMoodUn.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPalette>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <cstdio>
#include <memory>

namespace {

void wait(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

std::unique_ptr<PerixChatProgram> startPeer(const QString &dir, const QString &alias, int picture, int color)
{
    StartOptions options;
    options.loopback = true;
    options.settingsFile = dir + "/settings.ini";
    options.dataDir = dir;
    TSetUserData profile{SettingsStore(options.settingsFile)};
    profile.SetAlias(alias);
    profile.SetImageIndex(QString::number(picture));
    profile.SetColor(QString::number(color));
    // With keys, as every real start has them, so that talks show their lock.
    AppContext context = AppContext::fromOptions(options);
    LoadIdentity(context);
    auto program = std::make_unique<PerixChatProgram>(std::move(context));
    program->start();
    return program;
}

void save(QWidget *w, const QString &file);

void saveScreen(const QString &file)
{
    if (QScreen *screen = QGuiApplication::primaryScreen())
        screen->grabWindow(0).save(file);
    std::printf("%s\n", qPrintable(file));
}

void hover(QWidget *cell)
{
    QEnterEvent enter(QPointF(4, 4), QPointF(4, 4), QPointF(4, 4));
    QCoreApplication::sendEvent(cell, &enter);
}

void clickCommand(PerixChatProgram &program, int sheet, const char *name)
{
    TfrConnectUser *talk = program.mainWindow()->talks()->frame(sheet);
    QAction *command = program.mainWindow()->actions()->action(QLatin1StringView(name));
    if (auto *button = qobject_cast<QToolButton *>(talk->tbSendMessage()->widgetForAction(command)))
        button->click();
}

// Both choosers open over Anna's talk with everybody, then a message with pictures and animations
// that Boris receives; his transcript is taken twice a moment apart.
void moodShots(PerixChatProgram &anna, PerixChatProgram &boris, const QString &out)
{
    anna.mainWindow()->pages()->setCurrentIndex(0);
    boris.mainWindow()->pages()->setCurrentIndex(0);
    anna.mainWindow()->move(40, 40);
    boris.mainWindow()->setGeometry(620, 40, 560, 480);
    wait(300);
    TfrConnectUser *talk = anna.mainWindow()->talks()->frame(0);
    talk->reMessage()->setPlainText("Happy birthday, Boris! ");
    clickCommand(anna, 0, "actSelectImageMood");
    wait(300);
    if (TfmSelectPictureMood *pictures = anna.moodPickers()->pictureMood()) {
        hover(pictures->cells().at(8));
        wait(200);
        saveScreen(out + "/mood-pictures.png");
        pictures->ChoosePicture(pictures->cells().at(1)->pictureIndex());
    }
    wait(200);
    TfmSelectPictureGIFMood *gif = anna.animationChooser();
    clickCommand(anna, 0, "actSelectGifMood");
    wait(300);
    hover(gif->panels().at(7));
    wait(350);
    saveScreen(out + "/mood-animations.png");
    gif->ChooseAnimation(7);
    for (int number : {2, 4}) {
        clickCommand(anna, 0, "actSelectGifMood");
        wait(100);
        gif->ChooseAnimation(number);
    }
    wait(300);
    save(anna.mainWindow(), out + "/mood-editor.png");
    anna.mainWindow()->actions()->action("actSendMessage")->trigger();
    boris.mainWindow()->talks()->frame(0)->reMessage()->setPlainText(
        "Thank you! {[!CONTROL!]}3{[/!CONTROL!]}");
    wait(500);
    boris.mainWindow()->actions()->action("actSendMessage")->trigger();
    wait(800);
    const QImage first = boris.mainWindow()->grab().toImage();
    wait(260);
    const QImage second = boris.mainWindow()->grab().toImage();
    first.save(out + "/transcript-animations-1.png");
    second.save(out + "/transcript-animations-2.png");
    std::printf("transcript frames %s\n", first == second ? "are equal" : "differ");
}

void save(QWidget *w, const QString &file)
{
    w->grab().save(file);
    std::printf("%s\n", qPrintable(file));
}

// A profile with every field filled, so that each page of the profile window shows something.
void fillProfile(const QString &dir)
{
    TSetUserData p{SettingsStore(dir + "/settings.ini")};
    p.SetName("Boris");
    p.SetName2("Kowalski");
    p.SetEMail("boris@example.org");
    p.SetICQ("123456789");
    p.SetStreet("Lindenallee 12\nBack building");
    p.SetTown("Hamburg");
    p.SetField("Altona");
    p.SetHouse("12b");
    p.SetWStreet("Hafenstrasse 3");
    p.SetWTown("Hamburg");
    p.SetWHouse("3");
    p.SetWField("Port");
    p.SetWName("Northwind Shipping");
    p.SetWDepartment("Logistics");
    p.SetWPost("Dispatcher");
    p.SetWTypeWork("Planning container routes");
    p.SetSex("1");
    p.SetOld("34");
    p.SetInterest("Sailing, chess, old radios");
}

// Every page of the profile window on the entry, and the picture chooser open over it.
void saveProfilePages(PerixChatProgram *peer, int peerIndex, const QString &prefix)
{
    TfmUserProfile window(peer->mainWindow());
    window.SetMode(peerIndex == 0);
    window.LoadEntry(*peer->chat()->registry()->GetPeer(peerIndex));
    window.show();
    wait(300);
    for (int page = 0; page < UserProfile::PageCount; ++page) {
        window.showPage(page);
        wait(150);
        save(&window, prefix + QStringLiteral("-%1.png").arg(page));
    }
    if (peerIndex != 0)
        return;
    window.showPage(UserProfile::BasicPage);
    wait(100);
    auto *button = window.findChild<QAbstractButton *>(QStringLiteral("btnSelectImage"));
    TfmSelectPicture::Open(button, window.picture());
    wait(300);
    // The chooser is a window of its own: take the screen around the profile window.
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect around = window.frameGeometry().adjusted(-10, -10, 200, 130);
        screen->grabWindow(0, around.x(), around.y(), around.width(), around.height())
            .save(prefix + QStringLiteral("-chooser.png"));
        std::printf("%s\n", qPrintable(prefix + QStringLiteral("-chooser.png")));
    }
    if (QWidget *chooser = QApplication::activePopupWidget())
        chooser->close();
    wait(100);
}

// A popup menu as the user sees it dropped down.
void saveMenu(QMenu *menu, const QString &file)
{
    menu->popup(QPoint(10, 10));
    wait(200);
    save(menu, file);
    menu->hide();
}

// Both windows and the longest menus in every language of the program's Lng folder.
void languageShots(PerixChatProgram &peer, const QString &out)
{
    TPerixChatForm *main = peer.mainWindow();
    for (QAction *item : main->languageMenu()->items()) {
        const QString name = QFileInfo(LngMenu::itemFile(item)).completeBaseName();
        item->trigger();
        wait(300);
        save(main, out + "/lng-" + name + "-main.png");
        save(peer.userList(), out + "/lng-" + name + "-userlist.png");
        main->actions()->action("actShowText")->trigger();
        wait(300);
        save(main, out + "/lng-" + name + "-captions.png");
        main->actions()->action("actShowText")->trigger();
        saveMenu(main->menus()->menu("tbOptions"), out + "/lng-" + name + "-options.png");
        saveMenu(main->menus()->menu("miOther"), out + "/lng-" + name + "-other.png");
        saveMenu(main->menus()->menu("miPlaySound"), out + "/lng-" + name + "-sounds.png");
        peer.userList()->PreparePopup(peer.userList()->mainGroup()->tree());
        saveMenu(peer.userList()->pmUserList(), out + "/lng-" + name + "-usermenu.png");
        peer.userList()->clearCommandTarget();
    }
}

// The "Network..." window with two further addresses, one of them mistyped, after the echo test.
void networkShot(PerixChatProgram &peer, const QString &out)
{
    MainNetwork *network = peer.mainWindow()->network();
    NetworkWindowContext context;
    context.diagnose = [network](bool full) { return network->Diagnose(full); };
    context.options = {QString(), QStringLiteral("127.0.0.9\n127.0.0.300")};
    context.probe = network->probe();
    TfmNetwork window(context, peer.mainWindow());
    window.show();
    wait(300);
    window.findChild<QAbstractButton *>(QStringLiteral("btnTest"))->click();
    wait(1400);
    save(&window, out + "/network.png");
}

void applyDarkPalette()
{
    QApplication::setStyle(QStringLiteral("Fusion"));
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(45, 45, 48));
    dark.setColor(QPalette::WindowText, QColor(220, 220, 220));
    dark.setColor(QPalette::Base, QColor(30, 30, 32));
    dark.setColor(QPalette::AlternateBase, QColor(50, 50, 54));
    dark.setColor(QPalette::Text, QColor(220, 220, 220));
    dark.setColor(QPalette::Button, QColor(55, 55, 60));
    dark.setColor(QPalette::ButtonText, QColor(220, 220, 220));
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    dark.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
    dark.setColor(QPalette::ToolTipBase, QColor(60, 60, 64));
    dark.setColor(QPalette::ToolTipText, QColor(220, 220, 220));
    dark.setColor(QPalette::Light, QColor(80, 80, 86));
    dark.setColor(QPalette::Midlight, QColor(66, 66, 72));
    dark.setColor(QPalette::Mid, QColor(40, 40, 44));
    dark.setColor(QPalette::Dark, QColor(25, 25, 28));
    dark.setColor(QPalette::Shadow, QColor(10, 10, 10));
    dark.setColor(QPalette::Link, QColor(100, 170, 255));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 120));
    QApplication::setPalette(dark);
}

} // namespace

int main(int argc, char *argv[])
{
    PerixApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    // "dark" as the second argument: a dark palette, as a desktop's dark theme hands the program.
    if (argc > 2 && QByteArray(argv[2]) == "dark")
        applyDarkPalette();
    QDir().mkpath(out);
    QTemporaryDir a, b;
    // The first copy gets the shipped language files.
    QDir().mkpath(a.path() + "/Lng");
    for (const QFileInfo &file : QDir(PERIX_ASSETS_DIR "/Lng").entryInfoList(QDir::Files))
        QFile::copy(file.absoluteFilePath(), a.path() + "/Lng/" + file.fileName());
    auto anna = startPeer(a.path(), "Anna", 12, 0x00A03010);
    wait(300);
    fillProfile(b.path());
    auto boris = startPeer(b.path(), "Boris", 17, 0x00206020);
    wait(800);

    TalkManager *annaTalks = anna->mainWindow()->talks();
    annaTalks->frame(0)->reMessage()->setPlainText("Hello everybody! Lunch at noon?");
    anna->mainWindow()->actions()->action("actSendMessage")->trigger();
    wait(300);
    boris->mainWindow()->talks()->frame(0)->reMessage()->setPlainText("Sounds good, see you there.");
    boris->mainWindow()->actions()->action("actSendMessage")->trigger();
    wait(300);
    save(anna->mainWindow(), out + "/main-475x309.png");
    save(anna->userList(), out + "/userlist.png");

    anna->userList()->selectPeer(
        anna->chat()->registry()->peers().findOnline(TMyUserData(SettingsStore(b.path() + "/settings.ini")).GetID()));
    anna->mainWindow()->actions()->action("actMessageToUser")->trigger();
    const int sheet =
        annaTalks->FindPrivateTalk(TMyUserData(SettingsStore(b.path() + "/settings.ini")).GetID());
    annaTalks->frame(sheet)->reMessage()->setPlainText("Boris, could you bring the projector?");
    anna->mainWindow()->actions()->action("actSendMessage")->trigger();
    wait(400);
    const int borisSheet = boris->mainWindow()->talks()->FindPrivateTalk(anna->chat()->registry()->GetPeer(0)->ID);
    if (borisSheet > 0) {
        boris->mainWindow()->talks()->frame(borisSheet)->reMessage()->setPlainText("Sure, I will.");
        boris->mainWindow()->actions()->action("actSendMessage")->trigger();
    }
    wait(400);
    save(anna->mainWindow(), out + "/private-475x309.png");
    anna->mainWindow()->actions()->action("actShowText")->trigger();
    wait(300);
    save(anna->mainWindow(), out + "/private-captions.png");
    anna->mainWindow()->actions()->action("actShowText")->trigger();
    // Without a window manager "maximised" is the whole work area.
    const QRect normal = anna->mainWindow()->geometry();
    anna->mainWindow()->setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    wait(600);
    save(anna->mainWindow(), out + "/private-maximized.png");
    anna->mainWindow()->setGeometry(normal);
    anna->mainWindow()->actions()->action("actBtnLitleIcon")->trigger();
    wait(300);
    save(anna->mainWindow(), out + "/small-icons.png");
    if (QScreen *screen = QGuiApplication::primaryScreen())
        screen->grabWindow(0).save(out + "/desktop.png");
    anna->mainWindow()->actions()->action("actBtnBigIcon")->trigger();
    saveProfilePages(anna.get(), 0, out + "/profile-edit");
    saveProfilePages(anna.get(), anna->chat()->registry()->peers().findOnline(boris->chat()->registry()->GetPeer(0)->ID),
                     out + "/profile-peer");

    // Anna talks with her main group; Boris is a member of that talk.
    UserGroupBox *mainGroup = anna->userList()->mainGroup();
    mainGroup->captionButton()->setFocus();
    anna->mainWindow()->actions()->action("actMessageToGroup")->trigger();
    if (const int groupSheet = annaTalks->FindOwnGroupTalk(mainGroup->Tag()); groupSheet > 0) {
        annaTalks->frame(groupSheet)->reMessage()->setPlainText("Team meeting at three.");
        anna->mainWindow()->actions()->action("actSendMessage")->trigger();
    }
    wait(500);
    save(anna->mainWindow(), out + "/group-own.png");
    save(boris->mainWindow(), out + "/group-member.png");

    // Boris is away: his auto-reply answers Anna.
    const SettingsStore borisStore(b.path() + "/settings.ini");
    AnsweringmachineText::WriteVariant(borisStore, 1, "Out for lunch", "Back at two.");
    AnsweringmachineText::WriteVariant(borisStore, 2, "In a meeting", "I will call you back.");
    Q_EMIT boris->mainWindow()->menus()->menu("miAnsweringMachine")->aboutToShow();
    boris->mainWindow()->menus()->menu("miVariants")->actions().at(0)->trigger();
    annaTalks->frame(sheet)->reMessage()->setPlainText("Are you coming?");
    anna->mainWindow()->actions()->action("actSendMessage")->trigger();
    wait(600);
    save(anna->mainWindow(), out + "/auto-reply-answer.png");
    save(boris->mainWindow(), out + "/auto-reply-on.png");
    {
        TfmAnsweringmachine editor(borisStore, {});
        editor.show();
        wait(300);
        save(&editor, out + "/auto-reply-options.png");
    }
    annaTalks->frame(sheet)->clearMessageItem()->trigger();
    {
        TfmStory story(SettingsStore(a.path() + "/settings.ini"), anna->mainWindow()->history()->historyDir(),
                       {});
        story.show();
        wait(300);
        save(&story, out + "/history.png");
    }
    networkShot(*anna, out);
    moodShots(*anna, *boris, out);
    languageShots(*anna, out);
    boris->close();
    anna->close();
    return 0;
}
