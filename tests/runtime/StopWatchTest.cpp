// A request to stop the process, taken over by a watch: it reaches the watch
// and nothing else, whatever handler a library put in place before.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "runtime/Platform.h"

namespace tolvane {
namespace {

std::atomic<int> g_library_handler_calls{0};
extern "C" void LibraryHandler(int) { ++g_library_handler_calls; }

TEST(StopWatch, EachRequestReachesTheWatchAloneAndNoneOutlivesIt) {
  struct sigaction library {}, before{};
  library.sa_handler = LibraryHandler;
  sigemptyset(&library.sa_mask);
  ::sigaction(SIGINT, &library, &before);
  {
    std::atomic<int> last{0};
    const auto watch = DefaultPlatform().WatchStopRequests([&](int count) { last.store(count); });
    for (int signal : {SIGINT, SIGTERM}) {
      ASSERT_EQ(::kill(::getpid(), signal), 0);  // to the process, as Ctrl-C is
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (last.load() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      EXPECT_GT(last.exchange(0), 0) << signal;
    }
  }
  EXPECT_EQ(g_library_handler_calls.load(), 0);
  // The watch gone, the handler before it is the process's again.
  ASSERT_EQ(::raise(SIGINT), 0);
  EXPECT_EQ(g_library_handler_calls.load(), 1);
  ::sigaction(SIGINT, &before, nullptr);
}

}  // namespace
}  // namespace tolvane
