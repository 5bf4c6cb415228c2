// Reading and sizing the pictures of template values.
#include "DocxTemplatePictures.h"

#include "DocxHtmlSources.h"
#include "DocxUnits.h"

#include <QBuffer>
#include <QImageReader>

#include <cmath>

namespace {

// A picture side longer than this (200 inches) is no size a page shows.
constexpr qint64 kLargestEmu = 200LL * 72 * kEmuPerPoint;

// A length as CSS writes it ("4cm", "1.5in", "120px", "72pt", "30mm"; a bare
// number counts pixels) in EMU; false when it does not read or is not above 0.
bool emuOfLength(const QString &text, qint64 &emu)
{
    const QString length = text.trimmed().toLower();
    bool isPixels = false;
    const double pixels = QStringView(length).chopped(length.endsWith(QLatin1String("px")) ? 2 : 0).toDouble(&isPixels);
    int measured = 0;
    if (isPixels)
        emu = std::llround(pixels * kEmuPerPixel);
    else if (readMeasure(length, kEmuPerPoint, &measured))
        emu = measured;
    else
        return false;
    return emu > 0 && emu <= kLargestEmu;
}

bool readSize(const QJsonObject &arguments, const char *name, int position, qint64 &emu, QString &why)
{
    QJsonValue v = arguments.value(QLatin1String(name));
    if (v.isUndefined())
        v = arguments.value(QString::number(position));
    if (v.isUndefined() || v.isNull())
        return true;
    const QString text = v.isDouble() ? QString::number(v.toDouble()) : v.toString();
    if (emuOfLength(text, emu))
        return true;
    why = QStringLiteral("the picture's %1 \"%2\" is no length (such as 4cm, 30mm, 2in, 72pt or 96px)")
              .arg(QLatin1String(name), text);
    return false;
}

QString fileProblem(DocxLocalPicture::Status status, const QString &source)
{
    switch (status) {
    case DocxLocalPicture::Outside:
        return QStringLiteral("the picture file \"%1\" lies outside the resource folder").arg(source);
    case DocxLocalPicture::Missing:
        return QStringLiteral("the picture file \"%1\" is missing from the resource folder").arg(source);
    case DocxLocalPicture::NoPicture:
        return QStringLiteral("the file \"%1\" holds no picture").arg(source);
    default:
        return QStringLiteral("\"%1\" names no picture file").arg(source);
    }
}

}  // namespace

bool loadPictureValue(const QString &source, const QString &resourceFolder, const QJsonObject &arguments,
                      DocxPictureValue &picture, QString &why)
{
    if (source.isEmpty()) {
        why = QStringLiteral("the picture value is empty");
        return false;
    }
    if (source.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
        picture.bytes = dataUrlBytes(source);
    } else if (resourceFolder.isEmpty()) {
        why = QStringLiteral("no resource folder is given, so the picture file \"%1\" is not read").arg(source);
        return false;
    } else {
        const DocxLocalPicture local = readLocalPicture(source, resourceFolder);
        if (local.status != DocxLocalPicture::Read) {
            why = fileProblem(local.status, source);
            return false;
        }
        picture.bytes = local.bytes;
    }
    QBuffer buffer(&picture.bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    if (!reader.canRead() || !reader.size().isValid() || reader.size().isEmpty()) {
        why = QStringLiteral("the picture value holds no picture that can be read");
        return false;
    }
    return readSize(arguments, "width", 0, picture.cx, why) && readSize(arguments, "height", 1, picture.cy, why);
}
