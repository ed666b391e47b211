#pragma once

#include <QHostAddress>

#include <optional>

namespace jw {

// The user id that owns the other end of a local TCP connection: `peer` is
// the address and port the connection came from, `local` ours. Nothing when
// the system cannot tell (the connection is gone, or it did not come from
// this machine).
std::optional<uint> localPeerUser(
    const QHostAddress &peer, quint16 peerPort, const QHostAddress &local, quint16 localPort);

// The user id this process runs as.
uint currentUser();

} // namespace jw
