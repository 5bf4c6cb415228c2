#include "DocxZip.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

constexpr quint32 kEndRecordSignature = 0x06054b50;
constexpr quint32 kCentralHeaderSignature = 0x02014b50;
constexpr quint32 kLocalHeaderSignature = 0x04034b50;
constexpr qint64 kEndRecordSize = 22;
constexpr char kCompoundFileSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
constexpr qint64 kMaxCommentSize = 0xFFFF;
constexpr qint64 kCentralHeaderSize = 46;
constexpr qint64 kLocalHeaderSize = 30;
constexpr quint16 kMethodStored = 0;
constexpr quint16 kMethodDeflated = 8;
constexpr quint16 kFlagEncrypted = 0x0001;
constexpr quint16 kFlagUtf8Name = 0x0800;
constexpr quint16 kVersion = 20;
constexpr qint64 kMaxZipCount = 0xFFFF;
constexpr qint64 kMaxZipSize = 0xFFFFFFFFLL;
constexpr qint64 kReservePerEntry = 2048;
constexpr qint64 kDeflateStreamSlack = 64;
constexpr char16_t kFirstEscape = 0xDC80;  // stands for the byte 0x80; U+DCFF for 0xFF
constexpr char16_t kLastEscape = 0xDCFF;
constexpr int kMaxLinkHops = 40;
constexpr int kTemporaryAttempts = 100;
constexpr qsizetype kMaxTemporaryStem = 200;  // of the target's name, in bytes, within a temporary name

quint16 readU16(const uchar *p) { return quint16(p[0] | (p[1] << 8)); }
quint32 readU32(const uchar *p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

void appendU16(QByteArray &out, quint32 v)
{
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}
void appendU32(QByteArray &out, quint32 v)
{
    appendU16(out, v & 0xFFFF);
    appendU16(out, v >> 16);
}

quint32 crcOf(const QByteArray &data)
{
    return quint32(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef *>(data.constData()),
                         uInt(data.size())));
}

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// One inflate call into a buffer of exactly the declared size; true when the
// stream ends having filled it exactly (an empty input stands for no bytes).
bool inflateExact(const QByteArray &data, quint32 declaredSize, QByteArray &out)
{
    out = QByteArray(qsizetype(declaredSize), Qt::Uninitialized);
    if (data.isEmpty())
        return declaredSize == 0;
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK)
        return false;
    char none = 0;  // zlib wants somewhere to write even when nothing is to be written
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef *>(declaredSize ? out.data() : &none);
    zs.avail_out = declaredSize;
    const int rc = inflate(&zs, Z_FINISH);
    const bool exact = rc == Z_STREAM_END && zs.total_out == declaredSize;
    inflateEnd(&zs);
    return exact;
}

// One deflate call into a buffer large enough for incompressible data; empty
// when the call does not finish the stream.
QByteArray deflateRaw(const QByteArray &data)
{
    if (data.isEmpty())
        return {};
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(data.size() + data.size() / 10 + kDeflateStreamSlack, Qt::Uninitialized);
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = uInt(out.size());
    const int rc = deflate(&zs, Z_FINISH);
    const qsizetype produced = qsizetype(zs.total_out);
    deflateEnd(&zs);
    if (rc != Z_STREAM_END)
        return {};
    out.truncate(produced);
    return out;
}

// ---- names ------------------------------------------------------------------

// The length of the valid UTF-8 sequence at `p` (before `end`), or 0.
int utf8SequenceLength(const uchar *p, const uchar *end)
{
    const uchar c = *p;
    const int len = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (len == 0 || end - p < len)
        return 0;
    return QByteArrayView(p, len).isValidUtf8() ? len : 0;
}

bool isAscii(const QByteArray &bytes)
{
    return std::none_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) >= 0x80; });
}

bool isEscape(const QString &name, qsizetype i)
{
    const char16_t u = name.at(i).unicode();
    return u >= kFirstEscape && u <= kLastEscape && (i == 0 || !name.at(i - 1).isHighSurrogate());
}

// ---- reading ------------------------------------------------------------------

// Where the archive's bytes come from: a file read by ranges, or bytes in memory.
class ArchiveInput
{
public:
    explicit ArchiveInput(const QByteArray &bytes) : bytes_(bytes), size_(bytes.size()) {}
    ArchiveInput(int fd, qint64 size, const QString &path) : fd_(fd), size_(size), path_(path) {}

    qint64 size() const { return size_; }

    // The `len` bytes at `offset`, which the caller has checked lie inside the
    // archive; false with `err` set when the file cannot give them.
    bool read(qint64 offset, qint64 len, QByteArray &out, QString &err) const
    {
        if (fd_ < 0) {
            out = bytes_.sliced(offset, len);
            out.detach();  // the input may be raw data that ends with the call
            return true;
        }
        out = QByteArray(qsizetype(len), Qt::Uninitialized);
        qint64 done = 0;
        while (done < len) {
            const ssize_t n = ::pread(fd_, out.data() + done, size_t(len - done), off_t(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                err = QStringLiteral("Cannot open: %1: %2")
                          .arg(path_, n < 0 ? systemError(errno) : QStringLiteral("the file shrank while it was read"));
                return false;
            }
            done += n;
        }
        return true;
    }

private:
    int fd_ = -1;
    QByteArray bytes_;
    qint64 size_ = 0;
    QString path_;
};

struct CentralEntry
{
    QString name;
    quint16 flags = 0;
    quint16 method = 0;
    quint16 dosTime = 0;
    quint16 dosDate = 0;
    quint32 crc = 0;
    quint32 compressedSize = 0;
    quint32 uncompressedSize = 0;
    quint32 localOffset = 0;
};

// The position of the last end record's signature in `tail`, or -1.
qint64 findEndRecord(const QByteArray &tail)
{
    const auto *d = reinterpret_cast<const uchar *>(tail.constData());
    for (qint64 p = tail.size() - kEndRecordSize; p >= 0; --p) {
        if (readU32(d + p) == kEndRecordSignature)
            return p;
    }
    return -1;
}

// The `count` entries of the central directory `dir`. False with `err` when
// the directory holds fewer or more entries than it counts, or one is cut short.
bool readDirectory(const QByteArray &dir, int count, QList<CentralEntry> &out, QString &err)
{
    const auto *d = reinterpret_cast<const uchar *>(dir.constData());
    const qint64 len = dir.size();
    qint64 pos = 0;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        const uchar *h = d + pos;
        if (pos + kCentralHeaderSize > len || readU32(h) != kCentralHeaderSignature
            || pos + kCentralHeaderSize + readU16(h + 28) > len) {
            err = QStringLiteral("Corrupt ZIP: the central directory holds fewer entries than it counts");
            return false;
        }
        CentralEntry e;
        e.flags = readU16(h + 8);
        e.method = readU16(h + 10);
        e.dosTime = readU16(h + 12);
        e.dosDate = readU16(h + 14);
        e.crc = readU32(h + 16);
        e.compressedSize = readU32(h + 20);
        e.uncompressedSize = readU32(h + 24);
        e.localOffset = readU32(h + 42);
        const quint16 nameLen = readU16(h + 28);
        e.name = docxDecodeName(QByteArrayView(h + kCentralHeaderSize, nameLen));
        pos += kCentralHeaderSize + nameLen + readU16(h + 30) + readU16(h + 32);
        out.append(e);
    }
    if (pos + 4 <= len && readU32(d + pos) == kCentralHeaderSignature) {
        err = QStringLiteral("Corrupt ZIP: the central directory holds more entries than it counts");
        return false;
    }
    return true;
}

// Checks the sizes a member declares against what its data could possibly hold
// and against the package bounds; `total` accumulates the inflated sizes.
bool checkDeclaredSize(const CentralEntry &e, qint64 &total, QString &err)
{
    qint64 inflated = e.compressedSize;
    if (e.method == kMethodDeflated) {
        inflated = e.uncompressedSize;
        if (inflated > qint64(e.compressedSize) * kDocxMaxDeflateRatio + kDeflateStreamSlack) {
            err = QStringLiteral("Corrupt ZIP: member \"%1\" declares %2 bytes from %3 compressed bytes")
                      .arg(e.name).arg(e.uncompressedSize).arg(e.compressedSize);
            return false;
        }
    }
    if (inflated > kDocxMaxMemberSize) {
        err = QStringLiteral("Package too large: member \"%1\" holds %2 bytes (limit %3)")
                  .arg(e.name).arg(inflated).arg(kDocxMaxMemberSize);
        return false;
    }
    total += inflated;
    if (total > kDocxMaxPackageSize) {
        err = QStringLiteral("Package too large: parts hold more than %1 bytes").arg(kDocxMaxPackageSize);
        return false;
    }
    return true;
}

// A member the reader can decode exactly: a name inside the package, a
// method it knows, no encryption.
bool checkMemberKind(const CentralEntry &e, QString &err)
{
    if (!docxMemberNameIsInside(e.name))
        err = QStringLiteral("Corrupt ZIP: member name leaves the package: %1").arg(e.name);
    else if (e.flags & kFlagEncrypted)
        err = QStringLiteral("Unsupported ZIP: %1 is encrypted").arg(e.name);
    else if (e.method != kMethodStored && e.method != kMethodDeflated)
        err = QStringLiteral("Unsupported ZIP: %1 uses compression method %2").arg(e.name).arg(e.method);
    else
        return true;
    return false;
}

// The member's data as the archive stores it.
bool readStoredData(const ArchiveInput &in, const CentralEntry &e, QByteArray &stored, QString &err)
{
    const QString outside = QStringLiteral("Corrupt ZIP: %1 lies outside the archive").arg(e.name);
    const qint64 local = e.localOffset;
    QByteArray header;
    if (local + kLocalHeaderSize > in.size()) {
        err = outside;
        return false;
    }
    if (!in.read(local, kLocalHeaderSize, header, err))
        return false;
    const auto *h = reinterpret_cast<const uchar *>(header.constData());
    const qint64 dataStart = local + kLocalHeaderSize + readU16(h + 26) + readU16(h + 28);
    if (readU32(h) != kLocalHeaderSignature || dataStart + qint64(e.compressedSize) > in.size()) {
        err = outside;
        return false;
    }
    return in.read(dataStart, e.compressedSize, stored, err);
}

// The member's bytes, decoded and checked against the size and CRC it declares.
bool decodeMember(const CentralEntry &e, const QByteArray &stored, QByteArray &bytes, QString &err)
{
    bytes = stored;
    const bool decoded = e.method == kMethodDeflated ? inflateExact(stored, e.uncompressedSize, bytes)
                                                     : stored.size() == qint64(e.uncompressedSize);
    if (!decoded) {
        err = QStringLiteral("Corrupt ZIP: %1 does not decode to the %2 bytes it declares").arg(e.name).arg(e.uncompressedSize);
        return false;
    }
    if (crcOf(bytes) != e.crc) {
        err = QStringLiteral("Corrupt ZIP: CRC mismatch in %1").arg(e.name);
        return false;
    }
    return true;
}

// The file is a compound file, the container Office puts a password-
// protected document in (and its older binary formats), not a ZIP.
bool isCompoundFile(const ArchiveInput &in)
{
    const qint64 size = qint64(sizeof(kCompoundFileSignature) - 1);
    QByteArray start;
    QString ignored;
    return in.size() >= size && in.read(0, size, start, ignored)
        && start == QByteArray::fromRawData(kCompoundFileSignature, size);
}

bool readArchive(const ArchiveInput &in, DocxEntryMap &entries, QString &err, DocxZipSource *source)
{
    const qint64 len = in.size();
    const qint64 tailSize = std::min(len, kEndRecordSize + kMaxCommentSize);
    QByteArray tail;
    if (!in.read(len - tailSize, tailSize, tail, err))
        return false;
    const qint64 end = findEndRecord(tail);
    if (end < 0) {
        err = isCompoundFile(in) ? QStringLiteral("An encrypted (password-protected) Office document, or one in the "
                                                  "older binary format: this library opens DOCX packages only")
                                 : QStringLiteral("Not a valid ZIP (EOCD not found)");
        return false;
    }
    const auto *record = reinterpret_cast<const uchar *>(tail.constData()) + end;
    const quint16 count = readU16(record + 10);
    const quint32 dirSize = readU32(record + 12);
    const quint32 dirOffset = readU32(record + 16);
    if (qint64(dirOffset) + dirSize > len) {
        err = QStringLiteral("Corrupt ZIP: central directory out of bounds");
        return false;
    }
    QByteArray dir;
    QList<CentralEntry> directory;
    if (!in.read(dirOffset, dirSize, dir, err) || !readDirectory(dir, count, directory, err))
        return false;
    if (source) {
        source->members.clear();
        source->order.clear();
    }

    qint64 total = 0;
    for (const CentralEntry &e : std::as_const(directory)) {
        if (e.name.endsWith(QLatin1Char('/')))
            continue;  // a folder
        if (!checkMemberKind(e, err) || !checkDeclaredSize(e, total, err))
            return false;
        QByteArray stored, bytes;
        if (!readStoredData(in, e, stored, err) || !decodeMember(e, stored, bytes, err))
            return false;
        if (source) {
            if (!entries.contains(e.name))
                source->order.append(e.name);
            source->members.insert(e.name, {bytes, e.method == kMethodStored ? bytes : stored, e.crc, e.method,
                                            e.dosTime, e.dosDate});
        }
        entries.insert(e.name, bytes);
    }
    return true;
}

// ---- writing ------------------------------------------------------------------

struct DosStamp
{
    quint16 time = 0;
    quint16 date = 0;
};

// MS-DOS time and date of a local time, within the years the format can hold.
DosStamp dosStamp(const QDateTime &when)
{
    const QDate first(1980, 1, 1), last(2107, 12, 31);
    const QDate d = std::clamp(when.date(), first, last);
    const QTime t = when.date() < first ? QTime(0, 0) : when.date() > last ? QTime(23, 59, 58) : when.time();
    return {quint16((t.hour() << 11) | (t.minute() << 5) | (t.second() / 2)),
            quint16(((d.year() - 1980) << 9) | (d.month() << 5) | d.day())};
}

bool isValidDosStamp(quint16 time, quint16 date)
{
    const int month = (date >> 5) & 0x0F, day = date & 0x1F;
    const int hour = time >> 11, minute = (time >> 5) & 0x3F, halfSeconds = time & 0x1F;
    return month >= 1 && month <= 12 && day >= 1 && hour < 24 && minute < 60 && halfSeconds < 30;
}

struct LocalRecord
{
    quint16 flags = 0;
    quint16 method = 0;
    DosStamp stamp;
    quint32 crc = 0;
    quint32 compressedSize = 0;
    quint32 uncompressedSize = 0;
    quint32 localOffset = 0;
};

// The fields local and central headers share, from "version needed" on.
void appendCommonFields(QByteArray &out, const LocalRecord &r, const QByteArray &name)
{
    appendU16(out, kVersion);  // needed to extract
    appendU16(out, r.flags);
    appendU16(out, r.method);
    appendU16(out, r.stamp.time);
    appendU16(out, r.stamp.date);
    appendU32(out, r.crc);
    appendU32(out, r.compressedSize);
    appendU32(out, r.uncompressedSize);
    appendU16(out, quint32(name.size()));
    appendU16(out, 0);  // extra field
}

void appendLocalHeader(QByteArray &out, const LocalRecord &r, const QByteArray &name)
{
    appendU32(out, kLocalHeaderSignature);
    appendCommonFields(out, r, name);
    out.append(name);
}

void appendCentralHeader(QByteArray &out, const LocalRecord &r, const QByteArray &name)
{
    appendU32(out, kCentralHeaderSignature);
    appendU16(out, kVersion);  // made by
    appendCommonFields(out, r, name);
    appendU16(out, 0);  // comment
    appendU16(out, 0);  // disk number
    appendU16(out, 0);  // internal attributes
    appendU32(out, 0);  // external attributes
    appendU32(out, r.localOffset);
    out.append(name);
}

QStringList memberOrder(const DocxEntryMap &entries, const QStringList &order, const DocxZipSource *source)
{
    QStringList names;
    QSet<QString> seen;
    auto take = [&](const QString &name) {
        if (entries.contains(name) && !seen.contains(name)) {
            seen.insert(name);
            names.append(name);
        }
    };
    for (const QString &name : order)
        take(name);
    if (source) {
        for (const QString &name : source->order)
            take(name);
    }
    QStringList added;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (!seen.contains(it.key()))
            added.append(it.key());
    }
    std::sort(added.begin(), added.end());
    names += added;
    return names;
}

// ---- replacing the file ---------------------------------------------------------

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

QByteArray fileNameOf(const QByteArray &path) { return path.mid(path.lastIndexOf('/') + 1); }

// The file at the end of a chain of symbolic links starting at `path` (the
// path itself when it is no link; a link's dangling target when it dangles).
bool followLinks(QByteArray &path, int &error)
{
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return true;
        QByteArray target(PATH_MAX, Qt::Uninitialized);
        const ssize_t n = ::readlink(path.constData(), target.data(), size_t(target.size()));
        if (n < 0 || n >= target.size()) {
            error = n < 0 ? errno : ENAMETOOLONG;
            return false;
        }
        target.truncate(n);
        path = target.startsWith('/') ? target : folderOf(path) + '/' + target;
    }
    error = ELOOP;
    return false;
}

// Creates a new file under a name no other file has, in `folder`, never
// opening what is there already (a file or a link of that name is left
// alone and another name is taken). The mode is 0666 less the umask.
int createTemporary(const QByteArray &folder, const QByteArray &stem, QByteArray &name)
{
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        name = folder + "/." + stem.left(kMaxTemporaryStem) + '.'
            + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".tmp";
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(std::min<qint64>(left, qint64(1) << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// Writes, syncs and closes the temporary file, then renames it over `target`;
// 0 or the system's error number.
int fillAndRename(int fd, const QByteArray &bytes, const struct stat *old, const QByteArray &tmpName,
                  const QByteArray &target)
{
    int error = 0;
    if (!writeAll(fd, bytes) || (old && ::fchmod(fd, old->st_mode & 07777) != 0) || ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(tmpName.constData(), target.constData()) != 0)
        error = errno;
    return error;
}

void syncFolder(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);  // best effort: makes the rename itself durable
        ::close(fd);
    }
}

}  // namespace

QString docxDecodeName(QByteArrayView bytes)
{
    if (bytes.isValidUtf8())
        return QString::fromUtf8(bytes);
    QString out;
    out.reserve(bytes.size());
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    const uchar *end = p + bytes.size();
    while (p < end) {
        const int len = utf8SequenceLength(p, end);
        if (len == 0) {
            out.append(QChar(char16_t(0xDC00 + *p)));
            ++p;
        } else {
            out.append(QString::fromUtf8(reinterpret_cast<const char *>(p), len));
            p += len;
        }
    }
    return out;
}

QByteArray docxEncodeName(const QString &name)
{
    QByteArray out;
    qsizetype from = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (!isEscape(name, i))
            continue;
        out += QStringView(name).mid(from, i - from).toUtf8();
        out += char(name.at(i).unicode() - 0xDC00);
        from = i + 1;
    }
    if (from == 0)
        return name.toUtf8();
    out += QStringView(name).mid(from).toUtf8();
    return out;
}

bool docxMemberNameIsInside(const QString &name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return false;
    const QString firstSegment = name.section(QLatin1Char('/'), 0, 0);
    if (firstSegment.contains(QLatin1Char(':')))
        return false;  // a drive or a scheme
    for (const QStringView segment : QStringView(name).split(QLatin1Char('/'))) {
        if (segment == QLatin1String(".") || segment == QLatin1String(".."))
            return false;
    }
    return true;
}

const DocxZipMember *DocxZipSource::unchangedMember(const QString &name, const QByteArray &bytes) const
{
    const auto it = members.constFind(name);
    if (it == members.cend() || !it->inflated.isSharedWith(bytes) || it->inflated.size() != bytes.size())
        return nullptr;
    return &*it;
}

bool docxZipRead(const QString &path, DocxEntryMap &entries, QString &err, DocxZipSource *source)
{
    if (path.isEmpty()) {
        err = QStringLiteral("Cannot open: no file name given");
        return false;
    }
    // Opened without blocking, so that a FIFO or a device is refused, not waited on.
    const int fd = ::open(docxEncodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        err = QStringLiteral("Cannot open: %1: %2").arg(path, systemError(errno));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    bool ok = false;
    if (S_ISDIR(st.st_mode))
        err = QStringLiteral("Cannot open: %1: %2").arg(path, systemError(EISDIR));
    else if (!S_ISREG(st.st_mode))
        err = QStringLiteral("Cannot open: %1: not a regular file").arg(path);
    else if (st.st_size > kMaxZipSize)
        err = QStringLiteral("Package too large: %1 is 4 GiB or larger").arg(path);
    else
        ok = readArchive(ArchiveInput(fd, st.st_size, path), entries, err, source);
    ::close(fd);
    return ok;
}

bool docxZipReadBytes(const QByteArray &archive, DocxEntryMap &entries, QString &err, DocxZipSource *source)
{
    return readArchive(ArchiveInput(archive), entries, err, source);
}

bool docxZipBuild(const DocxEntryMap &entries, const QStringList &order, QByteArray &out, QString &err,
                  const DocxZipSource *source)
{
    const QStringList names = memberOrder(entries, order, source);
    if (names.size() > kMaxZipCount) {
        err = QStringLiteral("Cannot write ZIP: %1 parts, at most %2 fit").arg(names.size()).arg(kMaxZipCount);
        return false;
    }
    const DosStamp now = dosStamp(QDateTime::currentDateTime());
    out.clear();
    out.reserve(names.size() * kReservePerEntry);
    QList<LocalRecord> records;
    QList<QByteArray> encodedNames;
    records.reserve(names.size());
    encodedNames.reserve(names.size());

    for (const QString &name : names) {
        const QByteArray &data = entries[name];
        const QByteArray encodedName = docxEncodeName(name);
        if (!docxMemberNameIsInside(name)) {
            err = QStringLiteral("Cannot write ZIP: part name leaves the package: %1").arg(name);
            return false;
        }
        if (encodedName.size() > kMaxZipCount) {
            err = QStringLiteral("Cannot write ZIP: part name longer than %1 bytes: %2").arg(kMaxZipCount).arg(name.left(64));
            return false;
        }
        if (data.size() >= kMaxZipSize) {
            err = QStringLiteral("Cannot write ZIP: part %1 is 4 GiB or larger").arg(name);
            return false;
        }
        LocalRecord r;
        if (!isAscii(encodedName) && QByteArrayView(encodedName).isValidUtf8())
            r.flags = kFlagUtf8Name;
        r.uncompressedSize = quint32(data.size());
        r.stamp = now;
        QByteArray deflated;
        const char *stored = nullptr;
        if (const DocxZipMember *m = source ? source->unchangedMember(name, data) : nullptr) {
            r.method = m->method;
            r.crc = m->crc;
            r.compressedSize = quint32(m->stored.size());
            if (isValidDosStamp(m->dosTime, m->dosDate))
                r.stamp = {m->dosTime, m->dosDate};
            stored = m->stored.constData();
        } else {
            r.crc = crcOf(data);
            deflated = deflateRaw(data);
            const bool deflateHelps = !deflated.isEmpty() && deflated.size() < data.size();
            r.method = deflateHelps ? kMethodDeflated : kMethodStored;
            const QByteArray &body = deflateHelps ? deflated : data;
            r.compressedSize = quint32(body.size());
            stored = body.constData();
        }
        if (qint64(out.size()) + kLocalHeaderSize + encodedName.size() + r.compressedSize >= kMaxZipSize) {
            err = QStringLiteral("Cannot write ZIP: the archive would be 4 GiB or larger");
            return false;
        }
        r.localOffset = quint32(out.size());
        appendLocalHeader(out, r, encodedName);
        out.append(stored, r.compressedSize);
        records.append(r);
        encodedNames.append(encodedName);
    }

    const qint64 dirOffset = out.size();
    for (qsizetype i = 0; i < records.size(); ++i)
        appendCentralHeader(out, records[i], encodedNames[i]);
    const qint64 dirSize = out.size() - dirOffset;
    if (out.size() + kEndRecordSize >= kMaxZipSize) {
        err = QStringLiteral("Cannot write ZIP: the archive would be 4 GiB or larger");
        return false;
    }
    appendU32(out, kEndRecordSignature);
    appendU16(out, 0);
    appendU16(out, 0);
    appendU16(out, quint32(records.size()));
    appendU16(out, quint32(records.size()));
    appendU32(out, quint32(dirSize));
    appendU32(out, quint32(dirOffset));
    appendU16(out, 0);
    return true;
}

bool docxReplaceFile(const QString &path, const QByteArray &bytes, QString &err)
{
    if (path.isEmpty()) {
        err = QStringLiteral("Cannot write: no file name given");
        return false;
    }
    auto fail = [&](const QString &reason) {
        err = QStringLiteral("Cannot write to: %1: %2").arg(path, reason);
        return false;
    };
    QByteArray target = docxEncodeName(path);
    int error = 0;
    if (!followLinks(target, error))
        return fail(systemError(error));
    struct stat old;
    const bool hadTarget = ::stat(target.constData(), &old) == 0;
    if (hadTarget && S_ISDIR(old.st_mode))
        return fail(systemError(EISDIR));
    if (hadTarget && !S_ISREG(old.st_mode))
        return fail(QStringLiteral("not a regular file"));
    // A file marked read-only is not replaced, whoever runs the library.
    if (hadTarget && ((old.st_mode & 0222) == 0 || ::access(target.constData(), W_OK) != 0))
        return fail(systemError(EACCES));

    const QByteArray folder = folderOf(target);
    QByteArray tmpName;
    const int fd = createTemporary(folder, fileNameOf(target), tmpName);
    if (fd < 0)
        return fail(systemError(errno));
    error = fillAndRename(fd, bytes, hadTarget ? &old : nullptr, tmpName, target);
    if (error != 0) {
        ::unlink(tmpName.constData());
        return fail(systemError(error));
    }
    syncFolder(folder);
    return true;
}

bool docxZipWrite(const DocxEntryMap &entries, const QStringList &order, const QString &path, QString &err,
                  const DocxZipSource *source)
{
    QByteArray archive;
    return docxZipBuild(entries, order, archive, err, source) && docxReplaceFile(path, archive, err);
}
