#!/usr/bin/env python3
"""Compares what the library reads of every DOCX of a folder with what LibreOffice reads of it.

  reading_tally.py LXDOCX CORPUS_DIR CACHE_DIR [--min NAME=PERCENT]...

Ours: `lxdocx text --json --pages`. LibreOffice's: its text export (lines with list labels), flat ODF
(tables cell by cell, pictures and their paragraph, links, headers, footers) and PDF (page count, via
pdfinfo), kept in CACHE_DIR per document SHA-1. Tallied: paragraphs (non-empty lines aligned in order),
labels, tables (same cell texts at the same row and column), pictures (in the same paragraph), documents
(all paragraphs match), internal and fragment links (in order), headers and footers (lines agree as a
set, page numbers as any number), pages and long pages (3 or more).
Exit status 1 when a document made lxdocx crash or a rate is below its --min (what differs is then listed);
77 without LibreOffice.
"""
import argparse
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from concurrent.futures import ThreadPoolExecutor

import judges

NS = {"text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
      "table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
      "draw": "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0",
      "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
      "style": "urn:oasis:names:tc:opendocument:xmlns:style:1.0", "xlink": "http://www.w3.org/1999/xlink"}
PAGE_PLACEHOLDERS = "\ufffe\ufffd"
LO_READING_VERSION = 3  # bump when what is kept of LibreOffice's reading changes
MAX_LABEL = 24  # characters a list label of an empty item may hold
LO_TEXT_BULLETS = "\u2022\u25e6\u25aa"  # LibreOffice's text export writes every bullet as one of these
FIGURES = ("paragraphs", "documents", "labels", "tables", "pictures", "internal links", "fragment links",
           "headers", "footers", "pages", "long pages")


def q(prefix, name):
    return "{%s}%s" % (NS[prefix], name)


def key(text):
    """Text compared without any whitespace."""
    return re.sub(r"\s+", "", text)


# ---- LibreOffice's reading ---------------------------------------------------

SKIPPED = {q("draw", "frame"), q("draw", "g"), q("draw", "custom-shape"), q("office", "annotation"),
           q("text", "note-body"), q("draw", "a")}


def odf_text(el, out=None):
    """Visible text of a paragraph: spaces, tabs, breaks as text; frames, notes, annotations left out."""
    out = [] if out is None else out
    out.append(el.text or "")
    for c in el:
        if c.tag == q("text", "s"):
            out.append(" " * int(c.get(q("text", "c"), "1")))
        elif c.tag in (q("text", "tab"), q("text", "line-break")):
            out.append("\t" if c.tag == q("text", "tab") else "\n")
        elif c.tag not in SKIPPED and not c.tag.endswith("}tracked-changes"):
            odf_text(c, out)
        out.append(c.tail or "")
    return "".join(out)


def is_paragraph(el):
    return el.tag in (q("text", "p"), q("text", "h"))


def picture_frames(el):
    """Frames below `el` showing a picture (an image, or an OLE object's image), text boxes searched too."""
    found = 0
    for c in el:
        if c.tag == q("draw", "frame"):
            kinds = {g.tag for g in c}
            found += (q("draw", "image") in kinds and q("draw", "object") not in kinds) + picture_frames(c)
        elif not is_paragraph(c):
            found += picture_frames(c)
    return found


def walk_odf(el, tables, pictures, texts=None):
    """Tables (flat, each a list of [row, column, text], a table before the ones nested in it) and pictures
    (the text key of the paragraph holding each) in document order; `texts` takes the paragraphs' texts."""
    for c in el:
        if c.tag == q("table", "table"):
            cells = read_table(c, tables, pictures)
            if texts is not None:
                texts.extend(text for _, _, text in cells)
        elif is_paragraph(c):
            text = odf_text(c)
            if texts is not None:
                texts.append(text)
            pictures.extend([key(text)] * picture_frames(c))
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
            for p in part.iter() if is_paragraph(p)]


def lo_reading(txt_path, fodt_path, pdf_path):
    root = ET.parse(fodt_path).getroot()
    text = root.find(q("office", "body")).find(q("office", "text"))
    tables, pictures = [], []
    walk_odf(text, tables, pictures)
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
        reading = None
        if os.path.exists(cached):
            with open(cached, encoding="utf-8") as f:
                reading = json.load(f)
        if reading and reading.get("version") == LO_READING_VERSION:
            readings[name] = reading
        else:
            missing.append((name, cached))
    if not missing:
        return readings
    work = tempfile.mkdtemp(prefix="reading-tally-")
    # The PDF keeps the blank pages that odd- and even-page section breaks insert.
    targets = {"txt": "txt:Text", "fodt": "fodt",
               "pdf": 'pdf:writer_pdf_Export:{"IsSkipEmptyPages":{"type":"boolean","value":"false"}}'}
    try:
        files = [os.path.join(corpus, name) for name, _ in missing]
        with ThreadPoolExecutor(len(targets)) as pool:
            list(pool.map(lambda t: judges.convert(files, t[1], os.path.join(work, t[0])), targets.items()))
        for name, cached in missing:
            paths = [judges.converted(os.path.join(work, sub), name, sub) for sub in targets]
            readings[name] = lo_reading(*paths) if all(map(os.path.exists, paths)) else None  # None: LO fails too
            if readings[name]:
                with open(cached, "w", encoding="utf-8") as f:
                    json.dump(readings[name], f)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return readings


def our_readings(lxdocx, corpus, names):
    """lxdocx text over all files at once; after a crash, the rest one by one."""
    readings, crashed = {}, []

    def run(files):
        done = subprocess.run([lxdocx, "text", "--json", "--pages"] + [os.path.join(corpus, n) for n in files],
                              capture_output=True, text=True, errors="replace")
        for line in done.stdout.split("\n"):  # not splitlines: texts hold line separators
            try:
                obj = json.loads(line)
            except ValueError:
                continue
            readings[obj["file"]] = obj
        return done.returncode if done.returncode < 0 or done.returncode > 1 else None

    if run(names) is not None:
        for name in names:
            code = None if name in readings else run([name])
            if code is not None:
                crashed.append((name, code))
    return readings, crashed


# ---- comparing ---------------------------------------------------------------

# A label LibreOffice shows that the library may not: a number, letter or roman numeral with its
# punctuation, or a bullet.
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
    lines = []
    for label, text, _, _, bullet in reading["blocks"]:
        for k, piece in enumerate(re.split("[\n\u2028]", text)):  # a line break inside a block
            line = Line(label if k == 0 else "", piece, bullet and k == 0)
            if line.full:
                lines.append(line)
    return lines


def table_key(cells):
    """Each row's cell texts in order, empty cells kept (they hold the others in their columns), trailing
    empty ones left out; column spans not compared (LibreOffice merges grid columns narrower than a line)."""
    rows = {}
    for r, c, t in cells:
        rows.setdefault(r, []).append((c, key(t)))
    out = []
    for r in sorted(rows):
        texts = [t for _, t in sorted(rows[r])]
        while texts and not texts[-1]:
            texts.pop()
        out.append(texts)
    return out


def part_key(text):
    """A header or footer line compared with page numbers as any number."""
    return re.sub(r"[\d%s]+" % PAGE_PLACEHOLDERS, "#", key(text).replace("\ufffc", ""))


class Tally:
    def __init__(self):
        self.counts, self.details, self.wrong_label_documents = {}, {}, set()

    def add(self, name, agreed, total):
        a, t = self.counts.get(name, (0, 0))
        self.counts[name] = (a + agreed, t + total)

    def note(self, name, *texts):
        """What differs in a figure's documents, listed when the figure falls below its minimum."""
        self.details.setdefault(name, []).extend(texts)

    def rate(self, name):
        a, t = self.counts.get(name, (0, 0))
        return 100.0 * a / t if t else 100.0


def compare_paragraphs(name, ours, lo, tally):
    mine, theirs = our_lines(ours), [key(l) for l in lo["lines"] if key(l)]
    pairs = align(mine, theirs, lambda a, b: a.same_text(b))
    tally.add("paragraphs", len(pairs), max(len(mine), len(theirs)))
    different = missing = 0
    i0 = j0 = 0
    for i, j in pairs + [(len(mine), len(theirs))]:  # the unmatched lines of each gap
        different += min(i - i0, j - j0)
        missing += max(0, (j - j0) - (i - i0))
        i0, j0 = i + 1, j + 1
    tally.add("different", different, 0)
    tally.add("missing", missing, 0)
    tally.add("documents", int(different + missing == 0), 1)
    matched_ours, matched_lo = {i for i, _ in pairs}, {j for _, j in pairs}
    tally.note("paragraphs", *["%s: missing paragraph %r" % (name, line[:70])
                               for j, line in enumerate(theirs) if j not in matched_lo])
    tally.note("paragraphs", *["%s: extra paragraph %r" % (name, (line.label + " " + line.text).strip()[:70])
                               for i, line in enumerate(mine) if i not in matched_ours])
    for i, j in pairs:
        a, b = mine[i], theirs[j]
        if a.label or b != a.full:  # a label on either side
            tally.add("labels", int(a.same(b)), 1)
            if not a.same(b):
                tally.wrong_label_documents.add(name)
                tally.note("labels", "%s: label %r, LibreOffice reads %r" % (name, (a.label + " " + a.text)[:50], b[:50]))


def compare(name, ours, lo, tally):
    compare_paragraphs(name, ours, lo, tally)
    mine_t = [table_key([[r, c, t] for r, c, _, _, t in t["cells"]]) for t in ours["tables"]]
    theirs_t = [table_key(t) for t in lo["tables"]]
    pairs = align(mine_t, theirs_t, lambda a, b: a == b)
    tally.add("tables", len(pairs), len(theirs_t))
    matched = {j for _, j in pairs}
    tally.note("tables", *["%s: table %d differs: LibreOffice %s" % (name, j, str(t)[:120])
                           for j, t in enumerate(theirs_t) if j not in matched])

    # Pictures: the paragraphs holding one are the same, or one holds the other's text (text-box lines
    # the library shows around it).
    mine_p, theirs_p = [key(b[1]) for b in ours["blocks"] for _ in range(b[2])], lo["pictures"]
    pairs = align(mine_p, theirs_p, lambda a, b: b in a or bool(a and a in b))
    tally.add("pictures", len(pairs), len(theirs_p))
    if len(pairs) < len(theirs_p) or len(mine_p) > len(theirs_p):
        tally.note("pictures", "%s: pictures: %d of LibreOffice's %d in place, %d shown"
                             % (name, len(pairs), len(theirs_p), len(mine_p)))

    for what, kept in (("internal links", lambda h: h.startswith("#")),
                       ("fragment links", lambda h: not h.startswith("#") and "#" in h)):
        mine, theirs = [h for h in ours.get("links", []) if kept(h)], [h for h in lo["links"] if kept(h)]
        pairs = align(mine, theirs, lambda a, b: a == b)
        tally.add(what, len(pairs), len(theirs))
        if len(pairs) < len(theirs):
            tally.note(what, "%s: %s: %d of %d, e.g. LibreOffice %r"
                                 % (name, what, len(pairs), len(theirs), theirs[len(pairs)][:60]))

    for what in ("headers", "footers"):
        mine, theirs = ({part_key(t) for t in lines} - {""} for lines in (ours.get(what, []), lo[what]))
        if mine or theirs:
            tally.add(what, int(mine == theirs), 1)
            if mine != theirs:
                tally.note(what, "%s: %s: only ours %s, only LibreOffice's %s"
                                     % (name, what, sorted(mine - theirs)[:3], sorted(theirs - mine)[:3]))

    if lo.get("pages"):
        same = ours.get("pages") == lo["pages"]
        tally.add("pages", int(same), 1)
        if lo["pages"] >= 3:
            tally.add("long pages", int(same), 1)
        if not same:
            tally.note("pages", "%s: %s pages, LibreOffice %d" % (name, ours.get("pages"), lo["pages"]))


def main(argv):
    parser = argparse.ArgumentParser(description="Compare the library's reading of a corpus with LibreOffice's.")
    for name in ("lxdocx", "corpus", "cache"):
        parser.add_argument(name)
    parser.add_argument("--min", action="append", default=[], metavar="NAME=PERCENT")
    args = parser.parse_args(argv)
    if not shutil.which("soffice") or not shutil.which("pdfinfo"):
        print("LibreOffice (soffice) and pdfinfo are needed for the reading tally")
        return 77
    names = judges.docx_files(args.corpus)
    lo = lo_readings(args.corpus, names, args.cache)
    ours, crashed = our_readings(args.lxdocx, args.corpus, names)
    tally, compared, refused = Tally(), 0, []
    for name in (n for n in names if lo.get(n) is not None):
        mine = ours.get(name)
        if mine is None or "error" in mine:
            refused.append((name, mine.get("error") if mine else "no output"))
        else:
            compared += 1
            compare(name, mine, lo[name], tally)
    print("documents: %d, compared: %d, refused by the library: %d, crashed: %d"
          % (len(names), compared, len(refused), len(crashed)))
    for what in FIGURES:
        a, t = tally.counts.get(what, (0, 0))
        print("%-14s %6d of %6d  %6.2f%%" % (what, a, t, tally.rate(what)))
    print("paragraphs missing: %d, different: %d; wrong labels in %d documents"
          % (tally.counts.get("missing", (0, 0))[0], tally.counts.get("different", (0, 0))[0],
             len(tally.wrong_label_documents)))
    print("".join("refused  %s: %s\n" % r for r in refused) + "".join("CRASHED  %s: exit %d\n" % c for c in crashed), end="")
    below = [(w, tally.rate(w), float(m)) for w, m in (m.split("=") for m in args.min) if tally.rate(w) < float(m)]
    for what, rate, minimum in below:
        print("BELOW    %s: %.2f%% < %.2f%%" % (what, rate, minimum))
        listed = {"documents": "paragraphs", "long pages": "pages"}.get(what, what)
        print("".join("  %s\n" % d for d in tally.details.get(listed, [])), end="")
    return 1 if crashed or below else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
