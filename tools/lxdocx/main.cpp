// lxdocx: a command-line host of the LorvexDocx library.
#include "Cli.h"

#include <lorvexdocx.h>

#include <cstdlib>
#include <string>
#include <iostream>

std::string Args::value(const std::string &name, const std::string &fallback) const
{
    const auto it = options.find(name);
    return it == options.end() || it->second.empty() ? fallback : it->second.back();
}

int failed(const std::string &what, const char *libraryError)
{
    std::cerr << "lxdocx: " << what;
    if (libraryError && *libraryError)
        std::cerr << ": " << libraryError;
    std::cerr << '\n';
    return ExitFailed;
}

int usageError(const std::string &message)
{
    std::cerr << "lxdocx: " << message << "\nTry 'lxdocx --help'.\n";
    return ExitUsage;
}

namespace {

void printHelp()
{
    std::cout << "Usage: lxdocx COMMAND [ARGS]\n\n"
                 "Opens, inspects and edits DOCX documents with the LorvexDocx library "
              << lxDocx_version() << ".\n\nCommands:\n";
    for (const Command &c : commands()) {
        std::string line = std::string("  ") + c.name + " " + c.usage;
        std::cout << line << "\n      " << c.summary << "\n";
    }
    std::cout << "\nExit status: 0 done, 1 the library reported a failure (its text on stderr), 2 usage error.\n";
}

const OptionSpec *findOption(const Command &c, const std::string &arg)
{
    for (const OptionSpec &o : c.options) {
        if (arg == o.name)
            return &o;
    }
    return nullptr;
}

int runCommand(const Command &c, int argc, char **argv)
{
    Args args;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << "Usage: lxdocx " << c.name << " " << c.usage << "\n" << c.summary << "\n";
            return ExitOk;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            const OptionSpec *o = findOption(c, arg);
            if (!o)
                return usageError(std::string(c.name) + ": unknown option " + arg);
            if (!o->takesValue) {
                args.options[arg].push_back("1");
                continue;
            }
            if (i + 1 >= argc)
                return usageError(std::string(c.name) + ": " + arg + " needs a value");
            args.options[arg].push_back(argv[++i]);
            continue;
        }
        args.positional.push_back(arg);
    }
    const int n = int(args.positional.size());
    if (n < c.minPositional || n > c.maxPositional)
        return usageError(std::string("usage: lxdocx ") + c.name + " " + c.usage);
    return c.run(args);
}

}  // namespace

int main(int argc, char **argv)
{
    // Every failure's text reaches stderr through the library's error text;
    // its own warnings would say the same again. Rules the user gives come
    // later and win.
    const char *userRules = std::getenv("QT_LOGGING_RULES");
    const std::string rules = std::string("lorvexdocx.*.warning=false") + (userRules ? ";" : "") + (userRules ? userRules : "");
    setenv("QT_LOGGING_RULES", rules.c_str(), 1);
    if (argc < 2)
        return usageError("no command given");
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printHelp();
        return ExitOk;
    }
    if (name == "--version") {
        std::cout << "lxdocx " << lxDocx_version() << "\n";
        return ExitOk;
    }
    for (const Command &c : commands()) {
        if (name == c.name)
            return runCommand(c, argc - 2, argv + 2);
    }
    return usageError("unknown command '" + name + "'");
}
