// The server's databases.conf, as far as the module's allow-list needs it:
// the aliases at the top level ("alias = path") and the security databases
// that entries name in their "{ ... }" blocks.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

class FirebirdConfig;
class Platform;

struct DatabaseAliases {
  std::map<std::string, std::string> paths;       // alias -> path, as written (macros expanded)
  std::vector<std::string> security_databases;    // SecurityDatabase values of entries
};

// Pure. macros: "$(name)" -> folder, names in lower case ("root",
// "dir_conf", "dir_secdb"); a macro it does not hold stays as written.
// Lines it cannot read are passed over, as the server would refuse them.
DatabaseAliases ParseDatabaseAliases(std::string_view text,
                                     const std::map<std::string, std::string>& macros);

// The aliases of the server firebird describes: its databases.conf, read
// through platform, with the server's folders as the macros. None when the
// server or its file cannot be told.
DatabaseAliases ReadServerAliases(Platform& platform, FirebirdConfig& firebird);

// text with each known "$(name)" replaced (names in any letter case).
std::string ExpandMacros(std::string_view text, const std::map<std::string, std::string>& macros);

}  // namespace tolvane
