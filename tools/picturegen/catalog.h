// The lists of pictures the generator writes. Numbers and names are part of the program's
// protocol and of its resource names: never reorder them.
#pragma once

#include "canvas.h"

#include <QString>

#include <vector>

struct Picture {
    QString name; // file name without extension
    Drawing draw;
};

// Profile pictures 00..24: general pictures 00..10, user avatars 11..24.
std::vector<Picture> profilePictures();
// Mood pictures 25..49, inserted into messages.
std::vector<Picture> moodPictures();
// Toolbar icons, drawn at 32 and at 16 pixels.
std::vector<Picture> toolbarIcons();
// Page icons 0..4 of the profile window.
std::vector<Picture> pageIcons();
// The "choose a picture" placeholder of the profile window.
void drawSelectPicture(Canvas &c);
// Tray frames 0..3: 0 is the idle icon, 1..3 the blink of a new event.
void drawTrayFrame(Canvas &c, int frame);
// The program icon.
void drawProgramIcon(Canvas &c);
