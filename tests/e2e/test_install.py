"""scripts/install-udf.sh on copies of a server's configuration: the
libraries land side by side, UdfAccess is only reported unless the change is
asked for, and then only that setting changes, with a backup kept."""

import os
import subprocess
import unittest

from e2e_support import BUILD_DIR, PASSWORD, SOURCE_DIR, ServerDatabase, ServerTestCase, WorkDir

SCRIPT = SOURCE_DIR / "scripts" / "install-udf.sh"


def install(*args):
    return subprocess.run(["bash", str(SCRIPT), "--build", str(BUILD_DIR), *args],
                          capture_output=True, text=True, timeout=120,
                          env=dict(os.environ, TOLVANE_BUILD_DIR=str(BUILD_DIR)))


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

    def test_the_udr_kind_declares_the_procedure_and_grants_both_routines(self):
        db = ServerDatabase(self.dir, "grant", declaration=SOURCE_DIR / "sql" / "udftolvane.sql")
        db.run("DROP EXTERNAL FUNCTION EXECUTA_SQL;\nCOMMIT;\n")
        done = install("--kind", "udr", "--no-install", "--database", db.remote, "--password",
                       PASSWORD, "--grant", "TOLVANE_GRANTEE_A", "--grant", "TOLVANE_GRANTEE_B")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(db.values(
            "SELECT TRIM(RDB$USER) || ' ' || TRIM(RDB$RELATION_NAME) AS V FROM RDB$USER_PRIVILEGES "
            "WHERE RDB$USER LIKE 'TOLVANE_GRANTEE_%' AND RDB$PRIVILEGE = 'X' ORDER BY 1"), [
            "TOLVANE_GRANTEE_A EXECUTA_SQL", "TOLVANE_GRANTEE_A TOLVANE_RUN",
            "TOLVANE_GRANTEE_B EXECUTA_SQL", "TOLVANE_GRANTEE_B TOLVANE_RUN"])

        refused = install("--no-install", "--database", db.remote, "--grant", "TOLVANE_GRANTEE_A")
        self.assertNotEqual(refused.returncode, 0)
        self.assertIn("--grant needs --kind udr", refused.stderr)


if __name__ == "__main__":
    unittest.main()
