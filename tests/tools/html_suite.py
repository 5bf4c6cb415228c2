#!/usr/bin/env python3
"""html_suite.py LXDOCX PAGES OUT [--soffice SOFFICE] [--min-works N]

Converts every feature page PAGES/NN-name.html with `LXDOCX from-html` into OUT/NN-name.docx and judges it
with python-docx: works (every check holds), partial (some do), lost (none does, or with --soffice,
LibreOffice's text of it lacks the page's text), wrong (it says what the page does not: hidden text, a
field, garbled characters). Prints a line per page and the tally; exits 1 when a page is wrong or fewer
than N work.
"""
import argparse
import os
import re
import subprocess
import sys

import docx

from judges import R, W, convert, converted, read_text, w_text

WP = "{http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing}"
A = "{http://schemas.openxmlformats.org/drawingml/2006/main}"


class Doc:
    """A converted page as python-docx reads it, with lookups the checks use."""

    def __init__(self, path):
        self.d = docx.Document(path)
        self.body = self.d.element.body
        self.xml = self.d.element.xml
        numbering = None
        try:
            numbering = self.d.part.numbering_part.element
        except (KeyError, NotImplementedError):
            pass
        self.nums, self.abstracts = {}, {}
        if numbering is not None:
            for a in numbering.iter(W + "abstractNum"):
                self.abstracts[a.get(W + "abstractNumId")] = {
                    lvl.get(W + "ilvl"): (self.val(lvl.find(W + "numFmt")), self.val(lvl.find(W + "lvlText")),
                                          self.val(lvl.find(W + "start")))
                    for lvl in a.iter(W + "lvl")}
            for n in numbering.iter(W + "num"):
                starts = {o.get(W + "ilvl"): self.val(o.find(W + "startOverride")) for o in n.iter(W + "lvlOverride")}
                self.nums[n.get(W + "numId")] = (self.val(n.find(W + "abstractNumId")), starts)

    @staticmethod
    def val(el, attr="val"):
        return None if el is None else el.get(W + attr)

    def text_all(self):
        return "\n".join(w_text(p) for p in self.body.iter(W + "p"))

    def holding(self, tag, text):
        """The first element `tag` whose text holds `text`."""
        return next((el for el in self.body.iter(W + tag) if text in w_text(el)), None)

    def para(self, text):
        return self.holding("p", text)

    def run(self, text):
        return self.holding("r", text)

    @staticmethod
    def prop(holder, properties, tag, attr):
        """Property `tag` of `holder`'s `properties`: its attribute, True when it has none, None when absent."""
        el = None if holder is None else holder.find(W + properties + "/" + W + tag)
        return None if el is None else el.get(W + attr, True)

    def rpr(self, text, tag, attr="val"):
        return self.prop(self.run(text), "rPr", tag, attr)

    def on(self, text, tag):
        v = self.rpr(text, tag)
        return v is not None and v not in ("0", "false", "off")

    def ppr(self, text, tag, attr="val"):
        return self.prop(self.para(text), "pPr", tag, attr)

    def style(self, text):
        return self.ppr(text, "pStyle")

    def label(self, text):
        """(numFmt, lvlText, start, numId, ilvl) of the list item holding `text`; None for no list item."""
        p = self.para(text)
        num = None if p is None else p.find(W + "pPr/" + W + "numPr")
        if num is None:
            return None
        num_id, ilvl = self.val(num.find(W + "numId")), self.val(num.find(W + "ilvl")) or "0"
        abstract, starts = self.nums.get(num_id, (None, {}))
        fmt, lvl_text, start = self.abstracts.get(abstract, {}).get(ilvl, (None, None, None))
        return fmt, lvl_text, int(starts.get(ilvl) or start or 1), num_id, ilvl

    def lab(self, text, field):
        """One field of label(text); None for no list item."""
        label = self.label(text)
        return None if label is None else label[field]

    def same_list(self, a, b):
        """The list items holding `a` and `b` are items of one list."""
        return self.lab(a, 3) is not None and self.lab(a, 3) == self.lab(b, 3)

    def cell(self, text):
        return self.holding("tc", text)

    def cell_prop(self, text, tag, attr="val"):
        return self.prop(self.cell(text), "tcPr", tag, attr)

    def count(self, tag):
        return sum(1 for _ in self.body.iter(tag))

    def images(self):
        """(content type, extent cx, cy, has an SVG source) of each picture."""
        out = []
        for inline in self.body.iter(WP + "inline"):
            blip = next(inline.iter(A + "blip"))
            part = self.d.part.related_parts[blip.get(R + "embed")]
            ext = inline.find(WP + "extent")
            svg = any(True for _ in blip.iter("{http://schemas.microsoft.com/office/drawing/2016/SVG/main}svgBlip"))
            out.append((part.content_type, int(ext.get("cx")), int(ext.get("cy")), svg))
        return out

    def link_target(self, text):
        for link in self.body.iter(W + "hyperlink"):
            if text in w_text(link):
                rid = link.get(R + "id")
                return "#" + (link.get(W + "anchor") or "") if rid is None else self.d.part.rels[rid].target_ref
        return None


def near(value, target, slack):
    return value is not None and abs(int(value) - target) <= slack


def order(doc, *texts):
    all_text = doc.text_all()
    at = 0
    for t in texts:
        at = all_text.find(t, at)
        if at < 0:
            return False
    return True


def table_borders(doc):
    return [b.get(W + "val") for b in doc.body.iter(W + "tblBorders") for b in b]


# Per page: the texts that must show (in order), and the checks of its feature.
CHECKS = {
    "01-bold": (["plain bold and strong"], lambda d: [d.on("bold", "b"), d.on("strong", "b"), not d.on("plain", "b")]),
    "02-italic": (["italic", "emphasis"], lambda d: [d.on("italic", "i"), d.on("emphasis", "i")]),
    "03-underline": (["underlined"], lambda d: [d.rpr("underlined", "u") == "single"]),
    "04-strike": (["struck", "deleted", "strike"], lambda d: [d.on(t, "strike") for t in ("struck", "deleted", "strike")]),
    "05-sub-sup": (["H2O", "x2"], lambda d: ["subscript" in d.xml, "superscript" in d.xml]),
    "06-color": (["red", "blue"], lambda d: [d.rpr("red", "color") == "C00000", d.rpr("blue", "color") == "0000FF"]),
    "07-background": (["green back"], lambda d: [d.rpr("green back", "shd", "fill") == "CCFFCC"]),
    "08-mark": (["marked"], lambda d: [d.rpr("marked", "highlight") == "yellow"
                                       or d.rpr("marked", "shd", "fill") == "FFFF00"]),
    "09-font-family": (["serif text"], lambda d: [d.rpr("serif text", "rFonts", "ascii") == "Georgia"]),
    "10-font-size-px": (["big", "small"], lambda d: [d.rpr("big", "sz") == "36", near(d.rpr("small", "sz"), 20, 1)]),
    "11-font-size-keyword": (["xl", "sm"], lambda d: [d.rpr("xl", "sz") == "36", d.rpr("sm", "sz") == "20"]),
    "12-font-size-attr": (["five", "two"], lambda d: [d.rpr("five", "sz") == "36", d.rpr("two", "sz") == "20"]),
    "13-font-weight-600": (["semibold", "normal"], lambda d: [d.on("semibold", "b"), not d.on("normal", "b")]),
    "14-small-caps": (["Small Caps"], lambda d: [d.on("Small Caps", "smallCaps")]),
    "15-uppercase": (["shout"], lambda d: [d.on("shout", "caps")]),
    "16-code": (["printf()"], lambda d: [re.search("mono|courier", d.rpr("printf()", "rFonts", "ascii") or "", re.I)
                                         is not None]),
    "17-line-break": (["first line", "second line"], lambda d: [d.para("first line") is not None
                                                                and d.para("first line") is d.para("second line")
                                                                and d.para("first line").find(".//" + W + "br")
                                                                is not None]),
    "18-pre-tab": (["col1", "col2", "next line"], lambda d: [d.para("col1") is not None
                                                             and d.para("col1").find(".//" + W + "tab") is not None,
                                                             "col1\tcol2" not in d.xml]),
    "19-entities": (["caf\u00e9 & 5\u00a0\u20ac <tag>"], lambda d: [True]),
    "20-display-none": (["shown", "ab"], lambda d: [True]),
    "21-ins": (["inserted"], lambda d: [d.rpr("inserted", "u") == "single"]),
    "22-headings": (["Heading %d" % i for i in range(1, 7)],
                    lambda d: [d.style("Heading %d" % i) == "Heading%d" % i for i in range(1, 7)]),
    "23-heading-css-size": (["Big heading"], lambda d: [d.style("Big heading") == "Heading2",
                                                        d.rpr("Big heading", "sz") == "45"]),
    "24-paragraph-spacing": (["one", "two", "three"],
                             lambda d: [int(d.ppr("one", "spacing", "after") or 0) > 0
                                        or int(d.ppr("two", "spacing", "before") or 0) > 0]),
    "25-align": (["centred", "right"], lambda d: [d.ppr("centred", "jc") == "center", d.ppr("right", "jc") == "right"]),
    "26-justify": (["justified"], lambda d: [d.ppr("justified", "jc") == "both"]),
    "27-blockquote": (["before", "quoted text"], lambda d: [int(d.ppr("quoted", "ind", "left") or 0) > 0]),
    "28-margin": (["indented"], lambda d: [near(d.ppr("indented", "ind", "left"), 900, 15)]),
    "29-text-indent": (["first line in"], lambda d: [near(d.ppr("first line in", "ind", "firstLine"), 450, 15)]),
    "30-line-height": (["double"], lambda d: [d.ppr("double", "spacing", "line") == "480"]),
    "31-hr": (["above", "below"], lambda d: [d.count(W + "pBdr") == 1]),
    "32-page-break-before": (["page one", "page two"], lambda d: [d.ppr("page two", "pageBreakBefore") is True]),
    "33-page-break-after": (["page one", "page two"],
                            lambda d: ['w:type="page"' in d.xml or d.ppr("page two", "pageBreakBefore") is True]),
    "34-paragraph-background": (["shaded paragraph"], lambda d: [d.ppr("shaded", "shd", "fill") == "FFFF99"]),
    "35-rtl": (["\u05e9\u05dc\u05d5\u05dd"], lambda d: [d.ppr("\u05e9\u05dc\u05d5\u05dd", "bidi") is True]),
    "36-definition-list": (["Term", "Definition"], lambda d: [int(d.ppr("Definition", "ind", "left") or 0) > 0]),
    "37-malformed": (["one", "bold", "both", "italic?", "two", "stray item", "cell", "tail"],
                     lambda d: [d.on("bold", "b"), d.on("both", "i")]),
    "38-bullets": (["apple", "pear"], lambda d: [d.lab("apple", 0) == "bullet", d.same_list("apple", "pear")]),
    "39-numbers": (["first", "second"], lambda d: [d.lab("first", 0) == "decimal", d.same_list("first", "second")]),
    "40-nested-lists": (["top", "inner", "back"], lambda d: [d.lab("inner", 4) == "1", d.lab("top", 4) == "0"]),
    "41-ol-start": (["five", "six"], lambda d: [d.lab("five", 2) == 5]),
    "42-ol-type-a": (["alpha"], lambda d: [d.lab("alpha", 0) == "lowerLetter"]),
    "43-ol-type-roman": (["one", "two"], lambda d: [d.lab("one", 0) == "upperRoman"]),
    "44-list-style-square": (["square", "circle"], lambda d: [d.lab("square", 1) == "\u25aa",
                                                              d.lab("circle", 1) == "\u25e6"]),
    "45-list-style-none": (["plain item"], lambda d: [d.label("plain item") is None
                                                      or d.label("plain item")[0] == "none"]),
    "46-lists-restart": (["a1", "a2", "between", "b1"],
                         lambda d: [d.lab("b1", 2) == 1
                                    and d.lab("b1", 3) != d.lab("a1", 3)]),
    "47-list-continuation": (["item", "continued", "next"],
                             lambda d: [d.label("continued") is None,
                                        int(d.ppr("continued", "ind", "left") or 0) > 0,
                                        d.same_list("next", "item")]),
    "48-table": (["a", "b", "c", "d"], lambda d: [d.count(W + "tbl") == 1, d.count(W + "tc") == 4,
                                                  "single" in table_borders(d)]),
    "49-table-header": (["H1", "H2", "a"], lambda d: [d.count(W + "tblHeader") == 1]),
    "50-colspan": (["wide", "a", "b"], lambda d: [d.cell_prop("wide", "gridSpan") == "2"]),
    "51-rowspan": (["tall", "a", "b"], lambda d: [d.cell_prop("tall", "vMerge") == "restart",
                                                  d.count(W + "vMerge") == 2]),
    "52-cell-background": (["gold", "blue"], lambda d: [d.cell_prop("gold", "shd", "fill") == "FFCC00",
                                                        d.cell_prop("blue", "shd", "fill") == "99CCFF"]),
    "53-border-zero": (["no", "lines"], lambda d: [bool(table_borders(d))
                                                   and all(b in ("nil", "none") for b in table_borders(d))]),
    "54-cell-css-border": (["red box"], lambda d: [d.cell("red box") is not None
                                                   and d.cell("red box").find(".//" + W + "tcBorders") is not None
                                                   and 'w:color="FF0000"' in d.xml]),
    "55-table-width-percent": (["half"], lambda d: ['w:w="2500" w:type="pct"' in d.xml
                                                    or 'w:type="pct" w:w="2500"' in d.xml]),
    "56-column-widths": (["narrow", "wide"], lambda d: [[g.get(W + "w") for g in d.body.iter(W + "gridCol")]
                                                        == ["1500", "4500"]]),
    "57-vertical-align": (["tall", "bottom"], lambda d: [d.cell_prop("bottom", "vAlign") == "bottom"]),
    "58-nested-table": (["outer", "inner"], lambda d: [d.count(W + "tbl") == 2,
                                                       d.cell("inner").find(".//" + W + "tbl") is not None]),
    "59-newsletter": (["News", "Story text"], lambda d: [d.count(W + "tbl") == 2, d.style("News") == "Heading1"]),
    "60-cell-heading-list": (["In cell", "cell item"], lambda d: [d.style("In cell") == "Heading3",
                                                                  d.label("cell item") is not None]),
    "61-lying-colspan": (["c0", "c1", "c299"], lambda d: [d.count(W + "gridCol") <= 300, d.count(W + "tc") == 300]),
    "62-external-link": (["the site"], lambda d: [d.link_target("the site") == "https://example.org/page"]),
    "63-internal-link": (["jump", "Target"], lambda d: [d.link_target("jump") == "#target",
                                                        'w:name="target"' in d.xml]),
    "64-link-style": (["styled link"], lambda d: [d.rpr("styled link", "rStyle") == "Hyperlink",
                                                  'w:styleId="Hyperlink"' in d.d.styles.element.xml]),
    "65-png": ([], lambda d: [[i[0] for i in d.images()] == ["image/png"]]),
    "66-svg": ([], lambda d: [len(d.images()) == 1 and d.images()[0][3], "blue box" in d.xml]),
    "67-webp": ([], lambda d: [[i[0] for i in d.images()] == ["image/png"]]),
    "68-broken-image-alt": (["before", "a missing picture", "after"], lambda d: [not d.images()]),
    "69-image-size": ([], lambda d: [[i[1:3] for i in d.images()] == [(120 * 9525, 60 * 9525)]]),
    "70-windows-1252": (["caf\u00e9 \u2013 na\u00efve \u201cquoted\u201d"], lambda d: [True]),
    "71-utf16-bom": (["UTF-16 text: \u00fcber \u20ac"], lambda d: [True]),
    "72-nul-and-odd-characters": (["beforeafter", "odd \ufffd and  chars"], lambda d: [True]),
}

# Text that must never show: a page's hidden content, signs of a wrong encoding.
NEVER = ["HIDDEN", "\u00c3", "\u00e2\u0080"]


def judge(name, path, shown):
    texts, checks = CHECKS[name]
    try:
        doc = Doc(path)
    except Exception as e:  # a document python-docx cannot read is wrong
        return "wrong", "unreadable: %s" % e
    all_text = doc.text_all()
    for never in NEVER:
        if never in all_text or (shown is not None and never in shown):
            return "wrong", "shows %r" % never
    if doc.count(W + "fldChar") or doc.count(W + "fldSimple"):
        return "wrong", "a field the page has none of"
    results = checks(doc)
    text_ok = order(doc, *texts)
    if shown is not None and not all(t.replace("\u00a0", " ") in shown.replace("\u00a0", " ") for t in texts):
        return "lost", "LibreOffice does not show the text"
    passed = sum(1 for r in results if r) + (1 if text_ok else 0)
    if passed == len(results) + 1:
        return "works", ""
    return ("lost" if passed == 0 else "partial"), "checks %s, text %s" % (results, text_ok)


def soffice_texts(soffice, outdir, files):
    """LibreOffice's text of each of `files` (converted in one run)."""
    convert(files, "txt:Text", outdir, soffice)
    return {f: read_text(converted(outdir, f, "txt")) for f in files if os.path.exists(converted(outdir, f, "txt"))}


def main(argv=None):
    parser = argparse.ArgumentParser(description="Judge HTML feature pages converted by lxdocx.")
    parser.add_argument("lxdocx")
    parser.add_argument("pages")
    parser.add_argument("out")
    parser.add_argument("--soffice")
    parser.add_argument("--min-works", type=int, default=0)
    args = parser.parse_args(argv)
    os.makedirs(args.out, exist_ok=True)
    names = sorted(os.path.splitext(f)[0] for f in os.listdir(args.pages) if f.endswith(".html"))
    unknown = [n for n in names if n not in CHECKS]
    if unknown:
        sys.exit("html_suite: pages without checks: " + ", ".join(unknown))
    converted = {}
    for name in names:
        out = os.path.join(args.out, name + ".docx")
        r = subprocess.run([args.lxdocx, "from-html", os.path.join(args.pages, name + ".html"), out],
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, universal_newlines=True)
        converted[name] = out if r.returncode == 0 else None
    shown = soffice_texts(args.soffice, args.out, [f for f in converted.values() if f]) if args.soffice else {}
    tally = {"works": 0, "partial": 0, "lost": 0, "wrong": 0}
    for name in names:
        if converted[name] is None:
            verdict, why = "lost", "lxdocx failed"
        else:
            verdict, why = judge(name, converted[name], shown.get(converted[name]) if args.soffice else None)
        tally[verdict] += 1
        print("%-28s %-8s %s" % (name, verdict, why))
    print("works %(works)d, partial %(partial)d, lost %(lost)d, wrong %(wrong)d of " % tally + str(len(names)))
    return 1 if tally["wrong"] or tally["works"] < args.min_works else 0


if __name__ == "__main__":
    sys.exit(main())
