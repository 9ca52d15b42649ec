// Cost of sealing and opening one private message, typical and largest, against the floor of building
// the same design packet; the signature companion and the key announcement; and the throughput of the
// transfer stream and of the two whole-content hashes. Every figure is the median of a few rounds of
// thread CPU time.
#include "crypto/PacketSealer.h"
#include "crypto/TransferKeys.h"
#include "protocol/SendMessageUn.h"
#include "transfer/Sha256.h"
#include "transfer/Xxh3.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

const QString IdA = QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
const QString IdB = QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC96400}");
constexpr int Rounds = 7;

qint64 threadNanoseconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

template <typename Work> double nanosecondsPer(qint64 iterations, const Work &work)
{
    const qint64 start = threadNanoseconds();
    for (qint64 i = 0; i < iterations; ++i)
        work();
    return double(threadNanoseconds() - start) / double(iterations);
}

qint64 iterationsFor(double nanosecondsEach, double roundMilliseconds)
{
    return std::max<qint64>(1, qint64(roundMilliseconds * 1e6 / std::max(1.0, nanosecondsEach)));
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Median nanoseconds of one call, rounds of about 60 ms each.
template <typename Work> std::vector<double> measure(const Work &work)
{
    work();
    const qint64 iterations = iterationsFor(nanosecondsPer(20, work), 60);
    std::vector<double> rounds;
    for (int round = 0; round < Rounds; ++round)
        rounds.push_back(nanosecondsPer(iterations, work));
    return rounds;
}

volatile qsizetype g_sink = 0;

IdentityKeys keysFrom(char seed)
{
    return *IdentityKeys::fromSecrets(QByteArray(32, seed), QByteArray(32, char(seed + 1)));
}

WireIdentity anna()
{
    WireIdentity w;
    w.alias = QStringLiteral("Anna Karenina");
    w.ip = QStringLiteral("192.168.100.117");
    w.id = IdA;
    w.pictureIndex = 12;
    w.color = 16711680;
    return w;
}

void report(const char *name, qsizetype packetBytes, const std::vector<double> &work,
            const std::vector<double> &floor)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < work.size(); ++i)
        ratios.push_back(work[i] / floor[i]);
    std::printf("  %-34s %5lld B  %8.2f us   floor %6.2f us   ratio %7.1f (per round %.1f..%.1f)\n", name,
                static_cast<long long>(packetBytes), median(work) / 1000, median(floor) / 1000,
                median(work) / median(floor), *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()));
}

double megabytesPerSecond(qsizetype bytes, double nanoseconds)
{
    return double(bytes) / nanoseconds * 1e9 / 1e6;
}

} // namespace

int main()
{
    if (!SodiumReady()) {
        std::printf("libsodium did not start\n");
        return 1;
    }
    const IdentityKeys a = keysFrom(1);
    const IdentityKeys b = keysFrom(3);
    PacketSealer anna(IdA, a);
    PacketSealer boris(IdB, b);
    const WireIdentity sender = ::anna();
    const qsizetype largestBody =
        MaxSealablePacket(IdA, IdB) - BuildUserMessagePacket(IdB, sender, QString(), false).size();
    struct Case {
        const char *name;
        QString body;
    };
    const Case cases[] = {{"typical (200 characters)", QString(200, u'x')},
                          {"largest that fits sealed", QString(largestBody, u'x')}};
    constexpr qint64 Now = 1900000000000;

    std::printf("Sealed private messages, medians of %d rounds (floor: building the same MESSAGETOUSER):\n",
                Rounds);
    for (const Case &c : cases) {
        const Packet packet = BuildUserMessagePacket(IdB, sender, c.body, false);
        const auto floor =
            measure([&] { g_sink = g_sink + BuildUserMessagePacket(IdB, sender, c.body, false).size(); });
        const auto seal =
            measure([&] { g_sink = g_sink + anna.seal(IdB, b.publicKeys(), packet, Now).size(); });
        const SealedEnvelope envelope = *ReadSealedPacket(anna.seal(IdB, b.publicKeys(), packet, Now));
        // A fresh replay cache each time, so that every open does the whole work.
        const auto open = measure([&] {
            ReplayCache replays;
            g_sink = g_sink + boris.open(envelope, a.publicKeys(), Now, replays).packet.size();
        });
        const auto firstSeal = measure([&] {
            PacketSealer first(IdA, a);
            g_sink = g_sink + first.seal(IdB, b.publicKeys(), packet, Now).size();
        });
        std::printf(" %s, sealed %lld bytes:\n", c.name,
                    static_cast<long long>(anna.seal(IdB, b.publicKeys(), packet, Now).size()));
        report("seal", packet.size(), seal, floor);
        report("open", packet.size(), open, floor);
        report("seal to a peer not sealed to yet", packet.size(), firstSeal, floor);
    }

    const Packet message = BuildMessagePacket(sender, QString(200, u'x'));
    const auto floor =
        measure([&] { g_sink = g_sink + BuildMessagePacket(sender, QString(200, u'x')).size(); });
    const auto sign = measure([&] { g_sink = g_sink + anna.signCompanion(message, Now).size(); });
    const SignatureCompanion companion = *ReadSignaturePacket(anna.signCompanion(message, Now));
    const auto verify = measure([&] {
        ReplayCache replays;
        g_sink = g_sink + int(VerifyCompanion(companion, a.publicKeys(), Now, replays)) +
                 PacketDigest(message).size();
    });
    const KeyAnnouncement key = *ReadKeyPacket(anna.announceKey(Now));
    const auto keyCheck = measure([&] { g_sink = g_sink + int(VerifyKeyAnnouncement(key, Now)); });
    std::printf("Talk with everybody and key announcements (floor: building the MESSAGE):\n");
    report("sign a MESSAGE (companion)", message.size(), sign, floor);
    report("check a companion + digest", message.size(), verify, floor);
    report("check a KEY announcement", anna.announceKey(Now).size(), keyCheck, floor);

    std::printf("Transfer stream and whole-content hashes, 1 MB chunks:\n");
    const QByteArray chunk(1024 * 1024, 'd');
    const auto keys = DeriveTransferKeys(a, b.publicKeys().box, TransferRole::Owner, QByteArray(32, 's'));
    SecretStreamWriter writer;
    SecretStreamReader reader;
    reader.start(keys->send, writer.start(keys->send));
    // Buffers that keep their memory, as a transfer would, so that page faults are not counted.
    QByteArray sealed(chunk.size() + SecretStreamWriter::ChunkOverhead, Qt::Uninitialized);
    QByteArray plain(chunk.size(), Qt::Uninitialized);
    const auto copy = measure([&] {
        std::copy(chunk.begin(), chunk.end(), plain.begin());
        g_sink = g_sink + plain.size();
    });
    const auto stream = measure([&] {
        writer.push(chunk, &sealed);
        reader.pull(sealed, &plain);
        g_sink = g_sink + plain.size();
    });
    Xxh3 xxh;
    Sha256 sha;
    const auto xxh3 = measure([&] { xxh.addData(chunk); });
    const auto sha256 = measure([&] { sha.addData(chunk); });
    g_sink = g_sink + xxh.result().size() + sha.result().size();
    std::printf("  memcpy (floor)               %8.0f MB/s\n",
                megabytesPerSecond(chunk.size(), median(copy)));
    std::printf("  secretstream push + pull     %8.0f MB/s   ratio %.1f\n",
                megabytesPerSecond(chunk.size(), median(stream)), median(stream) / median(copy));
    std::printf("  XXH3-128                     %8.0f MB/s   ratio %.1f\n",
                megabytesPerSecond(chunk.size(), median(xxh3)), median(xxh3) / median(copy));
    std::printf("  SHA-256                      %8.0f MB/s   ratio %.1f\n",
                megabytesPerSecond(chunk.size(), median(sha256)), median(sha256) / median(copy));
    return 0;
}
