#pragma once

// Message strings that the input editor's encoder produced for a table of editor contents, captured
// from the editor-based encoder before the codec took its place. Both the pure codec and the editor
// adapter must give exactly these strings.
//
// Script: items separated by "|": "T:text" text in style 0, "S<n>:text" text in style n, "P" a new
// paragraph, "B:<n>" picture n, "A:<n>" animation n, "F:<path>" a file placed in the editor, "O" a
// foreign picture (not sent). Width 0: the document does not wrap.

#include <QString>

#include <vector>

namespace MessageGoldens {

using namespace Qt::StringLiterals;

inline const QString MyId = QStringLiteral("{11111111-2222-3333-4444-555555555555}");
inline const QString MyIp = QStringLiteral("10.0.0.1");

struct EditorCase {
    const char *name;
    QString script;
    qreal width;
    QString golden;
};

// The auto-reply's answer as the editor made it: picture 3, the caption, a new paragraph, the text.
struct AnswerCase {
    const char *name;
    QString caption;
    QString text;
    QString golden;
};

inline std::vector<EditorCase> editorCases()
{
    return {
        {"empty editor", u""_s, 0, u""_s},
        {"one line", u"T:Hello world"_s, 0, u"Hello world"_s},
        {"two paragraphs", u"T:a|P|T:b"_s, 0, u"a\n\rb"_s},
        {"empty paragraph between", u"T:a|P|P|T:b"_s, 0, u"a\n\r\n\rb"_s},
        {"picture in text", u"T:Hi|B:3|P|T:Bye"_s, 0, u"Hi{[!BULLET!]}3{[/!BULLET!]}\n\rBye"_s},
        {"picture alone", u"B:7"_s, 0, u"{[!BULLET!]}7{[/!BULLET!]}"_s},
        {"equal pictures side by side", u"B:2|B:2"_s, 0,
         u"{[!BULLET!]}2{[/!BULLET!]}{[!BULLET!]}2{[/!BULLET!]}"_s},
        {"animation", u"T:x|A:4"_s, 0, u"x{[!CONTROL!]}4{[/!CONTROL!]}"_s},
        {"animation alone", u"A:22"_s, 0, u"{[!CONTROL!]}22{[/!CONTROL!]}"_s},
        {"file", u"F:/home/me/a b.txt|T: a b.txt"_s, 0,
         u"{[!CONTROLFILE!]}<[FILEINFOSEPARATOR]>{11111111-2222-3333-4444-555555555555}<[FILEINFOSEPARATOR]>10.0.0.1<[FILEINFOSEPARATOR]>0<[FILEINFOSEPARATOR]>/home/me/a b.txt{[!/CONTROLFILE!]} a b.txt"_s},
        {"two files", u"F:/a|F:C:\\x\\y z.doc"_s, 0,
         u"{[!CONTROLFILE!]}<[FILEINFOSEPARATOR]>{11111111-2222-3333-4444-555555555555}<[FILEINFOSEPARATOR]>10.0.0.1<[FILEINFOSEPARATOR]>0<[FILEINFOSEPARATOR]>/a{[!/CONTROLFILE!]}{[!CONTROLFILE!]}<[FILEINFOSEPARATOR]>{11111111-2222-3333-4444-555555555555}<[FILEINFOSEPARATOR]>10.0.0.1<[FILEINFOSEPARATOR]>0<[FILEINFOSEPARATOR]>C:\\x\\y z.doc{[!/CONTROLFILE!]}"_s},
        {"trailing empty paragraph", u"T:a|P"_s, 0, u"a"_s},
        {"leading empty paragraph", u"P|T:a"_s, 0, u"a"_s},
        {"two trailing empty paragraphs", u"T:a|P|P"_s, 0, u"a\n\r\n\r"_s},
        {"two leading empty paragraphs", u"P|P|T:a"_s, 0, u"\n\ra"_s},
        {"only a paragraph", u"P"_s, 0, u""_s},
        {"only two paragraphs", u"P|P"_s, 0, u""_s},
        {"styles on one line", u"T:a|S1:b|T:c"_s, 0, u"abc"_s},
        {"styles in paragraphs", u"S2:bold|P|S3:x"_s, 0, u"bold\n\rx"_s},
        {"manual line break", u"T:ab\u2028cd"_s, 0, u"ab\n\rcd"_s},
        {"two manual line breaks", u"T:a\u2028\u2028b"_s, 0, u"a\n\r\n\rb"_s},
        {"manual line break alone", u"T:\u2028"_s, 0, u""_s},
        {"foreign picture", u"T:x|O|T:y"_s, 0, u"xy"_s},
        {"foreign picture alone", u"O"_s, 0, u""_s},
        {"markers typed as text", u"T:{[!BULLET!]}1{[/!BULLET!]}"_s, 0, u"{[!BULLET!]}1{[/!BULLET!]}"_s},
        {"everything", u"B:0|T: hi |A:22|P|F:/tmp/f|P|P|T:end"_s, 0,
         u"{[!BULLET!]}0{[/!BULLET!]} hi {[!CONTROL!]}22{[/!CONTROL!]}\n\r{[!CONTROLFILE!]}<[FILEINFOSEPARATOR]>{11111111-2222-3333-4444-555555555555}<[FILEINFOSEPARATOR]>10.0.0.1<[FILEINFOSEPARATOR]>0<[FILEINFOSEPARATOR]>/tmp/f{[!/CONTROLFILE!]}\n\r\n\rend"_s},
        {"other scripts",
         u"T:\u041F\u0440\u0438\u0432\u0435\u0442 \U0001F600 \u0645\u0631\u062D\u0628\u0627"_s, 0,
         u"\u041F\u0440\u0438\u0432\u0435\u0442 \U0001F600 \u0645\u0631\u062D\u0628\u0627"_s},
        {"blanks and tabs", u"T: a\tb  c "_s, 0, u" a\u0009b  c "_s},
        {"wide document", u"T:Hello |B:5|T:World"_s, 1000, u"Hello {[!BULLET!]}5{[/!BULLET!]}World"_s},
        {"every item wrapped", u"T:Hello |B:5|T:World"_s, 1,
         u"Hello \n\r{[!BULLET!]}5{[/!BULLET!]}\n\rWorld"_s},
        {"wrapped pictures", u"B:1|B:2|P|T:x|A:3"_s, 1,
         u"{[!BULLET!]}1{[/!BULLET!]}\n\r{[!BULLET!]}2{[/!BULLET!]}\n\rx\n\r{[!CONTROL!]}3{[/!CONTROL!]}"_s},
    };
}

inline std::vector<AnswerCase> answerCases()
{
    return {
        {"caption and text", u"Away"_s, u"Back at three"_s,
         u"{[!BULLET!]}3{[/!BULLET!]}Away\n\rBack at three"_s},
        {"empty text", u"Away"_s, u""_s, u"{[!BULLET!]}3{[/!BULLET!]}Away"_s},
        {"line feed in the text", u"Away"_s, u"one\ntwo"_s,
         u"{[!BULLET!]}3{[/!BULLET!]}Away\n\rone\n\rtwo"_s},
        {"CR LF in the text", u"Away"_s, u"one\r\ntwo"_s, u"{[!BULLET!]}3{[/!BULLET!]}Away\n\rone\n\rtwo"_s},
        {"CR in the text", u"Away"_s, u"one\rtwo"_s, u"{[!BULLET!]}3{[/!BULLET!]}Away\n\rone\n\rtwo"_s},
        {"LF CR in the text", u"Away"_s, u"one\n\rtwo"_s,
         u"{[!BULLET!]}3{[/!BULLET!]}Away\n\rone\n\r\n\rtwo"_s},
        {"two line feeds", u"Away"_s, u"one\n\ntwo"_s, u"{[!BULLET!]}3{[/!BULLET!]}Away\n\rone\n\r\n\rtwo"_s},
        {"trailing line feed", u"Away"_s, u"one\n"_s, u"{[!BULLET!]}3{[/!BULLET!]}Away\n\rone\n\r"_s},
        {"only a line feed", u"Away"_s, u"\n"_s, u"{[!BULLET!]}3{[/!BULLET!]}Away\n\r\n\r"_s},
        {"line separator", u"Away"_s, u"one\u2028two"_s, u"{[!BULLET!]}3{[/!BULLET!]}Away\n\rone\n\rtwo"_s},
        {"paragraph separator", u"Away"_s, u"one\u2029two"_s,
         u"{[!BULLET!]}3{[/!BULLET!]}Away\n\rone\n\rtwo"_s},
        {"frame characters", u"Away"_s, u"a\uFDD0b\uFDD1c"_s,
         u"{[!BULLET!]}3{[/!BULLET!]}Away\n\ra\n\rb\n\rc"_s},
        {"break in the caption", u"Out of\noffice"_s, u"x"_s,
         u"{[!BULLET!]}3{[/!BULLET!]}Out of\n\roffice\n\rx"_s},
        {"marker in the text", u"Away"_s, u"{[!BULLET!]}1{[/!BULLET!]}"_s,
         u"{[!BULLET!]}3{[/!BULLET!]}Away\n\r{[!BULLET!]}1{[/!BULLET!]}"_s},
        {"long text", u"Gone fishing"_s,
         u"I am away from my desk until Monday; ask Clara for anything urgent, she knows where the files are."_s,
         u"{[!BULLET!]}3{[/!BULLET!]}Gone fishing\n\rI am away from my desk until Monday; ask Clara for anything urgent, she knows where the files are."_s},
    };
}

} // namespace MessageGoldens
