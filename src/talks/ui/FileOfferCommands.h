#pragma once

#include "transfer/FileExchange.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <deque>
#include <functional>

class QAction;
class QMenu;
class QTabWidget;
class QTextDocument;
class QTextEdit;
class RVStyle;
class StatusPanels;
class TalkManager;
class TfmFileTransfers;
struct RLFile;

// The paths of the file references placed in an editor, in order.
QStringList EditorFilePaths(const QTextDocument *doc);

// The window side of file offers: placing references (the insert commands and drops), the
// confirmation of offered files, the commands on a received file icon (pmFileOrFolder), the
// transfer window and the question at closing. The rules live in the peer's FileExchange.
class FileOfferCommands : public QObject {
    Q_OBJECT
public:
    struct Context {
        QWidget *window = nullptr;
        QTabWidget *pages = nullptr;
        TalkManager *talks = nullptr;
        RVStyle *style = nullptr;
        StatusPanels *status = nullptr;
        FileExchange *files = nullptr;
        QAction *insertFile = nullptr;
        QAction *insertFolder = nullptr;
        QAction *open = nullptr;
        QAction *saveAs = nullptr;
        QAction *get = nullptr;
        QAction *showTransfers = nullptr;
    };
    // At most this many confirmations wait to be shown; more offers only show their icons.
    static constexpr int MaxQueuedConfirmations = 8;

    explicit FileOfferCommands(const Context &context, QObject *parent = nullptr);
    ~FileOfferCommands() override;

    FileShare &share() { return m_context.files->share(); }
    TfmFileTransfers *transferWindow();
    QMenu *pmFileOrFolder() const { return m_menu; }
    int currentRecord() const { return m_current; }
    void setCurrentRecord(int record) { m_current = record; }

    // A message of another user offered these records: the confirmation follows from a queued call.
    void OfferFiles(const QList<int> &records, int picture, const QString &ip, const QString &name);
    // Places one reference per path in the input editor of the active talk.
    void InsertReferences(const QStringList &paths);
    // Requests the records into the folder, asking about what is there already. Transfers started.
    int Fetch(const QList<int> &records, const QString &folder, const QString &ownerName = QString());
    // True when the program may close: no transfer runs, or the user agreed to stop them.
    bool ConfirmClose(QWidget *parent);
    void StopAll();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct PendingOffer {
        QList<int> records;
        int picture = -1;
        QString ip;
        QString name;
    };
    void showNextConfirmation();
    void confirm(const PendingOffer &offer);
    bool transcriptClick(QTextEdit *edit, const QPoint &pos, const QPoint &globalPos);
    // Mine by the record and offered in this run: "Open" and "Save as..." act on nothing else.
    bool isOwnFile(int record) const;
    void menuAboutToShow();
    void openCurrent();
    void saveCurrentAs();
    void getCurrent();
    void insertFile();
    void insertFolder();

    Context m_context;
    QPointer<TfmFileTransfers> m_transfers;
    QMenu *m_menu;
    int m_current = -1;
    std::deque<PendingOffer> m_pending;
    bool m_confirming = false;
};
