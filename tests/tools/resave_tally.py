#!/usr/bin/env python3
"""Re-saves every DOCX of a folder with `lxdocx resave` and compares each result with its source as
independent readers see them: zipfile and `unzip -t` accept the package; python-docx reads the same text
in every body paragraph (field results aside), the same effective run formatting (bold, italic,
underline, size, font, colour through character and paragraph styles, theme and document defaults), the
same pictures, bookmarks at the same places, the same fields and results; with --render, LibreOffice's
PDFs of both have the same words (pdftotext) and pages (pdftoppm).

  resave_tally.py LXDOCX CORPUS_DIR OUT_DIR [--render]

Prints the tally and each difference; exits 1 when a file that opens fails to re-save or anything differs.
"""
import os
import shutil
import subprocess
import sys
import tempfile

import docx
from docx.oxml.ns import qn
from docx.text.paragraph import Paragraph
from lxml import etree

from judges import R, bad_crc, convert, docx_files, local

A = "{http://schemas.openxmlformats.org/drawingml/2006/main}"
FORMAT_FIELDS = ("bold", "italic", "underline", "size", "font", "color")


def paragraph_text(p):
    """The text python-docx gives for the paragraph's runs, without the results of fields."""
    out, in_result = [], False
    for r in p.runs:
        chars = r._r.findall(qn("w:fldChar"))
        for c in chars:
            in_result = {"separate": True, "begin": False, "end": False}.get(c.get(qn("w:fldCharType")), in_result)
        if not in_result and not chars:
            out.append(r.text)
    return "".join(out)


class Formats:
    """Effective run formatting: direct properties, the character style chain, the paragraph style chain
    (the default paragraph style when a paragraph names none), the document defaults; theme fonts resolved."""

    def __init__(self, document):
        root = document.styles.element
        self.styles = {s.get(qn("w:styleId")): s for s in root.findall(qn("w:style"))}
        self.default_paragraph = next((s.get(qn("w:styleId")) for s in root.findall(qn("w:style"))
                                       if s.get(qn("w:type")) == "paragraph"
                                       and s.get(qn("w:default")) in ("1", "true", "on")), None)
        self.defaults = root.find(qn("w:docDefaults") + "/" + qn("w:rPrDefault") + "/" + qn("w:rPr"))
        self.theme = {}
        for part in document.part.package.iter_parts():
            if str(part.partname).startswith("/word/theme/"):
                for kind in ("major", "minor"):
                    latin = etree.fromstring(part.blob).find(".//%s%sFont/%slatin" % (A, kind, A))
                    if latin is not None:
                        self.theme[kind] = latin.get("typeface")

    def chain(self, style_id):
        """The run properties of a style and those it is based on, most basic first."""
        out, seen = [], set()
        while style_id and style_id not in seen and style_id in self.styles and len(out) < 20:
            seen.add(style_id)
            out.insert(0, self.styles[style_id].find(qn("w:rPr")))
            based = self.styles[style_id].find(qn("w:basedOn"))
            style_id = based.get(qn("w:val")) if based is not None else None
        return out

    def read(self, rpr, into, toggle):
        for e in [] if rpr is None else rpr:
            name, val = local(e), e.get(qn("w:val"))
            if name in ("b", "i"):
                on, field = val not in ("0", "false", "off"), "bold" if name == "b" else "italic"
                into[field] = (into.get(field, False) != on) if toggle else on
            elif name == "u":
                into["underline"] = val not in (None, "none")
            elif name in ("sz", "color") and val:
                into["size" if name == "sz" else "color"] = val
            elif name == "rFonts":
                theme = e.get(qn("w:asciiTheme")) or e.get(qn("w:hAnsiTheme"))
                font = e.get(qn("w:ascii")) or e.get(qn("w:hAnsi")) or (
                    theme and self.theme.get("major" if theme.startswith("major") else "minor"))
                if font:
                    into["font"] = font

    def of(self, r, p):
        f = {}
        self.read(self.defaults, f, False)
        pstyle = p.find(qn("w:pPr") + "/" + qn("w:pStyle"))
        for rpr in self.chain(pstyle.get(qn("w:val")) if pstyle is not None else self.default_paragraph):
            self.read(rpr, f, True)
        rpr = r.find(qn("w:rPr"))
        rstyle = rpr.find(qn("w:rStyle")) if rpr is not None else None
        for style_rpr in self.chain(rstyle.get(qn("w:val")) if rstyle is not None else None):
            self.read(style_rpr, f, True)
        self.read(rpr, f, False)
        return tuple(f.get(k) for k in FORMAT_FIELDS)


def leaf_text(el):
    name = local(el)
    return (el.text or "") if name == "t" else "\x00" if name in ("tab", "br", "cr", "sym", "noBreakHyphen") else ""


def paragraph_facts(p, rels, formats):
    """What a reader sees of one paragraph besides its text: runs with their formats, pictures, bookmarks
    at their offsets, fields with their results."""
    runs, pictures, marks, fields = [], [], [], []
    offset, open_fields = 0, []  # [instruction, result, in result]
    for el in p.iter():
        name = local(el)
        if name == "r":
            text = "".join(leaf_text(c) for c in el.iter() if local(c) != "instrText")
            if text:
                runs.append((text, formats.of(el, p)))
        elif name in ("blip", "imagedata"):
            rid = el.get(R + "embed") or el.get(R + "id")
            pictures.append(rels.get(rid, rid))
        elif name in ("bookmarkStart", "bookmarkEnd"):
            marks.append((name, el.get(qn("w:name")) or el.get(qn("w:id")), offset))
        elif name == "fldSimple":
            fields.append((" ".join((el.get(qn("w:instr")) or "").split()),
                           "".join(t.text or "" for t in el.iter(qn("w:t")))))
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
    return [paragraph_text(Paragraph(p, d)) for p in paragraphs], [paragraph_facts(p, rels, formats) for p in paragraphs]


def compare(name, before, after, tally, differences):
    (texts_a, facts_a), (texts_b, facts_b) = before, after
    if len(texts_a) != len(texts_b):
        differences.append((name, "paragraphs", "%d -> %d" % (len(texts_a), len(texts_b))))
        return
    changed_texts = [(i, a, b) for i, (a, b) in enumerate(zip(texts_a, texts_b)) if a != b]
    differences.extend((name, "text of paragraph %d" % i, "%r -> %r" % (a[:50], b[:50])) for i, a, b in changed_texts)
    tally["text-identical"] += not changed_texts
    for i, ((runs_a, *rest_a), (runs_b, *rest_b)) in enumerate(zip(facts_a, facts_b)):
        chars_a, chars_b = ([(c, f) for text, f in runs for c in text] for runs in (runs_a, runs_b))
        tally["runs"] += len(runs_a)
        if chars_a != chars_b:
            changed = sum(1 for x, y in zip(chars_a, chars_b) if x != y) + abs(len(chars_a) - len(chars_b))
            tally["characters with other formatting"] += changed
            first = next((k for k, (x, y) in enumerate(zip(chars_a, chars_b)) if x != y), min(len(chars_a), len(chars_b)))
            formats = [chars[first][1] if first < len(chars) else None for chars in (chars_a, chars_b)]
            differences.append((name, "formatting in paragraph %d" % i, "%d characters, first at %d: %s -> %s"
                                % (changed, first, *formats)))
        for what, a, b in zip(("pictures", "bookmarks", "fields"), rest_a, rest_b):
            tally[what] += len(a)
            if a != b:
                tally[what + " lost or moved"] += max(1, len(set(a) ^ set(b)))
                differences.append((name, "%s in paragraph %d" % (what, i), "%s -> %s" % (a[:3], b[:3])))


def pages(pdf, folder):
    """The pages of `pdf` as grey images at 40 dpi (bytes of each PGM file)."""
    os.makedirs(folder, exist_ok=True)
    subprocess.run(["pdftoppm", "-r", "40", "-gray", pdf, os.path.join(folder, "p")], capture_output=True)
    return [open(os.path.join(folder, f), "rb").read() for f in sorted(os.listdir(folder))]


def differing_pixels(a, b):
    """Fraction of pixels that differ between two PGM images of one size; 1 when sizes differ."""
    ha, hb = a.split(b"\n", 3), b.split(b"\n", 3)
    if len(ha) < 4 or len(hb) < 4 or ha[:3] != hb[:3] or len(ha[3]) != len(hb[3]):
        return 1.0
    return sum(1 for x, y in zip(ha[3], hb[3]) if abs(x - y) > 16) / max(1, len(ha[3]))


def compare_renders(names, corpus, out_dir, tally, differences):
    work = tempfile.mkdtemp(prefix="lxdocx-render-")
    try:
        before = convert([os.path.join(corpus, n) for n in names], "pdf", os.path.join(work, "before"))
        after = convert([os.path.join(out_dir, n) for n in names], "pdf", os.path.join(work, "after"))
        for n in names:
            a, b = (os.path.join(folder, os.path.splitext(n)[0] + ".pdf") for folder in (before, after))
            if not os.path.exists(a):
                continue  # LibreOffice cannot render the source either
            tally["documents rendered"] += 1
            if not os.path.exists(b):
                differences.append((n, "render", "LibreOffice cannot render the re-saved file"))
                continue
            words_a, words_b = (subprocess.run(["pdftotext", pdf, "-"], capture_output=True).stdout.split()
                                for pdf in (a, b))
            tally["documents with the same words"] += words_a == words_b
            if words_a != words_b:
                differences.append((n, "rendered words", "%d -> %d words" % (len(words_a), len(words_b))))
            pa, pb = pages(a, os.path.join(work, "pa", n)), pages(b, os.path.join(work, "pb", n))
            tally["pages rendered"] += len(pa)
            if len(pa) != len(pb):
                differences.append((n, "rendered pages", "%d -> %d" % (len(pa), len(pb))))
                continue
            for k, (x, y) in enumerate(zip(pa, pb)):
                tally["pages identical"] += x == y
                if x != y:
                    share = differing_pixels(x, y)
                    tally["pages within 1% of pixels"] += share <= 0.01
                    differences.append((n, "page %d" % (k + 1), "%.2f%% of pixels differ" % (100 * share)))
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main(argv):
    with_render = "--render" in argv
    lxdocx, corpus, out_dir = [a for a in argv if a != "--render"][:3]
    os.makedirs(out_dir, exist_ok=True)
    files = docx_files(corpus)
    tally = dict.fromkeys(["files", "re-saved", "refused at open", "unreadable by python-docx", "text-identical",
                           "runs", "characters with other formatting", "pictures", "pictures lost or moved",
                           "bookmarks", "bookmarks lost or moved", "fields", "fields lost or moved"], 0)
    if with_render:
        tally.update(dict.fromkeys(["documents rendered", "documents with the same words", "pages rendered",
                                    "pages identical", "pages within 1% of pixels"], 0))
    tally["files"] = len(files)
    failures, differences, compared = [], [], []
    for name in files:
        src, dst = os.path.join(corpus, name), os.path.join(out_dir, name)
        run = subprocess.run([lxdocx, "resave", src, dst], capture_output=True, text=True)
        if run.returncode != 0:
            # A file the library does not open is refused with its open error: not a re-save failure.
            if subprocess.run([lxdocx, "info", src], capture_output=True).returncode != 0:
                tally["refused at open"] += 1
                print("refused  %s: %s" % (name, run.stderr.strip()))
            else:
                failures.append((name, run.stderr.strip()))
            continue
        tally["re-saved"] += 1
        if bad_crc(dst) or subprocess.run(["unzip", "-tqq", dst], capture_output=True).returncode != 0:
            failures.append((name, "zipfile or unzip -t refuses the re-saved package"))
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
    print("".join("FAILED   %s: %s\n" % f for f in failures) + "".join("DIFFERS  %s, %s: %s\n" % d for d in differences),
          end="")
    return 1 if failures or differences else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
