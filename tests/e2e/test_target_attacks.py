"""What a hostile user of the server tries against the module's rules, in the
private server: a second name (hard link) of the security database, a link
swapped between the check and the attach, a configuration file someone else
could have written, and a module login that tries to step up to SYSDBA."""

import os
import pwd
import shutil
import tempfile
import threading
import time
import unittest

from e2e_support import SOURCE_DIR, ServerDatabase, ServerTestCase, quoted, results_in, text_blob
from test_procedure import parse_rows, select_rows

UDR_DECLARATION = SOURCE_DIR / "sql" / "udftolvane_udr.sql"
LOGIN = ("TOLVANE_ATTACK_U1", "u1-secret")
INTRUDER = "TOLVANE_ATTACK_INTRUDER"
RACE_SECONDS = 20
CALLS_PER_SELECT = 200


def step_up(path: str) -> bytes:
    """A script line that asks for SYSDBA's identity without its password."""
    return ("EXECUTE BLOCK AS BEGIN EXECUTE STATEMENT 'INSERT INTO T VALUES (CURRENT_USER)' "
            f"ON EXTERNAL '{path}' AS USER 'SYSDBA'; END").encode()


class TargetAttacks(ServerTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.conf = cls.server.conf_file
        cls.conf.unlink(missing_ok=True)
        cls.allowed, cls.outside = cls.work / "allowed", cls.work / "outside"
        for folder in (cls.allowed, cls.outside):
            folder.mkdir()
        table = (f"CREATE TABLE T (WHO VARCHAR(63));\nCREATE OR ALTER USER {LOGIN[0]} "
                 f"PASSWORD '{LOGIN[1]}';\nCOMMIT;\nGRANT ALL ON T TO {LOGIN[0]};\n")
        cls.home = ServerDatabase(cls.allowed, "home", table)
        cls.proc = ServerDatabase(cls.allowed, "proc", table, declaration=UDR_DECLARATION)
        cls.victim = ServerDatabase(cls.outside, "victim", "CREATE TABLE T (WHO VARCHAR(63));")
        cls.password_file = cls.work / "u1.password"
        cls.password_file.write_text(LOGIN[1] + "\n")
        os.chmod(cls.password_file, 0o600)

    @classmethod
    def tearDownClass(cls):
        cls.conf.unlink(missing_ok=True)
        if hasattr(cls, "home"):
            cls.home.run(f"DROP USER {LOGIN[0]};\nDROP USER {INTRUDER};\nCOMMIT;\n", check=False)
        super().tearDownClass()

    def tearDown(self):
        self.conf.unlink(missing_ok=True)

    def configure(self, text: str, mode: int = 0o600):
        self.conf.unlink(missing_ok=True)
        self.conf.write_text(text)
        os.chmod(self.conf, mode)

    def procedure(self, script: bytes, path: str) -> str:
        rows = parse_rows(self.proc.run(select_rows(text_blob(script), quoted(path))).stdout)
        return " | ".join(f"{r['status']}: {r['message']}" for r in rows)

    def intruders(self):
        return self.home.values(f"SELECT COUNT(*) AS V FROM SEC$USERS WHERE SEC$USER_NAME = '{INTRUDER}'")

    def test_a_second_name_of_the_security_database_is_refused(self):
        security = self.server.security_db
        link = self.allowed / "second-name.fdb"
        link.unlink(missing_ok=True)
        os.link(security, link)
        self.addCleanup(link.unlink)
        # A security database that no login has opened: one an alias names.
        closed = ServerDatabase(self.outside, "closed-security")
        closed_link = self.allowed / "closed-name.fdb"
        os.link(closed.path, closed_link)
        self.addCleanup(closed_link.unlink)
        aliases = self.server.root_dir / "databases.conf"
        aliases_text = aliases.read_text()
        self.addCleanup(aliases.write_text, aliases_text)
        aliases.write_text(aliases_text + f"\ntolvane_attack = {self.outside}/unused.fdb\n{{\n"
                                          f"  SecurityDatabase = {closed.path}\n}}\n")
        create = f"CREATE USER {INTRUDER} PASSWORD 'x'".encode()
        rows = [
            ("deny_security_database = yes\n", "deny_security_database"),
            (f"allowed_databases = {self.allowed}/\n", "allowed_databases"),
        ]
        for text, rule in rows:
            for path in (str(link), str(closed_link)):
                with self.subTest(rule=rule, path=path):
                    self.configure(text + "procedure_identity = module\n")
                    for result in (self.home.call(create, path), self.procedure(create, path)):
                        self.assertIn("names (hard links)", result)
                        self.assertIn(f"{rule} (Configuration {self.conf}, line 1) admits only "
                                      "a file with one name", result)
        self.assertEqual(self.intruders(), ["0"])
        self.assertFailureFiles({})

    def test_a_link_swapped_between_check_and_attach_reaches_nothing_outside(self):
        self.configure(f"allowed_databases = {self.allowed}/\n")
        swing = self.allowed / "swing.fdb"
        swing.symlink_to(self.home.path)
        self.addCleanup(swing.unlink)
        stop = threading.Event()

        def swap():
            turn = 0
            while not stop.is_set():
                turn += 1
                spare = self.allowed / "swing.next"
                spare.unlink(missing_ok=True)
                spare.symlink_to(self.victim.path if turn % 2 else self.home.path)
                os.replace(spare, swing)

        swapper = threading.Thread(target=swap)
        swapper.start()
        results = []
        try:
            calls = (f"WITH RECURSIVE N (I) AS (SELECT 1 FROM RDB$DATABASE UNION ALL "
                     f"SELECT I + 1 FROM N WHERE I < {CALLS_PER_SELECT}) "
                     f"SELECT '<<<' || EXECUTA_SQL({text_blob(b'INSERT INTO T VALUES (1)')}, "
                     f"{quoted(str(swing))}) || '>>>' AS R FROM N;\n")
            deadline = time.monotonic() + RACE_SECONDS
            while time.monotonic() < deadline:
                results += results_in(self.home.run(calls).stdout)
        finally:
            stop.set()
            swapper.join()
        caught = sum("is not the file admitted" in r for r in results)
        print(f"{len(results)} runs: {results.count('ok')} ok, {caught} caught after the attach",
              flush=True)
        self.assertEqual(self.victim.values("SELECT COUNT(*) AS V FROM T"), ["0"])
        self.assertGreater(results.count("ok"), 0)
        self.assertGreater(caught, 0, "the swap never fell between the check and the attach")

    def test_a_configuration_others_could_have_written_is_refused(self):
        ordinary = 1000
        firebird = pwd.getpwnam("firebird").pw_uid
        # A file of procedure_identity = module: accepted, it would make every
        # caller's run SYSDBA's.
        takeover = "procedure_identity = module\n"
        evil = tempfile.mkdtemp(prefix="tolvane_evil_")
        self.addCleanup(shutil.rmtree, evil)
        os.chmod(evil, 0o1777)
        planted = os.path.join(evil, "udftolvane.conf")
        with open(planted, "w") as out:
            out.write(takeover)
        os.chown(planted, ordinary, ordinary)
        os.chmod(planted, 0o644)
        state = self.conf.parent
        state_mode = state.stat().st_mode & 0o7777
        self.addCleanup(os.chmod, state, state_mode)

        def owned_by(uid):
            return lambda: (self.configure(takeover, 0o644), os.chown(self.conf, uid, -1))

        def group_writable():
            self.configure(takeover)
            os.chmod(self.conf, 0o664)

        def linked():
            self.conf.symlink_to(planted)

        def in_open_folder():
            self.configure(takeover)
            os.chmod(state, 0o1777)

        def password_file_of(uid):
            def plant():
                os.chown(self.password_file, uid, -1)
                self.configure(f"user = {LOGIN[0]}\npassword_file = {self.password_file}\n")
            return plant

        rows = [
            (owned_by(ordinary), f"refused: it belongs to user {ordinary}, not to root or the "
                                 f"server's user ({os.geteuid()})"),
            (owned_by(firebird), f"refused: it belongs to user {firebird}"),
            (group_writable, "refused: its group can write it (mode 0664)"),
            (linked, "refused: it is a symbolic link"),
            (in_open_folder, f"refused: folder {state} on the way to it can be written by "
                             "others (mode 1777)"),
            (password_file_of(ordinary), f"line 2: password_file {self.password_file} is refused: "
                                         f"it belongs to user {ordinary}"),
        ]
        counts = [database.values("SELECT COUNT(*) AS V FROM T") for database in (self.home, self.proc)]
        try:
            for plant, reason in rows:
                with self.subTest(reason=reason):
                    plant()
                    for result in (self.home.call(b"INSERT INTO T VALUES (CURRENT_USER)"),
                                   self.procedure(b"INSERT INTO T VALUES (CURRENT_USER)",
                                                  self.proc.path)):
                        self.assertIn(f"Configuration {self.conf}", result)
                        self.assertIn(reason, result)
                    os.chmod(state, state_mode)
                    os.chown(self.password_file, 0, -1)
                    self.conf.unlink(missing_ok=True)
        finally:
            os.chown(self.password_file, 0, -1)
        self.assertEqual([database.values("SELECT COUNT(*) AS V FROM T")
                          for database in (self.home, self.proc)], counts, "a refused file ran")

    def test_a_module_login_of_its_own_cannot_step_up(self):
        for database in (self.home, self.proc):
            database.run("DELETE FROM T;\nCOMMIT;\n")
        self.configure(f"user = {LOGIN[0]}\npassword_file = {self.password_file}\n"
                       "procedure_identity = module\n")
        mine = b"INSERT INTO T VALUES (CURRENT_USER)"
        self.assertEqual(self.home.call(mine + b"\n" + step_up(self.home.path)), "ok")
        self.assertEqual(sorted(self.server.failure_files()), ["TESTE1.TXT"])
        rows = self.procedure(mine + b"\n" + step_up(self.proc.path), self.proc.path)
        self.assertTrue(rows.startswith("ok: None | failed: "), rows)
        self.assertIn("user name and password are not defined", rows)
        for database in (self.home, self.proc):
            self.assertEqual(database.values("SELECT WHO AS V FROM T"), [LOGIN[0]])
            database.run("DELETE FROM T;\nCOMMIT;\n")
        # The password is checked: a wrong one runs nothing.
        self.password_file.write_text("not-the-password\n")
        self.addCleanup(self.password_file.write_text, LOGIN[1] + "\n")
        self.assertIn("user name and password are not defined", self.home.call(mine))
        self.assertEqual(self.home.values("SELECT COUNT(*) AS V FROM T"), ["0"])


if __name__ == "__main__":
    unittest.main()
