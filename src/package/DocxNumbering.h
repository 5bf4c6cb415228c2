#pragma once
// DocxNumbering: the numbering part's definitions as of the last read (abstract
// lists, their instances and the instances' overrides), and the library's own
// numbering part and definitions added to it.
#include <QByteArray>
#include <QDomElement>
#include <QMap>
#include <QString>

class DocxPackage;
class DocxStyles;

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

class DocxNumbering
{
public:
    DocxNumbering(DocxPackage &package, const DocxStyles &styles) : package_(package), styles_(styles) {}

    // Makes the next question read the numbering part again; it is read when
    // first asked about (numbering styles resolve through the style sheet).
    void read() { loaded_ = false; }

    // Abstract list -> level -> its definition.
    const QMap<int, QMap<int, NumLevel>> &abstractNums() const { return loaded().abstractNums_; }
    // Instance (w:num) -> its abstract list.
    const QMap<int, int> &numToAbstract() const { return loaded().numToAbstract_; }
    // Instance -> level -> the start value a w:lvlOverride gives.
    const QMap<int, QMap<int, int>> &startOverrides() const { return loaded().startOverrides_; }

    const NumLevel *numLevel(int numId, int ilvl) const;
    int levelStart(int numId, int ilvl) const;
    // The library's numbering part (a bullet and a decimal list), added when
    // the package has none.
    void ensurePart();
    // The ids past the largest the numbering part uses.
    DocxNumberingIds freeIds() const;
    // Adds w:abstractNum elements (after the part's own) and w:num elements
    // (at its end), both given as XML with the prefix w, to the numbering part.
    bool addDefinitions(const QByteArray &abstractNums, const QByteArray &nums);

private:
    // This object with the numbering part read.
    const DocxNumbering &loaded() const;
    void readPart();
    // Reads one w:lvlOverride of instance `numId`: a start value, a level, or both.
    void readLevelOverride(int numId, const QDomElement &override);

    DocxPackage &package_;
    const DocxStyles &styles_;
    bool loaded_ = false;
    QMap<int, QMap<int, NumLevel>> abstractNums_;
    QMap<int, int> numToAbstract_;
    QMap<int, QMap<int, int>> startOverrides_;
    QMap<int, QMap<int, NumLevel>> levelOverrides_;  // w:num -> level -> the w:lvl of a w:lvlOverride
};
