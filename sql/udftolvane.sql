-- EXECUTA_SQL as a legacy external function (UDF) of a Firebird 3 server.
--
-- Install first (scripts/install-udf.sh): UDFTolvane.so and libfbdrv.so side
-- by side in a folder the server's UdfAccess allows.
--
-- Lengths, in bytes (CHARACTER SET NONE, so that paths and texts pass as the
-- bytes they are, whatever the database's default character set):
--   argument 2, the database path: 1024, room for any path the server opens,
--     plain (/var/lib/.../db.fdb) or with a host (localhost:/var/lib/...);
--   result: 32000, room for "ok" or a driver message (a few hundred bytes)
--     followed by "   -    " and the statement that broke the run off.
-- The result lies in the module's own storage: no FREE_IT.
--
-- The function runs any statement as SYSDBA on the database it is given, for
-- whoever may call it: declare it only in databases where that is intended.

DECLARE EXTERNAL FUNCTION EXECUTA_SQL
  BLOB,
  CSTRING(1024) CHARACTER SET NONE
  RETURNS CSTRING(32000) CHARACTER SET NONE
  ENTRY_POINT 'executa_sql' MODULE_NAME 'UDFTolvane';

-- Example (a text literal must be cast to a BLOB):
--   SELECT EXECUTA_SQL(CAST('CREATE TABLE T (ID INTEGER)' AS BLOB SUB_TYPE TEXT),
--                      '/var/lib/firebird/3.0/data/work.fdb')
--     FROM RDB$DATABASE;
