#include "peers/ui/PictureButton.h"

#include "peers/UserProfile.h"

#include <QPainter>
#include <QStyleOption>

PictureButton::PictureButton(QWidget *parent)
    : QAbstractButton(parent)
{
    setFixedHeight(Height);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    setMinimumWidth(Narrowest);
    setFocusPolicy(Qt::StrongFocus);
}

void PictureButton::setGlyph(const QImage &glyph)
{
    m_glyph = glyph;
    update();
}

void PictureButton::setCaption(const QString &caption)
{
    m_caption = caption;
    setText(QString(caption).replace(u'&', QStringLiteral("&&")));
    m_width = PictureButtonWidth(fontMetrics().horizontalAdvance(caption), GlyphSize);
    setMaximumWidth(m_width);
    resize(m_width, height());
    updateGeometry();
    update();
}

void PictureButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    QStyleOptionButton option;
    option.initFrom(this);
    option.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
    style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &p, this);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(3, 3, -3, -3);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
    const int shift = isDown() ? 1 : 0;
    const QRect glyph(2 + shift, (height() - GlyphSize) / 2 + shift, GlyphSize, GlyphSize);
    if (!m_glyph.isNull())
        p.drawImage(glyph, m_glyph);
    p.setPen(palette().color(QPalette::ButtonText));
    const QRect text(glyph.right() + 5, shift, width() - glyph.right() - 7, height());
    p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
               fontMetrics().elidedText(m_caption, Qt::ElideRight, text.width()));
}
