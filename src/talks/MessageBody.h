#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// How a run of text looked in the editor. The message string carries none of it (the receiver shows
// all text of a message in the sender's one style); it is kept for what shows or stores the body
// beside the string. Colour as 0xRRGGBB; -1 and empty names: not set.
struct TextStyle {
    int styleNo = -1; // the text style of the program's style sheet
    QString fontName;
    int size = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    qint64 colour = -1;

    bool operator==(const TextStyle &other) const = default;
};

// A file named in a message: whose it is, where that user's copy runs, its size in KB as the sender
// stated it, and its path on the sender's computer.
struct FileReference {
    QString ownerId;
    QString ownerIp;
    qint32 sizeKB = 0;
    QString path;

    bool operator==(const FileReference &other) const = default;
};

enum class BodyItemKind { Text, LineBreak, Picture, Animation, File };

// One item of a message: a run of text, a line break, a picture of the profile pictures (by index),
// an animation (by number) or a file reference.
struct BodyItem {
    BodyItemKind kind = BodyItemKind::Text;
    QString text;    // Text
    TextStyle style; // Text
    int number = 0;  // Picture: its index; Animation: its number
    FileReference file;

    bool operator==(const BodyItem &other) const = default;
};

// A message as data: what the editor made or the rules received, before and after the message string.
struct MessageBody {
    QList<BodyItem> items;

    bool isEmpty() const { return items.isEmpty(); }
    bool operator==(const MessageBody &other) const = default;

    MessageBody &addText(const QString &text, const TextStyle &style = {});
    MessageBody &addLineBreak();
    MessageBody &addPicture(int index);
    MessageBody &addAnimation(int number);
    MessageBody &addFile(const FileReference &file);
    // Plain text with its line breaks: "\r\n", "\n", "\r", U+2028 and U+2029 each start a new line, as
    // the input editor turns them into lines when text is put into it.
    MessageBody &addPlainText(const QString &text, const TextStyle &style = {});

    // The paths of the file references, in order.
    QStringList filePaths() const;
};
