"""What the server may hand the function that is not a good script and
database: NULLs, a database that is not there. The server lives on."""

import unittest
from pathlib import Path

from e2e_support import TREE, ServerDatabase, ServerTestCase

SEPARATOR = "   -    "


class HostContract(ServerTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.db = ServerDatabase(cls.work, "contract")

    def test_null_arguments_give_a_text_and_leave_the_server_running(self):
        statement = "CAST('INSERT INTO X VALUES (1)' AS BLOB SUB_TYPE TEXT)"
        # A NULL script reads as an empty one: the database is opened and closed.
        self.assertEqual(self.db.call_expr("NULL", f"'{self.db.path}'"), "ok")
        # A NULL path names no database: the open fails before any line runs.
        for blob in ["NULL", statement]:
            with self.subTest(blob=blob):
                self.assertTrue(self.db.call_expr(blob, "NULL").endswith(SEPARATOR))
        self.assertTrue(self.server.answers())
        self.assertFailureFiles({})

    def test_a_missing_database_ends_the_run_with_the_separator_and_nothing_after(self):
        missing = str(self.work / "not-there.fdb")
        result = self.db.call(b"CREATE TABLE X (ID INTEGER)\n", missing)
        self.assertTrue(result.endswith(SEPARATOR), result)
        self.assertGreater(len(result), len(SEPARATOR))
        self.assertNotIn("CREATE TABLE", result)
        self.assertFailureFiles({})

    def test_the_driver_uses_the_client_library_the_server_itself_runs_on(self):
        self.assertEqual(self.db.call(b""), "ok")
        mapped = {line.split()[-1] for line in Path(f"/proc/{self.server.pid}/maps").read_text().splitlines()
                  if len(line.split()) >= 6}
        self.assertTrue(any(p.endswith("/libfbdrv.so") for p in mapped), sorted(mapped))
        clients = {p for p in mapped if "libfbclient" in Path(p).name}
        self.assertEqual(len(clients), 1, sorted(clients))
        if self.server.kind != "fb3":
            self.assertTrue(clients.pop().startswith(str(TREE.resolve()) + "/"), mapped)


if __name__ == "__main__":
    unittest.main()
