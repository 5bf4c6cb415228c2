// Packing a package's parts into its archive, in the order DOCX consumers expect.
#include "DocxDocument.h"
#include "DocxNamespaces.h"

bool packZip(const DocxDocument &doc, const QString &path, QString &err)
{
    const QStringList order = {
        QString::fromLatin1(kPartContentTypes), QString::fromLatin1(kPartRootRels),
        doc.mainRelsPart(),                     doc.mainPart,
        QString::fromLatin1(kPartStyles),       QString::fromLatin1(kPartSettings),
    };
    return docxZipWrite(doc.entries, order, path, err, &doc.source);
}
