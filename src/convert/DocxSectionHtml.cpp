// The body, or the section under one heading, as an HTML page written from
// the rich text the Reader makes of it: headings, paragraphs with their list
// labels, tables, pictures as data URLs, links, tabs and field results. Every
// text and attribute value is escaped. The body is read one top-level element
// at a time, as the re-save reads it.
#include "DocxSectionHtml.h"

#include "DocxBodyWalk.h"
#include "DocxXml.h"

#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <limits>

namespace {

constexpr int kHeadingTags = 6;  // outline levels 0 to 5 become h1 to h6
constexpr double kPointsPerPixel = 0.75;

const QString kPageOpen = QStringLiteral(
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
    "<style>.tab{white-space:pre}table{border-collapse:collapse}</style></head><body>\n");
const QString kPageClose = QStringLiteral("</body></html>\n");

// The entity of a character that text or an attribute value in double quotes
// cannot hold as it is; a null string for one it can. Control characters are dropped.
QLatin1String entityOf(QChar c)
{
    switch (c.unicode()) {
    case '&': return QLatin1String("&amp;");
    case '<': return QLatin1String("&lt;");
    case '>': return QLatin1String("&gt;");
    case '"': return QLatin1String("&quot;");
    default: return c.unicode() < 0x20 && c != QLatin1Char('\n') ? QLatin1String("") : QLatin1String();
    }
}

void appendEscaped(QString &out, QStringView text)
{
    qsizetype plain = 0;  // start of the run of characters taken as they are
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QLatin1String entity = entityOf(text[i]);
        if (entity.data() == nullptr)
            continue;
        out += text.mid(plain, i - plain);
        out += entity;
        plain = i + 1;
    }
    out += text.mid(plain);
}

QString escaped(QStringView text)
{
    QString out;
    appendEscaped(out, text);
    return out;
}

QString points(double px) { return QString::number(px * kPointsPerPixel, 'f', 1) + QLatin1String("pt"); }

QString colorOf(const QBrush &brush)
{
    return brush.style() == Qt::NoBrush || !brush.color().isValid() ? QString() : brush.color().name();
}

// A CSS declaration list as a quoted attribute, or nothing when empty.
QString styleAttribute(const QStringList &css)
{
    return css.isEmpty() ? QString() : QStringLiteral(" style=\"") + escaped(css.join(QLatin1Char(';'))) + QLatin1Char('"');
}

// A font name as a CSS string: its quotes and backslashes escaped, so that it
// cannot end the string early.
QString fontFamilyCss(const QTextCharFormat &f)
{
    const QStringList families = f.fontFamilies().toStringList();
    if (families.isEmpty())
        return {};
    QString name = families.first();
    name.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QStringLiteral("font-family:'%1'").arg(name);
}

// The text a field shows where the rich text holds a page placeholder: the
// result the document keeps, read from `from` (the placeholder's piece: its
// first result text or its separate mark) up to the field's next mark.
QString cachedFieldResult(const QDomElement &from)
{
    QString text;
    QDomElement c = from;
    for (QDomElement run = from.parentNode().toElement(); !run.isNull();) {
        for (; !c.isNull(); c = c.nextSiblingElement()) {
            if (c.localName() == QLatin1String("fldChar") && c != from)
                return text;
            if (c.localName() == QLatin1String("t"))
                text += c.text();
        }
        run = run.nextSiblingElement();
        c = run.firstChildElement();
    }
    return text;
}

class HtmlWriter
{
public:
    HtmlWriter(const DocxDocument &doc, QString &out) : doc_(doc), out_(out) {}

    void document(const QTextDocument &qd) { frame(qd.rootFrame()->begin()); }

private:
    void frame(QTextFrame::iterator it)
    {
        for (; !it.atEnd(); ++it) {
            if (QTextFrame *child = it.currentFrame()) {
                if (auto *table = qobject_cast<QTextTable *>(child))
                    this->table(*table);
                else
                    frame(child->begin());
            } else {
                block(it.currentBlock());
            }
        }
    }

    void table(const QTextTable &t)
    {
        const QTextTableFormat format = t.format();
        QStringList cellCss;
        if (format.border() > 0)
            cellCss << QStringLiteral("border:1px solid #000");
        if (format.cellPadding() > 0)
            cellCss << QStringLiteral("padding:") + points(format.cellPadding());
        out_ += QLatin1String("<table style=\"width:100%\">\n");
        for (int r = 0; r < t.rows(); ++r) {
            out_ += QLatin1String("<tr>");
            for (int c = 0; c < t.columns(); ++c) {
                const QTextTableCell cell = t.cellAt(r, c);
                if (cell.row() != r || cell.column() != c)
                    continue;
                out_ += QLatin1String("<td");
                if (cell.columnSpan() > 1)
                    out_ += QStringLiteral(" colspan=\"%1\"").arg(cell.columnSpan());
                if (cell.rowSpan() > 1)
                    out_ += QStringLiteral(" rowspan=\"%1\"").arg(cell.rowSpan());
                QStringList css = cellCss;
                const QString fill = colorOf(cell.format().background());
                if (!fill.isEmpty())
                    css << QStringLiteral("background-color:") + fill;
                out_ += styleAttribute(css) + QLatin1Char('>');
                frame(cell.begin());
                out_ += QLatin1String("</td>");
            }
            out_ += QLatin1String("</tr>\n");
        }
        out_ += QLatin1String("</table>\n");
    }

    static QStringList blockCss(const QTextBlockFormat &bf, const QTextCharFormat &cf)
    {
        QStringList css;
        const Qt::Alignment align = bf.alignment() & Qt::AlignHorizontal_Mask;
        if (align == Qt::AlignHCenter)
            css << QStringLiteral("text-align:center");
        else if (align == Qt::AlignRight)
            css << QStringLiteral("text-align:right");
        else if (align == Qt::AlignJustify)
            css << QStringLiteral("text-align:justify");
        const struct
        {
            const char *name;
            double px;
        } margins[] = {{"margin-top", bf.topMargin()}, {"margin-bottom", bf.bottomMargin()},
                       {"margin-left", bf.leftMargin()}, {"margin-right", bf.rightMargin()},
                       {"text-indent", bf.textIndent()}};
        for (const auto &m : margins) {
            if (m.px != 0)
                css << QLatin1String(m.name) + QLatin1Char(':') + points(m.px);
        }
        if (bf.lineHeightType() == QTextBlockFormat::ProportionalHeight)
            css << QStringLiteral("line-height:%1%").arg(bf.lineHeight());
        else if (bf.lineHeightType() == QTextBlockFormat::FixedHeight)
            css << QStringLiteral("line-height:") + points(bf.lineHeight());
        if (bf.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore)
            css << QStringLiteral("page-break-before:always");
        if (!fontFamilyCss(cf).isEmpty())
            css << fontFamilyCss(cf);
        if (cf.fontPointSize() > 0)
            css << QStringLiteral("font-size:%1pt").arg(cf.fontPointSize());
        return css;
    }

    void block(const QTextBlock &b)
    {
        const DocxBlockOrigin *origin = blockOrigin(b.userData());
        const bool paragraph = origin && origin->source();
        if (!paragraph && b.length() <= 1)
            return;  // the empty block rich text keeps around a table
        const int level = paragraph ? doc_.body().headingLevel(origin->source()->paragraph) : -1;
        const QString tag = level >= 0 && level < kHeadingTags ? QStringLiteral("h%1").arg(level + 1) : QStringLiteral("p");
        out_ += QLatin1Char('<') + tag + styleAttribute(blockCss(b.blockFormat(), b.charFormat())) + QLatin1Char('>');
        const qsizetype start = out_.size();
        for (auto it = b.begin(); !it.atEnd(); ++it)
            fragment(it.fragment(), b, origin);
        if (out_.size() == start)
            out_ += QLatin1String("<br>");  // an empty paragraph still takes its line
        out_ += QLatin1String("</") + tag + QLatin1String(">\n");
    }

    void image(const QTextImageFormat &img)
    {
        if (!img.name().startsWith(QLatin1String("data:")))
            return;
        out_ += QLatin1String("<img src=\"") + escaped(img.name()) + QLatin1Char('"');
        if (img.width() > 0)
            out_ += QStringLiteral(" width=\"%1\"").arg(qRound(img.width()));
        if (img.height() > 0)
            out_ += QStringLiteral(" height=\"%1\"").arg(qRound(img.height()));
        out_ += QLatin1String(" alt=\"\">");
    }

    static bool isMarkup(QChar c)
    {
        return c == QChar::LineSeparator || c == QLatin1Char('\t') || c == QChar(kPageNumberPlaceholder)
            || c == QChar(kPageCountPlaceholder);
    }

    void text(QStringView text, const QTextCharFormat &f, const DocxBlockOrigin *origin)
    {
        qsizetype plain = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (!isMarkup(c))
                continue;
            appendEscaped(out_, text.mid(plain, i - plain));
            plain = i + 1;
            if (c == QChar::LineSeparator) {
                out_ += QLatin1String("<br>");
            } else if (c == QLatin1Char('\t')) {
                out_ += QLatin1String("<span class=\"tab\">\t</span>");
            } else {
                const int piece = f.intProperty(SourcePieceProperty);
                if (origin && origin->source() && piece >= 0 && piece < origin->source()->pieces.size())
                    appendEscaped(out_, cachedFieldResult(origin->source()->pieces[piece].element));
            }
        }
        appendEscaped(out_, text.mid(plain));
    }

    void fragment(const QTextFragment &frag, const QTextBlock &b, const DocxBlockOrigin *origin)
    {
        const QTextCharFormat f = frag.charFormat();
        if (f.boolProperty(HiddenTextProperty))
            return;
        if (f.isImageFormat()) {
            for (int i = 0; i < frag.length(); ++i)
                image(f.toImageFormat());
            return;
        }
        const QTextCharFormat base = b.charFormat();
        QStringList css;
        if (fontFamilyCss(f) != fontFamilyCss(base) && !fontFamilyCss(f).isEmpty())
            css << fontFamilyCss(f);
        if (f.fontPointSize() > 0 && f.fontPointSize() != base.fontPointSize())
            css << QStringLiteral("font-size:%1pt").arg(f.fontPointSize());
        const QString color = colorOf(f.foreground());
        if (!color.isEmpty() && !f.isAnchor())
            css << QStringLiteral("color:") + color;
        const QString background = colorOf(f.background());
        if (!background.isEmpty())
            css << QStringLiteral("background-color:") + background;
        QStringList close;
        auto open = [&](const QString &tag, const QString &attributes = QString()) {
            out_ += QLatin1Char('<') + tag + attributes + QLatin1Char('>');
            close.prepend(QLatin1String("</") + tag + QLatin1Char('>'));
        };
        for (const QString &name : f.anchorNames())
            out_ += QLatin1String("<a id=\"") + escaped(name) + QLatin1String("\"></a>");
        if (f.isAnchor() && !f.anchorHref().isEmpty())
            open(QStringLiteral("a"), QLatin1String(" href=\"") + escaped(f.anchorHref()) + QLatin1Char('"'));
        if (f.boolProperty(ListLabelProperty))
            open(QStringLiteral("span"), QStringLiteral(" class=\"label\""));
        if (!css.isEmpty())
            open(QStringLiteral("span"), styleAttribute(css));
        if (f.fontWeight() >= QFont::DemiBold && base.fontWeight() < QFont::DemiBold)
            open(QStringLiteral("b"));
        if (f.fontItalic() && !base.fontItalic())
            open(QStringLiteral("i"));
        if (f.fontUnderline() && !f.isAnchor())
            open(QStringLiteral("u"));
        if (f.fontStrikeOut())
            open(QStringLiteral("s"));
        if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript)
            open(QStringLiteral("sup"));
        else if (f.verticalAlignment() == QTextCharFormat::AlignSubScript)
            open(QStringLiteral("sub"));
        text(frag.text(), f, origin);
        out_ += close.join(QString());
    }

    const DocxDocument &doc_;
    QString &out_;
};

// The paragraphs of a top-level body element, in order.
QList<QDomElement> paragraphsOf(const QDomElement &element)
{
    QList<QDomElement> paragraphs;
    if (element.localName() == QLatin1String("p"))
        paragraphs.append(element);
    else
        DocxBody::collectParagraphs(element, paragraphs);
    return paragraphs;
}

// The range of top-level elements that make the section under a heading:
// from the element holding the heading to the one holding the next heading of
// the same or a higher level. The whole body when no heading reads `title`.
std::pair<qsizetype, qsizetype> sectionElements(DocxDocument &doc, const QString &title)
{
    constexpr qsizetype all = std::numeric_limits<qsizetype>::max();
    const QString wanted = title.trimmed();
    if (wanted.isEmpty())
        return {0, all};
    qsizetype index = 0, start = -1, end = all;
    int level = -1;
    forEachBodyElement(doc, [&](const QDomElement &element) {
        for (const QDomElement &p : paragraphsOf(element)) {
            const int heading = end == all ? doc.body().headingLevel(p) : -1;
            if (heading < 0)
                continue;
            if (start >= 0 && heading <= level) {
                end = index;
                break;
            }
            if (start < 0 && paragraphText(p).trimmed() == wanted) {
                start = index;
                level = heading;
            }
        }
        ++index;
    });
    return start < 0 ? std::make_pair(qsizetype(0), all) : std::make_pair(start, end);
}

}  // namespace

void writeSectionHtml(DocxDocument &doc, const QString &title, const std::function<void(const QByteArray &)> &write)
{
    const std::pair<qsizetype, qsizetype> range = sectionElements(doc, title);
    const qsizetype first = range.first, last = range.second;  // a lambda may not capture bindings in C++17
    QTextDocument qd;
    const QSignalBlocker blocker(&qd);
    prepareDocument(qd, doc);
    const QSizeF pageSize = qd.pageSize();
    const QTextFrameFormat pageFrame = qd.rootFrame()->frameFormat();
    const DocxSectionRange whole{QString(), 0, std::numeric_limits<int>::max()};
    DocxBodyWalk walk(doc, whole, qd);
    QString chunk;
    HtmlWriter writer(doc, chunk);
    bool opened = false;
    qsizetype index = 0;
    forEachBodyElement(doc, [&](const QDomElement &element) {
        const qsizetype at = index++;
        if (at < first || at >= last)
            return;
        // Each element in a rich text of its own, written out at once; the list numbers run on.
        qd.clear();
        qd.setPageSize(pageSize);
        qd.rootFrame()->setFrameFormat(pageFrame);
        walk.restart();
        walk.element(element);
        chunk.clear();
        writer.document(qd);
        if (chunk.isEmpty())
            return;
        if (!opened)
            write(kPageOpen.toUtf8());
        opened = true;
        write(chunk.toUtf8());
    });
    if (opened)
        write(kPageClose.toUtf8());
}

QString renderSectionHtml(DocxDocument &doc, const QString &title)
{
    QByteArray html;
    writeSectionHtml(doc, title, [&html](const QByteArray &piece) { html += piece; });
    return QString::fromUtf8(html);
}
