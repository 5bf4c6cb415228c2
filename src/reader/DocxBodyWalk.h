#pragma once
// A walk over the body's top-level elements that converts them to rich text,
// one element or a batch at a time.
#include "DocxReader.h"

#include <QDomElement>
#include <QTextCursor>

#include <functional>

// Calls `visit` with each top-level element of the body, in order. A body
// whose elements can be found in the part's bytes is parsed a batch of them at
// a time, so its whole tree never exists; otherwise its tree is walked.
void forEachBodyElement(DocxDocument &doc, const std::function<void(const QDomElement &)> &visit);
// Sizes `qd` like the document's page and clears it.
void prepareDocument(QTextDocument &qd, const DocxDocument &doc);

// One walk over top-level body elements, converting those the range covers:
// paragraphs, tables (whole, when they overlap the range) and content controls
// (their paragraphs one by one). The index of body paragraphs and the list
// numbers run on across elements.
class DocxBodyWalk
{
public:
    DocxBodyWalk(const DocxDocument &doc, const DocxSectionRange &range, QTextDocument &qd);
    // A walk over another part than the body, whose pictures `imageRels` names.
    DocxBodyWalk(const DocxDocument &doc, const DocxSectionRange &range, QTextDocument &qd,
                 const DocxImageRels &imageRels);
    // Every child of `body`, in order.
    void run(const QDomElement &body);
    // One top-level body element.
    void element(const QDomElement &c);
    // The target document was cleared: the next paragraph fills its first block.
    void restart();
    // From now on into `qd`, starting with its first block.
    void retarget(QTextDocument &qd);
    // The blocks read leave out where they were read from (which holds the
    // parsed elements): for a rich text that is only laid out, so that a body
    // read a batch of elements at a time never holds more than one batch.
    void dropSources() { keepSources_ = false; }

private:
    bool inRange(int index) const { return index >= range_.startPara && index < range_.endPara; }
    void paragraph(const QDomElement &p);
    void table(const QDomElement &tbl);
    void contentControl(const QDomElement &sdt);
    static int paragraphCountOf(const QDomElement &container);
    // Marks the blocks from block `from` on that no paragraph was read into
    // (those the rich text keeps around tables) as standing for nothing, or
    // clears what every one of them holds when the sources are dropped.
    void settleBlocks(int from);

    const DocxDocument &doc_;
    const DocxSectionRange &range_;
    QTextCursor cursor_;
    const DocxImageRels imageRels_;
    DocxRunningNumbers running_;
    bool first_ = true;
    bool keepSources_ = true;
    int index_ = 0;
};
