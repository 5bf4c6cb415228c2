#pragma once
// The page layout the preview draws, shared with the commands that report on it.
#include <QStringList>

class DocxDocument;

struct PreviewSummary
{
    int pages = 0;            // pages the preview lays out
    QStringList headerLines;  // paragraphs with text of its sections' headers, each part once
    QStringList footerLines;  // ...and of the footers
};

PreviewSummary previewSummary(const DocxDocument &doc);
