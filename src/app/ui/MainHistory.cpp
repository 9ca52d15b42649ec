#include "app/ui/MainHistory.h"

#include "app/TalkHistory.h"
#include "features/ui/fmStoryUn.h"
#include "settings/iniFileUn.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/WindowTranscriptLook.h"

#include <QAction>
#include <QApplication>

MainHistory::MainHistory(const SettingsStore &store, TalkHistory *history, TalkManager *talks,
                         std::function<bool(int)> openHelp, QWidget *window)
    : QObject(window)
    , m_store(store)
    , m_history(history)
    , m_talks(talks)
    , m_openHelp(std::move(openHelp))
    , m_window(window)
{
    auto look = std::make_unique<WindowTranscriptLook>(talks);
    m_look = look.get();
    history->setLook(std::move(look));
    connect(history, &TalkHistory::writeFailed, this, &MainHistory::writeFailed);
}

void MainHistory::followOptions(const TalkActions &actions)
{
    const auto follow = [this](QAction *action, void (TalkHistory::*set)(bool)) {
        if (!action)
            return;
        (m_history->*set)(action->isChecked());
        connect(action, &QAction::toggled, m_history, set);
    };
    follow(actions.showUserIP, &TalkHistory::setShowUserIP);
    follow(actions.showTime, &TalkHistory::setShowTime);
    follow(actions.showPicture, &TalkHistory::setShowPicture);
}

void MainHistory::setAnimationCatalogue(const AnimationCatalogue *catalogue)
{
    m_look->setAnimationCatalogue(catalogue);
}

QString MainHistory::historyDir() const
{
    return m_history->historyDir();
}

void MainHistory::storeHeight(int sheet)
{
    if (const TfrConnectUser *talk = m_talks->frame(sheet))
        writeHeightNewMessagePanel(m_store, talk->inputPanelHeight());
}

QString MainHistory::SaveTalk(int sheet, bool closing)
{
    storeHeight(sheet);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString path = m_history->writeTalk(m_talks->talkIdAt(sheet), closing);
    QApplication::restoreOverrideCursor();
    return path;
}

void MainHistory::ClearTalk(int sheet)
{
    storeHeight(sheet);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_history->clearTranscript(m_talks->talkIdAt(sheet));
    QApplication::restoreOverrideCursor();
}

void MainHistory::TalkClosing(int sheet)
{
    storeHeight(sheet);
}

void MainHistory::ShowHistoryWindow()
{
    TfmStory story(m_store, m_history->historyDir(), m_openHelp, m_window);
    story.exec();
}
