// The whole-document re-save, and rich-text edits written back: what an edit changed differs, all else stays.
#include "DocxReader.h"
#include "DocxWriter.h"
#include "EditTestSupport.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>

#include <functional>
#include <iostream>
#include <limits>

using namespace edit_support;

namespace {

std::string s(const QString &text) { return text.toStdString(); }
const DocxSectionRange kWholeBody{QString(), 0, std::numeric_limits<int>::max()};
const QString kInserted = QStringLiteral("Inserted paragraph");
const QByteArray kPng = QByteArray::fromBase64(
    "iVBORw0KGgoAAAANSUhEUgAAAAIAAAACCAIAAAD91JpzAAAAFklEQVR4nGP8z8DAwMDAxMDAwMDAAAANHQEDasKb6QAAAABJRU5ErkJggg==");

QByteArray picture(const char *rId)
{
    return "<w:r><w:drawing><wp:inline><wp:extent cx=\"95250\" cy=\"95250\"/><a:graphic><a:graphicData><pic:pic>"
           "<pic:blipFill><a:blip r:embed=\"" + QByteArray(rId) + "\"/></pic:blipFill></pic:pic></a:graphicData>"
           "</a:graphic></wp:inline></w:drawing></w:r>";
}
QByteArray run(const QByteArray &text) { return "<w:r><w:t xml:space=\"preserve\">" + text + "</w:t></w:r>"; }
QByteArray para(const QByteArray &text) { return "<w:p>" + run(text) + "</w:p>"; }
QByteArray cell(const QByteArray &content) { return "<w:tc>" + content + "</w:tc>"; }
QByteArray table(const QByteArray &r) { return "<w:tbl><w:tblGrid><w:gridCol/><w:gridCol/></w:tblGrid>" + r + "</w:tbl>"; }
QByteArray fldChar(const char *type) { return QByteArray("<w:r><w:fldChar w:fldCharType=\"") + type + "\"/></w:r>"; }
// A field of `code` showing `result`, closed unless `open`.
QByteArray field(const QByteArray &code, const QByteArray &result, bool open = false)
{
    return fldChar("begin") + "<w:r><w:instrText xml:space=\"preserve\">" + code + "</w:instrText></w:r>"
        + fldChar("separate") + run(result) + (open ? QByteArray() : fldChar("end"));
}

// A package of `body` with `parts`, and per {Id, type, Target} a relationship and a picture's part; its path.
QString source(const QTemporaryDir &dir, const QByteArray &body, const QList<QByteArrayList> &rels,
               std::vector<std::pair<QByteArray, QByteArray>> parts = {})
{
    QByteArray xml;
    for (const QByteArrayList &e : rels) {
        xml += relEntry(e[0], kRelType + e[1], e[2], e[1] == "hyperlink" ? "External" : nullptr);
        if (e[1] == "image")
            parts.push_back({"word/" + e[2], e[2].endsWith(".png") ? kPng : QByteArray(64, '\x01')});
    }
    parts.push_back({kRels.toUtf8(), relsPart(xml)});
    const QString path = dir.filePath("src.docx");
    EXPECT_TRUE(writeFile(path, makePackage(documentXml(body), parts)));
    return path;
}

bool isContent(const QTextCharFormat &f)
{
    return !f.boolProperty(ListLabelProperty) && !f.boolProperty(GeneratedTextProperty);
}

// Every character the rich text shows, block by block, each format (less its source piece) before its characters.
QStringList readerView(const QTextDocument &qd)
{
    QStringList view;
    for (QTextBlock b = qd.begin(); b.isValid(); b = b.next()) {
        if (blockOrigin(b.userData()) && !blockOrigin(b.userData())->source())
            continue;  // no paragraph: a block the rich text needs around a table
        QString line, last;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            QTextCharFormat f = it.fragment().charFormat();
            if (!isContent(f))
                continue;
            f.clearProperty(SourcePieceProperty);
            QString look = "[";
            const QMap<int, QVariant> all = f.properties();
            for (auto p = all.cbegin(); p != all.cend(); ++p)
                look += QString::number(p.key()) + "=" + p.value().toString() + ",";
            line += (look == last ? QString() : look + "]") + it.fragment().text();
            last = look;
        }
        view << line;
    }
    return view;
}

// What the source's paragraphs hold besides text, in document order (with the text characters before it: `offsets`).
QStringList markers(const DocxDocument &doc, bool offsets)
{
    static const QStringList kinds = {"bookmarkStart", "bookmarkEnd", "commentRangeStart", "commentRangeEnd", "fldChar",
                                      "instrText", "drawing", "pict", "footnoteReference", "endnoteReference", "proofErr",
                                      "fldSimple", "hyperlink", "ins", "del", "permStart", "permEnd", "sdt"};
    QStringList out;
    int chars = 0;
    const std::function<void(const QDomElement &)> visit = [&](const QDomElement &e) {
        const QString name = e.localName();
        chars += name == "t" ? int(e.text().size()) : 0;
        if (kinds.contains(name)) {
            QString mark = name + (name == "instrText" ? "," + e.text() : QString());
            for (const char *attr : {"name", "id", "fldCharType", "instr", "anchor"})
                mark += "," + e.attributeNS(wNamespace(), attr);
            out << (offsets ? mark + "@" + QString::number(chars) : mark);
        }
        for (QDomElement c = e.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
            visit(c);
    };
    for (const QDomElement &p : doc.body().paragraphs()) {
        chars = 0;
        if (paragraphText(p) != kInserted)
            visit(p);
    }
    return out;
}

using Edit = std::function<void(QTextDocument &)>;

struct EditResult
{
    bool opened = false;
    QStringList expected, after;  // the edited rich text, and what the saved file reads as
    int paragraphsBefore = 0, paragraphsAfter = 0;
};

bool startsSourceParagraph(const QTextBlock &b)
{
    const DocxBlockOrigin *origin = blockOrigin(b.userData());
    return origin && origin->source() && origin->breakPiece() < 0;
}

// Edits `path`'s rich text and saves it to `out`; given `name`, expects it read back as edited, markers kept.
EditResult editAndReread(const QString &path, const QString &out, const Edit &edit, bool offsets, const QString &name = {})
{
    std::unique_ptr<DocxDocument> doc = DocxDocument::open(path);
    if (!doc->isValid()) {
        ADD_FAILURE() << "cannot open " << path.toStdString() << ": " << doc->errorString().toStdString();
        return {};
    }
    const QStringList markersBefore = markers(*doc, offsets);
    EditResult r{true, {}, {}, doc->body().paragraphCount()};
    doc->body().dom();  // edited in place
    QTextDocument qd;
    if (!DocxReader::populate(*doc, kWholeBody, &qd))
        return {};  // no body to edit (strict markup)
    const DocxSourceList converted = DocxWriter::sourceParagraphs(qd);
    edit(qd);
    int blocksAdded = 0;  // blocks the Reader did not write
    for (QTextBlock b = qd.begin(); b.isValid(); b = b.next())
        blocksAdded += !b.userData();
    r.expected = readerView(qd);
    DocxWriter::writeBack(*doc, qd, converted);
    EXPECT_TRUE(doc->saveAs(out));
    std::unique_ptr<DocxDocument> saved = DocxDocument::open(out);
    EXPECT_TRUE(saved->isValid()) << saved->errorString().toStdString();
    QTextDocument reread;
    EXPECT_TRUE(DocxReader::populate(*saved, kWholeBody, &reread));
    r.after = readerView(reread);
    r.paragraphsAfter = saved->body().paragraphCount();
    if (!name.isEmpty()) {
        EXPECT_EQ(r.after, r.expected) << name.toStdString();
        EXPECT_EQ(markers(*saved, offsets), markersBefore) << name.toStdString();
        EXPECT_EQ(r.paragraphsAfter, r.paragraphsBefore + blocksAdded) << name.toStdString();
    }
    return r;
}

// Calls `each` on every paragraph's first source word (or, `wholeRun`, first text piece short of its whole block).
template <typename Each>
void forEachFirstWord(QTextDocument &qd, bool wholeRun, Each each)
{
    for (QTextBlock b = qd.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); startsSourceParagraph(b) && !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const QTextCharFormat f = frag.charFormat();
            if (!isContent(f) || f.isImageFormat() || !f.hasProperty(SourcePieceProperty))
                continue;
            const QString text = frag.text();
            qsizetype start = 0;
            while (!wholeRun && start < text.size() && !text[start].isLetter())
                ++start;
            qsizetype end = start;
            while (end < text.size() && (wholeRun || text[end].isLetter()))
                ++end;
            if (start == end || (wholeRun && frag.length() >= b.length() - 1))
                continue;
            QTextCursor word(&qd);
            word.setPosition(frag.position() + start);
            word.setPosition(frag.position() + end, QTextCursor::KeepAnchor);
            each(word);
            break;
        }
    }
}

const Edit kChangeWord = [](QTextDocument &qd) {
    forEachFirstWord(qd, false, [&](QTextCursor &word) {
        QTextCursor inside(&qd);
        inside.setPosition(word.selectionStart() + 1);  // the format of the word itself, not of what follows
        word.insertText(QString(word.selectedText().size(), word.selectedText().startsWith('X') ? 'Y' : 'X'),
                        inside.charFormat());
    });
};
const Edit kBoldWord = [](QTextDocument &qd) {
    forEachFirstWord(qd, false, [](QTextCursor &word) {
        QTextCharFormat bold;
        bold.setFontWeight(word.charFormat().fontWeight() >= QFont::Bold ? QFont::Normal : QFont::Bold);
        word.mergeCharFormat(bold);
    });
};
const Edit kDeleteRun = [](QTextDocument &qd) { forEachFirstWord(qd, true, [](auto &run) { run.removeSelectedText(); }); };
// As a user would: Enter at the end of the first paragraph with text, then type in the format of the text before.
const Edit kInsertParagraph = [](QTextDocument &qd) {
    for (QTextBlock b = qd.begin(); b.isValid(); b = b.next()) {
        if (!startsSourceParagraph(b) || b.text().isEmpty())
            continue;
        QTextCursor c(b);
        c.movePosition(QTextCursor::EndOfBlock);
        const QTextCharFormat typed = c.charFormat().isImageFormat() ? b.charFormat() : c.charFormat();
        c.insertBlock(b.blockFormat(), typed);
        c.insertText(kInserted, typed);
        return;
    }
};

QStringList paragraphTexts(const QString &path)
{
    const std::unique_ptr<DocxDocument> doc = DocxDocument::open(path);
    QStringList texts;
    for (const DocxParaInfo &p : doc->body().paragraphInfo())
        texts << p.text;
    return texts;
}

}  // namespace

// Real documents open or fail as documented, copy member for member, read back exactly as edited, re-save with text.
TEST(Corpus, EveryRealDocumentOpensCopiesAndKeepsAllButAnEdit)
{
    LXDOCX_NEEDS_CORPUS();
    const QString unzip = unzipProgram();
    ASSERT_FALSE(unzip.isEmpty()) << "unzip is needed";
    const QRegularExpression documented("^(Cannot open: |Not a valid ZIP \\(EOCD not found\\)|Corrupt ZIP: |Package too "
                                        "large|Not a valid DOCX: missing word/document.xml|XML parse error at line )");
    [[maybe_unused]] const struct { const char *name; Edit edit; bool offsetsKept; } edits[] = {
        {"change a word", kChangeWord, true}, {"make a word bold", kBoldWord, true},
        {"delete a run", kDeleteRun, false}, {"insert a paragraph", kInsertParagraph, true}};
    QTemporaryDir dir;
    QStringList copies;  // source, copy, source, copy ...: compared by Python's zipfile, member for member
    int opened = 0;
    for (const QString &file : corpusFiles()) {
        const QString name = QFileInfo(file).fileName();
        DocxHandle *h = lxDocx_open(file.toUtf8().constData());
        if (!h) {
            EXPECT_TRUE(documented.match(lxDocx_error(nullptr)).hasMatch()) << s(name) << ": " << lxDocx_error(nullptr);
            continue;
        }
        // Building the index reads the body; it must not count as an edit.
        const int count = h->doc->body().paragraphCount();
        EXPECT_EQ(h->doc->body().paragraphInfoAt(count - 1).index, qMax(0, count - 1));
        copies << file << dir.filePath(QString::number(++opened) + ".docx");
        EXPECT_EQ(lxDocx_save_as(h, copies.last().toUtf8().constData()), 1) << s(name);
        lxDocx_close(h);
        QString zipOut;
        EXPECT_EQ(run(unzip, {"-tqq", copies.last()}, &zipOut), 0) << s(name) << ": " << s(zipOut);
        for (const auto &e : edits) {  // four edits of every real document: too slow under the sanitizers
            if (!kSanitized)
                editAndReread(file, dir.filePath("edited.docx"), e.edit, e.offsetsKept, name + " (" + e.name + ")");
        }
    }
    EXPECT_GT(opened * 10, corpusFiles().size() * 9) << opened;  // nearly every real document opens
    QString stdOut, stdErr;
    EXPECT_EQ(run(systemPython(), QStringList{toolScript("check_docx.py"), "--copies"} + copies, &stdOut), 0) << s(stdOut);
    QStringList args = {toolScript("resave_tally.py"), LXDOCX_CLI, corpusDir(), dir.filePath("tally")};
    if (!kSanitized)
        args << "--render";  // LibreOffice's pages before and after (not under the sanitizers: too slow there)
    const int rc = run(systemPython(), args, &stdOut, &stdErr);
    std::cout << stdOut.toStdString();
    EXPECT_EQ(rc, 0) << s(stdErr);
    EXPECT_TRUE(stdOut.contains(QString("re-saved: %1,").arg(corpusFiles().size()))) << s(stdOut);
}

// Each loss once seen on real files stays mended when every paragraph of a small document gets a word changed.
TEST(ResaveEdits, EditedParagraphsKeepWhatTheEditDidNotTouch)
{
    const QByteArray props = "<w:rFonts w:cs=\"Arial\" w:eastAsia=\"MS Mincho\"/><w:smallCaps/><w:strike w:val=\"0\"/>"
                             "<w:sz w:val=\"19\"/><w:highlight w:val=\"cyan\"/><w:shd w:fill=\"FFEEDD\" w:val=\"clear\"/>"
                             "<w:rtl w:val=\"0\"/><w:lang w:val=\"fr-FR\"/>";
    const QByteArray body =
        "<w:p>" + run("alpha ") + picture("rIdEmf") + "<w:hyperlink r:id=\"rIdLink\">" + picture("rIdPng")
        + "<w:r><w:t>linked</w:t></w:r></w:hyperlink></w:p><w:p><w:r><w:rPr><w:rStyle w:val=\"Strong\"/></w:rPr>"
          "<w:t>strong words</w:t></w:r></w:p><w:p><w:r><w:t>left</w:t><w:tab/><w:t>right</w:t></w:r></w:p><w:p>"
        + run("before ") + "<w:bookmarkStart w:id=\"1\" w:name=\"mark\"/><w:r><w:t>marked</w:t></w:r>"
          "<w:bookmarkEnd w:id=\"1\"/></w:p><w:p>" + field(" TOC \\o \"1-3\" ", "contents ", true)
        + field(" PAGEREF mark \\h ", "vii") + "</w:p><w:p>" + fldChar("end") + "</w:p><w:p><w:r><w:rPr>" + props
        + "</w:rPr><w:t>formatted text</w:t></w:r>" + run(" plain") + "</w:p>";
    const QByteArray styles =
        "<w:styles xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:docDefaults><w:rPrDefault>"
        "<w:rPr><w:sz w:val=\"22\"/></w:rPr></w:rPrDefault></w:docDefaults><w:style w:type=\"paragraph\" w:default=\"1\" "
        "w:styleId=\"Normal\"><w:rPr><w:sz w:val=\"28\"/></w:rPr></w:style><w:style w:type=\"character\" "
        "w:styleId=\"Strong\"><w:rPr><w:b/><w:color w:val=\"C00000\"/></w:rPr></w:style></w:styles>";
    QTemporaryDir dir;
    const QString src = source(dir, body, {{"rIdEmf", "image", "media/image1.emf"}, {"rIdPng", "image", "media/image2.png"},
                                           {"rIdLink", "hyperlink", "https://example.org/"}}, {{"word/styles.xml", styles}});
    // A word made bold splits its run: the rest of the run, its character style and the markers around stay.
    editAndReread(src, dir.filePath("bold.docx"), kBoldWord, true, "bold");
    ASSERT_TRUE(editAndReread(src, dir.filePath("dst.docx"), kChangeWord, true, "small document").opened);
    const QByteArray xml = readEntries(dir.filePath("dst.docx")).value("word/document.xml");
    for (const QByteArray &kept : QByteArrayList{
             "r:embed=\"rIdEmf\"", "<w:hyperlink r:id=\"rIdLink\"><w:r><w:drawing>",
             "<w:rStyle w:val=\"Strong\"/></w:rPr><w:t>XXXXXX words</w:t>", "<w:t>XXXX</w:t><w:tab/><w:t>right</w:t>",
             "<w:bookmarkStart w:id=\"1\" w:name=\"mark\"/><w:r><w:t>marked</w:t></w:r><w:bookmarkEnd w:id=\"1\"/>",
             run("vii"), "<w:p>" + fldChar("end") + "</w:p>", props + "</w:rPr><w:t>XXXXXXXXX text</w:t>", run(" plain")})
        EXPECT_TRUE(xml.contains(kept)) << kept.toStdString() << "\n" << xml.toStdString();
    // As read: half points, an off "0", the default paragraph style, a character style's bold and colour.
    std::unique_ptr<DocxDocument> doc = DocxDocument::open(src);
    QTextDocument qd;
    ASSERT_TRUE(DocxReader::populate(*doc, kWholeBody, &qd));
    const QTextCharFormat formatted = qd.find("formatted text").charFormat(), strong = qd.find("strong words").charFormat();
    EXPECT_TRUE(formatted.fontPointSize() == 9.5 && !formatted.fontStrikeOut()) << formatted.fontPointSize();
    EXPECT_EQ(qd.find(" plain").charFormat().fontPointSize(), 14);
    EXPECT_TRUE(formatted.fontCapitalization() == QFont::SmallCaps && formatted.background().color() == QColor(Qt::cyan));
    EXPECT_TRUE(strong.fontWeight() >= QFont::Bold && strong.foreground().color() == QColor("#C00000"));
}

// Joined paragraphs leave the file, a control's only paragraph is emptied instead; typed tabs become w:tab.
TEST(ResaveEdits, JoinedParagraphsGoButContainersKeepOne)
{
    QTemporaryDir dir;
    const QString src = source(dir, para("one") + "<w:sdt><w:sdtContent><w:p><w:pPr><w:ind w:left=\"5\"/></w:pPr><w:r>"
                                     "<w:t>inside</w:t></w:r></w:p></w:sdtContent></w:sdt>" + para("two") + para("three")
                                     + "<w:p>" + picture("rIdPng") + "</w:p>", {{"rIdPng", "image", "media/image1.png"}});
    // Removes the end of the block before the one holding `text`, and that text too unless `keep`.
    const auto joinIntoPrevious = [](QTextDocument &qd, const QString &text, bool keep = false) {
        const QTextBlock b = qd.find(text).block();
        QTextCursor c(&qd);
        c.setPosition(b.position() - 1);
        c.setPosition(keep ? b.position() : b.position() + b.length() - 1, QTextCursor::KeepAnchor);
        c.removeSelectedText();
    };
    const EditResult r = editAndReread(src, dir.filePath("dst.docx"), [&](QTextDocument &qd) {
        joinIntoPrevious(qd, "inside");
        joinIntoPrevious(qd, "three");
        joinIntoPrevious(qd, QString(QChar::ObjectReplacementCharacter), true);  // a picture's paragraph
        QTextCursor typed(qd.begin());
        typed.movePosition(QTextCursor::EndOfBlock);
        typed.insertText("\tmore");
    }, false);
    ASSERT_TRUE(r.opened && r.expected.size() == 2);
    EXPECT_EQ(r.after, QStringList({r.expected[0], "", r.expected[1]}));  // the emptied paragraph shows empty
    EXPECT_EQ(r.paragraphsAfter, r.paragraphsBefore - 2);
    const QByteArray xml = readEntries(dir.filePath("dst.docx")).value("word/document.xml");
    EXPECT_TRUE(xml.contains("<w:sdtContent><w:p><w:pPr><w:ind w:left=\"5\"/></w:pPr></w:p></w:sdtContent>")
                && !xml.contains("three") && xml.contains("<w:t>one</w:t><w:tab/><w:t>more</w:t>")
                && xml.count("r:embed=\"rIdPng\"") == 1) << xml.toStdString();
}

// Re-saved text stays in its paragraph through any tables and controls; what the rich text cannot carry is kept.
TEST(Resave, TextStaysInItsParagraphAndWhatTheRichTextCannotCarryIsKept)
{
    const auto row = [](const QByteArray &a, const QByteArray &b) { return "<w:tr>" + cell(a) + cell(b) + "</w:tr>"; };
    const auto merged = [](const QByteArray &how, const QByteArray &a) {
        return "<w:tc><w:tcPr><w:vMerge" + how + "/></w:tcPr>" + a + "</w:tc>";
    };
    const QByteArray tables =
        table(row(para("A1") + para("A1b"), table(row(para("N1"), para("N2"))) + para("after nested")) + "<w:tr>"
              + merged(" w:val=\"restart\"", para("M")) + cell(para("B2")) + "</w:tr><w:tr>"
              + merged("", para("continued")) + cell(para("C2")) + "</w:tr><w:sdt><w:sdtContent>"
              + row(para("wrapped row"), para("W2")) + "</w:sdtContent></w:sdt>")
        + para("between") + table(row(para("T"), para("U"))) + "<w:sdt><w:sdtContent>" + para("in control")
        + table("<w:tr>" + cell(para("ctl cell")) + "</w:tr>") + "</w:sdtContent></w:sdt>" + para("last");
    const QByteArray fields =
        "<w:p><w:r><w:t>one</w:t><w:br/><w:t>two</w:t><w:br w:type=\"page\"/><w:t>three</w:t></w:r></w:p><w:p>"
        + run("Page ") + field(" PAGE ", "7") + run(" of ") + field(" NUMPAGES \\* MERGEFORMAT ", "12") + "</w:p><w:p>"
        + run("see page ") + field(" PAGEREF _Toc1 \\h ", "3") + "</w:p>";
    const QByteArray tracked = "<w:r><w:t>inserted</w:t></w:r></w:ins><w:r><w:footnoteReference w:id=\"2\"/></w:r></w:p>";
    const QByteArray anchorLink = "<w:p><w:hyperlink w:anchor=\"intro\"><w:r><w:t>see intro</w:t></w:r></w:hyperlink></w:p>";
    const QByteArray styled = "<w:p><w:r><w:rPr><w:rStyle w:val=\"Strong\"/><w:sz w:val=\"19\"/></w:rPr><w:t>styled</w:t>"
                              "<w:tab/><w:t>half</w:t></w:r><w:bookmarkStart w:id=\"0\" w:name=\"b\"/><w:r><w:t>marked</w:t>"
                              "</w:r><w:bookmarkEnd w:id=\"0\"/></w:p>";
    const QByteArray item =
        "<w:p><w:pPr><w:numPr><w:ilvl w:val=\"0\"/><w:numId w:val=\"3\"/></w:numPr></w:pPr>" + run("item") + "</w:p>";
    const QByteArray numbering = "<w:numbering xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
                                 "<w:abstractNum w:abstractNumId=\"0\"><w:lvl w:ilvl=\"0\"><w:numFmt w:val=\"decimal\"/>"
                                 "<w:lvlText w:val=\"%1.\"/></w:lvl></w:abstractNum><w:num w:numId=\"3\"><w:abstractNumId "
                                 "w:val=\"0\"/></w:num></w:numbering>";
    QTemporaryDir dir;
    const QString src = source(dir, tables + fields + "<w:p>" + run("kept ") + "<w:ins w:id=\"1\" w:author=\"A\">"
                                        + tracked + anchorLink + styled + "<w:p>" + picture("rId5") + "</w:p>" + item,
                               {{"rId5", "image", "media/image1.png"}}, {{"word/numbering.xml", numbering}});
    const QString dst = dir.filePath("dst.docx");
    ASSERT_EQ(lxDocx_resave_full(src.toUtf8().constData(), dst.toUtf8().constData()), 1) << lxDocx_error(nullptr);
    const QStringList before = paragraphTexts(src), after = paragraphTexts(dst);
    const DocxEntryMap entries = readEntries(dst);
    const QByteArray xml = entries.value("word/document.xml");
    EXPECT_EQ(before.size(), 25);
    EXPECT_EQ(after, before);  // list labels stay out of the text, fields keep their stored results
    EXPECT_EQ(after.mid(17, 2), QStringList({"onetwothree", "Page 7 of 12"}));
    EXPECT_EQ(xml.count("<w:br/>") + xml.count("<w:br w:type=\"page\"/>") * 10, 11);
    // Placeholders never reach the text; the fields are live again with their own instructions.
    EXPECT_EQ(xml.count("fldCharType=\"begin\""), 3);
    for (const QByteArray &kept : QByteArrayList{"> PAGE </w:instrText>", "> NUMPAGES \\* MERGEFORMAT </w:instrText>",
                                                 "> PAGEREF _Toc1 \\h </w:instrText>", tracked, anchorLink, styled,
                                                 "r:embed=\"rId5\"", "<wp:extent cx=\"95250\" cy=\"95250\"/>"})
        EXPECT_TRUE(xml.contains(kept)) << kept.toStdString() << "\n" << xml.toStdString();
    EXPECT_EQ(entries.keys().filter("word/media/"), QStringList({"word/media/image1.png"}));  // the picture reuses its part
}
