// A platform for tests: forwards to the real one unless a test overrides an
// operation, counts calls by kind, and can fail the N-th call of a kind.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "runtime/Platform.h"

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
  // settings: cannot be told), 0 (the process id).
  kCreateNewFile,
  kReadFileFacts,
  kRealPath,
  kModuleFolder,
  kFirebirdDirectory,
  kFirebirdSetting,
  kProcessId,
};

class FakePlatform : public Platform {
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
  std::string FirebirdDirectory(FirebirdFolder folder) override;
  std::string FirebirdSetting(const std::string& name) override;
  long long FirebirdNumber(const std::string& name) override;
  unsigned long ProcessId() override;
  void* LoadLibrary(const std::string& file_name) override;
  void* FindSymbol(void* library, const std::string& name) override;
  char* AllocateBuffer(std::size_t size) override;
  void FreeBuffer(char* buffer) override;

 private:
  // True when this call of kind is the one to fail.
  bool Count(PlatformCall kind, int* error);

  std::unique_ptr<Platform> files_;  // null: the default platform
  std::mutex mutex_;
  std::map<PlatformCall, int> calls_;
  std::map<PlatformCall, std::pair<int, int>> failures_;  // kind -> (n, error)
};

}  // namespace tolvane::testing
