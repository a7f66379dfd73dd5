// How one SQL text is run, decided from its first word without asking the
// server: preparing costs about a fifth more than executing at once, so only
// statements that may return rows or whose row count matters are prepared.
#pragma once

#include <string_view>

namespace tolvane::fbdrv {

enum class StatementKind {
  kCommit,    // the line is COMMIT [WORK] alone
  kRollback,  // the line is ROLLBACK [WORK] alone
  kCreateDatabase, // CREATE DATABASE or CREATE SCHEMA: refused (the server
                   // would report success on an open attachment and create nothing)
  kImmediate, // data definition and rights: never returns rows, counts no rows
  kDml,       // INSERT, UPDATE, DELETE, MERGE: prepared for an exact row count
  kPrepared,  // anything else: prepared, and the server's statement type decides
  kStartTransaction,  // SET TRANSACTION: prepared like kPrepared unless the
                      // connection takes transaction statements
};

// Leading blanks, comments and opening parentheses are skipped. Any text
// whose first word is not known to be harmless is prepared.
StatementKind ClassifyStatement(std::string_view sql) noexcept;

}  // namespace tolvane::fbdrv
