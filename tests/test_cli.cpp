// The lxdocx command line: exit status, output and error texts.
#include "TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

int lxdocx(const QStringList &args, QString *out = nullptr, QString *err = nullptr)
{
    return run(QStringLiteral(LXDOCX_CLI), args, out, err, 60000);
}

}  // namespace

TEST(Cli, InfoNewCopy)
{
    QTemporaryDir dir;
    const QString blank = dir.filePath("blank.docx"), copy = dir.filePath("copy.docx");
    QString out, err;
    ASSERT_EQ(lxdocx({"new", blank}, &out, &err), 0) << err.toStdString();
    EXPECT_TRUE(QFile::exists(blank));
    ASSERT_EQ(lxdocx({"info", blank}, &out, &err), 0) << err.toStdString();
    EXPECT_TRUE(out.contains("Valid: yes")) << out.toStdString();
    EXPECT_TRUE(out.contains("Paragraphs: 1")) << out.toStdString();
    EXPECT_TRUE(out.contains("word/document.xml")) << out.toStdString();

    const QString headed = dir.filePath("headed.docx");
    ASSERT_TRUE(writeFile(headed, makePackage(documentXml("<w:p><w:pPr><w:pStyle w:val=\"Heading2\"/></w:pPr><w:r>"
                                                          "<w:t>Scope</w:t></w:r></w:p><w:p/>"))));
    ASSERT_EQ(lxdocx({"info", headed}, &out, &err), 0) << err.toStdString();
    EXPECT_TRUE(out.contains("Paragraphs: 2")) << out.toStdString();
    EXPECT_TRUE(out.contains("[2] Scope")) << out.toStdString();

    ASSERT_EQ(lxdocx({"copy", headed, copy}, &out, &err), 0) << err.toStdString();
    EXPECT_EQ(readEntries(copy), readEntries(headed));

    const QString missing = dir.filePath("missing.docx");
    EXPECT_EQ(lxdocx({"info", missing}, &out, &err), 1);
    EXPECT_TRUE(err.contains("Cannot open: " + missing)) << err.toStdString();
    EXPECT_EQ(lxdocx({"copy", missing, copy}, &out, &err), 1);
    EXPECT_TRUE(err.contains("Cannot open: " + missing)) << err.toStdString();
    const QString noDir = dir.filePath("no/dir/x.docx");
    EXPECT_EQ(lxdocx({"copy", blank, noDir}, &out, &err), 1);
    EXPECT_EQ(err.trimmed(), "lxdocx: cannot save " + noDir + ": Cannot write to: " + noDir + ": No such file or directory");
    EXPECT_EQ(lxdocx({"new", noDir}, &out, &err), 1);
    EXPECT_EQ(err.trimmed(), "lxdocx: cannot create " + noDir + ": Cannot write to: " + noDir + ": No such file or directory");
    // Edits that fail give the library's reason.
    EXPECT_EQ(lxdocx({"props", blank, "--set", "creator=x"}, &out, &err), 1);
    EXPECT_EQ(err.trimmed(), "lxdocx: cannot set creator: Unknown document property: creator");
    EXPECT_EQ(lxdocx({"header", blank, "--xml", blank}, &out, &err), 1);
    EXPECT_TRUE(err.startsWith("lxdocx: cannot store the header: The header XML is not well-formed: ")) << err.toStdString();
}

TEST(Cli, UsageErrors)
{
    QString out, err;
    EXPECT_EQ(lxdocx({"--help"}, &out), 0);
    for (const char *c : {"info", "new", "copy"})
        EXPECT_TRUE(out.contains(QLatin1String("  ") + c)) << out.toStdString();
    EXPECT_EQ(lxdocx({}, &out, &err), 2);
    EXPECT_EQ(lxdocx({"frobnicate"}, &out, &err), 2);
    EXPECT_TRUE(err.contains("frobnicate")) << err.toStdString();
    EXPECT_EQ(lxdocx({"info"}, &out, &err), 2);
    EXPECT_EQ(lxdocx({"copy", "a.docx"}, &out, &err), 2);
    EXPECT_EQ(lxdocx({"info", "a.docx", "b.docx"}, &out, &err), 2);
    EXPECT_EQ(lxdocx({"info", "--bogus", "a.docx"}, &out, &err), 2);
    EXPECT_TRUE(err.contains("--bogus")) << err.toStdString();
}
