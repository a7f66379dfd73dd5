// The options text shared by every front end and the configuration:
// "name=value" pairs separated by ";", names case-insensitive, blanks around
// names and values ignored.
//
//   mode          continue | bail | atomic | batch | isql
//                 (not given: isql for the isql dialect, else continue)
//   dialect       lines | isql
//   charset       the connection's character set (isql's -ch), e.g. UTF8
//   sql_dialect   1 | 2 | 3
//   lock_timeout  seconds (0 waits without a limit) | nowait
//   failure_files on | off
//   statement_text not_ok | all   TOLVANE_RUN's STATEMENT column: for rows
//                                 that did not end ok or done, or for all
//   once          an id (1-255 of letters, digits, . _ - : /): the script runs
//                 once per id and database (script_runner/history)
//   once_changed  refuse | rerun   an applied id whose script changed
//   tolerate      exists | none    statements whose object already exists
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/Exceptions.h"
#include "script_runner/engine/RunSettings.h"

namespace tolvane {

// An options text that cannot be taken; its message names the option and
// what it allows.
class ERunOptions : public Exception {
  using Exception::Exception;
};

// base with the options of text applied. An unknown name, a bad value or a
// name given twice raises ERunOptions; nothing is touched before that.
RunSettings ParseRunOptions(std::string_view text, const RunSettings& base = RunSettings{});

// Calls take(name, value) for every pair of text in order, names in small
// letters, blanks trimmed; a pair without "=" or a name given twice raises
// ERunOptions when it is reached.
void ForEachRunOption(std::string_view text,
                      const std::function<void(const std::string&, std::string_view)>& take);

// The value text gives name (in small letters); nothing when it gives none.
std::optional<std::string> RunOptionValue(std::string_view text, std::string_view name);

// settings as an options text that ParseRunOptions takes back (the run
// log's record of a run): every option the text can set, defaults included.
std::string RunOptionsText(const RunSettings& settings);

// The options a configuration's default_options may not give: they name one
// call's script, not every run of a server.
void RefuseCallOnlyOptions(const RunSettings& settings);

const char* RunModeName(RunMode mode);
const char* DialectName(Dialect dialect);

}  // namespace tolvane
