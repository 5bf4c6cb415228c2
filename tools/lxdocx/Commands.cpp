// The table of lxdocx subcommands.
#include "Cli.h"

#include <lorvexdocx.h>

#include <limits>

int runInfo(const Args &);
int runNew(const Args &);
int runCopy(const Args &);
int runPage(const Args &);
int runHeader(const Args &);
int runFooter(const Args &);
int runProps(const Args &);
int runReplace(const Args &);
int runRender(const Args &);
int runFromHtml(const Args &);
int runSetBody(const Args &);
int runResave(const Args &);
int runToHtml(const Args &);
int runPreview(const Args &);
int runText(const Args &);

OpenDocument::~OpenDocument()
{
    lxDocx_close(h_);
}

const std::vector<Command> &commands()
{
    static const std::vector<Command> table = {
        {"info", "FILE", "Shows whether FILE opens, its parts with sizes, its sections (page size, orientation, margins, header "
         "and footer parts), its paragraph count and first headings.",
         {}, 1, 1, runInfo},
        {"new", "FILE", "Writes a blank document to FILE.", {}, 1, 1, runNew},
        {"copy", "SRC DST", "Opens SRC and saves it as DST.", {}, 2, 2, runCopy},
        {"page",
         "FILE [--section N] [--top L] [--bottom L] [--left L] [--right L] [--header L] [--footer L] [--gutter L] "
         "[--width L] [--height L] [--orientation portrait|landscape] "
         "[--mirror on|off] [--title-page on|off] [--even-odd on|off] [--page-format FMT] [--page-start N] [-o OUT]",
         "Prints the page setup of section N (from 1; the last by default), or changes only what is given (lengths "
         "in twips or with cm, mm, in, pt; a new orientation alone turns the page).",
         {{"--section", true}, {"--top", true}, {"--bottom", true}, {"--left", true}, {"--right", true},
          {"--header", true}, {"--footer", true}, {"--gutter", true}, {"--width", true}, {"--height", true},
          {"--orientation", true}, {"--mirror", true}, {"--title-page", true}, {"--even-odd", true},
          {"--page-format", true}, {"--page-start", true}, {"-o", true}},
         1, 1, runPage},
        {"header",
         "FILE [--section N] [--kind default|even|first] [--text TEXT [--align A] | --xml PART.xml] [-o OUT]",
         "Prints the header part section N (from 1; the last by default) shows, or stores one for it built from "
         "TEXT (tokens {PAGE} {NUMPAGES} {TITLE} {CHAPTER} {AUTHOR}) or given as XML.",
         {{"--section", true}, {"--kind", true}, {"--text", true}, {"--align", true}, {"--xml", true}, {"-o", true}},
         1, 1, runHeader},
        {"footer",
         "FILE [--section N] [--kind default|even|first] [--text TEXT [--align A] | --xml PART.xml] [-o OUT]",
         "The same for footers.",
         {{"--section", true}, {"--kind", true}, {"--text", true}, {"--align", true}, {"--xml", true}, {"-o", true}},
         1, 1, runFooter},
        {"props", "FILE [--set KEY=VALUE]... [-o OUT]",
         "Prints title, author, subject, description, keywords and category, or sets them.",
         {{"--set", true}, {"-o", true}}, 1, 1, runProps},
        {"replace", "FILE FIND REPLACEMENT [--regex] [--match-case] [--whole-word] [-o OUT]",
         "Replaces FIND with REPLACEMENT in the body, tables, text boxes, headers, footers, notes and comments, "
         "keeping the formatting of each match's first character, and prints how many were replaced (\\1 in "
         "REPLACEMENT is a group of a --regex).",
         {{"--regex", false}, {"--match-case", false}, {"--whole-word", false}, {"-o", true}}, 3, 3, runReplace},
        {"render", "TEMPLATE.docx DATA.json OUT.docx [--strict] [--resources DIR]",
         "Fills the tags of TEMPLATE.docx ({{ name }}, {% if %}, {% for %}, {%tr for %} and the like) with the "
         "JSON object in DATA.json and writes OUT.docx (a list of objects: OUT-1.docx, OUT-2.docx, ... from the "
         "template opened once); --strict fails on a name the data lacks. Pictures of image and HTML values are "
         "read only inside DIR, by default DATA.json's folder.",
         {{"--strict", false}, {"--resources", true}}, 3, 3, runRender},
        {"from-html", "IN.html OUT.docx [--resources DIR]",
         "Writes a new document whose body is the HTML page IN.html (pictures in DIR, by default IN.html's folder, embedded).",
         {{"--resources", true}}, 2, 2, runFromHtml},
        {"set-body", "FILE IN.html [-o OUT] [--resources DIR]",
         "Puts the content of IN.html in the place of the first paragraph of FILE's body (pictures as from-html).",
         {{"-o", true}, {"--resources", true}}, 2, 2, runSetBody},
        {"resave", "SRC DST",
         "Converts every body paragraph of SRC to rich text and writes it back from there, saving as DST.", {}, 2,
         2, runResave},
        {"to-html", "FILE [--section TITLE]",
         "Prints the section under the heading TITLE (or the whole document) as an HTML page in UTF-8: headings, "
         "list labels, tables, pictures, links, tabs and field results as the library reads them.",
         {{"--section", true}}, 1, 1, runToHtml},
        {"text", "FILE... [--json [--pages]]",
         "Prints what the library reads of each FILE block by block (list labels, table cells, [picture] where a "
         "picture stands); --json gives one object per file with its links, --pages adds the preview's page count "
         "and the lines of the headers and footers of its sections.",
         {{"--json", false}, {"--pages", false}}, 1, std::numeric_limits<int>::max(), runText},
        {"preview", "FILE OUT.pdf|OUT.png",
         "Lays out what the library reads of FILE (pages, margins, headers and footers) as a PDF, or a PNG of "
         "page one.",
         {}, 2, 2, runPreview},
    };
    return table;
}
