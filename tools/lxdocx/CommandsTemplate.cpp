// render: a template document filled with JSON data, through the C interface.
//
// Picture files named by the data are read only inside the folder --resources
// names, by default the data file's own folder.
#include "Cli.h"

#include <lorvexdocx.h>

#include <QFile>
#include <QFileInfo>

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
    OpenDocument h(openOrReport(templatePath));
    if (!h)
        return ExitFailed;
    if (!lxDocx_set_resource_folder(h.get(), resources.c_str()))
        return failed("cannot use the resource folder", lxDocx_error(h.get()));
    if (!lxDocx_render_template(h.get(), json.constData(), args.has("--strict") ? LXDOCX_STRICT : 0))
        return failed("cannot render " + templatePath, lxDocx_error(h.get()));
    if (!lxDocx_save_as(h.get(), outPath.c_str()))
        return failed("cannot save " + outPath, lxDocx_error(h.get()));
    return ExitOk;
}
