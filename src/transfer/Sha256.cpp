#include "transfer/Sha256.h"

#include <openssl/evp.h>

struct Sha256::Context {
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(ctx); }
};

Sha256::Sha256()
    : m_context(std::make_unique<Context>())
{
    EVP_DigestInit_ex(m_context->ctx, EVP_sha256(), nullptr);
}

Sha256::~Sha256() = default;

void Sha256::addData(QByteArrayView data)
{
    if (!data.isEmpty())
        EVP_DigestUpdate(m_context->ctx, data.data(), size_t(data.size()));
}

QByteArray Sha256::result()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_context->ctx, digest, &length);
    EVP_DigestInit_ex(m_context->ctx, EVP_sha256(), nullptr);
    return QByteArray(reinterpret_cast<const char *>(digest), qsizetype(length));
}

QByteArray Sha256::hash(QByteArrayView data)
{
    Sha256 sha;
    sha.addData(data);
    return sha.result();
}
