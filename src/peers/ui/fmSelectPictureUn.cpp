#include "peers/ui/fmSelectPictureUn.h"

#include "features/ui/ImageList.h"
#include "peers/SelectPictureLayout.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>

TfmSelectPicture::TfmSelectPicture(int currentPicture, QWidget *parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint)
    , m_current(currentPicture)
{
    setObjectName(QStringLiteral("fmSelectPicture"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(SelectPicture::Width, SelectPicture::Height);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
}

TfmSelectPicture *TfmSelectPicture::Open(QAbstractButton *button, int currentPicture)
{
    if (!button)
        return nullptr;
    const QPointer<QAbstractButton> guard(button);
    try {
        auto *chooser = new TfmSelectPicture(currentPicture, button->window());
        const QPoint centre = button->mapToGlobal(button->rect().center());
        const QScreen *screen = QGuiApplication::screenAt(centre);
        if (!screen)
            screen = button->screen();
        const QRect desktop = screen ? screen->availableGeometry() : QRect();
        chooser->move(desktop.isValid() ? SelectPicture::Position(centre, chooser->size(), desktop) : centre);
        button->setDown(true);
        connect(chooser, &TfmSelectPicture::closed, button, [guard] {
            if (guard)
                guard->setDown(false);
        });
        chooser->show();
        chooser->activateWindow();
        chooser->setFocus(Qt::PopupFocusReason);
        return chooser;
    } catch (...) {
        if (guard)
            guard->setDown(false);
        return nullptr;
    }
}

void TfmSelectPicture::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QPalette pal = palette();
    p.fillRect(rect(), pal.color(QPalette::Window));
    p.setPen(pal.color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    for (int i = 0; i < SelectPicture::SquareCount; ++i) {
        const QRect square = SelectPicture::SquareRect(i);
        const int picture = SelectPicture::PictureOfSquare(i);
        const bool chosen = picture == m_current;
        const bool hovered = i == m_hovered;
        if (chosen || hovered) {
            QColor fill = pal.color(QPalette::Highlight);
            fill.setAlpha(hovered ? 70 : 40);
            p.setPen(pal.color(QPalette::Highlight));
            p.setBrush(fill);
            p.drawRoundedRect(QRectF(square).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
        }
        const QImage image = picture < 0 ? SelectPictureImage() : ProfileImages32().image(picture);
        const QRect target(square.x() + (square.width() - 32) / 2, square.y() + (square.height() - 32) / 2,
                           32, 32);
        if (!image.isNull())
            p.drawImage(target, image);
    }
}

void TfmSelectPicture::mousePressEvent(QMouseEvent *event)
{
    const int square = SelectPicture::SquareAt(event->position().toPoint());
    if (!rect().contains(event->position().toPoint()) || square < 0) {
        close();
        return;
    }
    m_pressed = square;
}

void TfmSelectPicture::mouseReleaseEvent(QMouseEvent *event)
{
    // The release of the press that opened the chooser lands here too; only a press made inside
    // the chooser can choose.
    const int square = SelectPicture::SquareAt(event->position().toPoint());
    if (m_pressed < 0 || square != m_pressed) {
        m_pressed = -1;
        return;
    }
    m_pressed = -1;
    m_current = SelectPicture::PictureOfSquare(square);
    const QPointer<TfmSelectPicture> self(this);
    Q_EMIT pictureChosen(m_current);
    if (self)
        close();
}

void TfmSelectPicture::mouseMoveEvent(QMouseEvent *event)
{
    const int square = SelectPicture::SquareAt(event->position().toPoint());
    if (square != m_hovered) {
        m_hovered = square;
        update();
    }
}

void TfmSelectPicture::leaveEvent(QEvent *)
{
    m_hovered = -1;
    update();
}

void TfmSelectPicture::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        close();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void TfmSelectPicture::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    if (event->reason() != Qt::PopupFocusReason)
        close();
}

void TfmSelectPicture::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && isVisible())
        close();
}

void TfmSelectPicture::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (m_closing)
        return;
    m_closing = true;
    Q_EMIT closed();
}
