#pragma once
// The relationships of one relationships part, indexed by id and target.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

struct DocxRelationship
{
    QString id;
    QString type;
    QString target;
    QString targetMode;
};

// The relationships of one relationships part, read once per version of its
// bytes: lookups cost no parse, and appending splices the new element into the
// bytes instead of writing the whole part again.
class DocxRelsIndex
{
public:
    // Re-reads `bytes` unless they are the very buffer read last time; false
    // (with `err`) when they do not parse.
    bool sync(const QByteArray &bytes, QString &err);
    const QList<DocxRelationship> &all() const { return rels_; }
    // The first relationship with that id, or null.
    const DocxRelationship *byId(const QString &id) const;
    // The first relationship `accept` takes, or null.
    template <typename Accept>
    const DocxRelationship *find(Accept accept) const
    {
        for (const DocxRelationship &r : rels_) {
            if (accept(r))
                return &r;
        }
        return nullptr;
    }
    // The first relationship to `target` that `accept` takes, or null.
    template <typename Accept>
    const DocxRelationship *findTarget(const QString &target, Accept accept) const
    {
        const DocxRelationship *first = nullptr;
        for (auto it = byTarget_.constFind(target); it != byTarget_.cend() && it.key() == target; ++it) {
            const DocxRelationship &r = rels_[*it];
            if (accept(r) && (!first || *it < qsizetype(first - rels_.constData())))
                first = &r;
        }
        return first;
    }
    // "rId" + (the largest number of an "rIdN" id + 1).
    QString nextId() const;
    // Splices `rel` into `part`, the bytes this index was read from, growing
    // them in place. False when the part's root is not one the element can be
    // spliced into (the caller then edits a tree).
    bool appendTo(QByteArray &part, const DocxRelationship &rel);

private:
    void add(const DocxRelationship &rel);

    QByteArray bytes_;
    bool valid_ = false;
    QString error_;
    QList<DocxRelationship> rels_;
    QHash<QString, qsizetype> byId_;
    QMultiHash<QString, qsizetype> byTarget_;
    qint64 maxId_ = 0;
    qsizetype closeTag_ = -1;  // where the root's end tag starts, -1 when it has none to splice before
};
