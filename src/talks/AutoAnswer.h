#pragma once

#include "features/AnsweringmachineTextUn.h"
#include "talks/MessageBody.h"
#include "talks/TalkCore.h"

#include <QObject>

#include <optional>

class AutoReply;

// The auto-reply's answers, without any window: a private message without the auto-reply marker is
// answered in its talk with the variant AutoReply has chosen (or with a fixed answer), marked as an
// automatic answer so that the other side does not answer it in turn.
class AutoAnswer : public QObject {
    Q_OBJECT
public:
    // The picture that starts every answer, from the 32x32 profile pictures.
    static constexpr int AnswerPicture = 3;

    AutoAnswer(TalkCore *talks, AutoReply *state, QObject *parent = nullptr);

    // The answer as it is sent: the picture, the caption, a new line, the text; line breaks in
    // them are lines of their own.
    static MessageBody answerBody(const AnsweringmachineText::Variant &variant);

    // Answers with this variant whatever AutoReply says (the headless peer's choice); none: AutoReply
    // decides.
    void setFixedAnswer(const std::optional<AnsweringmachineText::Variant> &answer) { m_fixed = answer; }
    const std::optional<AnsweringmachineText::Variant> &fixedAnswer() const { return m_fixed; }

Q_SIGNALS:
    // The answer went out in that talk, or the network refused it (the user is to be told).
    void answered(int talkId);
    void answerFailed(int talkId);

private:
    void requested(int talkId);
    void send(int talkId, const AnsweringmachineText::Variant &answer);

    TalkCore *m_talks;
    AutoReply *m_state;
    std::optional<AnsweringmachineText::Variant> m_fixed;
};
