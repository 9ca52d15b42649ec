#include "peers/ui/ColorBox.h"

#include "features/LngUn.h"
#include "features/ui/WireColor.h"

#include <QColorDialog>
#include <QPainter>
#include <QPixmap>
#include <QPointer>

namespace {

struct NamedColor {
    const char *name;
    qint32 wire;
};

constexpr NamedColor Standard[] = {
    {"Black", 0x000000},  {"Maroon", 0x000080},  {"Green", 0x008000}, {"Olive", 0x008080},
    {"Navy", 0x800000},   {"Purple", 0x800080},  {"Teal", 0x808000},  {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0x0000FF},     {"Lime", 0x00FF00},  {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000},   {"Fuchsia", 0xFF00FF}, {"Aqua", 0xFFFF00},  {"White", 0xFFFFFF},
};

constexpr int ColorRole = Qt::UserRole;
constexpr int CustomRole = Qt::UserRole + 1;

// The colour names are interface texts like any other.
QString text(const char *name, const char *defaultText)
{
    return Lng::Text(QStringLiteral("edColor"), QString::fromLatin1(name), QString::fromLatin1(defaultText));
}

QIcon swatch(const QColor &color)
{
    QPixmap pixmap(16, 12);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QColor(0x60, 0x60, 0x60));
    p.setBrush(color);
    p.drawRect(0, 0, 15, 11);
    QIcon icon(pixmap);
    // A disabled box (a peer's profile) still shows the true colour.
    icon.addPixmap(pixmap, QIcon::Disabled);
    return icon;
}

} // namespace

ColorBox::ColorBox(QWidget *parent)
    : QComboBox(parent)
{
    setIconSize(QSize(16, 12));
    for (const NamedColor &c : Standard)
        addItem(swatch(WireColorToQColor(c.wire)), text(c.name, c.name), c.wire);
    addItem(text("Choose", "Custom..."));
    setCurrentIndex(0);
    connect(this, &QComboBox::activated, this, &ColorBox::chosen);
}

QList<qint32> ColorBox::standardColors()
{
    QList<qint32> colors;
    for (const NamedColor &c : Standard)
        colors.append(c.wire);
    return colors;
}

int ColorBox::customIndex() const
{
    for (int i = 0; i < count(); ++i) {
        if (itemData(i, CustomRole).toBool())
            return i;
    }
    return -1;
}

void ColorBox::setColor(qint32 wireColor)
{
    m_color = wireColor;
    for (int i = 0; i < askIndex(); ++i) {
        if (!itemData(i, CustomRole).toBool() && itemData(i, ColorRole).toInt() == wireColor) {
            setCurrentIndex(i);
            return;
        }
    }
    int custom = customIndex();
    if (custom < 0) {
        custom = askIndex();
        insertItem(custom, text("Custom", "Custom"));
        setItemData(custom, true, CustomRole);
    }
    setItemIcon(custom, swatch(WireColorToQColor(wireColor)));
    setItemData(custom, wireColor, ColorRole);
    setCurrentIndex(custom);
}

void ColorBox::chosen(int index)
{
    if (index != askIndex()) {
        setColor(itemData(index, ColorRole).toInt());
        Q_EMIT colorChosen(m_color);
        return;
    }
    // The question runs its own event loop; the box may be gone when it returns.
    const QPointer<ColorBox> self(this);
    const QColor picked = QColorDialog::getColor(WireColorToQColor(m_color), this);
    if (!self)
        return;
    if (!picked.isValid()) {
        setColor(m_color);
        return;
    }
    setColor(QColorToWireColor(picked));
    Q_EMIT colorChosen(m_color);
}
