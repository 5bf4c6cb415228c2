// Documents in strict markup (ISO/IEC 29500 Strict): read like transitional
// ones, and kept strict by whatever is saved of them.
#include "DocxReader.h"
#include "TestSupport.h"
#include "lorvexdocx.h"

#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QByteArray kStrictW = "http://purl.oclc.org/ooxml/wordprocessingml/main";
const QByteArray kStrictRels = "http://purl.oclc.org/ooxml/officeDocument/relationships";

QByteArray strictPart(const char *root, const QByteArray &content)
{
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?><w:") + root + " xmlns:w=\"" + kStrictW
        + "\" xmlns:r=\"" + kStrictRels + "\">" + content + "</w:" + root + ">";
}

QByteArray relationship(const char *id, const char *type, const char *target)
{
    return QByteArray("<Relationship Id=\"") + id + "\" Type=\"" + kStrictRels + "/" + type + "\" Target=\"" + target
        + "\"/>";
}

// A body paragraph, a run through a bold character style sized "14pt", an item
// of a list starting at 3, a table and a header, with measures given in units.
QByteArray strictPackage()
{
    const QByteArray body =
        "<w:body><w:p><w:r><w:t xml:space=\"preserve\">Plain </w:t></w:r>"
        "<w:r><w:rPr><w:rStyle w:val=\"Loud\"/></w:rPr><w:t>loud</w:t></w:r></w:p>"
        "<w:p><w:pPr><w:numPr><w:ilvl w:val=\"0\"/><w:numId w:val=\"1\"/></w:numPr></w:pPr>"
        "<w:r><w:t>Item</w:t></w:r></w:p>"
        "<w:tbl><w:tblGrid><w:gridCol w:w=\"1in\"/><w:gridCol w:w=\"72pt\"/></w:tblGrid><w:tr>"
        "<w:tc><w:p><w:r><w:t>Cell A</w:t></w:r></w:p></w:tc><w:tc><w:p><w:r><w:t>Cell B</w:t></w:r></w:p></w:tc>"
        "</w:tr></w:tbl><w:sectPr><w:headerReference w:type=\"default\" r:id=\"rId3\"/>"
        "<w:pgSz w:w=\"612pt\" w:h=\"792pt\"/><w:pgMar w:top=\"1in\" w:right=\"54pt\" w:bottom=\"72pt\" "
        "w:left=\"2.54cm\" w:header=\"36pt\" w:footer=\"36pt\" w:gutter=\"0pt\"/></w:sectPr></w:body>";
    const QByteArray styles =
        "<w:style w:type=\"paragraph\" w:default=\"true\" w:styleId=\"Normal\"><w:name w:val=\"Normal\"/></w:style>"
        "<w:style w:type=\"character\" w:styleId=\"Loud\"><w:rPr><w:b w:val=\"true\"/><w:i w:val=\"false\"/>"
        "<w:sz w:val=\"14pt\"/></w:rPr></w:style>";
    const QByteArray numbering =
        "<w:abstractNum w:abstractNumId=\"0\"><w:lvl w:ilvl=\"0\"><w:start w:val=\"3\"/><w:numFmt w:val=\"decimal\"/>"
        "<w:lvlText w:val=\"%1.\"/><w:pPr><w:ind w:left=\"0.5in\" w:hanging=\"18pt\"/></w:pPr></w:lvl></w:abstractNum>"
        "<w:num w:numId=\"1\"><w:abstractNumId w:val=\"0\"/></w:num>";
    const QByteArray rels = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        + relationship("rId1", "styles", "styles.xml") + relationship("rId2", "numbering", "numbering.xml")
        + relationship("rId3", "header", "header1.xml") + "</Relationships>";
    const QByteArray rootRels = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        + relationship("rId1", "officeDocument", "word/document.xml") + "</Relationships>";
    return testing_support::makeZip(
        {{"[Content_Types].xml",
          "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
          "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
          "<Default Extension=\"xml\" ContentType=\"application/xml\"/><Override PartName=\"/word/document.xml\" "
          "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>"},
         {"_rels/.rels", rootRels},
         {"word/_rels/document.xml.rels", rels},
         {"word/document.xml", strictPart("document", body)},
         {"word/styles.xml", strictPart("styles", styles)},
         {"word/numbering.xml", strictPart("numbering", numbering)},
         {"word/header1.xml", strictPart("hdr", "<w:p><w:r><w:t>Head text</w:t></w:r></w:p>")}});
}

}  // namespace

TEST(StrictMarkup, ReadsLikeTransitionalAndNothingWrittenMixesTheTwo)
{
    using namespace testing_support;
    QTemporaryDir dir;
    const QString path = dir.filePath("strict.docx");
    ASSERT_TRUE(writeFile(path, strictPackage()));

    const std::unique_ptr<DocxDocument> doc(DocxReader::open(path));
    ASSERT_TRUE(doc->isValid());
    QTextDocument qd;
    ASSERT_TRUE(DocxReader::populate(*doc, {path, 0, doc->paragraphCount()}, &qd));
    EXPECT_EQ(qd.begin().text(), "Plain loud");
    EXPECT_TRUE(qd.begin().next().text().startsWith("3.")) << qd.begin().next().text().toStdString();
    EXPECT_TRUE(qd.begin().next().text().endsWith("Item"));
    QTextCursor loud = qd.find("loud");
    loud.setPosition(loud.selectionStart() + 1);
    EXPECT_TRUE(loud.charFormat().font().bold());
    EXPECT_FALSE(loud.charFormat().font().italic());
    EXPECT_DOUBLE_EQ(loud.charFormat().fontPointSize(), 14.0);
    QTextTable *table = qd.find("Cell B").currentTable();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->columns(), 2);
    EXPECT_EQ(table->cellAt(0, 0).firstCursorPosition().block().text(), "Cell A");
    const DocxReader::DocxHFSet headers = DocxReader::readHeadersFooters(*doc);
    const std::unique_ptr<QTextDocument> header(headers.defaultHdr);
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->toPlainText(), "Head text");

    // Measures with units, read by the package model.
    DocxHandle *h = lxDocx_open(path.toUtf8().constData());
    ASSERT_NE(h, nullptr);
    int top = 0, bottom = 0, left = 0, right = 0, hdr = 0, ftr = 0, gutter = -1, mirror = -1;
    lxDocx_get_margins(h, &top, &bottom, &left, &right, &hdr, &ftr, &gutter, &mirror);
    EXPECT_EQ(QList<int>({top, bottom, left, right, hdr, ftr, gutter}),
              QList<int>({1440, 1440, 1440, 1080, 720, 720, 0}));

    // What would write transitional markup into the parts is refused; the rest
    // is saved with the strict parts as they were.
    EXPECT_EQ(lxDocx_set_margins(h, 720, 720, 720, 720, 360, 360, 0, 0), 0);
    EXPECT_NE(QByteArray(lxDocx_error(h)).indexOf("strict markup"), -1) << lxDocx_error(h);
    EXPECT_EQ(lxDocx_set_body_html(h, "<p>new</p>"), 0);
    EXPECT_EQ(lxDocx_set_header_xml(h, 0, "<w:hdr/>", -1), 0);
    EXPECT_EQ(lxDocx_set_doc_property(h, "title", "Kept strict"), 1);
    const QString saved = dir.filePath("saved.docx"), resaved = dir.filePath("resaved.docx");
    EXPECT_EQ(lxDocx_save_as(h, saved.toUtf8().constData()), 1) << lxDocx_error(h);
    lxDocx_close(h);
    EXPECT_EQ(lxDocx_resave_full(path.toUtf8().constData(), resaved.toUtf8().constData()), 1) << lxDocx_error(nullptr);
    const DocxEntryMap original = readEntries(path);
    for (const QString &out : {saved, resaved}) {
        const DocxEntryMap written = readEntries(out);
        for (const char *name : {"word/document.xml", "word/styles.xml", "word/numbering.xml", "word/header1.xml",
                                 "word/_rels/document.xml.rels"})
            EXPECT_EQ(written.value(name), original.value(name)) << out.toStdString() << " " << name;
        for (auto it = written.cbegin(); it != written.cend(); ++it)
            EXPECT_EQ(it.value().indexOf("schemas.openxmlformats.org/wordprocessingml"), -1) << it.key().toStdString();
    }
}
