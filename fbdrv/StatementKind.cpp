#include "fbdrv/StatementKind.h"

#include <cstddef>

#include "runtime/SqlWords.h"

namespace tolvane::fbdrv {
using namespace sql_words;

StatementKind ClassifyStatement(std::string_view sql) noexcept {
  const std::size_t at = FirstWordAt(sql);
  const std::string_view word = WordAt(sql, at);
  const std::size_t after = at + word.size();

  if (SameWord(word, "COMMIT")) {
    return EndsTransactionLine(sql, after) ? StatementKind::kCommit : StatementKind::kPrepared;
  }
  if (SameWord(word, "ROLLBACK")) {
    return EndsTransactionLine(sql, after) ? StatementKind::kRollback : StatementKind::kPrepared;
  }
  if (SameWord(word, "SET") &&
      SameWord(WordAt(sql, SkipBlanksAndComments(sql, after)), "TRANSACTION")) {
    return StatementKind::kStartTransaction;
  }
  for (std::string_view dml : {"INSERT", "UPDATE", "DELETE", "MERGE"}) {
    if (SameWord(word, dml)) return StatementKind::kDml;
  }
  if (SameWord(word, "CREATE")) {
    const std::string_view object = WordAt(sql, SkipBlanksAndComments(sql, after));
    if (SameWord(object, "DATABASE") || SameWord(object, "SCHEMA")) {
      return StatementKind::kCreateDatabase;
    }
  }
  if (IsDdlWord(word)) return StatementKind::kImmediate;
  return StatementKind::kPrepared;
}

}  // namespace tolvane::fbdrv
