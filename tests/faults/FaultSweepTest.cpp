// Every platform call the runner makes, and every question it asks of the
// server's configuration, failed in turn: the N-th call of each
// kind, N from 1 until a run no longer reaches an N-th call. Each run must
// end with "ok" or one of the texts a caller can act on, run no line after a
// failure file that could not be written, keep the failure files written
// before, and leave no driver object or attachment behind. Two runs are
// swept: a plain one (no configuration file) and one whose configuration
// reaches every other operation of the platform (target rules, the server's
// folders and settings, a run log).
#include <cerrno>
#include <cstring>
#include <set>

#include "FaultTestSupport.h"

namespace tolvane::testing::faults {
namespace {

using testing::PlatformCall;
namespace fs = std::filesystem;

const std::vector<std::string> kLines = {"first", "bad one", "fine", "bad three", "last"};

const PlatformCall kEveryKind[] = {
    PlatformCall::kCreateFile,       PlatformCall::kWriteFile,     PlatformCall::kFileExists,
    PlatformCall::kReadFile,         PlatformCall::kReadSetting,   PlatformCall::kExecutablePath,
    PlatformCall::kLoadLibrary,      PlatformCall::kFindSymbol,    PlatformCall::kAllocate,
    PlatformCall::kCreateNewFile,    PlatformCall::kReadFileFacts, PlatformCall::kRealPath,
    PlatformCall::kModuleFolder,     PlatformCall::kFirebirdDirectory,
    PlatformCall::kFirebirdSetting,  PlatformCall::kProcessId,     PlatformCall::kFirebirdNumber,
    PlatformCall::kFindLoadedSymbol, PlatformCall::kReadLinkFacts, PlatformCall::kOpenForReading,
    PlatformCall::kReadAt,           PlatformCall::kOpenForAppend, PlatformCall::kCreateFolder,
};

// The kinds a configured run must reach at least once: a sweep that never
// calls one proves nothing about it.
const PlatformCall kConfiguredRunReaches[] = {
    PlatformCall::kCreateFile,    PlatformCall::kWriteFile,        PlatformCall::kReadFile,
    PlatformCall::kLoadLibrary,   PlatformCall::kFindSymbol,       PlatformCall::kAllocate,
    PlatformCall::kCreateNewFile, PlatformCall::kReadFileFacts,    PlatformCall::kRealPath,
    PlatformCall::kModuleFolder,  PlatformCall::kFirebirdDirectory, PlatformCall::kFirebirdSetting,
    PlatformCall::kProcessId,
};

std::string Script() {
  std::string script;
  for (const std::string& line : kLines) script += line + "\r\n";
  return script;
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

class FaultSweepTest : public ScriptRunFixture, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    ScriptRunFixture::SetUp();
    database_ = kDatabase;
    if (GetParam()) Configure();
  }
  void TearDown() override {
    ScriptRunFixture::TearDown();
    std::error_code ignored;
    if (!setup_.empty()) fs::remove_all(setup_, ignored);
  }

  // A module folder with udftolvane.conf (target rules that resolve paths and
  // ask for the server's security database, a run log), and a server whose
  // folders hold firebird.conf and databases.conf.
  void Configure() {
    // Not under the system's temporary folder: a folder others can write
    // on the way refuses every configuration file below it.
    setup_ = MakeTempFolder((std::filesystem::current_path() / "tolvane_sweep_setup").c_str());
    ASSERT_FALSE(setup_.empty());
    const fs::path root = setup_;
    for (const char* folder : {"module", "server", "data", "logs"}) fs::create_directory(root / folder);
    WriteText(root / "server" / "firebird.conf", "");
    WriteText(root / "server" / "databases.conf", "sweep = " + (root / "data" / "sweep.fdb").string() + "\n");
    WriteText(root / "module" / "udftolvane.conf",
              "allowed_databases = " + (root / "data").string() + "/ ; sweep\n"
              "deny_security_database = yes\n"
              "run_log_dir = " + (root / "logs").string() + "\n");
    platform_.module_folder = [root] { return (root / "module").string(); };
    platform_.firebird_directory = [root](FirebirdFolder) { return (root / "server").string(); };
    platform_.firebird_setting = [root](const std::string& name) {
      return name == "SecurityDatabase" ? (root / "server" / "security.fdb").string() : std::string();
    };
    database_ = (root / "data" / "faults.fdb").string();
    // Targets are admitted as files: the database must exist.
    WriteText(database_, "");
  }

  std::string RunOnce() {
    testing::ScriptBlob blob(Script());
    return RunScript(platform_, platform_, blob.Callback(), database_.c_str());
  }

  std::string Record(const std::string& line) const { return line + " - " + database_ + "\r\n"; }

  // The line index whose failure file the result names; -1 for none.
  int FailedFileLine(const std::string& result) {
    for (int index : {1, 3}) {
      const std::string line = kLines[index];
      if (result == "Cannot create file \"" + FailurePath(index) + "\". " + std::strerror(EIO) +
                        "   -    " + line ||
          result == "Stream write error   -    " + line)
        return index;
    }
    return -1;
  }

  // A run stopped before its first line, with a text saying why.
  static bool RefusedBeforeTheRun(const std::string& result) {
    static const std::set<std::string> kOpenFailures = {
        "Unable to Load libfbdrv.so   -    ",
        "Unable to Find Procedure getSQLDriverINTERBASE   -    ",
        "Out of memory   -    ",
    };
    return kOpenFailures.count(result) > 0 || result.rfind("Run refused: ", 0) == 0 ||
           result.rfind("Configuration ", 0) == 0;
  }

  // The script's statements the driver ran: a configured run first confirms
  // the file it opened, which is not a line of the script.
  static std::vector<std::string> ScriptExecuted() {
    std::vector<std::string> executed = Executed();
    if (!executed.empty() && executed.front().find("RDB$GET_CONTEXT('SYSTEM', 'DB_NAME')") != std::string::npos)
      executed.erase(executed.begin());
    return executed;
  }

  void CheckRun(const std::string& result) {
    const std::vector<std::string> executed = ScriptExecuted();
    const int failed_line = FailedFileLine(result);
    if (result == "ok") {
      EXPECT_EQ(executed, kLines);
      EXPECT_EQ(ReadFile(FailurePath(1)), Record(kLines[1]));
      EXPECT_EQ(ReadFile(FailurePath(3)), Record(kLines[3]));
    } else if (failed_line >= 0) {
      const std::vector<std::string> expected(kLines.begin(), kLines.begin() + failed_line + 1);
      EXPECT_EQ(executed, expected) << "lines after the failed write ran";
      if (failed_line == 3) {
        EXPECT_EQ(ReadFile(FailurePath(1)), Record(kLines[1]));
      }
    } else {
      EXPECT_TRUE(RefusedBeforeTheRun(result)) << "unexpected result: " << result;
      EXPECT_TRUE(executed.empty());
      EXPECT_FALSE(fs::exists(FailurePath(1)));
    }
    EXPECT_EQ(LogHas("AttachDatabase"), LogHas("DetachDatabase")) << "attachment left open";
    EXPECT_EQ(fakedrv::LiveTotal(), 0);
  }

  void StartRun() {
    for (const auto& entry : fs::directory_iterator(folder_)) fs::remove_all(entry.path());
    fakedrv::Reset();
    RefuseBadLines();
    platform_.ResetCounts();
  }

  std::string database_;
  std::string setup_;
};

TEST_P(FaultSweepTest, EveryNthCallOfEveryKindFailsCleanly) {
  if (GetParam()) {
    // Without faults the configured run passes, and reaches every kind it
    // is meant to sweep.
    StartRun();
    ASSERT_EQ(RunOnce(), "ok");
    CheckRun("ok");
    for (PlatformCall kind : kConfiguredRunReaches)
      EXPECT_GT(platform_.Calls(kind), 0) << "call kind " << static_cast<int>(kind) << " never reached";
  }
  int faults_hit = 0;
  for (PlatformCall kind : kEveryKind) {
    for (int n = 1; n < 100; ++n) {
      SCOPED_TRACE("call kind " + std::to_string(static_cast<int>(kind)) + ", failing call " +
                   std::to_string(n));
      StartRun();
      platform_.FailNth(kind, n, EIO);

      const std::string result = RunOnce();
      CheckRun(result);
      const bool hit = platform_.Calls(kind) >= n;
      platform_.FailNth(kind, 0);
      if (!hit) {
        EXPECT_EQ(result, "ok");
        break;
      }
      ++faults_hit;
    }
  }
  // Creating and writing the two files, loading, finding and allocating at
  // least: a sweep that hit fewer faults did not reach the runner's calls.
  EXPECT_GE(faults_hit, GetParam() ? 20 : 7);
  RecordProperty("faults_hit", faults_hit);
}

INSTANTIATE_TEST_SUITE_P(Runs, FaultSweepTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& run) {
                           return run.param ? std::string("Configured") : std::string("Plain");
                         });

}  // namespace
}  // namespace tolvane::testing::faults
