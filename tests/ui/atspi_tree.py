#!/usr/bin/python3
"""Prints the accessibility tree that Korvani shows on the AT-SPI bus (what Orca reads):
each object's role, name, relations and value. Exits 1 when a focusable control that is
shown has no name, or when the program is not on the bus. Run by atspi_tree.sh."""
import sys
import time

import pyatspi


def find_app(name):
    for _ in range(50):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == name:
                return app
        time.sleep(0.2)
    return None


def relations(node):
    shown = []
    for relation in node.getRelationSet():
        kind = pyatspi.relationToString(relation.getRelationType()).lower()
        for i in range(relation.getNTargets()):
            target = relation.getTarget(i)
            shown.append("%s=%r" % (kind, target.name if target else None))
    return shown


def dump(node, depth, unnamed):
    role = node.getRoleName()
    state = node.getState()
    line = "%s[%s] %r" % ("  " * depth, role, node.name)
    line += "".join(" " + r for r in relations(node))
    try:
        line += " value=%g" % node.queryValue().currentValue
    except NotImplementedError:
        pass
    print(line)
    if (state.contains(pyatspi.STATE_FOCUSABLE) and state.contains(pyatspi.STATE_SHOWING)
            and not node.name):
        unnamed.append(line.strip())
    if role == "table":  # the cells are the addresses; a few are enough
        for i in range(min(node.childCount, 4)):
            print("%s  [cell] %r" % ("  " * depth, node.getChildAtIndex(i).name))
        return
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            dump(child, depth + 1, unnamed)


app = find_app(sys.argv[1] if len(sys.argv) > 1 else "Korvani")
if app is None:
    print("Korvani is not on the accessibility bus")
    sys.exit(1)
unnamed = []
dump(app, 0, unnamed)
for line in unnamed:
    print("unnamed: " + line)
sys.exit(1 if unnamed else 0)
