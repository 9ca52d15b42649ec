#pragma once

#include <QAbstractButton>
#include <QImage>

// The picture button of the profile window: the picture (or the "choose" bitmap) and the caption
// beside it, sized by the window's rule: 2 pixels, the glyph, 4 pixels, the caption, 2 pixels. Where
// the window has less room it is narrower and the caption is cut short: a peer's alias never widens
// the window.
class PictureButton : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int GlyphSize = 32;
    static constexpr int Height = 40;
    // The narrowest it becomes when the window has no more room.
    static constexpr int Narrowest = 34;

    explicit PictureButton(QWidget *parent = nullptr);

    void setGlyph(const QImage &glyph);
    void setCaption(const QString &caption);
    QString caption() const { return m_caption; }
    QSize sizeHint() const override { return {m_width, Height}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_glyph;
    QString m_caption;
    int m_width = Narrowest;
};
