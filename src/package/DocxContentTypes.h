#pragma once
// DocxContentTypes: the package's content-type registry
// ("[Content_Types].xml"). Entries are added when missing; the registry itself
// is never created, and one that does not parse is left alone.
#include "DocxHeaderFooterKind.h"

#include <QString>

class DocxPackage;

// The MIME type of a lower-case image extension.
QString mimeForExtension(const QString &ext);

class DocxContentTypes
{
public:
    explicit DocxContentTypes(DocxPackage &package) : package_(package) {}

    // The Override of a header or footer part; `partPath` may be relative to
    // the main part's folder.
    void ensureHeaderFooter(DocxHFPart part, const QString &partPath);
    // The Default of an image extension.
    void ensureImageDefault(const QString &ext);
    // The Override of `partName` (package-absolute, with a leading "/").
    void ensureOverride(const QString &partName, const QString &contentType);

private:
    DocxPackage &package_;
};
