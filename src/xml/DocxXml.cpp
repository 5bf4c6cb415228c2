#include "DocxXml.h"

#include "DocxNamespaces.h"
#include "DocxPartTypes.h"

#include <QDomNamedNodeMap>
#include <QDomNodeList>
#include <QHash>
#include <QSet>
#include <QXmlStreamReader>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <iterator>
#include <utility>

namespace {

const QString &xmlnsUri()
{
    static const QString uri = QString::fromLatin1(kNsXmlns);
    return uri;
}
const QString &xmlUri()
{
    static const QString uri = QString::fromLatin1(kNsXml);
    return uri;
}

// Namespace URIs repeat on every element and attribute of a part, and a part
// has few of them: one shared string per URI keeps the tree small. Most
// elements are in the namespace of the one before, which is tried first; a
// part of many namespaces has them looked up by hash.
class UriTable
{
public:
    QString operator()(QStringView uri)
    {
        if (last_ < uris_.size() && uris_[last_] == uri)
            return uris_[last_];
        if (uris_.size() <= kSearched) {
            for (last_ = 0; last_ < uris_.size(); ++last_) {
                if (uris_[last_] == uri)
                    return uris_[last_];
            }
        } else {
            const auto it = byUri_.constFind(uri.toString());
            if (it != byUri_.cend())
                return uris_[last_ = *it];
        }
        last_ = uris_.size();
        uris_.append(uri.toString());
        byUri_.insert(uris_.last(), last_);
        return uris_.last();
    }

private:
    static constexpr qsizetype kSearched = 8;
    QList<QString> uris_;
    QHash<QString, qsizetype> byUri_;
    qsizetype last_ = 0;
};

QString declarationData(const QXmlStreamReader &r)
{
    QString data = QStringLiteral("version=\"%1\" encoding=\"UTF-8\"")
                       .arg(r.documentVersion().isEmpty() ? QStringLiteral("1.0") : r.documentVersion().toString());
    if (r.isStandaloneDocument())
        data += QStringLiteral(" standalone=\"yes\"");
    return data;
}

void appendChildOrTop(QDomDocument &dom, QDomNode &current, const QDomNode &child)
{
    if (current.isNull())
        dom.appendChild(child);
    else
        current.appendChild(child);
}

// ---- writing ---------------------------------------------------------------

void appendUtf8(QByteArray &out, char32_t c)
{
    if (c < 0x80) {
        out.append(char(c));
    } else if (c < 0x800) {
        out.append(char(0xC0 | (c >> 6)));
        out.append(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.append(char(0xE0 | (c >> 12)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
        out.append(char(0x80 | (c & 0x3F)));
    } else {
        out.append(char(0xF0 | (c >> 18)));
        out.append(char(0x80 | ((c >> 12) & 0x3F)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
        out.append(char(0x80 | (c & 0x3F)));
    }
}

bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
        || (c >= 0x10000 && c <= 0x10FFFF);
}

// Appends `s` as UTF-8 with markup characters escaped. Characters that XML 1.0
// cannot carry (control characters, U+FFFE, unpaired surrogates) are dropped so
// the output always parses.
void appendEscaped(QByteArray &out, const QString &s, bool inAttribute)
{
    const QChar *p = s.constData();
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = p[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n && p[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(p[i].unicode(), p[i + 1].unicode());
            ++i;
        }
        switch (c) {
        case '&': out.append("&amp;"); continue;
        case '<': out.append("&lt;"); continue;
        case '>': out.append("&gt;"); continue;
        case '\r': out.append("&#13;"); continue;
        case '"':
            if (inAttribute) {
                out.append("&quot;");
                continue;
            }
            break;
        case '\n':
        case '\t':
            if (inAttribute) {
                out.append(c == '\n' ? "&#10;" : "&#9;");
                continue;
            }
            break;
        default:
            break;
        }
        if (isXmlChar(c))
            appendUtf8(out, c);
    }
}

void appendRaw(QByteArray &out, const QString &s) { appendEscaped(out, s, false); }

struct Binding
{
    QString prefix;
    QString uri;
};

class XmlWriter
{
public:
    XmlWriter(QByteArray &out, int indent) : out_(out), indent_(indent)
    {
        scope_.append({QStringLiteral("xml"), xmlUri()});
    }

    void bind(const QString &prefix, const QString &uri) { scope_.append({prefix, uri}); }
    // Content to write after the children of the first element written.
    void setTail(const QByteArray &tail) { tail_ = tail; }
    // Content written in place of the insertion markers.
    void setInsertions(const QList<QByteArray> &insertions) { insertions_ = insertions; }
    // Bindings to declare on the root (the element written at depth 0).
    void declareOnRoot(const QList<Binding> &bindings) { rootExtra_ = bindings; }
    // Prefixes no declaration bound where they were used, so they were declared
    // on the elements using them; unambiguous ones are better declared on the root.
    QList<Binding> hoistable() const
    {
        QList<Binding> out;
        for (auto it = undeclared_.cbegin(); it != undeclared_.cend(); ++it) {
            if (!ambiguous_.contains(it.key()))
                out.append({it.key(), it.value()});
        }
        std::sort(out.begin(), out.end(), [](const Binding &a, const Binding &b) { return a.prefix < b.prefix; });
        return out;
    }

    // Writes `node` and everything below it; `depth` is the indentation level.
    // Elements still open are kept in a list, not on the call stack.
    void writeNode(const QDomNode &node, int depth)
    {
        if (!node.isElement()) {
            writeLeaf(node);
            return;
        }
        QList<OpenElement> open;
        openElement(node.toElement(), depth, open);
        while (!open.isEmpty()) {
            OpenElement &top = open.last();
            if (top.next.isNull()) {
                closeElement(top);
                open.removeLast();
                continue;
            }
            const QDomNode child = std::exchange(top.next, top.next.nextSibling());
            const int childDepth = top.depth + 1;
            if (top.elementsOnly)
                newline(childDepth);
            if (child.isElement())
                openElement(child.toElement(), childDepth, open);
            else
                writeLeaf(child);
        }
    }

private:
    struct Attr
    {
        QString prefix, local, value;
    };
    // An element whose start tag is written and whose end tag is not yet.
    struct OpenElement
    {
        QDomNode next;  // the next child to write
        QString prefix, local;
        qsizetype scopeMark;
        bool elementsOnly;
        int depth;
        QByteArray tail;
    };

    void writeLeaf(const QDomNode &node)
    {
        switch (node.nodeType()) {
        case QDomNode::TextNode: appendRaw(out_, node.nodeValue()); break;
        case QDomNode::CDATASectionNode: {
            QString data = node.nodeValue();
            data.replace(QStringLiteral("]]>"), QStringLiteral("]]]]><![CDATA[>"));
            out_.append("<![CDATA[");
            out_.append(data.toUtf8());
            out_.append("]]>");
            break;
        }
        case QDomNode::CommentNode:
            out_.append("<!--");
            out_.append(node.nodeValue().toUtf8());
            out_.append("-->");
            break;
        case QDomNode::ProcessingInstructionNode: {
            const QDomProcessingInstruction pi = node.toProcessingInstruction();
            if (pi.target() == QLatin1String(kXmlInsertionTarget)) {
                out_.append(insertions_.value(pi.data().toInt()));
                break;
            }
            out_.append("<?");
            out_.append(pi.target().toUtf8());
            if (!pi.data().isEmpty()) {
                out_.append(' ');
                out_.append(pi.data().toUtf8());
            }
            out_.append("?>");
            break;
        }
        default:
            break;
        }
    }

    // The URI bound to `prefix`; null when unbound (the empty prefix is bound
    // to no namespace unless declared).
    QString lookup(const QString &prefix) const
    {
        for (qsizetype i = scope_.size() - 1; i >= 0; --i) {
            if (scope_[i].prefix == prefix)
                return scope_[i].uri;
        }
        return prefix.isEmpty() ? QString(QLatin1String("")) : QString();
    }

    // Binds a prefix for `uri` on the element being opened; `preferred` is kept
    // unless it is taken by another namespace on this element.
    QString prefixFor(const QString &uri, const QString &preferred, QList<Binding> &decls)
    {
        const QString bound = lookup(preferred);
        if (!preferred.isEmpty() && bound == uri)
            return preferred;
        for (const Binding &b : decls) {
            if (b.uri == uri && !b.prefix.isEmpty())
                return b.prefix;
        }
        QString prefix = preferred;
        auto takenHere = [&](const QString &p) {
            return std::any_of(decls.cbegin(), decls.cend(), [&](const Binding &b) { return b.prefix == p; });
        };
        for (int n = 1; prefix.isEmpty() || takenHere(prefix); ++n)
            prefix = QStringLiteral("ns%1").arg(n);
        if (bound.isNull() && prefix == preferred)
            noteUndeclared(prefix, uri);
        decls.append({prefix, uri});
        bind(prefix, uri);
        return prefix;
    }

    void noteUndeclared(const QString &prefix, const QString &uri)
    {
        const auto it = undeclared_.constFind(prefix);
        if (it == undeclared_.cend())
            undeclared_.insert(prefix, uri);
        else if (*it != uri)
            ambiguous_.insert(prefix);
    }

    void writeName(const QString &prefix, const QString &local)
    {
        if (!prefix.isEmpty()) {
            appendRaw(out_, prefix);
            out_.append(':');
        }
        appendRaw(out_, local);
    }

    void newline(int depth)
    {
        out_.append('\n');
        out_.append(QByteArray(depth * indent_, ' '));
    }

    // Writes the start tag of `el`, and either closes it at once ("/>") or
    // leaves it open on `open` for its children.
    void openElement(const QDomElement &el, int depth, QList<OpenElement> &open)
    {
        const qsizetype scopeMark = scope_.size();
        QList<Binding> decls = depth == 0 ? rootExtra_ : QList<Binding>();
        QList<Attr> plain;
        QList<QDomNode> namespaced;
        if (el.hasAttributes()) {
            const QDomNamedNodeMap attrs = el.attributes();
            for (int i = 0, n = attrs.length(); i < n; ++i) {
                const QDomNode a = attrs.item(i);
                const QString uri = a.namespaceURI();
                if (uri == xmlnsUri())
                    decls.append({a.prefix().isEmpty() ? QString() : a.localName(), a.nodeValue()});
                else if (uri.isEmpty())
                    plain.append({QString(), a.localName().isEmpty() ? a.nodeName() : a.localName(), a.nodeValue()});
                else
                    namespaced.append(a);
            }
        }
        if (decls.size() > 1)
            std::sort(decls.begin(), decls.end(), [](const Binding &a, const Binding &b) { return a.prefix < b.prefix; });
        for (const Binding &b : decls)
            bind(b.prefix, b.uri);

        // The element's own name.
        const QString uri = el.namespaceURI();
        QString prefix;
        QString local;
        if (uri.isNull()) {
            local = el.tagName();
            if (!lookup(QString()).isEmpty()) {
                decls.append({QString(), QString(QLatin1String(""))});
                bind(QString(), QString(QLatin1String("")));
            }
        } else {
            local = el.localName();
            prefix = el.prefix();
            if (uri.isEmpty() || prefix.isEmpty()) {
                if (lookup(QString()) != uri) {
                    decls.append({QString(), uri});
                    bind(QString(), uri);
                }
                prefix.clear();
            } else {
                prefix = prefixFor(uri, prefix, decls);
            }
        }
        for (const QDomNode &a : namespaced)
            plain.append({prefixFor(a.namespaceURI(), a.prefix(), decls), a.localName(), a.nodeValue()});
        if (plain.size() > 1)
            std::sort(plain.begin(), plain.end(), [](const Attr &a, const Attr &b) {
                return a.prefix != b.prefix ? a.prefix < b.prefix : a.local < b.local;
            });

        out_.append('<');
        writeName(prefix, local);
        for (const Binding &b : decls) {
            out_.append(b.prefix.isEmpty() ? " xmlns=\"" : " xmlns:");
            if (!b.prefix.isEmpty()) {
                appendRaw(out_, b.prefix);
                out_.append("=\"");
            }
            appendEscaped(out_, b.uri, true);
            out_.append('"');
        }
        for (const Attr &a : plain) {
            out_.append(' ');
            writeName(a.prefix, a.local);
            out_.append("=\"");
            appendEscaped(out_, a.value, true);
            out_.append('"');
        }

        const QDomNode child = el.firstChild();
        QByteArray tail = std::exchange(tail_, QByteArray());
        if (child.isNull() && tail.isEmpty()) {
            out_.append("/>");
            scope_.resize(scopeMark);
            return;
        }
        out_.append('>');
        bool elementsOnly = indent_ > 0;
        for (QDomNode c = child; !c.isNull() && elementsOnly; c = c.nextSibling())
            elementsOnly = c.isElement() || c.isComment() || c.isProcessingInstruction();
        open.append({child, prefix, local, scopeMark, elementsOnly, depth, std::move(tail)});
    }

    void closeElement(const OpenElement &el)
    {
        if (el.elementsOnly)
            newline(el.depth);
        out_.append(el.tail);
        out_.append("</");
        writeName(el.prefix, el.local);
        out_.append('>');
        scope_.resize(el.scopeMark);
    }

    QByteArray &out_;
    int indent_;
    QList<Binding> scope_;
    QList<Binding> rootExtra_;
    QByteArray tail_;
    QList<QByteArray> insertions_;
    QHash<QString, QString> undeclared_;
    QSet<QString> ambiguous_;
};

}  // namespace

bool parseXml(const QByteArray &bytes, QDomDocument &dom, QString &err, bool counted)
{
    dom = QDomDocument();
    if (!counted && bytes.size() > kMaxTreeBytes / kMaxTreeBytesPerByte && !checkXml(bytes, err))
        return false;
    DocxXmlReader r(bytes);
    UriTable uris;
    DocxTreeCost cost;
    QDomNode current;  // null at document level: the document has no node before its first child exists
    QString text;      // text read since the last node; the reader may hand one text over in pieces
    auto flushText = [&] {
        if (!text.isEmpty() && !current.isNull())
            current.appendChild(dom.createTextNode(text));
        text.clear();
    };
    const QString xmlns = QStringLiteral("xmlns");
    while (!r.atEnd()) {
        const QXmlStreamReader::TokenType token = readNextChecked(r);
        if (!r.hasError() && !cost.add(r))
            r.raiseError(DocxTreeCost::refusal());
        if (r.hasError())
            break;
        if (token != QXmlStreamReader::Characters || r.isCDATA())
            flushText();
        switch (token) {
        case QXmlStreamReader::StartDocument:
            if (!r.documentVersion().isEmpty())
                dom.appendChild(dom.createProcessingInstruction(QStringLiteral("xml"), declarationData(r)));
            break;
        case QXmlStreamReader::StartElement: {
            QDomElement e = dom.createElementNS(uris(r.namespaceUri()), r.qualifiedName().toString());
            // Held const, the reader's lists are read in place, not copied.
            const QXmlStreamAttributes attributes = r.attributes();
            for (const QXmlStreamNamespaceDeclaration &d : r.declarations()) {
                const QString qname = d.prefix().isEmpty() ? xmlns : xmlns + QLatin1Char(':') + d.prefix().toString();
                e.setAttributeNS(xmlnsUri(), qname, d.namespaceUri().toString());
            }
            for (const QXmlStreamAttribute &a : attributes) {
                if (a.namespaceUri().isEmpty())
                    e.setAttribute(a.qualifiedName().toString(), a.value().toString());
                else
                    e.setAttributeNS(uris(a.namespaceUri()), a.qualifiedName().toString(), a.value().toString());
            }
            appendChildOrTop(dom, current, e);
            current = e;
            break;
        }
        case QXmlStreamReader::EndElement:
            current = current.parentNode();
            if (current.isDocument())
                current = QDomNode();
            break;
        case QXmlStreamReader::Characters:
            if (current.isNull())
                break;
            if (r.isCDATA())
                current.appendChild(dom.createCDATASection(r.text().toString()));
            else
                text += r.text();
            break;
        case QXmlStreamReader::Comment:
            appendChildOrTop(dom, current, dom.createComment(r.text().toString()));
            break;
        case QXmlStreamReader::ProcessingInstruction:
            appendChildOrTop(dom, current,
                             dom.createProcessingInstruction(r.processingInstructionTarget().toString(),
                                                             r.processingInstructionData().toString()));
            break;
        default:
            break;
        }
    }
    if (r.hasError()) {
        err = xmlErrorText(r);
        dom = QDomDocument();
        return false;
    }
    return true;
}

bool parseFragment(const QByteArray &element, const DocxNamespaceBindings &inScope, QDomDocument &dom,
                   QDomElement &el, QString &err)
{
    static const QByteArray wrapper = QByteArrayLiteral("lxdocx-fragment");
    QByteArray xml = '<' + wrapper;
    for (const auto &b : inScope) {
        xml += b.first.isEmpty() ? QByteArray(" xmlns=\"") : " xmlns:" + b.first.toUtf8() + "=\"";
        xml += b.second.toHtmlEscaped().toUtf8() + '"';
    }
    xml += '>' + element + "</" + wrapper + '>';
    if (!parseXml(xml, dom, err))
        return false;
    el = dom.documentElement().firstChildElement();
    return !el.isNull();
}

namespace {

// Reads `bytes` through; with `asTree`, refuses them when their tree would
// be too large.
bool readsThrough(const QByteArray &bytes, QString &err, bool asTree)
{
    DocxXmlReader r(bytes);
    DocxTreeCost cost;
    while (!r.atEnd()) {
        readNextChecked(r);
        if (asTree && !r.hasError() && !cost.add(r))
            r.raiseError(DocxTreeCost::refusal());
    }
    if (r.hasError()) {
        err = xmlErrorText(r);
        return false;
    }
    return true;
}

}  // namespace

bool checkXml(const QByteArray &bytes, QString &err)
{
    return readsThrough(bytes, err, true);
}

bool checkWellFormed(const QByteArray &bytes, QString &err)
{
    return readsThrough(bytes, err, false);
}

namespace {

QByteArray writeDocument(const QDomDocument &dom, int indent, const QList<Binding> &onRoot, QList<Binding> *hoistable)
{
    QByteArray out;
    XmlWriter writer(out, indent);
    writer.declareOnRoot(onRoot);
    for (QDomNode n = dom.firstChild(); !n.isNull(); n = n.nextSibling()) {
        writer.writeNode(n, 0);
        if (n.isProcessingInstruction() || n.isComment())
            out.append('\n');
    }
    if (hoistable)
        *hoistable = writer.hoistable();
    return out;
}

}  // namespace

QByteArray serializeXml(const QDomDocument &dom, int indent)
{
    // Prefixes that new elements brought in without a declaration are declared
    // on the root, which takes a second pass when there are any.
    QList<Binding> hoistable;
    const QByteArray out = writeDocument(dom, indent, {}, &hoistable);
    return hoistable.isEmpty() ? out : writeDocument(dom, indent, hoistable, nullptr);
}

QByteArray serializeXmlElement(const QDomElement &el, const DocxNamespaceBindings &inScope, const QByteArray &tail,
                               const QList<QByteArray> &insertions)
{
    QByteArray out;
    XmlWriter writer(out, 0);
    for (const auto &b : inScope)
        writer.bind(b.first, b.second);
    writer.setTail(tail);
    writer.setInsertions(insertions);
    writer.writeNode(el, 1);
    return out;
}

QByteArray declaredXml(const char *lineBreak, const QByteArray &content)
{
    return QByteArray(kXmlDeclaration) + lineBreak + content;
}

QByteArray escapeXmlAttribute(const QString &value)
{
    QByteArray out;
    appendEscaped(out, value, true);
    return out;
}

QByteArray escapeXmlText(const QString &text)
{
    QByteArray out;
    appendEscaped(out, text, false);
    return out;
}

QString boundUri(const DocxNamespaceBindings &scope, const QString &prefix)
{
    for (qsizetype i = scope.size() - 1; i >= 0; --i) {
        if (scope[i].first == prefix)
            return scope[i].second;
    }
    return {};
}

namespace {

// A pair of kStrictNamespaces as strings, made once.
struct NamespaceNames
{
    QString transitional, strict;
};
constexpr std::size_t kStrictPairs = std::size(kStrictNamespaces);

const std::array<NamespaceNames, kStrictPairs> &strictPairs()
{
    static const std::array<NamespaceNames, kStrictPairs> pairs = [] {
        std::array<NamespaceNames, kStrictPairs> out;
        for (std::size_t i = 0; i < kStrictPairs; ++i)
            out[i] = {QString::fromLatin1(kStrictNamespaces[i].transitional),
                      QString::fromLatin1(kStrictNamespaces[i].strict)};
        return out;
    }();
    return pairs;
}

// The pair whose transitional URI is `uri`; null when it has none. Callers
// pass the constants, found by address before their text is compared.
const NamespaceNames *pairOf(const char *uri)
{
    for (std::size_t i = 0; i < kStrictPairs; ++i) {
        if (kStrictNamespaces[i].transitional == uri)
            return &strictPairs()[i];
    }
    for (std::size_t i = 0; i < kStrictPairs; ++i) {
        if (std::strcmp(kStrictNamespaces[i].transitional, uri) == 0)
            return &strictPairs()[i];
    }
    return nullptr;
}

}  // namespace

bool isStrictNamespace(QStringView uri) { return uri.startsWith(QLatin1String(kStrictNamespacePrefix)); }

bool isNamespace(QStringView uri, const char *namespaceUri)
{
    if (uri == QLatin1String(namespaceUri))
        return true;
    if (!isStrictNamespace(uri))
        return false;
    const NamespaceNames *names = pairOf(namespaceUri);
    return names && uri == names->strict;
}

QString namespaceAsIn(const QDomElement &el, const char *namespaceUri)
{
    const NamespaceNames *names = pairOf(namespaceUri);
    if (!names)
        return QString::fromLatin1(namespaceUri);
    return isStrictNamespace(el.namespaceURI()) ? names->strict : names->transitional;
}

QString nsAttribute(const QDomElement &el, const char *namespaceUri, const QString &localName)
{
    const NamespaceNames *names = pairOf(namespaceUri);
    if (!names)
        return el.attributeNS(QString::fromLatin1(namespaceUri), localName);
    const QString value = el.attributeNS(names->transitional, localName);
    if (!value.isEmpty() || !isStrictNamespace(el.namespaceURI()))
        return value;
    return el.attributeNS(names->strict, localName);
}

QString transitionalRelType(const QString &type)
{
    const NamespaceNames *r = pairOf(kNsR);
    if (!type.startsWith(r->strict) || type.size() <= r->strict.size() || type[r->strict.size()] != QLatin1Char('/'))
        return type;
    return r->transitional + type.mid(r->strict.size());
}

QDomElement firstChildNS(const QDomNode &parent, const char *namespaceUri, const char *localName)
{
    for (QDomElement c = parent.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (hasLocalName(c, localName) && isNamespace(c.namespaceURI(), namespaceUri))
            return c;
    }
    return {};
}

QDomElement firstDescendantNS(const QDomNode &root, const char *namespaceUri, const char *localName)
{
    for (QDomNode n = nextInTree(root, root); !n.isNull(); n = nextInTree(n, root)) {
        if (n.isElement() && hasLocalName(n, localName) && isNamespace(n.namespaceURI(), namespaceUri))
            return n.toElement();
    }
    return {};
}

QList<QDomElement> elementsNS(const QDomDocument &dom, const char *namespaceUri, const char *localName)
{
    QList<QDomElement> out;
    QDomDocument handle = dom;  // elementsByTagNameNS is not const; the handle shares the tree
    const QDomNodeList list =
        handle.elementsByTagNameNS(namespaceAsIn(dom.documentElement(), namespaceUri), QString::fromLatin1(localName));
    out.reserve(list.size());
    for (int i = 0; i < list.size(); ++i)
        out.append(list.at(i).toElement());
    return out;
}

QDomElement wChild(const QDomNode &parent, const char *localName) { return firstChildNS(parent, kNsW, localName); }

QString wAttr(const QDomElement &el, const QString &localName) { return nsAttribute(el, kNsW, localName); }

bool hasLocalName(const QDomNode &node, const char *localName) { return node.localName() == QLatin1String(localName); }

QDomElement firstChildByLocalName(const QDomNode &parent, const char *localName)
{
    for (QDomElement c = parent.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (hasLocalName(c, localName))
            return c;
    }
    return {};
}

QList<QDomElement> childrenByLocalName(const QDomNode &parent, const char *localName)
{
    QList<QDomElement> out;
    for (QDomElement c = parent.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (hasLocalName(c, localName))
            out.append(c);
    }
    return out;
}

QDomNode nextInTree(const QDomNode &node, const QDomNode &root, bool enter)
{
    if (enter) {
        const QDomNode child = node.firstChild();
        if (!child.isNull())
            return child;
    }
    for (QDomNode n = node; !n.isNull() && n != root; n = n.parentNode()) {
        const QDomNode sibling = n.nextSibling();
        if (!sibling.isNull())
            return sibling;
    }
    return {};
}

QString wVal(const QDomElement &el)
{
    static const QString val = QStringLiteral("val");
    return nsAttribute(el, kNsW, val);
}

QString runFontFamily(const QDomElement &rFonts)
{
    const QString ascii = wAttr(rFonts, QStringLiteral("ascii"));
    return ascii.isEmpty() ? wAttr(rFonts, QStringLiteral("hAnsi")) : ascii;
}

bool onOffText(const QString &val)
{
    return val != QLatin1String("0") && val != QLatin1String("false") && val != QLatin1String("off");
}

bool onOffValue(const QDomElement &property)
{
    return onOffText(wVal(property));
}

QString paragraphText(const QDomElement &el)
{
    QString text;
    for (QDomNode n = nextInTree(el, el); !n.isNull();) {
        const bool isText = n.isElement() && n.localName() == QLatin1String("t") && isNamespace(n.namespaceURI(), kNsW);
        if (isText)
            text += n.toElement().text();
        n = nextInTree(n, el, !isText);
    }
    return text;
}

const QString &wNamespace()
{
    static const QString ns = QString::fromLatin1(kNsW);
    return ns;
}

namespace {

// "w:" + the name, made once per name (names are string literals) and thread.
QString wQualified(const char *localName)
{
    thread_local QHash<const char *, QString> names;
    auto it = names.constFind(localName);
    if (it == names.cend())
        it = names.insert(localName, QStringLiteral("w:") + QLatin1String(localName));
    return *it;
}

}  // namespace

QDomElement createW(QDomDocument dom, const char *localName)
{
    return dom.createElementNS(wNamespace(), wQualified(localName));
}

void setWAttr(QDomElement el, const char *localName, const QString &value)
{
    el.setAttributeNS(wNamespace(), wQualified(localName), value);
}

void preserveSpace(QDomElement el)
{
    el.setAttributeNS(QString::fromLatin1(kNsXml), QStringLiteral("xml:space"), QStringLiteral("preserve"));
}

void insertInOrder(QDomElement &parent, const QDomElement &child, const QStringList &order)
{
    const qsizetype rank = order.indexOf(child.localName());
    for (QDomElement c = parent.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (order.indexOf(c.localName()) > rank) {
            parent.insertBefore(child, c);
            return;
        }
    }
    parent.appendChild(child);
}
