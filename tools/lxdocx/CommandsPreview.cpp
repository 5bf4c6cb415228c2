// preview: what the library reads of a document, laid out page by page, as a
// PDF or a PNG of the first page.
#include "Cli.h"

#include <lorvexdocx.h>

#include <QFileInfo>

#include <iostream>

namespace {

// lxdocx keeps the library's own warnings off, so it says what the layout had to do itself.
void printLayoutNotes(const std::string &file, int pageBrought, int cutShort)
{
    if (pageBrought)
        std::cerr << "lxdocx: " << file
                  << ": Page brought within printable sizes (the document's page is smaller or larger than a printer's)\n";
    if (cutShort)
        std::cerr << "lxdocx: " << file << " lays out to more than " << LXDOCX_RENDER_MAX_PAGES
                  << " pages; the preview shows the first " << LXDOCX_RENDER_MAX_PAGES << "\n";
}

}  // namespace

int runPreview(const Args &args)
{
    const std::string &file = args.positional[0];
    const std::string &out = args.positional[1];
    const QString suffix = QFileInfo(QString::fromStdString(out)).suffix().toLower();
    if (suffix != QLatin1String("pdf") && suffix != QLatin1String("png"))
        return usageError("preview writes OUT.pdf or OUT.png");
    lxDocx_init();
    OpenDocument h(lxDocx_open(file.c_str()));
    if (!h)
        return failed("cannot open " + file, lxDocx_error(nullptr));
    const int written = lxDocx_render(h.get(), out.c_str());
    int pages = 0, pageBrought = 0, cutShort = 0;
    if (!lxDocx_get_render_result(h.get(), &pages, &pageBrought, &cutShort))
        return failed("cannot preview " + file, "the document has no body");
    printLayoutNotes(file, pageBrought, cutShort);
    if (!written)
        return failed("cannot write " + out, nullptr);
    std::cout << "Wrote " << out << " (" << pages << (pages == 1 ? " page" : " pages") << ")\n";
    return ExitOk;
}
