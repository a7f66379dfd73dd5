#include "script_runner/settings/SettingResolver.h"

#include "runtime/Platform.h"
#include "script_runner/settings/ModuleConfig.h"
#include "script_runner/settings/RunOptions.h"
#include "script_runner/engine/RunSettings.h"

namespace tolvane {
namespace {

// Firebird keeps a wait as a 16-bit count of seconds.
constexpr long kMostSeconds = 32767;

// A whole number of seconds, 0 included; anything else gives fallback, more
// than kMostSeconds gives kMostSeconds.
std::string SecondsText(const std::string& value, const char* fallback) {
  long seconds = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return fallback;
    if (seconds <= kMostSeconds) seconds = seconds * 10 + (c - '0');
  }
  return std::to_string(seconds > kMostSeconds ? kMostSeconds : seconds);
}

bool IsSeconds(SettingId id) { return id == SettingId::kLockTimeout || id == SettingId::kConnectTimeout; }

template <class T>
std::optional<ResolvedValue> Line(const ModuleConfig& config, const ConfigSetting<T>& setting,
                                 std::string text) {
  if (!setting.IsSet()) return std::nullopt;
  return ResolvedValue{std::move(text), {SettingSource::kFile, config.file, setting.line}};
}

}  // namespace

std::string OriginText(const SettingOrigin& origin) {
  switch (origin.source) {
    case SettingSource::kDefault: return "default";
    case SettingSource::kFile: return "file:" + origin.where + ":" + std::to_string(origin.line);
    case SettingSource::kEnvironment: return "env:" + origin.where;
    case SettingSource::kFileOptions:
      return "default_options:" + origin.where + ":" + std::to_string(origin.line);
    case SettingSource::kOptions: return "option:" + origin.where;
  }
  return "";
}

std::string SettingVariable(Platform& platform, const SettingRow& row, SettingReader reader) {
  if (row.variable == nullptr) return std::string();
  if (!row.variable_in_server && reader != SettingReader::kTool) return std::string();
  return platform.GetEnvironment(row.variable);
}

ResolvedValue ResolveSetting(Platform& platform, SettingId id, const SettingLayers& layers,
                            SettingReader reader) {
  const SettingRow& row = Setting(id);
  if (layers.options) return *layers.options;
  if (layers.file_options) return *layers.file_options;
  if (std::string value = SettingVariable(platform, row, reader); !value.empty()) {
    if (IsSeconds(id)) value = SecondsText(value, row.default_text);
    return {std::move(value), {SettingSource::kEnvironment, row.variable, 0}};
  }
  if (layers.file) return *layers.file;
  return {row.default_text, {}};
}

int ProcessSeconds(Platform& platform, SettingId id) {
  return std::stoi(ResolveSetting(platform, id).text);
}

std::optional<ResolvedValue> FileSetting(const ModuleConfig& config, SettingId id) {
  switch (id) {
    case SettingId::kUser: return Line(config, config.user, config.user.value);
    case SettingId::kPassword: return Line(config, config.password, config.password.value);
    case SettingId::kRole: return Line(config, config.role, config.role.value);
    case SettingId::kPasswordFile:
      return Line(config, config.password_file, config.password_file.value);
    case SettingId::kAllowedDatabases: {
      std::string text;
      for (const std::string& entry : config.allowed_databases.value)
        text += (text.empty() ? "" : "; ") + entry;
      return Line(config, config.allowed_databases, text);
    }
    case SettingId::kDenySecurityDatabase:
      return Line(config, config.deny_security_database,
                  config.deny_security_database.value ? "yes" : "no");
    case SettingId::kFailureDir: return Line(config, config.failure_dir, config.failure_dir.value);
    case SettingId::kRunLogDir: return Line(config, config.run_log_dir, config.run_log_dir.value);
    case SettingId::kLockTimeout:
      return Line(config, config.lock_timeout,
                  config.lock_timeout.value == kLockNoWait ? std::string("nowait")
                                                           : std::to_string(config.lock_timeout.value));
    case SettingId::kDefaultOptions:
      return Line(config, config.default_options, config.default_options.value);
    case SettingId::kProcedureIdentity:
      return Line(config, config.procedure_identity,
                  config.procedure_identity.value == ProcedureIdentity::kModule ? "module" : "caller");
    case SettingId::kMaxRunsPerUser:
      return Line(config, config.max_runs_per_user, std::to_string(config.max_runs_per_user.value));
    default: return std::nullopt;
  }
}

SettingLayers LayersOf(SettingId id, const ModuleConfig* config, std::string_view options,
                       const std::string& options_where) {
  const SettingRow& row = Setting(id);
  SettingLayers layers;
  if (config != nullptr) {
    layers.file = FileSetting(*config, id);
    if (row.option != nullptr && config->default_options.IsSet()) {
      if (auto value = RunOptionValue(config->default_options.value, row.option))
        layers.file_options = ResolvedValue{
            std::move(*value), {SettingSource::kFileOptions, config->file, config->default_options.line}};
    }
  }
  if (row.option != nullptr) {
    if (auto value = RunOptionValue(options, row.option))
      layers.options = ResolvedValue{std::move(*value), {SettingSource::kOptions, options_where, 0}};
  }
  return layers;
}

}  // namespace tolvane
