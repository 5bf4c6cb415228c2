// One w:tbl as one rich-text table: grid positions, horizontal spans, vertical
// merges, shading, and the cells' paragraphs and nested tables.
#include "DocxLog.h"
#include "DocxReaderInternal.h"

#include <QBrush>
#include <QColor>
#include <QTextCursor>
#include <QTextTable>
#include <QTextTableCellFormat>
#include <QTextTableFormat>

#include <algorithm>

namespace {

// Tables nested deeper than this are not built as tables: their paragraphs are
// converted one after another into the enclosing cell. Laying out a table lays
// out its cells twice, so each level of nesting doubles the layout's work.
constexpr int kMaxTableNesting = 8;
// Horizontal spans may widen a table by at most this many columns beyond its
// grid or its widest row of cells.
constexpr int kMaxColumnsBeyondGrid = 64;
// A table of more cells than this is converted as plain paragraphs.
constexpr qint64 kMaxTableCells = 250'000;
constexpr double kCellPadding = 4.0;
constexpr double kGridBorderWidth = 1.0;

struct CellInfo
{
    QDomElement element;
    int span = 1;
    bool vMergeRestart = false;
    bool vMergeContinue = false;
    QString fill;
    int column = 0;  // grid column where the cell starts
};

struct Merge
{
    int row, column, rows, columns;
};

struct RowInfo
{
    QList<CellInfo> cells;
    int skippedBefore = 0;  // grid columns left empty before the first cell
    int skippedAfter = 0;   // and after the last
};

struct TableLayout
{
    QList<QList<CellInfo>> rows;
    int numCols = 0;
    QList<Merge> merges;
};

// What every cell conversion of one table tree shares.
struct TableContext
{
    const DocxDocument &doc;
    const DocxImageRels &imageRels;
    DocxRunningNumbers &running;  // lists number on across cells and the body around
};

// Rows of a table (or cells of a row) as the paragraph index finds them: the
// items below `owner` whose nearest enclosing `stopName` is `owner`, so rows
// and cells wrapped in content controls or custom XML are included.
void collectOwned(const QDomElement &owner, const QString &itemName, const QString &stopName, QList<QDomElement> &out)
{
    for (QDomElement c = owner.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == itemName)
            out.append(c);
        else if (c.localName() != stopName)
            collectOwned(c, itemName, stopName, out);
    }
}

QList<QDomElement> ownedElements(const QDomElement &owner, const QString &itemName, const QString &stopName)
{
    QList<QDomElement> out;
    collectOwned(owner, itemName, stopName, out);
    return out;
}

QString cellFill(const QDomElement &shd)
{
    const QString fill = wAttr(shd, QStringLiteral("fill"));
    return fill.size() == 6 && fill.compare(QLatin1String("auto"), Qt::CaseInsensitive) != 0 ? fill : QString();
}

CellInfo readCell(const QDomElement &tc)
{
    CellInfo cell;
    cell.element = tc;
    const QDomElement tcPr = firstChildByLocalName(tc, QStringLiteral("tcPr"));
    bool ok = false;
    const int span = wVal(firstChildByLocalName(tcPr, QStringLiteral("gridSpan"))).toInt(&ok);
    if (ok && span >= 2)
        cell.span = span;
    const QDomElement vMerge = firstChildByLocalName(tcPr, QStringLiteral("vMerge"));
    if (!vMerge.isNull()) {
        cell.vMergeRestart = wVal(vMerge) == QLatin1String("restart");
        cell.vMergeContinue = !cell.vMergeRestart;
    }
    cell.fill = cellFill(firstChildByLocalName(tcPr, QStringLiteral("shd")));
    return cell;
}

// The number of grid columns, from the first, whose widths add up to about
// `width` twips (the nearest sum).
int columnsOfWidth(const QList<int> &gridWidths, int width)
{
    int sum = 0;
    for (qsizetype i = 0; i < gridWidths.size(); ++i) {
        if (width <= sum + gridWidths[i] / 2)
            return int(i);
        sum += gridWidths[i];
    }
    return int(gridWidths.size());
}

// Grid columns a row leaves empty on one side: w:gridBefore (w:gridAfter), or
// the columns that w:wBefore (w:wAfter) measures when the count is not given.
int skippedColumns(const QDomElement &trPr, const char *count, const char *width, const QList<int> &gridWidths)
{
    bool ok = false;
    const int n = wVal(firstChildByLocalName(trPr, QString::fromLatin1(count))).toInt(&ok);
    if (ok)
        return qMax(0, n);
    const QDomElement w = firstChildByLocalName(trPr, QString::fromLatin1(width));
    int twips = 0;
    ok = readMeasure(wAttr(w, QStringLiteral("w")), kTwipsPerPoint, &twips);
    const QString type = wAttr(w, QStringLiteral("type"));
    return ok && twips > 0 && (type.isEmpty() || type == QLatin1String("dxa")) ? columnsOfWidth(gridWidths, twips) : 0;
}

// Places the cells of a row on the grid after the columns it skips. Skipped
// columns and spans are cut so that the row stays within `columnLimit` while
// every cell keeps at least one column; returns the columns the row takes.
int placeRow(RowInfo &row, int columnLimit)
{
    QList<CellInfo> &cells = row.cells;
    int column = qMin(row.skippedBefore, columnLimit - int(cells.size()));
    for (qsizetype i = 0; i < cells.size(); ++i) {
        const int cellsAfter = int(cells.size() - i - 1);
        CellInfo &cell = cells[i];
        cell.span = qMin(cell.span, columnLimit - column - cellsAfter);
        cell.column = column;
        column += cell.span;
    }
    return qMin(columnLimit, column + row.skippedAfter);
}

int rowSpanFrom(const TableLayout &layout, int row, int column)
{
    int rowSpan = 1;
    for (qsizetype r = row + 1; r < layout.rows.size(); ++r) {
        const auto &cells = layout.rows[r];
        const auto below = std::find_if(cells.cbegin(), cells.cend(),
                                        [column](const CellInfo &c) { return c.column == column; });
        if (below == cells.cend() || !below->vMergeContinue)
            break;
        ++rowSpan;
    }
    return rowSpan;
}

QList<int> gridWidths(const QDomElement &tbl)
{
    QList<int> widths;
    for (const QDomElement &col : childElementsByLocalName(firstChildByLocalName(tbl, QStringLiteral("tblGrid")),
                                                           QStringLiteral("gridCol")))
    {
        int twips = 0;
        readMeasure(wAttr(col, QStringLiteral("w")), kTwipsPerPoint, &twips);
        widths.append(qMax(0, twips));
    }
    return widths;
}

TableLayout layoutTable(const QDomElement &tbl)
{
    const QList<int> grid = gridWidths(tbl);
    QList<RowInfo> rows;
    int widestRow = 0;
    for (const QDomElement &tr : ownedElements(tbl, QStringLiteral("tr"), QStringLiteral("tbl"))) {
        RowInfo row;
        for (const QDomElement &tc : ownedElements(tr, QStringLiteral("tc"), QStringLiteral("tr")))
            row.cells.append(readCell(tc));
        if (row.cells.isEmpty())
            continue;
        const QDomElement trPr = firstChildByLocalName(tr, QStringLiteral("trPr"));
        row.skippedBefore = skippedColumns(trPr, "gridBefore", "wBefore", grid);
        row.skippedAfter = skippedColumns(trPr, "gridAfter", "wAfter", grid);
        widestRow = qMax(widestRow, int(row.cells.size()));
        rows.append(row);
    }
    TableLayout layout;
    const int gridCols = int(grid.size());
    const int columnLimit = qMax(gridCols, widestRow) + kMaxColumnsBeyondGrid;
    layout.numCols = gridCols;
    for (RowInfo &row : rows) {
        layout.numCols = qMax(layout.numCols, placeRow(row, columnLimit));
        layout.rows.append(row.cells);
    }

    for (int r = 0; r < layout.rows.size(); ++r) {
        for (const CellInfo &cell : layout.rows[r]) {
            const int rowSpan = cell.vMergeRestart ? rowSpanFrom(layout, r, cell.column) : 1;
            if (cell.span > 1 || rowSpan > 1)
                layout.merges.append({r, cell.column, rowSpan, cell.span});
        }
    }
    return layout;
}

bool isGridStyled(const QDomElement &tbl)
{
    const QDomElement tblPr = firstChildByLocalName(tbl, QStringLiteral("tblPr"));
    const QString styleId = wVal(firstChildByLocalName(tblPr, QStringLiteral("tblStyle")));
    return styleId.contains(QLatin1String("Grid"), Qt::CaseInsensitive)
        || styleId.contains(QLatin1String("Table"), Qt::CaseInsensitive);
}

QTextTableFormat tableFormat(bool bordered)
{
    QTextTableFormat fmt;
    fmt.setCellSpacing(0);
    fmt.setCellPadding(kCellPadding);
    fmt.setMargin(0);
    fmt.setBorder(bordered ? kGridBorderWidth : 0.0);
    fmt.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    fmt.setBorderBrush(QBrush(Qt::black));
    fmt.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    return fmt;
}

void shadeCell(QTextTableCell &cell, const QString &fill)
{
    QTextTableCellFormat tcf = cell.format().toTableCellFormat();
    tcf.setBackground(QBrush(QColor(QLatin1Char('#') + fill)));
    cell.setFormat(tcf);
}

void convertTableAt(QTextCursor &cursor, const QDomElement &tbl, const TableContext &ctx, int depth);

// The fallback for tables too deep or too large to build: their paragraphs, in
// index order, each in a new block, numbered as the content of one cell.
void convertAsParagraphs(QTextCursor &cursor, const QDomElement &tbl, const TableContext &ctx)
{
    QList<QDomElement> paragraphs;
    DocxBody::collectParagraphs(tbl, paragraphs);
    for (const QDomElement &p : paragraphs)
        convertParagraph(cursor, p, ctx.doc, false, ctx.running, ctx.imageRels);
}

void fillCell(QTextTableCell &qtCell, const CellInfo &cell, const TableContext &ctx, int depth)
{
    QTextCursor cc = qtCell.firstCursorPosition();
    bool first = true;
    for (QDomElement c = cell.element.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == QLatin1String("p")) {
            convertParagraph(cc, c, ctx.doc, first, ctx.running, ctx.imageRels);
            first = false;
        } else if (c.localName() == QLatin1String("tbl")) {
            convertTableAt(cc, c, ctx, depth + 1);
            first = false;
        }
    }
    if (!cell.fill.isEmpty())
        shadeCell(qtCell, cell.fill);
}

void convertTableAt(QTextCursor &cursor, const QDomElement &tbl, const TableContext &ctx, int depth)
{
    const TableLayout layout = layoutTable(tbl);
    const int numRows = int(layout.rows.size());
    if (numRows == 0)
        return;
    if (depth >= kMaxTableNesting || qint64(numRows) * layout.numCols > kMaxTableCells) {
        readerDebug() << "convertTable: table too deep or too large, converted as paragraphs:" << numRows << "x"
                        << layout.numCols << "at depth" << depth;
        convertAsParagraphs(cursor, tbl, ctx);
        return;
    }
    QTextTable *table = cursor.insertTable(numRows, layout.numCols, tableFormat(isGridStyled(tbl)));
    for (const Merge &m : layout.merges)
        table->mergeCells(m.row, m.column, m.rows, m.columns);
    for (int r = 0; r < numRows; ++r) {
        for (const CellInfo &cell : layout.rows[r]) {
            if (cell.vMergeContinue)
                continue;
            // A position covered by another cell's merge is not this cell's:
            // writing there would put its content inside cells filled before.
            QTextTableCell qtCell = table->cellAt(r, cell.column);
            if (qtCell.isValid() && qtCell.row() == r && qtCell.column() == cell.column)
                fillCell(qtCell, cell, ctx, depth);
        }
    }
    // Whatever follows the table (the rest of its cell, for a nested one) goes after it.
    cursor.setPosition(table->lastPosition() + 1);
}

}  // namespace

void convertTable(QTextCursor &cursor, const QDomElement &tbl, const DocxDocument &doc,
                  DocxRunningNumbers &running, const DocxImageRels &imageRels)
{
    convertTableAt(cursor, tbl, TableContext{doc, imageRels, running}, 0);
}
