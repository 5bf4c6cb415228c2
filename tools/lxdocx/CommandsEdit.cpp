// page, header, footer, props: edits through the C interface, in place or to -o OUT.
#include "Cli.h"

#include <lorvexdocx.h>

#include <cmath>
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
    int kind = 0;
    if (!parseKind(args, kind))
        return usageError("--kind must be default, even or first");
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
        const char *part = isHeader ? lxDocx_get_header_xml(h.get(), kind, &len)
                                    : lxDocx_get_footer_xml(h.get(), kind, &len);
        if (!part)
            return failed(std::string("no ") + args.value("--kind", "default") + (isHeader ? " header" : " footer"),
                          nullptr);
        std::cout.write(part, len);
        std::cout << "\n";
        return ExitOk;
    }
    const int stored = isHeader ? lxDocx_set_header_xml(h.get(), kind, xml.data(), int(xml.size()))
                                : lxDocx_set_footer_xml(h.get(), kind, xml.data(), int(xml.size()));
    if (!stored)
        return failed(std::string("cannot store the ") + (isHeader ? "header" : "footer"), lxDocx_error(h.get()));
    return saveEdits(h.get(), args);
}

// The margins of the last section, through the C interface.
DocxMargins marginsOf(DocxHandle *h)
{
    DocxMargins m;
    int mirror = 0;
    lxDocx_get_margins(h, &m.top, &m.bottom, &m.left, &m.right, &m.header, &m.footer, &m.gutter, &mirror);
    m.mirror = mirror != 0;
    return m;
}

}  // namespace

PageSetupView pageSetupOf(DocxHandle *h)
{
    PageSetupView p;
    p.margins = marginsOf(h);
    p.titlePage = lxDocx_get_title_page(h) != 0;
    p.evenAndOdd = lxDocx_get_even_and_odd(h) != 0;
    return p;
}

void printPageSetup(const PageSetupView &p)
{
    std::cout << "Page setup (last section):\n";
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

    OpenDocument h(openOrReport(args.positional[0]));
    if (!h)
        return ExitFailed;
    const bool edits = changeMargins || mirror >= 0 || titlePage >= 0 || evenOdd >= 0 || args.has("--page-format")
        || args.has("--page-start");
    if (!edits) {
        printPageSetup(pageSetupOf(h.get()));
        return ExitOk;
    }
    if (changeMargins || mirror >= 0) {
        DocxMargins m = marginsOf(h.get());
        for (const MarginOption &o : kMarginOptions) {
            if (args.has(o.option))
                m.*o.field = given.*o.field;
        }
        if (mirror >= 0)
            m.mirror = mirror != 0;
        if (!lxDocx_set_margins(h.get(), m.top, m.bottom, m.left, m.right, m.header, m.footer, m.gutter,
                                m.mirror ? 1 : 0))
            return failed("cannot set the margins", lxDocx_error(h.get()));
    }
    if (titlePage >= 0 && !lxDocx_set_title_page(h.get(), titlePage))
        return failed("cannot set the title page", lxDocx_error(h.get()));
    if (evenOdd >= 0 && !lxDocx_set_even_and_odd(h.get(), evenOdd))
        return failed("cannot set even/odd headers", lxDocx_error(h.get()));
    if ((args.has("--page-format") || args.has("--page-start"))
        && !lxDocx_set_page_number_format(h.get(), args.value("--page-format", "decimal").c_str(), start))
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
