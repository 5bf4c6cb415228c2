// Preparing an HTML page for the rich-text reader: what the reader would lose
// or take too long over is made plain in its markup, in linear passes over
// the text that rewrite single tags and leave all else as it is.
#include "DocxHtmlPrepare.h"
#include "DocxHtmlCss.h"
#include "DocxHtmlTokens.h"
#include "DocxHtmlWordLists.h"

#include <QList>

#include <optional>

namespace {

constexpr char16_t kStartMark = 0xE000;  // brackets a list's first number in its label prefix
constexpr int kEndTagSearchDepth = 64;  // open elements an end tag is matched against
// Comments show nothing, and one before the body's first element (as a page
// copied from Word has) makes the reader drop the page's style sheets: none
// is passed on.
constexpr QLatin1String kCommentOpen("<!--");

using Tag = DocxHtmlTag;
using Attribute = DocxHtmlAttribute;
using TagEdit = DocxHtmlTagEdit;

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

// ---- style attributes ----

// A table's border from CSS (border, border-width/-style/-color) as the
// border and bordercolor attributes.
void cssBorder(QStringView style, QString *width, QString *color)
{
    auto take = [&](QStringView token) {
        if (isCssValue(token, "none") || isCssValue(token, "hidden"))
            *width = QStringLiteral("0");
        else if (isCssValue(token, "thin"))
            *width = QStringLiteral("1");
        else if (isCssValue(token, "medium"))
            *width = QStringLiteral("3");
        else if (isCssValue(token, "thick"))
            *width = QStringLiteral("5");
        else if (!cssLength(token).isEmpty() && !token.endsWith(QLatin1Char('%')))
            *width = width->isEmpty() || *width != QLatin1String("0") ? cssLength(token) : *width;
        else if (!token.isEmpty() && !isCssValue(token, "solid") && !isCssValue(token, "dashed") && !isCssValue(token, "dotted")
                 && !isCssValue(token, "double") && !isCssValue(token, "inset") && !isCssValue(token, "outset")
                 && !isCssValue(token, "groove") && !isCssValue(token, "ridge"))
            *color = token.toString();
    };
    for (QStringView token : cssValue(style, QLatin1String("border")).tokenize(u' ', Qt::SkipEmptyParts))
        take(token);
    const QStringView bw = cssValue(style, QLatin1String("border-width"));
    if (!bw.isNull())
        take(bw);
    const QStringView bs = cssValue(style, QLatin1String("border-style"));
    if (isCssValue(bs, "none") || isCssValue(bs, "hidden"))
        *width = QStringLiteral("0");
    const QStringView bc = cssValue(style, QLatin1String("border-color"));
    if (!bc.isNull())
        *color = bc.toString();
}

// ---- rewriting one tag ----

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

// Blocks whose padding the reader leaves out.
bool takesNoPadding(const Tag &t)
{
    for (const char *v : {"p", "li", "h1", "h2", "h3", "h4", "h5", "h6"}) {
        if (t.is(v))
            return true;
    }
    return false;
}

// One side of a margin or padding: its own property, else the shorthand's
// value for that side (`side` counts top, right, bottom, left).
double cssSide(QStringView css, const char *shorthand, int side)
{
    static const char *const kSides[] = {"-top", "-right", "-bottom", "-left"};
    const QByteArray own = QByteArray(shorthand) + kSides[side];
    QStringView value = cssValue(css, QLatin1String(own));
    if (value.isNull()) {
        const QList<QStringView> values = cssValue(css, QLatin1String(shorthand)).split(u' ', Qt::SkipEmptyParts);
        // One value for all sides, two for top/bottom and right/left, three
        // for top, right/left and bottom, four for each.
        static const int kPick[4][4] = {{0, 0, 0, 0}, {0, 1, 0, 1}, {0, 1, 2, 1}, {0, 1, 2, 3}};
        if (values.isEmpty() || values.size() > 4)
            return 0;
        value = values[kPick[values.size() - 1][side]];
    }
    return cssPixels(value).value_or(0);
}

// A block's left padding, which the reader leaves out, added to its left
// margin: the text stands where a browser shows it.
void paddingAsMargin(QStringView css, TagEdit &edit)
{
    constexpr int kLeft = 3;
    const double padding = cssSide(css, "padding", kLeft);
    if (padding > 0) {
        edit.addStyle(QStringLiteral("margin-left:") + QString::number(cssSide(css, "margin", kLeft) + padding, 'f', 2)
                      + QStringLiteral("px"));
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
    if (isCssValue(cssValue(css, QLatin1String("text-align")), "justify") && !tag.attribute("align"))
        edit.addAttribute("align", QStringLiteral("justify"));
    const QString box = cssBoxInPixels(css);
    if (!box.isEmpty())
        edit.addStyle(box);
    if (takesNoPadding(tag))
        paddingAsMargin(css, edit);
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
    return tag.attribute("hidden") || (style && isCssValue(cssValue(style->value, QLatin1String("display")), "none"));
}

// ---- the first pass: tags, hidden elements, nesting ----

class FirstPass
{
public:
    FirstPass(QStringView page, const QSet<QString> &itemClasses) : s_(page), itemClasses_(itemClasses)
    {
        out_.reserve(page.size() + page.size() / 16);
    }

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

    // The classes and ids of the page, found when its first style sheet is met.
    const DocxHtmlNames &names()
    {
        if (!names_) {
            names_ = htmlNamesOf(s_);
            names_->itemClasses = itemClasses_;
        }
        return *names_;
    }

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
            const DocxHtmlToken token = readHtmlToken(s_, lt, tag, next);
            if (token == DocxHtmlToken::Tag)
                next = onTag(tag);
            else if (token != DocxHtmlToken::Other || !s_.mid(lt).startsWith(kCommentOpen))
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
        if (!tag.end && !tag.selfClosing && hasRawText(tag.name)) {
            const qsizetype end = rawTextEnd(s_, tag);
            if (tag.is("style") && !hiding_)
                out_ += readableStyleSheet(s_.mid(tag.next, end - tag.next), names());
            else
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
            if (isVoidElement(tag.name) || tag.selfClosing)
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
        if (isVoidElement(tag.name) || tag.selfClosing || isLooselyClosed(tag) || hasRawText(tag.name))
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
    const QSet<QString> &itemClasses_;
    QString out_;
    std::optional<DocxHtmlNames> names_;
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
    forEachHtmlTag(s, [&](const Tag &tag) {
        if (tag.is("table")) {
            if (!tag.end && !tag.selfClosing) {
                open.append(shapes.size());
                groupDepth.append(0);
                shapes.append(TableShape());
            } else if (tag.end && !open.isEmpty()) {
                open.removeLast();
                groupDepth.removeLast();
            }
            return;
        }
        if (open.isEmpty() || tag.end)
            return;
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
    });
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
        rewriteHtmlTags(s_, out_, [&](const Tag &tag, TagEdit &edit, QString &before, QString &after) {
            onTag(tag, edit, before, after);
        });
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

}  // namespace

QString prepareHtml(const QString &html)
{
    QSet<QString> itemClasses;
    const QString page = wordListsAsLists(html, itemClasses);
    const QString first = FirstPass(page, itemClasses).run();
    if (!first.contains(QLatin1String("<table"), Qt::CaseInsensitive))
        return first;
    return SpanPass(first, tableShapes(first)).run();
}

