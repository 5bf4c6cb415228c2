#pragma once
// Section indexes as the C interface takes them: 0-based, -1 the last.
#include "DocxHandle.h"

#include <QString>

// True when `section` names a section of the document, or is -1 (the last,
// added by an edit when the body has none); otherwise records why not.
bool sectionExists(DocxHandle *h, int section);
// "Section 3" (1-based, as a user counts), or "The last section" for -1.
QString sectionName(int section);
