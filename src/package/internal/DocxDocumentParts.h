#pragma once
// Steps shared by the operations that edit package parts other than the body.
#include "DocxDocument.h"
#include "DocxZip.h"

#include <QDomDocument>
#include <QDomElement>
#include <QHash>
#include <QSet>
#include <QList>
#include <QString>

// Indentation of re-serialised parts: relationship, settings, header/footer and
// core-property parts are indented; the content-type registry and the style
// sheet are not.
constexpr int kIndentedPart = 2;
constexpr int kCompactPart = 0;

// Parses the entry `name`; false (with `err`) when it is missing or malformed.
bool loadPart(const DocxEntryMap &entries, const QString &name, QDomDocument &dom, QString &err);
// Parses the entry `name` when the package has one. False when it has none,
// and false with the parse error logged after `context` when it is malformed.
bool loadPresentPart(const DocxEntryMap &entries, const QString &name, QDomDocument &dom, const char *context);
// Writes `dom` back under `name`.
void storePart(DocxEntryMap &entries, const QString &name, const QDomDocument &dom, int indent);

// The relationships part stored when one is needed and missing.
QByteArray emptyRelationshipsPart();
// Stores the empty relationships part under `name` unless the entry exists.
void ensureRelationshipsPart(DocxEntryMap &entries, const QString &name);
// Appends a Relationship element to the root.
void appendRelationship(QDomDocument &rels, const QString &id, const QString &type, const QString &target,
                        const QString &targetMode = QString());

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


// Parses the part `name`, lets `edit` change it and stores it when `edit`
// says it changed something. False when the part is missing or malformed.
template <typename Edit>
bool editPart(DocxEntryMap &entries, const QString &name, int indent, Edit edit)
{
    QDomDocument dom;
    QString err;
    if (!loadPart(entries, name, dom, err))
        return false;
    if (edit(dom))
        storePart(entries, name, dom, indent);
    return true;
}

// What the document keeps read of its parts between operations; every entry
// is checked against the part's current bytes before it is used.
struct DocxDocument::PartIndexes
{
    QHash<QString, DocxRelsIndex> rels;  // by relationships part name
    QByteArray stylesRead;               // the style sheet whose ids are in stylesPresent
    QSet<QString> stylesPresent;
};
