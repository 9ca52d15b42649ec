// The talks' inputs and transcripts: what the user sends, the lock, and the lines shown.
#include "talks/TalkCore.h"

#include "talks/MessageCodec.h"

SendResult TalkCore::sendMessage(int id, const MessageBody &body, bool fromAutoReply)
{
    if (isInputLocked(id) && !fromAutoReply)
        return SendResult::Unsent;
    return sendBody(id, MessageCodec::Encode(body), fromAutoReply);
}

void TalkCore::setInputLocked(int id, bool locked)
{
    Talk *t = find(id);
    if (!t || t->inputLocked == locked)
        return;
    t->inputLocked = locked;
    Q_EMIT inputLockChanged(id, locked);
}

bool TalkCore::isInputLocked(int id) const
{
    const Talk *t = talk(id);
    return t && t->inputLocked;
}

void TalkCore::setPrivateInputsLocked(bool locked)
{
    for (const int id : talkIds()) {
        const Talk *t = talk(id);
        if (t && t->data.kind == tkPrivate)
            setInputLocked(id, locked);
    }
}

void TalkCore::showLine(int id, bool notice, const QString &senderId, const QString &ip, const QString &body,
                        qint32 color, int picture, const QString &alias)
{
    if (notice)
        Q_EMIT noticeForTalk(id, senderId, ip, body, color, picture, alias);
    else
        Q_EMIT messageForTalk(id, senderId, ip, body, color, picture, alias);
    // A listener of the first signal may have closed the talk.
    if (find(id))
        Q_EMIT lineForTalk(id,
                           TalkLine{senderId, ip, alias, color, picture, MessageCodec::Decode(body), notice});
}
