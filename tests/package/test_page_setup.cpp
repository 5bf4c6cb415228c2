// Page setup of the last section and core properties through the C interface, python-docx's
// reading of them, every corpus document, null arguments and on/off values.
#include "EditTestSupport.h"

#include "DocxReader.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <climits>

using namespace edit_support;

namespace {
const char *const kKeys[] = {"title", "author", "subject", "keywords", "category", "description"};
const QString kSettings = QStringLiteral("word/settings.xml");
QByteArray settingsPart(const QByteArray &xml) { return "<w:settings xmlns:w=\"" + QByteArray(kNsW) + "\">" + xml + "</w:settings>"; }
QString settingsNames(DocxHandle *h) { return childNames(parsed(h->doc->package().entries().value(kSettings)).documentElement()); }
}  // namespace

TEST(PageSetup, SectionAndSettingsEditsGoInSchemaOrderOnBothPaths)
{
    QTemporaryDir dir;
    const QByteArray sect = "<w:sectPr w:rsidR=\"00A1\"><w:pgSz w:w=\"11906\"/><w:cols/><w:docGrid/><w:sectPrChange "
                            "w:id=\"3\"><w:sectPr><w:pgSz w:w=\"1\"/></w:sectPr></w:sectPrChange></w:sectPr>";
    const QByteArray src = documentXml("<w:p><w:r><w:t xml:space='preserve'> caf\xC3\xA9 &amp; </w:t></w:r></w:p>\r\n " + sect);
    const QByteArray settings = settingsPart("\r\n <w:zoom/><w:defaultTabStop/><w:compat/>");
    const qsizetype at = src.indexOf(sect);
    for (bool tree : {false, true}) {
        SCOPED_TRACE(tree ? "body tree" : "section alone");
        Handle h = openPackage(dir.filePath("in.docx"), makePackage(src, {{"word/settings.xml", settings}}));
        ASSERT_TRUE(h);
        if (tree)
            h->doc->body().dom();
        EXPECT_TRUE(lxDocx_set_even_and_odd(h.get(), 0) && h->doc->package().entries().value(kSettings) == settings);  // nothing written
        for (int round = 0; round < 2; ++round)  // the second round finds everything in place
            EXPECT_EQ(lxDocx_set_margins(h.get(), 1000, 1100, 1200, 1300, 400, 500, 60, 1) + lxDocx_set_title_page(h.get(), 1)
                          + lxDocx_set_page_number_format(h.get(), "lowerRoman", 3) + lxDocx_set_even_and_odd(h.get(), 1), 4);
        EXPECT_EQ(margins(h.get()), (Ints{1000, 1100, 1200, 1300, 400, 500, 60, 1}));
        EXPECT_EQ(lxDocx_get_title_page(h.get()) + lxDocx_get_even_and_odd(h.get()), 2);
        EXPECT_EQ(settingsNames(h.get()), "zoom mirrorMargins defaultTabStop evenAndOddHeaders compat");
        ASSERT_TRUE(lxDocx_save_as(h.get(), dir.filePath("out.docx").toUtf8().constData()));
        const QByteArray saved = readEntries(dir.filePath("out.docx")).value("word/document.xml");
        // Everything outside the section keeps its bytes.
        EXPECT_TRUE(tree || (saved.startsWith(src.left(at)) && saved.endsWith(src.mid(at + sect.size()))));
        const QDomDocument dom = parsed(saved);
        const QDomElement sp = lastSectPr(dom), pg = wChild(sp, "pgNumType");
        EXPECT_EQ(childNames(sp), "mirrorMargins pgSz pgMar pgNumType cols titlePg docGrid sectPrChange");
        EXPECT_EQ(pg.attributeNS(kNsW, "fmt") + pg.attributeNS(kNsW, "start") + sp.attributeNS(kNsW, "rsidR"), "lowerRoman300A1");
        EXPECT_EQ(childNames(firstDescendantNS(sp, kNsW, "sectPrChange").firstChildElement()), "pgSz");  // not the section
        // A first page number of 0 is a number like any other.
        EXPECT_EQ(lxDocx_set_page_number_format(h.get(), "decimal", 0), 1);
        EXPECT_EQ(wChild(h->doc->body().lastSection(), "pgNumType").attributeNS(kNsW, "start"), "0");
        // Switched off again; extreme margins are written as given; negative top and bottom ones read as written,
        // the other negative ones as the defaults.
        EXPECT_EQ(lxDocx_set_margins(h.get(), INT_MIN, INT_MAX, -1, 0, INT_MIN, 709, -5, 0) + lxDocx_set_title_page(h.get(), 0)
                      + lxDocx_set_page_number_format(h.get(), "upperRoman", -1) + lxDocx_set_even_and_odd(h.get(), 0), 4);
        const QDomElement now = h->doc->body().lastSection(), pgMar = wChild(now, "pgMar");
        EXPECT_EQ(childNames(now) + (wChild(now, "pgNumType").hasAttributeNS(kNsW, "start") ? " start" : "")
                      + pgMar.attributeNS(kNsW, "top") + pgMar.attributeNS(kNsW, "gutter"),
                  "pgSz pgMar pgNumType cols docGrid sectPrChange-2147483648-5");
        EXPECT_EQ(margins(h.get()), (Ints{INT_MIN, INT_MAX, 1440, 0, 709, 709, 0, 0}));
        EXPECT_EQ(settingsNames(h.get()), "zoom defaultTabStop compat");
    }
}

TEST(PageSetup, PythonDocxReadsMarginsPropertiesAndHeaderBack)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("out.docx");
    // Two sections; only the last one is edited.
    Handle h = openPackage(dir.filePath("in.docx"), makePackage(documentXml("<w:p><w:pPr><w:sectPr><w:pgMar w:top=\"720\" "
        "w:bottom=\"720\" w:left=\"720\" w:right=\"720\" w:header=\"360\" w:footer=\"360\" w:gutter=\"0\"/></w:sectPr>"
        "</w:pPr></w:p><w:sectPr/>")));
    ASSERT_TRUE(h);
    int set = lxDocx_set_margins(h.get(), 1701, 1134, 2268, 851, 567, 425, 283, 0);
    for (const char *key : kKeys)
        set += lxDocx_set_doc_property(h.get(), key, (QByteArray(key) + " \xC3\xA9").constData());
    set += lxDocx_set_header_xml(h.get(), LXDOCX_HF_DEFAULT, lxDocx_build_hf_xml(1, "Page {PAGE}", "center", nullptr), -1);
    ASSERT_EQ(set, 8);
    ASSERT_TRUE(lxDocx_save_as(h.get(), out.toUtf8().constData()));
    QString json, err;
    ASSERT_EQ(run(systemPython(), {toolScript("docx_sections.py"), out}, &json, &err), 0) << err.toStdString();
    // Lengths in EMU, 635 to the twip.
    EXPECT_EQ(QJsonDocument(QJsonDocument::fromJson(json.toUtf8()).object().value(out).toObject()).toJson(QJsonDocument::Compact),
              QByteArray(R"({"core":["title é","author é","subject é","keywords é","category é","description é"],)"
                         R"("sections":[{"footer":null,"header":null,"lengths":[457200,457200,457200,457200,228600,228600,0],)"
                         R"("title_page":false},{"footer":null,"header":["Page 1"],)"
                         R"("lengths":[1080135,720090,1440180,540385,360045,269875,179705],"title_page":false}]})"));
}

TEST(PageSetupCorpus, EveryDocumentReadsAndTakesEdits)
{
    LXDOCX_NEEDS_CORPUS();
    QTemporaryDir dir;
    const QByteArray footer = lxDocx_build_hf_xml(0, "Page {PAGE} of {NUMPAGES}", "center", nullptr);
    // Margins, title page, even/odd, header and footer of each kind (the default footer at 11), properties (title at 16).
    auto reads = [](DocxHandle *h) {
        QByteArrayList out;
        for (int v : margins(h))
            out << QByteArray::number(v);
        out << QByteArray::number(lxDocx_get_title_page(h)) << QByteArray::number(lxDocx_get_even_and_odd(h));
        for (int kind = 0; kind < 3; ++kind)
            out << lxDocx_get_header_xml(h, kind, nullptr) << lxDocx_get_footer_xml(h, kind, nullptr);
        for (const char *key : kKeys)
            out << lxDocx_get_doc_property(h, key);
        return out;
    };
    QStringList checked;  // source, output, source, output ...
    int sectionsAdded = 0;
    for (const QString &file : corpusFiles()) {
        SCOPED_TRACE(file.toStdString());
        Handle h = openPackage(file);
        if (!h)
            continue;  // what fails to open is the corpus test's business
        QByteArrayList expected = reads(h.get());
        // A body without a section gets one, as its last child; one in strict markup refuses the edits.
        const DocxDocument &view = *h->doc;
        const bool hasBody = !firstDescendantNS(view.body().dom(), kNsW, "body").isNull() && !view.body().isStrict(),
                   added = hasBody && view.body().lastSection().isNull();
        sectionsAdded += added;
        EXPECT_EQ(lxDocx_set_margins(h.get(), 1000, 1001, 1002, 1003, 500, 501, 12, 0), int(hasBody));
        const int propSet = lxDocx_set_doc_property(h.get(), "title", "Corpus title");
        QString err;  // only a core-properties part that does not parse refuses a property
        EXPECT_EQ(propSet == 1, checkXml(h->doc->package().entries().value("docProps/core.xml"), err)) << err.toStdString();
        EXPECT_EQ(lxDocx_set_footer_xml(h.get(), LXDOCX_HF_DEFAULT, footer.constData(), -1), int(hasBody));
        checked << file << dir.filePath(QString::number(checked.size()) + ".docx");
        ASSERT_TRUE(lxDocx_save_as(h.get(), checked.last().toUtf8().constData()));
        if (hasBody)
            expected = QByteArrayList{"1000", "1001", "1002", "1003", "500", "501", "12", "0"} + expected.mid(8, 3)
                + QByteArrayList{footer} + expected.mid(12);
        if (propSet)
            expected[16] = "Corpus title";
        Handle back = openPackage(checked.last());
        ASSERT_TRUE(back);
        const QDomElement sp = lastSectPr(static_cast<const DocxDocument &>(*back->doc).body().dom());  // read on the tree
        EXPECT_EQ(reads(back.get()), expected);
        EXPECT_TRUE(!added || (childNames(sp) == "footerReference pgMar" && sp.parentNode().localName() == "body"
                               && sp.nextSiblingElement().isNull())) << childNames(sp).toStdString();
    }
    EXPECT_EQ(sectionsAdded, 4);
    QString report;  // one run of the checker: an output fails only as its source does
    run(systemPython(), QStringList{toolScript("check_docx.py")} + checked, &report);
    ASSERT_TRUE(report.contains(QStringLiteral("checked %1, failed").arg(checked.size()))) << report.toStdString();
    int unreadable = 0;
    for (int i = 0; i < checked.size(); i += 2) {
        const bool bad = report.contains("FAIL " + checked[i] + ":");
        unreadable += bad;
        EXPECT_EQ(report.contains("FAIL " + checked[i + 1] + ":"), bad) << checked[i].toStdString();
    }
    EXPECT_LE(unreadable * 10, checked.size() / 2);
}

TEST(PageSetup, OnOffSpellingsAndUnreadableValuesAreReadAndNeverOverwritten)
{
    QTemporaryDir dir;
    // Off in every spelling, in the section and in the settings part.
    Handle h = openPackage(dir.filePath("a.docx"), makePackage(documentXml("<w:sectPr><w:pgMar w:top=\"1\"/>"
        "<w:mirrorMargins w:val=\"false\"/><w:titlePg w:val=\"0\"/></w:sectPr>"),
        {{"word/settings.xml", settingsPart("<w:mirrorMargins w:val=\"off\"/><w:evenAndOddHeaders w:val=\"0\"/>")}}));
    ASSERT_TRUE(h);
    auto switches = [](DocxHandle *handle) {
        return Ints{margins(handle)[7], lxDocx_get_title_page(handle), lxDocx_get_even_and_odd(handle),
                    int(DocxReader::readMarginsPx(*handle->doc).mirror)};
    };
    EXPECT_EQ(switches(h.get()), Ints(4, 0));
    // Switched on, the values that said off go.
    ASSERT_EQ(lxDocx_set_margins(h.get(), 1, 1, 1, 1, 1, 1, 1, 1) + lxDocx_set_title_page(h.get(), 1)
                  + lxDocx_set_even_and_odd(h.get(), 1), 3);
    EXPECT_EQ(switches(h.get()), Ints(4, 1));
    EXPECT_FALSE(h->doc->package().entries().value(kSettings).contains("w:val"));
    const QString out = dir.filePath("on.docx");
    ASSERT_TRUE(lxDocx_save_as(h.get(), out.toUtf8().constData()));
    EXPECT_FALSE(readEntries(out).value("word/document.xml").contains("w:val=\"")) << "no value left in the section";
    EXPECT_EQ(switches(openPackage(out).get()), Ints(4, 1));
    // Unreadable values read as the defaults, a negative bottom as written; parts that do not parse are never overwritten.
    h = openPackage(dir.filePath("b.docx"), makePackage(documentXml("<w:sectPr><w:pgMar w:top=\"abc\" w:bottom=\"-20\" "
        "w:left=\"99999999999\" w:right=\"12.5\" w:footer=\"300\" w:gutter=\"7\"/></w:sectPr>"),
        {{"word/settings.xml", settingsPart("<w:mirrorMargins/>")}}));
    ASSERT_TRUE(h);
    DocxEntryMap &e = h->doc->package().entries();
    EXPECT_EQ(margins(h.get()), (Ints{1440, -20, 1440, 1440, 709, 300, 7, 1}));  // mirrored by the settings
    e.insert(kSettings, "<w:settings><w:zoom>");
    EXPECT_EQ(lxDocx_set_even_and_odd(h.get(), 1) + lxDocx_get_even_and_odd(h.get()), 0);
    EXPECT_EQ(lxDocx_set_margins(h.get(), 1, 1, 1, 1, 1, 1, 1, 1), 1);
    EXPECT_EQ(margins(h.get())[7], 1);  // from the section
    EXPECT_EQ(e.value(kSettings), "<w:settings><w:zoom>");
    // A new core-properties part (its values trimmed) is made even when the registry and relationships do not
    // parse; those stay as they are.
    e.insert(kTypes, "<Types><Default></Types>");
    e.insert("_rels/.rels", "<Relationships><x></Relationships>");
    ASSERT_EQ(lxDocx_set_doc_property(h.get(), "author", " Ada \n") + lxDocx_set_doc_property(h.get(), "keywords", "kw"), 2);
    EXPECT_EQ(QByteArray(lxDocx_get_doc_property(h.get(), "author")) + "|" + lxDocx_get_doc_property(h.get(), "keywords"), "Ada|kw");
    EXPECT_EQ(e.value(kTypes) + e.value("_rels/.rels"), "<Types><Default></Types><Relationships><x></Relationships>");
    // The corpus document that says w:val="0" reads off, and the command line turns it on.
    LXDOCX_NEEDS_CORPUS();
    const QString bom = corpusDir() + "/test_test-data_utf8-bom.docx", edited = dir.filePath("bom.docx");
    EXPECT_EQ(lxDocx_get_even_and_odd(openPackage(bom).get()), 0);
    ASSERT_EQ(run(QStringLiteral(LXDOCX_CLI), {"page", bom, "--even-odd", "on", "-o", edited}, nullptr, nullptr, 60000), 0);
    EXPECT_EQ(lxDocx_get_even_and_odd(openPackage(edited).get()), 1);
}
