#include "fakes/support/FakePlatform.h"

namespace tolvane::testing {

void FakePlatform::FailNth(PlatformCall kind, int n, int error) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_[kind] = 0;
  if (n > 0)
    failures_[kind] = {n, error};
  else
    failures_.erase(kind);
}

int FakePlatform::Calls(PlatformCall kind) {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_[kind];
}

void FakePlatform::ResetCounts() {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.clear();
}

bool FakePlatform::Count(PlatformCall kind, int* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  int n = ++calls_[kind];
  auto it = failures_.find(kind);
  if (it != failures_.end() && it->second.first == n) {
    if (error != nullptr) *error = it->second.second;
    return true;
  }
  return false;
}

int FakePlatform::CreateFileExclusive(const std::string& path, int* error) {
  if (Count(PlatformCall::kCreateFile, error)) return -1;
  return (files_ ? *files_ : DefaultPlatform()).CreateFileExclusive(path, error);
}

int FakePlatform::CreateNewFile(const std::string& path, int* error) {
  if (Count(PlatformCall::kCreateNewFile, error)) return -1;
  return DefaultPlatform().CreateNewFile(path, error);
}

long FakePlatform::WriteFile(int fd, const void* data, std::size_t size, int* error) {
  if (Count(PlatformCall::kWriteFile, error)) return -1;
  if (write_file) return write_file(fd, data, size, error);
  return DefaultPlatform().WriteFile(fd, data, size, error);
}

int FakePlatform::TruncateFile(int fd, long long size) { return DefaultPlatform().TruncateFile(fd, size); }

void FakePlatform::CloseFile(int fd) { DefaultPlatform().CloseFile(fd); }

bool FakePlatform::FileExists(const std::string& path) {
  if (Count(PlatformCall::kFileExists, nullptr)) return false;
  return DefaultPlatform().FileExists(path);
}

int FakePlatform::ReadWholeFile(const std::string& path, std::string* content) {
  int error = 0;
  if (Count(PlatformCall::kReadFile, &error)) return error;
  return DefaultPlatform().ReadWholeFile(path, content);
}

int FakePlatform::ReadFileFacts(const std::string& path, FileFacts* facts) {
  int error = 0;
  if (Count(PlatformCall::kReadFileFacts, &error)) return error;
  error = DefaultPlatform().ReadFileFacts(path, facts);
  if (error == 0 && adjust_facts) adjust_facts(path, facts);
  return error;
}

int FakePlatform::ReadFileNoFollow(const std::string& path, std::string* content,
                                   FileFacts* facts) {
  int error = 0;
  if (Count(PlatformCall::kReadFile, &error)) return error;
  error = DefaultPlatform().ReadFileNoFollow(path, content, facts);
  if (error == 0 && adjust_facts) adjust_facts(path, facts);
  return error;
}

int FakePlatform::ReadLinkFacts(const std::string& path, FileFacts* facts) {
  int error = 0;
  if (Count(PlatformCall::kReadLinkFacts, &error)) return error;
  error = DefaultPlatform().ReadLinkFacts(path, facts);
  if (error == 0 && adjust_facts) adjust_facts(path, facts);
  return error;
}

std::int64_t FakePlatform::FileClockNow() { return DefaultPlatform().FileClockNow(); }

int FakePlatform::OpenForReading(const std::string& path, FileFacts* facts, int* error) {
  if (Count(PlatformCall::kOpenForReading, error)) return -1;
  const int fd = DefaultPlatform().OpenForReading(path, facts, error);
  if (fd >= 0 && adjust_facts) adjust_facts(path, facts);
  return fd;
}

long FakePlatform::ReadAt(int fd, void* buffer, std::size_t count, std::uint64_t offset, int* error) {
  if (Count(PlatformCall::kReadAt, error)) return -1;
  return DefaultPlatform().ReadAt(fd, buffer, count, offset, error);
}

int FakePlatform::OpenForAppend(const std::string& path, FileFacts* facts, int* error) {
  if (Count(PlatformCall::kOpenForAppend, error)) return -1;
  return DefaultPlatform().OpenForAppend(path, facts, error);
}

int FakePlatform::CreateFolder(const std::string& path) {
  int error = 0;
  if (Count(PlatformCall::kCreateFolder, &error)) return error;
  return DefaultPlatform().CreateFolder(path);
}

bool FakePlatform::IsTerminal(int stream) { return DefaultPlatform().IsTerminal(stream); }

std::unique_ptr<StopWatch> FakePlatform::WatchStopRequests(std::function<void(int)> on_request) {
  return DefaultPlatform().WatchStopRequests(std::move(on_request));
}

unsigned long FakePlatform::EffectiveUser() {
  return effective_user ? effective_user() : DefaultPlatform().EffectiveUser();
}

int FakePlatform::RealPath(const std::string& path, std::string* resolved) {
  int error = 0;
  if (Count(PlatformCall::kRealPath, &error)) return error;
  return DefaultPlatform().RealPath(path, resolved);
}

std::string FakePlatform::ErrorText(int error) { return DefaultPlatform().ErrorText(error); }

SettingValue FakePlatform::ReadSetting(const std::string& name) {
  Count(PlatformCall::kReadSetting, nullptr);
  return read_setting ? read_setting(name) : DefaultPlatform().ReadSetting(name);
}

std::string FakePlatform::GetEnvironment(const std::string& name) {
  return get_environment ? get_environment(name) : DefaultPlatform().GetEnvironment(name);
}

std::string FakePlatform::ExecutablePath() {
  Count(PlatformCall::kExecutablePath, nullptr);
  return executable_path ? executable_path() : DefaultPlatform().ExecutablePath();
}

std::string FakePlatform::ModuleFolder() {
  if (Count(PlatformCall::kModuleFolder, nullptr)) return std::string();
  return module_folder ? module_folder() : DefaultPlatform().ModuleFolder();
}

unsigned long FakePlatform::ProcessId() {
  if (Count(PlatformCall::kProcessId, nullptr)) return 0;
  return DefaultPlatform().ProcessId();
}

void* FakePlatform::LoadLibrary(const std::string& file_name, std::string* reason) {
  if (Count(PlatformCall::kLoadLibrary, nullptr)) {
    if (reason != nullptr) *reason = "failed on purpose";
    return nullptr;
  }
  return load_library ? load_library(file_name) : DefaultPlatform().LoadLibrary(file_name, reason);
}

void* FakePlatform::FindSymbol(void* library, const std::string& name) {
  if (Count(PlatformCall::kFindSymbol, nullptr)) return nullptr;
  return DefaultPlatform().FindSymbol(library, name);
}

void* FakePlatform::FindLoadedSymbol(const std::string& library, const std::string& name) {
  if (Count(PlatformCall::kFindLoadedSymbol, nullptr)) return nullptr;
  return DefaultPlatform().FindLoadedSymbol(library, name);
}

char* FakePlatform::AllocateBuffer(std::size_t size) {
  if (Count(PlatformCall::kAllocate, nullptr)) return nullptr;
  return DefaultPlatform().AllocateBuffer(size);
}

void FakePlatform::FreeBuffer(char* buffer) { DefaultPlatform().FreeBuffer(buffer); }

std::string FakePlatform::Directory(FirebirdFolder folder) {
  if (Count(PlatformCall::kFirebirdDirectory, nullptr)) return std::string();
  return firebird_directory ? firebird_directory(folder) : server_->Directory(folder);
}

std::string FakePlatform::Setting(const std::string& name) {
  if (Count(PlatformCall::kFirebirdSetting, nullptr)) return std::string();
  return firebird_setting ? firebird_setting(name) : server_->Setting(name);
}

long long FakePlatform::Number(const std::string& name) {
  if (Count(PlatformCall::kFirebirdNumber, nullptr)) return -1;
  return firebird_number ? firebird_number(name) : server_->Number(name);
}

}  // namespace tolvane::testing
