// The document model: the paragraph index, the lazily parsed body, the last
// section, and the relationship, content-type and media operations.
#include "DocxDocument.h"
#include "DocxNamespaces.h"
#include "DocxReader.h"
#include "DocxWriter.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

using namespace testing_support;

namespace {

constexpr char kRelsNs[] = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr char kTypesNs[] = "http://schemas.openxmlformats.org/package/2006/content-types";
constexpr char kHyperlinkType[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/hyperlink";
constexpr char kImageType[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";

QByteArray para(const QByteArray &text, const QByteArray &pPr = {})
{
    return "<w:p>" + (pPr.isEmpty() ? QByteArray() : "<w:pPr>" + pPr + "</w:pPr>") + "<w:r><w:t>" + text
        + "</w:t></w:r></w:p>";
}

QByteArray cell(const QByteArray &content) { return "<w:tc><w:tcPr/>" + content + "</w:tc>"; }

class Doc : public ::testing::Test
{
protected:
    QTemporaryDir dir;

    QString file(const QString &name) const { return dir.filePath(name); }

    std::unique_ptr<DocxDocument> open(const QByteArray &document,
                                       const std::vector<std::pair<QByteArray, QByteArray>> &extra = {})
    {
        const QString path = file(QStringLiteral("in%1.docx").arg(++opened_));
        EXPECT_TRUE(writeFile(path, makePackage(document, extra)));
        return std::unique_ptr<DocxDocument>(DocxReader::open(path));
    }

    // Saves under a new name and returns the saved document part.
    QByteArray savedBody(DocxDocument &doc)
    {
        const QString path = file(QStringLiteral("out%1.docx").arg(++saved_));
        EXPECT_TRUE(DocxWriter::saveVersion(doc, path));
        return readEntries(path).value(QStringLiteral("word/document.xml"));
    }

    QStringList texts(const DocxDocument &doc)
    {
        QStringList out;
        for (const DocxParaInfo &p : doc.paragraphInfo())
            out << p.text;
        return out;
    }

private:
    int opened_ = 0, saved_ = 0;
};

QDomDocument parsedOk(const QByteArray &xml)
{
    QDomDocument dom;
    QString err;
    EXPECT_TRUE(parseXml(xml, dom, err)) << err.toStdString() << "\n" << xml.toStdString();
    return dom;
}

QList<QDomElement> elements(const QByteArray &xml, const char *ns, const char *name)
{
    QDomDocument dom = parsedOk(xml);
    QList<QDomElement> out;
    const QDomNodeList list = dom.elementsByTagNameNS(QString::fromLatin1(ns), QString::fromLatin1(name));
    for (int i = 0; i < list.size(); ++i)
        out << list.at(i).toElement();
    return out;
}

QString sectionMark(const QDomElement &sectPr) { return sectPr.attributeNS(kNsW, "rsidSect"); }

}  // namespace

TEST_F(Doc, IndexWalksTablesAndContentControlsInDocumentOrder)
{
    auto doc = open(documentXml(para("p1") + para("p2") + "<w:tbl><w:tblPr/><w:tr>" + cell(para("c1"))
                                + cell(para("c2")) + "</w:tr></w:tbl><w:sdt><w:sdtPr/><w:sdtContent>" + para("s1")
                                + "</w:sdtContent></w:sdt><w:sectPr/>"));
    ASSERT_TRUE(doc->isValid()) << doc->errorString().toStdString();
    EXPECT_EQ(texts(*doc), QStringList({"p1", "p2", "c1", "c2", "s1"}));
    for (int i = 0; i < doc->paragraphCount(); ++i)
        EXPECT_EQ(doc->paragraphInfoAt(i).index, i);
    EXPECT_EQ(doc->paragraphs().size(), 5);
    EXPECT_EQ(doc->paragraphInfoAt(5).index, 0);
    EXPECT_EQ(doc->paragraphInfoAt(-1).headingLevel, -1);
    EXPECT_TRUE(doc->paragraphInfoAt(5).text.isEmpty());

    // A table nested in a cell comes between the paragraphs around it; rows
    // wrapped in a row-level content control count, text in w:customXml does not.
    const QByteArray nested = "<w:tbl><w:tr>" + cell(para("n1")) + cell(para("n2")) + "</w:tr></w:tbl>";
    const QByteArray table = "<w:tbl><w:tr>" + cell(para("a") + nested + para("b")) + cell(para("c"))
        + "</w:tr><w:sdt><w:sdtContent><w:tr>" + cell(para("r2")) + "</w:tr></w:sdtContent></w:sdt></w:tbl>";
    doc = open(documentXml(table + "<w:customXml w:element=\"x\">" + para("hidden") + "</w:customXml>"
                           + para("last")));
    ASSERT_TRUE(doc->isValid());
    EXPECT_EQ(texts(*doc), QStringList({"a", "n1", "n2", "b", "c", "r2", "last"}));

    // The collector on its own, from a table and from a content control.
    const QDomDocument dom = parsedOk(documentXml(table + "<w:sdt><w:sdtContent>" + para("x") + table
                                                  + "</w:sdtContent></w:sdt>"));
    const QDomElement body = dom.documentElement().firstChildElement();
    QList<QDomElement> got;
    DocxDocument::collectParagraphs(body.firstChildElement(), got);
    EXPECT_EQ(got.size(), 6);
    got.clear();
    DocxDocument::collectParagraphs(body.lastChildElement(), got);
    ASSERT_EQ(got.size(), 7);
    EXPECT_EQ(paragraphText(got.first()), "x");
    EXPECT_EQ(paragraphText(got.last()), "r2");
}

TEST_F(Doc, HeadingLevelsAndText)
{
    const QByteArray styles =
        "<w:styles xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
        "<w:style w:type=\"paragraph\" w:styleId=\"Chapter\"><w:pPr><w:outlineLvl w:val=\"5\"/></w:pPr></w:style>"
        "<w:style w:type=\"paragraph\" w:styleId=\"Heading2\"><w:name w:val=\"heading 2\"/></w:style></w:styles>";
    auto style = [](const char *id) { return QByteArray("<w:pStyle w:val=\"") + id + "\"/>"; };
    auto doc = open(documentXml(para("h2", style("Heading2")) + para("h7", style("heading7")) + para("three", style("3"))
                                + para("chapter", style("Chapter")) + para("direct", style("Chapter") + "<w:outlineLvl w:val=\"9\"/>")
                                + para("normal", style("Normal")) + para("plain") + para("bad", style("Heading2") + "<w:outlineLvl w:val=\"x\"/>")
                                + "<w:p><w:r><w:t>Hello</w:t></w:r><w:r><w:t xml:space=\"preserve\"> World</w:t></w:r>"
                                  "<w:del><w:r><w:delText>gone</w:delText></w:r></w:del>"
                                  "<w:hyperlink r:id=\"rId9\"><w:r><w:t>!</w:t></w:r></w:hyperlink></w:p>"),
                    {{"word/styles.xml", styles}});
    ASSERT_TRUE(doc->isValid());
    ASSERT_EQ(doc->paragraphCount(), 9);
    const int expected[] = {1, 0, 2, 5, 9, -1, -1, 1, -1};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(doc->paragraphInfoAt(i).headingLevel, expected[i]) << doc->paragraphInfoAt(i).text.toStdString();
    EXPECT_EQ(doc->paragraphInfoAt(3).styleId, "Chapter");
    EXPECT_TRUE(doc->paragraphInfoAt(6).styleId.isEmpty());
    EXPECT_EQ(doc->paragraphInfoAt(8).text, "Hello World!");
}

TEST_F(Doc, OpenFailuresAndDegenerateBodies)
{
    auto doc = open("<?xml version=\"1.0\"?>\n<document xmlns=\"http://schemas.openxmlformats.org/wordprocessingml/"
                    "2006/main\"><body>\n<p></q></body></document>");
    EXPECT_FALSE(doc->isValid());
    EXPECT_TRUE(doc->errorString().startsWith("XML parse error at line 3 col 7: ")) << doc->errorString().toStdString();

    doc = open(documentXml(""));
    ASSERT_TRUE(doc->isValid());
    EXPECT_EQ(doc->paragraphCount(), 0);

    const QByteArray noBody = "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
                              "<w:p><w:r><w:t>stray</w:t></w:r></w:p></w:document>";
    doc = open(noBody);
    ASSERT_TRUE(doc->isValid());
    EXPECT_TRUE(doc->errorString().isEmpty());
    EXPECT_EQ(doc->paragraphCount(), 0);
    EXPECT_TRUE(doc->lastSection().isNull());
    EXPECT_EQ(savedBody(*doc), noBody);
}

TEST_F(Doc, UntouchedBodyIsSavedByteForByte)
{
    const QByteArray src = documentXml(para("Gr\xC3\xBC\xC3\x9F" "e") + "<w:p><w:r><w:t xml:space=\"preserve\"> </w:t></w:r></w:p>\r\n"
                                       "<w:sectPr><w:pgSz w:w=\"12240\" w:h=\"15840\"/></w:sectPr>");
    auto doc = open(src, {{"word/styles.xml", "<w:styles xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"/>"}});
    ASSERT_TRUE(doc->isValid());
    // Reading the section, the index and the tree through the const interface
    // must not count as an edit, before or after the tree is built.
    const DocxDocument &view = *doc;
    EXPECT_FALSE(view.lastSection().isNull());
    EXPECT_EQ(savedBody(*doc), src);
    EXPECT_EQ(view.paragraphCount(), 2);
    EXPECT_EQ(view.dom().documentElement().localName(), "document");
    EXPECT_FALSE(view.lastSection().isNull());
    const QString out = file("copy.docx");
    ASSERT_TRUE(DocxWriter::saveVersion(*doc, out));
    const DocxEntryMap copy = readEntries(out);
    EXPECT_EQ(copy.value("word/document.xml"), src);
    EXPECT_EQ(copy, readEntries(doc->path));
}

TEST_F(Doc, SectionEditChangesOnlyTheSectionBytes)
{
    // Multibyte text, references and an earlier section come before the last
    // one; a tracked change nests an old w:sectPr inside it.
    const QByteArray before = para("\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E &amp; &#8364; \xE4\xB8\xAD")
        + "\r\n" + para("s1", "<w:sectPr w:rsidSect=\"FIRST\"/>") + "\r\n";
    const QByteArray sect = "<w:sectPr w:rsidSect=\"LAST\"><w:headerReference w:type=\"default\" r:id=\"rId7\"/>"
                            "<w:pgSz w:w=\"12240\" w:h=\"15840\"/><w:sectPrChange w:id=\"1\"><w:sectPr "
                            "w:rsidSect=\"OLD\"/></w:sectPrChange></w:sectPr>";
    for (const QByteArray &bom : {QByteArray(), QByteArray("\xEF\xBB\xBF")}) {
        const QByteArray src = bom + documentXml(before + sect);
        const qsizetype at = src.indexOf("<w:sectPr w:rsidSect=\"LAST\"");
        const QByteArray head = src.left(at), tail = src.mid(at + sect.size());
        auto doc = open(src);
        ASSERT_TRUE(doc->isValid());
        QDomElement s = doc->lastSection();
        ASSERT_EQ(sectionMark(s), "LAST");
        s.setAttributeNS(kNsW, "w:rsidR", "00C0FFEE");
        QByteArray out = savedBody(*doc);
        ASSERT_TRUE(out.startsWith(head)) << out.toStdString();
        ASSERT_TRUE(out.endsWith(tail)) << out.toStdString();
        QByteArray middle = out.mid(head.size(), out.size() - head.size() - tail.size());
        EXPECT_TRUE(middle.contains("w:rsidR=\"00C0FFEE\"")) << middle.toStdString();
        EXPECT_FALSE(middle.contains("xmlns")) << middle.toStdString();
        QDomDocument back = parsedOk(out);
        const QDomElement last = lastSectPr(back);
        EXPECT_EQ(last.attributeNS(kNsW, "rsidR"), "00C0FFEE");
        EXPECT_EQ(childElementNS(last, "headerReference", kNsW).attributeNS(kNsR, "id"), "rId7");
        EXPECT_EQ(sectionMark(childElementNS(childElementNS(last, "sectPrChange", kNsW), "sectPr", kNsW)), "OLD");

        // A second edit after a save splices into the new bytes.
        doc->lastSection().setAttributeNS(kNsW, "w:rsidDel", "00BEEF");
        out = savedBody(*doc);
        EXPECT_TRUE(out.startsWith(head) && out.endsWith(tail));
        middle = out.mid(head.size(), out.size() - head.size() - tail.size());
        EXPECT_TRUE(middle.contains("00C0FFEE") && middle.contains("00BEEF")) << middle.toStdString();
    }
}

TEST_F(Doc, SectionEditsSurviveWhenTheTreeIsBuiltLater)
{
    const QByteArray src = documentXml(para("one") + "<w:sectPr w:rsidSect=\"LAST\"><w:pgSz w:w=\"1\"/></w:sectPr>");
    auto doc = open(src);
    doc->lastSection().setAttributeNS(kNsW, "w:rsidR", "EDITED");
    EXPECT_EQ(doc->paragraphCount(), 1);  // builds the tree
    EXPECT_EQ(lastSectPr(static_cast<const DocxDocument &>(*doc).dom()).attributeNS(kNsW, "rsidR"), "EDITED");
    EXPECT_EQ(lastSectPr(parsedOk(savedBody(*doc))).attributeNS(kNsW, "rsidR"), "EDITED");

    doc = open(src);
    doc->lastSection().setAttributeNS(kNsW, "w:rsidR", "EDITED");
    QDomDocument &dom = doc->dom();
    QDomElement body = firstElementNS(dom, "body", kNsW);
    body.insertBefore(dom.createElementNS(kNsW, "w:p"), body.firstChild());
    QDomDocument back = parsedOk(savedBody(*doc));
    EXPECT_EQ(lastSectPr(back).attributeNS(kNsW, "rsidR"), "EDITED");
    EXPECT_EQ(back.elementsByTagNameNS(kNsW, "p").size(), 2);
}

TEST_F(Doc, TreeEditKeepsRootDeclarationsOnceAndSpaces)
{
    const QByteArray src = documentXml(
        "<w:p w14:paraId=\"1A2B\"><w:r><w:t>a</w:t></w:r><w:r><w:t xml:space=\"preserve\"> </w:t></w:r>"
        "<w:hyperlink r:id=\"rId3\"><w:r><w:t>b</w:t></w:r></w:hyperlink></w:p><w:sectPr/>");
    auto doc = open(src);
    QDomDocument &dom = doc->dom();
    QDomElement p = dom.createElementNS(kNsW, "w:p");
    QDomElement t = dom.createElementNS(kNsW, "w:t");
    t.appendChild(dom.createTextNode("added"));
    p.appendChild(dom.createElementNS(kNsW, "w:r")).appendChild(t);
    firstElementNS(dom, "body", kNsW).insertBefore(p, lastSectPr(dom));
    const QByteArray out = savedBody(*doc);
    EXPECT_NE(out, src);
    for (const char *decl : {"xmlns:w=", "xmlns:w14=", "xmlns:r=", "xmlns:mc=", "xmlns:pic="})
        EXPECT_EQ(out.count(decl), 1) << decl << "\n" << out.toStdString();
    EXPECT_LT(out.indexOf("xmlns:w14="), out.indexOf("<w:body"));
    EXPECT_TRUE(out.contains("mc:Ignorable=\"w14\""));
    EXPECT_TRUE(out.contains("<w:t xml:space=\"preserve\"> </w:t>")) << out.toStdString();
    QDomDocument back = parsedOk(out);
    EXPECT_EQ(back.elementsByTagNameNS(kNsW, "p").size(), 2);
    EXPECT_EQ(back.elementsByTagNameNS(kNsW, "p").at(1).toElement().text(), "added");
}

TEST_F(Doc, LastSectionIsTheLastTopLevelOneOnBothPaths)
{
    struct Case
    {
        QByteArray body;
        QString mark;
    } cases[] = {
        {para("a", "<w:sectPr w:rsidSect=\"P\"/>") + "<w:sectPr w:rsidSect=\"BODY\"><w:sectPrChange><w:sectPr "
                                                      "w:rsidSect=\"NESTED\"/></w:sectPrChange></w:sectPr>",
         "BODY"},
        {para("a") + para("b", "<w:sectPr w:rsidSect=\"P1\"/>") + para("c", "<w:sectPr w:rsidSect=\"P2\"><w:sectPrChange>"
                                                                            "<w:sectPr w:rsidSect=\"N\"/></w:sectPrChange></w:sectPr>")
             + para("d"),
         "P2"},
        {para("a"), QString()},
    };
    for (const Case &c : cases) {
        auto doc = open(documentXml(c.body));
        ASSERT_TRUE(doc->isValid());
        EXPECT_EQ(sectionMark(doc->lastSection()), c.mark);  // from the bytes, before any tree
        EXPECT_EQ(sectionMark(lastSectPr(doc->dom())), c.mark);
        EXPECT_EQ(sectionMark(doc->lastSection()), c.mark);  // from the tree
        EXPECT_EQ(doc->lastSection().isNull(), c.mark.isNull());
    }
    // A body in another character set cannot be spliced by bytes: the edit
    // goes through the tree and the text survives.
    auto doc = open("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><w:document xmlns:w=\"http://schemas."
                    "openxmlformats.org/wordprocessingml/2006/main\"><w:body><w:p><w:r><w:t>\xE9</w:t></w:r></w:p>"
                    "<w:sectPr/></w:body></w:document>");
    ASSERT_TRUE(doc->isValid());
    doc->lastSection().setAttributeNS(kNsW, "w:rsidSect", "L1");
    QDomDocument back = parsedOk(savedBody(*doc));
    EXPECT_EQ(sectionMark(lastSectPr(back)), "L1");
    EXPECT_EQ(paragraphText(firstElementNS(back, "p", kNsW)), QString(QChar(0xE9)));
}

// ---- relationships, content types and media --------------------------------

namespace {

const QString kRels = QStringLiteral("word/_rels/document.xml.rels");
const QString kTypes = QStringLiteral("[Content_Types].xml");

QByteArray relsPart(const QByteArray &relationships)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Relationships xmlns=\"" + QByteArray(kRelsNs)
        + "\">" + relationships + "</Relationships>";
}

QByteArray rel(const char *id, const char *type, const char *target, const char *extra = "")
{
    return QByteArray("<Relationship Id=\"") + id + "\" Type=\"" + type + "\" Target=\"" + target + "\"" + extra + "/>";
}

QByteArray typesPart(const QByteArray &defaults)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types xmlns=\"" + QByteArray(kTypesNs) + "\">" + defaults
        + "<Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>";
}

}  // namespace

TEST(Media, ImagePartsNumberingDefaultsAndIds)
{
    DocxDocument doc;
    doc.entries.insert(kTypes, typesPart("<Default Extension=\"PNG\" ContentType=\"image/png\"/>"));
    doc.entries.insert("word/media/image1.png", "1");
    doc.entries.insert("word/media/image2.png", "2");
    const DocxEntryMap before = doc.entries;
    EXPECT_TRUE(doc.addImagePart({}, "png").isEmpty());
    EXPECT_EQ(doc.entries, before);

    EXPECT_EQ(doc.addImagePart("png-bytes", "PNG"), "rId1");
    EXPECT_EQ(doc.entries.value("word/media/image3.png"), "png-bytes");
    EXPECT_EQ(doc.entries.value(kTypes), before.value(kTypes));  // "PNG" already covers png
    const auto r = elements(doc.entries.value(kRels), kRelsNs, "Relationship");
    ASSERT_EQ(r.size(), 1);
    EXPECT_EQ(r[0].attribute("Type"), kImageType);
    EXPECT_EQ(r[0].attribute("Target"), "media/image3.png");

    EXPECT_EQ(doc.addImagePart("j1", "Jpeg"), "rId2");
    EXPECT_EQ(doc.addImagePart("j2", "jpeg"), "rId3");
    EXPECT_EQ(doc.entries.value("word/media/image2.jpeg"), "j2");
    const auto defaults = elements(doc.entries.value(kTypes), kTypesNs, "Default");
    ASSERT_EQ(defaults.size(), 3);
    EXPECT_EQ(defaults[2].attribute("Extension"), "jpeg");
    EXPECT_EQ(defaults[2].attribute("ContentType"), "image/jpeg");

    EXPECT_EQ(mimeForExtension("svg"), "application/octet-stream");
    EXPECT_EQ(mimeForExtension("PNG"), "application/octet-stream");
    EXPECT_EQ(mimeForExtension("tif"), "image/tiff");
    EXPECT_EQ(doc.nextMediaName("gif"), "word/media/image1.gif");
}

TEST(Relationships, IdsAndHyperlinkReuse)
{
    DocxDocument doc;
    doc.entries.insert(kRels, relsPart(rel("rId2", kHyperlinkType, "https://example.com/A")
                                       + rel("rId10", kImageType, "media/image1.png") + rel("R5", kImageType, "x")
                                       + rel("rIdX", kImageType, "y")
                                       + "<o:Relationship xmlns:o=\"urn:other\" Id=\"rId50\" Type=\"t\" Target=\"z\"/>"));
    // The existing link to the URL is internal: not reused.
    EXPECT_EQ(doc.addHyperlinkRel("https://example.com/A"), "rId11");
    const QByteArray afterAdd = doc.entries.value(kRels);
    EXPECT_EQ(doc.addHyperlinkRel("https://example.com/A"), "rId11");
    EXPECT_EQ(doc.entries.value(kRels), afterAdd);  // reuse does not rewrite the part
    EXPECT_EQ(doc.addHyperlinkRel("https://example.com/a"), "rId12");
    EXPECT_TRUE(doc.addHyperlinkRel({}).isEmpty());
    const auto r = elements(doc.entries.value(kRels), kRelsNs, "Relationship");
    ASSERT_EQ(r.size(), 6);
    EXPECT_EQ(r[4].attribute("Id"), "rId11");
    EXPECT_EQ(r[4].attribute("TargetMode"), "External");
    EXPECT_EQ(r[4].attribute("Target"), "https://example.com/A");
    EXPECT_EQ(r[4].attribute("Type"), kHyperlinkType);

    // A part replaced between calls is read afresh.
    doc.entries.insert(kRels, relsPart(rel("rId30", kImageType, "media/image1.png")));
    EXPECT_EQ(doc.addHyperlinkRel("https://example.com/A"), "rId31");

    DocxDocument fresh;
    EXPECT_EQ(fresh.addHyperlinkRel("mailto:a@b.c"), "rId1");
    EXPECT_EQ(elements(fresh.entries.value(kRels), kRelsNs, "Relationship").size(), 1);
}

TEST(Relationships, TargetsResolveToPartPaths)
{
    DocxDocument doc;
    EXPECT_TRUE(doc.relPartPath("rId1").isEmpty());
    EXPECT_FALSE(doc.entries.contains(kRels));
    doc.entries.insert(kRels, relsPart(rel("rId1", "t", "/customXml/item1.xml") + rel("rId2", kImageType, "media/image1.png")
                                       + rel("rId3", "t", "../x.xml") + "<Relationship Id=\"rId4\" Type=\"t\"/>"));
    EXPECT_EQ(doc.relPartPath("rId1"), "customXml/item1.xml");
    EXPECT_EQ(doc.relPartPath("rId2"), "word/media/image1.png");
    EXPECT_EQ(doc.relPartPath("rId3"), "word/../x.xml");
    EXPECT_TRUE(doc.relPartPath("rId9").isEmpty());
    EXPECT_TRUE(doc.relPartPath({}).isEmpty());
    EXPECT_EQ(doc.relTarget("rId3"), "../x.xml");
    EXPECT_TRUE(doc.relTarget("rId4").isEmpty());
}

TEST(ContentTypes, OverridesAndSharedEnsureSteps)
{
    DocxDocument doc;
    doc.ensureContentType(true, "header1.xml");
    doc.ensureOverride("/word/styles.xml", "s");
    doc.ensureImageDefault("png");
    EXPECT_FALSE(doc.entries.contains(kTypes));  // the registry is never created

    doc.entries.insert(kTypes, typesPart({}));
    for (const char *path : {"header1.xml", "word/header1.xml", "/word/header1.xml"})
        doc.ensureContentType(true, path);
    doc.ensureContentType(false, "footer2.xml");
    doc.ensureOverride("/word/styles.xml", "application/styles");
    doc.ensureOverride("/word/styles.xml", "other");
    const auto o = elements(doc.entries.value(kTypes), kTypesNs, "Override");
    ASSERT_EQ(o.size(), 3);
    EXPECT_EQ(o[0].attribute("PartName"), "/word/header1.xml");
    EXPECT_EQ(o[0].attribute("ContentType"), "application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml");
    EXPECT_EQ(o[1].attribute("PartName"), "/word/footer2.xml");
    EXPECT_EQ(o[1].attribute("ContentType"), "application/vnd.openxmlformats-officedocument.wordprocessingml.footer+xml");
    EXPECT_EQ(o[2].attribute("ContentType"), "application/styles");

    const QString root = QStringLiteral("_rels/.rels");
    doc.ensureRelOfType(root, "core", "docProps/core.xml");
    doc.ensureRelOfType(root, "core", "elsewhere.xml");
    doc.entries.insert(kRels, relsPart(rel("rId3", "styles", "styles.xml")));
    const QByteArray rels = doc.entries.value(kRels);
    doc.ensureRelOfType(kRels, "styles", "other.xml");
    EXPECT_EQ(doc.entries.value(kRels), rels);
    doc.ensureRelOfType(kRels, "numbering", "numbering.xml");
    const auto r = elements(doc.entries.value(root), kRelsNs, "Relationship");
    ASSERT_EQ(r.size(), 1);
    EXPECT_EQ(r[0].attribute("Id"), "rId1");
    EXPECT_EQ(r[0].attribute("Target"), "docProps/core.xml");
    const auto r2 = elements(doc.entries.value(kRels), kRelsNs, "Relationship");
    ASSERT_EQ(r2.size(), 2);
    EXPECT_EQ(r2[1].attribute("Id"), "rId4");
}

TEST(Relationships, UnparsablePartsAreNeverOverwritten)
{
    DocxDocument doc;
    const QByteArray brokenRels = "<Relationships xmlns=\"" + QByteArray(kRelsNs) + "\"><Relationship";
    const QByteArray brokenTypes = "<Types><Default></Types>";
    doc.entries.insert(kRels, brokenRels);
    doc.entries.insert(kTypes, brokenTypes);
    EXPECT_TRUE(doc.addImagePart("img", "png").isEmpty());
    EXPECT_EQ(doc.entries.value("word/media/image1.png"), "img");  // the media part stays
    EXPECT_TRUE(doc.addHyperlinkRel("https://example.com").isEmpty());
    doc.ensureRelOfType(kRels, "styles", "styles.xml");
    doc.ensureContentType(true, "header1.xml");
    doc.ensureImageDefault("gif");
    doc.ensureOverride("/word/styles.xml", "s");
    EXPECT_TRUE(doc.relPartPath("rId1").isEmpty());
    EXPECT_EQ(doc.entries.value(kRels), brokenRels);
    EXPECT_EQ(doc.entries.value(kTypes), brokenTypes);
}
