"""Run modes on real databases: what each mode commits, reports and leaves
behind when a statement fails, with DDL, with COMMIT and ROLLBACK lines, and
with a lock another attachment holds."""

import json
import os
import subprocess
import time
import unittest

from e2e_support import ServerDatabase, ServerTestCase, WorkDir, client, failure_line, isql, quoted

EXEC = os.environ.get("TOLVANE_E2E_EXEC", "")
BREAK = "   -    "


class Modes(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        if not EXEC or not os.path.exists(EXEC):
            raise AssertionError(f"tolvane-exec not found at '{EXEC}' (set TOLVANE_E2E_EXEC)")
        cls.work = WorkDir.make(cls.__name__)

    def setUp(self):
        self.path = str(self.work / f"{self._testMethodName}.fdb")
        self.failures = self.work / f"{self._testMethodName}-failures"
        self.failures.mkdir(exist_ok=True)

    def fresh(self, setup="CREATE TABLE T (ID INTEGER PRIMARY KEY);"):
        if os.path.exists(self.path):
            os.unlink(self.path)
        for old in self.failures.glob("*"):
            old.unlink()
        isql(f"CREATE DATABASE {quoted(self.path)};\n{setup}\nCOMMIT;\n", embedded=True)

    def run_mode(self, mode, script: bytes, *extra):
        done = subprocess.run([EXEC, "--database", self.path, "--mode", mode, "--report", "json",
                               *extra, "-"], input=script, capture_output=True, timeout=120,
                              env=client().library_env(UDFTOLVANE_FAILURE_DIR=str(self.failures)))
        report = json.loads(done.stdout.decode("utf-8"))
        return done.returncode, report

    def ids(self, table="T"):
        out = isql(f"SET LIST ON;\nCONNECT {quoted(self.path)};\nSELECT ID AS V FROM {table};\n",
                   embedded=True).stdout
        return sorted(int(line.split()[1]) for line in out.splitlines() if line.startswith("V "))

    def test_a_failing_statement_in_the_middle(self):
        script = (b"INSERT INTO T VALUES (1)\nINSERT INTO T VALUES (2)\n"
                  b"INSERT INTO T VALUES (1)\nINSERT INTO T VALUES (3)\n")
        dup = "INSERT INTO T VALUES (1)"
        rows = [
            # mode, exit, stored, (line, status) in report order, each line once with
            # its final status, result
            ("continue", 3, [1, 2, 3], [(1, "ok"), (2, "ok"), (3, "failed"), (4, "ok")], "ok"),
            ("bail", 1, [1, 2], [(1, "ok"), (2, "ok"), (3, "failed"), (4, "not run")], dup),
            ("atomic", 1, [], [(1, "rolled back"), (2, "rolled back"), (3, "failed"),
                               (4, "not run")], dup),
            ("batch", 3, [1, 2, 3], [(1, "ok"), (2, "ok"), (3, "failed"), (4, "ok")], "ok"),
        ]
        for mode, code, stored, statuses, result in rows:
            with self.subTest(mode=mode):
                self.fresh()
                got_code, report = self.run_mode(mode, script)
                self.assertEqual(got_code, code)
                self.assertEqual(self.ids(), stored)
                self.assertEqual([(o["line"], o["status"]) for o in report["outcomes"]], statuses)
                self.assertTrue(report["summary"]["result"].endswith(result), report["summary"])
                self.assertEqual({p.name: p.read_bytes() for p in self.failures.glob("*")},
                                 {"TESTE2.TXT": failure_line(dup.encode(), self.path)})

    def test_ddl_then_data_in_batch(self):
        self.fresh()
        code, report = self.run_mode("batch", b"INSERT INTO T VALUES (1)\nCREATE TABLE U (ID INTEGER)\n"
                                              b"INSERT INTO U VALUES (7)\nINSERT INTO T VALUES (2)\n")
        self.assertEqual(code, 0, report)
        self.assertEqual((self.ids(), self.ids("U")), ([1, 2], [7]))

    def test_a_ddl_whose_commit_fails_fails_and_undoes_the_batch_since_the_last_commit(self):
        # A unique constraint over duplicates is refused when it is committed.
        self.fresh("CREATE TABLE T (ID INTEGER);")
        code, report = self.run_mode("batch", b"INSERT INTO T VALUES (5)\nCOMMIT\nINSERT INTO T VALUES (1)\n"
                                              b"INSERT INTO T VALUES (1)\n"
                                              b"ALTER TABLE T ADD CONSTRAINT UQ UNIQUE (ID)\n"
                                              b"INSERT INTO T VALUES (9)\n")
        self.assertEqual(code, 3)
        self.assertEqual([(o["line"], o["status"]) for o in report["outcomes"]],
                         [(1, "ok"), (2, "ok"), (3, "rolled back"), (4, "rolled back"),
                          (5, "failed"), (6, "ok")])
        self.assertIn("violation of PRIMARY or UNIQUE KEY constraint \"UQ\"", report["outcomes"][4]["message"])
        self.assertEqual(self.ids(), [5, 9])
        self.assertTrue((self.failures / "TESTE4.TXT").exists())

    def test_commit_and_rollback_lines(self):
        script = (b"INSERT INTO T VALUES (1)\nCOMMIT\nINSERT INTO T VALUES (2)\nROLLBACK\n"
                  b"INSERT INTO T VALUES (3)\n")
        rows = [
            ("continue", 0, [1, 2, 3], "ok"),
            ("bail", 0, [1, 2, 3], "ok"),
            # atomic refuses the COMMIT line: everything is undone.
            ("atomic", 1, [], "COMMIT"),
            ("batch", 0, [1, 3], "ok"),
        ]
        for mode, code, stored, result in rows:
            with self.subTest(mode=mode):
                self.fresh()
                got_code, report = self.run_mode(mode, script)
                self.assertEqual((got_code, self.ids()), (code, stored))
                self.assertTrue(report["summary"]["result"].endswith(result), report["summary"])
                if mode == "batch":
                    undone = [o["line"] for o in report["outcomes"] if o["status"] == "rolled back"]
                    self.assertEqual(undone, [3])

    def test_bad_options_fail_before_the_database_is_touched(self):
        for options in (["--mode", "fast"], ["--options", "mode=batch;mode=bail"],
                        ["--options", "colour=blue"], ["--lock-timeout", "-1"],
                        ["--options", "failure_files=maybe"]):
            with self.subTest(options=options):
                done = subprocess.run([EXEC, "--database", str(self.work / "never.fdb"), *options, "-"],
                                      input=b"CREATE TABLE X (ID INTEGER)\n", capture_output=True,
                                      timeout=60)
                self.assertEqual(done.returncode, 2, done.stderr)
                self.assertFalse((self.work / "never.fdb").exists())


class ModeLocks(ServerTestCase):

    def test_a_lock_held_by_another_attachment(self):
        db = ServerDatabase(self.work, "locks", "CREATE TABLE K (ID INTEGER);\nINSERT INTO K VALUES (1);")
        holder = subprocess.Popen(["isql-fb", "-q", "-user", "SYSDBA", "-password", "ravenquil",
                                   db.remote], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        try:
            holder.stdin.write(b"SET AUTODDL OFF;\nUPDATE K SET ID = 2;\n")
            holder.stdin.flush()
            time.sleep(1)
            for wait, longest in (("2", 8.0), ("nowait", 0.9)):
                with self.subTest(lock_timeout=wait):
                    started = time.monotonic()
                    done = subprocess.run([EXEC, "--database", db.remote, "--lock-timeout", wait,
                                           "--report", "json", "-"], input=b"UPDATE K SET ID = 3\n",
                                          capture_output=True, timeout=60)
                    took = time.monotonic() - started
                    outcome = json.loads(done.stdout)["outcomes"][0]
                    self.assertEqual((done.returncode, outcome["status"]), (3, "failed"))
                    self.assertIn("update conflicts with concurrent update", outcome["message"])
                    self.assertLess(took, longest)
                    if wait != "nowait":
                        self.assertGreater(took, 0.9)
        finally:
            holder.communicate(b"ROLLBACK;\n", timeout=60)


if __name__ == "__main__":
    unittest.main()
