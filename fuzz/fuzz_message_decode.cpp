// Feeds arbitrary text to the message decoder, then encodes what it produced. The decoder reads
// strings from foreign peers, so it must survive anything.
#include "documents/AnimationLibrary.h"
#include "documents/AnimationPlayer.h"
#include "features/MoodRules.h"
#include "features/ui/ImageList.h"
#include "talks/ui/RVStyle.h"
#include "talks/ui/RichTextItems.h"
#include "talks/ui/WorkFormatTextRichViewEditUn.h"
#include "transfer/FileRecords.h"
#include "transfer/FileReferences.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The program's own animations and player, so that trimming and playing see foreign strings too.
class PlayedAnimations : public AnimationCatalogue {
public:
    PlayedAnimations()
        : m_library(load())
        , m_player(m_library)
    {}
    bool hasAnimation(int number) const override { return m_library.has(number); }
    QImage animationFrame(int number) const override { return m_library.firstFrame(number); }
    void trimAnimations() override { m_player.trimTranscripts(); }
    void animationInserted(QTextDocument *doc, int position, int number) override
    {
        m_player.adopt(doc, position, number, AnimationPlayer::Place::Transcript);
    }
    const AnimationPlayer &player() const { return m_player; }

private:
    static AnimationLibrary load()
    {
        InitPictureResources();
        return AnimationLibrary::load(QStringLiteral(":/animations"), MoodRules::AnimationCount);
    }
    AnimationLibrary m_library;
    AnimationPlayer m_player;
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
    static RVStyle style;
    static PlayedAnimations animations;
    const QString message = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    QTextDocument doc;
    doc.setTextWidth(300);
    FileRecordList records;
    DecodeContext context;
    context.cursor = QTextCursor(&doc);
    context.style = &style;
    context.pictures = &ProfileImages32();
    context.fileRecords = &records;
    context.animations = &animations;
    // As the peer does before a window shows the message: a record per reference.
    for (const RLFile &record : ScanFileReferences(message))
        context.fileRecordIndexes.append(records.append(record));
    DecodeMessageText(context, message);

    // However many a string names, a transcript keeps four animations and the one just added.
    if (animations.player().animations(&doc).size() > MoodRules::KeptTranscriptAnimations + 1)
        std::abort();
    // Paragraphs come only from line breaks of the string, never from characters inside a text.
    if (doc.blockCount() > 1 + message.count(QLatin1StringView(MessageMarker::LineBreak)))
        std::abort();
    // The peer's scan and the transcript agree on every reference.
    qsizetype icons = 0;
    for (const RichItem &item : RichItems(&doc))
        icons += item.kind == RichItemKind::File;
    if (icons != context.fileRecordIndexes.size())
        std::abort();
    volatile qsizetype sink =
        EncodeMessageText(&doc, QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}"),
                          QStringLiteral("10.0.0.1"))
            .size();
    sink = sink + TrimLineBreaks(message).size() + SplitFileInfo(message).size();
    return 0;
}
