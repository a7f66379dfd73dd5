"""The Debian package as an administrator meets it: built by the project's
own build, checked by lintian, installed with dpkg, its routines declared
from /usr/share/udftolvane into a database of a private server that loads
modules from the package's folders only, then removed and purged without a
file left behind.

Installing is root's business: where the test is not root it is skipped
(exit 77 as a CTest test), except under CI=true, where it must run.
ManPage needs no root: it holds the manual page to what tolvane-exec
--help offers.
"""

import gzip
import os
import re
import shutil
import subprocess
import sys
import unittest
from pathlib import Path

from e2e_support import (BUILD_DIR, PASSWORD, SKIPPED, SOURCE_DIR, WorkDir, executa_sql_select, isql,
                         quoted, results_in, text_blob)

PACKAGE = "udftolvane"
EXEC = os.environ.get("TOLVANE_E2E_EXEC", str(BUILD_DIR / "bin" / "tolvane-exec"))
FB_DIR = Path("/usr/lib/x86_64-linux-gnu/firebird/3.0")
UDF_DIR = FB_DIR / "UDF"
UDR_DIR = FB_DIR / "plugins" / "udr"
SHARE_DIR = Path("/usr/share/udftolvane")
CONFFILE = Path("/etc/firebird/3.0/udftolvane.conf")
STATE_DIR = BUILD_DIR / "fbserver-package"
FBSERVER = SOURCE_DIR / "scripts" / "fbserver.sh"
MAN_SOURCE = SOURCE_DIR / "docs" / "tolvane-exec.md"
MAN_PAGE = BUILD_DIR / "packaging" / "tolvane-exec.1.gz"


def why_not_run():
    """None when the package test may run here, else the reason it skips."""
    if os.geteuid() == 0:
        return None
    if os.environ.get("CI") == "true":
        raise AssertionError("the package test needs root, and under CI=true it must run: run ctest as root")
    return "skipped: installing the package needs root (run as root, or with CI=true on a throw-away machine)"


def run(args, check=True, **kwargs):
    done = subprocess.run([str(a) for a in args], capture_output=True, text=True, timeout=600, **kwargs)
    if check and done.returncode != 0:
        raise AssertionError(f"{' '.join(map(str, args))} failed ({done.returncode}):\n"
                             f"{done.stdout}\n{done.stderr}")
    return done


def dpkg_state():
    """The package's state as dpkg knows it ("installed", "config-files",
    ...); empty when dpkg knows nothing of it."""
    status = run(["dpkg-query", "-W", "-f=${Status}", PACKAGE], check=False).stdout.split()
    return status[-1] if status else ""


def help_options():
    """Every option line of tolvane-exec --help: '--report json', '--mode M', ..."""
    text = run([EXEC, "--help"]).stdout
    return re.findall(r"^  (--[a-z-]+(?: [A-Za-z|]+)?)(?:\s{2,}|$)", text, re.MULTILINE)


class ManPage(unittest.TestCase):

    def test_every_option_of_the_help_is_an_entry_of_the_page(self):
        options = help_options()
        self.assertGreaterEqual(len(options), 8, "the help text's option lines were not found")
        source = MAN_SOURCE.read_text(encoding="utf-8")
        entries = re.findall(r"^- `([^`]+)`: ", source, re.MULTILINE)
        if not MAN_PAGE.exists():
            self.fail(f"{MAN_PAGE} is not built (cmake --build {BUILD_DIR} --target tolvane_deb_documents)")
        shown = run(["man", "-l", "-"], input=gzip.decompress(MAN_PAGE.read_bytes()).decode(),
                    env=dict(os.environ, MANWIDTH="200", MAN_KEEP_FORMATTING="")).stdout
        # man marks bold with backspaces when it writes to a pipe.
        shown = re.sub(r".\x08", "", shown)
        for option in options:
            with self.subTest(option=option):
                self.assertIn(option, entries)
                # A short tag shares its line with the text that follows it.
                self.assertRegex(shown, rf"(?m)^\s+{re.escape(option)}(?:$|\s{{2}})")


@unittest.skipIf(os.geteuid() != 0 and os.environ.get("CI") != "true",
                 "installing the package needs root")
class Package(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        why = why_not_run()
        if why:
            raise unittest.SkipTest(why)
        cls.work = WorkDir.make("Package")
        cls.deb = cls.build_package()
        cls.files = [line.split()[-1] if not line.startswith("l") else line.split()[-3]
                     for line in run(["dpkg-deb", "-c", cls.deb]).stdout.splitlines()]
        cls.files = [f[1:].rstrip("/") for f in cls.files if f != "./"]
        if dpkg_state() not in ("", "not-installed"):
            raise AssertionError(f"{PACKAGE} is known to dpkg already: purge it first (dpkg --purge {PACKAGE})")
        # A module an administrator put there by hand would be replaced, then
        # removed by the purge: the test touches no such machine.
        present = [f for f in cls.files if os.path.lexists(f) and not os.path.isdir(f)]
        if present:
            raise AssertionError(f"files of the package exist already, the test would replace them: {present}")

    @classmethod
    def build_package(cls):
        run(["cmake", "--build", BUILD_DIR, "--target", "package"])
        version = re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.+)$",
                            (BUILD_DIR / "CMakeCache.txt").read_text(), re.MULTILINE).group(1)
        arch = run(["dpkg", "--print-architecture"]).stdout.strip()
        deb = BUILD_DIR / "package" / f"{PACKAGE}_{version}_{arch}.deb"
        if not deb.is_file():
            raise AssertionError(f"the package target left no {deb}")
        return deb

    def start_server(self):
        env = dict(os.environ, TOLVANE_FB_UDF_DIR=str(UDF_DIR), TOLVANE_FB_UDR_DIR=str(UDR_DIR))
        for name in ("TOLVANE_FB_CONF", "TOLVANE_FB_FAILURE_DIR", "TOLVANE_FB_RUN_LOG_DIR"):
            env.pop(name, None)
        self.addCleanup(self.stop_server)
        run([FBSERVER, "start", "--build", BUILD_DIR, "--state", STATE_DIR], env=env)
        values = dict(line.split("=", 1) for line in (STATE_DIR / "server.env").read_text().splitlines())
        self.assertEqual((values["TOLVANE_FB_UDF_DIR"], values["TOLVANE_FB_UDR_DIR"]), (str(UDF_DIR), str(UDR_DIR)))
        return values["TOLVANE_FB_ADDRESS"]

    @staticmethod
    def stop_server():
        run([FBSERVER, "stop", "--build", BUILD_DIR, "--state", STATE_DIR])

    def installer(self, *args):
        """The package's installer, as the message after install prints it,
        told the private server's configuration instead of the system's."""
        return run([SHARE_DIR / "install-udf.sh", *args, "--conf", STATE_DIR / "root" / "firebird.conf"],
                   env=dict(os.environ, ISC_PASSWORD=PASSWORD))

    def declared_database(self, address, name, kind, *extra):
        """A new database with the routines declared into it by the command
        the message after install prints."""
        path = self.work / f"{name}.fdb"
        path.unlink(missing_ok=True)
        remote = f"{address}:{path}"
        isql(f"CREATE DATABASE {quoted(remote)};\nCREATE TABLE T (ID INTEGER);\nCOMMIT;\n")
        self.installer("--kind", kind, "--database", remote, *extra)
        return str(path), remote

    def test_installed_it_runs_through_both_routines_and_purge_leaves_nothing(self):
        lint = run(["lintian", "--fail-on", "error", self.deb], check=False)
        print(lint.stdout, end="", file=sys.stderr)
        self.assertEqual(lint.returncode, 0, f"lintian:\n{lint.stdout}{lint.stderr}")
        self.assertNotRegex(lint.stdout, r"(?m)^E: ")

        installed = run(["dpkg", "-i", self.deb])
        self.addCleanup(run, ["dpkg", "--purge", PACKAGE], check=False)
        listed = run(["dpkg", "-L", PACKAGE]).stdout.split()
        self.assertEqual(sorted(set(listed) - {"/."}), sorted(self.files))
        # The message names the two steps left to the administrator.
        for kind in ("udr", "legacy"):
            self.assertIn(f"{SHARE_DIR}/install-udf.sh --kind {kind} --database localhost:<database>",
                          installed.stdout)
        self.assertIn(f"UdfAccess = Restrict {UDF_DIR}", installed.stdout)
        server_group = "firebird" if self.group_exists("firebird") else "root"
        self.assertEqual(self.owner(CONFFILE), ("0o640", "root", server_group))
        # Configured before the server's package made the group: the server's
        # files, when they arrive, wake postinst to hand the file over.
        os.chown(CONFFILE, 0, 0)
        run(["dpkg-trigger", "--no-await", "/usr/sbin/firebird"])
        run(["dpkg", "--triggers-only", "--pending"])
        self.assertEqual(self.owner(CONFFILE), ("0o640", "root", server_group))
        run([SOURCE_DIR / "tests" / "module" / "check-runpath.sh", UDR_DIR / "libudftolvane_udr.so",
             UDR_DIR / "libfbdrv.so", UDF_DIR / "UDFTolvane.so", UDF_DIR / "libfbdrv.so", "/usr/bin/tolvane-exec"])

        address = self.start_server()
        path, remote = self.declared_database(address, "udr", "udr", "--with-function")
        sql = "SET LIST ON;\n" + executa_sql_select(text_blob(b"INSERT INTO T VALUES (1)\nINSERT INTO T VALUES (2)\n"),
                                                    quoted(path))
        self.assertEqual(results_in(isql(sql, connect_to=remote).stdout), ["ok"])
        rows = isql("SET LIST ON;\nSELECT COALESCE(LINE_NUMBER, '') || ':' || STATUS AS V FROM TOLVANE_RUN("
                    f"{text_blob(b'INSERT INTO T VALUES (3)' + chr(10).encode() + b'INSERT INTO NOWHERE VALUES (1)')}, "
                    f"{quoted(path)});\nCOMMIT;\nSELECT COUNT(*) AS N FROM T;\n", connect_to=remote).stdout
        self.assertEqual(re.findall(r"(?m)^V\s+(\S+)", rows), ["1:ok", "2:failed", ":result"])
        self.assertRegex(rows, r"(?m)^N\s+3$")
        # The legacy module, from the package's UDF folder.
        udr_remote = remote
        path, remote = self.declared_database(address, "legacy", "legacy")
        sql = "SET LIST ON;\n" + executa_sql_select(text_blob(b"INSERT INTO T VALUES (1)"), quoted(path))
        self.assertEqual(results_in(isql(sql, connect_to=remote).stdout), ["ok"])
        # Taken back by the same commands with --uninstall; the package's files stay.
        for kind, database in (("udr", udr_remote), ("legacy", remote)):
            self.installer("--uninstall", "--kind", kind, "--database", database)
            routines = isql("SET LIST ON;\nSELECT (SELECT COUNT(*) FROM RDB$FUNCTIONS WHERE RDB$FUNCTION_NAME = "
                            "'EXECUTA_SQL') + (SELECT COUNT(*) FROM RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME = "
                            "'TOLVANE_RUN') AS N FROM RDB$DATABASE;\n", connect_to=database).stdout
            self.assertRegex(routines, r"(?m)^N\s+0$")
        self.assertEqual([f for f in self.files if not os.path.lexists(f)], [])
        self.stop_server()
        # The installed tool finds the driver through the package's link.
        path = self.work / "exec.fdb"
        path.unlink(missing_ok=True)
        isql(f"CREATE DATABASE {quoted(str(path))} USER 'SYSDBA';\nCREATE TABLE T (ID INTEGER);\nCOMMIT;\n",
             embedded=True)
        done = run(["/usr/bin/tolvane-exec", "--database", path, "--report", "none", "-"],
                   input="INSERT INTO T VALUES (2)\n", env=dict(os.environ, UDFTOLVANE_FAILURE_DIR=str(self.work)))
        self.assertEqual(done.stdout, "ok\n")

        # Removed: the configuration stays, and only it.
        run(["dpkg", "--remove", PACKAGE])
        self.assertEqual([f for f in self.files if os.path.lexists(f) and not os.path.isdir(f)], [str(CONFFILE)])
        run(["dpkg", "--purge", PACKAGE])
        self.assertEqual([f for f in self.files if os.path.lexists(f) and not os.path.isdir(f)], [])
        # Its own folders go too; the ones it shares with Firebird's packages stay theirs.
        for folder in (SHARE_DIR, Path("/usr/share/doc/udftolvane"), Path("/usr/lib/udftolvane")):
            self.assertFalse(folder.exists(), folder)
        self.assertIn(dpkg_state(), ("", "not-installed"))

    @staticmethod
    def group_exists(name):
        return run(["getent", "group", name], check=False).returncode == 0

    @staticmethod
    def owner(path):
        """Mode, user and group of a file."""
        status = path.stat()
        user = run(["getent", "passwd", str(status.st_uid)]).stdout.split(":")[0]
        group = run(["getent", "group", str(status.st_gid)]).stdout.split(":")[0]
        return oct(status.st_mode & 0o777), user, group


if __name__ == "__main__":
    # As a CTest test: 77 (skipped) where it may not run.
    reason = why_not_run()
    if reason:
        print(reason, flush=True)
        sys.exit(SKIPPED)
    unittest.main(argv=[sys.argv[0], "-v", "Package"])
