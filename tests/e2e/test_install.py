"""scripts/install-udf.sh on copies of a server's configuration: the
libraries land side by side, UdfAccess is only reported unless the change is
asked for, and then only that setting changes, with a backup kept."""

import os
import shutil
import subprocess
import unittest
from pathlib import Path

from e2e_support import BUILD_DIR, FB5_TREE, PASSWORD, SOURCE_DIR, ServerDatabase, ServerTestCase, WorkDir

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
    def test_a_firebird_root_names_its_udf_and_udr_folders_and_its_configuration(self):
        # The server's own shipped configuration: UdfAccess = None on Firebird
        # 3 (Debian), the same only as a comment (the default) on Firebird 5.
        shipped = {"fb3": Path("/etc/firebird/3.0"), "fb5": FB5_TREE}[self.server.kind]
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


if __name__ == "__main__":
    unittest.main()
