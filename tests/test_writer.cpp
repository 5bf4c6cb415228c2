// The Writer on the document model: the full build on the body's bytes and on
// the body tree, the range rewrite, and what blocks, runs, pictures, tables,
// headings and lists become.
#include "DocxDocument.h"
#include "DocxNamespaces.h"
#include "DocxReader.h"
#include "DocxWriter.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QImage>
#include <QPixmap>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace testing_support;

static void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace {

QStringList g_warnings;

struct Warnings  // collects the warnings logged while it lives
{
    QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &m) {
        if (type == QtWarningMsg)
            g_warnings << m;
    });
    ~Warnings() { qInstallMessageHandler(previous), g_warnings.clear(); }
};

QByteArray png(const QImage &img)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "PNG");
    return bytes;
}

QByteArray para(const QByteArray &text, const QByteArray &pPr = {})
{
    return "<w:p>" + (pPr.isEmpty() ? "" : "<w:pPr>" + pPr + "</w:pPr>") + "<w:r><w:t>" + text + "</w:t></w:r></w:p>";
}

QByteArray row(const QByteArray &cell1, const QByteArray &cell2)
{
    return "<w:tbl><w:tblGrid/><w:tr><w:tc>" + cell1 + "</w:tc><w:tc>" + cell2 + "</w:tc></w:tr></w:tbl>";
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

// A node as text: local name, sorted attributes in brackets (declarations left
// out), children in parentheses, text quoted; with `ns`, names carry their URI.
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

// A paragraph's content in short: per run its properties other than the 12 pt
// size in braces, then "text" (~"text" with preserved spaces), br, fld:TYPE,
// instr:TEXT or pic:rId; hyperlinks as link:rId(...).
QString runs(const QDomElement &p)
{
    QStringList out;
    for (const QDomElement &c : kids(p)) {
        if (c.localName() == "hyperlink")
            out << "link:" + c.attributeNS(kNsR, "id") + '(' + runs(c) + ')';
        if (c.localName() != "r")
            continue;
        QStringList props;
        for (const QDomElement &pr : kids(kid(c, "rPr")))
            if (!(pr.localName().startsWith("sz") && attr(pr, "val") == "24"))
                props << shape(pr);
        QString item = props.isEmpty() ? QString() : '{' + props.join(' ') + '}';
        for (const QDomElement &e : kids(c)) {
            const QString n = e.localName();
            if (n == "t")
                item += (e.attributeNS(kNsXml, "space") == "preserve" ? "~\"" : "\"") + e.text() + '"';
            else if (n == "fldChar" || n == "instrText")
                item += n == "fldChar" ? "fld:" + attr(e, "fldCharType") : "instr:" + e.text();
            else if (n == "drawing")
                item += "pic:" + firstElementNS(e, "blip", kNsDrawingMain).attributeNS(kNsR, "embed");
            else if (n != "rPr")
                item += n;
        }
        out << item;
    }
    return out.join(' ');
}

// A body child in short: p:STYLE[#NUMID.ILVL]:TEXT, tbl:ROWSxGRIDCOLUMNS, sdt:TEXT.
QString outline(const QDomElement &e)
{
    const QDomElement pPr = kid(e, "pPr"), num = kid(pPr, "numPr");
    if (e.localName() == "p")
        return "p:" + attr(kid(pPr, "pStyle"), "val")
            + (num.isNull() ? "" : '#' + attr(kid(num, "numId"), "val") + '.' + attr(kid(num, "ilvl"), "val")) + ':'
            + paragraphText(e);
    if (e.localName() == "tbl")
        return QString("tbl:%1x%2").arg(kids(e, "tr").size()).arg(kids(kid(e, "tblGrid")).size());
    return e.localName() + (e.localName() == "sdt" ? ':' + paragraphText(e) : "");
}

class Writer : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    int files = 0;

    struct Result
    {
        bool ok = false;
        DocxEntryMap parts;  // the package as saved
        QByteArray xml;      // its document part
        QDomDocument dom;
        QDomElement body;
        QStringList outline() const
        {
            QStringList out;
            for (const QDomElement &e : kids(body))
                out << ::outline(e);
            return out;
        }
        QList<QDomElement> paras() const { return kids(body, "p"); }
    };

    QString file(const QByteArray &bytes = {})
    {
        const QString path = dir.filePath(QString("f%1.docx").arg(++files));
        EXPECT_TRUE(bytes.isEmpty() || writeFile(path, bytes));
        return path;
    }

    Result saved(DocxDocument &doc, bool ok)
    {
        Result r;
        r.ok = ok;
        const QString out = file();
        EXPECT_TRUE(DocxWriter::saveVersion(doc, out));
        r.parts = readEntries(out);
        r.xml = r.parts.value(kPartDocument);
        QString err;
        EXPECT_TRUE(parseXml(r.xml, r.dom, err)) << err.toStdString() << '\n' << r.xml.toStdString();
        r.body = firstElementNS(r.dom, "body", kNsW);
        return r;
    }

    // The full build, once on the body's bytes and once on the body tree: both
    // must give the same package. Returns the first.
    Result build(const QByteArray &package, const QTextDocument &source)
    {
        Result r[2];
        for (int tree = 0; tree < 2; ++tree) {
            const std::unique_ptr<DocxDocument> doc(DocxReader::open(file(package)));
            EXPECT_TRUE(doc->isValid()) << doc->errorString().toStdString();
            if (tree)
                doc->dom();
            r[tree] = saved(*doc, DocxWriter::buildFullDocumentDom(*doc, &source));
        }
        EXPECT_EQ(r[0].ok, r[1].ok);
        EXPECT_EQ(shape(r[0].dom.documentElement(), true), shape(r[1].dom.documentElement(), true));
        QStringList names = r[0].parts.keys(), treeNames = r[1].parts.keys();
        names.sort(), treeNames.sort();
        EXPECT_EQ(names, treeNames);
        names.removeOne(kPartDocument);
        for (const QString &name : names)
            EXPECT_EQ(r[0].parts.value(name), r[1].parts.value(name)) << name.toStdString();
        return r[0];
    }

    Result build(const QByteArray &package, const QString &html)
    {
        QTextDocument qd;
        qd.setHtml(html);
        return build(package, qd);
    }
};

}  // namespace

TEST_F(Writer, BuildReplacesTheTemplateParagraphOnBothPaths)
{
    // The root binds only w and w14; the template has ids, a list and an
    // alignment; what follows it is written with single quotes.
    const QByteArray rest = "<w:p w:rsidR='00445566'><w:r><w:t>second</w:t></w:r></w:p><w:sectPr><w:pgSz "
                            "w:w='11906' w:h='16838'/></w:sectPr></w:body></w:document>";
    const QByteArray package = makePackage(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" xmlns:w14=\""
        "http://schemas.microsoft.com/office/word/2010/wordml\"><w:body><w:p w14:paraId=\"1A2B3C4D\" "
        "w14:textId=\"77777777\" w:rsidR=\"00112233\"><w:pPr><w:pStyle w:val=\"ListParagraph\"/><w:numPr><w:ilvl "
        "w:val=\"3\"/><w:numId w:val=\"5\"/></w:numPr><w:spacing w:after=\"120\"/><w:jc w:val=\"right\"/></w:pPr>"
        "<w:r><w:t>template</w:t></w:r></w:p>"
        + rest);
    QImage img(4, 3, QImage::Format_RGB32);
    img.fill(Qt::red);
    const Result r = build(package, "<h2>Title <a href=\"https://example.org/a\">link</a></h2><p>plain</p><ul><li>"
                                    "item</li></ul><p><img src=\"data:image/png;base64,"
                                        + png(img).toBase64() + "\" width=\"8\"></p>");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.outline(), QStringList({"p:Heading2:Title link", "p:Normal:plain", "p:Normal#1.0:item",
                                        "p:Normal:", "p::second", "sectPr"}));
    // New paragraphs: the template's attributes but its ids, its properties but
    // its numbering and alignment.
    for (const QDomElement &p : r.paras().mid(0, 4)) {
        QStringList attrs;
        for (int i = 0; i < p.attributes().count(); ++i)
            attrs << p.attributes().item(i).nodeName();
        EXPECT_EQ(attrs, QStringList({"w:rsidR"}));
        EXPECT_EQ(shape(kid(p, "pPr")).remove(QRegularExpression("pStyle\\[val=\\w+\\] |numPr\\(.*\\) ")),
                  "pPr(spacing[after=120])");
    }
    EXPECT_EQ(runs(r.paras()[0]), "{b bCs}~\"Title \" link:rId1({b bCs u[val=single] color[val=0000FF]}\"link\")");
    EXPECT_EQ(runs(r.paras()[3]), "pic:rId4");
    // Spliced into the bytes: the rest of the body is the input, byte for byte,
    // and the root declares the prefixes the new content uses, once each.
    EXPECT_TRUE(r.xml.endsWith(rest)) << r.xml.toStdString();
    const QByteArray root = r.xml.left(r.xml.indexOf("<w:body>"));
    for (const char *prefix : {"w", "r", "wp", "a", "pic", "w14"})
        EXPECT_EQ(root.count(QByteArray(" xmlns:") + prefix + "="), 1) << prefix << ' ' << root.toStdString();
}

TEST_F(Writer, BodyWithoutXmlDeclarationIsSplicedToo)
{
    const QByteArray rest = "<w:p w:rsidR='01'/></w:body></w:document>";
    const Result r = build(makePackage("<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/"
                                       "main\"><w:body><w:p><w:r><w:t>old</w:t></w:r></w:p>" + rest),
                           "<p>new</p>");
    EXPECT_EQ(r.outline(), QStringList({"p:Normal:new", "p::"}));
    EXPECT_TRUE(r.xml.endsWith(rest)) << "the body was rewritten from the tree:\n" << r.xml.toStdString();
}

TEST_F(Writer, WhatTheBuildSkipsAndAdds)
{
    const QByteArray package = makePackage(documentXml(para("old") + para("next") + "<w:sectPr/>"));
    auto built = [&](const std::function<void(QTextCursor &)> &fill) {
        QTextDocument qd;
        QTextCursor c(&qd);
        fill(c);
        const Result r = build(package, qd);
        EXPECT_TRUE(r.ok);
        return r.outline().join(' ');
    };
    // No content: the template stays.
    EXPECT_EQ(built([](QTextCursor &) {}), "p::old p::next sectPr");
    EXPECT_EQ(build(package, "<p></p>").outline().join(' '), "p::old p::next sectPr");
    // A trailing empty block is dropped, a trailing empty list item is not.
    EXPECT_EQ(built([](QTextCursor &c) { c.insertText("a"), c.insertBlock(); }), "p:Normal:a p::next sectPr");
    EXPECT_EQ(built([](QTextCursor &c) { c.createList(QTextListFormat::ListDecimal), c.insertText("a"), c.insertBlock(); }),
              "p:Normal#2.0:a p:Normal#2.0: p::next sectPr");
    // A frame that is no table is left out with its content; a table at the
    // end is followed by an empty paragraph.
    EXPECT_EQ(built([](QTextCursor &c) {
                  c.insertText("a"), c.insertFrame(QTextFrameFormat()), c.insertText("in a frame");
                  c.movePosition(QTextCursor::End), c.insertTable(2, 3);
              }),
              "p:Normal:a p:Normal: tbl:2x3 p:: p::next sectPr");
}

TEST_F(Writer, ContentGoesBeforeATableOrContentControlThatHoldsTheFirstParagraph)
{
    const QByteArray sdt = "<w:sdt><w:sdtPr/><w:sdtContent>" + para("ctl") + "</w:sdtContent></w:sdt>";
    for (const QByteArray &first : {row(para("cell"), para("cell2")), sdt}) {
        const Result r = build(makePackage(documentXml(first + para("after") + "<w:sectPr/>")),
                               "<p>new</p><table><tr><td>t</td></tr></table>");
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.outline(), QStringList({"p:Normal:new", "tbl:1x1", "p::", first == sdt ? "sdt:ctl" : "tbl:1x0",
                                            "p::after", "sectPr"}));
        // Nothing lost or doubled, and the cells keep their paragraphs.
        EXPECT_EQ(paragraphText(r.body), first == sdt ? "newtctlafter" : "newtcellcell2after");
        EXPECT_EQ(r.body.elementsByTagNameNS(kNsW, "p").size(), first == sdt ? 5 : 6);
    }
}

TEST_F(Writer, BuildRefusals)
{
    Warnings w;
    const Result r = build(makePackage(documentXml("<w:sectPr/>")), "<p>x</p>");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.outline(), QStringList({"sectPr"}));
    EXPECT_TRUE(g_warnings.contains("buildFullDocumentDom: no template paragraph")) << g_warnings.join('\n').toStdString();
    const std::unique_ptr<DocxDocument> doc(DocxReader::open(file(makePackage(documentXml(para("x"))))));
    EXPECT_FALSE(DocxWriter::buildFullDocumentDom(*doc, nullptr));
    DocxDocument invalid;
    QTextDocument qd;
    EXPECT_FALSE(DocxWriter::buildFullDocumentDom(invalid, &qd));
}

TEST_F(Writer, SectionRewrite)
{
    // 0: style, list, spacing, alignment, bookmarks, tracked changes; 1, 2:
    // plain; 3: alone in a cell; 4, 5: together in a cell; 6: alone in a
    // content control; 7: plain.
    const QByteArray package = makePackage(documentXml(
        "<w:p><w:pPr><w:pStyle w:val=\"Quote\"/><w:numPr><w:ilvl w:val=\"1\"/><w:numId w:val=\"4\"/></w:numPr>"
        "<w:spacing w:after=\"7\"/><w:jc w:val=\"center\"/></w:pPr><w:r><w:t>p0</w:t></w:r><w:bookmarkStart "
        "w:id=\"1\" w:name=\"m\"/><w:ins><w:r><w:t>i</w:t></w:r></w:ins><w:del><w:r><w:delText>d</w:delText></w:r>"
        "</w:del><w:bookmarkEnd w:id=\"1\"/></w:p>"
        + para("p1", "<w:spacing w:before=\"9\"/>").replace("<w:p>", "<w:p w14:paraId=\"0A\" w:rsidR=\"07\">")
        + para("p2")
        + row(para("c3", "<w:keepNext/>"), para("c4") + para("c5")) + "<w:sdt><w:sdtContent>"
        + para("s6", "<w:ind w:left=\"5\"/>") + "</w:sdtContent></w:sdt>" + para("p7") + "<w:sectPr/>"));
    auto rewrite = [&](int start, int end, const QString &text, int editorStart = 0) {
        const std::unique_ptr<DocxDocument> doc(DocxReader::open(file(package)));
        QTextDocument qd;
        qd.setPlainText(text);
        return saved(*doc, DocxWriter::saveSection(*doc, &qd, {QString(), start, end}, editorStart));
    };
    auto cells = [](const Result &r) {
        QStringList out;
        for (const QDomElement &tc : kids(kid(firstElementNS(r.body, "tbl", kNsW), "tr"), "tc"))
            for (const QDomElement &p : kids(tc, "p"))
                out << shape(p).remove("rPr(sz[val=24] szCs[val=24]) ");
        return out;
    };
    // A rewritten paragraph keeps all but its runs and alignment; tracked
    // changes go with the old runs.
    Result r = rewrite(0, 1, "new");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(shape(r.paras()[0]).remove("rPr(sz[val=24] szCs[val=24]) "),
              "p(pPr(pStyle[val=Quote] numPr(ilvl[val=1] numId[val=4]) spacing[after=7]) "
              "bookmarkStart[id=1 name=m] bookmarkEnd[id=1] r(t(\"new\")))");
    // Fewer blocks (an empty last block does not count): the surplus goes,
    // from the end.
    EXPECT_EQ(rewrite(0, 3, "a\n").outline().mid(0, 3), QStringList({"p:Quote#4.1:a", "tbl:1x0", "sdt:s6"}));
    // More blocks: one more paragraph after the range, with the last one's
    // attributes (but its ids) and properties, in its container; later blocks
    // are not written. Blocks before `editorStart` are passed over.
    r = rewrite(1, 2, "skipped\na\nb\nc", 1);
    EXPECT_EQ(r.outline().mid(1, 4), QStringList({"p::a", "p::b", "p::p2", "tbl:1x0"}));
    EXPECT_EQ(shape(r.paras()[2]).remove("rPr(sz[val=24] szCs[val=24]) "), "p[rsidR=07](pPr(spacing[before=9]) r(t(\"b\")))");
    EXPECT_EQ(cells(rewrite(2, 4, "a\nb\nc")), QStringList({"p(pPr(keepNext) r(t(\"b\")))", "p(pPr(keepNext) r(t(\"c\")))",
                                                             "p(r(t(\"c4\")))", "p(r(t(\"c5\")))"}));
    // A removed paragraph that is the last of its cell or content control is
    // emptied instead, keeping its properties.
    r = rewrite(3, 7, "x");
    EXPECT_EQ(cells(r), QStringList({"p(pPr(keepNext) r(t(\"x\")))", "p"}));
    EXPECT_EQ(shape(firstElementNS(r.body, "sdt", kNsW)), "sdt(sdtContent(p(pPr(ind[left=5]))))");
    EXPECT_EQ(r.outline().mid(3), QStringList({"tbl:1x0", "sdt:", "p::p7", "sectPr"}));
    // The range may end at the last paragraph, not beyond.
    EXPECT_TRUE(rewrite(7, 8, "z").ok);
    Warnings w;
    r = rewrite(0, 9, "z");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(g_warnings, QStringList({"DocxWriter: range out of bounds 0 9 max 8"}));
    EXPECT_EQ(paragraphText(r.body), "p0ip1p2c3c4c5s6p7");
    EXPECT_FALSE(rewrite(3, 3, "z").ok);
}

TEST_F(Writer, RunsBreaksSpacesSizesAndAlignment)
{
    // <br> is a line separator in the rich text.
    QTextDocument qd;
    qd.setHtml("<p>a<br>b</p><p>a<br><br>b<br></p><p><span style=\"font-size:10.5pt\">a</span><span style=\""
               "font-size:11.4pt\">b</span><span style=\"font-size:11.5pt\">c</span><span style=\"font-weight:600\">d"
               "</span><b>e</b></p><p align=\"right\"><span style=\"font-family:Georgia,serif; font-weight:900; "
               "font-style:italic; text-decoration:line-through underline; color:#1a2b3c; vertical-align:super; "
               "font-size:14pt\">x</span><sub>y</sub></p><p align=\"center\">c</p><p align=\"justify\">j</p>");
    QTextCursor c(&qd);
    c.movePosition(QTextCursor::End);
    QTextBlockFormat absolute;
    absolute.setAlignment(Qt::AlignRight | Qt::AlignAbsolute);
    c.insertBlock(absolute);
    for (auto [t, style] : {std::pair{"1", QTextCharFormat::DashUnderline}, {"2", QTextCharFormat::DotLine},
                            {"3", QTextCharFormat::DashDotLine}, {"4", QTextCharFormat::DashDotDotLine},
                            {"5", QTextCharFormat::WaveUnderline}, {"6", QTextCharFormat::SpellCheckUnderline}}) {
        QTextCharFormat f;
        f.setUnderlineStyle(style);
        c.insertText(t, f);
    }
    c.insertBlock(QTextBlockFormat());  // an empty paragraph
    c.insertBlock();
    QTextCharFormat italic, plain;
    italic.setFontItalic(true);
    c.insertText(" lead", italic), c.insertText("trail ", plain), c.insertText("in side\t", italic);

    const Result r = build(makePackage(documentXml(para("old", "<w:jc w:val=\"center\"/>"))), qd);
    const QString sz22 = "sz[val=22] szCs[val=22]";
    const QStringList expected = {
        "\"a\" br \"b\"",
        "\"a\" br br \"b\" br",
        "{" + sz22 + "}\"a\" {" + sz22 + "}\"b\" \"c\" \"d\" {b bCs}\"e\"",
        "{rFonts[ascii=Georgia cs=Georgia hAnsi=Georgia] b bCs i iCs strike u[val=single] color[val=1A2B3C] "
        "vertAlign[val=superscript] sz[val=28] szCs[val=28]}\"x\" {vertAlign[val=subscript]}\"y\"",
        "\"c\"", "\"j\"",
        "{u[val=dash]}\"1\" {u[val=dotted]}\"2\" {u[val=dotDash]}\"3\" {u[val=dotDotDash]}\"4\" {u[val=wave]}\"5\" "
        "{u[val=single]}\"6\"",
        "\"\"",
        "{i iCs}~\" lead\" ~\"trail \" {i iCs}\"in side\t\""};
    QStringList got, jc;
    for (const QDomElement &p : r.paras())
        got << runs(p), jc << attr(kid(kid(p, "pPr"), "jc"), "val");
    EXPECT_EQ(got, expected);
    EXPECT_EQ(jc, QStringList({"", "", "", "right", "center", "both", "right", "", ""}));
    EXPECT_EQ(shape(r.paras()[7]), "p(pPr(pStyle[val=Normal]) r(t))");  // one run, an empty w:t
}

TEST_F(Writer, LinksPageFieldsAndCharactersXmlCannotHold)
{
    QTextDocument qd;
    QTextCursor c(&qd);
    auto text = [&](const QString &t, const QString &href = {}, int property = 0, const QVariant &value = {}) {
        QTextCharFormat f;
        if (!href.isEmpty())
            f.setAnchor(true), f.setAnchorHref(href);
        if (property)
            f.setProperty(property, value);
        c.insertText(t, f);
    };
    text("1.", {}, ListLabelProperty, true);  // a list label the reader made: not text
    text("one", "https://a.example/");
    text("two", "https://a.example/", QTextFormat::FontWeight, QFont::Bold);
    text("three", "https://b.example/");
    text("four");
    text("five", "#part");
    text("six", "https://a.example/");
    c.insertBlock();
    text(QString("p ") + QChar(0xFFFE) + " of " + QChar(0xFFFD));
    text(QString(QChar(0xFFFE)), {}, FieldInstructionProperty, " PAGE \\* roman ");
    text(QString("a") + QChar(0x1) + "b" + QChar(0xFFFF) + QChar(0xD800) + "c");

    const Result r = build(makePackage(documentXml(para("old"))), qd);
    ASSERT_EQ(r.paras().size(), 2);
    EXPECT_EQ(runs(r.paras()[0]),
              "link:rId1(\"one\" {b bCs}\"two\") link:rId2(\"three\") \"four\" link:rId3(\"five\") link:rId1(\"six\")");
    const QByteArray rels = r.parts.value("word/_rels/document.xml.rels");
    for (const char *rel : {"Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                            "hyperlink\" Target=\"https://a.example/\" TargetMode=\"External\"",
                            "Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                            "hyperlink\" Target=\"#part\" TargetMode=\"External\""})
        EXPECT_TRUE(rels.contains(rel)) << rels.toStdString();
    const QString page = "fld:begin instr: PAGE  fld:separate \"1\" fld:end";
    EXPECT_EQ(runs(r.paras()[1]), "~\"p \" " + page + " ~\" of \" " + QString(page).replace("PAGE", "NUMPAGES") + " "
                                      + QString(page).replace("PAGE ", "PAGE \\* roman ") + " \"abc\"");

    // Links that the relationships part cannot take stay plain text.
    Warnings w;
    const Result plain = build(makePackage(documentXml(para("old")), {{"word/_rels/document.xml.rels", "<Rel"}}), qd);
    EXPECT_EQ(runs(plain.paras()[0]), "\"one\" {b bCs}\"two\" \"three\" \"four\" \"five\" \"six\"");
    EXPECT_FALSE(g_warnings.isEmpty());
}

TEST_F(Writer, PicturesReuseTheirPartOrComeFromTheRichText)
{
    QImage stored(200, 100, QImage::Format_RGB32), small(3, 2, QImage::Format_ARGB32);
    stored.fill(Qt::blue), small.fill(QColor(10, 20, 30));
    const QByteArray package = makePackage(
        documentXml(para("old")),
        {{"word/_rels/document.xml.rels",
          "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id="
          "\"rId7\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/image\" Target="
          "\"media/image1.png\"/></Relationships>"},
         {"word/media/image1.png", png(stored)}});
    QTextDocument qd;
    QTextCursor c(&qd);
    auto picture = [&](const QString &name, int w = 0, int h = 0, const QVariant &rel = {}) {
        QTextImageFormat f;
        f.setName(name), f.setWidth(w), f.setHeight(h);
        if (rel.isValid())
            f.setProperty(ImageRelIdProperty, rel);
        c.insertImage(f);
    };
    qd.addResource(QTextDocument::ImageResource, QUrl("docx-img:rId99"), small);
    qd.addResource(QTextDocument::ImageResource, QUrl("res:bytes"), png(QImage(5, 4, QImage::Format_RGB32)));
    qd.addResource(QTextDocument::ImageResource, QUrl("res:pixmap"), QPixmap(6, 2));
    qd.addResource(QTextDocument::ImageResource, QUrl("res:text"), QString("no image"));
    picture("docx-img:rId7");         // the stored part, at its own size
    picture("docx-img:rId7", 0, 50);  // only the missing size comes from it
    picture("shown.png", 10, 10, "rId7");
    picture("docx-img:rId99");  // no such relationship: the resource of that name
    picture("docx-img:rId98");  // neither: nothing
    picture("res:bytes"), picture("res:pixmap"), picture("res:text"), picture("missing.png");

    const Result r = build(package, qd);
    EXPECT_EQ(runs(r.paras()[0]), "pic:rId7 pic:rId7 pic:rId7 pic:rId8 pic:rId9 pic:rId10");
    QStringList sizes, media;
    const QDomNodeList inlines = r.body.elementsByTagNameNS(kNsWordDrawing, "inline");
    for (int i = 0; i < inlines.size(); ++i) {
        const QDomElement extent = firstElementNS(inlines.at(i), "extent", kNsWordDrawing);
        sizes << extent.attribute("cx") + ' ' + extent.attribute("cy") + ' '
                + firstElementNS(inlines.at(i), "docPr", kNsWordDrawing).attribute("id");
    }
    EXPECT_EQ(sizes, QStringList({"1905000 952500 7", "1905000 476250 7", "95250 95250 7", "28575 19050 8",
                                  "47625 38100 9", "57150 19050 10"}));
    for (const QString &name : r.parts.keys())
        if (name.startsWith("word/media/"))
            media << name;
    media.sort();
    EXPECT_EQ(media, QStringList({"word/media/image1.png", "word/media/image2.png", "word/media/image3.png",
                                  "word/media/image4.png"}));
    EXPECT_EQ(r.parts.value("word/media/image1.png"), png(stored));
    EXPECT_EQ(QImage::fromData(r.parts.value("word/media/image2.png")).convertToFormat(small.format()), small);

    // Every writing of a paragraph stores its pictures anew; earlier parts stay.
    const std::unique_ptr<DocxDocument> doc(DocxReader::open(file(package)));
    ASSERT_TRUE(DocxWriter::buildFullDocumentDom(*doc, &qd));
    ASSERT_TRUE(DocxWriter::saveSection(*doc, &qd, {QString(), 0, 1}, 0));
    EXPECT_TRUE(doc->entries.contains("word/media/image7.png"));
    EXPECT_FALSE(doc->entries.contains("word/media/image8.png"));
    EXPECT_EQ(doc->entries.value("word/media/image2.png"), r.parts.value("word/media/image2.png"));
}

TEST_F(Writer, TablesKeepTheirGridSpansAndShading)
{
    const Result r = build(
        makePackage(documentXml(para("old"))),
        "<table><tr><td>a</td><td><h1>b</h1></td><td><ul><li>c</li></ul></td></tr><tr><td>d</td><td>e</td><td>f</td>"
        "</tr></table><table><tr><td>1</td><td>2</td><td>3</td><td>4</td><td>5</td><td>6</td><td>7</td></tr></table>"
        "<table><tr><td colspan=\"2\">ab</td><td>c</td></tr><tr><td>d</td><td>e</td><td>f</td></tr></table>"
        "<table><tr><td rowspan=\"2\" style=\"background-color:rgb(211,211,211)\">m</td><td>x</td></tr>"
        "<tr><td>y</td></tr></table>"
        "<table><tr><td rowspan=\"2\" colspan=\"2\" bgcolor=\"#00ff80\">big</td><td>r</td></tr><tr><td>s</td></tr>"
        "</table><table><tr><td>before<table><tr><td>inner</td></tr></table>after</td></tr></table>");
    // Per table: the grid widths = per row each cell as WIDTH[+SPAN][R|C][#FILL]:PARAGRAPH|...
    QStringList got;
    for (const QDomElement &tbl : kids(r.body, "tbl")) {
        QStringList grid, rows;
        for (const QDomElement &col : kids(kid(tbl, "tblGrid")))
            grid << attr(col, "w");
        for (const QDomElement &tr : kids(tbl, "tr")) {
            QStringList cells;
            for (const QDomElement &tc : kids(tr, "tc")) {
                const QDomElement tcPr = kid(tc, "tcPr"), span = kid(tcPr, "gridSpan"), merge = kid(tcPr, "vMerge");
                QStringList texts;
                for (const QDomElement &p : kids(tc, "p"))
                    texts << paragraphText(p);
                EXPECT_EQ(attr(kid(tcPr, "tcW"), "type"), "dxa");
                cells << attr(kid(tcPr, "tcW"), "w") + (span.isNull() ? "" : '+' + attr(span, "val"))
                        + (merge.isNull() ? "" : attr(merge, "val") == "restart" ? "R" : "C")
                        + (kid(tcPr, "shd").isNull() ? "" : '#' + attr(kid(tcPr, "shd"), "fill")) + ':'
                        + texts.join('|');
            }
            rows << cells.join(' ');
        }
        got << grid.join(',') + " = " + rows.join(" / ");
    }
    EXPECT_EQ(got, QStringList({"3120,3120,3120 = 3120:a 3120:b 3120:c / 3120:d 3120:e 3120:f",
                                "1337,1337,1337,1337,1337,1337,1337 = 1337:1 1337:2 1337:3 1337:4 1337:5 1337:6 1337:7",
                                "3120,3120,3120 = 6240+2:ab 3120:c / 3120:d 3120:e 3120:f",
                                "4680,4680 = 4680R#D3D3D3:m 4680:x / 4680C: 4680:y",
                                "3120,3120,3120 = 6240+2R#00FF80:big 3120:r / 6240+2C: 3120:s",
                                "9360 = 9360:before|after"}));
    // One look for every table; cell paragraphs get no style and no numbering.
    QString borders;
    for (const char *side : {"top", "left", "bottom", "right", "insideH", "insideV"})
        borders += QString(" %1[color=auto space=0 sz=4 val=single]").arg(side);
    EXPECT_EQ(shape(firstElementNS(r.body, "tblPr", kNsW)),
              "tblPr(tblStyle[val=TableGrid] tblW[type=pct w=5000] tblBorders(" + borders.mid(1) + "))");
    for (const QDomElement &tbl : kids(r.body, "tbl"))
        EXPECT_TRUE(firstElementNS(tbl, "pStyle", kNsW).isNull() && firstElementNS(tbl, "numPr", kNsW).isNull());
}

TEST_F(Writer, HeadingStylesAndListNumbering)
{
    QTextDocument qd;
    qd.setHtml("<h2 style=\"font-size:20pt\">Head <span style=\"font-size:30pt; color:#f00\">big</span></h2>");
    QTextCursor c(&qd);
    c.movePosition(QTextCursor::End);
    auto block = [&](const QString &text, const std::function<void(QTextBlockFormat &)> &set,
                     QTextListFormat::Style style = QTextListFormat::ListStyleUndefined, int indent = 1) {
        QTextBlockFormat bf;
        if (set)
            set(bf);
        c.insertBlock(bf);
        if (style != QTextListFormat::ListStyleUndefined) {
            QTextListFormat lf;
            lf.setStyle(style), lf.setIndent(indent);
            c.createList(lf);
        }
        QTextCharFormat cf;
        cf.setFontPointSize(20);
        c.insertText(text, cf);
    };
    block("seven", [](QTextBlockFormat &f) { f.setHeadingLevel(7); });
    block("b0", {}, QTextListFormat::ListDisc);
    block("b1", {}, QTextListFormat::ListCircle, 2);
    block("d0", {}, QTextListFormat::ListDecimal);
    block("deep", {}, QTextListFormat::ListSquare, 12);
    block("alpha", {}, QTextListFormat::ListLowerAlpha);
    block("roman", {}, QTextListFormat::ListUpperRoman, 0);
    block("item", [](QTextBlockFormat &f) { f.setHeadingLevel(3); }, QTextListFormat::ListDecimal);
    // Paragraphs the reader made from list paragraphs carry their list in properties.
    block("r1", [](QTextBlockFormat &f) {
        f.setProperty(ListNumIdProperty, 9), f.setProperty(ListLevelProperty, 3), f.setProperty(ListBulletProperty, true);
    });
    block("r2", [](QTextBlockFormat &f) { f.setProperty(ListNumIdProperty, 9), f.setProperty(ListLevelProperty, 20); });

    const Result r = build(makePackage(documentXml(para("old"))), qd);
    EXPECT_EQ(r.outline(), QStringList({"p:Heading2:Head big", "p:Normal:seven", "p:Normal#1.0:b0", "p:Normal#1.1:b1",
                                        "p:Normal#2.0:d0", "p:Normal#1.8:deep", "p:Normal#2.0:alpha",
                                        "p:Normal#2.0:roman", "p:Heading3#2.0:item", "p:Normal#1.3:r1",
                                        "p:Normal#2.8:r2"}));
    // Heading text takes its size from the style; other paragraphs keep theirs.
    EXPECT_EQ(runs(r.paras()[0]), "{b bCs}~\"Head \" {b bCs color[val=FF0000]}\"big\"");
    EXPECT_EQ(runs(r.paras()[1]), "{sz[val=40] szCs[val=40]}\"seven\"");
    EXPECT_EQ(shape(kid(r.paras()[8], "pPr")), "pPr(pStyle[val=Heading3] numPr(ilvl[val=0] numId[val=2]))");
    QDomDocument styles, numbering;
    QString err;
    ASSERT_TRUE(parseXml(r.parts.value("word/styles.xml"), styles, err)) << err.toStdString();
    ASSERT_TRUE(parseXml(r.parts.value("word/numbering.xml"), numbering, err)) << err.toStdString();
    QStringList ids, nums;
    for (const QDomElement &s : kids(styles.documentElement(), "style"))
        ids << attr(s, "styleId");
    for (const QDomElement &n : kids(numbering.documentElement(), "num"))
        nums << attr(n, "numId");
    EXPECT_TRUE(ids.contains("Heading2") && ids.contains("Heading3")) << ids.join(' ').toStdString();
    EXPECT_EQ(nums, QStringList({"1", "2"}));

    // A style sheet and a numbering part that have what is needed stay as they are.
    const QByteArray sheet = "<?xml version='1.0'?><w:styles xmlns:w='http://schemas.openxmlformats.org/wordprocessingml"
                             "/2006/main'><!-- mine --><w:style w:type='paragraph' w:styleId='Heading2'/>\n"
                             "<w:style w:type='paragraph' w:styleId='Heading3'/></w:styles>";
    const QByteArray own = "<w:numbering xmlns:w='http://schemas.openxmlformats.org/wordprocessingml/2006/main'>"
                           "<w:num w:numId='1'><w:abstractNumId w:val='7'/></w:num></w:numbering>";
    const Result kept =
        build(makePackage(documentXml(para("old")), {{"word/styles.xml", sheet}, {"word/numbering.xml", own}}), qd);
    EXPECT_EQ(kept.outline(), r.outline());
    EXPECT_EQ(kept.parts.value("word/styles.xml"), sheet);
    EXPECT_EQ(kept.parts.value("word/numbering.xml"), own);
}
