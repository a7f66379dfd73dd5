#include "connection/StatementClassification.h"

#include "runtime/Text.h"

namespace tolvane {
namespace {

bool EndsToken(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '(' || c == ','; }

}  // namespace

bool IsSelectStatement(std::string_view sql) {
  std::size_t begin = 0;
  while (begin < sql.size() && EndsToken(sql[begin])) ++begin;
  std::size_t end = begin;
  while (end < sql.size() && !EndsToken(sql[end])) ++end;
  return SameTextAscii(sql.substr(begin, end - begin), "SELECT");
}

}  // namespace tolvane
