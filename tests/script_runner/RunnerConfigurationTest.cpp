// The runner's configuration as an open sees it: names kept in spite of the
// setter order rules, and exactly the eleven parameter lines, in order.
#include <gtest/gtest.h>

#include "connection/SQLConnection.h"
#include "script_runner/function/ScriptRunner.h"

namespace tolvane {
namespace {

using Lines = std::vector<std::string>;

TEST(RunnerConfiguration, ElevenLinesInOrderAndEveryNameKept) {
  TSQLConnection connection(nullptr);
  connection.Params().Add("Stale=left from before");
  ConfigureRunnerConnection(connection, " /data/work.fdb ");

  EXPECT_EQ(connection.Params().Lines(),
            (Lines{"Database= /data/work.fdb ", "User_Name=SYSDBA", "Password=ravenquil",
                   "RoleName=RoleName", "SQLDialect=3", "BlobSize=-1", "CommitRetain=False",
                   "WaitOnLocks=True", "LocaleCode=0000", "Interbase TransIsolation=ReadCommited",
                   "Trim Char=False"}));
  EXPECT_EQ(connection.ConnectionName(), "IBConnection");
  EXPECT_EQ(connection.DriverName(), "Interbase");
  EXPECT_EQ(connection.GetDriverFunc(), "getSQLDriverINTERBASE");
  EXPECT_EQ(connection.LibraryName(), "libfbdrv.so");
  EXPECT_EQ(connection.VendorLib(), "libfbclient.so.2");
  EXPECT_FALSE(connection.LoginPrompt());
  EXPECT_FALSE(connection.LoadParamsOnConnect());
}

TEST(RunnerConfiguration, EmptyPathLeavesNoDatabaseLine) {
  TSQLConnection connection(nullptr);
  ConfigureRunnerConnection(connection, "");
  EXPECT_EQ(connection.Params().IndexOfName("Database"), -1);
  EXPECT_EQ(connection.Params().Count(), 10);
}

}  // namespace
}  // namespace tolvane
