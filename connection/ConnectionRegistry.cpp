// The connection component's use of the registry files.
#include "connection/DatabaseError.h"
#include "connection/RegistryFileParser.h"
#include "connection/RegistryFiles.h"
#include "connection/SQLConnection.h"
#include "runtime/Messages.h"

namespace tolvane {

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
