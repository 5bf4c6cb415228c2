// Every corpus document of several sections: its first section's margins, orientation and default footer are set
// through the C interface; python-docx reads them back, and every other section and part keeps its bytes.
#include "EditTestSupport.h"

#include <iostream>

using namespace edit_support;

namespace {

// python-docx's reading of each file: per file one line, per section "top bottom left right header footer gutter
// width height orientation", sections separated by "|", then "|" and the first section's default footer text (none
// for a body without sections).
const char kReadSections[] = R"(
import sys, docx
for path in sys.argv[1:]:
    d = docx.Document(path)
    rows = []
    for s in d.sections:
        lengths = [s.top_margin, s.bottom_margin, s.left_margin, s.right_margin, s.header_distance,
                   s.footer_distance, s.gutter, s.page_width, s.page_height]
        rows.append(" ".join(str(v.twips if v is not None else None) for v in lengths) + " " + str(int(s.orientation)))
    footer = "/".join(p.text for p in d.sections[0].footer.paragraphs) if len(d.sections) else ""
    print("|".join(rows) + "|" + footer)
)";

QStringList readSections(const QStringList &files)
{
    QString out, err;
    EXPECT_EQ(run(systemPython(), QStringList{"-c", kReadSections} + files, &out, &err), 0) << err.toStdString();
    return out.split('\n', Qt::SkipEmptyParts);
}

// The byte range of the first w:sectPr of a document part (with the sections nested in it).
std::pair<qsizetype, qsizetype> firstSection(const QByteArray &xml)
{
    const qsizetype start = xml.indexOf("<w:sectPr");
    qsizetype at = start, depth = 0;
    while (at >= 0) {
        const qsizetype open = xml.indexOf("<w:sectPr", at + 1), close = xml.indexOf("</w:sectPr>", at + 1);
        const qsizetype tagEnd = xml.indexOf('>', at);
        if (xml.at(tagEnd - 1) == '/' && depth == 0 && at == start)
            return {start, tagEnd + 1};
        if (open >= 0 && open < close) {
            ++depth;
            at = open;
        } else if (depth > 0) {
            --depth;
            at = close;
        } else {
            return {start, close + 11};
        }
    }
    return {-1, -1};
}

qsizetype commonPrefix(const QByteArray &a, const QByteArray &b)
{
    qsizetype n = 0;
    while (n < a.size() && n < b.size() && a[n] == b[n])
        ++n;
    return n;
}

qsizetype commonSuffix(const QByteArray &a, const QByteArray &b, qsizetype limit)
{
    qsizetype n = 0;
    while (n < a.size() - limit && n < b.size() - limit && a[a.size() - 1 - n] == b[b.size() - 1 - n])
        ++n;
    return n;
}

}  // namespace

TEST(SectionsCorpus, FirstSectionEditsReachPythonDocxAndLeaveTheRestAsItWas)
{
    LXDOCX_NEEDS_CORPUS();
    if (systemPython().isEmpty())
        GTEST_SKIP() << "python-docx is not installed";
    QTemporaryDir dir;
    QStringList sources, edited;
    int several = 0;
    for (const QString &file : corpusFiles()) {
        Handle h = openPackage(file);
        if (!h || lxDocx_section_count(h.get()) < 2 || h->doc->body().isStrict())
            continue;
        ++several;
        SCOPED_TRACE(file.toStdString());
        Ints m(8), size{12240, 15840, 0};
        ASSERT_EQ(lxDocx_get_section_margins(h.get(), 0, &m[0], &m[1], &m[2], &m[3], &m[4], &m[5], &m[6], &m[7]), 1);
        lxDocx_get_page_size(h.get(), 0, &size[0], &size[1], &size[2]);
        int len = 0;
        const char *footer = lxDocx_build_hf_xml(0, "First section footer", "center", &len);
        ASSERT_EQ(lxDocx_set_section_margins(h.get(), 0, m[0] + 111, m[1] + 222, m[2] + 333, m[3], m[4], m[5], m[6], m[7])
                      + lxDocx_set_page_size(h.get(), 0, size[1], size[0], !size[2])
                      + lxDocx_set_section_footer_xml(h.get(), 0, LXDOCX_HF_DEFAULT, footer, len), 3)
            << lxDocx_error(h.get());
        const QString out = dir.filePath(QString::number(several) + ".docx");
        ASSERT_EQ(lxDocx_save_as(h.get(), out.toUtf8().constData()), 1) << lxDocx_error(h.get());
        const QString footerPart = lxDocx_get_section_hf_part(h.get(), 0, 0, LXDOCX_HF_DEFAULT);
        sources << file;
        edited << out;
        // The document part changes inside its first section only; other parts change only to add the footer.
        const DocxEntryMap before = readEntries(file), after = readEntries(out);
        const QByteArray in = before.value("word/document.xml"), now = after.value("word/document.xml");
        const auto [start, end] = firstSection(in);
        const qsizetype prefix = commonPrefix(in, now), suffix = commonSuffix(in, now, prefix);
        EXPECT_TRUE(start >= 0 && prefix >= start && in.size() - suffix <= end) << start << " " << end << " " << prefix;
        const bool added = !before.contains(footerPart);
        for (auto it = after.cbegin(); it != after.cend(); ++it) {
            const bool mayChange = it.key() == "word/document.xml" || it.key() == footerPart
                || (added && (it.key() == kRels || it.key() == kTypes));
            EXPECT_TRUE(mayChange || before.value(it.key()) == it.value()) << it.key().toStdString();
        }
        EXPECT_EQ(after.size(), before.size() + (added ? 1 : 0));
    }
    std::cout << several << " corpus documents of several sections\n";
    ASSERT_GT(several, 0);
    const QStringList was = readSections(sources), is = readSections(edited);
    ASSERT_EQ(was.size(), sources.size());
    ASSERT_EQ(is.size(), sources.size());
    for (qsizetype i = 0; i < sources.size(); ++i) {
        SCOPED_TRACE(sources[i].toStdString());
        const QStringList a = was[i].split('|'), b = is[i].split('|');
        ASSERT_EQ(a.size(), b.size());
        const QStringList first = a[0].split(' '), edit = b[0].split(' ');
        // top, bottom, left grew; width and height swapped; the orientation turned.
        EXPECT_EQ((Ints{edit[0].toInt() - first[0].toInt(), edit[1].toInt() - first[1].toInt(),
                        edit[2].toInt() - first[2].toInt()}), (Ints{111, 222, 333}));
        EXPECT_EQ(edit.mid(3, 4), first.mid(3, 4));
        if (first[7] != "None") {
            EXPECT_EQ(edit[7] + " " + edit[8], first[8] + " " + first[7]);
        }
        EXPECT_NE(edit[9], first[9]);
        EXPECT_EQ(a.mid(1, a.size() - 2), b.mid(1, b.size() - 2));  // every other section as it was
        EXPECT_EQ(b.last(), "First section footer");
    }
}

// `lxdocx page --top 1000` on every corpus document changes the last section's top margin and nothing else that
// python-docx reads: absent values stay absent, negative ones stay negative.
TEST(SectionsCorpus, PageEditOfOneValuePassesEveryOtherThrough)
{
    LXDOCX_NEEDS_CORPUS();
    if (systemPython().isEmpty())
        GTEST_SKIP() << "python-docx is not installed";
    QTemporaryDir dir;
    QStringList sources, edited;
    for (const QString &file : corpusFiles()) {
        Handle h = openPackage(file);
        if (!h || h->doc->body().isStrict())
            continue;
        const QString out = dir.filePath(QString::number(sources.size()) + ".docx");
        QString stdOut, stdErr;
        ASSERT_EQ(run(QStringLiteral(LXDOCX_CLI), {"page", file, "--top", "1000", "-o", out}, &stdOut, &stdErr), 0)
            << file.toStdString() << ": " << stdErr.toStdString();
        sources << file;
        edited << out;
    }
    // python-docx reads some packages of the corpus not at all: those are left out of both readings.
    QString probe;
    run(systemPython(), QStringList{"-c", "import sys, docx\nfor p in sys.argv[1:]:\n    try: docx.Document(p)\n"
                                          "    except Exception: print(p)"} + sources, &probe);
    for (const QString &unread : probe.split('\n', Qt::SkipEmptyParts)) {
        edited.removeAt(sources.indexOf(unread));
        sources.removeAll(unread);
    }
    const QStringList was = readSections(sources), is = readSections(edited);
    ASSERT_EQ(was.size(), sources.size());
    ASSERT_EQ(is.size(), sources.size());
    int same = 0, added = 0;
    for (qsizetype i = 0; i < sources.size(); ++i) {
        QStringList a = was[i].split('|'), b = is[i].split('|');
        if (a.first().isEmpty()) {  // no section: the edit added one giving the top margin alone
            const bool one = b.size() == 2 && b[0].startsWith("1000 None None None None None None ");
            EXPECT_TRUE(one) << sources[i].toStdString() << ": " << is[i].toStdString();
            added += one;
            continue;
        }
        ASSERT_EQ(a.size(), b.size()) << sources[i].toStdString();
        QStringList lastA = a[a.size() - 2].split(' '), lastB = b[b.size() - 2].split(' ');
        EXPECT_EQ(lastB.takeFirst(), "1000") << sources[i].toStdString();
        lastA.removeFirst();
        a[a.size() - 2] = lastA.join(' ');
        b[b.size() - 2] = lastB.join(' ');
        EXPECT_EQ(b, a) << sources[i].toStdString();
        same += a == b;
    }
    std::cout << same << " of " << sources.size() - added << " documents read the same but the top margin; "
              << added << " without a section got one\n";
    EXPECT_EQ(same + added, sources.size());
}
