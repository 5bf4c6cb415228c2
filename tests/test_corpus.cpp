// Real documents written by other tools: each opens or fails with one of the
// documented texts, and a copy holds the source's members byte for byte, as
// independent readers see them.
#include "DocxDocument.h"
#include "DocxHandle.h"
#include "TestSupport.h"

#include <lorvexdocx.h>

#include <QFileInfo>
#include <QHash>
#include <QMap>

#include <gtest/gtest.h>

#include <cstdio>

using namespace testing_support;

TEST(Corpus, OpensCopiesAndIndexesEveryDocument)
{
    LXDOCX_NEEDS_CORPUS();
    const QStringList files = corpusFiles();
    const QString python = systemPython(), unzip = unzipProgram();
    ASSERT_FALSE(python.isEmpty()) << "python3 with python-docx is needed";
    ASSERT_FALSE(unzip.isEmpty()) << "unzip is needed";
    QString err;
    ASSERT_EQ(run(python, {"-c", "import docx"}, nullptr, &err), 0) << err.toStdString();

    const QStringList documented = {"Cannot open: ", "Not a valid ZIP (EOCD not found)", "Corrupt ZIP: ",
                                    "Package too large", "Not a valid DOCX: missing word/document.xml",
                                    "XML parse error at line "};
    QTemporaryDir out;
    QStringList pairs;
    QMap<QString, QStringList> failed;  // documented text -> files
    for (int i = 0; i < files.size(); ++i) {
        const QString &src = files[i];
        const QString name = QFileInfo(src).fileName();
        DocxHandle *h = lxDocx_open(src.toUtf8().constData());
        if (!h) {
            const QString text = QString::fromUtf8(lxDocx_error(nullptr));
            QString kind;
            for (const QString &d : documented) {
                if (text.startsWith(d))
                    kind = d;
            }
            EXPECT_FALSE(kind.isEmpty()) << name.toStdString() << ": " << text.toStdString();
            failed[kind.isEmpty() ? text : kind] << name;
            continue;
        }
        // Building the index reads the body; it must not count as an edit.
        const int count = h->doc->paragraphCount();
        EXPECT_EQ(h->doc->paragraphInfoAt(count - 1).index, qMax(0, count - 1));
        const QString dst = out.filePath(QStringLiteral("%1.docx").arg(i));
        EXPECT_EQ(lxDocx_save_as(h, dst.toUtf8().constData()), 1) << name.toStdString();
        lxDocx_close(h);
        QString zipOut;
        EXPECT_EQ(run(unzip, {"-tqq", dst}, &zipOut), 0) << name.toStdString() << ": " << zipOut.toStdString();
        pairs << src << dst;
    }

    // One run of the checker over every copy. Each source is also checked
    // against itself: a copy may fail only exactly as its source fails (a few
    // sources are packages python-docx itself cannot read).
    QStringList args = {toolScript("check_docx.py"), "--same"};
    for (int i = 0; i < pairs.size(); i += 2)
        args << pairs[i] << pairs[i + 1] << pairs[i] << pairs[i];
    QString report;
    run(python, args, &report, &err);
    EXPECT_TRUE(report.contains(QStringLiteral("checked %1, failed").arg(pairs.size()))) << report.toStdString()
                                                                                         << err.toStdString();
    QHash<QString, QString> why;  // path -> failure
    for (const QString &line : report.split('\n')) {
        if (line.startsWith("FAIL ")) {
            const qsizetype colon = line.indexOf(": ", 5);
            why.insert(line.mid(5, colon - 5), line.mid(colon + 2));
        }
    }
    QStringList unreadable;
    for (int i = 0; i < pairs.size(); i += 2) {
        const QString &src = pairs[i], &dst = pairs[i + 1];
        // A source compared with itself also fails when it holds folder
        // entries (copies drop them): only a reader failure counts.
        QString expected = why.value(src);
        if (expected.startsWith("members differ: "))
            expected.clear();
        if (!expected.isEmpty())
            unreadable << QFileInfo(src).fileName();
        EXPECT_EQ(why.value(dst).toStdString(), expected.toStdString()) << QFileInfo(src).fileName().toStdString();
        EXPECT_EQ(readEntries(dst), readEntries(src)) << QFileInfo(src).fileName().toStdString();
    }

    EXPECT_LE(unreadable.size() * 10, pairs.size() / 2);  // the checker really read the copies

    std::printf("[ corpus   ] %d files: %d opened and copied\n", int(files.size()), int(pairs.size() / 2));
    for (auto it = failed.cbegin(); it != failed.cend(); ++it)
        std::printf("[ corpus   ] %d failed with \"%s\": %s\n", int(it->size()), qPrintable(it.key()),
                    qPrintable(it->join(QStringLiteral(", "))));
    if (!unreadable.isEmpty())
        std::printf("[ corpus   ] python-docx rejects %d sources and their copies alike: %s\n", int(unreadable.size()),
                    qPrintable(unreadable.join(QStringLiteral(", "))));
}
