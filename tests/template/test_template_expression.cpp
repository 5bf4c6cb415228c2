// Template expressions: what they evaluate to, how values print, what does
// not parse, and which names they find undefined.
#include "DocxTemplateExpression.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

const QJsonObject &data()
{
    static const QJsonObject d = QJsonDocument::fromJson(R"({
        "name": "ada lovelace", "n": 3, "price": 2.5, "zero": 0, "empty": "", "none": null, "yes": true,
        "items": ["pen", "ink", "nib"], "order": {"lines": [{"qty": 2}, {"qty": 5}], "ref": "A-1"},
        "html": "<b>x</b>"})").object();
    return d;
}

QString printed(const QString &expression, QStringList *undefinedNames = nullptr)
{
    const DocxTemplateExpression e(expression);
    EXPECT_TRUE(e.isValid()) << expression.toStdString() << ": " << e.errorString().toStdString();
    const DocxTemplateNames names = [](const QString &name) { return data().value(name); };
    return printedValue(e.evaluate(names, undefinedNames));
}

}  // namespace

TEST(TemplateExpression, EvaluatesAsTheTagLanguageDoes)
{
    const QList<std::pair<const char *, const char *>> cases = {
        // paths, indexes, literals and how values print
        {"name", "ada lovelace"}, {"order.ref", "A-1"}, {"order.lines[1].qty", "5"}, {"items[-1]", "nib"},
        {"order['ref']", "A-1"}, {"items.0", "pen"}, {"n", "3"}, {"price", "2.5"}, {"none", "None"}, {"yes", "True"},
        {"items", "['pen', 'ink', 'nib']"}, {"'it''s' ~ \"!\"", "its!"}, {"[1, 'a']", "[1, 'a']"}, {"missing", ""},
        // arithmetic and comparison
        {"n * price + 1", "8.5"}, {"7 // 2", "3"}, {"-7 % 3", "2"}, {"n / 2", "1.5"}, {"(n + 1) * 2", "8"},
        {"n == 3", "True"}, {"n != 3.0", "False"}, {"name < 'b'", "True"}, {"n >= 4", "False"}, {"'ink' in items", "True"},
        {"'x' not in items", "True"}, {"'love' in name", "True"}, {"'ref' in order", "True"},
        // truth, and/or giving their operands, tests
        {"not empty", "True"}, {"zero or 'fallback'", "fallback"}, {"n and name", "ada lovelace"}, {"not none and yes", "True"},
        {"missing is defined", "False"}, {"name is not none", "True"}, {"n is odd", "True"},
        // filters and methods
        {"name|title", "Ada Lovelace"}, {"name|upper", "ADA LOVELACE"}, {"'ABC'|lower", "abc"}, {"items|length", "3"},
        {"items|join(', ')", "pen, ink, nib"}, {"missing|default('none given')", "none given"}, {"empty|default('x')", ""},
        {"empty|default('x', true)", "x"}, {"name|capitalize", "Ada lovelace"}, {"items|first|upper", "PEN"},
        {"order.lines|join('+', attribute='qty')", "2+5"}, {"2.7|round", "3"}, {"2.5|round", "2"}, {"'3.7'|int", "3"}, {"name|replace('a', 'o')", "odo loveloce"},
        {"name.upper()", "ADA LOVELACE"}, {"order.items()|length", "2"}, {"range(3)|join", "012"}, {"items|count", "3"},
    };
    for (const auto &[expression, expected] : cases)
        EXPECT_EQ(printed(expression), expected) << expression;
}

TEST(TemplateExpression, ReportsWhatItCannotReadOrFind)
{
    for (const char *bad : {"", "n +", "(n", "items[0", "'open", "a b", "x | ", "n ==", "a.", "\xe2\x82\xac"})
        EXPECT_FALSE(DocxTemplateExpression(QString::fromUtf8(bad)).isValid()) << bad;
    EXPECT_FALSE(DocxTemplateExpression(QString(300, '(') + "1" + QString(300, ')')).isValid());

    QStringList undefinedNames;
    printed("missing ~ order.nothing ~ order.ref ~ (other is defined) ~ (gone|default(1))", &undefinedNames);
    EXPECT_EQ(undefinedNames, QStringList({"missing", "order.nothing"}));

    const DocxTemplateExpression image("logo|image(width='4cm', height=3)");
    ASSERT_TRUE(image.isValid());
    EXPECT_EQ(image.outerFilter(), "image");
    const DocxTemplateNames names = [](const QString &name) { return data().value(name); };
    EXPECT_EQ(image.outerFilterArguments(names), QJsonObject({{"width", "4cm"}, {"height", 3}}));
    EXPECT_EQ(DocxTemplateExpression::targetNames(" key , value "), QStringList({"key", "value"}));
    EXPECT_TRUE(DocxTemplateExpression::targetNames("a.b").isEmpty());
}
