#!/usr/bin/env python3
"""Checks the shape of the source tree. A module is X.h with X.cpp and its system twins
X_posix.cpp / X_win.cpp in one folder.
- No include circle between modules.
- Every symbol an object file defines (strong, external) is named in its module's header;
  files without a header of their own (common/AskSaveFile.cpp) may be declared in a header
  of the folder that has no source of its own (common/ModCommonUi.h).
- Every folder under src/ that holds sources has its own CMakeLists.txt.
usage: check-tree.py SRC_DIR [NM OBJECT_DIR...]"""
import pathlib
import re
import subprocess
import sys

src = pathlib.Path(sys.argv[1]).resolve()
sources = [p for p in src.rglob("*") if p.suffix in (".h", ".cpp")]
problems = [f"{d.relative_to(src)}/ holds sources but no CMakeLists.txt"
            for d in sorted({p.parent for p in sources}) if not (d / "CMakeLists.txt").exists()]


def module_of(path):
    return str(path.relative_to(src).parent / re.sub(r"_(posix|win)$", "", path.stem))


graph = {}
for p in sources:
    edges = graph.setdefault(module_of(p), set())
    for included in re.findall(r'^#include "([^"]+)"', p.read_text(), re.M):
        if (src / included).exists() and module_of(src / included) != module_of(p):
            edges.add(module_of(src / included))

state = {}  # 1 while on the current path, 2 once done


def visit(node, path):
    state[node] = 1
    for nxt in sorted(graph.get(node, ())):
        if state.get(nxt) == 1:
            problems.append("include circle: " + " -> ".join(path[path.index(nxt):] + [nxt]))
        elif nxt not in state:
            visit(nxt, path + [nxt])
    state[node] = 2


for node in sorted(graph):
    if node not in state:
        visit(node, [node])


def declared(header):
    text = re.sub(r"//[^\n]*|/\*.*?\*/", "", header.read_text(), flags=re.S)
    return set(re.findall(r"operator\S+?(?=\()|~?\w+", text))


headerless = {}  # folder: its headers without a source of their own
for h in src.rglob("*.h"):
    if not any(h.with_name(h.stem + s).exists() for s in (".cpp", "_posix.cpp", "_win.cpp")):
        headerless.setdefault(h.parent, []).append(h)

nm, object_dirs = (sys.argv[2], sys.argv[3:]) if len(sys.argv) > 2 else (None, [])
for object_dir in object_dirs:
    for obj in pathlib.Path(object_dir).rglob("*.cpp.o"):
        rel = obj.relative_to(object_dir).with_suffix("")  # folder/X.cpp
        source = src / rel
        if not source.exists() or source.name == "main.cpp":
            continue  # generated (moc, uic, rcc), or the program's entry
        own = source.with_name(re.sub(r"_(posix|win)$", "", source.stem) + ".h")
        headers = [own] if own.exists() else headerless.get(source.parent, [])
        names = set().union(set(), *(declared(h) for h in headers))
        listing = subprocess.run([nm, "-C", "--defined-only", str(obj)], check=True,
                                 capture_output=True, text=True).stdout
        for kind, symbol in re.findall(r"^\S* ([TDBR]) (.*)$", listing, re.M):
            # the compiler's own, and AddressSanitizer's marker beside each global
            if symbol.startswith(("typeinfo", "vtable", "VTT", "guard variable", "__odr_asan")):
                continue
            pieces = [p for p in re.sub(r"<.*>", "", symbol.split("(")[0]).split("::") if p]
            # the name and its class (a lower-case qualifier is a namespace)
            wanted = [p for p in pieces[-2:] if not p[:1].islower() or p == pieces[-1]]
            if any(p not in names for p in wanted):
                where = own.relative_to(src) if own.exists() else "a header of its folder"
                problems.append(f"{rel} defines {symbol}, not declared in {where}")

for problem in problems:
    print(problem)
sys.exit(1 if problems else 0)
