// The package container: reading unusual and hostile archives, writing archives
// and replacing package files without ever losing the old one.
#include "DocxReader.h"
#include "DocxWriter.h"
#include "DocxZip_Qt.h"
#include "TestSupport.h"

#include <lorvexdocx.h>

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <future>
#include <thread>
#include <sys/mount.h>
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

quint32 crcOf(const QByteArray &data)
{
    return quint32(crc32(0, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size())));
}

// Makes member i of a makeZip archive a deflated one of `inflated`, declaring
// `declared` bytes (by default the true size).
void markDeflated(QByteArray &z, int i, const QByteArray &inflated, qint64 declared = -1)
{
    const quint32 size = quint32(declared < 0 ? inflated.size() : declared);
    for (const qint64 method : {localAt(z, i) + 8, centralAt(z, i) + 10})
        put16(z, method, 8), put32(z, method + 6, crcOf(inflated)), put32(z, method + 14, size);
}

struct Read
{
    explicit Read(const QByteArray &zip) { ok = docxZipReadBytes(zip, entries, err); }
    bool ok;
    DocxEntryMap entries;
    QString err;
};

// The names in a folder, hidden ones included.
QStringList listing(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Runs `f` with the process unable to write files larger than `limit`.
template <typename F>
auto withFileSizeLimit(rlim_t limit, F f)
{
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit small{limit, saved.rlim_max};
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    const auto result = f();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    return result;
}

// What this process has read from files so far.
qint64 bytesRead()
{
    const QByteArray io = readFile("/proc/self/io");
    const qsizetype at = io.indexOf("rchar: ");
    return at < 0 ? 0 : io.mid(at + 7, io.indexOf('\n', at) - at - 7).toLongLong();
}

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
                            {"hello.z", deflated("hello")}, {"desc.xml", "described"}, {"extra.xml", "XXXXpayload"},
                            {"word/", ""}, {"word/media/", ""}, {"word/m\xC3\xA9" "dia.xml", "utf8"},
                            {"dup.xml", "first"}, {"dup.xml", "second"}, {"tail.xml", "tail"}});
    markDeflated(z, 2, "");
    markDeflated(z, 3, "hello");
    put16(z, localAt(z, 4) + 6, 8);  // sizes in a data descriptor: the local header has zeros
    z.replace(localAt(z, 4) + 14, 12, QByteArray(12, '\0'));
    put16(z, localAt(z, 5) + 28, 4);  // an extra field in the local header only
    put32(z, centralAt(z, 5) + 16, crcOf("payload"));
    put32(z, centralAt(z, 5) + 20, 7), put32(z, centralAt(z, 5) + 24, 7);

    DocxEntryMap expected = {{kDoc, "<doc/>"}, {"empty.bin", ""}, {"empty.z", ""}, {"hello.z", "hello"},
                             {"desc.xml", "described"}, {"extra.xml", "payload"},
                             {QString::fromUtf8("word/m\xC3\xA9" "dia.xml"), "utf8"}, {"dup.xml", "second"},
                             {"tail.xml", "tail"}};
    QByteArray commented = z;  // a comment holding part of an end record's signature
    put16(commented, endAt(z) + 20, 8);
    EXPECT_EQ(Read(commented + QByteArray("--PK\x05\x06--", 8)).entries, expected);

    // The last full end record counts, even one in a comment: here one whose
    // directory ends before the last entry.
    QByteArray later = z.right(22);
    put16(later, 10, 11), put32(later, 12, quint32(centralAt(z, 11) - centralAt(z, 0)));
    put16(z, endAt(z) + 20, 22);
    expected.remove("tail.xml");
    EXPECT_EQ(Read(z + later).entries, expected);
}

// A member that cannot be decoded exactly refuses the package: nothing is
// dropped, padded or re-encoded on a later save.
TEST(ZipRead, RefusesCorruptMembers)
{
    const QByteArray text = QByteArray("<w:p>text</w:p>").repeated(20);
    QByteArray base = makeZip({{"word/document.xml", documentXml("<w:p/>")}, {"part.z", deflated(text)}});
    markDeflated(base, 1, text);
    ASSERT_TRUE(Read(base).ok) << s(Read(base).err);
    const qint64 docData = localAt(base, 0) + 30 + 17 + 40, partData = localAt(base, 1) + 30 + 6;
    const struct { const char *what; qint64 at; int width; quint32 value; QString err; } cases[] = {
        {"a changed byte", docData, 1, 'X', "Corrupt ZIP: CRC mismatch in word/document.xml"},
        {"a changed CRC", centralAt(base, 1) + 16, 4, 1, "Corrupt ZIP: CRC mismatch in part.z"},
        {"a corrupt stream", partData, 1, 0xFF, "Corrupt ZIP: part.z does not decode to the 300 bytes it declares"},
        {"a stream longer than declared", centralAt(base, 1) + 24, 4, 299, "Corrupt ZIP: part.z does not decode to the 299 bytes it declares"},
        {"a stream shorter than declared", centralAt(base, 1) + 24, 4, 301, "Corrupt ZIP: part.z does not decode to the 301 bytes it declares"},
        {"a stored size that differs", centralAt(base, 0) + 24, 4, 3, "Corrupt ZIP: word/document.xml does not decode to the 3 bytes it declares"},
        {"another method", centralAt(base, 1) + 10, 2, 12, "Unsupported ZIP: part.z uses compression method 12"},
        {"encryption", centralAt(base, 1) + 8, 2, 1, "Unsupported ZIP: part.z is encrypted"},
        {"more entries counted", endAt(base) + 10, 2, 3, "Corrupt ZIP: the central directory holds fewer entries than it counts"},
        {"fewer entries counted", endAt(base) + 10, 2, 1, "Corrupt ZIP: the central directory holds more entries than it counts"},
    };
    for (const auto &c : cases) {
        QByteArray z = base;
        c.width == 1 ? void(z[c.at] = char(c.value)) : c.width == 2 ? put16(z, c.at, c.value) : put32(z, c.at, c.value);
        const Read r(z);
        EXPECT_FALSE(r.ok) << c.what;
        EXPECT_EQ(s(r.err), s(c.err)) << c.what;
    }
    // Names that climb out of the package are refused, whatever the slashes.
    for (const char *name : {"../x.xml", "word/../../x.xml", "/etc/x.xml", "word\\..\\x.xml", "C:/x.xml", "./x.xml"}) {
        const Read r(makeZip({{"word/document.xml", "d"}, {name, "x"}}));
        EXPECT_EQ(s(r.err), s(QString("Corrupt ZIP: member name leaves the package: ") + name)) << name;
    }
}

TEST(ZipRead, LyingSizesOffsetsAndTruncationFailCleanly)
{
    const QByteArray w300(300, 'w');
    QByteArray base = makeZip({{"word/document.xml", deflated(w300)}, {"media.bin", "0123456789"}});
    markDeflated(base, 0, w300);
    const qint64 len = base.size(), dirOffset = get32(base, endAt(base) + 16), mediaData = localAt(base, 1) + 39;
    const QString outOfBounds = "Corrupt ZIP: central directory out of bounds", media = "Corrupt ZIP: media.bin lies outside the archive";
    const QString fewer = "Corrupt ZIP: the central directory holds fewer entries than it counts";
    const struct { const char *what; qint64 field; int width; quint32 value; QString err; } cases[] = {
        {"media local header past the end", centralAt(base, 1) + 42, 4, quint32(len), media},
        {"media local header elsewhere", centralAt(base, 1) + 42, 4, 1, media},
        {"media data past the end", centralAt(base, 1) + 20, 4, quint32(len - mediaData + 1), media},
        {"document local header past the end", centralAt(base, 0) + 42, 4, 0xFFFFFFF0, "Corrupt ZIP: word/document.xml lies outside the archive"},
        {"directory offset past the end", endAt(base) + 16, 4, quint32(len), outOfBounds},
        {"directory size up to the end", endAt(base) + 12, 4, quint32(len - dirOffset), {}},
        {"directory size past the end", endAt(base) + 12, 4, quint32(len - dirOffset + 1), outOfBounds},
        {"directory size wrapping 32 bits", endAt(base) + 12, 4, 0xFFFFFFFF, outOfBounds},
        {"last name running past the directory", centralAt(base, 1) + 28, 2, 0xFFFF, fewer},
        {"first comment running past the directory", centralAt(base, 0) + 32, 2, 0xFFFF, fewer},
    };
    for (const auto &c : cases) {
        QByteArray z = base;
        c.width == 2 ? put16(z, c.field, c.value) : put32(z, c.field, c.value);
        const Read r(z);
        EXPECT_EQ(s(r.err), s(c.err)) << c.what;
        EXPECT_EQ(r.ok, c.err.isEmpty()) << c.what;
    }
    // Every prefix misses the end record; every prefix followed by the end
    // record, and every single damaged byte, gives the parts as they were or a
    // documented refusal (the archive is small: all cut points cost nothing).
    const QByteArrayList parts = {"0123456789", w300};
    for (qsizetype cut = 0; cut < len; ++cut) {
        EXPECT_EQ(s(Read(base.left(cut)).err), "Not a valid ZIP (EOCD not found)");
        QByteArray damaged = base;
        damaged[cut] = char(~damaged[cut]);
        for (const QByteArray &z : {base.left(cut) + base.right(22), damaged}) {
            const Read r(z);
            QByteArrayList values = r.entries.values();
            std::sort(values.begin(), values.end());
            const bool documented = r.err.startsWith("Corrupt ZIP: ") || r.err.startsWith("Unsupported ZIP: ")
                || r.err.startsWith("Package too large: ") || r.err == "Not a valid ZIP (EOCD not found)";
            EXPECT_TRUE(r.ok ? values == parts : documented) << cut << ": " << s(r.err);
        }
    }
}

TEST(ZipRead, SizeBoundsRefuseBombsBeforeAllocating)
{
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const QByteArray bomb = deflated(QByteArray(1 << 20, '\0'));
    QByteArray z = makeZip({{"word/document.xml", bomb}});
    markDeflated(z, 0, {}, 0xFFFFFFFF);
    EXPECT_EQ(s(Read(z).err), s(QString("Corrupt ZIP: member \"word/document.xml\" declares 4294967295 bytes from %1 "
                                           "compressed bytes").arg(bomb.size())));
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256 * 1024) << "KiB more at the peak";

    // At most 1032 bytes per compressed byte, plus a little for a stream's end:
    // at the bound the member is inflated (and refused as corrupt), above refused unread.
    for (const quint32 declared : {100u * 1032 + 64, 100u * 1032 + 65}) {
        z = makeZip({{"word/document.xml", "d"}, {"x.bin", QByteArray(100, '\xFF')}});
        markDeflated(z, 1, {}, declared);
        EXPECT_EQ(s(Read(z).err), declared == 100u * 1032 + 64
                                      ? "Corrupt ZIP: x.bin does not decode to the 103264 bytes it declares"
                                      : "Corrupt ZIP: member \"x.bin\" declares 103265 bytes from 100 compressed bytes");
    }
    const quint32 big = quint32(kDocxMaxMemberSize) + 1;
    z = makeZip({{"word/document.xml", "d"},
                 {"big.bin", QByteArray(qsizetype((big - 64 + kDocxMaxDeflateRatio - 1) / kDocxMaxDeflateRatio), '\xFF')}});
    markDeflated(z, 1, {}, big);
    EXPECT_EQ(s(Read(z).err), "Package too large: member \"big.bin\" holds 1073741825 bytes (limit 1073741824)");

    // The package bound counts every member inflated, so a directory repeating
    // one member cannot make the reader work without end: 129 x 16 MiB.
    const QByteArray one = makeZip({{"part.bin", QByteArray(16 << 20, 'p')}});
    const qint64 dir = get32(one, endAt(one) + 16);
    const QByteArray entry = one.mid(dir, endAt(one) - dir);
    z = one.left(dir) + entry.repeated(129) + one.right(22);
    put16(z, endAt(z) + 10, 129), put32(z, endAt(z) + 12, quint32(entry.size() * 129));
    EXPECT_EQ(s(Read(z).err), "Package too large: parts hold more than 2147483648 bytes");

    // Files that are no archive are refused without reading more than the
    // tail that would hold an end record, and without waiting on a pipe:
    // empty, a folder, missing, a FIFO, a device, 1 GiB of zeros, 4 GiB
    // (refused by its size before anything is read).
    QTemporaryDir tmp;
    const QString empty = tmp.filePath("empty.docx"), missing = tmp.filePath("missing.docx"), fifo = tmp.filePath("fifo");
    const QString giga = tmp.filePath("1g"), huge = tmp.filePath("4g");
    QFile sparse(huge), zeros(giga);
    ASSERT_TRUE(writeFile(empty, {}) && sparse.open(QIODevice::WriteOnly) && sparse.resize(qint64(1) << 32)
                && zeros.open(QIODevice::WriteOnly) && zeros.resize(qint64(1) << 30));
    sparse.close(), zeros.close();
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const std::pair<QString, QString> files[] = {{empty, "Not a valid ZIP (EOCD not found)"},
        {tmp.path(), "Cannot open: " + tmp.path() + ": Is a directory"},
        {missing, "Cannot open: " + missing + ": No such file or directory"},
        {fifo, "Cannot open: " + fifo + ": not a regular file"}, {"/dev/zero", "Cannot open: /dev/zero: not a regular file"},
        {giga, "Not a valid ZIP (EOCD not found)"}, {huge, "Package too large: " + huge + " is 4 GiB or larger"}};
    for (const auto &[path, text] : files) {
        const qint64 readBefore = bytesRead();
        auto done = std::make_shared<std::promise<QString>>();  // a thread left waiting must not hold the test
        std::future<QString> result = done->get_future();
        std::thread([done, path = path] {
            DocxEntryMap entries;
            QString err;
            done->set_value(docxZipRead(path, entries, err) ? QString() : err);
        }).detach();
        ASSERT_EQ(result.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "waits on " << s(path);
        EXPECT_EQ(s(result.get()), s(text));
        EXPECT_LT(bytesRead() - readBefore, 1 << 20) << s(path);
    }
}

TEST(ZipWrite, MemberOrderLayoutDatesNamesAndCount)
{
    const QByteArray docXml = "<w:body>" + QByteArray("<w:p><w:r><w:t>text</w:t></w:r></w:p>").repeated(50) + "</w:body>";
    const QByteArray huffman = deflated(docXml, Z_HUFFMAN_ONLY);  // a stream the writer would not produce
    ASSERT_NE(huffman, deflated(docXml));
    const QByteArray styles = QByteArray("<w:style/>").repeated(40), rels = QByteArray("<Relationship/>").repeated(20);
    QByteArray src = makeZip({{"word/document.xml", huffman}, {"docProps/core.xml", "<core/>"},
                              {"[Content_Types].xml", "<Types/>"}, {"word/styles.xml", styles}, {"_rels/.rels", rels}});
    markDeflated(src, 0, docXml);
    const quint32 docTime = (12 << 11) | (42 << 5) | 5, docDate = ((2019 - 1980) << 9) | (1 << 5) | 31;
    for (const qint64 at : {localAt(src, 0) + 10, centralAt(src, 0) + 12})
        put16(src, at, docTime), put16(src, at + 2, docDate);
    DocxEntryMap entries;
    QString err;
    DocxZipSource source;
    ASSERT_TRUE(docxZipReadBytes(src, entries, err, &source)) << s(err);
    entries.remove("docProps/core.xml");
    entries["[Content_Types].xml"][1] = 't';                             // edited in place
    entries["_rels/.rels"] = QByteArray(rels.constData(), rels.size());  // same bytes, new buffer
    entries["word/media/b.png"] = "abc";
    entries["word/media/a.png"] = "";

    auto dosDate = [](const QDate &d) { return quint32(((d.year() - 1980) << 9) | (d.month() << 5) | d.day()); };
    const quint32 dayBefore = dosDate(QDate::currentDate());
    QByteArray out;
    ASSERT_TRUE(docxZipBuild(entries, {"[Content_Types].xml", "_rels/.rels", "absent.xml", kDoc, kDoc}, out, err, &source));
    const quint32 dayAfter = dosDate(QDate::currentDate());
    // A copied member keeps its date and time; the others, and a copied one
    // whose date is no date (month 0), carry the day of the save.
    for (int i = 0; i < 6; ++i) {
        const quint32 date = get16(out, centralAt(out, i) + 14);
        EXPECT_EQ(get16(out, localAt(out, i) + 12), date);
        if (i == 2)
            EXPECT_EQ(get16(out, centralAt(out, i) + 12) << 16 | date, docTime << 16 | docDate);
        else
            EXPECT_TRUE(date == dayBefore || date == dayAfter) << i << ": " << date;
        for (const qint64 at : {localAt(out, i) + 10, centralAt(out, i) + 12})
            put32(out, at, 0);
    }
    // Otherwise byte for byte the layout of makeZip (every field it leaves 0
    // is 0, local and central headers agree); deflated only where that makes
    // a member smaller; unchanged members copied as they were.
    QByteArray z = makeZip({
        {"[Content_Types].xml", "<types/>"}, {"_rels/.rels", deflated(rels)}, {"word/document.xml", huffman},
        {"word/styles.xml", styles}, {"word/media/a.png", ""}, {"word/media/b.png", "abc"}});
    markDeflated(z, 1, rels);
    markDeflated(z, 2, docXml);
    EXPECT_EQ(out.toHex(' ').toStdString(), z.toHex(' ').toStdString());

    // Names: UTF-8 ones are flagged as such, bytes that are no UTF-8 come back
    // as they were, names that leave the package are never written.
    const QByteArray latin1Name = "word/caf\xE9.xml";
    entries = {{docxDecodeName(latin1Name), "a"}, {QString::fromUtf8("word/caf\xC3\xA9.xml"), "b"}};
    ASSERT_TRUE(docxZipBuild(entries, {docxDecodeName(latin1Name)}, out, err)) << s(err);
    EXPECT_EQ(out.mid(centralAt(out, 0) + 46, get16(out, centralAt(out, 0) + 28)), latin1Name);
    EXPECT_EQ(get16(out, centralAt(out, 0) + 8) | get16(out, centralAt(out, 1) + 8) << 16, 0x0800u << 16);
    EXPECT_EQ(Read(out).entries, entries);
    for (const char *name : {"../x.xml", "word/./x.xml", "/x.xml"}) {
        EXPECT_FALSE(docxZipBuild({{kDoc, "d"}, {name, "x"}}, {}, out, err)) << name;
        EXPECT_EQ(s(err), std::string("Cannot write ZIP: part name leaves the package: ") + name);
    }

    // 65535 members fit the 16-bit count; one more is refused, not truncated.
    entries = {{kDoc, "d"}};
    for (int i = 1; i < 65535; ++i)
        entries.insert(QString::number(i), QByteArray());
    ASSERT_TRUE(docxZipBuild(entries, {}, out, err)) << s(err);
    EXPECT_EQ(get32(out, endAt(out) + 8), 0xFFFFFFFFu);  // on this disk and in all
    entries.insert("one too many", "x");
    EXPECT_FALSE(docxZipBuild(entries, {}, out, err));
    EXPECT_EQ(s(err), "Cannot write ZIP: 65536 parts, at most 65535 fit");
}

TEST(ZipWrite, ReplacingAFileNeverLosesTheOldOne)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("out.docx"), lost = dir.filePath("missing/out.docx");
    const QByteArray name = QFile::encodeName(path);
    const DocxEntryMap entries = {{kDoc, "<doc/>"}, {"noise.bin", noise(64 << 10)}};
    const DocxEntryMap other = {{kDoc, "<other/>"}, {"noise.bin", noise(128 << 10)}};
    QString err;
    EXPECT_FALSE(docxZipWrite(entries, {}, lost, err));
    EXPECT_EQ(s(err), s("Cannot write to: " + lost + ": No such file or directory"));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("missing")));

    ASSERT_TRUE(writeFile(path, "old"));
    ASSERT_EQ(::chmod(name.constData(), 0640), 0);
    ASSERT_TRUE(docxZipWrite(entries, {}, path, err)) << s(err);
    const QByteArray written = readFile(path);  // not compared with a build of its own: the saved time may differ
    EXPECT_EQ(readEntries(path), entries);
    struct stat st{};
    EXPECT_TRUE(::stat(name.constData(), &st) == 0 && (st.st_mode & 07777) == 0640) << "mode kept";

    // Refused with the reason, the old file kept: a read-only target (even for
    // root), a directory, a write that fails part way (a file size limit).
    ASSERT_EQ(::chmod(name.constData(), 0444), 0);
    EXPECT_FALSE(docxZipWrite(other, {}, path, err));
    EXPECT_EQ(s(err), s("Cannot write to: " + path + ": Permission denied"));
    ASSERT_EQ(::chmod(name.constData(), 0644), 0);
    EXPECT_FALSE(docxZipWrite(other, {}, dir.path(), err));
    EXPECT_EQ(s(err), s("Cannot write to: " + dir.path() + ": Is a directory"));
    EXPECT_FALSE(withFileSizeLimit(4096, [&] { return docxZipWrite(other, {}, path, err); }));
    EXPECT_EQ(s(err), s("Cannot write to: " + path + ": File too large"));
    EXPECT_EQ(readFile(path), written);
    EXPECT_EQ(listing(dir.path()), QStringList({"out.docx"}));  // no temporary file left

    // Through a chain of symbolic links the file at its end is replaced; the links stay.
    const QString link = dir.filePath("link.docx"), linkToLink = dir.filePath("link2.docx");
    ASSERT_TRUE(QFile::link(path, link) && QFile::link(link, linkToLink));
    ASSERT_TRUE(docxZipWrite(other, {}, linkToLink, err)) << s(err);
    EXPECT_TRUE(QFileInfo(link).isSymLink() && QFileInfo(linkToLink).isSymLink());
    EXPECT_EQ(readEntries(path), other);
}

// Saves that fail hand their reason to the caller, the document's error and
// the host, and leave the old file byte for byte.
TEST(ZipWrite, FailedSavesSayWhyAndKeepTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("old.docx");
    ASSERT_TRUE(writeFile(path, makePackage(documentXml("<w:p><w:r><w:t>old</w:t></w:r></w:p>"))));
    const QByteArray old = readFile(path);
    // A page whose document is larger than the limit: the blank that used to
    // be written first would fit.
    QByteArray page = "<p>" + noise(48 << 10).toBase64() + "</p>";
    EXPECT_EQ(withFileSizeLimit(8192, [&] { return lxDocx_write_html(path.toUtf8().constData(), page.constData()); }), 0);
    EXPECT_EQ(s(lxDocx_error(nullptr)), s("Cannot write to: " + path + ": File too large"));
    EXPECT_EQ(readFile(path), old);

    EXPECT_EQ(listing(dir.path()), QStringList({"old.docx"}));
    std::unique_ptr<DocxDocument> doc(DocxReader::open(path));
    ASSERT_TRUE(doc->isValid());
    doc->entries.insert("noise.bin", noise(1 << 20));

    // A disk that is really full, where the system lets us make one.
    const QString mount = dir.filePath("full");
    ASSERT_TRUE(QDir().mkpath(mount));
    const QByteArray mountName = QFile::encodeName(mount);
    if (::geteuid() != 0 || ::mount("tmpfs", mountName.constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "no small file system to fill";
    const QString target = mount + "/doc.docx";
    ASSERT_TRUE(writeFile(target, old));
    EXPECT_FALSE(DocxWriter::saveVersion(*doc, target));
    EXPECT_EQ(s(doc->errorString()), s("Cannot write to: " + target + ": No space left on device"));
    EXPECT_EQ(readFile(target), old);
    EXPECT_EQ(listing(mount), QStringList({"doc.docx"}));
    ::umount(mountName.constData());
}

TEST(ZipWrite, TemporaryFilesAreSafe)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("out.docx"), victim = dir.filePath("victim"), stale = path + ".tmp";
    const QByteArray name = QFile::encodeName(path);
    QString err;
    // What lies at a temporary name (a link to an unrelated file, a file left
    // by an earlier run) is never opened, followed or replaced.
    ASSERT_TRUE(writeFile(victim, "unrelated") && QFile::link(victim, stale) && writeFile(dir.filePath(".out.docx.tmp"), "kept"));
    ASSERT_TRUE(docxZipWrite({{kDoc, "<doc/>"}}, {}, path, err)) << s(err);
    EXPECT_EQ(readFile(victim) + readFile(dir.filePath(".out.docx.tmp")), "unrelatedkept");
    EXPECT_TRUE(QFileInfo(stale).isSymLink());
    EXPECT_FALSE(QFileInfo(path).isSymLink());
    EXPECT_EQ(listing(dir.path()), QStringList({".out.docx.tmp", "out.docx", "out.docx.tmp", "victim"}));

    // An empty path is refused and touches nothing in the working folder.
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir(dir.path()).mkdir("cwd") && QDir::setCurrent(dir.filePath("cwd")) && writeFile(".tmp", "here"));
    EXPECT_FALSE(docxZipWrite({{kDoc, "<doc/>"}}, {}, QString(), err));
    EXPECT_EQ(readFile(".tmp"), "here");
    QDir::setCurrent(cwd);
    EXPECT_EQ(s(err), "Cannot write: no file name given");

    // Four threads save one target over and over while another reads it: every
    // save succeeds and every read is one of the complete packages.
    QList<QByteArray> packages = {readFile(path)};
    for (int i = 0; i < 4; ++i) {
        QByteArray bytes;
        ASSERT_TRUE(docxZipBuild({{kDoc, QByteArray::number(i)}, {"noise.bin", noise((64 << 10) * (i + 1))}}, {}, bytes, err));
        packages.append(bytes);
    }
    std::atomic<int> failedSaves{0}, running{4};
    std::vector<std::thread> writers;
    for (int i = 1; i <= 4; ++i) {
        writers.emplace_back([&, i] {
            for (int round = 0; round < 40; ++round) {
                QString threadErr;
                failedSaves += !docxReplaceFile(path, packages[i], threadErr);
            }
            --running;
        });
    }
    int reads = 0, partial = 0;
    while (running > 0) {
        const QByteArray seen = readFile(path);
        ++reads;
        partial += !packages.contains(seen);
    }
    for (std::thread &t : writers)
        t.join();
    EXPECT_EQ(failedSaves, 0);
    EXPECT_EQ(partial, 0) << "of " << reads << " reads";
    EXPECT_TRUE(packages.mid(1).contains(readFile(path)));
    EXPECT_EQ(listing(dir.path()), QStringList({".out.docx.tmp", "cwd", "out.docx", "out.docx.tmp", "victim"}));
}

TEST(Paths, NonUtf8)
{
    // Every byte survives the trip through a QString: valid UTF-8 as its
    // characters, anything else (an encoded surrogate, an overlong form, a cut
    // sequence, a lone byte) byte by byte. (The Python package's tests open
    // and save such names through the C interface.)
    for (const QByteArray &bytes : {QByteArray("caf\xC3\xA9 \xF0\x9D\x84\x9E"), QByteArray("\xFF"),
                                    QByteArray("a\xED\xB2\x80z"), QByteArray("\xC0\xAF"), QByteArray("\xF4\x90\x80\x80"),
                                    QByteArray("\xE2\x82x\xE2"), QByteArray("\xDC\xBF\xFF\xC3")})
        EXPECT_EQ(docxEncodeName(docxDecodeName(bytes)).toHex(), bytes.toHex());
    EXPECT_EQ(docxDecodeName("caf\xC3\xA9"), QString::fromUtf8("caf\xC3\xA9"));
    EXPECT_EQ(docxDecodeName("\xFF"), QString(QChar(0xDCFF)));
}
