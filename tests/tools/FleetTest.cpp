// tolvane-exec over many databases: the list, who runs when, the journal a
// killed run leaves, and what the run ends with.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "fakes/support/FakePlatform.h"
#include "tools/ExecOptions.h"
#include "tools/FleetJournal.h"
#include "tools/FleetReport.h"
#include "tools/FleetScheduler.h"
#include "tools/FleetTargets.h"

namespace tolvane::exec {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

TEST(FleetTargets, AListGivesEachDatabaseOnceWithItsHost) {
  const std::vector<FleetTarget> targets = ReadFleetTargets(
      {"/cli.fdb"},
      "# customers\n\n  Srv1/3051:/data/a.fdb  \r\nsrv2:C1\n[::1]/3050:/b.fdb\ninet://h3:3050//c.fdb\nalias\n",
      "t.txt");
  const std::pair<const char*, const char*> expected[] = {
      {"/cli.fdb", ""}, {"Srv1/3051:/data/a.fdb", "srv1"}, {"srv2:C1", "srv2"},
      {"[::1]/3050:/b.fdb", "[::1]"}, {"inet://h3:3050//c.fdb", "h3"}, {"alias", ""}};
  ASSERT_EQ(targets.size(), std::size(expected));
  for (std::size_t i = 0; i < targets.size(); ++i) {
    EXPECT_EQ(targets[i].database, expected[i].first);
    EXPECT_EQ(targets[i].host, expected[i].second) << targets[i].database;
    EXPECT_EQ(targets[i].place, static_cast<int>(i) + 1);
  }
  // A failure folder is one name, whatever the target holds.
  EXPECT_EQ(TargetFolderName(targets[1]), "2-a.fdb");
  EXPECT_EQ(TargetFolderName({"h:/x/../../etc/pass wd", "h", 7}), "7-pass_wd");
}

TEST(FleetTargets, ADatabaseGivenTwiceIsRefusedNamingBothPlaces) {
  const struct {
    std::vector<std::string> given;
    const char* list;
    const char* error;
  } rows[] = {
      {{}, "/a.fdb\n# x\n/a.fdb\n", "given twice (on line 1 of t.txt and on line 3 of t.txt)"},
      {{"/a.fdb"}, "  /a.fdb\n", "given twice (by --database and on line 1 of t.txt)"},
      {{"/a.fdb", "/a.fdb"}, "", "given twice (by --database and by --database)"},
  };
  for (const auto& row : rows) {
    try {
      ReadFleetTargets(row.given, row.list, "t.txt");
      ADD_FAILURE() << row.list;
    } catch (const UsageError& e) {
      EXPECT_THAT(e.what(), HasSubstr(row.error));
    }
  }
}

// One file under two names would run the script twice, at once.
TEST(FleetTargets, OneFileUnderTwoNamesIsRefused) {
  const fs::path folder = fs::current_path() / ("fleet_names_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  std::ofstream(folder / "a.fdb") << "x";
  std::ofstream(folder / "b.fdb") << "y";
  fs::create_hard_link(folder / "a.fdb", folder / "hard.fdb");
  fs::create_symlink(folder / "a.fdb", folder / "soft.fdb");
  const std::string a = (folder / "a.fdb").string();
  const struct {
    std::string second;
    bool refused;
  } rows[] = {
      {(folder / "b.fdb").string(), false},
      {(folder / "missing.fdb").string(), false},
      {"otherhost:" + a, false},
      {(folder / "hard.fdb").string(), true},
      {(folder / "soft.fdb").string(), true},
      {(folder / "." / "a.fdb").string(), true},
      {"localhost:" + a, true},
      {"localhost/3050:" + a, true},
  };
  testing::FakePlatform platform;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.second);
    const auto targets = ReadFleetTargets({a, row.second}, "", "t");
    if (row.refused) {
      EXPECT_THROW(RefuseSecondNames(platform, platform, targets), UsageError);
    } else {
      EXPECT_NO_THROW(RefuseSecondNames(platform, platform, targets));
    }
  }
  fs::remove_all(folder);
}

TEST(FleetScheduler, NeverRunsMoreThanItsBoundsAndRunsEachOnce) {
  std::vector<FleetTarget> targets;
  for (int i = 0; i < 18; ++i) {
    const char* host = i % 3 == 0 ? "a" : i % 3 == 1 ? "b" : "";
    targets.push_back({"db" + std::to_string(i), i < 12 ? host : "a", i + 1});
  }
  const struct {
    FleetBounds bounds;
    unsigned most_at_once;
    unsigned most_on_a_host;
  } rows[] = {{{1, 0}, 1, 1}, {{4, 2}, 4, 2}, {{8, 1}, 3, 1}, {{3, 0}, 3, 3}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.bounds.jobs) + "/" + std::to_string(row.bounds.jobs_per_host));
    std::mutex mutex;
    std::map<std::string, unsigned> on_host, most_on_host;
    std::map<std::string, int> runs;
    unsigned running = 0, most = 0;
    const std::atomic<bool> stop{false};
    const std::size_t left = RunEachTarget(
        targets, row.bounds,
        [&](const FleetTarget& target) {
          {
            const std::lock_guard lock(mutex);
            ++runs[target.database];
            most = std::max(most, ++running);
            most_on_host[target.host] = std::max(most_on_host[target.host], ++on_host[target.host]);
          }
          std::this_thread::sleep_for(std::chrono::milliseconds(3));
          const std::lock_guard lock(mutex);
          --running;
          --on_host[target.host];
        },
        stop);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(runs.size(), targets.size());
    for (const auto& [database, count] : runs) EXPECT_EQ(count, 1) << database;
    EXPECT_LE(most, row.most_at_once);
    for (const auto& [host, count] : most_on_host) EXPECT_LE(count, row.most_on_a_host) << host;
  }
}

TEST(FleetScheduler, AfterAStopNothingStartsAndTheRestIsCounted) {
  std::vector<FleetTarget> targets;
  for (int i = 0; i < 20; ++i) targets.push_back({"db" + std::to_string(i), "", i + 1});
  std::atomic<bool> stop{false};
  std::atomic<int> started{0};
  const std::size_t left = RunEachTarget(
      targets, {2, 0},
      [&](const FleetTarget&) {
        if (++started == 5) stop.store(true);
      },
      stop);
  // The other thread may have taken one more before it saw the stop.
  EXPECT_GE(started.load(), 5);
  EXPECT_LE(started.load(), 6);
  EXPECT_EQ(left, targets.size() - static_cast<std::size_t>(started.load()));
}

class FleetJournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::current_path() / ("fleet_journal_" + std::to_string(::getpid()));
    fs::remove_all(folder_);
    fs::create_directory(folder_);
    path_ = (folder_ / "j.jsonl").string();
  }
  void TearDown() override { fs::remove_all(folder_); }
  std::string Content() const {
    std::ifstream in(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static TargetResult Result(std::string database, TargetStatus status) {
    TargetResult result;
    result.target.database = std::move(database);
    result.status = status;
    result.result = status == TargetStatus::kOk ? "ok" : "Driver Error: \"x\"\r\n-line two";
    return result;
  }

  testing::FakePlatform platform_;
  fs::path folder_;
  std::string path_;
};

TEST_F(FleetJournalTest, WhatWasWrittenIsReadBackWhateverTheNamesHold) {
  const std::string names[] = {"/plain.fdb", "h:/q\"uote\\back.fdb", "/new\nline.fdb",
                               std::string("/bad\xff\x01.fdb"), "/caf\xc3\xa9.fdb"};
  {
    FleetJournal journal(platform_, path_);
    for (const std::string& name : names)
      ASSERT_TRUE(journal.Append(JournalLine(Result(name, TargetStatus::kFailed), "ab12", "T")));
    ASSERT_TRUE(journal.Append(JournalLine(Result("/plain.fdb", TargetStatus::kOk), "ab12", "T")));
  }
  const auto records = ReadJournal(platform_, path_);
  ASSERT_EQ(records.size(), std::size(names));
  for (const std::string& name : names) {
    ASSERT_TRUE(records.count(name)) << name;
    EXPECT_EQ(records.at(name).script_sha256, "ab12");
  }
  EXPECT_EQ(records.at("/plain.fdb").status, "ok");  // the last line of a database wins
  // As a JSON tool rewrites it: blanks between the parts of a member.
  std::string value;
  EXPECT_TRUE(JsonStringMember("{ \"a\": \"x\\\"target\\\": 1\", \"target\" : \"/t.fdb\"}", "target", &value));
  EXPECT_EQ(value, "/t.fdb");
  EXPECT_FALSE(JsonStringMember("{\"first_failure\":null}", "first_failure", &value));
  EXPECT_EQ(records.at("/new\nline.fdb").status, "failed");
}

TEST_F(FleetJournalTest, AKilledRunsHalfLineIsPassedOverAndCutOffBeforeTheNextLine) {
  const std::string whole = JournalLine(Result("/a.fdb", TargetStatus::kOk), "s", "T");
  std::ofstream(path_, std::ios::binary) << whole << "{\"target\":\"/b.fdb\",\"status\":\"o";
  EXPECT_EQ(ReadJournal(platform_, path_).size(), 1u);
  {
    FleetJournal journal(platform_, path_);
    ASSERT_TRUE(journal.Append(JournalLine(Result("/c.fdb", TargetStatus::kOk), "s", "T")));
  }
  EXPECT_EQ(Content(), whole + JournalLine(Result("/c.fdb", TargetStatus::kOk), "s", "T"));
}

TEST_F(FleetJournalTest, AShortWriteIsCutBackAndEndsTheJournal) {
  FleetJournal journal(platform_, path_);
  const std::string first = JournalLine(Result("/a.fdb", TargetStatus::kOk), "s", "T");
  ASSERT_TRUE(journal.Append(first));
  platform_.write_file = [](int fd, const void* data, std::size_t size, int*) -> long {
    return ::write(fd, data, size / 2);  // a full disk takes half the line
  };
  EXPECT_FALSE(journal.Append(JournalLine(Result("/b.fdb", TargetStatus::kOk), "s", "T")));
  EXPECT_THAT(journal.Failure(), HasSubstr("could not be written"));
  platform_.write_file = nullptr;
  EXPECT_FALSE(journal.Append(first));  // nothing after a lost line
  EXPECT_EQ(Content(), first);
}

TEST_F(FleetJournalTest, AJournalThatIsAnotherFilesSecondNameIsRefused) {
  const fs::path elsewhere = folder_ / "precious.txt";
  std::ofstream(elsewhere) << "keep\n";
  const struct {
    const char* name;
    void (*make)(const fs::path& target, const fs::path& link);
  } rows[] = {
      {"symbolic link", [](const fs::path& t, const fs::path& l) { fs::create_symlink(t, l); }},
      {"hard link", [](const fs::path& t, const fs::path& l) { fs::create_hard_link(t, l); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove(path_);
    row.make(elsewhere, path_);
    EXPECT_THROW(FleetJournal(platform_, path_), std::runtime_error);
    std::ifstream in(elsewhere);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep\n");
  }
}

TEST(FleetTally, TheExitStatusIsTheWorstOutcome) {
  const struct {
    std::vector<TargetStatus> ended;
    std::size_t not_started;
    int exit;
  } rows[] = {
      {{TargetStatus::kOk, TargetStatus::kOk}, 0, 0},
      {{TargetStatus::kOk, TargetStatus::kFailed}, 0, 3},
      {{TargetStatus::kFailed, TargetStatus::kUnreachable}, 0, 1},
      {{TargetStatus::kOk, TargetStatus::kRefused}, 0, 1},
      {{TargetStatus::kBrokenOff}, 0, 1},
      {{TargetStatus::kInterrupted}, 0, 1},
      {{TargetStatus::kOk}, 1, 1},  // stopped before every database ran
  };
  for (const auto& row : rows) {
    FleetTally tally(row.ended.size() + row.not_started);
    for (const TargetStatus status : row.ended) tally.Add(status);
    tally.SetNotStarted(row.not_started);
    EXPECT_EQ(tally.ExitStatus(), row.exit) << tally.SummaryLine(1.0);
  }
}

TEST(FleetReport, AnEntryCarriesTheTargetAndTheSingleRunsReport) {
  TargetResult result;
  result.target.database = "h:/a.fdb";
  result.status = TargetStatus::kFailed;
  result.result = "ok";
  result.first_failure = "line 2: x";
  EXPECT_EQ(JsonEntry(result, "{\"run\":{},\"outcomes\":[],\"summary\":{}}\n"),
            "{\"target\":\"h:/a.fdb\",\"status\":\"failed\",\"result\":\"ok\",\"first_failure\":"
            "\"line 2: x\",\"failure_folder\":null,\"run\":{},\"outcomes\":[],\"summary\":{}}");
  result.status = TargetStatus::kRefused;
  EXPECT_THAT(JsonEntry(result, ""), HasSubstr("\"failure_folder\":null}"));
}

}  // namespace
}  // namespace tolvane::exec
