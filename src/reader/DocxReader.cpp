#include "DocxReader.h"

#include "DocxLog.h"
#include "DocxNamespaces.h"

namespace {

constexpr char kBlankContentTypes[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/word/document.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>";
constexpr char kBlankRootRels[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
    "Target=\"word/document.xml\"/></Relationships>";
constexpr char kBlankDocumentRels[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"></Relationships>";
constexpr char kBlankDocument[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>"
    "<w:p><w:pPr><w:pStyle w:val=\"Normal\"/></w:pPr><w:r><w:t xml:space=\"preserve\"></w:t></w:r></w:p>"
    "<w:sectPr><w:pgSz w:w=\"12240\" w:h=\"15840\"/>"
    "<w:pgMar w:top=\"1440\" w:right=\"1440\" w:bottom=\"1440\" w:left=\"1440\"/></w:sectPr></w:body></w:document>";

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
        {QString::fromLatin1(kPartContentTypes), QByteArray(kBlankContentTypes)},
        {QString::fromLatin1(kPartRootRels), QByteArray(kBlankRootRels)},
        {doc->mainRelsPart(), QByteArray(kBlankDocumentRels)},
        {doc->mainPart, QByteArray(kBlankDocument)},
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
