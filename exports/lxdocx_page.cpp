// Page setup of the document's last section.
#include "DocxDocument.h"
#include "DocxHandle.h"

namespace {

void put(int *out, int value)
{
    if (out)
        *out = value;
}

}  // namespace

extern "C" {

LXDOCX_API int lxDocx_get_margins(DocxHandle *h, int *top, int *bottom, int *left, int *right, int *header,
                                  int *footer, int *gutter, int *mirror)
{
    if (!usable(h))
        return 0;
    const DocxMargins m = h->doc->margins();
    put(top, m.top);
    put(bottom, m.bottom);
    put(left, m.left);
    put(right, m.right);
    put(header, m.header);
    put(footer, m.footer);
    put(gutter, m.gutter);
    put(mirror, m.mirror ? 1 : 0);
    return 1;
}

LXDOCX_API int lxDocx_set_margins(DocxHandle *h, int top, int bottom, int left, int right, int header, int footer,
                                  int gutter, int mirror)
{
    if (!usable(h))
        return 0;
    DocxMargins m;
    m.top = top;
    m.bottom = bottom;
    m.left = left;
    m.right = right;
    m.header = header;
    m.footer = footer;
    m.gutter = gutter;
    m.mirror = mirror != 0;
    return h->doc->setMargins(m) ? 1 : 0;
}

LXDOCX_API int lxDocx_get_title_page(DocxHandle *h)
{
    return usable(h) && h->doc->titlePage() ? 1 : 0;
}

LXDOCX_API int lxDocx_set_title_page(DocxHandle *h, int on)
{
    return usable(h) && h->doc->setTitlePage(on != 0) ? 1 : 0;
}

LXDOCX_API int lxDocx_get_even_and_odd(DocxHandle *h)
{
    return usable(h) && h->doc->evenAndOddHeaders() ? 1 : 0;
}

LXDOCX_API int lxDocx_set_even_and_odd(DocxHandle *h, int on)
{
    return usable(h) && h->doc->setEvenAndOddHeaders(on != 0) ? 1 : 0;
}

LXDOCX_API int lxDocx_set_page_number_format(DocxHandle *h, const char *fmt, int start)
{
    if (!usable(h) || !fmt)
        return 0;
    return h->doc->setPageNumberFormat(QString::fromUtf8(fmt), start) ? 1 : 0;
}

}  // extern "C"
