"""Calls at the same time, and a call that meets a lock its own caller holds."""

import threading
import time
import unittest

from e2e_support import ServerDatabase, ServerTestCase, failure_line, quoted

CALLERS = 8
ROWS_PER_CALLER = 40
SEPARATOR = "   -    "


class Concurrency(ServerTestCase):

    def test_eight_callers_at_once_each_get_their_own_result(self):
        tables = "".join(f"CREATE TABLE C{i} (ID INTEGER);\n" for i in range(CALLERS))
        db = ServerDatabase(self.work, "concurrent", tables)
        results = [None] * CALLERS
        errors = []
        start = threading.Barrier(CALLERS)

        def caller(i):
            try:
                script = b"".join(b"INSERT INTO C%d VALUES (%d)\n" % (i, n) for n in range(ROWS_PER_CALLER))
                # Every other caller names a database that is not there.
                path = db.path if i % 2 == 0 else str(self.work / f"missing{i}.fdb")
                start.wait()
                results[i] = db.call(script, path)
            except Exception as error:  # reported below, with the caller's number
                errors.append(f"caller {i}: {error}")

        threads = [threading.Thread(target=caller, args=(i,)) for i in range(CALLERS)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()

        self.assertEqual(errors, [])
        for i, result in enumerate(results):
            with self.subTest(caller=i):
                if i % 2 == 0:
                    self.assertEqual(result, "ok")
                    self.assertEqual(db.values(f"SELECT COUNT(*) AS V FROM C{i}"), [str(ROWS_PER_CALLER)])
                else:
                    self.assertTrue(result.endswith(SEPARATOR), result)
                    self.assertIn(f"missing{i}.fdb", result)
                    self.assertEqual(db.values(f"SELECT COUNT(*) AS V FROM C{i}"), ["0"])
        self.assertFailureFiles({})

    def test_a_row_locked_by_the_caller_fails_its_line_once_the_lock_wait_runs_out(self):
        db = ServerDatabase(self.work, "locks", "CREATE TABLE L (ID INTEGER PRIMARY KEY, V INTEGER);\n"
                                                "COMMIT;\nINSERT INTO L VALUES (1, 1);")
        blocked = b"UPDATE L SET V = 3 WHERE ID = 1"
        started = time.monotonic()
        out = db.run(
            "UPDATE L SET V = 2 WHERE ID = 1;\n"
            f"SELECT '<<<' || EXECUTA_SQL(CAST({quoted(blocked.decode())} AS BLOB SUB_TYPE TEXT), "
            f"{quoted(db.path)}) || '>>>' AS R FROM RDB$DATABASE;\n"
            "ROLLBACK;\n",
            timeout=self.server.lock_timeout + 60).stdout
        waited = time.monotonic() - started

        self.assertIn("<<<ok>>>", out)
        # The server's lock manager counts the timeout in whole seconds.
        self.assertGreaterEqual(waited, self.server.lock_timeout - 1.0)
        self.assertFailureFiles({"TESTE0.TXT": failure_line(blocked, db.path)})
        self.assertEqual(db.values("SELECT V AS V FROM L"), ["1"])


if __name__ == "__main__":
    unittest.main()
