#pragma once

#include "documents/AnimationLibrary.h"
#include "features/MoodRules.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QSet>
#include <QTextCursor>
#include <QTimer>

#include <functional>
#include <vector>

class QTextDocument;

// Plays the animations that stand in rich-text documents. A document shows a still image, so each
// animation gets an image resource of its own, and one timer for all of them puts the next frame into
// that resource and asks the document's views to repaint just the rectangle it covers.
//
// Transcript animations follow the two options (stopped, hidden); animations in an input editor
// always run.
class AnimationPlayer : public QObject {
    Q_OBJECT
public:
    enum class Place { Editor, Transcript };

    struct Info {
        int number = -1;
        int position = -1;
        int frame = 0;
        bool running = false;
        bool hidden = false;
        Place place = Place::Transcript;
        QString resource;
    };

    explicit AnimationPlayer(const AnimationLibrary &library, QObject *parent = nullptr);
    ~AnimationPlayer() override;

    // Takes over the image that stands at the position: gives it a resource of its own and plays it.
    // False, and nothing changed, when there is no image there or the number is unknown.
    bool adopt(QTextDocument *doc, int position, int number, Place place);

    // Tells whether anyone sees the document; frames of unseen documents are skipped, not drawn.
    using ShownCheck = std::function<bool(const QTextDocument *)>;
    void setShownCheck(ShownCheck check) { m_isShown = std::move(check); }

    void setTranscriptsStopped(bool stopped);
    bool transcriptsStopped() const { return m_stopped; }
    void setTranscriptsHidden(bool hidden);
    bool transcriptsHidden() const { return m_hidden; }

    // Deletes from every transcript all but its newest `keep` animations; returns how many went.
    int trimTranscripts(int keep = MoodRules::KeptTranscriptAnimations);

    // The animations still standing in the document, in document order.
    QList<Info> animations(const QTextDocument *doc) const;
    int count() const;
    int runningCount() const;
    // Frames put into documents since the start.
    quint64 framesShown() const { return m_framesShown; }

Q_SIGNALS:
    // A new frame of an animation is in the document; rect is in document coordinates.
    void frameShown(QTextDocument *doc, const QRectF &rect);

private:
    struct Instance {
        QPointer<QTextDocument> doc;
        QTextCursor cursor; // stays in front of the image while the text around it changes
        QString resource;
        const AnimationFrames *frames = nullptr;
        int number = -1;
        int frame = 0;
        qint64 due = 0;
        Place place = Place::Transcript;
        bool shownHidden = false;
    };

    bool runs(const Instance &a) const;
    bool hides(const Instance &a) const;
    bool stillThere(const Instance &a) const;
    // Forgets the animations whose image is no longer in their document.
    void dropGone(bool changedOnly = false);
    void watch(QTextDocument *doc);
    void show(Instance &a, bool repaint);
    void tick();
    void schedule();
    static QRectF rectOf(const Instance &a);

    const AnimationLibrary &m_library;
    std::vector<Instance> m_instances;
    QTimer m_timer;
    QElapsedTimer m_clock;
    QImage m_blank;
    ShownCheck m_isShown;
    QSet<const QTextDocument *> m_known;
    QSet<const QTextDocument *> m_changed; // edited since their animations were last looked for
    bool m_stopped = false;
    bool m_hidden = false;
    quint64 m_serial = 0;
    quint64 m_framesShown = 0;
};
