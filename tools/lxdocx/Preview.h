#pragma once
// The page layout the preview draws, shared with the commands that report on it.
class DocxDocument;

// The number of pages the preview of `doc` lays out.
int previewPageCount(const DocxDocument &doc);
