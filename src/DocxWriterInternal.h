#pragma once
// Steps of the Writer shared between its source files. Every element is made
// in the document that owns the element it goes into, so the same steps serve
// the whole body tree and small trees of single body elements.
#include "DocxDocument.h"

#include <QDomElement>
#include <QList>
#include <QString>
#include <QStringList>

class QTextBlock;
class QTextCharFormat;
class QTextDocument;
class QTextImageFormat;
class QTextTable;

// Declarations to add to the root start tag so that the writer's prefixes are
// bound once there (those the root does not bind yet); `scope` receives them.
QByteArray declareOnRoot(const DocxNamespaceBindings &rootScope, DocxNamespaceBindings &scope);

// ---- images ----
QString imageRelId(DocxDocument &doc, const QTextDocument *document, const QTextImageFormat &ifmt, int *wpx,
                   int *hpx);
QDomElement makeDrawingRun(QDomDocument &dom, const QString &rId, qint64 cx, qint64 cy, int id);

// ---- paragraphs and runs ----
// The order w:pPr wants its children in.
const QStringList &paragraphPropertyOrder();
void writeParagraph(DocxDocument &doc, QDomElement &p, const QTextBlock &block);
// The same for a paragraph that the rich text holds as several blocks: their
// content is joined with line breaks (page breaks where a block starts a page).
void writeParagraphBlocks(DocxDocument &doc, QDomElement &p, const QList<QTextBlock> &blocks);
// True when `scope` binds "w" and "r" to their namespaces, as runs written as
// text assume.
bool bindsRunPrefixes(const DocxNamespaceBindings &scope);
// Removes the runs, hyperlinks and tracked changes of a paragraph.
void removeRunContent(QDomElement &p);
QDomElement makeTextRun(QDomDocument &dom, const QString &text, const QTextCharFormat &fmt);
QDomElement makeRunProps(QDomDocument &dom, const QTextCharFormat &fmt);
QString alignmentJc(const QTextBlock &block);
// A new paragraph of a body rewritten as bytes: `p` (made from the template)
// gets its alignment, style and numbering, and is written out with its runs
// written straight as text. `scope` must bind "w" and "r" to their namespaces.
QByteArray newParagraphXml(DocxDocument &doc, QDomElement &p, const QTextBlock &block,
                           const DocxNamespaceBindings &scope);
QString underlineVal(const QTextCharFormat &fmt);

// ---- styles and lists ----
// True for blocks of heading levels 1 to 6 (h1 to h6).
bool isHeadingBlock(const QTextBlock &block);
void applyParagraphStyle(DocxDocument &doc, QDomElement &p, const QTextBlock &block);
void setParagraphStyle(QDomDocument &dom, QDomElement &p, const QString &styleId);
void stripRunSizes(QDomElement &p);
void applyListNumbering(DocxDocument &doc, QDomElement &p, const QTextBlock &block);

// ---- tables ----
// A complete w:tbl made in `dom` (not yet attached).
QDomElement writeTable(DocxDocument &doc, QDomDocument &dom, QTextTable *table);
