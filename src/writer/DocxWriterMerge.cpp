// Rich text written back into the paragraphs it was read from. Every piece of
// text the Reader inserted names the element it came from; text that still
// names its piece and still reads and looks as it did leaves that element as
// it is. What an edit changed is written into the source paragraph in place:
// changed text replaces its element, changed formatting splits its run and
// writes only the properties that changed, deleted pieces leave, text from
// elsewhere joins as new runs. Everything the rich text does not show
// (bookmarks, comment ranges, field codes, proofing marks, properties it has
// no slot for) stays where it was.
#include "DocxXml.h"
#include "DocxRichText.h"
#include "DocxLog.h"
#include "DocxNamespaces.h"
#include "DocxWriter.h"
#include "DocxWriterInternal.h"

#include <QSet>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>

#include <cmath>

namespace {

constexpr qint64 kEmuPerPixel = 9525;
const QChar kObjectReplacement(QChar::ObjectReplacementCharacter);

// Text of one piece (or of none) with one format, as the rich text holds it now.
struct Segment
{
    int piece = -1;  // index into the paragraph's pieces; -1: read from nowhere
    QString text;
    QTextCharFormat format;
    bool blockStart = false;  // stands for the start of a further block (a page break)
};

bool isGenerated(const QTextCharFormat &f)
{
    return f.boolProperty(ListLabelProperty) || f.boolProperty(GeneratedTextProperty);
}

int pieceOf(const QTextCharFormat &f, qsizetype pieceCount)
{
    if (!f.hasProperty(SourcePieceProperty))
        return -1;
    const int index = f.intProperty(SourcePieceProperty);
    return index >= 0 && index < pieceCount ? index : -1;
}

// The content of a paragraph's blocks: adjacent fragments of one format are one segment.
QList<Segment> segmentsOf(const QList<QTextBlock> &blocks, qsizetype pieceCount)
{
    QList<Segment> segments;
    for (const QTextBlock &block : blocks) {
        if (block != blocks.first()) {
            const DocxBlockOrigin *origin = blockOrigin(block.userData());
            const int piece = origin && origin->breakPiece() < pieceCount ? origin->breakPiece() : -1;
            segments.append({piece, QString(QChar::ParagraphSeparator), {}, true});
        }
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (!frag.isValid() || isGenerated(frag.charFormat()))
                continue;
            const QTextCharFormat f = frag.charFormat();
            if (!segments.isEmpty() && !segments.last().blockStart && segments.last().format == f) {
                segments.last().text += frag.text();
                continue;
            }
            segments.append({pieceOf(f, pieceCount), frag.text(), f, false});
        }
    }
    return segments;
}

bool sameAsRead(const Segment &s, const DocxSourcePiece &piece)
{
    return s.text == piece.text && (s.blockStart || s.format == piece.format);
}

bool unchanged(const QList<Segment> &segments, const DocxParagraphSource &source)
{
    if (segments.size() != source.pieces.size())
        return false;
    for (qsizetype i = 0; i < segments.size(); ++i) {
        if (segments[i].piece != i || !sameAsRead(segments[i], source.pieces[i]))
            return false;
    }
    return true;
}


// The run holding `leaf`, and the child of that run the leaf is or lies in.
struct RunPlace
{
    QDomElement run;
    QDomElement child;
};

RunPlace placeOf(const QDomElement &leaf)
{
    QDomElement child = leaf;
    for (QDomElement up = leaf.parentNode().toElement(); !up.isNull(); up = up.parentNode().toElement()) {
        if (hasLocalName(up, "r"))
            return {up, child};
        if (hasLocalName(up, "p"))
            break;
        child = up;
    }
    return {};
}

bool hasContent(const QDomElement &run)
{
    for (QDomElement c = run.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (!hasLocalName(c, "rPr"))
            return true;
    }
    return false;
}

// A run like `run` (attributes and properties) without its content.
QDomElement runShell(const QDomElement &run)
{
    QDomElement shell = run.cloneNode(false).toElement();
    const QDomElement rPr = wChild(run, "rPr");
    if (!rPr.isNull())
        shell.appendChild(rPr.cloneNode(true));
    return shell;
}

// ---- run properties an edit changed -----------------------------------------

// Writes into `run`'s properties every property the rich text shows that
// differs between `was` (what the run was read as) and `now`; the font of
// complex scripts is the run's own, whatever the Latin font becomes.
void writeChangedProperties(QDomElement run, const QTextCharFormat &was, const QTextCharFormat &now)
{
    const DocxRunProps before = runPropsOf(was);
    DocxRunProps after = runPropsOf(now);
    after.complexFont = before.complexFont;
    const DocxRunPropertySet changed = runPropsDiffer(before, after);
    if (changed)
        setRunProperties(run, after, changed);
}

// ---- new content ----------------------------------------------------------------

// Characters XML can carry in text.
bool isXmlChar(QChar c)
{
    const char16_t u = c.unicode();
    return u == 0x9 || u == 0xA || u == 0xD || (u >= 0x20 && u < 0xFFFE && !c.isNonCharacter());
}

bool isPlaceholder(QChar c, const QTextCharFormat &f)
{
    return (c == QChar(kPageNumberPlaceholder) || c == QChar(kPageCountPlaceholder))
        && f.hasProperty(FieldInstructionProperty);
}

// Writes the runs of new text: copies of a template run (or bare runs)
// whose properties differ from the template's by what the formats say.
class RunWriter
{
public:
    RunWriter(DocxDocument &doc, QDomDocument dom, const QTextDocument *document)
        : doc_(doc), dom_(dom), document_(document)
    {
    }

    // The runs for `s`, based on `templ` (a run of the source, or null) read as `was`.
    QList<QDomElement> runs(const Segment &s, const QDomElement &templ, const QTextCharFormat &was)
    {
        out_.clear();
        templ_ = templ;
        was_ = was;
        format_ = s.format;
        QString pending;
        auto flush = [&] {
            if (!pending.isEmpty())
                leaves(pending);
            pending.clear();
        };
        for (const QChar c : s.text) {
            if (isPlaceholder(c, s.format)) {
                flush();
                fieldRuns(s.format.property(FieldInstructionProperty).toString(), c);
            } else if (c == kObjectReplacement && s.format.isImageFormat()) {
                flush();
                picture(s.format.toImageFormat());
            } else {
                pending += c;
            }
        }
        flush();
        return out_;
    }

private:
    QDomElement newRun()
    {
        QDomElement r = templ_.isNull() ? createW(dom_, "r") : runShell(templ_);
        writeChangedProperties(r, was_, format_);
        out_.append(r);
        return r;
    }

    // Text as w:t, w:tab, w:br and the like in one run.
    void leaves(const QString &text)
    {
        QDomElement r = newRun();
        for (const QDomElement &leaf : textLeaves(dom_, text))
            r.appendChild(leaf);
    }

public:
    // The content elements of a run holding `text`: w:t, w:tab, w:br and the like.
    static QList<QDomElement> textLeaves(QDomDocument dom, const QString &text)
    {
        QList<QDomElement> out;
        QString t;
        auto flush = [&] {
            if (t.isEmpty())
                return;
            QDomElement el = createW(dom, "t");
            if (t.front().isSpace() || t.back().isSpace())
                preserveSpace(el);
            el.appendChild(dom.createTextNode(t));
            out.append(el);
            t.clear();
        };
        auto leaf = [&](const char *name) {
            flush();
            QDomElement el = createW(dom, name);
            out.append(el);
            return el;
        };
        for (const QChar c : text) {
            if (c == QLatin1Char('\t'))
                leaf("tab");
            else if (c == QChar::LineSeparator || c == QLatin1Char('\n'))
                leaf("br");
            else if (c == QChar::ParagraphSeparator)
                setWAttr(leaf("br"), "type", QStringLiteral("page"));
            else if (c == QChar(0x2011))
                leaf("noBreakHyphen");
            else if (c == QChar(0x00AD))
                leaf("softHyphen");
            else if (isXmlChar(c))
                t += c;
        }
        flush();
        return out;
    }

private:
    void fieldRuns(const QString &instruction, QChar placeholder)
    {
        auto run = [&](const char *name) {
            QDomElement r = newRun();
            QDomElement el = createW(dom_, name);
            r.appendChild(el);
            return el;
        };
        setWAttr(run("fldChar"), "fldCharType", QStringLiteral("begin"));
        QDomElement instr = run("instrText");
        preserveSpace(instr);
        instr.appendChild(dom_.createTextNode(instruction.isEmpty() ? (placeholder == QChar(kPageCountPlaceholder)
                                                                           ? QStringLiteral(" NUMPAGES ")
                                                                           : QStringLiteral(" PAGE "))
                                                                     : instruction));
        setWAttr(run("fldChar"), "fldCharType", QStringLiteral("separate"));
        run("t").appendChild(dom_.createTextNode(QStringLiteral("1")));
        setWAttr(run("fldChar"), "fldCharType", QStringLiteral("end"));
    }

    void picture(const QTextImageFormat &image)
    {
        int wpx = int(std::lround(image.width())), hpx = int(std::lround(image.height()));
        const QString rId = imageRelId(doc_, QString(), document_, image, &wpx, &hpx);
        if (rId.isEmpty() || wpx < 1 || hpx < 1)
            return;
        bool ok = false;
        const int id = rId.startsWith(QLatin1String("rId")) ? QStringView(rId).mid(3).toInt(&ok) : 0;
        QDomElement drawingRun = makeDrawingRun(dom_, rId, qint64(wpx) * kEmuPerPixel, qint64(hpx) * kEmuPerPixel,
                                                ok && id >= 1 ? id : 1);
        out_.append(drawingRun);
    }

    DocxDocument &doc_;
    QDomDocument dom_;
    const QTextDocument *document_;
    QDomElement templ_;
    QTextCharFormat was_, format_;
    QList<QDomElement> out_;
};

// Wraps `runs` in a hyperlink to `href` (a "#name" href links to that bookmark).
QList<QDomElement> linked(DocxDocument &doc, QDomDocument dom, const QList<QDomElement> &runs, const QString &href)
{
    if (href.isEmpty() || runs.isEmpty())
        return runs;
    QDomElement link = createW(dom, "hyperlink");
    if (href.startsWith(QLatin1Char('#'))) {
        setWAttr(link, "anchor", href.mid(1));
    } else {
        const QString rId = doc.package().relationships().addHyperlinkRel(href);
        if (rId.isEmpty())
            return runs;
        link.setAttributeNS(QString::fromLatin1(kNsR), QStringLiteral("r:id"), rId);
    }
    for (const QDomElement &r : runs)
        link.appendChild(r);
    return {link};
}

QString hrefOf(const QTextCharFormat &f) { return f.isAnchor() ? f.anchorHref() : QString(); }

// ---- one paragraph ------------------------------------------------------------------

class ParagraphMerge
{
public:
    ParagraphMerge(DocxDocument &doc, const DocxParagraphSource &source, const QTextDocument *document)
        : doc_(doc), source_(source), p_(source.paragraph), dom_(p_.ownerDocument()),
          writer_(doc, dom_, document)
    {
    }

    void merge(const QList<Segment> &segments)
    {
        QList<QList<Segment>> own(source_.pieces.size());
        QList<QList<Segment>> after(source_.pieces.size() + 1);  // after[k + 1]: new text after piece k
        int last = -1;
        for (const Segment &s : segments) {
            if (s.piece >= 0 && s.piece >= last) {
                own[s.piece].append(s);
                last = s.piece;
            } else {
                after[last + 1].append(s);
            }
        }
        insertNew(after[0], -1);
        for (qsizetype k = 0; k < source_.pieces.size(); ++k) {
            const QList<Segment> &mine = own[k];
            if (!(mine.size() == 1 && sameAsRead(mine.first(), source_.pieces[k])))
                rewritePiece(k, mine);
            insertNew(after[k + 1], int(k));
        }
    }

private:
    const DocxSourcePiece &piece(int k) const { return source_.pieces[k]; }

    QList<QDomElement> runsFor(const Segment &s, const QDomElement &templ, const QTextCharFormat &was,
                               const QString &wasHref)
    {
        const QList<QDomElement> runs = writer_.runs(s, templ, was);
        const QString href = hrefOf(s.format);
        return href != wasHref ? linked(doc_, dom_, runs, href) : runs;
    }

    // True when the piece's new text can take the place of its element inside
    // its run: one piece of plain text (no picture, no field), read as it is now.
    bool onlyTextChanged(int k, const QList<Segment> &mine) const
    {
        const DocxSourcePiece &p = piece(k);
        return mine.size() == 1 && mine.first().format == p.format && hasLocalName(p.element, "t")
            && !p.format.hasProperty(FieldInstructionProperty);
    }

    // Replaces piece k's element by the text the rich text holds for it.
    void rewritePiece(int k, const QList<Segment> &mine)
    {
        const RunPlace place = placeOf(piece(k).element);
        if (place.run.isNull())
            return;
        if (onlyTextChanged(k, mine)) {
            QDomElement run = place.run;
            for (const QDomElement &leaf : RunWriter::textLeaves(dom_, mine.first().text))
                run.insertBefore(leaf, place.child);
            run.removeChild(place.child);
            return;
        }
        QList<QDomElement> fresh;
        for (const Segment &s : mine)
            fresh += runsFor(s, place.run, piece(k).format, hrefOf(piece(k).format));
        splitAt(place, fresh, Split::Replacing);
    }

    // New text after piece k (before the first piece when k is -1), in runs
    // like the nearest piece's.
    void insertNew(const QList<Segment> &segments, int k)
    {
        if (segments.isEmpty())
            return;
        const int near = k >= 0 ? k : 0;
        if (source_.pieces.isEmpty()) {
            for (const Segment &s : segments) {
                for (const QDomElement &r : runsFor(s, {}, {}, {}))
                    p_.appendChild(r);
            }
            return;
        }
        const RunPlace place = placeOf(piece(near).element);
        QList<QDomElement> fresh;
        for (const Segment &s : segments) {
            const bool own = s.piece >= 0;
            const DocxSourcePiece &model = piece(own ? s.piece : near);
            const QDomElement templ = own ? placeOf(model.element).run : place.run;
            fresh += runsFor(s, templ, model.format, hrefOf(model.format));
        }
        if (place.run.isNull())
            return;
        if (k < 0)
            splitAt(place, fresh, Split::Before);
        else
            splitAt(place, fresh, Split::After);
    }

    // Where new runs go relative to the child of a run they are placed at.
    enum class Split { Replacing, After, Before };

    // Puts `fresh` in the place of `place.child`, after it or before it, inside
    // its run, splitting the run so that what stood before and after stays in order.
    void splitAt(const RunPlace &place, const QList<QDomElement> &fresh, Split how)
    {
        QDomElement run = place.run;
        QDomNode parent = run.parentNode();
        QDomElement before = runShell(run);
        QDomElement rest = runShell(run);
        bool past = false;
        for (QDomNode c = run.firstChild(); !c.isNull();) {
            const QDomNode next = c.nextSibling();
            if (c == place.child) {
                past = true;
                if (how != Split::Replacing)
                    (how == Split::After ? before : rest).appendChild(c);
            } else if (!(c.isElement() && hasLocalName(c, "rPr"))) {
                (past ? rest : before).appendChild(c);
            }
            c = next;
        }
        placeRuns(parent, run, before, fresh, rest);
    }

    // Replaces `run` by `before`, `fresh` and `rest`, leaving out the two
    // parts of the split run that hold nothing.
    static void placeRuns(QDomNode &parent, const QDomElement &run, const QDomElement &before,
                          const QList<QDomElement> &fresh, const QDomElement &rest)
    {
        QList<QDomElement> all;
        if (hasContent(before))
            all.append(before);
        all += fresh;
        if (hasContent(rest))
            all.append(rest);
        for (const QDomElement &e : all)
            parent.insertBefore(e, run);
        parent.removeChild(run);
    }

    DocxDocument &doc_;
    const DocxParagraphSource &source_;
    QDomElement p_;
    QDomDocument dom_;
    RunWriter writer_;
};

// ---- paragraphs around ----------------------------------------------------------

void setAlignment(QDomElement p, int alignment)
{
    QString jc;
    if (alignment & Qt::AlignHCenter)
        jc = QStringLiteral("center");
    else if (alignment & Qt::AlignRight)
        jc = QStringLiteral("right");
    else if (alignment & Qt::AlignJustify)
        jc = QStringLiteral("both");
    else
        jc = QStringLiteral("left");
    QDomElement pPr = wChild(p, "pPr");
    if (pPr.isNull()) {
        pPr = createW(p.ownerDocument(), "pPr");
        p.insertBefore(pPr, p.firstChild());
    }
    for (const QDomElement &old : childrenByLocalName(pPr, "jc"))
        pPr.removeChild(old);
    QDomElement e = createW(p.ownerDocument(), "jc");
    setWAttr(e, "val", jc);
    insertInOrder(pPr, e, paragraphPropertyOrder());
}

// A paragraph no block comes from any more. One that is the last paragraph
// of a table cell or other container is emptied instead, as its container
// needs a paragraph.
void removeParagraph(QDomElement p)
{
    QDomNode parent = p.parentNode();
    if (parent.isNull())
        return;
    if (hasLocalName(parent, "body") || childrenByLocalName(parent, "p").size() > 1) {
        parent.removeChild(p);
        return;
    }
    for (QDomElement c = p.firstChildElement(); !c.isNull();) {
        const QDomElement next = c.nextSiblingElement();
        if (!hasLocalName(c, "pPr"))
            p.removeChild(c);
        c = next;
    }
}

// The blocks written from one source paragraph, and the blocks read from
// nowhere that follow them (new paragraphs).
struct BlockGroup
{
    std::shared_ptr<DocxParagraphSource> source;
    QList<QTextBlock> blocks;
    QList<QTextBlock> added;
};

QList<BlockGroup> groupBlocks(const QTextDocument &editor)
{
    QList<BlockGroup> groups;
    for (QTextBlock b = editor.begin(); b.isValid(); b = b.next()) {
        const DocxBlockOrigin *origin = blockOrigin(b.userData());
        if (origin && !origin->source())
            continue;  // a block the rich text needs around tables: no content
        if (!origin) {
            if (!groups.isEmpty())
                groups.last().added.append(b);
            continue;
        }
        if (!groups.isEmpty() && groups.last().source == origin->source() && origin->breakPiece() >= 0
            && groups.last().added.isEmpty())
            groups.last().blocks.append(b);
        else
            groups.append({origin->source(), {b}, {}});
    }
    return groups;
}

// A new paragraph after `previous` holding `block`; its runs are made like
// the pieces of `model` (the paragraph it was most likely split from) that
// its text still names.
QDomElement addParagraph(DocxDocument &doc, QDomElement previous, const DocxParagraphSource &model,
                         const QTextBlock &block)
{
    QDomElement p = paragraphLike(previous);
    RunWriter writer(doc, p.ownerDocument(), block.document());
    for (const Segment &s : segmentsOf({block}, model.pieces.size())) {
        const DocxSourcePiece *piece = s.piece >= 0 ? &model.pieces[s.piece] : nullptr;
        const QDomElement templ = piece ? placeOf(piece->element).run : QDomElement();
        const QTextCharFormat was = piece ? piece->format : QTextCharFormat();
        // A new paragraph's runs sit in no hyperlink of the source: a link is made for them.
        for (const QDomElement &r : linked(doc, p.ownerDocument(), writer.runs(s, templ, was), hrefOf(s.format)))
            p.appendChild(r);
    }
    if (int(block.blockFormat().alignment()) != model.alignment)
        setAlignment(p, int(block.blockFormat().alignment()));
    previous.parentNode().insertAfter(p, previous);
    return p;
}

}  // namespace

DocxSourceList DocxWriter::sourceParagraphs(const QTextDocument &editor)
{
    DocxSourceList sources;
    for (QTextBlock b = editor.begin(); b.isValid(); b = b.next()) {
        const DocxBlockOrigin *origin = blockOrigin(b.userData());
        if (origin && origin->source() && (sources.isEmpty() || sources.last() != origin->source()))
            sources.append(origin->source());
    }
    return sources;
}

int DocxWriter::writeBack(DocxDocument &doc, const QTextDocument &editor, const DocxSourceList &converted)
{
    const QList<BlockGroup> groups = groupBlocks(editor);
    QSet<const DocxParagraphSource *> kept;
    for (const BlockGroup &g : groups) {
        const DocxParagraphSource &source = *g.source;
        const QList<Segment> segments = segmentsOf(g.blocks, source.pieces.size());
        if (!unchanged(segments, source))
            ParagraphMerge(doc, source, &editor).merge(segments);
        const int alignment = int(g.blocks.first().blockFormat().alignment());
        if (alignment != source.alignment)
            setAlignment(source.paragraph, alignment);
        QDomElement previous = source.paragraph;
        for (const QTextBlock &b : g.added)
            previous = addParagraph(doc, previous, source, b);
        kept.insert(&source);
    }
    for (const auto &source : converted) {
        if (!kept.contains(source.get()))
            removeParagraph(source->paragraph);
    }
    return int(groups.size());
}
