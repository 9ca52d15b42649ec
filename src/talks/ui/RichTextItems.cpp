#include "talks/ui/RichTextItems.h"

#include "features/ui/PeerText.h"

#include "features/ui/ImageList.h"
#include "talks/ui/RVStyle.h"

#include <QAbstractTextDocumentLayout>
#include <QGuiApplication>
#include <QHash>
#include <QPixmap>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QTextLayout>
#include <QUrl>

namespace {

// The pictures a document holds already: a picture shown on every line is stored once.
class ImageResourceNames : public QObject {
public:
    static constexpr char ObjectName[] = "perixImageResourceNames";

    explicit ImageResourceNames(QTextDocument *doc)
        : QObject(doc)
    {
        setObjectName(QLatin1StringView(ObjectName));
        // Clearing a document drops its resources.
        connect(doc, &QTextDocument::contentsChange, this, [this, doc](int, int removed, int) {
            if (removed > 0 && doc->isEmpty())
                m_names.clear();
        });
    }
    QString nameOf(qint64 key) const { return m_names.value(key); }
    void add(qint64 key, const QString &name) { m_names.insert(key, name); }

private:
    QHash<qint64, QString> m_names;
};

RichItemKind imageKind(const QTextCharFormat &format)
{
    if (format.hasProperty(RichProperty::BulletIndex))
        return RichItemKind::Bullet;
    if (format.hasProperty(RichProperty::AnimationNumber))
        return RichItemKind::Animation;
    if (format.hasProperty(RichProperty::FilePath))
        return RichItemKind::File;
    return RichItemKind::Other;
}

RichItem objectItem(const QTextCharFormat &format, int blockNumber, int position)
{
    RichItem item;
    item.kind = format.isImageFormat() ? imageKind(format) : RichItemKind::Other;
    item.block = blockNumber;
    item.position = position;
    item.tag = format.intProperty(RichProperty::ItemTag);
    if (format.isImageFormat())
        item.imageName = format.toImageFormat().name();
    switch (item.kind) {
    case RichItemKind::Bullet:
        item.index = format.intProperty(RichProperty::BulletIndex);
        break;
    case RichItemKind::Animation:
        item.index = format.intProperty(RichProperty::AnimationNumber);
        break;
    case RichItemKind::File:
        item.path = format.stringProperty(RichProperty::FilePath);
        item.index = format.hasProperty(RichProperty::FileRecordIndex)
                         ? format.intProperty(RichProperty::FileRecordIndex)
                         : -1;
        break;
    default:
        break;
    }
    return item;
}

int styleOf(const QTextCharFormat &format)
{
    return format.hasProperty(RichProperty::TextStyle) ? format.intProperty(RichProperty::TextStyle) : -1;
}

// Lines of a block as laid out; asks the layout for a block it has skipped.
int blockLineCount(const QTextDocument *doc, const QTextBlock &block)
{
    const QTextLayout *layout = block.layout();
    if (!layout || !block.isVisible())
        return 0;
    if (layout->lineCount() == 0)
        doc->documentLayout()->blockBoundingRect(block);
    return layout->lineCount();
}

int lineInBlock(const QTextBlock &block, int position)
{
    const QTextLayout *layout = block.layout();
    if (!layout || layout->lineCount() == 0)
        return 0;
    const QTextLine line = layout->lineForTextPosition(position - block.position());
    return line.isValid() ? line.lineNumber() : layout->lineCount() - 1;
}

bool appendImage(QTextCursor &cursor, const QImage &image, QTextImageFormat format)
{
    QTextDocument *doc = cursor.document();
    if (!doc || image.isNull())
        return false;
    format.setName(RegisterImageResource(doc, image));
    format.setWidth(image.width() / image.devicePixelRatio());
    format.setHeight(image.height() / image.devicePixelRatio());
    cursor.insertImage(format);
    return true;
}

} // namespace

QList<RichItem> RichItems(const QTextDocument *doc, ItemLines lines)
{
    QList<RichItem> items;
    if (!doc)
        return items;
    const bool withLines = lines == ItemLines::Compute;
    if (withLines)
        EnsureLayout(doc);
    int lineBase = 0;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        const int blockNumber = block.blockNumber();
        const qsizetype firstOfBlock = items.size();
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const QTextCharFormat format = fragment.charFormat();
            if (format.objectType() != QTextFormat::NoObject) {
                // Equal images side by side share one fragment; each is an item of its own.
                for (int i = 0; i < fragment.length(); ++i)
                    items.append(objectItem(format, blockNumber, fragment.position() + i));
                continue;
            }
            const QString text = fragment.text();
            qsizetype start = 0;
            while (true) {
                const qsizetype end = text.indexOf(QChar::LineSeparator, start);
                RichItem item;
                item.kind = RichItemKind::Text;
                item.text = text.sliced(start, (end < 0 ? text.size() : end) - start);
                item.textStyle = styleOf(format);
                item.tag = format.intProperty(RichProperty::ItemTag);
                item.block = blockNumber;
                item.position = fragment.position() + int(start);
                items.append(item);
                if (end < 0)
                    break;
                start = end + 1;
            }
        }
        if (items.size() == firstOfBlock) {
            RichItem empty;
            empty.kind = RichItemKind::Text;
            empty.textStyle = styleOf(block.charFormat());
            empty.block = blockNumber;
            empty.position = block.position();
            items.append(empty);
        }
        if (withLines) {
            const int count = blockLineCount(doc, block);
            for (qsizetype i = firstOfBlock; i < items.size(); ++i)
                items[i].line = lineBase + (count > 0 ? lineInBlock(block, items[i].position) : 0);
            lineBase += count;
        }
    }
    return items;
}

void EnsureLayout(const QTextDocument *doc)
{
    if (doc && doc->documentLayout())
        doc->documentLayout()->documentSize();
}

int lineOfPosition(const QTextDocument *doc, int position)
{
    if (!doc || position < 0 || position >= doc->characterCount())
        return -1;
    EnsureLayout(doc);
    const QTextBlock target = doc->findBlock(position);
    if (!target.isValid())
        return -1;
    int lineBase = 0;
    for (QTextBlock block = doc->begin(); block.isValid() && block != target; block = block.next())
        lineBase += blockLineCount(doc, block);
    return lineBase + (blockLineCount(doc, target) > 0 ? lineInBlock(target, position) : 0);
}

QString RegisterImageResource(QTextDocument *doc, const QImage &image)
{
    // The cache key follows the image data, so repeated pictures share one resource.
    const qint64 key = image.cacheKey();
    auto *names = doc ? dynamic_cast<ImageResourceNames *>(doc->findChild<QObject *>(
                            QLatin1StringView(ImageResourceNames::ObjectName), Qt::FindDirectChildrenOnly))
                      : nullptr;
    if (doc && !names)
        names = new ImageResourceNames(doc);
    if (names) {
        if (const QString known = names->nameOf(key); !known.isEmpty())
            return known;
    }
    const QString name = QStringLiteral("perix-image:%1").arg(key);
    if (doc) {
        // As a pixmap: the layout asks for the picture at every line showing it, and would convert an
        // image each time.
        doc->addResource(QTextDocument::ImageResource, QUrl(name),
                         qGuiApp ? QVariant(QPixmap::fromImage(image)) : QVariant(image));
        names->add(key, name);
    }
    return name;
}

void AppendTextItem(QTextCursor &cursor, const QString &text, const RVStyle &style, int styleNo)
{
    if (text.isEmpty() || cursor.isNull())
        return;
    cursor.insertText(text, style.charFormat(styleNo));
}

void AppendNewParagraph(QTextCursor &cursor, const RVStyle &style, int styleNo)
{
    if (cursor.isNull())
        return;
    cursor.insertBlock(style.paragraphFormat(0), style.charFormat(styleNo));
}

bool AppendBullet(QTextCursor &cursor, const ImageList &list, int index)
{
    const QImage image = list.image(index);
    if (image.isNull())
        return false;
    QTextImageFormat format;
    format.setProperty(RichProperty::BulletIndex, index);
    return appendImage(cursor, image, format);
}

bool AppendFilePicture(QTextCursor &cursor, const QString &path, const QImage &icon, int recordIndex)
{
    QTextImageFormat format;
    format.setVerticalAlignment(QTextCharFormat::AlignBaseline);
    format.setToolTip(PeerText::toolTip(path));
    format.setProperty(RichProperty::FilePath, path);
    format.setProperty(RichProperty::FileRecordIndex, recordIndex);
    format.setProperty(RichProperty::ItemTag, recordIndex);
    return appendImage(cursor, icon, format);
}

bool AppendFileControl(QTextCursor &cursor, const QString &path, const QImage &icon)
{
    QTextImageFormat format;
    format.setVerticalAlignment(QTextCharFormat::AlignMiddle);
    format.setToolTip(PeerText::toolTip(path));
    format.setProperty(RichProperty::FilePath, path);
    format.setProperty(RichProperty::ItemTag, 0);
    return appendImage(cursor, icon, format);
}

bool AppendAnimation(QTextCursor &cursor, int number, const QImage &frame)
{
    QTextImageFormat format;
    format.setVerticalAlignment(QTextCharFormat::AlignMiddle);
    format.setProperty(RichProperty::AnimationNumber, number);
    format.setProperty(RichProperty::ItemTag, number);
    if (!frame.isNull())
        return appendImage(cursor, frame, format);
    QImage blank(32, 32, QImage::Format_ARGB32_Premultiplied);
    blank.fill(Qt::transparent);
    return appendImage(cursor, blank, format);
}
