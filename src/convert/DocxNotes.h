#pragma once
// The footnotes and endnotes of a document as rich text.
#include "DocxDocument.h"

#include <QList>
#include <QTextDocument>

#include <memory>

enum class DocxNoteKind { Footnote, Endnote };

// Every note of `kind` the document's notes part holds, in the part's order,
// each read like body content; separators and other notes the document only
// lays out are left out. Empty when the document has no such part.
QList<std::shared_ptr<QTextDocument>> docxNotes(const DocxDocument &doc, DocxNoteKind kind);
