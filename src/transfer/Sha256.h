#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

// Streaming SHA-256. Qt's own implementation runs at a fraction of the speed of the CPU's SHA
// instructions, which a transfer of large files would feel on both sides.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    void addData(QByteArrayView data);
    // The 32-byte digest; the hash starts over afterwards.
    QByteArray result();

    static QByteArray hash(QByteArrayView data);

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};
