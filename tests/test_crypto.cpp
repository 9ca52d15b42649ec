#include "crypto/Fingerprint.h"
#include "crypto/IdentityKeys.h"
#include "crypto/KeyFile.h"
#include "crypto/PacketSealer.h"
#include "crypto/ReplayCache.h"
#include "crypto/TransferKeys.h"
#include "protocol/SendMessageUn.h"
#include "settings/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sodium.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace SecurePacket;

namespace {

const QString IdA = QStringLiteral("{AAAAAAAA-1111-2222-3333-444444444444}");
const QString IdB = QStringLiteral("{BBBBBBBB-1111-2222-3333-444444444444}");
const QString IdC = QStringLiteral("{CCCCCCCC-1111-2222-3333-444444444444}");
constexpr qint64 Now = 1900000000000;

IdentityKeys keysFrom(char seed)
{
    return *IdentityKeys::fromSecrets(QByteArray(32, seed), QByteArray(32, char(seed + 1)));
}

unsigned fileMode(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return 0xFFFFu;
    return unsigned(info.st_mode) & 07777u;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes, QFile::Permissions permissions)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    return file.setPermissions(permissions);
}

Packet privateMessage(const QString &from, const QString &to, const QString &body)
{
    WireIdentity sender;
    sender.id = from;
    sender.alias = QStringLiteral("Anna");
    sender.ip = QStringLiteral("10.0.0.1");
    return BuildUserMessagePacket(to, sender, body, false);
}

// A design packet of exactly the given size.
Packet packetOfSize(qsizetype size)
{
    Packet packet = privateMessage(IdA, IdB, QString());
    const qsizetype cut = packet.indexOf("</MESSAGESTR>");
    packet.insert(cut, QByteArray(size - packet.size(), 'x'));
    return packet;
}

const unsigned char *u(const QByteArray &bytes)
{
    return reinterpret_cast<const unsigned char *>(bytes.constData());
}

} // namespace

class TestCrypto : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();

    void keyFileMadePrivate();
    void keyFileMadeUnderAnyUmask_data();
    void keyFileMadeUnderAnyUmask();
    void keyFileOpenToOthersRefused_data();
    void keyFileOpenToOthersRefused();
    void keyFileDamagedRefused_data();
    void keyFileDamagedRefused();
    void keyFileNotAPlainFile();
    void keyFileOfAnotherUser();
    void keyFileCannotBeMade();
    void keyFilePerSettingsFile();

    void fingerprint_data();
    void fingerprint();
    void fingerprintFollowsEveryBit();

    void sealedOpensForTheRecipientOnly();
    void sealedFormatAsDocumented();
    void sealedTamperingFailsQuietly();
    void sealedReplayAndTime();
    void sealedSizeLimit();
    void replayCacheBounded();

    void keyAnnouncement();
    void signatureCompanion();

    void transferKeysAgree();
    void secretStream();
    void secretStreamRefusesTampering_data();
    void secretStreamRefusesTampering();

private:
    QTemporaryDir m_dir;
};

void TestCrypto::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(SodiumReady());
    QVERIFY(m_dir.isValid());
}

void TestCrypto::keyFileMadePrivate()
{
    const QString path = m_dir.filePath(QStringLiteral("made/anna.ini.key"));
    const KeyFileResult made = LoadOrCreateIdentityKeys(path);
    QCOMPARE(made.status, KeyFileStatus::Created);
    QVERIFY(made.hasKeys());
    QVERIFY(!made.mustRefuseStart());
    QVERIFY(made.message.isEmpty());
    QCOMPARE(fileMode(path), 0600u);
    // No temporary file stays behind.
    QCOMPARE(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files), QStringList{"anna.ini.key"});

    const QByteArray text = readFile(path);
    QString error;
    const std::optional<IdentityKeys> parsed = ParseKeyFileText(text, &error);
    QVERIFY2(parsed, qPrintable(error));
    QCOMPARE(parsed->publicKeys(), made.keys->publicKeys());
    QVERIFY(text.contains("box-public=" + made.keys->publicKeys().box.toBase64() + '\n'));

    const KeyFileResult loaded = LoadOrCreateIdentityKeys(path);
    QCOMPARE(loaded.status, KeyFileStatus::Loaded);
    QCOMPARE(loaded.keys->publicKeys(), made.keys->publicKeys());
    QCOMPARE(readFile(path), text);
}

void TestCrypto::keyFileMadeUnderAnyUmask_data()
{
    QTest::addColumn<int>("mask");
    QTest::newRow("open umask") << 0;
    QTest::newRow("usual umask") << 022;
    QTest::newRow("umask that takes the user's bits too") << 0777;
}

void TestCrypto::keyFileMadeUnderAnyUmask()
{
    QFETCH(int, mask);
    const QString path = m_dir.filePath(QStringLiteral("umask-%1.key").arg(mask));
    const mode_t previous = ::umask(mode_t(mask));
    const KeyFileResult made = LoadOrCreateIdentityKeys(path);
    ::umask(previous);
    QCOMPARE(made.status, KeyFileStatus::Created);
    QCOMPARE(fileMode(path), 0600u);
    QCOMPARE(LoadOrCreateIdentityKeys(path).status, KeyFileStatus::Loaded);
}

void TestCrypto::keyFileOpenToOthersRefused_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("0644") << 0644;
    QTest::newRow("0640") << 0640;
    QTest::newRow("0604") << 0604;
    QTest::newRow("group may write") << 0620;
    QTest::newRow("others may write") << 0602;
}

void TestCrypto::keyFileOpenToOthersRefused()
{
    QFETCH(int, mode);
    const QString path = m_dir.filePath(QStringLiteral("open-%1.key").arg(mode, 0, 8));
    QCOMPARE(LoadOrCreateIdentityKeys(path).status, KeyFileStatus::Created);
    const QByteArray before = readFile(path);
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);

    const KeyFileResult result = LoadOrCreateIdentityKeys(path);
    QCOMPARE(result.status, KeyFileStatus::Exposed);
    QVERIFY(!result.hasKeys());
    QVERIFY(result.mustRefuseStart());
    QVERIFY2(result.message.contains(QStringLiteral("chmod 600 \"%1\"").arg(path)),
             qPrintable(result.message));
    QVERIFY(result.message.contains(QStringLiteral("permissions 0%1").arg(mode, 0, 8)));
    // Neither changed nor replaced.
    QCOMPARE(readFile(path), before);
    QCOMPARE(fileMode(path), unsigned(mode));
}

void TestCrypto::keyFileDamagedRefused_data()
{
    QTest::addColumn<QByteArray>("text");
    const QByteArray good = KeyFileText(keysFrom(7));
    const QByteArray otherPublic = keysFrom(9).publicKeys().sign.toBase64();
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("binary") << QByteArray("\x00\x01\x02\xFF", 4);
    QTest::newRow("cut in half") << good.first(good.size() / 2);
    QTest::newRow("name twice") << good + "version=1\n";
    QTest::newRow("unknown name") << good + "comment=hello\n";
    QTest::newRow("not name=value") << good + "hello\n";
    QTest::newRow("version 2") << QByteArray(good).replace("version=1", "version=2");
    QTest::newRow("sign-public missing") << QByteArray(good).replace("sign-public=", "#sign-public=");
    QTest::newRow("bad base64") << QByteArray(good).replace("box-secret=", "box-secret=!");
    QTest::newRow("31-byte key") << QByteArray(good).replace("box-public=" +
                                                                 keysFrom(7).publicKeys().box.toBase64(),
                                                             "box-public=" + QByteArray(31, 'k').toBase64());
    QTest::newRow("public key of someone else")
        << QByteArray(good).replace(keysFrom(7).publicKeys().sign.toBase64(), otherPublic);
    QTest::newRow("too long") << good + QByteArray(5000, '#');
}

void TestCrypto::keyFileDamagedRefused()
{
    QFETCH(QByteArray, text);
    const QString path = m_dir.filePath(QStringLiteral("damaged-%1.key").arg(QTest::currentDataTag()));
    QVERIFY(writeFile(path, text, QFile::ReadOwner | QFile::WriteOwner));
    const KeyFileResult result = LoadOrCreateIdentityKeys(path);
    QCOMPARE(result.status, KeyFileStatus::Damaged);
    QVERIFY(result.mustRefuseStart());
    QVERIFY(!result.hasKeys());
    QVERIFY(result.message.contains(path));
    QVERIFY(result.message.contains(QStringLiteral("move it away")));
    // Never overwritten silently.
    QCOMPARE(readFile(path), text);
}

void TestCrypto::keyFileNotAPlainFile()
{
    const QString folder = m_dir.filePath(QStringLiteral("folder.key"));
    QVERIFY(QDir().mkpath(folder));
    const KeyFileResult inFolder = LoadOrCreateIdentityKeys(folder);
    QCOMPARE(inFolder.status, KeyFileStatus::Unreadable);
    QVERIFY(inFolder.mustRefuseStart());

    // A FIFO would block a plain open until someone writes to it.
    const QString fifo = m_dir.filePath(QStringLiteral("fifo.key"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QCOMPARE(LoadOrCreateIdentityKeys(fifo).status, KeyFileStatus::Unreadable);
}

void TestCrypto::keyFileOfAnotherUser()
{
    if (::geteuid() != 0)
        QSKIP("only root can give a file to another user");
    const QString path = m_dir.filePath(QStringLiteral("nobody.key"));
    QCOMPARE(LoadOrCreateIdentityKeys(path).status, KeyFileStatus::Created);
    QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
    const KeyFileResult result = LoadOrCreateIdentityKeys(path);
    QCOMPARE(result.status, KeyFileStatus::NotOwned);
    QVERIFY(result.mustRefuseStart());
}

void TestCrypto::keyFileCannotBeMade()
{
    const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
    QVERIFY(writeFile(blocker, "x", QFile::ReadOwner | QFile::WriteOwner));
    const QString path = blocker + QStringLiteral("/inside/anna.key");
    const KeyFileResult result = LoadOrCreateIdentityKeys(path);
    // A peer without keys, which may still start.
    QCOMPARE(result.status, KeyFileStatus::CannotCreate);
    QVERIFY(!result.hasKeys());
    QVERIFY(!result.mustRefuseStart());
    QVERIFY(result.message.contains(QStringLiteral("runs without keys")));
}

void TestCrypto::keyFilePerSettingsFile()
{
    const QString anna = m_dir.filePath(QStringLiteral("users/anna.ini"));
    const QString boris = m_dir.filePath(QStringLiteral("users/boris.ini"));
    QCOMPARE(IdentityKeyFile(SettingsStore(anna)),
             QFileInfo(anna).absoluteFilePath() + QStringLiteral(".key"));
    const KeyFileResult a = LoadOrCreateIdentityKeys(IdentityKeyFile(SettingsStore(anna)));
    const KeyFileResult b = LoadOrCreateIdentityKeys(IdentityKeyFile(SettingsStore(boris)));
    QVERIFY(a.hasKeys() && b.hasKeys());
    QVERIFY(a.keys->publicKeys() != b.keys->publicKeys());
    QCOMPARE(LoadOrCreateIdentityKeys(IdentityKeyFile(SettingsStore(anna))).keys->publicKeys(),
             a.keys->publicKeys());

    // The user's own store keeps its keys beside its settings file.
    const SettingsStore user;
    QCOMPARE(QFileInfo(IdentityKeyFile(user)).absolutePath(), QFileInfo(user.location()).absolutePath());
    QCOMPARE(QFileInfo(IdentityKeyFile(user)).fileName(), QStringLiteral("Perix Chat.key"));
}

void TestCrypto::fingerprint_data()
{
    QTest::addColumn<QByteArray>("box");
    QTest::addColumn<QByteArray>("sign");
    QTest::addColumn<QString>("text");
    QByteArray box;
    QByteArray sign;
    for (int i = 0; i < 32; ++i) {
        box.append(char(i));
        sign.append(char(32 + i));
    }
    // BLAKE2b-320 of "PerixChat fingerprint v1\0" + box + sign, five bytes a group, modulo 100000.
    QTest::newRow("counting") << box << sign
                              << QStringLiteral("69025 09278 21663 11907 88384 72029 85753 13508");
    QTest::newRow("zeros") << QByteArray(32, '\0') << QByteArray(32, '\0')
                           << QStringLiteral("76329 63704 85538 97910 56429 55627 75065 94042");
    QTest::newRow("leading zeros kept") << QByteArray(32, '\xFF') << QByteArray(32, '\x80')
                                        << QStringLiteral("57035 61772 00878 64431 03333 04949 27823 47282");
}

void TestCrypto::fingerprint()
{
    QFETCH(QByteArray, box);
    QFETCH(QByteArray, sign);
    QFETCH(QString, text);
    QCOMPARE(KeyFingerprint({box, sign}), text);
}

void TestCrypto::fingerprintFollowsEveryBit()
{
    const PeerPublicKeys keys = keysFrom(3).publicKeys();
    const QString text = KeyFingerprint(keys);
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{5}( \\d{5}){7}$")).match(text).hasMatch());
    for (int bit = 0; bit < 512; ++bit) {
        PeerPublicKeys changed = keys;
        QByteArray &key = bit < 256 ? changed.box : changed.sign;
        key[(bit % 256) / 8] = char(key[(bit % 256) / 8] ^ (1 << (bit % 8)));
        QVERIFY2(KeyFingerprint(changed) != text, qPrintable(QString::number(bit)));
    }
    QVERIFY(KeyFingerprint({keys.sign, keys.box}) != text);
    QVERIFY(KeyFingerprint({keys.box, QByteArray()}).isEmpty());
}

void TestCrypto::sealedOpensForTheRecipientOnly()
{
    const IdentityKeys a = keysFrom(1);
    const IdentityKeys b = keysFrom(3);
    const IdentityKeys c = keysFrom(5);
    PacketSealer anna(IdA, a);
    PacketSealer boris(IdB, b);
    PacketSealer clara(IdC, c);
    const Packet message = privateMessage(IdA, IdB, QStringLiteral("Meet at noon"));

    const Packet sealed = anna.seal(IdB, b.publicKeys(), message, Now);
    QVERIFY(!sealed.isEmpty());
    QCOMPARE(ClassifyPacket(sealed), quint8(pkUnknown));
    QCOMPARE(ClassifySecurePacket(sealed), SecureKind::Sealed);
    QVERIFY(!sealed.contains("Meet at noon"));
    QVERIFY(!sealed.contains("MESSAGETOUSER"));

    const std::optional<SealedEnvelope> envelope = ReadSealedPacket(sealed);
    QVERIFY(envelope);
    QCOMPARE(envelope->senderId, IdA);
    QCOMPARE(envelope->recipientId, IdB);

    ReplayCache replays;
    const OpenedPacket opened = boris.open(*envelope, a.publicKeys(), Now + 1500, replays);
    QCOMPARE(opened.check, PacketCheck::Ok);
    QCOMPARE(opened.packet, message);
    QCOMPARE(opened.senderId, IdA);
    QCOMPARE(opened.timeMs, Now);

    // Sealed for someone else: dropped before anything is decrypted.
    ReplayCache claraReplays;
    QCOMPARE(clara.open(*envelope, a.publicKeys(), Now, claraReplays).check, PacketCheck::NotForUs);
    // Clara renames herself in the envelope: the box does not open with her key.
    SealedEnvelope stolen = *envelope;
    stolen.recipientId = IdC;
    QCOMPARE(clara.open(stolen, a.publicKeys(), Now, claraReplays).check, PacketCheck::Forged);
    QCOMPARE(claraReplays.size(), qsizetype(0));

    // Opened with a key that is not the sender's (a changed or forged key).
    ReplayCache fresh;
    QCOMPARE(boris.open(*envelope, c.publicKeys(), Now, fresh).check, PacketCheck::Forged);
    // Another sender ID in clear: the signature names Anna.
    SealedEnvelope renamed = *envelope;
    renamed.senderId = IdC;
    QCOMPARE(boris.open(renamed, a.publicKeys(), Now, fresh).check, PacketCheck::Forged);
    QCOMPARE(fresh.size(), qsizetype(0));
}

void TestCrypto::sealedFormatAsDocumented()
{
    // Opened with libsodium alone, following the header comment of SecurePackets.h.
    const IdentityKeys a = keysFrom(1);
    const IdentityKeys b = keysFrom(3);
    PacketSealer anna(IdA, a);
    const Packet message = privateMessage(IdA, IdB, QStringLiteral("hello"));
    const Packet sealed = anna.seal(IdB, b.publicKeys(), message, Now);

    const QByteArray idA = IdA.toUtf8();
    const QByteArray idB = IdB.toUtf8();
    const QByteArray front = "PERIXSEALED!^:^$\x01" + QByteArray(1, char(idB.size())) + idB +
                             QByteArray(1, char(idA.size())) + idA;
    QVERIFY(sealed.startsWith(front));
    const QByteArray nonce = sealed.mid(front.size(), 24);
    const QByteArray box = sealed.sliced(front.size() + 24);
    QCOMPARE(box.size(), 16 + 8 + 64 + message.size());

    QByteArray plain(box.size() - 16, '\0');
    QCOMPARE(crypto_box_open_easy(reinterpret_cast<unsigned char *>(plain.data()), u(box),
                                  quint64(box.size()), u(nonce), u(a.publicKeys().box), b.boxSecret().data()),
             0);
    QCOMPARE(plain.first(8), QByteArray::fromHex(QByteArray::number(Now, 16).rightJustified(16, '0')));
    QCOMPARE(plain.sliced(72), message);
    const QByteArray signedBytes = QByteArray("PerixChat sealed v1", 20) + char(idA.size()) + idA +
                                   char(idB.size()) + idB + plain.first(8) + message;
    QCOMPARE(crypto_sign_verify_detached(u(plain.mid(8, 64)), u(signedBytes), quint64(signedBytes.size()),
                                         u(a.publicKeys().sign)),
             0);
}

void TestCrypto::sealedTamperingFailsQuietly()
{
    const IdentityKeys a = keysFrom(1);
    const IdentityKeys b = keysFrom(3);
    PacketSealer anna(IdA, a);
    PacketSealer boris(IdB, b);
    const Packet sealed = anna.seal(IdB, b.publicKeys(), privateMessage(IdA, IdB, QStringLiteral("x")), Now);
    ReplayCache replays;

    // Every single flipped bit: the packet no longer reads, is for someone else, or does not open.
    for (qsizetype i = 0; i < sealed.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            QByteArray flipped = sealed;
            flipped[i] = char(flipped[i] ^ (1 << bit));
            const std::optional<SealedEnvelope> envelope = ReadSealedPacket(flipped);
            if (!envelope)
                continue;
            const PacketCheck check = boris.open(*envelope, a.publicKeys(), Now, replays).check;
            QVERIFY2(check != PacketCheck::Ok, qPrintable(QStringLiteral("byte %1 bit %2").arg(i).arg(bit)));
        }
    }
    // Every truncation.
    for (qsizetype size = 0; size < sealed.size(); ++size) {
        const std::optional<SealedEnvelope> envelope = ReadSealedPacket(sealed.first(size));
        if (envelope)
            QVERIFY(boris.open(*envelope, a.publicKeys(), Now, replays).check != PacketCheck::Ok);
    }
    QCOMPARE(replays.size(), qsizetype(0));
    // The untouched packet still opens.
    QCOMPARE(boris.open(*ReadSealedPacket(sealed), a.publicKeys(), Now, replays).check, PacketCheck::Ok);
}

void TestCrypto::sealedReplayAndTime()
{
    const IdentityKeys a = keysFrom(1);
    const IdentityKeys b = keysFrom(3);
    PacketSealer anna(IdA, a);
    PacketSealer boris(IdB, b);
    const Packet message = privateMessage(IdA, IdB, QStringLiteral("once"));
    ReplayCache replays;

    const SealedEnvelope first = *ReadSealedPacket(anna.seal(IdB, b.publicKeys(), message, Now));
    QCOMPARE(boris.open(first, a.publicKeys(), Now, replays).check, PacketCheck::Ok);
    QCOMPARE(boris.open(first, a.publicKeys(), Now + 1000, replays).check, PacketCheck::Replayed);
    // The same text sealed again is a new packet.
    const SealedEnvelope again = *ReadSealedPacket(anna.seal(IdB, b.publicKeys(), message, Now));
    QVERIFY(again.nonce != first.nonce);
    QCOMPARE(boris.open(again, a.publicKeys(), Now, replays).check, PacketCheck::Ok);

    const auto openedAt = [&](qint64 sealedAt, qint64 openedAtMs) {
        ReplayCache own;
        return boris
            .open(*ReadSealedPacket(anna.seal(IdB, b.publicKeys(), message, sealedAt)), a.publicKeys(),
                  openedAtMs, own)
            .check;
    };
    QCOMPARE(openedAt(Now, Now + MaxPacketAgeMs), PacketCheck::Ok);
    QCOMPARE(openedAt(Now, Now + MaxPacketAgeMs + 1), PacketCheck::Stale);
    QCOMPARE(openedAt(Now + MaxPacketAheadMs, Now), PacketCheck::Ok);
    QCOMPARE(openedAt(Now + MaxPacketAheadMs + 1, Now), PacketCheck::Ahead);
    QCOMPARE(openedAt(std::numeric_limits<qint64>::min(), Now), PacketCheck::Stale);
    QCOMPARE(openedAt(std::numeric_limits<qint64>::max(), Now), PacketCheck::Ahead);
}

void TestCrypto::sealedSizeLimit()
{
    const IdentityKeys a = keysFrom(1);
    const IdentityKeys b = keysFrom(3);
    PacketSealer anna(IdA, a);
    PacketSealer boris(IdB, b);
    const qsizetype limit = MaxSealablePacket(IdA, IdB);
    QCOMPARE(limit, qsizetype(7985));

    const Packet largest = packetOfSize(limit);
    const Packet sealed = anna.seal(IdB, b.publicKeys(), largest, Now);
    QCOMPARE(sealed.size(), qsizetype(8192));
    ReplayCache replays;
    QCOMPARE(boris.open(*ReadSealedPacket(sealed), a.publicKeys(), Now, replays).packet, largest);
    QVERIFY(anna.seal(IdB, b.publicKeys(), packetOfSize(limit + 1), Now).isEmpty());
    QVERIFY(anna.seal(IdB, b.publicKeys(), Packet(), Now).isEmpty());
    QVERIFY(anna.seal(IdB, {}, largest, Now).isEmpty());
    // An X25519 key of low order would give a shared key everyone knows.
    QVERIFY(anna.seal(IdB, {QByteArray(32, '\0'), b.publicKeys().sign}, largest, Now).isEmpty());
}

void TestCrypto::replayCacheBounded()
{
    ReplayCache cache(4);
    QCOMPARE(cache.admit("a", Now, Now), PacketCheck::Ok);
    QCOMPARE(cache.admit("b", Now + 10, Now), PacketCheck::Ok);
    QCOMPARE(cache.admit("c", Now + 20, Now), PacketCheck::Ok);
    QCOMPARE(cache.admit("d", Now + 30, Now), PacketCheck::Ok);
    QCOMPARE(cache.admit("a", Now, Now), PacketCheck::Replayed);
    // Full: the oldest leaves, and nothing at or before its time is taken any more.
    QCOMPARE(cache.admit("e", Now + 40, Now), PacketCheck::Ok);
    QCOMPARE(cache.size(), qsizetype(4));
    QVERIFY(!cache.seen("a"));
    QCOMPARE(cache.admit("a", Now, Now), PacketCheck::Replayed);
    QCOMPARE(cache.admit("f", Now + 5, Now), PacketCheck::Replayed);
    QCOMPARE(cache.admit("g", Now + 50, Now), PacketCheck::Ok);
    // Entries leave with the window.
    QCOMPARE(cache.admit("h", Now + MaxPacketAgeMs + 41, Now + MaxPacketAgeMs + 41), PacketCheck::Ok);
    QCOMPARE(cache.size(), qsizetype(2));
    QVERIFY(cache.seen("g") && cache.seen("h"));
}

void TestCrypto::keyAnnouncement()
{
    const IdentityKeys a = keysFrom(1);
    const PacketSealer anna(IdA, a);
    const Packet packet = anna.announceKey(Now);
    QCOMPARE(ClassifyPacket(packet), quint8(pkUnknown));
    const std::optional<KeyAnnouncement> read = ReadKeyPacket(packet);
    QVERIFY(read);
    QCOMPARE(read->userId, IdA);
    QCOMPARE(read->keys, a.publicKeys());
    QCOMPARE(VerifyKeyAnnouncement(*read, Now + 1000), PacketCheck::Ok);
    QCOMPARE(VerifyKeyAnnouncement(*read, Now + MaxPacketAgeMs + 1), PacketCheck::Stale);

    KeyAnnouncement other = *read;
    other.userId = IdB; // someone else's ID under Anna's keys
    QCOMPARE(VerifyKeyAnnouncement(other, Now), PacketCheck::Forged);
    other = *read;
    other.keys.box = keysFrom(5).publicKeys().box; // Anna's signature over another box key
    QCOMPARE(VerifyKeyAnnouncement(other, Now), PacketCheck::Forged);
    other = *read;
    other.timeMs += 1;
    QCOMPARE(VerifyKeyAnnouncement(other, Now), PacketCheck::Forged);
    other.keys.sign.chop(1);
    QCOMPARE(VerifyKeyAnnouncement(other, Now), PacketCheck::Malformed);
}

void TestCrypto::signatureCompanion()
{
    const IdentityKeys a = keysFrom(1);
    const PacketSealer anna(IdA, a);
    WireIdentity sender;
    sender.id = IdA;
    const Packet message = BuildMessagePacket(sender, QStringLiteral("to everybody"));

    QCOMPARE(PacketDigest("abc").toHex(),
             QByteArray("bddd813c634239723171ef3fee98579b94964e3bb1cb3e427262c8c068d52319"));
    const Packet packet = anna.signCompanion(message, Now);
    QCOMPARE(ClassifyPacket(packet), quint8(pkUnknown));
    QVERIFY(packet.size() < 200);
    const std::optional<SignatureCompanion> companion = ReadSignaturePacket(packet);
    QVERIFY(companion);
    QCOMPARE(companion->senderId, IdA);
    QCOMPARE(companion->digest, PacketDigest(message));

    ReplayCache replays;
    QCOMPARE(VerifyCompanion(*companion, keysFrom(5).publicKeys(), Now, replays), PacketCheck::Forged);
    QCOMPARE(VerifyCompanion(*companion, a.publicKeys(), Now, replays), PacketCheck::Ok);
    QCOMPARE(VerifyCompanion(*companion, a.publicKeys(), Now, replays), PacketCheck::Replayed);

    SignatureCompanion changed = *companion;
    changed.digest = PacketDigest(message + "!");
    ReplayCache fresh;
    QCOMPARE(VerifyCompanion(changed, a.publicKeys(), Now, fresh), PacketCheck::Forged);
    changed = *companion;
    changed.senderId = IdB;
    QCOMPARE(VerifyCompanion(changed, a.publicKeys(), Now, fresh), PacketCheck::Forged);
    QCOMPARE(VerifyCompanion(*companion, a.publicKeys(), Now - MaxPacketAgeMs - 1, fresh),
             PacketCheck::Ahead);
    QCOMPARE(fresh.size(), qsizetype(0));
}

void TestCrypto::transferKeysAgree()
{
    const IdentityKeys owner = keysFrom(1);
    const IdentityKeys requester = keysFrom(3);
    const QByteArray salt(32, 's');
    const auto o = DeriveTransferKeys(owner, requester.publicKeys().box, TransferRole::Owner, salt);
    const auto r = DeriveTransferKeys(requester, owner.publicKeys().box, TransferRole::Requester, salt);
    QVERIFY(o && r);
    const auto same = [](const SecretBytes<32> &x, const SecretBytes<32> &y) {
        return std::memcmp(x.data(), y.data(), 32) == 0;
    };
    QVERIFY(same(o->send, r->receive));
    QVERIFY(same(o->receive, r->send));
    QVERIFY(!same(o->send, o->receive));

    // Another salt, another pair; a third user computes neither.
    const auto otherSalt =
        DeriveTransferKeys(owner, requester.publicKeys().box, TransferRole::Owner, QByteArray(32, 't'));
    QVERIFY(!same(otherSalt->send, o->send) && !same(otherSalt->receive, o->receive));
    const IdentityKeys mallory = keysFrom(5);
    const auto m = DeriveTransferKeys(mallory, owner.publicKeys().box, TransferRole::Requester, salt);
    QVERIFY(!same(m->send, o->receive) && !same(m->receive, o->send));

    QVERIFY(!DeriveTransferKeys(owner, requester.publicKeys().box, TransferRole::Owner, QByteArray(15, 's')));
    QVERIFY(!DeriveTransferKeys(owner, requester.publicKeys().box, TransferRole::Owner, QByteArray(65, 's')));
    QVERIFY(!DeriveTransferKeys(owner, QByteArray(31, 'k'), TransferRole::Owner, salt));
}

void TestCrypto::secretStream()
{
    const auto keys = DeriveTransferKeys(keysFrom(1), keysFrom(3).publicKeys().box, TransferRole::Owner,
                                         QByteArray(32, 's'));
    SecretStreamWriter writer;
    const QByteArray header = writer.start(keys->send);
    QCOMPARE(header.size(), qsizetype(24));
    const QByteArray chunks[] = {QByteArray(1 << 20, 'a'), QByteArray(), QByteArray("tail")};
    QList<QByteArray> sent;
    for (int i = 0; i < 3; ++i)
        sent.append(writer.push(chunks[i], i == 2));
    QCOMPARE(sent[0].size(), (1 << 20) + 17);
    QVERIFY(writer.finished());
    QVERIFY(writer.push("more").isEmpty());

    SecretStreamReader reader;
    QVERIFY(reader.start(keys->send, header));
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(reader.finished(), false);
        const std::optional<QByteArray> chunk = reader.pull(sent[i]);
        QVERIFY(chunk);
        QCOMPARE(*chunk, chunks[i]);
    }
    QVERIFY(reader.finished());
    QVERIFY(!reader.failed());
    QVERIFY(!reader.pull(sent[2]));
}

void TestCrypto::secretStreamRefusesTampering_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("flipped bit") << QStringLiteral("flip");
    QTest::newRow("chunk dropped") << QStringLiteral("drop");
    QTest::newRow("chunk repeated") << QStringLiteral("repeat");
    QTest::newRow("chunks swapped") << QStringLiteral("swap");
    QTest::newRow("cut before the final chunk") << QStringLiteral("truncate");
    QTest::newRow("other key") << QStringLiteral("key");
    QTest::newRow("cut chunk") << QStringLiteral("short");
}

void TestCrypto::secretStreamRefusesTampering()
{
    QFETCH(QString, change);
    const auto keys = DeriveTransferKeys(keysFrom(1), keysFrom(3).publicKeys().box, TransferRole::Owner,
                                         QByteArray(32, 's'));
    SecretStreamWriter writer;
    const QByteArray header = writer.start(keys->send);
    QList<QByteArray> chunks = {writer.push("one"), writer.push("two"), writer.push("three", true)};
    if (change == QLatin1StringView("flip"))
        chunks[1][5] = char(chunks[1][5] ^ 0x10);
    else if (change == QLatin1StringView("drop"))
        chunks.removeAt(1);
    else if (change == QLatin1StringView("repeat"))
        chunks.insert(1, chunks[0]);
    else if (change == QLatin1StringView("swap"))
        chunks.swapItemsAt(0, 1);
    else if (change == QLatin1StringView("truncate"))
        chunks.removeLast();
    else if (change == QLatin1StringView("short"))
        chunks[1] = chunks[1].first(10);

    SecretStreamReader reader;
    QVERIFY(reader.start(change == QLatin1StringView("key") ? keys->receive : keys->send, header));
    QByteArray plain;
    for (const QByteArray &chunk : std::as_const(chunks)) {
        const std::optional<QByteArray> part = reader.pull(chunk);
        if (!part)
            break;
        plain += *part;
    }
    // Whatever came through is a true prefix, and the stream never counts as complete.
    QVERIFY(QByteArray("onetwothree").startsWith(plain));
    QVERIFY(!reader.finished());
}

QTEST_GUILESS_MAIN(TestCrypto)
#include "test_crypto.moc"
