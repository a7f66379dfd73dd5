// The least work the module's semantics allow: one attachment, then for every
// non-empty line its own transaction, one execute-immediate and a commit.
// Shared by the client-library program and the minimal external function, so
// that both anchors do exactly the same per-line work. The one-transaction
// loop is the least a batch run can do.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tolvane::bench {

struct LoopOutcome {
  bool attached = false;   // false: nothing ran; `error` says why
  long executed = 0;       // lines that committed
  long failed = 0;         // lines that were rolled back
  std::string error;       // attach/detach failure or the first line failure
};

// Runs every non-empty line of `script` (lines end at CR, LF or CR LF)
// against the database at `database_path` as SYSDBA.
LoopOutcome RunLinesEachCommitted(const char* database_path, std::string_view script) noexcept;

// The same lines in one transaction, one execute-immediate each and one
// commit at the end; a refused line is undone alone by the server and the
// loop goes on. `executed` counts the lines that ran when the commit holds.
LoopOutcome RunLinesInOneTransaction(const char* database_path, std::string_view script) noexcept;

}  // namespace tolvane::bench
