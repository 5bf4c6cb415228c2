// Paragraph styles for headings, and numbering for list items: every list of
// the rich text a numbering instance of its own, starting at its first number,
// in its own label format.
#include "DocxRichText.h"
#include "DocxXml.h"
#include "DocxWriterInternal.h"

#include <QRegularExpression>
#include <QTextBlock>
#include <QTextList>

#include <cmath>

namespace {

constexpr int kMaxListLevel = 8;
constexpr int kHeadingLevels = 6;  // h1 to h6
constexpr int kBulletNumId = 1;   // the bullet list of the library's numbering part
constexpr int kNumberNumId = 2;   // its decimal list
constexpr int kLevelIndentStep = 720;  // twips per list level
constexpr int kHangingIndent = 360;    // twips the label stands left of the text
constexpr int kDefaultHalfPoints = 24;  // the size of text without a size of its own
constexpr int kTwipsPerHalfPoint = 10;
constexpr double kLabelCharacterEms = 0.6;  // the width of a label's character (a digit, a letter, a bullet)
constexpr double kLabelGapEms = 0.3;        // between the label and the text
constexpr char16_t kStartMark = 0xE000; // brackets a list's first number in its label prefix (see prepareHtml)

struct ListMembership
{
    bool item = false;
    int numId = 0;
    int ilvl = 0;
};

int listLevel(const QTextList *list) { return qBound(0, list->format().indent() - 1, kMaxListLevel); }

// A list of the rich text has a numbering instance of its own; a paragraph
// the Reader marked as a list item (and no list holds) takes the library's
// bullet or decimal list.
ListMembership listMembership(DocxListNumbering &lists, const QTextBlock &block)
{
    ListMembership m;
    if (const QTextList *list = block.textList()) {
        m.item = true;
        m.numId = lists.numIdOf(list);
        m.ilvl = listLevel(list);
    } else if (block.blockFormat().hasProperty(ListNumIdProperty)) {
        m.item = true;
        m.numId = block.blockFormat().boolProperty(ListBulletProperty) ? kBulletNumId : kNumberNumId;
        m.ilvl = qBound(0, block.blockFormat().intProperty(ListLevelProperty), kMaxListLevel);
    }
    return m;
}

// How a list labels its items.
struct ListLabel
{
    QString numFmt;     // w:numFmt
    QString bullet;     // the bullet character of a bullet list
    QString prefix;     // around the number of a numbered list
    QString suffix;
    int start = 1;

    QString key() const { return numFmt + QLatin1Char('\n') + bullet + QLatin1Char('\n') + prefix + QLatin1Char('\n') + suffix; }
    // w:lvlText of level `level`.
    QString levelText(int level) const
    {
        if (numFmt == QLatin1String("bullet"))
            return bullet;
        if (numFmt == QLatin1String("none"))
            return {};
        return prefix + QLatin1Char('%') + QString::number(level + 1) + suffix;
    }
};

// The prefix a list's label was given, less the first number the page gave
// the list (bracketed by kStartMark), which goes to `start`.
QString takeStart(const QString &prefix, int *start)
{
    if (!prefix.startsWith(QChar(kStartMark)))
        return prefix;
    const qsizetype close = prefix.indexOf(QChar(kStartMark), 1);
    if (close < 0)
        return prefix;
    bool ok = false;
    const int n = QStringView(prefix).mid(1, close - 1).toInt(&ok);
    if (ok)
        *start = qMax(0, n);
    return prefix.mid(close + 1);
}

ListLabel labelOf(const QTextListFormat &f)
{
    ListLabel label;
    label.prefix = takeStart(f.numberPrefix(), &label.start);
    label.suffix = f.hasProperty(QTextFormat::ListNumberSuffix) ? f.numberSuffix() : QStringLiteral(".");
    switch (f.style()) {
    case QTextListFormat::ListDisc: label.numFmt = QStringLiteral("bullet"), label.bullet = QStringLiteral("\u2022"); break;
    case QTextListFormat::ListCircle: label.numFmt = QStringLiteral("bullet"), label.bullet = QStringLiteral("\u25E6"); break;
    case QTextListFormat::ListSquare: label.numFmt = QStringLiteral("bullet"), label.bullet = QStringLiteral("\u25AA"); break;
    case QTextListFormat::ListLowerAlpha: label.numFmt = QStringLiteral("lowerLetter"); break;
    case QTextListFormat::ListUpperAlpha: label.numFmt = QStringLiteral("upperLetter"); break;
    case QTextListFormat::ListLowerRoman: label.numFmt = QStringLiteral("lowerRoman"); break;
    case QTextListFormat::ListUpperRoman: label.numFmt = QStringLiteral("upperRoman"); break;
    case QTextListFormat::ListDecimal: label.numFmt = QStringLiteral("decimal"); break;
    default: label.numFmt = QStringLiteral("none"); break;
    }
    if (label.numFmt == QLatin1String("bullet") || label.numFmt == QLatin1String("none"))
        label.prefix.clear(), label.suffix.clear();
    return label;
}

QByteArray attr(const char *name, const QString &value)
{
    return QByteArray(" w:") + name + "=\"" + escapeXmlAttribute(value) + '"';
}

QByteArray abstractNumXml(int id, const ListLabel &label)
{
    QByteArray xml = "<w:abstractNum" + attr("abstractNumId", QString::number(id)) + ">";
    for (int level = 0; level <= kMaxListLevel; ++level) {
        xml += "<w:lvl" + attr("ilvl", QString::number(level)) + "><w:start w:val=\"1\"/><w:numFmt"
            + attr("val", label.numFmt) + "/><w:lvlText" + attr("val", label.levelText(level))
            + "/><w:lvlJc w:val=\"left\"/><w:pPr><w:ind" + attr("left", QString::number((level + 1) * kLevelIndentStep))
            + attr("hanging", QString::number(kHangingIndent)) + "/></w:pPr></w:lvl>";
    }
    return xml + "</w:abstractNum>";
}

// The size of a paragraph's text in half-points: its heading style's, else
// its first run's, else the default.
int textHalfPoints(DocxDocument &doc, const QTextBlock &block)
{
    if (isHeadingBlock(block))
        return headingHalfPoints(doc, block);
    const QTextBlock::iterator first = block.begin();
    const double points = first.atEnd() ? 0.0 : first.fragment().charFormat().fontPointSize();
    return points > 0 ? int(std::lround(points * 2)) : kDefaultHalfPoints;
}

// The room a list item's label takes, in twips, at the size of its text.
int labelTwips(DocxDocument &doc, const QTextBlock &block)
{
    const int emTwips = textHalfPoints(doc, block) * kTwipsPerHalfPoint;
    int start = 0;
    const qsizetype characters = takeStart(block.textList()->itemText(block), &start).size();
    return int(std::lround((characters * kLabelCharacterEms + kLabelGapEms) * emTwips));
}

// The indentation of a list item where the numbering's does not fit: its
// margins added to its level's, and a hanging indent that holds its label.
QByteArray listItemIndentation(DocxDocument &doc, const QTextBlock &block, int level)
{
    const QTextBlockFormat bf = block.blockFormat();
    const int margin = int(std::lround(bf.leftMargin() * kTwipsPerPixel));
    const int right = int(std::lround(bf.rightMargin() * kTwipsPerPixel));
    const int hanging = qMax(kHangingIndent, labelTwips(doc, block));
    if (margin == 0 && right == 0 && hanging == kHangingIndent)
        return {};
    // The label stays where its level puts it; the text moves right as far as the label needs.
    const int left = (level + 1) * kLevelIndentStep + margin + hanging - kHangingIndent;
    return "<w:ind" + attr("left", QString::number(left)) + attr("right", QString::number(right))
        + attr("hanging", QString::number(hanging)) + "/>";
}

}  // namespace

bool isHeadingBlock(const QTextBlock &block)
{
    const int level = block.blockFormat().headingLevel();
    return level >= 1 && level <= kHeadingLevels;
}

int headingHalfPoints(DocxDocument &doc, const QTextBlock &block)
{
    const QString styleId = QStringLiteral("Heading%1").arg(block.blockFormat().headingLevel());
    if (doc.styles().styleMap().contains(styleId))
        return doc.styles().resolveStyle(styleId).sizeHalfPts;
    static const QRegularExpression size(QStringLiteral("<w:sz w:val=\"(\\d+)\""));
    return size.match(defaultStyleXml(styleId)).captured(1).toInt();
}

void setParagraphStyle(DocxBuildContext &ctx, DocxParagraphProperties &props, const QTextBlock &block)
{
    QString styleId = QStringLiteral("Normal");
    if (isHeadingBlock(block)) {
        styleId = QStringLiteral("Heading%1").arg(block.blockFormat().headingLevel());
        ctx.doc.styles().ensureStyle(styleId);
    } else if (ctx.templateStyleIsBase) {
        return;
    }
    props.set("pStyle", "<w:pStyle" + attr("val", styleId) + "/>");
}

int DocxListNumbering::numIdOf(const QTextList *list)
{
    const auto known = numIds_.constFind(list);
    if (known != numIds_.cend())
        return *known;
    if (!started_) {
        doc_.numbering().ensurePart();
        const DocxNumberingIds free = doc_.numbering().freeIds();
        nextAbstractId_ = free.abstractNumId;
        nextNumId_ = free.numId;
        started_ = true;
    }
    const ListLabel label = labelOf(list->format());
    int abstractId = abstractIds_.value(label.key(), -1);
    if (abstractId < 0) {
        abstractId = nextAbstractId_++;
        abstractIds_.insert(label.key(), abstractId);
        abstracts_ += abstractNumXml(abstractId, label);
    }
    const int numId = nextNumId_++;
    nums_ += "<w:num" + attr("numId", QString::number(numId)) + "><w:abstractNumId" + attr("val", QString::number(abstractId))
        + "/><w:lvlOverride" + attr("ilvl", QString::number(listLevel(list))) + "><w:startOverride"
        + attr("val", QString::number(label.start)) + "/></w:lvlOverride></w:num>";
    numIds_.insert(list, numId);
    return numId;
}

void DocxListNumbering::store()
{
    if (!nums_.isEmpty())
        doc_.numbering().addDefinitions(abstracts_, nums_);
    abstracts_.clear();
    nums_.clear();
}

void setListNumbering(DocxBuildContext &ctx, DocxParagraphProperties &props, const QTextBlock &block)
{
    const ListMembership m = listMembership(ctx.lists, block);
    if (m.item)
        ctx.doc.numbering().ensurePart();
    if (block.textList()) {
        const QByteArray ind = listItemIndentation(ctx.doc, block, m.ilvl);
        if (!ind.isEmpty())
            props.set("ind", ind);
    }
    props.set("numPr", m.item ? "<w:numPr><w:ilvl" + attr("val", QString::number(m.ilvl)) + "/><w:numId"
                               + attr("val", QString::number(m.numId)) + "/></w:numPr>"
                             : QByteArray());
}
