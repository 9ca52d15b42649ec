#include "talks/ui/fmSelectPictureMoodUn.h"

#include "features/MoodRules.h"
#include "features/ui/ImageList.h"
#include "talks/ui/MoodPopup.h"
#include "talks/ui/RichTextItems.h"

#include <QAction>
#include <QCloseEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QTextEdit>

ImageSquare::ImageSquare(int pictureIndex, QWidget *parent)
    : QWidget(parent)
    , m_index(pictureIndex)
{
    setAttribute(Qt::WA_Hover);
}

QSize ImageSquare::sizeHint() const
{
    return {38, 38};
}

void ImageSquare::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), m_hover ? MoodPopup::HoverColour : palette().color(QPalette::Button));
    if (m_hover) {
        p.setPen(MoodPopup::HoverColour.darker(140));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    const QImage picture = ProfileImages32().image(m_index);
    if (!picture.isNull())
        p.drawImage(QRect(QPoint(0, 0), picture.size()).translated(rect().center() - QPoint(15, 15)),
                    picture);
}

void ImageSquare::enterEvent(QEnterEvent *)
{
    m_hover = true;
    update();
}

void ImageSquare::leaveEvent(QEvent *)
{
    m_hover = false;
    update();
}

void ImageSquare::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}

void ImageSquare::mouseReleaseEvent(QMouseEvent *event)
{
    if (rect().contains(event->position().toPoint()))
        Q_EMIT clicked(m_index);
}

TfmSelectPictureMood::TfmSelectPictureMood(QAction *opener, QTextEdit *target, QWidget *parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint)
    , m_opener(opener)
    , m_target(target)
{
    setObjectName(QStringLiteral("fmSelectPictureMood"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(3, 3, 3, 3);
    grid->setSpacing(1);
    for (int row = 0; row < MoodRules::PictureRows; ++row) {
        for (int column = 0; column < MoodRules::PictureColumns; ++column) {
            auto *cell = new ImageSquare(MoodRules::PictureIndexAt(row, column), this);
            cell->setObjectName(QStringLiteral("JvImageSquare%1").arg(m_cells.size() + 1));
            connect(cell, &ImageSquare::clicked, this, &TfmSelectPictureMood::ChoosePicture);
            grid->addWidget(cell, row, column);
            m_cells.append(cell);
        }
    }
    if (m_opener)
        m_opener->setChecked(true);
}

TfmSelectPictureMood::~TfmSelectPictureMood()
{
    if (m_opener)
        m_opener->setChecked(false);
}

void TfmSelectPictureMood::ChoosePicture(int pictureIndex)
{
    if (m_opener && m_target)
        AppendPictureToEditor(m_target, pictureIndex);
    close();
}

void TfmSelectPictureMood::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        close();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void TfmSelectPictureMood::mousePressEvent(QMouseEvent *event)
{
    // Outside the popup Qt closes it by itself; on the background between the cells we do.
    event->accept();
    close();
}

void TfmSelectPictureMood::closeEvent(QCloseEvent *event)
{
    if (m_opener)
        m_opener->setChecked(false);
    QWidget::closeEvent(event);
}

bool AppendPictureToEditor(QTextEdit *editor, int pictureIndex)
{
    if (!editor || pictureIndex < 0)
        return false;
    QTextCursor cursor(editor->document());
    cursor.movePosition(QTextCursor::End);
    return AppendBullet(cursor, ProfileImages32(), pictureIndex);
}
