#pragma once

#include <QImage>
#include <QList>
#include <QString>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextFormat>

class QTextDocument;
class ImageList;
class RVStyle;

// What the transcript and the editors keep on their formats to know their items again.
namespace RichProperty {
inline constexpr int TextStyle = QTextFormat::UserProperty + 1;
inline constexpr int BulletIndex = QTextFormat::UserProperty + 2;
inline constexpr int AnimationNumber = QTextFormat::UserProperty + 3;
inline constexpr int FilePath = QTextFormat::UserProperty + 4;
inline constexpr int FileRecordIndex = QTextFormat::UserProperty + 5;
inline constexpr int ItemTag = QTextFormat::UserProperty + 6;
inline constexpr int ParagraphStyle = QTextFormat::UserProperty + 7;
} // namespace RichProperty

enum class RichItemKind { Text, Bullet, Animation, File, Other };

struct RichItem {
    RichItemKind kind = RichItemKind::Other;
    QString text;       // text items
    int textStyle = -1; // text items; -1 when the text carries no style number
    int tag = 0;
    int index = -1;    // bullet: picture index; animation: its number; file: record index (-1 in an editor)
    QString path;      // file items
    QString imageName; // inline images: the name of the document resource that holds the picture
    int block = 0;
    int position = 0;
    int line = -1; // laid-out line on which the item starts, when asked for
};

enum class ItemLines { Skip, Compute };

// The items in document order: text per fragment, each inline image alone, and one empty text
// item for an empty paragraph. A manual line break (U+2028, Shift+Enter) ends a text item: what
// follows it is a new item starting on the next line.
QList<RichItem> RichItems(const QTextDocument *doc, ItemLines lines = ItemLines::Skip);

// Lays out whatever the document has not laid out yet, so that line numbers can be read.
void EnsureLayout(const QTextDocument *doc);
// The laid-out line (0-based over the whole document, wrapped lines included) on which the
// position starts; -1 for a null document or a position outside it.
int lineOfPosition(const QTextDocument *doc, int position);

// Stores the image in the document under a name of its own. Names given by peers (paths) are never
// used as resource names: an unknown name would make the document read that file from disk.
QString RegisterImageResource(QTextDocument *doc, const QImage &image);

// Appends text in a text style to the current paragraph; empty text adds nothing.
void AppendTextItem(QTextCursor &cursor, const QString &text, const RVStyle &style, int styleNo);
// Starts a new paragraph in paragraph style 0 whose (empty) text is in the given text style.
void AppendNewParagraph(QTextCursor &cursor, const RVStyle &style, int styleNo);
// A picture of the list in the current paragraph; false, and nothing added, when the index is out of range.
bool AppendBullet(QTextCursor &cursor, const ImageList &list, int index);
// A received file: its icon, named by the path (the tooltip), baseline aligned, tagged with its record.
bool AppendFilePicture(QTextCursor &cursor, const QString &path, const QImage &icon, int recordIndex);
// A file placed in an input editor: vertically centred, tag 0, no record.
bool AppendFileControl(QTextCursor &cursor, const QString &path, const QImage &icon);
// Stands for the animation with that number, vertically centred, tagged with the number; a null
// frame leaves a blank 32x32 place.
bool AppendAnimation(QTextCursor &cursor, int number, const QImage &frame);
