// The one seam between the system and the operating system. Every call the
// system makes to it lives behind this seam, so that tests can substitute
// their own and inject failures.
//
// Each operation is safe to call from several threads at once. None throws;
// failures come back as values.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
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

// Which file a name leads to: two names of one file give the same identity
// (device and inode; on Windows the volume's serial number and file index).
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  bool operator==(const FileIdentity&) const = default;
};

struct FileFacts {
  bool regular = false;    // a regular file (not a folder, device, ...)
  bool folder = false;
  bool link = false;       // a symbolic link itself (never when links are followed)
  unsigned mode = 0;       // permission bits (07777)
  unsigned long owner = 0; // the owner's user id
  unsigned long names = 1; // hard links: the names the file has
  FileIdentity identity;
  std::uint64_t size = 0;  // bytes, for a regular file
  // The last write, on the clock FileClockNow reads (its unit is the
  // system's: nanoseconds on Linux, 100 ns on Windows).
  std::int64_t written = 0;
};

// Requests to stop the process (Ctrl-C, SIGTERM), taken over while it lives.
class StopWatch {
 public:
  virtual ~StopWatch() = default;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Creates path, or opens and truncates it when it exists, for reading and
  // writing with nobody else holding it: a symbolic link at path is refused,
  // and so is anything but a regular file with one link (a planted hard link
  // would let the write land in a file elsewhere). A file another holder has
  // locked is waited for, for a bounded time, then gives an error. Returns a
  // descriptor, or -1 with *error set to the system's error number.
  virtual int CreateFileExclusive(const std::string& path, int* error) = 0;
  // Creates path as a new file for appending, readable by the owner's group
  // and nobody else; an existing name (a file, a link of any kind) is an
  // error. Returns a descriptor, or -1 with *error set.
  virtual int CreateNewFile(const std::string& path, int* error) = 0;
  // Writes size bytes; returns the number written, or -1 with *error set.
  virtual long WriteFile(int fd, const void* data, std::size_t size, int* error) = 0;
  // Cuts the file back to size bytes (later writes of a file made by
  // CreateNewFile still go to its end); returns 0 or the system's error number.
  virtual int TruncateFile(int fd, long long size) = 0;
  virtual void CloseFile(int fd) = 0;

  // True when path names an existing regular file (not a directory).
  virtual bool FileExists(const std::string& path) = 0;
  // Reads the whole file into *content; returns 0 or the system's error number.
  virtual int ReadWholeFile(const std::string& path, std::string* content) = 0;

  // What the file system says of path, following symbolic links: 0 and
  // *facts filled, or the system's error number (ENOENT when nothing is there).
  virtual int ReadFileFacts(const std::string& path, FileFacts* facts) = 0;
  // Opens path without following a symbolic link at its last part and
  // without waiting on a device or pipe, fills *facts from the open file
  // (a link comes back as facts->link, unopened), and reads the whole file
  // into *content when it is a regular one: what is judged is what is read.
  // 0, or the system's error number.
  virtual int ReadFileNoFollow(const std::string& path, std::string* content, FileFacts* facts) = 0;
  // As ReadFileFacts, but a symbolic link at path's last part is described
  // itself (facts->link), not followed; nothing is opened for reading.
  virtual int ReadLinkFacts(const std::string& path, FileFacts* facts) = 0;
  // Now, on the clock file write times are stamped from (FileFacts::written):
  // a file written after this call never reads as written before it.
  virtual std::int64_t FileClockNow() = 0;
  // Opens path for reading, following links, and fills *facts from the open
  // file; the caller judges what it opened (a folder or device opens too,
  // where the system allows). A descriptor for ReadAt and CloseFile, or -1
  // with *error set to the system's error number.
  virtual int OpenForReading(const std::string& path, FileFacts* facts, int* error) = 0;
  // Reads up to count bytes at offset of a file OpenForReading opened: the
  // number read, 0 at the end, or -1 with *error set.
  virtual long ReadAt(int fd, void* buffer, std::size_t count, std::uint64_t offset, int* error) = 0;
  // Opens path for appending, making it (readable by its owner alone) when
  // it is missing; a symbolic link at path is refused. *facts describes the
  // open file, whose size is where the next write lands. A descriptor for
  // WriteFile, TruncateFile and CloseFile, or -1 with *error set.
  virtual int OpenForAppend(const std::string& path, FileFacts* facts, int* error) = 0;
  // Makes the folder path (its parent must exist); a folder already there
  // is no error, anything else there (a link included) is. 0 or the
  // system's error number.
  virtual int CreateFolder(const std::string& path) = 0;
  // Whether standard input (0), output (1) or error (2) is a terminal.
  virtual bool IsTerminal(int stream) = 0;
  // From now until the watch ends, each request to stop the process calls
  // on_request(how many came so far) on a thread of the watch's own, and
  // nothing else happens to the process: neither the system's handling nor
  // a handler a library installed (Firebird's client shuts its engine down
  // on one) sees it. Take it before the process starts its threads.
  virtual std::unique_ptr<StopWatch> WatchStopRequests(std::function<void(int count)> on_request) = 0;
  // The user the process runs as (its effective user id; 0 on Windows, where
  // FileFacts::owner is 0 as well).
  virtual unsigned long EffectiveUser() = 0;
  // path with every symbolic link, "." and ".." resolved: 0 and *resolved
  // filled, or the system's error number (ENOENT when a part is missing).
  virtual int RealPath(const std::string& path, std::string* resolved) = 0;

  // The system's description of an error number.
  virtual std::string ErrorText(int error) = 0;

  // A value under the system's settings key ("Driver Registry File",
  // "Connection Registry File").
  virtual SettingValue ReadSetting(const std::string& name) = 0;
  // An environment variable of the process; empty when absent.
  virtual std::string GetEnvironment(const std::string& name) = 0;
  // The full path of the host process's executable.
  virtual std::string ExecutablePath() = 0;
  // The folder of the module (or program) this code was linked into, with no
  // trailing slash; empty when it cannot be told.
  virtual std::string ModuleFolder() = 0;
  // The host process's identifier.
  virtual unsigned long ProcessId() = 0;

  // Loads a dynamic library by file name; null when it cannot be loaded,
  // with the loader's reason in *reason unless reason is null. A library
  // once loaded is never unloaded. From a shared module on Linux, a bare
  // file name is taken from the module's folder alone; a program's bare name
  // goes through the system's search, and a path is loaded as given.
  virtual void* LoadLibrary(const std::string& file_name, std::string* reason) = 0;
  // The address of an export; null when absent.
  virtual void* FindSymbol(void* library, const std::string& name) = 0;
  // The address of an export of library when the process already holds it
  // (never loaded here), else, where the system has one, of the process's
  // global symbols (the host program's own); null when absent.
  virtual void* FindLoadedSymbol(const std::string& library, const std::string& name) = 0;

  // Memory for a script buffer; null when it cannot be had.
  virtual char* AllocateBuffer(std::size_t size) = 0;
  virtual void FreeBuffer(char* buffer) = 0;
};

// How long a file another holder has locked is waited for: long enough for
// a call failing at the same line index to finish its write.
inline constexpr std::chrono::milliseconds kFileHolderWait{5000};

// The system's platform (PosixPlatform.cpp or WindowsPlatform.cpp, as
// built); lives for the whole process; waits kFileHolderWait.
Platform& DefaultPlatform();

// A POSIX platform of its own that waits holder_wait instead.
std::unique_ptr<Platform> MakePosixPlatform(std::chrono::milliseconds holder_wait);

}  // namespace tolvane
