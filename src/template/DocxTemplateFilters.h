#pragma once
// The filters of template expressions (`value|name(args)`) and the functions
// they can call (range).
#include "DocxTemplateValue.h"

#include <QList>
#include <QString>

// The filter's arguments: positional ones in order, then those given by name.
struct DocxFilterArguments
{
    QList<DocxTemplateValue> positional;
    QList<QPair<QString, DocxTemplateValue>> named;

    // The argument at `index`, or the one called `name`; `fallback` when neither is given.
    DocxTemplateValue value(int index, const QString &name, const DocxTemplateValue &fallback = undefinedValue()) const;
};

// True for the filters the language knows.
bool isKnownFilter(const QString &name);
// True for the filters whose input may be undefined without that being an
// undefined name (default).
bool acceptsUndefined(const QString &name);
// `input` passed through the filter `name`.
DocxTemplateValue applyFilter(const QString &name, const DocxTemplateValue &input, const DocxFilterArguments &args);
// range(stop), range(start, stop[, step]) as a list; at most a million numbers.
DocxTemplateValue rangeOf(const QList<DocxTemplateValue> &args);
