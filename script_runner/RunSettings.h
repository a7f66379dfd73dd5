// What a run is asked to do. The defaults are the behaviour of executa_sql.
#pragma once

namespace tolvane {

enum class Dialect {
  kLines,  // one statement per line
  kIsql,   // terminators, SET TERM and comments, as isql reads a script
};

struct RunSettings {
  Dialect dialect = Dialect::kLines;
  bool failure_files = true;  // a failed statement leaves TESTE<index>.TXT
};

}  // namespace tolvane
