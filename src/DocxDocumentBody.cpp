#include "DocxDocumentBody.h"

#include "DocxLog.h"
#include "DocxNamespaces.h"

#include <QXmlStreamReader>

namespace {

constexpr char kFragmentRoot[] = "lxdocx-fragment";

struct SectionScan
{
    bool located = false;
    bool found = false;
    qsizetype start = 0;
    qsizetype end = 0;
    DocxNamespaceBindings scope;
};

struct SectionTokens
{
    qint64 startChar = 0;  // where the token before the start tag ended
    qint64 endChar = 0;    // just after the end tag
    QByteArray qualifiedName;
    DocxNamespaceBindings scope;
};

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

// Byte offsets of two UTF-16 offsets into UTF-8 `bytes` (a byte-order mark is
// not counted, as the stream reader does not count it).
void mapToBytes(const QByteArray &bytes, qint64 charA, qint64 charB, qsizetype &byteA, qsizetype &byteB)
{
    const auto *d = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    qint64 units = 0;
    byteA = byteB = -1;
    while (true) {
        if (units == charA && byteA < 0)
            byteA = i;
        if (units == charB) {
            byteB = i;
            return;
        }
        if (i >= n || units > charB)
            return;
        const uchar c = d[i];
        const int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        units += len == 4 ? 2 : 1;
        i += len;
    }
}

// Pins the section's byte range down from the reader's character offsets and
// checks that the range holds exactly the start and end of the element.
bool pinSection(const QByteArray &bytes, const SectionTokens &t, SectionScan &scan)
{
    qsizetype a = -1, b = -1;
    mapToBytes(bytes, t.startChar, t.endChar, a, b);
    if (a < 0 || b <= a || b > bytes.size() || bytes.at(b - 1) != '>')
        return false;
    // The reader's offset sits at the '<', or a character past it, or before
    // whitespace that precedes it.
    const QByteArray open = '<' + t.qualifiedName;
    qsizetype afterSpace = a;
    while (afterSpace < b && QChar::isSpace(uchar(bytes.at(afterSpace))))
        ++afterSpace;
    auto opensHere = [&](qsizetype at) {
        if (at < 0 || at + open.size() >= b || bytes.mid(at, open.size()) != open)
            return false;
        const char next = bytes.at(at + open.size());
        return next == '>' || next == '/' || QChar::isSpace(uchar(next));
    };
    qsizetype at = -1;
    for (qsizetype candidate : {a, a - 1, afterSpace}) {
        if (opensHere(candidate)) {
            at = candidate;
            break;
        }
    }
    if (at < 0)
        return false;
    scan.start = at;
    scan.end = b;
    scan.scope = t.scope;
    return true;
}

// One pass of the stream reader over the part: checks that it is well-formed
// and finds the last top-level w:sectPr.
bool scanBody(const QByteArray &bytes, SectionScan &scan, QString &err)
{
    QXmlStreamReader r(bytes);
    const QString w = QString::fromLatin1(kNsW);
    QList<DocxNamespaceBindings> declared;
    SectionTokens open, last;
    bool found = false;
    int depth = 0;
    int sectionDepth = -1;
    qint64 previousEnd = 0;
    while (!r.atEnd()) {
        switch (r.readNext()) {
        case QXmlStreamReader::DTD:
            r.raiseError(QStringLiteral("Document type declarations are not allowed"));
            break;
        case QXmlStreamReader::StartElement: {
            if (sectionDepth < 0 && r.name() == QLatin1String("sectPr") && r.namespaceUri() == w) {
                sectionDepth = depth;
                open.startChar = previousEnd;
                open.qualifiedName = r.qualifiedName().toUtf8();
                open.scope = flatten(declared);
            }
            DocxNamespaceBindings here;
            for (const QXmlStreamNamespaceDeclaration &d : r.namespaceDeclarations())
                here.append({d.prefix().toString(), d.namespaceUri().toString()});
            declared.append(here);
            ++depth;
            break;
        }
        case QXmlStreamReader::EndElement:
            --depth;
            declared.removeLast();
            if (depth == sectionDepth) {
                open.endChar = r.characterOffset();
                last = open;
                found = true;
                sectionDepth = -1;
            }
            break;
        default:
            break;
        }
        previousEnd = r.characterOffset();
    }
    if (r.hasError()) {
        err = QStringLiteral("XML parse error at line %1 col %2: %3")
                  .arg(r.lineNumber())
                  .arg(r.columnNumber())
                  .arg(r.errorString());
        return false;
    }
    const QStringView encoding = r.documentEncoding();
    const bool utf8 = encoding.isEmpty() || encoding.compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) == 0;
    scan.found = found;
    scan.located = utf8 && !bytes.startsWith("\xFE\xFF") && !bytes.startsWith("\xFF\xFE")
        && (!found || pinSection(bytes, last, scan));
    return true;
}

QByteArray fragmentDocument(const QByteArray &element, const DocxNamespaceBindings &scope)
{
    QByteArray out = QByteArray("<") + kFragmentRoot;
    for (const auto &b : scope) {
        out += b.first.isEmpty() ? QByteArray(" xmlns=\"") : " xmlns:" + b.first.toUtf8() + "=\"";
        out += b.second.toHtmlEscaped().toUtf8() + '"';
    }
    out += '>' + element + "</" + kFragmentRoot + '>';
    return out;
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

QDomElement DocxDocument::Body::sectionElement(const QByteArray &bytes)
{
    if (domBuilt || !sectionLocated) {
        ensureDom(bytes);
        return lastSectPr(dom);
    }
    if (!sectionFound)
        return {};
    if (!sectionParsed) {
        sectionParsed = true;
        QString err;
        const QByteArray xml = fragmentDocument(bytes.mid(sectionStart, sectionEnd - sectionStart), sectionScope);
        if (!parseXml(xml, sectionDom, err)) {
            documentWarning() << "DocxDocument: cannot parse the last section:" << err;
            sectionLocated = false;
            return sectionElement(bytes);
        }
        section = sectionDom.documentElement().firstChildElement();
    }
    return section;
}

bool DocxDocument::loadBody()
{
    SectionScan scan;
    if (!scanBody(entries.value(QString::fromLatin1(kPartDocument)), scan, error))
        return false;
    body_->sectionLocated = scan.located;
    body_->sectionFound = scan.found;
    body_->sectionStart = scan.start;
    body_->sectionEnd = scan.end;
    body_->sectionScope = scan.scope;
    return true;
}

QDomDocument &DocxDocument::dom()
{
    body_->ensureDom(entries.value(QString::fromLatin1(kPartDocument)));
    body_->domChanged = true;
    return body_->dom;
}

const QDomDocument &DocxDocument::dom() const
{
    body_->ensureDom(entries.value(QString::fromLatin1(kPartDocument)));
    return body_->dom;
}

QDomElement DocxDocument::lastSection()
{
    const QDomElement sp = body_->sectionElement(entries.value(QString::fromLatin1(kPartDocument)));
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
    return body_->sectionElement(entries.value(QString::fromLatin1(kPartDocument)));
}

void DocxDocument::storeBody()
{
    const QString name = QString::fromLatin1(kPartDocument);
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
    entries.insert(name, bytes);
}
