// Word's clipboard lists made HTML lists, in one pass over the tags.
#include "DocxHtmlWordLists.h"
#include "DocxHtmlCss.h"
#include "DocxHtmlTokens.h"

#include <QList>

namespace {

constexpr QLatin1String kWordList("mso-list");
constexpr QLatin1String kLevel("level");
constexpr QLatin1String kRomanDigits("ivxlcdm");

using Tag = DocxHtmlTag;
using TagEdit = DocxHtmlTagEdit;

// Where a paragraph stands in a Word list: the list and its instance
// ("l0 lfo1") and the level, from 1.
struct WordListItem
{
    QString list;
    int level = 0;
};

bool readItem(const Tag &tag, WordListItem &item)
{
    const DocxHtmlAttribute *style = tag.attribute("style");
    const QStringView value = style ? cssValue(style->value, kWordList) : QStringView();
    item = WordListItem();
    for (QStringView token : value.tokenize(u' ', Qt::SkipEmptyParts)) {
        if (token.startsWith(kLevel, Qt::CaseInsensitive))
            item.level = token.mid(kLevel.size()).toInt();
        else
            item.list += token.toString() + QLatin1Char(' ');
    }
    return item.level > 0;
}

bool isLabelSpan(const Tag &tag)
{
    const DocxHtmlAttribute *style = tag.attribute("style");
    return tag.is("span") && style && isCssValue(cssValue(style->value, kWordList), "ignore");
}

// The value of a roman number, 0 when `digits` is none.
int romanValue(QStringView digits)
{
    int total = 0, previous = 0;
    for (qsizetype i = digits.size() - 1; i >= 0; --i) {
        static const int kValues[] = {1, 5, 10, 50, 100, 500, 1000};
        const qsizetype k = kRomanDigits.indexOf(digits[i].toLower());
        if (k < 0)
            return 0;
        const int v = kValues[k];
        total += v < previous ? -v : v;
        previous = qMax(previous, v);
    }
    return total;
}

// A list's start tag as its first label reads.
QString listStartTag(QStringView label)
{
    label = label.trimmed();
    const bool closing = label.endsWith(QLatin1Char('.')) || label.endsWith(QLatin1Char(')'));
    const QStringView core = closing ? label.chopped(1) : label;
    const QString suffix = closing && label.endsWith(QLatin1Char(')'))
        ? QStringLiteral(" style=\"-qt-list-number-suffix:')'\"") : QString();
    bool number = false;
    const int n = core.toInt(&number);
    if (number && n >= 0)
        return QStringLiteral("<ol start=\"%1\"%2>").arg(n).arg(suffix);
    const bool single = core.size() == 1 && core[0].isLetter() && core[0].unicode() < 0x80;
    const int roman = romanValue(core);
    if (roman > 0 && closing && !(single && QStringLiteral("cdlmCDLM").contains(core[0]))) {
        return QStringLiteral("<ol type=\"%1\" start=\"%2\"%3>")
            .arg(core[0].isUpper() ? QLatin1Char('I') : QLatin1Char('i')).arg(roman).arg(suffix);
    }
    if (single && closing) {
        const QChar c = core[0];
        return QStringLiteral("<ol type=\"%1\" start=\"%2\"%3>")
            .arg(c.isUpper() ? QLatin1Char('A') : QLatin1Char('a'))
            .arg(c.toLower().unicode() - u'a' + 1)
            .arg(suffix);
    }
    if (label == QLatin1String("o"))
        return QStringLiteral("<ul style=\"list-style-type:circle\">");
    if (label == QStringLiteral("\u00A7") || label == QStringLiteral("\u25AA") || label == QStringLiteral("\uF0A7"))
        return QStringLiteral("<ul style=\"list-style-type:square\">");
    return QStringLiteral("<ul>");
}

bool isOneOf(const Tag &tag, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        if (tag.is(name))
            return true;
    }
    return false;
}

// Tags that end the lists open before them: another block, or the end of
// what holds them.
bool endsLists(const Tag &tag)
{
    if (tag.end)
        return isOneOf(tag, {"div", "td", "th", "table", "body", "blockquote"});
    return isOneOf(tag, {"p", "h1", "h2", "h3", "h4", "h5", "h6", "div", "table", "ul", "ol", "blockquote", "pre",
                         "hr", "dl"});
}

class WordListPass
{
public:
    WordListPass(QStringView page, QSet<QString> &itemClasses) : s_(page), itemClasses_(itemClasses)
    {
        out_.reserve(page.size() + page.size() / 32);
    }

    QString run()
    {
        rewriteHtmlTags(s_, out_, [&](const Tag &tag, TagEdit &edit, QString &before, QString &) {
            onTag(tag, edit, before);
        });
        closeLists(0, out_);
        return out_;
    }

private:
    struct Open
    {
        int level;
        QString list;
        QString startTag;
    };

    void onTag(const Tag &tag, TagEdit &edit, QString &before)
    {
        WordListItem item;
        if (!tag.end && tag.is("p") && readItem(tag, item)) {
            openItem(tag, item, before);
            edit.rename("li");
            if (const DocxHtmlAttribute *c = tag.attribute("class")) {
                for (QStringView name : c->value.tokenize(u' ', Qt::SkipEmptyParts))
                    itemClasses_.insert(name.toString().toLower());
            }
            // The list indents its items as Word's levels do.
            edit.addStyle(QStringLiteral("margin-left:0;text-indent:0"));
            inItem_ = true;
        } else if (tag.end && tag.is("p") && inItem_) {
            edit.rename("li");
            inItem_ = false;
        } else if (!tag.end && isLabelSpan(tag)) {
            edit.addStyle(QStringLiteral("display:none"));
        } else if (endsLists(tag)) {
            closeLists(0, before);
        }
    }

    // The text of the label of the item whose start tag is `tag`: the text
    // of its label span, the spans it holds included.
    QString labelText(const Tag &tag) const
    {
        const qsizetype end = s_.indexOf(QLatin1String("</p"), tag.next, Qt::CaseInsensitive);
        const QStringView item = s_.mid(tag.next, (end < 0 ? s_.size() : end) - tag.next);
        const qsizetype ignore = item.indexOf(QLatin1String("ignore"), 0, Qt::CaseInsensitive);
        qsizetype i = ignore < 0 ? item.size() : item.indexOf(QLatin1Char('>'), ignore) + 1;
        QString text;
        for (int depth = 0; i > 0 && i < item.size() && depth >= 0;) {
            const qsizetype lt = item.indexOf(QLatin1Char('<'), i);
            text += item.mid(i, (lt < 0 ? item.size() : lt) - i);
            if (lt < 0)
                break;
            const qsizetype gt = item.indexOf(QLatin1Char('>'), lt);
            depth += item.mid(lt).startsWith(QLatin1String("</")) ? -1 : 1;
            i = gt < 0 ? item.size() : gt + 1;
        }
        return text.replace(QLatin1String("&nbsp;"), QLatin1String(" ")).replace(QChar(0xA0), QLatin1Char(' '));
    }

    void openItem(const Tag &tag, const WordListItem &item, QString &before)
    {
        const QString startTag = listStartTag(labelText(tag));
        // A list open at the item's level takes it when it is of the same
        // instance and kind (<ol or <ul); lists deeper than the item end.
        auto fits = [&](const Open &o) {
            return o.level < item.level
                || (o.level == item.level && o.list == item.list && o.startTag.left(3) == startTag.left(3));
        };
        qsizetype keep = open_.size();
        while (keep > 0 && !fits(open_[keep - 1]))
            --keep;
        closeLists(keep, before);
        while (open_.isEmpty() || open_.last().level < item.level) {
            const int level = open_.isEmpty() ? item.level : open_.last().level + 1;
            open_.append({level, item.list, startTag});
            before += startTag;
        }
    }

    void closeLists(qsizetype keep, QString &out)
    {
        while (open_.size() > keep) {
            out += open_.last().startTag.startsWith(QLatin1String("<ol")) ? QLatin1String("</ol>") : QLatin1String("</ul>");
            open_.removeLast();
        }
    }

    QStringView s_;
    QSet<QString> &itemClasses_;
    QString out_;
    QList<Open> open_;
    bool inItem_ = false;
};

}  // namespace

QString wordListsAsLists(const QString &page, QSet<QString> &itemClasses)
{
    if (!page.contains(kWordList, Qt::CaseInsensitive))
        return page;
    return WordListPass(page, itemClasses).run();
}
