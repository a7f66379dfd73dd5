// What a statement does under the script options (coPrepareOnly,
// coDdlOwnTransaction, coTransactionStatements): the isql way of running a
// script.
#include "fbdrv/FbHandle.h"
#include "fbdrv/FbStatement.h"

namespace tolvane::fbdrv {

using Firebird::CheckStatusWrapper;

// Prepared in the statement's transaction and freed: the server checks it
// (names, rights, plan) and nothing runs.
void FbStatement::PrepareOnly(const char* sql) {
  FbConnection& connection = *connection_.Get();
  FbTransactions& transactions = connection.Transactions();
  ServerStatus& status = connection.Status();
  Firebird::IAttachment* attachment = connection.RequireAttachment();
  Firebird::ITransaction* transaction = transactions.Begin(attachment);
  try {
    const ConnectionOptions& options = connection.Options();
    Firebird::ITransaction* prepare_in = options.ddl_own_transaction && !options.auto_commit
                                             ? transactions.Ddl(attachment)
                                             : transaction;
    StatementHandle statement(status, status.Checked([&](CheckStatusWrapper* s) {
      return attachment->prepare(s, prepare_in, 0, sql, connection.Dialect(), 0);
    }));
  } catch (...) {
    transactions.Finish(transaction, false);
    throw;
  }
  transactions.Finish(transaction, true);
}

// DDL in the DDL transaction, committed at once even when the DDL failed (its
// own work is undone by then): the kept transaction's work stays open, to be
// committed or rolled back later.
void FbStatement::RunDdlAlone(const char* sql) {
  FbConnection& connection = *connection_.Get();
  FbTransactions& transactions = connection.Transactions();
  Firebird::IAttachment* attachment = connection.RequireAttachment();
  Firebird::ITransaction* ddl = transactions.Ddl(attachment);
  try {
    connection.Status().Checked([&](CheckStatusWrapper* s) {
      return attachment->execute(s, ddl, 0, sql, connection.Dialect(), nullptr, nullptr, nullptr,
                                 nullptr);
    });
  } catch (...) {
    try {
      transactions.CommitDdl();
    } catch (...) {
      // The DDL's own failure is the one reported.
    }
    throw;
  }
  transactions.CommitDdl();
}

// SET TRANSACTION: the kept work is rolled back (isql does so in a script)
// and the transaction the statement starts is kept in its place.
void FbStatement::StartTransaction(const char* sql) {
  FbConnection& connection = *connection_.Get();
  FbTransactions& transactions = connection.Transactions();
  Firebird::IAttachment* attachment = connection.RequireAttachment();
  transactions.RollBackKept();
  Firebird::ITransaction* started = connection.Status().Checked([&](CheckStatusWrapper* s) {
    return attachment->execute(s, nullptr, 0, sql, connection.Dialect(), nullptr, nullptr,
                               nullptr, nullptr);
  });
  transactions.Keep(started);
}

}  // namespace tolvane::fbdrv
