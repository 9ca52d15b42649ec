#include "crypto/Fingerprint.h"

#include "crypto/Sodium.h"

#include <sodium.h>

namespace {

constexpr char Label[] = "PerixChat fingerprint v1";
constexpr int Groups = 8;
constexpr int GroupBytes = 5;

} // namespace

QString KeyFingerprint(const PeerPublicKeys &keys)
{
    if (!keys.isValid() || !SodiumReady())
        return {};
    QByteArray input(Label, sizeof Label); // with its zero byte
    input += keys.box;
    input += keys.sign;
    unsigned char hash[Groups * GroupBytes];
    crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char *>(input.constData()),
                       quint64(input.size()), nullptr, 0);
    QString text;
    text.reserve(Groups * 6);
    for (int g = 0; g < Groups; ++g) {
        quint64 value = 0;
        for (int i = 0; i < GroupBytes; ++i)
            value = (value << 8) | hash[g * GroupBytes + i];
        if (g > 0)
            text += u' ';
        text += QStringLiteral("%1").arg(value % 100000, 5, 10, QLatin1Char('0'));
    }
    return text;
}
