// One piece of a script as a run sees it, and the seam through which a run
// takes its pieces: the splitting rule of a dialect.
#pragma once

#include <string_view>

namespace tolvane {

struct ScriptStatement {
  enum class Kind {
    kSql,      // sent to the database
    kSkipped,  // a client command with no meaning inside a run
    kRefused,  // a client command a run cannot honour; reported as failed
    kSetBail,  // SET BAIL ON/OFF
    kCommand,  // an isql command the run applies: `command`, with `number` or `word`
  };
  enum class Command {
    kNone,
    kRowCount,    // SET ROWCOUNT / MAXROWS n: selects fetch at most n rows (0: all)
    kPlanOnly,    // SET PLANONLY [ON|OFF]: statements are prepared, not run
    kAutoDdl,     // SET AUTODDL [ON|OFF]: DDL commits at once
    kNames,       // SET NAMES cs: the connection's character set
    kSqlDialect,  // SET SQL DIALECT n
    kExit,        // EXIT: commit and end the run
    kQuit,        // QUIT: roll back and end the run
  };
  // For the switches (PLANONLY, AUTODDL), `number` is one of these.
  static constexpr long long kToggle = -1, kOff = 0, kOn = 1;
  Kind kind = Kind::kSql;
  // The statement as sent (kSql) or the command as written: a view into the
  // script, without a terminator. In the isql dialect it starts at the first
  // character that is neither blank nor comment and ends at the last one
  // that is not blank; everything between stays as written.
  std::string_view text;
  int index = 0;       // 0-based index of its first line: names its failure file
  int first_line = 0;  // 1-based numbers of its first and last lines
  int last_line = 0;
  std::string_view reason;  // kSkipped, kRefused: why (static text)
  bool bail_on = false;     // kSetBail: ON (a bare SET BAIL is ON) or OFF
  Command command = Command::kNone;  // kCommand
  long long number = 0;              // kCommand: its number or switch
  std::string_view word;             // kCommand: its name (SET NAMES)
};

// Hands out a script's pieces in order. The texts point into the script,
// which outlives the source.
class StatementSource {
 public:
  virtual ~StatementSource() = default;
  // The next piece, or false at the end.
  virtual bool Next(ScriptStatement* out) = 0;
};

}  // namespace tolvane
