// Page setup of the document's last section.
#include "DocxDocument.h"
#include "DocxFrame.h"
#include "DocxHandle.h"
#include "DocxNamespaces.h"

namespace {

void put(int *out, int value)
{
    if (out)
        *out = value;
}

// A section setter's result; records why when it failed. A missing section is
// added, so the only cause is a document without a body to hold one.
int sectionSet(DocxHandle *h, bool done, const char *what)
{
    if (done)
        return 1;
    recordFailure(h, LXDOCX_ERR_NOT_FOUND, QStringLiteral("The document has no body to set %1 in").arg(QLatin1String(what)));
    return 0;
}

}  // namespace

extern "C" {

LXDOCX_API int lxDocx_get_margins(DocxHandle *h, int *top, int *bottom, int *left, int *right, int *header,
                                  int *footer, int *gutter, int *mirror)
{
    return handleCall(h, 0, "reading the margins", [&] {
        const DocxMargins m = h->doc->sections().margins();
        put(top, m.top);
        put(bottom, m.bottom);
        put(left, m.left);
        put(right, m.right);
        put(header, m.header);
        put(footer, m.footer);
        put(gutter, m.gutter);
        put(mirror, m.mirror ? 1 : 0);
        return 1;
    });
}

LXDOCX_API int lxDocx_set_margins(DocxHandle *h, int top, int bottom, int left, int right, int header, int footer,
                                  int gutter, int mirror)
{
    return handleCall(h, 0, "setting the margins", [&] {
        DocxMargins m;
        m.top = top;
        m.bottom = bottom;
        m.left = left;
        m.right = right;
        m.header = header;
        m.footer = footer;
        m.gutter = gutter;
        m.mirror = mirror != 0;
        if (refusedAsStrict(h))
            return 0;
        return sectionSet(h, h->doc->sections().setMargins(m), "margins");
    });
}

LXDOCX_API int lxDocx_get_title_page(DocxHandle *h)
{
    return handleCall(h, 0, "reading the title page switch", [&] { return h->doc->sections().titlePage() ? 1 : 0; });
}

LXDOCX_API int lxDocx_set_title_page(DocxHandle *h, int on)
{
    return handleCall(h, 0, "setting the title page switch", [&] {
        if (refusedAsStrict(h))
            return 0;
        return sectionSet(h, h->doc->sections().setTitlePage(on != 0), "a title page");
    });
}

LXDOCX_API int lxDocx_get_even_and_odd(DocxHandle *h)
{
    return handleCall(h, 0, "reading the even and odd headers switch",
                      [&] { return h->doc->sections().evenAndOddHeaders() ? 1 : 0; });
}

LXDOCX_API int lxDocx_set_even_and_odd(DocxHandle *h, int on)
{
    return handleCall(h, 0, "setting the even and odd headers switch", [&] {
        if (refusedAsStrict(h))
            return 0;
        QString err;
        if (h->doc->sections().setEvenAndOddHeaders(on != 0, err))
            return 1;
        // No settings part to hold the switch, or one that does not read.
        const bool hasSettings = h->doc->package().entries().contains(QString::fromLatin1(kPartSettings));
        recordFailure(h, hasSettings ? LXDOCX_ERR_REFUSED_INPUT : LXDOCX_ERR_NOT_FOUND, err);
        return 0;
    });
}

LXDOCX_API int lxDocx_set_page_number_format(DocxHandle *h, const char *fmt, int start)
{
    return handleCall(h, 0, "setting the page-number format", [&] {
        if (!fmt) {
            recordFailure(h, QStringLiteral("No page-number format given"));
            return 0;
        }
        if (refusedAsStrict(h))
            return 0;
        const bool done = h->doc->sections().setPageNumberFormat(QString::fromUtf8(fmt), start);
        return sectionSet(h, done, "a page-number format");
    });
}

}  // extern "C"
