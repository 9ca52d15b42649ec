#pragma once

#include <QWidget>

class QAbstractButton;

// The picture chooser: a borderless 187x113 popup with the user pictures 11 to 24 and "no picture".
// A click on a square chooses; Esc, Enter, a click on the background or losing the focus close it
// without a change. It frees itself when it closes.
class TfmSelectPicture : public QWidget {
    Q_OBJECT
public:
    TfmSelectPicture(int currentPicture, QWidget *parent);

    // Opens the chooser at the button's centre (moved up or left at the desktop's bottom and right
    // edges) and keeps the button pressed until it closes; nullptr when it could not be opened.
    static TfmSelectPicture *Open(QAbstractButton *button, int currentPicture);

    int hoveredSquare() const { return m_hovered; }

Q_SIGNALS:
    void pictureChosen(int picture);
    void closed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    int m_current;
    int m_hovered = -1;
    int m_pressed = -1;
    bool m_closing = false;
};
