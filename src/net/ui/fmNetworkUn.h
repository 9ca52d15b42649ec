#pragma once

#include "net/NetworkOptions.h"

#include <QDialog>

#include <functional>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class PresenceProbe;

// What the "Network..." window works with; the main window fills it in.
struct NetworkWindowContext {
    // The current state; full also looks at the interfaces and the port's holders, which takes longer.
    std::function<NetworkDiagnosis(bool full)> diagnose;
    NetworkOptions options;
    // Stores and applies the options of OK.
    std::function<void(const NetworkOptions &)> apply;
    PresenceProbe *probe = nullptr;
    std::function<void()> help;
};

// The "Network..." window: the diagnosis at a glance (receive port, chosen interface, address and
// broadcast, other interfaces, traffic, users), the choice of interface, the further addresses (one a
// line, checked before OK takes them) and the echo test.
class TfmNetwork : public QDialog {
    Q_OBJECT
public:
    TfmNetwork(NetworkWindowContext context, QWidget *parent = nullptr);

    static void Execute(QWidget *parent, NetworkWindowContext context);

    // The options as the window shows them now.
    NetworkOptions options() const;

    void accept() override;

private:
    void refresh(bool full);
    void fillInterfaces(const NetworkDiagnosis &d);
    void checkAddresses();
    void runTest();

    NetworkWindowContext m_context;
    QLabel *m_lbPort;
    QLabel *m_lbChoice;
    QLabel *m_lbInterfaces;
    QLabel *m_lbTraffic;
    QComboBox *m_cbInterface;
    QPlainTextEdit *m_mmAddresses;
    QLabel *m_lbProblems;
    QPushButton *m_btnTest;
    QLabel *m_lbTestResult;
    QDialogButtonBox *m_buttons;
    QTimer *m_refresh;
};
