// Reading the first words of an SQL text: blanks and comments passed over,
// words compared without regard to ASCII case. Header-only, so that the
// driver library and the run engine read statements alike without sharing
// a library.
#pragma once

#include <cstddef>
#include <string_view>

namespace tolvane::sql_words {

inline bool IsBlank(char c) noexcept { return static_cast<unsigned char>(c) <= ' '; }

inline bool IsWordChar(char c) noexcept {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '_' || c == '$';
}

// word equals upper (given in capitals), ASCII letters compared without case.
inline bool SameWord(std::string_view word, std::string_view upper) noexcept {
  if (word.size() != upper.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return true;
}

// Past blanks, "--" comments and "/* */" comments from at; an unterminated
// block comment runs to the end.
inline std::size_t SkipBlanksAndComments(std::string_view sql, std::size_t at) noexcept {
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

inline std::string_view WordAt(std::string_view sql, std::size_t at) noexcept {
  std::size_t end = at;
  while (end < sql.size() && IsWordChar(sql[end])) ++end;
  return sql.substr(at, end - at);
}

// True when only an optional WORK, blanks, comments and semicolons follow at:
// the rest of a COMMIT or ROLLBACK that ends the transaction.
inline bool EndsTransactionLine(std::string_view sql, std::size_t at) noexcept {
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

// The first words of data definition and rights, which never return rows
// and which the run's modes commit apart from data changes.
inline bool IsDdlWord(std::string_view word) noexcept {
  for (std::string_view ddl :
       {"CREATE", "ALTER", "DROP", "RECREATE", "DECLARE", "COMMENT", "GRANT", "REVOKE"})
    if (SameWord(word, ddl)) return true;
  return false;
}

// The first word of sql, past blanks, comments and opening parentheses.
inline std::size_t FirstWordAt(std::string_view sql) noexcept {
  std::size_t at = SkipBlanksAndComments(sql, 0);
  while (at < sql.size() && sql[at] == '(') at = SkipBlanksAndComments(sql, at + 1);
  return at;
}

}  // namespace tolvane::sql_words
