// The whole-document re-save: every body paragraph is converted to rich text
// and written back from it, each into the very paragraph it was read from.
#include "DocxResave.h"

#include "DocxLog.h"
#include "DocxNamespaces.h"
#include "DocxReaderInternal.h"
#include "DocxWriterInternal.h"

#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>

#include <limits>
#include <utility>

namespace {

bool isAny(const QString &name, std::initializer_list<const char *> names)
{
    return std::any_of(names.begin(), names.end(), [&](const char *n) { return name == QLatin1String(n); });
}

// A picture the rich text can carry: inline, with an embedded image the
// package holds.
bool isKeptDrawing(const QDomElement &drawing, const DocxDocument &doc)
{
    const QDomElement inl = firstChildByLocalName(drawing, QStringLiteral("inline"));
    if (inl.isNull() || !firstChildByLocalName(drawing, QStringLiteral("anchor")).isNull())
        return false;
    const QDomElement blip = firstElementNS(inl, "blip", kNsDrawingMain);
    const QString rId = blip.attributeNS(QString::fromLatin1(kNsR), QStringLiteral("embed"));
    const QString path = doc.relPartPath(rId);
    return !path.isEmpty() && doc.entries.contains(path);
}

// A run whose every child is something the rich text holds: text, tabs,
// breaks, page-number fields and pictures.
bool runRoundTrips(const QDomElement &r, const DocxDocument &doc)
{
    for (QDomElement c = r.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        const QString name = c.localName();
        if (isAny(name, {"rPr", "t", "tab", "br", "lastRenderedPageBreak"}))
            continue;
        if (name == QLatin1String("instrText") && isPageField(c.text()))
            continue;
        if (name == QLatin1String("fldChar"))
            continue;
        if (name == QLatin1String("drawing") && isKeptDrawing(c, doc))
            continue;
        return false;
    }
    return true;
}

// True when writing the paragraph back from its rich text loses nothing: its
// children are runs and external hyperlinks of such runs, with markers (bookmarks,
// proofing marks) only before or after them. Anything else (tracked changes,
// note references, other fields, content controls, floating or non-picture
// drawings) keeps the paragraph as it is.
bool roundTrips(const QDomElement &p, const DocxDocument &doc)
{
    bool contentSeen = false, markerAfterContent = false;
    for (QDomElement c = p.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        const QString name = c.localName();
        if (name == QLatin1String("pPr"))
            continue;
        if (isAny(name, {"bookmarkStart", "bookmarkEnd", "proofErr"})) {
            markerAfterContent = contentSeen;
            continue;
        }
        if (markerAfterContent)
            return false;
        if (name == QLatin1String("r") && runRoundTrips(c, doc)) {
            contentSeen = true;
            continue;
        }
        if (name == QLatin1String("hyperlink") && !c.attributeNS(QString::fromLatin1(kNsR), QStringLiteral("id")).isEmpty()
            && c.attributeNS(QString::fromLatin1(kNsW), QStringLiteral("anchor")).isEmpty()) {
            for (QDomElement r = c.firstChildElement(); !r.isNull(); r = r.nextSiblingElement()) {
                if (r.localName() != QLatin1String("r") || !runRoundTrips(r, doc))
                    return false;
            }
            contentSeen = true;
            continue;
        }
        return false;
    }
    return true;
}

struct ResaveCounts
{
    int converted = 0;
    int written = 0;
};

// Writes every converted paragraph back from its blocks: as a tree, or, with
// `insertions`, as text each paragraph marks its place for.
void writeBack(DocxDocument &doc, const QTextDocument &qd, const QList<DocxBlockSource> &sources,
               ResaveCounts &counts, const DocxNamespaceBindings &scope = {},
               QList<QByteArray> *insertions = nullptr)
{
    for (const DocxBlockSource &source : sources) {
        QDomElement p = source.paragraph;
        ++counts.converted;
        if (source.tocLine || !roundTrips(p, doc))
            continue;
        ++counts.written;
        QList<QTextBlock> blocks;
        for (int n = source.firstBlock; n <= source.lastBlock; ++n)
            blocks.append(qd.findBlockByNumber(n));
        if (!insertions) {
            writeParagraphBlocks(doc, p, blocks);
            continue;
        }
        insertions->append(paragraphRunsXml(doc, p, blocks, scope));
        p.appendChild(p.ownerDocument().createProcessingInstruction(QString::fromLatin1(kXmlInsertionTarget),
                                                                    QString::number(insertions->size() - 1)));
    }
}

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
// tree nor the whole rich text ever exists. Elements none of whose paragraphs
// was written back keep their bytes, as does everything between elements.
bool resaveBytes(DocxDocument &doc, const DocxBodyLayout &layout, ResaveCounts &counts)
{
    const QByteArray bytes = doc.entries.value(QString::fromLatin1(kPartDocument));
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
    QList<DocxBlockSource> sources;
    DocxBodyWalk walk(doc, wholeBody(), qd, &sources);
    const QList<DocxBodyChild> &children = layout.children;
    const bool asText = bindsRunPrefixes(scope);
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
            const QByteArray original = bytes.mid(c.start, c.end - c.start);
            if (!isConverted(c) || elements.isEmpty()) {
                out += original;
                continue;
            }
            qd.clear();
            qd.setPageSize(pageSize);
            qd.rootFrame()->setFrameFormat(pageFrame);
            walk.restart();
            sources.clear();
            walk.element(elements[k - first]);
            const int writtenBefore = counts.written;
            QList<QByteArray> insertions;
            writeBack(doc, qd, sources, counts, scope, asText ? &insertions : nullptr);
            out += counts.written == writtenBefore ? original
                                                   : serializeXmlElement(elements[k - first], scope, {}, insertions);
        }
        first = last;
    }
    out += bytes.mid(pos);
    doc.setBodyBytes(out);
    return true;
}

// The body as a tree (already built, or not mappable as bytes). A document
// without a WordprocessingML body (strict markup uses another namespace) has
// nothing to convert and is carried through as it is.
bool resaveTree(DocxDocument &doc, ResaveCounts &counts)
{
    if (firstElementNS(std::as_const(doc).dom(), "body", kNsW).isNull())
        return true;
    QTextDocument qd;
    QList<DocxBlockSource> sources;
    if (!DocxReader::populate(doc, wholeBody(), &qd, &sources))
        return false;
    doc.dom();  // the tree is edited in place from here on
    writeBack(doc, qd, sources, counts);
    return true;
}

}  // namespace

bool docxResave(DocxDocument &doc)
{
    if (!doc.isValid())
        return false;
    DocxBodyLayout layout;
    ResaveCounts counts;
    const bool done = doc.bodyLayout(layout) ? resaveBytes(doc, layout, counts) : resaveTree(doc, counts);
    if (done)
        doc.buildIndex();
    writerDebug() << "resaveDocument: paragraphs converted" << counts.converted << "written back" << counts.written;
    return done;
}
