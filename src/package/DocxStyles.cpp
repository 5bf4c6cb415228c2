// The style sheet, theme fonts and effective style properties.
#include "DocxStyles.h"

#include "DocxPackage.h"
#include "DocxPartXml.h"
#include "DocxLog.h"
#include "DocxNamespaces.h"
#include "DocxPartTypes.h"

#include <algorithm>
#include <limits>

namespace {

constexpr char kDocDefaultsKey[] = "__docDefaults__";
constexpr int kMaxStyleChain = 12;
constexpr char kNormalStyle[] =
    "<w:style w:type=\"paragraph\" w:default=\"1\" w:styleId=\"Normal\"><w:name w:val=\"Normal\"/></w:style>";
constexpr char kHeadingStyle[] =
    "<w:style w:type=\"paragraph\" w:styleId=\"Heading%1\"><w:name w:val=\"heading %1\"/>"
    "<w:basedOn w:val=\"Normal\"/><w:next w:val=\"Normal\"/><w:qFormat/><w:pPr><w:outlineLvl w:val=\"%2\"/>"
    "</w:pPr><w:rPr><w:b/><w:sz w:val=\"%3\"/><w:szCs w:val=\"%3\"/></w:rPr></w:style>";
constexpr char kHyperlinkStyle[] =
    "<w:style w:type=\"character\" w:styleId=\"Hyperlink\"><w:name w:val=\"Hyperlink\"/><w:uiPriority w:val=\"99\"/>"
    "<w:unhideWhenUsed/><w:rPr><w:color w:val=\"0563C1\"/><w:u w:val=\"single\"/></w:rPr></w:style>";
constexpr char kStyleWrapperOpen[] = "<w:styles xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">";
constexpr char kStyleWrapperClose[] = "</w:styles>";
constexpr int kHeadingSizes[] = {32, 28, 26, 24, 22, 22};  // half-points of Heading1 to Heading6


// Stores the attribute's value in `field` when it reads as a measure of
// `unitsPerPoint` (readMeasure) and passes `accept`; true when it did.
template <typename Accept>
bool readMeasureAttribute(const QDomElement &el, const char *localName, int unitsPerPoint, int &field, Accept accept)
{
    int v = 0;
    const bool ok = readMeasure(wAttr(el, QString::fromLatin1(localName)), unitsPerPoint, &v) && accept(v);
    if (ok)
        field = v;
    return ok;
}
// The same for a plain decimal number.
template <typename Accept>
bool readInt(const QDomElement &el, const char *localName, int &field, Accept accept)
{
    bool ok = false;
    const int v = wAttr(el, QString::fromLatin1(localName)).toInt(&ok);
    if (ok && accept(v))
        field = v;
    return ok && accept(v);
}
bool any(int) { return true; }
// An on/off attribute; false when absent.
bool onOffAttribute(const QDomElement &el, const char *localName)
{
    const QString v = wAttr(el, QString::fromLatin1(localName));
    return !v.isEmpty() && onOffText(v);
}
bool atLeastOne(int v) { return v >= 1; }
bool notNegative(int v) { return v >= 0; }

// A hanging indentation, stored negated (the one int that has no negation is
// kept as the largest first-line indentation).
int negatedHanging(int hanging)
{
    return hanging == std::numeric_limits<int>::min() ? std::numeric_limits<int>::max() : -hanging;
}

void readHanging(const QDomElement &ind, int &indFirstLine)
{
    int hanging = 0;
    if (readMeasure(wAttr(ind, QStringLiteral("hanging")), kTwipsPerPoint, &hanging))
        indFirstLine = negatedHanging(hanging);
}

}  // namespace

QString defaultStyleXml(const QString &styleId)
{
    if (styleId == QLatin1String("Normal"))
        return QString::fromLatin1(kNormalStyle);
    if (styleId == QLatin1String("Hyperlink"))
        return QString::fromLatin1(kHyperlinkStyle);
    if (!styleId.startsWith(QLatin1String("Heading")))
        return {};
    bool ok = false;
    const int n = QStringView(styleId).mid(7).toInt(&ok);
    if (!ok || n < 1 || n > 6)
        return {};
    return QString::fromLatin1(kHeadingStyle).arg(n).arg(n - 1).arg(kHeadingSizes[n - 1]);
}

DocxStyles::DocxStyles(DocxPackage &package) : package_(package) {}

DocxStyles::~DocxStyles() = default;

const DocxStyles &DocxStyles::loaded() const
{
    if (!loaded_) {
        // Reading on first use changes nothing a caller sees.
        auto *self = const_cast<DocxStyles *>(this);
        self->loaded_ = true;
        self->readTheme();
        self->readSheet();
    }
    return *this;
}

int DocxStyles::numberingStyleNum(const QString &styleId) const { return loaded().numberingStyles_.value(styleId, -1); }

void DocxStyles::readTheme()
{
    themeMajorFont_.clear();
    themeMinorFont_.clear();
    QDomDocument theme;
    QString err;
    if (!loadPart(package_.entries(), QString::fromLatin1(kPartTheme), theme, err))
        return;
    const QDomElement scheme = firstDescendantNS(theme, kNsDrawingMain, "fontScheme");
    if (scheme.isNull())
        return;
    auto latinTypeface = [&](const char *fontName) {
        const QDomElement latin = firstChildNS(firstChildNS(scheme, kNsDrawingMain, fontName), kNsDrawingMain, "latin");
        return latin.attribute(QStringLiteral("typeface"));
    };
    themeMajorFont_ = latinTypeface("majorFont");
    themeMinorFont_ = latinTypeface("minorFont");
}

QString DocxStyles::themeFont(const QString &name) const
{
    loaded();
    const QString lower = name.toLower();
    if (lower.startsWith(QLatin1String("major")))
        return themeMajorFont_;
    if (lower.startsWith(QLatin1String("minor")))
        return themeMinorFont_;
    return {};
}

namespace {

QString selectFont(const DocxStyles &doc, const QDomElement &rFonts)
{
    QString font = wAttr(rFonts, QStringLiteral("ascii"));
    if (font.isEmpty())
        font = wAttr(rFonts, QStringLiteral("hAnsi"));
    if (font.isEmpty())
        font = doc.themeFont(wAttr(rFonts, QStringLiteral("asciiTheme")));
    if (font.isEmpty())
        font = doc.themeFont(wAttr(rFonts, QStringLiteral("hAnsiTheme")));
    return font;
}

// Alignment, spacing and indentation of a w:pPr. Document defaults take
// spacing before and after from 1 up and, when w:firstLine does not convert,
// the hanging indentation; styles take spacing from 0 up and look at
// w:hanging only when w:firstLine is absent.
void readParagraphLayout(const QDomElement &pPr, StyleProps &s, bool docDefaults)
{
    const QDomElement jc = wChild(pPr, "jc");
    if (!jc.isNull())
        s.jc = wVal(jc);
    const QDomElement spacing = wChild(pPr, "spacing");
    if (!spacing.isNull()) {
        const auto spacingAccepted = docDefaults ? atLeastOne : notNegative;
        s.hasSpaceBefore = readMeasureAttribute(spacing, "before", kTwipsPerPoint, s.spaceBefore, spacingAccepted);
        s.hasSpaceAfter = readMeasureAttribute(spacing, "after", kTwipsPerPoint, s.spaceAfter, spacingAccepted);
        // Automatic spacing is the spacing web pages put around paragraphs.
        if (onOffAttribute(spacing, "beforeAutospacing"))
            s.spaceBefore = kAutoSpacingTwips, s.hasSpaceBefore = true;
        if (onOffAttribute(spacing, "afterAutospacing"))
            s.spaceAfter = kAutoSpacingTwips, s.hasSpaceAfter = true;
        readMeasureAttribute(spacing, "line", kTwipsPerPoint, s.line, atLeastOne);
        s.lineRule = wAttr(spacing, QStringLiteral("lineRule"));
    }
    const QDomElement contextual = wChild(pPr, "contextualSpacing");
    if (!contextual.isNull()) {
        s.hasContextualSpacing = true;
        s.contextualSpacing = onOffValue(contextual);
    }
    const QDomElement ind = wChild(pPr, "ind");
    if (ind.isNull())
        return;
    readMeasureAttribute(ind, "left", kTwipsPerPoint, s.indLeft, any);
    readMeasureAttribute(ind, "right", kTwipsPerPoint, s.indRight, any);
    int value = 0;
    const QString firstLine = wAttr(ind, QStringLiteral("firstLine"));
    if (readMeasure(firstLine, kTwipsPerPoint, &value))
        s.indFirstLine = value;
    else if (docDefaults || firstLine.isEmpty())
        readHanging(ind, s.indFirstLine);
}

DocxPropertyList readRunProperties(const QDomElement &rPr)
{
    DocxPropertyList list;
    for (QDomElement e = rPr.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        DocxPropertyElement prop{e.localName(), {}};
        const QDomNamedNodeMap attrs = e.attributes();
        for (int i = 0; i < attrs.count(); ++i) {
            const QDomAttr a = attrs.item(i).toAttr();
            if (isNamespace(a.namespaceURI(), kNsW))
                prop.attributes.append({a.localName(), a.value()});
        }
        list.append(prop);
    }
    return list;
}

StyleProps parseDocDefaults(const DocxStyles &doc, const QDomElement &docDefaults)
{
    StyleProps d;
    const QDomElement pPr = wChild(wChild(docDefaults, "pPrDefault"), "pPr");
    if (!pPr.isNull())
        readParagraphLayout(pPr, d, true);
    const QDomElement rPr = wChild(wChild(docDefaults, "rPrDefault"), "rPr");
    if (!rPr.isNull()) {
        d.runProperties = readRunProperties(rPr);
        readMeasureAttribute(wChild(rPr, "sz"), "val", kHalfPointsPerPoint, d.sizeHalfPts, atLeastOne);
        const QDomElement rFonts = wChild(rPr, "rFonts");
        if (!rFonts.isNull()) {
            const QString font = selectFont(doc, rFonts);
            if (!font.isEmpty())
                d.font = font;
        }
        const QDomElement color = wChild(rPr, "color");
        if (!color.isNull() && wVal(color) != QLatin1String("auto"))
            d.color = wVal(color);
    }
    return d;
}

}  // namespace

void DocxStyles::readSheet()
{
    styleMap_.clear();
    numberingStyles_.clear();
    defaultParagraphStyle_.clear();
    paragraphRunMemo_.clear();
    characterRunMemo_.clear();
    QDomDocument styles;
    if (!loadPresentPart(package_.entries(), QString::fromLatin1(kPartStyles), styles,
                         "DocxDocument: cannot parse styles.xml:"))
        return;
    const QDomElement root = firstDescendantNS(styles, kNsW, "styles");
    if (root.isNull())
        return;
    styleMap_.insert(QString::fromLatin1(kDocDefaultsKey), parseDocDefaults(*this, wChild(root, "docDefaults")));
    for (QDomElement s = root.firstChildElement(); !s.isNull(); s = s.nextSiblingElement()) {
        if (s.localName() != QLatin1String("style"))
            continue;
        const QString type = wAttr(s, QStringLiteral("type"));
        const QString id = wAttr(s, QStringLiteral("styleId"));
        if (id.isEmpty())
            continue;
        if (type == QLatin1String("paragraph") && defaultParagraphStyle_.isEmpty() && onOffAttribute(s, "default"))
            defaultParagraphStyle_ = id;
        if (type == QLatin1String("numbering")) {
            const int numId = parseStyleElement(s).numId;
            if (numId > 0)
                numberingStyles_.insert(id, numId);
        } else if (type == QLatin1String("paragraph") || type == QLatin1String("character")) {
            styleMap_.insert(id, parseStyleElement(s));
        }
    }
}

StyleProps DocxStyles::parseStyleElement(const QDomElement &el) const
{
    StyleProps s;
    const QDomElement basedOn = wChild(el, "basedOn");
    if (!basedOn.isNull())
        s.basedOn = wVal(basedOn);

    const QDomElement pPr = wChild(el, "pPr");
    if (!pPr.isNull()) {
        readParagraphLayout(pPr, s, false);
        const QDomElement outline = wChild(pPr, "outlineLvl");
        if (!outline.isNull())
            readInt(outline, "val", s.outlineLvl, any);
        const QDomElement numPr = wChild(pPr, "numPr");
        if (!numPr.isNull()) {
            readInt(wChild(numPr, "numId"), "val", s.numId, any);
            s.hasIlvl = readInt(wChild(numPr, "ilvl"), "val", s.ilvl, any);
        }
        const QDomElement pageBreak = wChild(pPr, "pageBreakBefore");
        if (!pageBreak.isNull()) {
            s.hasPageBreakBefore = true;
            s.pageBreakBefore = onOffValue(pageBreak);
        }
        s.keepNext = !wChild(pPr, "keepNext").isNull();
        s.keepLines = !wChild(pPr, "keepLines").isNull();
    }

    const QDomElement rPr = wChild(el, "rPr");
    if (!rPr.isNull()) {
        s.runProperties = readRunProperties(rPr);
        const QDomElement rFonts = wChild(rPr, "rFonts");
        if (!rFonts.isNull()) {
            const QString font = selectFont(*this, rFonts);
            if (!font.isEmpty())
                s.font = font;
        }
        readMeasureAttribute(wChild(rPr, "sz"), "val", kHalfPointsPerPoint, s.sizeHalfPts, atLeastOne);
        const QDomElement color = wChild(rPr, "color");
        if (!color.isNull() && wVal(color) != QLatin1String("auto"))
            s.color = wVal(color);
    }
    return s;
}

namespace {

// The ids of `styleId`'s basedOn chain, most basic first: at most
// kMaxStyleChain of them, stopping at a cycle or an id the map lacks.
QStringList styleChain(const QMap<QString, StyleProps> &styleMap, const QString &styleId)
{
    QStringList chain;
    for (QString current = styleId; !current.isEmpty();) {
        if (chain.size() >= kMaxStyleChain || chain.contains(current))
            break;
        chain.prepend(current);
        const auto it = styleMap.constFind(current);
        if (it == styleMap.cend())
            break;
        current = it->basedOn;
    }
    return chain;
}

// Run properties merged down a chain: toggles flip when a style turns them
// on, every other element replaces the one of its name.
class RunPropertyMerge
{
public:
    void add(const DocxPropertyList &list, bool absolute)
    {
        for (const DocxPropertyElement &prop : list) {
            if (DocxStyles::isToggleProperty(prop.name)) {
                const bool on = onOffText(prop.attribute(QLatin1String("val")));
                bool &state = toggles_[prop.name];
                state = absolute ? on : state != on;
                continue;
            }
            const auto same = std::find_if(merged_.begin(), merged_.end(),
                                           [&](const DocxPropertyElement &e) { return e.name == prop.name; });
            if (same != merged_.end())
                *same = prop;
            else
                merged_.append(prop);
        }
    }

    // `keepOff`: toggles that end off are listed as off instead of left out.
    DocxPropertyList result(bool keepOff) const
    {
        DocxPropertyList list = merged_;
        for (auto it = toggles_.cbegin(); it != toggles_.cend(); ++it) {
            if (it.value() || keepOff)
                list.append({it.key(), {{QStringLiteral("val"), it.value() ? QStringLiteral("1") : QStringLiteral("0")}}});
        }
        return list;
    }

private:
    DocxPropertyList merged_;
    QMap<QString, bool> toggles_;
};

}  // namespace

QString DocxPropertyElement::attribute(QLatin1String localName) const
{
    for (const auto &a : attributes) {
        if (a.first == localName)
            return a.second;
    }
    return {};
}

bool DocxStyles::isToggleProperty(const QString &name)
{
    static const QSet<QString> toggles = {
        QStringLiteral("b"),       QStringLiteral("bCs"),   QStringLiteral("i"),     QStringLiteral("iCs"),
        QStringLiteral("caps"),    QStringLiteral("smallCaps"), QStringLiteral("strike"), QStringLiteral("dstrike"),
        QStringLiteral("vanish"),  QStringLiteral("emboss"), QStringLiteral("imprint"), QStringLiteral("outline"),
        QStringLiteral("shadow"),
    };
    return toggles.contains(name);
}

DocxPropertyList DocxStyles::paragraphRunProperties(const QString &styleId) const
{
    loaded();
    const auto known = paragraphRunMemo_.constFind(styleId);
    if (known != paragraphRunMemo_.cend())
        return *known;
    RunPropertyMerge merge;
    merge.add(styleMap_.value(QString::fromLatin1(kDocDefaultsKey)).runProperties, true);
    for (const QString &id : styleChain(styleMap_, styleId.isEmpty() ? defaultParagraphStyle_ : styleId))
        merge.add(styleMap_.value(id).runProperties, false);
    return paragraphRunMemo_[styleId] = merge.result(true);
}

DocxPropertyList DocxStyles::characterRunProperties(const QString &styleId) const
{
    loaded();
    const auto known = characterRunMemo_.constFind(styleId);
    if (known != characterRunMemo_.cend())
        return *known;
    RunPropertyMerge merge;
    for (const QString &id : styleChain(styleMap_, styleId))
        merge.add(styleMap_.value(id).runProperties, false);
    return characterRunMemo_[styleId] = merge.result(false);
}

StyleProps DocxStyles::resolveStyle(const QString &styleId) const
{
    loaded();
    StyleProps result = styleMap_.value(QString::fromLatin1(kDocDefaultsKey));
    if (styleId.isEmpty())
        return result;

    const QStringList chain = styleChain(styleMap_, styleId);

    for (const QString &id : chain) {
        const auto it = styleMap_.constFind(id);
        if (it == styleMap_.cend())
            continue;
        const StyleProps &s = *it;
        auto takeText = [](QString &field, const QString &v) {
            if (!v.isEmpty())
                field = v;
        };
        takeText(result.font, s.font);
        takeText(result.color, s.color);
        takeText(result.jc, s.jc);
        takeText(result.lineRule, s.lineRule);
        auto takePositive = [](int &field, int v) {
            if (v > 0)
                field = v;
        };
        takePositive(result.sizeHalfPts, s.sizeHalfPts);
        // Spacing a style gives, 0 included, replaces what it is based on.
        if (s.hasSpaceBefore)
            result.spaceBefore = s.spaceBefore, result.hasSpaceBefore = true;
        if (s.hasSpaceAfter)
            result.spaceAfter = s.spaceAfter, result.hasSpaceAfter = true;
        if (s.hasContextualSpacing)
            result.contextualSpacing = s.contextualSpacing, result.hasContextualSpacing = true;
        takePositive(result.line, s.line);
        auto takeNonZero = [](int &field, int v) {
            if (v != 0)
                field = v;
        };
        takeNonZero(result.indLeft, s.indLeft);
        takeNonZero(result.indRight, s.indRight);
        takeNonZero(result.indFirstLine, s.indFirstLine);
        auto takeFlag = [](bool &field, bool &has, bool v, bool sHas) {
            if (sHas) {
                field = v;
                has = true;
            }
        };
        takeFlag(result.pageBreakBefore, result.hasPageBreakBefore, s.pageBreakBefore, s.hasPageBreakBefore);
        result.keepNext = result.keepNext || s.keepNext;
        result.keepLines = result.keepLines || s.keepLines;
        if (s.outlineLvl >= 0)
            result.outlineLvl = s.outlineLvl;
        // The list and its level may come from different styles of the chain.
        if (s.numId >= 0)
            result.numId = s.numId;
        if (s.hasIlvl) {
            result.ilvl = s.ilvl;
            result.hasIlvl = true;
        }
    }
    return result;
}

void DocxStyles::ensureStyle(const QString &styleId)
{
    if (styleId.isEmpty())
        return;
    const QString name = QString::fromLatin1(kPartStyles);
    if (!package_.entries().contains(name))
        package_.entries().insert(name, declaredXml(kCrlf, QByteArray(kStyleWrapperOpen) + kNormalStyle + kStyleWrapperClose));
    const bool known = stylesRead_.isSharedWith(package_.entries().value(name)) && stylesPresent_.contains(styleId);
    if (!known && !addBuiltInStyle(styleId))
        return;
    package_.contentTypes().ensureOverride(QStringLiteral("/word/styles.xml"), QString::fromLatin1(kContentTypeStyles));
    package_.relationships().ensureRelOfType(package_.mainRelsPart(), QString::fromLatin1(kRelTypeStyles),
                                             relativeTarget(package_.mainPart(), name));
}

bool DocxStyles::addBuiltInStyle(const QString &styleId)
{
    const QString name = QString::fromLatin1(kPartStyles);
    QDomDocument styles;
    QString err;
    if (!loadPart(package_.entries(), name, styles, err)) {
        documentDebug() << "ensureParagraphStyle: cannot parse styles.xml:" << err;
        return false;
    }
    QDomElement root = styles.documentElement();
    if (root.isNull())
        return false;
    QSet<QString> present;
    for (const QDomElement &style : elementsNS(styles, kNsW, "style"))
        present.insert(wAttr(style, QStringLiteral("styleId")));
    const QString fragment = present.contains(styleId) ? QString() : defaultStyleXml(styleId);
    QDomDocument wrapped;
    const QByteArray xml = QByteArray(kStyleWrapperOpen) + fragment.toUtf8() + kStyleWrapperClose;
    if (!fragment.isEmpty() && parseXml(xml, wrapped, err) && !wrapped.documentElement().firstChildElement().isNull()) {
        root.appendChild(styles.importNode(wrapped.documentElement().firstChildElement(), true));
        present.insert(styleId);
        storePart(package_.entries(), name, styles, kCompactPart);
    }
    // The sheet as it stands now, so that asking for these ids again reads nothing.
    stylesRead_ = package_.entries().value(name);
    stylesPresent_ = present;
    return true;
}
