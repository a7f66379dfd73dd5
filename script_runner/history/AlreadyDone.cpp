#include "script_runner/history/AlreadyDone.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace tolvane {
namespace {

// "unsuccessful metadata update": every DDL failure starts with it, so a
// duplicate key of a plain INSERT is never taken for an existing object.
constexpr std::int64_t kMetadataUpdate = 335544351;

// Its object already exists.
constexpr std::int64_t kExists[] = {
    336068740,  // Table (or view) already exists
    336068859,  // Index already exists (also a UNIQUE or PRIMARY KEY constraint's)
    336068743,  // Procedure already exists
    336068876,  // Function already exists
    336068862,  // Sequence (generator) already exists
    336068861,  // Exception already exists
    336068802,  // SQL role already exists
    335544548,  // Attempt to define a second PRIMARY KEY for the same table
    // A system table's unique key: the column of ALTER TABLE ADD, a domain,
    // a trigger that already exist.
    335544665,
};

// Its object does not exist; only for a statement that drops.
constexpr std::int64_t kGone[] = {
    336397206,  // Table does not exist
    336397207,  // View does not exist
    336068784,  // column does not exist in table/view
    336068738,  // CONSTRAINT does not exist
    336068656,  // Index not found
    336068697,  // Domain not found
    336068748,  // Procedure not found
    336068649,  // Function not found
    336068755,  // Trigger not found
    335544463,  // generator is not defined
    336068752,  // Exception not found
    336068763,  // Role not found
};

template <std::size_t N>
bool AnyOf(const std::int64_t (&table)[N], std::span<const std::int64_t> codes) {
  return std::any_of(codes.begin(), codes.end(), [&](std::int64_t code) {
    return std::find(std::begin(table), std::end(table), code) != std::end(table);
  });
}

// DROP ..., or ALTER TABLE ... DROP ... (a column or a constraint).
bool Drops(std::string_view statement) {
  std::string words;
  for (char c : statement) words += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::size_t at = words.find_first_not_of(" \t\r\n(");
  if (at == std::string::npos) return false;
  if (words.compare(at, 5, "DROP ") == 0 || words.compare(at, 5, "DROP\t") == 0) return true;
  if (words.compare(at, 6, "ALTER ") != 0) return false;
  for (std::size_t found = words.find("DROP", at); found != std::string::npos;
       found = words.find("DROP", found + 4)) {
    const bool starts = found == 0 || std::isspace(static_cast<unsigned char>(words[found - 1]));
    const bool ends = found + 4 == words.size() ||
                      std::isspace(static_cast<unsigned char>(words[found + 4]));
    if (starts && ends) return true;
  }
  return false;
}

}  // namespace

bool FailsAsAlreadyDone(std::string_view statement, std::span<const std::int64_t> codes) {
  if (codes.empty() || codes.front() != kMetadataUpdate) return false;
  if (AnyOf(kExists, codes)) return !Drops(statement);
  return AnyOf(kGone, codes) && Drops(statement);
}

}  // namespace tolvane
