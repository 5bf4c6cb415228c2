// Header and footer parts, and header/footer XML built from text.
#include "DocxDocument.h"
#include "DocxHandle.h"

#include <cstring>

namespace {

thread_local QByteArray t_hfXml;

HFType kindOf(int kind)
{
    return kind == 1 ? HFEven : kind == 2 ? HFFirst : HFDefault;
}

// Keeps `bytes` in `buffer` and hands out its data: null when empty.
const char *hand(QByteArray &buffer, const QByteArray &bytes, int *outLen)
{
    buffer = bytes;
    setOutLen(outLen, int(buffer.size()));
    return buffer.isEmpty() ? nullptr : buffer.constData();
}

const char *getPart(DocxHandle *h, bool isHeader, int kind, int *outLen)
{
    if (!usable(h)) {
        setOutLen(outLen, 0);
        return nullptr;
    }
    const HFType type = kindOf(kind);
    return isHeader ? hand(h->headerXml, h->doc->headerPart(type), outLen)
                    : hand(h->footerXml, h->doc->footerPart(type), outLen);
}

int setPart(DocxHandle *h, bool isHeader, int kind, const char *xml, int len)
{
    if (!usable(h) || !xml || len == 0)
        return 0;
    const QByteArray bytes(xml, len < 0 ? qsizetype(std::strlen(xml)) : qsizetype(len));
    const HFType type = kindOf(kind);
    const bool stored = isHeader ? h->doc->setHeaderPart(type, bytes) : h->doc->setFooterPart(type, bytes);
    return stored ? 1 : 0;
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
    if (!text || !align) {
        setOutLen(out_len, 0);
        return nullptr;
    }
    return hand(t_hfXml,
                DocxDocument::buildHFXml(is_header != 0, QString::fromUtf8(text), QString::fromUtf8(align)),
                out_len);
}

}  // extern "C"
