#pragma once
// What the Reader makes of a document's body, block by block.
#include "DocxDocument.h"

#include <QJsonObject>
#include <QString>

// What a text holds beside the body.
struct DocxTextParts
{
    bool headersFooters = false;  // the text of the headers and footers, each part once
    bool notes = false;           // the footnotes and endnotes
};

// A line a block: its list label, its text, " [picture]" for each picture,
// indented two spaces a table level. Text boxes are read where they stand.
// `parts` adds, after the body, a line "-- headers" followed by the header
// paragraphs that show text, "-- footers" and the footers' (as the preview
// lays them out), and "-- footnotes" and "-- endnotes" each followed by its
// notes' lines, the first of each note after "[N] ".
QString docxTextLines(const DocxDocument &doc, const DocxTextParts &parts = {});
// The same as JSON: "file", "blocks" ([label, text, pictures, table depth,
// bullet] each), "tables" (rows, columns, cells), "links"; with the headers
// and footers, also the preview's "pages", "headers" and "footers"; with the
// notes "footnotes" and "endnotes" (the text of each note, its lines joined).
QJsonObject docxTextReport(const DocxDocument &doc, const DocxTextParts &parts = {});
