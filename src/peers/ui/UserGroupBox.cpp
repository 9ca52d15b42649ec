#include "peers/ui/UserGroupBox.h"

#include "features/ui/PeerText.h"

#include "features/ui/ImageList.h"
#include "features/ui/WireColor.h"
#include "peers/PeerList.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QHeaderView>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <unordered_map>

namespace {
constexpr int MinRowsExtent = 50;
constexpr int MaxRowsExtent = 550;
constexpr int HeightMargin = 10;
} // namespace

UserTree::UserTree(QWidget *parent)
    : QTreeWidget(parent)
{
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
}

bool UserTree::accepts(const QObject *source) const
{
    // Never from the tree itself, and only with a node to move.
    const auto *tree = qobject_cast<const UserTree *>(source);
    return tree && tree != this && tree->currentItem();
}

void UserTree::dragEnterEvent(QDragEnterEvent *event)
{
    if (accepts(event->source()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void UserTree::dragMoveEvent(QDragMoveEvent *event)
{
    if (accepts(event->source()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void UserTree::dropEvent(QDropEvent *event)
{
    auto *source = qobject_cast<UserTree *>(event->source());
    if (!accepts(source)) {
        event->ignore();
        return;
    }
    // The move is ours: the source node is copied and removed by the group logic.
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
    Q_EMIT userDropped(source);
}

UserGroupBox::UserGroupBox(int tag, const QString &caption, const QString &groupId, QWidget *parent)
    : QFrame(parent)
    , m_tag(tag)
    , m_groupId(groupId)
    , m_caption(new QToolButton(this))
    , m_tree(new UserTree(this))
{
    setFrameShape(QFrame::StyledPanel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);

    m_caption->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_caption->setArrowType(Qt::DownArrow);
    m_caption->setAutoRaise(true);
    m_caption->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_caption->setFixedHeight(18);
    m_caption->setFocusPolicy(Qt::StrongFocus);
    connect(m_caption, &QToolButton::clicked, this, [this] { setCollapsed(!m_collapsed); });
    layout->addWidget(m_caption);

    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(false);
    m_tree->setItemsExpandable(false);
    m_tree->setFrameShape(QFrame::NoFrame);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setUniformRowHeights(true);
    m_tree->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_tree->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_tree->setStyleSheet(QStringLiteral("QTreeWidget::item { padding: 1px; }"
                                         "QTreeWidget::item:selected { border: 1px solid palette(highlight); "
                                         "background: palette(alternate-base);"
                                         " color: palette(text); }"));
    layout->addWidget(m_tree);

    m_caption->installEventFilter(this);
    m_tree->installEventFilter(this);
    setCaption(caption);
    updateCaptionLook();
    layoutHeight();
}

QString UserGroupBox::caption() const
{
    return m_caption->text();
}

void UserGroupBox::setCaption(const QString &caption)
{
    m_caption->setText(caption.trimmed().isEmpty() ? QStringLiteral(" ") : caption);
    // A screen reader names the group's list after the group.
    m_tree->setAccessibleName(caption.trimmed().isEmpty() ? QStringLiteral("Group") : caption);
    m_caption->setAccessibleDescription(QStringLiteral("Contact group; Space opens or closes it"));
}

void UserGroupBox::setCollapsed(bool collapsed)
{
    if (m_collapsed == collapsed)
        return;
    m_collapsed = collapsed;
    m_tree->setVisible(!collapsed);
    m_caption->setArrowType(collapsed ? Qt::RightArrow : Qt::DownArrow);
    layoutHeight();
    Q_EMIT collapsedChanged(collapsed);
    if (!collapsed)
        Q_EMIT expanded();
}

void UserGroupBox::setBadListLook(bool badList)
{
    m_badList = badList;
    updateCaptionLook();
}

int UserGroupBox::heightForRows(int rowsExtent)
{
    return qBound(MinRowsExtent, rowsExtent, MaxRowsExtent) + HeightMargin;
}

void UserGroupBox::layoutHeight()
{
    if (m_collapsed) {
        setFixedHeight(m_caption->height() + 2 * frameWidth() + 2);
        return;
    }
    // Rows are all alike, so the extent follows from the count: the bottom of the last row plus one
    // more row of room. Asking the view for item rectangles would lay out every row each time.
    const int rows = m_tree->topLevelItemCount();
    const int extent = rows > 0 ? (rows + 1) * rowHeight() : 0;
    setFixedHeight(heightForRows(extent));
}

int UserGroupBox::rowHeight() const
{
    if (m_tree->topLevelItemCount() > 0) {
        const int hinted = m_tree->sizeHintForRow(0);
        if (hinted > 0)
            return hinted;
    }
    return qMax(m_tree->iconSize().height(), m_tree->fontMetrics().height()) + 4;
}

bool UserGroupBox::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        m_focused = m_caption->hasFocus() || m_tree->hasFocus();
        updateCaptionLook();
    }
    return QFrame::eventFilter(watched, event);
}

void UserGroupBox::updateCaptionLook()
{
    // Drawn from the palette, so that a dark desktop theme gets dark headers with light text; the bad
    // list is the same bar tinted red.
    const QPalette colours = palette();
    QColor base = colours.color(QPalette::Button);
    QColor text = colours.color(QPalette::ButtonText);
    if (m_focused) {
        base = colours.color(QPalette::Highlight);
        text = colours.color(QPalette::HighlightedText);
    } else if (m_badList) {
        const QColor red(200, 40, 30);
        constexpr double tint = 0.3;
        base = QColor::fromRgbF(base.redF() * (1 - tint) + red.redF() * tint,
                                base.greenF() * (1 - tint) + red.greenF() * tint,
                                base.blueF() * (1 - tint) + red.blueF() * tint);
    }
    const bool dark = base.lightnessF() < 0.5;
    const QColor top = dark ? base.lighter(125) : base.lighter(108);
    const QColor bottom = dark ? base : base.darker(112);
    m_caption->setStyleSheet(QStringLiteral("QToolButton { border: none; font-weight: bold; color: %1;"
                                            " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %2,"
                                            " stop:1 %3); text-align: left; padding-left: 2px; }")
                                 .arg(text.name(), top.name(), bottom.name()));
}

void UserGroupBox::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        updateCaptionLook();
}

QTreeWidgetItem *MakeUserNode(const RUserID &entry, int peerIndex, const ImageList &pictures)
{
    auto *node = new QTreeWidgetItem;
    node->setData(0, PeerIndexRole, peerIndex);
    node->setData(0, CutStateRole, entry.Blocked != 0);
    RefreshUserNode(node, entry, pictures);
    return node;
}

void RefreshUserNode(QTreeWidgetItem *node, const RUserID &entry, const ImageList &pictures)
{
    node->setData(0, NameRole, PeerText::name(DisplayName(entry)));
    SetNodeUnread(node, node->data(0, UnreadRole).toInt());
    node->setForeground(0, WireColorToQColor(entry.Color));
    node->setData(0, PictureRole, entry.PictureIndex);
    SetNodePictures(node, pictures);
}

namespace {
// The node picture for each list, index and state: nodes of the same picture share one icon, so that a
// crowd of users costs neither a pixmap conversion nor a copy of the pixels per node.
QIcon nodeIcon(const ImageList &pictures, int picture, bool cut)
{
    struct Key {
        const ImageList *list;
        int picture;
        bool cut;
        bool dense;
        bool operator==(const Key &) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key &k) const
        {
            return qHashMulti(0, quintptr(k.list), k.picture, k.cut, k.dense);
        }
    };
    static std::unordered_map<Key, QIcon, KeyHash> icons;
    if (picture < 0 || picture >= pictures.count())
        return QIcon();
    const Key key{&pictures, picture, cut, HighDensityScreens()};
    if (const auto found = icons.find(key); found != icons.end())
        return found->second;
    const QPixmap pixmap = pictures.pixmap(picture);
    if (pixmap.isNull())
        return QIcon();
    // A blocked user's picture is drawn dimmed.
    QIcon icon;
    if (cut) {
        icon = QIcon(QIcon(pixmap).pixmap(pixmap.size(), QIcon::Disabled));
    } else {
        icon.addPixmap(pixmap, QIcon::Normal);
        icon.addPixmap(pixmap, QIcon::Selected);
    }
    // Bounded by the lists' pictures: two states and two densities of each.
    icons.emplace(key, icon);
    return icon;
}
} // namespace

void SetNodePictures(QTreeWidgetItem *node, const ImageList &pictures)
{
    const int picture = node->data(0, PictureRole).toInt();
    const bool cut = node->data(0, CutStateRole).toBool();
    node->setIcon(0, nodeIcon(pictures, picture, cut));
}

void SetNodeUnread(QTreeWidgetItem *node, int count)
{
    if (!node)
        return;
    node->setData(0, UnreadRole, qMax(0, count));
    const QString name = node->data(0, NameRole).toString();
    node->setText(0, count > 0 ? name + QStringLiteral(" (%1)").arg(count) : name);
}

int NodePeerIndex(const QTreeWidgetItem *node)
{
    return node ? node->data(0, PeerIndexRole).toInt() : 0;
}
