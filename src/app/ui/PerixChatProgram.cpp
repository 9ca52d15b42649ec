#include "app/ui/PerixChatProgram.h"

#include "app/ChatCore.h"
#include "app/ui/AfterFirstPaint.h"
#include "app/ui/FirstStartName.h"
#include "app/ui/MainActionList.h"
#include "app/ui/StorageCheck.h"
#include "app/ui/MainHistory.h"
#include "app/ui/TPerixChatForm.h"
#include "features/ui/ImageList.h"
#include "net/UdpTransport.h"
#include "peers/PeerRegistry.h"
#include "peers/ui/fmUserListUn.h"
#include "talks/ui/MoodPickers.h"
#include "talks/ui/fmSelectPictureGIFMoodUn.h"

#include <QAction>
#include <QApplication>

PerixChatProgram::PerixChatProgram(AppContext context, QObject *parent)
    : QObject(parent)
    , m_context(std::move(context))
{}

PerixChatProgram::~PerixChatProgram()
{
    // The user list reads the main window's geometry while it goes; it goes first.
    m_moodPickers.reset();
    m_animationChooser.reset();
    m_userList.reset();
    m_mainWindow.reset();
    m_chat.reset();
    m_transport.reset();
}

void PerixChatProgram::start()
{
    m_transport = std::make_unique<UdpTransport>(m_context.transport);
    m_chat = std::make_unique<ChatCore>(m_context, *m_transport, nullptr);
    m_mainWindow = std::make_unique<TPerixChatForm>(m_context, *m_chat, *m_transport);
    const MainActionList *actions = m_mainWindow->actions();
    m_userList = std::make_unique<TfmUserList>(m_context.store, m_chat->registry(), m_mainWindow.get(),
                                               actions->action(QStringLiteral("actBtnBigIcon"))->isChecked());
    m_mainWindow->attachUserList(m_userList.get());
    m_userList->Create(actions->action(QStringLiteral("actShowUserList"))->isChecked());
    // Told once the window shows; a store that cannot be used is neither asked into nor written over.
    const StorageCheck::Findings storage = StorageCheck::Check(m_context.store, m_context.paths.historyDir());
    StorageCheck::Report(m_mainWindow.get(), m_context.store, storage);
    // The others learn the name from the first announcement: it is asked for before.
    if (!storage.settingsUnusable) {
        // That question is the first window shown: it carries the icon.
        if (FirstStartName::IsFirstStart(m_context.store))
            QApplication::setWindowIcon(ProgramIcon());
        FirstStartName::AskIfFirstStart(m_context.store);
    }
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    m_chat->start();
    QGuiApplication::restoreOverrideCursor();
    m_mainWindow->UserListCreated();
    m_animationChooser = std::make_unique<TfmSelectPictureGIFMood>();
    m_mainWindow->talks()->setAnimationCatalogue(m_animationChooser.get());
    m_mainWindow->history()->setAnimationCatalogue(m_animationChooser.get());
    const auto action = [actions](const char *name) {
        return actions->action(QLatin1StringView(name));
    };
    m_moodPickers = std::make_unique<MoodPickers>(
        m_mainWindow->pages(),
        MoodPickers::Actions{action("actSelectImageMood"), action("actSelectGifMood"),
                             action("actStopAnimation"), action("actShowAnimation")},
        m_animationChooser.get());
    connect(m_mainWindow.get(), &TPerixChatForm::closed, this, [this] {
        if (m_userList)
            m_userList->hide();
        Q_EMIT finished();
    });
    m_mainWindow->show();
    // Window managers read every size of the icon when it is set; the first look does not need it.
    AfterFirstPaint::run(m_mainWindow.get(), [] { QApplication::setWindowIcon(ProgramIcon()); });
}

void PerixChatProgram::close()
{
    if (m_mainWindow)
        m_mainWindow->CloseQuietly();
}
