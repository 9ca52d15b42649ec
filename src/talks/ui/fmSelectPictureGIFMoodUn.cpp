#include "talks/ui/fmSelectPictureGIFMoodUn.h"

#include "features/LngUn.h"
#include "features/MoodRules.h"
#include "features/ui/ImageList.h"
#include "features/ui/MessageBox.h"
#include "protocol/ConstUnit.h"
#include "talks/ui/MoodPopup.h"
#include "talks/ui/RichTextItems.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMovie>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {
const QString ResourcePrefix = QStringLiteral(":/animations");

// A document is seen while the widget that shows it (an editor owns the document through its text
// control) is visible; a document of no widget counts as seen.
bool isShown(const QTextDocument *doc)
{
    for (QObject *owner = doc ? doc->parent() : nullptr; owner; owner = owner->parent()) {
        if (auto *widget = qobject_cast<QWidget *>(owner))
            return widget->isVisible();
    }
    return true;
}

AnimationLibrary loadLibrary()
{
    InitPictureResources();
    return AnimationLibrary::load(ResourcePrefix, MoodRules::AnimationCount);
}
} // namespace

GIFAnimator::GIFAnimator(int tag, const QString &fileName, QWidget *parent)
    : QLabel(parent)
    , m_tag(tag)
    , m_movie(new QMovie(fileName, "gif", this))
{
    setFixedSize(MoodRules::AnimationSize(tag));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_movie->setCacheMode(QMovie::CacheAll);
    setMovie(m_movie);
}

void GIFAnimator::start()
{
    if (m_movie->state() != QMovie::Running)
        m_movie->start();
}

void GIFAnimator::stop()
{
    m_movie->stop();
    // A movie not read yet stays so: the chooser reads first frames when it shows.
    if (m_movie->currentFrameNumber() > 0)
        m_movie->jumpToFrame(0);
}

void GIFAnimator::showFirstFrame()
{
    stop();
    if (m_movie->currentFrameNumber() < 0)
        m_movie->jumpToFrame(0);
}

bool GIFAnimator::isRunning() const
{
    return m_movie->state() == QMovie::Running;
}

GIFPanel::GIFPanel(GIFAnimator *animator, QWidget *parent)
    : QWidget(parent)
    , m_animator(animator)
{
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 3);
    animator->setParent(this);
    layout->addWidget(animator, 0, Qt::AlignCenter);
}

void GIFPanel::setHighlighted(bool on)
{
    m_hover = on;
    QPalette p = palette();
    p.setColor(QPalette::Button,
               on ? MoodPopup::HoverColour : parentWidget()->palette().color(QPalette::Button));
    setPalette(p);
    if (on)
        m_animator->start();
    else
        m_animator->stop();
}

void GIFPanel::enterEvent(QEnterEvent *)
{
    setHighlighted(true);
}

void GIFPanel::leaveEvent(QEvent *)
{
    setHighlighted(false);
}

void GIFPanel::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}

void GIFPanel::mouseReleaseEvent(QMouseEvent *event)
{
    if (rect().contains(event->position().toPoint()))
        Q_EMIT clicked(m_animator->tag());
}

TfmSelectPictureGIFMood::TfmSelectPictureGIFMood(QWidget *parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint)
    , m_library(loadLibrary())
    , m_player(m_library)
{
    setObjectName(QStringLiteral("fmSelectPictureGIFMood"));
    setAutoFillBackground(true);
    m_player.setShownCheck(isShown);
    auto *rows = new QVBoxLayout(this);
    rows->setContentsMargins(3, 3, 3, 3);
    rows->setSpacing(1);
    for (const QList<int> &numbers : MoodRules::AnimationRows()) {
        auto *row = new QHBoxLayout;
        row->setSpacing(1);
        for (int number : numbers) {
            auto *animator =
                new GIFAnimator(number, AnimationLibrary::fileName(ResourcePrefix, number), this);
            animator->setObjectName(QStringLiteral("JvGIFAnimator%1").arg(number + 1));
            auto *panel = new GIFPanel(animator, this);
            panel->setObjectName(QStringLiteral("JvPanel%1").arg(number + 1));
            connect(panel, &GIFPanel::clicked, this, &TfmSelectPictureGIFMood::ChooseAnimation);
            row->addWidget(panel, 1);
            m_panels.append(panel);
        }
        rows->addLayout(row);
    }
}

TfmSelectPictureGIFMood::~TfmSelectPictureGIFMood()
{
    stopAll();
}

bool TfmSelectPictureGIFMood::hasAnimation(int number) const
{
    return m_library.has(number);
}

QImage TfmSelectPictureGIFMood::animationFrame(int number) const
{
    return m_library.firstFrame(number);
}

void TfmSelectPictureGIFMood::trimAnimations()
{
    m_player.trimTranscripts();
}

void TfmSelectPictureGIFMood::animationInserted(QTextDocument *doc, int position, int number)
{
    m_player.adopt(doc, position, number, AnimationPlayer::Place::Transcript);
}

GIFAnimator *TfmSelectPictureGIFMood::animator(int number) const
{
    for (GIFPanel *panel : m_panels) {
        if (panel->animator()->tag() == number)
            return panel->animator();
    }
    return nullptr;
}

int TfmSelectPictureGIFMood::runningCount() const
{
    int n = 0;
    for (const GIFPanel *panel : m_panels)
        n += panel->animator()->isRunning();
    return n;
}

void TfmSelectPictureGIFMood::stopAll()
{
    for (GIFPanel *panel : std::as_const(m_panels))
        panel->animator()->stop();
}

void TfmSelectPictureGIFMood::Popup(QAction *opener, QTextEdit *target)
{
    m_opener = opener;
    m_target = target;
    if (m_opener)
        m_opener->setChecked(true);
    stopAll();
    show();
    raise();
    activateWindow();
}

bool TfmSelectPictureGIFMood::ChooseAnimation(int number)
{
    const QPointer<QTextEdit> target = m_target;
    bool inserted = false;
    if (m_opener && target && m_library.has(number) &&
        MoodRules::CanInsertAnimation(CountAnimations(target->document()))) {
        QTextCursor cursor(target->document());
        cursor.movePosition(QTextCursor::End);
        const int position = cursor.position();
        inserted = AppendAnimation(cursor, number, m_library.firstFrame(number)) &&
                   m_player.adopt(target->document(), position, number, AnimationPlayer::Place::Editor);
    }
    hide();
    if (!inserted)
        MessageBox::information(target ? target->window() : nullptr, NotInsertManyAnimationText());
    return inserted;
}

void TfmSelectPictureGIFMood::showEvent(QShowEvent *event)
{
    for (GIFPanel *panel : std::as_const(m_panels))
        panel->animator()->showFirstFrame();
    QWidget::showEvent(event);
}

void TfmSelectPictureGIFMood::hideEvent(QHideEvent *event)
{
    if (m_opener)
        m_opener->setChecked(false);
    m_opener = nullptr;
    m_target = nullptr;
    for (GIFPanel *panel : std::as_const(m_panels)) {
        if (panel->isHighlighted())
            panel->setHighlighted(false);
    }
    stopAll();
    QWidget::hideEvent(event);
}

void TfmSelectPictureGIFMood::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        hide();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void TfmSelectPictureGIFMood::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    hide();
}

int CountAnimations(const QTextDocument *doc)
{
    int n = 0;
    for (const RichItem &item : RichItems(doc))
        n += item.kind == RichItemKind::Animation;
    return n;
}

QString NotInsertManyAnimationText()
{
    const QString text = Lng::Caption(QLatin1StringView(MoodRules::NotInsertManyAnimationKey),
                                      QLatin1StringView(MoodRules::NotInsertManyAnimationDefault));
    return ConstUnit::Format(text, {QString::number(MoodRules::MaxAnimationsPerMessage)});
}
