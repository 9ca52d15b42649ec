// Building blocks that several pictures share: people, speech bubbles, pages, folders,
// envelopes, globes and the small round badges in the lower right corner of an icon.
// All coordinates are design units of the 32 x 32 grid (see canvas.h).
#pragma once

#include "canvas.h"

#include <initializer_list>

QPainterPath circlePath(QPointF centre, double r);
QPainterPath roundedPath(const QRectF &rect, double r);
QPainterPath heartPath(QPointF centre, double width);
QPainterPath starPath(QPointF centre, double outer, double inner, int points = 5);

// A head-and-shoulders figure: the head sits on a body with round shoulders that ends at `bottom`.
struct Person {
    double cx = 16;
    double headY = 11;
    double headR = 5;
    double bottom = 29;
    QColor shirt = pal::blue;
    QColor skin = pal::skin;
    QColor hair = QColor(); // invalid: no hair drawn
};
void person(const Canvas &c, const Person &who);
// Three people, the middle one in front.
void group(const Canvas &c, double scale = 1.0, QPointF offset = {});

// A speech bubble whose tail points down on the left or on the right.
QPainterPath bubblePath(const QRectF &body, bool tailLeft);
void bubble(const Canvas &c, const QRectF &body, const QColor &colour, bool tailLeft, bool dots);

void page(const Canvas &c, const QRectF &rect, bool lines);
void folderShape(const Canvas &c, const QRectF &rect, bool open);
void envelope(const Canvas &c, const QRectF &rect);
void globe(const Canvas &c, QPointF centre, double r);
void gear(const Canvas &c, QPointF centre, double r);
void clockFace(const Canvas &c, QPointF centre, double r);
// A pencil lying from `tip` up to the right.
void pencil(const Canvas &c, QPointF tip, double length);
void noEntry(const Canvas &c, QPointF centre, double r);
void infoSign(const Canvas &c, QPointF centre, double r, const QColor &colour);
void helpSign(const Canvas &c, QPointF centre, double r, const QColor &colour);
void idCard(const Canvas &c, const QColor &shirt);

// A tiny bitmap letter for 16 pixel pictures: each string is one row of pixels, 'X' marks a set
// pixel; `left` and `top` are in device pixels.
void pixelGlyph(const Canvas &c, std::initializer_list<const char *> rows, int left, int top,
                const QColor &colour);

// The small round signs in the lower right corner that turn a picture into a command.
enum class Badge { Plus, Cross, Check, NoEntry, Pencil, Globe, Magnifier, Group, ArrowDown, Star };
void badge(const Canvas &c, Badge kind);
