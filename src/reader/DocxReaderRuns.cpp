// The content of a paragraph: runs with their formats, the containers runs
// sit in (hyperlinks, tracked insertions, smart tags, content controls,
// simple fields), complex fields, breaks, tabs, symbols, note references,
// pictures and text boxes. Every piece of text inserted is recorded in the
// paragraph's source with the element it came from.
#include "DocxNamespaces.h"
#include "DocxReaderInternal.h"

#include <QDate>
#include <QFontMetricsF>
#include <QLocale>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

namespace {

// A field result of exactly this text is the placeholder the library's own
// header and footer builder writes; it is replaced by a computed value.
const QString kFieldPlaceholderResult = QStringLiteral("1");
// Namespaces whose alternate content the Reader understands (drawing shapes,
// groups and canvases, and Word's later markup, which only adds attributes).
const QStringList kUnderstoodPrefixes = {
    QStringLiteral("wps"), QStringLiteral("wpg"), QStringLiteral("wpc"), QStringLiteral("wp14"),
    QStringLiteral("w14"), QStringLiteral("w15"), QStringLiteral("a14"),
};
constexpr int kMinLeaderPairs = 3;
// A dot leader is never longer than this many ". " pairs, whatever tab position
// a document declares.
constexpr int kMaxLeaderPairs = 1000;
const QString kLeaderPair = QStringLiteral(". ");

QString normalisedInstr(const QString &instr) { return instr.simplified().toUpper(); }

// The field's type: the first word of its instruction.
QString fieldType(const QString &instr)
{
    const QString n = normalisedInstr(instr);
    const qsizetype space = n.indexOf(QLatin1Char(' '));
    return space < 0 ? n : n.left(space);
}

// The target of a HYPERLINK field: its first quoted or bare argument, with
// the bookmark of a \l switch as the fragment.
QString hyperlinkFieldTarget(const QString &instr)
{
    QStringList args;
    QString current;
    bool quoted = false;
    for (const QChar c : instr) {
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            if (!quoted) {
                args.append(current);
                current.clear();
            }
        } else if (c.isSpace() && !quoted) {
            if (!current.isEmpty())
                args.append(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.isEmpty())
        args.append(current);
    QString url, bookmark;
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("\\l") && i + 1 < args.size())
            bookmark = args[++i];
        else if (args[i].startsWith(QLatin1Char('\\')))
            ++i;  // a switch and its argument
        else if (url.isEmpty())
            url = args[i];
    }
    return bookmark.isEmpty() ? url : url + QLatin1Char('#') + bookmark;
}

// The value a field result of "1" stands for, or `text` itself.
QString fieldResultText(const QString &instr, const QString &text, const DocxDocument &doc)
{
    if (text != kFieldPlaceholderResult)
        return text;
    const QString type = fieldType(instr);
    if (type == QLatin1String("DATE"))
        return QLocale(QLocale::English).toString(QDate::currentDate(), QStringLiteral("MMMM d, yyyy"));
    if (type != QLatin1String("DOCPROPERTY") && type != QLatin1String("AUTHOR"))
        return text;
    const QString n = normalisedInstr(instr);
    QString value;
    if (n.contains(QLatin1String("AUTHOR")) || n.contains(QLatin1String("CREATOR")))
        value = doc.coreProperties().value(QStringLiteral("author"));
    else if (n.contains(QLatin1String("TITLE")))
        value = doc.coreProperties().value(QStringLiteral("title"));
    return value.isEmpty() ? text : value;
}


// A field whose begin has been read.
struct OpenField
{
    QString instr;
    bool inResult = false;     // past its separate mark: its result is showing
    bool placeholder = false;  // a page field whose placeholder stands for the result
    bool placeholderShown = false;
    QDomElement separate;
};

// The alternative of an mc:AlternateContent to read: the first choice whose
// required namespaces are all understood, else the fallback.
QDomElement chosenAlternative(const QDomElement &alternateContent)
{
    for (QDomElement c = alternateContent.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == QLatin1String("Choice")) {
            const QStringList required = c.attribute(QStringLiteral("Requires")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (std::all_of(required.cbegin(), required.cend(),
                            [](const QString &prefix) { return kUnderstoodPrefixes.contains(prefix); }))
                return c;
        } else if (c.localName() == QLatin1String("Fallback")) {
            return c;
        }
    }
    return {};
}

// The text-box contents below `el`, outermost only (a text box inside a text
// box is read with its outer box's paragraphs).
QList<QDomElement> textBoxContents(const QDomElement &el)
{
    QList<QDomElement> found;
    QList<QDomElement> pending{el};
    while (!pending.isEmpty()) {
        const QDomElement e = pending.takeLast();
        for (QDomElement c = e.lastChildElement(); !c.isNull(); c = c.previousSiblingElement()) {
            if (c.localName() == QLatin1String("txbxContent"))
                found.prepend(c);
            else if (c.localName() != QLatin1String("Fallback"))  // a fallback repeats its choice
                pending.append(c);
        }
    }
    return found;
}

// Reads one paragraph's content into the block the cursor is in.
class ParagraphContent
{
public:
    ParagraphContent(QTextCursor &cursor, const DocxDocument &doc, const DocxImageRels &imageRels,
                     DocxRunningNumbers &running, const std::shared_ptr<DocxParagraphSource> &source)
        : cursor_(cursor), doc_(doc), imageRels_(imageRels), running_(running), source_(source)
    {
    }

    void paragraph(const QDomElement &p, const QTextCharFormat &bcf, const QList<QTextOption::Tab> &tabStops)
    {
        const QTextCharFormat saved = bcf_;
        bcf_ = bcf;
        children(p);
        bcf_ = saved;
        if (hasDotLeader(tabStops))
            insertLeader(tabStops);
    }

private:
    static bool hasDotLeader(const QList<QTextOption::Tab> &tabStops)
    {
        return std::any_of(tabStops.cbegin(), tabStops.cend(),
                           [](const QTextOption::Tab &t) { return t.delimiter == QLatin1Char('.'); });
    }

    // ---- containers ----
    void children(const QDomElement &parent)
    {
        for (QDomElement c = parent.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
            child(c);
    }

    void child(const QDomElement &c)
    {
        const QString name = c.localName();
        if (name == QLatin1String("r")) {
            run(c);
        } else if (name == QLatin1String("hyperlink")) {
            hyperlink(c);
        } else if (name == QLatin1String("fldSimple")) {
            simpleField(c);
        } else if (name == QLatin1String("sdt")) {
            children(firstChildByLocalName(c, QStringLiteral("sdtContent")));
        } else if (name == QLatin1String("AlternateContent")) {
            children(chosenAlternative(c));
        } else if (name == QLatin1String("ruby")) {
            children(firstChildByLocalName(c, QStringLiteral("rubyBase")));
        } else if (name == QLatin1String("ins") || name == QLatin1String("moveTo") || name == QLatin1String("smartTag")
                   || name == QLatin1String("customXml") || name == QLatin1String("dir")
                   || name == QLatin1String("bdo")) {
            children(c);
        }
        // Deleted and moved-away text, markers, properties and math stay out.
    }

    void hyperlink(const QDomElement &link)
    {
        const QString id = nsAttribute(link, kNsR, QStringLiteral("id"));
        const QString anchor = wAttr(link, QStringLiteral("anchor"));
        QString url = id.isEmpty() ? QString() : doc_.package().relationships().relTarget(id);
        if (!anchor.isEmpty())
            url += QLatin1Char('#') + anchor;
        const QString saved = href_;
        if (!url.isEmpty())
            href_ = url;
        children(link);
        href_ = saved;
    }

    void simpleField(const QDomElement &fld)
    {
        OpenField field;
        field.instr = wAttr(fld, QStringLiteral("instr"));
        field.inResult = true;
        field.placeholder = isPageField(field.instr);
        field.separate = fld;
        fields_.append(field);
        children(fld);
        fields_.removeLast();
    }

    // ---- runs ----
    void run(const QDomElement &r)
    {
        const QTextCharFormat cf = runCharFormat(r, bcf_, doc_);
        if (cf.boolProperty(HiddenTextProperty))
            return;
        for (QDomElement c = r.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
            runChild(c, cf);
    }

    void runChild(const QDomElement &c, const QTextCharFormat &cf)
    {
        const QString name = c.localName();
        if (name == QLatin1String("t")) {
            text(c.text(), c, cf);
        } else if (name == QLatin1String("tab") || name == QLatin1String("ptab")) {
            insert(QStringLiteral("\t"), c, cf);
            lastTab_ = cursor_.position() - 1;
        } else if (name == QLatin1String("br")) {
            lineBreak(c, cf);
        } else if (name == QLatin1String("cr")) {
            insert(QString(QChar::LineSeparator), c, cf);
        } else if (name == QLatin1String("noBreakHyphen")) {
            insert(QString(QChar(0x2011)), c, cf);
        } else if (name == QLatin1String("softHyphen")) {
            insert(QString(QChar(0x00AD)), c, cf);
        } else if (name == QLatin1String("sym")) {
            symbol(c, cf);
        } else if (name == QLatin1String("fldChar")) {
            fieldChar(c);
        } else if (name == QLatin1String("instrText")) {
            if (!fields_.isEmpty() && !fields_.last().inResult)
                fields_.last().instr += c.text();
        } else if (name == QLatin1String("footnoteReference") || name == QLatin1String("endnoteReference")) {
            noteReference(c, cf);
        } else if (name == QLatin1String("drawing")) {
            picture(c, [&] { DocxReader::insertDrawingImage(cursor_, c, doc_, imageRels_); });
        } else if (name == QLatin1String("pict") || name == QLatin1String("object")) {
            picture(c, [&] { insertVmlPicture(cursor_, c, doc_, imageRels_); });
        } else if (name == QLatin1String("AlternateContent")) {
            const QDomElement chosen = chosenAlternative(c);
            for (QDomElement a = chosen.firstChildElement(); !a.isNull(); a = a.nextSiblingElement())
                runChild(a, cf);
        }
        // Rendered page breaks, comment and annotation marks, deleted text and
        // field codes of deleted fields show nothing.
    }

    // Text of a w:t, shown unless it is a field's instruction; a page field's
    // result becomes one placeholder.
    void text(const QString &value, const QDomElement &source, QTextCharFormat cf)
    {
        if (!showing())
            return;
        if (OpenField *field = resultField()) {
            if (field->placeholder) {
                if (!field->placeholderShown) {
                    cf.setProperty(FieldInstructionProperty, field->instr);
                    insert(QString(pagePlaceholderFor(field->instr)), source, cf);
                }
                field->placeholderShown = true;
                return;
            }
            if (fieldType(field->instr) == QLatin1String("HYPERLINK")) {
                const QString url = hyperlinkFieldTarget(field->instr);
                if (!url.isEmpty()) {
                    cf.setAnchor(true);
                    cf.setAnchorHref(url);
                }
            }
            insert(fieldResultText(field->instr, value, doc_), source, cf);
            return;
        }
        insert(value, source, cf);
    }

    void lineBreak(const QDomElement &br, QTextCharFormat cf)
    {
        if (!showing())
            return;
        if (wAttr(br, QStringLiteral("type")) != QLatin1String("page")) {
            insert(QString(QChar::LineSeparator), br, cf);
            return;
        }
        // A page break starts a block that carries nothing of the paragraph's
        // format but the break itself.
        const int piece = addPiece(br, QString(QChar::ParagraphSeparator), cf);
        QTextBlockFormat pageBreak;
        pageBreak.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        cursor_.insertBlock(pageBreak, bcf_);
        cursor_.block().setUserData(new DocxBlockOrigin(source_, piece));
        lastTab_ = -1;
    }

    void symbol(const QDomElement &sym, QTextCharFormat cf)
    {
        bool ok = false;
        const uint code = wAttr(sym, QStringLiteral("char")).toUInt(&ok, 16);
        if (!ok || code == 0 || code > 0xFFFF || QChar(char16_t(code)).isSurrogate())
            return;
        const QString font = wAttr(sym, QStringLiteral("font"));
        if (!font.isEmpty())
            cf.setFontFamilies(QStringList{font});
        insert(QString(QChar(char16_t(code))), sym, cf);
    }

    // A note reference shows the note's running number (endnotes in lower-case
    // roman numerals), raised; a custom mark follows in the run's text instead.
    void noteReference(const QDomElement &ref, QTextCharFormat cf)
    {
        if (onOffText(wAttr(ref, QStringLiteral("customMarkFollows"))) && !wAttr(ref, QStringLiteral("customMarkFollows")).isEmpty())
            return;
        const bool endnote = ref.localName() == QLatin1String("endnoteReference");
        const int number = ++(endnote ? running_.endnotes : running_.footnotes);
        if (cf.verticalAlignment() == QTextCharFormat::AlignNormal)
            cf.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
        insert(endnote ? toRoman(number, false) : QString::number(number), ref, cf);
    }

    // A picture, then the paragraphs of its text boxes (each on a line of its own).
    template <typename Insert>
    void picture(const QDomElement &el, Insert insertImage)
    {
        if (!showing())
            return;
        const int before = cursor_.position();
        insertImage();
        if (cursor_.position() > before)
            tagInserted(before, el);
        for (const QDomElement &box : textBoxContents(el)) {
            for (QDomElement p = box.firstChildElement(); !p.isNull(); p = p.nextSiblingElement()) {
                if (p.localName() != QLatin1String("p"))
                    continue;
                insertGenerated(QString(QChar::LineSeparator));
                const QTextCharFormat saved = bcf_;
                bcf_ = paragraphCharFormat(doc_, wVal(firstChildByLocalName(firstChildByLocalName(p, QStringLiteral("pPr")),
                                                                            QStringLiteral("pStyle"))));
                children(p);
                bcf_ = saved;
            }
        }
    }

    // ---- fields ----
    void fieldChar(const QDomElement &c)
    {
        const QString type = wAttr(c, QStringLiteral("fldCharType"));
        if (type == QLatin1String("begin")) {
            fields_.append(OpenField());
        } else if (type == QLatin1String("separate")) {
            if (!fields_.isEmpty()) {
                OpenField &f = fields_.last();
                f.inResult = true;
                f.placeholder = isPageField(f.instr);
                f.separate = c;
            }
        } else if (type == QLatin1String("end")) {
            if (!fields_.isEmpty())
                fields_.removeLast();
        }
    }

    // False inside a field's instruction.
    bool showing() const
    {
        return std::all_of(fields_.cbegin(), fields_.cend(), [](const OpenField &f) { return f.inResult; });
    }

    OpenField *resultField() { return fields_.isEmpty() ? nullptr : &fields_.last(); }

    // ---- inserting ----
    int addPiece(const QDomElement &element, const QString &text, QTextCharFormat &cf)
    {
        const int index = int(source_->pieces.size());
        cf.setProperty(SourcePieceProperty, index);
        source_->pieces.append({element, text, cf});
        return index;
    }

    void insert(const QString &text, const QDomElement &element, QTextCharFormat cf)
    {
        if (text.isEmpty())
            return;
        if (!href_.isEmpty() && !cf.isAnchor()) {
            cf.setAnchor(true);
            cf.setAnchorHref(href_);
        }
        addPiece(element, text, cf);
        cursor_.insertText(text, cf);
    }

    // Marks what an insertion step added (a picture) as one piece.
    void tagInserted(int from, const QDomElement &element)
    {
        QTextCursor range(cursor_);
        range.setPosition(from);
        range.setPosition(cursor_.position(), QTextCursor::KeepAnchor);
        QTextCharFormat mark;
        mark.setProperty(SourcePieceProperty, int(source_->pieces.size()));
        if (!href_.isEmpty()) {
            mark.setAnchor(true);
            mark.setAnchorHref(href_);
        }
        range.mergeCharFormat(mark);
        QTextCursor probe(cursor_);
        probe.setPosition(from + 1);
        source_->pieces.append({element, range.selectedText(), probe.charFormat()});
    }

    void insertGenerated(const QString &text)
    {
        QTextCharFormat cf = bcf_;
        cf.setProperty(GeneratedTextProperty, true);
        cursor_.insertText(text, cf);
    }

    // A table-of-contents line: dots fill the space up to the right tab stop
    // before the last tab (a display form the Writer never writes back).
    void insertLeader(const QList<QTextOption::Tab> &tabStops)
    {
        if (lastTab_ < 0)
            return;
        const QTextBlock block = cursor_.block();
        if (lastTab_ < block.position())
            return;
        const QString text = block.text();
        const int tabInBlock = lastTab_ - block.position();
        double tabPx = 0;
        for (const QTextOption::Tab &tab : tabStops)
            tabPx = qMax(tabPx, tab.position);
        QTextCursor at(cursor_);
        at.setPosition(lastTab_);
        QTextCharFormat cf = at.charFormat();
        const QFontMetricsF metrics(cf.font());
        QString right = text.mid(tabInBlock + 1);
        right.replace(QChar(kPageNumberPlaceholder), QLatin1String("00"));
        right.replace(QChar(kPageCountPlaceholder), QLatin1String("000"));
        const double gap = tabPx - metrics.horizontalAdvance(text.left(tabInBlock) + QLatin1Char(' '))
            - metrics.horizontalAdvance(right + QLatin1Char(' '));
        const double dotWidth = metrics.horizontalAdvance(kLeaderPair);
        const int pairs = gap <= 0 || dotWidth <= 0 ? kMinLeaderPairs
                                                    : int(qBound(double(kMinLeaderPairs), gap / dotWidth, double(kMaxLeaderPairs)));
        for (const int p : {int(SourcePieceProperty), int(QTextFormat::AnchorHref), int(QTextFormat::IsAnchor)})
            cf.clearProperty(p);
        cf.setProperty(GeneratedTextProperty, true);
        at.insertText(QLatin1Char(' ') + kLeaderPair.repeated(pairs), cf);
    }

    QTextCursor &cursor_;
    const DocxDocument &doc_;
    const DocxImageRels &imageRels_;
    DocxRunningNumbers &running_;
    std::shared_ptr<DocxParagraphSource> source_;
    QTextCharFormat bcf_;
    QList<OpenField> fields_;
    QString href_;
    int lastTab_ = -1;  // document position of the last tab of the block
};

}  // namespace

bool isPageField(const QString &instr)
{
    const QString type = fieldType(instr);
    return type == QLatin1String("PAGE") || type == QLatin1String("NUMPAGES");
}

QChar pagePlaceholderFor(const QString &instr)
{
    return QChar(fieldType(instr) == QLatin1String("NUMPAGES") ? kPageCountPlaceholder : kPageNumberPlaceholder);
}

void convertRuns(QTextCursor &cursor, const QDomElement &p, const QTextCharFormat &bcf, const DocxDocument &doc,
                 const DocxImageRels &imageRels, DocxRunningNumbers &running,
                 const std::shared_ptr<DocxParagraphSource> &source, const QList<QTextOption::Tab> &tabStops)
{
    ParagraphContent(cursor, doc, imageRels, running, source).paragraph(p, bcf, tabStops);
}
