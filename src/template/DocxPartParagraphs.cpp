// Passing every paragraph of a part through an edit, splicing back the changed ones.
#include "DocxPartParagraphs.h"

#include "DocxElementSpans.h"
#include "DocxNamespaces.h"
#include "DocxXml.h"

namespace {

// `outer` and every paragraph inside it, in document order.
QList<QDomElement> paragraphsOf(const QDomElement &outer)
{
    QList<QDomElement> found{outer};
    for (QDomNode n = nextInTree(outer, outer); !n.isNull(); n = nextInTree(n, outer)) {
        if (n.isElement() && n.localName() == QLatin1String("p") && isNamespace(n.namespaceURI(), kNsW))
            found.append(n.toElement());
    }
    return found;
}

// The outermost paragraph at `span` passed through `edit`, into `written`
// (left empty when the edit changed nothing). False with `err` when it does not parse.
bool editedSpan(const QByteArray &bytes, const DocxElementSpan &span, const DocxParagraphEdit &edit,
                QByteArray &written, QString &err)
{
    QDomDocument dom;
    QDomElement outer;
    if (!parseFragment(bytes.mid(span.start, span.end - span.start), span.scope, dom, outer, err))
        return false;
    bool changed = false;
    for (const QDomElement &p : paragraphsOf(outer))
        changed = edit(p) || changed;
    if (changed)
        written = serializeXmlElement(outer, span.scope);
    return true;
}

}  // namespace

bool editPartParagraphs(const QByteArray &bytes, const DocxParagraphEdit &edit, QByteArray &out, QString &err,
                        QByteArrayView mustHold)
{
    out.clear();
    QList<DocxElementSpan> spans;
    if (!locateOutermostW(bytes, "p", spans, err))
        return false;
    qsizetype copied = 0;
    for (const DocxElementSpan &span : spans) {
        if (!mustHold.isEmpty() && QByteArrayView(bytes).sliced(span.start, span.end - span.start).indexOf(mustHold) < 0)
            continue;
        QByteArray written;
        if (!editedSpan(bytes, span, edit, written, err))
            return false;
        if (written.isEmpty())
            continue;
        out += bytes.mid(copied, span.start - copied);
        out += written;
        copied = span.end;
    }
    if (copied > 0)
        out += bytes.mid(copied);
    return true;
}
