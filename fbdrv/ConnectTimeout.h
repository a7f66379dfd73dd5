// How long an attach waits for the server to answer. Without a limit of its
// own the client waits as long as its configuration says (180 s by default),
// and a peer that accepts the connection and never answers holds the calling
// server thread that long.
#pragma once

namespace tolvane::fbdrv {

// The driver's own, where a connection names none (coConnectionTimeout).
// The process's setting reaches a connection as that option: the driver
// reads no environment.
inline constexpr int kDefaultConnectTimeout = 30;
inline constexpr int kMaxConnectTimeout = 32767;

}  // namespace tolvane::fbdrv
