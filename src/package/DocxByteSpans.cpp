// Placing the stream reader's offsets in a part's bytes.
#include "DocxByteSpans.h"

#include <QHash>

#include <algorithm>
#include <cstring>

// The bindings in force inside the innermost of `stack`, each prefix once (the
// innermost binding of a prefix, placed where that binding was made).
DocxNamespaceBindings flattenBindings(const QList<DocxNamespaceBindings> &stack)
{
    DocxNamespaceBindings all;
    QHash<QString, qsizetype> innermost;
    for (const auto &level : stack) {
        for (const auto &b : level) {
            innermost.insert(b.first, all.size());
            all.append(b);
        }
    }
    DocxNamespaceBindings out;
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (innermost.value(all[i].first) == i)
            out.append(all[i]);
    }
    return out;
}



namespace {

// Whether the start tag of an element named `name` opens at `at`: '<', the
// name, then '>', '/' or a space.
bool opensAt(const QByteArray &bytes, qsizetype at, QStringView name)
{
    if (at < 0 || at >= bytes.size() || bytes.at(at) != '<')
        return false;
    qsizetype end = at + 1;
    const bool ascii = std::all_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii) {
        for (const QChar c : name) {
            if (end >= bytes.size() || bytes.at(end) != char(c.unicode()))
                return false;
            ++end;
        }
    } else {
        const QByteArray utf8 = name.toUtf8();
        if (!QByteArrayView(bytes).sliced(end).startsWith(utf8))
            return false;
        end += utf8.size();
    }
    return end < bytes.size() && (bytes.at(end) == '>' || bytes.at(end) == '/' || QChar::isSpace(uchar(bytes.at(end))));
}

}  // namespace

// Where the start tag of an element named `name` begins, from the reader's
// offset of the token before it: the offset sits at the '<', or up to two
// characters past it (at the very start of a document without a declaration),
// or before whitespace that precedes it. -1 when no candidate opens the tag.
qsizetype startTagAt(const QByteArray &bytes, DocxByteOffsets &offsets, qint64 startChar, QStringView name)
{
    const qsizetype a = offsets.at(startChar);
    if (a < 0)
        return -1;
    qsizetype afterSpace = a;
    while (afterSpace < bytes.size() && QChar::isSpace(uchar(bytes.at(afterSpace))))
        ++afterSpace;
    for (qsizetype candidate : {a, a - 1, a - 2, afterSpace}) {
        if (opensAt(bytes, candidate, name))
            return candidate;
    }
    return -1;
}

// Just after the '>' ending an element, from the reader's offset after its end
// tag; -1 when the offset does not land there.
qsizetype elementEndAt(const QByteArray &bytes, DocxByteOffsets &offsets, qint64 endChar)
{
    const qsizetype b = offsets.at(endChar);
    return b > 0 && b <= bytes.size() && bytes.at(b - 1) == '>' ? b : -1;
}

// The position just after the '>' closing the start tag that begins at `start`.
qsizetype startTagEnd(const QByteArray &bytes, qsizetype start)
{
    char quote = 0;
    for (qsizetype i = start; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i + 1;
        }
    }
    return -1;
}

bool isUtf8Part(const QXmlStreamReader &r, const QByteArray &bytes)
{
    const QStringView encoding = r.documentEncoding();
    return (encoding.isEmpty() || encoding.compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) == 0)
        && !bytes.startsWith("\xFE\xFF") && !bytes.startsWith("\xFF\xFE");
}

