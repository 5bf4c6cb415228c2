// preview: lays out what the library read of a document, page by page, with
// its headers and footers, as a PDF or a PNG of the first page.
#include "Cli.h"
#include "Preview.h"

#include "DocxReader.h"

#include <lorvexdocx.h>

#include <QAbstractTextDocumentLayout>
#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>

#include <iostream>
#include <limits>
#include <vector>
#include <memory>

namespace {

constexpr int kPngScale = 2;      // the PNG is drawn at twice the page's pixel size
constexpr int kPdfResolution = 96;  // pixels per inch, as the reader lays out

using Document = std::unique_ptr<QTextDocument>;

// Puts page numbers in place of the placeholders of `qd`: `pageOf` tells the
// page of a position (1-based), `pages` is the page count.
template <typename PageOf>
void fillPlaceholders(QTextDocument &qd, int pages, PageOf pageOf)
{
    QList<int> positions;
    for (QTextBlock b = qd.begin(); b.isValid(); b = b.next()) {
        const QString text = b.text();
        for (int i = 0; i < text.size(); ++i) {
            if (text[i] == QChar(kPageNumberPlaceholder) || text[i] == QChar(kPageCountPlaceholder))
                positions.append(b.position() + i);
        }
    }
    // From the end, so earlier positions stay where they are.
    for (auto it = positions.crbegin(); it != positions.crend(); ++it) {
        QTextCursor c(&qd);
        c.setPosition(*it);
        c.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
        const bool count = c.selectedText() == QChar(kPageCountPlaceholder);
        c.insertText(QString::number(count ? pages : pageOf(*it)), c.charFormat());
    }
}

class Pages
{
public:
    Pages(const DocxDocument &doc, QTextDocument &body) : body_(body), hf_(DocxReader::readHeadersFooters(doc))
    {
        for (QTextDocument *part : {hf_.defaultHdr, hf_.evenHdr, hf_.firstHdr, hf_.defaultFtr, hf_.evenFtr, hf_.firstFtr})
            owned_.emplace_back(part);
        size_ = body.pageSize();
        const QTextFrameFormat frame = body.rootFrame()->frameFormat();
        left_ = frame.leftMargin();
        right_ = frame.rightMargin();
        count_ = qMax(1, body.pageCount());
        auto *layout = body.documentLayout();
        fillPlaceholders(body, count_, [&](int pos) {
            const QTextBlock b = body.findBlock(pos);
            return int(layout->blockBoundingRect(b).top() / size_.height()) + 1;
        });
    }

    int count() const { return count_; }
    QSizeF size() const { return size_; }

    void paint(QPainter &painter, int page) const
    {
        painter.save();
        painter.translate(0, -page * size_.height());
        body_.drawContents(&painter, QRectF(0, page * size_.height(), size_.width(), size_.height()));
        painter.restore();
        const bool first = page == 0 && hf_.titlePage;
        const bool even = !first && hf_.evenAndOdd && (page + 1) % 2 == 0;
        paintPart(painter, page, first ? hf_.firstHdr : even ? hf_.evenHdr : hf_.defaultHdr, true);
        paintPart(painter, page, first ? hf_.firstFtr : even ? hf_.evenFtr : hf_.defaultFtr, false);
    }

private:
    void paintPart(QPainter &painter, int page, const QTextDocument *part, bool header) const
    {
        if (!part)
            return;
        const Document copy(part->clone());
        copy->setTextWidth(size_.width() - left_ - right_);
        fillPlaceholders(*copy, count_, [&](int) { return page + 1; });
        const double y = header ? hf_.hdrDist : size_.height() - hf_.ftrDist - copy->size().height();
        painter.save();
        painter.translate(left_, y);
        copy->drawContents(&painter);
        painter.restore();
    }

    QTextDocument &body_;
    DocxReader::DocxHFSet hf_;
    std::vector<Document> owned_;
    QSizeF size_;
    double left_ = 0, right_ = 0;
    int count_ = 1;
};

bool writePdf(const Pages &pages, const QString &path)
{
    QPdfWriter pdf(path);
    pdf.setResolution(kPdfResolution);
    const QSizeF points = pages.size() * 72.0 / kPdfResolution;
    pdf.setPageSize(QPageSize(points, QPageSize::Point));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter;
    if (!painter.begin(&pdf))
        return false;
    for (int i = 0; i < pages.count(); ++i) {
        if (i > 0)
            pdf.newPage();
        pages.paint(painter, i);
    }
    return painter.end();
}

bool writePng(const Pages &pages, const QString &path)
{
    QImage image((pages.size() * kPngScale).toSize(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(kPngScale, kPngScale);
    pages.paint(painter, 0);
    painter.end();
    return image.save(path, "PNG");
}

}  // namespace

int previewPageCount(const DocxDocument &doc, const QString &path)
{
    QTextDocument body;
    DocxReader::populate(doc, {path, 0, std::numeric_limits<int>::max()}, &body);
    return Pages(doc, body).count();
}

int runPreview(const Args &args)
{
    const QString path = QString::fromStdString(args.positional[0]);
    const QString out = QString::fromStdString(args.positional[1]);
    const QString suffix = QFileInfo(out).suffix().toLower();
    if (suffix != QLatin1String("pdf") && suffix != QLatin1String("png"))
        return usageError("preview writes OUT.pdf or OUT.png");
    lxDocx_init();
    const std::unique_ptr<DocxDocument> doc(DocxReader::open(path));
    if (!doc->isValid())
        return failed("cannot open " + args.positional[0], doc->errorString().toUtf8().constData());
    QTextDocument body;
    DocxReader::populate(*doc, {path, 0, std::numeric_limits<int>::max()}, &body);
    const Pages pages(*doc, body);
    const bool written = suffix == QLatin1String("pdf") ? writePdf(pages, out) : writePng(pages, out);
    if (!written)
        return failed("cannot write " + args.positional[1], nullptr);
    std::cout << "Wrote " << args.positional[1] << " (" << (suffix == QLatin1String("pdf") ? pages.count() : 1)
              << (suffix == QLatin1String("pdf") && pages.count() != 1 ? " pages" : " page") << ")\n";
    return ExitOk;
}
