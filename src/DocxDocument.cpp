#include "DocxDocument.h"

#include "DocxDocumentBody.h"
#include "DocxDocumentParts.h"
#include "DocxNamespaces.h"

namespace {

bool hasLocalName(const QDomElement &el, const char *name) { return el.localName() == QLatin1String(name); }

// Rows of `table`: the w:tr below it whose nearest enclosing w:tbl is this
// table (rows wrapped in other elements included). Cells of a row likewise.
void collectOwned(const QDomElement &owner, const char *itemName, const char *stopName, QList<QDomElement> &out)
{
    for (QDomElement c = owner.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (hasLocalName(c, itemName))
            out.append(c);
        else if (!hasLocalName(c, stopName))
            collectOwned(c, itemName, stopName, out);
    }
}

void collectTable(const QDomElement &table, QList<QDomElement> &out)
{
    QList<QDomElement> rows;
    collectOwned(table, "tr", "tbl", rows);
    for (const QDomElement &row : rows) {
        QList<QDomElement> cells;
        collectOwned(row, "tc", "tr", cells);
        for (const QDomElement &cell : cells)
            DocxDocument::collectParagraphs(cell, out);
    }
}

void collectFromSdt(const QDomElement &sdt, QList<QDomElement> &out)
{
    const QDomElement content = childElementNS(sdt, "sdtContent", kNsW);
    if (!content.isNull())
        DocxDocument::collectParagraphs(content, out);
}

}  // namespace

int headingLevelFromStyleId(const QString &styleId)
{
    const QString s = styleId.toLower();
    static const char *const numbered[] = {"heading1", "heading2", "heading3", "heading4"};
    for (int level = 0; level < 4; ++level) {
        if (s.startsWith(QLatin1String(numbered[level])) || s == QString::number(level + 1))
            return level;
    }
    return s.startsWith(QLatin1String("heading")) ? 0 : -1;
}

DocxDocument::DocxDocument() : body_(std::make_unique<Body>()), parts_(std::make_unique<PartIndexes>()) {}

DocxDocument::~DocxDocument() = default;

void DocxDocument::collectParagraphs(const QDomElement &container, QList<QDomElement> &out)
{
    if (hasLocalName(container, "sdt")) {
        collectFromSdt(container, out);
        return;
    }
    if (hasLocalName(container, "tbl")) {
        collectTable(container, out);
        return;
    }
    for (QDomElement c = container.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (hasLocalName(c, "p"))
            out.append(c);
        else if (hasLocalName(c, "sdt"))
            collectFromSdt(c, out);
        else if (hasLocalName(c, "tbl"))
            collectTable(c, out);
    }
}

void DocxDocument::buildIndex()
{
    parseTheme();
    parseStyles();
    parseNumbering();
    body_->indexed = false;
    body_->paragraphs.clear();
    body_->paragraphInfo.clear();
}

void DocxDocument::ensureIndexed() const
{
    if (!body_->indexed)
        indexParagraphs();
}

void DocxDocument::indexParagraphs() const
{
    body_->indexed = true;
    QList<QDomElement> &paras = body_->paragraphs;
    QList<DocxParaInfo> &infos = body_->paragraphInfo;
    paras.clear();
    infos.clear();
    const QDomElement body = firstElementNS(dom(), "body", kNsW);
    if (body.isNull())
        return;
    collectParagraphs(body, paras);
    infos.reserve(paras.size());
    for (int i = 0; i < paras.size(); ++i) {
        const QDomElement &p = paras[i];
        DocxParaInfo info;
        info.index = i;
        info.styleId = wVal(childElementNS(childElementNS(p, "pPr", kNsW), "pStyle", kNsW));
        info.headingLevel = headingLevel(p);
        info.text = paragraphText(p);
        infos.append(info);
    }
}

int DocxDocument::headingLevel(const QDomElement &p) const
{
    const QDomElement pPr = childElementNS(p, "pPr", kNsW);
    bool ok = false;
    const int level = wVal(childElementNS(pPr, "outlineLvl", kNsW)).toInt(&ok);
    if (ok)
        return level;
    const QString styleId = wVal(childElementNS(pPr, "pStyle", kNsW));
    if (styleId.isEmpty())
        return -1;
    const int styleLevel = resolveStyle(styleId).outlineLvl;
    return styleLevel >= 0 ? styleLevel : headingLevelFromStyleId(styleId);
}

int DocxDocument::paragraphCount() const
{
    ensureIndexed();
    return int(body_->paragraphInfo.size());
}

const DocxParaInfo &DocxDocument::paragraphInfoAt(int i) const
{
    static const DocxParaInfo none;
    ensureIndexed();
    return i >= 0 && i < body_->paragraphInfo.size() ? body_->paragraphInfo[i] : none;
}

const QList<QDomElement> &DocxDocument::paragraphs() const
{
    ensureIndexed();
    return body_->paragraphs;
}

const QList<DocxParaInfo> &DocxDocument::paragraphInfo() const
{
    ensureIndexed();
    return body_->paragraphInfo;
}
