#pragma once
// Shared helpers of the test suite: temporary folders, the corpus, building
// packages in memory and running the independent checkers.
#include "DocxZip_Qt.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <utility>
#include <vector>

namespace testing_support {

// The folder of the corpus of real documents: LXDOCX_CORPUS_DIR from the
// environment, else as configured; empty when there is none.
QString corpusDir();
// Every .docx file of the corpus, sorted by name; empty without a corpus.
QStringList corpusFiles();

// A stored-only ZIP archive of (name, bytes) in the given order; no checks, so
// tests can also build malformed archives by editing the result.
QByteArray makeZip(const std::vector<std::pair<QByteArray, QByteArray>> &members);

// A minimal valid package whose document part is `documentXml`.
QByteArray makePackage(const QByteArray &documentXml,
                       const std::vector<std::pair<QByteArray, QByteArray>> &extraParts = {});

// A WordprocessingML document part with `bodyXml` inside w:body; the root
// declares w, r, wp, a, pic and w14 (the last only named in mc:Ignorable).
QByteArray documentXml(const QByteArray &bodyXml);

bool writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);

// Entries of an archive file read by the library's own reader ("" on failure).
DocxEntryMap readEntries(const QString &path);

// Runs a program; returns its exit code (-1 when it could not start) and its
// standard output and error.
int run(const QString &program, const QStringList &args, QString *out = nullptr, QString *err = nullptr,
        int timeoutMs = 600000);

// The system Python with python-docx, and `unzip`: empty when not installed.
QString systemPython();
QString unzipProgram();
// A script of tests/tools.
QString toolScript(const QString &name);

}  // namespace testing_support

// Skips a test that runs over the corpus when there is none, saying how to
// point at one.
#define LXDOCX_NEEDS_CORPUS()                                                                         \
    do {                                                                                             \
        if (testing_support::corpusFiles().isEmpty())                                                \
            GTEST_SKIP() << "No corpus of real documents: set LXDOCX_CORPUS_DIR to a folder of .docx " \
                            "files (when configuring, or when running the tests)";                  \
    } while (0)
