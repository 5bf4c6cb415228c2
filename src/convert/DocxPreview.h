#pragma once
// A document laid out page by page, as the preview draws it.
#include "DocxDocument.h"

#include <QString>
#include <QStringList>

// A preview shows at most this many pages.
inline constexpr int kMaxPreviewPages = 10000;

// The pages a preview lays out, and the text its headers and footers show.
struct DocxPreviewSummary
{
    int pages = 0;
    QStringList headerLines;  // paragraphs with text of its sections' headers, each part once
    QStringList footerLines;  // ...and of the footers
};
DocxPreviewSummary docxPreviewSummary(const DocxDocument &doc);

struct DocxPreviewResult
{
    bool written = false;
    int pagesShown = 0;
    bool pageBrought = false;  // the page had to be brought within printable sizes
    bool cutShort = false;     // more than kMaxPreviewPages pages: the first ones are shown
    QString error;             // why nothing could be laid out
};
// Lays out `doc` and writes every page as a PDF, or the first as a PNG, by
// the suffix of `out` (".pdf" or ".png").
DocxPreviewResult docxRenderPreview(const DocxDocument &doc, const QString &out);
