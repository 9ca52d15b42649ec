#pragma once

#include "talks/ui/fmSelectPictureGIFMoodUn.h"
#include "talks/ui/fmSelectPictureMoodUn.h"

#include <QObject>
#include <QPointer>

class QAction;
class QTabWidget;
class TfrConnectUser;

// The commands around mood pictures and animations: the two insert commands of every send toolbar
// open their chooser for the active talk, and the two animation options are applied to every talk.
class MoodPickers : public QObject {
    Q_OBJECT
public:
    struct Actions {
        QAction *selectImageMood = nullptr;
        QAction *selectGifMood = nullptr;
        QAction *stopAnimation = nullptr;
        QAction *showAnimation = nullptr; // checked: animations hidden
    };

    MoodPickers(QTabWidget *pcMain, const Actions &actions, TfmSelectPictureGIFMood *gifMood,
                QObject *parent = nullptr);

    void SelectImageMood();
    void SelectGifMood();
    // The picture chooser while it is open.
    TfmSelectPictureMood *pictureMood() const { return m_pictureMood; }

protected:
    // The insert commands work only from a toolbar or menu item, never from a shortcut alone.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TfrConnectUser *activeTalk() const;
    void applyOptions();

    QTabWidget *m_pcMain;
    Actions m_actions;
    QPointer<TfmSelectPictureGIFMood> m_gifMood;
    QPointer<TfmSelectPictureMood> m_pictureMood;
};
