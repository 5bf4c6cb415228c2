// The content-type registry: Default and Override entries added when missing.
#include "DocxContentTypes.h"

#include "DocxLog.h"
#include "DocxNamespaces.h"
#include "DocxPackage.h"
#include "DocxPartXml.h"

namespace {

constexpr char kHeaderContentType[] = "application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml";
constexpr char kFooterContentType[] = "application/vnd.openxmlformats-officedocument.wordprocessingml.footer+xml";

QString contentTypesName() { return QString::fromLatin1(kPartContentTypes); }

}  // namespace

QString mimeForExtension(const QString &ext)
{
    if (ext == QLatin1String("png"))
        return QStringLiteral("image/png");
    if (ext == QLatin1String("jpg") || ext == QLatin1String("jpeg"))
        return QStringLiteral("image/jpeg");
    if (ext == QLatin1String("gif"))
        return QStringLiteral("image/gif");
    if (ext == QLatin1String("bmp"))
        return QStringLiteral("image/bmp");
    if (ext == QLatin1String("tif") || ext == QLatin1String("tiff"))
        return QStringLiteral("image/tiff");
    if (ext == QLatin1String("svg"))
        return QStringLiteral("image/svg+xml");
    return QStringLiteral("application/octet-stream");
}

namespace {

// One entry of the content-type registry: a Default (by Extension) or an
// Override (by PartName).
struct ContentTypeEntry
{
    const char *element;
    const char *key;
    QString keyValue;
    QString contentType;
    bool keyIgnoresCase;
};

// Adds the entry unless one with the same key exists; the registry is never
// created here. A registry that does not parse is left alone, with a warning
// naming `caller` when one is given.
void ensureContentTypeEntry(DocxEntryMap &entries, const ContentTypeEntry &entry, const char *caller)
{
    if (!entries.contains(contentTypesName()))
        return;
    QDomDocument types;
    QString err;
    if (!loadPart(entries, contentTypesName(), types, err) || types.documentElement().isNull()) {
        if (caller)
            documentDebug() << caller << "cannot parse [Content_Types].xml:" << err;
        return;
    }
    const Qt::CaseSensitivity cs = entry.keyIgnoresCase ? Qt::CaseInsensitive : Qt::CaseSensitive;
    for (const QDomElement &e : elementsNS(types, kNsContentTypes, entry.element)) {
        if (e.attribute(QLatin1String(entry.key)).compare(entry.keyValue, cs) == 0)
            return;
    }
    QDomElement e = types.createElementNS(QString::fromLatin1(kNsContentTypes), QLatin1String(entry.element));
    e.setAttribute(QLatin1String(entry.key), entry.keyValue);
    e.setAttribute(QStringLiteral("ContentType"), entry.contentType);
    types.documentElement().appendChild(e);
    storePart(entries, contentTypesName(), types, kCompactPart);
}

}  // namespace

void DocxContentTypes::ensureHeaderFooter(DocxHFPart part, const QString &partPath)
{
    const QString folder = package_.mainFolder();
    QString absolute = partPath;
    if (!partPath.startsWith(QLatin1Char('/')))
        absolute = QLatin1Char('/') + (partPath.startsWith(folder) ? partPath : folder + partPath);
    const QString type = QString::fromLatin1(part == DocxHFPart::Header ? kHeaderContentType : kFooterContentType);
    ensureContentTypeEntry(package_.entries(), {"Override", "PartName", absolute, type, false}, "ensureContentType:");
}

void DocxContentTypes::ensureImageDefault(const QString &ext)
{
    const QString e = ext.toLower();
    ensureContentTypeEntry(package_.entries(), {"Default", "Extension", e, mimeForExtension(e), true},
                           "ensureImageDefault:");
}

void DocxContentTypes::ensureOverride(const QString &partName, const QString &contentType)
{
    ensureContentTypeEntry(package_.entries(), {"Override", "PartName", partName, contentType, false}, nullptr);
}
