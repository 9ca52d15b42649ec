#pragma once

#include "app/AppContext.h"

#include <QObject>

#include <memory>

class ChatCore;
class MoodPickers;
class TPerixChatForm;
class TfmSelectPictureGIFMood;
class TfmUserList;
class UdpTransport;

// One running copy: the peer on its UDP endpoints, and the windows that show it in their creation
// order, wired together. Tests start several in one process, each with its own settings file.
class PerixChatProgram : public QObject {
    Q_OBJECT
public:
    explicit PerixChatProgram(AppContext context, QObject *parent = nullptr);
    ~PerixChatProgram() override;

    // Creates the main window, then the user list, starts the peer (which announces the user), then
    // shows the main window.
    void start();
    // Closes the main window through its close box path, without questions (termination signals).
    void close();

    ChatCore *chat() const { return m_chat.get(); }
    UdpTransport *transport() const { return m_transport.get(); }
    TPerixChatForm *mainWindow() const { return m_mainWindow.get(); }
    TfmUserList *userList() const { return m_userList.get(); }
    TfmSelectPictureGIFMood *animationChooser() const { return m_animationChooser.get(); }
    MoodPickers *moodPickers() const { return m_moodPickers.get(); }
    AppContext &context() { return m_context; }

Q_SIGNALS:
    void finished();

private:
    AppContext m_context;
    std::unique_ptr<UdpTransport> m_transport;
    std::unique_ptr<ChatCore> m_chat;
    std::unique_ptr<TPerixChatForm> m_mainWindow;
    std::unique_ptr<TfmUserList> m_userList;
    std::unique_ptr<TfmSelectPictureGIFMood> m_animationChooser;
    std::unique_ptr<MoodPickers> m_moodPickers;
};
