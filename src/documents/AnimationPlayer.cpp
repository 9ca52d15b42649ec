#include "documents/AnimationPlayer.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QTextLayout>
#include <QUrl>

#include <algorithm>

namespace {

constexpr qint64 CoalesceMs = 15;

// The format of the one character at the position, or an invalid format.
QTextCharFormat formatAt(const QTextDocument *doc, int position)
{
    const QTextBlock block = doc->findBlock(position);
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (position >= fragment.position() && position < fragment.position() + fragment.length())
            return fragment.charFormat();
    }
    return {};
}

} // namespace

AnimationPlayer::AnimationPlayer(const AnimationLibrary &library, QObject *parent)
    : QObject(parent)
    , m_library(library)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &AnimationPlayer::tick);
    m_clock.start();
}

AnimationPlayer::~AnimationPlayer() = default;

bool AnimationPlayer::adopt(QTextDocument *doc, int position, int number, Place place)
{
    const AnimationFrames *frames = m_library.frames(number);
    if (!doc || !frames || position < 0 || position >= doc->characterCount() - 1)
        return false;
    QTextCursor cursor(doc);
    cursor.setPosition(position);
    cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
    const QTextCharFormat format = cursor.charFormat();
    if (!format.isImageFormat())
        return false;
    Instance a;
    a.doc = doc;
    a.resource = QStringLiteral("perix-animation:%1").arg(++m_serial);
    a.frames = frames;
    a.number = number;
    a.place = place;
    a.due = m_clock.elapsed() + frames->delays.first();
    show(a, false);
    QTextImageFormat image = format.toImageFormat();
    image.setName(a.resource);
    cursor.setCharFormat(image);
    a.cursor = QTextCursor(doc);
    a.cursor.setPosition(position);
    watch(doc);
    m_instances.push_back(a);
    schedule();
    return true;
}

bool AnimationPlayer::runs(const Instance &a) const
{
    return a.place == Place::Editor || (!m_stopped && !m_hidden);
}

bool AnimationPlayer::hides(const Instance &a) const
{
    return a.place == Place::Transcript && m_hidden;
}

bool AnimationPlayer::stillThere(const Instance &a) const
{
    if (!a.doc || a.cursor.isNull() || a.cursor.document() != a.doc)
        return false;
    const QTextCharFormat format = formatAt(a.doc, a.cursor.position());
    return format.isImageFormat() && format.toImageFormat().name() == a.resource;
}

void AnimationPlayer::dropGone(bool changedOnly)
{
    std::erase_if(m_instances, [this, changedOnly](const Instance &a) {
        return !a.doc || ((!changedOnly || m_changed.contains(a.doc)) && !stillThere(a));
    });
    m_changed.clear();
}

void AnimationPlayer::watch(QTextDocument *doc)
{
    if (m_known.contains(doc))
        return;
    m_known.insert(doc);
    connect(doc, &QTextDocument::contentsChanged, this, [this, doc] { m_changed.insert(doc); });
    connect(doc, &QObject::destroyed, this, [this, doc] {
        m_known.remove(doc);
        m_changed.remove(doc);
    });
}

// Puts the instance's current frame (or a blank while hidden) into its resource.
void AnimationPlayer::show(Instance &a, bool repaint)
{
    const bool hidden = hides(a);
    QImage image;
    if (hidden) {
        // As many pixels as the frames, so that the document lays it out alike.
        const QImage &frame = a.frames->frames.first();
        if (m_blank.size() != frame.size() || m_blank.devicePixelRatio() != frame.devicePixelRatio()) {
            m_blank = QImage(frame.size(), QImage::Format_ARGB32_Premultiplied);
            m_blank.fill(Qt::transparent);
            m_blank.setDevicePixelRatio(frame.devicePixelRatio());
        }
        image = m_blank;
    } else {
        image = a.frames->frames.at(a.frame);
    }
    a.shownHidden = hidden;
    a.doc->addResource(QTextDocument::ImageResource, QUrl(a.resource), image);
    ++m_framesShown;
    if (!repaint)
        return;
    const QRectF rect = rectOf(a);
    // The document's layout is what its views listen to for repaints; an image resource that
    // changes does not tell them by itself.
    if (auto *layout = a.doc->documentLayout(); layout && rect.isValid())
        Q_EMIT layout->update(rect);
    Q_EMIT frameShown(a.doc, rect);
}

QRectF AnimationPlayer::rectOf(const Instance &a)
{
    const int position = a.cursor.position();
    const QTextBlock block = a.doc->findBlock(position);
    const QTextLayout *layout = block.layout();
    if (!block.isValid() || !layout || layout->lineCount() == 0)
        return {};
    const QTextLine line = layout->lineForTextPosition(position - block.position());
    if (!line.isValid())
        return {};
    const QRectF blockRect = a.doc->documentLayout()->blockBoundingRect(block);
    const qreal x = blockRect.left() + line.cursorToX(position - block.position());
    return QRectF(x, blockRect.top() + line.y(), a.frames->size.width() + 1, line.height())
        .adjusted(-1, -1, 1, 1);
}

void AnimationPlayer::tick()
{
    dropGone(true);
    // Frames due a little later are shown now too: one wake-up serves several animations.
    const qint64 now = m_clock.elapsed() + CoalesceMs;
    const QTextDocument *lastDoc = nullptr;
    bool lastShown = true;
    for (Instance &a : m_instances) {
        if (!runs(a) || a.due > now)
            continue;
        a.frame = (a.frame + 1) % int(a.frames->frames.size());
        a.due += a.frames->delays.at(a.frame);
        // After a long stall the animation goes on from now instead of catching up.
        if (a.due <= now)
            a.due = now + a.frames->delays.at(a.frame);
        if (a.doc != lastDoc) {
            lastDoc = a.doc;
            lastShown = !m_isShown || m_isShown(lastDoc);
        }
        // An unseen document keeps its old frame until it is seen again.
        if (lastShown)
            show(a, true);
    }
    schedule();
}

void AnimationPlayer::schedule()
{
    qint64 next = -1;
    for (const Instance &a : m_instances) {
        if (runs(a) && (next < 0 || a.due < next))
            next = a.due;
    }
    if (next < 0) {
        m_timer.stop();
        return;
    }
    const int wait = int(qMax<qint64>(0, next - m_clock.elapsed()));
    if (!m_timer.isActive() || m_timer.remainingTime() > wait)
        m_timer.start(wait);
}

void AnimationPlayer::setTranscriptsStopped(bool stopped)
{
    if (m_stopped == stopped)
        return;
    m_stopped = stopped;
    const qint64 now = m_clock.elapsed();
    for (Instance &a : m_instances) {
        if (a.place == Place::Transcript && runs(a))
            a.due = now + a.frames->delays.at(a.frame);
    }
    schedule();
}

void AnimationPlayer::setTranscriptsHidden(bool hidden)
{
    if (m_hidden == hidden)
        return;
    m_hidden = hidden;
    dropGone();
    const qint64 now = m_clock.elapsed();
    for (Instance &a : m_instances) {
        if (a.place != Place::Transcript)
            continue;
        a.due = now + a.frames->delays.at(a.frame);
        show(a, true);
    }
    schedule();
}

int AnimationPlayer::trimTranscripts(int keep)
{
    dropGone();
    QList<QTextDocument *> docs;
    for (const Instance &a : m_instances) {
        if (a.place == Place::Transcript && !docs.contains(a.doc.data()))
            docs.append(a.doc.data());
    }
    int removed = 0;
    for (QTextDocument *doc : std::as_const(docs)) {
        QList<int> positions;
        for (const Instance &a : m_instances) {
            if (a.doc == doc && a.place == Place::Transcript)
                positions.append(a.cursor.position());
        }
        QList<int> doomed = MoodRules::AnimationsToTrim(positions, keep);
        // From the back, so that the positions in front stay where they are.
        std::sort(doomed.begin(), doomed.end(), std::greater<int>());
        for (int position : std::as_const(doomed)) {
            QTextCursor cursor(doc);
            cursor.setPosition(position);
            cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
            ++removed;
        }
    }
    dropGone();
    schedule();
    return removed;
}

QList<AnimationPlayer::Info> AnimationPlayer::animations(const QTextDocument *doc) const
{
    QList<Info> result;
    for (const Instance &a : m_instances) {
        if (a.doc != doc || !stillThere(a))
            continue;
        Info info;
        info.number = a.number;
        info.position = a.cursor.position();
        info.frame = a.frame;
        info.running = runs(a);
        info.hidden = a.shownHidden;
        info.place = a.place;
        info.resource = a.resource;
        result.append(info);
    }
    std::sort(result.begin(), result.end(),
              [](const Info &l, const Info &r) { return l.position < r.position; });
    return result;
}

int AnimationPlayer::count() const
{
    return int(std::count_if(m_instances.begin(), m_instances.end(),
                             [this](const Instance &a) { return stillThere(a); }));
}

int AnimationPlayer::runningCount() const
{
    return int(std::count_if(m_instances.begin(), m_instances.end(),
                             [this](const Instance &a) { return stillThere(a) && runs(a); }));
}
