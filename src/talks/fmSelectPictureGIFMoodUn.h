#pragma once

#include "WorkFormatTextRichViewEditUn.h"

#include <QWidget>

// The animation chooser. It lives for the whole run because received animations are taken from its
// catalogue. It holds no animations yet, so an animation reference in a message shows nothing.
class TfmSelectPictureGIFMood : public QWidget, public AnimationCatalogue {
    Q_OBJECT
public:
    explicit TfmSelectPictureGIFMood(QWidget *parent = nullptr);

    bool hasAnimation(int number) const override;
    QImage animationFrame(int number) const override;
};
