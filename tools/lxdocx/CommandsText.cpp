// text: what the Reader makes of documents, block by block: list labels, the
// text of table cells and where pictures stand; as lines or as JSON.
#include "Cli.h"
#include "Preview.h"

#include "DocxReader.h"

#include <lorvexdocx.h>

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <iostream>
#include <limits>
#include <memory>

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

QJsonObject describe(const DocxDocument &doc, const QString &path, const QTextDocument &qd, bool pages)
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
    if (pages) {
        const PreviewSummary summary = previewSummary(doc);
        out.insert("pages", summary.pages);
        out.insert("headers", QJsonArray::fromStringList(summary.headerLines));
        out.insert("footers", QJsonArray::fromStringList(summary.footerLines));
    }
    return out;
}

void printLines(const QString &path, const QTextDocument &qd)
{
    std::cout << "== " << path.toStdString() << "\n";
    for (QTextBlock b = qd.begin(); b.isValid(); b = b.next()) {
        const BlockText t = blockText(b);
        QString line = QString(tableDepth(b) * 2, QLatin1Char(' '));
        if (!t.label.isEmpty())
            line += t.label + QLatin1Char(' ');
        line += t.text;
        for (int i = 0; i < t.pictures; ++i)
            line += QStringLiteral(" [picture]");
        std::cout << line.toStdString() << "\n";
    }
}

}  // namespace

int runText(const Args &args)
{
    lxDocx_init();
    const bool json = args.has("--json");
    int status = ExitOk;
    for (const std::string &file : args.positional) {
        const QString path = QString::fromStdString(file);
        const std::unique_ptr<DocxDocument> doc(DocxReader::open(path));
        if (!doc->isValid()) {
            status = failed("cannot open " + file, doc->errorString().toUtf8().constData());
            if (json)
                std::cout << QJsonDocument(QJsonObject{{"file", QFileInfo(path).fileName()},
                                                       {"error", doc->errorString()}})
                                 .toJson(QJsonDocument::Compact)
                                 .toStdString()
                          << std::endl;
            continue;
        }
        QTextDocument qd;
        DocxReader::populate(*doc, {path, 0, std::numeric_limits<int>::max()}, &qd);
        if (json)
            std::cout << QJsonDocument(describe(*doc, path, qd, args.has("--pages"))).toJson(QJsonDocument::Compact).toStdString()
                      << std::endl;
        else
            printLines(path, qd);
    }
    return status;
}
