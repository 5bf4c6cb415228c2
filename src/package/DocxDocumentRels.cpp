// Relationships, content types and media parts.
#include "DocxDocument.h"
#include "DocxDocumentParts.h"
#include "DocxLog.h"
#include "DocxNamespaces.h"
#include "DocxPartTypes.h"

namespace {

constexpr int kMaxMediaNumber = 9999;

QString contentTypesName() { return QString::fromLatin1(kPartContentTypes); }

QString folderOf(const QString &part) { return part.left(part.lastIndexOf(QLatin1Char('/')) + 1); }

// The relationships part of `part`: "_rels/<name>.rels" in its folder.
QString relsPartOf(const QString &part)
{
    const QString folder = folderOf(part);
    return folder + QStringLiteral("_rels/") + part.mid(folder.size()) + QStringLiteral(".rels");
}

bool isExternal(const DocxRelationship &rel) { return rel.targetMode == QLatin1String("External"); }

// A target that is a plain path below the source's folder: nothing to resolve.
bool isPlainRelativeTarget(const QString &target)
{
    return !target.startsWith(QLatin1Char('/')) && !target.startsWith(QLatin1Char('.'))
        && !target.contains(QLatin1String("/.")) && !target.contains(QLatin1String("//"))
        && !target.contains(QLatin1Char('\\')) && !target.contains(QLatin1Char(':'));
}

}  // namespace

QString resolvePartTarget(const QString &sourcePart, const QString &target)
{
    if (target.isEmpty() || target.contains(QLatin1Char('\\')))
        return {};
    if (isPlainRelativeTarget(target))
        return folderOf(sourcePart) + target;
    const bool absolute = target.startsWith(QLatin1Char('/'));
    if (!absolute && target.section(QLatin1Char('/'), 0, 0).contains(QLatin1Char(':')))
        return {};  // a scheme: a URL, not a part
    QStringList segments;
    if (!absolute)
        segments = folderOf(sourcePart).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &segment : target.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (segment == QLatin1String("."))
            continue;
        if (segment != QLatin1String("..")) {
            segments.append(segment);
            continue;
        }
        if (segments.isEmpty())
            return {};  // above the package root
        segments.removeLast();
    }
    return segments.join(QLatin1Char('/'));
}

QString relativeTarget(const QString &sourcePart, const QString &partName)
{
    const QString folder = folderOf(sourcePart);
    return partName.startsWith(folder) ? partName.mid(folder.size()) : QLatin1Char('/') + partName;
}

QString DocxDocument::mainFolder() const { return folderOf(mainPart); }

QString DocxDocument::mainRelsPart() const { return relsPartOf(mainPart); }

bool DocxDocument::locateMainPart()
{
    const QString fallback = QString::fromLatin1(kPartDocument);
    QString err, named;
    const QString rootRels = QString::fromLatin1(kPartRootRels);
    if (const DocxRelsIndex *index = entries.contains(rootRels) ? relsIndex(rootRels, err) : nullptr) {
        const QString type = QString::fromLatin1(kRelTypeOfficeDocument);
        if (const DocxRelationship *rel =
                index->find([&](const DocxRelationship &r) { return r.type == type && !isExternal(r); }))
            named = resolvePartTarget(QString(), rel->target);
    }
    for (const QString &candidate : {named, fallback}) {
        if (!candidate.isEmpty() && entries.contains(candidate)) {
            mainPart = candidate;
            return true;
        }
    }
    error = QStringLiteral("Not a valid DOCX: missing ") + (named.isEmpty() ? fallback : named);
    return false;
}

QString mimeForExtension(const QString &ext)
{
    struct ImageType
    {
        const char *extension;
        const char *contentType;
    };
    static constexpr ImageType kImageTypes[] = {
        {"png", kContentTypePng}, {"jpg", kContentTypeJpeg}, {"jpeg", kContentTypeJpeg}, {"gif", kContentTypeGif},
        {"bmp", kContentTypeBmp}, {"tif", kContentTypeTiff}, {"tiff", kContentTypeTiff}, {"svg", kContentTypeSvg},
    };
    for (const ImageType &t : kImageTypes) {
        if (ext == QLatin1String(t.extension))
            return QString::fromLatin1(t.contentType);
    }
    return QString::fromLatin1(kContentTypeUnknown);
}

QString DocxDocument::nextMediaName(const QString &extension) const
{
    for (int n = 1; n <= kMaxMediaNumber; ++n) {
        const QString name = mainFolder() + QStringLiteral("media/image%1.%2").arg(n).arg(extension);
        if (!entries.contains(name))
            return name;
    }
    return {};
}

const DocxRelsIndex *DocxDocument::relsIndex(const QString &relsPath, QString &err) const
{
    const auto it = entries.constFind(relsPath);
    if (it == entries.cend()) {
        err = QStringLiteral("missing part ") + relsPath;
        return nullptr;
    }
    DocxRelsIndex &index = parts_->rels[relsPath];
    return index.sync(*it, err) ? &index : nullptr;
}

QString DocxDocument::addRelationship(const QString &relsPath, const QString &type, const QString &target,
                                      const QString &targetMode, QString &err)
{
    ensureRelationshipsPart(entries, relsPath);
    if (!relsIndex(relsPath, err))
        return {};
    DocxRelsIndex &index = parts_->rels[relsPath];
    const DocxRelationship rel{index.nextId(), type, target, targetMode};
    if (index.appendTo(entries[relsPath], rel))
        return rel.id;
    // A root the element cannot be spliced into: edit the part as a tree.
    QDomDocument rels;
    if (!loadPart(entries, relsPath, rels, err))
        return {};
    appendRelationship(rels, rel.id, type, target, targetMode);
    storePart(entries, relsPath, rels, kIndentedPart);
    return rel.id;
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
    QString err;
    const QString id = addRelationship(mainRelsPart(), QString::fromLatin1(kRelTypeImage), relativeTarget(mainPart, name),
                                       QString(), err);
    if (id.isEmpty())
        documentDebug() << "addImagePart: cannot parse rels:" << err;
    return id;
}

QString DocxDocument::addHyperlinkRel(const QString &url)
{
    if (url.isEmpty())
        return {};
    ensureRelationshipsPart(entries, mainRelsPart());
    QString err;
    const DocxRelsIndex *index = relsIndex(mainRelsPart(), err);
    if (!index) {
        documentDebug() << "addHyperlinkRel: cannot parse rels:" << err;
        return {};
    }
    const QString type = QString::fromLatin1(kRelTypeHyperlink);
    const QString external = QStringLiteral("External");
    const DocxRelationship *existing = index->findTarget(
        url, [&](const DocxRelationship &r) { return r.type == type && r.targetMode == external; });
    if (existing)
        return existing->id;
    const QString id = addRelationship(mainRelsPart(), type, url, external, err);
    if (id.isEmpty())
        documentDebug() << "addHyperlinkRel: cannot parse rels:" << err;
    return id;
}

QString DocxDocument::relTarget(const QString &rId) const
{
    QString err;
    const DocxRelsIndex *index = rId.isEmpty() ? nullptr : relsIndex(mainRelsPart(), err);
    const DocxRelationship *rel = index ? index->byId(rId) : nullptr;
    return rel ? rel->target : QString();
}

QHash<QString, QString> DocxDocument::relatedParts(const QString &sourcePart, bool (*accept)(const QString &type)) const
{
    QHash<QString, QString> parts;
    QString err;
    const DocxRelsIndex *index = relsIndex(relsPartOf(sourcePart), err);
    if (!index)
        return parts;
    for (const DocxRelationship &rel : index->all()) {
        if (!accept(rel.type) || rel.targetMode == QLatin1String("External") || parts.contains(rel.id))
            continue;
        const QString part = resolvePartTarget(sourcePart, rel.target);
        if (!part.isEmpty())
            parts.insert(rel.id, part);
    }
    return parts;
}

QString DocxDocument::relPartPath(const QString &rId) const
{
    QString err;
    const DocxRelsIndex *index = rId.isEmpty() ? nullptr : relsIndex(mainRelsPart(), err);
    const DocxRelationship *rel = index ? index->byId(rId) : nullptr;
    return rel && !isExternal(*rel) ? resolvePartTarget(mainPart, rel->target) : QString();
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

void DocxDocument::ensureContentType(bool isHeader, const QString &partPath)
{
    QString absolute = partPath;
    if (!partPath.startsWith(QLatin1Char('/')))
        absolute = QLatin1Char('/') + (partPath.startsWith(mainFolder()) ? partPath : mainFolder() + partPath);
    const QString type = QString::fromLatin1(isHeader ? kContentTypeHeader : kContentTypeFooter);
    ensureContentTypeEntry(entries, {"Override", "PartName", absolute, type, false}, "ensureContentType:");
}

void DocxDocument::ensureImageDefault(const QString &ext)
{
    const QString e = ext.toLower();
    ensureContentTypeEntry(entries, {"Default", "Extension", e, mimeForExtension(e), true}, "ensureImageDefault:");
}

void DocxDocument::ensureOverride(const QString &partName, const QString &contentType)
{
    ensureContentTypeEntry(entries, {"Override", "PartName", partName, contentType, false}, nullptr);
}

void DocxDocument::ensureRelOfType(const QString &relsPath, const QString &type, const QString &target)
{
    ensureRelationshipsPart(entries, relsPath);
    QString err;
    const DocxRelsIndex *index = relsIndex(relsPath, err);
    if (!index || index->find([&](const DocxRelationship &r) { return r.type == type; }))
        return;
    addRelationship(relsPath, type, target, QString(), err);
}
