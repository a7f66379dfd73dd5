#include "tools/FleetTargets.h"

#include <cctype>
#include <cstdint>
#include <map>
#include <optional>

#include "runtime/Platform.h"
#include "script_runner/settings/DatabaseTarget.h"
#include "tools/ExecOptions.h"

namespace tolvane::exec {
namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string TargetHost(const std::string& database) {
  std::string host = SplitTarget(database).host;
  for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return host;
}

std::vector<FleetTarget> ReadFleetTargets(const std::vector<std::string>& given,
                                          std::string_view list, const std::string& origin) {
  std::vector<FleetTarget> targets;
  std::map<std::string, std::string, std::less<>> seen;  // database -> where it was given
  auto add = [&](std::string_view database, std::string where) {
    if (database.empty()) throw UsageError("an empty database name " + where);
    const auto [at, added] = seen.emplace(std::string(database), where);
    if (!added)
      throw UsageError("the database " + at->first + " is given twice (" + at->second + " and " +
                       where + "): each database runs once");
    FleetTarget target;
    target.database = at->first;
    target.host = TargetHost(target.database);
    target.place = static_cast<int>(targets.size()) + 1;
    targets.push_back(std::move(target));
  };
  for (const std::string& database : given) add(database, "by --database");
  std::size_t line_number = 0;
  for (std::size_t start = 0; start < list.size();) {
    std::size_t end = list.find('\n', start);
    if (end == std::string_view::npos) end = list.size();
    ++line_number;
    const std::string_view line = Trimmed(list.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line.front() == '#') continue;
    add(line, "on line " + std::to_string(line_number) + " of " + origin);
  }
  return targets;
}

void RefuseSecondNames(Platform& platform, FirebirdConfig& firebird,
                       const std::vector<FleetTarget>& targets) {
  std::map<std::pair<std::uint64_t, std::uint64_t>, const FleetTarget*> files;
  for (const FleetTarget& target : targets) {
    const TargetSpelling spelling = SplitTarget(target.database);
    if (!IsLocalHost(spelling.host)) continue;
    const std::optional<std::string> file = LocalTargetFile(platform, firebird, spelling.file);
    FileFacts facts;
    if (!file || platform.ReadFileFacts(*file, &facts) != 0 || !facts.regular) continue;
    const auto [at, added] =
        files.emplace(std::pair(facts.identity.device, facts.identity.file), &target);
    if (!added)
      throw UsageError("the databases " + at->second->database + " and " + target.database +
                       " are one file (" + *file + "): each database runs once");
  }
}

std::string TargetFolderName(const FleetTarget& target) {
  const TargetSpelling spelling = SplitTarget(target.database);
  std::string_view file = spelling.file.empty() ? std::string_view(target.database) : spelling.file;
  if (const std::size_t slash = file.find_last_of("/\\"); slash != std::string_view::npos)
    file.remove_prefix(slash + 1);
  std::string name = std::to_string(target.place) + "-";
  for (const char c : file.substr(0, 64))
    name += std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_' ? c : '_';
  return name;
}

}  // namespace tolvane::exec
