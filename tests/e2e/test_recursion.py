"""A script that calls EXECUTA_SQL again on the same server, without end:
through a plain path each level nests on the calling server thread, through
localhost each level takes a new server thread. Either way the module refuses
the run past its bound, the levels above unwind, and the server lives."""

import unittest

from e2e_support import ServerDatabase, ServerTestCase, quoted, text_blob

NESTED_PER_THREAD = 16
ACTIVE_PER_PROCESS = 128


class Recursion(ServerTestCase):

    def recurse(self, name, target):
        db = ServerDatabase(self.work, name,
                            "CREATE TABLE Q (B BLOB SUB_TYPE TEXT);\n"
                            "CREATE TABLE LEVELS (R VARCHAR(200) CHARACTER SET NONE);")
        target = target.format(path=db.path, port=self.server.port)
        # Each level reads the same one-line script and calls the function
        # with it; what the call below returned is recorded on the way up.
        line = ("EXECUTE BLOCK AS DECLARE R VARCHAR(32000) CHARACTER SET NONE; BEGIN "
                f"SELECT EXECUTA_SQL(B, {quoted(target)}) FROM Q INTO R; "
                "INSERT INTO LEVELS VALUES (LEFT(:R, 200)); END")
        db.run(f"INSERT INTO Q VALUES ({text_blob(line.encode())});\nCOMMIT;\n")
        result = db.call_expr("(SELECT B FROM Q)", quoted(target))
        levels = db.values("SELECT R AS V FROM LEVELS")
        return result, levels

    def test_plain_path_nesting_stops_at_the_per_thread_bound(self):
        result, levels = self.recurse("plain", "{path}")
        self.assertEqual(result, "ok")
        refused = [r for r in levels if r.startswith("Run refused: more than 16 runs nested")]
        self.assertEqual(len(refused), 1, levels[:3])
        self.assertEqual(levels.count("ok"), NESTED_PER_THREAD - 1)
        self.assertTrue(self.server.answers())

    def test_network_path_stops_at_the_active_runs_bound(self):
        result, levels = self.recurse("network", "localhost/{port}:{path}")
        self.assertEqual(result, "ok")
        refused = [r for r in levels if r.startswith("Run refused: 128 runs are already active")]
        self.assertEqual(len(refused), 1, levels[:3])
        self.assertEqual(levels.count("ok"), ACTIVE_PER_PROCESS - 1)
        self.assertTrue(self.server.answers())


if __name__ == "__main__":
    unittest.main()
