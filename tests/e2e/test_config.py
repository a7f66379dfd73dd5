"""udftolvane.conf inside the private server: the login it names, the
allow-list against every spelling of a target, the security database denied,
each kind of bad file, and a change applying to the next call. The server
reads the file named by TOLVANE_FB_CONF (its UDFTOLVANE_CONF) on every call;
each test writes it and removes it again."""

import json
import os
import subprocess
import unittest

from e2e_support import SOURCE_DIR, ServerDatabase, ServerTestCase, client

EXEC = os.environ.get("TOLVANE_E2E_EXEC", "")

ADMIN = "TOLVANE_CONF_ADMIN"
ADMIN_PASSWORD = "pw-from-conf"


class ModuleConfiguration(ServerTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.conf = cls.server.conf_file
        cls.conf.unlink(missing_ok=True)
        for folder in ("allowed", "outside"):
            (cls.work / folder).mkdir()
        cls.db = ServerDatabase(cls.work / "allowed", "caller",
                                "CREATE TABLE WHO (NAME VARCHAR(63));\n"
                                f"CREATE OR ALTER USER {ADMIN} PASSWORD '{ADMIN_PASSWORD}';\n"
                                f"COMMIT;\nGRANT ALL ON WHO TO {ADMIN};")
        cls.outside = ServerDatabase(cls.work / "outside", "target")
        (cls.work / "allowed" / "link").symlink_to(cls.work / "outside")
        # An alias of the server pointing outside the list.
        cls.aliases = cls.server.root_dir / "databases.conf"
        cls.aliases_text = cls.aliases.read_text()
        cls.aliases.write_text(cls.aliases_text + f"\ntolvane_outside = {cls.outside.path}\n"
                                                  f"tolvane_inside = {cls.db.path}\n")

    @classmethod
    def tearDownClass(cls):
        cls.conf.unlink(missing_ok=True)
        cls.aliases.write_text(cls.aliases_text)
        cls.db.run(f"DROP USER {ADMIN};\nCOMMIT;\n", check=False)
        super().tearDownClass()

    def tearDown(self):
        if self.conf.is_dir():
            self.conf.rmdir()
        self.conf.unlink(missing_ok=True)

    def configure(self, text: str, mode: int = 0o600):
        self.conf.unlink(missing_ok=True)
        self.conf.write_text(text)
        os.chmod(self.conf, mode)

    def call(self, path: str, script: bytes = b"") -> str:
        return self.db.call(script, path)

    def test_the_login_comes_from_the_file(self):
        insert = b"INSERT INTO WHO VALUES (CURRENT_USER)"
        local = f"{self.server.address}:{self.db.path}"
        self.assertEqual(self.call(local, insert), "ok")
        self.configure(f"user = {ADMIN}\npassword = {ADMIN_PASSWORD}\n")
        self.assertEqual(self.call(local, insert), "ok")
        self.configure("password = not-the-password\n")
        refused = self.call(local, insert)
        self.assertIn("user name and password are not defined", refused)
        self.assertEqual(self.db.values("SELECT NAME AS V FROM WHO ORDER BY NAME"),
                         ["SYSDBA", ADMIN])

    def test_the_allow_list_holds_for_every_spelling(self):
        allowed = self.work / "allowed"
        self.configure(f"allowed_databases = {allowed}/ ; tolvane_inside\n", 0o644)
        rows = [
            (self.db.path, None),
            (f"{self.server.address}:{allowed}/./caller.fdb", None),
            ("tolvane_inside", None),
            (self.outside.path, "is not admitted by allowed_databases"),
            (f"{allowed}/../outside/target.fdb", "is not admitted by allowed_databases"),
            (f"localhost:{allowed}/link/target.fdb", "is not admitted by allowed_databases"),
            ("tolvane_outside", "is not admitted by allowed_databases"),
            ("elsewhere.invalid:/x.fdb", "names another server"),
        ]
        for path, refusal in rows:
            with self.subTest(path=path):
                result = self.call(path)
                if refusal is None:
                    self.assertEqual(result, "ok")
                else:
                    self.assertIn(refusal, result)
                    self.assertIn(f"(Configuration {self.conf}, line 1)", result)
        self.assertFailureFiles({})

    def test_the_security_database_is_denied(self):
        security = self.server.security_db
        (self.work / "outside" / "sec").unlink(missing_ok=True)
        (self.work / "outside" / "sec").symlink_to(security)
        self.configure("deny_security_database = yes\n", 0o644)
        around = os.path.relpath(security, self.work / "outside")
        for path in (str(security), f"localhost:{self.work}/outside/sec",
                     f"{self.server.address}:{self.work}/outside/{around}"):
            with self.subTest(path=path):
                self.assertIn("is the server's security database", self.call(path))
        self.assertEqual(self.call(self.outside.path), "ok")

    def test_each_bad_file_fails_every_call_with_its_reason(self):
        rows = [
            ("usr = x\n", 0o600, "line 1: unknown setting 'usr'"),
            ("\nlock_timeout = soon\n", 0o600, "line 2: Bad value 'soon' for option lock_timeout"),
            ("user = x\n", 0o666, "refused: others can write it (mode 0666)"),
            ("password = x\n", 0o604, "refused: it holds a password that others can read"),
            ("password_file = /nonexistent/pw\n", 0o600, "password_file /nonexistent/pw:"),
        ]
        for text, mode, reason in rows:
            with self.subTest(text=text):
                self.configure(text, mode)
                result = self.call(self.db.path)
                self.assertIn(f"Configuration {self.conf}", result)
                self.assertIn(reason, result)
        self.conf.unlink()
        self.conf.mkdir()  # there, but no file to read
        self.assertIn("is not a regular file", self.call(self.db.path))
        self.conf.rmdir()
        self.assertEqual(self.call(self.db.path), "ok")  # the next call reads no file
        # The installer's template, every setting commented out, changes nothing.
        self.configure((SOURCE_DIR / "scripts" / "udftolvane.conf.template").read_text(), 0o640)
        self.assertEqual(self.call(self.db.path), "ok")
        self.assertTrue(self.server.answers())

    def test_the_run_log_folder_comes_from_the_file(self):
        logs = self.work / "logs"
        logs.mkdir(exist_ok=True)
        self.configure(f"run_log_dir = {logs}\ndefault_options = mode=atomic\n"
                       f"allowed_databases = {self.work / 'allowed'}/\n")
        self.assertEqual(self.call(self.db.path, b"SELECT 1 FROM RDB$DATABASE"), "ok")
        ran = self.logs_in(logs)
        self.assertEqual([list(r) for r in ran], [["run"], ["statement"], ["transaction"], ["summary"]])
        self.assertEqual({k: ran[0]["run"][k] for k in ("routine", "user", "options", "identity")},
                         {"routine": "EXECUTA_SQL", "user": None,
                          "options": "mode=atomic;dialect=lines;failure_files=on",
                          "identity": {"user": "SYSDBA", "role": "RoleName"}})
        self.assertEqual((ran[1]["statement"]["status"], ran[2]["transaction"]["end"],
                          ran[2]["transaction"]["statements"], ran[3]["summary"]["ok"]),
                         ("done", "commit", 1, 1))
        # A refused call leaves its record, and a target made to look like
        # records stays one JSON string.
        forged = self.outside.path + '\n{"summary":{"result":"ok"}}'
        self.assertIn("Run refused", self.call(forged, b"SELECT 1 FROM RDB$DATABASE"))
        refused = self.logs_in(logs)
        self.assertEqual([list(r) for r in refused], [["run"], ["summary"]])
        self.assertEqual(refused[0]["run"]["database"], forged)
        self.assertIn("cannot admit it", refused[1]["summary"]["result"])

    @staticmethod
    def logs_in(folder):
        """The records of the one log in folder, which is emptied."""
        files = list(folder.glob("udftolvane-*.jsonl"))
        if len(files) != 1:
            raise AssertionError(f"{len(files)} run logs in {folder}")
        text = files[0].read_text()
        files[0].unlink()
        return [json.loads(line) for line in text.splitlines()]


class ExecConfiguration(ServerTestCase):
    """tolvane-exec reads a configuration as the module does, logs in as its
    flags, ISC_USER / ISC_PASSWORD or the file say, and shows where each
    setting came from."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        if not EXEC or not os.path.exists(EXEC):
            raise AssertionError(f"tolvane-exec not found at '{EXEC}' (set TOLVANE_E2E_EXEC)")
        cls.work.chmod(0o755)
        (cls.work / "allowed").mkdir(mode=0o755)
        cls.db = ServerDatabase(cls.work, "exec_login",
                                "CREATE TABLE WHO (NAME VARCHAR(63));\n"
                                f"CREATE OR ALTER USER {ADMIN} PASSWORD '{ADMIN_PASSWORD}';\n"
                                f"COMMIT;\nGRANT ALL ON WHO TO {ADMIN};")

    @classmethod
    def tearDownClass(cls):
        cls.db.run(f"DROP USER {ADMIN};\nCOMMIT;\n", check=False)
        super().tearDownClass()

    def write(self, name: str, text: str, mode: int = 0o600) -> str:
        path = self.work / name
        path.unlink(missing_ok=True)
        path.write_text(text)
        path.chmod(mode)
        return str(path)

    def exec(self, *args, script: bytes = b"", **env):
        base = {k: v for k, v in client().library_env().items() if k not in ("ISC_USER", "ISC_PASSWORD")}
        return subprocess.run([EXEC, *args], input=script, capture_output=True, timeout=120,
                              env=dict(base, **env))

    def test_the_login_comes_from_the_flags_the_environment_or_the_file(self):
        insert = b"INSERT INTO WHO VALUES (CURRENT_USER)"
        conf = self.write("login.conf", f"user = {ADMIN}\npassword = {ADMIN_PASSWORD}\n")
        right = self.write("right.pw", ADMIN_PASSWORD + "\n")
        wrong = self.write("wrong.pw", "not-the-password\n")
        rows = [
            # (arguments, environment, result)
            (["--config", conf], {}, "ok"),
            (["--no-config", "--user", ADMIN, "--password-file", right], {}, "ok"),
            (["--no-config"], {"ISC_USER": ADMIN, "ISC_PASSWORD": ADMIN_PASSWORD}, "ok"),
            # The flag wins over the variable, the variable over the file.
            (["--config", conf, "--password-file", wrong], {}, "user name and password are not defined"),
            (["--config", conf], {"ISC_PASSWORD": "not-the-password"}, "user name and password are not defined"),
        ]
        for args, env, result in rows:
            with self.subTest(args=args, env=env):
                done = self.exec("--database", self.db.remote, *args, "-", script=insert, **env)
                self.assertIn(result, done.stdout.decode(), done.stderr.decode())
                self.assertEqual(done.returncode, 0 if result == "ok" else 1)
        self.assertEqual(self.db.values("SELECT NAME AS V FROM WHO"), [ADMIN] * 3)

    def test_the_target_rules_and_the_failure_folder_of_the_file_hold(self):
        failures = self.work / "failures"
        failures.mkdir(exist_ok=True)
        conf = self.write("rules.conf", f"allowed_databases = {self.work / 'allowed'}/\n"
                                        f"failure_dir = {failures}\n", 0o644)
        done = self.exec("--config", conf, "--database", self.db.remote, "-", script=b"SELECT 1 FROM RDB$DATABASE")
        self.assertEqual(done.returncode, 1)
        self.assertIn("allowed_databases", done.stdout.decode())
        conf = self.write("rules.conf", f"failure_dir = {failures}\n", 0o644)
        done = self.exec("--config", conf, "--database", self.db.remote, "--report", "none", "-",
                         script=b"SELEC 1")
        self.assertEqual(done.returncode, 3, done.stderr.decode())
        self.assertTrue((failures / "TESTE0.TXT").exists())
        # A configuration others may write is refused, as the module refuses it.
        conf = self.write("open.conf", "failure_dir = /tmp\n", 0o666)
        done = self.exec("--config", conf, "--database", self.db.remote, "-", script=b"")
        self.assertEqual(done.returncode, 2)
        self.assertIn("--no-config", done.stderr.decode())

    def test_show_settings_names_where_each_value_came_from(self):
        conf = self.write("show.conf", f"failure_dir = {self.work}\npassword = secret-pw\nlock_timeout = 4\n")
        done = self.exec("--show-settings", "--config", conf, "--mode", "batch",
                         TOLVANE_LOCK_TIMEOUT="9")
        self.assertEqual(done.returncode, 0, done.stderr.decode())
        lines = done.stdout.decode().splitlines()
        for line in [f"option:--config\tconfiguration={conf}",
                     f"file:{conf}:1\tfailure_dir={self.work}",
                     "env:TOLVANE_LOCK_TIMEOUT\tlock_timeout=9",
                     "option:command line\tmode=batch",
                     f"file:{conf}:2\tpassword=(given)",
                     "default\tconnect_timeout=30"]:
            self.assertIn(line, lines)
        self.assertNotIn("secret-pw", done.stdout.decode())


if __name__ == "__main__":
    unittest.main()
