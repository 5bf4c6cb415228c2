#pragma once
// The stories of a document: the parts whose paragraphs hold its text.
#include "DocxDocument.h"

#include <QStringList>

// The main part, then the headers, footers, footnotes, endnotes and comments
// its relationships name, each once, in the order of their names.
QStringList docxStoryParts(const DocxDocument &doc);
