// Rendering a part of a template.
#include "DocxTemplateRender.h"

#include <QHash>
#include <QJsonArray>
#include <QSet>

namespace {

// Bounds of one render, so that a template cannot run away with the
// machine: bytes of a rendered part, rounds of all loops, problems reported.
constexpr qsizetype kLargestRenderedPart = qsizetype(1) << 30;
constexpr qint64 kMostLoopRounds = 50'000'000;
constexpr int kMostProblems = 50;

// Markup that ends the text of the run a value stands in and starts it again.
constexpr char kBreakInText[] = "</w:t><w:br/><w:t xml:space=\"preserve\">";
constexpr char kTabInText[] = "</w:t><w:tab/><w:t xml:space=\"preserve\">";

bool isXmlCharacter(char16_t u)
{
    return u >= 0x20 ? (u != 0xFFFE && u != 0xFFFF) : (u == '\t' || u == '\n' || u == '\r');
}

class Renderer
{
public:
    Renderer(const DocxTemplateProgram &program, const QJsonObject &data, const DocxTemplateOptions &options,
             DocxRenderedPart &out)
        : program_(program), data_(data), options_(options), out_(out)
    {
        scopes_.emplace_back();
        names_ = [this](const QString &name) {
            for (auto it = scopes_.rbegin(); it != scopes_.rend(); ++it) {
                const auto found = it->constFind(name);
                if (found != it->constEnd())
                    return found.value();
            }
            return data_.value(name);
        };
    }

    bool render(QStringList &problems)
    {
        renderItems(program_.items());
        problems += problems_;
        return problems_.isEmpty();
    }

private:
    bool stopped() const { return problems_.size() >= kMostProblems || overgrown_; }

    void problem(int tag, const QString &what)
    {
        const QString text = QStringLiteral("%1: %2: %3").arg(program_.placeOf(tag), program_.tags().at(tag).text, what);
        if (reported_.contains(text) || problems_.size() >= kMostProblems)
            return;
        reported_.insert(text);
        problems_.append(text);
    }

    void append(const QByteArray &bytes)
    {
        if (out_.bytes.size() + bytes.size() > kLargestRenderedPart) {
            if (!overgrown_)
                problems_.append(QStringLiteral("%1: the rendered part would grow beyond %2 MB")
                                     .arg(program_.part())
                                     .arg(kLargestRenderedPart >> 20));
            overgrown_ = true;
            return;
        }
        out_.bytes += bytes;
    }

    // The value of `tag`'s expression (or of what its outer filter is
    // given), its findings reported.
    DocxTemplateValue evaluate(int tag, bool inner = false)
    {
        const DocxTemplateExpression &e = program_.tags().at(tag).expression;
        QStringList undefinedNames, unknownFilters;
        const DocxTemplateValue v = inner ? e.evaluateInner(names_, &undefinedNames, &unknownFilters)
                                          : e.evaluate(names_, &undefinedNames, &unknownFilters);
        for (const QString &f : unknownFilters)
            problem(tag, QStringLiteral("there is no filter or function \"%1\"").arg(f));
        if (options_.strict) {
            for (const QString &n : undefinedNames)
                problem(tag, QStringLiteral("\"%1\" is undefined").arg(n));
        }
        return v;
    }

    void renderItems(const std::vector<DocxTemplateItem> &items)
    {
        for (const DocxTemplateItem &item : items) {
            if (stopped())
                return;
            switch (item.kind) {
            case DocxTemplateItem::Literal:
                append(item.literal);
                break;
            case DocxTemplateItem::Value:
                renderValue(item.tag);
                break;
            case DocxTemplateItem::Condition:
                renderCondition(item);
                break;
            case DocxTemplateItem::Loop:
                renderLoop(item);
                break;
            case DocxTemplateItem::Assign:
                assign(item.tag);
                break;
            }
        }
    }

    void renderCondition(const DocxTemplateItem &item)
    {
        for (const auto &branch : item.branches) {
            if (branch.first < 0 || isTruthy(evaluate(branch.first))) {
                renderItems(branch.second);
                return;
            }
        }
    }

    void renderLoop(const DocxTemplateItem &item)
    {
        const DocxTemplateTag &tag = program_.tags().at(item.tag);
        const QJsonArray rounds = iterationOf(evaluate(item.tag));
        if (rounds.isEmpty()) {
            renderItems(item.elseBody);
            return;
        }
        scopes_.emplace_back();
        const qsizetype n = rounds.size();
        for (qsizetype i = 0; i < n && !stopped(); ++i) {
            if (++loopRounds_ > kMostLoopRounds) {
                problem(item.tag, QStringLiteral("the loops of the template run more than %1 rounds").arg(kMostLoopRounds));
                break;
            }
            QHash<QString, DocxTemplateValue> &scope = scopes_.back();
            scope.clear();
            bind(scope, tag.targets, rounds.at(i));
            scope.insert(QStringLiteral("loop"), QJsonObject{{"index", double(i + 1)},
                                                             {"index0", double(i)},
                                                             {"revindex", double(n - i)},
                                                             {"revindex0", double(n - i - 1)},
                                                             {"first", i == 0},
                                                             {"last", i == n - 1},
                                                             {"length", double(n)}});
            renderItems(item.body);
        }
        scopes_.pop_back();
    }

    // Binds the names of a for or set tag: one takes the value, several
    // take the elements of a list in turn.
    static void bind(QHash<QString, DocxTemplateValue> &scope, const QStringList &targets, const DocxTemplateValue &v)
    {
        if (targets.size() == 1) {
            scope.insert(targets.first(), v);
            return;
        }
        for (qsizetype t = 0; t < targets.size(); ++t)
            scope.insert(targets.at(t), memberOf(v, double(t)));
    }

    void assign(int tag)
    {
        bind(scopes_.back(), program_.tags().at(tag).targets, evaluate(tag));
    }

    void renderValue(int tagIndex)
    {
        const DocxTemplateTag &tag = program_.tags().at(tagIndex);
        if (tag.valueKind == DocxValueKind::Text) {
            appendText(printedValue(evaluate(tagIndex)), tag.inText);
            return;
        }
        const DocxTemplateValue v = evaluate(tagIndex, true);
        DocxPendingValue pending;
        pending.tag = tagIndex;
        if (tag.valueKind == DocxValueKind::Picture) {
            QString why;
            if (!loadPictureValue(printedValue(v), options_.resourceFolder,
                                  tag.expression.outerFilterArguments(names_), pending.picture, why)) {
                problem(tagIndex, why);
                return;
            }
        } else {
            pending.html = printedValue(v);
        }
        if (tag.valueKind == DocxValueKind::HtmlBlocks) {
            pending.offset = out_.bytes.size();
            out_.pending.append(pending);
            return;
        }
        if (!tag.inText) {
            problem(tagIndex, QStringLiteral("an HTML or picture value must stand in the text of a run"));
            return;
        }
        append(kRunEnd);
        pending.offset = out_.bytes.size();
        out_.pending.append(pending);
        append(runRestart(tag.runProperties));
    }

    // Text as the run's text: escaped; line breaks and tabs as their own
    // elements in a run's text, as spaces elsewhere; characters XML cannot
    // hold left out.
    void appendText(const QString &text, bool inRunText)
    {
        QString plain;
        plain.reserve(text.size());
        QByteArray bytes;
        auto flushPlain = [&] {
            bytes += plain.toUtf8();
            plain.clear();
        };
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t u = text.at(i).unicode();
            if (u == '&') {
                plain += QLatin1String("&amp;");
            } else if (u == '<') {
                plain += QLatin1String("&lt;");
            } else if (u == '>') {
                plain += QLatin1String("&gt;");
            } else if (u == '\n' || u == '\r' || u == '\t') {
                if (u == '\r' && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                    continue;  // \r\n is one break
                if (!inRunText) {
                    plain += QLatin1Char(' ');
                    continue;
                }
                flushPlain();
                bytes += u == '\t' ? kTabInText : kBreakInText;
            } else if (isXmlCharacter(u)) {
                plain += text.at(i);
            }
        }
        flushPlain();
        append(bytes);
    }

    const DocxTemplateProgram &program_;
    const QJsonObject &data_;
    const DocxTemplateOptions &options_;
    DocxRenderedPart &out_;
    std::vector<QHash<QString, DocxTemplateValue>> scopes_;
    DocxTemplateNames names_;
    QStringList problems_;
    QSet<QString> reported_;
    qint64 loopRounds_ = 0;
    bool overgrown_ = false;
};

}  // namespace

bool renderTemplatePart(const DocxTemplateProgram &program, const QJsonObject &data, const DocxTemplateOptions &options,
                        DocxRenderedPart &out, QStringList &problems)
{
    out = {};
    return Renderer(program, data, options, out).render(problems);
}
