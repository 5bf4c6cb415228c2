#pragma once
// Shared helpers of the tests: the corpus, packages built in memory, files, the independent checkers, memory use.
#include "DocxZip.h"

#include <QTemporaryDir>

#include <utility>
#include <vector>

namespace testing_support {

#if LXDOCX_SANITIZED  // frames, memory and address space cost several times more under the sanitizer
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif

// The folder of the corpus of real documents (LXDOCX_CORPUS_DIR from the environment, else as configured) and its
// .docx files, sorted by name; empty when there is none.
QString corpusDir();
QStringList corpusFiles();
using Members = std::vector<std::pair<QByteArray, QByteArray>>;  // (name, bytes) of a package
// A stored-only ZIP archive of the members in the given order; no checks, so
// tests can also build malformed archives by editing the result.
QByteArray makeZip(const Members &members);
// A minimal valid package whose document part is `documentXml`.
QByteArray makePackage(const QByteArray &documentXml, const Members &extraParts = {});

// A WordprocessingML document part with `bodyXml` inside w:body; the root
// declares w, r, wp, a, pic and w14 (the last only named in mc:Ignorable).
QByteArray documentXml(const QByteArray &bodyXml);
bool writeFile(const QString &path, const QByteArray &bytes);
// The bytes of a file; a file that cannot be read fails the test.
QByteArray readFile(const QString &path);
// Entries of an archive file read by the library's own reader; an archive it refuses fails the test.
DocxEntryMap readEntries(const QString &path);

// Runs a program; returns its exit code (-1 when it crashed) and its standard output and error. A program that
// cannot start or does not finish in time fails the test.
int run(const QString &program, const QStringList &args, QString *out = nullptr, QString *err = nullptr,
        int timeoutMs = 600000);

// The system Python with python-docx, and `unzip`: empty when not installed; a script of tests/tools.
inline QString systemPython() { return QStringLiteral(LXDOCX_PYTHON); }
inline QString unzipProgram() { return QStringLiteral(LXDOCX_UNZIP); }
inline QString toolScript(const QString &name) { return QStringLiteral(LXDOCX_TOOLS_DIR "/") + name; }

// A memory figure of this process in KiB ("VmRSS", the peak "VmHWM"); -1 when unknown.
qint64 statusKb(const QByteArray &field);
// The peak (VmHWM) is counted from here on, from what the process holds once freed memory is given back.
void resetPeakMemory();

}  // namespace testing_support

// Skips a test that runs over the corpus when there is none, saying how to point at one.
#define LXDOCX_NEEDS_CORPUS()                                                                         \
    do {                                                                                             \
        if (testing_support::corpusFiles().isEmpty())                                                \
            GTEST_SKIP() << "No corpus of real documents: set LXDOCX_CORPUS_DIR to a folder of .docx " \
                            "files (when configuring, or when running the tests)";                  \
    } while (0)
