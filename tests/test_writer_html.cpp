// HTML into documents through the C interface and the command line, read back
// by independent readers (python-docx, LibreOffice), and hostile HTML.
#include "TestSupport.h"

#include <lorvexdocx.h>

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace testing_support;

static void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }
static void PrintTo(const QJsonValue &v, std::ostream *os)
{
    *os << QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact).toStdString();
}

namespace {

// What tests/tools/docx_dump.py reads from each file, in one run.
QJsonArray dumped(const QStringList &files)
{
    QString out, err;
    EXPECT_EQ(run(systemPython(), QStringList{toolScript("docx_dump.py")} + files, &out, &err), 0)
        << err.toStdString();
    return QJsonDocument::fromJson(out.toUtf8()).array();
}

QJsonValue json(const char *text) { return QJsonDocument::fromJson(text).array(); }

bool writeHtml(const QString &path, const QString &html)
{
    return lxDocx_write_html(path.toUtf8().constData(), html.toUtf8().constData()) == 1;
}

// A 16 x 8 picture with a pattern, as RGBA rows; translucent to the right
// when `alpha` is set.
QByteArray pictureRgba(bool alpha)
{
    QByteArray rgba;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            for (int v : {x * 16, y * 32, (x + y) * 8, alpha ? 255 - x * 4 : 255})
                rgba += char(v);
    return rgba;
}

QString imgTag(bool alpha)
{
    const QByteArray rgba = pictureRgba(alpha);
    const QImage img(reinterpret_cast<const uchar *>(rgba.constData()), 16, 8, QImage::Format_RGBA8888);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "PNG");
    return "<img src=\"data:image/png;base64," + QString::fromLatin1(bytes.toBase64()) + "\" width=\"32\" height=\"16\">";
}

QString sha1(const QByteArray &bytes) { return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex(); }

QString page()
{
    return "<h1>One</h1><h2>Two</h2><h3>Three</h3><h4>Four</h4><h5>Five</h5><h6>Six</h6>"
           "<p>Some <b>bold</b>, <i>italic</i> and <u>underlined</u> text,<br>a "
           "<a href=\"https://example.org/x?a=1&amp;b=2\">link</a> and H<sub>2</sub>O.</p>"
           "<ul><li>top<ul><li>nested<ul><li>deeper</li></ul></li></ul></li><li>back</li></ul>"
           "<ol><li>first</li><li>second</li></ol>"
           "<table><tr><th bgcolor=\"#d9e2f3\">h</th><th colspan=\"2\">wide</th></tr>"
           "<tr><td rowspan=\"2\">tall</td><td>b</td><td style=\"background-color:#ffcc00\">c</td></tr>"
           "<tr><td>e</td><td>f</td></tr></table>"
           "<p>" + imgTag(false) + " see <a href=\"#top\">top</a> or "
           "<a href=\"https://example.org/x?a=1&amp;b=2\">again</a></p>";
}

}  // namespace

TEST(WriterHtml, PythonDocxReadsWhatThePageSays)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("page.docx");
    ASSERT_TRUE(writeHtml(path, page())) << lxDocx_error(nullptr);
    const QJsonObject d = dumped({path}).at(0).toObject();
    const QJsonValue body = json(R"([
        {"p": "One", "style": "Heading1", "style_id": "Heading1", "num": null},
        {"p": "Two", "style": "Heading2", "style_id": "Heading2", "num": null},
        {"p": "Three", "style": "Heading3", "style_id": "Heading3", "num": null},
        {"p": "Four", "style": "Heading4", "style_id": "Heading4", "num": null},
        {"p": "Five", "style": "Heading5", "style_id": "Heading5", "num": null},
        {"p": "Six", "style": "Heading6", "style_id": "Heading6", "num": null},
        {"p": "Some bold, italic and underlined text,\na link and H2O.", "style": "Normal", "style_id": "Normal",
         "num": null},
        {"p": "top", "style": "Normal", "style_id": "Normal", "num": [0, 1]},
        {"p": "nested", "style": "Normal", "style_id": "Normal", "num": [1, 1]},
        {"p": "deeper", "style": "Normal", "style_id": "Normal", "num": [2, 1]},
        {"p": "back", "style": "Normal", "style_id": "Normal", "num": [0, 1]},
        {"p": "first", "style": "Normal", "style_id": "Normal", "num": [0, 2]},
        {"p": "second", "style": "Normal", "style_id": "Normal", "num": [0, 2]},
        {"tbl": 3, "cols": 3, "grid": [[0, 1, 1], [2, 3, 4], [2, 5, 6]], "cells": [
          [{"text": "h", "span": 1, "vmerge": null, "fill": "D9E2F3"}, {"text": "wide", "span": 2, "vmerge": null, "fill": null}],
          [{"text": "tall", "span": 1, "vmerge": "restart", "fill": null}, {"text": "b", "span": 1, "vmerge": null, "fill": null},
           {"text": "c", "span": 1, "vmerge": null, "fill": "FFCC00"}],
          [{"text": "", "span": 1, "vmerge": "continue", "fill": null}, {"text": "e", "span": 1, "vmerge": null, "fill": null},
           {"text": "f", "span": 1, "vmerge": null, "fill": null}]]},
        {"p": "", "style": "Normal", "style_id": "Normal", "num": null},
        {"p": " see top or again", "style": "Normal", "style_id": "Normal", "num": null}])");
    EXPECT_EQ(QJsonValue(d["body"].toArray()), body);
    EXPECT_EQ(d["links"], json(R"([
        {"text": "link", "url": "https://example.org/x?a=1&b=2", "external": true},
        {"text": "top", "url": "#top", "external": true},
        {"text": "again", "url": "https://example.org/x?a=1&b=2", "external": true}])"));
    const QJsonArray images = d["images"].toArray();
    ASSERT_EQ(images.size(), 1);
    const QJsonObject image = images.at(0).toObject();
    EXPECT_EQ(image["content_type"], "image/png");
    EXPECT_EQ(image["px"], json("[16, 8]"));
    EXPECT_EQ(image["extent"], json("[304800, 152400]"));
    EXPECT_EQ(image["rgba"], sha1(pictureRgba(false)));
}

TEST(WriterHtml, TranslucentPictureKeepsItsPixels)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("alpha.docx");
    ASSERT_TRUE(writeHtml(path, "<p>" + imgTag(true) + "</p>")) << lxDocx_error(nullptr);
    const QJsonArray images = dumped({path}).at(0)["images"].toArray();
    ASSERT_EQ(images.size(), 1);
    EXPECT_EQ(images.at(0)["rgba"], sha1(pictureRgba(true)));
}

TEST(WriterHtml, LibreOfficeReadsTheText)
{
    const QString soffice = QStandardPaths::findExecutable("soffice");
    ASSERT_FALSE(soffice.isEmpty()) << "LibreOffice (soffice) is not installed";
    QTemporaryDir dir;
    const QString path = dir.filePath("page.docx");
    ASSERT_TRUE(writeHtml(path, page())) << lxDocx_error(nullptr);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", dir.path());
    p.setProcessEnvironment(env);
    p.start(soffice, {"--headless", "--convert-to", "txt:Text", "--outdir", dir.path(), path});
    ASSERT_TRUE(p.waitForFinished(120000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    QStringList lines;
    for (const QString &line : QString::fromUtf8(readFile(dir.filePath("page.txt"))).remove(QChar(0xFEFF)).split('\n'))
        lines << line.trimmed();
    // Lists get their labels, and a table gives one line per cell.
    EXPECT_EQ(lines, QStringList({"One", "Two", "Three", "Four", "Five", "Six",
                                  "Some bold, italic and underlined text,", "a link and H2O.", "• top", "◦ nested",
                                  "▪ deeper", "• back", "1. first", "2. second", "h", "wide", "tall", "b", "c", "",
                                  "e", "f", "", "see top or again", ""}));
}

TEST(WriterHtml, SetBodyThroughTheCInterface)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("in.docx"), out = dir.filePath("out.docx");
    ASSERT_TRUE(writeFile(path, makePackage(documentXml(
                                    "<w:p><w:r><w:t>first</w:t></w:r></w:p><w:p><w:r><w:t>second</w:t></w:r></w:p>"
                                    "<w:sectPr><w:pgMar w:top=\"2000\" w:bottom=\"1000\" w:left=\"900\" "
                                    "w:right=\"900\"/></w:sectPr>"))));
    DocxHandle *h = lxDocx_open(path.toUtf8().constData());
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(lxDocx_set_body_html(nullptr, "<p>x</p>"), 0);
    EXPECT_EQ(lxDocx_set_body_html(h, nullptr), 0);
    EXPECT_STREQ(lxDocx_error(h), "");
    ASSERT_EQ(lxDocx_set_body_html(h, "<h3>New</h3><p>x</p>"), 1);
    int top = 0, bottom = 0, left = 0, right = 0, header = 0, footer = 0, gutter = 0, mirror = 0;
    lxDocx_get_margins(h, &top, &bottom, &left, &right, &header, &footer, &gutter, &mirror);
    EXPECT_EQ(QList<int>({top, bottom, left, right}), QList<int>({2000, 1000, 900, 900}));
    ASSERT_EQ(lxDocx_save_as(h, out.toUtf8().constData()), 1);
    lxDocx_close(h);
    EXPECT_EQ(dumped({out}).at(0)["body"], json(R"([
        {"p": "New", "style": "Heading3", "style_id": "Heading3", "num": null},
        {"p": "x", "style": "Normal", "style_id": "Normal", "num": null},
        {"p": "second", "style": null, "style_id": "Normal", "num": null}])"));

    // A body without a paragraph cannot take content.
    ASSERT_TRUE(writeFile(path, makePackage(documentXml("<w:sectPr/>"))));
    h = lxDocx_open(path.toUtf8().constData());
    EXPECT_EQ(lxDocx_set_body_html(h, "<p>x</p>"), 0);
    EXPECT_STREQ(lxDocx_error(h), "lxDocx_set_body_html: buildFullDocumentDom failed");
    lxDocx_close(h);
    EXPECT_EQ(lxDocx_write_html(nullptr, "<p>x</p>"), 0);
    EXPECT_EQ(lxDocx_write_html(dir.filePath("none.docx").toUtf8().constData(), nullptr), 0);
    EXPECT_FALSE(QFile::exists(dir.filePath("none.docx")));
}

TEST(WriterHtml, HostileHtmlGivesValidDocuments)
{
    // A blank document always has the paragraph the build needs, so every page
    // must give a document python-docx reads.
    QString huge, divs, lists, tables;
    const QString words = QString("lorem ipsum dolor sit amet ").repeated(30);
    for (int i = 0; i < 3000; ++i)
        huge += QString("<h3>Part %1</h3><p>%2<b>bold</b> <a href=\"https://example.org/%3\">link</a></p>"
                        "<ul><li>one</li><li>two</li></ul>").arg(i).arg(words).arg(i % 50);
    for (int i = 0; i < 2000; ++i)
        divs = "<div>" + divs + "</div>", lists += i % 2 ? "<ul><li>u" : "<ol><li>o";
    for (int i = 0; i < 1000; ++i)
        tables = "<table><tr><td>t" + tables + "</td></tr></table>";
    const QStringList cases = {
        "",
        huge,
        "<p>a<b>b<i>c</p></b><table><tr><td>1<td>2<tr><td colspan=99 rowspan=99>3</table><li>orphan<ul><li>x"
        "</ul></ul></ul><h7>h</h7>&#1;&#xFFFF;&#xD800;</td></tr><p",
        "<div>" + divs.replace("<div></div>", "<div>deep</div>") + "</div>",
        lists,
        tables,
        "<foo><bar baz=1>text</bar></foo><svg><circle r=5/></svg><script>alert(1)</script><custom-el>x</custom-el>",
        "<img src=\"nowhere.png\"><img src=\"data:image/png;base64,AAAA\"><img src=\"http://127.0.0.1:1/x.png\" "
        "width=10 height=10><img src=\"data:image/png;base64,\"><img src=\"file:///etc/passwd\"><img><p>text</p>",
    };
    QTemporaryDir dir;
    QStringList written;
    for (int i = 0; i < cases.size(); ++i) {
        const QString path = dir.filePath(QString("case%1.docx").arg(i));
        if (writeHtml(path, cases[i]))
            written << path;
        else
            ADD_FAILURE() << "case " << i << ": " << lxDocx_error(nullptr);
    }
    ASSERT_EQ(written.size(), cases.size());
    const QJsonArray d = dumped(written);
    ASSERT_EQ(d.size(), cases.size());
    auto texts = [&](int i) {
        QStringList out;
        for (const QJsonValue &v : d[i]["body"].toArray())
            out << v["p"].toString();
        return out;
    };
    EXPECT_EQ(texts(0), QStringList({""}));
    ASSERT_GT(huge.size(), 2500000);
    EXPECT_EQ(d[1]["body"].toArray().size(), 4 * 3000);
    EXPECT_EQ(d[1]["links"].toArray().size(), 3000);
    EXPECT_EQ(d[1]["links"][2999]["url"], "https://example.org/49");
    EXPECT_TRUE(texts(3).contains("deep"));
    EXPECT_EQ(texts(7).last(), "text");
    EXPECT_TRUE(d[7]["images"].toArray().isEmpty());
}

TEST(WriterHtml, UnwritableTargetsLeaveNothingBehind)
{
    QTemporaryDir dir;
    EXPECT_FALSE(writeHtml(dir.filePath("no/such/dir/x.docx"), "<p>x</p>"));
    EXPECT_STREQ(lxDocx_error(nullptr), "createBlank returned null");
    const QString ro = dir.filePath("ro.docx");
    ASSERT_TRUE(writeFile(ro, "old bytes"));
    ASSERT_TRUE(QFile::setPermissions(ro, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    EXPECT_EQ(lxDocx_open(dir.filePath("missing.docx").toUtf8().constData()), nullptr);  // another error text
    EXPECT_FALSE(writeHtml(ro, "<p>x</p>"));
    EXPECT_STREQ(lxDocx_error(nullptr), "createBlank returned null");
    EXPECT_EQ(readFile(ro), "old bytes");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList({"ro.docx"}));
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
    const QJsonArray d = dumped({made, changed});
    QJsonArray before = d[0]["body"].toArray(), after = d[1]["body"].toArray();
    EXPECT_EQ(before.first()["p"], "Field Notes on Lichens");
    EXPECT_EQ(after.first(), QJsonDocument::fromJson(R"({"p": "Replaced", "style": "Heading2",
        "style_id": "Heading2", "num": null})").object());
    before.removeFirst(), after.removeFirst();
    EXPECT_EQ(after, before);
    EXPECT_EQ(run(LXDOCX_CLI, {"from-html", dir.filePath("missing.html"), made}, &out, &err), 1);
}
