// Rich-text blocks into w:p elements: alignment, runs, hyperlinks, breaks,
// pictures and page-number fields.
#include "DocxDocumentParts.h"
#include "DocxNamespaces.h"
#include "DocxDocumentRichText.h"
#include "DocxWriterInternal.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>

#include <cmath>
#include <tuple>
#include <utility>

namespace {

constexpr qint64 kEmuPerPixel = 9525;
constexpr int kDefaultPointSize = 12;
constexpr char kFieldResult[] = "1";
const QString &pageInstruction()
{
    static const QString s = QStringLiteral(" PAGE ");
    return s;
}
const QString &pageCountInstruction()
{
    static const QString s = QStringLiteral(" NUMPAGES ");
    return s;
}

bool isRunContent(const QDomElement &e)
{
    const QString n = e.localName();
    return n == QLatin1String("r") || n == QLatin1String("hyperlink") || n == QLatin1String("ins")
        || n == QLatin1String("del");
}

void removeChildren(QDomElement &parent, bool (*which)(const QDomElement &))
{
    for (QDomElement c = parent.firstChildElement(); !c.isNull();) {
        const QDomElement next = c.nextSiblingElement();
        if (which(c))
            parent.removeChild(c);
        c = next;
    }
}

void setAlignment(QDomDocument &dom, QDomElement &p, const QString &jcVal)
{
    QDomElement pPr = childElementNS(p, "pPr", kNsW);
    if (!pPr.isNull()) {
        for (const QDomElement &jc : childElementsByLocalName(pPr, QStringLiteral("jc")))
            pPr.removeChild(jc);
    }
    if (jcVal.isEmpty())
        return;
    if (pPr.isNull()) {
        pPr = createW(dom, "pPr");
        p.insertBefore(pPr, p.firstChild());
    }
    QDomElement jc = createW(dom, "jc");
    setWAttr(jc, "val", jcVal);
    insertInOrder(pPr, jc, paragraphPropertyOrder());
}

// What a run's w:rPr holds, worked out once from a character format.
struct RunProps
{
    QString font;
    bool bold = false;
    bool italic = false;
    bool strike = false;
    QString underline;  // w:u value, empty for none
    QString color;      // RRGGBB, empty for none
    QString vertAlign;  // empty for none
    int halfPoints = 0;  // 0: no size written
};

RunProps runPropsOf(const QTextCharFormat &fmt, bool withSize)
{
    RunProps r;
    const QStringList families = fmt.fontFamilies().toStringList();
    if (!families.isEmpty())
        r.font = families.first();
    r.bold = fmt.fontWeight() >= QFont::Bold;
    r.italic = fmt.fontItalic();
    r.strike = fmt.fontStrikeOut();
    if (fmt.fontUnderline() || fmt.underlineStyle() != QTextCharFormat::NoUnderline)
        r.underline = underlineVal(fmt);
    const QBrush fg = fmt.foreground();
    if (fg.style() != Qt::NoBrush && fg.color().isValid())
        r.color = QStringLiteral("%1").arg(fg.color().rgb() & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper();
    if (fmt.verticalAlignment() == QTextCharFormat::AlignSuperScript)
        r.vertAlign = QStringLiteral("superscript");
    else if (fmt.verticalAlignment() == QTextCharFormat::AlignSubScript)
        r.vertAlign = QStringLiteral("subscript");
    if (withSize) {
        const int points = int(std::lround(fmt.fontPointSize()));
        r.halfPoints = 2 * (points < 1 ? kDefaultPointSize : points);
    }
    return r;
}

QDomElement renderRunProps(QDomDocument &dom, const RunProps &r)
{
    QDomElement rPr = createW(dom, "rPr");
    auto add = [&](const char *name) {
        QDomElement e = createW(dom, name);
        rPr.appendChild(e);
        return e;
    };
    if (!r.font.isEmpty()) {
        QDomElement fonts = add("rFonts");
        for (const char *attr : {"ascii", "hAnsi", "cs"})
            setWAttr(fonts, attr, r.font);
    }
    for (const auto &[on, name, complex] : {std::tuple{r.bold, "b", "bCs"}, std::tuple{r.italic, "i", "iCs"}}) {
        if (on) {
            add(name);
            add(complex);
        }
    }
    if (r.strike)
        add("strike");
    for (const auto &[value, name] : {std::pair{&r.underline, "u"}, std::pair{&r.color, "color"},
                                      std::pair{&r.vertAlign, "vertAlign"}}) {
        if (!value->isEmpty())
            setWAttr(add(name), "val", *value);
    }
    if (r.halfPoints > 0) {
        setWAttr(add("sz"), "val", QString::number(r.halfPoints));
        setWAttr(add("szCs"), "val", QString::number(r.halfPoints));
    }
    return rPr;
}

// The same w:rPr as text, as the XML writer would write that tree.
// Appends <w:`name` w:val="`value`"/>, the value already escaped; piece by
// piece, as this runs for every run written.
void appendValElement(QByteArray &out, const char *name, const QByteArray &value)
{
    out += "<w:";
    out += name;
    out += " w:val=\"";
    out += value;
    out += "\"/>";
}

void appendRunPropsXml(QByteArray &out, const RunProps &r)
{
    const qsizetype mark = out.size();
    out += "<w:rPr>";
    if (!r.font.isEmpty()) {
        const QByteArray f = escapeXmlAttribute(r.font);
        for (const char *attr : {"<w:rFonts w:ascii=\"", "\" w:cs=\"", "\" w:hAnsi=\""}) {
            out += attr;
            out += f;
        }
        out += "\"/>";
    }
    if (r.bold)
        out += "<w:b/><w:bCs/>";
    if (r.italic)
        out += "<w:i/><w:iCs/>";
    if (r.strike)
        out += "<w:strike/>";
    for (const auto &[value, name] : {std::pair{&r.underline, "u"}, std::pair{&r.color, "color"},
                                      std::pair{&r.vertAlign, "vertAlign"}}) {
        if (!value->isEmpty())
            appendValElement(out, name, escapeXmlAttribute(*value));
    }
    if (r.halfPoints > 0) {
        const QByteArray hp = QByteArray::number(r.halfPoints);
        appendValElement(out, "sz", hp);
        appendValElement(out, "szCs", hp);
    }
    if (out.size() == mark + 7)
        out.truncate(mark);  // nothing to say: no w:rPr
    else
        out += "</w:rPr>";
}

bool keepsEdgeSpaces(const QString &text)
{
    return text.startsWith(QLatin1Char(' ')) || text.endsWith(QLatin1Char(' '));
}

QDomElement runHolding(QDomDocument &dom, const QDomElement &content, const RunProps *props)
{
    QDomElement r = createW(dom, "r");
    if (props) {
        const QDomElement rPr = renderRunProps(dom, *props);
        if (rPr.hasChildNodes())
            r.appendChild(rPr);
    }
    r.appendChild(content);
    return r;
}

QDomElement textRun(QDomDocument &dom, const QString &text, const RunProps &props)
{
    QDomElement t = createW(dom, "t");
    if (keepsEdgeSpaces(text))
        preserveSpace(t);
    t.appendChild(dom.createTextNode(text));
    return runHolding(dom, t, &props);
}

QDomElement breakRun(QDomDocument &dom, bool page)
{
    QDomElement br = createW(dom, "br");
    if (page)
        setWAttr(br, "type", QStringLiteral("page"));
    return runHolding(dom, br, nullptr);
}

// The five runs of a complex field whose result stands for a page number or count.
QList<QDomElement> fieldRuns(QDomDocument &dom, const QString &instruction, const RunProps &props)
{
    auto fieldChar = [&](const char *type) {
        QDomElement c = createW(dom, "fldChar");
        setWAttr(c, "fldCharType", QString::fromLatin1(type));
        return runHolding(dom, c, &props);
    };
    QDomElement instr = createW(dom, "instrText");
    preserveSpace(instr);
    instr.appendChild(dom.createTextNode(instruction));
    return {fieldChar("begin"), runHolding(dom, instr, &props), fieldChar("separate"),
            textRun(dom, QString::fromLatin1(kFieldResult), props), fieldChar("end")};
}

int drawingId(const QString &rId)
{
    bool ok = false;
    const int n = rId.startsWith(QLatin1String("rId")) ? QStringView(rId).mid(3).toInt(&ok) : 0;
    return ok && n >= 1 ? n : 1;
}

// Runs made as trees into a paragraph element (or a hyperlink inside it).
class TreeRuns
{
public:
    explicit TreeRuns(QDomElement p) : dom_(p.ownerDocument()), p_(p), container_(p) {}

    QDomDocument &dom() { return dom_; }
    void openLink(const QString &rId)
    {
        QDomElement link = createW(dom_, "hyperlink");
        link.setAttributeNS(QString::fromLatin1(kNsR), QStringLiteral("r:id"), rId);
        p_.appendChild(link);
        container_ = link;
    }
    void closeLink() { container_ = p_; }
    void text(const QString &text, const RunProps &props) { add(textRun(dom_, text, props)); }
    void lineBreak(bool page) { p_.appendChild(breakRun(dom_, page)); }
    void add(const QDomElement &run)
    {
        container_.appendChild(run);
        wrote_ = true;
    }
    bool wroteAny() const { return wrote_; }

private:
    QDomDocument dom_;
    QDomElement p_;
    QDomElement container_;
    bool wrote_ = false;
};

// Runs written straight out as text, for new paragraphs of a body rewritten
// as bytes: the scope must bind "w" and "r" to their namespaces.
class TextRuns
{
public:
    TextRuns(QDomDocument &scratch, const DocxNamespaceBindings &scope) : dom_(scratch), scope_(scope) {}

    QDomDocument &dom() { return dom_; }
    void openLink(const QString &rId) { out_ += "<w:hyperlink r:id=\"" + escapeXmlAttribute(rId) + "\">"; }
    void closeLink() { out_ += "</w:hyperlink>"; }
    void text(const QString &text, const RunProps &props)
    {
        out_ += "<w:r>";
        appendRunPropsXml(out_, props);
        out_ += keepsEdgeSpaces(text) ? "<w:t xml:space=\"preserve\">" : "<w:t>";
        out_ += escapeXmlText(text);
        out_ += "</w:t></w:r>";
        wrote_ = true;
    }
    void lineBreak(bool page) { out_ += page ? "<w:r><w:br w:type=\"page\"/></w:r>" : "<w:r><w:br/></w:r>"; }
    void add(const QDomElement &run)
    {
        out_ += serializeXmlElement(run, scope_);
        wrote_ = true;
    }
    bool wroteAny() const { return wrote_; }
    const QByteArray &xml() const { return out_; }

private:
    QDomDocument &dom_;
    const DocxNamespaceBindings &scope_;
    QByteArray out_;
    bool wrote_ = false;
};

// A fragment's text: text runs, a break run for each line feed or line
// separator (how rich text holds a line break inside a paragraph), and a live
// field for each page placeholder (their own characters cannot be stored).
template <typename Runs>
void emitText(Runs &runs, const QString &text, const QTextCharFormat &fmt, const RunProps &props)
{
    QString pending;
    auto flush = [&]() {
        if (!pending.isEmpty())
            runs.text(pending, props);
        pending.clear();
    };
    for (const QChar c : text) {
        if (c == QLatin1Char('\n') || c == QChar::LineSeparator) {
            flush();
            runs.add(breakRun(runs.dom(), false));
        } else if (c == QChar(kPageNumberPlaceholder) || c == QChar(kPageCountPlaceholder)) {
            flush();
            const QString stored = fmt.property(FieldInstructionProperty).toString();
            const QString &fallback = c == QChar(kPageNumberPlaceholder) ? pageInstruction() : pageCountInstruction();
            for (const QDomElement &run : fieldRuns(runs.dom(), stored.isEmpty() ? fallback : stored, props))
                runs.add(run);
        } else {
            pending += c;
        }
    }
    flush();
}

template <typename Runs>
void emitPicture(DocxDocument &doc, Runs &runs, const QTextBlock &block, const QTextImageFormat &ifmt)
{
    int wpx = 0, hpx = 0;
    const QString rId = imageRelId(doc, block.document(), ifmt, &wpx, &hpx);
    if (rId.isEmpty() || wpx < 1 || hpx < 1)
        return;
    runs.add(makeDrawingRun(runs.dom(), rId, qint64(wpx) * kEmuPerPixel, qint64(hpx) * kEmuPerPixel, drawingId(rId)));
}

// The content of one block: consecutive fragments with the same link target
// share one hyperlink; generated list labels are not content.
template <typename Runs>
void emitBlock(DocxDocument &doc, Runs &runs, const QTextBlock &block, bool withSizes)
{
    QString curHref;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment frag = it.fragment();
        if (!frag.isValid())
            continue;
        const QTextCharFormat fmt = frag.charFormat();
        if (fmt.boolProperty(ListLabelProperty))
            continue;
        const QString href = fmt.isAnchor() ? fmt.anchorHref() : QString();
        if (href != curHref) {
            if (!curHref.isEmpty())
                runs.closeLink();
            curHref = href;
            const QString rId = href.isEmpty() ? QString() : doc.addHyperlinkRel(href);
            if (!rId.isEmpty())
                runs.openLink(rId);
            else
                curHref.clear();  // the next fragment with that target tries again
        }
        if (fmt.isImageFormat()) {
            for (int i = 0; i < frag.length(); ++i)
                emitPicture(doc, runs, block, fmt.toImageFormat());
        } else {
            emitText(runs, frag.text(), fmt, runPropsOf(fmt, withSizes));
        }
    }
    if (!curHref.isEmpty())
        runs.closeLink();
}

// The blocks of one paragraph, joined by line breaks (page breaks where a
// block starts a page); an empty paragraph still carries one run.
template <typename Runs>
void emitBlocks(DocxDocument &doc, Runs &runs, const QList<QTextBlock> &blocks, bool withSizes)
{
    for (qsizetype i = 0; i < blocks.size(); ++i) {
        if (i > 0)
            runs.lineBreak(blocks[i].blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore);
        emitBlock(doc, runs, blocks[i], withSizes);
    }
    if (!runs.wroteAny())
        runs.add(runHolding(runs.dom(), createW(runs.dom(), "t"), nullptr));
}

}  // namespace

const QStringList &paragraphPropertyOrder()
{
    static const QStringList order = QStringLiteral(
        "pStyle keepNext keepLines pageBreakBefore framePr widowControl numPr suppressLineNumbers pBdr shd "
        "tabs suppressAutoHyphens kinsoku wordWrap overflowPunct topLinePunct autoSpaceDE autoSpaceDN bidi "
        "adjustRightInd snapToGrid spacing ind contextualSpacing mirrorIndents suppressOverlap jc "
        "textDirection textAlignment textboxTightWrap outlineLvl divId cnfStyle rPr sectPr pPrChange")
                                         .split(QLatin1Char(' '));
    return order;
}

QString alignmentJc(const QTextBlock &block)
{
    const int a = int(block.blockFormat().alignment()) & 31;
    if (a & Qt::AlignHCenter)
        return QStringLiteral("center");
    if (a & Qt::AlignRight)
        return QStringLiteral("right");
    if (a & Qt::AlignJustify)
        return QStringLiteral("both");
    return {};
}

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

QDomElement makeRunProps(QDomDocument &dom, const QTextCharFormat &fmt)
{
    return renderRunProps(dom, runPropsOf(fmt, true));
}

QDomElement makeTextRun(QDomDocument &dom, const QString &text, const QTextCharFormat &fmt)
{
    return textRun(dom, text, runPropsOf(fmt, true));
}

void writeParagraphBlocks(DocxDocument &doc, QDomElement &p, const QList<QTextBlock> &blocks)
{
    QDomDocument dom = p.ownerDocument();
    setAlignment(dom, p, blocks.isEmpty() ? QString() : alignmentJc(blocks.first()));
    removeRunContent(p);
    TreeRuns runs(p);
    emitBlocks(doc, runs, blocks, true);
}

QByteArray newParagraphXml(DocxDocument &doc, QDomElement &p, const QTextBlock &block,
                           const DocxNamespaceBindings &scope)
{
    QDomDocument dom = p.ownerDocument();
    setAlignment(dom, p, alignmentJc(block));
    TextRuns runs(dom, scope);
    emitBlocks(doc, runs, {block}, !isHeadingBlock(block));
    applyParagraphStyle(doc, p, block);
    applyListNumbering(doc, p, block);
    return serializeXmlElement(p, scope, runs.xml());
}

void removeRunContent(QDomElement &p)
{
    removeChildren(p, isRunContent);
}

void writeParagraph(DocxDocument &doc, QDomElement &p, const QTextBlock &block)
{
    writeParagraphBlocks(doc, p, {block});
}
