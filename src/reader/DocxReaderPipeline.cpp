// The Reader's driver: sizes the rich-text document like the page and walks
// the top-level children of the body over the requested paragraph range.
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

void letEventsRun()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace

void prepareDocument(QTextDocument &qd, const DocxDocument &doc)
{
    const QSizeF pageSize = readPageSizePx(doc);
    const DocxPageMarginsPx marg = DocxReader::readMarginsPx(doc);
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

DocxBodyWalk::DocxBodyWalk(const DocxDocument &doc, const DocxSectionRange &range, QTextDocument &qd)
    : DocxBodyWalk(doc, range, qd, doc.package().relationships().relatedParts(doc.package().mainPart(), isImageRel))
{
}

DocxBodyWalk::DocxBodyWalk(const DocxDocument &doc, const DocxSectionRange &range, QTextDocument &qd,
                           const DocxImageRels &imageRels)
    : doc_(doc), range_(range), cursor_(&qd), imageRels_(imageRels)
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
    settleBlocks(firstBlock);
}

void DocxBodyWalk::settleBlocks(int from)
{
    for (QTextBlock b = cursor_.document()->findBlockByNumber(from); b.isValid(); b = b.next()) {
        if (!keepSources_)
            b.setUserData(nullptr);
        else if (!b.userData())
            b.setUserData(new DocxBlockOrigin(nullptr, -1));
    }
}

void DocxBodyWalk::restart()
{
    cursor_.movePosition(QTextCursor::Start);
    first_ = true;
}

void DocxBodyWalk::retarget(QTextDocument &qd)
{
    cursor_ = QTextCursor(&qd);
    first_ = true;
}

void DocxBodyWalk::paragraph(const QDomElement &p)
{
    if (inRange(index_)) {
        convertParagraph(cursor_, p, doc_, first_, running_, imageRels_);
        first_ = false;
    }
    ++index_;
}

void DocxBodyWalk::table(const QDomElement &tbl)
{
    const int n = paragraphCountOf(tbl);
    if (index_ + n > range_.startPara && index_ < range_.endPara) {
        convertTable(cursor_, tbl, doc_, running_, imageRels_);
        first_ = false;
    }
    index_ += n;
}

// A block content control (a table of contents often is one) shows its
// paragraphs and tables as the body would.
void DocxBodyWalk::contentControl(const QDomElement &sdt)
{
    const QDomElement content = firstChildByLocalName(sdt, "sdtContent");
    for (QDomElement c = content.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
        element(c);
}

int DocxBodyWalk::paragraphCountOf(const QDomElement &container)
{
    QList<QDomElement> paragraphs;
    DocxBody::collectParagraphs(container, paragraphs);
    return int(paragraphs.size());
}

void forEachBodyElement(DocxDocument &doc, const std::function<void(const QDomElement &)> &visit)
{
    doc.body().store();  // section edits into the bytes, which are then read a batch at a time
    doc.body().forEachElement(visit);
}

bool DocxReader::populate(const DocxDocument &doc, const DocxSectionRange &range, QTextDocument *qd)
{
    if (!qd || range.startPara < 0 || range.startPara >= range.endPara)
        return false;
    const QSignalBlocker blocker(qd);
    prepareDocument(*qd, doc);
    // The blocks name the tree's own paragraphs, which edits write back into.
    const QDomElement body = firstDescendantNS(doc.body().dom(), kNsW, "body");
    if (body.isNull())
        return false;
    DocxBodyWalk(doc, range, *qd).run(body);
    return true;
}
