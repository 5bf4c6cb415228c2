// HTML pages as the library takes them in: decoding, preparing, cutting into pieces, and hostile pages.
#include "DocxWriter.h"
#include "DocxHtmlPrepare.h"
#include "DocxHtmlSources.h"
#include "EditTestSupport.h"

#include <QDir>
#include <QStringEncoder>

#include <limits>

using namespace edit_support;

// A byte order mark wins; valid UTF-8 is UTF-8 whatever the page says; else the declared charset; else windows-1252.
TEST(HtmlInput, PagesInEveryEncodingReadAsTheyAreMeant)
{
    const QString latin = QString::fromUtf8("caf\u00e9 \u2013 \u201cna\u00efve\u201d"), japanese = QString::fromUtf8("\u65e5\u672c");
    const struct { const char *charset, *mark, *head; QString text; } pages[] = {
        {"UTF-16LE", "\xFF\xFE", "", latin + japanese}, {"UTF-16BE", "\xFE\xFF", "", latin + japanese},
        {"UTF-8", "\xEF\xBB\xBF", "<meta charset=\"windows-1252\">", latin}, {"UTF-8", "", "<meta charset=\"iso-8859-1\">", latin},
        {"windows-1252", "", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">", latin},
        {"windows-1252", "", "<meta charset=\"utf-8\">", latin}, {"windows-1252", "", "", latin},
        {"Shift_JIS", "", "<meta charset=shift_jis>", japanese}};
    for (const auto &p : pages)
        EXPECT_TRUE(decodeHtml(p.mark + QStringEncoder(p.charset).encode(p.head + ("<p>" + p.text + "</p>")))
                        .contains("<p>" + p.text + "</p>")) << p.charset << ' ' << p.head;
}

// Hostile pages (huge, deep, broken, with pictures from files) all give documents python-docx reads.
TEST(HtmlInput, HostileHtmlGivesValidDocuments)
{
    QTemporaryDir dir;
    const QString local = dir.filePath("local.png");
    ASSERT_TRUE(writeFile(local, png(16, 8, Qt::red)));
    QString huge, divs = "deep", lists, tables, spans;
    for (int i = 0; i < 3000; ++i)
        huge += QString("<h3>Chapter %1</h3><p>%2<b>bold</b> <a href=\"https://example.org/%3\">link</a></p><ul><li>one"
                        "</li><li>two</li></ul>").arg(i).arg(QString("lorem ipsum dolor ").repeated(45)).arg(i % 50);
    for (int i = 0; i < 2000; ++i)
        divs = "<div>" + divs + "</div>", lists += i % 2 ? "<ul><li>u" : "<ol><li>o",
        tables = "<table><tr><td>t" + tables + "</td></tr></table>";
    for (int i = 0; i < 50000; ++i)
        spans += QString("<span style=\"color:#%1\">%2 ").arg(i % 900 + 100).arg(i % 10);
    const QStringList cases = {
        "", huge, divs, lists, tables,
        "<p>a<b>b<i>c</p></b><table><tr><td>1<td>2<tr><td colspan=99 rowspan=99>3</table><li>orphan<ul><li>x</ul>"
        "</ul></ul><h7>h</h7>&#1;&#xFFFF;&#xD800;</td></tr><p",
        "<foo><bar baz=1>text</bar></foo><svg><circle r=5/></svg><script>alert(1)</script><custom-el>x</custom-el>",
        "<img src=\"" + local + "\"><img src=\"" + QUrl::fromLocalFile(local).toString() + "\"><img src=\"data:image/"
        "png;base64,AAAA\"><img src=\"http://127.0.0.1:1/x.png\" width=10><img src=\"data:,\"><img><p>text</p>",
        "<p>" + spans + QString("</span>").repeated(50000) + "</p>"};
    QStringList written;
    for (int i = 0; i < cases.size(); ++i) {
        written << dir.filePath(QString("case%1.docx").arg(i));
        EXPECT_EQ(lxDocx_write_html(written.last().toUtf8().constData(), cases[i].toUtf8().constData()), 1)
            << "case " << i << ": " << lxDocx_error(nullptr);
    }
    const QList<QVariantMap> d = dumped(written);
    ASSERT_EQ(d.size(), cases.size());
    auto body = [&](int i) { return d[i]["body"].toStringList(); };
    EXPECT_EQ(body(0) + body(2), QStringList({"Normal: ", "Normal: deep"}));
    EXPECT_EQ(QString("%1 %2").arg(body(1).size()).arg(d[1]["links"].toStringList().size()), "12000 3000");
    EXPECT_EQ(body(7).last() + d[7]["images"].toStringList().join(' '), "Normal: text");  // no pictures from files
    EXPECT_EQ(body(8).value(0).count(' '), 50001);  // every word there
    // The reader sees at most kMaxHtmlDepth elements inside each other: time grows with the page, not its depth.
    int depth = 0, deepest = 0;
    const QString prepared = prepareHtml(cases[8]);
    for (qsizetype i = prepared.indexOf('<'); i >= 0; i = prepared.indexOf('<', i + 1))
        deepest = qMax(deepest, depth += prepared[i + 1] == '/' ? -1 : 1);
    EXPECT_LE(deepest, kMaxHtmlDepth + 1);
}

// A page with every kind of top-level block the reader knows and what may sit between them (empty paragraphs, loose
// text, comments, scripts): every so many sections, the blocks of `extras`.
QString variedPage(int sections, bool withHead)
{
    const QString picture = "data:image/png;base64," + QString::fromLatin1(png(4, 2, Qt::blue).toBase64());
    // A long table, with a head, lists and tables in cells.
    QString longTable = "<table border=\"1\" width=\"80%\"><thead><tr><th width=\"30%\">h</th><th>i</th></tr>"
                        "</thead><tbody>";
    for (int row = 0; row < 60; ++row)
        longTable += QString(row % 7 == 3 ? "<tr><td>r%1 <mark>m</mark></td><td><ol start=\"5\"><li>x</li></ol></td></tr>"
                                          : "<tr><td id=\"c%1\">c%1</td><td><table><tr><td>in</td></tr></table></td></tr>")
                         .arg(row);
    const struct { int every, at; QString html; } extras[] = {
        {3, 0, "<table border=\"1\"><tr><td colspan=\"2\">merged</td></tr><tr><td style=\"background-color:#ffff00\">"
               "shaded</td><td>x</td></tr></table>"},
        {4, 1, "<ul><li>one<ul><li>nested</li></ul></li><li>two</ul>"},
        {4, 2, "<ol start=\"3\"><li>first</li><li>second</li></ol>"},
        {5, 0, "<pre>code  line\n  two</pre><blockquote>quoted</blockquote>"},
        {7, 0, "<div><table><tr><td>in a div</td></tr></table></div><div>loose <p>in div</p></div>"},
        {6, 0, "<p><img src=\"" + picture + "\" width=\"20\" height=\"10\"></p>"},
        {8, 0, "<!-- <p>not a block</p> --> loose text <b>inline</b> <p>after loose text</p>"},
        {9, 4, longTable + "</tbody></table>"},
        {9, 7, "<table><tr><td>a</td></tr><tr><td rowspan=\"2\">b</td><td>c</td></tr><tr><td>d</td></tr><tr><td>e"
               "</td></tr><tr><td>f</td></tr></table>"},  // one the reader could take differently in parts: never cut
        {10, 5, "<p style=\"display:none\">hidden</p><p style=\"margin-left:20px\"><del>d</del> <a href=\"#c3\">to a "
                "cell</a></p>"}};
    QString page = withHead ? "<!DOCTYPE html><html><head><title>t</title><style>p.note { color: #336699 } "
                              "td { background-color: #eeeeee }</style></head><body>" : "";
    for (int i = 0; i < sections; ++i) {
        page += QString("<h%1>Heading %2</h%1>\n<p>text <b>b</b> <i>i</i> <u>u</u> <span style=\"color:#c00\">red"
                        "</span> H<sub>2</sub>O x<sup>3</sup> <a href=\"https://example.org/%3\">link</a></p><p></p>"
                        "<p class=\"note\">note<br>second line</p>\n").arg(1 + i % 6).arg(i).arg(i % 7);
        for (const auto &e : extras)
            page += i % e.every == e.at ? e.html : QString();
    }
    // What ends the cutting: the rest is read as one piece.
    page += "<script>var s = \"<p>\";</script><p>after a script</p><div>loose <p>in div</div><p>last</p>";
    return page + (withHead ? "</body></html>" : "");
}

// A large page is read in pieces; the pieces must write exactly what the whole page writes, wherever they are cut.
TEST(HtmlInput, PagesReadInPiecesWriteWhatTheWholePageWrites)
{
    const QString sample = QString::fromUtf8(readFile(QDir::cleanPath(LXDOCX_TEST_DATA_DIR "/../../samples/sample.html")));
    ASSERT_FALSE(sample.isEmpty());
    QTemporaryDir dir;
    auto built = [&](const QString &html, qsizetype pieceChars) {
        const std::unique_ptr<DocxDocument> doc = DocxDocument::createBlank(dir.filePath("blank.docx"));
        EXPECT_TRUE(DocxWriter::buildFromHtml(*doc, html, pieceChars));
        doc->body().store();
        return doc->package().entries();
    };
    for (const QString &page : {sample, variedPage(40, true), variedPage(40, false)}) {
        const DocxHtmlCuts cuts = htmlCuts(prepareHtml(page), 1);
        const auto reopened = std::count_if(cuts.tables.cbegin(), cuts.tables.cend(),
                                            [](const DocxHtmlTableCut &t) { return !t.reopen.isEmpty(); });
        EXPECT_GT(cuts.cuts.size(), page == sample ? 10 : 200);
        EXPECT_EQ(reopened, page == sample ? 0 : 4 * 59);  // four tables, cut before each of their rows but the first
        const DocxEntryMap whole = built(page, std::numeric_limits<qsizetype>::max());
        for (const qsizetype pieceChars : {qsizetype(1), qsizetype(3000)})
            EXPECT_TRUE(built(page, pieceChars) == whole) << "pieces of " << pieceChars << " of a page of " << page.size();
    }
}

// Cuts fall only before top-level blocks with nothing but space between them, before the rows of a long regular
// table (which is opened again), and nowhere past what the tags cannot account for.
TEST(HtmlInput, PagesAreCutOnlyBetweenTopLevelBlocks)
{
    auto cutsAt = [](const QString &page) {
        QStringList at;
        const DocxHtmlCuts c = htmlCuts(page, 1);
        for (const qsizetype cut : c.cuts)
            at << page.mid(cut, 6);
        return QString::number(c.bodyStart) + ": " + at.join(' ');
    };
    const QString head = "<html><head><style>td { color: red }</style></head><body>";
    const QString rows = "<table border=1><tbody><tr><td>a</td></tr><tr><td>b</td></tr><tr><td>c</td></tr>"
                         "</tbody></table><table><tr><td>d</td></tr><tr><td rowspan=2>e</td></tr><tr><td>f</td></tr>"
                         "</table><table><tr><td>g<tr><td>h</table>";
    const std::pair<QString, QString> pages[] = {
        {head + "<h1>a</h1> <P>b</P><table><tr><td>c</table><ul><li>d<li>e</ul><p>f</p>",
         QString::number(head.size()) + ": <P>b</ <table <ul><l <p>f</"},
        {"<p>a</p> loose <p>b</p><b>c</b><p>d</p><br><p>e</p><p>f</p>", "0: <p>f</"},
        {"<p>a</p><p>b</p></div><p>c</p><p>d</p>", "0: <p>b</"},
        {"<p>a</p><p>b</p><style>p { color: red }</style><p>c</p><p>d</p>", "0: <p>b</"},
        {"<p>a</p><p>b</p><div/><p>c</p><p>d</p>", "0: <p>b</ <div/>"},
        {"<p>a</p><div><p>b</p><p>c</p>", "0: <div><"}, {"<p>a</p><!-- <p>b</p><p>c</p>", "0: "},
        {rows, "0: <tr><t <tr><t <table <table"},  // not where a cell spans the cut or rows do not close themselves
        // Style sheets that look at the element before and content without a body are not cut at all.
        {"<style>p + p { color: red }</style><body><p>a</p><p>b</p>", "0: "}, {"<html><p>a</p><p>b</p>", "0: "},
        {"text<body><p>a</p><p>b</p>", "0: "}};
    for (const auto &[page, expected] : pages)
        EXPECT_EQ(cutsAt(page), expected) << page.toStdString();
    const DocxHtmlCuts c = htmlCuts(rows, 1);
    EXPECT_EQ(c.tables.value(0).reopen + c.tables.value(0).close, "<table border=1><tbody></tbody></table>");
    EXPECT_TRUE(c.tables.value(2).reopen.isEmpty());
    EXPECT_TRUE(htmlCuts(head + "<p>a</p><p>b</p>", 1000).cuts.isEmpty());  // a small page is one piece
}

// Style sheets reach the reader as a browser reads them: comments, markup comment marks, at-rules (with blocks that
// nest), Word's own properties and rules left empty go; strings keep their braces; the sheet's end closes a rule
// left open; lengths become pixels.
TEST(HtmlInput, StyleSheetsKeepTheRulesTheReaderKnows)
{
    const std::pair<QString, QString> sheets[] = {
        {"<!-- p.MsoNormal {margin:0in; mso-pagination:none; font-size:11.0pt} -->",
         "p.MsoNormal {margin:0.00px;font-size:11.0pt}\n"},
        {"@page WordSection1 {size:8.5in 11.0in} @list l0:level1 {mso-level-text:%1\\.} h1 {color:#2E5395}",
         "h1 {color:#2E5395}\n"},
        {"@import url(x.css); @media print { p {color:red} } /* } */ p {font-family:\"a{b}\"; text-indent:-.25in}",
         "p {font-family:\"a{b}\";text-indent:-24.00px}\n"},
        {"p.Only {mso-style-name:x} td {padding:1pt 2pt} b {color:blue", "td {padding:1.33px 2.67px}\nb {color:blue}\n"},
        {"} ; .a, #b > i {margin-left:2.54cm !important}", ".a, #b > i {margin-left:96.00px !important}\n"},
        // Selectors naming a class or an id no element carries match nothing and are left out.
        {".gone, P.A.gone {color:red} #gone i, p.msonormal.gone {color:blue} [title='.gone'], .a\\:b {color:green}",
         "[title='.gone'], .a\\:b {color:green}\n"},
        // A functional pseudo-class with more than a name in it, or a custom property, would stop the reader
        // reading the rest of the sheet: they are left out, and what follows them is kept.
        {"#b a:not(:hover), p:nth-child(2), p:not(i) {color:red} :root {--gap:1px; margin:0} p.a {color:#00AA00}",
         "p:not(i) {color:red}\n:root {margin:0}\np.a {color:#00AA00}\n"}};
    const QString body = "<p class=\"MsoNormal  a\" id=b>x</p>";
    for (const auto &[sheet, readable] : sheets)
        EXPECT_EQ(prepareHtml("<style>" + sheet + "</style>" + body).toStdString(),
                  ("<style>" + readable + "</style>" + body).toStdString())
            << sheet.toStdString();
}
