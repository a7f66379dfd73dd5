#!/usr/bin/env python3
"""md2man.py SOURCE.md OUTPUT --version V --date YYYY-MM-DD

Turns a manual page written in a small part of Markdown into roff, so that
one text is both the page man shows and a readable document. What it takes:

  # name(section)             the title (first line)
  ## HEADING                  a section
  blank-line-separated text   paragraphs
  - `term`: text              a tagged entry (options, exit codes, files);
                              lines indented by two blanks continue it
  - text                      a bullet
  ``` ... ```                 a block shown as written
  `code`, **bold**, *italic*  inline

Anything else is an error, so that the page never differs silently from its
source.
"""

import argparse
import re
import sys

TITLE = re.compile(r"^# ([a-z0-9._-]+)\((\d)\)$")
INLINE = re.compile(r"`([^`]+)`|\*\*([^*]+)\*\*|\*([^*]+)\*")
TAGGED = re.compile(r"^`([^`]+)`: (.*)$")


def escape(text):
    """Text as roff shows it literally: backslashes and the dashes of
    options and commands."""
    return text.replace("\\", "\\e").replace("-", "\\-")


def inline(text):
    out, pos = [], 0
    for match in INLINE.finditer(text):
        out.append(escape(text[pos:match.start()]))
        code, bold, italic = match.groups()
        if italic is not None:
            out.append(f"\\fI{escape(italic)}\\fR")
        else:
            out.append(f"\\fB{escape(code if code is not None else bold)}\\fR")
        pos = match.end()
    out.append(escape(text[pos:]))
    line = "".join(out)
    # A line that starts with . or ' would be a roff request.
    return "\\&" + line if line[:1] in (".", "'") else line


def convert(lines, version, date):
    match = TITLE.match(lines[0]) if lines else None
    if match is None:
        raise ValueError("line 1: the title must read '# name(section)'")
    name, section = match.groups()
    roff = [f'.TH {name.upper()} {section} "{date}" "UDFTolvane {version}" "User Commands"']
    paragraph, in_block = [], False

    def flush():
        nonlocal paragraph
        if paragraph:
            roff.append(".PP")
            roff.append(inline(" ".join(paragraph)))
        paragraph = []

    def item(text, number):
        tagged = TAGGED.match(text)
        if tagged:
            roff.extend([".TP", f"\\fB{escape(tagged.group(1))}\\fR", inline(tagged.group(2))])
        elif text.startswith("`"):
            raise ValueError(f"line {number}: an entry's term ends with '`: '")
        else:
            roff.extend([".IP \\(bu 2", inline(text)])

    entry = None  # [text, line number] of the list entry being read
    for number, line in enumerate(lines[1:], start=2):
        if in_block:
            if line.startswith("```"):
                roff.extend([".fi", ".RE"])
                in_block = False
            else:
                roff.append(escape(line) if not line.startswith((".", "'")) else "\\&" + escape(line))
            continue
        if entry is not None and line.startswith("  ") and line.strip():
            entry[0] += " " + line.strip()
            continue
        if entry is not None:
            item(*entry)
            entry = None
        if not line.strip():
            flush()
            continue
        if line.startswith("```"):
            flush()
            roff.extend([".PP", ".RS 4", ".nf"])
            in_block = True
        elif line.startswith("## "):
            flush()
            roff.append(f".SH {line[3:].strip().upper()}")
        elif line.startswith("#"):
            raise ValueError(f"line {number}: only '##' headings after the title")
        elif line.startswith("- "):
            flush()
            entry = [line[2:].strip(), number]
        else:
            paragraph.append(line.strip())
    if entry is not None:
        item(*entry)
    if in_block:
        raise ValueError("the last ``` block is not closed")
    flush()
    return "\n".join(roff) + "\n"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("source")
    parser.add_argument("output")
    parser.add_argument("--version", required=True)
    parser.add_argument("--date", required=True)
    args = parser.parse_args()
    with open(args.source, encoding="utf-8") as source:
        lines = source.read().splitlines()
    try:
        page = convert(lines, args.version, args.date)
    except ValueError as error:
        sys.exit(f"{args.source}: {error}")
    with open(args.output, "w", encoding="utf-8") as output:
        output.write(page)


if __name__ == "__main__":
    main()
