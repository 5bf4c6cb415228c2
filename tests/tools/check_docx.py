#!/usr/bin/env python3
"""check_docx.py FILE...: every FILE must pass zipfile's CRC test and open in python-docx;
check_docx.py --same SRC DST ...: pairs, each DST must also hold exactly SRC's members, byte for byte;
check_docx.py --copies SRC DST ...: as --same, without python-docx (for sources it may not read either).
Prints one line per failure and exits 1 when any file fails."""
import sys
import zipfile

import docx

from judges import bad_crc


def failure(src, dst, readable=True):
    """Why `dst` fails (given `src`, when it does not hold exactly its members), or None."""
    try:
        why = bad_crc(dst)
        if why:
            return why
        if readable:
            docx.Document(dst)
        if not src:
            return None
        with zipfile.ZipFile(src) as a, zipfile.ZipFile(dst) as b:
            names_a, names_b = sorted(n for n in set(a.namelist()) if not n.endswith("/")), sorted(b.namelist())
            if names_a != names_b:
                return "members differ: %s" % sorted(set(names_a) ^ set(names_b))
            return next(("member %s differs" % n for n in names_b if a.read(n) != b.read(n)), None)
    except Exception as e:  # any reader error is a failure of the file
        return "%s: %s" % (type(e).__name__, e)


def main(argv):
    pairs = argv[:1] in (["--same"], ["--copies"])
    jobs = list(zip(argv[1::2], argv[2::2])) if pairs else [(None, f) for f in argv]
    if not jobs or (pairs and len(argv) % 2 == 0):
        sys.exit("check_docx.py: no files to check, or a source without its copy")
    readable = argv[:1] != ["--copies"]
    failures = [(dst, why) for src, dst in jobs for why in [failure(src, dst, readable)] if why]
    print("".join("FAIL %s: %s\n" % f for f in failures) + "checked %d, failed %d" % (len(jobs), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
