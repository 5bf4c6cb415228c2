// The style sheet and theme fonts (effective properties along basedOn chains,
// adding the built-in paragraph styles) and the numbering tables (levels,
// start overrides, the library's own numbering part).
#include "DocxDocument.h"
#include "EditTestSupport.h"

#include <QVariant>

#include <climits>

using namespace testing_support;
using namespace edit_support;

namespace {

const QString kStyles = QStringLiteral("word/styles.xml"), kNumbering = QStringLiteral("word/numbering.xml");
const QString kTypes = QStringLiteral("[Content_Types].xml"), kRels = QStringLiteral("word/_rels/document.xml.rels");
const QByteArray kTypesPart = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types xmlns=\"" + QByteArray(kNsContentTypes)
    + "\"><Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>";
const QByteArray kTheme = "<a:theme xmlns:a=\"" + QByteArray(kNsDrawingMain)
    + "\"><a:themeElements><a:fontScheme name=\"f\"><a:majorFont><a:latin typeface=\"Cambria\"/></a:majorFont>"
      "<a:minorFont><a:latin typeface=\"Calibri\"/></a:minorFont></a:fontScheme></a:themeElements></a:theme>";

QByteArray wrap(const char *root, const QByteArray &content)
{
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:") + root + " xmlns:w=\"" + kNsW
        + "\">" + content + "</w:" + root + ">";
}

QByteArray style(const QByteArray &id, const QByteArray &basedOn, const QByteArray &inner = {},
                 const char *type = "paragraph")
{
    return "<w:style w:type=\"" + QByteArray(type) + "\" w:styleId=\"" + id + "\">"
        + (basedOn.isEmpty() ? QByteArray() : "<w:basedOn w:val=\"" + basedOn + "\"/>") + inner + "</w:style>";
}
QByteArray rPr(const QByteArray &inner) { return "<w:rPr>" + inner + "</w:rPr>"; }
QByteArray pPr(const QByteArray &inner) { return "<w:pPr>" + inner + "</w:pPr>"; }

QStringList styleIds(const QByteArray &sheet)
{
    QStringList ids;
    for (const QDomElement &s : elements(sheet, kNsW, "style"))
        ids << s.attributeNS(kNsW, "styleId");
    return ids;
}

// The fields of `p` that differ from `base`, as "name=value" words in field order.
QString differences(const StyleProps &p, const StyleProps &base)
{
    QStringList out;
    auto add = [&](const char *name, const QVariant &v, const QVariant &b) {
        if (v != b)
            out << QString::fromLatin1(name) + "=" + v.toString();
    };
#define LX_FIELD(f) add(#f, p.f, base.f)
    LX_FIELD(font), LX_FIELD(sizeHalfPts), LX_FIELD(bold), LX_FIELD(hasBold), LX_FIELD(italic), LX_FIELD(hasItalic);
    LX_FIELD(underline), LX_FIELD(hasUnderline), LX_FIELD(strike), LX_FIELD(hasStrike), LX_FIELD(color), LX_FIELD(jc);
    LX_FIELD(spaceBefore), LX_FIELD(spaceAfter), LX_FIELD(line), LX_FIELD(lineRule), LX_FIELD(indLeft), LX_FIELD(indRight);
    LX_FIELD(indFirstLine), LX_FIELD(pageBreakBefore), LX_FIELD(hasPageBreakBefore), LX_FIELD(keepNext);
    LX_FIELD(keepLines), LX_FIELD(outlineLvl), LX_FIELD(basedOn), LX_FIELD(numId), LX_FIELD(ilvl);
#undef LX_FIELD
    return out.join(' ');
}

}  // namespace

TEST(StylesNumbering, ResolvingMergesChainsAndCutsCyclesAndDepth)
{
    QByteArray sheet =
        "<w:docDefaults><w:rPrDefault><w:rPr><w:rFonts w:asciiTheme=\"minorHAnsi\"/><w:sz w:val=\"22\"/></w:rPr>"
        "</w:rPrDefault><w:pPrDefault><w:pPr><w:spacing w:before=\"0\" w:after=\"160\"/>"
        "<w:ind w:firstLine=\"x\" w:hanging=\"-2147483648\"/></w:pPr></w:pPrDefault></w:docDefaults>"
        + style("Normal", {}, pPr("<w:jc w:val=\"center\"/>")).replace("w:type", "w:default=\"1\" w:type")
        + style("A", "B", rPr("<w:b/><w:sz w:val=\"30\"/><w:color w:val=\"FF0000\"/>"))
        + style("B", "A", rPr("<w:b/><w:sz w:val=\"40\"/>")) + style("Loop", "Loop", rPr("<w:i/>"))
        + style("Bold", {}, rPr("<w:b/>")) + style("NotBold", "Bold", rPr("<w:b w:val=\"1\"/>"))
        + style("StillBold", "Bold", rPr("<w:b w:val=\"false\"/>")) + style("U0", {}, rPr("<w:u/>"))
        + style("U1", {}, rPr("<w:u w:val=\"single\"/><w:color w:val=\"auto\"/>"))
        + style("UNone", "U1", rPr("<w:u w:val=\"none\"/>"))
        + style("Space240", {}, pPr("<w:spacing w:before=\"240\"/>"))
        + style("Space0", "Space240", pPr("<w:spacing w:before=\"0\" w:line=\"0\"/>"))
        + style("Hang", {}, pPr("<w:ind w:hanging=\"360\"/>"))
        + style("HangMin", {}, pPr("<w:ind w:left=\"-2147483648\" w:hanging=\"-2147483648\"/>"))
        + style("BadFirst", {}, pPr("<w:ind w:firstLine=\"abc\" w:hanging=\"360\"/>"))
        + style("Major", {}, rPr("<w:rFonts w:asciiTheme=\"majorEastAsia\"/>"))
        + style("Junk", {}, pPr("<w:outlineLvl w:val=\"x\"/><w:numPr><w:numId w:val=\"1.5\"/><w:ilvl w:val=\"q\"/></w:numPr>")
                                + rPr("<w:sz w:val=\"big\"/>"))
        + style("Flags", {}, pPr("<w:spacing w:line=\"360\" w:lineRule=\"auto\"/><w:keepNext w:val=\"0\"/><w:keepLines/>"
                                 "<w:pageBreakBefore/><w:outlineLvl w:val=\"2\"/><w:numPr><w:ilvl w:val=\"1\"/>"
                                 "<w:numId w:val=\"4\"/></w:numPr>") + rPr("<w:strike/>"))
        + style("FlagsChild", "Flags", pPr("<w:pageBreakBefore w:val=\"false\"/><w:numPr><w:numId w:val=\"0\"/></w:numPr>"))
        + style("Grid", {}, rPr("<w:b/>"), "table") + style("Emph", {}, rPr("<w:i/>"), "character")
        + "<w:style w:type=\"paragraph\"><w:rPr><w:b/></w:rPr></w:style>";
    // S0 is based on S1 ... on S14.
    for (int i = 0; i < 15; ++i) {
        const QByteArray inner = i == 11 ? rPr("<w:color w:val=\"0B0B0B\"/>")
            : i == 12                   ? pPr("<w:jc w:val=\"right\"/>")
            : i == 14                   ? rPr("<w:rFonts w:ascii=\"Deep\"/>")
                                        : QByteArray();
        sheet += style("S" + QByteArray::number(i), i < 14 ? "S" + QByteArray::number(i + 1) : QByteArray(), inner);
    }
    DocxDocument doc;
    doc.entries.insert(kStyles, wrap("styles", sheet));
    doc.entries.insert("word/theme/theme1.xml", kTheme);
    doc.parseTheme();
    doc.parseStyles();

    const StyleProps none = doc.resolveStyle({});  // the default paragraph style is not applied
    EXPECT_EQ(differences(none, StyleProps()), "font=Calibri sizeHalfPts=22 spaceAfter=160 indFirstLine=2147483647");
    const std::pair<const char *, const char *> cases[] = {
        {"Nope", ""},
        {"B", "sizeHalfPts=40 hasBold=true color=FF0000"},  // A, then B, then the cycle stops
        {"A", "sizeHalfPts=30 hasBold=true color=FF0000"},
        {"Loop", "italic=true hasItalic=true"},
        {"S0", "color=0B0B0B"},  // S0 and its 11 nearest ancestors
        {"S3", "font=Deep color=0B0B0B jc=right"},
        {"NotBold", "hasBold=true"},
        {"StillBold", "bold=true hasBold=true"},
        {"U0", "hasUnderline=true"},
        {"U1", "underline=true hasUnderline=true"},
        {"UNone", "hasUnderline=true"},
        {"Space0", "spaceBefore=240"},
        {"Hang", "indFirstLine=-360"},
        {"HangMin", "indLeft=-2147483648"},
        {"BadFirst", ""},  // a w:firstLine that is there wins, even unreadable
        {"Major", "font=Cambria"},
        {"Junk", ""},
        {"Flags", "strike=true hasStrike=true line=360 lineRule=auto pageBreakBefore=true hasPageBreakBefore=true "
                  "keepNext=true keepLines=true outlineLvl=2 numId=4 ilvl=1"},
        {"FlagsChild", "strike=true hasStrike=true line=360 lineRule=auto hasPageBreakBefore=true keepNext=true "
                       "keepLines=true outlineLvl=2 numId=0"},
    };
    for (const auto &[id, expected] : cases)
        EXPECT_EQ(differences(doc.resolveStyle(id), none), expected) << id;
    EXPECT_EQ(doc.styleMap.value("HangMin").indFirstLine, INT_MAX);  // no negation overflows
    EXPECT_EQ(doc.styleMap.value("BadFirst").indFirstLine, 0);
    EXPECT_TRUE(doc.styleMap.contains("Emph") && !doc.styleMap.contains("Grid") && !doc.styleMap.contains(""));

    // Without a theme the theme fonts give nothing; a sheet that does not
    // parse gives no styles at all.
    doc.entries.remove("word/theme/theme1.xml");
    doc.parseTheme();
    doc.parseStyles();
    EXPECT_TRUE(doc.resolveStyle("Major").font.isEmpty());
    EXPECT_EQ(doc.resolveStyle("S0").font, "");
    doc.entries.insert(kStyles, wrap("styles", style("A", {}, rPr("<w:b>"))));
    doc.parseStyles();
    EXPECT_TRUE(doc.styleMap.isEmpty());
    EXPECT_FALSE(doc.resolveStyle("A").bold);
}

TEST(StylesNumbering, EnsuringAParagraphStyleAddsOnlyWhatIsMissing)
{
    DocxDocument doc;
    doc.entries.insert(kTypes, kTypesPart);
    doc.ensureParagraphStyle({});
    EXPECT_EQ(doc.entries.size(), 1);
    doc.ensureParagraphStyle("Heading3");
    const QByteArray sheet = doc.entries.value(kStyles);
    EXPECT_EQ(styleIds(sheet), QStringList({"Normal", "Heading3"}));
    const QDomElement h3 = elements(sheet, kNsW, "style").last();
    EXPECT_EQ(wVal(firstElementNS(h3, "outlineLvl", kNsW)), "2");
    EXPECT_EQ(wVal(firstElementNS(h3, "sz", kNsW)) + wVal(firstElementNS(h3, "szCs", kNsW)), "2626");
    EXPECT_EQ(wVal(firstElementNS(h3, "basedOn", kNsW)), "Normal");
    EXPECT_EQ(overrides(doc.entries.value(kTypes)), QStringList("/word/styles.xml styles+xml"));
    EXPECT_EQ(relations(doc.entries.value(kRels)), QStringList("rId1 styles styles.xml"));

    const DocxEntryMap once = doc.entries;
    for (const char *id : {"Heading3", "Normal", "Title", "Heading7", "heading1", "Heading0", "Heading"})
        doc.ensureParagraphStyle(id);
    EXPECT_EQ(doc.entries, once);

    // A sheet that has the style is left byte for byte, however it is written.
    const QByteArray own = wrap("styles", "\n\t<w:style w:styleId='Heading1' w:type='paragraph' />\n");
    doc.entries.insert(kStyles, own);
    doc.ensureParagraphStyle("Heading1");
    EXPECT_EQ(doc.entries.value(kStyles), own);
    doc.ensureParagraphStyle("Heading2");
    EXPECT_EQ(styleIds(doc.entries.value(kStyles)), QStringList({"Heading1", "Heading2"}));
    EXPECT_EQ(wVal(firstElementNS(elements(doc.entries.value(kStyles), kNsW, "style").last(), "sz", kNsW)), "28");
    doc.entries.insert(kStyles, own);  // a sheet replaced between calls is read again
    doc.ensureParagraphStyle("Heading2");
    EXPECT_EQ(styleIds(doc.entries.value(kStyles)), QStringList({"Heading1", "Heading2"}));

    // A sheet that does not parse is never written, and nothing else is added.
    DocxDocument broken;
    broken.entries.insert(kTypes, kTypesPart);
    broken.entries.insert(kStyles, "<w:styles><w:style></w:styles>");
    const DocxEntryMap before = broken.entries;
    broken.ensureParagraphStyle("Heading1");
    EXPECT_EQ(broken.entries, before);
    // A registry and relationships that do not parse are left as they are; the
    // style sheet and the numbering part are still made.
    const QByteArray badTypes = "<Types><x></Types>", badRels = "<Relationships><x></Relationships>";
    broken.entries = {{kTypes, badTypes}, {kRels, badRels}};
    broken.ensureParagraphStyle("Heading1");
    broken.ensureNumberingPart();
    EXPECT_EQ(styleIds(broken.entries.value(kStyles)), QStringList({"Normal", "Heading1"}));
    EXPECT_TRUE(broken.entries.contains(kNumbering));
    EXPECT_EQ(broken.entries.value(kTypes) + broken.entries.value(kRels), badTypes + badRels);
}

TEST(StylesNumbering, LevelsOverridesAndIdsThatDoNotConvert)
{
    const QByteArray numbering = wrap(
        "numbering",
        "<w:abstractNum w:abstractNumId=\"0\">"
        "<w:lvl w:ilvl=\"0\"><w:start w:val=\"3\"/><w:numFmt w:val=\"lowerLetter\"/><w:lvlText w:val=\"%1)\"/>"
        "<w:pPr><w:ind w:left=\"1080\" w:hanging=\"360\"/></w:pPr><w:rPr><w:rFonts w:hAnsi=\"Symbol\"/>"
        "<w:sz w:val=\"22\"/></w:rPr></w:lvl>"
        "<w:lvl w:ilvl=\"1\"/><w:lvl w:ilvl=\"x\"><w:start w:val=\"9\"/></w:lvl>"
        "<w:lvl w:ilvl=\"2\"><w:start w:val=\"q\"/><w:rPr><w:sz w:val=\"0\"/></w:rPr></w:lvl></w:abstractNum>"
        "<w:abstractNum w:abstractNumId=\"x\"><w:lvl w:ilvl=\"0\"/></w:abstractNum>"
        "<w:abstractNum w:abstractNumId=\"5\"><w:lvl w:ilvl=\"0\"><w:start w:val=\"7\"/></w:lvl></w:abstractNum>"
        "<w:abstractNum w:abstractNumId=\"5\"><w:lvl w:ilvl=\"0\"><w:start w:val=\"8\"/></w:lvl></w:abstractNum>"
        "<w:num w:numId=\"0\"><w:abstractNumId w:val=\"0\"/></w:num>"
        "<w:num w:numId=\"abc\"><w:abstractNumId w:val=\"0\"/></w:num>"
        "<w:num w:numId=\"99999999999\"><w:abstractNumId w:val=\"0\"/></w:num>"
        "<w:num w:numId=\"1\"><w:abstractNumId w:val=\"0\"/></w:num>"
        "<w:num w:numId=\"2\"><w:abstractNumId w:val=\"42\"/><w:lvlOverride w:ilvl=\"0\"><w:startOverride w:val=\"5\"/>"
        "</w:lvlOverride></w:num>"
        "<w:num w:numId=\"3\"><w:abstractNumId w:val=\"0\"/><w:lvlOverride w:ilvl=\"0\"><w:startOverride w:val=\"5\"/>"
        "</w:lvlOverride><w:lvlOverride w:ilvl=\"z\"><w:startOverride w:val=\"6\"/></w:lvlOverride>"
        "<w:lvlOverride w:ilvl=\"1\"><w:startOverride w:val=\"q\"/></w:lvlOverride></w:num>"
        "<w:num w:numId=\"4\"><w:abstractNumId w:val=\"1.5\"/></w:num>"
        "<w:num w:numId=\"6\"><w:abstractNumId w:val=\"5\"/></w:num>");
    DocxDocument doc;
    doc.entries.insert(kNumbering, numbering);
    doc.parseNumbering();
    EXPECT_EQ(doc.abstractNums.keys(), QList<int>({0, 5}));
    EXPECT_EQ(doc.abstractNums.value(0).keys(), QList<int>({0, 1, 2}));
    EXPECT_EQ(doc.numToAbstract.keys(), QList<int>({1, 2, 3, 6}));
    ASSERT_NE(doc.numLevel(1, 0), nullptr);
    const NumLevel l0 = *doc.numLevel(1, 0), l1 = *doc.numLevel(3, 1), l2 = *doc.numLevel(1, 2);
    EXPECT_EQ(l0.numFmt + l0.lvlText + l0.font, "lowerLetter%1)Symbol");
    EXPECT_DOUBLE_EQ(l0.indentPx, 72.0);
    EXPECT_DOUBLE_EQ(l0.hangingPx, 24.0);
    EXPECT_DOUBLE_EQ(l0.sizePt, 11.0);
    EXPECT_EQ(l1.numFmt + l1.lvlText, "decimal%1.");
    EXPECT_DOUBLE_EQ(l1.indentPx + l1.hangingPx, 72.0);
    EXPECT_EQ(l2.start, 1);
    EXPECT_DOUBLE_EQ(l2.sizePt, 0.0);
    EXPECT_EQ(doc.levelStart(1, 0), 3);
    EXPECT_EQ(doc.levelStart(3, 0), 5);
    EXPECT_EQ(doc.levelStart(3, 1), 1);
    EXPECT_EQ(doc.numLevel(2, 0), nullptr);  // its abstract numbering does not exist
    EXPECT_EQ(doc.levelStart(2, 0), 5);
    EXPECT_EQ(doc.levelStart(2, 1), 1);
    EXPECT_EQ(doc.levelStart(6, 0), 8);  // the later abstract numbering of the same id
    EXPECT_EQ(doc.numLevel(0, 0), nullptr);
    EXPECT_EQ(doc.numLevel(1, 9), nullptr);
    EXPECT_EQ(doc.levelStart(4, 0), 1);
    EXPECT_EQ(doc.startOverrides.value(3).keys(), QList<int>({0}));

    // The library's part is added only to a package without one, and a part
    // that does not parse is left as it is.
    doc.ensureNumberingPart();
    EXPECT_EQ(doc.entries.value(kNumbering), numbering);
    const QByteArray broken = wrap("numbering", "<w:num>");
    doc.entries.insert(kNumbering, broken);
    doc.parseNumbering();
    EXPECT_TRUE(doc.abstractNums.isEmpty() && doc.numToAbstract.isEmpty() && doc.startOverrides.isEmpty());
    doc.ensureNumberingPart();
    EXPECT_EQ(doc.entries.value(kNumbering), broken);
}

TEST(StylesNumbering, TheLibrarysOwnNumberingPart)
{
    DocxDocument doc;
    doc.entries.insert(kTypes, kTypesPart);
    doc.ensureNumberingPart();
    ASSERT_TRUE(doc.entries.contains(kNumbering));
    EXPECT_EQ(overrides(doc.entries.value(kTypes)), QStringList("/word/numbering.xml numbering+xml"));
    EXPECT_EQ(relations(doc.entries.value(kRels)), QStringList("rId1 numbering numbering.xml"));
    const DocxEntryMap once = doc.entries;
    doc.ensureNumberingPart();
    EXPECT_EQ(doc.entries, once);

    doc.parseNumbering();
    EXPECT_EQ(doc.numToAbstract, (QMap<int, int>{{1, 0}, {2, 1}}));
    ASSERT_EQ(doc.abstractNums.value(0).size(), 9);
    ASSERT_EQ(doc.abstractNums.value(1).size(), 9);
    const QString bullets = QString::fromUtf8("\xE2\x80\xA2\xE2\x97\xA6\xE2\x96\xAA");
    for (int l = 0; l < 9; ++l) {
        const NumLevel *bullet = doc.numLevel(1, l), *decimal = doc.numLevel(2, l);
        ASSERT_TRUE(bullet && decimal);
        EXPECT_EQ(bullet->numFmt + decimal->numFmt, "bulletdecimal");
        EXPECT_EQ(bullet->lvlText, QString(bullets.at(l % 3)));
        EXPECT_EQ(decimal->lvlText, QStringLiteral("%%1.").arg(l + 1));
        EXPECT_DOUBLE_EQ(decimal->indentPx, (l + 1) * 720 / 15.0);
        EXPECT_DOUBLE_EQ(bullet->hangingPx, 24.0);
        EXPECT_EQ(doc.levelStart(2, l), 1);
    }
}
