// The package container: reading odd and hostile archives, writing archives, replacing files without losing the old.
#include "DocxZip.h"
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

// Where the end record, central entry i and member i's local header of a comment-less archive start.
qint64 endAt(const QByteArray &z) { return z.size() - 22; }
qint64 centralAt(const QByteArray &z, int i)
{
    qint64 p = get32(z, endAt(z) + 16);
    for (; i > 0; --i)
        p += 46 + get16(z, p + 28) + get16(z, p + 30) + get16(z, p + 32);
    return p;
}
qint64 localAt(const QByteArray &z, int i) { return get32(z, centralAt(z, i) + 42); }

const Bytef *bytes(const QByteArray &data) { return reinterpret_cast<const Bytef *>(data.constData()); }
quint32 crcOf(const QByteArray &data) { return quint32(crc32(0, bytes(data), uInt(data.size()))); }
QByteArray deflated(const QByteArray &data, int level = Z_DEFAULT_COMPRESSION)
{
    QByteArray out(qsizetype(compressBound(uLong(data.size()))), '\0');
    uLongf size = uLongf(out.size());
    EXPECT_EQ(compress2(reinterpret_cast<Bytef *>(out.data()), &size, bytes(data), uLong(data.size()), level), Z_OK);
    return out.mid(2, qsizetype(size) - 6);  // the raw stream inside its zlib header and checksum
}

// Makes member i of a makeZip archive a deflated one of `inflated`, declaring `declared` bytes (default: its size).
void markDeflated(QByteArray &z, int i, const QByteArray &inflated, qint64 declared = -1)
{
    const quint32 size = quint32(declared < 0 ? inflated.size() : declared);
    for (const qint64 method : {localAt(z, i) + 8, centralAt(z, i) + 10})
        put16(z, method, 8), put32(z, method + 6, crcOf(inflated)), put32(z, method + 14, size);
}

struct Read
{
    explicit Read(const QByteArray &zip) : ok(docxZipReadBytes(zip, entries, err)) {}
    DocxEntryMap entries;
    QString err;
    bool ok;
};

// The names in a folder, hidden ones included.
QStringList listing(const QString &d) { return QDir(d).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); }

// Runs `f` with the process unable to write files larger than `limit`.
template <typename F>
auto withFileSizeLimit(rlim_t limit, F f)
{
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit small{limit, saved.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending the process
    setrlimit(RLIMIT_FSIZE, &small);
    const auto result = f();
    setrlimit(RLIMIT_FSIZE, &saved);
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
    markDeflated(z, 2, ""), markDeflated(z, 3, "hello");
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
    // The last full end record counts, even one in a comment: here one whose directory ends before the last entry.
    QByteArray later = z.right(22);
    put16(later, 10, 11), put32(later, 12, quint32(centralAt(z, 11) - centralAt(z, 0)));
    put16(z, endAt(z) + 20, 22);
    expected.remove("tail.xml");
    EXPECT_EQ(Read(z + later).entries, expected);
}

// A member that does not decode exactly, or a header or size pointing outside the archive, refuses the package.
TEST(ZipRead, CorruptMembersLyingSizesAndTruncationFailCleanly)
{
    const QByteArray text = QByteArray("<w:p>text</w:p>").repeated(20);
    QByteArray base = makeZip({{"word/document.xml", "0123456789"}, {"part.z", deflated(text)}});
    markDeflated(base, 1, text);
    ASSERT_TRUE(Read(base).ok) << s(Read(base).err);
    const qint64 len = base.size(), dir = get32(base, endAt(base) + 16), end = endAt(base);
    const qint64 doc = centralAt(base, 0), part = centralAt(base, 1);
    const qint64 docData = localAt(base, 0) + 30 + 17, partData = localAt(base, 1) + 30 + 6;
    const QString corrupt = "Corrupt ZIP: ", outside = "Corrupt ZIP: part.z lies outside the archive";
    const QString fewer = corrupt + "the central directory holds fewer entries than it counts";
    const QString outOfBounds = corrupt + "central directory out of bounds";
    const struct { const char *what; qint64 at; int width; quint32 value; QString err; } cases[] = {
        {"a changed byte", docData, 2, 'X', corrupt + "CRC mismatch in word/document.xml"},
        {"a changed CRC", part + 16, 4, 1, corrupt + "CRC mismatch in part.z"},
        {"a corrupt stream", partData, 2, 0xFF, corrupt + "part.z does not decode to the 300 bytes it declares"},
        {"longer than declared", part + 24, 4, 299, corrupt + "part.z does not decode to the 299 bytes it declares"},
        {"shorter than declared", part + 24, 4, 301, corrupt + "part.z does not decode to the 301 bytes it declares"},
        {"stored size differs", doc + 24, 4, 3, corrupt + "word/document.xml does not decode to the 3 bytes it declares"},
        {"another method", part + 10, 2, 12, "Unsupported ZIP: part.z uses compression method 12"},
        {"encryption", part + 8, 2, 1, "Unsupported ZIP: part.z is encrypted"},
        {"more counted", end + 10, 2, 3, fewer},
        {"fewer counted", end + 10, 2, 1, corrupt + "the central directory holds more entries than it counts"},
        {"a local header past the end", part + 42, 4, quint32(len), outside},
        {"a local header elsewhere", part + 42, 4, 1, outside},
        {"data past the end", part + 20, 4, quint32(len - partData + 1), outside},
        {"header far past the end", doc + 42, 4, 0xFFFFFFF0, corrupt + "word/document.xml lies outside the archive"},
        {"directory offset past the end", end + 16, 4, quint32(len), outOfBounds},
        {"directory size up to the end", end + 12, 4, quint32(len - dir), {}},
        {"directory size past the end", end + 12, 4, quint32(len - dir + 1), outOfBounds},
        {"directory size wrapping 32 bits", end + 12, 4, 0xFFFFFFFF, outOfBounds},
        {"last name running past the directory", part + 28, 2, 0xFFFF, fewer},
        {"first comment running past the directory", doc + 32, 2, 0xFFFF, fewer},
    };
    for (const auto &c : cases) {
        QByteArray z = base;
        (c.width == 2 ? put16 : put32)(z, c.at, c.value);
        const Read r(z);
        EXPECT_EQ(s(r.err), s(c.err)) << c.what;
        EXPECT_EQ(r.ok, c.err.isEmpty()) << c.what;
    }
    // Names that climb out of the package are refused, whatever the slashes.
    for (const char *name : {"../x.xml", "word/../../x.xml", "/etc/x.xml", "word\\..\\x.xml", "C:/x.xml", "./x.xml"})
        EXPECT_EQ(s(Read(makeZip({{"word/document.xml", "d"}, {name, "x"}})).err),
                  "Corrupt ZIP: member name leaves the package: " + std::string(name));
    // Every cut or damaged byte gives the parts as they were or a documented refusal (all cut points: it is small).
    const QByteArrayList parts = {"0123456789", text};
    for (qsizetype cut = 0; cut < len; ++cut) {
        EXPECT_EQ(s(Read(base.left(cut)).err), "Not a valid ZIP (EOCD not found)");
        // A compound file (what Office puts a password-protected document in) is named for what it is.
        EXPECT_EQ(s(Read(QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") + base.left(cut)).err),
                  "An encrypted (password-protected) Office document, or one in the older binary format: this library "
                  "opens DOCX packages only");
        QByteArray damaged = base;
        damaged[cut] = char(~damaged[cut]);
        for (const QByteArray &z : {base.left(cut) + base.right(22), damaged}) {
            const Read r(z);
            QByteArrayList values = r.entries.values();
            std::sort(values.begin(), values.end());
            const bool documented = r.err.startsWith(corrupt) || r.err.startsWith("Unsupported ZIP: ")
                || r.err.startsWith("Package too large: ") || r.err == "Not a valid ZIP (EOCD not found)";
            EXPECT_TRUE(r.ok ? values == parts : documented) << cut << ": " << s(r.err);
        }
    }
}

TEST(ZipRead, SizeBoundsRefuseBombsBeforeAllocating)
{
    // At most 1032 bytes per compressed byte plus a stream's end: at the bound inflated (and corrupt), above refused.
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const QByteArray bomb = deflated(QByteArray(1 << 20, '\0')), ff(100, '\xFF');
    const quint32 big = quint32(kDocxMaxMemberSize) + 1;
    const struct { QByteArray data; quint32 declared; QString err; } members[] = {
        {bomb, 0xFFFFFFFF,
         QString("Corrupt ZIP: member \"x.bin\" declares 4294967295 bytes from %1 compressed bytes").arg(bomb.size())},
        {ff, 100 * 1032 + 64, "Corrupt ZIP: x.bin does not decode to the 103264 bytes it declares"},
        {ff, 100 * 1032 + 65, "Corrupt ZIP: member \"x.bin\" declares 103265 bytes from 100 compressed bytes"},
        {QByteArray(qsizetype((big - 64 + kDocxMaxDeflateRatio - 1) / kDocxMaxDeflateRatio), '\xFF'), big,
         "Package too large: member \"x.bin\" holds 1073741825 bytes (limit 1073741824)"}};
    for (const auto &m : members) {
        QByteArray z = makeZip({{"word/document.xml", "d"}, {"x.bin", m.data}});
        markDeflated(z, 1, {}, m.declared);
        EXPECT_EQ(s(Read(z).err), s(m.err));
    }
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256 * 1024) << "KiB more at the peak";
    // The package bound counts every member inflated: a directory repeating one member 129 x 16 MiB is refused.
    const QByteArray one = makeZip({{"part.bin", QByteArray(16 << 20, 'p')}});
    const qint64 dir = get32(one, endAt(one) + 16);
    const QByteArray entry = one.mid(dir, endAt(one) - dir);
    QByteArray z = one.left(dir) + entry.repeated(129) + one.right(22);
    put16(z, endAt(z) + 10, 129), put32(z, endAt(z) + 12, quint32(entry.size() * 129));
    EXPECT_EQ(s(Read(z).err), "Package too large: parts hold more than 2147483648 bytes");
    // Files that are no archive are refused reading no more than an end record's tail, and never wait on a pipe.
    QTemporaryDir tmp;
    const QString empty = tmp.filePath("empty.docx"), missing = tmp.filePath("missing.docx"), fifo = tmp.filePath("fifo");
    const QString giga = tmp.filePath("1g"), huge = tmp.filePath("4g");
    ASSERT_TRUE(writeFile(empty, {}) && writeFile(giga, {}) && writeFile(huge, {}) && QFile::resize(giga, qint64(1) << 30)
                && QFile::resize(huge, qint64(1) << 32) && ::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    const std::pair<QString, QString> files[] = {{empty, "Not a valid ZIP (EOCD not found)"},
        {tmp.path(), "Cannot open: " + tmp.path() + ": Is a directory"},
        {missing, "Cannot open: " + missing + ": No such file or directory"},
        {fifo, "Cannot open: " + fifo + ": not a regular file"}, {"/dev/zero", "Cannot open: /dev/zero: not a regular file"},
        {giga, "Not a valid ZIP (EOCD not found)"}, {huge, "Package too large: " + huge + " is 4 GiB or larger"}};
    for (const auto &[path, text] : files) {
        const qint64 readBefore = bytesRead();
        auto done = std::make_shared<std::promise<QString>>();  // a thread left waiting must not hold the test
        std::thread([done, path = path, entries = DocxEntryMap(), err = QString()]() mutable {
            done->set_value(docxZipRead(path, entries, err) ? QString() : err);
        }).detach();
        std::future<QString> result = done->get_future();
        ASSERT_EQ(result.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "waits on " << s(path);
        EXPECT_EQ(s(result.get()), s(text));
        EXPECT_LT(bytesRead() - readBefore, 1 << 20) << s(path);
    }
}

TEST(ZipWrite, MembersInTheirOrderDatedAndDeflatedOnlyWhereSmaller)
{
    const QByteArray docXml = "<w:body>" + QByteArray("<w:p><w:r><w:t>text</w:t></w:r></w:p>").repeated(50) + "</w:body>";
    const QByteArray fast = deflated(docXml, Z_BEST_SPEED);  // a stream the writer would not produce
    ASSERT_NE(fast, deflated(docXml));
    const QByteArray styles = QByteArray("<w:style/>").repeated(40), rels = QByteArray("<Relationship/>").repeated(20);
    QByteArray src = makeZip({{"word/document.xml", fast}, {"docProps/core.xml", "<core/>"},
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
    entries.insert("word/media/b.png", "abc"), entries.insert("word/media/a.png", "");
    auto dosDate = [](const QDate &d) { return quint32(((d.year() - 1980) << 9) | (d.month() << 5) | d.day()); };
    const quint32 dayBefore = dosDate(QDate::currentDate());
    QByteArray out;
    ASSERT_TRUE(docxZipBuild(entries, {"[Content_Types].xml", "_rels/.rels", "absent.xml", kDoc, kDoc}, out, err, &source));
    const quint32 dayAfter = dosDate(QDate::currentDate());
    // A copied member keeps its date and time; the others, and one dated month 0, carry the day of the save.
    for (int i = 0; i < 6; ++i) {
        const quint32 stamp = get32(out, centralAt(out, i) + 12), date = stamp >> 16;
        EXPECT_EQ(get32(out, localAt(out, i) + 10), stamp);
        EXPECT_TRUE(i == 2 ? stamp == (docDate << 16 | docTime) : date == dayBefore || date == dayAfter) << i;
    }
    // Read by Python's zipfile (which checks every CRC) and by unzip: the members in the order asked, then the rest;
    // deflated only where smaller, the unchanged members copied as they were (the document keeps its own stream).
    QTemporaryDir dir;
    ASSERT_TRUE(writeFile(dir.filePath("out.zip"), out));
    QString listing;
    EXPECT_EQ(run(systemPython(), {"-c", "import sys, zipfile, zlib\nfor i in zipfile.ZipFile(sys.argv[1]).infolist(): "
                  "print(i.filename, i.compress_type, i.file_size, i.compress_size, zlib.crc32(zipfile.ZipFile("
                  "sys.argv[1]).read(i)))", dir.filePath("out.zip")}, &listing), 0);
    auto line = [](const char *name, int method, const QByteArray &data, qsizetype stored = -1) {
        return QString("%1 %2 %3 %4 %5").arg(name).arg(method).arg(data.size()).arg(stored < 0 ? data.size() : stored)
            .arg(crc32(0, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size())));
    };
    EXPECT_EQ(listing.split('\n', Qt::SkipEmptyParts),
              QStringList({line("[Content_Types].xml", 0, "<types/>"), line("_rels/.rels", 8, rels, deflated(rels).size()),
                           line("word/document.xml", 8, docXml, fast.size()), line("word/styles.xml", 0, styles),
                           line("word/media/a.png", 0, ""), line("word/media/b.png", 0, "abc")}));
    const qint64 docData = localAt(out, 2) + 30 + get16(out, localAt(out, 2) + 26) + get16(out, localAt(out, 2) + 28);
    EXPECT_EQ(out.mid(docData, fast.size()), fast);
    if (!unzipProgram().isEmpty()) {
        EXPECT_EQ(run(unzipProgram(), {"-tqq", dir.filePath("out.zip")}), 0);
    }
}

// UTF-8 names are flagged; other bytes come back as they were, also through a QString; no name leaves the package.
TEST(ZipWrite, NamesKeepTheirBytesAndNeverLeaveThePackage)
{
    QByteArray out;
    QString err;
    const auto build = [&](const DocxEntryMap &e) { return docxZipBuild(e, {}, out, err) ? "built" : s(err); };
    for (const QByteArray &bytes : QByteArrayList{"caf\xC3\xA9 \xF0\x9D\x84\x9E", "\xFF", "a\xED\xB2\x80z", "\xC0\xAF",
                                                  "\xF4\x90\x80\x80", "\xE2\x82x\xE2", "\xDC\xBF\xFF\xC3"})
        EXPECT_EQ(docxEncodeName(docxDecodeName(bytes)).toHex(), bytes.toHex());
    const QByteArray latin1Name = "word/caf\xE9.xml";
    const DocxEntryMap entries = {{docxDecodeName(latin1Name), "a"}, {QString::fromUtf8("word/caf\xC3\xA9.xml"), "b"}};
    ASSERT_TRUE(docxZipBuild(entries, {docxDecodeName(latin1Name)}, out, err)) << s(err);
    EXPECT_EQ(out.mid(centralAt(out, 0) + 46, get16(out, centralAt(out, 0) + 28)), latin1Name);
    EXPECT_EQ(get16(out, centralAt(out, 0) + 8) | get16(out, centralAt(out, 1) + 8) << 16, 0x0800u << 16);
    EXPECT_EQ(Read(out).entries, entries);
    for (const char *name : {"../x.xml", "word/./x.xml", "/x.xml"})
        EXPECT_EQ(build({{kDoc, "d"}, {name, "x"}}), std::string("Cannot write ZIP: part name leaves the package: ") + name);
}

// 65535 members fit the 16-bit count; one more is refused, not truncated.
TEST(ZipWrite, AtMost65535MembersAndOneMoreRefused)
{
    QByteArray out;
    QString err;
    const auto build = [&](const DocxEntryMap &e) { return docxZipBuild(e, {}, out, err) ? "built" : s(err); };
    DocxEntryMap entries = {{kDoc, "d"}};
    for (int i = 1; i < 65535; ++i)
        entries.insert(QString::number(i), QByteArray());
    ASSERT_EQ(build(entries), "built");
    EXPECT_EQ(get32(out, endAt(out) + 8), 0xFFFFFFFFu);  // on this disk and in all
    entries.insert("one too many", "x");
    EXPECT_EQ(build(entries), "Cannot write ZIP: 65536 parts, at most 65535 fit");
}

// A file is replaced whole or not at all, keeping its mode, through links, never touching what lies at temporary names.
TEST(ZipWrite, ReplacingAFileNeverLosesTheOldOne)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("out.docx"), lost = dir.filePath("missing/out.docx"), victim = dir.filePath("victim");
    const QByteArray name = QFile::encodeName(path);
    const DocxEntryMap entries = {{kDoc, "<doc/>"}, {"noise.bin", noise(64 << 10)}};
    const DocxEntryMap other = {{kDoc, "<other/>"}, {"noise.bin", noise(128 << 10)}};
    QString err;
    const auto refusal = [&](const DocxEntryMap &e, const QString &to) {
        return docxZipWrite(e, {}, to, err) ? "saved" : s(err);
    };
    EXPECT_EQ(refusal(entries, lost), s("Cannot write to: " + lost + ": No such file or directory"));
    EXPECT_EQ(refusal(entries, QString()), "Cannot write: no file name given");
    ASSERT_TRUE(writeFile(path, "old") && writeFile(victim, "unrelated") && QFile::link(victim, path + ".tmp")
                && writeFile(dir.filePath(".out.docx.tmp"), "kept"));
    ASSERT_EQ(::chmod(name.constData(), 0640), 0);
    ASSERT_EQ(refusal(entries, path), "saved");
    const QByteArray written = readFile(path);  // not compared with a build of its own: the saved time may differ
    struct stat st{};
    EXPECT_TRUE(readEntries(path) == entries && ::stat(name.constData(), &st) == 0 && (st.st_mode & 07777) == 0640);
    EXPECT_EQ(readFile(victim) + readFile(dir.filePath(".out.docx.tmp")), "unrelatedkept");
    EXPECT_TRUE(QFileInfo(path + ".tmp").isSymLink() && !QFileInfo(path).isSymLink());
    ASSERT_EQ(::chmod(name.constData(), 0444), 0);  // refused even for root
    EXPECT_EQ(refusal(other, path), s("Cannot write to: " + path + ": Permission denied"));
    ASSERT_EQ(::chmod(name.constData(), 0644), 0);
    EXPECT_EQ(refusal(other, dir.path()), s("Cannot write to: " + dir.path() + ": Is a directory"));
    const std::string tooLarge = s("Cannot write to: " + path + ": File too large");
    EXPECT_EQ(withFileSizeLimit(4096, [&] { return refusal(other, path); }), tooLarge);
    EXPECT_EQ(readFile(path), written);
    EXPECT_EQ(listing(dir.path()), QStringList({".out.docx.tmp", "out.docx", "out.docx.tmp", "victim"}));
    const QString link = dir.filePath("link.docx"), linkToLink = dir.filePath("link2.docx");
    ASSERT_TRUE(QFile::link(path, link) && QFile::link(link, linkToLink));
    ASSERT_EQ(refusal(other, linkToLink), "saved");
    EXPECT_TRUE(QFileInfo(link).isSymLink() && QFileInfo(linkToLink).isSymLink() && readEntries(path) == other);
    // A host's save of a page larger than the limit fails (the blank that used to be written first would fit).
    const QByteArray old = makePackage(documentXml("<w:p><w:r><w:t>old</w:t></w:r></w:p>"));
    const QByteArray page = "<p>" + noise(48 << 10).toBase64() + "</p>";
    ASSERT_TRUE(writeFile(path, old));
    EXPECT_EQ(withFileSizeLimit(8192, [&] { return lxDocx_write_html(path.toUtf8().constData(), page.constData()); }), 0);
    EXPECT_EQ(lxDocx_error(nullptr), tooLarge);
    EXPECT_EQ(readFile(path), old);
    EXPECT_EQ(listing(dir.path()), QStringList({".out.docx.tmp", "link.docx", "link2.docx", "out.docx", "out.docx.tmp",
                                                "victim"}));
}

// Threads saving one target at once while another reads it: every save succeeds, every read is a whole package.
TEST(ZipWrite, ConcurrentSavesNeverShowAPartialFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("out.docx");
    QList<QByteArray> packages;
    QString err;
    for (int i = 0; i < 4; ++i) {
        QByteArray bytes;
        ASSERT_TRUE(docxZipBuild({{kDoc, QByteArray::number(i)}, {"noise.bin", noise((64 << 10) * (i + 1))}}, {}, bytes, err));
        packages.append(bytes);
    }
    ASSERT_TRUE(writeFile(path, packages[0]));
    std::atomic<int> failedSaves{0}, running{4};
    std::vector<std::thread> writers;
    for (int i = 0; i < 4; ++i) {
        writers.emplace_back([&, i] {
            for (int round = 0; round < 40; ++round) {
                QString threadErr;
                failedSaves += !docxReplaceFile(path, packages[i], threadErr);
            }
            --running;
        });
    }
    int reads = 0, partial = 0;
    for (; running > 0; ++reads)
        partial += !packages.contains(readFile(path));
    for (std::thread &t : writers)
        t.join();
    EXPECT_EQ(failedSaves, 0);
    EXPECT_EQ(partial, 0) << "of " << reads << " reads";
    EXPECT_EQ(listing(dir.path()), QStringList({"out.docx"}));
}
