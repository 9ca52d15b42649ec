// Starts two complete copies on loopback, lets them talk, and saves pictures of their windows.
#include "CommandLine.h"
#include "LngMenu.h"
#include "MainActionList.h"
#include "MainMenus.h"
#include "PerixApplication.h"
#include "PerixChatProgram.h"
#include "TMyUserData.h"
#include "TPerixChatForm.h"
#include "TUserGroupBox.h"
#include "TalkManager.h"
#include "fmUserListUn.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>

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

std::unique_ptr<TPerixChatProgram> startPeer(const QString &dir, const QString &alias, int picture, int color)
{
    StartOptions options;
    options.loopback = true;
    options.settingsFile = dir + "/settings.ini";
    options.dataDir = dir;
    TSetUserData profile{SettingsStore(options.settingsFile)};
    profile.SetAlias(alias);
    profile.SetImageIndex(QString::number(picture));
    profile.SetColor(QString::number(color));
    auto program = std::make_unique<TPerixChatProgram>(AppContext::fromOptions(options));
    program->start();
    return program;
}

void save(QWidget *w, const QString &file)
{
    w->grab().save(file);
    std::printf("%s\n", qPrintable(file));
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
void languageShots(TPerixChatProgram &peer, const QString &out)
{
    TPerixChatForm *main = peer.mainWindow();
    for (QAction *item : main->languageMenu()->items()) {
        const QString name = QFileInfo(TLngMenu::itemFile(item)).completeBaseName();
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

} // namespace

int main(int argc, char *argv[])
{
    PerixApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(out);
    QTemporaryDir a, b;
    // The first copy gets the shipped language files.
    QDir().mkpath(a.path() + "/Lng");
    for (const QFileInfo &file : QDir(PERIX_ASSETS_DIR "/Lng").entryInfoList(QDir::Files))
        QFile::copy(file.absoluteFilePath(), a.path() + "/Lng/" + file.fileName());
    auto anna = startPeer(a.path(), "Anna", 12, 0x00A03010);
    wait(300);
    auto boris = startPeer(b.path(), "Boris", 17, 0x00206020);
    wait(800);

    TTalkManager *annaTalks = anna->mainWindow()->talks();
    annaTalks->frame(0)->reMessage()->setPlainText("Hello everybody! Lunch at noon?");
    anna->mainWindow()->actions()->action("actSendMessage")->trigger();
    wait(300);
    boris->mainWindow()->talks()->frame(0)->reMessage()->setPlainText("Sounds good, see you there.");
    boris->mainWindow()->actions()->action("actSendMessage")->trigger();
    wait(300);
    save(anna->mainWindow(), out + "/main-475x309.png");
    save(anna->userList(), out + "/userlist.png");

    anna->userList()->selectPeer(
        anna->userList()->peers().findOnline(TMyUserData(SettingsStore(b.path() + "/settings.ini")).GetID()));
    anna->mainWindow()->actions()->action("actMessageToUser")->trigger();
    const int sheet =
        annaTalks->FindPrivateTalk(TMyUserData(SettingsStore(b.path() + "/settings.ini")).GetID());
    annaTalks->frame(sheet)->reMessage()->setPlainText("Boris, could you bring the projector?");
    anna->mainWindow()->actions()->action("actSendMessage")->trigger();
    wait(400);
    const int borisSheet = boris->mainWindow()->talks()->FindPrivateTalk(anna->userList()->GetPeer(0)->ID);
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
    languageShots(*anna, out);
    boris->close();
    anna->close();
    return 0;
}
