// The Reader: document bodies into rich text — geometry, the pipeline,
// paragraphs, lists, runs and fields, images, tables, bad input and the corpus.
#include "ReaderTestSupport.h"

#include <QBuffer>
#include <QDate>
#include <QImage>
#include <QLocale>
#include <QTextCursor>
#include <QTextFrame>
#include <QTextImageFormat>
#include <QTextTable>

#include <zlib.h>

using namespace reader_testing;

namespace {

const QString kPagePh = QString(QChar(kPageNumberPlaceholder));
const QString kCountPh = QString(QChar(kPageCountPlaceholder));

QByteArray level(int ilvl, const QByteArray &fmt, const QByteArray &text, int start = 1, const QByteArray &extra = {})
{
    return "<w:lvl w:ilvl=\"" + QByteArray::number(ilvl) + "\"><w:start w:val=\"" + QByteArray::number(start)
        + "\"/><w:numFmt w:val=\"" + fmt + "\"/><w:lvlText w:val=\"" + text + "\"/>" + extra + "</w:lvl>";
}

QByteArray numbering(const QByteArray &levels, const QByteArray &nums = {})
{
    return wPart("numbering", "<w:abstractNum w:abstractNumId=\"0\">" + levels + "</w:abstractNum>"
                                  + "<w:num w:numId=\"1\"><w:abstractNumId w:val=\"0\"/></w:num>" + nums);
}

QByteArray item(const QByteArray &text, int numId, int ilvl = 0)
{
    return para(text, "<w:numPr><w:ilvl w:val=\"" + QByteArray::number(ilvl) + "\"/><w:numId w:val=\""
                          + QByteArray::number(numId) + "\"/></w:numPr>");
}

QByteArray fieldRuns(const QByteArray &instr, const QByteArray &result)
{
    return "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText>" + instr
        + "</w:instrText></w:r><w:r><w:fldChar w:fldCharType=\"separate\"/></w:r><w:r><w:t>" + result
        + "</w:t></w:r><w:r><w:fldChar w:fldCharType=\"end\"/></w:r>";
}

QByteArray tbl(const QByteArray &rows, int gridCols, const QByteArray &style = {})
{
    QByteArray grid;
    for (int i = 0; i < gridCols; ++i)
        grid += "<w:gridCol w:w=\"1000\"/>";
    const QByteArray tblPr = style.isEmpty() ? QByteArray() : "<w:tblPr><w:tblStyle w:val=\"" + style + "\"/></w:tblPr>";
    return "<w:tbl>" + tblPr + "<w:tblGrid>" + grid + "</w:tblGrid>" + rows + "</w:tbl>";
}

QByteArray tc(const QByteArray &content, const QByteArray &tcPr = {})
{
    return "<w:tc><w:tcPr>" + tcPr + "</w:tcPr>" + content + "</w:tc>";
}

QByteArray tr(const QByteArray &cells) { return "<w:tr>" + cells + "</w:tr>"; }

QTextTable *firstTable(const QTextDocument &qd)
{
    for (QTextFrame *f : qd.rootFrame()->childFrames()) {
        if (auto *t = qobject_cast<QTextTable *>(f))
            return t;
    }
    return nullptr;
}

QString cellText(QTextTable *t, int row, int col)
{
    QTextCursor c = t->cellAt(row, col).firstCursorPosition();
    c.setPosition(t->cellAt(row, col).lastCursorPosition().position(), QTextCursor::KeepAnchor);
    return c.selectedText();
}

QByteArray imageBytes(int w, int h, const char *format)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::blue);
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, format);
    return buf.data();
}

void appendBigEndian(QByteArray &out, quint32 v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((v >> shift) & 0xFF));
}

QByteArray pngChunk(const QByteArray &type, const QByteArray &data)
{
    QByteArray chunk;
    appendBigEndian(chunk, quint32(data.size()));
    const QByteArray body = type + data;
    chunk += body;
    appendBigEndian(chunk, quint32(crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))));
    return chunk;
}

// A PNG whose header declares `w` x `h` pixels, with no pixel data behind it.
QByteArray pngHeaderOnly(quint32 w, quint32 h)
{
    QByteArray ihdr;
    appendBigEndian(ihdr, w);
    appendBigEndian(ihdr, h);
    ihdr.append("\x08\x02\x00\x00\x00", 5);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr) + pngChunk("IDAT", {}) + pngChunk("IEND", {});
}

QByteArray drawingRun(const QByteArray &rId, const QByteArray &extent = {}, const QByteArray &container = "inline")
{
    return "<w:r><w:drawing><wp:" + container + ">" + extent + "<a:graphic><a:graphicData><pic:pic><pic:blipFill><a:blip r:embed=\""
        + rId + "\"/></pic:blipFill></pic:pic></a:graphicData></a:graphic></wp:" + container + "></w:drawing></w:r>";
}

QByteArray extent(qint64 cx, qint64 cy)
{
    return "<wp:extent cx=\"" + QByteArray::number(cx) + "\" cy=\"" + QByteArray::number(cy) + "\"/>";
}

Parts imageParts(const QByteArray &target, const QByteArray &bytes, const QByteArray &path = {})
{
    return {{"word/_rels/document.xml.rels", relsPart(relationship("rId7", "image", target))},
            {path.isEmpty() ? "word/" + target : path, bytes}};
}

QList<QTextImageFormat> images(const QTextDocument &qd)
{
    QList<QTextImageFormat> found;
    for (QTextBlock b = qd.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().isImageFormat())
                found << it.fragment().charFormat().toImageFormat();
        }
    }
    return found;
}

}  // namespace

// ---- page geometry ---------------------------------------------------------------

TEST(ReaderGeometry, DefaultsWithoutSectionAndLastSectionWins)
{
    LogCapture log;
    Package none(para("x"));
    EXPECT_EQ(readPageSizePx(none.doc()), QSizeF(816, 1056));
    EXPECT_DOUBLE_EQ(DocxReader::readMarginsPx(none.doc()).left, 72.0);
    EXPECT_TRUE(log.contains("readMarginsPx: no sectPr found"));

    Package two(para("a", sectPr("<w:pgSz w:w=\"5000\" w:h=\"5000\"/><w:pgMar w:left=\"3000\"/>"))
                + sectPr("<w:pgSz w:w=\"12240\" w:h=\"15840\"/><w:pgMar w:left=\"0\" w:right=\"1440\" w:top=\"-5\" "
                         "w:header=\"360\" w:gutter=\"720\"/><w:mirrorMargins/>"));
    EXPECT_EQ(readPageSizePx(two.doc()), QSizeF(816, 1056));
    const DocxReader::DocxMargins m = DocxReader::readMarginsPx(two.doc());
    EXPECT_DOUBLE_EQ(m.left, 72.0);   // 0 keeps the default
    EXPECT_DOUBLE_EQ(m.top, 72.0);    // so does a negative value
    EXPECT_DOUBLE_EQ(m.right, 96.0);
    EXPECT_DOUBLE_EQ(m.header, 24.0);
    EXPECT_DOUBLE_EQ(m.gutter, 48.0);
    EXPECT_TRUE(m.mirror);

    Package zeroHeight(sectPr("<w:pgSz w:w=\"5000\" w:h=\"0\"/>"));
    EXPECT_EQ(readPageSizePx(zeroHeight.doc()), QSizeF(816, 1056));
}

TEST(ReaderGeometry, MirrorFromSettingsBytesAndAccessorsByLocalName)
{
    Package p(sectPr("<w:pgMar w:left=\"1440\"/>"),
              {{"word/settings.xml", wPart("settings", "<w:mirrorMargins w:val=\"false\"/>")}});
    EXPECT_TRUE(DocxReader::readMarginsPx(p.doc()).mirror);

    QDomDocument dom;
    QString err;
    ASSERT_TRUE(parseXml("<x xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" xmlns:o=\"o\">"
                         "<o:pgSz w:w=\"300\" o:h=\"9\" h=\"9\"/><w:pgSz w:w=\"600\"/></x>",
                         dom, err));
    const QDomElement first = firstChildByLocalName(dom.documentElement(), "pgSz");
    EXPECT_EQ(first.namespaceURI(), "o");  // any namespace
    EXPECT_EQ(wAttr(first, "w"), "300");
    EXPECT_EQ(wAttr(first, "h"), "");      // only attributes in the main namespace count
    double px = 5;
    twipsAttrToPx(first, "w", &px);
    EXPECT_DOUBLE_EQ(px, 20.0);
    twipsAttrToPx(first, "missing", &px);
    EXPECT_DOUBLE_EQ(px, 20.0);
}

// ---- pipeline ------------------------------------------------------------------

TEST(ReaderPipeline, RangeSelectsParagraphsAndFirstFillsTheInitialBlock)
{
    Package p(para("A") + para("B") + para("C") + para("D") + para("E")
              + sectPr("<w:pgSz w:w=\"12240\" w:h=\"15840\"/><w:pgMar w:left=\"720\" w:right=\"1440\" w:top=\"1440\" "
                       "w:bottom=\"2880\"/>"));
    QTextDocument qd;
    ASSERT_TRUE(p.populate(qd, 3, 5));
    EXPECT_EQ(blockTexts(qd), QStringList({"D", "E"}));
    EXPECT_EQ(qd.pageSize(), QSizeF(816, 1056));
    const QTextFrameFormat frame = qd.rootFrame()->frameFormat();
    EXPECT_DOUBLE_EQ(frame.leftMargin(), 48.0);
    EXPECT_DOUBLE_EQ(frame.bottomMargin(), 192.0);
    EXPECT_DOUBLE_EQ(qd.documentMargin(), 0.0);

    QTextDocument untouched;
    untouched.setPlainText("keep");
    EXPECT_FALSE(p.populate(untouched, 2, 2));
    EXPECT_FALSE(p.populate(untouched, -1, 3));
    EXPECT_FALSE(DocxReader::populate(p.doc(), {QString(), 0, 1}, nullptr));
    EXPECT_EQ(untouched.toPlainText(), "keep");
}

TEST(ReaderPipeline, TablesOverlappingTheRangeAreConvertedWhole)
{
    const QByteArray table = tbl(tr(tc(para("t1")) + tc(para("t2")) + tc(para("t3")))
                                     + tr(tc(para("t4")) + tc(para("t5")) + tc(para("t6"))),
                                 3);
    Package p(para("a") + para("b") + table + para("after"));
    QTextDocument straddled;
    ASSERT_TRUE(p.populate(straddled, 5, 6));
    ASSERT_NE(firstTable(straddled), nullptr);
    EXPECT_EQ(cellText(firstTable(straddled), 1, 2), "t6");
    EXPECT_EQ(blockTexts(straddled).first(), "");  // the empty block before a first table stays

    QTextDocument after;
    ASSERT_TRUE(p.populate(after, 8, 9));
    EXPECT_EQ(firstTable(after), nullptr);
    EXPECT_EQ(blockTexts(after), QStringList({"after"}));
}

TEST(ReaderPipeline, TableOfContentsControlsAreSkippedButCounted)
{
    const QByteArray toc = "<w:sdt><w:sdtPr><w:alias w:val=\"TABLE OF Contents\"/></w:sdtPr><w:sdtContent>" + para("toc1")
        + para("toc2") + "</w:sdtContent></w:sdt>";
    const QByteArray gallery = "<w:sdt><w:sdtPr><w:docPartObj><w:docPartGallery w:val=\"Table of Contents\"/>"
                               "</w:docPartObj></w:sdtPr><w:sdtContent>"
        + para("toc3") + "</w:sdtContent></w:sdt>";
    const QByteArray summary = "<w:sdt><w:sdtPr><w:tag w:val=\"Summary\"/></w:sdtPr><w:sdtContent>" + para("s1")
        + tbl(tr(tc(para("s2"))), 1) + "</w:sdtContent></w:sdt>";
    Package p(toc + gallery + summary + para("end"));
    QTextDocument qd;
    QList<DocxBlockSource> sources;
    ASSERT_TRUE(p.populate(qd, 0, -1, &sources));
    EXPECT_EQ(blockTexts(qd), QStringList({"s1", "s2", "end"}));  // a table in a control comes out flat
    ASSERT_EQ(sources.size(), 3);
    EXPECT_EQ(sources.last().paragraph, p.doc().paragraphs().at(5));

    QTextDocument onlyEnd;
    ASSERT_TRUE(p.populate(onlyEnd, 5, 6));
    EXPECT_EQ(blockTexts(onlyEnd), QStringList({"end"}));
}

TEST(ReaderPipeline, ItemsOfOneListAtOneLevelLoseTheSpacingBetweenThem)
{
    const QByteArray spaced = "<w:spacing w:before=\"120\" w:after=\"120\"/>";
    auto spacedItem = [&](const char *text, int numId) {
        return para(text, "<w:numPr><w:ilvl w:val=\"0\"/><w:numId w:val=\"" + QByteArray::number(numId) + "\"/></w:numPr>"
                              + spaced);
    };
    Package p(spacedItem("a", 4) + spacedItem("b", 4) + spacedItem("c", 5),
              {{"word/numbering.xml",
                numbering(level(0, "decimal", "%1."), "<w:num w:numId=\"4\"><w:abstractNumId w:val=\"0\"/></w:num>"
                                                      "<w:num w:numId=\"5\"><w:abstractNumId w:val=\"0\"/></w:num>")}});
    QTextDocument qd;
    ASSERT_TRUE(p.populate(qd));
    const QTextBlock a = qd.begin(), b = a.next(), c = b.next();
    EXPECT_DOUBLE_EQ(a.blockFormat().bottomMargin(), 0.0);
    EXPECT_DOUBLE_EQ(b.blockFormat().topMargin(), 0.0);
    EXPECT_DOUBLE_EQ(b.blockFormat().bottomMargin(), 8.0);  // list 4 followed by list 5
    EXPECT_DOUBLE_EQ(c.blockFormat().topMargin(), 8.0);
}

TEST(ReaderPipeline, SourceRecordsNameTheBlocksOfEachConvertedParagraph)
{
    const QByteArray broken = "<w:p><w:r><w:t>one</w:t><w:br/><w:t>two</w:t><w:br w:type=\"page\"/><w:t>three</w:t></w:r></w:p>";
    const QByteArray tocLine = "<w:p><w:pPr><w:tabs><w:tab w:val=\"right\" w:leader=\"dot\" w:pos=\"9000\"/></w:tabs></w:pPr>"
                               "<w:r><w:t>Intro</w:t><w:tab/><w:t>3</w:t></w:r></w:p>";
    const QByteArray merged = tbl(tr(tc(para("top"), "<w:vMerge w:val=\"restart\"/>")) + tr(tc(para("gone"), "<w:vMerge/>")), 1);
    Package p(para("skipped") + broken + merged + tocLine);
    QTextDocument qd;
    QList<DocxBlockSource> sources;
    ASSERT_TRUE(p.populate(qd, 1, 5, &sources));
    ASSERT_EQ(sources.size(), 3);  // out-of-range and continuation-cell paragraphs have none
    EXPECT_EQ(sources[0].paragraph, p.doc().paragraphs().at(1));
    EXPECT_EQ(sources[0].lastBlock - sources[0].firstBlock, 2);
    EXPECT_EQ(qd.findBlockByNumber(sources[0].lastBlock).text(), "three");
    EXPECT_EQ(qd.findBlockByNumber(sources[1].firstBlock).text(), "top");
    EXPECT_FALSE(sources[1].tocLine);
    EXPECT_TRUE(sources[2].tocLine);
    EXPECT_TRUE(qd.findBlockByNumber(sources[2].firstBlock).text().startsWith("Intro . . ."));
}

// ---- paragraphs ----------------------------------------------------------------

TEST(ReaderParagraphs, AlignmentIndentsAndLineHeights)
{
    Package p(para("just", "<w:jc w:val=\"both\"/><w:ind w:firstLine=\"720\"/>")
                  + para("centre", "<w:jc w:val=\"center\"/><w:ind w:firstLine=\"720\" w:left=\"0\" w:right=\"300\"/>")
                  + para("hang", "<w:ind w:hanging=\"360\"/><w:spacing w:line=\"240\"/>")
                  + para("auto", "<w:spacing w:line=\"360\" w:lineRule=\"exact\"/>")
                  + para("exact", "<w:pStyle w:val=\"Exact\"/><w:spacing w:line=\"300\"/>")
                  + para("break", "<w:pageBreakBefore w:val=\"0\"/>"),
              {{"word/styles.xml",
                stylesPart(paragraphStyle("Exact", "<w:pPr><w:spacing w:line=\"200\" w:lineRule=\"exact\"/></w:pPr>"))}});
    QTextDocument qd;
    ASSERT_TRUE(p.populate(qd));
    const QTextBlockFormat just = blockStartingWith(qd, "just").blockFormat();
    EXPECT_EQ(just.alignment(), Qt::AlignJustify);
    EXPECT_DOUBLE_EQ(just.textIndent(), 48.0);
    const QTextBlockFormat centre = blockStartingWith(qd, "centre").blockFormat();
    EXPECT_EQ(centre.alignment(), Qt::AlignHCenter);
    EXPECT_DOUBLE_EQ(centre.textIndent(), 0.0);
    EXPECT_DOUBLE_EQ(centre.rightMargin(), 20.0);
    const QTextBlockFormat hang = blockStartingWith(qd, "hang").blockFormat();
    EXPECT_DOUBLE_EQ(hang.textIndent(), -24.0);
    EXPECT_FALSE(hang.hasProperty(QTextFormat::LineHeight));
    const QTextBlockFormat autoRule = blockStartingWith(qd, "auto").blockFormat();  // the rule comes from the style
    EXPECT_EQ(autoRule.lineHeightType(), int(QTextBlockFormat::ProportionalHeight));
    EXPECT_DOUBLE_EQ(autoRule.lineHeight(), 150.0);
    const QTextBlockFormat exact = blockStartingWith(qd, "exact").blockFormat();
    EXPECT_EQ(exact.lineHeightType(), int(QTextBlockFormat::FixedHeight));
    EXPECT_DOUBLE_EQ(exact.lineHeight(), 20.0);
    EXPECT_EQ(blockStartingWith(qd, "break").blockFormat().pageBreakPolicy(), QTextFormat::PageBreak_AlwaysBefore);
}

TEST(ReaderParagraphs, SpacingMergesWithTheStyleAndIsDroppedInCells)
{
    const QByteArray spacing = "<w:spacing w:before=\"120\" w:after=\"240\"/>";
    Package p(para("body", spacing) + para("zero", "<w:pStyle w:val=\"Spaced\"/><w:spacing w:after=\"0\"/>")
                  + tbl(tr(tc(para("cell", spacing))), 1),
              {{"word/styles.xml",
                stylesPart(paragraphStyle("Spaced", "<w:pPr><w:spacing w:after=\"200\"/></w:pPr><w:rPr><w:b/>"
                                                    "<w:sz w:val=\"28\"/><w:rFonts w:ascii=\"Courier\"/></w:rPr>"))}});
    QTextDocument qd;
    ASSERT_TRUE(p.populate(qd));
    const QTextBlockFormat body = blockStartingWith(qd, "body").blockFormat();
    EXPECT_DOUBLE_EQ(body.topMargin(), 8.0);
    EXPECT_DOUBLE_EQ(body.bottomMargin(), 16.0);
    EXPECT_NEAR(blockStartingWith(qd, "zero").blockFormat().bottomMargin(), 13.333, 0.001);
    const QTextCharFormat styled = formatOf(qd, "zero");
    EXPECT_EQ(styled.fontWeight(), 700);
    EXPECT_DOUBLE_EQ(styled.fontPointSize(), 14.0);
    EXPECT_EQ(styled.fontFamilies().toStringList(), QStringList({"Courier"}));
    const QTextBlockFormat cell = blockStartingWith(qd, "cell").blockFormat();
    EXPECT_FALSE(cell.hasProperty(QTextFormat::BlockTopMargin));
    EXPECT_FALSE(cell.hasProperty(QTextFormat::BlockBottomMargin));
}

TEST(ReaderParagraphs, DotLeaderTabsMakeTableOfContentsLines)
{
    const QByteArray rightDot = "<w:tabs><w:tab w:val=\"right\" w:leader=\"dot\" w:pos=\"9360\"/>"
                                "<w:tab w:val=\"clear\" w:pos=\"100\"/></w:tabs>";
    const QByteArray link = "<w:hyperlink w:anchor=\"_Toc1\"><w:r><w:t>Introduction</w:t></w:r><w:r><w:tab/></w:r>"
        + fieldRuns(" PAGEREF _Toc1 \\h ", "4") + "</w:hyperlink>";
    Package p("<w:p><w:pPr>" + rightDot + "</w:pPr>" + link + "</w:p>"
              + "<w:p><w:pPr><w:tabs><w:tab w:val=\"left\" w:leader=\"middleDot\" w:pos=\"9360\"/></w:tabs></w:pPr>"
              + "<w:r><w:t>Short</w:t><w:tab/><w:t>9</w:t></w:r></w:p>");
    QTextDocument qd;
    ASSERT_TRUE(p.populate(qd));
    const QTextBlock first = qd.begin();
    const QList<QTextOption::Tab> tabs = first.blockFormat().tabPositions();
    ASSERT_EQ(tabs.size(), 1);
    EXPECT_DOUBLE_EQ(tabs[0].position, 624.0);
    EXPECT_EQ(tabs[0].type, QTextOption::RightTab);
    EXPECT_EQ(tabs[0].delimiter, QChar('.'));
    const QString line = first.text();
    EXPECT_TRUE(line.startsWith("Introduction . . . . ")) << line.toStdString();
    EXPECT_TRUE(line.endsWith("\t" + kPagePh));
    EXPECT_GT(line.count(". "), 10);  // the leader fills the gap up to the right tab
    EXPECT_EQ(first.next().text(), "Short . . . \t9");  // no right tab: three pairs
}

// ---- lists ---------------------------------------------------------------------

TEST(ReaderLists, NumberFormatsAndBullets)
{
    EXPECT_EQ(toLetters(28, false), "ab");
    EXPECT_EQ(toLetters(702, false), "zz");
    EXPECT_EQ(toLetters(703, true), "AAA");
    EXPECT_EQ(toLetters(0, false), "?");
    EXPECT_EQ(toRoman(1994, true), "MCMXCIV");
    EXPECT_EQ(toRoman(4000, false), "mmmm");
    EXPECT_EQ(toRoman(0, false), "0");
    EXPECT_EQ(toRoman(2000000000, false), "2000000000");  // no megabyte labels
    EXPECT_EQ(bulletGlyph(QString(QChar(0xF0B7)), "Symbol"), QString(QChar(0x2022)));
    EXPECT_EQ(bulletGlyph(QString(QChar(0xF0FC)), "Wingdings"), QString(QChar(0x2713)));
    EXPECT_EQ(bulletGlyph(QString(QChar(0xF041)), "wingdings 3"), QString(QChar(0x2022)));
    EXPECT_EQ(bulletGlyph("o", "Arial"), "o");
    EXPECT_EQ(bulletGlyph("", "Arial"), QString(QChar(0x2022)));
}

TEST(ReaderLists, CountersRestartDeeperLevelsAndHonourStarts)
{
    const QByteArray levels = level(0, "decimal", "%1.") + level(1, "lowerLetter", "(%2)");
    const QByteArray nums = "<w:num w:numId=\"3\"><w:abstractNumId w:val=\"0\"/><w:lvlOverride w:ilvl=\"0\">"
                            "<w:startOverride w:val=\"5\"/></w:lvlOverride></w:num>"
                            "<w:num w:numId=\"9\"><w:abstractNumId w:val=\"1\"/></w:num>";
    const QByteArray zeroStart = "<w:abstractNum w:abstractNumId=\"1\">" + level(0, "decimal", "%1)", 0) + "</w:abstractNum>";
    Package p(item("a", 1) + item("b", 1, 1) + item("c", 1, 1) + item("d", 1) + item("e", 1, 1) + item("f", 3)
                  + item("g", 3, 1) + item("h", 9) + item("i", 9) + item("j", 42) + item("k", 1),
              {{"word/numbering.xml", numbering(levels, nums + zeroStart)}});
    QTextDocument qd;
    ASSERT_TRUE(p.populate(qd));
    EXPECT_EQ(blockTexts(qd), QStringList({"1. a", "(a) b", "(b) c", "2. d", "(a) e", "5. f", "(a) g", "0) h", "1) i",
                                           "j", "3. k"}));
    const QTextBlockFormat sub = blockStartingWith(qd, "(a) b").blockFormat();
    EXPECT_EQ(sub.intProperty(ListNumIdProperty), 1);
    EXPECT_EQ(sub.intProperty(ListLevelProperty), 1);
    EXPECT_FALSE(sub.boolProperty(ListBulletProperty));
    EXPECT_DOUBLE_EQ(sub.leftMargin(), 36.0);
    EXPECT_DOUBLE_EQ(sub.textIndent(), -36.0);
    EXPECT_FALSE(blockStartingWith(qd, "j").blockFormat().hasProperty(ListNumIdProperty));  // no such instance
}

TEST(ReaderLists, OuterLevelMarkersShowTheOuterCounters)
{
    const QByteArray levels = level(0, "upperRoman", "%1.") + level(1, "decimal", "%1.%2.")
        + level(2, "lowerLetter", "%1.%2.%3%4") + level(3, "ordinal", "%4 item") + level(4, "decimal", "Step");
    Package p(item("a", 1) + item("b", 1) + item("c", 1, 1) + item("d", 1, 2) + item("e", 1, 3) + item("f", 1, 4)
                  + item("g", 1, 4),
              {{"word/numbering.xml", numbering(levels)}});
    QTextDocument qd;
    ASSERT_TRUE(p.populate(qd));
    EXPECT_EQ(blockTexts(qd), QStringList({"I. a", "II. b", "II.1. c", "II.1.a d", "%4 item e", "Step f", "Step g"}));

    // An outer level that has given no number yet shows its start.
    Package skipped(item("deep", 1, 1), {{"word/numbering.xml", numbering(level(0, "decimal", "%1", 3) + level(1, "decimal", "%1.%2"))}});
    QTextDocument qd2;
    ASSERT_TRUE(skipped.populate(qd2));
    EXPECT_EQ(blockTexts(qd2), QStringList({"3.1 deep"}));
}

TEST(ReaderLists, BulletNoneAndLabelFormat)
{
    const QByteArray symbol = "<w:rPr><w:rFonts w:ascii=\"Symbol\"/><w:sz w:val=\"20\"/></w:rPr>";
    Package p(item("dot", 1) + item("plain", 1, 1) + "<w:p><w:pPr><w:numPr><w:ilvl w:val=\"0\"/><w:numId w:val=\"1\"/>"
                                                    "</w:numPr></w:pPr></w:p>",
              {{"word/numbering.xml",
                numbering(level(0, "bullet", QString(QChar(0xF0B7)).toUtf8(), 1,
                                symbol + "<w:pPr><w:ind w:left=\"1080\" w:hanging=\"360\"/></w:pPr>")
                          + level(1, "none", "%2."))}});
    QTextDocument qd;
    ASSERT_TRUE(p.populate(qd));
    EXPECT_EQ(blockTexts(qd), QStringList({QString(QChar(0x2022)) + " dot", "plain", QString(QChar(0x2022)) + " "}));
    const QTextBlockFormat bullet = qd.begin().blockFormat();
    EXPECT_TRUE(bullet.boolProperty(ListBulletProperty));
    EXPECT_DOUBLE_EQ(bullet.leftMargin(), 72.0);
    EXPECT_DOUBLE_EQ(bullet.textIndent(), -24.0);
    const QTextCharFormat label = formatOf(qd, QString(QChar(0x2022)));
    EXPECT_TRUE(label.boolProperty(ListLabelProperty));
    EXPECT_EQ(label.fontFamilies().toStringList(), QStringList({"Symbol"}));
    EXPECT_DOUBLE_EQ(label.fontPointSize(), 10.0);
    EXPECT_FALSE(formatOf(qd, "dot").boolProperty(ListLabelProperty));
    EXPECT_EQ(qd.begin().next().blockFormat().intProperty(ListLevelProperty), 1);  // "none" still marks
}

TEST(ReaderLists, CellsNumberOnTheirOwn)
{
    Package p(item("1", 1) + item("2", 1) + item("3", 1) + item("4", 1)
                  + tbl(tr(tc(item("x", 1)) + tc(item("y", 1) + item("z", 1))), 2) + item("5", 1),
              {{"word/numbering.xml", numbering(level(0, "decimal", "%1."))}});
    QTextDocument qd;
    ASSERT_TRUE(p.populate(qd));
    QTextTable *t = firstTable(qd);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(cellText(t, 0, 0), "1. x");
    EXPECT_EQ(cellText(t, 0, 1), QString("1. y") + QChar::ParagraphSeparator + "2. z");
    EXPECT_EQ(blockTexts(qd).last(), "5. 5");
}

// ---- runs, fields and hyperlinks ----------------------------------------------------

TEST(ReaderRuns, CharacterProperties)
{
    auto run = [](const QByteArray &rPr, const QByteArray &text) {
        return "<w:r><w:rPr>" + rPr + "</w:rPr><w:t>" + text + "</w:t></w:r>";
    };
    Package p("<w:p><w:pPr><w:pStyle w:val=\"Bold\"/></w:pPr>" + run("<w:b w:val=\"false\"/>", "light")
                  + run("", "heavy") + run("<w:color w:val=\"auto\"/>", "auto") + run("<w:color w:val=\"F00F\"/>", "four")
                  + run("<w:color w:val=\"FF0000\"/><w:highlight w:val=\"yellow\"/>", "red")
                  + run("<w:highlight w:val=\"darkGreen\"/><w:u/>", "dkgreen")
                  + run("<w:u w:val=\"double\"/><w:i/><w:strike w:val=\"0\"/><w:vertAlign w:val=\"superscript\"/>", "sup")
                  + run("<w:sz w:val=\"30\"/><w:rFonts w:hAnsi=\"Mono\"/><w:vertAlign w:val=\"subscript\"/>", "sub")
                  + "</w:p>",
              {{"word/styles.xml", stylesPart(paragraphStyle("Bold", "<w:rPr><w:b/></w:rPr>"))}});
    QTextDocument qd;
    ASSERT_TRUE(p.populate(qd));
    EXPECT_EQ(formatOf(qd, "light").fontWeight(), 400);
    EXPECT_EQ(formatOf(qd, "heavy").fontWeight(), 700);
    EXPECT_FALSE(formatOf(qd, "auto").hasProperty(QTextFormat::ForegroundBrush));
    EXPECT_FALSE(formatOf(qd, "four").hasProperty(QTextFormat::ForegroundBrush));
    EXPECT_EQ(formatOf(qd, "red").foreground().color(), QColor(Qt::red));
    EXPECT_EQ(formatOf(qd, "red").background().color(), QColor(Qt::yellow));
    EXPECT_FALSE(formatOf(qd, "dkgreen").hasProperty(QTextFormat::BackgroundBrush));
    EXPECT_FALSE(formatOf(qd, "dkgreen").fontUnderline());  // a bare w:u does not underline
    const QTextCharFormat sup = formatOf(qd, "sup");
    EXPECT_TRUE(sup.fontUnderline());
    EXPECT_TRUE(sup.fontItalic());
    EXPECT_TRUE(sup.fontStrikeOut());
    EXPECT_EQ(sup.verticalAlignment(), QTextCharFormat::AlignSuperScript);
    const QTextCharFormat sub = formatOf(qd, "sub");
    EXPECT_DOUBLE_EQ(sub.fontPointSize(), 15.0);
    EXPECT_EQ(sub.fontFamilies().toStringList(), QStringList({"Mono"}));
    EXPECT_EQ(sub.verticalAlignment(), QTextCharFormat::AlignSubScript);
}

TEST(ReaderRuns, FieldsGivePlaceholdersAndComputedResults)
{
    const QByteArray core = "<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/"
                            "core-properties\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title>The Title</dc:title>"
                            "</cp:coreProperties>";
    const QByteArray body = "<w:p>" + fieldRuns(" PAGE ", "7") + "</w:p><w:p>" + fieldRuns("numpages  \\* arabic", "12")
        + "</w:p><w:p>" + fieldRuns("DATE \\@ \"MMMM d, yyyy\"", "1") + "</w:p><w:p>" + fieldRuns("DATE", "01/02/2020")
        + "</w:p><w:p>" + fieldRuns("DOCPROPERTY Title", "1") + "</w:p><w:p>" + fieldRuns("AUTHOR", "1") + "</w:p>";
    Package p(body, {{"docProps/core.xml", core}});
    QTextDocument qd;
    ASSERT_TRUE(p.populate(qd));
    const QString today = QLocale(QLocale::English).toString(QDate::currentDate(), "MMMM d, yyyy");
    EXPECT_EQ(blockTexts(qd), QStringList({kPagePh, kCountPh, today, "01/02/2020", "The Title", "1"}));
    EXPECT_EQ(formatOf(qd, kPagePh).stringProperty(FieldInstructionProperty), " PAGE ");
    EXPECT_EQ(formatOf(qd, kCountPh).stringProperty(FieldInstructionProperty), "numpages  \\* arabic");
    EXPECT_FALSE(formatOf(qd, "The Title").hasProperty(FieldInstructionProperty));
}

TEST(ReaderRuns, BreaksAndHyperlinks)
{
    const QByteArray rels = relsPart(relationship("rId3", "hyperlink", "https://example.org/x", " TargetMode=\"External\""));
    Package p("<w:p><w:pPr><w:jc w:val=\"center\"/></w:pPr><w:r><w:t>a</w:t><w:br/><w:t>b</w:t>"
              "<w:br w:type=\"page\"/><w:t>c</w:t></w:r></w:p>"
              "<w:p><w:hyperlink r:id=\"rId3\"><w:r><w:rPr><w:color w:val=\"00FF00\"/></w:rPr><w:t>link</w:t></w:r>"
              "</w:hyperlink><w:hyperlink r:id=\"rId99\"><w:r><w:t>dangling</w:t></w:r></w:hyperlink></w:p>",
              {{"word/_rels/document.xml.rels", rels}});
    QTextDocument qd;
    ASSERT_TRUE(p.populate(qd));
    EXPECT_EQ(blockTexts(qd), QStringList({"a", "b", "c", "linkdangling"}));
    EXPECT_EQ(qd.findBlockByNumber(1).blockFormat().alignment(), Qt::AlignHCenter);  // same format after w:br
    const QTextBlockFormat page = qd.findBlockByNumber(2).blockFormat();
    EXPECT_EQ(page.pageBreakPolicy(), QTextFormat::PageBreak_AlwaysBefore);
    EXPECT_NE(page.alignment(), Qt::AlignHCenter);
    const QTextCharFormat link = formatOf(qd, "link");
    EXPECT_TRUE(link.isAnchor());
    EXPECT_EQ(link.anchorHref(), "https://example.org/x");
    EXPECT_EQ(link.foreground().color(), QColor("#0563C1"));
    EXPECT_TRUE(link.fontUnderline());
    const QTextCharFormat dangling = formatOf(qd, "dangling");
    EXPECT_FALSE(dangling.isAnchor());
    EXPECT_EQ(dangling.foreground().color(), QColor("#0563C1"));
}

// ---- images --------------------------------------------------------------------

TEST(ReaderImages, DeclaredSizeDataUrlResourceAndRelationshipId)
{
    Package p("<w:p>" + drawingRun("rId7", extent(952500, 476250)) + drawingRun("rId7") + "</w:p>",
              imageParts("media/image1.png", imageBytes(20, 10, "PNG")));
    QTextDocument qd;
    ASSERT_TRUE(p.populate(qd));
    const QList<QTextImageFormat> found = images(qd);
    ASSERT_EQ(found.size(), 2);
    EXPECT_EQ(found[1].name(), found[0].name());  // the second showing reuses the first decoding
    EXPECT_DOUBLE_EQ(found[1].width(), 20.0);
    EXPECT_DOUBLE_EQ(found[1].height(), 10.0);
    EXPECT_DOUBLE_EQ(found[0].width(), 100.0);
    EXPECT_DOUBLE_EQ(found[0].height(), 50.0);
    EXPECT_EQ(found[0].stringProperty(ImageRelIdProperty), "rId7");
    EXPECT_TRUE(found[0].name().startsWith("data:image/png;base64,"));
    const QImage resource = qd.resource(QTextDocument::ImageResource, QUrl(found[0].name())).value<QImage>();
    EXPECT_EQ(resource.size(), QSize(20, 10));
}

TEST(ReaderImages, WideImagesFitThePageAndMissingExtentsUseTheImage)
{
    const QByteArray page = sectPr("<w:pgSz w:w=\"12240\" w:h=\"15840\"/><w:pgMar w:left=\"1440\" w:right=\"1440\"/>");
    Package wide("<w:p>" + drawingRun("rId7") + "</w:p>" + page,
                 imageParts("/word/media/wide.png", imageBytes(2000, 500, "PNG"), "word/media/wide.png"));
    QTextDocument qd;
    ASSERT_TRUE(wide.populate(qd));
    ASSERT_EQ(images(qd).size(), 1);
    EXPECT_DOUBLE_EQ(images(qd)[0].width(), 624.0);
    EXPECT_DOUBLE_EQ(images(qd)[0].height(), 156.0);

    Package anchored("<w:p>" + drawingRun("rId7", "<wp:extent cx=\"0\" cy=\"95250\"/>", "anchor") + "</w:p>",
                     imageParts("media/a.png", imageBytes(30, 40, "PNG")));
    QTextDocument qd2;
    ASSERT_TRUE(anchored.populate(qd2));
    ASSERT_EQ(images(qd2).size(), 1);
    EXPECT_DOUBLE_EQ(images(qd2)[0].width(), 30.0);  // one side from the image, the other declared
    EXPECT_DOUBLE_EQ(images(qd2)[0].height(), 10.0);
}

TEST(ReaderImages, MimeTypeFromBytesThenName)
{
    const QByteArray pngAsJpg = imageBytes(4, 4, "PNG");
    Package png("<w:p>" + drawingRun("rId7") + "</w:p>", imageParts("media/x.jpg", pngAsJpg));
    QTextDocument qd;
    ASSERT_TRUE(png.populate(qd));
    ASSERT_EQ(images(qd).size(), 1);
    EXPECT_TRUE(images(qd)[0].name().startsWith("data:image/png;base64,"));

    Package gif("<w:p>" + drawingRun("rId7") + "</w:p>", imageParts("media/x.GIF", imageBytes(4, 4, "BMP")));
    QTextDocument qd2;
    ASSERT_TRUE(gif.populate(qd2));
    ASSERT_EQ(images(qd2).size(), 1);
    EXPECT_TRUE(images(qd2)[0].name().startsWith("data:image/gif;base64,"));
}

TEST(ReaderImages, PicturesThatCannotBeShownAreDroppedWithTheirWarning)
{
    const QByteArray noBlip = "<w:r><w:drawing><wp:inline><wp:extent cx=\"9525\" cy=\"9525\"/></wp:inline></w:drawing></w:r>";
    const QByteArray emptyId = "<w:r><w:drawing><wp:inline><a:blip/></wp:inline></w:drawing></w:r>";
    const QByteArray neither = "<w:r><w:drawing><wp:other><a:blip r:embed=\"rId7\"/></wp:other></w:drawing></w:r>";
    const Parts parts = {{"word/_rels/document.xml.rels",
                          relsPart(relationship("rId7", "image", "media/bad.png") + relationship("rId8", "image", "media/none.png")
                                   + relationship("rId9", "hyperlink", "media/bad.png"))},
                         {"word/media/bad.png", "not an image"}};
    struct Case
    {
        QByteArray run;
        const char *warning;
    } cases[] = {{noBlip, "insertDrawingImage: no blip found"},
                 {emptyId, "insertDrawingImage: empty rId"},
                 {drawingRun("rId9"), "insertDrawingImage: rId not in imageRels map"},
                 {drawingRun("rId8"), "insertDrawingImage: no image data in entries"},
                 {drawingRun("rId7"), "insertDrawingImage: failed to decode image \"word/media/bad.png\""}};
    for (const Case &c : cases) {
        Package p("<w:p><w:r><w:t>x</w:t></w:r>" + c.run + "</w:p>", parts);
        LogCapture log;
        QTextDocument qd;
        ASSERT_TRUE(p.populate(qd));
        EXPECT_TRUE(log.contains(c.warning)) << c.warning << " in " << log.messages().join('|').toStdString();
        EXPECT_TRUE(images(qd).isEmpty());
        EXPECT_EQ(qd.toPlainText(), "x");
    }
    Package silent("<w:p>" + neither + "</w:p>", parts);
    LogCapture log;
    QTextDocument qd;
    ASSERT_TRUE(silent.populate(qd));
    EXPECT_FALSE(log.contains("insertDrawingImage"));
    EXPECT_TRUE(images(qd).isEmpty());
}

TEST(ReaderImages, HugeDeclaredSizesAndDecompressionBombsAreBounded)
{
    Package huge("<w:p>" + drawingRun("rId7", extent(9'000'000'000'000'000'000LL, 95250)) + "</w:p>"
                     + "<w:p>" + drawingRun("rId7", extent(9525, 9'000'000'000'000'000'000LL)) + "</w:p>",
                 imageParts("media/a.png", imageBytes(4, 4, "PNG")));
    QTextDocument qd;
    ASSERT_TRUE(huge.populate(qd));
    ASSERT_EQ(images(qd).size(), 2);
    for (const QTextImageFormat &img : images(qd)) {
        EXPECT_LE(img.width(), 16384.0);
        EXPECT_LE(img.height(), 16384.0);
        EXPECT_GT(img.width(), 0.0);
    }

    Package bomb("<w:p>" + drawingRun("rId7") + "</w:p>", imageParts("media/bomb.png", pngHeaderOnly(200000, 200000)));
    LogCapture log;
    QTextDocument qd2;
    ASSERT_TRUE(bomb.populate(qd2));
    EXPECT_TRUE(images(qd2).isEmpty());
    EXPECT_TRUE(log.contains("insertDrawingImage: image too large to decode"));
}

// ---- tables --------------------------------------------------------------------

TEST(ReaderTables, BordersFollowTheTableStyle)
{
    for (const auto &[style, border] : {std::pair<QByteArray, double>{"TableGrid", 1.0},
                                        {"LightShading-Accent1", 0.0},
                                        {"MyTable", 1.0}}) {
        Package p(tbl(tr(tc(para("x"))), 1, style));
        QTextDocument qd;
        ASSERT_TRUE(p.populate(qd));
        QTextTable *t = firstTable(qd);
        ASSERT_NE(t, nullptr);
        EXPECT_DOUBLE_EQ(t->format().border(), border) << style.constData();
        EXPECT_DOUBLE_EQ(t->format().cellPadding(), 4.0);
        EXPECT_EQ(t->format().width(), QTextLength(QTextLength::PercentageLength, 100));
    }
}

TEST(ReaderTables, SpansMergesShortAndLongRows)
{
    const QByteArray rows = tr(tc(para("wide"), "<w:gridSpan w:val=\"2\"/>") + tc(para("c2")))
        + tr(tc(para("r1")) + tc(para("down"), "<w:vMerge w:val=\"restart\"/>"))
        + tr(tc(para("r2")) + tc(para("lost"), "<w:vMerge/>") + tc(para("x")) + tc(para("longer")))
        + tr(tc(para("r3")) + tc(para("lost too"), "<w:vMerge w:val=\"continue\"/>"));
    Package p(tbl(rows, 3));
    QTextDocument qd;
    ASSERT_TRUE(p.populate(qd));
    QTextTable *t = firstTable(qd);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->rows(), 4);
    EXPECT_EQ(t->columns(), 4);  // the long row widens the grid
    EXPECT_EQ(t->cellAt(0, 0).columnSpan(), 2);
    EXPECT_EQ(cellText(t, 0, 2), "c2");
    EXPECT_EQ(t->cellAt(1, 1).rowSpan(), 3);
    EXPECT_EQ(cellText(t, 1, 1), "down");
    EXPECT_EQ(cellText(t, 2, 3), "longer");
    EXPECT_EQ(cellText(t, 1, 3), "");  // a short row leaves cells empty
    EXPECT_FALSE(qd.toPlainText().contains("lost"));
}

TEST(ReaderTables, ShadingAndNestedTablesInCells)
{
    const QByteArray shd = "<w:shd w:val=\"clear\" w:fill=\"%1\"/>";
    auto shaded = [&](const char *fill) { return QByteArray(shd).replace("%1", fill); };
    const QByteArray nested = tbl(tr(tc(para("inner"))), 1);
    Package p(tbl(tr(tc(para("grey"), shaded("D9D9D9")) + tc(para("auto"), shaded("AuTo")) + tc(para("short"), shaded("FFF"))
                     + tc(para("before") + nested + para("after"))),
                  4));
    QTextDocument qd;
    ASSERT_TRUE(p.populate(qd));
    QTextTable *t = firstTable(qd);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->cellAt(0, 0).format().background().color(), QColor("#D9D9D9"));
    EXPECT_EQ(t->cellAt(0, 1).format().background().style(), Qt::NoBrush);
    EXPECT_EQ(t->cellAt(0, 2).format().background().style(), Qt::NoBrush);
    const QTextTableCell outer = t->cellAt(0, 3);
    QStringList inCell;
    for (QTextBlock b = outer.firstCursorPosition().block(); b.isValid() && b.position() <= outer.lastPosition();
         b = b.next())
        inCell << b.text();
    EXPECT_EQ(inCell, QStringList({"before", "inner", "", "after"}));
    const QList<QTextFrame *> children = t->childFrames();
    ASSERT_EQ(children.size(), 1);
    EXPECT_NE(qobject_cast<QTextTable *>(children[0]), nullptr);
}

TEST(ReaderTables, RowsWrappedInContentControlsAreConverted)
{
    Package p(tbl(tr(tc(para("plain"))) + "<w:sdt><w:sdtContent>" + tr(tc(para("wrapped"))) + "</w:sdtContent></w:sdt>", 1));
    QTextDocument qd;
    QList<DocxBlockSource> sources;
    ASSERT_TRUE(p.populate(qd, 0, -1, &sources));
    QTextTable *t = firstTable(qd);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->rows(), 2);
    EXPECT_EQ(cellText(t, 1, 0), "wrapped");
    EXPECT_EQ(sources.size(), p.doc().paragraphCount());
}

// ---- bad input -----------------------------------------------------------------

TEST(ReaderHostile, MergesAndSpansThatBreakTheGrid)
{
    const QByteArray rows = tr(tc(para("orphan"), "<w:vMerge/>") + tc(para("huge"), "<w:gridSpan w:val=\"2000000000\"/>")
                               + tc(para("next")))
        + tr(tc(para("wide"), "<w:gridSpan w:val=\"2\"/><w:vMerge w:val=\"restart\"/>") + tc(para("r1")))
        + tr(tc(para("under"), "<w:vMerge/>") + tc(para("covered")) + tc(para("end"), "<w:vMerge w:val=\"restart\"/>"));
    Package p(tbl(rows, 2));
    QTextDocument qd;
    QList<DocxBlockSource> sources;
    ASSERT_TRUE(p.populate(qd, 0, -1, &sources));
    QTextTable *t = firstTable(qd);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->rows(), 3);
    EXPECT_EQ(t->columns(), 3 + 64);  // the widest row of cells plus the bound: the huge span is cut
    EXPECT_EQ(t->cellAt(0, 1).columnSpan(), 65);
    EXPECT_EQ(cellText(t, 0, t->columns() - 1), "next");
    EXPECT_EQ(cellText(t, 2, 2), "end");  // a merge started in the last row spans nothing
    for (qsizetype i = 1; i < sources.size(); ++i)
        EXPECT_GT(sources[i].firstBlock, sources[i - 1].lastBlock);
}

TEST(ReaderHostile, DeeplyNestedTablesAreFlattenedBeyondTheBound)
{
    QByteArray nested = para("core");
    for (int depth = 0; depth < 60; ++depth)
        nested = tbl(tr(tc(para("level" + QByteArray::number(59 - depth)) + nested)), 1);
    Package p(nested);
    QTextDocument qd;
    QList<DocxBlockSource> sources;
    ASSERT_TRUE(p.populate(qd, 0, -1, &sources));
    EXPECT_EQ(sources.size(), p.doc().paragraphCount());  // every paragraph still converted
    EXPECT_TRUE(qd.toPlainText().contains("core"));
    int depth = 0;
    for (QTextFrame *f = qd.rootFrame(); !f->childFrames().isEmpty(); f = f->childFrames().first())
        ++depth;
    EXPECT_EQ(depth, 32);
}

TEST(ReaderHostile, TablesOfTooManyCellsComeOutAsParagraphs)
{
    QByteArray rows;
    for (int r = 0; r < 251; ++r)
        rows += tr(tc(para("row" + QByteArray::number(r))));
    Package p(tbl(rows, 1000) + para("after"));  // 251 x 1000 declared cells
    LogCapture log;
    QTextDocument qd;
    QList<DocxBlockSource> sources;
    ASSERT_TRUE(p.populate(qd, 0, -1, &sources));
    EXPECT_EQ(firstTable(qd), nullptr);
    const QStringList texts = blockTexts(qd);
    ASSERT_EQ(texts.size(), 253);  // the initial empty block, 251 rows, the paragraph after
    EXPECT_EQ(texts[1], "row0");
    EXPECT_EQ(texts[251], "row250");
    EXPECT_EQ(sources.size(), 252);
    EXPECT_TRUE(log.contains("convertTable: table too deep or too large"));
}

TEST(ReaderHostile, FieldsWithoutEndMissingNumberingAndHugeValues)
{
    const QByteArray openField = "<w:p><w:r><w:fldChar w:fldCharType=\"begin\"/><w:instrText>PAGE</w:instrText>"
                                 "<w:fldChar w:fldCharType=\"separate\"/><w:t>1</w:t><w:t>2</w:t></w:r></w:p>";
    const QByteArray hugeToc = "<w:p><w:pPr><w:tabs><w:tab w:val=\"right\" w:leader=\"dot\" w:pos=\"2000000000\"/></w:tabs>"
                               "</w:pPr><w:r><w:rPr><w:sz w:val=\"2000000000\"/></w:rPr><w:t>T</w:t><w:tab/><w:t>1</w:t></w:r></w:p>";
    Package p(openField + para("next") + item("no definition", 77) + item("marker-free", 1) + item("again", 1)
                  + para("hang", "<w:ind w:hanging=\"-2147483648\"/>") + item("big", 2) + item("bigger", 2) + hugeToc,
              {{"word/numbering.xml",
                numbering(level(0, "decimal", "Item"), "<w:num w:numId=\"2\"><w:abstractNumId w:val=\"5\"/></w:num>"
                                                       "<w:abstractNum w:abstractNumId=\"5\">"
                    + level(0, "upperRoman", "%1", 2147483647) + "</w:abstractNum>")}});
    QTextDocument qd;
    ASSERT_TRUE(p.populate(qd));
    const QStringList texts = blockTexts(qd);
    ASSERT_EQ(texts.size(), 9);
    EXPECT_EQ(texts.mid(0, 5), QStringList({kPagePh, "next", "no definition", "Item marker-free", "Item again"}));
    EXPECT_EQ(texts[6], "2147483647 big");
    EXPECT_EQ(texts[7], "2147483647 bigger");  // the counter does not overflow
    EXPECT_LE(texts[8].count(". "), 1000);
    EXPECT_DOUBLE_EQ(formatOf(qd, "T . ").fontPointSize(), kMaxPointSize);
}

// ---- the corpus ------------------------------------------------------------------

TEST(ReaderCorpus, EveryFilePopulatesWithConsistentSourceRecords)
{
    const QStringList files = testing_support::corpusFiles();
    ASSERT_FALSE(files.isEmpty());
    int populated = 0;
    for (const QString &path : files) {
        std::unique_ptr<DocxDocument> doc(DocxReader::open(path));
        if (!doc->isValid())
            continue;
        const int count = doc->paragraphCount();
        QTextDocument qd;
        QList<DocxBlockSource> sources;
        const bool ok = DocxReader::populate(*doc, {path, 0, count}, &qd, &sources);
        EXPECT_EQ(ok, count > 0) << path.toStdString();
        if (!ok)
            continue;
        ++populated;
        EXPECT_LE(sources.size(), count) << path.toStdString();
        int previousLast = -1;
        for (const DocxBlockSource &s : sources) {
            EXPECT_GT(s.firstBlock, previousLast) << path.toStdString();
            EXPECT_GE(s.lastBlock, s.firstBlock) << path.toStdString();
            EXPECT_LT(s.lastBlock, qd.blockCount()) << path.toStdString();
            EXPECT_TRUE(doc->paragraphs().contains(s.paragraph)) << path.toStdString();
            previousLast = s.lastBlock;
        }
    }
    EXPECT_GT(populated, files.size() / 2);
}
