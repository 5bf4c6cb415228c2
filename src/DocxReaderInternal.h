#pragma once
// Steps of the Reader shared between its source files.
#include "DocxReader.h"

#include <QDomElement>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QTextOption>
#include <QTextCursor>

class QTextBlockFormat;
class QTextCharFormat;

// ---- units and limits ----
// Twentieths of a point to pixels at 96 per inch.
inline constexpr double kPxPerTwip = 1.0 / 15.0;
// The largest point size text is given (a word processor offers no larger).
inline constexpr double kMaxPointSize = 1638.0;
double boundedPointSize(double pointSize);

// ---- XML accessors and page geometry ----
QDomElement firstChildByLocalName(const QDomElement &parent, const QString &localName);
QString wAttr(const QDomElement &el, const QString &localName);
void twipsAttrToPx(const QDomElement &el, const char *localName, double *out);
QSizeF readPageSizePx(const DocxDocument &doc);
// Relationship id -> part path of every relationship of the main document part
// whose type `accept` takes; empty when the relationships part is missing or broken.
QHash<QString, QString> documentRelParts(const DocxDocument &doc, bool (*accept)(const QString &type));
// The font family of a w:rFonts: w:ascii, else w:hAnsi.
QString runFontFamily(const QDomElement &rFonts);

// ---- lists ----
// The label of an item at level `ilvl` of list `numId`; `numbers` holds the
// current number of each level of that list (ilvl's included).
QString formatListLabel(const DocxDocument &doc, int numId, int ilvl, const QMap<int, int> &numbers);
QString toLetters(int n, bool upper);
QString toRoman(int n, bool upper);
QString bulletGlyph(const QString &lvlText, const QString &font);
// Numbers the item at `ilvl` of list `numId` in `listCounters`, indents and marks
// `bf` like the level and sets the level's font on `labelFmt`; returns the label.
// Nothing is changed and the label is empty when the list has no such level.
QString applyListLevel(const DocxDocument &doc, int numId, int ilvl, DocxListCounters &listCounters,
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
                 const DocxImageRels &imageRels, const std::shared_ptr<DocxParagraphSource> &source,
                 const QList<QTextOption::Tab> &tabStops);

// ---- run formatting ----
// The format the text of a paragraph of style `styleId` starts from (the
// document defaults and the style, or the default paragraph style).
QTextCharFormat paragraphCharFormat(const DocxDocument &doc, const QString &styleId);
// The format of a run: `base` changed by the run's character style and its own w:rPr.
QTextCharFormat runCharFormat(const QDomElement &run, const QTextCharFormat &base, const DocxDocument &doc);

// ---- paragraphs and tables ----
struct OptionalTwips
{
    int value = 0;
    bool given = false;
};

// What a paragraph's own w:pPr says.
struct DirectProperties
{
    QString styleId;
    QString justification;
    int before = 0, after = 0, line = 0;
    OptionalTwips left, right, firstLine;
    bool pageBreakBefore = false;
    int numId = -1;
    int ilvl = 0;
    QList<QTextOption::Tab> tabStops;
    QStringList tabLeaders;  // leader name of each tab stop, same order
};

DirectProperties readDirectProperties(const QDomElement &p);
// The effective properties of a paragraph: direct properties win over the
// style's, except that a direct spacing of 0 does not cancel the style's and
// the line rule always comes from the style; a list of the style fills in a
// paragraph that names none.
StyleProps mergedProperties(const DocxDocument &doc, DirectProperties &d);

void convertParagraph(QTextCursor &cursor, const QDomElement &p, const DocxDocument &doc, bool useCurrentBlock,
                      DocxListCounters &listCounters, const DocxImageRels &imageRels, bool inTableCell,
                      QList<DocxBlockSource> *sources = nullptr);
void convertTable(QTextCursor &cursor, const QDomElement &tbl, const DocxDocument &doc,
                  const DocxImageRels &imageRels, QList<DocxBlockSource> *sources = nullptr);

// ---- the pipeline ----
// Sizes `qd` like the document's page and clears it.
void prepareDocument(QTextDocument &qd, const DocxDocument &doc);

// One walk over top-level body elements, converting those the range covers:
// paragraphs, tables (whole, when they overlap the range) and content controls
// (their paragraphs one by one; a table of contents is skipped). The index of
// body paragraphs and the list numbers run on across elements.
class DocxBodyWalk
{
public:
    DocxBodyWalk(const DocxDocument &doc, const DocxSectionRange &range, QTextDocument &qd,
                 QList<DocxBlockSource> *sources);
    // Every child of `body`, in order.
    void run(const QDomElement &body);
    // One top-level body element.
    void element(const QDomElement &c);
    // The target document was cleared: the next paragraph fills its first block.
    void restart();

private:
    bool inRange(int index) const { return index >= range_.startPara && index < range_.endPara; }
    void paragraph(const QDomElement &p);
    void table(const QDomElement &tbl);
    void contentControl(const QDomElement &sdt);
    static int paragraphCountOf(const QDomElement &container);
    // Marks the blocks from block `from` on that no paragraph was read into
    // (those the rich text keeps around tables) as standing for nothing.
    void markStructuralBlocks(int from);

    const DocxDocument &doc_;
    const DocxSectionRange &range_;
    QTextCursor cursor_;
    QList<DocxBlockSource> *sources_;
    const DocxImageRels imageRels_;
    DocxListCounters listCounters_;
    bool first_ = true;
    int index_ = 0;
};

// ---- HTML rendering of one section ----
DocxSectionRange findSectionByHeading(const DocxDocument &doc, const QString &title);
QString sectionToHtml(const DocxDocument &doc, const DocxSectionRange &range);
QString renderSectionHtml(const DocxDocument &doc, const QString &title);
QString paragraphToHtml(const QDomElement &p, const DocxDocument &doc);
