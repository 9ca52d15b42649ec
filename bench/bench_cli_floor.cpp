// The floor of bench_cli_start: a bare QCoreApplication that binds the peer's UDP socket and sends
// one datagram, which is what any peer must do before it can announce itself. Nothing else links in.
#include <QCoreApplication>
#include <QTimer>
#include <QUdpSocket>


namespace {

constexpr quint16 Port = 54812;
constexpr int LifetimeMs = 10000;

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QUdpSocket socket;
    if (!socket.bind(QHostAddress::AnyIPv4, Port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint))
        return 3;
    socket.writeDatagram(QByteArray("perix-bench-floor ") +
                             QByteArray::number(QCoreApplication::applicationPid()),
                         QHostAddress(QStringLiteral("127.255.255.255")), Port);
    // Ended by the benchmark with SIGTERM, whose default action is enough here; bounded regardless.
    QTimer::singleShot(LifetimeMs, &app, &QCoreApplication::quit);
    return app.exec();
}
