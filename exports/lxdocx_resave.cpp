// The whole-document re-save through rich text.
#include "DocxDocument.h"
#include "DocxFrame.h"
#include "DocxHandle.h"
#include "DocxReader.h"
#include "DocxResave.h"
#include "DocxWriter.h"

#include <memory>

extern "C" {

LXDOCX_API int lxDocx_resave_full(const char *srcPath, const char *dstPath)
{
    return libraryCall(0, "re-saving the document", [&] {
        if (!srcPath || !dstPath) {
            recordFailure(nullptr, QStringLiteral("No path given"));
            return 0;
        }
        const QString src = QString::fromUtf8(srcPath);
        const std::unique_ptr<DocxDocument> doc(DocxReader::open(src));
        QString err = doc->errorString();
        if (doc->isValid() && !docxResave(*doc))
            err = QStringLiteral("Cannot convert the body of %1 to rich text").arg(src);
        else if (doc->isValid() && DocxWriter::saveVersion(*doc, QString::fromUtf8(dstPath), err))
            return 1;
        recordFailure(nullptr, err);
        return 0;
    });
}

}  // extern "C"
