// The C interface as a host sees it: handles, error texts, the frame every export runs in, what the library exports.
#include "DocxFrame.h"
#include "EditTestSupport.h"

#include <QRegularExpression>
#include <QTimer>

#include <iostream>
#include <stdexcept>
#include <string>

using namespace edit_support;

namespace {
std::string str(const char *s) { return s ? std::string(s) : std::string("(null)"); }
}  // namespace

TEST(Exports, ErrorTextsAreNeverNullAndNeverCleared)
{
    // Only "not null" holds here: other tests may already have failed an open.
    ASSERT_NE(lxDocx_error(nullptr), nullptr);
    QTemporaryDir dir;
    const QByteArray missing = dir.filePath("missing.docx").toUtf8(), path = dir.filePath("a.docx").toUtf8();
    auto why = [](DocxHandle *none) { return none ? std::string("(a handle)") : str(lxDocx_error(nullptr)); };
    const std::string expected = "Cannot open: " + missing.toStdString() + ": No such file or directory";
    EXPECT_EQ(why(lxDocx_open(missing)), expected);
    const Handle h(lxDocx_create_blank(path), lxDocx_close);
    ASSERT_TRUE(h) << lxDocx_error(nullptr);
    DocxEntryMap entries;
    QString err;
    DocxZipSource source;
    ASSERT_TRUE(docxZipRead(path, entries, err, &source)) << err.toStdString();
    EXPECT_EQ(source.order.join(' '), "[Content_Types].xml _rels/.rels word/_rels/document.xml.rels word/document.xml");
    EXPECT_TRUE(openPackage(path));
    EXPECT_EQ(str(lxDocx_error(nullptr)), expected);  // successes do not clear it
    EXPECT_TRUE(str(lxDocx_error(h.get())).empty() && lxDocx_is_valid(h.get()));
    // A null handle gets the failure value and records nothing.
    lxDocx_close(nullptr);
    EXPECT_EQ(Ints({lxDocx_is_valid(nullptr), lxDocx_save(nullptr), lxDocx_save_as(nullptr, dir.filePath("null.docx").toUtf8())}),
              Ints({0, 0, 0}));
    EXPECT_FALSE(QFile::exists(dir.filePath("null.docx")));
    EXPECT_EQ(str(lxDocx_error(nullptr)), expected);
    EXPECT_EQ(why(lxDocx_open(nullptr)), "Cannot open: no file name given");
    EXPECT_EQ(why(lxDocx_create_blank(dir.filePath("no/such/dir/blank.docx").toUtf8())),
              "Cannot write to: " + dir.filePath("no/such/dir/blank.docx").toStdString() + ": No such file or directory");
}

// A package with no body to hold a section, no settings part, and core properties that do not parse.
class ExportsOnABrokenPackage : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(h) << lxDocx_error(nullptr); }
    QTemporaryDir dir;
    const QByteArray brokenCore = "<cp:coreProperties><dc:title>x</dc:creator>";
    const Handle handle = openPackage(dir.filePath("a.docx"), makePackage("<w:document xmlns:w=\"" + QByteArray(kNsW) + "\"/>",
                                                                          {{"docProps/core.xml", brokenCore}}));
    DocxHandle *h = handle.get(), *const n = nullptr;
    std::string text(int result) { return std::to_string(result) + lxDocx_error(h); }
    bool starts(int result, const std::string &start) { return text(result).substr(0, start.size() + 1) == '0' + start; }
};

TEST_F(ExportsOnABrokenPackage, NullArgumentsChangeNothing)
{
    const DocxEntryMap before = h->doc->package().entries();
    EXPECT_EQ(margins(h), (Ints{1440, 1440, 1440, 1440, 709, 709, 0, 0}));
    const QByteArray hdr = "<w:hdr xmlns:w=\"" + QByteArray(kNsW) + "\"/>";
    int v = -7, len1 = -7, len2 = -7, len3 = -7;
    EXPECT_EQ((Ints{lxDocx_get_margins(n, &v, &v, &v, &v, &v, &v, &v, &v), lxDocx_set_margins(n, 1, 1, 1, 1, 1, 1, 1, 1),
                    lxDocx_get_title_page(n), lxDocx_set_title_page(n, 1), lxDocx_get_even_and_odd(n), lxDocx_set_even_and_odd(n, 1),
                    lxDocx_set_page_number_format(n, "decimal", 1), lxDocx_set_header_xml(n, 0, hdr.constData(), -1),
                    lxDocx_set_header_xml(h, 0, nullptr, -1), lxDocx_set_footer_xml(h, 0, hdr.constData(), 0),
                    lxDocx_set_doc_property(n, "title", "v"), lxDocx_set_doc_property(h, nullptr, "v"),
                    lxDocx_set_doc_property(h, "title", nullptr)}), Ints(13, 0));
    for (const char *p : {lxDocx_get_header_xml(n, 0, &len1), lxDocx_get_footer_xml(n, 0, nullptr),
                          lxDocx_build_hf_xml(1, nullptr, "left", &len2), lxDocx_build_hf_xml(0, "x", nullptr, &len3)})
        EXPECT_EQ(p, nullptr);
    EXPECT_EQ((Ints{v, len1, len2, len3}), (Ints{-7, 0, 0, 0}));
    EXPECT_EQ(QByteArray(lxDocx_get_doc_property(n, "title")) + lxDocx_get_doc_property(h, nullptr), "");
    EXPECT_EQ(lxDocx_get_margins(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(h->doc->package().entries(), before);
}

TEST_F(ExportsOnABrokenPackage, FailedEditsLeaveTheirCauseOnTheHandle)
{
    EXPECT_EQ(text(lxDocx_set_margins(h, 1, 1, 1, 1, 1, 1, 1, 0)), "0The document has no body to set margins in");
    EXPECT_EQ(text(lxDocx_set_title_page(h, 1)), "0The document has no body to set a title page in");
    EXPECT_EQ(text(lxDocx_set_page_number_format(h, "decimal", 1)), "0The document has no body to set a page-number format in");
    EXPECT_EQ(text(lxDocx_set_page_number_format(h, nullptr, 1)), "0No page-number format given");
    EXPECT_EQ(text(lxDocx_set_even_and_odd(h, 1)),
              "0The package has no settings part (word/settings.xml) to set even and odd headers in");
    h->doc->package().entries().insert("word/settings.xml", "<w:settings>");
    EXPECT_TRUE(starts(lxDocx_set_even_and_odd(h, 1), "Cannot read the settings part (word/settings.xml): XML parse error at line 1"));
    EXPECT_TRUE(starts(lxDocx_set_header_xml(h, LXDOCX_HF_FIRST, "<w:hdr>", -1),
                       "The header XML is not well-formed: XML parse error at line 1"));
    EXPECT_EQ(text(lxDocx_set_footer_xml(h, LXDOCX_HF_EVEN, "", 0)), "0No footer XML given");
    EXPECT_TRUE(starts(lxDocx_set_doc_property(h, "title", "t"),
                       "Cannot read the document properties (docProps/core.xml): XML parse error"));
    EXPECT_STREQ(lxDocx_get_doc_property(h, "author"), "");
    EXPECT_EQ(str(lxDocx_error(h)).rfind("Cannot read the document properties", 0), 0u);
    EXPECT_EQ(h->doc->package().entries().value("docProps/core.xml"), brokenCore);
}

// Unknown property keys fail with their name and write nothing (they used to mean the title); a missing property is
// "" with no text; each known key keeps a buffer of its own, unknown keys none.
TEST_F(ExportsOnABrokenPackage, UnknownPropertyKeysFailWithTheirNameAndHoldNoBuffer)
{
    h->doc->package().entries().remove("docProps/core.xml");
    ASSERT_EQ(Ints({lxDocx_set_doc_property(h, "title", "Kept"), lxDocx_set_doc_property(h, "author", "A")}), Ints({1, 1}));
    EXPECT_EQ(text(lxDocx_set_doc_property(h, "Title", "lost")), "0Unknown document property: Title");
    EXPECT_STREQ(lxDocx_get_doc_property(h, "creator"), "");
    EXPECT_EQ(str(lxDocx_get_doc_property(h, "title")) + "|" + lxDocx_get_doc_property(h, "subject") + "|" + lxDocx_error(h),
              "Kept||Unknown document property: creator");
    // Each known key keeps a buffer of its own; 2,000 distinct unknown keys of 64 KiB would hold 128 MiB if each kept one.
    const char *title = lxDocx_get_doc_property(h, "title"), *author = lxDocx_get_doc_property(h, "author");
    const qint64 resident = statusKb("VmRSS");
    QByteArray key(64 * 1024, 'k');
    for (int i = 0; i < 2000; ++i) {
        key.replace(0, 8, QByteArray::number(10000000 + i));
        ASSERT_STREQ(lxDocx_get_doc_property(h, key.constData()), "");
    }
    EXPECT_LT(kSanitized ? 0 : statusKb("VmRSS") - resident, 32 * 1024);  // the sanitizer holds freed memory back
    EXPECT_EQ(str(title) + str(author), "KeptA");  // still good: other keys do not touch a key's buffer
}

TEST(Exports, TheFrameCatchesWhatIsThrownAndRefusesACallOnABusyHandle)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.docx");
    DocxHandle *h = lxDocx_create_blank(path.toUtf8());
    ASSERT_NE(h, nullptr);
    auto text = [&](int result) { return std::to_string(result) + lxDocx_error(h); };
    EXPECT_EQ(text(handleCall(h, 7, "testing", []() -> int { throw std::bad_alloc(); })), "7Out of memory while testing");
    EXPECT_EQ(text(handleCall(h, 7, "testing", []() -> int { throw std::runtime_error("boom"); })),
              "7Unexpected failure while testing: boom");
    EXPECT_EQ(libraryCall<const char *>(nullptr, "testing", []() -> const char * { throw 42; }), nullptr);
    EXPECT_STREQ(lxDocx_error(nullptr), "Unexpected failure while testing");
    // What an event handler would do while a call on `h` lets events run (the handle was not left busy above).
    const Handle other = openPackage(path);
    std::string inner;
    const int outer = handleCall(h, 0, "testing", [&] {
        inner = std::to_string(lxDocx_save(h));
        inner += lxDocx_error(h);
        inner += lxDocx_get_doc_property(h, "title") + ("|" + std::to_string(lxDocx_is_valid(h)));
        inner += std::to_string(lxDocx_set_doc_property(other.get(), "title", "o"));
        lxDocx_close(h);  // waits until this call returns
        return 1;
    });
    EXPECT_EQ(std::to_string(outer) + inner, "10Document is busy|11");
    // Library-wide calls own their documents: one may run inside another's events.
    const QByteArray src = dir.filePath("long.docx").toUtf8();
    ASSERT_TRUE(writeFile(src, makePackage(documentXml(QByteArray("<w:p><w:r><w:t>paragraph</w:t></w:r></w:p>").repeated(600)))));
    int fired = 0, nested = -1;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (fired++ == 0)
            nested = lxDocx_resave_full(src, dir.filePath("nested.docx").toUtf8());
    });
    timer.start(0);
    EXPECT_EQ(lxDocx_resave_full(src, dir.filePath("outer.docx").toUtf8()), 1);
    timer.stop();
    EXPECT_TRUE(fired >= 1 && nested == 1) << fired << " " << lxDocx_error(nullptr);  // the host's events ran meanwhile
    EXPECT_EQ(readEntries(dir.filePath("nested.docx")), readEntries(dir.filePath("outer.docx")));
    // A real allocation failure, in a host of its own whose address space is limited.
    if (kSanitized)
        GTEST_SKIP() << "a limited address space needs a build without the sanitizers";
    QString out, err;
    ASSERT_EQ(run(LXDOCX_OUT_OF_MEMORY, {dir.path()}, &out, &err, 120000), 0) << err.toStdString();
    EXPECT_EQ(out.toStdString(), "set_doc_property 0: Out of memory while setting a document property\n"
                                 "write_html 0: Out of memory while writing a document from HTML\nafterwards 1 1\n");
}

TEST(Exports, EveryExportOverTheCorpusIsQuietWhenItSucceeds)
{
    LXDOCX_NEEDS_CORPUS();
    if (kSanitized)
        GTEST_SKIP() << "a corpus-wide run of every export is kept to the normal build";
    // A plain C host, without Qt's or the suite's logging settings, calls every export on every document and watches
    // its own stderr.
    QTemporaryDir out;
    QString report;
    EXPECT_EQ(run("env", QStringList{"-u", "QT_LOGGING_RULES", "-u", "QT_QPA_PLATFORM", "-u", "XDG_RUNTIME_DIR",
                                     LXDOCX_EVERY_EXPORT, out.path()} + corpusFiles(), &report), 0) << report.toStdString();
    std::cout << report.section('\n', -2).toStdString();  // the summary
    // Nothing noisy, and every failure carries its cause.
    EXPECT_FALSE(report.contains("noisy:")
                 || report.contains(QRegularExpression("^failed: [a-z_A-Z]+ on .*: $", QRegularExpression::MultilineOption)))
        << report.toStdString();
}

TEST(Exports, SharedLibraryExportsOnlyTheCInterface)
{
    QString out;  // the functions the library defines
    ASSERT_EQ(run("sh", {"-c", "nm -D --defined-only \"$0\" | awk '$2 ~ /^[TtWi]$/ { print $3 }'", LXDOCX_SHARED_LIBRARY}, &out), 0);
    const QStringList functions = out.split('\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(functions.size() == 48 && functions.filter(QRegularExpression("^(?!lxDocx_)")).isEmpty())
        << functions.join(' ').toStdString();
}

TEST(Exports, InitInAProcessOfItsOwn)
{
    // mode, QT_QPA_PLATFORM (null: unset), what the probe prints
    const char *const cases[][3] = {{"fresh", nullptr, "platform offscreen"}, {"fresh", "minimal", "platform minimal"},
                                    {"host-app", nullptr, "host kept"}, {"host-app", "minimal", "host kept"}};
    for (const auto &[mode, platform, expected] : cases) {
        QString out, err;
        const QStringList set = platform ? QStringList{QStringLiteral("QT_QPA_PLATFORM=") + platform} : QStringList();
        EXPECT_EQ(run("env", QStringList{"-u", "QT_QPA_PLATFORM"} + set + QStringList{LXDOCX_INIT_PROBE, mode}, &out, &err, 60000), 0)
            << mode << " " << str(platform) << ": " << err.toStdString();
        EXPECT_EQ(out.trimmed().toStdString(), expected) << mode << " " << str(platform);
    }
}
