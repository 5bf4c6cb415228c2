#pragma once
// DocxSections: the settings of the document's last section (margins, title
// page, page-number format) and the document-wide even and odd headers switch.
#include <QString>

class DocxPackage;
class DocxBody;

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

class DocxSections
{
public:
    DocxSections(DocxPackage &package, DocxBody &body) : package_(package), body_(body) {}

    DocxMargins margins() const;
    // False when there is no body to hold a section.
    bool setMargins(const DocxMargins &m);
    bool titlePage() const;
    bool setTitlePage(bool on);
    bool evenAndOddHeaders() const;
    // The switch lives in the settings part, which is never created: false,
    // with the reason in `err`, when the package lacks it or it does not parse.
    bool setEvenAndOddHeaders(bool on, QString &err);
    bool setPageNumberFormat(const QString &fmt, int start);

private:
    DocxPackage &package_;
    DocxBody &body_;
};
