// The Linux answers to the facilities of the original design:
//  - create-or-replace with no sharing: open(O_RDWR|O_CREAT|O_NOFOLLOW|
//    O_CLOEXEC, 0644), then an exclusive non-blocking flock taken before the
//    file is truncated, so a file another call holds is never emptied;
//  - the settings key: environment variables (see SettingVariable);
//  - the executable's path: /proc/self/exe;
//  - libraries: dlopen(RTLD_NOW | RTLD_LOCAL), never dlclose.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "runtime/Platform.h"

namespace tolvane {
namespace {

// The two registry values come from the process's environment.
const char* SettingVariable(const std::string& name) {
  if (name == "Driver Registry File") return "TOLVANE_DRIVER_REGISTRY_FILE";
  if (name == "Connection Registry File") return "TOLVANE_CONNECTION_REGISTRY_FILE";
  return nullptr;
}

class PosixPlatform final : public Platform {
 public:
  int CreateFileExclusive(const std::string& path, int* error) override {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
      *error = errno;
      return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(fd, 0) != 0) {
      *error = errno;
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
};

}  // namespace

Platform& DefaultPlatform() {
  static PosixPlatform platform;
  return platform;
}

}  // namespace tolvane
