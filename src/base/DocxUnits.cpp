#include "DocxUnits.h"

#include <QString>

#include <climits>
#include <cmath>
#include <cstring>

bool readMeasure(QStringView text, int unitsPerPoint, int *out)
{
    bool ok = false;
    const int whole = text.toInt(&ok);
    if (ok) {
        *out = whole;
        return true;
    }
    static const struct
    {
        const char *unit;
        double points;
    } units[] = {{"pt", 1.0}, {"in", 72.0}, {"cm", 72.0 / 2.54}, {"mm", 72.0 / 25.4}, {"pc", 12.0}, {"pi", 12.0}};
    for (const auto &u : units) {
        if (!text.endsWith(QLatin1String(u.unit)))
            continue;
        const double value = text.chopped(qsizetype(std::strlen(u.unit))).toDouble(&ok) * u.points * unitsPerPoint;
        if (!ok || !std::isfinite(value) || std::fabs(value) > double(INT_MAX))
            return false;
        *out = int(std::lround(value));
        return true;
    }
    return false;
}
