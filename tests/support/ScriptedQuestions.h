#pragma once

#include "talks/ChatQuestions.h"

#include <QList>
#include <QStringList>

#include <functional>

// Answers the peer's questions from a script and notes each one; a step may act while the
// "dialog" is open, as a nested event loop would.
class ScriptedQuestions : public ChatQuestions {
public:
    PrivateCloseAnswer AskPrivateClose(const QString &alias) override;
    void ShowGroupClosed(const QString &authorAlias, const QString &caption) override;
    bool IsUserBusy() const override { return busy; }

    // "private:<alias>" and "group:<author>|<caption>", in the order asked.
    QStringList asked;
    // Taken one per question; Close when none is left.
    QList<PrivateCloseAnswer> answers;
    std::function<void()> whileAsking;
    // While true, received packets wait, as behind an open dialog.
    bool busy = false;
};
