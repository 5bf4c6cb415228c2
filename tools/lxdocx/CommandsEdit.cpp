// page, header, footer, props: edits through the C interface, in place or to -o OUT.
#include "Cli.h"

#include <lorvexdocx.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <sstream>

namespace {

constexpr double kTwipsPerCm = 1440.0 / 2.54;
const char *const kPropertyKeys[] = {"title", "author", "subject", "description", "keywords", "category"};
// The margin options, each with the margin it sets, in the order page setup lists them.
struct MarginOption
{
    const char *option;
    int DocxMargins::*field;
    const char *name() const { return option + 2; }  // "--top" -> "top"
};
const MarginOption kMarginOptions[] = {
    {"--top", &DocxMargins::top},       {"--bottom", &DocxMargins::bottom}, {"--left", &DocxMargins::left},
    {"--right", &DocxMargins::right},   {"--header", &DocxMargins::header}, {"--footer", &DocxMargins::footer},
    {"--gutter", &DocxMargins::gutter},
};

// "1440", "2.5cm", "25mm", "1in", "72pt" to twips; false when unreadable.
bool parseLength(const std::string &text, int &twips)
{
    double value = 0;
    std::string unit;
    std::istringstream in(text);
    if (!(in >> value))
        return false;
    in >> unit;
    const double factor = unit.empty() ? 1.0
        : unit == "cm"                 ? kTwipsPerCm
        : unit == "mm"                 ? kTwipsPerCm / 10
        : unit == "in"                 ? 1440.0
        : unit == "pt"                 ? 20.0
                                       : -1.0;
    if (factor < 0 || !std::isfinite(value * factor) || std::fabs(value * factor) > 1e9)
        return false;
    twips = int(std::lround(value * factor));
    return true;
}

bool parseSwitch(const std::string &text, int &on)
{
    if (text == "on" || text == "1" || text == "yes")
        on = 1;
    else if (text == "off" || text == "0" || text == "no")
        on = 0;
    else
        return false;
    return true;
}

bool parseKind(const Args &args, int &kind)
{
    const std::string k = args.value("--kind", "default");
    kind = k == "default" ? LXDOCX_HF_DEFAULT : k == "even" ? LXDOCX_HF_EVEN : k == "first" ? LXDOCX_HF_FIRST : -1;
    return kind >= 0;
}

// --section N: the 1-based section of the command line as the library's
// 0-based index; the last section (-1) when not given. False when N is no
// whole number of 1 or more.
bool parseSection(const Args &args, int &section)
{
    section = -1;
    if (!args.has("--section"))
        return true;
    const std::string text = args.value("--section");
    char *end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || n < 1 || n > std::numeric_limits<int>::max())
        return false;
    section = int(n - 1);
    return true;
}

const char kSectionUsage[] = "--section takes a section number from 1";

std::string cm(int twips)
{
    std::ostringstream s;
    s << std::fixed << std::setprecision(2) << twips / kTwipsPerCm << " cm";
    return s.str();
}

}  // namespace

int saveEdits(DocxHandle *h, const Args &args)
{
    const std::string out = args.value("-o");
    const int ok = out.empty() ? lxDocx_save(h) : lxDocx_save_as(h, out.c_str());
    if (!ok)
        return failed("cannot save " + (out.empty() ? args.positional[0] : out), lxDocx_error(h));
    std::cout << "Saved " << (out.empty() ? args.positional[0] : out) << "\n";
    return ExitOk;
}

DocxHandle *openOrReport(const std::string &path)
{
    DocxHandle *h = lxDocx_open(path.c_str());
    if (!h)
        failed("cannot open " + path, lxDocx_error(nullptr));
    return h;
}

namespace {

// Which part a header or footer command works on.
enum class HFPart { Header, Footer };

int runHeaderOrFooter(const Args &args, HFPart part)
{
    const bool isHeader = part == HFPart::Header;
    int kind = 0, section = -1;
    if (!parseKind(args, kind))
        return usageError("--kind must be default, even or first");
    if (!parseSection(args, section))
        return usageError(kSectionUsage);
    if (args.has("--text") && args.has("--xml"))
        return usageError("give --text or --xml, not both");
    OpenDocument h(openOrReport(args.positional[0]));
    if (!h)
        return ExitFailed;
    std::string xml;
    if (args.has("--text")) {
        int len = 0;
        const char *built = lxDocx_build_hf_xml(isHeader, args.value("--text").c_str(),
                                                args.value("--align", "left").c_str(), &len);
        xml.assign(built, size_t(len));
    } else if (args.has("--xml")) {
        std::ifstream in(args.value("--xml"), std::ios::binary);
        if (!in)
            return failed("cannot read " + args.value("--xml"), nullptr);
        xml.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
        int len = 0;
        const char *part = isHeader ? lxDocx_get_section_header_xml(h.get(), section, kind, &len)
                                    : lxDocx_get_section_footer_xml(h.get(), section, kind, &len);
        if (!part && *lxDocx_error(h.get()))
            return failed("cannot read the section", lxDocx_error(h.get()));
        if (!part)
            return failed(std::string("no ") + args.value("--kind", "default") + (isHeader ? " header" : " footer"),
                          nullptr);
        std::cout.write(part, len);
        std::cout << "\n";
        return ExitOk;
    }
    const int stored = isHeader ? lxDocx_set_section_header_xml(h.get(), section, kind, xml.data(), int(xml.size()))
                                : lxDocx_set_section_footer_xml(h.get(), section, kind, xml.data(), int(xml.size()));
    if (!stored)
        return failed(std::string("cannot store the ") + (isHeader ? "header" : "footer"), lxDocx_error(h.get()));
    return saveEdits(h.get(), args);
}

// The margins of a section, through the C interface; false (with the
// library's text) when there is no such section.
bool marginsOf(DocxHandle *h, int section, DocxMargins &m)
{
    int mirror = 0;
    if (!lxDocx_get_section_margins(h, section, &m.top, &m.bottom, &m.left, &m.right, &m.header, &m.footer,
                                    &m.gutter, &mirror))
        return false;
    m.mirror = mirror != 0;
    return true;
}

std::string sectionLabel(int section)
{
    return section < 0 ? std::string("last section") : "section " + std::to_string(section + 1);
}

// Width, height and orientation as the page options ask, from the section's
// size `read` (0 by 0 when it has none): a new orientation alone turns the
// page (swapping width and height).
bool pageSizeAsked(const Args &args, int read[3], int size[3])
{
    for (int i = 0; i < 3; ++i)
        size[i] = read[i];
    if (args.has("--orientation")) {
        const std::string o = args.value("--orientation");
        if (o != "portrait" && o != "landscape")
            return false;
        size[2] = o == "landscape" ? 1 : 0;
        if (size[2] != read[2] && !args.has("--width") && !args.has("--height"))
            std::swap(size[0], size[1]);
    }
    return (!args.has("--width") || parseLength(args.value("--width"), size[0]))
        && (!args.has("--height") || parseLength(args.value("--height"), size[1]));
}

}  // namespace

PageSetupView pageSetupOf(DocxHandle *h, int section)
{
    PageSetupView p;
    p.section = section;
    marginsOf(h, section, p.margins);
    p.hasSize = lxDocx_get_page_size(h, section, &p.width, &p.height, &p.landscape) != 0;
    p.titlePage = lxDocx_get_section_title_page(h, section) != 0;
    p.evenAndOdd = lxDocx_get_even_and_odd(h) != 0;
    return p;
}

void printPageSetup(const PageSetupView &p)
{
    std::cout << "Page setup (" << sectionLabel(p.section) << "):\n";
    if (p.hasSize)
        std::cout << "  page    " << p.width << " x " << p.height << " twips  " << cm(p.width) << " x "
                  << cm(p.height) << "  " << (p.landscape ? "landscape" : "portrait") << "\n";
    for (const MarginOption &m : kMarginOptions) {
        const int twips = p.margins.*m.field;
        std::cout << "  " << std::left << std::setw(8) << m.name() << std::right << std::setw(7) << twips
                  << " twips  " << cm(twips) << "\n";
    }
    std::cout << "  mirror margins: " << (p.margins.mirror ? "yes" : "no") << "\n"
              << "  title page: " << (p.titlePage ? "yes" : "no") << "\n"
              << "  even/odd headers: " << (p.evenAndOdd ? "yes" : "no") << "\n";
}

void printProperties(const std::function<std::string(const char *key)> &valueOf)
{
    std::cout << "Properties:\n";
    for (const char *key : kPropertyKeys)
        std::cout << "  " << std::left << std::setw(12) << key << std::right << valueOf(key) << "\n";
}

int runPage(const Args &args)
{
    DocxMargins given;  // what the margin options say
    bool changeMargins = false;
    for (const MarginOption &m : kMarginOptions) {
        if (args.has(m.option)) {
            changeMargins = true;
            if (!parseLength(args.value(m.option), given.*m.field))
                return usageError(std::string(m.option) + ": expected a length such as 1440, 2.5cm, 1in");
        }
    }
    int mirror = -1, titlePage = -1, evenOdd = -1, start = -1;
    if ((args.has("--mirror") && !parseSwitch(args.value("--mirror"), mirror))
        || (args.has("--title-page") && !parseSwitch(args.value("--title-page"), titlePage))
        || (args.has("--even-odd") && !parseSwitch(args.value("--even-odd"), evenOdd)))
        return usageError("switches take on or off");
    if (args.has("--page-start") && !parseLength(args.value("--page-start"), start))
        return usageError("--page-start: expected a number");
    int section = -1;
    if (!parseSection(args, section))
        return usageError(kSectionUsage);
    int noSize[3] = {0, 0, 0}, checked[3];
    if (!pageSizeAsked(args, noSize, checked))
        return usageError("--width and --height take lengths, --orientation portrait or landscape");
    const bool changeSize = args.has("--width") || args.has("--height") || args.has("--orientation");

    OpenDocument h(openOrReport(args.positional[0]));
    if (!h)
        return ExitFailed;
    const bool edits = changeMargins || mirror >= 0 || titlePage >= 0 || evenOdd >= 0 || args.has("--page-format")
        || args.has("--page-start") || changeSize;
    DocxMargins m;
    if (!marginsOf(h.get(), section, m))
        return failed("cannot read the " + sectionLabel(section), lxDocx_error(h.get()));
    if (!edits) {
        printPageSetup(pageSetupOf(h.get(), section));
        return ExitOk;
    }
    // Values not asked for are passed back as read: the library writes only what differs.
    if (changeMargins || mirror >= 0) {
        for (const MarginOption &o : kMarginOptions) {
            if (args.has(o.option))
                m.*o.field = given.*o.field;
        }
        if (mirror >= 0)
            m.mirror = mirror != 0;
        if (!lxDocx_set_section_margins(h.get(), section, m.top, m.bottom, m.left, m.right, m.header, m.footer,
                                        m.gutter, m.mirror ? 1 : 0))
            return failed("cannot set the margins", lxDocx_error(h.get()));
    }
    if (changeSize) {
        int read[3] = {0, 0, 0}, size[3];
        lxDocx_get_page_size(h.get(), section, &read[0], &read[1], &read[2]);
        pageSizeAsked(args, read, size);
        if (!lxDocx_set_page_size(h.get(), section, size[0], size[1], size[2]))
            return failed("cannot set the page size", lxDocx_error(h.get()));
    }
    if (titlePage >= 0 && !lxDocx_set_section_title_page(h.get(), section, titlePage))
        return failed("cannot set the title page", lxDocx_error(h.get()));
    if (evenOdd >= 0 && !lxDocx_set_even_and_odd(h.get(), evenOdd))
        return failed("cannot set even/odd headers", lxDocx_error(h.get()));
    if ((args.has("--page-format") || args.has("--page-start"))
        && !lxDocx_set_section_page_number_format(h.get(), section, args.value("--page-format", "decimal").c_str(),
                                                  start))
        return failed("cannot set the page-number format", lxDocx_error(h.get()));
    return saveEdits(h.get(), args);
}

int runHeader(const Args &args) { return runHeaderOrFooter(args, HFPart::Header); }
int runFooter(const Args &args) { return runHeaderOrFooter(args, HFPart::Footer); }

int runProps(const Args &args)
{
    OpenDocument h(openOrReport(args.positional[0]));
    if (!h)
        return ExitFailed;
    if (!args.has("--set")) {
        printProperties([&](const char *key) { return std::string(lxDocx_get_doc_property(h.get(), key)); });
        return ExitOk;
    }
    for (const std::string &assignment : args.options.at("--set")) {
        const size_t eq = assignment.find('=');
        if (eq == std::string::npos || eq == 0)
            return usageError("--set takes key=value");
        const std::string key = assignment.substr(0, eq);
        if (!lxDocx_set_doc_property(h.get(), key.c_str(), assignment.substr(eq + 1).c_str()))
            return failed("cannot set " + key, lxDocx_error(h.get()));
    }
    return saveEdits(h.get(), args);
}
