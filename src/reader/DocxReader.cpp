#include "DocxReader.h"

#include "DocxLog.h"
#include "DocxNamespaces.h"
#include "DocxPartTypes.h"
#include "DocxXml.h"

namespace {

// The parts of a blank document, each opened by the declaration and CRLF.
QByteArray blankContentTypes()
{
    return declaredXml(kCrlf, QByteArray("<Types xmlns=\"") + kNsContentTypes + "\">"
                                  + "<Default Extension=\"rels\" ContentType=\"" + kContentTypeRelationships + "\"/>"
                                  + "<Default Extension=\"xml\" ContentType=\"" + kContentTypeXml + "\"/>"
                                  + "<Override PartName=\"/word/document.xml\" ContentType=\"" + kContentTypeMainDocument
                                  + "\"/></Types>");
}

QByteArray blankRootRels()
{
    return declaredXml(kCrlf, QByteArray("<Relationships xmlns=\"") + kNsPackageRels + "\">"
                                  + "<Relationship Id=\"rId1\" Type=\"" + kRelTypeOfficeDocument
                                  + "\" Target=\"word/document.xml\"/></Relationships>");
}

QByteArray blankDocumentRels()
{
    return declaredXml(kCrlf, QByteArray("<Relationships xmlns=\"") + kNsPackageRels + "\"></Relationships>");
}

QByteArray blankDocument()
{
    return declaredXml(kCrlf, QByteArray("<w:document xmlns:w=\"") + kNsW + "\"><w:body>"
                                  + "<w:p><w:pPr><w:pStyle w:val=\"Normal\"/></w:pPr><w:r><w:t xml:space=\"preserve\"></w:t></w:r></w:p>"
                                  + "<w:sectPr><w:pgSz w:w=\"12240\" w:h=\"15840\"/>"
                                  + "<w:pgMar w:top=\"1440\" w:right=\"1440\" w:bottom=\"1440\" w:left=\"1440\"/></w:sectPr>"
                                  + "</w:body></w:document>");
}

// Makes a document of the parts in its entry map: finds the main part, checks
// its body and builds the index.
DocxDocument *loaded(DocxDocument *doc)
{
    if (doc->locateMainPart() && doc->loadBody()) {
        doc->buildIndex();
        doc->valid = true;
    }
    return doc;
}

}  // namespace

bool DocxReader::readArchive(const QString &path, DocxDocument &doc, QString &err)
{
    return docxZipRead(path, doc.entries, err, &doc.source);
}

DocxDocument *DocxReader::open(const QString &path)
{
    auto *doc = new DocxDocument;
    doc->path = path;
    QString err;
    if (!readArchive(path, *doc, err)) {
        doc->error = err;
        return doc;
    }
    return loaded(doc);
}

DocxDocument *DocxReader::blank(const QString &path)
{
    auto *doc = new DocxDocument;
    doc->path = path;
    doc->entries = {
        {QString::fromLatin1(kPartContentTypes), blankContentTypes()},
        {QString::fromLatin1(kPartRootRels), blankRootRels()},
        {doc->mainRelsPart(), blankDocumentRels()},
        {doc->mainPart, blankDocument()},
    };
    return loaded(doc);
}

DocxDocument *DocxReader::createBlank(const QString &path)
{
    DocxDocument *doc = blank(path);
    QString err;
    if (!packZip(*doc, path, err)) {
        readerWarning() << "createBlank:" << err;
        doc->valid = false;
        doc->error = err;
    }
    return doc;
}
