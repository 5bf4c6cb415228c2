// What the Reader makes of a document, block by block: list labels, the text
// of table cells and where pictures stand; as lines or as JSON.
#include "DocxText.h"

#include "DocxNotes.h"
#include "DocxPreview.h"
#include "DocxReader.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <limits>

namespace {

const QChar kObjectReplacement(0xFFFC);  // where rich text holds an image

// A block split into its generated list label and its own text.
struct BlockText
{
    QString label;
    QString text;  // pictures left out
    int pictures = 0;
    bool bullet = false;  // the label is a bullet
    QStringList links;    // targets of the links it holds, in order
};

BlockText blockText(const QTextBlock &block)
{
    BlockText out;
    out.bullet = block.blockFormat().boolProperty(ListBulletProperty);
    QString previousHref;  // a link's fragments (split by formatting) make one link
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment f = it.fragment();
        const QTextCharFormat cf = f.charFormat();
        const QString href = cf.isAnchor() ? cf.anchorHref() : QString();
        if (!href.isEmpty() && href != previousHref)
            out.links.append(href);
        previousHref = href;
        if (cf.boolProperty(GeneratedTextProperty)) {
            // Shown for the layout only (a contents line's dots); its line breaks still part lines.
            out.text += QString(int(f.text().count(QChar::LineSeparator)), QChar::LineSeparator);
            continue;
        }
        if (cf.boolProperty(ListLabelProperty)) {
            out.label += f.text();
        } else if (cf.isImageFormat()) {
            out.pictures += int(f.text().count(kObjectReplacement));
        } else {
            out.text += f.text();
        }
    }
    out.label = out.label.trimmed();
    return out;
}

int tableDepth(const QTextBlock &block)
{
    int depth = 0;
    for (QTextFrame *f = QTextCursor(block).currentFrame(); f && f->parentFrame(); f = f->parentFrame())
        depth += qobject_cast<QTextTable *>(f) ? 1 : 0;
    return depth;
}

// The text of a cell: its blocks (nested tables' included), labels and pictures left out.
QString cellText(const QTextTableCell &cell)
{
    QStringList lines;
    const int end = cell.lastPosition();
    for (QTextBlock b = cell.firstCursorPosition().block(); b.isValid() && b.position() <= end; b = b.next())
        lines << blockText(b).text;
    return lines.join(QLatin1Char('\n'));
}

void collectTables(QTextFrame *frame, QJsonArray &tables)
{
    for (QTextFrame *child : frame->childFrames()) {
        if (auto *table = qobject_cast<QTextTable *>(child)) {
            QJsonArray cells;
            for (int r = 0; r < table->rows(); ++r) {
                for (int c = 0; c < table->columns(); ++c) {
                    const QTextTableCell cell = table->cellAt(r, c);
                    if (cell.row() == r && cell.column() == c)
                        cells.append(QJsonArray{r, c, cell.rowSpan(), cell.columnSpan(), cellText(cell)});
                }
            }
            tables.append(QJsonObject{{"rows", table->rows()}, {"columns", table->columns()}, {"cells", cells}});
        }
        collectTables(child, tables);
    }
}

QString lines(const QTextDocument &qd)
{
    QString out;
    for (QTextBlock b = qd.begin(); b.isValid(); b = b.next()) {
        const BlockText t = blockText(b);
        QString line = QString(tableDepth(b) * 2, QLatin1Char(' '));
        if (!t.label.isEmpty())
            line += t.label + QLatin1Char(' ');
        line += t.text;
        for (int i = 0; i < t.pictures; ++i)
            line += QStringLiteral(" [picture]");
        out += line + QLatin1Char('\n');
    }
    return out;
}

// The text of each note of `kind`, its lines joined.
QStringList noteTexts(const DocxDocument &doc, DocxNoteKind kind)
{
    QStringList texts;
    for (const std::shared_ptr<QTextDocument> &note : docxNotes(doc, kind))
        texts.append(lines(*note).chopped(1));
    return texts;
}

QJsonObject describe(const DocxDocument &doc, const QString &path, const QTextDocument &qd, const DocxTextParts &parts)
{
    QJsonArray blocks;
    QStringList links;
    for (QTextBlock b = qd.begin(); b.isValid(); b = b.next()) {
        const BlockText t = blockText(b);
        blocks.append(QJsonArray{t.label, t.text, t.pictures, tableDepth(b), t.bullet});
        links += t.links;
    }
    QJsonArray tables;
    collectTables(qd.rootFrame(), tables);
    QJsonObject out{{"file", QFileInfo(path).fileName()},
                    {"blocks", blocks},
                    {"tables", tables},
                    {"links", QJsonArray::fromStringList(links)}};
    if (parts.headersFooters) {
        const DocxPreviewSummary summary = docxPreviewSummary(doc);
        out.insert("pages", summary.pages);
        out.insert("headers", QJsonArray::fromStringList(summary.headerLines));
        out.insert("footers", QJsonArray::fromStringList(summary.footerLines));
    }
    if (parts.notes) {
        out.insert("footnotes", QJsonArray::fromStringList(noteTexts(doc, DocxNoteKind::Footnote)));
        out.insert("endnotes", QJsonArray::fromStringList(noteTexts(doc, DocxNoteKind::Endnote)));
    }
    return out;
}

// A heading line, then `lines` a line each.
QString titled(const char *heading, const QStringList &lines)
{
    QString out = QStringLiteral("-- ") + QLatin1String(heading) + QLatin1Char('\n');
    for (const QString &line : lines)
        out += line + QLatin1Char('\n');
    return out;
}

// Each note's lines, the first after "[N] ".
QStringList numberedNotes(const QStringList &texts)
{
    QStringList numbered;
    for (int i = 0; i < texts.size(); ++i)
        numbered.append(QStringLiteral("[%1] ").arg(i + 1) + texts[i]);
    return numbered;
}

// The whole body as rich text.
void readBody(const DocxDocument &doc, QTextDocument &qd)
{
    DocxReader::populate(doc, {doc.package().path(), 0, std::numeric_limits<int>::max()}, &qd);
}

}  // namespace

QString docxTextLines(const DocxDocument &doc, const DocxTextParts &parts)
{
    QTextDocument qd;
    readBody(doc, qd);
    QString out = lines(qd);
    if (parts.headersFooters) {
        const DocxPreviewSummary summary = docxPreviewSummary(doc);
        out += titled("headers", summary.headerLines) + titled("footers", summary.footerLines);
    }
    if (parts.notes) {
        out += titled("footnotes", numberedNotes(noteTexts(doc, DocxNoteKind::Footnote)));
        out += titled("endnotes", numberedNotes(noteTexts(doc, DocxNoteKind::Endnote)));
    }
    return out;
}

QJsonObject docxTextReport(const DocxDocument &doc, const DocxTextParts &parts)
{
    QTextDocument qd;
    readBody(doc, qd);
    return describe(doc, doc.package().path(), qd, parts);
}
