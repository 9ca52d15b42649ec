// The keys on the windows: the lock or "not encrypted" on talk tabs and headers, the lines after marked
// messages and key changes, the profile window's fingerprints and marks; and the key file at start.
#include "app/AppContext.h"
#include "app/ChatCore.h"
#include "app/SecureChannel.h"
#include "app/ui/TalkKeysView.h"
#include "crypto/Fingerprint.h"
#include "crypto/IdentityKeys.h"
#include "crypto/KeyFile.h"
#include "crypto/PacketSealer.h"
#include "peers/PeerRegistry.h"
#include "peers/ui/ProfileKeysPanel.h"
#include "peers/ui/TfmUserProfileUn.h"
#include "peers/ui/fmUserListUn.h"
#include "protocol/SendMessageUn.h"
#include "support/PeerHub.h"
#include "support/TempFolder.h"
#include "support/Wait.h"
#include "talks/MessageText.h"
#include "talks/ui/RVStyle.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/frConnectUserUn.h"
#include "transfer/FileExchange.h"
#include "transfer/FileRecords.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidgetItem>

#include <sys/stat.h>

class TestKeysView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void tabsAndHeadersShowHowTalksTravel();
    void markedMessagesAndKeyChangesGetALine();
    void profileShowsFingerprintsAndTakesTheMarks();
    void exposedKeyFileStopsTheStart();

private:
    QString transcript(int talkId) const
    {
        return m_manager->frame(m_manager->sheetOfTalk(talkId))->reAllMessage()->toPlainText();
    }
    bool hasLock(int sheet) const
    {
        const QWidget *button = m_tabs->tabBar()->tabButton(sheet, QTabBar::RightSide);
        const auto *label = qobject_cast<const QLabel *>(button);
        return label && label->objectName() == QStringLiteral("lbTalkLock") && !label->pixmap().isNull();
    }

    PeerHub *m_hub = nullptr;
    CorePeer *anna = nullptr;
    CorePeer *boris = nullptr;
    CorePeer *clara = nullptr;
    QWidget *m_window = nullptr;
    QTabWidget *m_tabs = nullptr;
    RVStyle *m_style = nullptr;
    TalkManager *m_manager = nullptr;
    TalkKeysView *m_view = nullptr;
    std::unique_ptr<TfmUserList> m_userList;
};

void TestKeysView::init()
{
    m_hub = new PeerHub();
    anna = &m_hub->addPeer(QStringLiteral("Anna"));
    boris = &m_hub->addPeer(QStringLiteral("Boris"));
    clara = &m_hub->addPeer(QStringLiteral("Clara"));
    anna->core().secure()->setIdentity(*IdentityKeys::generate());
    boris->core().secure()->setIdentity(*IdentityKeys::generate());
    m_window = new QWidget;
    m_tabs = new QTabWidget(m_window);
    m_style = new RVStyle(m_window);
    m_manager = new TalkManager(m_tabs, anna->talks(), anna->context().store, m_style, anna->core().files(),
                                m_window);
    m_view = new TalkKeysView(anna->core(), m_manager, m_tabs, m_window);
    m_userList = std::make_unique<TfmUserList>(anna->context().store, anna->registry(), nullptr, false);
    m_userList->Create(false);
    m_view->setUserList(m_userList.get());
    QVERIFY(m_hub->startAll());
    QVERIFY(waitUntil([this] { return anna->core().secure()->canSeal(boris->id()); }));
}

void TestKeysView::cleanup()
{
    m_userList.reset();
    delete m_window;
    m_window = nullptr;
    delete m_hub;
    m_hub = nullptr;
}

void TestKeysView::tabsAndHeadersShowHowTalksTravel()
{
    const int sealed = anna->talks()->openPrivateTalk(anna->indexOf(boris->id()));
    const int plain = anna->talks()->openPrivateTalk(anna->indexOf(clara->id()));
    QVERIFY(m_view->headerText(sealed).contains(QStringLiteral("Encrypted")));
    QVERIFY(hasLock(m_manager->sheetOfTalk(sealed)));
    QVERIFY(m_view->headerText(plain).startsWith(QStringLiteral("Not encrypted")));
    QVERIFY(!hasLock(m_manager->sheetOfTalk(plain)));
    // The lock is drawn, not a character many fonts lack.
    for (int sheet = 0; sheet < m_tabs->count(); ++sheet)
        QVERIFY(!m_tabs->tabText(sheet).contains(QStringLiteral("\U0001F512")));
    // A new caption (Boris renames himself) keeps the lock on the tab.
    anna->talks()->setCaption(sealed, QStringLiteral("Bo"));
    QCOMPARE(withoutIsolates(m_tabs->tabText(m_manager->sheetOfTalk(sealed))), QStringLiteral("Bo"));
    QVERIFY(hasLock(m_manager->sheetOfTalk(sealed)));
    // The talk with everybody has neither.
    QCOMPARE(m_view->headerText(anna->core().allUsersTalk()), QString());
}

void TestKeysView::markedMessagesAndKeyChangesGetALine()
{
    const int talk = anna->talks()->openPrivateTalk(anna->indexOf(boris->id()));
    const RUserID *entry = clara->registry()->GetPeer(clara->indexOf(boris->id()));
    HubTransport &forger = m_hub->transportOf(*clara);
    forger.SendPacket(BuildUserMessagePacket(anna->id(), WireIdentity::fromEntry(*entry),
                                             MessageText::FromPlainText(QStringLiteral("trust me")), false));
    QVERIFY(waitUntil([&] { return transcript(talk).contains(QStringLiteral("trust me")); }));
    const QString text = transcript(talk);
    QVERIFY(text.indexOf(QStringLiteral("Not verified")) > text.indexOf(QStringLiteral("trust me")));

    PacketSealer impostor(boris->id(), *IdentityKeys::generate());
    forger.SendPacket(impostor.announceKey(QDateTime::currentMSecsSinceEpoch()));
    QVERIFY(waitUntil([&] { return transcript(talk).contains(QStringLiteral("The key of Boris changed")); }));
    QVERIFY(m_view->headerText(talk).contains(QStringLiteral("The key of Boris changed")));
    QVERIFY(m_tabs->tabText(m_manager->sheetOfTalk(talk)).startsWith(QStringLiteral("\u26A0 ")));
    // A warning instead of the lock while the new key waits.
    QVERIFY(!hasLock(m_manager->sheetOfTalk(talk)));
    QTreeWidgetItem *node = m_userList->node(anna->indexOf(boris->id()));
    QVERIFY(node);
    QVERIFY(node->data(0, Qt::BackgroundRole).isValid());
    QVERIFY(node->toolTip(0).contains(QStringLiteral("key of this user changed")));
    QVERIFY(!m_userList->node(anna->indexOf(clara->id()))->data(0, Qt::BackgroundRole).isValid());
    // Accepted: the warning goes from the header, the tab and the user list.
    QVERIFY(anna->core().secure()->acceptKey(boris->id()));
    QVERIFY(!node->data(0, Qt::BackgroundRole).isValid());
    QVERIFY(!m_view->headerText(talk).contains(QStringLiteral("changed")));
    QVERIFY(!m_tabs->tabText(m_manager->sheetOfTalk(talk)).startsWith(QStringLiteral("\u26A0")));
    QVERIFY(hasLock(m_manager->sheetOfTalk(talk)));
}

void TestKeysView::profileShowsFingerprintsAndTakesTheMarks()
{
    SecureChannel &keys = *anna->core().secure();
    const std::optional<ProfileKeys> own = m_view->profileKeys(0);
    QVERIFY(own);
    QCOMPARE(own->ownFingerprint, keys.ownFingerprint());
    QVERIFY(!own->ownFingerprint.isEmpty());
    QVERIFY(own->userFingerprint.isEmpty());

    const int k = anna->indexOf(boris->id());
    TfmUserProfile window;
    window.setKeys(*m_view->profileKeys(k));
    ProfileKeysPanel *panel = window.keysPanel();
    QCOMPARE(panel->ownText(), keys.ownFingerprint());
    QCOMPARE(panel->userText(), boris->core().secure()->ownFingerprint());
    QVERIFY(!panel->acceptButton()->isVisibleTo(&window));
    panel->verifiedBox()->setChecked(true);
    QCOMPARE(KeyPins(anna->store()).state(boris->id()), KeyTrust::Verified);
    panel->verifiedBox()->setChecked(false);
    QCOMPARE(KeyPins(anna->store()).state(boris->id()), KeyTrust::Pinned);

    const IdentityKeys other = *IdentityKeys::generate();
    m_hub->transportOf(*clara).SendPacket(
        PacketSealer(boris->id(), other).announceKey(QDateTime::currentMSecsSinceEpoch()));
    QVERIFY(waitUntil([&] { return keys.trust(boris->id()) == KeyTrust::Changed; }));
    TfmUserProfile changed;
    changed.setKeys(*m_view->profileKeys(k));
    QVERIFY(changed.keysPanel()->acceptButton()->isVisibleTo(&changed));
    QVERIFY(!changed.keysPanel()->verifiedBox()->isEnabled());
    changed.keysPanel()->acceptButton()->click();
    QCOMPARE(KeyPins(anna->store()).pin(boris->id())->pinned, other.publicKeys());
    QCOMPARE(changed.keysPanel()->userText(), KeyFingerprint(other.publicKeys()));
}

void TestKeysView::exposedKeyFileStopsTheStart()
{
    TempFolder folder;
    const QString settings = folder.settingsFile();
    QProcess cli;
    cli.start(QStringLiteral(PERIXCHAT_CLI_BINARY),
              {QStringLiteral("--settings"), settings, QStringLiteral("--fingerprint")});
    QVERIFY(cli.waitForFinished(20000));
    QCOMPARE(cli.exitCode(), 0);
    const QString keyFile = settings + QStringLiteral(".key");
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(keyFile).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0600u);
    const QString out = QString::fromUtf8(cli.readAllStandardOutput());
    const KeyFileResult loaded = LoadOrCreateIdentityKeys(keyFile);
    QCOMPARE(out, QStringLiteral("fingerprint ") + KeyFingerprint(loaded.keys->publicKeys()) +
                      QStringLiteral("\nkey-file ") + keyFile + u'\n');
    // Readable by others: both programs refuse to start, and say why; the file stays as it was.
    const QByteArray before = [&] {
        QFile f(keyFile);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    QCOMPARE(::chmod(QFile::encodeName(keyFile).constData(), 0644), 0);
    QProcess refused;
    refused.start(QStringLiteral(PERIXCHAT_CLI_BINARY),
                  {QStringLiteral("--settings"), settings, QStringLiteral("--fingerprint")});
    QVERIFY(refused.waitForFinished(20000));
    QCOMPARE(refused.exitCode(), 5);
    QVERIFY(QString::fromUtf8(refused.readAllStandardError()).contains(keyFile));
    QVERIFY(refused.readAllStandardOutput().isEmpty());
    QProcess window;
    window.start(QStringLiteral(PERIXCHAT_BINARY),
                 {QStringLiteral("--settings"), settings, QStringLiteral("--data-dir"), folder.path(),
                  QStringLiteral("--loopback")});
    QVERIFY(window.waitForFinished(20000));
    QCOMPARE(window.exitCode(), 3);
    QVERIFY(QString::fromUtf8(window.readAllStandardError()).contains(keyFile));
    QFile after(keyFile);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), before);
}

QTEST_MAIN(TestKeysView)
#include "test_keysview.moc"
