#pragma once
// DocxBody: the main document part. Its bytes in the package are the truth
// until an operation needs the tree; the DOM is built on first use and written
// back only when it was changed, and the last section can be edited on a small
// tree of its own. It also keeps the index of the body's paragraphs.
#include "DocxXml.h"

#include <QDomDocument>
#include <QDomElement>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

class DocxPackage;
class DocxStyles;

// One indexed body paragraph.
struct DocxParaInfo
{
    int index = 0;
    QString styleId;
    int headingLevel = -1;  // 0-based outline level; -1: not a heading
    QString text;
};

// A range of the paragraph index: startPara inclusive, endPara exclusive.
struct DocxSectionRange
{
    QString label;
    int startPara = 0;
    int endPara = 0;
};

// The body's top-level elements located in the bytes of the main part, so
// that one element at a time can be parsed, changed and spliced back. A body
// may hold millions of them: a record is kept small.
enum class DocxBodyElement : quint8 { Paragraph, Table, ContentControl, Other };  // w:p, w:tbl, w:sdt, the rest
struct DocxBodyChild
{
    qsizetype start = 0;
    qsizetype end = 0;
    DocxBodyElement kind = DocxBodyElement::Other;
};
struct DocxBodyLayout
{
    qsizetype rootTagEnd = 0;     // just after the root element's start tag
    qsizetype contentStart = 0;   // just after <w:body ...>
    qsizetype contentEnd = 0;     // at </w:body>
    QList<DocxBodyChild> children;
    DocxNamespaceBindings rootScope;  // bindings the root declares
    DocxNamespaceBindings bodyScope;  // bindings in force inside w:body
};

// The outline level a paragraph style id alone implies: "Heading1" to
// "Heading4" (any case) or "1" to "4" give 0 to 3, any other "heading..." 0,
// anything else -1.
int headingLevelFromStyleId(const QString &styleId);
// The index that addresses the last section.
constexpr int kLastSection = -1;

// The sections of a body DOM in document order: the w:sectPr of paragraphs
// (in their w:pPr) and the body's own final one.
QList<QDomElement> sectionsOf(const QDomDocument &dom);
// The last top-level w:sectPr of a DOM (a w:sectPr kept inside another, as a
// tracked change of section properties, is not a section); null when none.
QDomElement lastSectPr(const QDomDocument &dom);

class DocxBody
{
public:
    DocxBody(DocxPackage &package, const DocxStyles &styles);
    ~DocxBody();
    DocxBody(const DocxBody &) = delete;
    DocxBody &operator=(const DocxBody &) = delete;

    // Takes the main part as the body: checks that it is well-formed and
    // finds its last section without building a tree. False with `err`.
    bool load(QString &err);
    // The body DOM, built on first use. The non-const form is for editing: the
    // part is written back from the DOM at the next store().
    QDomDocument &dom();
    const QDomDocument &dom() const;
    // The last section's w:sectPr (null when the body has none). Before the DOM
    // is built this is a small tree of that element alone, spliced back into the
    // part's bytes at the next store(). The non-const form is for editing.
    QDomElement lastSection();
    QDomElement lastSection() const;
    // The number of sections: the w:sectPr of paragraphs (in their w:pPr) and
    // the body's final one.
    int sectionCount() const;
    // The section at `index` (0-based; -1 the last), null when out of range.
    // Like lastSection(), a small tree of that element alone before the DOM is
    // built; the non-const form is for editing and splices it back at store().
    QDomElement section(int index);
    QDomElement section(int index) const;
    // The last section for an edit: when the body has none, an empty w:sectPr
    // is added at the body's end (spliced into the bytes when the tree is not
    // built, the rest of the part left as it was). Null when there is no body.
    QDomElement ensureLastSection();
    // True when the main part is in strict markup (ISO/IEC 29500 Strict). It
    // reads like a transitional one; what the library writes is transitional,
    // so the edits that would write into its parts refuse it.
    bool isStrict() const;
    // Writes pending body edits into the package.
    void store();
    // Locates the body's top-level elements in the part's bytes, for operations
    // that change one element at a time without the whole tree. False when the
    // tree is already built (it holds the current body) or the bytes cannot be
    // mapped; pending section edits are written into the bytes first.
    bool layout(DocxBodyLayout &layout);
    // False, with the reason, when the body is too large to be held as a tree
    // (more than kMaxTreeBytes): the DOM and the paragraph index of such a body
    // stay empty, while the operations that work on its bytes still work.
    bool treeFits(QString &err) const;
    // Calls `visit` with each top-level element of the body, in order. While
    // the bytes hold the current body and its elements are located in them, a
    // batch of elements is parsed at a time, so the whole tree never exists;
    // otherwise the tree is walked. False when the part has no w:body.
    bool forEachElement(const std::function<void(const QDomElement &)> &visit) const;
    // Replaces the part's bytes after such an operation. The bytes must be
    // well-formed; the paragraph index is rebuilt on its next use.
    void setBytes(const QByteArray &bytes);

    // The paragraph index: read from the bytes a batch of elements at a time
    // while the tree is not built, from the tree once it is.
    int paragraphCount() const;
    const DocxParaInfo &paragraphInfoAt(int i) const;
    // The body's paragraphs in the tree (which this builds).
    const QList<QDomElement> &paragraphs() const;
    const QList<DocxParaInfo> &paragraphInfo() const;
    // Drops the paragraph index; it is rebuilt on its next use.
    void resetIndex() const;
    // The paragraphs inside `container` (a body, a cell, a table, a content control).
    static void collectParagraphs(const QDomElement &container, QList<QDomElement> &out);
    // The paragraphs of one top-level body element: the element itself when it
    // is a paragraph, else those it holds.
    static QList<QDomElement> paragraphsOf(const QDomElement &element);
    // The outline level a paragraph shows (its own w:outlineLvl, its style's,
    // or what its style id implies), 0-based; -1 when it is no heading.
    int headingLevel(const QDomElement &p) const;

private:
    void ensureIndexed() const;
    // Splices an empty final w:sectPr into the part's bytes; false when the
    // bytes cannot take it so (the tree is built, or the body is not placed).
    bool spliceFinalSection();
    QByteArray bytes() const;

    DocxPackage &package_;
    const DocxStyles &styles_;
    struct State;
    std::unique_ptr<State> state_;
};
