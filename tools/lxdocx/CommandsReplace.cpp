// replace: text replaced in every story of a document, through the C interface.
#include "Cli.h"

#include <lorvexdocx.h>

#include <iostream>

namespace {

int replaceFlags(const Args &args)
{
    return (args.has("--regex") ? LXDOCX_REGEX : 0) | (args.has("--match-case") ? LXDOCX_MATCH_CASE : 0)
        | (args.has("--whole-word") ? LXDOCX_WHOLE_WORD : 0);
}

}  // namespace

int runReplace(const Args &args)
{
    OpenDocument h(openOrReport(args.positional[0]));
    if (!h)
        return ExitFailed;
    int count = 0;
    if (!lxDocx_replace_text(h.get(), args.positional[1].c_str(), args.positional[2].c_str(), replaceFlags(args),
                             &count))
        return failed("cannot replace", lxDocx_error(h.get()));
    std::cout << count << "\n";
    return saveEdits(h.get(), args);
}
