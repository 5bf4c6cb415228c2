#!/usr/bin/env python3
"""Compares what the library reads of every DOCX of a folder with what
LibreOffice reads of it.

  reading_tally.py LXDOCX CORPUS_DIR CACHE_DIR [--details] [--min NAME=PERCENT]...

The library's side is `lxdocx text --json --pages` (the rich text the Reader
makes, and the preview's page count). LibreOffice's side is its text export
(paragraph lines with list labels), its flat ODF export (tables cell by cell,
pictures and the paragraph they stand in) and its PDF export (page count, read
with pdfinfo). LibreOffice's readings are kept in CACHE_DIR, one file per
document named by the document's SHA-1, so only new or changed documents are
converted again.

Tallied over all documents:
  paragraphs  non-empty lines in the same order with the same text (an
              alignment of both sequences; a label that differs still counts
              the text as read)
  labels      paragraphs either side shows with a list label whose label and
              text agree
  tables      tables whose non-empty cells hold the same text at the same row
              and column
  pictures    pictures shown in the paragraph LibreOffice shows them in
  documents   documents whose paragraphs all match
  links       links to a place in the document (and external links with a
              #fragment) LibreOffice shows, with the same target, in order
  headers     documents with header text on either side whose header lines
              agree as a set (page numbers stand for any number); footers alike
  pages       documents whose preview has LibreOffice's page count; long
              pages: the same over documents of 3 pages or more

Exit status: 0; 1 when a document made lxdocx fail or crash, or a rate falls
below its --min; 77 when LibreOffice is not installed.
"""
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

NS = {
    "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
    "table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
    "draw": "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0",
    "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
    "style": "urn:oasis:names:tc:opendocument:xmlns:style:1.0",
    "xlink": "http://www.w3.org/1999/xlink",
}
PAGE_PLACEHOLDERS = "\ufffe\ufffd"
LO_READING_VERSION = 3  # bump when what is kept of LibreOffice's reading changes
MAX_LABEL = 24  # characters a list label of an empty item may hold
# LibreOffice's text export writes every bullet as one of these, chosen by the
# item's level, whatever character the list shows: a bullet label agrees with any.
LO_TEXT_BULLETS = "\u2022\u25e6\u25aa"


def q(prefix, name):
    return "{%s}%s" % (NS[prefix], name)


def key(text):
    """Text compared without any whitespace."""
    return re.sub(r"\s+", "", text)


# ---- LibreOffice's reading ---------------------------------------------------

def odf_text(el, out):
    """Visible text of a paragraph element: spaces, tabs and breaks as text;
    frames (pictures, text boxes), notes' bodies and annotations left out."""
    if el.text:
        out.append(el.text)
    for c in el:
        tag = c.tag
        if tag == q("text", "s"):
            out.append(" " * int(c.get(q("text", "c"), "1")))
        elif tag == q("text", "tab"):
            out.append("\t")
        elif tag == q("text", "line-break"):
            out.append("\n")
        elif tag in (q("draw", "frame"), q("draw", "g"), q("draw", "custom-shape"), q("office", "annotation"),
                     q("text", "note-body"), q("draw", "a")) or tag.endswith("}tracked-changes"):
            pass
        else:
            odf_text(c, out)
        if c.tail:
            out.append(c.tail)
    return out


def is_paragraph(el):
    return el.tag in (q("text", "p"), q("text", "h"))


def picture_frames(el):
    """Frames below `el` that show a picture (an image, or an OLE object's
    image), text boxes searched too; formulas are not pictures."""
    found = 0
    for c in el:
        if c.tag == q("draw", "frame"):
            kinds = {g.tag for g in c}
            if q("draw", "image") in kinds and q("draw", "object") not in kinds:
                found += 1
            found += picture_frames(c)
        elif not is_paragraph(c):
            found += picture_frames(c)
    return found


def walk_odf(el, tables, pictures):
    """Tables (each a list of [row, column, text]) and pictures (each the
    text key of the paragraph holding it) of a body, in document order."""
    for c in el:
        if c.tag == q("table", "table"):
            tables.append(read_table(c, pictures))
        elif is_paragraph(c):
            n = picture_frames(c)
            pictures.extend([key("".join(odf_text(c, [])))] * n)
        elif c.tag.endswith("}tracked-changes"):
            continue
        else:
            walk_odf(c, tables, pictures)


def table_rows(el):
    for c in el:
        if c.tag == q("table", "table-row"):
            yield c
        elif c.tag in (q("table", "table-header-rows"), q("table", "table-rows"), q("table", "table-row-group")):
            yield from table_rows(c)


def cell_paragraph_texts(el, out, tables, pictures):
    for c in el:
        if is_paragraph(c):
            out.append("".join(odf_text(c, [])))
            pictures.extend([key(out[-1])] * picture_frames(c))
        elif c.tag == q("table", "table"):
            nested = read_table(c, pictures)
            tables.append(nested)
            for _, _, text in nested["cells"]:
                out.append(text)
        else:
            cell_paragraph_texts(c, out, tables, pictures)


def read_table(el, pictures):
    cells, nested = [], []
    for r, row in enumerate(table_rows(el)):
        col = 0
        for cell in row:
            repeat = int(cell.get(q("table", "number-columns-repeated"), "1"))
            if cell.tag == q("table", "table-cell"):
                texts = []
                cell_paragraph_texts(cell, texts, nested, pictures)
                text = "\n".join(texts)
                for i in range(min(repeat, 64)):
                    cells.append([r, col + i, text])
            if cell.tag in (q("table", "table-cell"), q("table", "covered-table-cell")):
                col += repeat
    return {"cells": cells, "nested": nested}


def flatten_tables(tables):
    out = []
    for t in tables:
        out.append(t["cells"])
        out.extend(flatten_tables(t["nested"]))
    return out


def paragraph_texts(el):
    """Texts of the paragraphs below `el`, tables' included."""
    return ["".join(odf_text(p, [])) for p in el.iter() if is_paragraph(p)]


def links(el):
    return [a.get(q("xlink", "href"), "") for a in el.iter(q("text", "a"))]


def page_parts(root, kinds):
    """Lines of the headers (or footers) of the page styles: the parts shown."""
    lines = []
    masters = root.find(q("office", "master-styles"))
    for page in masters if masters is not None else []:
        for kind in kinds:
            part = page.find(q("style", kind))
            if part is not None and part.get(q("style", "display"), "true") != "false":
                lines.extend(paragraph_texts(part))
    return lines


def lo_reading(txt_path, fodt_path, pdf_path):
    reading = {"version": LO_READING_VERSION}
    with open(txt_path, encoding="utf-8-sig", errors="replace") as f:
        reading["lines"] = f.read().splitlines()
    tree = ET.parse(fodt_path)
    body = tree.getroot().find(q("office", "body"))
    tables, pictures = [], []
    text = body.find(q("office", "text"))
    walk_odf(text, tables, pictures)
    reading["tables"] = flatten_tables(tables)
    reading["pictures"] = pictures
    reading["links"] = links(text)
    reading["headers"] = page_parts(tree.getroot(), ("header", "header-left", "header-first"))
    reading["footers"] = page_parts(tree.getroot(), ("footer", "footer-left", "footer-first"))
    info = subprocess.run(["pdfinfo", pdf_path], capture_output=True, text=True)
    m = re.search(r"^Pages:\s+(\d+)", info.stdout, re.M)
    reading["pages"] = int(m.group(1)) if m else None
    return reading


def convert_all(files, work):
    """The three exports of every file, each export one soffice run with a
    profile of its own, the three side by side."""
    runs = []
    # The PDF keeps the blank pages that odd- and even-page section breaks insert.
    pdf = 'pdf:writer_pdf_Export:{"IsSkipEmptyPages":{"type":"boolean","value":"false"}}'
    for target, sub in (("txt:Text", "txt"), ("fodt", "fodt"), (pdf, "pdf")):
        profile = "file://" + os.path.join(work, "profile-" + sub)
        runs.append(subprocess.Popen(["soffice", "-env:UserInstallation=" + profile, "--headless", "--convert-to",
                                      target, "--outdir", os.path.join(work, sub)] + files,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    for r in runs:
        r.wait(timeout=1800)


def lo_readings(corpus, names, cache):
    os.makedirs(cache, exist_ok=True)
    readings, missing = {}, []
    for name in names:
        with open(os.path.join(corpus, name), "rb") as f:
            digest = hashlib.sha1(f.read()).hexdigest()
        cached = os.path.join(cache, digest + ".json")
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
    try:
        convert_all([os.path.join(corpus, name) for name, _ in missing], work)
        for name, cached in missing:
            stem = os.path.splitext(name)[0]
            paths = [os.path.join(work, sub, stem + "." + sub) for sub in ("txt", "fodt", "pdf")]
            if not all(os.path.exists(p) for p in paths):
                readings[name] = None  # LibreOffice does not read it either
                continue
            readings[name] = lo_reading(*paths)
            with open(cached, "w", encoding="utf-8") as f:
                json.dump(readings[name], f)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return readings


# ---- the library's reading ---------------------------------------------------

def our_readings(lxdocx, corpus, names):
    """lxdocx text over all files at once; after a crash, the rest one by one."""
    readings, crashed = {}, []

    def take(output):
        for line in output.split("\n"):  # not splitlines: texts hold line separators
            try:
                obj = json.loads(line)
            except ValueError:
                continue
            readings[obj["file"]] = obj

    run = subprocess.run([lxdocx, "text", "--json", "--pages"] + [os.path.join(corpus, n) for n in names],
                         capture_output=True, text=True, errors="replace")
    take(run.stdout)
    if run.returncode < 0 or run.returncode > 1:
        for name in names:
            if name in readings:
                continue
            one = subprocess.run([lxdocx, "text", "--json", "--pages", os.path.join(corpus, name)],
                                 capture_output=True, text=True, errors="replace")
            take(one.stdout)
            if one.returncode < 0 or one.returncode > 1:
                crashed.append((name, one.returncode))
    return readings, crashed


# ---- comparing ---------------------------------------------------------------

def placeholder_pattern(text_key):
    """Our text with page placeholders standing for any number."""
    parts = re.split("[%s]" % PAGE_PLACEHOLDERS, text_key)
    return re.compile("^" + r"\d+".join(re.escape(p) for p in parts) + "$") if len(parts) > 1 else None


# A label LibreOffice shows that the library may not: a number, letter or
# roman numeral with its punctuation, or a bullet.
LABEL_LIKE = re.compile(r"^(\(?[0-9A-Za-z]{1,8}[.)]?)+$|^[%s\u2013*\-]$" % LO_TEXT_BULLETS)
# Contents lines show the dots of their leader tab; LibreOffice's text writes the tab.
LEADER = re.compile(r"( \.)+ ?\t")


class Line:
    def __init__(self, label, text, bullet=False):
        text = LEADER.sub("\t", text)
        self.label, self.text, self.bullet = label, text, bullet
        self.full = key(label + text)
        self.text_key = key(text)
        self.pattern = placeholder_pattern(self.full)

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
    for label, text, _, _, bullet in (b + [False] * (5 - len(b)) for b in reading["blocks"]):
        for k, piece in enumerate(re.split("[\n\u2028]", text)):  # a line break inside a block
            line = Line(label if k == 0 else "", piece, bullet and k == 0)
            if line.full:
                lines.append(line)
    return lines


def table_key(cells):
    """The text of each row's cells in order, empty cells included (they keep
    the others in their columns), trailing empty cells left out; column spans
    are not compared, as LibreOffice merges grid columns narrower than a line."""
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


def our_tables(reading):
    return [table_key([[r, c, t] for r, c, _, _, t in t["cells"]]) for t in reading["tables"]]


def our_pictures(reading):
    return [key(b[1]) for b in reading["blocks"] for _ in range(b[2])]


def picture_place(ours, theirs):
    """The paragraphs holding a picture on either side are the same, or one
    holds the other's text (text-box lines the library shows around it)."""
    return theirs in ours or bool(ours and ours in theirs)


class Tally:
    def __init__(self):
        self.counts = {}
        self.details = []
        self.wrong_label_documents = set()

    def add(self, name, agreed, total):
        a, t = self.counts.get(name, (0, 0))
        self.counts[name] = (a + agreed, t + total)

    def rate(self, name):
        a, t = self.counts.get(name, (0, 0))
        return 100.0 * a / t if t else 100.0


def unmatched_between(pairs, n, m):
    """(ours, theirs) counts of unmatched lines in each gap between matched pairs."""
    gaps, i0, j0 = [], 0, 0
    for i, j in pairs + [(n, m)]:
        gaps.append((i - i0, j - j0))
        i0, j0 = i + 1, j + 1
    return gaps


def part_key(text):
    """A header or footer line compared with page numbers as any number."""
    return re.sub(r"[\d%s]+" % PAGE_PLACEHOLDERS, "#", key(text).replace("\ufffc", ""))


def compare_parts(name, what, ours, theirs, tally):
    mine = {part_key(t) for t in ours} - {""}
    lo = {part_key(t) for t in theirs} - {""}
    if mine or lo:
        tally.add(what, int(mine == lo), 1)
        if mine != lo:
            tally.details.append("%s: %s: only ours %s, only LibreOffice's %s"
                                 % (name, what, sorted(mine - lo)[:3], sorted(lo - mine)[:3]))


def compare_links(name, ours, lo, tally):
    for what, kept in (("internal links", lambda h: h.startswith("#")),
                       ("fragment links", lambda h: not h.startswith("#") and "#" in h)):
        mine, theirs = [h for h in ours if kept(h)], [h for h in lo if kept(h)]
        pairs = align(mine, theirs, lambda a, b: a == b)
        tally.add(what, len(pairs), len(theirs))
        if len(pairs) < len(theirs):
            tally.details.append("%s: %s: %d of %d, e.g. LibreOffice %r"
                                 % (name, what, len(pairs), len(theirs), theirs[len(pairs)][:60]))


def compare(name, ours, lo, tally):
    mine = our_lines(ours)
    theirs = [key(l) for l in lo["lines"] if key(l)]
    pairs = align(mine, theirs, lambda a, b: a.same_text(b))
    tally.add("paragraphs", len(pairs), max(len(mine), len(theirs)))
    different = missing = 0
    for gap_ours, gap_lo in unmatched_between(pairs, len(mine), len(theirs)):
        different += min(gap_ours, gap_lo)
        missing += max(0, gap_lo - gap_ours)
    tally.add("different", different, 0)
    tally.add("missing", missing, 0)
    tally.add("documents", int(different + missing == 0), 1)
    matched_ours = {i for i, _ in pairs}
    matched_lo = {j for _, j in pairs}
    for j, line in enumerate(theirs):
        if j not in matched_lo:
            tally.details.append("%s: missing paragraph %r" % (name, line[:70]))
    for i, line in enumerate(mine):
        if i not in matched_ours:
            tally.details.append("%s: extra paragraph %r" % (name, (line.label + " " + line.text).strip()[:70]))
    for i, j in pairs:
        a, b = mine[i], theirs[j]
        if not a.label and b == a.full:
            continue  # no label on either side
        ok = a.same(b)
        tally.add("labels", int(ok), 1)
        if not ok:
            tally.wrong_label_documents.add(name)
            tally.details.append("%s: label %r, LibreOffice reads %r" % (name, (a.label + " " + a.text)[:50], b[:50]))

    mine_t, theirs_t = our_tables(ours), [table_key(t) for t in lo["tables"]]
    pairs = align(mine_t, theirs_t, lambda a, b: a == b)
    tally.add("tables", len(pairs), len(theirs_t))
    matched_lo = {j for _, j in pairs}
    for j, t in enumerate(theirs_t):
        if j not in matched_lo:
            tally.details.append("%s: table %d differs: LibreOffice %s" % (name, j, str(t)[:120]))

    mine_p, theirs_p = our_pictures(ours), lo["pictures"]
    pairs = align(mine_p, theirs_p, picture_place)
    tally.add("pictures", len(pairs), len(theirs_p))
    if len(pairs) < len(theirs_p) or len(mine_p) > len(theirs_p):
        tally.details.append("%s: pictures: %d of LibreOffice's %d in place, %d shown"
                             % (name, len(pairs), len(theirs_p), len(mine_p)))

    compare_links(name, ours.get("links", []), lo["links"], tally)
    compare_parts(name, "headers", ours.get("headers", []), lo["headers"], tally)
    compare_parts(name, "footers", ours.get("footers", []), lo["footers"], tally)

    if lo.get("pages"):
        same = ours.get("pages") == lo["pages"]
        tally.add("pages", int(same), 1)
        if lo["pages"] >= 3:
            tally.add("long pages", int(same), 1)
        if not same:
            tally.details.append("%s: %s pages, LibreOffice %d" % (name, ours.get("pages"), lo["pages"]))


def main(argv):
    minimums = {}
    for i, a in enumerate(argv):
        if a == "--min":
            k, v = argv[i + 1].split("=")
            minimums[k] = float(v)
    args = [a for i, a in enumerate(argv) if not a.startswith("--") and (i == 0 or argv[i - 1] != "--min")]
    lxdocx, corpus, cache = args[:3]
    if not shutil.which("soffice") or not shutil.which("pdfinfo"):
        print("LibreOffice (soffice) and pdfinfo are needed for the reading tally")
        return 77
    names = sorted(n for n in os.listdir(corpus) if n.endswith(".docx"))
    lo = lo_readings(corpus, names, cache)
    ours, crashed = our_readings(lxdocx, corpus, names)
    tally = Tally()
    compared, refused = 0, []
    for name in names:
        if lo.get(name) is None:
            continue
        mine = ours.get(name)
        if mine is None or "error" in mine:
            refused.append((name, mine.get("error") if mine else "no output"))
            continue
        compared += 1
        compare(name, mine, lo[name], tally)
    print("documents: %d, compared: %d, refused by the library: %d, crashed: %d"
          % (len(names), compared, len(refused), len(crashed)))
    for what in ("paragraphs", "documents", "labels", "tables", "pictures", "internal links", "fragment links",
                 "headers", "footers", "pages", "long pages"):
        a, t = tally.counts.get(what, (0, 0))
        print("%-14s %6d of %6d  %6.2f%%" % (what, a, t, tally.rate(what)))
    print("paragraphs missing: %d, different: %d; wrong labels in %d documents"
          % (tally.counts.get("missing", (0, 0))[0], tally.counts.get("different", (0, 0))[0],
             len(tally.wrong_label_documents)))
    for name, why in refused:
        print("refused  %s: %s" % (name, why))
    for name, rc in crashed:
        print("CRASHED  %s: exit %d" % (name, rc))
    if "--details" in argv:
        for d in tally.details:
            print("  " + d)
    failed = bool(crashed)
    for what, minimum in minimums.items():
        if tally.rate(what) < minimum:
            print("BELOW    %s: %.2f%% < %.2f%%" % (what, tally.rate(what), minimum))
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
