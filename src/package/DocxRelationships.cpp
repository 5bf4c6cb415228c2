// Relationships and media parts.
#include "DocxRelationships.h"

#include "DocxPackage.h"
#include "DocxPartXml.h"
#include "DocxRelsIndex.h"
#include "DocxLog.h"
#include "DocxNamespaces.h"
#include "DocxPartTypes.h"

namespace {

constexpr int kMaxMediaNumber = 9999;

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
        return partFolder(sourcePart) + target;
    const bool absolute = target.startsWith(QLatin1Char('/'));
    if (!absolute && target.section(QLatin1Char('/'), 0, 0).contains(QLatin1Char(':')))
        return {};  // a scheme: a URL, not a part
    QStringList segments;
    if (!absolute)
        segments = partFolder(sourcePart).split(QLatin1Char('/'), Qt::SkipEmptyParts);
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

QString partFolder(const QString &part) { return part.left(part.lastIndexOf(QLatin1Char('/')) + 1); }

QString relationshipsPartOf(const QString &part)
{
    const QString folder = partFolder(part);
    return folder + QStringLiteral("_rels/") + part.mid(folder.size()) + QStringLiteral(".rels");
}

QString relativeTarget(const QString &sourcePart, const QString &partName)
{
    const QString folder = partFolder(sourcePart);
    return partName.startsWith(folder) ? partName.mid(folder.size()) : QLatin1Char('/') + partName;
}

struct DocxRelationships::Indexes
{
    QHash<QString, DocxRelsIndex> byPart;  // by relationships part name
};

DocxRelationships::DocxRelationships(DocxPackage &package)
    : package_(package), indexes_(std::make_unique<Indexes>())
{
}

DocxRelationships::~DocxRelationships() = default;

QString DocxRelationships::nextMediaName(const QString &extension) const
{
    for (int n = 1; n <= kMaxMediaNumber; ++n) {
        const QString name = package_.mainFolder() + QStringLiteral("media/image%1.%2").arg(n).arg(extension);
        if (!package_.entries().contains(name))
            return name;
    }
    return {};
}

const DocxRelsIndex *DocxRelationships::indexOf(const QString &relsPath, QString &err) const
{
    const auto it = package_.entries().constFind(relsPath);
    if (it == package_.entries().cend()) {
        err = QStringLiteral("missing part ") + relsPath;
        return nullptr;
    }
    DocxRelsIndex &index = indexes_->byPart[relsPath];
    return index.sync(*it, err) ? &index : nullptr;
}

QString DocxRelationships::add(const QString &relsPath, const QString &type, const QString &target,
                               const QString &targetMode, QString &err)
{
    ensureRelationshipsPart(package_.entries(), relsPath);
    if (!indexOf(relsPath, err))
        return {};
    DocxRelsIndex &index = indexes_->byPart[relsPath];
    const DocxRelationship rel{index.nextId(), type, target, targetMode};
    if (index.appendTo(package_.entries()[relsPath], rel))
        return rel.id;
    // A root the element cannot be spliced into: edit the part as a tree.
    QDomDocument rels;
    if (!loadPart(package_.entries(), relsPath, rels, err))
        return {};
    appendRelationship(rels, rel.id, type, target, targetMode);
    storePart(package_.entries(), relsPath, rels, kIndentedPart);
    return rel.id;
}

QString DocxRelationships::addImagePart(const QByteArray &data, const QString &ext, const QString &fromPart)
{
    if (data.isEmpty())
        return {};
    const QString name = nextMediaName(ext.toLower());
    if (name.isEmpty())
        return {};
    package_.entries().insert(name, data);
    package_.contentTypes().ensureImageDefault(ext);
    QString err;
    const QString source = fromPart.isEmpty() ? package_.mainPart() : fromPart;
    const QString id = add(relationshipsPartOf(source), QString::fromLatin1(kRelTypeImage),
                           relativeTarget(source, name), QString(), err);
    if (id.isEmpty())
        documentDebug() << "addImagePart: cannot parse rels:" << err;
    return id;
}

QString DocxRelationships::addHyperlinkRel(const QString &url, const QString &fromPart)
{
    if (url.isEmpty())
        return {};
    QString err;
    const QString id = ensureRelTo(fromPart.isEmpty() ? package_.mainRelsPart() : relationshipsPartOf(fromPart), QString::fromLatin1(kRelTypeHyperlink), url,
                                   QStringLiteral("External"), err);
    if (id.isEmpty())
        documentDebug() << "addHyperlinkRel: cannot parse rels:" << err;
    return id;
}

QString DocxRelationships::ensureRelTo(const QString &relsPath, const QString &type, const QString &target,
                                       const QString &targetMode, QString &err, bool *added)
{
    ensureRelationshipsPart(package_.entries(), relsPath);
    const DocxRelsIndex *index = indexOf(relsPath, err);
    if (!index)
        return {};
    const DocxRelationship *existing = index->findTarget(
        target, [&](const DocxRelationship &r) {
            return r.type == type && (targetMode.isEmpty() || r.targetMode == targetMode);
        });
    if (existing)
        return existing->id;
    const QString id = add(relsPath, type, target, targetMode, err);
    if (added)
        *added = !id.isEmpty();
    return id;
}

QString DocxRelationships::packageRelTarget(const QString &type) const
{
    const QString rootRels = QString::fromLatin1(kPartRootRels);
    QString err;
    const DocxRelsIndex *index = package_.entries().contains(rootRels) ? indexOf(rootRels, err) : nullptr;
    const DocxRelationship *rel =
        index ? index->find([&](const DocxRelationship &r) { return r.type == type && !isExternal(r); }) : nullptr;
    return rel ? resolvePartTarget(QString(), rel->target) : QString();
}

QString DocxRelationships::relTarget(const QString &rId) const
{
    QString err;
    const DocxRelsIndex *index = rId.isEmpty() ? nullptr : indexOf(package_.mainRelsPart(), err);
    const DocxRelationship *rel = index ? index->byId(rId) : nullptr;
    return rel ? rel->target : QString();
}

QHash<QString, QString> DocxRelationships::relatedParts(const QString &sourcePart,
                                                        bool (*accept)(const QString &type)) const
{
    QHash<QString, QString> parts;
    QString err;
    const DocxRelsIndex *index = indexOf(relationshipsPartOf(sourcePart), err);
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

QString DocxRelationships::relPartPath(const QString &rId) const
{
    QString err;
    const DocxRelsIndex *index = rId.isEmpty() ? nullptr : indexOf(package_.mainRelsPart(), err);
    const DocxRelationship *rel = index ? index->byId(rId) : nullptr;
    return rel && !isExternal(*rel) ? resolvePartTarget(package_.mainPart(), rel->target) : QString();
}


void DocxRelationships::ensureRelOfType(const QString &relsPath, const QString &type, const QString &target)
{
    ensureRelationshipsPart(package_.entries(), relsPath);
    QString err;
    const DocxRelsIndex *index = indexOf(relsPath, err);
    if (!index || index->find([&](const DocxRelationship &r) { return r.type == type; }))
        return;
    add(relsPath, type, target, QString(), err);
}
