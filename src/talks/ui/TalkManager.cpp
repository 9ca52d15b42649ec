#include "talks/ui/TalkManager.h"

#include "features/ui/ImageList.h"
#include "features/ui/MessageBox.h"
#include "features/ui/PeerText.h"
#include "features/ui/ShellOpen.h"
#include "peers/PeerList.h"
#include "peers/PeerRegistry.h"
#include "peers/ui/UserGroupBox.h"
#include "peers/ui/fmUserListUn.h"
#include "protocol/ConstUnit.h"
#include "settings/SettingsStore.h"
#include "settings/iniFileUn.h"
#include "talks/MessageCodec.h"
#include "talks/ui/EditorBody.h"
#include "talks/ui/RVStyle.h"
#include "talks/ui/RichTextItems.h"
#include "talks/ui/WorkFormatTextRichViewEditUn.h"
#include "transfer/FileExchange.h"
#include "transfer/FileRecords.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTextEdit>
#include <QTime>
#include <QToolBar>

namespace {
constexpr int DesignFrameWidth = 443;
} // namespace

TalkManager::TalkManager(QTabWidget *pcMain, TalkCore *core, const SettingsStore &store, RVStyle *style,
                         const FileExchange *files, QWidget *dialogParent)
    : QObject(pcMain)
    , m_pcMain(pcMain)
    , m_store(store)
    , m_style(style)
    , m_files(files)
    , m_dialogParent(dialogParent)
    , m_core(core)
{
    connectCore();
}

void TalkManager::connectCore()
{
    // A closing talk has its history written and its page removed: its lines are laid out first.
    connect(m_core, &TalkCore::talkClosing, this, [this] { m_tail.release(); });
    connect(m_core, &TalkCore::talkCreated, this, &TalkManager::addPage);
    connect(m_core, &TalkCore::talkClosed, this, &TalkManager::removePage);
    connect(m_core, &TalkCore::captionChanged, this, &TalkManager::showCaption);
    connect(m_core, &TalkCore::talkMemberAdded, this,
            [this](int id, const QString &, int peerIndex) { addMemberItem(id, peerIndex); });
    connect(m_core, &TalkCore::talkMemberRemoved, this, [this](int id, const QString &, int peerIndex) {
        if (TfrConnectUser *talk = frameOf(id))
            talk->removeMember(peerIndex);
    });
    connect(m_core, &TalkCore::talkMemberMoved, this,
            [this](int id, const QString &, int oldIndex, int newIndex) {
                moveMemberItem(id, oldIndex, newIndex);
            });
    connect(m_core, &TalkCore::talkMemberRenamed, this,
            [this](int id, int peerIndex, const QString &displayName, int picture) {
                TfrConnectUser *talk = frameOf(id);
                QAction *item = talk ? talk->memberItem(peerIndex) : nullptr;
                if (!item)
                    return;
                item->setText(PeerText::menuText(displayName));
                item->setToolTip(PeerText::toolTip(displayName));
                item->setIcon((iconSize() == 32 ? ProfileImages32() : ProfileImages16()).icon(picture));
            });
    connect(m_core, &TalkCore::talkMemberBlocked, this, [this](int id, int peerIndex, bool blocked) {
        if (TfrConnectUser *talk = frameOf(id))
            talk->setMemberBlocked(peerIndex, blocked);
    });
    connect(m_core, &TalkCore::lineForTalk, this,
            [this](int id, const TalkLine &line) { AppendLine(sheetOfTalk(id), line); });
    connect(m_core, &TalkCore::inputLockChanged, this, &TalkManager::showInputLock);
}

void TalkManager::setActions(const TalkActions &actions)
{
    m_actions = actions;
    const auto feed = [this](QAction *action, void (TalkCore::*set)(bool)) {
        (m_core->*set)(isChecked(action));
        if (action)
            connect(action, &QAction::toggled, m_core, set);
    };
    feed(actions.notTalkPrivate, &TalkCore::setNotTalkPrivate);
    feed(actions.notTalkGroup, &TalkCore::setNotTalkGroup);
    feed(actions.answeringMachine, &TalkCore::setAnsweringMachine);
}

const RUserID *TalkManager::local() const
{
    return peer(0);
}

const RUserID *TalkManager::peer(int peerIndex) const
{
    return m_core->peers() ? m_core->peers()->GetPeer(peerIndex) : nullptr;
}

bool TalkManager::isChecked(const QAction *action) const
{
    return action && action->isChecked();
}

int TalkManager::iconSize() const
{
    return !m_actions.bigIcon || m_actions.bigIcon->isChecked() ? 32 : 16;
}

int TalkManager::count() const
{
    return m_pcMain->count();
}

TfrConnectUser *TalkManager::frame(int sheet) const
{
    return qobject_cast<TfrConnectUser *>(m_pcMain->widget(sheet));
}

TfrConnectUser *TalkManager::frameOf(int talkId) const
{
    return m_pages.value(talkId);
}

int TalkManager::sheetOf(const TfrConnectUser *talk) const
{
    return m_pcMain->indexOf(const_cast<TfrConnectUser *>(talk));
}

int TalkManager::sheetOfTalk(int talkId) const
{
    const TfrConnectUser *talk = frameOf(talkId);
    return talk ? sheetOf(talk) : -1;
}

int TalkManager::talkIdAt(int sheet) const
{
    const TfrConnectUser *talk = frame(sheet);
    return talk ? talk->talkId() : TalkCore::NoTalk;
}

void TalkManager::activate(int talkId)
{
    if (const int sheet = sheetOfTalk(talkId); sheet >= 0)
        m_pcMain->setCurrentIndex(sheet);
}

int TalkManager::CreateTalk(const QString &caption, int image, TalkKind kind, int tag,
                            const QString &groupName, const QString &authorAlias, const QString &groupId,
                            const QString &mac, const QString &userId, const QString &ip)
{
    TalkData data;
    data.kind = kind;
    data.PeerIP = ip;
    data.PeerID = userId;
    data.PeerMAC = mac;
    data.GroupTag = tag;
    data.GroupID = groupId;
    data.AuthorAlias = authorAlias;
    data.GroupName = groupName;
    data.Caption = caption;
    return sheetOfTalk(m_core->CreateTalk(data, image));
}

void TalkManager::addPage(int talkId)
{
    const Talk *record = m_core->talk(talkId);
    if (!record)
        return;
    auto *talk = new TfrConnectUser(m_style, record->data);
    talk->setTalkId(talkId);
    talk->setSendCommands(m_actions.sendCommands);
    if (record->data.kind == tkOwnGroup)
        talk->tbGroupUser()->setVisible(true);
    // Before it is placed, a frame has its design width.
    const int frameWidth = m_pcMain->isVisible() ? m_pcMain->width() : DesignFrameWidth;
    talk->setInputPanelHeight(readHeightNewMessagePanel(m_store, frameWidth));
    connect(talk, &TfrConnectUser::inputPanelResized, this,
            [this](int height) { writeHeightNewMessagePanel(m_store, height); });
    connect(talk, &TfrConnectUser::closeRequested, this, [this, talk] { CloseTalk(sheetOf(talk)); });
    connect(talk, &TfrConnectUser::clearRequested, this, [this, talk] { ClearTextMessage(sheetOf(talk)); });
    connect(talk, &TfrConnectUser::captionApplied, this,
            [this, talkId](const QString &caption) { m_core->setCaption(talkId, caption); });
    connect(talk, &TfrConnectUser::memberMenuRequested, this,
            [this, talk](int peerIndex, QMenu *menu) { memberMenu(talk, peerIndex, menu); });
    m_pages.insert(talkId, talk);
    const int index = m_pcMain->addTab(talk, ProfileImages32().icon(record->picture), QString());
    showCaption(talkId);
    m_pcMain->setCurrentIndex(index);
    talk->reMessage()->setFocus();
    talk->setIconSize(iconSize());
}

void TalkManager::removePage(int talkId)
{
    m_tail.release();
    TfrConnectUser *talk = m_pages.take(talkId);
    if (!talk)
        return;
    m_pcMain->removeTab(sheetOf(talk));
    talk->deleteLater();
}

QString TalkManager::caption(int sheet) const
{
    const Talk *record = m_core->talk(talkIdAt(sheet));
    return record ? record->data.Caption : QString();
}

void TalkManager::setCaption(int sheet, const QString &caption)
{
    m_core->setCaption(talkIdAt(sheet), caption);
}

void TalkManager::showCaption(int talkId)
{
    const Talk *record = m_core->talk(talkId);
    TfrConnectUser *talk = frameOf(talkId);
    const int sheet = sheetOfTalk(talkId);
    if (!record || !talk || sheet < 0)
        return;
    const TalkData &data = record->data;
    talk->data() = data;
    const QString &caption = data.Caption;
    // Each peer text is isolated on its own, so that neither can reorder the other or the brackets.
    const QString shown =
        data.kind == tkMemberGroup && caption == MemberGroupCaption(data.AuthorAlias, data.GroupName)
            ? u'[' + PeerText::menuText(data.AuthorAlias) + QStringLiteral("] ") +
                  PeerText::menuText(data.GroupName)
        : data.kind == tkAllUsers ? caption
                                  : PeerText::menuText(caption);
    m_pcMain->setTabText(sheet, shown);
    m_pcMain->setTabToolTip(sheet, PeerText::toolTip(caption));
    m_pcMain->setTabIcon(sheet, ProfileImages32().icon(record->picture));
}

int TalkManager::FindPrivateTalk(const QString &userId) const
{
    return sheetOfTalk(m_core->FindPrivateTalk(userId));
}

int TalkManager::FindOwnGroupTalk(int tag) const
{
    return sheetOfTalk(m_core->FindOwnGroupTalk(tag));
}

int TalkManager::FindTalkByGroupID(const QString &groupId) const
{
    return sheetOfTalk(m_core->FindTalkByGroupID(groupId));
}

void TalkManager::MessageToUser()
{
    if (!m_userList)
        return;
    // A talk the user opens stays writable while the auto-reply answers.
    activate(m_core->openPrivateTalk(m_userList->SelectedUser()));
}

void TalkManager::MessageToGroup()
{
    // Which group is the user list's choice; its members are the registry's.
    const UserGroupBox *box = m_userList ? m_userList->ActiveGroup() : nullptr;
    const PeerRegistry *registry = m_userList ? m_userList->registry() : nullptr;
    const ContactGroup *group = box && registry ? registry->group(box->Tag()) : nullptr;
    if (!group)
        return;
    activate(m_core->openOwnGroupTalk(group->number, group->caption, group->groupId, group->members));
}

bool TalkManager::SendMessage(int sheet, bool fromAutoReply)
{
    if (sheet < 0)
        sheet = m_pcMain->currentIndex();
    TfrConnectUser *talk = frame(sheet);
    const RUserID *me = local();
    if (!talk || !me)
        return false;
    QTextEdit *editor = talk->reMessage();
    if (m_core->isInputLocked(talk->talkId()) && !fromAutoReply)
        return false;
    const MessageBody body = EditorBody::FromEditor(editor->document(), me->ID, me->IP);
    // A failed send shows a box whose event loop may see the talk closed.
    const QPointer<QTextEdit> input = editor;
    const SendResult result = m_core->sendMessage(talk->talkId(), body, fromAutoReply);
    if (result == SendResult::Failed)
        MessageBox::error(m_dialogParent, ConstUnit::text(ConstUnit::Text::ErrorWhenSend));
    const bool sent = result == SendResult::Sent || result == SendResult::Nothing;
    if (!input)
        return sent;
    input->clear();
    input->setCurrentCharFormat(m_style ? m_style->charFormat(0) : QTextCharFormat());
    return sent;
}

void TalkManager::destroyTalk(int sheet)
{
    m_core->destroyTalk(talkIdAt(sheet));
}

void TalkManager::CloseTalk(int sheet)
{
    m_core->CloseTalk(talkIdAt(sheet));
}

void TalkManager::ClearTextMessage(int sheet)
{
    TfrConnectUser *talk = frame(sheet);
    if (!talk)
        return;
    m_tail.release();
    Q_EMIT transcriptClearing(sheet);
    talk->reAllMessage()->clear();
}

void TalkManager::ClearDialogParametr()
{
    ResetDialogAnswers(m_store);
}

int TalkManager::SenderTextStyle(const QString &id, qint32 color)
{
    return m_style ? m_style->SenderTextStyle(id, color) : 0;
}

void TalkManager::AppendMessage(int sheet, const QString &id, const QString &ip, const QString &body,
                                qint32 color, int picture, const QString &alias)
{
    AppendLine(sheet, TalkLine{id, ip, alias, color, picture, MessageCodec::Decode(body), false});
}

void TalkManager::AppendLine(int sheet, const TalkLine &line)
{
    const QString &id = line.senderId;
    const QString &ip = line.ip;
    const QString &alias = line.alias;
    const int picture = line.picture;
    TfrConnectUser *talk = frame(sheet);
    if (!talk || !m_style)
        return;
    // At the bound the peer keeps the transcript in the history and clears its own copy.
    if (talk->reAllMessage()->document()->blockCount() >= m_transcriptLimit) {
        m_tail.release();
        talk->reAllMessage()->clear();
    }
    QTextEdit *transcript = talk->reAllMessage();
    const bool held = m_tail.hold(transcript);
    QTextDocument *doc = transcript->document();
    const QString name = alias.isEmpty() ? ip : alias;
    QTextCursor cursor(doc);
    int headerEnd = -1;
    // One edit block for the whole message: the document is laid out once, not after every item. The
    // cursor goes to the end inside it, where it does not measure the last line.
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    try {
        if (!doc->isEmpty())
            AppendNewParagraph(cursor, *m_style, 1);
        if (!m_actions.showPicture || m_actions.showPicture->isChecked()) {
            AppendBullet(cursor, ProfileImages32(), picture < 0 ? 0 : picture);
        }
        QString tail;
        if (isChecked(m_actions.showUserIP))
            tail += QStringLiteral(" IP:") + ip;
        if (!m_actions.showTime || m_actions.showTime->isChecked())
            tail += u' ' + m_clock.text();
        AppendTextItem(cursor, u'[' + PeerText::nameIn(name, tail) + u']' + tail, *m_style, 1);
        headerEnd = cursor.position();
        AppendNewParagraph(cursor, *m_style, 1);
        DecodeContext context;
        context.cursor = cursor;
        context.textStyle = SenderTextStyle(id, line.color);
        context.style = m_style;
        context.pictures = &ProfileImages32();
        if (m_files) {
            context.fileRecords = &m_files->records();
            context.fileRecordIndexes = m_files->recordsShown(talk->talkId());
        }
        context.animations = m_animations;
        RenderMessageBody(context, line.body);
    } catch (...) {
    }
    cursor.endEditBlock();
    if (!held)
        ShowTranscriptEnd(transcript);
    if (headerEnd >= 0)
        Q_EMIT messageShown(sheet, id, headerEnd);
    if (held)
        m_tail.added(transcript);
}

void TalkManager::addMemberItem(int talkId, int peerIndex)
{
    TfrConnectUser *talk = frameOf(talkId);
    const Talk *record = m_core->talk(talkId);
    const RUserID *member = peer(peerIndex);
    if (!talk || !record || !member)
        return;
    const int position = record->memberPosition(member->ID);
    const bool blocked = position >= 0 && record->members.at(position).blocked;
    const QPixmap picture =
        (iconSize() == 32 ? ProfileImages32() : ProfileImages16()).pixmap(member->PictureIndex);
    talk->addMember(peerIndex, DisplayName(*member), QIcon(picture), blocked);
}

void TalkManager::moveMemberItem(int talkId, int oldIndex, int newIndex)
{
    TfrConnectUser *talk = frameOf(talkId);
    const RUserID *member = peer(newIndex);
    if (!talk || !member)
        return;
    talk->retagMember(oldIndex, newIndex);
    if (QAction *existing = talk->memberItem(newIndex)) {
        existing->setText(PeerText::menuText(DisplayName(*member)));
        existing->setIcon(
            QIcon((iconSize() == 32 ? ProfileImages32() : ProfileImages16()).pixmap(member->PictureIndex)));
    }
}

void TalkManager::memberMenu(TfrConnectUser *talk, int peerIndex, QMenu *menu)
{
    menu->clear();
    if (!m_userList || !m_userList->pmUserList())
        return;
    const QAction *item = talk->memberItem(peerIndex);
    const TfrConnectUser *active = frame(m_pcMain->currentIndex());
    m_userList->PrepareMemberMenu(peerIndex, item && item->isChecked(),
                                  !active || active->data().kind != tkMemberGroup);
    menu->addActions(m_userList->pmUserList()->actions());
}

void TalkManager::SendMemberUpdate(int sheet)
{
    m_core->SendMemberUpdate(talkIdAt(sheet));
}

void TalkManager::applyIconSize()
{
    const int size = iconSize();
    m_pcMain->setIconSize(QSize(size, size));
    for (int i = 0; i < count(); ++i) {
        TfrConnectUser *talk = frame(i);
        if (!talk)
            continue;
        talk->setIconSize(size);
        const ImageList &pictures = size == 32 ? ProfileImages32() : ProfileImages16();
        for (QAction *item : talk->tbGroupUser()->actions()) {
            if (const RUserID *member = peer(item->data().toInt()))
                item->setIcon(pictures.icon(member->PictureIndex));
        }
    }
}

void TalkManager::setPrivateInputLocked(bool locked)
{
    m_core->setPrivateInputsLocked(locked);
}

void TalkManager::showInputLock(int talkId, bool locked)
{
    TfrConnectUser *talk = frameOf(talkId);
    if (!talk)
        return;
    QTextEdit *editor = talk->reMessage();
    editor->setReadOnly(locked);
    // A style sheet, since the page control's own style sheet would put a palette back.
    editor->setStyleSheet(locked ? QStringLiteral("QTextEdit { background-color: %1; }")
                                       .arg(QApplication::palette().color(QPalette::Button).name())
                                 : QString());
}

void TalkManager::MailUser()
{
    const RUserID *selected = m_userList ? peer(m_userList->SelectedUser()) : nullptr;
    if (selected && m_userList->SelectedUser() > 0)
        ShellOpen::open(QStringLiteral("MailTo:") + selected->EMail);
}

void TalkManager::MailGroup()
{
    const UserGroupBox *group = m_userList ? m_userList->ActiveGroup() : nullptr;
    if (group && m_core->peers())
        ShellOpen::open(QStringLiteral("MailTo:") + MailAddressList(*m_core->peers(), group->Tag()));
}

void TalkManager::MailAll()
{
    if (m_core->peers())
        ShellOpen::open(QStringLiteral("MailTo:") + MailAddressList(*m_core->peers()));
}

void TalkManager::MailEmpty()
{
    ShellOpen::open(QStringLiteral("MailTo: "));
}
