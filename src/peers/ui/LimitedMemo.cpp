#include "peers/ui/LimitedMemo.h"

#include "peers/UserProfile.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>

#include <limits>

LimitedMemo::LimitedMemo(QWidget *parent)
    : QPlainTextEdit(parent)
{}

int LimitedMemo::room() const
{
    if (m_maxLength <= 0)
        return std::numeric_limits<int>::max();
    const int selected = int(textCursor().selectedText().size());
    return qMax(0, m_maxLength - (int(toPlainText().size()) - selected));
}

void LimitedMemo::keyPressEvent(QKeyEvent *event)
{
    const QString text = event->text();
    if (!isReadOnly() && !text.isEmpty() && text.at(0).isPrint() && int(text.size()) > room()) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void LimitedMemo::insertFromMimeData(const QMimeData *source)
{
    if (!source || !source->hasText() || isReadOnly())
        return;
    const QString text = UserProfile::MemoText(source->text()).left(room());
    if (!text.isEmpty())
        insertPlainText(text);
}
