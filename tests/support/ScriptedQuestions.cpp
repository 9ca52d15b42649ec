#include "support/ScriptedQuestions.h"

PrivateCloseAnswer ScriptedQuestions::AskPrivateClose(const QString &alias)
{
    asked.append(QStringLiteral("private:") + alias);
    if (whileAsking)
        whileAsking();
    return answers.isEmpty() ? PrivateCloseAnswer::Close : answers.takeFirst();
}

void ScriptedQuestions::ShowGroupClosed(const QString &authorAlias, const QString &caption)
{
    asked.append(QStringLiteral("group:") + authorAlias + u'|' + caption);
    if (whileAsking)
        whileAsking();
}
