#include "features/ui/PeerText.h"

#include <QLabel>
#include <QWidget>

namespace PeerText {

void setLabelText(QLabel *label, const QString &text)
{
    if (!label)
        return;
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
}

QString toolTip(const QString &text)
{
    if (text.isEmpty())
        return text;
    // A tooltip that starts with a tag is taken as rich text; escaped text inside one always stays text.
    return QStringLiteral("<p style='white-space:pre-wrap'>") + RemoteText::escaped(text) +
           QStringLiteral("</p>");
}

QString menuText(const QString &name)
{
    QString text = RemoteText::isolate(name);
    text.replace(u'&', QStringLiteral("&&"));
    return text;
}

void setToolTip(QWidget *widget, const QString &text)
{
    if (widget)
        widget->setToolTip(toolTip(text));
}

} // namespace PeerText
