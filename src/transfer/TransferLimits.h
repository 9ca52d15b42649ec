#pragma once

#include <QtGlobal>

// What transfers may hold and for how long. A connection has to make progress or go: each wait has
// a deadline fixed before it begins, which no trickle of bytes can push back.
struct TransferLimits {
    // The owner's side. A requester runs two fetches at most from one owner (maxDownloadsPerOwner);
    // the owner lets an address hold twice as many connections, because the owner's side of a
    // finished fetch may still be closing while the requester already starts the next one.
    int maxConnections = 32;          // open transfer connections in all, whatever their phase
    int maxConnectionsPerAddress = 4; // from one requesting address
    int maxServing = 8;               // connections past their request, sending files
    int requestDeadlineMs = 5000;     // the whole request frame, counted from the connection
    int grantWaitMs = 5000;           // the FILETO may come by UDP a moment after the connection

    // Both sides. A data frame is at most 1 MB: 30 s for it asks for 35 KB/s at least.
    int frameDeadlineMs = 30000; // a frame, once begun, is through within this
    int stallMs = 60000;         // and the next one begins within this (hashing a resumed file, a rate limit)
    int connectTimeoutMs = 10000;
    // A refused connection is tried again within this: an owner's port may listen a moment after
    // its message arrived. Past it the fetch fails.
    int refusedRetryMs = 3000;

    // The requester's side.
    int maxDownloads = 4;
    int maxDownloadsPerOwner = 2;
    qint64 freeSpaceReserve = 1024 * 1024; // a download never takes the last megabyte of a disk

    // The transfer list: finished transfers leave after a while, failed fetches stay for Retry.
    int finishedLingerMs = 120000;
    int maxFinishedListed = 64;
};
