#pragma once

#include <QString>

class ChatCore;
struct CliOptions;

// Switches the peer's auto-reply on as the command line asks (--auto-reply, --auto-reply-variant);
// false, with the reason, when the variant is not in the settings file.
bool ApplyCliAutoReply(ChatCore &core, const CliOptions &options, QString *error);
