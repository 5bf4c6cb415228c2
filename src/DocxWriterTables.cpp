// Rich-text tables into w:tbl elements with one fixed look.
#include "DocxWriterInternal.h"

#include <QTextBlock>
#include <QTextFrame>
#include <QTextTable>

namespace {

constexpr int kTextWidthTwips = 9360;  // a Letter page less two one-inch margins
constexpr char kTableStyle[] = "TableGrid";
constexpr char kFullWidthPct[] = "5000";
const char *const kBorderSides[] = {"top", "left", "bottom", "right", "insideH", "insideV"};

QDomElement appendW(QDomDocument &dom, QDomElement parent, const char *localName)
{
    QDomElement e = createW(dom, localName);
    parent.appendChild(e);
    return e;
}

QDomElement tableProperties(QDomDocument &dom)
{
    QDomElement tblPr = createW(dom, "tblPr");
    setWAttr(appendW(dom, tblPr, "tblStyle"), "val", QString::fromLatin1(kTableStyle));
    QDomElement tblW = appendW(dom, tblPr, "tblW");
    setWAttr(tblW, "type", QStringLiteral("pct"));
    setWAttr(tblW, "w", QString::fromLatin1(kFullWidthPct));
    QDomElement borders = appendW(dom, tblPr, "tblBorders");
    for (const char *side : kBorderSides) {
        QDomElement b = appendW(dom, borders, side);
        setWAttr(b, "val", QStringLiteral("single"));
        setWAttr(b, "sz", QStringLiteral("4"));
        setWAttr(b, "space", QStringLiteral("0"));
        setWAttr(b, "color", QStringLiteral("auto"));
    }
    return tblPr;
}

QDomElement cellProperties(QDomDocument &dom, const QTextTableCell &cell, int colW, bool continues)
{
    QDomElement tcPr = createW(dom, "tcPr");
    QDomElement tcW = appendW(dom, tcPr, "tcW");
    setWAttr(tcW, "type", QStringLiteral("dxa"));
    setWAttr(tcW, "w", QString::number(colW * cell.columnSpan()));
    if (cell.columnSpan() > 1)
        setWAttr(appendW(dom, tcPr, "gridSpan"), "val", QString::number(cell.columnSpan()));
    if (cell.rowSpan() > 1 || continues) {
        QDomElement vMerge = appendW(dom, tcPr, "vMerge");
        if (!continues)
            setWAttr(vMerge, "val", QStringLiteral("restart"));
    }
    const QBrush bg = cell.format().background();
    if (!continues && bg.style() != Qt::NoBrush && bg.color().isValid()) {
        QDomElement shd = appendW(dom, tcPr, "shd");
        setWAttr(shd, "val", QStringLiteral("clear"));
        setWAttr(shd, "color", QStringLiteral("auto"));
        setWAttr(shd, "fill", bg.color().name().mid(1).toUpper());
    }
    return tcPr;
}

}  // namespace

QDomElement writeTable(DocxDocument &doc, QDomDocument &dom, QTextTable *table)
{
    const int columns = table->columns();
    const int colW = columns > 0 ? kTextWidthTwips / columns : kTextWidthTwips;
    QDomElement tbl = createW(dom, "tbl");
    tbl.appendChild(tableProperties(dom));
    QDomElement grid = appendW(dom, tbl, "tblGrid");
    for (int c = 0; c < columns; ++c)
        setWAttr(appendW(dom, grid, "gridCol"), "w", QString::number(colW));

    for (int r = 0; r < table->rows(); ++r) {
        QDomElement tr = appendW(dom, tbl, "tr");
        for (int c = 0; c < columns;) {
            const QTextTableCell cell = table->cellAt(r, c);
            if (!cell.isValid() || cell.column() != c) {
                ++c;
                continue;
            }
            const bool continues = cell.row() != r;
            QDomElement tc = appendW(dom, tr, "tc");
            tc.appendChild(cellProperties(dom, cell, colW, continues));
            if (!continues) {
                for (auto it = cell.begin(); !it.atEnd(); ++it) {
                    const QTextBlock block = it.currentBlock();
                    if (!block.isValid())
                        continue;
                    QDomElement p = appendW(dom, tc, "p");
                    writeParagraph(doc, p, block);
                }
            }
            if (childElementsByLocalName(tc, QStringLiteral("p")).isEmpty())
                appendW(dom, tc, "p");
            c += qMax(1, cell.columnSpan());
        }
    }
    return tbl;
}
