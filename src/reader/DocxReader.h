#pragma once
// DocxReader: turns document bodies into rich text.
#include "DocxDocument.h"
#include "DocxRichText.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QSizeF>
#include <QString>

#include <memory>

class QTextCursor;
class QTextDocument;

// The numbers given so far to list items and note references. Every instance
// (w:numId) of one abstract list numbers on the same counters; an instance that
// restarts levels does so at its first item. Notes are numbered in the order
// of their references.
struct DocxRunningNumbers
{
    QMap<int, QMap<int, int>> numbers;  // abstract list -> (level -> the number last given)
    QSet<int> started;                  // instances that have numbered an item
    int footnotes = 0;                  // footnote references shown so far
    int endnotes = 0;                   // and endnote references
};
// Relationship id -> part path of every image relationship of the body.
using DocxImageRels = QHash<QString, QString>;

// Page margins in pixels (96 per inch), as the Reader lays pages out; one
// inch where a section gives none. DocxMargins (DocxSections.h) is the same in twips.
struct DocxPageMarginsPx
{
    double left = 96.0;
    double top = 96.0;
    double right = 96.0;
    double bottom = 96.0;
    double gutter = 0.0;
    double header = 48.0;
    double footer = 48.0;
    bool mirror = false;
};

class DocxReader
{
public:
    // The rendered headers and footers of the last section; the caller owns
    // the documents.
    struct DocxHFSet
    {
        QTextDocument *defaultHdr = nullptr;
        QTextDocument *evenHdr = nullptr;
        QTextDocument *firstHdr = nullptr;
        QTextDocument *defaultFtr = nullptr;
        QTextDocument *evenFtr = nullptr;
        QTextDocument *firstFtr = nullptr;
        double hdrDist = 48.0;
        double ftrDist = 48.0;
        bool titlePage = false;
        bool evenAndOdd = false;
    };

    // One section of the body as pages show it: its text laid out without
    // pages at the width of one column, its page, and the headers and footers
    // in force (a kind the section does not name is carried over from the
    // section before). Documents are shared between sections that show the same part.
    struct DocxPageSection
    {
        std::shared_ptr<QTextDocument> body;
        QSizeF pageSize;
        DocxPageMarginsPx margins;
        QString start = QStringLiteral("nextPage");  // nextPage, oddPage, evenPage, continuous, nextColumn
        int columns = 1;
        double columnGap = 48.0;    // pixels between columns
        int firstPageNumber = -1;   // -1: numbering continues from the section before
        QString pageNumberFormat = QStringLiteral("decimal");  // how its page numbers are written (w:numFmt values)
        bool titlePage = false;
        bool bounded = false;       // the page had to be brought within printable sizes
        std::shared_ptr<QTextDocument> headers[kHFKindCount];  // by DocxHFKind
        std::shared_ptr<QTextDocument> footers[kHFKindCount];
    };
    struct DocxPageLayout
    {
        QList<DocxPageSection> sections;
        bool evenAndOdd = false;
    };

    // Fills `qd` with the body paragraphs and tables of `range`; the blocks of
    // each paragraph carry where they were read from (see blockOrigin()).
    static bool populate(const DocxDocument &doc, const DocxSectionRange &range, QTextDocument *qd);
    static DocxPageMarginsPx readMarginsPx(const DocxDocument &doc);
    static void insertDrawingImage(QTextCursor &cursor, const QDomElement &drawing, const DocxDocument &doc,
                                   const DocxImageRels &imageRels);
    static DocxHFSet readHeadersFooters(const DocxDocument &doc);
    // The whole body, section by section, for laying out pages; the list
    // numbers run on across sections. Its blocks carry no user data: they are
    // laid out, never written back.
    static DocxPageLayout readPageLayout(const DocxDocument &doc);
    // A header or footer part as rich text; `partPath` names the part, whose
    // relationships give its pictures.
    static QTextDocument *renderHFPart(const QByteArray &xml, const DocxDocument &doc,
                                       const QString &partPath = QString());
};
