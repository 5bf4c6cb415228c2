#pragma once
// Steps shared by the operations that edit package parts other than the body.
#include "DocxXml.h"
#include "DocxZip.h"

#include <QDomDocument>
#include <QDomElement>
#include <QHash>
#include <QList>
#include <QString>

// Indentation of re-serialised parts: relationship, settings, header/footer and
// core-property parts are indented; the content-type registry and the style
// sheet are not.
constexpr int kIndentedPart = 2;
constexpr int kCompactPart = 0;

// Every element of `dom` in `ns` named `localName`, in document order; in
// the strict pair of `ns` when the root is in strict markup.
QList<QDomElement> elementsNS(const QDomDocument &dom, const char *ns, const char *localName);

// Parses the entry `name`; false (with `err`) when it is missing or malformed.
bool loadPart(const DocxEntryMap &entries, const QString &name, QDomDocument &dom, QString &err);
// Writes `dom` back under `name`.
void storePart(DocxEntryMap &entries, const QString &name, const QDomDocument &dom, int indent);

// The relationships part stored when one is needed and missing.
QByteArray emptyRelationshipsPart();
// Stores the empty relationships part under `name` unless the entry exists.
void ensureRelationshipsPart(DocxEntryMap &entries, const QString &name);
// Appends a Relationship element to the root.
void appendRelationship(QDomDocument &rels, const QString &id, const QString &type, const QString &target,
                        const QString &targetMode = QString());

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
