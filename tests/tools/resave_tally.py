#!/usr/bin/env python3
"""Re-saves every DOCX of a folder with `lxdocx resave`, checks each result with
Python's zipfile and `unzip -t`, and compares the text of every body paragraph
before and after, as python-docx reads it (the runs of the paragraph, field
results aside).

  resave_tally.py LXDOCX CORPUS_DIR OUT_DIR

Prints the tally (files re-saved, files text-identical, each difference) and
exits 1 when a file that opens fails to re-save, or any text differs.
"""
import os
import subprocess
import sys
import zipfile

import docx
from docx.oxml.ns import qn
from docx.text.paragraph import Paragraph


def paragraph_text(p):
    """The text python-docx gives for the paragraph's runs, without the results of fields."""
    out, in_result = [], False
    for r in p.runs:
        chars = r._r.findall(qn("w:fldChar"))
        for c in chars:
            kind = c.get(qn("w:fldCharType"))
            if kind == "separate":
                in_result = True
            elif kind in ("begin", "end"):
                in_result = False
        if not in_result and not chars:
            out.append(r.text)
    return "".join(out)


def body_texts(path):
    d = docx.Document(path)
    return [paragraph_text(Paragraph(p, d)) for p in d.element.body.iter(qn("w:p"))]


def main(lxdocx, corpus, out_dir):
    os.makedirs(out_dir, exist_ok=True)
    files = sorted(f for f in os.listdir(corpus) if f.endswith(".docx"))
    resaved, identical, unreadable, refused, failures, differences = 0, 0, [], [], [], []
    for name in files:
        src, dst = os.path.join(corpus, name), os.path.join(out_dir, name)
        run = subprocess.run([lxdocx, "resave", src, dst], capture_output=True, text=True)
        if run.returncode != 0:
            # A file the library does not open is refused with its open error: not a re-save failure.
            info = subprocess.run([lxdocx, "info", src], capture_output=True, text=True)
            (refused if info.returncode != 0 else failures).append((name, run.stderr.strip()))
            continue
        resaved += 1
        with zipfile.ZipFile(dst) as z:
            if z.testzip() is not None:
                failures.append((name, "bad CRC in the re-saved package"))
                continue
        if subprocess.run(["unzip", "-tqq", dst], capture_output=True).returncode != 0:
            failures.append((name, "unzip -t refuses the re-saved package"))
            continue
        try:
            before = body_texts(src)
        except Exception as e:  # python-docx cannot read the source either
            unreadable.append((name, "%s: %s" % (type(e).__name__, e)))
            continue
        after = body_texts(dst)
        diffs = [(i, a, b) for i, (a, b) in enumerate(zip(before, after)) if a != b]
        if len(before) != len(after):
            diffs.append((-1, "%d paragraphs" % len(before), "%d paragraphs" % len(after)))
        if diffs:
            differences.append((name, diffs))
        else:
            identical += 1
    print("files: %d, re-saved: %d, text-identical: %d, refused at open: %d, unreadable by python-docx: %d"
          % (len(files), resaved, identical, len(refused), len(unreadable)))
    for name, why in refused:
        print("refused  %s: %s" % (name, why))
    for name, why in unreadable:
        print("python-docx cannot read the source %s: %s" % (name, why))
    for name, why in failures:
        print("FAILED   %s: %s" % (name, why))
    for name, diffs in differences:
        for i, a, b in diffs[:5]:
            print("DIFFERS  %s paragraph %d: %r -> %r" % (name, i, a[:60], b[:60]))
    return 1 if failures or differences else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
