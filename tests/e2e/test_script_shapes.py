"""How the bytes of the BLOB become lines: breaks of every kind, blank and
empty lines, a zero byte, and a script longer than one segment."""

import unittest

from e2e_support import ServerDatabase, ServerTestCase, failure_line, results_in

GOOD = b"INSERT INTO T VALUES (1)"
BAD = b"NOT A STATEMENT"


class ScriptShapes(ServerTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.db = ServerDatabase(cls.work, "shapes", "CREATE TABLE T (ID INTEGER);")

    def setUp(self):
        super().setUp()
        self.db.run("DELETE FROM T; COMMIT;")

    def rows(self):
        return len(self.db.values("SELECT ID AS V FROM T"))

    def test_each_kind_of_line_break_gives_the_line_rules_indices(self):
        cases = [
            (GOOD + b"\r\n\r\n" + BAD, 1, "TESTE2.TXT"),   # CR LF, then an empty line
            (GOOD + b"\n" + BAD + b"\n", 1, "TESTE1.TXT"),  # lone LF, last line ended
            (GOOD + b"\n\r" + BAD, 1, "TESTE2.TXT"),       # LF CR ends a line and an empty one
            (GOOD + b"\r" + BAD, 1, "TESTE1.TXT"),         # lone CR
        ]
        for script, rows, failure_name in cases:
            with self.subTest(script=script):
                self.server.clear_failure_files()
                self.db.run("DELETE FROM T; COMMIT;")
                self.assertEqual(self.db.call(script), "ok")
                self.assertEqual(self.rows(), rows)
                self.assertFailureFiles({failure_name: failure_line(BAD, self.db.path)})

    def test_empty_lines_are_passed_over_and_a_line_of_blanks_is_executed(self):
        # Lines: 0 and 1 empty, 2 GOOD, 3 and 4 empty, 5 three blanks, 6 BAD.
        script = b"\n\n" + GOOD + b"\n\n\n   \n" + BAD + b"\n\n"
        self.assertEqual(self.db.call(script), "ok")
        self.assertEqual(self.rows(), 1)
        self.assertFailureFiles({
            "TESTE5.TXT": failure_line(b"   ", self.db.path),
            "TESTE6.TXT": failure_line(BAD, self.db.path),
        })

    def test_a_zero_byte_ends_the_script(self):
        self.assertEqual(self.db.call(GOOD + b"\n" + BAD + b"\x00\n" + GOOD + b"\n"), "ok")
        self.assertEqual(self.rows(), 1)
        self.assertFailureFiles({"TESTE1.TXT": failure_line(BAD, self.db.path)})

    def test_an_empty_blob_and_a_script_of_breaks_only_run_nothing(self):
        self.assertEqual(self.db.call(b""), "ok")
        self.assertEqual(self.db.call(b"\r\n\n\r\r\n"), "ok")
        self.assertEqual(self.rows(), 0)
        self.assertFailureFiles({})

    def test_a_script_longer_than_one_segment_runs_to_its_last_line(self):
        # 300 lines of about 240 bytes: some 72 KiB, more than the 65535
        # bytes one segment read can bring; built inside the server because a
        # statement text cannot hold that much.
        out = self.db.run(
            "SET TERM ^;\n"
            "EXECUTE BLOCK RETURNS (R VARCHAR(32000), L INTEGER) AS\n"
            "  DECLARE S BLOB SUB_TYPE TEXT = '';\n"
            "  DECLARE I INTEGER = 0;\n"
            "BEGIN\n"
            "  WHILE (I < 300) DO BEGIN\n"
            "    S = S || 'INSERT INTO T VALUES (' || I || ') /* ' || RPAD('', 200, 'x') || ' */'"
            " || ASCII_CHAR(13) || ASCII_CHAR(10);\n"
            "    I = I + 1;\n"
            "  END\n"
            "  S = S || 'LAST LINE FAILS';\n"
            "  L = OCTET_LENGTH(S);\n"
            f"  R = '<<<' || EXECUTA_SQL(S, '{self.db.path}') || '>>>';\n"
            "  SUSPEND;\n"
            "END^\n"
            "SET TERM ;^\n").stdout
        self.assertEqual(results_in(out), ["ok"])
        self.assertEqual(self.db.values("SELECT COUNT(DISTINCT ID) AS V FROM T"), ["300"])
        self.assertFailureFiles({"TESTE300.TXT": failure_line(b"LAST LINE FAILS", self.db.path)})


if __name__ == "__main__":
    unittest.main()
