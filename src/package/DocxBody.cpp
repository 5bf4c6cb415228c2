// The main document part as the body: its bytes, tree, last section and
// paragraph index.
#include "DocxBody.h"

#include "DocxBodyState.h"
#include "DocxNamespaces.h"
#include "DocxPackage.h"
#include "DocxPartXml.h"
#include "DocxStyles.h"

#include <algorithm>
#include <limits>

#include <utility>

namespace {

// Opening lays out this many top-level elements of the body at most (24 MB of
// records), so that the edits that need the layout usually find it made; a
// body of more is laid out again when an edit needs it.
constexpr qsizetype kLaidOutAtOpen = qsizetype(1) << 20;
// A body read element by element is parsed this many bytes of elements at a time.
constexpr qsizetype kBatchBytes = 256 * 1024;

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

DocxBody::DocxBody(DocxPackage &package, const DocxStyles &styles)
    : package_(package), styles_(styles), state_(std::make_unique<State>())
{
}

DocxBody::~DocxBody() = default;

QByteArray DocxBody::bytes() const { return package_.entries().value(package_.mainPart()); }

void DocxBody::collectParagraphs(const QDomElement &container, QList<QDomElement> &out)
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

void DocxBody::resetIndex() const
{
    state_->indexed = false;
    state_->paragraphsHeld = false;
    state_->paragraphs.clear();
    state_->paragraphInfo.clear();
}

void DocxBody::ensureIndexed() const
{
    if (state_->indexed)
        return;
    state_->indexed = true;
    QList<QDomElement> &paras = state_->paragraphs;
    QList<DocxParaInfo> &infos = state_->paragraphInfo;
    paras.clear();
    infos.clear();
    // A body too large for a tree has no index either.
    if (!state_->domBuilt && state_->treeBytes > kMaxTreeBytes)
        return;
    forEachElement([&](const QDomElement &element) {
        const QList<QDomElement> found = paragraphsOf(element);
        for (const QDomElement &p : found) {
            DocxParaInfo info;
            info.index = int(infos.size());
            info.styleId = wVal(wChild(wChild(p, "pPr"), "pStyle"));
            info.headingLevel = headingLevel(p);
            info.text = paragraphText(p);
            infos.append(info);
        }
        // Elements of a batch are gone after the visit: only the tree's are kept.
        if (state_->domBuilt)
            paras.append(found);
    });
    state_->paragraphsHeld = state_->domBuilt;
}

bool DocxBody::forEachElement(const std::function<void(const QDomElement &)> &visit) const
{
    const QByteArray part = bytes();
    const DocxBodyLayout *layout = state_->readableLayout(part);
    if (!layout) {
        const QDomElement body = firstDescendantNS(dom(), kNsW, "body");
        for (QDomElement c = body.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
            visit(c);
        return !body.isNull();
    }
    const QList<DocxBodyChild> &children = layout->children;
    for (qsizetype first = 0; first < children.size();) {
        qsizetype last = first + 1;
        while (last < children.size() && children[last].end - children[first].start < kBatchBytes)
            ++last;
        const qsizetype start = children[first].start;
        QDomDocument batch;
        QDomElement el;
        QString err;
        if (parseFragment(part.mid(start, children[last - 1].end - start), layout->bodyScope, batch, el, err)) {
            for (; !el.isNull(); el = el.nextSiblingElement())
                visit(el);
        }
        first = last;
    }
    return true;
}

QList<QDomElement> DocxBody::paragraphsOf(const QDomElement &element)
{
    QList<QDomElement> paragraphs;
    if (hasLocalName(element, "p"))
        paragraphs.append(element);
    else if (hasLocalName(element, "sdt") || hasLocalName(element, "tbl"))
        collectParagraphs(element, paragraphs);
    return paragraphs;
}

int DocxBody::headingLevel(const QDomElement &p) const
{
    const QDomElement pPr = wChild(p, "pPr");
    bool ok = false;
    const int level = wVal(wChild(pPr, "outlineLvl")).toInt(&ok);
    if (ok)
        return level;
    const QString styleId = wVal(wChild(pPr, "pStyle"));
    if (styleId.isEmpty())
        return -1;
    const int styleLevel = styles_.resolveStyle(styleId).outlineLvl;
    return styleLevel >= 0 ? styleLevel : headingLevelFromStyleId(styleId);
}

int DocxBody::paragraphCount() const
{
    ensureIndexed();
    return int(state_->paragraphInfo.size());
}

const DocxParaInfo &DocxBody::paragraphInfoAt(int i) const
{
    static const DocxParaInfo none;
    ensureIndexed();
    return i >= 0 && i < state_->paragraphInfo.size() ? state_->paragraphInfo[i] : none;
}

const QList<QDomElement> &DocxBody::paragraphs() const
{
    if (!state_->domBuilt || !state_->paragraphsHeld) {
        dom();
        resetIndex();
    }
    ensureIndexed();
    return state_->paragraphs;
}

const QList<DocxParaInfo> &DocxBody::paragraphInfo() const
{
    ensureIndexed();
    return state_->paragraphInfo;
}

bool DocxBody::load(QString &err)
{
    return state_->scan(bytes(), kLaidOutAtOpen, err);
}

bool DocxBody::isStrict() const { return state_->strict; }

bool DocxBody::layout(DocxBodyLayout &out)
{
    if (state_->domBuilt)
        return false;
    store();
    QString err;
    if (!state_->layoutScanned
        && !state_->scan(bytes(), std::numeric_limits<qsizetype>::max(), err))
        return false;
    out = state_->layout;
    return state_->laidOut;
}

bool DocxBody::treeFits(QString &err) const
{
    QString scanErr;
    if (!state_->domBuilt && state_->treeBytes < 0)
        state_->scan(bytes(), 0, scanErr);
    if (state_->domBuilt || state_->treeBytes <= kMaxTreeBytes)
        return true;
    const QString why = state_->treeError.isEmpty() ? DocxTreeCost::refusal() : state_->treeError;
    err = QStringLiteral("%1: %2").arg(package_.mainPart(), why);
    return false;
}

void DocxBody::setBytes(const QByteArray &bytes)
{
    package_.entries().insert(package_.mainPart(), bytes);
    *state_ = State();
}

QDomDocument &DocxBody::dom()
{
    state_->ensureDom(bytes());
    state_->domChanged = true;
    return state_->dom;
}

const QDomDocument &DocxBody::dom() const
{
    state_->ensureDom(bytes());
    return state_->dom;
}

QDomElement DocxBody::lastSection() { return section(-1); }

QDomElement DocxBody::lastSection() const { return section(-1); }

int DocxBody::sectionCount() const { return state_->sectionCount(bytes()); }

QDomElement DocxBody::section(int index)
{
    const QDomElement sp = state_->sectionElement(bytes(), index);
    if (!sp.isNull())
        state_->markSectionChanged(index);
    return sp;
}

QDomElement DocxBody::section(int index) const { return state_->sectionElement(bytes(), index); }

void DocxBody::store()
{
    const QString &name = package_.mainPart();
    if (state_->domBuilt) {
        if (state_->domChanged)
            package_.entries().insert(name, serializeXml(state_->dom, 0));
        state_->domChanged = false;
        return;
    }
    const bool anyChanged = std::any_of(state_->sections.cbegin(), state_->sections.cend(),
                                        [](const State::Section &s) { return s.changed; });
    if (!anyChanged)
        return;
    QByteArray bytes = package_.entries().value(name);
    state_->spliceSections(bytes);
    package_.entries().insert(name, bytes);
}

bool DocxBody::spliceFinalSection()
{
    if (!state_->bytesHoldSections(bytes()) || state_->bodyContentEnd < 0 || state_->bodyWPrefix.isNull())
        return false;
    store();
    const QString &prefix = state_->bodyWPrefix;
    const QByteArray element = "<" + (prefix.isEmpty() ? QByteArray() : prefix.toUtf8() + ':') + "sectPr/>";
    QByteArray changed = bytes();
    changed.insert(state_->bodyContentEnd, element);
    package_.entries().insert(package_.mainPart(), changed);
    const bool strict = state_->strict;
    *state_ = State();  // scanned again on the next use
    state_->strict = strict;
    return true;
}

QDomElement DocxBody::ensureLastSection()
{
    QDomElement sp = lastSection();
    if (!sp.isNull())
        return sp;
    if (spliceFinalSection())
        return lastSection();
    QDomDocument &tree = dom();
    QDomElement body = firstDescendantNS(tree, kNsW, "body");
    if (body.isNull())
        return {};
    sp = createW(tree, "sectPr");
    body.appendChild(sp);
    return sp;
}
