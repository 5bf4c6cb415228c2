#pragma once
// DocxDocument: the in-memory package. Every part lives as bytes in the entry
// map; the main document part ("word/document.xml" in most packages) is parsed
// into a DOM only when an operation needs the body, and written back only when
// that DOM was changed.
#include "DocxXml.h"
#include "DocxNamespaces.h"
#include "DocxZip.h"

#include <QDomDocument>
#include <QDomElement>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>

#include <memory>

class DocxRelsIndex;

// One indexed body paragraph.
struct DocxParaInfo
{
    int index = 0;
    QString styleId;
    int headingLevel = -1;  // 0-based outline level; -1: not a heading
    QString text;
};

// A run-property element (a child of w:rPr) as read: its local name and its
// WordprocessingML attributes, kept apart from any tree.
struct DocxPropertyElement
{
    QString name;
    QList<QPair<QString, QString>> attributes;  // local name, value

    QString attribute(QLatin1String localName) const;
};
using DocxPropertyList = QList<DocxPropertyElement>;

// Effective paragraph and character properties of a style.
struct StyleProps
{
    QString font;
    int sizeHalfPts = 0;
    QString color;
    QString jc;
    int spaceBefore = 0, spaceAfter = 0;
    bool hasSpaceBefore = false, hasSpaceAfter = false;  // given, 0 included
    bool contextualSpacing = false, hasContextualSpacing = false;
    int line = 0;
    QString lineRule;
    int indLeft = 0, indRight = 0;
    int indFirstLine = 0;  // a hanging indentation is stored negated
    bool pageBreakBefore = false, hasPageBreakBefore = false;
    bool keepNext = false, keepLines = false;
    int outlineLvl = -1;
    QString basedOn;
    int numId = -1;  // -1: not set; 0: no list
    int ilvl = 0;
    bool hasIlvl = false;  // the style names a level of its own
    DocxPropertyList runProperties;  // the style's own w:rPr children
};

// One level of an abstract numbering.
struct NumLevel
{
    QString numFmt = QStringLiteral("decimal");
    QString lvlText = QStringLiteral("%1.");
    double indentPx = 36.0;
    double hangingPx = 36.0;
    int start = 1;
    QString font;
    double sizePt = 0.0;
    bool isLgl = false;      // every level's number shown in decimal digits
    int restartAfter = -1;   // w:lvlRestart: restarts after an item of level 1..n; 0 never; -1 after any shallower one
    QString suffix = QStringLiteral("tab");  // what follows the label: tab, space or nothing
};

// The first ids a new numbering definition and instance may take.
struct DocxNumberingIds
{
    int abstractNumId = 0;
    int numId = 1;
};

// Section margins in twips.
struct DocxMargins
{
    int top = 1440;
    int bottom = 1440;
    int left = 1440;
    int right = 1440;
    int header = 709;
    int footer = 709;
    int gutter = 0;
    bool mirror = false;
};

enum HFType { HFDefault = 0, HFEven = 1, HFFirst = 2 };

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

class DocxDocument;
// Packs the document's entry map in the fixed DOCX part order (content types,
// package relationships, document relationships, document, styles, settings,
// then the rest) and replaces `path` with it; members read from the archive
// and not changed since are copied as they were.
bool packZip(const DocxDocument &doc, const QString &path, QString &err);

// The part a relationship target of `sourcePart` names: relative to the source
// part's folder (the package root for package relationships, whose source is
// empty), or package-absolute with a leading "/"; "." and ".." segments
// resolved. Empty when it names nothing inside the package: it climbs out of
// it, holds a backslash or is a URL.
QString resolvePartTarget(const QString &sourcePart, const QString &target);
// The target naming `partName` from `sourcePart`: relative when the part lies
// in the source part's folder or below, else package-absolute.
QString relativeTarget(const QString &sourcePart, const QString &partName);

// A range of the paragraph index: startPara inclusive, endPara exclusive.
struct DocxSectionRange
{
    QString label;
    int startPara = 0;
    int endPara = 0;
};

// The outline level a paragraph style id alone implies: "Heading1" to
// "Heading4" (any case) or "1" to "4" give 0 to 3, any other "heading..." 0,
// anything else -1.
int headingLevelFromStyleId(const QString &styleId);
// The last top-level w:sectPr of a DOM (a w:sectPr kept inside another, as a
// tracked change of section properties, is not a section); null when none.
QDomElement lastSectPr(const QDomDocument &dom);
// The w:type text of a header/footer kind.
QString hfTypeName(HFType type);
// The MIME type of a lower-case image extension.
QString mimeForExtension(const QString &ext);
// The XML of the built-in styles: the paragraph styles "Normal" and "Heading1"
// to "Heading6", the character style "Hyperlink".
QString defaultStyleXml(const QString &styleId);
// The core properties: "title", "author", "subject", "description",
// "keywords", "category" (keys compared exactly), each with the namespace URI
// and element name that hold it.
struct CorePropertyName
{
    const char *key;
    const char *namespaceUri;
    const char *localName;
};
inline constexpr int kCorePropertyCount = 6;
// The place of `key` among the core properties, -1 when it names none.
int corePropertyIndex(const QString &key);

class DocxDocument
{
public:
    DocxDocument();
    ~DocxDocument();
    DocxDocument(const DocxDocument &) = delete;
    DocxDocument &operator=(const DocxDocument &) = delete;

    bool valid = false;
    QString path;
    QString error;  // why the open, or the last save, failed
    DocxEntryMap entries;
    DocxZipSource source;  // the archive as read: unchanged parts are copied from it
    // The main document part, as the package relationship of type
    // officeDocument names it.
    QString mainPart = QString::fromLatin1(kPartDocument);

    // Style table, numbering tables and theme fonts, as of the last index build.
    QMap<QString, StyleProps> styleMap;
    QMap<int, QMap<int, NumLevel>> abstractNums;
    QMap<int, int> numToAbstract;
    QMap<int, QMap<int, int>> startOverrides;
    QMap<int, QMap<int, NumLevel>> levelOverrides;  // w:num -> level -> the w:lvl of a w:lvlOverride
    QMap<QString, int> numberingStyles;             // numbering style id -> the w:num it names
    QString themeMajorFont;
    QString themeMinorFont;
    QString defaultParagraphStyle;  // the paragraph style marked w:default, used where a paragraph names none

    bool isValid() const { return valid; }
    QString errorString() const { return error; }

    // The main part's relationships part ("word/_rels/document.xml.rels") and
    // its folder with a trailing slash ("word/").
    QString mainRelsPart() const;
    QString mainFolder() const;
    // Takes the main part the package relationships name, or else
    // "word/document.xml"; false with `error` set when the package has neither.
    bool locateMainPart();

    // ---- body and paragraph index --------------------------------------
    // Takes the main part as the body: checks that it is well-formed and
    // finds its last section without building a tree. False with `error` set.
    bool loadBody();
    // The body DOM, built on first use. The non-const form is for editing: the
    // part is written back from the DOM at the next save.
    QDomDocument &dom();
    const QDomDocument &dom() const;
    // The last section's w:sectPr (null when the body has none). Before the DOM
    // is built this is a small tree of that element alone, spliced back into the
    // part's bytes at the next save. The non-const form is for editing.
    QDomElement lastSection();
    QDomElement lastSection() const;
    // The last section for an edit: when the body has none, an empty w:sectPr
    // is added at the body's end. Null when there is no body.
    QDomElement ensureLastSection();
    // True when the main part is in strict markup (ISO/IEC 29500 Strict). It
    // reads like a transitional one; what the library writes is transitional,
    // so the edits that would write into its parts refuse it.
    bool isStrict() const;
    // Writes pending body edits into `entries`.
    void storeBody();
    // Locates the body's top-level elements in the part's bytes, for operations
    // that change one element at a time without the whole tree. False when the
    // tree is already built (it holds the current body) or the bytes cannot be
    // mapped; pending section edits are written into the bytes first.
    bool bodyLayout(DocxBodyLayout &layout);
    // False, with the reason, when the body is too large to be held as a tree
    // (more than kMaxTreeBytes): the DOM and the paragraph index of such a body
    // stay empty, while the operations that work on its bytes still work.
    bool bodyTreeFits(QString &err) const;
    // Replaces the part's bytes after such an operation. The bytes must be
    // well-formed; the paragraph index is rebuilt on its next use.
    void setBodyBytes(const QByteArray &bytes);

    int paragraphCount() const;
    const DocxParaInfo &paragraphInfoAt(int i) const;
    const QList<QDomElement> &paragraphs() const;
    const QList<DocxParaInfo> &paragraphInfo() const;
    // Re-reads theme, styles and numbering and rebuilds the paragraph index.
    void buildIndex();
    static void collectParagraphs(const QDomElement &container, QList<QDomElement> &out);
    // The outline level a paragraph shows (its own w:outlineLvl, its style's,
    // or what its style id implies), 0-based; -1 when it is no heading.
    int headingLevel(const QDomElement &p) const;

    // ---- relationships, content types, media ---------------------------
    QString addImagePart(const QByteArray &data, const QString &ext);
    QString addHyperlinkRel(const QString &url);
    QString relPartPath(const QString &rId) const;
    // The parts inside the package that the relationships of `sourcePart` of
    // the types `accept` takes name, by relationship id (the first of an id
    // counts); empty when its relationships part is missing or broken.
    QHash<QString, QString> relatedParts(const QString &sourcePart, bool (*accept)(const QString &type)) const;
    QString relTarget(const QString &rId) const;
    void ensureContentType(bool isHeader, const QString &partPath);
    void ensureImageDefault(const QString &ext);
    QString nextMediaName(const QString &extension) const;
    void ensureOverride(const QString &partName, const QString &contentType);
    void ensureRelOfType(const QString &relsPath, const QString &type, const QString &target);

    // ---- styles and theme -----------------------------------------------
    void parseTheme();
    void parseStyles();
    QString themeFont(const QString &name) const;
    StyleProps parseStyleElement(const QDomElement &el) const;
    StyleProps resolveStyle(const QString &styleId) const;
    // The run properties text of a paragraph gets from the document defaults
    // and its paragraph style (the default paragraph style when `styleId` is
    // empty), down the basedOn chain: a later element of a name replaces an
    // earlier one, and toggle properties (bold, italic, caps and the like)
    // are given as on or off after toggling along the chain.
    DocxPropertyList paragraphRunProperties(const QString &styleId) const;
    // The run properties of a character style down its chain alone. A toggle
    // property is present (on) only when the chain turns it on an odd number
    // of times: it then toggles what the paragraph gives.
    DocxPropertyList characterRunProperties(const QString &styleId) const;
    // True for the run properties that toggle along a style chain.
    static bool isToggleProperty(const QString &name);
    void ensureParagraphStyle(const QString &styleId);
    // The character style `styleId` (the built-in "Hyperlink") in the style
    // sheet, added when the sheet lacks it.
    void ensureCharacterStyle(const QString &styleId);

    // ---- numbering --------------------------------------------------------
    void parseNumbering();
    // Reads one w:lvlOverride of instance `numId`: a start value, a level, or both.
    void readLevelOverride(int numId, const QDomElement &override);
    const NumLevel *numLevel(int numId, int ilvl) const;
    int levelStart(int numId, int ilvl) const;
    void ensureNumberingPart();
    // The ids past the largest the numbering part uses.
    DocxNumberingIds freeNumberingIds() const;
    // Adds w:abstractNum elements (after the part's own) and w:num elements
    // (at its end), both given as XML with the prefix w, to the numbering part.
    bool addNumberingDefinitions(const QByteArray &abstractNums, const QByteArray &nums);

    // ---- section settings -----------------------------------------------
    DocxMargins margins() const;
    bool setMargins(const DocxMargins &m);
    bool titlePage() const;
    bool setTitlePage(bool on);
    bool evenAndOddHeaders() const;
    bool setEvenAndOddHeaders(bool on);
    bool setPageNumberFormat(const QString &fmt, int start);

    // ---- header and footer parts -----------------------------------------
    QByteArray headerPart(HFType type) const;
    QByteArray footerPart(HFType type) const;
    bool setHeaderPart(HFType type, const QByteArray &xml);
    bool setFooterPart(HFType type, const QByteArray &xml);
    QString findHFReference(bool isHeader, HFType type) const;
    QString nextHFPartName(bool isHeader) const;
    QString ensureHFRel(bool isHeader, HFType type, const QString &partPath);
    void setHFReference(bool isHeader, HFType type, const QString &rId);
    bool setPageNumberFooter(HFType type, const QString &format);
    static QByteArray buildHFXml(bool isHeader, const QString &text, const QString &align);

    // ---- core properties ----------------------------------------------------
    // The property's value, trimmed; empty when absent. Also empty when `key`
    // names no core property or the part cannot be parsed, and then `err`
    // (when given) says why.
    QString docProperty(const QString &key, QString *err = nullptr) const;
    // False when `key` names no core property or the part cannot be parsed
    // (`err` then says why).
    bool setDocProperty(const QString &key, const QString &value, QString &err);

private:
    struct Body;
    std::unique_ptr<Body> body_;
    struct PartIndexes;
    std::unique_ptr<PartIndexes> parts_;

    // The relationships of `relsPath`, read once per version of the part;
    // null (with `err`) when it is missing or does not parse.
    const DocxRelsIndex *relsIndex(const QString &relsPath, QString &err) const;
    // Adds a relationship to `relsPath` (created empty when missing) and
    // returns its id; empty (with `err`) when the part does not parse.
    QString addRelationship(const QString &relsPath, const QString &type, const QString &target,
                            const QString &targetMode, QString &err);
    // Adds the built-in style `styleId` to the style sheet unless it defines it;
    // false when the sheet does not parse.
    bool addParagraphStyle(const QString &styleId);
    // ensureParagraphStyle and ensureCharacterStyle: the built-in style `styleId`.
    void ensureStyle(const QString &styleId);

    // Run properties of styles resolved so far, by style id; emptied whenever
    // the style sheet is read again.
    mutable QHash<QString, DocxPropertyList> paragraphRunMemo_;
    mutable QHash<QString, DocxPropertyList> characterRunMemo_;

    void ensureIndexed() const;
    void indexParagraphs() const;
    QByteArray hfPart(bool isHeader, HFType type) const;
    bool setHFPart(bool isHeader, HFType type, const QByteArray &xml);
};
