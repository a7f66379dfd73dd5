"""TOLVANE_RUN on the private server: one row per statement and a result row,
streamed one statement per fetch, under the caller's own login and role."""

import os
import subprocess
import sys
import time
import threading
import unittest

from e2e_support import (ENCODING, PASSWORD, SOURCE_DIR, ServerDatabase, ServerTestCase, quoted,
                         results_in, text_blob)

UDR_DECLARATION = SOURCE_DIR / "sql" / "udftolvane_udr.sql"
COLUMNS = ["line", "last", "statement", "status", "sqlstate", "code", "message", "rows",
           "elapsed"]
NULL = "~"
# Users of the shared security database, each with its password.
PLAIN = ("TOLVANE_PROC_PLAIN", "plain1")
GRANTED = ("TOLVANE_PROC_WRITER", "writer1")
# A case-sensitive name whose upper-case twin holds the grant: the run must
# stay the one it was given.
QUOTED = ('"tolvane_proc_writer"', "lower1")


def select_rows(script_expr: str, path_expr: str, options: str = None, first: int = None) -> str:
    """A SELECT whose every row results_in() picks up, fields joined by
    ASCII 31, NULL as ~."""
    fields = ["LINE_NUMBER", "LAST_LINE", "CAST(STATEMENT AS VARCHAR(8000) CHARACTER SET NONE)",
              "STATUS", "SQL_STATE", "ERROR_CODE", "MESSAGE", "ROWS_AFFECTED", "ELAPSED_US"]
    joined = " || ASCII_CHAR(31) || ".join(f"COALESCE({f}, '{NULL}')" for f in fields)
    options_expr = "NULL" if options is None else quoted(options)
    limit = f"FIRST {first} " if first is not None else ""
    return (f"SELECT {limit}'<<<' || {joined} || '>>>' AS R "
            f"FROM TOLVANE_RUN({script_expr}, {path_expr}, {options_expr});\n")


def parse_rows(output: str):
    rows = []
    for found in results_in(output):
        values = found.split("\x1f")
        rows.append({k: (None if v.rstrip() == NULL else v) for k, v in zip(COLUMNS, values)})
    return rows


def isql_as(user, sql: str, database: str, role: str = None):
    args = ["isql-fb", "-q", "-user", user[0], "-password", user[1]]
    if role:
        args += ["-role", role]
    done = subprocess.run(args + [database], input=sql.encode(ENCODING), capture_output=True,
                          timeout=600)
    return done.stdout.decode(ENCODING) + done.stderr.decode(ENCODING)


def server_rss_kib(pid: str) -> int:
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise AssertionError("no VmRSS for the server")


class TolvaneRun(ServerTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.home = ServerDatabase(cls.work, "home", declaration=UDR_DECLARATION)
        cls.target = ServerDatabase(
            cls.work, "target", declaration=UDR_DECLARATION, setup_sql=(
                "CREATE TABLE SECRET (ID INTEGER);\n"
                "CREATE TABLE T (ID INTEGER);\n"
                "CREATE ROLE TOLVANE_PROC_ROLE;\n"
                "GRANT INSERT ON SECRET TO ROLE TOLVANE_PROC_ROLE;\n"
                f"GRANT INSERT ON SECRET TO USER {GRANTED[0]};\n"
                f"GRANT TOLVANE_PROC_ROLE TO USER {PLAIN[0]};\n"))
        # One commit per statement: without forced writes the 100,000-line run
        # takes seconds instead of minutes of disk flushes.
        subprocess.run(["gfix", "-write", "async", "-user", "SYSDBA", "-password", PASSWORD,
                        cls.target.remote], check=True, capture_output=True, timeout=60)
        users = "".join(f"CREATE OR ALTER USER {name} PASSWORD '{password}';\n"
                        for name, password in [PLAIN, GRANTED, QUOTED])
        # The caller's role is the one of the home database; the target
        # honours it when it grants the same role to the user.
        cls.home.run(users + "COMMIT;\nGRANT EXECUTE ON PROCEDURE TOLVANE_RUN TO PUBLIC;\n"
                     f"CREATE ROLE TOLVANE_PROC_ROLE;\nGRANT TOLVANE_PROC_ROLE TO USER {PLAIN[0]};\n")
        cls.attachments_before = cls.target_attachments()

    @classmethod
    def tearDownClass(cls):
        if not hasattr(cls, "target"):
            return super().tearDownClass()
        left = cls.target_attachments()
        super().tearDownClass()
        if left != cls.attachments_before:
            raise AssertionError(f"attachments to the target: {cls.attachments_before} before, "
                                 f"{left} after")

    @classmethod
    def target_attachments(cls) -> int:
        return int(cls.target.values(
            "SELECT COUNT(*) AS V FROM MON$ATTACHMENTS WHERE MON$SYSTEM_FLAG = 0 "
            "AND MON$ATTACHMENT_ID <> CURRENT_CONNECTION")[0])

    def rows(self, script: bytes, options: str = None, path: str = None, first: int = None):
        sql = select_rows("NULL" if script is None else text_blob(script),
                          quoted(self.target.path if path is None else path), options, first)
        return parse_rows(self.home.run(sql).stdout)

    def test_each_statement_has_its_row_and_the_run_its_result(self):
        self.target.run("DELETE FROM T;\n")
        script = b"\r\n".join([
            b"INSERT INTO T VALUES (1)",
            b"",
            b"INSERT INTO NOWHERE VALUES (1)",
            b"UPDATE T SET ID = ID + 1",
            b"INSERT INTO T SELECT ID FROM T",
        ]) + b"\r\n"
        rows = self.rows(script)
        got = [(r["line"], r["last"], r["statement"], r["status"], r["sqlstate"], r["code"],
                r["rows"]) for r in rows]
        # STATEMENT for the rows that did not end ok (the others stay out of
        # the server's memory).
        self.assertEqual(got, [
            ("1", "1", None, "ok", None, None, "1"),
            ("3", "3", "INSERT INTO NOWHERE VALUES (1)", "failed", "42S02", "335544569", None),
            ("4", "4", None, "ok", None, None, "1"),
            ("5", "5", None, "ok", None, None, "1"),
            (None, None, None, "result", None, None, None),
        ])
        self.assertIn("Table unknown\n-NOWHERE", rows[1]["message"])
        self.assertEqual([r["message"] for r in rows if r["status"] != "failed"],
                         [None, None, None, "ok"])
        self.assertTrue(all(int(r["elapsed"]) >= 0 for r in rows), rows)
        self.assertEqual(list(self.server.failure_files()), ["TESTE2.TXT"])
        self.assertEqual(self.target.values("SELECT ID AS V FROM T"), ["2", "2"])

        self.server.clear_failure_files()
        off = self.rows(b"INSERT INTO NOWHERE VALUES (1)\n", "failure_files=off")
        self.assertEqual([r["status"] for r in off], ["failed", "result"])
        self.assertFailureFiles({})
        every = self.rows(b"DELETE FROM T\n", "statement_text=all")
        self.assertEqual([(r["status"], r["statement"]) for r in every],
                         [("ok", "DELETE FROM T"), ("result", None)])

    def test_each_mode_reports_its_statements_as_rows(self):
        script = b"INSERT INTO T VALUES (1)\nINSERT INTO NOWHERE VALUES (1)\nINSERT INTO T VALUES (3)\n"
        broken_off = "   -    INSERT INTO NOWHERE VALUES (1)"
        cases = [
            # (mode, (line, status) of each statement row, the result row's
            # lines and STATEMENT (the commit or rollback that ended the run),
            # the result's end, rows left in T)
            ("continue", [("1", "ok"), ("2", "failed"), ("3", "ok")], (None, None, None), "ok", "1,3"),
            ("bail", [("1", "ok"), ("2", "failed"), ("3", "not run")], (None, None, None),
             broken_off, "1"),
            ("atomic", [("1", "done"), ("2", "failed"), ("3", "not run")], ("1", "2", "ROLLBACK"),
             broken_off, None),
            ("batch", [("1", "done"), ("2", "failed"), ("3", "done")], ("1", "3", "COMMIT"), "ok",
             "1,3"),
        ]
        for mode, statements, ended, result, left in cases:
            with self.subTest(mode=mode):
                self.target.run("DELETE FROM T;\n")
                rows = self.rows(script, f"mode={mode}")
                self.assertEqual([(r["line"], r["status"]) for r in rows[:-1]], statements)
                last = rows[-1]
                self.assertEqual((last["status"], last["line"], last["last"], last["statement"]),
                                 ("result",) + ended)
                self.assertTrue(last["message"].endswith(result), last["message"])
                self.assertEqual(self.target.values(
                    "SELECT CAST(LIST(ID) AS VARCHAR(100)) AS V FROM (SELECT ID FROM T ORDER BY ID)"),
                    [left or "<null>"])

    def test_atomic_and_batch_rows_give_each_line_once_and_each_commit_once(self):
        # 22 lines, statements on some of them, the one on line 17 failing:
        # each line once, the rollback once, on the result row.
        lines = [b""] * 22
        for number in (3, 9, 11, 17, 20):
            lines[number - 1] = b"INSERT INTO T VALUES (%d)" % number
        lines[16] = b"INSERT INTO NOWHERE VALUES (17)"
        self.target.run("DELETE FROM T;\n")
        rows = self.rows(b"\n".join(lines) + b"\n", "mode=atomic")
        self.assertEqual([(r["line"], r["status"], r["statement"]) for r in rows[:-1]], [
            ("3", "done", None), ("9", "done", None), ("11", "done", None),
            ("17", "failed", "INSERT INTO NOWHERE VALUES (17)"),
            ("20", "not run", "INSERT INTO T VALUES (20)")])
        self.assertEqual((rows[-1]["status"], rows[-1]["line"], rows[-1]["last"], rows[-1]["statement"]),
                         ("result", "3", "17", "ROLLBACK"))
        self.assertEqual(self.target.values("SELECT COUNT(*) AS V FROM T"), ["0"])
        # A batch's commits during the run are rows of their own.
        rows = self.rows(b"INSERT INTO T VALUES (1)\nCOMMIT\nINSERT INTO T VALUES (2)\nROLLBACK\n"
                         b"INSERT INTO T VALUES (3)\n", "mode=batch")
        self.assertEqual([(r["line"], r["last"], r["status"], r["statement"]) for r in rows], [
            ("1", "1", "done", None), ("2", "2", "ok", None), ("1", "2", "committed", "COMMIT"),
            ("3", "3", "done", None), ("4", "4", "ok", None), ("3", "4", "rolled back", "ROLLBACK"),
            ("5", "5", "done", None), ("5", "5", "result", "COMMIT")])
        self.assertEqual(self.target.values("SELECT CAST(LIST(ID) AS VARCHAR(100)) AS V FROM T"),
                         ["1,3"])

    def test_arguments_it_cannot_take_come_back_as_the_result_row(self):
        cases = [
            # (options, path, words the result text must hold)
            ("colour=red", None, ["Unknown option 'colour'"]),
            ("mode=sideways", None, ["'sideways'", "mode"]),
            (None, "localhost:" + self.target.path, ["names a host", "password"]),
            (None, f"{self.server.address}:{self.target.path}", ["names a host"]),
            (None, "inet://localhost/" + self.target.path, ["names a host"]),
            (None, "xnet://" + self.target.path, ["names a host"]),
        ]
        for options, path, words in cases:
            with self.subTest(options=options, path=path):
                rows = self.rows(b"INSERT INTO T VALUES (99)\n", options, path)
                self.assertEqual([r["status"] for r in rows], ["result"])
                for word in words:
                    self.assertIn(word, rows[0]["message"])
        self.assertEqual(self.target.values("SELECT COUNT(*) AS V FROM T WHERE ID = 99"), ["0"])
        no_path = parse_rows(self.home.run(select_rows(text_blob(b"X\n"), "NULL")).stdout)
        self.assertIn("database path is NULL", no_path[0]["message"])
        self.assertEqual([(r["status"], r["message"]) for r in self.rows(None)], [("result", "ok")])

    def test_a_caller_that_stops_fetching_stops_the_run(self):
        self.target.run("DELETE FROM T;\n")
        script = b"".join(b"INSERT INTO T VALUES (%d)\n" % i for i in range(1, 101))
        rows = self.rows(script, first=10)
        self.assertEqual([r["line"] for r in rows], [str(i) for i in range(1, 11)])
        self.assertEqual(self.target.values("SELECT COUNT(*) || ' ' || MAX(ID) AS V FROM T"),
                         ["10 10"])
        self.assertEqual(self.target_attachments(), self.attachments_before)

    def test_the_run_has_the_callers_rights_and_no_more(self):
        insert = text_blob(b"INSERT INTO SECRET VALUES (1)\n")
        cases = [
            # (user, role, status, SQLSTATE)
            (PLAIN, None, "failed", "28000"),
            (PLAIN, "TOLVANE_PROC_ROLE", "ok", None),
            (GRANTED, None, "ok", None),
            (QUOTED, None, "failed", "28000"),
        ]
        for user, role, status, sqlstate in cases:
            with self.subTest(user=user[0], role=role):
                out = isql_as(user, select_rows(insert, quoted(self.target.path)), self.home.remote, role)
                rows = parse_rows(out)
                self.assertEqual([(r["status"], r["sqlstate"]) for r in rows],
                                 [(status, sqlstate), ("result", None)])
                if status == "failed":
                    self.assertIn("no permission for INSERT access to TABLE SECRET",
                                  rows[0]["message"])
                    self.assertEqual(rows[0]["code"], "335544352")
        self.assertEqual(self.target.values("SELECT COUNT(*) AS V FROM SECRET"), ["2"])

    def test_a_user_cannot_reach_the_security_database_through_it(self):
        security = quoted(str(self.server.security_db))
        script = (b"SELECT COUNT(*) FROM PLG$SRP\n"
                  b"CREATE USER TOLVANE_PROC_INTRUDER PASSWORD 'x'\n"
                  b"ALTER USER SYSDBA FIRSTNAME 'Taken'\n")
        rows = parse_rows(isql_as(PLAIN, select_rows(text_blob(script), security),
                                  self.home.remote))
        self.assertEqual([r["status"] for r in rows], ["result"])
        self.assertIn("same security database", rows[0]["message"])
        self.assertEqual(self.home.values(
            "SELECT COUNT(*) AS V FROM SEC$USERS WHERE SEC$USER_NAME = 'TOLVANE_PROC_INTRUDER' "
            "OR SEC$FIRST_NAME = 'Taken'"), ["0"])

    def test_a_long_script_streams_with_the_servers_memory_bounded(self):
        # TOLVANE_E2E_PROCEDURE_LINES=1000000 for the full-size check.
        lines = int(os.environ.get("TOLVANE_E2E_PROCEDURE_LINES", "100000"))
        pid = self.server.pid
        script = ("(SELECT LIST('SELECT 1 FROM RDB$DATABASE', ASCII_CHAR(10)) FROM "
                  f"(SELECT FIRST {lines} 1 AS X FROM RDB$FIELDS A, RDB$FIELDS B, RDB$FIELDS C))")
        count = (f"SELECT '<<<' || COUNT(*) || ' ' || SUM(IIF(STATUS = 'ok', 1, 0)) || ' ' || "
                 f"MAX(LINE_NUMBER) || '>>>' FROM TOLVANE_RUN({script}, {quoted(self.target.path)});\n"
                 "COMMIT;\n")
        self.home.run(count.replace(str(lines), "1000"))  # module and caches loaded
        before = server_rss_kib(pid)
        peak = [before]
        done = threading.Event()

        def sample():
            while not done.wait(0.25):
                peak.append(server_rss_kib(pid))

        sampler = threading.Thread(target=sample)
        sampler.start()
        started = time.monotonic()
        try:
            out = self.home.run(count, timeout=540).stdout
        finally:
            done.set()
            sampler.join()
        seconds = time.monotonic() - started
        after = server_rss_kib(pid)
        print(f"\n{lines} lines in {seconds:.0f} s; server RSS {before} KiB before, peak "
              f"{max(peak)} KiB, {after} KiB after the caller's commit", file=sys.stderr)
        self.assertEqual(results_in(out), [f"{lines + 1} {lines} {lines}"])
        # Rows that ended ok carry no STATEMENT BLOB (one would live in the
        # caller's transaction until it ends, some 400 bytes a row): the
        # server ends where it started. While it runs it holds the script's
        # text (the caller's LIST and the run's copy) and its caches.
        script_kib = lines * len("SELECT 1 FROM RDB$DATABASE\n") // 1024
        self.assertLess(max(peak) - before, 4 * script_kib + 16 * 1024)
        self.assertLess(after - before, 4 * 1024)


if __name__ == "__main__":
    unittest.main()
