#pragma once

#include "app/ui/TfmErrorReport.h"

#include <QString>

class QObject;
class MainActionList;
class TPerixChatForm;
class TfmUserList;

// Puts the texts of the current language file on the windows that live for the whole run. Most
// texts sit in the section named after their component (actions "act...", menus "mi...", toolbars
// "tb...", the sheet "tsAllUsers"); the few that follow other texts are set by name here.
namespace LngApply {

// The language file becomes the current one and every text of the main window, the user list and
// the shared table follows it.
void ApplyLanguage(TPerixChatForm &window, const QString &path);

// The main-window texts named after components, on every such object below root (dialogs left out:
// an open dialog keeps its texts until it is created anew).
void ApplyComponentTexts(QObject *root);
// The texts that follow other texts: toolbar items that show their command, the talk button's hint,
// the tray's auto-reply copy, the talk toolbars' own items.
void ApplyMainWindowRules(TPerixChatForm &window);
// Title, fixed group captions and commands of the user list.
void ApplyToUserList(TfmUserList *userList, const MainActionList *mainActions);
// The auto-reply indicator and the own talks of the two fixed groups take their new captions.
void RefreshAfterLanguage(TPerixChatForm &window);

QString AboutCaption();
ErrorReportTexts LanguageErrorReportTexts();

} // namespace LngApply
