#pragma once
// The outermost elements of one WordprocessingML name in a part, located in
// its bytes, for edits that parse, change and splice back one element at a
// time and leave the rest of the part byte for byte.
#include "DocxXml.h"

#include <QByteArray>
#include <QList>
#include <QString>

// One element's bytes [start, end) and the bindings its ancestors put in force.
struct DocxElementSpan
{
    qsizetype start = 0;
    qsizetype end = 0;
    DocxNamespaceBindings scope;
};

// Every w:`localName` element of `bytes` not inside another, in document
// order. False with `err` when the part does not read, or an element cannot be
// placed in the bytes (a part not in UTF-8).
bool locateOutermostW(const QByteArray &bytes, const char *localName, QList<DocxElementSpan> &spans, QString &err);
