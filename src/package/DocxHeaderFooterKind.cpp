#include "DocxHeaderFooterKind.h"

QString hfKindName(DocxHFKind kind)
{
    switch (kind) {
    case DocxHFKind::Even: return QStringLiteral("even");
    case DocxHFKind::First: return QStringLiteral("first");
    case DocxHFKind::Default: break;
    }
    return QStringLiteral("default");
}
