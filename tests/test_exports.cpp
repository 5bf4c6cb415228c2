// The C interface as a host sees it: handles, error texts, blank documents,
// saving, and what the shared library exports.
#include "DocxDocument.h"
#include "DocxReader.h"
#include "TestSupport.h"

#include <lorvexdocx.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace testing_support;

namespace {

std::string str(const char *s) { return s ? std::string(s) : std::string("(null)"); }
QByteArray utf8(const QString &path) { return path.toUtf8(); }

}  // namespace

TEST(Exports, ErrorTextsAreNeverNullAndNeverCleared)
{
    // Other tests may already have failed an open: only "not null" holds here;
    // the probe below sees a process with no failure yet.
    ASSERT_NE(lxDocx_error(nullptr), nullptr);
    EXPECT_STREQ(lxDocx_version(), "1.1.0");
    QTemporaryDir dir;
    const QByteArray missing = utf8(dir.filePath("missing.docx")), path = utf8(dir.filePath("a.docx"));
    EXPECT_EQ(lxDocx_open(missing.constData()), nullptr);
    const std::string expected = "Cannot open: " + missing.toStdString() + ": No such file or directory";
    EXPECT_EQ(str(lxDocx_error(nullptr)), expected);
    DocxHandle *h = lxDocx_create_blank(path.constData());
    ASSERT_NE(h, nullptr) << lxDocx_error(nullptr);
    DocxHandle *again = lxDocx_open(path.constData());
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(str(lxDocx_error(nullptr)), expected);  // successes do not clear it
    EXPECT_EQ(str(lxDocx_error(h)), "");
    EXPECT_EQ(lxDocx_is_valid(h), 1);
    lxDocx_close(again);
    lxDocx_close(h);

    // A null handle gets the failure value and records nothing.
    lxDocx_close(nullptr);
    EXPECT_EQ(lxDocx_is_valid(nullptr), 0);
    EXPECT_EQ(lxDocx_save(nullptr), 0);
    EXPECT_EQ(lxDocx_save_as(nullptr, utf8(dir.filePath("null.docx")).constData()), 0);
    EXPECT_FALSE(QFile::exists(dir.filePath("null.docx")));
    EXPECT_EQ(str(lxDocx_error(nullptr)), expected);
    EXPECT_EQ(lxDocx_open(nullptr), nullptr);
    EXPECT_EQ(str(lxDocx_error(nullptr)), "Cannot open: no file name given");
    EXPECT_EQ(lxDocx_create_blank(utf8(dir.filePath("no/such/dir/blank.docx")).constData()), nullptr);
    EXPECT_EQ(str(lxDocx_error(nullptr)), "Cannot write to: " + dir.filePath("no/such/dir/blank.docx").toStdString()
                                              + ": No such file or directory");
}

TEST(Exports, BlankDocumentsSaveAndSaveAs)
{
    QTemporaryDir dir;
    const QString sub = dir.filePath("sub"), path = sub + "/blank.docx", second = dir.filePath("second.docx");
    ASSERT_TRUE(QDir().mkpath(sub) && writeFile(path, "an old file that is no package"));
    DocxHandle *h = lxDocx_create_blank(utf8(path).constData());
    ASSERT_NE(h, nullptr) << lxDocx_error(nullptr);
    DocxEntryMap entries;
    QString err;
    DocxZipSource source;
    ASSERT_TRUE(docxZipRead(path, entries, err, &source)) << err.toStdString();
    EXPECT_EQ(source.order, QStringList({"[Content_Types].xml", "_rels/.rels", "word/_rels/document.xml.rels",
                                         "word/document.xml"}));
    const QByteArray created = readFile(path);
    ASSERT_EQ(lxDocx_save_as(h, utf8(second).constData()), 1);
    EXPECT_EQ(readFile(path), created);  // save-as leaves the document its own path
    ASSERT_TRUE(writeFile(path, "overwritten"));
    ASSERT_EQ(lxDocx_save(h), 1);
    EXPECT_EQ(readEntries(path), entries);
    EXPECT_EQ(readEntries(second), entries);
    const std::unique_ptr<DocxDocument> doc(DocxReader::open(path));
    ASSERT_EQ(doc->paragraphCount(), 1);
    EXPECT_EQ(doc->paragraphInfoAt(0).styleId, "Normal");
    EXPECT_TRUE(doc->paragraphInfoAt(0).text.isEmpty());
    EXPECT_EQ(doc->paragraphInfoAt(0).headingLevel, -1);

    // Failures set the handle's text, which later successes do not clear.
    ASSERT_TRUE(QDir(sub).removeRecursively());
    EXPECT_EQ(lxDocx_save(h), 0);
    EXPECT_STREQ(lxDocx_error(h), "DocxWriter::save failed");
    EXPECT_EQ(lxDocx_save_as(h, utf8(sub + "/b.docx").constData()), 0);
    EXPECT_STREQ(lxDocx_error(h), "DocxWriter::saveVersion failed");
    ASSERT_TRUE(QDir().mkpath(sub));
    EXPECT_EQ(lxDocx_save(h), 1);
    EXPECT_EQ(lxDocx_save_as(h, utf8(second).constData()), 1);
    EXPECT_STREQ(lxDocx_error(h), "DocxWriter::saveVersion failed");
    EXPECT_EQ(QDir(sub).entryList(QDir::Files), QStringList("blank.docx"));  // no temporary file left
    lxDocx_close(h);
}

TEST(Exports, SharedLibraryExportsOnlyTheCInterface)
{
    QString out;
    ASSERT_EQ(run("nm", {"-D", "--defined-only", LXDOCX_SHARED_LIBRARY}, &out), 0);
    QStringList functions;
    for (const QString &line : out.split('\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split(' ', Qt::SkipEmptyParts);
        if (f.size() >= 3 && QStringList({"T", "t", "W", "i"}).contains(f[1]))
            functions << f[2];
    }
    const QStringList foreign = functions.filter(QRegularExpression("^(?!lxDocx_)"));
    EXPECT_TRUE(foreign.isEmpty()) << foreign.join('\n').toStdString();
    for (const char *name : {"lxDocx_init", "lxDocx_version", "lxDocx_open", "lxDocx_create_blank", "lxDocx_close",
                             "lxDocx_is_valid", "lxDocx_error", "lxDocx_save", "lxDocx_save_as"})
        EXPECT_TRUE(functions.contains(name)) << name;
}

TEST(Exports, InitInAProcessOfItsOwn)
{
    // mode, QT_QPA_PLATFORM (null: unset), what the probe prints
    const char *const cases[][3] = {{"fresh", nullptr, "platform offscreen"}, {"fresh", "minimal", "platform minimal"},
                                    {"host-app", nullptr, "host kept"}, {"host-app", "minimal", "host kept"}};
    for (const auto &[mode, platform, expected] : cases) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");
        if (platform)
            env.insert("QT_QPA_PLATFORM", platform);
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(LXDOCX_INIT_PROBE, {mode});
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_TRUE(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            << mode << " " << str(platform) << ": " << p.readAllStandardError().toStdString();
        EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()).trimmed().toStdString(), expected) << mode;
    }
}
