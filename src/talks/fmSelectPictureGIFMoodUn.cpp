#include "fmSelectPictureGIFMoodUn.h"

TfmSelectPictureGIFMood::TfmSelectPictureGIFMood(QWidget *parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("fmSelectPictureGIFMood"));
}

bool TfmSelectPictureGIFMood::hasAnimation(int) const
{
    return false;
}

QImage TfmSelectPictureGIFMood::animationFrame(int) const
{
    return {};
}
