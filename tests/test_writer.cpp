// The Writer: the full build on the body's bytes and on the body tree, the
// range rewrite, and what blocks, runs, pictures, tables, headings and lists
// become; HTML through the C interface and the command line, read back by
// python-docx (tools/docx_dump.py) and LibreOffice; hostile HTML.
#include "DocxDocument.h"
#include "DocxNamespaces.h"
#include "DocxReader.h"
#include "DocxWriter.h"
#include "TestSupport.h"

#include <lorvexdocx.h>

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextCursor>
#include <QTextFrame>
#include <QTextList>

#include <gtest/gtest.h>

#include <limits>
#include <memory>

using namespace testing_support;

namespace {

// A PNG of one colour; with quality 100, not as Qt would write it again.
QByteArray png(int width, int height, const QColor &colour, int quality = -1)
{
    QImage img(width, height, QImage::Format_ARGB32);
    img.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    img.save(&buffer, "PNG", quality);
    return bytes;
}

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

// shape() less the 12 pt run size; of a paragraph, what follows its properties.
QString brief(const QDomNode &n)
{
    static const QRegularExpression size("rPr\\(sz\\[val=24\\] szCs\\[val=24\\]\\) | sz\\[val=24\\] szCs\\[val=24\\]");
    QStringList out;
    for (const QDomElement &c : kids(n))
        if (c.localName() != "pPr")
            out << shape(c).remove(size);
    return n.localName() == "p" ? out.join(' ') : shape(n).remove(size);
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

    QString file(const QByteArray &bytes = {})
    {
        const QString path = dir.filePath(QString::number(++files));
        EXPECT_TRUE(bytes.isEmpty() || writeFile(path, bytes));
        return path;
    }

    Result saved(DocxDocument &doc, bool ok)
    {
        const QString out = file();
        EXPECT_TRUE(DocxWriter::saveVersion(doc, out));
        Result r{ok, readEntries(out), {}, {}};
        QString err;
        EXPECT_TRUE(parseXml(r.xml(), r.dom, err)) << err.toStdString();
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
            if (tree)
                doc->dom();
            r[tree] = saved(*doc, DocxWriter::buildFullDocumentDom(*doc, &source));
        }
        EXPECT_EQ(r[0].ok, r[1].ok);
        EXPECT_EQ(shape(r[0].dom.documentElement(), true), shape(r[1].dom.documentElement(), true));
        r[1].parts.insert(kPartDocument, r[0].xml());
        EXPECT_TRUE(r[0].parts == r[1].parts) << "the other parts differ";
        return r[0];
    }

    Result build(const QByteArray &package, const QString &html)
    {
        QTextDocument qd;
        qd.setHtml(html);
        return build(package, qd);
    }
};

// Per file, what tools/docx_dump.py reads with python-docx: "body", "links" and "images".
QList<QVariantMap> dumped(const QStringList &files)
{
    QString out, err;
    EXPECT_EQ(run(systemPython(), QStringList{toolScript("docx_dump.py")} + files, &out, &err), 0) << err.toStdString();
    QList<QVariantMap> maps;
    for (const QJsonValue &v : QJsonDocument::fromJson(out.toUtf8()).array())
        maps << v.toObject().toVariantMap();
    return maps;
}

bool writeHtml(const QString &path, const QString &html)
{
    return lxDocx_write_html(path.toUtf8().constData(), html.toUtf8().constData()) == 1;
}

}  // namespace

TEST_F(Writer, NewContentTakesTheTemplateParagraphsPlace)
{
    // The root binds only w and w14; the template has ids, a list and an
    // alignment; what follows it is written with single quotes.
    const QByteArray start =
        "<w:document xmlns:w=\"" + QByteArray(kNsW) + "\" xmlns:w14=\"http://schemas.microsoft.com/office/word/2010/"
        "wordml\"><w:body><w:p w14:paraId=\"1A\" w14:textId=\"7\" w:rsidR=\"0011\"><w:pPr><w:pStyle w:val=\"List\"/>"
        "<w:numPr><w:ilvl w:val=\"3\"/><w:numId w:val=\"5\"/></w:numPr><w:spacing w:after=\"120\"/><w:jc w:val=\""
        "right\"/></w:pPr><w:r><w:t>template</w:t></w:r></w:p>";
    const QByteArray rest = "<w:p w:rsidR='01'><w:r><w:t>second</w:t></w:r></w:p><w:sectPr/></w:body></w:document>";
    const QString html = "<h2>Title</h2><ul><li>item</li></ul><table><tr><td>t</td></tr></table>";
    for (const QByteArray declaration : {"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n", ""}) {
        const Result r = build(makePackage(declaration + start + rest), html);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(outline(r.body), QStringList({"p:Heading2:Title", "p:Normal#1.0:item", "tbl:1x1", "p::", "p::second",
                                                "sectPr"}));
        // New paragraphs: the template's attributes but its ids, its
        // properties but its numbering and alignment.
        EXPECT_EQ(shape(r.paras()[1].cloneNode(false)) + ' ' + shape(kid(r.paras()[1], "pPr")),
                  "p[rsidR=0011] pPr(pStyle[val=Normal] numPr(ilvl[val=0] numId[val=1]) spacing[after=120])");
        // Spliced into the bytes, with or without a declaration: the rest is
        // the input, byte for byte, and the root declares the prefixes the new
        // content uses, once each. A last table is followed by a paragraph.
        EXPECT_TRUE(r.xml().endsWith(rest)) << r.xml().toStdString();
        const QByteArray root = r.xml().left(r.xml().indexOf("<w:body>"));
        for (const char *prefix : {"w", "r", "wp", "a", "pic", "w14"})
            EXPECT_EQ(root.count(QByteArray(" xmlns:") + prefix + "="), 1) << prefix << ' ' << root.toStdString();
    }
}

TEST_F(Writer, WhatTheBuildSkipsKeepsAndRefusesAndWhereItPutsContent)
{
    const QByteArray package = makePackage(documentXml(para("old") + para("next") + "<w:sectPr/>"));
    auto built = [&](auto fill) {
        QTextDocument qd;
        QTextCursor c(&qd);
        fill(c);
        return outline(build(package, qd).body).join(' ');
    };
    EXPECT_EQ(built([](QTextCursor &) {}), "p::old p::next sectPr");  // nothing to put in: the template stays
    // A trailing empty block is dropped, a trailing empty list item is not; a
    // frame that is no table is left out with its content.
    EXPECT_EQ(built([](QTextCursor &c) { c.insertText("a"), c.insertBlock(); }), "p:Normal:a p::next sectPr");
    EXPECT_EQ(built([](QTextCursor &c) { c.createList(QTextListFormat::ListDecimal), c.insertText("a"), c.insertBlock(); }),
              "p:Normal#2.0:a p:Normal#2.0: p::next sectPr");
    EXPECT_EQ(built([](QTextCursor &c) { c.insertText("a"), c.insertFrame({}), c.insertText("in a frame"); }),
              "p:Normal:a p::next sectPr");
    // A template carrying a section break stays, emptied, after the new
    // content (and so after a last table); the break is not copied.
    const Result r = build(makePackage(documentXml(para("old", "<w:sectPr><w:pgSz w:w=\"100\"/></w:sectPr>")
                                                   + para("next") + "<w:sectPr/>")),
                           "<p>a</p><table><tr><td>t</td></tr></table>");
    EXPECT_EQ(outline(r.body), QStringList({"p:Normal:a", "tbl:1x1", "p::", "p::next", "sectPr"}));
    EXPECT_EQ(shape(kid(r.paras()[0], "pPr")) + ' ' + shape(r.paras()[1]),
              "pPr(pStyle[val=Normal]) p(pPr(sectPr(pgSz[w=100])))");

    // No paragraph to take the place of, no source, no document: no build.
    const Result none = build(makePackage(documentXml("<w:sectPr/>")), "<p>x</p>");
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(outline(none.body), QStringList({"sectPr"}));
    const std::unique_ptr<DocxDocument> doc(DocxReader::open(file(package)));
    DocxDocument invalid;
    QTextDocument qd;
    EXPECT_FALSE(DocxWriter::buildFullDocumentDom(*doc, nullptr) || DocxWriter::buildFullDocumentDom(invalid, &qd));

    // A first paragraph inside a table or content control stays there: the
    // new content goes before its container.
    const QByteArray table = "<w:tbl><w:tblGrid/><w:tr><w:tc>" + para("cell") + "</w:tc></w:tr></w:tbl>";
    const QByteArray sdt = "<w:sdt><w:sdtPr/><w:sdtContent>" + para("ctl") + "</w:sdtContent></w:sdt>";
    for (const QByteArray &first : {table, sdt}) {
        const Result r = build(makePackage(documentXml(first + para("after") + "<w:sectPr/>")),
                               "<p>new</p><table><tr><td>t</td></tr></table>");
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(outline(r.body), QStringList({"p:Normal:new", "tbl:1x1", "p::", first == sdt ? "sdt:ctl" : "tbl:1x0",
                                                "p::after", "sectPr"}));
        // Nothing lost or doubled, and the container keeps its paragraph.
        EXPECT_EQ(paragraphText(r.body), first == sdt ? "newtctlafter" : "newtcellafter");
        EXPECT_EQ(r.body.elementsByTagNameNS(kNsW, "p").size(), 5);
    }
}

TEST_F(Writer, SectionRewriteKeepsContainersWhole)
{
    // 0: style, list, spacing, alignment, bookmarks, tracked changes; 1, 2:
    // plain; 3: alone in a cell; 4, 5: together in a cell; 6: alone in a
    // content control; 7: plain.
    const QByteArray package = makePackage(documentXml(
        "<w:p><w:pPr><w:pStyle w:val=\"Quote\"/><w:numPr><w:ilvl w:val=\"1\"/><w:numId w:val=\"4\"/></w:numPr>"
        "<w:spacing w:after=\"7\"/><w:jc w:val=\"center\"/></w:pPr><w:r><w:t>p0</w:t></w:r><w:bookmarkStart "
        "w:id=\"1\" w:name=\"m\"/><w:ins><w:r><w:t>i</w:t></w:r></w:ins><w:del><w:r><w:delText>d</w:delText></w:r>"
        "</w:del><w:bookmarkEnd w:id=\"1\"/></w:p>"
        + para("p1") + para("p2") + "<w:tbl><w:tr><w:tc>" + para("c3", "<w:keepNext/>") + "</w:tc><w:tc>" + para("c4")
        + para("c5") + "</w:tc></w:tr></w:tbl><w:sdt><w:sdtContent>" + para("s6", "<w:ind w:left=\"5\"/>")
        + "</w:sdtContent></w:sdt>" + para("p7") + "<w:sectPr/>"));
    auto rewrite = [&](int start, int end, const QString &text, int editorStart = 0) {
        const std::unique_ptr<DocxDocument> doc(DocxReader::open(file(package)));
        QTextDocument qd;
        qd.setPlainText(text);
        return saved(*doc, DocxWriter::saveSection(*doc, &qd, {QString(), start, end}, editorStart));
    };
    auto containers = [](const Result &r) {
        return brief(firstElementNS(r.body, "tbl", kNsW)) + ' ' + brief(firstElementNS(r.body, "sdt", kNsW));
    };
    // A rewritten paragraph keeps all but its runs and alignment; tracked
    // changes go with the old runs.
    Result r = rewrite(0, 1, "new");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(shape(kid(r.paras()[0], "pPr")) + ' ' + brief(r.paras()[0]),
              "pPr(pStyle[val=Quote] numPr(ilvl[val=1] numId[val=4]) spacing[after=7]) bookmarkStart[id=1 name=m] "
              "bookmarkEnd[id=1] r(t(\"new\"))");
    // Fewer blocks (an empty last block does not count): the surplus goes,
    // from the end.
    EXPECT_EQ(outline(rewrite(0, 3, "a\n").body).mid(0, 3), QStringList({"p:Quote#4.1:a", "tbl:1x0", "sdt:s6"}));
    // More blocks: new paragraphs after the range's last one, in its
    // container; blocks before `editorStart` or past one more than the range
    // are not written.
    r = rewrite(1, 2, "skipped\na\nb\nc", 1);
    EXPECT_EQ(outline(r.body).mid(1, 4), QStringList({"p::a", "p::b", "p::p2", "tbl:1x0"}));
    EXPECT_EQ(containers(rewrite(2, 4, "a\nb\nc")),
              "tbl(tr(tc(p(pPr(keepNext) r(t(\"b\"))) p(pPr(keepNext) r(t(\"c\")))) tc(p(r(t(\"c4\"))) "
              "p(r(t(\"c5\")))))) sdt(sdtContent(p(pPr(ind[left=5]) r(t(\"s6\")))))");
    // A removed paragraph that is the last of its cell or content control is
    // emptied instead, keeping its properties.
    r = rewrite(3, 7, "x");
    EXPECT_EQ(containers(r), "tbl(tr(tc(p(pPr(keepNext) r(t(\"x\")))) tc(p))) sdt(sdtContent(p(pPr(ind[left=5]))))");
    EXPECT_EQ(outline(r.body).mid(5), QStringList({"p::p7", "sectPr"}));
    // The range may end at the last paragraph, not beyond, and is not empty.
    EXPECT_TRUE(rewrite(7, 8, "z").ok);
    r = rewrite(0, 9, "z");
    EXPECT_FALSE(r.ok || rewrite(3, 3, "z").ok);
    EXPECT_EQ(paragraphText(r.body), "p0ip1p2c3c4c5s6p7");
}

TEST_F(Writer, RunsBreaksLinksAndPageFields)
{
    QTextDocument qd;  // <br> is a line separator in the rich text
    qd.setHtml("<p>a<br><br>b<br></p><p><span style=\"font-size:10.5pt\">a</span><span style=\"font-weight:600\">b"
               "</span><b>c</b></p><p align=\"right\"><span style=\"font-family:Georgia,serif; font-style:italic; "
               "text-decoration:line-through underline; color:#1a2b3c; vertical-align:super; font-size:14pt\">x"
               "</span><sub>y</sub></p><p align=\"center\">c</p><p align=\"justify\">j</p>");
    QTextCursor c(&qd);
    c.movePosition(QTextCursor::End);
    c.insertBlock(QTextBlockFormat());
    auto text = [&](const QString &t, int property = 0, const QVariant &value = {}, const QString &href = {}) {
        QTextCharFormat f;
        if (property)
            f.setProperty(property, value);
        if (!href.isEmpty())
            f.setAnchor(true), f.setAnchorHref(href);
        c.insertText(t, f);
    };
    text("1", QTextFormat::TextUnderlineStyle, QTextCharFormat::DashUnderline);
    text("2", QTextFormat::TextUnderlineStyle, QTextCharFormat::WaveUnderline);
    text("3", QTextFormat::TextUnderlineStyle, QTextCharFormat::SpellCheckUnderline);
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

    const Result r = build(makePackage(documentXml(para("old", "<w:jc w:val=\"center\"/>"))), qd);
    QStringList got;
    for (const QDomElement &p : r.paras())
        got << attr(kid(kid(p, "pPr"), "jc"), "val") + '|' + brief(p);
    const QString field = "r(fldChar[fldCharType=begin]) r(instrText[space=preserve](\" PAGE \")) "
                          "r(fldChar[fldCharType=separate]) r(t(\"1\")) r(fldChar[fldCharType=end])";
    EXPECT_EQ(got, QStringList({
        "|r(t(\"a\")) r(br) r(br) r(t(\"b\")) r(br)",
        "|r(rPr(sz[val=22] szCs[val=22]) t(\"a\")) r(t(\"b\")) r(rPr(b bCs) t(\"c\"))",
        "right|r(rPr(rFonts[ascii=Georgia cs=Georgia hAnsi=Georgia] i iCs strike u[val=single] color[val=1A2B3C] "
        "vertAlign[val=superscript] sz[val=28] szCs[val=28]) t(\"x\")) r(rPr(vertAlign[val=subscript]) t(\"y\"))",
        "center|r(t(\"c\"))", "both|r(t(\"j\"))",
        "|r(rPr(u[val=dash]) t(\"1\")) r(rPr(u[val=wave]) t(\"2\")) r(rPr(u[val=single]) t(\"3\")) r(br) "
        "r(rPr(i iCs) t[space=preserve](\" lead\")) r(t[space=preserve](\"trail \")) r(rPr(i iCs) t(\"in side\t\"))",
        "|r(t)",
        "|hyperlink[id=rId1](r(t(\"one\")) r(rPr(b bCs) t(\"two\"))) hyperlink[id=rId2](r(t(\"three\"))) "
        "r(t(\"four\")) hyperlink[id=rId1](r(t(\"five\")))",
        "|r(t[space=preserve](\"p \")) " + field + " r(t[space=preserve](\" of \")) "
            + QString(field).replace("PAGE", "NUMPAGES") + ' ' + QString(field).replace("PAGE ", "PAGE \\* roman ")
            + " r(t(\"abc\"))"}));
    // Links the relationships part cannot take stay plain text.
    const Result plain = build(makePackage(documentXml(para("old")), {{"word/_rels/document.xml.rels", "<Rel"}}), qd);
    EXPECT_EQ(paragraphText(plain.body), paragraphText(r.body));
    EXPECT_TRUE(firstElementNS(plain.body, "hyperlink", kNsW).isNull());
}

TEST_F(Writer, PicturesComeFromTheirPartTheirDataOrTheRichText)
{
    const QByteArray stored = png(200, 100, Qt::blue), own = png(3, 2, Qt::red, 100);
    const QImage small = QImage::fromData(png(3, 2, QColor(10, 20, 30)));
    const QByteArray package = makePackage(
        documentXml(para("old")),
        {{"word/_rels/document.xml.rels",
          "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id="
          "\"rId7\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/image\" Target="
          "\"media/image1.png\"/></Relationships>"},
         {"word/media/image1.png", stored}});
    // The stored part at its own size, or with only the missing size from it;
    // a data URL; no such relationship: the resource of that name; nothing.
    QTextDocument qd;
    qd.setHtml("<img src=\"docx-img:rId7\"><img src=\"docx-img:rId7\" height=\"50\"><img src=\"data:image/png;"
               "base64," + own.toBase64() + "\" width=\"9\"><img src=\"docx-img:rId99\"><img src=\"res:bytes\">"
               "<img src=\"docx-img:rId98\"><img src=\"missing.png\">");
    qd.addResource(QTextDocument::ImageResource, QUrl("docx-img:rId99"), small);
    qd.addResource(QTextDocument::ImageResource, QUrl("res:bytes"), png(5, 4, Qt::green));

    const Result r = build(package, qd);
    QStringList got;
    const QDomNodeList inlines = r.body.elementsByTagNameNS(kNsWordDrawing, "inline");
    for (int i = 0; i < inlines.size(); ++i) {
        const QDomElement extent = firstElementNS(inlines.at(i), "extent", kNsWordDrawing);
        got << firstElementNS(inlines.at(i), "blip", kNsDrawingMain).attributeNS(kNsR, "embed") + ' '
                + QString::number(extent.attribute("cx").toLongLong() / 9525) + 'x'
                + QString::number(extent.attribute("cy").toLongLong() / 9525);
    }
    EXPECT_EQ(got, QStringList({"rId7 200x100", "rId7 200x50", "rId8 9x2", "rId9 3x2", "rId10 5x4"}));
    EXPECT_EQ(r.parts.value("word/media/image1.png") + r.parts.value("word/media/image2.png"), stored + own);
    EXPECT_EQ(QImage::fromData(r.parts.value("word/media/image3.png")).convertToFormat(small.format()), small);
}

TEST_F(Writer, TablesHeadingsAndLists)
{
    QTextDocument qd;
    qd.setHtml("<h2 style=\"font-size:20pt\">Head <span style=\"font-size:30pt; color:#f00\">big</span></h2>"
               "<table><tr><td rowspan=\"2\" colspan=\"2\" style=\"background-color:rgb(211,211,211)\"><h1>big</h1>"
               "</td><td><ul><li>r</li></ul></td></tr><tr><td>s</td></tr></table><ul type=\"square\" style=\""
               "-qt-list-indent:12\"><li>deep</li></ul><ol type=\"I\" style=\"-qt-list-indent:0\"><li>roman</li></ol>"
               "<ol><li><h3>item</h3></li></ol>");
    QTextCursor c(&qd);
    c.movePosition(QTextCursor::End);
    QTextBlockFormat seven, r1, r2;  // a heading level past 6; list paragraphs as the reader marks them
    seven.setHeadingLevel(7);
    for (auto [f, level] : {std::pair{&r1, 3}, {&r2, 20}})
        f->setProperty(ListNumIdProperty, 9), f->setProperty(ListLevelProperty, level);
    r1.setProperty(ListBulletProperty, true);
    QTextCharFormat large;
    large.setFontPointSize(20);
    for (const auto &[text, format] : {std::pair{"seven", seven}, {"r1", r1}, {"r2", r2}})
        c.insertBlock(format), c.insertText(text, large);

    const Result r = build(makePackage(documentXml(para("old"))), qd);
    EXPECT_EQ(outline(r.body), QStringList({"p:Heading2:Head big", "tbl:2x3", "p:Normal:", "p:Normal#1.8:deep",
                                            "p:Normal#2.0:roman", "p:Heading3#2.0:item", "p:Normal:seven",
                                            "p:Normal#1.3:r1", "p:Normal#2.8:r2"}));
    // Heading text takes its size from the style; other paragraphs keep theirs.
    EXPECT_EQ(brief(r.paras()[0]) + ' ' + brief(r.paras()[5]),
              "r(rPr(b bCs) t[space=preserve](\"Head \")) r(rPr(b bCs color[val=FF0000]) t(\"big\")) "
              "r(rPr(sz[val=40] szCs[val=40]) t(\"seven\"))");
    // One look for every table; widths share the text width; a merged cell
    // continues with its span but without content or shading; cell paragraphs
    // get no style and no numbering.
    QString borders;
    for (const char *side : {"top", "left", "bottom", "right", "insideH", "insideV"})
        borders += QString(" %1[color=auto space=0 sz=4 val=single]").arg(side);
    EXPECT_EQ(brief(firstElementNS(r.body, "tbl", kNsW)).remove(QRegularExpression("rPr\\([^)]*\\) ")),
              "tbl(tblPr(tblStyle[val=TableGrid] tblW[type=pct w=5000] tblBorders(" + borders.mid(1) + ")) tblGrid("
              "gridCol[w=3120] gridCol[w=3120] gridCol[w=3120]) tr(tc(tcPr(tcW[type=dxa w=6240] gridSpan[val=2] "
              "vMerge[val=restart] shd[color=auto fill=D3D3D3 val=clear]) p(r(t(\"big\")))) tc(tcPr(tcW[type=dxa "
              "w=3120]) p(r(t(\"r\"))))) tr(tc(tcPr(tcW[type=dxa w=6240] gridSpan[val=2] vMerge) p) tc(tcPr(tcW["
              "type=dxa w=3120]) p(r(t(\"s\"))))))");
}

TEST(WriterHtml, IndependentReadersReadThePage)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("page.docx");
    const QByteArray picture = png(16, 8, QColor(10, 20, 30, 128), 100);
    ASSERT_TRUE(writeHtml(path, "<h1>One</h1><h2>Two</h2><h3>Three</h3><h4>Four</h4><h5>Five</h5><h6>Six</h6>"
                                "<p>Some <b>bold</b>, <i>italic</i> and <u>underlined</u> text,<br>a <a href=\""
                                "https://example.org/x?a=1&amp;b=2\">link</a> and H<sub>2</sub>O.</p><ul><li>top<ul>"
                                "<li>nested<ul><li>deeper</li></ul></li></ul></li><li>back</li></ul><ol><li>first"
                                "</li><li>second</li></ol><table><tr><th bgcolor=\"#d9e2f3\">h</th><th colspan=\"2\">"
                                "wide</th></tr><tr><td rowspan=\"2\">tall</td><td>b</td><td style=\"background-color:"
                                "#ffcc00\">c</td></tr><tr><td>e</td><td>f</td></tr></table><p><img src=\"data:image/"
                                "png;base64," + picture.toBase64() + "\" width=\"32\" height=\"16\"> see <a "
                                "href=\"#top\">top</a> or <a href=\"https://example.org/x?a=1&amp;b=2\">again</a></p>"))
        << lxDocx_error(nullptr);
    const QVariantMap d = dumped({path}).value(0);
    EXPECT_EQ(d["body"].toStringList(),
              QStringList({"Heading1: One", "Heading2: Two", "Heading3: Three", "Heading4: Four", "Heading5: Five",
                           "Heading6: Six", "Normal: Some bold, italic and underlined text,\na link and H2O.",
                           "Normal 0/1: top", "Normal 1/1: nested", "Normal 2/1: deeper", "Normal 0/1: back",
                           "Normal 0/2: first", "Normal 0/2: second",
                           "h#D9E2F3 | wide | wide / tall | b | c#FFCC00 / tall | e | f", "Normal: ",
                           "Normal:  see top or again"}));
    EXPECT_EQ(d["links"].toStringList(), QStringList({"link -> https://example.org/x?a=1&b=2", "top -> #top",
                                                      "again -> https://example.org/x?a=1&b=2"}));
    // The picture's own bytes, at the size the page gives.
    EXPECT_EQ(d["images"].toStringList(),
              QStringList("image/png 16x8 304800x152400 "
                          + QCryptographicHash::hash(picture, QCryptographicHash::Sha1).toHex()));

    const QString soffice = QStandardPaths::findExecutable("soffice"), profile = dir.filePath("profile");
    ASSERT_FALSE(soffice.isEmpty()) << "LibreOffice (soffice) is not installed";
    QString err;
    ASSERT_EQ(run(soffice, {"-env:UserInstallation=" + QUrl::fromLocalFile(profile).toString(), "--headless",
                            "--convert-to", "txt:Text", "--outdir", dir.path(), path}, nullptr, &err), 0)
        << err.toStdString();
    QStringList lines;
    for (const QString &line : QString::fromUtf8(readFile(dir.filePath("page.txt"))).remove(QChar(0xFEFF)).split('\n'))
        lines << line.trimmed();
    // Lists get their labels, and a table gives one line per cell.
    EXPECT_EQ(lines, QStringList({"One", "Two", "Three", "Four", "Five", "Six",
                                  "Some bold, italic and underlined text,", "a link and H2O.", "• top", "◦ nested",
                                  "▪ deeper", "• back", "1. first", "2. second", "h", "wide", "tall", "b", "c", "",
                                  "e", "f", "", "see top or again", ""}));
}

TEST(WriterHtml, BadCallsAndTargetsFailCleanly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("in.docx");
    ASSERT_TRUE(writeFile(path, makePackage(documentXml("<w:sectPr/>"))));
    DocxHandle *h = lxDocx_open(path.toUtf8().constData());
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(lxDocx_set_body_html(nullptr, "<p>x</p>") + lxDocx_set_body_html(h, nullptr), 0);
    EXPECT_STREQ(lxDocx_error(h), "No HTML given");
    EXPECT_EQ(lxDocx_set_body_html(h, "<p>x</p>"), 0);  // no paragraph to take the content's place
    EXPECT_STREQ(lxDocx_error(h), "The body has no paragraph for the HTML to take the place of");
    lxDocx_close(h);
    EXPECT_EQ(lxDocx_write_html(nullptr, "<p>x</p>") + lxDocx_write_html(path.toUtf8().constData(), nullptr), 0);
    // A missing folder or a read-only file: what could not be written and why, nothing left.
    EXPECT_FALSE(writeHtml(dir.filePath("no/such/dir/x.docx"), "<p>x</p>"));
    EXPECT_EQ(QString(lxDocx_error(nullptr)), "Cannot write to: " + dir.filePath("no/such/dir/x.docx") + ": No such file or directory");
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const QByteArray before = readFile(path);
    EXPECT_EQ(lxDocx_open(dir.filePath("missing.docx").toUtf8().constData()), nullptr);  // another error text
    EXPECT_FALSE(writeHtml(path, "<p>x</p>"));
    EXPECT_EQ(QString(lxDocx_error(nullptr)), "Cannot write to: " + path + ": Permission denied");
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList({"in.docx"}));
}

TEST(WriterHtml, HostileHtmlGivesValidDocuments)
{
    QTemporaryDir dir;
    const QString local = dir.filePath("local.png");
    ASSERT_TRUE(writeFile(local, png(16, 8, Qt::red)));
    QString huge, divs = "deep", lists, tables;
    for (int i = 0; i < 3000; ++i)
        huge += QString("<h3>Part %1</h3><p>%2<b>bold</b> <a href=\"https://example.org/%3\">link</a></p><ul><li>one"
                        "</li><li>two</li></ul>").arg(i).arg(QString("lorem ipsum dolor ").repeated(45)).arg(i % 50);
    for (int i = 0; i < 2000; ++i)
        divs = "<div>" + divs + "</div>", lists += i % 2 ? "<ul><li>u" : "<ol><li>o";
    for (int i = 0; i < 1000; ++i)
        tables = "<table><tr><td>t" + tables + "</td></tr></table>";
    ASSERT_GT(huge.size(), 2500000);
    const QStringList cases = {
        "", huge, divs, lists, tables,
        "<p>a<b>b<i>c</p></b><table><tr><td>1<td>2<tr><td colspan=99 rowspan=99>3</table><li>orphan<ul><li>x</ul>"
        "</ul></ul><h7>h</h7>&#1;&#xFFFF;&#xD800;</td></tr><p",
        "<foo><bar baz=1>text</bar></foo><svg><circle r=5/></svg><script>alert(1)</script><custom-el>x</custom-el>",
        // Pictures from files stay out, as do broken ones.
        "<img src=\"" + local + "\"><img src=\"" + QUrl::fromLocalFile(local).toString() + "\"><img src=\"data:image/"
        "png;base64,AAAA\"><img src=\"http://127.0.0.1:1/x.png\" width=10><img src=\"data:,\"><img><p>text</p>",
    };
    QStringList written;
    for (int i = 0; i < cases.size(); ++i) {
        written << dir.filePath(QString("case%1.docx").arg(i));
        EXPECT_TRUE(writeHtml(written.last(), cases[i])) << "case " << i << ": " << lxDocx_error(nullptr);
    }
    const QList<QVariantMap> d = dumped(written);  // python-docx reads them all
    ASSERT_EQ(d.size(), cases.size());
    EXPECT_EQ(d[0]["body"].toStringList(), QStringList({"Normal: "}));
    EXPECT_EQ(d[1]["body"].toStringList().size(), 4 * 3000);
    EXPECT_EQ(d[1]["links"].toStringList().size(), 3000);
    EXPECT_EQ(d[2]["body"].toStringList(), QStringList({"Normal: deep"}));
    EXPECT_EQ(d[7]["body"].toStringList().last(), "Normal: text");
    EXPECT_EQ(d[7]["images"].toStringList(), QStringList());
}

// A page with every kind of top-level block the reader knows, and what may sit
// between them: empty paragraphs, loose text, comments, scripts.
QString variedPage(int sections, bool withHead)
{
    const QString picture = "data:image/png;base64," + QString::fromLatin1(png(4, 2, Qt::blue).toBase64());
    QString page = withHead ? "<!DOCTYPE html><html><head><title>t</title><style>p.note { color: #336699 } "
                              "td { background-color: #eeeeee }</style></head><body>"
                            : "";
    for (int i = 0; i < sections; ++i) {
        page += QString("<h%1>Heading %2</h%1>\n<p>text <b>b</b> <i>i</i> <u>u</u> <span style=\"color:#c00\">red"
                        "</span> H<sub>2</sub>O x<sup>3</sup> <a href=\"https://example.org/%3\">link</a></p><p></p>"
                        "<p class=\"note\">note<br>second line</p>\n")
                    .arg(1 + i % 6).arg(i).arg(i % 7);
        if (i % 3 == 0)
            page += "<table border=\"1\"><tr><td colspan=\"2\">merged</td></tr><tr><td style=\"background-color:"
                    "#ffff00\">shaded</td><td>x</td></tr></table>";
        if (i % 4 == 1)
            page += "<ul><li>one<ul><li>nested</li></ul></li><li>two</ul>";
        if (i % 4 == 2)
            page += "<ol start=\"3\"><li>first</li><li>second</li></ol>";
        if (i % 5 == 0)
            page += "<pre>code  line\n  two</pre><blockquote>quoted</blockquote>";
        if (i % 7 == 0)
            page += "<div><table><tr><td>in a div</td></tr></table></div><div>loose <p>in div</p></div>";
        if (i % 6 == 0)
            page += "<p><img src=\"" + picture + "\" width=\"20\" height=\"10\"></p>";
        if (i % 8 == 0)
            page += "<!-- <p>not a block</p> --> loose text <b>inline</b> <p>after loose text</p>";
    }
    // What ends the cutting: the rest is read as one piece.
    page += "<script>var s = \"<p>\";</script><p>after a script</p><div>loose <p>in div</div><p>last</p>";
    return page + (withHead ? "</body></html>" : "");
}

DocxEntryMap builtFromHtml(const QString &html, qsizetype pieceChars)
{
    QTemporaryDir dir;
    const std::unique_ptr<DocxDocument> doc(DocxReader::createBlank(dir.filePath("blank.docx")));
    EXPECT_TRUE(DocxWriter::buildFromHtml(*doc, html, pieceChars));
    DocxWriter::storeDocumentXml(*doc);
    return doc->entries;
}

// A large page is read in pieces; the pieces must write exactly what the
// whole page writes, wherever they are cut.
TEST(WriterHtml, PagesReadInPiecesWriteWhatTheWholePageWrites)
{
    const QString sample = QString::fromUtf8(readFile(QDir::cleanPath(LXDOCX_TEST_DATA_DIR "/../../samples/sample.html")));
    ASSERT_FALSE(sample.isEmpty());
    const QString pages[] = {sample, variedPage(40, true), variedPage(40, false)};
    for (const QString &page : pages) {
        const qsizetype cuts = htmlCuts(page, 1).cuts.size();
        EXPECT_GT(cuts, page == sample ? 10 : 200);
        const DocxEntryMap whole = builtFromHtml(page, std::numeric_limits<qsizetype>::max());
        for (const qsizetype pieceChars : {qsizetype(1), qsizetype(3000)}) {
            const DocxEntryMap pieces = builtFromHtml(page, pieceChars);
            EXPECT_EQ(pieces.keys(), whole.keys());
            for (auto it = whole.cbegin(); it != whole.cend(); ++it)
                EXPECT_TRUE(pieces.value(it.key()) == it.value()) << it.key().toStdString() << ", pieces of "
                                                                  << pieceChars << " of a page of " << page.size();
        }
    }
}

TEST(WriterHtml, PagesAreCutOnlyBetweenTopLevelBlocks)
{
    auto cutsAt = [](const QString &page) {
        QStringList at;
        const DocxHtmlCuts c = htmlCuts(page, 1);
        for (const qsizetype cut : c.cuts)
            at << page.mid(cut, 6);
        return QString::number(c.bodyStart) + ": " + at.join(' ');
    };
    const QString head = "<html><head><style>td { color: red }</style></head><body>";
    EXPECT_EQ(cutsAt(head + "<h1>a</h1> <P>b</P><table><tr><td>c</table><ul><li>d<li>e</ul><p>f</p>"),
              QString::number(head.size()) + ": <P>b</ <table <ul><l <p>f</");
    // Text or an inline element between two blocks is one block with them.
    EXPECT_EQ(cutsAt("<p>a</p> loose <p>b</p><b>c</b><p>d</p><br><p>e</p><p>f</p>"), "0: <p>f</");
    // Cutting stops at what the tags cannot account for.
    EXPECT_EQ(cutsAt("<p>a</p><p>b</p></div><p>c</p><p>d</p>"), "0: <p>b</");
    EXPECT_EQ(cutsAt("<p>a</p><p>b</p><style>p { color: red }</style><p>c</p><p>d</p>"), "0: <p>b</");
    EXPECT_EQ(cutsAt("<p>a</p><p>b</p><div/><p>c</p><p>d</p>"), "0: <p>b</ <div/>");
    EXPECT_EQ(cutsAt("<p>a</p><div><p>b</p><p>c</p>"), "0: <div><");
    EXPECT_EQ(cutsAt("<p>a</p><!-- <p>b</p><p>c</p>"), "0: ");
    // Style sheets that look at the element before, content without a body,
    // and small pages are not cut at all.
    EXPECT_EQ(cutsAt("<style>p + p { color: red }</style><body><p>a</p><p>b</p>"), "0: ");
    EXPECT_EQ(cutsAt("<html><p>a</p><p>b</p>"), "0: ");
    EXPECT_EQ(cutsAt("text<body><p>a</p><p>b</p>"), "0: ");
    EXPECT_TRUE(htmlCuts(head + "<p>a</p><p>b</p>", 1000).cuts.isEmpty());
}

TEST(WriterHtml, CommandLine)
{
    QTemporaryDir dir;
    const QString made = dir.filePath("made.docx"), changed = dir.filePath("changed.docx");
    const QString html = dir.filePath("new.html");
    ASSERT_TRUE(writeFile(html, "<h2>Replaced</h2>"));
    QString out, err;
    const QString sample = QDir::cleanPath(LXDOCX_TEST_DATA_DIR "/../../samples/sample.html");
    ASSERT_EQ(run(LXDOCX_CLI, {"from-html", sample, made}, &out, &err), 0) << err.toStdString();
    EXPECT_EQ(out, "Wrote " + made + "\n");
    ASSERT_EQ(run(LXDOCX_CLI, {"set-body", made, html, "-o", changed}, &out, &err), 0) << err.toStdString();
    EXPECT_EQ(out, "Saved " + changed + "\n");
    // The new body takes the place of the first paragraph only.
    const QList<QVariantMap> d = dumped({made, changed});
    QStringList before = d.value(0)["body"].toStringList(), after = d.value(1)["body"].toStringList();
    ASSERT_FALSE(before.isEmpty() || after.isEmpty());
    EXPECT_EQ(before.takeFirst() + " / " + after.takeFirst(), "Heading1: Field Notes on Lichens / Heading2: Replaced");
    EXPECT_EQ(after, before);
    EXPECT_EQ(run(LXDOCX_CLI, {"from-html", dir.filePath("missing.html"), made}, &out, &err), 1);
}
