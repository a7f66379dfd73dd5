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
-- share the name EXECUTA_SQL.

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
