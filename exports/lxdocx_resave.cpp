// The whole-document re-save through rich text.
#include "DocxDocument.h"
#include "DocxHandle.h"
#include "DocxReader.h"
#include "DocxResave.h"
#include "DocxWriter.h"

#include <memory>

extern "C" {

LXDOCX_API int lxDocx_resave_full(const char *srcPath, const char *dstPath)
{
    if (!srcPath || !dstPath)
        return 0;
    const std::unique_ptr<DocxDocument> doc(validOrReport(DocxReader::open(docxDecodeName(srcPath)), nullptr));
    if (!doc)
        return 0;
    if (docxResave(*doc) && DocxWriter::saveVersion(*doc, docxDecodeName(dstPath)))
        return 1;
    setLibraryError(QStringLiteral("lxDocx_resave_full: populate/saveSection/save failed"));
    return 0;
}

}  // extern "C"
