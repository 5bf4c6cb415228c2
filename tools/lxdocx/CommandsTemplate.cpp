// render: a template document filled with JSON data, through the C interface.
//
// Picture files named by the data are read only inside the folder --resources
// names, by default the data file's own folder. Data that is a list of
// objects fills the template once per object, each into a copy of the
// template opened once: OUT-1.docx, OUT-2.docx, ...
#include "Cli.h"

#include <lorvexdocx.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <iostream>

namespace {

// The path of the `n`th output (from 1) when the data is a list: "-n" before OUT's extension.
std::string numberedPath(const std::string &out, int n)
{
    const QFileInfo info(QString::fromLocal8Bit(out.c_str()));
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    const QString name = info.completeBaseName() + QStringLiteral("-%1").arg(n) + suffix;
    return info.dir().filePath(name).toLocal8Bit().toStdString();
}

// Renders a copy of `h` with `json` and saves it as `out`; reports a failure.
int renderCopy(DocxHandle *h, const QByteArray &json, int flags, const std::string &out)
{
    OpenDocument copy(lxDocx_copy(h));
    if (!copy)
        return failed("cannot copy the template", lxDocx_error(h));
    if (!lxDocx_render_template(copy.get(), json.constData(), flags))
        return failed("cannot render " + out, lxDocx_error(copy.get()));
    if (!lxDocx_save_as(copy.get(), out.c_str()))
        return failed("cannot save " + out, lxDocx_error(copy.get()));
    return ExitOk;
}

}  // namespace

int runRender(const Args &args)
{
    const std::string &templatePath = args.positional[0];
    const std::string &dataPath = args.positional[1];
    const std::string &outPath = args.positional[2];
    QFile data(QString::fromLocal8Bit(dataPath.c_str()));
    if (!data.open(QIODevice::ReadOnly))
        return failed("cannot read " + dataPath, nullptr);
    const QByteArray json = data.readAll();
    const std::string resources = args.has("--resources") ? args.value("--resources")
                                                           : QFileInfo(data).absolutePath().toLocal8Bit().toStdString();
    const int flags = args.has("--strict") ? LXDOCX_STRICT : 0;
    OpenDocument h(openOrReport(templatePath));
    if (!h)
        return ExitFailed;
    if (!lxDocx_set_resource_folder(h.get(), resources.c_str()))
        return failed("cannot use the resource folder", lxDocx_error(h.get()));
    const QJsonDocument parsed = QJsonDocument::fromJson(json);
    if (!parsed.isArray())
        return renderCopy(h.get(), json, flags, outPath);
    int failures = 0, n = 0;
    for (const QJsonValue &record : parsed.array()) {
        const QByteArray one = QJsonDocument(record.toObject()).toJson(QJsonDocument::Compact);
        const std::string out = numberedPath(outPath, ++n);
        if (!record.isObject())
            failures += failed(out + ": the record is not a JSON object", nullptr) != ExitOk;
        else
            failures += renderCopy(h.get(), one, flags, out) != ExitOk;
    }
    std::cout << n - failures << " of " << n << " written\n";
    return failures ? ExitFailed : ExitOk;
}
