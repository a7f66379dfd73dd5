"""Runs last: after everything the other tests made the module do, the
private server still answers and still runs the function."""

import unittest

from e2e_support import ServerDatabase, ServerTestCase


class ServerAlive(ServerTestCase):

    def test_the_server_still_answers_and_runs_a_script(self):
        self.assertTrue(self.server.answers())
        db = ServerDatabase(self.work, "alive", "CREATE TABLE A (ID INTEGER);")
        self.assertEqual(db.call(b"INSERT INTO A VALUES (1)"), "ok")
        self.assertEqual(db.values("SELECT ID AS V FROM A"), ["1"])


if __name__ == "__main__":
    unittest.main()
