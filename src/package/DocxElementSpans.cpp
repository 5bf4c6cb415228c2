// Locating the outermost elements of one name in a part's bytes.
#include "DocxElementSpans.h"

#include "DocxByteSpans.h"
#include "DocxNamespaces.h"

namespace {

QString unplacedText() { return QStringLiteral("An element of the part cannot be placed in its bytes"); }

}  // namespace

bool locateOutermostW(const QByteArray &bytes, const char *localName, QList<DocxElementSpan> &spans, QString &err)
{
    DocxXmlReader r(bytes);
    DocxByteOffsets offsets(bytes);
    QList<DocxNamespaceBindings> declared;  // by each open element
    const QLatin1String name(localName);
    int openDepth = -1;
    DocxElementSpan span;
    qint64 previousEnd = 0;
    while (!r.atEnd()) {
        const QXmlStreamReader::TokenType token = readNextChecked(r);
        if (token == QXmlStreamReader::StartElement) {
            if (declared.isEmpty() && !isUtf8Part(r, bytes)) {
                err = unplacedText();
                return false;
            }
            if (openDepth < 0 && r.name() == name && isNamespace(r.namespaceUri(), kNsW)) {
                span = {startTagAt(bytes, offsets, previousEnd, r.qualifiedName()), 0, flattenBindings(declared)};
                openDepth = int(declared.size());
            }
            declared.append(declarationsOf(r));
        } else if (token == QXmlStreamReader::EndElement) {
            declared.removeLast();
            if (declared.size() == openDepth) {
                span.end = elementEndAt(bytes, offsets, r.characterOffset());
                if (span.start < 0 || span.end <= span.start) {
                    err = unplacedText();
                    return false;
                }
                spans.append(span);
                openDepth = -1;
            }
        }
        previousEnd = r.characterOffset();
    }
    if (!r.hasError())
        return true;
    err = xmlErrorText(r);
    return false;
}
