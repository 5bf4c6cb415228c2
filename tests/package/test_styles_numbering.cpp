// The style sheet and theme fonts (effective properties along basedOn chains, the built-in paragraph styles added)
// and the numbering tables.
#include "EditTestSupport.h"

#include <QVariant>

#include <climits>

using namespace edit_support;

namespace {

const QString kStyles = QStringLiteral("word/styles.xml"), kNumbering = QStringLiteral("word/numbering.xml");
const QByteArray kTypesPart = "<Types xmlns=\"" + QByteArray(kNsContentTypes) + "\"/>";

QByteArray wrap(const char *root, const QByteArray &content)
{
    return QByteArray("<w:") + root + " xmlns:w=\"" + kNsW + "\">" + content + "</w:" + root + ">";
}

QByteArray style(const QByteArray &id, const QByteArray &basedOn, const QByteArray &inner = {}, const char *type = "paragraph")
{
    return "<w:style w:type=\"" + QByteArray(type) + "\" w:styleId=\"" + id + "\">"
        + (basedOn.isEmpty() ? QByteArray() : "<w:basedOn w:val=\"" + basedOn + "\"/>") + inner + "</w:style>";
}

// The fields of `p` that differ from `base`, as "name=value" words.
QString differences(const StyleProps &p, const StyleProps &base)
{
    QStringList out;
#define LX_FIELD(f) if (QVariant(p.f) != QVariant(base.f)) out << #f "=" + QVariant(p.f).toString();
    LX_FIELD(font) LX_FIELD(sizeHalfPts) LX_FIELD(color) LX_FIELD(jc) LX_FIELD(spaceBefore) LX_FIELD(spaceAfter)
    LX_FIELD(indLeft) LX_FIELD(indFirstLine) LX_FIELD(keepNext) LX_FIELD(outlineLvl) LX_FIELD(numId) LX_FIELD(ilvl)
#undef LX_FIELD
    return out.join(' ');
}

QStringList styleIds(const QByteArray &sheet) { return attrs(sheet, kNsW, "style", {"w:styleId"}); }

}  // namespace

// Defaults, then a chain's styles from the most basic, ended by a cycle or at 12; unreadable values left out.
TEST(StylesNumbering, ResolvingMergesChainsAndCutsCyclesAndDepth)
{
    QByteArray sheet =
        "<w:docDefaults><w:rPrDefault><w:rPr><w:rFonts w:asciiTheme=\"minorHAnsi\"/><w:sz w:val=\"22\"/></w:rPr>"
        "</w:rPrDefault><w:pPrDefault><w:pPr><w:spacing w:after=\"160\"/><w:ind w:firstLine=\"x\" w:hanging=\""
        "-2147483648\"/></w:pPr></w:pPrDefault></w:docDefaults><w:style w:type=\"paragraph\" w:default=\"1\" "
        "w:styleId=\"Normal\"><w:pPr><w:jc w:val=\"center\"/></w:pPr></w:style>"
        + style("A", "B", "<w:rPr><w:b/><w:sz w:val=\"30\"/><w:color w:val=\"FF0000\"/></w:rPr>")
        + style("B", "A", "<w:rPr><w:sz w:val=\"40\"/></w:rPr>")
        + style("HangMin", {}, "<w:pPr><w:ind w:left=\"-2147483648\" w:hanging=\"-2147483648\"/></w:pPr>")
        + style("Junk", {}, "<w:pPr><w:outlineLvl w:val=\"x\"/><w:numPr><w:numId w:val=\"1.5\"/></w:numPr></w:pPr>"
                            "<w:rPr><w:sz w:val=\"big\"/></w:rPr>")
        + style("Flags", {}, "<w:pPr><w:spacing w:before=\"240\"/><w:keepNext/><w:outlineLvl w:val=\"2\"/><w:numPr>"
                             "<w:ilvl w:val=\"1\"/><w:numId w:val=\"4\"/></w:numPr></w:pPr>")
        + style("Grid", {}, "<w:rPr><w:b/></w:rPr>", "table");
    const QMap<int, QByteArray> inner = {{11, "<w:rPr><w:color w:val=\"0B0B0B\"/></w:rPr>"},
                                         {12, "<w:pPr><w:jc w:val=\"right\"/></w:pPr>"},
                                         {14, "<w:rPr><w:rFonts w:ascii=\"Deep\"/></w:rPr>"}};
    for (int i = 0; i < 15; ++i)  // S0 is based on S1 ... on S14
        sheet += style("S" + QByteArray::number(i), i < 14 ? "S" + QByteArray::number(i + 1) : "", inner.value(i));
    const std::unique_ptr<DocxDocument> docParts = DocxDocument::fromEntries({}, {});
    DocxDocument &doc = *docParts;
    doc.package().entries().insert(kStyles, wrap("styles", sheet));
    doc.package().entries().insert("word/theme/theme1.xml", "<a:theme xmlns:a=\"" + QByteArray(kNsDrawingMain) + "\"><a:themeElements>"
        "<a:fontScheme><a:majorFont><a:latin typeface=\"Cambria\"/></a:majorFont><a:minorFont><a:latin typeface=\"Calibri\"/>"
        "</a:minorFont></a:fontScheme></a:themeElements></a:theme>");
    doc.styles().read();
    const StyleProps none = doc.styles().resolveStyle({});  // the document defaults alone, not the default style
    EXPECT_EQ(differences(none, StyleProps()), "font=Calibri sizeHalfPts=22 spaceAfter=160 indFirstLine=2147483647");
    const std::pair<const char *, const char *> cases[] = {
        {"B", "sizeHalfPts=40 color=FF0000"}, {"S0", "color=0B0B0B"}, {"S3", "font=Deep color=0B0B0B jc=right"},
        {"HangMin", "indLeft=-2147483648"}, {"Junk", ""}, {"Grid", ""},  // table styles are not read
        {"Flags", "spaceBefore=240 keepNext=true outlineLvl=2 numId=4 ilvl=1"}};
    for (const auto &[id, expected] : cases)
        EXPECT_EQ(differences(doc.styles().resolveStyle(id), none), expected) << id;
    EXPECT_EQ(doc.styles().styleMap().value("HangMin").indFirstLine, INT_MAX);
    QStringList runs;  // A's bold flipped on once
    for (const DocxPropertyElement &e : doc.styles().paragraphRunProperties("B"))
        runs << e.name + '=' + e.attribute(QLatin1String("val"));
    EXPECT_EQ(runs.join(' '), "rFonts= sz=40 color=FF0000 b=1");
    doc.package().entries().insert(kStyles, wrap("styles", style("A", {}, "<w:rPr><w:b></w:rPr>"))), doc.styles().read();
    EXPECT_TRUE(doc.styles().styleMap().isEmpty());
}

// A built-in style (and its sheet, type and relationship) is added only where missing, never into what does not parse.
TEST(StylesNumbering, EnsuringAParagraphStyleAddsOnlyWhatIsMissing)
{
    const std::unique_ptr<DocxDocument> docParts = DocxDocument::fromEntries({}, {});
    DocxDocument &doc = *docParts;
    DocxEntryMap &parts = doc.package().entries();
    parts.insert(kTypes, kTypesPart), doc.styles().ensureStyle("Heading3");
    const QByteArray sheet = parts.value(kStyles);
    EXPECT_EQ(styleIds(sheet) + attrs(sheet, kNsW, "outlineLvl", {"w:val"}) + attrs(sheet, kNsW, "sz", {"w:val"}),
              QStringList({"Normal", "Heading3", "2", "26"}));
    EXPECT_EQ(overrides(parts.value(kTypes)) + relations(parts.value(kRels)),
              QStringList({"styles.xml styles+xml", "rId1 styles styles.xml"}));
    const DocxEntryMap once = parts;
    for (const char *id : {"", "Heading3", "Normal", "Title", "Heading7", "heading1", "Heading0"})
        doc.styles().ensureStyle(id);
    EXPECT_EQ(parts, once);
    const QByteArray own = wrap("styles", "\n\t<w:style w:styleId='Heading1' w:type='paragraph' />\n");
    parts.insert(kStyles, own), doc.styles().ensureStyle("Heading1");
    EXPECT_EQ(parts.value(kStyles), own);  // left byte for byte, however it is written
    doc.styles().ensureStyle("Heading2"), parts.insert(kStyles, own);  // a sheet replaced between calls is read again
    doc.styles().ensureStyle("Heading2");
    EXPECT_EQ(styleIds(parts.value(kStyles)), QStringList({"Heading1", "Heading2"}));
    parts.insert(kStyles, "<w:styles><w:style></w:styles>");
    const DocxEntryMap before = parts;
    doc.styles().ensureStyle("Heading4");
    EXPECT_EQ(parts, before);
    parts = {{kTypes, "<Types><x></Types>"}, {kRels, "<Relationships><x></Relationships>"}};
    doc.styles().ensureStyle("Heading1"), doc.numbering().ensurePart();
    EXPECT_EQ(styleIds(parts.value(kStyles)), QStringList({"Normal", "Heading1"}));
    EXPECT_TRUE(parts.contains(kNumbering));
    EXPECT_EQ(parts.value(kTypes) + parts.value(kRels), "<Types><x></Types><Relationships><x></Relationships>");
}

// Levels, overrides and starts of instances whose ids convert; the library's own part made once, never over another.
TEST(StylesNumbering, LevelsOverridesAndIdsThatDoNotConvert)
{
    const QByteArray numbering = wrap("numbering",
        "<w:abstractNum w:abstractNumId=\"0\"><w:lvl w:ilvl=\"0\"><w:start w:val=\"3\"/><w:numFmt w:val=\"lowerLetter\"/>"
        "<w:lvlText w:val=\"%1)\"/><w:pPr><w:ind w:left=\"1080\" w:hanging=\"360\"/></w:pPr><w:rPr><w:rFonts w:hAnsi=\"Symbol\"/>"
        "<w:sz w:val=\"22\"/></w:rPr></w:lvl><w:lvl w:ilvl=\"x\"><w:start w:val=\"9\"/></w:lvl><w:lvl w:ilvl=\"2\"><w:start "
        "w:val=\"q\"/><w:rPr><w:sz w:val=\"0\"/></w:rPr></w:lvl></w:abstractNum><w:abstractNum w:abstractNumId=\"x\"><w:lvl "
        "w:ilvl=\"0\"/></w:abstractNum><w:abstractNum w:abstractNumId=\"5\"><w:lvl w:ilvl=\"0\"><w:start w:val=\"7\"/></w:lvl>"
        "</w:abstractNum><w:abstractNum w:abstractNumId=\"5\"><w:lvl w:ilvl=\"0\"><w:start w:val=\"8\"/></w:lvl></w:abstractNum>"
        "<w:num w:numId=\"0\"><w:abstractNumId w:val=\"0\"/></w:num><w:num w:numId=\"abc\"><w:abstractNumId w:val=\"0\"/></w:num>"
        "<w:num w:numId=\"99999999999\"><w:abstractNumId w:val=\"0\"/></w:num><w:num w:numId=\"1\"><w:abstractNumId w:val=\"0\"/>"
        "</w:num><w:num w:numId=\"2\"><w:abstractNumId w:val=\"42\"/><w:lvlOverride w:ilvl=\"0\"><w:startOverride w:val=\"5\"/>"
        "</w:lvlOverride></w:num><w:num w:numId=\"3\"><w:abstractNumId w:val=\"0\"/><w:lvlOverride w:ilvl=\"z\"><w:startOverride "
        "w:val=\"6\"/></w:lvlOverride><w:lvlOverride w:ilvl=\"2\"><w:startOverride w:val=\"q\"/></w:lvlOverride></w:num>"
        "<w:num w:numId=\"4\"><w:abstractNumId w:val=\"1.5\"/></w:num><w:num w:numId=\"6\"><w:abstractNumId w:val=\"5\"/></w:num>");
    const std::unique_ptr<DocxDocument> docParts = DocxDocument::fromEntries({}, {});
    DocxDocument &doc = *docParts;
    DocxNumbering &lists = doc.numbering();
    doc.package().entries().insert(kNumbering, numbering), lists.read();
    EXPECT_EQ(lists.abstractNums().keys() + lists.abstractNums().value(0).keys(), QList<int>({0, 5, 0, 2}));
    EXPECT_EQ(lists.numToAbstract().keys(), QList<int>({1, 2, 3, 6}));
    EXPECT_TRUE(lists.startOverrides().value(3).isEmpty());
    ASSERT_TRUE(lists.numLevel(1, 0) && lists.numLevel(3, 2));
    const NumLevel l0 = *lists.numLevel(1, 0), l2 = *lists.numLevel(3, 2);
    EXPECT_EQ(l0.numFmt + l0.lvlText + l0.font + " " + l2.numFmt + l2.lvlText, "lowerLetter%1)Symbol decimal%1.");
    EXPECT_EQ((std::vector<double>{l0.indentPx, l0.hangingPx, l0.sizePt, l2.sizePt}), (std::vector<double>{72, 24, 11, 0}));
    EXPECT_EQ(lists.numLevel(2, 0), nullptr);  // its abstract numbering does not exist
    EXPECT_EQ((Ints{lists.levelStart(1, 0), lists.levelStart(2, 0), lists.levelStart(3, 2), lists.levelStart(2, 1),
                    lists.levelStart(4, 0), lists.levelStart(6, 0)}), (Ints{3, 5, 1, 1, 1, 8}));
    lists.ensurePart();
    EXPECT_EQ(doc.package().entries().value(kNumbering), numbering);
    doc.package().entries().insert(kNumbering, "<w:numbering><w:num>"), lists.read(), lists.ensurePart();
    EXPECT_TRUE(lists.abstractNums().isEmpty() && lists.numToAbstract().isEmpty());
    EXPECT_EQ(doc.package().entries().value(kNumbering), "<w:numbering><w:num>");
    const std::unique_ptr<DocxDocument> ownParts = DocxDocument::fromEntries({}, {});
    DocxDocument &own = *ownParts;
    DocxNumbering &ownLists = own.numbering();
    own.package().entries().insert(kTypes, kTypesPart), ownLists.ensurePart(), ownLists.ensurePart(), ownLists.read();
    EXPECT_EQ(overrides(own.package().entries().value(kTypes)) + relations(own.package().entries().value(kRels)),
              QStringList({"numbering.xml numbering+xml", "rId1 numbering numbering.xml"}));
    ASSERT_TRUE(ownLists.numLevel(1, 4) && ownLists.numLevel(2, 8) && !ownLists.numLevel(1, 9));
    EXPECT_EQ(ownLists.numLevel(1, 4)->numFmt + ownLists.numLevel(1, 4)->lvlText + ownLists.numLevel(2, 8)->numFmt + ownLists.numLevel(2, 8)->lvlText
                  + QString::number(ownLists.numLevel(2, 8)->indentPx), QString::fromUtf8("bullet\xE2\x97\xA6" "decimal%9.432"));
}
