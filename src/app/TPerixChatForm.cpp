#include "TPerixChatForm.h"

#include "ConstUnit.h"
#include "MessageBox.h"
#include "UdpTransport.h"
#include "iniFileUn.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

TPerixChatForm::TPerixChatForm(AppContext &context, QWidget *parent)
    : QMainWindow(parent)
    , m_context(context)
    , m_transport(new UdpTransport(context.transport, this))
{
    setObjectName(QStringLiteral("TPerixChatForm"));
    connect(m_transport, &PacketTransport::packetReceived, this,
            [this](const Packet &packet) { m_dispatcher.DispatchPacket(packet); });
    FormCreate();
}

TPerixChatForm::~TPerixChatForm() = default;

void TPerixChatForm::FormCreate()
{
    setWindowTitle(QStringLiteral("Perix Chat"));
    QApplication::setApplicationDisplayName(QStringLiteral("Perix Chat"));
    SetTransportOpen(true);
    restorePlacement();
}

void TPerixChatForm::SetTransportOpen(bool open)
{
    if (!m_transport->SetTransportOpen(open))
        MessageBox::error(this, ConstUnit::text(ConstUnit::Text::ErrorPortAbort));
}

void TPerixChatForm::closeEvent(QCloseEvent *event)
{
    FormCloseQuery();
    event->accept();
}

void TPerixChatForm::FormCloseQuery()
{
    // Reached from the close box, the tray and the termination signals alike; runs once.
    if (m_closed)
        return;
    m_closed = true;
    storePlacement();
    m_transport->SetTransportOpen(false);
}

void TPerixChatForm::restorePlacement()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize desktop = screen ? screen->virtualSize() : QSize(1024, 768);
    const QSize workArea = screen ? screen->availableSize() : desktop;
    const QRect placement =
        MainWindowPlacement(readPlacement(m_context.store, Setting::MainWindowSection), desktop, workArea);
    move(placement.topLeft());
    resize(placement.size());
}

void TPerixChatForm::storePlacement() const
{
    writePlacement(m_context.store, Setting::MainWindowSection, geometry());
}
