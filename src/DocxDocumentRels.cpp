// Relationships, content types and media parts.
#include "DocxDocument.h"
#include "DocxDocumentParts.h"
#include "DocxLog.h"
#include "DocxNamespaces.h"

namespace {

constexpr char kImageRelType[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";
constexpr char kHyperlinkRelType[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/hyperlink";
constexpr char kHeaderContentType[] = "application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml";
constexpr char kFooterContentType[] = "application/vnd.openxmlformats-officedocument.wordprocessingml.footer+xml";
constexpr int kMaxMediaNumber = 9999;

QString documentRelsName() { return QString::fromLatin1(kPartDocumentRels); }
QString contentTypesName() { return QString::fromLatin1(kPartContentTypes); }

QDomElement relationshipById(const QDomDocument &rels, const QString &rId)
{
    for (const QDomElement &rel : relationshipElements(rels)) {
        if (rel.attribute(QStringLiteral("Id")) == rId)
            return rel;
    }
    return {};
}

QString stripWordPrefix(const QString &name)
{
    return name.startsWith(QLatin1String("word/")) ? name.mid(5) : name;
}

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
    return QStringLiteral("application/octet-stream");
}

QString DocxDocument::nextMediaName(const QString &extension) const
{
    for (int n = 1; n <= kMaxMediaNumber; ++n) {
        const QString name = QStringLiteral("word/media/image%1.%2").arg(n).arg(extension);
        if (!entries.contains(name))
            return name;
    }
    return {};
}

QString DocxDocument::addImagePart(const QByteArray &data, const QString &ext)
{
    if (data.isEmpty())
        return {};
    const QString name = nextMediaName(ext.toLower());
    if (name.isEmpty())
        return {};
    entries.insert(name, data);
    ensureImageDefault(ext);
    ensureRelationshipsPart(entries, documentRelsName());
    QDomDocument rels;
    QString err;
    if (!loadPart(entries, documentRelsName(), rels, err)) {
        documentWarning() << "addImagePart: cannot parse rels:" << err;
        return {};
    }
    const QString id = nextRelationshipId(rels);
    appendRelationship(rels, id, QString::fromLatin1(kImageRelType), stripWordPrefix(name));
    storePart(entries, documentRelsName(), rels, kIndentedPart);
    return id;
}

QString DocxDocument::addHyperlinkRel(const QString &url)
{
    if (url.isEmpty())
        return {};
    ensureRelationshipsPart(entries, documentRelsName());
    QDomDocument rels;
    QString err;
    if (!loadPart(entries, documentRelsName(), rels, err)) {
        documentWarning() << "addHyperlinkRel: cannot parse rels:" << err;
        return {};
    }
    const QString type = QString::fromLatin1(kHyperlinkRelType);
    for (const QDomElement &rel : relationshipElements(rels)) {
        if (rel.attribute(QStringLiteral("Type")) == type
            && rel.attribute(QStringLiteral("TargetMode")) == QLatin1String("External")
            && rel.attribute(QStringLiteral("Target")) == url)
            return rel.attribute(QStringLiteral("Id"));
    }
    const QString id = nextRelationshipId(rels);
    appendRelationship(rels, id, type, url, QStringLiteral("External"));
    storePart(entries, documentRelsName(), rels, kIndentedPart);
    return id;
}

QString DocxDocument::relTarget(const QString &rId) const
{
    if (rId.isEmpty() || entries.value(documentRelsName()).isEmpty())
        return {};
    QDomDocument rels;
    QString err;
    if (!loadPart(entries, documentRelsName(), rels, err))
        return {};
    return relationshipById(rels, rId).attribute(QStringLiteral("Target"));
}

QString DocxDocument::relPartPath(const QString &rId) const
{
    if (rId.isEmpty() || entries.value(documentRelsName()).isEmpty())
        return {};
    QDomDocument rels;
    QString err;
    if (!loadPart(entries, documentRelsName(), rels, err))
        return {};
    const QDomElement rel = relationshipById(rels, rId);
    if (rel.isNull())
        return {};
    const QString target = rel.attribute(QStringLiteral("Target"));
    return target.startsWith(QLatin1Char('/')) ? target.mid(1) : QStringLiteral("word/") + target;
}

void DocxDocument::ensureContentType(bool isHeader, const QString &partPath)
{
    if (!entries.contains(contentTypesName()))
        return;
    QDomDocument types;
    QString err;
    if (!loadPart(entries, contentTypesName(), types, err)) {
        documentWarning() << "ensureContentType: cannot parse [Content_Types].xml:" << err;
        return;
    }
    QString absolute = partPath;
    if (!partPath.startsWith(QLatin1Char('/')))
        absolute = partPath.startsWith(QLatin1String("word/")) ? QLatin1Char('/') + partPath
                                                                : QStringLiteral("/word/") + partPath;
    for (const QDomElement &o : elementsNS(types, kNsContentTypes, "Override")) {
        if (o.attribute(QStringLiteral("PartName")) == absolute)
            return;
    }
    QDomElement o = types.createElementNS(QString::fromLatin1(kNsContentTypes), QStringLiteral("Override"));
    o.setAttribute(QStringLiteral("PartName"), absolute);
    o.setAttribute(QStringLiteral("ContentType"),
                   QString::fromLatin1(isHeader ? kHeaderContentType : kFooterContentType));
    types.documentElement().appendChild(o);
    storePart(entries, contentTypesName(), types, kCompactPart);
}

void DocxDocument::ensureImageDefault(const QString &ext)
{
    if (!entries.contains(contentTypesName()))
        return;
    QDomDocument types;
    QString err;
    if (!loadPart(entries, contentTypesName(), types, err)) {
        documentWarning() << "ensureImageDefault: cannot parse [Content_Types].xml:" << err;
        return;
    }
    const QString e = ext.toLower();
    for (const QDomElement &d : elementsNS(types, kNsContentTypes, "Default")) {
        if (d.attribute(QStringLiteral("Extension")).toLower() == e)
            return;
    }
    QDomElement d = types.createElementNS(QString::fromLatin1(kNsContentTypes), QStringLiteral("Default"));
    d.setAttribute(QStringLiteral("Extension"), e);
    d.setAttribute(QStringLiteral("ContentType"), mimeForExtension(e));
    types.documentElement().appendChild(d);
    storePart(entries, contentTypesName(), types, kCompactPart);
}

void DocxDocument::ensureOverride(const QString &partName, const QString &contentType)
{
    if (!entries.contains(contentTypesName()))
        return;
    QDomDocument types;
    QString err;
    if (!loadPart(entries, contentTypesName(), types, err) || types.documentElement().isNull())
        return;
    for (const QDomElement &o : elementsNS(types, kNsContentTypes, "Override")) {
        if (o.attribute(QStringLiteral("PartName")) == partName)
            return;
    }
    QDomElement o = types.createElementNS(QString::fromLatin1(kNsContentTypes), QStringLiteral("Override"));
    o.setAttribute(QStringLiteral("PartName"), partName);
    o.setAttribute(QStringLiteral("ContentType"), contentType);
    types.documentElement().appendChild(o);
    storePart(entries, contentTypesName(), types, kCompactPart);
}

void DocxDocument::ensureRelOfType(const QString &relsPath, const QString &type, const QString &target)
{
    ensureRelationshipsPart(entries, relsPath);
    QDomDocument rels;
    QString err;
    if (!loadPart(entries, relsPath, rels, err) || rels.documentElement().isNull())
        return;
    for (const QDomElement &rel : relationshipElements(rels)) {
        if (rel.attribute(QStringLiteral("Type")) == type)
            return;
    }
    appendRelationship(rels, nextRelationshipId(rels), type, target);
    storePart(entries, relsPath, rels, kIndentedPart);
}
