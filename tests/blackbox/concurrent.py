#!/usr/bin/env python3
"""Concurrent runs of Vornik on one file lose no update.

    concurrent.py --program PATH --build BUILD [--emulator=PREFIX]
                  [--rounds N] [--operands K] [--repetitions R]

Several workers run at once, each with an attribute letter of its own that
lives in its own place in the record (two display flags, the locked bit and,
where the build has it, the busy bit). In every round a worker runs the
program once, setting or clearing its letter on the same file K times over
(the file given K times as operands, so that each run is K read-merge-writes),
alternating from round to round. No other worker touches that letter, so
the worker's letter must read as the worker last left it both before and
after each of its runs; and once all have finished, the record must be the
starting record with every letter as its worker last left it. Anything else
is an update that another run's write undid: a lost update.

Exit status: 0 when no update was lost in any repetition, 1 otherwise. The
last line gives the figures.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import threading

sys.dont_write_bytecode = True  # run.py is imported from the source tree
from run import (BUILDS, PRESET_FIELDS, RECORD_FIELDS, RECORD_LAYOUT, RECORD_NAME,  # noqa: E402
                 emulator_prefix, preset)

# Letter, field of the record and its bit. All are clear in the preset record.
LETTERS = [("V", "display", 0x4000), ("B", "display", 0x2000), ("L", "flags", 0x0001),
           ("Z", "extended_flags", 0x0080)]
OTHER_LETTER = ("C", "display", 0x0400)  # in place of Z where a build has no busy bit


def letters_for(build):
    letters = LETTERS if build.busy_letters else LETTERS[:3] + [OTHER_LETTER]
    for _, field, bit in letters:
        assert PRESET_FIELDS[field] & bit == 0
    return letters


def letter_is_set(path, field, bit):
    fields = dict(zip(RECORD_FIELDS, RECORD_LAYOUT.unpack(os.getxattr(path, RECORD_NAME))))
    return bool(fields[field] & bit)


def expected_record(letters, final):
    changes = dict(PRESET_FIELDS)
    for (_, field, bit), is_set in zip(letters, final):
        if is_set:
            changes[field] |= bit
    return preset(**{name: changes[name] for name in ("display", "flags", "extended_flags")})


def worker(command, path, operands, letter, rounds, first_set, problems):
    """Alternates the letter for the rounds; records each lost update and each
    run that did not end as it should."""
    name, field, bit = letter
    left_set = False
    for number in range(rounds):
        want_set = (number % 2 == 0) == first_set
        if letter_is_set(path, field, bit) != left_set:
            problems.append(f"{name}: found {'set' if not left_set else 'clear'} before round "
                            f"{number}, left {'set' if left_set else 'clear'}: an update was lost")
        value = name if want_set else name.lower()
        result = subprocess.run(command + ["-a", value] + [path] * operands,
                                capture_output=True, timeout=120)
        if result.returncode != 0 or result.stdout or result.stderr:
            problems.append(f"{name}: round {number}: status {result.returncode}, "
                            f"stdout {result.stdout[:200]!r}, stderr {result.stderr[:200]!r}")
        left_set = want_set
        if letter_is_set(path, field, bit) != left_set:
            problems.append(f"{name}: found {'set' if not left_set else 'clear'} after round "
                            f"{number}: an update was lost")
    return left_set


def repetition(command, letters, rounds, operands):
    """Returns the problems of one repetition, an empty list when none."""
    root = tempfile.mkdtemp(prefix="vornik-concurrent-")
    try:
        path = os.path.join(root, "f")
        with open(path, "wb") as handle:
            handle.write(b"shared\n")
        os.setxattr(path, RECORD_NAME, preset())
        problems = []
        # Workers start with alternating directions, so that their last
        # rounds leave some letters set and some clear.
        firsts = [index % 2 == 0 for index in range(len(letters))]
        finals = [None] * len(letters)

        def run(index):
            finals[index] = worker(command, path, operands, letters[index], rounds, firsts[index],
                                   problems)
        threads = [threading.Thread(target=run, args=(i,)) for i in range(len(letters))]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        want = expected_record(letters, finals)
        got = os.getxattr(path, RECORD_NAME)
        if got != want:
            problems.append(f"final record {got.hex()}, expected {want.hex()}")
        return problems
    finally:
        shutil.rmtree(root)


def main():
    parser = argparse.ArgumentParser(description="Concurrent runs of Vornik lose no update")
    parser.add_argument("--program", required=True)
    parser.add_argument("--build", required=True, choices=sorted(BUILDS))
    parser.add_argument("--emulator", default="")
    parser.add_argument("--rounds", type=int, default=100)
    parser.add_argument("--operands", type=int, default=20)
    parser.add_argument("--repetitions", type=int, default=3)
    options = parser.parse_args()
    letters = letters_for(BUILDS[options.build])
    command = emulator_prefix(options.emulator) + [os.path.abspath(options.program)]

    lost = 0
    for number in range(1, options.repetitions + 1):
        problems = repetition(command, letters, options.rounds, options.operands)
        lost += len(problems)
        for problem in problems[:20]:
            print(f"repetition {number}: {problem}")
    updates = options.repetitions * len(letters) * options.rounds * options.operands
    print(f"{options.repetitions} repetitions of {len(letters)} workers x {options.rounds} rounds "
          f"x {options.operands} operands ({updates} updates): {lost} lost or failed")
    return 1 if lost else 0


if __name__ == "__main__":
    sys.exit(main())
