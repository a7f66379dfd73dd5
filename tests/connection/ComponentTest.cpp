// Properties of a closed connection component: what each setter keeps and
// what it wipes, and the order the runner depends on.
#include <gtest/gtest.h>

#include "connection/SQLConnection.h"
#include "fakes/support/FakePlatform.h"
#include "runtime/Exceptions.h"

namespace tolvane {
namespace {

using Lines = std::vector<std::string>;

TEST(Component, NewComponentDefaults) {
  TSQLConnection connection(nullptr);
  EXPECT_FALSE(connection.Connected());
  EXPECT_TRUE(connection.KeepConnection());
  EXPECT_TRUE(connection.LoginPrompt());
  EXPECT_FALSE(connection.LoadParamsOnConnect());
  EXPECT_EQ(connection.TableScope(), 12);
  EXPECT_EQ(connection.Params().Count(), 0);
  EXPECT_EQ(connection.State(), connClosed);
  EXPECT_EQ(connection.ConnectionName(), "");
  EXPECT_EQ(connection.DriverName(), "");
  EXPECT_EQ(connection.Name(), "");
  EXPECT_EQ(connection.Owner(), nullptr);
}

// Fills the four names and one parameter, so a test can see what a setter wipes.
void Fill(TSQLConnection& connection) {
  connection.SetVendorLib("libclient.so");
  connection.SetLibraryName("libdrv.so");
  connection.SetGetDriverFunc("entry");
  connection.Params().SetValue("Database", "/db");
}

TEST(Component, DriverNameWithoutConnectionNameWipesNamesAndParams) {
  TSQLConnection connection(nullptr);
  Fill(connection);
  connection.SetDriverName("Interbase");
  EXPECT_EQ(connection.VendorLib(), "");
  EXPECT_EQ(connection.LibraryName(), "");
  EXPECT_EQ(connection.GetDriverFunc(), "");
  EXPECT_EQ(connection.Params().Count(), 0);
  EXPECT_EQ(connection.DriverName(), "Interbase");
}

TEST(Component, RunnerOrderConnectionNameThenDriverNameKeepsEverything) {
  TSQLConnection connection(nullptr);
  Fill(connection);
  connection.SetConnectionName("IBConnection");
  connection.SetDriverName("Interbase");
  EXPECT_EQ(connection.VendorLib(), "libclient.so");
  EXPECT_EQ(connection.LibraryName(), "libdrv.so");
  EXPECT_EQ(connection.GetDriverFunc(), "entry");
  EXPECT_EQ(connection.Params().Lines(), Lines{"Database=/db"});
}

TEST(Component, EmptyConnectionNameWithoutDriverWipesAllButEntryName) {
  TSQLConnection connection(nullptr);
  connection.SetConnectionName("IBConnection");
  Fill(connection);
  connection.SetConnectionName("");
  EXPECT_EQ(connection.VendorLib(), "");
  EXPECT_EQ(connection.LibraryName(), "");
  EXPECT_EQ(connection.GetDriverFunc(), "entry");
  EXPECT_EQ(connection.Params().Count(), 0);
}

TEST(Component, SameNameChangesNothingButOtherCaseIsAChange) {
  TSQLConnection connection(nullptr);
  connection.SetConnectionName("IBConnection");
  Fill(connection);
  connection.SetConnectionName("IBConnection");
  EXPECT_EQ(connection.Params().Count(), 1);
  connection.SetDriverName("Interbase");
  connection.SetDriverName("Interbase");
  EXPECT_EQ(connection.GetDriverFunc(), "entry");
  // A case change is a change, but with a driver set nothing is wiped.
  connection.SetConnectionName("ibconnection");
  EXPECT_EQ(connection.ConnectionName(), "ibconnection");
  EXPECT_EQ(connection.Params().Count(), 1);
}

TEST(Component, ParamsAssignedAsAWholeOnAClosedComponent) {
  TSQLConnection connection(nullptr);
  TStringList other;
  other.Add("A=1");
  other.Add("junk");
  connection.Params().Add("B=2");
  connection.SetParams(other);
  EXPECT_EQ(connection.Params().Lines(), (Lines{"A=1", "junk"}));
}

TEST(Component, RequireClosedPassesWithoutADriverConnection) {
  TSQLConnection connection(nullptr);
  EXPECT_NO_THROW(connection.RequireClosed());
}

TEST(Component, WithoutRegistryLoadingGettersReturnTheStoredTextAndTouchNoFile) {
  testing::FakePlatform platform;
  TSQLConnection connection(nullptr, platform);
  platform.ResetCounts();
  EXPECT_EQ(connection.VendorLib(), "");
  connection.SetLibraryName(" lib ");
  EXPECT_EQ(connection.LibraryName(), " lib ");
  EXPECT_EQ(platform.Calls(testing::PlatformCall::kFileExists), 0);
  EXPECT_EQ(platform.Calls(testing::PlatformCall::kReadFile), 0);
  EXPECT_EQ(platform.Calls(testing::PlatformCall::kReadSetting), 0);
}

TEST(Component, KeepConnectionFalseOnAClosedComponentDoesNothingElse) {
  TSQLConnection connection(nullptr);
  int disconnects = 0;
  connection.SetBeforeDisconnect([&](TSQLConnection&) { ++disconnects; });
  connection.SetKeepConnection(false);
  connection.SetKeepConnection(true);
  EXPECT_FALSE(connection.Connected());
  EXPECT_EQ(disconnects, 0);
}

}  // namespace
}  // namespace tolvane
