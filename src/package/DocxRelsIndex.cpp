#include "DocxRelsIndex.h"

#include "DocxPartXml.h"
#include "DocxNamespaces.h"
#include "DocxXml.h"

#include <QXmlStreamReader>

#include <limits>

bool DocxRelsIndex::sync(const QByteArray &bytes, QString &err)
{
    if (!bytes_.isNull() && bytes_.isSharedWith(bytes)) {
        err = error_;
        return valid_;
    }
    bytes_ = bytes;
    rels_.clear();
    byId_.clear();
    byTarget_.clear();
    maxId_ = 0;
    closeTag_ = -1;
    error_.clear();
    const QString ns = QString::fromLatin1(kNsPackageRels);
    DocxXmlReader r(bytes);
    bool rootSpliceable = false;
    bool atRoot = true;
    while (!r.atEnd()) {
        if (readNextChecked(r) != QXmlStreamReader::StartElement)
            continue;
        if (atRoot) {
            atRoot = false;
            rootSpliceable = r.qualifiedName() == QLatin1String("Relationships") && r.namespaceUri() == ns;
        }
        if (r.name() != QLatin1String("Relationship") || r.namespaceUri() != ns)
            continue;
        const QXmlStreamAttributes a = r.attributes();
        DocxRelationship rel{a.value(QLatin1String("Id")).toString(),
                             transitionalRelType(a.value(QLatin1String("Type")).toString()),
                             a.value(QLatin1String("Target")).toString(),
                             a.value(QLatin1String("TargetMode")).toString()};
        add(rel);
    }
    valid_ = !r.hasError();
    if (!valid_) {
        error_ = QStringLiteral("XML parse error at line %1 col %2: %3")
                     .arg(r.lineNumber())
                     .arg(r.columnNumber())
                     .arg(r.errorString());
        rels_.clear();
        byId_.clear();
        byTarget_.clear();
    } else if (rootSpliceable) {
        const qsizetype close = bytes.lastIndexOf("</Relationships");
        if (close >= 0 && bytes.indexOf('>', close) >= 0 && bytes.mid(bytes.indexOf('>', close) + 1).trimmed().isEmpty())
            closeTag_ = close;
    }
    err = error_;
    return valid_;
}

const DocxRelationship *DocxRelsIndex::byId(const QString &id) const
{
    const auto it = byId_.constFind(id);
    return it == byId_.cend() ? nullptr : &rels_[*it];
}

QString DocxRelsIndex::nextId() const
{
    if (maxId_ < std::numeric_limits<qint64>::max())
        return QStringLiteral("rId%1").arg(maxId_ + 1);
    // No number follows the largest one: take the first that is free.
    for (qint64 n = 1;; ++n) {
        const QString id = QStringLiteral("rId%1").arg(n);
        if (!byId_.contains(id))
            return id;
    }
}

bool DocxRelsIndex::appendTo(QByteArray &part, const DocxRelationship &rel)
{
    if (!valid_ || closeTag_ < 0 || !bytes_.isSharedWith(part))
        return false;
    QByteArray element = "<Relationship Id=\"" + escapeXmlAttribute(rel.id) + "\" Type=\""
        + escapeXmlAttribute(rel.type) + "\" Target=\"" + escapeXmlAttribute(rel.target) + '"';
    if (!rel.targetMode.isEmpty())
        element += " TargetMode=\"" + escapeXmlAttribute(rel.targetMode) + '"';
    element += "/>";
    bytes_ = QByteArray();  // so that the part grows in place unless something else holds it
    part.insert(closeTag_, element);
    // The index follows the new bytes without reading them again.
    bytes_ = part;
    closeTag_ += element.size();
    add(rel);
    return true;
}

void DocxRelsIndex::add(const DocxRelationship &rel)
{
    if (rel.id.startsWith(QLatin1String("rId"))) {
        bool ok = false;
        const qint64 n = QStringView(rel.id).mid(3).toLongLong(&ok);
        if (ok && n > maxId_)
            maxId_ = n;
    }
    if (!byId_.contains(rel.id))
        byId_.insert(rel.id, rels_.size());
    byTarget_.insert(rel.target, rels_.size());
    rels_.append(rel);
}
