// Every platform call the runner makes, failed in turn: the N-th call of each
// kind, N from 1 until a run no longer reaches an N-th call. Each run must
// end with "ok" or one of the texts a caller can act on, run no line after a
// failure file that could not be written, keep the failure files written
// before, and leave no driver object or attachment behind.
#include <cerrno>
#include <cstring>
#include <set>

#include "FaultTestSupport.h"

namespace tolvane::testing::faults {
namespace {

using testing::PlatformCall;
namespace fs = std::filesystem;

const std::vector<std::string> kLines = {"first", "bad one", "fine", "bad three", "last"};

std::string Script() {
  std::string script;
  for (const std::string& line : kLines) script += line + "\r\n";
  return script;
}

class FaultSweepTest : public ScriptRunFixture {
 protected:
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

  void CheckRun(const std::string& result) {
    const std::vector<std::string> executed = Executed();
    const int failed_line = FailedFileLine(result);
    static const std::set<std::string> kOpenFailures = {
        "Unable to Load libfbdrv.so   -    ",
        "Unable to Find Procedure getSQLDriverINTERBASE   -    ",
        "Out of memory   -    ",
    };
    if (result == "ok") {
      EXPECT_EQ(executed, kLines);
      EXPECT_EQ(ReadFile(FailurePath(1)), FailureRecord(kLines[1]));
      EXPECT_EQ(ReadFile(FailurePath(3)), FailureRecord(kLines[3]));
    } else if (failed_line >= 0) {
      const std::vector<std::string> expected(kLines.begin(), kLines.begin() + failed_line + 1);
      EXPECT_EQ(executed, expected) << "lines after the failed write ran";
      if (failed_line == 3) {
        EXPECT_EQ(ReadFile(FailurePath(1)), FailureRecord(kLines[1]));
      }
    } else {
      EXPECT_TRUE(kOpenFailures.count(result)) << "unexpected result: " << result;
      EXPECT_TRUE(executed.empty());
      EXPECT_FALSE(fs::exists(FailurePath(1)));
    }
    EXPECT_EQ(LogHas("AttachDatabase"), LogHas("DetachDatabase")) << "attachment left open";
    EXPECT_EQ(fakedrv::LiveTotal(), 0);
  }
};

TEST_F(FaultSweepTest, EveryNthCallOfEveryKindFailsCleanly) {
  const PlatformCall kinds[] = {
      PlatformCall::kCreateFile,  PlatformCall::kWriteFile,      PlatformCall::kFileExists,
      PlatformCall::kReadFile,    PlatformCall::kReadSetting,    PlatformCall::kExecutablePath,
      PlatformCall::kLoadLibrary, PlatformCall::kFindSymbol,     PlatformCall::kAllocate,
  };
  int faults_hit = 0;
  for (PlatformCall kind : kinds) {
    for (int n = 1; n < 100; ++n) {
      SCOPED_TRACE("call kind " + std::to_string(static_cast<int>(kind)) + ", failing call " +
                   std::to_string(n));
      for (const auto& entry : fs::directory_iterator(folder_)) fs::remove_all(entry.path());
      fakedrv::Reset();
      RefuseBadLines();
      platform_.ResetCounts();
      platform_.FailNth(kind, n, EIO);

      const std::string result = Run(Script());
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
  EXPECT_GE(faults_hit, 7);
  RecordProperty("faults_hit", faults_hit);
}

}  // namespace
}  // namespace tolvane::testing::faults
