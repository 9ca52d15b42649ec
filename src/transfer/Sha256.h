#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

// Streaming SHA-256. Qt's own implementation runs at a fraction of the speed of the CPU's SHA
// instructions, which a transfer of large files would feel on both sides.
class TSha256 {
public:
    TSha256();
    ~TSha256();
    TSha256(const TSha256 &) = delete;
    TSha256 &operator=(const TSha256 &) = delete;

    void addData(QByteArrayView data);
    // The 32-byte digest; the hash starts over afterwards.
    QByteArray result();

    static QByteArray hash(QByteArrayView data);

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};
