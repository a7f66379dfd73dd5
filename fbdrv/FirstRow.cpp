// FbStatement::ExecuteSqlFirstRow: the one way the module reads values (its
// own bookkeeping rows), every column as the server converts it to text.
#include <cstring>
#include <vector>

#include "fbdrv/DriverFailure.h"
#include "fbdrv/DriverTexts.h"
#include "fbdrv/FbHandle.h"
#include "fbdrv/FbStatement.h"

namespace tolvane::fbdrv {
namespace {

using Firebird::CheckStatusWrapper;

// Bytes of one column's text; longer values fail the read.
constexpr unsigned kCellBytes = 8190;

[[noreturn]] void InvalidParameter(const char* what) {
  throw DriverFailure(kDriverInvalidParameter, FormatText(texts::kInvalidParameter, what));
}

}  // namespace

DriverResult FbStatement::ExecuteSqlFirstRow(const char* sql, char* buffer,
                                             std::int32_t buffer_length,
                                             std::int32_t* length) noexcept {
  return error_.Run([&] {
    if (sql == nullptr) InvalidParameter("sql");
    if (buffer == nullptr || length == nullptr || buffer_length < 0) InvalidParameter("buffer");
    FbConnection& connection = *connection_.Get();
    FbTransactions& transactions = connection.Transactions();
    ServerStatus& status = connection.Status();
    Firebird::IAttachment* attachment = connection.RequireAttachment();
    rows_ = 0;
    Firebird::ITransaction* transaction = transactions.Begin(attachment);
    std::int32_t written = -1;
    try {
      StatementHandle statement(status, status.Checked([&](CheckStatusWrapper* s) {
        return attachment->prepare(s, transaction, 0, sql, connection.Dialect(), 0);
      }));
      const MetadataHandle described(status, status.Checked([&](CheckStatusWrapper* s) {
        return statement->getOutputMetadata(s);
      }));
      Firebird::IMetadataBuilder* builder =
          status.Checked([&](CheckStatusWrapper* s) { return described->getBuilder(s); });
      MetadataHandle as_text(status, nullptr);
      const unsigned count =
          status.Checked([&](CheckStatusWrapper* s) { return described->getCount(s); });
      try {
        status.Checked([&](CheckStatusWrapper* s) {
          for (unsigned i = 0; i < count; ++i) {
            builder->setType(s, i, SQL_VARYING);
            builder->setLength(s, i, kCellBytes);
            builder->setScale(s, i, 0);
          }
        });
        as_text = MetadataHandle(
            status, status.Checked([&](CheckStatusWrapper* s) { return builder->getMetadata(s); }));
      } catch (...) {
        builder->release();
        throw;
      }
      builder->release();
      ResultSetHandle results(status, status.Checked([&](CheckStatusWrapper* s) {
        return statement->openCursor(s, transaction, nullptr, nullptr, as_text.Get(), 0);
      }));
      const unsigned message_length =
          status.Checked([&](CheckStatusWrapper* s) { return as_text->getMessageLength(s); });
      std::vector<unsigned char> row(message_length > 0 ? message_length : 1);
      if (status.Checked([&](CheckStatusWrapper* s) { return results->fetchNext(s, row.data()); }) ==
          Firebird::IStatus::RESULT_OK) {
        written = 0;
        for (unsigned i = 0; i < count; ++i) {
          const unsigned offset =
              status.Checked([&](CheckStatusWrapper* s) { return as_text->getOffset(s, i); });
          const unsigned null_offset =
              status.Checked([&](CheckStatusWrapper* s) { return as_text->getNullOffset(s, i); });
          const bool is_null = *reinterpret_cast<const short*>(row.data() + null_offset) != 0;
          unsigned short size = 0;
          if (!is_null) std::memcpy(&size, row.data() + offset, sizeof size);
          if (written + 2 + static_cast<std::int32_t>(size) > buffer_length) InvalidParameter("buffer");
          buffer[written++] = is_null ? 'N' : 'V';
          std::memcpy(buffer + written, row.data() + offset + sizeof size, size);
          written += size;
          buffer[written++] = '\0';
        }
      }
      results.End([](Firebird::IResultSet* open, CheckStatusWrapper* s) { open->close(s); });
    } catch (...) {
      transactions.Finish(transaction, false);
      throw;
    }
    transactions.Finish(transaction, true);
    *length = written;
  });
}

}  // namespace tolvane::fbdrv
