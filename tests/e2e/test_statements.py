"""A script's statements through EXECUTA_SQL on the private server: what
runs is committed on the module's own connection, what fails leaves its
failure file and the run goes on."""

import unittest

from e2e_support import ServerDatabase, ServerTestCase, failure_line

PEOPLE_SCRIPT = b"\r\n".join([
    b"CREATE TABLE PEOPLE (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40))",
    b"INSERT INTO PEOPLE VALUES (1, 'Ana')",
    b"INSERT INTO PEOPLE VALUES (1, 'twice')",
    b"INSERT INTO PEOPLE VALUES (2, 'Bruno')",
    b"THIS IS NOT SQL",
    b"UPDATE PEOPLE SET NAME = 'Ana Maria' WHERE ID = 1",
]) + b"\r\n"

PEOPLE_ROWS = "SELECT ID || ':' || NAME AS V FROM PEOPLE ORDER BY ID"


class Statements(ServerTestCase):

    def test_ddl_and_dml_are_committed_and_failing_lines_leave_their_files(self):
        db = ServerDatabase(self.work, "people")
        # A file left by an earlier run is replaced, not appended to.
        (self.server.failure_dir / "TESTE2.TXT").write_bytes(b"an older and much longer failure line\r\n" * 3)

        self.assertEqual(db.call(PEOPLE_SCRIPT), "ok")

        self.assertEqual(db.values(PEOPLE_ROWS), ["1:Ana Maria", "2:Bruno"])
        self.assertFailureFiles({
            "TESTE2.TXT": failure_line(b"INSERT INTO PEOPLE VALUES (1, 'twice')", db.path),
            "TESTE4.TXT": failure_line(b"THIS IS NOT SQL", db.path),
        })

    def test_the_work_survives_a_rollback_of_the_calling_transaction(self):
        db = ServerDatabase(self.work, "rollback", "CREATE TABLE R (ID INTEGER);")
        out = db.run(
            "SET AUTODDL OFF;\n"
            f"SELECT EXECUTA_SQL(CAST('INSERT INTO R VALUES (7)' AS BLOB SUB_TYPE TEXT), '{db.path}') AS X "
            "FROM RDB$DATABASE;\n"
            "INSERT INTO R VALUES (8);\n"
            "ROLLBACK;\n").stdout
        self.assertIn("ok", out)
        self.assertEqual(db.values("SELECT ID AS V FROM R"), ["7"])

    def test_a_path_through_the_network_reaches_the_same_database(self):
        db = ServerDatabase(self.work, "network", "CREATE TABLE N (ID INTEGER);")
        network_path = f"localhost:{db.path}"

        self.assertEqual(db.call(b"INSERT INTO N VALUES (1)\nNO SUCH STATEMENT\n", network_path), "ok")

        self.assertEqual(db.values("SELECT ID AS V FROM N"), ["1"])
        self.assertFailureFiles({"TESTE1.TXT": failure_line(b"NO SUCH STATEMENT", network_path)})

    def test_statements_with_returning_change_their_rows(self):
        # Firebird 5 prepares the searched ones as cursors, not singletons.
        db = ServerDatabase(self.work, "returning", "CREATE TABLE R (ID INTEGER PRIMARY KEY, S VARCHAR(9));")
        script = b"\n".join([
            b"INSERT INTO R VALUES (1, 'a') RETURNING ID",
            b"UPDATE R SET S = 'b' WHERE ID = 1 RETURNING S",
            b"UPDATE OR INSERT INTO R VALUES (2, 'c') MATCHING (ID) RETURNING ID",
            b"MERGE INTO R USING RDB$DATABASE ON ID = 2 WHEN MATCHED THEN UPDATE SET S = 'd' RETURNING S",
            b"INSERT INTO R VALUES (3, 'e')",
            b"DELETE FROM R WHERE ID = 3 RETURNING S",
        ])
        self.assertEqual(db.call(script), "ok")
        self.assertEqual(db.values("SELECT ID || S AS V FROM R ORDER BY ID"), ["1b", "2d"])
        self.assertFailureFiles({})


if __name__ == "__main__":
    unittest.main()
