#include "support/Wait.h"

#include "app/AppContext.h"
#include "app/ChatCore.h"
#include "app/TalkHistory.h"
#include "app/ui/MainActionList.h"
#include "app/ui/MainHistory.h"
#include "features/SafeFileName.h"
#include "features/StoryFileUn.h"
#include "features/ui/MessageBox.h"
#include "features/ui/SaveDialog.h"
#include "features/ui/ShellOpen.h"
#include "features/ui/fmStoryUn.h"
#include "protocol/ConstUnit.h"
#include "protocol/SendMessageUn.h"
#include "settings/TMyUserData.h"
#include "settings/iniFileUn.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/TfmInformation.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextImageFormat>
#include <QTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include <filesystem>
#include <utime.h>

// The history window: the folder's files with their commands, its keys and its options.
namespace {

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// On the indicator: a click beside a stretched box's text does not toggle it.
void clickBox(QWidget *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

} // namespace

class TestHistoryWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void storyListsAndSelects();
    void storyFileCommands();
    void storyKeysDrivenForReal();
    void storyRealSaveDialog();
    void storyOptions();
};

void TestHistoryWindow::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    MessageBox::setAutoAnswer(QMessageBox::Ok);
    ShellOpen::setRecording(true);
}

void TestHistoryWindow::init()
{
    ShellOpen::clearOpened();
    SaveDialog::clearAutoAnswer();
}

void TestHistoryWindow::cleanup()
{
    ConstUnit::resetTexts();
}

void TestHistoryWindow::storyListsAndSelects()
{
    QTemporaryDir dir;
    const SettingsStore store(dir.filePath("s.ini"));
    QDir().mkpath(dir.filePath("History"));
    writeFile(dir.filePath("History/only one.txt"), "1");
    {
        TfmStory story(store, dir.filePath("History"), {});
        QCOMPARE(story.windowTitle(), QStringLiteral("History of messages"));
        QCOMPARE(story.tvHitoryList()->topLevelItemCount(), 1);
        // A single file shows unselected.
        QVERIFY(story.tvHitoryList()->selectedItems().isEmpty());
        Q_EMIT story.pmStoryFile()->aboutToShow();
        for (const QAction *item : story.pmStoryFile()->actions())
            QVERIFY(!item->isEnabled());
        // The toolbar's commands stay enabled and do nothing.
        QVERIFY(story.actDeleteFile()->isEnabled());
        story.actDeleteFile()->trigger();
        QVERIFY(QFileInfo::exists(dir.filePath("History/only one.txt")));
    }
    writeFile(dir.filePath("History/second.rtf"), "2");
    QDir().mkpath(dir.filePath("History/sub folder"));
    TfmStory story(store, dir.filePath("History"), {});
    QCOMPARE(story.tvHitoryList()->topLevelItemCount(), 2);
    const QStringList listed = {story.tvHitoryList()->topLevelItem(0)->text(0),
                                story.tvHitoryList()->topLevelItem(1)->text(0)};
    QCOMPARE(listed, QDir(dir.filePath("History")).entryList(QDir::Files, QDir::Unsorted));
    QCOMPARE(story.tvHitoryList()->selectedItems(),
             QList<QTreeWidgetItem *>{story.tvHitoryList()->topLevelItem(1)});
    Q_EMIT story.pmStoryFile()->aboutToShow();
    QCOMPARE(story.pmStoryFile()->actions().size(), 4);
    for (const QAction *item : story.pmStoryFile()->actions())
        QVERIFY(item->isEnabled());
    // No folder: no files.
    TfmStory none(store, dir.filePath("missing"), {});
    QCOMPARE(none.tvHitoryList()->topLevelItemCount(), 0);
}

void TestHistoryWindow::storyFileCommands()
{
    QTemporaryDir dir;
    QTemporaryDir elsewhere;
    const SettingsStore store(dir.filePath("s.ini"));
    const QString history = dir.filePath("History");
    QDir().mkpath(history);
    for (const char *name : {"a.txt", "b.txt", "c.txt"})
        writeFile(history + u'/' + QLatin1StringView(name), QByteArray("content of ") + name);
    TfmStory story(store, history, {});
    QTreeWidget *list = story.tvHitoryList();
    const auto select = [&](const QString &name) {
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            if (list->topLevelItem(i)->text(0) == name)
                list->setCurrentItem(list->topLevelItem(i));
        }
        return list->currentItem() && list->currentItem()->text(0) == name;
    };
    const auto listedNames = [&] {
        QStringList names;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            names.append(list->topLevelItem(i)->text(0));
        names.sort();
        return names;
    };

    QVERIFY(select("a.txt"));
    story.actOpenFile()->trigger();
    QCOMPARE(ShellOpen::opened(), QStringList{history + "/a.txt"});

    // Save as copies, over an existing file, and keeps the node.
    writeFile(elsewhere.filePath("copy.txt"), "old");
    SaveDialog::setAutoAnswer(elsewhere.filePath("copy.txt"));
    story.actSaveAs()->trigger();
    QCOMPARE(SaveDialog::lastProposedName(), QStringLiteral("a.txt"));
    QCOMPARE(readText(elsewhere.filePath("copy.txt")), QStringLiteral("content of a.txt"));
    QVERIFY(QFileInfo::exists(history + "/a.txt"));
    QCOMPARE(listedNames(), (QStringList{"a.txt", "b.txt", "c.txt"}));

    // A cancelled dialog does nothing.
    SaveDialog::setAutoAnswer(QString());
    story.actMoveFile()->trigger();
    QCOMPARE(listedNames().size(), 3);

    // Move onto an existing file fails and leaves everything as it was.
    QVERIFY(select("b.txt"));
    SaveDialog::setAutoAnswer(elsewhere.filePath("copy.txt"));
    story.actMoveFile()->trigger();
    QVERIFY(QFileInfo::exists(history + "/b.txt"));
    QCOMPARE(readText(elsewhere.filePath("copy.txt")), QStringLiteral("content of a.txt"));
    QCOMPARE(listedNames().size(), 3);

    SaveDialog::setAutoAnswer(elsewhere.filePath("moved.txt"));
    story.actMoveFile()->trigger();
    QVERIFY(!QFileInfo::exists(history + "/b.txt"));
    QCOMPARE(readText(elsewhere.filePath("moved.txt")), QStringLiteral("content of b.txt"));
    QCOMPARE(listedNames(), (QStringList{"a.txt", "c.txt"}));

    QVERIFY(select("c.txt"));
    story.actDeleteFile()->trigger();
    QVERIFY(!QFileInfo::exists(history + "/c.txt"));
    QCOMPARE(listedNames(), QStringList{"a.txt"});

    // A file that went meanwhile: open does nothing, delete keeps the node.
    QVERIFY(select("a.txt"));
    QFile::remove(history + "/a.txt");
    ShellOpen::clearOpened();
    story.actOpenFile()->trigger();
    QVERIFY(ShellOpen::opened().isEmpty());
    story.actDeleteFile()->trigger();
    QCOMPARE(listedNames(), QStringList{"a.txt"});
}

void TestHistoryWindow::storyKeysDrivenForReal()
{
    QTemporaryDir dir;
    const QString history = dir.filePath("History");
    QDir().mkpath(history);
    writeFile(history + "/one.txt", "1");
    writeFile(history + "/two.txt", "2");
    QList<int> topics;
    TfmStory story(SettingsStore(dir.filePath("s.ini")), history, [&](int topic) {
        topics.append(topic);
        return true;
    });
    bool driven = false;
    QTimer::singleShot(0, this, [&] {
        QCOMPARE(QApplication::activeModalWidget(), &story);
        QTreeWidget *list = story.tvHitoryList();
        const QString selected = list->currentItem()->text(0);
        list->setFocus();
        // Enter opens the file and the window stays.
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(ShellOpen::opened(), QStringList{history + u'/' + selected});
        QVERIFY(story.isVisible());
        QTest::keyClick(list, Qt::Key_F1);
        QCOMPARE(topics, QList<int>{7000});
        // Del in the list deletes the selected file without asking.
        QTest::keyClick(list, Qt::Key_Delete);
        QVERIFY(!QFileInfo::exists(history + u'/' + selected));
        QCOMPARE(list->topLevelItemCount(), 1);
        // Del in the days field edits the field.
        story.cbPeriodOfStorage()->setChecked(true);
        story.edDays()->setFocus();
        story.edDays()->selectAll();
        QTest::keyClick(story.edDays(), Qt::Key_Delete);
        QTest::keyClicks(story.edDays(), "42");
        QCOMPARE(story.udDays()->text(), QStringLiteral("42"));
        QCOMPARE(list->topLevelItemCount(), 1);
        QVERIFY(story.btnApply()->isEnabled());
        QTest::keyClick(story.edDays(), Qt::Key_Escape);
        driven = true;
    });
    QCOMPARE(story.exec(), int(QDialog::Rejected));
    QVERIFY(driven);
    // Esc wrote nothing.
    QVERIFY(!SettingsStore(dir.filePath("s.ini")).contains("fmStory", "Days"));
}

void TestHistoryWindow::storyRealSaveDialog()
{
    QTemporaryDir dir;
    QTemporaryDir elsewhere;
    const QString history = dir.filePath("History");
    QDir().mkpath(history);
    writeFile(history + "/a.txt", "A");
    writeFile(history + "/b.txt", "B");
    TfmStory story(SettingsStore(dir.filePath("s.ini")), history, {});
    const QString target = elsewhere.filePath("chosen.txt");
    const QString selected = story.tvHitoryList()->currentItem()->text(0);
    bool typed = false;
    QTimer::singleShot(0, this, [&] {
        QTimer::singleShot(200, this, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->nameFilters(), QStringList{"All file (*.*)"});
            auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
            QVERIFY(name);
            QCOMPARE(name->text(), selected);
            name->selectAll();
            QTest::keyClicks(name, target);
            QTest::keyClick(name, Qt::Key_Return);
            typed = true;
        });
        story.actMoveFile()->trigger();
        QTest::keyClick(story.tvHitoryList(), Qt::Key_Escape);
    });
    story.exec();
    QVERIFY(typed);
    QCOMPARE(readText(target), selected == "a.txt" ? QStringLiteral("A") : QStringLiteral("B"));
    QVERIFY(!QFileInfo::exists(history + u'/' + selected));
    QCOMPARE(story.tvHitoryList()->topLevelItemCount(), 1);
}

void TestHistoryWindow::storyOptions()
{
    QTemporaryDir dir;
    const SettingsStore store(dir.filePath("s.ini"));
    store.writeBool("fmStory", "SaveHistory", false);
    store.writeBool("fmStory", "PeriodStorage", false);
    store.writeInt("fmStory", "Days", 20);
    store.writeBool("fmStory", "SaveAsRTF", true);
    store.writeBool("fmStory", "SaveAsTXT", false);
    {
        TfmStory story(store, dir.filePath("History"), {});
        QVERIFY(!story.cbSaveHistory()->isChecked());
        QVERIFY(!story.cbPeriodOfStorage()->isChecked());
        QCOMPARE(story.udDays()->value(), 20);
        QCOMPARE(story.udDays()->minimum(), 1);
        QCOMPARE(story.udDays()->maximum(), 365);
        QVERIFY(story.rbSaveAsRTF()->isChecked());
        QVERIFY(!story.btnApply()->isEnabled());
        // Period off: the days field is read-only in the button colour.
        QVERIFY(story.udDays()->isReadOnly());
        QCOMPARE(story.udDays()->palette().color(QPalette::Base),
                 QApplication::palette().color(QPalette::Button));
        story.show();
        QVERIFY(QTest::qWaitForWindowExposed(&story));
        clickBox(story.cbPeriodOfStorage());
        QVERIFY(!story.udDays()->isReadOnly());
        QVERIFY(story.btnApply()->isEnabled());
        story.udDays()->setValue(30);
        clickBox(story.cbSaveHistory());
        clickBox(story.rbSaveAsTXT());
        QTest::mouseClick(story.btnApply(), Qt::LeftButton);
        QVERIFY(!story.btnApply()->isEnabled());
        QVERIFY(story.isVisible());
    }
    StoryFile::Options o = StoryFile::ReadOptions(store);
    QVERIFY(o.SaveHistory);
    QVERIFY(o.PeriodStorage);
    QCOMPARE(o.Days, 30);
    QVERIFY(!o.SaveAsRTF);
    QVERIFY(o.SaveAsTXT);
    {
        TfmStory story(store, dir.filePath("History"), {});
        story.show();
        clickBox(story.cbSaveHistory());
        QTest::mouseClick(story.btnCancel(), Qt::LeftButton);
        QVERIFY(!story.isVisible());
    }
    QVERIFY(StoryFile::ReadOptions(store).SaveHistory);
    {
        TfmStory story(store, dir.filePath("History"), {});
        story.show();
        clickBox(story.cbSaveHistory());
        QTest::mouseClick(story.btnOk(), Qt::LeftButton);
        QVERIFY(!story.isVisible());
    }
    QVERIFY(!StoryFile::ReadOptions(store).SaveHistory);
}

QTEST_MAIN(TestHistoryWindow)
#include "test_historywindow.moc"
