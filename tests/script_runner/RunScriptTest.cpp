// Whole runs of the script runner against the scripted fake driver: what
// reaches the driver, the failure files, the result text, bad arguments,
// and that every driver object is gone when a run returns.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "FakeDriverSetup.h"
#include "ScriptBlob.h"

namespace tolvane {
namespace {

using ::testing::ElementsAreArray;
using tolvane::testing::FakePlatform;
using tolvane::testing::PlatformCall;
using tolvane::testing::ScriptBlob;
namespace fs = std::filesystem;

class RunScriptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fakedrv::Reset();
    fakedrv::UseFakeDriver(platform_);
    std::string pattern = fs::temp_directory_path() / "opener_runs_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    failure_dir_ = pattern;
    SetFailureFolder(failure_dir_);
  }
  void TearDown() override {
    EXPECT_EQ(fakedrv::LiveTotal(), 0) << "a driver reference outlived the run";
    fs::remove_all(failure_dir_);
  }

  void SetFailureFolder(const std::string& folder) {
    platform_.get_environment = [folder](const std::string& name) {
      return name == "UDFTOLVANE_FAILURE_DIR" ? folder : std::string();
    };
  }

  std::string Run(const std::string& script, const char* path = "/data/x.fdb",
                  std::size_t segment = 0) {
    ScriptBlob blob(script, segment);
    return RunScript(platform_, blob.Callback(), path);
  }

  // The texts that reached ExecuteSqlText, in order.
  static std::vector<std::string> Executed() {
    std::vector<std::string> sql;
    const std::string prefix = "ExecuteSqlText sql=";
    for (const std::string& line : fakedrv::Log())
      if (line.rfind(prefix, 0) == 0) sql.push_back(line.substr(prefix.size()));
    return sql;
  }

  // Name and exact bytes of every file in the failure folder.
  std::map<std::string, std::string> FailureFiles() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(failure_dir_)) {
      std::ifstream in(entry.path(), std::ios::binary);
      std::stringstream bytes;
      bytes << in.rdbuf();
      files[entry.path().filename()] = bytes.str();
    }
    return files;
  }

  FakePlatform platform_;
  std::string failure_dir_;
};

TEST_F(RunScriptTest, EmptyScriptOpensAndClosesWithExactlyTheRunnersCalls) {
  std::vector<std::string> loaded;
  platform_.load_library = [&loaded](const std::string& name) {
    loaded.push_back(name);
    return DefaultPlatform().LoadLibrary(fakedrv::kLibraryPath, nullptr);
  };
  EXPECT_STREQ(RunScript(platform_, ScriptBlob("").Callback(), "/data/x.fdb"), "ok");

  EXPECT_THAT(loaded, ElementsAreArray({"libfbdrv.so"}));
  std::vector<std::string> expected = fakedrv::RunnerOpenCalls("/data/x.fdb");
  for (const std::string& line : fakedrv::CloseCalls()) expected.push_back(line);
  EXPECT_THAT(fakedrv::Log(), ElementsAreArray(expected));
}

TEST_F(RunScriptTest, EverySegmentSizeGivesTheSameScript) {
  // Longer than the largest segment the runner asks for.
  std::string script;
  for (int i = 0; script.size() < 70000; ++i)
    script += "insert into t values (" + std::to_string(i) + ")\r\n";
  script += "select count(*) from t";

  EXPECT_EQ(Run(script, "/data/x.fdb", 0), "ok");
  const std::vector<std::string> whole = Executed();
  ASSERT_GT(whole.size(), 2000u);
  EXPECT_EQ(whole.back(), "select count(*) from t");
  for (std::size_t segment : {1u, 7u, 65535u}) {
    fakedrv::ClearLog();
    EXPECT_EQ(Run(script, "/data/x.fdb", segment), "ok");
    EXPECT_EQ(Executed(), whole) << "segment size " << segment;
  }
}

TEST_F(RunScriptTest, LineBreaksAndAZeroByteShapeTheLines) {
  EXPECT_EQ(Run("A\r\n\r\nB"), "ok");
  EXPECT_THAT(Executed(), ElementsAreArray({"A", "B"}));

  fakedrv::ClearLog();
  EXPECT_EQ(Run(std::string("A\nB\0C\nD", 7)), "ok");
  EXPECT_THAT(Executed(), ElementsAreArray({"A", "B"}));

  fakedrv::ClearLog();
  EXPECT_EQ(Run("   \n\t"), "ok");
  EXPECT_THAT(Executed(), ElementsAreArray({"   ", "\t"}));
}

TEST_F(RunScriptTest, FailingLineLeavesOneFileWithExactBytesAndTheRunGoesOn) {
  fakedrv::FailCall("ExecuteSqlText sql=bad line", 0, 65, "Token unknown");
  EXPECT_EQ(Run("insert into t values (1)\r\nbad line\r\nupdate t set a = 2"), "ok");
  EXPECT_THAT(Executed(),
              ElementsAreArray({"insert into t values (1)", "bad line", "update t set a = 2"}));
  EXPECT_THAT(FailureFiles(), ElementsAreArray({std::pair<const std::string, std::string>(
                                  "TESTE1.TXT", "bad line - /data/x.fdb\r\n")}));
}

TEST_F(RunScriptTest, FailureFileIndexCountsEmptyLines) {
  fakedrv::FailCall("ExecuteSqlText sql=B", 0, 65);
  EXPECT_EQ(Run("A\r\n\r\nB"), "ok");
  EXPECT_EQ(FailureFiles().count("TESTE2.TXT"), 1u);
}

TEST_F(RunScriptTest, UnwritableFailureFolderEndsTheRunAtTheFailedLine) {
  SetFailureFolder(failure_dir_ + "/missing");
  fakedrv::FailCall("ExecuteSqlText sql=bad line", 0, 65);
  EXPECT_EQ(Run("first\nbad line\nlast"),
            "Cannot create file \"" + failure_dir_ +
                "/missing/TESTE1.TXT\". No such file or directory   -    bad line");
  EXPECT_THAT(Executed(), ElementsAreArray({"first", "bad line"}));
}

TEST_F(RunScriptTest, EmptyOrNullPathFailsTheOpenBeforeAnyDriverCall) {
  EXPECT_EQ(Run("select 1 from t", ""), "Missing Database property   -    ");
  EXPECT_EQ(Run("select 1 from t", nullptr), "Missing Database property   -    ");
  EXPECT_TRUE(fakedrv::Log().empty());
  EXPECT_EQ(platform_.Calls(PlatformCall::kLoadLibrary), 0);
}

TEST_F(RunScriptTest, FailedOpenGivesTheDriverErrorAndRunsNoLine) {
  fakedrv::FailCall("AttachDatabase", 1, 21, "unavailable database");
  EXPECT_EQ(Run("select 1 from t"),
            "Driver Error: [0x0015]: Connection failed\r\nSQL Server Error: unavailable "
            "database   -    ");
  EXPECT_TRUE(Executed().empty());
  EXPECT_TRUE(FailureFiles().empty());
}

TEST_F(RunScriptTest, BadBlobArgumentsReadAsAnEmptyScript) {
  EXPECT_STREQ(RunScript(platform_, nullptr, "/data/x.fdb"), "ok");

  ScriptBlob no_handle("select 1 from t");
  no_handle.Callback()->blob_handle = nullptr;
  EXPECT_STREQ(RunScript(platform_, no_handle.Callback(), "/data/x.fdb"), "ok");

  ScriptBlob negative("select 1 from t");
  negative.Callback()->blob_total_length = -5;
  EXPECT_STREQ(RunScript(platform_, negative.Callback(), "/data/x.fdb"), "ok");
  EXPECT_EQ(negative.Calls(), 0);
  EXPECT_TRUE(Executed().empty());
}

TEST_F(RunScriptTest, FailedAllocationGivesAnErrorText) {
  platform_.FailNth(PlatformCall::kAllocate, 1);
  EXPECT_EQ(Run("select 1 from t"), "Out of memory   -    ");
  EXPECT_TRUE(fakedrv::Log().empty());
}

TEST_F(RunScriptTest, CloseErrorAtTheEndIsTheRunsResultAndNothingLeaks) {
  fakedrv::FailCall("SetConnectionOption coTraceCallback", 1, 4);
  EXPECT_EQ(Run("insert into t values (1)\nupdate t set a = 2"),
            "Driver Error: [0x0004]: Invalid Handle   -    update t set a = 2");
  // TearDown: every driver object was released all the same.
}

TEST_F(RunScriptTest, SelectsOnADriverWithOneActiveStatementRunOnClonesClosedWithTheRun) {
  fakedrv::ThreadSettings().max_active_statements = 1;
  EXPECT_EQ(Run("select 1 from t\ninsert into t values (1)\nselect 2 from t"), "ok");
  int attached = 0;
  int detached = 0;
  for (const std::string& line : fakedrv::Log()) {
    if (line.rfind("AttachDatabase", 0) == 0) ++attached;
    if (line.rfind("DetachDatabase", 0) == 0) ++detached;
  }
  EXPECT_EQ(attached, 3);
  EXPECT_EQ(detached, 3);
}

}  // namespace
}  // namespace tolvane
