"""scripts/install-udf.sh on copies of a server's configuration: the
libraries land side by side, UdfAccess is only reported unless the change is
asked for, and then only that setting changes, with a backup kept; the
password never shows on a command line; a grant gives what it names and no
more; an uninstall takes back the declarations, the files and folders it
made and its unchanged configuration template, and the setting only when
asked."""

import os
import shutil
import stat
import subprocess
import unittest
from pathlib import Path

from e2e_support import BUILD_DIR, PASSWORD, TREE, SOURCE_DIR, ServerDatabase, ServerTestCase, WorkDir

SCRIPT = SOURCE_DIR / "scripts" / "install-udf.sh"
UDR_DECLARATION = SOURCE_DIR / "sql" / "udftolvane_udr.sql"
COUNT_DECLARED = "SELECT COUNT(*) AS V FROM RDB$FUNCTIONS WHERE RDB$FUNCTION_NAME = 'EXECUTA_SQL'"
COUNT_PROCEDURE = "SELECT COUNT(*) AS V FROM RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME = 'TOLVANE_RUN'"
EXECUTE_GRANTS = ("SELECT TRIM(RDB$USER) || ' ' || TRIM(RDB$RELATION_NAME) AS V FROM RDB$USER_PRIVILEGES "
                  "WHERE RDB$PRIVILEGE = 'X' AND RDB$RELATION_NAME IN ('EXECUTA_SQL', 'TOLVANE_RUN') "
                  "AND RDB$USER <> 'SYSDBA' ORDER BY 1")


def install(*args, **env):
    return subprocess.run(["bash", str(SCRIPT), "--build", str(BUILD_DIR), *args],
                          capture_output=True, text=True, timeout=120,
                          env=dict(os.environ, TOLVANE_BUILD_DIR=str(BUILD_DIR), **env))


class InstallUdf(ServerTestCase):

    def setUp(self):
        super().setUp()
        self.dir = WorkDir.make(f"{type(self).__name__}/{self._testMethodName}")
        self.conf = self.dir / "firebird.conf"
        self.conf.write_text(
            "# a comment\nDatabaseAccess = Full\n#UdfAccess = Full\nUdfAccess = None\nRemoteServicePort = 3050\n")
        self.original = self.conf.read_text()
        self.target = self.dir / "udf"

    def test_without_the_flag_the_setting_is_only_reported(self):
        done = install("--dir", str(self.target), "--conf", str(self.conf))
        self.assertEqual(done.returncode, 1, done.stderr)
        self.assertIn(f"UdfAccess = Restrict {self.target}", done.stderr)
        self.assertEqual(self.conf.read_text(), self.original)
        for name in ["UDFTolvane.so", "libfbdrv.so"]:
            self.assertEqual((self.target / name).read_bytes(), (BUILD_DIR / "lib" / name).read_bytes())

    def test_with_the_flag_only_udf_access_changes_and_a_backup_is_kept(self):
        done = install("--dir", str(self.target), "--conf", str(self.conf), "--allow-udf-access")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(self.conf.read_text(),
                         self.original.replace("\nUdfAccess = None", f"\nUdfAccess = Restrict {self.target}"))
        backups = list(self.dir.glob("firebird.conf.udftolvane-backup.*"))
        self.assertEqual([b.read_text() for b in backups], [self.original])

        second = self.dir / "second"
        again = install("--dir", str(second), "--conf", str(self.conf), "--allow-udf-access", "--no-install")
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertIn(f"UdfAccess = Restrict {self.target};{second}\n", self.conf.read_text())
        self.assertEqual(len(list(self.dir.glob("firebird.conf.udftolvane-backup.*"))), 2)

    def test_declaring_twice_leaves_one_working_declaration(self):
        db = ServerDatabase(self.dir, "declare", "DROP EXTERNAL FUNCTION EXECUTA_SQL;")
        lib = str(BUILD_DIR / "lib")
        for _ in range(2):
            done = install("--no-install", "--dir", lib, "--conf", str(self.conf),
                           "--allow-udf-access", "--database", db.remote, "--password", PASSWORD)
            self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(db.call(b""), "ok")

    def test_the_udr_kind_installs_beside_the_driver_and_leaves_udf_access_alone(self):
        udr_dir = self.dir / "udr"
        done = install("--kind", "udr", "--udr-dir", str(udr_dir), "--dir", str(self.target),
                       "--conf", str(self.conf))
        self.assertEqual(done.returncode, 0, done.stderr)
        for name in ["libudftolvane_udr.so", "libfbdrv.so"]:
            self.assertEqual((udr_dir / name).read_bytes(), (BUILD_DIR / "lib" / name).read_bytes())
        self.assertFalse(self.target.exists())
        self.assertEqual(self.conf.read_text(), self.original)

    def test_both_kinds_refuse_to_declare_two_functions_of_one_name(self):
        done = install("--kind", "both", "--database", "/nowhere.fdb", "--dir", str(self.target),
                       "--conf", str(self.conf))
        self.assertNotEqual(done.returncode, 0)
        self.assertIn("only one EXECUTA_SQL", done.stderr)
        self.assertFalse(self.target.exists())
    def test_without_the_flag_a_declared_function_ends_with_a_verdict(self):
        db = ServerDatabase(self.dir, "verdict", "DROP EXTERNAL FUNCTION EXECUTA_SQL;")
        done = install("--dir", str(self.target), "--conf", str(self.conf),
                       "--database", db.remote, "--password", PASSWORD)
        self.assertEqual(done.returncode, 1, done.stderr)
        last = done.stderr.strip().splitlines()[-1]
        self.assertIn(f"EXECUTA_SQL is declared in {db.remote}, but the server cannot load", last)
        self.assertIn(f"until UdfAccess allows {self.target}", last)
        self.assertEqual(db.values(COUNT_DECLARED), ["1"])

    def test_a_refused_login_is_not_an_unreachable_server(self):
        db = ServerDatabase(self.dir, "login")
        rows = [(db.remote, "wrong", "login refused by"),
                ("localhost/1:" + db.path, PASSWORD, "cannot reach")]
        for database, password, said in rows:
            with self.subTest(database=database):
                done = install("--no-install", "--kind", "udr", "--database", database,
                               "--password", password, "--conf", str(self.conf))
                self.assertNotEqual(done.returncode, 0)
                self.assertIn(f"error: {said} {database}", done.stderr)

    def test_uninstall_takes_back_the_declaration_and_files_and_the_setting_only_when_asked(self):
        db = ServerDatabase(self.dir, "uninstall", "DROP EXTERNAL FUNCTION EXECUTA_SQL;")
        common = ["--dir", str(self.target), "--conf", str(self.conf),
                  "--database", db.remote, "--password", PASSWORD]
        self.assertEqual(install("--allow-udf-access", *common).returncode, 0)
        changed = self.conf.read_text()

        self.assertTrue((self.dir / "udftolvane.conf").exists())

        done = install("--uninstall", *common)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("dropped EXECUTA_SQL (legacy)", done.stderr)
        self.assertEqual(db.values(COUNT_DECLARED), ["0"])
        # The folder and the template it made go; the server's file stays.
        self.assertFalse(self.target.exists())
        self.assertFalse((self.dir / "udftolvane.conf").exists())
        self.assertEqual(self.conf.read_text(), changed)

        # A configuration changed since in more than UdfAccess is not put back.
        self.conf.write_text(changed + "DefaultDbCachePages = 2048\n")
        refused = install("--uninstall", "--restore-config", *common)
        self.assertEqual(refused.returncode, 1, refused.stderr)
        self.assertIn("not restored", refused.stderr)
        self.assertEqual(self.conf.read_text(), changed + "DefaultDbCachePages = 2048\n")

        self.conf.write_text(changed)
        done = install("--uninstall", "--restore-config", *common)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(self.conf.read_text(), self.original)
        self.assertEqual(list(self.dir.glob("firebird.conf.udftolvane-backup.*")), [])

    def test_a_udr_uninstall_names_both_routines_and_leaves_nothing_of_its_own(self):
        # Row: what the administrator did to the written configuration, and
        # whether the uninstall may take it away.
        rows = [("", True), ("user = APP_OWNER\n", False)]
        for added, removed in rows:
            with self.subTest(added=added):
                db = ServerDatabase(self.dir, "udr_uninstall", "DROP EXTERNAL FUNCTION EXECUTA_SQL;")
                plugins = self.dir / "root" / "plugins"
                common = ["--kind", "udr", "--udr-dir", str(plugins / "udr"), "--conf", str(self.conf),
                          "--database", db.remote, "--password", PASSWORD]
                done = install("--with-function", *common)
                self.assertEqual(done.returncode, 0, done.stderr)
                written = self.dir / "udftolvane.conf"
                written.write_text(written.read_text() + added)

                done = install("--uninstall", *common)
                self.assertEqual(done.returncode, 0, done.stderr)
                for routine in ["TOLVANE_RUN (udr)", "EXECUTA_SQL (udr)"]:
                    self.assertIn(f"dropped {routine} from {db.remote}", done.stderr)
                self.assertEqual(db.values(COUNT_DECLARED), ["0"])
                self.assertEqual(db.values(COUNT_PROCEDURE), ["0"])
                self.assertFalse((self.dir / "root").exists())
                self.assertEqual(written.exists(), not removed)
                if not removed:
                    self.assertIn(f"left {written}: it differs from the template", done.stderr)
                    written.unlink()

    def test_uninstall_drops_only_this_modules_function(self):
        other = ("DROP EXTERNAL FUNCTION EXECUTA_SQL;\nCOMMIT;\nDECLARE EXTERNAL FUNCTION EXECUTA_SQL "
                 "INTEGER RETURNS INTEGER BY VALUE ENTRY_POINT 'IB_UDF_abs' MODULE_NAME 'ib_udf';")
        rows = [("legacy", {}, 0, "0"),
                ("udr", {"declaration": UDR_DECLARATION}, 0, "0"),
                ("other", {"setup_sql": other}, 1, "1")]
        for name, declared, status, left in rows:
            with self.subTest(declared=name):
                db = ServerDatabase(self.dir, f"drop_{name}", **declared)
                done = install("--uninstall", "--no-install", "--kind", "both",
                               "--database", db.remote, "--password", PASSWORD, "--conf", str(self.conf))
                self.assertEqual(done.returncode, status, done.stderr)
                self.assertEqual(db.values(COUNT_DECLARED), [left])

    def test_a_firebird_root_names_its_udf_and_udr_folders_and_its_configuration(self):
        # The server's own shipped configuration: UdfAccess = None on Firebird
        # 3 (Debian), the same only as a comment (the default) on Firebird 5.
        shipped = Path("/etc/firebird/3.0") if self.server.kind == "fb3" else TREE
        root = self.dir / "firebird"
        root.mkdir()
        for name in ["firebird.conf", "plugins.conf"]:
            shutil.copy(shipped / name, root / name)
        done = install("--firebird-root", str(root), "--kind", "both", "--allow-udf-access")
        self.assertEqual(done.returncode, 0, done.stderr)
        for folder, module in [("UDF", "UDFTolvane.so"), ("plugins/udr", "libudftolvane_udr.so")]:
            self.assertTrue((root / folder / module).is_file(), folder)
            self.assertTrue((root / folder / "libfbdrv.so").is_file(), folder)
        active = [line for line in (root / "firebird.conf").read_text().splitlines()
                  if line.startswith("UdfAccess")]
        self.assertEqual(active, [f"UdfAccess = Restrict {root / 'UDF'}"])


class InstallConfiguration(ServerTestCase):
    """The module's configuration template and the installer's own login."""

    def install(self, *args):
        env = {k: v for k, v in os.environ.items() if k != "ISC_PASSWORD"}
        return subprocess.run(["bash", str(SCRIPT), "--build", str(BUILD_DIR), "--no-install",
                               "--dir", str(BUILD_DIR / "lib"), "--conf", str(self.conf), *args],
                              capture_output=True, text=True, timeout=120, env=env)

    def setUp(self):
        super().setUp()
        self.dir = WorkDir.make(f"{type(self).__name__}/{self._testMethodName}")
        self.conf = self.dir / "firebird.conf"
        self.conf.write_text(f"UdfAccess = Restrict {BUILD_DIR / 'lib'}\n")

    def test_the_template_is_written_once_and_a_password_file_logs_in(self):
        db = ServerDatabase(self.dir, "pwfile", "DROP EXTERNAL FUNCTION EXECUTA_SQL;")
        password_file = self.dir / "SYSDBA.password"
        rows = [('ISC_USER=sysdba\nISC_PASSWORD="wrong"\n', False),
                (f'# as the package writes it\nISC_USER=sysdba\nISC_PASSWORD="{PASSWORD}"\n', True)]
        for text, logs_in in rows:
            with self.subTest(text=text):
                password_file.write_text(text)
                done = self.install("--database", db.remote, "--password-file", str(password_file))
                self.assertEqual(done.returncode == 0, logs_in, done.stderr)
        self.assertEqual(db.call(b""), "ok")

        written = self.dir / "udftolvane.conf"
        self.assertEqual(written.read_bytes(),
                         (SOURCE_DIR / "scripts" / "udftolvane.conf.template").read_bytes())
        self.assertEqual(stat.S_IMODE(written.stat().st_mode), 0o640)
        written.write_text("user = mine\n")
        self.assertEqual(self.install().returncode, 0)
        self.assertEqual(written.read_text(), "user = mine\n")


    def test_grants_give_what_they_say_and_no_password_reaches_a_command_line(self):
        # Every isql the installer starts leaves its command line here.
        tools = self.dir / "tools"
        tools.mkdir()
        command_lines = self.dir / "command-lines"
        (tools / "isql-fb").write_text(
            f"#!/bin/sh\nprintf '%s\\n' \"$*\" >>{command_lines}\nexec {shutil.which('isql-fb')} \"$@\"\n")
        (tools / "isql-fb").chmod(0o755)
        path = f"{tools}:{os.environ['PATH']}"

        db = ServerDatabase(self.dir, "grant", "DROP EXTERNAL FUNCTION EXECUTA_SQL;")
        udr = ["--kind", "udr", "--no-install", "--conf", str(self.conf), "--database", db.remote,
               "--password", PASSWORD]
        # Names that would end the GRANT early, or add one of their own, are
        # taken as the names they are.
        # ("TO USER U1, PUBLIC" grants to everyone; names are 31 bytes at most.)
        hostile = "TOLVANE_U1, PUBLIC"
        quote = 'O"Gr; -- x'
        done = install(*udr, "--grant", "TOLVANE_GRANTEE_A", "--grant", hostile, "--grant", quote, PATH=path)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("granted EXECUTE on TOLVANE_RUN to TOLVANE_GRANTEE_A", done.stderr)
        self.assertIn("EXECUTA_SQL not declared", done.stderr)
        self.assertEqual(db.values(COUNT_DECLARED), ["0"])
        self.assertEqual(db.values(EXECUTE_GRANTS),
                         sorted([f"{quote} TOLVANE_RUN", f"{hostile} TOLVANE_RUN", "TOLVANE_GRANTEE_A TOLVANE_RUN"]))

        # The function is its own option, and says what it gives.
        done = install(*udr, "--grant-function", "TOLVANE_ADMIN", PATH=path)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("granted EXECUTE on EXECUTA_SQL to TOLVANE_ADMIN: FULL ADMINISTRATOR RIGHTS", done.stderr)
        self.assertEqual(db.values(COUNT_DECLARED), ["1"])
        self.assertEqual(db.values(EXECUTE_GRANTS),
                         sorted([f"{quote} TOLVANE_RUN", f"{hostile} TOLVANE_RUN", "TOLVANE_ADMIN EXECUTA_SQL",
                                 "TOLVANE_GRANTEE_A TOLVANE_RUN"]))

        lines = command_lines.read_text()
        self.assertIn(db.remote, lines)
        self.assertNotIn(PASSWORD, lines)

        refused = [(["--no-install", "--conf", str(self.conf), "--database", db.remote,
                     "--grant", "TOLVANE_GRANTEE_A"], "need --kind udr"),
                   ([*udr, "--grant", "TOLVANE\nGRANTEE"], "control character")]
        for args, said in refused:
            with self.subTest(args=args):
                done = install(*args)
                self.assertNotEqual(done.returncode, 0)
                self.assertIn(said, done.stderr)

    def test_the_udr_function_is_declared_when_a_module_login_is_configured(self):
        db = ServerDatabase(self.dir, "login", "DROP EXTERNAL FUNCTION EXECUTA_SQL;")
        (self.dir / "udftolvane.conf").write_text("user = SYSDBA\npassword_file = /nonexistent\n")
        done = install("--kind", "udr", "--no-install", "--conf", str(self.conf), "--database",
                       db.remote, "--password", PASSWORD)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(db.values(COUNT_DECLARED), ["1"])
        self.assertEqual(db.values(COUNT_PROCEDURE), ["1"])
        # Its twin with an options text takes the same login: declared with
        # it, dropped with it.
        count_exec = ("SELECT COUNT(*) AS V FROM RDB$FUNCTIONS "
                      "WHERE RDB$FUNCTION_NAME = 'TOLVANE_EXEC'")
        self.assertEqual(db.values(count_exec), ["1"])
        done = install("--uninstall", "--kind", "udr", "--no-install", "--conf", str(self.conf),
                       "--database", db.remote, "--password", PASSWORD)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("dropped TOLVANE_EXEC (udr)", done.stderr)
        self.assertEqual(db.values(count_exec), ["0"])

    def test_history_makes_the_table_a_run_under_an_id_writes(self):
        db = ServerDatabase(self.dir, "history", "DROP EXTERNAL FUNCTION EXECUTA_SQL;")
        args = ["--kind", "udr", "--no-install", "--conf", str(self.conf), "--database", db.remote,
                "--password", PASSWORD, "--history"]
        done = install(*args)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("created TOLVANE$HISTORY", done.stderr)
        again = install(*args)
        self.assertIn("TOLVANE$HISTORY is already in", again.stderr)
        # Every column the module writes is there: the run records itself.
        ran = db.run("SELECT MESSAGE FROM TOLVANE_RUN(CAST('CREATE TABLE H1 (A INTEGER)' AS BLOB SUB_TYPE TEXT), "
                     "NULL, 'once=i1') WHERE STATUS = 'result';").stdout
        self.assertIn("ok", ran)
        self.assertEqual(db.values("SELECT STATUS || ' ' || OK_COUNT AS V FROM TOLVANE$HISTORY WHERE ATTEMPT > 0"),
                         ["applied 1"])
        self.assertIn("--history needs --database", install("--no-install", "--conf", str(self.conf),
                                                            "--history").stderr)


if __name__ == "__main__":
    unittest.main()
