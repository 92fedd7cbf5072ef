#!/usr/bin/env python3
"""Black-box tests of VornikShow, the reader of catalog records, and of the
way back from its output into Vornik.

    show.py --program VORNIKSHOW --vornik VORNIK --build {x86,x86-earlier,powerpc}
            --expect-version VERSION [--emulator=PREFIX] GROUP...

Groups:
    command    usage, options, exit statuses and error lines
    values     the block and each single value, byte for byte
    roundtrip  Vornik -t "$(VornikShow -t f)" -c ... -a ... -d ... -m ... g
               gives g the codes, letters and dates of f

The rows, the fixtures and the runner are those of run.py beside this file:
golden bytes per stream, a fresh directory per case, and every fixture node
must be left exactly as it was (VornikShow only reads).

Exit status: 0 when every case passed, 1 when one failed, 125 when every group
asked for had to be skipped. The last line reads "N passed, M failed".
"""

import argparse
import os
import random
import re
import shutil
import sys
import tempfile

sys.dont_write_bytecode = True  # run.py is imported from the source tree
import run as rows  # noqa: E402
from run import (ANY, BUILDS, Dir, File, Link, Node, Run, Case, error_line,  # noqa: E402
                 instant, not_found, preset, record, stamp, utc)

GROUPS = ("command", "values", "roundtrip")
ZERO_CODE = b"\0\0\0\0"


# ---------------------------------------------------------------------------
# Expected output.

def show_usage(b):
    letters = "A B C D E I M N L S T V" + (" Z" if b.busy_letters else "")
    return ("Usage: VornikShow [-a | -c | -d | -m | -t] file...\n"
            "       VornikShow -h | --version\n"
            "Shows the catalog record of each file, every value as Vornik accepts it.\n"
            f"    -a         attributes only: {letters}, uppercase = set\n"
            "    -c         creator code only\n"
            "    -d         creation date only (mm/dd/yyyy hh:mm:ss AM|PM, local time)\n"
            "    -m         modification date only\n"
            "    -t         type code only\n"
            "    -h         print this text\n"
            "    --version  print the version\n").encode()


def refused(message):
    """A usage error: the message, then the usage, on standard error."""
    return lambda b: f"VornikShow: {message}\n".encode() + show_usage(b)


def letters(text, busy=False):
    """Twelve letters, and the busy letter where the build has one."""
    return lambda b: (text + ("Z" if busy else "z") * b.busy_letters).encode()


def line(value):
    """One value on its own line; value may be a function of the build."""
    return lambda b: rows.pick(value, b) + b"\n"


def block(path, type_, creator, attributes, created, modified):
    """One operand's block; attributes may be a function of the build."""
    def expected(b):
        shown = rows.pick(attributes, b)
        return (path.encode() + b"\n"
                + b"  type:        " + type_ + b"\n"
                + b"  creator:     " + creator + b"\n"
                + b"  attributes:  " + shown + b"\n"
                + b"  created:     " + created.encode() + b"\n"
                + b"  modified:    " + modified.encode() + b"\n")
    return expected


def joined(*parts):
    """Blocks and lines of several operands, in order; blocks are parted by
    an empty line."""
    def expected(b):
        return b"\n".join(rows.pick(part, b) for part in parts)
    return expected


class Matches:
    """An expectation met by any output that the pattern matches whole."""

    def __init__(self, pattern):
        self.pattern = re.compile(pattern)

    def __eq__(self, actual):
        return self.pattern.fullmatch(actual) is not None

    def __ne__(self, actual):
        return not self.__eq__(actual)

    def __repr__(self):
        return f"Matches({self.pattern.pattern!r})"


DATE = rb"\d\d/\d\d/\d{4} \d\d:\d\d:\d\d [AP]M"

# Modification dates of the fixture's first and second node (run.node_times).
FIRST_MTIME = "01/10/2008 09:20:00 PM"
SECOND_MTIME = "01/11/2008 09:20:00 PM"

CHRISTMAS = stamp(utc(2007, 12, 25, 22, 30))
FULL = record(flags=1, created=CHRISTMAS, type=b"TEXT", creator=b"ttxt", display=0x4000,
              extended_flags=0x0080)


def row(name, args, out=b"", err=b"", status=0, *, nodes=None, tz="UTC"):
    return Case(name, [Run(args, out, err, status)],
                nodes if nodes is not None else [File("f", FULL)], tz=tz)


# ---------------------------------------------------------------------------
# command

def command_cases(version):
    cases = [
        row("no-argument", [], err=show_usage, status=1),
        row("help", ["-h"], show_usage),
        row("help-long", ["--help"], show_usage),
        row("help-ends-before-operands", ["-h", "nofile"], show_usage),
        row("version", ["--version"], lambda b: f"VornikShow {version} ({b.name} build)\n".encode()),
        row("option-without-operand", ["-t"], err=refused("no file given"), status=1),
        row("end-of-options-without-operand", ["-t", "--"], err=refused("no file given"), status=1),
        row("two-field-options", ["-t", "-c", "f"],
            err=refused("only one of -a, -c, -d, -m and -t may be given"), status=1),
        row("same-field-option-twice", ["-t", "-t", "f"], b"TEXT\n"),
        # After "--" and after the first operand, every argument is an operand.
        row("end-of-options", ["-t", "--", "-x"], b"TEXT\n",
            nodes=[File("-x", FULL)]),
        row("option-after-operand-is-operand", ["-t", "f", "-c"], b"TEXT\n",
            err=not_found("-c"), status=2),
        row("lone-dash-is-operand", ["-t", "-"], err=not_found("-"), status=2),
        # Errors: Vornik's line for the operand as typed, on standard error;
        # the run goes on and ends with status 2.
        row("missing-file", ["nofile"], err=not_found("nofile"), status=2),
        row("missing-file-value", ["-d", "nofile"], err=not_found("nofile"), status=2),
        row("missing-between-good", ["-t", "f", "nofile", "g"], b"TEXT\nCODE\n",
            err=not_found("nofile"), status=2,
            nodes=[File("f", FULL), File("g", record(type=b"CODE"))]),
        row("missing-folder", ["nodir/f"],
            err=error_line("Directory not found.", 2, "nodir/f"), status=2),
        row("file-as-folder", ["f/x"],
            err=error_line("A component of the path prefix is not a directory.", 20, "f/x"),
            status=2),
        row("every-operand-fails-in-order", ["-a", "no1", "f/x", "nodir/f"],
            err=lambda b: (not_found("no1")(b)
                           + error_line("A component of the path prefix is not a directory.",
                                        20, "f/x")
                           + error_line("Directory not found.", 2, "nodir/f")),
            status=2),
        row("block-after-error", ["nofile", "f"],
            block("f", b"TEXT", b"ttxt", letters("abcdeimnLstV", busy=True),
                  "12/25/2007 10:30:00 PM", FIRST_MTIME),
            err=not_found("nofile"), status=2),
        row("operand-bytes-as-typed", ["-t", " a b%s"], err=not_found(" a b%s"), status=2),
    ]
    for label, value in [("short", preset()[:43]), ("version-2", b"\x02" + preset()[1:])]:
        cases.append(row(f"record-not-ours-{label}", ["f"],
                         err=error_line("i/o Error (Bummers).", -36, "f"), status=2,
                         nodes=[File("f", value)]))
    for word in ["-x", "-T", "-tc", "-type", "-P", "--version=2"]:
        cases.append(row(f"unknown-option {word}", [word, "f"],
                         err=refused(f"unknown option {word}"), status=1))
    return cases


# ---------------------------------------------------------------------------
# values

# Codes as stored, and as shown.
CODES = [
    (b"TEXT", b"TEXT", "four letters"),
    (b"a b ", b"a b ", "blanks, a trailing one too"),
    (b"a\\b!", b"a\\b!", "a backslash in a typeable code"),
    (b"ABC\0", b"ABC", "a zero at the end is left out"),
    (ZERO_CODE, b"", "no code"),
    (b"A\0B\0", b"A\\x00B\\x00", "a zero in between is escaped"),
    (b"\x80\xff\\\n", b"\\x80\\xff\\\\\\x0a", "high bytes, backslash doubled, newline"),
]

# Instants and their wall clock in zones with and without daylight-saving time.
ZONE_DATES = [
    ("America/New_York", 1593878400, "07/04/2020 12:00:00 PM"),
    ("America/New_York", 1579107600, "01/15/2020 12:00:00 PM"),
    ("Australia/Sydney", 1579050000, "01/15/2020 12:00:00 PM"),
    ("Australia/Sydney", 1593828000, "07/04/2020 12:00:00 PM"),
    ("UTC", utc(2007, 12, 25, 0, 5, 9), "12/25/2007 12:05:09 AM"),
    ("UTC", utc(2100, 1, 1), "01/01/2100 12:00:00 AM"),
]

# A creation date that was never set shows as "none", or as the birth time
# that the file system keeps.
UNSET_DATE = Matches(rb"(none|" + DATE + rb")\n")


def values_cases():
    with_rest = preset(created=CHRISTMAS)
    cases = [
        row("block", ["f"], block("f", b"TEXT", b"ttxt", letters("abcdeimnLstV", busy=True),
                                  "12/25/2007 10:30:00 PM", FIRST_MTIME)),
        # The preset's other bits (node flags, the unnamed display flags, the
        # extended flags but busy) show nowhere.
        row("block-of-distinct-bytes", ["f"],
            block("f", b"1234", b"5678", letters("AbcdeimnlsTv"), "12/25/2007 10:30:00 PM",
                  FIRST_MTIME), nodes=[File("f", with_rest)]),
        row("block-of-folder", ["d"],
            block("d", b"fold", b"MACS", letters("abCdeimnlstV"), "12/25/2007 10:30:00 PM",
                  FIRST_MTIME),
            nodes=[Dir("d", record(type=b"fold", creator=b"MACS", display=0x4400,
                                   created=CHRISTMAS))]),
        row("blocks-parted-by-empty-line", ["f", "g"],
            joined(block("f", b"TEXT", b"ttxt", letters("abcdeimnLstV", busy=True),
                         "12/25/2007 10:30:00 PM", FIRST_MTIME),
                   block("g", b"1234", b"5678", letters("AbcdeimnlsTv"),
                         "12/25/2007 10:30:00 PM", SECOND_MTIME)),
            nodes=[File("f", FULL), File("g", with_rest)]),
        row("link-followed", ["-t", "link"], b"TEXT\n",
            nodes=[File("target", FULL), Link("link", "target")]),
        row("all-letters-set", ["-a", "f"], line(letters("ABCDEIMNLSTV", busy=True)),
            nodes=[File("f", preset(flags=0xFFFF, display=0xFFFF, extended_flags=0xFFFF))]),
        row("all-letters-clear", ["-a", "f"], line(letters("abcdeimnlstv")),
            nodes=[File("f", preset(flags=0xFFFE, display=0x022E, extended_flags=0xFF7F))]),
        row("no-record-code", ["-t", "f"], b"\n", nodes=[File("f")]),
        row("no-record-letters", ["-a", "f"], line(letters("abcdeimnlstv")), nodes=[File("f")]),
        row("fields-one-line-per-operand", ["-m", "f", "g"],
            f"{FIRST_MTIME}\n{SECOND_MTIME}\n".encode(), nodes=[File("f"), File("g")]),
        row("creation-date-never-set", ["-d", "f"], UNSET_DATE, nodes=[File("f")]),
    ]
    # Each field option alone.
    for option, value in [("-t", b"TEXT"), ("-c", b"ttxt"),
                          ("-a", letters("abcdeimnLstV", busy=True)),
                          ("-d", b"12/25/2007 10:30:00 PM"), ("-m", FIRST_MTIME.encode())]:
        cases.append(row(f"field{option}", [option, "f"], line(value)))
    for stored, shown, why in CODES:
        label = stored.hex()
        cases.append(row(f"type-{label}", ["-t", "f"], shown + b"\n",
                         nodes=[File("f", record(type=stored))]))
        cases.append(row(f"creator-{label}", ["-c", "f"], shown + b"\n",
                         nodes=[File("f", record(creator=stored))]))
    for zone, moment, text in ZONE_DATES:
        cases.append(row(f"created {zone} {text}", ["-d", "f"], text.encode() + b"\n", tz=zone,
                         nodes=[File("f", record(created=stamp(moment)))]))
        cases.append(row(f"modified {zone} {text}", ["-m", "f"], text.encode() + b"\n", tz=zone,
                         nodes=[Node("f", "file", mtime_ns=moment * 10**9 + 999_999_999)]))
    return cases


# ---------------------------------------------------------------------------
# roundtrip

LETTERS = "ABCDEIMNLSTVZ"
DISPLAY_BITS = {"A": 0x8000, "B": 0x2000, "C": 0x0400, "D": 0x0001, "E": 0x0010,
                "I": 0x0100, "M": 0x0040, "N": 0x0080, "S": 0x1000, "T": 0x0800,
                "V": 0x4000}
NAMED_DISPLAY = 0xFDD1

PRINTABLE_CODES = [b"TEXT", b"a b ", b"    ", b" !#$", b"%s%d", b"-abc", b"'\"`\\",
                   b"~}|{", b"(*)?", b"ABC\0", ZERO_CODE, b"[;]&", b"<=>@", b"^_,.",
                   b"1 2/"]
ZONES = ["America/New_York", "Australia/Sydney", "UTC", "Europe/Berlin"]


def record_with(letters_set, type_, creator, created, rest):
    """A record with exactly the named letters set; rest is a preset whose
    other bits (no letter names them) stay as they are."""
    display = rest["display"] & ~NAMED_DISPLAY
    for letter in letters_set:
        display |= DISPLAY_BITS.get(letter, 0)
    flags = (rest["flags"] & ~1) | ("L" in letters_set)
    extended = (rest["extended_flags"] & ~0x80) | (0x80 if "Z" in letters_set else 0)
    return preset(flags=flags, display=display, extended_flags=extended, type=type_,
                  creator=creator, created=created)


def trips():
    """(name, zone, f's record, f's mtime, g's record): every letter set on f
    and clear on g and the other way round, printable codes with blanks and
    punctuation, dates in summer and winter of zones with daylight-saving
    time."""
    generator = random.Random(4)
    codes = PRINTABLE_CODES + [bytes(generator.randrange(0x20, 0x7F) for _ in range(4))
                               for _ in range(6)]
    letter_sets = [set(LETTERS), set()] + [{letter} for letter in LETTERS]
    source_rest = dict(flags=0x0000, display=0x0000, extended_flags=0x0000)
    target_rest = dict(flags=0xA5C2, display=0x8A2E, extended_flags=0x6D3F)
    result = []
    for i, chosen in enumerate(letter_sets):
        zone = ZONES[i % len(ZONES)]
        summer, winter = (7, 1) if i % 2 == 0 else (1, 7)
        created = stamp(instant(zone, 1990 + i, summer, 3 + i, (5 * i + 3) % 24, 7 * i % 60,
                                11 * i % 60))
        mtime = instant(zone, 2001 + i, winter, 10 + i, (3 * i + 1) % 24, 13 * i % 60,
                        17 * i % 60)
        source = record_with(chosen, codes[2 * i % len(codes)], codes[(2 * i + 1) % len(codes)],
                             created, source_rest)
        target = record_with(set(LETTERS) - chosen, b"gggg", b"hhhh", stamp(utc(1950, 2, 3)),
                             target_rest)
        name = "".join(sorted(chosen)) or "none"
        result.append((f"letters-{name}", zone, source, mtime, target))
    return result


def fields_of(value):
    fields = dict(zip(rows.RECORD_FIELDS, rows.RECORD_LAYOUT.unpack(value)))
    return {"type": fields["type"], "creator": fields["creator"],
            "letters": fields["display"] & NAMED_DISPLAY,
            "locked": fields["flags"] & 1, "busy": fields["extended_flags"] & 0x80,
            "created": fields["created_high"] << 32 | fields["created_low"]}


def run_trip(trip, build, show_prefix, vornik_prefix):
    name, zone, source, mtime, target = trip
    root = tempfile.mkdtemp(prefix="vornik-show-")
    try:
        nodes = [Node("f", "file", record=source, mtime_ns=mtime * 10**9 + 250_000_000),
                 File("g", target)]
        rows.make_fixture(root, nodes)
        failures = []
        arguments = []
        for option in ("-t", "-c", "-a", "-d", "-m"):
            shown = rows.run_program(show_prefix + [option.encode(), b"f"], root, zone, False)
            if shown.returncode != 0 or shown.stderr:
                failures.append(f"  VornikShow {option} f: status {shown.returncode}, "
                                f"stderr {shown.stderr!r}")
            # What "$(...)" makes of the output: trailing newlines dropped.
            arguments += [option.encode(), shown.stdout.rstrip(b"\n")]
        changed = rows.run_program(vornik_prefix + arguments + [b"g"], root, zone, False)
        if changed.returncode != 0 or changed.stdout or changed.stderr:
            failures.append(f"  Vornik {arguments!r} g: status {changed.returncode}, "
                            f"stdout {changed.stdout!r}, stderr {changed.stderr!r}")
        want, got = fields_of(source), fields_of(rows.read_record(os.path.join(root, "g")))
        if not build.busy_letters:  # no busy letter: g keeps its own bit
            want["busy"] = fields_of(target)["busy"]
        for field in want:
            if want[field] != got[field]:
                failures.append(rows.show(f"g's {field} (values {arguments!r})",
                                          want[field], got[field]))
        g_mtime = os.lstat(os.path.join(root, "g")).st_mtime_ns
        if g_mtime != mtime * 10**9:
            failures.append(rows.show("g's mtime (ns)", mtime * 10**9, g_mtime))
        if rows.read_record(os.path.join(root, "f")) != source:
            failures.append("  f's record changed")
        return failures
    finally:
        shutil.rmtree(root)


# ---------------------------------------------------------------------------
# The runner.

def main():
    parser = argparse.ArgumentParser(description="Black-box tests of VornikShow")
    parser.add_argument("--program", required=True, help="VornikShow")
    parser.add_argument("--vornik", required=True, help="Vornik of the same build")
    parser.add_argument("--build", required=True, choices=sorted(BUILDS))
    parser.add_argument("--expect-version", required=True, help="the version it must report")
    parser.add_argument("--emulator", default="")
    parser.add_argument("groups", nargs="+", choices=GROUPS, metavar="GROUP")
    options = parser.parse_args()
    build = BUILDS[options.build]
    programs = [os.path.abspath(options.program), os.path.abspath(options.vornik)]
    for program in programs:
        if not os.access(program, os.X_OK):
            print(f"setup error: {program} is not an executable program")
            return 1
    prefix = [os.fsencode(w) for w in rows.emulator_prefix(options.emulator)]
    if prefix and shutil.which(os.fsdecode(prefix[0])) is None:
        print(f"skipped: the emulator {os.fsdecode(prefix[0])!r} is not installed")
        print("0 passed, 0 failed")
        return 125
    show_prefix = prefix + [os.fsencode(programs[0])]
    vornik_prefix = prefix + [os.fsencode(programs[1])]
    supported, why = rows.user_attributes_supported()

    passed = failed = 0
    groups_run = 0
    for group in options.groups:
        if not supported:
            print(f"skipped group {group}: {why}")
            continue
        groups_run += 1
        if group == "roundtrip":
            cases = [(trip[0], lambda t=trip: run_trip(t, build, show_prefix, vornik_prefix))
                     for trip in trips()]
        else:
            table = command_cases(options.expect_version) if group == "command" else values_cases()
            cases = [(case.name, lambda c=case: rows.run_case(c, build, show_prefix))
                     for case in table]
        for name, run_one in cases:
            try:
                failures = run_one()
            except rows.SetupError as error:
                print(f"SETUP ERROR {group}/{name}: {error}")
                failed += 1
                continue
            if failures:
                failed += 1
                print(f"FAIL {group}/{name}")
                print("\n".join(failures))
            else:
                passed += 1
    print(f"{passed} passed, {failed} failed")
    if failed:
        return 1
    return 0 if groups_run else 125


if __name__ == "__main__":
    sys.exit(main())
