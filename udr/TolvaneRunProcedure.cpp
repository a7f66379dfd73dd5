// TOLVANE_RUN: the run engine's report as rows. Under the caller's identity
// (the default) the run runs on the very attachment the procedure was called
// in, in transactions of its own: the caller's user, role, rights and every
// check of the server apply as they are, and a cancel of the caller's
// statement stops it. The script is read whole when the cursor opens (the
// run reads it in place while it goes); each fetch runs one statement and
// returns its row, so rows stream and a caller that stops fetching stops the
// run. The last row (STATUS 'result') holds the run's result text.
#define FB_UDR_STATUS_TYPE ::Firebird::ThrowStatusWrapper

#include <ibase.h>
#include <firebird/UdrCppEngine.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/ExceptionText.h"
#include "script_runner/settings/FirebirdConfig.h"
#include "runtime/Platform.h"
#include "script_runner/engine/StatementOutcome.h"
#include "udr/ProcedureRun.h"
#include "udr/UdrHandles.h"
#include "udr/UdrLimits.h"
#include "udr/UdrScript.h"

namespace {

using Firebird::FbException;
using Firebird::IAttachment;
using Firebird::IExternalContext;
using Firebird::ITransaction;
using Firebird::ThrowStatusWrapper;
using tolvane::OpenBlob;
using tolvane::Released;

constexpr unsigned kSegmentBytes = 65535;
constexpr std::string_view kResultStatus = "result";
constexpr std::string_view kCommittedStatus = "committed";
constexpr std::string_view kRolledBackStatus = "rolled back";

// The caller's database file as the server opened it, and the caller's role.
// MON$ tables are read in a transaction of its own: their first read fixes a
// transaction's view of them, and the caller's must stay as it was.
struct CallerHome {
  std::string database;
  std::string role;
};

CallerHome ReadCallerHome(ThrowStatusWrapper* status, IExternalContext* context,
                          IAttachment* attachment) {
  static constexpr unsigned char kReadOnly[] = {isc_tpb_version3, isc_tpb_read,
                                                isc_tpb_read_committed, isc_tpb_rec_version,
                                                isc_tpb_nowait};
  FB_MESSAGE(Row, ThrowStatusWrapper,
             (FB_VARCHAR(tolvane::kUdrPathBytes), name)
             (FB_VARCHAR(252), role));
  Row row(status, context->getMaster());
  ITransaction* transaction = attachment->startTransaction(status, sizeof kReadOnly, kReadOnly);
  try {
    attachment->execute(status, transaction, 0,
                        "SELECT CAST(MON$DATABASE_NAME AS VARCHAR(1024) CHARACTER SET NONE), "
                        "CAST(CURRENT_ROLE AS VARCHAR(252) CHARACTER SET NONE) "
                        "FROM MON$DATABASE",
                        SQL_DIALECT_V6, nullptr, nullptr, row.getMetadata(), row.getData());
    transaction->commit(status);
  } catch (...) {
    try {
      transaction->rollback(status);
    } catch (...) {
      transaction->release();
    }
    throw;
  }
  CallerHome home;
  if (!row->nameNull) home.database.assign(row->name.str, row->name.length);
  if (!row->roleNull) home.role.assign(row->role.str, row->role.length);
  if (home.role == "NONE") home.role.clear();  // no role
  return home;
}

// A text column, cut to its declared length.
template <unsigned kBytes>
void SetText(Firebird::FbVarChar<kBytes>* field, ISC_SHORT* null, std::string_view text) {
  const std::size_t length = std::min<std::size_t>(text.size(), kBytes);
  std::memcpy(field->str, text.data(), length);
  field->length = static_cast<ISC_USHORT>(length);
  *null = FB_FALSE;
}

}  // namespace

FB_UDR_BEGIN_PROCEDURE(tolvane_run)
  FB_UDR_MESSAGE(InMessage,
    (FB_BLOB, script)
    (FB_VARCHAR(tolvane::kUdrPathBytes), db)
    (FB_VARCHAR(tolvane::kUdrOptionsBytes), options)
  );

  FB_UDR_MESSAGE(OutMessage,
    (FB_INTEGER, line_number)
    (FB_INTEGER, last_line)
    (FB_BLOB, statement)
    (FB_VARCHAR(tolvane::kUdrStatusBytes), status)
    (FB_CHAR(5), sql_state)
    (FB_BIGINT, error_code)
    (FB_VARCHAR(tolvane::kUdrMessageBytes), message)
    (FB_BIGINT, rows_affected)
    (FB_BIGINT, elapsed_us)
  );

  FB_UDR_EXECUTE_PROCEDURE
  {
    try {
      tolvane::RunRequest request;
      if (!in->dbNull) request.target.emplace(in->db.str, in->db.length);
      if (!in->optionsNull) request.options.emplace(in->options.str, in->options.length);
      request.refusal_as_result_text = false;
      tolvane::CallerIdentity& caller = request.identity.emplace();
      const char* user = context->getUserName();
      caller.user = user != nullptr ? user : "";
      attachment.Reset(context->getAttachment(status));
      CallerHome home = ReadCallerHome(status, context, attachment.Get());
      caller.role = std::move(home.role);
      caller.attachment = attachment.Get();
      caller.database = std::move(home.database);
      request.caller = {"TOLVANE_RUN", caller.user, caller.role};
      std::optional<tolvane::UdrScript> script;
      if (!in->scriptNull) {
        script.emplace(status, context, in->script);
        request.script = script->Source();
      }
      run = std::make_unique<tolvane::ProcedureRun>(tolvane::DefaultPlatform(),
                                                    tolvane::ServerFirebirdConfig(), request);
    } catch (const FbException& e) {
      run = std::make_unique<tolvane::ProcedureRun>(tolvane::UdrErrorText(context, e));
    } catch (...) {
      run = std::make_unique<tolvane::ProcedureRun>(std::string(tolvane::CurrentExceptionText()));
    }
  }

  // The routine's attachment and the caller's transaction, held for the
  // cursor's life (declared first, so that they go last): a run under the
  // caller's identity runs on the attachment, and every row's STATEMENT is a
  // BLOB of the transaction.
  Released<IAttachment> attachment{nullptr};
  Released<ITransaction> transaction{nullptr};
  std::unique_ptr<tolvane::ProcedureRun> run;
  tolvane::StatementOutcome outcome;

  FB_UDR_FETCH_PROCEDURE
  {
    std::memset(static_cast<void*>(out), 0, sizeof *out);
    out->line_numberNull = out->last_lineNull = out->statementNull = out->sql_stateNull =
        out->error_codeNull = out->messageNull = out->rows_affectedNull = out->elapsed_usNull =
            FB_TRUE;
    switch (run->Next(&outcome)) {
      case tolvane::ProcedureRun::Row::kEnd:
        return false;
      case tolvane::ProcedureRun::Row::kResult:
        SetText(&out->status, &out->statusNull, kResultStatus);
        SetText(&out->message, &out->messageNull, run->ResultText());
        out->elapsed_us = run->ElapsedMicroseconds();
        out->elapsed_usNull = FB_FALSE;
        SetTransaction(status, run->Transaction());
        return true;
      case tolvane::ProcedureRun::Row::kTransaction:
        SetText(&out->status, &out->statusNull,
                run->Transaction()->committed ? kCommittedStatus : kRolledBackStatus);
        SetTransaction(status, run->Transaction());
        return true;
      case tolvane::ProcedureRun::Row::kStatement:
        break;
    }
    out->line_number = outcome.first_line;
    out->last_line = outcome.last_line;
    out->line_numberNull = out->last_lineNull = FB_FALSE;
    // Each STATEMENT BLOB stays in the server's memory until the caller's
    // transaction ends: only the rows a caller must read carry one.
    if (run->WantsStatementText(outcome)) WriteStatement(status, outcome.statement);
    SetText(&out->status, &out->statusNull, tolvane::OutcomeStatusName(outcome.status));
    if (!outcome.message.empty())
      SetText(&out->message, &out->messageNull, outcome.message);
    if (outcome.sqlstate.size() == sizeof out->sql_state.str) {
      std::memcpy(out->sql_state.str, outcome.sqlstate.data(), sizeof out->sql_state.str);
      out->sql_stateNull = FB_FALSE;
    }
    if (outcome.error_code != 0) {
      out->error_code = outcome.error_code;
      out->error_codeNull = FB_FALSE;
    }
    if (outcome.status == tolvane::OutcomeStatus::kOk) {
      out->rows_affected = outcome.rows_affected;
      out->rows_affectedNull = FB_FALSE;
    }
    if (outcome.status != tolvane::OutcomeStatus::kSkipped &&
        outcome.status != tolvane::OutcomeStatus::kNotRun) {
      out->elapsed_us = outcome.elapsed_us;
      out->elapsed_usNull = FB_FALSE;
    }
    return true;
  }

  // A commit or rollback: COMMIT or ROLLBACK as its STATEMENT, and the lines
  // it covered (null when it covered none).
  void SetTransaction(ThrowStatusWrapper* status, const tolvane::TransactionOutcome* ended) {
    if (ended == nullptr) return;
    WriteStatement(status, ended->committed ? "COMMIT" : "ROLLBACK");
    if (ended->first_line == 0) return;
    out->line_number = ended->first_line;
    out->last_line = ended->last_line;
    out->line_numberNull = out->last_lineNull = FB_FALSE;
  }

  // The statement's text as a BLOB of the caller's transaction.
  void WriteStatement(ThrowStatusWrapper* status, std::string_view text) {
    if (attachment.Get() == nullptr) attachment.Reset(context->getAttachment(status));
    if (transaction.Get() == nullptr) transaction.Reset(context->getTransaction(status));
    OpenBlob blob(attachment->createBlob(status, transaction.Get(), &out->statement, 0, nullptr),
                  status);
    while (!text.empty()) {
      const auto length = static_cast<unsigned>(std::min<std::size_t>(text.size(), kSegmentBytes));
      blob.Get()->putSegment(status, length, text.data());
      text.remove_prefix(length);
    }
    blob.Close();
    out->statementNull = FB_FALSE;
  }
FB_UDR_END_PROCEDURE
