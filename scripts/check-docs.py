#!/usr/bin/env python3
"""check-docs.py [SOURCE_DIR] | --self-test

Checks that the documentation (README.md, CONTRIBUTING.md, docs/*.md) says nothing the tree
contradicts:

- links: every relative link and #anchor resolves (a file of the tree; an anchor is a
  heading's GitHub anchor in the linked Markdown file);
- names: every name in backticks that has the shape of a code name is found in the tree:
  `make X` is a target of the Makefile; a path rooted in a top folder of the tree
  (`src/app/GenerationRun.cpp`, `tests/support`) exists, also as a module without its
  extension (`src/platform/Desktop`); a file name with a source extension (`ProfileLock.h`,
  `language/Korvani_EN.ini`) ends a path of the tree; `A::b` appears in src/ or tests/, or
  `b` appears in a file that declares `A`; an UpperCamelCase, lowerCamelCase, snake_case or
  UPPER_CASE identifier appears in a file of the tree other than these docs; a test named
  `Suite.TestName` (of a suite the tree has, or one whose name ends in Test) is a test of
  tests/; a path below `~/` or `%APPDATA%` is one the code makes (the user's settings file,
  src/platform/Installation*; the scripts' cache) or a folder of it; an installer switch
  (`/S`, `/D=`, or one after a `.exe`) is one packaging/windows/Korvani.nsi takes. Prose in
  backticks (commands with spaces, option values, UI texts, single words) is not checked;
- figures: README.md, CONTRIBUTING.md and docs/testing.md give no test count and no
  duration written by hand, and no doc gives a test count (a command prints them: name
  the command instead); a figure that stands for a constant of the code (PAIRED: the lock's
  wait, the installer's exit codes, the section's limit) is that constant's value, and an
  `apt-get install` line of CONTRIBUTING.md names every package of debian/control's
  Build-Depends.

Prints one line per problem (file:line: what is wrong and what to do) and exits 1 when there
is any. --self-test runs the check on a small tree with planted faults and exits 1 unless
each is reported and nothing else.
"""
import os
import re
import sys
import tempfile

# Names the docs give that are not ours to find in the tree: the system's, a tool's or
# another project's, each with the reason.
EXTERNAL = {
    "src/3rdparty/wintab": "a folder of Qt's source tree",
    "posix_fallocate": "the call the settings writer made before it took fallocate",
    "LockFileEx": "a Windows call the docs say is not taken",
    "dh_strip_nondeterminism": "a debhelper tool",
    "page_reporting": "a kernel feature",
    "domain_host.use_sudo": "an option of reprotest",
}

# Where hand-written test counts and durations are refused.
FIGURE_FILES = {"README.md", "CONTRIBUTING.md", "docs/testing.md"}

SOURCE_EXTENSIONS = (".c", ".cpp", ".h", ".py", ".sh", ".txt", ".json", ".ini", ".ui", ".nsi",
                     ".cmake", ".svg", ".png", ".md", ".supp", ".qrc", ".rc", ".desktop",
                     ".xml", ".in")
SKIPPED_DIRS = {".git", "debian/.debhelper", "debian/korvani", "debian/tmp"}
IDENTIFIER = r"[A-Za-z_][A-Za-z0-9_]*"
SELF = os.path.realpath(__file__)


def is_build_dir(relative):
    top = relative.split("/", 1)[0]
    return top.startswith("build") or top.startswith("obj-")


def doc_files(root):
    names = [n for n in ("README.md", "CONTRIBUTING.md") if os.path.isfile(os.path.join(root, n))]
    docs = os.path.join(root, "docs")
    if os.path.isdir(docs):
        names += sorted("docs/" + n for n in os.listdir(docs) if n.endswith(".md"))
    return names


class Tree:
    """The tree's paths and the identifiers of its files other than the checked docs."""

    def __init__(self, root, docs):
        self.root = root
        self.paths = set()  # files and folders, relative, with "/"
        self.tokens = set()
        self.code_text = []  # (relative path, text) of src/ and tests/
        for folder, dirs, files in os.walk(root):
            relative_folder = os.path.relpath(folder, root).replace(os.sep, "/")
            relative_folder = "" if relative_folder == "." else relative_folder + "/"
            dirs[:] = [d for d in dirs if not is_build_dir(relative_folder + d)
                       and relative_folder + d not in SKIPPED_DIRS]
            for d in dirs:
                self.paths.add(relative_folder + d)
            for name in files:
                relative = relative_folder + name
                self.paths.add(relative)
                if relative in docs or os.path.realpath(os.path.join(folder, name)) == SELF:
                    continue  # the docs, and this script's planted names
                try:
                    with open(os.path.join(folder, name), "rb") as f:
                        data = f.read(4_000_000)
                except OSError:
                    continue
                if b"\0" in data:
                    continue
                text = data.decode("utf-8", "replace")
                self.tokens.update(re.findall(IDENTIFIER, text))
                if relative.startswith(("src/", "tests/")):
                    self.code_text.append((relative, text))
        self.top = {p for p in self.paths if "/" not in p}
        self.targets = self._make_targets()
        self.tests = set()  # Suite.Name of every GoogleTest test and ctest test
        for _, text in self.code_text:
            self.tests.update("%s.%s" % m for m in re.findall(
                r"\bTEST(?:_F|_P)?\(\s*(\w+),\s*(\w+)\)", text))
            self.tests.update(re.findall(r"add_test\(NAME (\w+\.\w+)", text))

    def read(self, relative):
        try:
            with open(os.path.join(self.root, relative), encoding="utf-8") as f:
                return f.read()
        except OSError:
            return ""

    def home_paths(self):
        """(path, whether the docs may name what lies below it) of what the code makes below
        ~ and %APPDATA%: the user's settings file, the scripts' cache folder."""
        name = re.search(r'settingsFileName\(\) \{\s*return QStringLiteral\("([^"]+)"',
                         self.read("src/platform/Installation.cpp"))
        posix = re.search(r'GenericConfigLocation\);.*?QStringLiteral\("([^"]+)"\)',
                          self.read("src/platform/Installation_posix.cpp"), re.S)
        windows = re.search(r'qEnvironmentVariable\("APPDATA"\)\);.*?QStringLiteral\("([^"]+)"\)',
                            self.read("src/platform/Installation_win.cpp"), re.S)
        made = []
        if name and posix:
            made.append(("~/.config" + posix.group(1) + name.group(1), False))
        if name and windows:
            made.append(("%APPDATA%" + windows.group(1).replace("/", "\\") + name.group(1),
                         False))
        for relative in sorted(p for p in self.paths if p.startswith("scripts/")):
            made += [("~/.cache/%s/" % m, True) for m in re.findall(
                r"\$\{XDG_CACHE_HOME:-\$HOME/\.cache\}/(\w+)", self.read(relative))]
        return made

    def _make_targets(self):
        targets = set()
        try:
            with open(os.path.join(self.root, "Makefile"), encoding="utf-8") as f:
                for line in f:
                    m = re.match(r"^([A-Za-z0-9_.%/ -]+?)\s*:(?![=:])", line)
                    if m and not line.startswith((".", "\t")):
                        targets.update(m.group(1).split())
        except OSError:
            pass
        return targets

    def has_token(self, name):
        """The identifier in the tree; a system constant also by its last words (PUNCH_HOLE
        for FALLOC_FL_PUNCH_HOLE)."""
        if name in self.tokens:
            return True
        return bool(re.fullmatch(r"[A-Z0-9]+(_[A-Z0-9]+)+", name)) and any(
            t.endswith("_" + name) for t in self.tokens)

    def exists(self, relative):
        relative = os.path.normpath(relative).replace(os.sep, "/")
        return relative in self.paths

    def ends_a_path(self, suffix):
        suffix = suffix.rstrip("/")
        return any(p == suffix or p.endswith("/" + suffix) for p in self.paths)

    def qualified_found(self, parts):
        """A::B::c: each step literally in src/ or tests/, or the member in a file declaring its
        owner (namespace, class, struct or enum of that name)."""
        for owner, member in zip(parts, parts[1:]):
            literal = re.compile(r"\b%s::%s\b" % (re.escape(owner), re.escape(member)))
            declares = re.compile(r"\b(namespace|class|struct|enum(\s+class)?)\s+(\w+::)*%s\b"
                                  % re.escape(owner))
            member_word = re.compile(r"\b%s\b" % re.escape(member))
            if not any(literal.search(text) or (declares.search(text) and member_word.search(text))
                       for _, text in self.code_text):
                return False
        return True


# --- Markdown --------------------------------------------------------------------------------

def strip_fences(text):
    """The text with fenced code blocks blanked (lines kept, so line numbers stay)."""
    out, fenced = [], False
    for line in text.split("\n"):
        if re.match(r"^\s*(```|~~~)", line):
            fenced = not fenced
            out.append("")
        else:
            out.append("" if fenced else line)
    return "\n".join(out)


def inline_code(text):
    """(line number, content) of each inline code span, which may run over a line break."""
    for m in re.finditer(r"(`+)(.+?)(?<!`)\1(?!`)", text, re.S):
        yield text.count("\n", 0, m.start()) + 1, " ".join(m.group(2).split())


def without_code(text):
    return re.sub(r"(`+)(.+?)(?<!`)\1(?!`)", lambda m: " " * len(m.group(0)), text, flags=re.S)


def anchor_of(heading):
    """GitHub's anchor of a heading: the rendered text, lower case, without punctuation but
    hyphens and underscores, spaces made hyphens."""
    text = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", heading)
    text = text.replace("`", "")
    text = re.sub(r"(\*+|\b_+|_+\b)", "", text)
    text = text.strip().lower()
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def anchors(text):
    found, seen = set(), {}
    for line in strip_fences(text).split("\n"):
        m = re.match(r"^#{1,6}\s+(.*?)\s*#*\s*$", line)
        if not m:
            continue
        base = anchor_of(m.group(1))
        n = seen.get(base, 0)
        seen[base] = n + 1
        found.add(base if n == 0 else "%s-%d" % (base, n))
    found.update(re.findall(r'<a\s+(?:name|id)="([^"]+)"', text))
    return found


def links(text):
    """(line number, target) of each inline and reference link outside code."""
    plain = without_code(strip_fences(text))
    for m in re.finditer(r"\]\(\s*<?([^)\s>]*)>?(?:\s+\"[^\"]*\")?\s*\)", plain):
        yield plain.count("\n", 0, m.start()) + 1, m.group(1)
    for m in re.finditer(r"^\s*\[[^\]]+\]:\s*(\S+)", plain, re.M):
        yield plain.count("\n", 0, m.start()) + 1, m.group(1)


# --- The checks ------------------------------------------------------------------------------

def check_links(tree, doc, text, read):
    problems = []
    folder = os.path.dirname(doc)
    for line, target in links(text):
        if not target or re.match(r"^[a-z][a-z0-9+.-]*:", target, re.I):
            continue  # a web address, mailto:
        path, _, anchor = target.partition("#")
        linked = os.path.normpath(os.path.join(folder, path)).replace(os.sep, "/") if path else doc
        if path and not tree.exists(linked):
            problems.append("%s:%d: the link %s names %s, which is not in the tree: link an "
                            "existing file" % (doc, line, target, linked))
            continue
        if anchor and linked.endswith(".md") and anchor not in anchors(read(linked)):
            problems.append("%s:%d: the link %s names the anchor #%s, which no heading of %s "
                            "gives: link one of its headings" % (doc, line, target, anchor, linked))
    return problems


def code_shaped(name):
    """Whether a single identifier has the shape of a code name rather than a word."""
    return bool(re.fullmatch(r"[A-Z][a-z0-9]+[A-Z]\w*", name)          # UpperCamelCase
                or re.fullmatch(r"[a-z][a-z0-9]*[A-Z]\w*", name)       # lowerCamelCase
                or re.fullmatch(r"[A-Za-z]\w*_\w*|_\w+|\w+_", name)    # snake_case, UPPER_CASE
                and re.search(r"[A-Za-z]{2}", name))


def check_home_path(tree, name):
    """A path below ~ or %APPDATA%: one the code makes, a folder of one, or below a folder
    whose content the docs may name."""
    path = name.rstrip("/\\")
    for made, below in tree.home_paths():
        folder = made.rstrip("/\\")
        if made.startswith(path) and made[len(path):len(path) + 1] in ("", "/", "\\") or \
                below and path.startswith(folder):
            return None
    return "`%s`: no code makes that path (src/platform/Installation*, the scripts' cache)" % name


def check_switches(tree, name):
    """The installer's switches in a command or alone (`/S`): those Korvani.nsi takes."""
    if ".exe" in name:
        used = re.findall(r"\s(/[A-Za-z]+=?)", name)
    else:
        used = re.findall(r"^(/[A-Z][A-Za-z]*=?)$", name)
    if not used:
        return None
    taken = set(re.findall(r"(?<![\w$])(/[A-Za-z]+=?)",
                           tree.read("packaging/windows/Korvani.nsi")))
    wrong = [switch for switch in used if switch not in taken]
    if wrong:
        return "`%s`: packaging/windows/Korvani.nsi takes no switch %s" % (name, " ".join(wrong))
    return None


def check_name(tree, doc, name):
    """A sentence saying what is wrong with the name in backticks, or None."""
    if name in EXTERNAL:
        return None
    if name.startswith(("~/", "%APPDATA%")):
        return check_home_path(tree, name)
    if name.startswith("/") or ".exe " in name:
        why = check_switches(tree, name)
        if why or " " in name or re.fullmatch(r"/[A-Z][A-Za-z]*=?", name):
            return why
    test = re.fullmatch(r"(?:\w+/)?(([A-Z]\w*)\.[A-Z]\w*)(?:/\w+)?", name)
    if test and (test.group(2).endswith("Test") or
                 any(t.startswith(test.group(2) + ".") for t in tree.tests)):
        return None if test.group(1) in tree.tests else \
            "`%s`: no test of that name in tests/" % name
    m = re.fullmatch(r"make(\s+[A-Za-z0-9_.-]+)+(\s+\w+=\S*)*", name)
    if m:
        for target in re.findall(r"\s([A-Za-z0-9_.-]+)(?=\s|$)", " " + name[4:] + " "):
            if "=" not in target and target not in tree.targets:
                return "`make %s`: the Makefile has no target %s" % (target, target)
        return None
    if " " in name or re.search(r"[%\\<>{}*$~|\"',;]|\.\.\.", name):
        return None  # a command, a Windows path, a placeholder, prose
    # A file path or file name.
    if "/" in name or name.endswith(SOURCE_EXTENSIONS) or name.startswith("."):
        path = name.rstrip("/")
        if path.startswith("/") or is_build_dir(path) or path.startswith("../"):
            return None  # an installed file, a build's output
        top = path.split("/", 1)[0]
        if "/" in path and top in tree.top:
            candidates = [path] + [path + ext for ext in (".h", ".cpp", ".py", ".sh")]
            if any(tree.exists(c) for c in candidates) or tree.exists(
                    os.path.join(os.path.dirname(doc), path)):
                return None
            return "`%s`: no such file or folder in the tree" % name
        if re.match(r"^[A-Z](_\w+)?\.", os.path.basename(path)):
            return None  # a pattern: X.h, X_win.cpp
        if path.startswith(("_", ".")) and "/" not in path:
            if not path.endswith(SOURCE_EXTENSIONS) or any(p.endswith(path) for p in tree.paths):
                return None
            return "`%s`: no file of the tree ends so" % name
        if path.endswith(SOURCE_EXTENSIONS):
            if tree.ends_a_path(path):
                return None
            return "`%s`: no file of the tree has that name" % name
        return None  # a folder of an installed or unpacked program
    # A qualified name, a call, a member: A::b, f(), FileResult<T>, a.b
    core = re.sub(r"<[^<>]*>", "", name)
    core = core.split("(", 1)[0] if re.fullmatch(r"[\w:]+\(.*", core) else core
    if "::" in core:
        parts = core.split("::")
        if all(re.fullmatch(IDENTIFIER, p) for p in parts):
            if tree.qualified_found(parts):
                return None
            return "`%s`: not found in src/ or tests/" % name
        return None
    if not re.fullmatch(r"%s(\.%s)*" % (IDENTIFIER, IDENTIFIER), core):
        return None
    called = name.endswith("()")
    for part in core.split("."):
        if (code_shaped(part) or called) and not tree.has_token(part):
            return "`%s`: %s is not found in the tree's code" % (name, part)
    return None


def check_names(tree, doc, text):
    problems = []
    for line, name in inline_code(strip_fences(text)):
        why = check_name(tree, doc, name)
        if why:
            problems.append("%s:%d: %s: correct the name, or add it to EXTERNAL in "
                            "scripts/check-docs.py if it is another program's" % (doc, line, why))
    return problems


FIGURES = [
    (re.compile(r"\b\d[\d,]* of \d[\d,]*\b"), "a count of tests passed"),
    (re.compile(r"\b\d[\d,]*\s+(?:\w+\s+)?(?:tests?|test entries|test cases|cases)\b"),
     "a test count"),
    (re.compile(r"\b\d+(?:[.,]\d+)?\s*(?:min|minutes?|h|hours?|s|seconds?)\b(?!-)"),
     "a duration"),
]

TEST_COUNTS = [(re.compile(r"\b\d[\d,]*\s+(?:[\w-]+\s+){0,3}(?:tests?|test entries|test cases)\b"),
                "a test count"),
               (re.compile(r"\btests?\s+\(\s*\d[\d,]*\b"), "a test count")]

# Figures the docs give for a constant of the code: (what, the doc's figure (its number the
# first group), the constant's file, the constant (its value the first group), the doc's
# unit in the constant's).
PAIRED = [
    ("the lock's wait", r"\block\b[^.|]*?\b(\d+) s\b|\b(\d+) s for the lock\b",
     "src/profile/ProfileFile.h", r"DefaultLockTimeoutMs = (\d+)", 1000),
    ("the section's limit", r"\bsection's first ([\d,]+) bytes", "src/profile/ProfileFile.h",
     r"SectionBufferSize = (\d+)", 1),
    ("the installer's exit code for a running Korvani", r"^\| (\d+) \| Korvani runs",
     "packaging/windows/Korvani.nsi", r"!define EXIT_RUNNING (\d+)", 1),
    ("the installer's exit code for a file in use", r"^\| (\d+) \| `Korvani.exe` [^|]* in use",
     "packaging/windows/Korvani.nsi", r"!define EXIT_IN_USE (\d+)", 1),
    ("the installer's exit code for a folder that takes no file",
     r"^\| (\d+) \| install only: the folder takes no new file",
     "packaging/windows/Korvani.nsi", r"!define EXIT_NO_NEW_FILE (\d+)", 1),
]


def check_paired(tree, doc, text):
    problems = []
    plain = strip_fences(text)
    for what, figure, source, constant, unit in PAIRED:
        found = [m for m in re.finditer(figure, plain, re.M)]
        if not found:
            continue
        value = re.search(constant, tree.read(source))
        if not value:
            problems.append("%s: PAIRED in scripts/check-docs.py finds no %s in %s for %s: "
                            "correct the pair" % (doc, constant, source, what))
            continue
        for m in found:
            given = int(next(g for g in m.groups() if g).replace(",", "")) * unit
            if given != int(value.group(1)):
                problems.append("%s:%d: %s is given as %s, but %s has %s: give the constant's "
                                "value" % (doc, plain.count("\n", 0, m.start()) + 1, what,
                                           m.group(0).strip(), source, value.group(0)))
    if doc == "CONTRIBUTING.md":
        control = tree.read("debian/control")
        depends = re.search(r"^Build-Depends:(.*?)^\S", control, re.S | re.M)
        needed = re.findall(r"^\s*([a-z0-9][a-z0-9+.-]+)", depends.group(1).replace(",", "\n"),
                            re.M) if depends else []
        for m in re.finditer(r"^apt-get install (.*)$", text, re.M):  # in a code block
            missing = [p for p in needed if p not in m.group(1).split() and
                       not p.startswith("debhelper")]  # the package build's alone
            if missing:
                problems.append("%s:%d: the apt-get line lacks %s of debian/control's "
                                "Build-Depends" % (doc, text.count("\n", 0, m.start()) + 1,
                                                   " ".join(missing)))
    return problems


def check_figures(doc, text):
    # Elsewhere measurements are the doc's matter; a count of tests never is.
    patterns = FIGURES if doc in FIGURE_FILES else TEST_COUNTS
    problems = []
    plain = without_code(strip_fences(text))
    for number, line in enumerate(plain.split("\n"), 1):
        for pattern, what in patterns:
            for m in pattern.finditer(line):
                problems.append("%s:%d: \"%s\" is %s written by hand, which the next change "
                                "makes wrong: name the command that prints it instead (ctest "
                                "-N, time make ...)" % (doc, number, m.group(0), what))
    return problems


def check(root):
    docs = doc_files(root)
    tree = Tree(root, set(docs))
    cache = {}

    def read(relative):
        if relative not in cache:
            try:
                with open(os.path.join(root, relative), encoding="utf-8") as f:
                    cache[relative] = f.read()
            except OSError:
                cache[relative] = ""
        return cache[relative]

    problems = []
    for doc in docs:
        text = read(doc)
        problems += check_links(tree, doc, text, read)
        problems += check_names(tree, doc, text)
        problems += check_figures(doc, text)
        problems += check_paired(tree, doc, text)
    return problems


# --- Self-test -------------------------------------------------------------------------------

SELF_TEST_TREE = {
    "Makefile": "build: deps\n\tcmake\ntest-plain bench:\n\ttrue\nX := 1\n",
    "src/app/Run.h": "namespace runner { class Run { void writeAll(); int ChunkLimit; }; }\n"
                     "#define FALLOC_FL_KEEP 1\n",
    "src/app/Run.cpp": "void runner::Run::writeAll() {}\n",
    "src/platform/Desktop.h": "struct MessageBox;\n",
    "src/platform/Installation.cpp":
        'QString settingsFileName() {\n    return QStringLiteral("K.ini");',
    "src/platform/Installation_posix.cpp":
        'c = writableLocation(GenericConfigLocation);\nreturn c + QStringLiteral("/korvani/")',
    "src/platform/Installation_win.cpp":
        'c = fromNativeSeparators(qEnvironmentVariable("APPDATA"));\n'
        'c + QStringLiteral("/Korvani/")',
    "src/profile/ProfileFile.h": "DefaultLockTimeoutMs = 5000;\n",
    "packaging/windows/Korvani.nsi": "; /S silent; /AllUsers or /CurrentUser; /D=<folder>\n"
                                     "!define EXIT_RUNNING 3\n",
    "debian/control": "Build-Depends: debhelper-compat (= 13),\n cmake (>= 3.25),\n"
                      " python3 <!nocheck>,\nStandards-Version: 4\n",
    "tests/app/Run_test.cpp": "TEST(RunTest, KeepsTheFile) {}\nTEST(Formatter, Formats) {}\n",
    "resources/language/Korvani_EN.ini": "[frmMain]\n",
    "docs/other.md": "# Other\n\n## The kernel's limit\n\n## `make bench`\n\n"
                     "## The Wine-based check\n\n## Notes\n\n## Notes\n",
    "README.md": "# Read me\n",
    "CONTRIBUTING.md": "# Contributing\n",
}

# Each row: a line of docs/testing.md (or of the doc named first) and the part of the one
# problem it must give (None: no problem).
SELF_TEST_ROWS = [
    ("[ok](other.md#the-kernels-limit) and [ok](other.md#make-bench)", None),
    ("[same file](#testing) and [up](../README.md#read-me)", None),
    ("[dead link](missing.md)", "missing.md, which is not in the tree"),
    ("[dead anchor](other.md#the-kernel-limit)", "the anchor #the-kernel-limit"),
    ("[dead anchor here](#no-such-heading)", "the anchor #no-such-heading"),
    ("`runner::Run::writeAll`, `Run::writeAll()`, `ChunkLimit`, `writeAll`, `FL_KEEP`", None),
    ("`FL_KEEPS`", "FL_KEEPS is not found"),
    ("the constant `PieceBytes`", "PieceBytes is not found"),
    ("`Run::done()`", "`Run::done()`: not found"),
    ("`make build`, `make test-plain CHECK=1`, `make`", None),
    ("`make faults`", "the Makefile has no target faults"),
    ("`src/app/Run.cpp`, `src/platform/Desktop`, `language/Korvani_EN.ini`, `Run.h`", None),
    ("`src/app/Gone.cpp`", "`src/app/Gone.cpp`: no such file"),
    ("`Gone.h`", "`Gone.h`: no file of the tree"),
    ("`X.h`, `X_win.cpp`, `/usr/bin/korvani`, `build/bin/`, `Korvani`, `example.com=`", None),
    ("`sudo apt-get build-dep .`, `%APPDATA%\\Korvani`, \"All addresses were created.\"", None),
    ("`ctest --preset dev -N` prints how many tests there are", None),
    ("it passed 222 of 222", "a count of tests passed"),
    ("the suite holds 189 test entries", "a test count"),
    ("CI took 7 min", "a duration"),
    ("docs/notes.md", "the first build with its tests (217 then)", "a test count"),
    ("docs/notes.md", "it ran 203 GoogleTest and ctest tests", "a test count"),
    ("[ok](other.md#the-wine-based-check), [ok](other.md#notes-1)", None),
    ("[dead anchor](other.md#the-winebased-check)", "the anchor #the-winebased-check"),
    ("[dead anchor](other.md#notes-2)", "the anchor #notes-2"),
    ("`runner::Run::readAll`", "`runner::Run::readAll`: not found"),
    ("`CHUNK_LIMIT`", "CHUNK_LIMIT is not found"),
    ("`chunkLimit`", "chunkLimit is not found"),
    ("docs/notes.md", "the lock taken, it tries again for up to 5 s, `RunTest.KeepsTheFile`, "
     "`Formatter.Formats`, `~/.config/korvani/K.ini`, "
     "`%APPDATA%\\Korvani\\K.ini`, `~/.config/korvani`, `setup.exe /S /CurrentUser /D=C:\\K`, "
     "`/S`\n\n| 3 | Korvani runs |\n", None),
    ("docs/notes.md", "the lock taken, it tries again for up to 3 s", "the lock's wait"),
    ("docs/notes.md", "| 4 | Korvani runs: nothing changed |", "exit code for a running"),
    ("`setup.exe /S /AllUser`", "takes no switch /AllUser"),
    ("`~/.config/Korvani/K.ini`", "no code makes that path"),
    ("`%APPDATA%\\Korvani\\Korvani.ini`", "no code makes that path"),
    ("a run keeps its file (`RunTest.KeepsEveryLine`)", "no test of that name"),
    ("CONTRIBUTING.md", "```sh\napt-get install cmake\n```", "lacks python3"),
]


def self_test():
    failures = []
    for row in SELF_TEST_ROWS:
        doc, text, expected = row if len(row) == 3 else ("docs/testing.md",) + row
        with tempfile.TemporaryDirectory() as root:
            files = dict(SELF_TEST_TREE)
            files["docs/testing.md"] = "# Testing\n"
            title = "# Testing" if doc == "docs/testing.md" else "# Page"
            files[doc] = title + "\n\n" + text + "\n"
            for relative, content in files.items():
                os.makedirs(os.path.dirname(os.path.join(root, relative)), exist_ok=True)
                with open(os.path.join(root, relative), "w", encoding="utf-8") as f:
                    f.write(content)
            problems = check(root)
        wanted = [] if expected is None else [p for p in problems if expected in p]
        if (expected is None and problems) or (expected is not None and
                                               (len(problems) != 1 or not wanted)):
            failures.append("row %r: expected %s, got %s" % (
                text, "no problem" if expected is None else repr(expected), problems))
    for failure in failures:
        print(failure)
    print("self-test: %d of %d rows as expected" % (len(SELF_TEST_ROWS) - len(failures),
                                                      len(SELF_TEST_ROWS)))
    return 1 if failures else 0


def main(argv):
    if argv[1:] == ["--self-test"]:
        return self_test()
    root = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    problems = check(os.path.realpath(root))
    for problem in problems:
        print(problem)
    if problems:
        print("%d problem(s) in the docs" % len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
