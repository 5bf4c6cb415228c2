#pragma once
// The record behind the C interface's opaque handle, the library-wide error
// text and the helpers every export shares.
#include "lorvexdocx.h"

#include <QByteArray>
#include <QMap>
#include <QString>

class DocxDocument;

struct DocxHandle
{
    DocxDocument *doc = nullptr;  // owned
    QString lastError;            // most recent failure on this handle; never cleared
    QByteArray headerXml;         // result buffer of lxDocx_get_header_xml
    QByteArray footerXml;         // result buffer of lxDocx_get_footer_xml
    QMap<QString, QByteArray> propertyValues;  // result buffers of lxDocx_get_doc_property
    QByteArray errorUtf8;         // result buffer of lxDocx_error
};

// The text of the last failure of an export without a handle.
void setLibraryError(const QString &text);

// The document when it is valid; otherwise records its error text (or
// `nullText` when there is no document) as the library's error, deletes it and
// returns null.
DocxDocument *validOrReport(DocxDocument *doc, const char *nullText);
// A handle owning the document when it is valid; otherwise as validOrReport.
DocxHandle *handleFor(DocxDocument *doc, const char *nullText);

// True when the handle and its document exist.
inline bool usable(const DocxHandle *h) { return h && h->doc; }
// Writes `n` to `out` when given.
inline void setOutLen(int *out, int n)
{
    if (out)
        *out = n;
}
