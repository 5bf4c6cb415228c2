#pragma once
// The state of "word/document.xml" inside a DocxDocument: its bytes are the
// truth until an operation needs the tree; the last section can be edited on a
// small tree of its own and spliced back into the bytes.
#include "DocxDocument.h"

struct DocxDocument::Body
{
    // The whole body, parsed on first use.
    QDomDocument dom;
    bool domBuilt = false;
    bool domChanged = false;

    // The last section as found by the scan at load: its byte range in the part
    // and the namespace bindings in force around it.
    bool sectionLocated = false;  // false: the section is only reachable through the DOM
    bool sectionFound = false;
    qsizetype sectionStart = 0;
    qsizetype sectionEnd = 0;
    DocxNamespaceBindings sectionScope;
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
    QDomElement sectionElement(const QByteArray &bytes);
};
