// The run engine against the scripted fake driver: each statement's outcome,
// runs that break off, the bounds on runs that call runs, and the run log.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
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
