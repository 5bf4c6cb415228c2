#!/usr/bin/env python3
"""Writes sample.docx: a small package assembled from hand-written parts.

Run from this folder: python3 make_sample.py
"""
import zipfile

W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"'
R = 'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
DECL = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'


def para(text, style=None, runs=None):
    ppr = '<w:pPr><w:pStyle w:val="%s"/></w:pPr>' % style if style else ""
    body = runs if runs is not None else '<w:r><w:t xml:space="preserve">%s</w:t></w:r>' % text
    return "<w:p>%s%s</w:p>" % (ppr, body)


def run(text, props=""):
    return '<w:r>%s<w:t xml:space="preserve">%s</w:t></w:r>' % (
        "<w:rPr>%s</w:rPr>" % props if props else "", text)


def cell(text, fill=None):
    shd = '<w:shd w:val="clear" w:color="auto" w:fill="%s"/>' % fill if fill else ""
    return '<w:tc><w:tcPr><w:tcW w:w="3120" w:type="dxa"/>%s</w:tcPr>%s</w:tc>' % (shd, para(text))


def item(text, level=0):
    return ('<w:p><w:pPr><w:pStyle w:val="ListParagraph"/><w:numPr><w:ilvl w:val="%d"/>'
            '<w:numId w:val="1"/></w:numPr></w:pPr>%s</w:p>' % (level, run(text)))


body = "".join([
    para("Field Notes on Lichens", "Title"),
    para("Introduction", "Heading1"),
    para(None, runs=run("Lichens are ") + run("composite organisms", "<w:b/>") + run(" made of a fungus and an ")
         + run("alga or cyanobacterium", "<w:i/>") + run(". They grow where little else can.")),
    para("Where they grow", "Heading2"),
    item("Bare rock and old walls"),
    item("Tree bark", 0),
    item("North-facing sides in damp climates", 1),
    item("Soil crusts in deserts"),
    para("Growth forms", "Heading2"),
    '<w:tbl><w:tblPr><w:tblStyle w:val="TableGrid"/><w:tblW w:w="5000" w:type="pct"/></w:tblPr>'
    '<w:tblGrid><w:gridCol w:w="3120"/><w:gridCol w:w="3120"/><w:gridCol w:w="3120"/></w:tblGrid>'
    "<w:tr>" + cell("Form", "D9E2F3") + cell("Looks like", "D9E2F3") + cell("Example", "D9E2F3") + "</w:tr>"
    "<w:tr>" + cell("Crustose") + cell("Paint on rock") + cell("Lecanora") + "</w:tr>"
    "<w:tr>" + cell("Foliose") + cell("Leafy lobes") + cell("Parmelia") + "</w:tr>"
    "<w:tr>" + cell("Fruticose") + cell("Tiny shrubs") + cell("Cladonia") + "</w:tr></w:tbl>",
    para("Recording a find", "Heading1"),
    para(None, runs=run("Note the substrate, the aspect and the colour when ") + run("dry", "<w:u w:val=\"single\"/>")
         + run(" and when wet: many species change colour after rain.")),
    '<w:sectPr><w:headerReference w:type="default" r:id="rId5"/><w:footerReference w:type="default" r:id="rId6"/>'
    '<w:pgSz w:w="11906" w:h="16838"/><w:pgMar w:top="1417" w:right="1134" w:bottom="1134" w:left="1134" '
    'w:header="709" w:footer="709" w:gutter="0"/><w:pgNumType w:fmt="decimal"/></w:sectPr>',
])

document = DECL + '<w:document %s %s><w:body>%s</w:body></w:document>' % (W, R, body)

styles = DECL + ('<w:styles %s><w:docDefaults><w:rPrDefault><w:rPr><w:rFonts w:ascii="Georgia" w:hAnsi="Georgia"/>'
                 '<w:sz w:val="22"/></w:rPr></w:rPrDefault><w:pPrDefault><w:pPr><w:spacing w:after="120"/></w:pPr>'
                 '</w:pPrDefault></w:docDefaults>'
                 '<w:style w:type="paragraph" w:default="1" w:styleId="Normal"><w:name w:val="Normal"/></w:style>'
                 '<w:style w:type="paragraph" w:styleId="Title"><w:name w:val="Title"/><w:basedOn w:val="Normal"/>'
                 '<w:rPr><w:b/><w:sz w:val="48"/></w:rPr></w:style>'
                 '<w:style w:type="paragraph" w:styleId="Heading1"><w:name w:val="heading 1"/>'
                 '<w:basedOn w:val="Normal"/><w:pPr><w:spacing w:before="240"/><w:outlineLvl w:val="0"/></w:pPr>'
                 '<w:rPr><w:b/><w:sz w:val="32"/></w:rPr></w:style>'
                 '<w:style w:type="paragraph" w:styleId="Heading2"><w:name w:val="heading 2"/>'
                 '<w:basedOn w:val="Normal"/><w:pPr><w:spacing w:before="200"/><w:outlineLvl w:val="1"/></w:pPr>'
                 '<w:rPr><w:b/><w:sz w:val="26"/></w:rPr></w:style>'
                 '<w:style w:type="paragraph" w:styleId="ListParagraph"><w:name w:val="List Paragraph"/>'
                 '<w:basedOn w:val="Normal"/></w:style>'
                 '<w:style w:type="table" w:styleId="TableGrid"><w:name w:val="Table Grid"/></w:style>'
                 '</w:styles>') % W

levels = "".join('<w:lvl w:ilvl="%d"><w:start w:val="1"/><w:numFmt w:val="bullet"/><w:lvlText w:val="%s"/>'
                 '<w:lvlJc w:val="left"/><w:pPr><w:ind w:left="%d" w:hanging="360"/></w:pPr></w:lvl>'
                 % (i, "\u2022\u25e6"[i % 2], 720 * (i + 1)) for i in range(2))
numbering = DECL + ('<w:numbering %s><w:abstractNum w:abstractNumId="0">%s</w:abstractNum>'
                    '<w:num w:numId="1"><w:abstractNumId w:val="0"/></w:num></w:numbering>') % (W, levels)

settings = DECL + '<w:settings %s><w:zoom w:percent="100"/><w:defaultTabStop w:val="709"/></w:settings>' % W
header = DECL + ('<w:hdr %s><w:p><w:pPr><w:jc w:val="right"/></w:pPr>%s</w:p></w:hdr>'
                 % (W, run("Field Notes on Lichens", "<w:i/>")))
footer = DECL + ('<w:ftr %s><w:p><w:pPr><w:jc w:val="center"/></w:pPr>%s'
                 '<w:r><w:fldChar w:fldCharType="begin"/></w:r>'
                 '<w:r><w:instrText xml:space="preserve"> PAGE </w:instrText></w:r>'
                 '<w:r><w:fldChar w:fldCharType="separate"/></w:r><w:r><w:t>1</w:t></w:r>'
                 '<w:r><w:fldChar w:fldCharType="end"/></w:r></w:p></w:ftr>' % (W, run("Page ")))
core = DECL + ('<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties" '
               'xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:dcterms="http://purl.org/dc/terms/" '
               'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">'
               '<dc:title>Field Notes on Lichens</dc:title><dc:creator>LorvexDocx samples</dc:creator>'
               '<cp:keywords>lichens, field notes</cp:keywords></cp:coreProperties>')

WML = "application/vnd.openxmlformats-officedocument.wordprocessingml."
content_types = DECL + (
    '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
    '<Default Extension="xml" ContentType="application/xml"/>'
    '<Override PartName="/word/document.xml" ContentType="%sdocument.main+xml"/>'
    '<Override PartName="/word/styles.xml" ContentType="%sstyles+xml"/>'
    '<Override PartName="/word/numbering.xml" ContentType="%snumbering+xml"/>'
    '<Override PartName="/word/settings.xml" ContentType="%ssettings+xml"/>'
    '<Override PartName="/word/header1.xml" ContentType="%sheader+xml"/>'
    '<Override PartName="/word/footer1.xml" ContentType="%sfooter+xml"/>'
    '<Override PartName="/docProps/core.xml" ContentType="application/vnd.openxmlformats-package.core-properties+xml"/>'
    '</Types>') % ((WML,) * 6)

REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
root_rels = DECL + (
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    '<Relationship Id="rId1" Type="%sofficeDocument" Target="word/document.xml"/>'
    '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/'
    'core-properties" Target="docProps/core.xml"/></Relationships>') % REL
doc_rels = DECL + (
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    '<Relationship Id="rId1" Type="%sstyles" Target="styles.xml"/>'
    '<Relationship Id="rId2" Type="%snumbering" Target="numbering.xml"/>'
    '<Relationship Id="rId3" Type="%ssettings" Target="settings.xml"/>'
    '<Relationship Id="rId5" Type="%sheader" Target="header1.xml"/>'
    '<Relationship Id="rId6" Type="%sfooter" Target="footer1.xml"/></Relationships>') % ((REL,) * 5)

parts = [
    ("[Content_Types].xml", content_types), ("_rels/.rels", root_rels), ("word/_rels/document.xml.rels", doc_rels),
    ("word/document.xml", document), ("word/styles.xml", styles), ("word/settings.xml", settings),
    ("word/numbering.xml", numbering), ("word/header1.xml", header), ("word/footer1.xml", footer),
    ("docProps/core.xml", core),
]
with zipfile.ZipFile("sample.docx", "w", zipfile.ZIP_DEFLATED) as z:
    for name, text in parts:
        info = zipfile.ZipInfo(name, date_time=(2026, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, text.encode("utf-8"))
print("wrote sample.docx")
