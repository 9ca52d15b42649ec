#include "features/LngCatalogue.h"

namespace Lng {

namespace {

constexpr TextUse Main = TextUse::MainWindow;
constexpr TextUse List = TextUse::UserList;
constexpr TextUse Shared = TextUse::Shared;
constexpr TextUse Dialog = TextUse::Dialog;

// The defaults are the program's own texts, spelling included; the English file corrects a few.
constexpr CatalogueEntry Entries[] = {
    // Main window: texts that are not named after a component.
    {Shared, "ErrorWhenSend", "Caption",
     "Excuse. A mistake at sending the message, probably the text of the message is too great."},
    {Shared, "ErrorPortAbort", "Caption",
     "Excuse. A mistake at connection to port. Please address to the help information of program Perix "
     "Chat."},
    {Main, "tbsiLanguage", "Caption", "Language"},
    {Main, "actHelp", "Caption", "Help"},
    {Main, "actHelp", "Hint", "Help information"},
    {Main, "actAbout", "Caption", "About"},
    {Dialog, "fmAboutCaption", "Caption", "About Perix Chat"},
    {Main, "tbOptions", "Caption", "Options"},
    {Main, "tbOptionsHint", "Hint", "Please press for adjustment of the program"},
    {Main, "tbPanelsOfTools", "Caption", "Panels of tools"},
    {Main, "tbMainForm", "Caption", "Main"},
    {Main, "tbAdditional", "Caption", "Additional"},
    {List, "fmUserListCaption", "Caption", "User list"},
    {Shared, "fmUserListGbMainCaption", "Caption", "Main group"},
    {Shared, "gbBadListCaption", "Caption", "Bad list"},
    {Shared, "actDeactiveUserCaption", "Caption", "Deactive"},
    {Shared, "actActiveUserCaption", "Caption", "Activate"},
    {List, "actAddToBadListCaption", "Caption", "Add to bad list"},
    {List, "tbMoveToGroupCaption", "Caption", "Move to group"},
    {List, "actCreateNewGroupCaption", "Caption", "Create new group"},
    {List, "actRenameGroupBoxCaption", "Caption", "Rename group"},
    {List, "actDeleteGroupBoxCaption", "Caption", "Delete group"},
    {List, "UnCollapsedCaption", "Caption", "Uncollapse group"},
    {List, "CollapsedCaption", "Caption", "Collapse group"},
    {Main, "actShowUserList", "Caption", "Show user list"},
    {Main, "actShowUserList", "Hint", "Hide/Show the list of users in a network"},
    {Main, "actHideProgramm", "Caption", "Hide Programm in Trey when minimize"},
    {Main, "actOpen", "Caption", "Open"},
    {Main, "actClose", "Caption", "Close"},
    {Main, "actMailUser", "Caption", "Mail"},
    {Main, "actMailUser", "Hint", "Please press for sending letters to the user or users"},
    {Main, "actMailAll", "Caption", "Mail all"},
    {Main, "actMailEmpty", "Caption", "Create empty mail"},
    {Main, "actUserMyProfile", "Caption", "My profile"},
    {Main, "actUserMyProfile", "Hint", "Show a window of work with my profile"},
    {Main, "actUserNetProfile", "Caption", "User profile..."},
    {Dialog, "UserProfileForm", "Caption", "User profile"},
    {Dialog, "fmProfile1", "Caption", "Summary data"},
    {Dialog, "fmProfile2", "Caption", "Basic data"},
    {Dialog, "fmProfile3", "Caption", "Home"},
    {Dialog, "fmProfile4", "Caption", "Work"},
    {Dialog, "fmProfile5", "Caption", "Personal"},
    {Shared, "btnOkCaption", "Caption", "&OK"},
    {Shared, "btnCancelCaption", "Caption", "&Cancel"},
    {Shared, "btnApplyCaption", "Caption", "&Apply"},
    {Dialog, "fmErrorbtnOk", "Caption", "&OK"},
    {Dialog, "fmErrorbtnMail", "Caption", "&Mail>"},
    {Dialog, "Description", "Caption", "Description:"},
    {Dialog, "fmErrorstText", "Caption",
     "Excuse for the inconveniences, not documentary mistake of Perix Chat. Please, write us the letter, "
     "with "
     "the detailed description of a mistake. We shall try to correct a mistake as soon as possible. Thank "
     "for "
     "your cooperation!"},
    {Main, "actMessageToUser", "Caption", "Create talk with user"},
    {Main, "actMessageToUser", "Hint", "Please press for creating the talk with chosen user"},
    {Main, "actMessageToGroup", "Caption", "Create talk with group"},
    {Main, "miMessage", "Caption", "Talk"},
    {Main, "actPerixChatOnTheWeb", "Caption", "Perix Chat on the Web"},
    {Shared, "ConnectUser", "Caption", "User \"%s\" is connect..."},
    {Shared, "DisconnectUser", "Caption", "User \"%s\" is disconnect..."},
    {Shared, "MessageFromUser", "Caption", "Message from \"%s\"..."},
    {Shared, "fmInformationCaption", "Caption", "Confirmation"},
    {Shared, "FileNameStoryPrefix", "Caption", "%s and %s"},
    {Dialog, "TalkLimitText", "Caption",
     "%s talks are open: new talks from other users are refused until one is closed."},
    {Dialog, "NotInsertManyAnimationText", "Caption",
     "In consequence of economy of resources it is not authorized to add more than %s animations in the text "
     "of the message."},

    // Main window: texts named after its components.
    {Main, "actStayOnTop", "Caption", "Stay on top main window"},
    {Main, "actStayOnTopUserList", "Caption", "Stay on top user list"},
    {Main, "actMailGroup", "Caption", "Create mail to group"},
    {Main, "miOther", "Caption", "Other options"},
    {Main, "actShowHint", "Caption", "Show hint"},
    {Main, "actTechnicalSupport", "Caption", "Technical support"},
    {Main, "actSiteOurCompany", "Caption", "Site Perix Chat"},
    {Main, "actSendMessage", "Hint", "Send"},
    {Main, "actSelectImageMood", "Hint", "Insert image"},
    {Main, "actSelectGifMood", "Hint", "Insert animation"},
    {Main, "actInsertFolder", "Hint", "Insert folder"},
    {Main, "actInsertFile", "Hint", "Insert files"},
    {Main, "actCloseTalk", "Hint", "Close talk"},
    {Main, "actOpenFileOrFolder", "Caption", "Open"},
    {Main, "actSaveAsFileOrFolder", "Caption", "Save as..."},
    {Main, "actGetFileOrFolder", "Caption", "Get file or folder"},
    {Main, "miButtonOptions", "Caption", "Buttons"},
    {Main, "actBtnBigIcon", "Caption", "Big icons"},
    {Main, "actBtnLitleIcon", "Caption", "Litle icons"},
    {Main, "actShowText", "Caption", "Show caption"},
    {Main, "actClearDialogParametr", "Caption", "To reset parameters of dialogues"},
    {Main, "actClearTextMessage", "Hint", "Clear text message"},
    {Main, "actNotTalkGroup", "Caption", "Not talk group"},
    {Main, "actNotTalkPrivate", "Caption", "Not talk private"},
    {Main, "miAnsweringMachine", "Caption", "Auto-Reply"},
    {Main, "miAnsweringMachine", "Hint",
     "Please press for inclusion/deenergizing of a mode of an Auto-Reply"},
    {Main, "actAnsweringMachine", "Caption", "Auto-Reply mode"},
    {Main, "actAnsweringmachineOptions", "Caption", "Auto-Reply options"},
    {Main, "miPlaySound", "Caption", "Sounds"},
    {Main, "actSoundPerixChat", "Caption", "Play sound at start PerixChat"},
    {Main, "actSoundUserConnect", "Caption", "Play sound at new user connect"},
    {Main, "actSoundUserDisconnect", "Caption", "Play sound at user disconnect"},
    {Main, "actSoundNewMessage", "Caption", "Play sound at new message come"},
    {Main, "actShowHistoryMessage", "Caption", "Show history message"},
    {Main, "actNetwork", "Caption", "Network..."},
    {Main, "tsAllUsers", "Caption", "All Users"},
    {Main, "actUndo", "Caption", "Undo"},
    {Main, "actCut", "Caption", "Cut"},
    {Main, "actCopy", "Caption", "Copy"},
    {Main, "actPaste", "Caption", "Paste"},
    {Main, "actDelete", "Caption", "Delete"},
    {Main, "actSelectAll", "Caption", "Select all"},
    {Main, "miMessageFormat", "Caption", "Message format"},
    {Main, "actShowUserIPWhenMessage", "Caption", "Show user IP"},
    {Main, "actShowDataTimewhenMessage", "Caption", "Show time message"},
    {Main, "actShowPictureWhenMessage", "Caption", "Show user picture"},
    {Main, "miVariants", "Caption", "Variants"},
    {Main, "miDisconnectAnsweringMachine", "Caption", "Disconnect Auto-Reply"},
    {Main, "miAnimationGIF", "Caption", "Gif animation"},
    {Main, "actStopAnimation", "Caption", "Stop gif animation"},
    {Main, "actShowAnimation", "Caption", "Hide gif animation"},

    // The closing questions and the confirmation of received files (the TfmInformation pages).
    {Shared, "CloseTalkInformation", "Caption", "Closing of group of dialogue."},
    {Shared, "CloseTalkPrivateInformation", "Caption", "Closing of private talk"},
    {Shared, "CloseTalkGroupText", "Caption",
     "The author of group of dialogue \"%s\" has closed group \"%s\" and has stopped conversation. For "
     "renewal "
     "of dialogue create please own group."},
    {Shared, "CloseTalkPrivateText", "Caption",
     "The user \"%s\" has closed private conversation with you to close also private conversation at you?"},
    {Shared, "cbNotCloseTalkDialog", "Caption", "To not show more this window."},
    {Shared, "rbAlwaysClose", "Caption", "Always to close"},
    {Shared, "rbAlwaysLeave", "Caption", "Always to leave"},
    // The first letter is the Cyrillic capital Es, as the program has always had it.
    {Dialog, "FilesInformation", "Caption",
     "\xD0\xA1"
     "onfirmation of reception of files"},

    // The profile window.
    {Dialog, "gbPicture", "Caption", "Picture"},
    {Dialog, "lbAliase", "Caption", "Alias:"},
    {Dialog, "lbFirstName", "Caption", "First name:"},
    {Dialog, "lbSecondName", "Caption", "Second name:"},
    {Dialog, "lbColor", "Caption", "Color:"},
    {Dialog, "gbName", "Caption", "Name"},
    {Dialog, "gbEMail", "Caption", "E-Mail"},
    {Dialog, "lbEMail", "Caption", "E-Mail:"},
    {Dialog, "lbICQ", "Caption", "ICQ:"},
    {Dialog, "lbStreet", "Caption", "Street:"},
    {Dialog, "lbWStreet", "Caption", "Street:"},
    {Dialog, "lbTown", "Caption", "Town:"},
    {Dialog, "lbWTown", "Caption", "Town:"},
    {Dialog, "lbField", "Caption", "Field:"},
    {Dialog, "lbWField", "Caption", "Field:"},
    {Dialog, "lbHome", "Caption", "Home:"},
    {Dialog, "lbWHome", "Caption", "Home:"},
    {Dialog, "gbHome", "Caption", "Home"},
    {Dialog, "gbWorkAdress", "Caption", "Work adress"},
    {Dialog, "lbWName", "Caption", "Name:"},
    {Dialog, "lbWDepartment", "Caption", "Department:"},
    {Dialog, "lbWPost", "Caption", "Post:"},
    {Dialog, "lbWorkType", "Caption", "Work type:"},
    {Dialog, "gbOrganization", "Caption", "Organization"},
    {Dialog, "lbSex", "Caption", "Sex:"},
    {Dialog, "lbAge", "Caption", "Age:"},
    {Dialog, "lbInterest", "Caption", "Interest:"},
    {Dialog, "gbPersonal", "Caption", "Personal"},
    {Dialog, "btnSelectImage", "Hint", "Please press here for a choice of the picture"},
    {Dialog, "btnSelectImageConst", "Caption", "Choice of the picture"},
    {Dialog, "ForConst", "Caption", "for"},
    {Dialog, "cbSex", "Not", "Not specified"},
    {Dialog, "cbSex", "Men", "Men"},
    {Dialog, "cbSex", "Women", "Women"},

    // The auto-reply editor.
    {Dialog, "TfmAnsweringmachine", "Caption", "Auto-Reply options"},
    {Dialog, "gbAM1", "Caption", "Variants of answers"},
    {Dialog, "gbAM2", "Caption", "Details"},
    {Dialog, "actAddNewTextAnswer", "Caption", "New"},
    {Dialog, "actDeleteTextAnswer", "Caption", "Delete"},
    {Dialog, "lbAnswerCaption", "Caption", "Caption:"},
    {Dialog, "lbTextAnswer", "Caption", "Text:"},

    // The history window.
    {Dialog, "fmStory", "Caption", "History of messages"},
    {Dialog, "gbHistoryFile", "Caption", "History file"},
    {Dialog, "gpOptions", "Caption", "Save history options"},
    {Dialog, "cbSaveHistory", "Caption", "Save history"},
    {Dialog, "cbPeriodOfStorage", "Caption", "Period of storage:"},
    {Dialog, "lbDay", "Caption", "days."},
    {Dialog, "rbSaveAsRTF", "Caption", "Save history as rich text format (rtf)"},
    {Dialog, "rbSaveAsTXT", "Caption", "Save history as text (txt)"},
    {Dialog, "actOpenFile", "Caption", "Open file"},
    {Dialog, "actSaveAs", "Caption", "Save as..."},
    {Dialog, "actDeleteFile", "Caption", "Delete file"},
    {Dialog, "actMoveFile", "Caption", "Move file"},
    // The "Network..." window.
    {Dialog, "fmNetwork", "Caption", "Network"},
    {Dialog, "fmNetwork", "gbDiagnosis", "Diagnosis"},
    {Dialog, "fmNetwork", "gbSettings", "Settings"},
    {Dialog, "fmNetwork", "lbOthers", "Other interfaces:"},
    {Dialog, "fmNetwork", "NoOthers", "none"},
    {Dialog, "fmNetwork", "lbInterface", "Interface:"},
    {Dialog, "fmNetwork", "Automatic", "Automatic (the interface with the default route)"},
    {Dialog, "fmNetwork", "NotAvailable", "not available"},
    {Dialog, "fmNetwork", "lbAddresses", "Further broadcast or computer addresses, one a line (for other subnets; the computers there must list yours too):"},
    {Dialog, "fmNetwork", "btnTest", "Test"},
    {Dialog, "fmNetwork", "btnTestHint", "Broadcasts a probe and counts the computers that echo it within one second"},
    {Dialog, "fmNetwork", "Testing", "Waiting one second for echoes..."},
    {Dialog, "fmNetwork", "TestResult", "Computers that echoed within one second: %s (this one included)."},
    {Dialog, "fmNetwork", "PortBound", "Receive port: UDP %s, open."},
    {Dialog, "fmNetwork", "PortNotBound", "Receive port: UDP %s, NOT open: nothing can be received."},
    {Dialog, "fmNetwork", "PortHolders", "Also held by: %s"},
    {Dialog, "fmNetwork", "PortHolderUnknown", "No other program of yours holds it; a firewall or security program may forbid it."},
    {Dialog, "fmNetwork", "Loopback", "Started with --loopback: address 127.0.0.1, broadcast 127.255.255.255; nothing leaves this computer."},
    {Dialog, "fmNetwork", "ChoiceMissing", "The chosen interface is not available; the automatic choice stands."},
    {Dialog, "fmNetwork", "NoInterface", "No network interface with an IPv4 address: nothing can be sent."},
    {Dialog, "fmNetwork", "HowUser", "chosen by you"},
    {Dialog, "fmNetwork", "HowDefaultRoute", "holds the default route"},
    {Dialog, "fmNetwork", "HowFirstUsable", "no usable interface holds a default route; the first usable one"},
    {Dialog, "fmNetwork", "HowLastResort", "nothing usable; the last address of an interface that is up"},
    {Dialog, "fmNetwork", "Interface", "Interface: %s (%s)"},
    {Dialog, "fmNetwork", "Address", "Address: %s"},
    {Dialog, "fmNetwork", "Broadcast", "Broadcast address: %s"},
    {Dialog, "fmNetwork", "NetmaskBroadcast", "The netmask of this network is not /24: computers beyond %s are reached only if you add %s below."},
    {Dialog, "fmNetwork", "Further", "Also sent to: %s"},
    {Dialog, "fmNetwork", "SkipDown", "down"},
    {Dialog, "fmNetwork", "SkipLoopback", "loopback"},
    {Dialog, "fmNetwork", "SkipNoAddress", "no IPv4 address, or only a link-local one"},
    {Dialog, "fmNetwork", "SkipVirtual", "container, virtual machine or VPN"},
    {Dialog, "fmNetwork", "SkipNone", "usable"},
    {Dialog, "fmNetwork", "DefaultRoute", "default route"},
    {Dialog, "fmNetwork", "Traffic", "Datagrams in the last minute: %s received, %s sent."},
    {Dialog, "fmNetwork", "Peers", "Users online: %s; seen since the start: %s."},
    {Dialog, "fmNetwork", "Hosts", "Computers asked for an echo every period: %s; silent ones still asked: %s."},
    {Dialog, "fmNetwork", "LineNotAddress", "Line %s: \"%s\" is not an IPv4 address such as 192.168.2.255."},
    {Dialog, "fmNetwork", "LineNotUsable", "Line %s: %s cannot be used (no computer answers there)."},
    {Dialog, "fmNetwork", "LineTooMany", "Line %s: more than %s addresses."},
};

} // namespace

std::span<const CatalogueEntry> Catalogue()
{
    return Entries;
}

std::optional<CatalogueEntry> FindCatalogueEntry(const QString &section, const QString &name)
{
    for (const CatalogueEntry &entry : Entries) {
        if (section.compare(QLatin1StringView(entry.section), Qt::CaseInsensitive) == 0 &&
            name.compare(QLatin1StringView(entry.name), Qt::CaseInsensitive) == 0)
            return entry;
    }
    return std::nullopt;
}

} // namespace Lng
