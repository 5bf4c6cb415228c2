#pragma once
// DocxHeadersFooters: the header and footer parts each section shows, by
// kind, and header/footer XML built from text.
//
// A section shows the part its own reference of a kind names; a section
// without one shows the part the previous section shows (it is "linked to the
// previous"), the first section nothing. Sections are addressed as in
// DocxSections (0-based, -1 the last).
#include "DocxBody.h"
#include "DocxHeaderFooterKind.h"

#include <QByteArray>
#include <QString>

class DocxPackage;

class DocxHeadersFooters
{
public:
    DocxHeadersFooters(DocxPackage &package, DocxBody &body) : package_(package), body_(body) {}

    // The bytes of the part the section shows; empty when it shows none.
    QByteArray part(DocxHFPart part, DocxHFKind kind, int section = kLastSection) const;
    // The name of that part ("word/header1.xml"); empty when none.
    QString shownPartName(DocxHFPart part, DocxHFKind kind, int section = kLastSection) const;
    // Stores `xml` for the section. A section with its own reference of that
    // kind has that part replaced in place: every section showing it (its own
    // reference naming the same part, or linked to the previous) shows the new
    // bytes. A section without one gets a part of its own (with relationship,
    // content type and reference); the sections linked to it follow it.
    // False when `xml` is not well-formed, there is no such section, or no
    // body to hold the last one.
    bool setPart(DocxHFPart part, DocxHFKind kind, const QByteArray &xml, int section = kLastSection);
    // The relationship id of the section's own reference of that kind.
    QString findReference(DocxHFPart part, DocxHFKind kind, int section = kLastSection) const;
    // The first "header<n>.xml" or "footer<n>.xml" of the main folder not in use.
    QString nextPartName(DocxHFPart part) const;
    // A footer of that kind showing the page number in `format` (decimal,
    // lowerRoman or upperRoman), centred.
    bool setPageNumberFooter(DocxHFKind kind, const QString &format);
    // A part of one paragraph aligned `align` showing `text`, whose tokens
    // ({PAGE}, {NUMPAGES}, {TITLE}, {CHAPTER}, {AUTHOR}) become fields.
    static QByteArray buildXml(DocxHFPart part, const QString &text, const QString &align);

private:
    // The main part's relationship to `partPath`, added (with its content type) when missing.
    QString ensureRel(DocxHFPart part, const QString &partPath);
    void setReference(DocxHFPart part, DocxHFKind kind, const QString &rId, int section);

    DocxPackage &package_;
    DocxBody &body_;
};
