// Page geometry of the last section and the small XML accessors every step of
// the Reader shares.
#include "DocxLog.h"
#include "DocxNamespaces.h"
#include "DocxReaderInternal.h"

namespace {

const QSizeF kDefaultPageSizePx(816.0, 1056.0);  // 8.5 x 11 inches
// Pages a printer could hold: 1 to 22 inches a side, with at least half an
// inch between opposite margins.
constexpr double kMinPageSidePx = 96.0;
constexpr double kMaxPageSidePx = 22 * 96.0;
constexpr double kMinUsablePx = 48.0;

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
    return nsAttribute(el, kNsW, localName);
}

void twipsAttrToPx(const QDomElement &el, const char *localName, double *out)
{
    int twips = 0;
    if (readMeasure(wAttr(el, QString::fromLatin1(localName)), kTwipsPerPoint, &twips) && twips >= 1)
        *out = twips * kPxPerTwip;
}

QSizeF readPageSizePx(const DocxDocument &doc) { return sectionPageSizePx(doc.body().lastSection()); }

QSizeF sectionPageSizePx(const QDomElement &sectPr)
{
    const QDomElement pgSz = firstChildByLocalName(sectPr, QStringLiteral("pgSz"));
    if (pgSz.isNull())
        return kDefaultPageSizePx;
    int w = 0;
    int h = 0;
    const bool okW = readMeasure(wAttr(pgSz, QStringLiteral("w")), kTwipsPerPoint, &w);
    const bool okH = readMeasure(wAttr(pgSz, QStringLiteral("h")), kTwipsPerPoint, &h);
    if (!okW || !okH || w < 1 || h < 1)
        return kDefaultPageSizePx;
    return QSizeF(w * kPxPerTwip, h * kPxPerTwip);
}

DocxReader::DocxMargins DocxReader::readMarginsPx(const DocxDocument &doc)
{
    const QDomElement sectPr = doc.body().lastSection();
    if (sectPr.isNull()) {
        readerDebug() << "readMarginsPx: no sectPr found";
        return {};
    }
    if (firstChildByLocalName(sectPr, QStringLiteral("pgMar")).isNull()) {
        readerDebug() << "readMarginsPx: no pgMar found";
        return {};
    }
    const DocxMargins m = sectionMarginsPx(doc, sectPr);
    readerDebug() << "readMarginsPx: inside=" << m.left << " outside=" << m.right << " gutter=" << m.gutter
                  << " mirror=" << m.mirror << " hdrDist=" << m.header << " ftrDist=" << m.footer;
    return m;
}

DocxReader::DocxMargins sectionMarginsPx(const DocxDocument &doc, const QDomElement &sectPr)
{
    DocxReader::DocxMargins m;
    const QDomElement pgMar = firstChildByLocalName(sectPr, QStringLiteral("pgMar"));
    if (pgMar.isNull())
        return m;
    twipsAttrToPx(pgMar, "left", &m.left);
    twipsAttrToPx(pgMar, "top", &m.top);
    twipsAttrToPx(pgMar, "right", &m.right);
    twipsAttrToPx(pgMar, "bottom", &m.bottom);
    twipsAttrToPx(pgMar, "gutter", &m.gutter);
    m.mirror = doc.sections().margins().mirror;
    twipsAttrToPx(pgMar, "header", &m.header);
    twipsAttrToPx(pgMar, "footer", &m.footer);
    return m;
}

bool boundPageGeometry(QSizeF &page, DocxReader::DocxMargins &m)
{
    const QSizeF asked = page;
    page = page.expandedTo(QSizeF(kMinPageSidePx, kMinPageSidePx)).boundedTo(QSizeF(kMaxPageSidePx, kMaxPageSidePx));
    bool bounded = page != asked;
    // Margins of a side never leave less than the smallest usable length between them.
    auto fit = [&bounded](double &a, double &b, double side) {
        const double room = side - kMinUsablePx;
        if (a + b > room) {
            const double scale = room / (a + b);
            a *= scale;
            b *= scale;
            bounded = true;
        }
    };
    fit(m.left, m.right, page.width());
    fit(m.top, m.bottom, page.height());
    m.header = qMin(m.header, page.height() / 2);
    m.footer = qMin(m.footer, page.height() / 2);
    return bounded;
}
