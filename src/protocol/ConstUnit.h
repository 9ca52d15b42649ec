#pragma once

#include <QString>
#include <QStringList>

// The shared interface texts: built-in English defaults, each replaceable from a language file
// (section = LanguageSection(), name "Caption").
namespace ConstUnit {

enum class Text {
    ErrorWhenSend,
    ErrorPortAbort,
    ConnectUser,
    DisconnectUser,
    MessageFromUser,
    MainGroup,
    BadList,
    FileNameStoryPrefix,
    BtnOk,
    BtnCancel,
    BtnApply,
    DeactiveUser,
    ActiveUser,
    CloseTalkInformation,
    CloseTalkPrivateInformation,
    CloseTalkGroupText,
    CloseTalkPrivateText,
    NotShowAgain,
    AlwaysClose,
    AlwaysLeave,
    InformationCaption,
    Count
};

QString text(Text key);
void setText(Text key, const QString &value);
QString defaultText(Text key);
QString languageSection(Text key);
// Back to the built-in defaults.
void resetTexts();

// Replaces each "%s" of the format with the next argument; missing arguments read as empty,
// so a language text with too many or too few placeholders never fails.
QString Format(const QString &format, const QStringList &args);

} // namespace ConstUnit
