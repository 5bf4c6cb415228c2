// The table of lxdocx subcommands.
#include "Cli.h"

#include <lorvexdocx.h>

int runInfo(const Args &);
int runNew(const Args &);
int runCopy(const Args &);

OpenDocument::~OpenDocument()
{
    lxDocx_close(h_);
}

const std::vector<Command> &commands()
{
    static const std::vector<Command> table = {
        {"info", "FILE", "Shows whether FILE opens, its parts with sizes, its paragraph count and first headings.",
         {}, 1, 1, runInfo},
        {"new", "FILE", "Writes a blank document to FILE.", {}, 1, 1, runNew},
        {"copy", "SRC DST", "Opens SRC and saves it as DST.", {}, 2, 2, runCopy},
    };
    return table;
}
