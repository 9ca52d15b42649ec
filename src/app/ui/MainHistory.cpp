#include "app/ui/MainHistory.h"

#include "documents/StoryFileUn.h"
#include "features/ui/fmStoryUn.h"
#include "settings/iniFileUn.h"
#include "talks/ui/TalkManager.h"

#include <QApplication>
#include <QDateTime>
#include <QTabWidget>
#include <QTextEdit>

MainHistory::MainHistory(const SettingsStore &store, QString historyDir, TalkManager *talks,
                         QTabWidget *pages, std::function<QString()> localAlias,
                         std::function<bool(int)> openHelp, QWidget *window)
    : QObject(window)
    , m_store(store)
    , m_historyDir(std::move(historyDir))
    , m_talks(talks)
    , m_pages(pages)
    , m_localAlias(std::move(localAlias))
    , m_openHelp(std::move(openHelp))
    , m_window(window)
{}

void MainHistory::StartUp()
{
    if (!StoryFile::EnsureFolder(m_historyDir))
        return;
    const StoryFile::Options options = StoryFile::ReadOptions(m_store);
    if (options.PeriodStorage)
        StoryFile::Purge(m_historyDir, options.Days);
}

QString MainHistory::SaveTalk(int sheet, bool closing)
{
    const TfrConnectUser *talk = m_talks->frame(sheet);
    if (!talk)
        return QString();
    const QString talkName =
        StoryFile::TalkName(m_talks->caption(sheet), m_localAlias ? m_localAlias() : QString());
    writeHeightNewMessagePanel(m_store, talk->inputPanelHeight());
    const StoryFile::Options options = StoryFile::ReadOptions(m_store);
    const QTextEdit *transcript = talk->reAllMessage();
    if (!options.SaveHistory || transcript->document()->isEmpty())
        return QString();
    if (!closing && !m_budget.take(QDateTime::currentMSecsSinceEpoch()))
        return QString();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const StoryFile::WriteResult result =
        StoryFile::WriteTalk(m_historyDir, talkName, *transcript->document(), options.SaveAsRTF,
                             transcript->palette().color(QPalette::Base));
    QApplication::restoreOverrideCursor();
    if (result.failed)
        Q_EMIT writeFailed(talkName, m_historyDir);
    return result.path;
}

void MainHistory::ShowHistoryWindow()
{
    TfmStory story(m_store, m_historyDir, m_openHelp, m_window);
    story.exec();
}
