// The Reader's outputs beside the body document: the header and footer set of
// the last section, and one section rendered as HTML.
#include "ReaderTestSupport.h"

using namespace reader_testing;

namespace {

// Deletes the rendered documents of a set when it goes.
struct OwnedSet
{
    DocxReader::DocxHFSet set;
    ~OwnedSet()
    {
        for (QTextDocument *d : {set.defaultHdr, set.evenHdr, set.firstHdr, set.defaultFtr, set.evenFtr, set.firstFtr})
            delete d;
    }
};

QByteArray reference(const char *element, const char *kind, const char *rId)
{
    return QByteArray("<w:") + element + " w:type=\"" + kind + "\" r:id=\"" + rId + "\"/>";
}

Parts headerParts(const QByteArray &extraRels = {}, const Parts &extraParts = {})
{
    Parts parts = {{"word/_rels/document.xml.rels",
                    relsPart(relationship("rId1", "header", "header1.xml") + relationship("rId2", "footer", "/word/footer1.xml")
                             + relationship("rId3", "header", "header2.xml") + extraRels)},
                   {"word/header1.xml",
                    wPart("hdr", para("Head") + "<w:sdt><w:sdtContent>" + para("in control") + "</w:sdtContent></w:sdt>")},
                   {"word/footer1.xml",
                    wPart("ftr", "<w:p><w:r><w:t>Page </w:t></w:r><w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r>"
                                 "<w:instrText>PAGE</w:instrText></w:r><w:r><w:fldChar w:fldCharType=\"separate\"/></w:r>"
                                 "<w:r><w:t>1</w:t></w:r><w:r><w:fldChar w:fldCharType=\"end\"/></w:r></w:p>")},
                   {"word/header2.xml", wPart("hdr", para("Second"))}};
    parts.insert(parts.end(), extraParts.begin(), extraParts.end());
    return parts;
}

QByteArray heading(const QByteArray &text, int n) { return para(text, "<w:pStyle w:val=\"Heading" + QByteArray::number(n) + "\"/>"); }

const QString kPage = QStringLiteral("<html><body style=\"font-family:'Georgia',serif;font-size:12pt;\">");

}  // namespace

// ---- header and footer sets ------------------------------------------------------

TEST(ReaderHeaders, ReferencesOfTheLastSectionAreRenderedByKind)
{
    Package p(para("body") + sectPr(reference("headerReference", "default", "rId1") + reference("footerReference", "default", "rId2")
                                    + "<w:pgMar w:header=\"720\" w:footer=\"0\"/><w:titlePg/>"),
              headerParts());
    LogCapture log;
    OwnedSet hf{DocxReader::readHeadersFooters(p.doc())};
    EXPECT_TRUE(hf.set.titlePage);
    EXPECT_FALSE(hf.set.evenAndOdd);
    EXPECT_DOUBLE_EQ(hf.set.hdrDist, 48.0);
    EXPECT_DOUBLE_EQ(hf.set.ftrDist, 48.0);  // 0 keeps the default
    ASSERT_NE(hf.set.defaultHdr, nullptr);   // relative target
    EXPECT_EQ(blockTexts(*hf.set.defaultHdr), QStringList({"Head", "in control"}));
    ASSERT_NE(hf.set.defaultFtr, nullptr);   // package-absolute target
    EXPECT_EQ(hf.set.defaultFtr->toPlainText(), "Page " + QString(QChar(kPageNumberPlaceholder)));
    EXPECT_EQ(hf.set.firstHdr, nullptr);
    EXPECT_EQ(hf.set.evenFtr, nullptr);
    EXPECT_TRUE(log.contains("readHeadersFooters: titlePage= true"));
    EXPECT_TRUE(log.contains("defaultHdr= yes"));
}

TEST(ReaderHeaders, SwitchesDistancesDuplicatesAndUnknownKinds)
{
    Package p(sectPr(reference("headerReference", "default", "rId1") + reference("headerReference", "default", "rId3")
                     + reference("headerReference", "odd", "rId1") + reference("headerReference", "even", "rId404")
                     + reference("footerReference", "first", "rId4") + "<w:pgMar w:header=\"360\" w:footer=\"-20\"/>"),
              headerParts(relationship("rId4", "footer", "missing.xml"),
                          {{"word/settings.xml", wPart("settings", "<w:evenAndOddHeaders w:val=\"false\"/>")}}));
    OwnedSet hf{DocxReader::readHeadersFooters(p.doc())};
    EXPECT_TRUE(hf.set.evenAndOdd);  // the byte search does not read the value
    EXPECT_FALSE(hf.set.titlePage);
    EXPECT_DOUBLE_EQ(hf.set.hdrDist, 24.0);
    EXPECT_DOUBLE_EQ(hf.set.ftrDist, 48.0);
    ASSERT_NE(hf.set.defaultHdr, nullptr);
    EXPECT_EQ(hf.set.defaultHdr->toPlainText(), "Second");  // the later reference of a kind wins
    EXPECT_EQ(hf.set.evenHdr, nullptr);
    EXPECT_EQ(hf.set.firstHdr, nullptr);
    EXPECT_EQ(hf.set.firstFtr, nullptr);
}

TEST(ReaderHeaders, SettingsAloneWithoutSectionAndUnrenderableParts)
{
    Package none(para("x"), {{"word/settings.xml", wPart("settings", "<w:evenAndOddHeaders/>")}});
    OwnedSet hf{DocxReader::readHeadersFooters(none.doc())};
    EXPECT_TRUE(hf.set.evenAndOdd);
    EXPECT_EQ(hf.set.defaultHdr, nullptr);
    EXPECT_DOUBLE_EQ(hf.set.hdrDist, 48.0);

    std::unique_ptr<QTextDocument> tableOnly(DocxReader::renderHFPart(
        wPart("hdr", "<w:tbl><w:tr><w:tc>" + para("cell") + "</w:tc></w:tr></w:tbl>"), none.doc()));
    ASSERT_NE(tableOnly, nullptr);
    EXPECT_TRUE(tableOnly->toPlainText().isEmpty());
    EXPECT_DOUBLE_EQ(tableOnly->documentMargin(), 0.0);

    LogCapture log;
    EXPECT_EQ(DocxReader::renderHFPart("<w:hdr><w:p>", none.doc()), nullptr);
    EXPECT_TRUE(log.contains("renderHFPart: XML parse error:"));
    EXPECT_EQ(DocxReader::renderHFPart(wPart("body", para("x")), none.doc()), nullptr);
}

// ---- HTML rendering ----------------------------------------------------------------

TEST(ReaderHtml, SectionsRunToTheNextHeadingOfTheSameOrHigherLevel)
{
    Package p(heading("Intro", 1) + para("a") + heading("Sub", 2) + para("b") + heading("Next", 1) + para("c"));
    auto range = [&](const char *title) {
        const DocxSectionRange r = findSectionByHeading(p.doc(), title);
        return std::make_pair(r.startPara, r.endPara);
    };
    EXPECT_EQ(range("Intro"), std::make_pair(0, 4));
    EXPECT_EQ(range("Sub"), std::make_pair(2, 4));
    EXPECT_EQ(range("  Next "), std::make_pair(4, 6));
    EXPECT_EQ(range("missing"), std::make_pair(0, 6));  // no such heading: the whole document
    EXPECT_EQ(range("a"), std::make_pair(0, 6));        // a body paragraph is no heading
    EXPECT_EQ(renderSectionHtml(p.doc(), "Sub"), kPage + "<h2>Sub</h2><p>b</p></body></html>");

    Package empty("");
    EXPECT_EQ(findSectionByHeading(empty.doc(), "x").startPara, -1);
    EXPECT_EQ(renderSectionHtml(empty.doc(), "x"), "");
    EXPECT_EQ(sectionToHtml(p.doc(), {QString(), 3, 3}), "");
}

TEST(ReaderHtml, ParagraphTagsAndStyles)
{
    const QByteArray styles = stylesPart(
        paragraphStyle("Quote", "<w:pPr><w:jc w:val=\"right\"/><w:spacing w:after=\"100\"/><w:outlineLvl w:val=\"3\"/>"
                                "</w:pPr><w:rPr><w:i/><w:b/><w:sz w:val=\"23\"/><w:rFonts w:ascii=\"Garamond\"/></w:rPr>")
        + paragraphStyle("Deep", "<w:pPr><w:outlineLvl w:val=\"5\"/></w:pPr>"));
    Package p(para("h", "<w:pStyle w:val=\"Heading2\"/><w:spacing w:before=\"240\"/>")
                  + para("q", "<w:pStyle w:val=\"Quote\"/><w:jc w:val=\"both\"/><w:pageBreakBefore/>")
                  + para("ten", "<w:pStyle w:val=\"heading10\"/>") + para("three", "<w:pStyle w:val=\"3\"/>")
                  + para("deep", "<w:pStyle w:val=\"Deep\"/>"),
              {{"word/styles.xml", styles}});
    const QList<QDomElement> &ps = p.doc().paragraphs();
    EXPECT_EQ(paragraphToHtml(ps[0], p.doc()), "<h2 style=\"margin-top:12.0pt\">h</h2>");
    EXPECT_EQ(paragraphToHtml(ps[1], p.doc()),
              "<h4 style=\"text-align:justify;margin-bottom:5.0pt;font-size:11.5pt;font-family:'Garamond';"
              "font-weight:bold;font-style:italic;page-break-before:always\"><i><b>q</b></i></h4>");
    EXPECT_EQ(paragraphToHtml(ps[2], p.doc()), "<h1>ten</h1>");
    EXPECT_EQ(paragraphToHtml(ps[3], p.doc()), "<h3>three</h3>");
    EXPECT_EQ(paragraphToHtml(ps[4], p.doc()), "<p>deep</p>");
}

TEST(ReaderHtml, RunMarkupIsEscapedAndNested)
{
    Package p("<w:p><w:r><w:rPr><w:b/></w:rPr><w:t>a&lt;b</w:t></w:r>"
              "<w:r><w:rPr><w:i w:val=\"1\"/><w:u w:val=\"single\"/><w:b w:val=\"false\"/></w:rPr><w:t>x&amp;y</w:t></w:r>"
              "<w:r><w:rPr><w:u w:val=\"none\"/></w:rPr><w:t>plain&gt;</w:t><w:tab/><w:t>2</w:t></w:r><w:r><w:br/></w:r>"
              "<w:hyperlink r:id=\"rId1\"><w:r><w:rPr><w:b/></w:rPr><w:t>l&lt;nk</w:t></w:r></w:hyperlink></w:p>");
    EXPECT_EQ(paragraphToHtml(p.doc().paragraphs().first(), p.doc()),
              "<p><b>a&lt;b</b><u><i>x&amp;y</i></u>plain&gt;2l&lt;nk</p>");
}
