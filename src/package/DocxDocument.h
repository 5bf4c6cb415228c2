#pragma once
// DocxDocument: an opened package and the WordprocessingML parts it is made
// of. Every part lives as bytes in the package's entry map; each concern (the
// body, styles, numbering, section settings, headers and footers, core
// properties) is an object of its own reached through the document.
#include "DocxBody.h"
#include "DocxCoreProperties.h"
#include "DocxHeadersFooters.h"
#include "DocxNumbering.h"
#include "DocxPackage.h"
#include "DocxSections.h"
#include "DocxStyles.h"

#include <QString>

#include <memory>

class DocxDocument
{
public:
    // Reads the package at `path`. Never null: the document is valid or carries
    // its error text.
    static std::unique_ptr<DocxDocument> open(const QString &path);
    // A document of the parts in `entries` (as if read from an archive at
    // `path`). Never null; valid when the parts hold a readable body.
    static std::unique_ptr<DocxDocument> fromEntries(const QString &path, const DocxEntryMap &entries);
    // A copy of this document with every edit made so far, in memory and
    // without a path; parts neither copy changes stay shared.
    std::unique_ptr<DocxDocument> copy();
    // A blank document made in memory whose own path is `path`; nothing is
    // written until it is saved.
    static std::unique_ptr<DocxDocument> blank(const QString &path);
    // A blank document written to `path` at once. Never null: when writing
    // fails the document is not valid and carries the reason.
    static std::unique_ptr<DocxDocument> createBlank(const QString &path);
    ~DocxDocument();

    bool isValid() const;
    // Why the open, or the last save, failed.
    QString errorString() const;

    // Writes pending body edits into the package and packs it to the path it
    // was opened from.
    bool save();
    // The same under `path`; the document keeps its own path.
    bool saveAs(const QString &path);
    // Re-reads theme, styles and numbering and rebuilds the paragraph index.
    void buildIndex();

    DocxPackage &package();
    const DocxPackage &package() const;
    DocxBody &body();
    const DocxBody &body() const;
    DocxStyles &styles();
    const DocxStyles &styles() const;
    DocxNumbering &numbering();
    const DocxNumbering &numbering() const;
    DocxSections &sections();
    const DocxSections &sections() const;
    DocxHeadersFooters &headersFooters();
    const DocxHeadersFooters &headersFooters() const;
    DocxCoreProperties &coreProperties();
    const DocxCoreProperties &coreProperties() const;

private:
    DocxDocument();

    struct Parts;
    std::unique_ptr<Parts> parts_;
};
