// Seconds a waiting statement waits for a lock before it fails. A statement
// can wait on a lock held by its own caller's transaction, which would never
// be released; an unlimited wait would hang that server thread for good.
#pragma once

namespace tolvane::fbdrv {

// The driver's own, where a connection names none (coLockTimeout). The
// process's setting reaches a connection as that option: the driver reads
// no environment.
inline constexpr int kDefaultLockTimeout = 60;
// Firebird keeps the timeout as a 16-bit count of seconds.
inline constexpr int kMaxLockTimeout = 32767;

// The lock timeout of statements on an attachment someone else holds (the
// caller's own, inside the server): its holder may keep a lock its statements
// wait for, so they always wait a limited time. `asked`: the connection's own
// option (-1 when not given, 0 for no limit), which the layer has already
// bounded by the process's limit; no limit gives the default.
int AdoptedLockTimeout(int asked) noexcept;

}  // namespace tolvane::fbdrv
