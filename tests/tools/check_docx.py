#!/usr/bin/env python3
"""Checks DOCX packages with independent readers: Python's zipfile and python-docx.

  check_docx.py FILE...              every FILE must pass zipfile's CRC test and open in python-docx
  check_docx.py --same SRC DST ...   pairs: DST must also hold exactly SRC's members, byte for byte
Prints one line per failure and exits 1 when any file fails.
"""
import sys
import zipfile

import docx

from judges import bad_crc


def same(src, dst):
    with zipfile.ZipFile(src) as a, zipfile.ZipFile(dst) as b:
        names_a, names_b = sorted(n for n in set(a.namelist()) if not n.endswith("/")), sorted(b.namelist())
        if names_a != names_b:
            return "members differ: %s" % sorted(set(names_a) ^ set(names_b))
        return next(("member %s differs" % n for n in names_b if a.read(n) != b.read(n)), None)


def main(argv):
    same_pairs = argv[:1] == ["--same"]
    files = argv[1:] if same_pairs else argv
    jobs = list(zip(files[::2], files[1::2])) if same_pairs else [(None, f) for f in files]
    failures = 0
    for src, dst in jobs:
        try:
            why = bad_crc(dst)
            if not why:
                docx.Document(dst)
                why = same(src, dst) if src else None
        except Exception as e:  # any reader error is a failure of the file
            why = "%s: %s" % (type(e).__name__, e)
        if why:
            failures += 1
            print("FAIL %s: %s" % (dst, why))
    print("checked %d, failed %d" % (len(jobs), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
