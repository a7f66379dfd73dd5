// The one seam between the system and the operating system. Every call that
// stands for a Windows facility of the original design lives behind it, so
// that tests can substitute their own and inject failures.
//
// Each operation is safe to call from several threads at once. None throws;
// failures come back as values.
#pragma once

#include <cstddef>
#include <string>

namespace tolvane {

// A setting as the registry would hold it.
struct SettingValue {
  enum class Kind {
    kMissing,      // no value, or no key: behaves like an absent setting
    kString,       // a plain string
    kExpandString, // an expandable string; used literally, never expanded
    kOtherType,    // a value of another type (a number, binary data)
    kUnreadable,   // its size was found but its data could not be read
  };
  Kind kind = Kind::kMissing;
  std::string text;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Creates path, or opens and truncates it when it exists, for reading and
  // writing with nobody else holding it: a symbolic link at path is refused,
  // and a file another holder has open gives an error. Returns a descriptor,
  // or -1 with *error set to the system's error number.
  virtual int CreateFileExclusive(const std::string& path, int* error) = 0;
  // Writes size bytes; returns the number written, or -1 with *error set.
  virtual long WriteFile(int fd, const void* data, std::size_t size, int* error) = 0;
  virtual void CloseFile(int fd) = 0;

  // True when path names an existing regular file (not a directory).
  virtual bool FileExists(const std::string& path) = 0;
  // Reads the whole file into *content; returns 0 or the system's error number.
  virtual int ReadWholeFile(const std::string& path, std::string* content) = 0;

  // The system's description of an error number.
  virtual std::string ErrorText(int error) = 0;

  // A value under the system's settings key ("Driver Registry File",
  // "Connection Registry File").
  virtual SettingValue ReadSetting(const std::string& name) = 0;
  // An environment variable of the process; empty when absent.
  virtual std::string GetEnvironment(const std::string& name) = 0;
  // The full path of the host process's executable.
  virtual std::string ExecutablePath() = 0;

  // Loads a dynamic library by file name; null when it cannot be loaded. A
  // library once loaded is never unloaded.
  virtual void* LoadLibrary(const std::string& file_name) = 0;
  // The address of an export; null when absent.
  virtual void* FindSymbol(void* library, const std::string& name) = 0;

  // Memory for a script buffer; null when it cannot be had.
  virtual char* AllocateBuffer(std::size_t size) = 0;
  virtual void FreeBuffer(char* buffer) = 0;
};

// The system's platform (PosixPlatform.cpp or WindowsPlatform.cpp, as
// built); lives for the whole process.
Platform& DefaultPlatform();

}  // namespace tolvane
