#pragma once
// The tags of a template as Word leaves them: a tag typed in one go may be
// split over several runs (by formatting, proofing marks, bookmarks, field
// results). Gathering puts the whole text of each tag into the run of its
// first character, so that the value later put there takes that character's
// formatting, and makes the text of those runs keep its spaces.
#include <QByteArray>
#include <QList>
#include <QString>

// What opens and closes a tag: {{ }} for values, {% %} for statements, {# #}
// for comments.
inline constexpr char kTagOpeners[] = "{%#";

// The tags found in one paragraph's text: [start, end) of each, in order;
// false with `err` for a tag the paragraph does not close.
struct DocxTagStretch
{
    qsizetype start;
    qsizetype end;
};
bool findTagStretches(const QString &text, QList<DocxTagStretch> &stretches, QString &err);

// The part `bytes` with the tags of every paragraph gathered, into `out`
// (empty when no paragraph holds a tag). False with `err`, which quotes the
// paragraph, when a paragraph holds a tag it does not close or the part does
// not read.
bool gatherTemplateTags(const QByteArray &bytes, QByteArray &out, QString &err);
