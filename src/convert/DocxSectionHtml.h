#pragma once
// A section of the body, or the whole body, as an HTML page.
#include "DocxDocument.h"

#include <QByteArray>
#include <QString>

#include <functional>

// The body as a UTF-8 HTML page written from its rich text: the section under
// the heading `title` (from that heading to the next one of the same or a
// higher level), or the whole body when `title` is empty or no heading reads
// it. Empty when the body shows nothing.
QString renderSectionHtml(DocxDocument &doc, const QString &title);
// The same page handed to `write` a piece at a time, as it is written.
void writeSectionHtml(DocxDocument &doc, const QString &title, const std::function<void(const QByteArray &)> &write);
