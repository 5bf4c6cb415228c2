// Bodies from HTML.
#include "DocxDocument.h"
#include "DocxFrame.h"
#include "DocxHandle.h"
#include "DocxHtmlSources.h"
#include "DocxWriter.h"

#include <memory>

namespace {

// The one reason the body cannot take content.
QString noParagraphText() { return QStringLiteral("The body has no paragraph for the HTML to take the place of"); }

}  // namespace

extern "C" {

LXDOCX_API int lxDocx_set_body_html(DocxHandle *h, const char *html)
{
    return handleCall(h, 0, "putting HTML into the body", [&] {
        if (!html) {
            recordFailure(h, QStringLiteral("No HTML given"));
            return 0;
        }
        if (refusedAsStrict(h))
            return 0;
        if (DocxWriter::buildFromHtml(*h->doc, decodeHtml(html)))
            return 1;
        recordFailure(h, LXDOCX_ERR_NOT_FOUND, noParagraphText());
        return 0;
    });
}

LXDOCX_API int lxDocx_write_html(const char *path, const char *html)
{
    return libraryCall(0, "writing a document from HTML", [&] {
        if (!path || !html) {
            recordFailure(nullptr, path ? QStringLiteral("No HTML given") : QStringLiteral("No path given"));
            return 0;
        }
        // Built in memory and saved once: the file at `path` stays as it was
        // until the new package replaces it whole.
        const std::unique_ptr<DocxDocument> doc = DocxDocument::blank(pathArgument(path));
        if (DocxWriter::buildAndSave(*doc, decodeHtml(html)))
            return 1;
        // A failed save says why; a blank document always has its paragraph.
        if (doc->errorString().isEmpty())
            recordFailure(nullptr, LXDOCX_ERR_NOT_FOUND, noParagraphText());
        else
            recordFailure(nullptr, LXDOCX_ERR_IO, doc->errorString());
        return 0;
    });
}

}  // extern "C"
