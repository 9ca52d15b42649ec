#include "talks/MessageBody.h"

MessageBody &MessageBody::addText(const QString &text, const TextStyle &style)
{
    BodyItem item;
    item.text = text;
    item.style = style;
    items.append(item);
    return *this;
}

MessageBody &MessageBody::addLineBreak()
{
    items.append(BodyItem{BodyItemKind::LineBreak, {}, {}, 0, {}});
    return *this;
}

MessageBody &MessageBody::addPicture(int index)
{
    items.append(BodyItem{BodyItemKind::Picture, {}, {}, index, {}});
    return *this;
}

MessageBody &MessageBody::addAnimation(int number)
{
    items.append(BodyItem{BodyItemKind::Animation, {}, {}, number, {}});
    return *this;
}

MessageBody &MessageBody::addFile(const FileReference &file)
{
    items.append(BodyItem{BodyItemKind::File, {}, {}, 0, file});
    return *this;
}

MessageBody &MessageBody::addPlainText(const QString &text, const TextStyle &style)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        // The editor takes "\r\n" as one break, a frame's begin and end characters as breaks too.
        const bool lineEnd =
            c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1;
        if (!lineEnd)
            continue;
        addText(text.sliced(start, i - start), style);
        addLineBreak();
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    return addText(text.sliced(start), style);
}

QStringList MessageBody::filePaths() const
{
    QStringList paths;
    for (const BodyItem &item : items) {
        if (item.kind == BodyItemKind::File)
            paths.append(item.file.path);
    }
    return paths;
}
