// Header and footer parts, and header/footer XML built from text.
#include "DocxDocument.h"
#include "DocxFrame.h"
#include "DocxHandle.h"
#include "DocxSectionIndex.h"

#include <cstring>

namespace {

thread_local QByteArray t_hfXml;

DocxHFKind kindOf(int kind)
{
    if (kind == LXDOCX_HF_EVEN)
        return DocxHFKind::Even;
    return kind == LXDOCX_HF_FIRST ? DocxHFKind::First : DocxHFKind::Default;
}

const char *partWord(DocxHFPart part) { return part == DocxHFPart::Header ? "header" : "footer"; }

// Keeps `bytes` in `buffer` and hands out its data: null when empty.
const char *hand(QByteArray &buffer, const QByteArray &bytes, int *outLen)
{
    buffer = bytes;
    setOutLen(outLen, int(buffer.size()));
    return buffer.isEmpty() ? nullptr : buffer.constData();
}

const char *getPart(DocxHandle *h, DocxHFPart part, int section, int kind, int *outLen)
{
    setOutLen(outLen, 0);
    return handleCall<const char *>(h, nullptr, "reading a header or footer", [&]() -> const char * {
        if (!sectionExists(h, section))
            return nullptr;
        QByteArray &buffer = part == DocxHFPart::Header ? h->headerXml : h->footerXml;
        return hand(buffer, h->doc->headersFooters().part(part, kindOf(kind), section), outLen);
    });
}

// Why storing a well-formed part failed: no part name left, or a
// relationships part that cannot be read.
QString whyNotStored(const DocxDocument &doc, DocxHFPart part, DocxHFKind kind, int section, const QByteArray &bytes)
{
    QString err;
    if (!checkXml(bytes, err))
        return QStringLiteral("The %1 XML is not well-formed: %2").arg(QLatin1String(partWord(part)), err);
    if (doc.headersFooters().findReference(part, kind, section).isEmpty()
        && doc.headersFooters().nextPartName(part).isEmpty())
        return QStringLiteral("Cannot add a %1: every %1 part name (1 to 99) is taken")
            .arg(QLatin1String(partWord(part)));
    return QStringLiteral("Cannot add a %1: the document's relationships cannot be read")
        .arg(QLatin1String(partWord(part)));
}

int setPart(DocxHandle *h, DocxHFPart part, int section, int kind, const char *xml, int len)
{
    return handleCall(h, 0, "storing a header or footer", [&] {
        if (!xml || len == 0) {
            recordFailure(h, QStringLiteral("No %1 XML given").arg(QLatin1String(partWord(part))));
            return 0;
        }
        if (!sectionExists(h, section) || refusedAsStrict(h))
            return 0;
        const QByteArray bytes(xml, len < 0 ? qsizetype(std::strlen(xml)) : qsizetype(len));
        const DocxHFKind hfKind = kindOf(kind);
        if (h->doc->headersFooters().setPart(part, hfKind, bytes, section))
            return 1;
        recordFailure(h, whyNotStored(*h->doc, part, hfKind, section, bytes));
        return 0;
    });
}

}  // namespace

extern "C" {

LXDOCX_API const char *lxDocx_get_header_xml(DocxHandle *h, int kind, int *out_len)
{
    return getPart(h, DocxHFPart::Header, kLastSection, kind, out_len);
}

LXDOCX_API const char *lxDocx_get_footer_xml(DocxHandle *h, int kind, int *out_len)
{
    return getPart(h, DocxHFPart::Footer, kLastSection, kind, out_len);
}

LXDOCX_API const char *lxDocx_get_section_header_xml(DocxHandle *h, int section, int kind, int *out_len)
{
    return getPart(h, DocxHFPart::Header, section, kind, out_len);
}

LXDOCX_API const char *lxDocx_get_section_footer_xml(DocxHandle *h, int section, int kind, int *out_len)
{
    return getPart(h, DocxHFPart::Footer, section, kind, out_len);
}

LXDOCX_API int lxDocx_set_header_xml(DocxHandle *h, int kind, const char *xml, int len)
{
    return setPart(h, DocxHFPart::Header, kLastSection, kind, xml, len);
}

LXDOCX_API int lxDocx_set_footer_xml(DocxHandle *h, int kind, const char *xml, int len)
{
    return setPart(h, DocxHFPart::Footer, kLastSection, kind, xml, len);
}

LXDOCX_API int lxDocx_set_section_header_xml(DocxHandle *h, int section, int kind, const char *xml, int len)
{
    return setPart(h, DocxHFPart::Header, section, kind, xml, len);
}

LXDOCX_API int lxDocx_set_section_footer_xml(DocxHandle *h, int section, int kind, const char *xml, int len)
{
    return setPart(h, DocxHFPart::Footer, section, kind, xml, len);
}

LXDOCX_API const char *lxDocx_get_section_hf_part(DocxHandle *h, int section, int is_header, int kind)
{
    return handleCall<const char *>(h, nullptr, "reading a header or footer", [&]() -> const char * {
        if (!sectionExists(h, section))
            return nullptr;
        const DocxHFPart part = is_header != 0 ? DocxHFPart::Header : DocxHFPart::Footer;
        h->hfPartName = h->doc->headersFooters().shownPartName(part, kindOf(kind), section).toUtf8();
        return h->hfPartName.isEmpty() ? nullptr : h->hfPartName.constData();
    });
}

LXDOCX_API const char *lxDocx_build_hf_xml(int is_header, const char *text, const char *align, int *out_len)
{
    setOutLen(out_len, 0);
    return libraryCall<const char *>(nullptr, "building header or footer XML", [&]() -> const char * {
        if (!text || !align)
            return nullptr;
        const DocxHFPart part = is_header != 0 ? DocxHFPart::Header : DocxHFPart::Footer;
        return hand(t_hfXml, DocxHeadersFooters::buildXml(part, QString::fromUtf8(text), QString::fromUtf8(align)),
                    out_len);
    });
}

}  // extern "C"
