// The C interface as a host sees it: handles, error texts, blank documents,
// saving, and what the shared library exports.
#include "DocxDocument.h"
#include "DocxReader.h"
#include "TestSupport.h"

#include <lorvexdocx.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace testing_support;

namespace {

std::string str(const char *s) { return s ? std::string(s) : std::string("(null)"); }

QStringList memberNames(const QString &archive)
{
    QString out;
    EXPECT_EQ(run(unzipProgram(), {"-Z1", archive}, &out), 0);
    return out.split('\n', Qt::SkipEmptyParts);
}

}  // namespace

TEST(Exports, ErrorTextsAreNeverNullAndNeverCleared)
{
    // Other tests may already have failed an open: only "not null" holds here;
    // the probe below sees a process with no failure yet.
    ASSERT_NE(lxDocx_error(nullptr), nullptr);
    EXPECT_STREQ(lxDocx_version(), "1.1.0");
    QTemporaryDir dir;
    const QByteArray missing = dir.filePath("missing.docx").toUtf8();
    EXPECT_EQ(lxDocx_open(missing.constData()), nullptr);
    const std::string expected = "Cannot open: " + missing.toStdString();
    EXPECT_EQ(str(lxDocx_error(nullptr)), expected);

    const QByteArray path = dir.filePath("a.docx").toUtf8();
    DocxHandle *h = lxDocx_create_blank(path.constData());
    ASSERT_NE(h, nullptr) << lxDocx_error(nullptr);
    DocxHandle *again = lxDocx_open(path.constData());
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(str(lxDocx_error(nullptr)), expected);  // successes do not clear it
    EXPECT_EQ(str(lxDocx_error(h)), "");
    EXPECT_EQ(lxDocx_is_valid(h), 1);
    lxDocx_close(again);

    // A null handle gets the failure value and records nothing.
    lxDocx_close(nullptr);
    EXPECT_EQ(lxDocx_is_valid(nullptr), 0);
    EXPECT_EQ(lxDocx_save(nullptr), 0);
    const QByteArray target = dir.filePath("null.docx").toUtf8();
    EXPECT_EQ(lxDocx_save_as(nullptr, target.constData()), 0);
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_EQ(str(lxDocx_error(nullptr)), expected);

    EXPECT_EQ(lxDocx_open(nullptr), nullptr);
    EXPECT_EQ(str(lxDocx_error(nullptr)), "Cannot open: ");
    lxDocx_close(h);
}

TEST(Exports, BlankDocuments)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("blank.docx");
    ASSERT_TRUE(writeFile(path, "an old file that is no package"));
    DocxHandle *h = lxDocx_create_blank(path.toUtf8().constData());
    ASSERT_NE(h, nullptr) << lxDocx_error(nullptr);
    const QStringList order = {"[Content_Types].xml", "_rels/.rels", "word/_rels/document.xml.rels",
                               "word/document.xml"};
    EXPECT_EQ(memberNames(path), order);
    const DocxEntryMap created = readEntries(path);
    ASSERT_EQ(lxDocx_save(h), 1);
    EXPECT_EQ(memberNames(path), order);
    EXPECT_EQ(readEntries(path), created);
    lxDocx_close(h);

    const std::unique_ptr<DocxDocument> doc(DocxReader::open(path));
    ASSERT_TRUE(doc->isValid());
    ASSERT_EQ(doc->paragraphCount(), 1);
    EXPECT_EQ(doc->paragraphInfoAt(0).styleId, "Normal");
    EXPECT_TRUE(doc->paragraphInfoAt(0).text.isEmpty());
    EXPECT_EQ(doc->paragraphInfoAt(0).headingLevel, -1);

    // A path that cannot be written.
    const QByteArray bad = dir.filePath("no/such/dir/blank.docx").toUtf8();
    EXPECT_EQ(lxDocx_create_blank(bad.constData()), nullptr);
    EXPECT_STREQ(lxDocx_error(nullptr), "createBlank returned null");
}

TEST(Exports, SaveAsLeavesTheDocumentItsOwnPath)
{
    QTemporaryDir dir;
    const QString first = dir.filePath("first.docx"), second = dir.filePath("second.docx");
    DocxHandle *h = lxDocx_create_blank(first.toUtf8().constData());
    ASSERT_NE(h, nullptr);
    const QByteArray firstBytes = readFile(first);
    ASSERT_EQ(lxDocx_save_as(h, second.toUtf8().constData()), 1);
    EXPECT_EQ(readFile(first), firstBytes);
    EXPECT_EQ(readEntries(second), readEntries(first));

    const QByteArray secondBytes = readFile(second);
    ASSERT_TRUE(writeFile(first, "overwritten"));
    ASSERT_EQ(lxDocx_save(h), 1);
    EXPECT_EQ(readEntries(first).size(), 4);
    EXPECT_EQ(readFile(second), secondBytes);
    lxDocx_close(h);
}

TEST(Exports, FailedSavesKeepTheOldFileAndTheErrorText)
{
    QTemporaryDir dir;
    const QString sub = dir.filePath("sub");
    ASSERT_TRUE(QDir().mkpath(sub));
    DocxHandle *h = lxDocx_create_blank((sub + "/a.docx").toUtf8().constData());
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(QDir(sub).removeRecursively());
    EXPECT_EQ(lxDocx_save(h), 0);
    EXPECT_STREQ(lxDocx_error(h), "DocxWriter::save failed");
    ASSERT_TRUE(QDir().mkpath(sub));
    EXPECT_EQ(lxDocx_save(h), 1);
    EXPECT_EQ(lxDocx_save_as(h, dir.filePath("ok.docx").toUtf8().constData()), 1);
    EXPECT_STREQ(lxDocx_error(h), "DocxWriter::save failed");
    ASSERT_TRUE(QDir(sub).removeRecursively());
    EXPECT_EQ(lxDocx_save_as(h, (sub + "/b.docx").toUtf8().constData()), 0);
    EXPECT_STREQ(lxDocx_error(h), "DocxWriter::saveVersion failed");
    lxDocx_close(h);

    // A read-only target is refused (whoever runs the suite) and left as it was.
    const QString ro = dir.filePath("ro.docx");
    h = lxDocx_create_blank(ro.toUtf8().constData());
    ASSERT_NE(h, nullptr);
    const QByteArray old = readFile(ro);
    ASSERT_TRUE(QFile::setPermissions(ro, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    EXPECT_EQ(lxDocx_save(h), 0);
    EXPECT_STREQ(lxDocx_error(h), "DocxWriter::save failed");
    EXPECT_EQ(readFile(ro), old);
    EXPECT_FALSE(QFile::exists(ro + ".tmp"));
    EXPECT_EQ(lxDocx_save_as(h, ro.toUtf8().constData()), 0);
    EXPECT_EQ(readFile(ro), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"ok.docx", "ro.docx"}));
    lxDocx_close(h);
}

TEST(Exports, SharedLibraryExportsOnlyTheCInterface)
{
    QString out;
    ASSERT_EQ(run("nm", {"-D", "--defined-only", LXDOCX_SHARED_LIBRARY}, &out), 0);
    QStringList functions, foreign;
    for (const QString &line : out.split('\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split(' ', Qt::SkipEmptyParts);
        if (f.size() < 3 || !QStringList({"T", "t", "W", "i"}).contains(f[1]))
            continue;
        functions << f[2];
        if (!f[2].startsWith("lxDocx_"))
            foreign << f[2];
    }
    EXPECT_TRUE(foreign.isEmpty()) << foreign.join('\n').toStdString();
    for (const char *name : {"lxDocx_init", "lxDocx_version", "lxDocx_open", "lxDocx_create_blank", "lxDocx_close",
                             "lxDocx_is_valid", "lxDocx_error", "lxDocx_save", "lxDocx_save_as"})
        EXPECT_TRUE(functions.contains(name)) << name;
}

TEST(Exports, InitInAProcessOfItsOwn)
{
    struct Case
    {
        const char *mode;
        const char *platform;  // null: unset
        const char *expected;
    } cases[] = {
        {"fresh", nullptr, "platform offscreen"},
        {"fresh", "minimal", "platform minimal"},
        {"host-app", nullptr, "host kept"},
        {"host-app", "minimal", "host kept"},
    };
    for (const Case &c : cases) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");
        if (c.platform)
            env.insert("QT_QPA_PLATFORM", c.platform);
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(LXDOCX_INIT_PROBE, {c.mode});
        ASSERT_TRUE(p.waitForFinished(60000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0) << c.mode << " " << str(c.platform) << ": " << p.readAllStandardError().toStdString();
        EXPECT_EQ(out.trimmed(), c.expected) << c.mode;
    }
}
