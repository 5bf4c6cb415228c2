// Reading through the C interface: text, HTML and pages as the command line shows them, what flags add, and the
// failures.
#include "DocxPartTypes.h"
#include "EditTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>

#include <iostream>

using namespace edit_support;

namespace {

const QByteArray kNotesRels =
    kXmlDeclaration + QByteArray("<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                                 "<Relationship Id=\"rId9\" Type=\"") + kRelType + "footnotes\" Target=\"notes.xml\"/>"
    "</Relationships>";
const QByteArray kNotes = "<w:footnotes xmlns:w=\"" + QByteArray(kNsW) + "\">"
    "<w:footnote w:type=\"separator\" w:id=\"-1\"><w:p><w:r><w:separator/></w:r></w:p></w:footnote>"
    "<w:footnote w:id=\"1\"><w:p><w:r><w:t>First note</w:t></w:r></w:p><w:p><w:r><w:t>goes on</w:t></w:r></w:p>"
    "</w:footnote></w:footnotes>";

std::string str(const char *s) { return s ? std::string(s) : std::string("(null)"); }

// The number of pages a PDF holds, as poppler's pdfinfo reads it; -1 when pdfinfo is missing.
int pdfPages(const QString &pdf)
{
    QString out;
    if (QStandardPaths::findExecutable("pdfinfo").isEmpty() || run("pdfinfo", {pdf}, &out) != 0)
        return -1;
    return QRegularExpression("Pages:\\s+(\\d+)").match(out).captured(1).toInt();
}

}  // namespace

TEST(Reading, FlagsAddNotesAndHeadersAfterTheBody)
{
    QTemporaryDir dir;
    const QByteArray body = "<w:p><w:r><w:t>Body</w:t></w:r><w:r><w:footnoteReference w:id=\"1\"/></w:r></w:p>";
    const Handle h = openPackage(dir.filePath("n.docx"), makePackage(documentXml(body), {{kRels.toUtf8(), kNotesRels},
                                                                                          {"word/notes.xml", kNotes}}));
    ASSERT_TRUE(h) << lxDocx_error(nullptr);
    EXPECT_EQ(str(lxDocx_text(h.get(), LXDOCX_TEXT_BODY)), "Body1\n");
    EXPECT_EQ(str(lxDocx_text(h.get(), LXDOCX_TEXT_NOTES | LXDOCX_TEXT_HEADERS_FOOTERS)),
              "Body1\n-- headers\n-- footers\n-- footnotes\n[1] First note\ngoes on\n-- endnotes\n");
    const QJsonObject report = QJsonDocument::fromJson(lxDocx_text(h.get(), LXDOCX_TEXT_JSON | LXDOCX_TEXT_NOTES)).object();
    EXPECT_EQ(report.value("footnotes").toArray(), QJsonArray({"First note\ngoes on"}));
    EXPECT_EQ(report.value("blocks").toArray().size(), 1);
    EXPECT_FALSE(report.contains("pages"));
}

TEST(Reading, FailuresSayWhy)
{
    QTemporaryDir dir;
    EXPECT_TRUE(lxDocx_text(nullptr, 0) == nullptr && lxDocx_to_html(nullptr, nullptr) == nullptr);
    EXPECT_EQ(Ints({lxDocx_render(nullptr, "x.pdf"), lxDocx_get_render_result(nullptr, nullptr, nullptr, nullptr)}),
              Ints({0, 0}));
    const Handle h = openPackage(dir.filePath("a.docx"), makePackage(documentXml("<w:p><w:r><w:t>A</w:t></w:r></w:p>")));
    ASSERT_TRUE(h) << lxDocx_error(nullptr);
    const QString noDir = dir.filePath("no/such/dir/a.pdf");
    const struct
    {
        QString path;
        std::string why;
    } cases[] = {{dir.filePath("a.docx.txt"), "Cannot render to " + dir.filePath("a.docx.txt").toStdString()
                                                   + ": the name must end in .pdf or .png"},
                 {noDir, "Cannot write to: " + noDir.toStdString() + ": No such file or directory"},
                 {QString(), "No path given"}};
    for (const auto &c : cases) {
        EXPECT_EQ(lxDocx_render(h.get(), c.path.toUtf8().constData()), 0);
        EXPECT_EQ(str(lxDocx_error(h.get())), c.why);
    }
    EXPECT_EQ(lxDocx_get_render_result(h.get(), nullptr, nullptr, nullptr), 0);  // the last render laid out nothing
    // A document without a body reads as nothing and lays out as one blank page, as lxdocx shows it.
    const Handle none = openPackage(dir.filePath("b.docx"), makePackage("<w:document xmlns:w=\"" + QByteArray(kNsW) + "\"/>"));
    ASSERT_TRUE(none) << lxDocx_error(nullptr);
    int pages = 0;
    EXPECT_EQ(lxDocx_render(none.get(), dir.filePath("b.png").toUtf8()), 1) << lxDocx_error(none.get());
    EXPECT_EQ(lxDocx_get_render_result(none.get(), &pages, nullptr, nullptr) * pages, 1);
    EXPECT_EQ(str(lxDocx_to_html(none.get(), nullptr)) + str(lxDocx_text(none.get(), 0)), "\n");
}

// A host of its own reads every corpus document as `lxdocx text`, `to-html` and `preview` show it.
TEST(Reading, HostReadsTheCorpusAsTheCommandLine)
{
    LXDOCX_NEEDS_CORPUS();
    QTemporaryDir dir;
    const QStringList files = corpusFiles();
    QString report, err, cliText;
    ASSERT_EQ(run(LXDOCX_READING_HOST, QStringList{dir.path()} + files, &report, &err), 0) << err.toStdString();
    run(LXDOCX_CLI, QStringList{"text"} + files, &cliText);
    const QStringList cliFiles = cliText.split(QRegularExpression("^== ", QRegularExpression::MultilineOption));
    ASSERT_EQ(cliFiles.size(), files.size() + 1);
    int samePages = 0;
    for (int i = 0; i < files.size(); ++i) {
        const QString n = QString::number(i + 1), stem = dir.filePath(n);
        EXPECT_EQ(files[i] + "\n" + QString::fromUtf8(readFile(stem + ".txt")), cliFiles[i + 1]) << files[i].toStdString();
        QString html, preview;
        run(LXDOCX_CLI, {"to-html", files[i]}, &html);
        EXPECT_TRUE(html.toUtf8() == readFile(stem + ".html")) << files[i].toStdString();
        run(LXDOCX_CLI, {"preview", files[i], stem + "-cli.pdf"}, &preview);
        const QString pages = QRegularExpression("\\((\\d+) pages?\\)").match(preview).captured(1);
        EXPECT_TRUE(report.contains(QRegularExpression("^" + n + " pages " + pages + "$", QRegularExpression::MultilineOption)))
            << files[i].toStdString() << ": " << preview.toStdString();
        const int counted = pdfPages(stem + ".pdf");
        EXPECT_TRUE(counted == -1 || QString::number(counted) == pages) << files[i].toStdString();
        samePages += QString::number(counted) == pages;
    }
    std::cout << files.size() << " documents, " << samePages << " PDFs of the host counted by pdfinfo as the CLI says\n";
}
