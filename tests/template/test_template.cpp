// Rendering templates through the C interface: tags split by Word, loops with
// their units, conditions, every story, HTML and picture values, and the
// failures that name their tag and change nothing.
#include "DocxPartTypes.h"
#include "EditTestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace edit_support;

namespace {

const QByteArray kW = "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"";

QByteArray para(const QByteArray &text) { return "<w:p><w:r><w:t>" + text + "</w:t></w:r></w:p>"; }
QByteArray row(const QByteArray &a, const QByteArray &b)
{
    return "<w:tr><w:tc>" + para(a) + "</w:tc><w:tc>" + para(b) + "</w:tc></w:tr>";
}

QByteArray headerPart(const QByteArray &inner)
{
    return QByteArray(kXmlDeclaration) + "<w:hdr " + kW + ">" + inner + "</w:hdr>";
}

QByteArray withHeader(const QByteArray &body, const QByteArray &header)
{
    return makePackage(documentXml(body),
                       {{"word/_rels/document.xml.rels", relsPart(relEntry("rH", kRelType + "header", "header1.xml"))},
                        {"word/header1.xml", header}});
}

struct Rendered
{
    int ok = 0;
    int code = -1;
    QString error;
    DocxEntryMap entries;  // of the document saved after the call
};

Rendered render(const QByteArray &package, const char *json, int flags = 0, const QString &resources = {})
{
    QTemporaryDir dir;
    const QString in = dir.filePath("in.docx"), out = dir.filePath("out.docx");
    Handle h = openPackage(in, package);
    EXPECT_TRUE(h);
    if (!resources.isEmpty()) {
        EXPECT_TRUE(lxDocx_set_resource_folder(h.get(), resources.toUtf8().constData()));
    }
    Rendered r;
    r.ok = lxDocx_render_template(h.get(), json, flags);
    r.code = lxDocx_error_code(h.get());
    r.error = QString::fromUtf8(lxDocx_error(h.get()));
    EXPECT_TRUE(lxDocx_save_as(h.get(), out.toUtf8().constData())) << lxDocx_error(h.get());
    r.entries = readEntries(out);
    return r;
}

// The text of each paragraph of a part, one line each.
QString lines(const QByteArray &part)
{
    QStringList out;
    const QDomNodeList ps = parsed(part).elementsByTagNameNS(wNamespace(), "p");
    for (int i = 0; i < ps.size(); ++i)
        out << paragraphText(ps.at(i).toElement());
    return out.join('\n');
}

QString bodyLines(const Rendered &r) { return lines(r.entries.value("word/document.xml")); }

// The texts of the bold runs of a part.
QStringList boldTexts(const QByteArray &part)
{
    QStringList texts;
    const QDomNodeList ts = parsed(part).elementsByTagNameNS(wNamespace(), "t");
    for (int i = 0; i < ts.size(); ++i) {
        if (!wChild(wChild(ts.at(i).parentNode(), "rPr"), "b").isNull())
            texts << ts.at(i).toElement().text();
    }
    return texts;
}

QByteArray pngBytes(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "PNG");
    return bytes;
}

}  // namespace

TEST(Template, TagsSplitByWordTakeTheFormattingOfTheirFirstCharacter)
{
    // "{{ na" bold, a proofing mark and a bookmark, "me }}" italic.
    const QByteArray body =
        "<w:p><w:r><w:rPr><w:b/></w:rPr><w:t xml:space=\"preserve\">Dear {{ na</w:t></w:r>"
        "<w:proofErr w:type=\"spellStart\"/><w:bookmarkStart w:id=\"0\" w:name=\"m\"/>"
        "<w:r><w:rPr><w:i/></w:rPr><w:t>me }}, welcome</w:t></w:r><w:bookmarkEnd w:id=\"0\"/></w:p>"
        + para("no tag here");
    const QByteArray header = headerPart(para("no tag either"));
    const Rendered r = render(withHeader(body, header), R"({"name": "Ann <&> Bob"})");
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(bodyLines(r), "Dear Ann <&> Bob, welcome\nno tag here");
    EXPECT_TRUE(boldTexts(r.entries.value("word/document.xml")).contains("Ann <&> Bob"));
    EXPECT_TRUE(r.entries.value("word/document.xml").contains(para("no tag here")));
    EXPECT_EQ(r.entries.value("word/header1.xml"), header);  // a part without tags stays byte for byte
}

TEST(Template, LoopsRepeatTheirUnitsAndConditionsChoose)
{
    const QByteArray body =
        "<w:tbl>" + row("Item", "Qty") + row("{%tr for l in lines %}", "") + row("{{ loop.index }}. {{ l.name }}", "{{ l.qty }}")
        + row("{%tr endfor %}", "") + "</w:tbl>"
        + para("{%p for g in groups %}") + para("{{ g.title|upper }}:")
        + para("{%p for m in g.members %}") + para("- {{ m }}{% if loop.last %}.{% else %},{% endif %}") + para("{%p endfor %}")
        + para("{%p endfor %}")
        + para("{%p if total > 10 %}") + para("Large order") + para("{%p elif total %}") + para("Small order")
        + para("{%p else %}") + para("No order") + para("{%p endif %}")
        + para("{% for x in empty %}{{ x }}{% else %}nothing{% endfor %} {# a comment #}{% set who = 'me' %}by {{ who }}");
    const char *json = R"({"lines": [{"name": "pen", "qty": 2}, {"name": "ink", "qty": 1}],
        "groups": [{"title": "a", "members": ["x", "y"]}, {"title": "b", "members": ["z"]}], "total": 3, "empty": []})";
    const Rendered r = render(makePackage(documentXml(body)), json);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(bodyLines(r),
              "Item\nQty\n1. pen\n2\n2. ink\n1\n"
              "A:\n- x,\n- y.\nB:\n- z.\n"
              "Small order\nnothing by me");
    EXPECT_EQ(r.entries.value("word/document.xml").count("<w:tr>"), 3);  // heading row and one per line
}

TEST(Template, RendersEveryStoryAndValuesAsTextLines)
{
    const QByteArray header = headerPart(para("{{ title }} - {{ missing }}page"));
    const Rendered r = render(withHeader(para("{{ text }}|{{ n }}|{{ f }}|{{ none }}|{{ flag }}"), header),
                              R"({"title": "Report", "text": "a\nb\tc", "n": 4, "f": 0.5, "none": null, "flag": false})");
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(lines(r.entries.value("word/header1.xml")), "Report - page");
    EXPECT_EQ(bodyLines(r), "abc|4|0.5|None|False");  // the break and the tab are elements of their own
    EXPECT_TRUE(r.entries.value("word/document.xml").contains("a</w:t><w:br/><w:t xml:space=\"preserve\">b</w:t><w:tab/>"));
}

TEST(Template, FailuresNameTheirTagAndChangeNothing)
{
    const QByteArray header = headerPart(para("{{ title }}"));
    struct Case
    {
        QByteArray body;
        const char *json;
        int flags;
        int code;
        QStringList mentions;
    };
    const QList<Case> cases = {
        {para("Hello {{ name"), "{}", 0, LXDOCX_ERR_TEMPLATE, {"word/document.xml", "{{ name", "not closed"}},
        {para("{% if a %}") + para("x"), "{}", 0, LXDOCX_ERR_TEMPLATE, {"paragraph 1", "{% if a %}", "{% endif %}"}},
        {para("x {% endfor %}"), "{}", 0, LXDOCX_ERR_TEMPLATE, {"{% endfor %}", "\"x {% endfor %}\""}},
        {para("{{ a|frobnicate }}"), "{}", 0, LXDOCX_ERR_TEMPLATE, {"frobnicate"}},
        {para("{% whilst x %}"), "{}", 0, LXDOCX_ERR_TEMPLATE, {"unknown statement"}},
        {para("{%tr for x in y %}"), "{}", 0, LXDOCX_ERR_TEMPLATE, {"w:tr"}},
        {para("Dear {{ who }} of {{ where.town }}") + para("{{ title }}"), R"({"title": 1})", LXDOCX_STRICT,
         LXDOCX_ERR_TEMPLATE, {"paragraph 1", "\"who\" is undefined", "\"where.town\" is undefined", "Dear {{ who }}"}},
        {para("{{ title }}"), "{\"title\": ", 0, LXDOCX_ERR_REFUSED_INPUT, {"not valid JSON"}},
        {para("{{ title }}"), "[1, 2]", 0, LXDOCX_ERR_REFUSED_INPUT, {"not a JSON object"}},
        // a condition that opens in one cell and closes in another would break the table
        {para("{% if a %}x") + "<w:tbl>" + row("y{% endif %}", "z") + "</w:tbl>", "{}", 0, LXDOCX_ERR_TEMPLATE, {"do not nest"}},
    };
    for (const Case &c : cases) {
        const QByteArray package = withHeader(c.body, header);
        const Rendered r = render(package, c.json, c.flags);
        EXPECT_FALSE(r.ok) << c.body.toStdString();
        EXPECT_EQ(r.code, c.code) << c.body.toStdString();
        for (const QString &m : c.mentions)
            EXPECT_TRUE(r.error.contains(m)) << m.toStdString() << " not in: " << r.error.toStdString();
        EXPECT_EQ(r.entries.value("word/document.xml"), documentXml(c.body));
        EXPECT_EQ(r.entries.value("word/header1.xml"), header);  // the header rendered well, but nothing is kept
    }
}

TEST(Template, HtmlValuesBecomeParagraphsOrRuns)
{
    const QByteArray body =
        "<w:p><w:pPr><w:pStyle w:val=\"Quote\"/></w:pPr><w:r><w:t>{{p body|html }}</w:t></w:r></w:p>"
        "<w:p><w:r><w:rPr><w:b/></w:rPr><w:t xml:space=\"preserve\">Note: {{ note|html }} end</w:t></w:r></w:p>";
    const char *json = R"({"body": "<h1>Title</h1><p>Plain <a href='https://example.com/'>link</a></p><ol><li>one</li><li>two</li></ol>",
                          "note": "<i>it</i><p>next</p>"})";
    const Rendered r = render(makePackage(documentXml(body)), json);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    const QByteArray xml = r.entries.value("word/document.xml");
    EXPECT_EQ(bodyLines(r), "Title\nPlain link\none\ntwo\nNote: itnext end") << xml.toStdString();
    EXPECT_EQ(attrs(xml, kNsW, "pStyle", {"w:val"}), QStringList({"Heading1", "Quote", "Quote", "Quote"}));
    EXPECT_EQ(xml.count("<w:numPr>"), 2);
    EXPECT_TRUE(r.entries.contains("word/numbering.xml"));
    EXPECT_TRUE(r.entries.value(kRels).contains("https://example.com/"));
    EXPECT_TRUE(boldTexts(xml).contains(" end"));  // the tag's run goes on after the HTML's runs
}

TEST(Template, PicturesComeFromDataUrlsOrTheResourceFolderOnly)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("res"));
    ASSERT_TRUE(writeFile(dir.filePath("res/logo.png"), pngBytes(40, 20)));
    ASSERT_TRUE(writeFile(dir.filePath("outside.png"), pngBytes(10, 10)));
    ASSERT_TRUE(writeFile(dir.filePath("res/notes.txt"), "not a picture"));
    const QString resources = dir.filePath("res");
    const QByteArray header = headerPart(para("Logo {{ logo|image(width='2cm') }}"));
    const QByteArray body = para("A {{ data|image(height=\"1in\") }} B");
    const QByteArray dataUrl = "data:image/png;base64," + pngBytes(30, 30).toBase64();
    const Rendered r = render(withHeader(body, header), ("{\"logo\": \"logo.png\", \"data\": \"" + dataUrl + "\"}").constData(),
                              0, resources);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(attrs(r.entries.value("word/header1.xml"), kNsWordDrawing, "extent", {"cx", "cy"}), QStringList({"720000 360000"}));
    EXPECT_EQ(attrs(r.entries.value("word/document.xml"), kNsWordDrawing, "extent", {"cx", "cy"}), QStringList({"914400 914400"}));
    EXPECT_TRUE(r.entries.value("word/_rels/header1.xml.rels").contains("media/image"));
    EXPECT_EQ(bodyLines(r), "A  B");

    for (const auto &[value, why] : QList<std::pair<QByteArray, const char *>>{
             {"../outside.png", "outside the resource folder"}, {"gone.png", "missing"}, {"notes.txt", "holds no picture"},
             {"data:image/png;base64,AAAA", "no picture"}}) {
        const Rendered bad = render(withHeader(body, header), ("{\"logo\": \"logo.png\", \"data\": \"" + value + "\"}").constData(),
                                    0, resources);
        EXPECT_FALSE(bad.ok) << value.toStdString();
        EXPECT_TRUE(bad.error.contains(why)) << bad.error.toStdString();
        EXPECT_FALSE(bad.entries.contains("word/media/image1.png"));
    }
    const Rendered noFolder = render(withHeader(body, header), ("{\"logo\": \"logo.png\", \"data\": \"" + dataUrl + "\"}").constData());
    EXPECT_TRUE(noFolder.error.contains("no resource folder")) << noFolder.error.toStdString();
}

TEST(Template, CopiesOfAnOpenTemplateRenderApart)
{
    QTemporaryDir dir;
    const QString in = dir.filePath("in.docx");
    const QByteArray body = para("Dear {{ name }}");
    Handle source = openPackage(in, withHeader(body, headerPart(para("{{ name|upper }}"))));
    ASSERT_TRUE(source);
    for (const char *name : {"Ann", "Bob"}) {
        Handle copy(lxDocx_copy(source.get()), lxDocx_close);
        ASSERT_TRUE(copy) << lxDocx_error(source.get());
        ASSERT_TRUE(lxDocx_render_template(copy.get(), (QByteArray("{\"name\": \"") + name + "\"}").constData(), 0));
        EXPECT_FALSE(lxDocx_save(copy.get()));  // a copy has no path of its own
        EXPECT_EQ(lxDocx_error_code(copy.get()), LXDOCX_ERR_IO);
        const QString out = dir.filePath(QString("%1.docx").arg(name));
        ASSERT_TRUE(lxDocx_save_as(copy.get(), out.toUtf8().constData())) << lxDocx_error(copy.get());
        const DocxEntryMap entries = readEntries(out);
        EXPECT_EQ(lines(entries.value("word/document.xml")), QString("Dear %1").arg(name));
        EXPECT_EQ(lines(entries.value("word/header1.xml")), QString(name).toUpper());
    }
    const QString again = dir.filePath("again.docx");
    ASSERT_TRUE(lxDocx_save_as(source.get(), again.toUtf8().constData()));
    EXPECT_EQ(readEntries(again).value("word/document.xml"), documentXml(body));  // the template stays a template
}
