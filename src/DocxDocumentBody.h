#pragma once
// The state of "word/document.xml" inside a DocxDocument: its bytes are the
// truth until an operation needs the tree; the last section can be edited on a
// small tree of its own and spliced back into the bytes.
#include "DocxDocument.h"

// An element as the stream reader saw it, in UTF-16 units.
struct DocxElementSpan
{
    qint64 startChar = 0;  // where the token before the start tag ended
    qint64 endChar = 0;    // just after the end tag
    QByteArray qualifiedName;
};

// The root, w:body and the body's top-level elements as a scan saw them; the
// layout's byte positions are filled in when first asked for.
struct DocxBodySpans
{
    DocxElementSpan root, body;
    QList<DocxElementSpan> children;
    DocxBodyLayout layout;
    bool seen = false;  // the scan found a body it can place in the bytes
};

struct DocxDocument::Body
{
    // The whole body, parsed on first use.
    QDomDocument dom;
    bool domBuilt = false;
    bool domChanged = false;

    // The last section as found by a scan of the bytes: its byte range in the
    // part and the namespace bindings in force around it. Bytes the library
    // wrote itself are scanned only when the section is asked for.
    bool sectionScanned = false;
    bool sectionLocated = false;  // false: the section is only reachable through the DOM
    bool sectionFound = false;
    qsizetype sectionStart = 0;
    qsizetype sectionEnd = 0;
    DocxNamespaceBindings sectionScope;
    // The body's top-level elements as the same scan found them.
    DocxBodySpans spans;
    bool layoutStale = false;  // the bytes moved since the scan
    bool layoutPinned = false;
    bool laidOut = false;
    // That section parsed alone, and whether it was edited.
    QDomDocument sectionDom;
    QDomElement section;
    bool sectionParsed = false;
    bool sectionChanged = false;

    // The paragraph index, built on first use.
    bool indexed = false;
    QList<QDomElement> paragraphs;
    QList<DocxParaInfo> paragraphInfo;

    void ensureDom(const QByteArray &bytes);
    // Scans `bytes` for the last section; false (with `err`) when they are not well-formed.
    bool scanSection(const QByteArray &bytes, QString &err);
    QDomElement sectionElement(const QByteArray &bytes);
};
