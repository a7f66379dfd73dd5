// Reading values back: one row of a query, and the attachment a connection
// runs on. Only the module's own bookkeeping uses them.
#include <cstring>
#include <vector>

#include "connection/SQLConnection.h"
#include "driver/DriverRef.h"

namespace tolvane {
namespace {

constexpr std::int32_t kRowBytes = 65536;

}  // namespace

bool TSQLConnection::SelectFirstRow(const std::string& sql,
                                    std::vector<std::optional<std::string>>* row) {
  EnsureConnected();
  row->clear();
  DriverRef<ISQLStatement> statement;
  CheckDriverResult(connection_intf_->CreateCommand(statement.Put()));
  std::vector<char> buffer(kRowBytes);
  std::int32_t length = -1;
  const DriverResult r =
      statement->ExecuteSqlFirstRow(sql.c_str(), buffer.data(), kRowBytes, &length);
  if (r != 0) RaiseDriverError(r, esStatement, statement.Get());
  if (length < 0) return false;
  for (std::int32_t at = 0; at < length;) {
    const bool is_null = buffer[at++] == 'N';
    const std::size_t size = std::strlen(buffer.data() + at);
    if (is_null) row->emplace_back();
    else row->emplace_back(std::string(buffer.data() + at, size));
    at += static_cast<std::int32_t>(size) + 1;
  }
  return true;
}

const void* TSQLConnection::AttachmentAddress() {
  EnsureConnected();
  std::uintptr_t address = 0;
  std::int16_t length = 0;
  CheckDriverResult(connection_intf_->GetConnectionOption(
      coAttachment, &address, static_cast<std::int16_t>(sizeof address), &length));
  return reinterpret_cast<const void*>(address);
}

}  // namespace tolvane
