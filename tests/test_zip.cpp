// The package container: reading unusual and hostile archives, writing archives
// and replacing package files without ever losing the old one.
#include "DocxZip_Qt.h"
#include "TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <zlib.h>

using testing_support::makeZip;
using testing_support::readFile;
using testing_support::writeFile;

namespace {

const QString kDoc = QStringLiteral("word/document.xml");

std::string s(const QString &text) { return text.toStdString(); }
quint32 get16(const QByteArray &b, qint64 at) { return quint32(uchar(b.at(at))) | quint32(uchar(b.at(at + 1))) << 8; }
quint32 get32(const QByteArray &b, qint64 at) { return get16(b, at) | get16(b, at + 2) << 16; }
void put16(QByteArray &b, qint64 at, quint32 v) { b[at] = char(v & 0xFF), b[at + 1] = char((v >> 8) & 0xFF); }
void put32(QByteArray &b, qint64 at, quint32 v) { put16(b, at, v & 0xFFFF), put16(b, at + 2, v >> 16); }

// Where the end record, central entry i and member i's local header of a
// comment-less archive start.
qint64 endAt(const QByteArray &z) { return z.size() - 22; }
qint64 centralAt(const QByteArray &z, int i)
{
    qint64 p = get32(z, endAt(z) + 16);
    for (; i > 0; --i)
        p += 46 + get16(z, p + 28) + get16(z, p + 30) + get16(z, p + 32);
    return p;
}
qint64 localAt(const QByteArray &z, int i) { return get32(z, centralAt(z, i) + 42); }

QByteArray deflated(const QByteArray &data, int strategy = Z_DEFAULT_STRATEGY)
{
    z_stream zs{};
    deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, strategy);
    QByteArray out(qsizetype(deflateBound(&zs, uLong(data.size()))), '\0');
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = uInt(out.size());
    EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    out.truncate(qsizetype(zs.total_out));
    deflateEnd(&zs);
    return out;
}

// Makes member i of a makeZip archive a deflated one declaring `declared` bytes.
void markDeflated(QByteArray &z, int i, quint32 declared)
{
    for (const qint64 method : {localAt(z, i) + 8, centralAt(z, i) + 10})
        put16(z, method, 8), put32(z, method + 14, declared);
}

struct ReadResult
{
    bool ok;
    DocxEntryMap entries;
    QString err;
};
ReadResult readZip(const QByteArray &zip)
{
    ReadResult r{false, {}, {}};
    r.ok = docxZipReadBytes(zip, r.entries, r.err);
    return r;
}

bool documentedError(const QString &e)
{
    return e == "Not a valid ZIP (EOCD not found)" || e == "Corrupt ZIP: central directory out of bounds"
        || e == "Not a valid DOCX: missing word/document.xml" || e.startsWith("Corrupt ZIP: member \"")
        || e.startsWith("Package too large: ");
}

QByteArray noise(qsizetype n)
{
    QRandomGenerator rng(7);
    QByteArray b;
    while (b.size() < n)
        b.append(char(rng.generate()));
    return b;
}

QStringList g_warnings;  // "file | message" while a CollectWarnings lives
struct CollectWarnings
{
    QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &c, const QString &m) {
        if (type == QtWarningMsg)
            g_warnings.append(QString::fromLatin1(c.file ? c.file : "?") + " | " + m);
    });
    ~CollectWarnings() { qInstallMessageHandler(previous), g_warnings.clear(); }
};

// One member of an archive this library wrote, from its central directory, after
// checking that the local header agrees. `nonZero` ors every field that must be
// 0 in either header: flags, time, date, extra and comment lengths, attributes.
struct Member
{
    QByteArray name, data;
    quint32 method, crc, size, nonZero;
};
std::vector<Member> membersOf(const QByteArray &z)
{
    std::vector<Member> out;
    const qint64 end = endAt(z), dir = get32(z, end + 16);
    EXPECT_EQ(get32(z, end), 0x06054b50u);
    qint64 p = dir;
    for (quint32 i = 0; i < get16(z, end + 10) && p + 46 <= end; ++i) {
        const qint64 local = get32(z, p + 42);
        const QByteArray name = z.mid(p + 46, get16(z, p + 28));
        EXPECT_EQ(z.mid(local, 4) + z.mid(local + 8, 2) + z.mid(local + 14, 14),
                  QByteArray("PK\3\4") + z.mid(p + 10, 2) + z.mid(p + 16, 14)) << name.constData();
        out.push_back({name, z.mid(local + 30 + name.size(), get32(z, p + 20)), get16(z, p + 10), get32(z, p + 16),
                       get32(z, p + 24),
                       get16(z, p + 8) | get16(z, p + 12) | get16(z, p + 14) | get16(z, p + 30) | get16(z, p + 32)
                           | get16(z, p + 34) | get16(z, p + 36) | get32(z, p + 38) | get16(z, local + 6)
                           | get16(z, local + 10) | get16(z, local + 12) | get16(z, local + 28)});
        p += 46 + name.size();
    }
    EXPECT_EQ(p, end);
    EXPECT_EQ(get32(z, end + 12), quint32(p - dir));
    EXPECT_EQ(get16(z, end + 8), get16(z, end + 10));
    return out;
}

}  // namespace

TEST(ZipRead, EndRecordIsTheLastFullOneBeforeAnyComment)
{
    const QByteArray base = makeZip({{"word/document.xml", "doc"}, {"other.xml", "x"}});
    QByteArray laterRecord = base.right(22);
    put16(laterRecord, 10, 1);  // names only the first directory entry
    const struct { QByteArray comment; int members; } cases[] = {
        {"", 2}, {"saved by hand", 2}, {laterRecord, 1}, {QByteArray("--PK\x05\x06--", 8), 2}};
    for (const auto &c : cases) {
        QByteArray z = base;
        put16(z, endAt(z) + 20, quint32(c.comment.size()));
        const ReadResult r = readZip(z + c.comment);
        EXPECT_TRUE(r.ok) << s(r.err);
        EXPECT_EQ(r.entries.size(), c.members) << c.comment.toHex().constData();
        EXPECT_EQ(r.entries.value(kDoc), "doc");
    }
}

TEST(ZipRead, MemberDataAndDirectoryWalk)
{
    QByteArray z = makeZip({{"word/document.xml", "<doc/>"}, {"empty.bin", ""}, {"empty.z", deflated("")},
                            {"short.z", deflated("hello")}, {"long.z", deflated("hello world")},
                            {"garbage.z", QByteArray(8, '\xFF')}, {"bz.bin", "BZh9"}, {"desc.xml", "described"},
                            {"extra.xml", "XXXXpayload"}, {"word/", ""}, {"word/media/", ""},
                            {"word/m\xC3\xA9" "dia.xml", "utf8"}, {"dup.xml", "first"}, {"dup.xml", "second"},
                            {"tail.xml", "tail"}});
    markDeflated(z, 2, 0);
    markDeflated(z, 3, 10);  // the stream ends after 5 bytes: the rest reads as zeros
    markDeflated(z, 4, 3);   // the stream holds more than declared
    markDeflated(z, 5, 5);
    put16(z, centralAt(z, 6) + 10, 12);
    put16(z, localAt(z, 7) + 6, 8);  // sizes in a data descriptor: the local header has zeros
    z.replace(localAt(z, 7) + 14, 12, QByteArray(12, '\0'));
    put16(z, localAt(z, 8) + 28, 4);  // an extra field in the local header only
    put32(z, centralAt(z, 8) + 20, 7);
    put32(z, centralAt(z, 8) + 24, 7);

    DocxEntryMap expected = {{kDoc, "<doc/>"}, {"empty.bin", ""}, {"empty.z", ""},
                             {"short.z", QByteArray("hello\0\0\0\0\0", 10)}, {"desc.xml", "described"},
                             {"extra.xml", "payload"}, {QString::fromUtf8("word/m\xC3\xA9" "dia.xml"), "utf8"},
                             {"dup.xml", "second"}, {"tail.xml", "tail"}, {"kept.xml", "from before"}};
    DocxEntryMap entries = {{"kept.xml", "from before"}};  // added to, not cleared
    QString err = "untouched";
    {
        CollectWarnings warnings;
        EXPECT_TRUE(docxZipReadBytes(z, entries, err));
        EXPECT_EQ(g_warnings, QStringList({"src/DocxZip_Qt | DocxZip: inflate failed for \"long.z\"",
                                           "src/DocxZip_Qt | DocxZip: inflate failed for \"garbage.z\"",
                                           "src/DocxZip_Qt | DocxZip: unsupported compression method 12 for \"bz.bin\""}))
            << s(g_warnings.join('\n'));
    }
    EXPECT_EQ(s(err), "untouched");
    EXPECT_EQ(entries, expected) << s(QStringList(entries.keys()).join(' '));

    // Only as many entries as the end record's total count are read, whatever
    // the per-disk count beside it says.
    put16(z, endAt(z) + 10, 14);
    CollectWarnings quiet;
    const ReadResult r = readZip(z);
    expected.remove("tail.xml");
    expected.remove("kept.xml");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.entries, expected);

    const ReadResult noDocument = readZip(makeZip({{"word/styles.xml", "s"}}));
    EXPECT_FALSE(noDocument.ok);
    EXPECT_EQ(s(noDocument.err), "Not a valid DOCX: missing word/document.xml");
    EXPECT_EQ(noDocument.entries.value("word/styles.xml"), "s");  // what was read stays
}

TEST(ZipRead, LyingSizesOffsetsAndTruncationFailCleanly)
{
    QByteArray base = makeZip({{"word/document.xml", deflated(QByteArray(300, 'w'))}, {"media.bin", "0123456789"}});
    markDeflated(base, 0, 300);
    const qint64 len = base.size(), dirOffset = get32(base, endAt(base) + 16);
    const qint64 mediaData = localAt(base, 1) + 30 + 9;
    const QString outOfBounds = "Corrupt ZIP: central directory out of bounds";
    const QString missing = "Not a valid DOCX: missing word/document.xml";
    CollectWarnings quiet;
    const struct { const char *what; qint64 field; int width; quint32 value; QString err; qsizetype media; } cases[] = {
        {"media local header past the end", centralAt(base, 1) + 42, 4, quint32(len), {}, -1},
        {"media local header cut short", centralAt(base, 1) + 42, 4, quint32(len - 29), {}, -1},
        {"media local header at a wrong signature", centralAt(base, 1) + 42, 4, 1, {}, -1},
        {"media data past the end", centralAt(base, 1) + 20, 4, quint32(len - mediaData + 1), {}, -1},
        {"media data up to the very end", centralAt(base, 1) + 20, 4, quint32(len - mediaData), {}, len - mediaData},
        {"document local header past the end", centralAt(base, 0) + 42, 4, 0xFFFFFFF0, missing, 0},
        {"document compressed size past the end", centralAt(base, 0) + 20, 4, 0xFFFFFFFF, missing, 0},
        {"directory offset past the end", endAt(base) + 16, 4, quint32(len), outOfBounds, 0},
        {"directory size up to the end", endAt(base) + 12, 4, quint32(len - dirOffset), {}, 10},
        {"directory size past the end", endAt(base) + 12, 4, quint32(len - dirOffset + 1), outOfBounds, 0},
        {"directory size wrapping 32 bits", endAt(base) + 12, 4, 0xFFFFFFFF, outOfBounds, 0},
        {"last name running past the end", centralAt(base, 1) + 28, 2, 0xFFFF, {}, -1},
        {"first comment running past the end", centralAt(base, 0) + 32, 2, 0xFFFF, {}, -1},
        {"more entries counted than present", endAt(base) + 10, 2, 0xFFFF, {}, 10},
    };
    for (const auto &c : cases) {
        QByteArray z = base;
        c.width == 2 ? put16(z, c.field, c.value) : put32(z, c.field, c.value);
        const ReadResult r = readZip(z);
        EXPECT_EQ(s(r.err), s(c.err)) << c.what;
        ASSERT_EQ(r.ok, c.err.isEmpty()) << c.what;
        if (r.ok) {
            EXPECT_EQ(r.entries.value(kDoc), QByteArray(300, 'w')) << c.what;
            EXPECT_EQ(r.entries.contains("media.bin") ? r.entries.value("media.bin").size() : -1, c.media) << c.what;
        }
    }
    // Every prefix misses the end record; every prefix followed by the end
    // record, and every single damaged byte, still gives a documented answer.
    for (qsizetype cut = 0; cut < len; ++cut) {
        const ReadResult prefix = readZip(base.left(cut));
        EXPECT_EQ(s(prefix.err), "Not a valid ZIP (EOCD not found)");
        QByteArray damaged = base;
        damaged[cut] = char(~damaged[cut]);
        for (const QByteArray &z : {base.left(cut) + base.right(22), damaged}) {
            const ReadResult r = readZip(z);
            EXPECT_TRUE(r.ok ? r.entries.contains(kDoc) : documentedError(r.err)) << cut << ": " << s(r.err);
        }
    }
}

TEST(ZipRead, SizeBoundsRefuseBombsBeforeAllocating)
{
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const QByteArray bomb = deflated(QByteArray(1 << 20, '\0'));
    QByteArray z = makeZip({{"word/document.xml", bomb}});
    markDeflated(z, 0, 0xFFFFFFFF);
    ReadResult r = readZip(z);
    EXPECT_EQ(s(r.err), s(QString("Corrupt ZIP: member \"word/document.xml\" declares 4294967295 bytes from %1 "
                                  "compressed bytes").arg(bomb.size())));
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256 * 1024) << "KiB more at the peak";

    // At most 1032 bytes per compressed byte, plus a little for a stream's end:
    // at the bound the member is inflated (and skipped as corrupt), above refused.
    CollectWarnings quiet;
    for (const quint32 declared : {100u * 1032 + 64, 100u * 1032 + 65}) {
        z = makeZip({{"word/document.xml", "d"}, {"x.bin", QByteArray(100, '\xFF')}});
        markDeflated(z, 1, declared);
        r = readZip(z);
        EXPECT_EQ(s(r.err), declared == 100u * 1032 + 64 ? "" : "Corrupt ZIP: member \"x.bin\" declares 103265 bytes "
                                                                "from 100 compressed bytes");
    }

    const quint32 big = quint32(kDocxMaxMemberSize) + 1;
    z = makeZip({{"word/document.xml", "d"},
                 {"big.bin", QByteArray(qsizetype((big - 64 + kDocxMaxDeflateRatio - 1) / kDocxMaxDeflateRatio), '\xFF')}});
    markDeflated(z, 1, big);
    EXPECT_EQ(s(readZip(z).err), "Package too large: member \"big.bin\" holds 1073741825 bytes (limit 1073741824)");

    // The package bound counts every member inflated, so a directory repeating
    // one member cannot make the reader work without end: 129 x 16 MiB.
    const QByteArray one = makeZip({{"part.bin", QByteArray(16 << 20, 'p')}});
    const qint64 dir = get32(one, endAt(one) + 16);
    const QByteArray entry = one.mid(dir, endAt(one) - dir);
    z = one.left(dir) + entry.repeated(129) + one.right(22);
    put16(z, endAt(z) + 10, 129);
    put32(z, endAt(z) + 12, quint32(entry.size() * 129));
    EXPECT_EQ(s(readZip(z).err), "Package too large: parts hold more than 2147483648 bytes");
}

TEST(ZipRead, FilesThatAreNoArchive)
{
    QTemporaryDir dir;
    DocxEntryMap entries;
    QString err;
    const QString empty = dir.filePath("empty.docx"), huge = dir.filePath("huge.docx");
    ASSERT_TRUE(writeFile(empty, {}));
    EXPECT_FALSE(docxZipRead(empty, entries, err));
    EXPECT_EQ(s(err), "Not a valid ZIP (EOCD not found)");
    for (const QString &path : {dir.path(), dir.filePath("missing.docx")}) {
        EXPECT_FALSE(docxZipRead(path, entries, err));
        EXPECT_EQ(s(err), s("Cannot open: " + path));
    }
    QFile sparse(huge);  // refused by its size, before anything is read
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly) && sparse.resize(qint64(1) << 32));
    sparse.close();
    EXPECT_FALSE(docxZipRead(huge, entries, err));
    EXPECT_EQ(s(err), s("Package too large: " + huge + " is 4 GiB or larger"));
}

TEST(ZipWrite, MemberOrderLayoutAndUnchangedMembersCopied)
{
    const QByteArray docXml = "<w:body>" + QByteArray("<w:p><w:r><w:t>text</w:t></w:r></w:p>").repeated(50) + "</w:body>";
    const QByteArray huffman = deflated(docXml, Z_HUFFMAN_ONLY);  // a stream the writer would not produce
    ASSERT_NE(huffman, deflated(docXml));
    const QByteArray styles = QByteArray("<w:style/>").repeated(40), rels = QByteArray("<Relationship/>").repeated(20);
    QByteArray src = makeZip({{"word/document.xml", huffman}, {"docProps/core.xml", "<core/>"},
                              {"[Content_Types].xml", "<Types/>"}, {"word/styles.xml", styles}, {"_rels/.rels", rels}});
    markDeflated(src, 0, quint32(docXml.size()));
    DocxEntryMap entries;
    QString err;
    DocxZipSource source;
    ASSERT_TRUE(docxZipReadBytes(src, entries, err, &source)) << s(err);
    entries.remove("docProps/core.xml");
    entries["[Content_Types].xml"][1] = 't';                             // edited in place
    entries["_rels/.rels"] = QByteArray(rels.constData(), rels.size());  // same bytes, new buffer
    entries["word/media/b.png"] = "abc";
    entries["word/media/a.png"] = "";
    entries["zeta.bin"] = noise(4096);
    for (char c = 'h'; c > 'b'; --c)
        entries[QString("word/media/%1.png").arg(c)] = "x";

    QByteArray out;
    ASSERT_TRUE(docxZipBuild(entries, {"[Content_Types].xml", "_rels/.rels", "absent.xml", kDoc, kDoc}, out, err, &source));
    const std::vector<Member> members = membersOf(out);
    QStringList names;
    for (const Member &m : members) {
        const QByteArray data = entries.value(names.emplace_back(QString::fromUtf8(m.name)));
        EXPECT_EQ(m.nonZero, 0u) << m.name.constData();
        EXPECT_EQ(m.crc, quint32(crc32(0, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size()))));
        EXPECT_EQ(m.size, quint32(data.size())) << m.name.constData();
    }
    ASSERT_EQ(names, QStringList({"[Content_Types].xml", "_rels/.rels", kDoc, "word/styles.xml", "word/media/a.png",
                                  "word/media/b.png", "word/media/c.png", "word/media/d.png", "word/media/e.png",
                                  "word/media/f.png", "word/media/g.png", "word/media/h.png", "zeta.bin"}));
    EXPECT_EQ(members[2].data, huffman);  // unchanged: copied, not deflated again
    EXPECT_EQ(members[2].method, 8u);
    EXPECT_EQ(members[3].data, styles);  // unchanged and stored: stays stored
    EXPECT_EQ(members[3].method, 0u);
    EXPECT_EQ(members[1].method, 8u);  // replaced: deflated afresh
    EXPECT_LT(members[1].data.size(), rels.size());
    for (int i : {4, 5, 12})
        EXPECT_EQ(members[i].method, 0u) << "deflate does not make it smaller: stored";
    EXPECT_EQ(members[4].crc, 0u);

    DocxEntryMap back;
    ASSERT_TRUE(docxZipReadBytes(out, back, err)) << s(err);
    EXPECT_EQ(back, entries);
    EXPECT_EQ(back.value("[Content_Types].xml"), "<types/>");
}

TEST(ZipWrite, AtMost65535Members)
{
    DocxEntryMap entries = {{kDoc, "d"}};
    for (int i = 1; i < 65535; ++i)
        entries.insert(QString::number(i), QByteArray());
    QByteArray out;
    QString err;
    ASSERT_TRUE(docxZipBuild(entries, {}, out, err)) << s(err);
    DocxEntryMap back;
    ASSERT_TRUE(docxZipReadBytes(out, back, err)) << s(err);
    EXPECT_EQ(back.size(), 65535);
    entries.insert("one too many", "x");
    EXPECT_FALSE(docxZipBuild(entries, {}, out, err));
    EXPECT_EQ(s(err), "Cannot write ZIP: 65536 parts, at most 65535 fit");
}

TEST(ZipWrite, ReplacingAFileNeverLosesTheOldOne)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("out.docx"), tmp = path + ".tmp", lost = dir.filePath("missing/out.docx");
    const QByteArray name = QFile::encodeName(path);
    const DocxEntryMap entries = {{kDoc, "<doc/>"}, {"noise.bin", noise(64 << 10)}};
    const DocxEntryMap other = {{kDoc, "<other/>"}, {"noise.bin", noise(128 << 10)}};
    QByteArray built;
    QString err;
    ASSERT_TRUE(docxZipBuild(entries, {}, built, err));

    EXPECT_FALSE(docxZipWrite(entries, {}, lost, err));
    EXPECT_EQ(s(err), s("Cannot write to: " + lost + ".tmp"));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("missing")));

    ASSERT_TRUE(writeFile(tmp, noise(200 << 10)));  // left by an earlier run
    ASSERT_TRUE(writeFile(path, "old"));
    ASSERT_EQ(::chmod(name.constData(), 0640), 0);
    ASSERT_TRUE(docxZipWrite(entries, {}, path, err)) << s(err);
    EXPECT_EQ(readFile(path), built);
    struct stat st{};
    EXPECT_TRUE(::stat(name.constData(), &st) == 0 && (st.st_mode & 07777) == 0640) << "mode kept";

    // Refused, the old file kept: a read-only target (even for root), a
    // directory, a write that fails part way (a file size limit plays the full disk).
    ASSERT_EQ(::chmod(name.constData(), 0444), 0);
    EXPECT_FALSE(docxZipWrite(other, {}, path, err));
    EXPECT_EQ(s(err), s("Cannot write to: " + path));
    ASSERT_EQ(::chmod(name.constData(), 0644), 0);
    EXPECT_FALSE(docxZipWrite(other, {}, dir.path(), err));
    EXPECT_EQ(s(err), s("Cannot write to: " + dir.path()));
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    const bool written = docxZipWrite(other, {}, path, err);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(written);
    EXPECT_TRUE(err.startsWith("Cannot write to: " + tmp + ": ")) << s(err);
    EXPECT_EQ(readFile(path), built);
    EXPECT_FALSE(QFileInfo::exists(tmp));

    // Through a chain of symbolic links the file at its end is replaced; the links stay.
    const QString link = dir.filePath("link.docx"), linkToLink = dir.filePath("link2.docx");
    ASSERT_TRUE(QFile::link(path, link) && QFile::link(link, linkToLink));
    ASSERT_TRUE(docxZipWrite(other, {}, linkToLink, err)) << s(err);
    EXPECT_TRUE(QFileInfo(link).isSymLink() && QFileInfo(linkToLink).isSymLink());
    EXPECT_EQ(testing_support::readEntries(path), other);
}
