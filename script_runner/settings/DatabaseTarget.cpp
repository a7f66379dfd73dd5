#include "script_runner/settings/DatabaseTarget.h"

#include <cctype>
#include <cerrno>
#include <optional>

#include "SystemNames.h"
#include <utility>
#include <vector>

#include "runtime/PathText.h"
#include "runtime/Platform.h"
#include "runtime/Text.h"
#include "script_runner/settings/ConfigFile.h"
#include "script_runner/settings/DatabaseAliases.h"
#include "script_runner/settings/FirebirdConfig.h"
#include "runtime/PathPattern.h"

namespace tolvane {
namespace {

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// "name (Configuration F, line N)".
std::string RuleName(const ModuleConfig& config, const char* name, int line) {
  std::string where = ConfigProblem(config.file, line, "");
  where.resize(where.size() - 2);  // the ": " a problem would follow
  return std::string(name) + " (" + where + ")";
}

// path with links, "." and ".." resolved; a file not there yet counts by its
// folder. Nothing when the folder cannot be resolved either.
std::optional<std::string> Canonical(Platform& platform, const std::string& path) {
  if (!system_names::IsAbsolutePath(path)) return std::nullopt;
  std::string resolved;
  if (platform.RealPath(path, &resolved) == 0) return resolved;
  const std::size_t slash = path.find_last_of(system_names::kPathSeparators);
  const std::string name = path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return std::nullopt;
  if (platform.RealPath(FolderOf(path), &resolved) != 0) return std::nullopt;
  return JoinPath(resolved, name);
}

bool HasWildcard(std::string_view text) {
  return text.find_first_of("*?[") != std::string_view::npos;
}

// The server's aliases, read when a rule needs them.
class Aliases {
 public:
  Aliases(Platform& platform, FirebirdConfig& firebird) : platform_(platform), firebird_(firebird) {}

  const DatabaseAliases& Get() {
    if (loaded_) return aliases_;
    loaded_ = true;
    aliases_ = ReadServerAliases(platform_, firebird_);
    return aliases_;
  }

  // The path an alias stands for, or the spelling itself when it is none.
  std::string Expand(const std::string& spelling) {
    const auto found = Get().paths.find(spelling);
    return found != Get().paths.end() ? found->second : spelling;
  }

 private:
  Platform& platform_;
  FirebirdConfig& firebird_;
  bool loaded_ = false;
  DatabaseAliases aliases_;
};

// The identity of the file path leads to, links followed; nothing when it
// cannot be told (nothing there, no access).
std::optional<FileIdentity> IdentityOf(Platform& platform, const std::string& path) {
  FileFacts facts;
  if (platform.ReadFileFacts(path, &facts) != 0) return std::nullopt;
  return facts.identity;
}

// The target as a file: its real path, its identity, and the identities of
// the folders that hold it (read when a folder entry needs them).
class TargetFile {
 public:
  TargetFile(Platform& platform, std::string path, FileIdentity identity)
      : platform_(platform), path_(std::move(path)), identity_(identity) {}

  const std::string& Path() const { return path_; }
  const FileIdentity& Identity() const { return identity_; }

  // True when folder (by identity) holds the target at any depth.
  bool InFolder(const FileIdentity& folder) {
    if (!folders_read_) {
      folders_read_ = true;
      std::string above = FolderOf(path_);
      while (!above.empty()) {
        if (const std::optional<FileIdentity> identity = IdentityOf(platform_, above))
          folders_.push_back(*identity);
        const std::string next = FolderOf(above);
        if (next == above) break;
        above = next;
      }
    }
    for (const FileIdentity& held_by : folders_)
      if (held_by == folder) return true;
    return false;
  }

 private:
  Platform& platform_;
  std::string path_;
  FileIdentity identity_;
  bool folders_read_ = false;
  std::vector<FileIdentity> folders_;
};

// True when path, once resolved, is the target's file.
bool SameFile(Platform& platform, const std::string& path, const TargetFile& target) {
  const std::optional<FileIdentity> identity = IdentityOf(platform, path);
  return identity && *identity == target.Identity();
}

// True when an allow-list entry admits target.
bool Admits(Platform& platform, Aliases& aliases, const std::string& entry, TargetFile& target,
            std::string* refusal, const ModuleConfig& config) {
  if (!system_names::IsAbsolutePath(entry)) {
    const auto found = aliases.Get().paths.find(entry);
    if (found == aliases.Get().paths.end()) {
      *refusal = "Run refused: " +
                 RuleName(config, "allowed_databases", config.allowed_databases.line) +
                 " names alias " + Quoted(entry) + ", which the server's databases.conf does not hold";
      return false;
    }
    return SameFile(platform, found->second, target);
  }
  if (EndsWithSeparator(entry)) {
    const std::optional<FileIdentity> folder =
        IdentityOf(platform, entry.substr(0, entry.size() - 1));
    return folder && target.InFolder(*folder);
  }
  if (HasWildcard(entry)) {
    // Patterns are names by nature: the fixed folders before the first
    // wildcard are resolved like the target, and the real path matched.
    std::string pattern = entry;
    const std::size_t slash =
        entry.find_last_of(system_names::kPathSeparators, entry.find_first_of("*?["));
    if (slash > 0) {
      if (const std::optional<std::string> folder = Canonical(platform, entry.substr(0, slash)))
        pattern = *folder + entry.substr(slash);
    }
    return PathMatchesPattern(pattern, target.Path());
  }
  return SameFile(platform, entry, target);
}

// A security database of this server: its real path, and its file when that
// can be told.
struct SecurityDatabase {
  std::string path;
  std::optional<FileIdentity> identity;
};

std::vector<SecurityDatabase> SecurityDatabases(Platform& platform, FirebirdConfig& firebird,
                                                Aliases& aliases) {
  std::vector<std::string> spellings;
  std::string global = firebird.Setting("SecurityDatabase");
  if (global.empty()) {
    const std::string folder = firebird.Directory(FirebirdFolder::kSecurity);
    if (!folder.empty()) global = JoinPath(folder, "security3.fdb");
  }
  if (!global.empty()) spellings.push_back(global);
  for (const std::string& other : aliases.Get().security_databases) spellings.push_back(other);
  std::vector<SecurityDatabase> databases;
  for (const std::string& spelling : spellings) {
    const std::string expanded = aliases.Expand(spelling);
    const std::optional<std::string> path = Canonical(platform, expanded);
    databases.push_back({path ? *path : expanded, IdentityOf(platform, expanded)});
  }
  return databases;
}

TargetAdmission Refused(std::string text) { return {std::move(text), std::nullopt}; }

}  // namespace

TargetSpelling SplitTarget(const std::string& database_path) {
  TargetSpelling spelling;
  const std::size_t scheme = database_path.find("://");
  if (scheme != std::string::npos) {
    const std::size_t host_start = scheme + 3;
    const std::size_t slash = database_path.find('/', host_start);
    if (slash == std::string::npos) {
      spelling.host = database_path.substr(host_start);
      return spelling;
    }
    spelling.host = database_path.substr(host_start, slash - host_start);
    spelling.file = database_path.substr(slash + 1);
    // "inet://host:port/file": the port is no part of the host's name.
    const std::size_t port = spelling.host.rfind(':');
    if (port != std::string::npos && spelling.host.find(']') == std::string::npos)
      spelling.host.resize(port);
    if (spelling.host.empty()) spelling.host = "localhost";
    return spelling;
  }
  std::size_t colon;
  if (!database_path.empty() && database_path.front() == '[') {
    const std::size_t close = database_path.find(']');
    colon = close == std::string::npos ? std::string::npos : database_path.find(':', close);
  } else {
    colon = database_path.find(':');
  }
  // C:\data\x.fdb on Windows: a drive, not a server called C.
  const bool drive = system_names::kDriveLetters && colon == 1 &&
                     std::isalpha(static_cast<unsigned char>(database_path[0]));
  if (colon == std::string::npos || drive) {
    spelling.file = database_path;
    return spelling;
  }
  spelling.host = database_path.substr(0, colon);
  spelling.file = database_path.substr(colon + 1);
  // "host/port" and "[v6]/port": the port goes.
  const std::size_t port = spelling.host.find('/', spelling.host.find(']') == std::string::npos
                                                       ? 0
                                                       : spelling.host.find(']'));
  if (port != std::string::npos) spelling.host.resize(port);
  if (spelling.host.empty()) spelling.host = "localhost";
  return spelling;
}

bool IsLocalHost(const std::string& host) {
  return host.empty() || SameTextAscii(host, "localhost") || host == "127.0.0.1" ||
         host == "::1" || host == "[::1]";
}

std::optional<std::string> LocalTargetFile(Platform& platform, FirebirdConfig& firebird,
                                           const std::string& database_path) {
  const TargetSpelling spelling = SplitTarget(database_path);
  if (!spelling.host.empty()) return std::nullopt;
  Aliases aliases(platform, firebird);
  return Canonical(platform, aliases.Expand(spelling.file));
}

TargetAdmission AdmitTarget(Platform& platform, FirebirdConfig& firebird, const ModuleConfig& config,
                            const std::string& database_path) {
  const bool listed = config.allowed_databases.IsSet() && !config.allowed_databases.value.empty();
  const bool deny_security =
      config.deny_security_database.IsSet() && config.deny_security_database.value;
  if (!listed && !deny_security) return {};

  Aliases aliases(platform, firebird);
  const TargetSpelling spelling = SplitTarget(database_path);
  const std::string named = Quoted(database_path);
  const std::string list_rule =
      listed ? RuleName(config, "allowed_databases", config.allowed_databases.line) : "";
  const std::string security_rule =
      deny_security ? RuleName(config, "deny_security_database", config.deny_security_database.line)
                    : "";
  const std::string& first_rule = listed ? list_rule : security_rule;
  if (listed && !IsLocalHost(spelling.host))
    return Refused("Run refused: database " + named + " names another server (" + spelling.host +
                   "); " + list_rule +
                   " admits databases of this server only (write them as localhost:path)");

  const std::string expanded = aliases.Expand(spelling.file);
  const std::optional<std::string> real = Canonical(platform, expanded);
  if (!real) {
    // Only a target that resolves can be compared with any rule.
    return Refused("Run refused: database " + named +
                   " is neither an alias of the server's databases.conf nor an absolute path that "
                   "resolves, so " +
                   first_rule + " cannot admit it");
  }
  FileFacts facts;
  if (const int error = platform.ReadFileFacts(*real, &facts); error != 0)
    return Refused("Run refused: database " + named + " (" + *real +
                   ") cannot be compared as a file (" + platform.ErrorText(error) + "), so " +
                   first_rule + " cannot admit it");
  if (facts.names > 1)
    return Refused("Run refused: database " + named + " (" + *real + ") is a file with " +
                   std::to_string(facts.names) +
                   " names (hard links), and another name may stand for any database; " +
                   (deny_security ? security_rule : list_rule) +
                   " admits only a file with one name");
  TargetFile target(platform, *real, facts.identity);

  if (deny_security) {
    const std::vector<SecurityDatabase> securities = SecurityDatabases(platform, firebird, aliases);
    for (const SecurityDatabase& security : securities) {
      const bool same = security.identity ? *security.identity == target.Identity()
                                          : security.path == target.Path();
      if (same)
        return Refused("Run refused: database " + named + " is the server's security database (" +
                       security.path + "); " + security_rule + " forbids it");
    }
    if (securities.empty())
      return Refused("Run refused: the server's security database cannot be told, so " +
                     security_rule + " cannot be kept");
  }

  if (listed) {
    std::string refusal;
    bool admitted = false;
    for (const std::string& entry : config.allowed_databases.value) {
      admitted = Admits(platform, aliases, entry, target, &refusal, config);
      if (admitted) break;
      if (!refusal.empty()) return Refused(refusal);
    }
    if (!admitted)
      return Refused("Run refused: database " + named + " (" + *real + ") is not admitted by " +
                     list_rule);
  }
  return {std::string(), AdmittedFile{*real, facts.identity}};
}

std::string TargetRefusal(Platform& platform, FirebirdConfig& firebird, const ModuleConfig& config,
                          const std::string& database_path) {
  return AdmitTarget(platform, firebird, config, database_path).refusal;
}

}  // namespace tolvane
