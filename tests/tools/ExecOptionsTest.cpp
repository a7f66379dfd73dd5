// tolvane-exec's command line: what each form gives, and what it refuses.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/ExecOptions.h"

namespace tolvane::exec {
namespace {

using ::testing::HasSubstr;

TEST(ExecOptions, EachCommandLineGivesItsOptionsOrNamesItsProblem) {
  struct Row {
    std::vector<std::string> args;
    const char* error;  // empty: taken
    // What a taken line gives: "field=value" checks, ";"-separated.
    const char* gives;
    const char* run_options = nullptr;  // the options text the flags make
  } rows[] = {
      {{"-d", "/x.fdb", "s.sql"}, "", "database=/x.fdb;script=s.sql;config=;no_config=0"},
      {{"--database", "/x.fdb", "--mode", "batch", "--lock-timeout", "nowait", "-"}, "", "script=-",
       "mode=batch;lock_timeout=nowait;"},
      {{"--database", "/x.fdb", "--config", "/etc/u.conf", "--user", "ALICE", "--role", "R",
        "--password-file", "/p", "-"},
       "", "config=/etc/u.conf;user=ALICE;role=R;password_file=/p"},
      {{"--database", "/x.fdb", "--no-config", "-"}, "", "no_config=1"},
      {{"--show-settings"}, "", "show=1;database="},
      {{"--show-settings", "--config", "/u.conf", "--mode", "atomic"}, "", "show=1;config=/u.conf"},
      // A password is never a command-line value: ps and shell histories show it.
      {{"--database", "/x.fdb", "--password", "secret", "-"}, "never a command-line value", ""},
      {{"--database", "/x.fdb", "--config", "/u.conf", "--no-config", "-"}, "not both", ""},
      {{"--database", "/x.fdb", "--user", "", "-"}, "--user needs a value", ""},
      {{"--database", "/x.fdb", "--config"}, "--config needs a value", ""},
      {{"--show-settings", "s.sql"}, "takes no script", ""},
      {{"--show-settings", "--module", "/m.so"}, "not a module's", ""},
      {{"--database", "/x.fdb", "--module", "/m.so", "--user", "A", "-"}, "its own configuration", ""},
      {{"--database", "/x.fdb", "--module", "/m.so", "--no-config", "-"}, "its own configuration", ""},
      {{"--database", "/x.fdb", "--module", "/m.so", "--mode", "bail", "-"}, "no run options", ""},
      {{"--database", "/x.fdb", "--mode", "fast", "-"}, "Bad value 'fast' for option mode", ""},
      {{"--database", "/x.fdb", "--mode", "bail", "--options", "mode=atomic", "-"}, "given twice", ""},
      {{"s.sql"}, "--database is missing", ""},
      {{"--database", "/x.fdb"}, "the script file is missing", ""},
      {{"--database", "/x.fdb", "a.sql", "b.sql"}, "only one script", ""},
      {{"--database", "/x.fdb", "--segment-size", "65536", "-"}, "from 1 to 65535", ""},
      {{"--database", "/x.fdb", "--report", "xml", "-"}, "text, json or none", ""},
      {{"--database", "/x.fdb", "--verbose", "-"}, "unknown option --verbose", ""},
      // Many databases.
      {{"--targets", "t.txt", "--jobs", "4", "--jobs-per-host", "2", "--journal", "j", "s.sql"}, "",
       "fleet=1;jobs=4;per_host=2;journal=j"},
      {{"-d", "/a.fdb", "-d", "/b.fdb", "--resume", "j", "--yes", "-"}, "", "fleet=1;database=/b.fdb;resume=j"},
      {{"--targets", "-", "-"}, "both the script and the targets", ""},
      {{"-d", "/a.fdb", "--jobs", "2", "-"}, "are for many databases", ""},
      {{"-d", "/a.fdb", "--yes", "-"}, "are for many databases", ""},
      {{"--targets", "t.txt", "--jobs", "0", "-"}, "from 1 to 64", ""},
      {{"--targets", "t.txt", "--jobs-per-host", "65", "-"}, "from 1 to 64", ""},
      {{"--targets", "t.txt", "--history"}, "take one --database", ""},
      {{"-d", "/a.fdb", "-d", "/b.fdb", "--module", "/m.so", "-"}, "take one --database", ""},
  };
  for (const Row& row : rows) {
    std::string line;
    for (const std::string& arg : row.args) line += arg + " ";
    SCOPED_TRACE(line);
    if (*row.error != '\0') {
      try {
        ParseExecOptions(row.args);
        ADD_FAILURE() << "taken";
      } catch (const UsageError& e) {
        EXPECT_THAT(e.what(), HasSubstr(row.error));
      }
      continue;
    }
    const ExecOptions options = ParseExecOptions(row.args);
    const std::string fields[][2] = {
        {"database", options.database},         {"script", options.script_file},
        {"config", options.config_file},
        {"no_config", options.no_config ? "1" : "0"}, {"user", options.user},
        {"role", options.role},                 {"password_file", options.password_file},
        {"show", options.show_settings ? "1" : "0"},
        {"fleet", options.Fleet() ? "1" : "0"},  {"jobs", std::to_string(options.jobs)},
        {"per_host", std::to_string(options.jobs_per_host)},
        {"journal", options.journal},           {"resume", options.resume},
    };
    if (row.run_options != nullptr) {
      EXPECT_EQ(options.run_options, row.run_options);
    }
    const std::string gives = row.gives;
    std::size_t start = 0;
    while (start < gives.size()) {
      std::size_t end = gives.find(';', start);
      if (end == std::string::npos) end = gives.size();
      const std::string check = gives.substr(start, end - start);
      start = end + 1;
      const std::size_t equals = check.find('=');
      const std::string name = check.substr(0, equals);
      bool known = false;
      for (const auto& field : fields) {
        if (field[0] != name) continue;
        known = true;
        EXPECT_EQ(field[1], check.substr(equals + 1)) << name;
      }
      EXPECT_TRUE(known) << name;
    }
  }
}

}  // namespace
}  // namespace tolvane::exec
