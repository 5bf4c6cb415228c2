// Parsing and evaluating template expressions.
#include "DocxTemplateExpression.h"

#include "DocxTemplateFilters.h"

#include <QJsonArray>
#include <QRegularExpression>

#include <cmath>

// One node of a parsed expression.
struct DocxExpressionNode
{
    enum Kind { Literal, Name, Member, List, Not, Negate, Binary, Filter, Test, Method, Call };
    Kind kind = Literal;
    QString text;  // the name, operator, filter, test or method
    DocxTemplateValue value;  // of a literal
    QList<std::shared_ptr<const DocxExpressionNode>> children;  // operands; the input first for filters
    QStringList argNames;  // of children[1...] of filters and calls: empty for positional ones
    bool negated = false;  // `is not`
};

namespace {

using Node = DocxExpressionNode;
using NodePtr = std::shared_ptr<const Node>;

// Operands nested deeper than this make the expression refused.
constexpr int kDeepestNesting = 100;

struct Token
{
    enum Kind { End, Name, Number, String, Op };
    Kind kind = End;
    QString text;
    double number = 0;
};

// Splits an expression into tokens; false with `err` at a character that
// starts none.
bool tokenize(const QString &s, QList<Token> &tokens, QString &err)
{
    static const QStringList twoCharOps = {"==", "!=", "<=", ">=", "//"};
    static const QString oneCharOps = QStringLiteral("<>+-*/%~|.,()[]=");
    qsizetype i = 0;
    while (i < s.size()) {
        const QChar c = s.at(i);
        if (c.isSpace()) {
            ++i;
        } else if (c.isLetter() || c == QLatin1Char('_')) {
            qsizetype j = i;
            while (j < s.size() && (s.at(j).isLetterOrNumber() || s.at(j) == QLatin1Char('_')))
                ++j;
            tokens.append(Token{Token::Name, s.mid(i, j - i)});
            i = j;
        } else if (c.isDigit()) {
            qsizetype j = i;
            while (j < s.size() && (s.at(j).isDigit() || s.at(j) == QLatin1Char('_')))
                ++j;
            if (j + 1 < s.size() && s.at(j) == QLatin1Char('.') && s.at(j + 1).isDigit()) {
                for (++j; j < s.size() && s.at(j).isDigit();)
                    ++j;
            }
            const QString digits = s.mid(i, j - i).remove(QLatin1Char('_'));
            tokens.append(Token{Token::Number, digits, digits.toDouble()});
            i = j;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            QString text;
            qsizetype j = i + 1;
            for (; j < s.size() && s.at(j) != c; ++j) {
                if (s.at(j) == QLatin1Char('\\') && j + 1 < s.size()) {
                    const QChar e = s.at(++j);
                    text += e == QLatin1Char('n') ? QChar('\n') : e == QLatin1Char('t') ? QChar('\t') : e;
                } else {
                    text += s.at(j);
                }
            }
            if (j >= s.size()) {
                err = QStringLiteral("a string is not closed");
                return false;
            }
            tokens.append(Token{Token::String, text});
            i = j + 1;
        } else if (twoCharOps.contains(s.mid(i, 2))) {
            tokens.append(Token{Token::Op, s.mid(i, 2)});
            i += 2;
        } else if (oneCharOps.contains(c)) {
            tokens.append(Token{Token::Op, QString(c)});
            ++i;
        } else {
            err = QStringLiteral("unexpected character '%1'").arg(c);
            return false;
        }
    }
    tokens.append(Token{Token::End, {}});
    return true;
}

NodePtr makeNode(Node::Kind kind, const QString &text, QList<NodePtr> children = {})
{
    auto n = std::make_shared<Node>();
    n->kind = kind;
    n->text = text;
    n->children = std::move(children);
    return n;
}

NodePtr literal(const DocxTemplateValue &v)
{
    auto n = std::make_shared<Node>();
    n->kind = Node::Literal;
    n->value = v;
    return n;
}

// A recursive-descent parser, lowest precedence first.
class Parser
{
public:
    explicit Parser(const QList<Token> &tokens) : tokens_(tokens) {}

    NodePtr parseAll(QString &err)
    {
        NodePtr n = orExpr();
        if (!error_.isEmpty() || peek().kind != Token::End) {
            err = error_.isEmpty() ? QStringLiteral("unexpected '%1'").arg(peek().text) : error_;
            return nullptr;
        }
        return n;
    }

private:
    const Token &peek(int ahead = 0) const { return tokens_.at(qMin(pos_ + ahead, tokens_.size() - 1)); }
    bool isOp(const char *op, int ahead = 0) const { return peek(ahead).kind == Token::Op && peek(ahead).text == QLatin1String(op); }
    bool isWord(const char *w, int ahead = 0) const { return peek(ahead).kind == Token::Name && peek(ahead).text == QLatin1String(w); }
    bool takeOp(const char *op)
    {
        if (!isOp(op))
            return false;
        ++pos_;
        return true;
    }
    bool takeWord(const char *w)
    {
        if (!isWord(w))
            return false;
        ++pos_;
        return true;
    }
    NodePtr fail(const QString &why)
    {
        if (error_.isEmpty())
            error_ = why;
        pos_ = tokens_.size() - 1;
        return literal(undefinedValue());
    }
    NodePtr expect(const char *op, NodePtr n)
    {
        return takeOp(op) ? n : fail(QStringLiteral("'%1' expected").arg(QLatin1String(op)));
    }

    struct Depth
    {
        Parser &p;
        explicit Depth(Parser &parser) : p(parser) { ++p.depth_; }
        ~Depth() { --p.depth_; }
    };

    NodePtr orExpr()
    {
        Depth d(*this);
        if (depth_ > kDeepestNesting)
            return fail(QStringLiteral("the expression is nested too deeply"));
        NodePtr n = andExpr();
        while (takeWord("or"))
            n = makeNode(Node::Binary, QStringLiteral("or"), {n, andExpr()});
        return n;
    }
    NodePtr andExpr()
    {
        NodePtr n = notExpr();
        while (takeWord("and"))
            n = makeNode(Node::Binary, QStringLiteral("and"), {n, notExpr()});
        return n;
    }
    NodePtr notExpr()
    {
        if (takeWord("not")) {
            Depth d(*this);
            if (depth_ > kDeepestNesting)
                return fail(QStringLiteral("the expression is nested too deeply"));
            return makeNode(Node::Not, {}, {notExpr()});
        }
        return comparison();
    }
    NodePtr comparison()
    {
        NodePtr n = concat();
        for (;;) {
            if (peek().kind == Token::Op && QStringList{"==", "!=", "<", "<=", ">", ">="}.contains(peek().text)) {
                const QString op = tokens_.at(pos_++).text;
                n = makeNode(Node::Binary, op, {n, concat()});
            } else if (takeWord("in")) {
                n = makeNode(Node::Binary, QStringLiteral("in"), {n, concat()});
            } else if (isWord("not") && isWord("in", 1)) {
                pos_ += 2;
                n = makeNode(Node::Not, {}, {makeNode(Node::Binary, QStringLiteral("in"), {n, concat()})});
            } else if (takeWord("is")) {
                const bool negated = takeWord("not");
                if (peek().kind != Token::Name)
                    return fail(QStringLiteral("a test name expected after 'is'"));
                auto t = std::make_shared<Node>();
                t->kind = Node::Test;
                t->text = tokens_.at(pos_++).text;
                t->negated = negated;
                t->children = {n};
                n = t;
            } else {
                return n;
            }
        }
    }
    NodePtr concat()
    {
        NodePtr n = additive();
        while (takeOp("~"))
            n = makeNode(Node::Binary, QStringLiteral("~"), {n, additive()});
        return n;
    }
    NodePtr additive()
    {
        NodePtr n = multiplicative();
        while (isOp("+") || isOp("-")) {
            const QString op = tokens_.at(pos_++).text;
            n = makeNode(Node::Binary, op, {n, multiplicative()});
        }
        return n;
    }
    NodePtr multiplicative()
    {
        NodePtr n = unary();
        while (isOp("*") || isOp("/") || isOp("//") || isOp("%")) {
            const QString op = tokens_.at(pos_++).text;
            n = makeNode(Node::Binary, op, {n, unary()});
        }
        return n;
    }
    NodePtr unary()
    {
        if (takeOp("-")) {
            Depth d(*this);
            if (depth_ > kDeepestNesting)
                return fail(QStringLiteral("the expression is nested too deeply"));
            return makeNode(Node::Negate, {}, {unary()});
        }
        takeOp("+");
        return filtered(postfix(primary()));
    }
    // Arguments in parentheses after a filter, method or function; the opening
    // one is taken already.
    void arguments(Node &call)
    {
        if (takeOp(")"))
            return;
        do {
            QString name;
            if (peek().kind == Token::Name && isOp("=", 1)) {
                name = peek().text;
                pos_ += 2;
            }
            call.argNames << name;
            call.children << orExpr();
        } while (takeOp(","));
        expect(")", nullptr);
    }
    NodePtr filtered(NodePtr n)
    {
        while (takeOp("|")) {
            if (peek().kind != Token::Name)
                return fail(QStringLiteral("a filter name expected after '|'"));
            auto f = std::make_shared<Node>();
            f->kind = Node::Filter;
            f->text = tokens_.at(pos_++).text;
            f->children = {n};
            if (takeOp("("))
                arguments(*f);
            n = f;
        }
        return n;
    }
    NodePtr postfix(NodePtr n)
    {
        for (;;) {
            if (takeOp(".")) {
                if (peek().kind != Token::Name && peek().kind != Token::Number)
                    return fail(QStringLiteral("a name expected after '.'"));
                const Token t = tokens_.at(pos_++);
                if (takeOp("(")) {
                    auto m = std::make_shared<Node>();
                    m->kind = Node::Method;
                    m->text = t.text;
                    m->children = {n};
                    arguments(*m);
                    n = m;
                } else {
                    n = makeNode(Node::Member, {}, {n, literal(t.kind == Token::Number ? DocxTemplateValue(t.number) : DocxTemplateValue(t.text))});
                }
            } else if (takeOp("[")) {
                NodePtr key = orExpr();
                n = expect("]", makeNode(Node::Member, {}, {n, key}));
            } else {
                return n;
            }
        }
    }
    NodePtr primary()
    {
        const Token t = peek();
        ++pos_;
        switch (t.kind) {
        case Token::Number:
            return literal(t.number);
        case Token::String: {
            QString s = t.text;
            while (peek().kind == Token::String)
                s += tokens_.at(pos_++).text;
            return literal(s);
        }
        case Token::Name:
            return nameOrConstant(t.text);
        case Token::Op:
            if (t.text == QLatin1String("("))
                return expect(")", orExpr());
            if (t.text == QLatin1String("["))
                return listLiteral();
            break;
        case Token::End:
            return fail(QStringLiteral("the expression ends too soon"));
        }
        return fail(QStringLiteral("unexpected '%1'").arg(t.text));
    }
    NodePtr nameOrConstant(const QString &name)
    {
        if (name == QLatin1String("true") || name == QLatin1String("True"))
            return literal(true);
        if (name == QLatin1String("false") || name == QLatin1String("False"))
            return literal(false);
        if (name == QLatin1String("none") || name == QLatin1String("None"))
            return literal(QJsonValue::Null);
        if (takeOp("(")) {
            auto call = std::make_shared<Node>();
            call->kind = Node::Call;
            call->text = name;
            call->children = {literal(undefinedValue())};  // calls have no input
            arguments(*call);
            return call;
        }
        return makeNode(Node::Name, name);
    }
    NodePtr listLiteral()
    {
        auto list = std::make_shared<Node>();
        list->kind = Node::List;
        if (takeOp("]"))
            return list;
        do {
            if (isOp("]"))
                break;
            list->children << orExpr();
        } while (takeOp(","));
        return expect("]", list);
    }

    const QList<Token> &tokens_;
    int pos_ = 0;
    int depth_ = 0;
    QString error_;
};

// What an evaluation reports: names found undefined, filters not known.
struct Findings
{
    QStringList *undefinedNames;
    QStringList *unknownFilters;
};

// The path an expression names, as written ("order.lines[0]"), for reports.
QString pathOf(const Node &n)
{
    switch (n.kind) {
    case Node::Name:
        return n.text;
    case Node::Member: {
        const DocxTemplateValue key = n.children.at(1)->value;
        const QString base = pathOf(*n.children.at(0));
        return key.isString() ? base + QLatin1Char('.') + key.toString() : base + QLatin1Char('[') + printedValue(key) + QLatin1Char(']');
    }
    default:
        return QStringLiteral("(value)");
    }
}

DocxTemplateValue evaluateNode(const Node &n, const DocxTemplateNames &names, const Findings &found);

DocxFilterArguments argumentsOf(const Node &call, const DocxTemplateNames &names, const Findings &found)
{
    DocxFilterArguments args;
    for (qsizetype i = 1; i < call.children.size(); ++i) {
        const DocxTemplateValue v = evaluateNode(*call.children.at(i), names, found);
        const QString name = call.argNames.value(i - 1);
        if (name.isEmpty())
            args.positional << v;
        else
            args.named << qMakePair(name, v);
    }
    return args;
}

DocxTemplateValue arithmetic(const QString &op, const DocxTemplateValue &a, const DocxTemplateValue &b)
{
    if (op == QLatin1String("+")) {
        if (a.isString() && b.isString())
            return a.toString() + b.toString();
        if (a.isArray() && b.isArray())
            return a.toArray() + b.toArray();
    }
    if (!(a.isDouble() || a.isBool()) || !(b.isDouble() || b.isBool()))
        return undefinedValue();
    const double x = a.toDouble(a.toBool()), y = b.toDouble(b.toBool());
    if (op == QLatin1String("+"))
        return x + y;
    if (op == QLatin1String("-"))
        return x - y;
    if (op == QLatin1String("*"))
        return x * y;
    if (y == 0)
        return undefinedValue();
    if (op == QLatin1String("/"))
        return x / y;
    if (op == QLatin1String("//"))
        return std::floor(x / y);
    return x - y * std::floor(x / y);  // %, with the sign of the divisor as Python has it
}

DocxTemplateValue binary(const Node &n, const DocxTemplateNames &names, const Findings &found)
{
    const QString &op = n.text;
    const DocxTemplateValue a = evaluateNode(*n.children.at(0), names, found);
    if (op == QLatin1String("and"))
        return isTruthy(a) ? evaluateNode(*n.children.at(1), names, found) : a;
    if (op == QLatin1String("or"))
        return isTruthy(a) ? a : evaluateNode(*n.children.at(1), names, found);
    const DocxTemplateValue b = evaluateNode(*n.children.at(1), names, found);
    if (op == QLatin1String("=="))
        return valuesEqual(a, b);
    if (op == QLatin1String("!="))
        return !valuesEqual(a, b);
    if (op == QLatin1String("in"))
        return valueContains(b, a);
    if (op == QLatin1String("~"))
        return printedValue(a) + printedValue(b);
    if (op.startsWith(QLatin1Char('<')) || op.startsWith(QLatin1Char('>'))) {
        bool comparable = false;
        const int c = compareValues(a, b, &comparable);
        if (!comparable)
            return false;
        return op == QLatin1String("<") ? c < 0 : op == QLatin1String("<=") ? c <= 0 : op == QLatin1String(">") ? c > 0 : c >= 0;
    }
    return arithmetic(op, a, b);
}

bool passesTest(const QString &test, const DocxTemplateValue &v)
{
    if (test == QLatin1String("defined"))
        return !v.isUndefined();
    if (test == QLatin1String("undefined"))
        return v.isUndefined();
    if (test == QLatin1String("none"))
        return v.isNull();
    if (test == QLatin1String("number"))
        return v.isDouble();
    if (test == QLatin1String("string"))
        return v.isString();
    const double d = v.toDouble();
    const bool whole = v.isDouble() && d == std::floor(d);
    if (test == QLatin1String("even"))
        return whole && std::fmod(d, 2) == 0;
    if (test == QLatin1String("odd"))
        return whole && std::fmod(d, 2) != 0;
    return false;
}

DocxTemplateValue methodCall(const Node &n, const DocxTemplateNames &names, const Findings &found)
{
    const DocxTemplateValue v = evaluateNode(*n.children.at(0), names, found);
    const QJsonObject o = v.toObject();
    QJsonArray out;
    if (n.text == QLatin1String("items")) {
        for (auto it = o.begin(); it != o.end(); ++it)
            out.append(QJsonArray{it.key(), it.value()});
    } else if (n.text == QLatin1String("keys")) {
        for (auto it = o.begin(); it != o.end(); ++it)
            out.append(it.key());
    } else if (n.text == QLatin1String("values")) {
        for (auto it = o.begin(); it != o.end(); ++it)
            out.append(it.value());
    } else if (isKnownFilter(n.text)) {  // "x.upper()" and the like
        return applyFilter(n.text, v, argumentsOf(n, names, found));
    } else {
        return undefinedValue();
    }
    return out;
}

DocxTemplateValue evaluateNode(const Node &n, const DocxTemplateNames &names, const Findings &found)
{
    switch (n.kind) {
    case Node::Literal:
        return n.value;
    case Node::Name: {
        const DocxTemplateValue v = names(n.text);
        if (v.isUndefined() && found.undefinedNames)
            found.undefinedNames->append(n.text);
        return v;
    }
    case Node::Member: {
        const Findings quiet{nullptr, found.unknownFilters};
        const DocxTemplateValue base = evaluateNode(*n.children.at(0), names, quiet);
        const DocxTemplateValue v = memberOf(base, evaluateNode(*n.children.at(1), names, found));
        if (v.isUndefined() && found.undefinedNames)
            found.undefinedNames->append(pathOf(n));
        return v;
    }
    case Node::List: {
        QJsonArray a;
        for (const NodePtr &c : n.children)
            a.append(evaluateNode(*c, names, found));
        return a;
    }
    case Node::Not:
        return !isTruthy(evaluateNode(*n.children.at(0), names, found));
    case Node::Negate:
        return arithmetic(QStringLiteral("-"), 0.0, evaluateNode(*n.children.at(0), names, found));
    case Node::Binary:
        return binary(n, names, found);
    case Node::Test: {
        const bool quietly = n.text == QLatin1String("defined") || n.text == QLatin1String("undefined");
        const DocxTemplateValue v = evaluateNode(*n.children.at(0), names, quietly ? Findings{nullptr, found.unknownFilters} : found);
        return passesTest(n.text, v) != n.negated;
    }
    case Node::Filter: {
        const Findings inputFindings = acceptsUndefined(n.text) ? Findings{nullptr, found.unknownFilters} : found;
        const DocxTemplateValue input = evaluateNode(*n.children.at(0), names, inputFindings);
        if (!isKnownFilter(n.text)) {
            if (found.unknownFilters)
                found.unknownFilters->append(n.text);
            return undefinedValue();
        }
        return applyFilter(n.text, input, argumentsOf(n, names, found));
    }
    case Node::Method:
        return methodCall(n, names, found);
    case Node::Call:
        if (n.text == QLatin1String("range"))
            return rangeOf(argumentsOf(n, names, found).positional);
        if (found.unknownFilters)
            found.unknownFilters->append(n.text + QLatin1String("()"));
        return undefinedValue();
    }
    return undefinedValue();
}

}  // namespace

DocxTemplateExpression::DocxTemplateExpression(const QString &text)
{
    QList<Token> tokens;
    if (!tokenize(text, tokens, error_))
        return;
    if (tokens.size() == 1) {
        error_ = QStringLiteral("the expression is empty");
        return;
    }
    Parser parser(tokens);
    root_ = parser.parseAll(error_);
}

DocxTemplateValue DocxTemplateExpression::evaluate(const DocxTemplateNames &names, QStringList *undefinedNames,
                                                   QStringList *unknownFilters) const
{
    return root_ ? evaluateNode(*root_, names, {undefinedNames, unknownFilters}) : undefinedValue();
}

QString DocxTemplateExpression::outerFilter() const
{
    return root_ && root_->kind == Node::Filter ? root_->text : QString();
}

DocxTemplateValue DocxTemplateExpression::evaluateInner(const DocxTemplateNames &names, QStringList *undefinedNames,
                                                        QStringList *unknownFilters) const
{
    if (!root_ || root_->kind != Node::Filter)
        return evaluate(names, undefinedNames, unknownFilters);
    return evaluateNode(*root_->children.at(0), names, {undefinedNames, unknownFilters});
}

QJsonObject DocxTemplateExpression::outerFilterArguments(const DocxTemplateNames &names) const
{
    QJsonObject out;
    if (!root_ || root_->kind != Node::Filter)
        return out;
    const DocxFilterArguments args = argumentsOf(*root_, names, {nullptr, nullptr});
    for (qsizetype i = 0; i < args.positional.size(); ++i)
        out.insert(QString::number(i), args.positional.at(i));
    for (const auto &n : args.named)
        out.insert(n.first, n.second);
    return out;
}

QStringList DocxTemplateExpression::targetNames(const QString &text)
{
    QStringList names;
    for (const QString &part : text.split(QLatin1Char(','))) {
        const QString name = part.trimmed();
        static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
        if (!identifier.match(name).hasMatch())
            return {};
        names << name;
    }
    return names;
}
