// The lxdocx command line: exit status, output, error texts and the edits its commands make.
#include "EditTestSupport.h"

#include <QDir>

using namespace edit_support;

namespace {

// Runs lxdocx; its output and error go to `out` and `err`.
QString out, err;
int lxdocx(const QStringList &args) { return run(QStringLiteral(LXDOCX_CLI), args, &out, &err, 60000); }

}  // namespace

TEST(Cli, InfoNewCopyAndTheirFailures)
{
    QTemporaryDir dir;
    const QString blank = dir.filePath("blank.docx"), copy = dir.filePath("copy.docx"), headed = dir.filePath("h.docx");
    ASSERT_TRUE(writeFile(headed, makePackage(documentXml("<w:p><w:pPr><w:pStyle w:val=\"Heading2\"/></w:pPr><w:r>"
                                                          "<w:t>Scope</w:t></w:r></w:p><w:p/>"))));
    ASSERT_EQ(lxdocx({"new", blank}), 0) << err.toStdString();
    ASSERT_EQ(lxdocx({"info", blank}), 0) << err.toStdString();
    EXPECT_TRUE(out.contains("Valid: yes") && out.contains("Paragraphs: 1") && out.contains("word/document.xml"))
        << out.toStdString();
    ASSERT_EQ(lxdocx({"info", headed}), 0) << err.toStdString();
    EXPECT_TRUE(out.contains("Paragraphs: 2") && out.contains("[2] Scope")) << out.toStdString();
    ASSERT_EQ(lxdocx({"copy", headed, copy}), 0) << err.toStdString();
    EXPECT_EQ(readEntries(copy), readEntries(headed));
    const QString missing = dir.filePath("missing.docx"), noDir = dir.filePath("no/dir/x.docx");
    const QString noSuchDir = ": Cannot write to: " + noDir + ": No such file or directory";
    const std::pair<QStringList, QString> failures[] = {
        {{"info", missing}, "lxdocx: cannot open " + missing + ": Cannot open: " + missing},
        {{"copy", missing, copy}, "lxdocx: cannot open " + missing + ": Cannot open: " + missing},
        {{"copy", blank, noDir}, "lxdocx: cannot save " + noDir + noSuchDir},
        {{"new", noDir}, "lxdocx: cannot create " + noDir + noSuchDir},
        {{"props", blank, "--set", "creator=x"}, "lxdocx: cannot set creator: Unknown document property: creator"},
        {{"header", blank, "--xml", blank}, "lxdocx: cannot store the header: The header XML is not well-formed: "}};
    for (const auto &[args, text] : failures) {
        EXPECT_EQ(lxdocx(args), 1) << args.join(' ').toStdString();
        EXPECT_TRUE(err.startsWith(text)) << err.toStdString();
    }
}

TEST(Cli, UsageErrors)
{
    EXPECT_EQ(lxdocx({"--help"}), 0);
    for (const char *c : {"info", "new", "copy"})
        EXPECT_TRUE(out.contains(QLatin1String("  ") + c)) << out.toStdString();
    const std::pair<QStringList, const char *> usage[] = {
        {{}, "no command"}, {{"frobnicate"}, "frobnicate"}, {{"info"}, "usage: lxdocx info"},
        {{"copy", "a.docx"}, "usage: lxdocx copy"}, {{"info", "a.docx", "b.docx"}, "usage: lxdocx info"},
        {{"info", "--bogus", "a.docx"}, "--bogus"}, {{"page", "a.docx", "--top", "2furlongs"}, "--top: expected a length"}};
    for (const auto &[args, text] : usage) {
        EXPECT_EQ(lxdocx(args), 2) << args.join(' ').toStdString();
        EXPECT_TRUE(err.contains(text)) << err.toStdString();
    }
}

TEST(Cli, PageHeaderFooterAndProps)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("f.docx"), edited = dir.filePath("out.docx"), xml = dir.filePath("even.xml");
    const QByteArray even = "<w:ftr xmlns:w=\"" + QByteArray(kNsW) + "\"><w:p><w:r><w:t>even</w:t></w:r></w:p></w:ftr>";
    ASSERT_TRUE(Handle(lxDocx_create_blank(file.toUtf8().constData()), lxDocx_close) && writeFile(xml, even));
    const DocxEntryMap before = readEntries(file);
    ASSERT_EQ(lxdocx({"page", file, "--top", "2cm", "--bottom", "30mm", "--left", "36pt", "--gutter", "0.5in",
                      "--mirror", "on", "--title-page", "on", "-o", edited}), 0) << err.toStdString();
    EXPECT_EQ(readEntries(file), before);
    EXPECT_EQ(lxdocx({"header", edited, "--text", "Page {PAGE}", "--align", "center"})
                  + lxdocx({"footer", edited, "--kind", "even", "--xml", xml})
                  + lxdocx({"props", edited, "--set", "title=A = B", "--set", "author=Ada"}), 0) << err.toStdString();
    Handle h = openPackage(edited);
    ASSERT_TRUE(h);
    EXPECT_EQ(margins(h.get()), (Ints{1134, 1701, 720, 1440, 709, 709, 720, 1}));
    EXPECT_EQ(lxDocx_get_title_page(h.get()), 1);
    const QByteArray header = lxDocx_get_header_xml(h.get(), 0, nullptr);  // a header: centred "Page " and a PAGE field
    auto texts = [&](const char *name) {
        QStringList t;
        const QDomNodeList list = parsed(header).elementsByTagNameNS(kNsW, name);
        for (int i = 0; i < list.size(); ++i)
            t << list.at(i).toElement().text();
        return t.join('|');
    };
    EXPECT_EQ((parsed(header).documentElement().localName() + ' ' + attrs(header, kNsW, "jc", {"w:val"}).join(' ') + ':'
               + texts("t") + '/' + texts("instrText") + '/' + attrs(header, kNsW, "fldChar", {"w:fldCharType"}).join(' '))
                  .toStdString(), "hdr center:Page |1/ PAGE /begin separate end");
    EXPECT_EQ(QByteArray(lxDocx_get_footer_xml(h.get(), LXDOCX_HF_EVEN, nullptr)), even);
    EXPECT_EQ(QByteArray(lxDocx_get_doc_property(h.get(), "title")) + "|" + lxDocx_get_doc_property(h.get(), "author"), "A = B|Ada");
}

// Bad calls fail with a reason; from-html and set-body: the body takes the first paragraph's place only; pictures
// only from the --resources folder.
TEST(Cli, FromHtmlAndSetBodyAndTheirBadCalls)
{
    QTemporaryDir dir;
    const QString empty = dir.filePath("empty.docx");
    const Handle h = openPackage(empty, makePackage(documentXml("<w:sectPr/>")));
    ASSERT_TRUE(h);
    EXPECT_EQ(Ints({lxDocx_set_body_html(nullptr, "<p>x</p>"), lxDocx_set_body_html(h.get(), nullptr)}), Ints({0, 0}));
    EXPECT_STREQ(lxDocx_error(h.get()), "No HTML given");
    EXPECT_EQ(lxDocx_set_body_html(h.get(), "<p>x</p>"), 0);  // no paragraph to take the content's place
    EXPECT_STREQ(lxDocx_error(h.get()), "The body has no paragraph for the HTML to take the place of");
    EXPECT_EQ(Ints({lxDocx_write_html(nullptr, "<p>x</p>"), lxDocx_write_html(empty.toUtf8().constData(), nullptr)}),
              Ints({0, 0}));
    const QString made = dir.filePath("made.docx"), changed = dir.filePath("changed.docx"), html = dir.filePath("in.html");
    const QString pictures = dir.filePath("pictures.docx"), folder = dir.filePath("site"), outside = dir.filePath("o.png");
    ASSERT_TRUE(writeFile(html, "<h2>Replaced</h2>"));
    QString out, err;
    const QString sample = QDir::cleanPath(LXDOCX_TEST_DATA_DIR "/../../samples/sample.html");
    ASSERT_EQ(run(LXDOCX_CLI, {"from-html", sample, made}, &out, &err), 0) << err.toStdString();
    EXPECT_EQ(out, "Wrote " + made + "\n");
    ASSERT_EQ(run(LXDOCX_CLI, {"set-body", made, html, "-o", changed}, &out, &err), 0) << err.toStdString();
    EXPECT_EQ(out, "Saved " + changed + "\n");
    EXPECT_EQ(run(LXDOCX_CLI, {"from-html", dir.filePath("missing.html"), made}, &out, &err), 1);
    ASSERT_TRUE(QDir().mkpath(folder + "/img"));
    ASSERT_TRUE(writeFile(folder + "/img/in.png", png(3, 2, Qt::red)) && writeFile(outside, png(5, 4, Qt::blue)));
    ASSERT_TRUE(QFile::link(outside, folder + "/img/link.png"));
    ASSERT_TRUE(writeFile(html, "<p><img src=\"img/in.png\" alt=\"in\"><img src=\"../o.png\" alt=\"up\"><img src=\""
                                "img/link.png\" alt=\"linked\"><img src=\"" + outside.toUtf8() + "\" alt=\"absolute\"></p>"));
    ASSERT_EQ(run(LXDOCX_CLI, {"from-html", html, pictures, "--resources", folder}, &out, &err), 0) << err.toStdString();
    const QList<QVariantMap> d = dumped({made, changed, pictures});
    QStringList before = d.value(0)["body"].toStringList(), after = d.value(1)["body"].toStringList();
    ASSERT_FALSE(before.isEmpty() || after.isEmpty());
    EXPECT_EQ(before.takeFirst() + " / " + after.takeFirst(), "Heading1: Field Notes on Lichens / Heading2: Replaced");
    EXPECT_EQ(after, before);
    EXPECT_EQ(d.value(2)["body"].toStringList(), QStringList({"Normal: uplinkedabsolute"}));
    EXPECT_EQ(d.value(2)["images"].toStringList().size(), 1);
}

TEST(Cli, ReplacePrintsTheCountAndWritesWhereAsked)
{
    QTemporaryDir dir;
    const QString in = dir.filePath("in.docx"), copy = dir.filePath("out.docx");
    ASSERT_TRUE(writeFile(in, makePackage(documentXml("<w:p><w:r><w:t>Hello wor</w:t></w:r><w:r><w:rPr><w:b/></w:rPr>"
                                                      "<w:t>ld, world</w:t></w:r></w:p>"))));
    const QByteArray original = readFile(in);
    ASSERT_EQ(lxdocx({"replace", in, "WORLD", "planet", "-o", copy}), 0) << err.toStdString();
    EXPECT_EQ(out, "2\nSaved " + copy + "\n");
    EXPECT_EQ(readFile(in), original);
    EXPECT_EQ(paragraphText(parsed(readEntries(copy).value("word/document.xml")).documentElement()), "Hello planet, planet");
    ASSERT_EQ(lxdocx({"replace", in, "WORLD", "planet", "--match-case", "--whole-word"}), 0) << err.toStdString();
    EXPECT_TRUE(out.startsWith("0\n")) << out.toStdString();
    ASSERT_EQ(lxdocx({"replace", in, "w(or)ld", "\\1", "--regex"}), 0) << err.toStdString();
    EXPECT_TRUE(out.startsWith("2\n")) << out.toStdString();
    EXPECT_EQ(paragraphText(parsed(readEntries(in).value("word/document.xml")).documentElement()), "Hello or, or");
    EXPECT_EQ(lxdocx({"replace", in, "(", "x", "--regex"}), 1);
    EXPECT_TRUE(err.startsWith("lxdocx: cannot replace: Invalid regular expression: missing closing parenthesis"))
        << err.toStdString();
    EXPECT_EQ(lxdocx({"replace", in, "x"}), 2);
    EXPECT_TRUE(err.contains("usage: lxdocx replace")) << err.toStdString();
}

// render fills a template from a data file (a list of records: one numbered output each), reads pictures only
// inside the data's folder by default, and writes nothing when a render fails.
TEST(Cli, RenderFillsOneOrManyOutputs)
{
    QTemporaryDir dir;
    const QString in = dir.filePath("t.docx"), data = dir.filePath("d.json"), output = dir.filePath("o.docx");
    ASSERT_TRUE(writeFile(in, makePackage(documentXml("<w:p><w:r><w:t>Dear {{ name }}</w:t></w:r></w:p>"))));
    const auto textOf = [](const QString &path) {
        return paragraphText(parsed(readEntries(path).value("word/document.xml")).documentElement());
    };
    ASSERT_TRUE(writeFile(data, R"({"name": "Ann"})"));
    ASSERT_EQ(lxdocx({"render", in, data, output}), 0) << err.toStdString();
    EXPECT_EQ(textOf(output), "Dear Ann");
    ASSERT_TRUE(writeFile(data, R"([{"name": "Ann"}, {"name": "Bob"}])"));
    ASSERT_EQ(lxdocx({"render", in, data, output, "--strict"}), 0) << err.toStdString();
    EXPECT_EQ(out, "2 of 2 written\n");
    EXPECT_EQ(textOf(dir.filePath("o-2.docx")), "Dear Bob");
    ASSERT_TRUE(writeFile(data, R"({"nom": "Ann"})"));
    const QString strictOut = dir.filePath("strict.docx");
    EXPECT_EQ(lxdocx({"render", in, data, strictOut, "--strict"}), 1);
    EXPECT_TRUE(err.contains("\"name\" is undefined")) << err.toStdString();
    EXPECT_FALSE(QFile::exists(strictOut));
}

// page, header and footer reach any section with --section (from 1); a page edit passes every value it was not
// given through unchanged (a negative bottom margin, absent header and footer distances); info lists the sections.
TEST(Cli, SectionsAndPageEditsThatChangeOnlyWhatIsGiven)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("two.docx"), edited = dir.filePath("out.docx");
    const QByteArray pgMar = "<w:pgMar w:top=\"1440\" w:bottom=\"-1710\" w:left=\"1800\" w:right=\"1800\"/>";
    const QByteArray first = "<w:p><w:pPr><w:sectPr><w:pgSz w:w=\"12240\" w:h=\"15840\"/>" + pgMar + "</w:sectPr></w:pPr></w:p>";
    const QByteArray last = "<w:sectPr><w:pgSz w:w=\"11906\" w:h=\"16838\"/>" + pgMar + "</w:sectPr>";
    ASSERT_TRUE(writeFile(file, makePackage(documentXml(first + last))));
    ASSERT_EQ(lxdocx({"page", file, "--section", "1", "--top", "1000", "--orientation", "landscape", "-o", edited}), 0)
        << err.toStdString();
    ASSERT_EQ(lxdocx({"footer", edited, "--section", "1", "--text", "one"}), 0) << err.toStdString();
    const QByteArray body = readEntries(edited).value("word/document.xml");
    EXPECT_TRUE(body.endsWith(last + "</w:body></w:document>")) << body.toStdString();  // the last section as it was
    const QDomElement s1 = sectionsOf(parsed(body)).value(0), pgSz = wChild(s1, "pgSz");
    QStringList margins;
    for (const char *name : {"top", "bottom", "left", "right", "header", "footer", "gutter"})
        margins << wChild(s1, "pgMar").attributeNS(kNsW, name);
    EXPECT_EQ(margins.join(' '), "1000 -1710 1800 1800   ");
    EXPECT_EQ(pgSz.attributeNS(kNsW, "w") + " " + pgSz.attributeNS(kNsW, "h") + " " + pgSz.attributeNS(kNsW, "orient"),
              "15840 12240 landscape");
    EXPECT_EQ(lxdocx({"footer", edited, "--section", "2"}), 0);  // linked to the first section's
    EXPECT_TRUE(out.contains("<w:t>one</w:t>")) << out.toStdString();
    ASSERT_EQ(lxdocx({"info", edited}), 0) << err.toStdString();
    EXPECT_TRUE(out.contains("Sections: 2") && out.contains("Page setup (section 1):\n  page    15840 x 12240 twips")
                && out.contains("  bottom    -1710 twips") && out.contains("footer default: word/footer1.xml\n")
                && out.contains("footer default: word/footer1.xml (linked to the previous section)")) << out.toStdString();
    const struct { QStringList args; const char *text; } bad[] = {
        {{"page", file, "--section", "3", "--top", "1"}, "No section 2: the document has 2 sections"},
        {{"header", file, "--section", "0"}, "--section takes a section number from 1"},
        {{"page", file, "--orientation", "sideways"}, "--orientation portrait or landscape"}};
    for (const auto &b : bad) {
        EXPECT_NE(lxdocx(b.args), 0);
        EXPECT_TRUE(err.contains(b.text)) << err.toStdString();
    }
}
