#!/usr/bin/env python3
"""Re-saves every DOCX of a folder with `lxdocx resave` and compares each
result with its source as independent readers see them:

- Python's zipfile and `unzip -t` accept the package;
- python-docx reads the same text in every body paragraph (field results aside),
  the same effective formatting of every run (bold, italic, underline, size,
  font, colour, resolved through the character and paragraph styles, the
  theme and the document defaults), the same pictures, the same bookmarks at
  the same places in the text, and the same fields with the same results;
- with --render, LibreOffice renders both to PDF: the words (pdftotext) and
  every page as an image (pdftoppm) must be the same.

  resave_tally.py LXDOCX CORPUS_DIR OUT_DIR [--render]

Prints the tally and each difference; exits 1 when a file that opens fails to
re-save or anything compared differs.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

import docx
from docx.oxml.ns import qn
from docx.text.paragraph import Paragraph
from lxml import etree

W = "http://schemas.openxmlformats.org/wordprocessingml/2006/main"
R = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
A = "http://schemas.openxmlformats.org/drawingml/2006/main"
V = "urn:schemas-microsoft-com:vml"
FORMAT_FIELDS = ("bold", "italic", "underline", "size", "font", "color")
TOGGLES = ("b", "i")


def local(el):
    return etree.QName(el).localname if isinstance(el.tag, str) else ""


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


class Formats:
    """Effective run formatting: direct properties, then the character style
    chain, then the paragraph style chain (the default paragraph style when a
    paragraph names none), then the document defaults; theme fonts resolved."""

    def __init__(self, document):
        self.styles = {}
        self.default_paragraph = None
        root = document.styles.element
        for s in root.findall(qn("w:style")):
            self.styles[s.get(qn("w:styleId"))] = s
            if s.get(qn("w:type")) == "paragraph" and s.get(qn("w:default")) in ("1", "true", "on"):
                self.default_paragraph = self.default_paragraph or s.get(qn("w:styleId"))
        self.defaults = root.find(qn("w:docDefaults") + "/" + qn("w:rPrDefault") + "/" + qn("w:rPr"))
        self.theme = {}
        for part in document.part.package.iter_parts():
            if str(part.partname).startswith("/word/theme/"):
                t = etree.fromstring(part.blob)
                for kind in ("major", "minor"):
                    latin = t.find(".//{%s}%sFont/{%s}latin" % (A, kind, A))
                    if latin is not None:
                        self.theme[kind] = latin.get("typeface")

    def chain(self, style_id):
        out, seen = [], set()
        while style_id and style_id not in seen and style_id in self.styles and len(out) < 20:
            seen.add(style_id)
            s = self.styles[style_id]
            out.append(s.find(qn("w:rPr")))
            based = s.find(qn("w:basedOn"))
            style_id = based.get(qn("w:val")) if based is not None else None
        return list(reversed(out))  # most basic first

    def read(self, rpr, into, toggle):
        if rpr is None:
            return
        for e in rpr:
            name, val = local(e), e.get(qn("w:val"))
            if name in TOGGLES:
                on = val not in ("0", "false", "off")
                field = "bold" if name == "b" else "italic"
                into[field] = (into.get(field, False) != on) if toggle else on
            elif name == "u":
                into["underline"] = val not in (None, "none")
            elif name == "sz" and val:
                into["size"] = val
            elif name == "color" and val:
                into["color"] = val
            elif name == "rFonts":
                font = e.get(qn("w:ascii")) or e.get(qn("w:hAnsi"))
                theme = e.get(qn("w:asciiTheme")) or e.get(qn("w:hAnsiTheme"))
                if not font and theme:
                    font = self.theme.get("major" if theme.startswith("major") else "minor")
                if font:
                    into["font"] = font

    def of(self, r, p):
        f = {}
        self.read(self.defaults, f, False)
        ppr = p.find(qn("w:pPr"))
        pstyle = ppr.find(qn("w:pStyle")) if ppr is not None else None
        for rpr in self.chain(pstyle.get(qn("w:val")) if pstyle is not None else self.default_paragraph):
            self.read(rpr, f, True)
        rpr = r.find(qn("w:rPr"))
        rstyle = rpr.find(qn("w:rStyle")) if rpr is not None else None
        if rstyle is not None:
            for style_rpr in self.chain(rstyle.get(qn("w:val"))):
                self.read(style_rpr, f, True)
        self.read(rpr, f, False)
        return tuple(f.get(k) for k in FORMAT_FIELDS)


def leaf_text(el):
    name = local(el)
    if name == "t":
        return el.text or ""
    if name in ("tab", "br", "cr", "sym", "noBreakHyphen"):
        return "\x00"
    return ""


def paragraph_facts(p, rels, formats):
    """What a reader sees of one paragraph besides its text."""
    runs, pictures, marks, fields = [], [], [], []
    offset = 0
    open_fields = []  # [instruction, result, in result]
    for el in p.iter():
        name = local(el)
        if name == "r":
            text = "".join(leaf_text(c) for c in el.iter() if local(c) != "instrText")
            if text:
                runs.append((text, formats.of(el, p)))
        elif name in ("blip", "imagedata"):
            rid = el.get("{%s}embed" % R) or el.get("{%s}id" % R)
            pictures.append(rels.get(rid, rid))
        elif name in ("bookmarkStart", "bookmarkEnd"):
            marks.append((name, el.get(qn("w:name")) or el.get(qn("w:id")), offset))
        elif name == "fldSimple":
            fields.append((" ".join((el.get(qn("w:instr")) or "").split()), "".join(
                t.text or "" for t in el.iter(qn("w:t")))))
        elif name == "fldChar":
            kind = el.get(qn("w:fldCharType"))
            if kind == "begin":
                open_fields.append(["", "", False])
            elif kind == "separate" and open_fields:
                open_fields[-1][2] = True
            elif kind == "end" and open_fields:
                f = open_fields.pop()
                fields.append((" ".join(f[0].split()), f[1]))
        elif name == "instrText" and open_fields and not open_fields[-1][2]:
            open_fields[-1][0] += el.text or ""
        else:
            text = leaf_text(el)
            if text and open_fields and open_fields[-1][2]:
                open_fields[-1][1] += text
            offset += len(text)
    return runs, pictures, marks, fields


def document_facts(path):
    d = docx.Document(path)
    rels = {rid: rel.target_ref for rid, rel in d.part.rels.items()}
    formats = Formats(d)
    paragraphs = list(d.element.body.iter(qn("w:p")))
    texts = [paragraph_text(Paragraph(p, d)) for p in paragraphs]
    return texts, [paragraph_facts(p, rels, formats) for p in paragraphs]


def compare(name, before, after, tally, differences):
    (texts_a, facts_a), (texts_b, facts_b) = before, after
    if len(texts_a) != len(texts_b):
        differences.append((name, "paragraphs", "%d -> %d" % (len(texts_a), len(texts_b))))
        return
    same_text = True
    for i, (a, b) in enumerate(zip(texts_a, texts_b)):
        if a != b:
            same_text = False
            differences.append((name, "text of paragraph %d" % i, "%r -> %r" % (a[:50], b[:50])))
    tally["text-identical"] += same_text
    for i, (fa, fb) in enumerate(zip(facts_a, facts_b)):
        (runs_a, pics_a, marks_a, fields_a), (runs_b, pics_b, marks_b, fields_b) = fa, fb
        chars_a = [(c, f) for text, f in runs_a for c in text]
        chars_b = [(c, f) for text, f in runs_b for c in text]
        tally["runs"] += len(runs_a)
        if chars_a != chars_b:
            changed = sum(1 for x, y in zip(chars_a, chars_b) if x != y) + abs(len(chars_a) - len(chars_b))
            tally["characters with other formatting"] += changed
            first = next((k for k, (x, y) in enumerate(zip(chars_a, chars_b)) if x != y), min(len(chars_a), len(chars_b)))
            differences.append((name, "formatting in paragraph %d" % i, "%d characters, first at %d: %s -> %s" % (
                changed, first, chars_a[first][1] if first < len(chars_a) else None,
                chars_b[first][1] if first < len(chars_b) else None)))
        for what, a, b in (("pictures", pics_a, pics_b), ("bookmarks", marks_a, marks_b), ("fields", fields_a, fields_b)):
            tally[what] += len(a)
            if a != b:
                tally[what + " lost or moved"] += max(1, len(set(a) ^ set(b)))
                differences.append((name, "%s in paragraph %d" % (what, i), "%s -> %s" % (a[:3], b[:3])))


def render(files, folder, profile):
    """PDFs of `files` by LibreOffice, in one run; returns the folder holding them."""
    os.makedirs(folder, exist_ok=True)
    subprocess.run(["soffice", "-env:UserInstallation=file://" + profile, "--headless", "--convert-to", "pdf",
                    "--outdir", folder] + files, capture_output=True, timeout=1800)
    return folder


def pages(pdf, folder):
    """The pages of `pdf` as grey images at 40 dpi (bytes of each PGM file)."""
    os.makedirs(folder, exist_ok=True)
    subprocess.run(["pdftoppm", "-r", "40", "-gray", pdf, os.path.join(folder, "p")], capture_output=True)
    return [open(os.path.join(folder, f), "rb").read() for f in sorted(os.listdir(folder))]


def words(pdf):
    run = subprocess.run(["pdftotext", pdf, "-"], capture_output=True)
    return run.stdout.split()


def differing_pixels(a, b):
    """Fraction of pixels that differ between two PGM images of one size; 1 when sizes differ."""
    ha, hb = a.split(b"\n", 3), b.split(b"\n", 3)
    if len(ha) < 4 or len(hb) < 4 or ha[:3] != hb[:3] or len(ha[3]) != len(hb[3]):
        return 1.0
    pa, pb = ha[3], hb[3]
    return sum(1 for x, y in zip(pa, pb) if abs(x - y) > 16) / max(1, len(pa))


def compare_renders(names, corpus, out_dir, tally, differences):
    work = tempfile.mkdtemp(prefix="lxdocx-render-")
    try:
        src_pdf = render([os.path.join(corpus, n) for n in names], os.path.join(work, "before"), work + "/profile-a")
        dst_pdf = render([os.path.join(out_dir, n) for n in names], os.path.join(work, "after"), work + "/profile-b")
        for n in names:
            pdf = os.path.splitext(n)[0] + ".pdf"
            a, b = os.path.join(src_pdf, pdf), os.path.join(dst_pdf, pdf)
            if not os.path.exists(a):
                continue  # LibreOffice cannot render the source either
            tally["documents rendered"] += 1
            if not os.path.exists(b):
                differences.append((n, "render", "LibreOffice cannot render the re-saved file"))
                continue
            tally["documents with the same words"] += words(a) == words(b)
            if words(a) != words(b):
                differences.append((n, "rendered words", "%d -> %d words" % (len(words(a)), len(words(b)))))
            pa, pb = pages(a, os.path.join(work, "pa", n)), pages(b, os.path.join(work, "pb", n))
            tally["pages rendered"] += len(pa)
            if len(pa) != len(pb):
                differences.append((n, "rendered pages", "%d -> %d" % (len(pa), len(pb))))
                continue
            for k, (x, y) in enumerate(zip(pa, pb)):
                if x == y:
                    tally["pages identical"] += 1
                else:
                    share = differing_pixels(x, y)
                    tally["pages within 1% of pixels"] += share <= 0.01
                    differences.append((n, "page %d" % (k + 1), "%.2f%% of pixels differ" % (100 * share)))
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main(argv):
    with_render = "--render" in argv
    lxdocx, corpus, out_dir = [a for a in argv if a != "--render"][:3]
    os.makedirs(out_dir, exist_ok=True)
    files = sorted(f for f in os.listdir(corpus) if f.endswith(".docx"))
    tally = dict.fromkeys(["files", "re-saved", "refused at open", "unreadable by python-docx", "text-identical",
                           "runs", "characters with other formatting", "pictures", "pictures lost or moved",
                           "bookmarks", "bookmarks lost or moved", "fields", "fields lost or moved"], 0)
    if with_render:
        tally.update(dict.fromkeys(["documents rendered", "documents with the same words", "pages rendered",
                                    "pages identical", "pages within 1% of pixels"], 0))
    failures, differences, compared = [], [], []
    tally["files"] = len(files)
    for name in files:
        src, dst = os.path.join(corpus, name), os.path.join(out_dir, name)
        run = subprocess.run([lxdocx, "resave", src, dst], capture_output=True, text=True)
        if run.returncode != 0:
            # A file the library does not open is refused with its open error: not a re-save failure.
            info = subprocess.run([lxdocx, "info", src], capture_output=True, text=True)
            if info.returncode != 0:
                tally["refused at open"] += 1
                print("refused  %s: %s" % (name, run.stderr.strip()))
            else:
                failures.append((name, run.stderr.strip()))
            continue
        tally["re-saved"] += 1
        with zipfile.ZipFile(dst) as z:
            if z.testzip() is not None:
                failures.append((name, "bad CRC in the re-saved package"))
                continue
        if subprocess.run(["unzip", "-tqq", dst], capture_output=True).returncode != 0:
            failures.append((name, "unzip -t refuses the re-saved package"))
            continue
        try:
            before = document_facts(src)
        except Exception as e:  # python-docx cannot read the source either
            tally["unreadable by python-docx"] += 1
            print("python-docx cannot read the source %s: %s: %s" % (name, type(e).__name__, e))
            continue
        compare(name, before, document_facts(dst), tally, differences)
        compared.append(name)
    if with_render and shutil.which("soffice") and shutil.which("pdftoppm"):
        compare_renders(compared, corpus, out_dir, tally, differences)
    print(", ".join("%s: %d" % kv for kv in tally.items()))
    for name, why in failures:
        print("FAILED   %s: %s" % (name, why))
    for name, what, how in differences:
        print("DIFFERS  %s, %s: %s" % (name, what, how))
    return 1 if failures or differences else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
