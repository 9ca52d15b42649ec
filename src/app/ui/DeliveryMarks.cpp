#include "app/ui/DeliveryMarks.h"

#include "app/Delivery.h"
#include "features/ui/PeerText.h"
#include "peers/PeerList.h"
#include "peers/PeerRegistry.h"
#include "talks/TalkCore.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/frConnectUserUn.h"

#include <QAbstractTextDocumentLayout>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScrollBar>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextImageFormat>
#include <QToolTip>
#include <QUrl>

namespace {

// Formats only the transcript on screen has; the history is written from the peer's own transcript.
constexpr int TranscriptOnly = QTextFormat::UserProperty + 30;
constexpr int MarkMessage = TranscriptOnly + 1;
constexpr char WatchedProperty[] = "perixDeliveryMarks";

} // namespace

DeliveryMarks::DeliveryMarks(Delivery *delivery, PeerRegistry *registry, TalkManager *talks, QObject *parent)
    : QObject(parent)
    , m_delivery(delivery)
    , m_registry(registry)
    , m_talks(talks)
{
    connect(m_delivery, &Delivery::messageSending, this, &DeliveryMarks::sending);
    connect(m_talks, &TalkManager::messageShown, this, &DeliveryMarks::shown);
    connect(m_delivery, &Delivery::messageDelivered, this, [this](int, quint64 id, const QStringList &users) {
        auto it = m_marks.find(id);
        if (it == m_marks.end())
            return;
        for (const QString &user : users) {
            if (!it->second.delivered.contains(user))
                it->second.delivered.append(user);
        }
        update(id);
    });
    connect(m_delivery, &Delivery::messageSettled, this,
            [this](int, quint64 id, const QStringList &delivered, const QStringList &notDelivered) {
                auto it = m_marks.find(id);
                if (it == m_marks.end())
                    return;
                Mark &mark = it->second;
                mark.delivered = delivered;
                mark.notDelivered = notDelivered;
                if (mark.state != State::Waiting)
                    mark.state = notDelivered.isEmpty() ? State::Delivered : State::NotDelivered;
                update(id);
            });
    connect(m_delivery, &Delivery::messageWaiting, this,
            [this](int, quint64 id, qint64 waitingId, const QString &, const QString &name) {
                auto it = m_marks.find(id);
                if (id == 0 || it == m_marks.end())
                    return;
                it->second.state = State::Waiting;
                it->second.waitingId = waitingId;
                it->second.waitingFor = name;
                m_waiting.insert(waitingId, id);
                update(id);
            });
    // A waiting message goes out under a new number; its picture follows it.
    connect(m_delivery, &Delivery::waitingSent, this, [this](qint64 waitingId, quint64 id) {
        const quint64 old = m_waiting.take(waitingId);
        auto it = m_marks.find(old);
        if (it == m_marks.end())
            return;
        Mark mark = it->second;
        m_marks.erase(it);
        mark.state = State::Sending;
        mark.waitingId = 0;
        mark.delivered.clear();
        mark.notDelivered.clear();
        m_marks[id] = mark;
        update(id);
    });
    connect(m_delivery, &Delivery::waitingDropped, this, [this](qint64 waitingId, bool) {
        const quint64 id = m_waiting.take(waitingId);
        auto it = m_marks.find(id);
        if (it == m_marks.end())
            return;
        it->second.state = State::NotDelivered;
        it->second.waitingId = 0;
        update(id);
    });
}

QString DeliveryMarks::resourceName(State state)
{
    switch (state) {
    case State::Sending:
        return QStringLiteral("perix-delivery:sending");
    case State::Delivered:
        return QStringLiteral("perix-delivery:delivered");
    case State::NotDelivered:
        return QStringLiteral("perix-delivery:not-delivered");
    case State::Waiting:
        return QStringLiteral("perix-delivery:waiting");
    }
    return {};
}

QImage DeliveryMarks::picture(State state, qreal ratio)
{
    const int side = qRound(SizePx * ratio);
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(ratio);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = SizePx;
    switch (state) {
    case State::Sending: {
        // A clock: the message is on its way.
        p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1.4));
        p.drawEllipse(QRectF(1.5, 1.5, s - 3, s - 3));
        p.drawLine(QPointF(s / 2, s / 2), QPointF(s / 2, 3.5));
        p.drawLine(QPointF(s / 2, s / 2), QPointF(s - 4, s / 2));
        break;
    }
    case State::Delivered: {
        p.setPen(QPen(QColor(0x2e, 0x9e, 0x44), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath tick;
        tick.moveTo(2.0, s * 0.55);
        tick.lineTo(s * 0.42, s - 2.5);
        tick.lineTo(s - 1.5, 2.5);
        p.drawPath(tick);
        break;
    }
    case State::NotDelivered: {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xd0, 0x33, 0x2b));
        p.drawEllipse(QRectF(0.5, 0.5, s - 1, s - 1));
        p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(s / 2, 2.8), QPointF(s / 2, s * 0.6));
        p.drawPoint(QPointF(s / 2, s - 2.8));
        break;
    }
    case State::Waiting: {
        // An hourglass: it waits for its addressee.
        p.setPen(QPen(QColor(0x2f, 0x6f, 0xbf), 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(QColor(0x2f, 0x6f, 0xbf, 90));
        QPainterPath glass;
        glass.moveTo(2.5, 1.5);
        glass.lineTo(s - 2.5, 1.5);
        glass.lineTo(s / 2, s / 2);
        glass.lineTo(s - 2.5, s - 1.5);
        glass.lineTo(2.5, s - 1.5);
        glass.lineTo(s / 2, s / 2);
        glass.closeSubpath();
        p.drawPath(glass);
        break;
    }
    }
    return image;
}

QTextEdit *DeliveryMarks::transcriptOf(int talkId) const
{
    const int sheet = m_talks->sheetOfTalk(talkId);
    TfrConnectUser *frame = sheet >= 0 ? m_talks->frame(sheet) : nullptr;
    return frame ? frame->reAllMessage() : nullptr;
}

void DeliveryMarks::sending(int talkId, quint64 messageId, const QStringList &addressees)
{
    if (const auto it = m_marks.find(messageId); it != m_marks.end()) {
        it->second.state = State::Sending;
        it->second.addressees = addressees;
        update(messageId);
        return;
    }
    Mark mark;
    mark.talkId = talkId;
    mark.addressees = addressees;
    m_marks[messageId] = mark;
    while (int(m_marks.size()) > MaxMessages)
        m_marks.erase(m_marks.begin());
    std::deque<quint64> &unshown = m_unshown[talkId];
    unshown.push_back(messageId);
    while (int(unshown.size()) > MaxPendingPerTalk)
        unshown.pop_front();
    pair(talkId);
}

void DeliveryMarks::shown(int sheet, const QString &senderId, int headerEnd)
{
    const RUserID *local = m_registry->local();
    TfrConnectUser *frame = m_talks->frame(sheet);
    if (!local || senderId != local->ID || !frame)
        return;
    QTextCursor at(frame->reAllMessage()->document());
    at.setPosition(headerEnd);
    std::deque<QTextCursor> &headers = m_headers[frame->talkId()];
    headers.push_back(at);
    while (int(headers.size()) > MaxPendingPerTalk)
        headers.pop_front();
    pair(frame->talkId());
}

void DeliveryMarks::pair(int talkId)
{
    std::deque<quint64> &unshown = m_unshown[talkId];
    std::deque<QTextCursor> &headers = m_headers[talkId];
    while (!unshown.empty() && !headers.empty()) {
        const quint64 id = unshown.front();
        QTextCursor at = headers.front();
        unshown.pop_front();
        headers.pop_front();
        auto it = m_marks.find(id);
        if (it == m_marks.end() || at.isNull())
            continue;
        QTextImageFormat format;
        format.setName(resourceName(State::Sending));
        format.setProperty(MarkMessage, qint64(id));
        format.setProperty(TranscriptOnly, true);
        const int position = at.position();
        QTextCharFormat gap = at.charFormat();
        gap.setProperty(TranscriptOnly, true);
        at.insertText(QStringLiteral(" "), gap);
        at.insertImage(format);
        it->second.at = QTextCursor(at.document());
        it->second.at.setPosition(position + 1);
        it->second.anchored = true;
        if (QTextEdit *transcript = transcriptOf(talkId))
            watch(transcript);
        update(id);
    }
}

void DeliveryMarks::watch(QTextEdit *transcript)
{
    QWidget *viewport = transcript->viewport();
    if (viewport->property(WatchedProperty).toBool())
        return;
    viewport->setProperty(WatchedProperty, true);
    viewport->installEventFilter(this);
}

QString DeliveryMarks::names(const QStringList &ids) const
{
    QStringList shown;
    const PeerList &peers = m_registry->peers();
    for (const QString &id : ids) {
        QString name;
        for (int k = 1; k < peers.count() && name.isEmpty(); ++k) {
            const RUserID *peer = peers.GetPeer(k);
            if (peer && peer->ID == id)
                name = DisplayName(*peer);
        }
        shown.append(PeerText::name(name.isEmpty() ? id : name));
    }
    return shown.join(QStringLiteral(", "));
}

QString DeliveryMarks::toolTip(const Mark &mark) const
{
    const qsizetype total = mark.delivered.size() + mark.notDelivered.size();
    const bool several = mark.addressees.size() > 1 || total > 1;
    switch (mark.state) {
    case State::Sending:
        return tr("Sending");
    case State::Delivered:
        if (!several)
            return tr("Delivered to %1").arg(names(mark.delivered));
        return tr("Delivered to %1 of %2: %3")
            .arg(mark.delivered.size())
            .arg(total)
            .arg(names(mark.delivered));
    case State::NotDelivered: {
        QString text = tr("Not delivered to %1").arg(names(mark.notDelivered));
        if (several)
            text += u'\n' + tr("Delivered to %1 of %2").arg(mark.delivered.size()).arg(total);
        return text + u'\n' + tr("Click to send it again");
    }
    case State::Waiting:
        return tr("Waiting for %1").arg(PeerText::name(mark.waitingFor)) + u'\n' + tr("Click to cancel");
    }
    return {};
}

void DeliveryMarks::update(quint64 messageId)
{
    auto it = m_marks.find(messageId);
    if (it == m_marks.end() || !it->second.anchored)
        return;
    const Mark &mark = it->second;
    QTextCursor c = mark.at;
    QTextDocument *doc = c.document();
    if (!doc || c.position() >= doc->characterCount() - 1)
        return;
    c.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    const QTextCharFormat current = c.charFormat();
    // The transcript may have been cleared since: only our own picture is changed.
    if (!current.isImageFormat() || current.property(MarkMessage).toLongLong() != qint64(messageId))
        return;
    const QString name = resourceName(mark.state);
    if (doc->resource(QTextDocument::ImageResource, QUrl(name)).isNull()) {
        QTextEdit *transcript = transcriptOf(mark.talkId);
        const qreal ratio = transcript ? transcript->devicePixelRatioF() : 1.0;
        doc->addResource(QTextDocument::ImageResource, QUrl(name), picture(mark.state, ratio));
    }
    QTextImageFormat format = current.toImageFormat();
    format.setName(name);
    format.setWidth(SizePx);
    format.setHeight(SizePx);
    // Plain: the event filter shows it, never as markup.
    format.setToolTip(toolTip(mark));
    c.setCharFormat(format);
}

bool DeliveryMarks::stateOf(quint64 messageId, State *state, QString *tip) const
{
    const auto it = m_marks.find(messageId);
    if (it == m_marks.end())
        return false;
    if (state)
        *state = it->second.state;
    if (tip)
        *tip = toolTip(it->second);
    return true;
}

quint64 DeliveryMarks::messageAt(QTextEdit *transcript, int position) const
{
    QTextCursor c(transcript->document());
    if (position < 0 || position >= transcript->document()->characterCount() - 1)
        return 0;
    c.setPosition(position);
    c.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    const QTextCharFormat format = c.charFormat();
    return format.isImageFormat() ? quint64(format.property(MarkMessage).toLongLong()) : 0;
}

bool DeliveryMarks::activate(quint64 messageId)
{
    const auto it = m_marks.find(messageId);
    if (it == m_marks.end())
        return false;
    if (it->second.state == State::Waiting)
        return m_delivery->cancelWaiting(it->second.waitingId);
    if (it->second.state == State::NotDelivered) {
        it->second.state = State::Sending;
        update(messageId);
        if (m_delivery->resend(messageId))
            return true;
        it->second.state = State::NotDelivered;
        update(messageId);
    }
    return false;
}

bool DeliveryMarks::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::ToolTip && type != QEvent::MouseButtonRelease)
        return false;
    auto *viewport = qobject_cast<QWidget *>(watched);
    auto *edit = viewport ? qobject_cast<QTextEdit *>(viewport->parentWidget()) : nullptr;
    if (!edit || edit->viewport() != viewport)
        return false;
    QPoint local;
    QPoint global;
    if (type == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        local = help->pos();
        global = help->globalPos();
    } else {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        local = mouse->position().toPoint();
        global = mouse->globalPosition().toPoint();
    }
    const QPointF point(local.x() + edit->horizontalScrollBar()->value(),
                        local.y() + edit->verticalScrollBar()->value());
    const int hit = edit->document()->documentLayout()->hitTest(point, Qt::ExactHit);
    const quint64 id = messageAt(edit, hit);
    State state = State::Sending;
    QString tip;
    if (id == 0 || !stateOf(id, &state, &tip))
        return false;
    if (type == QEvent::ToolTip) {
        QToolTip::showText(global, PeerText::toolTip(tip), edit);
        return true;
    }
    if (state != State::NotDelivered && state != State::Waiting)
        return false;
    auto *menu = new QMenu(edit);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction *command = menu->addAction(state == State::Waiting ? tr("Cancel") : tr("Resend"));
    connect(command, &QAction::triggered, this, [this, id] { activate(id); });
    menu->popup(global);
    return true;
}
