#pragma once

// The markers of a message string. They are case-sensitive, and text is not escaped: a marker
// typed as text becomes the item at the receiver.
namespace MessageMarker {
inline constexpr char LineBreak[] = "\n\r";
inline constexpr char BulletOpen[] = "{[!BULLET!]}";
inline constexpr char BulletClose[] = "{[/!BULLET!]}";
inline constexpr char ControlOpen[] = "{[!CONTROL!]}";
inline constexpr char ControlClose[] = "{[/!CONTROL!]}";
inline constexpr char ControlFileOpen[] = "{[!CONTROLFILE!]}";
inline constexpr char ControlFileClose[] = "{[!/CONTROLFILE!]}";
} // namespace MessageMarker

// Between the fields of a file reference: owner ID, owner IP, size, path.
inline constexpr char FileInfoSeparator[] = "<[FILEINFOSEPARATOR]>";
