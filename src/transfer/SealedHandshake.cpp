#include "transfer/SealedHandshake.h"

#include "crypto/TransferKeys.h"
#include "transfer/TransferChannel.h"

#include <QRandomGenerator>

#include <memory>

using namespace TransferWire;

namespace SealedHandshake {

namespace {

// Keys, the own stream started and the other side's header taken; the channel sealed.
bool sealWith(TransferChannel &channel, const std::optional<TransferKeys> &keys, const QByteArray &peerHeader,
              std::unique_ptr<SecretStreamWriter> &writer)
{
    if (!keys)
        return channel.fail(TransferChannel::Status::Protocol);
    auto reader = std::make_unique<SecretStreamReader>();
    if (!reader->start(keys->receive, peerHeader))
        return channel.fail(TransferChannel::Status::Protocol);
    channel.seal(std::move(writer), std::move(reader));
    return true;
}

} // namespace

QByteArray RandomNonce()
{
    QByteArray nonce(HelloNonceBytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(nonce.data()), HelloNonceBytes / 4);
    return nonce;
}

bool Request(TransferChannel &channel, const IdentityKeys &own, const QByteArray &ownerBoxKey,
             const QString &clientId, QString *error)
{
    const QByteArray nonce = RandomNonce();
    if (!channel.write(Frame(Hello, EncodeHello({SealedVersion, clientId, nonce}))))
        return false;
    FrameType type = Hello;
    QByteArray payload;
    if (!channel.readControl({Hello, Refused}, &type, &payload))
        return false;
    if (type == Refused) {
        *error = QStringLiteral("The owner refused: %1").arg(DecodeRefused(payload).value_or(QString()));
        return false;
    }
    const std::optional<HelloMessage> answer = DecodeHello(payload);
    QByteArray ownerHeader(SecretStreamWriter::HeaderBytes, Qt::Uninitialized);
    if (!answer)
        return channel.fail(TransferChannel::Status::Protocol);
    if (!channel.readRaw(ownerHeader.data(), ownerHeader.size()))
        return false;
    const std::optional<TransferKeys> keys =
        DeriveTransferKeys(own, ownerBoxKey, TransferRole::Requester, nonce + answer->nonce);
    auto writer = std::make_unique<SecretStreamWriter>();
    const QByteArray header = keys ? writer->start(keys->send) : QByteArray();
    if (header.isEmpty())
        return channel.fail(TransferChannel::Status::Protocol);
    if (!channel.write(header))
        return false;
    return sealWith(channel, keys, ownerHeader, writer);
}

bool Answer(TransferChannel &channel, const IdentityKeys &own, const QByteArray &requesterBoxKey,
            const HelloMessage &hello)
{
    const QByteArray nonce = RandomNonce();
    const std::optional<TransferKeys> keys =
        DeriveTransferKeys(own, requesterBoxKey, TransferRole::Owner, hello.nonce + nonce);
    auto writer = std::make_unique<SecretStreamWriter>();
    const QByteArray header = keys ? writer->start(keys->send) : QByteArray();
    if (header.isEmpty())
        return channel.fail(TransferChannel::Status::Protocol);
    if (!channel.write(Frame(Hello, EncodeHello({SealedVersion, QString(), nonce})) + header))
        return false;
    QByteArray requesterHeader(SecretStreamWriter::HeaderBytes, Qt::Uninitialized);
    if (!channel.readRaw(requesterHeader.data(), requesterHeader.size()))
        return false;
    return sealWith(channel, keys, requesterHeader, writer);
}

} // namespace SealedHandshake
