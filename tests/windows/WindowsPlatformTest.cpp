// The Windows platform through the real system calls, under Wine: settings
// read from the registry, the executable's folder, failure files created
// with no sharing, D: absent or present (scripts/wine-run.sh maps it), new
// files, file facts, real paths and the allow-list's path patterns.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#undef LoadLibrary

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "FakeDriverSetup.h"
#include "ScriptBlob.h"
#include "connection/RegistryFiles.h"
#include "runtime/Exceptions.h"
#include "runtime/FileWriter.h"
#include "script_runner/settings/DatabaseTarget.h"
#include "script_runner/settings/FirebirdConfig.h"
#include "runtime/PathPattern.h"
#include "script_runner/settings/CallerTarget.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using tolvane::testing::FakePlatform;

constexpr const char* kKey = "Software\\Tolvane\\SQLDrivers";

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// A folder of its own under the system's temporary folder.
class TempFolder {
 public:
  TempFolder() {
    char base[MAX_PATH + 1];
    DWORD n = ::GetTempPathA(sizeof base, base);
    path_ = std::string(base, n) + "tolvane-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(next_++);
    ::CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  static inline int next_ = 0;
  std::string path_;
};

// Sets a process environment variable for one test.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    ::SetEnvironmentVariableA(name, value.c_str());
  }
  ~ScopedVariable() { ::SetEnvironmentVariableA(name_, nullptr); }

 private:
  const char* name_;
};

// ---------------------------------------------------------------- registry

class RegistrySettings : public ::testing::Test {
 protected:
  void SetUp() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, kKey); }
  void TearDown() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, kKey); }

  static void Write(const char* name, DWORD type, const std::string& data) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                               static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
  }

  // The default path, beside this program.
  static std::string Beside(const std::string& file) {
    std::string folder = TOLVANE_TEST_PROGRAM_DIR;
    std::replace(folder.begin(), folder.end(), '/', '\\');
    return "Z:" + folder + "\\" + file;
  }
};

struct RegistryRow {
  const char* what;
  DWORD type;
  std::string data;     // written as is; strings carry their own NUL
  std::string outcome;  // the path found, or the error's message
};

TEST_F(RegistrySettings, EachValueTypeReadsAsTheLayerExpects) {
  const std::string invalid = "Invalid data type for 'Driver Registry File'";
  const RegistryRow rows[] = {
      {"string", REG_SZ, std::string("C:\\cfg\\drivers.ini", 19), "C:\\cfg\\drivers.ini"},
      {"expandable, used literally", REG_EXPAND_SZ, std::string("%TEMP%\\d.ini", 13), "%TEMP%\\d.ini"},
      {"text ends at a NUL", REG_SZ, std::string("a.ini\0b.ini", 12), "a.ini"},
      {"empty string", REG_SZ, std::string("", 1), Beside("sqldrivers.ini")},
      {"empty binary", REG_BINARY, "", Beside("sqldrivers.ini")},
      {"number", REG_DWORD, std::string("\x01\0\0\0", 4), invalid},
      {"binary", REG_BINARY, "xyz", invalid},
      {"string list", REG_MULTI_SZ, std::string("a\0b\0\0", 5), invalid},
  };
  for (const RegistryRow& row : rows) {
    SCOPED_TRACE(row.what);
    Write("Driver Registry File", row.type, row.data);
    std::string outcome;
    try {
      outcome = FindDriverRegistryFile(DefaultPlatform());
    } catch (const ERegistryException& e) {
      outcome = e.Message();
    }
    EXPECT_EQ(outcome, row.outcome);
  }
}

TEST_F(RegistrySettings, NoKeyOrNoValueGivesTheFilesBesideTheProgram) {
  EXPECT_EQ(FindDriverRegistryFile(DefaultPlatform()), Beside("sqldrivers.ini"));
  Write("Driver Registry File", REG_SZ, std::string("x.ini", 6));
  EXPECT_EQ(FindConnectionRegistryFile(DefaultPlatform()), Beside("sqlconnections.ini"));

  // And that file is the one read.
  const std::string path = Beside("sqlconnections.ini");
  std::ofstream(path, std::ios::binary) << "[IBConnection]\r\nDatabase=C:\\data\\r.fdb\r\n";
  const std::string database = ReadRegistryFileValue(DefaultPlatform(), "IBConnection", "Database",
                                                     FindConnectionRegistryFile(DefaultPlatform()));
  ::DeleteFileA(path.c_str());
  EXPECT_EQ(database, "C:\\data\\r.fdb");
}

TEST(ExecutableFolder, ADrivesRootKeepsItsBackslash) {
  const std::pair<const char*, const char*> rows[] = {
      {"C:\\Program Files\\Firebird\\firebird.exe", "C:\\Program Files\\Firebird\\sqlconnections.ini"},
      {"C:\\firebird.exe", "C:\\\\sqlconnections.ini"},
  };
  for (const auto& [program, expected] : rows) {
    FakePlatform platform;
    platform.read_setting = [](const std::string&) { return SettingValue(); };
    platform.executable_path = [program] { return std::string(program); };
    EXPECT_EQ(FindConnectionRegistryFile(platform), expected);
  }
}

// ----------------------------------------------------------- failure files

class FailureFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    fakedrv::Reset();
    fakedrv::UseFakeDriver(platform_);
  }
  void TearDown() override { EXPECT_EQ(fakedrv::LiveTotal(), 0); }

  // Line 1 of three fails; the run goes on unless its file cannot be made.
  std::string RunWithFailingLine() {
    fakedrv::FailCall("ExecuteSqlText sql=bad line", 0, 65);
    testing::ScriptBlob blob("first\r\nbad line\r\nlast", 0);
    return RunScript(platform_, blob.Callback(), "C:\\data\\x.fdb");
  }

  FakePlatform platform_;  // the real system, with the fake driver loaded
};

TEST_F(FailureFiles, GoToTheConfiguredFolderWithExactBytes) {
  TempFolder folder;
  const std::pair<std::string, std::string> folders[] = {{folder.path(), "without"},
                                                        {folder.path() + "\\", "with"}};
  for (const auto& [configured, separator] : folders) {
    SCOPED_TRACE(separator + " a closing backslash");
    ScopedVariable variable("UDFTOLVANE_FAILURE_DIR", configured);
    EXPECT_EQ(RunWithFailingLine(), "ok");
    EXPECT_EQ(ReadBytes(folder.path() + "\\TESTE1.TXT"), "bad line - C:\\data\\x.fdb\r\n");
    ::DeleteFileA((folder.path() + "\\TESTE1.TXT").c_str());
  }
}

TEST_F(FailureFiles, AFileAnotherHandleHoldsGivesTheCreateErrorAndKeepsItsContent) {
  TempFolder folder;
  ScopedVariable variable("UDFTOLVANE_FAILURE_DIR", folder.path());
  const std::string path = folder.path() + "\\TESTE1.TXT";
  std::ofstream(path, std::ios::binary) << "held";
  HANDLE held = ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);

  const std::string result = RunWithFailingLine();
  ::CloseHandle(held);
  EXPECT_EQ(result, "Cannot create file \"" + path + "\". " +
                        DefaultPlatform().ErrorText(ERROR_SHARING_VIOLATION) + "   -    bad line");
  EXPECT_EQ(ReadBytes(path), "held");
}

TEST(SystemTexts, HaveNoClosingFullStopOrLineBreak) {
  const std::string text = DefaultPlatform().ErrorText(ERROR_SHARING_VIOLATION);
  ASSERT_FALSE(text.empty());
  EXPECT_THAT(text, ::testing::Not(::testing::EndsWith(".")));
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
}

// The D: cases run twice from CTest: with no D: and with D: linked to a
// folder of the build (TOLVANE_TEST_D_DRIVE tells which); skipped otherwise.
class DDrive : public FailureFiles {
 protected:
  void SetUp() override {
    FailureFiles::SetUp();
    const char* state = std::getenv("TOLVANE_TEST_D_DRIVE");
    drive_ = state != nullptr ? state : "";
    if (drive_.empty()) GTEST_SKIP() << "run by CTest with D: absent or present";
    ::DeleteFileA("D:\\TESTE1.TXT");
  }
  std::string drive_;
};

TEST_F(DDrive, IsTheDefaultFailureFolder) {
  const std::string result = RunWithFailingLine();
  if (drive_ == "absent") {
    // The system's text stands between the two.
    const std::string head = "Cannot create file \"D:\\TESTE1.TXT\". ";
    const std::string tail = "   -    bad line";
    EXPECT_THAT(result, ::testing::StartsWith(head));
    EXPECT_THAT(result, ::testing::EndsWith(tail));
    EXPECT_GT(result.size(), head.size() + tail.size());
    EXPECT_THAT(fakedrv::Log(), ::testing::Not(::testing::Contains("ExecuteSqlText sql=last")));
  } else {
    EXPECT_EQ(result, "ok");
    EXPECT_EQ(ReadBytes("D:\\TESTE1.TXT"), "bad line - C:\\data\\x.fdb\r\n");
    ::DeleteFileA("D:\\TESTE1.TXT");
  }
}

// ------------------------------------------------------- files and folders

TEST(NewFiles, AreCreatedOnceAndNeverReplaced) {
  TempFolder folder;
  const std::string path = folder.path() + "\\run.jsonl";
  Platform& platform = DefaultPlatform();
  int error = 0;
  const int fd = platform.CreateNewFile(path, &error);
  ASSERT_GE(fd, 0) << platform.ErrorText(error);
  EXPECT_EQ(platform.WriteFile(fd, "a\n", 2, &error), 2);
  EXPECT_EQ(platform.WriteFile(fd, "b\n", 2, &error), 2);
  platform.CloseFile(fd);
  EXPECT_EQ(platform.CreateNewFile(path, &error), -1);
  EXPECT_EQ(error, ERROR_FILE_EXISTS);
  EXPECT_EQ(ReadBytes(path), "a\nb\n");
}

struct FactsRow {
  const char* what;
  std::string path;
  int error;  // 0, or what ReadFileFacts and RealPath give
  bool regular;
  unsigned mode;
};

// What the configuration file's checks rely on: ENOENT for anything missing
// (so the next place is tried) and no access for others, read-only or not.
TEST(FileFacts, AreWhatTheConfigurationChecksNeed) {
  TempFolder folder;
  const std::string plain = folder.path() + "\\plain.conf";
  const std::string read_only = folder.path() + "\\read-only.conf";
  std::ofstream(plain) << "x";
  std::ofstream(read_only) << "x";
  ASSERT_TRUE(::SetFileAttributesA(read_only.c_str(), FILE_ATTRIBUTE_READONLY));
  const FactsRow rows[] = {
      {"file", plain, 0, true, 0600},
      {"read-only file", read_only, 0, true, 0400},
      {"folder", folder.path(), 0, false, 0600},
      {"missing file", folder.path() + "\\none.conf", ENOENT, false, 0},
      {"missing folder on the way", folder.path() + "\\none\\x.conf", ENOENT, false, 0},
  };
  for (const FactsRow& row : rows) {
    SCOPED_TRACE(row.what);
    FileFacts facts;
    EXPECT_EQ(DefaultPlatform().ReadFileFacts(row.path, &facts), row.error);
    if (row.error != 0) continue;
    EXPECT_EQ(facts.regular, row.regular);
    EXPECT_EQ(facts.mode, row.mode);
  }
  ::SetFileAttributesA(read_only.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(RealPaths, ResolveDotsAndSeparatorsOrGiveEnoent) {
  TempFolder folder;
  ::CreateDirectoryA((folder.path() + "\\sub").c_str(), nullptr);
  std::ofstream(folder.path() + "\\a.fdb") << "x";
  std::string expected;
  ASSERT_EQ(DefaultPlatform().RealPath(folder.path() + "\\a.fdb", &expected), 0);
  EXPECT_EQ(expected.rfind("\\\\?\\", 0), std::string::npos) << expected;
  EXPECT_THAT(expected, ::testing::EndsWith("\\a.fdb"));
  const std::string spellings[] = {folder.path() + "\\sub\\..\\a.fdb",
                                   folder.path() + "/sub/../a.fdb", folder.path() + "\\.\\a.fdb"};
  for (const std::string& spelling : spellings) {
    std::string resolved;
    EXPECT_EQ(DefaultPlatform().RealPath(spelling, &resolved), 0) << spelling;
    EXPECT_EQ(resolved, expected) << spelling;
  }
  std::string resolved;
  EXPECT_EQ(DefaultPlatform().RealPath(folder.path() + "\\none\\a.fdb", &resolved), ENOENT);
}

TEST(ThisProcess, ModuleFolderHoldsTheProgramAndNoServerIsLoaded) {
  Platform& platform = DefaultPlatform();
  const std::string program = platform.ExecutablePath();
  EXPECT_EQ(platform.ModuleFolder(), program.substr(0, program.find_last_of('\\')));
  // No fbclient.dll here: the server's folders and settings are unknown.
  EXPECT_EQ(ServerFirebirdConfig().Directory(FirebirdFolder::kConfig), "");
  EXPECT_EQ(ServerFirebirdConfig().Setting("SecurityDatabase"), "");
}

TEST(PathPatterns, WildcardsStayWithinAFolderAndLettersMatchAnyCase) {
  const std::tuple<const char*, const char*, bool> rows[] = {
      {"C:\\data\\*.fdb", "C:\\data\\a.fdb", true},
      {"C:\\data\\*.fdb", "c:\\DATA\\A.FDB", true},
      {"C:\\data\\*.fdb", "C:\\data\\sub\\a.fdb", false},
      {"C:\\data\\*", "C:\\data\\", true},
      {"C:\\data\\?.fdb", "C:\\data\\ab.fdb", false},
      {"C:\\data\\[a-c]*.fdb", "C:\\data\\b1.fdb", true},
      {"C:\\data\\[!a-c]*.fdb", "C:\\data\\b1.fdb", false},
      {"C:\\data\\*\\x.fdb", "C:\\data\\one\\x.fdb", true},
      {"C:\\data\\*\\x.fdb", "C:\\data\\one\\two\\x.fdb", false},
      {"C:\\d*a\\*b*.fdb", "C:\\data\\abba.fdb", true},
      {"C:/data/*.fdb", "C:\\data\\a.fdb", true},
  };
  for (const auto& [pattern, path, matches] : rows)
    EXPECT_EQ(PathMatchesPattern(pattern, path), matches) << pattern << " " << path;
}

// The configuration's allow-list with Windows paths: drive letters are no
// server names, folders end in either separator, and relative paths are
// refused when the file is read.
TEST(AllowList, TakesWindowsPaths) {
  TempFolder folder;
  const std::string db = folder.path() + "\\db";
  ::CreateDirectoryA(db.c_str(), nullptr);
  ::CreateDirectoryA((folder.path() + "\\other").c_str(), nullptr);
  for (const std::string& file : {db + "\\in.fdb", db + "\\new.fdb", folder.path() + "\\other\\x.fdb",
                                  folder.path() + "\\elsewhere.fdb"})
    std::ofstream(file) << "x";
  // A second name of a file: its index tells it, whatever the name.
  ASSERT_TRUE(::CreateHardLinkA((db + "\\second.fdb").c_str(), (db + "\\new.fdb").c_str(), nullptr));
  const ModuleConfig config = ParseModuleConfig(
      "allowed_databases = " + db + "\\;" + folder.path() + "/oth*/*.fdb\n", "C:\\u.conf");
  const std::pair<std::string, std::string> rows[] = {
      {db + "\\in.fdb", ""},
      {"localhost:" + db + "\\in.fdb", ""},
      {db + "/./in.fdb", ""},
      {db + "\\second.fdb", "is a file with 2 names (hard links)"},
      {folder.path() + "\\other\\x.fdb", ""},
      {db + "\\..\\elsewhere.fdb", "is not admitted by allowed_databases"},
      {"far.example:" + db + "\\in.fdb", "names another server (far.example)"},
      {"db\\in.fdb", "nor an absolute path that resolves"},
  };
  for (const auto& [target, refusal] : rows) {
    SCOPED_TRACE(target);
    const std::string got = TargetRefusal(DefaultPlatform(), ServerFirebirdConfig(), config, target);
    if (refusal.empty()) EXPECT_EQ(got, "");
    else EXPECT_THAT(got, ::testing::HasSubstr(refusal));
  }
  EXPECT_THROW(ParseModuleConfig("allowed_databases = data\\x.fdb\n", "C:\\u.conf"), EModuleConfig);
  EXPECT_THROW(ParseModuleConfig("failure_dir = \\logs\n", "C:\\u.conf"), EModuleConfig);
  EXPECT_NO_THROW(ParseModuleConfig("failure_dir = \\\\host\\share\\logs\n", "C:\\u.conf"));
}

// Under the caller's identity the procedure reaches the caller's own file
// only, however it is spelled: a drive is no host, letter case and slashes
// do not make another file, a host or another file is refused.
TEST(ProcedureTargets, TheCallersFileByAnySpellingAndNoOther) {
  TempFolder folder;
  const std::string own = folder.path() + "\\Own.fdb", other = folder.path() + "\\other.fdb";
  for (const std::string& file : {own, other}) std::ofstream(file) << "x";
  std::string upper = own, slashes = own;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (char& c : slashes) if (c == '\\') c = '/';
  const std::pair<std::string, bool> rows[] = {
      {"", true},     {own, true},     {upper, true},  {slashes, true},
      {other, false}, {"localhost:" + own, false},     {"\\\\server\\x.fdb", false},
  };
  for (const auto& [target, accepted] : rows)
    EXPECT_EQ(CallerTargetRefusal(DefaultPlatform(), ServerFirebirdConfig(), target, own).empty(), accepted) << target;
}

// ------------------------------------------------------------------- names

TEST(RunnerConfiguration, LoadsFbdrvDllNamingFbclientDll) {
  TSQLConnection connection(nullptr);
  ConfigureRunnerConnection(connection, "C:\\data\\x.fdb");
  EXPECT_EQ(connection.LibraryName(), "fbdrv.dll");
  EXPECT_EQ(connection.VendorLib(), "fbclient.dll");
}

}  // namespace
}  // namespace tolvane
