#!/usr/bin/env python3
"""Black-box tests of Vornik: the real program on real files, as a user runs it.

    run.py --program PATH --build {x86,x86-earlier,powerpc} [--emulator=PREFIX]
           [--peer PATH --peer-build BUILD [--peer-emulator=PREFIX]] GROUP...

Every case is a row: arguments, the exact bytes expected on standard output and
on standard error, the exit status, the fixture (files, folders, symbolic links,
preset catalog records) and what the fixture must look like afterwards. Anything
a row leaves out must be empty, zero or unchanged: every fixture node keeps its
stored record, its mtime, its atime and its contents unless the row names a new
value, and no file appears that the fixture did not have.

Each case runs in a fresh temporary directory, which is the program's working
directory; operands are relative paths inside it. TZ and LC_ALL are pinned.

What differs between the builds is data (BUILDS below); rows whose expectation
depends on the build take it from there.

The group "interchange" runs a second build, the peer, on the same files:
each build must read what the other wrote, whatever their byte orders.

The group "mounts" runs each case on a file system of its own mounted on the
case's directory (read-only, or without user attributes); it needs root, and
is skipped with the reason where mounting is refused.

Exit status: 0 when every case passed, 1 when one failed, 125 when every group
asked for had to be skipped. The last line reads "N passed, M failed".
"""

import argparse
import calendar
import ctypes
import errno
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass
from datetime import datetime
from typing import Callable, Optional
from zoneinfo import ZoneInfo

GROUPS = ("usage", "options", "letters", "dates", "catalog", "operands", "store",
          "mounts", "interchange")


# ---------------------------------------------------------------------------
# The builds and what tells them apart.

USAGE_HEAD = [
    b"Usage: Vornik [option...] file...\r\n",
    b"    -a attributes     # attributes (lowercase = 0, uppercase = 1)*\r\n",
    b"    -c creator        # file creator\r\n",
    b"    -d date           # creation date (mm/dd/[yy]yy [hh:mm[:ss] [AM | PM]])*\r\n",
    b"    -m date           # modification date (mm/dd/[yy]yy [hh:mm[:ss] [AM | PM]])*\r\n",
]
USAGE_LINK_OPTION = [
    b"\t-P\t\t\t\t  # perform action on symlink instead of following it\r\n",
]
USAGE_LETTERS = [
    b"    -t type           # file type\n\n\r",
    b"    Note: The following attributes may be used with the -a option:\r\n",
    b"        A   Alias file\n\r",
    b"        B   Bundle\n\r",
    b"        C   Custom icon*\n\r",
    b"        D   Desktop*\n\r",
    b"        E   Hidden extension*\n\r",
    b"        I   Inited*\n\r",
    b"        M   Shared (can run multiple times)\n\r",
    b"        N   No INIT resources\n\r",
    b"        L   Locked\n\r",
    b"        S   System (name locked)\n\r",
]
USAGE_NOTES = [
    b"    Note: Items marked with an asterisk (*) are allowed with folders\n\r",
    b"    Note: Period (.) represents the current date and time.\n\r",
]
USAGE_X86 = b"".join(
    USAGE_HEAD + USAGE_LINK_OPTION + USAGE_LETTERS
    + [b"        T   Stationery\n\r",
       b"        V   Invisible*\n\r",
       b"        Z   Busy*\n\n\r"]
    + USAGE_NOTES
    + [b"    Note: [yy]yy < 100 assumes 21st century, e.g. 20yy\n\r"])
USAGE_X86_EARLIER = USAGE_X86.replace(b"21st century", b"21th century")
USAGE_POWERPC = b"".join(
    USAGE_HEAD + USAGE_LETTERS
    + [b"        T   Stationary\n\r",
       b"        V   Invisible*\n\n\r"]
    + USAGE_NOTES
    + [b"    Note: [yy]yy < 100 assumes 21th century, e.g. 20yy\n\r"])


@dataclass(frozen=True)
class Build:
    name: str
    usage: bytes
    link_option: bool         # "-P" exists (act on a final symbolic link itself)
    busy_letters: bool        # Z and z exist; the extended area is read and written
    canonical_operands: bool  # each operand goes through realpath first


BUILDS = {
    "x86": Build("x86", USAGE_X86, link_option=True, busy_letters=True,
                 canonical_operands=False),
    # Differs only in the usage text and in cutting the date argument in
    # place, which no user can see.
    "x86-earlier": Build("x86-earlier", USAGE_X86_EARLIER, link_option=True,
                         busy_letters=True, canonical_operands=False),
    "powerpc": Build("powerpc", USAGE_POWERPC, link_option=False, busy_letters=False,
                     canonical_operands=True),
}


# ---------------------------------------------------------------------------
# The stored record: attribute user.vornik.catalog, 44 bytes, big-endian.

RECORD_NAME = "user.vornik.catalog"
RECORD_LAYOUT = struct.Struct(">BBHHIH4s4sH6s8sH6s")
RECORD_FIELDS = ("version", "reserved", "flags", "created_high", "created_low",
                 "created_fraction", "type", "creator", "display",
                 "presentation_rest", "extended_head", "extended_flags",
                 "extended_rest")
assert RECORD_LAYOUT.size == 44

EPOCH_1904 = 2082844800  # seconds from 1904-01-01 to 1970-01-01

ZERO_FIELDS = dict(version=1, reserved=0, flags=0, created_high=0, created_low=0,
                   created_fraction=0, type=bytes(4), creator=bytes(4), display=0,
                   presentation_rest=bytes(6), extended_head=bytes(8),
                   extended_flags=0, extended_rest=bytes(6))

# A preset record with a distinct value in every byte, so that a shifted or
# swapped byte shows. Node flags: locked bit clear. Display flags hold some of
# the bits no letter names (0x022E). Extended flags: busy bit clear.
PRESET_FIELDS = dict(ZERO_FIELDS, flags=0xA5C2, created_high=0x1011,
                     created_low=0x12131415, created_fraction=0x1617,
                     type=b"1234", creator=b"5678", display=0x8A2E,
                     presentation_rest=b"\x40\x41\x42\x43\x44\x45",
                     extended_head=b"\x50\x51\x52\x53\x54\x55\x56\x57",
                     extended_flags=0x6D3F,
                     extended_rest=b"\x60\x61\x62\x63\x64\x65")


def _encode(fields):
    if "created" in fields:
        seconds = fields.pop("created")
        fields.update(created_high=seconds >> 32, created_low=seconds & 0xFFFFFFFF,
                      created_fraction=0)
    return RECORD_LAYOUT.pack(*(fields[name] for name in RECORD_FIELDS))


def record(**changes):
    """A record whose fields are zero except those named."""
    return _encode(dict(ZERO_FIELDS, **changes))


def preset(**changes):
    """The preset record with the fields named changed."""
    return _encode(dict(PRESET_FIELDS, **changes))


def describe_record(value):
    if value is None:
        return "no record"
    if len(value) != RECORD_LAYOUT.size:
        return f"{len(value)} bytes"
    fields = dict(zip(RECORD_FIELDS, RECORD_LAYOUT.unpack(value)))
    return " ".join(f"{k}={v.hex() if isinstance(v, bytes) else hex(v)}"
                    for k, v in fields.items())


def stamp(instant):
    """An instant (seconds since 1970, universal) as seconds since 1904."""
    return instant + EPOCH_1904


def instant(zone, year, month, day, hour=0, minute=0, second=0):
    """The instant at which the wall clock of zone shows the given time."""
    return int(datetime(year, month, day, hour, minute, second,
                        tzinfo=ZoneInfo(zone)).timestamp())


def utc(year, month, day, hour=0, minute=0, second=0):
    return calendar.timegm((year, month, day, hour, minute, second))


# ---------------------------------------------------------------------------
# Rows: fixture nodes, runs and expectations.

@dataclass
class Node:
    path: str
    kind: str  # "file", "dir" or "link"
    target: str = ""
    record: Optional[bytes] = None
    mode: Optional[int] = None
    data: bytes = b""
    size: Optional[int] = None     # a sparse file of this size instead of data
    mtime_ns: Optional[int] = None  # instead of the node's distinct default


def File(path, record=None, mode=None):
    return Node(path, "file", record=record, mode=mode,
                data=b"contents of " + os.fsencode(path) + b"\n")


def SparseFile(path, size, mtime_ns=None):
    return Node(path, "file", size=size, mtime_ns=mtime_ns)


def Dir(path, record=None, mode=None):
    return Node(path, "dir", record=record, mode=mode)


def Link(path, target):
    return Node(path, "link", target=target)


@dataclass
class Run:
    args: object  # list of str/bytes, or a function of the build giving one
    out: object = b""
    err: object = b""
    status: object = 0
    peer: bool = False  # run by the peer build instead of the program


ANY = object()  # a node state that the row's own check looks at


@dataclass
class Case:
    name: str
    runs: list
    nodes: list
    records: object = None  # {path: bytes or None (no record) or ANY}
    mtimes: object = None   # {path: seconds since 1970 or ANY}
    tz: str = "UTC"
    unprivileged: bool = False
    check: Optional[Callable] = None
    mount: Optional[str] = None  # a key of MOUNTS: the case's own file system


def row(name, args, out=b"", err=b"", status=0, *, nodes=None, records=None,
        mtimes=None, tz="UTC", unprivileged=False, check=None, then=(), mount=None):
    """One golden row. nodes defaults to one plain file "f"; then holds more
    runs in the same directory, after the first."""
    return Case(name, [Run(args, out, err, status), *then],
                nodes if nodes is not None else [File("f")],
                records, mtimes, tz, unprivileged, check, mount)


def pick(value, build):
    """A row value, or the build's value when the row gives a function."""
    return value(build) if callable(value) else value


def error_line(message, code, path):
    if isinstance(path, str):
        path = path.encode()
    return b"ERROR: " + message.encode() + b" (%d)  on file: " % code + path + b" \r\n"


def not_found(path):
    """The line for an operand whose last component is missing. realpath
    reports ENOENT before the catalog service can say "File Not Found."."""
    return lambda b: (error_line("Directory not found.", 2, path) if b.canonical_operands
                      else error_line("File Not Found.", -43, path))


def invalid_argument(word, value=""):
    return lambda b: f"Invalid Argument {word} {value}\n\r".encode() + b.usage


def usage(b):
    return b.usage


BAD_LETTER = b"Invalid File Attribute Specified."
BAD_DATE = b"ERROR: invalid date/time\n"
DATE_RANGE = b"mktime error: Value too large for defined data type\n"
NO_PERMISSION = "Write Permissions Error."


def with_link_option(result, otherwise_word, otherwise_value=""):
    """An expectation for a row that uses -P: the x86 result where -P exists,
    else the unrecognised-option report."""
    def chooser(b):
        if b.link_option:
            return pick(result, b)
        return invalid_argument(otherwise_word, otherwise_value)(b)
    return chooser


def if_link_option(value, otherwise):
    return lambda b: pick(value, b) if b.link_option else pick(otherwise, b)


# ---------------------------------------------------------------------------
# usage

def usage_cases():
    cases = [
        row("no-argument", [], usage, status=1),
        row("help", ["-h"], usage),
        row("help-word", ["-help"], usage),
        row("help-stops-before-operands", ["-a", "V", "-t", "TEXT", "-h", "f"], usage),
        row("options-without-operand", ["-t", "TEXT"], usage, status=1),
        row("value-like-option-without-operand", ["-type", "TEXT"], usage, status=1),
        row("lone-link-option", ["-P"],
            with_link_option(usage, "-P"), status=1),
        row("unknown-last-has-empty-value", ["-x"], invalid_argument("-x"), status=1),
        row("unknown-last-after-options", ["-t", "TEXT", "-x"],
            invalid_argument("-x"), status=1),
        row("unknown-before-operand-touches-nothing", ["-t", "TEXT", "-x", "f"],
            invalid_argument("-x", "f"), status=1),
        row("bad-letter-runs-into-usage", ["-a", "x"], lambda b: BAD_LETTER + b.usage,
            status=1),
        row("bad-letter-then-help", ["-a", "Vx", "-h", "f"],
            lambda b: BAD_LETTER + b.usage),
    ]
    # Unrecognised options: the word and the argument after it, then the usage.
    for word in ["-x", "-", "--", "-p", "-H", "-A", "-T", "-xyz"]:
        cases.append(row(f"unknown-option {word!r}", [word, "foo"], invalid_argument(word, "foo"),
                         status=1))
    return cases


# ---------------------------------------------------------------------------
# options

LINKED = [File("target"), Link("link", "target")]

CODE_VALUES = [
    # value, the four bytes stored, why
    ("TEXT", b"TEXT", "four characters"),
    ("TEXTfile", b"TEXT", "bytes after the fourth are ignored"),
    ("ABC", b"ABC\0", "three characters end in the terminating zero"),
    ("AB", b"AB\0\0", "two characters are zero-filled"),
    ("A", b"A\0\0\0", "one character is zero-filled"),
    ("", b"\0\0\0\0", "an empty value gives zero"),
    ("-abc", b"-abc", "a value that looks like an option is a value"),
    ("a b ", b"a b ", "blanks count"),
    (b"\x80\xff\xfe\x81", b"\x80\xff\xfe\x81", "bytes of 0x80 and above, not sign-extended"),
    (b"a\xffb\xfe", b"a\xffb\xfe", "high bytes between low ones"),
]


def options_cases():
    cases = []
    for option, fieldname in (("-t", "type"), ("-c", "creator")):
        for value, code, _why in CODE_VALUES:
            label = value.hex() if isinstance(value, bytes) else (value or "empty")
            cases.append(row(f"code{option}-{label}", [option, value, "f"],
                             records={"f": record(**{fieldname: code})}))
        cases.append(row(f"last{option}-wins", [option, "AAAA", option, "BBBB", "f"],
                         records={"f": record(**{fieldname: b"BBBB"})}))
    cases += [
        # A value written onto the option word is ignored; the next argument
        # is the value.
        row("value-glued-to-option-ignored", ["-tTEXT", "CODE", "f"],
            records={"f": record(type=b"CODE")}),
        row("value-glued-takes-operand", ["-tTEXT", "f"], usage, status=1),
        row("option-word-by-second-char", ["-type", "TEXT", "-creator", "CRTR", "f"],
            records={"f": record(type=b"TEXT", creator=b"CRTR")}),
        row("value-option-standing-last-t", ["-t"], usage, status=1),
        row("value-option-standing-last-c", ["-a", "V", "-c"], usage, status=1),
        row("value-option-standing-last-a", ["-t", "TEXT", "-a"], usage, status=1),
        row("help-after-first-operand-is-operand", ["-a", "V", "f", "-h"],
            nodes=[File("f"), File("-h")],
            records={"f": record(display=0x4000), "-h": record(display=0x4000)}),
        row("help-after-first-operand-missing", ["-a", "V", "f", "-h"],
            not_found("-h"), status=2, records={"f": record(display=0x4000)}),
        row("empty-operand", [""], not_found(""), status=2),
        row("empty-operand-after-options", ["-t", "TEXT", "", "f"], not_found(""),
            status=2, records={"f": record(type=b"TEXT")}),
        # With no option the request is all zero: nothing is written, not even
        # an empty record, but the path is still resolved.
        row("operands-only", ["f", "d"], nodes=[File("f"), Dir("d")]),
        row("operands-only-missing", ["f", "nofile"], not_found("nofile"), status=2),
        # A final symbolic link: followed, or the link itself with -P.
        row("link-followed", ["-t", "TEXT", "-m", "1/2/2003", "link"], nodes=LINKED,
            records={"target": record(type=b"TEXT")}, mtimes={"target": utc(2003, 1, 2)}),
        row("link-itself-mtime", ["-P", "-m", "1/2/2003", "link"],
            with_link_option(b"", "-P", "-m"), status=if_link_option(0, 1), nodes=LINKED,
            mtimes=if_link_option({"link": utc(2003, 1, 2)}, {})),
        row("link-option-twice", ["-P", "-P", "-m", "1/2/2003", "link"],
            with_link_option(b"", "-P", "-P"), status=if_link_option(0, 1), nodes=LINKED,
            mtimes=if_link_option({"link": utc(2003, 1, 2)}, {})),
        row("link-option-word", ["-Pq", "-m", "1/2/2003", "link"],
            with_link_option(b"", "-Pq", "-m"), status=if_link_option(0, 1), nodes=LINKED,
            mtimes=if_link_option({"link": utc(2003, 1, 2)}, {})),
        # Linux keeps no user attribute on a link: codes fail, and neither the
        # link's mtime nor the target changes.
        row("link-itself-codes-refused", ["-P", "-t", "TEXT", "-m", "1/2/2003", "link"],
            with_link_option(error_line(NO_PERMISSION, -61, "link"), "-P", "-t"),
            status=if_link_option(2, 1), nodes=LINKED),
        row("link-itself-dangling", ["-P", "-m", "1/2/2003", "dangling"],
            with_link_option(b"", "-P", "-m"), status=if_link_option(0, 1),
            nodes=[Link("dangling", "nothing")],
            mtimes=if_link_option({"dangling": utc(2003, 1, 2)}, {})),
        row("link-dangling-followed", ["-m", "1/2/2003", "dangling"],
            not_found("dangling"), status=2, nodes=[Link("dangling", "nothing")]),
    ]
    return cases


# ---------------------------------------------------------------------------
# letters

LETTER_BITS = {"A": 0x8000, "B": 0x2000, "C": 0x0400, "D": 0x0001, "E": 0x0010,
               "I": 0x0100, "M": 0x0040, "N": 0x0080, "S": 0x1000, "T": 0x0800,
               "V": 0x4000}
NAMED_BITS = 0xFDD1
UNNAMED_BITS = 0x022E


def letters_cases():
    cases = []
    for letter, bit in LETTER_BITS.items():
        cases.append(row(f"set-{letter}", ["-a", letter, "f"],
                         nodes=[File("f", preset(display=0))],
                         records={"f": preset(display=bit)}))
        cases.append(row(f"clear-{letter.lower()}", ["-a", letter.lower(), "f"],
                         nodes=[File("f", preset(display=0xFFFF))],
                         records={"f": preset(display=0xFFFF & ~bit)}))
    unlocked, locked = 0xA5C2, 0xA5C3
    idle, busy = 0x6D3F, 0x6DBF

    def busy_row(name, value, before, after):
        # Where Z and z do not exist, each prints the message and the busy
        # bit stays as it was.
        def out(b):
            return b"" if b.busy_letters else BAD_LETTER * sum(value.count(c) for c in "Zz")

        def records(b):
            return {"f": preset(extended_flags=after if b.busy_letters else before)}
        return row(name, ["-a", value, "f"], out,
                   nodes=[File("f", preset(extended_flags=before))], records=records)

    cases += [
        row("all-uppercase", ["-a", "ABCDEIMNSTV", "f"], nodes=[File("f", preset(display=0))],
            records={"f": preset(display=NAMED_BITS)}),
        row("all-lowercase-keeps-unnamed-bits", ["-a", "abcdeimnstv", "f"],
            nodes=[File("f", preset(display=0xFFFF))],
            records={"f": preset(display=UNNAMED_BITS)}),
        row("all-letters-on-fresh-file", ["-a", "ABCDEIMNSTV", "f"],
            records={"f": record(display=NAMED_BITS)}),
        row("set-and-clear-ends-cleared", ["-a", "Vv", "f"],
            records={"f": record()}),
        row("clear-and-set-ends-cleared", ["-a", "vV", "f"],
            nodes=[File("f", preset(display=0x4000))], records={"f": preset(display=0)}),
        row("clear-wins-across-options", ["-a", "V", "-a", "v", "f"],
            nodes=[File("f", preset(display=0x4000))], records={"f": preset(display=0)}),
        row("masks-accumulate", ["-a", "V", "-a", "d", "f"],
            nodes=[File("f", preset(display=0x0001))], records={"f": preset(display=0x4000)}),
        row("repeated-letter", ["-a", "VV", "f"], records={"f": record(display=0x4000)}),
        row("lock", ["-a", "L", "f"], nodes=[File("f", preset(flags=unlocked))],
            records={"f": preset(flags=locked)}),
        row("unlock", ["-a", "l", "f"], nodes=[File("f", preset(flags=locked))],
            records={"f": preset(flags=unlocked)}),
        row("lock-last-wins-l", ["-a", "Ll", "f"], nodes=[File("f", preset(flags=locked))],
            records={"f": preset(flags=unlocked)}),
        row("lock-last-wins-L", ["-a", "lL", "f"], nodes=[File("f", preset(flags=unlocked))],
            records={"f": preset(flags=locked)}),
        row("lock-last-wins-across-options", ["-a", "L", "-a", "l", "f"],
            nodes=[File("f", preset(flags=locked))], records={"f": preset(flags=unlocked)}),
        row("lock-kept-by-later-option", ["-a", "L", "-a", "V", "f"],
            records={"f": record(flags=0x0001, display=0x4000)}),
        busy_row("busy", "Z", idle, busy),
        busy_row("not-busy", "z", busy, idle),
        busy_row("busy-last-wins-z", "Zz", busy, idle),
        busy_row("busy-last-wins-Z", "zZ", idle, busy),
        row("busy-with-invisible", ["-a", "VZ", "f"],
            lambda b: b"" if b.busy_letters else BAD_LETTER,
            records=lambda b: {"f": record(display=0x4000,
                                           extended_flags=0x0080 if b.busy_letters else 0)}),
        # The message has no line end: it runs on into whatever comes next.
        row("bad-letter-between-good", ["-a", "VxD", "f"], BAD_LETTER,
            records={"f": record(display=0x4001)}),
        row("two-bad-letters", ["-a", "Vx1", "f"], BAD_LETTER * 2,
            records={"f": record(display=0x4000)}),
        row("bad-utf8-letter-once-per-byte", ["-a", "\u00e9", "f"], BAD_LETTER * 2,
            records={"f": record()}),
        row("bad-blank-letter", ["-a", "V D", "f"], BAD_LETTER,
            records={"f": record(display=0x4001)}),
        row("bad-letter-runs-into-error-line", ["-a", "xV", "f", "nofile"],
            lambda b: BAD_LETTER + not_found("nofile")(b), status=2,
            records={"f": record(display=0x4000)}),
        row("bad-letter-runs-into-date-error", ["-a", "x", "-d", "12/25", "f"],
            BAD_LETTER + BAD_DATE, status=2),
        row("bad-letter-runs-into-invalid-argument", ["-a", "x", "-x", "f"],
            lambda b: BAD_LETTER + invalid_argument("-x", "f")(b), status=1),
        # -a with nothing valid still writes the flags back as read.
        row("empty-value-writes-back", ["-a", "", "f"], nodes=[File("f", preset())],
            records={"f": preset()}),
        row("empty-value-creates-zero-record", ["-a", "", "f"], records={"f": record()}),
        row("only-bad-letters-still-write", ["-a", "?", "f"], BAD_LETTER,
            records={"f": record()}),
        row("lock-alone-keeps-display", ["-a", "L", "f"], nodes=[File("f", preset())],
            records={"f": preset(flags=locked)}),
        # The longest value that one argument can carry: 128 KiB with its
        # terminating zero byte.
        row("longest-value-all-bad", ["-a", "?" * 131_071, "f"], BAD_LETTER * 131_071,
            records={"f": record()}),
        row("longest-value-ends-cleared", ["-a", "V" * 65_535 + "v" * 65_536, "f"],
            nodes=[File("f", preset(display=0x4000))], records={"f": preset(display=0)}),
    ]
    return cases


# ---------------------------------------------------------------------------
# dates

# Date text and the wall-clock time it stands for, in UTC.
DATE_SYNTAX = [
    ("12/25/2007", (2007, 12, 25), "date alone is midnight"),
    ("12/25/07 10:30 PM", (2007, 12, 25, 22, 30), "two-digit year, PM"),
    ("1/2/3", (2003, 1, 2), "single digits"),
    ("12 25 2007", (2007, 12, 25), "blanks separate like slashes"),
    ("12//25/ 2007", (2007, 12, 25), "empty pieces are skipped"),
    ("/12/25/2007/", (2007, 12, 25), "leading and trailing separators"),
    ("12/25/2007/10:30/PM", (2007, 12, 25, 22, 30), "slashes everywhere"),
    ("12/25/2007\t10:30", (2007, 12, 25), "a tab is no separator"),
    ("7th/08/07", (2007, 7, 8), "digits up to the first other character"),
    ("12/25/07 10", (2007, 12, 25, 10), "hour alone"),
    ("12/25/07 10:30:15", (2007, 12, 25, 10, 30, 15), "seconds"),
    ("12/25/07 10:30:15:99", (2007, 12, 25, 10, 30, 15), "a fourth time piece is ignored"),
    ("12/25/07 12:15 AM", (2007, 12, 25, 0, 15), "12 AM is midnight"),
    ("12/25/07 12:15 PM", (2007, 12, 25, 12, 15), "12 PM is noon"),
    ("12/25/07 0:15 PM", (2007, 12, 25, 12, 15), "0 PM"),
    ("12/25/07 13:00 PM", (2007, 12, 25, 13), "PM on an afternoon hour"),
    ("12/25/07 11:59 pm", (2007, 12, 25, 23, 59), "lowercase marker"),
    ("12/25/07 10:30 Post", (2007, 12, 25, 22, 30), "first character of the marker"),
    ("12/25/07 10:30 X", (2007, 12, 25, 10, 30), "unknown marker"),
    ("12/25/2007 10:30PM", (2007, 12, 25, 10, 30), "marker without blank is no marker"),
    ("12/25/2007 PM", (2007, 12, 25), "PM in the time slot"),
    ("12/25/2007 10:30 PM a b c d e f g h", (2007, 12, 25, 22, 30),
     "more than eight pieces"),
    ("12/25/07 24:00", (2007, 12, 25), "hour out of range"),
    ("12/25/07 10:60", (2007, 12, 25, 10), "minute out of range"),
    ("12/25/07 10:30:60", (2007, 12, 25, 10, 30), "second out of range"),
    ("12/25/07 -1:30", (2007, 12, 25, 0, 30), "negative hour"),
    ("12/25/07 24:00 PM", (2007, 12, 25, 12), "hour out of range, then PM"),
    ("13/10/2007", (2006, 12, 10), "month 13 is month 0, December before"),
    ("0/10/2007", (2006, 12, 10), "month 0"),
    ("12/32/2007", (2007, 11, 30), "day 32 is day 0, the last of the month before"),
    ("2/30/2007", (2007, 3, 2), "February 30 runs into March"),
    ("1/1/-5", (1995, 1, 1), "year -5"),
    ("1/1/0", (2000, 1, 1), "year 0"),
    ("1/1/37", (2037, 1, 1), "two-digit years are in the 21st century"),
    ("1/1/1999", (1999, 1, 1), "four-digit year"),
]

INVALID_DATES = ["12/25", "", "///", "  ", "12 25", "/ /"]

# Zone, date text: instants the 32-bit counts cannot hold.
OUT_OF_RANGE = [
    ("UTC", "1/1/100"),
    ("UTC", "1/1/99"),
    ("UTC", "1/1/2039"),
    ("UTC", "1/19/2038 3:14:08"),
    ("UTC", "12/31/1903 23:59:59"),
    ("America/New_York", "1/18/2038 10:14:08 PM"),
    ("America/New_York", "12/31/1903 11:59:59 PM"),
]

ZONES = ["America/New_York", "Europe/Berlin", "Australia/Sydney", "Asia/Kolkata", "UTC"]
ZONE_DATES = [("january", "01/15/2021 08:30:15 AM", (2021, 1, 15, 8, 30, 15)),
              ("july", "07/04/2020 12:00 PM", (2020, 7, 4, 12, 0, 0))]


def now_check(ctx):
    """A lone period stands for the time of the run: both dates must lie
    between the clock readings taken before and after it."""
    problems = []
    created = ctx.record("f")
    if created is None or len(created) != 44:
        return [f"f: expected a record, got {created!r}"]
    fields = dict(zip(RECORD_FIELDS, RECORD_LAYOUT.unpack(created)))
    moment = (fields["created_high"] << 32 | fields["created_low"]) - EPOCH_1904
    if not ctx.start <= moment <= ctx.end:
        problems.append(f"creation date {moment} outside the run [{ctx.start}, {ctx.end}]")
    if created != record(created=stamp(moment)):
        problems.append(f"record: only the creation date may be set, got {created!r}")
    mtime = ctx.mtime_ns("f") // 10**9
    if not ctx.start <= mtime <= ctx.end:
        problems.append(f"mtime {mtime} outside the run [{ctx.start}, {ctx.end}]")
    return problems


def dates_cases():
    cases = []
    for text, when, why in DATE_SYNTAX:
        cases.append(row(f"syntax {text!r}", ["-m", text, "f"], mtimes={"f": utc(*when)}))
    for zone in ZONES:
        for season, text, when in ZONE_DATES:
            moment = instant(zone, *when)
            cases.append(row(f"zone-{zone}-{season}", ["-d", text, "-m", text, "f"], tz=zone,
                             records={"f": record(created=stamp(moment))},
                             mtimes={"f": moment}))
    cases += [
        row("new-york-independence-day", ["-m", "07/04/2020 12:00 PM", "f"],
            tz="America/New_York", mtimes={"f": 1593878400}),
        # The modification date is the node's mtime: no record is made.
        row("mod-date-alone-makes-no-record", ["-m", "12/25/2007", "f"],
            mtimes={"f": utc(2007, 12, 25)}),
        row("creation-date-only", ["-d", "12/25/2007 10:30 PM", "f"],
            records={"f": record(created=stamp(utc(2007, 12, 25, 22, 30)))}),
        row("creation-date-on-preset", ["-d", "12/25/2007 10:30 PM", "f"],
            nodes=[File("f", preset())],
            records={"f": preset(created=stamp(utc(2007, 12, 25, 22, 30)))}),
        row("last-dates-win", ["-d", "1/1/2001", "-m", "1/1/2001", "-d", "2/2/2002",
                               "-m", "3/3/2003", "f"],
            records={"f": record(created=stamp(utc(2002, 2, 2)))},
            mtimes={"f": utc(2003, 3, 3)}),
        row("dates-on-folder", ["-d", "1/2/2003", "-m", "4/5/2006", "d"], nodes=[Dir("d")],
            records={"d": record(created=stamp(utc(2003, 1, 2)))}, mtimes={"d": utc(2006, 4, 5)}),
        # The edges of the 32-bit counts.
        row("latest-instant", ["-d", "1/19/2038 3:14:07", "-m", "1/19/2038 3:14:07", "f"],
            records={"f": record(created=stamp(2**31 - 1))}, mtimes={"f": 2**31 - 1}),
        row("latest-instant-new-york", ["-m", "1/18/2038 10:14:07 PM", "f"],
            tz="America/New_York", mtimes={"f": 2**31 - 1}),
        row("instant-minus-one-is-valid", ["-d", "12/31/1969 23:59:59",
                                           "-m", "12/31/1969 23:59:59", "f"],
            records={"f": record(created=stamp(-1))}, mtimes={"f": -1}),
        row("instant-minus-one-new-york", ["-m", "12/31/1969 6:59:59 PM", "f"],
            tz="America/New_York", mtimes={"f": -1}),
        row("earliest-local-date", ["-d", "1/1/1904", "f"], records={"f": record(created=0)}),
        row("earliest-local-date-new-york", ["-d", "1/1/1904", "f"], tz="America/New_York",
            records={"f": record(created=stamp(instant("America/New_York", 1904, 1, 1)))}),
        row("period-is-now", ["-d", ".", "-m", ".", "f"], check=now_check,
            records={"f": ANY}, mtimes={"f": ANY}),
        row("period-is-now-new-york", ["-d", ".", "-m", ".", "f"], tz="America/New_York",
            check=now_check, records={"f": ANY}, mtimes={"f": ANY}),
        # Invalid dates end the run before any operand is touched.
        row("creation-date-standing-last", ["-d"], BAD_DATE, status=2),
        row("mod-date-standing-last", ["-t", "TEXT", "-m"], BAD_DATE, status=2),
        row("invalid-date-before-help", ["-d", "12/25", "-h"], BAD_DATE, status=2),
        # Separators without end: no piece at all, or pieces far apart.
        row("date-of-100000-slashes", ["-t", "TEXT", "-d", "/" * 100_000, "f"], BAD_DATE,
            status=2),
        row("date-pieces-far-apart", ["-m", "12" + "/" * 50_000 + "25" + " " * 50_000 + "2007",
                                      "f"], mtimes={"f": utc(2007, 12, 25)}),
    ]
    for text in INVALID_DATES:
        for option in ("-d", "-m"):
            cases.append(row(f"invalid{option} {text!r}", ["-t", "TEXT", option, text, "f"],
                             BAD_DATE, status=2))
    for zone, text in OUT_OF_RANGE:
        for option in ("-d", "-m"):
            cases.append(row(f"out-of-range{option} {zone} {text!r}",
                             ["-t", "TEXT", option, text, "f", "g"], err=DATE_RANGE, status=2,
                             tz=zone, nodes=[File("f"), File("g", preset())]))
    return cases


# ---------------------------------------------------------------------------
# catalog

CORRUPT_RECORDS = [
    ("short", preset()[:43]),
    ("long", preset() + b"\x99"),
    ("empty", b""),
    ("version-2", b"\x02" + preset()[1:]),
    ("version-0", b"\x00" + preset()[1:]),
]


def catalog_cases():
    io_error = error_line("i/o Error (Bummers).", -36, "f")
    cases = [
        row("type-rewrites-the-rest-as-read", ["-t", "TEXT", "f"], nodes=[File("f", preset())],
            records={"f": preset(type=b"TEXT")}),
        row("type-on-fresh-file", ["-t", "TEXT", "f"], records={"f": record(type=b"TEXT")}),
        row("type-on-folder", ["-t", "fold", "d"], nodes=[Dir("d", preset())],
            records={"d": preset(type=b"fold")}),
        row("codes-and-letters-on-fresh-folder", ["-t", "fold", "-c", "MACS", "-a", "CVL", "d"],
            nodes=[Dir("d")], records={"d": record(flags=1, type=b"fold", creator=b"MACS",
                                                   display=0x4400)}),
        row("nothing-requested", ["f"], nodes=[File("f", preset())]),
        row("nothing-requested-missing", ["nofile"], not_found("nofile"), status=2),
        row("only-link-option", ["-P", "f"], with_link_option(b"", "-P", "f"),
            status=if_link_option(0, 1), nodes=[File("f", preset())]),
        # 64-bit sizes and times on every build, 32-bit ones included.
        row("file-over-4-GiB", ["-t", "TEXT", "-m", "1/2/2030", "big"],
            nodes=[SparseFile("big", 5 << 30)], records={"big": record(type=b"TEXT")},
            mtimes={"big": utc(2030, 1, 2)}),
        row("mtime-after-2038-kept", ["-a", "V", "-d", "1/2/2003", "late"],
            nodes=[SparseFile("late", 0, mtime_ns=utc(2100, 1, 1) * 10**9)],
            records={"late": record(display=0x4000, created=stamp(utc(2003, 1, 2)))}),
        row("mod-date-ignores-corrupt-record", ["-m", "1/2/2003", "f"],
            nodes=[File("f", b"\x02" + preset()[1:])], mtimes={"f": utc(2003, 1, 2)}),
    ]
    # A record that is not ours stays byte for byte, and a failed read writes
    # nothing at all, not even a requested date.
    for label, value in CORRUPT_RECORDS:
        cases.append(row(f"corrupt-{label}", ["-t", "TEXT", "-m", "1/2/2003", "f"], io_error,
                         status=2, nodes=[File("f", value)]))
    created = stamp(utc(2003, 1, 2))
    for label, request, written in [
            ("creation-date", ["-d", "1/2/2003"], record(created=created)),
            ("letters", ["-a", "V"], record(display=0x4000)),
            ("lock-and-date", ["-a", "L", "-d", "1/2/2003"], record(flags=1, created=created))]:
        cases.append(row(f"corrupt-{label}", [*request, "f", "g"], io_error, status=2,
                         nodes=[File("f", preset()[:43]), File("g")], records={"g": written}))
    # Run without privileges: refused writes leave the node as it was.
    cases += [
        row("refused-attribute-write", ["-t", "TEXT", "f"], error_line(NO_PERMISSION, -61, "f"),
            status=2, unprivileged=True, nodes=[File("f", preset(), mode=0o644)]),
        # The attribute can be written but the explicit mtime is the owner's:
        # the attribute is put back as it was.
        row("refused-mtime-restores-record", ["-t", "TEXT", "-m", "1/2/2003", "f"],
            error_line(NO_PERMISSION, -61, "f"), status=2, unprivileged=True,
            nodes=[File("f", preset(), mode=0o666)]),
        row("refused-mtime-removes-new-record", ["-a", "V", "-d", "1/2/2003", "-m", "1/2/2003",
                                                 "f"],
            error_line(NO_PERMISSION, -61, "f"), status=2, unprivileged=True,
            nodes=[File("f", mode=0o666)]),
        row("refused-mtime-alone", ["-m", "1/2/2003", "f"], error_line(NO_PERMISSION, -61, "f"),
            status=2, unprivileged=True, nodes=[File("f", mode=0o666)]),
        row("refused-folder-record", ["-a", "V", "d"], error_line(NO_PERMISSION, -61, "d"),
            status=2, unprivileged=True, nodes=[Dir("d", preset(), mode=0o755)]),
        # A file that may be written but not read: no lock can be taken, and
        # the record cannot be read to merge into, so nothing is written.
        row("refused-unreadable-record", ["-a", "V", "f"], error_line(NO_PERMISSION, -61, "f"),
            status=2, unprivileged=True, nodes=[File("f", preset(), mode=0o622)]),
        row("refused-operand-run-goes-on", ["-t", "TEXT", "f", "g"],
            error_line(NO_PERMISSION, -61, "f"), status=2, unprivileged=True,
            nodes=[File("f", preset(), mode=0o644), File("g", preset(), mode=0o666)],
            records={"g": preset(type=b"TEXT")}),
    ]
    return cases


# ---------------------------------------------------------------------------
# operands

def operands_cases():
    cases = [
        row("missing-file", ["-t", "TEXT", "nofile"], not_found("nofile"), status=2),
        row("missing-file-in-folder", ["-t", "TEXT", "d/nofile"], not_found("d/nofile"),
            status=2, nodes=[Dir("d")]),
        row("missing-folder", ["-t", "TEXT", "nodir/f"],
            error_line("Directory not found.", 2, "nodir/f"), status=2),
        row("file-as-folder", ["-t", "TEXT", "f/x"],
            error_line("A component of the path prefix is not a directory.", 20, "f/x"),
            status=2),
        row("file-with-trailing-slash", ["-t", "TEXT", "f/"],
            error_line("A component of the path prefix is not a directory.", 20, "f/"),
            status=2),
        row("link-loop", ["-t", "TEXT", "loop"],
            error_line("Too many symbolic links in pathnamne.", 40, "loop"), status=2,
            nodes=[Link("loop", "loop")]),
        row("link-loop-on-the-way", ["-t", "TEXT", "loop/f"],
            error_line("Too many symbolic links in pathnamne.", 40, "loop/f"), status=2,
            nodes=[Link("loop", "loop")]),
        row("name-too-long", ["-t", "TEXT", "n" * 256],
            error_line("Pathname is too long.", 36, "n" * 256), status=2),
        row("search-permission-denied", ["-t", "TEXT", "locked/f"],
            error_line("Search permission is denied on a component of the path name.", 13,
                       "locked/f"), status=2, unprivileged=True,
            nodes=[Dir("locked", mode=0o700), File("locked/f", mode=0o666)]),
        row("second-of-three-fails", ["-t", "TEXT", "f", "nofile", "g"], not_found("nofile"),
            status=2, nodes=[File("f"), File("g")],
            records={"f": record(type=b"TEXT"), "g": record(type=b"TEXT")}),
        row("every-operand-fails-in-order", ["-t", "TEXT", "no1", "nodir/f", "f/x"],
            lambda b: (not_found("no1")(b) + error_line("Directory not found.", 2, "nodir/f")
                       + error_line("A component of the path prefix is not a directory.", 20,
                                    "f/x")),
            status=2),
        row("same-operand-twice", ["-a", "V", "f", "f"], records={"f": record(display=0x4000)}),
        row("operands-may-start-with-dash", ["-t", "TEXT", "f", "-a", "-x"],
            not_found("-x"), status=2, nodes=[File("f"), File("-a")],
            records={"f": record(type=b"TEXT"), "-a": record(type=b"TEXT")}),
        row("folder-inside-folder", ["-t", "TEXT", "d/e"], nodes=[Dir("d"), Dir("d/e")],
            records={"d/e": record(type=b"TEXT")}),
        row("dot-dot-path", ["-t", "TEXT", "d/../f"], nodes=[Dir("d"), File("f")],
            records={"f": record(type=b"TEXT")}),
        row("dot-dot-path-shown-as-typed", ["-t", "TEXT", "d/../nofile", "./nofile"],
            lambda b: not_found("d/../nofile")(b) + not_found("./nofile")(b), status=2,
            nodes=[Dir("d")]),
        row("link-to-folder-followed", ["-t", "TEXT", "ld"], nodes=[Dir("d"), Link("ld", "d")],
            records={"d": record(type=b"TEXT")}),
        row("link-on-the-way", ["-t", "TEXT", "ld/f"],
            nodes=[Dir("d"), File("d/f"), Link("ld", "d")],
            records={"d/f": record(type=b"TEXT")}),
    ]
    # The operand is printed exactly as it was typed.
    for label, name in [("blanks", b" a b "), ("invalid-utf8", b"\xff\xfe"),
                        ("newline", b"x\ny"), ("carriage-return", b"x\r"),
                        ("percent", b"%d%s"), ("tab", b"a\tb"),
                        ("control-bytes", b"\x01\x1b[1m\x7f"), ("line-end", b"\r\n")]:
        cases.append(row(f"operand-bytes-{label}", ["-t", "TEXT", name], not_found(name),
                         status=2))
    cases.append(row("operand-bytes-changed", ["-t", "TEXT", b" a b ", b"\xff\xfe"],
                     nodes=[File(" a b "), File(os.fsdecode(b"\xff\xfe"))],
                     records={" a b ": record(type=b"TEXT"),
                              os.fsdecode(b"\xff\xfe"): record(type=b"TEXT")}))
    control = [os.fsdecode(name) for name in (b"x\ny", b"\r", b"\x01\x1b[1m\x7f")]
    cases.append(row("operand-bytes-control-changed", ["-t", "TEXT", *control],
                     nodes=[File(name) for name in control],
                     records={name: record(type=b"TEXT") for name in control}))
    return cases


# ---------------------------------------------------------------------------
# store

PRESET_BYTES = bytes.fromhex(
    "0100" "a5c2" "1011" "12131415" "1617" "31323334" "35363738" "8a2e" "404142434445"
    "5051525354555657" "6d3f" "606162636465")


def store_cases():
    assert preset() == PRESET_BYTES
    full = ["-t", "TEXT", "-c", "ttxt", "-a", "VL", "-d", "12/25/2007 10:30 PM", "f"]
    return [
        # Every stored field written at once, on a file without a record.
        row("golden-full-request", full, records={"f": bytes.fromhex(
            "0100" "0001" "0000" "c39734e8" "0000" "54455854" "74747874" "4000" "000000000000"
            "0000000000000000" "0000" "000000000000")}),
        # The same request merged into the preset: untouched bytes survive.
        row("golden-merge-into-preset", full, nodes=[File("f", PRESET_BYTES)],
            records={"f": bytes.fromhex(
                "0100" "a5c3" "0000" "c39734e8" "0000" "54455854" "74747874" "ca2e"
                "404142434445" "5051525354555657" "6d3f" "606162636465")}),
        row("golden-creator-only", ["-c", "\x01\x02\x03\x04", "f"],
            nodes=[File("f", PRESET_BYTES)], records={"f": bytes.fromhex(
                "0100" "a5c2" "1011" "12131415" "1617" "31323334" "01020304" "8a2e"
                "404142434445" "5051525354555657" "6d3f" "606162636465")}),
        row("golden-busy", ["-a", "Z", "f"], lambda b: b"" if b.busy_letters else BAD_LETTER,
            nodes=[File("f", PRESET_BYTES)], records=lambda b: {"f": bytes.fromhex(
                "0100" "a5c2" "1011" "12131415" "1617" "31323334" "35363738" "8a2e"
                "404142434445" "5051525354555657"
                + ("6dbf" if b.busy_letters else "6d3f") + "606162636465")}),
        # Fields written by one run survive the next.
        row("record-survives-later-runs", ["-t", "TEXT", "f"],
            then=[Run(["-c", "CRTR", "f"]), Run(["-a", "L", "f"]),
                  Run(["-m", "1/2/2003", "f"]), Run(["-d", "4/5/2006", "f"])],
            records={"f": record(flags=1, type=b"TEXT", creator=b"CRTR",
                                 created=stamp(utc(2006, 4, 5)))},
            mtimes={"f": utc(2003, 1, 2)}),
        row("mod-date-leaves-record-bytes", ["-m", "1/2/2003", "f"],
            nodes=[File("f", PRESET_BYTES)], mtimes={"f": utc(2003, 1, 2)}),
        row("unlock-keeps-other-node-flags", ["-a", "l", "f"],
            nodes=[File("f", preset(flags=0xFFFF))], records={"f": preset(flags=0xFFFE)}),
    ]


# ---------------------------------------------------------------------------
# mounts: file systems that refuse part of what is asked of them.

def mounts_cases():
    def locked(path):
        return error_line("Volume is Locked.", -46, path)

    def refused(path):
        return error_line(NO_PERMISSION, -61, path)
    read_only = dict(mount="read-only", nodes=[File("f", preset()), File("g"), Dir("d", preset())])
    bare = dict(mount="no-user-attributes", nodes=[File("f"), Dir("d")])
    return [
        # Read-only: every change is refused, one line per operand, and the
        # run goes on to the next operand.
        row("read-only-codes-and-letters", ["-t", "TEXT", "-c", "ttxt", "-a", "VL", "f", "g", "d"],
            locked("f") + locked("g") + locked("d"), status=2, **read_only),
        row("read-only-dates", ["-d", "1/2/2003", "-m", "1/2/2003", "f", "d"],
            locked("f") + locked("d"), status=2, **read_only),
        row("read-only-mod-date-alone", ["-m", "1/2/2003", "g"], locked("g"), status=2, **read_only),
        row("read-only-run-goes-on", ["-a", "v", "f", "nofile", "g"],
            lambda b: locked("f") + not_found("nofile")(b) + locked("g"), status=2, **read_only),
        row("read-only-nothing-requested", ["f", "d"], **read_only),
        row("read-only-corrupt-record-read-first", ["-t", "TEXT", "f"],
            error_line("i/o Error (Bummers).", -36, "f"), status=2, mount="read-only",
            nodes=[File("f", preset()[:43])]),
        # No user attributes: whatever lives in the record is refused; the
        # modification date alone is the mtime, and is set.
        row("no-attributes-codes", ["-t", "TEXT", "-c", "ttxt", "f", "d"],
            refused("f") + refused("d"), status=2, **bare),
        row("no-attributes-letters", ["-a", "VL", "f", "d"], refused("f") + refused("d"), status=2,
            **bare),
        row("no-attributes-creation-date", ["-d", "1/2/2003", "f"], refused("f"), status=2, **bare),
        row("no-attributes-mod-date", ["-m", "1/2/2003", "f", "d"],
            mtimes={"f": utc(2003, 1, 2), "d": utc(2003, 1, 2)}, **bare),
        # The record is written before the mtime: its refusal leaves the
        # mtime alone too.
        row("no-attributes-letters-and-mod-date", ["-a", "V", "-m", "1/2/2003", "f"], refused("f"),
            status=2, **bare),
        row("no-attributes-nothing-requested", ["f", "d"], **bare),
    ]


# ---------------------------------------------------------------------------
# interchange: what one build writes, another reads, whatever the byte order.

def interchange_cases():
    full = ["-t", "TEXT", "-c", "ttxt", "-a", "VLB", "-d", "12/25/2007 10:30 PM", "f"]
    # Both directions end in the same record: the second build must have read
    # every field the first one wrote, and the preset's other bytes survive.
    merged = preset(flags=0xA5C3, created=stamp(utc(2007, 12, 25, 22, 30)), type=b"TEXT",
                    creator=b"ttxt", display=0xEE2E)
    return [
        row("program-writes-peer-merges", full, nodes=[File("f", PRESET_BYTES)],
            then=[Run(["-a", "C", "f"], peer=True)], records={"f": merged}),
        Case("peer-writes-program-merges", [Run(full, peer=True), Run(["-a", "C", "f"])],
             [File("f", PRESET_BYTES)], records={"f": merged}),
        Case("dates-across-builds",
             [Run(["-m", "07/04/2020 12:00 PM", "f"]),
              Run(["-d", "01/15/2020 12:00 PM", "f"], peer=True), Run(["-t", "TEXT", "f"])],
             [File("f")], records={"f": record(type=b"TEXT", created=stamp(1579107600))},
             mtimes={"f": 1593878400}, tz="America/New_York"),
    ]


CASE_TABLES = {
    "usage": usage_cases,
    "options": options_cases,
    "letters": letters_cases,
    "dates": dates_cases,
    "catalog": catalog_cases,
    "operands": operands_cases,
    "store": store_cases,
    "mounts": mounts_cases,
    "interchange": interchange_cases,
}


# ---------------------------------------------------------------------------
# The runner.

class SetupError(Exception):
    """The fixture could not be made: not a fault of the program."""


class Skip(Exception):
    pass


def read_record(path):
    try:
        return os.getxattr(path, RECORD_NAME, follow_symlinks=False)
    except OSError as error:
        if error.errno in (errno.ENODATA, errno.ENOTSUP, errno.EPERM):
            return None
        raise


def node_times(index):
    """Distinct mtime and atime for the index-th fixture node, with a
    fraction, so that any change shows."""
    mtime = (1_200_000_000 + 86_400 * index) * 10**9 + 123_456_789 + index
    atime = (1_100_000_000 + index) * 10**9 + 987_654_321
    return atime, mtime


def make_fixture(root, nodes):
    try:
        for node in nodes:
            path = os.path.join(root, node.path)
            if node.kind == "file":
                with open(path, "wb") as handle:
                    handle.write(node.data)
                    if node.size is not None:
                        handle.truncate(node.size)
            elif node.kind == "dir":
                os.mkdir(path)
            else:
                os.symlink(node.target, path)
            if node.record is not None:
                os.setxattr(path, RECORD_NAME, node.record)
        # Children first, so that making them does not move a folder's mtime.
        for index in reversed(range(len(nodes))):
            path = os.path.join(root, nodes[index].path)
            atime, mtime = node_times(index)
            if nodes[index].mtime_ns is not None:
                mtime = nodes[index].mtime_ns
            os.utime(path, ns=(atime, mtime), follow_symlinks=False)
        for node in nodes:
            if node.mode is not None:
                os.chmod(os.path.join(root, node.path), node.mode)
    except OSError as error:
        raise SetupError(f"fixture: {error}") from error


def state_of(root, node):
    path = os.path.join(root, node.path)
    try:
        info = os.lstat(path)
    except FileNotFoundError:
        return None
    return {"mtime_ns": info.st_mtime_ns, "atime_ns": info.st_atime_ns,
            "record": read_record(path)}


class Context:
    """What a row's own check may look at."""

    def __init__(self, root, start, end):
        self.root, self.start, self.end = root, start, end

    def record(self, path):
        return read_record(os.path.join(self.root, path))

    def mtime_ns(self, path):
        return os.lstat(os.path.join(self.root, path)).st_mtime_ns


def drop_privileges():
    os.setgroups([])
    os.setgid(65534)
    os.setuid(65534)


# Settings of a sanitizer build's runtime, passed on to the program.
SANITIZER_SETTINGS = ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS")


def run_program(command, root, tz, unprivileged):
    env = {"TZ": tz, "LC_ALL": "C", "PATH": os.environ.get("PATH", "/usr/bin:/bin")}
    env.update({name: os.environ[name] for name in SANITIZER_SETTINGS if name in os.environ})
    try:
        return subprocess.run(command, cwd=root, env=env, capture_output=True, timeout=120,
                              preexec_fn=drop_privileges if unprivileged else None)
    except PermissionError as error:
        raise Skip(f"the program cannot be run without privileges: {error}") from error


def show(label, expected, actual):
    return f"  {label}\n    expected: {expected!r}\n    actual:   {actual!r}"


# ---------------------------------------------------------------------------
# File systems of a case's own, mounted on its directory.

MS_RDONLY, MS_REMOUNT, MS_BIND = 0x1, 0x20, 0x1000
MNT_DETACH = 0x2
LIBC = ctypes.CDLL(None, use_errno=True)
LIBC.mount.argtypes = [ctypes.c_char_p] * 3 + [ctypes.c_ulong, ctypes.c_char_p]
LIBC.umount2.argtypes = [ctypes.c_char_p, ctypes.c_int]


def mount(source, target, fstype, flags, data=None):
    """Raises OSError with the errno of a refused mount."""
    def text(value):
        return os.fsencode(value) if value is not None else None
    if LIBC.mount(text(source), text(target), text(fstype), flags, text(data)) != 0:
        error = ctypes.get_errno()
        raise OSError(error, f"mount {fstype or 'bind'} on {target}: {os.strerror(error)}")


def unmount_all(target):
    """Takes every file system off target; a directory without one is left alone."""
    while LIBC.umount2(os.fsencode(target), MNT_DETACH) == 0:
        pass


def holds_user_attributes(directory):
    probe = os.path.join(directory, "probe")
    with open(probe, "wb"):
        pass
    try:
        os.setxattr(probe, "user.vornik.probe", b"1")
        return True
    except OSError:
        return False
    finally:
        os.unlink(probe)


def attach_file_system(root, kind):
    """Mounts an empty file system of the kind on root, to be filled with the
    fixture. Returns how it was mounted, for seal_file_system."""
    if kind == "no-user-attributes":
        mount("ramfs", root, "ramfs", 0, "mode=0755")
        return "ramfs"
    mount("tmpfs", root, "tmpfs", 0, "size=16m,mode=0755")
    if holds_user_attributes(root):
        return "tmpfs"
    # Kernels before 6.6 keep no user attributes on tmpfs: the directory is
    # bound onto itself instead, to be made read-only in the same way.
    unmount_all(root)
    mount(root, root, None, MS_BIND)
    return "bind"


def seal_file_system(root, how):
    """Once the fixture is in place: a read-only file system becomes one."""
    if how == "tmpfs":
        mount(None, root, None, MS_REMOUNT | MS_RDONLY)
    elif how == "bind":
        mount(None, root, None, MS_REMOUNT | MS_BIND | MS_RDONLY)


def mounting_allowed():
    """Whether file systems can be mounted here, and why not."""
    if os.geteuid() != 0:
        return False, "needs root to mount file systems"
    probe = tempfile.mkdtemp(prefix="vornik-bb-probe-")
    try:
        mount("tmpfs", probe, "tmpfs", 0, "size=1m")
        return True, ""
    except OSError as error:
        return False, f"mounting is refused here: {error}"
    finally:
        unmount_all(probe)
        os.rmdir(probe)


def run_case(case, build, command_prefix, peer_prefix=None):
    """Returns a list of failure descriptions (empty when the case passed)."""
    if case.unprivileged and os.geteuid() != 0:
        raise Skip("needs root to run the program as another user")
    root = tempfile.mkdtemp(prefix="vornik-bb-")
    try:
        if case.unprivileged:
            os.chmod(root, 0o755)
        if case.mount:
            try:
                how = attach_file_system(root, case.mount)
            except OSError as error:
                raise SetupError(f"fixture: {error}") from error
        make_fixture(root, case.nodes)
        if case.mount:
            try:
                seal_file_system(root, how)
            except OSError as error:
                raise SetupError(f"fixture: {error}") from error
        before = {node.path: state_of(root, node) for node in case.nodes}
        failures = []
        start = int(time.time())
        for number, run in enumerate(case.runs, 1):
            args = [os.fsencode(a) for a in pick(run.args, build)]
            prefix = peer_prefix if run.peer else command_prefix
            result = run_program(prefix + args, root, case.tz, case.unprivileged)
            where = ""
            if len(case.runs) > 1:
                where = f"run {number}{' (peer)' if run.peer else ''}: " \
                        f"{[os.fsdecode(a) for a in args]!r}"
            for label, expected, actual in (
                    ("stdout", pick(run.out, build), result.stdout),
                    ("stderr", pick(run.err, build), result.stderr),
                    ("exit status", pick(run.status, build), result.returncode)):
                if expected != actual:
                    failures.append(show(f"{where} {label}".strip(), expected, actual))
        end = int(time.time()) + 1
        failures += compare_nodes(root, case, build, before)
        if case.check:
            failures += [f"  {problem}" for problem in case.check(Context(root, start, end))]
        failures += compare_contents(root, case)
        return failures
    finally:
        if case.mount:
            unmount_all(root)
        for dirpath, dirnames, _ in os.walk(root):
            for name in dirnames:
                path = os.path.join(dirpath, name)
                if not os.path.islink(path):
                    os.chmod(path, 0o700)
        shutil.rmtree(root)


def compare_nodes(root, case, build, before):
    records = pick(case.records, build) or {}
    mtimes = pick(case.mtimes, build) or {}
    unknown = (set(records) | set(mtimes)) - {node.path for node in case.nodes}
    if unknown:
        raise SetupError(f"expectations for nodes the fixture lacks: {sorted(unknown)}")
    failures = []
    for node in case.nodes:
        old, new = before[node.path], state_of(root, node)
        if new is None:
            failures.append(f"  {node.path!r}: vanished")
            continue
        want_record = records.get(node.path, old["record"])
        if want_record is not ANY and want_record != new["record"]:
            failures.append(show(f"{node.path!r} record", want_record, new["record"])
                            + f"\n    expected: {describe_record(want_record)}"
                            + f"\n    actual:   {describe_record(new['record'])}")
        want_mtime = mtimes.get(node.path)
        want_mtime_ns = old["mtime_ns"] if want_mtime is None else (
            ANY if want_mtime is ANY else want_mtime * 10**9)
        if want_mtime_ns is not ANY and want_mtime_ns != new["mtime_ns"]:
            failures.append(show(f"{node.path!r} mtime (ns)", want_mtime_ns, new["mtime_ns"]))
        # Following a link reads it, which moves the link's own atime.
        if node.kind != "link" and old["atime_ns"] != new["atime_ns"]:
            failures.append(show(f"{node.path!r} atime (ns)", old["atime_ns"], new["atime_ns"]))
    return failures


def compare_contents(root, case):
    """File contents and the set of names: read last, as reading moves atimes."""
    failures = []
    for node in case.nodes:
        path = os.path.join(root, node.path)
        if node.kind == "file" and node.size is not None:
            if os.stat(path).st_size != node.size:
                failures.append(show(f"{node.path!r} size", node.size, os.stat(path).st_size))
        elif node.kind == "file":
            with open(path, "rb") as handle:
                data = handle.read()
            if data != node.data:
                failures.append(show(f"{node.path!r} contents", node.data, data))
        elif node.kind == "link" and os.readlink(path) != node.target:
            failures.append(show(f"{node.path!r} link target", node.target, os.readlink(path)))
    found = set()
    for dirpath, dirnames, filenames in os.walk(root):
        for name in dirnames + filenames:
            found.add(os.path.relpath(os.path.join(dirpath, name), root))
    expected = {os.path.normpath(node.path) for node in case.nodes}
    if found != expected:
        failures.append(show("names in the directory", sorted(expected), sorted(found)))
    return failures


def user_attributes_supported():
    with tempfile.NamedTemporaryFile(prefix="vornik-bb-probe-") as probe:
        try:
            os.setxattr(probe.name, "user.vornik.probe", b"1")
        except OSError as error:
            return False, f"no user extended attributes in {tempfile.gettempdir()}: {error}"
    return True, ""


def emulator_prefix(text):
    """The emulator as a CMake list (';') or a blank-separated command."""
    return [word for part in text.split(";") for word in part.split()]


def main():
    parser = argparse.ArgumentParser(description="Black-box tests of Vornik")
    parser.add_argument("--program", required=True)
    parser.add_argument("--build", required=True, choices=sorted(BUILDS))
    parser.add_argument("--emulator", default="")
    parser.add_argument("--peer", help="a second build of the program, for interchange")
    parser.add_argument("--peer-build", choices=sorted(BUILDS))
    parser.add_argument("--peer-emulator", default="")
    parser.add_argument("groups", nargs="+", choices=GROUPS, metavar="GROUP")
    options = parser.parse_args()
    build = BUILDS[options.build]
    program = os.path.abspath(options.program)
    if not os.access(program, os.X_OK):
        print(f"setup error: {program} is not an executable program")
        return 1
    prefix = [os.fsencode(w) for w in emulator_prefix(options.emulator)]
    if prefix and shutil.which(os.fsdecode(prefix[0])) is None:
        print(f"skipped: the emulator {os.fsdecode(prefix[0])!r} is not installed")
        print("0 passed, 0 failed")
        return 125
    peer_prefix = None
    if options.peer:
        peer = os.path.abspath(options.peer)
        peer_emulator = [os.fsencode(w) for w in emulator_prefix(options.peer_emulator)]
        if not os.access(peer, os.X_OK):
            print(f"skipped: the peer build {peer} has not been built")
            print("0 passed, 0 failed")
            return 125
        peer_prefix = peer_emulator + [os.fsencode(peer)]
    supported, why = user_attributes_supported()

    passed = failed = skipped = 0
    groups_run = 0
    for group in options.groups:
        if not supported and group != "usage":
            print(f"skipped group {group}: {why}")
            continue
        if group == "interchange" and peer_prefix is None:
            print(f"skipped group {group}: no peer build given (--peer)")
            continue
        if group == "mounts":
            allowed, why_not = mounting_allowed()
            if not allowed:
                print(f"skipped group {group}: {why_not}")
                continue
        groups_run += 1
        for case in CASE_TABLES[group]():
            name = f"{group}/{case.name}"
            try:
                failures = run_case(case, build, prefix + [os.fsencode(program)], peer_prefix)
            except Skip as reason:
                print(f"SKIP {name}: {reason}")
                skipped += 1
                continue
            except SetupError as error:
                print(f"SETUP ERROR {name}: {error}")
                failed += 1
                continue
            if failures:
                failed += 1
                print(f"FAIL {name}")
                print("\n".join(failures))
            else:
                passed += 1
    summary = f"{passed} passed, {failed} failed"
    print(summary + (f", {skipped} skipped" if skipped else ""))
    if failed:
        return 1
    return 0 if groups_run else 125


if __name__ == "__main__":
    sys.exit(main())
