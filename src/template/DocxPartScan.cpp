// Scanning a part's markup for elements and template tags.
#include "DocxPartScan.h"

#include "DocxTemplateTags.h"

namespace {

bool isNameEnd(char c) { return c == ' ' || c == '>' || c == '/' || c == '\t' || c == '\n' || c == '\r'; }

// The end of the markup construct that starts at `pos` ('<'): past its '>'
// (a quoted '>' in an attribute does not end it); -1 when the bytes end first.
qsizetype markupEnd(const QByteArray &bytes, qsizetype pos)
{
    if (bytes.sliced(pos).startsWith("<!--")) {
        const qsizetype e = bytes.indexOf("-->", pos + 4);
        return e < 0 ? -1 : e + 3;
    }
    if (bytes.sliced(pos).startsWith("<![CDATA[")) {
        const qsizetype e = bytes.indexOf("]]>", pos + 9);
        return e < 0 ? -1 : e + 3;
    }
    char quote = 0;
    for (qsizetype i = pos + 1; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (quote) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i + 1;
        }
    }
    return -1;
}

}  // namespace

bool DocxPartScan::scan(const QByteArray &bytes, QString &err)
{
    QList<int> open;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        const qsizetype lt = bytes.indexOf('<', pos);
        const qsizetype textEnd = lt < 0 ? bytes.size() : lt;
        // Template tags in the text between pos and textEnd.
        const QByteArrayView text = QByteArrayView(bytes).sliced(pos, textEnd - pos);
        for (qsizetype at = text.indexOf('{'); at >= 0; at = text.indexOf('{', at + 1)) {
            const qsizetype i = pos + at;
            if (i + 1 >= textEnd)
                break;
            const char opener = bytes.at(i + 1);
            if (!QByteArrayView(kTagOpeners).contains(opener))
                continue;
            const char closer[] = {opener == '{' ? '}' : opener, '}', 0};
            const qsizetype closeAt = text.indexOf(QByteArrayView(closer), at + 2);
            const qsizetype close = closeAt < 0 ? -1 : pos + closeAt;
            if (close < 0) {
                err = QStringLiteral("the tag \"%1\" is not closed in the text that opens it")
                          .arg(unescapedText(QByteArrayView(bytes).sliced(i, qMin<qsizetype>(30, textEnd - i))));
                return false;
            }
            tags.append({i, close + 2, open.isEmpty() ? -1 : open.last()});
            at = close + 1 - pos;
        }
        if (lt < 0)
            break;
        const qsizetype gt = markupEnd(bytes, lt);
        if (gt < 0) {
            err = QStringLiteral("the markup ends inside a tag");
            return false;
        }
        const char kind = lt + 1 < bytes.size() ? bytes.at(lt + 1) : 0;
        if (kind == '/') {
            if (open.isEmpty()) {
                err = QStringLiteral("an end tag closes nothing");
                return false;
            }
            elements[open.takeLast()].end = gt;
        } else if (kind != '?' && kind != '!') {
            qsizetype nameEnd = lt + 1;
            while (nameEnd < gt && !isNameEnd(bytes.at(nameEnd)))
                ++nameEnd;
            DocxScannedElement el{QByteArrayView(bytes).sliced(lt + 1, nameEnd - lt - 1), lt, gt,
                                  open.isEmpty() ? -1 : open.last()};
            elements.append(el);
            if (bytes.at(gt - 2) != '/')
                open.append(int(elements.size() - 1));
        }
        pos = gt;
    }
    if (!open.isEmpty()) {
        err = QStringLiteral("an element is not closed");
        return false;
    }
    return true;
}

bool locateRootStartTag(const QByteArray &bytes, qsizetype &start, qsizetype &end)
{
    qsizetype lt = bytes.indexOf('<');
    while (lt >= 0 && lt + 1 < bytes.size() && (bytes.at(lt + 1) == '?' || bytes.at(lt + 1) == '!')) {
        const qsizetype close = markupEnd(bytes, lt);
        lt = close < 0 ? -1 : bytes.indexOf('<', close);
    }
    const qsizetype gt = lt < 0 ? -1 : markupEnd(bytes, lt);
    if (gt < 0)
        return false;
    start = lt;
    end = gt - 1;
    return true;
}

int DocxPartScan::enclosing(int from, QByteArrayView name) const
{
    for (int i = from; i >= 0; i = elements.at(i).parent) {
        if (elements.at(i).name == name)
            return i;
    }
    return -1;
}

int DocxPartScan::firstChild(int index) const
{
    return index + 1 < elements.size() && elements.at(index + 1).parent == index ? index + 1 : -1;
}

QString unescapedText(QByteArrayView bytes)
{
    if (!bytes.contains('&'))
        return QString::fromUtf8(bytes);
    QString out;
    const QString s = QString::fromUtf8(bytes);
    for (qsizetype i = 0; i < s.size(); ++i) {
        const qsizetype semi = s.at(i) == QLatin1Char('&') ? s.indexOf(QLatin1Char(';'), i) : -1;
        if (semi < 0 || semi - i > 10) {
            out += s.at(i);
            continue;
        }
        const QStringView ref = QStringView(s).sliced(i + 1, semi - i - 1);
        char32_t code = 0;
        bool ok = true;
        if (ref == u"amp") code = '&';
        else if (ref == u"lt") code = '<';
        else if (ref == u"gt") code = '>';
        else if (ref == u"quot") code = '"';
        else if (ref == u"apos") code = '\'';
        else if (ref.startsWith(u"#x")) code = ref.sliced(2).toUInt(&ok, 16);
        else if (ref.startsWith(u"#")) code = ref.sliced(1).toUInt(&ok, 10);
        else ok = false;
        if (!ok || code == 0 || code > 0x10FFFF) {
            out += s.at(i);
            continue;
        }
        out += QString::fromUcs4(&code, 1);
        i = semi;
    }
    return out;
}

QString textOfMarkup(QByteArrayView bytes)
{
    QByteArray text;
    bool inTag = false;
    for (const char c : bytes) {
        if (c == '<')
            inTag = true;
        else if (c == '>')
            inTag = false;
        else if (!inTag)
            text += c;
    }
    return unescapedText(text);
}
