#!/usr/bin/env python3
"""html_suite.py LXDOCX PAGES OUT [--soffice SOFFICE] [--min-works N]: converts every feature page
PAGES/NN-name.html with `LXDOCX from-html` into OUT/NN-name.docx and judges it with python-docx: works (every
check holds), partial (some do), lost (none does, or with --soffice, LibreOffice's text of it lacks the page's
text), wrong (it says what the page does not: hidden text, a field, garbled characters). Prints a line per page
and the tally; exits 1 when a page is wrong or fewer than N work."""
import argparse
import os
import re
import subprocess
import sys
from functools import partialmethod

import docx
from lxml import etree

from judges import A, R, W, convert, converted, link_target, on, read_text, val, w_text

WP = "{http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing}"
SVG_BLIP = "{http://schemas.microsoft.com/office/drawing/2016/SVG/main}svgBlip"


class Doc:
    """A converted page as python-docx reads it, with lookups the checks use."""

    def __init__(self, path):
        self.d = docx.Document(path)
        self.body, self.xml = self.d.element.body, self.d.element.xml
        try:
            numbering = self.d.part.numbering_part.element
        except (KeyError, NotImplementedError):
            numbering = etree.Element("none")
        # numId: (abstractNumId, {ilvl: startOverride}); abstractNumId: {ilvl: (numFmt, lvlText, start)}
        self.nums = {n.get(W + "numId"): (val(n.find(W + "abstractNumId")), {
            o.get(W + "ilvl"): val(o.find(W + "startOverride")) for o in n.iter(W + "lvlOverride")})
            for n in numbering.iter(W + "num")}
        self.abstracts = {a.get(W + "abstractNumId"): {
            lvl.get(W + "ilvl"): tuple(val(lvl.find(W + t)) for t in ("numFmt", "lvlText", "start"))
            for lvl in a.iter(W + "lvl")} for a in numbering.iter(W + "abstractNum")}

    def text_all(self):
        return "\n".join(w_text(p) for p in self.body.iter(W + "p"))

    def holding(self, tag, text):
        """The first element `tag` whose text holds `text`."""
        return next((el for el in self.body.iter(W + tag) if text in w_text(el)), None)

    def has(self, text, tag, holder="p"):
        """The element `holder` holding `text` holds an element `tag`."""
        el = self.holding(holder, text)
        return el is not None and el.find(".//" + W + tag) is not None

    def prop(self, holder, text, tag, attr="val"):
        """Property `tag` of the element `holder` holding `text`: its `attr`, True when it has none, None when absent."""
        el = self.holding(holder, text)
        el = None if el is None else el.find(W + holder + "Pr/" + W + tag)
        return None if el is None else el.get(W + attr, True)

    para = partialmethod(holding, "p")
    rpr, ppr, cell_prop = partialmethod(prop, "r"), partialmethod(prop, "p"), partialmethod(prop, "tc")
    style = partialmethod(prop, "p", tag="pStyle")

    def on(self, text, tag):
        return on(self.rpr(text, tag) or "0")

    def label(self, text, field=None):
        """(numFmt, lvlText, start, numId, ilvl) of the list item holding `text`, or its `field`; None for none."""
        p = self.para(text)
        num = None if p is None else p.find(W + "pPr/" + W + "numPr")
        if num is None:
            return None
        num_id, ilvl = val(num.find(W + "numId")), val(num.find(W + "ilvl")) or "0"
        abstract, starts = self.nums.get(num_id, (None, {}))
        fmt, lvl_text, start = self.abstracts.get(abstract, {}).get(ilvl, (None, None, None))
        label = fmt, lvl_text, int(starts.get(ilvl) or start or 1), num_id, ilvl
        return label if field is None else label[field]

    def same_list(self, a, b):
        """The list items holding `a` and `b` are items of one list."""
        return self.label(a, 3) is not None and self.label(a, 3) == self.label(b, 3)

    def count(self, tag):
        return sum(1 for _ in self.body.iter(W + tag))

    def images(self):
        """(content type, extent cx, cy, has an SVG source) of each picture."""
        return [(self.d.part.related_parts[blip.get(R + "embed")].content_type, int(ext.get("cx")), int(ext.get("cy")),
                 any(True for _ in blip.iter(SVG_BLIP)))
                for inline in self.body.iter(WP + "inline")
                for blip, ext in [(next(inline.iter(A + "blip")), inline.find(WP + "extent"))]]

    def link_target(self, text):
        return next((link_target(a, self.d.part) for a in self.body.iter(W + "hyperlink") if text in w_text(a)), None)

    def in_order(self, *texts):
        return re.search(".*?".join(map(re.escape, texts)), self.text_all(), re.S) is not None

    def style_run_prop(self, style_id, tag):
        """The run property `tag` (its val) a paragraph style gives, through the styles it is based on, else the
        document's default; None when none does."""
        styles = self.d.styles.element
        while style_id:
            s = next((s for s in styles.iter(W + "style") if s.get(W + "styleId") == style_id), None)
            el = None if s is None else s.find(W + "rPr/" + W + tag)
            if el is not None:
                return val(el)
            based = None if s is None else s.find(W + "basedOn")
            style_id = None if based is None else val(based)
        return val(styles.find(W + "docDefaults/" + W + "rPrDefault/" + W + "rPr/" + W + tag))

    def words(self):
        """(word, size in points, colour) of every word of the body in order, as its run and style give them."""
        out = []
        for p in self.body.iter(W + "p"):
            style = p.find(W + "pPr/" + W + "pStyle")
            style = "Normal" if style is None else val(style)
            for r in p.iter(W + "r"):
                size, colour = (r.find(W + "rPr/" + W + t) for t in ("sz", "color"))
                size = int(val(size) if size is not None else self.style_run_prop(style, "sz") or 20) / 2
                colour = val(colour) if colour is not None else self.style_run_prop(style, "color")
                out += [(w, size, colour) for w in "".join(t.text or "" for t in r.iter(W + "t")).split()]
        return out

    def sizes_near(self, expected, within=0.05, share=0.9):
        """At least `share` of the words of `expected` ((text, points) in order) are within `within` of their size."""
        words, i, near, total = self.words(), 0, 0, 0
        for text, points in expected:
            for word in text.split():
                total += 1
                while i < len(words) and words[i][0] != word:
                    i += 1
                if i < len(words):
                    near += abs(words[i][1] - points) <= within * points
                    i += 1
        return near >= share * total

    def colour(self, text):
        """The colour of the first word of `text` as its run and style give it."""
        return next((c for w, _, c in self.words() if w == text.split()[0]), None)

    def table_borders(self):
        return {b.get(W + "val") for borders in self.body.iter(W + "tblBorders") for b in borders}


# Per page: the texts that must show (in order), and the checks of its feature.
CHECKS = {
    "01-bold": (["plain bold and strong"], lambda d: [d.on("bold", "b"), d.on("strong", "b"), not d.on("plain", "b")]),
    "02-italic": (["italic", "emphasis"], lambda d: [d.on("italic", "i"), d.on("emphasis", "i")]),
    "03-underline": (["underlined"], lambda d: [d.rpr("underlined", "u") == "single"]),
    "04-strike": (["struck", "deleted", "strike"],
                  lambda d: [d.on(t, "strike") for t in ("struck", "deleted", "strike")]),
    "05-sub-sup": (["H2O", "x2"], lambda d: ["subscript" in d.xml, "superscript" in d.xml]),
    "06-color": (["red", "blue"], lambda d: [d.rpr("red", "color") == "C00000", d.rpr("blue", "color") == "0000FF"]),
    "07-background": (["green back"], lambda d: [d.rpr("green back", "shd", "fill") == "CCFFCC"]),
    "08-mark": (["marked"], lambda d: [d.rpr("marked", "highlight") == "yellow"
                                       or d.rpr("marked", "shd", "fill") == "FFFF00"]),
    "09-font-family": (["serif text"], lambda d: [d.rpr("serif text", "rFonts", "ascii") == "Georgia"]),
    "10-font-size-px": (["big", "small"],
                        lambda d: [d.rpr("big", "sz") == "36", d.rpr("small", "sz") in ("19", "20", "21")]),
    "11-font-size-keyword": (["xl", "sm"], lambda d: [d.rpr("xl", "sz") == "36", d.rpr("sm", "sz") == "20"]),
    "12-font-size-attr": (["five", "two"], lambda d: [d.rpr("five", "sz") == "36", d.rpr("two", "sz") == "20"]),
    "13-font-weight-600": (["semibold", "normal"], lambda d: [d.on("semibold", "b"), not d.on("normal", "b")]),
    "14-small-caps": (["Small Caps"], lambda d: [d.on("Small Caps", "smallCaps")]),
    "15-uppercase": (["shout"], lambda d: [d.on("shout", "caps")]),
    "16-code": (["printf()"], lambda d: [re.search("mono|courier", d.rpr("printf()", "rFonts", "ascii") or "", re.I)
                                         is not None]),
    "17-line-break": (["first line", "second line"],
                      lambda d: [d.para("first line") is d.para("second line") and d.has("first line", "br")]),
    "18-pre-tab": (["col1", "col2", "next line"], lambda d: [d.has("col1", "tab"), "col1\tcol2" not in d.xml]),
    "19-entities": (["caf\u00e9 & 5\u00a0\u20ac <tag>"], lambda d: [True]),
    "20-display-none": (["shown", "ab"], lambda d: [True]),
    "21-ins": (["inserted"], lambda d: [d.rpr("inserted", "u") == "single"]),
    "22-headings": (["Heading %d" % i for i in range(1, 7)],
                    lambda d: [d.style("Heading %d" % i) == "Heading%d" % i for i in range(1, 7)]),
    "23-heading-css-size": (["Big heading"], lambda d: [d.style("Big heading") == "Heading2",
                                                        d.rpr("Big heading", "sz") == "45"]),
    "24-paragraph-spacing": (["one", "two", "three"], lambda d: [
        int(d.ppr("one", "spacing", "after") or 0) > 0 or int(d.ppr("two", "spacing", "before") or 0) > 0]),
    "25-align": (["centred", "right"], lambda d: [d.ppr("centred", "jc") == "center", d.ppr("right", "jc") == "right"]),
    "26-justify": (["justified"], lambda d: [d.ppr("justified", "jc") == "both"]),
    "27-blockquote": (["before", "quoted text"], lambda d: [int(d.ppr("quoted", "ind", "left") or 0) > 0]),
    "28-margin": (["indented"], lambda d: [int(d.ppr("indented", "ind", "left") or 0) in range(885, 916)]),
    "29-text-indent": (["first line in"],
                       lambda d: [int(d.ppr("first line in", "ind", "firstLine") or 0) in range(435, 466)]),
    "30-line-height": (["double"], lambda d: [d.ppr("double", "spacing", "line") == "480"]),
    "31-hr": (["above", "below"], lambda d: [d.count("pBdr") == 1]),
    "32-page-break-before": (["page one", "page two"], lambda d: [d.ppr("page two", "pageBreakBefore") is True]),
    "33-page-break-after": (["page one", "page two"],
                            lambda d: ['w:type="page"' in d.xml or d.ppr("page two", "pageBreakBefore") is True]),
    "34-paragraph-background": (["shaded paragraph"], lambda d: [d.ppr("shaded", "shd", "fill") == "FFFF99"]),
    "35-rtl": (["\u05e9\u05dc\u05d5\u05dd"], lambda d: [d.ppr("\u05e9\u05dc\u05d5\u05dd", "bidi") is True]),
    "36-definition-list": (["Term", "Definition"], lambda d: [int(d.ppr("Definition", "ind", "left") or 0) > 0]),
    "37-malformed": (["one", "bold", "both", "italic?", "two", "stray item", "cell", "tail"],
                     lambda d: [d.on("bold", "b"), d.on("both", "i")]),
    "38-bullets": (["apple", "pear"], lambda d: [d.label("apple", 0) == "bullet", d.same_list("apple", "pear")]),
    "39-numbers": (["first", "second"], lambda d: [d.label("first", 0) == "decimal", d.same_list("first", "second")]),
    "40-nested-lists": (["top", "inner", "back"], lambda d: [d.label("inner", 4) == "1", d.label("top", 4) == "0"]),
    "41-ol-start": (["five", "six"], lambda d: [d.label("five", 2) == 5]),
    "42-ol-type-a": (["alpha"], lambda d: [d.label("alpha", 0) == "lowerLetter"]),
    "43-ol-type-roman": (["one", "two"], lambda d: [d.label("one", 0) == "upperRoman"]),
    "44-list-style-square": (["square", "circle"],
                             lambda d: [d.label("square", 1) == "\u25aa", d.label("circle", 1) == "\u25e6"]),
    "45-list-style-none": (["plain item"], lambda d: [d.label("plain item", 0) in (None, "none")]),
    "46-lists-restart": (["a1", "a2", "between", "b1"],
                         lambda d: [d.label("b1", 2) == 1 and d.label("b1", 3) != d.label("a1", 3)]),
    "47-list-continuation": (["item", "continued", "next"], lambda d: [
        d.label("continued") is None, int(d.ppr("continued", "ind", "left") or 0) > 0, d.same_list("next", "item")]),
    "48-table": (["a", "b", "c", "d"], lambda d: [d.count("tbl") == 1, d.count("tc") == 4,
                                                  "single" in d.table_borders()]),
    "49-table-header": (["H1", "H2", "a"], lambda d: [d.count("tblHeader") == 1]),
    "50-colspan": (["wide", "a", "b"], lambda d: [d.cell_prop("wide", "gridSpan") == "2"]),
    "51-rowspan": (["tall", "a", "b"], lambda d: [d.cell_prop("tall", "vMerge") == "restart", d.count("vMerge") == 2]),
    "52-cell-background": (["gold", "blue"], lambda d: [d.cell_prop("gold", "shd", "fill") == "FFCC00",
                                                        d.cell_prop("blue", "shd", "fill") == "99CCFF"]),
    "53-border-zero": (["no", "lines"], lambda d: [d.table_borders() in ({"nil"}, {"none"}, {"nil", "none"})]),
    "54-cell-css-border": (["red box"], lambda d: [d.has("red box", "tcBorders", "tc") and 'w:color="FF0000"' in d.xml]),
    "55-table-width-percent": (["half"], lambda d: ['w:w="2500" w:type="pct"' in d.xml
                                                    or 'w:type="pct" w:w="2500"' in d.xml]),
    "56-column-widths": (["narrow", "wide"], lambda d: [[g.get(W + "w") for g in d.body.iter(W + "gridCol")]
                                                        == ["1500", "4500"]]),
    "57-vertical-align": (["tall", "bottom"], lambda d: [d.cell_prop("bottom", "vAlign") == "bottom"]),
    "58-nested-table": (["outer", "inner"], lambda d: [d.count("tbl") == 2, d.has("inner", "tbl", "tc")]),
    "59-newsletter": (["News", "Story text"], lambda d: [d.count("tbl") == 2, d.style("News") == "Heading1"]),
    "60-cell-heading-list": (["In cell", "cell item"], lambda d: [d.style("In cell") == "Heading3",
                                                                  d.label("cell item") is not None]),
    "61-lying-colspan": (["c0", "c1", "c299"], lambda d: [d.count("gridCol") <= 300, d.count("tc") == 300]),
    "62-external-link": (["the site"], lambda d: [d.link_target("the site") == "https://example.org/page"]),
    "63-internal-link": (["jump", "Target"], lambda d: [d.link_target("jump") == "#target", 'w:name="target"' in d.xml]),
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
    "73-word-lists": (["Before the list", "Bullet one", "Bullet two", "Bullet three", "Bullet four", "Number one",
                       "Letter a", "Roman i", "Roman ii", "Number two", "After"], lambda d: [
        [d.label(t, 4) for t in ("Bullet one", "Bullet two", "Bullet three", "Bullet four")] == ["0", "1", "2", "0"],
        [d.label(t, 1) for t in ("Bullet one", "Bullet two", "Bullet three")] == ["\u2022", "\u25e6", "\u25aa"],
        [d.label(t, 0) for t in ("Number one", "Letter a", "Roman i")] == ["decimal", "lowerLetter", "lowerRoman"],
        [d.label(t, 4) for t in ("Number one", "Letter a", "Roman ii", "Number two")] == ["0", "1", "2", "0"],
        d.same_list("Bullet one", "Bullet four"), d.same_list("Number one", "Number two"),
        d.same_list("Roman i", "Roman ii"), not d.same_list("Bullet one", "Number one"),
        w_text(d.para("Bullet one")) == "Bullet one", w_text(d.para("Roman i")) == "Roman i",
        d.label("Before the list") is None and d.label("After") is None]),
    "74-block-margins": (["inches in", "spaced paragraph", "indented item"], lambda d: [
        int(d.ppr(t + " in", "ind", "left") or 0) in range(1425, 1456)
        for t in ("inches", "centimetres", "millimetres", "points", "picas", "ems", "pixels", "padded")] + [
        d.ppr("right margin", "ind", "right") == "1440",
        (d.ppr("hanging first", "ind", "left"), d.ppr("hanging first", "ind", "hanging")) == ("720", "360"),
        (d.ppr("spaced", "spacing", "before"), d.ppr("spaced", "spacing", "after")) == ("480", "360"),
        d.label("indented item") is not None and int(d.ppr("indented item", "ind", "left") or 0) == 720 + 1440]),
    "75-style-sheet": (["normal text", "coloured heading", "plain heading", "green paragraph", "red paragraph",
                        "inline wins"], lambda d: [
        d.rpr("normal text", "sz") == "22", d.rpr("normal text", "rFonts", "ascii") == "Calibri",
        d.ppr("normal text", "spacing", "after") in ("160", "165"), d.rpr("coloured heading", "color") == "2E5395",
        d.style("plain heading") == "Heading2" and not d.on("plain heading", "b"),
        d.rpr("green paragraph", "color") == "00AA00", d.rpr("red paragraph", "color") == "C00000",
        d.rpr("inline wins", "color") == "0000FF"]),
    "76-local-picture": (["before", "after"], lambda d: [[i[0] for i in d.images()] == ["image/png"]]),
    "77-heading-in-list": (["First chapter", "Second chapter", "plain item"], lambda d: [
        d.style("First chapter") == "Heading1", d.same_list("First chapter", "plain item"),
        int(d.ppr("First chapter", "ind", "hanging") or 0) >= 450,
        int(d.ppr("First chapter", "ind", "left") or 0) - int(d.ppr("First chapter", "ind", "hanging") or 0) == 360]),
    # Clipboard pages: font sizes near the browser's on nine words in ten, colours kept.
    "78-word-clipboard": (["Quarterly review", "The first quarter", "Regional figures", "fell slightly",
                           "North grew fastest", "South held steady", "Figures are unaudited.", "full report"], lambda d: [
        d.sizes_near([("Quarterly review", 16), ("The first quarter closed above plan in every region.", 11),
                      ("Regional figures", 13), ("Sales rose twelve percent and costs fell slightly over the period.", 11),
                      ("North grew fastest South held steady", 11), ("Figures are unaudited.", 9),
                      ("See the full report for details.", 11)]),
        [d.colour(t) for t in ("Quarterly", "Regional", "fell", "Figures", "full")]
        == ["2F5496", "2F5496", "C00000", "7F7F7F", "0563C1"],
        d.label("North grew fastest") is not None and d.same_list("North grew fastest", "South held steady")]),
    "79-google-docs-clipboard": (["Project plan", "The work starts in March and ends in June.", "Milestones",
                                  "Design review", "First release", "Dates may move."], lambda d: [
        d.sizes_near([("plan", 20), ("The work starts in March and ends in June.", 11), ("Milestones", 16),
                      ("Design review First release", 11), ("Dates may move.", 9)]),
        d.colour("Dates") == "980000", d.on("March", "b"), d.on("Dates", "i"), not d.on("work", "b"),
        d.same_list("Design review", "First release")]),
}

def judge(name, path, shown):
    texts, checks = CHECKS[name]
    try:
        doc = Doc(path)
    except Exception as e:  # a document python-docx cannot read is wrong
        return "wrong", "unreadable: %s" % e
    # Text that must never show: a page's hidden content, signs of a wrong encoding.
    never = next((n for n in ("HIDDEN", "\u00c3", "\u00e2\u0080") if n in doc.text_all() + (shown or "")), None)
    if never or doc.count("fldChar") or doc.count("fldSimple"):
        return "wrong", "shows %r" % never if never else "a field the page has none of"
    if shown is not None and not all(t.replace("\u00a0", " ") in shown.replace("\u00a0", " ") for t in texts):
        return "lost", "LibreOffice does not show the text"
    results = checks(doc) + [doc.in_order(*texts)]
    verdict = "works" if all(results) else "partial" if any(results) else "lost"
    return verdict, "" if verdict == "works" else "checks %s, text %s" % (results[:-1], results[-1])


def main(argv=None):
    parser = argparse.ArgumentParser(description="Judge HTML feature pages converted by lxdocx.")
    for name in ("lxdocx", "pages", "out", "--soffice"):
        parser.add_argument(name)
    parser.add_argument("--min-works", type=int, default=0)
    args = parser.parse_args(argv)
    os.makedirs(args.out, exist_ok=True)
    names = sorted(os.path.splitext(f)[0] for f in os.listdir(args.pages) if f.endswith(".html"))
    if any(n not in CHECKS for n in names):
        sys.exit("html_suite: pages without checks: " + ", ".join(n for n in names if n not in CHECKS))
    docs = {name: os.path.join(args.out, name + ".docx") for name in names}
    failed = {name for name, out in docs.items() if subprocess.run(
        [args.lxdocx, "from-html", os.path.join(args.pages, name + ".html"), out], capture_output=True).returncode}
    shown = {}
    if args.soffice:
        files = [f for n, f in docs.items() if n not in failed]
        convert(files, "txt:Text", args.out, args.soffice)
        shown = {f: read_text(t) for f in files for t in [converted(args.out, f, "txt")] if os.path.exists(t)}
    tally = dict.fromkeys(("works", "partial", "lost", "wrong"), 0)
    for name in names:
        verdict, why = ("lost", "lxdocx failed") if name in failed else judge(
            name, docs[name], shown.get(docs[name]) if args.soffice else None)
        tally[verdict] += 1
        print("%-28s %-8s %s" % (name, verdict, why))
    print("works %(works)d, partial %(partial)d, lost %(lost)d, wrong %(wrong)d of " % tally + str(len(names)))
    return 1 if tally["wrong"] or tally["works"] < args.min_works else 0


if __name__ == "__main__":
    sys.exit(main())
