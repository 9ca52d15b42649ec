#include "talks/ui/frConnectUserUn.h"
#include "features/ui/ToolbarKeys.h"

#include "features/LngUn.h"
#include "features/ui/ImageList.h"
#include "features/ui/PeerText.h"
#include "talks/ui/RVStyle.h"

#include <QAction>
#include <QMenu>
#include <QSplitter>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

TfrConnectUser::TfrConnectUser(RVStyle *style, const TalkData &data, QWidget *parent)
    : QWidget(parent)
    , m_data(data)
    , m_tbGroupUser(new QToolBar(this))
    , m_reAllMessage(new QTextEdit)
    , m_splitter(new QSplitter(Qt::Vertical, this))
    , m_pnBottomPanel(new QWidget)
    , m_tbSendMessage(new QToolBar(m_pnBottomPanel))
    , m_reMessage(new QTextEdit(m_pnBottomPanel))
    , m_tbiClearMessage(new QAction(ToolbarIcon(QStringLiteral("clear-message"), 32), QString(), this))
    , m_tbiCloseTalk(new QAction(ToolbarIcon(QStringLiteral("close-talk"), 32), QString(), this))
{
    setObjectName(QStringLiteral("frConnectUser"));
    m_tbGroupUser->setObjectName(QStringLiteral("tbGroupUser"));
    m_tbGroupUser->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_tbGroupUser->setMovable(false);
    m_tbGroupUser->setVisible(false);

    auto *pnTopPanel = new QWidget;
    pnTopPanel->setObjectName(QStringLiteral("pnTopPanel"));
    auto *topLayout = new QVBoxLayout(pnTopPanel);
    topLayout->setContentsMargins(0, 0, 0, 0);
    m_reAllMessage->setObjectName(QStringLiteral("reAllMessage"));
    m_reAllMessage->setReadOnly(true);
    m_reAllMessage->setAccessibleName(QStringLiteral("Messages of the talk"));
    // Nobody undoes a transcript; the undo stack would only grow with it.
    m_reAllMessage->setUndoRedoEnabled(false);
    m_reAllMessage->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard |
                                            Qt::LinksAccessibleByMouse);
    QPalette transcriptPalette = m_reAllMessage->palette();
    transcriptPalette.setColor(QPalette::Base, transcriptPalette.color(QPalette::Button).lighter(104));
    m_reAllMessage->setPalette(transcriptPalette);
    topLayout->addWidget(m_reAllMessage);

    m_pnBottomPanel->setObjectName(QStringLiteral("pnBottomPanel"));
    auto *bottomLayout = new QVBoxLayout(m_pnBottomPanel);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    bottomLayout->setSpacing(0);
    m_tbSendMessage->setObjectName(QStringLiteral("tbSendMessage"));
    m_tbSendMessage->setMovable(false);
    MakeToolbarReachable(m_tbSendMessage);
    MakeToolbarReachable(m_tbGroupUser);
    m_reMessage->setObjectName(QStringLiteral("reMessage"));
    m_reMessage->setAcceptRichText(false);
    m_reMessage->setAccessibleName(QStringLiteral("Message to send"));
    m_reMessage->setAccessibleDescription(QStringLiteral("Ctrl+Enter sends it"));
    // Tab leaves the fields for the next control, as everywhere else.
    m_reMessage->setTabChangesFocus(true);
    m_reAllMessage->setTabChangesFocus(true);
    bottomLayout->addWidget(m_tbSendMessage);
    bottomLayout->addWidget(m_reMessage);

    m_splitter->setObjectName(QStringLiteral("JvxSplitter1"));
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(pnTopPanel);
    m_splitter->addWidget(m_pnBottomPanel);
    m_splitter->setStretchFactor(0, 1);
    m_splitter->setStretchFactor(1, 0);
    connect(m_splitter, &QSplitter::splitterMoved, this,
            [this] { Q_EMIT inputPanelResized(inputPanelHeight()); });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_tbGroupUser);
    layout->addWidget(m_splitter);

    m_tbiClearMessage->setObjectName(QStringLiteral("tbiClearMessage"));
    m_tbiClearMessage->setData(ClearMessageTag);
    m_tbiClearMessage->setToolTip(
        Lng::Hint(QStringLiteral("actClearTextMessage"), QStringLiteral("Clear text message")));
    m_tbiCloseTalk->setObjectName(QStringLiteral("tbiCloseTalk"));
    m_tbiCloseTalk->setData(CloseTalkTag);
    m_tbiCloseTalk->setToolTip(Lng::Hint(QStringLiteral("actCloseTalk"), QStringLiteral("Close talk")));
    connect(m_tbiClearMessage, &QAction::triggered, this, &TfrConnectUser::clearRequested);
    connect(m_tbiCloseTalk, &QAction::triggered, this, &TfrConnectUser::closeRequested);
    // The talk with everybody cannot be closed.
    m_tbiCloseTalk->setVisible(m_data.kind != tkAllUsers);
    setSendCommands({});

    if (style) {
        style->TrackDocument(m_reAllMessage->document());
        m_reMessage->setCurrentCharFormat(style->charFormat(0));
    }
    m_reMessage->setFocus();
}

void TfrConnectUser::setSendCommands(const QList<QAction *> &commands)
{
    m_tbSendMessage->clear();
    for (QAction *command : commands) {
        if (command)
            m_tbSendMessage->addAction(command);
        else
            m_tbSendMessage->addSeparator();
    }
    m_tbSendMessage->addSeparator();
    m_tbSendMessage->addAction(m_tbiClearMessage);
    m_tbSendMessage->addAction(m_tbiCloseTalk);
}

void TfrConnectUser::setIconSize(int size)
{
    m_tbSendMessage->setIconSize(QSize(size, size));
    m_tbGroupUser->setIconSize(QSize(size, size));
}

int TfrConnectUser::inputPanelHeight() const
{
    return m_pnBottomPanel->height();
}

void TfrConnectUser::setInputPanelHeight(int height)
{
    const int total = qMax(m_splitter->height(), height + 100);
    m_splitter->setSizes({total - height, height});
    m_pnBottomPanel->resize(m_pnBottomPanel->width(), height);
}

bool TfrConnectUser::hasMember(int peerIndex) const
{
    return memberItem(peerIndex) != nullptr;
}

QAction *TfrConnectUser::memberItem(int peerIndex) const
{
    for (QAction *item : m_tbGroupUser->actions()) {
        if (item->data().toInt() == peerIndex)
            return item;
    }
    return nullptr;
}

void TfrConnectUser::addMember(int peerIndex, const QString &caption, const QIcon &icon, bool blocked)
{
    if (hasMember(peerIndex))
        return;
    auto *item = new QAction(icon, PeerText::menuText(caption), m_tbGroupUser);
    item->setToolTip(PeerText::toolTip(caption));
    item->setData(peerIndex);
    item->setCheckable(true);
    item->setChecked(blocked);
    auto *menu = new QMenu(m_tbGroupUser);
    // The item's peer index may change when the member comes back as a new entry.
    connect(menu, &QMenu::aboutToShow, this,
            [this, item, menu] { Q_EMIT memberMenuRequested(item->data().toInt(), menu); });
    item->setMenu(menu);
    m_tbGroupUser->addAction(item);
    if (auto *button = qobject_cast<QToolButton *>(m_tbGroupUser->widgetForAction(item)))
        button->setPopupMode(QToolButton::InstantPopup);
    refreshMemberBarVisibility();
}

void TfrConnectUser::retagMember(int oldIndex, int newIndex)
{
    for (QAction *item : m_tbGroupUser->actions()) {
        if (item->data().toInt() == oldIndex)
            item->setData(newIndex);
    }
}

void TfrConnectUser::removeMember(int peerIndex)
{
    while (QAction *item = memberItem(peerIndex)) {
        m_tbGroupUser->removeAction(item);
        delete item;
    }
    refreshMemberBarVisibility();
}

QList<int> TfrConnectUser::members() const
{
    QList<int> indexes;
    for (const QAction *item : m_tbGroupUser->actions())
        indexes.append(item->data().toInt());
    return indexes;
}

void TfrConnectUser::setMemberBlocked(int peerIndex, bool blocked)
{
    for (QAction *item : m_tbGroupUser->actions()) {
        if (item->data().toInt() == peerIndex)
            item->setChecked(blocked);
    }
}

void TfrConnectUser::refreshMemberBarVisibility()
{
    m_tbGroupUser->setVisible(!m_tbGroupUser->actions().isEmpty());
}
