"""The examples of README.md and docs/*.md marked runnable, run as a reader
would run them, so that the pages cannot go stale.

A fence's info string marks an example: "sh runnable" runs with bash in a
scratch folder of the page's own ("sh runnable exit=N" expects status N),
"sql runnable" runs through isql on a database of the page's own on the
private server, with the UDR routines declared, in isql's SET LIST ON. A "text output" fence right
after one holds lines that must appear in its output, in that order, runs of
blanks counting as one. Before running, the data folder of Debian's server
becomes the page's folder and "localhost:" the private server's address.
"""

import os
import re
import subprocess
import unittest
from pathlib import Path

from e2e_support import BUILD_DIR, PASSWORD, SOURCE_DIR, WorkDir, client, isql, quoted, server

EXEC = Path(os.environ.get("TOLVANE_E2E_EXEC", BUILD_DIR / "bin" / "tolvane-exec"))
PAGES = [SOURCE_DIR / "README.md", *sorted((SOURCE_DIR / "docs").glob("*.md"))]
FENCE = re.compile(r"^```(\S*)(.*)$")
DATA_FOLDER = "/var/lib/firebird/3.0/data/"
# [text](target#anchor) links; the target may be empty (the page itself).
LINK = re.compile(r"\]\(([^)#\s]*)(?:#([^)\s]+))?\)")


class Example:
    def __init__(self, page, line, language, flags, text):
        self.page, self.line, self.language, self.flags, self.text = page, line, language, flags, text
        self.runnable = "runnable" in flags
        status = re.search(r"\bexit=(\d+)", flags)
        self.exit_status = int(status.group(1)) if status else 0
        self.output = None

    def __str__(self):
        return f"{self.page.name}:{self.line}"


def examples(page):
    """The fenced blocks of a page, in order, each runnable one with the
    output block that follows it."""
    found, lines, at = [], page.read_text(encoding="utf-8").splitlines(), 0
    while at < len(lines):
        opening = FENCE.match(lines[at].strip())
        if opening is None:
            at += 1
            continue
        indent = len(lines[at]) - len(lines[at].lstrip())
        language, flags = opening.group(1), opening.group(2)
        end = at + 1
        while end < len(lines) and lines[end].strip() != "```":
            end += 1
        text = "\n".join(line[indent:] for line in lines[at + 1:end]) + "\n"
        block = Example(page, at + 1, language, flags, text)
        if language == "text" and "output" in flags and found and found[-1].runnable:
            found[-1].output = text
        else:
            found.append(block)
        at = end + 1
    return found


def squeezed(text):
    return re.sub(r"[ \t]+", " ", text).strip()


class Docs(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.server = server()
        cls.root = WorkDir.make("Docs")

    def page_setting(self, page):
        """The page's scratch folder, its database and how its examples'
        paths are read."""
        folder = self.root / page.stem
        folder.mkdir()
        (folder / "failures").mkdir()
        database = folder / "work.fdb"
        isql(f"CREATE DATABASE {quoted(f'{self.server.address}:{database}')};\n"
             f"INPUT {quoted(str(SOURCE_DIR / 'sql' / 'udftolvane_udr.sql'))};\nCOMMIT;\n")
        return folder, database

    def localised(self, text, folder):
        text = text.replace(DATA_FOLDER, f"{folder}/")
        return re.sub(r"\blocalhost:", f"{self.server.address}:", text)

    def run_example(self, example, folder, database):
        script = self.localised(example.text, folder)
        if example.language == "sh":
            env = client().library_env(
                PATH=f"{EXEC.parent}:{os.environ['PATH']}", ISC_USER="SYSDBA", ISC_PASSWORD=PASSWORD,
                UDFTOLVANE_FAILURE_DIR=str(folder / "failures"))
            done = subprocess.run(["bash", "-euo", "pipefail", "-c", script], cwd=folder, env=env,
                                  capture_output=True, text=True, timeout=60)
        elif example.language == "sql":
            done = isql("SET LIST ON;\n" + script, connect_to=f"{self.server.address}:{database}", check=False)
        else:
            self.fail(f"{example}: only sh and sql examples can be runnable, not '{example.language}'")
        output = "\n".join(line.rstrip() for line in (done.stdout + done.stderr).splitlines())
        self.assertEqual(done.returncode, example.exit_status,
                         f"{example} ended with {done.returncode}:\n{output}\n--- example ---\n{script}")
        if example.language == "sql":
            self.assertNotIn("Statement failed", output, f"{example}:\n{output}")
        if example.output is not None:
            rest = squeezed(output)
            for wanted in filter(None, map(squeezed, self.localised(example.output, folder).splitlines())):
                at = rest.find(wanted)
                self.assertGreaterEqual(at, 0, f"{example}: '{wanted}' is not in the output "
                                               f"(in this order):\n{output}")
                rest = rest[at + len(wanted):]

    def test_every_runnable_example_of_every_page_runs_as_written(self):
        ran = 0
        for page in PAGES:
            runnable = [e for e in examples(page) if e.runnable]
            if not runnable:
                continue
            folder, database = self.page_setting(page)
            for example in runnable:
                with self.subTest(example=str(example)):
                    self.run_example(example, folder, database)
                ran += 1
        # The pages that promise examples keep some.
        self.assertGreaterEqual(ran, 8)

    def test_every_output_block_belongs_to_a_runnable_example(self):
        # An output block after an example that does not run would never be checked.
        stray = [str(block) for page in PAGES for block in examples(page)
                 if block.language == "text" and "output" in block.flags]
        self.assertEqual(stray, [])


    def test_every_link_between_the_pages_reaches_a_page_and_heading(self):
        broken = []
        for page in PAGES:
            for target, anchor in LINK.findall(page.read_text(encoding="utf-8")):
                if re.match(r"[a-z]+:", target):
                    continue
                linked = (page.parent / target).resolve() if target else page
                if not linked.exists():
                    broken.append(f"{page.name}: {target}")
                elif anchor and linked.suffix == ".md" and anchor not in anchors(linked):
                    broken.append(f"{page.name}: {target}#{anchor}")
        self.assertEqual(broken, [])


def anchors(page):
    """The anchors a Markdown viewer gives the page's headings."""
    names = set()
    for heading in re.findall(r"^#+ (.+)$", page.read_text(encoding="utf-8"), re.MULTILINE):
        slug = re.sub(r"[^\w\- ]", "", heading.lower()).replace(" ", "-")
        names.add(slug)
    return names


if __name__ == "__main__":
    unittest.main()
