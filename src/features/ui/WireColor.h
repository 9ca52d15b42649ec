#pragma once

#include <QColor>
#include <QtGlobal>

// Colours travel as 32-bit signed numbers: 0x00BBGGRR for a plain colour, or 0x80000000 | n for
// the Windows system colour number n (for instance 0x80000008 window text, 0x80000005 window).
namespace WireColors {
inline constexpr qint32 SystemFlag = qint32(0x80000000u);
inline constexpr qint32 Window = qint32(0x80000005u);
inline constexpr qint32 WindowText = qint32(0x80000008u);
inline constexpr qint32 Highlight = qint32(0x8000000Du);
inline constexpr qint32 ButtonFace = qint32(0x8000000Fu);
inline constexpr qint32 ButtonText = qint32(0x80000012u);
} // namespace WireColors

// System colours come from the application palette; an unknown system colour is black.
QColor WireColorToQColor(qint32 wireColor);
// Always a plain colour; alpha is dropped and an invalid colour is black.
qint32 QColorToWireColor(const QColor &color);
