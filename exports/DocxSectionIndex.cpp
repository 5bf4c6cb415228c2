// Section indexes as the C interface takes them.
#include "DocxSectionIndex.h"

bool sectionExists(DocxHandle *h, int section)
{
    if (h->doc->sections().exists(section))
        return true;
    const int count = h->doc->sections().count();
    if (count == 0)
        recordFailure(h, LXDOCX_ERR_NOT_FOUND, QStringLiteral("No section %1: the document has no sections (-1 names the last, which an "
                                        "edit adds)")
                             .arg(section));
    else
        recordFailure(h, LXDOCX_ERR_NOT_FOUND, QStringLiteral("No section %1: the document has %2 section%3 (indexes 0 to %4, or -1 for "
                                        "the last)")
                             .arg(section)
                             .arg(count)
                             .arg(count == 1 ? "" : "s")
                             .arg(count - 1));
    return false;
}

QString sectionName(int section)
{
    return section == kLastSection ? QStringLiteral("The last section")
                                   : QStringLiteral("Section %1 (index %2)").arg(section + 1).arg(section);
}
