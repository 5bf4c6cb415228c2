// One section of a document, found by its heading text, as a small HTML page:
// one h1-h4 or p element per paragraph, with inline CSS and b/i/u markup.
#include "DocxReaderInternal.h"

#include <QStringList>

namespace {

constexpr int kHeadingTags = 4;  // outline levels 0 to 3 become h1 to h4
constexpr double kTwipsPerPoint = 20.0;

const QString kPageOpen = QStringLiteral("<html><body style=\"font-family:'Georgia',serif;font-size:12pt;\">");
const QString kPageClose = QStringLiteral("</body></html>");

QString tagOfLevel(int level)
{
    return level >= 0 && level < kHeadingTags ? QStringLiteral("h%1").arg(level + 1) : QStringLiteral("p");
}

QString escaped(QString text)
{
    return text.replace(QLatin1Char('&'), QLatin1String("&amp;"))
        .replace(QLatin1Char('<'), QLatin1String("&lt;"))
        .replace(QLatin1Char('>'), QLatin1String("&gt;"));
}

QString points(double value) { return QString::number(value, 'f', 1); }

QStringList paragraphCss(const StyleProps &style, bool pageBreak)
{
    QStringList css;
    if (style.jc == QLatin1String("center"))
        css << QStringLiteral("text-align:center");
    else if (style.jc == QLatin1String("right"))
        css << QStringLiteral("text-align:right");
    else if (style.jc == QLatin1String("both"))
        css << QStringLiteral("text-align:justify");
    if (style.spaceBefore > 0)
        css << QStringLiteral("margin-top:%1pt").arg(points(style.spaceBefore / kTwipsPerPoint));
    if (style.spaceAfter > 0)
        css << QStringLiteral("margin-bottom:%1pt").arg(points(style.spaceAfter / kTwipsPerPoint));
    if (style.sizeHalfPts > 0)
        css << QStringLiteral("font-size:%1pt").arg(points(style.sizeHalfPts / 2.0));
    if (!style.font.isEmpty())
        css << QStringLiteral("font-family:'%1'").arg(style.font);
    if (style.hasBold && style.bold)
        css << QStringLiteral("font-weight:bold");
    if (style.hasItalic && style.italic)
        css << QStringLiteral("font-style:italic");
    if (pageBreak)
        css << QStringLiteral("page-break-before:always");
    return css;
}

QString textOfRun(const QDomElement &run)
{
    QString text;
    for (const QDomElement &t : childElementsByLocalName(run, QStringLiteral("t")))
        text += t.text();
    return text;
}

QString wrapped(const QString &html, const char *tag)
{
    return QStringLiteral("<%1>%2</%1>").arg(QLatin1String(tag), html);
}

QString runHtml(const QDomElement &run, const StyleProps &style)
{
    const QString text = textOfRun(run);
    if (text.isEmpty())
        return {};
    bool bold = style.bold;
    bool italic = style.italic;
    bool underline = false;
    const QDomElement rPr = firstChildByLocalName(run, QStringLiteral("rPr"));
    for (QDomElement c = rPr.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == QLatin1String("b")) {
            bold = onOffValue(c);
        } else if (c.localName() == QLatin1String("i")) {
            italic = onOffValue(c);
        } else if (c.localName() == QLatin1String("u")) {
            const QString val = wVal(c);
            underline = !val.isEmpty() && val != QLatin1String("none");
        }
    }
    QString html = escaped(text);
    if (bold)
        html = wrapped(html, "b");
    if (italic)
        html = wrapped(html, "i");
    if (underline)
        html = wrapped(html, "u");
    return html;
}

QString hyperlinkHtml(const QDomElement &link)
{
    QString html;
    for (const QDomElement &run : childElementsByLocalName(link, QStringLiteral("r")))
        html += escaped(textOfRun(run));
    return html;
}

}  // namespace

DocxSectionRange findSectionByHeading(const DocxDocument &doc, const QString &title)
{
    const QList<DocxParaInfo> &infos = doc.paragraphInfo();
    const int count = int(infos.size());
    const QString wanted = title.trimmed();
    for (int i = 0; i < count; ++i) {
        const int level = infos[i].headingLevel;
        if (level < 0 || infos[i].text.trimmed() != wanted)
            continue;
        int end = i + 1;
        while (end < count && !(infos[end].headingLevel >= 0 && infos[end].headingLevel <= level))
            ++end;
        return {title, i, end};
    }
    return count > 0 ? DocxSectionRange{title, 0, count} : DocxSectionRange{title, -1, -1};
}

QString sectionToHtml(const DocxDocument &doc, const DocxSectionRange &range)
{
    if (range.startPara < 0 || range.startPara >= range.endPara)
        return {};
    const QList<QDomElement> &paragraphs = doc.paragraphs();
    QString html = kPageOpen;
    for (int i = range.startPara; i < range.endPara && i < paragraphs.size(); ++i)
        html += paragraphToHtml(paragraphs[i], doc);
    return html + kPageClose;
}

QString renderSectionHtml(const DocxDocument &doc, const QString &title)
{
    return sectionToHtml(doc, findSectionByHeading(doc, title));
}

QString paragraphToHtml(const QDomElement &p, const DocxDocument &doc)
{
    DirectProperties direct = readDirectProperties(p);
    const StyleProps style = mergedProperties(doc, direct);
    int level = style.outlineLvl;
    if (level < 0 && !direct.styleId.isEmpty())
        level = headingLevelFromStyleId(direct.styleId);
    const QString tag = tagOfLevel(level);
    const QStringList css = paragraphCss(style, direct.pageBreakBefore);

    QString html = css.isEmpty() ? QStringLiteral("<%1>").arg(tag)
                                 : QStringLiteral("<%1 style=\"%2\">").arg(tag, css.join(QLatin1Char(';')));
    for (QDomElement c = p.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == QLatin1String("r"))
            html += runHtml(c, style);
        else if (c.localName() == QLatin1String("hyperlink"))
            html += hyperlinkHtml(c);
    }
    return html + QStringLiteral("</%1>").arg(tag);
}
