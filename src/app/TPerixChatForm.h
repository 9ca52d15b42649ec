#pragma once

#include "AppContext.h"
#include "PacketDispatcher.h"

#include <QMainWindow>

class UdpTransport;

// The main window: owns both UDP endpoints and routes every received packet.
class TPerixChatForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TPerixChatForm(AppContext &context, QWidget *parent = nullptr);
    ~TPerixChatForm() override;

    UdpTransport *transport() const { return m_transport; }
    PacketDispatcher &dispatcher() { return m_dispatcher; }

    // Opens or closes both endpoints; a failure shows the port error box.
    void SetTransportOpen(bool open);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate();
    void FormCloseQuery();
    void restorePlacement();
    void storePlacement() const;

    AppContext &m_context;
    UdpTransport *m_transport;
    PacketDispatcher m_dispatcher;
    bool m_closed = false;
};
