// The Writer on the body's bytes and tree: what blocks, runs, pictures, tables and lists become.
#include "DocxReader.h"
#include "DocxWriter.h"
#include "EditTestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTextCursor>

#include <limits>

using namespace edit_support;

namespace {
QByteArray para(const QByteArray &text, const QByteArray &pPr = {})
{
    return "<w:p>" + (pPr.isEmpty() ? "" : "<w:pPr>" + pPr + "</w:pPr>") + "<w:r><w:t>" + text + "</w:t></w:r></w:p>";
}

QList<QDomElement> kids(const QDomNode &parent, const QString &localName = {})
{
    QList<QDomElement> out;
    for (QDomElement c = parent.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
        if (localName.isEmpty() || c.localName() == localName)
            out << c;
    return out;
}

QDomElement kid(const QDomNode &parent, const QString &localName) { return kids(parent, localName).value(0); }
QString attr(const QDomElement &e, const char *name) { return e.attributeNS(kNsW, name); }
// A node as text: name, sorted attributes but declarations in [], children in (), text quoted; `ns`: names with URIs.
QString shape(const QDomNode &n, bool ns = false)
{
    if (n.isText())
        return '"' + n.nodeValue() + '"';
    auto name = [ns](const QDomNode &x) {
        return (ns && !x.namespaceURI().isEmpty() ? '{' + x.namespaceURI() + '}' : QString()) + x.localName();
    };
    QStringList attrs, children;
    for (int i = 0; i < n.attributes().count(); ++i)
        if (!n.attributes().item(i).nodeName().startsWith("xmlns"))
            attrs << name(n.attributes().item(i)) + '=' + n.attributes().item(i).nodeValue();
    attrs.sort();
    for (QDomNode c = n.firstChild(); !c.isNull(); c = c.nextSibling())
        children << shape(c, ns);
    return name(n) + (attrs.isEmpty() ? "" : '[' + attrs.join(' ') + ']')
        + (children.isEmpty() ? "" : '(' + children.join(' ') + ')');
}

// shape() less the 12 pt run size and paragraph spacing; of a paragraph, what follows its properties.
QString brief(const QDomNode &n)
{
    static const QRegularExpression size("rPr\\(sz\\[val=24\\] szCs\\[val=24\\]\\) | ?sz\\[val=24\\] szCs\\[val=24\\]|"
                                         " ?spacing\\[after=\\d+ before=\\d+\\]");
    static const QRegularExpression empty("rPr\\(\\) |pPr\\(\\) ");
    auto cut = [](QString text) { return text.remove(size).replace("( ", "(").remove(empty); };
    QStringList out;
    for (const QDomElement &c : kids(n))
        if (c.localName() != "pPr")
            out << cut(shape(c));
    return n.localName() == "p" ? out.join(' ') : cut(shape(n));
}

// The children of a body in short: p:STYLE[#NUMID.ILVL]:TEXT, tbl:ROWSxGRIDCOLUMNS, sdt:TEXT.
QStringList outline(const QDomElement &body)
{
    QStringList out;
    for (const QDomElement &e : kids(body)) {
        const QDomElement pPr = kid(e, "pPr"), num = kid(pPr, "numPr");
        const QString n = e.localName(), text = n == "sdt" || n == "p" ? ':' + paragraphText(e) : QString();
        out << (n == "tbl" ? QString("tbl:%1x%2").arg(kids(e, "tr").size()).arg(kids(kid(e, "tblGrid")).size())
                : n != "p" ? n + text
                : "p:" + attr(kid(pPr, "pStyle"), "val") + (num.isNull() ? "" : '#' + attr(kid(num, "numId"), "val")
                    + '.' + attr(kid(num, "ilvl"), "val")) + text);
    }
    return out;
}

const QByteArray kOld = makePackage(documentXml(para("old")));

class Writer : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    int files = 0;
    struct Result
    {
        bool ok;
        DocxEntryMap parts;  // the package as saved
        QDomDocument dom;
        QDomElement body;
        QByteArray xml() const { return parts.value(kPartDocument); }
        QList<QDomElement> paras() const { return kids(body, "p"); }
    };
    // `make` once on the body's bytes and once on the body tree: both must save the same package. Returns the first.
    template <typename Make>
    Result both(const QByteArray &package, Make make)
    {
        Result r[2];
        const QString in = dir.filePath(QString::number(++files));
        EXPECT_TRUE(writeFile(in, package));
        for (int tree = 0; tree < 2; ++tree) {
            const std::unique_ptr<DocxDocument> doc = DocxDocument::open(in);
            if (tree)
                doc->body().dom();
            Result &s = r[tree];
            s.ok = make(*doc);
            EXPECT_TRUE(doc->saveAs(in + char('a' + tree)));
            s.parts = readEntries(in + char('a' + tree));
            s.dom = parsed(s.xml());
            s.body = firstDescendantNS(s.dom, kNsW, "body");
        }
        EXPECT_EQ(r[0].ok, r[1].ok);
        EXPECT_EQ(shape(r[0].dom.documentElement(), true), shape(r[1].dom.documentElement(), true));
        r[1].parts.insert(kPartDocument, r[0].xml());
        EXPECT_TRUE(r[0].parts == r[1].parts) << "the other parts differ";
        return r[0];
    }
    // The full build from rich text, and from a page read as the library reads pages.
    Result build(const QByteArray &package, const QTextDocument &source)
    {
        return both(package, [&](DocxDocument &doc) { return DocxWriter::buildFullDocumentDom(doc, &source); });
    }
    Result buildHtml(const QString &html, const QByteArray &package = kOld)
    {
        return both(package, [&](DocxDocument &doc) { return DocxWriter::buildFromHtml(doc, html); });
    }
};

}  // namespace

// New content takes the first paragraph's place (its attributes but its ids; its properties but its numbering,
// spacing and alignment), spliced into the bytes: the rest byte for byte, each prefix it uses declared once.
TEST_F(Writer, NewContentTakesTheTemplateParagraphsPlace)
{
    const QByteArray start =
        "<w:document xmlns:w=\"" + QByteArray(kNsW) + "\" xmlns:w14=\"http://schemas.microsoft.com/office/word/2010/"
        "wordml\"><w:body><w:p w14:paraId=\"1A\" w14:textId=\"7\" w:rsidR=\"0011\"><w:pPr><w:pStyle w:val=\"List\"/>"
        "<w:numPr><w:ilvl w:val=\"3\"/><w:numId w:val=\"5\"/></w:numPr><w:spacing w:after=\"120\"/><w:jc w:val=\""
        "right\"/></w:pPr><w:r><w:t>template</w:t></w:r></w:p>";
    const QByteArray rest = "<w:p w:rsidR='01'><w:r><w:t>second</w:t></w:r></w:p><w:sectPr/></w:body></w:document>";
    for (const QByteArray declaration : {"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n", ""}) {
        const Result r = buildHtml("<h2>Title</h2><ul><li>item</li></ul><table><tr><td>t</td></tr></table>",
                                   makePackage(declaration + start + rest));
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(outline(r.body).join(' '), "p:Heading2:Title p:Normal#3.0:item tbl:1x1 p:: p::second sectPr");
        EXPECT_EQ(shape(r.paras()[1].cloneNode(false)) + ' ' + shape(kid(r.paras()[1], "pPr")),
                  "p[rsidR=0011] pPr(pStyle[val=Normal] numPr(ilvl[val=0] numId[val=3]) spacing[after=180 before=0])");
        EXPECT_TRUE(r.xml().endsWith(rest)) << r.xml().toStdString();
        const QByteArray root = r.xml().left(r.xml().indexOf("<w:body>"));
        for (const char *prefix : {"w", "r", "wp", "a", "pic", "w14"})
            EXPECT_EQ(root.count(QByteArray(" xmlns:") + prefix + "="), 1) << prefix << ' ' << root.toStdString();
    }
}

// Nothing keeps the template; a trailing empty block goes, an empty list item stays; a frame that is no table goes.
TEST_F(Writer, BuildDropsTrailingEmptyBlocksAndFramesButKeepsEmptyListItems)
{
    const QByteArray package = makePackage(documentXml(para("old") + para("next") + "<w:sectPr/>"));
    auto built = [&](auto fill) {
        QTextDocument qd;
        QTextCursor c(&qd);
        fill(c);
        return outline(build(package, qd).body).join(' ');
    };
    EXPECT_EQ(built([](QTextCursor &) {}), "p::old p::next sectPr");
    EXPECT_EQ(built([](QTextCursor &c) { c.insertText("a"), c.insertBlock(); }), "p:Normal:a p::next sectPr");
    EXPECT_EQ(built([](QTextCursor &c) { c.createList(QTextListFormat::ListDecimal), c.insertText("a"), c.insertBlock(); }),
              "p:Normal#3.0:a p:Normal#3.0: p::next sectPr");
    EXPECT_EQ(built([](QTextCursor &c) { c.insertText("a"), c.insertFrame({}), c.insertText("in a frame"); }),
              "p:Normal:a p::next sectPr");
}

// Before a first paragraph's table or content control, which keeps it; after a template with a section break,
// which stays emptied; no paragraph, no build.
TEST_F(Writer, BuildPutsContentBeforeTheFirstTableOrControlAndAfterASectionBreak)
{
    const QByteArray broken = para("old", "<w:sectPr><w:pgSz w:w=\"100\"/></w:sectPr>");
    const std::pair<QByteArray, QString> places[] = {
        {"<w:tbl><w:tblGrid/><w:tr><w:tc>" + para("cell") + "</w:tc></w:tr></w:tbl>",
         "p:Normal:new tbl:1x1 p:: tbl:1x0 p::after sectPr|newtcellafter 5"},
        {"<w:sdt><w:sdtPr/><w:sdtContent>" + para("ctl") + "</w:sdtContent></w:sdt>",
         "p:Normal:new tbl:1x1 p:: sdt:ctl p::after sectPr|newtctlafter 5"},
        {broken, "p:Normal:new tbl:1x1 p:: p::after sectPr|newtafter 4"}, {"", "sectPr| 0"}};
    for (const auto &[first, expected] : places) {
        const QByteArray body = first + (first.isEmpty() ? "" : para("after")) + "<w:sectPr/>";
        const Result r = buildHtml("<p>new</p><table><tr><td>t</td></tr></table>", makePackage(documentXml(body)));
        EXPECT_EQ(r.ok, !first.isEmpty());
        EXPECT_EQ(outline(r.body).join(' ') + '|' + paragraphText(r.body) + ' '
                      + QString::number(r.body.elementsByTagNameNS(kNsW, "p").size()), expected);
        if (first == broken) {
            EXPECT_EQ(shape(kid(r.paras()[0], "pPr")) + ' ' + shape(r.paras()[1]),
                      "pPr(pStyle[val=Normal] spacing[after=180 before=180]) p(pPr(sectPr(pgSz[w=100])))");
        }
    }
}

TEST_F(Writer, BuildRefusesWithoutSourceOrValidDocument)
{
    const std::unique_ptr<DocxDocument> doc = DocxDocument::createBlank(dir.filePath("blank.docx"));
    const std::unique_ptr<DocxDocument> invalidParts = DocxDocument::fromEntries({}, {});
    DocxDocument &invalid = *invalidParts;
    QTextDocument qd;
    EXPECT_FALSE(DocxWriter::buildFullDocumentDom(*doc, nullptr) || DocxWriter::buildFullDocumentDom(invalid, &qd));
}

// Breaks, underlines, tabs; links with the Hyperlink style, to a bookmark for a place in the page; only a placeholder
// the Reader marked becomes a field, the same characters elsewhere are text (what XML cannot hold is left out).
TEST_F(Writer, RunsBreaksLinksAndPageFields)
{
    QTextDocument qd;  // <br> is a line separator in the rich text
    qd.setHtml("<p>a<br><br>b<br></p>");
    QTextCursor c(&qd);
    c.movePosition(QTextCursor::End), c.insertBlock(QTextBlockFormat());
    auto text = [&](const QString &t, int property = 0, const QVariant &value = {}, const QString &href = {}) {
        QTextCharFormat f;
        f.setProperty(property, value);
        if (!href.isEmpty())
            f.setAnchor(true), f.setAnchorHref(href);
        c.insertText(t, f);
    };
    for (const auto &[t, style] : {std::pair{"1", QTextCharFormat::DashUnderline}, {"2", QTextCharFormat::WaveUnderline},
                                   {"3", QTextCharFormat::SpellCheckUnderline}})
        text(t, QTextFormat::TextUnderlineStyle, style);
    text(QString(QChar::LineSeparator) + " lead", QTextFormat::FontItalic, true);
    text("trail "), text("in side\t", QTextFormat::FontItalic, true);
    c.insertBlock(), c.insertBlock();  // an empty paragraph
    text("1.", ListLabelProperty, true);  // a list label the reader made: not text
    text("one", 0, {}, "https://a.example/"), text("two", QTextFormat::FontWeight, QFont::Bold, "https://a.example/");
    text("three", 0, {}, "#part"), text("four"), text("five", 0, {}, "https://a.example/");
    c.insertBlock();
    text(QString("p ") + QChar(0xFFFE) + " of " + QChar(0xFFFD));  // page number and count placeholders
    text(QString(QChar(0xFFFE)), FieldInstructionProperty, " PAGE \\* roman ");
    text(QString("a") + QChar(0x1) + "b" + QChar(0xFFFF) + QChar(0xD800) + "c");  // what XML cannot hold
    const Result r = build(kOld, qd);
    QStringList got;
    for (const QDomElement &p : r.paras())
        got << brief(p);
    const QString link = "r(rPr(rStyle[val=Hyperlink]%1) t(\"%2\"))";
    EXPECT_EQ(got, QStringList({
        "r(t(\"a\")) r(br) r(br) r(t(\"b\")) r(br)",
        "r(rPr(u[val=dash]) t(\"1\")) r(rPr(u[val=wave]) t(\"2\")) r(rPr(u[val=single]) t(\"3\")) r(br) "
        "r(rPr(i iCs) t[space=preserve](\" lead\")) r(t[space=preserve](\"trail \")) r(rPr(i iCs) t(\"in side\")) "
        "r(rPr(i iCs) tab)", "r(t)",
        "hyperlink[id=rId1](" + link.arg("", "one") + ' ' + link.arg(" b bCs", "two") + ") hyperlink[anchor=part]("
            + link.arg("", "three") + ") r(t(\"four\")) hyperlink[id=rId1](" + link.arg("", "five") + ')',
        "r(t(\"p  of \uFFFD\")) r(fldChar[fldCharType=begin]) r(instrText[space=preserve](\" PAGE \\* roman \")) "
        "r(fldChar[fldCharType=separate]) r(t(\"1\")) r(fldChar[fldCharType=end]) r(t(\"abc\"))"}));
    EXPECT_NE(r.parts.value("word/styles.xml").indexOf("w:styleId=\"Hyperlink\""), -1);
    // Links the relationships part cannot take stay plain text (but the one to a bookmark).
    const Result plain = build(makePackage(documentXml(para("old")), {{kRels.toUtf8(), "<Rel"}}), qd);
    EXPECT_EQ(paragraphText(plain.body) + QString::number(plain.body.elementsByTagNameNS(kNsW, "hyperlink").size()),
              paragraphText(r.body) + '1');
}

// A run's properties in the order w:rPr wants, its size in half points; an edited run takes what the edit changed
// in its place, keeps the fonts of other scripts (complex ones too) and what the rich text does not show, and says
// "off" where it must.
TEST_F(Writer, RunPropertiesInTheirOrderAndEditedRunsKeepWhatTheEditLeft)
{
    QTextCharFormat f;
    f.setFontFamilies({"Arial"}), f.setFontWeight(QFont::DemiBold), f.setFontItalic(true);
    f.setFontCapitalization(QFont::SmallCaps), f.setFontStrikeOut(true), f.setForeground(QColor(1, 2, 3));
    f.setBackground(Qt::lightGray), f.setUnderlineStyle(QTextCharFormat::DotLine);
    f.setVerticalAlignment(QTextCharFormat::AlignSubScript), f.setFontPointSize(10.5);
    QTextDocument qd;
    QTextCursor(&qd).insertText("styled", f);
    const Result built = build(kOld, qd);
    ASSERT_EQ(built.paras().size(), 1);
    EXPECT_EQ(shape(kid(kid(built.paras()[0], "r"), "rPr")).toStdString(),
              "rPr(rFonts[ascii=Arial cs=Arial hAnsi=Arial] b bCs i iCs smallCaps strike color[val=010203] sz[val=21] "
              "szCs[val=21] highlight[val=lightGray] u[val=dotted] vertAlign[val=subscript])");
    const QByteArray run = "<w:p><w:r><w:rPr><w:rStyle w:val=\"Strong\"/><w:rFonts w:ascii=\"Times\" w:cs=\"Times\" "
                           "w:eastAsia=\"SimSun\"/><w:b/><w:lang w:val=\"fr-FR\"/></w:rPr><w:t>x</w:t></w:r></w:p>";
    const Result edited = both(makePackage(documentXml(run)), [](DocxDocument &doc) {
        doc.body().dom();
        QTextDocument text;
        if (!DocxReader::populate(doc, {QString(), 0, std::numeric_limits<int>::max()}, &text))
            return false;
        const DocxSourceList converted = DocxWriter::sourceParagraphs(text);
        QTextCursor all(&text);
        all.select(QTextCursor::Document);
        QTextCharFormat change;
        change.setFontFamilies({"Arial"}), change.setFontWeight(QFont::Normal);
        change.setUnderlineStyle(QTextCharFormat::DotLine);
        all.mergeCharFormat(change);
        return DocxWriter::writeBack(doc, text, converted) == 1;
    });
    ASSERT_TRUE(edited.ok);
    EXPECT_EQ(shape(kid(kid(edited.paras().value(0), "r"), "rPr")).toStdString(),
              "rPr(rStyle[val=Strong] rFonts[ascii=Arial cs=Times eastAsia=SimSun hAnsi=Arial] b[val=0] bCs[val=0] "
              "u[val=dotted] lang[val=fr-FR])");
}

// Pictures: the stored part at its size or with the missing one from it; a data URL; the resource of an unknown id.
TEST_F(Writer, PicturesComeFromTheirPartTheirDataOrTheRichText)
{
    const QByteArray stored = png(200, 100, Qt::blue), own = png(3, 2, Qt::red, 100);
    const QImage small = QImage::fromData(png(3, 2, QColor(10, 20, 30)));
    const QByteArray rels = relsPart(relEntry("rId7", kRelType + "image", "media/image1.png"));
    QTextDocument qd;
    qd.setHtml("<img src=\"docx-img:rId7\"><img src=\"docx-img:rId7\" height=\"50\"><img src=\"data:image/png;"
               "base64," + own.toBase64() + "\" width=\"9\"><img src=\"docx-img:rId99\"><img src=\"res:bytes\">"
               "<img src=\"docx-img:rId98\"><img src=\"missing.png\">");
    qd.addResource(QTextDocument::ImageResource, QUrl("docx-img:rId99"), small);
    qd.addResource(QTextDocument::ImageResource, QUrl("res:bytes"), png(5, 4, Qt::green));
    const Result r =
        build(makePackage(documentXml(para("old")), {{kRels.toUtf8(), rels}, {"word/media/image1.png", stored}}), qd);
    EXPECT_EQ(attrs(r.xml(), kNsDrawingMain, "blip", {"r:embed"}), QStringList({"rId7", "rId7", "rId8", "rId9", "rId10"}));
    EXPECT_EQ(attrs(r.xml(), kNsWordDrawing, "extent", {"cx", "cy"}),  // pixels of 9525: 200x100 200x50 9x2 3x2 5x4
              QStringList({"1905000 952500", "1905000 476250", "85725 19050", "28575 19050", "47625 38100"}));
    EXPECT_EQ(r.parts.value("word/media/image1.png") + r.parts.value("word/media/image2.png"), stored + own);
    EXPECT_EQ(QImage::fromData(r.parts.value("word/media/image3.png")).convertToFormat(small.format()), small);
}

// A page laid out as a full-width table around a narrower one, whose cells hold headings, lists and a further table.
TEST_F(Writer, TablesInsideTablesAndWhatTablesSay)
{
    const Result r = buildHtml(
        "<table width=\"100%\" bgcolor=\"#eeeeee\"><tr><td align=\"center\" width=\"25%\">left</td><td>"
        "<table width=\"600\" border=\"2\" bordercolor=\"#336699\" style=\"border-color:#336699\"><thead><tr><th>head"
        "</th><th>er</th></tr></thead><tr><td style=\"border:1px dashed #ff0000; vertical-align:bottom\"><h1>in a cell"
        "</h1><ul><li>listed</li></ul></td><td valign=\"middle\"><table border=\"0\"><tr><td>deep</td></tr></table>"
        "</td></tr></table></td></tr></table><p>after</p>");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(outline(r.body), QStringList({"tbl:1x2", "p:Normal:after"}));
    const QDomElement outer = kid(r.body, "tbl"), middle = kid(kids(kid(outer, "tr"), "tc").value(1), "tbl");
    const QList<QDomElement> rows = kids(middle, "tr");
    ASSERT_EQ(rows.size(), 2);
    // The table's shading on its cells; a border of 2 pixels in its colour, lines between cells; one header row.
    EXPECT_EQ(brief(kid(kids(kid(outer, "tr"), "tc")[0], "tcPr")),
              "tcPr(tcW[type=dxa w=2340] shd[color=auto fill=EEEEEE val=clear])");
    const QString blue = "[color=336699 space=0 sz=%1 val=single]";
    EXPECT_EQ(brief(kid(middle, "tblPr")), QString("tblPr(tblW[type=dxa w=9000] tblBorders(top%1 left%1 bottom%1 right%1 "
                                                   "insideH%2 insideV%2))").arg(blue.arg(12), blue.arg(6)));
    EXPECT_EQ(brief(kid(rows[0], "trPr")) + ' ' + QString::number(kids(rows[1], "trPr").size()), "trPr(tblHeader) 0");
    // Headings and lists in cells; a table in a cell is followed by the paragraph every cell ends with.
    EXPECT_EQ(outline(kids(rows[1], "tc")[0]), QStringList({"tcPr", "p:Heading1:in a cell", "p:Normal#3.0:listed"}));
    EXPECT_EQ(outline(kids(rows[1], "tc")[1]), QStringList({"tcPr", "tbl:1x1", "p::"}));
}

TEST_F(Writer, HeadingSizesListsAndReaderMarkedItems)
{
    QTextDocument qd;
    qd.setHtml("<h2>Head big</h2><h3 style=\"font-size:13pt\">as the style</h3><ul type=\"square\" style=\"-qt-list-"
               "indent:12\"><li>deep</li></ul><ol type=\"I\" style=\"-qt-list-indent:0\"><li>roman</li></ol><ol><li><h3>"
               "item</h3></li></ol>");
    QTextCursor c(&qd);
    c.movePosition(QTextCursor::End);
    QTextBlockFormat seven, r1, r2;  // a heading level past 6; list paragraphs as the reader marks them
    seven.setHeadingLevel(7);
    for (auto [f, level] : {std::pair{&r1, 3}, {&r2, 20}})
        f->setProperty(ListNumIdProperty, 9), f->setProperty(ListLevelProperty, level);
    r1.setProperty(ListBulletProperty, true);
    for (const auto &[text, format] : {std::pair{"seven", seven}, {"r1", r1}, {"r2", r2}})
        c.insertBlock(format), c.insertText(text);
    const Result r = build(kOld, qd);
    EXPECT_EQ(outline(r.body), QStringList({"p:Heading2:Head big", "p:Heading3:as the style", "p:Normal#3.8:deep",
                                            "p:Normal#4.0:roman", "p:Heading3#5.0:item", "p:Normal:seven",
                                            "p:Normal#1.3:r1", "p:Normal#2.8:r2"}));
    EXPECT_EQ(brief(r.paras()[1]), "r(rPr(b bCs) t(\"as the style\"))");  // no size where the style gives it
}

// Each list an instance of its own, nested ones at their level, starting at its own first number in its own format,
// one abstract definition per format; the continuation paragraph of an item stands at its text, unnumbered.
TEST_F(Writer, ListsStartAtTheirOwnNumberInTheirOwnFormat)
{
    const Result r = buildHtml(
        "<ol start=\"4\" type=\"a\"><li>d</li><li>e<ol type=\"I\"><li>one</li></ol></li></ol><p>between</p>"
        "<ol><li><p>first</p><p>continued</p></li><li>second</li></ol><ol style=\"list-style-type:upper-roman\" "
        "start=\"0\"><li>zero</li></ol><ol><li>fresh</li></ol>");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(outline(r.body), QStringList({"p:Normal#3.0:d", "p:Normal#3.0:e", "p:Normal#4.1:one", "p:Normal:between",
                                            "p:Normal#5.0:first", "p:Normal:continued", "p:Normal#5.0:second",
                                            "p:Normal#6.0:zero", "p:Normal#7.0:fresh"}));
    // numId -> "abstract start numFmt lvlText" as the numbering part is read; the library's two instances stay.
    auto numbered = [](const DocxEntryMap &parts, const QList<std::pair<int, int>> &levels) {
        const std::unique_ptr<DocxDocument> docParts = DocxDocument::fromEntries({}, {});
        DocxDocument &doc = *docParts;
        doc.package().entries() = parts, doc.numbering().read();
        QStringList out;
        for (const auto &[num, ilvl] : levels) {
            const NumLevel *l = doc.numbering().numLevel(num, ilvl);
            out << QString("%1 %2 ").arg(doc.numbering().numToAbstract().value(num, -1)).arg(doc.numbering().levelStart(num, ilvl))
                    + (l ? l->numFmt + ' ' + l->lvlText : "-");
        }
        return out;
    };
    EXPECT_EQ(numbered(r.parts, {{1, 0}, {2, 0}, {3, 0}, {4, 1}, {5, 0}, {6, 0}, {7, 0}}),
              QStringList({"0 1 bullet \u2022", "1 1 decimal %1.", "2 4 lowerLetter %1.", "3 1 upperRoman %2.",
                           "4 1 decimal %1.", "3 0 upperRoman %1.", "4 1 decimal %1."}));
    // Into a package with numbering of its own: new ids after its own.
    const QByteArray own = "<w:numbering xmlns:w=\"" + QByteArray(kNsW) + "\"><w:abstractNum w:abstractNumId=\"7\"/>"
                           "<w:num w:numId=\"12\"><w:abstractNumId w:val=\"7\"/></w:num></w:numbering>";
    const Result more =
        buildHtml("<ol><li>x</li></ol>", makePackage(documentXml(para("old")), {{"word/numbering.xml", own}}));
    EXPECT_EQ(numbered(more.parts, {{13, 0}}), QStringList({"8 1 decimal %1."}));
}

// Word's clipboard lists: each instance (lfo) and level a list, starting at its first label's number in its label's
// format; a paragraph or a cell's end ends them; the labels themselves are left out.
TEST_F(Writer, WordClipboardListsBecomeNumbering)
{
    auto item = [](const char *list, const char *label, const char *text) {
        return QString("<p class=MsoListParagraph style='margin-left:1.0in;text-indent:-.25in;mso-list:%1'><![if "
                       "!supportLists]><span style='mso-list:Ignore'>%2<span>&nbsp;&nbsp;</span></span><![endif]>%3</p>")
            .arg(list, label, text);
    };
    const Result r = buildHtml(item("l0 level1 lfo1", "3.", "three") + item("l0 level2 lfo1", "b)", "bee")
                               + item("l0 level1 lfo1", "4.", "four") + item("l0 level1 lfo2", "1.", "other")
                               + "<p>plain</p><table><tr><td>" + item("l1 level1 lfo3", "-", "in cell")
                               + "</td><td><p>next</p></td></tr></table>" + item("l1 level1 lfo3", "IV.", "roman"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(outline(r.body), QStringList({"p:Normal#3.0:three", "p:Normal#4.1:bee", "p:Normal#3.0:four",
                                            "p:Normal#5.0:other", "p:Normal:plain", "tbl:1x2", "p:Normal#7.0:roman"}));
    const QList<QDomElement> cells = kids(kids(kids(r.body, "tbl").value(0), "tr").value(0), "tc");
    ASSERT_EQ(cells.size(), 2);
    EXPECT_EQ(outline(cells[0]).filter("p:"), QStringList({"p:Normal#6.0:in cell"}));
    EXPECT_EQ(outline(cells[1]).filter("p:"), QStringList({"p:Normal:next"}));
    // numId: its first level's format, label and first number.
    const QString numbering = r.parts.value("word/numbering.xml");
    for (const char *level : {"3\"><w:abstractNumId w:val=\"\\d+\"/><w:lvlOverride w:ilvl=\"0\"><w:startOverride w:val=\"3\"",
                              "4\"><w:abstractNumId w:val=\"\\d+\"/><w:lvlOverride w:ilvl=\"1\"><w:startOverride w:val=\"2\"",
                              "7\"><w:abstractNumId w:val=\"\\d+\"/><w:lvlOverride w:ilvl=\"0\"><w:startOverride w:val=\"4\""})
        EXPECT_TRUE(numbering.contains(QRegularExpression(QString("<w:num w:numId=\"") + level))) << level;
    for (const char *format : {"<w:numFmt w:val=\"lowerLetter\"/><w:lvlText w:val=\"%2)\"/>",
                               "<w:numFmt w:val=\"upperRoman\"/><w:lvlText w:val=\"%1.\"/>"})
        EXPECT_TRUE(numbering.contains(format)) << format;
}

// Blocks of a page: margins collapse as in a browser (the gap is the larger margin), line heights, a quote, a rule, a
// break after; sizes as browsers give them, weights below 600 not bold, a mark in its own colour; bookmarks by name.
TEST_F(Writer, BlockLayoutAndInlineFormattingOfThePage)
{
    const Result r = buildHtml(
        "<p>plain</p><p style=\"margin-left:40px; margin-right:20px; text-indent:-10px; margin-top:30px\">margins</p>"
        "<p style=\"text-indent:2em; line-height:150%\">indent</p><p style=\"line-height:20px\">least</p><blockquote>"
        "quote</blockquote><hr><p style=\"page-break-after:always\">after</p><div hidden>hidden</div><p><span style=\""
        "font-size:13px\">b</span><font size=\"1\">f</font><span style=\"font-weight:500\">l</span><mark style=\""
        "background-color:#00ff00\">o</mark></p><h2 id=\"there\">Head</h2><p><a href=\"#there\">back</a> <a name=\"two "
        "words\">named</a> <a href=\"#two words\">to it</a></p>");
    const QList<QDomElement> p = r.paras();
    ASSERT_EQ(p.size(), 10);
    QStringList got;
    for (const QDomElement &b : p.mid(0, 7))
        got << paragraphText(b) + ' ' + shape(kid(b, "pPr")).remove(QRegularExpression("pStyle\\[val=\\w+\\] "))
                + (b.elementsByTagNameNS(kNsW, "br").isEmpty() ? "" : " br");
    EXPECT_EQ(got, QStringList({
        "plain pPr(spacing[after=180 before=180])",
        "margins pPr(spacing[after=180 before=270] ind[hanging=150 left=600 right=300])",
        "indent pPr(spacing[after=180 before=0 line=360 lineRule=auto] ind[firstLine=480 left=0 right=0])",
        "least pPr(spacing[after=180 before=0 line=300 lineRule=atLeast])",
        "quote pPr(spacing[after=180 before=0] ind[left=600 right=600])",
        " pPr(pBdr(bottom[color=auto space=1 sz=6 val=single]) spacing[after=0 before=0])",
        "after pPr(spacing[after=180 before=180]) br"}));
    EXPECT_EQ(brief(p[7]), "r(rPr(sz[val=20] szCs[val=20]) t(\"b\")) r(rPr(sz[val=15] szCs[val=15]) t(\"f\")) r(t(\"l\")) "
                           "r(rPr(highlight[val=green]) t(\"o\"))");
    EXPECT_TRUE(brief(p[8]).startsWith("bookmarkStart[id=1 name=there] bookmarkEnd[id=1] r(rPr(b bCs) t(\"H\"))"));
    EXPECT_EQ(brief(p[9]).remove(QRegularExpression("rPr\\([^)]*\\) ")),
              "hyperlink[anchor=there](r(t(\"back\"))) r(t[space=preserve](\" \")) bookmarkStart[id=2 name=two_words] "
              "bookmarkEnd[id=2] r(t(\"n\")) r(t[space=preserve](\"amed \")) hyperlink[anchor=two_words](r(t(\"to it\")))");
    EXPECT_EQ(r.parts.value(kRels).indexOf("#there"), -1);
}
