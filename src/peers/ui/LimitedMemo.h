#pragma once

#include <QPlainTextEdit>

// A memo of the profile window that takes at most maxLength characters from the keyboard, the
// clipboard or a drop (0: no limit).
class LimitedMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LimitedMemo(QWidget *parent = nullptr);

    void setMaxLength(int maxLength) { m_maxLength = maxLength; }
    int maxLength() const { return m_maxLength; }
    // How many more characters fit when the selection is replaced.
    int room() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    int m_maxLength = 0;
};
