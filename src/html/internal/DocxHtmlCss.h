#pragma once
// CSS as the rich-text reader takes it: declarations and style sheets read
// as a browser reads them, with what the reader does not know left out and
// lengths in the units it does not know given in pixels.
#include <QSet>
#include <QString>
#include <QStringView>

#include <optional>

// The value of the CSS property `name` in declarations ("a:1; b:2"), the
// last one given; null when absent.
QStringView cssValue(QStringView declarations, QLatin1String name);
// `v` is the keyword `what` (in any case, "!important" or not).
bool isCssValue(QStringView v, const char *what);
// A CSS length in pixels (px, pt, pc, in, cm, mm, and em at the page's
// default font size), or none when `v` is no length.
std::optional<double> cssPixels(QStringView v);
// A CSS length of at least 0 in whole pixels, or a percentage ("80%"), as an
// HTML width attribute writes it; empty when it is neither.
QString cssLength(QStringView v);
// The declarations of `declarations` that set margins, padding or the first
// line's indentation and give a length in a unit other than pixels, in their
// order and with the lengths in pixels; empty when there are none.
QString cssBoxInPixels(QStringView declarations);
// The classes and ids the elements of a page carry, in lower case, and the
// classes of Word's list paragraphs made list items: a rule for p.C is one
// for li.C as well when C is one of them.
struct DocxHtmlNames
{
    QSet<QString> classes;
    QSet<QString> ids;
    QSet<QString> itemClasses;
};
DocxHtmlNames htmlNamesOf(QStringView page);
// A style sheet as the reader takes it: the rules it knows (by element,
// class, id and their combinations) with their declarations, without
// comments and markup comment marks, at-rules (@page, @list, @font-face,
// @media, @import), Word's own mso- properties, and rules left empty; box
// lengths are given in pixels. Left out too: selectors that need a class or
// an id no element of the page (`names`) carries (they match nothing, and
// the reader would try each on every element), and what would stop the
// reader reading the rest of the sheet: selectors with a functional
// pseudo-class holding more than a name (":not(.a)", ":nth-child(2)") and
// custom properties ("--gap").
QString readableStyleSheet(QStringView sheet, const DocxHtmlNames &names);
