// Page setup of the last section through the C interface, edited on the
// section's own small tree and on the body tree; python-docx's reading of it,
// every corpus document, and `lxdocx page`.
#include "DocxDocument.h"
#include "EditTestSupport.h"

#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QRegularExpression>

#include <algorithm>
#include <climits>
#include <cstring>

using namespace testing_support;
using namespace edit_support;
using Ints = std::vector<int>;

namespace {

const QByteArray kSection = "<w:sectPr w:rsidR=\"00A1\"><w:pgSz w:w=\"11906\" w:h=\"16838\"/><w:cols w:space=\"708\"/>"
                            "<w:docGrid w:linePitch=\"360\"/><w:sectPrChange w:id=\"3\"><w:sectPr><w:pgSz w:w=\"1\"/>"
                            "</w:sectPr></w:sectPrChange></w:sectPr>";
const QString kSettings = QStringLiteral("word/settings.xml");
const QByteArray kSettingsChildren = "\r\n  <w:zoom w:percent=\"100\"/>\r\n  <w:defaultTabStop w:val=\"708\"/>\r\n"
                                     "  <w:characterSpacingControl w:val=\"doNotCompress\"/>\r\n  <w:compat/>\r\n";

QByteArray settingsPart(const QByteArray &children)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<w:settings xmlns:w=\"" + QByteArray(kNsW)
        + "\">" + children + "</w:settings>";
}

// A package whose settings part is related and typed, as other readers look it up.
QByteArray packageWithSettings(const QByteArray &document, const QByteArray &settings)
{
    auto rels = [](const char *type, const char *target) {
        return "<Relationships xmlns=\"" + QByteArray(kNsPackageRels) + "\"><Relationship Id=\"rId1\" Type=\"http://"
            "schemas.openxmlformats.org/officeDocument/2006/relationships/" + type + "\" Target=\"" + target + "\"/></Relationships>";
    };
    const QByteArray ct = "application/vnd.openxmlformats-officedocument.wordprocessingml.";
    return makeZip({{"[Content_Types].xml", "<Types xmlns=\"" + QByteArray(kNsContentTypes) + "\"><Default Extension=\"rels\" "
                     "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/><Override PartName=\""
                     "/word/document.xml\" ContentType=\"" + ct + "document.main+xml\"/><Override PartName=\""
                     "/word/settings.xml\" ContentType=\"" + ct + "settings+xml\"/></Types>"},
                    {"_rels/.rels", rels("officeDocument", "word/document.xml")},
                    {"word/_rels/document.xml.rels", rels("settings", "settings.xml")},
                    {"word/document.xml", document}, {"word/settings.xml", settings}});
}

QStringList pgMarValues(const QDomElement &sectPr)
{
    QStringList out;
    for (const char *a : {"top", "bottom", "left", "right", "header", "footer", "gutter"})
        out << childElementNS(sectPr, "pgMar", kNsW).attributeNS(kNsW, a, "(none)");
    return out;
}

// Saves to `path` and returns the saved document's last section.
QDomElement savedSection(DocxHandle *h, const QString &path)
{
    EXPECT_TRUE(saveAs(h, path));
    static QDomDocument keep;  // the element needs its document alive
    keep = parsed(readEntries(path).value("word/document.xml"));
    return lastSectPr(keep);
}

}  // namespace

TEST(PageSetup, SectionEditsGoInSchemaOrderOnBothPaths)
{
    QTemporaryDir dir;
    const QByteArray src = documentXml("<w:p><w:r><w:t xml:space='preserve'> caf\xC3\xA9 &amp; \xF0\x9D\x84\x9E </w:t>"
                                       "</w:r></w:p>\r\n  " + kSection);
    const qsizetype at = src.indexOf(kSection);
    for (bool tree : {false, true}) {
        SCOPED_TRACE(tree ? "body tree" : "section alone");
        Handle h = openPackage(dir.filePath("in.docx"), makePackage(src));
        ASSERT_TRUE(h);
        if (tree)
            h->doc->dom();
        ASSERT_EQ(lxDocx_set_header_xml(h.get(), LXDOCX_HF_DEFAULT, lxDocx_build_hf_xml(1, "{PAGE}", "right", nullptr), -1), 1);
        for (int round = 0; round < 2; ++round) {  // the second round finds everything in place
            EXPECT_EQ(lxDocx_set_margins(h.get(), 1000, 1100, 1200, 1300, 400, 500, 60, 1), 1);
            EXPECT_EQ(lxDocx_set_title_page(h.get(), 1) + lxDocx_set_page_number_format(h.get(), "lowerRoman", 3), 2);
        }
        EXPECT_EQ(margins(h.get()), (Ints{1000, 1100, 1200, 1300, 400, 500, 60, 1}));
        EXPECT_EQ(lxDocx_get_title_page(h.get()), 1);
        const QString out = dir.filePath("out.docx");
        QDomElement sp = savedSection(h.get(), out);
        const QByteArray saved = readEntries(out).value("word/document.xml");
        if (!tree) {  // everything outside the section keeps its bytes
            EXPECT_TRUE(saved.startsWith(src.left(at)) && saved.endsWith(src.mid(at + kSection.size())))
                << saved.toStdString();
        }
        EXPECT_EQ(childNames(sp), QStringList({"mirrorMargins", "headerReference", "pgSz", "pgMar", "pgNumType", "cols",
                                               "titlePg", "docGrid", "sectPrChange"}));
        EXPECT_EQ(pgMarValues(sp), QStringList({"1000", "1100", "1200", "1300", "400", "500", "60"}));
        const QDomElement pg = childElementNS(sp, "pgNumType", kNsW);
        EXPECT_EQ(pg.attributeNS(kNsW, "fmt") + pg.attributeNS(kNsW, "start") + sp.attributeNS(kNsW, "rsidR"),
                  "lowerRoman300A1");
        // The section kept inside the tracked change is not a section.
        EXPECT_EQ(childNames(childElementNS(childElementNS(sp, "sectPrChange", kNsW), "sectPr", kNsW)), QStringList({"pgSz"}));

        EXPECT_EQ(lxDocx_set_margins(h.get(), 1000, 1100, 1200, 1300, 400, 500, 60, 0), 1);
        EXPECT_EQ(lxDocx_set_title_page(h.get(), 0) + lxDocx_set_page_number_format(h.get(), "upperRoman", -1), 2);
        sp = savedSection(h.get(), out);
        EXPECT_EQ(childNames(sp), QStringList({"headerReference", "pgSz", "pgMar", "pgNumType", "cols", "docGrid", "sectPrChange"}));
        EXPECT_EQ(childElementNS(sp, "pgNumType", kNsW).attributeNS(kNsW, "fmt"), "upperRoman");
        EXPECT_FALSE(childElementNS(sp, "pgNumType", kNsW).hasAttributeNS(kNsW, "start"));
        EXPECT_EQ(lxDocx_get_title_page(h.get()) + margins(h.get())[7], 0);
    }
}

TEST(PageSetup, DefaultsExtremesAndDocumentsWithoutASection)
{
    QTemporaryDir dir;
    Handle h = createBlank(dir.filePath("blank.docx"));
    ASSERT_TRUE(h);
    EXPECT_EQ(margins(h.get()), (Ints{1440, 1440, 1440, 1440, 709, 709, 0, 0}));
    EXPECT_EQ(lxDocx_get_margins(h.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1);
    // Written as given; negative values read as the defaults.
    EXPECT_EQ(lxDocx_set_margins(h.get(), INT_MIN, INT_MAX, -1, 0, INT_MIN, 709, -5, 1), 1);
    const Ints expected = {1440, INT_MAX, 1440, 0, 709, 709, 0, 1};
    EXPECT_EQ(margins(h.get()), expected);
    const QString out = dir.filePath("extreme.docx");
    EXPECT_EQ(pgMarValues(savedSection(h.get(), out)),
              QStringList({"-2147483648", "2147483647", "-1", "0", "-2147483648", "709", "-5"}));
    EXPECT_EQ(lxDocx_set_even_and_odd(h.get(), 1), 0);  // no settings part, and none is made
    EXPECT_FALSE(h->doc->entries.contains(kSettings) || readEntries(out).contains(kSettings));
    Handle back = openFile(out);
    EXPECT_EQ(margins(back.get()), expected);

    // Values that do not convert; mirroring in the settings counts only beside a w:pgMar.
    const QByteArray mirrored = settingsPart("<w:mirrorMargins/>");
    h = openPackage(dir.filePath("odd.docx"), makePackage(documentXml("<w:sectPr><w:pgMar w:top=\"abc\" w:bottom=\"-20\" "
        "w:left=\"99999999999\" w:right=\"12.5\" w:footer=\"300\" w:gutter=\"7\"/></w:sectPr>"), {{"word/settings.xml", mirrored}}));
    EXPECT_EQ(margins(h.get()), (Ints{1440, 1440, 1440, 1440, 709, 300, 7, 1}));
    h = openPackage(dir.filePath("nomar.docx"), makePackage(documentXml("<w:sectPr/>"), {{"word/settings.xml", mirrored}}));
    EXPECT_EQ(margins(h.get())[7], 0);

    // Without a section of the body's own, the last paragraph's section is the one.
    h = openPackage(dir.filePath("para.docx"), makePackage(documentXml(
        "<w:p><w:pPr><w:sectPr><w:pgMar w:top=\"100\"/></w:sectPr></w:pPr></w:p><w:p/>")));
    EXPECT_EQ(margins(h.get())[0], 100);
    EXPECT_EQ(lxDocx_set_title_page(h.get(), 1), 1);
    EXPECT_EQ(childNames(savedSection(h.get(), out)), QStringList({"pgMar", "titlePg"}));
    EXPECT_EQ(savedSection(h.get(), out).parentNode().localName(), "pPr");

    const QByteArray none = documentXml("<w:p><w:r><w:t>no section</w:t></w:r></w:p>");
    h = openPackage(dir.filePath("none.docx"), makePackage(none));
    EXPECT_EQ(lxDocx_set_margins(h.get(), 1, 2, 3, 4, 5, 6, 7, 1) + lxDocx_set_title_page(h.get(), 1)
                  + lxDocx_set_page_number_format(h.get(), "decimal", 1) + lxDocx_get_title_page(h.get()), 0);
    EXPECT_EQ(margins(h.get()), (Ints{1440, 1440, 1440, 1440, 709, 709, 0, 0}));
    ASSERT_TRUE(saveAs(h.get(), out));
    EXPECT_EQ(readEntries(out).value("word/document.xml"), none);

    EXPECT_EQ(lxDocx_set_page_number_format(back.get(), nullptr, 1), 0);
    int v = -7;
    EXPECT_EQ(lxDocx_get_margins(nullptr, &v, &v, &v, &v, &v, &v, &v, &v) + lxDocx_set_margins(nullptr, 1, 1, 1, 1, 1, 1, 1, 1)
                  + lxDocx_get_title_page(nullptr) + lxDocx_set_title_page(nullptr, 1) + lxDocx_get_even_and_odd(nullptr)
                  + lxDocx_set_even_and_odd(nullptr, 1) + lxDocx_set_page_number_format(nullptr, "decimal", 1),
              0);
    EXPECT_EQ(v, -7);
}

TEST(PageSetup, SettingsSwitchesGoInSchemaOrderAndOnlyChangesAreWritten)
{
    QTemporaryDir dir;
    const QByteArray settings = settingsPart(kSettingsChildren);
    Handle h = openPackage(dir.filePath("s.docx"), makePackage(documentXml("<w:sectPr/>"), {{"word/settings.xml", settings}}));
    ASSERT_TRUE(h);
    auto now = [&] { return h->doc->entries.value(kSettings); };
    auto set = [&](int evenOdd, int mirror) {
        EXPECT_EQ(lxDocx_set_even_and_odd(h.get(), evenOdd) + lxDocx_set_margins(h.get(), 1440, 1440, 1440, 1440, 709, 709, 0, mirror), 2);
        EXPECT_EQ(lxDocx_get_even_and_odd(h.get()), evenOdd);
        return childNames(parsed(now()).documentElement());
    };
    set(0, 0);
    EXPECT_EQ(now(), settings);
    EXPECT_EQ(set(1, 1), QStringList({"zoom", "mirrorMargins", "defaultTabStop", "evenAndOddHeaders",
                                      "characterSpacingControl", "compat"}));
    const QByteArray on = now();
    set(1, 1);
    EXPECT_EQ(now(), on);
    EXPECT_EQ(set(0, 0), QStringList({"zoom", "defaultTabStop", "characterSpacingControl", "compat"}));

    // A settings part that does not parse is read as empty and never written.
    const QByteArray broken = settingsPart("<w:zoom>");
    h = openPackage(dir.filePath("b.docx"), makePackage(documentXml("<w:sectPr/>"), {{"word/settings.xml", broken}}));
    EXPECT_EQ(lxDocx_set_even_and_odd(h.get(), 1) + lxDocx_get_even_and_odd(h.get()), 0);
    EXPECT_EQ(lxDocx_set_margins(h.get(), 1440, 1440, 1440, 1440, 709, 709, 0, 1), 1);
    EXPECT_EQ(margins(h.get())[7], 1);
    ASSERT_TRUE(saveAs(h.get(), dir.filePath("b2.docx")));
    EXPECT_EQ(readEntries(dir.filePath("b2.docx")).value(kSettings), broken);
}

TEST(PageSetup, PythonDocxReadsTheLastSectionBack)
{
    QTemporaryDir dir;
    const QByteArray src = documentXml("<w:p><w:pPr><w:sectPr><w:pgMar w:top=\"720\" w:bottom=\"720\" w:left=\"720\" "
        "w:right=\"720\" w:header=\"360\" w:footer=\"360\" w:gutter=\"0\"/></w:sectPr></w:pPr></w:p><w:p/>"
        "<w:sectPr><w:pgSz w:w=\"11906\" w:h=\"16838\"/><w:cols w:space=\"708\"/></w:sectPr>");
    QStringList outs;
    for (bool tree : {false, true}) {
        Handle h = openPackage(dir.filePath("in.docx"), packageWithSettings(src, settingsPart(kSettingsChildren)));
        ASSERT_TRUE(h);
        if (tree)
            h->doc->dom();
        EXPECT_EQ(lxDocx_set_margins(h.get(), 1701, 1134, 2268, 851, 567, 425, 283, 0), 1);
        EXPECT_EQ(lxDocx_set_title_page(h.get(), 1) + lxDocx_set_even_and_odd(h.get(), 1), 2);
        outs << dir.filePath(tree ? "tree.docx" : "alone.docx");
        ASSERT_TRUE(saveAs(h.get(), outs.last()));
    }
    const QJsonObject read = pythonRead(outs);
    for (const QString &out : outs) {
        const QJsonObject doc = read.value(out).toObject();
        const QJsonArray sections = doc.value("sections").toArray();
        ASSERT_EQ(sections.size(), 2) << QJsonDocument(doc).toJson().toStdString();
        const QJsonObject first = sections[0].toObject(), last = sections[1].toObject();
        const char *keys[] = {"top", "bottom", "left", "right", "header", "footer", "gutter"};
        const int twips[] = {1701, 1134, 2268, 851, 567, 425, 283}, untouched[] = {720, 720, 720, 720, 360, 360, 0};
        for (int i = 0; i < 7; ++i) {
            EXPECT_EQ(last.value(keys[i]).toInteger(-1), twips[i] * 635LL) << keys[i];
            EXPECT_EQ(first.value(keys[i]).toInteger(-1), untouched[i] * 635LL) << keys[i];
        }
        EXPECT_TRUE(last.value("title_page").toBool() && !first.value("title_page").toBool());
        EXPECT_TRUE(doc.value("even_and_odd").toBool());
    }
}

TEST(PageSetupCorpus, EveryDocumentReadsAndTakesEdits)
{
    const QStringList files = corpusFiles();
    ASSERT_FALSE(files.isEmpty());
    QTemporaryDir dir;
    const char *keys[] = {"title", "author", "subject", "description", "keywords", "category"};
    const QByteArray footer(lxDocx_build_hf_xml(0, "Page {PAGE} of {NUMPAGES}", "center", nullptr));
    const Ints set = {1000, 1001, 1002, 1003, 500, 501, 12, 0};
    // Header and footer parts of the three kinds, then the six properties.
    auto reads = [&](DocxHandle *h) {
        QList<QByteArray> out;
        for (int kind = 0; kind < 6; ++kind) {
            int n = -1;
            const char *p = kind < 3 ? lxDocx_get_header_xml(h, kind, &n) : lxDocx_get_footer_xml(h, kind - 3, &n);
            EXPECT_TRUE(p ? n > 0 && p[n] == '\0' : n == 0);
            out << (p ? QByteArray(p, n) : QByteArray());
        }
        for (const char *key : keys)
            out << QByteArray(lxDocx_get_doc_property(h, key));
        return out;
    };
    QStringList checked;  // source, output, source, output ...
    int noSection = 0;
    for (int i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(QFileInfo(files[i]).fileName().toStdString());
        Handle h = openFile(files[i]);
        if (!h)
            continue;  // what fails to open, and how, is the corpus test's business
        const Ints m = margins(h.get());
        EXPECT_TRUE(std::all_of(m.begin(), m.end(), [](int v) { return v >= 0; }));
        const int title = lxDocx_get_title_page(h.get()), evenOdd = lxDocx_get_even_and_odd(h.get());
        QList<QByteArray> before = reads(h.get());

        const bool hasSection = !h->doc->lastSection().isNull();
        noSection += !hasSection;
        EXPECT_EQ(lxDocx_set_margins(h.get(), 1000, 1001, 1002, 1003, 500, 501, 12, 0), hasSection ? 1 : 0);
        const int propSet = lxDocx_set_doc_property(h.get(), "title", "Corpus title");
        QString err;  // only a core-properties part that does not parse refuses a property
        EXPECT_EQ(propSet == 1, checkXml(h->doc->entries.value("docProps/core.xml"), err)) << err.toStdString();
        EXPECT_EQ(lxDocx_set_footer_xml(h.get(), LXDOCX_HF_DEFAULT, footer.constData(), -1), 1);
        const QString out = dir.filePath(QStringLiteral("%1.docx").arg(i));
        ASSERT_TRUE(saveAs(h.get(), out));
        EXPECT_EQ(run(unzipProgram(), {"-tqq", out}, &err), 0) << err.toStdString();
        checked << files[i] << out;

        // The saved package reads back, on the body tree, what was set and what was there.
        Handle back = openFile(out);
        ASSERT_TRUE(back);
        static_cast<const DocxDocument &>(*back->doc).dom();
        EXPECT_EQ(margins(back.get()), hasSection ? set : m);
        EXPECT_EQ(lxDocx_get_title_page(back.get()) * 2 + lxDocx_get_even_and_odd(back.get()), title * 2 + evenOdd);
        if (hasSection)
            before[3] = footer;
        if (propSet)
            before[6] = "Corpus title";
        EXPECT_EQ(reads(back.get()), before);
    }
    ASSERT_FALSE(checked.isEmpty());

    // One run of the checker over sources and outputs: an output may fail only as its source fails.
    QString report, err;
    run(systemPython(), QStringList{toolScript("check_docx.py")} + checked, &report, &err);
    ASSERT_TRUE(report.contains(QStringLiteral("checked %1, failed").arg(checked.size()))) << report.toStdString() << err.toStdString();
    QHash<QString, QString> why;
    for (const QString &line : report.split('\n')) {
        if (line.startsWith("FAIL "))
            why.insert(line.mid(5, line.indexOf(": ", 5) - 5), line.mid(line.indexOf(": ", 5) + 2));
    }
    int unreadable = 0;
    for (int i = 0; i < checked.size(); i += 2) {
        unreadable += why.contains(checked[i]);
        EXPECT_EQ(why.value(checked[i + 1]).toStdString(), why.value(checked[i]).toStdString()) << checked[i].toStdString();
    }
    EXPECT_LE(unreadable * 10, checked.size() / 2);
    std::printf("[ corpus   ] %d of %d opened and edited (%d without a section); python-docx rejects %d sources "
                "and their outputs alike\n", int(checked.size() / 2), int(files.size()), noSection, unreadable);
}

TEST(PageSetup, CliPrintsAndEditsInPlaceOrToAnotherFile)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("f.docx"), out = dir.filePath("out.docx");
    ASSERT_TRUE(createBlank(file));
    const DocxEntryMap before = readEntries(file);
    QString o, e;
    ASSERT_EQ(cli({"page", file}, &o, &e), 0) << e.toStdString();
    EXPECT_TRUE(o.contains(QRegularExpression("top +1440 twips +2\\.54 cm")) && o.contains(QRegularExpression("header +709 twips")))
        << o.toStdString();
    ASSERT_EQ(cli({"page", file, "--top", "2cm", "--gutter", "0.5in", "--mirror", "on", "--title-page", "on",
                   "--page-format", "upperRoman", "--page-start", "4", "-o", out}, &o, &e), 0) << e.toStdString();
    EXPECT_EQ(readEntries(file), before);
    Handle h = openFile(out);
    ASSERT_TRUE(h);
    EXPECT_EQ(margins(h.get()), (Ints{1134, 1440, 1440, 1440, 709, 709, 720, 1}));
    EXPECT_EQ(lxDocx_get_title_page(h.get()), 1);
    const QDomElement pg = childElementNS(h->doc->lastSection(), "pgNumType", kNsW);
    EXPECT_EQ(pg.attributeNS(kNsW, "fmt") + pg.attributeNS(kNsW, "start"), "upperRoman4");

    EXPECT_EQ(cli({"page", file, "--even-odd", "on"}, &o, &e), 1);  // a blank package has no settings part
    EXPECT_EQ(cli({"page", file, "--top", "wide"}, &o, &e), 2);
    EXPECT_EQ(cli({"page", file, "--mirror", "maybe"}, &o, &e), 2);
    EXPECT_EQ(readEntries(file), before);
    ASSERT_EQ(cli({"page", file, "--left", "1.5in"}, &o, &e), 0) << e.toStdString();
    EXPECT_EQ(margins(openFile(file).get()), (Ints{1440, 1440, 2160, 1440, 709, 709, 0, 0}));
}
