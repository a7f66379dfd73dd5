// Closing and destroying a connection against the scripted fake driver: the
// order of the close, a refused trace reset while closing and while being
// destroyed, the disconnect events, and the reload of registry parameters.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>

#include "FakeDriverSetup.h"
#include "runtime/Exceptions.h"

namespace tolvane {
namespace {

using ::testing::ElementsAreArray;
using tolvane::testing::PlatformCall;

class CloseConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fakedrv::Reset();
    fakedrv::UseFakeDriver(platform_);
  }
  void TearDown() override { EXPECT_EQ(fakedrv::LiveTotal(), 0); }

  // A new open connection, configured as the runner configures its own.
  TSQLConnection* NewOpenConnection() {
    auto* connection = new TSQLConnection(nullptr, platform_);
    fakedrv::ConfigureLikeRunner(*connection, "/data/x.fdb");
    connection->SetConnected(true);
    fakedrv::ClearLog();
    return connection;
  }

  testing::FakePlatform platform_;
};

TEST_F(CloseConnectionTest, CloseResetsTracingDetachesAndReleasesInOrder) {
  std::unique_ptr<TSQLConnection> connection(NewOpenConnection());
  connection->SetConnected(false);
  EXPECT_THAT(fakedrv::Log(), ElementsAreArray(fakedrv::CloseCalls()));
  EXPECT_EQ(connection->State(), connClosed);
  EXPECT_EQ(connection->LibraryHandle(), nullptr);
  EXPECT_EQ(fakedrv::LiveTotal(), 0);

  // The library was never unloaded; the next open loads it by name again.
  connection->SetConnected(true);
  EXPECT_EQ(platform_.Calls(PlatformCall::kLoadLibrary), 2);
}

TEST_F(CloseConnectionTest, RefusedTraceResetStopsTheCloseAndKeepsTheReferences) {
  std::unique_ptr<TSQLConnection> connection(NewOpenConnection());
  fakedrv::FailCall("SetConnectionOption coTraceClientData", 1, 4);
  EXPECT_THROW(connection->SetConnected(false), EDatabaseError);
  EXPECT_EQ(connection->State(), connDisconnecting);
  EXPECT_FALSE(connection->Connected());
  EXPECT_NE(connection->ConnectionIntf(), nullptr);
  EXPECT_NE(connection->MetaDataIntf(), nullptr);
  EXPECT_THAT(fakedrv::Log(), ::testing::Not(::testing::Contains("DetachDatabase connection=1")));

  // Destroying it now runs no close, raises nothing and releases all three.
  EXPECT_NO_THROW(connection.reset());
}

TEST_F(CloseConnectionTest, CloseErrorDuringDestructionReachesTheDestroyerAndNothingLeaks) {
  fakedrv::ThreadSettings().max_active_statements = 1;
  TSQLConnection* connection = NewOpenConnection();
  connection->ExecuteSqlDirect("select 1 from t");
  ASSERT_EQ(connection->Clones().size(), 1u);

  fakedrv::FailCall("SetConnectionOption coTraceCallback", 1, 4);
  EXPECT_THROW(DestroyConnection(connection), EDatabaseError);
  // TearDown checks that every driver object, the clone's included, is gone.
}

TEST_F(CloseConnectionTest, DestroyingAnOpenConnectionCallsBothDisconnectHandlers) {
  std::vector<std::string> events;
  auto watch = [&events](TSQLConnection& connection) {
    connection.SetBeforeDisconnect([&events](TSQLConnection&) { events.push_back("before"); });
    connection.SetAfterDisconnect([&events](TSQLConnection&) { events.push_back("after"); });
  };

  TSQLConnection* open = NewOpenConnection();
  watch(*open);
  delete open;
  EXPECT_THAT(events, ElementsAreArray({"before", "after"}));

  events.clear();
  auto* closed = new TSQLConnection(nullptr, platform_);
  watch(*closed);
  delete closed;
  EXPECT_TRUE(events.empty());
}

TEST_F(CloseConnectionTest, NextOpenAfterACloseReloadsParamsFromTheRegistryFile) {
  const std::string dir = ::testing::TempDir();
  const std::string connections = dir + "opener_sqlconnections.ini";
  const std::string drivers = dir + "opener_sqldrivers.ini";
  auto write_connections = [&connections](const std::string& dialect) {
    std::ofstream(connections) << "[IBConnection]\nDriverName=Interbase\nDatabase=/data/r.fdb\n"
                                  "User_Name=SYSDBA\nPassword=ravenquil\nSqlDialect="
                               << dialect << "\n";
  };
  write_connections("1");
  std::ofstream(drivers) << "[Interbase]\nLibraryName=" << kRunnerLibraryName
                         << "\nVendorLib=" << kRunnerVendorLib << "\n"
                            "GetDriverFunc=getSQLDriverINTERBASE\n";
  platform_.read_setting = [&](const std::string& name) {
    SettingValue value;
    value.kind = SettingValue::Kind::kString;
    value.text = name == "Connection Registry File" ? connections : drivers;
    return value;
  };

  TSQLConnection connection(nullptr, platform_);
  connection.SetConnectionName("IBConnection");
  connection.SetLoadParamsOnConnect(true);
  connection.SetConnected(true);
  EXPECT_TRUE(connection.ParamsFromFile());
  EXPECT_THAT(fakedrv::Log(), ::testing::Contains("SetConnectionOption coSqlDialect=1"));

  connection.SetConnected(false);
  EXPECT_FALSE(connection.ParamsFromFile());
  write_connections("3");
  fakedrv::ClearLog();
  connection.SetConnected(true);
  EXPECT_THAT(fakedrv::Log(), ::testing::Contains("SetConnectionOption coSqlDialect=3"));
  connection.SetConnected(false);
  std::remove(connections.c_str());
  std::remove(drivers.c_str());
}

}  // namespace
}  // namespace tolvane
