#pragma once
// DocxSections: the settings of each section (margins, page size, title page,
// page-number format) and the document-wide even and odd headers switch.
// Sections are addressed by index, 0-based in document order; -1 is the last
// (kLastSection), and an edit of the last one adds a section to a body without
// one.
#include "DocxBody.h"

#include <QDomElement>
#include <QString>

class DocxPackage;

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

// The page size in twips and whether w:orient says landscape.
struct DocxPageSize
{
    int width = 0;
    int height = 0;
    bool landscape = false;
};

class DocxSections
{
public:
    DocxSections(DocxPackage &package, DocxBody &body) : package_(package), body_(body) {}

    int count() const;
    // True when `section` names a section (or is -1: the last, made on edit).
    bool exists(int section) const;

    // Values the section does not give read as the defaults of DocxMargins;
    // the header, footer, gutter, left and right ones also when negative.
    DocxMargins margins(int section = kLastSection) const;
    // Writes only what differs from what margins() reads: a value equal to
    // what reads is left as it is written (or absent), and the mirror switch
    // is left as it is when it reads as asked. False when there is no
    // such section (or no body to hold the last one).
    bool setMargins(int section, const DocxMargins &m);
    // False when the section has no w:pgSz with a width and a height.
    bool pageSize(int section, DocxPageSize &out) const;
    // Writes width, height and orientation where they differ from what reads
    // (w:orient="landscape" is removed for portrait). False as setMargins.
    bool setPageSize(int section, const DocxPageSize &size);
    bool titlePage(int section = kLastSection) const;
    bool setTitlePage(int section, bool on);
    bool evenAndOddHeaders() const;
    // The switch lives in the settings part, which is never created: false,
    // with the reason in `err`, when the package lacks it or it does not parse.
    bool setEvenAndOddHeaders(bool on, QString &err);
    bool setPageNumberFormat(int section, const QString &fmt, int start);

private:
    // The section to edit; for -1 on a body without sections a new final one.
    QDomElement editable(int section);

    DocxPackage &package_;
    DocxBody &body_;
};
