// Arbitrary bytes as a template and its data: the bytes before the first NUL
// are the text of a body (a paragraph per line, the third line in a table
// cell, odd lines cut into two runs of different formatting as Word cuts
// tags), the bytes after it the JSON data. The document is rendered.
//
// Besides crashes, sanitizer reports and hangs, it stops when a render that
// succeeded leaves a body that is not well-formed, or one that failed
// changes the document.
#include "DocxDocument.h"
#include "DocxRenderTemplate.h"
#include "DocxXml.h"
#include "FuzzSupport.h"


#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

[[noreturn]] void broken(const char *what)
{
    fuzz_support::broken("fuzz_template", what);
}

QByteArray run(const QString &text, bool bold)
{
    return QByteArray("<w:r>") + (bold ? "<w:rPr><w:b/></w:rPr>" : "") + "<w:t xml:space=\"preserve\">"
        + escapeXmlText(text) + "</w:t></w:r>";
}

// A paragraph of `line`, cut in two runs at its middle on odd lines.
QByteArray paragraph(const QString &line, int index)
{
    if (index % 2 == 0)
        return "<w:p>" + run(line, false) + "</w:p>";
    const qsizetype half = line.size() / 2;
    return "<w:p>" + run(line.left(half), true) + run(line.mid(half), false) + "</w:p>";
}

QByteArray bodyOf(const QString &text)
{
    QByteArray body;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray p = paragraph(lines.at(i), i);
        body += i == 2 ? "<w:tbl><w:tr><w:tc>" + p + "</w:tc></w:tr></w:tbl>" : p;
    }
    return "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><w:body>"
        + body + "<w:sectPr/></w:body></w:document>";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz_support::startGuiApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype nul = input.indexOf('\0');
    const QString text = QString::fromUtf8(nul < 0 ? input : input.left(nul));
    const QByteArray json = nul < 0 ? QByteArray() : input.mid(nul + 1);
    const DocxEntryMap parts = {{"word/document.xml", bodyOf(text)}};
    const std::unique_ptr<DocxDocument> opened = DocxDocument::fromEntries(QString(), parts);
    if (!opened->isValid())
        return 0;
    DocxDocument &doc = *opened;
    QString err;
    const DocxTemplateFailure failure = docxRenderTemplate(doc, json, DocxTemplateOptions{}, err);
    doc.body().store();
    const QByteArray after = doc.package().entries().value(QStringLiteral("word/document.xml"));
    if (failure == DocxTemplateFailure::None && !checkWellFormed(after, err))
        broken("a render left a body that is not well-formed");
    if (failure != DocxTemplateFailure::None && after != parts.value(QStringLiteral("word/document.xml")))
        broken("a failed render changed the body");
    return 0;
}
