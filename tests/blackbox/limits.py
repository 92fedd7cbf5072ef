#!/usr/bin/env python3
"""Vornik at the limits of its input: a hundred thousand operands in one run,
paths at and past PATH_MAX, an empty program name.

    limits.py --program PATH --build {x86,x86-earlier,powerpc} [--emulator=PREFIX]

Each check runs the real program in a fresh temporary directory and compares
its output byte for byte and the records it leaves, as run.py's rows do; the
fixtures here are too large or too deep for rows. Where the program runs
natively, the many-operands check also compares the peak memory of a run
over 100 operands with one over 100,000: it must not grow with their number
beyond the argument vector itself.

Exit status: 0 when every check passed, 1 when one failed, 125 when none
could run. The last line reads "N passed, M failed".
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # run.py is imported from the source tree
from run import (BUILDS, RECORD_NAME, SANITIZER_SETTINGS, emulator_prefix,  # noqa: E402
                 error_line, not_found, read_record, record, user_attributes_supported)

PATH_MAX = 4096  # with its terminating zero byte
NAME_MAX = 255
TOO_LONG = "Pathname is too long."
ENVIRONMENT = {"TZ": "UTC", "LC_ALL": "C", "PATH": os.environ.get("PATH", "/usr/bin:/bin")}
# Room for the stack, the C library and the output buffer beyond the
# arguments themselves.
MEMORY_SLACK_KIB = 1024


ENVIRONMENT.update({name: os.environ[name] for name in SANITIZER_SETTINGS if name in os.environ})
# Peak memory is taken by GNU time: a child of this runner would count the
# runner's own memory, copied when it was forked.
TIME = "/usr/bin/time"


def run_measured(command, cwd, argv0=None, measure=False):
    """Runs the command; returns its exit status, standard output, standard
    error and, when asked to measure, its peak resident memory in KiB."""
    with tempfile.NamedTemporaryFile() as peak:
        prefix = [TIME, "-f", "%M", "-o", peak.name] if measure else []
        if argv0 is not None:
            result = subprocess.run([argv0] + command[1:], executable=command[0], cwd=cwd,
                                    env=ENVIRONMENT, capture_output=True, timeout=600)
        else:
            result = subprocess.run(prefix + command, cwd=cwd, env=ENVIRONMENT,
                                    capture_output=True, timeout=600)
        kib = int(peak.read().split()[-1]) if measure else None
        return result.returncode, result.stdout, result.stderr, kib


def compare(label, expected, actual):
    if expected == actual:
        return []
    if isinstance(expected, bytes) and len(expected) > 400:
        return [f"{label}: expected {len(expected)} bytes, got {len(actual)}; first difference "
                f"at {next(i for i, (a, b) in enumerate(zip(expected + b'?', actual + b'!')) if a != b)}"]
    return [f"{label}:\n    expected: {expected!r}\n    actual:   {actual!r}"]


def check_run(result, status, out, err=b""):
    got_status, got_out, got_err, _ = result
    return (compare("exit status", status, got_status) + compare("stdout", out, got_out)
            + compare("stderr", err, got_err))


# ---------------------------------------------------------------------------
# Many operands.

def many_operands(count):
    """Operands over 1,000 files in turn, every tenth one missing."""
    return [f"no{i}" if i % 10 == 9 else f"f{(i - i // 10) % 1000:03d}" for i in range(count)]


def many_operands_check(ctx):
    for i in range(1000):
        with open(os.path.join(ctx.root, f"f{i:03d}"), "wb"):
            pass
    operands = many_operands(100_000)
    options = ["-t", "TEXT", "-a", "V"]
    measure = not ctx.emulated and os.access(TIME, os.X_OK)
    result = run_measured(ctx.command + options + operands, ctx.root, measure=measure)
    missing = [operand for operand in operands if operand.startswith("no")]
    expected_out = b"".join(not_found(operand)(ctx.build) for operand in missing)
    failures = check_run(result, 2, expected_out)
    want = record(type=b"TEXT", display=0x4000)
    wrong = [i for i in range(1000) if read_record(os.path.join(ctx.root, f"f{i:03d}")) != want]
    if wrong:
        failures.append(f"{len(wrong)} files without the record, the first f{wrong[0]:03d}")
    if measure:
        small = run_measured(ctx.command + options + many_operands(100), ctx.root, measure=True)
        arguments_kib = sum(len(a) + 1 + 8 for a in operands) // 1024
        growth = result[3] - small[3]
        if growth > arguments_kib + MEMORY_SLACK_KIB:
            failures.append(f"peak memory {small[3]} KiB over 100 operands, {result[3]} KiB over "
                            f"100,000: it grows by more than the {arguments_kib} KiB of arguments")
    return failures


# ---------------------------------------------------------------------------
# Paths at and past PATH_MAX.

def deep_directory(root):
    """Makes directories under root until a name of 1 to 254 bytes in the
    last one gives an absolute path of PATH_MAX - 1 bytes. Returns the last
    directory's path, a descriptor open on it, and that name's length."""
    path = root
    fd = os.open(root, os.O_DIRECTORY)
    while PATH_MAX - 1 - len(path) - 1 > NAME_MAX - 1:
        name = "d" * 200
        os.mkdir(name, dir_fd=fd)
        inner = os.open(name, os.O_DIRECTORY, dir_fd=fd)
        os.close(fd)
        fd, path = inner, path + "/" + name
    return path, fd, PATH_MAX - 1 - len(path) - 1


def record_at(fd, name):
    """The record of a file in the directory fd, reached without its long path."""
    node = os.open(name, os.O_RDONLY, dir_fd=fd)
    try:
        return os.getxattr(node, RECORD_NAME)
    except OSError:
        return None
    finally:
        os.close(node)


def long_paths_check(ctx):
    directory, fd, length = deep_directory(ctx.root)
    try:
        longest, too_long = "a" * length, "b" * (length + 1)
        for name in (longest, too_long):
            os.close(os.open(name, os.O_CREAT | os.O_WRONLY, 0o644, dir_fd=fd))
        at_limit = directory + "/" + longest
        past_limit = directory + "/" + too_long
        missing = directory + "/" + "c" * length
        # Far past the limit, but only "." on the way to a file: realpath
        # makes it short where the build makes operands canonical first.
        far_past = ctx.root + "/." * 6000 + "/f"
        with open(os.path.join(ctx.root, "f"), "wb"):
            pass
        assert len(at_limit) == PATH_MAX - 1 and len(past_limit) == PATH_MAX
        operands = [at_limit, past_limit, missing, far_past]
        result = run_measured(ctx.command + ["-t", "TEXT"] + operands, ctx.root)
        canonical = ctx.build.canonical_operands
        expected_out = (error_line(TOO_LONG, 36, past_limit) + not_found(missing)(ctx.build)
                        + (b"" if canonical else error_line(TOO_LONG, 36, far_past)))
        failures = check_run(result, 2, expected_out)
        failures += compare(f"record of the {PATH_MAX - 1}-byte path", record(type=b"TEXT"),
                            record_at(fd, longest))
        failures += compare(f"record of the {PATH_MAX}-byte path", None, record_at(fd, too_long))
        failures += compare("record of the far longer path", record(type=b"TEXT") if canonical else None,
                            read_record(os.path.join(ctx.root, "f")))
        return failures
    finally:
        os.close(fd)


# ---------------------------------------------------------------------------
# An empty program name: nothing reads it.

def empty_program_name_check(ctx):
    if ctx.emulated:
        return []  # the emulator's own name stands first
    with open(os.path.join(ctx.root, "f"), "wb"):
        pass
    program = ctx.command[-1]
    failures = check_run(run_measured([program, "-h"], ctx.root, argv0=""), 0, ctx.build.usage)
    command = [program, "-t", "TEXT", "f"]
    failures += check_run(run_measured(command, ctx.root, argv0=""), 0, b"")
    failures += compare("record", record(type=b"TEXT"), read_record(os.path.join(ctx.root, "f")))
    return failures


CHECKS = [
    ("100000-operands", many_operands_check),
    ("paths-at-and-past-PATH_MAX", long_paths_check),
    ("empty-program-name", empty_program_name_check),
]


class Context:
    def __init__(self, root, command, build, emulated):
        self.root, self.command, self.build, self.emulated = root, command, build, emulated


def main():
    parser = argparse.ArgumentParser(description="Vornik at the limits of its input")
    parser.add_argument("--program", required=True)
    parser.add_argument("--build", required=True, choices=sorted(BUILDS))
    parser.add_argument("--emulator", default="")
    options = parser.parse_args()
    supported, why = user_attributes_supported()
    if not supported:
        print(f"skipped: {why}")
        print("0 passed, 0 failed")
        return 125
    prefix = emulator_prefix(options.emulator)
    command = prefix + [os.path.abspath(options.program)]
    passed = failed = 0
    for name, check in CHECKS:
        root = tempfile.mkdtemp(prefix="vornik-limits-")
        try:
            failures = check(Context(root, command, BUILDS[options.build], bool(prefix)))
        finally:
            shutil.rmtree(root)
        if failures:
            failed += 1
            print(f"FAIL {name}")
            print("\n".join(f"  {failure}" for failure in failures))
        else:
            passed += 1
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
