#include "PeerHarness.h"

#include "app/ui/MainActionList.h"
#include "app/ui/MainAutoReply.h"
#include "app/ui/MainMenus.h"
#include "features/AnsweringmachineTextUn.h"
#include "features/AutoReplyUn.h"
#include "features/ui/MessageBox.h"
#include "features/ui/ShellOpen.h"
#include "features/ui/StatusPanels.h"
#include "features/ui/fmAnsweringmachineUn.h"
#include "talks/ui/RichTextItems.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/TfmInformation.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

using namespace AnsweringmachineText;

namespace {

TalkManager *talks(const TestPeer &p)
{
    return p.mainWindow()->talks();
}

QAction *action(const TestPeer &p, const char *name)
{
    return p.mainWindow()->actions()->action(QLatin1StringView(name));
}

QString transcript(const TestPeer &p, int sheet)
{
    const TfrConnectUser *talk = talks(p)->frame(sheet);
    return talk ? withoutIsolates(talk->reAllMessage()->toPlainText()) : QString();
}

int openPrivateTalk(const TestPeer &at, const TestPeer &with)
{
    at.userList()->selectPeer(at.registry()->peers().findOnline(with.id()));
    action(at, "actMessageToUser")->trigger();
    return talks(at)->FindPrivateTalk(with.id());
}

void say(const TestPeer &p, int sheet, const QString &text)
{
    talks(p)->frame(sheet)->reMessage()->setPlainText(text);
    p.mainWindow()->pages()->setCurrentIndex(sheet);
    action(p, "actSendMessage")->trigger();
}

QMenu *menu(const TestPeer &p, const char *name)
{
    return p.mainWindow()->menus()->menu(QLatin1StringView(name));
}

QAction *disconnectItem(const TestPeer &p)
{
    return menu(p, "miAnsweringMachine")->findChild<QAction *>("miDisconnectAnsweringMachine");
}

// Opens the "Auto-Reply" menu the way a click does: its contents are refreshed first.
void openAutoReplyMenu(const TestPeer &p)
{
    Q_EMIT menu(p, "miAnsweringMachine")->aboutToShow();
}

QStringList variantCaptions(const TestPeer &p)
{
    QStringList captions;
    for (const QAction *item : menu(p, "miVariants")->actions())
        captions.append(item->text());
    return captions;
}

void pickVariant(const TestPeer &p, int index)
{
    openAutoReplyMenu(p);
    menu(p, "miVariants")->actions().at(index)->trigger();
}

QColor baseColor(const QWidget *w)
{
    return w->palette().color(QPalette::Base);
}

} // namespace

class TestAutoReply : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void storeOperations();
    void storeListsBySubstringInStoreOrder();
    void storeFailureReadsEmpty();
    void deletingSecondOfThreeLeavesOneAndThree();
    void savingRenumbersFromPositions();
    void editorEnterInTextSavesAndCloses();
    void editorEscapeDropsEdits();
    void editorFieldsApplyAndDelete();
    void editorHelpKey();
    void answeringRule();
    void disconnectRules();
    void menuPicksAndShowsState();
    void optionsCommandOpensEditor();
    void inputLockWhileOn();
    void answerCarriesMarkerAndVariant();
    void twoCopiesDoNotAnswerEachOther();
    void messagesToAllAndGroupsAreNotAnswered();

private:
    QTemporaryDir m_dir;
    // A file of its own for every test: a file removed and written again within a millisecond at the
    // same size would still be the one parsed before, to this process.
    int m_round = 0;
    SettingsStore store() const
    {
        return SettingsStore(m_dir.filePath(QStringLiteral("variants-%1.ini").arg(m_round)));
    }
    std::unique_ptr<TestPeer> anna, boris;
    void startTwo();
};

void TestAutoReply::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    MessageBox::setAutoAnswer(QMessageBox::Ok);
    ShellOpen::setRecording(true);
}

void TestAutoReply::init()
{
    ++m_round;
    MessageBox::clearShownTexts();
}

void TestAutoReply::cleanup()
{
    TfmInformation::setAutoAnswer([](TfmInformation &) { return true; });
    for (auto *p : {&boris, &anna}) {
        if (*p)
            (*p)->close();
        p->reset();
    }
    TfmInformation::clearAutoAnswer();
}

void TestAutoReply::startTwo()
{
    anna = std::make_unique<TestPeer>("Anna");
    boris = std::make_unique<TestPeer>("Boris");
    anna->start();
    boris->start();
    QVERIFY(waitUntil([&] { return anna->onlineCount() == 1 && boris->onlineCount() == 1; }));
}

void TestAutoReply::storeOperations()
{
    const SettingsStore s = store();
    QCOMPARE(SectionName(7), QStringLiteral("AMText!_7"));
    QVERIFY(WriteVariant(s, 1, "Away", "Back at two.\nRing me."));
    QVERIFY(WriteVariant(s, 2, "Lunch", ""));
    QCOMPARE(s.sections(), (QStringList{"AMText!_1", "AMText!_2"}));
    QCOMPARE(s.readString("AMText!_1", "Caption"), QStringLiteral("Away"));
    QCOMPARE(s.readString("AMText!_1", "Text"), QStringLiteral("Back at two.\nRing me."));
    QVERIFY(s.contains("AMText!_2", "Text"));
    QCOMPARE(ReadCaption(s, "AMText!_2"), QStringLiteral("Lunch"));
    QCOMPARE(ReadCaption(s, "AMText!_9"), QString());
    const Variant v = ReadVariant(s, "AMText!_1");
    QCOMPARE(v.Caption, QStringLiteral("Away"));
    QCOMPARE(v.Text, QStringLiteral("Back at two.\nRing me."));
    QCOMPARE(ReadVariant(s, "AMText!_9").Text, QString());

    QStringList captions{"keep"};
    QStringList sections;
    QCOMPARE(ListCaptions(s, &captions, &sections), 2);
    QCOMPARE(captions, (QStringList{"keep", "Away", "Lunch"}));
    QCOMPARE(sections, (QStringList{"AMText!_1", "AMText!_2"}));

    s.writeString("fmStory", "Days", "10");
    QVERIFY(EraseAllVariants(s));
    QCOMPARE(s.sections(), QStringList{"fmStory"});
}

void TestAutoReply::storeListsBySubstringInStoreOrder()
{
    const SettingsStore s = store();
    WriteVariant(s, 2, "two", "");
    WriteVariant(s, 10, "ten", "");
    WriteVariant(s, 1, "one", "");
    s.writeString("xAMText!_old", "Caption", "foreign");
    s.writeString("AMText", "Caption", "no");
    s.writeString("Other", "Caption", "no");
    // Missing values read as empty.
    s.writeString("AMText!_5", "Text", "only text");
    QStringList sections{"first"};
    QCOMPARE(ListVariantSections(s, &sections), 6);
    // The store's own order: not numeric.
    QCOMPARE(sections,
             (QStringList{"first", "AMText!_1", "AMText!_10", "AMText!_2", "AMText!_5", "xAMText!_old"}));
    QCOMPARE(ReadCaption(s, "AMText!_5"), QString());
}

void TestAutoReply::storeFailureReadsEmpty()
{
    // A folder where the INI file should be: the store cannot be opened.
    QDir(m_dir.path()).mkpath("broken.ini");
    const SettingsStore s(m_dir.filePath("broken.ini"));
    QStringList sections;
    QCOMPARE(ListVariantSections(s, &sections), -1);
    QVERIFY(sections.isEmpty());
    QCOMPARE(ListCaptions(s, &sections, &sections), 0);
    QCOMPARE(ReadCaption(s, "AMText!_1"), QString());
    AnsweringVariants list(s);
    QCOMPARE(list.Load(), 0);
}

void TestAutoReply::deletingSecondOfThreeLeavesOneAndThree()
{
    const SettingsStore s = store();
    WriteVariant(s, 1, "one", "1");
    WriteVariant(s, 2, "two", "2");
    WriteVariant(s, 3, "three", "3");
    AnsweringVariants list(s);
    QCOMPARE(list.Load(), 3);
    QCOMPARE(list.entry(2)->Section, QStringLiteral("AMText!_2"));
    QVERIFY(list.Delete(2));
    QVERIFY(!list.Delete(2));
    QVERIFY(!list.SetCaption(2, "x"));
    QCOMPARE(list.count(), 3);
    QVERIFY(!list.entry(2)->Active);
    QVERIFY(list.entry(2)->Deleted);
    QVERIFY(!list.entry(0));
    QVERIFY(!list.entry(4));
    list.Save();
    QCOMPARE(s.sections(), (QStringList{"AMText!_1", "AMText!_3"}));
    QCOMPARE(s.readString("AMText!_1", "Caption"), QStringLiteral("one"));
    QCOMPARE(s.readString("AMText!_3", "Caption"), QStringLiteral("three"));
    QCOMPARE(s.readString("AMText!_3", "Text"), QStringLiteral("3"));
    // The file itself holds exactly the two sections.
    QFile file(s.location());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray ini = file.readAll();
    QCOMPARE(ini.count("[AMText"), 2);
    QVERIFY(!ini.contains("_2]"));
}

void TestAutoReply::savingRenumbersFromPositions()
{
    const SettingsStore s = store();
    WriteVariant(s, 10, "ten", "T");
    WriteVariant(s, 4, "four", "F");
    AnsweringVariants list(s);
    list.Load();
    // Store order: "AMText!_10" before "AMText!_4".
    QCOMPARE(list.entry(1)->Caption, QStringLiteral("ten"));
    const int added = list.AddNew();
    QCOMPARE(added, 3);
    QVERIFY(list.entry(3)->Section.isEmpty());
    QVERIFY(list.SetCaption(3, "new"));
    QVERIFY(list.SetText(3, "N"));
    list.Save();
    QCOMPARE(s.sections(), (QStringList{"AMText!_1", "AMText!_2", "AMText!_3"}));
    QCOMPARE(s.readString("AMText!_1", "Caption"), QStringLiteral("ten"));
    QCOMPARE(s.readString("AMText!_2", "Text"), QStringLiteral("F"));
    QCOMPARE(s.readString("AMText!_3", "Caption"), QStringLiteral("new"));
}

void TestAutoReply::editorEnterInTextSavesAndCloses()
{
    const SettingsStore s = store();
    WriteVariant(s, 1, "Old", "old text");
    bool driven = false;
    TfmAnsweringmachine editor(s, {});
    QCOMPARE(editor.windowTitle(), QStringLiteral("Auto-Reply options"));
    QCOMPARE(editor.btnOk()->text(), QStringLiteral("&OK"));
    QVERIFY(!editor.btnApply()->isEnabled());
    QTimer::singleShot(0, this, [&] {
        auto *open = qobject_cast<TfmAnsweringmachine *>(QApplication::activeModalWidget());
        QVERIFY(open);
        // New from the toolbar, a caption, then the text and Enter inside the text field.
        QWidget *newButton = open->findChild<QToolBar *>()->widgetForAction(open->actAddNewTextAnswer());
        QTest::mouseClick(newButton, Qt::LeftButton);
        QCOMPARE(open->tvVariants()->topLevelItemCount(), 2);
        QVERIFY(open->edCaption()->isEnabled());
        QTRY_VERIFY(open->edCaption()->hasFocus());
        QTest::keyClicks(open->edCaption(), "Away");
        QCOMPARE(open->tvVariants()->topLevelItem(1)->text(0), QStringLiteral("Away"));
        QVERIFY(open->btnApply()->isEnabled());
        open->reText()->setFocus();
        QTest::keyClicks(open->reText(), "Back soon");
        QTest::keyClick(open->reText(), Qt::Key_Return);
        driven = true;
    });
    QCOMPARE(editor.exec(), int(QDialog::Accepted));
    QVERIFY(driven);
    QCOMPARE(editor.reText()->toPlainText(), QStringLiteral("Back soon"));
    QCOMPARE(s.sections(), (QStringList{"AMText!_1", "AMText!_2"}));
    QCOMPARE(s.readString("AMText!_2", "Caption"), QStringLiteral("Away"));
    QCOMPARE(s.readString("AMText!_2", "Text"), QStringLiteral("Back soon"));
    QCOMPARE(s.readString("AMText!_1", "Text"), QStringLiteral("old text"));
}

void TestAutoReply::editorEscapeDropsEdits()
{
    const SettingsStore s = store();
    WriteVariant(s, 1, "Old", "old text");
    TfmAnsweringmachine editor(s, {});
    QTimer::singleShot(0, this, [&] {
        QWidget *open = QApplication::activeModalWidget();
        QVERIFY(open == &editor);
        // The loaded variant ends selected: its fields show it.
        QCOMPARE(editor.edCaption()->text(), QStringLiteral("Old"));
        editor.edCaption()->setFocus();
        QTest::keyClicks(editor.edCaption(), " changed");
        QCOMPARE(editor.tvVariants()->topLevelItem(0)->text(0), QStringLiteral("Old changed"));
        QTest::keyClick(editor.edCaption(), Qt::Key_Escape);
    });
    QCOMPARE(editor.exec(), int(QDialog::Rejected));
    QCOMPARE(s.readString("AMText!_1", "Caption"), QStringLiteral("Old"));
}

void TestAutoReply::editorFieldsApplyAndDelete()
{
    const SettingsStore s = store();
    WriteVariant(s, 1, "one", "1");
    WriteVariant(s, 2, "two", "2");
    WriteVariant(s, 3, "three", "3");
    TfmAnsweringmachine editor(s, {});
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    // The last loaded node ends selected.
    QCOMPARE(editor.tvVariants()->currentItem()->text(0), QStringLiteral("three"));
    QCOMPARE(editor.reText()->toPlainText(), QStringLiteral("3"));
    QVERIFY(!editor.isModified());
    QVERIFY(!editor.btnApply()->isEnabled());

    editor.tvVariants()->setCurrentItem(editor.tvVariants()->topLevelItem(1));
    QCOMPARE(editor.edCaption()->text(), QStringLiteral("two"));
    editor.tvVariants()->setFocus();
    QTest::mouseClick(editor.findChild<QToolBar *>()->widgetForAction(editor.actDeleteTextAnswer()),
                      Qt::LeftButton);
    QCOMPARE(editor.tvVariants()->topLevelItemCount(), 2);
    QVERIFY(editor.variants().entry(2)->Deleted);
    QVERIFY(editor.btnApply()->isEnabled());

    // No selection: both fields off, emptied and in the button colour.
    editor.tvVariants()->clearSelection();
    editor.tvVariants()->setCurrentItem(nullptr);
    QVERIFY(!editor.edCaption()->isEnabled());
    QVERIFY(!editor.reText()->isEnabled());
    QVERIFY(editor.edCaption()->text().isEmpty());
    QCOMPARE(baseColor(editor.edCaption()), QApplication::palette().color(QPalette::Button));
    editor.tvVariants()->setCurrentItem(editor.tvVariants()->topLevelItem(0));
    QVERIFY(editor.reText()->isEnabled());
    QCOMPARE(baseColor(editor.reText()), QApplication::palette().color(QPalette::Base));
    QCOMPARE(editor.reText()->toPlainText(), QStringLiteral("1"));
    // Typing into the text changes the entry, not the store.
    editor.reText()->setFocus();
    editor.reText()->moveCursor(QTextCursor::End);
    QTest::keyClicks(editor.reText(), "!");
    QCOMPARE(editor.variants().entry(1)->Text, QStringLiteral("1!"));
    QCOMPARE(s.readString("AMText!_1", "Text"), QStringLiteral("1"));

    QTest::mouseClick(editor.btnApply(), Qt::LeftButton);
    QVERIFY(!editor.btnApply()->isEnabled());
    QVERIFY(editor.isVisible());
    QCOMPARE(s.sections(), (QStringList{"AMText!_1", "AMText!_3"}));
    QCOMPARE(s.readString("AMText!_1", "Text"), QStringLiteral("1!"));

    // The popup offers the same two commands.
    QCOMPARE(editor.popupMenu()->actions(),
             (QList<QAction *>{editor.actAddNewTextAnswer(), editor.actDeleteTextAnswer()}));
    QTest::mouseClick(editor.btnCancel(), Qt::LeftButton);
    QVERIFY(!editor.isVisible());
}

void TestAutoReply::editorHelpKey()
{
    QList<int> topics;
    TfmAnsweringmachine editor(store(), [&](int topic) {
        topics.append(topic);
        return true;
    });
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    editor.tvVariants()->setFocus();
    QTest::keyClick(editor.tvVariants(), Qt::Key_F1);
    QCOMPARE(topics, QList<int>{9500});
    QVERIFY(editor.isVisible());
}

void TestAutoReply::answeringRule()
{
    const SettingsStore s = store();
    WriteVariant(s, 1, "Away", "Back soon");
    WriteVariant(s, 2, "", "text without caption");
    AutoReply reply(s);
    // Off at start: nothing is answered.
    QVERIFY(!reply.isOn());
    reply.Refresh("Disconnect Auto-Reply");
    QVERIFY(!reply.AnswerFor(false, true));

    QVERIFY(reply.Pick(0));
    QVERIFY(reply.isOn());
    const auto answer = reply.AnswerFor(false, true);
    QVERIFY(answer);
    QCOMPARE(answer->Caption, QStringLiteral("Away"));
    QCOMPARE(answer->Text, QStringLiteral("Back soon"));
    // A message with the marker is never answered; nor one shown in no talk.
    QVERIFY(!reply.AnswerFor(true, true));
    QVERIFY(!reply.AnswerFor(false, false));
    // Every message without the marker is answered, as often as it comes.
    QVERIFY(reply.AnswerFor(false, true));

    // A variant with an empty caption can be picked but never answers.
    QVERIFY(reply.Pick(1));
    QVERIFY(reply.isOn());
    QVERIFY(!reply.AnswerFor(false, true));

    // The chosen variant's section vanished: no answer.
    QVERIFY(reply.Pick(0));
    s.removeSection("AMText!_1");
    QVERIFY(!reply.AnswerFor(false, true));
    QVERIFY(!reply.Pick(5));
}

void TestAutoReply::disconnectRules()
{
    const SettingsStore s = store();
    WriteVariant(s, 1, "Away", "a");
    WriteVariant(s, 2, "Meeting", "m");
    AutoReply reply(s);
    QSignalSpy changes(&reply, &AutoReply::stateChanged);
    AutoReplyMenuState menu = reply.Refresh("Disconnect Auto-Reply");
    QVERIFY(!menu.disconnectVisible);
    QCOMPARE(menu.disconnectCaption, QStringLiteral("Disconnect Auto-Reply"));
    QVERIFY(menu.variantsRebuilt);
    QVERIFY(menu.variantsEnabled);
    QCOMPARE(menu.variants.size(), 2);
    QVERIFY(!menu.variants.at(0).checked);
    // Off and never on: the Disconnect item does nothing.
    reply.DisconnectClicked();
    QVERIFY(!reply.isOn());
    QCOMPARE(changes.count(), 0);

    reply.Pick(1);
    QCOMPARE(reply.chosenVariant(), QStringLiteral("AMText!_2"));
    QVERIFY(reply.disconnectVisible());
    QVERIFY(reply.variants().at(1).checked);
    QVERIFY(!reply.variants().at(0).checked);
    // While on the submenu is not rebuilt: a new variant does not show.
    WriteVariant(s, 3, "Late", "l");
    menu = reply.Refresh("Disconnect Auto-Reply");
    QVERIFY(!menu.variantsRebuilt);
    QCOMPARE(menu.variants.size(), 2);
    QCOMPARE(menu.disconnectCaption, QStringLiteral("Disconnect Auto-Reply"));

    reply.DisconnectClicked();
    QVERIFY(!reply.isOn());
    QVERIFY(!reply.disconnectVisible());
    // Off after a first switch-off: the item bears the chosen variant's caption and switches on again.
    menu = reply.Refresh("Disconnect Auto-Reply");
    QVERIFY(menu.disconnectVisible);
    QCOMPARE(menu.disconnectCaption, QStringLiteral("Meeting"));
    QCOMPARE(menu.variants.size(), 3);
    QVERIFY(menu.variants.at(1).checked);
    reply.DisconnectClicked();
    QVERIFY(reply.isOn());
    QCOMPARE(reply.chosenVariant(), QStringLiteral("AMText!_2"));
    QCOMPARE(changes.count(), 3);

    // The chosen section vanished: an empty caption, and Disconnect cannot switch on.
    reply.DisconnectClicked();
    EraseAllVariants(s);
    menu = reply.Refresh("Disconnect Auto-Reply");
    QCOMPARE(menu.disconnectCaption, QString());
    QVERIFY(!menu.variantsEnabled);
    reply.DisconnectClicked();
    QVERIFY(!reply.isOn());
}

void TestAutoReply::menuPicksAndShowsState()
{
    anna = std::make_unique<TestPeer>("Anna");
    WriteVariant(anna->store(), 1, "Away", "a");
    WriteVariant(anna->store(), 2, "Lunch & more", "l");
    anna->start();
    QAction *mode = action(*anna, "actAnsweringMachine");
    QVERIFY(!mode->isChecked());
    QVERIFY(!disconnectItem(*anna)->isVisible());
    QVERIFY(!menu(*anna, "miVariants")->isEnabled());

    openAutoReplyMenu(*anna);
    QCOMPARE(variantCaptions(*anna), (QStringList{"Away", "Lunch && more"}));
    QVERIFY(menu(*anna, "miVariants")->isEnabled());
    QCOMPARE(menu(*anna, "miVariants")->actions().at(1)->data().toString(), QStringLiteral("AMText!_2"));
    QVERIFY(!disconnectItem(*anna)->isVisible());

    pickVariant(*anna, 1);
    QVERIFY(mode->isChecked());
    QVERIFY(menu(*anna, "miVariants")->actions().at(1)->isChecked());
    QVERIFY(!menu(*anna, "miVariants")->actions().at(0)->isChecked());
    QVERIFY(disconnectItem(*anna)->isVisible());
    QCOMPARE(anna->mainWindow()->statusPanels()->panelText(4), mode->text());
    openAutoReplyMenu(*anna);
    QCOMPARE(disconnectItem(*anna)->text(), QStringLiteral("Disconnect Auto-Reply"));

    disconnectItem(*anna)->trigger();
    QVERIFY(!mode->isChecked());
    QVERIFY(!disconnectItem(*anna)->isVisible());
    QCOMPARE(anna->mainWindow()->statusPanels()->panelText(4), QString());
    openAutoReplyMenu(*anna);
    QVERIFY(disconnectItem(*anna)->isVisible());
    QCOMPARE(disconnectItem(*anna)->text(), QStringLiteral("Lunch && more"));
    disconnectItem(*anna)->trigger();
    QVERIFY(mode->isChecked());

    // The tray's auto-reply entry shows the same items.
    Q_EMIT anna->mainWindow()->menus()->pmTrey()->aboutToShow();
    QCOMPARE(menu(*anna, "miAnsweringMachineTrey")->actions(), menu(*anna, "miAnsweringMachine")->actions());

    // Off at every start: the state is not kept.
    anna->close();
    anna->start();
    QVERIFY(!action(*anna, "actAnsweringMachine")->isChecked());
    QVERIFY(!disconnectItem(*anna)->isVisible());
}

void TestAutoReply::optionsCommandOpensEditor()
{
    anna = std::make_unique<TestPeer>("Anna");
    WriteVariant(anna->store(), 1, "Away", "a");
    anna->start();
    int nodes = -1;
    QTimer::singleShot(0, this, [&] {
        auto *editor = qobject_cast<TfmAnsweringmachine *>(QApplication::activeModalWidget());
        QVERIFY(editor);
        nodes = editor->tvVariants()->topLevelItemCount();
        QTest::keyClick(editor->tvVariants(), Qt::Key_Escape);
    });
    action(*anna, "actAnsweringmachineOptions")->trigger();
    QCOMPARE(nodes, 1);
    QVERIFY(!QApplication::activeModalWidget());
}

void TestAutoReply::inputLockWhileOn()
{
    startTwo();
    WriteVariant(anna->store(), 1, "Away", "a");
    const int before = openPrivateTalk(*anna, *boris);
    QTextEdit *beforeEditor = talks(*anna)->frame(before)->reMessage();
    QVERIFY(!beforeEditor->isReadOnly());

    pickVariant(*anna, 0);
    QVERIFY(beforeEditor->isReadOnly());
    QCOMPARE(baseColor(beforeEditor), QApplication::palette().color(QPalette::Button));
    // The talk with everybody is never locked.
    QVERIFY(!talks(*anna)->frame(0)->reMessage()->isReadOnly());
    // A locked editor sends nothing when the user runs "Send message".
    QVERIFY(!talks(*anna)->SendMessage(before, false));

    // A talk the user opens while it is on stays writable.
    talks(*anna)->destroyTalk(before);
    const int later = openPrivateTalk(*anna, *boris);
    QVERIFY(!talks(*anna)->frame(later)->reMessage()->isReadOnly());

    // A talk opened by an incoming message takes the lock.
    const int borisSheet = openPrivateTalk(*boris, *anna);
    talks(*anna)->destroyTalk(later);
    say(*boris, borisSheet, "are you there?");
    QVERIFY(waitUntil([&] { return talks(*anna)->FindPrivateTalk(boris->id()) > 0; }));
    const int incoming = talks(*anna)->FindPrivateTalk(boris->id());
    QVERIFY(talks(*anna)->frame(incoming)->reMessage()->isReadOnly());

    disconnectItem(*anna)->trigger();
    QVERIFY(!talks(*anna)->frame(incoming)->reMessage()->isReadOnly());
    QCOMPARE(baseColor(talks(*anna)->frame(incoming)->reMessage()),
             QApplication::palette().color(QPalette::Base));
}

void TestAutoReply::answerCarriesMarkerAndVariant()
{
    startTwo();
    RawPeer raw;
    QVERIFY(raw.isReady());
    WriteVariant(boris->store(), 1, "Away", "Back at two");
    pickVariant(*boris, 0);
    const int sheet = openPrivateTalk(*anna, *boris);
    raw.clear();
    say(*anna, sheet, "hello?");
    QVERIFY(waitUntil([&] { return transcript(*anna, sheet).contains("Back at two"); }));
    const QList<QByteArray> answers = raw.heardFrom(pkMessageToUser, boris->id());
    QCOMPARE(answers.size(), 1);
    const QByteArray &packet = answers.first();
    // The bare marker between the colour field and the message text.
    QVERIFY(packet.contains(QByteArray("</COLOR>") + AutoReplyMarker + "<MESSAGESTR>"));
    QCOMPARE(packet.count(AutoReplyMarker), 1);
    const QString text = transcript(*anna, sheet);
    QVERIFY(text.contains("Away"));
    QVERIFY(text.indexOf("Away") < text.indexOf("Back at two"));
    // The answer shows at Boris as his own message, and his input is empty again.
    const int borisSheet = talks(*boris)->FindPrivateTalk(anna->id());
    QVERIFY(transcript(*boris, borisSheet).contains("[Boris]"));
    QVERIFY(transcript(*boris, borisSheet).contains("Back at two"));
    QVERIFY(talks(*boris)->frame(borisSheet)->reMessage()->toPlainText().isEmpty());
    // The answer starts with picture 3 of the profile pictures.
    bool picture = false;
    for (const RichItem &item : RichItems(talks(*boris)->frame(borisSheet)->reAllMessage()->document())) {
        if (item.kind == RichItemKind::Bullet && item.index == MainAutoReply::AnswerPicture)
            picture = true;
    }
    QVERIFY(picture);
}

void TestAutoReply::twoCopiesDoNotAnswerEachOther()
{
    startTwo();
    RawPeer raw;
    QVERIFY(raw.isReady());
    WriteVariant(anna->store(), 1, "Anna is away", "a");
    WriteVariant(boris->store(), 1, "Boris is away", "b");
    pickVariant(*anna, 0);
    pickVariant(*boris, 0);
    const int sheet = openPrivateTalk(*anna, *boris);
    raw.clear();
    say(*anna, sheet, "ping");
    QVERIFY2(waitUntil([&] { return transcript(*anna, sheet).contains("Boris is away"); }),
             qPrintable(transcript(*anna, sheet) + " / " +
                        transcript(*boris, qMax(0, talks(*boris)->FindPrivateTalk(anna->id())))));
    // Time for any answer to the answer to come round.
    QTest::qWait(1500);
    const QList<QByteArray> fromAnna = raw.heardFrom(pkMessageToUser, anna->id());
    const QList<QByteArray> fromBoris = raw.heardFrom(pkMessageToUser, boris->id());
    QCOMPARE(fromAnna.size(), 1);
    QCOMPARE(fromBoris.size(), 1);
    QVERIFY(!fromAnna.first().contains(AutoReplyMarker));
    QVERIFY(fromBoris.first().contains(AutoReplyMarker));
    const int borisSheet = talks(*boris)->FindPrivateTalk(anna->id());
    QCOMPARE(int(transcript(*boris, borisSheet).count("ping")), 1);
    QVERIFY(!transcript(*boris, borisSheet).contains("Anna is away"));
}

void TestAutoReply::messagesToAllAndGroupsAreNotAnswered()
{
    startTwo();
    RawPeer raw;
    WriteVariant(boris->store(), 1, "Away", "b");
    pickVariant(*boris, 0);
    raw.clear();
    say(*anna, 0, "hello everybody");
    QVERIFY(waitUntil([&] { return transcript(*boris, 0).contains("hello everybody"); }));
    QTest::qWait(500);
    QCOMPARE(raw.heardFrom(pkMessageToUser, boris->id()).size(), 0);
    QCOMPARE(talks(*boris)->count(), 1);
}

QTEST_MAIN(TestAutoReply)
#include "test_autoreply.moc"
