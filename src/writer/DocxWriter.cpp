#include "DocxWriter.h"

#include "DocxHtmlDocument.h"
#include "DocxHtmlPrepare.h"
#include "DocxLog.h"
#include "DocxNamespaces.h"
#include "DocxWriterInternal.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>

#include <algorithm>
#include <functional>

namespace {

// The paragraph new paragraphs are made from, as text. A section break in
// its properties is not copied: the template itself stays, emptied, to keep it.
struct NewParagraphTemplate
{
    DocxParagraphTemplate text;
    bool sectionBreak = false;

    // `scope` is what is bound where the new paragraphs go.
    NewParagraphTemplate(const QDomElement &templatePara, const DocxNamespaceBindings &scope)
    {
        sectionBreak = !wChild(wChild(templatePara, "pPr"), "sectPr").isNull();
        QDomElement p = paragraphLike(templatePara);
        const QDomElement pPr = childrenByLocalName(p, "pPr").value(0);
        for (QDomElement c = pPr.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
            text.properties.keep(c.localName(), serializeXmlElement(c, scope));
        if (!pPr.isNull())
            p.removeChild(pPr);
        text.startTag = serializeXmlElement(p, scope);
        if (text.startTag.endsWith("/>"))
            text.startTag.chop(2), text.startTag += '>';
        text.endTag = "</" + (p.prefix().isEmpty() ? QByteArray() : p.prefix().toUtf8() + ':') + "p>";
    }
};

// What the content of a source is handed to, in order.
struct ContentWriter
{
    // Each rich-text document the content comes from, before its content.
    std::function<void()> newSource;
    std::function<void(const QTextBlock &)> paragraph;
    // A table, or a part of one that a large page holds across pieces:
    // `opens` for its first part, `closes` for its last.
    std::function<void(QTextTable *, bool opens, bool closes)> table;
};
// Hands the content to write to the writer; returns the number of elements
// handed on.
using SourceWalk = std::function<int(const ContentWriter &)>;

// A page read in pieces (see htmlCuts): every piece but the first opens with a
// paragraph of this text and every piece but the last closes with one, so that
// the blocks between read as they do with more of the page before and after
// them (a table that opens a piece would otherwise get an empty paragraph
// before it). The edge paragraphs themselves are not written.
const QString &pieceEdgeText()
{
    static const QString text = QStringLiteral("lxdocx-piece-edge");
    return text;
}

// What lies at the edges of a piece: edge paragraphs, and tables that go on
// from the piece before or into the piece after.
enum PieceEdges {
    kNoEdges = 0,
    kOpeningEdge = 1,
    kClosingEdge = 2,
    kTableFromBefore = 4,
    kTableGoesOn = 8,
    kHtmlSource = 16,  // empty paragraphs show nothing in a browser: they are left out
};



// Walks the tables and blocks of the source's root frame as the full build
// writes them: other frames are left out, and so are the trailing empty block
// and the edge paragraphs of a piece, and what stands between a table and the
// piece before or after that it goes on into. Returns the number of elements
// handed on.
int walkSource(const QTextDocument *source, const ContentWriter &writer, int edges = kNoEdges)
{
    writer.newSource();
    const QTextBlock firstBlock = source->firstBlock();
    const QTextBlock lastBlock = source->lastBlock();
    const bool skipFirst = (edges & kOpeningEdge) && firstBlock.text() == pieceEdgeText();
    const bool skipLast = ((edges & kClosingEdge) && lastBlock.text() == pieceEdgeText())
        || (lastBlock.text().isEmpty() && !lastBlock.textList());
    QTextTable *lastTable = nullptr;
    for (auto it = source->rootFrame()->begin(); !it.atEnd(); ++it) {
        if (auto *table = qobject_cast<QTextTable *>(it.currentFrame()))
            lastTable = table;
    }
    int n = 0;
    bool beforeTables = true;
    bool afterGoingTable = false;
    for (auto it = source->rootFrame()->begin(); !it.atEnd(); ++it) {
        if (QTextFrame *frame = it.currentFrame()) {
            if (auto *table = qobject_cast<QTextTable *>(frame)) {
                const bool goesOn = table == lastTable && (edges & kTableGoesOn);
                writer.table(table, !(beforeTables && (edges & kTableFromBefore)), !goesOn);
                beforeTables = false;
                afterGoingTable = goesOn;
                ++n;
            }
            continue;
        }
        const QTextBlock block = it.currentBlock();
        if (!block.isValid() || (block == lastBlock && skipLast) || (block == firstBlock && skipFirst)
            || (beforeTables && (edges & kTableFromBefore)) || afterGoingTable
            || ((edges & kHtmlSource) && showsNothing(block)))
            continue;
        writer.paragraph(block);
        ++n;
    }
    return n;
}

SourceWalk documentWalk(const QTextDocument *source)
{
    return [source](const ContentWriter &writer) { return walkSource(source, writer); };
}

// The page read one piece at a time, each piece in a text document of its own
// that lives only while its content is written. A piece that starts inside a
// table opens it again with the table's own start tags; one that ends inside
// a table closes it.
SourceWalk pageWalk(const QString &html, const DocxHtmlCuts &cuts)
{
    return [&html, &cuts](const ContentWriter &writer) {
        const QStringView head = QStringView(html).left(cuts.bodyStart);
        const QString edge = QStringLiteral("<p>%1</p>").arg(pieceEdgeText());
        int n = 0;
        qsizetype from = cuts.bodyStart;
        for (qsizetype i = 0; i <= cuts.cuts.size(); ++i) {
            int edges = kHtmlSource | (i > 0 ? kOpeningEdge : kNoEdges) | (i < cuts.cuts.size() ? kClosingEdge : kNoEdges);
            const DocxHtmlTableCut *before = i > 0 && !cuts.tables[i - 1].reopen.isEmpty() ? &cuts.tables[i - 1] : nullptr;
            const DocxHtmlTableCut *after = i < cuts.cuts.size() && !cuts.tables[i].reopen.isEmpty() ? &cuts.tables[i] : nullptr;
            edges |= (before ? kTableFromBefore : kNoEdges) | (after ? kTableGoesOn : kNoEdges);
            const qsizetype to = edges & kClosingEdge ? cuts.cuts[i] : html.size();
            QString text;
            text.reserve(head.size() + (to - from) + 2 * edge.size() + (before ? before->reopen.size() : 0)
                         + (after ? after->close.size() : 0));
            text += head;
            if (edges & kOpeningEdge)
                text += edge;
            if (before)
                text += before->reopen;
            text += QStringView(html).mid(from, to - from);
            if (after)
                text += after->close;
            if (edges & kClosingEdge)
                text += edge;
            DocxHtmlDocument piece;
            piece.setHtml(text);
            n += walkSource(&piece, writer, edges);
            from = to;
        }
        return n;
    };
}

// The first id past every w:id of the body, for the bookmarks a build adds.
int firstFreeAnnotationId(const QByteArray &body)
{
    return firstFreeNumber(body, ":id=\"");
}

QDomElement bodyOf(const QDomDocument &dom)
{
    return firstDescendantNS(dom, kNsW, "body");
}

// The ancestor of `el` that is a child of `body` (el itself when it is one).
QDomElement topLevelAncestor(const QDomElement &body, QDomElement el)
{
    while (!el.isNull() && el.parentNode() != body)
        el = el.parentNode().toElement();
    return el;
}


// The full build on the body tree: each new element is written as text, as
// the build on the bytes writes it, and parsed into the tree.
bool buildIntoTree(DocxDocument &doc, const SourceWalk &walk, bool fromHtml)
{
    QDomDocument &dom = doc.body().dom();
    QDomElement body = bodyOf(dom);
    if (body.isNull()) {
        writerWarning() << "buildFullDocumentDom: no body";
        return false;
    }
    if (doc.body().paragraphs().isEmpty()) {
        writerWarning() << "buildFullDocumentDom: no template paragraph";
        return false;
    }
    QDomElement templatePara = doc.body().paragraphs().first();
    const DocxNamespaceBindings &scope = writerBindings();
    const NewParagraphTemplate templ(templatePara, scope);
    // A template inside a table or content control stays where it is: the new
    // content goes before the body element that holds it, so nothing is lost
    // and no cell is left without a paragraph.
    const QDomElement anchor = topLevelAncestor(body, templatePara);
    DocxBuildContext ctx(doc, firstFreeAnnotationId(doc.package().entries().value(doc.package().mainPart())));
    ctx.fromHtml = fromHtml;
    DocxTableWriter tables(ctx);
    QByteArray pendingTable;  // a table read in parts, until its last one
    QDomElement last;
    auto insert = [&](const QByteArray &xml) {
        QDomDocument parsed;
        QDomElement el;
        QString err;
        if (!parseFragment(xml, scope, parsed, el, err)) {
            writerWarning() << "buildFullDocumentDom:" << err;
            return;
        }
        last = dom.importNode(el, true).toElement();
        body.insertBefore(last, anchor);
    };
    const int n = walk({[&] { ctx.lists.newSource(); },
                        [&](const QTextBlock &block) { insert(newParagraphXml(ctx, templ.text, block)); },
                        [&](QTextTable *table, bool opens, bool closes) {
                            if (opens && !pendingTable.isEmpty())
                                insert(pendingTable + tables.finish());  // one still open ends here
                            pendingTable = (opens ? QByteArray() : pendingTable) + tables.write(table, opens, closes);
                            if (closes) {
                                insert(pendingTable);
                                pendingTable.clear();
                            }
                            ctx.previousSpaceAfter = 0;
                        }});
    if (!pendingTable.isEmpty())
        insert(pendingTable + tables.finish());
    ctx.lists.store();
    if (n >= 1) {
        const bool keepTemplate = anchor != templatePara || templ.sectionBreak;
        if (anchor == templatePara && templ.sectionBreak)
            removeRunContent(templatePara);
        else if (!keepTemplate)
            body.removeChild(templatePara);
        if (hasLocalName(last, "tbl") && !(anchor == templatePara && keepTemplate))
            body.insertAfter(createW(dom, "p"), last);
    }
    doc.buildIndex();
    return true;
}

struct WrittenBlocks
{
    int count = 0;             // elements written
    bool lastIsTable = false;  // the last one is a table
};

// Appends the paragraphs and tables of `walk` to `out` as text, paragraphs
// made from `templ`; stores the numbering their lists need.
WrittenBlocks writeBlocks(DocxBuildContext &ctx, const NewParagraphTemplate &templ, const SourceWalk &walk,
                          QByteArray &out)
{
    DocxTableWriter tables(ctx);
    WrittenBlocks written;
    written.count = walk({[&] { ctx.lists.newSource(); },
                          [&](const QTextBlock &block) {
                              out += newParagraphXml(ctx, templ.text, block);
                              written.lastIsTable = false;
                          },
                          [&](QTextTable *table, bool opens, bool closes) {
                              out += tables.write(table, opens, closes);
                              written.lastIsTable = true;
                              ctx.previousSpaceAfter = 0;
                          }});
    out += tables.finish();
    ctx.lists.store();
    return written;
}

// The walk of an HTML page: prepared (see prepareHtml) and read in pieces
// where it is large (see htmlCuts). The walk reads `page` and `cuts`, which
// must outlive it.
SourceWalk htmlWalk(const QString &html, QString &page, DocxHtmlCuts &cuts, qsizetype pieceChars = kHtmlPieceChars)
{
    page = prepareHtml(html);
    cuts = htmlCuts(page, pieceChars);
    return pageWalk(page, cuts);
}

// The full build on the body's bytes, for a body whose first paragraph is a
// top-level w:p: the new elements are written out one by one and spliced in
// its place, so the body is never parsed whole.
bool buildIntoBytes(DocxDocument &doc, const SourceWalk &walk, bool fromHtml, const DocxBodyLayout &layout,
                    bool &handled)
{
    handled = false;
    const DocxBodyChild *first = nullptr;
    for (const DocxBodyChild &c : layout.children) {
        if (c.kind != DocxBodyElement::Other) {
            first = &c;
            break;
        }
    }
    if (!first || first->kind != DocxBodyElement::Paragraph)
        return false;
    QByteArray bytes = doc.package().entries().value(doc.package().mainPart());
    QDomDocument scratch;
    QDomElement templatePara;  // the tree of that paragraph alone
    QString err;
    if (!parseFragment(bytes.mid(first->start, first->end - first->start), layout.bodyScope, scratch, templatePara,
                       err))
        return false;

    DocxNamespaceBindings scope = layout.bodyScope;
    const QByteArray rootDeclarations = declareOnRoot(layout.rootScope, scope);
    if (!bindsRunPrefixes(scope))
        return false;  // a body with other prefixes is rebuilt as a tree
    handled = true;
    const NewParagraphTemplate templ(templatePara, scope);
    DocxBuildContext ctx(doc, firstFreeAnnotationId(bytes));
    ctx.fromHtml = fromHtml;
    // The new body is written after the bytes before the template, whose root
    // start tag gets the writer's declarations; the bytes after it follow.
    QByteArray out = bytes.left(first->start);
    out.insert(layout.rootTagEnd - 1, rootDeclarations);
    const WrittenBlocks written = writeBlocks(ctx, templ, walk, out);
    const bool lastIsTable = written.lastIsTable;
    const int n = written.count;
    if (n >= 1) {
        if (templ.sectionBreak) {
            removeRunContent(templatePara);
            out += serializeXmlElement(templatePara, scope);
        } else if (lastIsTable) {
            out += serializeXmlElement(createW(scratch, "p"), scope);
        }
        out.append(bytes.constData() + first->end, bytes.size() - first->end);
        doc.body().setBytes(out);
    }
    doc.buildIndex();
    return true;
}

}  // namespace

const DocxNamespaceBindings &writerBindings()
{
    static const DocxNamespaceBindings bindings = {
        {QStringLiteral("w"), QString::fromLatin1(kNsW)},
        {QStringLiteral("r"), QString::fromLatin1(kNsR)},
        {QStringLiteral("wp"), QString::fromLatin1(kNsWordDrawing)},
        {QStringLiteral("a"), QString::fromLatin1(kNsDrawingMain)},
        {QStringLiteral("pic"), QString::fromLatin1(kNsPicture)},
    };
    return bindings;
}

bool bindsRunPrefixes(const DocxNamespaceBindings &scope)
{
    return boundUri(scope, QStringLiteral("w")) == QLatin1String(kNsW)
        && boundUri(scope, QStringLiteral("r")) == QLatin1String(kNsR);
}

QByteArray declareOnRoot(const DocxNamespaceBindings &rootScope, DocxNamespaceBindings &scope)
{
    QByteArray declarations;
    for (const auto &binding : writerBindings()) {
        const bool bound = std::any_of(rootScope.cbegin(), rootScope.cend(),
                                       [&](const auto &b) { return b.first == binding.first; });
        if (bound)
            continue;
        declarations += " xmlns:" + binding.first.toUtf8() + "=\"" + binding.second.toUtf8() + '"';
        scope.append(binding);
    }
    return declarations;
}

namespace {

// `fromHtml`: the source is a page, whose empty paragraphs show nothing.
bool buildFull(DocxDocument &doc, const SourceWalk &walk, bool fromHtml)
{
    DocxBodyLayout layout;
    if (doc.body().layout(layout)) {
        bool handled = false;
        const bool built = buildIntoBytes(doc, walk, fromHtml, layout, handled);
        if (handled)
            return built;
    }
    return buildIntoTree(doc, walk, fromHtml);
}

}  // namespace

bool DocxWriter::buildFullDocumentDom(DocxDocument &doc, const QTextDocument *source)
{
    if (!doc.isValid() || !source)
        return false;
    return buildFull(doc, documentWalk(source), false);
}

bool DocxWriter::buildFromHtml(DocxDocument &doc, const QString &html, qsizetype pieceChars)
{
    if (!doc.isValid())
        return false;
    QString page;
    DocxHtmlCuts cuts;
    return buildFull(doc, htmlWalk(html, page, cuts, pieceChars), true);
}

QByteArray DocxWriter::htmlBlocks(DocxDocument &doc, const QString &part, const QString &html,
                                  const QByteArray &paragraphXml, const DocxNamespaceBindings &scope, int &nextBookmarkId)
{
    QDomDocument scratch;
    QDomElement templatePara;
    QString err;
    if (!parseFragment(paragraphXml, scope, scratch, templatePara, err)) {
        writerWarning() << "htmlBlocks:" << err;
        return {};
    }
    const NewParagraphTemplate templ(templatePara, scope);
    DocxBuildContext ctx(doc, nextBookmarkId);
    ctx.fromHtml = true;
    ctx.part = part;
    ctx.templateStyleIsBase = true;
    QString page;
    DocxHtmlCuts cuts;
    QByteArray out;
    const WrittenBlocks written = writeBlocks(ctx, templ, htmlWalk(html, page, cuts), out);
    nextBookmarkId = ctx.nextBookmarkId;
    if (templ.sectionBreak || written.count == 0 || written.lastIsTable) {
        if (!templ.sectionBreak)
            templatePara = paragraphLike(templatePara);
        removeRunContent(templatePara);
        out += serializeXmlElement(templatePara, scope);
    }
    return out;
}

int firstFreeNumber(const QByteArray &bytes, QByteArrayView key)
{
    long long largest = 0;
    for (qsizetype i = bytes.indexOf(key); i >= 0; i = bytes.indexOf(key, i + 1)) {
        long long n = 0;
        qsizetype j = i + key.size();
        for (; j < bytes.size() && bytes[j] >= '0' && bytes[j] <= '9' && n < 1000000000; ++j)
            n = n * 10 + (bytes[j] - '0');
        if (j < bytes.size() && bytes[j] == '"')
            largest = qMax(largest, n);
    }
    return int(largest + 1);
}

bool DocxWriter::buildAndSave(DocxDocument &doc, const QString &html)
{
    return buildFromHtml(doc, html) && doc.save();
}
