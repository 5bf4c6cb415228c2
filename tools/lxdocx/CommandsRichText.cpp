// resave, to-html, preview: documents through rich text.
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
