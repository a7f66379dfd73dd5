// The settings table and its one resolver: which source wins for every
// setting, the bound a run's connection gets, and the table held against the
// parsers, the driver's built-in values, the template and the README.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>

#include "fakes/support/FakePlatform.h"
#include "fbdrv/ConnectTimeout.h"
#include "fbdrv/LockTimeout.h"
#include "script_runner/settings/ModuleConfig.h"
#include "script_runner/engine/RunLimits.h"
#include "script_runner/settings/RunOptions.h"
#include "script_runner/settings/SettingResolver.h"

namespace tolvane {
namespace {

using ::testing::HasSubstr;
using tolvane::testing::FakePlatform;

TEST(SettingResolver, EachSettingTakesTheHighestSourcePresent) {
  struct Row {
    SettingId id;
    const char* file;  // udftolvane.conf's text, read as /c.conf
    std::map<std::string, std::string> environment;
    const char* options;
    SettingReader reader;
    const char* value;
    const char* origin;
  } rows[] = {
      {SettingId::kLockTimeout, "", {}, "", SettingReader::kServer, "60", "default"},
      {SettingId::kLockTimeout, "lock_timeout = 7", {}, "", SettingReader::kServer, "7", "file:/c.conf:1"},
      {SettingId::kLockTimeout, "lock_timeout = 7", {{"TOLVANE_LOCK_TIMEOUT", "3"}}, "",
       SettingReader::kServer, "3", "env:TOLVANE_LOCK_TIMEOUT"},
      // The variable as the driver always read it: the default when it is
      // not a whole number, the most the server keeps when it is too large.
      {SettingId::kLockTimeout, "lock_timeout = 7", {{"TOLVANE_LOCK_TIMEOUT", "5s"}}, "",
       SettingReader::kServer, "60", "env:TOLVANE_LOCK_TIMEOUT"},
      {SettingId::kLockTimeout, "", {{"TOLVANE_LOCK_TIMEOUT", "99999999999999999999"}}, "",
       SettingReader::kServer, "32767", "env:TOLVANE_LOCK_TIMEOUT"},
      {SettingId::kLockTimeout, "", {{"TOLVANE_LOCK_TIMEOUT", "0"}}, "", SettingReader::kServer, "0",
       "env:TOLVANE_LOCK_TIMEOUT"},
      {SettingId::kLockTimeout, "\ndefault_options = lock_timeout=5", {{"TOLVANE_LOCK_TIMEOUT", "3"}},
       "", SettingReader::kServer, "5", "default_options:/c.conf:2"},
      {SettingId::kLockTimeout, "default_options = lock_timeout=5", {{"TOLVANE_LOCK_TIMEOUT", "3"}},
       "mode=bail; LOCK_TIMEOUT = nowait", SettingReader::kServer, "nowait", "option:options"},
      {SettingId::kConnectTimeout, "", {{"TOLVANE_CONNECT_TIMEOUT", "5"}}, "", SettingReader::kServer,
       "5", "env:TOLVANE_CONNECT_TIMEOUT"},
      {SettingId::kConnectTimeout, "", {{"TOLVANE_CONNECT_TIMEOUT", "x"}}, "", SettingReader::kServer,
       "30", "env:TOLVANE_CONNECT_TIMEOUT"},
      {SettingId::kFailureDir, "", {}, "", SettingReader::kServer, "/tmp", "default"},
      {SettingId::kFailureDir, "failure_dir = /f", {}, "", SettingReader::kServer, "/f", "file:/c.conf:1"},
      {SettingId::kFailureDir, "failure_dir = /f", {{"UDFTOLVANE_FAILURE_DIR", "/e"}}, "",
       SettingReader::kServer, "/e", "env:UDFTOLVANE_FAILURE_DIR"},
      {SettingId::kRunLogDir, "run_log_dir = /l", {{"UDFTOLVANE_RUN_LOG_DIR", ""}}, "",
       SettingReader::kServer, "/l", "file:/c.conf:1"},
      {SettingId::kRunLogDir, "run_log_dir = /l", {{"UDFTOLVANE_RUN_LOG_DIR", "/e"}}, "",
       SettingReader::kServer, "/e", "env:UDFTOLVANE_RUN_LOG_DIR"},
      // The Firebird tools' login variables are tolvane-exec's, never the
      // server process's: they cannot change the module's login.
      {SettingId::kUser, "user = alice", {{"ISC_USER", "bob"}}, "", SettingReader::kServer, "alice",
       "file:/c.conf:1"},
      {SettingId::kUser, "user = alice", {{"ISC_USER", "bob"}}, "", SettingReader::kTool, "bob",
       "env:ISC_USER"},
      {SettingId::kPassword, "", {{"ISC_PASSWORD", "pw"}}, "", SettingReader::kServer, "", "default"},
      {SettingId::kPassword, "password = f", {{"ISC_PASSWORD", "pw"}}, "", SettingReader::kTool, "pw",
       "env:ISC_PASSWORD"},
      // A server-only setting is never taken from options.
      {SettingId::kMaxRunsPerUser, "max_runs_per_user = 4", {}, "", SettingReader::kServer, "4",
       "file:/c.conf:1"},
      {SettingId::kAllowedDatabases, "allowed_databases = /a/ ;; /b", {}, "", SettingReader::kServer,
       "/a/; /b", "file:/c.conf:1"},
      {SettingId::kDenySecurityDatabase, "deny_security_database = on", {}, "", SettingReader::kServer,
       "yes", "file:/c.conf:1"},
      {SettingId::kProcedureIdentity, "procedure_identity = MODULE", {}, "", SettingReader::kServer,
       "module", "file:/c.conf:1"},
      {SettingId::kMode, "default_options = mode=atomic", {}, "", SettingReader::kServer, "atomic",
       "default_options:/c.conf:1"},
      {SettingId::kMode, "default_options = mode=atomic", {}, "dialect=isql;mode=bail",
       SettingReader::kServer, "bail", "option:options"},
      {SettingId::kFailureFiles, "", {}, "failure_files=off", SettingReader::kServer, "off",
       "option:options"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(Setting(row.id).name) + " / " + row.file + " / " + row.options);
    FakePlatform platform;
    platform.get_environment = [&](const std::string& name) {
      const auto found = row.environment.find(name);
      return found != row.environment.end() ? found->second : std::string();
    };
    const ModuleConfig config = ParseModuleConfig(row.file, "/c.conf");
    const ResolvedValue value =
        ResolveSetting(platform, row.id, LayersOf(row.id, &config, row.options), row.reader);
    EXPECT_EQ(value.text, row.value);
    EXPECT_EQ(OriginText(value.origin), row.origin);
  }
}

// What the process sets (TOLVANE_LOCK_TIMEOUT, else 60) reaches the driver as
// the connection's own lock timeout; on a caller's own attachment it bounds
// what the run asks.
TEST(SettingResolver, ConnectionLockTimeoutIsBoundedOnlyOnAnAttachmentSomeoneElseHolds) {
  struct Row {
    std::optional<int> asked;
    bool adopted;
    int process;
    int in_force;
  } rows[] = {
      {{}, false, 60, 60}, {{}, false, 0, 0},  {5, false, 60, 5},  {120, false, 60, 120},
      {{}, true, 3, 3},    {0, true, 3, 3},    {10, true, 3, 3},   {2, true, 3, 2},
      {0, true, 0, 60},    {100, true, 0, 60}, {{}, true, 120, 120}, {100, true, 60, 60},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.asked.value_or(-1)) + (row.adopted ? " adopted " : " own ") +
                 std::to_string(row.process));
    EXPECT_EQ(ConnectionLockTimeout(row.asked, row.adopted, row.process, 60), row.in_force);
  }
}

TEST(SettingsTable, ParsersAndTheDriverAgreeWithTheTable) {
  EXPECT_EQ(std::to_string(fbdrv::kDefaultLockTimeout), Setting(SettingId::kLockTimeout).default_text);
  EXPECT_EQ(std::to_string(fbdrv::kDefaultConnectTimeout),
            Setting(SettingId::kConnectTimeout).default_text);
  try {
    ParseModuleConfig("no_such = 1", "/c.conf");
    ADD_FAILURE() << "an unknown name was taken";
  } catch (const EModuleConfig& e) {
    EXPECT_THAT(e.Message(), HasSubstr("the settings are " + FileSettingNames()));
  }
  for (const SettingRow& row : SettingsTable()) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(FindSetting(row.name) != nullptr, row.in_file || row.option != nullptr);
    // Every default the template shows is one the parsers take.
    if (row.in_file && *row.default_text != '\0') {
      EXPECT_NO_THROW(ParseModuleConfig(std::string(row.name) + " = " + row.default_text, "/c.conf"));
    }
    if (row.option != nullptr && *row.default_text != '\0') {
      EXPECT_NO_THROW(ParseRunOptions(std::string(row.option) + "=" + row.default_text));
    }
    // A server-only setting has no name in a caller's options.
    if (row.set_by == SetBy::kServer) {
      EXPECT_EQ(row.option, nullptr);
    }
  }
}

std::string SourceFile(const std::string& relative) {
  std::ifstream in(std::string(TOLVANE_SOURCE_DIR) + "/" + relative, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The template shows every setting of the file, commented out, with its
// default; the configuration page shows the template and a row for every
// setting.
TEST(SettingsTable, TheTemplateAndTheReadmeShowEverySettingWithItsDefault) {
  const std::string conf_template = SourceFile("scripts/udftolvane.conf.template");
  const std::string readme = SourceFile("docs/configuration.md");
  ASSERT_FALSE(conf_template.empty());
  EXPECT_NE(readme.find("```ini\n" + conf_template + "```"), std::string::npos)
      << "docs/configuration.md's copy of the template differs";
  std::map<std::string, std::string> shown;
  const std::regex line(R"(^#([a-z_]+) =(?: (.*))?$)");
  std::istringstream lines(conf_template);
  for (std::string text; std::getline(lines, text);) {
    std::smatch match;
    if (std::regex_match(text, match, line)) shown[match[1]] = match[2];
  }
  std::set<std::string> in_table;
  for (const SettingRow& row : SettingsTable()) {
    // The page's table: | `name` | variable | option | default | ... |
    const std::string readme_row = std::string("| `") + row.name + "` | " +
                                   (row.variable ? std::string("`") + row.variable + "`" : "") +
                                   " | " + (row.flag ? std::string("`") + row.flag + "`" : "") +
                                   " | " + (*row.default_text ? std::string("`") + row.default_text + "`" : "") + " |";
    EXPECT_NE(readme.find(readme_row), std::string::npos) << "docs/configuration.md lacks the row " << readme_row;
    if (!row.in_file) continue;
    in_table.insert(row.name);
    const auto found = shown.find(row.name);
    if (found == shown.end()) {
      ADD_FAILURE() << row.name << " is not in the template";
      continue;
    }
    EXPECT_EQ(found->second, row.default_text) << row.name;
  }
  for (const auto& [name, value] : shown) EXPECT_TRUE(in_table.count(name)) << name << " is not in the table";
}

}  // namespace
}  // namespace tolvane
