// A platform for tests, and the server's configuration with it: forwards to
// the real ones unless a test overrides an operation, counts calls by kind,
// and can fail the N-th call of a kind, of either seam.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "runtime/Platform.h"
#include "script_runner/settings/FirebirdConfig.h"

namespace tolvane::testing {

enum class PlatformCall {
  kCreateFile,
  kWriteFile,
  kFileExists,
  kReadFile,
  kReadSetting,
  kExecutablePath,
  kLoadLibrary,
  kFindSymbol,
  kAllocate,
  // A failed call of these gives: an error number (file facts, real paths,
  // new files), an empty text (the module's and Firebird's folders and
  // settings: cannot be told), 0 (the process id), -1 (a Firebird number),
  // null (a symbol of a library already loaded).
  kCreateNewFile,
  kReadFileFacts,
  kRealPath,
  kModuleFolder,
  kFirebirdDirectory,
  kFirebirdSetting,
  kProcessId,
  kFirebirdNumber,
  kFindLoadedSymbol,
  // The tool's reads: an error number (link facts, opening, reading).
  kReadLinkFacts,
  kOpenForReading,
  kReadAt,
  // Files and folders a run makes on the way (an error number).
  kOpenForAppend,
  kCreateFolder,
};

class FakePlatform : public Platform, public FirebirdConfig {
 public:
  // Overrides; an empty one forwards to the real platform.
  std::function<SettingValue(const std::string&)> read_setting;
  std::function<std::string(const std::string&)> get_environment;
  std::function<std::string()> executable_path;
  std::function<void*(const std::string&)> load_library;
  std::function<std::string()> module_folder;
  std::function<std::string(FirebirdFolder)> firebird_directory;
  std::function<std::string(const std::string&)> firebird_setting;
  // Writes through the real platform unless set (a full disk's short write).
  std::function<long(int fd, const void* data, std::size_t size, int* error)> write_file;
  std::function<long long(const std::string&)> firebird_number;
  // Changes what the real platform found of a path (an owner, a mode, a
  // number of names) before the caller sees it.
  std::function<void(const std::string&, FileFacts*)> adjust_facts;
  std::function<unsigned long()> effective_user;

  // Fails the N-th call (1-based) of kind with error (errno for files);
  // 0 disables. Counting starts when set.
  void FailNth(PlatformCall kind, int n, int error = 5 /* EIO */);
  int Calls(PlatformCall kind);
  void ResetCounts();
  // Files another holder has locked are waited for this long instead of
  // kFileHolderWait. Set before the platform is used.
  void SetHolderWait(std::chrono::milliseconds wait) { files_ = MakePosixPlatform(wait); }

  int CreateFileExclusive(const std::string& path, int* error) override;
  int CreateNewFile(const std::string& path, int* error) override;
  long WriteFile(int fd, const void* data, std::size_t size, int* error) override;
  int TruncateFile(int fd, long long size) override;
  void CloseFile(int fd) override;
  bool FileExists(const std::string& path) override;
  int ReadWholeFile(const std::string& path, std::string* content) override;
  int ReadFileFacts(const std::string& path, FileFacts* facts) override;
  int ReadFileNoFollow(const std::string& path, std::string* content, FileFacts* facts) override;
  unsigned long EffectiveUser() override;
  int RealPath(const std::string& path, std::string* resolved) override;
  std::string ErrorText(int error) override;
  SettingValue ReadSetting(const std::string& name) override;
  std::string GetEnvironment(const std::string& name) override;
  std::string ExecutablePath() override;
  std::string ModuleFolder() override;
  unsigned long ProcessId() override;
  int ReadLinkFacts(const std::string& path, FileFacts* facts) override;
  std::int64_t FileClockNow() override;
  int OpenForReading(const std::string& path, FileFacts* facts, int* error) override;
  long ReadAt(int fd, void* buffer, std::size_t count, std::uint64_t offset, int* error) override;
  int OpenForAppend(const std::string& path, FileFacts* facts, int* error) override;
  int CreateFolder(const std::string& path) override;
  bool IsTerminal(int stream) override;
  std::unique_ptr<StopWatch> WatchStopRequests(std::function<void(int)> on_request) override;
  void* LoadLibrary(const std::string& file_name, std::string* reason) override;
  void* FindSymbol(void* library, const std::string& name) override;
  void* FindLoadedSymbol(const std::string& library, const std::string& name) override;
  char* AllocateBuffer(std::size_t size) override;
  void FreeBuffer(char* buffer) override;

  // The server's configuration; unless overridden, the real one, its client
  // library looked for through this platform.
  std::string Directory(FirebirdFolder folder) override;
  std::string Setting(const std::string& name) override;
  long long Number(const std::string& name) override;

 private:
  // True when this call of kind is the one to fail.
  bool Count(PlatformCall kind, int* error);

  std::unique_ptr<Platform> files_;  // null: the default platform
  const std::unique_ptr<FirebirdConfig> server_ = MakeServerFirebirdConfig(*this);
  std::mutex mutex_;
  std::map<PlatformCall, int> calls_;
  std::map<PlatformCall, std::pair<int, int>> failures_;  // kind -> (n, error)
};

}  // namespace tolvane::testing
