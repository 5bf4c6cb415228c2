// Replacing a word of every real document: the count, the parts left byte for
// byte, and a result that other readers open.
#include "EditTestSupport.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <iostream>

using namespace edit_support;

namespace {

const QByteArray kNewWord = "Qzxreplacedqzx";  // in no document of the corpus

// The most frequent word of five letters or more in the w:t of `mainPart`
// (the earliest in the alphabet among equals) and how often it stands there
// as a whole word, read without the library's paragraph text. Empty when none.
std::pair<QString, int> frequentWord(const QByteArray &mainPart)
{
    const QRegularExpression word("\\b\\p{L}{5,}\\b", QRegularExpression::UseUnicodePropertiesOption);
    QHash<QString, int> seen;
    const QDomNodeList ts = parsed(mainPart).elementsByTagNameNS(wNamespace(), "t");
    for (int i = 0; i < ts.size(); ++i) {
        if (ts.at(i).parentNode().parentNode().localName() == QLatin1String("moveFrom"))
            continue;  // moved-away text is not part of what a paragraph reads
        for (auto it = word.globalMatch(ts.at(i).toElement().text()); it.hasNext();)
            ++seen[it.next().captured()];
    }
    std::pair<QString, int> best;
    for (auto it = seen.cbegin(); it != seen.cend(); ++it) {
        if (it.value() > best.second || (it.value() == best.second && it.key() < best.first))
            best = {it.key(), it.value()};
    }
    return best;
}

}  // namespace

TEST(Corpus, AReplacedWordChangesOnlyThePartsThatHoldIt)
{
    LXDOCX_NEEDS_CORPUS();
    const QString unzip = unzipProgram();
    ASSERT_FALSE(unzip.isEmpty()) << "unzip is needed";
    QTemporaryDir dir;
    QStringList outputs;
    int documents = 0, replacements = 0, changedParts = 0, identicalParts = 0;
    for (const QString &file : corpusFiles()) {
        const std::string name = QFileInfo(file).fileName().toStdString();
        Handle h(lxDocx_open(file.toUtf8().constData()), lxDocx_close);
        if (!h)
            continue;  // the corpus test of opening judges the refusals
        const DocxEntryMap before = readEntries(file);
        const auto [word, occurrences] = frequentWord(before.value(h->doc->package().mainPart()));
        if (word.isEmpty())
            continue;
        int count = -1;
        if (!lxDocx_replace_text(h.get(), word.toUtf8().constData(), kNewWord.constData(),
                                 LXDOCX_MATCH_CASE | LXDOCX_WHOLE_WORD, &count)) {
            EXPECT_EQ(lxDocx_error_code(h.get()), LXDOCX_ERR_REFUSED_INPUT) << name << ": " << lxDocx_error(h.get());
            continue;
        }
        outputs << dir.filePath(QString::number(++documents) + ".docx");
        ASSERT_TRUE(lxDocx_save_as(h.get(), outputs.last().toUtf8().constData())) << name << ": " << lxDocx_error(h.get());
        EXPECT_GE(count, occurrences) << name << ": " << word.toStdString();
        replacements += count;
        const DocxEntryMap after = readEntries(outputs.last());
        QStringList names = after.keys(), namesBefore = before.keys();
        names.sort();
        namesBefore.sort();
        EXPECT_EQ(names.join(' ').toStdString(), namesBefore.join(' ').toStdString()) << name;
        int placed = 0;
        for (auto it = after.cbegin(); it != after.cend(); ++it) {
            const QByteArray &was = before.value(it.key());
            if (it.value() == was) {
                ++identicalParts;
                continue;
            }
            ++changedParts;
            EXPECT_TRUE(was.contains(word.toUtf8())) << name << ": " << it.key().toStdString() << " changed without the word";
            QString err;
            EXPECT_TRUE(checkXml(it.value(), err)) << name << ": " << it.key().toStdString() << ": " << err.toStdString();
            placed += int(it.value().count(kNewWord));
        }
        EXPECT_EQ(placed, count) << name << ": every replacement stands in a changed part";
        QString zipOut;
        EXPECT_EQ(run(unzip, {"-tqq", outputs.last()}, &zipOut), 0) << name << ": " << zipOut.toStdString();
    }
    std::cout << "documents " << documents << ", replacements " << replacements << ", parts changed " << changedParts
              << ", parts byte-identical " << identicalParts << "\n";
    QString report;
    EXPECT_EQ(run(systemPython(), QStringList{toolScript("check_docx.py")} + outputs, &report), 0) << report.toStdString();
}
