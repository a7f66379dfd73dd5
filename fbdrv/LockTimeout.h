// Seconds a waiting statement waits for a lock before it fails. A statement
// can wait on a lock held by its own caller's transaction, which would never
// be released; an unlimited wait would hang that server thread for good.
#pragma once

namespace tolvane::fbdrv {

inline constexpr int kDefaultLockTimeout = 60;
// Firebird keeps the timeout as a 16-bit count of seconds.
inline constexpr int kMaxLockTimeout = 32767;
inline constexpr char kLockTimeoutVariable[] = "TOLVANE_LOCK_TIMEOUT";

// The lock timeout from the process environment: a whole number of seconds,
// 0 for no limit; absent or not a number gives the default, larger than the
// server accepts gives the largest it accepts.
int LockTimeoutFromEnvironment() noexcept;
int ParseLockTimeout(const char* value) noexcept;

// The lock timeout of statements on an attachment someone else holds (the
// caller's own, inside the server): its holder may keep a lock its statements
// wait for, so they always wait a limited time, and never longer than the
// process allows. `asked`: the connection's own option (-1 when not given,
// 0 for no limit); `process`: the process's setting (0 for no limit).
int AdoptedLockTimeout(int asked, int process) noexcept;

}  // namespace tolvane::fbdrv
