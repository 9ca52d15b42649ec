#pragma once

// Network namespaces for tests that need real per-peer addresses. Everything lives in namespaces that
// the lab creates and removes again: veth pairs are made inside them, bridges join them, and nothing is
// ever linked to the host's own namespace. Only root can do this; without it the tests skip.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTest>

#include <cerrno>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <memory>
#include <vector>

// The calling thread works in the namespace until this goes; sockets made meanwhile stay there.
class ScopedNetns {
public:
    explicit ScopedNetns(const QString &name)
    {
        m_home = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        const QByteArray path = QFile::encodeName(QStringLiteral("/run/netns/") + name);
        const int target = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        m_ok = m_home >= 0 && target >= 0 && ::setns(target, CLONE_NEWNET) == 0;
        if (target >= 0)
            ::close(target);
    }
    ~ScopedNetns()
    {
        if (m_ok)
            ::setns(m_home, CLONE_NEWNET);
        if (m_home >= 0)
            ::close(m_home);
    }
    ScopedNetns(const ScopedNetns &) = delete;
    ScopedNetns &operator=(const ScopedNetns &) = delete;
    bool ok() const { return m_ok; }

private:
    int m_home = -1;
    bool m_ok = false;
};

class NetnsLab {
public:
    NetnsLab()
        : m_prefix(QStringLiteral("pxt%1-").arg(QCoreApplication::applicationPid()))
    {
        removeStale();
        m_hostLinks = hostLinks();
    }
    ~NetnsLab() { cleanup(); }
    NetnsLab(const NetnsLab &) = delete;
    NetnsLab &operator=(const NetnsLab &) = delete;

    // Empty when namespaces can be made here; otherwise why not.
    static QString whyUnavailable()
    {
        if (::geteuid() != 0)
            return QStringLiteral("network namespaces need root");
        const QString probe = QStringLiteral("pxtcheck%1").arg(QCoreApplication::applicationPid());
        QString error;
        if (!runIp({"netns", "add", probe}, &error))
            return QStringLiteral("ip netns does not work here: ") + error;
        const bool bridge = runIp({"-n", probe, "link", "add", "br0", "type", "bridge"}, &error);
        const bool veth =
            bridge && runIp({"-n", probe, "link", "add", "va", "type", "veth", "peer", "name", "vb"}, &error);
        runIp({"netns", "del", probe}, nullptr);
        if (!bridge || !veth)
            return QStringLiteral("bridges or veth pairs cannot be made: ") + error;
        return {};
    }

    QString ns(const QString &name) const { return m_prefix + name; }
    QString error() const { return m_error; }

    bool addNamespace(const QString &name)
    {
        if (!ip({"netns", "add", ns(name)}))
            return false;
        m_namespaces.append(ns(name));
        return ip({"-n", ns(name), "link", "set", "lo", "up"});
    }
    bool addBridge(const QString &name, const QString &bridge)
    {
        return ip({"-n", ns(name), "link", "add", bridge, "type", "bridge"}) &&
               ip({"-n", ns(name), "link", "set", bridge, "up"});
    }
    // A veth pair from one namespace to another, its far end joining a bridge there when one is named.
    bool link(const QString &from, const QString &fromIf, const QString &to, const QString &toIf,
              const QString &bridge = QString())
    {
        if (!ip({"-n", ns(from), "link", "add", fromIf, "type", "veth", "peer", "name", toIf, "netns",
                 ns(to)}))
            return false;
        if (!bridge.isEmpty() && !ip({"-n", ns(to), "link", "set", toIf, "master", bridge}))
            return false;
        return ip({"-n", ns(from), "link", "set", fromIf, "up"}) &&
               ip({"-n", ns(to), "link", "set", toIf, "up"});
    }
    bool address(const QString &name, const QString &iface, const QString &cidr)
    {
        return ip({"-n", ns(name), "address", "add", cidr, "dev", iface});
    }
    bool route(const QString &name, const QStringList &args)
    {
        return ip(QStringList{"-n", ns(name), "route", "add"} + args);
    }
    bool setUp(const QString &name, const QString &iface, bool up)
    {
        return ip({"-n", ns(name), "link", "set", iface, up ? "up" : "down"});
    }
    bool forwarding(const QString &name)
    {
        return run(QStringLiteral("ip"),
                   {"netns", "exec", ns(name), "sh", "-c", "echo 1 > /proc/sys/net/ipv4/ip_forward"});
    }

    // The program itself, inside the namespace, without --loopback.
    QProcess *startProgram(const QString &name, const QString &binary, const QStringList &arguments,
                           const QProcessEnvironment &environment)
    {
        auto process = std::make_unique<QProcess>();
        process->setProgram(QStringLiteral("ip"));
        process->setArguments(QStringList{"netns", "exec", ns(name), binary} + arguments);
        process->setProcessEnvironment(environment);
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        process->start();
        if (!process->waitForStarted(5000)) {
            m_error = process->errorString();
            return nullptr;
        }
        m_processes.push_back(std::move(process));
        return m_processes.back().get();
    }

    // Programs first (they say goodbye), then every namespace; runs however the test ended.
    void cleanup()
    {
        for (const std::unique_ptr<QProcess> &process : m_processes) {
            if (process->state() == QProcess::NotRunning)
                continue;
            process->terminate();
            if (!process->waitForFinished(5000)) {
                process->kill();
                process->waitForFinished(2000);
            }
        }
        m_processes.clear();
        for (const QString &name : std::as_const(m_namespaces))
            runIp({"netns", "del", name}, nullptr);
        m_namespaces.clear();
    }

    // Nothing of the lab reached the host's own namespace: the same interfaces as before, none of them
    // linked to one of the lab's namespaces.
    bool hostUntouched() const
    {
        const QStringList now = hostLinks();
        if (QSet<QString>(now.cbegin(), now.cend()) !=
            QSet<QString>(m_hostLinks.cbegin(), m_hostLinks.cend()))
            return false;
        QProcess ip;
        ip.start(QStringLiteral("ip"), {"-o", "link", "show"});
        ip.waitForFinished(10000);
        return !QString::fromLocal8Bit(ip.readAllStandardOutput()).contains(m_prefix);
    }

    static bool runIp(const QStringList &args, QString *error)
    {
        QProcess ip;
        ip.start(QStringLiteral("ip"), args);
        const bool ok =
            ip.waitForFinished(10000) && ip.exitStatus() == QProcess::NormalExit && ip.exitCode() == 0;
        if (!ok && error)
            *error = QStringLiteral("ip %1: %2")
                         .arg(args.join(u' '), QString::fromLocal8Bit(ip.readAllStandardError()).trimmed());
        return ok;
    }

private:
    bool ip(const QStringList &args) { return runIp(args, &m_error); }
    bool run(const QString &program, const QStringList &args)
    {
        QProcess p;
        p.start(program, args);
        const bool ok =
            p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (!ok)
            m_error = program + u' ' + args.join(u' ') + QStringLiteral(": ") +
                      QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
        return ok;
    }

    static QStringList hostLinks()
    {
        QStringList names;
        for (const QString &entry : QDir(QStringLiteral("/sys/class/net"))
                                        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System))
            names.append(entry);
        return names;
    }

    // Namespaces left behind by a lab whose process died before it could clean up.
    void removeStale()
    {
        static const QRegularExpression ours(QStringLiteral("^pxt(\\d+)-\\S+"));
        const QStringList existing = QDir(QStringLiteral("/run/netns")).entryList(QDir::Files | QDir::System);
        for (const QString &name : existing) {
            const QRegularExpressionMatch match = ours.match(name);
            if (!match.hasMatch())
                continue;
            const pid_t pid = pid_t(match.captured(1).toLongLong());
            if (pid == pid_t(QCoreApplication::applicationPid()) || ::kill(pid, 0) == 0 || errno != ESRCH)
                continue;
            runIp({"netns", "del", name}, nullptr);
        }
    }

    QString m_prefix;
    QString m_error;
    QStringList m_namespaces;
    QStringList m_hostLinks;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};
