#pragma once

#include <QDialog>

#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QRadioButton;
class SettingsStore;

// The answer to "the other party closed the private talk": close ours, leave it, or neither (the
// remembered choices say neither).
enum class PrivateCloseAnswer { Close, Leave, Undecided };

// The confirmation dialog with its closing pages: "the author closed the group talk" and "the other
// party closed the private talk". Each remembers the user's choice in the settings store.
class TfmInformation : public QDialog {
    Q_OBJECT
public:
    enum Page { GroupClosedPage = 2, PrivateClosedPage = 3 };

    TfmInformation(Page page, const QString &text, QWidget *parent = nullptr);

    // Shows the group-closed notice unless the user asked not to see it again.
    static void ShowGroupClosed(QWidget *parent, const SettingsStore &store, const QString &authorAlias,
                                const QString &caption);
    // Asks, or answers from the remembered choice.
    static PrivateCloseAnswer AskPrivateClose(QWidget *parent, const SettingsStore &store,
                                              const QString &alias);

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

private:
    bool run();

    QLabel *m_header;
    QLabel *m_text;
    QCheckBox *m_notShowAgain;
    QRadioButton *m_alwaysClose = nullptr;
    QRadioButton *m_alwaysLeave = nullptr;
};
