// udftolvane.conf: the parser's verdicts, where the file is found and what
// its modes allow, the target rules on real folders and links, and what a
// run through RunScript sees of it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <fstream>

#include "FakeDriverSetup.h"
#include "ScriptBlob.h"
#include "script_runner/engine/AdmittedFileCheck.h"
#include "script_runner/settings/ConfigFile.h"
#include "script_runner/settings/DatabaseTarget.h"
#include "script_runner/settings/ModuleConfig.h"
#include "script_runner/function/ScriptRunner.h"

namespace tolvane {
namespace {

using ::testing::HasSubstr;
using tolvane::testing::FakePlatform;
using tolvane::testing::PlatformCall;
using tolvane::testing::ScriptBlob;
namespace fs = std::filesystem;

TEST(ModuleConfigParse, EachLineGivesItsSettingOrNamesItsProblem) {
  struct Row {
    const char* text;
    const char* problem;  // empty: parses
  } rows[] = {
      {"", ""},
      {"# only a comment\n\n   \r\n", ""},
      {"USER = alice\r\nPassword = \"p#ss word\"  # quoted keeps the hash\n", ""},
      {"allowed_databases = /db/ ; /x/*.fdb;employee\n", ""},
      {"lock_timeout = nowait\ndefault_options = mode=batch; dialect=isql\n", ""},
      {"usr = alice", "line 1: unknown setting 'usr'; the settings are user,"},
      {"\n\nuser", "line 3: expected name = value"},
      {"user = a\nUSER = b", "line 2: user is set twice (first on line 1)"},
      {"deny_security_database = maybe", "line 1: bad value 'maybe' for deny_security_database"},
      {"lock_timeout = 5;mode=atomic", "line 1: bad value '5;mode=atomic' for lock_timeout"},
      {"lock_timeout = -1", "line 1: Bad value '-1' for option lock_timeout"},
      {"default_options = mode=fast", "line 1: default_options: Bad value 'fast' for option mode"},
      {"procedure_identity = root", "line 1: bad value 'root' for procedure_identity"},
      {"max_runs_per_user = 4", ""},
      {"max_runs_per_user = 0", "line 1: bad value '0' for max_runs_per_user"},
      {"max_runs_per_user = 129", "line 1: bad value '129' for max_runs_per_user"},
      {"max_runs_per_user = 4x", "line 1: bad value '4x' for max_runs_per_user"},
      {"failure_dir = tmp/x", "line 1: failure_dir must be an absolute path"},
      {"allowed_databases = db/x.fdb", "entry 'db/x.fdb' is neither an absolute path nor an alias"},
      {"password = \"open", "line 1: the value's double quote is never closed"},
      {"password = a\npassword_file = /p", "line 2: give password or password_file, not both"},
      {"lock_timeout = 3\ndefault_options = lock_timeout=4",
       "line 2: lock_timeout is given both as a setting and in default_options"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    if (*row.problem == '\0') {
      EXPECT_NO_THROW(ParseModuleConfig(row.text, "/etc/u.conf"));
      continue;
    }
    try {
      ParseModuleConfig(row.text, "/etc/u.conf");
      ADD_FAILURE() << "parsed";
    } catch (const EModuleConfig& e) {
      EXPECT_THAT(e.Message(), HasSubstr("Configuration /etc/u.conf, "));
      EXPECT_THAT(e.Message(), HasSubstr(row.problem));
    }
  }
  const ModuleConfig config = ParseModuleConfig(
      "USER = alice\nPassword = \"p#ss word\" # c\nallowed_databases = /db/ ; ;emp\n"
      "deny_security_database = Yes\nlock_timeout = nowait\n",
      "f");
  EXPECT_EQ(config.user.value, "alice");
  EXPECT_EQ(config.password.value, "p#ss word");
  EXPECT_EQ(config.password.line, 2);
  EXPECT_EQ(config.allowed_databases.value, (std::vector<std::string>{"/db/", "emp"}));
  EXPECT_TRUE(config.deny_security_database.value);
  EXPECT_EQ(config.lock_timeout.value, kLockNoWait);
}

// A scratch folder standing for the module's, the server's configuration
// folder, and the databases.
class ConfigFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Not under the system's temporary folder: a folder others can write
    // on the way refuses every configuration file below it.
    std::string pattern = fs::current_path() / "tolvane_conf_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    for (const char* folder : {"module", "server", "db", "other"}) fs::create_directory(root_ / folder);
    platform_.module_folder = [this] { return (root_ / "module").string(); };
    platform_.firebird_directory = [this](FirebirdFolder folder) {
      return folder == FirebirdFolder::kConfig ? (root_ / "server").string() : root_.string();
    };
    platform_.firebird_setting = [this](const std::string&) {
      return (root_ / "other" / "security3.fdb").string();
    };
    platform_.get_environment = [this](const std::string& name) {
      const auto found = environment_.find(name);
      return found != environment_.end() ? found->second : std::string();
    };
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string Write(const std::string& relative, const std::string& text,
                    fs::perms perms = fs::perms(0640)) {
    const fs::path path = root_ / relative;
    std::ofstream(path, std::ios::binary) << text;
    fs::permissions(path, perms);
    return path.string();
  }

  std::string LoadError() {
    try {
      LoadModuleConfig(platform_, platform_);
    } catch (const EModuleConfig& e) {
      return e.Message();
    }
    return std::string();
  }

  fs::path root_;
  FakePlatform platform_;
  std::map<std::string, std::string> environment_;
};

TEST_F(ConfigFilesTest, TheFirstPlaceThatHoldsAFileIsRead) {
  EXPECT_FALSE(LoadModuleConfig(platform_, platform_).has_value());
  Write("server/udftolvane.conf", "user = from_server\n");
  EXPECT_EQ(LoadModuleConfig(platform_, platform_)->user.value, "from_server");
  Write("module/udftolvane.conf", "user = from_module\n");
  EXPECT_EQ(LoadModuleConfig(platform_, platform_)->user.value, "from_module");
  environment_["UDFTOLVANE_CONF"] = (root_ / "missing.conf").string();
  EXPECT_EQ(LoadModuleConfig(platform_, platform_)->user.value, "from_module");
  environment_["UDFTOLVANE_CONF"] = Write("mine.conf", "user = from_variable\n");
  EXPECT_EQ(LoadModuleConfig(platform_, platform_)->user.value, "from_variable");
}

TEST_F(ConfigFilesTest, UnsafeOrUnreadableFilesAreRefusedWithTheirReason) {
  struct Row {
    const char* conf;
    fs::perms perms;
    const char* password_file;  // written 0644 when not empty
    int fail_read;              // errno for the read, 0: none
    const char* reason;         // empty: accepted
  } rows[] = {
      {"user = a\n", fs::perms(0644), "", 0, ""},
      {"user = a\n", fs::perms(0646), "", 0, "refused: others can write it (mode 0646)"},
      {"password = s\n", fs::perms(0644), "", 0,
       "line 1: refused: it holds a password that others can read (mode 0644)"},
      {"password = s\n", fs::perms(0640), "", 0, ""},
      {"password_file = @\n", fs::perms(0640), "s\n", 0,
       "line 1: password_file @ is refused: users other than its owner can read or write it"},
      {"user = a\n", fs::perms(0640), "", EACCES, "cannot be read: Permission denied"},
      {"user = a\nport = 1\n", fs::perms(0640), "", 0, "line 2: unknown setting 'port'"},
  };
  const std::string secret = (root_ / "secret").string();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.conf);
    std::string conf = row.conf;
    if (const std::size_t at = conf.find('@'); at != std::string::npos) conf.replace(at, 1, secret);
    environment_["UDFTOLVANE_CONF"] = Write("u.conf", conf, row.perms);
    if (*row.password_file != '\0') Write("secret", row.password_file, fs::perms(0644));
    platform_.FailNth(PlatformCall::kReadFile, row.fail_read != 0 ? 1 : 0, row.fail_read);
    std::string reason = row.reason;
    if (const std::size_t at = reason.find('@'); at != std::string::npos) reason.replace(at, 1, secret);
    const std::string error = LoadError();
    if (reason.empty()) {
      EXPECT_EQ(error, "");
    } else {
      EXPECT_THAT(error, HasSubstr("Configuration " + (root_ / "u.conf").string()));
      EXPECT_THAT(error, HasSubstr(reason));
    }
  }
  platform_.FailNth(PlatformCall::kReadFile, 0);
  environment_["UDFTOLVANE_CONF"] = root_.string();  // a folder
  EXPECT_THAT(LoadError(), HasSubstr("is not a regular file"));

  // The password file's first line is the password.
  environment_["UDFTOLVANE_CONF"] = Write("u.conf", "password_file = " + secret + "\n");
  Write("secret", "first\r\nsecond\n", fs::perms(0600));
  EXPECT_EQ(ModuleIdentity(*LoadModuleConfig(platform_, platform_))->password, "first");
}

// Each row plants one thing a user other than the server's owners could have
// done; the fake tells owners and modes the test cannot set for real.
TEST_F(ConfigFilesTest, OnlyFilesTheServersOwnersControlAreRead) {
  const std::string root = root_.string();
  const std::string secret = root + "/secret";
  Write("secret", "pw\n", fs::perms(0600));
  fs::create_directory(root_ / "open");
  fs::create_directory_symlink(root_ / "open", root_ / "via");
  Write("open/u.conf", "user = a\n");
  struct Row {
    const char* conf;              // relative to root_
    const char* changed;           // whose facts change (relative; "" for root_ itself)
    unsigned long owner;           // its owner, when set
    unsigned mode;                 // its mode, when set
    unsigned long server_user;     // the process's effective user
    const char* reason;            // empty: read
  } rows[] = {
      {"u.conf", "u.conf", 1000, 0, 0, "refused: it belongs to user 1000, not to root or the server's user (0)"},
      {"u.conf", "u.conf", 1000, 0, 1000, ""},
      {"u.conf", "u.conf", 0, 0, 1000, ""},
      {"u.conf", "u.conf", 0, 0664, 0, "refused: its group can write it (mode 0664)"},
      {"u.conf", "", 0, 01777, 0, "refused: folder @ on the way to it can be written by others (mode 1777)"},
      {"u.conf", "", 0, 0775, 0, "refused: folder @ on the way to it can be written by its group"},
      {"u.conf", "", 1000, 0, 0, "refused: folder @ on the way to it belongs to user 1000"},
      // A folder reached through a link counts where the link leads.
      {"via/u.conf", "open", 0, 01777, 0, "refused: folder @/open on the way to it can be written"},
      {"link.conf", "", 0, 0, 0, "refused: it is a symbolic link"},
      {"pw.conf", "secret", 1000, 0, 0,
       "line 2: password_file @/secret is refused: it belongs to user 1000"},
  };
  fs::create_symlink(root_ / "u.conf", root_ / "link.conf");
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.conf) + " " + row.reason);
    Write("u.conf", "user = a\n");
    Write("pw.conf", "user = a\npassword_file = " + secret + "\n");
    const std::string changed = *row.changed == '\0' ? root : root + "/" + row.changed;
    platform_.adjust_facts = [&](const std::string& path, FileFacts* facts) {
      if (path != changed) return;
      if (row.owner != 0) facts->owner = row.owner;
      if (row.mode != 0) facts->mode = row.mode;
    };
    platform_.effective_user = [&] { return row.server_user; };
    environment_["UDFTOLVANE_CONF"] = root + "/" + row.conf;
    std::string reason = row.reason;
    if (const std::size_t at = reason.find('@'); at != std::string::npos) reason.replace(at, 1, root);
    if (reason.empty()) EXPECT_EQ(LoadError(), "");
    else EXPECT_THAT(LoadError(), HasSubstr(reason));
  }
}

TEST_F(ConfigFilesTest, RunSettingsTakeTheFileAndTheLockWaitGivesWayToTheVariable) {
  environment_["UDFTOLVANE_CONF"] =
      Write("u.conf", "lock_timeout = 7\ndefault_options = mode=atomic\nrole = R\n");
  const RunSettings settings = ConfiguredRunSettings(platform_, *LoadModuleConfig(platform_, platform_));
  EXPECT_EQ(settings.lock_timeout, 7);
  EXPECT_EQ(settings.mode, RunMode::kAtomic);
  EXPECT_EQ(settings.identity->user, "SYSDBA");
  EXPECT_EQ(settings.identity->password, kRunnerPassword);
  EXPECT_EQ(settings.identity->role, "R");
  environment_["TOLVANE_LOCK_TIMEOUT"] = "3";
  EXPECT_FALSE(ConfiguredRunSettings(platform_, *LoadModuleConfig(platform_, platform_)).lock_timeout);
}

TEST_F(ConfigFilesTest, NoSpellingOfATargetGetsAroundTheRules) {
  Write("db/in.fdb", "");
  Write("other/out.fdb", "");
  Write("other/security3.fdb", "");
  Write("other/sec2.fdb", "");
  Write("other/x.fdb", "");
  fs::create_directory_symlink(root_ / "other", root_ / "db" / "link");
  fs::create_symlink(root_ / "other" / "out.fdb", root_ / "db" / "alias_file.fdb");
  Write("server/databases.conf",
        "inside = " + (root_ / "db" / "in.fdb").string() + "\noutside = $(root)/other/out.fdb\n{\n"
        "  SecurityDatabase = " + (root_ / "other" / "sec2.fdb").string() + "\n}\n");
  const std::string db = (root_ / "db").string();
  const ModuleConfig config = ParseModuleConfig(
      "allowed_databases = " + db + "/\ndeny_security_database = yes\n", "/c.conf");
  struct Row {
    std::string target;
    std::string refusal;  // empty: admitted
  } rows[] = {
      {db + "/in.fdb", ""},
      {"localhost:" + db + "/in.fdb", ""},
      {"LocalHost/3051:" + db + "/./in.fdb", ""},
      {"inside", ""},
      {"localhost:inside", ""},
      {db + "/new.fdb", "(" + db + "/new.fdb) cannot be compared as a file"},
      {db + "/../other/out.fdb", "is not admitted by allowed_databases (Configuration /c.conf, line 1)"},
      {db + "/link/out.fdb", "is not admitted by allowed_databases"},
      {db + "/alias_file.fdb", "is not admitted by allowed_databases"},
      {"outside", "is not admitted by allowed_databases"},
      {"inside/../x", "is neither an alias of the server's databases.conf nor an absolute path"},
      {"far.example:" + db + "/in.fdb", "names another server (far.example)"},
      {(root_ / "other" / "security3.fdb").string(),
       "is the server's security database (" + (root_ / "other" / "security3.fdb").string() +
           "); deny_security_database (Configuration /c.conf, line 2) forbids it"},
      {db + "/link/sec2.fdb", "is the server's security database"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.target);
    const std::string refusal = TargetRefusal(platform_, platform_, config, row.target);
    if (row.refusal.empty()) EXPECT_EQ(refusal, "");
    else EXPECT_THAT(refusal, HasSubstr(row.refusal));
  }
  // A second name of the security database, under either rule alone.
  fs::create_hard_link(root_ / "other" / "security3.fdb", root_ / "db" / "second.fdb");
  for (const char* rule : {"deny_security_database = yes", "allowed_databases = /"}) {
    const ModuleConfig one = ParseModuleConfig(std::string(rule) + "\n", "/c.conf");
    EXPECT_THAT(TargetRefusal(platform_, platform_, one, db + "/second.fdb"),
                HasSubstr("is a file with 2 names (hard links)"));
  }
  fs::remove(root_ / "db" / "second.fdb");
  // Patterns and aliases in the list; an alias the server does not hold fails.
  const ModuleConfig listed = ParseModuleConfig(
      "allowed_databases = " + (root_ / "oth*" / "*.fdb").string() + ";outside\n", "/c.conf");
  EXPECT_EQ(TargetRefusal(platform_, platform_, listed, (root_ / "other" / "x.fdb").string()), "");
  EXPECT_EQ(TargetRefusal(platform_, platform_, listed, db + "/link/out.fdb"), "");
  EXPECT_THAT(TargetRefusal(platform_, platform_, listed, db + "/in.fdb"), HasSubstr("is not admitted"));
  EXPECT_THAT(TargetRefusal(platform_, platform_, ParseModuleConfig("allowed_databases = nosuch", "/c"),
                            db + "/in.fdb"),
              HasSubstr("names alias 'nosuch', which the server's databases.conf does not hold"));
}

class ConfiguredRunTest : public ConfigFilesTest {
 protected:
  void SetUp() override {
    ConfigFilesTest::SetUp();
    fakedrv::Reset();
    fakedrv::UseFakeDriver(platform_);
    environment_["UDFTOLVANE_CONF"] = (root_ / "u.conf").string();
  }
  void TearDown() override {
    EXPECT_EQ(fakedrv::LiveTotal(), 0);
    ConfigFilesTest::TearDown();
  }
  std::string Run(const std::string& script, const std::string& path) {
    fakedrv::ClearLog();
    return RunScript(platform_, platform_, ScriptBlob(script).Callback(), path.c_str());
  }
};

TEST_F(ConfiguredRunTest, AnEmptyFileChangesNoDriverCallAndAChangeAppliesToTheNextCall) {
  const std::string db = (root_ / "db" / "x.fdb").string();
  EXPECT_EQ(Run("SELECT 1 FROM RDB$DATABASE\n", db), "ok");
  const std::vector<std::string> without = fakedrv::Log();
  Write("u.conf", "");
  fakedrv::Reset();  // connections are numbered from 1 again
  EXPECT_EQ(Run("SELECT 1 FROM RDB$DATABASE\n", db), "ok");
  EXPECT_EQ(fakedrv::Log(), without);

  Write("u.conf", "user = ALICE\npassword = s3\nallowed_databases = " + (root_ / "db").string() + "/\n",
        fs::perms(0600));
  Write("db/x.fdb", "");
  EXPECT_EQ(Run("", db), "ok");
  // A login of its own goes through the server, which checks its password.
  EXPECT_THAT(fakedrv::Log(), ::testing::Contains("AttachDatabase db=localhost:" + db +
                                                  " user=ALICE password=s3"));
  const std::string refused = Run("", (root_ / "other" / "x.fdb").string());
  EXPECT_THAT(refused, HasSubstr("Run refused: database '"));
  EXPECT_TRUE(fakedrv::Log().empty()) << "refused before any driver call";

  Write("u.conf", "users = x\n");
  EXPECT_THAT(Run("", db), HasSubstr("line 1: unknown setting 'users'"));
  EXPECT_TRUE(fakedrv::Log().empty());
}

// Whatever name the target had at the check, the run goes on only on the file
// admitted: otherwise its connection is closed before the script's first
// statement.
TEST_F(ConfiguredRunTest, TheRunConfirmsItOpenedTheFileAdmitted) {
  const std::string db = (root_ / "db" / "x.fdb").string();
  Write("db/x.fdb", "");
  Write("u.conf", "allowed_databases = " + (root_ / "db").string() + "/\n");
  const std::string check = "ExecuteSqlText sql=" + AdmittedNameCheck(db);
  struct Row {
    const char* name;
    std::function<void()> swap;
    const char* refusal;  // empty: the script runs
  } rows[] = {
      {"same file", [] {}, ""},
      {"the server names another",
       [&] { fakedrv::FailCall(check, 1, 65, "Integer divide by zero.\nSQLSTATE = 22012"); },
       "the server names it otherwise"},
      {"another file took the name",
       [&] {
         platform_.adjust_facts = [&](const std::string& path, FileFacts* facts) {
           if (path == db && fakedrv::Log().size() > 2) facts->identity.file += 1;
         };
       },
       "another file took its name"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    platform_.adjust_facts = nullptr;
    fakedrv::ClearLog();
    row.swap();
    const std::string result = RunScript(
        platform_, platform_, ScriptBlob("INSERT INTO T VALUES (1)\n").Callback(), db.c_str());
    const std::vector<std::string> log = fakedrv::Log();
    EXPECT_THAT(log, ::testing::Contains(::testing::StartsWith(check)));
    if (*row.refusal == '\0') {
      EXPECT_EQ(result, "ok");
      continue;
    }
    EXPECT_THAT(result, HasSubstr("is not the file admitted (" + db + "): " + row.refusal +
                                  "; it was closed before any statement ran"));
    EXPECT_THAT(log, ::testing::Not(::testing::Contains(::testing::HasSubstr("INSERT"))));
    EXPECT_THAT(log, ::testing::Contains(::testing::StartsWith("DetachDatabase")));
  }
}

TEST_F(ConfiguredRunTest, TheFailureFolderOfTheFileGivesWayToTheVariable) {
  const std::string db = (root_ / "db" / "x.fdb").string();
  Write("u.conf", "failure_dir = " + (root_ / "other").string() + "\n");
  fakedrv::FailCall("ExecuteSqlText sql=BAD", 0, 65, "Token unknown");
  EXPECT_EQ(Run("BAD\n", db), "ok");
  EXPECT_TRUE(fs::exists(root_ / "other" / "TESTE0.TXT"));
  environment_["UDFTOLVANE_FAILURE_DIR"] = (root_ / "db").string();
  fakedrv::FailCall("ExecuteSqlText sql=BAD", 0, 65, "Token unknown");
  EXPECT_EQ(Run("BAD\n", db), "ok");
  EXPECT_TRUE(fs::exists(root_ / "db" / "TESTE0.TXT"));
}

}  // namespace
}  // namespace tolvane
