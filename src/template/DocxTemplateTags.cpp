// Gathering the text of each template tag into one run.
#include "DocxTemplateTags.h"

#include "DocxNamespaces.h"
#include "DocxParagraphText.h"
#include "DocxPartParagraphs.h"
#include "DocxXml.h"

namespace {

// Characters a word processor puts in typed tags that the tag language reads
// otherwise: typographic quotes, non-breaking spaces, line breaks and tabs.
QString plainTagText(QString tag)
{
    for (QChar &c : tag) {
        const char16_t u = c.unicode();
        if (u == 0x201C || u == 0x201D || u == 0x201E || u == 0x00AB || u == 0x00BB)
            c = QLatin1Char('"');
        else if (u == 0x2018 || u == 0x2019 || u == 0x201A)
            c = QLatin1Char('\'');
        else if (u == 0x00A0 || u == 0x202F || u == QLatin1Char('\n') || u == QLatin1Char('\t'))
            c = QLatin1Char(' ');
    }
    return tag;
}

QChar closerOf(QChar opener)
{
    return opener == QLatin1Char('{') ? QLatin1Char('}') : opener;
}

// The paragraph's text around `pos`, for messages.
QString textAround(const QString &text, qsizetype pos)
{
    constexpr qsizetype kContext = 40;
    const qsizetype from = qMax<qsizetype>(0, pos - kContext);
    return text.mid(from, 2 * kContext).simplified();
}

// Gives the w:t elements of `paragraph`'s runs that hold a tag opener
// xml:space="preserve", so that spaces around a value stay.
void preserveSpacesAroundTags(const QDomElement &paragraph)
{
    for (QDomNode n = nextInTree(paragraph, paragraph); !n.isNull(); n = nextInTree(n, paragraph)) {
        if (n.isElement() && n.localName() == QLatin1String("t") && isNamespace(n.namespaceURI(), kNsW)
            && n.toElement().text().contains(QLatin1Char('{')))
            preserveSpace(n.toElement());
    }
}

}  // namespace

bool findTagStretches(const QString &text, QList<DocxTagStretch> &stretches, QString &err)
{
    for (qsizetype i = text.indexOf(QLatin1Char('{')); i >= 0 && i + 1 < text.size(); i = text.indexOf(QLatin1Char('{'), i + 1)) {
        const QChar opener = text.at(i + 1);
        if (opener.unicode() > 0x7f || !QByteArrayView(kTagOpeners).contains(char(opener.unicode())))
            continue;
        const QString closer = QString(closerOf(opener)) + QLatin1Char('}');
        const qsizetype close = text.indexOf(closer, i + 2);
        if (close < 0) {
            err = QStringLiteral("the tag \"%1\" is not closed (%2 expected) in \"%3\"")
                      .arg(text.mid(i, 30).simplified(), closer, textAround(text, i));
            return false;
        }
        stretches.append({i, close + 2});
        i = close + 1;
    }
    return true;
}

bool gatherTemplateTags(const QByteArray &bytes, QByteArray &out, QString &err)
{
    QString failure;
    const DocxParagraphEdit gather = [&](const QDomElement &p) {
        if (!failure.isEmpty())
            return false;
        DocxParagraphText text(p);
        QList<DocxTagStretch> stretches;
        if (!findTagStretches(text.text(), stretches, failure))
            return false;
        if (stretches.isEmpty())
            return false;
        for (qsizetype i = stretches.size() - 1; i >= 0; --i) {
            const DocxTagStretch &s = stretches.at(i);
            text.dropMarksWithin(s.start, s.end);
            text.replace(s.start, s.end, plainTagText(text.text().mid(s.start, s.end - s.start)));
        }
        text.tidy();
        preserveSpacesAroundTags(p);
        return true;
    };
    if (!editPartParagraphs(bytes, gather, out, err, "{"))
        return false;
    if (!failure.isEmpty()) {
        err = failure;
        return false;
    }
    return true;
}
