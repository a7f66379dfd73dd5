// How long an attach waits for the server to answer. Without a limit of its
// own the client waits as long as its configuration says (180 s by default),
// and a peer that accepts the connection and never answers holds the calling
// server thread that long.
#pragma once

namespace tolvane::fbdrv {

inline constexpr int kDefaultConnectTimeout = 30;
inline constexpr int kMaxConnectTimeout = 32767;
inline constexpr char kConnectTimeoutVariable[] = "TOLVANE_CONNECT_TIMEOUT";

// Seconds from the process environment; 0 leaves the limit to the client's
// configuration. Absent or not a number gives the default.
int ConnectTimeoutFromEnvironment() noexcept;
int ParseConnectTimeout(const char* value) noexcept;

}  // namespace tolvane::fbdrv
