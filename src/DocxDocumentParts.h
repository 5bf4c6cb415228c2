#pragma once
// Steps shared by the operations that edit package parts other than the body.
#include "DocxZip_Qt.h"

#include <QDomDocument>
#include <QDomElement>
#include <QList>
#include <QString>

// Indentation of re-serialised parts: relationship, settings, header/footer and
// core-property parts are indented; the content-type registry and the style
// sheet are not.
constexpr int kIndentedPart = 2;
constexpr int kCompactPart = 0;

// Every element of `dom` in `ns` named `localName`, in document order.
QList<QDomElement> elementsNS(const QDomDocument &dom, const char *ns, const char *localName);

// Parses the entry `name`; false (with `err`) when it is missing or malformed.
bool loadPart(const DocxEntryMap &entries, const QString &name, QDomDocument &dom, QString &err);
// Writes `dom` back under `name`.
void storePart(DocxEntryMap &entries, const QString &name, const QDomDocument &dom, int indent);

// The relationships part stored when one is needed and missing.
QByteArray emptyRelationshipsPart();
// Stores the empty relationships part under `name` unless the entry exists.
void ensureRelationshipsPart(DocxEntryMap &entries, const QString &name);
// Every Relationship element of a relationships part, in document order.
QList<QDomElement> relationshipElements(const QDomDocument &rels);
// "rId" + (the largest number of an existing "rIdN" id + 1).
QString nextRelationshipId(const QDomDocument &rels);
// Appends a Relationship element to the root.
void appendRelationship(QDomDocument &rels, const QString &id, const QString &type, const QString &target,
                        const QString &targetMode = QString());

// Inserts `child` into `parent` where `order` (local names in the order the
// format wants them) puts it: before the first child that must come after it.
// Children whose names `order` does not know never move the insertion point;
// a name `order` does not know goes before every known child.
void insertInOrder(QDomElement &parent, const QDomElement &child, const QStringList &order);

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
