#pragma once

// Hosts on one switch in namespaces of their own, each with a firewall that loses datagrams at random
// (nftables "numgen random": the kernel here has no netem), and complete peers on real UDP sockets
// made inside those namespaces. Used by the delivery tests and the delivery benchmark.

#include "NetnsLab.h"
#include "net/UdpTransport.h"

#include <QProcess>

#include <memory>

class LossyLan {
public:
    static constexpr char Subnet[] = "10.23.0.";

    explicit LossyLan(NetnsLab &lab)
        : m_lab(lab)
    {}

    // A switch and `hosts` hosts 10.23.0.1, .2, ... named h1, h2, ...
    bool build(int hosts)
    {
        if (!m_lab.addNamespace(QStringLiteral("sw")) ||
            !m_lab.addBridge(QStringLiteral("sw"), QStringLiteral("br0")))
            return false;
        for (int i = 1; i <= hosts; ++i) {
            const QString host = hostName(i);
            if (!m_lab.addNamespace(host) ||
                !m_lab.link(host, QStringLiteral("eth0"), QStringLiteral("sw"), QStringLiteral("p%1").arg(i),
                            QStringLiteral("br0")) ||
                !m_lab.address(host, QStringLiteral("eth0"), address(i) + QStringLiteral("/24")))
                return false;
        }
        m_hosts = hosts;
        return true;
    }

    static QString hostName(int i) { return QStringLiteral("h%1").arg(i); }
    static QString address(int i) { return QString::fromLatin1(Subnet) + QString::number(i); }

    // Replaces the host's firewall: `percent` of the UDP datagrams that match `match` (nft words, such
    // as "udp dport 54812") are lost on arrival. 0 removes the rule, 100 loses them all.
    bool setLoss(int host, int percent, const QString &match = QStringLiteral("udp dport 54812"))
    {
        QString rules = QStringLiteral("table inet perixloss\ndelete table inet perixloss\n");
        // nft refuses "mod 100 < 100": all of them is a rule without the lottery.
        const QString lottery =
            percent >= 100 ? QString() : QStringLiteral(" numgen random mod 100 < %1").arg(percent);
        if (percent > 0)
            rules += QStringLiteral(
                         "table inet perixloss {\n chain input {\n  type filter hook input priority 0;\n"
                         "  %1%2 drop\n }\n}\n")
                         .arg(match, lottery);
        QProcess nft;
        nft.start(QStringLiteral("ip"), {"netns", "exec", m_lab.ns(hostName(host)), "nft", "-f", "-"});
        if (!nft.waitForStarted(5000))
            return false;
        nft.write(rules.toUtf8());
        nft.closeWriteChannel();
        return nft.waitForFinished(10000) && nft.exitStatus() == QProcess::NormalExit && nft.exitCode() == 0;
    }

    // A transport of that host, open (its sockets made in the host's namespace), or null.
    std::unique_ptr<UdpTransport> openTransport(int host)
    {
        ScopedNetns inside(m_lab.ns(hostName(host)));
        if (!inside.ok())
            return nullptr;
        auto transport = std::make_unique<UdpTransport>(TransportConfig{});
        if (!transport->SetTransportOpen(true) || transport->LocalIP() != address(host))
            return nullptr;
        return transport;
    }

    static bool nftAvailable()
    {
        QProcess nft;
        nft.start(QStringLiteral("nft"), {"--version"});
        return nft.waitForFinished(5000) && nft.exitStatus() == QProcess::NormalExit && nft.exitCode() == 0;
    }

private:
    NetnsLab &m_lab;
    int m_hosts = 0;
};
