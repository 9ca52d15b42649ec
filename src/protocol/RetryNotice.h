#pragma once

#include "protocol/PacketDigest.h"
#include "protocol/ProtocolUn.h"

#include <optional>

// Goes out right before every retry of a packet, from the same socket to the same address: "the next
// datagram with this digest is a copy you may already have". Our peers then drop that copy if they
// do; a peer that only knows the eleven packet kinds classifies it 0 and ignores it. Without the
// notice, two equal datagrams are two messages (a user may well send "ok" twice).
inline constexpr char RetryNoticeHeader[] = "PERIXRETRY!^:^$";

Packet BuildRetryNotice(const PacketDigest &digest);
// The digest a notice announces; nullopt for anything that is not exactly a notice.
std::optional<PacketDigest> ReadRetryNotice(QByteArrayView datagram);
