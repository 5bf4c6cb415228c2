// Header and footer parts by kind, and header/footer XML built from text.
#include "DocxDocument.h"
#include "DocxDocumentParts.h"
#include "DocxLog.h"
#include "DocxNamespaces.h"
#include "DocxPartTypes.h"

#include <utility>

namespace {

constexpr int kMaxHFParts = 99;
constexpr char kPlaceholderResult[] = "1";

const char *referenceTag(bool isHeader) { return isHeader ? "headerReference" : "footerReference"; }

// The section's reference of a kind, or null.
QDomElement findReference(const QDomElement &sp, bool isHeader, HFType type)
{
    const QString typeStr = hfTypeName(type);
    for (QDomElement c = sp.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == QLatin1String(referenceTag(isHeader))
            && nsAttribute(c, kNsW, QStringLiteral("type")) == typeStr)
            return c;
    }
    return {};
}

// Text tokens of header/footer text and the field instructions they stand for.
const QList<std::pair<QString, QString>> &fieldTokens()
{
    static const QList<std::pair<QString, QString>> tokens = {
        {QStringLiteral("{PAGE}"), QStringLiteral(" PAGE ")},
        {QStringLiteral("{NUMPAGES}"), QStringLiteral(" NUMPAGES ")},
        {QStringLiteral("{TITLE}"), QStringLiteral(" DOCPROPERTY \"Title\" ")},
        {QStringLiteral("{CHAPTER}"), QStringLiteral(" STYLEREF \"Heading 1\" ")},
        {QStringLiteral("{AUTHOR}"), QStringLiteral(" DOCPROPERTY \"Author\" ")},
    };
    return tokens;
}

struct Segment
{
    QString text;
    bool field = false;  // `text` is a field instruction
};

// The token that starts `text`, or null. No token is the start of another, so
// at most one matches.
const std::pair<QString, QString> *tokenAt(QStringView text)
{
    for (const auto &t : fieldTokens()) {
        if (text.startsWith(t.first))
            return &t;
    }
    return nullptr;
}

// One pass over the text: every token starts with a brace, so only braces are looked at.
QList<Segment> splitTokens(const QString &text)
{
    QList<Segment> segments;
    qsizetype textStart = 0;
    for (qsizetype at = text.indexOf(QLatin1Char('{')); at >= 0; at = text.indexOf(QLatin1Char('{'), at)) {
        const std::pair<QString, QString> *token = tokenAt(QStringView(text).sliced(at));
        if (!token) {
            ++at;
            continue;
        }
        if (at > textStart)
            segments.append({text.mid(textStart, at - textStart), false});
        segments.append({token->second, true});
        at += token->first.size();
        textStart = at;
    }
    if (textStart < text.size())
        segments.append({text.mid(textStart), false});
    return segments;
}

// The part is written out directly, as the XML writer would write its tree
// (indented by two): a text of many tokens makes many runs, and a tree of them
// would take a hundred times the memory of their text.
class HFWriter
{
public:
    explicit HFWriter(QByteArray &out) : out_(out) {}

    void text(const QString &text)
    {
        const bool preserve = text.startsWith(QLatin1Char(' ')) || text.endsWith(QLatin1Char(' '));
        run(preserve ? "<w:t xml:space=\"preserve\">" : "<w:t>", escapeXmlText(text), "</w:t>");
    }

    void field(const QString &instruction)
    {
        fieldChar("begin");
        run("<w:instrText xml:space=\"preserve\">", escapeXmlText(instruction), "</w:instrText>");
        fieldChar("separate");
        run("<w:t>", kPlaceholderResult, "</w:t>");
        fieldChar("end");
    }

private:
    void run(const char *open, const QByteArray &content, const char *close)
    {
        out_ += "    <w:r>\n      ";
        out_ += open;
        out_ += content;
        out_ += close;
        out_ += "\n    </w:r>\n";
    }
    void fieldChar(const char *type)
    {
        out_ += "    <w:r>\n      <w:fldChar w:fldCharType=\"";
        out_ += type;
        out_ += "\"/>\n    </w:r>\n";
    }

    QByteArray &out_;
};

QByteArray buildPart(bool isHeader, const QList<Segment> &segments, const QString &align)
{
    const QByteArray root = isHeader ? "w:hdr" : "w:ftr";
    QByteArray out = declaredXml(kLf, "<" + root + " xmlns:w=\"" + kNsW + "\">\n");
    const bool aligned = align != QLatin1String("left");
    if (!aligned && segments.isEmpty()) {
        out += "  <w:p/>\n";
    } else {
        out += "  <w:p>\n";
        if (aligned)
            out += "    <w:pPr>\n      <w:jc w:val=\"" + escapeXmlAttribute(align) + "\"/>\n    </w:pPr>\n";
        HFWriter writer(out);
        for (const Segment &s : segments) {
            if (s.field)
                writer.field(s.text);
            else
                writer.text(s.text);
        }
        out += "  </w:p>\n";
    }
    return out + "</" + root + '>';
}

}  // namespace

QString DocxDocument::findHFReference(bool isHeader, HFType type) const
{
    return nsAttribute(findReference(lastSection(), isHeader, type), kNsR, QStringLiteral("id"));
}

QByteArray DocxDocument::hfPart(bool isHeader, HFType type) const
{
    const QString rId = findHFReference(isHeader, type);
    return rId.isEmpty() ? QByteArray() : entries.value(relPartPath(rId));
}

QByteArray DocxDocument::headerPart(HFType type) const { return hfPart(true, type); }
QByteArray DocxDocument::footerPart(HFType type) const { return hfPart(false, type); }

bool DocxDocument::setHFPart(bool isHeader, HFType type, const QByteArray &xml)
{
    // A part no reader can parse would make the whole package unreadable.
    QString err;
    if (!checkXml(xml, err)) {
        documentWarning() << (isHeader ? "setHeaderPart:" : "setFooterPart:") << "refused:" << err;
        return false;
    }
    QString rId = findHFReference(isHeader, type);
    QString partPath = rId.isEmpty() ? QString() : relPartPath(rId);
    if (partPath.isEmpty()) {
        if (ensureLastSection().isNull())
            return false;  // no body: no section could use the part
        partPath = nextHFPartName(isHeader);
        if (partPath.isEmpty())
            return false;
        rId = ensureHFRel(isHeader, type, partPath);
        if (rId.isEmpty())
            return false;
        setHFReference(isHeader, type, rId);
    }
    // A part the relationship names but the package lacks needs its content type too.
    if (!entries.contains(partPath))
        ensureContentType(isHeader, partPath);
    entries.insert(partPath, xml);
    return true;
}

bool DocxDocument::setHeaderPart(HFType type, const QByteArray &xml) { return setHFPart(true, type, xml); }
bool DocxDocument::setFooterPart(HFType type, const QByteArray &xml) { return setHFPart(false, type, xml); }

QString DocxDocument::nextHFPartName(bool isHeader) const
{
    const QString prefix = mainFolder() + (isHeader ? QStringLiteral("header") : QStringLiteral("footer"));
    for (int n = 1; n <= kMaxHFParts; ++n) {
        const QString candidate = prefix + QString::number(n) + QStringLiteral(".xml");
        if (!entries.contains(candidate))
            return candidate;
    }
    return {};
}

QString DocxDocument::ensureHFRel(bool isHeader, HFType, const QString &partPath)
{
    const QString relsName = mainRelsPart();
    ensureRelationshipsPart(entries, relsName);
    QString err;
    const DocxRelsIndex *index = relsIndex(relsName, err);
    if (!index) {
        documentWarning() << "ensureHFRel: cannot parse rels:" << err;
        return {};
    }
    const QString target = relativeTarget(mainPart, partPath);
    const QString wantType = QString::fromLatin1(isHeader ? kRelTypeHeader : kRelTypeFooter);
    const DocxRelationship *existing =
        index->findTarget(target, [&](const DocxRelationship &r) { return r.type == wantType; });
    if (existing)
        return existing->id;
    const QString newId = addRelationship(relsName, wantType, target, QString(), err);
    if (newId.isEmpty()) {
        documentWarning() << "ensureHFRel: cannot parse rels:" << err;
        return {};
    }
    ensureContentType(isHeader, partPath);
    return newId;
}

void DocxDocument::setHFReference(bool isHeader, HFType type, const QString &rId)
{
    QDomElement sp = lastSection();
    if (sp.isNull())
        return;
    const QString r = QString::fromLatin1(kNsR);
    QDomElement ref = findReference(sp, isHeader, type);
    if (ref.isNull()) {
        ref = createW(sp.ownerDocument(), referenceTag(isHeader));
        setWAttr(ref, "type", hfTypeName(type));
        sp.insertBefore(ref, sp.firstChild());
    }
    ref.setAttributeNS(r, QStringLiteral("r:id"), rId);
}

QByteArray DocxDocument::buildHFXml(bool isHeader, const QString &text, const QString &align)
{
    return buildPart(isHeader, splitTokens(text), align);
}

bool DocxDocument::setPageNumberFooter(HFType type, const QString &format)
{
    QString instruction = QStringLiteral(" PAGE ");
    if (format == QLatin1String("lowerRoman"))
        instruction = QStringLiteral(" PAGE \\* lowerRoman ");
    else if (format == QLatin1String("upperRoman"))
        instruction = QStringLiteral(" PAGE \\* ROMAN ");
    return setFooterPart(type, buildPart(false, {{instruction, true}}, QStringLiteral("center")));
}
