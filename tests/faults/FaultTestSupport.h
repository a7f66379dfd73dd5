// What the fault tests share: a run of the script runner on the fake driver
// with its own failure folder, and readers for what a run left behind.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "FakeDriverSetup.h"
#include "script_runner/ScriptBlob.h"

namespace tolvane::testing::faults {

inline constexpr const char* kDatabase = "/data/faults.fdb";
inline constexpr const char* kExecutePrefix = "ExecuteSqlText sql=";

// A new folder; a relative stem is taken in the temporary folder.
inline std::string MakeTempFolder(const char* stem) {
  std::string pattern = (std::filesystem::temp_directory_path() / stem).string() + "_XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return std::string();
  return pattern;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The texts that reached the driver on this thread, in order.
inline std::vector<std::string> Executed() {
  std::vector<std::string> sql;
  for (const std::string& line : fakedrv::Log())
    if (line.rfind(kExecutePrefix, 0) == 0) sql.push_back(line.substr(std::string(kExecutePrefix).size()));
  return sql;
}

inline bool LogHas(const std::string& prefix) {
  for (const std::string& line : fakedrv::Log())
    if (line.rfind(prefix, 0) == 0) return true;
  return false;
}

// One failure-file line as the runner writes it.
inline std::string FailureRecord(const std::string& line) {
  return line + " - " + kDatabase + "\r\n";
}

class ScriptRunFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    fakedrv::Reset();
    fakedrv::UseFakeDriver(platform_);
    folder_ = MakeTempFolder("tolvane_faults");
    ASSERT_FALSE(folder_.empty());
    SetFailureFolder(folder_);
  }
  void TearDown() override {
    EXPECT_EQ(fakedrv::LiveTotal(), 0) << "a driver object outlived the run";
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  void SetFailureFolder(const std::string& folder) {
    platform_.get_environment = [folder](const std::string& name) {
      return name == "UDFTOLVANE_FAILURE_DIR" ? folder : std::string();
    };
  }

  // Lines starting with "bad" are refused by the driver.
  void RefuseBadLines() { fakedrv::FailCall(std::string(kExecutePrefix) + "bad", 0, 65, "refused"); }

  std::string Run(const std::string& script) {
    testing::ScriptBlob blob(script);
    return RunScript(platform_, blob.Callback(), kDatabase);
  }

  std::string FailurePath(int index) const {
    return folder_ + "/TESTE" + std::to_string(index) + ".TXT";
  }

  testing::FakePlatform platform_;
  std::string folder_;
};

}  // namespace tolvane::testing::faults
