#include "fbdrv/StatementKind.h"

#include <cstddef>

namespace tolvane::fbdrv {
namespace {

bool IsBlank(char c) noexcept { return static_cast<unsigned char>(c) <= ' '; }

bool IsWordChar(char c) noexcept {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '_' || c == '$';
}

bool SameWord(std::string_view word, std::string_view upper) noexcept {
  if (word.size() != upper.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return true;
}

// Skips blanks and comments; stops at an unterminated block comment's end.
std::size_t SkipBlanksAndComments(std::string_view sql, std::size_t at) noexcept {
  while (at < sql.size()) {
    if (IsBlank(sql[at])) {
      ++at;
    } else if (sql.compare(at, 2, "--") == 0) {
      while (at < sql.size() && sql[at] != '\n') ++at;
    } else if (sql.compare(at, 2, "/*") == 0) {
      const std::size_t end = sql.find("*/", at + 2);
      at = end == std::string_view::npos ? sql.size() : end + 2;
    } else {
      break;
    }
  }
  return at;
}

std::string_view WordAt(std::string_view sql, std::size_t at) noexcept {
  std::size_t end = at;
  while (end < sql.size() && IsWordChar(sql[end])) ++end;
  return sql.substr(at, end - at);
}

// True when only blanks, comments and semicolons follow, with at most an
// optional WORK before them.
bool EndsTransactionLine(std::string_view sql, std::size_t at) noexcept {
  at = SkipBlanksAndComments(sql, at);
  const std::string_view word = WordAt(sql, at);
  if (!word.empty()) {
    if (!SameWord(word, "WORK")) return false;
    at += word.size();
  }
  while (true) {
    at = SkipBlanksAndComments(sql, at);
    if (at >= sql.size()) return true;
    if (sql[at] != ';') return false;
    ++at;
  }
}

}  // namespace

StatementKind ClassifyStatement(std::string_view sql) noexcept {
  std::size_t at = SkipBlanksAndComments(sql, 0);
  while (at < sql.size() && sql[at] == '(') at = SkipBlanksAndComments(sql, at + 1);
  const std::string_view word = WordAt(sql, at);
  const std::size_t after = at + word.size();

  if (SameWord(word, "COMMIT")) {
    return EndsTransactionLine(sql, after) ? StatementKind::kCommit : StatementKind::kPrepared;
  }
  if (SameWord(word, "ROLLBACK")) {
    return EndsTransactionLine(sql, after) ? StatementKind::kRollback : StatementKind::kPrepared;
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
  for (std::string_view ddl :
       {"CREATE", "ALTER", "DROP", "RECREATE", "DECLARE", "GRANT", "REVOKE", "COMMENT"}) {
    if (SameWord(word, ddl)) return StatementKind::kImmediate;
  }
  return StatementKind::kPrepared;
}

}  // namespace tolvane::fbdrv
