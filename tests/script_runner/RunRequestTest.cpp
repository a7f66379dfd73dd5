// The one preparation of a run, as TOLVANE_RUN asks for it under the caller's
// identity: which targets a caller reaches, the lock timeout a caller may ask
// for, the bound per user, and the refusal each rule gives. Every row is a
// spelling or a setting a hostile caller would try.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "FakeDriverSetup.h"
#include "script_runner/engine/RunRequest.h"

namespace tolvane {
namespace {

using ::testing::HasSubstr;
using tolvane::testing::FakePlatform;
namespace fs = std::filesystem;

constexpr int kCallersAttachment = 0;

class RunRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fakedrv::Reset();
    fakedrv::UseFakeDriver(platform_);
    // Not under the system's temporary folder: a folder others can write
    // on the way refuses every configuration file below it.
    std::string pattern = fs::current_path() / "run_requests_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    for (const char* folder : {"data", "server", "module", "logs"}) fs::create_directory(root_ / folder);
    for (const char* file : {"own.fdb", "other.fdb"}) std::ofstream(root_ / "data" / file) << "db";
    fs::create_symlink(root_ / "data" / "own.fdb", root_ / "data" / "link.fdb");
    std::ofstream(root_ / "server" / "databases.conf")
        << "own_alias = " << Data("own.fdb") << "\nother_alias = " << Data("other.fdb") << "\n";
    platform_.module_folder = [this] { return (root_ / "module").string(); };
    platform_.firebird_directory = [this](FirebirdFolder) { return (root_ / "server").string(); };
    platform_.get_environment = [this](const std::string& name) {
      if (name == "UDFTOLVANE_CONF") return conf_;
      if (name == "UDFTOLVANE_RUN_LOG_DIR") return (root_ / "logs").string();
      if (name == "UDFTOLVANE_FAILURE_DIR") return (root_ / "logs").string();
      return std::string();
    };
  }
  void TearDown() override {
    EXPECT_EQ(fakedrv::LiveTotal(), 0);
    fs::remove_all(root_);
  }

  std::string Data(const std::string& name) const { return (root_ / "data" / name).string(); }

  // conf: the configuration's text, or none.
  void Configure(const char* conf) {
    conf_ = (root_ / "module" / "udftolvane.conf").string();
    if (conf == nullptr) {
      // Not even beside the module, where it would be found without the variable.
      fs::remove(conf_);
      conf_.clear();
      return;
    }
    std::ofstream(conf_) << conf;
    fs::permissions(conf_, fs::perms(0600));
  }

  // A TOLVANE_RUN request of user for target.
  RunRequest Request(const std::string& user, std::optional<std::string> target,
                     const char* options) {
    RunRequest request;
    request.script = ScriptSource{script_.size(), [this](char* into, std::size_t wanted) {
                                    std::memcpy(into, script_.data(), wanted);
                                    return wanted;
                                  }};
    request.target = std::move(target);
    if (options != nullptr) request.options = options;
    request.caller = {"TOLVANE_RUN", user, ""};
    request.identity = CallerIdentity{user, "", const_cast<int*>(&kCallersAttachment), Data("own.fdb")};
    request.refusal_as_result_text = false;
    return request;
  }

  // The records of the run logs written since the last call, which are removed.
  std::vector<std::string> TakeLogLines() {
    std::vector<std::string> lines;
    for (const auto& entry : fs::directory_iterator(root_ / "logs")) {
      std::ifstream in(entry.path());
      for (std::string line; std::getline(in, line);) lines.push_back(line);
      fs::remove(entry.path());
    }
    return lines;
  }

  FakePlatform platform_;
  fs::path root_;
  std::string conf_;
  std::string script_ = "select 1 from rdb$database";
};

TEST_F(RunRequestTest, ACallerReachesOnlyTheirOwnDatabaseWithinTheServersLimits) {
  const std::string not_this = "is not this database (";
  struct Row {
    const char* name;
    const char* conf;  // nullptr: no configuration; "{data}" stands for the data folder
    const char* user;
    std::optional<std::string> target;  // "{data}" as in conf
    const char* options;
    std::string refusal;  // a part of it; empty: the run is ready
    bool on_attachment = true;
    std::optional<int> lock_timeout = std::nullopt;
  };
  const Row rows[] = {
      {"no target: the caller's own", nullptr, "U", std::nullopt, nullptr, ""},
      {"an empty target: the caller's own", nullptr, "U", "", nullptr, ""},
      {"its own path", nullptr, "U", "{data}/own.fdb", nullptr, ""},
      {"a link to it", nullptr, "U", "{data}/link.fdb", nullptr, ""},
      {"dots in its path", nullptr, "U", "{data}/../data/./own.fdb", nullptr, ""},
      {"an alias of it", nullptr, "U", "own_alias", nullptr, ""},
      {"another file", nullptr, "U", "{data}/other.fdb", nullptr, not_this},
      {"an alias of another file", nullptr, "U", "other_alias", nullptr, not_this},
      {"a file that is not there", nullptr, "U", "{data}/missing.fdb", nullptr, not_this},
      {"its own file through a server", nullptr, "U", "localhost:{data}/own.fdb", nullptr, not_this},
      {"its own file through another server", nullptr, "U", "evil:{data}/own.fdb", nullptr, not_this},
      {"no user to be", nullptr, "", std::nullopt, nullptr, "The caller's user name is unknown"},
      {"a bad option, refused as given", nullptr, "U", std::nullopt, "mode=fast",
       "Bad value 'fast' for option mode"},
      // The server's limit holds whatever the caller asks for.
      {"a longer wait", "lock_timeout = 3\n", "U", std::nullopt, "lock_timeout=10", "", true, 3},
      {"no limit", "lock_timeout = 3\n", "U", std::nullopt, "lock_timeout=0", "", true, 3},
      {"a shorter wait", "lock_timeout = 3\n", "U", std::nullopt, "lock_timeout=1", "", true, 1},
      {"no limit of the server's", nullptr, "U", std::nullopt, "lock_timeout=0", "", true, 0},
      // The allow-list holds for the caller's own database too.
      {"its own file, not on the allow-list", "allowed_databases = {data}/other.fdb\n", "U",
       std::nullopt, nullptr, "is not admitted by allowed_databases"},
      {"its own file, denied after the caller's rule", "allowed_databases = {data}/own.fdb\n", "U",
       "{data}/other.fdb", nullptr, not_this},
      // Only the server's configuration gives the module's login: then any
      // target the configuration admits, named explicitly.
      {"the module's login needs a target", "procedure_identity = module\n", "U", std::nullopt,
       nullptr, "The database path is NULL"},
      {"the module's login reaches another file", "procedure_identity = module\n", "U",
       "{data}/other.fdb", nullptr, "", false},
      {"the module's login keeps the allow-list",
       "procedure_identity = module\nallowed_databases = {data}/own.fdb\n", "U", "{data}/other.fdb",
       nullptr, "is not admitted by allowed_databases", false},
  };
  const auto expand = [this](std::string text) {
    for (std::size_t at; (at = text.find("{data}")) != std::string::npos;)
      text.replace(at, 6, (root_ / "data").string());
    return text;
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Configure(row.conf == nullptr ? nullptr : expand(row.conf).c_str());
    std::optional<std::string> target;
    if (row.target) target = expand(*row.target);
    const PreparedRun prepared(platform_, platform_, Request(row.user, target, row.options));
    const std::vector<std::string> log = TakeLogLines();
    if (!row.refusal.empty()) {
      ASSERT_TRUE(prepared.Refused());
      EXPECT_THAT(prepared.RefusalText(), HasSubstr(row.refusal));
      // TOLVANE_RUN's result row holds the message alone.
      EXPECT_EQ(prepared.RefusalText(), prepared.RefusalMessage());
      EXPECT_EQ(prepared.Run(), nullptr);
      // The refused call's record names the target as the caller gave it.
      ASSERT_EQ(log.size(), 2u);
      EXPECT_THAT(log[0], HasSubstr("\"database\":\"" + target.value_or("") + "\""));
      EXPECT_THAT(log[0], HasSubstr("\"routine\":\"TOLVANE_RUN\""));
      continue;
    }
    ASSERT_FALSE(prepared.Refused()) << prepared.RefusalText();
    ASSERT_NE(prepared.Run(), nullptr);
    EXPECT_TRUE(log.empty()) << "a run log before the run starts";
    const RunSettings& settings = prepared.Settings();
    EXPECT_EQ(settings.attachment != nullptr, row.on_attachment);
    EXPECT_EQ(settings.owner, row.user);
    EXPECT_EQ(settings.lock_timeout, row.lock_timeout);
    if (row.on_attachment) {
      EXPECT_FALSE(settings.identity) << "a login sent on the caller's attachment";
    }
  }
  EXPECT_TRUE(fakedrv::Log().empty()) << "a driver call before any run was stepped";
}

// One user's open cursors cannot take every run of the server process: the
// configured bound counts each user's prepared runs, and a refusal names it.
TEST_F(RunRequestTest, TheBoundPerUserCountsEachCallersRuns) {
  Configure("max_runs_per_user = 1\n");
  const PreparedRun first(platform_, platform_, Request("U", std::nullopt, nullptr));
  const PreparedRun second(platform_, platform_, Request("U", std::nullopt, nullptr));
  const PreparedRun other(platform_, platform_, Request("V", std::nullopt, nullptr));
  ASSERT_NE(second.Run(), nullptr);
  StatementOutcome outcome;
  while (second.Run()->Step(&outcome)) EXPECT_EQ(outcome.status, OutcomeStatus::kNotRun);
  EXPECT_EQ(second.Run()->ResultText(),
            "Run refused: 1 runs of user 'U' are already active (the bound per user, "
            "max_runs_per_user)   -    ");
  EXPECT_TRUE(fakedrv::Log().empty());
  ASSERT_NE(other.Run(), nullptr);
  while (other.Run()->Step(&outcome)) {
  }
  EXPECT_TRUE(other.Run()->ResultOk()) << other.Run()->ResultText();
}

}  // namespace
}  // namespace tolvane
