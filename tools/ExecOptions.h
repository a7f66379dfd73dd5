// Command line of tolvane-exec.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace tolvane::exec {

// A command line that cannot be run; its message is shown with the usage line.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr unsigned kDefaultSegmentSize = 32768;
inline constexpr unsigned kMaxSegmentSize = 65535;  // a server segment is at most this long

enum class Report { kText, kJson, kNone };

struct ExecOptions {
  std::string script_file;  // "-" reads standard input
  std::string database;
  std::string module_path;  // given: run through that module's executa_sql, as a server does
  Report report = Report::kText;
  // The run's options text (mode=…;dialect=…;lock_timeout=…;failure_files=…),
  // from --options and the single-option flags; checked when parsed.
  std::string run_options;
  unsigned segment_size = kDefaultSegmentSize;
  // The configuration: config_file when given, none with no_config, else
  // looked for as the module looks for it.
  std::string config_file;
  bool no_config = false;
  // The login, over the configuration's and ISC_USER / ISC_PASSWORD; the
  // password only ever from a file.
  std::string user;
  std::string password_file;
  std::string role;
  bool show_settings = false;  // print every setting and its origin, run nothing
  // --history: shows the database's history of scripts applied once and
  // runs nothing.
  bool history = false;
  bool help = false;

  // Many databases: every --database in order, then those of --targets
  // (a file, or - for standard input).
  std::vector<std::string> databases;
  std::string targets_file;
  unsigned jobs = 0;           // targets at once; 0: the processors, at most 8
  unsigned jobs_per_host = 0;  // at once on one host; 0: no bound beyond jobs
  std::string journal;         // a line per finished target is appended here
  std::string resume;          // a journal whose done targets are skipped
  bool yes = false;            // many targets without --once, asked for

  // One script on many databases.
  bool Fleet() const { return !targets_file.empty() || databases.size() > 1; }
};

inline constexpr unsigned kMaxJobs = 64;

// Throws UsageError for anything it cannot take.
ExecOptions ParseExecOptions(const std::vector<std::string>& args);

const char* UsageText();

}  // namespace tolvane::exec
