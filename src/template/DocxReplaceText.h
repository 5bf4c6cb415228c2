#pragma once
// Replacing text in every story of a document: the body (tables, content
// controls, text boxes), headers, footers, footnotes, endnotes and comments.
#include "DocxDocument.h"
#include "DocxTextReplace.h"

// Replaces every match of `replace` in every paragraph of every story; `count`
// receives how many. Only the parts with a match change, and in them only the
// paragraphs with one. False with `err` (and the document unchanged) when a
// part does not read.
bool docxReplaceText(DocxDocument &doc, const DocxTextReplace &replace, int &count, QString &err);
