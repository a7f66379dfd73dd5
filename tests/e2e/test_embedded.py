"""tolvane-exec against an embedded database: the module, the driver and the
client library in one process, with no server at all. As e2e.fb4.embedded and
e2e.fb5.embedded that tree's isql makes the database (on-disk structure 13,
which a Firebird 3 engine refuses) and its lib folder leads LD_LIBRARY_PATH,
so a run that works shows the driver took that version's client library."""

import os
import subprocess
import unittest
from pathlib import Path

from e2e_support import ENCODING, WorkDir, client, failure_line, isql, quoted

EXEC = os.environ.get("TOLVANE_E2E_EXEC", "")


class Embedded(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        if not Path(EXEC).is_file():
            raise AssertionError(f"tolvane-exec not found at '{EXEC}' (set TOLVANE_E2E_EXEC)")
        cls.work = WorkDir.make(cls.__name__)
        cls.failures = cls.work / "failures"
        cls.failures.mkdir()
        cls.path = str(cls.work / "embedded.fdb")
        isql(f"CREATE DATABASE {quoted(cls.path)} USER 'SYSDBA';\n"
             "CREATE TABLE E (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20));\nCOMMIT;\n", embedded=True)

    def tolvane_exec(self, script: bytes, *options):
        env = client().library_env(UDFTOLVANE_FAILURE_DIR=str(self.failures))
        return subprocess.run([EXEC, "--database", self.path, *options, "-"], input=script,
                              capture_output=True, env=env, timeout=120)

    def test_a_script_runs_and_its_failing_line_is_listed(self):
        script = b"INSERT INTO E VALUES (1, 'one')\r\nINSERT INTO E VALUES (1, 'again')\r\n" \
                 b"INSERT INTO E VALUES (2, 'two')\r\n"
        done = self.tolvane_exec(script, "--segment-size", "7", "--report", "none")

        # 3: the result is "ok" but a statement failed.
        self.assertEqual((done.returncode, done.stdout), (3, b"ok\n"), done.stderr)
        expected = failure_line(b"INSERT INTO E VALUES (1, 'again')", self.path)
        self.assertEqual((self.failures / "TESTE1.TXT").read_bytes(), expected)
        self.assertIn(b"TESTE1.TXT: INSERT INTO E VALUES (1, 'again') - ", done.stderr)
        rows = isql(f"SET LIST ON;\nCONNECT {quoted(self.path)} USER 'SYSDBA';\n"
                    "SELECT ID || ':' || NAME AS V FROM E ORDER BY ID;\n", embedded=True).stdout
        self.assertIn("1:one", rows)
        self.assertIn("2:two", rows)
        self.assertNotIn("again", rows)

    def test_a_script_file_read_in_segments_runs_every_line_once(self):
        # Lines longer than a segment, and a break split across two segments.
        lines = [f"INSERT INTO E VALUES ({n}, '{'x' * (n % 17)}')".encode() for n in range(100, 160)]
        script_file = self.work / "segments.sql"
        script_file.write_bytes(b"\r\n".join(lines) + b"\r\n")
        env = client().library_env(UDFTOLVANE_FAILURE_DIR=str(self.failures))
        for segment in ["1", "7", "65535"]:
            with self.subTest(segment=segment):
                isql(f"CONNECT {quoted(self.path)} USER 'SYSDBA';\nDELETE FROM E WHERE ID >= 100;\n"
                     "COMMIT;\n", embedded=True)
                done = subprocess.run([EXEC, "--database", self.path, "--segment-size", segment,
                                       str(script_file)], capture_output=True, env=env, timeout=120)
                self.assertEqual((done.returncode, done.stdout), (0, b"ok\n"), done.stderr)
                count = isql(f"SET LIST ON;\nCONNECT {quoted(self.path)} USER 'SYSDBA';\n"
                             "SELECT COUNT(*) AS V FROM E WHERE ID >= 100;\n", embedded=True).stdout
                self.assertIn(str(len(lines)), count.split())

    def test_a_run_that_breaks_off_exits_with_one_and_its_text(self):
        env_missing = str(self.work / "missing.fdb")
        done = subprocess.run([EXEC, "--database", env_missing, "-"], input=b"SELECT 1 FROM RDB$DATABASE\n",
                              capture_output=True, timeout=120,
                              env=client().library_env(UDFTOLVANE_FAILURE_DIR=str(self.failures)))
        self.assertEqual(done.returncode, 1)
        self.assertTrue(done.stdout.decode(ENCODING).endswith("   -    \n"), done.stdout)

    def test_usage_errors_exit_with_two(self):
        for args in [[], ["--database"], ["--database", "x"], ["--database", "x", "--segment-size", "0", "-"],
                     ["--database", "x", "--module", "/nonexistent/UDFTolvane.so", "-"]]:
            with self.subTest(args=args):
                done = subprocess.run([EXEC, *args], input=b"", capture_output=True, timeout=60)
                self.assertEqual(done.returncode, 2, done.stderr)


if __name__ == "__main__":
    unittest.main()
