#pragma once

#include <QFrame>
#include <QTreeWidget>

class QToolButton;
class QTreeWidgetItem;
class ImageList;
struct RUserID;

// Item data roles of a user node.
inline constexpr int PeerIndexRole = Qt::UserRole;
inline constexpr int CutStateRole = Qt::UserRole + 1;
inline constexpr int PictureRole = Qt::UserRole + 2;
inline constexpr int NameRole = Qt::UserRole + 3;
inline constexpr int UnreadRole = Qt::UserRole + 4;

// The tree of a contact group: user nodes can be dragged from one group's tree to another's.
class UserTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit UserTree(QWidget *parent = nullptr);

Q_SIGNALS:
    // A node of the source tree was dropped here.
    void userDropped(QTreeWidget *source);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    bool accepts(const QObject *source) const;
};

// A collapsible contact group: a caption bar over a tree of user nodes. The group's number is its Tag,
// its group ID its Hint.
class UserGroupBox : public QFrame {
    Q_OBJECT
public:
    UserGroupBox(int tag, const QString &caption, const QString &groupId, QWidget *parent = nullptr);

    int Tag() const { return m_tag; }
    QString Hint() const { return m_groupId; }
    void setHint(const QString &groupId) { m_groupId = groupId; }
    QString caption() const;
    // A blank caption is kept as one blank.
    void setCaption(const QString &caption);
    bool isCollapsed() const { return m_collapsed; }
    void setCollapsed(bool collapsed);
    void setBadListLook(bool badList);

    QTreeWidget *tree() const { return m_tree; }
    QToolButton *captionButton() const { return m_caption; }

    // Height rule: the rows' extent clamped to 50..550, plus 10.
    void layoutHeight();
    static int heightForRows(int rowsExtent);

Q_SIGNALS:
    void expanded();
    void collapsedChanged(bool collapsed);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void updateCaptionLook();
    int rowHeight() const;

    int m_tag;
    QString m_groupId;
    bool m_collapsed = false;
    bool m_focused = false;
    bool m_badList = false;
    QToolButton *m_caption;
    QTreeWidget *m_tree;
};

// A node for the peer: text = display name in the peer's colour, picture from the list, data = index.
// The list is one of the program's own (ProfileImages16/32): nodes share its icons.
QTreeWidgetItem *MakeUserNode(const RUserID &entry, int peerIndex, const ImageList &pictures);
void RefreshUserNode(QTreeWidgetItem *node, const RUserID &entry, const ImageList &pictures);
void SetNodePictures(QTreeWidgetItem *node, const ImageList &pictures);
// Messages of that user not read yet, shown after the name; 0 shows the name alone.
void SetNodeUnread(QTreeWidgetItem *node, int count);
int NodePeerIndex(const QTreeWidgetItem *node);
