"""Why a line failed: tolvane-exec's report on real databases, the JSON
document for any bytes, and the run log of a run killed part way."""

import json
import os
import random
import signal
import subprocess
import time
import unittest

from e2e_support import ServerDatabase, ServerTestCase, client, isql, quoted

EXEC = os.environ.get("TOLVANE_E2E_EXEC", "")


class Report(ServerTestCase):

    def setUp(self):
        super().setUp()
        if not EXEC or not os.path.exists(EXEC):
            raise AssertionError(f"tolvane-exec not found at '{EXEC}' (set TOLVANE_E2E_EXEC)")

    def exec_json(self, database, script: bytes, env=None):
        done = subprocess.run([EXEC, "--database", database, "--report", "json", "-"],
                              input=script, capture_output=True, timeout=120,
                              env=client().library_env(**(env or {})))
        return done.returncode, json.loads(done.stdout.decode("utf-8"))

    def test_each_kind_of_failure_has_its_fields(self):
        db = ServerDatabase(self.work, "kinds", "CREATE TABLE K (ID INTEGER PRIMARY KEY);\n"
                                                "INSERT INTO K VALUES (1);")
        holder = subprocess.Popen(["isql-fb", "-q", "-user", "SYSDBA", "-password", "ravenquil",
                                   db.remote], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        try:
            holder.stdin.write(b"SET AUTODDL OFF;\nUPDATE K SET ID = 1 WHERE ID = 1;\n")
            holder.stdin.flush()
            time.sleep(1)
            code, report = self.exec_json(
                db.remote, b"INSERT INTO K VALUES (2)\nINSERT INTO K VALUES (2)\n"
                           b"SELEC 1 FROM RDB$DATABASE\nUPDATE K SET ID = 1 WHERE ID = 1\n",
                env={"TOLVANE_LOCK_TIMEOUT": "1"})
        finally:
            holder.communicate(b"ROLLBACK;\n", timeout=60)
        self.assertEqual(code, 3)
        rows = [(o["line"], o["status"], o.get("sqlstate", "")) for o in report["outcomes"]]
        self.assertEqual(rows, [(1, "ok", ""), (2, "failed", "23000"), (3, "failed", "42000"),
                                (4, "failed", "40001")])
        unique, syntax, lock = report["outcomes"][1:]
        self.assertEqual(unique.get("error_code"), 335544665)
        self.assertIn("violation of PRIMARY or UNIQUE KEY", unique["message"])
        self.assertIn("Token unknown", syntax["message"])
        # Firebird reports a row lock that outwaited the timeout (counted in
        # whole clock seconds) as an update conflict.
        self.assertIn("update conflicts with concurrent update", lock["message"])
        self.assertEqual(lock.get("error_code"), 335544336)
        self.assertEqual(report["summary"]["failed"], 3)
        self.assertEqual(report["summary"]["result"], "ok")

    def test_the_json_document_is_valid_for_any_bytes(self):
        path = str(self.work / "bytes.fdb")
        isql(f"CREATE DATABASE {quoted(path)};\n", embedded=True)
        generator = random.Random(20261207)
        script = bytes(generator.randrange(1, 256) for _ in range(3000))
        code, report = self.exec_json(path, script)
        self.assertEqual(code, 3)
        lines = [line for line in script.replace(b"\r\n", b"\n").replace(b"\r", b"\n").split(b"\n")
                 if line]
        self.assertEqual(len(report["outcomes"]), len(lines))
        self.assertEqual(report["summary"]["statements"], len(lines))

    def test_a_run_log_of_a_killed_run_shows_every_committed_line(self):
        path = str(self.work / "killed.fdb")
        isql(f"CREATE DATABASE {quoted(path)};\nCREATE TABLE K (ID INTEGER);\nCOMMIT;\n",
             embedded=True)
        logs = self.work / "runlog"
        logs.mkdir()
        script = b"".join(b"INSERT INTO K VALUES (%d)\n" % n for n in range(20000))
        run = subprocess.Popen([EXEC, "--database", path, "--report", "none", "-"],
                               stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL,
                               env=client().library_env(UDFTOLVANE_RUN_LOG_DIR=str(logs)))
        run.stdin.write(script)
        run.stdin.close()
        deadline = time.monotonic() + 60
        log_files = []
        while time.monotonic() < deadline:
            log_files = list(logs.glob("*.jsonl"))
            if log_files and log_files[0].stat().st_size > 200_000:
                break
            time.sleep(0.05)
        run.send_signal(signal.SIGKILL)
        run.wait(timeout=30)
        self.assertEqual(len(log_files), 1)
        text = log_files[0].read_bytes()
        self.assertTrue(text.endswith(b"\n"), "the log ends in a broken line")
        records = [json.loads(line) for line in text.splitlines()]
        self.assertIn("run", records[0])
        self.assertNotIn("summary", records[-1], "the run ended before the kill")
        logged = {int(r["statement"]["statement"].split("(")[1].rstrip(")"))
                  for r in records[1:] if r["statement"]["status"] == "ok"}
        out = isql(f"SET LIST ON;\nCONNECT {quoted(path)};\nSELECT ID AS V FROM K;\n",
                   embedded=True).stdout
        stored = {int(line.split()[1]) for line in out.splitlines() if line.startswith("V ")}
        # A statement may have committed in the instant between its commit
        # and its log line: at most the one after the last logged.
        self.assertTrue(logged <= stored)
        self.assertLessEqual(len(stored - logged), 1)
        self.assertGreater(len(logged), 1000)


if __name__ == "__main__":
    unittest.main()
