#pragma once
// XML access shared by the package model: parsing parts into a DOM that keeps
// every text node and namespace declaration, writing a DOM back, and the small
// element lookups the model uses everywhere.
#include <QBuffer>
#include <QByteArray>
#include <QDomDocument>
#include <QDomElement>
#include <QList>
#include <QPair>
#include <QString>
#include <QXmlStreamReader>

// Prefix to namespace URI bindings in force at some point of a document.
using DocxNamespaceBindings = QList<QPair<QString, QString>>;

// What a part may hold. Real documents nest a few levels of tables (each level
// costs w:tbl, w:tr and w:tc, then w:p, w:r and w:t) inside a few levels of
// content controls and drawings; their elements carry a few dozen attributes
// at most (the root: its namespace declarations). Deeper or wider markup is
// refused, so that no walk over a tree needs a deep stack and no step that
// looks through an element's attributes or the namespaces in force becomes a
// search through thousands.
inline constexpr int kMaxXmlDepth = 256;           // elements open at once
inline constexpr int kMaxXmlAttributes = 256;      // on one element, namespace declarations included
inline constexpr int kMaxXmlNamespaces = 256;      // namespace declarations in force at once
// What a tree built from one part may take in memory, as counted by
// DocxTreeCost: parts that would take more are refused rather than built.
inline constexpr qint64 kMaxTreeBytes = qint64(1) << 30;

class DocxXmlReader;

// The memory a DOM tree takes, counted token by token as a part is read: an
// element, each attribute, each text node and each character of text and
// values, at what they cost in a QDomDocument (an element with attributes
// also carries a table for them).
class DocxTreeCost
{
public:
    // Adds the current token of `r`; false once the total is over kMaxTreeBytes.
    bool add(const DocxXmlReader &r);
    qint64 bytes() const { return bytes_; }
    // The refusal text for a part over the limit.
    static QString refusal();

private:
    qint64 bytes_ = 0;
};

// The bytes of a part as a device that counts the attributes of each start tag
// on the way in: the stream reader checks a tag's attributes against each
// other once it has read the whole tag, so a tag of many thousands would cost
// millions of comparisons before any check of ours could see it. The device
// ends early (as if the bytes ended there) at the first tag with more than
// kMaxXmlAttributes.
class DocxXmlSource : public QBuffer
{
public:
    bool tooManyAttributes() const { return cut_; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;

private:
    enum class State : unsigned char { Text, Open, OpenBang, StartTag, Quoted, EndTag, Comment, CData, Pi, Declaration };
    // How many bytes of `data` to pass on: all of them, or up to the tag that has too many attributes.
    qint64 scan(const char *data, qint64 size);

    State state_ = State::Text;
    char quote_ = 0;
    int attributes_ = 0;
    int closing_ = 0;  // how much of the current construct's closing delimiter was seen
    qint64 scanned_ = 0;  // bytes of the part looked at so far
    bool cut_ = false;
};

// A stream reader over bytes in memory that decodes them a block at a time
// (handed the whole array at once, the reader decodes all of it first: for a
// large part that is twice its size again in memory, and slower), and keeps
// what the limits above need to know.
class DocxXmlReader : public QXmlStreamReader
{
public:
    explicit DocxXmlReader(const QByteArray &bytes)
    {
        source_.setData(bytes);
        source_.open(QIODevice::ReadOnly);
        setDevice(&source_);
    }
    // Elements open at the current token.
    int depth() const { return int(namespacesAt_.size()); }
    // The namespace declarations of the current start tag (asked for once:
    // the reader works them out again on every call).
    const QXmlStreamNamespaceDeclarations &declarations() const { return declarations_; }

private:
    friend QXmlStreamReader::TokenType readNextChecked(DocxXmlReader &r);
    DocxXmlSource source_;
    QList<int> namespacesAt_;  // declarations in force inside each open element
    QXmlStreamNamespaceDeclarations declarations_;
};

// The next token of `r`, refusing (as a reader error) what a part must not hold
// and the stream reader lets through: a document type declaration, an element
// or attribute name that is not a qualified XML name, a prefix declared twice
// on one element, and markup beyond the limits above. Every pass over a part
// reads through it.
QXmlStreamReader::TokenType readNextChecked(DocxXmlReader &r);
// The reader's error as "XML parse error at line %1 col %2: %3".
QString xmlErrorText(const QXmlStreamReader &r);

// Namespace-aware parse. Unlike QDomDocument::setContent it keeps whitespace-only
// text (a space between two runs is content) and keeps every namespace
// declaration as an attribute of its element, so a part written back declares
// what the source declared, where it declared it. Document type declarations
// are refused, and so is a part whose tree would take more than kMaxTreeBytes.
// On failure `err` is "XML parse error at line %1 col %2: %3".
bool parseXml(const QByteArray &bytes, QDomDocument &dom, QString &err);

// Checks that `bytes` is a well-formed XML document, with the texts of parseXml,
// without building a tree.
bool checkXml(const QByteArray &bytes, QString &err);

// Parses one element given as bytes whose ancestors bind `inScope`; `el` is the
// element in `dom`. Texts as parseXml.
bool parseFragment(const QByteArray &element, const DocxNamespaceBindings &inScope, QDomDocument &dom,
                   QDomElement &el, QString &err);

// Writes a DOM as UTF-8 XML. `indent` > 0 puts each child of an element that
// holds only elements on its own line, indented; 0 adds no whitespace at all.
// Namespaces are declared once: the root keeps its declarations and also
// declares any prefix that new elements brought in.
QByteArray serializeXml(const QDomDocument &dom, int indent);

// Marks where XML written elsewhere goes into a tree: a processing
// instruction with this target whose data is an index into the list of
// insertions handed to serializeXmlElement.
inline constexpr char kXmlInsertionTarget[] = "lxdocx-insert";

// Writes one element whose ancestors (outside this output) bind `inScope`;
// bindings already in force are not declared again. `tail`, XML written
// elsewhere, goes in after the element's children, before its end tag; each
// insertion marker is replaced by its entry of `insertions`.
QByteArray serializeXmlElement(const QDomElement &el, const DocxNamespaceBindings &inScope,
                               const QByteArray &tail = QByteArray(), const QList<QByteArray> &insertions = {});
// The URI `scope` binds `prefix` to (the innermost binding); null when unbound.
QString boundUri(const DocxNamespaceBindings &scope, const QString &prefix);

// `value` escaped for an attribute value in double quotes, as UTF-8.
QByteArray escapeXmlAttribute(const QString &value);
// `text` escaped for element content, as UTF-8.
QByteArray escapeXmlText(const QString &text);

// The first child element (not descendant) in `namespaceUri` named `localName`.
QDomElement childElementNS(const QDomNode &parent, const char *localName, const char *namespaceUri);
// The first element in document order below `root` in `namespaceUri` named `localName`.
QDomElement firstElementNS(const QDomNode &root, const char *localName, const char *namespaceUri);
// The node after `node` in document order within the subtree of `root` (null
// past its end); with `enter` false, the children of `node` are passed over.
// Walks built on it need no stack, however deep the tree.
QDomNode nextInTree(const QDomNode &node, const QDomNode &root, bool enter = true);
// The w:val attribute; empty when absent.
QString wVal(const QDomElement &el);
// An on/off property element: on unless its w:val is "0", "false" or "off"
// (no value means on). Callers decide what an absent element means.
bool onOffValue(const QDomElement &property);
// The same for a w:val already read.
bool onOffText(const QString &val);
// The text of every descendant w:t in document order, joined without separators.
QString paragraphText(const QDomElement &el);
// The WordprocessingML namespace URI.
const QString &wNamespace();
// A new element "w:`localName`" in the WordprocessingML namespace; the name
// must be a string literal.
QDomElement createW(QDomDocument dom, const char *localName);
// Sets the attribute "w:`localName`" in the WordprocessingML namespace.
void setWAttr(QDomElement el, const char *localName, const QString &value);
// Marks a w:t or w:instrText as keeping its spaces (xml:space="preserve").
void preserveSpace(QDomElement el);

// Element children in document order whose local name is `localName`, any namespace.
QList<QDomElement> childElementsByLocalName(const QDomNode &parent, const QString &localName);
