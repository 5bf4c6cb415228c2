// The preview: lays out what the Reader reads of a document page by page,
// section by section (each with its page, margins, columns, headers and
// footers), as a PDF or a PNG of the first page.
#include "DocxPreview.h"

#include "DocxNumberFormat.h"
#include "DocxReader.h"

#include <QAbstractTextDocumentLayout>
#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextTable>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

constexpr double kPngScale = 2.0;    // the PNG is drawn at twice the page's pixel size...
constexpr double kMaxPngPixels = 50e6;  // ...unless that makes more pixels than this
constexpr int kPdfResolution = 96;   // pixels per inch, as the reader lays out
constexpr double kEpsilon = 0.01;
constexpr double kEdge = 0.5;
constexpr double kMinTextRoom = 48.0;  // half an inch

using Section = DocxReader::DocxPageSection;
using Document = std::unique_ptr<QTextDocument>;

double columnWidth(const Section &s) { return s.body->textWidth(); }

bool isPlaceholder(QChar c) { return c == QChar(kPageNumberPlaceholder) || c == QChar(kPageCountPlaceholder); }

// Puts numbers in place of the page placeholders of `qd`: `pageOf` tells the
// page number at a position, as it is written, `pages` is the page count.
template <typename PageOf>
void fillPlaceholders(QTextDocument &qd, int pages, PageOf pageOf)
{
    QList<int> positions;
    for (QTextBlock b = qd.begin(); b.isValid(); b = b.next()) {
        const QString text = b.text();
        for (int i = 0; i < text.size(); ++i) {
            if (isPlaceholder(text[i]))
                positions.append(b.position() + i);
        }
    }
    // From the end, so earlier positions stay where they are.
    for (auto it = positions.crbegin(); it != positions.crend(); ++it) {
        QTextCursor c(&qd);
        c.setPosition(*it);
        c.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
        const bool count = c.selectedText() == QChar(kPageCountPlaceholder);
        c.insertText(count ? QString::number(pages) : pageOf(*it), c.charFormat());
    }
}

bool inTable(const QTextBlock &block) { return QTextCursor(block).currentTable() != nullptr; }

// Where the text of a section may pass from one column or page to the next:
// between lines, never through one; before a block that starts a new page;
// not inside a block that keeps its lines together, nor between a block and
// the next one it keeps with.
class Cuts
{
public:
    explicit Cuts(QTextDocument &qd)
    {
        auto *layout = qd.documentLayout();
        height_ = layout->documentSize().height();
        double previousFirstBottom = -1;
        QTextBlock previous;
        for (QTextBlock b = qd.begin(); b.isValid(); b = b.next()) {
            const QRectF rect = layout->blockBoundingRect(b);
            const QTextLayout *tl = b.layout();
            if (!tl || tl->lineCount() == 0)
                continue;
            const double top = rect.top() + tl->lineAt(0).y();
            const QTextLine last = tl->lineAt(tl->lineCount() - 1);
            const double bottom = rect.top() + last.y() + last.height();
            for (int i = 0; i < tl->lineCount(); ++i) {
                const QTextLine line = tl->lineAt(i);
                add(rect.top() + line.y(), rect.top() + line.y() + line.height());
            }
            const QTextBlockFormat fmt = b.blockFormat();
            const bool table = inTable(b);
            if (!table && (fmt.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore) && top > kEpsilon)
                breaks_.append(top);
            if (!table && fmt.boolProperty(KeepLinesTogetherProperty))
                add(top, bottom);
            if (previous.isValid() && previous.blockFormat().boolProperty(KeepWithNextProperty) && !table)
                add(previousFirstBottom, rect.top() + tl->lineAt(0).y() + tl->lineAt(0).height());
            previous = table ? QTextBlock() : b;
            previousFirstBottom = top;
        }
        std::sort(lines_.begin(), lines_.end());
        std::sort(breaks_.begin(), breaks_.end());
    }

    double height() const { return height_; }

    // The lowest place at or above `limit` where the text after `from` may be
    // cut; a line taller than the room is cut through.
    double cut(double from, double limit) const
    {
        const auto forced = std::upper_bound(breaks_.cbegin(), breaks_.cend(), from + kEpsilon);
        if (forced != breaks_.cend() && *forced <= limit)
            return *forced;
        if (limit >= height_)
            return height_;
        double y = limit;
        for (double inside = lowestTopThrough(y); inside < y; inside = lowestTopThrough(y))
            y = inside;
        return y > from + kEpsilon ? y : limit;
    }

    // The first forced break after `from`, or the end.
    double nextBreak(double from) const
    {
        const auto forced = std::upper_bound(breaks_.cbegin(), breaks_.cend(), from + kEpsilon);
        return forced == breaks_.cend() ? height_ : *forced;
    }

private:
    void add(double top, double bottom)
    {
        if (bottom - top > kEpsilon) {
            lines_.append({top, bottom});
            tallest_ = std::max(tallest_, bottom - top);
        }
    }

    // The smallest top of the intervals that `y` falls strictly inside; `y` when none.
    double lowestTopThrough(double y) const
    {
        double lowest = y;
        const auto end = std::lower_bound(lines_.cbegin(), lines_.cend(), std::make_pair(y, 0.0));
        for (auto it = end; it != lines_.cbegin();) {
            --it;
            if (it->first < y - tallest_)
                break;
            if (it->first < y - kEpsilon && it->second > y + kEpsilon)
                lowest = std::min(lowest, it->first);
        }
        return lowest;
    }

    QList<std::pair<double, double>> lines_;
    QList<double> breaks_;
    double height_ = 0;
    double tallest_ = 0;
};

// A run of a section's text shown in one column of one page.
struct Slice
{
    int section;
    double from, to;  // in the section's text
    QPointF at;       // where `from` lands on the page
};

struct Page
{
    int section = 0;  // whose size, headers and footers the page shows
    int number = 1;
    bool firstOfSection = false;
    bool blank = false;
    double top = 0, bottom = 0;  // where text may stand, below the header and above the footer
    QList<Slice> slices;
};

class Pages
{
public:
    explicit Pages(const DocxDocument &doc) : layout_(DocxReader::readPageLayout(doc))
    {
        if (layout_.sections.isEmpty())
            return;
        paginate();
        fillBodyPlaceholders();
    }

    int count() const { return int(pages_.size()); }
    bool cutShort() const { return cutShort_; }
    // Whether a section's page had to be brought within printable sizes.
    bool pageBrought() const
    {
        return std::any_of(layout_.sections.begin(), layout_.sections.end(), [](const Section &s) { return s.bounded; });
    }

    // The paragraphs with text of the headers (or footers) the sections have, each part once:
    // the first page's where a section has a first page, the even pages' where
    // the document has them.
    QStringList partLines(DocxHFPart which) const
    {
        QStringList lines;
        QSet<const QTextDocument *> seen;
        for (const Section &s : layout_.sections) {
            const auto &parts = which == DocxHFPart::Header ? s.headers : s.footers;
            for (const DocxHFKind kind : {DocxHFKind::Default, DocxHFKind::Even, DocxHFKind::First}) {
                const QTextDocument *part = parts[int(kind)].get();
                if (!part || (kind == DocxHFKind::Even && !layout_.evenAndOdd)
                    || (kind == DocxHFKind::First && !s.titlePage) || seen.contains(part))
                    continue;
                seen.insert(part);
                for (QTextBlock b = part->begin(); b.isValid(); b = b.next()) {
                    if (!b.text().trimmed().isEmpty())
                        lines.append(b.text());
                }
            }
        }
        return lines;
    }

    QSizeF size(int page) const { return layout_.sections[pages_[page].section].pageSize; }

    void paint(QPainter &painter, int index) const
    {
        const Page &page = pages_[index];
        for (const Slice &slice : page.slices) {
            const Section &s = layout_.sections[slice.section];
            painter.save();
            painter.translate(slice.at.x(), slice.at.y() - slice.from);
            // Inside the slice by a hair: lines that end or begin at its edges belong to the slices around it.
            s.body->drawContents(&painter, QRectF(0, slice.from + kEdge, columnWidth(s), slice.to - slice.from - 2 * kEdge));
            painter.restore();
        }
        if (page.blank)
            return;
        const Section &s = layout_.sections[page.section];
        paintPart(painter, page, s, partOf(s.headers, page), DocxHFPart::Header);
        paintPart(painter, page, s, partOf(s.footers, page), DocxHFPart::Footer);
    }

private:
    // The header or footer of a page: the first page's when the section has
    // one, the even pages' when the document has them, else the default.
    QTextDocument *partOf(const std::shared_ptr<QTextDocument> (&parts)[kHFKindCount], const Page &page) const
    {
        const Section &s = layout_.sections[page.section];
        if (page.firstOfSection && s.titlePage)
            return parts[int(DocxHFKind::First)].get();
        if (layout_.evenAndOdd && page.number % 2 == 0)
            return parts[int(DocxHFKind::Even)].get();
        return parts[int(DocxHFKind::Default)].get();
    }

    // A page's number as its section writes page numbers.
    QString numberOf(const Page &page) const
    {
        return numberText(page.number, layout_.sections[page.section].pageNumberFormat);
    }

    static double partHeight(const QTextDocument *part)
    {
        return part ? part->documentLayout()->documentSize().height() : 0.0;
    }

    void paintPart(QPainter &painter, const Page &page, const Section &s, const QTextDocument *part,
                   DocxHFPart which) const
    {
        if (!part)
            return;
        const Document copy(part->clone());
        copy->setTextWidth(s.pageSize.width() - s.margins.left - s.margins.right);
        fillPlaceholders(*copy, count(), [&](int) { return numberOf(page); });
        const double footerTop = s.pageSize.height() - s.margins.footer - copy->size().height();
        const double y = which == DocxHFPart::Header ? s.margins.header : footerTop;
        painter.save();
        painter.translate(s.margins.left, y);
        copy->drawContents(&painter);
        painter.restore();
    }

    // Starts a page of section `index`; a section that starts on an odd (even)
    // page is given a blank page first when needed. False past the bound.
    bool newPage(int index, bool firstOfSection)
    {
        const Section &s = layout_.sections[index];
        int number = pages_.isEmpty() ? 1 : pages_.last().number + 1;
        if (firstOfSection && s.firstPageNumber >= 0)
            number = s.firstPageNumber;
        const bool wantOdd = firstOfSection && s.start == QLatin1String("oddPage");
        const bool wantEven = firstOfSection && s.start == QLatin1String("evenPage");
        if (!pages_.isEmpty() && ((wantOdd && number % 2 == 0) || (wantEven && number % 2 != 0))) {
            Page blank;
            blank.section = index;
            blank.number = number;
            blank.blank = true;
            if (!addPage(blank))
                return false;
            ++number;
        }
        Page page;
        page.section = index;
        page.number = number;
        page.firstOfSection = firstOfSection;
        // A header or footer taller than its margin pushes the text away,
        // unless that leaves less room than the margins do at their smallest.
        page.top = s.margins.top;
        page.bottom = s.pageSize.height() - s.margins.bottom;
        const double room = page.bottom - page.top;
        if (const QTextDocument *header = partOf(s.headers, page))
            page.top = std::max(page.top, s.margins.header + partHeight(header));
        if (const QTextDocument *footer = partOf(s.footers, page))
            page.bottom = std::min(page.bottom, s.pageSize.height() - s.margins.footer - partHeight(footer));
        if (page.bottom - page.top < std::min(room, kMinTextRoom)) {
            page.top = s.margins.top;
            page.bottom = s.pageSize.height() - s.margins.bottom;
        }
        return addPage(page);
    }

    bool addPage(const Page &page)
    {
        if (pages_.size() >= kMaxPreviewPages) {
            cutShort_ = true;
            return false;
        }
        pages_.append(page);
        return true;
    }

    // A section that starts continuously goes on where the text before it
    // ended, on a page of the same size.
    bool continuesPage(int index) const
    {
        const Section &s = layout_.sections[index];
        const bool breaksFirst = s.body->begin().blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore;
        return index > 0 && !pages_.isEmpty() && !breaksFirst
            && (s.start == QLatin1String("continuous") || s.start == QLatin1String("nextColumn"))
            && s.pageSize == layout_.sections[pages_.last().section].pageSize;
    }

    // Whether the columns of the section's last page are evened out: when a
    // section that continues on the same page follows.
    bool balancesColumns(int index) const
    {
        return layout_.sections[index].columns > 1 && index + 1 < layout_.sections.size()
            && layout_.sections[index + 1].start == QLatin1String("continuous");
    }

    void paginate()
    {
        for (int index = 0; index < layout_.sections.size(); ++index) {
            if (!paginateSection(index))
                return;
        }
    }

    bool paginateSection(int index)
    {
        const Section &s = layout_.sections[index];
        if (!continuesPage(index) && !newPage(index, true))
            return false;
        const Cuts cuts(*s.body);
        const double width = columnWidth(s);
        double from = 0;
        double columnTop = continuesPage(index) ? currentY_ : pages_.last().top;
        for (int column = 0;;) {
            const Page &page = pages_.last();
            double limit = from + (page.bottom - columnTop);
            const double rest = cuts.nextBreak(from) - from;
            const int columnsLeft = s.columns - column;
            if (balancesColumns(index) && rest <= columnsLeft * (page.bottom - columnTop))
                limit = from + rest / columnsLeft;
            const double to = cuts.cut(from, limit);
            const QPointF at(s.margins.left + column * (width + s.columnGap), columnTop);
            pages_.last().slices.append(Slice{index, from, to, at});
            currentY_ = std::max(column == 0 ? 0.0 : currentY_, columnTop + (to - from));
            from = to;
            if (from >= cuts.height() - kEpsilon)
                return true;
            if (++column < s.columns && cuts.nextBreak(from - kEpsilon) > from + kEpsilon)
                continue;
            column = 0;
            if (!newPage(index, false))
                return false;
            columnTop = pages_.last().top;
        }
    }

    // Page numbers of the body: each placeholder gets the number of the page its line is on.
    void fillBodyPlaceholders()
    {
        for (int index = 0; index < layout_.sections.size(); ++index) {
            QTextDocument &qd = *layout_.sections[index].body;
            auto *layout = qd.documentLayout();
            fillPlaceholders(qd, count(), [&](int pos) {
                const double y = layout->blockBoundingRect(qd.findBlock(pos)).top();
                for (const Page &page : pages_) {
                    for (const Slice &slice : page.slices) {
                        if (slice.section == index && y >= slice.from - kEpsilon && y < slice.to)
                            return numberOf(page);
                    }
                }
                return numberOf(pages_.last());
            });
        }
    }

    DocxReader::DocxPageLayout layout_;
    QList<Page> pages_;
    double currentY_ = 0;
    bool cutShort_ = false;
};

bool writePdf(const Pages &pages, const QString &path)
{
    QPdfWriter pdf(path);
    pdf.setResolution(kPdfResolution);
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setPageSize(QPageSize(pages.size(0) * 72.0 / kPdfResolution, QPageSize::Point));
    QPainter painter;
    if (!painter.begin(&pdf))
        return false;
    for (int i = 0; i < pages.count(); ++i) {
        if (i > 0) {
            pdf.setPageSize(QPageSize(pages.size(i) * 72.0 / kPdfResolution, QPageSize::Point));
            pdf.newPage();
        }
        pages.paint(painter, i);
    }
    return painter.end();
}

bool writePng(const Pages &pages, const QString &path)
{
    const QSizeF page = pages.size(0);
    const double scale = std::min(kPngScale, std::sqrt(kMaxPngPixels / (page.width() * page.height())));
    QImage image((page * scale).toSize(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    pages.paint(painter, 0);
    painter.end();
    return image.save(path, "PNG");
}

}  // namespace

DocxPreviewSummary docxPreviewSummary(const DocxDocument &doc)
{
    const Pages pages(doc);
    return {pages.count(), pages.partLines(DocxHFPart::Header), pages.partLines(DocxHFPart::Footer)};
}

DocxPreviewResult docxRenderPreview(const DocxDocument &doc, const QString &out)
{
    DocxPreviewResult result;
    const Pages pages(doc);
    if (pages.count() == 0) {
        result.error = QStringLiteral("the document has no body");
        return result;
    }
    result.pageBrought = pages.pageBrought();
    result.cutShort = pages.cutShort();
    const bool pdf = QFileInfo(out).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0;
    result.written = pdf ? writePdf(pages, out) : writePng(pages, out);
    result.pagesShown = pdf ? pages.count() : 1;
    return result;
}

