// File and folder offers between complete copies on loopback: placing references, the confirmation
// page, the exact FILETO, the transfer over TCP port 54812, refusals, resume, and the windows.

#include "PeerHarness.h"
#include "support/Files.h"

#include "app/ui/MainActionList.h"
#include "features/ui/FileDialogs.h"
#include "features/ui/MessageBox.h"
#include "features/ui/ShellOpen.h"
#include "features/ui/StatusPanels.h"
#include "protocol/SendMessageUn.h"
#include "talks/MessageMarkers.h"
#include "talks/ui/FileOfferCommands.h"
#include "talks/ui/RichTextItems.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/TfmInformation.h"
#include "transfer/FileRecords.h"
#include "transfer/FileTransferWire.h"
#include "transfer/ui/TfmFileTransfers.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTcpSocket>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>

#include <memory>

namespace {

QAction *action(const TestPeer &p, const char *name)
{
    return p.mainWindow()->actions()->action(QLatin1StringView(name));
}

FileOfferCommands *files(const TestPeer &p)
{
    return p.mainWindow()->fileCommands();
}

FileTransferEngine &engine(const TestPeer &p)
{
    return files(p)->share().engine();
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32 *>(data.data()), size / 4);
    return data;
}

// "Insert files" with the chooser answered, then "Send message" in the talk with everybody.
void offer(const TestPeer &p, const QStringList &paths)
{
    p.mainWindow()->pages()->setCurrentIndex(0);
    FileDialogs::queueAnswer(paths);
    action(p, "actInsertFile")->trigger();
    action(p, "actSendMessage")->trigger();
}

QList<int> fileRecordsIn(const QTextEdit *edit)
{
    QList<int> records;
    for (QTextBlock b = edit->document()->begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (f.isImageFormat() && f.hasProperty(RichProperty::FileRecordIndex))
                records.append(f.intProperty(RichProperty::FileRecordIndex));
        }
    }
    return records;
}

// Clicks the first file icon of the transcript, as the user does to open its menu.
void clickFileIcon(QTextEdit *view)
{
    for (QTextBlock b = view->document()->begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().hasProperty(RichProperty::FileRecordIndex)) {
                QTextCursor c(view->document());
                c.setPosition(it.fragment().position());
                const QRect r = view->cursorRect(c);
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                                  QPoint(r.left() + 12, r.bottom() - 8));
                return;
            }
        }
    }
}

bool ended(const TestPeer &p, int id)
{
    const std::optional<TransferInfo> info = engine(p).info(id);
    return info && (info->state == TransferState::Done || info->state == TransferState::Failed ||
                    info->state == TransferState::Cancelled);
}

int onlyTransfer(const TestPeer &p)
{
    const QList<TransferInfo> list = engine(p).transfers();
    return list.size() == 1 ? list.first().id : -1;
}

struct Shown {
    QWidget *parent = nullptr;
    QString title;
    QString header;
    QString name;
    QString ip;
    QStringList rows;
};

} // namespace

class TestFileOffers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void fileArrivesThroughConfirmation();
    void folderTreeDroppedAndFetched();
    void resumeAfterOwnerKilled();
    void refusalsAreLoggedInStatusBar();
    void nothingCheckedOrNoFolderSendsNothing();
    void fileToForAnotherServerIsIgnored();
    void confirmationDrivenByKeys();
    void iconMenuCommands();
    void referenceNamingMyIdIsNotMine();
    void ownReferenceInPrivateTalk();
    void closingAsksOnlyFromTheWindow();
    void transferWindowOpensOnlyForOwnFetches();
    void manyReferencesFetchedFewAtATime();

private:
    void startTwo();
    std::unique_ptr<QTemporaryDir> annaDir;
    std::unique_ptr<TestPeer> anna, boris;
    QTemporaryDir work;
    QList<Shown> shown;
    QString saveTo;
};

void TestFileOffers::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    MessageBox::setAutoAnswer(QMessageBox::Ok);
    ShellOpen::setRecording(true);
}

void TestFileOffers::init()
{
    MessageBox::clearShownTexts();
    MessageBox::setNextChoice(-1);
    FileDialogs::clearAnswers();
    ShellOpen::clearOpened();
    shown.clear();
    saveTo = work.filePath(QStringLiteral("save-%1").arg(QTest::currentTestFunction()));
    QDir().mkpath(saveTo);
    // The confirmation is answered: everything checked, "Save to:" the test's folder.
    TfmInformation::setAutoAnswer([this](TfmInformation &d) {
        if (!d.files())
            return true;
        Shown s{d.parentWidget(),     d.windowTitle(),    d.header()->text(),
                d.userName()->text(), d.userIP()->text(), {}};
        for (int i = 0; i < d.files()->topLevelItemCount(); ++i)
            s.rows.append(d.files()->topLevelItem(i)->text(0));
        shown.append(s);
        d.folder()->setText(saveTo);
        return true;
    });
}

void TestFileOffers::cleanup()
{
    MessageBox::setNextChoice(0);
    TfmInformation::setAutoAnswer([](TfmInformation &) { return true; });
    for (auto *p : {&boris, &anna}) {
        if (*p)
            (*p)->close();
        p->reset();
    }
    TfmInformation::clearAutoAnswer();
    MessageBox::setNextChoice(-1);
}

void TestFileOffers::startTwo()
{
    annaDir = std::make_unique<QTemporaryDir>();
    anna = std::make_unique<TestPeer>("Anna", annaDir->path());
    boris = std::make_unique<TestPeer>("Boris");
    anna->start();
    boris->start();
    QVERIFY(waitUntil([&] { return anna->onlineCount() == 1 && boris->onlineCount() == 1; }));
}

void TestFileOffers::fileArrivesThroughConfirmation()
{
    const QByteArray data = randomBytes(50 * 1024 * 1024, 11);
    const QString source = work.filePath(QStringLiteral("anna/report 2024.bin"));
    QVERIFY(writeFile(source, data));
    RawPeer raw;
    QVERIFY(raw.isReady());
    startTwo();
    // Placing references is offered now, on the send toolbar of every talk.
    QVERIFY(action(*anna, "actInsertFile")->isVisible());
    QVERIFY(action(*anna, "actInsertFolder")->isVisible());
    QVERIFY(anna->mainWindow()->talks()->frame(0)->tbSendMessage()->actions().contains(
        action(*anna, "actInsertFile")));
    raw.clear();
    offer(*anna, {source});

    QVERIFY(waitUntil([&] { return shown.size() == 1; }));
    // Only Boris was asked; Anna's own echo shows the icon and no dialog.
    QCOMPARE(shown.first().parent, boris->mainWindow());
    QVERIFY(waitUntil(
        [&] { return fileRecordsIn(anna->mainWindow()->talks()->frame(0)->reAllMessage()).size() == 1; }));
    QCOMPARE(fileRecordsIn(boris->mainWindow()->talks()->frame(0)->reAllMessage()), QList<int>{0});
    QCOMPARE(shown.first().header, QStringLiteral("\u0421onfirmation of reception of files"));
    QVERIFY(shown.first().header.at(0).unicode() == 0x0421);
    QCOMPARE(shown.first().title, shown.first().header);
    QVERIFY(shown.first().name.contains(QStringLiteral("Anna")));
    QCOMPARE(shown.first().ip, QStringLiteral("127.0.0.1"));
    // The sender writes size 0: listed as the name, two spaces, 0 and " KB".
    QCOMPARE(shown.first().rows, QStringList{QStringLiteral("report 2024.bin  0 KB")});

    // The exact FILETO, as a peer that only knows the packets sees it.
    const QByteArray expected = QByteArray("FILETO!^:^$<NOMBERFILE>0</NOMBERFILE><FILENAME>") +
                                source.toUtf8() + "</FILENAME><SERVERID>" + anna->id().toUtf8() +
                                "</SERVERID><SERVERIP>127.0.0.1</SERVERIP><CLIENTID>" + boris->id().toUtf8() +
                                "</CLIENTID><CLIENTIP>127.0.0.1</CLIENTIP>";
    QVERIFY(waitUntil([&] { return raw.heard().contains(expected); }));
    // Nothing else new went over UDP: the content goes by TCP.
    for (const QByteArray &p : raw.heard())
        QVERIFY2(ClassifyPacket(p) != 0, p.left(40).constData());

    const int id = onlyTransfer(*boris);
    QVERIFY(id > 0);
    QVERIFY(waitUntil([&] { return ended(*boris, id); }, 60000));
    QCOMPARE(engine(*boris).info(id)->state, TransferState::Done);
    QCOMPARE(readFile(saveTo + QStringLiteral("/report 2024.bin")), data);
    // The transfer window lists it, finished.
    TfmFileTransfers *window = files(*boris)->transferWindow();
    QVERIFY(window->isVisible());
    QTreeWidgetItem *row = window->row(id);
    QVERIFY(row);
    QVERIFY(row->text(0).contains(QStringLiteral("report 2024.bin")));
    QVERIFY(row->text(5).contains(QStringLiteral("Done")));
    QVERIFY(waitUntil([&] { return engine(*anna).runningCount() == 0; }));
    QCOMPARE(engine(*anna).transfers().size(), 1);
}

void TestFileOffers::folderTreeDroppedAndFetched()
{
    const QString root = work.filePath(QStringLiteral("anna/Project [v2] #α"));
    const QMap<QString, QByteArray> tree = {
        {QStringLiteral("readme.txt"), "read me"},
        {QStringLiteral("src/a b/c d/deep one.bin"), randomBytes(300000, 12)},
        {QStringLiteral("src/ünï ✓.txt"), "unicode"},
        {QStringLiteral("docs/x&y (1).txt"), "punct"},
    };
    for (auto it = tree.cbegin(); it != tree.cend(); ++it)
        QVERIFY(writeFile(root + u'/' + it.key(), it.value()));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/empty/inner")));
    QVERIFY(writeFile(work.filePath(QStringLiteral("anna/secret.txt")), "secret"));
    QVERIFY(
        QFile::link(work.filePath(QStringLiteral("anna/secret.txt")), root + QStringLiteral("/escape.txt")));
    startTwo();
    QSignalSpy notices(&files(*anna)->share(), &FileShare::notice);

    // Dropped on the input editor of the main window.
    QTextEdit *editor = anna->mainWindow()->talks()->frame(0)->reMessage();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(root)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(editor->viewport(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(editor->viewport(), &drop);
    QCOMPARE(EditorFilePaths(editor->document()), QStringList{root});
    QVERIFY(editor->toPlainText().contains(QStringLiteral("Project [v2] #α")));
    action(*anna, "actSendMessage")->trigger();

    QVERIFY(waitUntil([&] { return shown.size() == 1; }));
    const int id = onlyTransfer(*boris);
    QVERIFY(waitUntil([&] { return id > 0 && ended(*boris, id); }, 30000));
    QCOMPARE(engine(*boris).info(id)->state, TransferState::Done);
    const QString got = saveTo + QStringLiteral("/Project [v2] #α");
    for (auto it = tree.cbegin(); it != tree.cend(); ++it)
        QCOMPARE(readFile(got + u'/' + it.key()), it.value());
    QVERIFY(QFileInfo(got + QStringLiteral("/empty/inner")).isDir());
    // The link out of the folder was refused and said so.
    QVERIFY(!QFileInfo::exists(got + QStringLiteral("/escape.txt")));
    QVERIFY(waitUntil([&] { return !notices.isEmpty(); }));
    QVERIFY(notices.first().first().toString().contains(QStringLiteral("escape.txt")));
}

void TestFileOffers::resumeAfterOwnerKilled()
{
    const QByteArray data = randomBytes(50 * 1024 * 1024, 13);
    const QString source = work.filePath(QStringLiteral("anna/big.bin"));
    QVERIFY(writeFile(source, data));
    startTwo();
    offer(*anna, {source});
    QVERIFY(waitUntil([&] { return anna->mainWindow() && files(*anna)->share().offers().count() == 1; }));
    engine(*anna).setSendRateLimit(40 * 1024 * 1024);
    // The partial file has a hidden name of the program's own.
    const auto partial = [&] {
        const QStringList names =
            QDir(saveTo).entryList({QStringLiteral(".perix-*.part")}, QDir::Files | QDir::Hidden);
        return names.size() == 1 ? saveTo + u'/' + names.first() : QString();
    };
    QVERIFY(waitUntil([&] { return QFileInfo(partial()).size() > 20 * 1024 * 1024; }, 30000));
    const QString part = partial();
    // Anna's copy dies halfway: no goodbye, no close.
    anna->vanish();
    anna.reset();
    const int id = onlyTransfer(*boris);
    QVERIFY(waitUntil([&] { return ended(*boris, id); }, 15000));
    QCOMPARE(engine(*boris).info(id)->state, TransferState::Failed);
    const qint64 kept = QFileInfo(part).size();
    QVERIFY(kept > 20 * 1024 * 1024 && kept < data.size());

    // She starts again (same settings, same ID) and offers the file again; Boris presses Retry.
    anna = std::make_unique<TestPeer>(QString(), annaDir->path());
    anna->start();
    QVERIFY(waitUntil([&] { return anna->onlineCount() == 1; }));
    // Boris declines the new offer's question: the resume is the Retry's, not a second fetch.
    const auto declined = std::make_shared<int>(0);
    TfmInformation::setAutoAnswer([declined](TfmInformation &d) {
        *declined += d.files() != nullptr;
        return false;
    });
    offer(*anna, {source});
    QVERIFY(waitUntil([&] { return files(*anna)->share().offers().count() == 1; }));
    QVERIFY(waitUntil([&] { return *declined == 1; }));
    TfmFileTransfers *window = files(*boris)->transferWindow();
    window->select(id);
    QVERIFY(window->retryButton()->isEnabled());
    QTest::mouseClick(window->retryButton(), Qt::LeftButton);
    QVERIFY(waitUntil([&] { return ended(*boris, id); }, 60000));
    QVERIFY2(engine(*boris).info(id)->state == TransferState::Done,
             qPrintable(engine(*boris).info(id)->error));
    QCOMPARE(engine(*boris).info(id)->resumed, kept);
    QCOMPARE(readFile(saveTo + QStringLiteral("/big.bin")), data);
    QVERIFY(!QFileInfo::exists(part));
}

void TestFileOffers::refusalsAreLoggedInStatusBar()
{
    const QString shared = work.filePath(QStringLiteral("anna/shared.txt"));
    QVERIFY(writeFile(shared, "shared"));
    const QString other = work.filePath(QStringLiteral("anna/private.txt"));
    QVERIFY(writeFile(other, "private"));
    startTwo();
    offer(*anna, {shared});
    QVERIFY(waitUntil([&] { return files(*anna)->share().offers().count() == 1; }));
    QVERIFY(waitUntil([&] { return !shown.isEmpty(); }));
    StatusPanels *status = anna->mainWindow()->statusPanels();
    QSignalSpy notices(&files(*anna)->share(), &FileShare::notice);
    RawPeer raw;
    const auto fileTo = [&](const QString &path, const QString &clientIp) {
        raw.send(BuildFileToPacket(0, path, anna->id(), QStringLiteral("127.0.0.1"), boris->id(), clientIp));
    };
    // An unoffered path, and one that leaves by "..".
    fileTo(other, QStringLiteral("127.0.0.1"));
    QVERIFY(waitUntil([&] { return notices.size() == 1; }));
    QVERIFY(status->panelText(StatusPanels::NoticePanel).contains(QStringLiteral("private.txt")));
    QVERIFY(status->panelText(StatusPanels::NoticePanel).contains(QStringLiteral("not offered")));
    fileTo(QFileInfo(shared).absolutePath() + QStringLiteral("/sub/../private.txt"),
           QStringLiteral("127.0.0.1"));
    QVERIFY(waitUntil([&] { return notices.size() == 2; }));
    // The right path, but the TCP request comes from another address than the FILETO named.
    fileTo(shared, QStringLiteral("127.0.0.1"));
    QTest::qWait(200);
    QTcpSocket socket;
    QVERIFY(socket.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
    socket.connectToHost(QHostAddress::LocalHost, FileShare::DefaultPort);
    QVERIFY(socket.waitForConnected(3000));
    socket.write(
        TransferWire::Frame(TransferWire::Request,
                            TransferWire::EncodeRequest({TransferWire::Version, shared, boris->id(), "0"})));
    QVERIFY(waitUntil([&] { return notices.size() == 3; }));
    QVERIFY(status->panelText(StatusPanels::NoticePanel).contains(QStringLiteral("127.0.0.2")));
    QVERIFY(status->panelText(StatusPanels::NoticePanel).contains(QStringLiteral("address")));
    QVERIFY(waitUntil([&] {
        return socket.bytesAvailable() >= TransferWire::HeaderSize ||
               socket.state() != QAbstractSocket::ConnectedState;
    }));
    QCOMPARE(socket.read(1), QByteArray(1, char(TransferWire::Refused)));
}

void TestFileOffers::nothingCheckedOrNoFolderSendsNothing()
{
    const QString source = work.filePath(QStringLiteral("anna/a.txt"));
    QVERIFY(writeFile(source, "a"));
    RawPeer raw;
    startTwo();
    TfmInformation::setAutoAnswer([](TfmInformation &d) {
        for (int i = 0; i < d.files()->topLevelItemCount(); ++i)
            d.files()->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
        return true;
    });
    raw.clear();
    offer(*anna, {source});
    QVERIFY(waitUntil([&] {
        return TfmInformation::shownCount() > 0 &&
               boris->mainWindow()->talks()->frame(0)->reAllMessage()->toPlainText().contains(u"a.txt");
    }));
    const int before = TfmInformation::shownCount();
    TfmInformation::setAutoAnswer([this](TfmInformation &d) {
        d.folder()->setText(QStringLiteral("   "));
        return true;
    });
    offer(*anna, {source});
    QVERIFY(waitUntil([&] { return TfmInformation::shownCount() > before; }));
    QTest::qWait(300);
    for (const QByteArray &p : raw.heard())
        QVERIFY(ClassifyPacket(p) != pkFileTo);
    QVERIFY(engine(*boris).transfers().isEmpty());
}

void TestFileOffers::fileToForAnotherServerIsIgnored()
{
    const QString source = work.filePath(QStringLiteral("anna/b.txt"));
    QVERIFY(writeFile(source, "b"));
    startTwo();
    offer(*anna, {source});
    QVERIFY(waitUntil([&] { return files(*anna)->share().offers().count() == 1 && !shown.isEmpty(); }));
    QVERIFY(waitUntil([&] { return engine(*boris).runningCount() == 0; }));
    QSignalSpy notices(&files(*anna)->share(), &FileShare::notice);
    const int grants = files(*anna)->share().gate().count();
    RawPeer raw;
    raw.send(BuildFileToPacket(0, source, boris->id(), QStringLiteral("127.0.0.1"), boris->id(),
                               QStringLiteral("127.0.0.1")));
    raw.send(BuildFileToPacket(0, work.filePath(QStringLiteral("nothing")),
                               QStringLiteral("{00000000-0000-0000-0000-000000000000}"),
                               QStringLiteral("127.0.0.1"), boris->id(), QStringLiteral("127.0.0.1")));
    QTest::qWait(400);
    QCOMPARE(files(*anna)->share().gate().count(), grants);
    QVERIFY(notices.isEmpty());
}

void TestFileOffers::confirmationDrivenByKeys()
{
    const QString first = work.filePath(QStringLiteral("anna/one.txt"));
    const QString second = work.filePath(QStringLiteral("anna/two.txt"));
    QVERIFY(writeFile(first, "one"));
    QVERIFY(writeFile(second, "two"));
    RawPeer raw;
    startTwo();
    TfmInformation::clearAutoAnswer();
    bool driven = false;
    QString seenHeader;
    // The real modal page: clear "Save to:", type the folder, uncheck the first file with Space, OK with
    // Enter.
    const std::function<void()> drive = [&] {
        auto *dialog = qobject_cast<TfmInformation *>(QApplication::activeModalWidget());
        if (!dialog) {
            QTimer::singleShot(20, drive);
            return;
        }
        seenHeader = dialog->windowTitle();
        QLineEdit *folder = dialog->folder();
        folder->setFocus();
        QTest::keyClick(folder, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(folder, Qt::Key_Delete);
        QTest::keyClicks(folder, saveTo);
        dialog->files()->setFocus();
        dialog->files()->setCurrentItem(dialog->files()->topLevelItem(0));
        QTest::keyClick(dialog->files(), Qt::Key_Space);
        QTest::keyClick(folder, Qt::Key_Return);
        driven = true;
    };
    QTimer::singleShot(20, drive);
    raw.clear();
    offer(*anna, {first, second});
    QVERIFY(waitUntil([&] { return driven; }, 10000));
    QCOMPARE(seenHeader, QStringLiteral("\u0421onfirmation of reception of files"));
    QVERIFY(waitUntil([&] { return QFileInfo::exists(saveTo + QStringLiteral("/two.txt")); }, 10000));
    int fileTos = 0;
    for (const QByteArray &p : raw.heard()) {
        if (ClassifyPacket(p) == pkFileTo) {
            ++fileTos;
            QCOMPARE(TDataFileMessage(p).GetFileName(), second);
            QCOMPARE(TDataFileMessage(p).GetNomberFile(), QStringLiteral("1"));
        }
    }
    QCOMPARE(fileTos, 1);
    QVERIFY(!QFileInfo::exists(saveTo + QStringLiteral("/one.txt")));
}

void TestFileOffers::iconMenuCommands()
{
    const QString source = work.filePath(QStringLiteral("anna/menu.txt"));
    QVERIFY(writeFile(source, "menu"));
    startTwo();
    TfmInformation::setAutoAnswer([](TfmInformation &) { return false; });
    offer(*anna, {source});
    QTextEdit *annaView = anna->mainWindow()->talks()->frame(0)->reAllMessage();
    QTextEdit *borisView = boris->mainWindow()->talks()->frame(0)->reAllMessage();
    QVERIFY(waitUntil(
        [&] { return fileRecordsIn(annaView).size() == 1 && fileRecordsIn(borisView).size() == 1; }));
    anna->mainWindow()->show();
    boris->mainWindow()->show();
    // Boris's icon: not his, so only "Get file or folder".
    clickFileIcon(borisView);
    QMenu *menu = files(*boris)->pmFileOrFolder();
    QVERIFY(waitUntil([&] { return menu->isVisible(); }));
    QCOMPARE(files(*boris)->currentRecord(), fileRecordsIn(borisView).first());
    QVERIFY(action(*boris, "actGetFileOrFolder")->isEnabled());
    QVERIFY(!action(*boris, "actOpenFileOrFolder")->isEnabled());
    QVERIFY(!action(*boris, "actSaveAsFileOrFolder")->isEnabled());
    QCOMPARE(menu->defaultAction(), action(*boris, "actOpenFileOrFolder"));
    menu->hide();
    // "Get file or folder" asks for that one file and fetches it.
    TfmInformation::setAutoAnswer([this](TfmInformation &d) {
        d.folder()->setText(saveTo);
        return true;
    });
    action(*boris, "actGetFileOrFolder")->trigger();
    QVERIFY(waitUntil([&] { return readFile(saveTo + QStringLiteral("/menu.txt")) == "menu"; }, 10000));
    // Anna's icon is her own: "Open" and "Save as...".
    clickFileIcon(annaView);
    QMenu *own = files(*anna)->pmFileOrFolder();
    QVERIFY(waitUntil([&] { return own->isVisible(); }));
    QVERIFY(action(*anna, "actOpenFileOrFolder")->isEnabled());
    QVERIFY(action(*anna, "actSaveAsFileOrFolder")->isEnabled());
    QVERIFY(!action(*anna, "actGetFileOrFolder")->isEnabled());
    own->hide();
    action(*anna, "actOpenFileOrFolder")->trigger();
    QCOMPARE(ShellOpen::opened(), QStringList{source});
    const QString copy = work.filePath(QStringLiteral("anna/copy.txt"));
    QVERIFY(writeFile(copy, "old"));
    FileDialogs::queueAnswer({copy});
    action(*anna, "actSaveAsFileOrFolder")->trigger();
    QCOMPARE(readFile(copy), QByteArray("menu"));
}

void TestFileOffers::referenceNamingMyIdIsNotMine()
{
    // A file on Anna's disk that she never offered, named by a peer's reference with her own ID.
    const QString planted = work.filePath(QStringLiteral("anna/planted.exe"));
    QVERIFY(writeFile(planted, "planted"));
    RawPeer raw;
    QVERIFY(raw.isReady());
    startTwo();
    QStringList asked;
    TfmInformation::setAutoAnswer([&](TfmInformation &d) {
        for (int i = 0;
             d.files() && d.parentWidget() == anna->mainWindow() && i < d.files()->topLevelItemCount(); ++i)
            asked.append(d.files()->topLevelItem(i)->text(0));
        return false;
    });
    WireIdentity mallory;
    mallory.alias = QStringLiteral("Mallory");
    mallory.ip = QStringLiteral("127.0.0.1");
    mallory.id = QStringLiteral("{0A1B2C3D-0000-0000-0000-00000000000F}");
    const QString separator = QLatin1StringView(FileInfoSeparator);
    const QString reference = QLatin1StringView(MessageMarker::ControlFileOpen) + separator + anna->id() +
                              separator + QStringLiteral("127.0.0.1") + separator + u'0' + separator +
                              planted + QLatin1StringView(MessageMarker::ControlFileClose);
    raw.send(BuildMessagePacket(mallory, reference));
    QTextEdit *annaView = anna->mainWindow()->talks()->frame(0)->reAllMessage();
    QVERIFY(waitUntil([&] { return fileRecordsIn(annaView).size() == 1; }));
    // Anna is asked whether to fetch it, as for any reference of another user.
    QVERIFY(waitUntil([&] { return !asked.isEmpty(); }));
    QCOMPARE(asked, QStringList{QStringLiteral("planted.exe  0 KB")});

    anna->mainWindow()->show();
    clickFileIcon(annaView);
    QMenu *menu = files(*anna)->pmFileOrFolder();
    QVERIFY(waitUntil([&] { return menu->isVisible(); }));
    QCOMPARE(files(*anna)->currentRecord(), fileRecordsIn(annaView).first());
    QVERIFY(!action(*anna, "actOpenFileOrFolder")->isEnabled());
    QVERIFY(!action(*anna, "actSaveAsFileOrFolder")->isEnabled());
    QVERIFY(action(*anna, "actGetFileOrFolder")->isEnabled());
    menu->hide();
    // Neither command acts on the peer's path, even when reached without the menu.
    action(*anna, "actOpenFileOrFolder")->trigger();
    QVERIFY(ShellOpen::opened().isEmpty());
    const QString copy = work.filePath(QStringLiteral("anna/copy of planted.exe"));
    FileDialogs::queueAnswer({copy});
    action(*anna, "actSaveAsFileOrFolder")->trigger();
    QVERIFY(!QFileInfo::exists(copy));
    FileDialogs::clearAnswers();
    QVERIFY(ShellOpen::opened().isEmpty());
}

void TestFileOffers::ownReferenceInPrivateTalk()
{
    // Anna's own copy of a private message is shown before its references are offered: her icon
    // there is still her own.
    const QString source = work.filePath(QStringLiteral("anna/private.txt"));
    QVERIFY(writeFile(source, "private"));
    startTwo();
    TfmInformation::setAutoAnswer([](TfmInformation &) { return false; });
    anna->userList()->selectPeer(anna->userList()->registry()->peers().findOnline(boris->id()));
    action(*anna, "actMessageToUser")->trigger();
    const int talk = anna->mainWindow()->talks()->FindPrivateTalk(boris->id());
    QVERIFY(talk > 0);
    anna->mainWindow()->pages()->setCurrentIndex(talk);
    FileDialogs::queueAnswer({source});
    action(*anna, "actInsertFile")->trigger();
    action(*anna, "actSendMessage")->trigger();
    QTextEdit *view = anna->mainWindow()->talks()->frame(talk)->reAllMessage();
    QCOMPARE(fileRecordsIn(view).size(), 1);
    anna->mainWindow()->show();
    clickFileIcon(view);
    QMenu *menu = files(*anna)->pmFileOrFolder();
    QVERIFY(waitUntil([&] { return menu->isVisible(); }));
    QVERIFY(action(*anna, "actOpenFileOrFolder")->isEnabled());
    QVERIFY(!action(*anna, "actGetFileOrFolder")->isEnabled());
    menu->hide();
    action(*anna, "actOpenFileOrFolder")->trigger();
    QCOMPARE(ShellOpen::opened(), QStringList{source});
}

void TestFileOffers::closingAsksOnlyFromTheWindow()
{
    const QString source = work.filePath(QStringLiteral("anna/long.bin"));
    QVERIFY(writeFile(source, randomBytes(8 * 1024 * 1024, 14)));
    startTwo();
    offer(*anna, {source});
    QVERIFY(waitUntil([&] { return files(*anna)->share().offers().count() == 1; }));
    engine(*anna).setSendRateLimit(256 * 1024);
    QVERIFY(waitUntil([&] { return engine(*boris).runningCount() == 1; }, 10000));
    // The close box asks; "Cancel" keeps the window and the transfer.
    MessageBox::clearShownTexts();
    MessageBox::setNextChoice(1);
    QVERIFY(!boris->mainWindow()->close());
    QCOMPARE(MessageBox::shownTexts().size(), 1);
    QVERIFY(MessageBox::shownTexts().first().contains(QStringLiteral("1 file transfer")));
    QCOMPARE(engine(*boris).runningCount(), 1);
    // The tray's "Close" asks too.
    action(*boris, "actClose")->trigger();
    QCOMPARE(MessageBox::shownTexts().size(), 2);
    QCOMPARE(engine(*boris).runningCount(), 1);
    // The termination path never asks and ends at once.
    QVERIFY(waitUntil([&] { return engine(*anna).runningCount() == 1; }));
    MessageBox::clearShownTexts();
    QElapsedTimer timer;
    timer.start();
    anna->close();
    anna.reset();
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(MessageBox::shownTexts().isEmpty());
}

// A peer fetching from us neither opens the window nor stays in the list; the user's own fetch
// opens it, and Clear empties it.
void TestFileOffers::transferWindowOpensOnlyForOwnFetches()
{
    const QString source = work.filePath(QStringLiteral("anna/shown.txt"));
    QVERIFY(writeFile(source, "shown"));
    startTwo();
    TransferLimits quick = engine(*anna).limits();
    quick.finishedLingerMs = 300;
    engine(*anna).setLimits(quick);
    offer(*anna, {source});
    const auto boriss = [&] {
        return onlyTransfer(*boris);
    };
    QVERIFY(waitUntil([&] { return boriss() > 0 && ended(*boris, boriss()); }, 10000));
    const int id = boriss();
    QCOMPARE(engine(*boris).info(id)->state, TransferState::Done);
    QVERIFY(files(*boris)->transferWindow()->isVisible());
    QVERIFY(waitUntil([&] { return !engine(*anna).transfers().isEmpty(); }));
    QVERIFY(!files(*anna)->transferWindow()->isVisible());
    // Anna's finished send leaves her list, and its row (with its progress bar) her window.
    TfmFileTransfers *annas = files(*anna)->transferWindow();
    QCOMPARE(annas->list()->topLevelItemCount(), 1);
    QVERIFY(waitUntil([&] { return engine(*anna).transfers().isEmpty(); }, 5000));
    QCOMPARE(annas->list()->topLevelItemCount(), 0);
    QVERIFY(waitUntil([&] { return annas->list()->findChildren<QProgressBar *>().isEmpty(); }));
    // Boris's finished fetch stays for two minutes; Clear takes it away now.
    TfmFileTransfers *window = files(*boris)->transferWindow();
    QVERIFY(window->row(id));
    QVERIFY(window->clearButton()->isEnabled());
    QTest::mouseClick(window->clearButton(), Qt::LeftButton);
    QVERIFY(!window->row(id));
    QVERIFY(engine(*boris).transfers().isEmpty());
    QCOMPARE(readFile(saveTo + QStringLiteral("/shown.txt")), QByteArray("shown"));
}

// One OK on a message with 43 references: two fetches run at a time, the rest wait (and say so),
// and all of them arrive.
void TestFileOffers::manyReferencesFetchedFewAtATime()
{
    constexpr int Count = 43;
    // Short names, so that all the references fit one datagram (see below) whatever TMPDIR says.
    QTemporaryDir folder(QStringLiteral("/tmp/p"));
    QVERIFY(folder.isValid());
    QStringList paths;
    QList<QByteArray> contents;
    for (int i = 0; i < Count; ++i) {
        paths.append(folder.filePath(QString::number(i)));
        contents.append(randomBytes(64 * 1024 + i, 100 + i));
        QVERIFY(writeFile(paths.last(), contents.last()));
    }
    startTwo();
    int runningMost = 0;
    int waitingMost = 0;
    bool waitingShown = false;
    connect(&engine(*boris), &FileTransferEngine::transferChanged, this, [&] {
        int running = 0;
        int waiting = 0;
        for (const TransferInfo &t : engine(*boris).transfers()) {
            running += t.state == TransferState::Connecting || t.state == TransferState::Running;
            waiting += t.state == TransferState::Waiting;
        }
        runningMost = std::max(runningMost, running);
        waitingMost = std::max(waitingMost, waiting);
        TfmFileTransfers *window = files(*boris)->transferWindow();
        for (int i = 0; i < window->list()->topLevelItemCount(); ++i)
            waitingShown =
                waitingShown || window->list()->topLevelItem(i)->text(5) == QStringLiteral("Waiting");
    });
    // Anna's offer as the wire carries it, without the names the editor adds, so that 43 fit one
    // datagram.
    files(*anna)->share().Offer(paths);
    QString body;
    for (const QString &path : std::as_const(paths))
        body += QStringLiteral("{[!CONTROLFILE!]}<[FILEINFOSEPARATOR]>%1<[FILEINFOSEPARATOR]>127.0.0.1"
                               "<[FILEINFOSEPARATOR]>0<[FILEINFOSEPARATOR]>%2{[!/CONTROLFILE!]}")
                    .arg(anna->id(), path);
    const Packet message = BuildMessagePacket(
        WireIdentity{QStringLiteral("Anna"), QStringLiteral("127.0.0.1"), anna->id(), {}, -1, 0}, body);
    QVERIFY2(message.size() <= MaxDatagramSize, qPrintable(QString::number(message.size())));
    RawPeer raw;
    raw.send(message);
    QVERIFY(waitUntil([&] { return shown.size() == 1; }));
    QCOMPARE(shown.first().rows.size(), Count);
    QVERIFY(waitUntil(
        [&] {
            const QList<TransferInfo> list = engine(*boris).transfers();
            return list.size() == Count && std::all_of(list.cbegin(), list.cend(), [](const TransferInfo &t) {
                       return t.state == TransferState::Done || t.state == TransferState::Failed;
                   });
        },
        60000));
    for (const TransferInfo &t : engine(*boris).transfers())
        QVERIFY2(t.state == TransferState::Done, qPrintable(t.error));
    for (int i = 0; i < Count; ++i)
        QCOMPARE(readFile(saveTo + u'/' + QString::number(i)), contents.at(i));
    QVERIFY2(runningMost >= 1 && runningMost <= engine(*boris).limits().maxDownloadsPerOwner,
             qPrintable(QString::number(runningMost)));
    QVERIFY2(waitingMost >= Count - engine(*boris).limits().maxDownloadsPerOwner,
             qPrintable(QString::number(waitingMost)));
    QVERIFY(waitingShown);
}

QTEST_MAIN(TestFileOffers)
#include "test_fileoffers.moc"
