#pragma once

#include "talks/ChatQuestions.h"

#include <QDialog>

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class SettingsStore;


// One offered file or folder on the confirmation page.
struct FileOfferRow {
    int record = -1;
    QString path; // the owner's path; the page shows its name part
    qint32 sizeKB = 0;
};

// What OK on the confirmation page asks for: the checked records in list order, and the folder.
struct FileConfirmation {
    QList<int> records;
    QString folder;
};

// The confirmation dialog with its closing pages: "the author closed the group talk" and "the other
// party closed the private talk". Each remembers the user's choice in the settings store.
class TfmInformation : public QDialog {
    Q_OBJECT
public:
    enum Page { FilesPage = 1, GroupClosedPage = 2, PrivateClosedPage = 3 };

    TfmInformation(Page page, const QString &text, QWidget *parent = nullptr);

    // Shows the group-closed notice unless the user asked not to see it again.
    static void ShowGroupClosed(QWidget *parent, const SettingsStore &store, const QString &authorAlias,
                                const QString &caption);
    // Asks, or answers from the remembered choice.
    static PrivateCloseAnswer AskPrivateClose(QWidget *parent, const SettingsStore &store,
                                              const QString &alias);

    // The confirmation of reception of files: who offers (name, IP, picture), the checked list and
    // "Save to:". Nothing when cancelled, when nothing is checked or "Save to:" is blank.
    static std::optional<FileConfirmation> ConfirmFiles(QWidget *parent, const QList<FileOfferRow> &rows,
                                                        int picture, const QString &ip, const QString &name,
                                                        const QString &folder);

    // Test hook: instead of running modally, the dialog is handed to this function, which sets its
    // controls and returns whether OK was pressed.
    static void setAutoAnswer(std::function<bool(TfmInformation &)> answer);
    static void clearAutoAnswer();
    static int shownCount();

    QLabel *header() const { return m_header; }
    QLabel *textLabel() const { return m_text; }
    QCheckBox *notShowAgain() const { return m_notShowAgain; }
    QRadioButton *alwaysClose() const { return m_alwaysClose; }
    QRadioButton *alwaysLeave() const { return m_alwaysLeave; }
    // The files page (null on the other pages).
    QLabel *userName() const { return m_userName; }
    QLabel *userIP() const { return m_userIP; }
    QLabel *userPicture() const { return m_userPicture; }
    QTreeWidget *files() const { return m_files; }
    QLineEdit *folder() const { return m_folder; }
    QPushButton *openFolder() const { return m_openFolder; }

private:
    bool run();
    void buildFilesPage();

    QLabel *m_header;
    QLabel *m_text;
    QCheckBox *m_notShowAgain;
    QRadioButton *m_alwaysClose = nullptr;
    QRadioButton *m_alwaysLeave = nullptr;
    QLabel *m_userName = nullptr;
    QLabel *m_userIP = nullptr;
    QLabel *m_userPicture = nullptr;
    QTreeWidget *m_files = nullptr;
    QLineEdit *m_folder = nullptr;
    QPushButton *m_openFolder = nullptr;
};
