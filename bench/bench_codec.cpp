// Message codec cost: encode and decode a 4,000-character message with 10 pictures, laid out in an
// editor 400 px wide. Run by hand; prints the time per message, each figure and its floor measured one
// after the other in every round, with min/median/max over the rounds.
#include "BenchFigures.h"
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
#include <vector>

namespace {

const QString MyId = QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
const QString MyIp = QStringLiteral("192.168.100.117");

volatile qsizetype g_sink = 0;

constexpr int Rounds = 5;
// Each figure takes about this long per round.
constexpr int MeasureMs = 200;

// Repeats the work until MeasureMs have passed (at most the given count); microseconds per run.
double microsecondsPer(int maxRuns, const std::function<void()> &work)
{
    work(); // warm up caches and fonts
    QElapsedTimer timer;
    timer.start();
    int runs = 0;
    while (runs < maxRuns && timer.elapsed() < MeasureMs) {
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

struct Figures {
    double encode, encodeFloor, encodeRelayout, encodeRelayoutFloor, decode, decodeFloor, decodeLayout,
        decodeLayoutFloor, decodeHostile;
};

// One round of every figure and its floor, one after the other.
Figures measureRound(QTextDocument &editor, const RVStyle &style, const QString &message,
                     const QString &hostile)
{
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

    return {encode,      encodeFloor,  encodeRelayout,    encodeRelayoutFloor, decode,
            decodeFloor, decodeLayout, decodeLayoutFloor, decodeHostile};
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

    struct Pair {
        std::vector<double> value, floor;
    };
    Pair encodePair, relayoutPair, decodePair, decodeLayoutPair;
    std::vector<double> hostileRuns;
    // Unclosed markers must not make the decoder search the rest of the string again and again.
    const QString hostile =
        (QStringLiteral("{[!BULLET!]}") + QStringLiteral("{[!CONTROL!]}x")).repeated(20000);
    for (int round = 0; round < Rounds; ++round) {
        const Figures f = measureRound(editor, style, message, hostile);
        encodePair.value.push_back(f.encode);
        encodePair.floor.push_back(f.encodeFloor);
        relayoutPair.value.push_back(f.encodeRelayout);
        relayoutPair.floor.push_back(f.encodeRelayoutFloor);
        decodePair.value.push_back(f.decode);
        decodePair.floor.push_back(f.decodeFloor);
        decodeLayoutPair.value.push_back(f.decodeLayout);
        decodeLayoutPair.floor.push_back(f.decodeLayoutFloor);
        hostileRuns.push_back(f.decodeHostile);
    }
    const auto line = [](const char *what, const Pair &pair, const char *floorName) {
        std::printf("%s (floor: %s)\n", what, floorName);
        printSpread("  us/message", spreadOf(pair.value), "us");
        printSpread("  floor", spreadOf(pair.floor), "us");
        printSpread("  ratio", spreadOf(ratiosOf(pair.value, pair.floor)), "x");
    };
    line("encode, editor already laid out:", encodePair, "toPlainText");
    line("encode, layout redone at 400 px:", relayoutPair, "layout, toPlainText");
    line("decode into a new transcript:", decodePair, "plain insertText");
    line("decode and lay out at 400 px:", decodeLayoutPair, "plain insertText, laid out");
    std::printf("decode %lld characters of unclosed markers:\n", static_cast<long long>(hostile.size()));
    printSpread("  us", spreadOf(hostileRuns), "us");
    return 0;
}
