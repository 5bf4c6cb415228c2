#pragma once
// A quick look at a part's bytes for templates: its elements (name, where
// each starts and ends, which holds it) and where tags stand in its text.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

struct DocxScannedElement
{
    QByteArrayView name;  // qualified, as written ("w:p")
    qsizetype start = 0;  // of its start tag
    qsizetype end = 0;    // past its end tag
    int parent = -1;      // index of the element that holds it
};

// A tag in the text of the part: [start, end) from its opening braces to
// past its closing ones; `element` is the element whose text holds it.
struct DocxScannedTag
{
    qsizetype start = 0;
    qsizetype end = 0;
    int element = -1;
};

struct DocxPartScan
{
    QList<DocxScannedElement> elements;  // in the order they start
    QList<DocxScannedTag> tags;          // in the order they stand

    // Scans `bytes`; false with `err` when its markup does not nest or a
    // tag is not closed in the text that opens it.
    bool scan(const QByteArray &bytes, QString &err);
    // The innermost element named `name` that holds element `from` (or is
    // it); -1 when none.
    int enclosing(int from, QByteArrayView name) const;
    // The first child element of `index`; -1 when it has none.
    int firstChild(int index) const;
};

// The root element's start tag: [start, end) with `end` at its '>'; false
// when the bytes hold no element.
bool locateRootStartTag(const QByteArray &bytes, qsizetype &start, qsizetype &end);
// The text of the markup `bytes` as it reads: tags left out, character
// references resolved.
QString textOfMarkup(QByteArrayView bytes);
// Character data as it reads: the five named entities and numeric references resolved.
QString unescapedText(QByteArrayView bytes);
