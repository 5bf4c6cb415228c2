// Header and footer parts by kind: built from text with fields, stored with relationship,
// content type and section reference, and what is refused.
#include "EditTestSupport.h"

using namespace edit_support;

namespace {

const QByteArray kSection = documentXml("<w:sectPr/>"), kWns = "xmlns:w=\"" + QByteArray(kNsW) + '"',
                 kRelsOpen = "<Relationships xmlns=\"" + QByteArray(kNsPackageRels) + "\">";
QByteArray part(const QByteArray &text = {}) { return "<w:hdr " + kWns + "><w:p><w:r><w:t>" + text + "</w:t></w:r></w:p></w:hdr>"; }
QByteArray rels(const QByteArray &inner) { return kRelsOpen + inner + "</Relationships>\r\n"; }

// "ROOT JC:" then per run "[", "|", "]" for a field's begin, separator and end, else the run's text or
// instruction in '' when its spaces are preserved, in "" when not.
QString shape(const QByteArray &xml)
{
    const QDomDocument dom = parsed(xml);
    QString out = dom.documentElement().localName() + " " + wVal(firstDescendantNS(dom, kNsW, "jc")) + ":";
    for (QDomElement r = firstDescendantNS(dom, kNsW, "r"); !r.isNull(); r = r.nextSiblingElement()) {
        const QDomElement c = r.firstChildElement();
        const QString type = c.attributeNS(kNsW, "fldCharType"), quote = c.hasAttributeNS(kNsXml, "space") ? "'" : "\"";
        out += type == "begin" ? "[" : type == "separate" ? "|" : type == "end" ? "]" : quote + c.text() + quote;
    }
    return out;
}

// The header (or footer) of a kind through the C interface; its length must match.
QByteArray partOf(DocxHandle *h, int kind, bool header = true)
{
    int len = -1;
    const char *p = header ? lxDocx_get_header_xml(h, kind, &len) : lxDocx_get_footer_xml(h, kind, &len);
    return p ? QByteArray(p, len) : QByteArray(len ? "bad length" : "");
}

}  // namespace

TEST(HeadersFooters, BuildsOneParagraphOfTextAndFields)
{
    int len = -1;
    const QByteArray page = lxDocx_build_hf_xml(1, "Page {PAGE} of {NUMPAGES}", "center", &len);
    EXPECT_EQ(len, page.size());
    EXPECT_EQ(shape(page), "hdr center:'Page '[' PAGE '|\"1\"]' of '[' NUMPAGES '|\"1\"]");
    // The earliest token wins, whatever its place in the table; braces that form no token are text.
    EXPECT_EQ(shape(lxDocx_build_hf_xml(0, "{TITLE}{CHAPTER}{AUTHOR}", "left", nullptr)),
              "ftr :[' DOCPROPERTY \"Title\" '|\"1\"][' STYLEREF \"Heading 1\" '|\"1\"][' DOCPROPERTY \"Author\" '|\"1\"]");
    EXPECT_EQ(shape(lxDocx_build_hf_xml(1, "{page} {BOGUS} {PAGE", "right", nullptr)), "hdr right:\"{page} {BOGUS} {PAGE\"");
    // A page-number footer of each format, written again in place.
    QTemporaryDir dir;
    Handle h = openPackage(dir.filePath("a.docx"), makePackage(kSection));
    ASSERT_TRUE(h);
    const std::pair<const char *, const char *> formats[] = {
        {"lowerRoman", "' PAGE \\* lowerRoman '"}, {"upperRoman", "' PAGE \\* ROMAN '"}, {"decimal", "' PAGE '"}};
    for (const auto &[format, instruction] : formats) {
        ASSERT_TRUE(h->doc->headersFooters().setPageNumberFooter(DocxHFKind::Even, QString::fromLatin1(format)));
        EXPECT_EQ(shape(h->doc->headersFooters().part(DocxHFPart::Footer, DocxHFKind::Even)), QStringLiteral("ftr center:[%1|\"1\"]").arg(instruction)) << format;
    }
    EXPECT_EQ(relations(h->doc->package().entries().value(kRels)).size(), 1);
}

TEST(HeadersFooters, FirstWriteAddsPartRelationshipTypeAndReferenceOnBothPaths)
{
    QTemporaryDir dir;
    const QByteArray old = rels("\r\n <Relationship Id=\"rId7\" Type=\"urn:x\" Target=\"x.xml\"/>\r\n");
    const QByteArray one = part("one"), two = part("two"), foot = part().replace("w:hdr", "w:ftr");
    const qsizetype close = old.indexOf("</Relationships>");
    for (bool tree : {false, true}) {
        SCOPED_TRACE(tree ? "body tree" : "section alone");
        const QByteArray src = documentXml("<w:sectPr><w:pgSz/></w:sectPr>");
        Handle h = openPackage(dir.filePath("in.docx"), makePackage(src, {{kRels.toUtf8(), old}}));
        ASSERT_TRUE(h);
        if (tree)
            h->doc->body().dom();
        const DocxEntryMap &e = h->doc->package().entries();
        ASSERT_EQ(lxDocx_set_header_xml(h.get(), LXDOCX_HF_DEFAULT, one.constData(), int(one.size())), 1);
        EXPECT_EQ(e.value("word/header1.xml"), one);
        EXPECT_TRUE(e.value(kRels).startsWith(old.left(close)) && e.value(kRels).endsWith(old.mid(close)));  // spliced
        EXPECT_EQ(relations(e.value(kRels)).value(1) + ", " + overrides(e.value(kTypes)).value(1),
                  "rId8 header header1.xml, header1.xml header+xml");
        DocxEntryMap expected = e;  // writing the kind again only replaces the part's bytes
        expected.insert("word/header1.xml", two);
        ASSERT_EQ(lxDocx_set_header_xml(h.get(), 7, two.constData(), -1), 1);  // kind 7 is the default
        EXPECT_EQ(e, expected);
        ASSERT_EQ(lxDocx_set_footer_xml(h.get(), LXDOCX_HF_EVEN, foot.constData(), -1), 1);
        EXPECT_EQ(relations(e.value(kRels)).value(2), "rId9 footer footer1.xml");
        EXPECT_EQ(partOf(h.get(), LXDOCX_HF_DEFAULT) + partOf(h.get(), LXDOCX_HF_EVEN, false), two + foot);
        EXPECT_EQ(partOf(h.get(), LXDOCX_HF_DEFAULT, false) + partOf(h.get(), LXDOCX_HF_FIRST), "");
        ASSERT_TRUE(lxDocx_save_as(h.get(), dir.filePath("out.docx").toUtf8().constData()));
        const QByteArray saved = readEntries(dir.filePath("out.docx")).value("word/document.xml");
        EXPECT_EQ(attrs(saved, kNsW, "footerReference", {"w:type", "r:id"}) + attrs(saved, kNsW, "headerReference", {"r:id"})
                      + QStringList(childNames(lastSectPr(parsed(saved)))),
                  QStringList({"even rId9", "rId8", "footerReference headerReference pgSz"}));
    }
}

TEST(HeadersFooters, TakenNamesDanglingReferencesMissingPartsAndTheLargestId)
{
    QTemporaryDir dir;
    // header1.xml is there but unused; the default reference names a relationship that is gone; the first
    // page's relationship names a part the package lacks; no number follows the largest id.
    const QByteArray src = documentXml("<w:sectPr><w:headerReference w:type=\"default\" r:id=\"rId5\"/>"
                                       "<w:headerReference w:type=\"first\" r:id=\"rId2\"/></w:sectPr>");
    const QByteArray unused = part("unused"), fresh = part("fresh");
    const QByteArray links = rels(relEntry("rId2", kRelType + "header", "header3.xml")
                                  + relEntry("rId9223372036854775807", "t", "x.xml"));
    Handle h = openPackage(dir.filePath("a.docx"), makePackage(src, {{"word/header1.xml", unused}, {kRels.toUtf8(), links}}));
    ASSERT_TRUE(h);
    const DocxEntryMap &e = h->doc->package().entries();
    EXPECT_EQ(partOf(h.get(), LXDOCX_HF_DEFAULT) + partOf(h.get(), LXDOCX_HF_FIRST), "");
    ASSERT_EQ((Ints{lxDocx_set_header_xml(h.get(), LXDOCX_HF_DEFAULT, fresh.constData(), -1),
                    lxDocx_set_header_xml(h.get(), LXDOCX_HF_FIRST, fresh.constData(), -1)}), Ints(2, 1));
    EXPECT_EQ(e.value("word/header1.xml") + e.value("word/header2.xml") + e.value("word/header3.xml"), unused + fresh + fresh);
    EXPECT_EQ(relations(e.value(kRels)).join(", "),
              "rId2 header header3.xml, rId9223372036854775807 t x.xml, rId1 header header2.xml");
    EXPECT_EQ(overrides(e.value(kTypes)).mid(1), QStringList({"header2.xml header+xml", "header3.xml header+xml"}));
    EXPECT_EQ(h->doc->headersFooters().findReference(DocxHFPart::Header, DocxHFKind::Default) + h->doc->headersFooters().findReference(DocxHFPart::Header, DocxHFKind::First), "rId1rId2");
    EXPECT_EQ(childNames(h->doc->body().lastSection()), "headerReference headerReference");
}

TEST(HeadersFooters, RefusedWritesChangeNothing)
{
    QTemporaryDir dir;
    const QByteArray good = part();
    Handle h = openPackage(dir.filePath("a.docx"), makePackage(kSection));
    ASSERT_TRUE(h);
    DocxEntryMap &e = h->doc->package().entries();
    const DocxEntryMap before = e;
    for (const char *bad : {"<w:hdr><w:p></w:hdr>", "", "<a/><b/>", "not xml"}) {
        EXPECT_EQ(lxDocx_set_header_xml(h.get(), LXDOCX_HF_DEFAULT, bad, -1)
                      + lxDocx_set_footer_xml(h.get(), LXDOCX_HF_FIRST, bad, int(qstrlen(bad))), 0) << bad;
    }
    EXPECT_EQ(e, before);
    for (int n = 1; n <= 99; ++n)  // every name taken
        e.insert(QStringLiteral("word/header%1.xml").arg(n), good);
    const DocxEntryMap full = e;
    EXPECT_EQ(lxDocx_set_header_xml(h.get(), LXDOCX_HF_FIRST, good.constData(), -1), 0);
    EXPECT_EQ(e, full);
    EXPECT_EQ(childNames(h->doc->body().lastSection()), "");
    // A negative length reads up to the NUL; a positive one takes that many bytes.
    ASSERT_EQ((Ints{lxDocx_set_footer_xml(h.get(), LXDOCX_HF_FIRST, (good + QByteArray("\0<junk", 6)).constData(), -5),
                    lxDocx_set_footer_xml(h.get(), LXDOCX_HF_EVEN, (good + "<tail/>").constData(), int(good.size()))}), Ints(2, 1));
    EXPECT_EQ(partOf(h.get(), LXDOCX_HF_FIRST, false) + partOf(h.get(), LXDOCX_HF_EVEN, false), good + good);
    // Relationships that do not parse: refused, nothing added. Content types that do not parse stay; the part is stored.
    h = openPackage(dir.filePath("b.docx"), makePackage(kSection, {{kRels.toUtf8(), rels("<Relationship")}}));
    const DocxEntryMap badRels = h->doc->package().entries();
    EXPECT_EQ(lxDocx_set_header_xml(h.get(), 0, good.constData(), -1), 0);
    EXPECT_EQ(h->doc->package().entries(), badRels);
    EXPECT_EQ(childNames(h->doc->body().lastSection()), "");
    h->doc->package().entries().insert(kRels, rels({}));
    h->doc->package().entries().insert(kTypes, "<Types><Default></Types>");
    ASSERT_EQ(lxDocx_set_header_xml(h.get(), 0, good.constData(), -1), 1);
    EXPECT_EQ(h->doc->package().entries().value(kTypes) + partOf(h.get(), 0), "<Types><Default></Types>" + good);
}
