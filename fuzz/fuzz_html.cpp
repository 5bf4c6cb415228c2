// Arbitrary bytes as an HTML page (decoded as a page's bytes are) written into
// a new document twice: read whole, and read in pieces cut wherever the
// prepared page allows a cut. Besides crashes, sanitizer reports and hangs,
// it stops when the two differ.
#include "DocxDocument.h"
#include "DocxHtmlCuts.h"
#include "DocxHtmlPrepare.h"
#include "DocxHtmlSources.h"
#include "DocxWriter.h"
#include "FuzzSupport.h"

#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>

namespace {

constexpr size_t kMaxPage = 64 * 1024;  // larger pages only slow the runs down

DocxEntryMap blankEntries;

DocxEntryMap built(const QString &html, qsizetype pieceChars)
{
    const std::unique_ptr<DocxDocument> doc = DocxDocument::fromEntries(QString(), blankEntries);
    if (!doc->isValid())
        std::abort();
    DocxWriter::buildFromHtml(*doc, html, pieceChars);
    doc->body().store();
    return doc->package().entries();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz_support::startGuiApplication(argc, argv);
    QTemporaryDir dir;
    const std::unique_ptr<DocxDocument> blank = DocxDocument::createBlank(dir.filePath("blank.docx"));
    if (!blank->isValid())
        std::abort();
    blankEntries = blank->package().entries();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > kMaxPage)
        return 0;
    const QString html = decodeHtml(QByteArrayView(data, qsizetype(size)));
    if (htmlCuts(prepareHtml(html), 1).cuts.isEmpty())
        return 0;
    if (built(html, std::numeric_limits<qsizetype>::max()) != built(html, 1))
        fuzz_support::broken("fuzz_html", "the pieces wrote what the whole page does not");
    return 0;
}
