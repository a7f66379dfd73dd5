// Ten thousand runs in one process, as a long-lived server makes them: the
// resident memory and the open file descriptors stay flat, whether the runs
// end with "ok" or with an error text.
#include <dirent.h>
#include <unistd.h>

#include <fstream>

#include "FaultTestSupport.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TOLVANE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TOLVANE_SANITIZED 1
#endif
#endif

namespace tolvane::testing::faults {
namespace {

long ResidentBytes() {
  long size = 0;
  long resident = 0;
  std::ifstream("/proc/self/statm") >> size >> resident;
  return resident * ::sysconf(_SC_PAGESIZE);
}

int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (const dirent* entry = ::readdir(dir))
      if (entry->d_name[0] != '.') ++count;
    ::closedir(dir);
  }
  return count;
}

class RepeatedRunsTest : public ScriptRunFixture {
 protected:
  // Even runs succeed, writing a failure file and running a SELECT on a
  // clone; odd runs end early because the failure folder is missing.
  int RunSeries(int runs) {
    int wrong = 0;
    for (int i = 0; i < runs; ++i) {
      fakedrv::ClearLog();
      const bool fail = i % 2 == 1;
      SetFailureFolder(fail ? folder_ + "/missing" : folder_);
      const std::string result = Run("insert into t values (1)\r\nbad line\r\nselect 1 from t\r\n");
      if (result != (fail ? "Cannot create file \"" + folder_ + "/missing/TESTE1.TXT\". " +
                                "No such file or directory   -    bad line"
                          : std::string("ok")))
        ++wrong;
    }
    return wrong;
  }
};

TEST_F(RepeatedRunsTest, TenThousandRunsKeepMemoryAndDescriptorsFlat) {
  // On a disk file system each replaced failure file is flushed (about a
  // millisecond); memory keeps the series short where there is a tmpfs.
  const std::string in_memory = MakeTempFolder("/dev/shm/tolvane_runs");
  if (!in_memory.empty()) {
    std::filesystem::remove_all(folder_);
    folder_ = in_memory;
  }
  RefuseBadLines();
  fakedrv::ThreadSettings().max_active_statements = 1;

  ASSERT_EQ(RunSeries(1000), 0);  // warm-up: allocator pools, the library load
  const long memory_before = ResidentBytes();
  const int descriptors_before = OpenDescriptors();

  ASSERT_EQ(RunSeries(9000), 0);
  const long growth = ResidentBytes() - memory_before;
  EXPECT_EQ(OpenDescriptors(), descriptors_before);
  EXPECT_EQ(fakedrv::LiveTotal(), 0);
  RecordProperty("resident_growth_bytes", static_cast<int>(growth));
#ifndef TOLVANE_SANITIZED
  // Sanitizers hold freed memory back on purpose; their own leak check
  // covers those builds.
  EXPECT_LT(growth, 2 * 1024 * 1024) << "resident memory grew by " << growth << " bytes";
#endif
}

}  // namespace
}  // namespace tolvane::testing::faults
