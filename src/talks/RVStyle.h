#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QObject>
#include <QString>
#include <QTextBlockFormat>
#include <QTextCharFormat>

class QTextDocument;

// The style sheet shared by every transcript and input editor: named text styles (font and colour)
// and paragraph styles. Text in a document carries only its style number, so a style that changes
// can be applied again to everything written in it.
class TRVStyle : public QObject {
    Q_OBJECT
public:
    explicit TRVStyle(QObject *parent = nullptr);

    int textStyleCount() const { return int(m_textStyles.size()); }
    // Empty name, default font and black for a number that does not exist.
    QString textStyleName(int styleNo) const;
    QFont textStyleFont(int styleNo) const;
    QColor textStyleColor(int styleNo) const;
    // Font, colour and the style number; an unknown number gives the format of style 0.
    QTextCharFormat charFormat(int styleNo) const;

    int paragraphStyleCount() const { return int(m_paragraphStyles.size()); }
    QString paragraphStyleName(int styleNo) const;
    // An unknown number gives the format of paragraph style 0.
    QTextBlockFormat paragraphFormat(int styleNo) const;

    // Returns the number of the new style.
    int addTextStyle(const QString &name, const QFont &font, const QColor &color);
    // Emits textStyleChanged when the colour really changes; false for an unknown number.
    bool setTextStyleColor(int styleNo, const QColor &color);

    // The style of a sender: the one named by the sender's ID, recoloured to the given colour, or a
    // new one with the font of style 0. 0 on failure.
    int SenderTextStyle(const QString &senderId, qint32 wireColor);

    // Keeps the document's text in step with later style changes, for as long as the document lives.
    void TrackDocument(QTextDocument *doc);

Q_SIGNALS:
    void textStyleChanged(int styleNo);

private:
    struct TextStyle {
        QString name;
        QFont font;
        QColor color;
    };
    struct ParagraphStyle {
        QString name;
        Qt::Alignment alignment;
    };

    QList<TextStyle> m_textStyles;
    QList<ParagraphStyle> m_paragraphStyles;
};

// Gives every fragment of the document written in the style the colour of the format.
void ApplyTextStyle(QTextDocument *doc, int styleNo, const QTextCharFormat &format);
