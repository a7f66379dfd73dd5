// Finding, reading and loading the registry files. The settings come through
// the platform seam; file content is parsed by RegistryFileParser.
#include "connection/RegistryFiles.h"

#include "connection/DatabaseError.h"
#include "connection/RegistryFileParser.h"
#include "connection/SQLConnection.h"
#include "SystemNames.h"
#include "runtime/Exceptions.h"
#include "runtime/Messages.h"
#include "connection/ConnectionMessages.h"
#include "runtime/Platform.h"
#include "runtime/Text.h"

namespace tolvane {
namespace {

// The executable's directory: everything before the last separator, except
// that a root directory ("/", or a drive's "C:\") keeps its separator.
std::string DirectoryOf(const std::string& path) {
  size_t slash = path.find_last_of(system_names::kPathSeparators);
  if (slash == std::string::npos) return std::string();
  if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

std::string SettingText(Platform& platform, const std::string& setting_name) {
  SettingValue value = platform.ReadSetting(setting_name);
  switch (value.kind) {
    case SettingValue::Kind::kMissing:
      return std::string();
    case SettingValue::Kind::kString:
    case SettingValue::Kind::kExpandString:
      // Environment references are never expanded; the text ends at a NUL.
      return value.text.substr(0, value.text.find('\0'));
    case SettingValue::Kind::kOtherType:
      throw ERegistryException(Format(kSInvalidRegType, {setting_name}));
    case SettingValue::Kind::kUnreadable:
      break;
  }
  throw ERegistryException(Format(kSRegGetDataFailed, {setting_name}));
}

}  // namespace

std::string FindRegistryFile(Platform& platform, const std::string& setting_name,
                             const std::string& default_file_name) {
  std::string path = SettingText(platform, setting_name);
  if (path.empty()) path = DirectoryOf(platform.ExecutablePath()) + system_names::kPathSeparators[0] + default_file_name;
  return path;
}

std::string FindDriverRegistryFile(Platform& platform) {
  return FindRegistryFile(platform, "Driver Registry File", "sqldrivers.ini");
}

std::string FindConnectionRegistryFile(Platform& platform) {
  return FindRegistryFile(platform, "Connection Registry File", "sqlconnections.ini");
}

std::string ReadRegistryFileText(Platform& platform, const std::string& path) {
  std::string text;
  int error = platform.ReadWholeFile(path, &text);
  if (error != 0) throw EFOpenError(Format(kSFOpenError, {path, platform.ErrorText(error)}));
  return text;
}

TStringList ReadRegistryFileSection(Platform& platform, const std::string& section,
                                    const std::string& path) {
  if (!platform.FileExists(path)) return TStringList();
  return RegistrySectionLines(ReadRegistryFileText(platform, path), section);
}

std::string ReadRegistryFileValue(Platform& platform, const std::string& section,
                                  const std::string& key, const std::string& path) {
  return ReadRegistryFileSection(platform, section, path).Values(key);
}

// The connection component's use of the registry files.

std::string TSQLConnection::ResolveDriverRegistryPath() {
  // Looked up once per component; a failed lookup leaves the field empty so
  // that the next use asks again and raises again.
  if (driver_registry_path_.empty()) driver_registry_path_ = FindDriverRegistryFile(platform_);
  return driver_registry_path_;
}

void TSQLConnection::FillParamsFromFile() {
  if (params_from_file_) return;
  if (connection_name_.empty()) RaiseDatabaseError(kSConnectionNameMissing, nullptr);
  if (!platform_.FileExists(connection_registry_path_))
    RaiseDatabaseErrorFmt(kSRegistryFileNotFound, {connection_registry_path_}, nullptr);

  // Read and parse before Params is touched: a file that cannot be read
  // leaves Params as it was.
  TStringList lines =
      RegistrySectionLines(ReadRegistryFileText(platform_, connection_registry_path_),
                           connection_name_);
  struct UpdateScope {
    TStringList& list;
    explicit UpdateScope(TStringList& l) : list(l) { list.BeginUpdate(); }
    ~UpdateScope() { list.EndUpdate(); }
  } update(params_);
  params_.Assign(lines);
  params_from_file_ = true;
}

}  // namespace tolvane
