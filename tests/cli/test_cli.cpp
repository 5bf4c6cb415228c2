// The lxdocx command line: exit status, output, error texts and the edits its commands make.
#include "EditTestSupport.h"

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
    ASSERT_EQ(lxdocx({"new", blank}) + lxdocx({"info", blank}), 0) << err.toStdString();
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
    EXPECT_EQ(QByteArray(lxDocx_get_header_xml(h.get(), 0, nullptr)), lxDocx_build_hf_xml(1, "Page {PAGE}", "center", nullptr));
    EXPECT_EQ(QByteArray(lxDocx_get_footer_xml(h.get(), LXDOCX_HF_EVEN, nullptr)), even);
    EXPECT_EQ(QByteArray(lxDocx_get_doc_property(h.get(), "title")) + "|" + lxDocx_get_doc_property(h.get(), "author"), "A = B|Ada");
}
