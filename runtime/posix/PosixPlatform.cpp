// The system's own answers to what it needs of the operating system:
//  - create-or-replace with no sharing: open(O_RDWR|O_CREAT|O_NOFOLLOW|
//    O_CLOEXEC, 0644); anything but a regular file with one link refused
//    (fstat); then an exclusive flock, tried without blocking and again after
//    short pauses until the wait runs out, taken before the file is
//    truncated, so a file another call holds is never emptied or mixed;
//  - the settings key: environment variables (see SettingVariable);
//  - the executable's path: /proc/self/exe;
//  - file times: st_mtim, on CLOCK_REALTIME_COARSE;
//  - libraries: dlopen(RTLD_NOW | RTLD_LOCAL), never dlclose; from a shared
//    module, a bare file name is opened by the full path of the module's
//    folder, so neither LD_LIBRARY_PATH nor the system's library folders
//    can put another library in its place;
//  - the module's folder: dladdr of a function of this module;
//  - a library the process already holds: dlopen(RTLD_NOLOAD), else the
//    process's global symbols (RTLD_DEFAULT).
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <thread>

#include "runtime/Platform.h"

namespace tolvane {
namespace {

// The two registry values come from the process's environment.
const char* SettingVariable(const std::string& name) {
  if (name == "Driver Registry File") return "TOLVANE_DRIVER_REGISTRY_FILE";
  if (name == "Connection Registry File") return "TOLVANE_CONNECTION_REGISTRY_FILE";
  return nullptr;
}

// 0 when fd is a regular file with exactly one name. Otherwise the error to
// give: EINVAL for a FIFO or device (as truncating it would), EMLINK for a
// file with other names, ENOENT for one removed since it was opened.
int RefuseUnlessSoleRegularFile(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  if (st.st_nlink > 1) return EMLINK;
  if (st.st_nlink == 0) return ENOENT;
  return 0;
}

std::int64_t ToClock(const timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

void FillFacts(const struct stat& st, FileFacts* facts) {
  facts->regular = S_ISREG(st.st_mode);
  facts->folder = S_ISDIR(st.st_mode);
  facts->link = S_ISLNK(st.st_mode);
  facts->mode = static_cast<unsigned>(st.st_mode & 07777);
  facts->owner = static_cast<unsigned long>(st.st_uid);
  facts->names = static_cast<unsigned long>(st.st_nlink);
  facts->identity.device = static_cast<std::uint64_t>(st.st_dev);
  facts->identity.file = static_cast<std::uint64_t>(st.st_ino);
  facts->size = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  facts->written = ToClock(st.st_mtim);
}

// Reads the rest of fd into *content; 0 or the system's error number.
int ReadAll(int fd, std::string* content) {
  content->clear();
  char chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    content->append(chunk, static_cast<std::size_t>(n));
  }
}

// Takes the exclusive lock, waiting at most wait for another holder.
int LockWithin(int fd, std::chrono::milliseconds wait) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + wait;
  std::chrono::nanoseconds pause = std::chrono::milliseconds(1);
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
    const int failure = errno;
    if (failure == EINTR) continue;
    const Clock::time_point now = Clock::now();
    if (failure != EWOULDBLOCK || now >= deadline) return failure;
    std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(pause, deadline - now));
    pause = std::min<std::chrono::nanoseconds>(pause * 2, std::chrono::milliseconds(50));
  }
}

// True when this code was linked into a shared module (the server's module,
// the UDR plugin) rather than into the program; when it cannot be told, a
// module is assumed, the stricter of the two.
bool InSharedModule() {
  static const bool in_module = [] {
    Dl_info info;
    link_map* own = nullptr;
    if (::dladdr1(reinterpret_cast<void*>(&DefaultPlatform), &info, reinterpret_cast<void**>(&own),
                  RTLD_DL_LINKMAP) == 0 ||
        own == nullptr)
      return true;
    void* program = ::dlopen(nullptr, RTLD_NOW);
    if (program == nullptr) return true;
    link_map* program_map = nullptr;
    const bool known = ::dlinfo(program, RTLD_DI_LINKMAP, &program_map) == 0;
    ::dlclose(program);
    return !known || own != program_map;
  }();
  return in_module;
}

// The stop signals are blocked in this thread, and so in every thread it
// starts from now on, and taken by a thread of the watch's own.
class PosixStopWatch final : public StopWatch {
 public:
  explicit PosixStopWatch(std::function<void(int)> on_request) : on_request_(std::move(on_request)) {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &signals_, &before_);
    thread_ = std::thread([this] {
      int count = 0;
      const timespec tick{0, 100 * 1000 * 1000};
      while (!ending_.load()) {
        if (::sigtimedwait(&signals_, nullptr, &tick) > 0) on_request_(++count);
      }
    });
  }
  ~PosixStopWatch() override {
    ending_.store(true);
    thread_.join();
    ::pthread_sigmask(SIG_SETMASK, &before_, nullptr);
  }
  PosixStopWatch(const PosixStopWatch&) = delete;
  PosixStopWatch& operator=(const PosixStopWatch&) = delete;

 private:
  std::function<void(int)> on_request_;
  sigset_t signals_{};
  sigset_t before_{};
  std::atomic<bool> ending_{false};
  std::thread thread_;
};

class PosixPlatform final : public Platform {
 public:
  explicit PosixPlatform(std::chrono::milliseconds holder_wait) : holder_wait_(holder_wait) {}

  int CreateFileExclusive(const std::string& path, int* error) override {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
      *error = errno;
      return -1;
    }
    int failure = RefuseUnlessSoleRegularFile(fd);
    if (failure == 0) failure = LockWithin(fd, holder_wait_);
    if (failure == 0 && ::ftruncate(fd, 0) != 0) failure = errno;
    if (failure != 0) {
      *error = failure;
      ::close(fd);
      return -1;
    }
    return fd;
  }

  int CreateNewFile(const std::string& path, int* error) override {
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0640);
    if (fd < 0) *error = errno;
    return fd;
  }

  long WriteFile(int fd, const void* data, std::size_t size, int* error) override {
    const char* p = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
      ssize_t n = ::write(fd, p + done, size - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        *error = errno;
        return done > 0 ? static_cast<long>(done) : -1;
      }
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    return static_cast<long>(done);
  }

  int TruncateFile(int fd, long long size) override {
    while (::ftruncate(fd, static_cast<off_t>(size)) != 0)
      if (errno != EINTR) return errno;
    return 0;
  }

  void CloseFile(int fd) override { ::close(fd); }

  bool FileExists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }

  int ReadWholeFile(const std::string& path, std::string* content) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int error = ReadAll(fd, content);
    ::close(fd);
    return error;
  }

  int ReadFileFacts(const std::string& path, FileFacts* facts) override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return errno;
    FillFacts(st, facts);
    return 0;
  }

  int ReadFileNoFollow(const std::string& path, std::string* content, FileFacts* facts) override {
    content->clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      const int error = errno;
      struct stat st;
      // O_NOFOLLOW's refusal of a link: told as a fact, not a failure.
      if (error == ELOOP && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        FillFacts(st, facts);
        return 0;
      }
      return error;
    }
    struct stat st;
    int error = ::fstat(fd, &st) != 0 ? errno : 0;
    if (error == 0) {
      FillFacts(st, facts);
      if (facts->regular) error = ReadAll(fd, content);
    }
    ::close(fd);
    return error;
  }

  int ReadLinkFacts(const std::string& path, FileFacts* facts) override {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return errno;
    FillFacts(st, facts);
    return 0;
  }

  // File times come from the kernel's coarse clock, which can lag the fine
  // one by a tick: reading the same clock keeps a file written at once from
  // looking older than this moment.
  std::int64_t FileClockNow() override {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return ToClock(now);
  }

  int OpenForReading(const std::string& path, FileFacts* facts, int* error) override {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      *error = errno;
      return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
      *error = errno;
      ::close(fd);
      return -1;
    }
    FillFacts(st, facts);
    return fd;
  }

  int OpenForAppend(const std::string& path, FileFacts* facts, int* error) override {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      *error = errno;
      return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
      *error = errno;
      ::close(fd);
      return -1;
    }
    FillFacts(st, facts);
    return fd;
  }

  int CreateFolder(const std::string& path) override {
    if (::mkdir(path.c_str(), 0750) == 0) return 0;
    const int error = errno;
    struct stat st;
    if (error == EEXIST && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return 0;
    return error;
  }

  bool IsTerminal(int stream) override { return ::isatty(stream) == 1; }

  std::unique_ptr<StopWatch> WatchStopRequests(std::function<void(int)> on_request) override {
    return std::make_unique<PosixStopWatch>(std::move(on_request));
  }

  long ReadAt(int fd, void* buffer, std::size_t count, std::uint64_t offset, int* error) override {
    for (;;) {
      const ssize_t n = ::pread(fd, buffer, count, static_cast<off_t>(offset));
      if (n >= 0) return static_cast<long>(n);
      if (errno != EINTR) {
        *error = errno;
        return -1;
      }
    }
  }

  unsigned long EffectiveUser() override { return static_cast<unsigned long>(::geteuid()); }

  int RealPath(const std::string& path, std::string* resolved) override {
    char* text = ::realpath(path.c_str(), nullptr);
    if (text == nullptr) return errno;
    resolved->assign(text);
    std::free(text);
    return 0;
  }

  std::string ErrorText(int error) override {
    char buffer[256];
    // GNU strerror_r may return a static text instead of filling the buffer.
    const char* text = ::strerror_r(error, buffer, sizeof buffer);
    return text != nullptr ? std::string(text) : std::string();
  }

  SettingValue ReadSetting(const std::string& name) override {
    SettingValue value;
    const char* variable = SettingVariable(name);
    const char* text = variable != nullptr ? std::getenv(variable) : nullptr;
    if (text != nullptr && *text != '\0') {
      value.kind = SettingValue::Kind::kString;
      value.text = text;
    }
    return value;
  }

  std::string GetEnvironment(const std::string& name) override {
    const char* text = std::getenv(name.c_str());
    return text != nullptr ? std::string(text) : std::string();
  }

  std::string ModuleFolder() override {
    Dl_info info;
    if (::dladdr(reinterpret_cast<void*>(&DefaultPlatform), &info) == 0 || info.dli_fname == nullptr)
      return std::string();
    std::string path = info.dli_fname;
    // A program's own name may come back bare; /proc knows where it lies.
    if (path.find('/') == std::string::npos) path = ExecutablePath();
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    return slash == 0 ? std::string("/") : path.substr(0, slash);
  }

  unsigned long ProcessId() override { return static_cast<unsigned long>(::getpid()); }

  std::string ExecutablePath() override {
    char buffer[PATH_MAX + 1];
    ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
  }

  // A program (the tool, the tests) keeps the loader's search, its run path
  // included; a module takes its own folder or nothing. A folder that is not
  // absolute would be read against the current directory: nothing then.
  void* LoadLibrary(const std::string& file_name, std::string* reason) override {
    std::string path = file_name;
    if (file_name.find('/') == std::string::npos && InSharedModule()) {
      const std::string folder = ModuleFolder();
      if (folder.empty() || folder.front() != '/') {
        if (reason != nullptr) *reason = "the module's folder cannot be told";
        return nullptr;
      }
      path = (folder == "/" ? std::string() : folder) + "/" + file_name;
    }
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr && reason != nullptr) {
      const char* text = ::dlerror();
      *reason = text != nullptr ? text : "unknown reason";
    }
    return library;
  }

  void* FindSymbol(void* library, const std::string& name) override {
    return ::dlsym(library, name.c_str());
  }

  void* FindLoadedSymbol(const std::string& library, const std::string& name) override {
    void* symbol = nullptr;
    if (void* loaded = ::dlopen(library.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
      symbol = ::dlsym(loaded, name.c_str());
      ::dlclose(loaded);  // drops only the reference NOLOAD took
    }
    return symbol != nullptr ? symbol : ::dlsym(RTLD_DEFAULT, name.c_str());
  }

  char* AllocateBuffer(std::size_t size) override { return new (std::nothrow) char[size]; }
  void FreeBuffer(char* buffer) override { delete[] buffer; }

 private:
  const std::chrono::milliseconds holder_wait_;
};

}  // namespace

Platform& DefaultPlatform() {
  static PosixPlatform platform(kFileHolderWait);
  return platform;
}

std::unique_ptr<Platform> MakePosixPlatform(std::chrono::milliseconds holder_wait) {
  return std::make_unique<PosixPlatform>(holder_wait);
}

}  // namespace tolvane
