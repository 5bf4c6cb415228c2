// The headers and footers of the last section, rendered as rich text, with the
// distances and switches a page layout needs to place them.
#include "DocxLog.h"
#include "DocxNamespaces.h"
#include "DocxReaderInternal.h"

#include <QTextCursor>
#include <QTextDocument>

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
    const QString path = rIdToPath.value(ref.attributeNS(QString::fromLatin1(kNsR), QStringLiteral("id")));
    if (path.isEmpty() || !doc.entries.contains(path))
        return;
    QTextDocument *rendered = DocxReader::renderHFPart(doc.entries.value(path), doc);
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
    if (doc.entries.contains(settings))
        set.evenAndOdd = doc.entries.value(settings).contains("evenAndOddHeaders");
    const QHash<QString, QString> rIdToPath = documentRelParts(doc, isHeaderOrFooterRel);
    const QDomElement sp = doc.lastSection();
    if (sp.isNull())
        return set;
    set.titlePage = !firstChildByLocalName(sp, QStringLiteral("titlePg")).isNull();
    const QDomElement pgMar = firstChildByLocalName(sp, QStringLiteral("pgMar"));
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

QTextDocument *DocxReader::renderHFPart(const QByteArray &xml, const DocxDocument &doc)
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
    QTextCursor cursor(qd);
    bool firstBlock = true;
    DocxListCounters listCounters;
    const DocxImageRels noImages;  // pictures of header parts are not read
    auto convert = [&](const QDomElement &p) {
        convertParagraph(cursor, p, doc, firstBlock, listCounters, noImages, false);
        firstBlock = false;
    };
    for (QDomElement c = root.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == QLatin1String("p")) {
            convert(c);
        } else if (c.localName() == QLatin1String("sdt")) {
            for (const QDomElement &p : childElementsByLocalName(firstChildByLocalName(c, QStringLiteral("sdtContent")),
                                                                 QStringLiteral("p")))
                convert(p);
        }
    }
    return qd;
}
