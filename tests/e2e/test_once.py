"""Apply once: many callers with the same id at the same time, a runner that
dies mid-run, a changed script, a caller without rights on the history, and
statements whose work is already done."""

import json
import os
import re
import signal
import subprocess
import threading
import time

from e2e_support import (PASSWORD, SOURCE_DIR, ServerDatabase, ServerTestCase, client, isql,
                         quoted, text_blob)

UDR_DECLARATION = SOURCE_DIR / "sql" / "udftolvane_udr.sql"
EXEC = os.environ.get("TOLVANE_E2E_EXEC", "")
CALLERS = 32
LINES = 2000
# Callers through the procedure count among one user's runs (16 by default).
PROCEDURE_CALLERS = 8
INTRUDER = ("TOLVANE_ONCE_U1", "u1pass")


def result_of(output: str) -> str:
    found = re.findall(r"<<<(.*?)>>>", output, re.DOTALL)
    if len(found) != 1:
        raise AssertionError(f"no single result in:\n{output}")
    return found[0]


class ApplyOnce(ServerTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.server.conf_file.unlink(missing_ok=True)
        # The scripts are built inside the server: 2,000 lines do not fit a literal.
        cls.db = ServerDatabase(cls.work, "once", declaration=UDR_DECLARATION, setup_sql=(
            f"CREATE OR ALTER USER {INTRUDER[0]} PASSWORD '{INTRUDER[1]}';\nCOMMIT;\n"
            "CREATE TABLE T (N INTEGER);\nCREATE TABLE K (N INTEGER);\nCREATE TABLE H (N INTEGER);\n"
            "CREATE TABLE SCRIPTS (ID VARCHAR(20), BODY BLOB SUB_TYPE TEXT);\nCOMMIT;\n"
            "GRANT ALL ON H TO PUBLIC;\nGRANT SELECT ON SCRIPTS TO PUBLIC;\n"
            "GRANT EXECUTE ON PROCEDURE TOLVANE_RUN TO PUBLIC;\nCOMMIT;\n"
            "SET TERM ^;\n"
            "EXECUTE BLOCK AS DECLARE I INTEGER = 1; DECLARE B BLOB SUB_TYPE TEXT = ''; "
            "DECLARE S BLOB SUB_TYPE TEXT = ''; BEGIN "
            f"WHILE (I <= {LINES}) DO BEGIN B = B || 'INSERT INTO T VALUES (' || I || ')' || ASCII_CHAR(10); "
            "I = I + 1; END "
            "I = 1; WHILE (I <= 40) DO BEGIN S = S || 'EXECUTE BLOCK AS DECLARE J INTEGER = 0; BEGIN "
            "WHILE (J < 1000000) DO J = J + 1; INSERT INTO K VALUES (' || I || '); END' || ASCII_CHAR(10); "
            "I = I + 1; END "
            "INSERT INTO SCRIPTS VALUES ('inserts', :B); INSERT INTO SCRIPTS VALUES ('slow', :S); END^\n"
            "SET TERM ;^\n"))

    def exec_select(self, script_expr: str, options: str) -> str:
        return (f"SELECT '<<<' || TOLVANE_EXEC({script_expr}, {quoted(self.db.path)}, "
                f"{quoted(options)}) || '>>>' FROM RDB$DATABASE;\n")

    def run_select(self, script_expr: str, options: str) -> str:
        return (f"SELECT '<<<' || MESSAGE || '>>>' FROM TOLVANE_RUN({script_expr}, NULL, "
                f"{quoted(options)}) WHERE STATUS = 'result';\n")

    def history(self, once_id: str):
        out = self.db.run("SELECT ATTEMPT || ' ' || STATUS || ' ' || COALESCE(OK_COUNT, -1) AS V "
                          f"FROM TOLVANE$HISTORY WHERE ID = {quoted(once_id)} AND ATTEMPT > 0 ORDER BY ATTEMPT;").stdout
        return [line[1:].strip() for line in out.splitlines() if line.startswith("V ")]

    def test_1_many_callers_at_once_run_the_script_exactly_once(self):
        script = "(SELECT BODY FROM SCRIPTS WHERE ID = 'inserts')"
        options = "once=inserts-v1;mode=atomic;lock_timeout=60"
        results = [None] * CALLERS
        start = threading.Barrier(CALLERS)
        by_procedure = [i % (CALLERS // PROCEDURE_CALLERS) == 0 for i in range(CALLERS)]

        def caller(i):
            sql = self.run_select(script, options) if by_procedure[i] else self.exec_select(script, options)
            start.wait()
            try:
                results[i] = result_of(self.db.run(sql, timeout=90).stdout)
            except Exception as error:
                results[i] = f"caller failed: {error}"

        threads = [threading.Thread(target=caller, args=(i,)) for i in range(CALLERS)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        for i, result in enumerate(results):
            with self.subTest(caller=i):
                # The functions' callers compare with "ok"; the procedure says what it found.
                if by_procedure[i]:
                    self.assertTrue(result == "ok" or result.startswith("already applied at "), result)
                else:
                    self.assertEqual(result, "ok")
        self.assertEqual(self.db.values("SELECT COUNT(*) AS V FROM T"), [str(LINES)])
        self.assertEqual(self.db.values("SELECT COUNT(DISTINCT N) AS V FROM T"), [str(LINES)])
        self.assertEqual(self.history("inserts-v1"), [f"1 applied {LINES}"])
        # A changed script under the applied id is refused, naming both checksums.
        changed = self.db.run(self.exec_select(
            "(SELECT BODY || 'INSERT INTO T VALUES (0)' FROM SCRIPTS WHERE ID = 'inserts')",
            "once=inserts-v1")).stdout
        refusal = result_of(changed)
        self.assertIn("'inserts-v1' changed since it was applied at ", refusal)
        self.assertEqual(len(re.findall(r"checksum [0-9a-f]{64}", refusal)), 2, refusal)
        self.assertEqual(self.db.values("SELECT COUNT(*) AS V FROM T"), [str(LINES)])

    def test_2_a_runner_killed_mid_run_is_taken_over_without_a_manual_step(self):
        script = "(SELECT BODY FROM SCRIPTS WHERE ID = 'slow')"
        options = "once=slow-v1;mode=atomic;lock_timeout=30"
        args = [client().isql, "-q", "-user", "SYSDBA", "-password", PASSWORD, self.db.remote]
        runner = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, env=client().env, start_new_session=True)
        runner.stdin.write(self.exec_select(script, options).encode())
        runner.stdin.close()
        holder = None
        deadline = time.monotonic() + 30
        while holder is None and time.monotonic() < deadline:
            found = self.db.values("SELECT ATTACHMENT_ID AS V FROM TOLVANE$HISTORY "
                                   "WHERE ID = 'slow-v1' AND ATTEMPT > 0 AND ENDED_AT IS NULL")
            holder = found[0] if found else None
            time.sleep(0.1)
        self.assertIsNotNone(holder, "the runner never recorded its attempt")
        # A second caller waits for the runner; then the runner dies.
        waiter = threading.Thread(target=lambda: setattr(
            self, "taken_over", result_of(self.db.run(self.exec_select(script, options), timeout=90).stdout)))
        waiter.start()
        time.sleep(0.5)
        started = time.monotonic()
        os.kill(runner.pid, signal.SIGKILL)
        self.db.run(f"DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = {holder};\nCOMMIT;")
        runner.wait(timeout=30)
        waiter.join(timeout=90)
        self.assertEqual(self.taken_over, "ok")
        self.assertLess(time.monotonic() - started, 30)
        self.assertEqual(self.history("slow-v1"), ["1 broken off -1", "2 applied 40"])
        self.assertEqual(self.db.values("SELECT COUNT(*) AS V FROM K"), ["40"])

    def test_3_a_caller_who_may_not_write_the_history_runs_nothing(self):
        # The table exists (the earlier tests made it), owned by SYSDBA: a
        # user without grants on it can neither run under an id nor forge one.
        self.db.run(self.exec_select(text_blob(b"INSERT INTO H VALUES (0)"), "once=made"))
        args = [client().isql, "-q", "-user", INTRUDER[0], "-password", INTRUDER[1], self.db.remote]
        attack = ("SET LIST ON;\n" + self.run_select(text_blob(b"INSERT INTO H VALUES (1)"), "once=h1") +
                  "INSERT INTO TOLVANE$HISTORY (ID, ATTEMPT, STATUS, CHECKSUM) VALUES "
                  "('h2', 1, 'applied', 'x');\n")
        done = subprocess.run(args, input=attack.encode(), capture_output=True, env=client().env, timeout=60)
        out = done.stdout.decode("latin-1")
        self.assertIn("may not write the history table TOLVANE$HISTORY", out)
        self.assertIn("grant SELECT, INSERT, UPDATE ON TOLVANE$HISTORY", out)
        self.assertIn("no permission", done.stderr.decode("latin-1"))
        self.assertEqual(self.db.values("SELECT COUNT(*) AS V FROM H WHERE N = 1"), ["0"])
        self.assertEqual(self.history("h2"), [])

    def test_4_statements_already_done_are_tolerated_when_asked(self):
        script = (b"CREATE TABLE X1 (A INTEGER NOT NULL, B INTEGER)\n"
                  b"ALTER TABLE X1 ADD C INTEGER\n"
                  b"ALTER TABLE X1 ADD CONSTRAINT X1_PK PRIMARY KEY (A)\n"
                  b"CREATE INDEX X1_B ON X1 (B)\n"
                  b"CREATE DOMAIN X1_D AS INTEGER\n"
                  b"CREATE SEQUENCE X1_G\n"
                  b"CREATE EXCEPTION X1_E 'x'\n"
                  b"CREATE VIEW X1_V AS SELECT A FROM X1\n"
                  b"CREATE PROCEDURE X1_P AS BEGIN END\n"
                  b"CREATE TRIGGER X1_T FOR X1 BEFORE INSERT AS BEGIN END\n"
                  b"CREATE ROLE X1_R\n"
                  b"GRANT SELECT ON X1 TO ROLE X1_R\n"
                  b"DROP TABLE X1_GONE\n"
                  b"ALTER TABLE X1 DROP X1_GONE_C\n"
                  b"DROP INDEX X1_GONE_I\n")
        counts = "SELECT STATUS, COUNT(*) FROM TOLVANE_RUN({}, NULL, 'tolerate=exists') GROUP BY STATUS;\n"
        def statuses():
            out = self.db.run("SET LIST ON;\n" + counts.format(text_blob(script))).stdout
            return dict(re.findall(r"STATUS\s+(\S+(?: \S+)?)\s+COUNT\s+(\d+)", out))

        # The drops of what never was are already done the first time.
        self.assertEqual(statuses(), {"ok": "12", "tolerated": "3", "result": "1"})
        # A grant given twice is no failure on the server: it runs again.
        self.assertEqual(statuses(), {"ok": "1", "tolerated": "14", "result": "1"})
        self.assertEqual(self.server.failure_files(), {})
        # Without the option nothing changes: a duplicate fails as before.
        plain = self.db.run(self.exec_select(text_blob(b"CREATE TABLE X1 (A INTEGER)"), "mode=bail")).stdout
        self.assertIn("Table X1 already exists", result_of(plain))
        self.assertEqual(list(self.server.failure_files()), ["TESTE0.TXT"])

    def test_5_the_tool_applies_once_and_shows_the_history(self):
        script = self.work / "tool-once.sql"
        script.write_bytes(b"INSERT INTO H VALUES (5)\n")

        def tool(*args):
            return subprocess.run([EXEC, "--database", self.db.remote, *args], capture_output=True,
                                  env=client().library_env(), timeout=60)

        first, again = tool("--once", "tool-v1", str(script)), tool("--once", "tool-v1", str(script))
        self.assertEqual((first.returncode, first.stdout.strip()), (0, b"ok"), first.stderr)
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertRegex(again.stdout.decode(), r"^already applied at \S+ \S+ by SYSDBA\n$")
        self.assertIn(b"nothing was run", again.stderr)
        self.assertEqual(self.db.values("SELECT COUNT(*) AS V FROM H WHERE N = 5"), ["1"])
        shown = tool("--history", "--report", "json")
        self.assertEqual(shown.returncode, 0, shown.stderr)
        rows = [row for row in json.loads(shown.stdout)["history"] if row["id"] == "tool-v1"]
        self.assertEqual([(r["attempt"], r["status"], r["ok_count"], r["routine"]) for r in rows],
                         [(1, "applied", 1, "tolvane-exec")])
        self.assertRegex(tool("--history").stdout.decode(), r"(?m)^tool-v1 attempt 1: applied, 1 ok, 0 failed")
