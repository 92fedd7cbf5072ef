#!/usr/bin/env python3
"""Lints the manual pages: each must format without a single warning, render
a NAME section, and name every option of its program's usage text.

    lint_man.py PAGE...

groff (-man -ww -z) does the formatting; where it is missing, mandoc -Tlint.
Exit status: 0 when every page passed, 1 when one failed, 125 (skipped) when
neither formatter is installed. The last line reads "N passed, M failed".
"""

import os
import shutil
import subprocess
import sys

# What each page must document, as it appears in roff ("\-" is a minus).
REQUIRED = {
    "Vornik.1": [r"\-a", r"\-c", r"\-d", r"\-m", r"\-t", r"\-P", r"\-h",
                 "user.vornik.catalog", "EXIT STATUS"],
    "VornikShow.1": [r"\-a", r"\-c", r"\-d", r"\-m", r"\-t", r"\-h", r"\-\-version",
                     "EXIT STATUS"],
}


def formatter():
    if shutil.which("groff"):
        return lambda page: ["groff", "-man", "-ww", "-z", page]
    if shutil.which("mandoc"):
        return lambda page: ["mandoc", "-Tlint", "-Wwarning", page]
    return None


def lint(page, command):
    problems = []
    checked = subprocess.run(command(page), capture_output=True, text=True)
    if checked.returncode != 0 or checked.stdout or checked.stderr:
        problems.append(f"  {' '.join(command(page))}: status {checked.returncode}\n"
                        f"{checked.stdout}{checked.stderr}")
    with open(page, encoding="utf-8") as source:
        text = source.read()
    if ".SH NAME" not in text:
        problems.append("  no NAME section")
    for word in REQUIRED.get(os.path.basename(page), []):
        if word not in text:
            problems.append(f"  does not mention {word}")
    return problems


def main():
    command = formatter()
    if command is None:
        print("skipped: neither groff nor mandoc is installed")
        print("0 passed, 0 failed")
        return 125
    passed = failed = 0
    for page in sys.argv[1:]:
        problems = lint(page, command)
        if problems:
            failed += 1
            print(f"FAIL {page}")
            print("\n".join(problems))
        else:
            passed += 1
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
