#include "DocxDocumentBody.h"

#include "DocxDocumentXml.h"
#include "DocxLog.h"
#include "DocxNamespaces.h"

#include <QXmlStreamReader>

namespace {

struct SectionScan
{
    bool located = false;
    bool found = false;
    qsizetype start = 0;
    qsizetype end = 0;
    DocxNamespaceBindings scope;
};

using ElementSpan = DocxElementSpan;

DocxNamespaceBindings flatten(const QList<DocxNamespaceBindings> &stack)
{
    DocxNamespaceBindings out;
    for (const auto &level : stack) {
        for (const auto &b : level) {
            out.removeIf([&](const QPair<QString, QString> &o) { return o.first == b.first; });
            out.append(b);
        }
    }
    return out;
}

// Maps the stream reader's UTF-16 offsets into UTF-8 bytes (a byte-order mark
// is not counted, as the reader does not count it).
class ByteOffsets
{
public:
    explicit ByteOffsets(const QByteArray &bytes)
        : d_(reinterpret_cast<const uchar *>(bytes.constData())), n_(bytes.size()),
          origin_(bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0), i_(origin_)
    {
    }

    // -1 when the offset falls inside a character or past the end.
    qsizetype at(qint64 units)
    {
        if (units < units_) {
            i_ = origin_;
            units_ = 0;
        }
        while (units_ < units && i_ < n_) {
            const uchar c = d_[i_];
            const int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
            units_ += len == 4 ? 2 : 1;
            i_ += len;
        }
        return units_ == units && i_ <= n_ ? i_ : -1;
    }

private:
    const uchar *d_;
    qsizetype n_;
    qsizetype origin_;
    qsizetype i_;
    qint64 units_ = 0;
};

// Pins an element's byte range down from the reader's offsets and checks that
// the range starts with the element's start tag and ends with '>'.
bool pinElement(const QByteArray &bytes, ByteOffsets &offsets, const ElementSpan &span, qsizetype &start,
                qsizetype &end)
{
    const qsizetype a = offsets.at(span.startChar);
    const qsizetype b = offsets.at(span.endChar);
    if (a < 0 || b <= a || b > bytes.size() || bytes.at(b - 1) != '>')
        return false;
    // The reader's offset sits at the '<', or up to two characters past it (at
    // the very start of a document without a declaration), or before
    // whitespace that precedes it.
    const QByteArray open = '<' + span.qualifiedName;
    const QByteArrayView all(bytes);
    qsizetype afterSpace = a;
    while (afterSpace < b && QChar::isSpace(uchar(bytes.at(afterSpace))))
        ++afterSpace;
    auto opensHere = [&](qsizetype at) {
        if (at < 0 || at + open.size() >= b || all.sliced(at, open.size()) != open)
            return false;
        const char next = bytes.at(at + open.size());
        return next == '>' || next == '/' || QChar::isSpace(uchar(next));
    };
    for (qsizetype candidate : {a, a - 1, a - 2, afterSpace}) {
        if (opensHere(candidate)) {
            start = candidate;
            end = b;
            return true;
        }
    }
    return false;
}

// The position just after the '>' closing the start tag that begins at `start`.
qsizetype startTagEnd(const QByteArray &bytes, qsizetype start)
{
    char quote = 0;
    for (qsizetype i = start; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i + 1;
        }
    }
    return -1;
}

bool isUtf8(const QXmlStreamReader &r, const QByteArray &bytes)
{
    const QStringView encoding = r.documentEncoding();
    return (encoding.isEmpty() || encoding.compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) == 0)
        && !bytes.startsWith("\xFE\xFF") && !bytes.startsWith("\xFF\xFE");
}

DocxNamespaceBindings declarationsOf(const QXmlStreamReader &r)
{
    DocxNamespaceBindings here;
    const QXmlStreamNamespaceDeclarations declarations = r.namespaceDeclarations();  // const: no copy made
    for (const QXmlStreamNamespaceDeclaration &d : declarations)
        here.append({d.prefix().toString(), d.namespaceUri().toString()});
    return here;
}

// The byte positions of the root's start tag, w:body and the body's top-level
// elements, from their spans; false when any does not pin down.
bool pinLayout(const QByteArray &bytes, ByteOffsets &offsets, const ElementSpan &root, const ElementSpan &body,
               const QList<ElementSpan> &children, DocxBodyLayout &layout)
{
    for (qsizetype i = 0; i < children.size(); ++i) {
        if (!pinElement(bytes, offsets, children[i], layout.children[i].start, layout.children[i].end))
            return false;
    }
    qsizetype start = 0, end = 0;
    if (!pinElement(bytes, offsets, body, start, end))
        return false;
    layout.contentStart = startTagEnd(bytes, start);
    layout.contentEnd = bytes.lastIndexOf("</", end);
    // The root's end is not needed: only its start tag is ever edited.
    qsizetype rootStart = 0;
    if (!pinElement(bytes, offsets, {root.startChar, body.endChar, root.qualifiedName}, rootStart, end))
        return false;
    layout.rootTagEnd = startTagEnd(bytes, rootStart);
    return layout.contentStart > 0 && layout.contentEnd >= layout.contentStart && layout.rootTagEnd > 0;
}

// One pass of the stream reader over the part: checks that it is well-formed,
// finds the last top-level w:sectPr and lays out the body's top-level elements.
bool scanBody(const QByteArray &bytes, SectionScan &scan, DocxBodySpans &spans, QString &err)
{
    DocxXmlReader r(bytes);
    const QString w = QString::fromLatin1(kNsW);
    QList<DocxNamespaceBindings> declared;
    ElementSpan open, last, child;
    spans = DocxBodySpans();
    ElementSpan &root = spans.root, &body = spans.body;
    QList<ElementSpan> &childSpans = spans.children;
    DocxBodyLayout &layout = spans.layout;
    DocxNamespaceBindings openScope;
    bool found = false, bodyDone = false;
    int sectionDepth = -1, bodyDepth = -1;
    qint64 previousEnd = 0;
    while (!r.atEnd()) {
        switch (readNextChecked(r)) {
        case QXmlStreamReader::StartElement: {
            const int depth = int(declared.size());
            if (sectionDepth < 0 && r.name() == QLatin1String("sectPr") && r.namespaceUri() == w) {
                sectionDepth = depth;
                open = {previousEnd, 0, r.qualifiedName().toUtf8()};
                openScope = flatten(declared);
            }
            declared.append(declarationsOf(r));
            if (depth == 0) {
                root = {previousEnd, 0, r.qualifiedName().toUtf8()};
                layout.rootScope = declared.first();
            } else if (bodyDepth < 0 && !bodyDone && r.name() == QLatin1String("body") && r.namespaceUri() == w) {
                bodyDepth = depth;
                body = {previousEnd, 0, r.qualifiedName().toUtf8()};
                layout.bodyScope = flatten(declared);
            } else if (bodyDepth >= 0 && depth == bodyDepth + 1) {
                child = {previousEnd, 0, r.qualifiedName().toUtf8()};
                layout.children.append({r.name().toString(), r.namespaceUri() == w, 0, 0});
            }
            break;
        }
        case QXmlStreamReader::EndElement:
            declared.removeLast();
            if (declared.size() == sectionDepth) {
                open.endChar = r.characterOffset();
                last = open;
                scan.scope = openScope;
                found = true;
                sectionDepth = -1;
            }
            if (bodyDepth >= 0 && declared.size() == bodyDepth + 1) {
                child.endChar = r.characterOffset();
                childSpans.append(child);
            } else if (bodyDepth >= 0 && declared.size() == bodyDepth) {
                body.endChar = r.characterOffset();
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
    const bool utf8 = isUtf8(r, bytes);
    ByteOffsets offsets(bytes);
    scan.found = found;
    scan.located = utf8 && (!found || pinElement(bytes, offsets, last, scan.start, scan.end));
    spans.seen = utf8 && bodyDone;
    return true;
}

bool isSectPr(const QDomNode &n)
{
    return n.isElement() && n.localName() == QLatin1String("sectPr") && n.namespaceURI() == QLatin1String(kNsW);
}

bool insideSectPr(const QDomNode &n)
{
    for (QDomNode p = n.parentNode(); !p.isNull(); p = p.parentNode()) {
        if (isSectPr(p))
            return true;
    }
    return false;
}

}  // namespace

QDomElement lastSectPr(const QDomDocument &dom)
{
    // Walk the tree backwards in document order: the first w:sectPr met, or the
    // w:sectPr that holds it, is the last section.
    QDomNode n = dom.documentElement();
    while (!n.isNull() && n.hasChildNodes())
        n = n.lastChild();
    while (!n.isNull()) {
        if (isSectPr(n) && !insideSectPr(n))
            return n.toElement();
        if (!n.previousSibling().isNull()) {
            n = n.previousSibling();
            while (n.hasChildNodes())
                n = n.lastChild();
        } else {
            n = n.parentNode();
        }
    }
    return {};
}

void DocxDocument::Body::ensureDom(const QByteArray &bytes)
{
    if (domBuilt)
        return;
    QString err;
    if (!parseXml(bytes, dom, err))
        documentWarning() << "DocxDocument: cannot parse document.xml:" << err;
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

bool DocxDocument::Body::scanSection(const QByteArray &bytes, QString &err)
{
    SectionScan scan;
    sectionScanned = true;
    layoutStale = layoutPinned = laidOut = false;
    if (!scanBody(bytes, scan, spans, err))
        return false;
    sectionLocated = scan.located;
    sectionFound = scan.found;
    sectionStart = scan.start;
    sectionEnd = scan.end;
    sectionScope = scan.scope;
    return true;
}

QDomElement DocxDocument::Body::sectionElement(const QByteArray &bytes)
{
    QString err;
    if (!domBuilt && !sectionScanned && !scanSection(bytes, err))
        documentWarning() << "DocxDocument: the body does not parse:" << err;
    if (domBuilt || !sectionLocated) {
        ensureDom(bytes);
        return lastSectPr(dom);
    }
    if (!sectionFound)
        return {};
    if (!sectionParsed) {
        sectionParsed = true;
        QString err;
        if (!parseFragment(bytes.mid(sectionStart, sectionEnd - sectionStart), sectionScope, sectionDom, section,
                           err)) {
            documentDebug() << "DocxDocument: cannot parse the last section:" << err;
            sectionLocated = false;
            return sectionElement(bytes);
        }
    }
    return section;
}

bool DocxDocument::loadBody()
{
    return body_->scanSection(entries.value(mainPart), error);
}

bool DocxDocument::bodyLayout(DocxBodyLayout &layout)
{
    if (body_->domBuilt)
        return false;
    storeBody();
    const QByteArray bytes = entries.value(mainPart);
    QString err;
    if ((!body_->sectionScanned || body_->layoutStale) && !body_->scanSection(bytes, err))
        return false;
    if (!body_->layoutPinned) {
        ByteOffsets offsets(bytes);
        body_->layoutPinned = true;
        DocxBodySpans &spans = body_->spans;
        body_->laidOut = spans.seen && pinLayout(bytes, offsets, spans.root, spans.body, spans.children, spans.layout);
    }
    layout = body_->spans.layout;
    return body_->laidOut;
}

void DocxDocument::setBodyBytes(const QByteArray &bytes)
{
    entries.insert(mainPart, bytes);
    *body_ = Body();
}

QDomDocument &DocxDocument::dom()
{
    body_->ensureDom(entries.value(mainPart));
    body_->domChanged = true;
    return body_->dom;
}

const QDomDocument &DocxDocument::dom() const
{
    body_->ensureDom(entries.value(mainPart));
    return body_->dom;
}

QDomElement DocxDocument::lastSection()
{
    const QDomElement sp = body_->sectionElement(entries.value(mainPart));
    if (sp.isNull())
        return sp;
    if (body_->domBuilt)
        body_->domChanged = true;
    else
        body_->sectionChanged = true;
    return sp;
}

QDomElement DocxDocument::lastSection() const
{
    return body_->sectionElement(entries.value(mainPart));
}

void DocxDocument::storeBody()
{
    const QString &name = mainPart;
    if (body_->domBuilt) {
        if (body_->domChanged)
            entries.insert(name, serializeXml(body_->dom, 0));
        body_->domChanged = false;
        return;
    }
    if (!body_->sectionChanged || body_->section.isNull())
        return;
    QByteArray bytes = entries.value(name);
    const QByteArray element = serializeXmlElement(body_->section, body_->sectionScope);
    bytes.replace(body_->sectionStart, body_->sectionEnd - body_->sectionStart, element);
    body_->sectionEnd = body_->sectionStart + element.size();
    body_->sectionChanged = false;
    body_->layoutStale = true;  // what follows the section has moved
    entries.insert(name, bytes);
}
