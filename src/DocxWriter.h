#pragma once
// DocxWriter: writes packages to disk and rich text back into document bodies.
#include "DocxDocument.h"
#include "DocxDocumentRichText.h"

#include <QString>

#include <QTextDocument>

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

// The text of an HTML page given as bytes: UTF-16 or UTF-8 by its byte order
// mark; else UTF-8 when the bytes are valid UTF-8; else the encoding its
// <meta charset> or <meta http-equiv="Content-Type"> declares; else
// windows-1252. NUL characters are left out.
QString decodeHtml(QByteArrayView bytes);

// The page as the rich-text reader should see it, with what the reader would
// lose or take too long over made plain: the first number of an ordered list
// (start), <del>, <strike>, <ins> and <mark>, elements hidden with
// display:none or the hidden attribute, justified text, CSS widths and
// borders of tables and cells, a first row of header cells, row and column
// spans (clamped to the rows and columns the table has, and to
// kMaxHtmlSpan), and elements nested deeper than kMaxHtmlDepth (their tags
// are left out, their content stays). One pass over the text.
QString prepareHtml(const QString &html);
inline constexpr int kMaxHtmlSpan = 1000;
inline constexpr int kMaxHtmlDepth = 200;

// The page with the pictures it names by a relative path or file URL inside
// `folder` (and only there) put in as data URLs, for a host that means to
// embed the page's local pictures. Paths that leave the folder, and files
// that are missing or are no pictures, stay as they are.
QString inlineLocalImages(const QString &html, const QString &folder);

// A cut inside a top-level table, between two of its rows: the start tags
// that open the table again at the start of the next piece, and the end tags
// that close it at the end of the piece before. Empty for a cut between two
// top-level blocks.
struct DocxHtmlTableCut
{
    QString reopen;
    QString close;
};

// Where a large HTML page is cut to be read a piece at a time, each piece in
// a text document of its own: reading the whole page at once takes memory
// many times its size. `bodyStart` is the length of the page's text up to and
// including its body start tag, which every piece starts with; `cuts` are the
// positions where pieces end, each between two top-level blocks of the body
// or between two rows of a top-level table, and at least `pieceChars` after
// the previous one; `tables` says, for each cut, how a table it falls in is
// closed and opened again. A fragment (a page whose first tag is a block) has
// an empty head. A page that is small, has no body start tag and is no
// fragment, or whose structure or style sheet could read differently in
// pieces gets no cuts.
struct DocxHtmlCuts
{
    qsizetype bodyStart = 0;
    QList<qsizetype> cuts;
    QList<DocxHtmlTableCut> tables;
};
DocxHtmlCuts htmlCuts(const QString &html, qsizetype pieceChars);

// The size of the pieces a page is read in: large enough that the pieces of
// a page add nothing measurable to the time, small enough that one piece's
// text document weighs little.
inline constexpr qsizetype kHtmlPieceChars = 256 * 1024;

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
};
