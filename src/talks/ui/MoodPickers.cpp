#include "talks/ui/MoodPickers.h"

#include "features/MoodRules.h"
#include "talks/ui/MoodPopup.h"
#include "talks/ui/fmSelectPictureGIFMoodUn.h"
#include "talks/ui/fmSelectPictureMoodUn.h"
#include "talks/ui/frConnectUserUn.h"

#include <QAction>
#include <QEvent>
#include <QTabWidget>
#include <QTextEdit>

MoodPickers::MoodPickers(QTabWidget *pcMain, const Actions &actions, TfmSelectPictureGIFMood *gifMood,
                         QObject *parent)
    : QObject(parent)
    , m_pcMain(pcMain)
    , m_actions(actions)
    , m_gifMood(gifMood)
{
    for (QAction *insert : {m_actions.selectImageMood, m_actions.selectGifMood}) {
        if (insert)
            insert->installEventFilter(this);
    }
    if (m_actions.selectImageMood)
        connect(m_actions.selectImageMood, &QAction::triggered, this, &MoodPickers::SelectImageMood);
    if (m_actions.selectGifMood)
        connect(m_actions.selectGifMood, &QAction::triggered, this, &MoodPickers::SelectGifMood);
    for (QAction *option : {m_actions.stopAnimation, m_actions.showAnimation}) {
        if (option)
            connect(option, &QAction::toggled, this, &MoodPickers::applyOptions);
    }
    // The stored states were read before the talks' animations could exist.
    applyOptions();
}

bool MoodPickers::eventFilter(QObject *watched, QEvent *event)
{
    return event->type() == QEvent::Shortcut || QObject::eventFilter(watched, event);
}

TfrConnectUser *MoodPickers::activeTalk() const
{
    return m_pcMain ? qobject_cast<TfrConnectUser *>(m_pcMain->currentWidget()) : nullptr;
}

void MoodPickers::SelectImageMood()
{
    QAction *opener = m_actions.selectImageMood;
    TfrConnectUser *talk = activeTalk();
    if (m_pictureMood)
        m_pictureMood->close();
    if (!talk) {
        if (opener)
            opener->setChecked(false);
        return;
    }
    auto *popup = new TfmSelectPictureMood(opener, talk->reMessage(), talk->window());
    m_pictureMood = popup;
    MoodPopup::PlaceNextTo(popup, talk->tbSendMessage(), MoodRules::PictureOffset);
    popup->show();
}

void MoodPickers::SelectGifMood()
{
    QAction *opener = m_actions.selectGifMood;
    TfrConnectUser *talk = activeTalk();
    if (!m_gifMood || !talk) {
        if (opener)
            opener->setChecked(false);
        return;
    }
    m_gifMood->hide();
    MoodPopup::PlaceNextTo(m_gifMood, talk->tbSendMessage(), MoodRules::AnimationOffset);
    m_gifMood->Popup(opener, talk->reMessage());
}

void MoodPickers::applyOptions()
{
    if (!m_gifMood)
        return;
    AnimationPlayer *player = m_gifMood->player();
    if (m_actions.stopAnimation)
        player->setTranscriptsStopped(m_actions.stopAnimation->isChecked());
    if (m_actions.showAnimation)
        player->setTranscriptsHidden(m_actions.showAnimation->isChecked());
}
