#!/usr/bin/env python3
"""Checks the shape of the source tree.

A module is X.h with X.cpp and its system twins X_posix.cpp / X_win.cpp in one folder.
- No include circle between modules.
- Every symbol an object file defines (strong, external) is named in the header of its
  own module; a folder's routines without a header of their own (common/AskSaveFile.cpp)
  may be declared in a header of the folder that has no source of its own
  (common/ModCommonUi.h).
- Every folder under src/ that holds sources has its own CMakeLists.txt.

usage: check-tree.py SRC_DIR [NM OBJECT_DIR...]
"""
import pathlib
import re
import subprocess
import sys

src = pathlib.Path(sys.argv[1]).resolve()
problems = []


def module_of(path):
    """folder/X for X.h, X.cpp, X_posix.cpp, X_win.cpp"""
    rel = path.relative_to(src)
    stem = re.sub(r"_(posix|win)$", "", rel.stem)
    return str(rel.parent / stem)


sources = [p for p in src.rglob("*") if p.suffix in (".h", ".cpp")]

# Folders.
for folder in sorted({p.parent for p in sources}):
    if not (folder / "CMakeLists.txt").exists():
        problems.append(f"{folder.relative_to(src)}/ holds sources but no CMakeLists.txt")

# Include circles.
graph = {}
for p in sources:
    mine = module_of(p)
    edges = graph.setdefault(mine, set())
    for included in re.findall(r'^#include "([^"]+)"', p.read_text(), re.M):
        target = src / included
        if target.exists() and module_of(target) != mine:
            edges.add(module_of(target))

index, low, stack, on_stack, counter = {}, {}, [], set(), [0]


def connect(node):  # Tarjan's strongly connected components
    index[node] = low[node] = counter[0]
    counter[0] += 1
    stack.append(node)
    on_stack.add(node)
    for nxt in sorted(graph.get(node, ())):
        if nxt not in index:
            connect(nxt)
            low[node] = min(low[node], low[nxt])
        elif nxt in on_stack:
            low[node] = min(low[node], index[nxt])
    if low[node] == index[node]:
        group = []
        while True:
            member = stack.pop()
            on_stack.discard(member)
            group.append(member)
            if member == node:
                break
        if len(group) > 1:
            problems.append("include circle: " + " -> ".join(sorted(group)))


sys.setrecursionlimit(10000)
for node in sorted(graph):
    if node not in index:
        connect(node)

# Definitions against declarations.
def declarations(header):
    text = header.read_text()
    text = re.sub(r"//[^\n]*|/\*.*?\*/", "", text, flags=re.S)
    return set(re.findall(r"operator\S+?(?=\()|~?\w+", text))


if len(sys.argv) > 2:
    nm, object_dirs = sys.argv[2], sys.argv[3:]
    module_headers = {}
    for header in src.rglob("*.h"):
        has_source = any(header.with_name(header.stem + s).exists()
                         for s in (".cpp", "_posix.cpp", "_win.cpp"))
        if not has_source:
            module_headers.setdefault(header.parent, []).append(header)
    for object_dir in object_dirs:
        for obj in pathlib.Path(object_dir).rglob("*.cpp.o"):
            rel = obj.relative_to(object_dir).with_suffix("")  # folder/X.cpp
            source = src / rel
            if not source.exists():
                continue  # generated (moc, uic, rcc)
            own = source.with_name(re.sub(r"_(posix|win)$", "", source.stem) + ".h")
            headers = [own] if own.exists() else module_headers.get(source.parent, [])
            if source.name == "main.cpp":
                continue
            names = set().union(*(declarations(h) for h in headers)) if headers else set()
            listing = subprocess.run([nm, "-C", "--defined-only", str(obj)], check=True,
                                     capture_output=True, text=True).stdout
            for line in listing.splitlines():
                parts = line.split(" ", 2)
                if len(parts) < 3 or parts[1] not in "TDBR":
                    continue
                symbol = parts[2]
                if symbol.startswith(("typeinfo", "vtable", "VTT", "guard variable")):
                    continue
                qualified = re.sub(r"<.*>", "", symbol.split("(")[0])
                pieces = [p for p in qualified.split("::") if p]
                wanted = [p for p in pieces[-2:] if not p[:1].islower() or p == pieces[-1]]
                missing = [p for p in wanted if p not in names]
                if missing:
                    where = own.relative_to(src) if own.exists() else "a header of its folder"
                    problems.append(f"{rel} defines {symbol}, not declared in {where}")

for problem in problems:
    print(problem)
sys.exit(1 if problems else 0)
