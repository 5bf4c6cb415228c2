// Core document properties (title, author and the like) in "docProps/core.xml".
#include "DocxDocument.h"
#include "DocxDocumentParts.h"
#include "DocxNamespaces.h"

namespace {

constexpr char kCoreRelType[] = "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties";
constexpr char kCoreContentType[] = "application/vnd.openxmlformats-package.core-properties+xml";
constexpr char kCoreTemplate[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
    "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dcterms=\"http://purl.org/dc/terms/\" "
    "xmlns:dcmitype=\"http://purl.org/dc/dcmitype/\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
    "</cp:coreProperties>";

QString coreName() { return QString::fromLatin1(kPartCoreProps); }

}  // namespace

CorePropertyName corePropertyName(const QString &key)
{
    if (key == QLatin1String("author"))
        return {kNsDc, "creator"};
    if (key == QLatin1String("subject"))
        return {kNsDc, "subject"};
    if (key == QLatin1String("description"))
        return {kNsDc, "description"};
    if (key == QLatin1String("keywords"))
        return {kNsCoreProps, "keywords"};
    if (key == QLatin1String("category"))
        return {kNsCoreProps, "category"};
    return {kNsDc, "title"};
}

QString DocxDocument::docProperty(const QString &key) const
{
    QDomDocument core;
    QString err;
    if (!loadPart(entries, coreName(), core, err))
        return {};
    const CorePropertyName name = corePropertyName(key);
    return firstElementNS(core, name.localName, name.namespaceUri).text().trimmed();
}

bool DocxDocument::setDocProperty(const QString &key, const QString &value)
{
    if (!entries.contains(coreName())) {
        entries.insert(coreName(), QByteArray(kCoreTemplate));
        ensureOverride(QStringLiteral("/docProps/core.xml"), QString::fromLatin1(kCoreContentType));
        ensureRelOfType(QString::fromLatin1(kPartRootRels), QString::fromLatin1(kCoreRelType), coreName());
    }
    const CorePropertyName name = corePropertyName(key);
    return editPart(entries, coreName(), kIndentedPart, [&](QDomDocument &core) {
        const QList<QDomElement> found = elementsNS(core, name.namespaceUri, name.localName);
        QDomElement el = found.isEmpty() ? QDomElement() : found.first();
        if (el.isNull()) {
            const bool dc = QLatin1String(name.namespaceUri) == QLatin1String(kNsDc);
            el = core.createElementNS(QString::fromLatin1(name.namespaceUri),
                                      QStringLiteral("%1:%2").arg(dc ? QStringLiteral("dc") : QStringLiteral("cp"),
                                                                  QLatin1String(name.localName)));
            core.documentElement().appendChild(el);
        }
        while (el.hasChildNodes())
            el.removeChild(el.firstChild());
        el.appendChild(core.createTextNode(value));
        return true;
    });
}
