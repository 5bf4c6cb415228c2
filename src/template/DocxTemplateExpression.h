#pragma once
// DocxTemplateExpression: one expression of a template tag, parsed once and
// evaluated against the names in force where the tag stands. The language is
// that of our tag syntax: names, dotted paths and [index], string, number,
// list and true/false/none literals, + - * / // % ~, the comparisons
// == != < <= > >=, in and not in, is [not] defined/none, not, and, or,
// parentheses, the methods items() keys() values(), range(), and filters
// after | (default, upper, lower, title, length, join and their like).
#include "DocxTemplateValue.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// The value of a name where an expression is evaluated; undefined when none.
using DocxTemplateNames = std::function<DocxTemplateValue(const QString &name)>;

struct DocxExpressionNode;

class DocxTemplateExpression
{
public:
    DocxTemplateExpression() = default;
    // Parses `text`; isValid() false with errorString() when it does not read.
    explicit DocxTemplateExpression(const QString &text);

    bool isValid() const { return root_ != nullptr; }
    const QString &errorString() const { return error_; }

    // The value; `undefinedNames` (when given) receives each name the
    // evaluation found undefined. A filter the language does not know gives
    // undefined and its name in `unknownFilters`.
    DocxTemplateValue evaluate(const DocxTemplateNames &names, QStringList *undefinedNames = nullptr,
                               QStringList *unknownFilters = nullptr) const;

    // The filter applied last ("html" in `x|upper|html`); empty when none.
    QString outerFilter() const;
    // evaluate() of what the outer filter is given (`x|upper` above).
    DocxTemplateValue evaluateInner(const DocxTemplateNames &names, QStringList *undefinedNames = nullptr,
                                    QStringList *unknownFilters = nullptr) const;
    // The outer filter's arguments: those given by name under their names,
    // the others under "0", "1", ...
    QJsonObject outerFilterArguments(const DocxTemplateNames &names) const;

    // The names a for tag binds (`x` or `key, value`), read from `text`;
    // empty when it is not one or more names separated by commas.
    static QStringList targetNames(const QString &text);

private:
    std::shared_ptr<const DocxExpressionNode> root_;
    QString error_;
};
