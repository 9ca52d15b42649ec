#include "talks/ui/WorkFormatTextRichViewEditUn.h"

#include "features/ui/ImageList.h"
#include "talks/MessageCodec.h"
#include "talks/ui/EditorBody.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QTextDocument>

AnimationCatalogue::~AnimationCatalogue() = default;

QString TrimLineBreaks(const QString &text)
{
    return MessageCodec::TrimLineBreaks(text);
}

QString EncodeMessageText(QTextDocument *editorDocument, const QString &myId, const QString &myIp)
{
    if (!editorDocument)
        return {};
    try {
        return MessageCodec::Encode(EditorBody::FromEditor(editorDocument, myId, myIp));
    } catch (...) {
        return {};
    }
}

void DecodeMessageText(DecodeContext &context, const QString &message)
{
    RenderMessageBody(context, MessageCodec::Decode(message));
}

void RenderMessageBody(DecodeContext &context, const MessageBody &body)
{
    if (context.cursor.isNull() || !context.cursor.document() || !context.style)
        return;
    // One edit block: the layout then runs once at the end instead of after every item, which
    // would cost the whole paragraph again for each of them.
    context.cursor.beginEditBlock();
    try {
        EditorBody::Render(context, body);
    } catch (...) {
    }
    context.cursor.endEditBlock();
}

QImage FileReferenceIcon(const QString &path, bool isOwn)
{
    // The shell icon needs a widget style, which only a QApplication has.
    if (isOwn && !path.isEmpty() && qobject_cast<QApplication *>(QCoreApplication::instance()) &&
        QFileInfo::exists(path)) {
        const QFileIconProvider provider;
        const QImage icon = provider.icon(QFileInfo(path)).pixmap(32, 32).toImage();
        if (!icon.isNull())
            return icon.size() == QSize(32, 32) ? icon : icon.scaled(32, 32, Qt::KeepAspectRatio);
    }
    return ToolbarImage(QStringLiteral("file"), 32);
}
