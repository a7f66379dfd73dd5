// What a run's transaction strategy needs to know of a statement.
#pragma once

#include <string_view>

namespace tolvane {

enum class StatementClass {
  kOther,
  kDdl,       // sql_words::IsDdlWord
  kCommit,    // COMMIT [WORK]
  kRollback,  // ROLLBACK [WORK]
  kStartTransaction,  // SET TRANSACTION ...
};

// By the first word after blanks, comments and opening parentheses.
StatementClass ClassifyForRun(std::string_view sql) noexcept;

}  // namespace tolvane
