// from-html, set-body: documents from HTML.
//
// The page is read as bytes and decoded as its byte order mark, its bytes or
// its charset declaration say (a NUL byte ends nothing); pictures are read
// from files only inside the folder --resources names, by default the page's
// own folder.
#include "Cli.h"
#include "DocxHtmlPage.h"

#include <lorvexdocx.h>

#include <QFile>
#include <QFileInfo>

#include <iostream>

namespace {

bool readPage(const std::string &path, const Args &args, QByteArray &utf8)
{
    QFile in(QString::fromLocal8Bit(path.c_str()));
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QString resources = args.has("--resources") ? QString::fromLocal8Bit(args.value("--resources").c_str())
                                                       : QFileInfo(in).absolutePath();
    utf8 = docxHtmlPage(in.readAll(), resources).toUtf8();
    return true;
}

}  // namespace

int runFromHtml(const Args &args)
{
    const std::string &in = args.positional[0];
    const std::string &out = args.positional[1];
    lxDocx_init();
    QByteArray html;
    if (!readPage(in, args, html))
        return failed("cannot read " + in, nullptr);
    if (!lxDocx_write_html(out.c_str(), html.constData()))
        return failed("cannot write " + out, lxDocx_error(nullptr));
    std::cout << "Wrote " << out << "\n";
    return ExitOk;
}

int runSetBody(const Args &args)
{
    const std::string &file = args.positional[0];
    const std::string &in = args.positional[1];
    lxDocx_init();
    QByteArray html;
    if (!readPage(in, args, html))
        return failed("cannot read " + in, nullptr);
    OpenDocument h(lxDocx_open(file.c_str()));
    if (!h)
        return failed("cannot open " + file, lxDocx_error(nullptr));
    if (!lxDocx_set_body_html(h.get(), html.constData()))
        return failed("cannot set the body of " + file, lxDocx_error(h.get()));
    return saveEdits(h.get(), args);
}
