#pragma once
// DocxWriter: writes packages to disk and rich text back into document bodies.
#include "DocxDocument.h"

#include <QString>

// Packs an entry map in the fixed DOCX part order and replaces `path` with it.
bool packZip(const DocxEntryMap &entries, const QString &path, QString &err,
             const DocxZipSource *source = nullptr);

class DocxWriter
{
public:
    // Writes pending body edits into the entry map.
    static void storeDocumentXml(DocxDocument &doc);
    // Saves the package under `path`; the document keeps its own path.
    static bool saveVersion(DocxDocument &doc, const QString &path);
    // Saves the package to the path it was opened from.
    static bool save(DocxDocument &doc);
};
