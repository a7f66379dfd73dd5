// Finding the registry files through the settings, reading them, and the
// component's use of them: the getters' fallback, FillParamsFromFile and the
// open that takes Params and the driver names from them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "FakeDriverSetup.h"
#include "connection/RegistryFiles.h"
#include "connection/SQLConnection.h"
#include "fakes/support/FakePlatform.h"
#include "runtime/Exceptions.h"

namespace tolvane {
namespace {

using testing::FakePlatform;
using testing::PlatformCall;
using Lines = std::vector<std::string>;

SettingValue Setting(SettingValue::Kind kind, std::string text = {}) {
  SettingValue value;
  value.kind = kind;
  value.text = std::move(text);
  return value;
}

// A private folder for the test's files, and a platform whose settings the
// test chooses; every setting is missing unless a test says otherwise.
class RegistryFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tolvane-registry-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    platform_.executable_path = [] { return std::string("/opt/host/bin/fbserver"); };
    platform_.read_setting = [this](const std::string& name) {
      auto it = settings_.find(name);
      return it == settings_.end() ? SettingValue() : it->second;
    };
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string WriteTestFile(const std::string& name, const std::string& content) {
    std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  std::string dir_;
  std::map<std::string, SettingValue> settings_;
  FakePlatform platform_;
};

TEST_F(RegistryFiles, MissingOrEmptySettingGivesTheDefaultBesideTheExecutable) {
  EXPECT_EQ(FindConnectionRegistryFile(platform_), "/opt/host/bin/sqlconnections.ini");
  settings_["Driver Registry File"] = Setting(SettingValue::Kind::kString, "");
  EXPECT_EQ(FindDriverRegistryFile(platform_), "/opt/host/bin/sqldrivers.ini");
  // A text that ends at once counts as empty too.
  settings_["Driver Registry File"] = Setting(SettingValue::Kind::kString, std::string(1, '\0'));
  EXPECT_EQ(FindDriverRegistryFile(platform_), "/opt/host/bin/sqldrivers.ini");

  TSQLConnection connection(nullptr, platform_);
  EXPECT_EQ(connection.ConnectionRegistryPath(), "/opt/host/bin/sqlconnections.ini");

  // An executable in the root directory keeps its slash.
  platform_.executable_path = [] { return std::string("/x"); };
  EXPECT_EQ(FindConnectionRegistryFile(platform_), "//sqlconnections.ini");
}

TEST_F(RegistryFiles, SettingsAreUsedLiterallyUpToTheirFirstNul) {
  settings_["Connection Registry File"] =
      Setting(SettingValue::Kind::kExpandString, "$HOME/conn.ini");
  settings_["Driver Registry File"] =
      Setting(SettingValue::Kind::kString, std::string("rel/drivers.ini\0tail", 20));
  EXPECT_EQ(FindConnectionRegistryFile(platform_), "$HOME/conn.ini");
  EXPECT_EQ(FindDriverRegistryFile(platform_), "rel/drivers.ini");
}

TEST_F(RegistryFiles, BadSettingsRaiseNamingTheValue) {
  settings_["Driver Registry File"] = Setting(SettingValue::Kind::kOtherType, "42");
  settings_["Connection Registry File"] = Setting(SettingValue::Kind::kUnreadable);
  try {
    FindDriverRegistryFile(platform_);
    FAIL() << "no exception";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(), "Invalid data type for 'Driver Registry File'");
  }
  try {
    FindConnectionRegistryFile(platform_);
    FAIL() << "no exception";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(), "Failed to get data for 'Connection Registry File'");
  }
}

TEST_F(RegistryFiles, WrongTypeAtConstructionIsSwallowedAndLaterReportedAsMissingFile) {
  settings_["Connection Registry File"] = Setting(SettingValue::Kind::kOtherType);
  TSQLConnection connection(nullptr, platform_);
  EXPECT_EQ(connection.ConnectionRegistryPath(), "");
  connection.SetConnectionName("IBConnection");
  connection.Params().SetValue("Database", "/kept");
  try {
    connection.FillParamsFromFile();
    FAIL() << "no exception";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Driver/Connection Registry File '' not found");
  }
  EXPECT_EQ(connection.Params().Lines(), Lines{"Database=/kept"});
  EXPECT_FALSE(connection.ParamsFromFile());
}

TEST_F(RegistryFiles, GettersFallBackOnTheDriverFileOnlyWithLoadParamsOnConnect) {
  settings_["Driver Registry File"] = Setting(
      SettingValue::Kind::kString,
      WriteTestFile("drivers.ini", "[Interbase]\nVendorLib =  libclient.so \nLibraryName= libdrv.so\n"));
  TSQLConnection connection(nullptr, platform_);
  connection.SetDriverName("Interbase");
  platform_.ResetCounts();
  EXPECT_EQ(connection.VendorLib(), "");
  EXPECT_EQ(connection.LibraryName(), "");
  EXPECT_EQ(platform_.Calls(PlatformCall::kFileExists), 0);
  EXPECT_EQ(platform_.Calls(PlatformCall::kReadFile), 0);
  EXPECT_EQ(platform_.Calls(PlatformCall::kReadSetting), 0);

  connection.SetLoadParamsOnConnect(true);
  EXPECT_EQ(connection.VendorLib(), "libclient.so");
  EXPECT_EQ(connection.LibraryName(), "libdrv.so");
  // The path is looked up once; the file is read at every use; nothing is stored.
  EXPECT_EQ(platform_.Calls(PlatformCall::kReadSetting), 1);
  EXPECT_EQ(platform_.Calls(PlatformCall::kReadFile), 2);
  connection.SetLoadParamsOnConnect(false);
  EXPECT_EQ(connection.VendorLib(), "");
}

TEST_F(RegistryFiles, WrongTypeDriverSettingRaisesFromTheGetterUntilMended) {
  settings_["Driver Registry File"] = Setting(SettingValue::Kind::kOtherType);
  TSQLConnection connection(nullptr, platform_);
  connection.SetDriverName("Interbase");
  connection.SetLoadParamsOnConnect(true);
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      connection.VendorLib();
      FAIL() << "no exception";
    } catch (const ERegistryException& e) {
      EXPECT_EQ(e.Message(), "Invalid data type for 'Driver Registry File'");
    }
  }
  settings_["Driver Registry File"] =
      Setting(SettingValue::Kind::kString, WriteTestFile("d.ini", "[interbase]\nVendorLib=\n"));
  // "VendorLib=" reads like a missing key.
  EXPECT_EQ(connection.VendorLib(), "");
  EXPECT_EQ(connection.ResolveDriverRegistryPath(), dir_ + "/d.ini");
}

TEST_F(RegistryFiles, ValuesAreReadAfreshAndAMissingFileReadsEmpty) {
  std::string path = WriteTestFile("c.ini", "[S]\nKey=old\n");
  EXPECT_EQ(ReadRegistryFileValue(platform_, "s", "key", path), "old");
  WriteTestFile("c.ini", "[S]\nKey=new\n");
  EXPECT_EQ(ReadRegistryFileValue(platform_, "s", "key", path), "new");
  EXPECT_EQ(ReadRegistryFileValue(platform_, "S", "Key", dir_ + "/absent.ini"), "");
  EXPECT_EQ(ReadRegistryFileValue(platform_, "S", "Key", dir_), "");  // a directory
  EXPECT_EQ(ReadRegistryFileValue(platform_, "S", "Key", ""), "");
}

TEST_F(RegistryFiles, AnExistingFileThatCannotBeReadRaisesOpenError) {
  std::string path = WriteTestFile("c.ini", "[S]\nKey=v\n");
  platform_.FailNth(PlatformCall::kReadFile, 1, EACCES);
  try {
    ReadRegistryFileValue(platform_, "S", "Key", path);
    FAIL() << "no exception";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file \"" + path + "\". Permission denied");
  }
}

class FillParams : public RegistryFiles {
 protected:
  void UseConnectionFile(const std::string& content) {
    settings_["Connection Registry File"] =
        Setting(SettingValue::Kind::kString, WriteTestFile("conn.ini", content));
  }
};

TEST_F(FillParams, ReplacesParamsWithTheSectionOnceUntilTheNameChanges) {
  UseConnectionFile(
      "[IBConnection]\nDriverName=Interbase\nDatabase = /old.fdb\n"
      "[Other]\nDatabase=/other.fdb\n"
      "[ibconnection]\nDriverName = Interbase\n Database= /db.fdb \nUser_Name=SYSDBA\n");
  TSQLConnection connection(nullptr, platform_);
  connection.SetConnectionName("IBConnection");
  connection.Params().SetValue("Password", "written in code");
  connection.FillParamsFromFile();
  EXPECT_EQ(connection.Params().Lines(),
            (Lines{"DriverName=Interbase", "Database=/db.fdb", "User_Name=SYSDBA"}));
  EXPECT_TRUE(connection.ParamsFromFile());

  // Loaded once: a second fill neither reads the file nor touches Params.
  connection.Params().SetValue("Database", "/changed");
  platform_.ResetCounts();
  connection.FillParamsFromFile();
  EXPECT_EQ(platform_.Calls(PlatformCall::kFileExists), 0);
  EXPECT_EQ(connection.Params().Values("Database"), "/changed");

  connection.SetConnectionName("Other");
  connection.FillParamsFromFile();
  EXPECT_EQ(connection.Params().Lines(), Lines{"Database=/other.fdb"});

  // A missing section gives no lines and no error.
  connection.SetConnectionName("Elsewhere");
  connection.FillParamsFromFile();
  EXPECT_EQ(connection.Params().Count(), 0);
  EXPECT_TRUE(connection.ParamsFromFile());
}

TEST_F(FillParams, MissingNameRaisesBeforeAnyFileIsTouched) {
  UseConnectionFile("[IBConnection]\nDatabase=/db.fdb\n");
  TSQLConnection connection(nullptr, platform_);
  connection.SetName("Named");  // the message names no component
  platform_.ResetCounts();
  try {
    connection.FillParamsFromFile();
    FAIL() << "no exception";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Connection name missing");
  }
  EXPECT_EQ(platform_.Calls(PlatformCall::kFileExists), 0);
  EXPECT_EQ(platform_.Calls(PlatformCall::kReadFile), 0);
}

TEST_F(FillParams, MissingOrUnreadableFileLeavesParamsAsTheyWere) {
  settings_["Connection Registry File"] =
      Setting(SettingValue::Kind::kString, dir_ + "/absent.ini");
  TSQLConnection connection(nullptr, platform_);
  connection.SetName("Named");
  connection.SetConnectionName("IBConnection");
  connection.Params().SetValue("Database", "/kept");
  try {
    connection.FillParamsFromFile();
    FAIL() << "no exception";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Driver/Connection Registry File '" + dir_ + "/absent.ini' not found");
  }

  UseConnectionFile("[IBConnection]\nDatabase=/db.fdb\n");
  TSQLConnection readable(nullptr, platform_);
  readable.SetConnectionName("IBConnection");
  readable.Params().SetValue("Database", "/kept");
  platform_.FailNth(PlatformCall::kReadFile, 1, EIO);
  EXPECT_THROW(readable.FillParamsFromFile(), EFOpenError);
  EXPECT_EQ(readable.Params().Lines(), Lines{"Database=/kept"});
  EXPECT_FALSE(readable.ParamsFromFile());
}

// Opening with LoadParamsOnConnect, on the fake driver: Params and the four
// names come from the files, whatever the component held.
class OpenFromFiles : public FillParams {
 protected:
  void SetUp() override {
    FillParams::SetUp();
    fakedrv::Reset();
    fakedrv::UseFakeDriver(platform_);
    settings_["Driver Registry File"] = Setting(
        SettingValue::Kind::kString,
        WriteTestFile("drivers.ini", "[Interbase]\nLibraryName=libfbdrv.so\n"
                                     "VendorLib= libvendor.so \nGetDriverFunc=getSQLDriverINTERBASE\n"));
    UseConnectionFile(
        "[IBConnection]\nDriverName=Interbase\nDatabase=/data/f.fdb\nUser_Name=U\nPassword=P\n"
        "Interbase TransIsolation=RepeatableRead\n"
        "[NoDriver]\nDatabase=/data/f.fdb\n");
  }
  void TearDown() override {
    FillParams::TearDown();
    EXPECT_EQ(fakedrv::LiveTotal(), 0);
  }
};

TEST_F(OpenFromFiles, TheFourNamesAreOverwrittenFromTheFiles) {
  TSQLConnection connection(nullptr, platform_);
  connection.SetConnectionName("IBConnection");
  connection.SetDriverName("Wrong");
  connection.SetLibraryName("libwrong.so");
  connection.SetVendorLib("libwrongvendor.so");
  connection.SetGetDriverFunc("wrongEntry");
  connection.SetLoginPrompt(false);
  connection.SetLoadParamsOnConnect(true);
  connection.Params().SetValue("Database", "/data/code.fdb");

  connection.SetConnected(true);
  EXPECT_EQ(connection.DriverName(), "Interbase");
  EXPECT_EQ(connection.LibraryName(), "libfbdrv.so");
  EXPECT_EQ(connection.VendorLib(), "libvendor.so");
  EXPECT_EQ(connection.GetDriverFunc(), fakedrv::kEntryName);
  const Lines log = fakedrv::Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), std::string(fakedrv::kEntryName) + " vendor=libvendor.so errors=");
  EXPECT_THAT(log, ::testing::Contains("AttachDatabase db=/data/f.fdb user=U password=P"));
  // The isolation key is spelled with the driver name read from the file.
  EXPECT_THAT(log, ::testing::Contains("SetConnectionOption coTransIsolation=1"));
  connection.SetConnected(false);
}

TEST_F(OpenFromFiles, MissingDriverNameFailsBeforeAnythingIsLoaded) {
  struct Row {
    const char* name;
    bool load_params_on_connect;
    const char* connection_name;
    const char* driver_name;
  };
  // A section without "DriverName" empties the name the component held.
  const Row rows[] = {
      {"no driver name set", false, "IBConnection", ""},
      {"section without DriverName", true, "NoDriver", "Interbase"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TSQLConnection connection(nullptr, platform_);
    connection.SetName("Conn1");  // the message names no component
    connection.SetConnectionName(row.connection_name);
    connection.SetDriverName(row.driver_name);
    connection.SetLibraryName("libfbdrv.so");
    connection.SetVendorLib("libfbclient.so.2");
    connection.Params().SetValue("Database", "/data/code.fdb");
    connection.SetLoadParamsOnConnect(row.load_params_on_connect);
    platform_.ResetCounts();
    try {
      connection.SetConnected(true);
      ADD_FAILURE() << "the open succeeded";
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), "Missing DriverName property");
    }
    EXPECT_EQ(connection.DriverName(), "");
    EXPECT_EQ(connection.State(), connClosed);
    EXPECT_EQ(platform_.Calls(PlatformCall::kLoadLibrary), 0);
  }
}

}  // namespace
}  // namespace tolvane
