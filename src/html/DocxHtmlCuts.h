#pragma once
// Cutting a large HTML page into pieces read one after the other.
#include <QList>
#include <QString>

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
