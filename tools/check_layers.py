#!/usr/bin/env python3
"""Holds the program's folders to their layer order.

Reads every #include "..." of the product code, maps each file and each included header to its
folder, and fails when a folder includes one that the order below does not allow, when the folders
include each other in a circle, or when a file outside a ui/ folder includes a Qt header. Prints the
folder graph it found. Run from anywhere: python3 tools/check_layers.py [source root]
"""
import os
import re
import sys

# Lowest first: a folder may include itself and any folder before it.
ORDER = ["language", "base", "net", "upstream", "filter", "stores", "proxy", "update", "ui", "app"]
# Plug-ins are built against the C interface alone (and Qt in their ui/ folders). That C header
# (filter/plugin_api) holds the message records the message model in upstream/ fills, and includes
# nothing: every layer may include it.
PLUGIN_ALLOWED = {"plugins", "filter/plugin_api"}
PRODUCT = ORDER + ["plugins"]
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT_HEADER = re.compile(r"^Q[A-Za-z]+(/|$)|^Qt[A-Za-z]*/")


def folder_of(path):
    """The layer a source path belongs to ("filter/plugin_api" is its own)."""
    if path.startswith("filter/plugin_api/"):
        return "filter/plugin_api"
    return path.split("/", 1)[0]


def allowed(source, target):
    if source == target:
        return True
    # Data files (the string texts) and the pure C plug-in header include nothing of ours.
    if target == "resources":
        return True
    if source == "plugins":
        return target in PLUGIN_ALLOWED
    if target == "filter/plugin_api":
        return True
    if source == "filter/plugin_api":
        return False
    if source not in ORDER or target not in ORDER:
        return False
    return ORDER.index(target) < ORDER.index(source)


def product_files(root):
    for top in PRODUCT:
        base = os.path.join(root, top)
        for directory, _, names in os.walk(base):
            for name in sorted(names):
                if name.endswith((".h", ".cpp", ".c")):
                    full = os.path.join(directory, name)
                    yield os.path.relpath(full, root).replace(os.sep, "/")


def resolve(root, source, header):
    """The repository path an include names, or None for a system header."""
    if os.path.isfile(os.path.join(root, header)):
        return header
    # Plug-ins include their siblings relative to plugins/ and the C header by its name.
    for prefix in ("plugins/", "filter/plugin_api/", os.path.dirname(source) + "/"):
        if os.path.isfile(os.path.join(root, prefix + header)):
            return prefix + header
    return None


def find_cycle(edges):
    state = {}
    stack = []

    def visit(node):
        state[node] = 1
        stack.append(node)
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == 1:
                return stack[stack.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt)
                if found:
                    return found
        stack.pop()
        state[node] = 2
        return None

    for node in sorted(edges):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    faults = []
    edges = {}
    for path in product_files(root):
        source = folder_of(path)
        in_ui = "/ui/" in "/" + path
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as text:
            for number, line in enumerate(text, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                header = match.group(2)
                if QT_HEADER.match(header) and not in_ui:
                    faults.append(f"{path}:{number}: Qt header <{header}> outside a ui/ folder")
                    continue
                target_path = resolve(root, path, header) if match.group(1) == '"' else None
                if target_path is None:
                    continue
                target = folder_of(target_path)
                if target != source:
                    edges.setdefault(source, set()).add(target)
                if not allowed(source, target):
                    faults.append(f"{path}:{number}: {source}/ may not include {target_path}")
    print("folder graph (folder -> folders it includes):")
    for node in sorted(edges, key=lambda n: (ORDER.index(n) if n in ORDER else len(ORDER), n)):
        print(f"  {node} -> {', '.join(sorted(edges[node]))}")
    cycle = find_cycle(edges)
    if cycle:
        faults.append("folders include each other in a circle: " + " -> ".join(cycle))
    for fault in faults:
        print(fault, file=sys.stderr)
    print("layer check: " + ("failed, %d faults" % len(faults) if faults else "no cycle, every include allowed"))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
