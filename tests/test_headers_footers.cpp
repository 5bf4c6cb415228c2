// Header and footer parts by kind: building them from text with fields,
// storing them (part, relationship, content type, section reference), what is
// refused, python-docx's view of the result, and `lxdocx header` / `footer`.
#include "DocxDocument.h"
#include "EditTestSupport.h"

#include <QJsonArray>
#include <QRegularExpression>

#include <cstring>
#include <thread>

using namespace testing_support;
using namespace edit_support;

namespace {

const QString kRels = QStringLiteral("word/_rels/document.xml.rels"), kTypes = QStringLiteral("[Content_Types].xml");
constexpr char kHeaderType[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/header";

QByteArray part(const char *root, const QByteArray &text = {})
{
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:") + root + " xmlns:w=\"" + kNsW
        + "\"><w:p><w:r><w:t>" + text + "</w:t></w:r></w:p></w:" + root + ">";
}

QByteArray relsPart(const QByteArray &relationships)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<Relationships xmlns=\""
        + QByteArray(kNsPackageRels) + "\">" + relationships + "</Relationships>\r\n";
}

QByteArray rel(const char *id, const char *type, const char *target)
{
    return QByteArray("\r\n  <Relationship Id=\"") + id + "\" Type=\"" + type + "\" Target=\"" + target + "\"/>";
}

// One entry per run: "fld:TYPE" for a field character, else the content's
// local name and text, with "|keep" when its spaces are preserved.
QStringList runs(const QByteArray &xml)
{
    QStringList out;
    for (const QDomElement &r : elements(xml, kNsW, "r")) {
        const QDomElement c = r.firstChildElement();
        if (c.localName() == "fldChar")
            out << "fld:" + c.attributeNS(kNsW, "fldCharType");
        else
            out << c.localName() + ":" + c.text() + (c.attributeNS(kNsXml, "space") == "preserve" ? "|keep" : "");
    }
    return out;
}

QStringList field(const QString &instruction)
{
    return {"fld:begin", "instrText:" + instruction + "|keep", "fld:separate", "t:1", "fld:end"};
}

QByteArray built(bool header, const char *text, const char *align)
{
    int len = -1;
    const char *xml = lxDocx_build_hf_xml(header ? 1 : 0, text, align, &len);
    EXPECT_TRUE(xml && len == int(std::strlen(xml)));
    return QByteArray(xml, len);
}

QString jc(const QByteArray &xml)
{
    const QList<QDomElement> j = elements(xml, kNsW, "jc");
    return j.isEmpty() ? "(none)" : j.first().attributeNS(kNsW, "val", "(no value)");
}

QByteArray partOf(DocxHandle *h, int kind, bool header = true)
{
    int len = -1;
    const char *p = header ? lxDocx_get_header_xml(h, kind, &len) : lxDocx_get_footer_xml(h, kind, &len);
    EXPECT_EQ(p == nullptr, len == 0);
    return p ? QByteArray(p, len) : QByteArray();
}

}  // namespace

TEST(HeadersFooters, BuildsOneParagraphFromTextAndFields)
{
    const QByteArray page = built(true, "Page {PAGE} of {NUMPAGES}", "center");
    EXPECT_TRUE(page.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>")) << page.toStdString();
    const QDomElement root = parsed(page).documentElement();
    EXPECT_EQ(root.localName() + root.namespaceURI() + childNames(root).join(','), QString("hdr") + kNsW + "p");
    EXPECT_EQ(jc(page), "center");
    EXPECT_EQ(runs(page), QStringList("t:Page |keep") + field(" PAGE ") + QStringList("t: of |keep") + field(" NUMPAGES "));
    const QByteArray chapter = built(false, "{CHAPTER}", "left");
    EXPECT_EQ(parsed(chapter).documentElement().localName() + jc(chapter), "ftr(none)");
    EXPECT_TRUE(elements(chapter, kNsW, "pPr").isEmpty());
    EXPECT_EQ(runs(chapter), field(" STYLEREF \"Heading 1\" "));
    // The earliest token wins, whatever its place in the table; braces that form no token are text.
    EXPECT_EQ(runs(built(true, "{TITLE}{AUTHOR}{TITLE}", "both")),
              field(" DOCPROPERTY \"Title\" ") + field(" DOCPROPERTY \"Author\" ") + field(" DOCPROPERTY \"Title\" "));
    const QByteArray plain = built(true, "{page} {BOGUS} {PAGE", "right");
    EXPECT_EQ(runs(plain) << jc(plain), QStringList({"t:{page} {BOGUS} {PAGE", "right"}));
    EXPECT_EQ(runs(built(false, "{AUTHOR} \xC3\xBC\xE2\x80\x94{PAGE}", "left")),
              field(" DOCPROPERTY \"Author\" ") + QStringList(QString::fromUtf8("t: \xC3\xBC\xE2\x80\x94|keep")) + field(" PAGE "));
    const QByteArray empty = built(false, "", "");
    EXPECT_EQ(runs(empty) << jc(empty), QStringList({""}));

    int len = 5, len2 = 5;
    EXPECT_EQ(lxDocx_build_hf_xml(1, nullptr, "left", &len), nullptr);
    EXPECT_EQ(lxDocx_build_hf_xml(1, "x", nullptr, &len2), nullptr);
    EXPECT_EQ(len + len2, 0);
    // Each thread has its own buffer.
    const char *mine = lxDocx_build_hf_xml(1, "mine", "left", nullptr);
    QByteArray theirs;
    std::thread([&] { theirs = lxDocx_build_hf_xml(0, "theirs", "left", nullptr); }).join();
    EXPECT_TRUE(QByteArray(mine).contains(">mine<") && theirs.contains(">theirs<"));
}

TEST(HeadersFooters, FirstWriteAddsPartRelationshipTypeAndReferenceOnBothPaths)
{
    QTemporaryDir dir;
    const QByteArray rels = relsPart(rel("rId3", "urn:styles", "styles.xml") + rel("rId7", "urn:other", "settings.xml") + "\r\n");
    const QByteArray sect = "<w:sectPr><w:pgSz w:w=\"12240\"/></w:sectPr>";
    const QByteArray src = documentXml("<w:p><w:r><w:t>\xC3\xA9t\xC3\xA9</w:t></w:r></w:p>\n" + sect);
    const qsizetype at = src.indexOf(sect), close = rels.indexOf("</Relationships>");
    for (bool tree : {false, true}) {
        SCOPED_TRACE(tree ? "body tree" : "section alone");
        Handle h = openPackage(dir.filePath("in.docx"), makePackage(src, {{kRels.toUtf8(), rels}}));
        ASSERT_TRUE(h);
        if (tree)
            h->doc->dom();
        EXPECT_TRUE(partOf(h.get(), 0).isEmpty());
        const QByteArray one = part("hdr", "one"), two = part("hdr", "two"), foot = part("ftr");
        ASSERT_EQ(lxDocx_set_header_xml(h.get(), LXDOCX_HF_DEFAULT, one.constData(), int(one.size())), 1);
        const DocxEntryMap &e = h->doc->entries;
        EXPECT_EQ(e.value("word/header1.xml"), one);
        // The relationship is spliced into the part's own bytes.
        EXPECT_TRUE(e.value(kRels).startsWith(rels.left(close)) && e.value(kRels).endsWith(rels.mid(close)))
            << e.value(kRels).toStdString();
        EXPECT_EQ(relations(e.value(kRels)).value(2), "rId8 header header1.xml");
        EXPECT_TRUE(overrides(e.value(kTypes)).contains("/word/header1.xml header+xml")) << e.value(kTypes).toStdString();

        // Writing the kind again only replaces the part's bytes.
        DocxEntryMap expected = e;
        expected.insert("word/header1.xml", two);
        ASSERT_EQ(lxDocx_set_header_xml(h.get(), 7, two.constData(), -1), 1);  // kind 7 is the default
        EXPECT_EQ(e, expected);
        EXPECT_EQ(partOf(h.get(), -3), two);
        ASSERT_EQ(lxDocx_set_footer_xml(h.get(), LXDOCX_HF_EVEN, foot.constData(), -1), 1);
        EXPECT_EQ(relations(e.value(kRels)).value(3), "rId9 footer footer1.xml");

        const QString out = dir.filePath("out.docx");
        ASSERT_TRUE(saveAs(h.get(), out));
        const QByteArray saved = readEntries(out).value("word/document.xml");
        if (!tree) {
            EXPECT_TRUE(saved.startsWith(src.left(at)) && saved.endsWith(src.mid(at + sect.size()))) << saved.toStdString();
        }
        const QDomElement sp = lastSectPr(parsed(saved));
        EXPECT_EQ(childNames(sp), QStringList({"footerReference", "headerReference", "pgSz"}));
        EXPECT_EQ(childElementNS(sp, "headerReference", kNsW).attributeNS(kNsR, "id")
                      + childElementNS(sp, "footerReference", kNsW).attributeNS(kNsW, "type"), "rId8even");
        Handle back = openFile(out);
        ASSERT_TRUE(back);
        EXPECT_EQ(partOf(back.get(), LXDOCX_HF_DEFAULT), two);
        EXPECT_EQ(partOf(back.get(), LXDOCX_HF_EVEN, false), foot);
        EXPECT_TRUE(partOf(back.get(), LXDOCX_HF_DEFAULT, false).isEmpty() && partOf(back.get(), LXDOCX_HF_FIRST).isEmpty());
    }
}

TEST(HeadersFooters, TakenNamesDanglingReferencesAndUnusualRelationshipParts)
{
    QTemporaryDir dir;
    // word/header1.xml is there but unused; the default reference names a relationship that is gone.
    const QByteArray src = documentXml("<w:sectPr><w:headerReference w:type=\"default\" r:id=\"rId5\"/>"
                                       "<w:headerReference w:type=\"first\" r:id=\"rId2\"/></w:sectPr>");
    const QByteArray unused = part("hdr", "unused"), firstPart = part("hdr", "first"), fresh = part("hdr", "fresh");
    Handle h = openPackage(dir.filePath("a.docx"), makePackage(src, {{kRels.toUtf8(), relsPart(rel("rId2", kHeaderType, "header3.xml"))},
                                                                     {"word/header1.xml", unused}, {"word/header3.xml", firstPart}}));
    ASSERT_TRUE(h);
    EXPECT_TRUE(partOf(h.get(), LXDOCX_HF_DEFAULT).isEmpty());
    EXPECT_EQ(partOf(h.get(), LXDOCX_HF_FIRST), firstPart);
    ASSERT_EQ(lxDocx_set_header_xml(h.get(), LXDOCX_HF_DEFAULT, fresh.constData(), -1), 1);
    EXPECT_EQ(h->doc->entries.value("word/header2.xml") + h->doc->entries.value("word/header1.xml"), fresh + unused);
    const QDomElement sp = h->doc->lastSection();
    EXPECT_EQ(childNames(sp), QStringList({"headerReference", "headerReference"}));
    EXPECT_EQ(childElementNS(sp, "headerReference", kNsW).attributeNS(kNsR, "id"), "rId3");
    EXPECT_EQ(partOf(h.get(), LXDOCX_HF_DEFAULT), fresh);
    ASSERT_EQ(lxDocx_set_header_xml(h.get(), LXDOCX_HF_FIRST, fresh.constData(), -1), 1);
    EXPECT_EQ(h->doc->entries.value("word/header3.xml"), fresh);  // replaced in place
    EXPECT_EQ(relations(h->doc->entries.value(kRels)).size(), 2);
    // A relationships part replaced between calls is read again.
    h->doc->entries.insert(kRels, relsPart(rel("rId40", "t", "x.xml")));
    ASSERT_EQ(lxDocx_set_footer_xml(h.get(), LXDOCX_HF_DEFAULT, fresh.constData(), -1), 1);
    EXPECT_EQ(relations(h->doc->entries.value(kRels)).value(1), "rId41 footer footer1.xml");

    // A prefixed root cannot take a spliced element: the part is edited as a tree.
    const QByteArray prefixed = "<p:Relationships xmlns:p=\"" + QByteArray(kNsPackageRels)
        + "\"><p:Relationship Id=\"rId4\" Type=\"t\" Target=\"x.xml\"/></p:Relationships>";
    h = openPackage(dir.filePath("b.docx"), makePackage(documentXml("<w:sectPr/>"), {{kRels.toUtf8(), prefixed}}));
    ASSERT_EQ(lxDocx_set_footer_xml(h.get(), LXDOCX_HF_DEFAULT, fresh.constData(), -1), 1);
    EXPECT_EQ(relations(h->doc->entries.value(kRels)), QStringList({"rId4 t x.xml", "rId5 footer footer1.xml"}));
    EXPECT_EQ(partOf(h.get(), LXDOCX_HF_DEFAULT, false), fresh);
}

TEST(HeadersFooters, NewRelationshipIdAfterTheLargestPossibleOne)
{
    // The next number after the largest one there is must not overflow into a
    // negative id.
    QTemporaryDir dir;
    Handle h = openPackage(dir.filePath("a.docx"), makePackage(documentXml("<w:sectPr/>"),
                                                               {{kRels.toUtf8(), relsPart(rel("rId9223372036854775807", "t", "x.xml"))}}));
    ASSERT_TRUE(h);
    ASSERT_EQ(lxDocx_set_footer_xml(h.get(), LXDOCX_HF_DEFAULT, part("ftr").constData(), -1), 1);
    const QStringList got = relations(h->doc->entries.value(kRels));
    ASSERT_EQ(got.size(), 2);
    EXPECT_TRUE(QRegularExpression("^rId\\d+ footer footer1.xml$").match(got[1]).hasMatch()) << got[1].toStdString();
    EXPECT_NE(got[0].section(' ', 0, 0), got[1].section(' ', 0, 0));
}

TEST(HeadersFooters, RefusedAndFailedWritesChangeNothing)
{
    QTemporaryDir dir;
    const QByteArray src = documentXml("<w:sectPr/>"), good = part("hdr");
    Handle h = openPackage(dir.filePath("a.docx"), makePackage(src));
    ASSERT_TRUE(h);
    const DocxEntryMap before = h->doc->entries;
    for (const char *bad : {"<w:hdr><w:p></w:hdr>", "", "<a/><b/>", "not xml", "<!DOCTYPE x><x/>"}) {
        EXPECT_EQ(lxDocx_set_header_xml(h.get(), LXDOCX_HF_DEFAULT, bad, -1), 0) << bad;
        EXPECT_EQ(lxDocx_set_footer_xml(h.get(), LXDOCX_HF_FIRST, bad, int(std::strlen(bad))), 0) << bad;
    }
    EXPECT_EQ(lxDocx_set_header_xml(h.get(), 0, good.constData(), 0) + lxDocx_set_header_xml(h.get(), 0, nullptr, -1)
                  + lxDocx_set_footer_xml(nullptr, 0, good.constData(), -1), 0);
    EXPECT_EQ(h->doc->entries, before);
    EXPECT_TRUE(childNames(h->doc->lastSection()).isEmpty());
    int len = 9;
    EXPECT_EQ(lxDocx_get_header_xml(nullptr, 0, &len), nullptr);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(lxDocx_get_footer_xml(nullptr, 0, nullptr), lxDocx_get_footer_xml(h.get(), 0, nullptr));  // both null

    for (int n = 1; n <= 99; ++n)  // every name taken
        h->doc->entries.insert(QStringLiteral("word/header%1.xml").arg(n), good);
    const DocxEntryMap full = h->doc->entries;
    EXPECT_FALSE(h->doc->setHeaderPart(HFFirst, good));
    EXPECT_EQ(h->doc->entries, full);
    EXPECT_TRUE(childNames(h->doc->lastSection()).isEmpty());

    // A negative length reads up to the NUL; a positive one takes that many bytes.
    const QByteArray withTail = good + QByteArray("\0<junk", 6), longer = good + "<tail/>";
    ASSERT_EQ(lxDocx_set_footer_xml(h.get(), LXDOCX_HF_FIRST, withTail.constData(), -1), 1);
    EXPECT_EQ(partOf(h.get(), LXDOCX_HF_FIRST, false), good);
    ASSERT_EQ(lxDocx_set_footer_xml(h.get(), LXDOCX_HF_FIRST, longer.constData(), int(good.size())), 1);
    EXPECT_EQ(partOf(h.get(), LXDOCX_HF_FIRST, false), good);

    // Relationships that do not parse: refused, nothing added. Content types
    // that do not parse are left alone; the part is still stored.
    h = openPackage(dir.filePath("b.docx"), makePackage(src, {{kRels.toUtf8(), relsPart("<Relationship")}}));
    const DocxEntryMap b = h->doc->entries;
    EXPECT_EQ(lxDocx_set_header_xml(h.get(), 0, good.constData(), -1), 0);
    EXPECT_EQ(h->doc->entries, b);
    EXPECT_TRUE(childNames(h->doc->lastSection()).isEmpty());
    h->doc->entries.insert(kRels, relsPart({}));
    h->doc->entries.insert(kTypes, "<Types><Default></Types>");
    ASSERT_EQ(lxDocx_set_header_xml(h.get(), 0, good.constData(), -1), 1);
    EXPECT_EQ(h->doc->entries.value(kTypes), "<Types><Default></Types>");
    EXPECT_EQ(partOf(h.get(), 0), good);

    // No section: part, relationship and content type are added, no reference.
    const QByteArray noSection = documentXml("<w:p/>");
    h = openPackage(dir.filePath("c.docx"), makePackage(noSection));
    ASSERT_EQ(lxDocx_set_header_xml(h.get(), 0, good.constData(), -1), 1);
    EXPECT_EQ(h->doc->entries.value("word/header1.xml"), good);
    EXPECT_EQ(relations(h->doc->entries.value(kRels)), QStringList("rId1 header header1.xml"));
    EXPECT_TRUE(overrides(h->doc->entries.value(kTypes)).contains("/word/header1.xml header+xml"));
    ASSERT_TRUE(saveAs(h.get(), dir.filePath("c2.docx")));
    EXPECT_EQ(readEntries(dir.filePath("c2.docx")).value("word/document.xml"), noSection);
}

TEST(HeadersFooters, PageNumberFootersByFormat)
{
    QTemporaryDir dir;
    Handle h = createBlank(dir.filePath("blank.docx"));
    ASSERT_TRUE(h);
    const std::pair<const char *, const char *> cases[] = {
        {"upperRoman", " PAGE \\* ROMAN "}, {"lowerRoman", " PAGE \\* lowerRoman "}, {"decimal", " PAGE "}, {"", " PAGE "}};
    for (const auto &[format, instruction] : cases) {
        ASSERT_TRUE(h->doc->setPageNumberFooter(HFFirst, format));
        const QByteArray footer = h->doc->footerPart(HFFirst);
        EXPECT_EQ(runs(footer), field(instruction)) << format;
        EXPECT_EQ(parsed(footer).documentElement().localName() + jc(footer), "ftrcenter");
    }
    EXPECT_TRUE(h->doc->entries.contains("word/footer1.xml") && !h->doc->entries.contains("word/footer2.xml"));
}

TEST(HeadersFooters, PythonDocxSeesTheBuiltPartsByKind)
{
    QTemporaryDir dir;
    Handle h = createBlank(dir.filePath("blank.docx"));
    ASSERT_TRUE(h);
    EXPECT_EQ(lxDocx_set_header_xml(h.get(), LXDOCX_HF_DEFAULT, built(true, "Page {PAGE}", "center").constData(), -1), 1);
    EXPECT_EQ(lxDocx_set_header_xml(h.get(), LXDOCX_HF_FIRST, built(true, "First {PAGE}", "left").constData(), -1), 1);
    EXPECT_EQ(lxDocx_set_footer_xml(h.get(), LXDOCX_HF_EVEN, built(false, "{NUMPAGES} pages", "right").constData(), -1), 1);
    EXPECT_EQ(lxDocx_set_title_page(h.get(), 1), 1);
    const QString out = dir.filePath("out.docx");
    ASSERT_TRUE(saveAs(h.get(), out));
    const QJsonObject doc = pythonRead({out}).value(out).toObject();
    const QJsonArray sections = doc.value("sections").toArray();
    ASSERT_EQ(sections.size(), 1) << QJsonDocument(doc).toJson().toStdString();
    const QJsonObject s = sections[0].toObject();
    auto seen = [&](const char *kind) {
        const QJsonObject o = s.value(kind).toObject();
        return o.value("linked").toBool() ? QStringList("(linked)") : o.value("text").toVariant().toStringList();
    };
    EXPECT_EQ(seen("default_header"), QStringList("Page 1"));
    EXPECT_EQ(seen("first_header"), QStringList("First 1"));
    EXPECT_EQ(seen("even_footer"), QStringList("1 pages"));
    for (const char *kind : {"even_header", "default_footer", "first_footer"})
        EXPECT_EQ(seen(kind), QStringList("(linked)")) << kind;
    EXPECT_TRUE(s.value("title_page").toBool());
}

TEST(HeadersFooters, CliStoresPrintsAndRefuses)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("f.docx"), out = dir.filePath("out.docx"), xml = dir.filePath("part.xml");
    ASSERT_TRUE(createBlank(file));
    const DocxEntryMap before = readEntries(file);
    QString o, e;
    ASSERT_EQ(cli({"header", file, "--text", "Page {PAGE} of {NUMPAGES}", "--align", "center", "-o", out}, &o, &e), 0)
        << e.toStdString();
    EXPECT_EQ(readEntries(file), before);
    ASSERT_EQ(cli({"header", out}, &o, &e), 0) << e.toStdString();
    EXPECT_EQ(runs(o.trimmed().toUtf8()), QStringList("t:Page |keep") + field(" PAGE ") + QStringList("t: of |keep") + field(" NUMPAGES "));
    EXPECT_EQ(cli({"footer", out, "--kind", "first"}, &o, &e), 1);
    EXPECT_TRUE(e.contains("no first footer")) << e.toStdString();
    ASSERT_TRUE(writeFile(xml, "<w:ftr><w:p></w:ftr>"));
    EXPECT_EQ(cli({"footer", file, "--xml", xml}, &o, &e), 1);
    EXPECT_EQ(cli({"header", file, "--kind", "odd"}, &o, &e), 2);
    EXPECT_EQ(cli({"header", file, "--text", "x", "--xml", xml}, &o, &e), 2);
    EXPECT_EQ(readEntries(file), before);
    const QByteArray even = part("ftr", "even");
    ASSERT_TRUE(writeFile(xml, even));
    ASSERT_EQ(cli({"footer", file, "--kind", "even", "--xml", xml}, &o, &e), 0) << e.toStdString();
    EXPECT_EQ(partOf(openFile(file).get(), LXDOCX_HF_EVEN, false), even);
}
