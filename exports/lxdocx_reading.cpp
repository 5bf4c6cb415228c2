// Reading a document: its text, its body as HTML, and its pages as a PDF or a PNG.
#include "DocxFrame.h"
#include "DocxHandle.h"
#include "DocxPreview.h"
#include "DocxSectionHtml.h"
#include "DocxText.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

static_assert(LXDOCX_RENDER_MAX_PAGES == kMaxPreviewPages, "the header names the preview's page limit");

namespace {

void put(int *out, int value)
{
    if (out)
        *out = value;
}

// Keeps `bytes` in `buffer` and hands out its data, NUL-terminated.
const char *hand(QByteArray &buffer, const QByteArray &bytes)
{
    buffer = bytes;
    return buffer.constData();
}

bool rendersAs(const QString &path, const char *suffix)
{
    return QFileInfo(path).suffix().compare(QLatin1String(suffix), Qt::CaseInsensitive) == 0;
}

// Why `path` could not be written, as far as the system says.
QString whyNotWritten(const QString &path)
{
    const bool existed = QFile::exists(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return QStringLiteral("Cannot write to: %1: %2").arg(path, file.errorString());
    file.close();
    if (!existed)
        file.remove();
    return QStringLiteral("Cannot write to: %1").arg(path);
}

DocxRenderRecord recordOf(const DocxPreviewResult &result)
{
    DocxRenderRecord record;
    record.laidOut = result.error.isEmpty();
    record.pages = record.laidOut ? result.pagesShown : 0;
    record.pageBrought = result.pageBrought;
    record.cutShort = result.cutShort;
    return record;
}

int render(DocxHandle *h, const QString &path)
{
    h->rendered = DocxRenderRecord();
    if (!rendersAs(path, "pdf") && !rendersAs(path, "png")) {
        recordFailure(h, QStringLiteral("Cannot render to %1: the name must end in .pdf or .png").arg(path));
        return 0;
    }
    const DocxPreviewResult result = docxRenderPreview(*h->doc, path);
    h->rendered = recordOf(result);
    if (!result.error.isEmpty()) {
        recordFailure(h, QStringLiteral("The document has no body to lay out"));
        return 0;
    }
    if (result.written)
        return 1;
    recordFailure(h, LXDOCX_ERR_IO, whyNotWritten(path));
    return 0;
}

}  // namespace

extern "C" {

LXDOCX_API const char *lxDocx_text(DocxHandle *h, int flags)
{
    return handleCall<const char *>(h, nullptr, "reading the text of the document", [&] {
        DocxTextParts parts;
        parts.headersFooters = (flags & LXDOCX_TEXT_HEADERS_FOOTERS) != 0;
        parts.notes = (flags & LXDOCX_TEXT_NOTES) != 0;
        if (flags & LXDOCX_TEXT_JSON)
            return hand(h->text, QJsonDocument(docxTextReport(*h->doc, parts)).toJson(QJsonDocument::Compact));
        return hand(h->text, docxTextLines(*h->doc, parts).toUtf8());
    });
}

LXDOCX_API const char *lxDocx_to_html(DocxHandle *h, const char *section_title)
{
    return handleCall<const char *>(h, nullptr, "writing the document as HTML", [&] {
        QByteArray html;
        writeSectionHtml(*h->doc, QString::fromUtf8(section_title),
                         [&html](const QByteArray &piece) { html += piece; });
        return hand(h->html, html);
    });
}

LXDOCX_API int lxDocx_render(DocxHandle *h, const char *path)
{
    return handleCall(h, 0, "laying out the pages of the document", [&] {
        if (!path || !*path) {
            h->rendered = DocxRenderRecord();
            recordFailure(h, QStringLiteral("No path given"));
            return 0;
        }
        return render(h, pathArgument(path));
    });
}

LXDOCX_API int lxDocx_get_render_result(DocxHandle *h, int *pages, int *page_brought, int *cut_short)
{
    for (int *out : {pages, page_brought, cut_short})
        put(out, 0);
    return handleCall(h, 0, "reading what the pages laid out", [&] {
        const DocxRenderRecord &r = h->rendered;
        put(pages, r.pages);
        put(page_brought, r.pageBrought ? 1 : 0);
        put(cut_short, r.cutShort ? 1 : 0);
        return r.laidOut ? 1 : 0;
    });
}

}  // extern "C"
