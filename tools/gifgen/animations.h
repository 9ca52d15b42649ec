// The 23 animations, numbered as they travel in messages: never reorder them.
#pragma once

#include "canvas.h"

#include <QSize>
#include <QString>

#include <functional>
#include <vector>

struct Animation {
    QString name;
    QSize size;
    std::vector<int> delaysCs; // one per frame
    std::function<void(const Canvas &, int frame)> draw;
};

std::vector<Animation> animations();
