// Header and footer parts by kind, and header/footer XML built from text.
#include "DocxHeadersFooters.h"

#include "DocxBody.h"
#include "DocxPackage.h"
#include "DocxPartXml.h"
#include "DocxLog.h"
#include "DocxNamespaces.h"
#include "DocxPartTypes.h"

#include <utility>

namespace {

constexpr int kMaxHFParts = 99;
constexpr char kPlaceholderResult[] = "1";

const char *referenceTag(DocxHFPart part) { return part == DocxHFPart::Header ? "headerReference" : "footerReference"; }

// The section's reference of a kind, or null.
QDomElement findReference(const QDomElement &sp, DocxHFPart part, DocxHFKind kind)
{
    const QString typeStr = hfKindName(kind);
    for (QDomElement c = sp.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == QLatin1String(referenceTag(part))
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

QByteArray buildPart(DocxHFPart part, const QList<Segment> &segments, const QString &align)
{
    const QByteArray root = part == DocxHFPart::Header ? "w:hdr" : "w:ftr";
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

QString DocxHeadersFooters::findReference(DocxHFPart part, DocxHFKind kind, int section) const
{
    return nsAttribute(::findReference(std::as_const(body_).section(section), part, kind), kNsR,
                       QStringLiteral("id"));
}

QString DocxHeadersFooters::shownPartName(DocxHFPart part, DocxHFKind kind, int section) const
{
    const int count = body_.sectionCount();
    for (int i = section == kLastSection ? count - 1 : section; i >= 0 && i < count; --i) {
        const QString rId = findReference(part, kind, i);
        if (!rId.isEmpty())
            return package_.relationships().relPartPath(rId);
    }
    return {};
}

QByteArray DocxHeadersFooters::part(DocxHFPart part, DocxHFKind kind, int section) const
{
    const QString name = shownPartName(part, kind, section);
    return name.isEmpty() ? QByteArray() : package_.entries().value(name);
}

bool DocxHeadersFooters::setPart(DocxHFPart part, DocxHFKind kind, const QByteArray &xml, int section)
{
    // A part no reader can parse would make the whole package unreadable.
    QString err;
    if (!checkXml(xml, err)) {
        documentWarning() << (part == DocxHFPart::Header ? "setHeaderPart:" : "setFooterPart:") << "refused:" << err;
        return false;
    }
    QString rId = findReference(part, kind, section);
    QString partPath = rId.isEmpty() ? QString() : package_.relationships().relPartPath(rId);
    if (partPath.isEmpty()) {
        const QDomElement sp = section == kLastSection ? body_.ensureLastSection() : body_.section(section);
        if (sp.isNull())
            return false;  // no such section, or no body: no section could use the part
        partPath = nextPartName(part);
        if (partPath.isEmpty())
            return false;
        rId = ensureRel(part, partPath);
        if (rId.isEmpty())
            return false;
        setReference(part, kind, rId, section);
    }
    // A part the relationship names but the package lacks needs its content type too.
    if (!package_.entries().contains(partPath))
        package_.contentTypes().ensureHeaderFooter(part, partPath);
    package_.entries().insert(partPath, xml);
    return true;
}

QString DocxHeadersFooters::nextPartName(DocxHFPart part) const
{
    const QString prefix =
        package_.mainFolder() + (part == DocxHFPart::Header ? QStringLiteral("header") : QStringLiteral("footer"));
    for (int n = 1; n <= kMaxHFParts; ++n) {
        const QString candidate = prefix + QString::number(n) + QStringLiteral(".xml");
        if (!package_.entries().contains(candidate))
            return candidate;
    }
    return {};
}

QString DocxHeadersFooters::ensureRel(DocxHFPart part, const QString &partPath)
{
    DocxRelationships &rels = package_.relationships();
    const QString type = QString::fromLatin1(part == DocxHFPart::Header ? kRelTypeHeader : kRelTypeFooter);
    const QString target = relativeTarget(package_.mainPart(), partPath);
    QString err;
    bool added = false;
    const QString id = rels.ensureRelTo(package_.mainRelsPart(), type, target, QString(), err, &added);
    if (id.isEmpty()) {
        documentWarning() << "ensureHFRel: cannot parse rels:" << err;
        return {};
    }
    if (added)
        package_.contentTypes().ensureHeaderFooter(part, partPath);
    return id;
}

void DocxHeadersFooters::setReference(DocxHFPart part, DocxHFKind kind, const QString &rId, int section)
{
    QDomElement sp = body_.section(section);
    if (sp.isNull())
        return;
    const QString r = QString::fromLatin1(kNsR);
    QDomElement ref = ::findReference(sp, part, kind);
    if (ref.isNull()) {
        ref = createW(sp.ownerDocument(), referenceTag(part));
        setWAttr(ref, "type", hfKindName(kind));
        sp.insertBefore(ref, sp.firstChild());
    }
    ref.setAttributeNS(r, QStringLiteral("r:id"), rId);
}

QByteArray DocxHeadersFooters::buildXml(DocxHFPart part, const QString &text, const QString &align)
{
    return buildPart(part, splitTokens(text), align);
}

bool DocxHeadersFooters::setPageNumberFooter(DocxHFKind kind, const QString &format)
{
    QString instruction = QStringLiteral(" PAGE ");
    if (format == QLatin1String("lowerRoman"))
        instruction = QStringLiteral(" PAGE \\* lowerRoman ");
    else if (format == QLatin1String("upperRoman"))
        instruction = QStringLiteral(" PAGE \\* ROMAN ");
    const QByteArray xml = buildPart(DocxHFPart::Footer, {{instruction, true}}, QStringLiteral("center"));
    return setPart(DocxHFPart::Footer, kind, xml);
}
