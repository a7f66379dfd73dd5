// Test-side helpers around the fake driver: a platform that loads the fake
// under the runner's library name, and a connection configured as the
// script runner configures its own.
#pragma once

#include <string>

#include "FakeDriver.h"
#include "connection/SQLConnection.h"
#include "fakes/support/FakePlatform.h"
#include "script_runner/function/ScriptRunner.h"

namespace tolvane::testing::fakedrv {

// The runner's driver library name loads the fake instead; other names load
// as they are.
inline void UseFakeDriver(tolvane::testing::FakePlatform& platform,
                          const char* fake_path = kLibraryPath) {
  platform.load_library = [fake_path](const std::string& name) {
    return tolvane::DefaultPlatform().LoadLibrary(name == tolvane::kRunnerLibraryName ? fake_path
                                                                                     : name);
  };
}

// The names and the eleven parameter lines the runner gives its connection.
inline void ConfigureLikeRunner(tolvane::TSQLConnection& connection, const std::string& database) {
  tolvane::ConfigureRunnerConnection(connection, database);
}

// The driver calls of the runner's open, database db, in order.
inline std::vector<std::string> RunnerOpenCalls(const std::string& db) {
  return {
      std::string(kEntryName) + " vendor=" + tolvane::kRunnerVendorLib + " errors=",
      "CreateConnection",
      "SetConnectionOption coRoleName=RoleName",
      "SetConnectionOption coWaitOnLocks=1",
      "SetConnectionOption coCommitRetain=0",
      "SetConnectionOption coTransIsolation=0",
      "SetConnectionOption coSqlDialect=3",
      "SetConnectionOption coTrimChar=0",
      "AttachDatabase db=" + db + " user=SYSDBA password=ravenquil",
      "GetConnectionOption coMaxActiveStatements",
      "CreateMetaData",
      "SetMetaDataOption moUserName=SYSDBA",
      "GetMetaDataOption moQuoteChar",
      "SetConnectionOption coBlobSize=-1",
      "GetMetaDataOption moTransactionsSupported",
      "GetMetaDataOption moMultipleTransactionsSupported",
  };
}

// The driver calls of closing an open connection numbered n.
inline std::vector<std::string> CloseCalls(int n = 1) {
  return {
      "SetConnectionOption coTraceCallback=0",
      "SetConnectionOption coTraceClientData=0",
      "Release ISQLMetaData",
      "DetachDatabase connection=" + std::to_string(n),
      "Release ISQLConnection",
      "Release ISQLDriver",
  };
}

}  // namespace tolvane::testing::fakedrv
