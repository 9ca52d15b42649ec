#include "transfer/BackgroundHash.h"

#include "transfer/FileTransferWire.h"

BackgroundHash::BackgroundHash(ContentHash::Kind kind)
    : m_hash(kind)
    , m_thread([this] { work(); })
{
    for (int i = 0; i < BufferCount; ++i) {
        m_buffers[i] = QByteArray(TransferWire::MaxDataPayload, Qt::Uninitialized);
        m_free.push_back(m_buffers[i].data());
    }
}

BackgroundHash::~BackgroundHash()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

char *BackgroundHash::acquire()
{
    std::unique_lock lock(m_mutex);
    m_room.wait(lock, [this] { return !m_free.empty(); });
    char *buffer = m_free.back();
    m_free.pop_back();
    return buffer;
}

void BackgroundHash::release(char *buffer)
{
    std::lock_guard lock(m_mutex);
    m_free.push_back(buffer);
    m_room.notify_all();
}

void BackgroundHash::submit(char *buffer, qsizetype size)
{
    std::lock_guard lock(m_mutex);
    m_queue.emplace_back(buffer, size);
    m_wake.notify_one();
}

QByteArray BackgroundHash::result()
{
    std::unique_lock lock(m_mutex);
    m_room.wait(lock, [this] { return m_queue.empty() && !m_busy; });
    return m_hash.result();
}

void BackgroundHash::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_queue.empty())
            return;
        const auto [buffer, size] = m_queue.front();
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();
        m_hash.addData(QByteArrayView(buffer, size));
        lock.lock();
        m_busy = false;
        m_free.push_back(buffer);
        m_room.notify_all();
    }
}
