#pragma once

#include "transfer/ContentHash.h"

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

// Hashes what the receiving thread hands it in a thread of its own, so that checking the content
// overlaps with receiving and writing it. The chunks live in a few buffers made once, so memory
// stays flat and nothing is allocated per chunk.
class BackgroundHash {
public:
    static constexpr int BufferCount = 6;

    explicit BackgroundHash(ContentHash::Kind kind = ContentHash::Kind::Sha256);
    ~BackgroundHash();
    BackgroundHash(const BackgroundHash &) = delete;
    BackgroundHash &operator=(const BackgroundHash &) = delete;

    // Only while nothing is queued.
    ContentHash &direct() { return m_hash; }
    // A free buffer of MaxDataPayload bytes; waits while all are queued.
    char *acquire();
    void release(char *buffer);
    // Hashes the first `size` bytes of an acquired buffer, then frees it.
    void submit(char *buffer, qsizetype size);
    // Once everything submitted has been hashed.
    QByteArray result();

private:
    void work();

    ContentHash m_hash;
    QByteArray m_buffers[BufferCount];
    std::vector<char *> m_free;
    std::deque<std::pair<char *, qsizetype>> m_queue;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_room;
    bool m_busy = false;
    bool m_stop = false;
    std::thread m_thread;
};
