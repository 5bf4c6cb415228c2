#pragma once
// Reading the markup of an HTML page as its tokenizer would, one tag at a
// time, and rewriting single tags: the steps the passes over a page share.
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVarLengthArray>

struct DocxHtmlAttribute
{
    QStringView name;
    QStringView value;
    qsizetype start = 0;  // of the name
    qsizetype end = 0;    // past the value (and its quote)
    bool hasValue = false;
};

struct DocxHtmlTag
{
    QStringView name;
    bool end = false;
    bool selfClosing = false;
    qsizetype start = 0;
    qsizetype nameEnd = 0;
    qsizetype close = 0;  // where "/>" or ">" starts
    qsizetype next = 0;   // past '>'
    QVarLengthArray<DocxHtmlAttribute, 8> attributes;

    bool is(const char *n) const { return name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0; }
    const DocxHtmlAttribute *attribute(const char *n) const
    {
        for (const DocxHtmlAttribute &a : attributes) {
            if (a.name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0)
                return &a;
        }
        return nullptr;
    }
};

enum class DocxHtmlToken { Text, Tag, Other, Incomplete };

// Reads the markup at `i` (a '<') as an HTML tokenizer would: a start or end
// tag with its attributes, a comment or declaration (Other), or a '<' that
// opens nothing (Text). `next` is where reading goes on.
DocxHtmlToken readHtmlToken(QStringView s, qsizetype i, DocxHtmlTag &tag, qsizetype &next);
// Elements whose content is text up to their end tag (names in any case).
bool hasRawText(QStringView name);
// Elements without content (names in any case).
bool isVoidElement(QStringView name);
// Where the raw text of `tag` ends: the start of its end tag, or the end.
qsizetype rawTextEnd(QStringView s, const DocxHtmlTag &tag);

// Calls `onTag(tag)` for every start and end tag of `s` in order; text,
// comments and the content of raw-text elements are passed over.
template <typename OnTag>
void forEachHtmlTag(QStringView s, OnTag &&onTag)
{
    qsizetype i = 0;
    while ((i = s.indexOf(QLatin1Char('<'), i)) >= 0) {
        DocxHtmlTag tag;
        qsizetype next = i + 1;
        if (readHtmlToken(s, i, tag, next) != DocxHtmlToken::Tag) {
            i = next;
            continue;
        }
        if (!tag.end && hasRawText(tag.name)) {
            i = rawTextEnd(s, tag);
            continue;
        }
        onTag(tag);
        i = next;
    }
}

// Edits to the text of one tag: the tag is copied with these applied.
class DocxHtmlTagEdit
{
public:
    // An attribute value as the page writes it, in double quotes.
    static QString quoted(QStringView value);

    DocxHtmlTagEdit(QStringView page, const DocxHtmlTag &tag) : page_(page), tag_(tag) {}

    void rename(const char *name) { renamed_ = QLatin1String(name); }
    // Adds `declaration` to the tag's style attribute (which is made when missing).
    void addStyle(const QString &declaration) { styles_ += declaration; }
    // The same, for a declaration the tag's own declarations take precedence over.
    void addDefaultStyle(const QString &declaration) { defaults_ += declaration; }
    // Values are given as the page writes them (character references and all).
    void addAttribute(const char *name, const QString &value)
    {
        added_ += QLatin1Char(' ') + QLatin1String(name) + QLatin1Char('=') + quoted(value);
    }
    void replaceValue(const DocxHtmlAttribute &a, const QString &value) { replaced_.append({&a, value}); }
    bool changed() const
    {
        return !renamed_.isEmpty() || !styles_.isEmpty() || !defaults_.isEmpty() || !added_.isEmpty()
            || !replaced_.isEmpty();
    }

    // The tag as text, edited.
    void appendTo(QString &out) const;

private:
    QStringView page_;
    const DocxHtmlTag &tag_;
    QString renamed_;
    QStringList styles_;
    QStringList defaults_;
    QString added_;
    QList<QPair<const DocxHtmlAttribute *, QString>> replaced_;
};

// Copies `page` into `out`, letting `onTag(tag, edit, before, after)` edit each
// tag through `edit` and put text before and after it; a tag nobody touched
// and the text between tags are copied as they are, in runs.
template <typename OnTag>
void rewriteHtmlTags(QStringView page, QString &out, OnTag &&onTag)
{
    qsizetype copied = 0;
    forEachHtmlTag(page, [&](const DocxHtmlTag &tag) {
        DocxHtmlTagEdit edit(page, tag);
        QString before, after;
        onTag(tag, edit, before, after);
        if (!edit.changed() && before.isEmpty() && after.isEmpty())
            return;
        out += page.mid(copied, tag.start - copied);
        out += before;
        if (edit.changed())
            edit.appendTo(out);
        else
            out += page.mid(tag.start, tag.next - tag.start);
        out += after;
        copied = tag.next;
    });
    out += page.mid(copied);
}
