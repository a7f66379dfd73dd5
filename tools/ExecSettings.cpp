#include "tools/ExecSettings.h"

#include <fstream>

#include "SystemNames.h"
#include "runtime/PathText.h"
#include "runtime/Platform.h"
#include "script_runner/settings/FirebirdConfig.h"
#include "script_runner/settings/RunOptions.h"
#include "script_runner/function/ScriptRunner.h"

namespace tolvane::exec {
namespace {

constexpr const char* kCommandLine = "command line";

// The folder a module installed with this program lies in: the first of the
// folders its run path names (TOLVANE_TOOL_MODULE_FOLDERS, relative to the
// program's folder) that holds the module.
std::string ModuleFolder(Platform& platform) {
  const std::string program_folder = FolderOf(platform.ExecutablePath());
  std::string first;
  std::string folders = TOLVANE_TOOL_MODULE_FOLDERS;
  std::size_t start = 0;
  while (start <= folders.size()) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = JoinPath(program_folder, folders.substr(start, end - start));
    start = end + 1;
    if (first.empty()) first = folder;
    FileFacts facts;
    if (platform.ReadLinkFacts(JoinPath(folder, system_names::kModuleFile), &facts) == 0 && facts.regular)
      return folder;
  }
  return first;
}

std::string FirstLine(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw UsageError("--password-file " + path + " cannot be read");
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

ResolvedValue Flag(const std::string& value, const char* flag) {
  return {value, {SettingSource::kOptions, flag, 0}};
}

}  // namespace

ExecConfig FindExecConfig(Platform& platform, const ExecOptions& options) {
  ExecConfig found;
  if (options.no_config) {
    found.place.why = "--no-config";
    return found;
  }
  if (!options.config_file.empty()) {
    found.config = LoadModuleConfig(platform, {{options.config_file, "--config"}}, &found.place);
    if (!found.config) throw UsageError("--config " + options.config_file + ": no such file");
    return found;
  }
  // The server's configuration folder is the client library's to tell.
  platform.LoadLibrary(kRunnerVendorLib, nullptr);
  found.config = FindModuleConfig(platform, ServerFirebirdConfig(), ModuleFolder(platform), &found.place);
  return found;
}

ExecLogin ResolveLogin(Platform& platform, const ExecOptions& options, const ModuleConfig* config) {
  auto resolve = [&](SettingId id, const std::string& flag_value, const char* flag,
                     std::string (*read)(const std::string&)) {
    SettingLayers layers;
    if (config != nullptr) layers.file = FileSetting(*config, id);
    if (!flag_value.empty()) layers.options = Flag(read(flag_value), flag);
    return ResolveSetting(platform, id, layers, SettingReader::kTool);
  };
  auto same = [](const std::string& value) { return value; };
  ExecLogin login;
  login.user = resolve(SettingId::kUser, options.user, "--user", same);
  login.password = resolve(SettingId::kPassword, options.password_file, "--password-file", FirstLine);
  login.role = resolve(SettingId::kRole, options.role, "--role", same);
  return login;
}

std::optional<RunIdentity> LoginIdentity(const ExecLogin& login) {
  auto given = [](const ResolvedValue& value) { return value.origin.source != SettingSource::kDefault; };
  if (!given(login.user) && !given(login.password) && !given(login.role)) return std::nullopt;
  RunIdentity identity;
  identity.user = given(login.user) ? login.user.text : kRunnerUserName;
  identity.password = given(login.password) ? login.password.text : kRunnerPassword;
  identity.role = given(login.role) ? login.role.text : kRunnerRoleName;
  return identity;
}

std::string ShowSettings(Platform& platform, const ExecOptions& options, const ExecConfig& found) {
  const ModuleConfig* config = found.config ? &*found.config : nullptr;
  const ExecLogin login = ResolveLogin(platform, options, config);
  RunSettings settings = config ? ConfiguredDefaults(*config) : RunSettings{};
  settings = ParseRunOptions(options.run_options, settings);
  std::string text;
  for (const SettingRow& row : SettingsTable()) {
    ResolvedValue value;
    switch (row.id) {
      case SettingId::kConfigFile:
        value.text = found.place.path;
        if (found.place.why == "--config" || found.place.why == "--no-config")
          value.origin = {SettingSource::kOptions, found.place.why, 0};
        else if (found.place.why.starts_with("environment "))
          value.origin = {SettingSource::kEnvironment, row.variable, 0};
        else if (!found.place.why.empty())
          value.origin = {SettingSource::kDefault, found.place.why, 0};
        break;
      case SettingId::kUser: value = login.user; break;
      case SettingId::kRole: value = login.role; break;
      case SettingId::kPassword:
        value = login.password;
        value.text = value.origin.source == SettingSource::kDefault ? "(built-in)" : "(given)";
        break;
      case SettingId::kPasswordFile:
        value = ResolveSetting(platform, row.id, LayersOf(row.id, config), SettingReader::kTool);
        if (!options.password_file.empty()) value = Flag(options.password_file, "--password-file");
        break;
      default:
        value = ResolveSetting(platform, row.id, LayersOf(row.id, config, options.run_options, kCommandLine),
                               SettingReader::kTool);
    }
    // A mode not given is the dialect's.
    if (row.id == SettingId::kMode && value.origin.source == SettingSource::kDefault)
      value.text = RunModeName(settings.mode);
    std::string origin = OriginText(value.origin);
    if (row.id == SettingId::kConfigFile && value.origin.source == SettingSource::kDefault &&
        !value.origin.where.empty())
      origin = "search:" + value.origin.where;
    text += origin + "\t" + row.name + "=" + value.text + "\n";
  }
  return text;
}

}  // namespace tolvane::exec
