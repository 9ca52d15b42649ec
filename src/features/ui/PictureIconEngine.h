#pragma once

#include <QIconEngine>
#include <QList>
#include <QPixmap>
#include <QSize>
#include <QString>

// An icon made of picture files that reads each file only when a pixmap of its size is first asked
// for. Qt's own icons read every file they are given at once; a window with fifty toolbar actions
// drawn in four sizes each would decode two hundred pictures before it shows one.
class PictureIconEngine : public QIconEngine {
public:
    struct Picture {
        QString path;
        QSize pixels;      // the size it is shown at, in device pixels; a file of another size is scaled
        qreal scale = 1.0; // the device pixel ratio it was drawn for ("@2x" files: 2)
    };

    // The pictures whose files exist, in the order given (the first of equal size wins); a null icon
    // when none does. Needs a running QGuiApplication, like every icon.
    static QIcon icon(const QList<Picture> &pictures);

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override;
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    QIconEngine *clone() const override;
    bool isNull() override;
    QString key() const override;

private:
    explicit PictureIconEngine(QList<Picture> pictures);

    int bestMatch(QSize pixels, qreal scale) const;
    QPixmap decoded(int index);

    QList<Picture> m_pictures;
    QList<QPixmap> m_decoded;
    QList<bool> m_read;
};
