// Page geometry of the last section and the small XML accessors every step of
// the Reader shares.
#include "DocxLog.h"
#include "DocxNamespaces.h"
#include "DocxReaderInternal.h"

namespace {

const QSizeF kDefaultPageSizePx(816.0, 1056.0);  // 8.5 x 11 inches

}  // namespace

QDomElement firstChildByLocalName(const QDomElement &parent, const QString &localName)
{
    for (QDomElement c = parent.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == localName)
            return c;
    }
    return {};
}

QString wAttr(const QDomElement &el, const QString &localName)
{
    return el.attributeNS(QString::fromLatin1(kNsW), localName);
}

void twipsAttrToPx(const QDomElement &el, const char *localName, double *out)
{
    bool ok = false;
    const int twips = wAttr(el, QString::fromLatin1(localName)).toInt(&ok);
    if (ok && twips >= 1)
        *out = twips * kPxPerTwip;
}

QSizeF readPageSizePx(const DocxDocument &doc)
{
    const QDomElement pgSz = firstChildByLocalName(doc.lastSection(), QStringLiteral("pgSz"));
    if (pgSz.isNull())
        return kDefaultPageSizePx;
    bool okW = false;
    bool okH = false;
    const int w = wAttr(pgSz, QStringLiteral("w")).toInt(&okW);
    const int h = wAttr(pgSz, QStringLiteral("h")).toInt(&okH);
    if (!okW || !okH || w < 1 || h < 1)
        return kDefaultPageSizePx;
    return QSizeF(w * kPxPerTwip, h * kPxPerTwip);
}

DocxReader::DocxMargins DocxReader::readMarginsPx(const DocxDocument &doc)
{
    DocxMargins m;
    const QDomElement sectPr = doc.lastSection();
    if (sectPr.isNull()) {
        readerDebug() << "readMarginsPx: no sectPr found";
        return m;
    }
    const QDomElement pgMar = firstChildByLocalName(sectPr, QStringLiteral("pgMar"));
    if (pgMar.isNull()) {
        readerDebug() << "readMarginsPx: no pgMar found";
        return m;
    }
    twipsAttrToPx(pgMar, "left", &m.left);
    twipsAttrToPx(pgMar, "top", &m.top);
    twipsAttrToPx(pgMar, "right", &m.right);
    twipsAttrToPx(pgMar, "bottom", &m.bottom);
    twipsAttrToPx(pgMar, "gutter", &m.gutter);
    m.mirror = doc.margins().mirror;
    twipsAttrToPx(pgMar, "header", &m.header);
    twipsAttrToPx(pgMar, "footer", &m.footer);
    readerDebug() << "readMarginsPx: inside=" << m.left << " outside=" << m.right << " gutter=" << m.gutter
                  << " mirror=" << m.mirror << " hdrDist=" << m.header << " ftrDist=" << m.footer;
    return m;
}

QHash<QString, QString> documentRelParts(const DocxDocument &doc, bool (*accept)(const QString &type))
{
    QHash<QString, QString> parts;
    const QByteArray bytes = doc.entries.value(doc.mainRelsPart());
    if (bytes.isEmpty())
        return parts;
    QDomDocument rels;
    QString err;
    if (!parseXml(bytes, rels, err))
        return parts;
    const QDomNodeList list = rels.elementsByTagNameNS(QString::fromLatin1(kNsPackageRels), QStringLiteral("Relationship"));
    for (int i = 0; i < list.size(); ++i) {
        const QDomElement rel = list.at(i).toElement();
        if (!accept(rel.attribute(QStringLiteral("Type"))) || rel.attribute(QStringLiteral("TargetMode")) == QLatin1String("External"))
            continue;
        const QString part = resolvePartTarget(doc.mainPart, rel.attribute(QStringLiteral("Target")));
        if (!part.isEmpty())
            parts.insert(rel.attribute(QStringLiteral("Id")), part);
    }
    return parts;
}
