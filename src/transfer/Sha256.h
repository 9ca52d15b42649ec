#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

// Streaming SHA-256. Qt's own implementation runs at a fraction of the speed of the CPU's SHA
// instructions, which a transfer of large files would feel on both sides; OpenSSL's libcrypto uses
// them. libcrypto is loaded with the first hash, not with the program: its twenty thousand
// relocations would cost every start, and most runs hash nothing. Where it cannot be loaded,
// libsodium's portable code gives the same digests, slower.
class Sha256 {
public:
    enum class Engine { Fastest, Portable };

    explicit Sha256(Engine engine = Engine::Fastest);
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    void addData(QByteArrayView data);
    // The 32-byte digest; the hash starts over afterwards.
    QByteArray result();

    static QByteArray hash(QByteArrayView data);
    // True when the hashes use libcrypto (loads it when it was not yet).
    static bool usesCpuInstructions();

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};
