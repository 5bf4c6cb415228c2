#pragma once
// DocxParagraphText: the text of one paragraph as its runs show it, read across
// runs, proofing marks, bookmarks and fields, and the splice that puts new text
// in the place of a stretch of it inside the run of the stretch's first
// character, so that the new text takes that character's formatting.
#include <QDomElement>
#include <QList>
#include <QString>

class DocxParagraphText
{
public:
    // The text of `paragraph`'s own runs: w:t as it is, w:tab as a tab, w:br
    // and w:cr as a newline, w:noBreakHyphen as U+2011 and w:sym as U+FFFC
    // (a match that takes one in removes it). Runs of paragraphs nested inside it (text boxes),
    // deleted and moved-away text and field instructions are not part of it.
    explicit DocxParagraphText(const QDomElement &paragraph);

    const QString &text() const { return text_; }
    // Puts `replacement` (newlines become w:br, tabs w:tab) in the place of
    // the text [start, end), which is not empty, in the run of its first
    // character. Stretches are replaced from the last to the first.
    void replace(qsizetype start, qsizetype end, const QString &replacement);
    // Removes what the replacements emptied: bare w:t, and runs left with
    // nothing but their properties.
    void tidy();
    // Removes the proofing marks and bookmarks standing between the runs of
    // the first and the last character of [start, end) (a bookmark with its
    // other end in the paragraph), for a stretch that becomes one piece of text.
    void dropMarksWithin(qsizetype start, qsizetype end);

private:
    struct Piece
    {
        QDomElement node;  // w:t, w:tab, w:br, w:cr, w:noBreakHyphen or w:sym
        qsizetype start = 0;
        qsizetype length = 0;
        bool isText = false;  // a w:t; the others stand for one character
    };

    void collect(const QDomElement &run);
    qsizetype pieceAt(qsizetype pos) const;
    void drop(const Piece &piece, qsizetype count);
    QDomElement insertReplacement(QDomElement after, const QString &replacement);

    QDomElement paragraph_;
    QList<Piece> pieces_;
    QString text_;
    QList<QDomElement> emptied_;  // nodes to remove at tidy()
    QList<QDomElement> touchedRuns_;
};
