#include "script_runner/settings/ModuleConfig.h"

#include <charconv>

#include "SystemNames.h"
#include "runtime/Text.h"
#include "script_runner/engine/RunLimits.h"
#include "script_runner/settings/RunOptions.h"
#include "script_runner/settings/SettingsTable.h"

namespace tolvane {
namespace {

struct Problem {
  std::string text;
};

[[noreturn]] void Refuse(std::string text) { throw Problem{std::move(text)}; }

bool HoldsControl(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 32 && c != '\t') return true;
  return false;
}

// The value of a line: blanks trimmed, "#" and what follows dropped, a value
// in double quotes taken as written (it may hold "#" or blanks at its ends).
std::string LineValue(std::string_view text) {
  const std::string trimmed = Trim(text);
  if (!trimmed.empty() && trimmed.front() == '"') {
    const std::size_t close = trimmed.find('"', 1);
    if (close == std::string::npos) Refuse("the value's double quote is never closed");
    const std::string rest = Trim(std::string_view(trimmed).substr(close + 1));
    if (!rest.empty() && rest.front() != '#') Refuse("text follows the quoted value");
    return trimmed.substr(1, close - 1);
  }
  const std::size_t hash = trimmed.find('#');
  return hash == std::string::npos ? trimmed : Trim(std::string_view(trimmed).substr(0, hash));
}

std::string AbsolutePath(const std::string& value, const char* what) {
  if (!system_names::IsAbsolutePath(value))
    Refuse(std::string(what) + " must be an absolute path, not '" + value + "'");
  return value;
}

bool YesNo(const std::string& value) {
  const std::string lower = LowerAscii(value);
  if (lower == "yes" || lower == "true" || lower == "on" || lower == "1") return true;
  if (lower == "no" || lower == "false" || lower == "off" || lower == "0") return false;
  Refuse("bad value '" + value + "' for deny_security_database: use yes or no");
}

std::vector<std::string> AllowList(const std::string& value) {
  std::vector<std::string> entries;
  std::size_t start = 0;
  while (start <= value.size()) {
    std::size_t end = value.find(';', start);
    if (end == std::string::npos) end = value.size();
    std::string entry = Trim(std::string_view(value).substr(start, end - start));
    start = end + 1;
    if (entry.empty()) continue;
    if (!system_names::IsAbsolutePath(entry) &&
        entry.find_first_of(system_names::kPathSeparators) != std::string::npos)
      Refuse("allowed_databases entry '" + entry +
             "' is neither an absolute path nor an alias of databases.conf");
    entries.push_back(std::move(entry));
  }
  return entries;
}

int RunsPerUser(const std::string& value) {
  int runs = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), runs);
  if (error != std::errc() || end != value.data() + value.size() || runs < 1 ||
      runs > kMaxActiveRuns)
    Refuse("bad value '" + value + "' for max_runs_per_user: use a whole number from 1 to " +
           std::to_string(kMaxActiveRuns));
  return runs;
}

template <class T>
void Take(ConfigSetting<T>* setting, T value, int line) {
  setting->value = std::move(value);
  setting->line = line;
}

void Apply(ModuleConfig* config, const std::string& name, const std::string& value, int line) {
  if (name == "user") {
    if (value.empty()) Refuse("user must not be empty");
    Take(&config->user, value, line);
  } else if (name == "password") {
    Take(&config->password, value, line);
  } else if (name == "role") {
    Take(&config->role, value, line);
  } else if (name == "password_file") {
    Take(&config->password_file, AbsolutePath(value, "password_file"), line);
  } else if (name == "allowed_databases") {
    Take(&config->allowed_databases, AllowList(value), line);
  } else if (name == "deny_security_database") {
    Take(&config->deny_security_database, YesNo(value), line);
  } else if (name == "failure_dir") {
    Take(&config->failure_dir, AbsolutePath(value, "failure_dir"), line);
  } else if (name == "run_log_dir") {
    Take(&config->run_log_dir, AbsolutePath(value, "run_log_dir"), line);
  } else if (name == "lock_timeout") {
    // One option of the options text, never more.
    if (value.find(';') != std::string::npos) Refuse("bad value '" + value + "' for lock_timeout");
    try {
      Take(&config->lock_timeout, *ParseRunOptions("lock_timeout=" + value).lock_timeout, line);
    } catch (const ERunOptions& e) {
      Refuse(e.Message());
    }
  } else if (name == "default_options") {
    try {
      RefuseCallOnlyOptions(ParseRunOptions(value));
    } catch (const ERunOptions& e) {
      Refuse("default_options: " + e.Message());
    }
    Take(&config->default_options, value, line);
  } else if (name == "procedure_identity") {
    const std::string lower = LowerAscii(value);
    if (lower == "caller") Take(&config->procedure_identity, ProcedureIdentity::kCaller, line);
    else if (lower == "module") Take(&config->procedure_identity, ProcedureIdentity::kModule, line);
    else Refuse("bad value '" + value + "' for procedure_identity: use caller or module");
  } else if (name == "max_runs_per_user") {
    Take(&config->max_runs_per_user, RunsPerUser(value), line);
  } else {
    Refuse("unknown setting '" + name + "'; the settings are " + FileSettingNames());
  }
}

// Settings that cannot stand together, told on the later line.
void CheckTogether(const ModuleConfig& config) {
  if (config.password.IsSet() && config.password_file.IsSet())
    throw EModuleConfig(ConfigProblem(
        config.file,
        config.password.line > config.password_file.line ? config.password.line
                                                         : config.password_file.line,
        "give password or password_file, not both"));
  if (config.lock_timeout.IsSet() && config.default_options.IsSet() &&
      ParseRunOptions(config.default_options.value).lock_timeout.has_value())
    throw EModuleConfig(ConfigProblem(
        config.file,
        config.lock_timeout.line > config.default_options.line ? config.lock_timeout.line
                                                               : config.default_options.line,
        "lock_timeout is given both as a setting and in default_options"));
}

}  // namespace

std::string ConfigProblem(const std::string& file, int line, std::string_view problem) {
  std::string text = "Configuration " + file;
  if (line > 0) text += ", line " + std::to_string(line);
  text += ": ";
  text.append(problem);
  return text;
}

ModuleConfig ParseModuleConfig(std::string_view text, const std::string& file) {
  ModuleConfig config;
  config.file = file;
  std::vector<std::pair<std::string, int>> seen;
  int line = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view raw = text.substr(start, end - start);
    start = end + 1;
    ++line;
    try {
      const std::string content = Trim(raw);
      if (content.empty() || content.front() == '#') continue;
      if (HoldsControl(content)) Refuse("the line holds a control character");
      const std::size_t equals = content.find('=');
      if (equals == std::string::npos) Refuse("expected name = value");
      const std::string name = LowerAscii(Trim(std::string_view(content).substr(0, equals)));
      if (name.empty()) Refuse("a value without a name");
      for (const auto& [earlier, earlier_line] : seen)
        if (earlier == name)
          Refuse(name + " is set twice (first on line " + std::to_string(earlier_line) + ")");
      Apply(&config, name, LineValue(std::string_view(content).substr(equals + 1)), line);
      seen.emplace_back(name, line);
    } catch (const Problem& problem) {
      throw EModuleConfig(ConfigProblem(file, line, problem.text));
    }
  }
  CheckTogether(config);
  return config;
}

RunSettings ConfiguredDefaults(const ModuleConfig& config) {
  return config.default_options.IsSet() ? ParseRunOptions(config.default_options.value)
                                        : RunSettings{};
}

}  // namespace tolvane
