// The one resolver of settings: for a setting of the table
// (SettingsTable.h), the value in force and where it came from, by the
// table's one order of sources. The environment variables of settings are
// read here and nowhere else.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "script_runner/settings/SettingsTable.h"

namespace tolvane {

class Platform;
struct ModuleConfig;

// Lowest first, as the table's order of sources.
enum class SettingSource { kDefault, kFile, kEnvironment, kFileOptions, kOptions };

struct SettingOrigin {
  SettingSource source = SettingSource::kDefault;
  std::string where;  // the file, the variable, or what the options came from
  int line = 0;       // the file's line
};

// "file:/etc/firebird/3.0/udftolvane.conf:12", "env:TOLVANE_LOCK_TIMEOUT",
// "default_options:/etc/...:3", "option:--user", "default".
std::string OriginText(const SettingOrigin& origin);

struct ResolvedValue {
  std::string text;
  SettingOrigin origin;
};

// What one setting is given by, beyond its variable and its default; each
// unset when that source does not give it.
struct SettingLayers {
  std::optional<ResolvedValue> file;          // the file's own line
  std::optional<ResolvedValue> file_options;  // default_options of the file
  std::optional<ResolvedValue> options;       // the run's options, the tool's flags
};

// Whose environment counts: the server's module reads only the variables
// the table gives the server; tolvane-exec also the Firebird tools' own
// (ISC_USER, ISC_PASSWORD).
enum class SettingReader { kServer, kTool };

// The setting's variable, empty when it has none, it does not count for
// reader, or it is not set.
std::string SettingVariable(Platform& platform, const SettingRow& row,
                            SettingReader reader = SettingReader::kServer);

// The value in force: the highest source present of the layers, the
// variable and the default. A timeout's variable is taken as the driver
// always took it: not a whole number gives the default, more than 32767
// gives 32767.
ResolvedValue ResolveSetting(Platform& platform, SettingId id, const SettingLayers& layers = {},
                            SettingReader reader = SettingReader::kServer);

// A timeout in whole seconds, from its variable or its default (what the
// server process sets for every run).
int ProcessSeconds(Platform& platform, SettingId id);

// The layers of id in a configuration (null: none) and an options text
// (already checked), named options_where in origins.
SettingLayers LayersOf(SettingId id, const ModuleConfig* config, std::string_view options = {},
                       const std::string& options_where = "options");

// The file's text of a setting, as the file gave it (a list joined by
// "; "); nothing when the file does not set it.
std::optional<ResolvedValue> FileSetting(const ModuleConfig& config, SettingId id);

}  // namespace tolvane
