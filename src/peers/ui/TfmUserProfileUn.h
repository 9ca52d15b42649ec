#pragma once

#include "peers/UserProfile.h"
#include "protocol/RUserID.h"

#include <QDialog>
#include <QPointer>

#include <functional>

class QAbstractButton;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QComboBox;
class QStackedWidget;
class QTextBrowser;
class QTreeWidget;
class QToolButton;
class ColorBox;
class PeerRegistry;

// The profile window: editable on the local user's entry, read-only on a peer's. It shows a copy of
// the entry taken when it opens; "Apply", "OK" and Enter store and broadcast the local profile.
class TfmUserProfile : public QDialog {
    Q_OBJECT
public:
    static constexpr int HelpTopic = 5000;

    explicit TfmUserProfile(QWidget *parent = nullptr);
    ~TfmUserProfile() override;

    // Where an applied profile goes: the registry stores it, keeps entry 0 in step and tells the peers.
    void setApplyTarget(PeerRegistry *registry) { m_registry = registry; }

    void SetMode(bool editable);
    bool isEditable() const { return m_editable; }
    // Fills every field from the entry; the IP and MAC are kept for the summary page.
    void LoadEntry(const RUserID &entry);

    // The fields as they stand in the window.
    ProfileFields fields() const;
    int picture() const { return m_picture; }
    void setPicture(int picture);

    void showPage(int page);
    int currentPage() const;
    QString headerText() const;
    QTextBrowser *summaryView() const { return m_reSummary; }

    // Disables "Apply" and hands the fields to the registry (multi-line fields with the line breaks
    // they had); nothing in read-only mode.
    void ApplyProfile();

    // Opens a modal window on the registry's entry with that peer index (0: the local user, editable)
    // and frees it when it closes. help opens a help topic.
    static void Execute(QWidget *parent, PeerRegistry *registry, int peerIndex,
                        const std::function<void(int)> &help = {});

Q_SIGNALS:
    void helpRequested(int topic);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildWindow();
    QWidget *buildBasicPage();
    QWidget *buildHomePage();
    QWidget *buildWorkPage();
    QWidget *buildPersonalPage();
    QLineEdit *addEdit(const QString &name);
    QPlainTextEdit *addMemo(const QString &name, int lines);
    QLabel *addLabel(const QString &name, const QString &text);
    void alignLabels(const QList<QLabel *> &labels);
    void watchField(QWidget *field);
    void enableApply();
    void refreshPicture();
    void refreshHeader();
    void BuildSummary();
    void okPressed();
    void chooserRequested();
    void openMail();
    bool isTextField(const QObject *object) const;

    ProfileCaptions m_captions;
    bool m_editable = false;
    int m_picture = UserProfile::NoPicture;
    QString m_ip;
    QString m_mac;
    // The fields as loaded: a memo that was not edited is applied as it was.
    ProfileFields m_loaded;
    PeerRegistry *m_registry = nullptr;

    QTreeWidget *m_tvProfile = nullptr;
    QStackedWidget *m_pages = nullptr;
    QLabel *m_imHeader = nullptr;
    QLabel *m_lbHeader = nullptr;
    QTextBrowser *m_reSummary = nullptr;
    QLineEdit *m_edAlias = nullptr;
    QLineEdit *m_edName1 = nullptr;
    QLineEdit *m_edName2 = nullptr;
    QLineEdit *m_edEMail = nullptr;
    QLineEdit *m_edICQ = nullptr;
    ColorBox *m_edColor = nullptr;
    QPlainTextEdit *m_mmStreet = nullptr;
    QLineEdit *m_edTown = nullptr;
    QLineEdit *m_edField = nullptr;
    QLineEdit *m_edHome = nullptr;
    QPlainTextEdit *m_mmWStreet = nullptr;
    QLineEdit *m_edWTown = nullptr;
    QLineEdit *m_edWHome = nullptr;
    QLineEdit *m_edWField = nullptr;
    QLineEdit *m_edWName = nullptr;
    QLineEdit *m_edDepartment = nullptr;
    QLineEdit *m_edWPost = nullptr;
    QLineEdit *m_edWorkType = nullptr;
    QComboBox *m_cbSex = nullptr;
    QLineEdit *m_edAge = nullptr;
    QPlainTextEdit *m_mmInterest = nullptr;
    QLabel *m_lbPicture = nullptr;
    QAbstractButton *m_btnSelectImage = nullptr;
    QToolButton *m_btnMail = nullptr;
    QPushButton *m_btnOK = nullptr;
    QPushButton *m_btnCancel = nullptr;
    QPushButton *m_btnApply = nullptr;
    QList<QWidget *> m_textFields;
};
