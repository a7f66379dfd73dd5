"""A statement that calls the function and then meets an update conflict. In
READ COMMITTED, Firebird 3 fails the statement; Firebird 4 and later
(ReadConsistency = 1, their default) undo the whole top-level statement and
run it again, so the function is called, and its script run, once more. The
module's work is committed on its own connection and is not undone."""

import subprocess
import time
import unittest

from e2e_support import PASSWORD, ServerDatabase, ServerTestCase, client, isql, quoted, text_blob

# Server kind: (script runs, the caller's statement failed with a conflict).
EXPECTED = {"fb3": (1, True), "fb4": (2, False), "fb5": (2, False)}

# The caller's statement: the call, then a write to the row another
# transaction holds. {call} is the function call.
CALLERS = {
    "update": "UPDATE L SET V = V + CHAR_LENGTH({call}) WHERE ID = 1;\n",
    "block": "SET TERM ^;\nEXECUTE BLOCK AS DECLARE R VARCHAR(32000); BEGIN\n"
             "  R = {call};\n  UPDATE L SET V = V + CHAR_LENGTH(:R) WHERE ID = 1;\nEND^\nSET TERM ;^\n",
}
READ_COMMITTED = "SET TRANSACTION READ COMMITTED RECORD_VERSION WAIT;\n"


class Restart(ServerTestCase):

    def holds_the_row(self, db):
        probe = isql("SET TRANSACTION NO WAIT;\nUPDATE L SET V = V WHERE ID = 1;\nROLLBACK;\n",
                     connect_to=db.remote, check=False)
        return "conflict" in probe.stderr

    def wait_until(self, condition, what):
        deadline = time.monotonic() + 30
        while not condition():
            if time.monotonic() > deadline:
                raise AssertionError(f"gave up waiting: {what}")
            time.sleep(0.1)

    def open_isql(self, db, script):
        process = subprocess.Popen(
            [client().isql, "-q", "-user", "SYSDBA", "-password", PASSWORD, db.remote],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=client().env)
        process.stdin.write(script.encode())
        process.stdin.flush()
        return process

    def test_a_statement_restarted_after_a_conflict_runs_the_script_again_on_firebird_4_and_later(self):
        expected_runs, conflict = EXPECTED[self.server.kind]
        for name, statement in CALLERS.items():
            with self.subTest(caller=name):
                db = ServerDatabase(self.work, name, "CREATE TABLE L (ID INTEGER PRIMARY KEY, V INTEGER);\n"
                                                     "CREATE TABLE RUNS (N INTEGER);\nCOMMIT;\n"
                                                     "INSERT INTO L VALUES (1, 1);")
                runs = lambda: int(db.values("SELECT COUNT(*) AS V FROM RUNS")[0])
                holder = self.open_isql(db, READ_COMMITTED + "UPDATE L SET V = 2 WHERE ID = 1;\n")
                caller = None
                try:
                    self.wait_until(lambda: self.holds_the_row(db), "another transaction holds row 1")
                    call = f"EXECUTA_SQL({text_blob(b'INSERT INTO RUNS VALUES (1)')}, {quoted(db.path)})"
                    caller = self.open_isql(db, READ_COMMITTED + statement.format(call=call) + "COMMIT;\n")
                    # The caller has run the script once and now waits for row 1.
                    self.wait_until(lambda: runs() >= 1, "the first run of the script")
                    holder.communicate(b"COMMIT;\n", timeout=60)
                    output = caller.communicate(timeout=60)[0].decode("latin-1")
                finally:
                    for process in (holder, caller):
                        if process is not None and process.poll() is None:
                            process.kill()
                            process.communicate()

                self.assertEqual(runs(), expected_runs, output)
                self.assertEqual("update conflicts with concurrent update" in output, conflict, output)
                # Restarted, the statement read the holder's committed 2 and added len("ok").
                self.assertEqual(db.values("SELECT V AS V FROM L"), ["2"] if conflict else ["4"])
                self.assertFailureFiles({})


if __name__ == "__main__":
    unittest.main()
