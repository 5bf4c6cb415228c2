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
