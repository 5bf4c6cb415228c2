// Page setup of each section; the calls without a section index work on the
// document's last section.
#include "DocxDocument.h"
#include "DocxFrame.h"
#include "DocxHandle.h"
#include "DocxNamespaces.h"
#include "DocxSectionIndex.h"

namespace {

void put(int *out, int value)
{
    if (out)
        *out = value;
}

// A section setter's result; records why when it failed. The last section is
// added when missing, so the only cause left is a document without a body to
// hold one (a section index out of range is refused before).
int sectionSet(DocxHandle *h, bool done, const char *what)
{
    if (done)
        return 1;
    recordFailure(h, LXDOCX_ERR_NOT_FOUND, QStringLiteral("The document has no body to set %1 in").arg(QLatin1String(what)));
    return 0;
}

int getMargins(DocxHandle *h, int section, int *top, int *bottom, int *left, int *right, int *header, int *footer,
               int *gutter, int *mirror)
{
    return handleCall(h, 0, "reading the margins", [&] {
        if (!sectionExists(h, section))
            return 0;
        const DocxMargins m = h->doc->sections().margins(section);
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

int setMargins(DocxHandle *h, int section, const DocxMargins &m)
{
    return handleCall(h, 0, "setting the margins", [&] {
        if (!sectionExists(h, section) || refusedAsStrict(h))
            return 0;
        return sectionSet(h, h->doc->sections().setMargins(section, m), "margins");
    });
}

DocxMargins marginsOf(int top, int bottom, int left, int right, int header, int footer, int gutter, int mirror)
{
    DocxMargins m;
    m.top = top;
    m.bottom = bottom;
    m.left = left;
    m.right = right;
    m.header = header;
    m.footer = footer;
    m.gutter = gutter;
    m.mirror = mirror != 0;
    return m;
}

int getTitlePage(DocxHandle *h, int section)
{
    return handleCall(h, 0, "reading the title page switch", [&] {
        return sectionExists(h, section) && h->doc->sections().titlePage(section) ? 1 : 0;
    });
}

int setTitlePage(DocxHandle *h, int section, int on)
{
    return handleCall(h, 0, "setting the title page switch", [&] {
        if (!sectionExists(h, section) || refusedAsStrict(h))
            return 0;
        return sectionSet(h, h->doc->sections().setTitlePage(section, on != 0), "a title page");
    });
}

int setPageNumberFormat(DocxHandle *h, int section, const char *fmt, int start)
{
    return handleCall(h, 0, "setting the page-number format", [&] {
        if (!fmt) {
            recordFailure(h, QStringLiteral("No page-number format given"));
            return 0;
        }
        if (!sectionExists(h, section) || refusedAsStrict(h))
            return 0;
        const bool done = h->doc->sections().setPageNumberFormat(section, QString::fromUtf8(fmt), start);
        return sectionSet(h, done, "a page-number format");
    });
}

}  // namespace

extern "C" {

LXDOCX_API int lxDocx_section_count(DocxHandle *h)
{
    return handleCall(h, 0, "counting the sections", [&] { return h->doc->sections().count(); });
}

LXDOCX_API int lxDocx_get_margins(DocxHandle *h, int *top, int *bottom, int *left, int *right, int *header,
                                  int *footer, int *gutter, int *mirror)
{
    return getMargins(h, kLastSection, top, bottom, left, right, header, footer, gutter, mirror);
}

LXDOCX_API int lxDocx_get_section_margins(DocxHandle *h, int section, int *top, int *bottom, int *left, int *right,
                                          int *header, int *footer, int *gutter, int *mirror)
{
    return getMargins(h, section, top, bottom, left, right, header, footer, gutter, mirror);
}

LXDOCX_API int lxDocx_set_margins(DocxHandle *h, int top, int bottom, int left, int right, int header, int footer,
                                  int gutter, int mirror)
{
    return setMargins(h, kLastSection, marginsOf(top, bottom, left, right, header, footer, gutter, mirror));
}

LXDOCX_API int lxDocx_set_section_margins(DocxHandle *h, int section, int top, int bottom, int left, int right,
                                          int header, int footer, int gutter, int mirror)
{
    return setMargins(h, section, marginsOf(top, bottom, left, right, header, footer, gutter, mirror));
}

LXDOCX_API int lxDocx_get_page_size(DocxHandle *h, int section, int *width, int *height, int *landscape)
{
    return handleCall(h, 0, "reading the page size", [&] {
        DocxPageSize size;
        if (!sectionExists(h, section))
            return 0;
        if (!h->doc->sections().pageSize(section, size)) {
            recordFailure(h, LXDOCX_ERR_NOT_FOUND, QStringLiteral("%1 gives no page size").arg(sectionName(section)));
            return 0;
        }
        put(width, size.width);
        put(height, size.height);
        put(landscape, size.landscape ? 1 : 0);
        return 1;
    });
}

LXDOCX_API int lxDocx_set_page_size(DocxHandle *h, int section, int width, int height, int landscape)
{
    return handleCall(h, 0, "setting the page size", [&] {
        if (width <= 0 || height <= 0) {
            recordFailure(h, QStringLiteral("The page width and height must be above 0 (given %1 by %2)")
                                 .arg(width)
                                 .arg(height));
            return 0;
        }
        if (!sectionExists(h, section) || refusedAsStrict(h))
            return 0;
        const bool done = h->doc->sections().setPageSize(section, {width, height, landscape != 0});
        return sectionSet(h, done, "a page size");
    });
}

LXDOCX_API int lxDocx_get_title_page(DocxHandle *h) { return getTitlePage(h, kLastSection); }

LXDOCX_API int lxDocx_get_section_title_page(DocxHandle *h, int section) { return getTitlePage(h, section); }

LXDOCX_API int lxDocx_set_title_page(DocxHandle *h, int on) { return setTitlePage(h, kLastSection, on); }

LXDOCX_API int lxDocx_set_section_title_page(DocxHandle *h, int section, int on)
{
    return setTitlePage(h, section, on);
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
    return setPageNumberFormat(h, kLastSection, fmt, start);
}

LXDOCX_API int lxDocx_set_section_page_number_format(DocxHandle *h, int section, const char *fmt, int start)
{
    return setPageNumberFormat(h, section, fmt, start);
}

}  // extern "C"
