// tolvane-exec over many databases: one script, each database run as a
// single run would run it, several at once, with a journal to go on from.
#pragma once

#include "tools/ExecOptions.h"

namespace tolvane {
class Platform;
}

namespace tolvane::exec {

// Runs options.script_file on every database of options; the exit status.
// Raises for what stops it before any database runs (an unreadable script,
// targets or journal, a journal of another script).
int RunFleet(Platform& platform, const ExecOptions& options);

}  // namespace tolvane::exec
