#include "fmUserListUn.h"

#include "ConstUnit.h"
#include "GroupBoxStorageUn.h"
#include "Guid.h"
#include "LngUn.h"
#include "PacketTransport.h"
#include "PeerText.h"
#include "ProtocolClassUn.h"
#include "SendMessageUn.h"
#include "SettingsStore.h"
#include "TImageList.h"
#include "TMyUserData.h"
#include "TUserGroupBox.h"
#include "UserListHooks.h"
#include "WindowMagnetUn.h"
#include "fmEditorUn.h"
#include "iniFileUn.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QMenu>
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
    new TWindowMagnet(this, mainWindow);
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
    if (const int known = id.isEmpty() ? -1 : m_peers.findOnline(id); known >= 0) {
        m_peers.touch(known);
        SendPresence(false);
        return;
    }
    const int slot = placeForNewPeer(id.isEmpty());
    if (slot < 0)
        return;

    auto entry = std::make_unique<RUserID>();
    FillProfileFromPacket(*entry, packet);
    entry->ID = id;
    entry->Blocked = 0;
    entry->Online = 1;
    entry->GroupNumber = MainGroupNumber;
    entry->TextStyle = m_hooks ? m_hooks->SenderTextStyle(id, entry->Color) : 0;
    const int k =
        slot == 0 ? m_peers.append(std::move(entry)) : (m_peers.replace(slot, std::move(entry)) ? slot : -1);
    if (k < 0)
        return;
    SendPresence(false);
    placeNewPeer(k);

    const RUserID &peer = *m_peers.GetPeer(k);
    if (!m_hooks)
        return;
    const QString connectFormat = ConstUnit::text(ConstUnit::Text::ConnectUser);
    m_hooks->Notify(connectFormat, peer.Alias, 0, peer.PictureIndex, peer.IP);
    m_hooks->AppendMessage(0, peer.ID, peer.IP,
                           ConstUnit::Format(connectFormat, {PeerText::name(DisplayName(peer))}), peer.Color,
                           peer.PictureIndex, peer.Alias);
    m_hooks->NotifyTalks(k, peer.IP, true, peer.ID, peer.Color, peer.PictureIndex, peer.Alias);
    m_hooks->PlayEventSound(0);
}

int TfmUserList::placeForNewPeer(bool anonymous)
{
    const TPeerList::Referenced referenced = [this](int k) {
        return m_hooks && m_hooks->IsPeerReferenced(k);
    };
    // Users without an ID are each a newcomer: a few of them at a time, the oldest makes way.
    if (anonymous && m_peers.anonymousOnline() >= TPeerList::MaxAnonymous) {
        const int oldest = m_peers.stalestOnline(referenced, true);
        if (oldest < 0)
            return -1;
        ForgetPeer(oldest);
        return oldest;
    }
    if (!m_peers.isFull())
        return 0;
    if (const int offline = m_peers.reusableSlot(referenced); offline > 0)
        return offline;
    // Full of online users: the one heard from longest ago goes quietly, so that a real newcomer
    // is never refused by a flood of made-up ones.
    const int stalest = m_peers.stalestOnline(referenced);
    if (stalest > 0)
        ForgetPeer(stalest);
    return stalest;
}

void TfmUserList::ForgetPeer(int peerIndex)
{
    const RUserID *entry = m_peers.GetPeer(peerIndex);
    if (!entry || peerIndex == 0)
        return;
    if (const std::optional<PeerNode> node = FindPeerNode(entry->ID);
        node && NodePeerIndex(node->item) == peerIndex) {
        if (const TUserGroupBox *group = groupOfTree(node->tree); group && m_hooks)
            m_hooks->MemberRemoved(group->Tag(), peerIndex);
        delete node->item;
        LayoutGroups();
    }
    m_peers.setOnline(peerIndex, false);
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
    m_peers.touch(k);
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
    m_peers.setOnline(k, false);
    delete node->item;
    LayoutGroups();
    if (!m_hooks)
        return;
    const QString disconnectFormat = ConstUnit::text(ConstUnit::Text::DisconnectUser);
    m_hooks->Notify(disconnectFormat, alias, 0, picture, ip);
    m_hooks->AppendMessage(0, id, ip, ConstUnit::Format(disconnectFormat, {PeerText::name(name)}), color,
                           picture, alias);
    m_hooks->PlayEventSound(1);
    m_hooks->PeerLeft(name, id);
}

void TfmUserList::PeerVanished(const QString &id)
{
    const int k = m_peers.findOnline(id);
    if (const RUserID *entry = m_peers.GetPeer(k); k > 0 && entry)
        ProcessDisconnectPacket(BuildDisconnectPacket(*entry));
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
    auto *tree = static_cast<TUserTree *>(box->tree());
    connect(tree, &TUserTree::userDropped, this, [this, tree](QTreeWidget *source) {
        if (source->currentItem())
            MoveUser(tree, source->currentItem());
    });
    connect(tree, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (m_main.messageToUser)
            m_main.messageToUser->trigger();
    });
    connect(tree, &QWidget::customContextMenuRequested, this,
            [this, tree](const QPoint &pos) { showPopup(tree, tree->viewport()->mapToGlobal(pos)); });
    connect(box->captionButton(), &QWidget::customContextMenuRequested, this, [this, box](const QPoint &pos) {
        showPopup(box->captionButton(), box->captionButton()->mapToGlobal(pos));
    });
    if (m_pmUserList) {
        tree->setContextMenuPolicy(Qt::CustomContextMenu);
        box->captionButton()->setContextMenuPolicy(Qt::CustomContextMenu);
    }
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
    // The window keeps its focused control while another window is active.
    const QWidget *focus = focusWidget();
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

QAction *TfmUserList::addUserAction(const QString &name, const QString &caption,
                                    const QList<QKeySequence> &keys)
{
    auto *a = new QAction(caption, this);
    a->setObjectName(name);
    a->setShortcuts(keys);
    a->setShortcutContext(Qt::WindowShortcut);
    addAction(a);
    m_userActions.insert(name, a);
    return a;
}

QAction *TfmUserList::userAction(const QString &name) const
{
    return m_userActions.value(name);
}

namespace {
// A menu item of its own for a command, so that hiding it in one menu leaves the command alone.
QAction *menuItem(QMenu *menu, const QString &name, QAction *command)
{
    auto *item = menu->addAction(command ? command->text() : QString());
    item->setObjectName(name);
    if (!command)
        return item;
    item->setIcon(command->icon());
    QObject::connect(command, &QAction::changed, item, [item, command] {
        item->setText(command->text());
        item->setIcon(command->icon());
        item->setCheckable(command->isCheckable());
        item->setChecked(command->isChecked());
    });
    item->setCheckable(command->isCheckable());
    item->setChecked(command->isChecked());
    QObject::connect(item, &QAction::triggered, command, [command] { command->trigger(); });
    return item;
}
} // namespace

void TfmUserList::setMainActions(const TUserListMainActions &actions)
{
    m_main = actions;
    buildMenu();
}

void TfmUserList::buildMenu()
{
    QAction *deactive = addUserAction("actDeactiveUser", ConstUnit::text(ConstUnit::Text::DeactiveUser),
                                      {QKeySequence(Qt::CTRL | Qt::Key_D)});
    QAction *badList = addUserAction("actAddToBadList", QStringLiteral("Add to bad list"),
                                     {QKeySequence(Qt::CTRL | Qt::Key_B)});
    QAction *create = addUserAction("actCreateNewGroup", QStringLiteral("Create new group"),
                                    {QKeySequence(Qt::Key_Insert), QKeySequence(Qt::CTRL | Qt::Key_N)});
    QAction *rename =
        addUserAction("actRenameGroupBox", QStringLiteral("Rename group"), {QKeySequence(Qt::Key_F2)});
    QAction *remove =
        addUserAction("actDeleteGroupBox", QStringLiteral("Delete group"), {QKeySequence(Qt::Key_Delete)});
    QAction *collapse = addUserAction("actCollapseAndUncollapse", QStringLiteral("Collapse group"),
                                      {QKeySequence(Qt::CTRL | Qt::Key_R)});
    QAction *profile =
        addUserAction("actOtherProfils",
                      m_main.userNetProfile ? m_main.userNetProfile->text() : QStringLiteral("User profile"),
                      {QKeySequence(Qt::ALT | Qt::Key_Return)});
    connect(deactive, &QAction::triggered, this, &TfmUserList::DeactiveUser);
    connect(badList, &QAction::triggered, this, &TfmUserList::AddToBadList);
    connect(create, &QAction::triggered, this, [this] { CreateNewGroup(false); });
    connect(rename, &QAction::triggered, this, &TfmUserList::RenameGroup);
    connect(remove, &QAction::triggered, this, &TfmUserList::DeleteGroup);
    connect(collapse, &QAction::triggered, this, &TfmUserList::CollapseToggle);
    connect(profile, &QAction::triggered, this, [this] {
        if (m_main.userNetProfile)
            m_main.userNetProfile->trigger();
        clearCommandTarget();
    });

    m_pmUserList = new QMenu(this);
    m_pmUserList->setObjectName(QStringLiteral("pmUserList"));
    QAction *toUser = menuItem(m_pmUserList, "miSendMessageToUser", m_main.messageToUser);
    m_pmUserList->setDefaultAction(toUser);
    menuItem(m_pmUserList, "miSendMessageToGroup", m_main.messageToGroup);
    m_mailMenu = m_pmUserList->addMenu(QStringLiteral("Mail"));
    m_mailMenu->menuAction()->setObjectName(QStringLiteral("miUIMailUser"));
    menuItem(m_mailMenu, "miMailUser", m_main.mailUser);
    menuItem(m_mailMenu, "UIactMailGroup", m_main.mailGroup);
    m_mailMenu->addSeparator();
    menuItem(m_mailMenu, "UIactMailAll", m_main.mailAll);
    menuItem(m_mailMenu, "UIactMailEmpty", m_main.mailEmpty);
    m_pmUserList->addSeparator();
    menuItem(m_pmUserList, "miDeactive", deactive);
    m_moveToGroup = m_pmUserList->addMenu(QStringLiteral("Move to group"));
    m_moveToGroup->menuAction()->setObjectName(QStringLiteral("tbMoveToGroup"));
    m_moveToGroup->addSeparator()->setData(-1);
    QAction *createFromMove = m_moveToGroup->addAction(create->text());
    createFromMove->setObjectName(QStringLiteral("miCreateNewGroup"));
    createFromMove->setData(-2);
    connect(createFromMove, &QAction::triggered, this, [this] { CreateNewGroup(true); });
    menuItem(m_pmUserList, "miUserProfil", profile);
    m_pmUserList->addSeparator();
    menuItem(m_pmUserList, "tbDeleteGroup", remove);
    menuItem(m_pmUserList, "miRenameGroup", rename);
    menuItem(m_pmUserList, "tbCollapseAndUncollapse", collapse);
    m_pmUserList->addSeparator();
    menuItem(m_pmUserList, "miCreateNewGroupBox", create);
    m_pmUserList->addSeparator();
    menuItem(m_pmUserList, "miStayOnTopUserList", m_main.stayOnTopUserList);
    connect(m_moveToGroup, &QMenu::triggered, this, [this](QAction *item) {
        if (item->data().toInt() >= 0 && item->data().isValid())
            MoveTargetUserTo(item->data().toInt());
    });

    m_scroll->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_scroll, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { showPopup(m_scroll, m_scroll->mapToGlobal(pos)); });
    for (TUserGroupBox *box : groups()) {
        box->tree()->setContextMenuPolicy(Qt::CustomContextMenu);
        box->captionButton()->setContextMenuPolicy(Qt::CustomContextMenu);
    }
}

void TfmUserList::showPopup(QWidget *control, const QPoint &globalPos)
{
    PreparePopup(control);
    m_pmUserList->exec(globalPos);
    m_menuControl = nullptr;
}

void TfmUserList::rebuildMoveToGroup(const TUserGroupBox *current)
{
    for (QAction *item : m_moveToGroup->actions()) {
        if (item->data().toInt() >= 0 && item->data().isValid())
            delete item;
    }
    for (const TUserGroupBox *box : groups()) {
        auto *item = new QAction(box->caption(), m_moveToGroup);
        item->setData(box->Tag());
        item->setEnabled(box != current);
        m_moveToGroup->insertAction(m_moveToGroup->actions().value(0), item);
    }
}

void TfmUserList::PreparePopup(QWidget *control)
{
    m_menuControl = control;
    const QList<QAction *> items = m_pmUserList->findChildren<QAction *>();
    for (QAction *item : items) {
        item->setVisible(true);
        item->setEnabled(true);
    }
    const auto set = [this](const char *name, bool enabled) {
        if (QAction *item = m_pmUserList->findChild<QAction *>(QLatin1StringView(name)))
            item->setEnabled(enabled);
    };
    const char *userItems[] = {"miSendMessageToUser", "miDeactive", "tbMoveToGroup", "miMailUser",
                               "miUserProfil"};
    const char *groupItems[] = {"miSendMessageToGroup", "tbCollapseAndUncollapse"};
    const char *ownGroupItems[] = {"tbDeleteGroup", "miRenameGroup"};

    auto *tree = qobject_cast<QTreeWidget *>(control);
    TUserGroupBox *group = tree ? groupOfTree(tree) : nullptr;
    if (!group) {
        for (TUserGroupBox *box : groups()) {
            if (control == box || control == box->captionButton())
                group = box;
        }
    }
    rebuildMoveToGroup(tree ? group : nullptr);
    const bool hasNode = tree && tree->currentItem() && tree->currentItem()->isSelected();
    for (const char *name : userItems)
        set(name, tree && hasNode);
    for (const char *name : groupItems)
        set(name, group != nullptr);
    for (const char *name : ownGroupItems)
        set(name, group && !isFixed(group));
    if (tree && hasNode) {
        const bool cut = tree->currentItem()->data(0, CutStateRole).toBool();
        userAction("actDeactiveUser")
            ->setText(ConstUnit::text(cut ? ConstUnit::Text::ActiveUser : ConstUnit::Text::DeactiveUser));
        tree->setFocus(Qt::PopupFocusReason);
    } else if (group) {
        group->captionButton()->setFocus(Qt::PopupFocusReason);
    }
    if (group)
        userAction("actCollapseAndUncollapse")
            ->setText(
                group->isCollapsed()
                    ? Lng::Caption(QStringLiteral("UnCollapsedCaption"), QStringLiteral("Uncollapse group"))
                    : Lng::Caption(QStringLiteral("CollapsedCaption"), QStringLiteral("Collapse group")));
}

void TfmUserList::PrepareMemberMenu(int peerIndex, bool blocked, bool moveToGroupVisible)
{
    selectPeer(peerIndex);
    const std::optional<PeerNode> node = [&]() -> std::optional<PeerNode> {
        const RUserID *entry = m_peers.GetPeer(peerIndex);
        return entry ? FindPeerNode(entry->ID) : std::nullopt;
    }();
    m_menuControl = node ? node->tree : nullptr;
    rebuildMoveToGroup(node ? groupOfTree(node->tree) : nullptr);
    for (QAction *item : m_pmUserList->findChildren<QAction *>()) {
        item->setVisible(true);
        item->setEnabled(true);
    }
    for (const char *name : {"miSendMessageToGroup", "tbDeleteGroup", "miRenameGroup",
                             "tbCollapseAndUncollapse", "miCreateNewGroupBox"}) {
        if (QAction *item = m_pmUserList->findChild<QAction *>(QLatin1StringView(name))) {
            item->setEnabled(false);
            item->setVisible(false);
        }
    }
    m_moveToGroup->menuAction()->setVisible(moveToGroupVisible);
    userAction("actDeactiveUser")
        ->setText(ConstUnit::text(blocked ? ConstUnit::Text::ActiveUser : ConstUnit::Text::DeactiveUser));
}

QWidget *TfmUserList::commandTarget() const
{
    return m_menuControl ? m_menuControl : focusWidget();
}

QTreeWidget *TfmUserList::targetTree() const
{
    auto *tree = qobject_cast<QTreeWidget *>(commandTarget());
    return groupOfTree(tree) ? tree : nullptr;
}

TUserGroupBox *TfmUserList::targetGroup() const
{
    QWidget *target = commandTarget();
    for (TUserGroupBox *box : groups()) {
        if (target == box || target == box->tree() || target == box->captionButton())
            return box;
    }
    return nullptr;
}

void TfmUserList::DeactiveUser()
{
    QTreeWidget *tree = targetTree();
    QTreeWidgetItem *node = tree ? tree->currentItem() : nullptr;
    const int k = NodePeerIndex(node);
    RUserID *entry = k != 0 ? m_peers.GetPeer(k) : nullptr;
    clearCommandTarget();
    if (!entry)
        return;
    const bool cut = !node->data(0, CutStateRole).toBool();
    node->setData(0, CutStateRole, cut);
    SetNodePictures(node, nodePictures());
    entry->Blocked = cut ? 1 : 0;
    if (m_hooks)
        m_hooks->SetMemberBlocked(k, cut);
}

void TfmUserList::AddToBadList()
{
    QTreeWidget *tree = targetTree();
    clearCommandTarget();
    if (!tree || tree == m_badList->tree() || !tree->currentItem())
        return;
    MoveUser(m_badList->tree(), tree->currentItem());
}

void TfmUserList::MoveTargetUserTo(int groupNumber)
{
    QTreeWidget *tree = targetTree();
    const TUserGroupBox *to = groupByNumber(groupNumber);
    clearCommandTarget();
    if (!tree || !to || !tree->currentItem() || to->tree() == tree)
        return;
    MoveUser(to->tree(), tree->currentItem());
}

namespace {
// The editor lies over the caption of the group.
QRect captionRect(const TUserGroupBox *group)
{
    const QWidget *caption = group->captionButton();
    const QPoint topLeft = caption->mapToGlobal(QPoint(caption->height() + 2, 1));
    return QRect(topLeft,
                 QSize(qMax(40, caption->width() - caption->height() - 2), qMax(14, caption->height() - 4)));
}
} // namespace

TUserGroupBox *TfmUserList::CreateNewGroup(bool moveTargetUser)
{
    QTreeWidget *sourceTree = moveTargetUser ? targetTree() : nullptr;
    QTreeWidgetItem *node = sourceTree ? sourceTree->currentItem() : nullptr;
    clearCommandTarget();
    TUserGroupBox *group = CreateGroup(QStringLiteral(" "), NewRegistryGuid(), false, -1);
    group->tree()->setContextMenuPolicy(Qt::CustomContextMenu);
    group->captionButton()->setContextMenuPolicy(Qt::CustomContextMenu);
    if (const std::optional<QString> text =
            TfmEditor::Edit(this, captionRect(group), palette().color(QPalette::Highlight), QString())) {
        group->setCaption(NormalizeGroupCaption(*text));
        if (m_hooks)
            m_hooks->SendGroupRename(group->Hint(), group->caption());
    }
    if (node)
        MoveUser(group->tree(), node);
    return group;
}

void TfmUserList::RenameGroup()
{
    TUserGroupBox *group = targetGroup();
    clearCommandTarget();
    if (!group || isFixed(group))
        return;
    const std::optional<QString> text = TfmEditor::Edit(
        this, captionRect(group), palette().color(QPalette::Highlight), group->caption().trimmed());
    if (!text)
        return;
    group->setCaption(NormalizeGroupCaption(*text));
    if (m_hooks)
        m_hooks->SendGroupRename(group->Hint(), group->caption());
    if (HasStoredGroup(m_store, group->Tag()))
        WriteStoredGroup(m_store, {group->Tag(), group->isCollapsed(), group->caption(), group->Hint()});
}

void TfmUserList::DeleteGroup()
{
    TUserGroupBox *group = targetGroup();
    clearCommandTarget();
    if (!group || isFixed(group))
        return;
    if (m_hooks)
        m_hooks->SendGroupDelete(group->Hint(), group->caption());
    QTreeWidget *tree = group->tree();
    for (int i = tree->topLevelItemCount() - 1; i >= 0; --i)
        MoveUser(m_mainGroup->tree(), tree->topLevelItem(i));
    EraseStoredGroup(m_store, group->Tag());
    if (m_hooks)
        m_hooks->CloseOwnGroupTalk(group->Tag());
    delete group;
    LayoutGroups();
}

void TfmUserList::CollapseToggle()
{
    TUserGroupBox *group = targetGroup();
    clearCommandTarget();
    if (group)
        group->setCollapsed(!group->isCollapsed());
}
