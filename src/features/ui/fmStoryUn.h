#pragma once

#include "settings/SettingsStore.h"

#include <QDialog>

#include <functional>

class QAction;
class QCheckBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

// "History of messages": the files of the history folder with open, save as, move and delete, and
// the history options. The folder is read once, when the window is created.
class TfmStory : public QDialog {
    Q_OBJECT
public:
    static constexpr int HelpTopic = 7000;

    TfmStory(const SettingsStore &store, const QString &historyDir, std::function<bool(int)> openHelp,
             QWidget *parent = nullptr);

    QTreeWidget *tvHitoryList() const { return m_tvHitoryList; }
    QMenu *pmStoryFile() const { return m_pmStoryFile; }
    QAction *actOpenFile() const { return m_actOpenFile; }
    QAction *actSaveAs() const { return m_actSaveAs; }
    QAction *actMoveFile() const { return m_actMoveFile; }
    QAction *actDeleteFile() const { return m_actDeleteFile; }
    QCheckBox *cbSaveHistory() const { return m_cbSaveHistory; }
    QCheckBox *cbPeriodOfStorage() const { return m_cbPeriodOfStorage; }
    QSpinBox *udDays() const { return m_udDays; }
    QLineEdit *edDays() const;
    QRadioButton *rbSaveAsRTF() const { return m_rbSaveAsRTF; }
    QRadioButton *rbSaveAsTXT() const { return m_rbSaveAsTXT; }
    QPushButton *btnOk() const { return m_btnOk; }
    QPushButton *btnCancel() const { return m_btnCancel; }
    QPushButton *btnApply() const { return m_btnApply; }

    void OpenFile();
    void SaveAs();
    void MoveFile();
    void DeleteFile();
    void Apply();
    void Ok();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildForm();
    void buildFilesPane();
    void buildFilePopup();
    void buildOptionsPane();
    QHBoxLayout *buildButtons();
    void applyTexts();
    void listFiles();
    void loadOptions();
    void periodChanged();
    void optionTouched();
    QString selectedFile() const;
    QTreeWidgetItem *findNode(const QString &fileName) const;
    bool handleKey(QObject *watched, QKeyEvent *event);

    SettingsStore m_store;
    QString m_historyDir;
    std::function<bool(int)> m_openHelp;
    bool m_loading = false;
    QGroupBox *m_gbHistoryFile = nullptr;
    QToolBar *m_toolbar = nullptr;
    QTreeWidget *m_tvHitoryList = nullptr;
    QMenu *m_pmStoryFile = nullptr;
    QAction *m_actOpenFile = nullptr;
    QAction *m_actSaveAs = nullptr;
    QAction *m_actMoveFile = nullptr;
    QAction *m_actDeleteFile = nullptr;
    QGroupBox *m_gpOptions = nullptr;
    QCheckBox *m_cbSaveHistory = nullptr;
    QCheckBox *m_cbPeriodOfStorage = nullptr;
    QSpinBox *m_udDays = nullptr;
    QLabel *m_lbDay = nullptr;
    QRadioButton *m_rbSaveAsRTF = nullptr;
    QRadioButton *m_rbSaveAsTXT = nullptr;
    QPushButton *m_btnOk = nullptr;
    QPushButton *m_btnCancel = nullptr;
    QPushButton *m_btnApply = nullptr;
};
