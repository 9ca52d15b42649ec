#include "peers/ui/UserListMenu.h"

#include "features/LngUn.h"
#include "peers/PeerRegistry.h"
#include "peers/ui/UserGroupBox.h"
#include "protocol/ConstUnit.h"

#include <QAction>
#include <QMenu>
#include <QToolButton>
#include <QTreeWidget>

UserListMenu::UserListMenu(TfmUserList *list)
    : QObject(list)
    , m_list(list)
{}

QAction *UserListMenu::addUserAction(const QString &name, const QString &caption,
                                     const QList<QKeySequence> &keys)
{
    auto *a = new QAction(caption, m_list);
    a->setObjectName(name);
    a->setShortcuts(keys);
    a->setShortcutContext(Qt::WindowShortcut);
    m_list->addAction(a);
    m_userActions.insert(name, a);
    return a;
}

QAction *UserListMenu::userAction(const QString &name) const
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

void UserListMenu::build(const UserListMainActions &main)
{
    m_main = main;
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
    connect(deactive, &QAction::triggered, m_list, &TfmUserList::DeactiveUser);
    connect(badList, &QAction::triggered, m_list, &TfmUserList::AddToBadList);
    connect(create, &QAction::triggered, m_list, [this] { m_list->CreateNewGroup(false); });
    connect(rename, &QAction::triggered, m_list, &TfmUserList::RenameGroup);
    connect(remove, &QAction::triggered, m_list, &TfmUserList::DeleteGroup);
    connect(collapse, &QAction::triggered, m_list, &TfmUserList::CollapseToggle);
    connect(profile, &QAction::triggered, this, [this] {
        if (m_main.userNetProfile)
            m_main.userNetProfile->trigger();
        clearControl();
    });

    m_pmUserList = new QMenu(m_list);
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
    connect(createFromMove, &QAction::triggered, m_list, [this] { m_list->CreateNewGroup(true); });
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
            m_list->MoveTargetUserTo(item->data().toInt());
    });
}

void UserListMenu::showPopup(QWidget *control, const QPoint &globalPos)
{
    PreparePopup(control);
    m_pmUserList->exec(globalPos);
    m_control = nullptr;
}

void UserListMenu::rebuildMoveToGroup(const UserGroupBox *current)
{
    for (QAction *item : m_moveToGroup->actions()) {
        if (item->data().toInt() >= 0 && item->data().isValid())
            delete item;
    }
    for (const UserGroupBox *box : m_list->groups()) {
        auto *item = new QAction(box->caption(), m_moveToGroup);
        item->setData(box->Tag());
        item->setEnabled(box != current);
        m_moveToGroup->insertAction(m_moveToGroup->actions().value(0), item);
    }
}

void UserListMenu::PreparePopup(QWidget *control)
{
    m_control = control;
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
    UserGroupBox *group = tree ? m_list->groupOfTree(tree) : nullptr;
    if (!group) {
        for (UserGroupBox *box : m_list->groups()) {
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
        set(name, group && !PeerRegistry::IsFixedGroup(group->Tag()));
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

void UserListMenu::PrepareMemberMenu(int peerIndex, bool blocked, bool moveToGroupVisible)
{
    m_list->selectPeer(peerIndex);
    const std::optional<PeerNode> node = [&]() -> std::optional<PeerNode> {
        const RUserID *entry = m_list->registry()->GetPeer(peerIndex);
        return entry ? m_list->FindPeerNode(entry->ID) : std::nullopt;
    }();
    m_control = node ? node->tree : nullptr;
    rebuildMoveToGroup(node ? m_list->groupOfTree(node->tree) : nullptr);
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


void UserListMenu::forgetControlIn(const QWidget *box)
{
    if (m_control && box && box->isAncestorOf(m_control))
        m_control = nullptr;
}
