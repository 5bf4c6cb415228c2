// Pictures of runs (w:drawing) as inline images of the rich-text document.
#include "DocxLog.h"
#include "DocxNamespaces.h"
#include "DocxReaderInternal.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextImageFormat>
#include <QUrl>

namespace {

constexpr double kEmuPerPx = 9525.0;  // 914400 EMU per inch at 96 pixels per inch
// A picture whose header declares more pixels than this is not decoded (a
// 40-megapixel image already takes 160 MB as 32-bit pixels).
constexpr qint64 kMaxDecodedPixels = 40'000'000;
// No side of an inserted image is longer than this many pixels (about 170
// inches), whatever size the drawing declares.
constexpr double kMaxImageSidePx = 16384.0;

QDomElement drawingContainer(const QDomElement &drawing)
{
    for (QDomElement c = drawing.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == QLatin1String("inline") || c.localName() == QLatin1String("anchor"))
            return c;
    }
    return {};
}

// Width and height declared by the drawing's extent, 0 for each side not given.
QSizeF declaredSizePx(const QDomElement &container)
{
    const QDomElement extent = firstElementNS(container, "extent", kNsWordDrawing);
    QSizeF size(0.0, 0.0);
    bool ok = false;
    const qint64 cx = extent.attribute(QStringLiteral("cx")).toLongLong(&ok);
    if (ok && cx >= 1)
        size.setWidth(cx / kEmuPerPx);
    const qint64 cy = extent.attribute(QStringLiteral("cy")).toLongLong(&ok);
    if (ok && cy >= 1)
        size.setHeight(cy / kEmuPerPx);
    return size;
}

QString blipRelId(const QDomElement &blip)
{
    const QString id = blip.attributeNS(QString::fromLatin1(kNsR), QStringLiteral("embed"));
    return id.isEmpty() ? blip.attribute(QStringLiteral("r:embed")) : id;
}

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
        return QStringLiteral("image/jpeg");
    if (data.startsWith("\x89PNG"))
        return QStringLiteral("image/png");
    const QString lower = path.toLower();
    if (lower.endsWith(QLatin1String(".jpg")) || lower.endsWith(QLatin1String(".jpeg")))
        return QStringLiteral("image/jpeg");
    if (lower.endsWith(QLatin1String(".gif")))
        return QStringLiteral("image/gif");
    if (lower.endsWith(QLatin1String(".bmp")))
        return QStringLiteral("image/bmp");
    return QStringLiteral("image/png");
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
// of the document under the part's path.
constexpr int kPictureResource = QTextDocument::UserResource + 1;

struct Picture
{
    QString dataUri;
    QSize pixelSize;
};

QUrl pictureKey(const QString &imagePath) { return QUrl(QStringLiteral("lxdocx-part:") + imagePath); }

Picture rememberedPicture(const QTextDocument &qd, const QString &imagePath)
{
    const QVariantList kept = qd.resource(kPictureResource, pictureKey(imagePath)).toList();
    return kept.size() == 2 ? Picture{kept[0].toString(), kept[1].toSize()} : Picture{};
}

// Registers the decoded image under its data URL and remembers the picture.
Picture registerPicture(QTextDocument &qd, const QString &imagePath, const QByteArray &imgData, const QImage &img)
{
    const Picture picture{QStringLiteral("data:%1;base64,%2")
                              .arg(mimeOf(imgData, imagePath), QString::fromLatin1(imgData.toBase64())),
                          img.size()};
    qd.addResource(QTextDocument::ImageResource, QUrl(picture.dataUri), img);
    qd.addResource(kPictureResource, pictureKey(imagePath), QVariantList{picture.dataUri, picture.pixelSize});
    return picture;
}

// Decodes the part and registers it; false (with its warning) when it cannot be shown.
bool loadPicture(QTextDocument &qd, const DocxDocument &doc, const QString &imagePath, Picture &picture)
{
    const QByteArray imgData = doc.entries.value(imagePath);
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
    picture = registerPicture(qd, imagePath, imgData, img);
    return true;
}

double printableWidth(const QTextDocument &qd)
{
    const QTextFrameFormat frame = qd.rootFrame()->frameFormat();
    return qd.pageSize().width() - frame.leftMargin() - frame.rightMargin();
}

}  // namespace

void DocxReader::insertDrawingImage(QTextCursor &cursor, const QDomElement &drawing, const DocxDocument &doc,
                                    const DocxImageRels &imageRels)
{
    const QDomElement container = drawingContainer(drawing);
    if (container.isNull())
        return;
    QSizeF size = declaredSizePx(container);
    const QDomElement blip = firstElementNS(container, "blip", kNsDrawingMain);
    if (blip.isNull()) {
        readerDebug() << "insertDrawingImage: no blip found";
        return;
    }
    const QString rId = blipRelId(blip);
    if (rId.isEmpty()) {
        readerDebug() << "insertDrawingImage: empty rId";
        return;
    }
    const QString imagePath = imageRels.value(rId);
    if (imagePath.isEmpty()) {
        readerDebug() << "insertDrawingImage: rId not in imageRels map";
        return;
    }
    QTextDocument *qd = cursor.document();
    Picture picture = rememberedPicture(*qd, imagePath);
    if (picture.dataUri.isEmpty() && !loadPicture(*qd, doc, imagePath, picture))
        return;
    if (size.width() <= 0)
        size.setWidth(picture.pixelSize.width());
    if (size.height() <= 0)
        size.setHeight(picture.pixelSize.height());
    size = fittedSize(size, printableWidth(*qd));

    QTextImageFormat fmt;
    fmt.setName(picture.dataUri);
    if (size.width() > 0)
        fmt.setWidth(size.width());
    if (size.height() > 0)
        fmt.setHeight(size.height());
    fmt.setProperty(ImageRelIdProperty, rId);
    cursor.insertImage(fmt);
}
