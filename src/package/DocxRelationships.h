#pragma once
// DocxRelationships: the relationships parts of a package, each read once per
// version of its bytes, and the parts added through them (media).
#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>

class DocxPackage;
class DocxRelsIndex;

// The part a relationship target of `sourcePart` names: relative to the source
// part's folder (the package root for package relationships, whose source is
// empty), or package-absolute with a leading "/"; "." and ".." segments
// resolved. Empty when it names nothing inside the package: it climbs out of
// it, holds a backslash or is a URL.
QString resolvePartTarget(const QString &sourcePart, const QString &target);
// The target naming `partName` from `sourcePart`: relative when the part lies
// in the source part's folder or below, else package-absolute.
QString relativeTarget(const QString &sourcePart, const QString &partName);
// The folder of `part` with a trailing slash ("word/"); empty at the package root.
QString partFolder(const QString &part);
// The relationships part of `part`: "_rels/<name>.rels" in its folder.
QString relationshipsPartOf(const QString &part);

class DocxRelationships
{
public:
    explicit DocxRelationships(DocxPackage &package);
    ~DocxRelationships();
    DocxRelationships(const DocxRelationships &) = delete;
    DocxRelationships &operator=(const DocxRelationships &) = delete;

    // Stores `data` as a new media part and relates it from `fromPart` (the
    // main part when empty); returns the relationship id, empty when nothing
    // was added.
    QString addImagePart(const QByteArray &data, const QString &ext, const QString &fromPart = QString());
    // The external hyperlink relationship of `fromPart` (the main part when
    // empty) to `url`, added when missing.
    QString addHyperlinkRel(const QString &url, const QString &fromPart = QString());
    // The part a relationship of the main part names; empty for an external
    // target or an unknown id.
    QString relPartPath(const QString &rId) const;
    // The target text of a relationship of the main part.
    QString relTarget(const QString &rId) const;
    // The parts inside the package that the relationships of `sourcePart` of
    // the types `accept` takes name, by relationship id (the first of an id
    // counts); empty when its relationships part is missing or broken.
    QHash<QString, QString> relatedParts(const QString &sourcePart, bool (*accept)(const QString &type)) const;
    // Adds a relationship of `type` to `relsPath` unless it has one of that type.
    void ensureRelOfType(const QString &relsPath, const QString &type, const QString &target);
    // The id of the relationship of `relsPath` of `type` to `target` (of
    // `targetMode`, or of any mode when it is empty), added when missing; empty (with `err`) when the part does
    // not parse. The relationships part is created when missing; `added`
    // (when given) says whether the relationship is new.
    QString ensureRelTo(const QString &relsPath, const QString &type, const QString &target,
                        const QString &targetMode, QString &err, bool *added = nullptr);
    // The internal target of the first package relationship of `type`, resolved;
    // empty when there is none or the part does not parse.
    QString packageRelTarget(const QString &type) const;

private:
    // The relationships of `relsPath`, read once per version of the part;
    // null (with `err`) when it is missing or does not parse.
    const DocxRelsIndex *indexOf(const QString &relsPath, QString &err) const;
    // Adds a relationship to `relsPath` (created empty when missing) and
    // returns its id; empty (with `err`) when the part does not parse.
    QString add(const QString &relsPath, const QString &type, const QString &target, const QString &targetMode,
                QString &err);
    QString nextMediaName(const QString &extension) const;

    DocxPackage &package_;
    struct Indexes;
    std::unique_ptr<Indexes> indexes_;
};
