#pragma once

#include <QDialog>

#include <optional>

class QLineEdit;

// The borderless in-place editor laid over a group's caption: Enter applies, Esc or leaving it
// closes without a change.
class TfmEditor : public QDialog {
    Q_OBJECT
public:
    TfmEditor(const QString &text, const QColor &color, QWidget *parent = nullptr);

    // The edited text, or nothing when the editor was left without Enter.
    static std::optional<QString> Edit(QWidget *parent, const QRect &screenRect, const QColor &color,
                                       const QString &text);
    // Test hook: while set, no editor is shown and Edit answers with this.
    static void setAutoAnswer(std::optional<QString> answer);
    static void clearAutoAnswer();

    // The first close decides: Enter's accept is not undone by the focus loss that follows it.
    void done(int result) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *m_edEditor;
    bool m_finished = false;
};
