#include "DocxWriter.h"

#include "DocxLog.h"
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

void DocxWriter::storeDocumentXml(DocxDocument &doc)
{
    doc.storeBody();
}

bool DocxWriter::saveVersion(DocxDocument &doc, const QString &path)
{
    storeDocumentXml(doc);
    QString err;
    if (!packZip(doc.entries, path, err, &doc.source)) {
        writerWarning() << "DocxWriter::saveVersion failed:" << err;
        return false;
    }
    return true;
}

bool DocxWriter::save(DocxDocument &doc)
{
    return saveVersion(doc, doc.path);
}
