// The Windows platform through the real system calls, under Wine: settings
// read from the registry, the executable's folder, failure files created
// with no sharing, and D: absent or present (scripts/wine-run.sh maps it).
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

#include "FakeDriverSetup.h"
#include "ScriptBlob.h"
#include "connection/RegistryFiles.h"
#include "runtime/Exceptions.h"
#include "runtime/FileWriter.h"

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

// ------------------------------------------------------------------- names

TEST(RunnerConfiguration, LoadsFbdrvDllNamingFbclientDll) {
  TSQLConnection connection(nullptr);
  ConfigureRunnerConnection(connection, "C:\\data\\x.fdb");
  EXPECT_EQ(connection.LibraryName(), "fbdrv.dll");
  EXPECT_EQ(connection.VendorLib(), "fbclient.dll");
}

}  // namespace
}  // namespace tolvane
