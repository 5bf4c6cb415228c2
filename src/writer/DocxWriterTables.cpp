// Rich-text tables into w:tbl elements, written as text: widths of the table
// and its columns, borders of the table and its cells, cell shading and
// vertical alignment, header rows that repeat on every page, and cell content
// written as any other content (headings, lists, tables inside cells).
#include "DocxWriterInternal.h"

#include <QTextBlock>
#include <QTextFrame>
#include <QTextTable>

#include <cmath>
#include <optional>

namespace {

constexpr int kTextWidthTwips = 9360;  // a Letter page less two one-inch margins
constexpr int kEighthsPerPixel = 6;     // border widths: 0.75 pt to the pixel, in eighths of a point
constexpr int kMaxBorderEighths = 96;   // the widest border a word processor draws
constexpr int kFiftiethsPerPercent = 50;
constexpr int kMinColumnTwips = 15;  // one pixel: many columns still share the width of the page
// Tables inside tables are written to this depth; the content of deeper ones
// goes into the cell that holds them, paragraph after paragraph.
constexpr int kMaxTableDepth = 16;

int twips(double px) { return int(std::lround(px * kTwipsPerPixel)); }

QByteArray attr(const char *name, const QString &value)
{
    return QByteArray(" w:") + name + "=\"" + escapeXmlAttribute(value) + '"';
}
QByteArray attr(const char *name, int value) { return attr(name, QString::number(value)); }

QString hex(const QColor &c) { return c.name().mid(1).toUpper(); }

// The w:val of a border of the rich text's style, drawn `px` wide.
QString borderStyle(int style)
{
    switch (style) {
    case QTextFrameFormat::BorderStyle_None: return QStringLiteral("nil");
    case QTextFrameFormat::BorderStyle_Dotted: return QStringLiteral("dotted");
    case QTextFrameFormat::BorderStyle_Dashed: return QStringLiteral("dashed");
    case QTextFrameFormat::BorderStyle_Double: return QStringLiteral("double");
    case QTextFrameFormat::BorderStyle_DotDash: return QStringLiteral("dotDash");
    case QTextFrameFormat::BorderStyle_DotDotDash: return QStringLiteral("dotDotDash");
    default: return QStringLiteral("single");  // solid, and the raised and sunken looks drawn flat
    }
}

QByteArray border(const char *side, const QString &style, double px, const QString &color)
{
    if (style == QLatin1String("nil") || px <= 0)
        return "<w:" + QByteArray(side) + " w:val=\"nil\"/>";
    const int eighths = qBound(2, int(std::lround(px * kEighthsPerPixel)), kMaxBorderEighths);
    return "<w:" + QByteArray(side) + attr("val", style) + attr("sz", eighths) + " w:space=\"0\"" + attr("color", color)
        + "/>";
}

// The table's borders: none for a table drawn without (HTML's border="0", or
// no border at all); otherwise its frame and lines between all cells.
QByteArray tableBorders(const QTextTableFormat &f)
{
    const double px = f.border();
    QByteArray xml = "<w:tblBorders>";
    const QString color = f.borderBrush().style() != Qt::NoBrush ? hex(f.borderBrush().color()) : QStringLiteral("auto");
    const QString style = borderStyle(f.borderStyle());
    for (const char *side : {"top", "left", "bottom", "right"})
        xml += border(side, style, px, color);
    for (const char *side : {"insideH", "insideV"})
        xml += border(side, style, px > 0 ? 1 : 0, color);
    return xml + "</w:tblBorders>";
}

// Column widths in twips that share `total` as the columns' constraints ask:
// fixed widths, percentages of the table, the rest shared equally.
QList<int> columnWidths(const QTextTableFormat &f, int columns, int total)
{
    const QList<QTextLength> constraints = f.columnWidthConstraints();
    QList<int> widths(columns, -1);
    int taken = 0, open = 0;
    for (int c = 0; c < columns; ++c) {
        const QTextLength l = constraints.value(c);
        if (l.type() == QTextLength::FixedLength && l.rawValue() > 0)
            widths[c] = twips(l.rawValue());
        else if (l.type() == QTextLength::PercentageLength && l.rawValue() > 0)
            widths[c] = int(std::lround(total * l.rawValue() / 100));
        if (widths[c] < 0)
            ++open;
        else
            taken += widths[c];
    }
    const int share = open > 0 ? qMax(kMinColumnTwips, (total - taken) / open) : 0;
    for (int &w : widths)
        w = qMax(kMinColumnTwips, w < 0 ? share : w);
    return widths;
}

// The table's own width in twips, within `available`; 0 when it has none.
int tableWidth(const QTextTableFormat &f, int available)
{
    const QTextLength w = f.width();
    if (w.type() == QTextLength::FixedLength && w.rawValue() > 0)
        return twips(w.rawValue());
    if (w.type() == QTextLength::PercentageLength && w.rawValue() > 0)
        return int(std::lround(available * qMin(100.0, w.rawValue()) / 100));
    return 0;
}

QByteArray tableProperties(const QTextTableFormat &f)
{
    QByteArray xml = "<w:tblPr>";
    const QTextLength w = f.width();
    if (w.type() == QTextLength::PercentageLength && w.rawValue() > 0)
        xml += "<w:tblW" + attr("w", int(std::lround(qMin(100.0, w.rawValue()) * kFiftiethsPerPercent)))
            + " w:type=\"pct\"/>";
    else if (w.type() == QTextLength::FixedLength && w.rawValue() > 0)
        xml += "<w:tblW" + attr("w", twips(w.rawValue())) + " w:type=\"dxa\"/>";
    else
        xml += "<w:tblW w:w=\"0\" w:type=\"auto\"/>";
    if (f.alignment() & Qt::AlignHCenter)
        xml += "<w:jc w:val=\"center\"/>";
    else if (f.alignment() & Qt::AlignRight)
        xml += "<w:jc w:val=\"right\"/>";
    xml += tableBorders(f);
    return xml + "</w:tblPr>";
}

QByteArray cellBorders(const QTextTableCellFormat &f)
{
    struct Side
    {
        const char *name;
        QTextFormat::Property width, style, brush;
    };
    static const Side sides[] = {
        {"top", QTextFormat::TableCellTopBorder, QTextFormat::TableCellTopBorderStyle, QTextFormat::TableCellTopBorderBrush},
        {"left", QTextFormat::TableCellLeftBorder, QTextFormat::TableCellLeftBorderStyle, QTextFormat::TableCellLeftBorderBrush},
        {"bottom", QTextFormat::TableCellBottomBorder, QTextFormat::TableCellBottomBorderStyle,
         QTextFormat::TableCellBottomBorderBrush},
        {"right", QTextFormat::TableCellRightBorder, QTextFormat::TableCellRightBorderStyle,
         QTextFormat::TableCellRightBorderBrush},
    };
    QByteArray xml;
    for (const Side &s : sides) {
        if (!f.hasProperty(s.width) && !f.hasProperty(s.style))
            continue;
        const QBrush brush = f.brushProperty(s.brush);
        xml += border(s.name, borderStyle(f.intProperty(s.style)), f.doubleProperty(s.width),
                      brush.style() != Qt::NoBrush ? hex(brush.color()) : QStringLiteral("auto"));
    }
    return xml.isEmpty() ? xml : "<w:tcBorders>" + xml + "</w:tcBorders>";
}

QByteArray cellProperties(const QTextTableCell &cell, int span, int width, bool continues, const QBrush &tableBackground)
{
    const QTextTableCellFormat f = cell.format().toTableCellFormat();
    QByteArray xml = "<w:tcPr><w:tcW" + attr("w", width) + " w:type=\"dxa\"/>";
    if (span > 1)
        xml += "<w:gridSpan" + attr("val", span) + "/>";
    if (f.tableCellRowSpan() > 1 || continues)
        xml += continues ? "<w:vMerge/>" : "<w:vMerge w:val=\"restart\"/>";
    xml += cellBorders(f);
    const QBrush bg = f.hasProperty(QTextFormat::BackgroundBrush) ? f.background() : tableBackground;
    if (!continues && bg.style() != Qt::NoBrush && bg.color().isValid())
        xml += "<w:shd w:val=\"clear\" w:color=\"auto\"" + attr("fill", hex(bg.color())) + "/>";
    switch (f.verticalAlignment()) {
    case QTextCharFormat::AlignMiddle: xml += "<w:vAlign w:val=\"center\"/>"; break;
    case QTextCharFormat::AlignBottom: xml += "<w:vAlign w:val=\"bottom\"/>"; break;
    case QTextCharFormat::AlignTop: xml += "<w:vAlign w:val=\"top\"/>"; break;
    default: break;
    }
    return xml + "</w:tcPr>";
}

class CellWriter
{
public:
    explicit CellWriter(DocxBuildContext &ctx) : ctx_(ctx) {}

    // The content of a cell or of a frame inside it; true when it ends with
    // a paragraph, as a cell must.
    bool write(QByteArray &out, QTextFrame::iterator it, int width)
    {
        bool endsWithParagraph = false;
        for (; !it.atEnd(); ++it) {
            if (QTextFrame *frame = it.currentFrame()) {
                auto *inner = qobject_cast<QTextTable *>(frame);
                if (inner && ctx_.tableDepth < kMaxTableDepth) {
                    out += tableXmlWithin(inner, width);
                    endsWithParagraph = false;
                    ctx_.previousSpaceAfter = 0;
                } else {
                    endsWithParagraph = write(out, frame->begin(), width);
                }
                continue;
            }
            const QTextBlock block = it.currentBlock();
            if (!block.isValid() || (ctx_.fromHtml && showsNothing(block)))
                continue;
            out += newParagraphXml(ctx_, DocxParagraphTemplate(), block);
            endsWithParagraph = true;
        }
        return endsWithParagraph;
    }

    QByteArray tableXmlWithin(QTextTable *table, int available);

private:
    DocxBuildContext &ctx_;
};

// The rows of `table` from `grid` (column widths in twips); rows below
// `headerRows` repeat at the top of every page.
QByteArray rowsXml(DocxBuildContext &ctx, QTextTable *table, const QList<int> &grid, int headerRows)
{
    CellWriter cells(ctx);
    const int savedSpace = ctx.previousSpaceAfter;
    const int columns = table->columns();
    auto spanWidth = [&](int column, int span) {
        int w = 0;
        for (int c = column; c < column + span; ++c)
            w += grid.value(c, grid.isEmpty() ? kTextWidthTwips : grid.last());
        return w;
    };
    // Where each column is covered by a cell from a row above: the cell, the
    // last row it covers and the columns it spans.
    struct Cover
    {
        std::optional<QTextTableCell> cell;
        int lastRow = -1;
        int span = 1;
    };
    QList<Cover> covers(columns);
    QByteArray xml;
    for (int r = 0; r < table->rows(); ++r) {
        xml += r < headerRows ? "<w:tr><w:trPr><w:tblHeader/></w:trPr>" : "<w:tr>";
        std::optional<QTextTableCell> previous;  // the cell before in this row
        for (int c = 0; c < columns;) {
            const QTextTableCell cell = table->cellAt(r, c);
            if (!cell.isValid() || (previous && cell == *previous)) {
                ++c;
                continue;
            }
            previous = cell;
            Cover &cover = covers[c];
            const bool continues = cover.lastRow >= r && cover.cell && *cover.cell == cell;
            const int span = continues ? cover.span : qBound(1, cell.columnSpan(), columns - c);
            if (!continues)
                cover = {cell, r + qMax(1, cell.rowSpan()) - 1, span};
            const int width = spanWidth(c, span);
            xml += "<w:tc>";
            xml += cellProperties(cell, span, width, continues, table->format().background());
            ctx.previousSpaceAfter = 0;
            if (continues || !cells.write(xml, cell.begin(), width))
                xml += "<w:p/>";  // a cell ends with a paragraph
            xml += "</w:tc>";
            c += span;
        }
        xml += "</w:tr>";
    }
    ctx.previousSpaceAfter = savedSpace;
    return xml;
}

QList<int> gridOf(QTextTable *table, int available)
{
    const QTextTableFormat f = table->format();
    const int width = tableWidth(f, available);
    return columnWidths(f, table->columns(), width > 0 ? width : available);
}

QByteArray gridXml(const QList<int> &grid)
{
    QByteArray xml = "<w:tblGrid>";
    for (const int w : grid)
        xml += "<w:gridCol" + attr("w", w) + "/>";
    return xml + "</w:tblGrid>";
}

QByteArray completeTable(DocxBuildContext &ctx, QTextTable *table, int available)
{
    ++ctx.tableDepth;
    const QList<int> grid = gridOf(table, available);
    QByteArray xml = "<w:tbl>" + tableProperties(table->format()) + gridXml(grid)
        + rowsXml(ctx, table, grid, table->format().headerRowCount()) + "</w:tbl>";
    --ctx.tableDepth;
    return xml;
}

QByteArray CellWriter::tableXmlWithin(QTextTable *table, int available)
{
    return completeTable(ctx_, table, available);
}

}  // namespace

QByteArray DocxTableWriter::write(QTextTable *table, bool opens, bool closes)
{
    QByteArray xml;
    if (opens || !open_) {
        xml = finish();  // a table still open ends here
        grid_ = gridOf(table, kTextWidthTwips);
        headerRows_ = opens ? table->format().headerRowCount() : 0;
        xml += "<w:tbl>" + tableProperties(table->format()) + gridXml(grid_);
        open_ = true;
    }
    ++ctx_.tableDepth;
    xml += rowsXml(ctx_, table, grid_, opens ? headerRows_ : 0);
    --ctx_.tableDepth;
    return closes ? xml + finish() : xml;
}

QByteArray DocxTableWriter::finish()
{
    if (!open_)
        return {};
    open_ = false;
    return "</w:tbl>";
}
