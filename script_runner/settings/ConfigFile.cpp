#include "script_runner/settings/ConfigFile.h"

#include <cerrno>
#include <cstdio>

#include "runtime/PathText.h"
#include "runtime/Platform.h"
#include "script_runner/settings/FirebirdConfig.h"
#include "script_runner/function/ScriptRunner.h"
#include "script_runner/settings/TrustedFile.h"

namespace tolvane {
namespace {

constexpr unsigned kOthersRead = 0004;
constexpr unsigned kGroupAndOthers = 0077;

std::string Octal(unsigned mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", mode & 07777);
  return text;
}

// Whether a name is there; false when nothing is (the next place is tried).
// A link counts by where it leads: one that leads nowhere is no file.
bool Exists(Platform& platform, const std::string& path) {
  FileFacts facts;
  const int error = platform.ReadFileFacts(path, &facts);
  if (error == 0) return true;
  if (error == ENOENT || error == ENOTDIR) return false;
  throw EModuleConfig(ConfigProblem(path, 0, "cannot be read: " + platform.ErrorText(error)));
}

// path's text, once the server's owners are known to control it; else the
// problem, told as ConfigProblem(named_in, line, what + " " + ...).
TrustedFile ReadOwnersFile(Platform& platform, const std::string& path, const std::string& named_in,
                           int line, const std::string& what) {
  const std::string prefix = what.empty() ? std::string() : what + " ";
  TrustedFile file = ReadTrustedFile(platform, path);
  if (file.error != 0)
    throw EModuleConfig(ConfigProblem(named_in, line,
                                      prefix + (what.empty() ? "cannot be read: " : path + ": ") +
                                          platform.ErrorText(file.error)));
  if (!file.refusal.empty())
    throw EModuleConfig(ConfigProblem(named_in, line,
                                      (what.empty() ? "" : prefix + path + " is ") + file.refusal));
  if (!file.facts.regular)
    throw EModuleConfig(ConfigProblem(named_in, line, path + " is not a regular file"));
  return file;
}

// The first line of password_file, which only its owner may read or write.
void ReadPasswordFile(Platform& platform, ModuleConfig* config) {
  const std::string& path = config->password_file.value;
  const int line = config->password_file.line;
  TrustedFile file = ReadOwnersFile(platform, path, config->file, line, "password_file");
  if ((file.facts.mode & kGroupAndOthers) != 0)
    throw EModuleConfig(ConfigProblem(
        config->file, line,
        "password_file " + path + " is refused: users other than its owner can read or write it (mode " +
            Octal(file.facts.mode) + "); make it chmod 0600, owned by the server's user"));
  std::string content = std::move(file.content);
  const std::size_t end = content.find_first_of("\r\n");
  if (end != std::string::npos) content.resize(end);
  config->password.value = std::move(content);
  config->password.line = line;
}

}  // namespace

std::string ServerConfigFolder(Platform& platform, FirebirdConfig& firebird) {
  const std::string folder = firebird.Directory(FirebirdFolder::kConfig);
  if (folder.empty()) return folder;
  // Debian's root holds links to /etc/firebird/3.0: the real folder counts.
  std::string resolved;
  if (platform.RealPath(JoinPath(folder, "firebird.conf"), &resolved) == 0) return FolderOf(resolved);
  return folder;
}

std::optional<ModuleConfig> LoadModuleConfig(Platform& platform, FirebirdConfig& firebird) {
  std::string path = platform.GetEnvironment(kConfigFileVariable);
  bool found = !path.empty() && Exists(platform, path);
  if (!found) {
    path = JoinPath(platform.ModuleFolder(), kConfigFileName);
    found = !path.empty() && Exists(platform, path);
  }
  if (!found) {
    path = JoinPath(ServerConfigFolder(platform, firebird), kConfigFileName);
    found = !path.empty() && Exists(platform, path);
  }
  if (!found) return std::nullopt;

  const TrustedFile file = ReadOwnersFile(platform, path, path, 0, "");
  ModuleConfig config = ParseModuleConfig(file.content, path);
  if (config.password.IsSet() && (file.facts.mode & kOthersRead) != 0)
    throw EModuleConfig(ConfigProblem(
        path, config.password.line,
        "refused: it holds a password that others can read (mode " + Octal(file.facts.mode) +
            "); make it chmod 0640, owned by root and the server's group"));
  if (config.password_file.IsSet()) ReadPasswordFile(platform, &config);
  return config;
}

RunSettings ConfiguredRunSettings(Platform& platform, const ModuleConfig& config) {
  RunSettings settings = ConfiguredDefaults(config);
  settings.identity = ModuleIdentity(config);
  if (config.failure_dir.IsSet()) settings.failure_folder = config.failure_dir.value;
  if (config.lock_timeout.IsSet() && platform.GetEnvironment(kDriverLockTimeoutVariable).empty())
    settings.lock_timeout = config.lock_timeout.value;
  return settings;
}

std::optional<RunIdentity> ModuleIdentity(const ModuleConfig& config) {
  if (!config.SetsIdentity()) return std::nullopt;
  RunIdentity identity;
  identity.user = config.user.IsSet() ? config.user.value : kRunnerUserName;
  identity.password = config.password.IsSet() ? config.password.value : kRunnerPassword;
  identity.role = config.role.IsSet() ? config.role.value : kRunnerRoleName;
  return identity;
}

bool ProcedureRunsAsModule(const ModuleConfig& config) {
  return config.procedure_identity.IsSet() &&
         config.procedure_identity.value == ProcedureIdentity::kModule;
}

}  // namespace tolvane
