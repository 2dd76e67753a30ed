#!/usr/bin/env python3
"""Checks the include lines under src/ against the layers of the code.

Modules run upwards: util < core < db < lists, messages, mailings < harvest, send, import < mailbox < app.
A module includes its own files and those of lower modules only. Logic (src/<module>/) includes no
window (no ui/ folder); a window folder (src/<module>/ui/) may include its own module, lower modules
and the ui/ folders of lower modules. Windows never include the SQL headers, hold the text of an SQL
statement or open a database: their data comes through their module's classes. Include circles that span two modules fail as well.

Usage: check_layers.py [SRC_DIR]   (default: the src/ folder beside this script's folder)
Exit status 0 when every rule holds, 1 otherwise (each fault on its own line).
"""

import os
import re
import sys

LAYERS = [
    ["util"],
    ["core"],
    ["db"],
    ["lists", "messages", "mailings"],
    ["harvest", "send", "import"],
    ["mailbox"],
    ["app"],
]
RANK = {module: rank for rank, modules in enumerate(LAYERS) for module in modules}
SQL_HEADERS = {"sqlite3.h", "db/Database.h"}
SOURCE_SUFFIXES = (".h", ".cpp")
# The program's entry point links the windows as well as the logic.
ENTRY_POINTS = {"app/main.cpp"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
# What a window may not hold either: the text of an SQL statement in a string, or a database opened.
SQL_TEXT = re.compile(
    r'"[^"]*\b(SELECT\b[^"]*\bFROM|INSERT\s+INTO|DELETE\s+FROM|UPDATE\s+\S+\s+SET|'
    r'CREATE\s+(TABLE|INDEX)|DROP\s+TABLE|ALTER\s+TABLE)\b'
)
DATABASE_OPEN = re.compile(r"\b(CentralDatabase::open|Database::open|sqlite3_open\w*)\s*\(")


def part_of(path):
    """(module, is_window) of a path relative to src/, or None for a file outside the modules."""
    pieces = path.split("/")
    if len(pieces) < 2 or pieces[0] not in RANK:
        return None
    return pieces[0], len(pieces) > 2 and pieces[1] == "ui"


def unit(path):
    """A header and its source are one unit of the include graph."""
    return os.path.splitext(path)[0]


def read_includes(src, path):
    """The includes of one file: (line number, bracket, name, resolved path relative to src/ or None)."""
    found = []
    with open(os.path.join(src, path), encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            bracket, name = match.groups()
            resolved = None
            if bracket == '"':
                beside = os.path.normpath(os.path.join(os.path.dirname(path), name))
                if os.path.isfile(os.path.join(src, name)):
                    resolved = os.path.normpath(name)
                elif os.path.isfile(os.path.join(src, beside)):
                    resolved = beside
            found.append((number, bracket, name, resolved))
    return found


def layer_faults(path, includes):
    faults = []
    own = part_of(path)
    if own is None:
        return faults
    module, window = own
    window = window or path in ENTRY_POINTS
    for number, _, name, resolved in includes:
        where = f"{path}:{number}: "
        if window and name in SQL_HEADERS:
            faults.append(where + f"a window includes the SQL header {name}")
            continue
        if resolved is None:
            continue
        target = part_of(resolved)
        if target is None:
            continue
        target_module, target_window = target
        if target_window and not window:
            faults.append(where + f"logic of {module} includes the window header {resolved}")
        elif target_module != module and RANK[target_module] >= RANK[module]:
            faults.append(where + f"{module} includes {resolved} of {target_module}, which is not below it")
    return faults


def window_sql_faults(src, path):
    """SQL statements and opened databases in a window's source."""
    own = part_of(path)
    if own is None or not own[1]:
        return []
    faults = []
    with open(os.path.join(src, path), encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            if line.lstrip().startswith(("//", "*")):
                continue  # a comment may speak of either
            statement = SQL_TEXT.search(line)
            if statement:
                faults.append(f"{path}:{number}: a window holds the SQL statement text {statement.group(1)!r}")
            opened = DATABASE_OPEN.search(line)
            if opened:
                faults.append(f"{path}:{number}: a window opens a database ({opened.group(1)})")
    return faults


def strongly_connected(graph):
    """Tarjan's algorithm, iterative: the components with more than one unit."""
    index, low, on_stack, stack, components = {}, {}, set(), [], []
    counter = 0
    for root in graph:
        if root in index:
            continue
        work = [(root, iter(sorted(graph[root])))]
        index[root] = low[root] = counter
        counter += 1
        stack.append(root)
        on_stack.add(root)
        while work:
            node, edges = work[-1]
            advanced = False
            for target in edges:
                if target not in index:
                    index[target] = low[target] = counter
                    counter += 1
                    stack.append(target)
                    on_stack.add(target)
                    work.append((target, iter(sorted(graph.get(target, ())))))
                    advanced = True
                    break
                if target in on_stack:
                    low[node] = min(low[node], index[target])
            if advanced:
                continue
            work.pop()
            if work:
                parent = work[-1][0]
                low[parent] = min(low[parent], low[node])
            if low[node] == index[node]:
                component = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    component.append(member)
                    if member == node:
                        break
                if len(component) > 1:
                    components.append(sorted(component))
    return components


def folder_of(unit_path):
    """The module a unit belongs to, its window folder counted apart ("lists/ui")."""
    part = part_of(unit_path + ".h") or part_of(unit_path + ".cpp")
    if part is None:
        return os.path.dirname(unit_path) or "."
    module, window = part
    return module + "/ui" if window else module


def check(src):
    faults = []
    graph = {}
    for folder, _, files in os.walk(src):
        for file_name in sorted(files):
            if not file_name.endswith(SOURCE_SUFFIXES):
                continue
            path = os.path.relpath(os.path.join(folder, file_name), src).replace(os.sep, "/")
            includes = read_includes(src, path)
            faults += layer_faults(path, includes)
            faults += window_sql_faults(src, path)
            edges = graph.setdefault(unit(path), set())
            for _, _, _, resolved in includes:
                if resolved and unit(resolved) != unit(path):
                    edges.add(unit(resolved))
    for component in strongly_connected(graph):
        folders = sorted({folder_of(member) for member in component})
        if len(folders) > 1:
            faults.append(
                f"an include circle of {len(component)} files spans {', '.join(folders)}: {' '.join(component)}"
            )
    return faults


def main():
    default = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "src")
    src = sys.argv[1] if len(sys.argv) > 1 else default
    if not os.path.isdir(src):
        print(f"No source folder {src}", file=sys.stderr)
        return 2
    faults = check(src)
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} layering fault(s) under {src}", file=sys.stderr)
        return 1
    print(f"The includes under {src} keep to the layers.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
