// The package container: reading unusual and hostile archives, writing archives
// and replacing package files without ever losing the old one.
#include "DocxZip_Qt.h"
#include "TestSupport.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <zlib.h>

using namespace testing_support;

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
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData())), zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data()), zs.avail_out = uInt(out.size());
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

struct Read
{
    explicit Read(const QByteArray &zip) { ok = docxZipReadBytes(zip, entries, err); }
    bool ok;
    DocxEntryMap entries;
    QString err;
};

QByteArray noise(qsizetype n)  // n a multiple of 4
{
    QByteArray b(n, '\0');
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(b.data()), n / 4);
    return b;
}

}  // namespace

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
    put32(z, centralAt(z, 8) + 20, 7), put32(z, centralAt(z, 8) + 24, 7);

    // Members that do not inflate, or use another method, are left out.
    DocxEntryMap expected = {{kDoc, "<doc/>"}, {"empty.bin", ""}, {"empty.z", ""},
                             {"short.z", QByteArray("hello\0\0\0\0\0", 10)}, {"desc.xml", "described"},
                             {"extra.xml", "payload"}, {QString::fromUtf8("word/m\xC3\xA9" "dia.xml"), "utf8"},
                             {"dup.xml", "second"}, {"tail.xml", "tail"}};
    QByteArray commented = z;  // a comment holding part of an end record's signature
    put16(commented, endAt(z) + 20, 8);
    EXPECT_EQ(Read(commented + QByteArray("--PK\x05\x06--", 8)).entries, expected);

    // The last full end record counts, even one in a comment; only as many
    // entries as its total count are read, whatever the per-disk count says.
    QByteArray later = z.right(22);
    put16(later, 10, 14);
    put16(z, endAt(z) + 20, 22);
    expected.remove("tail.xml");
    EXPECT_EQ(Read(z + later).entries, expected);
}

TEST(ZipRead, LyingSizesOffsetsAndTruncationFailCleanly)
{
    QByteArray base = makeZip({{"word/document.xml", deflated(QByteArray(300, 'w'))}, {"media.bin", "0123456789"}});
    markDeflated(base, 0, 300);
    const qint64 len = base.size(), dirOffset = get32(base, endAt(base) + 16), mediaData = localAt(base, 1) + 39;
    const QString outOfBounds = "Corrupt ZIP: central directory out of bounds";
    const QString missing = "Not a valid DOCX: missing word/document.xml";
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
        const Read r(z);
        EXPECT_EQ(s(r.err), s(c.err)) << c.what;
        ASSERT_EQ(r.ok, c.err.isEmpty()) << c.what;
        if (r.ok) {
            EXPECT_EQ(r.entries.value(kDoc), QByteArray(300, 'w')) << c.what;
            EXPECT_EQ(r.entries.contains("media.bin") ? r.entries.value("media.bin").size() : -1, c.media) << c.what;
        }
    }
    // Every prefix misses the end record; every prefix followed by the end
    // record, and every single damaged byte, still gives a documented answer
    // (the archive is small: all cut points cost nothing).
    for (qsizetype cut = 0; cut < len; ++cut) {
        EXPECT_EQ(s(Read(base.left(cut)).err), "Not a valid ZIP (EOCD not found)");
        QByteArray damaged = base;
        damaged[cut] = char(~damaged[cut]);
        for (const QByteArray &z : {base.left(cut) + base.right(22), damaged}) {
            const Read r(z);
            const bool documented = r.err == outOfBounds || r.err == missing || r.err.startsWith("Corrupt ZIP: member \"")
                || r.err.startsWith("Package too large: ") || r.err == "Not a valid ZIP (EOCD not found)";
            EXPECT_TRUE(r.ok ? r.entries.contains(kDoc) : documented) << cut << ": " << s(r.err);
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
    EXPECT_EQ(s(Read(z).err), s(QString("Corrupt ZIP: member \"word/document.xml\" declares 4294967295 bytes from %1 "
                                           "compressed bytes").arg(bomb.size())));
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256 * 1024) << "KiB more at the peak";

    // At most 1032 bytes per compressed byte, plus a little for a stream's end:
    // at the bound the member is inflated (and skipped as corrupt), above refused.
    for (const quint32 declared : {100u * 1032 + 64, 100u * 1032 + 65}) {
        z = makeZip({{"word/document.xml", "d"}, {"x.bin", QByteArray(100, '\xFF')}});
        markDeflated(z, 1, declared);
        EXPECT_EQ(s(Read(z).err), declared == 100u * 1032 + 64 ? "" : "Corrupt ZIP: member \"x.bin\" declares "
                                                                        "103265 bytes from 100 compressed bytes");
    }
    const quint32 big = quint32(kDocxMaxMemberSize) + 1;
    z = makeZip({{"word/document.xml", "d"},
                 {"big.bin", QByteArray(qsizetype((big - 64 + kDocxMaxDeflateRatio - 1) / kDocxMaxDeflateRatio), '\xFF')}});
    markDeflated(z, 1, big);
    EXPECT_EQ(s(Read(z).err), "Package too large: member \"big.bin\" holds 1073741825 bytes (limit 1073741824)");

    // The package bound counts every member inflated, so a directory repeating
    // one member cannot make the reader work without end: 129 x 16 MiB.
    const QByteArray one = makeZip({{"part.bin", QByteArray(16 << 20, 'p')}});
    const qint64 dir = get32(one, endAt(one) + 16);
    const QByteArray entry = one.mid(dir, endAt(one) - dir);
    z = one.left(dir) + entry.repeated(129) + one.right(22);
    put16(z, endAt(z) + 10, 129), put32(z, endAt(z) + 12, quint32(entry.size() * 129));
    EXPECT_EQ(s(Read(z).err), "Package too large: parts hold more than 2147483648 bytes");

    // Files that are no archive: empty, a folder, missing, 4 GiB (refused by
    // its size before anything is read).
    QTemporaryDir tmp;
    const QString empty = tmp.filePath("empty.docx"), missing = tmp.filePath("missing.docx"), huge = tmp.filePath("4g");
    QFile sparse(huge);
    ASSERT_TRUE(writeFile(empty, {}) && sparse.open(QIODevice::WriteOnly) && sparse.resize(qint64(1) << 32));
    sparse.close();
    const std::pair<QString, QString> files[] = {{empty, "Not a valid ZIP (EOCD not found)"},
        {tmp.path(), "Cannot open: " + tmp.path()}, {missing, "Cannot open: " + missing},
        {huge, "Package too large: " + huge + " is 4 GiB or larger"}};
    for (const auto &[path, text] : files) {
        DocxEntryMap entries;
        QString err;
        EXPECT_FALSE(docxZipRead(path, entries, err));
        EXPECT_EQ(s(err), s(text));
    }
}

TEST(ZipWrite, MemberOrderLayoutUnchangedMembersCopiedAndCount)
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

    QByteArray out;
    ASSERT_TRUE(docxZipBuild(entries, {"[Content_Types].xml", "_rels/.rels", "absent.xml", kDoc, kDoc}, out, err, &source));
    // Byte for byte the layout of makeZip (every field it leaves 0 is 0, local
    // and central headers agree); deflated only where that makes a member
    // smaller; unchanged members copied as they were, stored or deflated.
    QByteArray z = makeZip({
        {"[Content_Types].xml", "<types/>"}, {"_rels/.rels", deflated(rels)}, {"word/document.xml", huffman},
        {"word/styles.xml", styles}, {"word/media/a.png", ""}, {"word/media/b.png", "abc"}});
    for (const auto &[i, data] : {std::pair{1, rels}, std::pair{2, docXml}}) {
        markDeflated(z, i, quint32(data.size()));
        const quint32 crc = quint32(crc32(0, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size())));
        put32(z, localAt(z, i) + 14, crc), put32(z, centralAt(z, i) + 16, crc);
    }
    EXPECT_EQ(out.toHex(' ').toStdString(), z.toHex(' ').toStdString());

    // 65535 members fit the 16-bit count; one more is refused, not truncated.
    entries = {{kDoc, "d"}};
    for (int i = 1; i < 65535; ++i)
        entries.insert(QString::number(i), QByteArray());
    ASSERT_TRUE(docxZipBuild(entries, {}, out, err)) << s(err);
    EXPECT_EQ(get16(out, endAt(out) + 8), 65535u);
    EXPECT_EQ(get16(out, endAt(out) + 10), 65535u);
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
    const rlimit small{4096, saved.rlim_max};
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
    EXPECT_EQ(readEntries(path), other);
}
