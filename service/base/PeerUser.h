// Whose process is at the other end of a TCP connection on this machine. A per-user service answers
// only its own user's programs: the kernel knows who owns the connecting socket, and tells anyone
// who asks (the same table `ss -e` shows), so nothing has to be kept secret from other users.
// Any thread.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

// The user owning the local socket `peerAddress`:`peerPort` connected to `localAddress`:`localPort`
// (numeric addresses, as a server sees them); none when no socket of this machine is that one (the
// peer is elsewhere, or gone). Asks the kernel's socket diagnostics, else reads /proc/net/tcp*.
std::optional<uid_t> tcpPeerUser(const std::string& peerAddress, int peerPort,
                                 const std::string& localAddress, int localPort);
