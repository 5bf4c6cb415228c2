// Rendering a document as a template.
#include "DocxFrame.h"
#include "DocxHandle.h"
#include "DocxRenderTemplate.h"

#include <QDir>
#include <QFileInfo>

extern "C" {

LXDOCX_API int lxDocx_render_template(DocxHandle *h, const char *data_json, int flags)
{
    return handleCall(h, 0, "rendering the template", [&] {
        if (refusedAsStrict(h))
            return 0;
        DocxTemplateOptions options;
        options.strict = (flags & LXDOCX_STRICT) != 0;
        options.resourceFolder = h->resourceFolder;
        options.beforeRichText = [] { lxDocx_init(); };  // HTML values are made through rich text
        QString err;
        switch (docxRenderTemplate(*h->doc, data_json ? QByteArray(data_json) : QByteArray(), options, err)) {
        case DocxTemplateFailure::None:
            return 1;
        case DocxTemplateFailure::Data:
            recordFailure(h, err);
            return 0;
        case DocxTemplateFailure::Template:
            recordFailure(h, LXDOCX_ERR_TEMPLATE, err);
            return 0;
        }
        return 0;
    });
}

LXDOCX_API int lxDocx_set_resource_folder(DocxHandle *h, const char *dir)
{
    return handleCall(h, 0, "setting the resource folder", [&] {
        const QString folder = dir ? QString::fromUtf8(dir) : QString();
        if (!folder.isEmpty() && !QFileInfo(folder).isDir()) {
            recordFailure(h, LXDOCX_ERR_IO, QStringLiteral("No such folder: %1").arg(folder));
            return 0;
        }
        h->resourceFolder = folder.isEmpty() ? QString() : QDir(folder).absolutePath();
        return 1;
    });
}

}  // extern "C"
