#pragma once
// The lxdocx command line: parsed arguments and the table of subcommands.
#include "DocxReading.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

enum ExitCode { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };

struct OptionSpec
{
    const char *name;  // "--kind", "-o"
    bool takesValue;
};

struct Args
{
    std::vector<std::string> positional;
    std::map<std::string, std::vector<std::string>> options;  // every value of each option, in order

    bool has(const std::string &name) const { return options.count(name) > 0; }
    // The last value given for `name`, or `fallback`.
    std::string value(const std::string &name, const std::string &fallback = {}) const;
};

struct Command
{
    const char *name;
    const char *usage;    // arguments after the command name
    const char *summary;  // one line
    std::vector<OptionSpec> options;
    int minPositional;
    int maxPositional;
    int (*run)(const Args &);
};

// Every subcommand, in the order --help lists them.
const std::vector<Command> &commands();

// Reports a failure of the library (its error text) on stderr; returns ExitFailed.
int failed(const std::string &what, const char *libraryError);
// Reports a usage error on stderr; returns ExitUsage.
int usageError(const std::string &message);

struct DocxHandle;
// Opens `path`; null, with the failure reported, when it does not open.
DocxHandle *openOrReport(const std::string &path);
// Saves in place, or to -o OUT when given; reports a failure.
int saveEdits(DocxHandle *h, const Args &args);

// The margins and the two header switches of the last section.
struct PageSetupView
{
    DocxMargins margins;
    bool titlePage = false;
    bool evenAndOdd = false;
};
PageSetupView pageSetupOf(DocxHandle *h);
void printPageSetup(const PageSetupView &p);
// Prints the six core properties, each value as `valueOf` gives it.
void printProperties(const std::function<std::string(const char *key)> &valueOf);

// Closes the handle it holds.
class OpenDocument
{
public:
    explicit OpenDocument(DocxHandle *h) : h_(h) {}
    ~OpenDocument();
    OpenDocument(const OpenDocument &) = delete;
    OpenDocument &operator=(const OpenDocument &) = delete;
    DocxHandle *get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    DocxHandle *h_;
};
