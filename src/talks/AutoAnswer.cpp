#include "talks/AutoAnswer.h"

#include "features/AutoReplyUn.h"

AutoAnswer::AutoAnswer(TalkCore *talks, AutoReply *state, QObject *parent)
    : QObject(parent)
    , m_talks(talks)
    , m_state(state)
{
    connect(m_talks, &TalkCore::autoReplyRequested, this, &AutoAnswer::requested);
}

MessageBody AutoAnswer::answerBody(const AnsweringmachineText::Variant &variant)
{
    MessageBody body;
    body.addPicture(AnswerPicture).addPlainText(variant.Caption).addLineBreak().addPlainText(variant.Text);
    return body;
}

void AutoAnswer::requested(int talkId)
{
    const bool shown = m_talks->talk(talkId) != nullptr;
    std::optional<AnsweringmachineText::Variant> answer;
    if (m_fixed && shown)
        answer = m_fixed;
    else if (m_state)
        answer = m_state->AnswerFor(false, shown);
    if (!answer)
        return;
    // Sent from a queued call: a failed send is told to the user, never from inside the socket's
    // read slot.
    QMetaObject::invokeMethod(
        this, [this, talkId, variant = *answer] { send(talkId, variant); }, Qt::QueuedConnection);
}

void AutoAnswer::send(int talkId, const AnsweringmachineText::Variant &answer)
{
    // The talk may have closed meanwhile.
    if (!m_talks->talk(talkId))
        return;
    const SendResult result = m_talks->sendMessage(talkId, answerBody(answer), true);
    if (result == SendResult::Failed)
        Q_EMIT answerFailed(talkId);
    else if (result == SendResult::Sent)
        Q_EMIT answered(talkId);
}
