// Packing a package's parts into its archive, in the order DOCX consumers expect.
#include "DocxDocument.h"
#include "DocxNamespaces.h"

bool packZip(const DocxEntryMap &entries, const QString &path, QString &err, const DocxZipSource *source)
{
    static const QStringList order = {
        QString::fromLatin1(kPartContentTypes), QString::fromLatin1(kPartRootRels),
        QString::fromLatin1(kPartDocumentRels), QString::fromLatin1(kPartDocument),
        QString::fromLatin1(kPartStyles),       QString::fromLatin1(kPartSettings),
    };
    return docxZipWrite(entries, order, path, err, source);
}
