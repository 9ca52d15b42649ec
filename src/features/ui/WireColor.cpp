#include "features/ui/WireColor.h"

#include <QGuiApplication>
#include <QPalette>

#include <array>

namespace {

struct SystemColour {
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

constexpr QPalette::ColorGroup A = QPalette::Active;
constexpr QPalette::ColorGroup I = QPalette::Inactive;
constexpr QPalette::ColorGroup D = QPalette::Disabled;

// Indexed by the Windows system colour number (COLOR_SCROLLBAR = 0 .. COLOR_MENUBAR = 30); the
// nearest palette role stands in for each.
constexpr std::array<SystemColour, 31> SystemColours = {{
    {A, QPalette::Button},          // scroll bar
    {A, QPalette::Dark},            // desktop
    {A, QPalette::Highlight},       // active caption
    {I, QPalette::Highlight},       // inactive caption
    {A, QPalette::Window},          // menu
    {A, QPalette::Base},            // window
    {A, QPalette::Shadow},          // window frame
    {A, QPalette::WindowText},      // menu text
    {A, QPalette::Text},            // window text
    {A, QPalette::HighlightedText}, // caption text
    {A, QPalette::Button},          // active border
    {I, QPalette::Button},          // inactive border
    {A, QPalette::Mid},             // application workspace
    {A, QPalette::Highlight},       // highlight
    {A, QPalette::HighlightedText}, // highlight text
    {A, QPalette::Button},          // button face
    {A, QPalette::Dark},            // button shadow
    {D, QPalette::Text},            // grey text
    {A, QPalette::ButtonText},      // button text
    {I, QPalette::HighlightedText}, // inactive caption text
    {A, QPalette::Light},           // button highlight
    {A, QPalette::Shadow},          // 3D dark shadow
    {A, QPalette::Midlight},        // 3D light
    {A, QPalette::ToolTipText},     // info text
    {A, QPalette::ToolTipBase},     // info background
    {A, QPalette::NoRole},          // unused number
    {A, QPalette::Link},            // hot light
    {A, QPalette::Highlight},       // gradient active caption
    {I, QPalette::Highlight},       // gradient inactive caption
    {A, QPalette::Highlight},       // menu highlight
    {A, QPalette::Window},          // menu bar
}};

} // namespace

QColor WireColorToQColor(qint32 wireColor)
{
    const auto bits = quint32(wireColor);
    if (wireColor < 0) {
        // Like the system's own conversion, only the low byte names the colour.
        const quint32 index = bits & 0xFFu;
        if (index >= SystemColours.size() || SystemColours[index].role == QPalette::NoRole)
            return QColor(Qt::black);
        const QPalette palette = qGuiApp ? QGuiApplication::palette() : QPalette();
        return palette.color(SystemColours[index].group, SystemColours[index].role);
    }
    return QColor(int(bits & 0xFFu), int((bits >> 8) & 0xFFu), int((bits >> 16) & 0xFFu));
}

qint32 QColorToWireColor(const QColor &color)
{
    if (!color.isValid())
        return 0;
    const QColor rgb = color.toRgb();
    return qint32(quint32(rgb.red()) | (quint32(rgb.green()) << 8) | (quint32(rgb.blue()) << 16));
}
