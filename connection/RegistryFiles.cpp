// Placeholder until the registry files land.
#include "connection/RegistryFiles.h"

#include "connection/SQLConnection.h"

namespace tolvane {
std::string FindRegistryFile(Platform&, const std::string&, const std::string& d) { return d; }
std::string FindDriverRegistryFile(Platform& p) { return FindRegistryFile(p, "", "sqldrivers.ini"); }
std::string FindConnectionRegistryFile(Platform& p) {
  return FindRegistryFile(p, "", "sqlconnections.ini");
}
TStringList ReadRegistryFileSection(Platform&, const std::string&, const std::string&) { return {}; }
std::string ReadRegistryFileValue(Platform&, const std::string&, const std::string&,
                                  const std::string&) {
  return {};
}
std::string TSQLConnection::ResolveDriverRegistryPath() { return driver_registry_path_; }
void TSQLConnection::FillParamsFromFile() {}
}  // namespace tolvane
