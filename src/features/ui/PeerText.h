#pragma once

#include "features/RemoteText.h"

#include <QString>

class QLabel;
class QWidget;

// The one way text that came from a peer reaches a widget: always as plain text, names
// bidi-isolated. Qt guesses rich text for labels, message boxes and tooltips; these never let it.
namespace PeerText {

// The label shows text literally, whatever it holds.
void setLabelText(QLabel *label, const QString &text);
// A tooltip that shows text literally (Qt would read "<b>" in a tooltip as markup).
void setToolTip(QWidget *widget, const QString &text);
QString toolTip(const QString &text);
// A peer's name ready for any plain-text place: tab captions, nodes, titles, menu items.
inline QString name(const QString &name)
{
    return RemoteText::isolate(name);
}
// A name for a line whose other text is `around`: isolated only where either may reorder.
inline QString nameIn(const QString &name, QStringView around)
{
    return RemoteText::isolateIn(name, around);
}
// A name for places that read "&" as a shortcut marker: tab captions, menu and toolbar items.
QString menuText(const QString &name);

} // namespace PeerText
