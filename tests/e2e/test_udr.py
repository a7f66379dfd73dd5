"""EXECUTA_SQL as a UDR function on the private server: the same lines run,
the same failure files and the same text as the legacy function, and the
server's own permission check in front of it."""

import subprocess
import unittest

from e2e_support import (SOURCE_DIR, ServerDatabase, ServerTestCase, client, executa_sql_select,
                         failure_line, isql, quoted, results_in, text_blob)

UDR_DECLARATION = SOURCE_DIR / "sql" / "udftolvane_udr.sql"
OUTSIDER = "TOLVANE_OUTSIDER"
OUTSIDER_PASSWORD = "outside1"

SCRIPT = b"\r\n".join([
    b"CREATE TABLE ITEMS (ID INTEGER NOT NULL PRIMARY KEY)",
    b"INSERT INTO ITEMS VALUES (1)",
    b"",
    b"INSERT INTO ITEMS VALUES (1)",
    b"INSERT INTO ITEMS VALUES (2)",
]) + b"\r\n"


class Udr(ServerTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.udr = ServerDatabase(cls.work, "udr", declaration=UDR_DECLARATION)
        cls.legacy = ServerDatabase(cls.work, "legacy")

    def test_lines_run_and_failing_lines_leave_the_same_files_as_the_legacy_function(self):
        self.assertEqual(self.udr.call(SCRIPT), "ok")
        self.assertEqual(self.udr.values("SELECT ID AS V FROM ITEMS ORDER BY ID"), ["1", "2"])
        udr_files = self.server.failure_files()
        self.assertEqual(udr_files, {"TESTE3.TXT": failure_line(b"INSERT INTO ITEMS VALUES (1)",
                                                                 self.udr.path)})

        self.server.clear_failure_files()
        self.assertEqual(self.legacy.call(SCRIPT), "ok")
        legacy_files = self.server.failure_files()
        self.assertEqual(legacy_files.keys(), udr_files.keys())
        self.assertEqual(legacy_files["TESTE3.TXT"],
                         failure_line(b"INSERT INTO ITEMS VALUES (1)", self.legacy.path))

    def test_a_missing_database_gives_the_legacy_functions_text(self):
        missing = str(self.work / "missing.fdb")
        udr_text = self.udr.call(b"INSERT INTO X VALUES (1)\n", missing)
        legacy_text = self.legacy.call(b"INSERT INTO X VALUES (1)\n", missing)
        self.assertTrue(udr_text.endswith("   -    "), udr_text)
        self.assertIn("missing.fdb", udr_text)
        self.assertEqual(udr_text, legacy_text)
        self.assertEqual(self.server.failure_files(), {})

    def test_null_arguments_give_the_legacy_functions_text(self):
        udr_text = self.udr.call_expr("NULL", "NULL")
        self.assertEqual(udr_text, "Missing Database property   -    ")
        self.assertEqual(udr_text, self.legacy.call_expr("NULL", "NULL"))

    def test_a_user_without_the_grant_is_refused_by_the_server(self):
        isql(f"CREATE OR ALTER USER {OUTSIDER} PASSWORD '{OUTSIDER_PASSWORD}';\nCOMMIT;\n",
             connect_to=self.udr.remote)
        call = executa_sql_select(text_blob(b"CREATE TABLE INTRUDER (ID INTEGER)"),
                                  quoted(self.udr.path))
        as_outsider = [client().isql, "-q", "-user", OUTSIDER, "-password", OUTSIDER_PASSWORD]

        refused = subprocess.run(as_outsider + [self.udr.remote], input=call.encode(),
                                 capture_output=True, timeout=60, env=client().env)
        self.assertIn(b"no permission for EXECUTE access to FUNCTION EXECUTA_SQL",
                      refused.stderr + refused.stdout)
        self.assertEqual(results_in(refused.stdout.decode("latin-1")), [])
        self.assertEqual(self.udr.values(
            "SELECT COUNT(*) AS V FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'INTRUDER'"), ["0"])

        self.udr.run(f"GRANT EXECUTE ON FUNCTION EXECUTA_SQL TO USER {OUTSIDER};\nCOMMIT;\n")
        granted = subprocess.run(as_outsider + [self.udr.remote], input=call.encode(),
                                 capture_output=True, timeout=60, env=client().env)
        self.assertEqual(results_in(granted.stdout.decode("latin-1")), ["ok"])


    def test_a_long_broken_off_statement_gives_both_declarations_the_same_receivable_text(self):
        # A folder at the failure file's name breaks the run off on a 40 KB
        # statement; the text must fit the declared result of both.
        statement = b"INSERT INTO NOWHERE VALUES ('" + b"x" * 40000 + b"')"
        script_sql = (f"INSERT INTO S VALUES (CAST(x'{statement.hex()[:60000]}' AS BLOB SUB_TYPE TEXT) "
                      f"|| CAST(x'{statement.hex()[60000:]}' AS BLOB SUB_TYPE TEXT));\nCOMMIT;\n")
        results = []
        for db in (self.legacy, self.udr):
            db.run("RECREATE TABLE S (B BLOB SUB_TYPE TEXT);\nCOMMIT;\n" + script_sql)
            blocker = self.server.failure_dir / "TESTE0.TXT"
            blocker.mkdir()
            try:
                results.append(db.call_expr("(SELECT B FROM S)", quoted(db.path)))
            finally:
                blocker.rmdir()
        legacy, udr = results
        self.assertEqual(legacy, udr)
        self.assertEqual(len(legacy.encode("latin-1")), 31999)
        self.assertTrue(legacy.startswith('Cannot create file "'), legacy[:100])
        self.assertIn("   -    INSERT INTO NOWHERE VALUES ('xxx", legacy)

if __name__ == "__main__":
    unittest.main()
