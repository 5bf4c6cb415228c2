#!/usr/bin/python3
"""compare_docxtpl.py LXDOCX WORKDIR: renders every template of make_templates.py with docxtpl
(`DocxTemplate(path).render(data, autoescape=True)`) and with `LXDOCX render`, and compares the text
python-docx reads from both (body, tables, headers, footers); then checks that each marked value carries
the formatting of its tag's first character. Prints every difference; exits 1 when there is one, 77 when
docxtpl is missing."""
import difflib
import json
import os
import sys

from needs import require

require(("docx", "python3-docx"), ("docxtpl", "python3-docxtpl"))

from docxtpl import DocxTemplate  # noqa: E402

import make_templates  # noqa: E402
from render_cli import render  # noqa: E402
from stories import mark_faults, repeated_bookmarks, story_lines, tags_left  # noqa: E402


def render_with_docxtpl(template, data, out):
    t = DocxTemplate(template)
    t.render(data, autoescape=True)
    t.save(out)


def compare_one(lxdocx, base):
    """The faults of one template (base path without extension): list of texts."""
    template, data_path = base + ".docx", base + ".json"
    with open(data_path, encoding="utf-8") as f:
        data = json.load(f)
    with open(base + ".marks.json", encoding="utf-8") as f:
        marks = json.load(f)
    reference, ours = base + ".docxtpl.docx", base + ".lxdocx.docx"
    render_with_docxtpl(template, data, reference)
    faults = ["docxtpl's own output: " + m for m in mark_faults(reference, marks)]
    if faults:
        return faults  # the marks are wrong, not the rendering
    done = render(lxdocx, template, data_path, ours)
    if done.returncode != 0:
        return ["lxdocx render failed (exit %d): %s" % (done.returncode, done.stderr.strip())]
    if done.stderr:
        faults.append("lxdocx render succeeded but wrote to stderr: %s" % done.stderr.strip())
    expected, got = story_lines(reference), story_lines(ours)
    if expected != got:
        shown = [[line.replace("\n", "\\n") for line in lines] for lines in (expected, got)]
        diff = difflib.unified_diff(shown[0], shown[1], "docxtpl", "lxdocx", lineterm="", n=1)
        faults.append("text differs:\n    " + "\n    ".join(diff))
    faults.extend("formatting: " + m for m in mark_faults(ours, marks))
    faults.extend("a bookmark repeats: " + b for b in repeated_bookmarks(ours))
    if not tags_left(reference):
        faults.extend("a tag is left: " + t for t in tags_left(ours))
    return faults


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    lxdocx, workdir = argv[1], argv[2]
    make_templates.main(["make_templates.py", workdir])
    names = sorted(n[:-len(".marks.json")] for n in os.listdir(workdir) if n.endswith(".marks.json"))
    failed = 0
    for name in names:
        faults = compare_one(lxdocx, os.path.join(workdir, name))
        print("%-28s %s" % (name, "same" if not faults else "DIFFERS"))
        for fault in faults:
            print("  " + fault)
        failed += bool(faults)
    print("%d of %d templates render as docxtpl renders them" % (len(names) - failed, len(names)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
