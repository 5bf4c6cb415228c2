// from-html, set-body: documents from HTML.
#include "Cli.h"

#include <lorvexdocx.h>

#include <fstream>
#include <iostream>
#include <iterator>

namespace {

bool readText(const std::string &path, std::string &text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

}  // namespace

int runFromHtml(const Args &args)
{
    const std::string &in = args.positional[0];
    const std::string &out = args.positional[1];
    std::string html;
    if (!readText(in, html))
        return failed("cannot read " + in, nullptr);
    lxDocx_init();
    if (!lxDocx_write_html(out.c_str(), html.c_str()))
        return failed("cannot write " + out, lxDocx_error(nullptr));
    std::cout << "Wrote " << out << "\n";
    return ExitOk;
}

int runSetBody(const Args &args)
{
    const std::string &file = args.positional[0];
    const std::string &in = args.positional[1];
    std::string html;
    if (!readText(in, html))
        return failed("cannot read " + in, nullptr);
    lxDocx_init();
    OpenDocument h(lxDocx_open(file.c_str()));
    if (!h)
        return failed("cannot open " + file, lxDocx_error(nullptr));
    if (!lxDocx_set_body_html(h.get(), html.c_str()))
        return failed("cannot set the body of " + file, lxDocx_error(h.get()));
    return saveEdits(h.get(), args);
}
