#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>

// The numbers behind the two mood choosers: which pictures and animations they offer, where they
// open, and how many animations a message and a transcript may hold. Peers map the same indexes and
// numbers to the same images, so these tables never change order.
namespace MoodRules {

inline constexpr int PictureColumns = 6;
inline constexpr int PictureRows = 4;
// The picture indexes of the chooser's cells, row by row (25 to 49 without 34).
inline constexpr std::array<int, PictureColumns *PictureRows> PictureIndexes = {25, 26, 27, 28, 29, 30, //
                                                                                31, 35, 36, 38, 40, 41, //
                                                                                42, 43, 44, 45, 46, 47, //
                                                                                48, 49, 33, 37, 39, 32};
// The index shown in a cell of the 6x4 grid; -1 outside it.
int PictureIndexAt(int row, int column);

inline constexpr int AnimationCount = 23;
// The size of each animation, by number.
QSize AnimationSize(int number);
bool IsAnimationNumber(int number);
// The numbers of the chooser's five rows: 0-6, 7-10, 11-15, 16-18, 19-22.
QList<QList<int>> AnimationRows();

// A message being composed holds at most this many animations.
inline constexpr int MaxAnimationsPerMessage = 5;
// Before an animation joins a transcript, each transcript keeps only this many of its newest.
inline constexpr int KeptTranscriptAnimations = 4;
bool CanInsertAnimation(int animationsInMessage);
// Of animations in document order, the positions of those to delete so that the newest `keep` stay.
QList<int> AnimationsToTrim(const QList<int> &positionsInOrder, int keep = KeptTranscriptAnimations);

// The offsets of a chooser's corner from the send toolbar's top-left corner.
inline constexpr QPoint PictureOffset{64, 32};
inline constexpr QPoint AnimationOffset{96, 32};
// Where a chooser opens: at `corner` (screen coordinates), moved up by its own height when it would
// pass the desktop's bottom and left by its own width when it would pass its right edge.
QPoint PlacePopup(QPoint corner, QSize popup, QRect desktop);

// The language key and built-in text of the refusal; %s is the limit.
inline constexpr char NotInsertManyAnimationKey[] = "NotInsertManyAnimationText";
inline constexpr char NotInsertManyAnimationDefault[] =
    "In consequence of economy of resources it is not authorized to add more than %s animations in the "
    "text of the message.";

} // namespace MoodRules
