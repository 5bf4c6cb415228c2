// Arbitrary bytes as the body part of a package that also has styles,
// numbering, an image and a header: the document is opened, its whole body is
// turned into rich text, its headers and a section are rendered, and it is
// re-saved through rich text.
//
// Besides crashes, sanitizer reports and hangs, it stops when the re-saved body
// cannot be read again or no longer has the paragraphs it had.
#include "DocxDocument.h"
#include "DocxNamespaces.h"
#include "DocxPartTypes.h"
#include "DocxReader.h"
#include "DocxSectionHtml.h"
#include "DocxResave.h"
#include "DocxWriter.h"
#include "FuzzSupport.h"

#include <QTextDocument>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>

namespace {

[[noreturn]] void broken(const char *what)
{
    fuzz_support::broken("fuzz_richtext", what);
}

const char kStyles[] =
    "<w:styles xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
    "<w:style w:type=\"paragraph\" w:styleId=\"Heading1\"><w:basedOn w:val=\"Heading2\"/><w:pPr><w:outlineLvl w:val=\"0\"/>"
    "</w:pPr><w:rPr><w:b/><w:sz w:val=\"32\"/></w:rPr></w:style><w:style w:type=\"paragraph\" w:styleId=\"Heading2\">"
    "<w:basedOn w:val=\"Heading1\"/><w:pPr><w:numPr><w:numId w:val=\"1\"/></w:numPr></w:pPr></w:style></w:styles>";
const char kNumbering[] =
    "<w:numbering xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
    "<w:abstractNum w:abstractNumId=\"0\"><w:lvl w:ilvl=\"0\"><w:start w:val=\"1\"/><w:numFmt w:val=\"upperRoman\"/>"
    "<w:lvlText w:val=\"%1.%2.%9\"/></w:lvl><w:lvl w:ilvl=\"1\"><w:numFmt w:val=\"bullet\"/><w:lvlText w:val=\"\xEF\x82\xB7\"/>"
    "<w:rPr><w:rFonts w:ascii=\"Symbol\"/></w:rPr></w:lvl></w:abstractNum>"
    "<w:num w:numId=\"1\"><w:abstractNumId w:val=\"0\"/><w:lvlOverride w:ilvl=\"0\"><w:startOverride w:val=\"4\"/>"
    "</w:lvlOverride></w:num></w:numbering>";
// The main part's relationships: the image, an external link and the header.
QByteArray relationships()
{
    return QByteArray("<Relationships xmlns=\"") + kNsPackageRels + "\">" + "<Relationship Id=\"rId1\" Type=\""
        + kRelTypeImage + "\" Target=\"media/image1.png\"/><Relationship Id=\"rId2\" Type=\"" + kRelTypeHyperlink
        + "\" Target=\"https://a.example/\" TargetMode=\"External\"/><Relationship Id=\"rId3\" Type=\""
        + kRelTypeHeader + "\" Target=\"header1.xml\"/></Relationships>";
}
const char kHeader[] =
    "<w:hdr xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:p><w:r><w:t>H</w:t></w:r>"
    "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText> PAGE </w:instrText></w:r></w:p></w:hdr>";

QByteArray pngBytes()
{
    return QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAIAAAACCAIAAAD91JpzAAAAFklEQVR4nGP8z8DAwMDAxMDAwMDAAAA"
                                  "NHQEDasKb6QAAAABJRU5ErkJggg==");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz_support::startGuiApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const DocxEntryMap parts = {
        {"word/document.xml", QByteArray(reinterpret_cast<const char *>(data), qsizetype(size))},
        {"word/styles.xml", kStyles},
        {"word/numbering.xml", kNumbering},
        {"word/_rels/document.xml.rels", relationships()},
        {"word/header1.xml", kHeader},
        {"word/media/image1.png", pngBytes()},
    };
    const std::unique_ptr<DocxDocument> opened = DocxDocument::fromEntries(QString(), parts);
    if (!opened->isValid())
        return 0;
    DocxDocument &doc = *opened;

    QTextDocument qd;
    DocxReader::populate(doc, {QString(), 0, std::numeric_limits<int>::max()}, &qd);
    const DocxReader::DocxHFSet hf = DocxReader::readHeadersFooters(doc);
    for (QTextDocument *part : {hf.defaultHdr, hf.evenHdr, hf.firstHdr, hf.defaultFtr, hf.evenFtr, hf.firstFtr})
        delete part;
    renderSectionHtml(doc, QString());

    const int paragraphs = doc.body().paragraphCount();
    if (!docxResave(doc))
        broken("re-save failed on a body that opened");
    doc.body().store();
    const std::unique_ptr<DocxDocument> again = DocxDocument::fromEntries(QString(), doc.package().entries());
    if (!again->isValid())
        broken("re-saved body does not load");
    if (again->body().paragraphCount() != paragraphs)
        broken("re-save changed the number of paragraphs");
    return 0;
}
