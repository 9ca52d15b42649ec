// Feeds arbitrary text to the message decoder, then encodes what it produced. The decoder reads
// strings from foreign peers, so it must survive anything.
#include "FileRecords.h"
#include "RVStyle.h"
#include "TImageList.h"
#include "WorkFormatTextRichViewEditUn.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

class OneAnimation : public AnimationCatalogue {
public:
    bool hasAnimation(int number) const override { return number == 3; }
    QImage animationFrame(int number) const override { return ProfileImages32().image(number); }
};

QGuiApplication &application()
{
    static int argc = 1;
    static char name[] = "fuzz_message_decode";
    static char *argv[] = {name, nullptr};
    static QGuiApplication *app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Fonts without OpenType tables warn once per script; the replay would drown in it.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "%s\n", qPrintable(text));
        });
        return new QGuiApplication(argc, argv);
    }();
    return *app;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    application();
    static TRVStyle style;
    static TFileRecordList records;
    static OneAnimation animations;
    const QString message = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    QTextDocument doc;
    doc.setTextWidth(300);
    QStringList files;
    DecodeContext context;
    context.cursor = QTextCursor(&doc);
    context.style = &style;
    context.pictures = &ProfileImages32();
    context.fileRecords = &records;
    context.collectedFiles = &files;
    context.myId = QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
    context.animations = &animations;
    DecodeMessageText(context, message);

    // Paragraphs come only from line breaks of the string, never from characters inside a text.
    if (doc.blockCount() > 1 + message.count(QLatin1StringView(MessageMarker::LineBreak)))
        std::abort();
    volatile qsizetype sink = EncodeMessageText(&doc, context.myId, QStringLiteral("10.0.0.1")).size();
    sink = sink + TrimLineBreaks(message).size() + SplitFileInfo(message).size();
    return 0;
}
