#pragma once
// Opening a package for the read-only views of the convert layer.
#include "DocxDocument.h"

#include <QString>

#include <memory>

// The package at `path`; never null: the document is valid or carries its error text.
std::unique_ptr<DocxDocument> docxOpenForReading(const QString &path);
