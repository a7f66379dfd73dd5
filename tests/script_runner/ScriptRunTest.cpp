// The run engine against the scripted fake driver: each statement's outcome,
// runs that break off, the bounds on runs that call runs, and the run log.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <fstream>
#include <future>
#include <latch>
#include <memory>
#include <thread>
#include <vector>

#include "FakeDriverSetup.h"
#include "ScriptBlob.h"
#include "script_runner/RunLimits.h"
#include "script_runner/ScriptRun.h"

namespace tolvane {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using tolvane::testing::FakePlatform;
using tolvane::testing::ScriptBlob;
namespace fs = std::filesystem;

// A driver text followed by the details record a driver hands over.
std::string WithDetails(const std::string& text, const std::string& record) {
  return text + std::string(1, '\0') + record;
}

class ScriptRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fakedrv::Reset();
    fakedrv::UseFakeDriver(platform_);
    std::string pattern = fs::temp_directory_path() / "engine_runs_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    platform_.get_environment = [this](const std::string& name) {
      if (name == "UDFTOLVANE_FAILURE_DIR") return dir_;
      if (name == "UDFTOLVANE_RUN_LOG_DIR") return log_dir_;
      return std::string();
    };
  }
  void TearDown() override {
    EXPECT_EQ(fakedrv::LiveTotal(), 0) << "a driver reference outlived the run";
    fs::remove_all(dir_);
  }

  // Every outcome of a run of script, in order.
  std::vector<StatementOutcome> Outcomes(const std::string& script, std::string* result) {
    ScriptRun run(platform_, script, "/data/x.fdb", RunSettings{});
    std::vector<StatementOutcome> outcomes;
    std::vector<std::string> texts;
    StatementOutcome outcome;
    while (run.Step(&outcome)) {
      texts.emplace_back(outcome.statement);
      outcomes.push_back(outcome);
    }
    kept_texts_ = std::move(texts);
    for (std::size_t i = 0; i < outcomes.size(); ++i) outcomes[i].statement = kept_texts_[i];
    *result = run.ResultText();
    return outcomes;
  }

  FakePlatform platform_;
  std::string dir_;
  std::string log_dir_;
  std::vector<std::string> kept_texts_;
};

TEST_F(ScriptRunTest, EachStatementHasItsOutcome) {
  fakedrv::FailCall("ExecuteSqlText sql=dup", 0, 65,
                    WithDetails("violation\nSQLSTATE = 23000", "isc=335544665;sqlstate=23000;lost=0"));
  fakedrv::FailCall("ExecuteSqlText sql=typo", 0, 65, "Token unknown\nSQLSTATE = 42000");
  std::string result;
  const auto outcomes = Outcomes("ins\r\n\r\ndup\ntypo\nlast", &result);
  EXPECT_EQ(result, "ok");

  struct Row {
    int index, line;
    OutcomeStatus status;
    const char* sqlstate;
    long long code;
    bool file;
  };
  const Row expected[] = {
      {0, 1, OutcomeStatus::kOk, "", 0, false},
      {2, 3, OutcomeStatus::kFailed, "23000", 335544665, true},
      // A driver without details: the SQLSTATE its text names.
      {3, 4, OutcomeStatus::kFailed, "42000", 0, true},
      {4, 5, OutcomeStatus::kOk, "", 0, false},
  };
  ASSERT_EQ(outcomes.size(), std::size(expected));
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(outcomes[i].index, expected[i].index);
    EXPECT_EQ(outcomes[i].first_line, expected[i].line);
    EXPECT_EQ(outcomes[i].last_line, expected[i].line);
    EXPECT_EQ(outcomes[i].status, expected[i].status);
    EXPECT_EQ(outcomes[i].sqlstate, expected[i].sqlstate);
    EXPECT_EQ(outcomes[i].error_code, expected[i].code);
    EXPECT_EQ(outcomes[i].failure_file, expected[i].file);
  }
  // The message as the connection layer raised it, without the details.
  EXPECT_EQ(outcomes[1].message, "Driver Error: [0x0065]: SQL Error\r\nSQL Server Error: violation\nSQLSTATE = 23000");
}

TEST_F(ScriptRunTest, AConnectionThatIsGoneEndsTheRunAtThatStatement) {
  fakedrv::FailCall("ExecuteSqlText sql=second", 0, 65,
                    WithDetails("connection shutdown", "isc=335544856;sqlstate=08003;lost=1"));
  std::string result;
  const auto outcomes = Outcomes("first\nsecond\nthird\nfourth", &result);
  EXPECT_EQ(result,
            "Driver Error: [0x0065]: SQL Error\r\nSQL Server Error: connection shutdown   -    second");
  ASSERT_EQ(outcomes.size(), 4u);
  EXPECT_EQ(outcomes[1].status, OutcomeStatus::kFailed);
  EXPECT_TRUE(fs::exists(dir_ + "/TESTE1.TXT"));
  EXPECT_EQ(outcomes[2].status, OutcomeStatus::kNotRun);
  EXPECT_EQ(outcomes[3].status, OutcomeStatus::kNotRun);
  for (const std::string& line : fakedrv::Log()) EXPECT_THAT(line, ::testing::Not(HasSubstr("third")));
}

TEST_F(ScriptRunTest, ABrokenOffResultFitsTheDeclaredLengthByCuttingTheStatement) {
  platform_.get_environment = [this](const std::string& name) {
    return name == "UDFTOLVANE_FAILURE_DIR" ? dir_ + "/missing" : std::string();
  };
  const std::string statement(40000, 'x');
  fakedrv::FailCall("ExecuteSqlText", 0, 65);
  ScriptBlob blob(statement);
  const std::string result = RunScript(platform_, blob.Callback(), "/data/x.fdb");
  EXPECT_EQ(result.size(), 31999u);
  EXPECT_THAT(result, ::testing::StartsWith("Cannot create file \"" + dir_ + "/missing/TESTE0.TXT\"."));
  EXPECT_THAT(result, HasSubstr("   -    xxx"));
}

TEST_F(ScriptRunTest, ReadingStopsAtTheSegmentHoldingTheFirstZeroByte) {
  std::string script = "select 1 from t\n";
  script += std::string(300000, '\0');
  ScriptBlob blob(script, 4096);
  EXPECT_STREQ(RunScript(platform_, blob.Callback(), "/data/x.fdb"), "ok");
  EXPECT_EQ(blob.Calls(), 1);
}

TEST_F(ScriptRunTest, ARunNestedTooDeeplyOnOneThreadIsRefusedBeforeAnyDriverCall) {
  std::vector<std::unique_ptr<RunSlot>> levels;
  for (int i = 0; i < kMaxNestedRuns; ++i) levels.push_back(std::make_unique<RunSlot>());
  for (const auto& level : levels) ASSERT_TRUE(level->Refusal().empty());
  ScriptBlob blob("select 1 from t");
  EXPECT_EQ(std::string(RunScript(platform_, blob.Callback(), "/data/x.fdb")),
            "Run refused: more than 16 runs nested on one server thread (a script that calls "
            "itself?)   -    ");
  EXPECT_TRUE(fakedrv::Log().empty());
  levels.pop_back();
  EXPECT_STREQ(RunScript(platform_, ScriptBlob("select 1 from t").Callback(), "/data/x.fdb"), "ok");
}

// On a caller's attachment the run sends no login of its own and hands the
// driver that attachment; a cancelled statement ends the run there, while a
// run on its own connection goes on as it always has.
TEST_F(ScriptRunTest, OnACallersAttachmentNoLoginIsSentAndACancelEndsTheRun) {
  int attachment = 0;
  for (const bool callers : {false, true}) {
    SCOPED_TRACE(callers);
    fakedrv::Reset();
    fakedrv::FailCall("ExecuteSqlText sql=waits", 0, 65,
                      WithDetails("operation was cancelled\nSQLSTATE = HY008",
                                  "isc=335544794;sqlstate=HY008;lost=0"));
    RunSettings settings;
    if (callers) settings.attachment = &attachment;
    ScriptRun run(platform_, "one\nwaits\nthree\n", "/data/x.fdb", settings);
    std::vector<OutcomeStatus> statuses;
    for (StatementOutcome outcome; run.Step(&outcome);) statuses.push_back(outcome.status);
    const std::vector<std::string> log = fakedrv::Log();
    const auto attach = std::find_if(log.begin(), log.end(), [](const std::string& line) {
      return line.starts_with("AttachDatabase");
    });
    ASSERT_NE(attach, log.end());
    const bool adopts = std::any_of(log.begin(), log.end(), [&](const std::string& line) {
      return line == "SetConnectionOption coAttachment=" +
                         std::to_string(reinterpret_cast<std::uintptr_t>(&attachment));
    });
    EXPECT_EQ(adopts, callers);
    if (callers) {
      EXPECT_EQ(*attach, "AttachDatabase db=/data/x.fdb user= password=");
      EXPECT_EQ(statuses, (std::vector{OutcomeStatus::kOk, OutcomeStatus::kFailed,
                                       OutcomeStatus::kNotRun}));
      EXPECT_THAT(run.ResultText(), HasSubstr("operation was cancelled"));
    } else {
      EXPECT_THAT(*attach, HasSubstr("user=SYSDBA"));
      EXPECT_EQ(statuses, (std::vector{OutcomeStatus::kOk, OutcomeStatus::kFailed,
                                       OutcomeStatus::kOk}));
    }
  }
}

// One user's runs cannot take every place of the process: the bound per user
// comes first, and each refusal names the bound it hit.
TEST(RunLimits, EachUserHasAShareAndTheProcessItsBound) {
  std::vector<std::unique_ptr<RunSlot>> held;
  auto hold = [&held](const std::string& owner, int bound) {
    held.push_back(std::make_unique<RunSlot>(owner, bound));
    return held.back()->Refusal();
  };
  for (int i = 0; i < 4; ++i) ASSERT_EQ(hold("U1", 4), "");
  EXPECT_EQ(hold("U1", 4), "Run refused: 4 runs of user 'U1' are already active (the bound per "
                           "user, max_runs_per_user)");
  EXPECT_EQ(hold("U2", 4), "") << "another user keeps a share";
  EXPECT_EQ(hold("u1", 4), "") << "user names are told apart exactly";
  held.erase(held.begin());
  EXPECT_EQ(hold("U1", 4), "") << "an ended run gives its place back";
  held.clear();
  // The process's places held by runs on other threads (kMaxNestedRuns each);
  // runs without an owner (executa_sql) count for the process only.
  constexpr int kThreads = kMaxActiveRuns / kMaxNestedRuns;
  std::latch holding(kThreads);
  std::promise<void> done;
  std::shared_future<void> ended = done.get_future().share();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&holding, ended, t] {
      std::vector<std::unique_ptr<RunSlot>> mine;
      for (int i = 0; i < kMaxNestedRuns; ++i)
        mine.push_back(std::make_unique<RunSlot>(i % 2 ? "" : "T" + std::to_string(t * 100 + i), 1));
      holding.count_down();
      ended.wait();
    });
  holding.wait();
  EXPECT_EQ(hold("U3", 1), "Run refused: 128 runs are already active in this server process");
  EXPECT_EQ(hold("T0", 1), "Run refused: 1 runs of user 'T0' are already active (the bound per "
                           "user, max_runs_per_user)");
  done.set_value();
  for (std::thread& thread : threads) thread.join();
  held.clear();
  EXPECT_EQ(hold("U3", 1), "") << "refused runs leave nothing counted";
  EXPECT_EQ(hold("T0", 1), "");
}

// What a caller asks for against the server's setting (seconds, 0 = no limit).
TEST(RunLimits, ACallersLockTimeoutIsNeverLongerThanTheServers) {
  constexpr int kNoWait = kLockNoWait;
  const std::optional<int> unset;
  struct Row {
    std::optional<int> asked, server, in_force;
  } rows[] = {
      {unset, 3, 3},     {0, 3, 3},           {10, 3, 3},         {2, 3, 2},
      {kNoWait, 3, kNoWait}, {5, kNoWait, kNoWait}, {unset, kNoWait, kNoWait},
      // No limit in the configuration: the driver's bound for a caller's
      // attachment applies to whatever is asked.
      {0, unset, 0},     {7, unset, 7},       {unset, unset, unset}, {0, 0, 0},
  };
  for (const Row& row : rows)
    EXPECT_EQ(CallerLockTimeout(row.asked, row.server), row.in_force)
        << row.asked.value_or(-99) << " asked, server " << row.server.value_or(-99);
}

TEST_F(ScriptRunTest, TheRunLogChangesNeitherResultNorFilesNorDriverCalls) {
  const std::string script = "good\nbad\n\"quoted\" \xff";
  std::vector<std::vector<std::string>> logs;
  for (bool with_log : {false, true}) {
    fakedrv::Reset();
    fakedrv::FailCall("ExecuteSqlText sql=bad", 0, 65, "Token unknown");
    log_dir_ = with_log ? dir_ : std::string();
    ScriptBlob blob(script);
    EXPECT_STREQ(RunScript(platform_, blob.Callback(), "/data/x.fdb"), "ok");
    logs.push_back(fakedrv::Log());
  }
  EXPECT_EQ(logs[0], logs[1]);

  std::vector<std::string> lines;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    if (entry.path().extension() != ".jsonl") continue;
    EXPECT_EQ(fs::status(entry.path()).permissions() & fs::perms::others_all, fs::perms::none);
    std::ifstream in(entry.path());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_THAT(lines[0], ::testing::StartsWith("{\"run\":{\"started\":\""));
  EXPECT_THAT(lines[2], HasSubstr("\"status\":\"failed\""));
  EXPECT_THAT(lines[2], HasSubstr("\"failure_file\":\"TESTE1.TXT\""));
  EXPECT_THAT(lines[3], HasSubstr("\"statement\":\"\\\"quoted\\\" \\u00ff\""));
  EXPECT_THAT(lines[4], ::testing::StartsWith("{\"summary\":{\"statements\":3,\"ok\":2,\"failed\":1"));
}

}  // namespace
}  // namespace tolvane
