// Steps shared by the operations that edit package parts other than the body.
#include "DocxPartXml.h"
#include "DocxLog.h"

#include "DocxXml.h"
#include "DocxNamespaces.h"
#include "DocxPartTypes.h"

#include <QXmlStreamReader>

#include <limits>

bool loadPart(const DocxEntryMap &entries, const QString &name, QDomDocument &dom, QString &err)
{
    const auto it = entries.constFind(name);
    if (it == entries.cend()) {
        err = QStringLiteral("missing part ") + name;
        return false;
    }
    return parseXml(*it, dom, err);
}

bool loadPresentPart(const DocxEntryMap &entries, const QString &name, QDomDocument &dom, const char *context)
{
    if (!entries.contains(name))
        return false;
    QString err;
    if (loadPart(entries, name, dom, err))
        return true;
    documentDebug() << context << err;
    return false;
}

void storePart(DocxEntryMap &entries, const QString &name, const QDomDocument &dom, int indent)
{
    entries.insert(name, serializeXml(dom, indent));
}

QByteArray emptyRelationshipsPart()
{
    return declaredXml(kLf, QByteArray("<Relationships xmlns=\"") + kNsPackageRels + "\"></Relationships>");
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
