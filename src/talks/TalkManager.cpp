#include "TalkManager.h"

#include "ConstUnit.h"
#include "FileOfferCommands.h"
#include "FileRecords.h"
#include "MessageBox.h"
#include "PacketDispatcher.h"
#include "PacketTransport.h"
#include "PeerList.h"
#include "PeerText.h"
#include "ProtocolClassUn.h"
#include "RVStyle.h"
#include "RichTextItems.h"
#include "SendMessageUn.h"
#include "SettingsStore.h"
#include "ShellOpen.h"
#include "TImageList.h"
#include "TUserGroupBox.h"
#include "TfmInformation.h"
#include "WorkFormatTextRichViewEditUn.h"
#include "fmUserListUn.h"
#include "iniFileUn.h"

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
#include <QTreeWidget>

namespace {
constexpr int GroupImage = 2;
constexpr int DesignFrameWidth = 443;

QString nameOrIp(const QString &alias, const QString &ip)
{
    return alias.trimmed().isEmpty() ? ip : alias;
}

QString memberGroupCaption(const QString &authorAlias, const QString &groupName)
{
    return u'[' + authorAlias + QStringLiteral("] ") + groupName;
}
} // namespace

TTalkManager::TTalkManager(QTabWidget *pcMain, PacketTransport *transport, const SettingsStore &store,
                           TRVStyle *style, TFileRecordList *files, TTalkHooks *hooks, QWidget *dialogParent)
    : QObject(pcMain)
    , m_pcMain(pcMain)
    , m_transport(transport)
    , m_store(store)
    , m_style(style)
    , m_files(files)
    , m_hooks(hooks)
    , m_dialogParent(dialogParent)
{}

void TTalkManager::attachDispatcher(PacketDispatcher &dispatcher)
{
    dispatcher.setHandler(pkMessage, [this](const Packet &p) { ProcessMessage(p); });
    dispatcher.setHandler(pkMessageToGroup, [this](const Packet &p) { ProcessGroupMessage(p); });
    dispatcher.setHandler(pkMessageToUser, [this](const Packet &p) { ProcessUserMessage(p); });
    dispatcher.setHandler(pkUpdateInfoToGroup, [this](const Packet &p) { ProcessUpdateInfoToGroup(p); });
    dispatcher.setHandler(pkMessageToGroupRename, [this](const Packet &p) { ProcessGroupRename(p); });
    dispatcher.setHandler(pkMessageToGroupDelete, [this](const Packet &p) { ProcessGroupDelete(p); });
    dispatcher.setHandler(pkMessageToPrivateDelete, [this](const Packet &p) { ProcessPrivateDelete(p); });
}

const RUserID *TTalkManager::local() const
{
    return m_userList ? m_userList->GetPeer(0) : nullptr;
}

WireIdentity TTalkManager::localWire() const
{
    const RUserID *me = local();
    return me ? WireIdentity::fromEntry(*me) : WireIdentity{};
}

bool TTalkManager::isChecked(const QAction *action) const
{
    return action && action->isChecked();
}

int TTalkManager::iconSize() const
{
    return !m_actions.bigIcon || m_actions.bigIcon->isChecked() ? 32 : 16;
}

int TTalkManager::count() const
{
    return m_pcMain->count();
}

TfrConnectUser *TTalkManager::frame(int sheet) const
{
    return qobject_cast<TfrConnectUser *>(m_pcMain->widget(sheet));
}

int TTalkManager::sheetOf(const TfrConnectUser *talk) const
{
    return m_pcMain->indexOf(const_cast<TfrConnectUser *>(talk));
}

int TTalkManager::CreateTalk(const QString &caption, int image, TalkKind kind, int tag,
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
    auto *talk = new TfrConnectUser(m_style, data);
    talk->setSendCommands(m_actions.sendCommands);
    if (kind == tkOwnGroup)
        talk->tbGroupUser()->setVisible(true);
    // Before it is placed, a frame has its design width.
    const int frameWidth = m_pcMain->isVisible() ? m_pcMain->width() : DesignFrameWidth;
    talk->setInputPanelHeight(readHeightNewMessagePanel(m_store, frameWidth));
    connect(talk, &TfrConnectUser::inputPanelResized, this,
            [this](int height) { writeHeightNewMessagePanel(m_store, height); });
    connect(talk, &TfrConnectUser::closeRequested, this, [this, talk] { CloseTalk(sheetOf(talk)); });
    connect(talk, &TfrConnectUser::clearRequested, this, [this, talk] { ClearTextMessage(sheetOf(talk)); });
    connect(talk, &TfrConnectUser::memberMenuRequested, this,
            [this, talk](int peerIndex, QMenu *menu) { memberMenu(talk, peerIndex, menu); });
    const int index = m_pcMain->addTab(talk, ProfileImages32().icon(image), QString());
    setCaption(index, caption);
    m_pcMain->setCurrentIndex(index);
    talk->reMessage()->setFocus();
    talk->setIconSize(iconSize());
    return index;
}

bool TTalkManager::roomForIncomingTalk()
{
    if (count() < MaxTalkPages) {
        m_talkLimitNoticed = false;
        return true;
    }
    // One notice while the limit holds, not one per refused packet.
    if (!m_talkLimitNoticed && m_hooks)
        m_hooks->TalkLimitReached(MaxTalkPages);
    m_talkLimitNoticed = true;
    return false;
}

QString TTalkManager::caption(int sheet) const
{
    const TfrConnectUser *talk = frame(sheet);
    return talk ? talk->data().Caption : QString();
}

void TTalkManager::setCaption(int sheet, const QString &caption)
{
    TfrConnectUser *talk = frame(sheet);
    if (!talk)
        return;
    TalkData &data = talk->data();
    data.Caption = caption;
    // Each peer text is isolated on its own, so that neither can reorder the other or the brackets.
    const QString shown =
        data.kind == tkMemberGroup && caption == memberGroupCaption(data.AuthorAlias, data.GroupName)
            ? u'[' + PeerText::menuText(data.AuthorAlias) + QStringLiteral("] ") +
                  PeerText::menuText(data.GroupName)
        : data.kind == tkAllUsers ? caption
                                  : PeerText::menuText(caption);
    m_pcMain->setTabText(sheet, shown);
    m_pcMain->setTabToolTip(sheet, PeerText::toolTip(caption));
}

int TTalkManager::FindPrivateTalk(const QString &userId) const
{
    for (int i = 0; i < count(); ++i) {
        const TfrConnectUser *talk = frame(i);
        if (talk && talk->data().kind == tkPrivate && talk->data().PeerID == userId)
            return i;
    }
    return -1;
}

int TTalkManager::FindOwnGroupTalk(int tag) const
{
    for (int i = 0; i < count(); ++i) {
        const TfrConnectUser *talk = frame(i);
        if (talk && talk->data().kind == tkOwnGroup && talk->data().GroupTag == tag)
            return i;
    }
    return -1;
}

int TTalkManager::FindTalkByGroupID(const QString &groupId) const
{
    for (int i = 0; i < count(); ++i) {
        const TfrConnectUser *talk = frame(i);
        if (talk && (talk->data().kind == tkOwnGroup || talk->data().kind == tkMemberGroup) &&
            talk->data().GroupID == groupId)
            return i;
    }
    return -1;
}

void TTalkManager::MessageToUser()
{
    if (!m_userList)
        return;
    const RUserID *peer = m_userList->GetPeer(m_userList->SelectedUser());
    if (!peer || m_userList->SelectedUser() <= 0)
        return;
    const int existing = FindPrivateTalk(peer->ID);
    if (existing >= 0) {
        m_pcMain->setCurrentIndex(existing);
        return;
    }
    // A talk the user opens stays writable while the auto-reply answers.
    CreateTalk(DisplayName(*peer), peer->PictureIndex, tkPrivate, -1, QString(), QString(), QString(),
               peer->MAC, peer->ID, peer->IP);
}

void TTalkManager::MessageToGroup()
{
    TUserGroupBox *group = m_userList ? m_userList->ActiveGroup() : nullptr;
    const RUserID *me = local();
    if (!group || !me)
        return;
    const int existing = FindOwnGroupTalk(group->Tag());
    if (existing >= 0) {
        m_pcMain->setCurrentIndex(existing);
        return;
    }
    const int sheet = CreateTalk(group->caption(), GroupImage, tkOwnGroup, group->Tag(), group->caption(),
                                 me->Alias, group->Hint(), me->MAC, me->ID, me->IP);
    TfrConnectUser *talk = frame(sheet);
    const QTreeWidget *tree = group->tree();
    for (int i = 0; talk && i < tree->topLevelItemCount(); ++i)
        addTalkMember(talk, NodePeerIndex(tree->topLevelItem(i)));
}

QString TTalkManager::userIDList(const TfrConnectUser *talk) const
{
    QStringList ids;
    for (int k : talk->members()) {
        const RUserID *peer = k > 0 ? m_userList->GetPeer(k) : nullptr;
        if (peer && !ids.contains(peer->ID))
            ids.append(peer->ID);
    }
    return BuildUserIDList(local() ? local()->ID : QString(), ids);
}

bool TTalkManager::send(const Packet &packet, bool userMessage)
{
    if (packet.isEmpty() || !m_transport)
        return false;
    if (m_transport->SendPacket(packet))
        return true;
    if (userMessage)
        MessageBox::error(m_dialogParent, ConstUnit::text(ConstUnit::Text::ErrorWhenSend));
    return false;
}

bool TTalkManager::SendMessage(int sheet, bool fromAutoReply)
{
    if (sheet < 0)
        sheet = m_pcMain->currentIndex();
    TfrConnectUser *talk = frame(sheet);
    const RUserID *me = local();
    if (!talk || !me)
        return false;
    QTextEdit *editor = talk->reMessage();
    if (editor->isReadOnly() && !fromAutoReply)
        return false;
    const QString body = EncodeMessageText(editor->document(), me->ID, me->IP);
    const QStringList offered = EditorFilePaths(editor->document());
    const WireIdentity wire = localWire();
    const TalkData &data = talk->data();
    const GroupTalkWire group{data.GroupID, data.PeerID,      data.PeerIP,
                              data.PeerMAC, data.AuthorAlias, data.GroupName};
    Packet packet;
    switch (data.kind) {
    case tkAllUsers:
        packet = BuildMessagePacket(wire, body);
        break;
    case tkOwnGroup:
        // A talk re-created from its own echo has no contact group to speak for.
        if (data.GroupTag != -1)
            packet = BuildGroupMessagePacket(userIDList(talk), group, wire, body);
        break;
    case tkMemberGroup:
        packet = BuildGroupMessagePacket(userIDList(talk), group, wire, body);
        break;
    case tkPrivate:
        packet = BuildUserMessagePacket(data.PeerID, wire, body, fromAutoReply);
        AppendMessage(sheet, me->ID, me->IP, body, me->Color, me->PictureIndex, me->Alias);
        break;
    }
    // A failed send shows a box whose event loop may see the talk closed.
    const QPointer<QTextEdit> input = editor;
    const bool sent = packet.isEmpty() || send(packet, true);
    if (sent && !packet.isEmpty() && !offered.isEmpty() && m_hooks)
        m_hooks->FilesOffered(offered);
    if (!input)
        return sent;
    input->clear();
    input->setCurrentCharFormat(m_style ? m_style->charFormat(0) : QTextCharFormat());
    return sent;
}

void TTalkManager::destroyTalk(int sheet)
{
    TfrConnectUser *talk = frame(sheet);
    if (!talk || sheet == 0)
        return;
    if (m_hooks)
        m_hooks->SaveTalkHistory(sheet);
    m_pcMain->removeTab(sheet);
    talk->deleteLater();
}

void TTalkManager::CloseTalk(int sheet)
{
    TfrConnectUser *talk = frame(sheet);
    if (!talk || sheet <= 0)
        return;
    const TalkData &data = talk->data();
    if (data.kind == tkPrivate)
        send(BuildPrivateDeletePacket(data.PeerID, localWire()), false);
    else if (data.kind == tkOwnGroup)
        send(BuildGroupTalkDeletePacket(
                 {data.GroupID, data.PeerID, data.PeerIP, data.PeerMAC, data.AuthorAlias, data.GroupName}),
             false);
    destroyTalk(sheet);
}

void TTalkManager::ClearTextMessage(int sheet)
{
    TfrConnectUser *talk = frame(sheet);
    if (!talk)
        return;
    if (m_hooks)
        m_hooks->SaveTalkHistory(sheet);
    talk->reAllMessage()->clear();
}

void TTalkManager::ClearDialogParametr()
{
    ResetDialogAnswers(m_store);
}

bool TTalkManager::isSenderBlocked(const QString &id) const
{
    if (id.isEmpty() || !m_userList)
        return false;
    const TPeerList &peers = m_userList->peers();
    for (int i = 1; i < peers.count(); ++i) {
        const RUserID *peer = peers.GetPeer(i);
        if (peer->Online == 1 && peer->ID == id && peer->Blocked)
            return true;
    }
    return false;
}

void TTalkManager::notifyMessage(const QString &alias, int sheet, int picture, const QString &ip)
{
    if (!m_hooks)
        return;
    m_hooks->Notify(ConstUnit::text(ConstUnit::Text::MessageFromUser), alias, sheet, picture, ip);
    m_hooks->PlayEventSound(SoundNewMessage);
}

void TTalkManager::ProcessMessage(const Packet &text)
{
    const TDataNewMessage m(text);
    const QString id = m.GetID();
    if (isSenderBlocked(id))
        return;
    AppendMessage(0, id, m.GetIP(), m.GetMessageStr(), m.GetColor(), m.GetImageIndex(), m.GetAlias());
    notifyMessage(m.GetAlias(), 0, m.GetImageIndex(), m.GetIP());
}

void TTalkManager::ProcessGroupMessage(const Packet &text)
{
    const TDataNewMessage m(text);
    const RUserID *me = local();
    const QString id = m.GetID();
    if (!me || isSenderBlocked(id) || !m.IsUserInList(me->ID))
        return;
    const QString groupId = m.GetGroupID();
    int lastSheet = -1;
    for (int i = 1; i < count(); ++i) {
        const TfrConnectUser *talk = frame(i);
        if (talk && (talk->data().kind == tkOwnGroup || talk->data().kind == tkMemberGroup) &&
            talk->data().GroupID == groupId) {
            AppendMessage(i, id, m.GetIP(), m.GetMessageStr(), m.GetColor(), m.GetImageIndex(), m.GetAlias());
            lastSheet = i;
        }
    }
    if (lastSheet < 0) {
        if (isChecked(m_actions.notTalkGroup) || !roomForIncomingTalk())
            return;
        const QString authorId = m.GetAutorGroupID();
        const QString authorIp = m.GetAutorGroupIP();
        const QString authorAlias = nameOrIp(m.GetAutorGroupAliase(), authorIp);
        const QString groupName = m.GetGroupName();
        const bool mine = authorId == me->ID;
        lastSheet = CreateTalk(mine ? groupName : memberGroupCaption(authorAlias, groupName), GroupImage,
                               mine ? tkOwnGroup : tkMemberGroup, -1, groupName, authorAlias, groupId,
                               m.GetAutorGroupMAC(), authorId, authorIp);
        QStringList ids;
        m.GetUserIDList(&ids);
        for (const QString &member : std::as_const(ids))
            addMemberById(frame(lastSheet), member);
        AppendMessage(lastSheet, id, m.GetIP(), m.GetMessageStr(), m.GetColor(), m.GetImageIndex(),
                      m.GetAlias());
    }
    notifyMessage(m.GetAlias(), lastSheet, m.GetImageIndex(), m.GetIP());
}

void TTalkManager::ProcessUserMessage(const Packet &text)
{
    const TDataNewMessage m(text);
    const RUserID *me = local();
    if (!me || m.GetFromUserID() != me->ID)
        return;
    const QString id = m.GetID();
    int lastSheet = -1;
    for (int i = 1; i < count(); ++i) {
        const TfrConnectUser *talk = frame(i);
        if (talk && talk->data().kind == tkPrivate && talk->data().PeerID == id) {
            AppendMessage(i, id, m.GetIP(), m.GetMessageStr(), m.GetColor(), m.GetImageIndex(), m.GetAlias());
            lastSheet = i;
        }
    }
    if (lastSheet < 0) {
        if (isSenderBlocked(id) || isChecked(m_actions.notTalkPrivate) || !m_userList)
            return;
        const std::optional<PeerNode> node = m_userList->FindPeerNode(id);
        const RUserID *peer = node ? m_userList->GetPeer(NodePeerIndex(node->item)) : nullptr;
        if (!peer || !roomForIncomingTalk())
            return;
        lastSheet = CreateTalk(DisplayName(*peer), peer->PictureIndex, tkPrivate, -1, QString(), QString(),
                               QString(), peer->MAC, peer->ID, peer->IP);
        setPrivateInputLocked(isChecked(m_actions.answeringMachine));
        AppendMessage(lastSheet, id, m.GetIP(), m.GetMessageStr(), m.GetColor(), m.GetImageIndex(),
                      m.GetAlias());
    }
    notifyMessage(m.GetAlias(), lastSheet, m.GetImageIndex(), m.GetIP());
    if (!m.IsAutoReply() && m_hooks)
        m_hooks->AutoReply(lastSheet);
}

void TTalkManager::ProcessUpdateInfoToGroup(const Packet &text)
{
    const TDataNewMessage m(text);
    const RUserID *me = local();
    const int sheet = FindTalkByGroupID(m.GetGroupID());
    TfrConnectUser *talk = frame(sheet);
    if (!me || !talk || talk->data().PeerID == me->ID)
        return;
    QStringList ids;
    m.GetUserIDList(&ids);
    if (!ids.contains(me->ID)) {
        destroyTalk(sheet);
        return;
    }
    for (int k : talk->members()) {
        const RUserID *peer = m_userList->GetPeer(k);
        if (!peer || !ids.contains(peer->ID))
            talk->removeMember(k);
    }
    for (const QString &id : std::as_const(ids))
        addMemberById(talk, id);
}

void TTalkManager::ProcessGroupRename(const Packet &text)
{
    const TDataNewMessage m(text);
    const QString author = nameOrIp(m.GetAutorGroupAliase(), m.GetAutorGroupIP());
    const QString groupName = m.GetGroupName();
    for (int i = 0; i < count(); ++i) {
        TfrConnectUser *talk = frame(i);
        if (!talk || (talk->data().kind != tkOwnGroup && talk->data().kind != tkMemberGroup) ||
            talk->data().GroupID != m.GetGroupID())
            continue;
        talk->data().AuthorAlias = author;
        talk->data().GroupName = groupName;
        setCaption(i, talk->data().kind == tkOwnGroup ? groupName : memberGroupCaption(author, groupName));
    }
}

void TTalkManager::ProcessGroupDelete(const Packet &text)
{
    const TDataNewMessage m(text);
    const RUserID *me = local();
    const int sheet = FindTalkByGroupID(m.GetGroupID());
    const TfrConnectUser *talk = frame(sheet);
    if (!me || !talk || talk->data().PeerID == me->ID)
        return;
    TfmInformation::ShowGroupClosed(m_dialogParent, m_store,
                                    nameOrIp(m.GetAutorGroupAliase(), m.GetAutorGroupIP()), caption(sheet));
    destroyTalk(FindTalkByGroupID(m.GetGroupID()));
}

void TTalkManager::ProcessPrivateDelete(const Packet &text)
{
    const TDataNewMessage m(text);
    const RUserID *me = local();
    if (!me || m.GetFromUserID() != me->ID)
        return;
    int sheet = -1;
    for (int i = 1; i < count(); ++i) {
        const TfrConnectUser *talk = frame(i);
        if (talk && talk->data().kind == tkPrivate && talk->data().PeerID == m.GetID())
            sheet = i;
    }
    if (sheet < 0)
        return;
    // The question runs its own event loop, in which other packets may close the talk.
    const QPointer<TfrConnectUser> talk = frame(sheet);
    if (TfmInformation::AskPrivateClose(m_dialogParent, m_store, nameOrIp(m.GetAlias(), m.GetIP())) ==
            PrivateCloseAnswer::Close &&
        talk)
        destroyTalk(sheetOf(talk));
}

int TTalkManager::SenderTextStyle(const QString &id, qint32 color)
{
    return m_style ? m_style->SenderTextStyle(id, color) : 0;
}

void TTalkManager::AppendMessage(int sheet, const QString &id, const QString &ip, const QString &body,
                                 qint32 color, int picture, const QString &alias)
{
    TfrConnectUser *talk = frame(sheet);
    if (!talk || !m_style)
        return;
    if (talk->reAllMessage()->document()->blockCount() >= m_transcriptLimit)
        ClearTextMessage(sheet);
    QTextEdit *transcript = talk->reAllMessage();
    QTextDocument *doc = transcript->document();
    const QString name = alias.isEmpty() ? ip : alias;
    QTextCursor cursor(doc);
    cursor.movePosition(QTextCursor::End);
    QStringList files;
    // One edit block for the whole message: the document is laid out once, not after every item.
    cursor.beginEditBlock();
    try {
        if (!doc->isEmpty())
            AppendNewParagraph(cursor, *m_style, 1);
        if (!m_actions.showPicture || m_actions.showPicture->isChecked()) {
            AppendBullet(cursor, ProfileImages32(), picture < 0 ? 0 : picture);
        }
        QString header = u'[' + PeerText::name(name) + u']';
        if (isChecked(m_actions.showUserIP))
            header += QStringLiteral(" IP:") + ip;
        if (!m_actions.showTime || m_actions.showTime->isChecked())
            header += u' ' + QTime::currentTime().toString(QStringLiteral("hh.mm"));
        AppendTextItem(cursor, header, *m_style, 1);
        AppendNewParagraph(cursor, *m_style, 1);
        DecodeContext context;
        context.cursor = cursor;
        context.textStyle = SenderTextStyle(id, color);
        context.style = m_style;
        context.pictures = &ProfileImages32();
        context.collectedFiles = &files;
        context.fileRecords = m_files;
        context.myId = local() ? local()->ID : QString();
        context.animations = m_animations;
        DecodeMessageText(context, body);
        if (local() && id != local()->ID && !files.isEmpty() && m_hooks)
            m_hooks->OfferFiles(files, picture, ip, name);
    } catch (...) {
    }
    cursor.endEditBlock();
    // Straight to the end: one step per item would grow with the transcript.
    EnsureLayout(doc);
    transcript->verticalScrollBar()->setValue(transcript->verticalScrollBar()->maximum());
}

void TTalkManager::NotifyTalks(int peerIndex, const QString &ip, bool connected, const QString &id,
                               qint32 color, int picture, const QString &alias)
{
    const QString body = ConstUnit::Format(
        ConstUnit::text(connected ? ConstUnit::Text::ConnectUser : ConstUnit::Text::DisconnectUser),
        {PeerText::name(nameOrIp(alias, ip))});
    for (int i = 1; i < count(); ++i) {
        const TfrConnectUser *talk = frame(i);
        if (!talk)
            continue;
        if ((talk->data().kind == tkPrivate && talk->data().PeerID == id) || talk->hasMember(peerIndex))
            AppendMessage(i, id, ip, body, color, picture, alias);
    }
}

void TTalkManager::addTalkMember(TfrConnectUser *talk, int peerIndex)
{
    const std::optional<PeerNode> node = [&]() -> std::optional<PeerNode> {
        const RUserID *peer = m_userList ? m_userList->GetPeer(peerIndex) : nullptr;
        return peer && peerIndex > 0 ? m_userList->FindPeerNode(peer->ID) : std::nullopt;
    }();
    if (!talk || !node)
        return;
    const QTreeWidgetItem *item = node->item;
    const QPixmap picture =
        (iconSize() == 32 ? ProfileImages32() : ProfileImages16()).pixmap(item->data(0, PictureRole).toInt());
    const RUserID *peer = m_userList->GetPeer(peerIndex);
    // Membership is by user: a member who came back as a new entry keeps the one item.
    for (int k : talk->members()) {
        const RUserID *member = k != peerIndex ? m_userList->GetPeer(k) : nullptr;
        if (member && member->ID == peer->ID) {
            talk->retagMember(k, peerIndex);
            if (QAction *existing = talk->memberItem(peerIndex)) {
                existing->setText(PeerText::menuText(DisplayName(*peer)));
                existing->setIcon(QIcon(picture));
            }
            return;
        }
    }
    talk->addMember(peerIndex, DisplayName(*peer), QIcon(picture), item->data(0, CutStateRole).toBool());
}

void TTalkManager::addMemberById(TfrConnectUser *talk, const QString &id)
{
    if (!talk || !m_userList)
        return;
    const std::optional<PeerNode> node = m_userList->FindPeerNode(id);
    if (node)
        addTalkMember(talk, NodePeerIndex(node->item));
}

void TTalkManager::memberMenu(TfrConnectUser *talk, int peerIndex, QMenu *menu)
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

void TTalkManager::SendMemberUpdate(int sheet)
{
    const TfrConnectUser *talk = frame(sheet);
    const RUserID *me = local();
    if (!talk || !me || talk->data().PeerID != me->ID)
        return;
    const TalkData &data = talk->data();
    send(BuildUpdateInfoToGroupPacket(
             userIDList(talk),
             {data.GroupID, data.PeerID, data.PeerIP, data.PeerMAC, data.AuthorAlias, data.GroupName},
             localWire()),
         false);
}

void TTalkManager::MemberAdded(int groupNumber, int peerIndex)
{
    const int sheet = FindOwnGroupTalk(groupNumber);
    if (sheet < 0)
        return;
    addTalkMember(frame(sheet), peerIndex);
    SendMemberUpdate(sheet);
}

void TTalkManager::MemberRemoved(int groupNumber, int peerIndex)
{
    const int sheet = FindOwnGroupTalk(groupNumber);
    if (sheet < 0)
        return;
    frame(sheet)->removeMember(peerIndex);
    SendMemberUpdate(sheet);
}

void TTalkManager::PeerRenamed(const QString &id, const QString &displayName, int picture)
{
    const int sheet = FindPrivateTalk(id);
    if (sheet >= 0) {
        setCaption(sheet, displayName);
        m_pcMain->setTabIcon(sheet, ProfileImages32().icon(picture));
    }
    // Member items show the peer's name and picture; a member group talk names its author.
    const std::optional<PeerNode> node = m_userList ? m_userList->FindPeerNode(id) : std::nullopt;
    const int peerIndex = node ? NodePeerIndex(node->item) : 0;
    const TImageList &pictures = iconSize() == 32 ? ProfileImages32() : ProfileImages16();
    for (int i = 1; i < count(); ++i) {
        TfrConnectUser *talk = frame(i);
        if (!talk)
            continue;
        if (QAction *item = peerIndex > 0 ? talk->memberItem(peerIndex) : nullptr) {
            item->setText(PeerText::menuText(displayName));
            item->setToolTip(PeerText::toolTip(displayName));
            item->setIcon(pictures.icon(picture));
        }
        if (talk->data().kind == tkMemberGroup && talk->data().PeerID == id) {
            talk->data().AuthorAlias = displayName;
            setCaption(i, memberGroupCaption(displayName, talk->data().GroupName));
        }
    }
}

void TTalkManager::PeerLeft(const QString &displayName, const QString &id)
{
    for (int i = count() - 1; i >= 1; --i) {
        // The questions run their own event loops, in which other packets may close talks.
        const QPointer<TfrConnectUser> talk = frame(i);
        if (!talk || talk->data().PeerID != id)
            continue;
        if (talk->data().kind == tkPrivate) {
            if (TfmInformation::AskPrivateClose(m_dialogParent, m_store, displayName) !=
                    PrivateCloseAnswer::Leave &&
                talk)
                destroyTalk(sheetOf(talk));
        } else if (talk->data().kind == tkMemberGroup) {
            TfmInformation::ShowGroupClosed(m_dialogParent, m_store, displayName, caption(i));
            if (talk)
                destroyTalk(sheetOf(talk));
        }
    }
}

void TTalkManager::SendGroupRename(const QString &groupId, const QString &caption)
{
    send(BuildContactGroupRenamePacket(groupId, localWire(), caption), false);
}

void TTalkManager::SendGroupDelete(const QString &groupId, const QString &caption)
{
    send(BuildContactGroupDeletePacket(groupId, localWire(), caption), false);
}

void TTalkManager::CloseOwnGroupTalk(int tag)
{
    const int sheet = FindOwnGroupTalk(tag);
    if (sheet >= 0)
        destroyTalk(sheet);
}

void TTalkManager::SetMemberBlocked(int peerIndex, bool blocked)
{
    for (int i = 0; i < count(); ++i) {
        if (TfrConnectUser *talk = frame(i))
            talk->setMemberBlocked(peerIndex, blocked);
    }
}

void TTalkManager::applyIconSize()
{
    const int size = iconSize();
    m_pcMain->setIconSize(QSize(size, size));
    for (int i = 0; i < count(); ++i) {
        TfrConnectUser *talk = frame(i);
        if (!talk)
            continue;
        talk->setIconSize(size);
        const TImageList &pictures = size == 32 ? ProfileImages32() : ProfileImages16();
        for (QAction *item : talk->tbGroupUser()->actions()) {
            const RUserID *peer = m_userList ? m_userList->GetPeer(item->data().toInt()) : nullptr;
            if (peer)
                item->setIcon(pictures.icon(peer->PictureIndex));
        }
    }
}

void TTalkManager::setPrivateInputLocked(bool locked)
{
    for (int i = 1; i < count(); ++i) {
        TfrConnectUser *talk = frame(i);
        if (!talk || talk->data().kind != tkPrivate)
            continue;
        QTextEdit *editor = talk->reMessage();
        editor->setReadOnly(locked);
        // A style sheet, since the page control's own style sheet would put a palette back.
        editor->setStyleSheet(locked ? QStringLiteral("QTextEdit { background-color: %1; }")
                                           .arg(QApplication::palette().color(QPalette::Button).name())
                                     : QString());
    }
}

QString MailAddressList(const TPeerList &peers, int groupNumber)
{
    QString list;
    for (int i = 1; i < peers.count(); ++i) {
        const RUserID *peer = peers.GetPeer(i);
        if (peer->Online != 1 || peer->EMail.isEmpty())
            continue;
        if (groupNumber != -1 && peer->GroupNumber != groupNumber)
            continue;
        list += peer->EMail + u';';
    }
    if (list.endsWith(u';'))
        list.chop(1);
    return list;
}

void TTalkManager::MailUser()
{
    const RUserID *peer = m_userList ? m_userList->GetPeer(m_userList->SelectedUser()) : nullptr;
    if (peer && m_userList->SelectedUser() > 0)
        ShellOpen::open(QStringLiteral("MailTo:") + peer->EMail);
}

void TTalkManager::MailGroup()
{
    const TUserGroupBox *group = m_userList ? m_userList->ActiveGroup() : nullptr;
    if (group)
        ShellOpen::open(QStringLiteral("MailTo:") + MailAddressList(m_userList->peers(), group->Tag()));
}

void TTalkManager::MailAll()
{
    if (m_userList)
        ShellOpen::open(QStringLiteral("MailTo:") + MailAddressList(m_userList->peers()));
}

void TTalkManager::MailEmpty()
{
    ShellOpen::open(QStringLiteral("MailTo: "));
}
