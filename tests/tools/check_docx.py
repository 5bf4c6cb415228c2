#!/usr/bin/env python3
"""Checks DOCX packages with independent readers: Python's zipfile and python-docx.

  check_docx.py FILE...              every FILE must pass zipfile's CRC test and open in python-docx
  check_docx.py --same SRC DST ...   pairs: DST must also hold exactly SRC's members, byte for byte
Prints one line per failure and exits 1 when any file fails.
"""
import sys
import zipfile

import docx


def check(path):
    with zipfile.ZipFile(path) as z:
        bad = z.testzip()
        if bad is not None:
            return "bad CRC in %s" % bad
    docx.Document(path)
    return None


def same(src, dst):
    with zipfile.ZipFile(src) as a, zipfile.ZipFile(dst) as b:
        an, bn = sorted(set(a.namelist())), sorted(b.namelist())
        names_a = [n for n in an if not n.endswith("/")]
        if names_a != bn:
            return "members differ: %s" % sorted(set(names_a) ^ set(bn))
        for n in bn:
            if a.read(n) != b.read(n):
                return "member %s differs" % n
    return None


def main(argv):
    failures = 0
    if argv and argv[0] == "--same":
        pairs = argv[1:]
        jobs = [(pairs[i], pairs[i + 1]) for i in range(0, len(pairs) - 1, 2)]
    else:
        jobs = [(None, p) for p in argv]
    for src, dst in jobs:
        try:
            why = check(dst) or (same(src, dst) if src else None)
        except Exception as e:  # any reader error is a failure of the file
            why = "%s: %s" % (type(e).__name__, e)
        if why:
            failures += 1
            print("FAIL %s: %s" % (dst, why))
    print("checked %d, failed %d" % (len(jobs), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
