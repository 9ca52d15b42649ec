#include "PeerHarness.h"

#include "app/ui/MainActionList.h"
#include "features/ui/MessageBox.h"
#include "features/ui/ShellOpen.h"
#include "peers/GroupBoxStorageUn.h"
#include "peers/ui/UserGroupBox.h"
#include "peers/ui/fmEditorUn.h"
#include "protocol/ConstUnit.h"
#include "protocol/SendMessageUn.h"
#include "settings/iniFileUn.h"
#include "talks/ui/RVStyle.h"
#include "talks/ui/RichTextItems.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/TfmInformation.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>

namespace {

TalkManager *talks(const TestPeer &p)
{
    return p.mainWindow()->talks();
}

QString transcript(const TestPeer &p, int sheet)
{
    const TfrConnectUser *talk = talks(p)->frame(sheet);
    // Names in transcripts are bidi-isolated; the checks here look at the words.
    return talk ? withoutIsolates(talk->reAllMessage()->toPlainText()) : QString();
}

int occurrences(const QString &text, const QString &what)
{
    return int(text.count(what));
}

QAction *action(const TestPeer &p, const char *name)
{
    return p.mainWindow()->actions()->action(QLatin1StringView(name));
}

// Types the text into the talk's input and runs "Send message".
void say(const TestPeer &p, int sheet, const QString &text)
{
    talks(p)->frame(sheet)->reMessage()->setPlainText(text);
    p.mainWindow()->pages()->setCurrentIndex(sheet);
    action(p, "actSendMessage")->trigger();
}

int peerIndexOf(const TestPeer &at, const TestPeer &who)
{
    return at.registry()->peers().findOnline(who.id());
}

int privateTalkWith(const TestPeer &at, const TestPeer &who)
{
    return talks(at)->FindPrivateTalk(who.id());
}

// Opens (or finds) the private talk with the peer through the user list and "Create talk with user".
int openPrivateTalk(const TestPeer &at, const TestPeer &with)
{
    at.userList()->selectPeer(peerIndexOf(at, with));
    action(at, "actMessageToUser")->trigger();
    return privateTalkWith(at, with);
}

bool allSeeEachOther(const QList<TestPeer *> &peers)
{
    for (const TestPeer *p : peers) {
        if (p->onlineCount() != peers.size() - 1)
            return false;
    }
    return true;
}

} // namespace

class TestTalks : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void messageToAllReachesEveryoneOnce();
    void privateMessageReachesOnlyAddressee();
    void secondCreateActivatesExistingTalk();
    void groupTalkMembershipRenameAndDelete();
    void privateCloseAsksAndRemembers();
    void peerDisconnectClosesPrivateTalk();
    void presenceLineShownOnceInEachTalk();
    void blockedSenderIsDropped();
    void notTalkPrivateRefusesNewTalks();
    void oversizedMessageShowsSendFailure();
    void headerFollowsMessageOptions();
    void senderColourRecoloursEarlierText();
    void mailCommands();
    void pagesFollowTalkIds();

private:
    std::unique_ptr<TestPeer> anna, boris, clara;
    void startThree();
};

void TestTalks::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    MessageBox::setAutoAnswer(QMessageBox::Ok);
    ShellOpen::setRecording(true);
}

void TestTalks::init()
{
    MessageBox::clearShownTexts();
    TfmInformation::clearAutoAnswer();
    TfmEditor::clearAutoAnswer();
}

void TestTalks::cleanup()
{
    TfmInformation::setAutoAnswer([](TfmInformation &) { return true; });
    for (auto *p : {&clara, &boris, &anna}) {
        if (*p)
            (*p)->close();
        p->reset();
    }
    TfmInformation::clearAutoAnswer();
}

void TestTalks::startThree()
{
    anna = std::make_unique<TestPeer>("Anna");
    boris = std::make_unique<TestPeer>("Boris");
    clara = std::make_unique<TestPeer>("Clara");
    anna->start();
    boris->start();
    clara->start();
    QVERIFY(waitUntil([&] { return allSeeEachOther({anna.get(), boris.get(), clara.get()}); }));
}

void TestTalks::messageToAllReachesEveryoneOnce()
{
    startThree();
    say(*anna, 0, "Hello all");
    // The sender's own message comes back through the network, not at sending.
    QCOMPARE(occurrences(transcript(*anna, 0), "Hello all"), 0);
    QVERIFY(talks(*anna)->frame(0)->reMessage()->toPlainText().isEmpty());
    QVERIFY(waitUntil([&] {
        return occurrences(transcript(*anna, 0), "Hello all") == 1 &&
               occurrences(transcript(*boris, 0), "Hello all") == 1 &&
               occurrences(transcript(*clara, 0), "Hello all") == 1;
    }));
    QTest::qWait(200);
    for (const TestPeer *p : {anna.get(), boris.get(), clara.get()})
        QCOMPARE(occurrences(transcript(*p, 0), "Hello all"), 1);
    QVERIFY(transcript(*boris, 0).contains("[Anna]"));
}

void TestTalks::privateMessageReachesOnlyAddressee()
{
    startThree();
    const int sheet = openPrivateTalk(*anna, *boris);
    QCOMPARE(sheet, 1);
    QCOMPARE(anna->mainWindow()->talks()->caption(sheet), QStringLiteral("Boris"));
    say(*anna, sheet, "psst");
    // A private message shows at the sender at once.
    QCOMPARE(occurrences(transcript(*anna, sheet), "psst"), 1);
    QVERIFY(waitUntil([&] { return privateTalkWith(*boris, *anna) > 0; }));
    const int borisSheet = privateTalkWith(*boris, *anna);
    QVERIFY(waitUntil([&] { return occurrences(transcript(*boris, borisSheet), "psst") == 1; }));
    QCOMPARE(boris->mainWindow()->talks()->caption(borisSheet), QStringLiteral("Anna"));
    QTest::qWait(200);
    QCOMPARE(talks(*clara)->count(), 1);
    QCOMPARE(occurrences(transcript(*clara, 0), "psst"), 0);
    QCOMPARE(occurrences(transcript(*anna, sheet), "psst"), 1);

    // The answer lands in the existing talk.
    say(*boris, borisSheet, "hi back");
    QVERIFY(waitUntil([&] { return occurrences(transcript(*anna, sheet), "hi back") == 1; }));
    QCOMPARE(talks(*anna)->count(), 2);
}

void TestTalks::secondCreateActivatesExistingTalk()
{
    startThree();
    const int first = openPrivateTalk(*anna, *boris);
    anna->mainWindow()->pages()->setCurrentIndex(0);
    QCOMPARE(openPrivateTalk(*anna, *boris), first);
    QCOMPARE(anna->mainWindow()->pages()->currentIndex(), first);
    QCOMPARE(talks(*anna)->count(), 2);
}

void TestTalks::groupTalkMembershipRenameAndDelete()
{
    startThree();
    TestPeer dora("Dora");
    dora.start();
    QVERIFY(waitUntil([&] { return allSeeEachOther({anna.get(), boris.get(), clara.get(), &dora}); }));

    // Anna makes a group "Friends" with Boris and Clara.
    TfmUserList *list = anna->userList();
    TfmEditor::setAutoAnswer(QStringLiteral("  Friends "));
    UserGroupBox *friends = list->CreateNewGroup(false);
    QCOMPARE(friends->caption(), QStringLiteral("Friends"));
    QCOMPARE(friends->Tag(), 3);
    for (const TestPeer *member : {boris.get(), clara.get()}) {
        list->selectPeer(peerIndexOf(*anna, *member));
        list->MoveTargetUserTo(friends->Tag());
    }
    QCOMPARE(friends->tree()->topLevelItemCount(), 2);
    QCOMPARE(GroupStorage::StoredGroupOfUser(anna->store(), boris->id()), 3);

    friends->captionButton()->setFocus();
    QCOMPARE(list->ActiveGroup(), friends);
    action(*anna, "actMessageToGroup")->trigger();
    const int own = talks(*anna)->FindOwnGroupTalk(friends->Tag());
    QVERIFY(own > 0);
    QCOMPARE(talks(*anna)->frame(own)->members().size(), 2);
    QVERIFY(!talks(*anna)->frame(own)->tbGroupUser()->isHidden());

    // A member item's menu acts on that member.
    const int borisAtAnna = peerIndexOf(*anna, *boris);
    QAction *memberItem = talks(*anna)->frame(own)->memberItem(borisAtAnna);
    QVERIFY(memberItem && memberItem->menu());
    list->mainGroup()->captionButton()->setFocus();
    QMetaObject::invokeMethod(memberItem->menu(), "aboutToShow");
    QCOMPARE(list->SelectedUser(), borisAtAnna);
    const auto item = [&](const char *name) {
        return list->pmUserList()->findChild<QAction *>(name);
    };
    QVERIFY(item("miSendMessageToUser")->isVisible() && item("miSendMessageToUser")->isEnabled());
    QVERIFY(!item("miSendMessageToGroup")->isVisible());
    QVERIFY(!item("tbDeleteGroup")->isVisible());
    QVERIFY(!item("miCreateNewGroupBox")->isVisible());
    QVERIFY(item("tbMoveToGroup")->isVisible());
    QCOMPARE(list->userAction("actDeactiveUser")->text(), QStringLiteral("Deactive"));
    QVERIFY(!memberItem->menu()->actions().isEmpty());

    say(*anna, own, "Group hello");
    QVERIFY(waitUntil([&] {
        const int b = talks(*boris)->FindTalkByGroupID(friends->Hint());
        const int c = talks(*clara)->FindTalkByGroupID(friends->Hint());
        return b > 0 && c > 0 && occurrences(transcript(*boris, b), "Group hello") == 1 &&
               occurrences(transcript(*clara, c), "Group hello") == 1 &&
               occurrences(transcript(*anna, own), "Group hello") == 1;
    }));
    const int borisSheet = talks(*boris)->FindTalkByGroupID(friends->Hint());
    QCOMPARE(boris->mainWindow()->talks()->caption(borisSheet), QStringLiteral("[Anna] Friends"));
    QCOMPARE(talks(*boris)->frame(borisSheet)->data().kind, tkMemberGroup);
    QTest::qWait(200);
    QCOMPARE(talks(dora)->count(), 1);
    QCOMPARE(occurrences(transcript(dora, 0), "Group hello"), 0);

    // Members answer into the same talk, and the author gets it once.
    say(*boris, borisSheet, "Member reply");
    QVERIFY(waitUntil([&] { return occurrences(transcript(*anna, own), "Member reply") == 1; }));

    // Clara leaves the group: her talk closes without a question, Boris's member items follow.
    const int dialogsBefore = TfmInformation::shownCount();
    list->selectPeer(peerIndexOf(*anna, *clara));
    list->MoveTargetUserTo(GroupStorage::MainGroupNumber);
    QCOMPARE(talks(*anna)->frame(own)->members().size(), 1);
    QVERIFY(waitUntil([&] { return talks(*clara)->FindTalkByGroupID(friends->Hint()) < 0; }));
    QVERIFY(
        waitUntil([&] { return !talks(*boris)->frame(borisSheet)->hasMember(peerIndexOf(*boris, *clara)); }));
    QCOMPARE(TfmInformation::shownCount(), dialogsBefore);

    // A rename travels; the author's own sheet takes the plain name.
    TfmEditor::setAutoAnswer(QStringLiteral("Best friends"));
    friends->captionButton()->setFocus();
    list->RenameGroup();
    QVERIFY(waitUntil([&] {
        return boris->mainWindow()->talks()->caption(borisSheet) == QStringLiteral("[Anna] Best friends");
    }));
    QVERIFY(waitUntil(
        [&] { return anna->mainWindow()->talks()->caption(own) == QStringLiteral("Best friends"); }));

    // The author closes the talk: members are told and their talks close.
    int groupClosedShown = 0;
    TfmInformation::setAutoAnswer([&](TfmInformation &dialog) {
        ++groupClosedShown;
        return dialog.windowTitle() == QStringLiteral("Closing of group of dialogue.");
    });
    talks(*anna)->frame(own)->closeTalkItem()->trigger();
    QCOMPARE(talks(*anna)->FindOwnGroupTalk(friends->Tag()), -1);
    QVERIFY(waitUntil([&] { return talks(*boris)->FindTalkByGroupID(friends->Hint()) < 0; }));
    QCOMPARE(groupClosedShown, 1);
    dora.close();
}

void TestTalks::privateCloseAsksAndRemembers()
{
    startThree();
    const int sheet = openPrivateTalk(*anna, *boris);
    say(*anna, sheet, "bye soon");
    QVERIFY(waitUntil([&] { return privateTalkWith(*boris, *anna) > 0; }));

    QStringList asked;
    TfmInformation::setAutoAnswer([&](TfmInformation &dialog) {
        asked.append(dialog.textLabel()->text());
        dialog.notShowAgain()->setChecked(true);
        dialog.alwaysLeave()->setChecked(true);
        return true;
    });
    talks(*anna)->frame(sheet)->closeTalkItem()->trigger();
    QCOMPARE(privateTalkWith(*anna, *boris), -1);
    QVERIFY(waitUntil([&] { return asked.size() == 1; }));
    QCOMPARE(asked.first(),
             QStringLiteral("The user \"\u2068Anna\u2069\" has closed private conversation with you to close "
                            "also private conversation at you?"));
    QVERIFY(privateTalkWith(*boris, *anna) > 0); // left open
    QCOMPARE(readSetting(boris->store(), Setting::CloseTalkPrivateNotShow), true);
    QCOMPARE(readSetting(boris->store(), Setting::CloseTalkPrivateLeaveAll), true);
    QCOMPARE(readSetting(boris->store(), Setting::CloseTalkPrivateCloseAll), false);

    // The remembered answer is used without asking.
    const int again = openPrivateTalk(*anna, *boris);
    say(*anna, again, "once more");
    QVERIFY(waitUntil(
        [&] { return occurrences(transcript(*boris, privateTalkWith(*boris, *anna)), "once more") == 1; }));
    talks(*anna)->frame(again)->closeTalkItem()->trigger();
    QTest::qWait(300);
    QCOMPARE(asked.size(), 1);
    QVERIFY(privateTalkWith(*boris, *anna) > 0);

    // Resetting the dialogue answers asks again; answering close closes.
    action(*boris, "actClearDialogParametr")->trigger();
    QCOMPARE(readSetting(boris->store(), Setting::CloseTalkPrivateNotShow), false);
    QCOMPARE(readSetting(boris->store(), Setting::CloseTalkPrivateCloseAll), true);
    TfmInformation::setAutoAnswer([&](TfmInformation &) {
        asked.append("again");
        return true;
    });
    const int third = openPrivateTalk(*anna, *boris);
    talks(*anna)->frame(third)->closeTalkItem()->trigger();
    QVERIFY(waitUntil([&] { return privateTalkWith(*boris, *anna) < 0; }));
    QCOMPARE(asked.size(), 2);
}

void TestTalks::peerDisconnectClosesPrivateTalk()
{
    startThree();
    const int sheet = openPrivateTalk(*anna, *boris);
    QVERIFY(sheet > 0);
    // "Neither" remembered: a peer's close would leave the talk, a disconnect closes it.
    writeSetting(anna->store(), Setting::CloseTalkPrivateNotShow, true);
    writeSetting(anna->store(), Setting::CloseTalkPrivateCloseAll, false);
    writeSetting(anna->store(), Setting::CloseTalkPrivateLeaveAll, false);
    QString noticeSeen;
    TfmInformation::setAutoAnswer([&](TfmInformation &) { return true; });
    const QPointer<TfrConnectUser> talk = talks(*anna)->frame(sheet);
    connect(talk->reAllMessage()->document(), &QTextDocument::contentsChanged, this,
            [&] { noticeSeen = talk->reAllMessage()->toPlainText(); });
    boris->close();
    boris.reset();
    QVERIFY(waitUntil([&] { return talks(*anna)->count() == 1; }));
    QVERIFY(noticeSeen.contains("User \"Boris\" is disconnect..."));
}

// A connect or disconnect line reaches each transcript once: the talk with everybody, a private talk
// with the user and an own group talk the user is a member of.
void TestTalks::presenceLineShownOnceInEachTalk()
{
    startThree();
    const int privateSheet = openPrivateTalk(*anna, *boris);
    QVERIFY(privateSheet > 0);
    TfmUserList *list = anna->userList();
    list->mainGroup()->captionButton()->setFocus();
    action(*anna, "actMessageToGroup")->trigger();
    const int own = talks(*anna)->FindOwnGroupTalk(GroupStorage::MainGroupNumber);
    QVERIFY(own > 0);
    QCOMPARE(talks(*anna)->frame(own)->members().size(), 2);
    // The private talk stays when its peer leaves, without a question.
    writeSetting(anna->store(), Setting::CloseTalkPrivateNotShow, true);
    writeSetting(anna->store(), Setting::CloseTalkPrivateLeaveAll, true);
    writeSetting(anna->store(), Setting::CloseTalkPrivateCloseAll, false);
    const QString gone = QStringLiteral("User \"Boris\" is disconnect...");
    const QString borisId = boris->id();
    boris->close();
    boris.reset();
    QVERIFY(waitUntil([&] { return anna->onlineCount() == 1; }));
    QVERIFY(waitUntil([&] { return occurrences(transcript(*anna, 0), gone) == 1; }));
    QTest::qWait(200);
    QCOMPARE(talks(*anna)->FindPrivateTalk(borisId), privateSheet);
    QCOMPARE(occurrences(transcript(*anna, 0), gone), 1);
    QCOMPARE(occurrences(transcript(*anna, privateSheet), gone), 1);
    QCOMPARE(occurrences(transcript(*anna, own), gone), 1);
    QCOMPARE(occurrences(transcript(*clara, 0), gone), 1);
}

void TestTalks::blockedSenderIsDropped()
{
    startThree();
    TfmUserList *list = boris->userList();
    list->selectPeer(peerIndexOf(*boris, *anna));
    list->DeactiveUser();
    QCOMPARE(list->registry()->GetPeer(peerIndexOf(*boris, *anna))->Blocked, quint8(1));
    say(*anna, 0, "Can you hear me");
    QVERIFY(waitUntil([&] { return occurrences(transcript(*clara, 0), "Can you hear me") == 1; }));
    QTest::qWait(200);
    QCOMPARE(occurrences(transcript(*boris, 0), "Can you hear me"), 0);
    // No private talk is created for a blocked sender either.
    say(*anna, openPrivateTalk(*anna, *boris), "private");
    QTest::qWait(300);
    QCOMPARE(privateTalkWith(*boris, *anna), -1);
    // Activating again lets messages through.
    list->selectPeer(peerIndexOf(*boris, *anna));
    list->DeactiveUser();
    say(*anna, 0, "Now?");
    QVERIFY(waitUntil([&] { return occurrences(transcript(*boris, 0), "Now?") == 1; }));
}

void TestTalks::notTalkPrivateRefusesNewTalks()
{
    startThree();
    action(*boris, "actNotTalkPrivate")->trigger();
    QVERIFY(action(*boris, "actNotTalkPrivate")->isChecked());
    say(*anna, openPrivateTalk(*anna, *boris), "knock knock");
    QTest::qWait(300);
    QCOMPARE(privateTalkWith(*boris, *anna), -1);
    // An open talk still gets messages.
    action(*boris, "actNotTalkPrivate")->trigger();
    const int borisSheet = openPrivateTalk(*boris, *anna);
    action(*boris, "actNotTalkPrivate")->trigger();
    say(*anna, privateTalkWith(*anna, *boris), "second knock");
    QVERIFY(waitUntil([&] { return occurrences(transcript(*boris, borisSheet), "second knock") == 1; }));
}

void TestTalks::oversizedMessageShowsSendFailure()
{
    startThree();
    const int sheet = openPrivateTalk(*anna, *boris);
    const QString huge(9000, u'x');
    say(*anna, sheet, huge);
    QCOMPARE(MessageBox::shownTexts(), QStringList{ConstUnit::text(ConstUnit::Text::ErrorWhenSend)});
    QVERIFY(MessageBox::shownTexts().first().startsWith("Excuse. A mistake at sending the message"));
    QVERIFY(talks(*anna)->frame(sheet)->reMessage()->toPlainText().isEmpty());
    QVERIFY(transcript(*anna, sheet).contains(huge)); // stays at the sender
    MessageBox::clearShownTexts();
    say(*anna, 0, "small");
    QVERIFY(MessageBox::shownTexts().isEmpty());
}

void TestTalks::headerFollowsMessageOptions()
{
    TestPeer anna("Anna");
    anna.start();
    TalkManager *t = talks(anna);
    // A sender with an empty alias is shown by IP; time on, IP off by default.
    t->AppendMessage(0, "{S}", "10.0.0.9", "first", 0, 3, QString());
    const QTextDocument *doc = t->frame(0)->reAllMessage()->document();
    const QString firstHeader = doc->firstBlock().text();
    QVERIFY2(QRegularExpression("^\\x{FFFC}\\[10\\.0\\.0\\.9\\] \\d\\d\\.\\d\\d$")
                 .match(firstHeader)
                 .hasMatch(),
             qPrintable(firstHeader));
    // The first message starts on the first line, with the picture first.
    const QList<RichItem> items = RichItems(doc);
    QCOMPARE(items.first().kind, RichItemKind::Bullet);
    QCOMPARE(items.first().index, 3);
    QCOMPARE(items.first().block, 0);

    action(anna, "actShowDataTimewhenMessage")->trigger();
    t->AppendMessage(0, "{S}", "10.0.0.9", "second", 0, -1, QStringLiteral("Sam"));
    QStringList blocks;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        blocks.append(b.text());
    QCOMPARE(blocks.mid(1), (QStringList{"first", QString(QChar(0xFFFC)) + "[Sam]", "second"}));
    QCOMPARE(RichItems(doc).at(3).index, 0); // picture -1 shows picture 0

    action(anna, "actShowUserIPWhenMessage")->trigger();
    t->AppendMessage(0, "{S}", "10.0.0.9", "third", 0, 1, QStringLiteral("Sam"));
    QCOMPARE(doc->lastBlock().previous().text(), QString(QChar(0xFFFC)) + "[Sam] IP:10.0.0.9");
    action(anna, "actShowPictureWhenMessage")->trigger();
    t->AppendMessage(0, "{S}", "10.0.0.9", "fourth", 0, 1, QStringLiteral("Sam"));
    QCOMPARE(doc->lastBlock().previous().text(), QStringLiteral("[Sam] IP:10.0.0.9"));
    anna.close();
}

void TestTalks::senderColourRecoloursEarlierText()
{
    TestPeer anna("Anna");
    anna.start();
    TalkManager *t = talks(anna);
    const int sheet = t->CreateTalk("Group", 2, tkMemberGroup, -1, "G", "Ivan", "{G}", "", "{I}", "10.0.0.3");
    t->AppendMessage(0, "{I}", "10.0.0.3", "red words", 0x0000FF, 0, "Ivan");
    t->AppendMessage(sheet, "{I}", "10.0.0.3", "more red", 0x0000FF, 0, "Ivan");
    t->AppendMessage(0, "{O}", "10.0.0.4", "other words", 0x00FF00, 0, "Olga");
    const auto colourOf = [](const QTextDocument *doc, const QString &text) {
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
            if (b.text() == text)
                return b.begin().fragment().charFormat().foreground().color();
        }
        return QColor();
    };
    const QTextDocument *all = t->frame(0)->reAllMessage()->document();
    const QTextDocument *group = t->frame(sheet)->reAllMessage()->document();
    QCOMPARE(colourOf(all, "red words"), QColor(255, 0, 0));
    // A new colour for Ivan recolours his earlier text in every transcript, and only his.
    t->AppendMessage(0, "{I}", "10.0.0.3", "blue words", 0xFF0000, 0, "Ivan");
    QVERIFY(waitUntil([&] { return colourOf(all, "red words") == QColor(0, 0, 255); }));
    QCOMPARE(colourOf(group, "more red"), QColor(0, 0, 255));
    QCOMPARE(colourOf(all, "blue words"), QColor(0, 0, 255));
    QCOMPARE(colourOf(all, "other words"), QColor(0, 255, 0));
    anna.close();
}

void TestTalks::mailCommands()
{
    anna = std::make_unique<TestPeer>("Anna");
    boris = std::make_unique<TestPeer>("Boris");
    clara = std::make_unique<TestPeer>("Clara");
    TSetUserData(boris->store()).SetEMail("boris@example.org");
    TSetUserData(clara->store()).SetEMail("clara@example.org");
    anna->start();
    boris->start();
    clara->start();
    QVERIFY(waitUntil([&] { return allSeeEachOther({anna.get(), boris.get(), clara.get()}); }));
    ShellOpen::clearOpened();
    action(*anna, "actMailAll")->trigger();
    const QString all = ShellOpen::opened().value(0);
    QVERIFY(all == "MailTo:boris@example.org;clara@example.org" ||
            all == "MailTo:clara@example.org;boris@example.org");
    anna->userList()->selectPeer(peerIndexOf(*anna, *clara));
    action(*anna, "actMailUser")->trigger();
    QCOMPARE(ShellOpen::opened().value(1), QStringLiteral("MailTo:clara@example.org"));
    action(*anna, "actMailEmpty")->trigger();
    QCOMPARE(ShellOpen::opened().value(2), QStringLiteral("MailTo: "));
    anna->userList()->mainGroup()->captionButton()->setFocus();
    action(*anna, "actMailGroup")->trigger();
    QVERIFY(ShellOpen::opened().value(3).startsWith("MailTo:"));
    QCOMPARE(ShellOpen::opened().value(3).count('@'), 2);
}

void TestTalks::pagesFollowTalkIds()
{
    startThree();
    TalkManager *t = talks(*anna);
    const int withBoris = openPrivateTalk(*anna, *boris);
    const int withClara = openPrivateTalk(*anna, *clara);
    QCOMPARE(withClara, 2);
    const int claraTalk = t->talkIdAt(withClara);
    QCOMPARE(t->core()->FindPrivateTalk(clara->id()), claraTalk);
    QCOMPARE(t->core()->talkIds(), (QList<int>{t->talkIdAt(0), t->talkIdAt(withBoris), claraTalk}));

    // The page before it goes; Clara's talk keeps its ID on the page that moved up.
    t->CloseTalk(withBoris);
    QCOMPARE(t->count(), 2);
    QCOMPARE(t->core()->count(), 2);
    QCOMPARE(t->sheetOfTalk(claraTalk), 1);
    QCOMPARE(t->frame(1)->data().PeerID, clara->id());
    say(*clara, openPrivateTalk(*clara, *anna), "still me");
    QVERIFY(waitUntil([&] { return occurrences(transcript(*anna, 1), "still me") == 1; }));
    QCOMPARE(t->count(), 2);

    // A caption set from outside the talks (a language file) reaches the core and the tab.
    t->frame(0)->applyCaption(QStringLiteral("Alle"));
    QCOMPARE(t->caption(0), QStringLiteral("Alle"));
    QCOMPARE(t->core()->talk(t->talkIdAt(0))->data.Caption, QStringLiteral("Alle"));
    QCOMPARE(anna->mainWindow()->pages()->tabText(0), QStringLiteral("Alle"));
}

QTEST_MAIN(TestTalks)
#include "test_talks.moc"
