#pragma once
// DocxWriter: writes rich text back into document bodies.
#include "DocxDocument.h"
#include "DocxRichText.h"
#include "DocxHtmlCuts.h"

#include <QString>

#include <QTextDocument>

// Declarations to add to the root start tag so that the writer's prefixes are
// bound once there (those the root does not bind yet); `scope` receives them.
QByteArray declareOnRoot(const DocxNamespaceBindings &rootScope, DocxNamespaceBindings &scope);
// The prefixes the writer's elements use, with their namespaces.
const DocxNamespaceBindings &writerBindings();

class DocxWriter
{
public:
    // Puts the content of `source` (paragraphs and tables of its root frame)
    // in the place of the body's first paragraph.
    static bool buildFullDocumentDom(DocxDocument &doc, const QTextDocument *source);
    // buildFullDocumentDom with the content of an HTML page, prepared (see
    // prepareHtml) and read in pieces where it is large (see htmlCuts), with
    // the images of DocxHtmlDocument.
    static bool buildFromHtml(DocxDocument &doc, const QString &html, qsizetype pieceChars = kHtmlPieceChars);
    // buildFromHtml, then save.
    static bool buildAndSave(DocxDocument &doc, const QString &html);
    // The paragraphs the blocks of `editor` were read from, in order.
    static DocxSourceList sourceParagraphs(const QTextDocument &editor);
    // Writes the blocks of `editor` back into the paragraphs they were read
    // from: each paragraph keeps everything the rich text does not show and
    // takes what an edit changed; a block read from no paragraph becomes a new
    // paragraph after the one before it; a paragraph of `converted` (taken with
    // sourceParagraphs before editing) that no block comes from any more is
    // removed. Returns the number of paragraphs written back.
    static int writeBack(DocxDocument &doc, const QTextDocument &editor, const DocxSourceList &converted);

    // Content made for any part, as text whose prefixes `scope` (what is
    // bound where it goes) binds or it declares itself; the pictures and links
    // it holds are related from `part`.
    //
    // The paragraphs and tables of an HTML page, each paragraph made from
    // `paragraphXml` (its properties and style the base of theirs); the
    // numbering its lists need goes into the numbering part; bookmarks
    // count on from `nextBookmarkId`. A page that makes nothing, or ends in a
    // table, gives (or ends with) an empty paragraph like `paragraphXml`;
    // one that holds a section break keeps it in a paragraph of its own.
    static QByteArray htmlBlocks(DocxDocument &doc, const QString &part, const QString &html,
                                 const QByteArray &paragraphXml, const DocxNamespaceBindings &scope,
                                 int &nextBookmarkId);
    // A run showing the picture `bytes` at `cx` by `cy` EMU: one of them 0
    // keeps the picture's proportions, both its own size at 96 dpi. Empty
    // when the bytes hold no picture. `id` names its drawing.
    static QByteArray pictureRun(DocxDocument &doc, const QString &part, const QByteArray &bytes, qint64 cx, qint64 cy,
                                 const QString &description, int id, const DocxNamespaceBindings &scope);
};

// The first number past every one that follows `key` ("w:id=\"") in `bytes`.
int firstFreeNumber(const QByteArray &bytes, QByteArrayView key);
