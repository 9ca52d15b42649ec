#include "MainHistory.h"

#include "StoryFileUn.h"
#include "TalkManager.h"
#include "fmStoryUn.h"
#include "iniFileUn.h"

#include <QApplication>
#include <QDateTime>
#include <QTabWidget>
#include <QTextEdit>

TMainHistory::TMainHistory(const SettingsStore &store, QString historyDir, TTalkManager *talks,
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

void TMainHistory::StartUp()
{
    if (!StoryFile::EnsureFolder(m_historyDir))
        return;
    const StoryFile::Options options = StoryFile::ReadOptions(m_store);
    if (options.PeriodStorage)
        StoryFile::Purge(m_historyDir, options.Days);
}

QString TMainHistory::SaveTalk(int sheet, bool closing)
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

void TMainHistory::ShowHistoryWindow()
{
    TfmStory story(m_store, m_historyDir, m_openHelp, m_window);
    story.exec();
}
