#pragma once
// Values of template expressions: JSON values (an undefined one where a name
// or key is missing), printed, tested and compared as the template language
// of our tag syntax does (Python's rules: None, True, 3, 2.5, ['a', 'b']).
#include <QJsonArray>
#include <QJsonValue>
#include <QString>

using DocxTemplateValue = QJsonValue;

// The value of a name nothing defines.
inline DocxTemplateValue undefinedValue() { return DocxTemplateValue(QJsonValue::Undefined); }

// The value as text: a string as it is, a whole number without a point,
// true/false as True/False, null as None, lists and objects as Python shows
// them; an undefined value as nothing.
QString printedValue(const DocxTemplateValue &v);
// False for undefined, null, false, 0, "", [] and {}.
bool isTruthy(const DocxTemplateValue &v);
// Equality of numbers by value, of lists and objects member by member.
bool valuesEqual(const DocxTemplateValue &a, const DocxTemplateValue &b);
// -1, 0 or 1 for two numbers or two strings; false in `comparable` otherwise.
int compareValues(const DocxTemplateValue &a, const DocxTemplateValue &b, bool *comparable);
// `needle` in `haystack`: a substring, an element of a list, a key of an object.
bool valueContains(const DocxTemplateValue &haystack, const DocxTemplateValue &needle);
// The member of an object by key, the element of a list or the character of
// a string by index (negative from the end); undefined when there is none.
DocxTemplateValue memberOf(const DocxTemplateValue &v, const DocxTemplateValue &key);
// What a for loop walks: a list's elements, an object's keys, a string's
// characters; empty for anything else.
QJsonArray iterationOf(const DocxTemplateValue &v);
