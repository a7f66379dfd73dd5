// Turning a refused driver call into the connection layer's error.
#include "connection/DriverErrors.h"
#include "connection/ConnectionMessages.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "connection/DatabaseError.h"
#include "connection/SQLConnection.h"
#include "runtime/Exceptions.h"
#include "runtime/Text.h"

namespace tolvane {
namespace {

std::string UnknownResultText(DriverResult code) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(code));
  return Format(kSDriverResultUnknown, {hex});
}

// "SQL Server Error: %s" with the object's own text, or empty when the
// object is missing, refuses either call or has no text. Both driver
// interfaces carry the same pair of operations. Details a driver put behind
// the text's NUL go to *details.
template <class Source>
std::string DriverOwnText(Source* source, DriverFailureDetails* details) {
  if (source == nullptr) return std::string();
  std::int16_t length = 0;
  if (source->GetErrorTextLength(&length) != 0 || length <= 0) return std::string();
  // One byte more than announced, all zero, so the text always ends.
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
  if (source->GetErrorText(buffer.data()) != 0) return std::string();
  std::string_view text(buffer.data(), ::strnlen(buffer.data(), buffer.size()));
  if (text.size() + 1 < static_cast<std::size_t>(length)) {
    const std::string_view rest(buffer.data() + text.size() + 1,
                                static_cast<std::size_t>(length) - text.size() - 1);
    DecodeFailureDetails(rest.substr(0, ::strnlen(rest.data(), rest.size())), details);
  }
  return Format(kSServerError, {text});
}

}  // namespace

std::string DriverResultTableText(DriverResult code) {
  if (code < 1 || code > 100) return std::string();
  // The comparison is decimal although the texts show 0x0064 and 0x0065.
  if (code == 64) return Format(kSDriverError, {kSDriverNoMoreData});
  if (code == 65) return Format(kSDriverError, {kSDriverSqlError});
  if (code < DriverErrorTexts.size() && !DriverErrorTexts[code].empty())
    return Format(kSDriverError, {DriverErrorTexts[code]});
  return Format(kSDriverError, {UnknownResultText(code)});
}

DriverResult TSQLConnection::CheckDriverResult(DriverResult result) {
  if (result != 0) RaiseDriverError(result, esConnection, nullptr);
  return 0;
}

void TSQLConnection::RaiseDriverError(DriverResult code, ErrorSource source,
                                      ISQLStatement* statement) {
  std::string message = DriverResultTableText(code);
  DriverFailureDetails details;
  std::string driver_text = source == esStatement
                                ? DriverOwnText(statement, &details)
                                : DriverOwnText(connection_intf_.Get(), &details);
  if (!driver_text.empty()) {
    if (!message.empty()) message += "\r\n";
    message += driver_text;
  }
  // Without any text, the previous error of this connection is raised again.
  if (message.empty()) message = last_error_text_;
  if (message.empty()) message = Format(kSUnknownErrorCode, {std::to_string(code)});
  last_error_text_ = message;
  // No component name in front, as for every driver error.
  throw EDatabaseError(std::move(message), std::move(details));
}

}  // namespace tolvane
