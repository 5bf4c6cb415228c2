// Hostile input: markup nested deep or spread wide, bodies of millions of
// elements and header text of many tokens stay within the stack, time and
// memory they are allowed, or are refused with a text.
#include "DocxDocument.h"
#include "DocxDocumentXml.h"
#include "DocxReader.h"
#include "DocxReaderInternal.h"
#include "TestSupport.h"

#include <lorvexdocx.h>

#include <QAbstractTextDocumentLayout>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <limits>
#include <memory>

using namespace testing_support;

namespace {

#if defined(__SANITIZE_ADDRESS__)
#define LXDOCX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LXDOCX_ASAN 1
#endif
#endif

#ifdef LXDOCX_ASAN
constexpr bool kSanitized = true;
// The sanitizer's red zones make every frame several times larger.
constexpr uint kHostStack = 1024 * 1024;
#else
constexpr bool kSanitized = false;
constexpr uint kHostStack = 256 * 1024;  // a host thread of modest stack
#endif

using Handle = std::unique_ptr<DocxHandle, void (*)(DocxHandle *)>;

Handle open(const QString &path) { return Handle(lxDocx_open(path.toUtf8().constData()), lxDocx_close); }

// Runs `work` on a thread with the stack a host might give it.
void onHostStack(const std::function<void()> &work)
{
    class Worker : public QThread
    {
    public:
        std::function<void()> work;
        void run() override { work(); }
    } thread;
    thread.work = work;
    thread.setStackSize(kHostStack);
    thread.start();
    thread.wait();
}

// `levels` times the open tags, `inner`, then the matching end tags.
QByteArray nested(const QList<QByteArray> &tags, int levels, const QByteArray &inner)
{
    QByteArray open, close;
    for (const QByteArray &tag : tags) {
        open += '<' + tag + '>';
        close.prepend("</" + tag.split(' ').first() + '>');
    }
    return open.repeated(levels) + inner + close.repeated(levels);
}

QByteArray deflated(const DocxEntryMap &entries)
{
    QByteArray zip;
    QString err;
    EXPECT_TRUE(docxZipBuild(entries, {}, zip, err)) << err.toStdString();
    return zip;
}

const QByteArray kWns = "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"";
const QByteArray kRels = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                         "<Relationship Id=\"rId1\" Target=\"header1.xml\" "
                         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/header\"/>"
                         "</Relationships>";

// A package whose body, core properties, styles and header each nest `extra`
// levels more than the deepest markup allowed (0: exactly that deep). The body
// is 40 tables deep, then 30 content controls, then a paragraph whose run sits
// in a hyperlink and in smart tags down to the deepest level.
QByteArray deepPackage(int extra)
{
    const int depth = kMaxXmlDepth + extra;
    const QByteArray cell = "<w:p><w:r><w:t>cell</w:t></w:r></w:p>";
    QByteArray tables, closeTables;
    for (int i = 0; i < 40; ++i) {
        tables += "<w:tbl><w:tr><w:tc>" + cell;
        closeTables += "</w:tc></w:tr></w:tbl>";
    }
    // w:document, w:body, 120 for the tables, 60 for the controls; the
    // paragraph, link, run and text take 4, smart tags the rest.
    const QByteArray run = nested({"w:smartTag"}, depth - 2 - 120 - 60 - 4, "<w:r><w:t>deep</w:t></w:r>");
    const QByteArray body = tables
        + nested({"w:sdt", "w:sdtContent"}, 30, "<w:p><w:hyperlink>" + run + "</w:hyperlink></w:p>") + closeTables
        + "<w:p/><w:sectPr><w:headerReference w:type=\"default\" r:id=\"rId1\"/></w:sectPr>";
    const QByteArray core = "<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/"
                            "core-properties\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
        + nested({"cp:x"}, depth - 2, "<dc:title>Deep</dc:title>") + "</cp:coreProperties>";
    const QByteArray styles = "<w:styles " + kWns + "><w:style w:type=\"paragraph\" w:styleId=\"Deep\"><w:rPr><w:b/>"
        + nested({"w:x"}, depth - 3, "") + "</w:rPr></w:style></w:styles>";
    const QByteArray header = "<w:hdr " + kWns + "><w:p>" + nested({"w:customXml"}, depth - 4, "<w:r><w:t>H</w:t></w:r>")
        + "</w:p></w:hdr>";
    return makePackage(documentXml(body), {{"word/_rels/document.xml.rels", kRels},
                                           {"docProps/core.xml", core},
                                           {"word/styles.xml", styles},
                                           {"word/header1.xml", header}});
}

// The peak resident memory of this process is counted from here on (from what
// it holds now, once freed memory is given back).
void resetPeakMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

qint64 peakMemoryKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

}  // namespace

TEST(Nesting, DeepestMarkupWorksOnAHostStackAndDeeperIsRefused)
{
    QTemporaryDir dir;
    const QString atLimit = dir.filePath("deep.docx"), beyond = dir.filePath("deeper.docx");
    ASSERT_TRUE(writeFile(atLimit, deepPackage(0)));
    ASSERT_TRUE(writeFile(beyond, deepPackage(1)));

    onHostStack([&] {
        Handle h = open(atLimit);
        ASSERT_TRUE(h) << lxDocx_error(nullptr);
        EXPECT_STREQ(lxDocx_get_doc_property(h.get(), "title"), "Deep");
        EXPECT_EQ(lxDocx_set_doc_property(h.get(), "title", "Deeper"), 1);
        int len = 0;
        EXPECT_TRUE(QByteArray(lxDocx_get_header_xml(h.get(), 0, &len)).contains("<w:t>H</w:t>"));
        EXPECT_EQ(lxDocx_save_as(h.get(), dir.filePath("saved.docx").toUtf8().constData()), 1) << lxDocx_error(h.get());
        EXPECT_EQ(lxDocx_set_body_html(h.get(), "<p>new</p><table><tr><td>x</td></tr></table>"), 1);
        EXPECT_EQ(lxDocx_save_as(h.get(), dir.filePath("body.docx").toUtf8().constData()), 1) << lxDocx_error(h.get());
        EXPECT_EQ(lxDocx_resave_full(atLimit.toUtf8().constData(), dir.filePath("resaved.docx").toUtf8().constData()), 1)
            << lxDocx_error(nullptr);

        // The whole body read as rich text and laid out, with its header.
        const std::unique_ptr<DocxDocument> doc(DocxReader::open(atLimit));
        ASSERT_TRUE(doc->isValid());
        EXPECT_EQ(doc->paragraphCount(), 40 + 2);
        EXPECT_EQ(doc->paragraphInfoAt(40).text, "deep");
        EXPECT_FALSE(doc->styleMap.value("Deep").runProperties.isEmpty());
        QTextDocument qd;
        ASSERT_TRUE(DocxReader::populate(*doc, {QString(), 0, std::numeric_limits<int>::max()}, &qd));
        EXPECT_GE(qd.pageCount(), 1);
        EXPECT_TRUE(qd.toPlainText().contains("deep"));
        const DocxReader::DocxHFSet hf = DocxReader::readHeadersFooters(*doc);
        EXPECT_NE(hf.defaultHdr, nullptr);
        delete hf.defaultHdr;

        const std::unique_ptr<DocxDocument> saved(DocxReader::open(dir.filePath("saved.docx")));
        EXPECT_EQ(saved->docProperty("title"), "Deeper");
        EXPECT_EQ(saved->paragraphCount(), 42);
        const std::unique_ptr<DocxDocument> resaved(DocxReader::open(dir.filePath("resaved.docx")));
        EXPECT_EQ(resaved->paragraphInfoAt(40).text, "deep");
        EXPECT_EQ(std::unique_ptr<DocxDocument>(DocxReader::open(dir.filePath("body.docx")))->paragraphInfoAt(0).text,
                  "new");
    });

    // One level more: the body is refused at open with where and why; the other
    // parts are refused where they are read.
    EXPECT_FALSE(open(beyond));
    EXPECT_TRUE(QString(lxDocx_error(nullptr)).contains("nested deeper than 256 levels")) << lxDocx_error(nullptr);
    const DocxEntryMap parts = readEntries(beyond);
    for (const char *name : {"docProps/core.xml", "word/styles.xml", "word/header1.xml"}) {
        QString err;
        EXPECT_FALSE(checkXml(parts.value(name), err)) << name;
        EXPECT_TRUE(err.startsWith("XML parse error at line 1 col ") && err.endsWith("nested deeper than 256 levels"))
            << err.toStdString();
    }
    Handle h = open(atLimit);
    ASSERT_TRUE(h);
    const QByteArray deeperHeader = parts.value("word/header1.xml");
    EXPECT_EQ(lxDocx_set_header_xml(h.get(), 0, deeperHeader.constData(), int(deeperHeader.size())), 0);
}

TEST(Width, WideMarkupCostsTimeInProportionOrIsRefusedAtOnce)
{
    QElapsedTimer clock;
    clock.start();
    QString err;
    // Attributes of one element, and namespaces in force, are bounded.
    auto attributes = [](int n) {
        QByteArray xml = "<a";
        for (int i = 0; i < n; ++i)
            xml += " a" + QByteArray::number(i) + "=\"'>\"";
        return xml + "/>";
    };
    EXPECT_TRUE(checkXml(attributes(kMaxXmlAttributes), err)) << err.toStdString();
    EXPECT_FALSE(checkXml("<!-- a=1 --><?pi a=1?>" + attributes(kMaxXmlAttributes + 1), err));
    EXPECT_TRUE(err.endsWith("An element has more than 256 attributes")) << err.toStdString();
    EXPECT_FALSE(checkXml(attributes(100'000), err));
    // Tags are counted across the blocks the reader takes, past markup whose
    // text holds what a tag holds.
    const QByteArray filler = ("<b><!-- x=\"1\" > --><![CDATA[ y=2 > ]]><?pi z=3 ?>" + attributes(200) + "</b>").repeated(100);
    EXPECT_TRUE(checkXml("<r>" + filler + attributes(kMaxXmlAttributes) + "</r>", err)) << err.toStdString();
    EXPECT_FALSE(checkXml("<r>" + filler + attributes(kMaxXmlAttributes + 1) + "</r>", err));
    EXPECT_TRUE(err.endsWith("An element has more than 256 attributes")) << err.toStdString();
    auto declarations = [](int n, int from) {
        QByteArray xml;
        for (int i = from; i < from + n; ++i)
            xml += " xmlns:p" + QByteArray::number(i) + "=\"urn:" + QByteArray::number(i) + '"';
        return xml;
    };
    EXPECT_TRUE(checkXml("<a" + declarations(200, 0) + "><b" + declarations(56, 200) + "/></a>", err));
    EXPECT_FALSE(checkXml("<a" + declarations(200, 0) + "><b" + declarations(57, 200) + "/></a>", err));
    EXPECT_TRUE(err.endsWith("More than 256 namespace declarations in force")) << err.toStdString();

    // Many namespaces one after another, each in force for one element.
    QByteArray manyUris = "<r>";
    for (int i = 0; i < 50'000; ++i)
        manyUris += "<e xmlns=\"urn:" + QByteArray::number(i) + "\">t&amp;u</e>";
    QDomDocument dom;
    ASSERT_TRUE(parseXml(manyUris + "</r>", dom, err)) << err.toStdString();
    EXPECT_EQ(dom.documentElement().lastChildElement().namespaceURI(), "urn:49999");
    EXPECT_EQ(dom.documentElement().lastChildElement().text(), "t&u");

    // A package whose parts each hold many thousands of siblings, and whose body
    // has a section in every paragraph under a root of many declarations.
    constexpr int n = 10'000;
    QByteArray styles = "<w:styles " + kWns + ">", numbering = "<w:numbering " + kWns + ">", rels, types, body;
    for (int i = 0; i < n; ++i) {
        const QByteArray k = QByteArray::number(i);
        styles += "<w:style w:type=\"paragraph\" w:styleId=\"S" + k + "\"><w:basedOn w:val=\"S" + QByteArray::number(i + 1)
            + "\"/></w:style>";
        numbering += "<w:abstractNum w:abstractNumId=\"" + k + "\"><w:lvl w:ilvl=\"0\"/></w:abstractNum><w:num w:numId=\""
            + QByteArray::number(i + 1) + "\"><w:abstractNumId w:val=\"" + k + "\"/></w:num>";
        rels += "<Relationship Id=\"rId" + QByteArray::number(i + 10) + "\" Type=\"t\" Target=\"t" + k + "\"/>";
        types += "<Override PartName=\"/p" + k + "\" ContentType=\"x\"/>";
        body += "<w:p><w:pPr><w:sectPr/></w:pPr><w:r><w:t>" + k + "</w:t></w:r></w:p>";
    }
    const QByteArray document = documentXml(body + "<w:sectPr>" + QByteArray("<w:x/>").repeated(n) + "</w:sectPr>")
                                    .replace("<w:document ", "<w:document" + declarations(240, 0) + ' ');
    const QByteArray package = makePackage(document, {
        {"word/styles.xml", styles + "</w:styles>"},
        {"word/numbering.xml", numbering + "</w:numbering>"},
        {"word/settings.xml", "<w:settings " + kWns + ">" + QByteArray("<w:x/>").repeated(n) + "</w:settings>"},
        {"word/_rels/document.xml.rels",
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" + rels
             + "</Relationships>"},
    });
    const QByteArray typesClose = "</Types>";
    QTemporaryDir dir;
    const QString path = dir.filePath("wide.docx"), out = dir.filePath("out.docx");
    DocxEntryMap parts;
    ASSERT_TRUE(docxZipReadBytes(package, parts, err)) << err.toStdString();
    parts["[Content_Types].xml"].replace(typesClose, types + typesClose);
    ASSERT_TRUE(writeFile(path, deflated(parts)));
    {
        Handle h = open(path);
        ASSERT_TRUE(h) << lxDocx_error(nullptr);
        EXPECT_EQ(lxDocx_set_margins(h.get(), 1, 2, 3, 4, 5, 6, 7, 1), 1);
        EXPECT_EQ(lxDocx_set_even_and_odd(h.get(), 1), 1);
        int len = 0;
        const char *footer = lxDocx_build_hf_xml(0, "{PAGE}", "center", &len);
        EXPECT_EQ(lxDocx_set_footer_xml(h.get(), 0, footer, len), 1);
        EXPECT_EQ(lxDocx_set_doc_property(h.get(), "title", "Wide"), 1);
        ASSERT_EQ(lxDocx_save_as(h.get(), out.toUtf8().constData()), 1) << lxDocx_error(h.get());
    }
    const std::unique_ptr<DocxDocument> saved(DocxReader::open(out));
    ASSERT_TRUE(saved->isValid());
    EXPECT_EQ(saved->paragraphCount(), n);
    EXPECT_EQ(saved->styleMap.size(), n + 1);  // and the document defaults
    EXPECT_EQ(saved->numToAbstract.size(), n);
    EXPECT_EQ(saved->margins().gutter, 7);
    EXPECT_TRUE(saved->evenAndOddHeaders());
    EXPECT_FALSE(saved->footerPart(HFDefault).isEmpty());
    EXPECT_EQ(saved->docProperty("title"), "Wide");
    // Each of these took minutes when some step searched or compared pairwise.
    EXPECT_LT(clock.elapsed(), kSanitized ? 120'000 : 30'000);
}

TEST(Memory, LargeBodiesOpenAndSaveInLittleMemory)
{
    // Half a million paragraphs: 10 MB of XML from a few KB of archive, more
    // than a tree of the body may take.
    constexpr int paragraphs = 500'000;
    QTemporaryDir dir;
    const QString path = dir.filePath("many.docx"), out = dir.filePath("out.docx");
    DocxEntryMap parts;
    QString err;
    ASSERT_TRUE(docxZipReadBytes(makePackage(documentXml("")), parts, err));
    parts["word/document.xml"] = documentXml(QByteArray("<w:p w14:paraId=\"1\"/>").repeated(paragraphs) + "<w:sectPr/>");
    const QByteArray archive = deflated(parts);
    EXPECT_LT(archive.size(), 64 * 1024);
    ASSERT_TRUE(writeFile(path, archive));
    parts.clear();

    QElapsedTimer clock;
    clock.start();
    resetPeakMemory();
    {
        Handle h = open(path);
        ASSERT_TRUE(h) << lxDocx_error(nullptr);
        EXPECT_EQ(lxDocx_set_margins(h.get(), 1, 2, 3, 4, 5, 6, 7, 0), 1);
        ASSERT_EQ(lxDocx_save_as(h.get(), out.toUtf8().constData()), 1) << lxDocx_error(h.get());
    }
    if (!kSanitized) {
        EXPECT_LT(peakMemoryKb(), 300 * 1024) << "KB at the peak of opening and saving";
    }

    // What needs the whole body as a tree is refused with a text; what works on
    // the body's bytes still works.
    const std::unique_ptr<DocxDocument> doc(DocxReader::open(out));
    ASSERT_TRUE(doc->isValid());
    EXPECT_FALSE(doc->bodyTreeFits(err));
    EXPECT_TRUE(err.startsWith("word/document.xml: Too large to work on as a whole")) << err.toStdString();
    EXPECT_EQ(doc->paragraphCount(), 0);
    EXPECT_EQ(doc->margins().gutter, 7);
    {
        Handle h = open(out);
        ASSERT_TRUE(h);
        EXPECT_EQ(lxDocx_set_body_html(h.get(), "<p>first</p>"), 1) << lxDocx_error(h.get());
        EXPECT_EQ(lxDocx_save(h.get()), 1) << lxDocx_error(h.get());
    }
    const QByteArray body = readEntries(out).value("word/document.xml");
    EXPECT_TRUE(body.contains("first"));
    EXPECT_EQ(body.count("<w:p w14:paraId=\"1\"/>"), paragraphs - 1);
    EXPECT_LT(clock.elapsed(), kSanitized ? 180'000 : 30'000);

    // A part of few bytes whose tree would pass the budget is refused before
    // any of it is built.
    const QByteArray dense = "<r>" + QByteArray("<a b=\"\"/>").repeated(420'000) + "</r>";
    resetPeakMemory();
    QDomDocument dom;
    EXPECT_FALSE(parseXml(dense, dom, err));
    EXPECT_TRUE(err.endsWith(DocxTreeCost::refusal())) << err.toStdString();
    if (!kSanitized) {
        EXPECT_LT(peakMemoryKb(), 200 * 1024) << "KB at the peak of refusing a dense part";
    }

    // The command line, in a 3 GB address space, refuses to count them.
    if (kSanitized)
        return;  // the sanitizer's shadow memory does not fit such a limit
    QString stdOut, stdErr;
    const int code = run("/bin/sh", {"-c", "ulimit -v 3000000 && exec \"$0\" info \"$1\"", LXDOCX_CLI, out}, &stdOut,
                         &stdErr);
    EXPECT_EQ(code, 1) << stdErr.toStdString();
    EXPECT_TRUE(stdErr.contains("cannot count the paragraphs of") && stdErr.contains("Too large")) << stdErr.toStdString();
}

TEST(HeaderFooterText, ManyTokensAreReadInOnePass)
{
    constexpr int tokens = 50'000;
    QElapsedTimer clock;
    clock.start();
    const QByteArray xml =
        DocxDocument::buildHFXml(true, QString::fromLatin1(QByteArray("{PAGE}{x}").repeated(tokens) + "{NUMPAGES"), "left");
    EXPECT_LT(clock.elapsed(), kSanitized ? 20'000 : 5'000);
    EXPECT_EQ(xml.count("<w:instrText xml:space=\"preserve\"> PAGE </w:instrText>"), tokens);
    EXPECT_EQ(xml.count("<w:t>{x}</w:t>"), tokens - 1);
    EXPECT_TRUE(xml.contains("<w:t>{x}{NUMPAGES</w:t>"));  // an unclosed token is text
    QString err;
    EXPECT_TRUE(checkXml(xml, err)) << err.toStdString();
}
