#!/usr/bin/env python3
"""Compares Korvani's profile functions with the Windows ones on generated files.

Generates settings files and scripts of operations on them (seeded, the same for the
same seed), runs the scripts through the Windows functions (reference.exe under Wine)
and through ProfileFile (conformance_driver; with --windows-driver also its Windows
build, conformance_driver.exe, under the same Wine), and reports every operation on
which a driver and the reference disagree, with the file and the operation.

    conformance.py --reference reference.exe --driver conformance_driver --wine WINE
                   [--windows-driver conformance_driver.exe] [--seed N] [--files N]
                   [--work DIR]

After a write the files are compared as the Windows functions lay them out: they rewrite
the whole file in their own layout on every change (blank lines dropped, blanks around
'=' removed, CR LF everywhere), where Korvani changes only the line of the key. Both
files are passed through the reference once more ("C" operation) and the results
compared byte for byte, so two files agree when the Windows functions read them alike.

The few deliberate differences (README: "Where Korvani's profile files differ from
Windows on purpose") are told apart by name in deliberate() below and counted, never
hidden: every other disagreement fails the run.
"""

import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

UNTOUCHED = 0xAA


# ---------------------------------------------------------------------------
# The script format of ScriptFormat.h

def escape(data: bytes) -> str:
    return "".join(chr(b) if 0x20 < b < 0x7F and b != 0x5C else "\\x%02x" % b for b in data)


def unescape(text: str) -> bytes:
    out = bytearray()
    i = 0
    while i < len(text):
        if text.startswith("\\x", i) and i + 4 <= len(text):
            out.append(int(text[i + 2:i + 4], 16))
            i += 4
        else:
            out.append(ord(text[i]))
            i += 1
    return bytes(out)


def parse_results(text: str) -> dict:
    results = {}
    for line in text.splitlines():
        parts = line.split(" ")
        if len(parts) < 3:
            continue
        fields = {"code": parts[1]}
        for part in parts[2:]:
            name, _, value = part.partition("=")
            fields[name] = value
        results[int(parts[0])] = fields
    return results


# ---------------------------------------------------------------------------
# The generator

SECTIONS = ["Suffix", "frmMain", "SysGlobal", "Options", "a b", "x]y", "[br", "",
            "\u00e4pfel", "donn\u00e9es"]
KEYS = ["example.com", "Add", "k", "key", "x y", ";note", "[br", "", "schl\u00fcssel",
        "\u4e2d\u6587", "AddSuccessfully"]
NAME_CHARS = list("abcXYZ09 .-_@") + ["\u00e9", "\u00fc", "\u4e2d"]
VALUE_CHARS = NAME_CHARS + list("=;[]\"'\t")
BLANKS = [" ", "\t", "\x1a", "\x0b", "\x0c"]


class Generator:
    def __init__(self, seed: int):
        self.rng = random.Random(seed)

    def chance(self, percent: float) -> bool:
        return self.rng.random() * 100 < percent

    def pick(self, items):
        return self.rng.choice(items)

    def blanks(self) -> str:
        return "".join(self.pick(BLANKS) if self.chance(15) else " "
                       for _ in range(self.rng.randrange(3)))

    def text(self, length: int, chars) -> str:
        return "".join(self.pick(chars) for _ in range(length))

    def section_name(self) -> str:
        return self.pick(SECTIONS) if self.chance(85) else self.text(self.rng.randint(1, 8), NAME_CHARS)

    def key_name(self) -> str:
        return self.pick(KEYS) if self.chance(75) else self.text(self.rng.randint(1, 10), NAME_CHARS)

    def value(self) -> str:
        roll = self.rng.randrange(100)
        if roll < 10:
            return ""
        if roll < 20:
            quote = self.pick(["\"", "'"])
            return quote + self.text(self.rng.randrange(12), NAME_CHARS) + quote
        if roll < 24:
            return self.pick(["\"", "'", "\"\"", "\"x'", " \"a\" "])
        if roll < 28:
            return self.text(self.rng.randint(560, 3000), VALUE_CHARS)
        return self.text(self.rng.randrange(20), VALUE_CHARS)

    def recase(self, name: str, non_ascii: bool = False) -> str:
        out = []
        for c in name:
            if (c.isascii() or non_ascii) and self.chance(50):
                c = c.lower() if c.isupper() else c.upper()
            out.append(c)
        return "".join(out)

    def header(self, name: str) -> str:
        b = self.blanks
        return self.pick([
            "[" + name + "]", "[" + b() + name + b() + "]", "[" + name + "] junk",
            "[" + name + "]]", "[" + name + "]x]", "[" + name, "[]",
        ]) if self.chance(30) else "[" + name + "]"

    def line(self, section_keys) -> str:
        b = self.blanks
        roll = self.rng.randrange(100)
        if roll < 8:
            return b()
        if roll < 16:
            return b() + ";" + self.text(self.rng.randrange(12), VALUE_CHARS)
        if roll < 22:
            return b() + self.key_name() + b()  # no '='
        if roll < 28:
            return b() + "=" + b() + self.value()  # an empty key
        if roll < 30:
            return "[" + self.key_name() + "=" + self.value()  # '[' without ']' maybe
        key = self.key_name()
        section_keys.append(key)
        text = b() + key + b() + "=" + b() + self.value() + b()
        if self.chance(2):
            at = self.rng.randrange(len(text) + 1)
            text = text[:at] + "\0" + text[at:]
        return text

    def file(self):
        """The file's text and what it holds: {section name: [keys]}."""
        eol = self.pick(["\r\n", "\n"])
        out = ["\ufeff"] if self.chance(10) else []
        held = {}
        keys = held.setdefault("", [])
        lines = self.rng.randrange(24)
        for i in range(lines):
            if self.chance(22):
                name = self.section_name()
                out.append(self.blanks() + self.header(name) + self.blanks())
                keys = held.setdefault(name, [])
            else:
                out.append(self.line(keys))
            if i + 1 < lines or self.chance(70):
                out.append(self.pick(["\r\n", "\n", "\r"]) if self.chance(8) else eol)
        if self.chance(4):  # a long section
            out.append("[Suffix]" + eol)
            out.extend("suffix%d.example.com=%s" % (n, eol) for n in range(self.rng.randint(1500, 3000)))
            held.setdefault("Suffix", []).append("suffix7.example.com")
        return "".join(out).encode("utf-8"), held

    def operations(self, held):
        """[(code, fields, tag)] for a file holding `held`."""
        ops = []
        names = [s for s in held]
        for _ in range(self.rng.randint(8, 20)):
            roll = self.rng.randrange(100)
            if names and self.chance(70):
                section = self.pick(names)
                key = self.pick(held[section]) if held[section] and self.chance(70) else self.key_name()
            else:
                section, key = self.section_name(), self.key_name()
            tag = None
            if self.chance(30):
                section, key = self.recase(section), self.recase(key)
            if self.chance(8):
                section = self.blanks() + section + self.blanks()
            if self.chance(8):
                key = self.blanks() + key + self.blanks()
            if roll < 45:
                if self.chance(6) and any(not c.isascii() for c in section + key):
                    section, key = self.recase(section, True), self.recase(key, True)
                    tag = "non-ascii-case"
                default = self.pick(["", "dflt", "\"quoted\"", "trail  ", " ", "\u00e9t\u00e9"])
                size = self.pick([600, 600, 600, 1, 2, 3, 4, 5, 6, 8, 11, 16, 24, 40])
                ops.append(("S", [section, key, default, str(size)], tag))
            elif roll < 62:
                if self.chance(6) and any(not c.isascii() for c in section):
                    section, tag = self.recase(section, True), "non-ascii-case"
                size = self.pick([32767, 32767, 32767, 2, 3, 5, 8, 13, 20, 33, 64, 200])
                ops.append(("L", [section, str(size)], tag))
            elif roll < 85:
                value = self.value()
                if not storable(section, key, value):
                    value = value.replace("]", "")
                ops.append(("W", [section, key, value], None))
            else:
                ops.append(("D", [section, key], None))
        if self.chance(12):  # one the file cannot hold; last, as the files part ways there
            section, key, value = self.section_name(), self.key_name(), self.value()
            bad = self.rng.randrange(4)
            if bad == 0:
                key = key + "=" + self.text(3, NAME_CHARS)
            elif bad == 1:
                value = value + "\r\nx=1"
            elif bad == 2:
                section = section + "\n[other"
            else:
                key, value = "[" + key, value + "]"
            ops.append(("W", [section, key, value], "refused"))
        return ops


# ---------------------------------------------------------------------------
# Deliberate differences, each by name

PROFILE_BLANKS = "\t\n\x0b\x0c\r \x1a"


def storable(section: str, key: str, value: str) -> bool:
    """What ProfileFile::writeString accepts: what the file can give back as written."""
    key = key.strip(PROFILE_BLANKS)
    if any(c in text for c in "\r\n\0" for text in (section, key, value)) or "=" in key:
        return False
    return not key.startswith("[") or ("]" not in key and "]" not in value)


def has_empty_header(data: bytes) -> bool:
    """Whether a line of the file opens a section with an empty name ("[]", "[ ]")."""
    if data.startswith(b"\xef\xbb\xbf"):
        data = data[3:]
    for line in data.replace(b"\r", b"\n").split(b"\n"):
        text = line.strip(PROFILE_BLANKS.encode())
        if text.startswith(b"[") and b"]" in text:
            name = text[1:text.rindex(b"]")].strip(PROFILE_BLANKS.encode()).split(b"\0")[0]
            if not name:
                return True
    return False


def text_of(buf: bytes, ret: int) -> bytes:
    return buf[:ret]


def entries_of(buf: bytes):
    """The entries of a section list: NUL-ended strings up to an empty one."""
    entries = []
    for part in buf.split(b"\0"):
        if not part:
            break
        entries.append(part)
    return entries


def deliberate(code, fields, tag, ref, ours, ref_file, our_file):
    """The name of the deliberate difference this disagreement is, or None."""
    if tag == "non-ascii-case":
        return "non-ASCII letters match in any case"
    if code == "W" and not storable(*fields) and ours["ret"] == "0" and ref["ret"] == "1":
        return "a write the file cannot give back is refused"
    if code == "D" and ours["ret"] == "0" and ref["ret"] == "1" and ref_file == our_file:
        return "deleting a key that is not there returns 0"
    if code == "L":
        size, r = int(fields[1]), int(ref["ret"])
        ref_entries, our_entries = entries_of(unescape(ref["buf"])), entries_of(unescape(ours["buf"]))
        if (r == size - 2 and our_entries == ref_entries[:len(our_entries)]
                and len(our_entries) >= len(ref_entries) - 1):
            return "a section list cut by the buffer holds whole entries only"
    if code == "S":
        size, r, o = int(fields[3]), int(ref["ret"]), int(ours["ret"])
        ref_text = text_of(unescape(ref["buf"]), r).rstrip(bytes([UNTOUCHED]))
        our_text = text_of(unescape(ours["buf"]), o)
        if (o == size - 1 and our_text.startswith(ref_text) and len(ref_text) < o
                and o - len(ref_text) <= 3):
            return "a value cut by the buffer fills it to the last byte"
    return None


# ---------------------------------------------------------------------------

def run(command, env=None):
    done = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if done.returncode != 0:
        sys.exit("conformance: %s failed (%d): %s" % (command[0], done.returncode,
                                                     done.stderr.decode(errors="replace")))
    return done.stdout.decode("latin-1")


def script_line(code, fields):
    return " ".join([code] + [escape(f if isinstance(f, bytes) else f.encode("utf-8")) for f in fields])


DRIVER_NAMES = {"ours": "korvani", "win": "korvani.exe"}


def report(side, meta, initial, ref, ours, canonical, rewritten, show, operations, files,
           started):
    """Compares one driver's results with the reference's and prints the differences
    that are not deliberate; true when there are any."""
    differences = []
    deliberate_counts = {}
    for n, (name, code, fields, tag) in meta.items():
        r, o = ref.get(n), ours.get(n)
        if r is None or o is None:
            differences.append((n, "missing result", r, o, None, None))
            continue
        ref_file = our_file = None
        if code in "WD":
            ref_file, our_file = canonical("ref", n), canonical(side, n)
            same = r["ret"] == o["ret"] and ref_file == our_file
        else:
            same = r["ret"] == o["ret"] and r["buf"] == o["buf"]
        if same:
            continue
        reason = deliberate(code, fields, tag, r, o, ref_file, our_file)
        if reason is None and name in rewritten and rewritten[name][0] <= n:
            reason = rewritten[name][1]
        if reason:
            deliberate_counts[reason] = deliberate_counts.get(reason, 0) + 1
        else:
            differences.append((n, name, r, o, ref_file, our_file))

    label = DRIVER_NAMES[side]
    for n, name, r, o, ref_file, our_file in differences[:show]:
        _, code, fields, tag = meta[n]
        content = initial.get(name)
        print("-- difference in operation %d on %s (initially %s)" % (
            n, name, "missing" if content is None else escape(content[:300])))
        print("   operation: %s" % script_line(code, fields))
        print("   windows:   ret=%s buf=%s" % (r and r["ret"], r and r["buf"][:200]))
        print("   %-11s ret=%s buf=%s" % (label + ":", o and o["ret"], o and o["buf"][:200]))
        if ref_file is not None:
            print("   windows file: %s" % ref_file[:400])
            print("   %s file: %s" % (label, our_file[:400]))
    for reason, count in sorted(deliberate_counts.items()):
        print("conformance: %s: deliberate: %s: %d operations" % (label, reason, count))
    print("conformance: %s: %d operations on %d files, %d differences (%.1f s)" % (
        label, operations, files, len(differences), time.monotonic() - started))
    return bool(differences)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--reference", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--wine", required=True)
    parser.add_argument("--windows-driver", help="the Windows build of the driver")
    parser.add_argument("--seed", type=int, default=20240611)
    parser.add_argument("--files", type=int, default=300)
    parser.add_argument("--work")
    parser.add_argument("--show", type=int, default=25, help="differences shown in full")
    args = parser.parse_args()

    started = time.monotonic()
    work = args.work or tempfile.mkdtemp(prefix="korvani-conformance-")
    shutil.rmtree(work, ignore_errors=True)
    # Each driver works on copies of its own: "ours" is the driver built for this
    # machine, "win" its Windows build under Wine.
    drivers = {"ours": [args.driver]}
    if args.windows_driver:
        drivers["win"] = [args.wine, args.windows_driver]
    sides = ["ref"] + list(drivers)
    for sub in sides + ["canon", "prefix"]:
        os.makedirs(os.path.join(work, sub))
    gen = Generator(args.seed)

    # Files and scripts: the same operations on a copy each.
    meta = {}  # operation number -> (file name, code, fields, tag)
    initial = {}
    scripts = {side: [] for side in sides}
    number = 0
    for index in range(args.files):
        name = "f%03d.ini" % index
        content, held = gen.file()
        if not gen.chance(4):  # now and then a missing file
            initial[name] = content
            for side in sides:
                with open(os.path.join(work, side, name), "wb") as f:
                    f.write(content)
        else:
            initial[name] = None
        for side in sides:
            scripts[side].append(script_line("F", [os.path.join(work, side, name)]))
        number += 1
        for code, fields, tag in gen.operations(held):
            for side in sides:
                scripts[side].append(script_line(code, fields))
            meta[number] = (name, code, fields, tag)
            number += 1
    for side in sides:
        with open(os.path.join(work, side + ".txt"), "w") as f:
            f.write("\n".join(scripts[side]) + "\n")

    env = dict(os.environ, WINEPREFIX=os.path.join(work, "prefix"), WINEDEBUG="-all")
    ref = parse_results(run([args.wine, args.reference, os.path.join(work, "ref.txt")], env))
    results_of = {"ref": ref}
    for side, command in drivers.items():
        results_of[side] = parse_results(run(command + [os.path.join(work, side + ".txt")], env))

    # Files after each write, laid out by the reference.
    canon_script = []
    canon_of = {}
    for n, (name, code, fields, tag) in meta.items():
        if code not in "WD" or n not in ref:
            continue
        for side, results in results_of.items():
            if n not in results:
                continue
            data = results[n].get("file", "-")
            if data == "-":
                canon_of[(side, n)] = "-"
                continue
            path = os.path.join(work, "canon", "%s-%d.ini" % (side, n))
            with open(path, "wb") as f:
                f.write(unescape(data))
            canon_of[(side, n)] = len(canon_script)
            canon_script.append(script_line("C", [path]))
    with open(os.path.join(work, "canon.txt"), "w") as f:
        f.write("\n".join(canon_script) + "\n")
    canon = parse_results(run([args.wine, args.reference, os.path.join(work, "canon.txt")], env))
    subprocess.run([os.path.join(os.path.dirname(args.wine), "wineserver"), "-k"], env=env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def canonical(side, n):
        where = canon_of.get((side, n), "-")
        return "-" if where == "-" else canon.get(where, {}).get("file", "?")

    # The reference rewrites the whole file on a change, and loses some of it: empty
    # section headers ("[]", their keys move into the section above) and the bytes
    # after a NUL in a line. Korvani keeps those lines as they are. From such a rewrite
    # on, the two files hold different things.
    ref_bytes = {name: content for name, content in initial.items()}
    rewritten = {}  # file name -> (first operation, why the reference's rewrite changed it)
    for n, (name, code, fields, tag) in meta.items():
        r = ref.get(n)
        if code in "WD" and r is not None and r.get("file", "-") != "-":
            after = unescape(r["file"])
            before = ref_bytes.get(name)
            if before is not None and before != after:
                if has_empty_header(before):
                    rewritten.setdefault(name, (n, "an empty section header [] is kept"))
                elif b"\0" in before:
                    rewritten.setdefault(name, (n, "a line's bytes after a NUL are kept"))
            ref_bytes[name] = after

    failed = False
    for side in drivers:
        failed |= report(side, meta, initial, ref, results_of[side], canonical, rewritten,
                         args.show, len(meta), args.files, started)
    if not args.work and not failed:
        shutil.rmtree(work, ignore_errors=True)
    elif failed:
        print("conformance: files and scripts kept in %s" % work)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
