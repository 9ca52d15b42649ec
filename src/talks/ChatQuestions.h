#pragma once

#include <QString>

// The answer to "the other party closed the private talk": close ours, leave it, or neither (the
// remembered choices say neither).
enum class PrivateCloseAnswer { Close, Leave, Undecided };

// What the talk core may ask its user. The main window answers with dialogs (which may run their own
// event loops, in which anything can happen); a program without windows answers from its options.
class ChatQuestions {
public:
    virtual ~ChatQuestions() = default;

    // The user "alias" closed the private talk, or left the network: close ours as well?
    virtual PrivateCloseAnswer AskPrivateClose(const QString &alias) = 0;
    // The author closed the group talk of that caption; it closes whatever is answered.
    virtual void ShowGroupClosed(const QString &authorAlias, const QString &caption) = 0;
    // True while the user is inside a question or an open menu: received packets wait until it ends,
    // so that nothing they cause runs inside the question or removes what the menu acts on.
    virtual bool IsUserBusy() const { return false; }
};
