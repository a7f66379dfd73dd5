#include "script_runner/engine/RunnerConnection.h"

#include "connection/SQLConnection.h"

namespace tolvane {

void ConfigureRunnerConnection(TSQLConnection& connection, const std::string& database_path) {
  connection.Params().Clear();
  connection.SetConnectionName(kRunnerConnectionName);
  connection.SetDriverName(kRunnerDriverName);
  connection.SetGetDriverFunc(kRunnerGetDriverFunc);
  connection.SetLibraryName(kRunnerLibraryName);
  connection.SetLoginPrompt(false);
  TStringList& params = connection.Params();
  params.SetValue("Database", database_path);
  params.SetValue("User_Name", kRunnerUserName);
  params.SetValue("Password", kRunnerPassword);
  params.SetValue("RoleName", kRunnerRoleName);
  params.SetValue("SQLDialect", "3");
  params.SetValue("ServerCharSet", "");
  params.SetValue("BlobSize", "-1");
  params.SetValue("CommitRetain", "False");
  params.SetValue("WaitOnLocks", "True");
  params.SetValue("ErrorResourceFile", "");
  params.SetValue("LocaleCode", "0000");
  params.SetValue("Interbase TransIsolation", "ReadCommited");
  params.SetValue("Trim Char", "False");
  connection.SetVendorLib(kRunnerVendorLib);
}

}  // namespace tolvane
