#include "script_runner/settings/DatabaseAliases.h"

#include "runtime/PathText.h"
#include "runtime/Platform.h"
#include "runtime/Text.h"
#include "script_runner/settings/FirebirdConfig.h"

namespace tolvane {

std::string ExpandMacros(std::string_view text, const std::map<std::string, std::string>& macros) {
  std::string out;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t open = text.find("$(", at);
    if (open == std::string_view::npos) break;
    const std::size_t close = text.find(')', open + 2);
    if (close == std::string_view::npos) break;
    out.append(text.substr(at, open - at));
    const auto known = macros.find(LowerAscii(text.substr(open + 2, close - open - 2)));
    if (known != macros.end()) out += known->second;
    else out.append(text.substr(open, close + 1 - open));
    at = close + 1;
  }
  out.append(text.substr(at < text.size() ? at : text.size()));
  return out;
}

DatabaseAliases ParseDatabaseAliases(std::string_view text,
                                     const std::map<std::string, std::string>& macros) {
  DatabaseAliases aliases;
  int depth = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    const std::size_t hash = line.find('#');
    if (hash != std::string_view::npos) line = line.substr(0, hash);
    const std::string content = Trim(line);
    if (content.empty()) continue;
    if (content == "{") {
      ++depth;
      continue;
    }
    if (content == "}") {
      if (depth > 0) --depth;
      continue;
    }
    const std::size_t equals = content.find('=');
    if (equals == std::string::npos) continue;
    const std::string name = Trim(std::string_view(content).substr(0, equals));
    std::string raw = Trim(std::string_view(content).substr(equals + 1));
    const bool opens = !raw.empty() && raw.back() == '{';
    if (opens) raw = Trim(std::string_view(raw).substr(0, raw.size() - 1));
    const std::string value = ExpandMacros(raw, macros);
    const int level = depth;
    if (opens) ++depth;
    if (name.empty() || value.empty()) continue;
    if (level == 0)
      aliases.paths[name] = value;
    else if (SameTextAscii(name, "SecurityDatabase"))
      aliases.security_databases.push_back(value);
  }
  return aliases;
}

DatabaseAliases ReadServerAliases(Platform& platform, FirebirdConfig& firebird) {
  const std::string folder = firebird.Directory(FirebirdFolder::kConfig);
  if (folder.empty()) return DatabaseAliases();
  const std::map<std::string, std::string> macros = {
      {"root", firebird.Directory(FirebirdFolder::kRoot)},
      {"dir_conf", folder},
      {"dir_secdb", firebird.Directory(FirebirdFolder::kSecurity)}};
  std::string text;
  FileFacts facts;
  const std::string path = JoinPath(folder, "databases.conf");
  if (platform.ReadFileFacts(path, &facts) != 0 || platform.ReadWholeFile(path, &text) != 0)
    return DatabaseAliases();
  return ParseDatabaseAliases(text, macros);
}

}  // namespace tolvane
