// The Windows answers to the platform's facilities:
//  - create-or-replace with no sharing: CreateFileA(GENERIC_READ|GENERIC_WRITE,
//    share mode 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL), so a file another
//    handle holds is neither opened nor emptied;
//  - the settings key: HKEY_CURRENT_USER\Software\Tolvane\SQLDrivers;
//  - the executable's path: GetModuleFileNameA of the process's program;
//  - libraries: LoadLibraryA and GetProcAddress, never FreeLibrary;
//  - file times: ftLastWriteTime, on GetSystemTimeAsFileTime's clock;
//  - positioned reads: ReadFile with the offset in an OVERLAPPED;
//  - new files: CreateFileA(CREATE_NEW), which refuses any existing name;
//  - file facts and real paths: a handle opened for its attributes only
//    (following links, or not for ReadFileNoFollow), GetFileInformationByHandle
//    (the file index as the file's identity) and
//    GetFinalPathNameByHandleA; Windows guards files by access lists, not
//    permission bits, so the facts give the owner's bits alone (0600, or 0400
//    for a read-only file) and never report access for others;
//  - the module's folder: GetModuleHandleExA of a function of this module;
//  - a library the process already holds: GetModuleHandleA (never loaded
//    here); Windows has no global symbols to fall back on.
// A missing file or folder comes back as ERROR_FILE_NOT_FOUND, which has
// ENOENT's number, so the callers' checks hold on both systems.
// A descriptor is the file's HANDLE: Windows keeps handle values within 32
// bits on 64-bit systems too, so it fits the seam's int and sign-extends back.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#include <io.h>
// The seam's method has the plain name; the system's is called as LoadLibraryA.
#undef LoadLibrary

#include <algorithm>
#include <atomic>
#include <functional>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <new>
#include <string_view>
#include <type_traits>
#include <vector>

#include "runtime/Platform.h"

namespace tolvane {
namespace {

constexpr const char* kSettingsKey = "Software\\Tolvane\\SQLDrivers";

// Empty in every build but a test build that shows the suite notices a
// broken system call.
constexpr std::string_view kBrokenCall = TOLVANE_BROKEN_WINDOWS_CALL;

// True when this build fails call on purpose; the call then reports
// ERROR_ACCESS_DENIED as the system would.
bool BrokenOnPurpose(std::string_view call) {
  if (kBrokenCall.empty() || call != kBrokenCall) return false;
  ::SetLastError(ERROR_ACCESS_DENIED);
  return true;
}

int ToDescriptor(HANDLE handle) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(handle));
}

HANDLE ToHandle(int fd) { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd)); }

int LastError() {
  DWORD error = ::GetLastError();
  return error != 0 ? static_cast<int>(error) : ERROR_GEN_FAILURE;
}

static_assert(ERROR_FILE_NOT_FOUND == ENOENT);

// As LastError, with a missing folder on the way told as a missing file.
int LookupError() {
  const int error = LastError();
  return error == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : error;
}

struct KeyCloser {
  void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using OpenKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

struct HandleCloser {
  void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using OpenHandle = std::unique_ptr<void, HandleCloser>;

// The settings key for reading, asking for less access each time it is
// refused; null when every request is refused or the key is absent.
OpenKey OpenSettingsKey() {
  const REGSAM requests[] = {KEY_READ, STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS,
                             KEY_QUERY_VALUE};
  for (REGSAM access : requests) {
    HKEY key = nullptr;
    if (BrokenOnPurpose("RegOpenKeyExA")) return nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, access, &key) == ERROR_SUCCESS)
      return OpenKey(key);
  }
  return nullptr;
}

// path opened for its attributes only, following links, sharing everything;
// a folder opens too. Null with the error in *error when it cannot be.
OpenHandle OpenForFacts(const std::string& path, int* error) {
  HANDLE handle = BrokenOnPurpose("CreateFileA")
                      ? INVALID_HANDLE_VALUE
                      : ::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = LookupError();
    return nullptr;
  }
  return OpenHandle(handle);
}

std::int64_t ToClock(const FILETIME& time) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                   time.dwLowDateTime);
}

// The facts of an open handle: the file index as its identity, the number
// of its names, a reparse point (a symbolic link or junction) as a link;
// access lists are not permission bits, so the owner is always 0.
int FillFacts(HANDLE handle, FileFacts* facts) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle, &info)) return LastError();
  facts->folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  facts->link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  facts->regular = ::GetFileType(handle) == FILE_TYPE_DISK && !facts->folder && !facts->link;
  facts->mode = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0400 : 0600;
  facts->owner = 0;
  facts->names = info.nNumberOfLinks;
  facts->identity.device = info.dwVolumeSerialNumber;
  facts->identity.file = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  facts->size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  facts->written = ToClock(info.ftLastWriteTime);
  return 0;
}

// "\\?\C:\x" as "C:\x", "\\?\UNC\host\share" as "\\host\share".
std::string WithoutLongPrefix(const std::string& path) {
  constexpr std::string_view kUnc = "\\\\?\\UNC\\";
  constexpr std::string_view kLong = "\\\\?\\";
  if (std::string_view(path).starts_with(kUnc)) return "\\\\" + path.substr(kUnc.size());
  if (std::string_view(path).starts_with(kLong)) return path.substr(kLong.size());
  return path;
}

// Ctrl-C, Ctrl-Break and a closed console come to a handler the system
// calls on a thread of its own; one watch at a time.
class ConsoleStopWatch final : public StopWatch {
 public:
  explicit ConsoleStopWatch(std::function<void(int)> on_request) {
    Current() = std::move(on_request);
    ::SetConsoleCtrlHandler(&ConsoleStopWatch::Handler, TRUE);
  }
  ~ConsoleStopWatch() override {
    ::SetConsoleCtrlHandler(&ConsoleStopWatch::Handler, FALSE);
    Current() = nullptr;
  }
  ConsoleStopWatch(const ConsoleStopWatch&) = delete;
  ConsoleStopWatch& operator=(const ConsoleStopWatch&) = delete;

 private:
  static std::function<void(int)>& Current() {
    static std::function<void(int)> current;
    return current;
  }
  static BOOL WINAPI Handler(DWORD) {
    static std::atomic<int> count{0};
    if (Current()) Current()(++count);
    return TRUE;
  }
};

class WindowsPlatform final : public Platform {
 public:
  int CreateFileExclusive(const std::string& path, int* error) override {
    HANDLE handle = BrokenOnPurpose("CreateFileA")
                        ? INVALID_HANDLE_VALUE
                        : ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      *error = LastError();
      return -1;
    }
    return ToDescriptor(handle);
  }

  // Others may read it meanwhile; only this handle writes, so the writes
  // follow one another at its end.
  int CreateNewFile(const std::string& path, int* error) override {
    HANDLE handle = BrokenOnPurpose("CreateFileA")
                        ? INVALID_HANDLE_VALUE
                        : ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      *error = LastError();
      return -1;
    }
    return ToDescriptor(handle);
  }

  long WriteFile(int fd, const void* data, std::size_t size, int* error) override {
    const char* p = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
      DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
      DWORD written = 0;
      if (!::WriteFile(ToHandle(fd), p + done, chunk, &written, nullptr)) {
        *error = LastError();
        return done > 0 ? static_cast<long>(done) : -1;
      }
      if (written == 0) break;
      done += written;
    }
    return static_cast<long>(done);
  }

  // Writes append: the file's pointer is left at the new end.
  int TruncateFile(int fd, long long size) override {
    LARGE_INTEGER at;
    at.QuadPart = size;
    if (!::SetFilePointerEx(ToHandle(fd), at, nullptr, FILE_BEGIN) || !::SetEndOfFile(ToHandle(fd)))
      return LastError();
    return 0;
  }

  void CloseFile(int fd) override { ::CloseHandle(ToHandle(fd)); }

  bool FileExists(const std::string& path) override {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }

  // Appends what is left of an open file to content; 0 or the error.
  static int ReadRest(HANDLE handle, std::string* content) {
    char chunk[65536];
    for (;;) {
      DWORD n = 0;
      if (!::ReadFile(handle, chunk, sizeof chunk, &n, nullptr)) return LastError();
      if (n == 0) return 0;
      content->append(chunk, n);
    }
  }

  // Others may read the file meanwhile but not write it.
  int ReadWholeFile(const std::string& path, std::string* content) override {
    HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastError();
    OpenHandle file(handle);
    content->clear();
    return ReadRest(handle, content);
  }

  int ReadFileFacts(const std::string& path, FileFacts* facts) override {
    int error = 0;
    OpenHandle file = OpenForFacts(path, &error);
    if (!file) return error;
    return FillFacts(file.get(), facts);
  }

  int ReadFileNoFollow(const std::string& path, std::string* content, FileFacts* facts) override {
    content->clear();
    // The reparse point itself, not where it leads.
    HANDLE handle = BrokenOnPurpose("CreateFileA")
                        ? INVALID_HANDLE_VALUE
                        : ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LookupError();
    OpenHandle file(handle);
    if (const int error = FillFacts(handle, facts); error != 0) return error;
    if (!facts->regular) return 0;
    return ReadRest(handle, content);
  }

  // The reparse point itself, opened for its attributes only.
  int ReadLinkFacts(const std::string& path, FileFacts* facts) override {
    HANDLE handle = BrokenOnPurpose("CreateFileA")
                        ? INVALID_HANDLE_VALUE
                        : ::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LookupError();
    OpenHandle file(handle);
    return FillFacts(handle, facts);
  }

  std::int64_t FileClockNow() override {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return ToClock(now);
  }

  // Others may read and write the file meanwhile, as with the C library's
  // open.
  int OpenForReading(const std::string& path, FileFacts* facts, int* error) override {
    HANDLE handle = BrokenOnPurpose("CreateFileA")
                        ? INVALID_HANDLE_VALUE
                        : ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      *error = LookupError();
      return -1;
    }
    OpenHandle file(handle);
    if (const int failure = FillFacts(handle, facts); failure != 0) {
      *error = failure;
      return -1;
    }
    return ToDescriptor(file.release());
  }

  long ReadAt(int fd, void* buffer, std::size_t count, std::uint64_t offset, int* error) override {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    DWORD n = 0;
    if (!::ReadFile(ToHandle(fd), buffer, chunk, &n, &at)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
      *error = LastError();
      return -1;
    }
    return static_cast<long>(n);
  }

  // Opened at its reparse point, so that a link is seen and refused; the
  // pointer goes to the end, where WriteFile then appends.
  int OpenForAppend(const std::string& path, FileFacts* facts, int* error) override {
    HANDLE handle = BrokenOnPurpose("CreateFileA")
                        ? INVALID_HANDLE_VALUE
                        : ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                        nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      *error = LookupError();
      return -1;
    }
    LARGE_INTEGER zero{};
    int failed = FillFacts(handle, facts);
    if (failed == 0 && facts->link) failed = ERROR_CANT_ACCESS_FILE;
    if (failed == 0 && !::SetFilePointerEx(handle, zero, nullptr, FILE_END)) failed = LastError();
    if (failed != 0) {
      ::CloseHandle(handle);
      *error = failed;
      return -1;
    }
    return ToDescriptor(handle);
  }

  int CreateFolder(const std::string& path) override {
    if (::CreateDirectoryA(path.c_str(), nullptr)) return 0;
    const int error = LastError();
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
      return 0;
    return error;
  }

  bool IsTerminal(int stream) override { return ::_isatty(stream) != 0; }

  std::unique_ptr<StopWatch> WatchStopRequests(std::function<void(int)> on_request) override {
    return std::make_unique<ConsoleStopWatch>(std::move(on_request));
  }

  unsigned long EffectiveUser() override { return 0; }

  int RealPath(const std::string& path, std::string* resolved) override {
    int error = 0;
    OpenHandle file = OpenForFacts(path, &error);
    if (!file) return error;
    std::string text(MAX_PATH, '\0');
    for (;;) {
      const DWORD n = ::GetFinalPathNameByHandleA(file.get(), text.data(),
                                                  static_cast<DWORD>(text.size()),
                                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
      if (n == 0) return LastError();
      if (n < text.size()) {
        text.resize(n);
        break;
      }
      text.resize(n + 1);
    }
    *resolved = WithoutLongPrefix(text);
    return 0;
  }

  // The system's text without its closing full stop and line break, so that
  // it reads inside a message as the Linux texts do.
  std::string ErrorText(int error) override {
    char* buffer = nullptr;
    DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, static_cast<DWORD>(error), 0,
                               reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = n > 0 && buffer != nullptr ? std::string(buffer, n) : std::string();
    if (buffer != nullptr) ::LocalFree(buffer);
    while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
      text.pop_back();
    if (text.empty()) text = "System error " + std::to_string(static_cast<unsigned>(error));
    return text;
  }

  SettingValue ReadSetting(const std::string& name) override {
    SettingValue value;
    OpenKey key = OpenSettingsKey();
    if (!key) return value;
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (::RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        size == 0) {
      return value;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
      value.kind = SettingValue::Kind::kOtherType;
      return value;
    }
    std::vector<char> data(size);
    if (BrokenOnPurpose("RegQueryValueExA") ||
        ::RegQueryValueExA(key.get(), name.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS) {
      value.kind = SettingValue::Kind::kUnreadable;
      return value;
    }
    value.kind = type == REG_SZ ? SettingValue::Kind::kString : SettingValue::Kind::kExpandString;
    value.text.assign(data.data(), std::min<std::size_t>(size, data.size()));
    return value;
  }

  std::string GetEnvironment(const std::string& name) override {
    DWORD size = ::GetEnvironmentVariableA(name.c_str(), nullptr, 0);
    if (size == 0) return std::string();
    std::string text(size, '\0');
    DWORD n = ::GetEnvironmentVariableA(name.c_str(), text.data(), size);
    text.resize(n < size ? n : 0);
    return text;
  }

  std::string ExecutablePath() override {
    std::string path(MAX_PATH, '\0');
    for (;;) {
      DWORD n = BrokenOnPurpose("GetModuleFileNameA")
                    ? 0
                    : ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
      if (n == 0) return std::string();
      if (n < path.size()) {
        path.resize(n);
        return path;
      }
      if (path.size() >= 32768) return std::string();
      path.resize(path.size() * 2);
    }
  }

  // A drive's root keeps its separator ("C:\\"), as "/" does on Linux.
  std::string ModuleFolder() override {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCSTR>(&DefaultPlatform), &module))
      return std::string();
    std::string path(MAX_PATH, '\0');
    for (;;) {
      const DWORD n = BrokenOnPurpose("GetModuleFileNameA")
                          ? 0
                          : ::GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
      if (n == 0) return std::string();
      if (n < path.size()) {
        path.resize(n);
        break;
      }
      if (path.size() >= 32768) return std::string();
      path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos) return std::string();
    const bool drive_root = slash == 2 && path[1] == ':';
    return path.substr(0, drive_root ? slash + 1 : slash);
  }

  unsigned long ProcessId() override { return ::GetCurrentProcessId(); }

  void* LoadLibrary(const std::string& file_name, std::string* reason) override {
    HMODULE library = BrokenOnPurpose("LoadLibraryA") ? nullptr : ::LoadLibraryA(file_name.c_str());
    if (library == nullptr && reason != nullptr) *reason = ErrorText(LastError());
    return reinterpret_cast<void*>(library);
  }

  void* FindSymbol(void* library, const std::string& name) override {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name.c_str()));
  }

  void* FindLoadedSymbol(const std::string& library, const std::string& name) override {
    HMODULE loaded = ::GetModuleHandleA(library.c_str());
    if (loaded == nullptr) return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(loaded, name.c_str()));
  }

  char* AllocateBuffer(std::size_t size) override { return new (std::nothrow) char[size]; }
  void FreeBuffer(char* buffer) override { delete[] buffer; }
};

}  // namespace

Platform& DefaultPlatform() {
  static WindowsPlatform platform;
  return platform;
}

}  // namespace tolvane
