// info, new, copy: whole packages.
#include "Cli.h"

#include "DocxReading.h"

#include <lorvexdocx.h>

#include <QFile>

#include <iomanip>
#include <iostream>
#include <memory>

namespace {

constexpr int kHeadingsShown = 10;

void printParts(const DocxDocument &doc)
{
    std::cout << "Parts:\n";
    for (const QString &name : doc.package().source().order) {
        if (doc.package().entries().contains(name))
            std::cout << "  " << std::setw(10) << doc.package().entries().value(name).size() << "  "
                      << name.toStdString() << "\n";
    }
}

void printOutline(const DocxDocument &doc)
{
    std::cout << "Paragraphs: " << doc.body().paragraphCount() << "\n";
    int shown = 0;
    for (const DocxParaInfo &p : doc.body().paragraphInfo()) {
        if (p.headingLevel < 0)
            continue;
        if (shown == 0)
            std::cout << "Headings:\n";
        if (shown++ == kHeadingsShown) {
            std::cout << "  ...\n";
            break;
        }
        const int indent = qBound(0, p.headingLevel, 8);
        std::cout << "  " << std::string(size_t(indent) * 2, ' ') << "[" << p.headingLevel + 1 << "] "
                  << p.text.trimmed().toStdString() << "\n";
    }
}

PageSetupView pageSetupOf(const DocxDocument &doc, int section)
{
    const DocxSections &sections = doc.sections();
    PageSetupView p;
    p.section = section;
    p.margins = sections.margins(section);
    DocxPageSize size;
    p.hasSize = sections.pageSize(section, size);
    p.width = size.width;
    p.height = size.height;
    p.landscape = size.landscape ? 1 : 0;
    p.titlePage = sections.titlePage(section);
    p.evenAndOdd = sections.evenAndOddHeaders();
    return p;
}

// The header and footer parts a section shows, by kind; "(linked)" where the
// section has no reference of its own and shows the previous section's.
void printHeaderFooterParts(const DocxHeadersFooters &hf, int section)
{
    const std::pair<DocxHFPart, const char *> parts[] = {{DocxHFPart::Header, "header"},
                                                         {DocxHFPart::Footer, "footer"}};
    const std::pair<DocxHFKind, const char *> kinds[] = {
        {DocxHFKind::Default, "default"}, {DocxHFKind::Even, "even"}, {DocxHFKind::First, "first"}};
    for (const auto &[part, partName] : parts) {
        for (const auto &[kind, kindName] : kinds) {
            const QString shown = hf.shownPartName(part, kind, section);
            if (shown.isEmpty())
                continue;
            const bool linked = hf.findReference(part, kind, section).isEmpty();
            std::cout << "  " << partName << " " << kindName << ": " << shown.toStdString()
                      << (linked ? " (linked to the previous section)" : "") << "\n";
        }
    }
}

void printSections(const DocxDocument &doc)
{
    const int count = doc.sections().count();
    std::cout << "Sections: " << count << "\n";
    if (count == 0)
        printPageSetup(pageSetupOf(doc, kLastSection));
    for (int i = 0; i < count; ++i) {
        printPageSetup(pageSetupOf(doc, i));
        printHeaderFooterParts(doc.headersFooters(), i);
    }
}

}  // namespace

int runInfo(const Args &args)
{
    // The part list and the outline are not in the C interface: the package
    // is read once, through the model, for everything shown.
    const std::string path = args.positional[0];
    const std::unique_ptr<DocxDocument> doc = docxOpenForReading(QFile::decodeName(path.c_str()));
    std::cout << "File: " << path << "\n";
    if (!doc->isValid()) {
        std::cout << "Valid: no\n";
        return failed("cannot open " + path, doc->errorString().toUtf8().constData());
    }
    std::cout << "Valid: yes\n";
    printParts(*doc);
    const DocxCoreProperties &properties = doc->coreProperties();
    printProperties([&](const char *key) { return properties.value(QString::fromLatin1(key)).toStdString(); });
    printSections(*doc);
    QString why;
    if (!doc->body().treeFits(why))
        return failed("cannot count the paragraphs of " + path, why.toUtf8().constData());
    printOutline(*doc);
    return ExitOk;
}

int runNew(const Args &args)
{
    const std::string path = args.positional[0];
    OpenDocument h(lxDocx_create_blank(path.c_str()));
    if (!h)
        return failed("cannot create " + path, lxDocx_error(nullptr));
    std::cout << "Wrote " << path << "\n";
    return ExitOk;
}

int runCopy(const Args &args)
{
    const std::string &src = args.positional[0];
    const std::string &dst = args.positional[1];
    OpenDocument h(lxDocx_open(src.c_str()));
    if (!h)
        return failed("cannot open " + src, lxDocx_error(nullptr));
    if (!lxDocx_save_as(h.get(), dst.c_str()))
        return failed("cannot save " + dst, lxDocx_error(h.get()));
    std::cout << "Wrote " << dst << "\n";
    return ExitOk;
}
