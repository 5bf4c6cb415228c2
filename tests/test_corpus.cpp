// Real documents written by other tools: each opens or fails with one of the documented texts, and a copy holds the
// source's members byte for byte, as independent readers see them.
#include "DocxDocument.h"
#include "DocxHandle.h"
#include "TestSupport.h"

#include <lorvexdocx.h>

#include <QFileInfo>
#include <QHash>

#include <algorithm>

#include <gtest/gtest.h>

using namespace testing_support;

TEST(Corpus, OpensCopiesAndIndexesEveryDocument)
{
    LXDOCX_NEEDS_CORPUS();
    const QStringList files = corpusFiles();
    const QString python = systemPython(), unzip = unzipProgram();
    QString err;
    ASSERT_FALSE(unzip.isEmpty()) << "unzip is needed";
    ASSERT_EQ(run(python, {"-c", "import docx"}, nullptr, &err), 0) << "python3 with python-docx is needed";
    const QStringList documented = {"Cannot open: ", "Not a valid ZIP (EOCD not found)", "Corrupt ZIP: ",
                                    "Package too large", "Not a valid DOCX: missing word/document.xml",
                                    "XML parse error at line "};
    QTemporaryDir out;
    QStringList pairs;
    for (int i = 0; i < files.size(); ++i) {
        const std::string name = QFileInfo(files[i]).fileName().toStdString();
        DocxHandle *h = lxDocx_open(files[i].toUtf8().constData());
        if (!h) {
            const QString text = QString::fromUtf8(lxDocx_error(nullptr));
            EXPECT_TRUE(std::any_of(documented.cbegin(), documented.cend(), [&](const QString &d) { return text.startsWith(d); }))
                << name << ": " << text.toStdString();
            continue;
        }
        // Building the index reads the body; it must not count as an edit.
        const int count = h->doc->paragraphCount();
        EXPECT_EQ(h->doc->paragraphInfoAt(count - 1).index, qMax(0, count - 1));
        const QString dst = out.filePath(QStringLiteral("%1.docx").arg(i));
        EXPECT_EQ(lxDocx_save_as(h, dst.toUtf8().constData()), 1) << name;
        lxDocx_close(h);
        QString zipOut;
        EXPECT_EQ(run(unzip, {"-tqq", dst}, &zipOut), 0) << name << ": " << zipOut.toStdString();
        EXPECT_EQ(readEntries(dst), readEntries(files[i])) << name;
        pairs << files[i] << dst;
    }
    // One run of the checker over every copy and every source against itself: a copy may fail only exactly as its
    // source fails (python-docx cannot read a few sources; a source holding folder entries, which copies drop, also
    // fails against itself with "members differ").
    QStringList args = {toolScript("check_docx.py"), "--same"};
    for (int i = 0; i < pairs.size(); i += 2)
        args << pairs[i] << pairs[i + 1] << pairs[i] << pairs[i];
    QString report;
    run(python, args, &report, &err);
    EXPECT_TRUE(report.contains(QStringLiteral("checked %1, failed").arg(pairs.size()))) << report.toStdString()
                                                                                         << err.toStdString();
    QHash<QString, QString> why;  // path -> failure
    for (const QString &line : report.split('\n')) {
        if (line.startsWith("FAIL "))
            why.insert(line.mid(5, line.indexOf(": ", 5) - 5), line.mid(line.indexOf(": ", 5) + 2));
    }
    int unreadable = 0;
    for (int i = 0; i < pairs.size(); i += 2) {
        const QString expected = why.value(pairs[i]).startsWith("members differ: ") ? QString() : why.value(pairs[i]);
        unreadable += !expected.isEmpty();
        EXPECT_EQ(why.value(pairs[i + 1]).toStdString(), expected.toStdString()) << pairs[i].toStdString();
    }
    EXPECT_LE(unreadable * 10, pairs.size() / 2);  // the checker really read the copies
}
