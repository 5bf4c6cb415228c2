// The headers and footers of the last section, rendered as rich text, with the
// distances and switches a page layout needs to place them.
#include "DocxLog.h"
#include "DocxNamespaces.h"
#include "DocxReaderInternal.h"

#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <limits>

namespace {

bool isHeaderOrFooterRel(const QString &type)
{
    return type.endsWith(QLatin1String("/header")) || type.endsWith(QLatin1String("/footer"));
}

// The header and footer parts of the main part, by relationship id.
QHash<QString, QString> headerAndFooterParts(const DocxDocument &doc)
{
    const DocxPackage &package = doc.package();
    return package.relationships().relatedParts(package.mainPart(), isHeaderOrFooterRel);
}

// What a child of w:sectPr refers to: the part and kind of a header or footer
// reference. False for any other element and for an unknown kind.
bool readReferenceKind(const QDomElement &ref, DocxHFPart &part, DocxHFKind &kind)
{
    if (ref.localName() == QLatin1String("headerReference"))
        part = DocxHFPart::Header;
    else if (ref.localName() == QLatin1String("footerReference"))
        part = DocxHFPart::Footer;
    else
        return false;
    const QString type = wAttr(ref, QStringLiteral("type"));
    for (const DocxHFKind k : {DocxHFKind::Default, DocxHFKind::Even, DocxHFKind::First}) {
        if (type == hfKindName(k)) {
            kind = k;
            return true;
        }
    }
    return false;
}

// The field of `set` a reference of this kind fills.
QTextDocument **slotFor(DocxReader::DocxHFSet &set, DocxHFPart part, DocxHFKind kind)
{
    const bool header = part == DocxHFPart::Header;
    switch (kind) {
    case DocxHFKind::Even: return header ? &set.evenHdr : &set.evenFtr;
    case DocxHFKind::First: return header ? &set.firstHdr : &set.firstFtr;
    case DocxHFKind::Default: break;
    }
    return header ? &set.defaultHdr : &set.defaultFtr;
}

void readReference(DocxReader::DocxHFSet &set, const QDomElement &ref, const QHash<QString, QString> &rIdToPath,
                   const DocxDocument &doc)
{
    DocxHFPart part;
    DocxHFKind kind;
    const QString path = rIdToPath.value(nsAttribute(ref, kNsR, QStringLiteral("id")));
    if (!readReferenceKind(ref, part, kind) || path.isEmpty() || !doc.package().entries().contains(path))
        return;
    QTextDocument *rendered = DocxReader::renderHFPart(doc.package().entries().value(path), doc, path);
    if (!rendered)
        return;
    QTextDocument **slot = slotFor(set, part, kind);
    delete *slot;
    *slot = rendered;
}

// The field of a section a reference of this kind fills.
std::shared_ptr<QTextDocument> *sectionSlotFor(DocxReader::DocxPageSection &section, DocxHFPart part, DocxHFKind kind)
{
    const int index = int(kind);
    return part == DocxHFPart::Header ? &section.headers[index] : &section.footers[index];
}

QDomElement headerOrFooterRoot(const QDomDocument &part)
{
    const QDomElement hdr = firstElementNS(part, "hdr", kNsW);
    return hdr.isNull() ? firstElementNS(part, "ftr", kNsW) : hdr;
}

}  // namespace

DocxReader::DocxHFSet DocxReader::readHeadersFooters(const DocxDocument &doc)
{
    DocxHFSet set;
    const QString settings = QString::fromLatin1(kPartSettings);
    if (doc.package().entries().contains(settings))
        set.evenAndOdd = doc.package().entries().value(settings).contains("evenAndOddHeaders");
    const QHash<QString, QString> rIdToPath = headerAndFooterParts(doc);
    const QDomElement sp = doc.body().lastSection();
    if (sp.isNull())
        return set;
    set.titlePage = !firstChildByLocalName(sp, QStringLiteral("titlePg")).isNull();
    const QDomElement pgMar = firstChildByLocalName(sp, QStringLiteral("pgMar"));
    twipsAttrToPx(pgMar, "header", &set.hdrDist);
    twipsAttrToPx(pgMar, "footer", &set.ftrDist);
    for (QDomElement c = sp.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        readReference(set, c, rIdToPath, doc);
    }
    readerDebug() << "readHeadersFooters: titlePage=" << set.titlePage << " evenAndOdd=" << set.evenAndOdd
                  << " hdrDist=" << set.hdrDist << " ftrDist=" << set.ftrDist
                  << " defaultHdr=" << (set.defaultHdr ? "yes" : "no")
                  << " defaultFtr=" << (set.defaultFtr ? "yes" : "no");
    return set;
}

void readSectionHeadersFooters(const DocxDocument &doc, const QDomElement &sectPr, DocxReader::DocxPageSection &section,
                               const DocxReader::DocxPageSection *previous, DocxRenderedParts &rendered)
{
    if (previous) {
        std::copy(std::begin(previous->headers), std::end(previous->headers), std::begin(section.headers));
        std::copy(std::begin(previous->footers), std::end(previous->footers), std::begin(section.footers));
    }
    section.titlePage = !firstChildByLocalName(sectPr, QStringLiteral("titlePg")).isNull();
    for (QDomElement c = sectPr.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        DocxHFPart part;
        DocxHFKind kind;
        if (!readReferenceKind(c, part, kind))
            continue;
        const QString path = rendered.paths.value(nsAttribute(c, kNsR, QStringLiteral("id")));
        if (path.isEmpty() || !doc.package().entries().contains(path))
            continue;
        std::shared_ptr<QTextDocument> *slot = sectionSlotFor(section, part, kind);
        auto it = rendered.parts.find(path);
        if (it == rendered.parts.end()) {
            QTextDocument *part = DocxReader::renderHFPart(doc.package().entries().value(path), doc, path);
            it = rendered.parts.insert(path, std::shared_ptr<QTextDocument>(part));
        }
        if (*it)
            *slot = *it;
    }
}

DocxRenderedParts::DocxRenderedParts(const DocxDocument &doc) : paths(headerAndFooterParts(doc)) {}

QTextDocument *DocxReader::renderHFPart(const QByteArray &xml, const DocxDocument &doc, const QString &partPath)
{
    QDomDocument part;
    QString err;
    if (!parseXml(xml, part, err)) {
        readerDebug() << "renderHFPart: XML parse error:" << err;
        return nullptr;
    }
    const QDomElement root = headerOrFooterRoot(part);
    if (root.isNull())
        return nullptr;
    auto *qd = new QTextDocument;
    qd->setDocumentMargin(0);
    // Paragraphs, tables and content controls, as in the body; pictures
    // through the part's own relationships.
    const DocxSectionRange whole{QString(), 0, std::numeric_limits<int>::max()};
    DocxBodyWalk(doc, whole, *qd, doc.package().relationships().relatedParts(partPath, isImageRel)).run(root);
    return qd;
}
