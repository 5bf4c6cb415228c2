// The whole-document re-save: text stays in its paragraph whatever the body
// holds, page numbers stay fields, and what the rich text cannot carry is kept.
#include "DocxDocument.h"
#include "DocxReader.h"
#include "TestSupport.h"

#include <lorvexdocx.h>

#include <QDir>

#include <gtest/gtest.h>

#include <memory>

using namespace testing_support;

namespace {

struct Resaved
{
    QStringList before;
    QStringList after;
    QByteArray body;  // the re-saved word/document.xml
    DocxEntryMap entries;
};

QStringList paragraphTexts(const QString &path)
{
    const std::unique_ptr<DocxDocument> doc(DocxReader::open(path));
    QStringList texts;
    for (const DocxParaInfo &p : doc->paragraphInfo())
        texts << p.text;
    return texts;
}

Resaved resave(const QTemporaryDir &dir, const QByteArray &body,
               const std::vector<std::pair<QByteArray, QByteArray>> &extraParts = {})
{
    const QString src = dir.filePath("src.docx");
    const QString dst = dir.filePath("dst.docx");
    EXPECT_TRUE(writeFile(src, makePackage(documentXml(body), extraParts)));
    EXPECT_EQ(lxDocx_resave_full(src.toUtf8().constData(), dst.toUtf8().constData()), 1) << lxDocx_error(nullptr);
    Resaved r{paragraphTexts(src), paragraphTexts(dst), {}, readEntries(dst)};
    r.body = r.entries.value("word/document.xml");
    return r;
}

QByteArray para(const QByteArray &text) { return "<w:p><w:r><w:t xml:space=\"preserve\">" + text + "</w:t></w:r></w:p>"; }
QByteArray cell(const QByteArray &content) { return "<w:tc>" + content + "</w:tc>"; }
QByteArray table(const QByteArray &rows) { return "<w:tbl><w:tblGrid><w:gridCol/><w:gridCol/></w:tblGrid>" + rows + "</w:tbl>"; }
QByteArray field(const QByteArray &instr, const QByteArray &result)
{
    return "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText xml:space=\"preserve\">" + instr
        + "</w:instrText></w:r><w:r><w:fldChar w:fldCharType=\"separate\"/></w:r><w:r><w:t>" + result
        + "</w:t></w:r><w:r><w:fldChar w:fldCharType=\"end\"/></w:r>";
}

}  // namespace

// Text stays in its paragraph whatever the body holds: a table first, paragraphs
// after tables, a nested table opening a cell, a table in a content control, a
// vertical merge and a row-level control. Line breaks and page numbers come back
// as they were; what the rich text cannot carry (tracked changes, notes, links to
// bookmarks, character styles, half-point sizes, bookmarks, pictures) is kept.
TEST(Resave, TextStaysInItsParagraphAndWhatTheRichTextCannotCarryIsKept)
{
    QTemporaryDir dir;
    const QByteArray nested = table("<w:tr>" + cell(para("N1")) + cell(para("N2")) + "</w:tr>");
    const QByteArray tables =
        table("<w:tr>" + cell(para("A1") + para("A1b")) + cell(nested + para("after nested")) + "</w:tr>"
              "<w:tr><w:tc><w:tcPr><w:vMerge w:val=\"restart\"/></w:tcPr>" + para("M") + "</w:tc>" + cell(para("B2"))
              + "</w:tr><w:tr><w:tc><w:tcPr><w:vMerge/></w:tcPr>" + para("continued") + "</w:tc>" + cell(para("C2"))
              + "</w:tr><w:sdt><w:sdtContent><w:tr>" + cell(para("wrapped row")) + cell(para("W2"))
              + "</w:tr></w:sdtContent></w:sdt>")
        + para("between") + table("<w:tr>" + cell(para("T")) + cell(para("U")) + "</w:tr>")
        + "<w:sdt><w:sdtContent>" + para("in control") + table("<w:tr>" + cell(para("ctl cell")) + "</w:tr>")
        + "</w:sdtContent></w:sdt>" + para("last");
    const QByteArray fields = "<w:p><w:r><w:t>one</w:t><w:br/><w:t>two</w:t><w:br w:type=\"page\"/><w:t>three</w:t></w:r></w:p>"
                              "<w:p><w:r><w:t xml:space=\"preserve\">Page </w:t></w:r>" + field(" PAGE ", "7")
        + "<w:r><w:t xml:space=\"preserve\"> of </w:t></w:r>" + field(" NUMPAGES \\* MERGEFORMAT ", "12") + "</w:p>"
        + "<w:p><w:r><w:t xml:space=\"preserve\">see page </w:t></w:r>" + field(" PAGEREF _Toc1 \\h ", "3") + "</w:p>";
    const QByteArray tracked = "<w:r><w:t>inserted</w:t></w:r></w:ins><w:r><w:footnoteReference w:id=\"2\"/></w:r></w:p>";
    const QByteArray anchorLink = "<w:p><w:hyperlink w:anchor=\"intro\"><w:r><w:t>see intro</w:t></w:r></w:hyperlink></w:p>";
    const QByteArray styled = "<w:p><w:r><w:rPr><w:rStyle w:val=\"Strong\"/><w:sz w:val=\"19\"/></w:rPr><w:t>styled</w:t>"
                              "<w:tab/><w:t>half</w:t></w:r><w:bookmarkStart w:id=\"0\" w:name=\"b\"/><w:r><w:t>marked</w:t>"
                              "</w:r><w:bookmarkEnd w:id=\"0\"/></w:p>";
    const QByteArray picture =
        "<w:p><w:r><w:drawing><wp:inline><wp:extent cx=\"952500\" cy=\"952500\"/><a:graphic><a:graphicData>"
        "<pic:pic><pic:blipFill><a:blip r:embed=\"rId5\"/></pic:blipFill></pic:pic></a:graphicData></a:graphic>"
        "</wp:inline></w:drawing></w:r></w:p>";
    const QByteArray item = "<w:p><w:pPr><w:numPr><w:ilvl w:val=\"0\"/><w:numId w:val=\"3\"/></w:numPr></w:pPr><w:r><w:t>item</w:t></w:r></w:p>";
    const QByteArray rels = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                            "<Relationship Id=\"rId5\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                            "relationships/image\" Target=\"media/image1.png\"/></Relationships>";
    const QByteArray numbering =
        "<w:numbering xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
        "<w:abstractNum w:abstractNumId=\"0\"><w:lvl w:ilvl=\"0\"><w:start w:val=\"1\"/><w:numFmt w:val=\"decimal\"/>"
        "<w:lvlText w:val=\"%1.\"/></w:lvl></w:abstractNum><w:num w:numId=\"3\"><w:abstractNumId w:val=\"0\"/></w:num>"
        "</w:numbering>";
    const QByteArray png = QByteArray::fromBase64(
        "iVBORw0KGgoAAAANSUhEUgAAAAIAAAACCAIAAAD91JpzAAAAFklEQVR4nGP8z8DAwMDAxMDAwMDAAAANHQEDasKb6QAAAABJRU5ErkJggg==");
    const Resaved r = resave(dir, tables + fields + "<w:p><w:r><w:t>kept </w:t></w:r><w:ins w:id=\"1\" w:author=\"A\">"
                                      + tracked + anchorLink + styled + picture + item,
                             {{"word/_rels/document.xml.rels", rels}, {"word/media/image1.png", png},
                              {"word/numbering.xml", numbering}});
    EXPECT_EQ(r.before.size(), 25);
    EXPECT_EQ(r.after, r.before);  // list labels stay out of the text, fields keep their stored results
    EXPECT_EQ(r.after.mid(17, 2), QStringList({"onetwothree", "Page 7 of 12"}));
    EXPECT_EQ(r.body.count("<w:br/>") + r.body.count("<w:br w:type=\"page\"/>") * 10, 11);
    // Placeholders never reach the text; the fields are live again with their own instructions.
    EXPECT_FALSE(QString::fromUtf8(r.body).contains(QChar(0xFFFE)) || QString::fromUtf8(r.body).contains(QChar(0xFFFD)));
    EXPECT_EQ(r.body.count("fldCharType=\"begin\""), 3);
    for (const QByteArray &kept : {QByteArray("> PAGE </w:instrText>"), QByteArray("> NUMPAGES \\* MERGEFORMAT </w:instrText>"),
                                   QByteArray("> PAGEREF _Toc1 \\h </w:instrText>"), tracked, anchorLink, styled,
                                   QByteArray("r:embed=\"rId5\""), QByteArray("<wp:extent cx=\"952500\" cy=\"952500\"/>")})
        EXPECT_TRUE(r.body.contains(kept)) << kept.toStdString() << "\n" << r.body.toStdString();
    for (auto it = r.entries.cbegin(); it != r.entries.cend(); ++it)  // the picture reuses its part
        EXPECT_FALSE(it.key().startsWith("word/media/") && it.key() != "word/media/image1.png") << it.key().toStdString();
}

TEST(Resave, EveryRealDocumentKeepsItsText)
{
    LXDOCX_NEEDS_CORPUS();
    // One run of the tally tool over the corpus: every file that opens re-saves,
    // and every body paragraph reads the same in python-docx before and after.
    QTemporaryDir out;
    QString stdOut, stdErr;
    QStringList args = {toolScript("resave_tally.py"), LXDOCX_CLI, corpusDir(), out.path()};
#ifndef __SANITIZE_ADDRESS__
    args << "--render";  // LibreOffice's pages before and after (not under the sanitizers: too slow there)
#endif
    const int rc = run(systemPython(), args, &stdOut, &stdErr);
    std::cout << stdOut.toStdString();
    EXPECT_EQ(rc, 0) << stdErr.toStdString();
    EXPECT_TRUE(stdOut.contains(QString("re-saved: %1,").arg(corpusFiles().size()))) << stdOut.toStdString();
}
