#!/usr/bin/env python3
"""reading_tally.py LXDOCX CORPUS_DIR CACHE_DIR [--min NAME=PERCENT]...: compares `lxdocx text --json --pages`
of every DOCX of a folder with LibreOffice's text export, flat ODF and PDF of it (kept in CACHE_DIR per SHA-1)
by the FIGURES below; exits 1 when lxdocx crashed or a rate is below its --min (what differs is then listed),
77 without LibreOffice."""
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from collections import defaultdict
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import judges

NS = dict({p: "urn:oasis:names:tc:opendocument:xmlns:%s:1.0" % n for p, n in
           (("text", "text"), ("table", "table"), ("draw", "drawing"), ("office", "office"), ("style", "style"))},
          xlink="http://www.w3.org/1999/xlink")
PAGE_PLACEHOLDERS = "\ufffe\ufffd"
LO_READING_VERSION = 3  # bump when what is kept of LibreOffice's reading changes
MAX_LABEL = 24  # characters a list label of an empty item may hold
LO_TEXT_BULLETS = "\u2022\u25e6\u25aa"  # LibreOffice's text export writes every bullet as one of these
# Paragraphs: non-empty lines in order (documents: all of LibreOffice's read), their labels; tables: the same cell
# texts in place; pictures: in the same paragraph; links in order; headers, footers: lines as a set; pages (long: 3+).
FIGURES = ("paragraphs", "documents", "labels", "tables", "pictures", "internal links", "fragment links",
           "headers", "footers", "pages", "long pages")


def q(prefix, name):
    return "{%s}%s" % (NS[prefix], name)


def key(text):
    """Text compared without any whitespace."""
    return re.sub(r"\s+", "", text)


SKIPPED = {q("draw", "frame"), q("draw", "g"), q("draw", "custom-shape"), q("office", "annotation"),
           q("text", "note-body"), q("draw", "a")}
BREAKS = {q("text", "tab"): "\t", q("text", "line-break"): "\n"}
PARAGRAPHS = {q("text", "p"), q("text", "h")}


def odf_text(el, out=None):
    """Visible text of a paragraph: spaces, tabs, breaks as text; frames, notes, annotations left out."""
    out = [] if out is None else out
    out.append(el.text or "")
    for c in el:
        if c.tag == q("text", "s"):
            out.append(" " * int(c.get(q("text", "c"), "1")))
        elif c.tag in BREAKS:
            out.append(BREAKS[c.tag])
        elif c.tag not in SKIPPED and not c.tag.endswith("}tracked-changes"):
            odf_text(c, out)
        out.append(c.tail or "")
    return "".join(out)


def picture_frames(el):
    """Frames below `el` showing a picture (an image, or an OLE object's image), text boxes searched too."""
    found = 0
    for c in el:
        if c.tag == q("draw", "frame"):
            kinds = {g.tag for g in c}
            found += (q("draw", "image") in kinds and q("draw", "object") not in kinds) + picture_frames(c)
        elif c.tag not in PARAGRAPHS:
            found += picture_frames(c)
    return found


def walk_odf(el, tables, pictures, texts):
    """Tables (flat, each a list of [row, column, text], a table before the ones nested in it) and pictures
    (the text key of the paragraph holding each) in document order; `texts` takes the paragraphs' texts."""
    for c in el:
        if c.tag == q("table", "table"):
            texts.extend(text for _, _, text in read_table(c, tables, pictures))
        elif c.tag in PARAGRAPHS:
            texts.append(odf_text(c))
            pictures.extend([key(texts[-1])] * picture_frames(c))
        elif not c.tag.endswith("}tracked-changes"):
            walk_odf(c, tables, pictures, texts)


def table_rows(el):
    for c in el:
        if c.tag == q("table", "table-row"):
            yield c
        elif c.tag in (q("table", "table-header-rows"), q("table", "table-rows"), q("table", "table-row-group")):
            yield from table_rows(c)


def read_table(el, tables, pictures):
    cells = []
    tables.append(cells)
    for r, row in enumerate(table_rows(el)):
        col = 0
        for cell in row:
            repeat = int(cell.get(q("table", "number-columns-repeated"), "1"))
            if cell.tag == q("table", "table-cell"):
                texts = []
                walk_odf(cell, tables, pictures, texts)
                cells.extend([r, col + i, "\n".join(texts)] for i in range(min(repeat, 64)))
            if cell.tag in (q("table", "table-cell"), q("table", "covered-table-cell")):
                col += repeat
    return cells


def page_parts(root, kinds):
    """Lines of the shown headers (or footers) of the page styles."""
    masters = root.find(q("office", "master-styles"))
    return [odf_text(p) for page in (masters if masters is not None else []) for kind in kinds
            for part in [page.find(q("style", kind))]
            if part is not None and part.get(q("style", "display"), "true") != "false"
            for p in part.iter() if p.tag in PARAGRAPHS]


def lo_reading(txt_path, fodt_path, pdf_path):
    root = ET.parse(fodt_path).getroot()
    text = root.find(q("office", "body")).find(q("office", "text"))
    tables, pictures = [], []
    walk_odf(text, tables, pictures, [])
    pages = re.search(r"^Pages:\s+(\d+)", subprocess.run(["pdfinfo", pdf_path], capture_output=True, text=True).stdout,
                      re.M)
    return {"version": LO_READING_VERSION, "lines": judges.read_text(txt_path).splitlines(), "tables": tables,
            "pictures": pictures, "links": [a.get(q("xlink", "href"), "") for a in text.iter(q("text", "a"))],
            "headers": page_parts(root, ("header", "header-left", "header-first")),
            "footers": page_parts(root, ("footer", "footer-left", "footer-first")),
            "pages": int(pages.group(1)) if pages else None}


def lo_readings(corpus, names, cache):
    """LibreOffice's reading of each file, from the cache or converted (three exports side by side)."""
    os.makedirs(cache, exist_ok=True)
    readings, missing = {}, []
    for name in names:
        with open(os.path.join(corpus, name), "rb") as f:
            cached = os.path.join(cache, hashlib.sha1(f.read()).hexdigest() + ".json")
        readings[name] = json.loads(Path(cached).read_text(encoding="utf-8")) if os.path.exists(cached) else {}
        if readings[name].get("version") != LO_READING_VERSION:
            missing.append((name, cached))
    if not missing:
        return readings
    # The PDF keeps the blank pages that odd- and even-page section breaks insert.
    targets = {"txt": "txt:Text", "fodt": "fodt",
               "pdf": 'pdf:writer_pdf_Export:{"IsSkipEmptyPages":{"type":"boolean","value":"false"}}'}
    with tempfile.TemporaryDirectory(prefix="reading-tally-") as work:
        files = [os.path.join(corpus, name) for name, _ in missing]
        with ThreadPoolExecutor(len(targets)) as pool:
            list(pool.map(lambda t: judges.convert(files, t[1], os.path.join(work, t[0])), targets.items()))
        for name, cached in missing:
            paths = [judges.converted(os.path.join(work, sub), name, sub) for sub in targets]
            readings[name] = lo_reading(*paths) if all(map(os.path.exists, paths)) else None  # None: LO fails too
            if readings[name]:
                Path(cached).write_text(json.dumps(readings[name]), encoding="utf-8")
    return readings


def our_readings(lxdocx, corpus, names):
    """lxdocx text over all files at once: the readings by file name, and the exit status when it crashed."""
    done = subprocess.run([lxdocx, "text", "--json", "--pages"] + [os.path.join(corpus, n) for n in names],
                          capture_output=True, text=True, errors="replace")
    readings = {}
    for line in done.stdout.split("\n"):  # not splitlines: texts hold line separators
        try:
            obj = json.loads(line)
        except ValueError:
            continue
        readings[obj["file"]] = obj
    return readings, done.returncode if done.returncode < 0 or done.returncode > 1 else None


# A label LibreOffice shows that the library may not: a number, letter or roman numeral with its punctuation, or a bullet.
LABEL_LIKE = re.compile(r"^(\(?[0-9A-Za-z]{1,8}[.)]?)+$|^[%s\u2013*\-]$" % LO_TEXT_BULLETS)
LEADER = re.compile(r"( \.)+ ?\t")  # contents lines show their leader's dots; LibreOffice writes the tab


class Line:
    def __init__(self, label, text, bullet=False):
        self.label, self.text, self.bullet = label, LEADER.sub("\t", text), bullet
        self.full, self.text_key = key(label + self.text), key(self.text)
        parts = re.split("[%s]" % PAGE_PLACEHOLDERS, self.full)  # page placeholders stand for any number
        self.pattern = re.compile("^" + r"\d+".join(map(re.escape, parts)) + "$") if len(parts) > 1 else None

    def same(self, lo):
        if self.bullet and lo[:1] in LO_TEXT_BULLETS and lo[1:] == self.text_key:
            return True
        return lo == self.full or bool(self.pattern and self.pattern.match(lo))

    def same_text(self, lo):
        """LibreOffice's line is this text, maybe behind a label of its own."""
        if self.same(lo):
            return True
        if not self.text_key:
            return len(lo) <= MAX_LABEL and bool(self.label)
        prefix = lo[:len(lo) - len(self.text_key)]
        return lo.endswith(self.text_key) and (bool(self.label) or bool(LABEL_LIKE.match(prefix)))


def align(ours, theirs, match):
    """Longest common subsequence of two lists under `match`: pairs of indices."""
    n, m = len(ours), len(theirs)
    best = [[0] * (m + 1) for _ in range(n + 1)]
    for i in range(n - 1, -1, -1):
        for j in range(m - 1, -1, -1):
            best[i][j] = best[i + 1][j + 1] + 1 if match(ours[i], theirs[j]) else max(best[i + 1][j], best[i][j + 1])
    pairs, i, j = [], 0, 0
    while i < n and j < m:
        if match(ours[i], theirs[j]) and best[i][j] == best[i + 1][j + 1] + 1:
            pairs.append((i, j))
            i, j = i + 1, j + 1
        elif best[i + 1][j] >= best[i][j + 1]:
            i += 1
        else:
            j += 1
    return pairs


def our_lines(reading):
    lines = (Line(label if k == 0 else "", piece, bullet and k == 0) for label, text, _, _, bullet in reading["blocks"]
             for k, piece in enumerate(re.split("[\n\u2028]", text)))  # a line break inside a block
    return [line for line in lines if line.full]


def table_key(cells):
    """Each row's cell texts in order, empty cells kept (they hold the others in their columns), trailing
    empty ones left out; column spans not compared (LibreOffice merges grid columns narrower than a line)."""
    rows = defaultdict(list)
    for r, c, t in cells:
        rows[r].append((c, key(t)))
    out = []
    for r in sorted(rows):
        texts = [t for _, t in sorted(rows[r])]
        while texts and not texts[-1]:
            texts.pop()
        out.append(texts)
    return out


class Tally:
    """Per figure: [agreed, total] and what differs (listed when the figure falls below its minimum)."""

    def __init__(self):
        self.counts, self.details = defaultdict(lambda: [0, 0]), defaultdict(list)

    def add(self, what, agreed, total, *differences):
        self.counts[what][0] += agreed
        self.counts[what][1] += total
        self.details[what].extend(differences)

    def rate(self, what):
        a, t = self.counts[what]
        return 100.0 * a / t if t else 100.0

    def aligned(self, what, mine, theirs, match, describe=lambda pairs: []):
        """Tallies the items of LibreOffice's list found in order in ours; `describe(pairs)` lists what differs."""
        pairs = align(mine, theirs, match)
        self.add(what, len(pairs), len(theirs), *(describe(pairs) if len(pairs) < len(theirs) else []))
        return pairs


def compare(name, ours, lo, tally):
    mine, theirs = our_lines(ours), [key(l) for l in lo["lines"] if key(l)]
    pairs = align(mine, theirs, lambda a, b: a.same_text(b))
    matched_ours, matched_lo = {i for i, _ in pairs}, {j for _, j in pairs}
    tally.add("paragraphs", len(pairs), max(len(mine), len(theirs)),
              *["%s: missing paragraph %r" % (name, line[:70]) for j, line in enumerate(theirs) if j not in matched_lo],
              *["%s: extra paragraph %r" % (name, (line.label + " " + line.text).strip()[:70])
                for i, line in enumerate(mine) if i not in matched_ours])
    tally.add("documents", int(len(pairs) == len(theirs)), 1)  # every line of LibreOffice's is read
    for a, b in ((mine[i], theirs[j]) for i, j in pairs):
        if a.label or b != a.full:  # a label on either side
            wrong = [] if a.same(b) else ["%s: label %r, LibreOffice reads %r" % (name, a.full[:50], b[:50])]
            tally.add("labels", int(not wrong), 1, *wrong)
    theirs = [table_key(t) for t in lo["tables"]]
    tally.aligned("tables", [table_key([[r, c, t] for r, c, _, _, t in t["cells"]]) for t in ours["tables"]], theirs,
                  lambda a, b: a == b, lambda pairs: ["%s: table %d differs: LibreOffice %s" % (name, j, str(t)[:120])
                                                      for j, t in enumerate(theirs) if j not in {j for _, j in pairs}])
    # Pictures: the paragraphs holding one are the same, or one holds the other's text (text boxes' lines around).
    mine, theirs = [key(b[1]) for b in ours["blocks"] for _ in range(b[2])], lo["pictures"]
    tally.aligned("pictures", mine, theirs, lambda a, b: b in a or bool(a and a in b), lambda pairs: [
        "%s: pictures: %d of LibreOffice's %d in place, %d shown" % (name, len(pairs), len(theirs), len(mine))])
    for what, kept in (("internal links", lambda h: h.startswith("#")),
                       ("fragment links", lambda h: not h.startswith("#") and "#" in h)):
        theirs = [h for h in lo["links"] if kept(h)]
        tally.aligned(what, [h for h in ours.get("links", []) if kept(h)], theirs, lambda a, b: a == b,
                      lambda pairs: ["%s: %s: %d of %d, e.g. LibreOffice %r"
                                     % (name, what, len(pairs), len(theirs), theirs[len(pairs)][:60])])
    for what in ("headers", "footers"):  # lines compared with page numbers as any number
        mine, theirs = ({re.sub(r"[\d%s]+" % PAGE_PLACEHOLDERS, "#", key(t).replace("\ufffc", "")) for t in lines} - {""}
                        for lines in (ours.get(what, []), lo[what]))
        if mine or theirs:
            tally.add(what, int(mine == theirs), 1, *[] if mine == theirs else [
                "%s: %s: only ours %s, only LibreOffice's %s" % (name, what, sorted(mine - theirs)[:3],
                                                                  sorted(theirs - mine)[:3])])
    if lo.get("pages"):
        same = ours.get("pages") == lo["pages"]
        tally.add("pages", int(same), 1, *[] if same else ["%s: %s pages, LibreOffice %d" % (name, ours.get("pages"),
                                                                                            lo["pages"])])
        tally.add("long pages", int(same and lo["pages"] >= 3), int(lo["pages"] >= 3))


def main(argv):
    lxdocx, corpus, cache = argv[:3]
    minimums = [(what, float(rate)) for what, rate in (m.split("=") for m in argv[4::2])]  # after each --min
    if not shutil.which("soffice") or not shutil.which("pdfinfo"):
        print("LibreOffice (soffice) and pdfinfo are needed for the reading tally")
        return 77
    names = judges.docx_files(corpus)
    lo = lo_readings(corpus, names, cache)
    ours, crashed = our_readings(lxdocx, corpus, names)
    tally, compared, refused = Tally(), 0, []
    for name in (n for n in names if lo.get(n) is not None):
        mine = ours.get(name)
        if mine is None or "error" in mine:
            refused.append((name, mine.get("error") if mine else "no output"))
        else:
            compared += 1
            compare(name, mine, lo[name], tally)
    print("documents: %d, compared: %d, refused by the library: %d" % (len(names), compared, len(refused)))
    print("".join("%-14s %6d of %6d  %6.2f%%\n" % (w, *tally.counts[w], tally.rate(w)) for w in FIGURES), end="")
    print("".join("refused  %s: %s\n" % r for r in refused), end="")
    if crashed:
        print("CRASHED  lxdocx text: exit %d before %s" % (crashed, next((n for n in names if n not in ours), "the end")))
    # A figure with nothing to count proves nothing: it fails its minimum, as does a run that compared nothing.
    below = [(w, tally.rate(w), m) for w, m in minimums if tally.rate(w) < m or not tally.counts[w][1]]
    if not compared:
        print("NOTHING  compared: no document was read by both LibreOffice and the library")
    for what, rate, minimum in below:
        print("BELOW    %s: %.2f%% of %d items < %.2f%%" % (what, rate, tally.counts[what][1], minimum))
        listed = {"documents": "paragraphs", "long pages": "pages"}.get(what, what)
        print("".join("  %s\n" % d for d in tally.details[listed]), end="")
    return 1 if crashed or below or not compared else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
