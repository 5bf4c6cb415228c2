// Finding the parts that hold a document's text.
#include "DocxStories.h"

#include "DocxPartTypes.h"

#include <QSet>

#include <algorithm>

namespace {

bool isStoryRel(const QString &type)
{
    const QString t = transitionalRelType(type);
    for (const char *story : {kRelTypeHeader, kRelTypeFooter, kRelTypeFootnotes, kRelTypeEndnotes, kRelTypeComments}) {
        if (t == QLatin1String(story))
            return true;
    }
    return false;
}

}  // namespace

QStringList docxStoryParts(const DocxDocument &doc)
{
    const DocxPackage &package = doc.package();
    const QList<QString> related = package.relationships().relatedParts(package.mainPart(), isStoryRel).values();
    QStringList others = QSet<QString>(related.cbegin(), related.cend()).values();
    others.removeAll(package.mainPart());
    std::sort(others.begin(), others.end());
    return QStringList{package.mainPart()} + others;
}
