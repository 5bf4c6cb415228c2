// resave, to-html: documents through rich text.
#include "Cli.h"

#include <lorvexdocx.h>

#include <iostream>

int runResave(const Args &args)
{
    const std::string &src = args.positional[0];
    const std::string &dst = args.positional[1];
    lxDocx_init();
    if (!lxDocx_resave_full(src.c_str(), dst.c_str()))
        return failed("cannot re-save " + src, lxDocx_error(nullptr));
    std::cout << "Wrote " << dst << "\n";
    return ExitOk;
}

int runToHtml(const Args &args)
{
    const std::string &file = args.positional[0];
    lxDocx_init();
    OpenDocument h(lxDocx_open(file.c_str()));
    if (!h)
        return failed("cannot open " + file, lxDocx_error(nullptr));
    const std::string section = args.value("--section");
    const char *html = lxDocx_to_html(h.get(), section.c_str());
    if (!html)
        return failed("cannot convert " + file, lxDocx_error(h.get()));
    std::cout << html << std::flush;
    return ExitOk;
}
