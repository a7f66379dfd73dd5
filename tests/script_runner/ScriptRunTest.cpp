// The run engine against the scripted fake driver: each statement's outcome,
// runs that break off, the bounds on runs that call runs, and the run log.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <fstream>
#include <iterator>
#include <functional>
#include <future>
#include <latch>
#include <memory>
#include <thread>
#include <vector>

#include "FakeDriverSetup.h"
#include "ScriptBlob.h"
#include "script_runner/engine/RunLimits.h"
#include "script_runner/engine/OutcomeJson.h"
#include "script_runner/engine/RunLog.h"
#include "script_runner/settings/RunOptions.h"
#include "script_runner/engine/ScriptRun.h"
#include "script_runner/function/ScriptRunner.h"

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
    // Not under the system's temporary folder: a folder others can write
    // on the way refuses every configuration file below it.
    std::string pattern = fs::current_path() / "engine_runs_XXXXXX";
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

// A run as one line per event: "3 done", "commit 1-4 2", "rollback 1-3 2 end".
class EventTrace final : public RunObserver {
 public:
  void OnRunStart(const RunStart&) noexcept override {}
  void OnOutcome(const StatementOutcome& outcome) noexcept override {
    events.push_back(std::to_string(outcome.first_line) + " " + OutcomeStatusName(outcome.status));
  }
  void OnTransaction(const TransactionOutcome& t) noexcept override {
    events.push_back(std::string(t.committed ? "commit " : "rollback ") +
                     std::to_string(t.first_line) + "-" + std::to_string(t.last_line) + " " +
                     std::to_string(t.statements) + (t.ends_run ? " end" : ""));
  }
  void OnRunEnd(const RunSummary& ended) noexcept override { summary = ended; }
  std::vector<std::string> events;
  RunSummary summary;
};

// Each mode's transaction rules as the driver sees them: every call after
// the open, in order, and as the observers see them: every statement once,
// work that waits for a commit "done", and each commit and rollback with the
// lines it settled.
TEST_F(ScriptRunTest, EachModeSendsItsTransactionRulesToTheDriver) {
  const std::string lost = WithDetails("connection shutdown", "isc=335544856;sqlstate=08003;lost=1");
  const std::string sql = "ExecuteSqlText sql=";
  struct Row {
    const char* options;
    const char* script;
    const char* fail;  // the statement whose ExecuteSqlText fails, or empty
    bool lost;
    std::vector<std::string> calls;  // between the open and the close
    std::vector<std::string> events;
    long long ok, rolled_back;
    const char* result_end;
  };
  const Row rows[] = {
      {"mode=continue", "a\nbad\nb", "bad", false, {sql + "a", sql + "bad", sql + "b"},
       {"1 ok", "2 failed", "3 ok"}, 2, 0, "ok"},
      // bail: the first failure ends the run; each line committed on its own stays.
      {"mode=bail", "a\nbad\nb", "bad", false, {sql + "a", sql + "bad"},
       {"1 ok", "2 failed", "3 not run"}, 1, 0, "   -    bad"},
      {"mode=bail", "a\nCOMMIT\nb", "", false, {sql + "a", sql + "COMMIT", sql + "b"},
       {"1 ok", "2 ok", "3 ok"}, 3, 0, "ok"},
      {"mode=atomic", "a\nb", "", false, {sql + "a", sql + "b", sql + "COMMIT"},
       {"1 done", "2 done", "commit 1-2 2 end"}, 2, 0, "ok"},
      // The 22-line migration broken at a line: earlier lines once, as done.
      {"mode=atomic", "a\n\nb\nbad\nc", "bad", false,
       {sql + "a", sql + "b", sql + "bad", sql + "ROLLBACK"},
       {"1 done", "3 done", "4 failed", "rollback 1-4 2 end", "5 not run"}, 0, 2, "   -    bad"},
      // A COMMIT line would break the promise: refused, never sent.
      {"mode=atomic", "a\nCOMMIT", "", false, {sql + "a", sql + "ROLLBACK"},
       {"1 done", "2 failed", "rollback 1-2 1 end"}, 0, 1, "   -    COMMIT"},
      // The last commit fails: everything is undone, the result names it.
      {"mode=atomic", "a\nb", "COMMIT", false, {sql + "a", sql + "b", sql + "COMMIT"},
       {"1 done", "2 done", "rollback 1-2 2 end"}, 0, 2, "   -    COMMIT"},
      {"mode=batch", "a\nCREATE TABLE X (I INT)\nb\nROLLBACK\nbad\nc", "bad", false,
       {sql + "a", sql + "CREATE TABLE X (I INT)", sql + "COMMIT", sql + "b", sql + "ROLLBACK",
        sql + "bad", sql + "c", sql + "COMMIT"},
       {"1 done", "2 ok", "commit 1-2 1", "3 done", "4 ok", "rollback 3-4 1", "5 failed", "6 done",
        "commit 5-6 1 end"}, 4, 1, "ok"},
      // DDL whose commit fails is the DDL's failure and undoes the batch so far.
      {"mode=batch", "a\nDROP TABLE X\nb", "COMMIT", false,
       {sql + "a", sql + "DROP TABLE X", sql + "COMMIT", sql + "b", sql + "COMMIT"},
       {"1 done", "2 failed", "rollback 1-2 1", "3 done", "rollback 3-3 1 end"}, 0, 2, "   -    COMMIT"},
      // A lost connection: closing it undoes the open work.
      {"mode=batch", "a\ngone\nb", "gone", true, {sql + "a", sql + "gone"},
       {"1 done", "2 failed", "rollback 1-2 1 end", "3 not run"}, 0, 1, "   -    gone"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.options) + ": " + row.script);
    fakedrv::Reset();
    if (*row.fail != '\0')
      fakedrv::FailCall(sql + row.fail, 0, 65, row.lost ? lost : "Token unknown");
    RunSettings settings = ParseRunOptions(row.options);
    settings.failure_files = false;
    ScriptRun run(platform_, row.script, "/data/x.fdb", settings);
    EventTrace trace;
    run.AddObserver(&trace);
    StatementOutcome outcome;
    while (run.Step(&outcome)) {
    }
    EXPECT_EQ(trace.events, row.events);
    EXPECT_EQ(trace.summary.ok, row.ok);
    EXPECT_EQ(trace.summary.rolled_back, row.rolled_back);
    EXPECT_THAT(run.ResultText(), ::testing::EndsWith(row.result_end));

    // The open, the texts run (statements, commits and rollbacks alike) and
    // the close, each in its exact order.
    std::vector<std::string> open = fakedrv::RunnerOpenCalls("/data/x.fdb");
    // The modes that keep work open turn the driver's auto-commit off.
    if (settings.mode == RunMode::kAtomic || settings.mode == RunMode::kBatch)
      open.insert(open.begin() + 5, "SetConnectionOption coAutoCommit=0");
    const std::vector<std::string> close = fakedrv::CloseCalls();
    const std::vector<std::string> log = fakedrv::Log();
    ASSERT_GE(log.size(), open.size() + close.size());
    EXPECT_THAT(std::vector<std::string>(log.begin(), log.begin() + open.size()), ElementsAreArray(open));
    std::vector<std::string> calls;
    for (auto line = log.begin() + open.size(); line != log.end() - close.size(); ++line)
      if (line->starts_with(sql) || line->starts_with("SetConnectionOption")) calls.push_back(*line);
    EXPECT_THAT(calls, ElementsAreArray(row.calls));
    EXPECT_THAT(std::vector<std::string>(log.end() - close.size(), log.end()), ElementsAreArray(close));
  }
}

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

TEST_F(ScriptRunTest, AnInterruptedRunRunsNoFurtherStatement) {
  ScriptRun run(platform_, "first\nsecond\nthird", "/data/x.fdb", RunSettings{});
  StatementOutcome outcome;
  ASSERT_TRUE(run.Step(&outcome));
  run.Interrupt("stopped by the user");
  std::vector<OutcomeStatus> rest;
  while (run.Step(&outcome)) rest.push_back(outcome.status);
  EXPECT_THAT(rest, ElementsAreArray({OutcomeStatus::kNotRun, OutcomeStatus::kNotRun}));
  EXPECT_FALSE(run.ResultOk());
  EXPECT_EQ(run.ResultText(), "stopped by the user");
  EXPECT_TRUE(run.Summary().connected);
  for (const std::string& line : fakedrv::Log()) EXPECT_THAT(line, ::testing::Not(HasSubstr("second")));
}

// Runs of one script on many databases keep their failure files apart; a
// folder that cannot be made (or is a link someone planted) ends the run
// before anything is written through it.
TEST_F(ScriptRunTest, ARunsOwnFailureFolderIsMadeOrTheRunBreaksOff) {
  const fs::path elsewhere = fs::path(dir_) / "elsewhere";
  fs::create_directory(elsewhere);
  const struct {
    const char* name;
    std::function<void(const fs::path& folder)> prepare;
    bool written;
  } rows[] = {
      {"made", [](const fs::path&) {}, true},
      {"already there", [](const fs::path& folder) { fs::create_directory(folder); }, true},
      {"cannot be made", [this](const fs::path&) { platform_.FailNth(testing::PlatformCall::kCreateFolder, 1, EACCES); }, false},
      {"a planted link", [&](const fs::path& folder) { fs::create_directory_symlink(elsewhere, folder); }, false},
      {"another user's", [this](const fs::path& folder) {
         fs::create_directory(folder);
         platform_.effective_user = [] { return 4242ul; };
       }, false},
  };
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fakedrv::Reset();
    fakedrv::FailCall("ExecuteSqlText sql=bad", 0, 65, "Token unknown\nSQLSTATE = 42000");
    RunSettings settings;
    settings.failure_subfolder = std::to_string(++n) + "-x.fdb";
    const fs::path folder = fs::path(dir_) / settings.failure_subfolder;
    row.prepare(folder);
    ScriptRun run(platform_, "bad\nnext", "/data/x.fdb", settings);
    StatementOutcome outcome;
    while (run.Step(&outcome)) {
    }
    platform_.FailNth(testing::PlatformCall::kCreateFolder, 0);
    platform_.effective_user = nullptr;
    EXPECT_EQ(fs::exists(folder / "TESTE0.TXT"), row.written);
    EXPECT_FALSE(fs::exists(fs::path(dir_) / "TESTE0.TXT"));
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_EQ(run.ResultOk(), row.written);
    if (!row.written) {
      EXPECT_THAT(run.ResultText(), HasSubstr("cannot make the failure folder " + folder.string()));
    }
  }
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
  // What a DBA audits: the routine, its caller (the legacy function cannot
  // tell), the options and the login the run used.
  EXPECT_THAT(lines[0], HasSubstr(",\"routine\":\"EXECUTA_SQL\",\"user\":null,\"role\":null,"
                                  "\"options\":\"mode=continue;dialect=lines;failure_files=on\","
                                  "\"identity\":{\"user\":\"SYSDBA\",\"role\":\"RoleName\"}}}"));
  EXPECT_THAT(lines[2], HasSubstr("\"status\":\"failed\""));
  EXPECT_THAT(lines[2], HasSubstr("\"failure_file\":\"TESTE1.TXT\""));
  EXPECT_THAT(lines[3], HasSubstr("\"statement\":\"\\\"quoted\\\" \\u00ff\""));
  EXPECT_THAT(lines[4], ::testing::StartsWith("{\"summary\":{\"statements\":3,\"ok\":2,\"failed\":1"));
}

// The lines of every run log in folder, file by file.
std::vector<std::vector<std::string>> LogFiles(const std::string& folder) {
  std::vector<std::vector<std::string>> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() != ".jsonl") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    files.emplace_back();
    std::size_t start = 0;
    for (std::size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1)
      files.back().push_back(content.substr(start, end - start));
    EXPECT_EQ(start, content.size()) << "a torn last line in " << entry.path();
  }
  return files;
}

// A full disk takes part of a record: the log is cut back to its last whole
// line and stops, the run's summary says so, and the result and the driver's
// calls stay what they are without a log.
TEST_F(ScriptRunTest, ALogThatCannotBeWrittenWholeIsCutBackAndTheSummarySaysSo) {
  struct Row {
    int failing_write;  // 1-based: the record that gets half written
    std::size_t lines_kept;
  } rows[] = {{1, 0}, {3, 2}};
  const std::string log_folder = dir_ + "/log";
  fs::create_directory(log_folder);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.failing_write);
    fs::remove_all(log_folder);
    fs::create_directory(log_folder);
    fakedrv::Reset();
    int writes = 0;
    platform_.write_file = [&](int fd, const void* data, std::size_t size, int* error) -> long {
      if (++writes != row.failing_write) return DefaultPlatform().WriteFile(fd, data, size, error);
      DefaultPlatform().WriteFile(fd, data, size / 2, error);
      *error = 28;  // ENOSPC
      return static_cast<long>(size / 2);
    };
    const long long failures = RunLog::Failures();
    std::optional<RunLog> log;
    log.emplace(platform_, log_folder);
    RunObserver* observers[] = {&*log};
    ScriptBlob blob("a\nb\nc");
    const RunSummary summary = RunBlob(platform_, blob.Callback(), "/data/x.fdb", RunSettings{}, observers);
    platform_.write_file = nullptr;
    EXPECT_EQ(summary.result_text, "ok");
    EXPECT_EQ(summary.ok, 3);
    EXPECT_TRUE(summary.run_log_incomplete);
    EXPECT_EQ(RunLog::Failures(), failures + 1);
    EXPECT_EQ(writes, row.failing_write);  // nothing more was written
    const auto files = LogFiles(log_folder);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].size(), row.lines_kept);
    std::string json;
    AppendSummaryJson(json, summary);
    EXPECT_THAT(json, HasSubstr(",\"run_log\":\"incomplete\"}"));
  }
}

// A call refused before its run starts writes its record and its result
// too: every call leaves a log.
TEST_F(ScriptRunTest, ARefusedCallLeavesItsRunLog) {
  log_dir_ = dir_;
  const std::string conf = dir_ + "/bad.conf";
  std::ofstream(conf) << "colour = blue\n";
  fs::permissions(conf, fs::perms(0600));
  platform_.get_environment = [this, conf](const std::string& name) {
    if (name == "UDFTOLVANE_RUN_LOG_DIR") return log_dir_;
    if (name == "UDFTOLVANE_CONF") return conf;
    return std::string();
  };
  ScriptBlob blob("select 1 from t");
  const std::string result = RunScript(platform_, blob.Callback(), "/data/x.fdb");
  EXPECT_THAT(result, HasSubstr("unknown setting 'colour'"));
  EXPECT_TRUE(fakedrv::Log().empty());
  const auto files = LogFiles(dir_);
  ASSERT_EQ(files.size(), 1u);
  ASSERT_EQ(files[0].size(), 2u);
  EXPECT_THAT(files[0][0], HasSubstr("\"routine\":\"EXECUTA_SQL\""));
  EXPECT_THAT(files[0][1], HasSubstr("unknown setting 'colour'"));
  EXPECT_THAT(files[0][1], ::testing::StartsWith("{\"summary\":{\"statements\":0,"));
}

// The isql dialect in its own mode: what each of isql's commands and
// transaction rules sends to the driver (options set, texts run, after the
// open and before the close) and how each piece is reported.
TEST_F(ScriptRunTest, IsqlModeSendsEachCommandAndTransactionRuleToTheDriver) {
  struct Row {
    const char* name;
    std::string script;
    const char* fails;  // an ExecuteSqlText that fails, or null
    std::vector<std::string> calls;
    // Each piece's status as handed out, and each commit or rollback where
    // it happens ("commit N" / "rollback N": the done statements it ended).
    std::vector<std::string> statuses;
    bool ok = true;  // the run's result is "ok"
  };
  const std::string ddl_own = "SetConnectionOption coDdlOwnTransaction=";
  const std::string opened[] = {"SetConnectionOption coTransactionStatements=1", ddl_own + "1"};
  const auto with_open = [&](std::vector<std::string> calls) {
    calls.insert(calls.begin(), std::begin(opened), std::end(opened));
    return calls;
  };
  const std::string sql = "ExecuteSqlText sql=";
  const Row rows[] = {
      {"the end commits; DDL reported ok at once",
       "create table t (a int);\ninsert into t values (1);",
       nullptr,
       with_open({sql + "create table t (a int)", sql + "insert into t values (1)", sql + "COMMIT"}),
       {"ok", "done", "commit 1"}},
      {"SET AUTODDL OFF keeps DDL in the transaction, a bare SET AUTODDL toggles it back",
       "set autoddl off;\ncreate table t (a int);\nset autoddl;\ncreate table u (a int);\nrollback;",
       nullptr,
       with_open({ddl_own + "0", sql + "create table t (a int)", ddl_own + "1",
                  sql + "create table u (a int)", sql + "rollback", sql + "COMMIT"}),
       {"skipped", "done", "skipped", "ok", "rollback 1", "ok", "commit 0"}},
      {"SET ROWCOUNT and SET MAXROWS set the fetch limit",
       "set rowcount 2;\nselect * from t;\nset maxrows 0;\nselect * from t;",
       nullptr,
       with_open({"SetConnectionOption coFetchLimit=2", sql + "select * from t",
                  "SetConnectionOption coFetchLimit=0", sql + "select * from t", sql + "COMMIT"}),
       {"skipped", "done", "skipped", "done", "commit 2"}},
      {"SET PLANONLY: texts only prepared, a COMMIT among them ends nothing",
       "insert into t values (1);\nset planonly;\ncommit;\nset planonly off;\nrollback;",
       nullptr,
       with_open({sql + "insert into t values (1)", "SetConnectionOption coPrepareOnly=1",
                  sql + "commit", "SetConnectionOption coPrepareOnly=0", sql + "rollback",
                  sql + "COMMIT"}),
       {"done", "skipped", "ok", "skipped", "rollback 1", "ok", "commit 0"}},
      {"EXIT commits and nothing after it runs",
       "insert into t values (1);\nexit;\ninsert into t values (2);",
       nullptr,
       with_open({sql + "insert into t values (1)", sql + "COMMIT", sql + "COMMIT"}),
       {"done", "commit 1", "skipped", "commit 0"}},
      {"QUIT rolls back and nothing after it runs",
       "insert into t values (1);\nquit;\ninsert into t values (2);",
       nullptr,
       with_open({sql + "insert into t values (1)", sql + "ROLLBACK", sql + "COMMIT"}),
       {"done", "rollback 1", "skipped", "commit 0"}},
      {"SET TRANSACTION rolls back the work before it",
       "insert into t values (1);\nset transaction read committed no wait;\n"
       "insert into t values (2);\ncommit work;",
       nullptr,
       with_open({sql + "insert into t values (1)", sql + "set transaction read committed no wait",
                  sql + "insert into t values (2)", sql + "commit work", sql + "COMMIT"}),
       {"done", "rollback 1", "ok", "done", "commit 1", "ok", "commit 0"}},
      {"savepoints are the transaction's: only ROLLBACK undoes the work",
       "insert into t values (1);\nsavepoint s;\ninsert into t values (2);\n"
       "rollback to savepoint s;\nrelease savepoint s only;\nrollback;",
       nullptr,
       with_open({sql + "insert into t values (1)", sql + "savepoint s", sql + "insert into t values (2)",
                  sql + "rollback to savepoint s", sql + "release savepoint s only", sql + "rollback",
                  sql + "COMMIT"}),
       {"done", "done", "done", "done", "done", "rollback 5", "ok", "commit 0"}},
      {"a failing statement undoes itself alone and the run goes on",
       "insert into t values (1);\nbad;\ncommit;",
       "ExecuteSqlText sql=bad",
       with_open({sql + "insert into t values (1)", sql + "bad", sql + "commit", sql + "COMMIT"}),
       {"done", "failed", "commit 1", "ok", "commit 0"}},
      {"a failing COMMIT has rolled the work back",
       "insert into t values (1);\ncommit;\ninsert into t values (2);",
       "ExecuteSqlText sql=commit",
       with_open({sql + "insert into t values (1)", sql + "commit", sql + "insert into t values (2)",
                  sql + "COMMIT"}),
       {"done", "rollback 1", "failed", "done", "commit 1"}},
      {"SET SQL DIALECT after a statement prepares in that dialect; SET NAMES there is refused",
       "insert into t values (1);\nset sql dialect 1;\nset names utf8;\ninsert into t values (2);",
       nullptr,
       with_open({sql + "insert into t values (1)", "SetConnectionOption coSqlDialect=1",
                  sql + "insert into t values (2)", sql + "COMMIT"}),
       {"done", "skipped", "failed", "done", "commit 2"}},
      {"SET BAIL ON: the first failure rolls back and ends the run",
       "set bail on;\ninsert into t values (1);\nbad;\ninsert into t values (2);",
       "ExecuteSqlText sql=bad",
       with_open({sql + "insert into t values (1)", sql + "bad", sql + "ROLLBACK"}),
       {"skipped", "done", "rollback 1", "failed", "not run"}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fakedrv::Reset();
    if (row.fails != nullptr) fakedrv::FailCall(row.fails, 0, 65, "Token unknown");
    RunSettings settings;
    settings.dialect = Dialect::kIsql;
    settings.mode = RunMode::kIsql;
    ScriptRun run(platform_, row.script, "/data/x.fdb", settings);
    std::vector<std::string> statuses;
    struct TransactionEnds : RunObserver {
      std::vector<std::string>* statuses;
      void OnRunStart(const RunStart&) noexcept override {}
      void OnOutcome(const StatementOutcome&) noexcept override {}
      void OnTransaction(const TransactionOutcome& end) noexcept override {
        statuses->push_back((end.committed ? "commit " : "rollback ") + std::to_string(end.statements));
      }
      void OnRunEnd(const RunSummary&) noexcept override {}
    } ends;
    ends.statuses = &statuses;
    run.AddObserver(&ends);
    StatementOutcome outcome;
    while (run.Step(&outcome)) statuses.emplace_back(OutcomeStatusName(outcome.status));
    EXPECT_EQ(run.ResultText() == "ok", row.ok) << run.ResultText();
    EXPECT_THAT(statuses, ElementsAreArray(row.statuses));

    const std::vector<std::string> log = fakedrv::Log();
    std::vector<std::string> open = fakedrv::RunnerOpenCalls("/data/x.fdb");
    // isql's transaction: no auto-commit, snapshot.
    open[5] = "SetConnectionOption coTransIsolation=1";
    open.insert(open.begin() + 5, "SetConnectionOption coAutoCommit=0");
    ASSERT_GT(log.size(), open.size());
    EXPECT_THAT(std::vector<std::string>(log.begin(), log.begin() + open.size()), ElementsAreArray(open));
    std::vector<std::string> calls;
    for (auto line = log.begin() + open.size(); line != log.end(); ++line) {
      if (*line == "SetConnectionOption coTraceCallback=0") break;
      if (line->rfind("ExecuteSqlText", 0) == 0 || line->rfind("SetConnectionOption", 0) == 0)
        calls.push_back(*line);
    }
    EXPECT_THAT(calls, ElementsAreArray(row.calls));
  }
}

}  // namespace
}  // namespace tolvane
