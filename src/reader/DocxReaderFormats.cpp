// Character formats of runs: the document defaults, the paragraph style, the
// run's character style and its own w:rPr, in that order, as word processors
// combine them.
#include "DocxNamespaces.h"
#include "DocxReaderInternal.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QTextCharFormat>

namespace {

constexpr int kBoldWeight = 700;
constexpr int kNormalWeight = 400;

// A run property as the Reader looks at it: an element of a w:rPr in a tree,
// or one kept from a style sheet.
class Property
{
public:
    explicit Property(const QDomElement &el) : el_(&el), name_(el.localName()) {}
    explicit Property(const DocxPropertyElement &prop) : prop_(&prop), name_(prop.name) {}

    const QString &name() const { return name_; }
    QString attr(const char *localName) const
    {
        return el_ ? nsAttribute(*el_, kNsW, QString::fromLatin1(localName))
                   : prop_->attribute(QLatin1String(localName));
    }
    QString val() const { return attr("val"); }

private:
    const QDomElement *el_ = nullptr;
    const DocxPropertyElement *prop_ = nullptr;
    QString name_;
};

const QHash<QString, QColor> &highlightColors()
{
    static const QHash<QString, QColor> colors = {
        {QStringLiteral("yellow"), Qt::yellow},         {QStringLiteral("green"), Qt::green},
        {QStringLiteral("cyan"), Qt::cyan},             {QStringLiteral("magenta"), Qt::magenta},
        {QStringLiteral("red"), Qt::red},               {QStringLiteral("blue"), Qt::blue},
        {QStringLiteral("darkBlue"), Qt::darkBlue},     {QStringLiteral("darkRed"), Qt::darkRed},
        {QStringLiteral("darkGray"), Qt::darkGray},     {QStringLiteral("lightGray"), Qt::lightGray},
        {QStringLiteral("black"), Qt::black},           {QStringLiteral("white"), Qt::white},
        {QStringLiteral("darkGreen"), Qt::darkGreen},   {QStringLiteral("darkCyan"), Qt::darkCyan},
        {QStringLiteral("darkMagenta"), Qt::darkMagenta}, {QStringLiteral("darkYellow"), Qt::darkYellow},
    };
    return colors;
}

QTextCharFormat::UnderlineStyle underlineStyle(const QString &val)
{
    if (val.isEmpty() || val == QLatin1String("none"))
        return QTextCharFormat::NoUnderline;
    if (val.startsWith(QLatin1String("dotDotDash")))
        return QTextCharFormat::DashDotDotLine;
    if (val.startsWith(QLatin1String("dotDash")) || val.startsWith(QLatin1String("dashDot")))
        return QTextCharFormat::DashDotLine;
    if (val.startsWith(QLatin1String("dotted")))
        return QTextCharFormat::DotLine;
    if (val.startsWith(QLatin1String("dash")))
        return QTextCharFormat::DashUnderline;
    if (val.startsWith(QLatin1String("wav")))
        return QTextCharFormat::WaveUnderline;
    return QTextCharFormat::SingleUnderline;
}

// An RRGGBB colour value; invalid for "auto" and anything else.
QColor hexColor(const QString &val)
{
    if (val.size() != 6)
        return {};
    const QColor c(QLatin1Char('#') + val);
    return c;
}

bool isOn(const QTextCharFormat &cf, const QString &name)
{
    if (name == QLatin1String("b"))
        return cf.fontWeight() >= QFont::Bold;
    if (name == QLatin1String("i"))
        return cf.fontItalic();
    if (name == QLatin1String("strike") || name == QLatin1String("dstrike"))
        return cf.fontStrikeOut();
    if (name == QLatin1String("caps"))
        return cf.fontCapitalization() == QFont::AllUppercase;
    if (name == QLatin1String("smallCaps"))
        return cf.fontCapitalization() == QFont::SmallCaps;
    if (name == QLatin1String("vanish"))
        return cf.boolProperty(HiddenTextProperty);
    return false;
}

void setToggle(QTextCharFormat &cf, const QString &name, bool on)
{
    if (name == QLatin1String("b")) {
        cf.setFontWeight(on ? kBoldWeight : kNormalWeight);
    } else if (name == QLatin1String("i")) {
        cf.setFontItalic(on);
    } else if (name == QLatin1String("strike") || name == QLatin1String("dstrike")) {
        cf.setFontStrikeOut(on);
    } else if (name == QLatin1String("caps")) {
        cf.setFontCapitalization(on ? QFont::AllUppercase : QFont::MixedCase);
    } else if (name == QLatin1String("smallCaps")) {
        if (on || cf.fontCapitalization() == QFont::SmallCaps)
            cf.setFontCapitalization(on ? QFont::SmallCaps : QFont::MixedCase);
    } else if (name == QLatin1String("vanish")) {
        if (on)
            cf.setProperty(HiddenTextProperty, true);
        else
            cf.clearProperty(HiddenTextProperty);
    }
}

void setFonts(QTextCharFormat &cf, const Property &p, const DocxDocument &doc)
{
    QString latin = p.attr("ascii");
    if (latin.isEmpty())
        latin = p.attr("hAnsi");
    if (latin.isEmpty())
        latin = doc.styles().themeFont(p.attr("asciiTheme"));
    if (latin.isEmpty())
        latin = doc.styles().themeFont(p.attr("hAnsiTheme"));
    // The families hold the Latin font first and the East Asian one second;
    // each attribute replaces only its own, the other stays as inherited.
    const QStringList inherited = cf.fontFamilies().toStringList();
    if (latin.isEmpty())
        latin = inherited.value(0);
    QString eastAsian = p.attr("eastAsia");
    if (eastAsian.isEmpty())
        eastAsian = inherited.value(1);
    QStringList families;
    if (!latin.isEmpty())
        families.append(latin);
    if (!eastAsian.isEmpty() && eastAsian != latin)
        families.append(eastAsian);
    if (!families.isEmpty())
        cf.setFontFamilies(families);
}

// One property; `toggle`: a toggle property flips what `cf` has instead of
// setting it (how styles combine).
void applyProperty(const Property &p, QTextCharFormat &cf, const DocxDocument &doc, bool toggle)
{
    const QString &name = p.name();
    if (DocxStyles::isToggleProperty(name)) {
        const bool on = onOffText(p.val());
        setToggle(cf, name, toggle ? isOn(cf, name) != on : on);
    } else if (name == QLatin1String("u")) {
        const QTextCharFormat::UnderlineStyle style = underlineStyle(p.val());
        cf.setUnderlineStyle(style);
        const QColor color = hexColor(p.attr("color"));
        if (style != QTextCharFormat::NoUnderline && color.isValid())
            cf.setUnderlineColor(color);
    } else if (name == QLatin1String("vertAlign")) {
        const QString val = p.val();
        cf.setVerticalAlignment(val == QLatin1String("superscript") ? QTextCharFormat::AlignSuperScript
                                : val == QLatin1String("subscript") ? QTextCharFormat::AlignSubScript
                                                                     : QTextCharFormat::AlignNormal);
    } else if (name == QLatin1String("sz")) {
        int halfPoints = 0;
        if (readMeasure(p.val(), kHalfPointsPerPoint, &halfPoints) && halfPoints >= 1)
            cf.setFontPointSize(boundedPointSize(halfPoints / 2.0));
    } else if (name == QLatin1String("rFonts")) {
        setFonts(cf, p, doc);
    } else if (name == QLatin1String("color")) {
        const QColor color = hexColor(p.val());
        if (color.isValid())
            cf.setForeground(QBrush(color));
        else if (p.val() == QLatin1String("auto"))
            cf.clearForeground();
    } else if (name == QLatin1String("highlight")) {
        const auto it = highlightColors().constFind(p.val());
        if (it != highlightColors().cend()) {
            cf.setBackground(QBrush(*it));
            cf.setProperty(HighlightProperty, true);
        } else if (p.val() == QLatin1String("none")) {
            cf.clearBackground();
            cf.clearProperty(HighlightProperty);
        }
    } else if (name == QLatin1String("shd")) {
        const QColor fill = hexColor(p.attr("fill"));
        if (fill.isValid() && !cf.boolProperty(HighlightProperty))
            cf.setBackground(QBrush(fill));
    }
}

}  // namespace

double boundedPointSize(double pointSize) { return qMin(pointSize, kMaxPointSize); }

QString runFontFamily(const QDomElement &rFonts)
{
    const QString ascii = wAttr(rFonts, QStringLiteral("ascii"));
    return ascii.isEmpty() ? wAttr(rFonts, QStringLiteral("hAnsi")) : ascii;
}

QTextCharFormat paragraphCharFormat(const DocxDocument &doc, const QString &styleId)
{
    QTextCharFormat cf;
    for (const DocxPropertyElement &prop : doc.styles().paragraphRunProperties(styleId))
        applyProperty(Property(prop), cf, doc, false);
    return cf;
}

QTextCharFormat runCharFormat(const QDomElement &run, const QTextCharFormat &base, const DocxDocument &doc)
{
    QTextCharFormat cf = base;
    const QDomElement rPr = firstChildByLocalName(run, QStringLiteral("rPr"));
    if (rPr.isNull())
        return cf;
    const QString charStyle = wVal(firstChildByLocalName(rPr, QStringLiteral("rStyle")));
    if (!charStyle.isEmpty()) {
        for (const DocxPropertyElement &prop : doc.styles().characterRunProperties(charStyle))
            applyProperty(Property(prop), cf, doc, true);
    }
    for (QDomElement c = rPr.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
        applyProperty(Property(c), cf, doc, false);
    return cf;
}
