"""A rendered document read with python-docx: the text of every story in order (runs read as python-docx
reads them, and also those in hyperlinks, content controls and text boxes, which its paragraphs skip), and
the formatting the characters of each paragraph carry."""
import docx

W = "{http://schemas.openxmlformats.org/wordprocessingml/2006/main}"
STORY_RELS = ("/header", "/footer")


MC_FALLBACK = "{http://schemas.openxmlformats.org/markup-compatibility/2006}Fallback"
TEXT_BOX = W + "txbxContent"


def _char_of(el):
    """The text a run's child stands for, as python-docx reads runs."""
    if el.tag == W + "t":
        return el.text or ""
    return {W + "tab": "\t", W + "br": "\n", W + "cr": "\n"}.get(el.tag, "")


def _own_text(p):
    """The text of paragraph `p`: its runs, also those in hyperlinks and content controls, without the
    paragraphs of text boxes inside it and without the fallback copy of a shape."""
    def walk(el):
        for child in el:
            if child.tag in (W + "p", MC_FALLBACK):
                continue
            yield _char_of(child) if child.getparent().tag == W + "r" else ""
            yield from walk(child)
    return "".join(walk(p))


def _text_boxes(p):
    """The text-box contents anchored in paragraph `p` (not their fallback copies)."""
    boxes = []
    for box in p.iter(TEXT_BOX):
        el = box.getparent()
        while el is not p and el.tag not in (MC_FALLBACK, W + "p"):
            el = el.getparent()
        if el is p:
            boxes.append(box)
    return boxes


def _block_lines(parent, where):
    """One line per paragraph of `parent` (a body, header, footer, cell, content control or text box),
    tables cell by cell, text boxes after the paragraph that anchors them."""
    lines = []
    for child in parent:
        if child.tag == W + "p":
            lines.append("%s: %s" % (where, _own_text(child)))
            for box in _text_boxes(child):
                lines.extend(_block_lines(box, where + " text box"))
        elif child.tag == W + "tbl":
            for r, tr in enumerate(child.findall(W + "tr")):
                for c, tc in enumerate(tr.findall(W + "tc")):
                    lines.extend(_block_lines(tc, "%s table r%d c%d" % (where, r, c)))
        elif child.tag == W + "sdt":
            content = child.find(W + "sdtContent")
            if content is not None:
                lines.extend(_block_lines(content, where + " control"))
    return lines


def _stories(document):
    """(name, root element) of the body, then of every header and footer, by part name."""
    stories = [("body", document.element.body)]
    parts = sorted((rel.target_part for rel in document.part.rels.values()
                    if not rel.is_external and rel.reltype.endswith(STORY_RELS)),
                   key=lambda p: str(p.partname))
    return stories + [(str(p.partname).lstrip("/"), p.element) for p in parts]


def story_lines(path):
    """The text of the document at `path`: body paragraphs in order, table cells, headers, footers."""
    document = docx.Document(path)
    lines = []
    for name, root in _stories(document):
        lines.extend(_block_lines(root, name))
    return lines


def _run_format(r):
    """(bold, italic, colour) set directly on run `r`."""
    rpr = r.find(W + "rPr")

    def on(tag):
        el = None if rpr is None else rpr.find(W + tag)
        return el is not None and el.get(W + "val") not in ("0", "false", "off")
    color = None if rpr is None else rpr.find(W + "color")
    return on("b"), on("i"), None if color is None else color.get(W + "val")


def _paragraph_chars(p):
    """The text of paragraph `p` and the formatting of each of its characters."""
    text, formats = [], []
    for r in p.iter(W + "r"):
        fmt = _run_format(r)
        for el in r:
            piece = {W + "t": el.text or "", W + "tab": "\t", W + "br": "\n"}.get(el.tag, "")
            text.append(piece)
            formats.extend([fmt] * len(piece))
    return "".join(text), formats


def mark_faults(path, marks):
    """For each (value, bold, italic, colour) of `marks`: a fault when the value is nowhere in the document,
    or where it starts in a run without that formatting."""
    paragraphs = []
    document = docx.Document(path)
    for _, root in _stories(document):
        paragraphs.extend(_paragraph_chars(p) for p in root.iter(W + "p"))
    faults = []
    for value, bold, italic, color in marks:
        want = (bold, italic, color)
        seen = 0
        for text, formats in paragraphs:
            at = text.find(value)
            while at >= 0:
                seen += 1
                if formats[at] != want:
                    faults.append("%r in %r starts with (bold, italic, colour) %r, the tag's first character had %r"
                                  % (value, text, formats[at], want))
                at = text.find(value, at + 1)
        if not seen:
            faults.append("%r is nowhere in the document" % value)
    return faults


def tags_left(path):
    """The paragraphs of every story, fallback copies of shapes included, whose text still holds '{{' or '{%'."""
    left = []
    for name, root in _stories(docx.Document(path)):
        for p in root.iter(W + "p"):
            text = "".join(t.text or "" for t in p.iter(W + "t"))
            if "{{" in text or "{%" in text:
                left.append("%s: %s" % (name, text))
    return left


def repeated_bookmarks(path):
    """The bookmark ids and names that stand more than once in a story, the fallback copies of shapes left
    aside (each: "part: id N (K times)" or "part: name X (K times)")."""
    repeated = []
    for name, root in _stories(docx.Document(path)):
        marks = [b for b in root.iter(W + "bookmarkStart")
                 if not any(a.tag == MC_FALLBACK for a in b.iterancestors())]
        for attr in ("id", "name"):
            values = [b.get(W + attr) for b in marks]
            repeated += ["%s: %s %s (%d times)" % (name, attr, v, values.count(v))
                         for v in sorted(set(values)) if values.count(v) > 1]
    return repeated
