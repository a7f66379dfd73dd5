// Many threads running scripts at once, each on its own connection through
// the same fake driver library. Kept apart so that it can run under the
// thread sanitizer build on its own (--gtest_filter='ConcurrencyTest.*').
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "FakeDriverSetup.h"
#include "ScriptBlob.h"

namespace tolvane {
namespace {

constexpr int kThreads = 16;
constexpr int kRunsPerThread = 200;

// Every run's result and driver calls are checked on the thread that made
// them; a failed open every fifth run checks that each thread's error text
// stays its own until its next run.
int FaultsOnThread(int thread_index) {
  fakedrv::Reset();
  testing::FakePlatform platform;
  fakedrv::UseFakeDriver(platform);
  const std::string database = "/data/thread" + std::to_string(thread_index) + ".fdb";
  const std::string statement = "insert into t" + std::to_string(thread_index) + " values (1)";
  const std::string refusal = "refused for thread " + std::to_string(thread_index);

  int faults = 0;
  for (int run = 0; run < kRunsPerThread; ++run) {
    fakedrv::ClearLog();
    const bool fail_open = run % 5 == 4;
    if (fail_open) fakedrv::FailCall("AttachDatabase", 1, 21, refusal);
    testing::ScriptBlob blob(statement + "\r\nselect 1 from t\r\n");
    const char* result = RunScript(platform, blob.Callback(), database.c_str());

    // Let the other threads run before this result is read.
    std::this_thread::yield();
    const std::string expected =
        fail_open ? "Driver Error: [0x0015]: Connection failed\r\nSQL Server Error: " + refusal +
                        "   -    "
                  : "ok";
    if (result != expected) ++faults;

    const std::vector<std::string> log = fakedrv::Log();
    const std::string attach = "AttachDatabase db=" + database + " user=SYSDBA password=ravenquil";
    if (std::count(log.begin(), log.end(), attach) != 1) ++faults;
    const long executed = std::count(log.begin(), log.end(), "ExecuteSqlText sql=" + statement);
    if (executed != (fail_open ? 0 : 1)) ++faults;
  }
  return faults;
}

TEST(ConcurrencyTest, SixteenThreadsRunTheirOwnScriptsWithoutSeeingEachOther) {
  std::vector<int> faults(kThreads, -1);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([i, &faults] { faults[static_cast<std::size_t>(i)] = FaultsOnThread(i); });
  for (std::thread& thread : threads) thread.join();
  for (int i = 0; i < kThreads; ++i) EXPECT_EQ(faults[static_cast<std::size_t>(i)], 0) << "thread " << i;
  EXPECT_EQ(fakedrv::LiveTotal(), 0);
}

}  // namespace
}  // namespace tolvane
