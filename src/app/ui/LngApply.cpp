#include "app/ui/LngApply.h"

#include "talks/ui/frConnectUserUn.h"

#include "app/ui/MainActionList.h"
#include "app/ui/MainMenus.h"
#include "app/ui/TPerixChatForm.h"
#include "app/ui/TfmAbout.h"
#include "features/LngCatalogue.h"
#include "features/LngUn.h"
#include "features/ui/StatusPanels.h"
#include "peers/PeerList.h"
#include "peers/ui/UserGroupBox.h"
#include "peers/PeerRegistry.h"
#include "peers/ui/fmUserListUn.h"
#include "protocol/ConstUnit.h"
#include "talks/ui/TalkManager.h"

#include <QAction>
#include <QDialog>
#include <QKeySequence>
#include <QMenu>
#include <QMultiHash>
#include <QSet>
#include <QTabWidget>
#include <QToolBar>

namespace LngApply {

namespace {

bool insideDialog(const QObject *object)
{
    for (const QObject *o = object; o; o = o->parent()) {
        if (qobject_cast<const QDialog *>(o))
            return true;
    }
    return false;
}

QString text(const Lng::CatalogueEntry &entry)
{
    return Lng::Text(entry.sectionName(), entry.keyName(), entry.defaultValue());
}

void setCaption(QObject *object, const QString &caption, bool hasHint)
{
    if (auto *action = qobject_cast<QAction *>(object)) {
        action->setText(caption);
        // Without a hint of its own a command's tooltip is its caption, and so is the form hint it
        // had ("Not talk group", "Not talk private").
        if (!hasHint) {
            action->setToolTip(caption);
            if (!action->statusTip().isEmpty())
                action->setStatusTip(caption);
        }
    } else if (auto *menu = qobject_cast<QMenu *>(object)) {
        menu->setTitle(caption);
    } else if (auto *bar = qobject_cast<QToolBar *>(object)) {
        // Its entry in "Panels of tools" follows the title.
        bar->setWindowTitle(caption);
    } else if (auto *page = qobject_cast<QWidget *>(object)) {
        QWidget *stack = page->parentWidget();
        if (auto *tabs = qobject_cast<QTabWidget *>(stack ? stack->parentWidget() : nullptr)) {
            const int index = tabs->indexOf(page);
            if (index >= 0)
                tabs->setTabText(index, caption);
            // History names the talk by its caption.
            if (auto *talk = qobject_cast<TfrConnectUser *>(page))
                talk->applyCaption(caption);
        }
    }
}

void setHint(QObject *object, const QString &hint)
{
    if (auto *action = qobject_cast<QAction *>(object)) {
        action->setToolTip(hint);
        action->setStatusTip(hint);
    }
}

// A toolbar item that shows a command: its caption, tooltip and menu title are the command's.
void follow(const QObject *root, const QString &itemName, const QAction *command)
{
    if (!command)
        return;
    for (QAction *item : root->findChildren<QAction *>(itemName)) {
        item->setText(command->text());
        item->setToolTip(command->toolTip());
    }
    for (QMenu *menu : root->findChildren<QMenu *>(itemName))
        menu->setTitle(command->text());
}

} // namespace

void ApplyComponentTexts(QObject *root)
{
    if (!root)
        return;
    QMultiHash<QString, QObject *> byName;
    for (QObject *object : root->findChildren<QObject *>()) {
        if (!object->objectName().isEmpty() && !insideDialog(object))
            byName.insert(object->objectName(), object);
    }
    QSet<QString> hinted;
    for (const Lng::CatalogueEntry &entry : Lng::Catalogue()) {
        if (entry.use == Lng::TextUse::MainWindow && entry.keyName() == QLatin1StringView("Hint"))
            hinted.insert(entry.sectionName());
    }
    for (const Lng::CatalogueEntry &entry : Lng::Catalogue()) {
        if (entry.use != Lng::TextUse::MainWindow)
            continue;
        const QList<QObject *> targets = byName.values(entry.sectionName());
        if (targets.isEmpty())
            continue;
        const QString value = text(entry);
        const bool isHint = entry.keyName() == QLatin1StringView("Hint");
        for (QObject *target : targets) {
            if (isHint)
                setHint(target, value);
            else
                setCaption(target, value, hinted.contains(entry.sectionName()));
        }
    }
}

void ApplyMainWindowRules(TPerixChatForm &window)
{
    const MainActionList *actions = window.actions();
    const auto act = [actions](const char *name) {
        return actions->action(QLatin1StringView(name));
    };
    follow(&window, QStringLiteral("miMyProfile"), act("actUserMyProfile"));
    follow(&window, QStringLiteral("miHelpTB"), act("actHelp"));
    follow(&window, QStringLiteral("miMailVariant"), act("actMailUser"));

    // The talk button's hint names the shortcut of the command it runs.
    if (const QAction *toUser = act("actMessageToUser")) {
        const QString hint = toUser->toolTip() + QStringLiteral(" (") +
                             toUser->shortcut().toString(QKeySequence::NativeText) + u')';
        for (QAction *item : window.findChildren<QAction *>(QStringLiteral("miMessage")))
            item->setToolTip(hint);
    }
    const QString optionsHint = Lng::Hint(QStringLiteral("tbOptionsHint"),
                                          QStringLiteral("Please press for adjustment of the program"));
    for (QAction *item : window.findChildren<QAction *>(QStringLiteral("tbOptions")))
        item->setToolTip(optionsHint);
    if (QMenu *trayAutoReply = window.findChild<QMenu *>(QStringLiteral("miAnsweringMachineTrey"))) {
        if (const QMenu *autoReply = window.menus()->menu(QStringLiteral("miAnsweringMachine")))
            trayAutoReply->setTitle(autoReply->title());
    }
    // Every talk's own toolbar items carry the hints of the commands they stand for.
    const QString closeHint = act("actCloseTalk") ? act("actCloseTalk")->toolTip() : QString();
    const QString clearHint = act("actClearTextMessage") ? act("actClearTextMessage")->toolTip() : QString();
    for (QAction *item : window.findChildren<QAction *>(QStringLiteral("tbiCloseTalk")))
        item->setToolTip(closeHint);
    for (QAction *item : window.findChildren<QAction *>(QStringLiteral("tbiClearMessage")))
        item->setToolTip(clearHint);
}

void ApplyToUserList(TfmUserList *userList, const MainActionList *mainActions)
{
    if (!userList)
        return;
    const auto caption = [](const char *section, const char *defaultText) {
        return Lng::Caption(QLatin1StringView(section), QLatin1StringView(defaultText));
    };
    const auto setText = [userList](const char *name, const QString &text) {
        for (QAction *a : userList->findChildren<QAction *>(QLatin1StringView(name)))
            a->setText(text);
    };
    userList->setWindowTitle(caption("fmUserListCaption", "User list"));
    if (UserGroupBox *group = userList->mainGroup())
        group->setCaption(ConstUnit::text(ConstUnit::Text::MainGroup));
    if (UserGroupBox *group = userList->badList())
        group->setCaption(ConstUnit::text(ConstUnit::Text::BadList));
    setText("actDeactiveUser", ConstUnit::text(ConstUnit::Text::DeactiveUser));
    setText("actAddToBadList", caption("actAddToBadListCaption", "Add to bad list"));
    setText("tbMoveToGroup", caption("tbMoveToGroupCaption", "Move to group"));
    setText("actCreateNewGroup", caption("actCreateNewGroupCaption", "Create new group"));
    setText("miCreateNewGroup", caption("actCreateNewGroupCaption", "Create new group"));
    setText("actRenameGroupBox", caption("actRenameGroupBoxCaption", "Rename group"));
    setText("actDeleteGroupBox", caption("actDeleteGroupBoxCaption", "Delete group"));
    setText("actCollapseAndUncollapse", caption("CollapsedCaption", "Collapse group"));
    if (!mainActions)
        return;
    if (const QAction *profile = mainActions->action(QStringLiteral("actUserNetProfile")))
        setText("actOtherProfils", profile->text());
    if (const QAction *mail = mainActions->action(QStringLiteral("actMailUser")))
        setText("miUIMailUser", mail->text());
}

void RefreshAfterLanguage(TPerixChatForm &window)
{
    // The auto-reply indicator shows the caption of the auto-reply command while it is on.
    StatusPanels *panels = window.statusPanels();
    const QAction *autoReply = window.actions()->action(QStringLiteral("actAnsweringMachine"));
    if (panels && autoReply && !panels->panelText(4).isEmpty())
        panels->SetStatusPanel(4, autoReply->text());

    TfmUserList *userList = window.userList();
    TalkManager *talks = window.talks();
    const RUserID *local = userList ? userList->registry()->local() : nullptr;
    if (!local || !talks)
        return;
    for (const UserGroupBox *group : {userList->mainGroup(), userList->badList()}) {
        if (!group)
            continue;
        for (int sheet = 1; sheet < talks->count(); ++sheet) {
            const TfrConnectUser *frame = talks->frame(sheet);
            if (!frame || (frame->data().kind != tkOwnGroup && frame->data().kind != tkMemberGroup))
                continue;
            if (frame->data().PeerID == local->ID && frame->data().GroupID == group->Hint()) {
                talks->setCaption(sheet, group->caption());
                break;
            }
        }
    }
}

void ApplyLanguage(TPerixChatForm &window, const QString &path)
{
    Lng::SetCurrentFile(path);
    Lng::ApplySharedTexts();
    ApplyComponentTexts(&window);
    ApplyMainWindowRules(window);
    ApplyToUserList(window.userList(), window.actions());
    RefreshAfterLanguage(window);
}

QString AboutCaption()
{
    return Lng::Caption(QStringLiteral("fmAboutCaption"), TfmAbout::DefaultCaption());
}

ErrorReportTexts LanguageErrorReportTexts()
{
    const ErrorReportTexts defaults;
    ErrorReportTexts texts;
    texts.apology = Lng::Caption(QStringLiteral("fmErrorstText"), defaults.apology);
    texts.description = Lng::Caption(QStringLiteral("Description"), defaults.description);
    texts.ok = Lng::Caption(QStringLiteral("fmErrorbtnOk"), defaults.ok);
    texts.mail = Lng::Caption(QStringLiteral("fmErrorbtnMail"), defaults.mail);
    return texts;
}

} // namespace LngApply
