#include "DocxHtmlDocument.h"

#include <QImage>
#include <QUrl>

bool DocxHtmlDocument::takesImage(const QString &name)
{
    return name.startsWith(QLatin1String("data:"), Qt::CaseInsensitive);
}

QVariant DocxHtmlDocument::loadResource(int type, const QUrl &name)
{
    if (name.scheme().compare(QLatin1String("data"), Qt::CaseInsensitive) == 0)
        return QTextDocument::loadResource(type, name);
    if (type != QTextDocument::ImageResource)
        return QString();  // style sheets are not fetched either
    // A transparent pixel in its place, so that nothing looks for the file.
    QImage stand(1, 1, QImage::Format_ARGB32);
    stand.fill(Qt::transparent);
    return stand;
}
