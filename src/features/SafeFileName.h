#pragma once

#include <QString>

// File names built from texts that a peer chose (aliases, group names, offered file names).
namespace SafeFileName {

// The longest name part, in characters, that SafeName keeps.
inline constexpr int MaxLength = 120;

// A name that every common file system can hold: characters that Linux, Windows or macOS refuse
// (path separators, ":*?\"<>|", control and direction-control characters) become "_", leading dots
// and trailing blanks and dots go, device names such as "CON" get a "_" in front, the length is
// bounded, and an empty result becomes "_". It is never "." or ".." and holds no path separator.
QString SafeName(const QString &text, int maxLength = MaxLength);

// True when path, once made absolute and cleaned, lies inside folder (not the folder itself).
bool IsInside(const QString &folder, const QString &path);

} // namespace SafeFileName
