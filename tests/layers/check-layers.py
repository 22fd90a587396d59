#!/usr/bin/python3
"""Checks the layers from the build's own description (layers.txt, written by
CMake: each target, its folder, its sources and the libraries it links).

Fails when a file of a target includes a header of a library that the target does
not link, directly or through what it links; and when a plain library (one that
the window's layers do not hold) links Qt.

    check-layers.py LAYERS.txt SOURCE_DIR
"""
import functools
import os
import re
import sys

# The libraries above which Qt may appear; every other library is plain C++.
QT_LIBRARIES = {"varnolt_platform", "varnolt_grid", "varnolt_results_grid", "varnolt_plot", "varnolt_drawing",
                "varnolt_resources", "varnolt_app"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/([^"]+)"', re.M)


def read_targets(path):
    targets = {}
    with open(path, encoding="utf-8") as description:
        for line in description:
            name, folder, sources, links = (line.rstrip("\n").split("\t") + ["", "", ""])[:4]
            files = []
            for source in filter(None, sources.split(";")):
                files.append(os.path.normpath(source if os.path.isabs(source) else os.path.join(folder, source)))
            targets[name] = {"folder": folder, "files": files, "links": [l for l in links.split(";") if l]}
    return targets


def closure(targets, name):
    seen, todo = set(), [name]
    while todo:
        for link in targets.get(todo.pop(), {}).get("links", []):
            if link not in seen:
                seen.add(link)
                todo.append(link)
    return seen


@functools.lru_cache(maxsize=None)
def includes(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as source:
            return tuple(INCLUDE.findall(source.read()))
    except OSError:
        return ()


def main():
    targets = read_targets(sys.argv[1])
    root = os.path.normpath(sys.argv[2])
    folders = {os.path.basename(t["folder"]) for t in targets.values()}

    # Who offers a header: the targets that list it, or list the .cpp beside it,
    # or else whose sources include it; a header none of these claim belongs to
    # every target of its folder.
    def owners(header):
        stem = os.path.splitext(header)[0]
        found = {n for n, t in targets.items()
                 if header in t["files"] or any(os.path.splitext(f)[0] == stem for f in t["files"])}
        if not found:
            found = {n for n, t in targets.items()
                     if any(os.path.normpath(os.path.join(root, *inc)) == header
                            for f in t["files"] for inc in includes(f))}
        if not found:
            folder = os.path.dirname(header)
            found = {n for n, t in targets.items() if os.path.normpath(t["folder"]) == folder}
        return found

    problems = []
    for name, target in sorted(targets.items()):
        reach = closure(targets, name) | {name}
        files = list(target["files"])
        # The headers beside its sources are its own too.
        for f in target["files"]:
            header = os.path.splitext(f)[0] + ".h"
            if f.endswith(".cpp") and os.path.exists(header) and header not in files:
                files.append(header)
        for f in files:
            for folder, rest in includes(f):
                if folder not in folders:
                    continue
                header = os.path.normpath(os.path.join(root, folder, rest))
                offered = owners(header)
                if offered and not (offered & reach):
                    problems.append(f"{os.path.relpath(f, root)} includes {folder}/{rest} of "
                                    f"{' or '.join(sorted(offered))}, which {name} does not link")
        if name.startswith("varnolt_") and name not in QT_LIBRARIES:
            qt = sorted(l for l in closure(targets, name) if l.startswith("Qt6::"))
            if qt:
                problems.append(f"{name} is a plain library but links {', '.join(qt)}")
    for problem in problems:
        print("layers:", problem)
    print(f"layers: {len(targets)} targets checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
