#pragma once

// Helpers for tests that run complete peers in one process and raw UDP peers beside them.

#include "app/AppContext.h"
#include "app/CommandLine.h"
#include "app/ChatCore.h"
#include "app/ui/PerixChatProgram.h"
#include "app/ui/TPerixChatForm.h"
#include "net/UdpTransport.h"
#include "peers/PeerRegistry.h"
#include "peers/ui/fmUserListUn.h"
#include "protocol/ProtocolClassUn.h"
#include "settings/TMyUserData.h"
#include "support/Wait.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QUdpSocket>

#include <functional>
#include <memory>

// One complete copy of the program with its own settings file and data folder.
class TestPeer {
public:
    explicit TestPeer(const QString &alias, const QString &dirPath = QString())
    {
        m_path = dirPath.isEmpty() ? m_dir.path() : dirPath;
        if (!alias.isNull())
            TSetUserData(store()).SetAlias(alias);
    }

    SettingsStore store() const { return SettingsStore(settingsFile()); }
    QString settingsFile() const { return m_path + QStringLiteral("/settings.ini"); }
    QString dataDir() const { return m_path; }
    QString id() const { return TMyUserData(store()).GetID(); }

    void start()
    {
        StartOptions options;
        options.loopback = true;
        options.settingsFile = settingsFile();
        options.dataDir = dataDir();
        m_program = std::make_unique<PerixChatProgram>(AppContext::fromOptions(options));
        m_program->start();
    }
    // Ends the copy the normal way: DISCONNECT, storing, endpoints closed.
    void close()
    {
        if (m_program)
            m_program->close();
        m_program.reset();
    }
    // Ends the copy as a crash would: no goodbye.
    void vanish()
    {
        if (m_program)
            m_program->mainWindow()->transport()->SetTransportOpen(false);
        m_program.reset();
    }

    PerixChatProgram *program() const { return m_program.get(); }
    TPerixChatForm *mainWindow() const { return m_program->mainWindow(); }
    TfmUserList *userList() const { return m_program->userList(); }
    PeerRegistry *registry() const { return m_program->chat()->registry(); }

    // Texts of all user nodes in all groups, in group order.
    QStringList nodeTexts() const
    {
        QStringList texts;
        for (const QTreeWidget *tree : userList()->findChildren<QTreeWidget *>()) {
            for (int i = 0; i < tree->topLevelItemCount(); ++i)
                texts.append(withoutIsolates(tree->topLevelItem(i)->text(0)));
        }
        return texts;
    }
    int onlineCount() const
    {
        int n = 0;
        for (int i = 1; i < registry()->peers().count(); ++i)
            n += registry()->GetPeer(i)->Online;
        return n;
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<PerixChatProgram> m_program;
};

// A bare socket on the peer port that hears every broadcast, and sends from a port of its own.
class RawPeer {
public:
    RawPeer()
    {
        m_listener.bind(QHostAddress::AnyIPv4, PeerPort,
                        QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint);
        m_sender.bind(QHostAddress::LocalHost, 0);
    }
    bool isReady() const { return m_listener.state() == QAbstractSocket::BoundState; }

    void send(const QByteArray &packet)
    {
        m_sender.writeDatagram(packet, QHostAddress(QStringLiteral("127.255.255.255")), PeerPort);
    }
    // Everything heard so far, the raw peer's own sends included.
    QList<QByteArray> heard()
    {
        while (m_listener.hasPendingDatagrams())
            m_heard.append(m_listener.receiveDatagram().data());
        return m_heard;
    }
    void clear()
    {
        heard();
        m_heard.clear();
    }
    // Heard packets of one kind whose ID field is the given one.
    QList<QByteArray> heardFrom(quint8 kind, const QString &id)
    {
        QList<QByteArray> result;
        for (const QByteArray &p : heard()) {
            if (ClassifyPacket(p) == kind && TDataNewMessage(p).GetID() == id)
                result.append(p);
        }
        return result;
    }

private:
    QUdpSocket m_listener;
    QUdpSocket m_sender;
    QList<QByteArray> m_heard;
};
