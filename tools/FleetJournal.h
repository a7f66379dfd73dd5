// The journal of a run over many databases: one JSON line per database that
// finished, appended whole as it finishes, so that a run killed at any
// moment leaves the record of every database it finished, and a later run
// can go on from there (--resume).
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace tolvane {
class Platform;
}

namespace tolvane::exec {

class FleetJournal {
 public:
  // Opens path for appending, making it when missing. A last line a killed
  // run left incomplete is cut off first. Throws std::runtime_error naming
  // the file when it cannot be opened or is not a plain file of its own.
  FleetJournal(Platform& platform, const std::string& path);
  ~FleetJournal();
  FleetJournal(const FleetJournal&) = delete;
  FleetJournal& operator=(const FleetJournal&) = delete;

  // Appends line (which ends with a line feed) whole: a write that stops
  // short is cut back, and false says the journal holds no more.
  bool Append(std::string_view line) noexcept;
  // Why the last Append failed; empty while none did.
  const std::string& Failure() const { return failure_; }

 private:
  Platform& platform_;
  std::string path_;
  int fd_ = -1;
  long long size_ = 0;
  std::string failure_;
};

// What a journal says of a database: its last finished line.
struct JournalRecord {
  std::string status;
  std::string first_failure;
  std::string script_sha256;
};

// The journal at path, by database: lines that are not whole JSON records
// (a killed run's last one) are passed over. Throws std::runtime_error
// naming the file when it cannot be read.
std::map<std::string, JournalRecord> ReadJournal(Platform& platform, const std::string& path);

// The text of the string member name of a one-line JSON object as this
// program writes them; false when it has none (or null).
bool JsonStringMember(std::string_view object, std::string_view name, std::string* value);

}  // namespace tolvane::exec
