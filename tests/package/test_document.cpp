// The document model: paragraph index, lazily parsed body, last section, relationships, content types and media.
#include "EditTestSupport.h"

using namespace edit_support;

static void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace {

using Xml = QByteArray;
const Xml kHyperlink = kRelType + "hyperlink", kImage = kRelType + "image";
constexpr char kWordRoot[] = "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">";

Xml para(const Xml &t, const Xml &pPr = {}) { return "<w:p><w:pPr>" + pPr + "</w:pPr><w:r><w:t>" + t + "</w:t></w:r></w:p>"; }
Xml cell(const Xml &content) { return "<w:tc><w:tcPr/>" + content + "</w:tc>"; }
Xml sect(const char *m, const Xml &in = {}) { return "<w:sectPr w:rsidSect=\"" + Xml(m) + "\">" + in + "</w:sectPr>"; }
QString mark(const QDomElement &sectPr) { return sectPr.attributeNS(kNsW, "rsidSect"); }
Xml stylesPart(const Xml &styles) { return Xml(kWordRoot).replace("w:document", "w:styles") + styles + "</w:styles>"; }
QByteArray typesPart(const QByteArray &defaults)
{
    return "<Types xmlns=\"" + QByteArray(kNsContentTypes) + "\">" + defaults
        + "<Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>";
}

class Doc : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    int files = 0;

    QString nextPath() { return dir.filePath(QString::number(++files)); }
    std::unique_ptr<DocxDocument> open(const QByteArray &document, const Members &extra = {})
    {
        const QString path = nextPath();
        EXPECT_TRUE(writeFile(path, makePackage(document, extra)));
        return DocxDocument::open(path);
    }
    DocxEntryMap saved(DocxDocument &doc)  // under a new name
    {
        const QString path = nextPath();
        if (doc.saveAs(path))
            return readEntries(path);
        ADD_FAILURE() << "cannot save " << path.toStdString() << ": " << doc.errorString().toStdString();
        return {};
    }
    QByteArray savedBody(DocxDocument &doc) { return saved(doc).value(doc.package().mainPart(), "save failed"); }
};

}  // namespace

// Paragraphs in document order through tables and controls (not custom XML); heading levels by style or paragraph.
TEST_F(Doc, IndexWalksTablesControlsAndHeadingsInDocumentOrder)
{
    const QByteArray nested = "<w:tbl><w:tr>" + cell(para("n1")) + cell(para("n2")) + "</w:tr></w:tbl>";
    const QByteArray table = "<w:tbl><w:tblPr/><w:tr>" + cell(para("a") + nested + para("b")) + cell(para("c"))
        + "</w:tr><w:sdt><w:sdtContent><w:tr>" + cell(para("r2")) + "</w:tr></w:sdtContent></w:sdt></w:tbl>";
    auto doc = open(documentXml(para("p1") + table + "<w:sdt><w:sdtPr/><w:sdtContent>" + para("s") + table
                                + "</w:sdtContent></w:sdt><w:customXml w:element=\"x\">" + para("hidden")
                                + "</w:customXml>" + para("last") + "<w:sectPr/>"));
    QStringList texts;
    for (const DocxParaInfo &p : doc->body().paragraphInfo())
        texts << p.text + (p.index == texts.size() ? "" : " at " + QString::number(p.index));
    EXPECT_EQ(texts.join(' '), "p1 a n1 n2 b c r2 s a n1 n2 b c r2 last");
    EXPECT_TRUE(doc->body().paragraphInfoAt(15).index == 0 && doc->body().paragraphInfoAt(15).text.isEmpty()  // out of range
                && doc->body().paragraphInfoAt(-1).headingLevel == -1);
    const QByteArray styles = stylesPart("<w:style w:type=\"paragraph\" w:styleId=\"Chapter\"><w:pPr><w:outlineLvl w:val="
                                         "\"5\"/></w:pPr></w:style><w:style w:type=\"paragraph\" w:styleId=\"Heading2\">"
                                         "<w:name w:val=\"heading 2\"/></w:style>");
    auto style = [](const char *id) { return QByteArray("<w:pStyle w:val=\"") + id + "\"/>"; };
    const QByteArray level = "<w:outlineLvl w:val=\"";
    doc = open(documentXml(para("h2", style("Heading2")) + para("h7", style("heading7")) + para("3", style("3"))
                           + para("chapter", style("Chapter")) + para("direct", style("Chapter") + level + "9\"/>")
                           + para("normal", style("Normal")) + para("plain")
                           + para("bad", style("Heading2") + level + "x\"/>")
                           + "<w:p><w:r><w:t>Hello</w:t></w:r><w:r><w:t xml:space=\"preserve\"> World</w:t></w:r>"
                             "<w:del><w:r><w:delText>gone</w:delText></w:r></w:del>"
                             "<w:hyperlink r:id=\"rId9\"><w:r><w:t>!</w:t></w:r></w:hyperlink></w:p>"),
               {{"word/styles.xml", styles}});
    ASSERT_EQ(doc->body().paragraphCount(), 9);
    const int expected[] = {1, 0, 2, 5, 9, -1, -1, 1, -1};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(doc->body().paragraphInfoAt(i).headingLevel, expected[i]) << doc->body().paragraphInfoAt(i).text.toStdString();
    EXPECT_TRUE(doc->body().paragraphInfoAt(3).styleId == "Chapter" && doc->body().paragraphInfoAt(6).styleId.isEmpty()
                && doc->body().paragraphInfoAt(8).text == "Hello World!");
}

TEST_F(Doc, MalformedBodyIsRefusedSayingWhere)
{
    auto doc = open(QByteArray(kWordRoot).replace("<w:", "<?xml version=\"1.0\"?>\n<w:") + "<w:body>\n<w:p></w:q>");
    EXPECT_TRUE(!doc->isValid() && doc->errorString().startsWith("XML parse error at line 3 col 11: "))
        << doc->errorString().toStdString();
}

TEST_F(Doc, EmptyAndBodilessDocumentsHaveNoParagraphsAndSaveAsTheyWere)
{
    EXPECT_EQ(open(documentXml(""))->body().paragraphCount(), 0);
    const QByteArray noBody = kWordRoot + para("stray") + "</w:document>";
    const auto doc = open(noBody);
    EXPECT_TRUE(doc->isValid() && doc->body().paragraphCount() == 0 && doc->body().lastSection().isNull());
    EXPECT_EQ(savedBody(*doc), noBody);
}

// Reading the section, index and tree through the const interface is no edit: every part stays as it was.
TEST_F(Doc, ReadingThroughTheConstInterfaceLeavesEveryPartAsItWas)
{
    const QByteArray src = documentXml(para("Gr\xC3\xBC\xC3\x9F" "e") + "<w:p><w:r><w:t xml:space=\"preserve\"> </w:t>"
                                       "</w:r></w:p>\r\n" + sect("S", "<w:pgSz w:w=\"12240\" w:h=\"15840\"/>"));
    const auto doc = open(src, {{"word/styles.xml", stylesPart({})}});
    const DocxDocument &view = *doc;
    EXPECT_EQ(mark(view.body().lastSection()), "S");
    EXPECT_EQ(savedBody(*doc), src);
    EXPECT_TRUE(view.body().paragraphCount() == 2 && view.body().dom().documentElement().localName() == "document"
                && mark(view.body().lastSection()) == "S");
    EXPECT_EQ(saved(*doc), readEntries(doc->package().path()));
}

// Section edits change only the section's bytes (twice; with or without a BOM); tree edits keep declarations, spaces.
TEST_F(Doc, EditsChangeOnlyWhatTheyEdit)
{
    const QByteArray before = para("\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E &amp; &#8364; \xE4\xB8\xAD") + "\r\n"
        + para("s1", sect("FIRST")) + "\r\n";
    const QByteArray last = sect("LAST", "<w:headerReference w:type=\"default\" r:id=\"rId7\"/><w:pgSz w:w=\"12240\"/>"
                                         "<w:sectPrChange w:id=\"1\">" + sect("OLD") + "</w:sectPrChange>");
    for (const QByteArray &bom : {QByteArray(), QByteArray("\xEF\xBB\xBF")}) {
        const QByteArray src = bom + documentXml(before + last);
        const QByteArray head = src.left(src.indexOf(last)), tail = src.mid(src.indexOf(last) + last.size());
        auto doc = open(src);
        ASSERT_EQ(mark(doc->body().lastSection()), "LAST");
        doc->body().lastSection().setAttributeNS(kNsW, "w:rsidR", "00C0FFEE");
        for (const char *second : {"", "00BEEF"}) {  // then a second edit, spliced into the new bytes
            if (*second)
                doc->body().lastSection().setAttributeNS(kNsW, "w:rsidDel", second);
            const QByteArray out = savedBody(*doc);
            ASSERT_TRUE(out.startsWith(head) && out.endsWith(tail)) << out.toStdString();
            const QByteArray middle = out.mid(head.size(), out.size() - head.size() - tail.size());
            EXPECT_TRUE(middle.contains("w:rsidR=\"00C0FFEE\"") && middle.contains(second) && !middle.contains("xmlns"))
                << middle.toStdString();
            const QDomElement s = lastSectPr(parsed(out));
            EXPECT_EQ(wChild(s, "headerReference").attributeNS(kNsR, "id"), "rId7");
            EXPECT_EQ(mark(wChild(wChild(s, "sectPrChange"), "sectPr")), "OLD");
        }
    }
    auto doc = open(documentXml("<w:p w14:paraId=\"1A2B\"><w:r><w:t>a</w:t></w:r><w:r><w:t xml:space=\"preserve\"> </w:t>"
                                "</w:r><w:hyperlink r:id=\"rId3\"><w:r><w:t>b</w:t></w:r></w:hyperlink></w:p><w:sectPr/>"));
    firstDescendantNS(doc->body().dom(), kNsW, "t").firstChild().setNodeValue("edited");
    const QByteArray out = savedBody(*doc);
    for (const char *decl : {"xmlns:w=", "xmlns:w14=", "xmlns:r=", "xmlns:mc=", "xmlns:pic="})
        EXPECT_EQ(out.count(decl), 1) << decl << "\n" << out.toStdString();
    EXPECT_TRUE(out.indexOf("xmlns:w14=") < out.indexOf("<w:body") && out.contains("mc:Ignorable=\"w14\"")
                && out.contains("<w:t xml:space=\"preserve\"> </w:t>")) << out.toStdString();
    EXPECT_EQ(paragraphText(firstDescendantNS(parsed(out), kNsW, "p")), "edited b");
}

// An edit of the last top-level section found in the bytes survives when the tree is built later; a body in another
// character set cannot be spliced by bytes: the edit goes through the tree, the text survives.
TEST_F(Doc, LastSectionIsTheLastTopLevelOneOnBothPaths)
{
    const QByteArray nested = "<w:sectPrChange>" + sect("NESTED") + "</w:sectPrChange>";
    const struct { QByteArray body; QString mark; } cases[] = {
        {para("a", sect("P")) + sect("BODY", nested), "BODY"},
        {para("a") + para("b", sect("P1")) + para("c", sect("P2", nested)) + para("d"), "P2"}, {para("a"), QString()}};
    for (const auto &c : cases) {
        auto doc = open(documentXml(c.body));
        const DocxDocument &view = *doc;
        EXPECT_EQ(mark(view.body().lastSection()), c.mark);
        doc->body().lastSection().setAttributeNS(kNsW, "w:rsidR", "EDITED");
        const QDomElement inTree = lastSectPr(view.body().dom());
        const QString edited = c.mark.isNull() ? "" : "EDITED";
        EXPECT_TRUE(mark(inTree) == c.mark && inTree.attributeNS(kNsW, "rsidR") == edited) << c.mark.toStdString();
        EXPECT_EQ(mark(view.body().lastSection()), c.mark);  // from the tree
        EXPECT_EQ(lastSectPr(parsed(savedBody(*doc))).attributeNS(kNsW, "rsidR"), edited);
    }
    auto doc = open("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + QByteArray(kWordRoot)
                    + "<w:body><w:p><w:r><w:t>\xE9</w:t></w:r></w:p><w:sectPr/></w:body></w:document>");
    doc->body().lastSection().setAttributeNS(kNsW, "w:rsidSect", "L1");
    const QDomDocument back = parsed(savedBody(*doc));
    EXPECT_EQ(mark(lastSectPr(back)), "L1");
    EXPECT_EQ(paragraphText(firstDescendantNS(back, kNsW, "p")), QString(QChar(0xE9)));
}

// Media numbered per extension; lookups create nothing; link ids follow the largest; types and relationships added
// once; parts that do not parse are never overwritten.
// Image parts take the next free name of their extension and the next free id; the extension's default is added once.
TEST(Relationships, ImagesTakeFreeNamesAndIds)
{
    DocxPackage doc;
    DocxRelationships &docRels = doc.relationships();
    doc.entries() = {{kTypes, typesPart("<Default Extension=\"PNG\" ContentType=\"image/png\"/>")},
                   {"word/media/image1.png", "1"}, {"word/media/image2.png", "2"}};
    const DocxEntryMap before = doc.entries();
    EXPECT_TRUE(docRels.addImagePart({}, "png").isEmpty() && doc.entries() == before);
    const QString png = docRels.addImagePart("png-bytes", "PNG"), j1 = docRels.addImagePart("j1", "Jpeg");
    EXPECT_EQ(png + j1 + docRels.addImagePart("j2", "jpeg"), "rId1rId2rId3");
    EXPECT_EQ(doc.entries().value("word/media/image3.png") + doc.entries().value("word/media/image2.jpeg"), "png-bytesj2");
    EXPECT_EQ(docRels.relPartPath("rId1") + " " + docRels.relPartPath("rId2"), "word/media/image3.png word/media/image1.jpeg");
    EXPECT_EQ(relations(doc.entries().value(kRels)).join(", "),
              "rId1 image image3.png, rId2 image image1.jpeg, rId3 image image2.jpeg");
    EXPECT_EQ(attrs(doc.entries().value(kTypes), kNsContentTypes, "Default", {"Extension", "ContentType"}),
              QStringList({"PNG png", "xml xml", "jpeg jpeg"}));
}

// Targets by id (only of well-formed relationships of the package's namespace); hyperlinks reuse an equal target.
TEST(Relationships, TargetsByIdAndHyperlinksAddedOnce)
{
    DocxPackage links;
    DocxRelationships &linksRels = links.relationships();
    EXPECT_TRUE(linksRels.relPartPath("rId1").isEmpty() && !links.entries().contains(kRels));
    links.entries().insert(kRels, relsPart(relEntry("rId2", kHyperlink, "https://example.com/A")
                                         + relEntry("rId10", kImage, "i.png") + relEntry("rIdX", kImage, "../x.xml")
                                         + relEntry("R5", kImage, "/customXml/item1.xml")
                                         + "<o:Relationship xmlns:o=\"urn:other\" Id=\"rId50\" Type=\"t\" Target=\"z\"/>"
                                         + "<Relationship Id=\"rId4\" Type=\"t\"/>"));
    EXPECT_EQ(linksRels.relPartPath("R5") + " " + linksRels.relPartPath("rId10") + " " + linksRels.relTarget("rIdX"),
              "customXml/item1.xml word/i.png ../x.xml");
    for (const char *none : {"rId4", "rId9", "rId50", ""})
        EXPECT_TRUE(linksRels.relPartPath(none).isEmpty() && linksRels.relTarget(none).isEmpty()) << none;
    EXPECT_EQ(linksRels.addHyperlinkRel("https://example.com/A"), "rId11");
    const QByteArray afterAdd = links.entries().value(kRels);
    EXPECT_TRUE(linksRels.addHyperlinkRel("https://example.com/A") == "rId11" && links.entries().value(kRels) == afterAdd);
    EXPECT_TRUE(linksRels.addHyperlinkRel("https://example.com/a") == "rId12" && linksRels.addHyperlinkRel({}).isEmpty());
    EXPECT_EQ(attrs(links.entries().value(kRels), kNsPackageRels, "Relationship", {"Id", "Type", "TargetMode"}).value(5)
                  + " " + linksRels.relTarget("rId11"), "rId11 hyperlink External https://example.com/A");
    links.entries().insert(kRels, relsPart(relEntry("rId30", kImage, "media/image1.png")));  // read afresh
    EXPECT_EQ(linksRels.addHyperlinkRel("https://example.com/A"), "rId31");
}

TEST(Relationships, ContentTypesOverridesAndRelationshipsOfATypeAddedOnce)
{
    DocxPackage types;
    DocxRelationships &typesRels = types.relationships();
    DocxContentTypes &registry = types.contentTypes();
    registry.ensureHeaderFooter(DocxHFPart::Header, "header1.xml"), registry.ensureOverride("/word/styles.xml", "s");
    registry.ensureImageDefault("png");
    EXPECT_TRUE(types.entries().isEmpty());
    types.entries().insert(kTypes, typesPart({}));
    for (const char *path : {"header1.xml", "word/header1.xml", "/word/header1.xml"})
        registry.ensureHeaderFooter(DocxHFPart::Header, path);
    registry.ensureHeaderFooter(DocxHFPart::Footer, "footer2.xml");
    registry.ensureOverride("/word/styles.xml", "application/styles"), registry.ensureOverride("/word/styles.xml", "other");
    EXPECT_EQ(overrides(types.entries().value(kTypes)),
              QStringList({"header1.xml header+xml", "footer2.xml footer+xml", "styles.xml styles"}));
    types.entries().insert(kRels, relsPart(relEntry("rId3", "styles", "styles.xml")));
    for (const char *type : {"styles", "numbering", "numbering"})
        typesRels.ensureRelOfType(kRels, type, type + QString(".xml")), typesRels.ensureRelOfType("_rels/.rels", "core", type);
    EXPECT_EQ(relations(types.entries().value(kRels)).join(", "), "rId3 styles styles.xml, rId4 numbering numbering.xml");
    EXPECT_EQ(relations(types.entries().value("_rels/.rels")), QStringList({"rId1 core styles"}));
}

// A relationships or content-types part that does not parse is never written over; the image part itself stays.
TEST(Relationships, UnparsableRelationshipsAndTypesAreLeftAlone)
{
    DocxPackage types;
    DocxRelationships &typesRels = types.relationships();
    DocxContentTypes &registry = types.contentTypes();
    types.entries() = {{kRels, relsPart("<Relationship").chopped(16)}, {kTypes, "<Types><Default></Types>"}};
    const DocxEntryMap broken = types.entries();
    EXPECT_TRUE(typesRels.addImagePart("img", "png").isEmpty() && types.entries().take("word/media/image1.png") == "img");
    EXPECT_TRUE(typesRels.addHyperlinkRel("https://example.com").isEmpty());
    typesRels.ensureRelOfType(kRels, "styles", "styles.xml"), registry.ensureHeaderFooter(DocxHFPart::Header, "header1.xml");
    EXPECT_EQ(types.entries(), broken);
}

// Parts given in memory open as parts read from an archive would, and save to the path given with them.
TEST_F(Doc, DocumentFromPartsInMemory)
{
    const QString path = dir.filePath("memory.docx");
    const QByteArray rootRels = relsPart(relEntry("rId1", kRelType + "officeDocument", "/doc/main.xml"));
    const DocxEntryMap parts = {{"_rels/.rels", rootRels}, {"doc/main.xml", documentXml(para("x"))}};
    std::unique_ptr<DocxDocument> doc = DocxDocument::fromEntries(path, parts);
    ASSERT_TRUE(doc->isValid()) << doc->errorString().toStdString();
    EXPECT_EQ(doc->package().mainPart() + doc->body().paragraphInfoAt(0).text, "doc/main.xmlx");
    ASSERT_TRUE(doc->save()) << doc->errorString().toStdString();
    EXPECT_EQ(readEntries(path), parts);
    doc = DocxDocument::fromEntries(path, {{"word/document.xml", "<w:document><w:body>"}});
    EXPECT_TRUE(!doc->isValid() && !doc->errorString().isEmpty());
}

// Targets resolve inside the package or not at all, alike for both readers; a header is never written outside it.
TEST_F(Doc, RelationshipTargetsStayInsidePackage)
{
    const struct { const char *source, *target, *part; } cases[] = {
        {"word/d.xml", "media/a.png", "word/media/a.png"}, {"word/d.xml", "./media/../media/a.png", "word/media/a.png"},
        {"word/d.xml", "../customXml/i.xml", "customXml/i.xml"}, {"word/d.xml", "/docProps/c.xml", "docProps/c.xml"},
        {"word/sub/d.xml", "../../x.xml", "x.xml"}, {"", "word/d.xml", "word/d.xml"}, {"word/d.xml", "../../x.xml", ""},
        {"word/d.xml", "/../x.xml", ""}, {"word/d.xml", "media\\..\\..\\x.xml", ""}, {"word/d.xml", "https://e.org/a", ""},
        {"word/d.xml", "file:///etc/passwd", ""}, {"word/d.xml", "", ""}};
    for (const auto &c : cases)
        EXPECT_EQ(resolvePartTarget(c.source, c.target), c.part) << c.source << " " << c.target;
    auto doc = open(documentXml("<w:sectPr><w:headerReference w:type=\"default\" r:id=\"rId1\"/></w:sectPr>"),
                    {{kRels.toUtf8(), relsPart(relEntry("rId1", kRelType + "header", "../../evil.xml")
                                               + relEntry("rId2", kImage, "media/../media/a.png")
                                               + relEntry("rId3", kImage, "/word/media/a.png")
                                               + relEntry("rId4", kImage, "a.png", "External"))}});
    ASSERT_TRUE(doc->isValid()) << doc->errorString().toStdString();
    const QHash<QString, QString> images =
        doc->package().relationships().relatedParts(doc->package().mainPart(), [](const QString &type) { return type.endsWith("/image"); });
    EXPECT_EQ(images, (QHash<QString, QString>{{"rId2", "word/media/a.png"}, {"rId3", "word/media/a.png"}}));
    for (const char *id : {"rId1", "rId2", "rId3", "rId4"})
        EXPECT_EQ(doc->package().relationships().relPartPath(id), images.value(id)) << id;
    ASSERT_TRUE(doc->headersFooters().part(DocxHFPart::Header, DocxHFKind::Default).isEmpty()
                && doc->headersFooters().setPart(DocxHFPart::Header, DocxHFKind::Default, "<w:hdr xmlns:w=\"" + Xml(kNsW) + "\"/>"));
    const QStringList names = saved(*doc).keys();
    EXPECT_TRUE(names.contains("word/header1.xml") && names.filter("..").isEmpty()) << names.join(' ').toStdString();
}

TEST_F(Doc, MainPartNamedByThePackageRelationship)
{
    // Parts added for a main part elsewhere live in its folder, with its relationships; the body is saved in place.
    const QByteArray rootRels = relsPart(relEntry("rId1", kRelType + "officeDocument", "/doc/main.xml"));
    ASSERT_TRUE(writeFile(dir.filePath("moved.docx"), makeZip({{"_rels/.rels", rootRels},
                                                               {"doc/main.xml", documentXml(para("x") + "<w:sectPr/>")}})));
    std::unique_ptr<DocxDocument> doc = DocxDocument::open(dir.filePath("moved.docx"));
    ASSERT_TRUE(doc->isValid() && doc->body().paragraphInfoAt(0).text == "x") << doc->errorString().toStdString();
    const QByteArray footer = "<w:ftr xmlns:w=\"" + QByteArray(kNsW) + "\"/>";
    ASSERT_TRUE(doc->headersFooters().setPart(DocxHFPart::Footer, DocxHFKind::Default, footer) && doc->sections().setTitlePage(kLastSection, true));
    EXPECT_EQ(doc->package().relationships().addImagePart("png", "png"), "rId2");
    EXPECT_EQ(attrs(doc->package().entries().value("doc/_rels/main.xml.rels"), kNsPackageRels, "Relationship", {"Target"}),
              QStringList({"footer1.xml", "image1.png"}));
    EXPECT_TRUE(doc->package().entries().contains("doc/footer1.xml") && doc->package().entries().contains("doc/media/image1.png")
                && doc->headersFooters().part(DocxHFPart::Footer, DocxHFKind::Default) == footer);
    const DocxEntryMap out = saved(*doc);
    EXPECT_TRUE(out.value("doc/main.xml").contains("titlePg") && !out.contains("word/document.xml"));
    // No main part at all, or one the relationship names but the package lacks.
    for (const char *target : {"", "word/main.xml"}) {
        const QByteArray rels = QByteArray(rootRels).replace("/doc/main.xml", target);
        ASSERT_TRUE(writeFile(dir.filePath("none.docx"), makeZip({{"_rels/.rels", rels}, {"word/other.xml", "<x/>"}})));
        doc = DocxDocument::open(dir.filePath("none.docx"));
        EXPECT_EQ(doc->errorString(), "Not a valid DOCX: missing " + QString(*target ? target : "word/document.xml"));
    }
}
