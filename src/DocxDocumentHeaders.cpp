// Header and footer parts by kind, and header/footer XML built from text.
#include "DocxDocument.h"
#include "DocxDocumentParts.h"
#include "DocxLog.h"
#include "DocxNamespaces.h"

#include <utility>

namespace {

constexpr char kHeaderRelType[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/header";
constexpr char kFooterRelType[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/footer";
constexpr int kMaxHFParts = 99;
constexpr char kPlaceholderResult[] = "1";

const char *referenceTag(bool isHeader) { return isHeader ? "headerReference" : "footerReference"; }

// The section's reference of a kind, or null.
QDomElement findReference(const QDomElement &sp, bool isHeader, HFType type)
{
    const QString typeStr = hfTypeName(type);
    const QString w = QString::fromLatin1(kNsW);
    for (QDomElement c = sp.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == QLatin1String(referenceTag(isHeader)) && c.attributeNS(w, QStringLiteral("type")) == typeStr)
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

QList<Segment> splitTokens(const QString &text)
{
    QList<Segment> segments;
    QString remaining = text;
    while (!remaining.isEmpty()) {
        qsizetype best = -1;
        const std::pair<QString, QString> *token = nullptr;
        for (const auto &t : fieldTokens()) {
            const qsizetype at = remaining.indexOf(t.first);
            if (at >= 0 && (best < 0 || at < best)) {
                best = at;
                token = &t;
            }
        }
        if (!token) {
            segments.append({remaining, false});
            break;
        }
        if (best > 0)
            segments.append({remaining.left(best), false});
        segments.append({token->second, true});
        remaining = remaining.mid(best + token->first.size());
    }
    return segments;
}

class HFBuilder
{
public:
    HFBuilder(QDomDocument &dom, QDomElement &p) : dom_(dom), p_(p) {}

    void text(const QString &text)
    {
        QDomElement t = createW(dom_, "t");
        if (text.startsWith(QLatin1Char(' ')) || text.endsWith(QLatin1Char(' ')))
            preserveSpace(t);
        t.appendChild(dom_.createTextNode(text));
        run(t);
    }

    void field(const QString &instruction)
    {
        fieldChar("begin");
        QDomElement instr = createW(dom_, "instrText");
        preserveSpace(instr);
        instr.appendChild(dom_.createTextNode(instruction));
        run(instr);
        fieldChar("separate");
        QDomElement t = createW(dom_, "t");
        t.appendChild(dom_.createTextNode(QString::fromLatin1(kPlaceholderResult)));
        run(t);
        fieldChar("end");
    }

private:
    void run(const QDomElement &content)
    {
        QDomElement r = createW(dom_, "r");
        r.appendChild(content);
        p_.appendChild(r);
    }
    void fieldChar(const char *type)
    {
        QDomElement c = createW(dom_, "fldChar");
        setWAttr(c, "fldCharType", QString::fromLatin1(type));
        run(c);
    }

    QDomDocument &dom_;
    QDomElement &p_;
};

QByteArray buildPart(bool isHeader, const QList<Segment> &segments, const QString &align)
{
    QDomDocument dom;
    dom.appendChild(dom.createProcessingInstruction(
        QStringLiteral("xml"), QStringLiteral("version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"")));
    QDomElement root = createW(dom, isHeader ? "hdr" : "ftr");
    dom.appendChild(root);
    QDomElement p = createW(dom, "p");
    root.appendChild(p);
    if (align != QLatin1String("left")) {
        QDomElement pPr = createW(dom, "pPr");
        QDomElement jc = createW(dom, "jc");
        setWAttr(jc, "val", align);
        pPr.appendChild(jc);
        p.appendChild(pPr);
    }
    HFBuilder builder(dom, p);
    for (const Segment &s : segments) {
        if (s.field)
            builder.field(s.text);
        else
            builder.text(s.text);
    }
    return serializeXml(dom, kIndentedPart);
}

}  // namespace

QString DocxDocument::findHFReference(bool isHeader, HFType type) const
{
    return findReference(lastSection(), isHeader, type).attributeNS(QString::fromLatin1(kNsR), QStringLiteral("id"));
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
    const QString wantType = QString::fromLatin1(isHeader ? kHeaderRelType : kFooterRelType);
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
