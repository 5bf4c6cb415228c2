#pragma once
// Preparing an HTML page for the rich-text reader.
#include <QString>

// The page as the rich-text reader should see it, with what the reader would
// lose or take too long over made plain: Word's clipboard lists (see
// wordListsAsLists), style sheets and box lengths in units the reader does
// not know (see readableStyleSheet, cssBoxInPixels), the first number of an ordered list
// (start), <del>, <strike>, <ins> and <mark>, elements hidden with
// display:none or the hidden attribute, justified text, CSS widths and
// borders of tables and cells, a first row of header cells, row and column
// spans (clamped to the rows and columns the table has, and to
// kMaxHtmlSpan), and elements nested deeper than kMaxHtmlDepth (their tags
// are left out, their content stays). One pass over the text.
QString prepareHtml(const QString &html);
inline constexpr int kMaxHtmlSpan = 1000;
inline constexpr int kMaxHtmlDepth = 200;
