// Core document properties.
#include "DocxDocument.h"
#include "DocxFrame.h"
#include "DocxHandle.h"

namespace {

// An unknown key is not found; a known one fails on a properties part that
// does not read.
int propertyFailureCode(const QString &key)
{
    return corePropertyIndex(key) < 0 ? LXDOCX_ERR_NOT_FOUND : LXDOCX_ERR_REFUSED_INPUT;
}

}  // namespace

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
            recordFailure(h, propertyFailureCode(k), err);
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
        if (!key || !value) {
            recordFailure(h, key ? QStringLiteral("No value given for the document property")
                                 : QStringLiteral("No document property named"));
            return 0;
        }
        const QString k = QString::fromUtf8(key);
        QString err;
        if (h->doc->coreProperties().setValue(k, QString::fromUtf8(value), err))
            return 1;
        recordFailure(h, propertyFailureCode(k), err);
        return 0;
    });
}

}  // extern "C"
