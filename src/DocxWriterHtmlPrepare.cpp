// Preparing an HTML page for the rich-text reader: what the reader would lose
// or take too long over is made plain in its markup, in linear passes over
// the text that rewrite single tags and leave all else as it is.
#include "DocxWriter.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QList>
#include <QStringDecoder>
#include <QUrl>
#include <QVarLengthArray>

#include <cmath>

namespace {

constexpr char16_t kStartMark = 0xE000;  // brackets a list's first number in its label prefix
constexpr qsizetype kCharsetScanBytes = 1024;
constexpr int kEndTagSearchDepth = 64;  // open elements an end tag is matched against
constexpr double kPixelsPerEm = 16.0;

// ---- tokens ----

bool isSpace(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')
        || c == QLatin1Char('\f');
}
bool isLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

struct Attribute
{
    QStringView name;
    QStringView value;
    qsizetype start = 0;  // of the name
    qsizetype end = 0;    // past the value (and its quote)
    bool hasValue = false;
};

struct Tag
{
    QStringView name;
    bool end = false;
    bool selfClosing = false;
    qsizetype start = 0;
    qsizetype nameEnd = 0;
    qsizetype close = 0;  // where "/>" or ">" starts
    qsizetype next = 0;   // past '>'
    QVarLengthArray<Attribute, 8> attributes;

    bool is(const char *n) const { return name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0; }
    const Attribute *attribute(const char *n) const
    {
        for (const Attribute &a : attributes) {
            if (a.name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0)
                return &a;
        }
        return nullptr;
    }
};

enum class Token { Text, Tag, Other, Incomplete };

// Reads the markup at `i` (a '<') as an HTML tokenizer would: a start or end
// tag with its attributes, a comment or declaration (Other), or a '<' that
// opens nothing (Text). `next` is where reading goes on.
Token readToken(QStringView s, qsizetype i, Tag &tag, qsizetype &next)
{
    const qsizetype n = s.size();
    auto at = [&](qsizetype k) { return k < n ? s[k] : QChar(); };
    if (s.mid(i).startsWith(QLatin1String("<!--"))) {
        qsizetype close = s.indexOf(QLatin1String("-->"), i + 2);
        next = close < 0 ? n : close + 3;
        return Token::Other;
    }
    if (at(i + 1) == QLatin1Char('!') || at(i + 1) == QLatin1Char('?')) {
        const qsizetype close = s.indexOf(QLatin1Char('>'), i);
        next = close < 0 ? n : close + 1;
        return Token::Other;
    }
    tag.end = at(i + 1) == QLatin1Char('/');
    qsizetype k = i + (tag.end ? 2 : 1);
    if (!isLetter(at(k))) {
        next = i + 1;
        return Token::Text;
    }
    tag.start = i;
    tag.selfClosing = false;
    tag.attributes.clear();
    const qsizetype nameStart = k;
    while (k < n && !isSpace(s[k]) && s[k] != QLatin1Char('/') && s[k] != QLatin1Char('>'))
        ++k;
    tag.name = s.mid(nameStart, k - nameStart);
    tag.nameEnd = k;
    for (;;) {
        while (k < n && (isSpace(s[k]) || (s[k] == QLatin1Char('/') && at(k + 1) != QLatin1Char('>'))))
            ++k;
        if (k >= n) {
            next = n;
            return Token::Incomplete;
        }
        if (s[k] == QLatin1Char('>') || (s[k] == QLatin1Char('/') && at(k + 1) == QLatin1Char('>'))) {
            tag.selfClosing = s[k] == QLatin1Char('/');
            tag.close = k;
            tag.next = next = k + (tag.selfClosing ? 2 : 1);
            return Token::Tag;
        }
        Attribute a;
        a.start = k;
        ++k;  // a first '=' belongs to the name
        while (k < n && !isSpace(s[k]) && s[k] != QLatin1Char('/') && s[k] != QLatin1Char('>') && s[k] != QLatin1Char('='))
            ++k;
        a.name = s.mid(a.start, k - a.start);
        qsizetype j = k;
        while (j < n && isSpace(s[j]))
            ++j;
        if (at(j) == QLatin1Char('=')) {
            ++j;
            while (j < n && isSpace(s[j]))
                ++j;
            a.hasValue = true;
            const QChar quote = at(j);
            if (quote == QLatin1Char('"') || quote == QLatin1Char('\'')) {
                const qsizetype close = s.indexOf(quote, j + 1);
                if (close < 0) {
                    next = n;
                    return Token::Incomplete;
                }
                a.value = s.mid(j + 1, close - j - 1);
                k = close + 1;
            } else {
                const qsizetype from = j;
                while (j < n && !isSpace(s[j]) && s[j] != QLatin1Char('>'))
                    ++j;
                a.value = s.mid(from, j - from);
                k = j;
            }
        }
        a.end = k;
        tag.attributes.append(a);
    }
}

// Elements whose content is text up to their end tag.
bool hasRawText(const Tag &t)
{
    return t.is("script") || t.is("style") || t.is("title") || t.is("textarea") || t.is("xmp");
}

bool isVoid(const Tag &t)
{
    for (const char *v : {"br", "img", "hr", "meta", "link", "input", "col", "area", "base", "embed", "param", "source",
                          "track", "wbr"}) {
        if (t.is(v))
            return true;
    }
    return false;
}

// Elements whose end tag may be left out, or that hold the page: they do not
// count towards nesting.
bool isLooselyClosed(const Tag &t)
{
    for (const char *v : {"p", "li", "dt", "dd", "tr", "td", "th", "thead", "tbody", "tfoot", "option", "colgroup",
                          "caption", "html", "head", "body"}) {
        if (t.is(v))
            return true;
    }
    return false;
}

// Where the raw text of `tag` ends: the start of its end tag, or the end.
qsizetype rawTextEnd(QStringView s, const Tag &tag)
{
    for (qsizetype i = s.indexOf(QLatin1String("</"), tag.next); i >= 0; i = s.indexOf(QLatin1String("</"), i + 2)) {
        if (s.mid(i + 2, tag.name.size()).compare(tag.name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return s.size();
}

// ---- style attributes ----

// The value of the CSS property `name` in a style attribute; null when absent.
QStringView cssValue(QStringView style, QLatin1String name)
{
    QStringView found;
    for (QStringView declaration : style.tokenize(u';')) {
        const qsizetype colon = declaration.indexOf(QLatin1Char(':'));
        if (colon < 0)
            continue;
        if (declaration.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            found = declaration.mid(colon + 1).trimmed();
    }
    return found;
}

bool isValue(QStringView v, const char *what)
{
    QStringView plain = v;
    if (plain.endsWith(QLatin1String("!important"), Qt::CaseInsensitive))
        plain = plain.chopped(10).trimmed();
    return plain.compare(QLatin1String(what), Qt::CaseInsensitive) == 0;
}

// A CSS length in pixels, or a percentage ("80%"); empty when it is neither.
QString cssLength(QStringView v)
{
    auto number = [](QStringView digits, double *out) {
        bool ok = false;
        *out = digits.toDouble(&ok);
        return ok && *out >= 0 && std::isfinite(*out);
    };
    double d = 0;
    if (v.endsWith(QLatin1Char('%')) && number(v.chopped(1), &d))
        return QString::number(std::lround(d)) + QLatin1Char('%');
    if (v.endsWith(QLatin1String("px"), Qt::CaseInsensitive) && number(v.chopped(2), &d))
        return QString::number(std::lround(d));
    if (v.endsWith(QLatin1String("em"), Qt::CaseInsensitive) && number(v.chopped(2), &d))
        return QString::number(std::lround(d * kPixelsPerEm));
    if (v.endsWith(QLatin1String("pt"), Qt::CaseInsensitive) && number(v.chopped(2), &d))
        return QString::number(std::lround(d * 4 / 3));
    if (v == QLatin1String("0"))
        return QStringLiteral("0");
    return {};
}

// A table's border from CSS (border, border-width/-style/-color) as the
// border and bordercolor attributes.
void cssBorder(QStringView style, QString *width, QString *color)
{
    auto take = [&](QStringView token) {
        if (isValue(token, "none") || isValue(token, "hidden"))
            *width = QStringLiteral("0");
        else if (isValue(token, "thin"))
            *width = QStringLiteral("1");
        else if (isValue(token, "medium"))
            *width = QStringLiteral("3");
        else if (isValue(token, "thick"))
            *width = QStringLiteral("5");
        else if (!cssLength(token).isEmpty() && !token.endsWith(QLatin1Char('%')))
            *width = width->isEmpty() || *width != QLatin1String("0") ? cssLength(token) : *width;
        else if (!token.isEmpty() && !isValue(token, "solid") && !isValue(token, "dashed") && !isValue(token, "dotted")
                 && !isValue(token, "double") && !isValue(token, "inset") && !isValue(token, "outset")
                 && !isValue(token, "groove") && !isValue(token, "ridge"))
            *color = token.toString();
    };
    for (QStringView token : cssValue(style, QLatin1String("border")).tokenize(u' ', Qt::SkipEmptyParts))
        take(token);
    const QStringView bw = cssValue(style, QLatin1String("border-width"));
    if (!bw.isNull())
        take(bw);
    const QStringView bs = cssValue(style, QLatin1String("border-style"));
    if (isValue(bs, "none") || isValue(bs, "hidden"))
        *width = QStringLiteral("0");
    const QStringView bc = cssValue(style, QLatin1String("border-color"));
    if (!bc.isNull())
        *color = bc.toString();
}

// ---- rewriting one tag ----

// Edits to the text of one tag: the tag is copied with these applied.
class TagEdit
{
public:
    TagEdit(QStringView page, const Tag &tag) : page_(page), tag_(tag) {}

    void rename(const char *name) { renamed_ = QLatin1String(name); }
    // Adds `declaration` to the tag's style attribute (which is made when missing).
    void addStyle(const QString &declaration) { styles_ += declaration; }
    // The same, for a declaration the tag's own declarations take precedence over.
    void addDefaultStyle(const QString &declaration) { defaults_ += declaration; }
    void addAttribute(const char *name, const QString &value)
    {
        added_ += QLatin1Char(' ') + QLatin1String(name) + QStringLiteral("=\"") + value.toHtmlEscaped() + QLatin1Char('"');
    }
    void replaceValue(const Attribute &a, const QString &value) { replaced_.append({&a, value}); }
    bool changed() const
    {
        return !renamed_.isEmpty() || !styles_.isEmpty() || !defaults_.isEmpty() || !added_.isEmpty()
            || !replaced_.isEmpty();
    }

    void appendTo(QString &out) const
    {
        out += QLatin1Char('<');
        if (tag_.end)
            out += QLatin1Char('/');
        out += renamed_.isEmpty() ? tag_.name : QStringView(renamed_);
        const Attribute *style = tag_.attribute("style");
        for (const Attribute &a : tag_.attributes) {
            out += QLatin1Char(' ');
            const QString *replacement = nullptr;
            for (const auto &r : replaced_) {
                if (r.first == &a)
                    replacement = &r.second;
            }
            if (&a == style && !(styles_.isEmpty() && defaults_.isEmpty())) {
                out += QStringLiteral("style=\"") + (QStringList(defaults_) << a.value.toString() << styles_)
                                                         .join(QLatin1Char(';')).toHtmlEscaped() + QLatin1Char('"');
            } else if (replacement) {
                out += a.name;
                out += QStringLiteral("=\"") + replacement->toHtmlEscaped() + QLatin1Char('"');
            } else {
                out += page_.mid(a.start, a.end - a.start);
            }
        }
        if (!style && !(styles_.isEmpty() && defaults_.isEmpty()))
            out += QStringLiteral(" style=\"") + (defaults_ + styles_).join(QLatin1Char(';')).toHtmlEscaped() + QLatin1Char('"');
        out += added_;
        out += tag_.selfClosing ? QLatin1String("/>") : QLatin1String(">");
    }

private:
    QStringView page_;
    const Tag &tag_;
    QString renamed_;
    QStringList styles_;
    QStringList defaults_;
    QString added_;
    QList<QPair<const Attribute *, QString>> replaced_;
};

// What the reader does not know: <del>, <strike> and <ins>, <mark>.
void renameUnknown(const Tag &tag, TagEdit &edit)
{
    if (tag.is("del") || tag.is("strike")) {
        edit.rename("s");
    } else if (tag.is("ins")) {
        edit.rename("u");
    } else if (tag.is("mark")) {
        edit.rename("span");
        if (!tag.end)
            edit.addDefaultStyle(QStringLiteral("background-color:#ffff00"));
    }
}

// Start tags: list numbers, justified text, CSS widths and borders of tables.
void rewriteStartTag(const Tag &tag, TagEdit &edit)
{
    const Attribute *style = tag.attribute("style");
    const QStringView css = style ? style->value : QStringView();
    if (tag.is("ol")) {
        if (const Attribute *start = tag.attribute("start")) {
            bool ok = false;
            const int n = start->value.trimmed().toInt(&ok);
            if (ok) {
                edit.addStyle(QStringLiteral("-qt-list-number-prefix:") + QChar(kStartMark) + QString::number(n)
                              + QChar(kStartMark));
            }
        }
    }
    if (isValue(cssValue(css, QLatin1String("text-align")), "justify") && !tag.attribute("align"))
        edit.addAttribute("align", QStringLiteral("justify"));
    const QStringView indent = cssValue(css, QLatin1String("text-indent"));
    if (indent.endsWith(QLatin1String("em"), Qt::CaseInsensitive) && !cssLength(indent).isEmpty())
        edit.addStyle(QStringLiteral("text-indent:") + cssLength(indent) + QStringLiteral("px"));
    const bool table = tag.is("table");
    if ((table || tag.is("td") || tag.is("th")) && !tag.attribute("width")) {
        const QString width = cssLength(cssValue(css, QLatin1String("width")));
        if (!width.isEmpty())
            edit.addAttribute("width", width);
    }
    if (table && !css.isEmpty()) {
        QString width, color;
        cssBorder(css, &width, &color);
        if (!width.isEmpty() && !tag.attribute("border"))
            edit.addAttribute("border", width);
        if (!color.isEmpty() && !tag.attribute("bordercolor"))
            edit.addAttribute("bordercolor", color);
    }
}

bool hides(const Tag &tag)
{
    const Attribute *style = tag.attribute("style");
    return tag.attribute("hidden") || (style && isValue(cssValue(style->value, QLatin1String("display")), "none"));
}

// ---- the first pass: tags, hidden elements, nesting ----

class FirstPass
{
public:
    explicit FirstPass(QStringView page) : s_(page) { out_.reserve(page.size() + page.size() / 16); }

    QString run()
    {
        qsizetype i = 0;
        for (;;) {
            read(i);
            if (!hiding_)
                return out_;
            // A hidden element that is never closed hides nothing, and
            // nothing after it is hidden either: the page is read again from
            // its start tag (once at most, so the pass stays linear).
            out_.truncate(hideOut_);
            stack_.resize(hideDepth_);
            hiding_ = false;
            hidingOff_ = true;
            i = onTag(hideTag_);
        }
    }

private:
    struct Open
    {
        QStringView name;
        bool dropped;
    };

    void read(qsizetype i)
    {
        while (i < s_.size()) {
            const qsizetype lt = s_.indexOf(QLatin1Char('<'), i);
            if (lt < 0) {
                text(i, s_.size());
                return;
            }
            text(i, lt);
            Tag tag;
            qsizetype next = lt + 1;
            if (readToken(s_, lt, tag, next) == Token::Tag)
                next = onTag(tag);
            else
                text(lt, next);
            i = next;
        }
    }

    void text(qsizetype from, qsizetype to)
    {
        if (!hiding_)
            out_ += s_.mid(from, to - from);
    }

    qsizetype copyTag(const Tag &tag, TagEdit &edit)
    {
        if (!hiding_) {
            if (edit.changed())
                edit.appendTo(out_);
            else
                out_ += s_.mid(tag.start, tag.next - tag.start);
        }
        if (!tag.end && !tag.selfClosing && hasRawText(tag)) {
            const qsizetype end = rawTextEnd(s_, tag);
            text(tag.next, end);
            return end;
        }
        return tag.next;
    }

    qsizetype onTag(const Tag &tag)
    {
        TagEdit edit(s_, tag);
        if (hiding_) {
            if (tag.name.compare(hideTag_.name, Qt::CaseInsensitive) == 0 && !tag.selfClosing) {
                hideNesting_ += tag.end ? -1 : 1;
                if (hideNesting_ == 0) {
                    hiding_ = false;
                    return tag.next;
                }
            }
            return copyTag(tag, edit);
        }
        if (tag.end)
            return onEndTag(tag, edit);
        if (!hidingOff_ && hides(tag)) {
            if (isVoid(tag) || tag.selfClosing)
                return tag.next;
            hiding_ = true;
            hideTag_ = tag;
            hideNesting_ = 1;
            hideOut_ = out_.size();
            hideDepth_ = stack_.size();
            return tag.next;
        }
        renameUnknown(tag, edit);
        rewriteStartTag(tag, edit);
        if (isVoid(tag) || tag.selfClosing || isLooselyClosed(tag) || hasRawText(tag))
            return copyTag(tag, edit);
        const bool drop = stack_.size() >= kMaxHtmlDepth;
        stack_.append({tag.name, drop});
        if (drop)
            return tag.next;
        return copyTag(tag, edit);
    }

    qsizetype onEndTag(const Tag &tag, TagEdit &edit)
    {
        renameUnknown(tag, edit);
        const qsizetype floor = qMax<qsizetype>(0, stack_.size() - kEndTagSearchDepth);
        for (qsizetype k = stack_.size() - 1; k >= floor; --k) {
            if (stack_[k].name.compare(tag.name, Qt::CaseInsensitive) != 0)
                continue;
            const bool dropped = stack_[k].dropped;
            stack_.resize(k);
            return dropped ? tag.next : copyTag(tag, edit);
        }
        return copyTag(tag, edit);
    }

    QStringView s_;
    QString out_;
    QList<Open> stack_;
    bool hiding_ = false;
    bool hidingOff_ = false;
    Tag hideTag_;
    int hideNesting_ = 0;
    qsizetype hideOut_ = 0;
    qsizetype hideDepth_ = 0;
};

// ---- the second pass: the shape of tables ----

struct TableShape
{
    QList<int> rowCells;   // the cells of each row
    int widest = 0;        // the most cells of one row
    bool firstRowHeader = false;  // the first row stands alone and holds header cells only
    bool sawHead = false;

    int rows() const { return int(rowCells.size()); }
};

// Elements are counted in order: for each table start tag, its shape.
QList<TableShape> tableShapes(QStringView s)
{
    QList<TableShape> shapes;
    QList<qsizetype> open;  // indexes into shapes
    QList<int> groupDepth;  // tbody/thead/tfoot open inside each open table
    qsizetype i = 0;
    while ((i = s.indexOf(QLatin1Char('<'), i)) >= 0) {
        Tag tag;
        qsizetype next = i + 1;
        if (readToken(s, i, tag, next) != Token::Tag) {
            i = next;
            continue;
        }
        i = next;
        if (!tag.end && hasRawText(tag)) {
            i = rawTextEnd(s, tag);
            continue;
        }
        if (tag.is("table")) {
            if (!tag.end && !tag.selfClosing) {
                open.append(shapes.size());
                groupDepth.append(0);
                shapes.append(TableShape());
            } else if (tag.end && !open.isEmpty()) {
                open.removeLast();
                groupDepth.removeLast();
            }
            continue;
        }
        if (open.isEmpty() || tag.end)
            continue;
        TableShape &t = shapes[open.last()];
        if (tag.is("thead") || tag.is("tfoot")) {
            t.sawHead = true;
        } else if (tag.is("tbody")) {
            ++groupDepth.last();
        } else if (tag.is("tr")) {
            if (t.rows() == 0 && !t.sawHead && groupDepth.last() == 0)
                t.firstRowHeader = true;
            t.rowCells.append(0);
        } else if (tag.is("td") || tag.is("th")) {
            if (t.rowCells.isEmpty())
                t.rowCells.append(0);  // a cell outside any row opens one
            t.widest = qMax(t.widest, ++t.rowCells.last());
            if (t.rows() == 1 && tag.is("td"))
                t.firstRowHeader = false;
        }
    }
    for (TableShape &t : shapes)
        t.firstRowHeader = t.firstRowHeader && t.rows() > 1 && t.rowCells.first() > 0;
    return shapes;
}

// Spans clamped to the table: a row spans no more columns than the widest
// row has cells, a cell no more rows than are left, and never more than
// kMaxHtmlSpan; a first row of header cells is marked as the table's head.
class SpanPass
{
public:
    SpanPass(QStringView page, QList<TableShape> shapes) : s_(page), shapes_(std::move(shapes))
    {
        out_.reserve(page.size() + page.size() / 64);
    }

    QString run()
    {
        qsizetype i = 0;
        qsizetype copied = 0;
        while ((i = s_.indexOf(QLatin1Char('<'), i)) >= 0) {
            Tag tag;
            qsizetype next = i + 1;
            if (readToken(s_, i, tag, next) != Token::Tag) {
                i = next;
                continue;
            }
            if (!tag.end && hasRawText(tag)) {
                i = rawTextEnd(s_, tag);
                continue;
            }
            TagEdit edit(s_, tag);
            QString before, after;
            onTag(tag, edit, before, after);
            if (edit.changed() || !before.isEmpty() || !after.isEmpty()) {
                out_ += s_.mid(copied, tag.start - copied);
                out_ += before;
                if (edit.changed())
                    edit.appendTo(out_);
                else
                    out_ += s_.mid(tag.start, tag.next - tag.start);
                out_ += after;
                copied = tag.next;
            }
            i = next;
        }
        out_ += s_.mid(copied);
        return out_;
    }

private:
    struct Open
    {
        qsizetype shape;
        int row = -1;
        int cell = 0;        // cells of the row so far
        int width = 0;       // columns they take
        bool inHead = false;  // inside the head this pass made
    };

    void closeHead(Open &t, QString &before)
    {
        if (t.inHead) {
            before += QStringLiteral("</thead>");
            t.inHead = false;
        }
    }

    void onTag(const Tag &tag, TagEdit &edit, QString &before, QString &after)
    {
        if (tag.is("table")) {
            if (!tag.end && !tag.selfClosing && nextShape_ < shapes_.size()) {
                open_.append(Open{nextShape_++});
            } else if (tag.end && !open_.isEmpty()) {
                closeHead(open_.last(), before);
                open_.removeLast();
            }
            return;
        }
        if (open_.isEmpty())
            return;
        Open &t = open_.last();
        const TableShape &shape = shapes_[t.shape];
        if (tag.is("tr") && !tag.end) {
            closeHead(t, before);
            ++t.row;
            t.cell = t.width = 0;
            if (t.row == 0 && shape.firstRowHeader) {
                before += QStringLiteral("<thead>");
                t.inHead = true;
            }
        } else if (tag.is("tr") && tag.end) {
            if (t.inHead) {
                after += QStringLiteral("</thead>");
                t.inHead = false;
            }
        } else if ((tag.is("tbody") || tag.is("tfoot")) && !tag.end) {
            closeHead(t, before);
        } else if ((tag.is("td") || tag.is("th")) && !tag.end) {
            t.row = qMax(0, t.row);
            // Room for this cell: the widest row less what the cells before
            // took and one column for each cell after.
            const int after = qMax(0, shape.rowCells.value(t.row) - t.cell - 1);
            const int room = qBound(1, shape.widest - t.width - after, kMaxHtmlSpan);
            clamp(tag, edit, "colspan", room);
            const Attribute *colspan = tag.attribute("colspan");
            t.width += colspan ? qBound(1, colspan->value.trimmed().toInt(), room) : 1;
            ++t.cell;
            clamp(tag, edit, "rowspan", qBound(1, shape.rows() - t.row, kMaxHtmlSpan));
        }
    }

    static void clamp(const Tag &tag, TagEdit &edit, const char *name, int most)
    {
        const Attribute *a = tag.attribute(name);
        if (!a)
            return;
        bool ok = false;
        const long long v = a->value.trimmed().toLongLong(&ok);
        if (!ok || v < 1 || v > most)
            edit.replaceValue(*a, QString::number(ok && v > most ? most : 1));
    }

    QStringView s_;
    QList<TableShape> shapes_;
    qsizetype nextShape_ = 0;
    QList<Open> open_;
    QString out_;
};

// ---- encodings ----

// The charset a page declares in its first bytes: <meta charset=X> or
// <meta http-equiv="Content-Type" content="...; charset=X">.
QByteArray declaredCharset(QByteArrayView bytes)
{
    const QString head = QString::fromLatin1(bytes.first(qMin(bytes.size(), kCharsetScanBytes)));
    qsizetype i = 0;
    while ((i = head.indexOf(QLatin1Char('<'), i)) >= 0) {
        Tag tag;
        qsizetype next = i + 1;
        if (readToken(head, i, tag, next) == Token::Tag && !tag.end && tag.is("meta")) {
            if (const Attribute *charset = tag.attribute("charset"))
                return charset->value.trimmed().toLatin1();
            const Attribute *content = tag.attribute("content");
            const qsizetype at = content ? content->value.indexOf(QLatin1String("charset="), 0, Qt::CaseInsensitive) : -1;
            if (at >= 0) {
                QStringView v = content->value.mid(at + 8).trimmed();
                const qsizetype end = v.indexOf(QLatin1Char(';'));
                return (end < 0 ? v : v.left(end)).trimmed().toLatin1();
            }
        }
        i = next;
    }
    return {};
}

bool isUtf8Name(const QByteArray &charset)
{
    const QByteArray name = charset.toLower();
    return name == "utf-8" || name == "utf8";
}

// ---- local pictures ----

// The data URL of a picture file inside `root` named by `src`; empty when the
// name leaves the folder, is no file or holds no picture.
QString pictureDataUrl(const QString &src, const QDir &root)
{
    QString path = src;
    const QUrl url(src);
    if (url.isLocalFile())
        path = url.toLocalFile();
    else if (!url.scheme().isEmpty() && url.scheme().size() > 1)
        return {};  // another scheme, data URLs included
    path = QUrl::fromPercentEncoding(path.toUtf8());
    if (path.isEmpty() || QDir::isAbsolutePath(path))
        return {};
    const QString canonical = QFileInfo(root.filePath(path)).canonicalFilePath();
    const QString base = root.canonicalPath();
    if (canonical.isEmpty() || !canonical.startsWith(base + QLatin1Char('/')))
        return {};
    QFile f(canonical);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.readAll();
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const QByteArray format = QImageReader::imageFormat(&buffer);
    if (format.isEmpty())
        return {};
    const QString type = format == "svg" ? QStringLiteral("image/svg+xml") : QStringLiteral("image/") + QString::fromLatin1(format);
    return QStringLiteral("data:") + type + QStringLiteral(";base64,") + QString::fromLatin1(bytes.toBase64());
}

}  // namespace

QString decodeHtml(QByteArrayView bytes)
{
    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        text = QString::fromUtf8(bytes.sliced(3));
    } else if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(bytes[0] == '\xFF' ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        text = decoder.decode(bytes.sliced(2));
    } else {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = utf8.decode(bytes);
        if (utf8.hasError()) {
            // Not UTF-8 whatever the page says: the encoding it declares, or
            // the one most pages in an 8-bit encoding are in.
            QByteArray declared = declaredCharset(bytes);
            if (declared.isEmpty() || isUtf8Name(declared) || !QStringDecoder(declared.constData()).isValid())
                declared = "windows-1252";
            QStringDecoder decoder(declared.constData());
            text = decoder.decode(bytes);
        }
    }
    text.remove(QChar(0));
    return text;
}

QString prepareHtml(const QString &html)
{
    const QString first = FirstPass(html).run();
    if (!first.contains(QLatin1String("<table"), Qt::CaseInsensitive))
        return first;
    return SpanPass(first, tableShapes(first)).run();
}

QString inlineLocalImages(const QString &html, const QString &folder)
{
    const QDir root(folder);
    if (!root.exists())
        return html;
    QString out;
    qsizetype copied = 0;
    qsizetype i = 0;
    while ((i = html.indexOf(QLatin1Char('<'), i)) >= 0) {
        Tag tag;
        qsizetype next = i + 1;
        if (readToken(html, i, tag, next) == Token::Tag && !tag.end && tag.is("img")) {
            if (const Attribute *src = tag.attribute("src")) {
                const QString url = pictureDataUrl(src->value.trimmed().toString(), root);
                if (!url.isEmpty()) {
                    TagEdit edit(html, tag);
                    edit.replaceValue(*src, url);
                    out += QStringView(html).mid(copied, tag.start - copied);
                    edit.appendTo(out);
                    copied = tag.next;
                }
            }
        }
        i = next;
    }
    if (copied == 0)
        return html;
    out += QStringView(html).mid(copied);
    return out;
}
