// Bodies from HTML.
#include "DocxDocument.h"
#include "DocxHandle.h"
#include "DocxReader.h"
#include "DocxWriter.h"

#include <memory>

extern "C" {

LXDOCX_API int lxDocx_set_body_html(DocxHandle *h, const char *html)
{
    if (!usable(h) || !html)
        return 0;
    if (DocxWriter::buildFromHtml(*h->doc, decodeHtml(html)))
        return 1;
    h->lastError = QStringLiteral("lxDocx_set_body_html: buildFullDocumentDom failed");
    return 0;
}

LXDOCX_API int lxDocx_write_html(const char *path, const char *html)
{
    if (!path || !html)
        return 0;
    // Built in memory and saved once: the file at `path` stays as it was
    // until the new package replaces it whole.
    const std::unique_ptr<DocxDocument> doc(DocxReader::blank(docxDecodeName(path)));
    if (DocxWriter::buildAndSave(*doc, decodeHtml(html)))
        return 1;
    const QString saveError = doc->errorString();
    setLibraryError(saveError.isEmpty() ? QStringLiteral("lxDocx_write_html: build or save failed") : saveError);
    return 0;
}

}  // extern "C"
