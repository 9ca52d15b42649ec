// Keyboard and screen readers: the accessibility tree of every window names each control that takes
// the focus, Tab reaches the toolbars, and the toolbar menus open from the keyboard.

#include "PeerHarness.h"

#include "app/ui/FirstStartName.h"
#include "app/ui/MainActionList.h"
#include "app/ui/MainMenus.h"
#include "app/ui/MainNetwork.h"
#include "features/ScreenFit.h"
#include "peers/ui/UserGroupBox.h"
#include "protocol/Guid.h"
#include "protocol/SendMessageUn.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/TfmInformation.h"
#include "talks/ui/frConnectUserUn.h"

#include <QAccessible>
#include <QApplication>
#include <QMenu>
#include <QScreen>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <functional>

namespace {

QString describe(const QWidget *widget)
{
    QStringList path;
    for (const QWidget *w = widget; w; w = w->parentWidget())
        path.prepend(w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                               : w->objectName());
    return path.join(u'/');
}

// The focusable, shown controls of the window whose accessible name is empty.
QStringList unnamedControls(QWidget *window)
{
    QStringList faults;
    int visited = 0;
    const std::function<void(QAccessibleInterface *, int)> walk = [&](QAccessibleInterface *node, int depth) {
        if (!node || !node->isValid() || depth > 64 || ++visited > 20000)
            return;
        auto *widget = qobject_cast<QWidget *>(node->object());
        // The widget's own node, not one of its items.
        const bool own = widget && QAccessible::queryAccessibleInterface(widget) == node;
        if (own && widget->isVisible() && node->state().focusable &&
            node->text(QAccessible::Name).trimmed().isEmpty())
            faults.append(describe(widget));
        if (own && qobject_cast<QAbstractItemView *>(widget))
            return; // rows and cells are named by their texts
        for (int i = 0; i < node->childCount(); ++i)
            walk(node->child(i), depth + 1);
    };
    walk(QAccessible::queryAccessibleInterface(window), 0);
    return faults;
}

// Runs the action as soon as a modal window is open (checked every 20 ms, at most 5 s).
void whenModalOpens(const std::function<void(QWidget *)> &action)
{
    auto *timer = new QTimer;
    auto *elapsed = new QElapsedTimer;
    elapsed->start();
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal && elapsed->elapsed() < 5000)
            return;
        timer->stop();
        timer->deleteLater();
        delete elapsed;
        if (modal)
            action(modal);
    });
    timer->start(20);
}

} // namespace

class TestAccess : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { TfmInformation::clearAutoAnswer(); }
    void everyWindowNamesItsControls();
    void toolbarsByKeyboard();
    void fitIntoArea();
    void userListStaysOnScreen();
    void groupHeadersFollowThePalette();
};

void TestAccess::everyWindowNamesItsControls()
{
    RawPeer raw;
    QVERIFY(raw.isReady());
    TestPeer anna("Anna");
    anna.start();
    RUserID eve;
    eve.ID = NewRegistryGuid();
    eve.Alias = QStringLiteral("Eve");
    eve.IP = QStringLiteral("127.0.0.1");
    raw.send(BuildPresencePacket(eve, true));
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1; }));
    raw.send(BuildUserMessagePacket(anna.id(), WireIdentity::fromEntry(eve), QStringLiteral("hi"), false));
    TalkManager *talks = anna.mainWindow()->talks();
    QVERIFY(waitUntil([&] { return talks->FindPrivateTalk(eve.ID) > 0; }));
    if (!anna.userList()->isVisible())
        anna.mainWindow()->actions()->action(QStringLiteral("actShowUserList"))->trigger();
    QVERIFY(waitUntil([&] { return anna.userList()->isVisible(); }));

    QStringList faults;
    faults += unnamedControls(anna.mainWindow());
    faults += unnamedControls(anna.userList());

    // The dialogs, each walked while open, and closed with the key a user would press.
    const auto walkDialog = [&](const std::function<void()> &open, Qt::Key closeKey) {
        bool walked = false;
        whenModalOpens([&](QWidget *dialog) {
            walked = true;
            faults += unnamedControls(dialog);
            QTest::keyClick(dialog, closeKey);
        });
        open();
        QVERIFY(walked);
        QVERIFY(waitUntil([] { return !QApplication::activeModalWidget(); }));
    };
    const auto trigger = [&](const char *name) {
        return [&anna, name] {
            anna.mainWindow()->actions()->action(QLatin1StringView(name))->trigger();
        };
    };
    walkDialog(trigger("actUserMyProfile"), Qt::Key_Escape);
    walkDialog(trigger("actAbout"), Qt::Key_Escape);
    walkDialog(trigger("actAnsweringmachineOptions"), Qt::Key_Escape);
    walkDialog([&] { anna.mainWindow()->network()->actNetwork()->trigger(); }, Qt::Key_Escape);
    walkDialog(
        [&] {
            FirstStartName ask(QStringLiteral("Anna Berg"));
            ask.exec();
        },
        Qt::Key_Escape);
    walkDialog(
        [&] {
            raw.send(BuildPrivateDeletePacket(anna.id(), WireIdentity::fromEntry(eve)));
            settle(1500);
        },
        Qt::Key_Escape);

    walkDialog(trigger("actShowHistoryMessage"), Qt::Key_Escape);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
    anna.close();
}

void TestAccess::toolbarsByKeyboard()
{
    TestPeer anna("Anna");
    anna.start();
    TPerixChatForm *window = anna.mainWindow();
    window->activateWindow();
    QVERIFY(waitUntil([&] { return window->isActiveWindow(); }));
    // Tab reaches every toolbar button, from the talk's input onwards.
    QList<QWidget *> chain;
    QWidget *start = window->talks()->frame(0)->reMessage();
    QVERIFY(start);
    start->setFocus();
    for (int i = 0; i < 200; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *focused = QApplication::focusWidget();
        if (!focused || focused == start)
            break;
        chain.append(focused);
    }
    for (QToolBar *bar : {window->menus()->tbMainForm(), window->menus()->tbAdditional()}) {
        for (QToolButton *button : bar->findChildren<QToolButton *>(Qt::FindDirectChildrenOnly)) {
            if (button->isVisible() && button->defaultAction())
                QVERIFY2(chain.contains(button),
                         qPrintable(describe(button) + QStringLiteral(" not in ") + [&] {
                             QStringList names;
                             for (QWidget *w : chain)
                                 names.append(describe(w));
                             return names.join(u',');
                         }()));
        }
    }
    // The toolbar menus open from the keyboard: Space on a menu button, Alt+Down on a split one. A
    // menu runs its own loop: it is looked at, and closed with Escape, from inside it.
    const auto opensMenu = [this, window](const char *name, Qt::Key key, Qt::KeyboardModifiers modifiers) {
        auto *button = window->findChild<QToolButton *>(QLatin1StringView(name));
        if (!button)
            return QStringLiteral("no button");
        button->setFocus();
        QString shown;
        QTimer::singleShot(300, this, [&shown] {
            if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
                shown = menu->title().isEmpty() ? QStringLiteral("untitled") : menu->title();
                QTest::keyClick(menu, Qt::Key_Escape);
            }
        });
        QTest::keyClick(button, key, modifiers);
        waitUntil([&] { return !shown.isEmpty(); }, 2000);
        waitUntil([] { return !QApplication::activePopupWidget(); });
        return shown;
    };
    QCOMPARE(opensMenu("tbOptions", Qt::Key_Space, Qt::NoModifier), QStringLiteral("Options"));
    QCOMPARE(opensMenu("miMessage", Qt::Key_Down, Qt::AltModifier), QStringLiteral("Talk"));
    QCOMPARE(opensMenu("miAnsweringMachine", Qt::Key_Space, Qt::NoModifier), QStringLiteral("Auto-Reply"));
    anna.close();
}

void TestAccess::fitIntoArea()
{
    const QRect screen(0, 0, 1024, 768);
    QCOMPARE(FitIntoArea(QRect(900, 10, 200, 300), screen), QRect(824, 10, 200, 300));
    QCOMPARE(FitIntoArea(QRect(-50, -20, 200, 300), screen), QRect(0, 0, 200, 300));
    QCOMPARE(FitIntoArea(QRect(10, 10, 2000, 300), screen), QRect(0, 10, 1024, 300));
    QCOMPARE(FitIntoArea(QRect(100, 100, 200, 300), screen), QRect(100, 100, 200, 300));
    // A second screen to the right keeps windows placed there.
    QCOMPARE(FitIntoArea(QRect(1100, 50, 200, 300), QRect(1024, 0, 800, 600)), QRect(1100, 50, 200, 300));
}

void TestAccess::userListStaysOnScreen()
{
    TestPeer anna("Anna");
    anna.start();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    // The main window at the right edge: the list, docked to its right, would open past the screen.
    anna.mainWindow()->move(area.right() - anna.mainWindow()->width() - 5, area.top() + 20);
    anna.userList()->restoreBounds();
    const QRect placed(anna.userList()->pos(), anna.userList()->size());
    QVERIFY2(area.contains(placed), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                   .arg(placed.x())
                                                   .arg(placed.y())
                                                   .arg(placed.width())
                                                   .arg(placed.height())));
    anna.close();
}

void TestAccess::groupHeadersFollowThePalette()
{
    const QPalette before = QApplication::palette();
    UserGroupBox box(1, QStringLiteral("Friends"), QStringLiteral("{G}"));
    box.resize(200, 120);
    box.show();
    // Unfocused: a focused header takes the highlight colours.
    box.captionButton()->setFocusPolicy(Qt::NoFocus);
    box.tree()->setFocusPolicy(Qt::NoFocus);
    box.captionButton()->clearFocus();
    box.tree()->clearFocus();
    QVERIFY(waitUntil([&box] { return !box.captionButton()->hasFocus() && !box.tree()->hasFocus(); }));
    const auto headerLightness = [&box] {
        const QImage header = box.captionButton()->grab().toImage();
        return header.pixelColor(header.width() - 3, header.height() / 2).lightnessF();
    };
    QVERIFY(headerLightness() > 0.5);

    QPalette dark = before;
    dark.setColor(QPalette::Button, QColor(50, 50, 55));
    dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    dark.setColor(QPalette::Window, QColor(40, 40, 44));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    QApplication::setPalette(dark);
    settle(50);
    QVERIFY2(headerLightness() < 0.4, qPrintable(QString::number(headerLightness())));
    box.setBadListLook(true);
    QVERIFY(headerLightness() < 0.5);
    QApplication::setPalette(before);
    settle(50);
    QVERIFY(headerLightness() > 0.5);
}

QTEST_MAIN(TestAccess)
#include "test_access.moc"
