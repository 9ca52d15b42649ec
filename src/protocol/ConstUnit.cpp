#include "protocol/ConstUnit.h"

#include <array>

namespace ConstUnit {
namespace {

struct Entry {
    const char *section;
    const char *defaultText;
};

constexpr std::array<Entry, static_cast<size_t>(Text::Count)> Entries = {{
    {"ErrorWhenSend",
     "Excuse. A mistake at sending the message, probably the text of the message is too great."},
    {"ErrorPortAbort", "Excuse. A mistake at connection to port. Please address to the help information of "
                       "program Perix Chat."},
    {"ConnectUser", "User \"%s\" is connect..."},
    {"DisconnectUser", "User \"%s\" is disconnect..."},
    {"MessageFromUser", "Message from \"%s\"..."},
    {"fmUserListGbMainCaption", "Main group"},
    {"gbBadListCaption", "Bad list"},
    {"FileNameStoryPrefix", "%s and %s"},
    {"btnOkCaption", "&OK"},
    {"btnCancelCaption", "&Cancel"},
    {"btnApplyCaption", "&Apply"},
    {"actDeactiveUserCaption", "Deactive"},
    {"actActiveUserCaption", "Activate"},
    {"CloseTalkInformation", "Closing of group of dialogue."},
    {"CloseTalkPrivateInformation", "Closing of private talk"},
    {"CloseTalkGroupText", "The author of group of dialogue \"%s\" has closed group \"%s\" and has stopped "
                           "conversation. For renewal of dialogue create please own group."},
    {"CloseTalkPrivateText",
     "The user \"%s\" has closed private conversation with you to close also private conversation at you?"},
    {"cbNotCloseTalkDialog", "To not show more this window."},
    {"rbAlwaysClose", "Always to close"},
    {"rbAlwaysLeave", "Always to leave"},
    {"fmInformationCaption", "Confirmation"},
}};

std::array<QString, static_cast<size_t>(Text::Count)> &current()
{
    static std::array<QString, static_cast<size_t>(Text::Count)> texts = [] {
        std::array<QString, static_cast<size_t>(Text::Count)> t;
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = QString::fromUtf8(Entries[i].defaultText);
        return t;
    }();
    return texts;
}

size_t indexOf(Text key)
{
    const auto i = static_cast<size_t>(key);
    return i < Entries.size() ? i : 0;
}

} // namespace

QString text(Text key)
{
    return current()[indexOf(key)];
}

void setText(Text key, const QString &value)
{
    current()[indexOf(key)] = value;
}

QString defaultText(Text key)
{
    return QString::fromUtf8(Entries[indexOf(key)].defaultText);
}

QString languageSection(Text key)
{
    return QString::fromLatin1(Entries[indexOf(key)].section);
}

void resetTexts()
{
    for (size_t i = 0; i < Entries.size(); ++i)
        current()[i] = QString::fromUtf8(Entries[i].defaultText);
}

QString Format(const QString &format, const QStringList &args)
{
    QString result;
    result.reserve(format.size() + 32);
    qsizetype next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u's') {
            if (next < args.size())
                result += args[next];
            ++next;
            ++i;
        } else {
            result += format[i];
        }
    }
    return result;
}

} // namespace ConstUnit
