// Hostile input: markup nested deep or spread wide, bodies of millions of elements and header text of many
// tokens stay within the stack, time and memory they are allowed, or are refused with a text.
#include "DocxReader.h"
#include "EditTestSupport.h"

#include <QElapsedTimer>
#include <QTextDocument>
#include <QThread>

#include <limits>

using namespace edit_support;

namespace {

constexpr int kLimit = 256;  // elements open at once, attributes of one element, namespaces in force
// A host thread of modest stack (the sanitizer's red zones make every frame several times larger).
constexpr uint kHostStack = kSanitized ? 1024 * 1024 : 256 * 1024;
const QByteArray kWns = "xmlns:w=\"" + QByteArray(kNsW) + '"';

// `levels` times the open tags, `inner`, then the matching end tags.
QByteArray nested(const QList<QByteArray> &tags, int levels, const QByteArray &inner)
{
    QByteArray open, close;
    for (const QByteArray &tag : tags)
        open += '<' + tag + '>', close.prepend("</" + tag + '>');
    return open.repeated(levels) + inner + close.repeated(levels);
}

// A package whose body, core properties, styles and header each nest `extra` levels more than the deepest markup
// allowed (0: exactly that deep). The body is 40 tables deep, then 30 content controls, then a paragraph whose run
// sits in a hyperlink and in smart tags down to the deepest level.
QByteArray deepPackage(int extra)
{
    const int depth = kLimit + extra;
    // w:document, w:body, 120 for the tables, 60 for the controls; the paragraph, link, run and text take 4.
    const QByteArray run = nested({"w:smartTag"}, depth - 2 - 120 - 60 - 4, "<w:r><w:t>deep</w:t></w:r>");
    const QByteArray body = QByteArray("<w:tbl><w:tr><w:tc><w:p><w:r><w:t>cell</w:t></w:r></w:p>").repeated(40)
        + nested({"w:sdt", "w:sdtContent"}, 30, "<w:p><w:hyperlink>" + run + "</w:hyperlink></w:p>")
        + QByteArray("</w:tc></w:tr></w:tbl>").repeated(40)
        + "<w:p/><w:sectPr><w:headerReference w:type=\"default\" r:id=\"rId1\"/></w:sectPr>";
    const QByteArray core = "<cp:coreProperties xmlns:cp=\"" + QByteArray(kNsCoreProps) + "\" xmlns:dc=\"" + kNsDc + "\">"
        + nested({"cp:x"}, depth - 2, "<dc:title>Deep</dc:title>") + "</cp:coreProperties>";
    const QByteArray styles = "<w:styles " + kWns + "><w:style w:type=\"paragraph\" w:styleId=\"Deep\"><w:rPr><w:b/>"
        + nested({"w:x"}, depth - 3, "") + "</w:rPr></w:style></w:styles>";
    const QByteArray header = "<w:hdr " + kWns + "><w:p>" + nested({"w:customXml"}, depth - 4, "<w:r><w:t>H</w:t></w:r>")
        + "</w:p></w:hdr>";
    const QByteArray rels = relsPart(relEntry("rId1", kRelType + "header", "header1.xml"));
    return makePackage(documentXml(body), {{"word/_rels/document.xml.rels", rels}, {"docProps/core.xml", core},
                                           {"word/styles.xml", styles}, {"word/header1.xml", header}});
}

}  // namespace

TEST(Nesting, DeepestMarkupWorksOnAHostStackAndDeeperIsRefused)
{
    QTemporaryDir dir;
    const QString atLimit = dir.filePath("deep.docx"), beyond = dir.filePath("deeper.docx");
    auto path = [&](const char *name) { return dir.filePath(name).toUtf8(); };
    auto reopened = [&](const char *name) { return DocxDocument::open(dir.filePath(name)); };
    // On a thread with the stack a host might give it: edits, saves and the body read as rich text and laid out.
    const std::unique_ptr<QThread> host(QThread::create([&] {
        Handle h = openPackage(atLimit, deepPackage(0));
        ASSERT_TRUE(h) << lxDocx_error(nullptr);
        EXPECT_STREQ(lxDocx_get_doc_property(h.get(), "title"), "Deep");
        EXPECT_TRUE(QByteArray(lxDocx_get_header_xml(h.get(), 0, nullptr)).contains("<w:t>H</w:t>"));
        EXPECT_EQ((Ints{lxDocx_set_doc_property(h.get(), "title", "Deeper"), lxDocx_save_as(h.get(), path("saved.docx")),
                        lxDocx_set_body_html(h.get(), "<p>new</p><table><tr><td>x</td></tr></table>"),
                        lxDocx_save_as(h.get(), path("body.docx")), lxDocx_resave_full(path("deep.docx"), path("resaved.docx"))}),
                  Ints(5, 1)) << lxDocx_error(h.get()) << " / " << lxDocx_error(nullptr);
        const std::unique_ptr<DocxDocument> doc = reopened("deep.docx");
        ASSERT_TRUE(doc->isValid());
        EXPECT_FALSE(doc->styles().styleMap().value("Deep").runProperties.isEmpty());
        QTextDocument qd;
        ASSERT_TRUE(DocxReader::populate(*doc, {QString(), 0, std::numeric_limits<int>::max()}, &qd));
        EXPECT_TRUE(qd.pageCount() >= 1 && qd.toPlainText().contains("deep"));
        EXPECT_NE(std::unique_ptr<QTextDocument>(DocxReader::readHeadersFooters(*doc).defaultHdr), nullptr);
        // 40 tables, the deep paragraph and the last one.
        EXPECT_EQ(QString::number(doc->body().paragraphCount()) + doc->body().paragraphInfoAt(40).text + reopened("saved.docx")->coreProperties().value("title")
                      + QString::number(reopened("saved.docx")->body().paragraphCount()) + reopened("resaved.docx")->body().paragraphInfoAt(40).text
                      + reopened("body.docx")->body().paragraphInfoAt(0).text, "42deepDeeper42deepnew");
    }));
    host->setStackSize(kHostStack);
    host->start();
    host->wait();
    // One level more: the body is refused at open with where and why; the other parts where they are read.
    EXPECT_FALSE(openPackage(beyond, deepPackage(1)));
    EXPECT_TRUE(QString(lxDocx_error(nullptr)).contains("nested deeper than 256 levels")) << lxDocx_error(nullptr);
    const DocxEntryMap parts = readEntries(beyond);
    for (const char *name : {"docProps/core.xml", "word/styles.xml", "word/header1.xml"}) {
        QString err;
        EXPECT_TRUE(!checkXml(parts.value(name), err) && err.startsWith("XML parse error at line 1 col ")
                    && err.endsWith("nested deeper than 256 levels")) << name << ": " << err.toStdString();
    }
    EXPECT_EQ(lxDocx_set_header_xml(openPackage(atLimit).get(), 0, parts.value("word/header1.xml").constData(), -1), 0);
}

TEST(Width, WideMarkupAndManyTokensCostTimeInProportionOrAreRefusedAtOnce)
{
    QString err;
    QElapsedTimer clock;
    clock.start();
    // Header text of many tokens is read in one pass; an unclosed token is text.
    constexpr int tokens = 50'000;
    const QByteArray hf = DocxHeadersFooters::buildXml(DocxHFPart::Header, QByteArray("{PAGE}{x}").repeated(tokens) + "{NUMPAGES", "left");
    EXPECT_LT(clock.elapsed(), kSanitized ? 20'000 : 5'000);
    EXPECT_EQ(hf.count("<w:instrText xml:space=\"preserve\"> PAGE </w:instrText>") + hf.count("<w:t>{x}</w:t>"), 2 * tokens - 1);
    EXPECT_TRUE(hf.contains("<w:t>{x}{NUMPAGES</w:t>") && checkXml(hf, err)) << err.toStdString();

    auto numbered = [](const char *pattern, int n, int from = 0) {  // `pattern` for i = from.., '%' as i and '^' as i + 1
        QByteArray xml;
        for (int i = from; i < from + n; ++i)
            xml += QByteArray(pattern).replace('%', QByteArray::number(i)).replace('^', QByteArray::number(i + 1));
        return xml;
    };
    auto attributes = [&](int n) { return "<a" + numbered(" a%=\"'>\"", n) + "/>"; };
    auto declarations = [&](int n, int from) { return numbered(" xmlns:p%=\"urn:%\"", n, from); };
    // Attributes of one element are counted across the blocks the reader takes, past markup whose text holds
    // what a tag holds; namespaces in force are bounded too.
    const QByteArray filler = ("<b><!-- x=\"1\" > --><![CDATA[ y=2 > ]]><?pi z=3 ?>" + attributes(200) + "</b>").repeated(100);
    const QString tooMany = "An element has more than 256 attributes", inForce = "More than 256 namespace declarations in force";
    const std::pair<QByteArray, QString> cases[] = {  // markup, the refusal its error ends with ("": accepted)
        {attributes(kLimit), ""}, {"<!-- a=1 --><?pi a=1?>" + attributes(kLimit + 1), tooMany}, {attributes(100'000), tooMany},
        {"<r>" + filler + attributes(kLimit) + "</r>", ""}, {"<r>" + filler + attributes(kLimit + 1) + "</r>", tooMany},
        {"<a" + declarations(200, 0) + "><b" + declarations(56, 200) + "/></a>", ""},
        {"<a" + declarations(200, 0) + "><b" + declarations(57, 200) + "/></a>", inForce},
    };
    for (const auto &[xml, refusal] : cases) {
        SCOPED_TRACE(xml.left(80).toStdString());
        err.clear();
        EXPECT_TRUE(checkXml(xml, err) ? refusal.isEmpty() : !refusal.isEmpty() && err.endsWith(refusal)) << err.toStdString();
    }
    // Many namespaces one after another, each in force for one element.
    QDomDocument dom;
    ASSERT_TRUE(parseXml("<r>" + numbered("<e xmlns=\"urn:%\">t&amp;u</e>", 50'000) + "</r>", dom, err)) << err.toStdString();
    EXPECT_EQ(dom.documentElement().lastChildElement().namespaceURI() + dom.documentElement().lastChildElement().text(),
              "urn:49999t&u");
    // A package whose parts each hold many thousands of siblings, and whose body has a section in every paragraph
    // under a root of many declarations.
    constexpr int n = 10'000;
    const QByteArray many = QByteArray("<w:x/>").repeated(n);
    const QByteArray document =
        documentXml(numbered("<w:p><w:pPr><w:sectPr/></w:pPr><w:r><w:t>%</w:t></w:r></w:p>", n) + "<w:sectPr>" + many + "</w:sectPr>")
            .replace("<w:document ", "<w:document" + declarations(240, 0) + ' ');
    const QByteArray styles = numbered("<w:style w:type=\"paragraph\" w:styleId=\"S%\"><w:basedOn w:val=\"S^\"/></w:style>", n);
    const QByteArray numbering = numbered("<w:abstractNum w:abstractNumId=\"%\"><w:lvl w:ilvl=\"0\"/></w:abstractNum>"
                                          "<w:num w:numId=\"^\"><w:abstractNumId w:val=\"%\"/></w:num>", n);
    DocxEntryMap parts;
    ASSERT_TRUE(docxZipReadBytes(makePackage(document, {{"word/styles.xml", "<w:styles " + kWns + ">" + styles + "</w:styles>"},
        {"word/numbering.xml", "<w:numbering " + kWns + ">" + numbering + "</w:numbering>"},
        {"word/settings.xml", "<w:settings " + kWns + ">" + many + "</w:settings>"},
        {"word/_rels/document.xml.rels", relsPart(numbered("<Relationship Id=\"rId1%\" Type=\"t\" Target=\"t%\"/>", n))}}),
                                 parts, err)) << err.toStdString();
    parts["[Content_Types].xml"].replace("</Types>", numbered("<Override PartName=\"/p%\" ContentType=\"x\"/>", n) + "</Types>");
    QByteArray archive;
    ASSERT_TRUE(docxZipBuild(parts, {}, archive, err)) << err.toStdString();
    QTemporaryDir dir;
    const QString out = dir.filePath("out.docx");
    Handle h = openPackage(dir.filePath("wide.docx"), archive);
    ASSERT_TRUE(h) << lxDocx_error(nullptr);
    const char *footer = lxDocx_build_hf_xml(0, "{PAGE}", "center", nullptr);
    EXPECT_EQ(lxDocx_set_margins(h.get(), 1, 2, 3, 4, 5, 6, 7, 1) + lxDocx_set_even_and_odd(h.get(), 1)
                  + lxDocx_set_footer_xml(h.get(), 0, footer, -1) + lxDocx_set_doc_property(h.get(), "title", "Wide"), 4);
    ASSERT_EQ(lxDocx_save_as(h.get(), out.toUtf8().constData()), 1) << lxDocx_error(h.get());
    const std::unique_ptr<DocxDocument> saved = DocxDocument::open(out);
    ASSERT_TRUE(saved->isValid());
    EXPECT_EQ((std::vector<qsizetype>{saved->body().paragraphCount(), saved->styles().styleMap().size(), saved->numbering().numToAbstract().size(),
                                      saved->sections().margins().gutter, saved->sections().evenAndOddHeaders(), saved->headersFooters().part(DocxHFPart::Footer, DocxHFKind::Default).size() > 0}),
              (std::vector<qsizetype>{n, n + 1, n, 7, 1, 1}));  // the styles and the document defaults
    EXPECT_EQ(saved->coreProperties().value("title"), "Wide");
    // Each of these took minutes when some step searched or compared pairwise.
    EXPECT_LT(clock.elapsed(), kSanitized ? 120'000 : 30'000);
}

TEST(Memory, LargeBodiesOpenAndSaveInLittleMemory)
{
    // Half a million paragraphs: 10 MB of XML from a few KB of archive, more than a tree of the body may take.
    constexpr int paragraphs = 500'000;
    QTemporaryDir dir;
    const QString out = dir.filePath("out.docx");
    DocxEntryMap parts;
    QString err;
    ASSERT_TRUE(docxZipReadBytes(makePackage(documentXml("")), parts, err));
    parts["word/document.xml"] = documentXml(QByteArray("<w:p w14:paraId=\"1\"/>").repeated(paragraphs) + "<w:sectPr/>");
    QByteArray archive;  // deflated: a few KB
    ASSERT_TRUE(docxZipBuild(parts, {}, archive, err)) << err.toStdString();
    parts.clear();

    QElapsedTimer clock;
    clock.start();
    resetPeakMemory();
    {
        Handle h = openPackage(dir.filePath("many.docx"), archive);
        ASSERT_TRUE(h) << lxDocx_error(nullptr);
        EXPECT_EQ(lxDocx_set_margins(h.get(), 1, 2, 3, 4, 5, 6, 7, 0), 1);
        ASSERT_EQ(lxDocx_save_as(h.get(), out.toUtf8().constData()), 1) << lxDocx_error(h.get());
    }
    EXPECT_LT(kSanitized ? 0 : statusKb("VmHWM"), 300 * 1024) << "KB at the peak of opening and saving";
    // What needs the whole body as a tree is refused with a text; what works on the body's bytes still works.
    const std::unique_ptr<DocxDocument> doc = DocxDocument::open(out);
    ASSERT_TRUE(doc->isValid());
    EXPECT_TRUE(!doc->body().treeFits(err) && err.startsWith("word/document.xml: Too large to work on as a whole")) << err.toStdString();
    EXPECT_EQ(doc->body().paragraphCount() + doc->sections().margins().gutter, 0 + 7);
    {
        Handle h = openPackage(out);
        ASSERT_TRUE(h);
        EXPECT_EQ((Ints{lxDocx_set_body_html(h.get(), "<p>first</p>"), lxDocx_save(h.get())}), Ints(2, 1)) << lxDocx_error(h.get());
    }
    const QByteArray body = readEntries(out).value("word/document.xml");
    EXPECT_TRUE(body.contains("first") && body.count("<w:p w14:paraId=\"1\"/>") == paragraphs - 1);
    EXPECT_LT(clock.elapsed(), kSanitized ? 180'000 : 30'000);
    // A part of few bytes whose tree would pass the budget is refused before any of it is built.
    const QByteArray dense = "<r>" + QByteArray("<a b=\"\"/>").repeated(420'000) + "</r>";
    resetPeakMemory();
    QDomDocument dom;
    EXPECT_TRUE(!parseXml(dense, dom, err) && err.endsWith(DocxTreeCost::refusal())) << err.toStdString();
    if (kSanitized)
        return;  // the sanitizer's shadow memory fits neither these bounds nor the limit below
    EXPECT_LT(statusKb("VmHWM"), 200 * 1024) << "KB at the peak of refusing a dense part";
    // The command line, in a 3 GB address space, refuses to count them.
    QString stdErr;
    EXPECT_EQ(run("/bin/sh", {"-c", "ulimit -v 3000000 && exec \"$0\" info \"$1\"", LXDOCX_CLI, out}, nullptr, &stdErr), 1)
        << stdErr.toStdString();
    EXPECT_TRUE(stdErr.contains("cannot count the paragraphs of") && stdErr.contains("Too large")) << stdErr.toStdString();
}

TEST(Memory, TheIndexAndThePagesOfALargeBodyNeedNoTreeOfIt)
{
    // 2.5 MB of body, whose tree would take over 150 MB.
    constexpr int paragraphs = 20'000;
    QByteArray body;
    for (int i = 0; i < paragraphs; ++i) {
        const QByteArray n = QByteArray::number(i);
        body += i % 1000 == 0 ? "<w:p><w:pPr><w:pStyle w:val=\"Heading2\"/></w:pPr><w:r><w:t>Part " + n + "</w:t></w:r></w:p>"
                              : "<w:p><w:r><w:rPr><w:b/></w:rPr><w:t xml:space=\"preserve\">Text of a paragraph, </w:t></w:r>"
                                "<w:r><w:t>" + n + "</w:t></w:r></w:p>";
    }
    const QByteArray xml = documentXml(body + "<w:sectPr/>");
    DocxEntryMap parts;
    QString err;
    ASSERT_TRUE(docxZipReadBytes(makePackage(xml), parts, err)) << err.toStdString();
    const std::unique_ptr<DocxDocument> doc = DocxDocument::fromEntries("large.docx", parts);
    parts.clear();
    ASSERT_TRUE(doc->isValid());
    resetPeakMemory();
    const qint64 startKb = statusKb("VmRSS");
    const QList<DocxParaInfo> read = doc->body().paragraphInfo();
    const DocxReader::DocxPageLayout pages = DocxReader::readPageLayout(*doc);
    const qint64 peakKb = statusKb("VmHWM");
    EXPECT_TRUE(read.size() == paragraphs && read[1000].headingLevel == 1 && read[1000].text == "Part 1000"
                && read[1001].text == "Text of a paragraph, 1001" && pages.sections.size() == 1
                && pages.sections[0].body->blockCount() == paragraphs) << read.size();
    // A tree takes some 60 bytes a byte; the rich text of such short paragraphs some 10.
    if (!kSanitized) {
        EXPECT_LT((peakKb - startKb) * 1024, 20 * xml.size()) << "KB over the start at the peak";
    }
    // The index read from the tree is the same.
    ASSERT_EQ(doc->body().paragraphs().size(), paragraphs);
    const QList<DocxParaInfo> fromTree = doc->body().paragraphInfo();
    bool same = true;
    for (int i = 0; i < paragraphs; ++i)
        same = same && fromTree[i].index == read[i].index && fromTree[i].styleId == read[i].styleId
            && fromTree[i].headingLevel == read[i].headingLevel && fromTree[i].text == read[i].text;
    EXPECT_TRUE(same);
}
