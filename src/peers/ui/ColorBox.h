#pragma once

#include <QComboBox>

// A colour list: the sixteen standard colours with their swatches, the current colour when it is
// none of them, and "Custom..." which asks for any colour. Values are wire colours (0x00BBGGRR, or
// negative for system colours).
class ColorBox : public QComboBox {
    Q_OBJECT
public:
    explicit ColorBox(QWidget *parent = nullptr);

    qint32 color() const { return m_color; }
    // Selects the colour; one that is not in the list takes the "custom" entry.
    void setColor(qint32 wireColor);

    // The standard colours in list order.
    static QList<qint32> standardColors();

Q_SIGNALS:
    // The user chose a colour (also the one already chosen).
    void colorChosen(qint32 wireColor);

private:
    void chosen(int index);
    int customIndex() const;
    int askIndex() const { return count() - 1; }

    qint32 m_color = 0;
};
