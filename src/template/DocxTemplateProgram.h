#pragma once
// DocxTemplateProgram: one part of a template, read into what rendering
// does: the part's bytes between tags to copy, the values to put in, the
// conditions and loops around them. A tag with a modifier ({%p ...%},
// {%tr ...%}, {%tc ...%}) stands for the paragraph, table row or cell that
// holds it, which the tag takes the place of whole: the unit of a loop or
// condition. A run tag ({%r ...%}) ends its run and starts it again after
// itself, so that what it repeats or leaves out is runs. {{p value|html }}
// takes the place of its paragraph with the blocks the HTML makes.
#include "DocxTemplateExpression.h"
#include "DocxXml.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <vector>

// Markup that ends the run a tag stands in, and that starts it again after
// the tag with the same properties (`runProperties`, its w:rPr): what stands
// between them is outside any run. A run tag ({%r ...%}) and values that make
// runs of their own take such a place.
inline constexpr char kRunEnd[] = "</w:t></w:r>";
QByteArray runRestart(const QByteArray &runProperties);

// How a value goes into the part.
enum class DocxValueKind {
    Text,        // escaped text in the run of the tag
    HtmlRuns,    // the runs HTML makes, among the runs of the paragraph
    HtmlBlocks,  // the paragraphs and tables HTML makes, in the place of the paragraph
    Picture,     // a picture, as a run of its own
};

struct DocxTemplateTag
{
    QString text;       // as written, braces included
    QString statement;  // if, elif, else, endif, for, endfor, set; empty for a value
    DocxTemplateExpression expression;  // the value, the condition, what a loop walks, what set gives
    QStringList targets;  // the names a for or set binds
    DocxValueKind valueKind = DocxValueKind::Text;
    bool inText = false;       // stands in the text of a run (w:t)
    QByteArray runProperties;  // the w:rPr of its run, for values that make runs of their own
    QByteArray paragraphXml;   // the paragraph an HtmlBlocks value takes the place of
    int paragraph = -1;        // index among the part's paragraphs, -1 outside any
    qsizetype offset = 0;      // where it stands in the part's bytes
};

struct DocxTemplateItem
{
    enum Kind { Literal, Value, Condition, Loop, Assign };
    Kind kind = Literal;
    QByteArray literal;  // bytes to copy
    int tag = -1;        // of a value, loop or set
    // A condition's branches: the if and elif tags with what each renders,
    // then an else (tag -1).
    std::vector<std::pair<int, std::vector<DocxTemplateItem>>> branches;
    std::vector<DocxTemplateItem> body;      // a loop's
    std::vector<DocxTemplateItem> elseBody;  // a loop's, rendered when it walks nothing
};

class DocxTemplateProgram
{
public:
    // Reads the part `part` whose tags were gathered (see gatherTemplateTags).
    // False with `err` for a tag that does not read or does not nest, or a
    // modifier with no unit around it; `err` says where.
    bool compile(const QString &part, const QByteArray &bytes, QString &err);

    const QString &part() const { return part_; }
    bool hasTags() const { return !tags_.isEmpty(); }
    const std::vector<DocxTemplateItem> &items() const { return items_; }
    const QList<DocxTemplateTag> &tags() const { return tags_; }
    // The part, paragraph and text around a tag, for messages:
    // `word/document.xml, paragraph 3 ("Dear {{ name }},")`.
    QString placeOf(int tag) const;
    // The namespace bindings of the part's root element.
    const DocxNamespaceBindings &rootScope() const { return rootScope_; }

private:
    QString part_;
    QByteArray bytes_;
    QList<DocxTemplateTag> tags_;
    QList<QPair<qsizetype, qsizetype>> paragraphs_;  // [start, end) of each w:p
    std::vector<DocxTemplateItem> items_;
    DocxNamespaceBindings rootScope_;
};
