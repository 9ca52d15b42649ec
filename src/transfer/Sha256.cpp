#include "transfer/Sha256.h"

#include <QLibrary>

#include <openssl/evp.h>
#include <sodium.h>

namespace {

// The few libcrypto functions a digest needs, resolved once; all or none.
struct Libcrypto {
    decltype(&EVP_MD_CTX_new) ctxNew = nullptr;
    decltype(&EVP_MD_CTX_free) ctxFree = nullptr;
    decltype(&EVP_sha256) sha256 = nullptr;
    decltype(&EVP_DigestInit_ex) init = nullptr;
    decltype(&EVP_DigestUpdate) update = nullptr;
    decltype(&EVP_DigestFinal_ex) final = nullptr;

    bool usable() const { return ctxNew && ctxFree && sha256 && init && update && final; }
};

template <typename Function> void resolve(QLibrary &library, const char *name, Function &into)
{
    into = reinterpret_cast<Function>(library.resolve(name));
}

const Libcrypto &libcrypto()
{
    // Thread-safe once; background hashing may be first. The library stays loaded for the run.
    static const Libcrypto table = [] {
        Libcrypto t;
        QLibrary library(QStringLiteral("crypto"), 3);
        if (!library.load())
            return t;
        resolve(library, "EVP_MD_CTX_new", t.ctxNew);
        resolve(library, "EVP_MD_CTX_free", t.ctxFree);
        resolve(library, "EVP_sha256", t.sha256);
        resolve(library, "EVP_DigestInit_ex", t.init);
        resolve(library, "EVP_DigestUpdate", t.update);
        resolve(library, "EVP_DigestFinal_ex", t.final);
        return t.usable() ? t : Libcrypto();
    }();
    return table;
}

} // namespace

struct Sha256::Context {
    const Libcrypto *evp = nullptr;
    EVP_MD_CTX *ctx = nullptr;
    crypto_hash_sha256_state portable{};

    explicit Context(Engine engine)
    {
        if (engine == Engine::Fastest && libcrypto().usable()) {
            evp = &libcrypto();
            ctx = evp->ctxNew();
        }
        if (!ctx)
            evp = nullptr;
        start();
    }
    ~Context()
    {
        if (ctx)
            evp->ctxFree(ctx);
    }
    void start()
    {
        if (ctx && evp->init(ctx, evp->sha256(), nullptr) == 1)
            return;
        if (ctx) {
            evp->ctxFree(ctx);
            ctx = nullptr;
            evp = nullptr;
        }
        crypto_hash_sha256_init(&portable);
    }
};

Sha256::Sha256(Engine engine)
    : m_context(std::make_unique<Context>(engine))
{}

Sha256::~Sha256() = default;

void Sha256::addData(QByteArrayView data)
{
    if (data.isEmpty())
        return;
    if (m_context->ctx)
        m_context->evp->update(m_context->ctx, data.data(), size_t(data.size()));
    else
        crypto_hash_sha256_update(&m_context->portable, reinterpret_cast<const unsigned char *>(data.data()),
                                  quint64(data.size()));
}

QByteArray Sha256::result()
{
    QByteArray digest(crypto_hash_sha256_BYTES, Qt::Uninitialized);
    auto *out = reinterpret_cast<unsigned char *>(digest.data());
    if (m_context->ctx) {
        unsigned int length = 0;
        m_context->evp->final(m_context->ctx, out, &length);
    } else {
        crypto_hash_sha256_final(&m_context->portable, out);
    }
    m_context->start();
    return digest;
}

QByteArray Sha256::hash(QByteArrayView data)
{
    Sha256 sha;
    sha.addData(data);
    return sha.result();
}

bool Sha256::usesCpuInstructions()
{
    return libcrypto().usable();
}
