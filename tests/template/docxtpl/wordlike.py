"""Document XML written the way Word leaves template tags: every tag cut into runs mid-tag, the pieces
formatted differently, proofing marks and the _GoBack bookmark between them.

A tag's first character keeps the formatting `tag_format(tag)` gives it; the value rendered in its place
must carry that formatting (the test's marks)."""
import collections
import zlib
from xml.sax.saxutils import escape

W_NS = "http://schemas.openxmlformats.org/wordprocessingml/2006/main"

Fmt = collections.namedtuple("Fmt", "bold italic color")
PLAIN = Fmt(False, False, None)
BOLD = Fmt(True, False, None)
ITALIC = Fmt(False, True, None)
RED = Fmt(False, False, "C00000")
BOLD_ITALIC_BLUE = Fmt(True, True, "1F4E79")
# Formats given to the first character of tags (never plain: the check must see it survive).
TAG_FORMATS = (BOLD, ITALIC, RED, BOLD_ITALIC_BLUE)
# Formats of the later pieces of a tag, which the rendering may drop.
PIECE_FORMATS = (ITALIC, PLAIN, RED, BOLD)


def tag_format(tag):
    """The formatting of the first character of `tag` (the same for every occurrence of a tag text)."""
    return TAG_FORMATS[zlib.crc32(tag.encode("utf-8")) % len(TAG_FORMATS)]


def rpr(fmt):
    parts = []
    if fmt.bold:
        parts.append("<w:b/>")
    if fmt.italic:
        parts.append("<w:i/>")
    if fmt.color:
        parts.append('<w:color w:val="%s"/>' % fmt.color)
    return "<w:rPr>%s</w:rPr>" % "".join(parts) if parts else ""


def rsid(text):
    """A revision id as Word stamps on runs and paragraphs (here derived from the text)."""
    return "%08X" % (zlib.crc32(text.encode("utf-8")) & 0xFFFFFF)


def run(text, fmt=PLAIN):
    return '<w:r w:rsidR="%s">%s<w:t xml:space="preserve">%s</w:t></w:r>' % (rsid(text), rpr(fmt), escape(text))


class Splitter:
    """Cuts tags the way Word does; a counter varies where the cuts fall and what lies between pieces."""

    def __init__(self, cut_tags=True):
        self.cut_tags = cut_tags  # False: every paragraph one run, its tags whole
        self.count = 0
        self.go_back_placed = False  # Word keeps one _GoBack; its other hidden bookmarks are _Hlk...

    def _between(self, k, slot):
        """What Word leaves between two pieces of the k-th tag, before piece `slot`."""
        kind = (k + slot) % 4
        if kind == 0:
            return '<w:proofErr w:type="spellStart"/>'
        if kind == 1:
            return '<w:proofErr w:type="spellEnd"/>'
        if kind == 2:
            bid = 900 + k
            name = "_Hlk%d" % (480000 + k * 37) if self.go_back_placed else "_GoBack"
            self.go_back_placed = True
            return '<w:bookmarkStart w:id="%d" w:name="%s"/><w:bookmarkEnd w:id="%d"/>' % (bid, name, bid)
        return ""

    def tag_runs(self, tag, lead=""):
        """The runs of one tag; `lead` (text just before it) shares the first run, as Word often has it."""
        k = self.count
        self.count += 1
        fmt = tag_format(tag)
        middle = max(2, min(len(tag) - 2, 2 + (k * 3) % max(1, len(tag) - 3)))
        cuts = [0, 1, middle, len(tag) - 1, len(tag)]
        pieces = [tag[a:b] for a, b in zip(cuts, cuts[1:]) if b > a]
        out = [run(lead + pieces[0], fmt)]
        for slot, piece in enumerate(pieces[1:], start=1):
            out.append(self._between(k, slot))
            out.append(run(piece, PIECE_FORMATS[(k + slot) % len(PIECE_FORMATS)]))
        return "".join(out)

    def runs(self, text, base=PLAIN):
        """The runs of a paragraph's text holding tags ({{ }} and {% %})."""
        if not self.cut_tags:
            return run(text, base)
        out = []
        pos = 0
        while True:
            starts = [i for i in (text.find("{{", pos), text.find("{%", pos)) if i >= 0]
            if not starts:
                break
            start = min(starts)
            close = text.find("}}" if text[start + 1] == "{" else "%}", start)
            end = close + 2 if close >= 0 else len(text)  # an unclosed tag runs to the end
            plain = text[pos:start]
            # Every third tag takes the last word before it into its first run.
            lead = ""
            if plain and self.count % 3 == 2:
                cut = plain.rstrip().rfind(" ") + 1
                plain, lead = plain[:cut], plain[cut:]
            if plain:
                out.append(run(plain, base))
            out.append(self.tag_runs(text[start:end], lead))
            pos = end
        if text[pos:]:
            out.append(run(text[pos:], base))
        return "".join(out)


class Builder:
    """Paragraphs and tables of one template, written through one splitter."""

    def __init__(self, cut_tags=True):
        self.split = Splitter(cut_tags)

    def p(self, text="", style=None, base=PLAIN):
        ppr = '<w:pPr><w:pStyle w:val="%s"/></w:pPr>' % style if style else ""
        return '<w:p w:rsidR="%s" w:rsidRDefault="%s">%s%s</w:p>' % (rsid(text), rsid(text[::-1]), ppr,
                                                                      self.split.runs(text, base))

    def cell(self, content, width):
        paras = content if isinstance(content, list) else [content]
        body = "".join(x if x.startswith("<w:") else self.p(x) for x in paras) or "<w:p/>"
        return '<w:tc><w:tcPr><w:tcW w:w="%d" w:type="dxa"/></w:tcPr>%s</w:tc>' % (width, body)

    def table(self, rows, width=9000):
        """A bordered table of `rows` (lists of cell texts, a cell may be a list of paragraphs)."""
        columns = max(len(r) for r in rows)
        col = width // columns
        grid = "".join('<w:gridCol w:w="%d"/>' % col for _ in range(columns))
        trs = []
        for r in rows:
            cells = list(r) + [""] * (columns - len(r))
            trs.append("<w:tr>%s</w:tr>" % "".join(self.cell(c, col) for c in cells))
        return ('<w:tbl><w:tblPr><w:tblStyle w:val="TableGrid"/><w:tblW w:w="0" w:type="auto"/></w:tblPr>'
                "<w:tblGrid>%s</w:tblGrid>%s</w:tbl>" % (grid, "".join(trs)))

    def row_loop_table(self, header, for_tag, cells, endfor_tag, after=()):
        """A table whose rows between a {%tr for %} row and a {%tr endfor %} row repeat."""
        return self.table([header, [for_tag], cells, [endfor_tag]] + list(after))

    def p_with(self, *pieces, style=None):
        """A paragraph of pieces: text with tags, or XML (starting with '<') placed as it is."""
        ppr = '<w:pPr><w:pStyle w:val="%s"/></w:pPr>' % style if style else ""
        body = "".join(x if x.startswith("<") else self.split.runs(x) for x in pieces)
        return "<w:p>%s%s</w:p>" % (ppr, body)

    def hyperlink(self, text):
        """A link to the top of the document whose text is `text`."""
        return '<w:hyperlink w:anchor="_top" w:history="1">%s</w:hyperlink>' % self.split.runs(text)

    def inline_control(self, text, alias):
        """A plain-text content control inside a paragraph."""
        return ('<w:sdt><w:sdtPr><w:alias w:val="%s"/><w:text/></w:sdtPr><w:sdtContent>%s</w:sdtContent></w:sdt>'
                % (alias, self.split.runs(text)))

    def block_control(self, paragraphs, alias):
        """A content control around whole paragraphs (texts with tags)."""
        return ('<w:sdt><w:sdtPr><w:alias w:val="%s"/></w:sdtPr><w:sdtContent>%s</w:sdtContent></w:sdt>'
                % (alias, "".join(self.p(t) for t in paragraphs)))

    def text_box(self, paragraphs):
        """A run holding a text box, as Word writes it: a shape, and a VML copy for older readers; both
        hold the paragraphs."""
        content = "<w:txbxContent>%s</w:txbxContent>" % "".join(self.p(t) for t in paragraphs)
        return ('<w:r><mc:AlternateContent><mc:Choice Requires="wps"><w:drawing><wp:inline>'
                '<wp:extent cx="2520000" cy="720000"/><wp:docPr id="%d" name="Text Box %d"/>'
                '<a:graphic xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main">'
                '<a:graphicData uri="http://schemas.microsoft.com/office/word/2010/wordprocessingShape">'
                '<wps:wsp><wps:cNvSpPr txBox="1"/><wps:spPr><a:xfrm><a:off x="0" y="0"/>'
                '<a:ext cx="2520000" cy="720000"/></a:xfrm><a:prstGeom prst="rect"><a:avLst/></a:prstGeom>'
                '</wps:spPr><wps:txbx>%s</wps:txbx><wps:bodyPr/></wps:wsp></a:graphicData></a:graphic>'
                '</wp:inline></w:drawing></mc:Choice><mc:Fallback><w:pict>'
                '<v:shape style="width:198pt;height:56.7pt" type="#_x0000_t202"><v:textbox>%s</v:textbox>'
                '</v:shape></w:pict></mc:Fallback></mc:AlternateContent></w:r>'
                % (self.split.count + 500, self.split.count + 500, content, content))
