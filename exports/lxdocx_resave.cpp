// The whole-document re-save through rich text.
#include "DocxDocument.h"
#include "DocxFrame.h"
#include "DocxHandle.h"
#include "DocxResave.h"

#include <memory>

extern "C" {

LXDOCX_API int lxDocx_resave_full(const char *srcPath, const char *dstPath)
{
    return libraryCall(0, "re-saving the document", [&] {
        if (!srcPath || !dstPath) {
            recordFailure(nullptr, QStringLiteral("No path given"));
            return 0;
        }
        const QString src = pathArgument(srcPath);
        const std::unique_ptr<DocxDocument> doc = DocxDocument::open(src);
        if (!doc->isValid()) {
            recordFailure(nullptr, openFailureCode(src), doc->errorString());
            return 0;
        }
        if (!docxResave(*doc)) {
            recordFailure(nullptr, QStringLiteral("Cannot convert the body of %1 to rich text").arg(src));
            return 0;
        }
        if (doc->saveAs(pathArgument(dstPath)))
            return 1;
        recordFailure(nullptr, LXDOCX_ERR_IO, doc->errorString());
        return 0;
    });
}

}  // extern "C"
