// Opening, blank documents and saving; the parts a document is made of.
#include "DocxDocument.h"

#include "DocxLog.h"
#include "DocxNamespaces.h"
#include "DocxPartTypes.h"

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

// The parts of a blank document.
DocxEntryMap blankEntries()
{
    const QString mainPart = QString::fromLatin1(kPartDocument);
    return {
        {QString::fromLatin1(kPartContentTypes), blankContentTypes()},
        {QString::fromLatin1(kPartRootRels), blankRootRels()},
        {relationshipsPartOf(mainPart), blankDocumentRels()},
        {mainPart, blankDocument()},
    };
}

}  // namespace

// The parts, each constructed after those it reads.
struct DocxDocument::Parts
{
    DocxPackage package;
    DocxStyles styles{package};
    DocxNumbering numbering{package, styles};
    DocxBody body{package, styles};
    DocxSections sections{package, body};
    DocxHeadersFooters headersFooters{package, body};
    DocxCoreProperties coreProperties{package};
    bool valid = false;
    QString error;  // why the open, or the last save, failed

    // Makes a document of the parts in the entry map: finds the main part,
    // checks its body and builds the index.
    void load()
    {
        if (package.locateMainPart(error) && body.load(error)) {
            buildIndex();
            valid = true;
        }
    }

    void buildIndex()
    {
        styles.read();
        numbering.read();
        body.resetIndex();
    }
};

DocxDocument::DocxDocument() : parts_(std::make_unique<Parts>()) {}

DocxDocument::~DocxDocument() = default;

std::unique_ptr<DocxDocument> DocxDocument::open(const QString &path)
{
    std::unique_ptr<DocxDocument> doc(new DocxDocument);
    Parts &parts = *doc->parts_;
    parts.package.setPath(path);
    if (parts.package.read(path, parts.error))
        parts.load();
    return doc;
}

std::unique_ptr<DocxDocument> DocxDocument::fromEntries(const QString &path, const DocxEntryMap &entries)
{
    std::unique_ptr<DocxDocument> doc(new DocxDocument);
    Parts &parts = *doc->parts_;
    parts.package.setPath(path);
    parts.package.setEntries(entries);
    parts.load();
    return doc;
}

std::unique_ptr<DocxDocument> DocxDocument::copy()
{
    parts_->body.store();
    std::unique_ptr<DocxDocument> doc(new DocxDocument);
    doc->parts_->package.copyParts(parts_->package);
    doc->parts_->load();
    return doc;
}

std::unique_ptr<DocxDocument> DocxDocument::blank(const QString &path)
{
    return fromEntries(path, blankEntries());
}

std::unique_ptr<DocxDocument> DocxDocument::createBlank(const QString &path)
{
    std::unique_ptr<DocxDocument> doc = blank(path);
    Parts &parts = *doc->parts_;
    QString err;
    if (!parts.package.pack(path, err)) {
        documentWarning() << "createBlank:" << err;
        parts.valid = false;
        parts.error = err;
    }
    return doc;
}

bool DocxDocument::isValid() const { return parts_->valid; }

QString DocxDocument::errorString() const { return parts_->error; }

bool DocxDocument::save() { return saveAs(parts_->package.path()); }

bool DocxDocument::saveAs(const QString &path)
{
    parts_->body.store();
    QString err;
    if (!parts_->package.pack(path, err)) {
        documentWarning() << "save:" << err;
        parts_->error = err;
        return false;
    }
    return true;
}

void DocxDocument::buildIndex() { parts_->buildIndex(); }

DocxPackage &DocxDocument::package() { return parts_->package; }
const DocxPackage &DocxDocument::package() const { return parts_->package; }
DocxBody &DocxDocument::body() { return parts_->body; }
const DocxBody &DocxDocument::body() const { return parts_->body; }
DocxStyles &DocxDocument::styles() { return parts_->styles; }
const DocxStyles &DocxDocument::styles() const { return parts_->styles; }
DocxNumbering &DocxDocument::numbering() { return parts_->numbering; }
const DocxNumbering &DocxDocument::numbering() const { return parts_->numbering; }
DocxSections &DocxDocument::sections() { return parts_->sections; }
const DocxSections &DocxDocument::sections() const { return parts_->sections; }
DocxHeadersFooters &DocxDocument::headersFooters() { return parts_->headersFooters; }
const DocxHeadersFooters &DocxDocument::headersFooters() const { return parts_->headersFooters; }
DocxCoreProperties &DocxDocument::coreProperties() { return parts_->coreProperties; }
const DocxCoreProperties &DocxDocument::coreProperties() const { return parts_->coreProperties; }
