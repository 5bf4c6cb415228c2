// resave, to-html: documents through rich text.
#include "Cli.h"

#include "DocxReading.h"
#include "DocxSectionHtml.h"


#include <lorvexdocx.h>

#include <iostream>
#include <memory>

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
    lxDocx_init();
    const std::unique_ptr<DocxDocument> doc = docxOpenForReading(QString::fromStdString(args.positional[0]));
    if (!doc->isValid())
        return failed("cannot open " + args.positional[0], doc->errorString().toUtf8().constData());
    writeSectionHtml(*doc, QString::fromStdString(args.value("--section")),
                     [](const QByteArray &piece) { std::cout.write(piece.constData(), piece.size()); });
    std::cout.flush();
    return ExitOk;
}
