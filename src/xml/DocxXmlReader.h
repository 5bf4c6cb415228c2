#pragma once
// The one reader every pass over an XML part goes through: a stream reader that
// refuses what a part must not hold, within bounds on nesting, attributes and
// namespaces, and the count of what a tree of the part would take.
#include <QBuffer>
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QXmlStreamReader>

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
// No markup makes more tree per byte than this (an element of one attribute,
// <a b=""/>, takes 2,624 bytes for its 9), so a part of fewer bytes than
// kMaxTreeBytes / kMaxTreeBytesPerByte always fits.
inline constexpr qint64 kMaxTreeBytesPerByte = 300;

// Prefix to namespace URI bindings in force at some point of a document.
using DocxNamespaceBindings = QList<QPair<QString, QString>>;

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
// The namespace declarations of the start tag `r` stands on, as bindings.
DocxNamespaceBindings declarationsOf(const DocxXmlReader &r);
// The reader's error as "XML parse error at line %1 col %2: %3".
QString xmlErrorText(const QXmlStreamReader &r);
