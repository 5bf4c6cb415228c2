#pragma once
// DocxHeadersFooters: the header and footer parts the last section names, by
// kind, and header/footer XML built from text.
#include "DocxHeaderFooterKind.h"

#include <QByteArray>
#include <QString>

class DocxPackage;
class DocxBody;

class DocxHeadersFooters
{
public:
    DocxHeadersFooters(DocxPackage &package, DocxBody &body) : package_(package), body_(body) {}

    // The part's bytes; empty when the section names none of that kind.
    QByteArray part(DocxHFPart part, DocxHFKind kind) const;
    // Stores `xml` as the part of that kind, adding the part, its relationship,
    // content type and the section's reference when missing. False when `xml`
    // is not well-formed or there is no body.
    bool setPart(DocxHFPart part, DocxHFKind kind, const QByteArray &xml);
    // The relationship id the last section's reference of that kind names.
    QString findReference(DocxHFPart part, DocxHFKind kind) const;
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
    void setReference(DocxHFPart part, DocxHFKind kind, const QString &rId);

    DocxPackage &package_;
    DocxBody &body_;
};
