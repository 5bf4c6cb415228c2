// Matching in a paragraph's text and expanding the replacement.
#include "DocxTextReplace.h"

#include <QList>

namespace {

QRegularExpression compiled(const QString &find, DocxReplaceOptions options)
{
    QString pattern = options.regex ? find : QRegularExpression::escape(find);
    if (options.wholeWord)
        pattern = QStringLiteral("(?<!\\w)(?:%1)(?!\\w)").arg(pattern);
    QRegularExpression::PatternOptions flags = QRegularExpression::UseUnicodePropertiesOption;
    if (!options.matchCase)
        flags |= QRegularExpression::CaseInsensitiveOption;
    return QRegularExpression(pattern, flags);
}

struct Match
{
    qsizetype start;
    qsizetype end;
    QString replacement;
};

}  // namespace

DocxTextReplace::DocxTextReplace(const QString &find, const QString &replacement, DocxReplaceOptions options)
    : pattern_(compiled(find, options)), replacement_(replacement), regex_(options.regex)
{
}

QString DocxTextReplace::errorString() const
{
    return QStringLiteral("Invalid regular expression: %1 at offset %2")
        .arg(pattern_.errorString())
        .arg(pattern_.patternErrorOffset());
}

// The replacement with \N (N a group of the expression, one or two digits)
// put as the text the group matched, and \\ as one backslash.
QString DocxTextReplace::replacementFor(const QRegularExpressionMatch &match) const
{
    if (!regex_)
        return replacement_;
    QString out;
    const int groups = pattern_.captureCount();
    for (qsizetype i = 0; i < replacement_.size(); ++i) {
        const QChar c = replacement_.at(i);
        const QChar next = i + 1 < replacement_.size() ? replacement_.at(i + 1) : QChar();
        if (c != QLatin1Char('\\') || (!next.isDigit() && next != QLatin1Char('\\'))) {
            out += c;
            continue;
        }
        ++i;
        if (next == QLatin1Char('\\')) {
            out += next;
            continue;
        }
        int group = next.digitValue();
        if (i + 1 < replacement_.size() && replacement_.at(i + 1).isDigit()
            && group * 10 + replacement_.at(i + 1).digitValue() <= groups)
            group = group * 10 + replacement_.at(++i).digitValue();
        out += match.captured(group);
    }
    return out;
}

int DocxTextReplace::apply(DocxParagraphText &paragraph) const
{
    QList<Match> matches;
    QRegularExpressionMatchIterator it = pattern_.globalMatch(paragraph.text());
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        if (m.capturedLength() > 0)
            matches.append({m.capturedStart(), m.capturedEnd(), replacementFor(m)});
    }
    for (qsizetype k = matches.size(); k-- > 0;)
        paragraph.replace(matches[k].start, matches[k].end, matches[k].replacement);
    if (!matches.isEmpty())
        paragraph.tidy();
    return int(matches.size());
}
