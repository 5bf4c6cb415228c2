// Header and footer parts, and header/footer XML built from text.
#include "DocxDocument.h"
#include "DocxFrame.h"
#include "DocxHandle.h"

#include <cstring>

namespace {

thread_local QByteArray t_hfXml;

HFType kindOf(int kind)
{
    return kind == LXDOCX_HF_EVEN ? HFEven : kind == LXDOCX_HF_FIRST ? HFFirst : HFDefault;
}

const char *partWord(bool isHeader) { return isHeader ? "header" : "footer"; }

// Keeps `bytes` in `buffer` and hands out its data: null when empty.
const char *hand(QByteArray &buffer, const QByteArray &bytes, int *outLen)
{
    buffer = bytes;
    setOutLen(outLen, int(buffer.size()));
    return buffer.isEmpty() ? nullptr : buffer.constData();
}

const char *getPart(DocxHandle *h, bool isHeader, int kind, int *outLen)
{
    setOutLen(outLen, 0);
    return handleCall<const char *>(h, nullptr, "reading a header or footer", [&] {
        const HFType type = kindOf(kind);
        return isHeader ? hand(h->headerXml, h->doc->headerPart(type), outLen)
                        : hand(h->footerXml, h->doc->footerPart(type), outLen);
    });
}

// Why storing a well-formed part failed: no part name left, or a
// relationships part that cannot be read.
QString whyNotStored(const DocxDocument &doc, bool isHeader, HFType type, const QByteArray &bytes)
{
    QString err;
    if (!checkXml(bytes, err))
        return QStringLiteral("The %1 XML is not well-formed: %2").arg(QLatin1String(partWord(isHeader)), err);
    if (doc.findHFReference(isHeader, type).isEmpty() && doc.nextHFPartName(isHeader).isEmpty())
        return QStringLiteral("Cannot add a %1: every %1 part name (1 to 99) is taken")
            .arg(QLatin1String(partWord(isHeader)));
    return QStringLiteral("Cannot add a %1: the document's relationships cannot be read")
        .arg(QLatin1String(partWord(isHeader)));
}

int setPart(DocxHandle *h, bool isHeader, int kind, const char *xml, int len)
{
    return handleCall(h, 0, "storing a header or footer", [&] {
        if (!xml || len == 0) {
            recordFailure(h, QStringLiteral("No %1 XML given").arg(QLatin1String(partWord(isHeader))));
            return 0;
        }
        if (refusedAsStrict(h))
            return 0;
        const QByteArray bytes(xml, len < 0 ? qsizetype(std::strlen(xml)) : qsizetype(len));
        const HFType type = kindOf(kind);
        if (isHeader ? h->doc->setHeaderPart(type, bytes) : h->doc->setFooterPart(type, bytes))
            return 1;
        recordFailure(h, whyNotStored(*h->doc, isHeader, type, bytes));
        return 0;
    });
}

}  // namespace

extern "C" {

LXDOCX_API const char *lxDocx_get_header_xml(DocxHandle *h, int kind, int *out_len)
{
    return getPart(h, true, kind, out_len);
}

LXDOCX_API const char *lxDocx_get_footer_xml(DocxHandle *h, int kind, int *out_len)
{
    return getPart(h, false, kind, out_len);
}

LXDOCX_API int lxDocx_set_header_xml(DocxHandle *h, int kind, const char *xml, int len)
{
    return setPart(h, true, kind, xml, len);
}

LXDOCX_API int lxDocx_set_footer_xml(DocxHandle *h, int kind, const char *xml, int len)
{
    return setPart(h, false, kind, xml, len);
}

LXDOCX_API const char *lxDocx_build_hf_xml(int is_header, const char *text, const char *align, int *out_len)
{
    setOutLen(out_len, 0);
    return libraryCall<const char *>(nullptr, "building header or footer XML", [&]() -> const char * {
        if (!text || !align)
            return nullptr;
        return hand(t_hfXml,
                    DocxDocument::buildHFXml(is_header != 0, QString::fromUtf8(text), QString::fromUtf8(align)),
                    out_len);
    });
}

}  // extern "C"
