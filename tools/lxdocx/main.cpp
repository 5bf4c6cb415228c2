// lxdocx: a command-line host of the LorvexDocx library.
#include "Cli.h"

#include <lorvexdocx.h>

#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
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

// The GUI application object the library makes for rich text wants a private
// runtime folder and warns when the session has none; give it one.
void givePrivateRuntimeDir()
{
    if (std::getenv("XDG_RUNTIME_DIR"))
        return;
    const std::string dir = "/tmp/lxdocx-runtime-" + std::to_string(getuid());
    if (mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) {
        struct stat st;
        if (stat(dir.c_str(), &st) == 0 && st.st_uid == getuid() && (st.st_mode & 0777) == 0700)
            setenv("XDG_RUNTIME_DIR", dir.c_str(), 0);
    }
}

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
    // The library traces at debug level; a command line shows warnings only
    // unless the user asks for more with QT_LOGGING_RULES.
    setenv("QT_LOGGING_RULES", "*.debug=false", 0);
    givePrivateRuntimeDir();
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
