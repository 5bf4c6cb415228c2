// preview: what the library reads of a document, laid out page by page, as a
// PDF or a PNG of the first page.
#include "Cli.h"
#include "DocxPreview.h"
#include "DocxReading.h"

#include <lorvexdocx.h>

#include <QFileInfo>

#include <iostream>

int runPreview(const Args &args)
{
    const QString path = QString::fromStdString(args.positional[0]);
    const QString out = QString::fromStdString(args.positional[1]);
    const QString suffix = QFileInfo(out).suffix().toLower();
    if (suffix != QLatin1String("pdf") && suffix != QLatin1String("png"))
        return usageError("preview writes OUT.pdf or OUT.png");
    lxDocx_init();
    const std::unique_ptr<DocxDocument> doc = docxOpenForReading(path);
    if (!doc->isValid())
        return failed("cannot open " + args.positional[0], doc->errorString().toUtf8().constData());
    const DocxPreviewResult result = docxRenderPreview(*doc, out);
    if (!result.error.isEmpty())
        return failed("cannot preview " + args.positional[0], result.error.toUtf8().constData());
    // lxdocx keeps the library's own warnings off, so it says this itself.
    if (result.pageBrought)
        std::cerr << "lxdocx: " << args.positional[0]
                  << ": Page brought within printable sizes (the document's page is smaller or larger than a printer's)\n";
    if (result.cutShort)
        std::cerr << "lxdocx: " << args.positional[0] << " lays out to more than " << kMaxPreviewPages
                  << " pages; the preview shows the first " << kMaxPreviewPages << "\n";
    if (!result.written)
        return failed("cannot write " + args.positional[1], nullptr);
    const int shown = result.pagesShown;
    std::cout << "Wrote " << args.positional[1] << " (" << shown << (shown == 1 ? " page" : " pages") << ")\n";
    return ExitOk;
}
