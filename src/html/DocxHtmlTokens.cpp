// Reading the markup of an HTML page as its tokenizer would.
#include "DocxHtmlTokens.h"

namespace {

bool isSpace(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')
        || c == QLatin1Char('\f');
}
bool isLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}
bool isOneOf(QStringView name, std::initializer_list<const char *> names)
{
    for (const char *n : names) {
        if (name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

}  // namespace

DocxHtmlToken readHtmlToken(QStringView s, qsizetype i, DocxHtmlTag &tag, qsizetype &next)
{
    const qsizetype n = s.size();
    auto at = [&](qsizetype k) { return k < n ? s[k] : QChar(); };
    if (s.mid(i).startsWith(QLatin1String("<!--"))) {
        qsizetype close = s.indexOf(QLatin1String("-->"), i + 2);
        next = close < 0 ? n : close + 3;
        return DocxHtmlToken::Other;
    }
    if (at(i + 1) == QLatin1Char('!') || at(i + 1) == QLatin1Char('?')) {
        const qsizetype close = s.indexOf(QLatin1Char('>'), i);
        next = close < 0 ? n : close + 1;
        return DocxHtmlToken::Other;
    }
    tag.end = at(i + 1) == QLatin1Char('/');
    qsizetype k = i + (tag.end ? 2 : 1);
    if (!isLetter(at(k))) {
        next = i + 1;
        return DocxHtmlToken::Text;
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
            return DocxHtmlToken::Incomplete;
        }
        if (s[k] == QLatin1Char('>') || (s[k] == QLatin1Char('/') && at(k + 1) == QLatin1Char('>'))) {
            tag.selfClosing = s[k] == QLatin1Char('/');
            tag.close = k;
            tag.next = next = k + (tag.selfClosing ? 2 : 1);
            return DocxHtmlToken::Tag;
        }
        DocxHtmlAttribute a;
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
                    return DocxHtmlToken::Incomplete;
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

bool hasRawText(QStringView name) { return isOneOf(name, {"script", "style", "title", "textarea", "xmp"}); }

bool isVoidElement(QStringView name)
{
    return isOneOf(name, {"br", "img", "hr", "meta", "link", "input", "col", "area", "base", "embed", "param", "source",
                          "track", "wbr"});
}

qsizetype rawTextEnd(QStringView s, const DocxHtmlTag &tag)
{
    for (qsizetype i = s.indexOf(QLatin1String("</"), tag.next); i >= 0; i = s.indexOf(QLatin1String("</"), i + 2)) {
        if (s.mid(i + 2, tag.name.size()).compare(tag.name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return s.size();
}


QString DocxHtmlTagEdit::quoted(QStringView value)
{
    return QLatin1Char('"') + value.toString().replace(QLatin1Char('"'), QLatin1String("&quot;")) + QLatin1Char('"');
}

void DocxHtmlTagEdit::appendTo(QString &out) const
{
    out += QLatin1Char('<');
    if (tag_.end)
        out += QLatin1Char('/');
    out += renamed_.isEmpty() ? tag_.name : QStringView(renamed_);
    const DocxHtmlAttribute *style = tag_.attribute("style");
    const bool styled = !(styles_.isEmpty() && defaults_.isEmpty());
    for (const DocxHtmlAttribute &a : tag_.attributes) {
        out += QLatin1Char(' ');
        const QString *replacement = nullptr;
        for (const auto &r : replaced_) {
            if (r.first == &a)
                replacement = &r.second;
        }
        if (&a == style && styled) {
            out += QLatin1String("style=") + quoted((QStringList(defaults_) << a.value.toString() << styles_).join(QLatin1Char(';')));
        } else if (replacement) {
            out += a.name;
            out += QLatin1Char('=') + quoted(*replacement);
        } else {
            out += page_.mid(a.start, a.end - a.start);
        }
    }
    if (!style && styled)
        out += QLatin1String(" style=") + quoted((defaults_ + styles_).join(QLatin1Char(';')));
    out += added_;
    out += tag_.selfClosing ? QLatin1String("/>") : QLatin1String(">");
}
