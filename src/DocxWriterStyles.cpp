// Paragraph styles for headings and numbering for list items.
#include "DocxDocumentParts.h"
#include "DocxNamespaces.h"
#include "DocxDocumentRichText.h"
#include "DocxWriterInternal.h"

#include <QTextBlock>
#include <QTextList>

namespace {

constexpr int kMaxListLevel = 8;
constexpr int kHeadingLevels = 6;  // h1 to h6
constexpr int kBulletNumId = 1;   // the bullet list of the library's numbering part
constexpr int kNumberNumId = 2;   // its decimal list

QDomElement ensurePPr(QDomDocument &dom, QDomElement &p)
{
    QDomElement pPr = childElementsByLocalName(p, QStringLiteral("pPr")).value(0);
    if (pPr.isNull()) {
        pPr = createW(dom, "pPr");
        p.insertBefore(pPr, p.firstChild());
    }
    return pPr;
}

struct ListMembership
{
    bool item = false;
    bool bullet = false;
    int ilvl = 0;
};

ListMembership listMembership(const QTextBlock &block)
{
    ListMembership m;
    if (const QTextList *list = block.textList()) {
        const QTextListFormat::Style style = list->format().style();
        m.item = true;
        m.bullet = style == QTextListFormat::ListDisc || style == QTextListFormat::ListCircle
            || style == QTextListFormat::ListSquare;
        m.ilvl = qBound(0, list->format().indent() - 1, kMaxListLevel);
    } else if (block.blockFormat().hasProperty(ListNumIdProperty)) {
        m.item = true;
        m.bullet = block.blockFormat().boolProperty(ListBulletProperty);
        m.ilvl = qBound(0, block.blockFormat().intProperty(ListLevelProperty), kMaxListLevel);
    }
    return m;
}

}  // namespace

void setParagraphStyle(QDomDocument &dom, QDomElement &p, const QString &styleId)
{
    QDomElement pPr = ensurePPr(dom, p);
    QDomElement pStyle = childElementsByLocalName(pPr, QStringLiteral("pStyle")).value(0);
    if (pStyle.isNull()) {
        pStyle = createW(dom, "pStyle");
        pPr.insertBefore(pStyle, pPr.firstChild());
    }
    setWAttr(pStyle, "val", styleId);
}

void stripRunSizes(QDomElement &p)
{
    const QDomNodeList runs = p.elementsByTagNameNS(QString::fromLatin1(kNsW), QStringLiteral("r"));
    for (int i = 0; i < runs.size(); ++i) {
        QDomNode run = runs.at(i);
        QDomElement rPr = childElementsByLocalName(run, QStringLiteral("rPr")).value(0);
        if (rPr.isNull())
            continue;
        for (const QString &name : {QStringLiteral("sz"), QStringLiteral("szCs")}) {
            for (const QDomElement &e : childElementsByLocalName(rPr, name))
                rPr.removeChild(e);
        }
        if (!rPr.hasChildNodes())
            run.removeChild(rPr);  // an empty w:rPr says nothing
    }
}

bool isHeadingBlock(const QTextBlock &block)
{
    const int level = block.blockFormat().headingLevel();
    return level >= 1 && level <= kHeadingLevels;
}

void applyParagraphStyle(DocxDocument &doc, QDomElement &p, const QTextBlock &block)
{
    QDomDocument dom = p.ownerDocument();
    if (isHeadingBlock(block)) {
        const QString styleId = QStringLiteral("Heading%1").arg(block.blockFormat().headingLevel());
        doc.ensureParagraphStyle(styleId);
        setParagraphStyle(dom, p, styleId);
        stripRunSizes(p);
    } else {
        setParagraphStyle(dom, p, QStringLiteral("Normal"));
    }
}

void applyListNumbering(DocxDocument &doc, QDomElement &p, const QTextBlock &block)
{
    const ListMembership m = listMembership(block);
    QDomElement pPr = childElementsByLocalName(p, QStringLiteral("pPr")).value(0);
    if (!pPr.isNull()) {
        for (const QDomElement &numPr : childElementsByLocalName(pPr, QStringLiteral("numPr")))
            pPr.removeChild(numPr);
    }
    if (!m.item)
        return;
    doc.ensureNumberingPart();
    QDomDocument dom = p.ownerDocument();
    pPr = ensurePPr(dom, p);
    QDomElement numPr = createW(dom, "numPr");
    QDomElement ilvl = createW(dom, "ilvl");
    setWAttr(ilvl, "val", QString::number(m.ilvl));
    QDomElement numId = createW(dom, "numId");
    setWAttr(numId, "val", QString::number(m.bullet ? kBulletNumId : kNumberNumId));
    numPr.appendChild(ilvl);
    numPr.appendChild(numId);
    insertInOrder(pPr, numPr, paragraphPropertyOrder());
}
