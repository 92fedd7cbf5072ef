#!/usr/bin/env python3
"""Installs a build into a temporary prefix (cmake --install) and checks what
lands there: both programs, runnable; both manual pages and the record
format's document, byte for byte as in the source; and nothing else.

    check_install.py --cmake CMAKE --build-dir DIR --source-dir DIR
                     --bindir BIN --mandir MAN --docdir DOC [--emulator=PREFIX]

The last line reads "N passed, M failed".
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile


def emulator_prefix(text):
    """The emulator as a CMake list (';') or a blank-separated command."""
    return [word for part in text.split(";") for word in part.split()]


def installed_files(prefix):
    found = set()
    for directory, _, names in os.walk(prefix):
        for name in names:
            found.add(os.path.relpath(os.path.join(directory, name), prefix))
    return found


def check(options, prefix):
    problems = []
    installed = subprocess.run([options.cmake, "--install", options.build_dir, "--prefix", prefix],
                               capture_output=True, text=True)
    if installed.returncode != 0:
        return [f"cmake --install failed:\n{installed.stdout}{installed.stderr}"]

    programs = {os.path.join(options.bindir, name): args
                for name, args in (("Vornik", ["-h"]), ("VornikShow", ["--version"]))}
    copies = {os.path.join(options.mandir, "man1", "Vornik.1"): "man/Vornik.1",
              os.path.join(options.mandir, "man1", "VornikShow.1"): "man/VornikShow.1",
              os.path.join(options.docdir, "record-format.md"): "docs/record-format.md"}
    expected = set(programs) | set(copies)
    found = installed_files(prefix)
    for path in sorted(expected - found):
        problems.append(f"missing: {path}")
    for path in sorted(found - expected):
        problems.append(f"not expected: {path}")

    emulator = emulator_prefix(options.emulator)
    for path, args in programs.items():
        full = os.path.join(prefix, path)
        if not os.path.exists(full):
            continue
        if not os.access(full, os.X_OK):
            problems.append(f"not executable: {path}")
            continue
        ran = subprocess.run(emulator + [full] + args, capture_output=True, timeout=60)
        if ran.returncode != 0 or not ran.stdout:
            problems.append(f"{path} {' '.join(args)}: status {ran.returncode}")
    for path, source in copies.items():
        full = os.path.join(prefix, path)
        if not os.path.exists(full):
            continue
        with open(full, "rb") as landed, open(os.path.join(options.source_dir, source), "rb") as original:
            if landed.read() != original.read():
                problems.append(f"{path} differs from {source}")
    return problems


def main():
    parser = argparse.ArgumentParser(description="Checks what cmake --install puts in place")
    for name in ("--cmake", "--build-dir", "--source-dir", "--bindir", "--mandir", "--docdir"):
        parser.add_argument(name, required=True)
    parser.add_argument("--emulator", default="")
    options = parser.parse_args()
    emulator = emulator_prefix(options.emulator)
    if emulator and shutil.which(emulator[0]) is None:
        print(f"skipped: the emulator {emulator[0]!r} is not installed")
        print("0 passed, 0 failed")
        return 125
    prefix = tempfile.mkdtemp(prefix="vornik-install-")
    try:
        problems = check(options, prefix)
    finally:
        shutil.rmtree(prefix)
    for problem in problems:
        print(f"  {problem}")
    print(f"{0 if problems else 1} passed, {1 if problems else 0} failed")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
