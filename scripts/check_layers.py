#!/usr/bin/env python3
"""Checks that every include stays within the layers a file may use.

The library is built in layers, one folder of src/ each:

    base -> zip -> xml -> package -> html -> reader | writer -> convert
                                                      writer -> template

A file may include the headers of its own layer and the public headers of the
layers below it; the headers in a layer's internal/ folder are that layer's
alone; the reader and the writer never include each other, nor do convert and
template. Above the layers:
exports/ uses the public headers of every layer; tools/ and bench/ use the
public header (include/) and the headers of src/convert only; tests/ and fuzz/
reach each layer (exports/ too, for tests) through its public headers.

Usage: check_layers.py [ROOT]   (default: the tree this script is in)
Prints each include that breaks a rule, and exits 1 when there is one.
"""
import os
import re
import sys

LAYERS = ["base", "zip", "xml", "package", "html", "reader", "writer", "convert", "template"]
# Layers of one rank stand side by side and never include each other.
RANK = {"base": 0, "zip": 1, "xml": 2, "package": 3, "html": 4, "reader": 5, "writer": 5, "convert": 6, "template": 6}
SOURCE_ENDINGS = (".h", ".hpp", ".c", ".cpp")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def source_files(root, folder):
    for base, dirs, files in os.walk(os.path.join(root, folder)):
        dirs.sort()
        for name in sorted(files):
            if name.endswith(SOURCE_ENDINGS):
                yield os.path.join(base, name)


class Header:
    """Where a header lives: its layer (None outside src/), whether it is internal."""

    def __init__(self, root, path):
        parts = os.path.relpath(path, root).split(os.sep)
        self.path = "/".join(parts)
        self.layer = parts[1] if parts[0] == "src" and len(parts) > 2 else None
        self.internal = "internal" in parts[2:-1]
        self.area = parts[0]


def headers_by_name(root):
    found = {}
    for folder in ("src", "include", "exports", "tools", "tests", "fuzz", "bench"):
        for path in source_files(root, folder):
            if path.endswith((".h", ".hpp")):
                found.setdefault(os.path.basename(path), []).append(Header(root, path))
    return found


def layer_allows(layer, header):
    if header.layer is None:
        return False
    if header.internal:
        return header.layer == layer
    return header.layer == layer or RANK[header.layer] < RANK[layer]


def area_allows(area, own_folder, header):
    """What a file outside src/ may include."""
    if header.area == area and (area != "tools" or header.path.startswith(own_folder)):
        return True
    if header.area == "include" or (area == "tests" and header.area == "exports"):
        return True
    if header.layer is None or header.internal:
        return False
    if area in ("tools", "bench"):
        return header.layer == "convert"
    return area in ("exports", "tests", "fuzz")


def check(root):
    headers = headers_by_name(root)
    faults = []
    for path in source_files(root, "src"):
        parts = os.path.relpath(path, root).split(os.sep)
        if len(parts) < 3 or parts[1] not in LAYERS:
            faults.append("%s: not in the folder of a layer (%s)" % ("/".join(parts), ", ".join(LAYERS)))
    for area in ("src", "exports", "tools", "bench", "tests", "fuzz"):
        for path in source_files(root, area):
            rel = os.path.relpath(path, root)
            parts = rel.split(os.sep)
            layer = parts[1] if area == "src" and len(parts) > 2 and parts[1] in LAYERS else None
            if area == "src" and layer is None:
                continue  # already reported
            with open(path, encoding="utf-8", errors="replace") as f:
                text = f.read()
            for name in INCLUDE.findall(text):
                candidates = headers.get(os.path.basename(name), [])
                if not candidates:
                    continue  # a generated or system header
                if len(candidates) > 1:
                    faults.append("%s: \"%s\" names %d headers (%s)"
                                  % (rel, name, len(candidates), ", ".join(h.path for h in candidates)))
                    continue
                header = candidates[0]
                own_folder = os.path.dirname(rel).replace(os.sep, "/")
                ok = layer_allows(layer, header) if area == "src" else area_allows(area, own_folder, header)
                if not ok:
                    faults.append("%s: includes %s" % (rel, header.path))
    return faults


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    faults = check(root)
    for fault in faults:
        print(fault)
    print("%d include%s out of place" % (len(faults), "" if len(faults) == 1 else "s"))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
