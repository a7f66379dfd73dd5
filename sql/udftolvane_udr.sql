-- EXECUTA_SQL as a UDR function (engine UDR), for servers where legacy
-- external functions are off (Firebird 4 and later by default) or where the
-- function is to be granted to chosen users only.
--
-- Install first (scripts/install-udf.sh --kind udr): libudftolvane_udr.so and
-- libfbdrv.so side by side in the server's UDR folder (plugins/udr).
--
-- The lengths are byte lengths fixed in the module, with CHARACTER SET NONE so
-- that paths and texts pass as the bytes they are:
--   DB      1024 bytes: any path the server can open;
--   result 32000 bytes: "ok", or a driver message (a few hundred bytes)
--          followed by "   -    " and the statement that broke the run off;
--          a longer text is cut at 32000 bytes.
-- A database holds either this declaration or the legacy one, not both: they
-- share the name EXECUTA_SQL. TOLVANE_RUN below has no legacy twin.

CREATE OR ALTER FUNCTION EXECUTA_SQL (
  SCRIPT BLOB SUB_TYPE TEXT,
  DB VARCHAR(1024) CHARACTER SET NONE)
RETURNS VARCHAR(32000) CHARACTER SET NONE
EXTERNAL NAME 'udftolvane_udr!executa_sql'
ENGINE UDR;

-- The function runs any statement as SYSDBA: grant it only to those who may.
-- GRANT EXECUTE ON FUNCTION EXECUTA_SQL TO USER DBA_TOOLS;
--
-- Example:
--   SELECT EXECUTA_SQL(CAST('CREATE TABLE T (ID INTEGER)' AS BLOB SUB_TYPE TEXT),
--                      '/var/lib/firebird/3.0/data/work.fdb')
--     FROM RDB$DATABASE;

-- TOLVANE_EXEC: EXECUTA_SQL's run and result text with an options text
-- (the OPTIONS of TOLVANE_RUN below; NULL or '' for the defaults), so that an
-- application asks for once= (apply an update once per database) or
-- tolerate=exists by changing the function's name in its call. It runs as
-- EXECUTA_SQL does: grant it only to those who may.
--   SELECT TOLVANE_EXEC(:script, :db, 'once=app-2024.05') FROM RDB$DATABASE;
CREATE OR ALTER FUNCTION TOLVANE_EXEC (
  SCRIPT BLOB SUB_TYPE TEXT,
  DB VARCHAR(1024) CHARACTER SET NONE,
  OPTIONS VARCHAR(1024) CHARACTER SET NONE = NULL)
RETURNS VARCHAR(32000) CHARACTER SET NONE
EXTERNAL NAME 'udftolvane_udr!tolvane_exec'
ENGINE UDR;

-- TOLVANE_RUN: the same run, one row per statement as it runs, on the
-- caller's own attachment, in transactions of its own: the caller's login,
-- role and rights, on the caller's database only (unless the server's
-- udftolvane.conf sets procedure_identity = module).
--   SCRIPT   the script; NULL runs nothing and gives an ok result row
--   DB       NULL or '' for the caller's database, or a path or alias of the
--            same file; with procedure_identity = module any database's path
--   OPTIONS  "name=value; ..." (mode, dialect, lock_timeout, failure_files,
--            once, once_changed, tolerate: see the README);
--            NULL or '' for the defaults
-- Each fetch runs the next statement; closing the cursor stops the run.
-- Columns, one row per statement, then one row with STATUS 'result':
--   LINE_NUMBER, LAST_LINE  the statement's first and last line (1-based)
--   STATEMENT      the statement as sent
--   STATUS         ok, failed, skipped, rolled back (undone by the run's
--                  rollback), not run (after the run broke off), tolerated
--                  (tolerate=exists), result (the last row; with once= on an
--                  id already applied the only row, its MESSAGE "already
--                  applied at <time> by <user>")
--   SQL_STATE, ERROR_CODE the database's codes for a failed statement
--   MESSAGE        why it failed or was skipped; on the result row "ok" or
--                  the text that ended the run (cut at 8000 bytes)
--   ROWS_AFFECTED  rows the statement changed (ok rows)
--   ELAPSED_US     microseconds the statement took; the whole run's on the
--                  result row
CREATE OR ALTER PROCEDURE TOLVANE_RUN (
  SCRIPT BLOB SUB_TYPE TEXT,
  DB VARCHAR(1024) CHARACTER SET NONE,
  OPTIONS VARCHAR(1024) CHARACTER SET NONE = NULL)
RETURNS (
  LINE_NUMBER INTEGER,
  LAST_LINE INTEGER,
  STATEMENT BLOB SUB_TYPE TEXT CHARACTER SET NONE,
  STATUS VARCHAR(16) CHARACTER SET NONE,
  SQL_STATE CHAR(5) CHARACTER SET NONE,
  ERROR_CODE BIGINT,
  MESSAGE VARCHAR(8000) CHARACTER SET NONE,
  ROWS_AFFECTED BIGINT,
  ELAPSED_US BIGINT)
EXTERNAL NAME 'udftolvane_udr!tolvane_run'
ENGINE UDR;

-- The procedure can do no more than the caller could in its own session:
-- granting it gives a user nothing beyond that user's own rights.
-- GRANT EXECUTE ON PROCEDURE TOLVANE_RUN TO USER APP_DEPLOY;
--
-- Example:
--   SELECT LINE_NUMBER, STATUS, SQL_STATE, MESSAGE
--     FROM TOLVANE_RUN(CAST('CREATE TABLE T (ID INTEGER)' AS BLOB SUB_TYPE TEXT),
--                      NULL, 'mode=bail');
