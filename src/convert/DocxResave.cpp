// The whole-document re-save: every body paragraph is converted to rich text
// and written back from it, each into the very paragraph it was read from,
// where what the rich text carries unchanged leaves the paragraph as it was.
#include "DocxResave.h"

#include "DocxLog.h"
#include "DocxNamespaces.h"
#include "DocxBodyWalk.h"
#include "DocxWriter.h"

#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>

#include <limits>
#include <utility>

namespace {

struct ResaveCounts
{
    int converted = 0;
    int written = 0;
};

bool isConverted(const DocxBodyChild &c)
{
    return c.kind != DocxBodyElement::Other;
}

const DocxSectionRange &wholeBody()
{
    static const DocxSectionRange all{QString(), 0, std::numeric_limits<int>::max()};
    return all;
}

// Top-level elements are parsed together, this many bytes of them at a time.
constexpr qsizetype kBatchBytes = 256 * 1024;

// The elements of children [first, last) of the body, parsed together as one
// tree; empty when their bytes do not parse.
QList<QDomElement> parseBatch(const QByteArray &bytes, const DocxBodyLayout &layout, qsizetype first, qsizetype last,
                              QDomDocument &scratch)
{
    const qsizetype start = layout.children[first].start;
    QDomElement el;
    QString err;
    if (!parseFragment(bytes.mid(start, layout.children[last - 1].end - start), layout.bodyScope, scratch, el, err))
        return {};
    QList<QDomElement> elements;
    for (; !el.isNull(); el = el.nextSiblingElement())
        elements.append(el);
    return elements.size() == last - first ? elements : QList<QDomElement>();
}

// The body as bytes: its top-level elements are parsed a batch at a time,
// converted one by one, written back and written out, so neither the whole
// tree nor the whole rich text ever exists. Elements that hold no paragraph
// keep their bytes, as does everything between elements.
bool resaveBytes(DocxDocument &doc, const DocxBodyLayout &layout, ResaveCounts &counts)
{
    const QByteArray bytes = doc.package().entries().value(doc.package().mainPart());
    DocxNamespaceBindings scope = layout.bodyScope;
    const QByteArray rootDeclarations = declareOnRoot(layout.rootScope, scope);
    QByteArray out;
    out.reserve(bytes.size() + bytes.size() / 4);
    out += bytes.left(layout.rootTagEnd - 1) + rootDeclarations;
    qsizetype pos = layout.rootTagEnd - 1;

    QTextDocument qd;
    const QSignalBlocker blocker(&qd);
    prepareDocument(qd, doc);
    const QSizeF pageSize = qd.pageSize();
    const QTextFrameFormat pageFrame = qd.rootFrame()->frameFormat();
    DocxBodyWalk walk(doc, wholeBody(), qd);
    const QList<DocxBodyChild> &children = layout.children;
    for (qsizetype first = 0; first < children.size();) {
        qsizetype last = first + 1;
        while (last < children.size() && children[last].end - children[first].start < kBatchBytes)
            ++last;
        QDomDocument scratch;
        const QList<QDomElement> elements = parseBatch(bytes, layout, first, last, scratch);
        for (qsizetype k = first; k < last; ++k) {
            const DocxBodyChild &c = children[k];
            out += bytes.mid(pos, c.start - pos);
            pos = c.end;
            if (!isConverted(c) || elements.isEmpty()) {
                out += bytes.mid(c.start, c.end - c.start);
                continue;
            }
            qd.clear();
            qd.setPageSize(pageSize);
            qd.rootFrame()->setFrameFormat(pageFrame);
            walk.restart();
            walk.element(elements[k - first]);
            const DocxSourceList converted = DocxWriter::sourceParagraphs(qd);
            if (converted.isEmpty()) {
                out += bytes.mid(c.start, c.end - c.start);
                continue;
            }
            counts.converted += int(converted.size());
            counts.written += DocxWriter::writeBack(doc, qd, converted);
            out += serializeXmlElement(elements[k - first], scope);
        }
        first = last;
    }
    out += bytes.mid(pos);
    doc.body().setBytes(out);
    return true;
}

// The body as a tree (already built, or not mappable as bytes). A document
// without a WordprocessingML body has nothing to convert and is carried
// through as it is.
bool resaveTree(DocxDocument &doc, ResaveCounts &counts)
{
    if (firstElementNS(std::as_const(doc).body().dom(), "body", kNsW).isNull())
        return true;
    doc.body().dom();  // the tree is edited in place from here on
    QTextDocument qd;
    if (!DocxReader::populate(doc, wholeBody(), &qd))
        return false;
    const DocxSourceList converted = DocxWriter::sourceParagraphs(qd);
    counts.converted = int(converted.size());
    counts.written = DocxWriter::writeBack(doc, qd, converted);
    return true;
}

}  // namespace

bool docxResave(DocxDocument &doc)
{
    if (!doc.isValid())
        return false;
    if (doc.body().isStrict()) {
        // Written back, its paragraphs would be transitional inside a strict part.
        writerDebug() << "resaveDocument: a document in strict markup is kept as it is";
        return true;
    }
    DocxBodyLayout layout;
    ResaveCounts counts;
    const bool done = doc.body().layout(layout) ? resaveBytes(doc, layout, counts) : resaveTree(doc, counts);
    if (done)
        doc.buildIndex();
    writerDebug() << "resaveDocument: paragraphs converted" << counts.converted << "written back" << counts.written;
    return done;
}
