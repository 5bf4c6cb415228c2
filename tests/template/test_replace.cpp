// Replacing text through the C interface: across Word's split runs, in every
// story, with the options; the codes of failures.
#include "DocxPartTypes.h"
#include "EditTestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace edit_support;

namespace {

const QByteArray kW = "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"";

QByteArray storyPart(const char *root, const QByteArray &inner)
{
    return QByteArray(kXmlDeclaration) + "<w:" + root + " " + kW + ">" + inner + "</w:" + root + ">";
}

QByteArray para(const QByteArray &text) { return "<w:p><w:r><w:t>" + text + "</w:t></w:r></w:p>"; }

// A package with a header, a footer, a footnote, an endnote, a comment, a text
// box, a table and a content control, each saying "alpha".
QByteArray everyStory()
{
    const QByteArray body =
        para("alpha body") + "<w:tbl><w:tr><w:tc>" + para("alpha cell") + "</w:tc></w:tr></w:tbl>"
        + "<w:sdt><w:sdtContent>" + para("alpha control") + "</w:sdtContent></w:sdt>"
        + "<w:p><w:r><w:pict><v:shape xmlns:v=\"urn:schemas-microsoft-com:vml\"><v:textbox><w:txbxContent>"
        + para("alpha box") + "</w:txbxContent></v:textbox></v:shape></w:pict></w:r></w:p>";
    QByteArray rels;
    for (const char *kind : {"header", "footer", "footnotes", "endnotes", "comments"})
        rels += relEntry(QByteArray("r") + kind, kRelType + kind, QByteArray(kind) + ".xml");
    return makePackage(documentXml(body),
                       {{"word/_rels/document.xml.rels", relsPart(rels)},
                        {"word/header.xml", storyPart("hdr", para("alpha header"))},
                        {"word/footer.xml", storyPart("ftr", para("alpha footer"))},
                        {"word/footnotes.xml", storyPart("footnotes", "<w:footnote w:id=\"1\">" + para("alpha note") + "</w:footnote>")},
                        {"word/endnotes.xml", storyPart("endnotes", "<w:endnote w:id=\"1\">" + para("alpha end") + "</w:endnote>")},
                        {"word/comments.xml", storyPart("comments", "<w:comment w:id=\"0\">" + para("alpha said") + "</w:comment>")},
                        {"word/unrelated.xml", storyPart("hdr", para("alpha unrelated"))}});
}

struct Replaced
{
    int ok = 0;
    int count = -1;
    DocxEntryMap entries;
};

Replaced replaceIn(const QByteArray &package, const char *find, const char *replacement, int flags)
{
    QTemporaryDir dir;
    Replaced r;
    const QString in = dir.filePath("in.docx"), out = dir.filePath("out.docx");
    Handle h = openPackage(in, package);
    r.ok = lxDocx_replace_text(h.get(), find, replacement, flags, &r.count);
    EXPECT_TRUE(lxDocx_save_as(h.get(), out.toUtf8().constData())) << lxDocx_error(h.get());
    r.entries = readEntries(out);
    return r;
}

QString bodyText(const DocxEntryMap &entries) { return paragraphText(parsed(entries.value("word/document.xml")).documentElement()); }

}  // namespace

TEST(Replace, SplitRunsTakeTheFirstCharacterFormatting)
{
    // "Hel" bold, "lo wor" plain, a proofing mark and a bookmark, "ld" italic.
    const QByteArray body =
        "<w:p><w:r><w:rPr><w:b/></w:rPr><w:t>Say Hel</w:t></w:r><w:r><w:t>lo wor</w:t></w:r>"
        "<w:proofErr w:type=\"spellStart\"/><w:bookmarkStart w:id=\"0\" w:name=\"m\"/>"
        "<w:r><w:rPr><w:i/></w:rPr><w:t>ld now</w:t></w:r><w:bookmarkEnd w:id=\"0\"/><w:proofErr w:type=\"spellEnd\"/></w:p>"
        + para("untouched");
    const Replaced r = replaceIn(makePackage(documentXml(body)), "hello world", "Bye\tall\nfolks", 0);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.count, 1);
    const QDomDocument dom = parsed(r.entries.value("word/document.xml"));
    const QDomElement p = dom.documentElement().firstChildElement().firstChildElement();
    EXPECT_EQ(paragraphText(p), QStringLiteral("Say Byeallfolks now"));
    const QDomElement bold = p.firstChildElement();
    EXPECT_EQ(childNames(bold), QStringLiteral("rPr t t tab t br t"));
    EXPECT_EQ(paragraphText(bold), QStringLiteral("Say Byeallfolks"));
    // The bookmark and proofing marks stay; emptied runs are gone, the rest keeps its formatting.
    EXPECT_EQ(childNames(p), QStringLiteral("r proofErr bookmarkStart r bookmarkEnd proofErr"));
    EXPECT_FALSE(p.elementsByTagNameNS(wNamespace(), "i").isEmpty());
    EXPECT_TRUE(r.entries.value("word/document.xml").contains("<w:p><w:r><w:t>untouched</w:t></w:r></w:p>"));
    // A non-breaking hyphen is a character a match takes in; a symbol one that plain text never crosses.
    const QByteArray marks =
        makePackage(documentXml(para("North</w:t><w:noBreakHyphen/><w:t>facing</w:t><w:sym w:char=\"F0E0\"/><w:t>side")));
    const DocxEntryMap hyphenGone = replaceIn(marks, "h\u2011f", "h f", 0).entries;
    EXPECT_EQ(bodyText(hyphenGone), QStringLiteral("North facingside"));
    EXPECT_FALSE(hyphenGone.value("word/document.xml").contains("noBreakHyphen"));
    EXPECT_EQ(replaceIn(marks, "facingside", "x", 0).count, 0);
}

TEST(Replace, OptionsDecideWhatMatches)
{
    const QByteArray package = makePackage(documentXml(para("Cat cat concat CAT") + para("2024-05-17 and 1999-12-31")));
    EXPECT_EQ(replaceIn(package, "cat", "dog", 0).count, 4);
    EXPECT_EQ(bodyText(replaceIn(package, "cat", "dog", LXDOCX_MATCH_CASE).entries), QStringLiteral("Cat dog condog CAT2024-05-17 and 1999-12-31"));
    EXPECT_EQ(bodyText(replaceIn(package, "cat", "dog", LXDOCX_WHOLE_WORD).entries), QStringLiteral("dog dog concat dog2024-05-17 and 1999-12-31"));
    const Replaced groups = replaceIn(package, "(\\d{4})-(\\d\\d)-(\\d\\d)", "\\3.\\2.\\1 \\\\", LXDOCX_REGEX);
    EXPECT_EQ(groups.count, 2);
    EXPECT_EQ(bodyText(groups.entries), QStringLiteral("Cat cat concat CAT17.05.2024 \\ and 31.12.1999 \\"));
    const Replaced none = replaceIn(package, "zebra", "x", 0);
    EXPECT_TRUE(none.ok);
    EXPECT_EQ(none.count, 0);
}

TEST(Replace, EveryStoryChangesAndNothingElse)
{
    const QByteArray package = everyStory();
    QTemporaryDir dir;
    ASSERT_TRUE(writeFile(dir.filePath("p.docx"), package));
    const DocxEntryMap before = readEntries(dir.filePath("p.docx"));
    const Replaced r = replaceIn(package, "alpha", "omega", 0);
    EXPECT_EQ(r.count, 9);
    for (const char *part : {"word/document.xml", "word/header.xml", "word/footer.xml", "word/footnotes.xml",
                             "word/endnotes.xml", "word/comments.xml"}) {
        EXPECT_TRUE(r.entries.value(part).contains("omega")) << part;
        EXPECT_FALSE(r.entries.value(part).contains("alpha")) << part;
    }
    for (const QString &name : {QStringLiteral("word/unrelated.xml"), kRels, kTypes})
        EXPECT_EQ(r.entries.value(name), before.value(name)) << qPrintable(name);
}

TEST(Replace, FailuresCarryTheirCodes)
{
    QTemporaryDir dir;
    EXPECT_EQ(lxDocx_open(dir.filePath("missing.docx").toUtf8().constData()), nullptr);
    EXPECT_EQ(lxDocx_error_code(nullptr), LXDOCX_ERR_IO);
    ASSERT_TRUE(writeFile(dir.filePath("junk.docx"), "not a zip"));
    EXPECT_EQ(lxDocx_open(dir.filePath("junk.docx").toUtf8().constData()), nullptr);
    EXPECT_EQ(lxDocx_error_code(nullptr), LXDOCX_ERR_REFUSED_INPUT);

    Handle h = openPackage(dir.filePath("in.docx"), makePackage(documentXml(para("text"))));
    EXPECT_EQ(lxDocx_error_code(h.get()), LXDOCX_OK);
    int count = 7;
    EXPECT_FALSE(lxDocx_replace_text(h.get(), "(", "x", LXDOCX_REGEX, &count));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(lxDocx_error_code(h.get()), LXDOCX_ERR_REFUSED_INPUT);
    EXPECT_TRUE(QString::fromUtf8(lxDocx_error(h.get())).startsWith("Invalid regular expression: "));
    EXPECT_FALSE(lxDocx_replace_text(h.get(), "", "x", 0, &count));
    EXPECT_STREQ(lxDocx_error(h.get()), "No text to find given");
    EXPECT_FALSE(lxDocx_set_doc_property(h.get(), "creator", "x"));
    EXPECT_EQ(lxDocx_error_code(h.get()), LXDOCX_ERR_NOT_FOUND);
    EXPECT_TRUE(lxDocx_replace_text(h.get(), "text", "word", 0, &count));
    EXPECT_EQ(lxDocx_error_code(h.get()), LXDOCX_ERR_NOT_FOUND) << "a success clears no code";
    EXPECT_FALSE(lxDocx_save_as(h.get(), dir.filePath("no/such/folder/out.docx").toUtf8().constData()));
    EXPECT_EQ(lxDocx_error_code(h.get()), LXDOCX_ERR_IO);
}
