#include "DocxDocument.h"

#include "DocxDocumentBody.h"
#include "DocxDocumentParts.h"
#include "DocxNamespaces.h"

#include <utility>

namespace {

// Where the paragraph collector is: among blocks (a body, a cell, the content
// of a content control), inside a table looking for its rows, or inside a row
// looking for its cells. Rows of a table are the w:tr below it whose nearest
// enclosing w:tbl is this table (rows wrapped in other elements included);
// cells of a row likewise.
enum class Scope { Blocks, Table, Row };

struct Level
{
    QDomElement next;  // the next child to look at
    Scope scope;
};

void enterContainer(const QDomElement &container, QList<Level> &levels)
{
    if (hasLocalName(container, "sdt")) {
        const QDomElement content = wChild(container, "sdtContent");
        if (!content.isNull())
            levels.append({content.firstChildElement(), Scope::Blocks});
    } else {
        levels.append({container.firstChildElement(), hasLocalName(container, "tbl") ? Scope::Table : Scope::Blocks});
    }
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
    QList<Level> levels;  // the elements being looked through, outermost first
    enterContainer(container, levels);
    while (!levels.isEmpty()) {
        Level &level = levels.last();
        if (level.next.isNull()) {
            levels.removeLast();
            continue;
        }
        const QDomElement c = std::exchange(level.next, level.next.nextSiblingElement());
        switch (level.scope) {
        case Scope::Blocks:
            if (hasLocalName(c, "p"))
                out.append(c);
            else if (hasLocalName(c, "sdt") || hasLocalName(c, "tbl"))
                enterContainer(c, levels);
            break;
        case Scope::Table:
            if (hasLocalName(c, "tr"))
                levels.append({c.firstChildElement(), Scope::Row});
            else if (!hasLocalName(c, "tbl"))
                levels.append({c.firstChildElement(), Scope::Table});
            break;
        case Scope::Row:
            if (hasLocalName(c, "tc"))
                levels.append({c.firstChildElement(), Scope::Blocks});
            else if (!hasLocalName(c, "tr"))
                levels.append({c.firstChildElement(), Scope::Row});
            break;
        }
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
    const QDomElement body = firstDescendantNS(dom(), kNsW, "body");
    if (body.isNull())
        return;
    collectParagraphs(body, paras);
    infos.reserve(paras.size());
    for (int i = 0; i < paras.size(); ++i) {
        const QDomElement &p = paras[i];
        DocxParaInfo info;
        info.index = i;
        info.styleId = wVal(wChild(wChild(p, "pPr"), "pStyle"));
        info.headingLevel = headingLevel(p);
        info.text = paragraphText(p);
        infos.append(info);
    }
}

int DocxDocument::headingLevel(const QDomElement &p) const
{
    const QDomElement pPr = wChild(p, "pPr");
    bool ok = false;
    const int level = wVal(wChild(pPr, "outlineLvl")).toInt(&ok);
    if (ok)
        return level;
    const QString styleId = wVal(wChild(pPr, "pStyle"));
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
