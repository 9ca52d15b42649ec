#include "app/ui/TalkKeysView.h"

#include "app/ChatCore.h"
#include "app/SecureChannel.h"
#include "app/ui/LockPicture.h"
#include "crypto/Fingerprint.h"
#include "peers/PeerRegistry.h"
#include "peers/ui/fmUserListUn.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/frConnectUserUn.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTabBar>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextEdit>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

namespace {
constexpr int LockSidePx = 16;
const QString LockName = QStringLiteral("lbTalkLock");
const QString WarningSign = QStringLiteral("\u26A0");
const QColor WarningColor(176, 0, 0);
} // namespace

TalkKeysView::TalkKeysView(ChatCore &chat, TalkManager *talks, QTabWidget *tabs, QObject *parent)
    : QObject(parent)
    , m_chat(chat)
    , m_talks(talks)
    , m_tabs(tabs)
{
    TalkCore *core = chat.talks();
    // Connected after the talk manager: the page and its caption exist when these run.
    connect(core, &TalkCore::talkCreated, this, &TalkKeysView::refreshTalk);
    connect(core, &TalkCore::captionChanged, this, &TalkKeysView::refreshTalk);
    connect(core, &TalkCore::talkMemberAdded, this, [this](int id) { refreshTalk(id); });
    connect(core, &TalkCore::talkMemberRemoved, this, [this](int id) { refreshTalk(id); });
    connect(core, &TalkCore::talkClosed, this, [this](int id) { m_headers.remove(id); });
    connect(chat.secure(), &SecureChannel::keyStateChanged, this, &TalkKeysView::keyStateChanged);
    connect(chat.secure(), &SecureChannel::messageMarked, this, &TalkKeysView::messageMarked);
    // A node is made when its arrival is shown: the users with a changed key are marked again then.
    connect(chat.registry(), &PeerRegistry::arrivalsFlushed, this, [this] {
        const QSet<QString> warned = m_warned;
        for (const QString &userId : warned)
            markUser(userId);
    });
}

void TalkKeysView::setUserList(TfmUserList *userList)
{
    m_userList = userList;
}

QString TalkKeysView::aliasOf(const QString &userId) const
{
    const int k = m_chat.registry()->peers().findOnline(userId);
    const RUserID *peer = m_chat.registry()->GetPeer(k);
    return peer ? DisplayName(*peer) : userId;
}

QString TalkKeysView::headerText(int talkId) const
{
    const Header header = m_headers.value(talkId);
    return header.box && !header.box->isHidden() ? header.text->text() : QString();
}

void TalkKeysView::refreshTalk(int talkId)
{
    const SecureChannel &keys = *m_chat.secure();
    const Talk *talk = m_chat.talks()->talk(talkId);
    const int sheet = m_talks->sheetOfTalk(talkId);
    TfrConnectUser *frame = m_talks->frame(sheet);
    if (!talk || !frame || !keys.hasKeys())
        return;
    Header &header = m_headers[talkId];
    if (!header.text)
        header = makeHeader(frame);
    QLabel *label = header.text;
    const TalkSeal seal = keys.talkSeal(*talk);
    QStringList changed;
    if (talk->data.kind == tkPrivate && keys.trust(talk->data.PeerID) == KeyTrust::Changed)
        changed.append(aliasOf(talk->data.PeerID));
    for (const TalkMember &member : talk->members) {
        if (keys.trust(member.userId) == KeyTrust::Changed)
            changed.append(aliasOf(member.userId));
    }
    QString text;
    switch (seal) {
    case TalkSeal::Broadcast:
        break;
    case TalkSeal::Sealed:
        text = QStringLiteral("Encrypted: only the users of this talk can read it.");
        break;
    case TalkSeal::NotEncrypted:
        text = QStringLiteral("Not encrypted: a user of this talk has no key, so anyone on the network can "
                              "read it.");
        break;
    }
    if (!changed.isEmpty())
        text += u' ' + WarningSign +
                QStringLiteral(" The key of %1 changed: compare the fingerprints in the "
                               "profile window before you accept it.")
                    .arg(changed.join(QStringLiteral(", ")));
    label->setText(text.trimmed());
    header.lock->setVisible(seal == TalkSeal::Sealed && changed.isEmpty());
    header.box->setVisible(!text.isEmpty());
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, changed.isEmpty() && seal != TalkSeal::NotEncrypted
                                               ? frame->palette().color(QPalette::WindowText)
                                               : WarningColor);
    label->setPalette(palette);
    showOnTab(sheet, seal == TalkSeal::Sealed, !changed.isEmpty());
}

TalkKeysView::Header TalkKeysView::makeHeader(QWidget *frame) const
{
    Header header;
    header.box = new QWidget(frame);
    auto *row = new QHBoxLayout(header.box);
    row->setContentsMargins(0, 0, 0, 0);
    header.lock = new QLabel(header.box);
    header.lock->setPixmap(LockPicture(LockSidePx, frame->devicePixelRatioF()));
    row->addWidget(header.lock, 0, Qt::AlignTop);
    header.text = new QLabel(header.box);
    header.text->setObjectName(QStringLiteral("lbTalkKeys"));
    header.text->setTextFormat(Qt::PlainText);
    header.text->setWordWrap(true);
    row->addWidget(header.text, 1);
    if (auto *layout = qobject_cast<QVBoxLayout *>(frame->layout()))
        layout->insertWidget(0, header.box);
    return header;
}

void TalkKeysView::showOnTab(int sheet, bool sealed, bool keyChanged)
{
    QTabWidget *tabs = m_tabs;
    if (!tabs || sheet < 0 || sheet >= tabs->count())
        return;
    QString tab = tabs->tabText(sheet);
    if (tab.startsWith(WarningSign + u' '))
        tab.remove(0, WarningSign.size() + 1);
    if (keyChanged)
        tab.prepend(WarningSign + u' ');
    tabs->setTabText(sheet, tab);

    QTabBar *bar = tabs->tabBar();
    QWidget *current = bar->tabButton(sheet, QTabBar::RightSide);
    const bool hasLock = current && current->objectName() == LockName;
    const bool wantLock = sealed && !keyChanged;
    if (wantLock && !hasLock) {
        auto *lock = new QLabel(bar);
        lock->setObjectName(LockName);
        lock->setPixmap(LockPicture(LockSidePx, bar->devicePixelRatioF()));
        lock->setToolTip(QStringLiteral("Encrypted"));
        bar->setTabButton(sheet, QTabBar::RightSide, lock);
    } else if (!wantLock && hasLock) {
        bar->setTabButton(sheet, QTabBar::RightSide, nullptr);
        current->deleteLater();
    }
}

void TalkKeysView::refreshAll()
{
    for (int id : m_chat.talks()->talkIds())
        refreshTalk(id);
}

void TalkKeysView::keyStateChanged(const QString &userId)
{
    refreshAll();
    markUser(userId);
    if (m_chat.secure()->trust(userId) != KeyTrust::Changed)
        return;
    const QString line =
        WarningSign + QStringLiteral(" The key of %1 changed. Messages under the new key are "
                                     "marked until you accept it in the profile window.")
                          .arg(aliasOf(userId));
    for (int id : m_chat.talks()->talkIds()) {
        const Talk *talk = m_chat.talks()->talk(id);
        if (talk && ((talk->data.kind == tkPrivate && talk->data.PeerID == userId) ||
                     talk->memberPosition(userId) >= 0))
            appendLine(id, line);
    }
}

void TalkKeysView::messageMarked(int talkId, const QString &senderId, PacketMark mark)
{
    if (mark == PacketMark::NotVerified)
        appendLine(talkId,
                   WarningSign + QStringLiteral(" Not verified: the message above may not come from %1.")
                                     .arg(aliasOf(senderId)));
    else if (mark == PacketMark::KeyChanged)
        appendLine(talkId, WarningSign + QStringLiteral(" Key changed, not accepted: the message above came "
                                                        "under a new key of %1.")
                                             .arg(aliasOf(senderId)));
}

void TalkKeysView::appendLine(int talkId, const QString &text)
{
    TfrConnectUser *frame = m_talks->frame(m_talks->sheetOfTalk(talkId));
    if (!frame)
        return;
    QTextCursor cursor(frame->reAllMessage()->document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setForeground(WarningColor);
    format.setFontItalic(true);
    if (!frame->reAllMessage()->document()->isEmpty())
        cursor.insertBlock();
    // Plain text: the alias is the peer's and never markup.
    cursor.insertText(text, format);
}

void TalkKeysView::markUser(const QString &userId)
{
    const bool changed = m_chat.secure()->trust(userId) == KeyTrust::Changed;
    if (changed)
        m_warned.insert(userId);
    else
        m_warned.remove(userId);
    QTreeWidgetItem *node =
        m_userList ? m_userList->node(m_chat.registry()->peers().findOnline(userId)) : nullptr;
    if (!node)
        return;
    node->setData(0, Qt::BackgroundRole, changed ? QVariant(QColor(255, 214, 150)) : QVariant());
    node->setToolTip(0, changed ? WarningSign + QStringLiteral(" The key of this user changed") : QString());
}

std::optional<ProfileKeys> TalkKeysView::profileKeys(int peerIndex) const
{
    SecureChannel *channel = m_chat.secure();
    const RUserID *peer = m_chat.registry()->GetPeer(peerIndex);
    if (!channel->hasKeys() || !peer)
        return std::nullopt;
    ProfileKeys keys;
    keys.ownFingerprint = channel->ownFingerprint();
    if (peerIndex == 0)
        return keys;
    const QString id = peer->ID;
    keys.trust = channel->trust(id);
    const std::optional<KeyPin> pin = channel->pins() ? channel->pins()->pin(id) : std::nullopt;
    const std::optional<PeerPublicKeys> announced = channel->announcedKeys(id);
    if (pin) {
        keys.userFingerprint = KeyFingerprint(pin->pinned);
        if (pin->offered.isValid())
            keys.offeredFingerprint = KeyFingerprint(pin->offered);
    } else if (announced) {
        keys.userFingerprint = KeyFingerprint(*announced);
    }
    // The window is modal, and the channel belongs to the peer, which outlives its windows.
    keys.setVerified = [channel, id](bool on) {
        return channel->setVerified(id, on);
    };
    keys.acceptOffered = [channel, id] {
        return channel->acceptKey(id);
    };
    return keys;
}
