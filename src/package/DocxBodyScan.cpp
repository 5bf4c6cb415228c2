// Scanning the main part's bytes: the last section, the top-level elements
// and what a tree of them would take.
#include "DocxBodyState.h"

#include "DocxByteSpans.h"

#include "DocxXml.h"
#include "DocxLog.h"
#include "DocxNamespaces.h"

#include <QHash>
#include <QXmlStreamReader>

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// One section as a scan found it: its byte range and the bindings around it.
struct SectionSpan
{
    qsizetype start = 0;
    qsizetype end = 0;
    DocxNamespaceBindings scope;
};

// What one scan of the body found.
struct BodyScan
{
    // The sections, in document order; `located` when each is pinned down.
    bool located = false;
    QList<SectionSpan> sections;
    qsizetype bodyContentEnd = -1;
    QString bodyWPrefix;
    qint64 treeBytes = 0;  // what a tree of the part would take
    bool strict = false;   // the root element is in strict markup
    // The layout, when one was asked for.
    bool laidOut = false;   // it pins down
    bool gaveUp = false;    // the body has more top-level elements than the scan was to lay out
};

// An element as the stream reader saw it, in UTF-16 units.
struct ElementSpan
{
    qint64 startChar = 0;  // where the token before the start tag ended
    qint64 endChar = 0;    // just after the end tag
    QByteArray qualifiedName;
    DocxNamespaceBindings scope;  // around it
};

// What an open element is, as far as finding sections needs: a section is a
// w:sectPr of the body itself or of a paragraph's w:pPr.
enum class Holder : quint8 { Other, Body, Paragraph, ParagraphProperties };

Holder holderOf(const QXmlStreamReader &r, Holder parent)
{
    if (!isNamespace(r.namespaceUri(), kNsW))
        return Holder::Other;
    const QStringView name = r.name();
    if (name == QLatin1String("body"))
        return Holder::Body;
    if (name == QLatin1String("p"))
        return Holder::Paragraph;
    return name == QLatin1String("pPr") && parent == Holder::Paragraph ? Holder::ParagraphProperties : Holder::Other;
}

bool holdsSection(const QList<Holder> &open)
{
    return !open.isEmpty() && (open.last() == Holder::Body || open.last() == Holder::ParagraphProperties);
}

// The prefix bound to the main namespace in `scope` (innermost wins); null when none.
QString wPrefixIn(const DocxNamespaceBindings &scope)
{
    QString prefix;
    for (const auto &b : scope) {
        if (isNamespace(b.second, kNsW))
            prefix = b.first.isNull() ? QLatin1String("") : b.first;
    }
    return prefix;
}

DocxBodyElement bodyElementKind(const QXmlStreamReader &r)
{
    if (!isNamespace(r.namespaceUri(), kNsW))
        return DocxBodyElement::Other;
    const QStringView name = r.name();
    return name == QLatin1String("p")     ? DocxBodyElement::Paragraph
        : name == QLatin1String("tbl")   ? DocxBodyElement::Table
        : name == QLatin1String("sdt")   ? DocxBodyElement::ContentControl
                                         : DocxBodyElement::Other;
}

// Places the root's start tag, w:body and the body's top-level elements in the
// bytes as the scan meets them; offsets come in document order, so mapping
// them costs one walk over the bytes. Gives up at the first element that does
// not pin down.
class LayoutPins
{
public:
    LayoutPins(const QByteArray &bytes, DocxBodyLayout &layout, qsizetype maxChildren)
        : bytes_(bytes), offsets_(bytes), layout_(layout), maxChildren_(maxChildren)
    {
    }

    bool pinned() const { return ok_ && bodyPinned_; }
    bool gaveUp() const { return gaveUp_; }
    void root(const QXmlStreamReader &r, qint64 startChar)
    {
        ok_ = isUtf8Part(r, bytes_);
        const qsizetype start = ok_ ? startTagAt(bytes_, offsets_, startChar, r.qualifiedName()) : -1;
        layout_.rootTagEnd = start < 0 ? -1 : startTagEnd(bytes_, start);
        ok_ = ok_ && layout_.rootTagEnd > 0;
    }
    void bodyStart(const QXmlStreamReader &r, qint64 startChar)
    {
        const qsizetype start = ok_ ? startTagAt(bytes_, offsets_, startChar, r.qualifiedName()) : -1;
        layout_.contentStart = start < 0 ? -1 : startTagEnd(bytes_, start);
        ok_ = ok_ && layout_.contentStart > 0;
    }
    void bodyEnd(qint64 endChar)
    {
        const qsizetype end = ok_ ? elementEndAt(bytes_, offsets_, endChar) : -1;
        layout_.contentEnd = end < 0 ? -1 : bytes_.lastIndexOf("</", end);
        ok_ = ok_ && layout_.contentEnd >= layout_.contentStart;
        bodyPinned_ = true;
    }
    void childStart(const QXmlStreamReader &r, qint64 startChar, DocxBodyElement kind)
    {
        if (ok_ && layout_.children.size() >= maxChildren_) {
            gaveUp_ = true;
            ok_ = false;
            layout_.children = {};
        }
        child_ = {ok_ ? startTagAt(bytes_, offsets_, startChar, r.qualifiedName()) : -1, 0, kind};
        ok_ = ok_ && child_.start >= 0;
    }
    void childEnd(qint64 endChar)
    {
        child_.end = ok_ ? elementEndAt(bytes_, offsets_, endChar) : -1;
        ok_ = ok_ && child_.end > child_.start;
        if (ok_)
            layout_.children.append(child_);
    }

private:
    const QByteArray &bytes_;
    DocxByteOffsets offsets_;
    DocxBodyLayout &layout_;
    qsizetype maxChildren_;
    DocxBodyChild child_;
    bool ok_ = false;
    bool bodyPinned_ = false;
    bool gaveUp_ = false;
};

// Places the sections and the body's end tag in the bytes; `located` stays
// true only when every section pins down.
void pinSections(const QByteArray &bytes, const QList<ElementSpan> &found, qint64 bodyEndChar, BodyScan &scan)
{
    DocxByteOffsets offsets(bytes);
    for (const ElementSpan &e : found) {
        const SectionSpan s{startTagAt(bytes, offsets, e.startChar, QString::fromUtf8(e.qualifiedName)),
                            elementEndAt(bytes, offsets, e.endChar), e.scope};
        if (s.start < 0 || s.end <= s.start) {
            scan.located = false;
            return;
        }
        scan.sections.append(s);
    }
    const qsizetype bodyEnd = bodyEndChar < 0 ? -1 : elementEndAt(bytes, offsets, bodyEndChar);
    scan.bodyContentEnd = bodyEnd < 0 ? -1 : bytes.lastIndexOf("</", bodyEnd - 1);
}

// One pass of the stream reader over the part: checks that it is well-formed,
// finds the sections, counts what a tree of the part would take
// and, given a layout, lays out up to `maxChildren` top-level elements of the body.
bool scanBody(const QByteArray &bytes, BodyScan &scan, DocxBodyLayout *layout, qsizetype maxChildren, QString &err)
{
    DocxXmlReader r(bytes);
    DocxTreeCost cost;
    QList<DocxNamespaceBindings> declared;  // by each open element
    QList<Holder> holders;                  // what each open element is
    ElementSpan open;
    QList<ElementSpan> found;
    qint64 bodyEndChar = -1;
    DocxBodyLayout scratch;
    LayoutPins pins(bytes, layout ? *layout : scratch, maxChildren);
    if (layout)
        *layout = DocxBodyLayout();
    bool bodyDone = false;
    int sectionDepth = -1, bodyDepth = -1;
    qint64 previousEnd = 0;
    while (!r.atEnd()) {
        const QXmlStreamReader::TokenType token = readNextChecked(r);
        cost.add(r);
        switch (token) {
        case QXmlStreamReader::StartElement: {
            const int depth = int(declared.size());
            if (depth == 0)
                scan.strict = isStrictNamespace(r.namespaceUri());
            if (sectionDepth < 0 && holdsSection(holders) && r.name() == QLatin1String("sectPr")
                && isNamespace(r.namespaceUri(), kNsW)) {
                sectionDepth = depth;
                open = {previousEnd, 0, r.qualifiedName().toUtf8(), flattenBindings(declared)};
            }
            holders.append(holderOf(r, holders.isEmpty() ? Holder::Other : holders.last()));
            declared.append(declarationsOf(r));
            if (depth == 1 && holders.last() == Holder::Body && scan.bodyWPrefix.isNull())
                scan.bodyWPrefix = wPrefixIn(flattenBindings(declared));
            if (!layout) {
                // nothing more to place
            } else if (depth == 0) {
                layout->rootScope = declared.first();
                pins.root(r, previousEnd);
            } else if (bodyDepth < 0 && !bodyDone && r.name() == QLatin1String("body")
                       && isNamespace(r.namespaceUri(), kNsW)) {
                bodyDepth = depth;
                layout->bodyScope = flattenBindings(declared);
                pins.bodyStart(r, previousEnd);
            } else if (bodyDepth >= 0 && depth == bodyDepth + 1) {
                pins.childStart(r, previousEnd, bodyElementKind(r));
            }
            break;
        }
        case QXmlStreamReader::EndElement:
            declared.removeLast();
            if (holders.takeLast() == Holder::Body && declared.size() == 1 && bodyEndChar < 0)
                bodyEndChar = r.characterOffset();
            if (declared.size() == sectionDepth) {
                open.endChar = r.characterOffset();
                found.append(open);
                sectionDepth = -1;
            }
            if (!layout || bodyDepth < 0) {
                // outside the body
            } else if (declared.size() == bodyDepth + 1) {
                pins.childEnd(r.characterOffset());
            } else if (declared.size() == bodyDepth) {
                pins.bodyEnd(r.characterOffset());
                bodyDepth = -1;
                bodyDone = true;
            }
            break;
        default:
            break;
        }
        previousEnd = r.characterOffset();
    }
    if (r.hasError()) {
        err = xmlErrorText(r);
        return false;
    }
    scan.treeBytes = cost.bytes();
    scan.located = isUtf8Part(r, bytes);
    if (scan.located)
        pinSections(bytes, found, bodyEndChar, scan);
    scan.laidOut = layout && pins.pinned();
    scan.gaveUp = pins.gaveUp();
    return true;
}

bool isSectPr(const QDomNode &n)
{
    return n.isElement() && n.localName() == QLatin1String("sectPr") && isNamespace(n.namespaceURI(), kNsW);
}

}  // namespace

QDomElement lastSectPr(const QDomDocument &dom)
{
    // Walk the tree backwards in document order, never into a w:sectPr: the
    // first one met holds everything after it, so it is the last section.
    auto deepestLast = [](QDomNode n) {
        while (!isSectPr(n) && n.hasChildNodes())
            n = n.lastChild();
        return n;
    };
    for (QDomNode n = deepestLast(dom.documentElement()); !n.isNull();) {
        if (isSectPr(n))
            return n.toElement();
        n = n.previousSibling().isNull() ? n.parentNode() : deepestLast(n.previousSibling());
    }
    return {};
}

namespace {

bool isWElement(const QDomNode &n, const char *localName)
{
    return n.isElement() && n.localName() == QLatin1String(localName) && isNamespace(n.namespaceURI(), kNsW);
}

bool isSection(const QDomNode &n)
{
    if (!isSectPr(n))
        return false;
    const QDomNode parent = n.parentNode();
    return isWElement(parent, "body") || (isWElement(parent, "pPr") && isWElement(parent.parentNode(), "p"));
}

// The position of section `index` among `count`: -1 (kLastSection) is the last.
qsizetype sectionAt(int index, qsizetype count)
{
    return index == kLastSection ? count - 1 : index;
}

}  // namespace

QList<QDomElement> sectionsOf(const QDomDocument &dom)
{
    QList<QDomElement> out;
    const QDomNode root = dom.documentElement();
    QDomNode n = root;
    while (!n.isNull()) {
        if (isSection(n))
            out.append(n.toElement());
        if (!isSectPr(n) && n.hasChildNodes()) {  // never into a section
            n = n.firstChild();
            continue;
        }
        while (!n.isNull() && n != root && n.nextSibling().isNull())
            n = n.parentNode();
        n = n.isNull() || n == root ? QDomNode() : n.nextSibling();
    }
    return out;
}

void DocxBody::State::ensureDom(const QByteArray &bytes)
{
    if (domBuilt || !treeError.isEmpty())
        return;
    QString err;
    if (treeBytes > kMaxTreeBytes)
        err = DocxTreeCost::refusal();
    if (!err.isEmpty() || !parseXml(bytes, dom, err, treeBytes >= 0)) {
        // Nothing is built: edits keep going to the bytes and the sections' own trees.
        treeError = err;
        treeBytes = kMaxTreeBytes + 1;  // not tried again
        documentWarning() << "DocxDocument: cannot read the body as a whole:" << err;
        return;
    }
    domBuilt = true;
    // A section edited on its own tree: that tree is the current one.
    const QList<QDomElement> stale = sectionsOf(dom);
    for (qsizetype i = 0; i < sections.size() && i < stale.size(); ++i) {
        if (sections[i].changed && !sections[i].element.isNull()) {
            stale[i].parentNode().replaceChild(dom.importNode(sections[i].element, true), stale[i]);
            domChanged = true;
        }
    }
    sections.clear();
}

bool DocxBody::State::scan(const QByteArray &bytes, qsizetype maxChildren, QString &err)
{
    BodyScan found;
    sectionScanned = true;
    if (maxChildren > 0) {
        layoutScanned = true;  // a body that does not parse has no layout to look for again
        laidOut = false;
    }
    if (!scanBody(bytes, found, maxChildren > 0 ? &layout : nullptr, maxChildren, err))
        return false;
    sectionLocated = found.located;
    sections.clear();
    for (const SectionSpan &span : std::as_const(found.sections)) {
        Section s;
        s.start = span.start;
        s.end = span.end;
        s.scope = span.scope;
        sections.append(s);
    }
    bodyContentEnd = found.bodyContentEnd;
    bodyWPrefix = found.bodyWPrefix;
    treeBytes = found.treeBytes;
    strict = found.strict;
    if (maxChildren > 0) {
        layoutScanned = !found.gaveUp;
        laidOut = found.laidOut;
    }
    return true;
}

const DocxBodyLayout *DocxBody::State::readableLayout(const QByteArray &bytes)
{
    const bool sectionPending = std::any_of(sections.cbegin(), sections.cend(), [](const Section &s) { return s.changed; });
    if (domBuilt || sectionPending)
        return nullptr;
    QString err;
    if (!layoutScanned && !scan(bytes, std::numeric_limits<qsizetype>::max(), err))
        return nullptr;
    return laidOut ? &layout : nullptr;
}

bool DocxBody::State::bytesHoldSections(const QByteArray &bytes)
{
    QString err;
    if (!domBuilt && !sectionScanned && !scan(bytes, 0, err))
        documentWarning() << "DocxDocument: the body does not parse:" << err;
    if (domBuilt || !sectionLocated) {
        ensureDom(bytes);
        return false;
    }
    return true;
}

int DocxBody::State::sectionCount(const QByteArray &bytes)
{
    return int(bytesHoldSections(bytes) ? sections.size() : sectionsOf(dom).size());
}

QDomElement DocxBody::State::sectionElement(const QByteArray &bytes, int index)
{
    if (!bytesHoldSections(bytes)) {
        const QList<QDomElement> all = sectionsOf(dom);
        const qsizetype i = sectionAt(index, all.size());
        return i >= 0 && i < all.size() ? all[i] : QDomElement();
    }
    const qsizetype i = sectionAt(index, sections.size());
    if (i < 0 || i >= sections.size())
        return {};
    Section &s = sections[i];
    if (!s.parsed) {
        s.parsed = true;
        QString err;
        if (!parseFragment(bytes.mid(s.start, s.end - s.start), s.scope, s.dom, s.element, err)) {
            documentDebug() << "DocxDocument: cannot parse a section:" << err;
            sectionLocated = false;
            return sectionElement(bytes, index);
        }
    }
    return s.element;
}

void DocxBody::State::markSectionChanged(int index)
{
    if (domBuilt) {
        domChanged = true;
        return;
    }
    const qsizetype i = sectionAt(index, sections.size());
    if (i >= 0 && i < sections.size())
        sections[i].changed = true;
}

void DocxBody::State::spliceSections(QByteArray &bytes)
{
    qsizetype shift = 0;  // how far the sections met so far have moved what follows them
    for (Section &s : sections) {
        s.start += shift;
        s.end += shift;
        if (!s.changed || s.element.isNull())
            continue;
        const QByteArray element = serializeXmlElement(s.element, s.scope);
        bytes.replace(s.start, s.end - s.start, element);
        shift += element.size() - (s.end - s.start);
        s.end = s.start + element.size();
        s.changed = false;
    }
    if (bodyContentEnd >= 0)
        bodyContentEnd += shift;
    if (shift != 0)
        layoutScanned = false;  // what follows a section has moved
}
