// Every section of a document: which elements are sections, edits of one section that splice only its bytes,
// margins read and written as given, headers linked to the previous section, and bad section indexes.
#include "EditTestSupport.h"

#include <climits>

using namespace edit_support;

namespace {

QByteArray sect(const char *mark, const QByteArray &inner = {})
{
    return "<w:sectPr w:rsidSect=\"" + QByteArray(mark) + "\">" + inner + "</w:sectPr>";
}
QByteArray para(const char *text, const QByteArray &section = {})
{
    return "<w:p>" + (section.isEmpty() ? QByteArray() : "<w:pPr>" + section + "</w:pPr>") + "<w:r><w:t>" + text
        + "</w:t></w:r></w:p>";
}
QString mark(const QDomElement &sectPr) { return sectPr.attributeNS(kNsW, "rsidSect"); }
QByteArray bodyOf(DocxHandle *h)
{
    h->doc->body().store();
    return h->doc->package().entries().value("word/document.xml");
}

// Three sections (ending paragraphs "a" and "b", and the body's), with decoys that are no sections: a w:sectPr in
// a tracked change of paragraph properties, and one inside another.
const QByteArray kPgMar = "<w:pgMar w:top=\"-1710\" w:bottom=\"1440\" w:left=\"1800\" w:right=\"1800\"/>";
const QByteArray kThree = documentXml(
    para("a", sect("S1", "<w:pgSz w:w=\"12240\" w:h=\"15840\"/>" + kPgMar)) + "\r\n"
    + "<w:p><w:pPr><w:pPrChange w:id=\"1\"><w:pPr>" + sect("DECOY") + "</w:pPr></w:pPrChange></w:pPr></w:p>"
    + para("b", sect("S2", "<w:pgSz w:w=\"15840\" w:h=\"12240\" w:orient=\"landscape\"/>"))
    + sect("S3", "<w:sectPrChange w:id=\"2\">" + sect("OLD") + "</w:sectPrChange>"));

class Sections : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    Handle open(const QByteArray &body, const Members &extra = {})
    {
        Handle h = openPackage(dir.filePath("in.docx"), makePackage(body, extra));
        EXPECT_TRUE(h) << lxDocx_error(nullptr);
        return h;
    }
};

}  // namespace

// The sections are the paragraphs' and the body's, in order, on the bytes and on the tree alike.
TEST_F(Sections, AreTheParagraphsAndTheBodysInDocumentOrder)
{
    for (bool tree : {false, true}) {
        Handle h = open(kThree);
        if (tree)
            h->doc->body().dom();
        const DocxBody &body = h->doc->body();
        EXPECT_EQ(lxDocx_section_count(h.get()), 3);
        EXPECT_EQ(mark(body.section(0)) + mark(body.section(1)) + mark(body.section(2)) + mark(body.section(-1)),
                  "S1S2S3S3");
        EXPECT_TRUE(body.section(3).isNull() && body.section(-2).isNull());
    }
}

// Editing the first and second section on the bytes changes their bytes alone; the edits survive a tree built
// afterwards, and a second edit lands in the new bytes.
TEST_F(Sections, EditsSpliceOnlyTheEditedSections)
{
    const QByteArray bom = "\xEF\xBB\xBF";
    Handle h = open(bom + kThree);
    ASSERT_EQ(lxDocx_set_section_margins(h.get(), 0, 1000, 1440, 1800, 1800, 709, 709, 0, 0), 1);
    ASSERT_EQ(lxDocx_set_page_size(h.get(), 1, 12240, 15840, 0), 1);
    const QByteArray out = bodyOf(h.get()), in = bom + kThree;
    const QByteArray s1 = sect("S1", "<w:pgSz w:w=\"12240\" w:h=\"15840\"/>" + kPgMar);
    const qsizetype at1 = in.indexOf(s1), at2 = in.indexOf("<w:sectPr w:rsidSect=\"S2\"");
    const qsizetype end2 = in.indexOf("</w:sectPr>", at2) + 11;
    EXPECT_TRUE(out.startsWith(in.left(at1)) && out.endsWith(in.mid(end2))) << out.toStdString();
    EXPECT_EQ(out.mid(out.indexOf("</w:sectPr>", at1) + 11, at2 - (at1 + s1.size())), in.mid(at1 + s1.size(), at2 - at1 - s1.size()));
    ASSERT_EQ(lxDocx_set_section_title_page(h.get(), 0, 1), 1);  // a second edit, spliced into the new bytes
    const QDomDocument dom = h->doc->body().dom();
    const QList<QDomElement> all = sectionsOf(dom);
    ASSERT_EQ(all.size(), 3);
    EXPECT_EQ(wChild(all[0], "pgMar").attributeNS(kNsW, "top") + childNames(all[0]), "1000pgSz pgMar titlePg");
    EXPECT_EQ(wChild(all[1], "pgSz").attributeNS(kNsW, "w") + wChild(all[1], "pgSz").attributeNS(kNsW, "orient"), "12240");
}

// Margins read as written (a negative top or bottom too); an edit writes only values that differ from what reads,
// leaving absent ones absent, and the mirror switch alone when it reads as asked.
TEST_F(Sections, MarginEditsWriteOnlyWhatDiffers)
{
    const QByteArray settings = "<w:settings xmlns:w=\"" + QByteArray(kNsW) + "\"><w:mirrorMargins/></w:settings>";
    Handle h = open(kThree, {{"word/settings.xml", settings}});
    Ints m(8);
    ASSERT_EQ(lxDocx_get_section_margins(h.get(), 0, &m[0], &m[1], &m[2], &m[3], &m[4], &m[5], &m[6], &m[7]), 1);
    EXPECT_EQ(m, (Ints{-1710, 1440, 1800, 1800, 709, 709, 0, 1}));
    ASSERT_EQ(lxDocx_set_section_margins(h.get(), 0, -1710, 1440, 1900, 1800, 709, 709, 0, 1), 1);
    const QDomElement s1 = h->doc->body().section(0), pgMar = wChild(s1, "pgMar");
    EXPECT_EQ(pgMar.attributes().count(), 4);
    EXPECT_EQ(pgMar.attributeNS(kNsW, "left") + pgMar.attributeNS(kNsW, "top"), "1900-1710");
    EXPECT_TRUE(wChild(s1, "mirrorMargins").isNull() && h->doc->package().entries().value("word/settings.xml") == settings);
    // A section without w:pgMar gets one only when a value differs.
    ASSERT_EQ(lxDocx_set_section_margins(h.get(), 1, 1440, 1440, 1440, 1440, 709, 709, 0, 1), 1);
    EXPECT_TRUE(wChild(h->doc->body().section(1), "pgMar").isNull());
    ASSERT_EQ(lxDocx_set_section_margins(h.get(), 1, 1440, 1440, 1440, 1440, 709, 600, 0, 1), 1);
    EXPECT_EQ(wChild(h->doc->body().section(1), "pgMar").attributes().count(), 1);
}

// A body without any section gets one spliced in before </w:body>: the rest of the part, byte-order mark and
// attribute order included, keeps its bytes.
TEST_F(Sections, BodyWithoutSectionGetsOneSplicedIn)
{
    const QByteArray head = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<w:document xmlns:r=\""
        + QByteArray(kNsR) + "\" xmlns:w=\"" + kNsW + "\" w:conformance=\"x\"><w:body>" + para("a") + "\r\n";
    const QByteArray tail = "</w:body></w:document>";
    Handle h = open(head + tail);
    ASSERT_EQ(lxDocx_section_count(h.get()), 0);
    EXPECT_EQ(lxDocx_get_section_margins(h.get(), 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_STREQ(lxDocx_error(h.get()), "No section 0: the document has no sections (-1 names the last, which an edit adds)");
    ASSERT_EQ(lxDocx_set_margins(h.get(), 1000, 1440, 1440, 1440, 709, 709, 0, 0), 1);
    const QByteArray out = bodyOf(h.get());
    EXPECT_TRUE(out.startsWith(head) && out.endsWith(tail)) << out.toStdString();
    EXPECT_EQ(out.mid(head.size(), out.size() - head.size() - tail.size()), "<w:sectPr><w:pgMar w:top=\"1000\"/></w:sectPr>");
    EXPECT_EQ(lxDocx_section_count(h.get()), 1);
}

// A section without its own header shows the previous section's; writing its header gives it its own part (the
// sections linked to it follow), writing one of a section with its own replaces that part for every section showing it.
TEST_F(Sections, HeadersLinkedToThePreviousStayLinkedUntilASectionGetsItsOwn)
{
    const QByteArray ref = "<w:headerReference w:type=\"default\" r:id=\"rId9\"/>";
    const QByteArray body = documentXml(para("a", sect("S1", ref)) + para("b", sect("S2")) + sect("S3"));
    const QByteArray rels = relsPart(relEntry("rId9", kRelType + "header", "header1.xml"));
    const QByteArray h1 = "<w:hdr xmlns:w=\"" + QByteArray(kNsW) + "\"><w:p><w:r><w:t>one</w:t></w:r></w:p></w:hdr>";
    Handle h = open(body, {{"word/_rels/document.xml.rels", rels}, {"word/header1.xml", h1}});
    auto shown = [&](int section) {
        const char *name = lxDocx_get_section_hf_part(h.get(), section, 1, LXDOCX_HF_DEFAULT);
        return QString(name ? name : "-");
    };
    EXPECT_EQ(shown(0) + " " + shown(1) + " " + shown(2), "word/header1.xml word/header1.xml word/header1.xml");
    int len = 0;
    const char *shownXml = lxDocx_get_section_header_xml(h.get(), 2, LXDOCX_HF_DEFAULT, &len);
    EXPECT_EQ(QByteArray(shownXml, len), h1);
    const QByteArray h2 = "<w:hdr xmlns:w=\"" + QByteArray(kNsW) + "\"><w:p/></w:hdr>";
    ASSERT_EQ(lxDocx_set_section_header_xml(h.get(), 1, LXDOCX_HF_DEFAULT, h2.constData(), -1), 1);
    EXPECT_EQ(shown(0) + " " + shown(1) + " " + shown(2), "word/header1.xml word/header2.xml word/header2.xml");
    EXPECT_EQ(h->doc->package().entries().value("word/header1.xml"), h1);
    ASSERT_EQ(lxDocx_set_section_header_xml(h.get(), 0, LXDOCX_HF_DEFAULT, h2.constData(), -1), 1);
    EXPECT_EQ(shown(0), "word/header1.xml");
    EXPECT_EQ(h->doc->package().entries().value("word/header1.xml"), h2);
    EXPECT_EQ(childNames(h->doc->body().section(2)), "");
}

// Bad input: indexes out of range, a section without a page size, a page size of 0: clear texts, nothing changed.
TEST_F(Sections, BadInputIsRefusedAndChangesNothing)
{
    Handle h = open(kThree);
    const DocxEntryMap before = h->doc->package().entries();
    const char *xml = "<w:ftr xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"/>";
    int w = 0, ht = 0, land = 0;
    for (int bad : {3, -2, INT_MIN}) {
        EXPECT_EQ(lxDocx_set_section_margins(h.get(), bad, 1, 1, 1, 1, 1, 1, 1, 1) + lxDocx_set_page_size(h.get(), bad, 1, 1, 1)
                      + lxDocx_set_section_footer_xml(h.get(), bad, 0, xml, -1) + lxDocx_get_page_size(h.get(), bad, &w, &ht, &land)
                      + lxDocx_set_section_title_page(h.get(), bad, 1)
                      + (lxDocx_get_section_footer_xml(h.get(), bad, 0, nullptr) != nullptr),
                  0);
        EXPECT_EQ(QString(lxDocx_error(h.get())),
                  QString("No section %1: the document has 3 sections (indexes 0 to 2, or -1 for the last)").arg(bad));
    }
    EXPECT_EQ(lxDocx_get_page_size(h.get(), 2, &w, &ht, &land), 0);
    EXPECT_STREQ(lxDocx_error(h.get()), "Section 3 (index 2) gives no page size");
    EXPECT_EQ(lxDocx_set_page_size(h.get(), 0, 0, 15840, 0), 0);
    EXPECT_STREQ(lxDocx_error(h.get()), "The page width and height must be above 0 (given 0 by 15840)");
    h->doc->body().store();
    EXPECT_EQ(h->doc->package().entries(), before);
    EXPECT_EQ(lxDocx_get_page_size(h.get(), 1, &w, &ht, &land) + w + ht + land, 1 + 15840 + 12240 + 1);
}
