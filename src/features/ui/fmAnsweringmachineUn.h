#pragma once

#include "features/AnsweringmachineTextUn.h"

#include <QDialog>

#include <functional>

class QAction;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

// "Auto-Reply options": the editor of the auto-reply variants. It works on a list of its own and
// writes the store only on OK and Apply; closing drops unsaved edits without a question.
class TfmAnsweringmachine : public QDialog {
    Q_OBJECT
public:
    static constexpr int HelpTopic = 9500;

    // openHelp opens the help at a topic; it may be empty.
    TfmAnsweringmachine(const SettingsStore &store, std::function<bool(int)> openHelp,
                        QWidget *parent = nullptr);

    QTreeWidget *tvVariants() const { return m_tvVariants; }
    QLineEdit *edCaption() const { return m_edCaption; }
    QPlainTextEdit *reText() const { return m_reText; }
    QPushButton *btnOk() const { return m_btnOk; }
    QPushButton *btnCancel() const { return m_btnCancel; }
    QPushButton *btnApply() const { return m_btnApply; }
    QAction *actAddNewTextAnswer() const { return m_actAddNewTextAnswer; }
    QAction *actDeleteTextAnswer() const { return m_actDeleteTextAnswer; }
    QMenu *popupMenu() const { return m_popup; }
    const AnsweringVariants &variants() const { return m_variants; }
    bool isModified() const { return m_modified; }

    void AddNewTextAnswer();
    void DeleteTextAnswer();
    void Apply();
    void Ok();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildForm();
    void buildVariantsPane();
    void buildDetailsPane();
    QHBoxLayout *buildButtons();
    void applyTexts();
    void loadVariants();
    QTreeWidgetItem *addNode(int position, const QString &caption);
    int selectedPosition() const;
    void selectionChanged();
    void captionEdited();
    void textEdited();
    void updateState();
    void setFieldEnabled(QWidget *field, bool enabled);
    bool handleKey(QKeyEvent *event);

    AnsweringVariants m_variants;
    std::function<bool(int)> m_openHelp;
    bool m_modified = false;
    bool m_filling = false;
    QGroupBox *m_gbAM1 = nullptr;
    QGroupBox *m_gbAM2 = nullptr;
    QToolBar *m_toolbar = nullptr;
    QTreeWidget *m_tvVariants = nullptr;
    QMenu *m_popup = nullptr;
    QAction *m_actAddNewTextAnswer = nullptr;
    QAction *m_actDeleteTextAnswer = nullptr;
    QLabel *m_lbAnswerCaption = nullptr;
    QLabel *m_lbTextAnswer = nullptr;
    QLineEdit *m_edCaption = nullptr;
    QPlainTextEdit *m_reText = nullptr;
    QPushButton *m_btnOk = nullptr;
    QPushButton *m_btnCancel = nullptr;
    QPushButton *m_btnApply = nullptr;
};

// Selected entries drawn in black on a light highlight, as in the program's other trees.
void ApplySelectionColors(QWidget *view);
