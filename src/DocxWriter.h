#pragma once
// DocxWriter: writes packages to disk and rich text back into document bodies.
#include "DocxDocument.h"

#include <QString>

#include <QTextDocument>

// Packs an entry map in the fixed DOCX part order and replaces `path` with it.
bool packZip(const DocxEntryMap &entries, const QString &path, QString &err,
             const DocxZipSource *source = nullptr);

// A text document for HTML from outside: its images come from data URLs
// only. A path or file URL in the HTML would otherwise put any image file the
// process can read into the document; such images are left out.
class DocxHtmlDocument : public QTextDocument
{
public:
    static bool takesImage(const QString &name);

protected:
    QVariant loadResource(int type, const QUrl &name) override;
};

class DocxWriter
{
public:
    // Writes pending body edits into the entry map.
    static void storeDocumentXml(DocxDocument &doc);
    // Saves the package under `path`; the document keeps its own path.
    static bool saveVersion(DocxDocument &doc, const QString &path);
    // Saves the package to the path it was opened from.
    static bool save(DocxDocument &doc);

    // Puts the content of `source` (paragraphs and tables of its root frame)
    // in the place of the body's first paragraph.
    static bool buildFullDocumentDom(DocxDocument &doc, const QTextDocument *source);
    // buildFullDocumentDom, then save.
    static bool buildAndSave(DocxDocument &doc, const QTextDocument *source);
    // Rewrites the paragraphs of `range` from the blocks of `editor` from block
    // `editorStart` on, pairing them by position.
    static bool saveSection(DocxDocument &doc, const QTextDocument *editor, const DocxSectionRange &range,
                            int editorStart);
    // Converts every body paragraph to rich text and writes it back from that
    // rich text, keeping each paragraph's text in that paragraph.
    static bool resaveDocument(DocxDocument &doc);
};
