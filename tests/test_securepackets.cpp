#include "protocol/ProtocolUn.h"
#include "protocol/SecurePackets.h"
#include "protocol/SendMessageUn.h"

#include <QTest>

using namespace SecurePacket;

namespace {

const QString IdS = QStringLiteral("{11111111-2222-3333-4444-555555555555}");
const QString IdR = QStringLiteral("{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}");

QByteArray run(int from, int count)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out.append(char(from + i));
    return out;
}

const QByteArray Box = run(0x01, 32);
const QByteArray Sign = run(0x21, 32);
const QByteArray Signature(64, '\xEE');
const QByteArray Nonce = run(0x41, 24);
const QByteArray Digest = run(0x61, 32);
const QByteArray Time = QByteArray::fromHex("0102030405060708");
constexpr qint64 TimeValue = 0x0102030405060708;

QByteArray id(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    return char(bytes.size()) + bytes;
}

KeyAnnouncement announcement()
{
    return {IdS, {Box, Sign}, TimeValue, Signature};
}

} // namespace

class TestSecurePackets : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void classify_data();
    void classify();

    void keyPacketBytes();
    void sealedPacketBytes();
    void signaturePacketBytes();
    void signedBytes();
    void timesReadBackWhole_data();
    void timesReadBackWhole();

    void readersRefuse_data();
    void readersRefuse();
    void buildersRefuse();

    void sealedSizes();
    void claimedSender_data();
    void claimedSender();
};

void TestSecurePackets::classify_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<int>("kind");
    QTest::newRow("key header alone") << QByteArray("PERIXKEY!^:^$") << int(SecureKind::Key);
    QTest::newRow("key with bytes") << QByteArray("PERIXKEY!^:^$\x01\x02") << int(SecureKind::Key);
    QTest::newRow("sealed") << QByteArray("PERIXSEALED!^:^$x") << int(SecureKind::Sealed);
    QTest::newRow("signature") << QByteArray("PERIXSIGN!^:^$x") << int(SecureKind::Signature);
    QTest::newRow("blank before") << QByteArray(" PERIXKEY!^:^$") << int(SecureKind::None);
    QTest::newRow("lower case") << QByteArray("perixsealed!^:^$") << int(SecureKind::None);
    QTest::newRow("longer word") << QByteArray("PERIXKEYS!^:^$") << int(SecureKind::None);
    QTest::newRow("no marker") << QByteArray("PERIXKEY") << int(SecureKind::None);
    QTest::newRow("design packet") << QByteArray("NEW!^:^$<ID>x</ID>") << int(SecureKind::None);
    QTest::newRow("empty") << QByteArray() << int(SecureKind::None);
}

void TestSecurePackets::classify()
{
    QFETCH(QByteArray, packet);
    QFETCH(int, kind);
    QCOMPARE(int(ClassifySecurePacket(packet)), kind);
    // A peer that knows only the design's kinds ignores every one of ours.
    if (kind != int(SecureKind::None))
        QCOMPARE(ClassifyPacket(packet), quint8(pkUnknown));
}

void TestSecurePackets::keyPacketBytes()
{
    const Packet packet = BuildKeyPacket(announcement());
    const QByteArray expected =
        "PERIXKEY!^:^$" + QByteArray(1, '\x01') + id(IdS) + Box + Sign + Time + Signature;
    QCOMPARE(packet, expected);
    QCOMPARE(packet.size(), 13 + 1 + 1 + 38 + 32 + 32 + 8 + 64);
    QCOMPARE(ClassifyPacket(packet), quint8(pkUnknown));

    const std::optional<KeyAnnouncement> read = ReadKeyPacket(packet);
    QVERIFY(read);
    QCOMPARE(read->userId, IdS);
    QCOMPARE(read->keys, (PeerPublicKeys{Box, Sign}));
    QCOMPARE(read->timeMs, TimeValue);
    QCOMPARE(read->signature, Signature);
}

void TestSecurePackets::sealedPacketBytes()
{
    const QByteArray box = run(0x80, 16 + 8 + 64 + 5);
    const Packet packet = BuildSealedPacket({IdR, IdS, Nonce, box});
    const QByteArray expected = "PERIXSEALED!^:^$" + QByteArray(1, '\x01') + id(IdR) + id(IdS) + Nonce + box;
    QCOMPARE(packet, expected);

    const std::optional<SealedEnvelope> read = ReadSealedPacket(packet);
    QVERIFY(read);
    QCOMPARE(read->recipientId, IdR);
    QCOMPARE(read->senderId, IdS);
    QCOMPARE(read->nonce, Nonce);
    QCOMPARE(read->box, box);

    const QByteArray content = BuildSealedContent({TimeValue, Signature, "MESSAGETOUSER!^:^$"});
    QCOMPARE(content, Time + Signature + "MESSAGETOUSER!^:^$");
    const std::optional<SealedContent> inner = ReadSealedContent(content);
    QVERIFY(inner);
    QCOMPARE(inner->timeMs, TimeValue);
    QCOMPARE(inner->signature, Signature);
    QCOMPARE(inner->packet, Packet("MESSAGETOUSER!^:^$"));
    // Time and signature without a packet are no content.
    QVERIFY(!ReadSealedContent(Time + Signature));
    QVERIFY(!ReadSealedContent(Time + Signature.first(63)));
    QVERIFY(BuildSealedContent({TimeValue, Signature, Packet()}).isEmpty());
}

void TestSecurePackets::signaturePacketBytes()
{
    const Packet packet = BuildSignaturePacket({IdS, TimeValue, Digest, Signature});
    const QByteArray expected =
        "PERIXSIGN!^:^$" + QByteArray(1, '\x01') + id(IdS) + Time + Digest + Signature;
    QCOMPARE(packet, expected);
    QCOMPARE(packet.size(), 14 + 1 + 1 + 38 + 8 + 32 + 64);

    const std::optional<SignatureCompanion> read = ReadSignaturePacket(packet);
    QVERIFY(read);
    QCOMPARE(read->senderId, IdS);
    QCOMPARE(read->timeMs, TimeValue);
    QCOMPARE(read->digest, Digest);
    QCOMPARE(read->signature, Signature);
}

void TestSecurePackets::signedBytes()
{
    QCOMPARE(KeySignedBytes(IdS, {Box, Sign}, TimeValue),
             QByteArray("PerixChat key v1", 17) + id(IdS) + Box + Sign + Time);
    QCOMPARE(SealedSignedBytes(IdS, IdR, TimeValue, "NEW!^:^$"),
             QByteArray("PerixChat sealed v1", 20) + id(IdS) + id(IdR) + Time + "NEW!^:^$");
    QCOMPARE(CompanionSignedBytes(IdS, TimeValue, Digest),
             QByteArray("PerixChat signature v1", 23) + id(IdS) + Time + Digest);
    // What cannot travel is not signed either.
    QVERIFY(KeySignedBytes(QString(), {Box, Sign}, 1).isEmpty());
    QVERIFY(KeySignedBytes(IdS, {Box, Sign.first(31)}, 1).isEmpty());
    QVERIFY(SealedSignedBytes(IdS, QString(65, u'x'), 1, "x").isEmpty());
    QVERIFY(CompanionSignedBytes(IdS, 1, Digest.first(31)).isEmpty());
}

void TestSecurePackets::timesReadBackWhole_data()
{
    QTest::addColumn<qint64>("time");
    QTest::newRow("zero") << qint64(0);
    QTest::newRow("minus one") << qint64(-1);
    QTest::newRow("a day in 2030") << qint64(1900000000000);
    QTest::newRow("lowest") << std::numeric_limits<qint64>::min();
    QTest::newRow("highest") << std::numeric_limits<qint64>::max();
}

void TestSecurePackets::timesReadBackWhole()
{
    QFETCH(qint64, time);
    KeyAnnouncement a = announcement();
    a.timeMs = time;
    QCOMPARE(ReadKeyPacket(BuildKeyPacket(a))->timeMs, time);
    QCOMPARE(ReadSignaturePacket(BuildSignaturePacket({IdS, time, Digest, Signature}))->timeMs, time);
    QCOMPARE(ReadSealedContent(BuildSealedContent({time, Signature, "x"}))->timeMs, time);
}

void TestSecurePackets::readersRefuse_data()
{
    QTest::addColumn<QByteArray>("packet");
    const QByteArray key = BuildKeyPacket(announcement());
    const QByteArray sealed = BuildSealedPacket({IdR, IdS, Nonce, run(0x80, 100)});
    const QByteArray sign = BuildSignaturePacket({IdS, 5, Digest, Signature});
    QTest::newRow("key cut by one") << key.chopped(1);
    QTest::newRow("key with one more") << key + 'x';
    QTest::newRow("key header only") << QByteArray(KeyHeader);
    QTest::newRow("key version 2") << QByteArray(key).replace(13, 1, "\x02");
    QTest::newRow("key version 0") << QByteArray(key).replace(13, 1, QByteArray(1, '\0'));
    QTest::newRow("key ID of length 0")
        << "PERIXKEY!^:^$" + QByteArray(1, '\x01') + QByteArray(1, '\0') + Box + Sign + Time + Signature;
    QTest::newRow("key ID of 65 bytes") << "PERIXKEY!^:^$" + QByteArray(1, '\x01') + QByteArray(1, char(65)) +
                                               QByteArray(65, 'a') + Box + Sign + Time + Signature;
    QTest::newRow("key ID longer than the rest")
        << "PERIXKEY!^:^$" + QByteArray(1, '\x01') + QByteArray(1, char(60)) + QByteArray(10, 'a');
    QTest::newRow("key ID not UTF-8") << "PERIXKEY!^:^$" + QByteArray(1, '\x01') +
                                             QByteArray("\x02\xC3\x28", 3) + Box + Sign + Time + Signature;
    QTest::newRow("sealed box too short")
        << "PERIXSEALED!^:^$" + QByteArray(1, '\x01') + id(IdR) + id(IdS) + Nonce + run(0x80, 16 + 8 + 64);
    QTest::newRow("sealed nonce cut")
        << "PERIXSEALED!^:^$" + QByteArray(1, '\x01') + id(IdR) + id(IdS) + Nonce.first(10);
    QTest::newRow("sealed above a datagram")
        << "PERIXSEALED!^:^$" + QByteArray(1, '\x01') + id(IdR) + id(IdS) + Nonce + QByteArray(8192, 'b');
    QTest::newRow("sealed version 2") << QByteArray(sealed).replace(16, 1, "\x02");
    QTest::newRow("sign cut by one") << sign.chopped(1);
    QTest::newRow("sign with one more") << sign + 'x';
    QTest::newRow("design packet") << QByteArray("MESSAGETOUSER!^:^$<FROMUSERID>x</FROMUSERID>");
}

void TestSecurePackets::readersRefuse()
{
    QFETCH(QByteArray, packet);
    QVERIFY(!ReadKeyPacket(packet));
    QVERIFY(!ReadSealedPacket(packet));
    QVERIFY(!ReadSignaturePacket(packet));
}

void TestSecurePackets::buildersRefuse()
{
    KeyAnnouncement a = announcement();
    a.userId = QString(65, u'x');
    QVERIFY(BuildKeyPacket(a).isEmpty());
    a = announcement();
    a.keys.box.chop(1);
    QVERIFY(BuildKeyPacket(a).isEmpty());
    a = announcement();
    a.signature.append('x');
    QVERIFY(BuildKeyPacket(a).isEmpty());
    // 64 bytes of UTF-8 travel, 65 do not.
    a = announcement();
    a.userId = QString(32, QChar(0x00E9));
    QVERIFY(!BuildKeyPacket(a).isEmpty());
    QCOMPARE(ReadKeyPacket(BuildKeyPacket(a))->userId, a.userId);

    QVERIFY(BuildSealedPacket({IdR, QString(), Nonce, run(0x80, 100)}).isEmpty());
    QVERIFY(BuildSealedPacket({IdR, IdS, Nonce.first(23), run(0x80, 100)}).isEmpty());
    QVERIFY(BuildSealedPacket({IdR, IdS, Nonce, run(0x80, 16 + 8 + 64)}).isEmpty());
    QVERIFY(BuildSignaturePacket({IdS, 1, Digest, Signature.first(63)}).isEmpty());
}

void TestSecurePackets::sealedSizes()
{
    // Header 16, version 1, two IDs of 1 + 38, nonce 24, MAC 16, time 8, signature 64: 207 bytes.
    QCOMPARE(SealedPacketSize(38, 38, 0), qsizetype(207));
    QCOMPARE(MaxSealablePacket(IdS, IdR), qsizetype(8192 - 207));
    QCOMPARE(MaxSealablePacket(IdS, QString()), qsizetype(0));

    const qsizetype innerLimit = MaxSealablePacket(IdS, IdR);
    const auto sealedWith = [&](qsizetype packetBytes) {
        return BuildSealedPacket({IdR, IdS, Nonce, QByteArray(16 + 8 + 64 + packetBytes, 'c')});
    };
    QCOMPARE(sealedWith(innerLimit).size(), qsizetype(8192));
    QVERIFY(ReadSealedPacket(sealedWith(innerLimit)));
    QVERIFY(sealedWith(innerLimit + 1).isEmpty());
}

void TestSecurePackets::claimedSender_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QString>("sender");
    RUserID me;
    me.ID = IdS;
    me.Alias = QStringLiteral("Anna");
    const WireIdentity anna = WireIdentity::fromEntry(me);
    const GroupTalkWire group{QStringLiteral("{G}"), IdR, QString(), QString(), QStringLiteral("Boris"),
                              QStringLiteral("Team")};
    const QString list = BuildUserIDList(IdS, {IdR});
    QTest::newRow("NEW") << BuildPresencePacket(me, true) << IdS;
    QTest::newRow("UPDATEINFO") << BuildPresencePacket(me, false) << IdS;
    QTest::newRow("DISCONNECT") << BuildDisconnectPacket(me) << IdS;
    QTest::newRow("MESSAGE") << BuildMessagePacket(anna, QStringLiteral("hi")) << IdS;
    QTest::newRow("MESSAGETOGROUP") << BuildGroupMessagePacket(list, group, anna, QStringLiteral("hi"))
                                    << IdS;
    QTest::newRow("MESSAGETOUSER names the addressee first")
        << BuildUserMessagePacket(IdR, anna, QStringLiteral("hi"), false) << IdS;
    QTest::newRow("FILETO") << BuildFileToPacket(1, QStringLiteral("a"), IdR, QString(), IdS, QString())
                            << IdS;
    QTest::newRow("UPDATEINFOTOGROUP_") << BuildUpdateInfoToGroupPacket(list, group, anna) << IdS;
    QTest::newRow("rename") << BuildContactGroupRenamePacket(QStringLiteral("{G}"), anna, QStringLiteral("T"))
                            << IdS;
    QTest::newRow("group deleted by author") << BuildGroupTalkDeletePacket(group) << IdR;
    QTest::newRow("private closed") << BuildPrivateDeletePacket(IdR, anna) << IdS;
    QTest::newRow("kind 0") << QByteArray("HELLO!^:^$<ID>x</ID>") << QString();
}

void TestSecurePackets::claimedSender()
{
    QFETCH(QByteArray, packet);
    QFETCH(QString, sender);
    QCOMPARE(ClaimedSenderId(packet), sender);
}

QTEST_GUILESS_MAIN(TestSecurePackets)
#include "test_securepackets.moc"
