// The udftolvane.conf parser on any bytes. Checked: it either gives settings
// or raises EModuleConfig naming the file and a line the text has; the same
// text with CR LF line ends, or with a comment line added, gives the same
// verdict; the settings it gives keep their rules (absolute folders, a user
// that is not empty, allow-list entries trimmed and either absolute or an
// alias, lines within the text).
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "runtime/Text.h"
#include "script_runner/settings/ModuleConfig.h"

namespace {

using tolvane::ConfigSetting;
using tolvane::ModuleConfig;

template <class T>
std::string Line(const ConfigSetting<T>& setting) {
  return std::to_string(setting.line) + ";";
}

std::string Describe(const ModuleConfig& c) {
  std::string text = c.user.value + "|" + c.password.value + "|" + c.role.value + "|" +
                     c.password_file.value + "|" + c.failure_dir.value + "|" + c.run_log_dir.value +
                     "|" + c.default_options.value + "|" + std::to_string(c.lock_timeout.value) +
                     "|" + std::to_string(c.deny_security_database.value) + "|" +
                     std::to_string(static_cast<int>(c.procedure_identity.value)) + "|";
  for (const std::string& entry : c.allowed_databases.value) text += entry + ";";
  text += Line(c.user) + Line(c.password) + Line(c.role) + Line(c.password_file) +
          Line(c.allowed_databases) + Line(c.deny_security_database) + Line(c.failure_dir) +
          Line(c.run_log_dir) + Line(c.lock_timeout) + Line(c.default_options) +
          Line(c.procedure_identity);
  return text;
}

std::string Verdict(std::string_view text, ModuleConfig* config) {
  try {
    *config = tolvane::ParseModuleConfig(text, "F");
    return "ok " + Describe(*config);
  } catch (const tolvane::EModuleConfig& e) {
    return "error " + e.Message();
  }
}

template <class T>
bool LineWithin(const ConfigSetting<T>& setting, int lines) {
  return setting.line >= 0 && setting.line <= lines;
}

bool Absolute(const ConfigSetting<std::string>& setting) {
  return !setting.IsSet() || (!setting.value.empty() && setting.value.front() == '/');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using tolvane::testing::fuzz::Escaped;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string where = "file " + Escaped(text);
  int lines = 0;
  for (std::size_t at = 0; at < text.size(); ++lines) {
    const std::size_t end = text.find('\n', at);
    at = end == std::string_view::npos ? text.size() : end + 1;
  }

  ModuleConfig config;
  const std::string verdict = Verdict(text, &config);
  if (verdict.rfind("error ", 0) == 0) {
    FUZZ_CHECK(verdict.rfind("error Configuration F", 0) == 0, where + " " + verdict);
    const std::size_t at = verdict.find(", line ");
    if (at != std::string::npos) {
      const int line = std::atoi(verdict.c_str() + at + 7);
      FUZZ_CHECK(line >= 1 && line <= lines, where + " " + verdict);
    }
  } else {
    FUZZ_CHECK(!config.user.IsSet() || !config.user.value.empty(), where);
    FUZZ_CHECK(Absolute(config.password_file) && Absolute(config.failure_dir) &&
                   Absolute(config.run_log_dir), where);
    for (const std::string& entry : config.allowed_databases.value)
      FUZZ_CHECK(!entry.empty() && tolvane::Trim(entry) == entry &&
                     (entry.front() == '/' || entry.find('/') == std::string::npos),
                 where + " entry " + Escaped(entry));
    FUZZ_CHECK(LineWithin(config.user, lines) && LineWithin(config.password, lines) &&
                   LineWithin(config.allowed_databases, lines) &&
                   LineWithin(config.default_options, lines), where);
  }

  std::string crlf;
  for (char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  ModuleConfig other;
  FUZZ_CHECK(Verdict(crlf, &other) == verdict, where + " with CR LF");
  std::string commented(text);
  commented += "\n# a comment = with an equals sign\n";
  // The added line only moves no earlier line; a verdict about the end of the
  // text (settings that cannot stand together) names the same line.
  FUZZ_CHECK(Verdict(commented, &other) == verdict, where + " with a comment added");
  return 0;
}
