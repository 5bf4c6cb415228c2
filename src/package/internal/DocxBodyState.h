#pragma once
// The state of the main document part inside a DocxBody: its bytes are the
// truth until an operation needs the tree; the last section can be edited on a
// small tree of its own and spliced back into the bytes.
#include "DocxBody.h"

struct DocxBody::State
{
    // The whole body, parsed on first use.
    QDomDocument dom;
    bool domBuilt = false;
    bool domChanged = false;
    QString treeError;  // why the tree was refused; the tree stays empty then

    // The last section as found by a scan of the bytes: its byte range in the
    // part and the namespace bindings in force around it. Bytes the library
    // wrote itself are scanned only when the section is asked for.
    bool sectionScanned = false;
    bool sectionLocated = false;  // false: the section is only reachable through the DOM
    bool sectionFound = false;
    qsizetype sectionStart = 0;
    qsizetype sectionEnd = 0;
    DocxNamespaceBindings sectionScope;
    qint64 treeBytes = -1;  // what the tree would take, as the scan counted it; -1: not counted
    bool strict = false;    // the part is in strict markup, as the last scan found
    // The body's top-level elements, laid out by the scan at open unless there
    // are very many, then by a scan of their own when an edit asks for them.
    DocxBodyLayout layout;
    bool layoutScanned = false;  // `layout` is that of the current bytes
    bool laidOut = false;        // ... and pins every element down
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
    // Scans `bytes` for the last section, and lays out the top-level elements
    // unless there are more than `maxChildren`; false (with `err`) when the
    // bytes are not well-formed.
    bool scan(const QByteArray &bytes, qsizetype maxChildren, QString &err);
    QDomElement sectionElement(const QByteArray &bytes);
};
