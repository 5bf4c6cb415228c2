// Steps shared by the operations that edit package parts other than the body.
#include "DocxDocumentParts.h"

#include "DocxDocumentXml.h"
#include "DocxNamespaces.h"

QList<QDomElement> elementsNS(const QDomDocument &dom, const char *ns, const char *localName)
{
    QList<QDomElement> out;
    QDomDocument handle = dom;  // elementsByTagNameNS is not const; the handle shares the tree
    const QDomNodeList list = handle.elementsByTagNameNS(QString::fromLatin1(ns), QString::fromLatin1(localName));
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

void insertInOrder(QDomElement &parent, const QDomElement &child, const QStringList &order)
{
    const qsizetype rank = order.indexOf(child.localName());
    for (QDomElement c = parent.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (order.indexOf(c.localName()) > rank) {
            parent.insertBefore(child, c);
            return;
        }
    }
    parent.appendChild(child);
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

QList<QDomElement> relationshipElements(const QDomDocument &rels)
{
    return elementsNS(rels, kNsPackageRels, "Relationship");
}

QString nextRelationshipId(const QDomDocument &rels)
{
    int max = 0;
    for (const QDomElement &rel : relationshipElements(rels)) {
        const QString id = rel.attribute(QStringLiteral("Id"));
        if (!id.startsWith(QLatin1String("rId")))
            continue;
        bool ok = false;
        const int n = QStringView(id).mid(3).toInt(&ok);
        if (ok && n > max)
            max = n;
    }
    return QStringLiteral("rId%1").arg(qint64(max) + 1);
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

