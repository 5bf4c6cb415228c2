// The whole-document re-save, and edits a host makes to the rich text written back into the paragraphs they were
// read from: what an edit changed differs, everything else a reader sees (the text and look of every other
// character, pictures, bookmarks, comment ranges, fields) stays where it was.
#include "DocxDocument.h"
#include "DocxReader.h"
#include "DocxWriter.h"
#include "TestSupport.h"

#include <lorvexdocx.h>

#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>

#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <limits>
#include <memory>

using namespace testing_support;

namespace {

const DocxSectionRange kWholeBody{QString(), 0, std::numeric_limits<int>::max()};
const QString kInserted = QStringLiteral("Inserted paragraph");
const QByteArray kPng = QByteArray::fromBase64(
    "iVBORw0KGgoAAAANSUhEUgAAAAIAAAACCAIAAAD91JpzAAAAFklEQVR4nGP8z8DAwMDAxMDAwMDAAAANHQEDasKb6QAAAABJRU5ErkJggg==");

// A run showing picture `rId`.
QByteArray picture(const char *rId)
{
    return "<w:r><w:drawing><wp:inline><wp:extent cx=\"95250\" cy=\"95250\"/><a:graphic><a:graphicData><pic:pic>"
           "<pic:blipFill><a:blip r:embed=\"" + QByteArray(rId) + "\"/></pic:blipFill></pic:pic></a:graphicData>"
           "</a:graphic></wp:inline></w:drawing></w:r>";
}

// The document's relationships part: {Id, last segment of the type, Target} each, with a PNG and a metafile.
std::pair<QByteArray, QByteArray> relationships(const QList<QByteArrayList> &entries)
{
    QByteArray out = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    for (const QByteArrayList &e : entries)
        out += "<Relationship Id=\"" + e[0] + "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
            "relationships/" + e[1] + "\" Target=\"" + e[2] + (e[1] == "hyperlink" ? "\" TargetMode=\"External" : "") + "\"/>";
    return {"word/_rels/document.xml.rels", out + "</Relationships>"};
}

bool isContent(const QTextCharFormat &f)
{
    return !f.boolProperty(ListLabelProperty) && !f.boolProperty(GeneratedTextProperty);
}

// Every character the rich text shows of the paragraphs, block by block, in runs of one format (less the note of
// where it was read from).
QStringList readerView(const QTextDocument &qd)
{
    QStringList view;
    for (QTextBlock b = qd.begin(); b.isValid(); b = b.next()) {
        const DocxBlockOrigin *origin = blockOrigin(b.userData());
        if (origin && !origin->source)
            continue;
        QString line, last;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            QTextCharFormat f = it.fragment().charFormat();
            if (!isContent(f))
                continue;
            f.clearProperty(SourcePieceProperty);
            QStringList props;
            const QMap<int, QVariant> all = f.properties();
            for (auto p = all.cbegin(); p != all.cend(); ++p)
                props << QString::number(p.key()) + "=" + p.value().toString();
            const QString look = "|" + props.join(',') + "]";
            if (look == last)
                line.insert(line.size() - look.size(), it.fragment().text());
            else
                line += "[" + it.fragment().text() + look;
            last = look;
        }
        view << line;
    }
    return view;
}

// What the paragraphs hold besides text, in document order, each with the number of text characters before it in its
// paragraph (when `offsets`); a paragraph the edits added is left out.
QStringList markers(const DocxDocument &doc, bool offsets)
{
    static const QStringList kinds = {"bookmarkStart", "bookmarkEnd", "commentRangeStart", "commentRangeEnd",
                                      "fldChar", "instrText", "drawing", "pict", "footnoteReference",
                                      "endnoteReference", "proofErr", "fldSimple", "hyperlink", "ins", "del",
                                      "permStart", "permEnd", "sdt"};
    QStringList out;
    for (const QDomElement &p : doc.paragraphs()) {
        if (paragraphText(p) == kInserted)
            continue;
        int chars = 0;
        QList<QDomElement> pending{p};
        while (!pending.isEmpty()) {
            const QDomElement e = pending.takeFirst();
            QList<QDomElement> children;
            for (QDomElement c = e.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
                children << c;
            pending = children + pending;
            const QString name = e.localName();
            if (name == "t")
                chars += int(e.text().size());
            if (!kinds.contains(name))
                continue;
            QString mark = name;
            for (const char *attr : {"name", "id", "fldCharType", "instr", "anchor"})
                mark += "," + e.attributeNS(wNamespace(), attr);
            if (name == "instrText")
                mark += "," + e.text();
            out << (offsets ? mark + "@" + QString::number(chars) : mark);
        }
    }
    return out;
}

using Edit = std::function<void(QTextDocument &)>;

struct EditResult
{
    bool opened = false;
    QStringList expected, after;        // the edited rich text, and what the saved file reads as
    QStringList markersBefore, markersAfter;
    int paragraphsBefore = 0, paragraphsAfter = 0;
    int blocksAdded = 0;  // by the edit
};

int contentBlocks(const QTextDocument &qd)
{
    int n = 0;
    for (QTextBlock b = qd.begin(); b.isValid(); b = b.next()) {
        const DocxBlockOrigin *origin = blockOrigin(b.userData());
        n += !origin || (origin->source && origin->breakPiece < 0);
    }
    return n;
}

EditResult editAndReread(const QString &path, const QString &out, const Edit &edit, bool offsets)
{
    EditResult r;
    std::unique_ptr<DocxDocument> doc(DocxReader::open(path));
    if (!doc->isValid())
        return r;
    r.markersBefore = markers(*doc, offsets);
    r.paragraphsBefore = doc->paragraphCount();
    doc->dom();  // edited in place
    QTextDocument qd;
    if (!DocxReader::populate(*doc, kWholeBody, &qd))
        return {};  // no body to edit (strict markup)
    r.opened = true;
    const DocxSourceList converted = DocxWriter::sourceParagraphs(qd);
    const int blocksBefore = contentBlocks(qd);
    edit(qd);
    r.blocksAdded = contentBlocks(qd) - blocksBefore;
    r.expected = readerView(qd);
    DocxWriter::writeBack(*doc, qd, converted);
    EXPECT_TRUE(DocxWriter::saveVersion(*doc, out));
    std::unique_ptr<DocxDocument> saved(DocxReader::open(out));
    EXPECT_TRUE(saved->isValid()) << saved->errorString().toStdString();
    QTextDocument reread;
    EXPECT_TRUE(DocxReader::populate(*saved, kWholeBody, &reread));
    r.after = readerView(reread);
    r.markersAfter = markers(*saved, offsets);
    r.paragraphsAfter = saved->paragraphCount();
    return r;
}

// The first fragment of a block read from a piece of text (not a picture) that holds a letter.
bool firstWord(const QTextBlock &b, QTextCursor &word)
{
    for (auto it = b.begin(); !it.atEnd(); ++it) {
        const QTextFragment frag = it.fragment();
        const QTextCharFormat f = frag.charFormat();
        if (!isContent(f) || f.isImageFormat() || !f.hasProperty(SourcePieceProperty))
            continue;
        const QString text = frag.text();
        int start = 0;
        while (start < text.size() && !text[start].isLetter())
            ++start;
        if (start == text.size())
            continue;
        int end = start;
        while (end < text.size() && text[end].isLetter())
            ++end;
        word.setPosition(frag.position() + start);
        word.setPosition(frag.position() + end, QTextCursor::KeepAnchor);
        return true;
    }
    return false;
}

template <typename Each>
void forEachParagraphBlock(QTextDocument &qd, Each each)
{
    for (QTextBlock b = qd.begin(); b.isValid(); b = b.next()) {
        const DocxBlockOrigin *origin = blockOrigin(b.userData());
        if (origin && origin->source && origin->breakPiece < 0)
            each(b);
    }
}

void changeWordInEveryParagraph(QTextDocument &qd)
{
    forEachParagraphBlock(qd, [&](const QTextBlock &b) {
        QTextCursor word(&qd);
        if (!firstWord(b, word))
            return;
        const QString replacement = QString(word.selectedText().size(), word.selectedText().startsWith('X') ? 'Y' : 'X');
        QTextCursor inside(&qd);
        inside.setPosition(word.selectionStart() + 1);  // the format of the word itself, not of what follows
        word.insertText(replacement, inside.charFormat());
    });
}

void boldWordInEveryParagraph(QTextDocument &qd)
{
    forEachParagraphBlock(qd, [&](const QTextBlock &b) {
        QTextCursor word(&qd);
        if (!firstWord(b, word))
            return;
        QTextCharFormat bold;
        bold.setFontWeight(word.charFormat().fontWeight() >= QFont::Bold ? QFont::Normal : QFont::Bold);
        word.mergeCharFormat(bold);
    });
}

void deleteFirstRunOfEveryParagraph(QTextDocument &qd)
{
    forEachParagraphBlock(qd, [&](const QTextBlock &b) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const QTextCharFormat f = frag.charFormat();
            if (isContent(f) && !f.isImageFormat() && f.hasProperty(SourcePieceProperty) && frag.length() < b.length() - 1) {
                QTextCursor run(&qd);
                run.setPosition(frag.position());
                run.setPosition(frag.position() + frag.length(), QTextCursor::KeepAnchor);
                run.removeSelectedText();
                return;
            }
        }
    });
}

void insertParagraphAfterTheFirst(QTextDocument &qd)
{
    bool done = false;
    forEachParagraphBlock(qd, [&](const QTextBlock &b) {
        if (done || b.text().isEmpty())
            return;
        // As a host's user would: Enter at the end of the paragraph, then type, in the format of the text before (not
        // of a picture).
        QTextCursor c(b);
        c.movePosition(QTextCursor::EndOfBlock);
        const QTextCharFormat typed = c.charFormat().isImageFormat() ? b.charFormat() : c.charFormat();
        c.insertBlock(b.blockFormat(), typed);
        c.insertText(kInserted, typed);
        done = true;
    });
}

// ---- the whole-document re-save through the C interface ----

struct Resaved
{
    QStringList before, after;
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
    const QString src = dir.filePath("src.docx"), dst = dir.filePath("dst.docx");
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

void expectOnlyTheEditChanged(const QString &name, const EditResult &r)
{
    EXPECT_EQ(r.after, r.expected) << name.toStdString();
    EXPECT_EQ(r.markersAfter, r.markersBefore) << name.toStdString();
    EXPECT_EQ(r.paragraphsAfter, r.paragraphsBefore + r.blocksAdded) << name.toStdString();
}

}  // namespace

// Each edit on every real document: the file read back shows exactly the edited rich text, and every marker stays (at
// its place in the text where the edit kept the text's length).
TEST(ResaveEdits, EveryRealDocumentKeepsAllButTheEdit)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "four edits of every real document run in the build without the sanitizers (too slow there)";
#endif
    const QStringList files = corpusFiles();
    if (files.isEmpty())
        GTEST_SKIP() << "no corpus of real documents (set LXDOCX_CORPUS_DIR)";
    QTemporaryDir dir;
    const struct
    {
        const char *name;
        Edit edit;
        bool offsetsKept;
    } edits[] = {
        {"change a word", changeWordInEveryParagraph, true},
        {"make a word bold", boldWordInEveryParagraph, true},
        {"delete a run", deleteFirstRunOfEveryParagraph, false},
        {"insert a paragraph", insertParagraphAfterTheFirst, true},
    };
    int checked = 0;
    for (const auto &e : edits) {
        for (const QString &file : files) {
            const QString name = QFileInfo(file).fileName() + " (" + e.name + ")";
            const EditResult r = editAndReread(file, dir.filePath("edited.docx"), e.edit, e.offsetsKept);
            if (!r.opened)
                continue;
            ++checked;
            expectOnlyTheEditChanged(name, r);
        }
    }
    EXPECT_GT(checked, 0);
}

// Each loss seen on real files, in a small document whose every paragraph gets a word changed: pictures the Reader
// cannot show and pictures in links, character styles, tabs, bookmarks, a field closed in a paragraph of its own, a
// page reference's result, and run properties the rich text has no slot for.
TEST(ResaveEdits, EditedParagraphsKeepWhatTheEditDidNotTouch)
{
    auto field = [](const QByteArray &type) { return "<w:r><w:fldChar w:fldCharType=\"" + type + "\"/></w:r>"; };
    const QByteArray body =
        "<w:p><w:r><w:t xml:space=\"preserve\">alpha </w:t></w:r>" + picture("rIdEmf")
        + "<w:hyperlink r:id=\"rIdLink\">" + picture("rIdPng") + "<w:r><w:t>linked</w:t></w:r></w:hyperlink></w:p>"
        "<w:p><w:r><w:rPr><w:rStyle w:val=\"Strong\"/></w:rPr><w:t>strong words</w:t></w:r></w:p>"
        "<w:p><w:r><w:t>left</w:t><w:tab/><w:t>right</w:t></w:r></w:p>"
        "<w:p><w:r><w:t xml:space=\"preserve\">before </w:t></w:r><w:bookmarkStart w:id=\"1\" w:name=\"mark\"/>"
        "<w:r><w:t>marked</w:t></w:r><w:bookmarkEnd w:id=\"1\"/></w:p>"
        "<w:p>" + field("begin") + "<w:r><w:instrText xml:space=\"preserve\"> TOC \\o \"1-3\" </w:instrText></w:r>"
        + field("separate") + "<w:r><w:t xml:space=\"preserve\">contents </w:t></w:r>" + field("begin")
        + "<w:r><w:instrText xml:space=\"preserve\"> PAGEREF mark \\h </w:instrText></w:r>" + field("separate")
        + "<w:r><w:t>vii</w:t></w:r>" + field("end") + "</w:p>"
        "<w:p>" + field("end") + "</w:p>"
        "<w:p><w:r><w:rPr><w:rFonts w:eastAsia=\"MS Mincho\" w:cs=\"Arial\"/><w:smallCaps/><w:strike w:val=\"0\"/>"
        "<w:sz w:val=\"19\"/><w:highlight w:val=\"cyan\"/><w:shd w:val=\"clear\" w:fill=\"FFEEDD\"/><w:rtl w:val=\"0\"/>"
        "<w:lang w:val=\"fr-FR\"/></w:rPr><w:t>formatted text</w:t></w:r><w:r><w:t xml:space=\"preserve\"> plain</w:t>"
        "</w:r></w:p>";
    const QByteArray styles =
        "<w:styles xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:docDefaults><w:rPrDefault>"
        "<w:rPr><w:sz w:val=\"22\"/></w:rPr></w:rPrDefault></w:docDefaults>"
        "<w:style w:type=\"paragraph\" w:default=\"1\" w:styleId=\"Normal\"><w:rPr><w:sz w:val=\"28\"/></w:rPr></w:style>"
        "<w:style w:type=\"character\" w:styleId=\"Strong\"><w:rPr><w:b/><w:color w:val=\"C00000\"/></w:rPr></w:style>"
        "</w:styles>";
    QTemporaryDir dir;
    ASSERT_TRUE(writeFile(dir.filePath("src.docx"),
                          makePackage(documentXml(body), {{"word/styles.xml", styles},
                                                          relationships({{"rIdEmf", "image", "media/image1.emf"},
                                                                         {"rIdPng", "image", "media/image2.png"},
                                                                         {"rIdLink", "hyperlink", "https://example.org/"}}),
                                                          {"word/media/image1.emf", QByteArray(64, '\x01')},
                                                          {"word/media/image2.png", kPng}})));
    // A word made bold splits its run: the rest of the run, its character style and the markers around stay.
    expectOnlyTheEditChanged("bold", editAndReread(dir.filePath("src.docx"), dir.filePath("bold.docx"),
                                                   boldWordInEveryParagraph, true));
    const EditResult r = editAndReread(dir.filePath("src.docx"), dir.filePath("dst.docx"), changeWordInEveryParagraph, true);
    ASSERT_TRUE(r.opened);
    expectOnlyTheEditChanged("small document", r);
    const QByteArray xml = readEntries(dir.filePath("dst.docx")).value("word/document.xml");
    for (const QByteArray &kept :
         {QByteArray("r:embed=\"rIdEmf\""), QByteArray("<w:hyperlink r:id=\"rIdLink\"><w:r><w:drawing>"),
          QByteArray("<w:rStyle w:val=\"Strong\"/></w:rPr><w:t>XXXXXX words</w:t>"),
          QByteArray("<w:t>XXXX</w:t><w:tab/><w:t>right</w:t>"),
          QByteArray("<w:bookmarkStart w:id=\"1\" w:name=\"mark\"/><w:r><w:t>marked</w:t></w:r><w:bookmarkEnd w:id=\"1\"/>"),
          QByteArray("<w:t>vii</w:t>"), QByteArray("<w:p><w:r><w:fldChar w:fldCharType=\"end\"/></w:r></w:p>"),
          QByteArray("<w:rFonts w:cs=\"Arial\" w:eastAsia=\"MS Mincho\"/><w:smallCaps/><w:strike w:val=\"0\"/>"
                     "<w:sz w:val=\"19\"/><w:highlight w:val=\"cyan\"/><w:shd w:fill=\"FFEEDD\" w:val=\"clear\"/>"
                     "<w:rtl w:val=\"0\"/><w:lang w:val=\"fr-FR\"/></w:rPr><w:t>XXXXXXXXX text</w:t>"),
          QByteArray("<w:r><w:t xml:space=\"preserve\"> plain</w:t></w:r>")})
        EXPECT_TRUE(xml.contains(kept)) << kept.toStdString() << "\n" << xml.toStdString();

    // As read: half points stay, an on/off "0" is off, text without a style takes the default paragraph style, a
    // character style's bold and colour apply.
    std::unique_ptr<DocxDocument> doc(DocxReader::open(dir.filePath("src.docx")));
    QTextDocument qd;
    ASSERT_TRUE(DocxReader::populate(*doc, kWholeBody, &qd));
    QMap<QString, QTextCharFormat> byText;
    for (QTextBlock b = qd.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it)
            byText.insert(it.fragment().text(), it.fragment().charFormat());
    }
    const QTextCharFormat formatted = byText.value("formatted text"), strong = byText.value("strong words");
    EXPECT_EQ(formatted.fontPointSize(), 9.5);
    EXPECT_FALSE(formatted.fontStrikeOut());
    EXPECT_EQ(formatted.fontCapitalization(), QFont::SmallCaps);
    EXPECT_EQ(formatted.background().color(), QColor(Qt::cyan));  // the highlight shows over the shading
    EXPECT_EQ(byText.value(" plain").fontPointSize(), 14);
    EXPECT_TRUE(strong.fontWeight() >= QFont::Bold && strong.foreground().color() == QColor("#C00000"));
}

// Paragraphs joined into the one before them are gone from the file; one that was the only paragraph of its content
// control is emptied instead (keeping its properties), as a container needs a paragraph. Typed tabs become w:tab.
TEST(ResaveEdits, JoinedParagraphsGoButContainersKeepOne)
{
    const QByteArray body = "<w:p><w:r><w:t>one</w:t></w:r></w:p><w:sdt><w:sdtContent><w:p><w:pPr><w:ind w:left=\"5\"/>"
                            "</w:pPr><w:r><w:t>inside</w:t></w:r></w:p></w:sdtContent></w:sdt>"
                            "<w:p><w:r><w:t>two</w:t></w:r></w:p><w:p><w:r><w:t>three</w:t></w:r></w:p><w:p>"
        + picture("rIdPng") + "</w:p>";
    QTemporaryDir dir;
    ASSERT_TRUE(writeFile(dir.filePath("src.docx"),
                          makePackage(documentXml(body), {relationships({{"rIdPng", "image", "media/image1.png"}}),
                                                          {"word/media/image1.png", kPng}})));
    // Removes the end of the block before the one holding `text`, and that text too unless `keep`.
    const auto joinIntoPrevious = [](QTextDocument &qd, const QString &text, bool keep = false) {
        for (QTextBlock b = qd.begin(); b.isValid(); b = b.next()) {
            if (b.text() != text)
                continue;
            QTextCursor c(&qd);
            c.setPosition(b.previous().position() + b.previous().length() - 1);
            c.setPosition(keep ? b.position() : b.position() + b.length() - 1, QTextCursor::KeepAnchor);
            c.removeSelectedText();
            return;
        }
    };
    const EditResult r = editAndReread(dir.filePath("src.docx"), dir.filePath("dst.docx"), [&](QTextDocument &qd) {
        joinIntoPrevious(qd, "inside");
        joinIntoPrevious(qd, "three");
        joinIntoPrevious(qd, QString(QChar::ObjectReplacementCharacter), true);  // a picture's paragraph
        QTextCursor typed(qd.begin());
        typed.movePosition(QTextCursor::EndOfBlock);
        typed.insertText("\tmore");
    }, false);
    ASSERT_TRUE(r.opened && r.expected.size() == 2);
    EXPECT_EQ(r.after, QStringList({r.expected[0], "", r.expected[1]}));  // the emptied paragraph shows empty
    const QByteArray xml = readEntries(dir.filePath("dst.docx")).value("word/document.xml");
    EXPECT_TRUE(xml.contains("<w:sdtContent><w:p><w:pPr><w:ind w:left=\"5\"/></w:pPr></w:p></w:sdtContent>")) << xml.toStdString();
    EXPECT_FALSE(xml.contains("three")) << xml.toStdString();
    EXPECT_TRUE(xml.contains("<w:t>one</w:t><w:tab/><w:t>more</w:t>")) << xml.toStdString();
    EXPECT_EQ(xml.count("r:embed=\"rIdPng\""), 1);
    EXPECT_EQ(r.paragraphsAfter, r.paragraphsBefore - 2);
}

// Text stays in its paragraph whatever the body holds (tables first, after tables, nested, in content controls,
// merged cells, row-level controls); breaks and page fields come back; what the rich text cannot carry is kept.
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
    const QByteArray item = "<w:p><w:pPr><w:numPr><w:ilvl w:val=\"0\"/><w:numId w:val=\"3\"/></w:numPr></w:pPr><w:r><w:t>item</w:t></w:r></w:p>";
    const QByteArray numbering =
        "<w:numbering xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
        "<w:abstractNum w:abstractNumId=\"0\"><w:lvl w:ilvl=\"0\"><w:start w:val=\"1\"/><w:numFmt w:val=\"decimal\"/>"
        "<w:lvlText w:val=\"%1.\"/></w:lvl></w:abstractNum><w:num w:numId=\"3\"><w:abstractNumId w:val=\"0\"/></w:num>"
        "</w:numbering>";
    const Resaved r = resave(dir, tables + fields + "<w:p><w:r><w:t>kept </w:t></w:r><w:ins w:id=\"1\" w:author=\"A\">"
                                      + tracked + anchorLink + styled + "<w:p>" + picture("rId5") + "</w:p>" + item,
                             {relationships({{"rId5", "image", "media/image1.png"}}), {"word/media/image1.png", kPng},
                              {"word/numbering.xml", numbering}});
    EXPECT_EQ(r.before.size(), 25);
    EXPECT_EQ(r.after, r.before);  // list labels stay out of the text, fields keep their stored results
    EXPECT_EQ(r.after.mid(17, 2), QStringList({"onetwothree", "Page 7 of 12"}));
    EXPECT_EQ(r.body.count("<w:br/>") + r.body.count("<w:br w:type=\"page\"/>") * 10, 11);
    // Placeholders never reach the text; the fields are live again with their own instructions.
    EXPECT_EQ(r.body.count("fldCharType=\"begin\""), 3);
    for (const QByteArray &kept : {QByteArray("> PAGE </w:instrText>"), QByteArray("> NUMPAGES \\* MERGEFORMAT </w:instrText>"),
                                   QByteArray("> PAGEREF _Toc1 \\h </w:instrText>"), tracked, anchorLink, styled,
                                   QByteArray("r:embed=\"rId5\""), QByteArray("<wp:extent cx=\"95250\" cy=\"95250\"/>")})
        EXPECT_TRUE(r.body.contains(kept)) << kept.toStdString() << "\n" << r.body.toStdString();
    for (auto it = r.entries.cbegin(); it != r.entries.cend(); ++it)  // the picture reuses its part
        EXPECT_FALSE(it.key().startsWith("word/media/") && it.key() != "word/media/image1.png") << it.key().toStdString();
}

TEST(Resave, EveryRealDocumentKeepsItsText)
{
    LXDOCX_NEEDS_CORPUS();
    // One run of the tally tool over the corpus: every file that opens re-saves, and every body paragraph reads the
    // same in python-docx before and after.
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
