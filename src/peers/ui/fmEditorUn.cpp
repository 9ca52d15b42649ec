#include "peers/ui/fmEditorUn.h"

#include "features/ui/KeySwallow.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {
struct AutoAnswer {
    bool active = false;
    std::optional<QString> answer;
};

AutoAnswer &autoAnswer()
{
    static AutoAnswer a;
    return a;
}
} // namespace

TfmEditor::TfmEditor(const QString &text, const QColor &color, QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Popup)
    , m_edEditor(new QLineEdit(text, this))
{
    setObjectName(QStringLiteral("fmEditor"));
    m_edEditor->setObjectName(QStringLiteral("edEditor"));
    m_edEditor->setFrame(false);
    QPalette palette = m_edEditor->palette();
    palette.setColor(QPalette::Base, color);
    m_edEditor->setPalette(palette);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_edEditor);
    m_edEditor->installEventFilter(this);
}

bool TfmEditor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edEditor && event->type() == QEvent::KeyPress) {
        // Enter applies, Esc drops; the rest of that keystroke must not reach the window below.
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
            if (key == Qt::Key_Escape)
                reject();
            else
                accept();
            KeySwallow::Swallow(key);
            return true;
        }
    }
    // Closing moves the focus away: that focus loss must not undo an Enter that closed the editor.
    if (watched == m_edEditor && event->type() == QEvent::FocusOut && !m_finished && isVisible())
        reject();
    return QDialog::eventFilter(watched, event);
}

void TfmEditor::done(int result)
{
    if (m_finished)
        return;
    m_finished = true;
    QDialog::done(result);
}

std::optional<QString> TfmEditor::Edit(QWidget *parent, const QRect &screenRect, const QColor &color,
                                       const QString &text)
{
    if (autoAnswer().active)
        return autoAnswer().answer;
    TfmEditor editor(text, color, parent);
    editor.setGeometry(screenRect);
    editor.m_edEditor->setFocus();
    if (editor.exec() != QDialog::Accepted)
        return std::nullopt;
    return editor.m_edEditor->text();
}

void TfmEditor::setAutoAnswer(std::optional<QString> answer)
{
    autoAnswer().active = true;
    autoAnswer().answer = std::move(answer);
}

void TfmEditor::clearAutoAnswer()
{
    autoAnswer().active = false;
}
