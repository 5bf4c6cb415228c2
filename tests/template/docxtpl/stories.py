"""A rendered document as python-docx reads it: the text of every story in order, and the formatting the
characters of each paragraph carry."""
import docx
from docx.text.paragraph import Paragraph

W = "{http://schemas.openxmlformats.org/wordprocessingml/2006/main}"
STORY_RELS = ("/header", "/footer")


def _block_lines(parent, where):
    """One line per paragraph of `parent` (a body, header, footer or cell), tables cell by cell."""
    lines = []
    for child in parent:
        if child.tag == W + "p":
            lines.append("%s: %s" % (where, Paragraph(child, None).text))
        elif child.tag == W + "tbl":
            for r, tr in enumerate(child.findall(W + "tr")):
                for c, tc in enumerate(tr.findall(W + "tc")):
                    lines.extend(_block_lines(tc, "%s table r%d c%d" % (where, r, c)))
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
