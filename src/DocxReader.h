#pragma once
// DocxReader: makes documents from files and turns document bodies into rich text.
#include "DocxDocument.h"

#include <QString>

class DocxReader
{
public:
    // Reads the package at `path`. Never null: the document is valid or carries
    // its error text.
    static DocxDocument *open(const QString &path);
    // Writes a blank package to `path` and opens it; null when writing failed.
    static DocxDocument *createBlank(const QString &path);
    // Reads the archive into the document's entry map.
    static bool readArchive(const QString &path, DocxDocument &doc, QString &err);
};
