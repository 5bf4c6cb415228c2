// text: what the library reads of documents, block by block: list labels, the
// text of table cells and where pictures stand; as lines or as JSON.
#include "Cli.h"

#include <lorvexdocx.h>

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <iostream>

namespace {

// The JSON line of a file that cannot be opened.
void printOpenError(const std::string &file, const char *error)
{
    const QJsonObject object{{"file", QFileInfo(QString::fromStdString(file)).fileName()},
                             {"error", QString::fromUtf8(error)}};
    std::cout << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() << std::endl;
}

}  // namespace

int runText(const Args &args)
{
    lxDocx_init();
    const bool json = args.has("--json");
    const int flags = json ? LXDOCX_TEXT_JSON | (args.has("--pages") ? LXDOCX_TEXT_HEADERS_FOOTERS : 0) : 0;
    int status = ExitOk;
    for (const std::string &file : args.positional) {
        OpenDocument h(lxDocx_open(file.c_str()));
        if (!h) {
            status = failed("cannot open " + file, lxDocx_error(nullptr));
            if (json)
                printOpenError(file, lxDocx_error(nullptr));
            continue;
        }
        const char *text = lxDocx_text(h.get(), flags);
        if (!text) {
            status = failed("cannot read " + file, lxDocx_error(h.get()));
            continue;
        }
        if (json)
            std::cout << text << std::endl;
        else
            std::cout << "== " << file << "\n" << text;
    }
    return status;
}
