// Run properties: what a character format says, worked out once into a
// record, and that record written as the children of w:rPr, in the order the
// format wants them, as text or as a tree from the same code.
#include "DocxXml.h"
#include "DocxNamespaces.h"
#include "DocxWriterInternal.h"

#include <QGuiApplication>
#include <QPalette>
#include <QTextCharFormat>

#include <array>
#include <cmath>
#include <utility>

namespace {

constexpr double kHalfPointsPerPixel = 1.5;  // 96 pixels and 144 half points to the inch

// Half points of the sizes HTML names by keyword or <font size>, as Qt keeps
// them (an adjustment from -2 to 4 around the medium size), at the sizes
// browsers give them: 10, 13, 16, 18, 24, 32 and 48 pixels.
int adjustedHalfPoints(int adjustment)
{
    static const int sizes[] = {15, 20, 24, 27, 36, 48, 72};
    const int i = qBound(-2, adjustment, 4) + 2;
    return sizes[i];
}

QString hexColor(const QColor &c)
{
    return QStringLiteral("%1").arg(c.rgb() & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper();
}

// The w:highlight value of a colour that is one of the sixteen highlight
// colours; empty for any other.
QString highlightName(const QString &rgb)
{
    static const std::array<std::pair<const char *, const char *>, 16> colors = {{
        {"FFFF00", "yellow"}, {"00FF00", "green"}, {"00FFFF", "cyan"}, {"FF00FF", "magenta"},
        {"0000FF", "blue"}, {"FF0000", "red"}, {"000080", "darkBlue"}, {"008080", "darkCyan"},
        {"008000", "darkGreen"}, {"800080", "darkMagenta"}, {"800000", "darkRed"}, {"808000", "darkYellow"},
        {"808080", "darkGray"}, {"C0C0C0", "lightGray"}, {"000000", "black"}, {"FFFFFF", "white"},
    }};
    for (const auto &[hex, name] : colors) {
        if (rgb == QLatin1String(hex))
            return QString::fromLatin1(name);
    }
    return {};
}

int halfPointsOf(const QTextCharFormat &fmt, bool *relative)
{
    *relative = false;
    if (fmt.hasProperty(QTextFormat::FontPointSize) && fmt.fontPointSize() > 0)
        return int(std::lround(fmt.fontPointSize() * 2));
    if (fmt.hasProperty(QTextFormat::FontPixelSize) && fmt.intProperty(QTextFormat::FontPixelSize) > 0)
        return int(std::lround(fmt.intProperty(QTextFormat::FontPixelSize) * kHalfPointsPerPixel));
    if (fmt.hasProperty(QTextFormat::FontSizeAdjustment)) {
        *relative = true;
        return adjustedHalfPoints(fmt.intProperty(QTextFormat::FontSizeAdjustment));
    }
    return 0;
}

// Writes the children of w:rPr chosen by `which` into `sink`, which offers
// open(name), attr(name, value) and close() for each child element. With
// `sayOff`, a chosen property that is off is written as off (a style may
// say on), where the format has a way to say it.
template <typename Sink>
void visitRunProps(const DocxRunProps &r, DocxRunPropertySet which, Sink &sink, bool sayOff = false)
{
    auto on = [&](DocxRunProperty p) { return (which & p) != 0; };
    auto flag = [&](const char *name) {
        sink.open(name);
        sink.close();
    };
    auto value = [&](const char *name, const QString &v) {
        sink.open(name);
        sink.attr("val", v);
        sink.close();
    };
    auto toggle = [&](DocxRunProperty p, bool set, std::initializer_list<const char *> names) {
        if (!on(p) || !(set || sayOff))
            return;
        for (const char *name : names)
            set ? flag(name) : value(name, QStringLiteral("0"));
    };
    auto text = [&](DocxRunProperty p, const char *name, const QString &v, const char *off) {
        if (on(p) && (!v.isEmpty() || (sayOff && off)))
            value(name, v.isEmpty() ? QString::fromLatin1(off) : v);
    };
    text(RunStyle, "rStyle", r.style, nullptr);
    if (on(RunFonts) && !(r.font.isEmpty() && r.eastAsiaFont.isEmpty() && r.complexFont.isEmpty())) {
        sink.open("rFonts");
        if (!r.font.isEmpty()) {
            sink.attr("ascii", r.font);
            sink.attr("hAnsi", r.font);
        }
        if (!r.eastAsiaFont.isEmpty())
            sink.attr("eastAsia", r.eastAsiaFont);
        if (!r.complexFont.isEmpty())
            sink.attr("cs", r.complexFont);
        sink.close();
    }
    toggle(RunBold, r.bold, {"b", "bCs"});
    toggle(RunItalic, r.italic, {"i", "iCs"});
    toggle(RunCaps, r.caps, {"caps"});
    toggle(RunSmallCaps, r.smallCaps, {"smallCaps"});
    toggle(RunStrike, r.strike, {"strike"});
    text(RunColor, "color", r.color, "auto");
    if (on(RunSize) && r.halfPoints > 0) {
        const QString hp = QString::number(r.halfPoints);
        value("sz", hp);
        value("szCs", hp);
    }
    text(RunHighlight, "highlight", r.highlight, "none");
    text(RunUnderline, "u", r.underline, "none");
    if (on(RunShading) && (!r.shading.isEmpty() || sayOff)) {
        sink.open("shd");
        sink.attr("val", QStringLiteral("clear"));
        sink.attr("color", QStringLiteral("auto"));
        sink.attr("fill", r.shading.isEmpty() ? QStringLiteral("auto") : r.shading);
        sink.close();
    }
    text(RunVertAlign, "vertAlign", r.vertAlign, "baseline");
    toggle(RunRtl, r.rtl, {"rtl"});
}

class TextSink
{
public:
    explicit TextSink(QByteArray &out) : out_(out) {}
    void open(const char *name)
    {
        out_ += "<w:";
        out_ += name;
    }
    void attr(const char *name, const QString &value)
    {
        out_ += " w:";
        out_ += name;
        out_ += "=\"";
        out_ += escapeXmlAttribute(value);
        out_ += '"';
    }
    void close() { out_ += "/>"; }

private:
    QByteArray &out_;
};

// Into the w:rPr of an existing run: each child replaces the children of its
// name, in the place the order gives it; the fonts of w:rFonts are set on the
// element there (keeping the fonts of other scripts).
class EditSink
{
public:
    explicit EditSink(QDomElement run) : run_(run) {}
    void open(const char *name)
    {
        QDomElement props = rPr();
        const QList<QDomElement> old = childrenByLocalName(props, name);
        if (qstrcmp(name, "rFonts") == 0 && !old.isEmpty()) {
            current_ = old.first();
            return;
        }
        for (const QDomElement &e : old)
            props.removeChild(e);
        current_ = createW(run_.ownerDocument(), name);
        insertInOrder(props, current_, runPropertyOrder());
    }
    void attr(const char *name, const QString &value)
    {
        // a font named outright replaces the theme's font for those scripts
        current_.removeAttributeNS(QString::fromLatin1(kNsW), QString::fromLatin1(name) + QLatin1String("Theme"));
        setWAttr(current_, name, value);
    }
    void close() {}

private:
    QDomElement rPr()
    {
        QDomElement props = wChild(run_, "rPr");
        if (props.isNull()) {
            props = createW(run_.ownerDocument(), "rPr");
            run_.insertBefore(props, run_.firstChild());
        }
        return props;
    }

    QDomElement run_;
    QDomElement current_;
};

}  // namespace

QString underlineVal(const QTextCharFormat &fmt)
{
    switch (fmt.underlineStyle()) {
    case QTextCharFormat::DashUnderline: return QStringLiteral("dash");
    case QTextCharFormat::DotLine: return QStringLiteral("dotted");
    case QTextCharFormat::DashDotLine: return QStringLiteral("dotDash");
    case QTextCharFormat::DashDotDotLine: return QStringLiteral("dotDotDash");
    case QTextCharFormat::WaveUnderline: return QStringLiteral("wave");
    default: return QStringLiteral("single");
    }
}

DocxRunPropertySet DocxRunProps::present() const
{
    DocxRunPropertySet s = 0;
    auto mark = [&](bool said, DocxRunProperty p) {
        if (said)
            s |= p;
    };
    mark(!style.isEmpty(), RunStyle);
    mark(!(font.isEmpty() && eastAsiaFont.isEmpty() && complexFont.isEmpty()), RunFonts);
    mark(bold, RunBold);
    mark(italic, RunItalic);
    mark(caps, RunCaps);
    mark(smallCaps, RunSmallCaps);
    mark(strike, RunStrike);
    mark(!color.isEmpty(), RunColor);
    mark(halfPoints > 0, RunSize);
    mark(!highlight.isEmpty(), RunHighlight);
    mark(!underline.isEmpty(), RunUnderline);
    mark(!shading.isEmpty(), RunShading);
    mark(!vertAlign.isEmpty(), RunVertAlign);
    mark(rtl, RunRtl);
    return s;
}

DocxRunProps runPropsOf(const QTextCharFormat &fmt)
{
    DocxRunProps r;
    const QStringList families = fmt.fontFamilies().toStringList();
    if (!families.isEmpty() && !families.first().isEmpty())
        r.font = r.complexFont = families.first();
    r.bold = fmt.hasProperty(QTextFormat::FontWeight) && fmt.fontWeight() >= QFont::DemiBold;
    r.italic = fmt.fontItalic();
    const QFont::Capitalization caps = fmt.fontCapitalization();
    r.caps = caps == QFont::AllUppercase;
    r.smallCaps = caps == QFont::SmallCaps;
    r.strike = fmt.fontStrikeOut();
    if (fmt.fontUnderline() || fmt.underlineStyle() != QTextCharFormat::NoUnderline)
        r.underline = underlineVal(fmt);
    const QBrush fg = fmt.foreground();
    if (fg.style() != Qt::NoBrush && fg.color().isValid())
        r.color = hexColor(fg.color());
    const QBrush bg = fmt.background();
    if (bg.style() != Qt::NoBrush && bg.color().isValid() && bg.color().alpha() > 0) {
        const QString rgb = hexColor(bg.color());
        r.highlight = highlightName(rgb);
        if (r.highlight.isEmpty())
            r.shading = rgb;
    }
    if (fmt.verticalAlignment() == QTextCharFormat::AlignSuperScript)
        r.vertAlign = QStringLiteral("superscript");
    else if (fmt.verticalAlignment() == QTextCharFormat::AlignSubScript)
        r.vertAlign = QStringLiteral("subscript");
    r.halfPoints = halfPointsOf(fmt, &r.relativeSize);
    r.rtl = fmt.layoutDirection() == Qt::RightToLeft;
    return r;
}

void asHyperlinkRun(DocxRunProps &r)
{
    r.style = QString::fromLatin1(kHyperlinkStyle);
    // The colour and underline every link gets from the rich text say no
    // more than the style does.
    if (r.color == hexColor(QGuiApplication::palette().color(QPalette::Link)))
        r.color.clear();
    if (r.underline == QLatin1String("single"))
        r.underline.clear();
}

void appendRunPropsXml(QByteArray &out, const DocxRunProps &props, DocxRunPropertySet which)
{
    if ((props.present() & which) == 0)
        return;
    out += "<w:rPr>";
    TextSink sink(out);
    visitRunProps(props, which, sink);
    out += "</w:rPr>";
}

DocxRunPropertySet runPropsDiffer(const DocxRunProps &a, const DocxRunProps &b)
{
    DocxRunPropertySet s = 0;
    auto mark = [&](bool differ, DocxRunProperty p) {
        if (differ)
            s |= p;
    };
    mark(a.style != b.style, RunStyle);
    mark(a.font != b.font || a.eastAsiaFont != b.eastAsiaFont || a.complexFont != b.complexFont, RunFonts);
    mark(a.bold != b.bold, RunBold);
    mark(a.italic != b.italic, RunItalic);
    mark(a.caps != b.caps, RunCaps);
    mark(a.smallCaps != b.smallCaps, RunSmallCaps);
    mark(a.strike != b.strike, RunStrike);
    mark(a.color != b.color, RunColor);
    mark(a.halfPoints != b.halfPoints, RunSize);
    mark(a.highlight != b.highlight, RunHighlight);
    mark(a.underline != b.underline, RunUnderline);
    mark(a.shading != b.shading, RunShading);
    mark(a.vertAlign != b.vertAlign, RunVertAlign);
    mark(a.rtl != b.rtl, RunRtl);
    return s;
}

void setRunProperties(QDomElement run, const DocxRunProps &props, DocxRunPropertySet which)
{
    EditSink sink(run);
    visitRunProps(props, which, sink, true);
}
