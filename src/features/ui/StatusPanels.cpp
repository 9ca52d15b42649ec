#include "features/ui/StatusPanels.h"

#include "features/ui/PeerText.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>

#include <algorithm>
#include <array>

namespace {

constexpr std::array<int, StatusPanels::PanelCount> InitialWidths{18, 50, 50, 50, 50, 50};
constexpr int TextPadding = 8;
constexpr int MinimumPanelWidth = 30;
constexpr int MaximumPanelWidth = 200;
constexpr int UserImageOffset = 4;
// Seven blanks keep the notice text clear of the picture laid over the panel's start.
constexpr QLatin1String NoticeIndent("       ");

QLabel *makePicture(QWidget *parent, const QString &name)
{
    auto *picture = new QLabel(parent);
    picture->setObjectName(name);
    picture->setFixedSize(StatusPanels::PictureSize, StatusPanels::PictureSize);
    picture->setScaledContents(true);
    return picture;
}

} // namespace

StatusPanels::StatusPanels(QWidget *parent)
    : QStatusBar(parent)
    , m_strip(new QWidget(this))
{
    setObjectName(QStringLiteral("JvStatusBar"));

    // The panels sit edge to edge in a strip of their own, so that a panel's left edge is exactly the
    // sum of the widths before it. The strip is permanent, so that status tips do not hide it.
    m_strip->setObjectName(QStringLiteral("StatusPanels"));
    m_strip->setMinimumHeight(PictureSize + 4);
    auto *row = new QHBoxLayout(m_strip);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (int i = 0; i < PanelCount; ++i) {
        auto *panel = new QLabel(m_strip);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        panel->setIndent(3);
        panel->setTextFormat(Qt::PlainText);
        panel->setFixedWidth(InitialWidths[std::size_t(i)]);
        row->addWidget(panel);
        m_panels.append(panel);
    }
    row->addStretch(1);
    addPermanentWidget(m_strip, 1);

    auto *pictureRow = new QHBoxLayout(m_panels.first());
    pictureRow->setContentsMargins(0, 0, 0, 0);
    m_myImage = makePicture(m_panels.first(), QStringLiteral("MyImage"));
    pictureRow->addWidget(m_myImage, 0, Qt::AlignCenter);

    // Laid over the last panel rather than inside it, at the place the panels' widths give.
    m_userImage = makePicture(m_strip, QStringLiteral("imUserImage"));
    m_userImage->setCursor(Qt::PointingHandCursor);
    m_userImage->hide();

    m_strip->installEventFilter(this);
    m_myImage->installEventFilter(this);
    m_userImage->installEventFilter(this);
    placeUserImage();
}

int StatusPanels::PanelWidthForText(int textWidthPx)
{
    return std::clamp(textWidthPx + TextPadding, MinimumPanelWidth, MaximumPanelWidth);
}

void StatusPanels::SetStatusPanel(int index, const QString &text)
{
    if (index < 0 || index >= PanelCount)
        return;
    QLabel *panel = m_panels.at(index);
    panel->setText(text);
    panel->setFixedWidth(PanelWidthForText(panel->fontMetrics().horizontalAdvance(text)));
    placeUserImage();
}

QString StatusPanels::panelText(int index) const
{
    if (index < 0 || index >= PanelCount)
        return {};
    return m_panels.at(index)->text();
}

int StatusPanels::panelWidth(int index) const
{
    if (index < 0 || index >= PanelCount)
        return 0;
    return m_panels.at(index)->minimumWidth();
}

void StatusPanels::SetMyImage(const QPixmap &picture)
{
    if (picture.isNull())
        m_myImage->clear();
    else
        m_myImage->setPixmap(picture);
}

void StatusPanels::ClearMyImage()
{
    m_myImage->clear();
}

void StatusPanels::ShowIdentity(const QPixmap &picture16, const QString &alias, const QString &ip)
{
    SetMyImage(picture16);
    SetStatusPanel(1, alias);
    SetStatusPanel(2, QStringLiteral(" IP: ") + ip + QStringLiteral(" "));
}

void StatusPanels::ShowNotice(const QString &message, const QPixmap &picture, const QString &tooltip,
                              int sheet)
{
    SetStatusPanel(NoticePanel, NoticeIndent + message);
    if (picture.isNull())
        m_userImage->clear();
    else
        m_userImage->setPixmap(picture);
    m_noticeSheet = sheet;
    PeerText::setToolTip(m_userImage, tooltip);
    m_userImage->show();
    m_userImage->raise();
}

void StatusPanels::ClearNotice()
{
    m_userImage->hide();
    m_noticeSheet = -1;
    SetStatusPanel(NoticePanel, QString());
}

bool StatusPanels::isNoticeShown() const
{
    return !m_userImage->isHidden();
}

int StatusPanels::userImageLeft() const
{
    int left = 0;
    for (int i = 0; i < PanelCount - 1; ++i)
        left += panelWidth(i);
    return left + UserImageOffset;
}

void StatusPanels::placeUserImage()
{
    m_userImage->move(userImageLeft(), std::max(0, (m_strip->height() - PictureSize) / 2));
}

bool StatusPanels::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_strip && event->type() == QEvent::Resize) {
        placeUserImage();
    } else if (watched == m_myImage && event->type() == QEvent::MouseButtonDblClick) {
        Q_EMIT myImageDoubleClicked();
        return true;
    } else if (watched == m_userImage && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && m_userImage->rect().contains(mouse->position().toPoint()) &&
            m_noticeSheet != -1)
            Q_EMIT noticeClicked(m_noticeSheet);
        return true;
    }
    return QStatusBar::eventFilter(watched, event);
}

void StatusPanels::resizeEvent(QResizeEvent *event)
{
    QStatusBar::resizeEvent(event);
    placeUserImage();
}
