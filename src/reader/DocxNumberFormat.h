#pragma once
// Numbers written in the formats of lists and page numbers.
#include <QString>

// `n` in a number format of lists and page numbers (w:numFmt); formats without
// a rendering of their own, and numbers a format cannot write, in decimal digits.
QString numberText(int n, const QString &numFmt);
