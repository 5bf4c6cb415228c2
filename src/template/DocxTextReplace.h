#pragma once
// DocxTextReplace: what to find in a paragraph's text and what to put in its
// place: plain text or a regular expression (QRegularExpression syntax, with
// \1-style groups in the replacement), in any case or the case given, anywhere
// or as whole words only.
#include "DocxParagraphText.h"

#include <QRegularExpression>
#include <QString>

struct DocxReplaceOptions
{
    bool matchCase = false;
    bool wholeWord = false;
    bool regex = false;
};

class DocxTextReplace
{
public:
    DocxTextReplace(const QString &find, const QString &replacement, DocxReplaceOptions options);

    // False when the expression does not compile; errorString() says why.
    bool isValid() const { return pattern_.isValid(); }
    QString errorString() const;
    // Replaces every match in `paragraph`; returns how many. Empty matches are
    // passed over.
    int apply(DocxParagraphText &paragraph) const;

private:
    QString replacementFor(const QRegularExpressionMatch &match) const;

    QRegularExpression pattern_;
    QString replacement_;
    bool regex_;
};
