#pragma once
// Steps of the Reader shared between its source files.
#include "DocxXml.h"
#include "DocxBodyWalk.h"
#include "DocxNumberFormat.h"
#include "DocxReader.h"

#include <QDomElement>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QTextOption>
#include <QTextCursor>

#include <functional>

class QTextBlockFormat;
class QTextCharFormat;

// ---- units and limits ----
// Twentieths of a point to pixels at 96 per inch.
inline constexpr double kPxPerTwip = 1.0 / kTwipsPerPixel;
// The largest point size text is given (a word processor offers no larger).
inline constexpr double kMaxPointSize = 1638.0;
double boundedPointSize(double pointSize);

// ---- XML accessors and page geometry ----
void twipsAttrToPx(const QDomElement &el, const char *localName, double *out);
QSizeF readPageSizePx(const DocxDocument &doc);
// Page size and margins of one section (a w:sectPr); defaults where it says nothing.
QSizeF sectionPageSizePx(const QDomElement &sectPr);
DocxPageMarginsPx sectionMarginsPx(const DocxDocument &doc, const QDomElement &sectPr);
// Brings a page to what a printer could hold (1 to 22 inches a side, margins
// leaving half an inch); true when anything had to change.
bool boundPageGeometry(QSizeF &page, DocxPageMarginsPx &margins);
// True for the type of image relationships.
bool isImageRel(const QString &type);

// ---- lists ----
// The label of an item at level `ilvl` of list `numId`; `numbers` holds the
// current number of each level of that list (ilvl's included).
QString formatListLabel(const DocxDocument &doc, int numId, int ilvl, const QMap<int, int> &numbers);
QString toLetters(int n, bool upper);
QString toRoman(int n, bool upper);
QString bulletGlyph(const QString &lvlText, const QString &font);
// Numbers the item at `ilvl` of list `numId` in `running`, indents and marks
// `bf` like the level and sets the level's font on `labelFmt`; returns the label
// with what separates it from the text. Nothing is changed and the label is
// empty when the list has no such level.
QString applyListLevel(const DocxDocument &doc, int numId, int ilvl, DocxRunningNumbers &running,
                       QTextBlockFormat &bf, QTextCharFormat &labelFmt);

// ---- runs and fields ----
// True when a field's instruction gives a page number or page count.
bool isPageField(const QString &instr);
// The placeholder standing for the result of such a field.
QChar pagePlaceholderFor(const QString &instr);
// Inserts the content of `p` at the cursor, each run's format based on
// `bcf`, and records every piece it inserts in `source`. A paragraph with a
// dot-leader tab stop shows dots before its last tab.
void convertRuns(QTextCursor &cursor, const QDomElement &p, const QTextCharFormat &bcf, const DocxDocument &doc,
                 const DocxImageRels &imageRels, DocxRunningNumbers &running,
                 const std::shared_ptr<DocxParagraphSource> &source,
                 const QList<QTextOption::Tab> &tabStops);

// ---- run formatting ----
// The format the text of a paragraph of style `styleId` starts from (the
// document defaults and the style, or the default paragraph style).
QTextCharFormat paragraphCharFormat(const DocxDocument &doc, const QString &styleId);
// The format of a run: `base` changed by the run's character style and its own w:rPr.
QTextCharFormat runCharFormat(const QDomElement &run, const QTextCharFormat &base, const DocxDocument &doc);

// ---- pictures ----
// The picture of a VML w:pict or w:object (v:imagedata), sized by its shape's
// style (or the object's recorded size), at the cursor. DocxReader::insertDrawingImage
// does the same for a w:drawing. Neither shows what a text box holds: its
// paragraphs are converted with their own runs, pictures included. A picture
// that cannot be decoded (a metafile, a linked or missing part) keeps its
// place and size as a placeholder box.
void insertVmlPicture(QTextCursor &cursor, const QDomElement &pictOrObject, const DocxDocument &doc,
                      const DocxImageRels &imageRels);

// ---- paragraphs and tables ----
struct OptionalTwips
{
    int value = 0;
    bool given = false;
};
struct OptionalFlag
{
    bool value = false;
    bool given = false;
};

// What a paragraph's own w:pPr says.
struct DirectProperties
{
    QString styleId;
    QString justification;
    OptionalTwips before, after;
    int line = 0;
    QString lineRule;
    OptionalTwips left, right, firstLine;
    OptionalFlag keepNext, keepLines, contextualSpacing;
    bool pageBreakBefore = false;
    int numId = -1;  // -1: not given; 0: no list, whatever the style says
    int ilvl = 0;
    bool hasIlvl = false;
    QList<QTextOption::Tab> tabStops;
};

DirectProperties readDirectProperties(const QDomElement &p);
// The style a paragraph shows: the one it names, else the document's default
// paragraph style.
QString effectiveStyleId(const DocxDocument &doc, const QString &styleId);
// The effective properties of a paragraph: direct properties win over those
// of its style (a line spacing brings its own rule). The list and the level
// each come from the paragraph when it names them, else from its style (a
// w:numId of 0 takes the paragraph out of its style's list).
StyleProps mergedProperties(const DocxDocument &doc, DirectProperties &d);

void convertParagraph(QTextCursor &cursor, const QDomElement &p, const DocxDocument &doc, bool useCurrentBlock,
                      DocxRunningNumbers &running, const DocxImageRels &imageRels);
// Lists in the table's cells number on `running`, continuing the body's.
void convertTable(QTextCursor &cursor, const QDomElement &tbl, const DocxDocument &doc,
                  DocxRunningNumbers &running, const DocxImageRels &imageRels);

// ---- sections laid out as pages ----
// Header and footer parts of a document, each rendered once however many
// sections show it.
struct DocxRenderedParts
{
    explicit DocxRenderedParts(const DocxDocument &doc);
    QHash<QString, QString> paths;  // relationship id -> part of every header and footer
    QHash<QString, std::shared_ptr<QTextDocument>> parts;
};
// Fills the headers and footers of `section` from its w:sectPr, carrying over
// from `previous` the kinds it does not name.
void readSectionHeadersFooters(const DocxDocument &doc, const QDomElement &sectPr, DocxReader::DocxPageSection &section,
                               const DocxReader::DocxPageSection *previous, DocxRenderedParts &rendered);
