#!/usr/bin/env python3
"""resave_tally.py LXDOCX CORPUS_DIR OUT_DIR [--render]: re-saves every DOCX of a folder with `lxdocx resave`
and compares each result with its source as independent readers see them: zipfile and `unzip -t` accept the
package; python-docx reads the same text in every body paragraph (field results aside), the same effective run
formatting (bold, italic, underline, size, font, colour through character and paragraph styles, theme and
document defaults), the same pictures, bookmarks at the same places, the same fields and results; with
--render, LibreOffice's PDFs of both have the same words (pdftotext) and pages (pdftoppm). Prints the tally and
each difference; exits 1 when a file fails to re-save or anything differs."""
import os
import shutil
import subprocess
import sys
import tempfile

import docx
from docx.oxml.ns import qn
from docx.text.paragraph import Paragraph
from lxml import etree

from judges import A, R, bad_crc, convert, converted, docx_files, local, on, val

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
    """Effective run formatting: direct properties, the character and paragraph (or default) style chains, the
    document defaults; theme fonts resolved."""

    def __init__(self, document):
        root = document.styles.element
        self.styles = {s.get(qn("w:styleId")): s for s in root.findall(qn("w:style"))}
        self.default_paragraph = next((i for i, s in self.styles.items() if s.get(qn("w:type")) == "paragraph"
                                       and s.get(qn("w:default")) in ("1", "true", "on")), None)
        self.defaults = root.find(qn("w:docDefaults") + "/" + qn("w:rPrDefault") + "/" + qn("w:rPr"))
        themes = [etree.fromstring(p.blob) for p in document.part.package.iter_parts()
                  if str(p.partname).startswith("/word/theme/")]
        self.theme = {kind: latin.get("typeface") for theme in themes for kind in ("major", "minor")
                      for latin in [theme.find(".//%s%sFont/%slatin" % (A, kind, A))] if latin is not None}

    def chain(self, style_id):
        """The run properties of a style and those it is based on, most basic first."""
        out, seen = [], set()
        while style_id and style_id not in seen and style_id in self.styles and len(out) < 20:
            seen.add(style_id)
            out.insert(0, self.styles[style_id].find(qn("w:rPr")))
            style_id = val(self.styles[style_id].find(qn("w:basedOn")))
        return out

    def read(self, rpr, into, toggle):
        for e in [] if rpr is None else rpr:
            name, value = local(e), e.get(qn("w:val"))
            if name in ("b", "i"):
                field = "bold" if name == "b" else "italic"
                into[field] = (into.get(field, False) != on(value)) if toggle else on(value)
            elif name == "u":
                into["underline"] = value not in (None, "none")
            elif name in ("sz", "color") and value:
                into["size" if name == "sz" else "color"] = value
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
        for rpr in self.chain(val(pstyle) if pstyle is not None else self.default_paragraph) + self.chain(
                val(r.find(qn("w:rPr") + "/" + qn("w:rStyle")))):
            self.read(rpr, f, True)
        self.read(r.find(qn("w:rPr")), f, False)
        return tuple(f.get(k) for k in ("bold", "italic", "underline", "size", "font", "color"))


def leaf_text(el):
    name = local(el)
    return (el.text or "") if name == "t" else "\x00" if name in ("tab", "br", "cr", "sym", "noBreakHyphen") else ""


def paragraph_facts(p, rels, formats):
    """What a reader sees of a paragraph besides its text: formatted runs, pictures, placed bookmarks, fields."""
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
    rels, formats = {rid: rel.target_ref for rid, rel in d.part.rels.items()}, Formats(d)
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
            first = next(((x, y) for x, y in zip(chars_a, chars_b) if x != y), (len(chars_a), len(chars_b)))
            differences.append((name, "formatting in paragraph %d" % i,
                                "%d characters, first %s -> %s" % (changed, *first)))
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


def compare_renders(names, corpus, out_dir, tally, differences):
    with tempfile.TemporaryDirectory(prefix="lxdocx-render-") as work:
        before = convert([os.path.join(corpus, n) for n in names], "pdf", os.path.join(work, "before"))
        after = convert([os.path.join(out_dir, n) for n in names], "pdf", os.path.join(work, "after"))
        for n in names:
            a, b = (converted(folder, n, "pdf") for folder in (before, after))
            if not os.path.exists(a):
                continue  # LibreOffice cannot render the source either
            tally["documents rendered"] += 1
            if not os.path.exists(b):
                differences.append((n, "render", "LibreOffice cannot render the re-saved file"))
                continue
            wa, wb = (subprocess.run(["pdftotext", pdf, "-"], capture_output=True).stdout.split() for pdf in (a, b))
            tally["documents with the same words"] += wa == wb
            if wa != wb:
                differences.append((n, "rendered words", "%d -> %d words" % (len(wa), len(wb))))
            pa, pb = pages(a, os.path.join(work, "pa", n)), pages(b, os.path.join(work, "pb", n))
            same = [k + 1 for k, (x, y) in enumerate(zip(pa, pb)) if x == y]
            tally["pages rendered"] += len(pa)
            tally["pages identical"] += len(same)
            if pa != pb:
                differences.append((n, "rendered pages", "%d -> %d pages, identical: %s" % (len(pa), len(pb), same)))


def main(argv):
    with_render = "--render" in argv
    lxdocx, corpus, out_dir = [a for a in argv if a != "--render"][:3]
    os.makedirs(out_dir, exist_ok=True)
    files = docx_files(corpus)
    tally = dict.fromkeys(["files", "re-saved", "unreadable by python-docx", "text-identical", "runs",
                           "characters with other formatting", "pictures", "pictures lost or moved", "bookmarks",
                           "bookmarks lost or moved", "fields", "fields lost or moved"]
                          + ["documents rendered", "documents with the same words", "pages rendered",
                             "pages identical"] * with_render, 0)
    tally["files"] = len(files)
    failures, differences, compared = [], [], []
    for name in files:
        src, dst = os.path.join(corpus, name), os.path.join(out_dir, name)
        run = subprocess.run([lxdocx, "resave", src, dst], capture_output=True, text=True)
        tally["re-saved"] += run.returncode == 0
        if run.returncode != 0 or bad_crc(dst) or subprocess.run(["unzip", "-tqq", dst], capture_output=True).returncode:
            failures.append((name, run.stderr.strip() or "zipfile or unzip -t refuses the re-saved package"))
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
