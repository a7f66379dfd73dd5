#include "script_runner/ConfigFile.h"

#include <cerrno>
#include <cstdio>

#include "runtime/PathText.h"
#include "runtime/Platform.h"
#include "script_runner/ScriptRunner.h"

namespace tolvane {
namespace {

constexpr unsigned kOthersWrite = 0002;
constexpr unsigned kOthersRead = 0004;
constexpr unsigned kGroupAndOthers = 0077;

std::string Octal(unsigned mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", mode & 07777);
  return text;
}

// The file's facts; false when nothing is there (the next place is tried).
bool Exists(Platform& platform, const std::string& path, FileFacts* facts) {
  const int error = platform.ReadFileFacts(path, facts);
  if (error == 0) return true;
  if (error == ENOENT || error == ENOTDIR) return false;
  throw EModuleConfig(ConfigProblem(path, 0, "cannot be read: " + platform.ErrorText(error)));
}

std::string ReadFile(Platform& platform, const std::string& path, const FileFacts& facts,
                     const std::string& named_in) {
  if (!facts.regular) throw EModuleConfig(ConfigProblem(named_in, 0, path + " is not a regular file"));
  std::string content;
  const int error = platform.ReadWholeFile(path, &content);
  if (error != 0)
    throw EModuleConfig(
        ConfigProblem(named_in, 0, path + " cannot be read: " + platform.ErrorText(error)));
  return content;
}

// The first line of password_file, which only its owner may read or write.
void ReadPasswordFile(Platform& platform, ModuleConfig* config) {
  const std::string& path = config->password_file.value;
  const int line = config->password_file.line;
  FileFacts facts;
  const int error = platform.ReadFileFacts(path, &facts);
  if (error != 0)
    throw EModuleConfig(ConfigProblem(config->file, line,
                                      "password_file " + path + ": " + platform.ErrorText(error)));
  if ((facts.mode & kGroupAndOthers) != 0)
    throw EModuleConfig(ConfigProblem(
        config->file, line,
        "password_file " + path + " is refused: users other than its owner can read or write it (mode " +
            Octal(facts.mode) + "); make it chmod 0600, owned by the server's user"));
  std::string content = ReadFile(platform, path, facts, config->file);
  const std::size_t end = content.find_first_of("\r\n");
  if (end != std::string::npos) content.resize(end);
  config->password.value = std::move(content);
  config->password.line = line;
}

}  // namespace

std::string ServerConfigFolder(Platform& platform) {
  const std::string folder = platform.FirebirdDirectory(FirebirdFolder::kConfig);
  if (folder.empty()) return folder;
  // Debian's root holds links to /etc/firebird/3.0: the real folder counts.
  std::string resolved;
  if (platform.RealPath(JoinPath(folder, "firebird.conf"), &resolved) == 0) return FolderOf(resolved);
  return folder;
}

std::optional<ModuleConfig> LoadModuleConfig(Platform& platform) {
  std::string path = platform.GetEnvironment(kConfigFileVariable);
  FileFacts facts;
  bool found = !path.empty() && Exists(platform, path, &facts);
  if (!found) {
    path = JoinPath(platform.ModuleFolder(), kConfigFileName);
    found = !path.empty() && Exists(platform, path, &facts);
  }
  if (!found) {
    path = JoinPath(ServerConfigFolder(platform), kConfigFileName);
    found = !path.empty() && Exists(platform, path, &facts);
  }
  if (!found) return std::nullopt;

  if ((facts.mode & kOthersWrite) != 0)
    throw EModuleConfig(ConfigProblem(path, 0,
                                      "refused: others can write it (mode " + Octal(facts.mode) +
                                          "); remove their access: chmod o-w"));
  ModuleConfig config = ParseModuleConfig(ReadFile(platform, path, facts, path), path);
  if (config.password.IsSet() && (facts.mode & kOthersRead) != 0)
    throw EModuleConfig(ConfigProblem(
        path, config.password.line,
        "refused: it holds a password that others can read (mode " + Octal(facts.mode) +
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
