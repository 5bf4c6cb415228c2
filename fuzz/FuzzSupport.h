#pragma once
// What the fuzzers share: Qt kept quiet, a GUI application for those that
// build rich text, and the stop on a broken promise.
#include <QGuiApplication>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace fuzz_support {

inline void dropMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

// Drops Qt's messages: the library warns about every odd input.
inline void quietQt() { qInstallMessageHandler(dropMessage); }

// quietQt(), and a GUI application on the offscreen platform that lives as
// long as the process.
inline void startGuiApplication(int *argc, char ***argv)
{
    quietQt();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QGuiApplication(*argc, *argv);
}

// Stops the fuzzer on a broken promise, saying "<fuzzer>: <what>[: <detail>]".
[[noreturn]] inline void broken(const char *fuzzer, const char *what, const QString &detail = QString())
{
    if (detail.isEmpty())
        std::fprintf(stderr, "%s: %s\n", fuzzer, what);
    else
        std::fprintf(stderr, "%s: %s: %s\n", fuzzer, what, qPrintable(detail));
    std::abort();
}

}  // namespace fuzz_support
