#include "DocxHtmlPage.h"

#include "DocxHtmlSources.h"

QString docxHtmlPage(QByteArrayView bytes, const QString &resourceFolder)
{
    const QString page = decodeHtml(bytes);
    return resourceFolder.isEmpty() ? page : inlineLocalImages(page, resourceFolder);
}
