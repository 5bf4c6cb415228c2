#include "DocxDocumentXml.h"

#include "DocxNamespaces.h"

#include <QDomNamedNodeMap>
#include <QHash>
#include <QSet>
#include <QXmlStreamReader>

#include <algorithm>

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

QString parseErrorText(const QXmlStreamReader &r)
{
    return QStringLiteral("XML parse error at line %1 col %2: %3")
        .arg(r.lineNumber())
        .arg(r.columnNumber())
        .arg(r.errorString());
}

// A DTD could declare entities that expand without bound; parts of a package
// never carry one.
void refuseDtd(QXmlStreamReader &r)
{
    r.raiseError(QStringLiteral("Document type declarations are not allowed"));
}

// Names repeat endlessly in a part; one shared string per distinct name keeps
// the tree small.
class NameTable
{
public:
    const QString &operator()(QStringView v)
    {
        auto it = names_.constFind(v.toString());
        if (it == names_.cend())
            it = names_.insert(v.toString(), v.toString());
        return *it;
    }

private:
    QHash<QString, QString> names_;
};

QString declarationData(const QXmlStreamReader &r)
{
    QString data = QStringLiteral("version=\"%1\" encoding=\"UTF-8\"")
                       .arg(r.documentVersion().isEmpty() ? QStringLiteral("1.0") : r.documentVersion().toString());
    if (r.isStandaloneDocument())
        data += QStringLiteral(" standalone=\"yes\"");
    return data;
}

void appendText(QDomDocument &dom, QDomNode &parent, const QString &text)
{
    QDomNode last = parent.lastChild();
    if (last.nodeType() == QDomNode::TextNode) {
        QDomText t = last.toText();
        t.setData(t.data() + text);
        return;
    }
    parent.appendChild(dom.createTextNode(text));
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

    // Prefixes that elements or attributes below `root` use but that no
    // declaration in the tree binds; declared on the root when unambiguous.
    void hoistUndeclared(const QDomElement &root)
    {
        QHash<QString, QString> used;
        QSet<QString> ambiguous;
        QSet<QString> declared;
        collectPrefixes(root, used, ambiguous, declared);
        for (auto it = used.cbegin(); it != used.cend(); ++it) {
            if (!ambiguous.contains(it.key()) && !declared.contains(it.key()) && lookup(it.key()).isNull())
                rootExtra_.append({it.key(), it.value()});
        }
        std::sort(rootExtra_.begin(), rootExtra_.end(),
                  [](const Binding &a, const Binding &b) { return a.prefix < b.prefix; });
    }

    void writeNode(const QDomNode &node, int depth)
    {
        switch (node.nodeType()) {
        case QDomNode::ElementNode: writeElement(node.toElement(), depth); break;
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

private:
    QString lookup(const QString &prefix) const
    {
        for (qsizetype i = scope_.size() - 1; i >= 0; --i) {
            if (scope_[i].prefix == prefix)
                return scope_[i].uri;
        }
        return prefix.isEmpty() ? QString(QLatin1String("")) : QString();
    }

    static QString uriOf(const QDomNode &n)
    {
        const QString uri = n.namespaceURI();
        return uri.isNull() ? QString(QLatin1String("")) : uri;
    }

    void collectPrefixes(const QDomElement &el, QHash<QString, QString> &used, QSet<QString> &ambiguous,
                         QSet<QString> &declared) const
    {
        auto note = [&](const QString &prefix, const QString &uri) {
            if (uri.isEmpty() || prefix == QLatin1String("xml"))
                return;
            auto it = used.constFind(prefix);
            if (it == used.cend())
                used.insert(prefix, uri);
            else if (*it != uri)
                ambiguous.insert(prefix);
        };
        if (!el.namespaceURI().isNull())
            note(el.prefix(), uriOf(el));
        const QDomNamedNodeMap attrs = el.attributes();
        for (int i = 0; i < attrs.count(); ++i) {
            const QDomNode a = attrs.item(i);
            if (a.namespaceURI() == xmlnsUri())
                declared.insert(a.prefix().isEmpty() ? QString() : a.localName());
            else if (!a.prefix().isEmpty())
                note(a.prefix(), uriOf(a));
        }
        for (QDomElement c = el.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
            collectPrefixes(c, used, ambiguous, declared);
    }

    // Binds a prefix for `uri` on the element being opened; `preferred` is kept
    // unless it is taken by another namespace on this element.
    QString prefixFor(const QString &uri, const QString &preferred, QList<Binding> &decls)
    {
        if (!preferred.isEmpty() && lookup(preferred) == uri)
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
        decls.append({prefix, uri});
        bind(prefix, uri);
        return prefix;
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

    void writeElement(const QDomElement &el, int depth)
    {
        const qsizetype scopeMark = scope_.size();
        QList<Binding> decls;
        struct Attr
        {
            QString prefix, local, value;
        };
        QList<Attr> plain;
        QList<QDomAttr> namespaced;

        const QDomNamedNodeMap attrs = el.attributes();
        for (int i = 0; i < attrs.count(); ++i) {
            const QDomAttr a = attrs.item(i).toAttr();
            const QString uri = a.namespaceURI();
            if (uri == xmlnsUri()) {
                const QString prefix = a.prefix().isEmpty() ? QString() : a.localName();
                decls.append({prefix, a.value()});
            } else if (uri.isEmpty()) {
                plain.append({QString(), a.localName().isEmpty() ? a.name() : a.localName(), a.value()});
            } else {
                namespaced.append(a);
            }
        }
        if (depth == 0)
            decls += rootExtra_;
        std::sort(decls.begin(), decls.end(), [](const Binding &a, const Binding &b) { return a.prefix < b.prefix; });
        for (const Binding &b : decls)
            bind(b.prefix, b.uri);

        // The element's own name.
        QString prefix;
        QString local = el.localName();
        if (el.namespaceURI().isNull()) {
            local = el.tagName();
            if (!lookup(QString()).isEmpty()) {
                decls.append({QString(), QString(QLatin1String(""))});
                bind(QString(), QString(QLatin1String("")));
            }
        } else {
            const QString uri = uriOf(el);
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
        for (const QDomAttr &a : namespaced)
            plain.append({prefixFor(a.namespaceURI(), a.prefix(), decls), a.localName(), a.value()});
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

        QDomNode child = el.firstChild();
        if (child.isNull()) {
            out_.append("/>");
        } else {
            out_.append('>');
            bool elementsOnly = indent_ > 0;
            for (QDomNode c = child; !c.isNull() && elementsOnly; c = c.nextSibling())
                elementsOnly = c.isElement() || c.isComment() || c.isProcessingInstruction();
            for (; !child.isNull(); child = child.nextSibling()) {
                if (elementsOnly)
                    newline(depth + 1);
                writeNode(child, depth + 1);
            }
            if (elementsOnly)
                newline(depth);
            out_.append("</");
            writeName(prefix, local);
            out_.append('>');
        }
        scope_.resize(scopeMark);
    }

    QByteArray &out_;
    int indent_;
    QList<Binding> scope_;
    QList<Binding> rootExtra_;
};

void collectText(const QDomNode &node, QString &out)
{
    for (QDomNode c = node.firstChild(); !c.isNull(); c = c.nextSibling()) {
        if (!c.isElement())
            continue;
        if (c.localName() == QLatin1String("t") && c.namespaceURI() == QLatin1String(kNsW))
            out += c.toElement().text();
        else
            collectText(c, out);
    }
}

}  // namespace

bool parseXml(const QByteArray &bytes, QDomDocument &dom, QString &err)
{
    dom = QDomDocument();
    QXmlStreamReader r(bytes);
    NameTable names;
    QDomNode current;  // null at document level: the document has no node before its first child exists
    const QString xmlns = QStringLiteral("xmlns");
    while (!r.atEnd()) {
        switch (r.readNext()) {
        case QXmlStreamReader::StartDocument:
            if (!r.documentVersion().isEmpty())
                dom.appendChild(dom.createProcessingInstruction(QStringLiteral("xml"), declarationData(r)));
            break;
        case QXmlStreamReader::DTD:
            refuseDtd(r);
            break;
        case QXmlStreamReader::StartElement: {
            QDomElement e = dom.createElementNS(names(r.namespaceUri()), names(r.qualifiedName()));
            for (const QXmlStreamNamespaceDeclaration &d : r.namespaceDeclarations()) {
                const QString qname = d.prefix().isEmpty() ? xmlns : xmlns + QLatin1Char(':') + d.prefix().toString();
                e.setAttributeNS(xmlnsUri(), names(qname), d.namespaceUri().toString());
            }
            for (const QXmlStreamAttribute &a : r.attributes()) {
                if (a.namespaceUri().isEmpty())
                    e.setAttribute(names(a.qualifiedName()), a.value().toString());
                else
                    e.setAttributeNS(names(a.namespaceUri()), names(a.qualifiedName()), a.value().toString());
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
                appendText(dom, current, r.text().toString());
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
        err = parseErrorText(r);
        dom = QDomDocument();
        return false;
    }
    return true;
}

bool checkXml(const QByteArray &bytes, QString &err)
{
    QXmlStreamReader r(bytes);
    while (!r.atEnd()) {
        if (r.readNext() == QXmlStreamReader::DTD)
            refuseDtd(r);
    }
    if (r.hasError()) {
        err = parseErrorText(r);
        return false;
    }
    return true;
}

QByteArray serializeXml(const QDomDocument &dom, int indent)
{
    QByteArray out;
    XmlWriter writer(out, indent);
    const QDomElement root = dom.documentElement();
    if (!root.isNull())
        writer.hoistUndeclared(root);
    for (QDomNode n = dom.firstChild(); !n.isNull(); n = n.nextSibling()) {
        writer.writeNode(n, 0);
        if (n.isProcessingInstruction() || n.isComment())
            out.append('\n');
    }
    return out;
}

QByteArray serializeXmlElement(const QDomElement &el, const DocxNamespaceBindings &inScope)
{
    QByteArray out;
    XmlWriter writer(out, 0);
    for (const auto &b : inScope)
        writer.bind(b.first, b.second);
    writer.writeNode(el, 1);
    return out;
}

QDomElement childElementNS(const QDomNode &parent, const char *localName, const char *namespaceUri)
{
    for (QDomElement c = parent.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == QLatin1String(localName) && c.namespaceURI() == QLatin1String(namespaceUri))
            return c;
    }
    return {};
}

QDomElement firstElementNS(const QDomNode &root, const char *localName, const char *namespaceUri)
{
    for (QDomElement c = root.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == QLatin1String(localName) && c.namespaceURI() == QLatin1String(namespaceUri))
            return c;
        const QDomElement inner = firstElementNS(c, localName, namespaceUri);
        if (!inner.isNull())
            return inner;
    }
    return {};
}

QString wVal(const QDomElement &el)
{
    return el.attributeNS(QString::fromLatin1(kNsW), QStringLiteral("val"));
}

QString paragraphText(const QDomElement &el)
{
    QString text;
    collectText(el, text);
    return text;
}

QList<QDomElement> childElementsByLocalName(const QDomNode &parent, const QString &localName)
{
    QList<QDomElement> out;
    for (QDomElement c = parent.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == localName)
            out.append(c);
    }
    return out;
}
