// The layout of new paragraphs from their block formats: spacing (margins
// collapsed as a browser collapses them), indentation, line height, page
// breaks, shading, a rule below and the writing direction.
#include "DocxXml.h"
#include "DocxWriterInternal.h"

#include <QTextBlock>
#include <QTextList>

#include <cmath>

namespace {

constexpr int kIndentStepTwips = 720;  // one indentation level: where the first list level's text starts

int twips(double px) { return int(std::lround(px * kTwipsPerPixel)); }

QByteArray attr(const char *name, int value) { return QByteArray(" w:") + name + "=\"" + QByteArray::number(value) + '"'; }

QByteArray spacing(DocxBuildContext &ctx, const QTextBlockFormat &bf)
{
    // Margins between blocks collapse: the gap is the larger of the two.
    const int top = twips(bf.topMargin());
    const int bottom = twips(bf.bottomMargin());
    const int before = qMax(0, top - ctx.previousSpaceAfter);
    ctx.previousSpaceAfter = bottom;
    QByteArray xml = "<w:spacing" + attr("before", before) + attr("after", bottom);
    const int type = bf.intProperty(QTextFormat::LineHeightType);
    const double height = bf.lineHeight();
    if (type == QTextBlockFormat::ProportionalHeight && height > 0)
        xml += attr("line", int(std::lround(kSingleLineSpacing * height / 100))) + " w:lineRule=\"auto\"";
    else if (type == QTextBlockFormat::FixedHeight && height > 0)
        xml += attr("line", twips(height)) + " w:lineRule=\"exact\"";
    else if (type == QTextBlockFormat::MinimumHeight && height > 0)
        xml += attr("line", twips(height)) + " w:lineRule=\"atLeast\"";
    return xml + "/>";
}

// Indentation of a paragraph that is no list item (the numbering indents
// those): margins, indentation levels (continuation paragraphs of a list
// item stand at its text) and the first line's indentation.
QByteArray indentation(const QTextBlock &block)
{
    const QTextBlockFormat bf = block.blockFormat();
    const int left = twips(bf.leftMargin()) + bf.indent() * kIndentStepTwips;
    const int right = twips(bf.rightMargin());
    const int first = twips(bf.textIndent());
    if (left == 0 && right == 0 && first == 0)
        return {};
    QByteArray xml = "<w:ind" + attr("left", left) + attr("right", right);
    if (first > 0)
        xml += attr("firstLine", first);
    else if (first < 0)
        xml += attr("hanging", -first);
    return xml + "/>";
}

}  // namespace

bool showsNothing(const QTextBlock &block)
{
    const QTextBlockFormat f = block.blockFormat();
    return block.length() <= 1 && !block.textList() && !f.hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth)
        && f.pageBreakPolicy() == QTextFormat::PageBreak_Auto && !f.hasProperty(QTextFormat::BackgroundBrush);
}

bool breaksPageAfter(const QTextBlock &block)
{
    return block.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysAfter;
}

void setParagraphLayout(DocxBuildContext &ctx, DocxParagraphProperties &props, const QTextBlock &block)
{
    const QTextBlockFormat bf = block.blockFormat();
    props.set("pageBreakBefore",
              bf.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore ? "<w:pageBreakBefore/>" : QByteArray());
    props.set("pBdr", bf.hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth)
                  ? "<w:pBdr><w:bottom w:val=\"single\" w:sz=\"6\" w:space=\"1\" w:color=\"auto\"/></w:pBdr>"
                  : QByteArray());
    const QBrush background = bf.background();
    const bool shaded = bf.hasProperty(QTextFormat::BackgroundBrush) && background.style() != Qt::NoBrush
        && background.color().alpha() > 0;
    props.set("shd", shaded ? "<w:shd w:val=\"clear\" w:color=\"auto\" w:fill=\""
                              + background.color().name().mid(1).toUpper().toLatin1() + "\"/>"
                            : QByteArray());
    props.set("bidi", bf.layoutDirection() == Qt::RightToLeft ? "<w:bidi/>" : QByteArray());
    props.set("spacing", spacing(ctx, bf));
    if (!block.textList())
        props.set("ind", indentation(block));
}
