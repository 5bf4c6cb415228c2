// The Reader: document bodies into rich text (page, pipeline and source records, paragraphs, lists, runs and fields,
// images, tables), bad input, the corpus, header and footer sets, and sections as HTML.
#include "DocxReader.h"
#include "DocxReaderInternal.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDate>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QLoggingCategory>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextImageFormat>
#include <QTextTable>
#include <QtEndian>

#include <gtest/gtest.h>
#include <zlib.h>

#include <iostream>
#include <memory>
#include <tuple>

static void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace {

using Parts = std::vector<std::pair<QByteArray, QByteArray>>;

const QString kPagePh = QString(QChar(kPageNumberPlaceholder)), kCountPh = QString(QChar(kPageCountPlaceholder));
const QString kBullet = QString(QChar(0x2022));

QByteArray run(const QByteArray &text, const QByteArray &rPr = {})
{
    return "<w:r><w:rPr>" + rPr + "</w:rPr><w:t xml:space=\"preserve\">" + text + "</w:t></w:r>";
}
QByteArray paragraph(const QByteArray &content, const QByteArray &pPr = {})
{
    return "<w:p><w:pPr>" + pPr + "</w:pPr>" + content + "</w:p>";
}
QByteArray para(const QByteArray &text, const QByteArray &pPr = {}) { return paragraph(run(text), pPr); }
QByteArray tab() { return "<w:r><w:tab/></w:r>"; }
QByteArray sectPr(const QByteArray &inner) { return "<w:sectPr>" + inner + "</w:sectPr>"; }
QByteArray style(const QByteArray &id, const QByteArray &props)
{
    return "<w:style w:type=\"paragraph\" w:styleId=\"" + id + "\">" + props + "</w:style>";
}
// A part of the package whose root element is w:`root`.
std::pair<QByteArray, QByteArray> part(const QByteArray &name, const char *root, const QByteArray &content)
{
    return {name, QByteArray("<w:") + root + " xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\""
                      " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\""
                      " xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\""
                      " xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\""
                      " xmlns:pic=\"http://schemas.openxmlformats.org/drawingml/2006/picture\">" + content
                      + "</w:" + root + ">"};
}
// The document's relationships, each {Id, last segment of the type, Target}, then `more` parts.
Parts rels(const QList<QByteArrayList> &entries, Parts more = {})
{
    QByteArray out = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    for (const QByteArrayList &e : entries)
        out += "<Relationship Id=\"" + e[0] + "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
            "relationships/" + e[1] + "\" Target=\"" + e[2] + "\"/>";
    more.insert(more.begin(), {"word/_rels/document.xml.rels", out + "</Relationships>"});
    return more;
}

// A package opened from a temporary folder; the document lives as long as this.
class Package
{
    QTemporaryDir dir_;
    std::unique_ptr<DocxDocument> doc_;

public:
    explicit Package(const QByteArray &bodyXml, const Parts &parts = {})
    {
        using namespace testing_support;
        EXPECT_TRUE(writeFile(dir_.filePath("doc.docx"), makePackage(documentXml(bodyXml), parts)));
        doc_.reset(DocxReader::open(dir_.filePath("doc.docx")));
        EXPECT_TRUE(doc_->isValid()) << doc_->errorString().toStdString();
    }
    const DocxDocument &doc() const { return *doc_; }
    DocxDocument &edit() { return *doc_; }
    // Populates `qd` over [start, end); end -1 means every paragraph.
    bool populate(QTextDocument &qd, int start = 0, int end = -1) const
    {
        return DocxReader::populate(*doc_, {QString(), start, end < 0 ? doc_->paragraphCount() : end}, &qd);
    }
    std::unique_ptr<QTextDocument> rich() const  // the whole body
    {
        auto qd = std::make_unique<QTextDocument>();
        EXPECT_TRUE(populate(*qd, 0, -1));
        return qd;
    }
};

QStringList blockTexts(const QTextDocument &qd)
{
    QStringList texts;
    for (QTextBlock b = qd.begin(); b.isValid(); b = b.next())
        texts << b.text();
    return texts;
}
QTextBlockFormat blockFormat(const QTextDocument &qd, int block) { return qd.findBlockByNumber(block).blockFormat(); }
// The character formats of the fragments holding `text`, in document order.
QList<QTextCharFormat> formats(const QTextDocument &qd, const QString &text = {})
{
    QList<QTextCharFormat> found;
    for (QTextBlock b = qd.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            if (it.fragment().text().contains(text))
                found << it.fragment().charFormat();
        }
    }
    return found;
}
// The paragraphs the blocks of `qd` were read from, in order, with their blocks.
struct ParagraphRead
{
    QDomElement paragraph;
    int firstBlock = 0;
    int lastBlock = 0;
};
QList<ParagraphRead> paragraphsRead(const QTextDocument &qd)
{
    QList<ParagraphRead> read;
    for (QTextBlock b = qd.begin(); b.isValid(); b = b.next()) {
        const DocxBlockOrigin *origin = blockOrigin(b.userData());
        if (!origin || !origin->source)
            continue;
        if (!read.isEmpty() && read.last().paragraph == origin->source->paragraph)
            read.last().lastBlock = b.blockNumber();
        else
            read.append({origin->source->paragraph, b.blockNumber(), b.blockNumber()});
    }
    return read;
}
QTextCharFormat formatOf(const QTextDocument &qd, const QString &text)
{
    EXPECT_FALSE(formats(qd, text).isEmpty()) << "no fragment holds " << text.toStdString();
    return formats(qd, text).value(0);
}
QList<QTextImageFormat> images(const QTextDocument &qd)
{
    QList<QTextImageFormat> found;
    for (const QTextCharFormat &f : formats(qd)) {
        if (f.isImageFormat())
            found << f.toImageFormat();
    }
    return found;
}

QStringList g_warnings;
QLoggingCategory::CategoryFilter g_ruleFilter = nullptr;
struct Warnings  // collects the library's messages, its debug traces included, while it lives
{
    QLoggingCategory::CategoryFilter rules = QLoggingCategory::installFilter([](QLoggingCategory *c) {
        if (g_ruleFilter)
            g_ruleFilter(c);
        if (qstrncmp(c->categoryName(), "lorvexdocx.", 11) == 0)
            c->setEnabled(QtDebugMsg, true);
    });
    QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &c, const QString &m) {
        if (c.category && qstrncmp(c.category, "lorvexdocx.", 11) == 0)
            g_warnings << m;
    });
    Warnings() { g_ruleFilter = rules; }
    ~Warnings() { qInstallMessageHandler(previous), QLoggingCategory::installFilter(rules), g_warnings.clear(); }
    bool contains(const QString &piece) const { return !g_warnings.filter(piece).isEmpty(); }
};

QByteArray level(int ilvl, const QByteArray &fmt, const QByteArray &text, int start = 1, const QByteArray &extra = {})
{
    return "<w:lvl w:ilvl=\"" + QByteArray::number(ilvl) + "\"><w:start w:val=\"" + QByteArray::number(start)
        + "\"/><w:numFmt w:val=\"" + fmt + "\"/><w:lvlText w:val=\"" + text + "\"/>" + extra + "</w:lvl>";
}
// Instance `numId` of abstract list `abstractId`, which `levels` (when given) defines.
QByteArray list(int numId, int abstractId, const QByteArray &levels = {}, const QByteArray &override = {})
{
    const QByteArray id = QByteArray::number(abstractId);
    return (levels.isEmpty() ? QByteArray() : "<w:abstractNum w:abstractNumId=\"" + id + "\">" + levels + "</w:abstractNum>")
        + "<w:num w:numId=\"" + QByteArray::number(numId) + "\"><w:abstractNumId w:val=\"" + id + "\"/>" + override
        + "</w:num>";
}
Parts numbering(const QByteArray &lists) { return {part("word/numbering.xml", "numbering", lists)}; }
QByteArray item(const QByteArray &text, int numId, int ilvl = 0, const QByteArray &pPr = {})
{
    return para(text, "<w:numPr><w:ilvl w:val=\"" + QByteArray::number(ilvl) + "\"/><w:numId w:val=\""
                          + QByteArray::number(numId) + "\"/></w:numPr>" + pPr);
}
QByteArray fieldRuns(const QByteArray &instr, const QByteArray &result)
{
    return "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText>" + instr + "</w:instrText></w:r>"
        + "<w:r><w:fldChar w:fldCharType=\"separate\"/></w:r>" + run(result)
        + "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r>";
}

QByteArray tbl(const QByteArray &rows, int gridCols, const QByteArray &style = {})
{
    return "<w:tbl><w:tblPr><w:tblStyle w:val=\"" + style + "\"/></w:tblPr><w:tblGrid>"
        + QByteArray("<w:gridCol w:w=\"1000\"/>").repeated(gridCols) + "</w:tblGrid>" + rows + "</w:tbl>";
}
QByteArray tc(const QByteArray &content, const QByteArray &tcPr = {})
{
    return "<w:tc><w:tcPr>" + tcPr + "</w:tcPr>" + content + "</w:tc>";
}
QByteArray tr(const QByteArray &cells) { return "<w:tr>" + cells + "</w:tr>"; }
QTextTable *firstTable(const QTextDocument &qd)
{
    const QList<QTextFrame *> frames = qd.rootFrame()->childFrames();
    return frames.isEmpty() ? nullptr : qobject_cast<QTextTable *>(frames.first());
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
    return img.save(&buf, format) ? buf.data() : QByteArray();
}
// A paragraph showing picture `rId` in a drawing of `cx` x `cy` EMU (-1: no extent).
QByteArray picture(const QByteArray &rId, qint64 cx = -1, qint64 cy = -1, const QByteArray &container = "inline")
{
    const QByteArray size = "<wp:extent cx=\"" + QByteArray::number(cx) + "\" cy=\"" + QByteArray::number(cy) + "\"/>";
    return "<w:p><w:r><w:drawing><wp:" + container + ">" + (cx < 0 ? QByteArray() : size)
        + "<a:graphic><a:graphicData><pic:pic><pic:blipFill><a:blip r:embed=\"" + rId
        + "\"/></pic:blipFill></pic:pic></a:graphicData></a:graphic></wp:" + container + "></w:drawing></w:r></w:p>";
}
// A header or footer reference of a section.
QByteArray ref(const char *element, const char *kind, const char *rId)
{
    return QByteArray("<w:") + element + "Reference w:type=\"" + kind + "\" r:id=\"" + rId + "\"/>";
}
Parts imageParts(const QByteArray &target, const QByteArray &bytes, const QByteArray &path = {})
{
    return rels({{"rId7", "image", target}}, {{path.isEmpty() ? "word/" + target : path, bytes}});
}

}  // namespace

TEST(ReaderPipeline, PageOfTheLastSectionRangesAndTablesOverlappingTheRange)
{
    EXPECT_EQ(readPageSizePx(Package(para("x")).doc()), QSizeF(816, 1056));  // no section: the default page
    const QByteArray table = tbl(tr(tc(para("t1")) + tc(para("t2")) + tc(para("t3")))
                                     + tr(tc(para("t4")) + tc(para("t5")) + tc(para("t6"))), 3);
    Package p(para("A", sectPr("<w:pgSz w:w=\"5000\" w:h=\"5000\"/><w:pgMar w:left=\"3000\"/>")) + para("B") + table
                  + para("after")
                  + sectPr("<w:pgSz w:w=\"12240\" w:h=\"0\"/><w:pgMar w:left=\"720\" w:right=\"0\" w:top=\"-5\" "
                           "w:bottom=\"2880\" w:header=\"360\" w:gutter=\"720\"/>"),
              {part("word/settings.xml", "settings", "<w:mirrorMargins w:val=\"false\"/>")});
    QTextDocument qd, straddled, after, untouched;
    ASSERT_TRUE(p.populate(qd, 1, 2));
    EXPECT_EQ(blockTexts(qd), QStringList({"B"}));
    EXPECT_EQ(qd.pageSize(), QSizeF(816, 1056));  // a zero height keeps the default
    const QTextFrameFormat f = qd.rootFrame()->frameFormat();  // 0 and negative margins keep the default inch
    EXPECT_EQ(QList<double>({f.leftMargin(), f.rightMargin(), f.topMargin(), f.bottomMargin(), qd.documentMargin()}),
              QList<double>({48, 96, 96, 192, 0}));
    const DocxReader::DocxMargins m = DocxReader::readMarginsPx(p.doc());
    EXPECT_EQ(QList<double>({m.header, m.gutter}), QList<double>({24, 48}));
    EXPECT_FALSE(m.mirror);  // w:val="false" in the settings reads off

    ASSERT_TRUE(p.populate(straddled, 7, 8));  // only the last cell's paragraph: the whole table
    ASSERT_NE(firstTable(straddled), nullptr);
    EXPECT_EQ(cellText(firstTable(straddled), 0, 0) + cellText(firstTable(straddled), 1, 2), "t1t6");
    EXPECT_EQ(blockTexts(straddled).first(), "");  // the empty block before a first table stays
    ASSERT_TRUE(p.populate(after, 8, 9));
    EXPECT_EQ(blockTexts(after), QStringList({"after"}));
    untouched.setPlainText("keep");
    EXPECT_FALSE(p.populate(untouched, 2, 2) || p.populate(untouched, -1, 3));
    EXPECT_FALSE(DocxReader::populate(p.doc(), {QString(), 0, 1}, nullptr));
    EXPECT_EQ(untouched.toPlainText(), "keep");
}

// Every block names the paragraph it was read from and every piece of text the element it came from, which the
// re-save writes back into.
TEST(ReaderPipeline, BlocksNameTheirParagraphsAndPiecesTheirElements)
{
    auto control = [](const QByteArray &sdtPr, const QByteArray &content) {
        return "<w:sdt><w:sdtPr>" + sdtPr + "</w:sdtPr><w:sdtContent>" + content + "</w:sdtContent></w:sdt>";
    };
    const QByteArray link = "<w:hyperlink w:anchor=\"_Toc1\">" + run("Introduction") + tab()
        + fieldRuns(" PAGEREF _Toc1 \\h ", "4") + "</w:hyperlink>";
    Package p(para("skipped")
              + paragraph(link, "<w:tabs><w:tab w:val=\"right\" w:leader=\"dot\" w:pos=\"9360\"/>"
                                "<w:tab w:val=\"clear\" w:pos=\"100\"/></w:tabs>")
              + control("<w:alias w:val=\"TABLE OF Contents\"/>", para("toc1") + para("toc2"))
              + control("<w:docPartObj><w:docPartGallery w:val=\"Table of Contents\"/></w:docPartObj>", para("toc3"))
              + paragraph("<w:r><w:t>one</w:t><w:br/><w:t>two</w:t><w:br w:type=\"page\"/><w:t>three</w:t></w:r>",
                          "<w:jc w:val=\"center\"/>")
              + control("<w:tag w:val=\"Summary\"/>", para("s1") + tbl(tr(tc(para("s2"))), 1))
              + tbl(tr(tc(para("top"), "<w:vMerge w:val=\"restart\"/>")) + tr(tc(para("gone"), "<w:vMerge/>")), 1)
              + paragraph(run("Short") + tab() + run("9"),
                          "<w:tabs><w:tab w:val=\"left\" w:leader=\"middleDot\" w:pos=\"9360\"/></w:tabs>")
              + para("end"));
    QTextDocument qd;
    ASSERT_TRUE(p.populate(qd, 1, 11));
    const QStringList texts = blockTexts(qd);
    // A contents line shows its page reference's own result after a dot leader that fills the gap up to the right
    // tab; the leader is marked as shown only.
    EXPECT_TRUE(texts[0].startsWith("Introduction . . . . ") && texts[0].endsWith("\t4")) << texts[0].toStdString();
    EXPECT_GT(texts[0].count(". "), 10);
    EXPECT_TRUE(formatOf(qd, ". . . ").boolProperty(GeneratedTextProperty));
    EXPECT_EQ(formatOf(qd, "Introduction").anchorHref(), "#_Toc1");
    // Content controls show their paragraphs (contents too) and tables, a line break stays in its block, and a leader
    // also fills the gap up to a left tab.
    const QString lineBreak(QChar::LineSeparator);
    EXPECT_EQ(texts.mid(1, 9), QStringList({"toc1", "toc2", "toc3", "one" + lineBreak + "two", "three", "s1", "s2", "",
                                            "top"}));
    EXPECT_TRUE(texts.last().startsWith("Short . . . . ") && texts.last().endsWith("\t9")) << texts.last().toStdString();
    const QList<QTextOption::Tab> tabs = blockFormat(qd, 0).tabPositions();
    ASSERT_EQ(tabs.size(), 1);  // the cleared stop is dropped
    EXPECT_DOUBLE_EQ(tabs[0].position, 624.0);
    EXPECT_TRUE(tabs[0].type == QTextOption::RightTab && tabs[0].delimiter == QChar('.'));
    // Out-of-range and continuation-cell paragraphs have no origin; the page break's block belongs to its paragraph;
    // the empty blocks around tables stand for nothing.
    QList<QDomElement> named;
    QList<int> breaks;
    for (QTextBlock b = qd.begin(); b.isValid(); b = b.next()) {
        const DocxBlockOrigin *origin = blockOrigin(b.userData());
        ASSERT_TRUE(origin) << b.blockNumber();
        if (!origin->source)
            continue;
        if (named.isEmpty() || named.last() != origin->source->paragraph)
            named << origin->source->paragraph;
        breaks << origin->breakPiece;
    }
    const QList<QDomElement> &ps = p.doc().paragraphs();
    EXPECT_TRUE(named == QList<QDomElement>({ps[1], ps[2], ps[3], ps[4], ps[5], ps[6], ps[7], ps[8], ps[10]}));
    EXPECT_EQ(breaks, QList<int>({-1, -1, -1, -1, -1, 3, -1, -1, -1, -1}));
    // Each piece names its element and holds the text and format it was read as.
    const DocxParagraphSource &broken = *blockOrigin(qd.findBlockByNumber(4).userData())->source;
    QStringList pieces;
    for (const DocxSourcePiece &piece : broken.pieces)
        pieces << piece.element.localName() + "=" + piece.text;
    EXPECT_EQ(pieces, QStringList({"t=one", "br=" + lineBreak, "t=two", "br=" + QString(QChar::ParagraphSeparator),
                                   "t=three"}));
    EXPECT_EQ(formatOf(qd, "three").intProperty(SourcePieceProperty), 4);
    EXPECT_EQ(blockFormat(qd, 4).alignment(), Qt::AlignHCenter);
    EXPECT_EQ(blockFormat(qd, 5).pageBreakPolicy(), QTextFormat::PageBreak_AlwaysBefore);
    EXPECT_NE(blockFormat(qd, 5).alignment(), Qt::AlignHCenter);  // the break's block carries nothing else
}

TEST(ReaderParagraphs, DirectPropertiesOfBlocksAndRunsMergeWithTheStyle)
{
    const QByteArray spacing = "<w:spacing w:before=\"120\" w:after=\"240\"/>";
    const QByteArray runs = run("heading") + run("light", "<w:b w:val=\"false\"/><w:i w:val=\"0\"/>")
        + run("upright", "<w:i w:val=\"off\"/>") + run("roman", "<w:i w:val=\"false\"/>")
        + run("heavy", "<w:color w:val=\"auto\"/><w:highlight w:val=\"darkGreen\"/><w:u/>")
        + run("red", "<w:color w:val=\"FF0000\"/><w:highlight w:val=\"yellow\"/><w:i/><w:strike/>")
        + run("sup", "<w:u w:val=\"double\"/><w:vertAlign w:val=\"superscript\"/>")
        + run("sub", "<w:sz w:val=\"30\"/><w:rFonts w:hAnsi=\"Mono\"/>");
    Package p(para("just", "<w:jc w:val=\"both\"/><w:ind w:firstLine=\"720\"/>" + spacing)
                  + para("centre", "<w:jc w:val=\"center\"/><w:ind w:firstLine=\"720\" w:right=\"300\"/>")
                  + para("hang", "<w:ind w:hanging=\"360\"/><w:spacing w:line=\"240\"/>")
                  + para("auto", "<w:spacing w:line=\"360\" w:lineRule=\"exact\"/>")
                  + paragraph(runs, "<w:pStyle w:val=\"Heading1\"/><w:spacing w:after=\"0\" w:line=\"300\"/>")
                  + tbl(tr(tc(para("cell", spacing))), 1),
              {part("word/styles.xml", "styles",
                    style("Heading1", "<w:pPr><w:spacing w:after=\"195\" w:line=\"200\" w:lineRule=\"exact\"/>"
                                      "<w:pageBreakBefore/></w:pPr><w:rPr><w:b/><w:i/><w:sz w:val=\"28\"/>"
                                      "<w:rFonts w:ascii=\"Courier\" w:eastAsia=\"SimSun\"/></w:rPr>"))});
    const auto qd = p.rich();
    const struct { Qt::Alignment align; QList<double> indentRightTopBottom; int lineType; double line; } blocks[] = {
        {Qt::AlignJustify, {48, 0, 8, 16}, QTextBlockFormat::SingleHeight, 0},
        {Qt::AlignHCenter, {0, 20, 0, 0}, QTextBlockFormat::SingleHeight, 0},  // centred: no first-line indent
        {Qt::AlignLeft, {-24, 0, 0, 0}, QTextBlockFormat::SingleHeight, 0},    // single spacing sets nothing
        {Qt::AlignLeft, {0, 0, 0, 0}, QTextBlockFormat::FixedHeight, 24},  // a line brings its own rule...
        {Qt::AlignLeft, {0, 0, 0, 0}, QTextBlockFormat::ProportionalHeight, 125},  // ...automatic when it names none;
        {Qt::AlignLeft, {0, 0, 8, 16}, QTextBlockFormat::SingleHeight, 0},  // a direct 0 replaces the style's spacing
    };
    for (int i = 0; i < 6; ++i) {
        const QTextBlockFormat f = blockFormat(*qd, i);
        EXPECT_EQ(f.alignment(), blocks[i].align) << i;
        EXPECT_EQ(QList<double>({f.textIndent(), f.rightMargin(), f.topMargin(), f.bottomMargin()}),
                  blocks[i].indentRightTopBottom) << i;
        EXPECT_EQ(QList<double>({double(f.lineHeightType()), f.lineHeight()}),
                  QList<double>({double(blocks[i].lineType), blocks[i].line})) << i;
        EXPECT_EQ(f.pageBreakPolicy() == QTextFormat::PageBreak_AlwaysBefore, i == 4) << i;  // from the style
    }
    const QTextCharFormat heading = formatOf(*qd, "heading"), heavy = formatOf(*qd, "heavy"),
                          red = formatOf(*qd, "red"), sub = formatOf(*qd, "sub");
    EXPECT_EQ(QList<int>({heading.fontWeight(), formatOf(*qd, "light").fontWeight(), heavy.fontWeight()}),
              QList<int>({700, 400, 700}));
    EXPECT_TRUE(heading.fontItalic());  // on/off "0", "off" and "false" are off
    for (const char *off : {"light", "upright", "roman"})
        EXPECT_FALSE(formatOf(*qd, off).fontItalic()) << off;
    EXPECT_EQ(QList<double>({heading.fontPointSize(), sub.fontPointSize()}), QList<double>({14, 15}));
    // A run's Latin font replaces the style's and keeps its East Asian one.
    EXPECT_EQ(heading.fontFamilies().toStringList() + sub.fontFamilies().toStringList(),
              QStringList({"Courier", "SimSun", "Mono", "SimSun"}));
    // "auto" and a bare w:u set nothing; every highlight name has its colour.
    EXPECT_FALSE(heavy.hasProperty(QTextFormat::ForegroundBrush) || heavy.fontUnderline());
    EXPECT_EQ(heavy.background().color(), QColor(Qt::darkGreen));
    EXPECT_EQ(QList<QColor>({red.foreground().color(), red.background().color()}), QList<QColor>({Qt::red, Qt::yellow}));
    EXPECT_TRUE(red.fontItalic() && red.fontStrikeOut() && formatOf(*qd, "sup").fontUnderline());
    EXPECT_EQ(formatOf(*qd, "sup").verticalAlignment(), QTextCharFormat::AlignSuperScript);
}

// Instances of one abstract list count on together (an instance with a start override restarts at its first item
// only; a level of an override changes the look, not the count); deeper levels restart; outer levels show their
// counters (their start before they have counted; in digits under legal numbering); a level restarts after the level
// it names, or never; every number format.
TEST(ReaderLists, LabelsCountPerListWithRestartsOverridesAndFormats)
{
    EXPECT_EQ(QStringList({toLetters(26, false), toLetters(28, false), toLetters(702, true), toLetters(703, true),
                           toLetters(0, false), toRoman(1994, true)}),
              QStringList({"z", "ab", "ZZ", "AAA", "?", "MCMXCIV"}));
    auto override = [](const QByteArray &inner) { return "<w:lvlOverride w:ilvl=\"0\">" + inner + "</w:lvlOverride>"; };
    const QByteArray legal = level(0, "upperRoman", "%1.") + level(1, "decimal", "%1.%2", 1, "<w:isLgl/>")
        + level(2, "lowerLetter", "%3", 1, "<w:lvlRestart w:val=\"1\"/>")
        + level(3, "decimal", "(%4)", 1, "<w:lvlRestart w:val=\"0\"/>");
    const std::pair<const char *, int> formats[] = {
        {"decimalZero", 7}, {"ordinal", 12}, {"ordinal", 22}, {"cardinalText", 1001}, {"cardinalText", 21},
        {"ordinalText", 112}, {"ordinalText", 20}, {"chicago", 6}, {"decimalEnclosedCircle", 3}, {"hex", 255}, {"none", 4}};
    QByteArray formatLists, formatItems;
    for (int i = 0; i < int(std::size(formats)); ++i) {
        formatLists += list(i + 1, i, level(0, formats[i].first, "[%1]", formats[i].second));
        formatItems += item("x", i + 1);
    }
    const struct { QByteArray lists, body; QStringList labels; } cases[] = {
        {list(1, 0, level(0, "decimal", "%1.") + level(1, "lowerLetter", "(%2)"))
             + list(3, 0, {}, override("<w:startOverride w:val=\"5\"/>")) + list(9, 1, level(0, "decimal", "%1)", 0)),
         item("a", 1) + item("b", 1, 1) + item("c", 1, 1) + item("d", 1) + item("e", 1, 1) + item("f", 3)
             + item("g", 3, 1) + item("h", 9) + item("i", 9) + item("j", 42) + item("k", 1),
         {"1. a", "(a) b", "(b) c", "2. d", "(a) e", "5. f", "(a) g", "0) h", "1) i", "j", "6. k"}},
        {list(1, 0, level(0, "upperRoman", "%1.") + level(1, "decimal", "%1.%2.") + level(2, "lowerLetter", "%1.%2.%3%4")
                        + level(3, "ordinal", "%4 item") + level(4, "decimal", "Step")),
         item("a", 1) + item("b", 1) + item("c", 1, 1) + item("d", 1, 2) + item("e", 1, 3) + item("f", 1, 4) + item("g", 1, 4),
         {"I. a", "II. b", "II.1. c", "II.1.a d", "1st item e", "Step f", "Step g"}},
        {list(1, 0, level(0, "decimal", "%1", 3) + level(1, "decimal", "%1.%2")), item("deep", 1, 1), {"3.1 deep"}},
        {list(1, 0, level(0, "decimal", "%1.") + level(1, "lowerLetter", "%1.%2)")) + list(2, 0)
             + list(3, 0, {}, override("<w:startOverride w:val=\"1\"/>"))
             + list(4, 0, {}, override(level(0, "upperLetter", "%1:", 9))) + list(5, 1, legal)
             + list(6, 2, level(0, "decimal", "#%1", 1, "<w:suff w:val=\"nothing\"/>")),
         item("a", 1) + item("b", 2) + item("c", 1) + item("d", 3) + item("e", 1) + item("f", 3) + item("g", 4)
             + item("i", 5) + item("lgl", 5, 1) + item("x", 5, 2) + item("y", 5, 3) + item("lgl2", 5, 1)
             + item("x2", 5, 2) + item("y2", 5, 3) + item("ii", 5) + item("x3", 5, 2) + item("y3", 5, 3) + item("z", 6),
         {"1. a", "2. b", "3. c", "1. d", "2. e", "3. f", "D: g", "I. i", "1.1 lgl", "a x", "(1) y", "1.2 lgl2", "b x2",
          "(2) y2", "II. ii", "a x3", "(3) y3", "#1z"}},
        {formatLists, formatItems,
         {"[07] x", "[12th] x", "[22nd] x", "[One thousand and one] x", "[Twenty-one] x", "[One hundred twelfth] x",
          "[Twentieth] x", "[\u2020\u2020] x", "[\u2462] x", "[255] x", "[] x"}},
    };
    for (const auto &c : cases) {
        Package p(c.body, numbering(c.lists));
        const auto qd = p.rich();
        EXPECT_EQ(blockTexts(*qd), c.labels);
        if (&c != &cases[0])
            continue;
        const QTextBlockFormat sub = blockFormat(*qd, 1);
        EXPECT_EQ(QList<int>({sub.intProperty(ListNumIdProperty), sub.intProperty(ListLevelProperty)}), QList<int>({1, 1}));
        EXPECT_FALSE(sub.boolProperty(ListBulletProperty));
        EXPECT_EQ(QList<double>({sub.leftMargin(), sub.textIndent()}), QList<double>({36, -36}));
        EXPECT_FALSE(blockFormat(*qd, 9).hasProperty(ListNumIdProperty));  // no such instance
    }
}

TEST(ReaderParagraphs, SpacingFollowsDefaultsTheDefaultStyleAndContextualSpacing)
{
    const QByteArray styles =
        "<w:docDefaults><w:pPrDefault><w:pPr><w:spacing w:after=\"160\" w:line=\"259\" w:lineRule=\"auto\"/>"
        "</w:pPr></w:pPrDefault></w:docDefaults>"
        "<w:style w:type=\"paragraph\" w:default=\"1\" w:styleId=\"Normal\"><w:pPr><w:jc w:val=\"center\"/>"
        "</w:pPr></w:style>"
        + style("List", "<w:basedOn w:val=\"Normal\"/><w:pPr><w:contextualSpacing/><w:spacing w:before=\"120\" "
                        "w:after=\"120\"/></w:pPr>")
        + style("Tight", "<w:basedOn w:val=\"Normal\"/><w:pPr><w:spacing w:after=\"0\"/></w:pPr>");
    auto styled = [](const QByteArray &text, const QByteArray &id) { return para(text, "<w:pStyle w:val=\"" + id + "\"/>"); };
    Package p(para("plain") + styled("l1", "List") + styled("l2", "List") + styled("tight", "Tight")
                  + para("auto", "<w:spacing w:beforeAutospacing=\"1\" w:afterAutospacing=\"1\" w:after=\"5\"/>")
                  + para("keep", "<w:keepNext/><w:keepLines w:val=\"1\"/>") + para("loose", "<w:keepNext w:val=\"0\"/>"),
              {part("word/styles.xml", "styles", styles)});
    const auto qd = p.rich();
    auto margins = [&](int i) { return QList<double>({blockFormat(*qd, i).topMargin(), blockFormat(*qd, i).bottomMargin()}); };
    // A paragraph without a style shows the default one over the document defaults.
    EXPECT_EQ(blockFormat(*qd, 0).alignment(), Qt::AlignHCenter);
    EXPECT_NEAR(blockFormat(*qd, 0).bottomMargin(), 160 / 15.0, 1e-9);
    EXPECT_NEAR(blockFormat(*qd, 0).lineHeight(), 259 / 2.4, 1e-9);
    // Paragraphs of one style with contextual spacing drop the spacing between them, not towards another style; a
    // style's 0 replaces the spacing it is based on; automatic spacing is 14 points.
    EXPECT_EQ(QList<QList<double>>({margins(1), margins(2), margins(3)}),
              QList<QList<double>>({{8, 0}, {0, 8}, {0, 0}}));
    EXPECT_NEAR(margins(4)[0] + margins(4)[1], 2 * 280 / 15.0, 1e-9);
    EXPECT_TRUE(blockFormat(*qd, 5).boolProperty(KeepWithNextProperty) && blockFormat(*qd, 5).boolProperty(KeepLinesTogetherProperty));
    EXPECT_FALSE(blockFormat(*qd, 6).boolProperty(KeepWithNextProperty));
}

TEST(ReaderLists, BulletsLabelFormatCellsAndSpacingBetweenItems)
{
    const QByteArray symbol = "<w:rPr><w:rFonts w:ascii=\"Symbol\"/><w:sz w:val=\"20\"/></w:rPr><w:pPr><w:ind "
                              "w:left=\"1080\" w:hanging=\"360\"/></w:pPr>";
    Package p(item("dot", 1) + item("plain", 1, 1) + item("", 1) + item("1", 2) + item("2", 2)
                  + item("3", 4) + tbl(tr(tc(item("x", 2)) + tc(item("y", 2) + item("z", 2))), 2)
                  + item("4", 2),
              numbering(list(1, 0, level(0, "bullet", QString(QChar(0xF0B7)).toUtf8(), 1, symbol) + level(1, "none", "%2."))
                        + list(2, 1, level(0, "decimal", "%1.")) + list(4, 1)));
    const auto qd = p.rich();
    // "none" keeps the level text around an empty number; instance 4 continues list 1 of instance 2.
    EXPECT_EQ(blockTexts(*qd).mid(0, 6), QStringList({kBullet + " dot", ". plain", kBullet + " ", "1. 1", "2. 2", "3. 3"}));
    EXPECT_EQ(QStringList({bulletGlyph(QString(QChar(0xF0FC)), "Wingdings"), bulletGlyph("o", "Arial")}),
              QStringList({QString(QChar(0x2713)), "o"}));
    const QTextBlockFormat bullet = blockFormat(*qd, 0);
    EXPECT_TRUE(bullet.boolProperty(ListBulletProperty));
    EXPECT_EQ(QList<double>({bullet.leftMargin(), bullet.textIndent()}), QList<double>({72, -24}));
    const QTextCharFormat label = formatOf(*qd, kBullet);
    EXPECT_TRUE(label.boolProperty(ListLabelProperty) && !formatOf(*qd, "dot").boolProperty(ListLabelProperty));
    EXPECT_EQ(label.fontFamilies().toStringList(), QStringList({"Symbol"}));
    EXPECT_DOUBLE_EQ(label.fontPointSize(), 10.0);
    EXPECT_EQ(blockFormat(*qd, 1).intProperty(ListLevelProperty), 1);  // "none" still marks the level
    QTextTable *t = firstTable(*qd);  // the list runs on through the cells and after the table
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(cellText(t, 0, 0) + "|" + cellText(t, 0, 1), QString("4. x|5. y") + QChar::ParagraphSeparator + "6. z");
    EXPECT_EQ(blockTexts(*qd).last(), "7. 4");
}

TEST(ReaderLists, StylesGiveTheListAndTheLevelEachOnItsOwn)
{
    auto styled = [](const QByteArray &id, const QByteArray &numPr, const QByteArray &basedOn = {}) {
        return style(id, (basedOn.isEmpty() ? QByteArray() : "<w:basedOn w:val=\"" + basedOn + "\"/>")
                             + "<w:pPr><w:numPr>" + numPr + "</w:numPr></w:pPr>");
    };
    const QByteArray styles = styled("ListA", "<w:numId w:val=\"5\"/>")
        + styled("ListA2", "<w:ilvl w:val=\"1\"/>", "ListA") + styled("LvlB", "<w:ilvl w:val=\"2\"/>")
        + styled("LvlB2", "<w:numId w:val=\"5\"/>", "LvlB")
        + "<w:style w:type=\"numbering\" w:styleId=\"Linked\"><w:pPr><w:numPr><w:numId w:val=\"6\"/></w:numPr></w:pPr>"
          "</w:style>";
    const QByteArray levels = level(0, "decimal", "%1.") + level(1, "decimal", "%1.%2") + level(2, "decimal", "%1.%2.%3");
    auto styledPara = [](const QByteArray &text, const QByteArray &id, const QByteArray &more = {}) {
        return para(text, "<w:pStyle w:val=\"" + id + "\"/>" + more);
    };
    Package p(styledPara("a", "ListA") + styledPara("b", "ListA2") + styledPara("c", "LvlB2")
                  + styledPara("d", "ListA", "<w:numPr><w:numId w:val=\"0\"/></w:numPr>")
                  + styledPara("e", "ListA", "<w:numPr><w:ilvl w:val=\"1\"/></w:numPr>") + item("f", 7),
              {part("word/styles.xml", "styles", styles),
               part("word/numbering.xml", "numbering",
                    list(5, 1, levels) + list(6, 4, level(0, "decimal", "(%1)"))
                        + "<w:abstractNum w:abstractNumId=\"3\"><w:numStyleLink w:val=\"Linked\"/></w:abstractNum>"
                        + list(7, 3))});
    // The list from a base style and the level from the derived one, or the other way round; a w:numId of 0 takes a
    // paragraph out of its style's list; a list that names a numbering style takes that style's levels.
    EXPECT_EQ(blockTexts(*p.rich()), QStringList({"1. a", "1.1 b", "1.1.1 c", "d", "1.2 e", "(1) f"}));
}

TEST(ReaderRuns, FieldsGivePlaceholdersAndComputedResults)
{
    QByteArray body;
    for (const auto &[instr, result] : {std::pair<QByteArray, QByteArray>{" PAGE ", "7"}, {"numpages  \\* arabic", "12"},
                                        {"DATE \\@ \"MMMM d, yyyy\"", "1"}, {"DATE", "01/02/2020"},
                                        {"DOCPROPERTY Title", "1"}, {"AUTHOR", "1"}})
        body += paragraph(fieldRuns(instr, result));
    Package p(body, {{"docProps/core.xml", "<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/"
                                           "2006/metadata/core-properties\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
                                           "<dc:title>The Title</dc:title></cp:coreProperties>"}});
    const auto qd = p.rich();
    const QString today = QLocale(QLocale::English).toString(QDate::currentDate(), "MMMM d, yyyy");
    EXPECT_EQ(blockTexts(*qd), QStringList({kPagePh, kCountPh, today, "01/02/2020", "The Title", "1"}));
    EXPECT_EQ(formatOf(*qd, kPagePh).stringProperty(FieldInstructionProperty), " PAGE ");
    EXPECT_EQ(formatOf(*qd, kCountPh).stringProperty(FieldInstructionProperty), "numpages  \\* arabic");
}

// Text a reader sees wherever the runs sit: tracked insertions and moves (deletions stay out), smart tags, custom
// XML, content controls, simple and complex fields' results, symbols, hyphens, note references, links with their
// fragments and bookmarks; hidden text and field codes stay out.
TEST(ReaderRuns, EveryVisibleTextIsRead)
{
    auto fld = [](const QByteArray &instr, const QByteArray &result) { return fieldRuns(instr, result); };
    const QByteArray body =
        paragraph(run("kept ") + "<w:ins w:id=\"1\">" + run("inserted") + "</w:ins><w:del w:id=\"2\"><w:r>"
                  "<w:delText>gone</w:delText></w:r></w:del><w:moveFrom w:id=\"3\">" + run("old") + "</w:moveFrom>"
                  "<w:moveTo w:id=\"4\">" + run(" moved") + "</w:moveTo>" + run(" hidden", "<w:vanish/>"))
        + paragraph("<w:smartTag w:element=\"x\">" + run("smart") + "</w:smartTag><w:customXml w:element=\"y\">"
                    + run(" custom") + "</w:customXml><w:sdt><w:sdtContent>" + run(" control") + "</w:sdtContent></w:sdt>")
        + paragraph(run("Figure ") + "<w:fldSimple w:instr=\" SEQ Figure \\* ARABIC \">" + run("1") + "</w:fldSimple>"
                    + run(", ") + fld(" MERGEFIELD Name ", "\xc2\xabName\xc2\xbb") + run(", ")
                    + fld(" DOCPROPERTY Company ", "Acme"))
        + paragraph("<w:r><w:t>a</w:t><w:sym w:font=\"Wingdings\" w:char=\"F0E0\"/><w:noBreakHyphen/><w:softHyphen/>"
                    "<w:t>b</w:t><w:footnoteReference w:id=\"3\"/><w:endnoteReference w:id=\"2\"/>"
                    "<w:footnoteReference w:id=\"7\"/></w:r>")
        + paragraph("<w:hyperlink r:id=\"rId3\" w:anchor=\"frag\">" + run("external", "<w:color w:val=\"00FF00\"/>")
                    + "</w:hyperlink><w:hyperlink w:anchor=\"intro\">" + run(" internal") + "</w:hyperlink>"
                    + fld(" HYPERLINK \"https://example.com/x\" \\l \"sec\" ", " field")
                    + "<w:hyperlink r:id=\"rId99\">" + run(" dangling") + "</w:hyperlink>")
        + "<w:sdt><w:sdtPr><w:alias w:val=\"Table of Contents\"/></w:sdtPr><w:sdtContent>" + para("toc line")
        + tbl(tr(tc(para("in a table"))), 1) + "</w:sdtContent></w:sdt>"
        + paragraph("<mc:AlternateContent><mc:Choice Requires=\"wps\">" + run("chosen") + "</mc:Choice><mc:Fallback>"
                    + run("fallback") + "</mc:Fallback></mc:AlternateContent><w:r><mc:AlternateContent>"
                    "<mc:Choice Requires=\"w16se\"><w16se:symEx xmlns:w16se=\"urn:x\" w16se:char=\"2764\"/>"
                    "</mc:Choice><mc:Fallback><w:t>\xe2\x9d\xa4</w:t></mc:Fallback></mc:AlternateContent></w:r>");
    Package p(body, rels({{"rId3", "hyperlink", "https://example.org/page"}}));
    const auto qd = p.rich();
    const QStringList texts = blockTexts(*qd);
    EXPECT_EQ(texts.mid(0, 5), QStringList({"kept inserted moved", "smart custom control", "Figure 1, \u00abName\u00bb, Acme",
                                            "a" + QString(QChar(0xF0E0)) + QChar(0x2011) + QChar(0x00AD) + "b1i2",
                                            "external internal field dangling"}));
    EXPECT_TRUE(texts.contains("toc line") && texts.contains("chosen\u2764"));  // a symbol known only by its fallback
    ASSERT_TRUE(firstTable(*qd));
    EXPECT_EQ(cellText(firstTable(*qd), 0, 0), "in a table");
    EXPECT_EQ(formatOf(*qd, "2").verticalAlignment(), QTextCharFormat::AlignSuperScript);
    EXPECT_EQ(formatOf(*qd, "external").anchorHref(), "https://example.org/page#frag");
    EXPECT_EQ(formatOf(*qd, "internal").anchorHref(), "#intro");
    EXPECT_EQ(formatOf(*qd, "field").anchorHref(), "https://example.com/x#sec");
    EXPECT_EQ(formatOf(*qd, "external").foreground().color(), QColor("#00FF00"));  // link text looks as its run says
    EXPECT_FALSE(formatOf(*qd, "dangling").isAnchor());
}

TEST(ReaderImages, SizesDataUrlsAndRelationshipIds)
{
    Package p(picture("rId7", 952500, 476250) + picture("rId7"), imageParts("media/i.png", imageBytes(20, 10, "PNG")));
    const auto qd = p.rich();
    const QList<QTextImageFormat> found = images(*qd);
    ASSERT_EQ(found.size(), 2);
    EXPECT_EQ(QSizeF(found[0].width(), found[0].height()), QSizeF(100, 50));  // the declared extent
    EXPECT_EQ(QSizeF(found[1].width(), found[1].height()), QSizeF(20, 10));   // none declared: the image's own
    EXPECT_EQ(found[0].stringProperty(ImageRelIdProperty), "rId7");
    EXPECT_EQ(qd->resource(QTextDocument::ImageResource, QUrl(found[0].name())).value<QImage>().size(), QSize(20, 10));

    const QByteArray page = sectPr("<w:pgSz w:w=\"12240\" w:h=\"15840\"/><w:pgMar w:left=\"1440\" w:right=\"1440\"/>");
    const struct { QByteArray body; Parts parts; QSizeF size; const char *mime; } cases[] = {
        // wider than the printable width: scaled down (a package-absolute target)
        {picture("rId7") + page, imageParts("/word/media/w.png", imageBytes(2000, 500, "PNG"), "word/media/w.png"),
         {624, 156}, "png"},
        // one side declared, the other from the image; the type from the bytes, not the name
        {picture("rId7", 0, 95250, "anchor"), imageParts("media/a.jpg", imageBytes(30, 40, "PNG")), {30, 10}, "png"},
        // bytes without a known signature: the type from the name
        {picture("rId7"), imageParts("media/x.GIF", imageBytes(4, 4, "BMP")), {4, 4}, "gif"},
    };
    for (const auto &c : cases) {
        const QList<QTextImageFormat> one = images(*Package(c.body, c.parts).rich());
        ASSERT_EQ(one.size(), 1) << c.mime;
        EXPECT_EQ(QSizeF(one[0].width(), one[0].height()), c.size);
        EXPECT_TRUE(one[0].name().startsWith(QString("data:image/%1;base64,").arg(c.mime))) << c.mime;
    }
}

TEST(ReaderImages, PicturesThatCannotBeDecodedKeepTheirPlaceAndVmlPicturesShow)
{
    const QByteArray vml = "xmlns:v=\"urn:schemas-microsoft-com:vml\"";
    auto graphic = [](const char *uri, const QByteArray &inner) {
        return "<w:p><w:r><w:drawing><wp:anchor><wp:extent cx=\"952500\" cy=\"476250\"/><a:graphic><a:graphicData uri=\""
            + QByteArray(uri) + "\">" + inner + "</a:graphicData></a:graphic></wp:anchor></w:drawing></w:r></w:p>";
    };
    const QByteArray textBox = graphic("http://schemas.microsoft.com/office/word/2010/wordprocessingShape",
                                       "<w:txbxContent>" + picture("rId8") + "</w:txbxContent>");
    Package p(picture("rId7", 952500, 476250)  // a metafile: a placeholder of the declared size
                  + "<w:p><w:r><w:pict><v:shape " + vml + " style=\"width:75pt;height:1in\"><v:imagedata r:id=\"rId8\"/>"
                  + "</v:shape></w:pict></w:r></w:p>"
                  + "<w:p><w:r><w:object w:dxaOrig=\"1440\" w:dyaOrig=\"720\"><v:shape " + vml + "><v:imagedata "
                  + "r:id=\"rId7\"/></v:shape></w:object></w:r></w:p>"
                  + graphic("http://schemas.openxmlformats.org/drawingml/2006/picture", "<a:blip r:link=\"rId9\"/>")
                  + graphic("http://schemas.openxmlformats.org/drawingml/2006/diagram", QByteArray()) + textBox,
              rels({{"rId7", "image", "media/e.emf"}, {"rId8", "image", "media/p.png"}},
                   {{"word/media/e.emf", "\x01\x00\x00\x00 not a picture Qt decodes"},
                    {"word/media/p.png", imageBytes(8, 6, "PNG")}}));
    Warnings log;
    const auto qd = p.rich();
    const QList<QTextImageFormat> found = images(*qd);
    // The picture in the text box comes once, with the box's paragraph, not with the drawing.
    ASSERT_EQ(found.size(), 6);
    const QList<QSizeF> sizes = {{100, 50}, {100, 96}, {96, 48}, {100, 50}, {100, 50}, {8, 6}};
    for (int i = 0; i < found.size(); ++i)
        EXPECT_EQ(QSizeF(found[i].width(), found[i].height()), sizes[i]) << i;
    const QImage box = qd->resource(QTextDocument::ImageResource, QUrl(found[0].name())).value<QImage>();
    ASSERT_EQ(box.size(), QSize(100, 50));
    EXPECT_NE(box.pixel(0, 0), box.pixel(50, 25));  // a thin border around a light box
    EXPECT_EQ(qGray(box.pixel(50, 25)), qGray(box.pixel(60, 30)));
    EXPECT_EQ(found[0].stringProperty(ImageRelIdProperty), "rId7");  // the re-save keeps the metafile's part
    EXPECT_EQ(qd->resource(QTextDocument::ImageResource, QUrl(found[1].name())).value<QImage>().size(), QSize(8, 6));
    EXPECT_TRUE(log.contains("failed to decode image") && !log.contains("no blip found"));
}

TEST(ReaderTables, SpansMergesShadingNestingAndBorders)
{
    const QByteArray rows = tr(tc(para("wide"), "<w:gridSpan w:val=\"2\"/>") + tc(para("c2")))
        + tr(tc(para("r1")) + tc(para("down"), "<w:vMerge w:val=\"restart\"/>"))
        + tr(tc(para("r2")) + tc(para("lost"), "<w:vMerge/>") + tc(para("x")) + tc(para("longer")))
        + "<w:sdt><w:sdtContent>" + tr(tc(para("r3")) + tc(para("lost too"), "<w:vMerge w:val=\"continue\"/>"))
        + "</w:sdtContent></w:sdt>";
    auto shaded = [](const QByteArray &fill) { return "<w:shd w:val=\"clear\" w:fill=\"" + fill + "\"/>"; };
    const QByteArray cells = tr(tc(para("grey"), shaded("D9D9D9")) + tc(para("auto"), shaded("AuTo"))
                                + tc(para("short"), shaded("FFF"))
                                + tc(para("before") + tbl(tr(tc(para("inner"))), 1) + para("after")));
    Package p(tbl(rows, 3, "MyTable") + tbl(cells, 4, "LightShading-Accent1"));
    const auto qd = p.rich();
    const QList<QTextFrame *> frames = qd->rootFrame()->childFrames();
    ASSERT_EQ(frames.size(), 2);
    QTextTable *t = qobject_cast<QTextTable *>(frames[0]), *s = qobject_cast<QTextTable *>(frames[1]);
    ASSERT_TRUE(t && s);
    EXPECT_EQ(QList<int>({t->rows(), t->columns()}), QList<int>({4, 4}));  // a wrapped row counts, a long one widens
    EXPECT_EQ(QList<int>({t->cellAt(0, 0).columnSpan(), t->cellAt(1, 1).rowSpan()}), QList<int>({2, 3}));
    EXPECT_EQ(QStringList({cellText(t, 0, 2), cellText(t, 1, 1), cellText(t, 2, 3), cellText(t, 3, 0), cellText(t, 1, 3)}),
              QStringList({"c2", "down", "longer", "r3", ""}));  // a short row leaves cells empty
    EXPECT_FALSE(qd->toPlainText().contains("lost"));
    EXPECT_EQ(paragraphsRead(*qd).size(), p.doc().paragraphCount() - 2);  // continuation cells are not read
    // Borders when the style's name holds "Table" or "Grid".
    EXPECT_EQ(QList<double>({t->format().border(), s->format().border(), t->format().cellPadding()}),
              QList<double>({1, 0, 4}));
    EXPECT_EQ(t->format().width(), QTextLength(QTextLength::PercentageLength, 100));
    EXPECT_EQ(s->cellAt(0, 0).format().background().color(), QColor("#D9D9D9"));
    EXPECT_EQ(QList<int>({s->cellAt(0, 1).format().background().style(), s->cellAt(0, 2).format().background().style()}),
              QList<int>({Qt::NoBrush, Qt::NoBrush}));  // "auto" and short fills shade nothing
    const QTextTableCell outer = s->cellAt(0, 3);  // a nested table sits between the paragraphs around it
    QStringList inCell;
    for (QTextBlock b = outer.firstCursorPosition().block(); b.position() <= outer.lastPosition(); b = b.next())
        inCell << b.text();
    EXPECT_EQ(inCell, QStringList({"before", "inner", "", "after"}));
}

TEST(ReaderTables, RowsThatSkipGridColumnsKeepTheirCellsInPlace)
{
    auto trWith = [](const QByteArray &trPr, const QByteArray &cells) {
        return "<w:tr><w:trPr>" + trPr + "</w:trPr>" + cells + "</w:tr>";
    };
    const QByteArray rows = tr(tc(para("a")) + tc(para("b")) + tc(para("c")) + tc(para("d")))
        + trWith("<w:gridBefore w:val=\"1\"/><w:gridAfter w:val=\"1\"/>", tc(para("x")) + tc(para("y")))
        + trWith("<w:wBefore w:w=\"2000\" w:type=\"dxa\"/>", tc(para("z")))
        + trWith("<w:gridBefore w:val=\"9\"/>", tc(para("w1")) + tc(para("w2")));
    const auto qd = Package(tbl(rows, 4)).rich();
    QTextTable *t = firstTable(*qd);
    ASSERT_NE(t, nullptr);
    // The skipped columns stay empty; a row that skips more than the grid holds widens the table.
    EXPECT_EQ(QList<int>({t->rows(), t->columns()}), QList<int>({4, 11}));
    EXPECT_EQ(QStringList({cellText(t, 1, 0), cellText(t, 1, 1), cellText(t, 1, 2), cellText(t, 2, 2)}),
              QStringList({"", "x", "y", "z"}));
    EXPECT_EQ(cellText(t, 3, 9) + cellText(t, 3, 10), "w1w2");
}

TEST(ReaderHostile, PicturesThatCannotBeShownAreDroppedWithTheirWarning)
{
    const Parts parts = rels({{"rId7", "image", "media/bad.png"}, {"rId8", "image", "media/none.png"},
                              {"rId9", "hyperlink", "media/bad.png"}},
                             {{"word/media/bad.png", "not an image"}});
    const std::pair<QByteArray, const char *> cases[] = {
        {"<wp:inline><wp:extent cx=\"9525\" cy=\"9525\"/></wp:inline>", "no blip found"},
        {"<wp:inline><a:blip/></wp:inline>", "empty rId"},
        {"<wp:inline><a:blip r:embed=\"rId9\"/></wp:inline>", "rId not in imageRels map"},
        {"<wp:inline><a:blip r:embed=\"rId8\"/></wp:inline>", "no image data in entries"},
        {"<wp:inline><a:blip r:embed=\"rId7\"/></wp:inline>", "failed to decode image \"word/media/bad.png\""},
        {"<wp:other><a:blip r:embed=\"rId7\"/></wp:other>", nullptr},  // no drawing container: silently nothing
    };
    for (const auto &[drawing, warning] : cases) {
        Package p(paragraph(run("x") + "<w:r><w:drawing>" + drawing + "</w:drawing></w:r>"), parts);
        Warnings log;
        const auto qd = p.rich();
        EXPECT_EQ(log.contains(QString("insertDrawingImage: ") + (warning ? warning : "")), warning != nullptr)
            << g_warnings.join('|').toStdString();
        EXPECT_TRUE(images(*qd).isEmpty());
        EXPECT_EQ(qd->toPlainText(), "x");
    }
}

TEST(ReaderHostile, HugeDeclaredImageSizesAndDecompressionBombsAreBounded)
{
    const qint64 huge = 9'000'000'000'000'000'000LL;
    Package p(picture("rId7", huge, 95250) + picture("rId7", 9525, huge), imageParts("media/a.png", imageBytes(4, 4, "PNG")));
    const QList<QTextImageFormat> found = images(*p.rich());
    ASSERT_EQ(found.size(), 2);
    for (const QTextImageFormat &img : found)
        EXPECT_TRUE(qMax(img.width(), img.height()) <= 16384.0 && img.width() > 0) << img.width() << "x" << img.height();

    // A real PNG whose header (the IHDR chunk from byte 8) is made to declare 200000 x 200000 pixels.
    QByteArray bomb = imageBytes(1, 1, "PNG");
    qToBigEndian<quint32>(200000, bomb.data() + 16);
    qToBigEndian<quint32>(200000, bomb.data() + 20);
    qToBigEndian<quint32>(quint32(crc32(0, reinterpret_cast<const Bytef *>(bomb.constData() + 12), 17)), bomb.data() + 29);
    Package bombed(picture("rId7"), imageParts("media/bomb.png", bomb));
    Warnings log;
    EXPECT_TRUE(images(*bombed.rich()).isEmpty());
    EXPECT_TRUE(log.contains("insertDrawingImage: image too large to decode"));
}

TEST(ReaderHostile, MergesAndSpansThatBreakTheGrid)
{
    const QByteArray rows = tr(tc(para("orphan"), "<w:vMerge/>") + tc(para("huge"), "<w:gridSpan w:val=\"2000000000\"/>")
                               + tc(para("next")))
        + tr(tc(para("wide"), "<w:gridSpan w:val=\"2\"/><w:vMerge w:val=\"restart\"/>") + tc(para("r1")))
        + tr(tc(para("under"), "<w:vMerge/>") + tc(para("covered")) + tc(para("end"), "<w:vMerge w:val=\"restart\"/>"));
    Package p(tbl(rows, 2));
    const auto qd = p.rich();
    QTextTable *t = firstTable(*qd);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(QList<int>({t->rows(), t->columns(), t->cellAt(0, 1).columnSpan()}), QList<int>({3, 3 + 64, 65}));
    EXPECT_EQ(cellText(t, 0, t->columns() - 1), "next");  // the huge span is cut to the bound beyond the widest row
    EXPECT_EQ(cellText(t, 2, 2), "end");                   // a merge started in the last row spans nothing
    const QList<ParagraphRead> read = paragraphsRead(*qd);
    for (qsizetype i = 1; i < read.size(); ++i)
        EXPECT_GT(read[i].firstBlock, read[i - 1].lastBlock);
}

TEST(ReaderHostile, TablesTooDeepOrTooLargeComeOutAsParagraphs)
{
    QByteArray nested = para("core");
    for (int depth = 0; depth < 60; ++depth)
        nested = tbl(tr(tc(para("level" + QByteArray::number(59 - depth)) + nested)), 1);
    Package deep(nested);
    const auto qd = deep.rich();
    EXPECT_EQ(paragraphsRead(*qd).size(), deep.doc().paragraphCount());  // every paragraph still converted
    EXPECT_TRUE(qd->toPlainText().contains("core"));
    int depth = 0;
    for (QTextFrame *f = qd->rootFrame(); !f->childFrames().isEmpty(); f = f->childFrames().first())
        ++depth;
    EXPECT_EQ(depth, 8);

    QByteArray rows;
    for (int r = 0; r < 251; ++r)
        rows += tr(tc(para("row" + QByteArray::number(r))));
    Package large(tbl(rows, 1000) + para("after"));  // 251 x 1000 declared cells
    const auto largeRich = large.rich();
    const QStringList texts = blockTexts(*largeRich);
    ASSERT_EQ(texts.size(), 253);  // the initial empty block, 251 rows, the paragraph after: no table
    EXPECT_EQ(QStringList({texts[1], texts[251]}), QStringList({"row0", "row250"}));
    EXPECT_EQ(paragraphsRead(*largeRich).size(), 252);
}

TEST(ReaderHostile, FieldsWithoutEndMissingNumberingAndHugeValues)
{
    const QByteArray openField = "<w:p><w:r><w:fldChar w:fldCharType=\"begin\"/><w:instrText>PAGE</w:instrText>"
                                 "<w:fldChar w:fldCharType=\"separate\"/><w:t>1</w:t><w:t>2</w:t></w:r></w:p>";
    const QByteArray hugeToc = paragraph(run("T", "<w:sz w:val=\"2000000000\"/>") + tab() + run("1"),
                                         "<w:tabs><w:tab w:val=\"right\" w:leader=\"dot\" w:pos=\"2000000000\"/></w:tabs>");
    Package p(openField + para("next") + item("no definition", 77) + item("marker-free", 1) + item("again", 1)
                  + para("hang", "<w:ind w:hanging=\"-2147483648\"/>") + item("big", 2) + item("bigger", 2) + hugeToc,
              numbering(list(1, 0, level(0, "decimal", "Item")) + list(2, 5, level(0, "upperRoman", "%1", 2147483647))));
    const auto qd = p.rich();
    const QStringList texts = blockTexts(*qd);
    ASSERT_EQ(texts.size(), 9);
    EXPECT_EQ(texts.mid(0, 5), QStringList({kPagePh, "next", "no definition", "Item marker-free", "Item again"}));
    // The counter does not overflow, nor is its numeral megabytes long; the leader and the size are bounded.
    EXPECT_EQ(texts.mid(6, 2), QStringList({"2147483647 big", "2147483647 bigger"}));
    EXPECT_LE(texts[8].count(". "), 1000);
    EXPECT_DOUBLE_EQ(formatOf(*qd, "T").fontPointSize(), kMaxPointSize);
}

// The reading of the corpus against LibreOffice's (tests/tools/reading_tally.py prints the tally); fails on a crash
// or when a rate falls below where it stood.
TEST(ReaderCorpus, ReadingAgreesWithLibreOffice)
{
    using namespace testing_support;
    LXDOCX_NEEDS_CORPUS();
    // LibreOffice's readings are kept beside the test program: only a first run converts.
    const QString cache = QCoreApplication::applicationDirPath() + "/reading-tally-cache";
    const QStringList minimums = {"paragraphs=96",     "documents=88",      "labels=97", "tables=98",
                                 "pictures=90",       "internal links=95", "fragment links=95",
                                 "headers=75",        "footers=80",        "pages=95"};
    QStringList args = {toolScript("reading_tally.py"), LXDOCX_CLI, corpusDir(), cache};
    for (const QString &m : minimums)
        args << "--min" << m;
    QString out, err;
    const int rc = run(systemPython(), args, &out, &err);
    std::cout << out.toStdString();
    if (rc == 77)
        GTEST_SKIP() << out.toStdString();
    EXPECT_EQ(rc, 0) << err.toStdString();
}

TEST(ReaderHeaders, ReferencesOfTheLastSectionAreRenderedByKind)
{
    const Parts parts = rels(
        {{"rId1", "header", "header1.xml"}, {"rId2", "footer", "/word/footer1.xml"}, {"rId3", "header", "header2.xml"},
         {"rId4", "footer", "missing.xml"}},
        {part("word/header1.xml", "hdr", para("Head") + "<w:sdt><w:sdtContent>" + para("in control")
                                             + "</w:sdtContent></w:sdt>" + tbl(tr(tc(para("cell"))), 1) + picture("rId9")),
         // the header's pictures come through its own relationships
         {"word/_rels/header1.xml.rels", rels({{"rId9", "image", "media/h.png"}})[0].second},
         {"word/media/h.png", imageBytes(3, 2, "PNG")},
         part("word/footer1.xml", "ftr", paragraph(run("Page ") + fieldRuns("PAGE", "1"))),
         part("word/header2.xml", "hdr", para("Second")),
         part("word/settings.xml", "settings", "<w:evenAndOddHeaders w:val=\"false\"/>")});
    Package p(para("body", sectPr(ref("header", "first", "rId3")))
                  + sectPr(ref("header", "default", "rId3") + ref("header", "default", "rId1")
                           + ref("header", "odd", "rId3") + ref("header", "even", "rId404")
                           + ref("footer", "default", "rId2") + ref("footer", "first", "rId4")
                           + "<w:pgMar w:header=\"360\" w:footer=\"-20\"/><w:titlePg/>"),
              parts);
    const DocxReader::DocxHFSet set = DocxReader::readHeadersFooters(p.doc());
    const std::unique_ptr<QTextDocument> owned[] = {std::unique_ptr<QTextDocument>(set.defaultHdr),
                                                    std::unique_ptr<QTextDocument>(set.defaultFtr)};
    EXPECT_TRUE(set.titlePage);
    EXPECT_TRUE(set.evenAndOdd);  // the settings are searched as bytes: the value is not read
    EXPECT_EQ(QList<double>({set.hdrDist, set.ftrDist}), QList<double>({24, 48}));  // a negative one keeps the default
    ASSERT_NE(set.defaultHdr, nullptr);  // the later reference of a kind wins; a relative target
    EXPECT_EQ(blockTexts(*set.defaultHdr), QStringList({"Head", "in control", "cell", "", QString(QChar(0xFFFC))}));
    EXPECT_NE(firstTable(*set.defaultHdr), nullptr);
    EXPECT_EQ(images(*set.defaultHdr).size(), 1);
    EXPECT_DOUBLE_EQ(set.defaultHdr->documentMargin(), 0.0);
    ASSERT_NE(set.defaultFtr, nullptr);  // a package-absolute target
    EXPECT_EQ(set.defaultFtr->toPlainText(), "Page " + kPagePh);
    // Earlier sections, unknown kinds and relationships, and missing parts give nothing.
    EXPECT_EQ(QList<QTextDocument *>({set.firstHdr, set.evenHdr, set.firstFtr, set.evenFtr}),
              QList<QTextDocument *>(4, nullptr));

    Package none(para("x"), {part("word/settings.xml", "settings", "<w:evenAndOddHeaders/>")});
    const DocxReader::DocxHFSet noSection = DocxReader::readHeadersFooters(none.doc());
    EXPECT_TRUE(noSection.evenAndOdd && !noSection.titlePage && !noSection.defaultHdr);
    EXPECT_DOUBLE_EQ(noSection.hdrDist, 48.0);
    Warnings log;
    EXPECT_EQ(DocxReader::renderHFPart("<w:hdr><w:p>", none.doc()), nullptr);
    EXPECT_TRUE(log.contains("renderHFPart: XML parse error:"));
    EXPECT_EQ(DocxReader::renderHFPart(part({}, "body", para("x")).second, none.doc()), nullptr);
}

// ---- sections laid out as pages (the preview) ----

namespace {

QByteArray sectionBreak(const QByteArray &inner) { return "<w:p><w:pPr>" + sectPr(inner) + "</w:pPr></w:p>"; }

// What `lxdocx text --json --pages` reports of a body.
QJsonObject textReport(const QByteArray &body, const Parts &parts = {})
{
    using namespace testing_support;
    QTemporaryDir dir;
    const QString path = dir.filePath("pages.docx");
    EXPECT_TRUE(writeFile(path, makePackage(documentXml(body), parts)));
    QString out, err;
    EXPECT_EQ(testing_support::run(LXDOCX_CLI, {"text", "--json", "--pages", path}, &out, &err, 60000), 0) << err.toStdString();
    return QJsonDocument::fromJson(out.toUtf8()).object();
}

int previewPages(const QByteArray &body, const Parts &parts = {})
{
    return textReport(body, parts).value("pages").toInt(-1);
}

QStringList strings(const QJsonValue &array)
{
    QStringList out;
    for (const QJsonValue &v : array.toArray())
        out << v.toString();
    return out;
}

}  // namespace

TEST(ReaderPages, SectionsStartPagesByTheirTypeAndBreaksFollowTheDocument)
{
    const QByteArray landscape = "<w:pgSz w:w=\"15840\" w:h=\"12240\"/>";
    // A landscape page, an odd-page section on page 3 (page 2 left blank), a continuous one on the same page, a
    // paragraph that starts a page, a page break inside a run, and a keep-with-next heading that moves with the
    // paragraph after it.
    const QByteArray body = para("one") + sectionBreak(landscape) + para("two")
        + sectionBreak("<w:type w:val=\"oddPage\"/>") + para("three")
        + sectionBreak("<w:type w:val=\"continuous\"/>") + para("four", "<w:pageBreakBefore/>")
        + "<w:p><w:r><w:t>five</w:t><w:br w:type=\"page\"/><w:t>six</w:t></w:r></w:p>"
        + sectPr("<w:type w:val=\"continuous\"/>");
    EXPECT_EQ(previewPages(body), 5);
    // 27 lines of 470 twips fit on a page: 26, a heading and its paragraph, 26 more take two pages, or three when the
    // heading keeps with its paragraph (both go to the second page).
    const QByteArray exact = "<w:spacing w:line=\"470\" w:lineRule=\"exact\"/>";
    QByteArray filler;
    for (int i = 0; i < 26; ++i)
        filler += para("line", exact);
    EXPECT_EQ(previewPages(filler + para("heading", exact) + para("body", exact) + filler), 2);
    EXPECT_EQ(previewPages(filler + para("heading", exact + "<w:keepNext/>") + para("body", exact) + filler), 3);

    // Each section keeps its own page size in the PDF.
    using namespace testing_support;
    QTemporaryDir dir;
    const QString path = dir.filePath("sizes.docx"), pdf = dir.filePath("sizes.pdf");
    ASSERT_TRUE(writeFile(path, makePackage(documentXml(body))));
    QString out, err;
    ASSERT_EQ(testing_support::run(LXDOCX_CLI, {"preview", path, pdf}, &out, &err, 60000), 0) << err.toStdString();
    EXPECT_TRUE(out.contains("(5 pages)")) << out.toStdString();
    const QByteArray bytes = readFile(pdf);
    EXPECT_EQ(bytes.count("MediaBox [0 0 792.000000 612.000000]"), 1);
    EXPECT_EQ(bytes.count("MediaBox [0 0 612.000000 792.000000]"), 4);
}

TEST(ReaderPages, HeadersCarryForwardAndEachSectionHasItsPage)
{
    const Parts parts = rels({{"rId1", "header", "header1.xml"}, {"rId2", "header", "header2.xml"},
                              {"rId3", "footer", "footer1.xml"}},
                             {part("word/header1.xml", "hdr", tbl(tr(tc(para("left")) + tc(para("right"))), 2)),
                              part("word/header2.xml", "hdr", para("first page")),
                              part("word/footer1.xml", "ftr", para("foot"))});
    Package p(para("a") + sectionBreak(ref("header", "default", "rId1") + ref("footer", "default", "rId3")
                                       + "<w:pgSz w:w=\"12240\" w:h=\"15840\"/><w:pgMar w:left=\"720\"/>")
                  + para("b") + sectionBreak("<w:titlePg/><w:cols w:num=\"2\" w:space=\"360\"/>" + ref("header", "first", "rId2"))
                  + para("c") + sectPr("<w:pgSz w:w=\"1\" w:h=\"1\"/><w:pgMar w:top=\"0\"/>"),
              parts);
    const DocxReader::DocxPageLayout layout = DocxReader::readPageLayout(p.doc());
    ASSERT_EQ(layout.sections.size(), 3);
    const auto &[first, second, third] = std::tie(layout.sections[0], layout.sections[1], layout.sections[2]);
    EXPECT_EQ(QStringList({blockTexts(*first.body).join('|'), blockTexts(*second.body).join('|'),
                           blockTexts(*third.body).join('|')}),
              QStringList({"a|", "b|", "c"}));
    // A header made of a table is read; kinds a section does not name come from the section before.
    ASSERT_TRUE(first.headers[HFDefault]);
    EXPECT_NE(firstTable(*first.headers[HFDefault]), nullptr);
    EXPECT_EQ(second.headers[HFDefault], first.headers[HFDefault]);
    EXPECT_EQ(second.footers[HFDefault], first.footers[HFDefault]);
    EXPECT_TRUE(second.titlePage && second.headers[HFFirst] && !first.headers[HFFirst]);
    EXPECT_EQ(third.headers[HFFirst], second.headers[HFFirst]);
    // Columns make the text as wide as one of them.
    EXPECT_EQ(second.columns, 2);
    EXPECT_DOUBLE_EQ(second.body->textWidth(), (816 - 96 - 96 - 24) / 2.0);
    EXPECT_DOUBLE_EQ(first.margins.left, 48.0);
    // A page no printer holds is brought to one inch, its margins leaving room for text.
    EXPECT_TRUE(third.bounded && !first.bounded);
    EXPECT_EQ(third.pageSize, QSizeF(96, 96));
    EXPECT_GE(third.pageSize.height() - third.margins.top - third.margins.bottom, 48.0);
    // The report names each part once, the first page's only where a section has a first page; links in order.
    auto report = [&](const QByteArray &secondSection) {
        return textReport(paragraph("<w:hyperlink w:anchor=\"c\">" + run("to c") + "</w:hyperlink>") + para("a")
                              + sectionBreak(ref("header", "default", "rId1") + ref("footer", "default", "rId3")
                                             + ref("header", "first", "rId2"))
                              + para("b") + sectionBreak(secondSection) + para("c") + sectPr(""),
                          parts);
    };
    const QJsonObject titled = report("<w:titlePg/>"), untitled = report("");
    EXPECT_EQ(strings(titled.value("headers")), QStringList({"left", "right", "first page"}));
    EXPECT_EQ(strings(untitled.value("headers")), QStringList({"left", "right"}));
    EXPECT_EQ(strings(titled.value("footers")), QStringList({"foot"}));
    EXPECT_EQ(strings(titled.value("links")), QStringList({"#c"}));
}

TEST(ReaderPages, HostilePageGeometryAndPageCountsAreBounded)
{
    using namespace testing_support;
    QTemporaryDir dir;
    QByteArray text;
    for (int i = 0; i < 300; ++i)
        text += para("a line of text that wraps on a tiny page");
    // A page of 1 x 1 twips lays out on a page of one inch, not on hundreds of thousands of pages.
    const QString tiny = dir.filePath("tiny.docx"), tinyPdf = dir.filePath("tiny.pdf");
    ASSERT_TRUE(writeFile(tiny, makePackage(documentXml(text + sectPr("<w:pgSz w:w=\"1\" w:h=\"1\"/>")))));
    QString out, err;
    ASSERT_EQ(testing_support::run(LXDOCX_CLI, {"preview", tiny, tinyPdf}, &out, &err, 60000), 0) << err.toStdString();
    EXPECT_TRUE(err.contains("Page brought within printable sizes")) << err.toStdString();
    EXPECT_LT(QFileInfo(tinyPdf).size(), 20'000'000);
    EXPECT_TRUE(out.contains(" pages)") && !err.contains("more than")) << out.toStdString();
    // A 100-inch page gives a PNG of a 22-inch page at most, within the pixel bound.
    const QString huge = dir.filePath("huge.docx"), png = dir.filePath("huge.png");
    ASSERT_TRUE(writeFile(huge, makePackage(documentXml(para("x") + sectPr("<w:pgSz w:w=\"144000\" w:h=\"144000\"/>")))));
    ASSERT_EQ(testing_support::run(LXDOCX_CLI, {"preview", huge, png}, &out, &err, 60000), 0) << err.toStdString();
    const QSize pixels = QImageReader(png).size();
    EXPECT_TRUE(pixels.isValid() && qint64(pixels.width()) * pixels.height() <= 50'000'000) << pixels.width();
    // More pages than the bound: the preview stops there and says so.
    QByteArray breaks;
    for (int i = 0; i < 10'050; ++i)
        breaks += "<w:p><w:pPr><w:pageBreakBefore/></w:pPr></w:p>";
    const QString many = dir.filePath("many.docx"), manyPng = dir.filePath("many.png");
    ASSERT_TRUE(writeFile(many, makePackage(documentXml(breaks))));
    ASSERT_EQ(testing_support::run(LXDOCX_CLI, {"preview", many, manyPng}, &out, &err, 120000), 0) << err.toStdString();
    EXPECT_TRUE(err.contains("more than 10000 pages")) << err.toStdString();
}

TEST(ReaderHtml, SectionsRunToTheNextHeadingOfTheSameOrHigherLevel)
{
    auto heading = [](const QByteArray &text, int n) {
        return para(text, "<w:pStyle w:val=\"Heading" + QByteArray::number(n) + "\"/>");
    };
    Package p(heading("Intro", 1) + para("a") + heading("Sub", 2) + para("b") + heading("Next", 1) + para("c"));
    auto shown = [&](const QString &title) {
        const QString html = renderSectionHtml(p.edit(), title);
        QString texts;
        for (const char *text : {">Intro<", ">a<", ">Sub<", ">b<", ">Next<", ">c<"})
            texts += html.contains(text) ? QString(text).mid(1, 1) : QString();
        return texts;
    };
    // No such heading, a body paragraph's text or no title: the whole body.
    const std::pair<const char *, const char *> cases[] = {
        {"Intro", "IaSb"}, {"Sub", "Sb"}, {"  Next ", "Nc"}, {"missing", "IaSbNc"}, {"a", "IaSbNc"}, {"", "IaSbNc"}};
    for (const auto &[title, texts] : cases)
        EXPECT_EQ(shown(title), texts) << title;
    Package empty("");
    EXPECT_EQ(renderSectionHtml(empty.edit(), "x"), "");
}

TEST(ReaderHtml, PagesCarryWhatTheReadingHoldsEscaped)
{
    const QByteArray hostileFont = "<w:rFonts w:ascii=\"x&quot; onmouseover=&quot;alert(1)\\' \"/>";
    const QByteArray body =
        para("Title &amp; &lt;more&gt; é", "<w:pStyle w:val=\"Heading1\"/>") + item("item", 1)
        + paragraph(run("font", hostileFont) + "<w:hyperlink r:id=\"rId3\">" + run("link") + "</w:hyperlink>" + tab()
                    + run("page ") + fieldRuns("PAGE", "7"))
        + tbl(tr(tc(para("wide"), "<w:gridSpan w:val=\"2\"/>")) + tr(tc(para("x")) + tc(para("y"))), 2)
        + picture("rId7");
    Parts parts = rels({{"rId3", "hyperlink", "https://example.org/?a=1&amp;b=&quot;2&quot;"},
                        {"rId7", "image", "media/i.png"}},
                       {{"word/media/i.png", imageBytes(2, 3, "PNG")}});
    parts.push_back(numbering(list(1, 0, level(0, "decimal", "%1.")))[0]);
    Package p(body, parts);
    const QString html = renderSectionHtml(p.edit(), QString());
    EXPECT_TRUE(html.startsWith("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">")) << html.toStdString();
    EXPECT_TRUE(html.contains(">Title &amp; &lt;more&gt; é</h1>")) << html.toStdString();
    EXPECT_TRUE(html.contains("<span class=\"label\">1. </span>item"));
    // Attribute values never end early, whatever the document's names and targets hold.
    EXPECT_FALSE(html.contains("\" onmouseover="));
    EXPECT_TRUE(html.contains("font-family:'x&quot; onmouseover=&quot;alert(1)\\\\\\' '")) << html.toStdString();
    EXPECT_TRUE(html.contains("<a href=\"https://example.org/?a=1&amp;b=&quot;2&quot;\">link</a>"));
    EXPECT_TRUE(html.contains("<span class=\"tab\">\t</span>page 7"));  // a page field shows its result
    EXPECT_TRUE(html.contains("<td colspan=\"2\"")) << html.toStdString();
    EXPECT_TRUE(html.contains("<img src=\"data:image/png;base64,") && html.contains("width=\"2\" height=\"3\""));
    EXPECT_TRUE(html.endsWith("</body></html>\n"));
}
