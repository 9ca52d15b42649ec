#include "app/ui/MainActionList.h"

#include "features/ui/ImageList.h"
#include "settings/SettingsStore.h"
#include "settings/iniFileUn.h"

#include <QAction>
#include <QActionGroup>
#include <QHash>
#include <QKeySequence>

namespace {

struct ActionSpec {
    const char *name;
    const char *caption;
    const char *hint;
    QKeySequence shortcut;
    bool checkable;
    bool checked;
};

const QKeySequence None;

// The command map: caption, hint, shortcut and initial check state of every command.
const ActionSpec Specs[] = {
    {"actMessageToUser", "Create talk with user", "Please press for creating the talk with chosen user",
     QKeySequence(Qt::CTRL | Qt::Key_U), false, false},
    {"actMessageToGroup", "Create talk with group", "", None, false, false},
    {"actSendMessage", "Send message", "Send", QKeySequence(Qt::CTRL | Qt::Key_Return), false, false},
    {"actCloseTalk", "Close talk", "Close this talk", None, false, false},
    {"actClearTextMessage", "Clear text message", "Clear text message", None, false, false},
    {"actNotTalkPrivate", "Not talk private", "Not talk private", None, true, false},
    {"actNotTalkGroup", "Not talk group", "Not talk group", None, true, false},
    {"actClearDialogParametr", "To reset parameters of dialogues", "", None, false, false},
    {"actMailUser", "Mail", "Please press for sending letters to the user or users", None, false, false},
    {"actMailGroup", "Create mail to group", "", None, false, false},
    {"actMailAll", "Mail all", "", None, false, false},
    {"actMailEmpty", "Create empty mail", "", None, false, false},
    {"actShowUserList", "Show user list", "Hide/Show the list of users in a network",
     QKeySequence(Qt::CTRL | Qt::Key_L), true, true},
    {"actStayOnTopUserList", "Stay on top user list", "", None, true, true},
    {"actStayOnTop", "Stay on top main window", "", None, true, false},
    {"actUserMyProfile", "My profile", "Show a window of work with my profile", None, false, false},
    {"actUserNetProfile", "User profile...", "", QKeySequence(Qt::ALT | Qt::Key_Return), false, false},
    {"actAnsweringMachine", "Auto-Reply", "", None, true, false},
    {"actAnsweringmachineOptions", "Auto-Reply options", "", None, false, false},
    {"actShowHistoryMessage", "Show history message", "", None, false, false},
    {"actSelectImageMood", "Insert image", "Insert image", None, true, false},
    {"actSelectGifMood", "Insert animation", "Insert gif animation", None, true, false},
    {"actStopAnimation", "Stop gif animation", "", None, true, false},
    {"actShowAnimation", "Hide gif animation", "", None, true, false},
    {"actShowUserIPWhenMessage", "Show user IP", "", None, true, false},
    {"actShowDataTimewhenMessage", "Show time message", "", None, true, true},
    {"actShowPictureWhenMessage", "Show user picture", "", None, true, true},
    {"actSoundPerixChat", "Play sound at start PerixChat", "", None, true, false},
    {"actSoundUserConnect", "Play sound at new user connect", "", None, true, true},
    {"actSoundUserDisconnect", "Play sound at user disconnect", "", None, true, true},
    {"actSoundNewMessage", "Play sound at new message come", "", None, true, true},
    {"actHideProgramm", "Hide Programm in Trey when minimize", "", None, true, false},
    {"actShowHint", "Show hint", "", None, true, true},
    {"actBtnBigIcon", "Big icon", "", None, true, true},
    {"actBtnLitleIcon", "Litle icon", "", None, true, false},
    {"actShowText", "Show text", "", None, true, false},
    {"actOpen", "Open", "", None, false, false},
    {"actClose", "Close", "", None, false, false},
    {"actInsertFile", "", "Insert files", None, false, false},
    {"actInsertFolder", "", "Insert folder", None, false, false},
    {"actOpenFileOrFolder", "Open", "", None, false, false},
    {"actSaveAsFileOrFolder", "Save as...", "", None, false, false},
    {"actGetFileOrFolder", "Get file or folder", "", None, false, false},
    {"actHelp", "Help", "Help information", QKeySequence(Qt::Key_F1), false, false},
    {"actAbout", "About", "", None, false, false},
    {"actPerixChatOnTheWeb", "Perix Chat on the Web", "", None, false, false},
    {"actTechnicalSupport", "Technical support", "", None, false, false},
    {"actSiteOurCompany", "Site Perix Chat", "", None, false, false},
};

struct StoredOption {
    const char *action;
    const BoolSetting &setting;
};

const StoredOption StoredOptions[] = {
    {"actShowUserList", Setting::ShowUserList},
    {"actHideProgramm", Setting::HideInTrey},
    {"actShowHint", Setting::ShowHint},
    {"actShowUserIPWhenMessage", Setting::ShowUserIPWhenMessage},
    {"actShowDataTimewhenMessage", Setting::ShowDataTimeWhenMessage},
    {"actShowPictureWhenMessage", Setting::ShowPictureWhenMessage},
    {"actBtnBigIcon", Setting::BtnBigIcon},
    {"actBtnLitleIcon", Setting::BtnLitleIcon},
    {"actShowText", Setting::ShowText},
    {"actSoundPerixChat", Setting::SoundPerixChat},
    {"actSoundUserConnect", Setting::SoundUserConnect},
    {"actSoundNewMessage", Setting::SoundNewMessage},
    {"actSoundUserDisconnect", Setting::SoundUserDisconnect},
    {"actStopAnimation", Setting::StopGifAnimation},
    {"actShowAnimation", Setting::ShowGifAnimation},
};

// The toolbar picture of each command that has one.
const QHash<QString, QString> &IconNames()
{
    static const QHash<QString, QString> names = {
        {QStringLiteral("actMessageToUser"), QStringLiteral("talk-user")},
        {QStringLiteral("actMessageToGroup"), QStringLiteral("talk-group")},
        {QStringLiteral("actSendMessage"), QStringLiteral("send")},
        {QStringLiteral("actCloseTalk"), QStringLiteral("close-talk")},
        {QStringLiteral("actClearTextMessage"), QStringLiteral("clear-message")},
        {QStringLiteral("actNotTalkPrivate"), QStringLiteral("not-talk-private")},
        {QStringLiteral("actNotTalkGroup"), QStringLiteral("not-talk-group")},
        {QStringLiteral("actMailUser"), QStringLiteral("mail")},
        {QStringLiteral("actMailGroup"), QStringLiteral("mail-group")},
        {QStringLiteral("actMailAll"), QStringLiteral("mail-all")},
        {QStringLiteral("actMailEmpty"), QStringLiteral("mail-empty")},
        {QStringLiteral("actShowUserList"), QStringLiteral("user-list")},
        {QStringLiteral("actStayOnTopUserList"), QStringLiteral("stay-on-top")},
        {QStringLiteral("actStayOnTop"), QStringLiteral("stay-on-top")},
        {QStringLiteral("actUserMyProfile"), QStringLiteral("my-profile")},
        {QStringLiteral("actUserNetProfile"), QStringLiteral("user-profile")},
        {QStringLiteral("actAnsweringMachine"), QStringLiteral("auto-reply")},
        {QStringLiteral("actAnsweringmachineOptions"), QStringLiteral("auto-reply")},
        {QStringLiteral("actShowHistoryMessage"), QStringLiteral("history")},
        {QStringLiteral("actSelectImageMood"), QStringLiteral("insert-image")},
        {QStringLiteral("actSelectGifMood"), QStringLiteral("insert-animation")},
        {QStringLiteral("actSoundPerixChat"), QStringLiteral("sound")},
        {QStringLiteral("actSoundUserConnect"), QStringLiteral("sound")},
        {QStringLiteral("actSoundUserDisconnect"), QStringLiteral("sound")},
        {QStringLiteral("actSoundNewMessage"), QStringLiteral("sound")},
        {QStringLiteral("actOpen"), QStringLiteral("tray-open")},
        {QStringLiteral("actClose"), QStringLiteral("close")},
        {QStringLiteral("actInsertFile"), QStringLiteral("insert-file")},
        {QStringLiteral("actInsertFolder"), QStringLiteral("insert-folder")},
        {QStringLiteral("actOpenFileOrFolder"), QStringLiteral("open")},
        {QStringLiteral("actSaveAsFileOrFolder"), QStringLiteral("save-as")},
        {QStringLiteral("actGetFileOrFolder"), QStringLiteral("get-file")},
        {QStringLiteral("actHelp"), QStringLiteral("help")},
        {QStringLiteral("actAbout"), QStringLiteral("about")},
        {QStringLiteral("actPerixChatOnTheWeb"), QStringLiteral("web")},
        {QStringLiteral("actTechnicalSupport"), QStringLiteral("support")},
        {QStringLiteral("actSiteOurCompany"), QStringLiteral("web")},
    };
    return names;
}

} // namespace

MainActionList::MainActionList(QObject *parent)
    : QObject(parent)
    , m_iconSize(new QActionGroup(this))
{
    setObjectName(QStringLiteral("MainActionList"));
    for (const ActionSpec &spec : Specs) {
        auto *a = new QAction(QString::fromUtf8(spec.caption), this);
        a->setObjectName(QString::fromLatin1(spec.name));
        a->setToolTip(QString::fromUtf8(*spec.hint ? spec.hint : spec.caption));
        a->setStatusTip(QString::fromUtf8(spec.hint));
        a->setShortcut(spec.shortcut);
        a->setCheckable(spec.checkable);
        a->setChecked(spec.checked);
        const QString icon = IconNames().value(a->objectName());
        if (!icon.isEmpty())
            a->setIcon(ToolbarIconSet(icon));
        m_actions.append(a);
        m_byName.insert(a->objectName(), a);
    }
    // Big and small icons act as a pair: the one run becomes checked, the other unchecked.
    m_iconSize->setExclusive(true);
    m_iconSize->addAction(action(QStringLiteral("actBtnBigIcon")));
    m_iconSize->addAction(action(QStringLiteral("actBtnLitleIcon")));
}

QAction *MainActionList::action(const QString &name) const
{
    return m_byName.value(name);
}

QStringList MainActionList::initiallyChecked()
{
    QStringList names;
    for (const ActionSpec &spec : Specs) {
        if (spec.checked)
            names.append(QString::fromLatin1(spec.name));
    }
    return names;
}

void MainActionList::readOptions(const SettingsStore &store)
{
    for (const StoredOption &option : StoredOptions) {
        if (QAction *a = action(QString::fromLatin1(option.action)))
            a->setChecked(readSetting(store, option.setting));
    }
}

void MainActionList::writeOptions(const SettingsStore &store) const
{
    for (const StoredOption &option : StoredOptions) {
        if (const QAction *a = action(QString::fromLatin1(option.action)))
            writeSetting(store, option.setting, a->isChecked());
    }
    writeSetting(store, Setting::StayOnTop, action(QStringLiteral("actStayOnTop"))->isChecked());
    writeSetting(store, Setting::StayOnTopUserList,
                 action(QStringLiteral("actStayOnTopUserList"))->isChecked());
}

void MainActionList::readStayOnTop(const SettingsStore &store)
{
    action(QStringLiteral("actStayOnTop"))->setChecked(readSetting(store, Setting::StayOnTop));
    action(QStringLiteral("actStayOnTopUserList"))
        ->setChecked(readSetting(store, Setting::StayOnTopUserList));
}
