// isql's commands that change what the database sees, as a run applies them:
// SET ROWCOUNT, SET PLANONLY, SET AUTODDL, SET NAMES, SET SQL DIALECT, EXIT
// and QUIT. Display settings never get here (the splitter skips them).
#include "connection/SQLConnection.h"
#include "runtime/ExceptionText.h"
#include "runtime/Exceptions.h"
#include "runtime/Messages.h"
#include "script_runner/scripts/IsqlSplitter.h"
#include "script_runner/engine/ScriptRun.h"

namespace tolvane {
namespace {

using Command = ScriptStatement::Command;

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

bool Switched(long long number, bool now) {
  return number == ScriptStatement::kToggle ? !now : number == ScriptStatement::kOn;
}

}  // namespace

void ScriptRun::ReadLeadingSettings() {
  charset_ = settings_.charset;
  sql_dialect_ = settings_.sql_dialect.value_or(0);
  if (settings_.dialect == Dialect::kIsql) {
    // isql takes SET NAMES and SET SQL DIALECT at its next attach: the
    // run's attach is before its first statement, so those of the script's
    // head count, and only those.
    IsqlSplitter head(script_);
    ScriptStatement piece;
    while (head.Next(&piece)) {
      if (piece.kind == ScriptStatement::Kind::kSql || piece.kind == ScriptStatement::Kind::kRefused ||
          piece.command == Command::kExit || piece.command == Command::kQuit)
        break;
      if (piece.command == Command::kNames && settings_.charset.empty()) charset_ = Upper(piece.word);
      if (piece.command == Command::kSqlDialect && !settings_.sql_dialect)
        sql_dialect_ = static_cast<int>(piece.number);
    }
  }
  if (!charset_.empty() || settings_.dialect == Dialect::kIsql)
    summary_.charset = charset_.empty() ? "NONE" : charset_;
}

void ScriptRun::SetDriverOption(ConnectionOption id, OptionValue value) {
  connection_->CheckDriverResult(connection_->ConnectionIntf()->SetConnectionOption(id, value));
}

void ScriptRun::ApplyCommand(const ScriptStatement& statement, StatementOutcome* outcome) {
  current_statement_.assign(statement.text);
  outcome->status = OutcomeStatus::kSkipped;
  std::string& message = outcome->message;
  try {
    switch (statement.command) {
      case Command::kRowCount:
        SetDriverOption(coFetchLimit, static_cast<OptionValue>(statement.number));
        message = statement.number == 0
                      ? "SET ROWCOUNT 0: selects fetch all their rows"
                      : "SET ROWCOUNT: selects fetch at most " + std::to_string(statement.number) +
                            " rows";
        break;
      case Command::kPlanOnly: {
        const bool on = Switched(statement.number, plan_only_);
        SetDriverOption(coPrepareOnly, on ? 1 : 0);
        plan_only_ = on;
        message = on ? "SET PLANONLY ON: statements are prepared, not run"
                     : "SET PLANONLY OFF: statements run";
        break;
      }
      case Command::kAutoDdl:
        auto_ddl_ = Switched(statement.number, auto_ddl_);
        message.assign(strategy_->SetAutoDdl(*this, auto_ddl_));
        break;
      case Command::kNames:
        if (statement_met_) {
          outcome->status = OutcomeStatus::kFailed;
          message = "SET NAMES after the first statement: the character set is fixed at the attach (" +
                    summary_.charset + ")";
        } else if (!settings_.charset.empty()) {
          message = "the run's character set is " + settings_.charset + ", from its options";
        } else {
          message = "SET NAMES: the run attached with character set " + charset_;
        }
        break;
      case Command::kSqlDialect:
        if (!statement_met_ && !settings_.sql_dialect) {
          message = "SET SQL DIALECT: the run attached with dialect " + std::to_string(sql_dialect_);
        } else {
          SetDriverOption(coSqlDialect, static_cast<OptionValue>(statement.number));
          message = "SET SQL DIALECT: statements are prepared in dialect " +
                    std::to_string(statement.number);
        }
        break;
      case Command::kExit:
      case Command::kQuit: {
        const bool commit = statement.command == Command::kExit;
        exiting_ = true;
        if (commit && strategy_->KeepsPendingWork()) current_statement_ = "COMMIT";
        strategy_->Exit(*this, commit);
        message = commit ? "EXIT: the work is committed and the run ends here"
                         : "QUIT: the work is rolled back and the run ends here";
        break;
      }
      case Command::kNone:
        break;
    }
  } catch (const std::exception&) {
    outcome->status = OutcomeStatus::kFailed;
    message = CurrentExceptionText();
  }
  if (outcome->status == OutcomeStatus::kFailed) RecordFailure(statement.index, outcome);
}

}  // namespace tolvane
