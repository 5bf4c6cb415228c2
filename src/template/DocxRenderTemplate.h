#pragma once
// Rendering a whole document as a template: every story (body, headers,
// footers, footnotes, endnotes, comments) with the same data. Only the parts
// that hold tags change, and in them only the tags, the units their
// modifiers stand for and the paragraphs around split tags. A render that
// fails changes nothing.
#include "DocxDocument.h"
#include "DocxTemplateRender.h"

#include <QByteArray>
#include <QString>

enum class DocxTemplateFailure {
    None,
    Data,      // the data is not a JSON object
    Template,  // a tag does not read or nest, a value cannot be made
};

// Renders `doc` with `dataJson` (UTF-8 JSON, an object). `err` lists every
// problem found, each with its part, paragraph and the text around its tag.
DocxTemplateFailure docxRenderTemplate(DocxDocument &doc, const QByteArray &dataJson, const DocxTemplateOptions &options,
                                       QString &err);
