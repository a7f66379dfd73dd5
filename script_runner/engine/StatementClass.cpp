#include "script_runner/engine/StatementClass.h"

#include "runtime/SqlWords.h"

namespace tolvane {

StatementClass ClassifyForRun(std::string_view sql) noexcept {
  using namespace sql_words;
  const std::size_t at = FirstWordAt(sql);
  const std::string_view word = WordAt(sql, at);
  if (SameWord(word, "COMMIT") && EndsTransactionLine(sql, at + word.size()))
    return StatementClass::kCommit;
  if (SameWord(word, "ROLLBACK") && EndsTransactionLine(sql, at + word.size()))
    return StatementClass::kRollback;
  if (SameWord(word, "SET") &&
      SameWord(WordAt(sql, SkipBlanksAndComments(sql, at + word.size())), "TRANSACTION"))
    return StatementClass::kStartTransaction;
  if (IsDdlWord(word)) return StatementClass::kDdl;
  return StatementClass::kOther;
}

}  // namespace tolvane
