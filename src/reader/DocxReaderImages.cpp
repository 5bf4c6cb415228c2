// Pictures of runs as inline images of the rich-text document: DrawingML
// pictures (w:drawing, inline or floating) and VML pictures (w:pict, w:object).
// A picture that cannot be shown keeps its place and size as a placeholder box.
#include "DocxLog.h"
#include "DocxNamespaces.h"
#include "DocxPartTypes.h"
#include "DocxReaderInternal.h"
#include "DocxUnits.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextImageFormat>
#include <QUrl>

namespace {

constexpr double kPxPerPt = 96.0 / 72.0;
// A picture whose header declares more pixels than this is not decoded (a
// 40-megapixel image already takes 160 MB as 32-bit pixels).
constexpr qint64 kMaxDecodedPixels = 40'000'000;
// No side of an inserted image is longer than this many pixels (about 170
// inches), whatever size the drawing declares.
constexpr double kMaxImageSidePx = 16384.0;
// A placeholder is drawn at its shown size up to this many pixels a side, and
// scaled beyond.
constexpr int kMaxPlaceholderSidePx = 1024;
const QColor kPlaceholderFill(0xF2, 0xF2, 0xF2);
const QColor kPlaceholderBorder(0xA6, 0xA6, 0xA6);

const char kNsOffice[] = "urn:schemas-microsoft-com:office:office";

// ---- finding the picture in the markup ------------------------------------------

QDomElement drawingContainer(const QDomElement &drawing)
{
    for (QDomElement c = drawing.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == QLatin1String("inline") || c.localName() == QLatin1String("anchor"))
            return c;
    }
    return {};
}

bool isTextBoxContent(const QDomElement &el) { return hasLocalName(el, "txbxContent"); }

// The first element below `root` named `localName`, outside text boxes: what a
// text box holds is converted with its paragraphs, pictures included.
QDomElement firstOutsideTextBoxes(const QDomElement &root, const char *localName)
{
    for (QDomNode n = nextInTree(root, root); !n.isNull();) {
        const QDomElement e = n.toElement();
        if (hasLocalName(e, localName))
            return e;
        n = nextInTree(n, root, !isTextBoxContent(e));
    }
    return {};
}

bool holdsTextBox(const QDomElement &root)
{
    for (QDomNode n = nextInTree(root, root); !n.isNull(); n = nextInTree(n, root)) {
        if (isTextBoxContent(n.toElement()))
            return true;
    }
    return false;
}

// Width and height declared by the drawing's extent, 0 for each side not given.
QSizeF declaredSizePx(const QDomElement &container)
{
    const QDomElement extent = firstDescendantNS(container, kNsWordDrawing, "extent");
    QSizeF size(0.0, 0.0);
    bool ok = false;
    const qint64 cx = extent.attribute(QStringLiteral("cx")).toLongLong(&ok);
    if (ok && cx >= 1)
        size.setWidth(cx / double(kEmuPerPixel));
    const qint64 cy = extent.attribute(QStringLiteral("cy")).toLongLong(&ok);
    if (ok && cy >= 1)
        size.setHeight(cy / double(kEmuPerPixel));
    return size;
}

// A graphic that is drawn rather than decoded from a picture part: a diagram or
// a chart. It is shown as a placeholder of its size.
bool isDrawnGraphic(const QDomElement &container)
{
    const QString uri = firstDescendantNS(container, kNsDrawingMain, "graphicData").attribute(QStringLiteral("uri"));
    return uri.endsWith(QLatin1String("/diagram")) || uri.endsWith(QLatin1String("/chart"));
}

QString relAttribute(const QDomElement &el, const char *localName)
{
    const QString id = nsAttribute(el, kNsR, QString::fromLatin1(localName));
    return id.isEmpty() ? el.attribute(QStringLiteral("r:") + QLatin1String(localName)) : id;
}

// A length of a VML style ("126.25pt", "2in", "96px", "1.5cm") in pixels; 0
// when it does not read.
double vmlLengthPx(QString value)
{
    value = value.trimmed();
    static const struct
    {
        const char *unit;
        double px;
    } units[] = {{"pt", kPxPerPt}, {"in", 96.0}, {"cm", 96.0 / 2.54}, {"mm", 96.0 / 25.4}, {"pc", 16.0}, {"px", 1.0}};
    double scale = 1.0;
    for (const auto &u : units) {
        if (value.endsWith(QLatin1String(u.unit))) {
            value.chop(2);
            scale = u.px;
            break;
        }
    }
    bool ok = false;
    const double v = value.toDouble(&ok);
    return ok && v > 0 ? v * scale : 0.0;
}

// The width and height a VML shape's style gives it.
QSizeF vmlStyleSizePx(const QDomElement &shape)
{
    QSizeF size(0.0, 0.0);
    const QStringList declarations = shape.attribute(QStringLiteral("style")).split(QLatin1Char(';'));
    for (const QString &declaration : declarations) {
        const qsizetype colon = declaration.indexOf(QLatin1Char(':'));
        if (colon < 0)
            continue;
        const QString name = declaration.left(colon).trimmed();
        if (name == QLatin1String("width"))
            size.setWidth(vmlLengthPx(declaration.mid(colon + 1)));
        else if (name == QLatin1String("height"))
            size.setHeight(vmlLengthPx(declaration.mid(colon + 1)));
    }
    return size;
}

// The size of an embedded object as its w:object records it (twips).
QSizeF objectSizePx(const QDomElement &object)
{
    int w = 0;
    int h = 0;
    const bool okW = readMeasure(wAttr(object, QStringLiteral("dxaOrig")), kTwipsPerPoint, &w);
    const bool okH = readMeasure(wAttr(object, QStringLiteral("dyaOrig")), kTwipsPerPoint, &h);
    return QSizeF(okW && w > 0 ? w * kPxPerTwip : 0.0, okH && h > 0 ? h * kPxPerTwip : 0.0);
}

// ---- decoding and remembering pictures ------------------------------------------

// Decodes `data` unless its header declares more pixels than the bound allows.
bool decodeBounded(const QByteArray &data, QImage &img, bool &tooLarge)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    const QSize declared = reader.size();
    tooLarge = declared.isValid() && qint64(declared.width()) * declared.height() > kMaxDecodedPixels;
    return !tooLarge && reader.read(&img);
}

QString mimeOf(const QByteArray &data, const QString &path)
{
    if (data.startsWith("\xFF\xD8"))
        return QString::fromLatin1(kContentTypeJpeg);
    if (data.startsWith("\x89PNG"))
        return QString::fromLatin1(kContentTypePng);
    const QString lower = path.toLower();
    if (lower.endsWith(QLatin1String(".jpg")) || lower.endsWith(QLatin1String(".jpeg")))
        return QString::fromLatin1(kContentTypeJpeg);
    if (lower.endsWith(QLatin1String(".gif")))
        return QString::fromLatin1(kContentTypeGif);
    if (lower.endsWith(QLatin1String(".bmp")))
        return QString::fromLatin1(kContentTypeBmp);
    return QString::fromLatin1(kContentTypePng);
}

// Shrinks `size` (keeping its aspect ratio) so that it fits `maxWidth`, when
// that is positive, and the bound on either side.
QSizeF fittedSize(QSizeF size, double maxWidth)
{
    if (maxWidth > 0 && size.width() > maxWidth)
        size *= maxWidth / size.width();
    const double longest = qMax(size.width(), size.height());
    if (longest > kMaxImageSidePx)
        size *= kMaxImageSidePx / longest;
    return size;
}

// A picture is decoded and encoded once per rich-text document, however often
// the body shows it: its data URL and pixel size are kept as a private resource
// of the document under a key of its own.
constexpr int kPictureResource = QTextDocument::UserResource + 1;

struct Picture
{
    QString dataUri;
    QSize pixelSize;
};

Picture rememberedPicture(const QTextDocument &qd, const QUrl &key)
{
    const QVariantList kept = qd.resource(kPictureResource, key).toList();
    return kept.size() == 2 ? Picture{kept[0].toString(), kept[1].toSize()} : Picture{};
}

// Registers `img` under its data URL and remembers the picture under `key`.
Picture registerPicture(QTextDocument &qd, const QUrl &key, const QString &mime, const QByteArray &bytes,
                        const QImage &img)
{
    const Picture picture{QStringLiteral("data:%1;base64,%2").arg(mime, QString::fromLatin1(bytes.toBase64())),
                          img.size()};
    qd.addResource(QTextDocument::ImageResource, QUrl(picture.dataUri), img);
    qd.addResource(kPictureResource, key, QVariantList{picture.dataUri, picture.pixelSize});
    return picture;
}

// Decodes the part and registers it; false (with its warning) when it cannot be shown.
bool loadPicture(QTextDocument &qd, const DocxDocument &doc, const QString &imagePath, Picture &picture)
{
    const QUrl key(QStringLiteral("lxdocx-part:") + imagePath);
    picture = rememberedPicture(qd, key);
    if (!picture.dataUri.isEmpty())
        return true;
    const QByteArray imgData = doc.package().entries().value(imagePath);
    if (imgData.isEmpty()) {
        readerDebug() << "insertDrawingImage: no image data in entries";
        return false;
    }
    QImage img;
    bool tooLarge = false;
    if (!decodeBounded(imgData, img, tooLarge)) {
        if (tooLarge)
            readerDebug() << "insertDrawingImage: image too large to decode" << imagePath;
        else
            readerDebug() << "insertDrawingImage: failed to decode image" << imagePath;
        return false;
    }
    picture = registerPicture(qd, key, mimeOf(imgData, imagePath), imgData, img);
    return true;
}

// A light box with a thin border, drawn at `size` (bounded), as a picture.
Picture placeholderPicture(QTextDocument &qd, const QSizeF &size)
{
    QSize pixels = size.toSize().expandedTo(QSize(1, 1));
    if (qMax(pixels.width(), pixels.height()) > kMaxPlaceholderSidePx)
        pixels.scale(kMaxPlaceholderSidePx, kMaxPlaceholderSidePx, Qt::KeepAspectRatio);
    pixels = pixels.expandedTo(QSize(1, 1));
    const QUrl key(QStringLiteral("lxdocx-placeholder:%1x%2").arg(pixels.width()).arg(pixels.height()));
    Picture picture = rememberedPicture(qd, key);
    if (!picture.dataUri.isEmpty())
        return picture;
    QImage img(pixels, QImage::Format_RGB32);
    img.fill(kPlaceholderFill);
    QPainter painter(&img);
    painter.setPen(kPlaceholderBorder);
    painter.drawRect(0, 0, pixels.width() - 1, pixels.height() - 1);
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "PNG");
    return registerPicture(qd, key, QString::fromLatin1(kContentTypePng), png, img);
}

double printableWidth(const QTextDocument &qd)
{
    const QTextFrameFormat frame = qd.rootFrame()->frameFormat();
    return qd.pageSize().width() - frame.leftMargin() - frame.rightMargin();
}

void insertImage(QTextCursor &cursor, const Picture &picture, QSizeF size, const QString &rId)
{
    if (size.width() <= 0)
        size.setWidth(picture.pixelSize.width());
    if (size.height() <= 0)
        size.setHeight(picture.pixelSize.height());
    size = fittedSize(size, printableWidth(*cursor.document()));
    QTextImageFormat fmt;
    fmt.setName(picture.dataUri);
    if (size.width() > 0)
        fmt.setWidth(size.width());
    if (size.height() > 0)
        fmt.setHeight(size.height());
    if (!rId.isEmpty())
        fmt.setProperty(ImageRelIdProperty, rId);
    cursor.insertImage(fmt);
}

// Keeps the place of a picture that cannot be shown, when its size is known.
void insertPlaceholder(QTextCursor &cursor, const QSizeF &size, const QString &rId)
{
    if (size.width() <= 0 || size.height() <= 0)
        return;
    const QSizeF shown = fittedSize(size, printableWidth(*cursor.document()));
    insertImage(cursor, placeholderPicture(*cursor.document(), shown), shown, rId);
}

// The picture of relationship `rId`, or its placeholder.
void insertPictureOf(QTextCursor &cursor, const QString &rId, const QSizeF &size, const DocxDocument &doc,
                     const DocxImageRels &imageRels)
{
    const QString imagePath = imageRels.value(rId);
    if (imagePath.isEmpty()) {
        readerDebug() << "insertDrawingImage: rId not in imageRels map";
        insertPlaceholder(cursor, size, {});
        return;
    }
    Picture picture;
    if (loadPicture(*cursor.document(), doc, imagePath, picture))
        insertImage(cursor, picture, size, rId);
    else
        insertPlaceholder(cursor, size, rId);
}

}  // namespace

bool isImageRel(const QString &type) { return type == QLatin1String(kRelTypeImage); }

void DocxReader::insertDrawingImage(QTextCursor &cursor, const QDomElement &drawing, const DocxDocument &doc,
                                    const DocxImageRels &imageRels)
{
    const QDomElement container = drawingContainer(drawing);
    if (container.isNull())
        return;
    const QSizeF size = declaredSizePx(container);
    const QDomElement blip = firstOutsideTextBoxes(container, "blip");
    if (blip.isNull()) {
        if (isDrawnGraphic(container))
            insertPlaceholder(cursor, size, {});
        else if (!holdsTextBox(container))
            readerDebug() << "insertDrawingImage: no blip found";
        return;
    }
    const QString rId = relAttribute(blip, "embed");
    if (rId.isEmpty()) {
        // A linked picture lives outside the package: its place is kept.
        if (!relAttribute(blip, "link").isEmpty())
            insertPlaceholder(cursor, size, {});
        else
            readerDebug() << "insertDrawingImage: empty rId";
        return;
    }
    insertPictureOf(cursor, rId, size, doc, imageRels);
}

void insertVmlPicture(QTextCursor &cursor, const QDomElement &pictOrObject, const DocxDocument &doc,
                      const DocxImageRels &imageRels)
{
    const QDomElement imageData = firstOutsideTextBoxes(pictOrObject, "imagedata");
    if (imageData.isNull())
        return;  // a shape or a text box: no picture of its own
    QSizeF size = vmlStyleSizePx(imageData.parentNode().toElement());
    if ((size.width() <= 0 || size.height() <= 0) && pictOrObject.localName() == QLatin1String("object"))
        size = objectSizePx(pictOrObject);
    QString rId = relAttribute(imageData, "id");
    if (rId.isEmpty())
        rId = imageData.attributeNS(QString::fromLatin1(kNsOffice), QStringLiteral("relid"));
    if (rId.isEmpty()) {
        readerDebug() << "insertVmlPicture: empty rId";
        insertPlaceholder(cursor, size, {});
        return;
    }
    insertPictureOf(cursor, rId, size, doc, imageRels);
}
