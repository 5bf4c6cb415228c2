#!/usr/bin/env python3
"""Writes the benchmark's synthetic DOCX package.

The package has a word/document.xml of about 10 MB: about 20,000 paragraphs of
varied runs (bold, italic, colours, sizes, preserved spaces between runs),
Heading1-3 headings, tables, a few PNG pictures, a header and a footer, plus a
styles part, a settings part and the core and app properties. Output is the same
byte for byte on every run for a given seed and paragraph count.

    python3 make_package.py OUT.docx [--paragraphs N] [--seed S]

Standard library only.
"""

import argparse
import random
import struct
import sys
import zipfile
import zlib

NS_W = "http://schemas.openxmlformats.org/wordprocessingml/2006/main"
NS_R = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
NS_WP = "http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing"
NS_A = "http://schemas.openxmlformats.org/drawingml/2006/main"
NS_PIC = "http://schemas.openxmlformats.org/drawingml/2006/picture"
NS_PKG_RELS = "http://schemas.openxmlformats.org/package/2006/relationships"
NS_TYPES = "http://schemas.openxmlformats.org/package/2006/content-types"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
CT_WML = "application/vnd.openxmlformats-officedocument.wordprocessingml."

XML_DECL = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
ZIP_DATE = (2024, 1, 1, 0, 0, 0)
DEFAULT_SEED = 20240101
DEFAULT_PARAGRAPHS = 20000

WORDS = (
    "the of and to in is that for it as with was on be by this are or from at an "
    "which have not but all were when there can been one more some would their "
    "document paragraph section heading table column row cell style font margin "
    "page header footer image picture caption figure chapter appendix summary "
    "report quarterly revenue analysis results method sample measure value growth "
    "library package archive member deflate index element attribute namespace "
    "Ärger über größer naïve café résumé Straße façade coöperate Ωmega Δelta λambda "
    "alpha beta gamma delta epsilon zeta theta kappa omicron sigma upsilon omega "
    "Lorvex quick brown fox jumps over lazy dog pack my box with five dozen jugs"
).split()

COLOURS = ("1F4E79", "C00000", "2E7D32", "7030A0", "ED7D31", "404040", "0070C0")
SIZES = (18, 20, 22, 24, 28, 32)
FONTS = ("Calibri", "Cambria", "Consolas", "Georgia")
ALIGNMENTS = ("left", "both", "center", "right")


def xml_escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


# ---- pictures ---------------------------------------------------------------

def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def make_png(width, height, seed):
    """An RGB gradient with a few stripes: small, but not a constant image."""
    rng = random.Random(seed)
    r0, g0, b0 = rng.randrange(256), rng.randrange(256), rng.randrange(256)
    rows = bytearray()
    for y in range(height):
        rows.append(0)  # filter: none
        for x in range(width):
            stripe = 60 if (x // 8 + y // 8) % 5 == 0 else 0
            rows += bytes(((r0 + x * 2 + stripe) & 255, (g0 + y * 3) & 255, (b0 + x + y + stripe) & 255))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
            + png_chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + png_chunk(b"IEND", b""))


# ---- body -------------------------------------------------------------------

class BodyWriter:
    def __init__(self, rng, pictures):
        self.rng = rng
        self.pictures = pictures  # [(rId, width, height)]
        self.out = []
        self.paragraphs = 0
        self.tables = 0
        self.drawings = 0

    def words(self, lo, hi):
        rng = self.rng
        return " ".join(rng.choice(WORDS) for _ in range(rng.randint(lo, hi)))

    def run_props(self):
        rng = self.rng
        props = []
        if rng.random() < 0.15:
            font = rng.choice(FONTS)
            props.append('<w:rFonts w:ascii="%s" w:hAnsi="%s" w:cs="%s"/>' % (font, font, font))
        if rng.random() < 0.25:
            props.append("<w:b/><w:bCs/>")
        if rng.random() < 0.2:
            props.append("<w:i/><w:iCs/>")
        if rng.random() < 0.08:
            props.append('<w:u w:val="single"/>')
        if rng.random() < 0.2:
            props.append('<w:color w:val="%s"/>' % rng.choice(COLOURS))
        if rng.random() < 0.2:
            size = rng.choice(SIZES)
            props.append('<w:sz w:val="%d"/><w:szCs w:val="%d"/>' % (size, size))
        if rng.random() < 0.03:
            props.append('<w:highlight w:val="yellow"/>')
        return "<w:rPr>%s</w:rPr>" % "".join(props) if props else ""

    def run(self, text, props=None):
        props = self.run_props() if props is None else props
        preserve = ' xml:space="preserve"' if text != text.strip() else ""
        return "<w:r>%s<w:t%s>%s</w:t></w:r>" % (props, preserve, xml_escape(text))

    def runs(self, count):
        parts = []
        rng = self.rng
        for i in range(count):
            text = self.words(1, 9)
            if i + 1 < count:
                # Either a trailing space inside the run or a space-only run.
                if rng.random() < 0.5:
                    parts.append(self.run(text + " "))
                else:
                    parts.append(self.run(text))
                    parts.append(self.run(" ", ""))
            else:
                parts.append(self.run(text + "."))
        return "".join(parts)

    def paragraph(self, runs_xml, style=None, align=None, spacing=True):
        ppr = []
        if style:
            ppr.append('<w:pStyle w:val="%s"/>' % style)
        if spacing and self.rng.random() < 0.3:
            ppr.append('<w:spacing w:before="%d" w:after="%d"/>'
                       % (self.rng.choice((0, 60, 120)), self.rng.choice((120, 160, 240))))
        if align:
            ppr.append('<w:jc w:val="%s"/>' % align)
        ppr_xml = "<w:pPr>%s</w:pPr>" % "".join(ppr) if ppr else ""
        self.paragraphs += 1
        return "<w:p>%s%s</w:p>" % (ppr_xml, runs_xml)

    def body_paragraph(self):
        rng = self.rng
        align = rng.choice(ALIGNMENTS) if rng.random() < 0.3 else None
        return self.paragraph(self.runs(rng.randint(2, 7)), align=align)

    def heading(self, level):
        return self.paragraph(self.run(self.words(2, 7).capitalize(), ""), style="Heading%d" % level,
                              spacing=False)

    def table(self, rows, cols):
        rng = self.rng
        width = 9000 // cols
        grid = "".join('<w:gridCol w:w="%d"/>' % width for _ in range(cols))
        out = ['<w:tbl><w:tblPr><w:tblStyle w:val="TableGrid"/><w:tblW w:w="0" w:type="auto"/>'
               '<w:tblLook w:val="04A0" w:firstRow="1" w:lastRow="0" w:firstColumn="1" w:lastColumn="0"'
               ' w:noHBand="0" w:noVBand="1"/></w:tblPr><w:tblGrid>%s</w:tblGrid>' % grid]
        for r in range(rows):
            out.append("<w:tr>")
            for _ in range(cols):
                shade = '<w:shd w:val="clear" w:color="auto" w:fill="D9E2F3"/>' if r == 0 else ""
                out.append('<w:tc><w:tcPr><w:tcW w:w="%d" w:type="dxa"/>%s</w:tcPr>' % (width, shade))
                bold = "<w:rPr><w:b/></w:rPr>" if r == 0 else None
                out.append(self.paragraph(self.run(self.words(1, 4), bold), spacing=False))
                out.append("</w:tc>")
            out.append("</w:tr>")
        out.append("</w:tbl>")
        self.tables += 1
        return "".join(out)

    def picture(self, index):
        rid, width, height = self.pictures[index % len(self.pictures)]
        self.drawings += 1
        n = self.drawings
        cx, cy = width * 9525 * 4, height * 9525 * 4  # EMU, shown at four times the pixel size
        drawing = (
            '<w:r><w:drawing><wp:inline distT="0" distB="0" distL="0" distR="0">'
            '<wp:extent cx="%d" cy="%d"/><wp:effectExtent l="0" t="0" r="0" b="0"/>'
            '<wp:docPr id="%d" name="Picture %d"/>'
            '<wp:cNvGraphicFramePr><a:graphicFrameLocks noChangeAspect="1"/></wp:cNvGraphicFramePr>'
            '<a:graphic><a:graphicData uri="%s"><pic:pic><pic:nvPicPr>'
            '<pic:cNvPr id="%d" name="image%d.png"/><pic:cNvPicPr/></pic:nvPicPr>'
            '<pic:blipFill><a:blip r:embed="%s"/><a:stretch><a:fillRect/></a:stretch></pic:blipFill>'
            '<pic:spPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="%d" cy="%d"/></a:xfrm>'
            '<a:prstGeom prst="rect"><a:avLst/></a:prstGeom></pic:spPr></pic:pic>'
            '</a:graphicData></a:graphic></wp:inline></w:drawing></w:r>'
            % (cx, cy, n, n, NS_PIC, n, n, rid, cx, cy))
        return (self.paragraph(drawing, align="center", spacing=False)
                + self.paragraph(self.run("Figure %d. " % n + self.words(3, 8), "<w:rPr><w:i/></w:rPr>"),
                                 align="center", spacing=False))

    def build(self, target, header_rid, footer_rid):
        rng = self.rng
        out = self.out
        out.append(self.paragraph(self.run("Benchmark document", ""), style="Title", spacing=False))
        chapter = 0
        picture_at = set(range(target // 5, target, target // 5))
        next_table = 150
        while self.paragraphs < target:
            if self.paragraphs // 400 >= chapter:
                chapter += 1
                out.append(self.heading(1))
            roll = rng.random()
            if roll < 0.02:
                out.append(self.heading(2))
            elif roll < 0.05:
                out.append(self.heading(3))
            out.append(self.body_paragraph())
            if self.paragraphs >= next_table:
                out.append(self.table(rng.randint(3, 8), rng.randint(2, 5)))
                next_table += rng.randint(250, 450)
            if picture_at and self.paragraphs >= min(picture_at):
                picture_at.discard(min(picture_at))
                out.append(self.picture(self.drawings))
        out.append(
            '<w:sectPr><w:headerReference w:type="default" r:id="%s"/>'
            '<w:footerReference w:type="default" r:id="%s"/>'
            '<w:pgSz w:w="11906" w:h="16838"/>'
            '<w:pgMar w:top="1440" w:right="1440" w:bottom="1440" w:left="1440" w:header="708"'
            ' w:footer="708" w:gutter="0"/><w:cols w:space="708"/><w:docGrid w:linePitch="360"/>'
            '</w:sectPr>' % (header_rid, footer_rid))
        return ('%s<w:document xmlns:w="%s" xmlns:r="%s" xmlns:wp="%s" xmlns:a="%s" xmlns:pic="%s">'
                '<w:body>%s</w:body></w:document>'
                % (XML_DECL, NS_W, NS_R, NS_WP, NS_A, NS_PIC, "".join(out)))


# ---- the other parts ----------------------------------------------------------

def style_xml(style_id, name, kind="paragraph", extra="", ppr="", rpr="", default=False):
    default_attr = ' w:default="1"' if default else ""
    return ('<w:style w:type="%s"%s w:styleId="%s"><w:name w:val="%s"/>%s%s%s</w:style>'
            % (kind, default_attr, style_id, name, extra,
               "<w:pPr>%s</w:pPr>" % ppr if ppr else "", "<w:rPr>%s</w:rPr>" % rpr if rpr else ""))


def styles_part():
    heading_extra = '<w:basedOn w:val="Normal"/><w:next w:val="Normal"/><w:uiPriority w:val="9"/><w:qFormat/>'
    styles = [
        style_xml("Normal", "Normal", extra="<w:qFormat/>", default=True,
                  ppr='<w:spacing w:after="160" w:line="259" w:lineRule="auto"/>'),
        style_xml("Title", "Title", extra='<w:basedOn w:val="Normal"/><w:next w:val="Normal"/><w:qFormat/>',
                  ppr='<w:spacing w:after="240"/><w:jc w:val="center"/>',
                  rpr='<w:sz w:val="56"/><w:szCs w:val="56"/>'),
    ]
    for level, (size, colour) in enumerate(((32, "2F5496"), (26, "2F5496"), (24, "1F3763")), start=1):
        styles.append(style_xml(
            "Heading%d" % level, "heading %d" % level, extra=heading_extra,
            ppr='<w:keepNext/><w:keepLines/><w:spacing w:before="%d" w:after="0"/><w:outlineLvl w:val="%d"/>'
                % (360 - level * 60, level - 1),
            rpr='<w:b/><w:color w:val="%s"/><w:sz w:val="%d"/><w:szCs w:val="%d"/>' % (colour, size, size)))
    styles.append(style_xml("DefaultParagraphFont", "Default Paragraph Font", kind="character",
                            extra='<w:uiPriority w:val="1"/><w:semiHidden/>', default=True))
    styles.append(style_xml("TableNormal", "Normal Table", kind="table", default=True,
                            extra='<w:uiPriority w:val="99"/><w:semiHidden/><w:tblPr><w:tblInd w:w="0" w:type="dxa"/>'
                                  '<w:tblCellMar><w:top w:w="0" w:type="dxa"/><w:left w:w="108" w:type="dxa"/>'
                                  '<w:bottom w:w="0" w:type="dxa"/><w:right w:w="108" w:type="dxa"/>'
                                  '</w:tblCellMar></w:tblPr>'))
    border = "".join('<w:%s w:val="single" w:sz="4" w:space="0" w:color="auto"/>' % side
                     for side in ("top", "left", "bottom", "right", "insideH", "insideV"))
    styles.append(style_xml("TableGrid", "Table Grid", kind="table",
                            extra='<w:basedOn w:val="TableNormal"/><w:uiPriority w:val="39"/>'
                                  '<w:tblPr><w:tblBorders>%s</w:tblBorders></w:tblPr>' % border,
                            ppr='<w:spacing w:after="0" w:line="240" w:lineRule="auto"/>'))
    return ('%s<w:styles xmlns:w="%s"><w:docDefaults><w:rPrDefault><w:rPr>'
            '<w:rFonts w:ascii="Calibri" w:eastAsia="Calibri" w:hAnsi="Calibri" w:cs="Times New Roman"/>'
            '<w:sz w:val="22"/><w:szCs w:val="22"/><w:lang w:val="en-GB" w:eastAsia="en-US" w:bidi="ar-SA"/>'
            '</w:rPr></w:rPrDefault><w:pPrDefault/></w:docDefaults>%s</w:styles>'
            % (XML_DECL, NS_W, "".join(styles)))


def settings_part():
    return ('%s<w:settings xmlns:w="%s"><w:zoom w:percent="100"/><w:proofState w:spelling="clean"'
            ' w:grammar="clean"/><w:defaultTabStop w:val="720"/><w:characterSpacingControl w:val="doNotCompress"/>'
            '<w:compat><w:compatSetting w:name="compatibilityMode" w:uri="http://schemas.microsoft.com/office/word"'
            ' w:val="15"/></w:compat><w:themeFontLang w:val="en-GB"/></w:settings>' % (XML_DECL, NS_W))


def header_footer_part(tag, text, page_field):
    field = ""
    if page_field:
        field = ('<w:r><w:t xml:space="preserve"> Page </w:t></w:r><w:r><w:fldChar w:fldCharType="begin"/></w:r>'
                 '<w:r><w:instrText xml:space="preserve"> PAGE </w:instrText></w:r>'
                 '<w:r><w:fldChar w:fldCharType="separate"/></w:r><w:r><w:t>1</w:t></w:r>'
                 '<w:r><w:fldChar w:fldCharType="end"/></w:r>')
    return ('%s<w:%s xmlns:w="%s" xmlns:r="%s"><w:p><w:pPr><w:jc w:val="center"/></w:pPr>'
            '<w:r><w:t>%s</w:t></w:r>%s</w:p></w:%s>' % (XML_DECL, tag, NS_W, NS_R, text, field, tag))


def core_part():
    return ('%s<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties"'
            ' xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:dcterms="http://purl.org/dc/terms/"'
            ' xmlns:dcmitype="http://purl.org/dc/dcmitype/" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">'
            '<dc:title>LorvexDocx benchmark document</dc:title><dc:subject>Synthetic load</dc:subject>'
            '<dc:creator>bench/make_package.py</dc:creator><cp:keywords>benchmark</cp:keywords>'
            '<cp:lastModifiedBy>bench</cp:lastModifiedBy><cp:revision>1</cp:revision>'
            '<dcterms:created xsi:type="dcterms:W3CDTF">2024-01-01T00:00:00Z</dcterms:created>'
            '<dcterms:modified xsi:type="dcterms:W3CDTF">2024-01-01T00:00:00Z</dcterms:modified>'
            '</cp:coreProperties>' % XML_DECL)


def app_part(paragraphs):
    return ('%s<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/extended-properties">'
            '<Application>LorvexDocx bench</Application><Paragraphs>%d</Paragraphs></Properties>'
            % (XML_DECL, paragraphs))


def relationships(rels):
    items = "".join('<Relationship Id="%s" Type="%s" Target="%s"/>' % r for r in rels)
    return '%s<Relationships xmlns="%s">%s</Relationships>' % (XML_DECL, NS_PKG_RELS, items)


def content_types():
    overrides = (
        ("/word/document.xml", CT_WML + "document.main+xml"),
        ("/word/styles.xml", CT_WML + "styles+xml"),
        ("/word/settings.xml", CT_WML + "settings+xml"),
        ("/word/header1.xml", CT_WML + "header+xml"),
        ("/word/footer1.xml", CT_WML + "footer+xml"),
        ("/docProps/core.xml", "application/vnd.openxmlformats-package.core-properties+xml"),
        ("/docProps/app.xml", "application/vnd.openxmlformats-officedocument.extended-properties+xml"),
    )
    return ('%s<Types xmlns="%s"><Default Extension="rels"'
            ' ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
            '<Default Extension="xml" ContentType="application/xml"/>'
            '<Default Extension="png" ContentType="image/png"/>%s</Types>'
            % (XML_DECL, NS_TYPES,
               "".join('<Override PartName="%s" ContentType="%s"/>' % o for o in overrides)))


# ---- the package ---------------------------------------------------------------

def write_package(path, paragraphs=DEFAULT_PARAGRAPHS, seed=DEFAULT_SEED):
    """Writes the package to `path`; returns a dict of what it holds."""
    rng = random.Random(seed)
    images = [(64 + 32 * i, 48 + 16 * i) for i in range(4)]
    pngs = [make_png(w, h, seed + i) for i, (w, h) in enumerate(images)]

    doc_rels = [
        ("rId1", REL + "styles", "styles.xml"),
        ("rId2", REL + "settings", "settings.xml"),
        ("rId3", REL + "header", "header1.xml"),
        ("rId4", REL + "footer", "footer1.xml"),
    ]
    pictures = []
    for i, (w, h) in enumerate(images):
        rid = "rId%d" % (10 + i)
        doc_rels.append((rid, REL + "image", "media/image%d.png" % (i + 1)))
        pictures.append((rid, w, h))

    writer = BodyWriter(rng, pictures)
    document = writer.build(paragraphs, "rId3", "rId4")

    root_rels = [
        ("rId1", REL + "officeDocument", "word/document.xml"),
        ("rId2", "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties",
         "docProps/core.xml"),
        ("rId3", REL + "extended-properties", "docProps/app.xml"),
    ]
    members = [
        ("[Content_Types].xml", content_types()),
        ("_rels/.rels", relationships(root_rels)),
        ("word/_rels/document.xml.rels", relationships(doc_rels)),
        ("word/document.xml", document),
        ("word/styles.xml", styles_part()),
        ("word/settings.xml", settings_part()),
        ("word/header1.xml", header_footer_part("hdr", "LorvexDocx benchmark", False)),
        ("word/footer1.xml", header_footer_part("ftr", "Synthetic load", True)),
        ("docProps/core.xml", core_part()),
        ("docProps/app.xml", app_part(writer.paragraphs)),
    ]
    members += [("word/media/image%d.png" % (i + 1), data) for i, data in enumerate(pngs)]

    with zipfile.ZipFile(path, "w") as z:
        for name, data in members:
            info = zipfile.ZipInfo(name, date_time=ZIP_DATE)
            # PNG data is compressed already: stored, as word processors do.
            info.compress_type = zipfile.ZIP_STORED if name.endswith(".png") else zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            z.writestr(info, data.encode("utf-8") if isinstance(data, str) else data)
    return {
        "document_xml_bytes": len(document.encode("utf-8")),
        "paragraphs": writer.paragraphs,
        "tables": writer.tables,
        "pictures": writer.drawings,
    }


def main(argv=None):
    parser = argparse.ArgumentParser(description="Write the benchmark's synthetic DOCX package.")
    parser.add_argument("out", help="path of the .docx to write")
    parser.add_argument("--paragraphs", type=int, default=DEFAULT_PARAGRAPHS,
                        help="paragraphs to write, table cells included (default %(default)s)")
    parser.add_argument("--seed", type=int, default=DEFAULT_SEED, help="random seed (default %(default)s)")
    args = parser.parse_args(argv)
    stats = write_package(args.out, args.paragraphs, args.seed)
    print("%s: word/document.xml %.1f MB, %d paragraphs, %d tables, %d pictures"
          % (args.out, stats["document_xml_bytes"] / 1e6, stats["paragraphs"], stats["tables"],
             stats["pictures"]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
