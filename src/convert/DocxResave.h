#pragma once
// The whole-document re-save: the Reader and the Writer back to back.
#include "DocxDocument.h"

// Converts every body paragraph to rich text and writes it back from that
// rich text, keeping each paragraph's text in that paragraph. A document in
// strict markup is kept as it is.
bool docxResave(DocxDocument &doc);
