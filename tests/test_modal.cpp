// The modal windows driven for real, with key presses while they are open, and the faults that only
// showed with them: the group editor's Enter, a talk closed behind the send-error box, a returning
// group member, and the bounds on what packets can open.

#include "PeerHarness.h"

#include "features/ui/MessageBox.h"
#include "features/ui/StatusPanels.h"
#include "peers/GroupBoxStorageUn.h"
#include "peers/ui/UserGroupBox.h"
#include "peers/ui/fmEditorUn.h"
#include "protocol/Guid.h"
#include "protocol/SendMessageUn.h"
#include "settings/iniFileUn.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/TfmInformation.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>

#include <sys/inotify.h>
#include <unistd.h>

#include <functional>

namespace {

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

RUserID rawUser(const QString &id, const QString &alias)
{
    RUserID user;
    user.ID = id;
    user.Alias = alias;
    user.IP = QStringLiteral("127.0.0.1");
    user.PictureIndex = 4;
    return user;
}

WireIdentity wireOf(const RUserID &user)
{
    return WireIdentity::fromEntry(user);
}

// Counts how often a file of that name is replaced in the folder (the store writes a new file and
// renames it over the old one; opening the old one to read it is no write).
class WriteCounter {
public:
    WriteCounter(const QString &folder, const QString &name)
        : m_fd(inotify_init1(IN_NONBLOCK))
        , m_name(name.toUtf8())
    {
        if (m_fd >= 0)
            inotify_add_watch(m_fd, folder.toUtf8().constData(), IN_MOVED_TO);
    }
    ~WriteCounter()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isValid() const { return m_fd >= 0; }
    int count()
    {
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            for (ssize_t at = 0; at < n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                if (event->len > 0 && QByteArray(event->name) == m_name)
                    ++m_count;
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        return m_count;
    }

private:
    int m_fd;
    QByteArray m_name;
    int m_count = 0;
};

} // namespace

class TestModal : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void groupEditorEnterCreatesAndRenames();
    void groupEditorEscapeAndFocusLossChangeNothing();
    void talkClosedBehindSendErrorBox();
    void privateCloseQuestionByKeys();
    void returningMemberKeepsOneItem();
    void incomingTalksAreBounded();
};

void TestModal::init()
{
    MessageBox::clearAutoAnswer();
    TfmInformation::clearAutoAnswer();
    TfmEditor::clearAutoAnswer();
}

void TestModal::cleanup()
{
    init();
}

void TestModal::groupEditorEnterCreatesAndRenames()
{
    RawPeer raw;
    QVERIFY(raw.isReady());
    TestPeer anna("Anna");
    anna.start();
    TfmUserList *list = anna.userList();
    list->show();
    raw.clear();

    // "Create new group": the name typed into the real editor and Enter.
    whenModalOpens([](QWidget *editor) {
        auto *field = editor->findChild<QLineEdit *>(QStringLiteral("edEditor"));
        QVERIFY(field);
        QTest::keyClicks(field, QStringLiteral("Friends"));
        QTest::keyClick(field, Qt::Key_Return);
        // On a real desktop the popup's closing takes the focus from the field right after Enter.
        QFocusEvent out(QEvent::FocusOut, Qt::PopupFocusReason);
        QCoreApplication::sendEvent(field, &out);
    });
    UserGroupBox *group = list->CreateNewGroup(false);
    QVERIFY(group);
    QCOMPARE(group->caption(), QStringLiteral("Friends"));
    const auto renames = [&] {
        QList<QByteArray> result;
        for (const QByteArray &p : raw.heard()) {
            if (ClassifyPacket(p) == pkMessageToGroupRename)
                result.append(p);
        }
        return result;
    };
    QVERIFY(waitUntil([&] { return renames().size() == 1; }));
    QCOMPARE(TDataNewMessage(renames().first()).GetGroupName(), QStringLiteral("Friends"));
    QCOMPARE(TDataNewMessage(renames().first()).GetGroupID(), group->Hint());

    // Rename: the editor starts with the caption; it is replaced and confirmed with Enter.
    anna.close();
    // The group is stored at shutdown; the next run renames a stored group, which is written at once.
    anna.start();
    list = anna.userList();
    list->show();
    UserGroupBox *stored = nullptr;
    for (UserGroupBox *box : list->groups()) {
        if (box->caption() == QStringLiteral("Friends"))
            stored = box;
    }
    QVERIFY(stored);
    raw.clear();
    whenModalOpens([](QWidget *editor) {
        auto *field = editor->findChild<QLineEdit *>(QStringLiteral("edEditor"));
        QCOMPARE(field->text(), QStringLiteral("Friends"));
        field->selectAll();
        QTest::keyClicks(field, QStringLiteral("Best friends"));
        QTest::keyClick(field, Qt::Key_Enter);
        QFocusEvent out(QEvent::FocusOut, Qt::PopupFocusReason);
        QCoreApplication::sendEvent(field, &out);
    });
    list->PreparePopup(stored->tree());
    list->RenameGroup();
    QCOMPARE(stored->caption(), QStringLiteral("Best friends"));
    QVERIFY(waitUntil([&] { return renames().size() == 1; }));
    QCOMPARE(TDataNewMessage(renames().first()).GetGroupName(), QStringLiteral("Best friends"));
    QCOMPARE(anna.store().readString(QString::number(stored->Tag()) + QStringLiteral("_GROUPBOX!>!"),
                                     QStringLiteral("Caption_Value")),
             QStringLiteral("Best friends"));
    anna.close();
}

void TestModal::groupEditorEscapeAndFocusLossChangeNothing()
{
    RawPeer raw;
    TestPeer anna("Anna");
    anna.start();
    TfmUserList *list = anna.userList();
    list->show();
    raw.clear();
    whenModalOpens([](QWidget *editor) {
        auto *field = editor->findChild<QLineEdit *>(QStringLiteral("edEditor"));
        QTest::keyClicks(field, QStringLiteral("Never"));
        QTest::keyClick(field, Qt::Key_Escape);
    });
    UserGroupBox *group = list->CreateNewGroup(false);
    QCOMPARE(group->caption(), QStringLiteral(" "));

    whenModalOpens([](QWidget *editor) {
        auto *field = editor->findChild<QLineEdit *>(QStringLiteral("edEditor"));
        QTest::keyClicks(field, QStringLiteral("Lost"));
        // Leaving the editor closes it without a change.
        QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QCoreApplication::sendEvent(field, &out);
    });
    list->PreparePopup(group->tree());
    list->RenameGroup();
    QCOMPARE(group->caption(), QStringLiteral(" "));
    QTest::qWait(200);
    for (const QByteArray &p : raw.heard())
        QVERIFY(ClassifyPacket(p) != pkMessageToGroupRename);
    anna.close();
}

void TestModal::talkClosedBehindSendErrorBox()
{
    TestPeer anna("Anna");
    TestPeer boris("Boris");
    // Boris's close is answered from the stored choice: close, no question.
    writeSetting(anna.store(), Setting::CloseTalkPrivateNotShow, true);
    anna.start();
    boris.start();
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1 && boris.onlineCount() == 1; }));
    anna.userList()->selectPeer(anna.registry()->peers().findOnline(boris.id()));
    anna.mainWindow()->talks()->MessageToUser();
    TalkManager *talks = anna.mainWindow()->talks();
    const int sheet = talks->FindPrivateTalk(boris.id());
    QVERIFY(sheet > 0);
    boris.userList()->selectPeer(boris.registry()->peers().findOnline(anna.id()));
    boris.mainWindow()->talks()->MessageToUser();
    const int borisSheet = boris.mainWindow()->talks()->FindPrivateTalk(anna.id());
    QVERIFY(borisSheet > 0);

    // Too large for one datagram: the send fails and its box opens. While it is open Boris closes the
    // talk; the close arrives at once but waits until the box is gone.
    talks->frame(sheet)->reMessage()->setPlainText(QString(9000, u'x'));
    bool boxSeen = false;
    whenModalOpens([&](QWidget *box) {
        boxSeen = qobject_cast<QMessageBox *>(box) != nullptr;
        boris.mainWindow()->talks()->CloseTalk(borisSheet);
        QTest::qWait(300);
        QCOMPARE(talks->FindPrivateTalk(boris.id()), sheet);
        QTest::keyClick(box, Qt::Key_Return);
    });
    QVERIFY(!talks->SendMessage(sheet));
    QVERIFY(boxSeen);
    QVERIFY(waitUntil([&] { return talks->FindPrivateTalk(boris.id()) < 0; }));
    anna.close();
    boris.close();
}

void TestModal::privateCloseQuestionByKeys()
{
    RawPeer raw;
    TestPeer anna("Anna");
    anna.start();
    const RUserID eve = rawUser(NewRegistryGuid(), QStringLiteral("Eve"));
    raw.send(BuildPresencePacket(eve, true));
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1; }));
    raw.send(BuildUserMessagePacket(anna.id(), wireOf(eve), QStringLiteral("hi"), false));
    TalkManager *talks = anna.mainWindow()->talks();
    QVERIFY(waitUntil([&] { return talks->FindPrivateTalk(eve.ID) > 0; }));

    // "Always to leave" chosen with the arrow key, the answer remembered by "do not show again".
    QString shownText;
    whenModalOpens([&](QWidget *dialog) {
        shownText = dialog->windowTitle();
        auto *leave = dialog->findChild<QRadioButton *>(QStringLiteral("rbAlwaysLeave"));
        auto *close = dialog->findChild<QRadioButton *>(QStringLiteral("rbAlwaysClose"));
        QVERIFY(leave && close && close->isChecked());
        close->setFocus();
        QTest::keyClick(close, Qt::Key_Down);
        QVERIFY(leave->isChecked());
        auto *notAgain = dialog->findChild<QCheckBox *>(QStringLiteral("cbClosePrivate"));
        notAgain->setFocus();
        QTest::keyClick(notAgain, Qt::Key_Space);
        QTest::keyClick(dialog, Qt::Key_Return);
    });
    raw.send(BuildPrivateDeletePacket(anna.id(), wireOf(eve)));
    QVERIFY(waitUntil([&] { return readSetting(anna.store(), Setting::CloseTalkPrivateNotShow); }));
    QCOMPARE(shownText, QStringLiteral("Closing of private talk"));
    QVERIFY(talks->FindPrivateTalk(eve.ID) > 0);
    QVERIFY(readSetting(anna.store(), Setting::CloseTalkPrivateLeaveAll));
    QVERIFY(!readSetting(anna.store(), Setting::CloseTalkPrivateCloseAll));
    anna.close();
}

void TestModal::returningMemberKeepsOneItem()
{
    RawPeer raw;
    TestPeer boris("Boris");
    boris.start();
    const RUserID anna = rawUser(NewRegistryGuid(), QStringLiteral("Anna"));
    const RUserID clara = rawUser(NewRegistryGuid(), QStringLiteral("Clara"));
    raw.send(BuildPresencePacket(anna, true));
    raw.send(BuildPresencePacket(clara, true));
    QVERIFY(waitUntil([&] { return boris.onlineCount() == 2; }));

    const GroupTalkWire talk{QStringLiteral("{GROUP-G}"), anna.ID, anna.IP, QString(), anna.Alias,
                             QStringLiteral("Friends")};
    const QString members = BuildUserIDList(anna.ID, {boris.id(), clara.ID});
    raw.send(BuildGroupMessagePacket(members, talk, wireOf(anna), QStringLiteral("hello")));
    TalkManager *talks = boris.mainWindow()->talks();
    QVERIFY(waitUntil([&] { return talks->FindTalkByGroupID(talk.groupId) > 0; }));
    const int sheet = talks->FindTalkByGroupID(talk.groupId);
    QCOMPARE(talks->frame(sheet)->members().size(), 2);

    // Clara leaves and comes back as a new entry; the author's member update still names her.
    raw.send(BuildDisconnectPacket(clara));
    QVERIFY(waitUntil([&] { return boris.onlineCount() == 1; }));
    raw.send(BuildPresencePacket(clara, true));
    QVERIFY(waitUntil([&] { return boris.onlineCount() == 2; }));
    raw.send(BuildUpdateInfoToGroupPacket(members, talk, wireOf(anna)));
    QTest::qWait(300);
    QCOMPARE(talks->frame(sheet)->members().size(), 2);
    QCOMPARE(talks->frame(sheet)->members().last(), boris.registry()->peers().findOnline(clara.ID));

    // Boris's next message lists her once.
    raw.clear();
    talks->frame(sheet)->reMessage()->setPlainText(QStringLiteral("welcome back"));
    QVERIFY(talks->SendMessage(sheet));
    QVERIFY(waitUntil([&] { return !raw.heardFrom(pkMessageToGroup, boris.id()).isEmpty(); }));
    QStringList ids;
    TDataNewMessage(raw.heardFrom(pkMessageToGroup, boris.id()).first()).GetUserIDList(&ids);
    QCOMPARE(ids, (QStringList{boris.id(), anna.ID, clara.ID}));
    boris.close();
}

void TestModal::incomingTalksAreBounded()
{
    RawPeer raw;
    TestPeer anna("Anna");
    anna.start();
    const RUserID eve = rawUser(NewRegistryGuid(), QStringLiteral("Eve"));
    raw.send(BuildPresencePacket(eve, true));
    QVERIFY(waitUntil([&] { return anna.onlineCount() == 1; }));
    const QString members = BuildUserIDList(eve.ID, {anna.id()});
    for (int i = 0; i < TalkManager::MaxTalkPages + 50; ++i) {
        const GroupTalkWire talk{NewRegistryGuid(), eve.ID,    eve.IP,
                                 QString(),         eve.Alias, QStringLiteral("Spam %1").arg(i)};
        raw.send(BuildGroupMessagePacket(members, talk, wireOf(eve), QStringLiteral("x")));
        if (i % 32 == 31)
            QTest::qWait(20);
    }
    TalkManager *talks = anna.mainWindow()->talks();
    QVERIFY(waitUntil([&] { return talks->count() == TalkManager::MaxTalkPages; }, 15000));
    QTest::qWait(300);
    QCOMPARE(talks->count(), TalkManager::MaxTalkPages);
    QVERIFY(anna.mainWindow()->statusPanels()->panelText(5).contains(QStringLiteral("100 talks are open")));

    // Closing with all of them open writes the settings file once, and quickly.
    const QFileInfo settings(anna.settingsFile());
    WriteCounter writes(settings.absolutePath(), settings.fileName());
    QVERIFY(writes.isValid());
    QElapsedTimer closing;
    closing.start();
    anna.close();
    QVERIFY2(closing.elapsed() < 1000, qPrintable(QString::number(closing.elapsed())));
    QCOMPARE(writes.count(), 1);
}

QTEST_MAIN(TestModal)
#include "test_modal.moc"
