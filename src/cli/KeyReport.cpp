#include "cli/KeyReport.h"

#include "crypto/Fingerprint.h"

#include <QJsonDocument>
#include <QJsonObject>

QString FingerprintReport(const KeyFileResult &keys, bool json)
{
    const QString fingerprint = keys.hasKeys() ? KeyFingerprint(keys.keys->publicKeys()) : QString();
    if (json) {
        const QJsonObject object{{QStringLiteral("fingerprint"), fingerprint},
                                 {QStringLiteral("keyFile"), keys.path}};
        return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + u'\n';
    }
    return QStringLiteral("fingerprint ") + fingerprint + QStringLiteral("\nkey-file ") + keys.path + u'\n';
}

QString KeyStateName(const SecureChannel &channel, const QString &userId)
{
    switch (channel.trust(userId)) {
    case KeyTrust::Pinned:
        return QStringLiteral("pinned");
    case KeyTrust::Verified:
        return QStringLiteral("verified");
    case KeyTrust::Changed:
        return QStringLiteral("KEY CHANGED");
    case KeyTrust::Unknown:
        break;
    }
    return channel.announcedKeys(userId) ? QStringLiteral("key") : QStringLiteral("no key");
}

QString MarkName(PacketMark mark)
{
    switch (mark) {
    case PacketMark::Sealed:
        return QStringLiteral("sealed");
    case PacketMark::Signed:
        return QStringLiteral("signed");
    case PacketMark::NotVerified:
        return QStringLiteral("NOT VERIFIED");
    case PacketMark::KeyChanged:
        return QStringLiteral("KEY CHANGED");
    case PacketMark::Plain:
        break;
    }
    return QString();
}
