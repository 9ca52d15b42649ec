// Message codec cost: encode and decode a 4,000-character message with 10 pictures, laid out in an
// editor 400 px wide. Run by hand; prints the time per message.
#include "BenchFolder.h"
#include "features/ui/ImageList.h"
#include "talks/ui/RVStyle.h"
#include "talks/ui/RichTextItems.h"
#include "talks/ui/WorkFormatTextRichViewEditUn.h"
#include "transfer/FileRecords.h"
#include "transfer/FileReferences.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextDocument>

#include <cstdio>
#include <functional>

namespace {

const QString MyId = QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
const QString MyIp = QStringLiteral("192.168.100.117");

volatile qsizetype g_sink = 0;

// Repeats the work until about a second has passed (at most the given count); microseconds per run.
double microsecondsPer(int maxRuns, const std::function<void()> &work)
{
    work(); // warm up caches and fonts
    QElapsedTimer timer;
    timer.start();
    int runs = 0;
    while (runs < maxRuns && timer.elapsed() < 1000) {
        work();
        ++runs;
    }
    return double(timer.nsecsElapsed()) / 1e3 / runs;
}

void buildMessage(QTextDocument &doc, const RVStyle &style)
{
    static const char *const words[] = {"meeting", "at",     "three", "o'clock", "in",      "the",
                                        "small",   "room",   "next",  "to",      "kitchen", "please",
                                        "bring",   "slides", "and",   "coffee"};
    QTextCursor cursor(&doc);
    int length = 0;
    int pictures = 0;
    int word = 0;
    while (length < 4000) {
        QString sentence;
        for (int i = 0; i < 9; ++i)
            sentence += QLatin1StringView(words[word++ % 16]) + u' ';
        AppendTextItem(cursor, sentence, style, 0);
        length += int(sentence.size());
        if (pictures < 10 && length >= (pictures + 1) * 380) {
            AppendBullet(cursor, ProfileImages32(), pictures * 4);
            ++pictures;
            ++length;
        }
        if (word % 72 == 0) {
            AppendNewParagraph(cursor, style, 0);
            ++length;
        }
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const BenchFolder folder;
    QApplication app(argc, argv);
    RVStyle style;

    QTextDocument editor;
    editor.setTextWidth(400);
    buildMessage(editor, style);
    const QString message = EncodeMessageText(&editor, MyId, MyIp);
    int pictures = 0;
    for (const RichItem &item : RichItems(&editor))
        pictures += item.kind == RichItemKind::Bullet ? 1 : 0;
    std::printf("message: %lld characters in the editor, %d pictures, %d paragraphs, %d laid-out lines, "
                "%lld characters encoded\n",
                static_cast<long long>(editor.characterCount() - 1), pictures, editor.blockCount(),
                lineOfPosition(&editor, editor.characterCount() - 1) + 1,
                static_cast<long long>(message.size()));

    const double encode =
        microsecondsPer(20000, [&] { g_sink = g_sink + EncodeMessageText(&editor, MyId, MyIp).size(); });
    const double encodeRelayout = microsecondsPer(2000, [&] {
        editor.markContentsDirty(0, editor.characterCount());
        g_sink = g_sink + EncodeMessageText(&editor, MyId, MyIp).size();
    });

    FileRecordList records;
    auto decodeInto = [&](QTextDocument &doc) {
        DecodeContext context;
        context.cursor = QTextCursor(&doc);
        context.style = &style;
        context.pictures = &ProfileImages32();
        context.fileRecords = &records;
        for (const RLFile &record : ScanFileReferences(message))
            context.fileRecordIndexes.append(records.append(record));
        DecodeMessageText(context, message);
    };
    const double decode = microsecondsPer(5000, [&] {
        QTextDocument transcript;
        decodeInto(transcript);
        g_sink = g_sink + transcript.characterCount();
    });
    const double decodeLayout = microsecondsPer(2000, [&] {
        QTextDocument transcript;
        transcript.setTextWidth(400);
        decodeInto(transcript);
        EnsureLayout(&transcript);
        g_sink = g_sink + transcript.characterCount();
    });

    // Unclosed markers must not make the decoder search the rest of the string again and again.
    const QString hostile =
        (QStringLiteral("{[!BULLET!]}") + QStringLiteral("{[!CONTROL!]}x")).repeated(20000);
    const double decodeHostile = microsecondsPer(20, [&] {
        QTextDocument transcript;
        DecodeContext context;
        context.cursor = QTextCursor(&transcript);
        context.style = &style;
        context.pictures = &ProfileImages32();
        DecodeMessageText(context, hostile);
        g_sink = g_sink + transcript.characterCount();
    });

    // Floors: Qt's own plain-text pass over the same editor, and the same text inserted as plain text.
    const QString plain = editor.toPlainText();
    const double encodeFloor = microsecondsPer(20000, [&] { g_sink = g_sink + editor.toPlainText().size(); });
    const double encodeRelayoutFloor = microsecondsPer(2000, [&] {
        editor.markContentsDirty(0, editor.characterCount());
        EnsureLayout(&editor);
        g_sink = g_sink + editor.toPlainText().size();
    });
    const double decodeFloor = microsecondsPer(5000, [&] {
        QTextDocument transcript;
        QTextCursor(&transcript).insertText(plain);
        g_sink = g_sink + transcript.characterCount();
    });
    const double decodeLayoutFloor = microsecondsPer(2000, [&] {
        QTextDocument transcript;
        transcript.setTextWidth(400);
        QTextCursor(&transcript).insertText(plain);
        EnsureLayout(&transcript);
        g_sink = g_sink + transcript.characterCount();
    });
    const auto line = [](const char *what, double value, double floor, const char *floorName) {
        std::printf("%-34s %8.1f us/message; floor (%s) %8.1f us, ratio %.2f\n", what, value, floorName,
                    floor, floor > 0 ? value / floor : 0.0);
    };
    line("encode, editor already laid out:", encode, encodeFloor, "toPlainText");
    line("encode, layout redone at 400 px:", encodeRelayout, encodeRelayoutFloor, "layout, toPlainText");
    line("decode into a new transcript:", decode, decodeFloor, "plain insertText");
    line("decode and lay out at 400 px:", decodeLayout, decodeLayoutFloor, "plain insertText, laid out");
    std::printf("decode %lld characters of unclosed markers: %8.1f us\n",
                static_cast<long long>(hostile.size()), decodeHostile);
    return 0;
}
