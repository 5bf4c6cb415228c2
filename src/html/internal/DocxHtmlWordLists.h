#pragma once
// Word's lists, as it puts them on the clipboard, made HTML lists.
#include <QSet>
#include <QString>

// Word writes a list item as a paragraph styled "mso-list:l0 level2 lfo1"
// (the list, its level, its instance) whose label is text in a span styled
// "mso-list:Ignore". Here runs of such paragraphs become nested <ul> and <ol>
// lists, one per list instance and level, each labelled as the first label
// of its level reads ("1." decimal, "a)" letters, "iv." roman numbers, any
// other text a bullet: "o" a circle, "§" a square), starting at that label's
// number; the label spans are hidden and the paragraphs' own indents left
// to the lists. A page without such paragraphs is returned as it is.
// `itemClasses` gets the classes (in lower case) of the paragraphs made list
// items, which the page's style sheet gives rules for as paragraphs.
QString wordListsAsLists(const QString &page, QSet<QString> &itemClasses);
