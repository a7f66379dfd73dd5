// Which databases a call may target: the allow-list and the security
// database rule of the module's configuration, checked before any attach.
// Every spelling is brought to one real path first (host prefix, alias,
// ".", "..", symbolic links), and files are compared as files (device and
// inode), never by their names' text, so that no second name of a file gets
// around the rules; a file with more than one name is refused outright.
#pragma once

#include <optional>
#include <string>

#include "script_runner/settings/ModuleConfig.h"
#include "script_runner/engine/RunSettings.h"

namespace tolvane {

class FirebirdConfig;
class Platform;

// The host and file parts of a database path as the client library reads
// it: "host:file", "host/port:file", "[v6]/port:file", "proto://host[:port]/file"
// or a bare file.
struct TargetSpelling {
  std::string host;  // empty: no host given
  std::string file;
};
TargetSpelling SplitTarget(const std::string& database_path);

// True for no host or a name of this machine's loopback.
bool IsLocalHost(const std::string& host);

// The real path of the file database_path names on this server: an alias of
// the server's databases.conf expanded, links, "." and ".." resolved.
// Nothing when it names a host or does not resolve.
std::optional<std::string> LocalTargetFile(Platform& platform, FirebirdConfig& firebird,
                                           const std::string& database_path);

struct TargetAdmission {
  std::string refusal;               // empty: admitted
  std::optional<AdmittedFile> file;  // the file admitted, when a rule was in force
};

// Whether config lets a call target database_path: the refusal names the rule
// that refuses it. Where neither rule is in force: admitted, with no file.
TargetAdmission AdmitTarget(Platform& platform, FirebirdConfig& firebird, const ModuleConfig& config,
                            const std::string& database_path);
// AdmitTarget's refusal alone.
std::string TargetRefusal(Platform& platform, FirebirdConfig& firebird, const ModuleConfig& config,
                          const std::string& database_path);

}  // namespace tolvane
