#pragma once
// The state of the main document part inside a DocxBody: its bytes are the
// truth until an operation needs the tree; the last section can be edited on a
// small tree of its own and spliced back into the bytes.
// Every section likewise.
#include "DocxBody.h"

struct DocxBody::State
{
    // The whole body, parsed on first use.
    QDomDocument dom;
    bool domBuilt = false;
    bool domChanged = false;
    QString treeError;  // why the tree was refused; the tree stays empty then

    // The body's sections as found by a scan of the bytes: for each its byte
    // range in the part and the namespace bindings in force around it, and,
    // once asked for, its own small tree and whether it was edited. Bytes the
    // library wrote itself are scanned only when a section is asked for.
    struct Section
    {
        qsizetype start = 0;
        qsizetype end = 0;
        DocxNamespaceBindings scope;
        QDomDocument dom;
        QDomElement element;
        bool parsed = false;
        bool changed = false;
    };
    bool sectionScanned = false;
    bool sectionLocated = false;  // false: the sections are only reachable through the DOM
    QList<Section> sections;
    // Where a final section can be spliced in: at the body's end tag, with the
    // prefix bound to the main namespace there (null: none is bound).
    qsizetype bodyContentEnd = -1;
    QString bodyWPrefix;
    qint64 treeBytes = -1;  // what the tree would take, as the scan counted it; -1: not counted
    bool strict = false;    // the part is in strict markup, as the last scan found
    // The body's top-level elements, laid out by the scan at open unless there
    // are very many, then by a scan of their own when an edit asks for them.
    DocxBodyLayout layout;
    bool layoutScanned = false;  // `layout` is that of the current bytes
    bool laidOut = false;        // ... and pins every element down
    // The paragraph index, built on first use; `paragraphs` only when it was
    // built from the tree (`paragraphsHeld`).
    bool indexed = false;
    bool paragraphsHeld = false;
    QList<QDomElement> paragraphs;
    QList<DocxParaInfo> paragraphInfo;

    void ensureDom(const QByteArray &bytes);
    // The layout of the top-level elements when they can be read from `bytes`
    // (the tree is not built and no section edit waits to be spliced in),
    // scanning for it when opening did not lay them all out; null otherwise.
    const DocxBodyLayout *readableLayout(const QByteArray &bytes);
    // Scans `bytes` for the last section, and lays out the top-level elements
    // unless there are more than `maxChildren`; false (with `err`) when the
    // bytes are not well-formed.
    bool scan(const QByteArray &bytes, qsizetype maxChildren, QString &err);
    // True when the sections are read from the bytes; false when only the
    // DOM (then built) holds them.
    bool bytesHoldSections(const QByteArray &bytes);
    // The section at `index` (0-based; -1 the last), null when out of range.
    QDomElement sectionElement(const QByteArray &bytes, int index);
    int sectionCount(const QByteArray &bytes);
    // Marks the section at `index` as edited (on its own tree or the DOM).
    void markSectionChanged(int index);
    // Writes the sections edited on their own trees into `bytes`.
    void spliceSections(QByteArray &bytes);
};
