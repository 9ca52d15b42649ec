#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTimer>

class QTextBlock;
class QTextDocument;

// The style sheet shared by every transcript and input editor: named text styles (font and colour)
// and paragraph styles. Text in a document carries only its style number, so a style that changes
// can be applied again to everything written in it.
class RVStyle : public QObject {
    Q_OBJECT
public:
    explicit RVStyle(QObject *parent = nullptr);

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

    // Sender styles kept at most; beyond it the style of the sender seen longest ago is reused.
    static constexpr int MaxSenderStyles = 4096;
    // Time that recolouring tracked documents may take in one turn of the event loop.
    static constexpr int RecolourSliceMs = 4;

    // The style of a sender: the one named by the sender's ID (found in constant time), recoloured to
    // the given colour, or a new one with the font of style 0. 0 on failure.
    int SenderTextStyle(const QString &senderId, qint32 wireColor);

    // Keeps the document's text in step with later style changes, for as long as the document lives.
    // The text is recoloured later, a slice at a time, so that a colour change costs its sender
    // nothing however long the transcripts are.
    void TrackDocument(QTextDocument *doc);
    // True while recolouring is still to be done; Flush does it all now.
    bool recolourPending() const { return !m_recolours.isEmpty(); }
    void FlushRecolour();

Q_SIGNALS:
    void textStyleChanged(int styleNo);

private:
    struct TextStyle {
        QString name;
        QFont font;
        QColor color;
        QTextCharFormat format; // made once: every inserted piece of text asks for it
    };
    static QTextCharFormat makeCharFormat(const TextStyle &style, int styleNo);
    struct ParagraphStyle {
        QString name;
        Qt::Alignment alignment;
        QTextBlockFormat format; // made once, as the text styles' formats
    };

    // One document still to recolour in one style, from a block on.
    struct Recolour {
        QPointer<QTextDocument> doc;
        int styleNo = 0;
        int nextBlock = 0;
        // The style changed again while this pass ran: the blocks before nextBlock need another pass.
        bool again = false;
    };

    void scheduleRecolour(int styleNo);
    void recolourSlice(qint64 budgetMs);
    int reuseSenderStyle();

    QList<TextStyle> m_textStyles;
    QList<ParagraphStyle> m_paragraphStyles;
    QHash<QString, int> m_senderStyles;
    QList<quint64> m_lastUse;
    quint64 m_useClock = 0;
    QList<QPointer<QTextDocument>> m_documents;
    QList<Recolour> m_recolours;
    QTimer m_recolourTimer;
};

// Gives the fragments of one block written in the style the colour of the format.
void ApplyTextStyleToBlock(const QTextBlock &block, int styleNo, const QTextCharFormat &format);

// Gives every fragment of the document written in the style the colour of the format.
void ApplyTextStyle(QTextDocument *doc, int styleNo, const QTextCharFormat &format);
