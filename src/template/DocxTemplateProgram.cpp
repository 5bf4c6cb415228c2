// Reading a part of a template into the program that renders it.
#include "DocxTemplateProgram.h"

#include "DocxNamespaces.h"
#include "DocxPartScan.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>

namespace {

// Conditions and loops nested deeper than this make the template refused.
constexpr int kDeepestTagNesting = 100;
// Characters of a paragraph's text shown around a tag in messages.
constexpr qsizetype kPlaceContext = 30;

const QStringList &statements()
{
    static const QStringList names = {"if", "elif", "else", "endif", "for", "endfor", "set"};
    return names;
}

// The unit a modifier stands for.
QByteArrayView unitElement(const QString &modifier)
{
    if (modifier == QLatin1String("tr"))
        return "w:tr";
    if (modifier == QLatin1String("tc"))
        return "w:tc";
    return "w:p";
}

// The namespace declarations of the root start tag of `bytes`.
DocxNamespaceBindings rootBindings(const QByteArray &bytes)
{
    DocxXmlReader r(bytes);
    while (!r.atEnd() && readNextChecked(r) != QXmlStreamReader::StartElement) {
    }
    return r.isStartElement() ? declarationsOf(r) : DocxNamespaceBindings();
}

bool bindsW(const DocxNamespaceBindings &scope)
{
    const QString uri = boundUri(scope, QStringLiteral("w"));
    return isNamespace(uri, kNsW);
}

// What a tag's text says: statement, modifier and the rest, less the
// whitespace-control signs.
struct TagParts
{
    char opener = 0;  // '{', '%' or '#'
    QString modifier;
    QString statement;
    QString rest;
};

TagParts partsOf(const QString &text)
{
    TagParts parts;
    parts.opener = char(text.at(1).unicode());
    QString inner = text.mid(2, text.size() - 4);
    static const QRegularExpression modifier(QStringLiteral("^(tr|tc|p|r)\\s"));
    const auto m = modifier.match(inner);
    if (m.hasMatch()) {
        parts.modifier = m.captured(1);
        inner = inner.mid(parts.modifier.size());
    }
    if (inner.startsWith(QLatin1Char('-')) || inner.startsWith(QLatin1Char('+')))
        inner.remove(0, 1);
    if (inner.endsWith(QLatin1Char('-')) || inner.endsWith(QLatin1Char('+')))
        inner.chop(1);
    inner = inner.trimmed();
    if (parts.opener == '%') {
        static const QRegularExpression space(QStringLiteral("\\s"));
        const qsizetype at = inner.indexOf(space);
        parts.statement = at < 0 ? inner : inner.left(at);
        parts.rest = at < 0 ? QString() : inner.mid(at + 1).trimmed();
    } else {
        parts.rest = inner;
    }
    return parts;
}

// The parts of a statement tag read into `tag`; false with `why`.
bool readStatement(const TagParts &parts, DocxTemplateTag &tag, QString &why)
{
    tag.statement = parts.statement;
    if (!statements().contains(parts.statement)) {
        why = QStringLiteral("unknown statement \"%1\"").arg(parts.statement);
        return false;
    }
    QString expression;
    if (parts.statement == QLatin1String("if") || parts.statement == QLatin1String("elif")) {
        expression = parts.rest;
    } else if (parts.statement == QLatin1String("for") || parts.statement == QLatin1String("set")) {
        const bool loop = parts.statement == QLatin1String("for");
        static const QRegularExpression loopHead(QStringLiteral("^(.*?)\\s+in\\s+(.*)$"));
        static const QRegularExpression assignment(QStringLiteral("^([^=]*?)\\s*=(?!=)\\s*(.*)$"));
        const auto m = (loop ? loopHead : assignment).match(parts.rest);
        tag.targets = m.hasMatch() ? DocxTemplateExpression::targetNames(m.captured(1)) : QStringList();
        if (tag.targets.isEmpty()) {
            why = loop ? QStringLiteral("a loop reads \"for name in expression\"")
                       : QStringLiteral("an assignment reads \"set name = expression\"");
            return false;
        }
        expression = m.captured(2);
    } else {
        return true;
    }
    tag.expression = DocxTemplateExpression(expression);
    if (!tag.expression.isValid()) {
        why = tag.expression.errorString();
        return false;
    }
    return true;
}

// The parts of a value tag read into `tag`; false with `why`.
bool readValue(const TagParts &parts, DocxTemplateTag &tag, QString &why)
{
    tag.expression = DocxTemplateExpression(parts.rest);
    if (!tag.expression.isValid()) {
        why = tag.expression.errorString();
        return false;
    }
    const QString filter = tag.expression.outerFilter();
    if (filter == QLatin1String("html"))
        tag.valueKind = parts.modifier == QLatin1String("p") ? DocxValueKind::HtmlBlocks : DocxValueKind::HtmlRuns;
    else if (filter == QLatin1String("image"))
        tag.valueKind = DocxValueKind::Picture;
    return true;
}

// A stretch of the part that a tag or a unit takes the place of, and the
// tags that stand there instead, between markup of their own.
struct Replacement
{
    qsizetype start;
    qsizetype end;
    QList<int> tags;
    QByteArray before = {};
    QByteArray after = {};
};


// What the part reads as, in order: bytes to copy and tags.
struct Token
{
    QByteArray literal;
    int tag = -1;
};

}  // namespace

namespace {

// Builds the nesting of conditions and loops from the tokens.
class TreeBuilder
{
public:
    TreeBuilder(const QList<Token> &tokens, const DocxTemplateProgram &program) : tokens_(tokens), program_(program) {}

    bool build(std::vector<DocxTemplateItem> &items, QString &err)
    {
        qsizetype pos = 0;
        const int stop = block(pos, items, {}, 0);
        if (stop >= 0 || !error_.isEmpty()) {
            err = error_.isEmpty() ? misplaced(stop) : error_;
            return false;
        }
        return true;
    }

private:
    const QString &statementOf(int tag) const { return program_.tags().at(tag).statement; }

    QString misplaced(int tag) const
    {
        return QStringLiteral("%1: %2 stands where no %3 is open")
            .arg(program_.placeOf(tag), program_.tags().at(tag).text,
                 statementOf(tag) == QLatin1String("endfor") ? QStringLiteral("{% for %}") : QStringLiteral("{% if %} or {% for %}"));
    }

    bool fail(const QString &why)
    {
        if (error_.isEmpty())
            error_ = why;
        return false;
    }

    // Reads items into `out` until a statement of `stops`, whose tag it
    // returns (with `pos` past it); -1 at the end, or at a stray statement
    // that closes something not open (whose tag it returns too).
    int block(qsizetype &pos, std::vector<DocxTemplateItem> &out, const QStringList &stops, int depth)
    {
        while (pos < tokens_.size() && error_.isEmpty()) {
            const Token &t = tokens_.at(pos++);
            if (t.tag < 0) {
                DocxTemplateItem literal;
                literal.literal = t.literal;
                out.push_back(std::move(literal));
                continue;
            }
            const QString &statement = statementOf(t.tag);
            if (stops.contains(statement))
                return t.tag;
            if (statement.isEmpty() || statement == QLatin1String("set")) {
                DocxTemplateItem item;
                item.kind = statement.isEmpty() ? DocxTemplateItem::Value : DocxTemplateItem::Assign;
                item.tag = t.tag;
                out.push_back(std::move(item));
            } else if (statement == QLatin1String("if") || statement == QLatin1String("for")) {
                if (depth >= kDeepestTagNesting) {
                    fail(QStringLiteral("%1: conditions and loops nest more than %2 deep")
                             .arg(program_.placeOf(t.tag))
                             .arg(kDeepestTagNesting));
                    return -1;
                }
                DocxTemplateItem item;
                if (!(statement == QLatin1String("if") ? condition(t.tag, pos, item, depth) : loop(t.tag, pos, item, depth)))
                    return -1;
                out.push_back(std::move(item));
            } else {
                return t.tag;  // closes what is not open
            }
        }
        return -1;
    }

    bool unclosed(int openTag, const char *closer)
    {
        return fail(QStringLiteral("%1: %2 is not closed by %3")
                        .arg(program_.placeOf(openTag), program_.tags().at(openTag).text, QLatin1String(closer)));
    }

    bool condition(int ifTag, qsizetype &pos, DocxTemplateItem &item, int depth)
    {
        item.kind = DocxTemplateItem::Condition;
        int branchTag = ifTag;
        for (;;) {
            std::vector<DocxTemplateItem> body;
            const int stop = block(pos, body, {"elif", "else", "endif"}, depth + 1);
            if (!error_.isEmpty())
                return false;
            if (stop < 0 || !QStringList{"elif", "else", "endif"}.contains(statementOf(stop)))
                return stop < 0 ? unclosed(ifTag, "{% endif %}") : fail(misplaced(stop));
            item.branches.emplace_back(branchTag, std::move(body));
            if (statementOf(stop) == QLatin1String("endif"))
                return true;
            if (branchTag < 0)
                return fail(QStringLiteral("%1: %2 follows {% else %}").arg(program_.placeOf(stop), program_.tags().at(stop).text));
            branchTag = statementOf(stop) == QLatin1String("else") ? -1 : stop;
        }
    }

    bool loop(int forTag, qsizetype &pos, DocxTemplateItem &item, int depth)
    {
        item.kind = DocxTemplateItem::Loop;
        item.tag = forTag;
        int stop = block(pos, item.body, {"else", "endfor"}, depth + 1);
        if (error_.isEmpty() && stop >= 0 && statementOf(stop) == QLatin1String("else"))
            stop = block(pos, item.elseBody, {"endfor"}, depth + 1);
        if (!error_.isEmpty())
            return false;
        if (stop < 0)
            return unclosed(forTag, "{% endfor %}");
        return statementOf(stop) == QLatin1String("endfor") || fail(misplaced(stop));
    }

    const QList<Token> &tokens_;
    const DocxTemplateProgram &program_;
    QString error_;
};

}  // namespace

bool DocxTemplateProgram::compile(const QString &part, const QByteArray &bytes, QString &err)
{
    part_ = part;
    bytes_ = bytes;
    DocxPartScan scan;
    QString why;
    if (!scan.scan(bytes, why)) {
        err = QStringLiteral("%1: %2").arg(part, why);
        return false;
    }
    if (scan.tags.isEmpty())
        return true;
    rootScope_ = rootBindings(bytes);
    if (!bindsW(rootScope_)) {
        err = QStringLiteral("%1: the part's markup is not bound to the prefix w, which templates need").arg(part);
        return false;
    }
    QHash<int, int> paragraphOfElement;
    for (int i = 0; i < scan.elements.size(); ++i) {
        if (scan.elements.at(i).name == "w:p") {
            paragraphOfElement.insert(i, int(paragraphs_.size()));
            paragraphs_.append({scan.elements.at(i).start, scan.elements.at(i).end});
        }
    }

    QList<Replacement> replacements;
    QHash<int, int> unitReplacement;  // unit element -> index in replacements
    for (const DocxScannedTag &scanned : scan.tags) {
        DocxTemplateTag tag;
        tag.text = unescapedText(QByteArrayView(bytes).sliced(scanned.start, scanned.end - scanned.start));
        tag.offset = scanned.start;
        const int p = scan.enclosing(scanned.element, "w:p");
        tag.paragraph = paragraphOfElement.value(p, -1);
        tag.inText = scanned.element >= 0 && scan.elements.at(scanned.element).name == "w:t";
        const int run = scan.enclosing(scanned.element, "w:r");
        const int runFirst = run >= 0 ? scan.firstChild(run) : -1;
        if (runFirst >= 0 && scan.elements.at(runFirst).name == "w:rPr")
            tag.runProperties = bytes.mid(scan.elements.at(runFirst).start,
                                          scan.elements.at(runFirst).end - scan.elements.at(runFirst).start);
        const TagParts parts = partsOf(tag.text);
        const int index = int(tags_.size());
        tags_.append(tag);
        if (parts.opener == '#') {
            replacements.append({scanned.start, scanned.end, {}});
            continue;
        }
        DocxTemplateTag &t = tags_.last();
        if (!(parts.opener == '%' ? readStatement(parts, t, why) : readValue(parts, t, why))) {
            err = QStringLiteral("%1: %2: %3").arg(placeOf(index), t.text, why);
            return false;
        }
        if (parts.opener == '%' && parts.modifier == QLatin1String("r")) {  // the tag alone, in a run of its own
            if (!t.inText) {
                err = QStringLiteral("%1: %2 stands in no run's text").arg(placeOf(index), t.text);
                return false;
            }
            replacements.append({scanned.start, scanned.end, {index}, kRunEnd, runRestart(t.runProperties)});
            continue;
        }
        const bool hasUnit = (parts.opener == '%' && !parts.modifier.isEmpty()) || t.valueKind == DocxValueKind::HtmlBlocks;
        if (!hasUnit) {
            replacements.append({scanned.start, scanned.end, {index}});
            continue;
        }
        const int unit = scan.enclosing(scanned.element, unitElement(parts.modifier));
        if (unit < 0) {
            err = QStringLiteral("%1: %2 stands in no %3").arg(placeOf(index), t.text, QString::fromLatin1(unitElement(parts.modifier).data()));
            return false;
        }
        if (t.valueKind == DocxValueKind::HtmlBlocks) {
            const DocxScannedElement &p = scan.elements.at(unit);
            t.paragraphXml = bytes.mid(p.start, p.end - p.start);
            const QByteArrayView after = QByteArrayView(bytes).sliced(p.end).trimmed();
            t.lastInItsParent = after.startsWith("</") || after.startsWith("<w:sectPr");
        }
        if (!unitReplacement.contains(unit)) {
            unitReplacement.insert(unit, int(replacements.size()));
            replacements.append({scan.elements.at(unit).start, scan.elements.at(unit).end, {}});
        }
        replacements[unitReplacement.value(unit)].tags.append(index);
    }

    // In order of where they start; a stretch inside one before it goes with it.
    std::stable_sort(replacements.begin(), replacements.end(),
                     [](const Replacement &a, const Replacement &b) { return a.start < b.start || (a.start == b.start && a.end > b.end); });
    QList<Token> tokens;
    qsizetype copied = 0;
    for (const Replacement &r : replacements) {
        if (r.start < copied)
            continue;
        tokens.append({bytes.mid(copied, r.start - copied) + r.before, -1});
        for (const int tag : r.tags)
            tokens.append({{}, tag});
        tokens.append({r.after, -1});
        copied = r.end;
    }
    tokens.append({bytes.mid(copied), -1});
    return TreeBuilder(tokens, *this).build(items_, err);
}

QByteArray runRestart(const QByteArray &runProperties)
{
    return "<w:r>" + runProperties + "<w:t xml:space=\"preserve\">";
}

QString DocxTemplateProgram::placeOf(int tag) const
{
    const DocxTemplateTag &t = tags_.at(tag);
    if (t.paragraph < 0)
        return part_;
    const auto span = paragraphs_.at(t.paragraph);
    const QString text = textOfMarkup(QByteArrayView(bytes_).sliced(span.first, span.second - span.first));
    const qsizetype at = qMax<qsizetype>(0, text.indexOf(t.text));
    const qsizetype from = qMax<qsizetype>(0, at - kPlaceContext);
    const QString around = text.mid(from, at - from + t.text.size() + kPlaceContext).simplified();
    return QStringLiteral("%1, paragraph %2 (\"%3\")").arg(part_).arg(t.paragraph + 1).arg(around);
}
