// The window under load from the network, each figure against its floor measured in the same run:
// - first paint and the 500 ms start-up timer while 10,000 messages stream in from the start, and
//   first paint while 250 peers answer the NEW, against a start with nobody around;
// - 10,000 received MESSAGE packets shown in the talk with everybody, against a bare Qt window that
//   reads the same datagrams and appends the same header and text to a QTextEdit.
// Every scenario runs in a child process of its own, three rounds; each figure is printed with its
// spread and each round's ratio to the floor of the same round.
#include "BenchFigures.h"
#include "BenchFolder.h"
#include "app/CommandLine.h"
#include "app/ui/PerixChatProgram.h"
#include "app/ui/TPerixChatForm.h"
#include "net/UdpTransport.h"
#include "protocol/SendMessageUn.h"
#include "settings/TMyUserData.h"
#include "talks/ui/TalkManager.h"
#include "talks/ui/frConnectUserUn.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTextEdit>
#include <QThread>
#include <QTime>
#include <QTimer>
#include <QToolBar>
#include <QUdpSocket>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int Messages = 10000;
constexpr int Peers = 250;
constexpr int Rounds = 3;
constexpr int TimeoutMs = 60000;
const QHostAddress Broadcast(QStringLiteral("127.255.255.255"));

WireIdentity sender(int i)
{
    WireIdentity w;
    w.alias = QStringLiteral("User %1").arg(i % 7);
    w.id = QStringLiteral("{%1-1111-2222-3333-444444444444}").arg(i % 7, 8, 10, QLatin1Char('0'));
    w.ip = QStringLiteral("127.0.2.%1").arg(i % 7 + 1);
    w.mac = QStringLiteral("00-11-22-33-44-55");
    w.pictureIndex = 11 + i % 7;
    w.color = 0x00204080 + i % 7;
    return w;
}

QString messageBody()
{
    return QString(200, u'w').replace(QStringLiteral("wwwww"), QStringLiteral("word "));
}

// Sends the messages at a steady pace (a busy network, not a flood the kernel would drop).
int runStreamSender()
{
    QUdpSocket socket;
    socket.bind(QHostAddress::LocalHost, 0);
    const QString body = messageBody();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < Messages; ++i) {
        socket.writeDatagram(BuildMessagePacket(sender(i), body), Broadcast, PeerPort);
        // 5,000 messages a second.
        while (clock.nsecsElapsed() < qint64(i + 1) * 200000)
            QThread::usleep(50);
    }
    return 0;
}

// Marks the first paint of any widget of the main window.
class FirstPaint : public QObject {
public:
    qint64 at = -1;
    const QElapsedTimer *clock = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (at < 0 && event->type() == QEvent::Paint) {
            const auto *widget = qobject_cast<QWidget *>(watched);
            if (widget && qobject_cast<QMainWindow *>(widget->window()))
                at = clock->elapsed();
        }
        return false;
    }
};

StartOptions optionsIn(const BenchFolder &folder)
{
    StartOptions options;
    options.loopback = true;
    options.settingsFile = folder.filePath(QStringLiteral("settings.ini"));
    options.dataDir = folder.path();
    TSetUserData(SettingsStore(options.settingsFile)).SetAlias("Bench");
    return options;
}

// Prints "first-paint-ms timer-ms".
int runStart(const BenchFolder &folder, const QString &load)
{
    const StartOptions options = optionsIn(folder);
    std::unique_ptr<QProcess> stream;
    if (load == QStringLiteral("stream")) {
        stream = std::make_unique<QProcess>();
        stream->start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--mode"), QStringLiteral("sender")});
        stream->waitForStarted();
        QThread::msleep(50);
    }
    std::vector<std::unique_ptr<QUdpSocket>> peers;
    if (load == QStringLiteral("peers")) {
        for (int i = 0; i < Peers; ++i) {
            peers.push_back(std::make_unique<QUdpSocket>());
            peers.back()->bind(QHostAddress::LocalHost, 0);
        }
    }
    QElapsedTimer clock;
    FirstPaint paint;
    paint.clock = &clock;
    qApp->installEventFilter(&paint);
    qint64 timerAt = -1;
    clock.start();
    PerixChatProgram program(AppContext::fromOptions(options));
    program.start();
    if (auto *timer = program.mainWindow()->findChild<QTimer *>(QStringLiteral("Timer")))
        QObject::connect(timer, &QTimer::timeout, [&] { timerAt = clock.elapsed(); });
    // The peers answer the NEW at once, as they would on a busy network.
    for (int i = 0; i < int(peers.size()); ++i) {
        RUserID u;
        u.Alias = QStringLiteral("Peer %1").arg(i, 3, 10, QLatin1Char('0'));
        u.ID = QStringLiteral("{%1-0000-0000-0000-000000000000}").arg(i, 8, 16, QLatin1Char('0')).toUpper();
        u.IP = QStringLiteral("127.0.1.%1").arg(i % 254 + 1);
        u.PictureIndex = 11 + i % 14;
        u.Color = 0x00336699;
        peers[size_t(i)]->writeDatagram(BuildPresencePacket(u, false), Broadcast, PeerPort);
    }
    while ((paint.at < 0 || timerAt < 0) && clock.elapsed() < TimeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::printf("%lld %lld\n", static_cast<long long>(paint.at), static_cast<long long>(timerAt));
    std::fflush(stdout);
    qApp->removeEventFilter(&paint);
    program.close();
    if (stream)
        stream->kill(), stream->waitForFinished();
    return 0;
}

// Sends the messages in bursts, each once the receiver has shown the previous one, and measures the
// whole. Prints "total-ms bytes-per-message first-1000-ms last-1000-ms".
int receiveMessages(const std::function<int()> &shown)
{
    QUdpSocket socket;
    socket.bind(QHostAddress::LocalHost, 0);
    const QString body = messageBody();
    constexpr int Burst = 50;
    QCoreApplication::processEvents();
    const int base = shown();
    const long before = residentKb();
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer batch;
    batch.start();
    qint64 first = 0;
    qint64 last = 0;
    for (int sent = 0; sent < Messages && clock.elapsed() < TimeoutMs;) {
        for (int k = 0; k < Burst; ++k, ++sent)
            socket.writeDatagram(BuildMessagePacket(sender(sent), body), Broadcast, PeerPort);
        while (shown() - base < sent && clock.elapsed() < TimeoutMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (sent % 1000 == 0) {
            const qint64 ms = batch.restart();
            if (sent == 1000)
                first = ms;
            last = ms;
        }
    }
    const qint64 elapsed = clock.elapsed();
    std::printf("%lld %.0f %lld %lld\n", static_cast<long long>(elapsed),
                double(residentKb() - before) * 1024.0 / Messages, static_cast<long long>(first),
                static_cast<long long>(last));
    std::fflush(stdout);
    return shown() - base >= Messages ? 0 : 1;
}

int runReceivePerix(const BenchFolder &folder)
{
    PerixChatProgram program(AppContext::fromOptions(optionsIn(folder)));
    program.start();
    const QTextDocument *doc = program.mainWindow()->talks()->frame(0)->reAllMessage()->document();
    // Every message is a header paragraph and a text paragraph.
    const int result = receiveMessages([doc] { return doc->blockCount() / 2; });
    program.close();
    return result;
}

int runReceiveFloor()
{
    QMainWindow window;
    window.addToolBar(QStringLiteral("Tools"))->addAction(QStringLiteral("Send"));
    auto *edit = new QTextEdit;
    edit->setReadOnly(true);
    window.setCentralWidget(edit);
    window.resize(475, 309);
    window.show();
    QUdpSocket socket;
    socket.bind(QHostAddress::AnyIPv4, PeerPort, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint);
    int received = 0;
    QObject::connect(&socket, &QUdpSocket::readyRead, [&] {
        for (int n = 0; n < 16 && socket.hasPendingDatagrams(); ++n) {
            const QByteArray data = socket.receiveDatagram().data();
            const QString text = QString::fromLocal8Bit(data);
            const qsizetype at = text.indexOf(QStringLiteral("[MESSAGE]"));
            edit->append(QStringLiteral("[User %1] %2")
                             .arg(received % 7)
                             .arg(QTime::currentTime().toString(u"hh.mm")));
            edit->append(at >= 0 ? text.mid(at + 9, 200) : text.left(200));
            ++received;
        }
    });
    return receiveMessages([&] { return received; });
}

std::vector<double> runChild(const QString &mode)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--mode"), mode});
    std::vector<double> values;
    if (!child.waitForFinished(TimeoutMs * 2))
        return values;
    for (const QByteArray &v : child.readAllStandardOutput().trimmed().split(' '))
        values.push_back(v.toDouble());
    return values;
}

// Field `field` of each round that gave it.
std::vector<double> fieldOf(const std::vector<std::vector<double>> &rounds, size_t field)
{
    std::vector<double> values;
    for (const auto &round : rounds)
        values.push_back(round.size() > field ? round[field] : 0.0);
    return values;
}

void printAgainst(const char *what, const std::vector<double> &figures, const std::vector<double> &floors,
                  const char *unit, double target)
{
    const Spread figure = spreadOf(figures);
    const Spread floor = spreadOf(floors);
    const std::vector<double> ratios = ratiosOf(figures, floors);
    const Spread ratio = spreadOf(ratios);
    std::printf("%s: %.0f %s, floor %.0f %s, ratio %.2f (target <= %.2f)\n", what, figure.median, unit,
                floor.median, unit, ratio.median, target);
    std::printf("  rounds:");
    for (size_t i = 0; i < ratios.size(); ++i)
        std::printf(" %.0f/%.0f=%.2f", figures[i], floors[i], ratios[i]);
    std::printf(" (ratio min/median/max %.2f/%.2f/%.2f)\n", ratio.min, ratio.median, ratio.max);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const BenchFolder folder;
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (const qsizetype at = args.indexOf(QStringLiteral("--mode")); at >= 0 && at + 1 < args.size()) {
        const QString mode = args.at(at + 1);
        if (mode == QStringLiteral("sender"))
            return runStreamSender();
        if (mode == QStringLiteral("receive-perix"))
            return runReceivePerix(folder);
        if (mode == QStringLiteral("receive-floor"))
            return runReceiveFloor();
        return runStart(folder, mode.section(u'-', 1));
    }

    std::vector<std::vector<double>> quiet, stream, peers, perix, floor;
    for (int round = 0; round < Rounds; ++round) {
        quiet.push_back(runChild(QStringLiteral("start-quiet")));
        stream.push_back(runChild(QStringLiteral("start-stream")));
        peers.push_back(runChild(QStringLiteral("start-peers")));
        floor.push_back(runChild(QStringLiteral("receive-floor")));
        perix.push_back(runChild(QStringLiteral("receive-perix")));
    }
    const std::vector<double> paint = fieldOf(quiet, 0), timer = fieldOf(quiet, 1);
    printAgainst("first paint while 10,000 messages stream in (floor: nobody around)", fieldOf(stream, 0),
                 paint, "ms", 1.2);
    const std::string peersAnswer =
        "first paint while " + std::to_string(Peers) + " peers answer (floor: nobody around)";
    printAgainst(peersAnswer.c_str(), fieldOf(peers, 0), paint, "ms", 1.2);
    printAgainst("start-up timer under the stream (floor: quiet)", fieldOf(stream, 1), timer, "ms", 1.25);
    printAgainst("10,000 received messages (floor: bare window)", fieldOf(perix, 0), fieldOf(floor, 0), "ms",
                 1.2);
    printAgainst("memory per message (floor: bare window)", fieldOf(perix, 1), fieldOf(floor, 1), "bytes",
                 1.2);
    printAgainst("last 1,000 messages (floor: first 1,000)", fieldOf(perix, 3), fieldOf(perix, 2), "ms", 1.2);
    return 0;
}
