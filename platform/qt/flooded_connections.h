#pragma once
// Qt's network thread reads an answer's header lines a byte at a time for as long as more
// bytes wait, so a server that sends header lines without end keeps that thread in one
// loop: an abort queued to it waits until the server pauses, and the connection goes on
// being read (and the manager's end waits for it). Such a connection is shut under it.
#include <optional>
#include <string>

namespace tw {

// Shuts down, both ways, this process's TCP connections to `port` (and to `address`, when
// the host was given as an address) that have bytes waiting unread. Returns how many.
int shutDownFloodedConnections(int port, const std::optional<std::string>& address);

}  // namespace tw
