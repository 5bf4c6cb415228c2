#pragma once
// The record behind the C interface's opaque handle, the library-wide error
// text and the helpers every export shares.
#include "lorvexdocx.h"

#include "DocxDocument.h"

#include <QByteArray>
#include <QString>

#include <memory>

// What the last lxDocx_render laid out.
struct DocxRenderRecord
{
    bool laidOut = false;
    int pages = 0;  // pages written: the PDF's, 1 for a PNG
    bool pageBrought = false;
    bool cutShort = false;
};

struct DocxHandle
{
    std::unique_ptr<DocxDocument> doc;
    QString lastError;            // most recent failure on this handle; never cleared
    int lastErrorCode = LXDOCX_OK;  // its code (LXDOCX_ERR_*); never cleared
    QByteArray headerXml;         // result buffer of lxDocx_get_header_xml
    QByteArray footerXml;         // result buffer of lxDocx_get_footer_xml
    QByteArray hfPartName;        // result buffer of lxDocx_get_section_hf_part
    QByteArray propertyValues[kCorePropertyCount];  // result buffers of lxDocx_get_doc_property, per key
    QByteArray errorUtf8;         // result buffer of lxDocx_error
    QByteArray text;              // result buffer of lxDocx_text
    QByteArray html;              // result buffer of lxDocx_to_html
    DocxRenderRecord rendered;    // what lxDocx_render last laid out
    QString resourceFolder;       // of lxDocx_render_template; empty: none
    bool busy = false;            // inside a call
    bool closeRequested = false;  // lxDocx_close came while busy: closed when that call returns
};

// Records the code (LXDOCX_ERR_*) and text of a failure: on the handle, or
// library-wide when `h` is null.
void recordFailure(DocxHandle *h, int code, const QString &text);
// The same for input the call refuses (LXDOCX_ERR_REFUSED_INPUT).
inline void recordFailure(DocxHandle *h, const QString &text) { recordFailure(h, LXDOCX_ERR_REFUSED_INPUT, text); }
// The code of a failed open or save of `path`: I/O when the file cannot be
// read as one (missing, unreadable, not a regular file), refused input when
// its content was refused.
int openFailureCode(const QString &path);
// True, with the failure recorded, when the document of `h` is in strict
// markup: the edits write transitional WordprocessingML, which would leave a
// strict part neither.
bool refusedAsStrict(DocxHandle *h);
// The same for an out-of-memory failure whose text could not be made; allocates nothing.
void recordOutOfMemory(DocxHandle *h) noexcept;

// A new handle owning `doc` when it is valid; otherwise records the document's
// error text library-wide, with `failureCode`, and returns null.
DocxHandle *handleFor(std::unique_ptr<DocxDocument> doc, int failureCode);
// Frees the handle, its document and its buffers.
void destroyHandle(DocxHandle *h);

// A path argument as the library's file functions take it: its bytes kept
// even where they are no UTF-8 (null reads as "").
inline QString pathArgument(const char *path) { return docxDecodeName(path); }

// True when the handle and its document exist.
inline bool usable(const DocxHandle *h) { return h && h->doc; }
// Writes `n` to `out` when given.
inline void setOutLen(int *out, int n)
{
    if (out)
        *out = n;
}
