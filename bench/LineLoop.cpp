#include "bench/LineLoop.h"

#include <ibase.h>

#include <cstring>

namespace tolvane::bench {
namespace {

constexpr char kUser[] = "SYSDBA";
constexpr char kPassword[] = "ravenquil";
constexpr unsigned short kDialect = 3;

std::string StatusText(const ISC_STATUS* status) {
  std::string text;
  char buffer[512];
  const ISC_STATUS* cursor = status;
  while (fb_interpret(buffer, sizeof buffer, &cursor) != 0) {
    if (!text.empty()) text += "; ";
    text += buffer;
  }
  return text.empty() ? std::string("unknown client error") : text;
}

// The database parameter block: version, user name and password.
std::string AttachParameters() {
  std::string dpb(1, static_cast<char>(isc_dpb_version1));
  auto add = [&dpb](char tag, const char* value) {
    const std::size_t length = std::strlen(value);
    dpb += tag;
    dpb += static_cast<char>(length);
    dpb.append(value, length);
  };
  add(isc_dpb_user_name, kUser);
  add(isc_dpb_password, kPassword);
  return dpb;
}

// The module's transactions: read committed (last committed version),
// waiting on locks. A snapshot would cost more at every start.
constexpr char kTransactionParameters[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed,
                                           isc_tpb_rec_version, isc_tpb_wait};

// One line in its own transaction; a refused line is rolled back so that the
// next one starts clean, as the module's per-line semantics require.
bool RunLine(isc_db_handle& db, std::string_view line, std::string& error) {
  ISC_STATUS_ARRAY status;
  isc_tr_handle transaction = 0;
  if (isc_start_transaction(status, &transaction, 1, &db, static_cast<unsigned short>(sizeof kTransactionParameters),
                            kTransactionParameters) != 0) {
    error = StatusText(status);
    return false;
  }
  if (isc_dsql_execute_immediate(status, &db, &transaction, static_cast<unsigned short>(line.size()),
                                 line.data(), kDialect, nullptr) != 0) {
    error = StatusText(status);
    ISC_STATUS_ARRAY ignored;
    isc_rollback_transaction(ignored, &transaction);
    return false;
  }
  if (isc_commit_transaction(status, &transaction) != 0) {
    error = StatusText(status);
    ISC_STATUS_ARRAY ignored;
    isc_rollback_transaction(ignored, &transaction);
    return false;
  }
  return true;
}

// Detaches on every way out; Detach() reports a failure, the destructor
// (reached only when something already failed) does not.
class Attachment {
 public:
  Attachment() = default;
  Attachment(const Attachment&) = delete;
  Attachment& operator=(const Attachment&) = delete;
  ~Attachment() {
    if (handle_ != 0) {
      ISC_STATUS_ARRAY ignored;
      isc_detach_database(ignored, &handle_);
    }
  }
  isc_db_handle& Handle() { return handle_; }
  bool Detach(std::string& error) {
    ISC_STATUS_ARRAY status;
    if (isc_detach_database(status, &handle_) == 0) return true;
    error = StatusText(status);
    return false;
  }

 private:
  isc_db_handle handle_ = 0;
};

// Every non-empty line of the script (lines end at CR, LF or CR LF).
template <typename Visit>
void ForEachLine(std::string_view script, Visit visit) {
  std::size_t start = 0;
  while (start < script.size()) {
    std::size_t end = script.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = script.size();
    const std::string_view line = script.substr(start, end - start);
    start = end;
    if (start < script.size() && script[start] == '\r') ++start;
    if (start < script.size() && script[start] == '\n') ++start;
    if (!line.empty()) visit(line);
  }
}

// Attaches, hands the attachment to `work`, detaches; the first error is
// the one the outcome keeps.
template <typename Work>
LoopOutcome Attached(const char* database_path, Work work) noexcept {
  LoopOutcome outcome;
  try {
    ISC_STATUS_ARRAY status;
    Attachment attachment;
    isc_db_handle& db = attachment.Handle();
    const std::string dpb = AttachParameters();
    if (isc_attach_database(status, 0, database_path, &db, static_cast<short>(dpb.size()), dpb.data()) != 0) {
      outcome.error = StatusText(status);
      return outcome;
    }
    outcome.attached = true;
    work(db, outcome);
    std::string detach_error;
    if (!attachment.Detach(detach_error) && outcome.error.empty()) outcome.error = detach_error;
  } catch (...) {
    outcome.error = "out of memory";
  }
  return outcome;
}

// Rolls back a transaction that was neither committed nor rolled back.
class Transaction {
 public:
  Transaction() = default;
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  ~Transaction() {
    if (handle_ != 0) {
      ISC_STATUS_ARRAY ignored;
      isc_rollback_transaction(ignored, &handle_);
    }
  }
  isc_tr_handle& Handle() { return handle_; }

 private:
  isc_tr_handle handle_ = 0;
};

}  // namespace

LoopOutcome RunLinesEachCommitted(const char* database_path, std::string_view script) noexcept {
  return Attached(database_path, [script](isc_db_handle& db, LoopOutcome& outcome) {
    std::string line_error;
    ForEachLine(script, [&](std::string_view line) {
      if (RunLine(db, line, line_error)) {
        ++outcome.executed;
      } else {
        if (outcome.failed++ == 0) outcome.error = line_error;
      }
    });
  });
}

LoopOutcome RunLinesInOneTransaction(const char* database_path, std::string_view script) noexcept {
  return Attached(database_path, [script](isc_db_handle& db, LoopOutcome& outcome) {
    ISC_STATUS_ARRAY status;
    Transaction transaction;
    if (isc_start_transaction(status, &transaction.Handle(), 1, &db,
                              static_cast<unsigned short>(sizeof kTransactionParameters),
                              kTransactionParameters) != 0) {
      outcome.error = StatusText(status);
      return;
    }
    long ran = 0;
    ForEachLine(script, [&](std::string_view line) {
      if (isc_dsql_execute_immediate(status, &db, &transaction.Handle(), static_cast<unsigned short>(line.size()),
                                     line.data(), kDialect, nullptr) == 0) {
        ++ran;
      } else if (outcome.failed++ == 0) {
        outcome.error = StatusText(status);
      }
    });
    if (isc_commit_transaction(status, &transaction.Handle()) != 0) {
      if (outcome.error.empty()) outcome.error = StatusText(status);
      outcome.failed += ran;
      return;
    }
    outcome.executed = ran;
  });
}

}  // namespace tolvane::bench
