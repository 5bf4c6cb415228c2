// Pictures of rich text: image parts and inline drawing markup. Pictures in
// formats a package carries keep their own bytes; others (WebP and the like)
// are stored as PNG; a vector picture (SVG) is stored twice: a PNG rendering
// that every reader shows and the SVG itself, which newer word processors
// show instead.
#include "DocxNamespaces.h"
#include "DocxRichText.h"
#include "DocxHtmlDocument.h"
#include "DocxHtmlSources.h"
#include "DocxWriter.h"
#include "DocxUnits.h"
#include "DocxWriterInternal.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QUrl>

#include <cmath>

namespace {

constexpr char kImageNamePrefix[] = "docx-img:";
constexpr char kPictureUri[] = "http://schemas.openxmlformats.org/drawingml/2006/picture";
constexpr char kNsSvg[] = "http://schemas.microsoft.com/office/drawing/2016/SVG/main";
constexpr char kSvgExtensionUri[] = "{96DAC541-7B7A-43D3-8B79-37D633B846F1}";
constexpr int kSvgRenderScale = 2;    // the PNG of a vector picture, at twice its shown size
constexpr int kMaxRenderedSide = 4096;

int roundedPixels(double v) { return int(std::lround(v)); }

// Fills the sizes that are below 1 from the image's own size.
void completeSize(const QImage &img, int *wpx, int *hpx)
{
    if (*wpx < 1)
        *wpx = img.width();
    if (*hpx < 1)
        *hpx = img.height();
}

// The relationship id of a picture the package already holds: named
// "docx-img:rIdN", or read from a package and marked with its relationship.
QString existingImageRel(const DocxDocument &doc, const QTextImageFormat &ifmt, int *wpx, int *hpx)
{
    const QString name = ifmt.name();
    QString rId = ifmt.property(ImageRelIdProperty).toString();
    if (name.startsWith(QLatin1String(kImageNamePrefix)))
        rId = name.mid(int(sizeof kImageNamePrefix) - 1);
    if (rId.isEmpty())
        return {};
    const QString path = doc.package().relationships().relPartPath(rId);
    if (path.isEmpty() || !doc.package().entries().contains(path))
        return {};
    if (*wpx < 1 || *hpx < 1) {
        QImage probe;
        if (probe.loadFromData(doc.package().entries().value(path)))
            completeSize(probe, wpx, hpx);
    }
    return rId;
}

QImage resourceImage(const QTextDocument *document, const QString &name)
{
    if (!document)
        return {};
    if (dynamic_cast<const DocxHtmlDocument *>(document) && !DocxHtmlDocument::takesImage(name))
        return {};
    const QVariant res = document->resource(QTextDocument::ImageResource, QUrl(name, QUrl::TolerantMode));
    if (res.typeId() == QMetaType::QImage)
        return res.value<QImage>();
    if (res.typeId() == QMetaType::QPixmap)
        return res.value<QPixmap>().toImage();
    if (res.typeId() == QMetaType::QByteArray)
        return QImage::fromData(res.toByteArray());
    return {};
}

// The format of image bytes as the image readers name it ("png", "svg", ...).
QByteArray imageFormatOf(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader::imageFormat(&buffer);
}

// The media extension of image bytes in a format a package carries as it is;
// empty for other formats.
QString storedImageExtension(const QByteArray &format)
{
    if (format == "jpeg")
        return QStringLiteral("jpg");
    for (const char *kept : {"png", "gif", "bmp", "tiff"}) {
        if (format == kept)
            return QString::fromLatin1(kept);
    }
    return {};
}

QString addPng(DocxDocument &doc, const QString &part, const QImage &img)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "PNG");
    return bytes.isEmpty() ? QString() : doc.package().relationships().addImagePart(bytes, QStringLiteral("png"), part);
}

// A vector picture: its PNG rendering at twice the size it is shown at, and
// the SVG itself (`svgRelId`).
QString svgImageRel(DocxDocument &doc, const QString &part, const QByteArray &bytes, int *wpx, int *hpx,
                    QString *svgRelId)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "svg");
    const QSize own = reader.size();
    if (*wpx < 1 && *hpx >= 1 && own.height() > 0)
        *wpx = int(std::lround(double(own.width()) * *hpx / own.height()));
    if (*hpx < 1 && *wpx >= 1 && own.width() > 0)
        *hpx = int(std::lround(double(own.height()) * *wpx / own.width()));
    if (*wpx < 1 || *hpx < 1) {
        *wpx = own.width();
        *hpx = own.height();
    }
    if (*wpx < 1 || *hpx < 1)
        return {};
    reader.setScaledSize(QSize(qMin(*wpx * kSvgRenderScale, kMaxRenderedSide),
                               qMin(*hpx * kSvgRenderScale, kMaxRenderedSide)));
    const QImage img = reader.read();
    if (img.isNull())
        return {};
    const QString rId = addPng(doc, part, img);
    if (!rId.isEmpty() && svgRelId)
        *svgRelId = doc.package().relationships().addImagePart(bytes, QStringLiteral("svg"), part);
    return rId;
}

// A data-URL picture: stored with its own bytes when a package carries its
// format (exact pixels, and a photograph stays as compact as it came), as
// PNG when another format decodes, as PNG and SVG when it is a vector picture.
QString dataImageRel(DocxDocument &doc, const QString &part, const QString &name, int *wpx, int *hpx,
                     QString *svgRelId)
{
    return pictureRel(doc, part, dataUrlBytes(name), wpx, hpx, svgRelId);
}

}  // namespace

QString pictureRel(DocxDocument &doc, const QString &part, const QByteArray &bytes, int *wpx, int *hpx,
                   QString *svgRelId)
{
    if (bytes.isEmpty())
        return {};
    const QByteArray format = imageFormatOf(bytes);
    if (format == "svg")
        return svgImageRel(doc, part, bytes, wpx, hpx, svgRelId);
    QImage img;
    if (!img.loadFromData(bytes))
        return {};
    completeSize(img, wpx, hpx);
    const QString ext = storedImageExtension(format);
    return ext.isEmpty() ? addPng(doc, part, img) : doc.package().relationships().addImagePart(bytes, ext, part);
}

namespace {

QDomElement child(QDomDocument &dom, QDomElement parent, const char *ns, const QString &qname)
{
    QDomElement e = dom.createElementNS(QString::fromLatin1(ns), qname);
    parent.appendChild(e);
    return e;
}

}  // namespace

QString imageRelId(DocxDocument &doc, const QString &part, const QTextDocument *document, const QTextImageFormat &ifmt,
                   int *wpx, int *hpx, QString *svgRelId)
{
    *wpx = roundedPixels(ifmt.width());
    *hpx = roundedPixels(ifmt.height());
    const QString existing = existingImageRel(doc, ifmt, wpx, hpx);
    if (!existing.isEmpty())
        return existing;
    if (ifmt.name().startsWith(QLatin1String("data:"), Qt::CaseInsensitive))
        return dataImageRel(doc, part, ifmt.name(), wpx, hpx, svgRelId);
    const QImage img = resourceImage(document, ifmt.name());
    if (img.isNull())
        return {};
    completeSize(img, wpx, hpx);
    return addPng(doc, part, img);
}

QDomElement makeDrawingRun(QDomDocument &dom, const QString &rId, qint64 cx, qint64 cy, int id,
                           const QString &description, const QString &svgRelId)
{
    const QString cxText = QString::number(cx);
    const QString cyText = QString::number(cy);
    const QString idText = QString::number(id);
    const QString pictureName = QStringLiteral("Picture %1").arg(id);

    QDomElement r = createW(dom, "r");
    QDomElement drawing = child(dom, r, kNsW, QStringLiteral("w:drawing"));
    QDomElement inl = child(dom, drawing, kNsWordDrawing, QStringLiteral("wp:inline"));
    for (const char *side : {"distT", "distB", "distL", "distR"})
        inl.setAttribute(QLatin1String(side), QStringLiteral("0"));
    QDomElement extent = child(dom, inl, kNsWordDrawing, QStringLiteral("wp:extent"));
    extent.setAttribute(QStringLiteral("cx"), cxText);
    extent.setAttribute(QStringLiteral("cy"), cyText);
    QDomElement docPr = child(dom, inl, kNsWordDrawing, QStringLiteral("wp:docPr"));
    docPr.setAttribute(QStringLiteral("id"), idText);
    docPr.setAttribute(QStringLiteral("name"), pictureName);
    if (!description.isEmpty())
        docPr.setAttribute(QStringLiteral("descr"), description);
    QDomElement graphic = child(dom, inl, kNsDrawingMain, QStringLiteral("a:graphic"));
    QDomElement graphicData = child(dom, graphic, kNsDrawingMain, QStringLiteral("a:graphicData"));
    graphicData.setAttribute(QStringLiteral("uri"), QString::fromLatin1(kPictureUri));
    QDomElement pic = child(dom, graphicData, kNsPicture, QStringLiteral("pic:pic"));
    QDomElement nvPicPr = child(dom, pic, kNsPicture, QStringLiteral("pic:nvPicPr"));
    QDomElement cNvPr = child(dom, nvPicPr, kNsPicture, QStringLiteral("pic:cNvPr"));
    cNvPr.setAttribute(QStringLiteral("id"), idText);
    cNvPr.setAttribute(QStringLiteral("name"), pictureName);
    if (!description.isEmpty())
        cNvPr.setAttribute(QStringLiteral("descr"), description);
    child(dom, nvPicPr, kNsPicture, QStringLiteral("pic:cNvPicPr"));
    QDomElement blipFill = child(dom, pic, kNsPicture, QStringLiteral("pic:blipFill"));
    QDomElement blip = child(dom, blipFill, kNsDrawingMain, QStringLiteral("a:blip"));
    blip.setAttributeNS(QString::fromLatin1(kNsR), QStringLiteral("r:embed"), rId);
    if (!svgRelId.isEmpty()) {
        QDomElement extLst = child(dom, blip, kNsDrawingMain, QStringLiteral("a:extLst"));
        QDomElement ext = child(dom, extLst, kNsDrawingMain, QStringLiteral("a:ext"));
        ext.setAttribute(QStringLiteral("uri"), QString::fromLatin1(kSvgExtensionUri));
        QDomElement svgBlip = child(dom, ext, kNsSvg, QStringLiteral("asvg:svgBlip"));
        svgBlip.setAttributeNS(QString::fromLatin1(kNsR), QStringLiteral("r:embed"), svgRelId);
    }
    QDomElement stretch = child(dom, blipFill, kNsDrawingMain, QStringLiteral("a:stretch"));
    child(dom, stretch, kNsDrawingMain, QStringLiteral("a:fillRect"));
    QDomElement spPr = child(dom, pic, kNsPicture, QStringLiteral("pic:spPr"));
    QDomElement xfrm = child(dom, spPr, kNsDrawingMain, QStringLiteral("a:xfrm"));
    QDomElement off = child(dom, xfrm, kNsDrawingMain, QStringLiteral("a:off"));
    off.setAttribute(QStringLiteral("x"), QStringLiteral("0"));
    off.setAttribute(QStringLiteral("y"), QStringLiteral("0"));
    QDomElement ext = child(dom, xfrm, kNsDrawingMain, QStringLiteral("a:ext"));
    ext.setAttribute(QStringLiteral("cx"), cxText);
    ext.setAttribute(QStringLiteral("cy"), cyText);
    QDomElement geom = child(dom, spPr, kNsDrawingMain, QStringLiteral("a:prstGeom"));
    geom.setAttribute(QStringLiteral("prst"), QStringLiteral("rect"));
    child(dom, geom, kNsDrawingMain, QStringLiteral("a:avLst"));
    return r;
}

QByteArray DocxWriter::pictureRun(DocxDocument &doc, const QString &part, const QByteArray &bytes, qint64 cx, qint64 cy,
                                  const QString &description, int id, const DocxNamespaceBindings &scope)
{
    int wpx = 0, hpx = 0;
    QString svgRelId;
    const QString rId = pictureRel(doc, part, bytes, &wpx, &hpx, &svgRelId);
    if (rId.isEmpty() || wpx < 1 || hpx < 1)
        return {};
    const double heightPerWidth = double(hpx) / wpx;
    if (cx <= 0 && cy <= 0) {
        cx = wpx * kEmuPerPixel;
        cy = hpx * kEmuPerPixel;
    } else if (cy <= 0) {
        cy = std::llround(cx * heightPerWidth);
    } else if (cx <= 0) {
        cx = std::llround(cy / heightPerWidth);
    }
    QDomDocument dom;
    const QDomElement run = makeDrawingRun(dom, rId, cx, cy, id, description, svgRelId);
    dom.appendChild(run);
    return serializeXmlElement(run, scope);
}
