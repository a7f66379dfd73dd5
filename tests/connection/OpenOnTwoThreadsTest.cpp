// Two threads opening at once, each through its own copy of the fake driver
// library: the entry address one thread finds must never be the one the
// other thread calls.
#include <gtest/gtest.h>

#include <barrier>
#include <chrono>
#include <string>
#include <thread>

#include "FakeDriverSetup.h"

namespace tolvane {
namespace {

constexpr int kOpensPerThread = 300;

// Opens and closes kOpensPerThread connections through the given copy and
// counts the opens whose entry call did not land in the copy the test can
// see (the first one): on the first copy's thread every open must show its
// entry call there, on the second copy's thread none may.
int MisroutedOpens(const char* library_path, const char* entry_name, bool through_first_copy,
                   std::barrier<>& start) {
  fakedrv::Reset();
  testing::FakePlatform platform;
  fakedrv::UseFakeDriver(platform, library_path);
  start.arrive_and_wait();
  int misrouted = 0;
  for (int i = 0; i < kOpensPerThread; ++i) {
    fakedrv::ClearLog();
    {
      TSQLConnection connection(nullptr, platform);
      fakedrv::ConfigureLikeRunner(connection, "/data/t.fdb");
      connection.SetGetDriverFunc(entry_name);
      connection.SetConnected(true);
    }
    const std::vector<std::string> log = fakedrv::Log();
    const bool entry_seen = !log.empty() && log.front().rfind(fakedrv::kEntryName, 0) == 0;
    if (entry_seen != through_first_copy) ++misrouted;
  }
  return misrouted;
}

TEST(OpenOnTwoThreadsTest, EachThreadCallsTheEntryItFoundItself) {
  // The cursor notifications fall between the lookup and the entry call;
  // pausing there lets the other thread's lookup land in between.
  SetBusyCursorHook([](int) { std::this_thread::sleep_for(std::chrono::microseconds(20)); });
  std::barrier<> start(2);
  int first = -1;
  int second = -1;
  std::thread a([&] { first = MisroutedOpens(fakedrv::kLibraryPath, fakedrv::kEntryName, true, start); });
  std::thread b([&] {
    second = MisroutedOpens(fakedrv::kSecondLibraryPath, fakedrv::kSecondEntryName, false, start);
  });
  a.join();
  b.join();
  SetBusyCursorHook(nullptr);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(fakedrv::LiveTotal(), 0);
}

}  // namespace
}  // namespace tolvane
