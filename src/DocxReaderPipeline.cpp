// The Reader's driver: sizes the rich-text document like the page, walks the
// top-level children of the body over the requested paragraph range and closes
// up the spacing between items of one list.
#include "DocxNamespaces.h"
#include "DocxReaderInternal.h"

#include <QCoreApplication>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>

namespace {

// The host's event loop runs (user input excluded) after this many top-level paragraphs.
constexpr int kParagraphsPerEventBreak = 128;

const char kImageRelType[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";

bool isImageRel(const QString &type) { return type == QLatin1String(kImageRelType); }

void letEventsRun()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace

void prepareDocument(QTextDocument &qd, const DocxDocument &doc)
{
    const QSizeF pageSize = readPageSizePx(doc);
    const DocxReader::DocxMargins marg = DocxReader::readMarginsPx(doc);
    qd.clear();
    qd.setPageSize(pageSize);
    qd.setDocumentMargin(0);
    QTextFrameFormat frame = qd.rootFrame()->frameFormat();
    frame.setLeftMargin(marg.left);
    frame.setTopMargin(marg.top);
    frame.setRightMargin(marg.right);
    frame.setBottomMargin(marg.bottom);
    qd.rootFrame()->setFrameFormat(frame);
}

DocxBodyWalk::DocxBodyWalk(const DocxDocument &doc, const DocxSectionRange &range, QTextDocument &qd,
                           QList<DocxBlockSource> *sources)
    : doc_(doc), range_(range), cursor_(&qd), sources_(sources), imageRels_(documentRelParts(doc, isImageRel))
{
}

void DocxBodyWalk::run(const QDomElement &body)
{
    for (QDomElement c = body.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
        element(c);
}

void DocxBodyWalk::element(const QDomElement &c)
{
    const int firstBlock = cursor_.block().blockNumber();
    // Inside an edit block the cursors do not lay text out to find their
    // place on screen after every insertion.
    cursor_.beginEditBlock();
    const QString name = c.localName();
    if (name == QLatin1String("p")) {
        paragraph(c);
        if (index_ % kParagraphsPerEventBreak == 0)
            letEventsRun();
    } else if (name == QLatin1String("tbl")) {
        table(c);
    } else if (name == QLatin1String("sdt")) {
        contentControl(c);
    }
    cursor_.endEditBlock();
    markStructuralBlocks(firstBlock);
}

void DocxBodyWalk::markStructuralBlocks(int from)
{
    for (QTextBlock b = cursor_.document()->findBlockByNumber(from); b.isValid(); b = b.next()) {
        if (!b.userData())
            b.setUserData(new DocxBlockOrigin(nullptr, -1));
    }
}

void DocxBodyWalk::restart()
{
    cursor_.movePosition(QTextCursor::Start);
    first_ = true;
}

void DocxBodyWalk::paragraph(const QDomElement &p)
{
    if (inRange(index_)) {
        convertParagraph(cursor_, p, doc_, first_, listCounters_, imageRels_, false, sources_);
        first_ = false;
    }
    ++index_;
}

void DocxBodyWalk::table(const QDomElement &tbl)
{
    const int n = paragraphCountOf(tbl);
    if (index_ + n > range_.startPara && index_ < range_.endPara) {
        convertTable(cursor_, tbl, doc_, imageRels_, sources_);
        first_ = false;
    }
    index_ += n;
}

// A block content control (a table of contents often is one) shows its
// paragraphs and tables as the body would.
void DocxBodyWalk::contentControl(const QDomElement &sdt)
{
    const QDomElement content = firstChildByLocalName(sdt, QStringLiteral("sdtContent"));
    for (QDomElement c = content.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
        element(c);
}

int DocxBodyWalk::paragraphCountOf(const QDomElement &container)
{
    QList<QDomElement> paragraphs;
    DocxDocument::collectParagraphs(container, paragraphs);
    return int(paragraphs.size());
}

namespace {

bool isListItemOf(const QTextBlock &block, int numId, int level)
{
    const QTextBlockFormat fmt = block.blockFormat();
    return fmt.intProperty(ListNumIdProperty) == numId && fmt.intProperty(ListLevelProperty) == level;
}

void setBlockMargin(const QTextBlock &block, bool top)
{
    QTextBlockFormat fmt = block.blockFormat();
    if (top)
        fmt.setTopMargin(0);
    else
        fmt.setBottomMargin(0);
    QTextCursor(block).setBlockFormat(fmt);
}

// Items of one list at one level sit without paragraph spacing between them.
void tightenListSpacing(QTextDocument &qd)
{
    for (QTextBlock cur = qd.begin(); cur.isValid(); cur = cur.next()) {
        const QTextBlock nxt = cur.next();
        if (!nxt.isValid())
            break;
        const int numId = cur.blockFormat().intProperty(ListNumIdProperty);
        if (numId >= 1 && isListItemOf(nxt, numId, cur.blockFormat().intProperty(ListLevelProperty))) {
            setBlockMargin(cur, false);
            setBlockMargin(nxt, true);
        }
    }
}

}  // namespace

bool DocxReader::populate(const DocxDocument &doc, const DocxSectionRange &range, QTextDocument *qd,
                          QList<DocxBlockSource> *sources)
{
    if (!qd || range.startPara < 0 || range.startPara >= range.endPara)
        return false;
    const QSignalBlocker blocker(qd);
    prepareDocument(*qd, doc);
    if (sources)
        sources->clear();
    const QDomElement body = firstElementNS(doc.dom(), "body", kNsW);
    if (body.isNull())
        return false;
    DocxBodyWalk(doc, range, *qd, sources).run(body);
    tightenListSpacing(*qd);
    return true;
}
