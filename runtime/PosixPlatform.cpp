// The system's own answers to what it needs of the operating system:
//  - create-or-replace with no sharing: open(O_RDWR|O_CREAT|O_NOFOLLOW|
//    O_CLOEXEC, 0644); anything but a regular file with one link refused
//    (fstat); then an exclusive flock, tried without blocking and again after
//    short pauses until the wait runs out, taken before the file is
//    truncated, so a file another call holds is never emptied or mixed;
//  - the settings key: environment variables (see SettingVariable);
//  - the executable's path: /proc/self/exe;
//  - libraries: dlopen(RTLD_NOW | RTLD_LOCAL), never dlclose;
//  - the module's folder: dladdr of a function of this module;
//  - the server's folders and settings: the master interface of the Firebird
//    client library already in the process (never loaded here).
#include <dlfcn.h>
#include <firebird/Interface.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
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

// The configuration manager of the Firebird library in the process, or null.
// Kept once found: a library once loaded stays loaded.
Firebird::IConfigManager* FindConfigManager() {
  using GetMaster = Firebird::IMaster* (*)();
  void* symbol = nullptr;
  // A client library the driver loaded privately, else one linked into the
  // host (the server's own).
  if (void* loaded = ::dlopen("libfbclient.so.2", RTLD_NOW | RTLD_NOLOAD)) {
    symbol = ::dlsym(loaded, "fb_get_master_interface");
    ::dlclose(loaded);  // drops only the reference NOLOAD took
  }
  if (symbol == nullptr) symbol = ::dlsym(RTLD_DEFAULT, "fb_get_master_interface");
  if (symbol == nullptr) return nullptr;
  Firebird::IMaster* master = reinterpret_cast<GetMaster>(symbol)();
  return master != nullptr ? master->getConfigManager() : nullptr;
}

Firebird::IConfigManager* ConfigManager() {
  static std::atomic<Firebird::IConfigManager*> found{nullptr};
  Firebird::IConfigManager* manager = found.load(std::memory_order_acquire);
  if (manager == nullptr) {
    manager = FindConfigManager();
    if (manager != nullptr) found.store(manager, std::memory_order_release);
  }
  return manager;
}

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

  void CloseFile(int fd) override { ::close(fd); }

  bool FileExists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }

  int ReadWholeFile(const std::string& path, std::string* content) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    content->clear();
    char chunk[65536];
    for (;;) {
      ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n < 0) {
        if (errno == EINTR) continue;
        int err = errno;
        ::close(fd);
        return err;
      }
      if (n == 0) break;
      content->append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return 0;
  }

  int ReadFileFacts(const std::string& path, FileFacts* facts) override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return errno;
    facts->regular = S_ISREG(st.st_mode);
    facts->mode = static_cast<unsigned>(st.st_mode & 07777);
    facts->device = static_cast<std::uint64_t>(st.st_dev);
    facts->file_id = static_cast<std::uint64_t>(st.st_ino);
    return 0;
  }

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

  std::string FirebirdDirectory(FirebirdFolder folder) override {
    Firebird::IConfigManager* manager = ConfigManager();
    if (manager == nullptr) return std::string();
    const char* text = nullptr;
    switch (folder) {
      case FirebirdFolder::kRoot: text = manager->getRootDirectory(); break;
      case FirebirdFolder::kConfig: text = manager->getDirectory(Firebird::IConfigManager::DIR_CONF); break;
      case FirebirdFolder::kSecurity: text = manager->getDirectory(Firebird::IConfigManager::DIR_SECDB); break;
    }
    std::string path = text != nullptr ? text : "";
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
  }

  std::string FirebirdSetting(const std::string& name) override {
    Firebird::IConfigManager* manager = ConfigManager();
    if (manager == nullptr) return std::string();
    Firebird::IFirebirdConf* conf = manager->getFirebirdConf();
    if (conf == nullptr) return std::string();
    std::string value;
    const unsigned key = conf->getKey(name.c_str());
    if (key != ~0u) {
      const char* text = conf->asString(key);
      if (text != nullptr) value = text;
    }
    conf->release();
    return value;
  }

  unsigned long ProcessId() override { return static_cast<unsigned long>(::getpid()); }

  std::string ExecutablePath() override {
    char buffer[PATH_MAX + 1];
    ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
  }

  void* LoadLibrary(const std::string& file_name) override {
    return ::dlopen(file_name.c_str(), RTLD_NOW | RTLD_LOCAL);
  }

  void* FindSymbol(void* library, const std::string& name) override {
    return ::dlsym(library, name.c_str());
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
