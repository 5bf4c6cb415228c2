#pragma once
// Steps of the Writer shared between its source files. Every element is made
// in the document that owns the element it goes into, so the same steps serve
// the whole body tree and small trees of single body elements.
#include "DocxDocument.h"
#include "DocxSchemaOrder.h"

#include <QDomElement>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class QTextBlock;
class QTextCharFormat;
class QTextDocument;
class QTextImageFormat;
class QTextList;
class QTextTable;


// ---- run properties (DocxWriterRunProps.cpp) ----
// The character style of links, added to the style sheet when a link is written.
inline constexpr char kHyperlinkStyle[] = "Hyperlink";

// The run properties the Writer knows, one flag each, in the order w:rPr
// wants their elements.
enum DocxRunProperty : unsigned {
    RunStyle = 1u << 0,      // w:rStyle
    RunFonts = 1u << 1,      // w:rFonts
    RunBold = 1u << 2,       // w:b, w:bCs
    RunItalic = 1u << 3,     // w:i, w:iCs
    RunCaps = 1u << 4,       // w:caps
    RunSmallCaps = 1u << 5,  // w:smallCaps
    RunStrike = 1u << 6,     // w:strike
    RunColor = 1u << 7,      // w:color
    RunSize = 1u << 8,       // w:sz, w:szCs
    RunHighlight = 1u << 9,  // w:highlight
    RunUnderline = 1u << 10, // w:u
    RunShading = 1u << 11,   // w:shd
    RunVertAlign = 1u << 12, // w:vertAlign
    RunRtl = 1u << 13,       // w:rtl
};
using DocxRunPropertySet = unsigned;
inline constexpr DocxRunPropertySet kAllRunProperties = ~0u;

// What a run's w:rPr says, worked out once from a character format.
struct DocxRunProps
{
    QString style;         // character style id
    QString font;          // w:ascii and w:hAnsi
    QString eastAsiaFont;  // w:eastAsia
    QString complexFont;   // w:cs
    bool bold = false;
    bool italic = false;
    bool caps = false;
    bool smallCaps = false;
    bool strike = false;
    QString color;      // RRGGBB
    int halfPoints = 0;  // 0: no size
    bool relativeSize = false;  // the size comes from a keyword (x-large, <font size>, a heading's own)
    QString highlight;  // a w:highlight colour name
    QString underline;  // a w:u value
    QString shading;    // RRGGBB
    QString vertAlign;  // superscript or subscript
    bool rtl = false;

    // The properties that say something.
    DocxRunPropertySet present() const;
};

// The record of a character format: fonts, weight 600 and up as bold, italic,
// capitals, strike, underline, colours (a background of one of the sixteen
// highlight colours as w:highlight, any other as w:shd), vertical alignment,
// the size in half points (points, pixels or a size keyword; 0 when unset).
DocxRunProps runPropsOf(const QTextCharFormat &fmt);
// Makes the run one of a link: the Hyperlink character style, less the colour
// and underline that every link of the rich text carries.
void asHyperlinkRun(DocxRunProps &props);
// Appends <w:rPr> with the chosen properties that say something, in order;
// nothing when none does.
void appendRunPropsXml(QByteArray &out, const DocxRunProps &props, DocxRunPropertySet which = kAllRunProperties);
// The properties whose values differ between two records.
DocxRunPropertySet runPropsDiffer(const DocxRunProps &a, const DocxRunProps &b);
// Writes the chosen properties into the w:rPr of an existing run (made when
// it has none): each replaces what the run said of it, a property that is
// off is said to be off, and every other child of w:rPr stays.
void setRunProperties(QDomElement run, const DocxRunProps &props, DocxRunPropertySet which);
QString underlineVal(const QTextCharFormat &fmt);

// ---- lists (DocxWriterStyles.cpp) ----
// The numbering definitions of one build: every rich-text list gets a
// numbering instance of its own that starts at the list's first number, over
// one abstract definition per label format; written into the numbering part
// at the end of the build.
class DocxListNumbering
{
public:
    explicit DocxListNumbering(DocxDocument &doc) : doc_(doc) {}
    // Before the lists of another rich-text document.
    void newSource() { numIds_.clear(); }
    // The w:numId of `list`.
    int numIdOf(const QTextList *list);
    // Writes the definitions handed out into the numbering part.
    void store();

private:
    DocxDocument &doc_;
    bool started_ = false;
    int nextAbstractId_ = 0;
    int nextNumId_ = 1;
    QHash<const QTextList *, int> numIds_;  // of the lists of the current source
    QHash<QString, int> abstractIds_;  // by label format
    QByteArray abstracts_;
    QByteArray nums_;
};

// ---- paragraph properties of new paragraphs ----
// The children of a new paragraph's w:pPr as text: those of its template,
// less the ones the rich text decides, and those the rich text gives.
class DocxParagraphProperties
{
public:
    // A child of the template's w:pPr (`name` its local name).
    void keep(const QString &name, const QByteArray &xml);
    // Sets the child `name` (one the Writer knows: a string literal), or
    // removes it when `xml` is empty.
    void set(const char *name, const QByteArray &xml);
    // <w:pPr> with the children in the order it wants them; empty when none.
    QByteArray xml() const;

private:
    struct Child
    {
        int rank;
        QByteArray xml;
    };
    QList<Child> children_;
};

// The paragraph new paragraphs are made from: its tags (less the ids that
// must stay unique per paragraph) and its properties (less a section break).
struct DocxParagraphTemplate
{
    QByteArray startTag = "<w:p>";
    QByteArray endTag = "</w:p>";
    DocxParagraphProperties properties;
};

// ---- the state of one full build ----
struct DocxBuildContext
{
    DocxBuildContext(DocxDocument &d, int firstBookmarkId) : doc(d), lists(d), nextBookmarkId(firstBookmarkId) {}

    DocxDocument &doc;
    QDomDocument scratch{QStringLiteral("scratch")};  // for runs made as trees first
    DocxListNumbering lists;
    int nextBookmarkId;
    bool hyperlinkStyle = false;  // the style sheet has the Hyperlink style
    int previousSpaceAfter = 0;   // twips below the paragraph before, for collapsing margins
    int tableDepth = 0;           // tables around what is written now
    bool fromHtml = false;        // the source is a page: paragraphs that show nothing are left out
    QString part;                 // the part written for, which relates pictures and links; empty: the main part
    bool templateStyleIsBase = false;  // paragraphs other than headings keep the template paragraph's style
};

// True for a block that shows nothing: no text, no list label, no rule, no
// page break, no shading. A page's empty paragraphs take no room in a
// browser, and the rich text makes some of its own around tables.
bool showsNothing(const QTextBlock &block);

// ---- images ----
// The picture of `ifmt`: its image part related from `part` (the main part
// when empty), and an SVG source part, `svgRelId`, when the picture is a
// vector image; empty when there is none.
QString imageRelId(DocxDocument &doc, const QString &part, const QTextDocument *document, const QTextImageFormat &ifmt,
                   int *wpx, int *hpx, QString *svgRelId = nullptr);
// A picture from its bytes: stored as they are when a package carries the
// format, as PNG when another format decodes, as PNG and SVG (`svgRelId`)
// when it is a vector picture; related from `part` (the main part when
// empty). Empty when the bytes hold no picture.
QString pictureRel(DocxDocument &doc, const QString &part, const QByteArray &bytes, int *wpx, int *hpx,
                   QString *svgRelId = nullptr);
QDomElement makeDrawingRun(QDomDocument &dom, const QString &rId, qint64 cx, qint64 cy, int id,
                           const QString &description = {}, const QString &svgRelId = {});

// ---- paragraphs and runs ----
// Where a child of w:pPr of that local name stands in paragraphPropertyOrder().
int propertyRank(QStringView name);
// True when `scope` binds "w" and "r" to their namespaces, as runs written as
// text assume.
bool bindsRunPrefixes(const DocxNamespaceBindings &scope);
// Removes the runs, hyperlinks and tracked changes of a paragraph.
void removeRunContent(QDomElement &p);
// A new empty paragraph like `p`: its attributes less the ids that must stay
// unique, its properties less a section break and the tracked changes of `p`
// itself (its mark's insertion or deletion, its property changes).
QDomElement paragraphLike(const QDomElement &p);
QString alignmentJc(const QTextBlock &block);
// A new paragraph as text, made from `templ` (a bare w:p in table cells): its
// alignment, layout, style and numbering, and its runs (bookmarks, links,
// pictures). The writer's prefixes must be bound where it goes.
QByteArray newParagraphXml(DocxBuildContext &ctx, const DocxParagraphTemplate &templ, const QTextBlock &block);

// ---- paragraph layout (DocxWriterLayout.cpp) ----
// Spacing, indentation, line height, page breaks, shading, borders and
// direction of a new paragraph from its block format.
void setParagraphLayout(DocxBuildContext &ctx, DocxParagraphProperties &props, const QTextBlock &block);
// True when a page break follows the block.
bool breaksPageAfter(const QTextBlock &block);

// ---- styles and lists ----
// True for blocks of heading levels 1 to 6 (h1 to h6).
bool isHeadingBlock(const QTextBlock &block);
// The half points the heading style of the block's level gives its text.
int headingHalfPoints(DocxDocument &doc, const QTextBlock &block);
// w:pStyle: HeadingN for headings (added to the style sheet), else Normal, or
// nothing (the template paragraph's stays) when the build keeps its style.
void setParagraphStyle(DocxBuildContext &ctx, DocxParagraphProperties &props, const QTextBlock &block);
// w:numPr of a list item; none for other paragraphs.
void setListNumbering(DocxBuildContext &ctx, DocxParagraphProperties &props, const QTextBlock &block);

// ---- tables ----
// Writes a table as text, one piece after another: a table that a large page
// holds across pieces comes in several parts, the first opening it and the
// last closing it. The table is written as it comes, its grid from its first
// part (the page is cut only in tables whose parts have the same columns).
class DocxTableWriter
{
public:
    explicit DocxTableWriter(DocxBuildContext &ctx) : ctx_(ctx) {}
    // The XML of `table`'s rows, after the table's start when `opens` and
    // before its end when `closes`.
    QByteArray write(QTextTable *table, bool opens, bool closes);
    // The end of a table whose last part never came; empty when none is open.
    QByteArray finish();

private:
    DocxBuildContext &ctx_;
    bool open_ = false;
    QList<int> grid_;  // column widths, twips
    int headerRows_ = 0;
};
