#pragma once
// What the Reader makes of a document's body, block by block.
#include "DocxDocument.h"

#include <QJsonObject>
#include <QString>

// A line a block: its list label, its text, " [picture]" for each picture,
// indented two spaces a table level.
QString docxTextLines(const DocxDocument &doc);
// The same as JSON: "file", "blocks" ([label, text, pictures, table depth,
// bullet] each), "tables" (rows, columns, cells), "links"; with `pages`, also
// the preview's "pages", "headers" and "footers".
QJsonObject docxTextReport(const DocxDocument &doc, bool pages);
