#pragma once

#include <QWidget>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class FileShare;
struct TransferInfo;

// The transfer window: the transfers of this run in either direction with their progress, speed and
// time left, Cancel, Retry and Open folder for the selected one, and Clear for every ended one.
// Finished transfers leave by themselves after a while. It only shows the engine's state and calls
// the file share's commands.
class TfmFileTransfers : public QWidget {
    Q_OBJECT
public:
    explicit TfmFileTransfers(FileShare *share, QWidget *parent = nullptr);

    QTreeWidget *list() const { return m_list; }
    QPushButton *cancelButton() const { return m_cancel; }
    QPushButton *retryButton() const { return m_retry; }
    QPushButton *openFolderButton() const { return m_openFolder; }
    QPushButton *clearButton() const { return m_clear; }
    // The row of a transfer, or null.
    QTreeWidgetItem *row(int id) const;
    void select(int id);

private:
    void refresh(int id);
    void removeRow(int id);
    void updateButtons();
    int selectedId() const;

    FileShare *m_share;
    QTreeWidget *m_list;
    QPushButton *m_cancel;
    QPushButton *m_retry;
    QPushButton *m_openFolder;
    QPushButton *m_clear;
};

// "1.5 MB/s", "820 KB/s", "12 B/s".
QString FormatSpeed(double bytesPerSecond);
// "1:05:09", "2:07", "0:03"; empty when unknown.
QString FormatTimeLeft(qint64 seconds);
// "512 MB", "1.2 GB", "30 KB".
QString FormatBytes(qint64 bytes);
