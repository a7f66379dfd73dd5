#include "script_runner/settings/RunOptions.h"

#include <charconv>
#include <functional>
#include <string>
#include <vector>

#include "runtime/Text.h"
#include "script_runner/settings/SettingsTable.h"

namespace tolvane {
namespace {

constexpr std::size_t kMaxOnceId = 255;

bool OnceIdCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-' || c == ':' || c == '/';
}

[[noreturn]] void BadValue(std::string_view name, std::string_view value, const char* allowed) {
  throw ERunOptions("Bad value '" + std::string(value) + "' for option " + std::string(name) +
                    ": use " + allowed);
}

void Apply(const std::string& name, std::string_view value, RunSettings* settings) {
  const std::string lower = LowerAscii(value);
  if (name == "mode") {
    if (lower == "continue") settings->mode = RunMode::kContinue;
    else if (lower == "bail") settings->mode = RunMode::kBail;
    else if (lower == "atomic") settings->mode = RunMode::kAtomic;
    else if (lower == "batch") settings->mode = RunMode::kBatch;
    else if (lower == "isql") settings->mode = RunMode::kIsql;
    else BadValue(name, value, "continue, bail, atomic, batch or isql");
    settings->mode_given = true;
  } else if (name == "dialect") {
    if (lower == "lines") settings->dialect = Dialect::kLines;
    else if (lower == "isql") settings->dialect = Dialect::kIsql;
    else BadValue(name, value, "lines or isql");
  } else if (name == "lock_timeout") {
    if (lower == "nowait") {
      settings->lock_timeout = kLockNoWait;
      return;
    }
    int seconds = -1;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (value.empty() || error != std::errc() || end != value.data() + value.size() ||
        seconds < 0 || seconds > 32767)
      BadValue(name, value, "a number of seconds from 0 (wait without a limit) to 32767, or nowait");
    settings->lock_timeout = seconds;
  } else if (name == "charset") {
    // A character set's name as the server knows it: letters, digits, _.
    bool name_chars = !value.empty() && value.size() <= 63;
    for (char c : value)
      if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'))
        name_chars = false;
    if (!name_chars) BadValue(name, value, "a character set's name, such as UTF8 or WIN1252");
    settings->charset.assign(value);
    for (char& c : settings->charset)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  } else if (name == "sql_dialect") {
    if (value == "1" || value == "2" || value == "3") settings->sql_dialect = value[0] - '0';
    else BadValue(name, value, "1, 2 or 3");
  } else if (name == "failure_files") {
    if (lower == "on") settings->failure_files = true;
    else if (lower == "off") settings->failure_files = false;
    else BadValue(name, value, "on or off");
  } else if (name == "statement_text") {
    if (lower == "all") settings->every_statement_text = true;
    else if (lower == "not_ok") settings->every_statement_text = false;
    else BadValue(name, value, "all or not_ok");
  } else if (name == "once") {
    bool valid = !value.empty() && value.size() <= kMaxOnceId;
    for (char c : value)
      if (!OnceIdCharacter(c)) valid = false;
    if (!valid) BadValue(name, value, "an id of 1 to 255 letters, digits and . _ - : /");
    settings->once_id.assign(value);
  } else if (name == "once_changed") {
    if (lower == "rerun") settings->once_rerun_changed = true;
    else if (lower == "refuse") settings->once_rerun_changed = false;
    else BadValue(name, value, "refuse or rerun");
  } else if (name == "tolerate") {
    if (lower == "exists") settings->tolerate_exists = true;
    else if (lower == "none") settings->tolerate_exists = false;
    else BadValue(name, value, "exists or none");
  } else {
    throw ERunOptions("Unknown option '" + name + "': the options are " + OptionNames());
  }
}

}  // namespace

void ForEachRunOption(std::string_view text,
                      const std::function<void(const std::string&, std::string_view)>& take) {
  std::vector<std::string> seen;
  while (!text.empty()) {
    const std::size_t end = text.find(';');
    const std::string pair = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (pair.empty()) continue;
    const std::size_t equals = pair.find('=');
    const std::string name = LowerAscii(Trim(std::string_view(pair).substr(0, equals)));
    if (equals == std::string_view::npos)
      throw ERunOptions("Option '" + std::string(pair) + "' needs a value: write name=value");
    for (const std::string& earlier : seen)
      if (earlier == name) throw ERunOptions("Option " + name + " is given twice");
    seen.push_back(name);
    take(name, Trim(std::string_view(pair).substr(equals + 1)));
  }
}

std::optional<std::string> RunOptionValue(std::string_view text, std::string_view name) {
  std::optional<std::string> value;
  ForEachRunOption(text, [&](const std::string& given, std::string_view given_value) {
    if (given == name) value.emplace(given_value);
  });
  return value;
}

RunSettings ParseRunOptions(std::string_view text, const RunSettings& base) {
  RunSettings settings = base;
  ForEachRunOption(text, [&](const std::string& name, std::string_view value) {
    Apply(name, value, &settings);
  });
  // A dialect brings its own way of committing unless a mode is given.
  if (!settings.mode_given)
    settings.mode = settings.dialect == Dialect::kIsql ? RunMode::kIsql : RunMode::kContinue;
  return settings;
}

const char* RunModeName(RunMode mode) {
  switch (mode) {
    case RunMode::kContinue: return "continue";
    case RunMode::kBail: return "bail";
    case RunMode::kAtomic: return "atomic";
    case RunMode::kBatch: return "batch";
    case RunMode::kIsql: return "isql";
  }
  return "";
}

std::string RunOptionsText(const RunSettings& settings) {
  std::string text = "mode=";
  text += RunModeName(settings.mode);
  text += ";dialect=";
  text += DialectName(settings.dialect);
  if (settings.lock_timeout) {
    text += ";lock_timeout=";
    text += *settings.lock_timeout == kLockNoWait ? "nowait" : std::to_string(*settings.lock_timeout);
  }
  if (!settings.charset.empty()) text += ";charset=" + settings.charset;
  if (settings.sql_dialect) text += ";sql_dialect=" + std::to_string(*settings.sql_dialect);
  text += settings.failure_files ? ";failure_files=on" : ";failure_files=off";
  if (settings.every_statement_text) text += ";statement_text=all";
  if (!settings.once_id.empty()) text += ";once=" + settings.once_id;
  if (settings.once_rerun_changed) text += ";once_changed=rerun";
  if (settings.tolerate_exists) text += ";tolerate=exists";
  return text;
}

void RefuseCallOnlyOptions(const RunSettings& settings) {
  if (!settings.once_id.empty() || settings.once_rerun_changed)
    throw ERunOptions("once and once_changed name one call's script: give them in the call's "
                      "options, not as defaults");
}

const char* DialectName(Dialect dialect) {
  return dialect == Dialect::kIsql ? "isql" : "lines";
}

}  // namespace tolvane
