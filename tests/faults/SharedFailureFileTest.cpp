// Two calls that fail at the same line index write the same failure file.
// Each waits for the other to finish with it and writes it whole in turn:
// no call is refused, and the file is never a mix of the two.
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "FaultTestSupport.h"

namespace tolvane::testing::faults {
namespace {

// Writes in two halves with a pause between, so that the other call tries
// to take the file while it is half written.
class SlowWritePlatform : public testing::FakePlatform {
 public:
  long WriteFile(int fd, const void* data, std::size_t size, int* error) override {
    const std::size_t half = size / 2;
    const long first = FakePlatform::WriteFile(fd, data, half, error);
    if (first != static_cast<long>(half)) return first;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const long second =
        FakePlatform::WriteFile(fd, static_cast<const char*>(data) + half, size - half, error);
    return second < 0 ? second : first + second;
  }
};

struct CallOutcome {
  std::string result;
  std::vector<std::string> executed;
};

CallOutcome RunOnThisThread(const std::string& folder, const std::string& script) {
  fakedrv::Reset();
  fakedrv::FailCall(std::string(kExecutePrefix) + "bad", 0, 65, "refused");
  SlowWritePlatform platform;
  fakedrv::UseFakeDriver(platform);
  platform.get_environment = [folder](const std::string& name) {
    return name == "UDFTOLVANE_FAILURE_DIR" ? folder : std::string();
  };
  testing::ScriptBlob blob(script);
  CallOutcome outcome;
  outcome.result = RunScript(platform, blob.Callback(), kDatabase);
  outcome.executed = Executed();
  return outcome;
}

TEST(SharedFailureFileTest, RacingCallsNeverCorruptTheFile) {
  const std::string folder = MakeTempFolder("tolvane_race");
  ASSERT_FALSE(folder.empty());
  const std::string path = folder + "/TESTE1.TXT";
  const std::string lines[2] = {"bad from the first call", "bad from the second call"};
  const std::string busy = std::strerror(EWOULDBLOCK);

  int refused = 0;
  for (int round = 0; round < 60; ++round) {
    CallOutcome outcomes[2];
    std::thread first([&] { outcomes[0] = RunOnThisThread(folder, "one\n" + lines[0] + "\nafter"); });
    std::thread second([&] { outcomes[1] = RunOnThisThread(folder, "two\n" + lines[1] + "\nafter"); });
    first.join();
    second.join();

    int winners = 0;
    for (int i = 0; i < 2; ++i) {
      const CallOutcome& o = outcomes[i];
      if (o.result == "ok") {
        ++winners;
        EXPECT_EQ(o.executed.back(), "after");
      } else {
        ++refused;
        EXPECT_EQ(o.result, "Cannot create file \"" + path + "\". " + busy + "   -    " + lines[i]);
        EXPECT_EQ(o.executed.back(), lines[i]) << "a line after the failed write ran";
      }
    }
    ASSERT_GE(winners, 1) << "round " << round;
    const std::string content = ReadFile(path);
    if (winners == 1) {
      const int winner = outcomes[0].result == "ok" ? 0 : 1;
      ASSERT_EQ(content, FailureRecord(lines[winner])) << "round " << round;
    } else {
      ASSERT_TRUE(content == FailureRecord(lines[0]) || content == FailureRecord(lines[1]))
          << "round " << round << ": " << content;
    }
  }
  RecordProperty("refused_calls", refused);
  EXPECT_EQ(refused, 0) << "a call was refused a file the other held only for its write";
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tolvane::testing::faults
