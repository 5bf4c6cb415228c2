#pragma once
// DocxStyles: the style sheet and the theme fonts as of the last read, the
// properties styles resolve to down their basedOn chains, and the built-in
// styles added to the sheet when an edit needs them.
#include <QDomElement>
#include <QHash>
#include <QList>
#include <QMap>
#include <QPair>
#include <QSet>
#include <QString>

#include <memory>

class DocxPackage;

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

// The XML of the built-in styles: the paragraph styles "Normal" and "Heading1"
// to "Heading6", the character style "Hyperlink".
QString defaultStyleXml(const QString &styleId);

class DocxStyles
{
public:
    explicit DocxStyles(DocxPackage &package);
    ~DocxStyles();
    DocxStyles(const DocxStyles &) = delete;
    DocxStyles &operator=(const DocxStyles &) = delete;

    // Makes the next question read the theme fonts and the style sheet again;
    // they are read when first asked about, so that work that asks nothing of
    // styles never parses them.
    void read() { loaded_ = false; }

    // Paragraph and character styles by id as read, with the document defaults.
    const QMap<QString, StyleProps> &styleMap() const { return loaded().styleMap_; }
    // The paragraph style marked w:default, used where a paragraph names none.
    const QString &defaultParagraphStyle() const { return loaded().defaultParagraphStyle_; }
    // The w:num a numbering style names, -1 when it names none.
    int numberingStyleNum(const QString &styleId) const;

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
    // The built-in style `styleId` in the style sheet, added when the sheet
    // lacks it (the sheet itself is created when missing).
    void ensureStyle(const QString &styleId);

private:
    // This object with the theme fonts and the style sheet read.
    const DocxStyles &loaded() const;
    void readTheme();
    void readSheet();
    // Adds the built-in style `styleId` to the style sheet unless it defines it;
    // false when the sheet does not parse.
    bool addBuiltInStyle(const QString &styleId);

    DocxPackage &package_;
    bool loaded_ = false;
    QMap<QString, StyleProps> styleMap_;
    QMap<QString, int> numberingStyles_;  // numbering style id -> the w:num it names
    QString themeMajorFont_;
    QString themeMinorFont_;
    QString defaultParagraphStyle_;
    // Run properties of styles resolved so far, by style id; emptied whenever
    // the style sheet is read again.
    mutable QHash<QString, DocxPropertyList> paragraphRunMemo_;
    mutable QHash<QString, DocxPropertyList> characterRunMemo_;
    // The style sheet whose ids are in stylesPresent_.
    QByteArray stylesRead_;
    QSet<QString> stylesPresent_;
};
