#pragma once

#include "peers/UserProfile.h"
#include "peers/ui/ProfileKeysPanel.h"
#include "protocol/RUserID.h"

#include <QDialog>

#include <functional>
#include <optional>

class QLabel;
class QPushButton;
class QTextBrowser;
class QTreeWidget;
class PeerRegistry;
class ProfilePages;

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
    QTextBrowser *summaryView() const;
    // Shows the fingerprints, the "verified" mark and the acceptance of a changed key.
    void setKeys(const ProfileKeys &keys);
    ProfileKeysPanel *keysPanel() const { return m_keysPanel; }

    // Disables "Apply" and hands the fields to the registry (multi-line fields with the line breaks
    // they had); nothing in read-only mode.
    void ApplyProfile();

    // Opens a modal window on the registry's entry with that peer index (0: the local user, editable)
    // and frees it when it closes. help opens a help topic.
    static void Execute(QWidget *parent, PeerRegistry *registry, int peerIndex,
                        const std::function<void(int)> &help = {},
                        const std::optional<ProfileKeys> &keys = std::nullopt);

Q_SIGNALS:
    void helpRequested(int topic);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildWindow();
    void buildTree();
    void layOut();
    void enableApply();
    void refreshPicture();
    void refreshHeader();
    void BuildSummary();
    void okPressed();
    void chooserRequested();

    ProfileCaptions m_captions;
    bool m_editable = false;
    int m_picture = UserProfile::NoPicture;
    QString m_ip;
    QString m_mac;
    // The fields as loaded: a memo that was not edited is applied as it was.
    ProfileFields m_loaded;
    PeerRegistry *m_registry = nullptr;
    ProfileKeysPanel *m_keysPanel = nullptr;

    QTreeWidget *m_tvProfile = nullptr;
    ProfilePages *m_pages = nullptr;
    QLabel *m_imHeader = nullptr;
    QLabel *m_lbHeader = nullptr;
    QPushButton *m_btnOK = nullptr;
    QPushButton *m_btnCancel = nullptr;
    QPushButton *m_btnApply = nullptr;
};
