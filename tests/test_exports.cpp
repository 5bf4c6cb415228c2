// The C interface as a host sees it: handles, error texts, the frame every
// export runs in, and what the shared library exports.
#include "DocxDocument.h"
#include "DocxFrame.h"
#include "DocxReader.h"
#include "TestSupport.h"

#include <lorvexdocx.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

using namespace testing_support;

namespace {

std::string str(const char *s) { return s ? std::string(s) : std::string("(null)"); }
QByteArray utf8(const QString &path) { return path.toUtf8(); }

// The resident set of this process in KiB.
long residentKiB()
{
    for (const QByteArray &line : readFile("/proc/self/status").split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

}  // namespace

TEST(Exports, ErrorTextsAreNeverNullAndNeverCleared)
{
    // Other tests may already have failed an open: only "not null" holds here;
    // the probe below sees a process with no failure yet.
    ASSERT_NE(lxDocx_error(nullptr), nullptr);
    EXPECT_STREQ(lxDocx_version(), LORVEXDOCX_VERSION_STRING);
    QTemporaryDir dir;
    const QByteArray missing = utf8(dir.filePath("missing.docx")), path = utf8(dir.filePath("a.docx"));
    EXPECT_EQ(lxDocx_open(missing.constData()), nullptr);
    const std::string expected = "Cannot open: " + missing.toStdString() + ": No such file or directory";
    EXPECT_EQ(str(lxDocx_error(nullptr)), expected);
    LxDocxHandle *h = lxDocx_create_blank(path.constData());
    ASSERT_NE(h, nullptr) << lxDocx_error(nullptr);
    DocxEntryMap entries;
    QString err;
    DocxZipSource source;
    ASSERT_TRUE(docxZipRead(path, entries, err, &source)) << err.toStdString();
    EXPECT_EQ(source.order, QStringList({"[Content_Types].xml", "_rels/.rels", "word/_rels/document.xml.rels",
                                         "word/document.xml"}));
    DocxHandle *again = lxDocx_open(path.constData());
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(str(lxDocx_error(nullptr)), expected);  // successes do not clear it
    EXPECT_TRUE(str(lxDocx_error(h)).empty() && lxDocx_is_valid(h));
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

TEST(Exports, FailedEditsLeaveTheirCauseOnTheHandle)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.docx");
    const QByteArray brokenCore = "<cp:coreProperties><dc:title>x</dc:creator>";
    // No body to hold a section, no settings part, core properties that do not parse.
    ASSERT_TRUE(writeFile(path, makePackage("<w:document xmlns:w=\"" + QByteArray(kNsW) + "\"/>",
                                            {{"docProps/core.xml", brokenCore}})));
    DocxHandle *h = lxDocx_open(utf8(path).constData());
    ASSERT_NE(h, nullptr) << lxDocx_error(nullptr);
    auto text = [&](int result) {
        EXPECT_EQ(result, 0);
        return std::string(lxDocx_error(h));
    };
    EXPECT_EQ(text(lxDocx_set_margins(h, 1, 1, 1, 1, 1, 1, 1, 0)), "The document has no body to set margins in");
    EXPECT_EQ(text(lxDocx_set_title_page(h, 1)), "The document has no body to set a title page in");
    EXPECT_EQ(text(lxDocx_set_page_number_format(h, "decimal", 1)),
              "The document has no body to set a page-number format in");
    EXPECT_EQ(text(lxDocx_set_page_number_format(h, nullptr, 1)), "No page-number format given");
    EXPECT_EQ(text(lxDocx_set_even_and_odd(h, 1)),
              "The package has no settings part (word/settings.xml) to set even and odd headers in");
    h->doc->entries.insert("word/settings.xml", "<w:settings>");
    EXPECT_EQ(text(lxDocx_set_even_and_odd(h, 1)).rfind("Cannot read the settings part (word/settings.xml): XML parse "
                                                        "error at line 1", 0), 0u);
    EXPECT_EQ(text(lxDocx_set_header_xml(h, LXDOCX_HF_FIRST, "<w:hdr>", -1)).rfind(
                  "The header XML is not well-formed: XML parse error at line 1", 0), 0u);
    EXPECT_EQ(text(lxDocx_set_footer_xml(h, LXDOCX_HF_EVEN, "", 0)), "No footer XML given");
    EXPECT_EQ(text(lxDocx_set_doc_property(h, "title", "t")).rfind(
                  "Cannot read the document properties (docProps/core.xml): XML parse error", 0), 0u);
    EXPECT_STREQ(lxDocx_get_doc_property(h, "author"), "");
    EXPECT_EQ(str(lxDocx_error(h)).rfind("Cannot read the document properties", 0), 0u);
    EXPECT_EQ(h->doc->entries.value("docProps/core.xml"), brokenCore);

    // Unknown property keys fail with their name and write nothing (they used
    // to mean the title); a missing property is "" with no text.
    h->doc->entries.remove("docProps/core.xml");
    ASSERT_EQ(lxDocx_set_doc_property(h, "title", "Kept"), 1);
    EXPECT_EQ(text(lxDocx_set_doc_property(h, "Title", "lost")), "Unknown document property: Title");
    EXPECT_STREQ(lxDocx_get_doc_property(h, "creator"), "");
    EXPECT_EQ(str(lxDocx_get_doc_property(h, "title")) + "|" + lxDocx_get_doc_property(h, "subject") + "|"
                  + lxDocx_error(h), "Kept||Unknown document property: creator");
    lxDocx_close(h);
}

TEST(Exports, PropertyBuffersArePerKnownKey)
{
    QTemporaryDir dir;
    DocxHandle *h = lxDocx_create_blank(utf8(dir.filePath("a.docx")).constData());
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(lxDocx_set_doc_property(h, "title", "T") + lxDocx_set_doc_property(h, "author", "A"), 2);
    const char *title = lxDocx_get_doc_property(h, "title");
    const char *author = lxDocx_get_doc_property(h, "author");
    // 2,000 distinct unknown keys of 64 KiB would hold 128 MiB if each kept a buffer.
    [[maybe_unused]] const long before = residentKiB();
    QByteArray key(64 * 1024, 'k');
    for (int i = 0; i < 2000; ++i) {
        key.replace(0, 8, QByteArray::number(10000000 + i));
        ASSERT_STREQ(lxDocx_get_doc_property(h, key.constData()), "");
    }
#if !defined(__SANITIZE_ADDRESS__)  // freed memory is held back in quarantine there
    EXPECT_LT(residentKiB() - before, 32 * 1024);
#endif
    EXPECT_STREQ(title, "T");  // still good: other keys do not touch a key's buffer
    EXPECT_STREQ(author, "A");
    lxDocx_close(h);
}

TEST(Exports, NothingThrownEscapesAnExport)
{
    QTemporaryDir dir;
    DocxHandle *h = lxDocx_create_blank(utf8(dir.filePath("a.docx")).constData());
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(handleCall(h, 7, "testing", []() -> int { throw std::bad_alloc(); }), 7);
    EXPECT_STREQ(lxDocx_error(h), "Out of memory while testing");
    EXPECT_EQ(handleCall(h, 7, "testing", []() -> int { throw std::runtime_error("boom"); }), 7);
    EXPECT_STREQ(lxDocx_error(h), "Unexpected failure while testing: boom");
    EXPECT_EQ(libraryCall<const char *>(nullptr, "testing", []() -> const char * { throw 42; }), nullptr);
    EXPECT_STREQ(lxDocx_error(nullptr), "Unexpected failure while testing");
    EXPECT_EQ(lxDocx_save(h), 1);  // the handle is not left busy
    lxDocx_close(h);

#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "a limited address space needs a build without the sanitizers";
#else
    // A real allocation failure, in a host of its own whose address space is limited.
    QString out, err;
    ASSERT_EQ(run(LXDOCX_OUT_OF_MEMORY, {dir.path()}, &out, &err, 120000), 0) << err.toStdString();
    EXPECT_EQ(out.toStdString(), "set_doc_property 0: Out of memory while setting a document property\n"
                                 "write_html 0: Out of memory while writing a document from HTML\n"
                                 "afterwards 1 1\n");
#endif
}

TEST(Exports, ACallOnABusyHandleIsRefused)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.docx");
    DocxHandle *h = lxDocx_create_blank(utf8(path).constData());
    ASSERT_NE(h, nullptr);
    DocxHandle *other = lxDocx_open(utf8(path).constData());
    // What an event handler would do while a call on `h` lets events run.
    std::string inner;
    const int outer = handleCall(h, 0, "testing", [&] {
        inner = std::to_string(lxDocx_save(h));
        inner += lxDocx_error(h);
        inner += lxDocx_get_doc_property(h, "title");
        inner += "|" + std::to_string(lxDocx_is_valid(h));
        inner += std::to_string(lxDocx_set_doc_property(other, "title", "o"));
        lxDocx_close(h);  // waits until this call returns
        return 1;
    });
    EXPECT_EQ(std::to_string(outer) + inner, "10Document is busy|11");
    lxDocx_close(other);

    // Library-wide calls own their documents: one may run inside another's events.
    QByteArray body;
    for (int i = 0; i < 600; ++i)
        body += "<w:p><w:r><w:t>paragraph " + QByteArray::number(i) + "</w:t></w:r></w:p>";
    const QString src = dir.filePath("long.docx");
    ASSERT_TRUE(writeFile(src, makePackage(documentXml(body))));
    int fired = 0, nested = -1;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (fired++ == 0)
            nested = lxDocx_resave_full(utf8(src).constData(), utf8(dir.filePath("nested.docx")).constData());
    });
    timer.start(0);
    EXPECT_EQ(lxDocx_resave_full(utf8(src).constData(), utf8(dir.filePath("outer.docx")).constData()), 1);
    timer.stop();
    EXPECT_GE(fired, 1);  // the host's events ran during the call
    EXPECT_EQ(nested, 1) << lxDocx_error(nullptr);
    EXPECT_EQ(readEntries(dir.filePath("nested.docx")), readEntries(dir.filePath("outer.docx")));
}

TEST(Exports, EveryExportOverTheCorpusIsQuietWhenItSucceeds)
{
    LXDOCX_NEEDS_CORPUS();
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "a corpus-wide run of every export is kept to the normal build";
#endif
    // A plain C host without Qt's or the suite's logging settings calls every
    // export on every document and watches its own stderr.
    QTemporaryDir out;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_LOGGING_RULES", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"})
        env.remove(name);
    p.setProcessEnvironment(env);
    p.start(LXDOCX_EVERY_EXPORT, QStringList(out.path()) + corpusFiles());
    ASSERT_TRUE(p.waitForFinished(600000));
    const QString report = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_EQ(p.exitCode(), 0) << report.toStdString();
    EXPECT_FALSE(report.contains("noisy:")) << report.toStdString();
    std::cout << report.section('\n', -2).toStdString();  // the summary
    // Every failure carries its cause.
    EXPECT_FALSE(report.contains(QRegularExpression("^failed: [a-z_A-Z]+ on .*: $", QRegularExpression::MultilineOption)))
        << report.toStdString();
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
    EXPECT_EQ(functions.size(), 26) << functions.join(' ').toStdString();
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
