// Core document properties (title, author and the like) in "docProps/core.xml".
#include "DocxCoreProperties.h"

#include "DocxPackage.h"
#include "DocxPartXml.h"
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

// A core property: its key, and the namespace URI and element name that hold it.
struct CorePropertyName
{
    const char *key;
    const char *namespaceUri;
    const char *localName;
};

const CorePropertyName kCoreProperties[kCorePropertyCount] = {
    {"title", kNsDc, "title"},
    {"author", kNsDc, "creator"},
    {"subject", kNsDc, "subject"},
    {"description", kNsDc, "description"},
    {"keywords", kNsCoreProps, "keywords"},
    {"category", kNsCoreProps, "category"},
};

QString coreName() { return QString::fromLatin1(kPartCoreProps); }

// The place of `key` with the core-properties part parsed into `core`; -1
// with `err` when the key names no core property or the part does not parse.
// A missing part reads as an empty one.
int readCoreProperties(const DocxEntryMap &entries, const QString &key, QDomDocument &core, QString &err)
{
    const int index = corePropertyIndex(key);
    if (index < 0) {
        err = QStringLiteral("Unknown document property: ") + key;
        return -1;
    }
    if (!entries.contains(coreName()))
        return index;
    if (!loadPart(entries, coreName(), core, err)) {
        err = QStringLiteral("Cannot read the document properties (%1): %2").arg(coreName(), err);
        return -1;
    }
    return index;
}

}  // namespace

int corePropertyIndex(const QString &key)
{
    for (int i = 0; i < kCorePropertyCount; ++i) {
        if (key == QLatin1String(kCoreProperties[i].key))
            return i;
    }
    return -1;
}

QString DocxCoreProperties::value(const QString &key, QString *err) const
{
    QDomDocument core;
    QString why;
    const int index = readCoreProperties(package_.entries(), key, core, why);
    if (index < 0) {
        if (err)
            *err = why;
        return {};
    }
    const CorePropertyName &name = kCoreProperties[index];
    return firstElementNS(core, name.localName, name.namespaceUri).text().trimmed();
}

bool DocxCoreProperties::setValue(const QString &key, const QString &value, QString &err)
{
    if (corePropertyIndex(key) >= 0 && !package_.entries().contains(coreName())) {
        package_.entries().insert(coreName(), QByteArray(kCoreTemplate));
        package_.contentTypes().ensureOverride(QStringLiteral("/docProps/core.xml"),
                                               QString::fromLatin1(kCoreContentType));
        package_.relationships().ensureRelOfType(QString::fromLatin1(kPartRootRels),
                                                 QString::fromLatin1(kCoreRelType), coreName());
    }
    QDomDocument core;
    const int index = readCoreProperties(package_.entries(), key, core, err);
    if (index < 0)
        return false;
    const CorePropertyName &name = kCoreProperties[index];
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
    storePart(package_.entries(), coreName(), core, kIndentedPart);
    return true;
}
