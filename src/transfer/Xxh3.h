#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

// Streaming XXH3-128 (seed 0): a fast check of whole contents that arrive through an authenticated
// stream, where no one can choose the bytes to make two contents collide. The digest is the canonical
// 16 bytes, most significant first, as xxhsum -H2 prints it.
class Xxh3 {
public:
    Xxh3();
    ~Xxh3();
    Xxh3(const Xxh3 &) = delete;
    Xxh3 &operator=(const Xxh3 &) = delete;

    void addData(QByteArrayView data);
    // The 16-byte digest; the hash starts over afterwards.
    QByteArray result();

    static QByteArray hash(QByteArrayView data);

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};
