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

// What one scan of the body found.
struct BodyScan
{
    // The last section.
    bool located = false;
    bool found = false;
    qsizetype start = 0;
    qsizetype end = 0;
    DocxNamespaceBindings scope;
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
};

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

// One pass of the stream reader over the part: checks that it is well-formed,
// finds the last top-level w:sectPr, counts what a tree of the part would take
// and, given a layout, lays out up to `maxChildren` top-level elements of the body.
bool scanBody(const QByteArray &bytes, BodyScan &scan, DocxBodyLayout *layout, qsizetype maxChildren, QString &err)
{
    DocxXmlReader r(bytes);
    DocxTreeCost cost;
    QList<DocxNamespaceBindings> declared;  // by each open element
    QList<DocxNamespaceBindings> openDeclared, lastDeclared;  // around the section being read, and the last one read
    ElementSpan open, last;
    DocxBodyLayout scratch;
    LayoutPins pins(bytes, layout ? *layout : scratch, maxChildren);
    if (layout)
        *layout = DocxBodyLayout();
    bool found = false, bodyDone = false;
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
            if (sectionDepth < 0 && r.name() == QLatin1String("sectPr") && isNamespace(r.namespaceUri(), kNsW)) {
                sectionDepth = depth;
                open = {previousEnd, 0, r.qualifiedName().toUtf8()};
                openDeclared = declared;
            }
            declared.append(declarationsOf(r));
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
            if (declared.size() == sectionDepth) {
                open.endChar = r.characterOffset();
                last = open;
                lastDeclared = openDeclared;
                found = true;
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
    scan.found = found;
    scan.scope = flattenBindings(lastDeclared);
    scan.treeBytes = cost.bytes();
    scan.located = isUtf8Part(r, bytes);
    if (found && scan.located) {
        DocxByteOffsets offsets(bytes);
        scan.start = startTagAt(bytes, offsets, last.startChar, QString::fromUtf8(last.qualifiedName));
        scan.end = elementEndAt(bytes, offsets, last.endChar);
        scan.located = scan.start >= 0 && scan.end > scan.start;
    }
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

void DocxBody::State::ensureDom(const QByteArray &bytes)
{
    if (domBuilt || !treeError.isEmpty())
        return;
    QString err;
    if (treeBytes > kMaxTreeBytes)
        err = DocxTreeCost::refusal();
    if (!err.isEmpty() || !parseXml(bytes, dom, err, treeBytes >= 0)) {
        // Nothing is built: edits keep going to the bytes and the section's own tree.
        treeError = err;
        treeBytes = kMaxTreeBytes + 1;  // not tried again
        documentWarning() << "DocxDocument: cannot read the body as a whole:" << err;
        return;
    }
    domBuilt = true;
    if (sectionChanged) {
        // The section was edited on its own tree: that tree is the current one.
        const QDomElement stale = lastSectPr(dom);
        if (!stale.isNull() && !section.isNull()) {
            stale.parentNode().replaceChild(dom.importNode(section, true), stale);
            domChanged = true;
        }
    }
    sectionDom = QDomDocument();
    section = QDomElement();
    sectionParsed = sectionChanged = false;
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
    sectionFound = found.found;
    sectionStart = found.start;
    sectionEnd = found.end;
    sectionScope = found.scope;
    treeBytes = found.treeBytes;
    strict = found.strict;
    if (maxChildren > 0) {
        layoutScanned = !found.gaveUp;
        laidOut = found.laidOut;
    }
    return true;
}

QDomElement DocxBody::State::sectionElement(const QByteArray &bytes)
{
    QString err;
    if (!domBuilt && !sectionScanned && !scan(bytes, 0, err))
        documentWarning() << "DocxDocument: the body does not parse:" << err;
    if (domBuilt || !sectionLocated) {
        ensureDom(bytes);
        return lastSectPr(dom);
    }
    if (!sectionFound)
        return {};
    if (!sectionParsed) {
        sectionParsed = true;
        if (!parseFragment(bytes.mid(sectionStart, sectionEnd - sectionStart), sectionScope, sectionDom, section,
                           err)) {
            documentDebug() << "DocxDocument: cannot parse the last section:" << err;
            sectionLocated = false;
            return sectionElement(bytes);
        }
    }
    return section;
}
