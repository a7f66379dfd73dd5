// Which databases TOLVANE_RUN reaches under the caller's identity: only the
// one it was called in, since the run takes the caller's own attachment.
// Reaching another database would need a login of its own, which only the
// server's configuration can give (procedure_identity = module).
#pragma once

#include <string>

namespace tolvane {

class FirebirdConfig;
class Platform;

// Empty when target names the caller's database (own_file: its file as the
// server opened it): an empty target, or an alias or path of the same file
// (same device and file number). Otherwise the text that refuses the run.
std::string CallerTargetRefusal(Platform& platform, FirebirdConfig& firebird, const std::string& target,
                                const std::string& own_file);

}  // namespace tolvane
