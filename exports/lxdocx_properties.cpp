// Core document properties.
#include "DocxDocument.h"
#include "DocxHandle.h"

extern "C" {

LXDOCX_API const char *lxDocx_get_doc_property(DocxHandle *h, const char *key)
{
    if (!usable(h) || !key)
        return "";
    const QString k = QString::fromUtf8(key);
    QByteArray &buffer = h->propertyValues[k];
    buffer = h->doc->docProperty(k).toUtf8();
    return buffer.constData();
}

LXDOCX_API int lxDocx_set_doc_property(DocxHandle *h, const char *key, const char *value)
{
    if (!usable(h) || !key || !value)
        return 0;
    return h->doc->setDocProperty(QString::fromUtf8(key), QString::fromUtf8(value)) ? 1 : 0;
}

}  // extern "C"
