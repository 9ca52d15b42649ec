#include "transfer/Xxh3.h"

#include <xxhash.h>

struct Xxh3::Context {
    XXH3_state_t *state = XXH3_createState();
    ~Context() { XXH3_freeState(state); }
};

Xxh3::Xxh3()
    : m_context(std::make_unique<Context>())
{
    if (m_context->state)
        XXH3_128bits_reset(m_context->state);
}

Xxh3::~Xxh3() = default;

void Xxh3::addData(QByteArrayView data)
{
    if (m_context->state && !data.isEmpty())
        XXH3_128bits_update(m_context->state, data.data(), size_t(data.size()));
}

QByteArray Xxh3::result()
{
    if (!m_context->state)
        return {};
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(m_context->state));
    XXH3_128bits_reset(m_context->state);
    return QByteArray(reinterpret_cast<const char *>(canonical.digest), qsizetype(sizeof canonical.digest));
}

QByteArray Xxh3::hash(QByteArrayView data)
{
    Xxh3 xxh;
    xxh.addData(data);
    return xxh.result();
}
