// The one checked reader of XML parts.
#include "DocxXmlReader.h"

#include <array>
#include <cstring>

namespace {

// The stream reader takes some names XML does not allow (control characters,
// "w:" with no local part, "a:b:c") and a prefix declared twice on one
// element; written back, such a part no longer parses.
enum NameCharClass : unsigned char { kNameChar = 1, kNameStartChar = 2 };

constexpr std::array<unsigned char, 128> asciiNameClasses()
{
    std::array<unsigned char, 128> classes{};
    for (int c = 0; c < 128; ++c) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_')
            classes[c] = kNameChar | kNameStartChar;
        else if ((c >= '0' && c <= '9') || c == '-' || c == '.')
            classes[c] = kNameChar;
    }
    return classes;
}
constexpr std::array<unsigned char, 128> kAsciiNameClasses = asciiNameClasses();

bool isNameStartChar(char32_t c)
{
    if (c < 0x80)
        return kAsciiNameClasses[c] & kNameStartChar;
    return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF)
        || (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D)
        || (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF)
        || (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool isNameChar(char32_t c)
{
    if (c < 0x80)
        return kAsciiNameClasses[c] & kNameChar;
    return isNameStartChar(c) || c == 0xB7 || (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// A name, or two joined by one colon (prefix and local part).
bool isQualifiedName(QStringView name)
{
    bool partStart = true, colonSeen = false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t c = name[i].unicode();
        if (c == ':') {
            if (partStart || colonSeen)
                return false;
            colonSeen = partStart = true;
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            ++i;
            c = QChar::surrogateToUcs4(name[i - 1].unicode(), name[i].unicode());
        }
        if (!(partStart ? isNameStartChar(c) : isNameChar(c)))
            return false;
        partStart = false;
    }
    return !partStart;
}

// A name as an error message shows it: characters that do not print appear as
// their code, so the message stays one readable C string.
QString printableName(QStringView name)
{
    QString shown;
    for (const QChar c : name)
        shown += c.isPrint() ? QString(c) : QStringLiteral("\\x{%1}").arg(c.unicode(), 0, 16);
    return shown;
}

void refuseBadNames(DocxXmlReader &r)
{
    auto refuse = [&r](QStringView name) {
        r.raiseError(QStringLiteral("'%1' is not a valid XML name").arg(printableName(name)));
    };
    if (!isQualifiedName(r.qualifiedName()))
        return refuse(r.qualifiedName());
    const QXmlStreamAttributes attrs = r.attributes();
    for (const QXmlStreamAttribute &a : attrs) {
        if (!isQualifiedName(a.qualifiedName()))
            return refuse(a.qualifiedName());
    }
    const QXmlStreamNamespaceDeclarations &decls = r.declarations();
    for (qsizetype i = 0; i < decls.size(); ++i) {
        const QStringView prefix = decls[i].prefix();
        if (!prefix.isEmpty() && (prefix.contains(QLatin1Char(':')) || !isQualifiedName(prefix)))
            return refuse(prefix);
        for (qsizetype j = 0; j < i; ++j) {
            if (decls[j].prefix() == prefix)
                return r.raiseError(QStringLiteral("Namespace prefix '%1' declared twice").arg(printableName(prefix)));
        }
    }
}

// What the pieces of a tree cost in a QDomDocument, in bytes: measured on
// large trees (names and values are counted on top, two bytes a character).
constexpr qint64 kElementCost = 320;
constexpr qint64 kAttributeTableCost = 1800;  // an element's first attribute makes its attribute table
constexpr qint64 kAttributeCost = 500;
constexpr qint64 kTextNodeCost = 240;

}  // namespace

QXmlStreamReader::TokenType readNextChecked(DocxXmlReader &r)
{
    const QXmlStreamReader::TokenType token = r.readNext();
    switch (token) {
    case QXmlStreamReader::Invalid:
        // The source stops inside a tag of too many attributes: the reader then
        // sees its bytes end early.
        if (r.source_.tooManyAttributes() && r.error() == QXmlStreamReader::PrematureEndOfDocumentError)
            r.raiseError(QStringLiteral("An element has more than %1 attributes").arg(kMaxXmlAttributes));
        break;
    case QXmlStreamReader::DTD:
        r.raiseError(QStringLiteral("Document type declarations are not allowed"));  // entities could expand without bound
        break;
    case QXmlStreamReader::StartElement: {
        if (r.depth() >= kMaxXmlDepth) {
            r.raiseError(QStringLiteral("Elements nested deeper than %1 levels").arg(kMaxXmlDepth));
            break;
        }
        r.declarations_ = r.namespaceDeclarations();
        const int inForce = (r.namespacesAt_.isEmpty() ? 0 : r.namespacesAt_.last()) + int(r.declarations_.size());
        if (inForce > kMaxXmlNamespaces) {
            r.raiseError(QStringLiteral("More than %1 namespace declarations in force").arg(kMaxXmlNamespaces));
            break;
        }
        r.namespacesAt_.append(inForce);
        refuseBadNames(r);
        break;
    }
    case QXmlStreamReader::EndElement:
        if (!r.namespacesAt_.isEmpty())
            r.namespacesAt_.removeLast();
        break;
    default:
        break;
    }
    return r.tokenType();
}

bool DocxTreeCost::add(const DocxXmlReader &r)
{
    switch (r.tokenType()) {
    case QXmlStreamReader::StartElement: {
        bytes_ += kElementCost + 2 * r.qualifiedName().size();
        const QXmlStreamAttributes attributes = r.attributes();  // const: read in place
        const QXmlStreamNamespaceDeclarations &declarations = r.declarations();
        if (!attributes.isEmpty() || !declarations.isEmpty())
            bytes_ += kAttributeTableCost;
        for (const QXmlStreamAttribute &a : attributes)
            bytes_ += kAttributeCost + 2 * (a.qualifiedName().size() + a.value().size());
        for (const QXmlStreamNamespaceDeclaration &d : declarations)
            bytes_ += kAttributeCost + 2 * (d.prefix().size() + d.namespaceUri().size());
        break;
    }
    case QXmlStreamReader::Characters:
    case QXmlStreamReader::Comment:
        bytes_ += kTextNodeCost + 2 * r.text().size();
        break;
    case QXmlStreamReader::ProcessingInstruction:
        bytes_ += kTextNodeCost + 2 * (r.processingInstructionTarget().size() + r.processingInstructionData().size());
        break;
    default:
        break;
    }
    return bytes_ <= kMaxTreeBytes;
}

QString DocxTreeCost::refusal()
{
    return QStringLiteral("Too large to work on as a whole: it would take more than %1 MiB of memory as a tree")
        .arg(kMaxTreeBytes >> 20);
}

qint64 DocxXmlSource::readData(char *data, qint64 maxSize)
{
    if (cut_)
        return 0;
    const qint64 at = pos();
    const qint64 n = QBuffer::readData(data, maxSize);
    // Bytes read again (after a seek back) were counted already.
    const qint64 seen = qBound<qint64>(0, scanned_ - at, n);
    if (n <= seen)
        return n;
    const qint64 passed = seen + scan(data + seen, n - seen);
    scanned_ = at + passed;
    return passed;
}

qint64 DocxXmlSource::scan(const char *data, qint64 size)
{
    for (qint64 i = 0; i < size; ++i) {
        const char c = data[i];
        switch (state_) {
        case State::Text: {
            const void *open = std::memchr(data + i, '<', size_t(size - i));
            if (!open)
                return size;
            i = static_cast<const char *>(open) - data;
            state_ = State::Open;
            break;
        }
        case State::Open:
            closing_ = 0;
            if (c == '/') {
                state_ = State::EndTag;
            } else if (c == '?') {
                state_ = State::Pi;
            } else if (c == '!') {
                state_ = State::OpenBang;
            } else {
                state_ = State::StartTag;
                attributes_ = 0;
                --i;  // the name's first character, or the tag's end
            }
            break;
        case State::OpenBang:
            state_ = c == '-' ? State::Comment : c == '[' ? State::CData : State::Declaration;
            break;
        case State::StartTag:
            if (c == '"' || c == '\'') {
                quote_ = c;
                state_ = State::Quoted;
            } else if (c == '=') {
                if (++attributes_ > kMaxXmlAttributes) {
                    cut_ = true;
                    return i;
                }
            } else if (c == '>') {
                state_ = State::Text;
            }
            break;
        case State::Quoted: {
            const void *end = std::memchr(data + i, quote_, size_t(size - i));
            if (!end)
                return size;
            i = static_cast<const char *>(end) - data;
            state_ = State::StartTag;
            break;
        }
        case State::EndTag:
        case State::Declaration:
            if (c == '>')
                state_ = State::Text;
            break;
        case State::Comment:
        case State::CData:
        case State::Pi: {
            // Comments end with "-->", character data with "]]>", instructions with "?>".
            const char mark = state_ == State::Comment ? '-' : state_ == State::CData ? ']' : '?';
            const int marks = state_ == State::Pi ? 1 : 2;
            if (c == mark)
                ++closing_;
            else if (c == '>' && closing_ >= marks)
                state_ = State::Text;
            else
                closing_ = 0;
            break;
        }
        }
    }
    return size;
}

QString xmlErrorText(const QXmlStreamReader &r)
{
    return QStringLiteral("XML parse error at line %1 col %2: %3")
        .arg(r.lineNumber())
        .arg(r.columnNumber())
        .arg(r.errorString());
}

DocxNamespaceBindings declarationsOf(const DocxXmlReader &r)
{
    DocxNamespaceBindings here;
    for (const QXmlStreamNamespaceDeclaration &d : r.declarations())
        here.append({d.prefix().toString(), d.namespaceUri().toString()});
    return here;
}
