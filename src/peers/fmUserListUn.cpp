#include "fmUserListUn.h"

#include "ConstUnit.h"
#include "GroupBoxStorageUn.h"
#include "PacketTransport.h"
#include "ProtocolClassUn.h"
#include "SendMessageUn.h"
#include "SettingsStore.h"
#include "TImageList.h"
#include "TMyUserData.h"
#include "TUserGroupBox.h"
#include "UserListHooks.h"
#include "iniFileUn.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace GroupStorage;

TfmUserList::TfmUserList(const SettingsStore &store, PacketTransport *transport, TUserListHooks *hooks,
                         QWidget *mainWindow, bool bigIcons)
    : QWidget(nullptr, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_store(store)
    , m_transport(transport)
    , m_hooks(hooks)
    , m_mainWindow(mainWindow)
    , m_bigIcons(bigIcons)
    , m_scroll(new QScrollArea(this))
    , m_groupsHost(new QWidget)
    , m_groupsLayout(new QVBoxLayout(m_groupsHost))
{
    setObjectName(QStringLiteral("fmUserList"));
    setWindowTitle(QStringLiteral("User list"));
    setMinimumSize(120, 150);
    m_scroll->setObjectName(QStringLiteral("sbUserList"));
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_groupsLayout->setContentsMargins(2, 2, 2, 2);
    m_groupsLayout->setSpacing(2);
    m_groupsLayout->addStretch(1);
    m_scroll->setWidget(m_groupsHost);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scroll);

    m_mainGroup = addGroupBox(new TUserGroupBox(MainGroupNumber, ConstUnit::text(ConstUnit::Text::MainGroup),
                                                QString(), m_groupsHost));
    m_mainGroup->setObjectName(QStringLiteral("gbMain"));
    m_mainGroup->tree()->setObjectName(QStringLiteral("tvMainGroup"));
    m_badList = addGroupBox(
        new TUserGroupBox(BadListNumber, ConstUnit::text(ConstUnit::Text::BadList), QString(), m_groupsHost));
    m_badList->setObjectName(QStringLiteral("gbBadList"));
    m_badList->tree()->setObjectName(QStringLiteral("tvBadList"));
    m_badList->setBadListLook(true);
}

TfmUserList::~TfmUserList() = default;

void TfmUserList::Create(bool showWindow)
{
    BuildLocalEntry();
    restoreBounds();
    m_badList->setHint(ReadFixedGroupID(m_store, BadGroupIDSection));
    m_mainGroup->setHint(ReadFixedGroupID(m_store, MainGroupIDSection));
    setBigIcons(m_bigIcons);
    if (showWindow)
        show();
    LoadGroups();
    RestoreCollapsed();
    LayoutGroups();
    m_created = true;
    SendPresence(true);
}

void TfmUserList::BuildLocalEntry()
{
    auto local = std::make_unique<RUserID>(TMyUserData(m_store).ReadLocalEntry());
    local->IP = m_transport ? m_transport->LocalIP() : QString();
    local->GroupNumber = -1;
    local->Blocked = 0;
    local->TextStyle = m_hooks ? m_hooks->SenderTextStyle(local->ID, local->Color) : 0;
    const int index = m_peers.append(std::move(local));
    if (index == 0 && m_hooks)
        m_hooks->ShowLocalIdentity(*m_peers.GetPeer(0));
}

void TfmUserList::SendPresence(bool isNew)
{
    const RUserID *local = m_peers.GetPeer(0);
    if (!local || !m_transport)
        return;
    m_transport->SendPacket(BuildPresencePacket(*local, isNew));
}

void TfmUserList::SendDisconnect()
{
    const RUserID *local = m_peers.GetPeer(0);
    if (!local || !m_transport)
        return;
    m_transport->SendPacket(BuildDisconnectPacket(*local));
}

void TfmUserList::ProcessNewPacket(const Packet &text)
{
    const TDataNewMessage packet(text);
    const QString id = packet.GetID();
    const RUserID *local = m_peers.GetPeer(0);
    if (!local || id == local->ID)
        return;
    // An empty ID is never taken for a known user: each such NEW is a newcomer.
    if (!id.isEmpty() && m_peers.findOnline(id) >= 0) {
        SendPresence(false);
        return;
    }
    if (m_peers.isFull())
        return;

    auto entry = std::make_unique<RUserID>();
    FillProfileFromPacket(*entry, packet);
    entry->ID = id;
    entry->Blocked = 0;
    entry->Online = 1;
    entry->GroupNumber = MainGroupNumber;
    entry->TextStyle = m_hooks ? m_hooks->SenderTextStyle(id, entry->Color) : 0;
    const int k = m_peers.append(std::move(entry));
    if (k < 0)
        return;
    SendPresence(false);
    placeNewPeer(k);

    const RUserID &peer = *m_peers.GetPeer(k);
    if (!m_hooks)
        return;
    const QString connectFormat = ConstUnit::text(ConstUnit::Text::ConnectUser);
    m_hooks->Notify(connectFormat, peer.Alias, 0, peer.PictureIndex, peer.IP);
    m_hooks->AppendMessage(0, peer.ID, peer.IP, ConstUnit::Format(connectFormat, {DisplayName(peer)}),
                           peer.Color, peer.PictureIndex, peer.Alias);
    m_hooks->NotifyTalks(k, peer.IP, true, peer.ID, peer.Color, peer.PictureIndex, peer.Alias);
    m_hooks->PlayEventSound(0);
}

int TfmUserList::placeNewPeer(int peerIndex)
{
    RUserID *entry = m_peers.GetPeer(peerIndex);
    const int stored = StoredGroupOfUser(m_store, entry->ID);
    const int number = groupByNumber(stored) ? stored : MainGroupNumber;
    return AddUserNode(number, peerIndex);
}

void TfmUserList::ProcessUpdateInfoPacket(const Packet &text)
{
    const TDataNewMessage packet(text);
    const QString id = packet.GetID();
    const std::optional<PeerNode> node = FindPeerNode(id);
    const int k = node ? NodePeerIndex(node->item) : 0;
    RUserID *entry = m_peers.GetPeer(k);
    if (k == 0 || !entry) {
        ProcessNewPacket(text);
        return;
    }
    FillProfileFromPacket(*entry, packet);
    if (m_hooks)
        entry->TextStyle = m_hooks->SenderTextStyle(entry->ID, entry->Color);
    RefreshUserNode(node->item, *entry, nodePictures());
    node->tree->viewport()->update();
    if (m_hooks)
        m_hooks->PeerRenamed(entry->ID, DisplayName(*entry), entry->PictureIndex);
}

void TfmUserList::ProcessDisconnectPacket(const Packet &text)
{
    const TDataNewMessage packet(text);
    const QString id = packet.GetID();
    const QString alias = packet.GetAlias();
    const QString ip = packet.GetIP();
    const int picture = packet.GetImageIndex();
    const qint32 color = packet.GetColor();
    const QString name = DisplayName(alias, ip);

    const std::optional<PeerNode> node = FindPeerNode(id);
    const int k = node ? NodePeerIndex(node->item) : 0;
    RUserID *entry = m_peers.GetPeer(k);
    if (k == 0 || !entry)
        return;
    if (m_hooks) {
        m_hooks->NotifyTalks(k, ip, false, id, color, picture, alias);
        if (const TUserGroupBox *group = groupOfTree(node->tree))
            m_hooks->MemberRemoved(group->Tag(), k);
    }
    entry->Online = 0;
    delete node->item;
    LayoutGroups();
    if (!m_hooks)
        return;
    const QString disconnectFormat = ConstUnit::text(ConstUnit::Text::DisconnectUser);
    m_hooks->Notify(disconnectFormat, alias, 0, picture, ip);
    m_hooks->AppendMessage(0, id, ip, ConstUnit::Format(disconnectFormat, {name}), color, picture, alias);
    m_hooks->PlayEventSound(1);
    m_hooks->PeerLeft(name, id);
}

std::optional<PeerNode> TfmUserList::FindPeerNode(const QString &id) const
{
    const int k = m_peers.findOnline(id);
    if (k < 0)
        return std::nullopt;
    const auto findIn = [this, &id](QTreeWidget *tree) -> QTreeWidgetItem * {
        for (int i = 0; tree && i < tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem *item = tree->topLevelItem(i);
            const RUserID *entry = m_peers.GetPeer(NodePeerIndex(item));
            if (entry && entry->ID == id)
                return item;
        }
        return nullptr;
    };
    if (const TUserGroupBox *group = groupByNumber(m_peers.GetPeer(k)->GroupNumber)) {
        if (QTreeWidgetItem *item = findIn(group->tree()))
            return PeerNode{group->tree(), item};
    }
    for (const TUserGroupBox *group : groups()) {
        if (QTreeWidgetItem *item = findIn(group->tree()))
            return PeerNode{group->tree(), item};
    }
    return std::nullopt;
}

QList<TUserGroupBox *> TfmUserList::groups() const
{
    QList<TUserGroupBox *> list;
    for (int i = 0; i < m_groupsLayout->count(); ++i) {
        if (auto *box = qobject_cast<TUserGroupBox *>(m_groupsLayout->itemAt(i)->widget()))
            list.append(box);
    }
    return list;
}

TUserGroupBox *TfmUserList::groupByNumber(int number) const
{
    for (TUserGroupBox *box : groups()) {
        if (box->Tag() == number)
            return box;
    }
    return nullptr;
}

TUserGroupBox *TfmUserList::groupOfTree(const QTreeWidget *tree) const
{
    for (TUserGroupBox *box : groups()) {
        if (box->tree() == tree)
            return box;
    }
    return nullptr;
}

QTreeWidget *TfmUserList::GroupTree(int number) const
{
    const TUserGroupBox *group = groupByNumber(number);
    return (group ? group : m_mainGroup)->tree();
}

int TfmUserList::AddUserNode(int number, int peerIndex)
{
    RUserID *entry = m_peers.GetPeer(peerIndex);
    if (!entry)
        return -1;
    QTreeWidget *tree = GroupTree(number);
    tree->addTopLevelItem(MakeUserNode(*entry, peerIndex, nodePictures()));
    const int used = groupOfTree(tree)->Tag();
    entry->GroupNumber = used;
    if (m_hooks)
        m_hooks->MemberAdded(used, peerIndex);
    LayoutGroups();
    return used;
}

void TfmUserList::MoveUser(QTreeWidget *target, QTreeWidgetItem *node)
{
    TUserGroupBox *to = groupOfTree(target);
    TUserGroupBox *from = node ? groupOfTree(node->treeWidget()) : nullptr;
    if (!to || !from)
        return;
    const int k = NodePeerIndex(node);
    if (m_hooks)
        m_hooks->MemberRemoved(from->Tag(), k);
    target->addTopLevelItem(node->clone());
    if (RUserID *entry = k != 0 ? m_peers.GetPeer(k) : nullptr) {
        entry->GroupNumber = to->Tag();
        StoreUserGroup(m_store, entry->ID, to->Tag());
    }
    if (m_hooks)
        m_hooks->MemberAdded(to->Tag(), k);
    delete node;
    LayoutGroups();
}

int TfmUserList::AllocateGroupNumber(int requested) const
{
    if (requested != -1 && !groupByNumber(requested))
        return requested;
    int n = int(groups().size()) + 1;
    while (groupByNumber(n) || HasStoredGroup(m_store, n))
        ++n;
    return n;
}

TUserGroupBox *TfmUserList::CreateGroup(const QString &caption, const QString &groupId, bool loaded,
                                        int requestedNumber)
{
    const int number = AllocateGroupNumber(std::abs(requestedNumber));
    auto *box = addGroupBox(new TUserGroupBox(number, caption, groupId, m_groupsHost));
    if (loaded && number != requestedNumber)
        WriteStoredGroup(m_store, {number, box->isCollapsed(), box->caption(), box->Hint()});
    LayoutGroups();
    return box;
}

TUserGroupBox *TfmUserList::addGroupBox(TUserGroupBox *box)
{
    // Groups stack from the top; the stretch stays last.
    m_groupsLayout->insertWidget(m_groupsLayout->count() - 1, box);
    box->tree()->setIconSize(nodePictures().size());
    connect(box, &TUserGroupBox::expanded, this, &TfmUserList::LayoutGroups);
    return box;
}

void TfmUserList::LoadGroups()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    for (const StoredGroup &stored : LoadStoredGroups(m_store))
        CreateGroup(stored.caption, stored.groupId, true, stored.number);
    QGuiApplication::restoreOverrideCursor();
}

void TfmUserList::LayoutGroups()
{
    for (TUserGroupBox *box : groups())
        box->layoutHeight();
}

void TfmUserList::RestoreCollapsed()
{
    for (TUserGroupBox *box : groups()) {
        if (box == m_mainGroup)
            box->setCollapsed(ReadFixedCollapsed(m_store, MainCollapseSection));
        else if (box == m_badList)
            box->setCollapsed(ReadFixedCollapsed(m_store, BadCollapseSection));
        else
            box->setCollapsed(ReadStoredCollapsed(m_store, box->Tag()));
    }
}

void TfmUserList::StoreCollapsed() const
{
    WriteFixedCollapsed(m_store, MainCollapseSection, m_mainGroup->isCollapsed());
    WriteFixedCollapsed(m_store, BadCollapseSection, m_badList->isCollapsed());
    for (const TUserGroupBox *box : groups()) {
        if (box != m_mainGroup && box != m_badList && HasStoredGroup(m_store, box->Tag()))
            WriteStoredCollapsed(m_store, box->Tag(), box->isCollapsed());
    }
}

void TfmUserList::StoreGroups() const
{
    WriteFixedGroupID(m_store, BadGroupIDSection, m_badList->Hint());
    WriteFixedGroupID(m_store, MainGroupIDSection, m_mainGroup->Hint());
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    for (const TUserGroupBox *box : groups()) {
        if (box != m_mainGroup && box != m_badList)
            WriteStoredGroup(m_store, {box->Tag(), box->isCollapsed(), box->caption(), box->Hint()});
    }
    QGuiApplication::restoreOverrideCursor();
    WriteFixedCollapsed(m_store, MainCollapseSection, m_mainGroup->isCollapsed());
    WriteFixedCollapsed(m_store, BadCollapseSection, m_badList->isCollapsed());
}

TUserGroupBox *TfmUserList::ActiveGroup() const
{
    const QWidget *focus = QApplication::focusWidget();
    for (TUserGroupBox *box : groups()) {
        if (focus && (focus == box || focus == box->tree() || focus == box->captionButton()))
            return box;
    }
    return nullptr;
}

int TfmUserList::SelectedUser() const
{
    const TUserGroupBox *group = ActiveGroup();
    if (!group)
        return -1;
    const QTreeWidgetItem *item = group->tree()->currentItem();
    if (!item || !item->isSelected())
        return -1;
    const int k = NodePeerIndex(item);
    return k == 0 ? -1 : k;
}

void TfmUserList::selectPeer(int peerIndex)
{
    for (TUserGroupBox *box : groups()) {
        QTreeWidget *tree = box->tree();
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem *item = tree->topLevelItem(i);
            if (NodePeerIndex(item) == peerIndex) {
                tree->setCurrentItem(item);
                item->setSelected(true);
                tree->setFocus(Qt::OtherFocusReason);
                return;
            }
        }
    }
}

const TImageList &TfmUserList::nodePictures() const
{
    return m_bigIcons ? ProfileImages32() : ProfileImages16();
}

void TfmUserList::setBigIcons(bool big)
{
    m_bigIcons = big;
    for (TUserGroupBox *box : groups()) {
        QTreeWidget *tree = box->tree();
        tree->setIconSize(nodePictures().size());
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            SetNodePictures(tree->topLevelItem(i), nodePictures());
    }
    LayoutGroups();
}

void TfmUserList::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_created)
        RestoreCollapsed();
    Q_EMIT shownChanged(true);
}

void TfmUserList::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (event->spontaneous())
        return;
    StoreCollapsed();
    storeBounds();
    Q_EMIT shownChanged(false);
}

void TfmUserList::restoreBounds()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize desktop = screen ? screen->virtualSize() : QSize(1024, 768);
    const QRect main =
        m_mainWindow ? QRect(m_mainWindow->pos(), m_mainWindow->size()) : QRect(0, 0, 460, 300);
    const QRect bounds = UserListPlacement(readPlacement(m_store, Setting::UserListSection), desktop, main);
    move(bounds.topLeft());
    resize(bounds.size());
}

void TfmUserList::storeBounds() const
{
    writePlacement(m_store, Setting::UserListSection, QRect(pos(), size()));
}
