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

// The field of `set` a reference of this kind fills; null for an unknown kind.
QTextDocument **slotFor(DocxReader::DocxHFSet &set, bool isHeader, const QString &kind)
{
    if (kind == QLatin1String("default"))
        return isHeader ? &set.defaultHdr : &set.defaultFtr;
    if (kind == QLatin1String("even"))
        return isHeader ? &set.evenHdr : &set.evenFtr;
    if (kind == QLatin1String("first"))
        return isHeader ? &set.firstHdr : &set.firstFtr;
    return nullptr;
}

void readReference(DocxReader::DocxHFSet &set, const QDomElement &ref, const QHash<QString, QString> &rIdToPath,
                   const DocxDocument &doc)
{
    const QString path = rIdToPath.value(nsAttribute(ref, kNsR, QStringLiteral("id")));
    if (path.isEmpty() || !doc.entries.contains(path))
        return;
    QTextDocument *rendered = DocxReader::renderHFPart(doc.entries.value(path), doc, path);
    if (!rendered)
        return;
    QTextDocument **slot = slotFor(set, ref.localName() == QLatin1String("headerReference"),
                                   wAttr(ref, QStringLiteral("type")));
    if (!slot) {
        delete rendered;
        return;
    }
    delete *slot;
    *slot = rendered;
}

// The field of a section a reference of this kind fills; null for an unknown kind.
std::shared_ptr<QTextDocument> *sectionSlotFor(DocxReader::DocxPageSection &section, bool isHeader, const QString &kind)
{
    const int index = kind == QLatin1String("default") ? HFDefault
        : kind == QLatin1String("even")                ? HFEven
        : kind == QLatin1String("first")               ? HFFirst
                                                       : -1;
    if (index < 0)
        return nullptr;
    return isHeader ? &section.headers[index] : &section.footers[index];
}

QDomElement headerOrFooterRoot(const QDomDocument &part)
{
    const QDomElement hdr = firstDescendantNS(part, kNsW, "hdr");
    return hdr.isNull() ? firstDescendantNS(part, kNsW, "ftr") : hdr;
}

}  // namespace

DocxReader::DocxHFSet DocxReader::readHeadersFooters(const DocxDocument &doc)
{
    DocxHFSet set;
    const QString settings = QString::fromLatin1(kPartSettings);
    if (doc.entries.contains(settings))
        set.evenAndOdd = doc.entries.value(settings).contains("evenAndOddHeaders");
    const QHash<QString, QString> rIdToPath = doc.relatedParts(doc.mainPart, isHeaderOrFooterRel);
    const QDomElement sp = doc.lastSection();
    if (sp.isNull())
        return set;
    set.titlePage = !firstChildByLocalName(sp, "titlePg").isNull();
    const QDomElement pgMar = firstChildByLocalName(sp, "pgMar");
    twipsAttrToPx(pgMar, "header", &set.hdrDist);
    twipsAttrToPx(pgMar, "footer", &set.ftrDist);
    for (QDomElement c = sp.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == QLatin1String("headerReference") || c.localName() == QLatin1String("footerReference"))
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
    section.titlePage = !firstChildByLocalName(sectPr, "titlePg").isNull();
    for (QDomElement c = sectPr.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        const bool isHeader = c.localName() == QLatin1String("headerReference");
        if (!isHeader && c.localName() != QLatin1String("footerReference"))
            continue;
        std::shared_ptr<QTextDocument> *slot = sectionSlotFor(section, isHeader, wAttr(c, QStringLiteral("type")));
        const QString path = rendered.paths.value(nsAttribute(c, kNsR, QStringLiteral("id")));
        if (!slot || path.isEmpty() || !doc.entries.contains(path))
            continue;
        auto it = rendered.parts.find(path);
        if (it == rendered.parts.end())
            it = rendered.parts.insert(path, std::shared_ptr<QTextDocument>(
                                                 DocxReader::renderHFPart(doc.entries.value(path), doc, path)));
        if (*it)
            *slot = *it;
    }
}

DocxRenderedParts::DocxRenderedParts(const DocxDocument &doc) : paths(doc.relatedParts(doc.mainPart, isHeaderOrFooterRel)) {}

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
    DocxBodyWalk(doc, whole, *qd, doc.relatedParts(partPath, isImageRel)).run(root);
    return qd;
}
