// Failure details a driver can hand over beside its error text, without a
// call of its own: GetErrorTextLength may count, after the text, one NUL and
// a details record; GetErrorText then writes text, NUL, record. A reader that
// stops at the first NUL sees the plain text, so the contract's texts and the
// order of its calls are unchanged.
//
// The record: "isc=<code>;sqlstate=<5 characters or empty>;lost=<0|1>", where
// lost=1 says that the connection itself is gone (killed, shut down, broken),
// so further statements on it cannot succeed; then, when the database gave
// more than one code, ";codes=<code>,<code>,..." with every code of its
// status in order (the first is isc=, the later ones say what exactly).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

struct DriverFailureDetails {
  std::int64_t isc_code = 0;  // the database's own error code; 0 when unknown
  std::string sqlstate;       // five characters, or empty
  bool connection_lost = false;
  std::vector<std::int64_t> codes;  // every code of the status, in order
};

inline std::string EncodeFailureDetails(const DriverFailureDetails& details) {
  std::string record = "isc=" + std::to_string(details.isc_code) + ";sqlstate=";
  record += details.sqlstate.substr(0, 5);
  record += details.connection_lost ? ";lost=1" : ";lost=0";
  if (details.codes.size() > 1) {
    record += ";codes=";
    for (std::size_t i = 0; i < details.codes.size(); ++i)
      record += (i == 0 ? "" : ",") + std::to_string(details.codes[i]);
  }
  return record;
}

// Reads a record written by EncodeFailureDetails; false (and *details
// untouched) for anything else.
inline bool DecodeFailureDetails(std::string_view record, DriverFailureDetails* details) {
  constexpr std::string_view kIsc = "isc=", kState = ";sqlstate=", kLost = ";lost=";
  constexpr std::string_view kCodes = ";codes=";
  if (record.substr(0, kIsc.size()) != kIsc) return false;
  std::vector<std::int64_t> codes;
  if (const std::size_t codes_at = record.find(kCodes); codes_at != std::string_view::npos) {
    std::string_view list = record.substr(codes_at + kCodes.size());
    record = record.substr(0, codes_at);
    while (!list.empty()) {
      const std::size_t comma = list.find(',');
      const std::string item(list.substr(0, comma));
      char* item_end = nullptr;
      const long long code = std::strtoll(item.c_str(), &item_end, 10);
      if (item.empty() || item.size() > 19 || item_end == nullptr || *item_end != '\0') return false;
      codes.push_back(code);
      list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
  }
  const std::size_t state_at = record.find(kState);
  const std::size_t lost_at = record.rfind(kLost);
  if (state_at == std::string_view::npos || lost_at == std::string_view::npos ||
      lost_at < state_at || lost_at + kLost.size() + 1 != record.size())
    return false;
  const std::string code(record.substr(kIsc.size(), state_at - kIsc.size()));
  if (code.empty() || code.size() > 19) return false;
  char* end = nullptr;
  const long long value = std::strtoll(code.c_str(), &end, 10);
  if (end == nullptr || *end != '\0') return false;
  const std::string_view state =
      record.substr(state_at + kState.size(), lost_at - state_at - kState.size());
  const char lost = record.back();
  if (state.size() > 5 || (lost != '0' && lost != '1')) return false;
  details->isc_code = value;
  details->sqlstate.assign(state);
  details->connection_lost = lost == '1';
  if (codes.empty() && value != 0) codes.push_back(value);
  details->codes = std::move(codes);
  return true;
}

}  // namespace tolvane
