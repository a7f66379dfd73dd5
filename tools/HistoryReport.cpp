#include "tools/HistoryReport.h"

#include <string>
#include <string_view>

#include "runtime/JsonText.h"

namespace tolvane::exec {
namespace {

std::string Cell(const tolvane::HistoryRow& row, std::size_t index) {
  return index < row.size() && row[index] ? *row[index] : std::string("-");
}

bool IsNumberColumn(std::string_view column) {
  return column == "ATTEMPT" || column == "ATTACHMENT_ID" || column.ends_with("_COUNT");
}

}  // namespace

void WriteHistoryText(std::ostream& out, const std::vector<tolvane::HistoryRow>& rows) {
  for (const tolvane::HistoryRow& row : rows) {
    std::string who = Cell(row, 4);
    if (row.size() > 5 && row[5] && !row[5]->empty() && *row[5] != "NONE") who += " as " + *row[5];
    out << Cell(row, 0) << " attempt " << Cell(row, 1) << ": " << Cell(row, 3) << ", "
        << Cell(row, 13) << " ok, " << Cell(row, 14) << " failed, " << Cell(row, 15)
        << " skipped, " << Cell(row, 16) << " tolerated; " << who << "; " << Cell(row, 9)
        << " to " << Cell(row, 10) << "; " << Cell(row, 11) << ", " << Cell(row, 12)
        << "; checksum " << Cell(row, 2) << '\n';
    if (Cell(row, 3) != "applied" && row.size() > 17 && row[17]) out << "  " << *row[17] << '\n';
  }
  out << std::flush;
}

void WriteHistoryJson(std::ostream& out, const std::vector<tolvane::HistoryRow>& rows) {
  std::string text = "{\"history\":[";
  for (std::size_t r = 0; r < rows.size(); ++r) {
    text += r == 0 ? "\n{" : ",\n{";
    for (std::size_t i = 0; i < tolvane::kHistoryColumnCount; ++i) {
      const std::string_view column = tolvane::kHistoryColumns[i];
      if (i > 0) text += ',';
      std::string name(column);
      for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      tolvane::AppendJsonString(text, name);
      text += ':';
      const std::optional<std::string>& cell = i < rows[r].size() ? rows[r][i] : std::nullopt;
      if (!cell) text += "null";
      else if (IsNumberColumn(column)) text += *cell;
      else tolvane::AppendJsonString(text, *cell);
    }
    text += '}';
  }
  text += "]}\n";
  out << text << std::flush;
}

}  // namespace tolvane::exec
