#include "script_runner/history/HistoryTable.h"

namespace tolvane {

const char* HistoryTableDdl() {
  return "CREATE TABLE TOLVANE$HISTORY ("
         "ID VARCHAR(255) CHARACTER SET NONE NOT NULL, "
         "ATTEMPT INTEGER NOT NULL, "
         "CHECKSUM CHAR(64) CHARACTER SET NONE, "
         "STATUS VARCHAR(10) CHARACTER SET NONE, "
         "USER_NAME VARCHAR(252) CHARACTER SET NONE, "
         "ROLE_NAME VARCHAR(252) CHARACTER SET NONE, "
         "CALLER_USER VARCHAR(252) CHARACTER SET NONE, "
         "ROUTINE VARCHAR(31) CHARACTER SET NONE, "
         "ATTACHMENT_ID BIGINT, "
         "STARTED_AT TIMESTAMP, "
         "ENDED_AT TIMESTAMP, "
         "RUN_MODE VARCHAR(10) CHARACTER SET NONE, "
         "DIALECT VARCHAR(10) CHARACTER SET NONE, "
         "OK_COUNT BIGINT, "
         "FAILED_COUNT BIGINT, "
         "SKIPPED_COUNT BIGINT, "
         "TOLERATED_COUNT BIGINT, "
         "RESULT VARCHAR(4000) CHARACTER SET NONE, "
         "CONSTRAINT PK_TOLVANE$HISTORY PRIMARY KEY (ID, ATTEMPT))";
}

const char* HistoryTableExists() {
  return "SELECT 1 FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'TOLVANE$HISTORY'";
}

std::string SqlLiteral(std::string_view text) {
  std::string literal = "'";
  for (char c : text) {
    if (c == '\'') literal += '\'';
    literal += c;
  }
  literal += '\'';
  return literal;
}

}  // namespace tolvane
