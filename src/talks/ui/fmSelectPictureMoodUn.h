#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

#include <QAction>
#include <QTextEdit>

// One cell of the picture chooser: a picture of the profile list, lit up under the mouse.
class ImageSquare : public QWidget {
    Q_OBJECT
public:
    ImageSquare(int pictureIndex, QWidget *parent);
    int pictureIndex() const { return m_index; }
    bool isHighlighted() const { return m_hover; }
    QSize sizeHint() const override;

Q_SIGNALS:
    void clicked(int pictureIndex);

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    int m_index;
    bool m_hover = false;
};

// The picture chooser: 24 mood pictures in 6 columns and 4 rows. It is made each time it opens and
// destroys itself when it closes: after a choice, a click elsewhere or on its own background, Esc or
// Enter. Closing unchecks the action that opened it.
class TfmSelectPictureMood : public QWidget {
    Q_OBJECT
public:
    TfmSelectPictureMood(QAction *opener, QTextEdit *target, QWidget *parent = nullptr);
    ~TfmSelectPictureMood() override;

    QList<ImageSquare *> cells() const { return m_cells; }
    QAction *openingAction() const { return m_opener; }
    QTextEdit *targetEditor() const { return m_target; }

    // Appends the picture to the end of the target editor's text, then closes.
    void ChoosePicture(int pictureIndex);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QPointer<QAction> m_opener;
    QPointer<QTextEdit> m_target;
    QList<ImageSquare *> m_cells;
};

// Appends a picture of the 32x32 profile list after the last item of the editor (never at the caret).
bool AppendPictureToEditor(QTextEdit *editor, int pictureIndex);
