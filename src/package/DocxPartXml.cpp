// Steps shared by the operations that edit package parts other than the body.
#include "DocxPartXml.h"

#include "DocxXml.h"
#include "DocxNamespaces.h"

#include <QXmlStreamReader>

#include <limits>

QList<QDomElement> elementsNS(const QDomDocument &dom, const char *ns, const char *localName)
{
    QList<QDomElement> out;
    QDomDocument handle = dom;  // elementsByTagNameNS is not const; the handle shares the tree
    const QDomNodeList list =
        handle.elementsByTagNameNS(namespaceAsIn(dom.documentElement(), ns), QString::fromLatin1(localName));
    out.reserve(list.size());
    for (int i = 0; i < list.size(); ++i)
        out.append(list.at(i).toElement());
    return out;
}

bool loadPart(const DocxEntryMap &entries, const QString &name, QDomDocument &dom, QString &err)
{
    const auto it = entries.constFind(name);
    if (it == entries.cend()) {
        err = QStringLiteral("missing part ") + name;
        return false;
    }
    return parseXml(*it, dom, err);
}

void storePart(DocxEntryMap &entries, const QString &name, const QDomDocument &dom, int indent)
{
    entries.insert(name, serializeXml(dom, indent));
}

QByteArray emptyRelationshipsPart()
{
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                             "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                             "</Relationships>");
}

void ensureRelationshipsPart(DocxEntryMap &entries, const QString &name)
{
    if (!entries.contains(name))
        entries.insert(name, emptyRelationshipsPart());
}

void appendRelationship(QDomDocument &rels, const QString &id, const QString &type, const QString &target,
                        const QString &targetMode)
{
    QDomElement rel = rels.createElementNS(QString::fromLatin1(kNsPackageRels), QStringLiteral("Relationship"));
    rel.setAttribute(QStringLiteral("Id"), id);
    rel.setAttribute(QStringLiteral("Type"), type);
    rel.setAttribute(QStringLiteral("Target"), target);
    if (!targetMode.isEmpty())
        rel.setAttribute(QStringLiteral("TargetMode"), targetMode);
    rels.documentElement().appendChild(rel);
}
