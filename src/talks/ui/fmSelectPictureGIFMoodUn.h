#pragma once

#include "documents/AnimationLibrary.h"
#include "documents/AnimationPlayer.h"
#include "talks/ui/WorkFormatTextRichViewEditUn.h"

#include <QLabel>
#include <QPointer>
#include <QWidget>

#include <QAction>
class QMovie;
#include <QTextEdit>

// Plays one animation of the chooser; its tag is the animation's number.
class GIFAnimator : public QLabel {
    Q_OBJECT
public:
    GIFAnimator(int tag, const QString &fileName, QWidget *parent);
    int tag() const { return m_tag; }
    void start();
    // Stops and goes back to the first frame.
    void stop();
    // Stopped on the first frame, read now if it never was.
    void showFirstFrame();
    bool isRunning() const;
    QMovie *movie() const { return m_movie; }

private:
    int m_tag;
    QMovie *m_movie;
};

// One cell of the chooser, holding one animator; under the mouse it lights up and plays.
class GIFPanel : public QWidget {
    Q_OBJECT
public:
    GIFPanel(GIFAnimator *animator, QWidget *parent);
    GIFAnimator *animator() const { return m_animator; }
    bool isHighlighted() const { return m_hover; }
    // Lit and playing, or plain and still.
    void setHighlighted(bool on);

Q_SIGNALS:
    void clicked(int number);

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    GIFAnimator *m_animator;
    bool m_hover = false;
};

// The animation chooser. It lives for the whole run: received animations are taken from its
// catalogue, and the player that moves every animation in the talks belongs to it. Opening and
// closing only show and hide it.
class TfmSelectPictureGIFMood : public QWidget, public AnimationCatalogue {
    Q_OBJECT
public:
    explicit TfmSelectPictureGIFMood(QWidget *parent = nullptr);
    ~TfmSelectPictureGIFMood() override;

    // AnimationCatalogue
    bool hasAnimation(int number) const override;
    QImage animationFrame(int number) const override;
    void trimAnimations() override;
    void animationInserted(QTextDocument *doc, int position, int number) override;

    const AnimationLibrary &library() const { return m_library; }
    AnimationPlayer *player() { return &m_player; }

    // Shows the chooser for the editor; the action stays checked while it is up.
    void Popup(QAction *opener, QTextEdit *target);
    QAction *openingAction() const { return m_opener; }
    QTextEdit *targetEditor() const { return m_target; }
    QList<GIFPanel *> panels() const { return m_panels; }
    GIFAnimator *animator(int number) const;
    int runningCount() const;

    // The click on an animation: appends it to the target editor, or refuses with the limit message.
    bool ChooseAnimation(int number);

protected:
    void hideEvent(QHideEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void stopAll();

    AnimationLibrary m_library;
    AnimationPlayer m_player;
    QPointer<QAction> m_opener;
    QPointer<QTextEdit> m_target;
    QList<GIFPanel *> m_panels;
};

// The animations of the editor's text.
int CountAnimations(const QTextDocument *doc);
// The refusal text with the limit in it, from the language file or built in.
QString NotInsertManyAnimationText();
