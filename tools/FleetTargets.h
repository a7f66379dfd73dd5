// The databases of a run over many: read from a list, each with the host it
// lives on, so that one server is never given more than its share at once.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tolvane {
class FirebirdConfig;
class Platform;
}  // namespace tolvane

namespace tolvane::exec {

struct FleetTarget {
  std::string database;  // as written: a path, host[/port]:path or an alias
  std::string host;      // lower case; empty: this machine's files (embedded)
  int place = 0;         // 1-based, in the order given
};

// The databases given on the command line, then those of list (one a line;
// blank lines and lines starting with # are skipped, blanks around a name
// trimmed), named origin in messages. A database given twice is a
// UsageError naming both places: two runs of one script at once on one
// database would race each other.
std::vector<FleetTarget> ReadFleetTargets(const std::vector<std::string>& given,
                                          std::string_view list, const std::string& origin);

// Refuses (UsageError) two targets that are one file of this machine under
// two names (a link, an alias, localhost: and a plain path): files compare
// as files. Files that cannot be found are left to their runs.
void RefuseSecondNames(Platform& platform, FirebirdConfig& firebird,
                       const std::vector<FleetTarget>& targets);

// The host a database path names (its port dropped), in lower case; empty for
// a plain path or an alias.
std::string TargetHost(const std::string& database);

// A folder name for a target's failure files: its place and its file's name,
// with anything but letters, digits, '.', '-' and '_' made '_'.
std::string TargetFolderName(const FleetTarget& target);

}  // namespace tolvane::exec
