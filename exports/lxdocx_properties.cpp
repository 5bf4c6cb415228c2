// Core document properties.
#include "DocxDocument.h"
#include "DocxFrame.h"
#include "DocxHandle.h"

extern "C" {

LXDOCX_API const char *lxDocx_get_doc_property(DocxHandle *h, const char *key)
{
    return handleCall(h, "", "reading a document property", [&]() -> const char * {
        if (!key) {
            recordFailure(h, QStringLiteral("No document property named"));
            return "";
        }
        const QString k = QString::fromUtf8(key);
        QString err;
        const QString value = h->doc->coreProperties().value(k, &err);
        if (!err.isEmpty()) {
            recordFailure(h, err);
            return "";
        }
        QByteArray &buffer = h->propertyValues[corePropertyIndex(k)];
        buffer = value.toUtf8();
        return buffer.constData();
    });
}

LXDOCX_API int lxDocx_set_doc_property(DocxHandle *h, const char *key, const char *value)
{
    return handleCall(h, 0, "setting a document property", [&] {
        QString err;
        if (!key || !value)
            err = key ? QStringLiteral("No value given for the document property") : QStringLiteral("No document property named");
        else if (h->doc->coreProperties().setValue(QString::fromUtf8(key), QString::fromUtf8(value), err))
            return 1;
        recordFailure(h, err);
        return 0;
    });
}

}  // extern "C"
