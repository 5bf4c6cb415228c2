// Rich-text blocks into w:p elements: alignment, runs, hyperlinks and
// bookmarks, breaks and tabs, pictures and page-number fields.
#include "DocxXml.h"
#include "DocxNamespaces.h"
#include "DocxRichText.h"
#include "DocxUnits.h"
#include "DocxWriter.h"
#include "DocxWriterInternal.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>

#include <algorithm>

namespace {

constexpr int kDefaultHalfPoints = 24;  // 12 pt, the medium size of a page
constexpr char kFieldResult[] = "1";

void removeChildrenNamed(QDomElement parent, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        for (const QDomElement &e : childrenByLocalName(parent, name))
            parent.removeChild(e);
    }
}

bool keepsEdgeSpaces(const QString &text)
{
    return text.startsWith(QLatin1Char(' ')) || text.endsWith(QLatin1Char(' '));
}

int drawingId(const QString &rId)
{
    bool ok = false;
    const int n = rId.startsWith(QLatin1String("rId")) ? QStringView(rId).mid(3).toInt(&ok) : 0;
    return ok && n >= 1 ? n : 1;
}

// A link target inside the document: "#name" names a bookmark.
bool isInternalTarget(const QString &href) { return href.startsWith(QLatin1Char('#')) && href.size() > 1; }

// Runs written straight out as text, for new paragraphs of a body rewritten
// as bytes: the scope must bind "w" and "r" to their namespaces.
class TextRuns
{
public:
    TextRuns(QDomDocument &scratch, const DocxNamespaceBindings &scope) : dom_(scratch), scope_(scope) {}

    QDomDocument &dom() { return dom_; }
    void openLink(const QString &rId) { out_ += "<w:hyperlink r:id=\"" + escapeXmlAttribute(rId) + "\">"; }
    void openAnchorLink(const QString &bookmark)
    {
        out_ += "<w:hyperlink w:anchor=\"" + escapeXmlAttribute(bookmark) + "\">";
    }
    void closeLink() { out_ += "</w:hyperlink>"; }
    void text(const QString &text, const DocxRunProps &props)
    {
        out_ += "<w:r>";
        appendRunPropsXml(out_, props);
        out_ += keepsEdgeSpaces(text) ? "<w:t xml:space=\"preserve\">" : "<w:t>";
        out_ += escapeXmlText(text);
        out_ += "</w:t></w:r>";
        wrote_ = true;
    }
    void tab(const DocxRunProps &props)
    {
        out_ += "<w:r>";
        appendRunPropsXml(out_, props);
        out_ += "<w:tab/></w:r>";
        wrote_ = true;
    }
    // The five runs of a complex field whose result stands for a page number or count.
    void field(const QString &instruction, const DocxRunProps &props)
    {
        const auto run = [&](const QByteArray &content) {
            out_ += "<w:r>";
            appendRunPropsXml(out_, props);
            out_ += content + "</w:r>";
        };
        const auto fieldChar = [&](const char *type) {
            run("<w:fldChar w:fldCharType=\"" + QByteArray(type) + "\"/>");
        };
        fieldChar("begin");
        run("<w:instrText xml:space=\"preserve\">" + escapeXmlText(instruction) + "</w:instrText>");
        fieldChar("separate");
        run("<w:t>" + QByteArray(kFieldResult) + "</w:t>");
        fieldChar("end");
        wrote_ = true;
    }
    void lineBreak(bool page) { out_ += page ? "<w:r><w:br w:type=\"page\"/></w:r>" : "<w:r><w:br/></w:r>"; }
    void emptyRun() { out_ += "<w:r><w:t/></w:r>"; }
    void breakInside() { lineBreak(false); }
    void bookmark(const QString &name, int id)
    {
        const QByteArray n = QByteArray::number(id);
        out_ += "<w:bookmarkStart w:id=\"" + n + "\" w:name=\"" + escapeXmlAttribute(name) + "\"/><w:bookmarkEnd w:id=\""
            + n + "\"/>";
    }
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

// How the runs of a paragraph are formatted beyond what their formats say.
struct RunFormatting
{
    int defaultHalfPoints = kDefaultHalfPoints;  // for runs whose format gives no size; 0: none
    int styleHalfPoints = 0;     // the size the paragraph style gives: not repeated
    bool relativeSizes = true;   // sizes from keywords written (a heading's own are its style's)
    bool rtl = false;            // the paragraph runs right to left
    QColor shading;              // the paragraph's own shading, not repeated on its runs
    DocxBuildContext *build = nullptr;  // a new paragraph of a full build: bookmarks
};

DocxRunProps runFormatOf(const QTextCharFormat &fmt, const RunFormatting &how)
{
    DocxRunProps props = runPropsOf(fmt);
    if ((props.relativeSize && !how.relativeSizes) || props.halfPoints == how.styleHalfPoints)
        props.halfPoints = 0;
    if (props.halfPoints == 0 && how.styleHalfPoints == 0)
        props.halfPoints = how.defaultHalfPoints;
    if (how.rtl)
        props.rtl = true;
    if (how.shading.isValid() && fmt.background().color() == how.shading)
        props.highlight.clear(), props.shading.clear();
    return props;
}

// A fragment's text: text runs, a break run for each line feed or line
// separator (how rich text holds a line break inside a paragraph), a tab run
// for each tab, and a live field for each page placeholder the Reader left
// (marked with its field's instruction). Every other character is text;
// those XML cannot hold are left out.
void emitText(TextRuns &runs, const QString &text, const QTextCharFormat &fmt, const DocxRunProps &props)
{
    const bool placeholders = fmt.hasProperty(FieldInstructionProperty);
    qsizetype from = 0;
    auto flush = [&](qsizetype to) {
        if (to > from)
            runs.text(text.mid(from, to - from), props);
        from = to + 1;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\n') || c == QChar::LineSeparator) {
            flush(i);
            runs.breakInside();
        } else if (c == QLatin1Char('\t')) {
            flush(i);
            runs.tab(props);
        } else if (placeholders && (c == QChar(kPageNumberPlaceholder) || c == QChar(kPageCountPlaceholder))) {
            flush(i);
            runs.field(fmt.property(FieldInstructionProperty).toString(), props);
        }
    }
    flush(text.size());
}

void emitPicture(DocxDocument &doc, const QString &part, TextRuns &runs, const QTextBlock &block,
                 const QTextImageFormat &ifmt, const DocxRunProps &props)
{
    int wpx = 0, hpx = 0;
    QString svgRelId;
    const QString rId = imageRelId(doc, part, block.document(), ifmt, &wpx, &hpx, &svgRelId);
    const QString alt = ifmt.stringProperty(QTextFormat::ImageAltText);
    if (rId.isEmpty() || wpx < 1 || hpx < 1) {
        if (!alt.isEmpty())
            runs.text(alt, props);  // a picture that cannot be shown leaves its description, as a browser does
        return;
    }
    runs.add(makeDrawingRun(runs.dom(), rId, qint64(wpx) * kEmuPerPixel, qint64(hpx) * kEmuPerPixel, drawingId(rId),
                            alt, svgRelId));
}

// Bookmarks at the places a link of the page may go to. Word takes names of
// at most 40 letters, digits and underscores that start with a letter.
QString bookmarkName(const QString &anchor)
{
    QString name;
    for (const QChar c : anchor.left(40))
        name += c.isLetterOrNumber() || c == QLatin1Char('_') ? c : QLatin1Char('_');
    if (name.isEmpty() || !name[0].isLetter())
        name = QLatin1Char('_') + name.left(39);
    return name;
}

// The content of one block: consecutive fragments with the same link target
// share one hyperlink; generated list labels are not content.
void emitBlock(DocxDocument &doc, TextRuns &runs, const QTextBlock &block, const RunFormatting &how)
{
    const QString part = how.build ? how.build->part : QString();
    QString curHref;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment frag = it.fragment();
        if (!frag.isValid())
            continue;
        const QTextCharFormat fmt = frag.charFormat();
        if (fmt.boolProperty(ListLabelProperty))
            continue;
        if (how.build && fmt.isAnchor()) {
            for (const QString &anchor : fmt.anchorNames())
                runs.bookmark(bookmarkName(anchor), how.build->nextBookmarkId++);
        }
        const QString href = fmt.isAnchor() ? fmt.anchorHref() : QString();
        if (href != curHref) {
            if (!curHref.isEmpty())
                runs.closeLink();
            curHref = href;
            if (isInternalTarget(href)) {
                runs.openAnchorLink(bookmarkName(href.mid(1)));
            } else {
                const QString rId = href.isEmpty() ? QString() : doc.package().relationships().addHyperlinkRel(href, part);
                if (!rId.isEmpty())
                    runs.openLink(rId);
                else
                    curHref.clear();  // the next fragment with that target tries again
            }
            if (!curHref.isEmpty())
                doc.styles().ensureStyle(QString::fromLatin1(kHyperlinkStyle));
        }
        DocxRunProps props = runFormatOf(fmt, how);
        if (!curHref.isEmpty())
            asHyperlinkRun(props);
        if (fmt.isImageFormat()) {
            for (int i = 0; i < frag.length(); ++i)
                emitPicture(doc, part, runs, block, fmt.toImageFormat(), props);
        } else {
            emitText(runs, frag.text(), fmt, props);
        }
    }
    if (!curHref.isEmpty())
        runs.closeLink();
}

// The blocks of one paragraph, joined by line breaks (page breaks where a
// block starts a page); an empty paragraph still carries one run.
void emitBlocks(DocxDocument &doc, TextRuns &runs, const QList<QTextBlock> &blocks, const RunFormatting &how)
{
    for (qsizetype i = 0; i < blocks.size(); ++i) {
        if (i > 0)
            runs.lineBreak(blocks[i].blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore);
        emitBlock(doc, runs, blocks[i], how);
    }
    if (!runs.wroteAny())
        runs.emptyRun();
}

// How the runs of a new paragraph are formatted: a heading takes its size
// from its style unless its text is given another.
RunFormatting newParagraphFormatting(DocxBuildContext &ctx, const QTextBlock &block)
{
    RunFormatting how;
    how.build = &ctx;
    if (isHeadingBlock(block)) {
        how.styleHalfPoints = headingHalfPoints(ctx.doc, block);
        how.relativeSizes = false;
    }
    const QTextBlockFormat bf = block.blockFormat();
    how.rtl = bf.layoutDirection() == Qt::RightToLeft;
    if (bf.hasProperty(QTextFormat::BackgroundBrush))
        how.shading = bf.background().color();
    return how;
}

}  // namespace

int propertyRank(QStringView name)
{
    static const QHash<QStringView, int> ranks = [] {
        QHash<QStringView, int> r;
        const QStringList &order = paragraphPropertyOrder();
        for (int i = 0; i < order.size(); ++i)
            r.insert(order[i], i);
        return r;
    }();
    return ranks.value(name, int(ranks.size()));  // unknown children go last
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

QByteArray newParagraphXml(DocxBuildContext &ctx, const DocxParagraphTemplate &templ, const QTextBlock &block)
{
    DocxParagraphProperties props = templ.properties;
    const QString jc = alignmentJc(block);
    props.set("jc", jc.isEmpty() ? QByteArray() : "<w:jc w:val=\"" + jc.toLatin1() + "\"/>");
    setParagraphStyle(ctx, props, block);
    setListNumbering(ctx, props, block);
    setParagraphLayout(ctx, props, block);
    TextRuns runs(ctx.scratch, writerBindings());
    emitBlocks(ctx.doc, runs, {block}, newParagraphFormatting(ctx, block));
    if (breaksPageAfter(block))
        runs.lineBreak(true);
    return templ.startTag + props.xml() + runs.xml() + templ.endTag;
}

void DocxParagraphProperties::keep(const QString &name, const QByteArray &xml)
{
    children_.append({propertyRank(name), xml});
}

void DocxParagraphProperties::set(const char *name, const QByteArray &xml)
{
    char16_t wide[32];
    qsizetype n = 0;
    for (; name[n] && n < qsizetype(std::size(wide)); ++n)
        wide[n] = char16_t(name[n]);
    const int rank = propertyRank(QStringView(wide, n));
    children_.removeIf([rank](const Child &c) { return c.rank == rank; });
    if (!xml.isEmpty())
        children_.append({rank, xml});
}

QByteArray DocxParagraphProperties::xml() const
{
    if (children_.isEmpty())
        return {};
    QList<Child> ordered = children_;
    std::stable_sort(ordered.begin(), ordered.end(), [](const Child &a, const Child &b) { return a.rank < b.rank; });
    QByteArray out = "<w:pPr>";
    for (const Child &c : ordered)
        out += c.xml;
    return out + "</w:pPr>";
}

// The run content of `p`: runs, links and tracked changes; its properties and
// marks stay.
void removeRunContent(QDomElement &p)
{
    for (QDomElement c = p.firstChildElement(); !c.isNull();) {
        const QDomElement next = c.nextSiblingElement();
        if (hasLocalName(c, "r") || hasLocalName(c, "hyperlink") || hasLocalName(c, "ins") || hasLocalName(c, "del"))
            p.removeChild(c);
        c = next;
    }
}

QDomElement paragraphLike(const QDomElement &p)
{
    QDomElement fresh = p.cloneNode(false).toElement();
    for (const char *unique : {"paraId", "textId"})
        fresh.removeAttributeNS(QString::fromLatin1(kNsW14), QString::fromLatin1(unique));
    const QDomElement pPr = wChild(p, "pPr");
    if (!pPr.isNull()) {
        QDomElement copy = pPr.cloneNode(true).toElement();
        removeChildrenNamed(copy, {"sectPr", "pPrChange"});
        removeChildrenNamed(wChild(copy, "rPr"), {"ins", "del", "moveFrom", "moveTo", "rPrChange"});
        fresh.appendChild(copy);
    }
    return fresh;
}
