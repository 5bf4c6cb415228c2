// text: what the library reads of documents, block by block: list labels, the
// text of table cells and where pictures stand; as lines or as JSON.
#include "Cli.h"
#include "DocxReading.h"
#include "DocxText.h"

#include <lorvexdocx.h>

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <iostream>

namespace {

void printJson(const QJsonObject &object)
{
    std::cout << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() << std::endl;
}

}  // namespace

int runText(const Args &args)
{
    lxDocx_init();
    const bool json = args.has("--json");
    int status = ExitOk;
    for (const std::string &file : args.positional) {
        const QString path = QString::fromStdString(file);
        const std::unique_ptr<DocxDocument> doc = docxOpenForReading(path);
        if (!doc->isValid()) {
            status = failed("cannot open " + file, doc->errorString().toUtf8().constData());
            if (json)
                printJson(QJsonObject{{"file", QFileInfo(path).fileName()}, {"error", doc->errorString()}});
            continue;
        }
        if (json)
            printJson(docxTextReport(*doc, args.has("--pages")));
        else
            std::cout << "== " << file << "\n" << docxTextLines(*doc).toStdString();
    }
    return status;
}
