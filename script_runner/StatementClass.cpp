#include "script_runner/StatementClass.h"

namespace tolvane {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

bool IsWordChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$';
}

std::size_t SkipBlanksAndComments(std::string_view sql, std::size_t at) {
  while (at < sql.size()) {
    if (IsBlank(sql[at]) || sql[at] == '(') {
      ++at;
    } else if (sql.compare(at, 2, "--") == 0) {
      const std::size_t end = sql.find('\n', at);
      at = end == std::string_view::npos ? sql.size() : end + 1;
    } else if (sql.compare(at, 2, "/*") == 0) {
      const std::size_t end = sql.find("*/", at + 2);
      at = end == std::string_view::npos ? sql.size() : end + 2;
    } else {
      break;
    }
  }
  return at;
}

std::string_view WordAt(std::string_view sql, std::size_t at) {
  std::size_t end = at;
  while (end < sql.size() && IsWordChar(sql[end])) ++end;
  return sql.substr(at, end - at);
}

bool SameWord(std::string_view word, std::string_view upper) {
  if (word.size() != upper.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return true;
}

// Nothing but an optional WORK, blanks, comments and semicolons follows.
bool EndsHere(std::string_view sql, std::size_t at) {
  at = SkipBlanksAndComments(sql, at);
  const std::string_view word = WordAt(sql, at);
  if (!word.empty()) {
    if (!SameWord(word, "WORK")) return false;
    at += word.size();
  }
  for (at = SkipBlanksAndComments(sql, at); at < sql.size(); at = SkipBlanksAndComments(sql, at + 1))
    if (sql[at] != ';') return false;
  return true;
}

}  // namespace

StatementClass ClassifyForRun(std::string_view sql) noexcept {
  const std::size_t at = SkipBlanksAndComments(sql, 0);
  const std::string_view word = WordAt(sql, at);
  if (SameWord(word, "COMMIT") && EndsHere(sql, at + word.size())) return StatementClass::kCommit;
  if (SameWord(word, "ROLLBACK") && EndsHere(sql, at + word.size()))
    return StatementClass::kRollback;
  for (std::string_view ddl :
       {"CREATE", "ALTER", "DROP", "RECREATE", "DECLARE", "COMMENT", "GRANT", "REVOKE"})
    if (SameWord(word, ddl)) return StatementClass::kDdl;
  return StatementClass::kOther;
}

}  // namespace tolvane
