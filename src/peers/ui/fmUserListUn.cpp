#include "peers/ui/fmUserListUn.h"

#include "features/ScreenFit.h"

#include "features/ui/ImageList.h"
#include "peers/GroupBoxStorageUn.h"
#include "peers/PeerRegistry.h"
#include "peers/ui/UserGroupBox.h"
#include "peers/ui/UserListMenu.h"
#include "peers/ui/WindowMagnetUn.h"
#include "peers/ui/fmEditorUn.h"
#include "protocol/ConstUnit.h"
#include "settings/SettingsStore.h"
#include "settings/iniFileUn.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace GroupStorage;

TfmUserList::TfmUserList(const SettingsStore &store, PeerRegistry *registry, QWidget *mainWindow,
                         bool bigIcons)
    : QWidget(nullptr, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_store(store)
    , m_mainWindow(mainWindow)
    , m_bigIcons(bigIcons)
    , m_registry(registry)
    , m_scroll(new QScrollArea(this))
    , m_groupsHost(new QWidget)
    , m_groupsLayout(new QVBoxLayout(m_groupsHost))
    , m_menu(new UserListMenu(this))
{
    setObjectName(QStringLiteral("fmUserList"));
    setWindowTitle(QStringLiteral("User list"));
    setMinimumSize(120, 150);
    m_scroll->setObjectName(QStringLiteral("sbUserList"));
    m_scroll->setAccessibleName(QStringLiteral("Contact groups"));
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_groupsLayout->setContentsMargins(2, 2, 2, 2);
    m_groupsLayout->setSpacing(2);
    m_groupsLayout->addStretch(1);
    m_scroll->setWidget(m_groupsHost);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scroll);

    m_mainGroup = addGroupBox(new UserGroupBox(MainGroupNumber, ConstUnit::text(ConstUnit::Text::MainGroup),
                                               QString(), m_groupsHost));
    m_mainGroup->setObjectName(QStringLiteral("gbMain"));
    m_mainGroup->tree()->setObjectName(QStringLiteral("tvMainGroup"));
    m_badList = addGroupBox(
        new UserGroupBox(BadListNumber, ConstUnit::text(ConstUnit::Text::BadList), QString(), m_groupsHost));
    m_badList->setObjectName(QStringLiteral("gbBadList"));
    m_badList->tree()->setObjectName(QStringLiteral("tvBadList"));
    m_badList->setBadListLook(true);
    new WindowMagnet(this, mainWindow);

    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(0);
    connect(&m_flushTimer, &QTimer::timeout, this, &TfmUserList::flushNodes);
    connectRegistry();
}

TfmUserList::~TfmUserList()
{
    // The registry's last signals must not reach a half-destroyed window.
    m_registry->disconnect(this);
}

void TfmUserList::connectRegistry()
{
    PeerRegistry *r = m_registry;
    connect(r, &PeerRegistry::memberAdded, this, &TfmUserList::onMemberAdded);
    connect(r, &PeerRegistry::memberRemoved, this, &TfmUserList::onMemberRemoved);
    connect(r, &PeerRegistry::arrivalsFlushed, this, [this] { flushNodes(); });
    connect(r, &PeerRegistry::peerUpdated, this, &TfmUserList::onPeerUpdated);
    connect(r, &PeerRegistry::blockedChanged, this, &TfmUserList::onBlockedChanged);
    connect(r, &PeerRegistry::groupAdded, this, &TfmUserList::onGroupAdded);
    connect(r, &PeerRegistry::groupRenamed, this, &TfmUserList::onGroupRenamed);
    connect(r, &PeerRegistry::groupRemoved, this, &TfmUserList::onGroupRemoved);
    connect(r, &PeerRegistry::groupCollapsedChanged, this, [this](int number, bool collapsed) {
        if (UserGroupBox *box = m_boxes.value(number))
            box->setCollapsed(collapsed);
    });
    connect(r, &PeerRegistry::groupsLoaded, this, [this] {
        m_badList->setHint(m_registry->group(BadListNumber)->groupId);
        m_mainGroup->setHint(m_registry->group(MainGroupNumber)->groupId);
        LayoutGroups();
    });
}

void TfmUserList::Create(bool showWindow)
{
    restoreBounds();
    setBigIcons(m_bigIcons);
    if (showWindow)
        show();
}

void TfmUserList::onMemberAdded(int groupNumber, int peerIndex)
{
    m_pending.append({groupNumber, peerIndex});
    startFlush();
}

void TfmUserList::startFlush() const
{
    // Arrivals are shown together with their notices, when the registry flushes them.
    if (m_registry && m_registry->arrivalsPending())
        return;
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void TfmUserList::onMemberRemoved(int groupNumber, int peerIndex)
{
    for (qsizetype i = 0; i < m_pending.size(); ++i) {
        if (m_pending[i].peerIndex == peerIndex && m_pending[i].groupNumber == groupNumber) {
            m_pending.removeAt(i);
            return;
        }
    }
    // The node goes at once: what a menu or a talk holds of it must not outlive the member.
    delete m_nodes.take(peerIndex);
    scheduleLayout();
}

void TfmUserList::flushNodes() const
{
    m_flushTimer.stop();
    if (!m_pending.isEmpty()) {
        const QList<PendingNode> pending = std::exchange(m_pending, {});
        // One insertion per tree, in the order the members joined.
        QHash<QTreeWidget *, QList<QTreeWidgetItem *>> byTree;
        QList<QTreeWidget *> trees;
        for (const PendingNode &p : pending) {
            const RUserID *entry = m_registry->GetPeer(p.peerIndex);
            const UserGroupBox *box = m_boxes.value(p.groupNumber);
            if (!entry || !box)
                continue;
            QTreeWidgetItem *item = MakeUserNode(*entry, p.peerIndex, nodePictures());
            m_nodes.insert(p.peerIndex, item);
            if (!byTree.contains(box->tree()))
                trees.append(box->tree());
            byTree[box->tree()].append(item);
        }
        for (QTreeWidget *tree : trees)
            tree->addTopLevelItems(byTree.value(tree));
        m_layoutPending = true;
    }
    if (m_layoutPending) {
        m_layoutPending = false;
        for (UserGroupBox *box : m_boxes)
            box->layoutHeight();
    }
}

void TfmUserList::scheduleLayout() const
{
    m_layoutPending = true;
    startFlush();
}

void TfmUserList::onPeerUpdated(int peerIndex)
{
    QTreeWidgetItem *node = m_nodes.value(peerIndex);
    const RUserID *entry = m_registry->GetPeer(peerIndex);
    if (!node || !entry)
        return;
    RefreshUserNode(node, *entry, nodePictures());
    node->treeWidget()->viewport()->update();
}

void TfmUserList::onBlockedChanged(int peerIndex, bool blocked)
{
    flushNodes();
    if (QTreeWidgetItem *node = m_nodes.value(peerIndex)) {
        node->setData(0, CutStateRole, blocked);
        SetNodePictures(node, nodePictures());
    }
}

void TfmUserList::onGroupAdded(int groupNumber)
{
    const ContactGroup *group = m_registry->group(groupNumber);
    if (!group || m_boxes.contains(groupNumber))
        return;
    UserGroupBox *box =
        addGroupBox(new UserGroupBox(groupNumber, group->caption, group->groupId, m_groupsHost));
    box->setCollapsed(group->collapsed);
    if (m_menu->menu()) {
        box->tree()->setContextMenuPolicy(Qt::CustomContextMenu);
        box->captionButton()->setContextMenuPolicy(Qt::CustomContextMenu);
    }
    LayoutGroups();
}

void TfmUserList::onGroupRenamed(int groupNumber)
{
    UserGroupBox *box = m_boxes.value(groupNumber);
    if (const ContactGroup *group = m_registry->group(groupNumber); box && group)
        box->setCaption(group->caption);
}

void TfmUserList::onGroupRemoved(int groupNumber)
{
    flushNodes();
    m_menu->forgetControlIn(m_boxes.value(groupNumber));
    delete m_boxes.take(groupNumber);
    LayoutGroups();
}

std::optional<PeerNode> TfmUserList::FindPeerNode(const QString &id) const
{
    flushNodes();
    const std::optional<PeerPlace> place = m_registry->FindPeer(id);
    QTreeWidgetItem *item = place ? m_nodes.value(place->peerIndex) : nullptr;
    if (!item)
        return std::nullopt;
    return PeerNode{item->treeWidget(), item};
}

QList<UserGroupBox *> TfmUserList::groups() const
{
    flushNodes();
    QList<UserGroupBox *> list;
    for (int i = 0; i < m_groupsLayout->count(); ++i) {
        if (auto *box = qobject_cast<UserGroupBox *>(m_groupsLayout->itemAt(i)->widget()))
            list.append(box);
    }
    return list;
}

UserGroupBox *TfmUserList::groupByNumber(int number) const
{
    flushNodes();
    return m_boxes.value(number);
}

UserGroupBox *TfmUserList::groupOfTree(const QTreeWidget *tree) const
{
    for (UserGroupBox *box : m_boxes) {
        if (box->tree() == tree)
            return box;
    }
    return nullptr;
}

UserGroupBox *TfmUserList::mainGroup() const
{
    flushNodes();
    return m_mainGroup;
}

UserGroupBox *TfmUserList::badList() const
{
    flushNodes();
    return m_badList;
}

UserGroupBox *TfmUserList::addGroupBox(UserGroupBox *box)
{
    // Groups stack from the top; the stretch stays last.
    m_groupsLayout->insertWidget(m_groupsLayout->count() - 1, box);
    m_boxes.insert(box->Tag(), box);
    box->tree()->setIconSize(nodePictures().size());
    connect(box, &UserGroupBox::expanded, this, &TfmUserList::LayoutGroups);
    connect(box, &UserGroupBox::collapsedChanged, this,
            [this, number = box->Tag()](bool collapsed) { m_registry->SetCollapsed(number, collapsed); });
    auto *tree = static_cast<UserTree *>(box->tree());
    connect(tree, &UserTree::userDropped, this, [this, tree](QTreeWidget *source) {
        if (source->currentItem())
            moveNode(tree, source->currentItem());
    });
    connect(tree, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (m_main.messageToUser)
            m_main.messageToUser->trigger();
    });
    connect(tree, &QWidget::customContextMenuRequested, this,
            [this, tree](const QPoint &pos) { m_menu->showPopup(tree, tree->viewport()->mapToGlobal(pos)); });
    connect(box->captionButton(), &QWidget::customContextMenuRequested, this, [this, box](const QPoint &pos) {
        m_menu->showPopup(box->captionButton(), box->captionButton()->mapToGlobal(pos));
    });
    if (m_menu->menu()) {
        tree->setContextMenuPolicy(Qt::CustomContextMenu);
        box->captionButton()->setContextMenuPolicy(Qt::CustomContextMenu);
    }
    return box;
}

void TfmUserList::moveNode(QTreeWidget *target, QTreeWidgetItem *node)
{
    const UserGroupBox *to = groupOfTree(target);
    if (to && node)
        m_registry->MoveUser(NodePeerIndex(node), to->Tag());
    // What the user does shows at once; only what the network brings waits for the end of the turn.
    flushNodes();
}

void TfmUserList::LayoutGroups()
{
    flushNodes();
    for (UserGroupBox *box : m_boxes)
        box->layoutHeight();
}

void TfmUserList::StoreGroups() const
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    m_registry->StoreGroups();
    QGuiApplication::restoreOverrideCursor();
}

UserGroupBox *TfmUserList::ActiveGroup() const
{
    // The window keeps its focused control while another window is active.
    const QWidget *focus = focusWidget();
    for (UserGroupBox *box : groups()) {
        if (focus && (focus == box || focus == box->tree() || focus == box->captionButton()))
            return box;
    }
    return nullptr;
}

int TfmUserList::SelectedUser() const
{
    const UserGroupBox *group = ActiveGroup();
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
    flushNodes();
    QTreeWidgetItem *item = m_nodes.value(peerIndex);
    if (!item)
        return;
    QTreeWidget *tree = item->treeWidget();
    tree->setCurrentItem(item);
    item->setSelected(true);
    tree->setFocus(Qt::OtherFocusReason);
}

const ImageList &TfmUserList::nodePictures() const
{
    return m_bigIcons ? ProfileImages32() : ProfileImages16();
}

void TfmUserList::setBigIcons(bool big)
{
    flushNodes();
    m_bigIcons = big;
    for (UserGroupBox *box : m_boxes) {
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
    // Shown again after the groups were loaded: as the store keeps them.
    if (m_registry->local())
        m_registry->RestoreCollapsed();
    Q_EMIT shownChanged(true);
}

void TfmUserList::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (event->spontaneous())
        return;
    m_registry->StoreCollapsed();
    storeBounds();
    Q_EMIT shownChanged(false);
}

void TfmUserList::restoreBounds()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize desktop = screen ? screen->virtualSize() : QSize(1024, 768);
    const QRect main =
        m_mainWindow ? QRect(m_mainWindow->pos(), m_mainWindow->size()) : QRect(0, 0, 460, 300);
    const QRect placed = UserListPlacement(readPlacement(m_store, Setting::UserListSection), desktop, main);
    // Docked beside a main window near the edge (or at a large scale) it would open past the screen.
    const QScreen *target = QGuiApplication::screenAt(placed.center());
    if (!target)
        target = m_mainWindow && m_mainWindow->screen() ? m_mainWindow->screen() : screen;
    const QRect bounds = target ? FitIntoArea(placed, target->availableGeometry()) : placed;
    move(bounds.topLeft());
    resize(bounds.size());
}

void TfmUserList::storeBounds() const
{
    writePlacement(m_store, Setting::UserListSection, QRect(pos(), size()));
}

void TfmUserList::setMainActions(const UserListMainActions &actions)
{
    m_main = actions;
    m_menu->build(actions);
    m_scroll->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_scroll, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { m_menu->showPopup(m_scroll, m_scroll->mapToGlobal(pos)); });
    for (UserGroupBox *box : groups()) {
        box->tree()->setContextMenuPolicy(Qt::CustomContextMenu);
        box->captionButton()->setContextMenuPolicy(Qt::CustomContextMenu);
    }
}

QMenu *TfmUserList::pmUserList() const
{
    return m_menu->menu();
}

QAction *TfmUserList::userAction(const QString &name) const
{
    return m_menu->userAction(name);
}

void TfmUserList::PrepareMemberMenu(int peerIndex, bool blocked, bool moveToGroupVisible)
{
    m_menu->PrepareMemberMenu(peerIndex, blocked, moveToGroupVisible);
}

void TfmUserList::PreparePopup(QWidget *control)
{
    m_menu->PreparePopup(control);
}

void TfmUserList::clearCommandTarget()
{
    m_menu->clearControl();
}

QWidget *TfmUserList::commandTarget() const
{
    return m_menu->control() ? m_menu->control() : focusWidget();
}

QTreeWidget *TfmUserList::targetTree() const
{
    auto *tree = qobject_cast<QTreeWidget *>(commandTarget());
    return groupOfTree(tree) ? tree : nullptr;
}

UserGroupBox *TfmUserList::targetGroup() const
{
    QWidget *target = commandTarget();
    for (UserGroupBox *box : groups()) {
        if (target == box || target == box->tree() || target == box->captionButton())
            return box;
    }
    return nullptr;
}

void TfmUserList::DeactiveUser()
{
    flushNodes();
    QTreeWidget *tree = targetTree();
    const QTreeWidgetItem *node = tree ? tree->currentItem() : nullptr;
    const int k = NodePeerIndex(node);
    clearCommandTarget();
    if (k == 0 || !m_registry->GetPeer(k))
        return;
    m_registry->SetBlocked(k, !node->data(0, CutStateRole).toBool());
}

void TfmUserList::AddToBadList()
{
    flushNodes();
    QTreeWidget *tree = targetTree();
    clearCommandTarget();
    if (!tree || tree == m_badList->tree() || !tree->currentItem())
        return;
    m_registry->AddToBadList(NodePeerIndex(tree->currentItem()));
    flushNodes();
}

void TfmUserList::MoveTargetUserTo(int groupNumber)
{
    flushNodes();
    QTreeWidget *tree = targetTree();
    const UserGroupBox *to = groupByNumber(groupNumber);
    clearCommandTarget();
    if (!tree || !to || !tree->currentItem() || to->tree() == tree)
        return;
    moveNode(to->tree(), tree->currentItem());
}

namespace {
// The editor lies over the caption of the group.
QRect captionRect(const UserGroupBox *group)
{
    const QWidget *caption = group->captionButton();
    const QPoint topLeft = caption->mapToGlobal(QPoint(caption->height() + 2, 1));
    return QRect(topLeft,
                 QSize(qMax(40, caption->width() - caption->height() - 2), qMax(14, caption->height() - 4)));
}
} // namespace

UserGroupBox *TfmUserList::CreateNewGroup(bool moveTargetUser)
{
    flushNodes();
    QTreeWidget *sourceTree = moveTargetUser ? targetTree() : nullptr;
    const QTreeWidgetItem *node = sourceTree ? sourceTree->currentItem() : nullptr;
    const int k = NodePeerIndex(node);
    clearCommandTarget();
    const int number = m_registry->CreateNewGroup();
    QPointer<UserGroupBox> group = m_boxes.value(number);
    if (!group)
        return nullptr;
    const std::optional<QString> text =
        TfmEditor::Edit(this, captionRect(group), palette().color(QPalette::Highlight), QString());
    // The editor ran its own event loop: the group and the user may be gone by now.
    if (text && m_registry->group(number))
        m_registry->RenameGroup(number, *text);
    if (k > 0 && m_registry->group(number))
        m_registry->MoveUser(k, number);
    flushNodes();
    return m_boxes.value(number);
}

void TfmUserList::RenameGroup()
{
    UserGroupBox *group = targetGroup();
    clearCommandTarget();
    if (!group || isFixed(group))
        return;
    const int number = group->Tag();
    const std::optional<QString> text = TfmEditor::Edit(
        this, captionRect(group), palette().color(QPalette::Highlight), group->caption().trimmed());
    if (text)
        m_registry->RenameGroup(number, *text);
}

void TfmUserList::DeleteGroup()
{
    UserGroupBox *group = targetGroup();
    clearCommandTarget();
    if (group && !isFixed(group))
        m_registry->DeleteGroup(group->Tag());
    flushNodes();
}

void TfmUserList::CollapseToggle()
{
    UserGroupBox *group = targetGroup();
    clearCommandTarget();
    if (group)
        m_registry->SetCollapsed(group->Tag(), !group->isCollapsed());
}
